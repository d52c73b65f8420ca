// Motion blur of turning and growing layers: the eight-lane sampler gives
// the bytes of the reference sampler over opaque, transparent (with colour
// left in the transparent pixels), partly transparent and edge
// neighbourhoods, across chunk and lane boundaries and far from the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "PF_internal.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::pf::xform;

enum class Kind { Opaque, Oval, Mixed };

// An opaque picture; an oval of it on transparent pixels that keep their
// colour, with a soft rim; or opaque, transparent and partial pixels at random.
Buffer Source(Kind kind, int32_t w, int32_t h, uint32_t seed) {
  Buffer b(w, h);
  std::mt19937 gen(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0), d = std::hypot(dx, dy);
      uint8_t a = 255;
      if (kind == Kind::Oval) a = d < 0.8 ? 255 : d > 0.9 ? 0 : static_cast<uint8_t>(gen());
      if (kind == Kind::Mixed) a = gen() % 3 == 0 ? 0 : gen() % 4 == 0 ? static_cast<uint8_t>(gen()) : 255;
      b.Set(x, y, a, static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()));
    }
  return b;
}

class PFTransformTurning : public PFFixture {};

TEST_F(PFTransformTurning, EightLaneBlurEqualsReference) {
  std::mt19937_64 gen(57);
  auto uniform = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(gen() % 1000001) / 1e6;
  };
  const Kind kinds[] = {Kind::Opaque, Kind::Oval, Kind::Mixed};
  std::vector<uint32_t> ref(700), fast(700), plain(700);
  for (int iter = 0; iter < 240; ++iter) {
    const Kind kind = kinds[iter % 3];
    Buffer src = Source(kind, 40 + iter % 37, 30 + iter % 11, static_cast<uint32_t>(iter));
    RowSampling r;
    r.src = &src.world;
    r.sampler = Sampler::Subpixel;
    r.blur = true;
    // A row crossing the source at a small angle and scale, turning by up
    // to ten degrees and growing by up to 5 % during the shutter; every
    // eighth far outside (beyond the 32-bit lanes), every fifth on whole pixels.
    const double angle = uniform(-0.3, 0.3), scale = uniform(0.6, 1.4), turn = uniform(-0.17, 0.17);
    const double grow = uniform(0.95, 1.05);
    const double reach = iter % 8 == 7 ? 1e5 : 20;
    r.u = static_cast<int64_t>(uniform(-reach, reach) * 65536);
    r.v = static_cast<int64_t>(uniform(-10, src.world.height + 10.0) * 65536);
    r.du = static_cast<int64_t>(std::cos(angle) * scale * 65536);
    r.dv = static_cast<int64_t>(std::sin(angle) * scale * 65536);
    r.uL = r.u + static_cast<int64_t>(uniform(-6, 6) * 65536);
    r.vL = r.v + static_cast<int64_t>(uniform(-6, 6) * 65536);
    r.duL = static_cast<int64_t>(std::cos(angle + turn) * scale * grow * 65536);
    r.dvL = static_cast<int64_t>(std::sin(angle + turn) * scale * grow * 65536);
    if (iter % 5 == 4) r.u &= ~int64_t{0xFFFF}, r.v &= ~int64_t{0xFFFF}, r.uL = r.u, r.vL = r.v;
    const int32_t count = iter % 2 ? 700 : 1 + iter % 19;  // past a chunk of 256; short tails of lanes
    SampleRowReference(r, count, ref.data());
    SampleRowFast(r, count, fast.data());
    // The plain path, taken where the processor has no AVX2, on the same rows.
    UseWideBlur(false);
    SampleRowFast(r, count, plain.data());
    UseWideBlur(true);
    for (int32_t i = 0; i < count; ++i) {
      ASSERT_EQ(ref[i], fast[i]) << "iteration " << iter << " pixel " << i;
      ASSERT_EQ(ref[i], plain[i]) << "plain, iteration " << iter << " pixel " << i;
    }
  }
}

// A layer that stays put during the shutter is sampled once per pixel: the
// same bytes as the 16 samples it would take (a last matrix a hair away
// gives the same fixed-point positions, and takes the 16), with colour left
// in its transparent pixels and at both qualities.
TEST_F(PFTransformTurning, StillLayerWithMotionBlurTakesOneSample) {
  const Buffer src = Source(Kind::Mixed, 61, 47, 9);
  Buffer start = Noise(80, 70, 10);
  FloatMatrix m;
  M_SetIdentityMatrix(&m);
  m.m[0] = 0.93, m.m[1] = 0.21, m.m[3] = -0.21, m.m[4] = 0.93, m.m[6] = 9.37, m.m[7] = 5.71;
  FloatMatrix hair = m;
  hair.m[6] += 1e-12;
  PF_CompositeMode mode{};
  mode.mode = PF_Xfer_Copy;  // shows the samples' bytes
  mode.opacity = 255;
  for (int32_t quality : {0, 1})
    for (int use : {0, 1}) {
      PFp_UseReferenceKernels(use);
      Buffer still = start, moving = start;
      std::vector<FloatMatrix> ms(17, m);
      ASSERT_EQ(PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, 0, &src.world, &mode, nullptr,
                                  ms.data(), 17, 0, nullptr, &still.world),
                0);
      ms.back() = hair;
      ASSERT_EQ(PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, 0, &src.world, &mode, nullptr,
                                  ms.data(), 17, 0, nullptr, &moving.world),
                0);
      EXPECT_EQ(still.bytes, moving.bytes) << "quality " << quality << " reference " << use;
    }
}

// A still layer moved by half a pixel is drawn where it is drawn without
// motion blur: a draft translation rounds its half the same way either way.
TEST_F(PFTransformTurning, StillTranslationWithMotionBlurLandsAsWithout) {
  const Buffer src = Source(Kind::Opaque, 13, 9, 4);
  PF_CompositeMode mode{};
  mode.mode = PF_Xfer_Copy;
  mode.opacity = 255;
  for (const auto& [tx, ty] : {std::pair{8.5, 4.5}, {3.5, 2.0}, {-0.5, 7.25}})
    for (int32_t quality : {0, 1}) {
      FloatMatrix m;
      M_SetIdentityMatrix(&m);
      m.m[6] = tx, m.m[7] = ty;
      Buffer one = Noise(30, 20, 3), blurred = one;
      ASSERT_EQ(PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, 0, &src.world, &mode, nullptr, &m, 1,
                                  0, nullptr, &one.world),
                0);
      const std::vector<FloatMatrix> ms(17, m);
      ASSERT_EQ(PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, 0, &src.world, &mode, nullptr,
                                  ms.data(), 17, 0, nullptr, &blurred.world),
                0);
      EXPECT_EQ(one.bytes, blurred.bytes) << tx << ", " << ty << " quality " << quality;
    }
}

}  // namespace
}  // namespace tv::test
