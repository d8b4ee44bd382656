// The debugger's logic driving a script task: the stop at the start, step into, step over,
// breakpoints toggled by source position, the end, and errors shown in the source.
#include <gtest/gtest.h>

#include <vector>

#include "script/tasks/script_debugger.h"
#include "task_fixture.h"

namespace tolvek {
namespace {

// Records what the debugger tells its front end.
class TRecordingView : public TScriptDebuggerView {
public:
  void ShowDebugger() override { ++shown; }
  void SourceAdded(uint16_t, const std::string& name) override { sources.push_back(name); }
  void ShowPosition(uint16_t, int32_t, int32_t, int32_t newLine) override { line = newLine; }
  void ClearPosition() override { line = 0; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void UpdateViews() override { ++updates; }

  int shown = 0;
  int line = 0;
  int updates = 0;
  std::vector<std::string> sources;
  std::vector<std::string> messages;
};

class ScriptDebuggerTest : public TaskFixture {
protected:
  void SetUp() override {
    TaskFixture::SetUp();
    WriteFile("Dbg.sct",
              "[B\n"
              "  /p [P [A ] 1 2 add /r exch def [A /r ] ] def\n"
              "  p\n"
              "  10\n"
              "  20 add\n"
              "]\n");
    task_ = std::make_unique<TScriptTask>(storage_.get());
    task_->SetDebug(true);
    task_->LoadFile("Dbg.sct");
  }
  void TearDown() override {
    task_.reset();
    TaskFixture::TearDown();
  }

  // Starts the task under the debugger and waits until it stands at the first element.
  TScriptDebugger& StartDebugging() {
    task_->Start();
    TScriptDebugger* debugger = task_->GetDebugger();
    debugger->SetView(&view_);
    EXPECT_TRUE(Stopped());
    return *debugger;
  }

  // Waits until the task stands still again after a command.
  bool Stopped() {
    const int updates = view_.updates;
    return RunUntil([&] {
      return view_.updates > updates && task_->GetSchedulerTask().State() == tsWaiting;
    });
  }

  std::unique_ptr<TScriptTask> task_;
  TRecordingView view_;
};

TEST_F(ScriptDebuggerTest, StepsBreaksAndRunsToTheEnd) {
  TScriptDebugger& debugger = StartDebugging();
  EXPECT_EQ(view_.line, 2);
  ASSERT_EQ(debugger.GetSources().size(), 1u);
  const uint16_t source = debugger.GetSources()[0];
  EXPECT_EQ(debugger.SourceName(source), Root() + "Dbg.sct");

  // Step into until the call of the procedure, then step over it as one element.
  while (view_.line != 3) {
    debugger.StepInto();
    ASSERT_TRUE(Stopped());
  }
  debugger.StepOver();
  ASSERT_TRUE(Stopped());
  EXPECT_EQ(view_.line, 4);
  EXPECT_EQ(StackText(*task_->GetContext()), "3");

  const int32_t position = debugger.PositionOfLine(source, 5);
  ASSERT_GE(position, 0);
  EXPECT_TRUE(debugger.ToggleBreak(source, position));
  ASSERT_EQ(debugger.Breakpoints(source).size(), 1u);
  EXPECT_EQ(debugger.Breakpoints(source)[0].Name, "add");
  debugger.Run();
  ASSERT_TRUE(Stopped());
  EXPECT_EQ(task_->GetContext()->GetState(), csBreak);
  EXPECT_EQ(view_.line, 5);
  EXPECT_EQ(StackText(*task_->GetContext()), "3 10 20");

  debugger.Run();
  Finish(*task_);
  EXPECT_EQ(StackText(*task_->GetContext()), "3 30");
  EXPECT_EQ(view_.messages, (std::vector<std::string>{"Script Finished!"}));
  EXPECT_EQ(view_.line, 0);

  // A second toggle takes the breakpoint away; a position on no token is refused.
  EXPECT_FALSE(debugger.ToggleBreak(source, position));
  EXPECT_EQ(FailureOf([&] { debugger.ToggleBreak(source, 3); }),
            "TScriptDebugger.ToggleBreak: internal error");
}

TEST_F(ScriptDebuggerTest, ScriptsWithoutTheDebuggerPassBreakpoints) {
  TScriptDebugger& debugger = StartDebugging();
  const uint16_t source = debugger.GetSources()[0];
  debugger.ToggleBreak(source, debugger.PositionOfLine(source, 5));

  // The same script, breakpoint and all, in a task that does not debug.
  TScriptTask plain(storage_.get());
  TRef<TSLContextImplementation> context = storage_->CreateContext();
  plain.SetContext(context.Get());
  plain.SetBlock(task_->GetBlock());
  plain.Start();
  Finish(plain);
  EXPECT_EQ(StackText(*context), "3 30");
  task_->Abort();
  Finish(*task_);
}

TEST_F(ScriptDebuggerTest, AFailureIsShownAtItsElement) {
  WriteFile("Bad.sct", "[B\n  1\n  nosuch\n]\n");
  task_->Reset();
  task_->LoadFile("Bad.sct");
  TScriptDebugger& debugger = StartDebugging();
  debugger.Run();
  Finish(*task_);
  EXPECT_EQ(view_.line, 3);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0], "[Bad.sct, 3] Runtime error: object with name 'nosuch' not found");
}

}  // namespace
}  // namespace tolvek
