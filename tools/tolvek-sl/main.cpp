// tolvek-sl: the script-language tool. For now it decodes a file in the text syntax and prints
// the value back in the encoder's form.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "script/object_text.h"

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
      "usage: tolvek-sl --decode FILE\n"
      "  --decode FILE   decode one root value of FILE (ASCII or EASCII) and print it\n"
      "                  re-encoded on one line\n",
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
  PrintUsage();
  return 2;
}
