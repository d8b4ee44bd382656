// The log window manager's bookkeeping: which windows get lines, what the main window's list
// hears, and that nothing stays open when the manager goes.
#include "app/log_window_manager.h"

#include <gtest/gtest.h>

namespace tolvek {
namespace {

struct TRecord {
  std::vector<std::string> events;
};

class TFakeWindow : public TLogWindow {
public:
  TFakeWindow(TRecord& record, std::string caption) : record_(record), caption_(std::move(caption)) {}
  void AddLine(const std::string& text) override { record_.events.push_back(caption_ + " " + text); }
  void Close() override { record_.events.push_back(caption_ + " closed"); }

private:
  TRecord& record_;
  std::string caption_;
};

TEST(LogWindowManager, RoutesLinesAndReportsWindowsToTheMainWindow) {
  TRecord record;
  std::function<void()> abortSave;
  int aborted = 0;
  {
    TLogWindowManager manager([&](const std::string& caption, std::function<void()> onAbort) {
      if (caption == "Save") abortSave = onAbort;
      return std::make_unique<TFakeWindow>(record, caption);
    });
    manager.OnWindowOpened = [&](TLogWindow*) { record.events.push_back("listed"); };
    manager.OnWindowClosed = [&](TLogWindow*) { record.events.push_back("unlisted"); };
    TLogWindow* save = manager.OpenLogWindow("Save", [&] { ++aborted; });
    TLogWindow* load = manager.OpenLogWindow("Load", nullptr);
    manager.AddLine(save, "module A");
    TFakeWindow stranger(record, "stranger");
    manager.AddLine(&stranger, "ignored");
    manager.CloseLogWindow(&stranger);
    manager.CloseLogWindow(save);
    manager.AddLine(save, "after close");  // forgotten: ignored
    abortSave();
    EXPECT_EQ(manager.WindowCount(), 1);
    (void)load;
  }
  EXPECT_EQ(aborted, 1);
  EXPECT_EQ(record.events,
            (std::vector<std::string>{"listed", "listed", "Save module A", "unlisted", "Save closed",
                                      "unlisted", "Load closed"}));
}

}  // namespace
}  // namespace tolvek
