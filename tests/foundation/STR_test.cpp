// String tables: installation, replacement tags, lookups, string resources,
// double-byte safety, balls and conversion to the resource layout, and
// installation when memory runs out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "Memory.h"
#include "STR.h"
#include "TestSupport.h"
#include "U.h"

namespace {

using tv::Location;

const char* const kTexts[] = {
    "plain",                                       // 0
    " Movie{{*MSWindows*}}.mov",                   // 1: one variant
    "Mac{{*Other*}}other{{*MSWindows*}}win{{*X*}}x",  // 2: several variants
    "default{{*Unknown*}}unknown",                 // 3: no variant for the active tag
    "half{{*MSWindows*}",                          // 4: a malformed tag
    "sym \xA9 \x99",                               // 5: Roman symbols
    STR_END,
};

// Builds string resource bytes: count, then length-prefixed texts.
std::vector<uint8_t> Resource(const std::vector<std::string>& texts, int count = -1) {
  tv::be::Writer w;
  w.Write<uint16_t>(static_cast<uint16_t>(count < 0 ? texts.size() : count));
  for (const std::string& t : texts) {
    w.Write<uint16_t>(static_cast<uint16_t>(t.size()));
    w.WriteBytes({reinterpret_cast<const uint8_t*>(t.data()), t.size()});
  }
  return w.bytes();
}

class StrTest : public tv::test::UFixture {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    STRp_Death();
    STR_UseReplacementTag("{{*MSWindows*}}");
    U_SetSystemScript(U_ScriptRoman);
    for (int id : {1001, 1002, 1003, 1050}) STR_SetStringResource(id, nullptr, 0);
    UFixture::TearDown();
  }
  ErrorCode Install(int32_t base = 0) {
    STR_Descriptor d[] = {{base, kTexts, &table}, {0, nullptr, nullptr}};
    return STRp_BirthStrTab(d);
  }
  // The texts of a table at these indices.
  static std::vector<std::string> Look(const STR_Table* t, std::initializer_list<int32_t> indices) {
    std::vector<std::string> out;
    for (int32_t i : indices) out.push_back(STRp_Lookup(t, i));
    return out;
  }
  STR_Table table{};
};

using Texts = std::vector<std::string>;

TEST_F(StrTest, TagReduction) {
  ASSERT_EQ(Install(), 0);
  ASSERT_EQ(table.count, 6);
  EXPECT_EQ(STRp_Lookup(&table, 0), kTexts[0]);  // untouched entries stay the compiled text
  EXPECT_EQ(Look(&table, {0, 1, 2, 3, 4}), (Texts{"plain", ".mov", "win", "default", "half"}));
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test warning: bad replacement string tag.");
  EXPECT_EQ(rec.last().severity, tv::kSevWarning);
  EXPECT_EQ(tv::LocationPackage(rec.last().location), 28u);
  EXPECT_STREQ(STRp_Lookup(&table, 5), "sym \xA9 \x99");  // single-byte script: no conversion
}

TEST_F(StrTest, OtherTags) {
  STR_UseReplacementTag("{{*Other*}}");
  ASSERT_EQ(Install(), 0);
  EXPECT_EQ(Look(&table, {1, 2}), (Texts{" Movie", "other"}));  // 1: the default variant
  STR_UseReplacementTag("{{*X*}}");
  ASSERT_EQ(Install(), 0);  // installing again replaces the table
  EXPECT_STREQ(STRp_Lookup(&table, 2), "x");
  // Ignored: empty, too long, not a tag.
  STR_UseReplacementTag("");
  STR_UseReplacementTag("{{*ThisNameIsFarTooLongForATag_*}}");
  STR_UseReplacementTag("MSWindows");
  ASSERT_EQ(Install(), 0);
  EXPECT_STREQ(STRp_Lookup(&table, 2), "x");
}

TEST_F(StrTest, LookupOutsideTheTable) {
  EXPECT_STREQ(STRp_Lookup(&table, 0), "[?]");  // never installed
  EXPECT_STREQ(STRp_Lookup(nullptr, 0), "[?]");
  ASSERT_EQ(Install(), 0);
  EXPECT_EQ(Look(&table, {-1, 6, INT32_MIN}), Texts(3, "[?]"));
}

TEST_F(StrTest, ForgotInit) {
  EXPECT_EQ(STRp_ForgotInit(27), 0x1C01);
  rec.ExpectOnly(Location(28, 2), tv::kSevFatal, "Test can't continue: no strings for pkg #27!");
  STR_Descriptor d[] = {{0, nullptr, &table}, {0, nullptr, nullptr}};
  EXPECT_EQ(STRp_BirthStrTab(d), 0x1C01);
}

TEST_F(StrTest, DeathFreesAndEnsureReinstalls) {
  ASSERT_EQ(Install(), 0);
  EXPECT_EQ(STRp_Death(), 0);
  EXPECT_EQ(table.texts, nullptr);
  EXPECT_EQ(tv::str::EnsureTable(table, kTexts), 0);
  EXPECT_STREQ(STRp_Lookup(&table, 1), ".mov");
  const char** texts = table.texts;
  EXPECT_EQ(tv::str::EnsureTable(table, kTexts), 0);  // already there: kept
  EXPECT_EQ(table.texts, texts);
}

TEST_F(StrTest, BrokenResourcesDetach) {
  std::vector<std::vector<uint8_t>> broken = {
      Resource({"a", "b"}),                        // count differs from the compiled texts
      Resource({"1", "2", "3", "4", "5", "6"}, 7),  // count beyond the entries
      {0x00},                                      // no room for the count
      {0x00, 0x06, 0x00, 0x10, 'x'},               // a length beyond the bytes
      {0x80, 0x00},                                // a negative count
  };
  for (const auto& bytes : broken) {
    rec.clear();
    STR_SetStringResource(1001, bytes.data(), static_cast<int32_t>(bytes.size()));
    ASSERT_EQ(Install(1), 0);
    ASSERT_EQ(rec.reports.size(), 2u);  // the detach warning, then the bad tag of entry 4
    EXPECT_EQ(rec.reports[0].text, "Test warning: detaching strings.");
    EXPECT_EQ(rec.reports[0].severity, tv::kSevWarning);
    EXPECT_STREQ(STRp_Lookup(&table, 1), ".mov");  // the compiled texts stay
  }
  STR_SetStringResource(1001, nullptr, 0);
  rec.clear();
  ASSERT_EQ(Install(1), 0);  // no resource: compiled texts, no warning about it
  EXPECT_EQ(rec.reports.size(), 1u);
}

TEST_F(StrTest, DoubleByteModeConvertsEntries) {
  Boolean32 on = 1;
  STR_IsDBCSafeMode(&on);
  EXPECT_EQ(on, 0);  // off by default
  U_SetSystemScript(U_ScriptJapanese);
  ASSERT_EQ(Install(), 0);
  STR_IsDBCSafeMode(&on);
  EXPECT_EQ(on, 1);
  EXPECT_STREQ(STRp_Lookup(&table, 5), "sym (C) TM");
  EXPECT_EQ(STRp_Lookup(&table, 0), kTexts[0]);
}

TEST_F(StrTest, SafeAndSevenBitConversions) {
  char out[64];
  Boolean32 changed = 0;
  EXPECT_EQ(STR_MakeDBCSSafeStr("a\x99" "b\xA9" "c\xB0" "d\xB7" "e\xBC", sizeof out, out, &changed), 0);
  EXPECT_STREQ(out, "aTMb(C)cdgrd*ed");
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(STR_MakeDBCSSafeStr("caf\xC3\xA9", sizeof out, out, &changed), 0);
  EXPECT_STREQ(out, "caf\xC3\xA9");  // a whole character is kept
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(STR_CleanTo7BitOnly("caf\xC3\xA9 \x99 \xE4", '?', sizeof out, out, &changed), 0);
  EXPECT_STREQ(out, "caf? TM ?");
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(STR_CleanTo7BitOnly("plain", '?', sizeof out, out, &changed), 0);
  EXPECT_EQ(changed, 0);
  // outSize bounds the expanded text; a replacement is never cut in half.
  char small[5];
  STR_MakeDBCSSafeStr("ab\xA9", sizeof small, small, &changed);
  EXPECT_STREQ(small, "ab");
  STR_MakeDBCSSafeStr("a\xA9", sizeof small, small, &changed);
  EXPECT_STREQ(small, "a(C)");
  U_SetSystemScript(U_ScriptJapanese);
  STR_CleanTo7BitOnly("x\x88" "Ay", '_', sizeof out, out, &changed);
  EXPECT_STREQ(out, "x_y");  // one replacement per double-byte character
  EXPECT_EQ(STR_CleanTo7BitOnly(nullptr, '_', sizeof out, out, &changed), 3);
}

TEST_F(StrTest, ConvertTableToResourceRoundTrip) {
  const char* const two[] = {"ab", "", "c{{*MSWindows*}}d", STR_END};
  STR_Table t{};
  ASSERT_EQ(tv::str::EnsureTable(t, two), 0);
  Handle h = nullptr;
  ASSERT_EQ(STR_ConvertStrTab2Resource(&t, &h), 0);
  ASSERT_NE(h, nullptr);
  const uint8_t golden[] = {0x00, 0x03, 0x00, 0x02, 'a', 'b', 0x00, 0x00, 0x00, 0x01, 'd'};
  ASSERT_EQ(GetHandleSize(h), static_cast<Size>(sizeof golden));
  EXPECT_EQ(0, std::memcmp(*h, golden, sizeof golden));
  STR_SetStringResource(1050, *h, static_cast<int32_t>(GetHandleSize(h)));
  DisposeHandle(h);
  STR_Table back{};
  STR_Descriptor d[] = {{50, two, &back}, {0, nullptr, nullptr}};
  ASSERT_EQ(STRp_BirthStrTab(d), 0);
  EXPECT_EQ(Look(&back, {0, 1, 2}), (Texts{"ab", "", "d"}));
  EXPECT_EQ(STR_ConvertStrTab2Resource(&table, &h), 3);  // never installed
  EXPECT_EQ(h, nullptr);
  STRp_Death();  // the local tables are remembered until then
  EXPECT_EQ(back.texts, nullptr);
  EXPECT_EQ(t.texts, nullptr);
}

TEST_F(StrTest, Balls) {
  STR_Ball ball = nullptr;
  ASSERT_EQ(STR_NewBall(0, kTexts, &ball), 0);
  ASSERT_NE(ball, nullptr);
  for (auto [b, index, text] : {std::tuple{ball, 1, ".mov"}, {ball, 6, "[?]"}, {ball, -1, "[?]"}, {STR_Ball{}, 0, "[?]"}})
    EXPECT_STREQ(STR_BallStringLookup(b, index), text) << index;
  int32_t generation = -1;
  EXPECT_EQ(STR_GetSterlingGeneration(ball, &generation), 0);
  EXPECT_EQ(generation, 0);
  EXPECT_EQ(STR_SetSterlingGeneration(ball, 4), 0);
  STR_GetSterlingGeneration(ball, &generation);
  EXPECT_EQ(generation, 4);
  EXPECT_EQ(STR_DisposeBall(&ball), 0);
  EXPECT_EQ(ball, nullptr);
  EXPECT_EQ(STR_DisposeBall(&ball), 0);

  // From a resource alone.
  std::vector<uint8_t> bytes = Resource({"one", "two"});
  STR_SetStringResource(1003, bytes.data(), static_cast<int32_t>(bytes.size()));
  ASSERT_EQ(STR_NewBall(3, nullptr, &ball), 0);
  EXPECT_EQ(std::string(STR_BallStringLookup(ball, 1)) + STR_BallStringLookup(ball, 2), "two[?]");
  STR_DisposeBall(&ball);

  rec.clear();
  EXPECT_EQ(STR_NewBall(2, nullptr, &ball), tv::kErrResource);
  EXPECT_EQ(ball, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: unable to load resource ID 1002 -- resource is missing or damaged.");
}

TEST_F(StrTest, DamagedBallIsRefused) {
  STR_Ball ball = nullptr;
  ASSERT_EQ(STR_NewBall(0, kTexts, &ball), 0);
  uint32_t saved;
  std::memcpy(&saved, ball, sizeof saved);
  uint32_t bad = 0;
  std::memcpy(ball, &bad, sizeof bad);
  rec.clear();
  EXPECT_EQ(STR_SetSterlingGeneration(ball, 1), tv::kErrDamaged);
  EXPECT_EQ(rec.last().text, "Test error: string ball -- internal structure damaged.");
  EXPECT_STREQ(STR_BallStringLookup(ball, 0), "[?]");
  std::memcpy(ball, &saved, sizeof saved);
  EXPECT_EQ(STR_DisposeBall(&ball), 0);
}

// ---- Installation when memory runs out -------------------------------------------------

const char* const kTagged[] = {"plain", "a{{*MSWindows*}}b", "c{{*MSWindows*}}d", STR_END};

using StrMemoryTest = StrTest;

TEST_F(StrMemoryTest, TablesAndBallsThatCannotBeMadeLeaveNothingBehind) {
  EMUL_FailAllocationsAfter(0);
  EXPECT_EQ(tv::str::EnsureTable(table, kTagged), tv::kErrOutOfMemory);
  EXPECT_EQ(table.texts, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(28, 4));
  EXPECT_EQ(rec.last().severity, tv::kSevFailure);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string table.\n", 0), 0u);
  STR_Ball ball = reinterpret_cast<STR_Ball>(1);
  EXPECT_EQ(STR_NewBall(0, kTagged, &ball), tv::kErrOutOfMemory);
  EXPECT_EQ(ball, nullptr);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string ball.\n", 0), 0u);
  EMUL_StopAllocationFailures();
  int64_t ptrs = EMUL_LivePtrCount();
  EMUL_FailAllocationsAfter(3);  // the arrays and the first entry are made; the second entry fails
  EXPECT_EQ(tv::str::EnsureTable(table, kTagged), tv::kErrOutOfMemory);
  EXPECT_EQ(table.texts, nullptr);
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
  EXPECT_EQ(rec.last().location, Location(28, 5));
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string table replacement entry.\n(1K", 0), 0u);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(tv::str::EnsureTable(table, kTagged), 0);
  EXPECT_STREQ(STRp_Lookup(&table, 2), "d");
}

}  // namespace
