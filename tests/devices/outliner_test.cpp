// The outliner's node texts and the tree it builds from a value.
#include <gtest/gtest.h>

#include <string>

#include "devices/memory_tree_view.h"
#include "devices/outliner.h"
#include "script/object_text.h"
#include "script/sl_scalar.h"

namespace tolvek {
namespace {

TEST(OutlinerTest, NodeTextsFollowTheTextSyntax) {
  struct TCase {
    const char* label;
    const char* source;  // decoded value; nullptr for nil
    const char* text;
  } cases[] = {
      {"Port", "1", "Port: 1 [TSLLongint]"},
      {"Scale", "0.25", "Scale: 0.25 [TSLDouble]"},
      {"0", "'COM1'", "0: 'COM1' [TSLString]"},
      {"On", "#1", "On: #1 [TSLBoolean]"},
      {"Kind", "/Online", "Kind: /Online [TSLIdent]"},
      {"Op", "add", "Op: add [TSLIdent]"},
      {"List", "[A 1 2 ]", "List: [TSLArray]"},
      {"", "[D ]", "[TSLDictionary]"},
      {"Missing", nullptr, "Missing: -- nil --"},
  };
  for (const TCase& c : cases) {
    TRef<TSLObject> value = c.source ? StrToObj(c.source) : nullptr;
    EXPECT_EQ(TOutliner::NodeText(c.label, value.Get()), c.text) << c.label;
  }

  TRef<TSLObject> record = StrToObj("[R [D:Point /X 0 /Y 0 ] [A 1 2 ] ]");
  EXPECT_EQ(TOutliner::NodeText("P", record.Get()), "P: [TSLRecord: Point]");
}

TEST(OutlinerTest, LongTextsAreCutTo255Characters) {
  TRef<TSLString> text = MakeRef<TSLString>(std::string(300, 'x'));
  const std::string node = TOutliner::NodeText("T", text.Get());
  EXPECT_EQ(node.size(), 255u);
  EXPECT_EQ(node.substr(0, 4), "T: '");
  EXPECT_EQ(node.substr(252), "...");
  TRef<TSLString> fits = MakeRef<TSLString>(std::string(255 - 17, 'x'));  // exactly 255
  EXPECT_EQ(TOutliner::NodeText("T", fits.Get()).back(), ']');
}

TEST(OutlinerTest, OneNodePerValueNestedAsTheValueIs) {
  TMemoryTreeView view;
  TOutliner outliner(view);
  TRef<TSLObject> value = StrToObj("[D /Port 'COM1' /Axes [A 1 [A 2 ] ] /Last @0 ]");
  outliner.Show(value.Get(), "Login");
  EXPECT_EQ(view.Dump(),
            " Login: [TSLDictionary]\n"
            "   Axes: [TSLArray]\n"
            "     0: 1 [TSLLongint]\n"
            "     1: [TSLArray]\n"
            "       0: 2 [TSLLongint]\n"
            "   Last: -- nil --\n"
            "   Port: 'COM1' [TSLString]\n");

  outliner.Show(nullptr);
  EXPECT_EQ(view.Dump(), " -- nil --\n");
}

}  // namespace
}  // namespace tolvek
