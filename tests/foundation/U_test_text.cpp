// Characters, bounded copies, searches, comparisons and length-prefixed strings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "U.h"

namespace {

// Runs a test under the double-byte script and restores the default after.
struct DoubleByteScript {
  DoubleByteScript() { U_SetSystemScript(U_ScriptJapanese); }
  ~DoubleByteScript() { U_SetSystemScript(U_ScriptRoman); }
};

// "a", a two-byte character whose trail byte is 'A', "b".
const char kKanji[] = "a\x88" "Ab";

TEST(UText, CharByteClassifiesUtf8AndDoubleByteCharacters) {
  const char* euro = "x\xE2\x82\xAC" "y";  // x, three-byte euro sign, y
  EXPECT_EQ(U_GetSystemScript(), U_ScriptRoman);
  const int32_t kinds[] = {U_SingleByte, U_FirstByte, U_MiddleByte, U_LastByte, U_SingleByte};
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(U_CharByte(euro, i), kinds[i]) << i;
  EXPECT_EQ(U_CharByte("\xA9", 0), U_SingleByte);  // a stray byte is a character of its own
  EXPECT_EQ(U_CharByteFromScript(kKanji, 1, U_ScriptJapanese), U_FirstByte);
  EXPECT_EQ(U_CharByteFromScript(kKanji, 2, U_ScriptJapanese), U_LastByte);
  EXPECT_EQ(U_CharByteFromScript(kKanji, 2, U_ScriptRoman), U_SingleByte);
  EXPECT_EQ(U_CharByte(euro, -1), U_SingleByte);
  EXPECT_EQ(U_SetSystemScript(7), 3);
}

TEST(UText, CopyStringAtExactBoundaries) {
  char out[16];
  EXPECT_EQ(U_CopyString("0123456789", 11, out), 0);  // exactly fits with its zero
  EXPECT_STREQ(out, "0123456789");
  EXPECT_EQ(U_CopyString("0123456789", 10, out), 0);  // one short
  EXPECT_STREQ(out, "012345678");
  out[0] = 'Q';
  EXPECT_EQ(U_CopyString("abc", 0, out), 0);  // no room at all: nothing written
  EXPECT_EQ(out[0], 'Q');
  EXPECT_EQ(U_CopyString(nullptr, 4, out), 3);
}

TEST(UText, CutsKeepCharactersWhole) {
  char out[16];
  U_CopyString("ab\xC3\xA9", 4, out);  // "é" would need bytes 2 and 3
  EXPECT_STREQ(out, "ab");
  U_CopyString("ab\xC3\xA9", 5, out);
  EXPECT_STREQ(out, "ab\xC3\xA9");
  char text[] = "x\xE2\x82\xAC";
  EXPECT_EQ(U_TruncateString(3, text), 0);
  EXPECT_STREQ(text, "x");
  char same[] = "abc";
  U_TruncateString(3, same);
  EXPECT_STREQ(same, "abc");
  U_TruncateString(0, same);
  EXPECT_STREQ(same, "");
  EXPECT_EQ(U_TruncateString(-1, same), 3);

  DoubleByteScript dbcs;
  U_CopyString(kKanji, 3, out);  // the cut would fall between lead and trail
  EXPECT_STREQ(out, "a");
  char k[sizeof kKanji];
  std::memcpy(k, kKanji, sizeof kKanji);
  U_TruncateString(2, k);
  EXPECT_STREQ(k, "a");
}

TEST(UText, ConcatStaysWithinSize) {
  char out[8] = "abc";
  EXPECT_EQ(U_ConcatString("defgh", 8, out), 0);
  EXPECT_STREQ(out, "abcdefg");
  EXPECT_EQ(U_ConcatString("x", 8, out), 0);  // already full
  EXPECT_STREQ(out, "abcdefg");
  char two[8] = "ab";
  U_ConcatString("\xE2\x82\xAC\xE2\x82\xAC", 8, two);  // one euro sign fits, the second not
  EXPECT_STREQ(two, "ab\xE2\x82\xAC");
}

TEST(UText, CaseChangesLeaveMultiByteCharactersAlone) {
  char text[] = "abC\xC3\xA9z";
  U_StringToUpper(text);
  EXPECT_STREQ(text, "ABC\xC3\xA9Z");
  U_StringToLower(text);
  EXPECT_STREQ(text, "abc\xC3\xA9z");
  DoubleByteScript dbcs;
  char k[sizeof kKanji];
  std::memcpy(k, kKanji, sizeof kKanji);
  U_StringToLower(k);  // the trail byte 'A' is part of a character, not a letter
  EXPECT_STREQ(k, "a\x88" "Ab");
}

TEST(UText, SearchesMatchOnlyAtCharacterStarts) {
  const char* text = "one two one";
  EXPECT_EQ(U_strstr(text, "one"), text);
  EXPECT_EQ(U_strstr(text, "two"), text + 4);
  EXPECT_EQ(U_strstr(text, "three"), nullptr);
  EXPECT_EQ(U_strstr(text, ""), text);
  EXPECT_EQ(U_strchr(text, 'o'), text);
  EXPECT_EQ(U_strrchr(text, 'o'), text + 8);
  EXPECT_EQ(U_strchr(text, 0), text + 11);
  EXPECT_EQ(U_strchr(text, 'q'), nullptr);

  DoubleByteScript dbcs;
  EXPECT_EQ(U_strchr(kKanji, 'A'), nullptr);  // only a trail byte
  EXPECT_EQ(U_strrchr(kKanji, 'b'), kKanji + 3);
  EXPECT_EQ(U_strstr(kKanji, "Ab"), nullptr);
  EXPECT_EQ(U_strstr(kKanji, "\x88" "Ab"), kKanji + 1);
}

TEST(UText, Comparisons) {
  EXPECT_EQ(U_strcmp("abc", "abc"), 0);
  EXPECT_EQ(U_strcmp("abc", "abd"), -1);
  EXPECT_EQ(U_strcmp("\xC3\xA9", "z"), 1);  // unsigned bytes
  EXPECT_EQ(U_strcmp("ab", "abc"), -1);
  EXPECT_EQ(U_stricmp("HeLLo", "hello"), 0);
  EXPECT_EQ(U_stricmp("Apple", "banana"), -1);
  EXPECT_EQ(U_stricmp("b", "A"), 1);
  DoubleByteScript dbcs;
  EXPECT_NE(U_stricmp("\x88" "A", "\x88" "a"), 0);  // trail bytes are not folded
  EXPECT_EQ(U_stricmp("X\x88" "A", "x\x88" "A"), 0);
}

TEST(UText, LengthPrefixedStrings) {
  unsigned char a[256] = {3, 'a', 'b', 'c'};
  unsigned char b[256] = {2, 'd', 'e'};
  unsigned char c[256];
  EXPECT_EQ(U_Pstrcpy(c, a), c);
  EXPECT_EQ(0, std::memcmp(c, a, 4));
  EXPECT_EQ(U_Pstrcat(c, b), c);
  EXPECT_EQ(c[0], 5);
  EXPECT_EQ(0, std::memcmp(c + 1, "abcde", 5));

  unsigned char big[256];
  big[0] = 250;
  std::memset(big + 1, 'x', 250);
  EXPECT_EQ(U_Pstrcat(big, c), big);  // 250 + 5: exactly 255
  EXPECT_EQ(big[0], 255);
  EXPECT_EQ(big[255], 'e');
  unsigned char one[256] = {1, '!'};
  EXPECT_EQ(U_Pstrcat(big, one), nullptr);  // 256 does not fit
  EXPECT_EQ(big[0], 255);
  EXPECT_EQ(big[255], 'e');
}

}  // namespace
