// Worlds under memory pressure: purgeable worlds created without memory,
// and creations, updates and reloads that cannot get their memory.
#include "BM_internal.h"
#include "BM_test_fixture.h"
#include "Memory.h"

namespace {

using ::testing::HasSubstr;

class BMMemoryTest : public tv::test::BMTest {
 protected:
  void SetUp() override {
    BMTest::SetUp();
    handles = EMUL_LiveHandleCount();
  }
  void TearDown() override {
    EMUL_StopAllocationFailures();
    EXPECT_EQ(EMUL_LiveHandleCount(), handles) << "handles leaked";
    BMTest::TearDown();
  }
  // Runs `f` with every allocation from the n-th on failing.
  template <class F>
  static ErrorCode Starved(int n, F f) {
    EMUL_FailAllocationsAfter(n);
    const ErrorCode err = f();
    EMUL_StopAllocationFailures();
    return err;
  }
  static void Pressure() {
    Size grow = -1;
    MaxMem(&grow);
    EXPECT_EQ(grow, 0);
  }
  int64_t handles = 0;
};

TEST_F(BMMemoryTest, PurgeableWorldWithoutMemoryStartsPurged) {
  Rect b = R(0, 0, 200, 300);
  BM_World w = nullptr;
  // Fail every allocation from the n-th on, until the pixel block is the
  // first to fail.
  for (int n = 0; n < 8 && !w; ++n) {
    if (Starved(n, [&] { return BM_NewWorld(nullptr, BM_Flag_KeepLocal | BM_Flag_Purgeable, &b, 32, 0, nullptr, &w); }))
      continue;
    if (State(w) & BM_PixState_Purged) break;
    Dispose(w);
    w = nullptr;
  }
  ASSERT_NE(w, nullptr) << "no allocation failure left the pixels purged";
  EXPECT_EQ(LoadLock(w).second, 1);
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 200 * 1204);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  Dispose(w);
}

int32_t gSeenAttitude = -1;
int32_t RecordAttitude(Size) {
  U_GetFailAttitude(&gSeenAttitude);
  return 0;
}

TEST_F(BMMemoryTest, FailAttitudeRaisedAroundPixelAllocations) {
  ASSERT_EQ(U_SetFailAttitude(7, nullptr), 0);
  SetGrowZone(RecordAttitude);
  // The record, the buffer and its device come first; then the pixels fail.
  Rect b = R(0, 0, 500, 500);
  BM_World w = nullptr;
  gSeenAttitude = -1;
  EXPECT_EQ(Starved(3, [&] { return BM_NewWorld(nullptr, BM_Flag_KeepLocal, &b, 32, 0, nullptr, &w); }), tv::kSysMemFull);
  SetGrowZone(nullptr);
  EXPECT_EQ(Last().location, 0x07000003u);
  EXPECT_THAT(Last().text, HasSubstr("500 x 500 World of depth 32 (1002000 bytes; largest free block"));
  EXPECT_EQ(gSeenAttitude, 1);
  int32_t attitude = 0;
  U_GetFailAttitude(&attitude);
  EXPECT_EQ(std::make_tuple(attitude, w), std::make_tuple(7, nullptr));
  U_SetFailAttitude(0, nullptr);
}

TEST_F(BMMemoryTest, FailedUpdateKeepsAConsistentWorld) {
  BM_World w = New(50, 40, 32, BM_Flag_KeepLocal | BM_Flag_Clear);
  ASSERT_EQ(BM_ClearWorldToLong(w, 0x11223344), 0);
  Rect bigger = R(0, 0, 400, 500);
  EXPECT_EQ(Starved(0, [&] { return BM_UpdateWorld(0, &bigger, nullptr, nullptr, 0, w); }), tv::kSysMemFull);
  EXPECT_EQ(Last().location, 0x07000005u);
  EXPECT_EQ(InfoOf(w), tv::test::BMInfo({50, 40, 32, 204}));
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 40 * 204);
  EXPECT_EQ(Bytes(w, 49, 39), Px4({0x11, 0x22, 0x33, 0x44}));
  Dispose(w);
}

TEST_F(BMMemoryTest, FailedMonochromeUpdateFallsBack) {
  Rebirth(false, false);
  handles = EMUL_LiveHandleCount();
  BM_World w = New(64, 64, 1, BM_Flag_KeepLocal);
  Rect bigger = R(0, 0, 2000, 2000);
  const uint64_t beeps = tv::platform::BeepCount();

  // The new size fails, the old size is had again: the World keeps it.
  EMUL_InjectAllocationFailures(0, 3);
  EXPECT_EQ(BM_UpdateWorld(0, &bigger, nullptr, nullptr, 0, w), tv::kErrOutOfMemory);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(tv::platform::BeepCount(), beeps + 2);
  EXPECT_EQ(std::make_tuple(InfoOf(w), State(w), GetHandleSize(tv::bm::Rec(w)->pixels)),
            std::make_tuple(tv::test::BMInfo({64, 64, 1, 8}), 0, 64 * 8 + 4));

  // Nothing can be had: an empty, purgeable block of the old size's World.
  EXPECT_EQ(Starved(0, [&] { return BM_UpdateWorld(0, &bigger, nullptr, nullptr, 0, w); }), tv::kErrOutOfMemory);
  EXPECT_EQ(std::make_tuple(InfoOf(w), State(w)),
            std::make_tuple(tv::test::BMInfo({64, 64, 1, 8}), BM_PixState_Purged | BM_PixState_Purgeable));
  EXPECT_EQ(BM_LockPixels(0, w, nullptr), BM_ErrPixelsPurged);
  EXPECT_EQ(LoadLock(w, 0).second, 1);
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 64 * 8 + 4);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  // The reloaded pixels stay purgeable: pressure purges them, a load-lock brings them back.
  Pressure();
  EXPECT_EQ(LoadLock(w), std::make_pair(1, 1));
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 64 * 8 + 4);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  Dispose(w);
}

TEST_F(BMMemoryTest, ReloadWithoutMemory) {
  BM_World w = New(100, 100, 32, BM_Flag_KeepLocal | BM_Flag_Purgeable);
  Pressure();
  rec.clear();
  EMUL_FailAllocationsAfter(0);
  // With was-purged the caller learns of it through the flags only.
  EXPECT_EQ(LoadLock(w), std::make_pair(1, 0));
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 0);
  // Without it the failure is reported.
  EXPECT_EQ(BM_LoadLockPixels(1, w, nullptr, nullptr), tv::kErrOutOfMemory);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(Last().location, 0x07000032u);
  EXPECT_THAT(Last().text, HasSubstr("World pixels"));
  EXPECT_EQ(LoadLock(w).second, 1);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  Dispose(w);
}

}  // namespace
