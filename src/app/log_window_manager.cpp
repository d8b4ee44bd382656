#include "app/log_window_manager.h"

#include <algorithm>

#include "platform/debug_log.h"

namespace tolvek {

namespace {

class THeadlessLogWindow : public TLogWindow {
public:
  explicit THeadlessLogWindow(std::string caption) : caption_(std::move(caption)) {}
  void AddLine(const std::string& text) override { DebugInfo(caption_ + ": " + text); }
  void Close() override {}

private:
  std::string caption_;
};

}  // namespace

std::unique_ptr<TLogWindow> NewHeadlessLogWindow(const std::string& caption, std::function<void()>) {
  return std::make_unique<THeadlessLogWindow>(caption);
}

TLogWindowManager::TLogWindowManager(TLogWindowFactory factory) : factory_(std::move(factory)) {}

TLogWindowManager::~TLogWindowManager() {
  while (!windows_.empty()) CloseLogWindow(windows_.back().get());
}

TLogWindow* TLogWindowManager::OpenLogWindow(const std::string& caption,
                                             std::function<void()> onAbort) {
  windows_.push_back(factory_(caption, std::move(onAbort)));
  TLogWindow* window = windows_.back().get();
  if (OnWindowOpened) OnWindowOpened(window);
  return window;
}

void TLogWindowManager::AddLine(TLogWindow* window, const std::string& text) {
  for (const auto& open : windows_)
    if (open.get() == window) {
      window->AddLine(text);
      return;
    }
}

void TLogWindowManager::CloseLogWindow(TLogWindow* window) {
  auto it = std::find_if(windows_.begin(), windows_.end(),
                         [&](const auto& open) { return open.get() == window; });
  if (it == windows_.end()) return;
  std::unique_ptr<TLogWindow> closing = std::move(*it);
  windows_.erase(it);
  if (OnWindowClosed) OnWindowClosed(closing.get());
  closing->Close();
}

}  // namespace tolvek
