// Tests of the layer transform: the fast kernels against the reference ones
// over random matrices and long rows, sources wider than 16-bit positions,
// singular matrices, bad arguments, progress and the routine table.
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
Buffer Layer(int32_t width, int32_t height, uint32_t seed) {
  Buffer b(width, height);
  std::mt19937 gen(seed);
  for (int32_t y = 0; y < b.world.height; ++y)
    for (int32_t x = 0; x < b.world.width; ++x) {
      uint32_t kind = gen() % 8;
      uint8_t a = kind < 4 ? 255 : (kind == 4 ? 0 : static_cast<uint8_t>(gen()));
      b.Set(x, y, a, static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()));
    }
  return b;
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

TEST_F(PFTransform, RandomMatricesStayInBoundsAndAgree) {
  const Buffer src = Layer(37, 29, 21);
  // Mostly opaque too, as footage is, with a few holes.
  Buffer opaque = Noise(37, 29, 18);
  opaque.SetAlpha([](int32_t x, int32_t y) { return (x * 7 + y * 3) % 50 == 0 ? 100 : 255; });
  Buffer start = Noise(53, 41, 22);
  std::mt19937_64 gen(23);
  auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (gen() % 1000001) / 1000000.0; };
  for (int iter = 0; iter < 60; ++iter) {
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
  Buffer src = Noise(600, 5, 41);
  src.SetAlpha([](int32_t x, int32_t) { return x % 97 == 5 ? 60 : 255; });
  Buffer start = Noise(640, 9, 42);
  for (const double dx : {23.4, -7.0, 0.6})
    for (int32_t quality : {0, 1}) {
      std::vector<FloatMatrix> ms(16, Translate(-3.3, 1.2));
      ms.push_back(Translate(-3.3 + dx, 1.2 + (dx > 0 ? 0.7 : 0.0)));
      SCOPED_TRACE(testing::Message() << "dx " << dx << " quality " << quality);
      ExpectKernelsAgree(quality, src, Mode(PF_Xfer_Normal, 255), ms, start);
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
  Buffer start = Noise(8, 3, 31);
  ExpectKernelsAgree(1, src, Mode(PF_Xfer_Normal, 255), {Similar(2.5, 0, -99960.2, 0)}, start);
}

TEST_F(PFTransform, SingularAndHugeMatricesAreHarmless) {
  const Buffer src = Layer(8, 8, 15);
  Buffer dst = Noise(16, 16, 16);
  Buffer before = dst;
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Similar(0, 0, 4, 4)}, dst), 0);  // scale 0
  FloatMatrix flat = Identity();
  flat.m[4] = 0;
  ASSERT_EQ(Run(0, src, Mode(PF_Xfer_Copy), {flat}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Translate(3e9, -4e9)}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Translate(1e15 + 0.5, 0)}, dst), 0);
  ASSERT_EQ(Run(1, src, Mode(PF_Xfer_Copy), {Similar(1e-9, 30, 5, 5)}, dst), 0);
  EXPECT_TRUE(before.bytes == dst.bytes);
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
  const Buffer src = Layer(32, 32, 17);
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
  Buffer src = Layer(4, 4, 26), a(8, 8), b(8, 8);
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
