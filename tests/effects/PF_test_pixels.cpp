// Blend, iterate, colour conversions and empty worlds.
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

TEST_F(PFPixels, BlendFillAndMatteRefuseBadArguments) {
  Buffer a(5, 3), b(4, 3), d(5, 3);
  EXPECT_EQ(PF_Blend(nullptr, &a.world, &b.world, 0x10000, &d.world), PF_ErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 6));
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("world sizes differ"));
  EXPECT_EQ(PF_Fill(nullptr, nullptr, nullptr, nullptr), PF_ErrBadParam);
  uint8_t row[4] = {};
  EXPECT_EQ(PF_BlackMatteARGB(nullptr, -1, row), PF_ErrBadParam);
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
  Buffer dst = Noise(3, 4, 9);
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
    Buffer e(w, h), f(w, h), g(w, h), full = Noise(2, 2, 5);
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
      Buffer d = Noise(2, 2, 6);
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
