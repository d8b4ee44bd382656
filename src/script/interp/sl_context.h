// A script context: the complete state of one running script (operand, call and dictionary
// stacks, name spaces, the run state, waits and errors) and the operations the interpreter,
// the built-in operators and the host drive it with.
//
// Name resolution keeps a small cache from executable names to what they resolved to. An entry
// is valid only while no dictionary anywhere has changed (TSLDictionary::ChangeCount) and this
// context's dictionary stack has not changed; anything else re-runs the full resolution, so the
// cache never changes what a name means, only what it costs to find out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/interp/context_interface.h"
#include "script/interp/sl_tokenizer.h"
#include "script/interp/stack_interface.h"
#include "script/interp/value_stack.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"

namespace tolvek {

class TStorageManager;

// Run states of a context.
enum TSLContextState : int32_t {
  csIdle = 0,      // nothing pushed yet
  csRunning = 1,   // executing
  csWait = 2,      // an operation waits; the host must call Continue or Resume
  csContinue = 3,  // the wait ended; the current element may be executed again
  csBreak = 4,     // stopped at a breakpoint
  csSlice = 5,     // the time slice ran out; the next run continues
  csFinished = 6,  // the call stack ran empty
};

// What a context needs of the script task that runs it.
class TSLContextTask {
public:
  virtual ~TSLContextTask() = default;
  // Ends the task that runs the context ("abort").
  virtual void Abort() = 0;
};

// Host callbacks on Continue and Resume: the context and the argument given.
using TSLContextEvent = std::function<void(TSLContext& context, int32_t argument)>;

// The state of one running script. Built-in operators reach everything through this class.
class TSLContext : public TSLObject {
public:
  ~TSLContext() override;
  const char* ClassName() const override { return "TSLContext"; }

  virtual TSLContextState GetState() const = 0;
  // Re-execute value of the top tokenizer (0 without one).
  virtual int32_t GetReexec() const = 0;
  virtual void SetReexec(int32_t value) = 0;
  // The value a name resolves to (prefix "ns:" and dotted paths); fails
  // "object with name '%s' not found".
  virtual TSLObject* Lookup(std::string_view name) = 0;
  // Pushes a dictionary on the dictionary stack.
  virtual void PushDict(TSLDictionary* dictionary) = 0;
  // Pushes a dictionary and enters it in the name-space table.
  virtual void AddGlobalDict(std::string_view name, TSLDictionary* dictionary) = 0;
  // Enters a dictionary in the name-space table; fails with the table's AddObject message when
  // the name is taken.
  virtual void AddNamespace(std::string_view name, TSLDictionary* dictionary) = 0;
  // Starts running a block or procedure; only in csIdle or csFinished.
  virtual void PushBlock(TSLBlock* block) = 0;
  // Stops the script for `milliseconds` until Continue or Resume.
  virtual void Wait(TSLObject* caller, int32_t milliseconds) = 0;
  // The awaited event happened.
  virtual void Continue(int32_t argument) = 0;
  // The wait timed out.
  virtual void Resume(int32_t argument) = 0;

  // Ends the current run call after this step (the state becomes csSlice): used when the
  // task running the script was aborted from inside it.
  void Interrupt() noexcept { state_ = csSlice; }
  // Leaves csBreak; fails "resume called while not in wait state" in any other state.
  void ResumeBreak();
  // Clears the error-converted flag and the error location (a task starts the context).
  void ClearError();

  // The three stacks. Operators change the dictionary stack only through BeginDict, EndDict
  // and DropDictsTo, so that cached name resolutions notice.
  TSLValueStack& Operands() noexcept { return *operands_; }
  TSLValueStack& Dicts() noexcept { return *dicts_; }
  TSLValueStack& Calls() noexcept { return *calls_; }
  // The stack interfaces over them.
  TStackInterface& GetOperandStack() noexcept { return *operandInterface_; }
  TStackInterface& GetDictStack() noexcept { return *dictInterface_; }
  TStackInterface& GetCallStack() noexcept { return *callInterface_; }
  // Name-space name -> dictionary.
  TSLDictionary& GetNamespaces() noexcept { return *namespaces_; }
  // The view handed to script classes.
  TContextInterface& GetContextInterface() noexcept { return *interface_; }

  // The dictionaries at the bottom that scripts cannot remove ("System", "Create", "Global").
  static constexpr int32_t kPermanentDicts = 3;
  // Pushes a dictionary (retained).
  void BeginDict(TSLDictionary* dictionary);
  // Pops the top dictionary.
  void EndDict();
  // Pops dictionaries until `count` remain.
  void DropDictsTo(int32_t count);
  // The top dictionary (where "def" defines).
  TSLDictionary* CurrentDict();
  // Pushes a new tokenizer (the call stack takes it over) on top of the call stack.
  void PushTokenizer(TSLTokenizer* tokenizer);
  // The top tokenizer, or null.
  TSLTokenizer* TopTokenizer() {
    return calls_->Count() ? static_cast<TSLTokenizer*>(calls_->Top()) : nullptr;
  }
  // Removes `tokenizer` from the call stack, wherever it is.
  void RemoveTokenizer(TSLTokenizer* tokenizer);
  // Pushes a block tokenizer for `block`; one that ran out and that nobody else held is used
  // again, since blocks are entered and left all the time.
  void PushBlockTokenizer(TSLArray* block);

  // What Lookup does, but null instead of a failure when the name does not resolve.
  TSLObject* Resolve(std::string_view name);
  // Resolves an executable name met in a block, through the cache; fails as Lookup.
  TSLObject* ResolveElement(TSLIdent* name, TSLElementKind& kind) {
    TNameCacheEntry& entry =
        nameCache_[(reinterpret_cast<uintptr_t>(name) >> 4) & (kNameCacheSize - 1)];
    if (entry.Ident == name && entry.StackChange == dictStackChange_ &&
        SameBytes(entry.Name, name->GetName())) {
      if (entry.Dict) {
        // A plain name found on the dictionary stack: its entry stays where it was while no
        // dictionary gains or loses entries; the value is read afresh, since "def" of an
        // existing name replaces it in place.
        if (entry.KeyChange == TSLDictionary::KeyChangeCount()) {
          TSLObject* value = entry.Dict->TSLDictionary::GetObjAtIndex(entry.Index);
          if (value == entry.Value) {
            kind = entry.Kind;
            return value;
          }
          if (value) {
            entry.Value = value;
            entry.Kind = kind = KindOf(value);
            return value;
          }
        }
      } else if (entry.DictChange == TSLDictionary::ChangeCount()) {
        kind = entry.Kind;
        return entry.Value;
      }
    }
    return ResolveUncached(name, kind);
  }
  // Runs a value as the next thing: a block or procedure gets its tokenizer, an executable name
  // is looked up and run, a built-in operation executes now.
  void RunValue(TSLObject* value);
  // Places an executable name as the next element ("CallName").
  void CallName(std::string_view name);
  // Defines `name` (which may carry "ns:" and a path) as "def" does; false when the prefix or
  // path does not lead to a dictionary.
  bool DefineName(std::string_view name, TSLObject* value);

  // Raises a script exception with `value` ("raise").
  void RaiseException(TSLObject* value);
  // "exitblock", "exitloop", "exitproc".
  void ExitBlock();
  void ExitLoop();
  void ExitProc();

  // How a value is run when the interpreter meets it as an executable element.
  static TSLElementKind KindOf(TSLObject* value);

  // Milliseconds of the current wait.
  int32_t GetWaitTime() const noexcept { return waitTime_; }
  void ResetWaitTime() noexcept { waitTime_ = INT32_MAX; }

  TSLContextEvent OnContinue;
  TSLContextEvent OnResume;

  bool GetDebug() const noexcept { return debug_; }
  void SetDebug(bool debug) noexcept { debug_ = debug; }
  TSLContextTask* GetOwningTask() const noexcept { return task_; }
  void SetOwningTask(TSLContextTask* task) noexcept { task_ = task; }
  // The storage manager that serves "loadobj", "saveobj" and "loadstoobj" (not owned).
  TStorageManager* GetStorageManager() const noexcept { return storage_; }
  void SetStorageManager(TStorageManager* storage) noexcept { storage_ = storage; }
  // The name the script was loaded from (for messages and the debugger).
  const std::string& GetSourceName() const noexcept { return sourceName_; }
  void SetSourceName(std::string name) { sourceName_ = std::move(name); }

  // The element being executed when an error was raised (borrowed; may be null).
  TSLObject* GetErrorLocation() const noexcept { return errorLocation_.Get(); }
  void SetErrorLocation(TSLObject* token) { errorLocation_ = TRef<TSLObject>(token); }
  bool GetErrorConverted() const noexcept { return errorConverted_; }
  void SetErrorConverted(bool converted) noexcept { errorConverted_ = converted; }
  // The current token of the top tokenizer (borrowed; may be null).
  TSLObject* CurrentToken();

  // Call-stack count saved for step-over runs.
  int32_t GetCallDepthMark() const noexcept { return callDepthMark_; }
  void SetCallDepthMark(int32_t mark) noexcept { callDepthMark_ = mark; }

protected:
  TSLContext();

  TSLContextState state_ = csIdle;
  int32_t waitTime_ = INT32_MAX;

private:
  TSLObject* ResolveUncached(TSLIdent* name, TSLElementKind& kind);
  // Byte equality without a library call: names are short.
  static bool SameBytes(const std::string& a, const std::string& b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    const char* pa = a.data();
    const char* pb = b.data();
    for (size_t i = 0; i < n; ++i)
      if (pa[i] != pb[i]) return false;
    return true;
  }

  struct TNameCacheEntry {
    const TSLIdent* Ident = nullptr;
    std::string Name;
    TSLObject* Value = nullptr;
    TSLElementKind Kind = ekNone;
    // For a plain name: the dictionary on the stack that holds it and the entry's position,
    // valid while KeyChange holds; for a name with prefix or path: valid while DictChange holds.
    TSLDictionary* Dict = nullptr;
    int32_t Index = 0;
    uint64_t KeyChange = 0;
    uint64_t DictChange = 0;
    uint64_t StackChange = 0;
  };
  static constexpr size_t kNameCacheSize = 512;

  TRef<TSLValueStack> operands_;
  TRef<TSLValueStack> dicts_;
  TRef<TSLValueStack> calls_;
  TRef<TSLDictionary> namespaces_;
  std::unique_ptr<TContextStackInterface> operandInterface_;
  std::unique_ptr<TContextStackInterface> dictInterface_;
  std::unique_ptr<TContextStackInterface> callInterface_;
  std::unique_ptr<TContextInterfaceImplementation> interface_;
  // Advances on every change of the dictionary stack.
  uint64_t dictStackChange_ = 1;
  std::array<TNameCacheEntry, kNameCacheSize> nameCache_{};
  // Finished block tokenizers kept for PushBlockTokenizer.
  std::vector<TRef<TSLBlockTokenizer>> spareTokenizers_;
  static constexpr size_t kMaxSpareTokenizers = 32;

  int32_t callDepthMark_ = 0;
  bool debug_ = false;
  bool errorConverted_ = false;
  TSLContextTask* task_ = nullptr;
  TStorageManager* storage_ = nullptr;
  std::string sourceName_;
  TRef<TSLObject> errorLocation_;

};

// The context the interpreter runs.
class TSLContextImplementation final : public TSLContext {
public:
  TSLContextImplementation() = default;
  const char* ClassName() const override { return "TSLContextImplementation"; }

  TSLContextState GetState() const override { return state_; }
  int32_t GetReexec() const override;
  void SetReexec(int32_t value) override;
  TSLObject* Lookup(std::string_view name) override;
  void PushDict(TSLDictionary* dictionary) override { BeginDict(dictionary); }
  void AddGlobalDict(std::string_view name, TSLDictionary* dictionary) override;
  void AddNamespace(std::string_view name, TSLDictionary* dictionary) override;
  // Fails "PushBlock is only allowed in finished or idle state" in other states.
  void PushBlock(TSLBlock* block) override;
  // Fails "wait called while in wait state".
  void Wait(TSLObject* caller, int32_t milliseconds) override;
  // Fails "continue called while not in wait state".
  void Continue(int32_t argument) override;
  // Fails "resume called while not in wait state".
  void Resume(int32_t argument) override;

  // Drops whatever is left on the call stack and makes the context finished, so that a new
  // block can be pushed (after a run that ended with a failure).
  void AbandonRun();
  // The interpreter's access to the run state.
  void SetState(TSLContextState state) noexcept { state_ = state; }
  // One step in csRunning: execute the current element, then advance.
  void Step();
  // Up to `count` steps while the state stays csRunning (no debugger looks at each one).
  void RunSteps(uint32_t count);
  // The csContinue pass of a run: the optional re-execution, then back to csRunning.
  void ContinueAfterWait();

private:
  // Fetches the next element into the top tokenizer; false when the call stack ran empty.
  bool Advance();
  // Executes the top tokenizer's current element.
  void ExecuteCurrent();
  // Turns a failure of a built-in operation into a script exception, or passes it on.
  void ConvertFailure(const std::string& message);
};

// A new context with the dictionaries "System" (bottom), "Create" and a new "Global" (top)
// pushed and entered as name spaces.
TRef<TSLContextImplementation> CreateScriptContext(TSLDictionary* system, TSLDictionary* create);

}  // namespace tolvek
