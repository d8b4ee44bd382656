// tolvek-sl: the script-language tool. It runs scripts (a text, standard input or a script
// file) and prints the operand stack they leave, offers an interactive session, and decodes a
// file in the text syntax to print the value back in the encoder's form.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

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
      "usage: tolvek-sl [-e TEXT | - | FILE | --decode FILE]\n"
      "  -e TEXT         run TEXT as the body of a block and print the operand stack it\n"
      "                  leaves, bottom to top, one value per line\n"
      "  -               the same with the text read from standard input\n"
      "  FILE            run the script stored in FILE (normally a [B ... ] block)\n"
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
  if (argc == 3 && std::strcmp(argv[1], "-e") == 0) return RunScriptText(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "-") == 0) {
    const std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    return RunScriptText(text);
  }
  if (argc == 2 && argv[1][0] != '-') return RunScriptFile(argv[1]);
  if (argc == 1 && isatty(STDIN_FILENO)) return RunInteractive();
  PrintUsage();
  return 2;
}
