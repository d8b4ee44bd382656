#include "script/archive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/error.h"
#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "script/name_compare.h"
#include "script/storage_manager.h"
#include "script/string_stream.h"

namespace tolvek {

namespace {

// Reads `count` bytes at the stream's position (deciphered when the stream deciphers).
std::string ReadBytes(TSLCharStream& stream, uint64_t count) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(std::min<uint64_t>(count, 1u << 20)));
  while (bytes.size() < count) {
    std::string_view window = stream.ReadWindow();
    if (window.empty()) {
      bytes += static_cast<char>(stream.ReadChar());
      continue;
    }
    size_t take = static_cast<size_t>(std::min<uint64_t>(window.size(), count - bytes.size()));
    bytes.append(window.data(), take);
    stream.ConsumeWindow(take);
  }
  return bytes;
}

uint64_t LittleEndian(std::string_view bytes) {
  uint64_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

void AppendLittleEndian(std::string& out, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream in(NativePath(fileName), std::ios::binary);
  if (!in) throw EError(StrFormat("TSLCharFile error: File '%s' couldn't be opened", fileName));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// --- TSLArchiveEntry ---------------------------------------------------------------------------

TSLArchiveEntry::TSLArchiveEntry(TSLArchive& archive, std::string name, TSLStorageFormat format)
    : archive_(archive), name_(std::move(name)), format_(format) {}

TSLObject* TSLArchiveEntry::GetValue() {
  if (pending_) archive_.DecodeEntry(*this);
  return value_.Get();
}

void TSLArchiveEntry::SetValue(TSLObject* value) {
  value_ = value;
  pending_ = false;
  link_ = false;
}

// --- TSLArchive --------------------------------------------------------------------------------

TSLArchive::TSLArchive(TStorageManager& manager, std::string fileName, TStorageAccess access,
                       bool debug)
    : manager_(manager),
      fileName_(std::move(fileName)),
      access_(access),
      debug_(debug),
      entries_(MakeRef<TSLDictionary>()) {}

TSLArchive::~TSLArchive() {
  if (readFile_) readFile_->Discard();
  TArchiveManager::Instance().ArchiveDestroy(this);
}

void TSLArchive::Open() {
  if (fileName_.empty()) throw EError("Tried to open archive with empty filename");
  exists_ = FileExists(fileName_);
  if (!exists_) return;
  readFile_ = MakeRef<TSLCryptFile>(NativePath(fileName_));
  readFile_->Open(smRead);
  try {
    ReadHeaders();
  } catch (...) {
    readFile_->Discard();
    readFile_ = nullptr;
    throw;
  }
}

void TSLArchive::ReadHeaders() {
  TSLCryptFile& file = *readFile_;
  const int64_t size = file.GetSize();
  while (file.GetPosition() < size) {
    auto invalid = [] {
      return EError(StrFormat("%s.ReadHeader: Invalid file header in archive", "TSLArchiveEntry"));
    };
    if (size - file.GetPosition() < static_cast<int64_t>(TSLArchiveEntry::kHeaderSize))
      throw invalid();
    std::string header = ReadBytes(file, TSLArchiveEntry::kHeaderSize);
    uint64_t magic = LittleEndian(std::string_view(header).substr(0, 8));
    uint64_t version = LittleEndian(std::string_view(header).substr(8, 2));
    uint64_t dataLength = LittleEndian(std::string_view(header).substr(10, 8));
    uint64_t nameLength = LittleEndian(std::string_view(header).substr(18, 2));
    uint64_t secondLength = LittleEndian(std::string_view(header).substr(20, 2));
    if (magic != TSLArchiveEntry::kMagic || version != TSLArchiveEntry::kVersion) throw invalid();
    // A header that claims more bytes than the file holds belongs to a damaged archive.
    uint64_t remaining = static_cast<uint64_t>(size - file.GetPosition());
    if (nameLength + secondLength > remaining ||
        dataLength > remaining - nameLength - secondLength)
      throw invalid();
    std::string name = ReadBytes(file, nameLength);
    ReadBytes(file, secondLength);

    TRef<TSLArchiveEntry> entry = MakeRef<TSLArchiveEntry>(*this, name, sfASCII);
    entry->dataStart_ = file.GetPosition();
    entry->dataLength_ = dataLength;
    entry->format_ = dataLength == 0 ? sfASCII : DetectStorageFormat(file);
    entry->storedFormat_ = entry->format_;
    entry->pending_ = true;
    entry->sourceID_ = manager_.GetIDManager().Register(EntrySourceName(name));
    entries_->AddObject(name, entry.Get());
    file.Seek(entry->dataStart_ + static_cast<int64_t>(dataLength));
  }
}

std::string TSLArchive::StoredText(TSLArchiveEntry& entry) {
  TSLCryptFile& file = *readFile_;
  file.Seek(entry.dataStart_);
  std::string text;
  if (entry.storedFormat_ == sfEASCII) {
    // The text is bounded by the entry's data length, so a damaged entry cannot run on into
    // the next entry's header.
    if (entry.dataLength_ < 8) throw EError("wrong crypt header in stream");
    file.ReadCryptHeader();
    file.SetCipherActive(true);
    try {
      text = ReadBytes(file, entry.dataLength_ - 8);
    } catch (...) {
      file.SetCipherActive(false);
      throw;
    }
    file.SetCipherActive(false);
  } else {
    text = ReadBytes(file, entry.dataLength_);
  }
  return text;
}

void TSLArchive::DecodeEntry(TSLArchiveEntry& entry) {
  std::string text = StoredText(entry);
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  stream->LoadText(std::move(text));
  stream->SetStorageID(entry.sourceID_);
  entry.value_ = manager_.DecodeFrom(*stream, debug_);
  entry.pending_ = false;
  manager_.GetIDManager().GetIDInfo(entry.sourceID_).Value = entry.value_;
}

TSLArchiveEntry& TSLArchive::EntryAt(int32_t index) const {
  return *static_cast<TSLArchiveEntry*>(entries_->GetObjAtIndex(index));
}

TSLArchiveEntry* TSLArchive::FindEntry(const std::string& name) const {
  int32_t index = entries_->IndexOfName(name);
  return index < 0 ? nullptr : &EntryAt(index);
}

TSLArchiveEntry& TSLArchive::AddEntry(const std::string& name, TSLStorageFormat format,
                                      TSLObject* value) {
  TRef<TSLArchiveEntry> entry = MakeRef<TSLArchiveEntry>(*this, name, format);
  entry->value_ = value;
  entry->sourceID_ = manager_.GetIDManager().Register(EntrySourceName(name));
  entries_->AddObject(name, entry.Get());
  return *entry;
}

TSLArchiveEntry& TSLArchive::AddLink(const std::string& name, TSLStorageFormat format,
                                     const std::string& externalFile) {
  TSLArchiveEntry& entry = AddEntry(name, format, nullptr);
  entry.link_ = true;
  entry.linkPath_ = externalFile.empty() ? EntrySourceName(name) : externalFile;
  return entry;
}

void TSLArchive::RemoveEntry(const std::string& name) { entries_->RemoveObjectChecked(name); }

void TSLArchive::RemoveEntryAt(int32_t index) { entries_->RemoveObject(EntryAt(index).GetName()); }

void TSLArchive::Clear() { entries_->Clear(); }

std::string TSLArchive::EntrySourceName(const std::string& entryName) const {
  return ChangeExtension(fileName_, "") + "\\" + entryName;
}

std::string TSLArchive::EntryText(TSLArchiveEntry& entry) {
  if (entry.link_) return ReadWholeFile(entry.linkPath_);
  if (entry.pending_) return StoredText(entry);
  return manager_.ObjToStr(entry.GetValue());
}

void TSLArchive::WriteTo(const std::string& fileName) {
  TRef<TSLCryptFile> file = MakeRef<TSLCryptFile>(fileName);
  file->Rewrite();
  try {
    for (int32_t i = 0; i < entries_->GetCount(); ++i) {
      TSLArchiveEntry& entry = EntryAt(i);
      std::string data = EntryText(entry);
      bool enciphered = entry.format_ == sfEASCII;
      std::string header;
      AppendLittleEndian(header, TSLArchiveEntry::kMagic, 8);
      AppendLittleEndian(header, TSLArchiveEntry::kVersion, 2);
      AppendLittleEndian(header, data.size() + (enciphered ? 8 : 0), 8);
      AppendLittleEndian(header, entry.name_.size(), 2);
      AppendLittleEndian(header, 0, 2);
      header += entry.name_;
      file->Write(header);
      if (enciphered) {
        file->WriteCryptHeader();
        file->SetCipherActive(true);
        file->Write(data);
        file->SetCipherActive(false);
      } else {
        file->Write(data);
      }
    }
    file->Close();
  } catch (...) {
    file->SetCipherActive(false);
    file->Discard();
    throw;
  }
}

void TSLArchive::Write() {
  // Every entry is decoded first: the old file is about to be replaced.
  for (int32_t i = 0; i < entries_->GetCount(); ++i) EntryAt(i).GetValue();
  for (int32_t i = 0; i < entries_->GetCount(); ++i)
    if (EntryAt(i).name_.size() > 0xFFFF)
      throw EError(StrFormat("%s.Write: entry name too long", ClassName()));
  std::string target = NativePath(fileName_);
  std::string tempName = ChangeExtension(target, ".tmp");
  WriteTo(tempName);
  Replace(tempName);
  exists_ = true;
}

void TSLArchive::Replace(const std::string& tempName) {
  namespace fs = std::filesystem;
  std::string target = NativePath(fileName_);
  std::string backupName = ChangeExtension(target, ".bak");
  std::error_code ec;
  bool replaced = true;
  if (fs::exists(target, ec)) {
    fs::remove(backupName, ec);
    fs::rename(target, backupName, ec);
    if (ec) replaced = false;
  }
  if (replaced) {
    fs::rename(tempName, target, ec);
    if (ec) {
      replaced = false;
      std::error_code restore;
      if (fs::exists(backupName, restore)) fs::rename(backupName, target, restore);
    }
  }
  if (!replaced)
    throw EError(StrFormat(
        "%s.Write: error while writing into archive;could not replace file '%s' with '%s'",
        ClassName(), target, tempName));
}

// --- TArchiveManager ---------------------------------------------------------------------------

TArchiveManager& TArchiveManager::Instance() {
  static TArchiveManager manager;
  return manager;
}

namespace {

// Archives are known by their absolute file name, however a caller writes it, so that one file
// is open only once.
std::string ArchiveKey(const std::string& fileName) {
  if (fileName.empty()) return {};
  return std::filesystem::absolute(NativePath(fileName)).lexically_normal().string();
}

}  // namespace

TSLArchive* TArchiveManager::FindArchive(const std::string& fileName) const {
  std::string key = ArchiveKey(fileName);
  auto it = std::lower_bound(archives_.begin(), archives_.end(), key,
                             [](const TSLArchive* a, const std::string& name) {
                               return CompareNames(a->GetFileName(), name) < 0;
                             });
  return it != archives_.end() && CompareNames((*it)->GetFileName(), key) == 0 ? *it : nullptr;
}

TSLArchive* TArchiveManager::GetArchive(TStorageManager& manager, const std::string& fileName,
                                        TStorageAccess access, bool debug) {
  if (TSLArchive* open = FindArchive(fileName)) {
    open->Retain();
    open->AutoRelease();
    return open;
  }
  TRef<TSLArchive> archive = MakeRef<TSLArchive>(manager, ArchiveKey(fileName), access, debug);
  archive->Open();
  auto it = std::lower_bound(archives_.begin(), archives_.end(), archive.Get(),
                             [](const TSLArchive* a, const TSLArchive* b) {
                               return CompareNames(a->GetFileName(), b->GetFileName()) < 0;
                             });
  archives_.insert(it, archive.Get());
  return archive.AutoRelease();
}

void TArchiveManager::ArchiveDestroy(TSLArchive* archive) {
  // An archive that failed to open was never listed; nothing to remove then.
  auto it = std::find(archives_.begin(), archives_.end(), archive);
  if (it != archives_.end()) archives_.erase(it);
}

}  // namespace tolvek
