#include "platform/file_paths.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tolvek {

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// Finds the entry of `dir` whose name equals `component` without regard to case.
bool MatchComponent(const std::string& dir, const std::string& component, std::string& found) {
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? "." : dir, ec);
  if (ec) return false;
  for (const auto& entry : it) {
    std::string name = entry.path().filename().string();
    if (strcasecmp(name.c_str(), component.c_str()) == 0) {
      found = name;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string SlashPath(std::string_view name) {
  std::string path(name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string NativePath(std::string_view name) {
  std::string path = SlashPath(name);
  if (path.empty() || Exists(path)) return path;

  std::string result = path.front() == '/' ? "/" : "";
  size_t pos = result.size();
  while (pos < path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    std::string candidate = result + component;
    if (!Exists(candidate)) {
      std::string found;
      if (component == "." || component == ".." || !MatchComponent(result, component, found))
        return path;
      candidate = result + found;
    }
    result = candidate;
    if (end < path.size()) result += '/';
  }
  return result;
}

bool FileExists(std::string_view name) {
  std::error_code ec;
  return fs::is_regular_file(NativePath(name), ec);
}

bool DirectoryExists(std::string_view name) {
  std::error_code ec;
  return fs::is_directory(NativePath(name), ec);
}

bool IsAbsoluteName(std::string_view name) {
  return !name.empty() && (name.front() == '/' || name.front() == '\\');
}

std::string ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return CurrentDir();
  return WithTrailingSlash(exe.parent_path().string());
}

std::string InstallDir() {
  const char* home = std::getenv("TOLVEK_HOME");
  if (home && *home) return WithTrailingSlash(home);
  return ExecutableDir();
}

std::string CurrentDir() {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return WithTrailingSlash(ec ? std::string(".") : cwd.string());
}

std::string_view FileNamePart(std::string_view path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

std::string_view DirectoryPart(std::string_view path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string_view::npos ? std::string_view() : path.substr(0, sep + 1);
}

std::string_view ExtensionPart(std::string_view path) {
  std::string_view name = FileNamePart(path);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string ChangeExtension(std::string_view path, std::string_view extension) {
  std::string_view ext = ExtensionPart(path);
  std::string result(path.substr(0, path.size() - ext.size()));
  result += extension;
  return result;
}

}  // namespace tolvek
