// The Gaussian value and kernel, and convolution of a world with one kernel
// per channel (square, or one row applied across and then down).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

// Kernels whose absolute values sum beyond this are refused: the sums of a
// separable pass then stay far inside 64 bits.
constexpr int64_t kMaxKernelWeight = int64_t{1} << 24;

int64_t RoundDiv(int64_t num, int64_t div) {
  if (div < 0) {
    num = -num;
    div = -div;
  }
  // Halves round up: floor((2 num + div) / (2 div)).
  const int64_t n = 2 * num + div, d = 2 * div;
  return n >= 0 ? n / d : -((-n + d - 1) / d);
}
uint8_t Clamp8(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

}  // namespace

double PFp_GaussianValue(double x) {
  if (!(x <= 1.0)) return 0.0;
  return 1.0 - (1.0 - std::exp(-2.378 * x * x)) * 1.102;
}

ErrorCode PF_GaussianKernel(void* /*ref*/, double radius, int32_t flags, double multiplier, int32_t* diameter,
                            int32_t* kernel) {
  if (diameter) *diameter = 0;
  if (!diameter || !kernel) return BadParam(PF_Routine_GaussianKernel, "null output");
  // A negative radius is refused; so is one that is not a number or is too
  // large for any caller's buffer, which would otherwise size the kernel.
  if (!(radius >= 0.0) || radius > static_cast<double>(PF_MaxKernelRadius)) return BadParam(PF_Routine_GaussianKernel, "bad radius");
  if (!std::isfinite(multiplier)) return BadParam(PF_Routine_GaussianKernel, "bad multiplier");
  const int32_t r = static_cast<int32_t>(std::ceil(radius));
  const int32_t d = 2 * r + 1;
  const bool oneRow = (flags & PF_Kernel_1D) != 0;
  const int32_t rows = oneRow ? 1 : d;
  double unroundedSum = 0.0;
  for (int32_t j = 0; j < rows; ++j) {
    for (int32_t i = 0; i < d; ++i) {
      const double dx = i - r, dy = oneRow ? 0.0 : j - r;
      double v = 255.0 * PFp_GaussianValue(std::sqrt(dx * dx + dy * dy) / (radius + 1.0));
      if (multiplier != 1.0) v *= multiplier;
      unroundedSum += v;
      kernel[j * d + i] = static_cast<int32_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
    }
  }
  if ((flags & PF_Kernel_Normalize) != 0 && unroundedSum > 0.0) {
    // A zero sum (multiplier 0) leaves the values alone instead of dividing by it.
    const double factor = 255.0 * static_cast<double>(rows * d) / unroundedSum;
    for (int32_t k = 0; k < rows * d; ++k)
      kernel[k] = static_cast<int32_t>(std::floor(kernel[k] * factor + 0.5));
  }
  *diameter = d;
  return 0;
}

ErrorCode PF_Convolve(void* /*ref*/, const PFWorld* src, const Rect* area, int32_t flags, int32_t diameter,
                      const void* alphaKernel, const void* redKernel, const void* greenKernel,
                      const void* blueKernel, PFWorld* dst) {
  constexpr int32_t kRt = PF_Routine_Convolve;
  if (!ValidWorld(src) || !ValidWorld(dst)) return BadParam(kRt, "bad world");
  if (src->width != dst->width || src->height != dst->height) return BadParam(kRt, "worlds of different sizes");
  if ((flags & ~(PF_Convolve_1D | PF_Convolve_RepeatEdges)) != 0) return BadParam(kRt, "unknown flags");
  if (diameter < 1 || (diameter & 1) == 0 || diameter > 2 * PF_MaxKernelRadius + 1)
    return BadParam(kRt, "bad kernel diameter");
  Rect a;
  if (!ResolveRect(*dst, area, &a)) return BadParam(kRt, "area outside the world");
  const bool oneRow = (flags & PF_Convolve_1D) != 0;
  const bool repeat = (flags & PF_Convolve_RepeatEdges) != 0;
  const int32_t taps = oneRow ? diameter : diameter * diameter;
  const int32_t* kernels[4] = {static_cast<const int32_t*>(alphaKernel), static_cast<const int32_t*>(redKernel),
                               static_cast<const int32_t*>(greenKernel), static_cast<const int32_t*>(blueKernel)};
  int64_t divisor[4] = {1, 1, 1, 1};
  for (int c = 0; c < 4; ++c) {
    if (!kernels[c]) continue;
    int64_t sum = 0, weight = 0;
    for (int32_t k = 0; k < taps; ++k) {
      sum += kernels[c][k];
      weight += std::abs(int64_t{kernels[c][k]});
    }
    if (weight > kMaxKernelWeight) return BadParam(kRt, "kernel values too large");
    const int64_t s = oneRow ? sum * sum : sum;
    divisor[c] = s != 0 ? s : 1;
  }
  if (a.right == a.left || a.bottom == a.top) return 0;

  const int32_t w = src->width, h = src->height, r = diameter / 2;
  // Reading and writing one world: convolve from a copy of it.
  PFWorld in = *src;
  ScratchArray<uint8_t> copy(Overlap(*src, *dst) ? static_cast<size_t>(w) * 4 * h : 0);
  if (!copy.ok()) return kReport.Fail(kSiteConvolve, kErrOutOfMemory, kStrScratch);
  if (copy.data()) {
    for (int32_t y = 0; y < h; ++y) std::memcpy(copy.data() + static_cast<size_t>(y) * w * 4, Row(*src, y), 4 * size_t(w));
    in.data = reinterpret_cast<char*>(copy.data());
    in.rowBytes = 4 * w;
  }
  auto at = [&](int32_t x, int32_t y, int c) -> int64_t {
    if (repeat) {
      x = std::clamp(x, 0, w - 1);
      y = std::clamp(y, 0, h - 1);
    } else if (x < 0 || y < 0 || x >= w || y >= h) {
      return 0;
    }
    return Row(in, y)[4 * x + c];
  };
  const int32_t aw = a.right - a.left;
  if (!oneRow) {
    for (int32_t y = a.top; y < a.bottom; ++y) {
      uint8_t* out = Row(*dst, y);
      for (int32_t x = a.left; x < a.right; ++x) {
        for (int c = 0; c < 4; ++c) {
          if (!kernels[c]) {
            out[4 * x + c] = static_cast<uint8_t>(at(x, y, c));
            continue;
          }
          int64_t sum = 0;
          for (int32_t j = 0; j < diameter; ++j)
            for (int32_t i = 0; i < diameter; ++i) sum += kernels[c][j * diameter + i] * at(x + i - r, y + j - r, c);
          out[4 * x + c] = Clamp8(RoundDiv(sum, divisor[c]));
        }
      }
    }
    return 0;
  }
  // Separable: unnormalised sums across every row the area's column of taps
  // reaches, then down, divided once by the square of the row's sum.
  const int32_t top = repeat ? 0 : std::max(0, a.top - r), bottom = repeat ? h : std::min(h, a.bottom + r);
  const int32_t rowsNeeded = bottom - top;
  ScratchArray<int64_t> across(static_cast<size_t>(aw) * 4 * rowsNeeded);
  if (!across.ok()) return kReport.Fail(kSiteConvolve, kErrOutOfMemory, kStrScratch);
  for (int32_t y = top; y < bottom; ++y) {
    int64_t* row = across.data() + static_cast<size_t>(y - top) * aw * 4;
    for (int32_t x = a.left; x < a.right; ++x)
      for (int c = 0; c < 4; ++c) {
        int64_t sum = 0;
        if (kernels[c])
          for (int32_t i = 0; i < diameter; ++i) sum += kernels[c][i] * at(x + i - r, y, c);
        row[4 * (x - a.left) + c] = sum;
      }
  }
  for (int32_t y = a.top; y < a.bottom; ++y) {
    uint8_t* out = Row(*dst, y);
    for (int32_t x = a.left; x < a.right; ++x)
      for (int c = 0; c < 4; ++c) {
        if (!kernels[c]) {
          out[4 * x + c] = static_cast<uint8_t>(at(x, y, c));
          continue;
        }
        int64_t sum = 0;
        for (int32_t j = 0; j < diameter; ++j) {
          int32_t sy = y + j - r;
          if (repeat) sy = std::clamp(sy, 0, h - 1);
          if (sy < top || sy >= bottom) continue;
          sum += kernels[c][j] * across[static_cast<size_t>(sy - top) * aw * 4 + 4 * (x - a.left) + c];
        }
        out[4 * x + c] = Clamp8(RoundDiv(sum, divisor[c]));
      }
  }
  return 0;
}
