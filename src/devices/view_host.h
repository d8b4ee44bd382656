// The port through which the core opens windows: the device tree window, the Axo configurator
// and the debug windows. The desktop build implements it with real windows; a run without
// windows installs none, and the core then opens nothing.
#pragma once

#include <functional>
#include <string>

namespace tolvek {

class TModelManager;

// A top-level window opened through the view host; the host owns it.
class THostedWindow {
public:
  virtual ~THostedWindow() = default;

  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void Show() = 0;
  // Closes the window as if the user did; OnClosed follows.
  virtual void Close() = 0;

  // Called once when the window closes; the host frees the window right after it.
  std::function<void(THostedWindow& window)> OnClosed;
};

class TViewHost {
public:
  virtual ~TViewHost() = default;

  // A new device tree window bound to `model`, not shown yet.
  virtual THostedWindow* OpenDeviceTreeWindow(TModelManager& model) = 0;
  // A new window of the kind named ("Axo", "&Debug Window"), not shown yet; nullptr when the
  // host has no such window.
  virtual THostedWindow* OpenWindow(const std::string& kind) = 0;
};

// The installed view host, or nullptr in a run without windows.
TViewHost* ViewHost();
// Installs `host` (not owned; nullptr uninstalls).
void SetViewHost(TViewHost* host);

}  // namespace tolvek
