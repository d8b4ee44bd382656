#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"

namespace tolvek {
namespace {

TEST(StrFormat, SubstitutesInOrderAndNeverOverruns) {
  EXPECT_EQ(StrFormat("%s.SetObjAtIndex: index (%d) out of bounds (%d)", "TSLArray", 5, 3),
            "TSLArray.SetObjAtIndex: index (5) out of bounds (3)");
  EXPECT_EQ(StrFormat("[%.4x] %s", 2, "x"), "[0002] x");
  EXPECT_EQ(StrFormat("%X%%", 255), "FF%");
  EXPECT_EQ(StrFormat("%s and %s", "one"), "one and ");
  EXPECT_EQ(StrFormat("%d", int64_t{-9223372036854775807 - 1}), "-9223372036854775808");
}

TEST(NumberText, FloatGeneralFormat) {
  const std::pair<double, const char*> cases[] = {
      {1500.0, "1500"}, {0.25, "0.25"}, {-12.5, "-12.5"}, {1e20, "1E20"},
      {1e15, "1E15"},   {1e14, "100000000000000"},      {0.0001, "0.0001"},
      {0.00001, "1E-5"}, {1.0 / 3, "0.333333333333333"}, {0.0, "0"}, {2.5e-7, "2.5E-7"}};
  for (auto [value, text] : cases) EXPECT_EQ(FormatFloatGeneral(value), text) << value;
}

TEST(NumberText, FloatFixedPattern) {
  const std::pair<double, const char*> cases[] = {
      {1.0, "1.0"}, {0.25, "0.25"}, {-3.0, "-3.0"}, {0.1, "0.1"}, {-0.0, "0.0"},
      {123456.5, "123456.5"}, {1.0 / 3, "0.333333333333333"}};
  for (auto [value, text] : cases) EXPECT_EQ(FormatFloatFixed(value, 1, 15), text) << value;
}

TEST(NumberText, ParsesAndRejects) {
  EXPECT_EQ(ParseInt("-12"), -12);
  EXPECT_EQ(ParseInt("$1F"), 31);
  EXPECT_EQ(ParseInt(" 7 "), 7);
  EXPECT_DOUBLE_EQ(ParseFloat("1.5e3"), 1500.0);
  EXPECT_DOUBLE_EQ(ParseFloat("+2"), 2.0);
  for (const char* bad : {"", "1x", "$", "99999999999999999999", "1,5"}) {
    try {
      ParseInt(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  for (const char* bad : {"", "1,5", "nan", "1e999", "--1"}) {
    try {
      ParseFloat(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
}

}  // namespace
}  // namespace tolvek
