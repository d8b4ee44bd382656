// Feeds arbitrary bytes to the archive reader as a ".sla" file: headers are indexed, every entry
// is decoded and its text read back. Failures must be clean exceptions, never a crash or a read
// past the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/error.h"
#include "script/archive.h"
#include "script/storage_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvek;
  static const std::string file = "/tmp/tolvek_archive_fuzz_" + std::to_string(::getpid()) + ".sla";
  static TStorageManager storage;
  if (FILE* out = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  try {
    TRef<TSLArchive> archive = TArchiveManager::Instance().GetArchive(storage, file, saRead, true);
    for (int32_t i = 0; i < archive->GetCount(); ++i) {
      TSLArchiveEntry& entry = archive->EntryAt(i);
      try {
        entry.GetValue();
        archive->EntryText(entry);
      } catch (const EError&) {
      }
    }
  } catch (const EError&) {
  }
  TRefObjManager::Instance().ReleasePool();
  return 0;
}
