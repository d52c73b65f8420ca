// Handles, pointer blocks, zones, locking, state bytes, purging and the
// refusal of null, stale and foreign handles.
#include <unistd.h>

#include <vector>

#include "Platform.h"
#include "platform_test_fixture.h"

namespace tv::test {
namespace {

using HandleTest = MemoryTest;

// The memory error left by a call.
template <class F>
OSErr After(F call) {
  call();
  return MemError();
}

TEST_F(HandleTest, EmptyHandleIsValidAndGrows) {
  Handle h = NewHandle(0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  SetHandleSize(h, 40);
  EXPECT_EQ(MemError(), 0);
  ASSERT_NE(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 40);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), 0);

  Handle e = NewEmptyHandle();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(GetHandleSize(e), 0);
  DisposeHandle(e);
}

TEST_F(HandleTest, SmallBlocksAreZeroedAndClearAlwaysIs) {
  Handle small = NewHandle(8192);
  Handle large = NewHandleClear(20000);
  Handle sys = NewHandleSys(100);
  ASSERT_TRUE(small && large && sys);
  for (Size i = 0; i < 8192; ++i) ASSERT_EQ((*small)[i], 0);
  for (Size i = 0; i < 20000; ++i) ASSERT_EQ((*large)[i], 0);
  for (Size i = 0; i < 100; ++i) ASSERT_EQ((*sys)[i], 0);
  DisposeHandle(small);
  DisposeHandle(large);
  DisposeHandle(sys);
}

// Contents through growth, shrinking and moves between the zones, copies and
// state round trips are checked against a model by platform_test_stress.cpp.
TEST_F(HandleTest, MovingModeMovesEveryUnlockedResizeButNoLockedOne) {
  EMUL_SetMemoryChecks(1);
  Handle h = NewHandle(5000);
  Fill(h, 1);
  char* before = *h;
  SetHandleSize(h, 4000);
  EXPECT_NE(*h, before);
  EXPECT_TRUE(Holds(h, 1, 4000));
  HLock(h);
  before = *h;
  SetHandleSize(h, 3000);
  EXPECT_EQ(*h, before);
  EXPECT_TRUE(Holds(h, 1, 3000));
  DisposeHandle(h);
}

TEST_F(HandleTest, ShrinkingStaysInPlaceOutsideMovingMode) {
#ifdef TAVELO_SANITIZED
  GTEST_SKIP() << "the sanitizer's allocator moves every reallocated block";
#endif
  EMUL_SetMemoryChecks(0);
  Handle h = NewHandle(4000);
  char* before = *h;
  SetHandleSize(h, 100);
  EXPECT_EQ(*h, before);
  DisposeHandle(h);
}

TEST_F(HandleTest, ResizeToZeroKeepsTheHandleEmptyAndValid) {
  Handle h = NewHandle(300);
  SetHandleSize(h, 0);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  EXPECT_EQ(Stats().emptyHandles, base.emptyHandles + 1);
  ReallocateHandle(h, 64);
  EXPECT_EQ(GetHandleSize(h), 64);
  DisposeHandle(h);
}

TEST_F(HandleTest, CopiesOfPointersNullAndEmptyHandles) {
  const char bytes[] = "abcdef";
  Handle p = nullptr;
  ASSERT_EQ(PtrToHand(bytes, &p, 6), 0);
  EXPECT_EQ(GetHandleSize(p), 6);
  EXPECT_EQ(std::memcmp(*p, bytes, 6), 0);

  Handle nullHandle = nullptr;
  EXPECT_EQ(HandToHand(&nullHandle), -50);
  EXPECT_EQ(HandToHand(nullptr), -50);
  Handle empty = NewHandle(0);
  Handle emptyCopy = empty;
  ASSERT_EQ(HandToHand(&emptyCopy), 0);
  EXPECT_NE(emptyCopy, empty);
  EXPECT_EQ(GetHandleSize(emptyCopy), 0);
  for (Handle x : {p, empty, emptyCopy}) DisposeHandle(x);
}

TEST_F(HandleTest, PointerBlocks) {
  Ptr p = NewPtr(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(GetPtrSize(p), 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  Ptr big = NewPtrClear(50000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(GetPtrSize(big), 50000);
  EXPECT_EQ(big[49999], 0);
  Ptr zero = NewPtr(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(GetPtrSize(zero), 0);
  EXPECT_EQ(EMUL_LivePtrCount(), base.livePtrs + 3);
  EXPECT_EQ(After([&] { DisposePtr(p); }), 0);
  EXPECT_EQ(After([&] { DisposePtr(p); }), -111);  // twice
  EXPECT_EQ(After([] { DisposePtr(nullptr); }), -111);
  char local[32] = {};
  EXPECT_EQ(After([&] { DisposePtr(local + 16); }), -111);  // foreign
  EXPECT_EQ(GetPtrSize(local), 0);
  EXPECT_EQ(MemError(), -111);
  DisposePtr(big);
  DisposePtr(zero);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), -50);
}

TEST_F(HandleTest, NullStaleAndForeignHandlesAreRefused) {
  EXPECT_EQ(After([] { DisposeHandle(nullptr); }), -109);
  for (void (*call)(Handle) : {HLock, HUnlock, HPurge, HNoPurge}) EXPECT_EQ(After([&] { call(nullptr); }), -111);
  EXPECT_EQ(After([] { SetHandleSize(nullptr, 10); }), -111);
  EXPECT_EQ(GetHandleSize(nullptr), 0);

  Handle h = NewHandle(10);
  EXPECT_EQ(After([&] { DisposeHandle(h); }), 0);
  EXPECT_EQ(After([&] { DisposeHandle(h); }), -111);  // twice: refused, nothing corrupted
  EXPECT_EQ(After([&] { SetHandleSize(h, 20); }), -111);
  EXPECT_EQ(After([&] { HLock(h); }), -111);
  EXPECT_EQ(GetHandleSize(h), 0);

  char* data = nullptr;
  Handle foreign = &data;
  EXPECT_EQ(After([&] { DisposeHandle(foreign); }), -111);
  EXPECT_EQ(GetHandleSize(foreign), 0);
  EXPECT_EQ(MemError(), -111);
  Handle inside = reinterpret_cast<Handle>(reinterpret_cast<char*>(NewHandle(1)) + 8);
  EXPECT_EQ(After([&] { DisposeHandle(inside); }), -111);  // points into a record, not at one
  EXPECT_EQ(After([&] { DisposeHandle(reinterpret_cast<Handle>(reinterpret_cast<char*>(inside) - 8)); }), 0);

  // Still working afterwards.
  Handle ok = NewHandle(10);
  EXPECT_EQ(MemError(), 0);
  DisposeHandle(ok);
  EXPECT_EQ(NewHandle(-5), nullptr);
  EXPECT_EQ(MemError(), -50);
}

TEST_F(HandleTest, MemErrorIsClearedBySuccess) {
  ASSERT_EQ(After([] { DisposeHandle(nullptr); }), -109);
  Handle h = NewHandle(8);
  EXPECT_EQ(MemError(), 0);
  ASSERT_EQ(After([] { HLock(nullptr); }), -111);
  EXPECT_EQ(After([&] { HLock(h); }), 0);
  DisposeHandle(h);
}

TEST_F(HandleTest, StateByteIsKeptAndRestored) {
  Handle h = NewHandle(16);
  auto state = [&] { return static_cast<uint8_t>(HGetState(h)); };
  EXPECT_EQ(state(), 0);
  HLock(h);
  EXPECT_EQ(state(), 0x80);
  HPurge(h);
  EXPECT_EQ(state(), 0xC0);
  SignedByte saved = HGetState(h);
  HUnlock(h);
  HNoPurge(h);
  EXPECT_EQ(state(), 0);
  // The usual save / change / restore sequence leaves the handle as it was;
  // only the three known bits are kept.
  for (auto [set, got] : {std::pair{saved, 0xC0}, {SignedByte(0x20), 0x20}, {SignedByte(0xFF), 0xE0}}) {
    HSetState(h, set);
    EXPECT_EQ(state(), got);
  }
  HSetState(h, 0x40);
  SignedByte s = HGetState(h);
  HLock(h);
  HSetState(h, s);
  EXPECT_EQ(state(), 0x40);
  DisposeHandle(h);
  EXPECT_EQ(HGetState(nullptr), 0);
  EXPECT_EQ(MemError(), -109);
}

TEST_F(HandleTest, LockedBlockNeverMoves) {
  EMUL_SetMemoryChecks(0);
  Handle h = NewHandle(1000);
  Fill(h, 4);
  HLock(h);
  char* at = *h;
  SetHandleSize(h, 400);  // shrinks where it is
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(*h, at);
  SetHandleSize(h, 1000);  // grows back into the room it had
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(*h, at);
  EXPECT_TRUE(Holds(h, 4, 400));
  Fill(h, 6);
  SetHandleSize(h, 100000);  // cannot grow in place: refused, unchanged
  EXPECT_EQ(MemError(), -108);
  EXPECT_EQ(*h, at);
  EXPECT_EQ(GetHandleSize(h), 1000);
  EXPECT_TRUE(Holds(h, 6, 1000));
  HUnlock(h);
  SetHandleSize(h, 100000);
  EXPECT_EQ(MemError(), 0);
  EXPECT_TRUE(Holds(h, 6, 1000));
  DisposeHandle(h);  // disposing a locked handle is fine too
}

TEST_F(HandleTest, ZonesTakeSmallAndLargeBlocks) {
  EMUL_MemoryStats s0 = Stats();
  Handle small = NewHandle(8192);
  EMUL_MemoryStats s1 = Stats();
  EXPECT_EQ(s1.heapZoneBytes - s0.heapZoneBytes, 8192 + 16);
  EXPECT_EQ(s1.globalZoneBytes, s0.globalZoneBytes);
  Handle large = NewHandle(8193);
  EMUL_MemoryStats s2 = Stats();
  EXPECT_EQ(s2.globalZoneBytes - s1.globalZoneBytes, 8193);
  EXPECT_EQ(s2.heapZoneBytes, s1.heapZoneBytes);
  DisposeHandle(small);
  DisposeHandle(large);
  EMUL_MemoryStats s3 = Stats();
  EXPECT_EQ(s3.heapZoneBytes, s0.heapZoneBytes);
  EXPECT_EQ(s3.globalZoneBytes, s0.globalZoneBytes);
  EXPECT_EQ(s3.heapZones, s0.heapZones);
}

TEST_F(HandleTest, FullHeapZoneAddsAZoneAndEmptiedZonesGo) {
  EMUL_MemoryStats s0 = Stats();
  std::vector<Handle> hs;
  // A heap zone holds 0x3FC00 - 40 bytes at 8192 + 16 per block: 31 blocks.
  for (int i = 0; i < 31 * (s0.heapZones + 2); ++i) hs.push_back(NewHandle(8192));
  EXPECT_GE(Stats().heapZones, s0.heapZones + 2);
  for (Handle h : hs) DisposeHandle(h);
  EXPECT_EQ(Stats().heapZones, s0.heapZones);
  EXPECT_EQ(Stats().heapZoneBytes, s0.heapZoneBytes);
}

TEST_F(HandleTest, EmptyHandleOnAZonesLastBlockThenResize) {
  EMUL_MemoryStats s0 = Stats();
  Handle h = NewHandle(200);
  HLock(h);
  EmptyHandle(h);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  EXPECT_EQ(static_cast<uint8_t>(HGetState(h)) & 0x80, 0);  // unlocked
  EXPECT_EQ(Stats().heapZones, s0.heapZones);
  SetHandleSize(h, 300);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(GetHandleSize(h), 300);
  DisposeHandle(h);
  EmptyHandle(nullptr);
  EXPECT_EQ(MemError(), -109);
}

TEST_F(HandleTest, RecoverHandleFindsBothZones) {
  Handle small = NewHandle(10);
  Handle large = NewHandle(10000);
  EXPECT_EQ(RecoverHandle(*small), small);
  EXPECT_EQ(RecoverHandle(*large), large);
  char local = 0;
  EXPECT_EQ(RecoverHandle(&local), nullptr);
  EXPECT_EQ(RecoverHandle(*small + 1), nullptr);
  DisposeHandle(small);
  DisposeHandle(large);
}

TEST_F(HandleTest, BlockMoveHandlesOverlap) {
  char buf[16] = "0123456789";
  BlockMove(buf, buf + 2, 8);
  EXPECT_STREQ(buf, "0101234567");
  BlockMove(buf + 2, buf, 8);
  EXPECT_EQ(std::memcmp(buf, "01234567", 8), 0);
}

TEST_F(HandleTest, MaxMemPurgesExactlyUnlockedPurgeableBlocks) {
  Handle purgeable = NewHandle(100);
  Handle purgeableLarge = NewHandle(50000);
  Handle lockedPurgeable = NewHandle(100);
  Handle plain = NewHandle(100);
  HPurge(purgeable);
  HPurge(purgeableLarge);
  HPurge(lockedPurgeable);
  HLock(lockedPurgeable);
  Fill(plain, 8);
  Size grow = -1;
  MaxMem(&grow);
  EXPECT_EQ(grow, 0);
  EXPECT_EQ(*purgeable, nullptr);
  EXPECT_EQ(GetHandleSize(purgeable), 0);
  EXPECT_EQ(*purgeableLarge, nullptr);
  EXPECT_NE(*lockedPurgeable, nullptr);
  EXPECT_EQ(GetHandleSize(lockedPurgeable), 100);
  EXPECT_TRUE(Holds(plain, 8, 100));
  // A purged handle stays valid, keeps its state and is reloaded by reallocation.
  EXPECT_EQ(static_cast<uint8_t>(HGetState(purgeable)), 0x40);
  ReallocateHandle(purgeable, 100);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(GetHandleSize(purgeable), 100);
  for (Handle h : {purgeable, purgeableLarge, lockedPurgeable, plain}) DisposeHandle(h);
}

TEST_F(HandleTest, OneTimeDebugLines) {
  uint64_t before = platform::DebugOutputCount();
  MoreMasters();
  MoreMasters();
  SetApplLimit(GetApplLimit());
  GetApplLimit();
  EXPECT_LE(platform::DebugOutputCount() - before, 3u);
  Size total = 5, contiguous = 5;
  PurgeSpace(&total, &contiguous);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(contiguous, 0);
}

TEST_F(HandleTest, CallsAfterShutdownAreRefused) {
  EXPECT_EXIT(
      {
        Handle h = NewHandle(100);
        Ptr p = NewPtr(10);
        EMUL_ShutdownMemory();
        int bad = 0;
        DisposeHandle(h);
        bad += MemError() != -111;
        SetHandleSize(h, 10);
        bad += MemError() != -111;
        bad += GetHandleSize(h) != 0;
        HLock(h);
        bad += MemError() != -111;
        bad += NewHandle(10) != nullptr;
        bad += MemError() != -111;
        bad += NewPtr(10) != nullptr;
        DisposePtr(p);
        bad += MemError() != -111;
        Handle copy = h;
        bad += HandToHand(&copy) != -111;
        _exit(bad);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tv::test
