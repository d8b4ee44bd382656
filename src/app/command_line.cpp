#include "app/command_line.h"

#include <cctype>

#include "platform/text_format.h"
#include "platform/user_interface.h"

namespace tolvek {

std::string TCommandLine::SwitchValue(const std::string& name) const {
  return Switches->Known(name) ? Switches->GetStrWithName(name) : std::string();
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, TUserInterface& ui) {
  TCommandLine result;
  result.Switches = MakeRef<TSLDictionary>();
  for (const std::string& arg : args) {
    if (arg.empty() || arg.front() != '-') {
      result.Positional.push_back(arg);
      continue;
    }
    size_t colon = arg.find(':');
    std::string name = arg.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    std::string value = colon == std::string::npos ? std::string() : arg.substr(colon + 1);
    if (result.Switches->Known(name)) {
      ui.MessageBox(StrFormat("Error: Command Line Parameter Duplication of '-%s'", name),
                    TMsgDlgType::mtError, mbOK, mbOK);
      continue;
    }
    result.Switches->SetStrWithName(name, value);
  }

  if (!args.empty()) {
    std::string word = args.front();
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (word == "CLIENT") result.Mode = TProgramMode::pmClient;
    else if (word == "SERVER") result.Mode = TProgramMode::pmServer;
    else if (word == "DEVELOP") result.Mode = TProgramMode::pmDevelop;
  }
  if (result.Mode == TProgramMode::pmClient && args.size() > 1) result.ServerAddress = args[1];
  return result;
}

}  // namespace tolvek
