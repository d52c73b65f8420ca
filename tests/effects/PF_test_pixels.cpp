// Tables, blend, fill, iterate, premultiplication and colour conversions.
#include <gmock/gmock.h>

#include <functional>
#include <utility>

#include "../../effects/PF_internal.h"
#include "PF_test_fixture.h"

namespace tv::pf {
void BlendRowForTest(const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t n, uint32_t ratio, bool fast);
}

namespace tv::test {
namespace {

class PFPixels : public PFFixture {};

TEST_F(PFPixels, TablesHoldTheirAnchors) {
  const PF_ColourTables* t = PFp_GetColourTables();
  EXPECT_EQ(std::make_tuple(t->lumR[255], t->lumG[255], t->lumB[255]), std::make_tuple(77, 150, 28));  // sum 255
  EXPECT_EQ(std::make_tuple(t->lumR[128], t->lumG[128], t->lumB[128]), std::make_tuple(38, 76, 14));
  const int s1[][2] = {{0, 0}, {64, 48}, {128, 64}, {192, 48}, {255, 0}};
  for (auto [d, v] : s1) EXPECT_EQ(t->softLight1[d], v) << d;
  const int s2[][2] = {{0, 0}, {32, 58}, {64, 63}, {128, 52}, {192, 29}, {255, 0}};
  for (auto [d, v] : s2) EXPECT_EQ(t->softLight2[d], v) << d;
  for (int v = 0; v < 256; ++v) {
    EXPECT_NEAR(t->lumR[v], 0.30 * v, 1.0);
    EXPECT_NEAR(t->lumG[v], 0.59 * v, 1.0);
    EXPECT_NEAR(t->lumB[v], 0.11 * v, 1.0);
    EXPECT_NEAR(t->softLight1[v], v * (255 - v) / 255.0, 1.0);
    EXPECT_NEAR(t->softLight2[v], 255 * std::sqrt(v / 255.0) - v, 1.0);
  }
  // The tables the reference kernels read are the formulas, entry by entry,
  // and the arithmetic forms equal them.
  tv::pf::TableBracket tables;
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      ASSERT_EQ(tables.ops().M(a, b), M8(a, b));
      ASSERT_EQ(tables.ops().D(a, b), D8(a, b));
      ASSERT_EQ(tv::pf::ArithOps::M(a, b), M8(a, b));
      ASSERT_EQ(tv::pf::ArithOps::D(a, b), D8(a, b));
    }
}

TEST_F(PFPixels, BlendEndsCopyAndMiddleFollowsTheWeights) {
  Buffer a(5, 3), b(5, 3), d(5, 3);
  a.Random(1);
  b.Random(2);
  ASSERT_EQ(PF_Blend(nullptr, &a.world, &b.world, -5, &d.world), 0);
  EXPECT_EQ(d.bytes, a.bytes);
  ASSERT_EQ(PF_Blend(nullptr, &a.world, &b.world, 0x18000, &d.world), 0);
  EXPECT_EQ(d.bytes, b.bytes);
  // Half way: alpha 150; red weighted by the alphas, (200 x 200 + 10 x 100) / 300.
  a.Set(0, 0, 100, 10, 20, 30);
  b.Set(0, 0, 200, 200, 100, 0);
  ASSERT_EQ(PF_Blend(nullptr, &a.world, &b.world, 0x8000, &d.world), 0);
  EXPECT_EQ(std::make_tuple(d.px(0, 0)[0], d.px(0, 0)[1]), std::make_tuple(150, 137));
  // A transparent first source takes the second's colour.
  a.Set(1, 0, 0, 1, 2, 3);
  b.Set(1, 0, 50, 7, 8, 9);
  ASSERT_EQ(PF_Blend(nullptr, &a.world, &b.world, 0x4000, &d.world), 0);
  EXPECT_EQ(d.px(1, 0)[1], 7);
  EXPECT_TRUE(d.PaddingIntact());
  // Premultiplied: linear in every channel.
  ASSERT_EQ(PF_Blend_Premul(nullptr, &a.world, &b.world, 0x8000, &d.world), 0);
  EXPECT_EQ(d.px(1, 0)[0], (0 * 0x8000 + 50 * 0x8000 + 32768) >> 16);
}

TEST_F(PFPixels, BlendRefusesWorldsOfOtherSizes) {
  Buffer a(5, 3), b(4, 3), d(5, 3);
  EXPECT_EQ(PF_Blend(nullptr, &a.world, &b.world, 0x10000, &d.world), PF_ErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 6));
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("world sizes differ"));
  // Worlds with other row bytes blend row by row.
  Buffer c(5, 3, 12), e(5, 3, 4);
  c.Random(5);
  ASSERT_EQ(PF_Blend(nullptr, &c.world, &a.world, 0, &e.world), 0);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(e.px(0, y), c.px(0, y), 20));
  EXPECT_TRUE(e.PaddingIntact());
}

TEST_F(PFPixels, FastBlendEqualsReference) {
  std::mt19937 gen(77);
  std::vector<uint8_t> p1(4 * 65536), p2(4 * 65536), r(4 * 65536), f(4 * 65536);
  // Every pair of alphas, with random colours, at several ratios.
  for (uint32_t i = 0; i < 65536; ++i) {
    p1[4 * i] = static_cast<uint8_t>(i >> 8), p2[4 * i] = static_cast<uint8_t>(i);
    for (int c = 1; c < 4; ++c) p1[4 * i + c] = static_cast<uint8_t>(gen()), p2[4 * i + c] = static_cast<uint8_t>(gen());
  }
  p1[4 * 5 + 1] = 255, p2[4 * 5 + 1] = 255;
  for (uint32_t ratio : {1u, 0x4000u, 0x8000u, 0x8001u, 0xFFFFu, 12345u}) {
    tv::pf::BlendRowForTest(p1.data(), p2.data(), r.data(), 65536, ratio, false);
    tv::pf::BlendRowForTest(p1.data(), p2.data(), f.data(), 65536, ratio, true);
    ASSERT_EQ(r, f) << ratio;
  }
}

TEST_F(PFPixels, FillOrdersAndClipsItsRectangle) {
  Buffer a(6, 4), b(6, 4);
  const PF_Pixel red{255, 255, 0, 0};
  const Rect ordered{1, 2, 3, 5}, reversed{3, 5, 1, 2};
  ASSERT_EQ(PF_Fill(nullptr, &red, &ordered, &a.world), 0);
  ASSERT_EQ(PF_Fill(nullptr, &red, &reversed, &b.world), 0);
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_EQ(std::make_tuple(a.px(2, 1)[1], a.px(5, 1)[1]), std::make_tuple(255, 0));
  // Outside the world: clipped, the padding untouched.
  const Rect huge{-100, -100, 100, 100};
  ASSERT_EQ(PF_Fill(nullptr, &red, &huge, &a.world), 0);
  EXPECT_TRUE(a.PaddingIntact());
  EXPECT_EQ(a.px(5, 3)[0], 255);
  // Null colour writes zeros over the whole world.
  ASSERT_EQ(PF_Fill(nullptr, nullptr, nullptr, &a.world), 0);
  EXPECT_EQ(a.px(5, 3)[0], 0);
  const Rect empty{2, 2, 2, 4};
  ASSERT_EQ(PF_Fill(nullptr, &red, &empty, &a.world), 0);
  EXPECT_EQ(a.px(2, 2)[0], 0);
  EXPECT_EQ(PF_Fill(nullptr, &red, nullptr, nullptr), PF_ErrBadParam);
}

struct Visits {
  int count = 0;
  int stopAt = -1;
  std::vector<std::pair<int, int>> where;
  bool sawSource = true;
};
ErrorCode Visit(void* refcon, int32_t x, int32_t y, PF_Pixel* in, PF_Pixel* out) {
  auto* v = static_cast<Visits*>(refcon);
  v->where.emplace_back(x, y);
  if (!in) v->sawSource = false;
  out->red = 77;
  return ++v->count == v->stopAt ? 1234 : 0;
}

TEST_F(PFPixels, IterateClipsTheAreaAndStopsAtTheFirstFailure) {
  Buffer src(4, 4), dst(6, 3);
  Visits v;
  ASSERT_EQ(PF_Iterate(nullptr, 0, 1, &src.world, nullptr, &v, &Visit, &dst.world), 0);
  EXPECT_EQ(v.count, 4 * 3);  // clipped to both worlds
  EXPECT_EQ(v.where.front(), std::make_pair(0, 0));
  EXPECT_EQ(v.where[1], std::make_pair(1, 0));  // row by row
  EXPECT_TRUE(dst.PaddingIntact());
  Visits w;
  const Rect area{-5, -5, 2, 100};  // top, left, bottom, right
  ASSERT_EQ(PF_Iterate(nullptr, 0, 1, nullptr, &area, &w, &Visit, &dst.world), 0);
  EXPECT_EQ(w.count, 2 * 6);
  EXPECT_FALSE(w.sawSource);
  Visits none;
  const Rect beyond{0, 10, 3, 12}, before{0, 0, 0, 3};
  ASSERT_EQ(PF_Iterate(nullptr, 0, 1, nullptr, &beyond, &none, &Visit, &dst.world), 0);
  ASSERT_EQ(PF_Iterate(nullptr, 0, 1, nullptr, &before, &none, &Visit, &dst.world), 0);
  EXPECT_EQ(none.count, 0);
  Visits stop;
  stop.stopAt = 5;
  EXPECT_EQ(PF_Iterate(nullptr, 0, 1, nullptr, nullptr, &stop, &Visit, &dst.world), 1234);
  EXPECT_EQ(stop.count, 5);
  EXPECT_EQ(PF_Iterate(nullptr, 0, 1, nullptr, nullptr, &stop, nullptr, &dst.world), PF_ErrBadParam);
  PFWorld noData = src.world;
  noData.data = nullptr;
  EXPECT_EQ(PF_Iterate(nullptr, 0, 1, &noData, nullptr, &stop, &Visit, &dst.world), PF_ErrBadParam);
  // Origin: the source is read shifted.
  Visits o;
  const Point origin{1, 2};  // v, h
  ASSERT_EQ(PF_IterateOrigin(nullptr, 0, 1, &src.world, nullptr, &origin, &o, &Visit, &dst.world), 0);
  EXPECT_EQ(o.count, 2 * 3);  // source rows 1..3 for dst rows 0..2, columns 2..3 for dst 0..1
  EXPECT_TRUE(o.sawSource);
  Visits nc;
  ASSERT_EQ(PF_IterateOriginNoClip(nullptr, 0, 1, &src.world, nullptr, &origin, &nc, &Visit, &dst.world), 0);
  EXPECT_EQ(nc.count, 6 * 3);
  EXPECT_FALSE(nc.sawSource);
}

ErrorCode Abort(PF_EffectRef, int32_t current, int32_t) { return current >= 2 ? PF_ErrInterrupted : 0; }

TEST_F(PFPixels, ProgressCanAbortAndLookupTablesMapChannels) {
  Buffer dst(3, 4);
  dst.Random(9);
  Visits v;
  PFp_SetProgressProc(&Abort);
  EXPECT_EQ(PFp_GetProgressProc(), &Abort);
  EXPECT_EQ(PF_Iterate(nullptr, 0, 4, nullptr, nullptr, &v, &Visit, &dst.world), PF_ErrInterrupted);
  PFp_SetProgressProc(nullptr);
  EXPECT_EQ(PFp_GetProgressProc(), nullptr);
  EXPECT_EQ(v.count, 2 * 3);
  uint8_t invert[256];
  for (int i = 0; i < 256; ++i) invert[i] = static_cast<uint8_t>(255 - i);
  Buffer before = dst;
  ASSERT_EQ(PF_IterateLUT(nullptr, 0, 1, nullptr, nullptr, nullptr, invert, nullptr, nullptr, &dst.world), 0);
  EXPECT_EQ(std::make_tuple(dst.px(1, 1)[0], dst.px(1, 1)[1]),
            std::make_tuple(before.px(1, 1)[0], 255 - before.px(1, 1)[1]));
  int calls = 0;
  auto count = [](void* refcon, int32_t, int32_t) -> ErrorCode {
    ++*static_cast<int*>(refcon);
    return 0;
  };
  ASSERT_EQ(PF_IterateIndexed(nullptr, 7, &calls, count), 0);
  EXPECT_EQ(calls, 7);
}

TEST_F(PFPixels, MatteKernelsEqualTheirReferencesOverAllPairs) {
  // Every (alpha, value) pair in both channel orders.
  std::vector<uint8_t> argb(4 * 65536), bgra(4 * 65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    const uint8_t a = static_cast<uint8_t>(i >> 8), v = static_cast<uint8_t>(i);
    argb[4 * i] = a, argb[4 * i + 1] = v, argb[4 * i + 2] = static_cast<uint8_t>(255 - v), argb[4 * i + 3] = v;
    bgra[4 * i + 3] = a, bgra[4 * i] = v, bgra[4 * i + 1] = static_cast<uint8_t>(255 - v), bgra[4 * i + 2] = v;
  }
  using Fn = ErrorCode (*)(PF_EffectRef, int32_t, uint8_t*);
  const std::pair<Fn, const std::vector<uint8_t>*> cases[] = {{&PF_BlackMatteARGB, &argb},
                                                              {&PF_DeBlackMatteARGB, &argb},
                                                              {&PF_BlackMatteBGRA, &bgra},
                                                              {&PF_DeBlackMatteBGRA, &bgra}};
  for (auto [fn, pixels] : cases) {
    std::vector<uint8_t> r = *pixels, f = *pixels;
    PFp_UseReferenceKernels(1);
    ASSERT_EQ(fn(nullptr, 65536, r.data()), 0);
    PFp_UseReferenceKernels(0);
    ASSERT_EQ(fn(nullptr, 65536, f.data()), 0);
    ASSERT_EQ(r, f);
  }
  // Alpha 0 becomes all zeros, alpha 255 stays.
  std::vector<uint8_t> m = argb;
  ASSERT_EQ(PF_BlackMatteARGB(nullptr, 65536, m.data()), 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(m[4 * i + 1], 0);
  for (int i = 255 * 256; i < 65536; ++i) EXPECT_EQ(m[4 * i + 1], argb[4 * i + 1]);
  EXPECT_EQ(m[4 * (128 * 256 + 200) + 1], M8(128, 200));
}

TEST_F(PFPixels, PremultiplyRoundTrips) {
  Buffer w(256, 2);
  for (int x = 0; x < 256; ++x) {
    w.Set(x, 0, 255, static_cast<uint8_t>(x), 3, 250);
    w.Set(x, 1, 0, static_cast<uint8_t>(x), 3, 250);
  }
  Buffer before = w;
  for (int ref = 0; ref < 2; ++ref) {
    PFp_UseReferenceKernels(ref);
    w.bytes = before.bytes;
    ASSERT_EQ(PF_Premul(nullptr, 1, &w.world), 0);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(0, std::memcmp(w.px(x, 0), before.px(x, 0), 4));
    for (int x = 0; x < 256; ++x) EXPECT_EQ(w.px(x, 1)[1], 0);
    ASSERT_EQ(PF_Premul(nullptr, 0, &w.world), 0);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(0, std::memcmp(w.px(x, 0), before.px(x, 0), 4));
    EXPECT_TRUE(w.PaddingIntact());
  }
  // Against a colour: a transparent pixel takes the matte; back again.
  Buffer c(2, 1);
  c.Set(0, 0, 0, 9, 9, 9);
  c.Set(1, 0, 255, 10, 20, 30);
  const PF_Pixel matte{255, 200, 100, 50};
  ASSERT_EQ(PF_PremulColor(nullptr, 1, &matte, &c.world), 0);
  EXPECT_EQ(std::make_tuple(c.px(0, 0)[1], c.px(0, 0)[3], c.px(1, 0)[1]), std::make_tuple(200, 50, 10));
  ASSERT_EQ(PF_PremulColor(nullptr, 0, &matte, &c.world), 0);
  EXPECT_EQ(c.px(1, 0)[2], 20);
  // BGRA re-matting: black-matted to colour-matted.
  uint8_t bgra[8] = {0, 0, 0, 0, 10, 10, 10, 255};
  ASSERT_EQ(PF_MatteBlackToMatteColorBGRA(nullptr, 2, &matte, bgra), 0);
  EXPECT_EQ(std::make_tuple(bgra[0], bgra[2], bgra[4]), std::make_tuple(50, 200, 10));
  EXPECT_EQ(PF_BlackMatteARGB(nullptr, -1, bgra), PF_ErrBadParam);
}

TEST_F(PFPixels, ColourConversions) {
  const PF_Pixel red{255, 255, 0, 0}, grey{255, 128, 128, 128};
  Fixed hls[3];
  ASSERT_EQ(PF_RGBtoHLS_Straight(nullptr, &red, hls), 0);
  EXPECT_EQ(std::make_tuple(hls[0], hls[1], hls[2]), std::make_tuple(0, 0x8000, 0x10000));
  PF_Pixel back{255, 0, 0, 0};
  ASSERT_EQ(PF_HLStoRGB_Straight(nullptr, hls, &back), 0);
  EXPECT_EQ(std::make_tuple(back.red, back.green), std::make_tuple(255, 0));
  int32_t v = 0;
  ASSERT_EQ(PF_Luminance_Straight(nullptr, &grey, &v), 0);
  EXPECT_EQ(v, 128 * 100);
  const PF_Pixel halfGrey{128, 64, 64, 64};
  ASSERT_EQ(PF_Luminance_Premul(nullptr, &halfGrey, &v), 0);
  EXPECT_EQ(v, 100 * D8(128, 64));
  ASSERT_EQ(PF_Saturation_Straight(nullptr, &grey, &v), 0);
  EXPECT_EQ(v, 0);
  const PF_Pixel green{255, 0, 255, 0};
  ASSERT_EQ(PF_Hue_Straight(nullptr, &green, &v), 0);
  EXPECT_EQ(v, 120 << 16);
  Fixed yiq[3];
  ASSERT_EQ(PF_RGBtoYIQ_Straight(nullptr, &grey, yiq), 0);
  EXPECT_NEAR(yiq[1], 0, 2);
  ASSERT_EQ(PF_YIQtoRGB_Straight(nullptr, yiq, &back), 0);
  EXPECT_NEAR(back.red, 128, 1);
  EXPECT_EQ(PF_LuminanceFast(&red), 77);
  EXPECT_EQ(PF_RGBtoHLS_Straight(nullptr, nullptr, hls), PF_ErrBadParam);
}

TEST_F(PFPixels, GuessAlphaFromAMattedPicture) {
  Buffer w(3, 1);
  w.Set(0, 0, 0, 0, 0, 0);
  w.Set(1, 0, 0, 128, 64, 0);
  w.Set(2, 0, 0, 255, 255, 255);
  ASSERT_EQ(PF_GuessAlpha(nullptr, nullptr, &w.world), 0);
  EXPECT_EQ(std::make_tuple(w.px(0, 0)[0], w.px(1, 0)[0], w.px(2, 0)[0]), std::make_tuple(0, 128, 255));
  int32_t guess = -1;
  PF_Pixel matte{};
  ASSERT_EQ(PF_GuessAlphaMessage(nullptr, &w.world, &guess, &matte), 0);
  EXPECT_EQ(guess, PF_Guess_PremulBlack);
  w.Set(0, 0, 100, 200, 0, 0);
  ASSERT_EQ(PF_GuessAlphaMessage(nullptr, &w.world, &guess, &matte), 0);
  EXPECT_EQ(guess, PF_Guess_Straight);
}

// A world of width or height 0 is valid and empty: every routine accepts it,
// writes nothing and reports nothing, and a sample of it is transparent.
TEST_F(PFPixels, EmptyWorldsAreAcceptedAndLeftAlone) {
  for (auto [w, h] : {std::pair{0, 3}, std::pair{3, 0}}) {
    Buffer e(w, h), f(w, h), g(w, h), full(2, 2);
    full.Random(5);
    const Buffer fullBefore = full;
    const PF_Pixel red{255, 255, 0, 0};
    PF_CompositeMode normal{PF_Xfer_Normal, 0, 255, 0, {}};
    FloatMatrix id;
    M_SetIdentityMatrix(&id);
    const int32_t k[1] = {1};
    uint8_t plane[4] = {};
    PF_Planes planes{{plane, plane, plane, plane}, {w, w, w, w}};
    PF_Wireframe wire = nullptr;
    ASSERT_EQ(PF_AllocWireframe(4, &wire), 0);
    const LRect bounds{0, 0, 4, 4};
    ASSERT_EQ(PF_GenerateWireframe(&bounds, wire), 0);
    Visits visits;
    const std::pair<const char*, std::function<ErrorCode()>> calls[] = {
        {"fill", [&] { return PF_Fill(nullptr, &red, nullptr, &e.world); }},
        {"blend", [&] { return PF_Blend(nullptr, &f.world, &g.world, 0x8000, &e.world); }},
        {"iterate", [&] { return PF_Iterate(nullptr, 0, 1, &f.world, nullptr, &visits, &Visit, &e.world); }},
        {"premultiply", [&] { return PF_Premul(nullptr, 1, &e.world); }},
        {"premultiply colour", [&] { return PF_PremulColor(nullptr, 1, &red, &e.world); }},
        {"guess alpha", [&] { return PF_GuessAlpha(nullptr, &red, &e.world); }},
        {"transfer", [&] { return PF_TransferRect(nullptr, 1, 0, 0, nullptr, &f.world, &normal, nullptr, 0, 0, &e.world); }},
        {"transform into", [&] { return PF_TransformWorld(nullptr, 1, 0, 0, &full.world, &normal, nullptr, &id, 1, 0, nullptr, &e.world); }},
        {"transform from", [&] { return PF_TransformWorld(nullptr, 1, 0, 0, &e.world, &normal, nullptr, &id, 1, 0, nullptr, &full.world); }},
        {"draft copy", [&] { return PF_CopyBits_Draft(nullptr, &f.world, &e.world, nullptr, nullptr); }},
        {"best copy", [&] { return PF_CopyBits_HQ_Straight(nullptr, &f.world, &e.world, nullptr, nullptr); }},
        {"copy from", [&] { return PF_CopyBits_HQ_Premul(nullptr, &e.world, &full.world, nullptr, nullptr); }},
        {"convolve", [&] { return PF_Convolve(nullptr, &f.world, nullptr, 0, 1, k, k, k, k, &e.world); }},
        {"blur", [&] { return PF_FastBlur_Straight(nullptr, 3.0, PF_Blur_RepeatEdges, 1, &e.world); }},
        {"channel copy", [&] { return PF_ChannelCopy(nullptr, &f.world, 1, 2, &e.world); }},
        {"extract planes", [&] { return PF_ExtractPlanes(nullptr, &e.world, &planes); }},
        {"insert planes", [&] { return PF_InsertPlanes(nullptr, &planes, &e.world); }},
        {"paint spot", [&] { return PF_PaintSpot(nullptr, 0, 0, 2 << 16, &red, 255, &e.world); }},
        {"wireframe", [&] { return PF_DrawWireframe(wire, &red, &e.world); }},
    };
    for (const auto& [name, call] : calls) {
      EXPECT_EQ(call(), 0) << name << " " << w << "x" << h;
      EXPECT_TRUE(e.PaddingIntact()) << name;
    }
    EXPECT_EQ(full.bytes, fullBefore.bytes);
    EXPECT_EQ(visits.count, 0);
    PF_DisposeWireframe(wire);
    // The modes that act outside the source see an empty source as transparent everywhere.
    PF_CompositeMode stencil{PF_Xfer_AlphaStencil, 0, 255, 0, {}};
    FloatMatrix scaled = id;
    scaled.m[0] = 2.5, scaled.m[6] = 0.25;
    for (const FloatMatrix& m : {id, scaled}) {
      Buffer d(2, 2);
      d.Random(6);
      ASSERT_EQ(PF_TransformWorld(nullptr, 1, 0, 0, &e.world, &stencil, nullptr, &m, 1, 0, nullptr, &d.world), 0);
      for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(d.px(i % 2, i / 2)[0], 0) << i;
    }
    // Repeated edges of a world without pixels: there is no edge, the sample is transparent.
    PF_SampleParams p{0x8000, 0x8000, 0, &e.world, PF_Edge_Repeat, {}};
    PF_Pixel out[2] = {red, red};
    EXPECT_EQ(PF_SubpixelSample_Straight(nullptr, 0, 0, &p, &out[0]), 0);
    EXPECT_EQ(PFp_SampleRow(nullptr, PF_Sample_Area_Premul, 0, 0, 0x10000, 0, 2, &p, out), 0);
    for (const PF_Pixel& o : out) EXPECT_EQ(o.alpha | o.red | o.green | o.blue, 0);
    EXPECT_TRUE(rec.reports.empty());
  }
}

}  // namespace
}  // namespace tv::test
