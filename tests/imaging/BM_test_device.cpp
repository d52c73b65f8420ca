// Screen devices: the device worlds, choosing a device by index or by the
// best fit for a depth and a rectangle across overlapping virtual screens,
// device capabilities and the tables of indexed screens.
#include <optional>

#include "BM_internal.h"
#include "BM_test_fixture.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;

class BMDeviceTest : public BMTest {
 protected:
  // Slots: 0 A (main) 640 x 480 at 0,0, depth 32; 1 B 800 x 600 at 320,0,
  // depth 8, overlapping A; 2 C 300 x 200 at 100,100 (inside A), depth 16;
  // 3 D the same as B; 4 E 640 x 480 below A, depth 32.
  void AddScreens() {
    ASSERT_EQ(BM_Death(), 0);
    for (const auto& [bounds, depth] :
         {std::pair{R(0, 0, 480, 640), 32}, std::pair{R(0, 320, 600, 1120), 8},
          std::pair{R(100, 100, 300, 400), 16}, std::pair{R(0, 320, 600, 1120), 8},
          std::pair{R(480, 0, 960, 640), 32}}) {
      void* device = nullptr;
      ASSERT_EQ(BMp_AddVirtualScreen(&bounds, depth, &device), 0);
      devices.push_back(device);
    }
    ASSERT_EQ(BM_Birth(0), 0);
    baseWorlds = BMp_LiveWorldCount();
  }

  // The slot of a device World, -1 for null.
  static int SlotOf(BM_World w) {
    for (int i = 0; i < 8; ++i) {
      BM_World slot = nullptr;
      BMp_GetDeviceWorld(i, &slot);
      if (slot && slot == w) return i;
    }
    return w ? -2 : -1;
  }
  static BM_World Device(int32_t index) {
    BM_World w = reinterpret_cast<BM_World>(1);
    EXPECT_EQ(BM_GetIndDevice(index, &w), 0);
    return w;
  }
  static int Ind(int32_t index) { return SlotOf(Device(index)); }

  std::vector<void*> devices;
};

TEST_F(BMDeviceTest, BestDeviceAcrossOverlappingScreens) {
  AddScreens();
  EXPECT_EQ(baseWorlds, 5);
  const struct {
    int depth;
    bool mustMatch;
    std::optional<Rect> rect;
    bool mustFit;
    int slot;
  } cases[] = {
      {8, false, {}, false, 3},                               // B and D score 1 (origin outside): the later
      {32, true, {}, false, 0},                               // only A and E; E does not hold the origin
      {0, false, R(150, 150, 250, 350), true, 2},             // A and C score 4: the later
      {0, false, R(0, 0, 700, 1000), false, 3},               // narrower devices: B and D are closest (83)
      {0, false, R(0, 0, 700, 1000), true, -1},               // nothing fits
      {16, true, R(0, 0, 10, 10), true, 2},                   // depth must match
      {4, false, R(0, 600, 10, 610), false, 0},               // the nearest depth above wins: A 12, E 13
      {0, false, R(-32768, -32768, 32767, 32767), false, 3},  // scores beyond 32000 still choose
  };
  for (const auto& c : cases) {
    BM_World w = reinterpret_cast<BM_World>(1);
    ASSERT_EQ(BM_GetBestDevice(c.depth, c.mustMatch, c.rect ? &*c.rect : nullptr, c.mustFit, &w), 0);
    EXPECT_EQ(SlotOf(w), c.slot) << c.depth << " " << c.mustMatch << " " << (c.rect ? c.rect->right : -1);
  }
  BM_World w = reinterpret_cast<BM_World>(1);
  EXPECT_EQ(BM_GetBestDevice(33, false, nullptr, false, &w), tv::kErrBadParam);
  EXPECT_EQ(w, nullptr);

  // By index.
  EXPECT_EQ(Ind(-3), 0);  // the main device
  EXPECT_EQ(Ind(-2), 4);  // A and E are the deepest
  EXPECT_EQ(Ind(-1), 3);  // B and D are the largest
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Ind(i), i);
  for (int i : {5, 7, 8, -4, INT32_MIN}) EXPECT_EQ(Ind(i), -1) << i;

  // An indexed screen carries the standard table of its depth, and a new
  // depth brings a new one.
  EXPECT_EQ(TableOf(Device(1)), SystemTable(8));
  ASSERT_EQ(BMp_SetVirtualScreenDepth(devices[1], 4), 0);
  Boolean32 changed = 0;
  ASSERT_EQ(BM_UpdateGlobals(&changed), 0);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(TableOf(Device(1)), SystemTable(4));  // 16 entries

  // Without colour graphics only the main screen has a World, and negative
  // indices mean slot 0.
  Rebirth(false, false);
  EXPECT_EQ(std::make_tuple(baseWorlds, Ind(-2), Ind(-1), Ind(1)), std::make_tuple(1, 0, 0, -1));
}

TEST_F(BMDeviceTest, ScreenWorldsDrawAndFollowDepthChanges) {
  BM_World plain = New(4, 4);
  EXPECT_EQ(BM_SyncTo(plain, 0), 0);
  EXPECT_EQ(BM_SyncTo(plain, 1), tv::kErrBadParam);  // sync needs a device
  Dispose(plain);
  AddScreens();
  BM_World screen = nullptr, second = nullptr;
  ASSERT_EQ(BMp_GetDeviceWorld(0, &screen), 0);
  ASSERT_EQ(BMp_GetDeviceWorld(1, &second), 0);
  auto* r = tv::bm::Rec(screen);
  EXPECT_EQ(std::make_tuple(r->directlyAddressable, r->flags), std::make_tuple(1, uint32_t{BM_Flag_ScreenDevice}));
  EXPECT_EQ(InfoOf(screen), tv::test::BMInfo({640, 480, 32, 2564}));
  Rect b2;
  ASSERT_EQ(BM_GetWorldBounds(second, &b2), 0);
  EXPECT_EQ(b2.left, 320);
  // A World drawn in the screen's port (a parent window).
  BM_World win = nullptr;
  EXPECT_EQ(BM_NewWorld(r->port, BM_Flag_ParentWindow | 3, nullptr, 8, 0, nullptr, &win), tv::kErrBadParam);
  ASSERT_EQ(BM_NewWorld(r->port, BM_Flag_ParentWindow | 3, nullptr, 0, 0, nullptr, &win), 0);
  ASSERT_EQ(BM_ClearWorldToLong(win, 0x01020304), 0);
  EXPECT_EQ(Bytes(screen, 639, 479), Px4({1, 2, 3, 4}));
  Dispose(win);
  // Screen pixels are not purgeable; sync needs refresh support.
  EXPECT_EQ(BM_SetPixelsState(2, 2, screen), tv::kErrBadParam);
  EXPECT_EQ(BM_SyncTo(screen, 1), tv::kErrUnimplemented);
  EXPECT_EQ(BM_SyncTo(screen, 0), 0);
  // A depth change is seen by BM_UpdateGlobals, which re-births.
  Boolean32 changed = 1;
  ASSERT_EQ(BM_UpdateGlobals(&changed), 0);
  EXPECT_EQ(changed, 0);
  ASSERT_EQ(BMp_SetVirtualScreenDepth(devices[0], 16), 0);
  ASSERT_EQ(BM_UpdateGlobals(&changed), 0);
  EXPECT_EQ(changed, 1);
  ASSERT_EQ(BMp_GetDeviceWorld(0, &screen), 0);
  EXPECT_EQ(InfoOf(screen), tv::test::BMInfo({640, 480, 16, 1284}));
  EXPECT_EQ(BMp_LiveWorldCount(), 5);
  EXPECT_EQ(BMp_RemoveVirtualScreens(), tv::kErrBadParam);
}

TEST_F(BMDeviceTest, NoDevices) {
  for (int i : {-2, -1, 0, 7}) EXPECT_EQ(Ind(i), -1) << i;
  BM_World w = reinterpret_cast<BM_World>(1);
  EXPECT_EQ(BM_GetIndDevice(-3, &w), tv::kErrDamaged);
  EXPECT_EQ(w, nullptr);
  EXPECT_THAT(Last().text, HasSubstr("no main screen device"));
  EXPECT_EQ(Last().location, 0x07000018u);
  Rect r = R(0, 0, 10, 10);
  w = reinterpret_cast<BM_World>(1);
  ASSERT_EQ(BM_GetBestDevice(0, false, &r, false, &w), 0);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(BM_GetIndDevice(0, nullptr), tv::kErrBadParam);
}

TEST_F(BMDeviceTest, DeviceCaps) {
  const struct {
    int depth;
    ErrorCode code;
    int32_t caps;
  } cases[] = {
      {1, 0, BM_Caps_Mono}, {2, 0, BM_Caps_Indexed}, {4, 0, BM_Caps_Indexed}, {8, 0, BM_Caps_Indexed},
      {16, 1, -1},          {32, 0, BM_Caps_Direct}};
  for (const auto& c : cases) {
    BM_World w = New(2, 2, c.depth);
    int32_t caps = 99;
    EXPECT_EQ(BM_GetDeviceCaps(w, &caps), c.code) << c.depth;
    EXPECT_EQ(caps, c.caps) << c.depth;
    Dispose(w);
  }
  EXPECT_THAT(Last().text, HasSubstr("no device capabilities for depth 16"));
  EXPECT_EQ(BM_GetDeviceCaps(nullptr, nullptr), tv::kErrDamaged);
}

}  // namespace
