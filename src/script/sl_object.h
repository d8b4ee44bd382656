// The root of all script values and of the engine's objects: the operations every value answers
// (executability, encoding, assignment, copying, equality, execution) and its source position.
#pragma once

#include <memory>

#include "platform/error.h"
#include "script/dbg_info.h"
#include "script/ref_obj.h"

namespace tolvek {

class TSLStreamEncoder;
class TSLContext;

// A script value. Operations a class does not provide fail "%s.%s: method not implemented".
class TSLObject : public TRefObj {
public:
  const char* ClassName() const override { return "TSLObject"; }

  // Whether the value runs when the interpreter meets it (false unless a class says otherwise).
  virtual bool GetExecutable() const;
  // Sets the executable flag of classes that have one.
  virtual void SetExecutable(bool executable);
  // Raises "%s.%s: method not implemented" with the class name and `operation`.
  [[noreturn]] virtual void MethodNotImplemented(const char* operation) const;
  // Writes the value's text through the encoder.
  virtual void Encode(TSLStreamEncoder& encoder);
  // Takes over the contents of `source` (see each class for the sources it accepts).
  virtual void AssignObject(TSLObject* source);
  // A deep copy, auto-released.
  virtual TSLObject* CopyObject();
  // Value equality as each class defines it.
  virtual bool IsEqual(TSLObject* other);
  // Runs the value in a script context.
  virtual void Execute(TSLContext& context);

  // The position the value was decoded from, or null.
  TElmDbgInfo* GetDbgInfo() const noexcept { return dbgInfo_.get(); }
  // Attaches (or, with null, drops) the value's source position.
  void SetDbgInfo(std::unique_ptr<TElmDbgInfo> info) noexcept { dbgInfo_ = std::move(info); }

protected:
  TSLObject() = default;

private:
  std::unique_ptr<TElmDbgInfo> dbgInfo_;
};

// `obj` as a T, or EInvalidCast ("Invalid class typecast") when it is not one (null included).
template <class T>
T* CastObj(TSLObject* obj) {
  T* result = dynamic_cast<T*>(obj);
  if (!result) throw EInvalidCast();
  return result;
}
}  // namespace tolvek
