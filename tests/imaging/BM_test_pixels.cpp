// Pixels: lock nesting, unbalanced unlocks, pixel states, purging and
// reloading, clearing whole worlds and sub-worlds, and the channel order.
#include "BM_internal.h"
#include "BM_test_fixture.h"
#include "Memory.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;

TEST_F(BMTest, LockNesting) {
  BM_World w = New(8, 8);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(tv::bm::Rec(w)->baseAddr, nullptr);
  Boolean32 failed = 1;
  ASSERT_EQ(BM_LockPixels(1, w, &failed), 0);
  EXPECT_EQ(failed, 0);
  char* base = tv::bm::Rec(w)->baseAddr;
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(BMp_GetPixBaseAddr(w), base);
  ASSERT_EQ(BM_LockPixels(0, w, nullptr), 0);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 2);

  // The first unlock keeps the base address, the second clears it.
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  EXPECT_EQ(std::make_pair(tv::bm::Rec(w)->baseAddr, State(w)), std::make_pair(base, int32_t{BM_PixState_Locked}));
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  EXPECT_EQ(std::make_pair(tv::bm::Rec(w)->baseAddr, State(w)), std::make_pair(static_cast<char*>(nullptr), 0));

  // A third unlock is reported and refused; the count stays at 0.
  rec.clear();
  EXPECT_EQ(BM_UnlockPixels(w), tv::kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(Last().location, 0x07000034u);
  EXPECT_THAT(Last().text, HasSubstr("lock count below zero"));
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 0);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 1);
  ASSERT_EQ(BM_UnlockPixels(w), 0);

  // Disposing a locked World: a child's lock on its parent goes with it.
  BM_World child = Sub(w, R(1, 1, 3, 3));
  ASSERT_EQ(BM_LockPixels(1, child, nullptr), 0);
  ASSERT_EQ(BM_LockPixels(1, child, nullptr), 0);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 1);
  Dispose(child);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 0);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  Dispose(w);
}

TEST_F(BMTest, PurgeNowAndReload) {
  BM_World w = New(16, 4, 32, BM_Flag_Purgeable | BM_Flag_KeepLocal);
  EXPECT_EQ(State(w), BM_PixState_Purgeable);

  // Purging a locked World is refused.
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  EXPECT_EQ(BM_SetPixelsState(BM_PixState_Purged, BM_PixState_Purged, w), tv::kErrBadParam);
  ASSERT_EQ(BM_UnlockPixels(w), 0);

  ASSERT_EQ(BM_SetPixelsState(BM_PixState_Purged, BM_PixState_Purged, w), 0);
  EXPECT_EQ(State(w), BM_PixState_Purged | BM_PixState_Purgeable);
  EXPECT_EQ(BMp_GetPixBaseAddr(w), nullptr);

  // Locking a purged World: with out failed only the flag, without it 1793.
  Boolean32 failed = 0;
  ASSERT_EQ(BM_LockPixels(1, w, &failed), 0);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 0);
  rec.clear();
  EXPECT_EQ(BM_LockPixels(1, w, nullptr), BM_ErrPixelsPurged);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(Last().location, 0x07000033u);
  EXPECT_EQ(LastCode(), BM_ErrPixelsPurged);
  EXPECT_EQ(tv::bm::Rec(w)->lockCount, 0);

  // Making purged pixels unpurgeable fails with 1793.
  EXPECT_EQ(BM_SetPixelsState(0, BM_PixState_Purgeable, w), BM_ErrPixelsPurged);

  // Nothing to clear while purged.
  EXPECT_EQ(BM_ClearWorldToZeros(w), 0);

  EXPECT_EQ(LoadLock(w), std::make_pair(1, 1));
  EXPECT_EQ(State(w), BM_PixState_Purgeable | BM_PixState_Locked);
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 4 * RowBytes(w));
  ASSERT_NE(BMp_GetPixBaseAddr(w), nullptr);
  ASSERT_EQ(BM_UnlockPixels(w), 0);

  // A load-lock of pixels that are present only locks.
  EXPECT_EQ(LoadLock(w), std::make_pair(0, 0));
  ASSERT_EQ(BM_UnlockPixels(w), 0);

  // Unpurgeable again: purge-now implies purgeable.
  ASSERT_EQ(BM_SetPixelsState(0, BM_PixState_Purgeable, w), 0);
  EXPECT_EQ(tv::bm::Rec(w)->flags & BM_Flag_Purgeable, 0u);
  ASSERT_EQ(BM_SetPixelsState(BM_PixState_Purged, BM_PixState_Purged, w), 0);
  EXPECT_NE(tv::bm::Rec(w)->flags & BM_Flag_Purgeable, 0u);
  Dispose(w);
}

// Clearing a whole World, and a sub-World at the bottom-right corner (its
// last row ends the block) that starts inside a byte at the sub-byte depths:
// only its rectangle is written, not the parent's row padding.
TEST_F(BMTest, ClearWorldsAndSubWorlds) {
  BM_World w = New(5, 3, 32, BM_Flag_KeepLocal | BM_Flag_Clear), empty = New(5, 0);
  EXPECT_EQ(Read(w, 4, 2), 0u);  // cleared when asked
  ASSERT_EQ(BM_ClearWorldToLong(w, 0xFF102030), 0);
  EXPECT_EQ(Bytes(w, 4, 2), Px4({0xFF, 0x10, 0x20, 0x30}));
  ASSERT_EQ(BM_ClearWorldToZeros(w), 0);
  EXPECT_EQ(Bytes(w, 0, 0), Px4({0, 0, 0, 0}));
  EXPECT_EQ(BM_ClearWorldToLong(empty, 1), 0);  // no rows: nothing to clear
  Dispose(empty, w);
  for (int depth : {1, 2, 4, 32}) {
    BM_World parent = New(40, 6, depth, BM_Flag_KeepLocal | BM_Flag_Clear);
    BM_World child = Sub(parent, R(2, 3, 6, 40));
    EXPECT_EQ(tv::bm::Rec(child)->aligned, depth == 32 ? 1 : 0);
    ASSERT_EQ(BM_ClearWorldToLong(child, 0xFFFFFFFF), 0);
    const uint32_t ones = depth == 32 ? 0xFFFFFF00u : (1u << depth) - 1;  // 32-bit pixels read as colour
    for (int v = 0; v < 6; ++v)
      for (int h = 0; h < 40; ++h)
        ASSERT_EQ(Read(parent, h, v), v >= 2 && h >= 3 ? ones : 0u) << depth << ": " << h << "," << v;
    if (depth == 32) {
      for (int v = 0; v < 6; ++v) EXPECT_EQ(Bytes(parent, 40, v), Px4({0, 0, 0, 0})) << v;  // the spare pixel
    }
    Dispose(child, parent);
  }
}

TEST_F(BMTest, ChannelOrder) {
  BM_World w = New(3, 2);
  int32_t order = -1;
  ASSERT_EQ(BM_GetChannelOrder(w, &order), 0);
  EXPECT_EQ(order, BM_Order_ARGB);
  ASSERT_EQ(BM_ClearWorldToLong(w, 0x10203040), 0);
  // Setting re-orders the pixels; assuming does not touch them.
  ASSERT_EQ(BM_SetChannelOrder(w, BM_Order_BGRA), 0);
  ASSERT_EQ(BM_GetChannelOrder(w, &order), 0);
  EXPECT_EQ(order, BM_Order_BGRA);
  EXPECT_EQ(Bytes(w, 2, 1), Px4({0x40, 0x30, 0x20, 0x10}));
  EXPECT_EQ(Read(w, 0, 0), 0x20304000u);
  ASSERT_EQ(BM_AssumeChannelOrder(w, BM_Order_ARGB), 0);
  EXPECT_EQ(Read(w, 0, 0), 0x30201000u);
  EXPECT_EQ(BM_SetChannelOrder(w, 7), tv::kErrBadParam);
  // A sub-World has its parent's order.
  BM_World child = Sub(w, R(0, 0, 1, 1));
  ASSERT_EQ(BM_AssumeChannelOrder(w, BM_Order_BGRA), 0);
  ASSERT_EQ(BM_GetChannelOrder(child, &order), 0);
  EXPECT_EQ(order, BM_Order_BGRA);
  // Only 32-bit worlds have a channel order to change.
  BM_World eight = New(3, 2, 8);
  ASSERT_EQ(BM_AssumeChannelOrder(eight, BM_Order_BGRA), 0);
  EXPECT_EQ(BM_SetChannelOrder(eight, BM_Order_ARGB), tv::kErrBadParam);
  Dispose(child, eight, w);
}
}  // namespace
