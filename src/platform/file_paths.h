// How storage names and installation paths map onto this file system.
//
// Storage names come from installation data written with "\" as separator and without regard
// to case ("Archives\Config\Halvic.ini"). Here "\" becomes "/", and a path that does not exist
// as written is matched component by component without regard to case before giving up.
#pragma once

#include <string>
#include <string_view>

namespace tolvek {

// The name with every "\" turned into "/"; nothing else changes.
std::string SlashPath(std::string_view name);

// The existing file or directory the name refers to: first as written (after SlashPath), then
// matching each component case-insensitively. When nothing matches, the SlashPath form.
std::string NativePath(std::string_view name);

// True when NativePath(name) exists as a regular file (FileExists) or a directory.
bool FileExists(std::string_view name);
bool DirectoryExists(std::string_view name);

// A name is absolute when it starts with a path separator ("/" or "\").
bool IsAbsoluteName(std::string_view name);

// Directory of the running executable, with a trailing "/".
std::string ExecutableDir();

// The installation directory, with a trailing "/": TOLVEK_HOME when set, else ExecutableDir().
std::string InstallDir();

// The current directory, with a trailing "/".
std::string CurrentDir();

// Last component of a path (after the last "/" or "\"), its directory part (up to and
// including that separator) and its extension (from the last "." of the last component).
std::string_view FileNamePart(std::string_view path);
std::string_view DirectoryPart(std::string_view path);
std::string_view ExtensionPart(std::string_view path);

// The path with its extension (if any) replaced by `extension` (which includes the dot).
std::string ChangeExtension(std::string_view path, std::string_view extension);

}  // namespace tolvek
