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

namespace tolvek {

class TaskFixture : public ::testing::Test {
protected:
  void SetUp() override {
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            ("tolvek_tasks_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(root_);
    const char* old = std::getenv("TOLVEK_HOME");
    oldHome_ = old ? old : "";
    hadHome_ = old != nullptr;
    ::setenv("TOLVEK_HOME", root_.c_str(), 1);
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
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
    std::filesystem::current_path(oldCwd_);
    if (hadHome_) ::setenv("TOLVEK_HOME", oldHome_.c_str(), 1);
    else ::unsetenv("TOLVEK_HOME");
    std::filesystem::remove_all(root_);
  }

  std::string Root() const { return root_.string() + "/"; }

  void WriteFile(const std::string& relative, const std::string& text) {
    std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
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
  std::filesystem::path root_;
  std::filesystem::path oldCwd_;
  std::string oldHome_;
  bool hadHome_ = false;
};

}  // namespace tolvek
