// Cached item frames: hits and misses by key, invalidation by commands and
// undo (the changed composition and those nesting it, nothing else),
// the memory mode, preference changes and unbalanced checkouts at death.
#include "BEE_test_support.h"
#include "BM.h"
#include "MC.h"

namespace {

using tv::test::UFixture;
using namespace tv;
using namespace tv::bee::test;

class BeeCache : public UFixture {
 protected:
  BeeCache() : UFixture({BM_PackageNumber, BEE_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    a = MakeComp("A", 64, 32);
    b = MakeComp("B", 64, 32);
    c = MakeComp("C", 64, 32);
    BEE_SolidSettings solid = Solid("Red");
    ASSERT_EQ(BEE_CmdNewSolidLayer(a, &solid, &aLayer), 0);
    ASSERT_EQ(BEE_CmdNewSolidLayer(c, &solid, &cLayer), 0);
    ASSERT_EQ(BEE_CmdNewLayer(b, a, &bLayer), 0);  // B nests A
  }
  BM_World NewFrame(uint32_t colour) {
    Rect r{0, 0, 32, 64};
    BM_World w = GOT(BM_World, BM_NewWorld, nullptr, 0, &r, 32, 0, nullptr);
    EXPECT_EQ(BM_ClearWorldToLong(w, colour), 0);
    return w;
  }
  static BEE_RenderRequest At(int32_t frame) {
    return BEE_RenderRequest{{frame, 30}, {1, 30}, 0, BEE_Request_Cacheable, -1, {0, 0}};
  }
  // Renders (here: fills) and caches a frame of item at frame, checked in again.
  void Cache(BEE_Item item, int32_t frame, uint32_t colour = 0xFF102030) {
    BEE_RenderRequest rq = At(frame);
    MC_Receipt r = GOT(MC_Receipt, BEE_CacheItemFrame, item, &rq, NewFrame(colour), 6);
    ASSERT_EQ(BEE_CheckinItemFrame(r), 0);
  }
  // Whether a frame is cached; a hit's first pixel must be the colour stored.
  bool Cached(BEE_Item item, int32_t frame, uint32_t colour = 0xFF102030) {
    BEE_RenderRequest rq = At(frame);
    Boolean32 exact = 0;
    MC_Receipt r = nullptr;
    BM_World w = GOT(BM_World, BEE_CheckoutCachedItemFrame, item, &rq, 64, 32, &exact, &r);
    if (!exact) return false;
    Boolean32 failed = 0;
    EXPECT_EQ(BM_LockPixels(0, w, &failed), 0);
    const auto* p = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(w));
    EXPECT_EQ((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3], colour);
    EXPECT_EQ(BM_UnlockPixels(w), 0);
    EXPECT_EQ(BEE_CheckinItemFrame(r), 0);
    return true;
  }
  MC_Statistics Stats() { return GOT(MC_Statistics, MC_GetStatistics, MC_GlobalBag); }
  BEE_Item a = nullptr, b = nullptr, c = nullptr;
  BEE_Layer aLayer = nullptr, bLayer = nullptr, cLayer = nullptr;
};

TEST_F(BeeCache, HitsByKeyWithoutTheWorld) {
  Cache(a, 3, 0xFF0000FF);
  EXPECT_TRUE(Cached(a, 3, 0xFF0000FF));
  EXPECT_FALSE(Cached(a, 4));
  EXPECT_FALSE(Cached(b, 3));
  BEE_RenderRequest rq = At(3);
  Boolean32 exact = 1;
  MC_Receipt r = nullptr;
  BM_World w = nullptr;
  ASSERT_EQ(BEE_CheckoutCachedItemFrame(a, &rq, 32, 32, &exact, &r, &w), 0);  // another size
  EXPECT_EQ(exact, 0);
  // A new frame under the same key replaces the old one.
  Cache(a, 3, 0xFF00FF00);
  EXPECT_TRUE(Cached(a, 3, 0xFF00FF00));
  // entries, bytes (rows carry a spare pixel), hits, misses
  const MC_Statistics s = Stats();
  EXPECT_EQ((std::vector<int64_t>{s.entries, s.bytes, s.hits, s.misses}),
            (std::vector<int64_t>{1, (64 + 1) * 4 * 32, 2, 3}));
  // The checkout count of a receipt is the stuff's checkouts.
  ASSERT_EQ(BEE_CheckoutCachedItemFrame(a, &rq, 64, 32, &exact, &r, &w), 0);
  EXPECT_EQ(GOT(int32_t, BEE_GetReceiptCheckoutCount, r), 1);
  EXPECT_EQ(GOT(BM_World, BEE_GetReceiptWorld, r), w);
  ASSERT_EQ(BEE_CheckinItemFrame(r), 0);
  EXPECT_EQ(BEE_CheckinItemFrame(r), kErrDamaged);  // refused after its checkin
}

TEST_F(BeeCache, ALayerChangeDropsItsCompositionAndTheNestingOnes) {
  for (BEE_Item item : {a, b, c}) Cache(item, 1);
  ASSERT_EQ(BEE_CmdSetLayerSwitch(aLayer, BEE_SwitchMotionBlur, 1), 0);
  EXPECT_FALSE(Cached(a, 1));
  EXPECT_FALSE(Cached(b, 1));
  EXPECT_TRUE(Cached(c, 1));

  // Frames made after the change are stale again after its undo.
  Cache(a, 1);
  Cache(b, 1);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_FALSE(Cached(a, 1));
  EXPECT_FALSE(Cached(b, 1));
  EXPECT_TRUE(Cached(c, 1));

  // A change of the nesting B leaves A.
  Cache(a, 1);
  Cache(b, 1);
  ASSERT_EQ(BEE_CmdSetLayerSwitch(bLayer, BEE_SwitchMotionBlur, 1), 0);
  EXPECT_TRUE(Cached(a, 1));
  EXPECT_FALSE(Cached(b, 1));
}

TEST_F(BeeCache, MemoryModeLocksPixelsAndPrefsPurge) {
  Cache(a, 0);
  BEE_RenderRequest rq = At(0);
  Boolean32 exact = 0;
  MC_Receipt r = nullptr;
  BM_World w = GOT(BM_World, BEE_CheckoutCachedItemFrame, a, &rq, 64, 32, &exact, &r);
  ASSERT_EQ(BEE_CheckinItemFrame(r), 0);
  int32_t mode = -1, inverse = -1;
  ASSERT_EQ(BEE_GetMemoryMode(&mode, &inverse), 0);
  EXPECT_EQ(std::pair(mode, inverse), std::pair(1, 0));
  EXPECT_TRUE(GOT(int32_t, BM_GetPixelsState, w) & BM_PixState_Locked);
  ASSERT_EQ(BEE_SetMemoryMode(0), 0);
  EXPECT_FALSE(GOT(int32_t, BM_GetPixelsState, w) & BM_PixState_Locked);
  ASSERT_EQ(BEE_SetMemoryMode(1), 0);
  EXPECT_TRUE(GOT(int32_t, BM_GetPixelsState, w) & BM_PixState_Locked);
  EXPECT_EQ(BEE_SetMemoryMode(2), kErrBadParam);
  // A shutter change makes every cached frame stale.
  BEE_Prefs p = GOT(BEE_Prefs, BEE_GetPrefs);
  p.shutter = Ratio{1, 4};
  ASSERT_EQ(BEE_SetPrefs(&p), 0);
  EXPECT_EQ(Stats().entries, 0);
  EXPECT_EQ(BEE_CompactCache(), 0);
}

TEST_F(BeeCache, DeathReportsAndReleasesOutstandingFrames) {
  Cache(a, 0);
  BEE_RenderRequest rq = At(0);
  Boolean32 exact = 0;
  MC_Receipt r = nullptr;
  BM_World w = nullptr;
  ASSERT_EQ(BEE_CheckoutCachedItemFrame(a, &rq, 64, 32, &exact, &r, &w), 0);
  rec.clear();
  ASSERT_EQ(BEE_Death(), 0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, 0x1A000002u);
  EXPECT_EQ(rec.last().severity, kSevWarning);
  EXPECT_EQ(rec.last().text, "Test warning: memory inefficiency due to 1 unbalanced frame checkouts");
  EXPECT_EQ(Stats().entries, 0);
  ASSERT_EQ(BEE_Birth(), 0);
}

}  // namespace
