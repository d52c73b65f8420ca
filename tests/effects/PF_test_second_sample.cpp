// Samplers and scaled world copies.
#include <gmock/gmock.h>

#include "../../effects/PF_internal.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFSample : public PFFixture {};

uint32_t Word(const PF_Pixel& p) {
  uint32_t v;
  std::memcpy(&v, &p, 4);
  return v;
}
// {alpha, red, green, blue} of a pixel.
std::vector<int> Argb(const PF_Pixel& p) { return {p.alpha, p.red, p.green, p.blue}; }
PF_SampleParams Params(const Buffer& b, Fixed rx = 0, Fixed ry = 0) {
  PF_SampleParams p{};
  p.source = &b.world;
  p.xRadius = rx;
  p.yRadius = ry;
  return p;
}
constexpr Fixed F(double v) { return static_cast<Fixed>(v * 65536.0); }

TEST_F(PFSample, StraightBilinearWeightsColourByAlpha) {
  Buffer b(2, 1);
  b.Set(0, 0, 255, 255, 0, 0);
  b.Set(1, 0, 0, 0, 255, 0);  // transparent green must not tint the result
  const PF_SampleParams p = Params(b);
  PF_Pixel out{};
  ASSERT_EQ(PF_SubpixelSample_Straight(nullptr, F(0.5), 0, &p, &out), 0);
  EXPECT_EQ(Argb(out), (std::vector<int>{128, 255, 0, 0}));
  ASSERT_EQ(PF_SubpixelSample_Premul(nullptr, F(0.5), 0, &p, &out), 0);
  EXPECT_EQ(out.green, 128);  // premultiplied pixels are averaged as they are
}

TEST_F(PFSample, FastRowsEqualTheReferenceBitForBit) {
  std::mt19937 gen(99);
  for (int round = 0; round < 24; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(gen() % 23), h = 1 + static_cast<int32_t>(gen() % 17);
    Buffer b(w, h, static_cast<int32_t>(gen() % 9));
    b.Random(gen());
    // Some flat areas so that the equal-neighbour path is taken too.
    for (int32_t y = 0; y < h; y += 2)
      for (int32_t x = 0; x < w / 2; ++x) b.Set(x, y, 200, 1, 2, 3);
    for (int32_t kind = PF_Sample_NN; kind <= PF_Sample_Area_Premul; ++kind) {
      const Fixed rx = static_cast<Fixed>(gen() % (6 << 16)), ry = static_cast<Fixed>(gen() % (6 << 16));
      const PF_SampleParams p = Params(b, rx, ry);
      const Fixed x = static_cast<Fixed>(gen() % ((w + 8) << 16)) - (4 << 16);
      const Fixed y = static_cast<Fixed>(gen() % ((h + 8) << 16)) - (4 << 16);
      // Steps with and without fractions, including whole pixels.
      const Fixed dx = (round % 3 == 0) ? 0x10000 : static_cast<Fixed>(gen() % 0x30000) - 0x18000;
      const Fixed dy = (round % 4 == 0) ? 0 : static_cast<Fixed>(gen() % 0x20000) - 0x10000;
      const int32_t count = 40;
      std::vector<PF_Pixel> ref(count), fast(count);
      tv::pf::SampleRowRef(kind, p, x, y, dx, dy, count, ref.data());
      tv::pf::SampleRowFast(kind, p, x, y, dx, dy, count, fast.data());
      for (int32_t i = 0; i < count; ++i)
        ASSERT_EQ(Word(ref[i]), Word(fast[i])) << "kind " << kind << " round " << round << " i " << i;
    }
  }
  // Steps that run the position past the 16.16 range read transparent.
  Buffer b = Noise(4, 4, 3);
  const PF_SampleParams p = Params(b);
  std::vector<PF_Pixel> out(3);
  ASSERT_EQ(PFp_SampleRow(nullptr, PF_Sample_NN, 0x7FFF0000, 0, 0x7FFF0000, 0, 3, &p, out.data()), 0);
  for (const PF_Pixel& px : out) EXPECT_EQ(Word(px), 0u);
}

TEST_F(PFSample, BadArgumentsAreReported) {
  Buffer b(2, 2);
  PF_SampleParams p = Params(b);
  PF_Pixel out{9, 9, 9, 9};
  EXPECT_EQ(PF_SubpixelSample_Straight(nullptr, 0, 0, nullptr, &out), 516);
  EXPECT_EQ(Word(out), 0u);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 1));
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("bad parameter to pixel routine 1"));
  p.edgeMode = 7;
  EXPECT_EQ(PF_AreaSample_Premul(nullptr, 0, 0, &p, &out), 516);
  p.edgeMode = 0;
  p.source = nullptr;
  EXPECT_EQ(PF_NNSample(nullptr, 0, 0, &p, &out), 516);
  p.source = &b.world;
  EXPECT_EQ(PFp_SampleRow(nullptr, 9, 0, 0, 0, 0, 1, &p, &out), 516);
  EXPECT_EQ(PFp_SampleRow(nullptr, 0, 0, 0, 0, 0, -1, &p, &out), 516);
  EXPECT_EQ(rec.reports.size(), 5u);
}

// ---- Copies ----------------------------------------------------------------------------

using CopyFn = ErrorCode (*)(void*, const PFWorld*, PFWorld*, const Rect*, const Rect*);
constexpr CopyFn kCopies[] = {&PF_CopyBits_Draft, &PF_CopyBits_HQ_Straight, &PF_CopyBits_HQ_Premul};

TEST_F(PFSample, BestCopyAtTwoToOneAveragesEachBlock) {
  Buffer s(4, 2), d(2, 1);
  s.Set(0, 0, 255, 10, 20, 30);
  s.Set(1, 0, 255, 20, 30, 40);
  s.Set(0, 1, 255, 30, 40, 50);
  s.Set(1, 1, 255, 41, 50, 60);
  s.Set(2, 0, 255, 255, 0, 0);
  s.Set(3, 0, 0, 0, 0, 0);  // the right block: one opaque red, three transparent
  // Left: (10 + 20 + 30 + 41) / 4 = 25.25 ...; right: alpha 255 / 4 = 63.75,
  // premultiplied red averages like alpha, straight red keeps its colour.
  const auto both = [&] { return std::vector<int>(d.px(0, 0), d.px(0, 0) + 8); };
  ASSERT_EQ(PF_CopyBits_HQ_Premul(nullptr, &s.world, &d.world, nullptr, nullptr), 0);
  EXPECT_EQ(both(), (std::vector<int>{255, 25, 35, 45, 64, 64, 0, 0}));
  ASSERT_EQ(PF_WorldCopy_HQ(nullptr, &s.world, &d.world), 0);
  EXPECT_EQ(both(), (std::vector<int>{255, 25, 35, 45, 64, 255, 0, 0}));
  EXPECT_TRUE(d.PaddingIntact());
}

TEST_F(PFSample, CopiesRefuseRectanglesOutsideAndSharedPixels) {
  Buffer s(4, 4), d(4, 4);
  const Rect outside{0, 0, 5, 4}, reversed{2, 2, 1, 4}, empty{1, 1, 1, 3};
  EXPECT_EQ(PF_CopyBits_HQ_Premul(nullptr, &s.world, &d.world, &outside, nullptr), 516);
  EXPECT_EQ(PF_CopyBits_Draft(nullptr, &s.world, &d.world, nullptr, &reversed), 516);
  EXPECT_EQ(PF_CopyBits_Draft(nullptr, &s.world, &s.world, nullptr, nullptr), 516);
  EXPECT_EQ(PF_CopyBits_Draft(nullptr, nullptr, &d.world, nullptr, nullptr), 516);
  ASSERT_EQ(rec.reports.size(), 4u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 8));
  EXPECT_EQ(PF_CopyBits_HQ_Straight(nullptr, &s.world, &d.world, &empty, nullptr), 0);
}

TEST_F(PFSample, HalvingFastPathEqualsTheGeneralWeights) {
  std::mt19937 gen(17);
  for (int round = 0; round < 12; ++round) {
    const int32_t dw = 1 + gen() % 30, dh = 1 + gen() % 20;
    Buffer s = Noise(2 * dw + 3, 2 * dh + 1, gen()), fast(dw, dh), general(dw, dh);
    if (round % 2)  // many transparent and nearly transparent pixels
      s.SetAlpha([&](int32_t, int32_t) { return gen() % 4; });
    const Rect sr{1, 3, static_cast<int16_t>(1 + 2 * dh), static_cast<int16_t>(3 + 2 * dw)};
    for (CopyFn fn : {kCopies[1], kCopies[2]}) {
      ASSERT_EQ(fn(nullptr, &s.world, &fast.world, &sr, nullptr), 0);
      PFp_UseReferenceKernels(1);
      ASSERT_EQ(fn(nullptr, &s.world, &general.world, &sr, nullptr), 0);
      PFp_UseReferenceKernels(0);
      ASSERT_EQ(fast.bytes, general.bytes) << round;
    }
  }
}

}  // namespace
}  // namespace tv::test
