// The package kit: checked text tables, the reporter, the handle guards, the
// scratch array and the exception boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>

#include "Memory.h"
#include "Package.h"
#include "Scratch.h"
#include "TestSupport.h"

namespace tv::test {
namespace {

enum : int32_t { kFirst, kSecond, kThird, kCount };
constexpr pkg::Text kTexts[] = {
    {kFirst, "first damaged (%s)."},
    {kSecond, "bad argument to %s."},
    {kThird, "item %ld of %ld"},
};
TV_TEXT_TABLE(kTexts, kCount);
// A table out of order, or short of an entry, is refused at compile time.
constexpr pkg::Text kSwapped[] = {{kSecond, "b"}, {kFirst, "a"}};
static_assert(!pkg::TextsMatch(kSwapped, 2));
static_assert(!pkg::TextsMatch(kTexts, 4));

STR_Table gOnUse = {};
constexpr int32_t kPackage = 99;
constinit const pkg::Reporter kOnUse{.number = kPackage, .table = &gOnUse, .compiled = pkg::CompiledTexts<kTexts>,
                                     .count = kCount, .damaged = kFirst, .badParam = kSecond,
                                     .installOnUse = true};

struct Rec {
  uint32_t head;
  int32_t value;
  uint32_t tail;
};
constexpr pkg::Magic<Rec> kRecMagic{&Rec::head, 0xABCD, &Rec::tail, 0xABCD};

class Kit : public UFixture {
 protected:
  // The last report's location, severity and text.
  std::tuple<LocationCode, Severity, std::string> Last() {
    return {rec.last().location, rec.last().severity, rec.last().text};
  }
  void TearDown() override {
    EMUL_StopAllocationFailures();
    STRp_Death();  // the table above is remembered until then
    UFixture::TearDown();
  }
};

TEST_F(Kit, TableThatCannotBeInstalledGivesTheCompiledTextWithoutASecondReport) {
  EMUL_FailAllocationsAfter(0);
  EXPECT_STREQ(kOnUse.Text(kSecond), "bad argument to %s.");
  EXPECT_EQ(gOnUse.texts, nullptr);
  EXPECT_EQ(kOnUse.Fail(3, kErrBadParam, kSecond, {"X"}), kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: bad argument to X -- a bad parameter was passed.");
}

TEST_F(Kit, HandleLockRestoresTheStateItFound) {
  Handle h = NewHandleClear(sizeof(Rec));
  HPurge(h);
  const SignedByte before = HGetState(h);
  {
    HandleLock<Rec> lock(h);
    EXPECT_NE(HGetState(h) & 0x80, 0);
    HandleLock<Rec> moved(std::move(lock));
    EXPECT_FALSE(lock);
  }
  EXPECT_EQ(HGetState(h), before);
  HLock(h);
  { HandleLock<> inner(h); }
  EXPECT_NE(HGetState(h) & 0x80, 0);  // a caller's lock survives
  DisposeHandle(h);
}

TEST_F(Kit, CheckedLockVerifiesBothMagicWords) {
  Handle h = NewHandleClear(sizeof(Rec));
  *reinterpret_cast<Rec*>(*h) = Rec{0xABCD, 5, 0xABCD};
  {
    pkg::CheckedLock<Rec> lock(h, kRecMagic, kOnUse, 4, {"rec"});
    ASSERT_EQ(lock.error(), 0);
    EXPECT_EQ(lock->value, 5);
  }
  EXPECT_TRUE(rec.reports.empty());
  for (auto damage : {+[](Rec& r) { r.head = 1; }, +[](Rec& r) { r.tail = 2; }}) {
    damage(*reinterpret_cast<Rec*>(*h));
    pkg::CheckedLock<Rec> lock(h, kRecMagic, kOnUse, 4, {"rec"});
    EXPECT_EQ(lock.error(), kErrDamaged);
    EXPECT_FALSE(lock);
    EXPECT_EQ(Last(), std::tuple(Location(kPackage, 4), kSevError,
                                 "Test error: first damaged (rec) -- internal structure damaged."));
  }
  EXPECT_EQ(HGetState(h) & 0x80, 0);
  Handle small = NewHandleClear(4);
  EXPECT_EQ(kOnUse.CheckRecord(small, kRecMagic, 4), kErrDamaged);
  EXPECT_EQ(kOnUse.CheckRecord(nullptr, kRecMagic, 4), kErrDamaged);
  DisposeHandle(small);
  DisposeHandle(h);
}

TEST_F(Kit, ScratchArrayIsInsideTheBudgetAndGrows) {
  const int64_t ptrs = EMUL_LivePtrCount();
  {
    ScratchArray<int32_t> a(3, true);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(EMUL_LivePtrCount(), ptrs + 1);
    EXPECT_EQ(a[2], 0);
    a[1] = 7;
    for (int32_t i = 0; i < 40; ++i) ASSERT_TRUE(a.Push(i));
    EXPECT_EQ(std::tuple(a.size(), a[1], a[42]), std::tuple(43u, 7, 39));
    ScratchArray<int32_t> empty(0);
    EXPECT_TRUE(empty.ok());
    EXPECT_EQ(empty.data(), nullptr);
    ScratchArray<int64_t> huge(SIZE_MAX / 4);
    EXPECT_FALSE(huge.ok());
  }
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
  EMUL_FailAllocationsAfter(0);
  ScratchArray<double> failed(100);
  EXPECT_EQ(std::tuple(failed.ok(), failed.failedBytes(), failed.size()), std::tuple(false, 800u, 0u));
}

ErrorCode Throwing(int kind) try {
  if (kind == 0) throw std::bad_alloc();
  if (kind == 1) throw std::length_error("too long");
  throw std::runtime_error("odd state");
} TV_CATCH(kPackage)

Ptr ThrowingPtr() try {
  throw std::bad_alloc();
} TV_CATCH(kPackage)

TEST_F(Kit, ExceptionsBecomeOneReportAndACode) {
  EXPECT_EQ(Throwing(0), kErrOutOfMemory);
  EXPECT_EQ(Last(), std::tuple(Location(kPackage, pkg::kSiteCaught), kSevFailure,
                               "Test: working storage of the ? package -- out of memory."));
  EXPECT_EQ(Throwing(1), kErrOutOfMemory);
  EXPECT_EQ(Throwing(2), kErrDamaged);
  EXPECT_EQ(rec.last().text, "Test error: unexpected failure in the ? package (odd state) -- internal structure damaged.");
  EXPECT_EQ(ThrowingPtr(), nullptr);
  EXPECT_EQ(rec.reports.size(), 4u);
}

}  // namespace
}  // namespace tv::test
