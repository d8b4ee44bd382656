// Script tasks under the main scheduler: waits and their ends, continuation by a script-class
// completion, abort, runtime error texts, the end and reuse of a task, auto-free, the task
// manager, and fair sharing of the scheduler.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <vector>

#include "kernel/task.h"
#include "platform/tick_count.h"
#include "platform/user_interface.h"
#include "script/interp/context_interface.h"
#include "script/script_class.h"
#include "script/tasks/housekeeping_task.h"
#include "script/tasks/script_task_list.h"
#include "script/tasks/script_task_manager.h"
#include "task_fixture.h"

namespace tolvek {
namespace {

// "Job" starts a job and waits for it without time-out; the test completes the job by calling
// the context's Continue, as a completion handler does. After the wait the method runs again
// and pushes the job's result.
class TJobClass : public TScriptClass {
public:
  void* CreateScriptObject(TContextInterface&) override { return this; }
  void DestroyScriptObject(void*) override {}
  void CallMethod(void*, int32_t, TContextInterface& context) override {
    if (context.GetReexec() == 1) {
      context.SetReexec(0);
      context.PushInt64(result);
      return;
    }
    waiting = &context;
    context.SetReexec(1);
    context.Wait(nullptr, kMxInfinite);
  }
  std::string GetMethodName(int32_t index) override { return index == 0 ? "Job" : ""; }

  TContextInterface* waiting = nullptr;
  int64_t result = 0;
};

using ScriptTaskTest = TaskFixture;

TEST_F(ScriptTaskTest, WaitResumesAfterItsTimeOut) {
  auto task = Task("1 500 wait 2");
  const uint32_t start = GetTickCount();
  task->Start();
  ASSERT_TRUE(RunUntil([&] { return task->GetContext()->GetState() == csWait; }));
  Finish(*task);
  EXPECT_GE(GetTickCount() - start, 450u);
  EXPECT_EQ(task->GetErrorText(), "");
  EXPECT_EQ(StackText(*task->GetContext()), "1 2");
}

TEST_F(ScriptTaskTest, ACompletionWakesTheWaitingScriptAtOnce) {
  auto jobs = std::make_shared<TJobClass>();
  storage_->AnnounceScriptClass("Jobs", jobs);
  auto task = Task("Create:Jobs /j exch def j.Job 1 add");
  task->Start();
  ASSERT_TRUE(RunUntil([&] { return jobs->waiting != nullptr; }));
  // The script waits without time-out: only the completion can end the wait.
  jobs->result = 41;
  jobs->waiting->Continue(0);
  Finish(*task);
  EXPECT_EQ(task->GetErrorText(), "");
  EXPECT_EQ(StackText(*task->GetContext()), "42");
}

TEST_F(ScriptTaskTest, AbortEndsAWaitingTaskAtOnce) {
  std::vector<bool> seen;
  auto task = Task("2000000000 wait");
  task->OnFinish = [&](TScriptTask& t) { seen = {t.IsBusy(), t.GetFailed()}; };
  task->Start();
  ASSERT_TRUE(RunUntil([&] { return task->GetContext()->GetState() == csWait; }));
  task->Abort();
  Finish(*task);
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
  EXPECT_EQ(task->GetErrorText(), "script task aborted");
  // The script's own "abort" ends it the same way, without running on.
  auto self = Task("1 abort 2");
  self->Start();
  Finish(*self);
  EXPECT_EQ(self->GetErrorText(), "script task aborted");
  EXPECT_EQ(StackText(*self->GetContext()), "1");
}

TEST_F(ScriptTaskTest, RuntimeErrorNamesTheFileAndLine) {
  std::string text = "[B\n";
  for (int line = 2; line < 12; ++line) text += "  " + std::to_string(line) + " pop\n";
  text += "  1 'a' add\n]\n";
  WriteFile("Test.sct", text);
  TScriptTask task(storage_.get());
  task.LoadFile("Test.sct");
  std::string seenText;
  bool seenBusy = true;
  task.OnFinish = [&](TScriptTask& t) {
    seenBusy = t.IsBusy();
    seenText = t.GetErrorText();
  };
  task.Start();
  Finish(task);
  EXPECT_FALSE(seenBusy);
  EXPECT_EQ(seenText, "[Test.sct, 12] Runtime error: Invalid class typecast");
  EXPECT_TRUE(task.GetFailed());
  EXPECT_EQ(task.GetContext()->GetSourceName(), "Test.sct");
}

TEST_F(ScriptTaskTest, ATaskRunsAgainAfterResetWithNewParameters) {
  TScriptTask task(storage_.get());
  struct TCase {
    const char* name;
    std::function<void()> action;
    const char* message;
  };
  const TCase failures[] = {
      {"push without context", [&] { task.PushParameter(nullptr); },
       "TScriptTask.PushParameter: Context not initialized"},
      {"pop without context", [&] { task.PopResult(); },
       "TScriptTask.PopResult: Context not initialized"},
  };
  for (const TCase& c : failures) EXPECT_EQ(FailureOf(c.action), c.message) << c.name;

  std::vector<std::string> finished;
  task.OnFinish = [&](TScriptTask& t) { finished.push_back(t.GetErrorText()); };
  for (int64_t n : {20, 3}) {
    task.Reset();
    TRef<TSLContextImplementation> context = storage_->CreateContext();
    task.SetContext(context.Get());
    task.SetBlock(Block("2 mul").Get());
    TRef<TSLLongint> parameter = MakeRef<TSLLongint>(n);
    task.PushParameter(parameter.Get());
    task.Start();
    EXPECT_EQ(FailureOf([&] { task.Start(); }), "TScriptTask.Start: script task not idle");
    EXPECT_EQ(FailureOf([&] { task.Reset(); }), "TScriptTask.Reset: script task not idle");
    Finish(task);
    EXPECT_EQ(TSLScriptRunner::ValueText(task.PopResult()), std::to_string(2 * n));
    EXPECT_FALSE(task.GetFailed());
  }
  EXPECT_EQ(finished, (std::vector<std::string>{"", ""}));
}

TEST_F(ScriptTaskTest, ManagerNumbersTasksAndAutoFreeLeavesAtTheNextDrain) {
  TScriptTaskManager& manager = TScriptTaskManager::Instance();
  int changes = 0;
  manager.AddListener(this, [&](TScriptTaskManager&) { ++changes; });
  const int32_t before = manager.TaskCount();
  auto first = Task("1");
  auto second = Task("2000000000 wait");
  EXPECT_EQ(second->GetID(), first->GetID() + 1);
  EXPECT_EQ(manager.TaskCount(), before + 2);
  EXPECT_GE(changes, 2);

  // The task list shows busy tasks with their context's state.
  second->GetContext()->SetSourceName("Archives\\Long\\Waiting.sct");
  second->Start();
  ASSERT_TRUE(RunUntil([&] { return second->GetContext()->GetState() == csWait; }));
  std::vector<TScriptTaskRow> rows = BusyTaskRows(manager);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ID, second->GetID());
  EXPECT_EQ(rows[0].State, "Waiting");
  EXPECT_EQ(ShortenText(rows[0].Script, 12), "Archives\\...");
  second->Abort();
  Finish(*second);

  TScriptTask* autoFree = first.release();
  autoFree->SetAutoFree(true);
  bool ended = false;
  autoFree->OnFinish = [&](TScriptTask&) { ended = true; };
  autoFree->Start();
  ASSERT_TRUE(RunUntil([&] { return ended; }));
  EXPECT_GE(manager.IndexOfTask(autoFree), 0);
  TRefObjManager::Instance().ReleasePool();
  EXPECT_EQ(manager.IndexOfTask(autoFree), -1);
  manager.RemoveListener(this);
}

TEST_F(ScriptTaskTest, TheHousekeepingTaskFreesEndedAutoFreeTasks) {
  THousekeepingTask housekeeping(20);
  TScriptTask* task = Task("1 2 add").release();
  task->SetAutoFree(true);
  task->Start();
  EXPECT_TRUE(RunUntil([&] { return TScriptTaskManager::Instance().IndexOfTask(task) < 0; }));
  EXPECT_GT(housekeeping.DrainCount(), 0u);
}

TEST_F(ScriptTaskTest, AbortTaskAsksFirst) {
  // Answers every question with `answer` and counts beeps.
  class TAnsweringUserInterface : public THeadlessUserInterface {
  public:
    TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType, unsigned buttons,
                             TMsgDlgButton) override {
      asked = text;
      EXPECT_EQ(buttons, static_cast<unsigned>(mbYes | mbNo));
      return answer;
    }
    void Beep() override { ++beeps; }
    TMsgDlgButton answer = mbNo;
    std::string asked;
    int beeps = 0;
  };
  TAnsweringUserInterface ui;
  SetUserInterface(&ui);
  struct TRestore {
    ~TRestore() { SetUserInterface(nullptr); }
  } restore;
  auto task = Task("2000000000 wait");
  task->Start();
  ASSERT_TRUE(RunUntil([&] { return task->GetContext()->GetState() == csWait; }));
  EXPECT_FALSE(AbortSelectedTask(nullptr));
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_FALSE(AbortSelectedTask(task.get()));
  EXPECT_EQ(ui.asked, kAbortTaskQuestion);
  EXPECT_TRUE(task->IsBusy());
  ui.answer = mbYes;
  EXPECT_TRUE(AbortSelectedTask(task.get()));
  Finish(*task);
  EXPECT_EQ(task->GetErrorText(), "script task aborted");
}

TEST_F(ScriptTaskTest, LongScriptsAndAKernelTaskShareTheScheduler) {
  // Each script counts its own steps; the ticker samples the counts on each of its slices.
  std::array<int64_t, 2> counts{};
  class TCount final : public TSLInternalProcedure {
  public:
    explicit TCount(std::array<int64_t, 2>& counts) : counts_(counts) {}
    void Execute(TSLContext& context) override {
      ++counts_[static_cast<size_t>(IntOperand(context, 0))];
      context.Operands().Drop();
    }
    std::array<int64_t, 2>& counts_;
  };
  storage_->AddSystemProcedure("tally", NewObj<TCount>(counts));
  auto a = Task("[B 0 tally ] loop");
  auto b = Task("[B 1 tally ] loop");
  std::array<int, 2> advanced{};
  std::array<int64_t, 2> last{};
  int ticks = 0;
  TMxTask ticker;
  ticker.OnExecute = [&](TMxTask& task) {
    ++ticks;
    for (size_t i = 0; i < 2; ++i) {
      if (counts[i] != last[i]) ++advanced[i];
      last[i] = counts[i];
    }
    task.Sleep(1);
  };
  a->Start();
  b->Start();
  ticker.Start();
  // Between the ticker's slices both endless scripts move on, again and again.
  EXPECT_TRUE(RunUntil([&] { return advanced[0] >= 5 && advanced[1] >= 5; }));
  EXPECT_GE(ticks, 5);
  a->Abort();
  b->Abort();
  Finish(*a);
  Finish(*b);
  EXPECT_EQ(a->GetErrorText(), "script task aborted");
  ticker.Stop();
}

TEST_F(ScriptTaskTest, LogWritesToTheDebugLog) {
  // Without a program debug log the line is dropped; the operation still takes its operand.
  auto task = Task("1 'hello' log");
  task->Start();
  Finish(*task);
  EXPECT_EQ(task->GetErrorText(), "");
  EXPECT_EQ(StackText(*task->GetContext()), "1");
  EXPECT_TRUE(task->GetContext()->CurrentDict()->Known("log"));
}

}  // namespace
}  // namespace tolvek
