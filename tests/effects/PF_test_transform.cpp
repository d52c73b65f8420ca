// Tests of the layer transform: placement, sampling, motion blur, modes and
// mattes through the transform, fields, progress, robustness, and the fast
// kernels against the reference ones.
#include <gmock/gmock.h>

#include <cmath>
#include <random>
#include <vector>

#include "PF_test_fixture.h"
#include "PF_internal.h"

namespace tv::test {
namespace {

PF_CompositeMode Mode(int32_t mode, uint8_t opacity = 255, uint32_t seed = 0) {
  PF_CompositeMode m{};
  m.mode = mode;
  m.opacity = opacity;
  m.seed = seed;
  return m;
}
// Random pixels with large opaque and transparent regions, as layers have.
void Layer(Buffer& b, uint32_t seed) {
  std::mt19937 gen(seed);
  for (int32_t y = 0; y < b.world.height; ++y)
    for (int32_t x = 0; x < b.world.width; ++x) {
      uint32_t kind = gen() % 8;
      uint8_t a = kind < 4 ? 255 : (kind == 4 ? 0 : static_cast<uint8_t>(gen()));
      b.Set(x, y, a, static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()));
    }
}

class PFTransform : public PFFixture {
 protected:
  void TearDown() override {
    PFp_SetProgressProc(nullptr);
    PFFixture::TearDown();
  }
  ErrorCode Run(int32_t quality, const Buffer& src, const PF_CompositeMode& m, const std::vector<FloatMatrix>& ms,
                Buffer& dst, int32_t field = 0, const Rect* rect = nullptr, const PF_MaskWorld* mask = nullptr) {
    return PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, field, &src.world, &m, mask, ms.data(),
                             static_cast<int32_t>(ms.size()), 0, rect, &dst.world);
  }
  // The same call with the reference and the fast kernels must give the same bytes.
  void ExpectKernelsAgree(int32_t quality, const Buffer& src, const PF_CompositeMode& m,
                          const std::vector<FloatMatrix>& ms, const Buffer& start) {
    Buffer fast = start, ref = start;
    PFp_UseReferenceKernels(1);
    ASSERT_EQ(Run(quality, src, m, ms, ref), 0);
    PFp_UseReferenceKernels(0);
    ASSERT_EQ(Run(quality, src, m, ms, fast), 0);
    EXPECT_TRUE(ref.bytes == fast.bytes);
    EXPECT_TRUE(fast.PaddingIntact());
  }
};

TEST_F(PFTransform, IdentityAndWholeTranslationsEqualTransferRect) {
  Buffer src(23, 17);
  Layer(src, 1);
  // The last matrix is the identity only to within rounding: it takes the
  // sampling road and still reproduces the source exactly.
  FloatMatrix nearly = Identity();
  nearly.m[0] = 1 + 1e-12;
  nearly.m[4] = 1 - 1e-12;
  const std::pair<FloatMatrix, std::pair<int, int>> cases[] = {
      {Translate(0, 0), {0, 0}}, {Translate(7, 3), {7, 3}}, {Translate(-3, -5), {-3, -5}},
      {Translate(30, 2), {30, 2}}, {nearly, {0, 0}}};
  for (const auto& [matrix, at] : cases)
    for (int32_t quality : {0, 1}) {
      Buffer a(40, 30), b(40, 30);
      a.Random(9), b.Random(9);
      const PF_CompositeMode m = Mode(PF_Xfer_Normal, 200);
      ASSERT_EQ(Run(quality, src, m, {matrix}, a), 0);
      ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &m, nullptr, at.first, at.second, &b.world), 0);
      EXPECT_TRUE(a.bytes == b.bytes) << at.first << "," << at.second << " q" << quality;
    }
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PFTransform, DestinationRectangleClips) {
  Buffer src(10, 10);
  Layer(src, 2);
  const Rect r{4, 3, 9, 12};  // top, left, bottom, right
  const PF_CompositeMode m = Mode(PF_Xfer_Normal);
  for (const FloatMatrix& mx : {Translate(2, 2), Translate(2.5, 2)}) {
    Buffer a(20, 20), b(20, 20);
    ASSERT_EQ(Run(1, src, m, {mx}, a, 0, &r), 0);
    ASSERT_EQ(Run(1, src, m, {mx}, b), 0);
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 20; ++x) {
        const bool inside = y >= 4 && y < 9 && x >= 3 && x < 12;
        static const uint8_t kClear[4] = {0, 0, 0, 0};
        const uint8_t* want = inside ? b.px(x, y) : kClear;
        EXPECT_EQ(std::memcmp(a.px(x, y), want, 4), 0) << x << "," << y;
      }
  }
}

TEST_F(PFTransform, QuarterTurnOfAPattern) {
  Buffer src(7, 5);
  Layer(src, 3);
  FloatMatrix quarter = Identity();  // (x, y) -> (5 - y, x)
  quarter.m[0] = 0, quarter.m[3] = -1, quarter.m[6] = 5;
  quarter.m[1] = 1, quarter.m[4] = 0, quarter.m[7] = 0;
  for (int32_t quality : {0, 1}) {
    Buffer dst(5, 7);
    ASSERT_EQ(Run(quality, src, Mode(PF_Xfer_Normal), {quarter}, dst), 0);
    for (int32_t j = 0; j < 5; ++j)
      for (int32_t i = 0; i < 7; ++i) {
        // A transparent source pixel leaves the (transparent) destination alone.
        const uint8_t clear[4] = {0, 0, 0, 0};
        const uint8_t* want = src.px(i, j)[0] ? src.px(i, j) : clear;
        EXPECT_EQ(std::memcmp(dst.px(4 - j, i), want, 4), 0) << i << "," << j;
      }
    EXPECT_TRUE(dst.PaddingIntact());
  }
}

TEST_F(PFTransform, DraftSamplesNearestBestInterpolates) {
  Buffer src(2, 1);
  src.Set(0, 0, 255, 0, 0, 0);
  src.Set(1, 0, 255, 255, 255, 255);
  const FloatMatrix twice = Similar(2, 0, 0, 0);
  Buffer draft(4, 2), best(4, 2);
  ASSERT_EQ(Run(0, src, Mode(PF_Xfer_Normal), {twice}, draft), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {twice}, best), 0);
  // {alpha, red} of each column of rows 0 and 1. Draft: columns 0, 1 take
  // pixel 0 and columns 2, 3 pixel 1. Best: column 0 samples at -0.25 (a
  // quarter of transparent), column 1 at 0.25; rows at -0.25 and 0.25 too:
  // each row takes a quarter of transparency (weight 192 x 192 of 65536 opaque).
  const auto row = [](Buffer& b, int32_t y) {
    std::vector<int> v;
    for (int32_t x = 0; x < 4; ++x) v.insert(v.end(), {b.px(x, y)[0], b.px(x, y)[1]});
    return v;
  };
  EXPECT_EQ(row(draft, 1), (std::vector<int>{255, 0, 255, 0, 255, 255, 255, 255}));
  EXPECT_EQ(row(best, 0), (std::vector<int>{143, 0, 191, 64, 191, 191, 143, 255}));
  EXPECT_EQ(row(best, 1), row(best, 0));
}

TEST_F(PFTransform, MotionBlurOfALineMovingSixteenPixels) {
  Buffer src(20, 5);
  for (int32_t y = 0; y < 5; ++y) src.Set(2, y, 255, 255, 200, 100);
  std::vector<FloatMatrix> ms;
  for (int k = 0; k <= 16; ++k) ms.push_back(Translate(10 + k, 0));  // 17 matrices one pixel apart
  for (int32_t quality : {0, 1}) {
    Buffer dst(40, 5);
    ASSERT_EQ(Run(quality, src, Mode(PF_Xfer_Normal), ms, dst), 0);
    // Samples k = 0 .. 15 at x - 10 - k: the line shows in columns 12 to 27.
    const uint8_t line[4] = {255 >> 4, 255, 200, 100}, clear[4] = {0, 0, 0, 0};
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 40; ++x)
        EXPECT_EQ(std::memcmp(dst.px(x, y), x >= 12 && x <= 27 ? line : clear, 4), 0) << x;
  }
  // An opaque layer smears into a ramp at its edges: alpha (16 - n) x 255 / 16
  // (only k = 0 reaches column 10, only k = 15 column 32).
  Buffer solid(8, 1), dst(40, 1);
  solid.Fill(255, 10, 20, 30);
  ASSERT_EQ(Run(1, solid, Mode(PF_Xfer_Normal), ms, dst), 0);
  for (auto [x, alpha] : {std::pair{9, 0}, {10, 255 >> 4}, {17, (8 * 255) >> 4}, {25, (8 * 255) >> 4},
                          {32, 255 >> 4}, {33, 0}})
    EXPECT_EQ(dst.px(x, 0)[0], alpha) << x;
  EXPECT_EQ(dst.px(20, 0)[1], 10);
  // An all-transparent layer stays transparent.
  Buffer clear(8, 1), untouched(40, 1);
  untouched.Random(4);
  Buffer before = untouched;
  ASSERT_EQ(Run(1, clear, Mode(PF_Xfer_Normal), ms, untouched), 0);
  EXPECT_TRUE(before.bytes == untouched.bytes);
}

TEST_F(PFTransform, ModesAndMattesEqualTransformThenTransferRect) {
  Buffer src(30, 20);
  Layer(src, 5);
  Buffer matte(48, 40);
  matte.Random(6);
  const std::vector<FloatMatrix> ms = {Similar(1.1, 10, 9.3, 4.7)};
  Buffer scratch(48, 40);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), ms, scratch), 0);
  for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode) {
    if (mode == PF_Xfer_Copy || mode == PF_Xfer_Dissolve) continue;  // these write where the layer is absent
    for (int32_t maskFlags : {-1, 0, PF_Mask_Invert | PF_Mask_Luminance}) {
      PF_MaskWorld mask{matte.world, LPoint{1, -2}, maskFlags < 0 ? 0 : maskFlags};
      const PF_MaskWorld* mp = maskFlags < 0 ? nullptr : &mask;
      Buffer a(48, 40), b(48, 40);
      a.Random(7), b.Random(7);
      const PF_CompositeMode m = Mode(mode, 170);
      ASSERT_EQ(Run(1, src, m, ms, a, 0, nullptr, mp), 0);
      ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &scratch.world, &m, mp, 0, 0, &b.world), 0);
      EXPECT_TRUE(a.bytes == b.bytes) << "mode " << mode << " mask " << maskFlags;
    }
  }
}

TEST_F(PFTransform, DissolveIsDeterministicAndStencilsClearOutside) {
  Buffer src(20, 20);
  Layer(src, 19);
  const std::vector<FloatMatrix> ms = {Similar(0.9, 20, 6, 2)};
  Buffer a(30, 30), b(30, 30), c(30, 30);
  a.Random(20), b.Random(20), c.Random(20);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Dissolve, 128, 99), ms, a), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Dissolve, 128, 99), ms, b), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Dissolve, 128, 12345), ms, c), 0);
  EXPECT_TRUE(a.bytes == b.bytes);
  EXPECT_FALSE(a.bytes == c.bytes);
  // The alpha stencil clears the destination alpha wherever the layer is absent.
  Buffer small(4, 4), d(30, 30);
  small.Fill(255, 9, 9, 9);
  d.Fill(255, 50, 60, 70);
  ASSERT_EQ(Run(1, small, Mode(PF_Xfer_AlphaStencil), {Translate(10.5, 10)}, d), 0);
  EXPECT_EQ(std::make_tuple(d.px(0, 0)[0], d.px(29, 29)[0], d.px(12, 12)[0], d.px(12, 12)[1]),
            std::make_tuple(0, 0, 255, 50));  // colour untouched
}

TEST_F(PFTransform, OnlyPixelsNearTheLayerAreVisited) {
  Buffer src(4, 4), dst(64, 64);
  src.Fill(255, 1, 2, 3);
  dst.Random(8);
  Buffer before = dst;
  // Mode 0 writes transparent pixels wherever it is applied.
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Similar(4, 45, 32, 10)}, dst), 0);
  // The rotated square's corners: (32, 10), (43.3, 21.3), (32, 32.6), (20.7, 21.3).
  int changed = 0;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      const double cx = x + 0.5 - 32, cy = y + 0.5 - 21.3;
      const bool farAway = std::fabs(cx) + std::fabs(cy) > 11.3 + 3;  // beyond the diamond plus the sampler's reach
      if (std::memcmp(dst.px(x, y), before.px(x, y), 4) != 0) {
        ++changed;
        EXPECT_FALSE(farAway) << x << "," << y;
      }
    }
  EXPECT_GT(changed, 200);
  EXPECT_TRUE(dst.PaddingIntact());
}

TEST_F(PFTransform, FieldsSkipRows) {
  Buffer src(16, 16);
  Layer(src, 9);
  Buffer before(16, 16);
  before.Random(10);
  Buffer whole = before;
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(1, 7, 1.5, 0.5)}, whole), 0);
  // Field 1 draws the even rows as the whole frame has them, field 2 the odd
  // ones; the other rows keep what they held.
  for (int32_t field : {1, 2}) {
    Buffer dst = before;
    ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(1, 7, 1.5, 0.5)}, dst, field), 0);
    for (int32_t y = 0; y < 16; ++y)
      EXPECT_EQ(std::memcmp(dst.px(0, y), (y % 2 == field - 1 ? whole : before).px(0, y), 64), 0) << "row " << y;
  }
}

TEST_F(PFTransform, RandomMatricesStayInBoundsAndAgree) {
  Buffer src(37, 29);
  Layer(src, 21);
  // Mostly opaque too, as footage is, with a few holes.
  Buffer opaque(37, 29);
  opaque.Random(18);
  opaque.SetAlpha([](int32_t x, int32_t y) { return (x * 7 + y * 3) % 50 == 0 ? 100 : 255; });
  Buffer start(53, 41);
  start.Random(22);
  std::mt19937_64 gen(23);
  auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (gen() % 1000001) / 1000000.0; };
  for (int iter = 0; iter < 150; ++iter) {
    const double scale = std::exp(uniform(-7, 7));
    const double reach = iter % 10 == 0 ? 1e7 : 60;
    std::vector<FloatMatrix> ms = {Similar(scale, uniform(-180, 180), uniform(-reach, reach), uniform(-reach, reach))};
    if (iter % 3 == 0) {
      FloatMatrix last = Similar(std::exp(uniform(-7, 7)), uniform(-180, 180), uniform(-reach, reach),
                                 uniform(-reach, reach));
      for (int k = 1; k < 16; ++k) ms.push_back(ms[0]);
      ms.push_back(last);
    }
    SCOPED_TRACE(testing::Message() << "iteration " << iter);
    ExpectKernelsAgree(iter % 2, iter % 4 == 3 ? opaque : src, Mode(iter % 5 ? PF_Xfer_Normal : PF_Xfer_Screen, 200), ms, start);
  }
}

// Motion blur of a layer that only moves, at both qualities, over rows
// longer than one chunk of the fast passes; the source mostly opaque.
TEST_F(PFTransform, MovingLayerBlurAgreesAcrossLongRows) {
  Buffer src(600, 5);
  src.Random(41);
  src.SetAlpha([](int32_t x, int32_t) { return x % 97 == 5 ? 60 : 255; });
  Buffer start(640, 9);
  start.Random(42);
  for (const double dx : {23.4, -7.0, 0.6})
    for (int32_t quality : {0, 1}) {
      std::vector<FloatMatrix> ms(16, Translate(-3.3, 1.2));
      ms.push_back(Translate(-3.3 + dx, 1.2 + (dx > 0 ? 0.7 : 0.0)));
      SCOPED_TRACE(testing::Message() << "dx " << dx << " quality " << quality);
      ExpectKernelsAgree(quality, src, Mode(PF_Xfer_Normal, 255), ms, start);
    }
}

TEST_F(PFTransform, FastSamplerEqualsReferenceAtRandomPositions) {
  using namespace tv::pf::xform;
  Buffer src(9, 7);
  Layer(src, 13);
  // Some neighbourhoods all equal, some transparent with colour.
  for (int32_t x = 0; x < 4; ++x) src.Set(x, 0, 0, 9, 9, 9);
  Buffer opaque(9, 7);
  Layer(opaque, 17);
  opaque.SetAlpha([](int32_t, int32_t) { return 255; });
  std::mt19937_64 gen(14);
  std::vector<uint32_t> a(64), b(64);
  for (int iter = 0; iter < 20000; ++iter) {
    RowSampling r;
    r.src = &src.world;
    r.sampler = static_cast<Sampler>(iter % 3);
    r.u = static_cast<int64_t>(gen() % (14 << 16)) - (2 << 16);
    r.v = static_cast<int64_t>(gen() % (12 << 16)) - (2 << 16);
    r.du = static_cast<int64_t>(gen() % 0x30000) - 0x18000;
    r.dv = static_cast<int64_t>(gen() % 0x30000) - 0x18000;
    r.rx = 0x8000 + static_cast<int64_t>(gen() % 0x20000);
    r.ry = 0x8000 + static_cast<int64_t>(gen() % 0x20000);
    r.blur = iter % 5 == 0;
    r.uL = r.u + static_cast<int64_t>(gen() % (8 << 16)) - (4 << 16);
    r.vL = r.v + static_cast<int64_t>(gen() % (8 << 16)) - (4 << 16);
    r.duL = r.du;
    r.dvL = r.dv;
    if (iter % 7 == 0) r.u &= ~int64_t{0xFFFF};  // whole positions
    if (iter % 4 == 1) {  // a layer that only moves
      r.sampler = Sampler::Subpixel;
      r.blur = true;
      r.du = r.duL = 65536;
      r.dv = r.dvL = 0;
    }
    if (iter % 10 == 2 || iter % 10 == 6) {  // draft motion blur over an opaque source (and past its edges)
      r.src = &opaque.world;
      r.sampler = Sampler::Nearest;
      r.blur = true;
    }
    if (iter % 10 == 6 || iter % 10 == 7) {  // ... of a layer that only moves
      r.sampler = Sampler::Nearest;
      r.blur = true;
      r.du = r.duL = 65536;
      r.dv = r.dvL = 0;
    }
    SampleRowReference(r, 64, a.data());
    SampleRowFast(r, 64, b.data());
    ASSERT_EQ(a, b) << "iteration " << iter;
  }
}

// Positions are 64-bit: a source wider than 32767 pixels (beyond the 16.16
// range of the effect samplers) is sampled all the way across.
TEST_F(PFTransform, SourcesWiderThan32767PixelsAreSampled) {
  Buffer src(40000, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 40000; ++x) src.Set(x, y, 255, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7);
  Buffer dst(8, 3);
  // Destination column X samples source column X + 39987.5: column 3 lies
  // halfway between 39990 (red 54) and 39991 (red 55).
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Translate(-39987.5, 0)}, dst), 0);
  EXPECT_EQ(std::make_tuple(dst.px(3, 1)[0], dst.px(3, 1)[1], dst.px(3, 1)[2]), std::make_tuple(255, 55, 1));
  ASSERT_EQ(Run(0, src, Mode(PF_Xfer_Copy), {Translate(-39987.5, 0)}, dst), 0);
  EXPECT_EQ(dst.px(3, 1)[1], static_cast<uint8_t>(39991));
  Buffer start(8, 3);
  start.Random(31);
  for (int32_t quality : {0, 1})
    for (const FloatMatrix& m : {Translate(-39990.3, 0.2), Similar(0.4, 3, -15990.7, 0), Similar(2.5, 0, -99960.2, 0)})
      ExpectKernelsAgree(quality, src, Mode(PF_Xfer_Normal, 255), {m}, start);
}

TEST_F(PFTransform, SingularAndHugeMatricesAreHarmless) {
  Buffer src(8, 8);
  Layer(src, 15);
  Buffer dst(16, 16);
  dst.Random(16);
  Buffer before = dst;
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Similar(0, 0, 4, 4)}, dst), 0);  // scale 0
  FloatMatrix flat = Identity();
  flat.m[4] = 0;
  ASSERT_EQ(Run(0, src, Mode(PF_Xfer_Copy), {flat}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Translate(3e9, -4e9)}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Translate(1e15 + 0.5, 0)}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Similar(1e-9, 30, 5, 5)}, dst), 0);
  EXPECT_TRUE(before.bytes == dst.bytes);
  // A huge magnification still draws sensibly (one source pixel fills it all).
  src.Set(3, 3, 255, 1, 2, 3);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(30000, 0, -30000.0 * 3.5, -30000.0 * 3.5)}, dst), 0);
  for (int32_t y = 0; y < 16; ++y) EXPECT_EQ(std::memcmp(dst.px(0, y), src.px(3, 3), 4), 0);
  // A singular last matrix: drawn unblurred with the first.
  Buffer a(16, 16), b(16, 16);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(1, 20, 3, 1), Similar(0, 0, 0, 0)}, a), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(1, 20, 3, 1)}, b), 0);
  EXPECT_TRUE(a.bytes == b.bytes);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PFTransform, BadArgumentsAreReported) {
  Buffer src(4, 4), dst(4, 4);
  const auto transform = [&](const PF_CompositeMode* m, const FloatMatrix& mx, int32_t count = 1) {
    return PF_TransformWorld(nullptr, 1, 0, 0, &src.world, m, nullptr, &mx, count, 0, nullptr, &dst.world);
  };
  const FloatMatrix id = Identity();
  EXPECT_EQ(transform(nullptr, id), 516);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(PF_PackageNumber, 20));
  const PF_CompositeMode m = Mode(30), normal = Mode(PF_Xfer_Normal);
  EXPECT_EQ(transform(&m, id), 5);
  EXPECT_EQ(transform(&normal, id, 0), 516);
  FloatMatrix nan = id, projective = id;
  nan.m[0] = NAN;
  EXPECT_EQ(transform(&normal, nan), 516);
  projective.m[2] = 0.001;
  rec.clear();
  EXPECT_EQ(transform(&normal, projective), tv::kErrUnimplemented);
  EXPECT_EQ(rec.last().text, "Test error: projective layer transforms are not supported -- sorry, this is unimplemented.");
  EXPECT_EQ(rec.last().severity, kSevError);
}

struct ProgressLog {
  static inline std::vector<int32_t> calls;
  static inline int32_t stopAt = -1;
  static ErrorCode Proc(PF_EffectRef, int32_t done, int32_t total) {
    calls.push_back(done);
    EXPECT_EQ(total, 32);
    return done == stopAt ? 517 : 0;
  }
};

TEST_F(PFTransform, ProgressAndAbort) {
  Buffer src(32, 32);
  Layer(src, 17);
  PFp_SetProgressProc(&ProgressLog::Proc);
  ProgressLog::calls.clear();
  ProgressLog::stopAt = -1;
  Buffer dst(32, 32);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Normal), {Similar(1, 3, 0, 0)}, dst), 0);
  EXPECT_EQ(ProgressLog::calls, (std::vector<int32_t>{4, 8, 12, 16, 20, 24, 28, 32}));
  ProgressLog::calls.clear();
  ProgressLog::stopAt = 8;
  Buffer stopped(32, 32);
  EXPECT_EQ(Run(0, src, Mode(PF_Xfer_Normal), {Similar(1, 3, 0, 0)}, stopped), 517);
  EXPECT_EQ(ProgressLog::calls, (std::vector<int32_t>{8}));
  for (int32_t y = 8; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) EXPECT_EQ(stopped.px(x, y)[0], 0) << x << "," << y;
  EXPECT_NE(stopped.px(16, 7)[0], 0);
}

struct Replacement {
  static inline Rect seen{};
  static inline int32_t calls = 0;
  static ErrorCode Proc(PF_EffectRef, int32_t, int32_t, int32_t, const PFWorld*, const PF_CompositeMode*,
                        const PF_MaskWorld*, const FloatMatrix*, int32_t, Boolean32, const Rect* r, PFWorld*) {
    ++calls;
    seen = *r;
    return 0;
  }
};

TEST_F(PFTransform, RoutineTableEntryAndItsReplacement) {
  PF_RoutineTable* t = PFp_GetRoutineTable();
  PF_TransformWorldFunc saved = t->transformWorld;
  ASSERT_EQ(PFp_InstallTransformRoutines(t), 0);
  EXPECT_EQ(t->transformWorld, &PF_TransformWorld_S);
  void* address = nullptr;
  ASSERT_EQ(PF_GetCallbackAddr(nullptr, 1, 0, PF_Sel_TransformWorld, &address), 0);
  EXPECT_EQ(address, reinterpret_cast<void*>(&PF_TransformWorld_S));
  // Through the table the caller's rectangle is used as it is.
  Buffer src(4, 4), a(8, 8), b(8, 8);
  Layer(src, 26);
  const Rect r{1, 1, 6, 5};
  const PF_CompositeMode m = Mode(PF_Xfer_Normal);
  const FloatMatrix mx = Similar(1.2, 5, 1, 1);
  ASSERT_EQ(PF_TransformWorld(nullptr, 1, 0, 0, &src.world, &m, nullptr, &mx, 1, 0, &r, &a.world), 0);
  ASSERT_EQ(PF_TransformWorld_S(nullptr, 1, 0, 0, &src.world, &m, nullptr, &mx, 1, 0, &r, &b.world), 0);
  EXPECT_TRUE(a.bytes == b.bytes);
  // A replacement routine gets the rectangle every matrix covers.
  t->transformWorld = &Replacement::Proc;
  Buffer wide(10, 6), dst(50, 50);
  const Rect ignored{0, 0, 1, 1};
  std::vector<FloatMatrix> ms = {Translate(3, 4), Translate(5.5, 4), Translate(20, 30)};
  EXPECT_EQ(PF_TransformWorld(nullptr, 1, 0, 0, &wide.world, &m, nullptr, ms.data(), 3, 0, &ignored, &dst.world), 0);
  t->transformWorld = saved;
  EXPECT_EQ(Replacement::calls, 1);
  const Rect& seen = Replacement::seen;
  EXPECT_EQ(std::make_tuple(seen.top, seen.left, seen.bottom, seen.right), std::make_tuple(4, 3, 36, 30));
}

}  // namespace
}  // namespace tv::test
