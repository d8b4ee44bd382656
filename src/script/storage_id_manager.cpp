#include "script/storage_id_manager.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

uint16_t TStorageIDManager::Register(const std::string& name, TSLObject* value) {
  uint16_t id = 0;
  if (FindID(name, id)) {
    if (value) entries_[id - 1].Value = value;
    return id;
  }
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Deleted) {
      entries_[i] = TStorageIDInfo{name, value, false};
      return static_cast<uint16_t>(i + 1);
    }
  // IDs are 16 bit: a process that somehow registered 65535 sources shares the last one rather
  // than wrapping onto ID 0, which means "not registered".
  if (entries_.size() >= 0xFFFF) {
    entries_.back() = TStorageIDInfo{name, value, false};
    return 0xFFFF;
  }
  entries_.push_back(TStorageIDInfo{name, value, false});
  return static_cast<uint16_t>(entries_.size());
}

TStorageIDInfo& TStorageIDManager::GetIDInfo(uint16_t id) {
  if (id == 0 || id > entries_.size())
    throw EError(StrFormat("%s.GetIDInfo: ID %d does not exist", ClassName(), id));
  TStorageIDInfo& info = entries_[id - 1];
  if (info.Deleted) throw EError(StrFormat("%s.GetIDInfo: ID %d was deleted", ClassName(), id));
  return info;
}

bool TStorageIDManager::FindID(const std::string& name, uint16_t& id) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!entries_[i].Deleted && entries_[i].Name == name) {
      id = static_cast<uint16_t>(i + 1);
      return true;
    }
  return false;
}

void TStorageIDManager::Unregister(uint16_t id) {
  if (id == 0 || id > entries_.size()) return;
  entries_[id - 1] = TStorageIDInfo{{}, nullptr, true};
}

std::string TStorageIDManager::SourceName(uint16_t id) {
  if (id == 0 || id > entries_.size() || entries_[id - 1].Deleted) return {};
  return entries_[id - 1].Name;
}

}  // namespace tolvek
