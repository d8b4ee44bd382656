// The command line: switches ("-Name" or "-Name:value") collected into a script dictionary, and
// the mode word taken from the first argument.
#pragma once

#include <string>
#include <vector>

#include "script/ref_obj.h"
#include "script/sl_dictionary.h"

namespace tolvek {

class TUserInterface;

enum class TProgramMode { pmNormal, pmClient, pmServer, pmDevelop };

struct TCommandLine {
  // Switch name -> string value (empty for a switch without value); names compare without
  // regard to case, so "Script" and "script" are one switch.
  TRef<TSLDictionary> Switches;
  // Arguments that are not switches, in order; nothing reads them.
  std::vector<std::string> Positional;
  // The mode selected by the first argument ("CLIENT", "SERVER", "DEVELOP", any case).
  TProgramMode Mode = TProgramMode::pmNormal;
  // In client mode: the server's address, the second argument.
  std::string ServerAddress;

  bool HasSwitch(const std::string& name) const { return Switches->Known(name); }
  // The switch's value; empty when absent or given without value.
  std::string SwitchValue(const std::string& name) const;
};

// Parses the arguments (without the program name). A switch given twice keeps its first value;
// the duplicate is reported through `ui` as "Error: Command Line Parameter Duplication of '-%s'".
TCommandLine ParseCommandLine(const std::vector<std::string>& args, TUserInterface& ui);

}  // namespace tolvek
