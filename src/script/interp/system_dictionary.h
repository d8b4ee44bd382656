// The System dictionary: every built-in operation under its script name, and "true" and
// "false".
#pragma once

#include "script/sl_dictionary.h"

namespace tolvek {

// A new System dictionary filled from the operation tables. Contexts share one; host parts add
// their own operations to it.
TRef<TSLDictionary> CreateSystemDictionary();

}  // namespace tolvek
