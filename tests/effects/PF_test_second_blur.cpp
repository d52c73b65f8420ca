// Gaussian kernels, convolution, fast blur and the coverage blur scans.
#include <gmock/gmock.h>

#include <cmath>

#include "../../effects/PF_internal.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFBlur : public PFFixture {};

// ---- Gaussian kernel ---------------------------------------------------------------------

TEST_F(PFBlur, GaussianKernelRefusesBadRadiiAndOutputs) {
  int32_t diameter = 7;
  int32_t k[4] = {};
  EXPECT_EQ(PF_GaussianKernel(nullptr, -0.5, 0, 1.0, &diameter, k), 516);
  EXPECT_EQ(diameter, 0);
  EXPECT_EQ(PF_GaussianKernel(nullptr, NAN, 0, 1.0, &diameter, k), 516);
  EXPECT_EQ(PF_GaussianKernel(nullptr, INFINITY, 0, 1.0, &diameter, k), 516);
  EXPECT_EQ(PF_GaussianKernel(nullptr, 5000.0, 0, 1.0, &diameter, k), 516);
  EXPECT_EQ(PF_GaussianKernel(nullptr, 1.0, 0, NAN, &diameter, k), 516);
  EXPECT_EQ(PF_GaussianKernel(nullptr, 1.0, 0, 1.0, nullptr, k), 516);
  EXPECT_EQ(PF_GaussianKernel(nullptr, 1.0, 0, 1.0, &diameter, nullptr), 516);
  ASSERT_EQ(rec.reports.size(), 7u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 10));
  // A multiplier of 0 with normalisation leaves the zero values alone.
  ASSERT_EQ(PF_GaussianKernel(nullptr, 0.0, PF_Kernel_Normalize, 0.0, &diameter, k), 0);
  EXPECT_EQ(k[0], 0);
}

// ---- Convolution ---------------------------------------------------------------------------

TEST_F(PFBlur, ConvolveLimitsResultsAndRefusesBadKernels) {
  Buffer s(3, 3), d(3, 3);
  s.Fill(255, 100, 100, 100);
  s.Set(1, 1, 255, 200, 0, 100);
  // An edge kernel sums to 0: no division; results limited to 0..255.
  const int32_t edge[9] = {0, -1, 0, -1, 4, -1, 0, -1, 0};
  ASSERT_EQ(PF_Convolve(nullptr, &s.world, nullptr, PF_Convolve_RepeatEdges, 3, nullptr, edge, edge, edge, &d.world), 0);
  // Red 4 x 200 - 400, green -400.
  EXPECT_EQ(std::vector<int>(d.px(1, 1), d.px(1, 1) + 4), (std::vector<int>{255, 255, 0, 0}));
  const int32_t k[4] = {1, 1, 1, 1};
  EXPECT_EQ(PF_Convolve(nullptr, &s.world, nullptr, 0, 2, k, k, k, k, &d.world), 516);
  const int32_t huge[1] = {1 << 25};
  EXPECT_EQ(PF_Convolve(nullptr, &s.world, nullptr, 0, 1, huge, nullptr, nullptr, nullptr, &d.world), 516);
  Buffer other(4, 3);
  EXPECT_EQ(PF_Convolve(nullptr, &s.world, nullptr, 0, 1, k, k, k, k, &other.world), 516);
  EXPECT_EQ(PF_Convolve(nullptr, &s.world, nullptr, 0x40, 1, k, k, k, k, &d.world), 516);
  EXPECT_EQ(rec.reports.size(), 4u);
}

// ---- Fast blur ---------------------------------------------------------------------------------

TEST_F(PFBlur, FastDivisionsAreExactOverTheirDomains) {
  // n / d around every multiple of d up to the largest sum a pass can make
  // (65025 d + b), for every half width.
  for (uint32_t b = 1; b <= static_cast<uint32_t>(PF_MaxBlurRadius); ++b) {
    const uint64_t d = 2 * b + 1, top = 65025 * d + b;
    const uint64_t step = b < 40 ? 1 : 97;
    for (uint64_t q = 0; q * d <= top; q += step)
      for (uint64_t n : {q * d, q * d + 1, q * d + d - 1})
        if (n >= 1 && n <= top) {
          ASSERT_EQ(tv::pf::BoxDivide(static_cast<uint32_t>(n - 1), b), (n - 1) / d) << b;
        }
    ASSERT_EQ(tv::pf::BoxDivide(static_cast<uint32_t>(top), b), top / d) << b;
  }
  // num / A at every boundary a straight pixel's colour can meet:
  // num = c * 255 + A / 2 with c <= 65535.
  for (uint32_t A = 1; A <= 65025; ++A)
    for (uint32_t k = 0; k <= 255; ++k)
      for (uint32_t num : {k * A, k * A + A - 1, k * A == 0 ? 0 : k * A - 1})
        if (num < (1u << 24)) {
          ASSERT_EQ(tv::pf::DivideByAlpha(num, A), num / A) << A << " " << num;
        }
}

// Box filters on a row, computed directly: the row is first extended on both
// sides (by zeros, or by its end values repeated) as far as all the passes
// together reach; each pass then gives (sum + b) / (2b + 1) wherever its
// window lies inside the previous pass's values, so the values shrink by b
// at each end, and after the last pass the row's own n values remain.
std::vector<int64_t> BoxesOnExtendedRow(const std::vector<int64_t>& row, const tv::pf::BlurPlan& plan, bool repeat) {
  const int64_t n = static_cast<int64_t>(row.size());
  int64_t margin = 0;
  for (int32_t p = 0; p < plan.passes; ++p) margin += plan.halfWidth[p];
  std::vector<int64_t> v(size_t(n + 2 * margin));
  for (int64_t i = 0; i < n + 2 * margin; ++i) {
    const int64_t j = i - margin;
    v[size_t(i)] = j >= 0 && j < n ? row[size_t(j)] : !repeat ? 0 : row[j < 0 ? 0 : size_t(n - 1)];
  }
  for (int32_t p = 0; p < plan.passes; ++p) {
    const int64_t b = plan.halfWidth[p];
    std::vector<int64_t> out(v.size() - size_t(2 * b));
    for (size_t i = 0; i < out.size(); ++i) {
      int64_t sum = 0;
      for (int64_t k = 0; k <= 2 * b; ++k) sum += v[i + size_t(k)];
      out[i] = (sum + b) / (2 * b + 1);
    }
    v = std::move(out);
  }
  return v;
}

// The fast blur of a world computed directly: premultiplied pixels as v * 255,
// straight ones as alpha * 255 and alpha * colour; the passes down every
// column, then across every row, each on its extended line; then the end
// values (v + 127) / 255, or for straight pixels alpha (A + 127) / 255 and
// colours (C * 255 + A / 2) / A limited to 255, all zero where alpha ends at 0.
std::vector<uint8_t> DirectBlur(Buffer in, double radius, int32_t quality, uint32_t flags, bool straight) {
  const int32_t w = in.world.width, h = in.world.height;
  const tv::pf::BlurPlan plan = tv::pf::PlanBlur(radius, quality);
  const bool repeat = (flags & PF_Blur_RepeatEdges) != 0;
  const uint32_t dirs = flags & (PF_Blur_Horizontal | PF_Blur_Vertical);
  std::vector<int64_t> v(size_t(w) * h * 4);
  auto at = [&](int32_t x, int32_t y, int c) -> int64_t& { return v[(size_t(y) * w + x) * 4 + c]; };
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) {
        const uint8_t* p = in.px(x, y);
        at(x, y, c) = straight ? int64_t{p[0]} * (c == 0 ? 255 : p[c]) : int64_t{p[c]} * 255;
      }
  // The boxes down every column (or across every row) of channel c.
  const auto lines = [&](int c, bool down) {
    for (int32_t i = 0; i < (down ? w : h); ++i) {
      std::vector<int64_t> line(static_cast<size_t>(down ? h : w));
      for (size_t j = 0; j < line.size(); ++j) line[j] = down ? at(i, int32_t(j), c) : at(int32_t(j), i, c);
      line = BoxesOnExtendedRow(line, plan, repeat);
      for (size_t j = 0; j < line.size(); ++j) (down ? at(i, int32_t(j), c) : at(int32_t(j), i, c)) = line[j];
    }
  };
  for (int c = 0; c < 4; ++c) {
    if (dirs != PF_Blur_Horizontal) lines(c, true);
    if (dirs != PF_Blur_Vertical) lines(c, false);
  }
  std::vector<uint8_t> out(size_t(w) * h * 4);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* o = &out[(size_t(y) * w + x) * 4];
      const int64_t A = at(x, y, 0);
      for (int c = 0; c < 4; ++c) {
        if (!straight) {
          o[c] = static_cast<uint8_t>((at(x, y, c) + 127) / 255);
        } else if ((A + 127) / 255 == 0) {
          o[c] = 0;
        } else {
          o[c] = static_cast<uint8_t>(c == 0 ? (A + 127) / 255 : std::min<int64_t>(255, (at(x, y, c) * 255 + A / 2) / A));
        }
      }
    }
  return out;
}

TEST_F(PFBlur, FastBlurEqualsBoxesOnTheExtendedPictureAtEveryPixel) {
  std::vector<Buffer> pictures;
  pictures.push_back(Noise(23, 17, 45));
  pictures.push_back(Noise(9, 31, 46));  // premultiplied-looking: no colour above its alpha
  for (int32_t y = 0; y < 31; ++y)
    for (int32_t x = 0; x < 9; ++x)
      for (int c = 1; c < 4; ++c) pictures.back().px(x, y)[c] = std::min(pictures.back().px(x, y)[c], pictures.back().px(x, y)[0]);
  pictures.emplace_back(31, 4);  // opaque black with one bright pixel at each edge
  pictures.back().Fill(255, 0, 0, 0);
  pictures.back().Set(0, 1, 255, 255, 255, 255);
  pictures.back().Set(30, 2, 255, 255, 200, 100);
  pictures.emplace_back(1, 6, 3);  // one column, padded rows
  pictures.back().Random(47);
  const double radii[] = {0.6, 2.0, 3.5, 7.3, 15.0, 40.0};
  const uint32_t flagSets[] = {0, PF_Blur_Horizontal, PF_Blur_Vertical, PF_Blur_RepeatEdges,
                               PF_Blur_Horizontal | PF_Blur_RepeatEdges};
  for (size_t k = 0; k < pictures.size(); ++k)
    for (double radius : radii)
      for (int32_t quality : {0, 1})
        for (uint32_t flags : flagSets)
          for (bool straight : {false, true}) {
            const std::vector<uint8_t> expected = DirectBlur(pictures[k], radius, quality, flags, straight);
            for (int32_t reference : {0, 1}) {
              Buffer b = pictures[k];
              PFp_UseReferenceKernels(reference);
              ASSERT_EQ((straight ? PF_FastBlur_Straight : PF_FastBlur_Premul)(nullptr, radius, flags, quality, &b.world), 0);
              PFp_UseReferenceKernels(0);
              const int32_t w = b.world.width, h = b.world.height;
              for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                  ASSERT_EQ(std::memcmp(b.px(x, y), &expected[(size_t(y) * w + x) * 4], 4), 0)
                      << "picture " << k << " r " << radius << " q" << quality << " flags " << flags
                      << (straight ? " straight" : " premul") << (reference ? " reference" : " fast") << " at " << x
                      << "," << y;
              EXPECT_TRUE(b.PaddingIntact());
            }
          }
}

TEST_F(PFBlur, FastBlurRefusesBadRadiiAndFlags) {
  Buffer b = Noise(4, 4, 1);
  const std::vector<uint8_t> before = b.bytes;
  EXPECT_EQ(PF_FastBlur_Straight(nullptr, -1.0, 0, 0, &b.world), 516);
  EXPECT_EQ(PF_FastBlur_Straight(nullptr, NAN, 0, 1, &b.world), 516);
  EXPECT_EQ(PF_FastBlur_Premul(nullptr, 2001.0, 0, 1, &b.world), 516);
  EXPECT_EQ(PF_FastBlur_Premul(nullptr, 1.0, 0x100, 1, &b.world), 516);
  EXPECT_EQ(PF_FastBlur_Premul(nullptr, 1.0, 0, 1, nullptr), 516);
  ASSERT_EQ(rec.reports.size(), 5u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 0xFE));
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("bad parameter to pixel routine -2"));
  EXPECT_EQ(b.bytes, before);
  // A radius that rounds to no box changes nothing.
  EXPECT_EQ(PF_FastBlur_Straight(nullptr, 0.3, 0, 0, &b.world), 0);
  EXPECT_EQ(b.bytes, before);
}

// ---- Coverage scans -----------------------------------------------------------------------

TEST_F(PFBlur, BoxScanAveragesWithZerosBeyondTheEnds) {
  std::mt19937 gen(3);
  for (int round = 0; round < 30; ++round) {
    const int32_t count = gen() % 50, radius = gen() % 9, stride = 1 + gen() % 3;
    std::vector<uint8_t> src(size_t(std::max(count, 1)) * stride), dst(src.size(), 0xAB);
    for (auto& v : src) v = static_cast<uint8_t>(gen());
    ASSERT_EQ(PF_BoxBlurUnoScan(src.data(), stride, count, radius, dst.data(), stride), 0);
    for (int32_t i = 0; i < count; ++i) {
      uint32_t sum = 0;
      for (int32_t k = i - radius; k <= i + radius; ++k)
        if (k >= 0 && k < count) sum += src[size_t(k) * stride];
      ASSERT_EQ(dst[size_t(i) * stride], (sum + radius) / (2 * radius + 1)) << round << " " << i;
    }
    // In place gives the same bytes.
    std::vector<uint8_t> same = src;
    ASSERT_EQ(PF_BoxBlurUnoScan(same.data(), stride, count, radius, same.data(), stride), 0);
    for (int32_t i = 0; i < count; ++i) ASSERT_EQ(same[size_t(i) * stride], dst[size_t(i) * stride]);
  }
  uint8_t v = 0;
  EXPECT_EQ(PF_BoxBlurUnoScan(&v, 1, 1, -1, &v, 1), 516);
  EXPECT_EQ(PF_BoxBlurUnoScan(nullptr, 1, 1, 1, &v, 1), 516);
  EXPECT_EQ(PF_BoxBlurUnoScan(&v, 0, 1, 1, &v, 1), 516);
  EXPECT_EQ(rec.last().location, tv::Location(37, 0xFA));
  EXPECT_EQ(PF_GBlurUnoScan(&v, 1, 1, NAN, &v, 1), 516);
}

}  // namespace
}  // namespace tv::test
