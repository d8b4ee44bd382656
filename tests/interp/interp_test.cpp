// The interpreter driven from host code: time slices, the wait and re-execute protocol,
// breakpoints and steps, the context interface, dispatch limits and errors in script files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/file_paths.h"
#include "script/file_storage.h"
#include "script/interp/internal_procedure.h"
#include "script/interp/script_runner.h"
#include "script/interp/system_dictionary.h"
#include "script/object_text.h"
#include "script/storage_manager.h"
#include "../script/script_test_support.h"

namespace tolvek {
namespace {

// A context over the standard System dictionary, running text pushed as a block.
class ContextTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    system_ = CreateSystemDictionary();
    create_ = MakeRef<TSLDictionary>();
    context_ = CreateScriptContext(system_.Get(), create_.Get());
  }
  void TearDown() override {
    context_.Reset();
    system_.Reset();
    create_.Reset();
    ScriptTest::TearDown();
  }
  void Push(const std::string& text) {
    TRef<TSLObject> block = StrToObj("[B " + text + " ]", true);
    context_->PushBlock(CastObj<TSLBlock>(block.Get()));
  }
  std::string Stack() {
    std::string text;
    for (int32_t i = context_->Operands().Count() - 1; i >= 0; --i)
      text += (text.empty() ? "" : " ") + TSLScriptRunner::ValueText(context_->Operands().Top(i));
    return text;
  }
  void AddOperation(const char* name, TSLInternalProcedure* operation) {
    TRef<TSLInternalProcedure> hold(operation);
    system_->AddObject(name, operation);
  }

  TRef<TSLDictionary> system_;
  TRef<TSLDictionary> create_;
  TRef<TSLContextImplementation> context_;
  TSLInterpreter interpreter_;
};

TEST_F(ContextTest, LongScriptReturnsSliceAndContinuesWhereItStopped) {
  Push("0 1 1 3000000 [B add ] for");
  ASSERT_FALSE(interpreter_.Run(*context_));
  EXPECT_EQ(context_->GetState(), csSlice);
  int runs = 1;
  while (!interpreter_.Run(*context_)) {
    ASSERT_EQ(context_->GetState(), csSlice);
    ++runs;
  }
  EXPECT_GT(runs, 1);
  EXPECT_EQ(Stack(), "4500001500000");
  EXPECT_EQ(context_->GetState(), csFinished);
  EXPECT_EQ(FailureOf([&] { interpreter_.Run(*context_); }), "interpreter called in finished state");
}

TEST_F(ContextTest, RunStateErrors) {
  EXPECT_EQ(FailureOf([&] { interpreter_.Run(*context_); }), "interpreter called in idle state");
  EXPECT_EQ(FailureOf([&] { context_->Continue(0); }), "continue called while not in wait state");
  EXPECT_EQ(FailureOf([&] { context_->Resume(0); }), "resume called while not in wait state");
  EXPECT_EQ(FailureOf([&] { context_->ResumeBreak(); }), "resume called while not in wait state");
  Push("1");
  EXPECT_EQ(FailureOf([&] { Push("2"); }), "PushBlock is only allowed in finished or idle state");
}

// A host operation that starts a job, waits for it and collects the result when executed
// again, as script-class methods do.
class TSLJobProcedure final : public TSLInternalProcedure {
public:
  const char* ClassName() const override { return "TSLJobProcedure"; }
  void Execute(TSLContext& context) override {
    TContextInterface& script = context.GetContextInterface();
    if (script.GetReexec() == 0) {
      ++started;
      script.SetReexec(1);
      script.Wait(this, 5000);
      return;
    }
    script.SetReexec(0);
    script.PushInt64(42);
  }
  int started = 0;
};

TEST_F(ContextTest, WaitingOperationIsExecutedAgainAfterContinue) {
  auto* job = NewObj<TSLJobProcedure>();
  AddOperation("job", job);
  Push("1 job 2");
  int32_t continued = -1;
  context_->OnContinue = [&](TSLContext&, int32_t argument) { continued = argument; };
  EXPECT_FALSE(interpreter_.Run(*context_));
  EXPECT_EQ(context_->GetState(), csWait);
  EXPECT_EQ(context_->GetWaitTime(), 5000);
  EXPECT_EQ(FailureOf([&] { context_->Wait(nullptr, 1); }), "wait called while in wait state");
  EXPECT_EQ(FailureOf([&] { interpreter_.Run(*context_); }), "interpreter called in wait state");
  context_->Continue(7);
  EXPECT_EQ(continued, 7);
  EXPECT_EQ(context_->GetState(), csContinue);
  EXPECT_TRUE(interpreter_.Run(*context_));
  EXPECT_EQ(job->started, 1);
  EXPECT_EQ(Stack(), "1 42 2");
}

TEST_F(ContextTest, WaitEndsAfterResumeWithoutRunningAgain) {
  Push("1 5000 wait 2");
  EXPECT_FALSE(interpreter_.Run(*context_));
  EXPECT_EQ(context_->GetState(), csWait);
  bool resumed = false;
  context_->OnResume = [&](TSLContext&, int32_t) { resumed = true; };
  context_->Resume(0);
  EXPECT_TRUE(resumed);
  EXPECT_TRUE(interpreter_.Run(*context_));
  EXPECT_EQ(Stack(), "1 2");
}

// A host operation that has a script name do part of its work: stage 1 runs "half" first.
class TSLTwiceProcedure final : public TSLInternalProcedure {
public:
  const char* ClassName() const override { return "TSLTwiceProcedure"; }
  void Execute(TSLContext& context) override {
    TContextInterface& script = context.GetContextInterface();
    if (script.GetReexec() == 0) {
      script.SetReexec(1);
      script.CallName("half");
      return;
    }
    script.SetReexec(0);
    script.PushInt64(script.PopInt64() * 4);
  }
};

TEST_F(ContextTest, OperationCallsANameAndIsExecutedAgain) {
  AddOperation("twice", NewObj<TSLTwiceProcedure>());
  Push("/half [B 10 2 idiv ] def twice 1");
  EXPECT_TRUE(interpreter_.Run(*context_));
  EXPECT_EQ(Stack(), "20 1");
}

TEST_F(ContextTest, BreakpointStopsAndStepsReportTokens) {
  TRef<TSLObject> block = StrToObj("[B 1 2 add 3 ]", true);
  auto* script = CastObj<TSLBlock>(block.Get());
  script->GetObjAtIndex(2)->GetDbgInfo()->SetBreakpoint(true);
  std::vector<std::string> shown;
  interpreter_.OnDebugger = [&](TSLObject* token) {
    shown.push_back(token ? TSLScriptRunner::ValueText(token) : "null");
  };
  context_->PushBlock(script);
  EXPECT_FALSE(interpreter_.Run(*context_));
  EXPECT_EQ(context_->GetState(), csBreak);
  EXPECT_EQ(Stack(), "1 2");
  context_->ResumeBreak();
  EXPECT_FALSE(interpreter_.Step(*context_));  // executes "add", shows the next token
  EXPECT_EQ(Stack(), "3");
  EXPECT_TRUE(interpreter_.StepOver(*context_));
  EXPECT_EQ(Stack(), "3 3");
  EXPECT_EQ(shown, (std::vector<std::string>{"add", "3"}));
}

TEST_F(ContextTest, ContextInterfacePopsOnlyTheRightClass) {
  TContextInterface& script = context_->GetContextInterface();
  script.PushInt64(5);
  script.PushString("s");
  EXPECT_TRUE(script.IsString());
  EXPECT_FALSE(script.IsInt64());
  EXPECT_EQ(FailureOf([&] { script.PopInt64(); }), "Invalid class typecast");
  EXPECT_EQ(script.PopString(), "s");
  EXPECT_EQ(script.PopInt64(), 5);
  script.PushName("abc");
  script.PushDouble(1.5);
  script.PushBoolean(true);
  EXPECT_TRUE(script.PopBoolean());
  EXPECT_EQ(script.PopDouble(), 1.5);
  EXPECT_EQ(script.PopName(), "abc");
  EXPECT_FALSE(script.IsBoolean());
}

TEST_F(ContextTest, StackInterfacesRefuseForeignValues) {
  TRef<TSLLongint> number = MakeRef<TSLLongint>(1);
  EXPECT_EQ(FailureOf([&] { context_->GetDictStack().Push(number.Get()); }), "Invalid class typecast");
  EXPECT_EQ(FailureOf([&] { context_->GetCallStack().Push(number.Get()); }), "Invalid class typecast");
  EXPECT_EQ(context_->GetDictStack().Count(), 3);
  // A dictionary pushed by host code takes part in name resolution at once.
  Push("x");
  TRef<TSLDictionary> extra = MakeRef<TSLDictionary>();
  extra->SetInt64WithName("x", 9);
  context_->GetDictStack().Push(extra.Get());
  EXPECT_TRUE(interpreter_.Run(*context_));
  EXPECT_EQ(Stack(), "9");
}

TEST_F(ContextTest, RaiseScriptErrorFromHostIsCatchable) {
  class TSLFailProcedure final : public TSLInternalProcedure {
  public:
    const char* ClassName() const override { return "TSLFailProcedure"; }
    void Execute(TSLContext& context) override {
      RaiseScriptError(context.GetContextInterface(), "device not ready");
    }
  };
  AddOperation("fail", NewObj<TSLFailProcedure>());
  Push("[B fail ] [B /Msg get ] tryexcept [B fail ] [B /Msg get ] tryexcept");
  EXPECT_TRUE(interpreter_.Run(*context_));
  EXPECT_EQ(Stack(), "'device not ready' 'device not ready'");
}

class TSLEightProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLEightProcedure"; }

protected:
  void RegisterProcedures() override {
    for (int i = 0; i < 8; ++i) Register(IsA<TSLObject>, 0, [](TSLContext&) {});
  }
};

class TSLUnregisteredProcedure final : public TSLPolymorphProcedure {
public:
  const char* ClassName() const override { return "TSLUnregisteredProcedure"; }
};

TEST_F(ContextTest, PolymorphDispatchLimits) {
  AddOperation("eight", NewObj<TSLEightProcedure>());
  AddOperation("unregistered", NewObj<TSLUnregisteredProcedure>());
  TSLScriptRunner runner;
  runner.GetSystemDictionary().AddObject("eight", system_->GetObjWithName("eight"));
  runner.GetSystemDictionary().AddObject("unregistered", system_->GetObjWithName("unregistered"));
  EXPECT_EQ(runner.RunText("1 eight").Error, "Runtime error: Procedure array has only 7 entries");
  EXPECT_EQ(runner.RunText("1 unregistered").Error,
            "Runtime error: TSLUnregisteredProcedure.RegisterProcedures not overwritten");
}

// Scripts and objects in files, through a storage manager over a scratch directory.
class StorageRunTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    dir_ = std::filesystem::temp_directory_path() /
           ("tolvek_interp_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    storage_ = std::make_unique<TStorageManager>();
    storage_->AddPlugin(std::make_unique<TFileStoragePlugin>(*storage_), true);
    storage_->AddSearchDirectory(dir_.string() + "/");
  }
  void TearDown() override {
    storage_.reset();
    std::filesystem::remove_all(dir_);
    ScriptTest::TearDown();
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
  }
  std::filesystem::path dir_;
  std::unique_ptr<TStorageManager> storage_;
};

TEST_F(StorageRunTest, RuntimeErrorNamesFileAndLine) {
  Write("Test.sct", "[B\n  1 2 add\n  'a' 3 sub\n]\n");
  TSLScriptRunner runner(storage_.get());
  const TSLRunResult result = runner.RunFile((dir_ / "Test.sct").string());
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(result.Error,
            "[Test.sct, 3] Runtime error: Procedure 'TSLSubProcedure' doesn't work on object "
            "with class TSLString");
}

TEST_F(StorageRunTest, ObjectsAreSavedAndLoadedByName) {
  TSLScriptRunner runner(storage_.get());
  const std::string name = (dir_ / "data.stx").string();
  TSLRunResult result =
      runner.RunText("'" + name + "' [D /Port 1 /Name 'x' ] saveobj '" + name + "' loadobj");
  EXPECT_TRUE(result.Ok) << result.Error;
  ASSERT_EQ(result.Stack.size(), 1u);
  EXPECT_EQ(result.Stack[0], "[D /Name 'x' /Port 1 ]");
  result = runner.RunText("'" + name + "' 'rw' loadstoobj pop '" + name + "' 'Q' loadstoobj");
  EXPECT_EQ(result.Error, "Runtime error: illegal access attribute 'Q'");
}

TEST_F(StorageRunTest, FileOperations) {
  TSLScriptRunner runner;
  const std::string d = dir_.string();
  const TSLRunResult result = runner.RunText(
      "'" + d + "/sub/deeper' forcedirectories '" + d + "/sub' directoryexists '" + d +
      "/sub/f.txt' fileexist '" + d + "/sub/*' 16 getdircontents [B /Name get ] forall '" + d +
      "/sub/deeper' removedir '" + d + "/none' filegetattr 'a/b.txt' extfileext 'a/b.txt' "
      "extfilename 'a/b.txt' extfilepath 'a/b.txt' '.bak' chfileext");
  EXPECT_TRUE(result.Ok) << result.Error;
  EXPECT_EQ(result.Stack, (std::vector<std::string>{"#1", "#1", "#0", "'deeper'", "#1", "-1",
                                                    "'.txt'", "'b.txt'", "'a/'", "'a/b.bak'"}));
}

TEST(HandleTest, ObjtointKeepsTheValueAlive) {
  TSLScriptRunner runner;
  const TSLRunResult result = runner.RunText("[A 1 ] objtoint dup inttoobj exch inttoobj");
  EXPECT_TRUE(result.Ok) << result.Error;
  EXPECT_EQ(result.Stack, (std::vector<std::string>{"[A 1 ]", "[A 1 ]"}));
}

}  // namespace
}  // namespace tolvek
