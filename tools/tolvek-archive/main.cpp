// tolvek-archive: lists, prints, extracts and packs ".sla" archives.
//
//   tolvek-archive list ARCHIVE                  entry names with format and stored size
//   tolvek-archive cat ARCHIVE ENTRY             the entry's text as stored (deciphered)
//   tolvek-archive extract ARCHIVE DIR           every entry as a file below DIR
//   tolvek-archive pack DIR ARCHIVE [--eascii]   every file below DIR as an entry
//
// Packing checks that every file reads as one value first and writes nothing otherwise; the
// files are stored as they are, comments and layout included.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_paths.h"
#include "script/archive.h"
#include "script/storage_manager.h"

namespace tolvek {
namespace {

namespace fs = std::filesystem;

int Usage() {
  std::fprintf(stderr,
               "usage: tolvek-archive list ARCHIVE\n"
               "       tolvek-archive cat ARCHIVE ENTRY\n"
               "       tolvek-archive extract ARCHIVE DIR\n"
               "       tolvek-archive pack DIR ARCHIVE [--eascii]\n");
  return 2;
}

TRef<TSLArchive> OpenExisting(TStorageManager& storage, const std::string& file) {
  if (!fs::is_regular_file(file)) throw EError("archive '" + file + "' does not exist");
  return TArchiveManager::Instance().GetArchive(storage, fs::absolute(file).string(), saRead,
                                                false);
}

int List(TStorageManager& storage, const std::string& file) {
  TRef<TSLArchive> archive = OpenExisting(storage, file);
  for (int32_t i = 0; i < archive->GetCount(); ++i) {
    TSLArchiveEntry& entry = archive->EntryAt(i);
    std::printf("%s\t%s\t%llu\n", entry.GetName().c_str(), StorageFormatName(entry.GetFormat()),
                static_cast<unsigned long long>(archive->StoredLength(entry)));
  }
  return 0;
}

int Cat(TStorageManager& storage, const std::string& file, const std::string& name) {
  TRef<TSLArchive> archive = OpenExisting(storage, file);
  TSLArchiveEntry* entry = archive->FindEntry(name);
  if (!entry) throw EError("archive '" + file + "' has no entry '" + name + "'");
  std::string text = archive->EntryText(*entry);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int Extract(TStorageManager& storage, const std::string& file, const std::string& dir) {
  TRef<TSLArchive> archive = OpenExisting(storage, file);
  for (int32_t i = 0; i < archive->GetCount(); ++i) {
    TSLArchiveEntry& entry = archive->EntryAt(i);
    fs::path relative = SlashPath(entry.GetName());
    // An entry name is a path below the target: refuse names that would leave it.
    if (relative.is_absolute() || relative.lexically_normal().string().rfind("..", 0) == 0)
      throw EError("entry name '" + entry.GetName() + "' leaves the target directory");
    fs::path target = fs::path(dir) / relative;
    fs::create_directories(target.parent_path());
    std::string text = archive->EntryText(entry);
    std::ofstream out(target, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw EError("could not write '" + target.string() + "'");
  }
  return 0;
}

int Pack(TStorageManager& storage, const std::string& dir, const std::string& file,
         TSLStorageFormat format) {
  if (!fs::is_directory(dir)) throw EError("directory '" + dir + "' does not exist");
  std::vector<std::pair<std::string, std::string>> entries;  // entry name, source file
  for (const auto& item : fs::recursive_directory_iterator(dir)) {
    if (!item.is_regular_file()) continue;
    std::string name = fs::relative(item.path(), dir).string();
    for (char& c : name)
      if (c == '/') c = '\\';
    // Reading each file first: a syntax error names the file and stops before anything is
    // written.
    uint16_t id = storage.GetIDManager().Register(item.path().string());
    storage.GetObjectText().DecodeFile(item.path().string(), false, id);
    entries.emplace_back(name, item.path().string());
  }
  fs::path target = fs::absolute(file);
  fs::create_directories(target.parent_path());
  fs::remove(target);
  TRef<TSLArchive> archive =
      TArchiveManager::Instance().GetArchive(storage, target.string(), saWrite, false);
  for (const auto& [name, source] : entries) archive->AddLink(name, format, source);
  archive->Write();
  return 0;
}

int Run(const std::vector<std::string>& args) {
  TStorageManager storage;
  if (args.size() == 2 && args[0] == "list") return List(storage, args[1]);
  if (args.size() == 3 && args[0] == "cat") return Cat(storage, args[1], args[2]);
  if (args.size() == 3 && args[0] == "extract") return Extract(storage, args[1], args[2]);
  if ((args.size() == 3 || (args.size() == 4 && args[3] == "--eascii")) && args[0] == "pack")
    return Pack(storage, args[1], args[2], args.size() == 4 ? sfEASCII : sfASCII);
  return Usage();
}

}  // namespace
}  // namespace tolvek

int main(int argc, char** argv) {
  try {
    int status = tolvek::Run(std::vector<std::string>(argv + 1, argv + argc));
    tolvek::TRefObjManager::Instance().ReleasePool();
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvek-archive: %s\n", e.what());
    return 1;
  }
}
