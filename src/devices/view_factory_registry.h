// The view factories of the process by kind ("MessageView"): the user interface registers its
// factories at start-up, and the objects that make tree items look theirs up here. A run
// without windows registers none, so its items carry no view.
#pragma once

#include <map>
#include <string>

#include "devices/application_view.h"

namespace tolvek {

class TViewFactoryRegistry {
public:
  // Registers `factory` (not owned) under `kind`, replacing an earlier one.
  void Register(const std::string& kind, TApplicationViewFactory* factory);
  // Forgets the factory of `kind`.
  void Unregister(const std::string& kind);
  // The factory of `kind`, or nullptr.
  TApplicationViewFactory* Find(const std::string& kind) const;

private:
  std::map<std::string, TApplicationViewFactory*> factories_;
};

// The process's registry.
TViewFactoryRegistry& ViewFactories();

}  // namespace tolvek
