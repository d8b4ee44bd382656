// The stack interface over a context's stacks.
#include "script/interp/stack_interface.h"

namespace tolvek {

void TContextStackInterface::SetObj(int32_t index, TSLObject* value) {
  Check(value);
  Changed();
  stack_.SetObjAtIndex(index, value);
}

void TContextStackInterface::AppendBottom(TSLObject* value) {
  Check(value);
  Changed();
  stack_.InsObjAtIndex(stack_.Count(), value);
}

void TContextStackInterface::InsObj(int32_t index, TSLObject* value) {
  Check(value);
  Changed();
  stack_.InsObjAtIndex(index, value);
}

void TContextStackInterface::Push(TSLObject* value) {
  Check(value);
  Changed();
  stack_.PushValue(value);
}

}  // namespace tolvek
