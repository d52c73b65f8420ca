// The package frame and the report path of U.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Package.h"
#include "Platform.h"
#include "TestSupport.h"
#include "U.h"

using tv::Location;
using tv::test::UFixture;

namespace {

class ReportTest : public UFixture {};

TEST_F(ReportTest, MaskMatrixUnderTheInitialMask) {
  struct Case {
    Severity severity;
    bool shown, logged;
    const char* text;
  };
  // (The warning, error and can't-continue prefixes are checked where those reports are made.)
  const Case cases[] = {
      {1, true, true, "msg"},
      {2, true, true, "Test: msg"},
      {32, false, true, "  msg"},
      {64, false, false, nullptr},
      {3, true, true, "Testinvalid severity code: msg"},
  };
  for (const Case& c : cases) {
    rec.clear();
    EXPECT_EQ(Up_ReportErrString(Location(17, 5), c.severity, "msg"), 0);
    EXPECT_EQ(rec.dialogs.size(), c.shown ? 1u : 0u) << c.severity;
    ASSERT_EQ(rec.reports.size(), c.logged ? 1u : 0u) << c.severity;
    if (c.logged) rec.ExpectLast(Location(17, 5), c.severity, c.text);
  }
}

TEST_F(ReportTest, LogStreamGetsTextAndLocation) {
  char buf[256] = {};
  FILE* f = fmemopen(buf, sizeof buf, "w");
  ASSERT_NE(f, nullptr);
  U_SetLoggingOutput(f);
  Up_ReportErrString(Location(3, 200), 4, "careful");
  Up_ReportErrString(0, 4, "nowhere");
  U_SetLoggingOutput(nullptr);
  std::fclose(f);
  EXPECT_STREQ(buf, "Test warning: careful ( 3 :: 200 )\nTest warning: nowhere \n");
}

TEST_F(ReportTest, TextIsCutTo240CharactersWithoutSplittingUtf8) {
  std::string msg(300, 'x');
  Up_ReportErrString(0, 8, msg.c_str());
  EXPECT_EQ(rec.last().text.size(), 240u);
  EXPECT_EQ(rec.last().text.substr(0, 12), "Test error: ");
  // "é" is two bytes; place one across the cut.
  std::string utf(227, 'y');
  utf += "\xC3\xA9zzz";
  rec.clear();
  Up_ReportErrString(0, 8, utf.c_str());
  EXPECT_EQ(rec.last().text.size(), 239u);
  // Long texts never overflow the message buffer.
  msg.assign(2000, 'q');
  EXPECT_EQ(Up_ReportSyserrString(0, 8, -34, msg.c_str()), -34);
  EXPECT_EQ(Up_ReportVeskErrString(0, 8, 3, msg.c_str()), 3);
  char text[U_MessageBufferSize];
  U_GetLastError(text, nullptr, nullptr, nullptr);
  EXPECT_EQ(std::strlen(text), static_cast<size_t>(U_MessageBufferSize - 1));
}

TEST_F(ReportTest, GeneralCodeTexts) {
  // Negative codes print as 32-bit values; only one final full stop is removed.
  for (auto [code, message, text] : {
           std::tuple{3, "getting size of handle", "Test error: getting size of handle -- a bad parameter was passed."},
           {0x1701, "getting size of handle.", "Test error: getting size of handle (1701)."},
           {1, "odd", "Test error: odd (1)."}, {4, "", "Test error: out of memory."},
           {-2, "neg", "Test error: neg (FFFFFFFE)."}, {5, "dots..", "Test error: dots. -- sorry, this is unimplemented."}}) {
    EXPECT_EQ(Up_ReportVeskErrString(0, 8, code, message), code);
    EXPECT_EQ(rec.last().text, text);
  }
  rec.clear();
  EXPECT_EQ(Up_ReportVeskErrString(0, 8, 0, "nothing"), 0);
  rec.ExpectNone();
}

TEST_F(ReportTest, PlatformCodeTexts) {
  EXPECT_EQ(Up_ReportSyserrString(Location(3, 1), 8, -43, "opening \"a.mov\"."), -43);
  EXPECT_EQ(rec.last().text, "Test error: opening \"a.mov\" -- file not found (-43).");
  Up_ReportSyserrString(0, 8, -2030, "movie");
  EXPECT_EQ(rec.last().text, "Test error: movie -- QuickTime error (-2030).");
  Up_ReportSyserrString(0, 8, -9000, "odd");
  EXPECT_EQ(rec.last().text, "Test error: odd (-9000).");
  size_t before = rec.reports.size();
  EXPECT_EQ(Up_ReportSyserrString(0, 8, 0, "fine"), 0);
  EXPECT_EQ(rec.reports.size(), before);
}

TEST(Texts, PlatformTextsAndRanges) {
  const std::pair<int, const char*> sys[] = {
      {-33, "directory full"}, {-50, "bad parameter"}, {-108, "out of memory"}, {-111, "invalid memory block"},
      {-192, "resource not found"}, {-203, "sound queue is full"},
      {-5551, "an undefined code was passed to Gestalt"}, {-2050, "bad QuickTime data reference"},
      {-2058, "QuickTime error"}, {-2000, "QuickTime error"}, {-2059, ""},
      {-2814, "code fragment library too new"}, {-2899, "code fragment error"},
      {-8972, "QuickTime codec condition error"}, {-8976, "QuickTime codec error"},
      {-9404, "QuickTime digitizing error"}, {-9994, "QuickTime controller error"},
      {-5000, "AppleTalk access denied"}, {-1, ""}};
  for (auto [code, text] : sys) EXPECT_STREQ(U_GetSysEnglish(code), text) << code;
  const std::pair<int, const char*> err[] = {{0, "no error occurred"}, {2, "internal structure damaged"},
                                             {11, "multiple or corrupted death"}, {12, "multiple births"},
                                             {1, ""}, {13, ""}};
  for (auto [code, text] : err) EXPECT_STREQ(U_GetErrEnglish(code), text) << code;
}

TEST(Texts, StringTableIndicesAndOverride) {
  for (auto [index, text] : {std::pair{0, ""}, {54, "bad version architecture"}, {63, "Win32"}, {104, "OK"},
                             {111, "Verification failure: ^1 {^2}"}, {112, "unknown string"}, {-1, "unknown string"}})
    EXPECT_STREQ(Up_GetString(index), text) << index;
}

TEST_F(ReportTest, StringCallbackReplacesTexts) {
  auto cb = [](intptr_t, int32_t index) -> const char* { return index == 1 ? " WARN" : nullptr; };
  ASSERT_EQ(U_SetStringCallback(cb, 0), 0);
  Up_ReportErrString(0, 4, "x");
  EXPECT_EQ(rec.last().text, "Test WARN: x");
  U_SetStringCallback(nullptr, 0);
  Up_ReportErrString(0, 4, "x");
  EXPECT_EQ(rec.last().text, "Test warning: x");
}

TEST_F(ReportTest, ReportFromInsideTheLogCallbackIsDropped) {
  static int inner = -1;
  static int32_t countInside = -1;
  auto cb = [](intptr_t, LocationCode, Severity, const char*) -> ErrorCode {
    inner = Up_ReportErrString(Location(9, 9), 8, "inner");
    U_GetHowManyErrors(&countInside);
    return 0;
  };
  U_SetLoggingCallback(cb, 0);
  Up_ReportVeskErrString(Location(1, 2), 8, 3, "outer");
  EXPECT_EQ(std::tuple(inner, countInside, rec.dialogs.size()), std::tuple(0, 1, size_t{1}));
  char text[U_MessageBufferSize];
  U_GetLastError(text, nullptr, nullptr, nullptr);
  EXPECT_STREQ(text, "outer -- a bad parameter was passed.");  // the outer report's record
}

TEST_F(ReportTest, CallbackAndDialogResultsBecomeTheReportResult) {
  rec.callbackResult = 42;
  EXPECT_EQ(Up_ReportErrString(0, 8, "x"), 42);
  rec.callbackResult = 0;
  tv::platform::SetDialogSink([](const tv::platform::Dialog&) { return ErrorCode{-1}; });
  EXPECT_EQ(Up_ReportErrString(0, 8, "x"), -1);
}

TEST_F(ReportTest, DeferredReportingForgetsOrRepeats) {
  int32_t state[3], n = -1;
  ASSERT_EQ(U_DeferredReportingStart(0, state), 0);
  Up_ReportErrString(Location(5, 1), 8, "first");
  EXPECT_EQ(U_DeferredReportingEnd(0, nullptr, state), 0);
  U_GetHowManyErrors(&n);
  // Forgotten: not logged, not shown, not counted.
  EXPECT_EQ(std::tuple(n, rec.reports.size(), rec.dialogs.size()), std::tuple(0, size_t{0}, size_t{0}));

  U_DeferredReportingStart(0, state);
  Up_ReportErrString(Location(5, 3), 4, "kept");
  EXPECT_EQ(U_DeferredReportingEnd(1, "fallback", state), 0);
  ASSERT_EQ(rec.dialogs.size(), 1u);  // shown once ...
  EXPECT_EQ(rec.dialogs[0].text, "Test warning: kept\n\n( 5 :: 3 )");
  EXPECT_TRUE(rec.reports.empty());  // ... but not logged again
  uint32_t mask = 0;
  Up_GetInteract(&mask);
  EXPECT_EQ(mask, U_InitialInteractMask);
}

TEST_F(ReportTest, DeferredReportingFallbackTexts) {
  int32_t state[3];
  U_DeferredReportingStart(0, state);
  Up_ReportErrString(Location(5, 3), 8, "");
  U_DeferredReportingEnd(1, "the fallback", state);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_EQ(rec.dialogs[0].text, "Test can't continue: the fallback");
  rec.clear();
  U_DeferredReportingStart(0, state);
  Up_ReportErrString(0, 8, "");
  U_DeferredReportingEnd(1, nullptr, state);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_EQ(rec.dialogs[0].text, "Test can't continue: missing deferred error information.");
  rec.clear();
  U_DeferredReportingStart(0, state);
  U_DeferredReportingEnd(1, nullptr, state);  // nothing failed: nothing shown
  EXPECT_TRUE(rec.dialogs.empty());
}

TEST_F(ReportTest, AssertionShowsEvenWhenMaskedAndRestoresMask) {
  Up_SetInteract(0);
  Up_AssertFailed("x > 0", "list.cpp", 42);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_EQ(rec.dialogs[0].text, "Test error: assertion failed\nx > 0\nline: 42 of file: list.cpp.");
  uint32_t mask = 1;
  Up_GetInteract(&mask);
  EXPECT_EQ(mask, 0u);
}

TEST_F(ReportTest, FailedVerificationTexts) {
  U_ReportFailedVerification(Location(27, 4), 17, "list order", nullptr);
  EXPECT_EQ(rec.last().text, "Test error: Verification failure: list order {17}");
  U_ReportFailedVerification(0, 17, nullptr, "seventeen");
  EXPECT_EQ(rec.last().text, "Test error: internal verification failure, sorry! {seventeen}");
  U_ReportFailedVerification(0, -5, nullptr, nullptr);
  EXPECT_EQ(rec.last().text, "Test error: internal verification failure, sorry! {-5}");
}

// The figure rounds up to whole kilobytes (its cap: AllocTest).
TEST_F(ReportTest, OutOfMemoryWording) {
  EXPECT_EQ(Up_ReportOutOfMemory(Location(27, 3), "list", 4097), tv::kErrOutOfMemory);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create list.\n(5K requested, ", 0), 0u);
}

// ---- Lifecycle and guard -------------------------------------------------------

class Lifecycle : public ::testing::Test {
 protected:
  tv::test::Recorder rec;
  void TearDown() override { U_Death(); }
};

TEST_F(Lifecycle, OperationsBeforeBirthAnswerUnborn) {
  int32_t n = 5;
  EXPECT_EQ(U_GetHowManyErrors(&n), U_ErrUnborn);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_EQ(rec.dialogs[0].text, " can't continue: null internal structures.\n\n( 23 :: 7 )");
  rec.clear();
  EXPECT_EQ(Up_ReportErrString(0, 8, "lost"), U_ErrUnborn);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_EQ(rec.dialogs[0].text, " can't continue: Error reporting error: lost\n\n( 23 :: 13 )");
  EXPECT_EQ(U_Death(), U_ErrUnborn);
  EXPECT_TRUE(U_Die());
}

TEST_F(Lifecycle, NameIsKeptTo30Characters) {
  ASSERT_EQ(U_Birth("a-very-long-application-name-that-goes-on", 1), 0);
  char name[U_NameBufferSize];
  U_GetName(name);
  EXPECT_STREQ(name, "a-very-long-application-name-t");
  EXPECT_GE(tv::platform::InitToolboxCount(), 1);
}

TEST_F(Lifecycle, SecondBirthKeepsTheLivingGlobals) {
  ASSERT_EQ(U_Birth("First", 0), 0);
  rec.Attach();
  Up_ReportErrString(0, 4, "one");
  EXPECT_EQ(U_Birth("Second", 0), tv::kErrBirth);
  rec.ExpectLast(Location(23, 3), tv::kSevError, "First error: U package -- multiple births.");
  char name[U_NameBufferSize];
  U_GetName(name);
  EXPECT_STREQ(name, "First");
  int32_t n = 0;
  U_GetHowManyErrors(&n);
  EXPECT_EQ(n, 2);
}

TEST_F(Lifecycle, DamagedGlobalsSetTheDeadFlag) {
  ASSERT_EQ(U_Birth("App", 0), 0);
  Handle h = nullptr;
  ASSERT_EQ(U_GetGlobals(&h), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Up_SetInteract(0), U_ErrUnborn);  // detached: unborn
  uint32_t saved;
  std::memcpy(&saved, *h, 4);
  uint32_t bad = 0xDEAD;
  std::memcpy(*h, &bad, 4);
  EXPECT_EQ(U_SetGlobals(&h), tv::kErrDamaged);  // refused
  std::memcpy(*h, &saved, 4);
  ASSERT_EQ(U_SetGlobals(&h), 0);
  std::memcpy(*h, &bad, 4);
  rec.clear();
  EXPECT_EQ(Up_SetInteract(0), tv::kErrDamaged);
  ASSERT_EQ(rec.dialogs.size(), 1u);
  EXPECT_NE(rec.dialogs[0].text.find("Internal structures damaged."), std::string::npos);
  EXPECT_TRUE(U_Die());
  std::memcpy(*h, &saved, 4);
}

// ---- Versions ---------------------------------------------------------------------

TEST(Version, AsciiVersionText) {
  char buf[64];
  // A release has no letter.
  for (auto [version, text] : {std::pair{0xA0C05u, "1.4.1b5"}, {0x824A0C05u, "1.4.1b5\xBC (Win32)"},
                               {(2u << 19) | (3u << 15) | (3u << 9) | 7u, "2.3"}, {(1u << 19) | (0u << 9) | 12u, "1.0d12"},
                               {(1u << 19) | (3u << 9) | (11u << 22), "1.0 (unknown)"}}) {
    U_AsciiVersion(version, buf);
    EXPECT_STREQ(buf, text) << version;
  }
}

TEST(Swap, AllFourKinds) {
  EXPECT_EQ(U_LongSwap(0x11223344u), 0x44332211u);
  EXPECT_EQ(U_ShortSwap(0xA1B2), 0xB2A1);
  // On this little-endian machine the swapped bytes 3F F0 0 ... (and 3F 80 0 0)
  // read back as these small integers.
  double d = 1.0;
  U_FpLongSwap(&d);
  EXPECT_EQ(std::bit_cast<uint64_t>(d), 0xF03Fu);
  U_FpLongSwap(&d);
  EXPECT_EQ(d, 1.0);
  float f = 1.0f;
  U_FpShortSwap(&f);
  EXPECT_EQ(std::bit_cast<uint32_t>(f), 0x803Fu);
  U_FpShortSwap(&f);
  EXPECT_EQ(f, 1.0f);
}

TEST_F(ReportTest, FaultInjection) {
  EXPECT_FALSE(U_RandErr(1, 2));
  auto filter = [](int32_t a, int32_t b, intptr_t data) -> Boolean32 { return a + b == data; };
  U_SetRandErrFilter(filter, 5);
  EXPECT_TRUE(U_RandErr(2, 3));
  EXPECT_FALSE(U_RandErr(2, 4));
  U_SetRandErrFilter(nullptr, 0);
  for (int i = 0; i < 100; ++i) {
    EXPECT_FALSE(U_StandardRandErrFilter(0, 0, 0));
    EXPECT_TRUE(U_StandardRandErrFilter(0, 0, 32768));
  }
  tv::platform::SeedRandom(7);
  int hits = 0;
  for (int i = 0; i < 10000; ++i) hits += U_StandardRandErrFilter(0, 0, 8192);
  EXPECT_NEAR(hits, 2500, 300);
}

// This platform has no movie media layer: asked for, it is absent (every
// other trap is there).
TEST_F(ReportTest, MovieMediaLayerIsAbsent) {
  EXPECT_EQ(QTI_InitializeQTML(0), tv::kErrUnsupported);
  EXPECT_EQ(U_TrapAvailable(0xAAAA), 0);
  EXPECT_EQ(U_TrapAvailable(0xAAAA), 0);
  EXPECT_EQ(U_TrapAvailable(0xA9FF), 1);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(ReportTest, DialogPlacement) {
  Rect r{0, 0, 100, 200};  // top, left, bottom, right: 200 wide, 100 high
  Rect bounds{0, 0, 301, 401};
  U_CenterRect(&r, &bounds);
  EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(100, 100, 300, 200));
  Rect d{0, 0, 100, 200};
  U_PositionDlgRect(&d, &bounds);
  EXPECT_EQ(std::tuple(d.top, d.bottom), std::tuple(50, 150));  // a quarter of the free height of 201
  Rect p{0, 0, 100, 200};
  U_PlaceDlgRect(&p);  // screen 1024 x 768, menu bar 20 + 4
  EXPECT_EQ(std::tuple(p.left, p.top), std::tuple(412, 24 + (768 - 24 - 100) / 2 / 2));
}

// The package table as the host reads it: number order, U's own entry
// matching its version operation, and the end answered with 10 and cleared
// outputs (before U_Birth too).
TEST(PackageTable, EntriesByIndex) {
  const char* name = "x";
  int32_t number = -1, previous = -1, count = 0;
  uint32_t version = 1;
  bool sawU = false;
  for (; Up_GetPackageInfo(count, &name, &number, &version) == 0; ++count) {
    ASSERT_NE(name, nullptr);
    EXPECT_GT(number, previous) << name;
    previous = number;
    if (std::strcmp(name, "U") == 0) {
      sawU = true;
      EXPECT_EQ(number, U_PackageNumber);
      EXPECT_EQ(version, U_PkgObjectVersion());
    }
  }
  EXPECT_TRUE(sawU);
  EXPECT_GT(count, 20);
  EXPECT_EQ(std::tuple(name, number, version), std::tuple(static_cast<const char*>(nullptr), 0, 0u));
  EXPECT_EQ(Up_GetPackageInfo(-1, nullptr, nullptr, nullptr), 10);
}

}  // namespace
