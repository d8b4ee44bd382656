// tolvek-sl: the script-language tool. It runs scripts (a text, standard input or a script
// file) as script tasks under a headless main loop and prints the operand stack they leave,
// runs them under a console debugger, offers an interactive session, and decodes a file in the
// text syntax to print the value back in the encoder's form.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "app/debug_file_target.h"
#include "app/debug_manager.h"
#include "platform/error.h"
#include "script/object_text.h"
#include "script_commands.h"

namespace {

using namespace tolvek;

constexpr uint16_t kFileSourceID = 1;

// Names the decoded file in syntax errors ("[Halvic.ini, 12] Syntax error: ...").
class TFileSourceName : public TSourceNameLookup {
public:
  explicit TFileSourceName(std::string fileName) : fileName_(std::move(fileName)) {}
  std::string SourceName(uint16_t id) override {
    return id == kFileSourceID ? fileName_ : std::string();
  }

private:
  std::string fileName_;
};

void PrintUsage() {
  std::fputs(
      "usage: tolvek-sl [-I DIR]... [--debug] [-e TEXT | - | FILE]\n"
      "       tolvek-sl --decode FILE\n"
      "  -e TEXT         run TEXT as the body of a block and print the operand stack it\n"
      "                  leaves, bottom to top, one value per line\n"
      "  -               the same with the text read from standard input\n"
      "  FILE            run the script stored in FILE (normally a [B ... ] block)\n"
      "  -I DIR          also search DIR for files and modules (after the current\n"
      "                  directory, before the installation); may be repeated\n"
      "  --debug         run under the console debugger, which reads its commands\n"
      "                  from standard input (not with -)\n"
      "  --decode FILE   decode one root value of FILE (ASCII or EASCII) and print it\n"
      "                  re-encoded on one line\n"
      "  (nothing)       an interactive session on a terminal\n",
      stderr);
}

int Decode(const std::string& fileName) {
  TSLObjectText codec;
  TFileSourceName sourceName(fileName);
  codec.Decoder().SetSourceNameLookup(&sourceName);
  try {
    TRef<TSLObject> value = codec.DecodeFile(fileName, false, kFileSourceID);
    std::string text = codec.ObjToStr(value.Get());
    if (!text.empty() && text.back() == ' ') text.pop_back();
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
  } catch (const EError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--decode") == 0) return Decode(argv[2]);
  // "log" lines and the messages of services go to the debug log; without windows it is
  // written where TOLVEK_DEBUG_LOG names (a file, or "stderr"), else dropped.
  TDebugManager debugManager;
  std::unique_ptr<TDebugOutputTarget> debugTarget;
  try {
    debugTarget = HeadlessDebugTarget("");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  debugManager.SetOutputTarget(debugTarget.get());
  // Scripts are run as script tasks: options first, then what to run.
  TRunOptions options;
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "-I") == 0 && i + 1 < argc) {
      options.SearchDirectories.emplace_back(argv[++i]);
    } else if (std::strncmp(argv[i], "-I", 2) == 0 && argv[i][2] != '\0') {
      options.SearchDirectories.emplace_back(argv[i] + 2);
    } else if (std::strcmp(argv[i], "--debug") == 0) {
      options.Debug = true;
    } else {
      break;
    }
  }
  const int rest = argc - i;
  if (rest == 0 && !options.Debug && isatty(STDIN_FILENO)) return RunInteractive(options);
  if (rest == 2 && std::strcmp(argv[i], "-e") == 0) return RunScriptText(argv[i + 1], options);
  if (rest == 1 && std::strcmp(argv[i], "-") == 0 && !options.Debug) {
    const std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return RunScriptText(text, options);
  }
  if (rest == 1 && argv[i][0] != '-') return RunScriptFile(argv[i], options);
  PrintUsage();
  return 2;
}
