#include "app/object_registry.h"

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

void TObjectRegistryManager::RegisterObject(void* object, const std::string& name,
                                            const std::string& type, int version, int revision) {
  if (IsRegistered(name))
    throw EError(StrFormat("%s:RegisterObject: object with name '%s' already registered",
                           ClassName(), name));
  items_.push_back({object, name, type, version, revision});
}

bool TObjectRegistryManager::IsRegistered(const std::string& name) const {
  for (const auto& item : items_)
    if (item.name == name) return true;
  return false;
}

void* TObjectRegistryManager::Find(const std::string& name) const {
  for (const auto& item : items_)
    if (item.name == name) return item.object;
  return nullptr;
}

}  // namespace tolvek
