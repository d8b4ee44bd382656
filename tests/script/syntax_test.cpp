// The text syntax: what texts decode to (shown by their re-encoding), every syntax error with
// its prefix, back-references, line counting and debug positions.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/number_text.h"
#include "script/object_text.h"
#include "script/string_stream.h"
#include "script/sl_array.h"
#include "script/sl_dictionary.h"
#include "script/sl_scalar.h"
#include "script_test_support.h"

namespace tolvek {
namespace {

// Empties every collection reachable from `value`, so cyclic results do not outlive a test.
void BreakCycles(TSLObject* value) {
  auto* root = dynamic_cast<TSLCollection*>(value);
  if (!root) return;
  std::vector<TRef<TSLCollection>> all;
  root->ForEach(
      [&](const TForEachInfo& info, bool&) {
        if (auto* c = dynamic_cast<TSLCollection*>(info.Obj)) all.emplace_back(c);
      },
      true);
  for (auto& c : all) c->Clear();
}

// The re-encoding of the first root value of `text`, or "!" + the failure message.
std::string Reencode(const std::string& text) {
  try {
    TRef<TSLObject> value = StrToObj(text);
    std::string out = ObjToStr(value.Get());
    BreakCycles(value.Get());
    return out;
  } catch (const EError& e) {
    return "!" + e.Message();
  }
}

using Syntax = ScriptTest;

TEST_F(Syntax, TextsDecodeToTheseValues) {
  const std::pair<const char*, const char*> cases[] = {
      // composites and back-references
      {"[A ]", "[A ] "},
      {"[A 1 @0 ]", "[A 1 @0 ] "},
      {"[A:x 1 @x ]", "[A:x 1 @1 ] "},
      {"[A [A:s 1 ] @2 @s ]", "[A [A:s 1 ] @2 @2 ] "},
      {"[A:x]", "[A:x ] "},
      {"[B:blk x /y ]", "[B:blk x /y ] "},
      {"[P [A ] 1 [A ] ]", "[P [A ] 1 [A ] ] "},
      {"[S 1 2 3 ]", "[S 1 2 3 ] "},
      {"[D /Port 1 /Name 'a@'b' ]", "[D /Name 'a@'b' /Port 1 ] "},
      {"[D /b 1 /A [D ] /c #0 ]", "[D /A [D ] /b 1 /c #0 ] "},
      {"[R [D:Point /x 1 /y 2 ] [A 3 4 ] ]", "[R [D:Point /x 1 /y 2 ] [A 3 4 ] ] "},
      {"[A 1 ] 2", "[A 1 ] "},
      {"[A\t1\r\n2\b]", "[A 1 2 ] "},
      // numbers
      {"+ 5", "5 "},
      {"-5", "-5 "},
      {"$1F", "31 "},
      {"$ff", "255 "},
      {"1.5e3", "1500.0 "},
      {"2", "2 "},
      {"2.0", "2.0 "},
      {"1.", "1.0 "},
      {"0.25", "0.25 "},
      {"1E20", "1E20 "},
      {"1e-20", "1E-20 "},
      {"-0.00001234", "-1.234E-5 "},
      {"1e", "@0 "},
      {"1.5e", "@0 "},
      {"- 7", "7 "},
      {"12abc", "12 "},
      // names, booleans, comments
      {"/a.b", "/a.b "},
      {"ns:x", "ns:x "},
      {"ns:dict.key_1", "ns:dict.key_1 "},
      {"#1", "#1 "},
      {"#0", "#0 "},
      {"% comment\n5", "5 "},
      {"% comment\r\n5", "5 "},
      {"% comment\r5", "5 "},
      {"% only a comment", "@0 "},
      {"", "@0 "},
      {"  \n\t ", "@0 "},
      // strings
      {"'it@'s'", "'it@'s' "},
      {"'@41@42'", "'AB' "},
      {"'a@zb'", "'azb' "},
      {"'@@'", "'@@' "},
      {"'a@lb@nc'", "'a@lb@nc' "},
      {"'x\r\ny'", "'x@n@ly' "},
      {"'\xe4\x01'", "'\xe4\x01' "},
      // failures
      {"[A]", "![string, 1] Syntax error: illegal nesting (check number of opening and closing "
              "square brackets)"},
      {"[A 1", "![string, 1] Syntax error: illegal nesting (check number of opening and closing "
               "square brackets)"},
      {"]", "![string, 1] Syntax error: composite not opened"},
      {"!", "![string, 1] Syntax error: illegal character '!'"},
      {"[A\n1\r\n2\r3\n!", "![string, 5] Syntax error: illegal character '!'"},
      {"[a ]", "![string, 1] Syntax error: invalid composite type 'a'"},
      {"[", "![string, 1] Syntax error: invalid composite type ''"},
      {"[Q ]", "![string, 1] Syntax error: unknown composite type 'Q'"},
      {"[A:1 ]", "![string, 1] Syntax error: invalid composite ident '1'"},
      {"[A:x [A:x ] ]",
       "![string, 1] Syntax error: TSLDictionary.AddObject: object with name 'x' already exists"},
      {"/a. ", "![string, 1] Syntax error: invalid ident character ' ' after '/'"},
      {"/1", "![string, 1] Syntax error: invalid ident character '1' after '/'"},
      {"#2", "![string, 1] Syntax error: invalid boolean '#2'"},
      {"@", "![string, 1] Syntax error: invalid pointer '@'"},
      {"@!", "![string, 1] Syntax error: invalid pointer '@!'"},
      {"[A @5 ]", "![string, 1] Syntax error: pointer index (5) is out of bounds (2)"},
      {"@99999999999999999999999", "![string, 1] Syntax error: pointer index (9223372036854775807) "
                                   "is out of bounds (1)"},
      {"[A @y ]", "![string, 1] Syntax error: no composite object named 'y' found"},
      {"'abcdefghijkl", "![string, 1] Syntax error: missing string termination in string "
                        "'abcdefghij...'"},
      {"'ab@", "![string, 1] Syntax error: missing string termination in string 'ab'"},
      {"'ab@4x'", "![string, 1] Syntax error: illegal escape sequence in string 'ab@...'"},
      {"'abcdefghijklm@4x'", "![string, 1] Syntax error: illegal escape sequence in string "
                             "'abcdefghij...@...'"},
      {"99999999999999999999", "![string, 1] Syntax error: '99999999999999999999' is not a valid "
                               "integer value"},
      {"1e999", "![string, 1] Syntax error: '1e999' is not a valid floating point value"},
      {"1e+-5", "![string, 1] Syntax error: '1e+-5' is not a valid floating point value"},
      {"[D 1 2 ]", "![string, 1] Syntax error: illegal key (TSLLongint) in dictionary "},
      {"[D @0 2 ]", "![string, 1] Syntax error: illegal key (nil) in dictionary "},
      {"[D /a 1 b 2 ]", "![string, 1] Syntax error: executable key 'b' in dictionary "},
      {"[D /a ]", "![string, 1] Syntax error: odd number of objects in dictionary "},
      {"[D /a 1 /b 2 /A 3 /B 4 ]",
       "![string, 1] Syntax error: TSLDictionary.AddObject: object with name 'A' already exists"},
      {"[D /b 1 /a 2 /B 3 /A 4 ]",
       "![string, 1] Syntax error: TSLDictionary.AddObject: object with name 'B' already exists"},
      {"[R [D /x 1 ] ]", "![string, 1] Syntax error: Internal error: no more objects on stack"},
      {"[R 1 2 ]", "![string, 1] Syntax error: Invalid class typecast"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Reencode(text), expected) << text;
  EXPECT_EQ(Reencode(std::string("[A 1\0002 ]", 9)), "[A 1 2 ] ");  // NUL is a blank
}

TEST_F(Syntax, DecodedScalarsHoldTheRightValues) {
  TSLObjectText codec;
  EXPECT_EQ(static_cast<TSLString*>(codec.StrToObj("'it@'s'").Get())->GetText(), "it's");
  EXPECT_EQ(static_cast<TSLString*>(codec.StrToObj("'a@lb@nc'").Get())->GetText(), "a\nb\rc");
  EXPECT_EQ(static_cast<TSLString*>(codec.StrToObj("'@00'").Get())->GetText(), std::string(1, '\0'));
  TRef<TSLObject> name = codec.StrToObj("a. ");
  EXPECT_EQ(static_cast<TSLIdent*>(name.Get())->GetName(), "a.");  // the dot stays
  EXPECT_TRUE(name->GetExecutable());
  EXPECT_FALSE(codec.StrToObj("/a").Get()->GetExecutable());
  EXPECT_STREQ(codec.StrToObj("2.0")->ClassName(), "TSLDouble");
  EXPECT_STREQ(codec.StrToObj("2")->ClassName(), "TSLLongint");

  // A stack text lists the top first.
  TRef<TSLObject> stack = codec.StrToObj("[S 1 2 3 ]");
  EXPECT_EQ(static_cast<TSLStack*>(stack.Get())->GetInt64AtIndex(0), 1);

  // Shared composites stay shared.
  TRef<TSLObject> shared = codec.StrToObj("[A [A 1 ] @2 ]");
  auto* array = static_cast<TSLArray*>(shared.Get());
  EXPECT_EQ(array->GetObjAtIndex(0), array->GetObjAtIndex(1));
}

TEST_F(Syntax, SharedAndCyclicGraphsRoundTrip) {
  TRef<TSLDictionary> root = MakeRef<TSLDictionary>();
  TRef<TSLArray> shared = MakeRef<TSLArray>();
  shared->SetStrAtIndex(0, "s");
  root->SetObjWithName("First", shared.Get());
  root->SetObjWithName("Second", shared.Get());
  root->SetObjWithName("Self", root.Get());
  const std::string text = ObjToStr(root.Get());
  EXPECT_EQ(text, "[D /First [A 's' ] /Second @2 /Self @1 ] ");

  TRef<TSLObject> back = StrToObj(text);
  auto* dict = static_cast<TSLDictionary*>(back.Get());
  EXPECT_EQ(dict->GetObjWithName("First"), dict->GetObjWithName("second"));
  EXPECT_EQ(dict->GetObjWithName("Self"), dict);
  EXPECT_EQ(ObjToStr(dict), text);
  root->Clear();
  dict->Clear();
}

TEST_F(Syntax, EachCallReadsOneRootValueWithFreshReferences) {
  TSLStreamDecoder decoder;
  decoder.RegisterStandardSyntax();
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  stream->LoadText("[A:list 1 2 ] @1 % end\n");
  TSLLookaheadStream input(stream.Get());
  TRef<TSLObject> first = decoder.DecodeObject(input, false);
  EXPECT_EQ(ObjToStr(first.Get()), "[A:list 1 2 ] ");
  EXPECT_EQ(stream->GetPosition(), 13);  // the rest is left for the next call
  EXPECT_EQ(FailureOf([&] { decoder.DecodeObject(input, false); }),
            "[string, 1] Syntax error: pointer index (1) is out of bounds (1)");
  EXPECT_FALSE(decoder.DecodeObject(input, false));  // only a comment remains
}

TEST_F(Syntax, DebugPositionsAndLines) {
  TSLObjectText codec;
  TRef<TSLObject> value = codec.StrToObj("[A 12 'x'\r\n /n\r\r'a\nb' c ]", true);
  auto* array = static_cast<TSLArray*>(value.Get());
  struct Expected {
    TSLObject* obj;
    int32_t pos, length, line;
  } cases[] = {
      {array, 0, 2, 1},
      {array->GetObjAtIndex(0), 3, 2, 1},
      {array->GetObjAtIndex(1), 6, 3, 1},
      {array->GetObjAtIndex(2), 12, 2, 2},
      {array->GetObjAtIndex(3), 16, 5, 4},
      {array->GetObjAtIndex(4), 22, 1, 5},
  };
  for (const Expected& e : cases) {
    ASSERT_NE(e.obj->GetDbgInfo(), nullptr);
    EXPECT_EQ(e.obj->GetDbgInfo()->GetTokPos(), e.pos) << e.pos;
    EXPECT_EQ(e.obj->GetDbgInfo()->GetTokLength(), e.length) << e.pos;
    EXPECT_EQ(e.obj->GetDbgInfo()->GetTokLine(), e.line) << e.pos;
    EXPECT_FALSE(e.obj->GetDbgInfo()->GetBreakpoint());
  }
  EXPECT_EQ(codec.StrToObj("[A 1 ]")->GetDbgInfo(), nullptr);

  // Dictionary key failures name the key's place when positions are kept.
  EXPECT_EQ(FailureOf([&] { codec.StrToObj("[D\n 1 2 ]", true); }),
            "[string, 2] Syntax error: illegal key (TSLLongint) in dictionary at line 2 and index 4");
  EXPECT_EQ(FailureOf([&] { codec.StrToObj("[D /a 1 b 2 ]", true); }),
            "[string, 1] Syntax error: executable key 'b' in dictionary at line 1 and index 8");
  EXPECT_EQ(FailureOf([&] { codec.StrToObj("[D\n/a 1 /b ]", true); }),
            "[string, 2] Syntax error: odd number of objects in dictionary starting at line 2 ");
}

TEST_F(Syntax, ErrorPrefixNamesTheRegisteredSource) {
  struct TLookup : TSourceNameLookup {
    std::string SourceName(uint16_t id) override {
      return id == 3 ? "Archives\\Config\\Halvic.ini" : std::string();
    }
  } lookup;
  TSLStreamDecoder decoder;
  decoder.RegisterStandardSyntax();
  decoder.SetSourceNameLookup(&lookup);
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  TSLLookaheadStream input(stream.Get());
  for (auto [id, prefix] : {std::pair{3, "[Halvic.ini, 2]"}, {4, "[string, 2]"}}) {
    stream->LoadText("[A\n#5 ]");
    stream->SetStorageID(static_cast<uint16_t>(id));
    input.SetStream(stream.Get());
    EXPECT_EQ(FailureOf([&] { decoder.DecodeObject(input, true); }),
              std::string(prefix) + " Syntax error: invalid boolean '#5'");
  }
  TRef<TSLObject> value = (stream->LoadText("7"), input.SetStream(stream.Get()),
                           decoder.DecodeObject(input, true));
  EXPECT_EQ(value->GetDbgInfo()->GetStorageID(), 3 + 1);
}

TEST_F(Syntax, AFailedDecodeLeavesNoValueBehind) {
  // The fixture checks that every value made here is freed, cycles included.
  const char* texts[] = {"[D /a [A:x 1 @x ] /b #7 ]", "[A:y [R [D /k @y ] [A 1 ] ] @y",
                         "[D /s [S:z @z ] 1 ]"};
  for (const char* text : texts) EXPECT_NE(Reencode(text)[0], '[') << text;
}

TEST_F(Syntax, CompositeRegistrationIsChecked) {
  TSLStreamDecoder decoder;
  decoder.RegisterStandardSyntax();
  EXPECT_EQ(FailureOf([&] { decoder.RegisterComposite('A', NewObj<TSLArray>()); }),
            "Internal error: composite of type 'A' is already registered");
  EXPECT_EQ(FailureOf([&] { decoder.RegisterComposite('a', NewObj<TSLArray>()); }),
            "Internal error: illegal composite type 'a'");
}

TEST_F(Syntax, EncoderOutput) {
  auto D = [](double v) { return ObjToStr(MakeRef<TSLDouble>(v).Get()); };
  const std::pair<double, const char*> floats[] = {
      {0.5, "0.5 "},     {1.0, "1.0 "},          {-3.0, "-3.0 "},  {1e18, "1E18 "},
      {1e20, "1E20 "},   {1e-20, "1E-20 "},      {1e-4, "0.0001 "}, {2.5e-7, "2.5E-7 "},
      {0.0, "0.0 "},     {123456.789, "123456.789 "}, {1.0 / 3, "0.333333333333333 "},
      {2.0 / 3, "0.666666666666667 "}, {0.05, "0.05 "}, {-1234.5, "-1234.5 "},
      {1.5e17, "150000000000000000.0 "}, {0.1, "0.1 "}, {-0.0, "0.0 "}};
  for (auto [value, text] : floats) EXPECT_EQ(D(value), text) << value;
  EXPECT_EQ(ObjToStr(MakeRef<TSLLongint>(5).Get()), "5 ");
  EXPECT_EQ(ObjToStr(MakeRef<TSLString>("\r\n").Get()), "'@n@l' ");
  EXPECT_EQ(ObjToStr(nullptr), "@0 ");
  // The syntax has no text for them: failing beats writing a name that reads back as one.
  EXPECT_EQ(FailureOf([&] { D(std::numeric_limits<double>::infinity()); }),
            "TSLStreamEncoder.WriteDouble: the number INF cannot be written");

  const std::pair<const char*, bool> names[] = {{"a b", false}, {"", false}, {"1a", false},
                                                {"a.", false},  {"a..b", false}, {"a:b.c", true},
                                                {"_x9", true},  {"a.1", false}};
  for (auto [name, valid] : names) {
    TRef<TSLIdent> ident = MakeRef<TSLIdent>(name, true);
    EXPECT_EQ(FailureOf([&] { ObjToStr(ident.Get()); }),
              valid ? "<no failure>"
                    : std::string("TSLStreamEncoder.CheckIdent: illegal ident '") + name + "'");
  }
  TRef<TSLArray> named = MakeRef<TSLArray>();
  named->SetName("bad name");
  EXPECT_EQ(FailureOf([&] { ObjToStr(named.Get()); }),
            "TSLStreamEncoder.CheckIdent: illegal ident 'bad name'");
}

TEST_F(Syntax, LargeValuesEncodeAlikeToStringsAndStreams) {
  TRef<TSLArray> big = MakeRef<TSLArray>();
  for (int i = 0; i < 50000; ++i) big->SetStrAtIndex(i, "element " + std::to_string(i));
  const std::string text = ObjToStr(big.Get());
  TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
  stream->Rewrite();
  TSLStreamEncoder encoder;
  encoder.EncodeObject(*stream, big.Get());
  EXPECT_EQ(stream->GetText(), text);
  EXPECT_GT(text.size(), 500000u);
  TRef<TSLObject> back = StrToObj(text);
  EXPECT_TRUE(back->IsEqual(big.Get()));
}

// Numbers with short decimal texts take a shortcut in the encoder; its text must be the one the
// pattern gives: the shortest text that reads back (below 0.1: rounded to 15 decimals).
TEST_F(Syntax, ShortDecimalsEncodeAsThePatternGivesThem) {
  auto expected = [](double v) {
    if (std::fabs(v) < 0.1) return FormatFloatFixed(v, 1, 15) + " ";
    char buf[64];
    std::string text(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr);
    if (text.find('.') == std::string::npos) text += ".0";
    return text + " ";
  };
  const double scales[] = {1, 2, 64, 1024, 10, 1000, 1e6, 1e9, 1e12};
  const int64_t numerators[] = {1, 3, 7, 99, 125, 1001, 123456789, 999999999999, 4503599627370,
                                -5, -1234578125, 100000, 2251799813685247, 1000000000000000};
  for (double scale : scales)
    for (int64_t k : numerators) {
      const double v = static_cast<double>(k) / scale;
      const double magnitude = std::fabs(v);
      if (magnitude < 1e-4 || magnitude >= 1e18) continue;
      char buf[64];
      const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
      const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
      // Only numbers whose shortest text has at most 15 significant digits are written so.
      if (sci.find('e') > 16 + (v < 0) && magnitude >= 0.1) continue;
      EXPECT_EQ(ObjToStr(MakeRef<TSLDouble>(v).Get()), expected(v)) << k << " / " << scale;
    }
}

TEST_F(Syntax, EncodedDoublesReadBackExactly) {
  const double values[] = {1e-20, -7.25e-9, 3.14159265358979, 1e17, 9.999e17, 1.5e300, 0.1,
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min()};
  for (double v : values) {
    TRef<TSLObject> back = StrToObj(ObjToStr(MakeRef<TSLDouble>(v).Get()));
    EXPECT_NEAR(static_cast<TSLDouble*>(back.Get())->GetDouble(), v, std::abs(v) * 1e-14) << v;
  }
}

}  // namespace
}  // namespace tolvek
