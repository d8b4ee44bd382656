// Running scripts from the command line as script tasks, and the interactive session.
#include "script_commands.h"

#include <readline/history.h>
#include <readline/readline.h>

#include <cstdio>
#include <memory>

#include "app/installation.h"
#include "kernel/scheduler.h"
#include "platform/file_paths.h"
#include "platform/main_loop.h"
#include "platform/text_format.h"
#include "script/archive_storage.h"
#include "script/classes/archive_manager_script_class.h"
#include "script/classes/storage_object_manager_script_class.h"
#include "script/clipboard_storage.h"
#include "script/file_storage.h"
#include "script/interp/script_runner.h"
#include "script/lookahead_stream.h"
#include "script/storage_manager.h"
#include "script/stream_decoder.h"
#include "script/string_stream.h"
#include "script/tasks/housekeeping_task.h"
#include "script/tasks/script_task.h"
#include "console_debugger.h"

namespace tolvek {

namespace {

// What a script task needs around it: a main scheduler on a headless main loop, the pool
// drain, and a storage manager set up as the program sets it up, with the storage script
// classes announced. Scripts find files in the current directory, then in the directories
// given with -I, then in the installation.
class TScriptHost {
public:
  explicit TScriptHost(const TRunOptions& options)
      : scheduler_(std::make_unique<TMxScheduler>(&loop_)),
        housekeeping_(std::make_unique<THousekeepingTask>()),
        storage_(std::make_unique<TStorageManager>()) {
    storage_->AddSearchDirectory(CurrentDir());
    for (const std::string& dir : options.SearchDirectories) storage_->AddSearchDirectory(dir);
    InstallStorage(*storage_, InstallDir());
    storage_->AnnounceScriptClass("ArchiveManager", std::make_shared<TArchiveManagerScriptClass>());
    storage_->AnnounceScriptClass("StorageObjectManager",
                                  std::make_shared<TStorageObjectManagerScriptClass>());
  }
  ~TScriptHost() {
    housekeeping_.reset();
    storage_.reset();
    TRefObjManager::Instance().ReleasePool();
    scheduler_.reset();
  }

  THeadlessMainLoop& Loop() { return loop_; }
  TStorageManager& Storage() { return *storage_; }

  // Serves the main scheduler until `condition` holds.
  void RunUntil(const std::function<bool()>& condition) {
    while (!loop_.RunUntil(condition, 3600000)) {
    }
  }

private:
  THeadlessMainLoop loop_;
  std::unique_ptr<TMxScheduler> scheduler_;
  std::unique_ptr<THousekeepingTask> housekeeping_;
  std::unique_ptr<TStorageManager> storage_;
};

// The block of a script text ("[B " + text + " ]"); syntax errors name the text "string".
TRef<TSLBlock> DecodeText(const std::string& text) {
  TRef<TSLStreamDecoder> decoder = MakeRef<TSLStreamDecoder>();
  decoder->RegisterStandardSyntax();
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  // A comment on the last line would swallow the closing bracket: it then goes on a line of
  // its own (otherwise it stays on the last line, so that line numbers stay the text's).
  const size_t lastLine = text.find_last_of("\r\n");
  const bool comment = text.find('%', lastLine == std::string::npos ? 0 : lastLine) != std::string::npos;
  stream->LoadText("[B " + text + (comment ? "\n]" : " ]"));
  TRef<TSLLookaheadStream> input = MakeRef<TSLLookaheadStream>(stream.Get());
  TRef<TSLObject> block = decoder->DecodeObject(*input, true);
  // A "]" too many closes the block early; what follows it is an error, not ignored text.
  if (decoder->DecodeObject(*input, true))
    throw EError(StrFormat("[string, %d] Syntax error: composite not opened", input->GetLine()));
  input->SetStream(nullptr);
  return TRef<TSLBlock>(CastObj<TSLBlock>(block.Get()));
}

// Runs a prepared task to its end (under the console debugger when asked) and reports.
int RunTask(TScriptHost& host, TScriptTask& task, const TRunOptions& options) {
  task.SetDebug(options.Debug);
  task.Start();
  if (options.Debug) {
    TConsoleDebugger console(task, [&host](const std::function<bool()>& condition) {
      host.RunUntil(condition);
    });
    console.Run();
  } else {
    host.RunUntil([&] { return !task.IsBusy(); });
  }
  if (task.GetFailed()) {
    std::fprintf(stderr, "%s\n", task.GetErrorText().c_str());
    return 1;
  }
  std::string out;
  TSLValueStack& operands = task.GetContext()->Operands();
  for (int32_t i = operands.Count() - 1; i >= 0; --i)
    out.append(TSLScriptRunner::ValueText(operands.Top(i))).push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int RunScriptText(const std::string& text, const TRunOptions& options) {
  TScriptHost host(options);
  TRef<TSLBlock> block;
  try {
    block = DecodeText(text);
  } catch (const EError& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  TScriptTask task(&host.Storage());
  TRef<TSLContextImplementation> context = host.Storage().CreateContext();
  task.SetContext(context.Get());
  task.SetBlock(block.Get());
  return RunTask(host, task, options);
}

int RunScriptFile(const std::string& fileName, const TRunOptions& options) {
  TScriptHost host(options);
  TScriptTask task(&host.Storage());
  try {
    // With source positions, so that runtime errors name the file and line.
    TRef<TSLStorageObject> object(host.Storage().GetObject(fileName, saRead, true));
    auto* block = dynamic_cast<TSLBlock*>(object->GetData());
    if (!block) throw EError(StrFormat("'%s' does not hold a script block", fileName));
    TRef<TSLContextImplementation> context = host.Storage().CreateContext();
    context->SetSourceName(fileName);
    task.SetContext(context.Get());
    task.SetBlock(block);
  } catch (const EError& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  return RunTask(host, task, options);
}

int RunInteractive(const TRunOptions& options) {
  TScriptHost host(options);
  // One task and one context for the whole session, so that definitions and the operand
  // stack carry over from line to line.
  TScriptTask task(&host.Storage());
  TRef<TSLContextImplementation> context = host.Storage().CreateContext();
  task.SetContext(context.Get());
  std::printf("tolvek-sl: each line runs as a block; the operand stack follows. Ctrl-D ends.\n");
  for (;;) {
    std::unique_ptr<char, decltype(&std::free)> line(readline("sl> "), &std::free);
    if (!line) break;
    const std::string text(line.get());
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    add_history(line.get());
    try {
      TRef<TSLBlock> block = DecodeText(text);
      // Whatever an earlier failure left on the call stack is abandoned; the operand stack
      // stays as the failure left it.
      context->AbandonRun();
      task.SetBlock(block.Get());
      task.Start();
      host.RunUntil([&] { return !task.IsBusy(); });
      if (task.GetFailed()) std::printf("%s\n", task.GetErrorText().c_str());
    } catch (const EError& e) {
      std::printf("%s\n", e.Message().c_str());
    }
    std::string shown;
    TSLValueStack& operands = context->Operands();
    for (int32_t i = operands.Count() - 1; i >= 0; --i)
      shown.append(shown.empty() ? "" : " ").append(TSLScriptRunner::ValueText(operands.Top(i)));
    std::printf("[%s]\n", shown.c_str());
  }
  std::printf("\n");
  return 0;
}

}  // namespace tolvek
