// The only view of a running context that script classes and other host code get: pushing and
// popping scalars, the re-execute value, waiting and continuing, and calling a name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvek {

class TSLObject;
class TSLContext;

// A running context as host code sees it. Pops of the wrong class fail with the invalid-cast
// failure and leave the stack unchanged.
class TContextInterface {
public:
  virtual ~TContextInterface() = default;
  // Sets the re-execute value of the element being executed (0 clears it).
  virtual void SetReexec(int32_t value) = 0;
  virtual int32_t GetReexec() = 0;
  virtual void PushInt64(int64_t value) = 0;
  virtual void PushDouble(double value) = 0;
  virtual void PushString(std::string_view text) = 0;
  // Pushes an executable name.
  virtual void PushName(std::string_view name) = 0;
  virtual void PushBoolean(bool value) = 0;
  // The top's value, which must be a TSLLongint; the top is popped.
  virtual int64_t PopInt64() = 0;
  virtual double PopDouble() = 0;
  virtual std::string PopString() = 0;
  virtual bool PopBoolean() = 0;
  // Whether the top is of the class.
  virtual bool IsInt64() = 0;
  virtual bool IsDouble() = 0;
  virtual bool IsString() = 0;
  virtual bool IsBoolean() = 0;
  // The context's Wait: the script stops until Continue or Resume.
  virtual void Wait(TSLObject* caller, int32_t milliseconds) = 0;
  // The context's Continue: the awaited event happened.
  virtual void Continue(int32_t argument) = 0;
  // Makes the name the next element the interpreter looks up and executes.
  virtual void CallName(std::string_view name) = 0;
  // The name on top, which must be a TSLIdent; the top is popped.
  virtual std::string PopName() = 0;
};

// The context interface of one context.
class TContextInterfaceImplementation final : public TContextInterface {
public:
  explicit TContextInterfaceImplementation(TSLContext& context) : context_(context) {}

  // The context behind the interface (for host code of the engine itself).
  TSLContext& GetContext() noexcept { return context_; }

  void SetReexec(int32_t value) override;
  int32_t GetReexec() override;
  void PushInt64(int64_t value) override;
  void PushDouble(double value) override;
  void PushString(std::string_view text) override;
  void PushName(std::string_view name) override;
  void PushBoolean(bool value) override;
  int64_t PopInt64() override;
  double PopDouble() override;
  std::string PopString() override;
  bool PopBoolean() override;
  bool IsInt64() override;
  bool IsDouble() override;
  bool IsString() override;
  bool IsBoolean() override;
  void Wait(TSLObject* caller, int32_t milliseconds) override;
  void Continue(int32_t argument) override;
  void CallName(std::string_view name) override;
  std::string PopName() override;

private:
  TSLContext& context_;
};

// Raises a script error from host code: pushes `message` and calls "raisese", which wraps it
// in a dictionary with the key "Msg" and raises it as a catchable script exception.
void RaiseScriptError(TContextInterface& context, std::string_view message);

}  // namespace tolvek
