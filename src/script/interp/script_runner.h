// Runs a script to its end outside a script task: in a fresh context, slice after slice,
// sleeping through its waits. The runner tool and the script tests use it, so both see the same
// results and error texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/interp/sl_context.h"
#include "script/interp/sl_interpreter.h"

namespace tolvek {

class TStorageManager;

// What a run left behind.
struct TSLRunResult {
  // False when the script failed (a syntax error or an error that ended it).
  bool Ok = false;
  // The final operand stack, bottom to top, each value as the encoder writes it without the
  // trailing blank (a value the encoder cannot write shows as "<class name>").
  std::vector<std::string> Stack;
  // The error text: "Runtime error: ..." with "[source, line] " in front when known, or the
  // decoder's syntax error.
  std::string Error;
  // Number of run calls the script took (more than one when it used several slices or waits).
  int32_t RunCalls = 0;
};

// Runs scripts in fresh contexts that share one System and one Create dictionary.
class TSLScriptRunner : private TSLContextTask {
public:
  // `storage` (may be null) serves "loadobj", "saveobj" and "loadstoobj", loads script files and
  // names the sources in error texts.
  explicit TSLScriptRunner(TStorageManager* storage = nullptr);
  ~TSLScriptRunner() override;

  // Runs `text` as the body of a block ("[B " + text + " ]").
  TSLRunResult RunText(std::string_view text);
  // Runs the root value of the storage object `name` (normally a block) as a script task
  // would run a script file.
  TSLRunResult RunFile(const std::string& name);
  // Runs a block or procedure.
  TSLRunResult RunBlock(TSLBlock* block);
  // Runs `text` as RunText does, but in the context of the previous session run, so that its
  // definitions and operand stack carry over (an interactive session). A failed run leaves the
  // stacks as the failure left them and the session goes on.
  TSLRunResult RunSessionText(std::string_view text);

  // The context of the last run (kept until the next run), for inspection.
  TSLContextImplementation* GetLastContext() const noexcept { return context_.Get(); }
  TSLDictionary& GetSystemDictionary() noexcept { return *system_; }
  TSLInterpreter& GetInterpreter() noexcept { return interpreter_; }

  // The text of one value as the result lists show it.
  static std::string ValueText(TSLObject* value);

private:
  void Abort() override { aborted_ = true; }
  TRef<TSLBlock> Decode(std::string_view text, TSLRunResult& result);
  TSLRunResult Execute(TSLBlock* block);
  std::string SourceName(uint16_t storageID) const;

  TStorageManager* storage_;
  TRef<TSLDictionary> system_;
  TRef<TSLDictionary> create_;
  TRef<TSLContextImplementation> context_;
  TSLInterpreter interpreter_;
  bool aborted_ = false;
};

}  // namespace tolvek
