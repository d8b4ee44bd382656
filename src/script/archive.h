// Archives (".sla"): one file that packs the text files of one directory as entries, indexed
// when opened and decoded only when an entry is first asked for.
//
// Layout, all integers little-endian, entries up to the end of the file:
//   0  8  magic 0x04414C53        10  8  data length      20  2  M: second text length
//   8  2  version 10               18  2  N: name length   22  N  entry name ("\" for folders)
//   22+N M second text (written empty)   22+N+M  data: the entry's text, plain or enciphered
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/crypt_file.h"
#include "script/ref_obj.h"
#include "script/sl_dictionary.h"
#include "script/sl_object.h"
#include "script/storage_format.h"
#include "script/storage_object.h"

namespace tolvek {

class TSLArchive;
class TStorageManager;

// One entry of an archive: where its text lies in the file and, once decoded, its value.
class TSLArchiveEntry : public TSLObject {
public:
  static constexpr uint64_t kMagic = 0x04414C53;
  static constexpr uint16_t kVersion = 10;
  static constexpr size_t kHeaderSize = 22;

  TSLArchiveEntry(TSLArchive& archive, std::string name, TSLStorageFormat format);
  const char* ClassName() const override { return "TSLArchiveEntry"; }

  const std::string& GetName() const noexcept { return name_; }
  TSLStorageFormat GetFormat() const noexcept { return format_; }
  void SetFormat(TSLStorageFormat format) noexcept { format_ = format; }
  // The entry's value, decoded from the archive file on first use (borrowed; may be null).
  TSLObject* GetValue();
  void SetValue(TSLObject* value);
  // Whether the text is still in the file only.
  bool IsPending() const noexcept { return pending_; }
  // A linked entry takes its data from an external file when the archive is written.
  bool IsLink() const noexcept { return link_; }
  uint16_t GetSourceID() const noexcept { return sourceID_; }

private:
  friend class TSLArchive;
  TSLArchive& archive_;
  std::string name_;
  TSLStorageFormat format_;
  TSLStorageFormat storedFormat_ = sfASCII;  // how the data in the file is written
  int64_t dataStart_ = 0;
  uint64_t dataLength_ = 0;
  uint16_t sourceID_ = 0;
  TRef<TSLObject> value_;
  bool pending_ = false;
  bool link_ = false;
  std::string linkPath_;
};

// An archive file and its entries, in case-insensitive name order. It lives while a storage
// object or a script holds it and is open only once at a time (see TArchiveManager).
class TSLArchive : public TSLObject {
public:
  TSLArchive(TStorageManager& manager, std::string fileName, TStorageAccess access, bool debug);
  ~TSLArchive() override;
  const char* ClassName() const override { return "TSLArchive"; }

  // Reads the entry headers of an existing file; fails "Tried to open archive with empty
  // filename", "%s.ReadHeader: Invalid file header in archive" and the file's failures.
  void Open();

  const std::string& GetFileName() const noexcept { return fileName_; }
  bool GetExists() const noexcept { return exists_; }
  bool GetDebug() const noexcept { return debug_; }
  int32_t GetCount() const { return entries_->GetCount(); }
  // Index of `name` (case-insensitive), -1 when absent.
  int32_t IndexOfName(const std::string& name) const { return entries_->IndexOfName(name); }
  TSLArchiveEntry& EntryAt(int32_t index) const;
  // The entry named `name`, or null.
  TSLArchiveEntry* FindEntry(const std::string& name) const;

  // Adds an entry holding `value`; fails with the dictionary's AddObject message for a name
  // already present.
  TSLArchiveEntry& AddEntry(const std::string& name, TSLStorageFormat format, TSLObject* value);
  // Adds an entry whose data is copied unchanged from `externalFile` when the archive is
  // written; without a file, from the archive's own folder: archive name without extension +
  // "\" + entry name.
  TSLArchiveEntry& AddLink(const std::string& name, TSLStorageFormat format,
                           const std::string& externalFile = {});
  void RemoveEntry(const std::string& name);
  void RemoveEntryAt(int32_t index);
  void Clear();

  // Writes the whole archive. A new archive is written in one piece; an existing one goes to
  // "<name>.tmp", the old file becomes "<name>.bak" and the new one takes its name. Fails
  // "%s.Write: error while writing into archive;could not replace file '%s' with '%s'".
  void Write();

  // The entry's text as stored (deciphered): the stored bytes for an entry read from the file,
  // the external file's bytes for a link, the encoded value otherwise.
  std::string EntryText(TSLArchiveEntry& entry);
  // Bytes of the entry's data in the file (0 for an entry not read from the file).
  uint64_t StoredLength(const TSLArchiveEntry& entry) const noexcept { return entry.dataLength_; }

  // The source name of an entry: archive file name without extension + "\" + entry name.
  std::string EntrySourceName(const std::string& entryName) const;

private:
  friend class TSLArchiveEntry;
  void ReadHeaders();
  void DecodeEntry(TSLArchiveEntry& entry);
  std::string StoredText(TSLArchiveEntry& entry);
  void WriteTo(const std::string& fileName);
  void Replace(const std::string& tempName);

  TStorageManager& manager_;
  std::string fileName_;
  TRef<TSLCryptFile> readFile_;
  bool exists_ = false;
  TStorageAccess access_;
  bool debug_;
  TRef<TSLDictionary> entries_;
};

// The open archives, by file name without regard to case, so that each archive file is open
// only once while it is referenced.
class TArchiveManager {
public:
  const char* ClassName() const { return "TArchiveManager"; }
  // The process's archive manager.
  static TArchiveManager& Instance();

  // The open archive of that file, or a newly opened one (auto-released).
  TSLArchive* GetArchive(TStorageManager& manager, const std::string& fileName,
                         TStorageAccess access, bool debug);
  // The open archive of that file, or null.
  TSLArchive* FindArchive(const std::string& fileName) const;
  size_t Count() const noexcept { return archives_.size(); }

private:
  friend class TSLArchive;
  // Called by an archive that is being destroyed.
  void ArchiveDestroy(TSLArchive* archive);
  std::vector<TSLArchive*> archives_;  // sorted by file name, case-insensitive
};

}  // namespace tolvek
