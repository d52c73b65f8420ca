// Fast blur: box passes of running sums, so that the cost per pixel does
// not depend on the radius. Quality 0 runs one box per direction; better
// qualities run three boxes per direction whose widths give the variance of
// a Gaussian (the classic three-box approximation).
//
// The passes work on 16-bit values: premultiplied pixels as v * 255, straight
// pixels as alpha * 255 and alpha * colour (so colours are weighted by alpha
// without rounding). One pass of half width b replaces every value by the
// sum of the 2b + 1 values around it, plus b, divided by 2b + 1 (integer
// division). Horizontal passes come first, then the vertical ones. The end
// value is (v + 127) / 255 for premultiplied pixels; straight pixels take
// alpha (A + 127) / 255 and colours (C * 255 + A / 2) / A, limited to 255,
// and a pixel whose alpha ends at 0 becomes all zero.
//
// BlurReference sums every window literally; BlurFast keeps running sums and
// divides with a multiply and shift that is exact for every sum the passes
// can produce. The tests hold the two equal.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "PF_second_internal.h"

using namespace tv;
using namespace tv::pf2;

namespace tv::pf2 {
namespace {

constexpr uint32_t kOne = 255;  // the 16-bit value of a full 8-bit channel is v * 255

// Division by d = 2b + 1 of n + b, exact for n + b < 2^46 / d: with
// m = ceil(2^46 / d) and e = m d - 2^46 < d, (n m) >> 46 equals n / d
// whenever n e < 2^46. Sums never exceed 65025 d, and d <= 4001.
struct Divider {
  uint32_t b;
  uint64_t m;
  explicit Divider(uint32_t half) : b(half), m(((uint64_t{1} << 46) + 2 * half) / (2 * half + 1)) {}
  uint16_t operator()(uint32_t sum) const { return static_cast<uint16_t>((uint64_t{sum + b} * m) >> 46); }
};

struct Work {
  int32_t w = 0, h = 0;
  Scratch<uint16_t> a, b;  // ping-pong buffers of w * h * 4 values
  Work(int32_t width, int32_t height)
      : w(width), h(height), a(size_t(width) * height * 4), b(size_t(width) * height * 4) {}
  bool ok() const { return a.ok() && b.ok(); }
};

void Load(const PFWorld& world, bool straight, uint16_t* out) {
  for (int32_t y = 0; y < world.height; ++y) {
    const uint8_t* p = Row(world, y);
    uint16_t* o = out + size_t(y) * world.width * 4;
    for (int32_t x = 0; x < world.width; ++x, p += 4, o += 4) {
      if (straight) {
        o[0] = static_cast<uint16_t>(p[0] * kOne);
        o[1] = static_cast<uint16_t>(p[0] * p[1]);
        o[2] = static_cast<uint16_t>(p[0] * p[2]);
        o[3] = static_cast<uint16_t>(p[0] * p[3]);
      } else {
        for (int c = 0; c < 4; ++c) o[c] = static_cast<uint16_t>(p[c] * kOne);
      }
    }
  }
}

void Store(const uint16_t* in, bool straight, PFWorld& world) {
  for (int32_t y = 0; y < world.height; ++y) {
    uint8_t* p = Row(world, y);
    const uint16_t* v = in + size_t(y) * world.width * 4;
    for (int32_t x = 0; x < world.width; ++x, p += 4, v += 4) {
      if (straight) {
        const uint32_t A = v[0];
        const uint32_t alpha = (A + 127) / kOne;
        if (alpha == 0) {
          std::memset(p, 0, 4);
          continue;
        }
        p[0] = static_cast<uint8_t>(alpha);
        for (int c = 1; c < 4; ++c) p[c] = static_cast<uint8_t>(std::min<uint32_t>(255, (v[c] * kOne + A / 2) / A));
      } else {
        for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>((v[c] + 127) / kOne);
      }
    }
  }
}

bool Horizontal(uint32_t flags) { return (flags & (PF_Blur_Horizontal | PF_Blur_Vertical)) != PF_Blur_Vertical; }
bool Vertical(uint32_t flags) { return (flags & (PF_Blur_Horizontal | PF_Blur_Vertical)) != PF_Blur_Horizontal; }

// ---- Reference ---------------------------------------------------------------------------

void PassRef(const uint16_t* in, uint16_t* out, int32_t w, int32_t h, int32_t b, bool vertical, bool repeat) {
  const uint32_t d = 2 * uint32_t(b) + 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) {
        uint32_t sum = 0;
        for (int32_t k = -b; k <= b; ++k) {
          int32_t sx = vertical ? x : x + k, sy = vertical ? y + k : y;
          if (repeat) {
            sx = std::clamp(sx, 0, w - 1);
            sy = std::clamp(sy, 0, h - 1);
          } else if (sx < 0 || sy < 0 || sx >= w || sy >= h) {
            continue;
          }
          sum += in[(size_t(sy) * w + sx) * 4 + c];
        }
        out[(size_t(y) * w + x) * 4 + c] = static_cast<uint16_t>((sum + uint32_t(b)) / d);
      }
}

// ---- Fast ---------------------------------------------------------------------------------

// One horizontal pass over every row, in place, through a line extended by
// b values at each end.
void PassAcross(uint16_t* buf, int32_t w, int32_t h, int32_t b, bool repeat, uint16_t* line) {
  const Divider div(static_cast<uint32_t>(b));
  for (int32_t y = 0; y < h; ++y) {
    uint16_t* row = buf + size_t(y) * w * 4;
    for (size_t k = 0; k < size_t(b); ++k)
      for (int c = 0; c < 4; ++c) {
        line[4 * k + c] = repeat ? row[c] : 0;
        line[4 * (b + w + k) + c] = repeat ? row[4 * (w - 1) + c] : 0;
      }
    std::memcpy(line + 4 * size_t(b), row, size_t(w) * 8);
    uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (size_t k = 0; k < 2 * size_t(b); ++k) {
      s0 += line[4 * k];
      s1 += line[4 * k + 1];
      s2 += line[4 * k + 2];
      s3 += line[4 * k + 3];
    }
    const uint16_t* add = line + 8 * size_t(b);
    const uint16_t* sub = line;
    for (int32_t x = 0; x < w; ++x, add += 4, sub += 4) {
      s0 += add[0];
      s1 += add[1];
      s2 += add[2];
      s3 += add[3];
      row[4 * x] = div(s0);
      row[4 * x + 1] = div(s1);
      row[4 * x + 2] = div(s2);
      row[4 * x + 3] = div(s3);
      s0 -= sub[0];
      s1 -= sub[1];
      s2 -= sub[2];
      s3 -= sub[3];
    }
  }
}

// One vertical pass from `in` to `out` with one running sum per column and channel.
void PassDown(const uint16_t* in, uint16_t* out, int32_t w, int32_t h, int32_t b, bool repeat, uint32_t* sums) {
  const Divider div(static_cast<uint32_t>(b));
  const size_t n = size_t(w) * 4;
  auto rowAt = [&](int32_t y) -> const uint16_t* {
    if (repeat) return in + size_t(std::clamp(y, 0, h - 1)) * n;
    return (y < 0 || y >= h) ? nullptr : in + size_t(y) * n;
  };
  std::memset(sums, 0, n * sizeof(uint32_t));
  for (int32_t k = -b; k < b; ++k)
    if (const uint16_t* r = rowAt(k))
      for (size_t i = 0; i < n; ++i) sums[i] += r[i];
  const uint32_t bias = div.b;
  const uint64_t m = div.m;
  for (int32_t y = 0; y < h; ++y) {
    uint16_t* o = out + size_t(y) * n;
    if (const uint16_t* r = rowAt(y + b))
      for (size_t i = 0; i < n; ++i) sums[i] += r[i];
    for (size_t i = 0; i < n; ++i) o[i] = static_cast<uint16_t>((uint64_t{sums[i] + bias} * m) >> 46);
    if (const uint16_t* r = rowAt(y - b))
      for (size_t i = 0; i < n; ++i) sums[i] -= r[i];
  }
}

}  // namespace

BlurPlan PlanBlur(double radius, int32_t quality) {
  BlurPlan plan;
  if (quality == 0) {
    plan.passes = 1;
    plan.halfWidth[0] = static_cast<int32_t>(std::floor(radius + 0.5));
    return plan;
  }
  // Three boxes whose variances add up to that of the single box of the same
  // radius, R (R + 1) / 3: n1 boxes of width wl and 3 - n1 of width wl + 2.
  const double variance = radius * (radius + 1.0) / 3.0;
  int32_t wl = static_cast<int32_t>(std::floor(std::sqrt(4.0 * variance + 1.0)));
  if (wl % 2 == 0) --wl;
  const double ideal = (12.0 * variance - 3.0 * wl * wl - 12.0 * wl - 9.0) / (-4.0 * wl - 4.0);
  const int32_t smaller = std::clamp(static_cast<int32_t>(std::lround(ideal)), 0, 3);
  plan.passes = 3;
  for (int i = 0; i < 3; ++i) plan.halfWidth[i] = ((i < smaller ? wl : wl + 2) - 1) / 2;
  return plan;
}

ErrorCode BlurReference(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world) {
  Work work(world.width, world.height);
  if (!work.ok()) return OutOfMemory(kSiteBlur, tv::pf::kStrScratch);
  const bool repeat = (flags & PF_Blur_RepeatEdges) != 0;
  uint16_t* cur = work.a.get();
  uint16_t* next = work.b.get();
  Load(world, straight, cur);
  for (int dir = 0; dir < 2; ++dir) {
    if (dir == 0 ? !Horizontal(flags) : !Vertical(flags)) continue;
    for (int32_t p = 0; p < plan.passes; ++p) {
      PassRef(cur, next, world.width, world.height, plan.halfWidth[p], dir == 1, repeat);
      std::swap(cur, next);
    }
  }
  Store(cur, straight, world);
  return 0;
}

ErrorCode BlurFast(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world) {
  const int32_t w = world.width, h = world.height;
  int32_t widest = 0;
  for (int32_t p = 0; p < plan.passes; ++p) widest = std::max(widest, plan.halfWidth[p]);
  const bool down = Vertical(flags);
  Scratch<uint16_t> a(size_t(w) * h * 4), b(down ? size_t(w) * h * 4 : 0);
  Scratch<uint16_t> line((size_t(w) + 2 * size_t(widest)) * 4);
  Scratch<uint32_t> sums(down ? size_t(w) * 4 : 0);
  if (!a.ok() || !b.ok() || !line.ok() || !sums.ok()) return OutOfMemory(kSiteBlur, tv::pf::kStrScratch);
  const bool repeat = (flags & PF_Blur_RepeatEdges) != 0;
  uint16_t* cur = a.get();
  Load(world, straight, cur);
  if (Horizontal(flags))
    for (int32_t p = 0; p < plan.passes; ++p)
      if (plan.halfWidth[p] > 0) PassAcross(cur, w, h, plan.halfWidth[p], repeat, line.get());
  if (down) {
    uint16_t* next = b.get();
    for (int32_t p = 0; p < plan.passes; ++p) {
      if (plan.halfWidth[p] == 0) continue;
      PassDown(cur, next, w, h, plan.halfWidth[p], repeat, sums.get());
      std::swap(cur, next);
    }
  }
  Store(cur, straight, world);
  return 0;
}

}  // namespace tv::pf2

namespace {

ErrorCode FastBlur(double radius, uint32_t flags, int32_t quality, PFWorld* world, bool straight) {
  constexpr int32_t kRt = PF_Routine_FastBlur;
  if (!ValidWorld(world)) return BadArg(kRt, "bad world");
  // A negative radius, or one that is not a number, is refused; so is one
  // beyond the largest supported (whose sums could overflow).
  if (!(radius >= 0.0) || radius > static_cast<double>(PF_MaxBlurRadius)) return BadArg(kRt, "bad radius");
  if ((flags & ~uint32_t{PF_Blur_Horizontal | PF_Blur_Vertical | PF_Blur_RepeatEdges}) != 0)
    return BadArg(kRt, "unknown flags");
  const BlurPlan plan = PlanBlur(radius, quality);
  bool identity = true;
  for (int32_t p = 0; p < plan.passes; ++p) identity = identity && plan.halfWidth[p] == 0;
  if (identity) return 0;
  return UseReference() ? BlurReference(plan, flags, straight, *world) : BlurFast(plan, flags, straight, *world);
}

// Running box sum over one scan of bytes.
void BoxScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius, uint8_t* dst, int32_t dstStride) {
  const uint32_t d = 2 * uint32_t(radius) + 1;
  uint32_t sum = 0;
  for (int32_t k = 0; k < radius && k < count; ++k) sum += src[size_t(k) * srcStride];
  for (int32_t i = 0; i < count; ++i) {
    if (i + radius < count) sum += src[size_t(i + radius) * srcStride];
    dst[size_t(i) * dstStride] = static_cast<uint8_t>((sum + uint32_t(radius)) / d);
    if (i - radius >= 0) sum -= src[size_t(i - radius) * srcStride];
  }
}

bool ScanArgs(const uint8_t* src, int32_t srcStride, int32_t count, const uint8_t* dst, int32_t dstStride) {
  return src && dst && count >= 0 && srcStride >= 1 && dstStride >= 1;
}

// In-place scans read from a copy of the scan.
bool Aliased(const uint8_t* src, int32_t srcStride, int32_t count, const uint8_t* dst, int32_t dstStride) {
  if (count == 0) return false;
  const uint8_t* srcEnd = src + size_t(count - 1) * srcStride + 1;
  const uint8_t* dstEnd = dst + size_t(count - 1) * dstStride + 1;
  return src < dstEnd && dst < srcEnd;
}

}  // namespace

ErrorCode PF_FastBlur_Straight(void* /*ref*/, double radius, uint32_t flags, int32_t quality, PFWorld* world) {
  return FastBlur(radius, flags, quality, world, true);
}
ErrorCode PF_FastBlur_Premul(void* /*ref*/, double radius, uint32_t flags, int32_t quality, PFWorld* world) {
  return FastBlur(radius, flags, quality, world, false);
}

ErrorCode PF_BoxBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius, uint8_t* dst,
                            int32_t dstStride) {
  constexpr int32_t kRt = PF_Routine_BoxBlurUnoScan;
  if (!ScanArgs(src, srcStride, count, dst, dstStride)) return BadArg(kRt, "bad scan");
  if (radius < 0 || radius > PF_MaxBlurRadius) return BadArg(kRt, "bad radius");
  if (radius == 0 && src == dst && srcStride == dstStride) return 0;
  if (!Aliased(src, srcStride, count, dst, dstStride)) {
    BoxScan(src, srcStride, count, radius, dst, dstStride);
    return 0;
  }
  Scratch<uint8_t> copy(static_cast<size_t>(count));
  if (!copy.ok()) return OutOfMemory(kSiteBlur, tv::pf::kStrScratch);
  for (int32_t i = 0; i < count; ++i) copy[i] = src[size_t(i) * srcStride];
  BoxScan(copy.get(), 1, count, radius, dst, dstStride);
  return 0;
}

ErrorCode PF_GBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, double radius, uint8_t* dst,
                          int32_t dstStride) {
  constexpr int32_t kRt = PF_Routine_GBlurUnoScan;
  if (!ScanArgs(src, srcStride, count, dst, dstStride)) return BadArg(kRt, "bad scan");
  if (!(radius >= 0.0) || radius > static_cast<double>(PF_MaxKernelRadius)) return BadArg(kRt, "bad radius");
  const int32_t r = static_cast<int32_t>(std::ceil(radius));
  Scratch<int32_t> kernel(2 * size_t(r) + 1);
  if (!kernel.ok()) return OutOfMemory(kSiteBlur, tv::pf::kStrGaussKernel);
  Scratch<uint8_t> copy(static_cast<size_t>(count));
  if (!copy.ok()) return OutOfMemory(kSiteBlur, tv::pf::kStrScratch);
  int32_t diameter = 0;
  if (ErrorCode err = PF_GaussianKernel(nullptr, radius, PF_Kernel_1D, 1.0, &diameter, kernel.get())) return err;
  int64_t total = 0;
  for (int32_t k = 0; k < diameter; ++k) total += kernel[k];
  for (int32_t i = 0; i < count; ++i) copy[i] = src[size_t(i) * srcStride];
  for (int32_t i = 0; i < count; ++i) {
    int64_t sum = 0;
    for (int32_t k = std::max(0, r - i); k < diameter && i + k - r < count; ++k) sum += int64_t{kernel[k]} * copy[i + k - r];
    dst[size_t(i) * dstStride] = static_cast<uint8_t>(std::min<int64_t>(255, (sum + total / 2) / total));
  }
  return 0;
}
