// Script objects of host classes.
#include "script/sl_class.h"

namespace tolvek {

TSLClass::~TSLClass() {
  // The host object may refer to the helper, so it goes first.
  if (scriptClass_ && handle_) {
    try {
      scriptClass_->DestroyScriptObject(handle_);
    } catch (...) {
      // A destructor cannot pass a failure on; the host object is gone either way.
    }
  }
}

}  // namespace tolvek
