// The process-wide list of named singletons (debug manager, storage manager, main scheduler,
// Talk interface factory), shown in the Info window.
#pragma once

#include <string>
#include <vector>

namespace tolvek {

// One registered singleton. The object is borrowed: the registry never frees it.
struct TObjectRegistryItem {
  void* object = nullptr;
  std::string name;
  std::string type;
  int version = 0;
  int revision = 0;
};

class TObjectRegistryManager {
public:
  const char* ClassName() const { return "TObjectRegistryManager"; }

  // Appends an entry; a name already registered (exact comparison) fails
  // "%s:RegisterObject: object with name '%s' already registered".
  void RegisterObject(void* object, const std::string& name, const std::string& type, int version,
                      int revision);
  bool IsRegistered(const std::string& name) const;
  int Count() const { return static_cast<int>(items_.size()); }
  const TObjectRegistryItem& Item(int index) const { return items_.at(static_cast<size_t>(index)); }
  // The object registered under `name`, or nullptr.
  void* Find(const std::string& name) const;

private:
  std::vector<TObjectRegistryItem> items_;
};

}  // namespace tolvek
