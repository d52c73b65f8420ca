// Composition rendering: golden frames of a composition using every
// feature, fields, the layer matrix, hit checks, abort and clean-up,
// flattened nested compositions and rasterized solids.
#include <thread>

#include "BEE_test_frames.h"
#include "FILE.h"
#include "MC.h"
#include "PF.h"

namespace {

using tv::test::UFixture;
using namespace tv;
using namespace tv::bee::test;

struct Px {
  uint8_t a, r, g, b;
  bool operator==(const Px&) const = default;
};

class Render : public UFixture {
 protected:
  Render() : UFixture({BM_PackageNumber, PIN_PackageNumber, BEE_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    worldsAtStart = BMp_LiveWorldCount();
  }
  void TearDown() override {
    for (BM_World w : worlds) BM_DisposeWorld(w);
    EXPECT_EQ(BMp_LiveWorldCount(), worldsAtStart);
    BEE_SetCallbackFunc(nullptr, 0);
    UFixture::TearDown();
  }
  // Gives a standard stream one constant value, in user units.
  void Set(BEE_Layer layer, int32_t index, std::initializer_list<double> v) {
    BEE_StreamRef ref{layer, index};
    double internal[BEE_MaxStreamValues] = {};
    std::copy(v.begin(), v.end(), internal);
    ASSERT_EQ(BEE_ConvertStreamFPV(layer, index, 0, internal), 0);
    TDB_Stream d = GOT(TDB_Stream, TDB_DuplicateStream, GOT(TDB_Stream, BEE_StreamLookup, &ref));
    ASSERT_EQ(TDB_SetKeyF(d, 0, internal), 0);
    ASSERT_EQ(BEE_CmdSetStreamKeys(layer, index, d), 0);
  }
  BM_World World(int w, int h, uint32_t fill = 0) {
    const Rect r{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = GOT(BM_World, BM_NewWorld, nullptr, 0, &r, 32, 0, nullptr);
    EXPECT_EQ(BM_ClearWorldToLong(world, fill), 0);
    worlds.push_back(world);
    return world;
  }
  static BEE_RenderRequest At(int32_t frame, int32_t field = 0, int32_t layers = -1) {
    return BEE_RenderRequest{{frame, 30}, {1, 30}, field, 0, layers, {0, 0}};
  }
  // Renders comp into a new World of its size.
  BM_World Draw(BEE_Item comp, BEE_RenderRequest rq = At(0)) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(BEE_GetCompDimensionsDSF(comp, &w, &h, nullptr), 0);
    BM_World world = World(w, h, 0x12345678);
    EXPECT_EQ(BEEp_RenderItemFrame(comp, &rq, world), 0);
    return world;
  }
  static Px At(BM_World w, int x, int y) {
    int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
    BM_GetWorldInfo(w, &width, &height, &depth, &rowBytes);
    GOT(Boolean32, BM_LockPixels, 0, w);
    const auto* p = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(w)) + y * rowBytes + x * 4;
    Px out{p[0], p[1], p[2], p[3]};
    BM_UnlockPixels(w);
    return out;
  }
  // The pixels' own FNV-1a digest (the golden frames were taken with it).
  static uint64_t Hash(BM_World w) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t byte : WorldBytes(w)) h = (h ^ byte) * 1099511628211ull;
    return h;
  }
  std::vector<BM_World> worlds;
  int32_t worldsAtStart = 0;
};

TEST_F(Render, PixelAspectScalesSourceFirst) {
  BEE_Item c = MakeComp("C", 64, 64);
  BEE_FootageDesc d = Footage("F", 20, 10, Time{0, 1});
  d.pixelAspect = Ratio{9, 10};
  BEE_Item f = GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &d);
  BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewLayer, c, f);
  Set(l, BEE_StreamRotation, {90});
  FloatMatrix m{};
  ASSERT_EQ(BEE_GetLayerToCompMatrix(l, Time{0, 30}, &m), 0);
  // Anchor (10, 5), aspect 0.9 in x, then 90 degrees, then position (32, 32).
  FloatPoint p{20, 5};
  ASSERT_EQ(BEE_TransformFloatPointSourceToComp(l, Time{0, 30}, &p), 0);
  EXPECT_NEAR(p.x, 32, 1e-9);
  EXPECT_NEAR(p.y, 32 + 9, 1e-9);
  ASSERT_EQ(BEE_TransformFloatPointCompToSource(l, Time{0, 30}, &p), 0);
  EXPECT_NEAR(p.x, 20, 1e-9);
  EXPECT_NEAR(p.y, 5, 1e-9);
  BEE_Layer hit = GOT(BEE_Layer, BEE_CompHitCheck, c, Time{0, 30}, FloatPoint{32, 38});
  EXPECT_EQ(hit, l);
  ASSERT_EQ(BEE_CompHitCheck(c, Time{0, 30}, FloatPoint{40, 32}, &hit), 0);
  EXPECT_EQ(hit, nullptr);
}

TEST_F(Render, AbortEndsWith517AndReleasesWorlds) {
  BEE_Item inner = MakeComp("inner", 8, 8);
  MakeSolid(inner, 0xFF00FF00, 8, 8);
  BEE_Item c = MakeComp("C", 8, 8);
  MakeSolid(c, 0xFF0000FF, 8, 8);
  BEE_Layer nested = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(c, inner, &nested), 0);
  struct Spy {
    int polls = 0, abortAt = 0;
  } spy;
  auto cb = [](intptr_t ref, int32_t selector, void*) -> ErrorCode {
    auto* s = reinterpret_cast<Spy*>(ref);
    return selector == BEE_SelProgress && ++s->polls == s->abortAt ? 1 : 0;
  };
  for (int at = 1; at <= 4; ++at) {
    spy = Spy{0, at};
    ASSERT_EQ(BEE_SetCallbackFunc(cb, reinterpret_cast<intptr_t>(&spy)), 0);
    BM_World w = World(8, 8);
    BEE_RenderRequest rq = At(0);
    rec.clear();
    EXPECT_EQ(BEEp_RenderItemFrame(c, &rq, w), 517) << at;
    EXPECT_TRUE(rec.reports.empty());
    EXPECT_EQ(BMp_LiveWorldCount(), worldsAtStart + static_cast<int32_t>(worlds.size()));
  }
}

int16_t EffectClass(const char* match) {
  int16_t index = -1;
  EXPECT_TRUE(GOT(Boolean32, FLTp_FindClass, match, &index));
  return index;
}

TEST_F(Render, WireframeAtQualityZero) {
  BEE_Item c = MakeComp("C", 8, 8);
  BEE_Layer l = MakeSolid(c, 0xFF102030, 4, 4);  // pixels 2..5
  ASSERT_EQ(BEE_CmdSetLayerQuality(l, BEE_QualityWireframe), 0);
  BM_World w = Draw(c);
  EXPECT_EQ(At(w, 2, 2), (Px{255, 255, 255, 255}));
  EXPECT_EQ(At(w, 5, 3), (Px{255, 255, 255, 255}));
  EXPECT_EQ(At(w, 3, 3).a, 0);  // inside the outline
  EXPECT_EQ(At(w, 1, 1).a, 0);
}

// A composition using every feature: nested compositions, a track matte of
// each mode, masks, a built-in effect, motion blur and every transfer mode.
// Its frames at full and half resolution, whole and by field, are fixed.
TEST_F(Render, GoldenFrames) {
  BEE_Item inner = MakeComp("inner", 32, 32);
  BEE_Layer spin = MakeSolid(inner, 0xFFE0A040, 20, 12);
  Set(spin, BEE_StreamRotation, {33});
  const FixedRect ob{0, 0, 18 << 16, 11 << 16};
  AddShapeMask(spin, OM_TypeOval, ob, true);
  BEE_Item c = MakeComp("C", 64, 48);
  MakeSolid(c, 0xFF336699, 64, 48);
  BEE_Layer nested = GOT(BEE_Layer, BEE_CmdNewLayer, c, inner);
  Set(nested, BEE_StreamScale, {75, 90});
  Set(nested, BEE_StreamRotation, {-15});
  BEE_Layer blurred = MakeSolid(c, 0xFF20F020, 12, 12);
  const int16_t blur = EffectClass(FLT_MatchFastBlur);
  ASSERT_EQ(BEE_CmdApplyEffect(blurred, blur, nullptr), 0);
  Set(blurred, BEE_StreamFirstEffect, {3});
  Set(blurred, BEE_StreamPosition, {50, 10});
  AddShapeMask(blurred, OM_TypeOval, ob, true);
  BEE_Layer moving = MakeSolid(c, 0xFFFFFFFF, 3, 10);
  LinearKeys(moving, BEE_StreamPosition, {{0, 10, 30}, {1 / 30.0, 40, 36}});
  ASSERT_EQ(BEE_CmdSetLayerSwitch(moving, BEE_SwitchMotionBlur, 1), 0);
  ASSERT_EQ(BEE_CmdSetCompSwitch(c, BEE_CompSwitchMotionBlur, 1), 0);
  for (uint32_t mode = 1; mode <= 4; ++mode) {
    BEE_Layer matted = MakeSolid(c, 0xFF000000 | (mode * 0x304050), 10, 10);
    Set(matted, BEE_StreamPosition, {8.0 + 12 * mode, 8});
    ASSERT_EQ(BEE_CmdSetTransfer(matted, PF_Xfer_Normal, 0, mode), 0);
    BEE_Layer matte = MakeSolid(c, 0xC0808080 + mode * 0x10, 6, 14);
    Set(matte, BEE_StreamPosition, {6.5 + 12 * mode, 9});
    Set(matte, BEE_StreamRotation, {10.0 * mode});
  }
  for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode) {
    BEE_Layer l = MakeSolid(c, 0xFF000000 | static_cast<uint32_t>(mode * 0x0A0B0C + 0x402010), 5, 5);
    Set(l, BEE_StreamPosition, {3.0 + 2.3 * mode, 42.0 - (mode % 3)});
    Set(l, BEE_StreamOpacity, {70});
    ASSERT_EQ(BEE_CmdSetTransfer(l, static_cast<uint32_t>(mode), mode == 3 ? BEE_TransferLayerTime : 0, 0), 0);
  }
  std::vector<uint64_t> got;
  for (uint16_t f : {1, 2}) {
    ASSERT_EQ(BEE_CmdSetResolution(c, f, f), 0);
    for (int32_t field : {0, 1}) {
      ASSERT_EQ(BEE_SetRenderThreads(1), 0);
      const uint64_t h = Hash(Draw(c, At(0, field)));
      // The same bytes every time, on one row thread or several.
      for (int32_t threads : {1, 3, 16}) {
        ASSERT_EQ(BEE_SetRenderThreads(threads), 0);
        EXPECT_EQ(Hash(Draw(c, At(0, field))), h) << threads;
      }
      got.push_back(h);
    }
  }
  ASSERT_EQ(BEE_SetRenderThreads(0), 0);
  // The blurred solid spreads beyond its 12 x 12 bounds.
  const std::vector<uint64_t> golden = {1354362776582335996ull, 6150637637045668281ull, 13961975333340717386ull,
                                        11614652832691950721ull};
  EXPECT_EQ(got, golden) << ::testing::PrintToString(got);
}

TEST_F(Render, BadArguments) {
  BEE_Item c = MakeComp("C", 4, 4);
  BEE_RenderRequest rq = At(0, 3);
  BM_World w = World(4, 4);
  EXPECT_EQ(BEEp_RenderItemFrame(c, &rq, w), 3);
  EXPECT_EQ(BEEp_RenderItemFrame(c, nullptr, w), 3);
  MC_Receipt r = reinterpret_cast<MC_Receipt>(1);
  rq = At(0);
  EXPECT_EQ(BEE_CheckoutItemFrame(c, &rq, 0, 4, &r), 3);
  EXPECT_EQ(r, nullptr);
  FloatMatrix m{};
  EXPECT_EQ(BEE_GetLayerToCompMatrix(nullptr, Time{0, 1}, &m), 2);
  EXPECT_EQ(m.m[0], 1.0);
  FloatMatrix zero{}, inv{};
  EXPECT_EQ(BEE_InvertMatrix(&zero, &inv), 1);
  EXPECT_EQ(inv.m[8], 1.0);
}

// A collapsed nested composition flattens into the outer one unless
// something drawn between them needs the nested frame whole.
TEST_F(Render, WhatKeepsANestedCompositionFromFlattening) {
  BEE_Item inner = MakeComp("inner", 8, 8);
  BEE_Layer a = MakeSolid(inner, 0xFF20C040, 4, 4);
  BEE_Item c = MakeComp("C", 16, 16);
  BEE_Layer n = GOT(BEE_Layer, BEE_CmdNewLayer, c, inner);
  Boolean32 flat = 0;
  ASSERT_EQ(BEE_CmdSetLayerSwitch(n, BEE_SwitchCollapse, 1), 0);
  EXPECT_EQ(GOT(Boolean32, BEE_CouldLayerCompFlatten, n), 1);
  struct Case {
    const char* what;
    std::function<void()> make, undo;
  } cases[] = {
      {"opacity", [&] { Set(n, BEE_StreamOpacity, {50}); }, [&] { Set(n, BEE_StreamOpacity, {100}); }},
      {"mode", [&] { BEE_CmdSetTransfer(n, PF_Xfer_Add, 0, 0); }, [&] { BEE_CmdSetTransfer(n, PF_Xfer_Normal, 0, 0); }},
      {"inner mode", [&] { BEE_CmdSetTransfer(a, PF_Xfer_Screen, 0, 0); },
       [&] { BEE_CmdSetTransfer(a, PF_Xfer_Normal, 0, 0); }},
      {"effect", [&] { BEE_CmdApplyEffect(n, EffectClass(FLT_MatchInvert), nullptr); },
       [&] { BEE_CmdDeleteEffect(n, 0); }},
      {"switch", [&] { BEE_CmdSetLayerSwitch(n, BEE_SwitchCollapse, 0); },
       [&] { BEE_CmdSetLayerSwitch(n, BEE_SwitchCollapse, 1); }},
  };
  for (const Case& k : cases) {
    k.make();
    ASSERT_EQ(BEE_CouldLayerCompFlatten(n, &flat), 0);
    EXPECT_EQ(flat, 0) << k.what;
    k.undo();
    ASSERT_EQ(BEE_CouldLayerCompFlatten(n, &flat), 0);
    EXPECT_EQ(flat, 1) << k.what;
  }
  ASSERT_EQ(BEE_CouldLayerRasterize(n, &flat), 0);
  EXPECT_EQ(flat, 0);  // a composition collapses or renders whole
}

// A collapsed solid is filled at its transformed size over the part that
// reaches the frame: inside the layer the pixels are those of the whole
// solid transformed, along its edges the coverage differs by the sampling
// only; shrunk, grown, rotated, moving with motion blur, partly off-frame.
TEST_F(Render, RasterizedSolidMatchesTheWholeSource) {
  BEE_Item c = MakeComp("C", 96, 64);
  ASSERT_EQ(BEE_CmdSetCompSwitch(c, BEE_CompSwitchMotionBlur, 1), 0);
  MakeSolid(c, 0xFF102030, 96, 64);
  BEE_Layer l = MakeSolid(c, 0xFFE0A040, 40, 30);
  struct Case {
    double scale, rotation, x, y;
    bool blur;
  } cases[] = {{37.5, 0, 30.25, 20.5, false}, {250, 20, 48, 32, false}, {60, -33, 80.5, 10, false},
               {80, 10, 40, 30, true}};
  for (const Case& k : cases) {
    Set(l, BEE_StreamScale, {k.scale, k.scale});
    Set(l, BEE_StreamRotation, {k.rotation});
    LinearKeys(l, BEE_StreamPosition, {{0, k.x, k.y}, {1 / 30.0, k.x + (k.blur ? 30 : 0), k.y}});
    ASSERT_EQ(BEE_CmdSetLayerSwitch(l, BEE_SwitchMotionBlur, k.blur ? 1 : 0), 0);
    ASSERT_EQ(BEE_CmdSetLayerSwitch(l, BEE_SwitchCollapse, 0), 0);
    BM_World whole = Draw(c);
    ASSERT_EQ(BEE_CmdSetLayerSwitch(l, BEE_SwitchCollapse, 1), 0);
    Boolean32 raster = GOT(Boolean32, BEE_CouldLayerRasterize, l);
    ASSERT_EQ(raster, 1);
    BM_World direct = Draw(c);
    int64_t sumWhole = 0, sumDirect = 0, inside = 0;
    int worst = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x) {
        const Px a = At(whole, x, y), b = At(direct, x, y);
        sumWhole += a.r, sumDirect += b.r;
        worst = std::max(worst, std::abs(a.r - b.r));
        if (a == (Px{255, 0xE0, 0xA0, 0x40})) {
          ++inside;
          EXPECT_EQ(b, a) << k.scale << " at " << x << "," << y;
        }
      }
    EXPECT_GT(inside, 20) << k.scale;
    // Along the edges a pixel's coverage moves by less than a quarter (a
    // grown layer's edges are sharper drawn at its size than resampled), and
    // the layer's whole coverage (red over the background's 0x10) agrees to 0.2 %.
    EXPECT_LT(worst, 64) << k.scale;
    EXPECT_NEAR(static_cast<double>(sumDirect - 96 * 64 * 0x10), static_cast<double>(sumWhole - 96 * 64 * 0x10),
                0.002 * static_cast<double>(sumWhole - 96 * 64 * 0x10))
        << k.scale;
  }
  // Wholly off the frame it draws nothing; a mask keeps it whole.
  LinearKeys(l, BEE_StreamPosition, {{0, 500, 500}, {1 / 30.0, 500, 500}});
  EXPECT_EQ(At(Draw(c), 5, 5), (Px{255, 0x10, 0x20, 0x30}));
  AddShapeMask(l, OM_TypeOval, FixedRect{2 << 16, 2 << 16, 30 << 16, 20 << 16}, true);
  Boolean32 raster = 1;
  ASSERT_EQ(BEE_CouldLayerRasterize(l, &raster), 0);
  EXPECT_EQ(raster, 0);
}

// The row-thread setting ends with the engine: a new birth starts at one
// thread per processor.
TEST_F(Render, ThreadSettingEndsWithTheEngine) {
  const int32_t cores = static_cast<int32_t>(std::max(1u, std::min(std::thread::hardware_concurrency(), 64u)));
  ASSERT_EQ(BEE_SetRenderThreads(cores == 3 ? 5 : 3), 0);
  ASSERT_EQ(BEE_Death(), 0);
  ASSERT_EQ(BEE_Birth(), 0);
  EXPECT_EQ(GOT(int32_t, BEE_GetRenderThreads), cores);
}

// A time-remapped layer shows its source at the remapped time: a nested
// layer that starts at 1 s is seen at composition time 0 when the remap
// holds 1.5 s.
TEST_F(Render, TimeRemapChoosesTheSourceFrame) {
  BEE_Item inner = MakeComp("inner", 4, 4);
  BEE_Layer late = MakeSolid(inner, 0xFF0000FF, 4, 4);
  ASSERT_EQ(BEE_CmdSetLayerTimes(late, Time{0, 30}, Time{30, 30}, Time{300, 30}), 0);
  BEE_Item c = MakeComp("C", 4, 4);
  BEE_Layer n = GOT(BEE_Layer, BEE_CmdNewLayer, c, inner);
  EXPECT_EQ(At(Draw(c), 1, 1).a, 0);
  LinearKeys(n, BEE_StreamTimeRemap, {{0, 1.5}, {1, 1.5}});
  EXPECT_EQ(At(Draw(c), 1, 1), (Px{255, 0, 0, 255}));
  BM_World src = nullptr;
  BEE_RenderRequest rq = At(0);
  ASSERT_EQ(BEE_CheckoutLayerSourceFrame(n, &rq, &src), 0);
  worlds.push_back(src);
  EXPECT_EQ(At(src, 2, 2), (Px{255, 0, 0, 255}));
}

TEST_F(Render, MattedFramesThumbnailsAndCachedSources) {
  BEE_Item c = MakeComp("C", 16, 8);
  ASSERT_EQ(BEE_CmdSetBackgroundColor(c, 0x00204060), 0);
  BEE_Layer l = MakeSolid(c, 0xFFFF0000, 8, 8);
  Set(l, BEE_StreamPosition, {4, 4});  // the left half
  Set(l, BEE_StreamOpacity, {50});
  BM_World w = World(16, 8);
  BEE_RenderRequest rq = At(0);
  ASSERT_EQ(BEE_DrawMattedItemFrame(c, &rq, nullptr, w), 0);
  // Red at opacity byte 128 over the background; the background alone.
  const Px m = At(w, 2, 2);
  EXPECT_EQ(m.a, 255);
  EXPECT_NEAR(m.r, 0x20 + (0xFF - 0x20) * 128 / 255.0, 1);
  EXPECT_NEAR(m.g, 0x40 - 0x40 * 128 / 255.0, 1);
  EXPECT_NEAR(m.b, 0x60 - 0x60 * 128 / 255.0, 1);
  EXPECT_EQ(At(w, 12, 2), (Px{255, 0x20, 0x40, 0x60}));
  const uint32_t white = 0xFFFFFF;
  ASSERT_EQ(BEE_DrawMattedSourceFrame(l, &rq, &white, w), 0);
  EXPECT_EQ(At(w, 12, 7), (Px{255, 255, 0, 0}));  // the solid itself, scaled to fill
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 30}, Time{30, 30}, Time{60, 30}), 0);
  ASSERT_EQ(BEE_DrawMattedSourceFrame(l, &rq, &white, w), 0);
  EXPECT_EQ(At(w, 12, 7), (Px{255, 255, 255, 255}));  // inactive: the background
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 30}, Time{0, 30}, Time{60, 30}), 0);
  // A 16 x 8 composition fitted into 8 x 8: rows 2 to 5, the rest cleared.
  BM_World thumb = World(8, 8, 0xFFFFFFFF);
  ASSERT_EQ(BEE_DrawItemThumbnail(c, thumb), 0);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(At(thumb, 6, y).a, (y >= 2 && y < 6) ? 255 : 0) << y;
  EXPECT_EQ(At(thumb, 6, 3), (Px{255, 0x20, 0x40, 0x60}));
  // Cached source frames: the second checkout is the first frame.
  MC_Receipt r1 = GOT(MC_Receipt, BEE_CheckoutCachedLayerSourceFrame, l, &rq);
  MC_Receipt r2 = GOT(MC_Receipt, BEE_CheckoutCachedLayerSourceFrame, l, &rq);
  BM_World w1 = GOT(BM_World, BEE_GetReceiptWorld, r1);
  BM_World w2 = GOT(BM_World, BEE_GetReceiptWorld, r2);
  EXPECT_EQ(w1, w2);
  EXPECT_EQ(At(w1, 7, 7), (Px{255, 255, 0, 0}));
  ASSERT_EQ(BEE_CheckinItemFrame(r1), 0);
  ASSERT_EQ(BEE_CheckinItemFrame(r2), 0);
  worldsAtStart = BMp_LiveWorldCount() - static_cast<int32_t>(worlds.size());  // cached frames stay
}

TEST_F(Render, HitCheckOfTheSelection) {
  BEE_Item c = MakeComp("C", 40, 40);
  BEE_Layer below = MakeSolid(c, 0xFF000000, 10, 10);  // 15..25 both ways
  BEE_Layer top = MakeSolid(c, 0xFF000000, 10, 10);
  Set(top, BEE_StreamPosition, {30, 30});  // 25..35
  const BEE_Layer both[] = {below, top};
  struct Case {
    FloatPoint p;
    int32_t count;
    BEE_Layer layer;
    int32_t handle;
  } cases[] = {
      {{25.5, 25.5}, 2, top, BEE_HandleTopLeft},   // the corners meet: the top layer's handle
      {{35, 30}, 2, top, BEE_HandleRight},
      {{30.5, 30}, 2, top, BEE_HandleAnchor},
      {{20, 24}, 2, below, BEE_HandleBottom},
      {{18, 18}, 2, below, BEE_HandleNone},          // the body
      {{18, 18}, 1, below, BEE_HandleNone},
      {{30, 33}, 1, nullptr, BEE_HandleNone},        // top is not selected
      {{5, 5}, 2, nullptr, BEE_HandleNone},
  };
  for (const Case& k : cases) {
    BEE_Layer layer = nullptr;
    int32_t handle = 7;
    ASSERT_EQ(BEE_CompHitCheckSelection(c, Time{0, 30}, k.p, both, k.count, 1.0, &layer, &handle), 0);
    EXPECT_EQ(layer, k.layer) << k.p.x << "," << k.p.y;
    EXPECT_EQ(handle, k.handle) << k.p.x << "," << k.p.y;
  }
  BEE_Item other = MakeComp("other", 4, 4);
  BEE_Layer foreign = MakeSolid(other, 0xFF000000, 4, 4);
  BEE_Layer layer = below;
  int32_t handle = 3;
  EXPECT_EQ(BEE_CompHitCheckSelection(c, Time{0, 30}, FloatPoint{1, 1}, &foreign, 1, 1.0, &layer, &handle), 3);
  EXPECT_EQ(layer, nullptr);
  EXPECT_EQ(handle, BEE_HandleNone);
}

// A field render changes only its own rows, also when a layer needs whole
// frames (an effect without field support) or the frame is scaled.
TEST_F(Render, FieldRenderKeepsTheOtherField) {
  BEE_Item c = MakeComp("C", 4, 6);
  MakeSolid(c, 0xFFFF0000, 4, 6);
  BEE_Layer top = MakeSolid(c, 0xFF102030, 4, 6);
  ASSERT_EQ(BEE_CmdApplyEffect(top, EffectClass(FLT_MatchInvert), nullptr), 0);
  ASSERT_EQ(BEE_CmdSetLayerSwitch(top, BEE_SwitchFieldRule, 1), 0);
  for (uint16_t f : {1, 2}) {
    ASSERT_EQ(BEE_CmdSetResolution(c, f, f), 0);
    for (int32_t field : {1, 2}) {
      BM_World w = World(4, 6, 0xFFFFFFFF);
      BEE_RenderRequest rq = At(0, field);
      ASSERT_EQ(BEEp_RenderItemFrame(c, &rq, w), 0);
      for (int y = 0; y < 6; ++y) {
        const bool mine = (y % 2) == (field - 1);
        EXPECT_EQ(At(w, 1, y), mine ? (Px{255, 0xEF, 0xDF, 0xCF}) : (Px{255, 255, 255, 255}))
            << f << " " << field << " " << y;
      }
    }
  }
}

}  // namespace
