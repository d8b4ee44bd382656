// A scratch installation with a storage manager set up as the program sets it up, a main
// scheduler on a headless main loop, and helpers that run scripts in contexts and tasks.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "app/installation.h"
#include "kernel/scheduler.h"
#include "platform/error.h"
#include "platform/main_loop.h"
#include "script/interp/script_runner.h"
#include "script/interp/sl_interpreter.h"
#include "script/ref_obj.h"
#include "script/storage_manager.h"
#include "script/tasks/script_task.h"
#include "../support/scratch_installation.h"

namespace tolvek {

class TaskFixture : public ::testing::Test, protected testing::TScratchInstallation {
protected:
  TaskFixture() : TScratchInstallation("tolvek_tasks", true) {}

  void SetUp() override {
    scheduler_ = std::make_unique<TMxScheduler>(&loop_);
    storage_ = std::make_unique<TStorageManager>();
    InstallStorage(*storage_, Root());
    // Scripts decoded with positions, as the debugger and the error texts need.
    storage_->SetDebug(true);
  }

  void TearDown() override {
    storage_.reset();
    scheduler_.reset();
    TRefObjManager::Instance().ReleasePool();
  }

  // Serves the main scheduler until `condition` holds; false after `timeoutMs` (generous: the
  // tests run on a loaded machine under sanitizers).
  bool RunUntil(const std::function<bool()>& condition, int64_t timeoutMs = 30000) {
    return loop_.RunUntil(condition, timeoutMs);
  }

  // The block of `text` ("[B " + text + " ]"), decoded with positions.
  TRef<TSLBlock> Block(const std::string& text) {
    TRef<TSLObject> value(storage_->StrToObj("[B " + text + " ]"));
    return TRef<TSLBlock>(CastObj<TSLBlock>(value.Get()));
  }

  // A task that runs `text` in a new context of the storage manager.
  std::unique_ptr<TScriptTask> Task(const std::string& text) {
    auto task = std::make_unique<TScriptTask>(storage_.get());
    TRef<TSLContextImplementation> context = storage_->CreateContext();
    task->SetContext(context.Get());
    task->SetBlock(Block(text).Get());
    return task;
  }

  // Runs a started task to its end.
  void Finish(TScriptTask& task) {
    ASSERT_TRUE(RunUntil([&] { return !task.IsBusy(); })) << "the task did not end";
  }

  // Runs `text` in a new context of the storage manager without a task (no waits): the operand
  // stack bottom to top, or the failure's message.
  std::string RunContext(const std::string& text) {
    TRef<TSLContextImplementation> context = storage_->CreateContext();
    try {
      context->PushBlock(Block(text).Get());
      while (!storage_->GetInterpreter().Run(*context)) {
      }
    } catch (const std::exception& e) {
      return std::string("error: ") + e.what();
    }
    return StackText(*context);
  }

  static std::string StackText(TSLContext& context) {
    std::string text;
    for (int32_t i = context.Operands().Count() - 1; i >= 0; --i)
      text += (text.empty() ? "" : " ") + TSLScriptRunner::ValueText(context.Operands().Top(i));
    return text;
  }

  // The message of the failure `action` raises, or "" when it raises none.
  template <class F>
  static std::string FailureOf(F&& action) {
    try {
      action();
    } catch (const EError& e) {
      return e.Message();
    }
    return "";
  }

  THeadlessMainLoop loop_;
  std::unique_ptr<TMxScheduler> scheduler_;
  std::unique_ptr<TStorageManager> storage_;
};

}  // namespace tolvek
