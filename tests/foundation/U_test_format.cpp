// The engine's message formatter.
#include <gtest/gtest.h>

#include "Format.h"

using tv::fmt::Format;

TEST(Format, IntegersHave32BitSemantics) {
  EXPECT_EQ(Format("%ld|%d|%lX|%x|%u", {-1, 42, 0x1701, -1, -1}), "-1|42|1701|ffffffff|4294967295");
  EXPECT_EQ(Format("%ld", {int64_t{0x100000005}}), "5");  // wraps like a 32-bit long
  EXPECT_EQ(Format("%08lX %-4d| %+d", {0xBEEu, 7, 3}), "00000BEE 7   | +3");
}

TEST(Format, FloatsStringsAndCharacters) {
  EXPECT_EQ(Format("%g %.2f %e", {0.5, 2.125, 1.0}), "0.5 2.12 1.000000e+00");
  EXPECT_EQ(Format("%s-%s-%c-%%", {"a", std::string("bc"), 'z'}), "a-bc-z-%");
  EXPECT_EQ(Format("%5s|%-3s|%.2s", {"ab", "x", "long"}), "   ab|x  |lo");
  EXPECT_EQ(Format("%s %d", {"missing"}), "missing 0");  // a missing argument prints as zero
}

TEST(Format, OutputIsBoundedAndKeepsUtf8Whole) {
  char buf[6];
  EXPECT_EQ(tv::fmt::FormatTo(buf, "%s", {"abcdefgh"}), 5u);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(tv::fmt::FormatTo(buf, "abcd%s", {"\xC3\xA9"}), 4u);  // the two-byte "é" does not fit
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(tv::fmt::Utf8Prefix("\xE2\x82\xAC\xE2\x82\xAC", 4), 3u);
  EXPECT_EQ(tv::fmt::Utf8Prefix("abc", 10), 3u);
  char small[1];
  EXPECT_EQ(tv::fmt::CopyTo(small, "x"), 0u);
  EXPECT_EQ(small[0], 0);
}
