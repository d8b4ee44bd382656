// The log windows that long operations (saving or loading a drive configuration) write their
// progress into. The manager remembers the open windows and reports them to the main window's
// window list; the windows themselves come from a factory: the desktop build makes real
// windows with an "&Abort" button, a headless run makes ones that write into the debug log.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvek {

class TLogWindow {
public:
  virtual ~TLogWindow() = default;
  virtual void AddLine(const std::string& text) = 0;
  // Called once when the manager lets the window go, right before destroying it.
  virtual void Close() = 0;
};

// Makes and shows a window with `caption`; its Abort button calls `onAbort`.
using TLogWindowFactory =
    std::function<std::unique_ptr<TLogWindow>(const std::string& caption, std::function<void()> onAbort)>;

// Without a display: each line goes to the debug log as information, prefixed by the caption.
std::unique_ptr<TLogWindow> NewHeadlessLogWindow(const std::string& caption, std::function<void()> onAbort);

class TLogWindowManager {
public:
  explicit TLogWindowManager(TLogWindowFactory factory = NewHeadlessLogWindow);
  // Closes every window still open.
  ~TLogWindowManager();

  // Opens a window; `onAbort` (the owner's abort callback) runs when the user aborts.
  TLogWindow* OpenLogWindow(const std::string& caption, std::function<void()> onAbort);
  // Appends to a window the manager remembers; any other pointer is ignored.
  void AddLine(TLogWindow* window, const std::string& text);
  // Forgets, reports and closes a remembered window; any other pointer is ignored.
  void CloseLogWindow(TLogWindow* window);
  int WindowCount() const { return static_cast<int>(windows_.size()); }

  // The main window's window list.
  std::function<void(TLogWindow*)> OnWindowOpened;
  std::function<void(TLogWindow*)> OnWindowClosed;

private:
  TLogWindowFactory factory_;
  std::vector<std::unique_ptr<TLogWindow>> windows_;
};

}  // namespace tolvek
