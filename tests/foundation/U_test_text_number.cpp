// Number formatting and scanning, locale characters and message substitution.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "TestSupport.h"
#include "U.h"

namespace {

using tv::u::FormatNum;
using tv::u::SubString;

// Pins the locale characters to "." and "," and restores the user's after.
class NumberTest : public tv::test::UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    U_SetLocaleChars('.', ',');
  }
  void TearDown() override {
    U_SetLocaleChars(0, 0);
    UFixture::TearDown();
  }
};

TEST_F(NumberTest, EachFlag) {
  EXPECT_EQ(FormatNum(-0.5, U_NumPlus, 1, 1), "-0.5");
  EXPECT_EQ(FormatNum(0.5, U_NumPlus, 1, 1), "+0.5");
  EXPECT_EQ(FormatNum(0.5, U_NumSpace, 1, 1), " 0.5");
  EXPECT_EQ(FormatNum(0.5, 0, 1, 1), "0.5");
  EXPECT_EQ(FormatNum(2.5, 0, 3, 2), "002.50");
  EXPECT_EQ(FormatNum(2.5, U_NumBlankPad, 3, 2), "  2.50");
  EXPECT_EQ(FormatNum(-2.5, U_NumBlankPad, 3, 0), "-  2");  // sign goes before the padding
  EXPECT_EQ(FormatNum(2.5, U_NumNoTrailingZeros, 1, 2), "2.5");
  EXPECT_EQ(FormatNum(2.0, U_NumNoTrailingZeros, 1, 3), "2");
  EXPECT_EQ(FormatNum(100.0, U_NumNoTrailingZeros, 1, 0), "100");  // no point: zeros stay
  EXPECT_EQ(FormatNum(12345.0, U_NumThousands, 1, 0), "12,345");
  EXPECT_EQ(FormatNum(1234567.891, U_NumThousands, 1, 2), "1,234,567.89");
  EXPECT_EQ(FormatNum(123.0, U_NumThousands, 1, 0), "123");
  EXPECT_EQ(FormatNum(45.0, U_NumThousands, 5, 0), "00,045");
  EXPECT_EQ(FormatNum(-1234.5, U_NumThousands | U_NumNoTrailingZeros, 1, 3), "-1,234.5");
}

TEST_F(NumberTest, LocaleCharactersAndFlagN) {
  U_SetLocaleChars(',', '.');
  EXPECT_EQ(FormatNum(1234.5, U_NumThousands, 1, 1), "1.234,5");
  EXPECT_EQ(FormatNum(1234.5, U_NumThousands | U_NumNoLocale, 1, 1), "1,234.5");
  EXPECT_EQ(U_DecimalChar(), ',');
  EXPECT_EQ(U_ThousandsChar(), '.');
  char text[] = "3.5, 1,000 end.";
  U_InternationalizeNum(text);  // only before a digit
  EXPECT_STREQ(text, "3,5, 1.000 end.");
  U_DeInternationalizeNum(text);
  EXPECT_STREQ(text, "3.5, 1,000 end.");
  EXPECT_EQ(U_SetLocaleChars(',', ','), 3);
}

TEST_F(NumberTest, LongAndSpecialValues) {
  EXPECT_EQ(FormatNum(1e30, 0, 1, 2), "1.000000e+30");  // the fixed form would be 24 characters or more
  EXPECT_EQ(FormatNum(-1e308, U_NumNoTrailingZeros | U_NumThousands, 8, 2), "-1.000000e+308");
  EXPECT_EQ(FormatNum(1.0, 0, 1, 500), "1.000000e+00");  // a huge precision switches too
  EXPECT_EQ(FormatNum(1.5, 0, 1, -3), "2");               // negative precision counts as 0
  EXPECT_EQ(FormatNum(5.0, 0, 100, 0).size(), 32u);       // at most 32 characters
  EXPECT_EQ(FormatNum(NAN, 0, 3, 2), "nan");
  EXPECT_EQ(FormatNum(-INFINITY, 0, 3, 2), "-inf");
  char out[U_FormatNumSize];
  EXPECT_EQ(U_FormatNum(3.25, U_NumPlus, 2, 2, out), 0);
  EXPECT_STREQ(out, "+03.25");
  EXPECT_EQ(U_FormatNum(1, 0, 1, 1, nullptr), 3);
}

TEST_F(NumberTest, ScanInternationalizedNumbers) {
  double v = -1;
  // A text longer than 30 characters is read whole.
  for (auto [text, value] : {std::pair{"2.75", 2.75}, {"  -1,234.5 units", -1234.5}, {"+1e3", 1000.0},
                             {"1234567890.1234567890123456", 1234567890.1234567}}) {
    EXPECT_EQ(U_ScanNum(text, 0, &v), 0);
    EXPECT_DOUBLE_EQ(v, value) << text;
  }
  U_SetLocaleChars(',', '.');
  // Without the locale the text is taken as it is: "," groups.
  for (auto [text, flags, value] : {std::tuple{"1.234,5", 0, 1234.5}, {"2,5", U_NumNoLocale, 25.0}}) {
    EXPECT_EQ(U_ScanNum(text, flags, &v), 0);
    EXPECT_EQ(v, value) << text;
  }
  std::string formatted = FormatNum(-98765.4321, U_NumThousands, 1, 4);
  EXPECT_EQ(formatted, "-98.765,4321");
  EXPECT_EQ(U_ScanNum(formatted.c_str(), 0, &v), 0);
  EXPECT_EQ(v, -98765.4321);
  EXPECT_EQ(U_ScanNum("abc", 0, &v), 3);
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(U_ScanNum(nullptr, 0, &v), 3);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(NumberTest, SubstitutionMarkers) {
  EXPECT_EQ(SubString("unable to convert from type ^L1 to type ^2.", {7, "KVRN long"}),
            "unable to convert from type 7 to type KVRN long.");
  EXPECT_EQ(SubString("^F1", {2.50}), "2.5");
  EXPECT_EQ(SubString("^F1@3.2@", {2.5}), "002.50");
  EXPECT_EQ(SubString("^F1@1.0s@", {12345.0}), "12,345");
  // Positions out of order: the digit names the argument.
  EXPECT_EQ(SubString("^3-^1-^2", {"a", "b", "c"}), "c-a-b");
  EXPECT_EQ(SubString("[^L2|^F3@2.1+@|^1]", {"one", -42, 1.25}), "[-42|+01.2|one]");
  // Only the first occurrence of a marker takes the argument.
  EXPECT_EQ(SubString("^1 ^1", {"x"}), "x ^1");
  // A text marker wins over number markers of the same position.
  EXPECT_EQ(SubString("^L1 ^1", {"t"}), "^L1 t");
  // Substitution stops at the first position without a marker.
  EXPECT_EQ(SubString("^1 ^3", {"a", "b", "c"}), "a ^3");
  // A marker without its argument stays.
  EXPECT_EQ(SubString("^1 ^2", {"a"}), "a ^2");
  EXPECT_EQ(SubString("^L1 and ^F2", {2147483647, -0.126}), "2147483647 and -0.13");
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(NumberTest, MarkersInsideDoubleByteCharactersAreText) {
  U_SetSystemScript(U_ScriptJapanese);
  // 0x88 0x5E is one character whose trail byte happens to be '^'.
  EXPECT_EQ(SubString("\x88^1 ^1", {"x"}), "\x88^1 x");
  EXPECT_EQ(SubString("^F1@1.1\x88@@", {1.0}), "1.0");
  U_SetSystemScript(U_ScriptRoman);
  EXPECT_EQ(SubString("\x88^1 ^1", {"x"}), "\x88x ^1");
}

TEST_F(NumberTest, InsertedMarkersAreNotSubstitutedAgain) {
  EXPECT_EQ(SubString("file ^1 layer ^2", {"my^2name", "L"}), "file my^2name layer L");
  EXPECT_EQ(SubString("^2^1", {"^2", "x"}), "x^2");
}

TEST_F(NumberTest, FormatWarningsAndContinuation) {
  EXPECT_EQ(SubString("v=^F1@2.1q@!", {3.0}), "v=03.0!");
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test warning: unknown format char 'q'");
  EXPECT_EQ(rec.last().severity, tv::kSevWarning);
  EXPECT_EQ(tv::LocationPackage(rec.last().location), 23u);
  rec.clear();
  EXPECT_EQ(SubString("v=^F1@2.1 z done", {3.0}), "v=03.0 z done");
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test warning: missing 2nd '@' in format string");
}

TEST_F(NumberTest, OutputIsBounded) {
  char out[8];
  U_SubArg args[2] = {{U_SubArgText, 0, 0, "abcdefghij"}, {U_SubArgLong, 5, 0, nullptr}};
  EXPECT_EQ(U_SubString(out, sizeof out, "^1^L2", args, 2), 0);
  EXPECT_STREQ(out, "abcdefg");
  std::string big(2000, 'x');
  char large[4096];
  U_SubArg one = {U_SubArgText, 0, 0, big.c_str()};
  EXPECT_EQ(U_SubString(large, sizeof large, "<^1>", &one, 1), 0);
  EXPECT_EQ(std::strlen(large), 1023u);  // the work buffer holds 1023 characters
  EXPECT_EQ(large[0], '<');
  char cut[5];
  U_SubArg euro = {U_SubArgText, 0, 0, "\xE2\x82\xAC\xE2\x82\xAC"};
  U_SubString(cut, sizeof cut, "^1", &euro, 1);
  EXPECT_STREQ(cut, "\xE2\x82\xAC");
  out[0] = 'Q';
  EXPECT_EQ(U_SubString(out, sizeof out, nullptr, nullptr, 0), 3);
  EXPECT_EQ(out[0], 0);  // a failure leaves out empty
  U_SubArg f = {U_SubArgDouble, 0, 0.25, nullptr};
  EXPECT_EQ(U_SubString(out, sizeof out, "^F1@1.3@", &f, 1), 0);
  EXPECT_STREQ(out, "0.250");
}

}  // namespace
