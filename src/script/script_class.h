// The interface host code implements to make a kind of object callable from scripts.
#pragma once

#include <cstdint>
#include <string>

namespace tolvek {

class TContextInterface;

// A scriptable host class: it makes and frees host objects and runs their methods on a
// script's operand stack.
class TScriptClass {
public:
  virtual ~TScriptClass() = default;
  // Makes a new host object (it may take constructor arguments from the operand stack).
  virtual void* CreateScriptObject(TContextInterface& context) = 0;
  // Frees a host object made by CreateScriptObject.
  virtual void DestroyScriptObject(void* handle) = 0;
  // Runs method `index` of the host object on the operand stack.
  virtual void CallMethod(void* handle, int32_t index, TContextInterface& context) = 0;
  // Name of method `index`; an empty name ends the list.
  virtual std::string GetMethodName(int32_t index) = 0;
};

}  // namespace tolvek
