// The registry of view factories by kind.
#include "devices/view_factory_registry.h"

namespace tolvek {

void TViewFactoryRegistry::Register(const std::string& kind, TApplicationViewFactory* factory) {
  factories_[kind] = factory;
}

void TViewFactoryRegistry::Unregister(const std::string& kind) { factories_.erase(kind); }

TApplicationViewFactory* TViewFactoryRegistry::Find(const std::string& kind) const {
  const auto found = factories_.find(kind);
  return found == factories_.end() ? nullptr : found->second;
}

TViewFactoryRegistry& ViewFactories() {
  static TViewFactoryRegistry registry;
  return registry;
}

}  // namespace tolvek
