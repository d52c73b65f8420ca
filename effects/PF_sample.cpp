// Samplers: nearest neighbour, sub-pixel (bilinear) and area, for straight
// and premultiplied pixels, one position at a time or along a row.
//
// Each sampler has a literal reference (every neighbour fetched through a
// bounds check, every weight computed where it is used) and a fast row
// kernel that hoists the checks and the weights; the tests hold the two
// equal bit for bit.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "PF_second_internal.h"

using namespace tv;
using namespace tv::pf2;

namespace tv::pf2 {
namespace {

constexpr int32_t kMaxAreaRadius = 4096 << 16;

inline uint32_t Load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline PF_Pixel ToPixel(uint32_t v) {
  PF_Pixel p;
  std::memcpy(&p, &v, 4);
  return p;
}
inline uint32_t FromBytes(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  const uint8_t bytes[4] = {uint8_t(a), uint8_t(r), uint8_t(g), uint8_t(b)};
  return Load(bytes);
}

// The pixel at (ix, iy); outside the world transparent, or the nearest edge
// pixel when edges repeat.
inline uint32_t Fetch(const PFWorld& w, int64_t ix, int64_t iy, bool repeat) {
  if (repeat) {
    ix = std::clamp<int64_t>(ix, 0, w.width - 1);
    iy = std::clamp<int64_t>(iy, 0, w.height - 1);
  } else if (ix < 0 || iy < 0 || ix >= w.width || iy >= w.height) {
    return 0;
  }
  return Load(Row(w, static_cast<int32_t>(iy)) + 4 * ix);
}

// Combines weighted neighbours. `sum[c]` is sum(w * v_c) for premultiplied
// pixels; for straight pixels sum[0] is sum(w * a) and sum[1..3] sum(w * a * c).
inline uint32_t ResolvePremul(const uint64_t sum[4], uint64_t total) {
  uint32_t v[4];
  for (int c = 0; c < 4; ++c) v[c] = static_cast<uint32_t>((sum[c] + total / 2) / total);
  return FromBytes(v[0], v[1], v[2], v[3]);
}
inline uint32_t ResolveStraight(const uint64_t sum[4], uint64_t total) {
  const uint64_t A = sum[0];
  const uint32_t alpha = static_cast<uint32_t>((A + total / 2) / total);
  if (alpha == 0) return 0;
  uint32_t v[3];
  for (int c = 0; c < 3; ++c) v[c] = static_cast<uint32_t>((sum[c + 1] + A / 2) / A);
  return FromBytes(alpha, v[0], v[1], v[2]);
}
inline void Accumulate(uint64_t sum[4], uint32_t px, uint64_t w, bool straight) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&px);
  if (straight) {
    const uint64_t wa = w * b[0];
    sum[0] += wa;
    sum[1] += wa * b[1];
    sum[2] += wa * b[2];
    sum[3] += wa * b[3];
  } else {
    for (int c = 0; c < 4; ++c) sum[c] += w * b[c];
  }
}

// ---- Reference samplers ----------------------------------------------------------------

uint32_t SubpixelRef(const PFWorld& w, Fixed x, Fixed y, bool straight, bool repeat) {
  const int32_t ix = x >> 16, iy = y >> 16;
  const uint64_t fx = (x >> 8) & 0xFF, fy = (y >> 8) & 0xFF;
  // Positions are resolved to 1/256 pixel: no fraction there takes the pixel.
  if (fx == 0 && fy == 0) return Fetch(w, ix, iy, repeat);
  const uint32_t p00 = Fetch(w, ix, iy, repeat), p10 = Fetch(w, int64_t{ix} + 1, iy, repeat);
  const uint32_t p01 = Fetch(w, ix, int64_t{iy} + 1, repeat), p11 = Fetch(w, int64_t{ix} + 1, int64_t{iy} + 1, repeat);
  if (p00 == p10 && p00 == p01 && p00 == p11) return p00;
  uint64_t sum[4] = {0, 0, 0, 0};
  Accumulate(sum, p00, (256 - fx) * (256 - fy), straight);
  Accumulate(sum, p10, fx * (256 - fy), straight);
  Accumulate(sum, p01, (256 - fx) * fy, straight);
  Accumulate(sum, p11, fx * fy, straight);
  return straight ? ResolveStraight(sum, 65536) : ResolvePremul(sum, 65536);
}

// The footprint [centre - radius, centre + radius] in 1/256 pixel units,
// shifted by half a pixel so that pixel i covers [256 i, 256 i + 256).
struct Span {
  int64_t lo, hi;
};
inline Span AreaSpan(Fixed centre, Fixed radius) {
  radius = std::clamp<Fixed>(radius, 0x8000, kMaxAreaRadius);
  const int64_t c = static_cast<int64_t>(centre) + 0x8000;
  return Span{(c - radius) >> 8, (c + radius) >> 8};
}
// The part of pixel i that the span covers, in 1/256 pixel.
inline int64_t Cover(const Span& s, int64_t i) {
  return std::max<int64_t>(0, std::min(s.hi, 256 * i + 256) - std::max(s.lo, 256 * i));
}
inline int64_t FloorDiv256(int64_t v) { return v >> 8; }

uint32_t AreaRef(const PFWorld& w, Fixed x, Fixed y, Fixed rx, Fixed ry, bool straight, bool repeat) {
  const Span sx = AreaSpan(x, rx), sy = AreaSpan(y, ry);
  const uint64_t total = static_cast<uint64_t>(sx.hi - sx.lo) * static_cast<uint64_t>(sy.hi - sy.lo);
  uint64_t sum[4] = {0, 0, 0, 0};
  for (int64_t j = FloorDiv256(sy.lo); j <= FloorDiv256(sy.hi - 1); ++j) {
    for (int64_t i = FloorDiv256(sx.lo); i <= FloorDiv256(sx.hi - 1); ++i) {
      const uint64_t weight = static_cast<uint64_t>(Cover(sx, i) * Cover(sy, j));
      if (weight == 0) continue;
      // Pixels outside the world read as transparent (or repeat the edge) but keep their weight.
      Accumulate(sum, Fetch(w, i, j, repeat), weight, straight);
    }
  }
  return straight ? ResolveStraight(sum, total) : ResolvePremul(sum, total);
}

uint32_t SampleRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y) {
  const PFWorld& w = *p.source;
  const bool repeat = p.edgeMode == PF_Edge_Repeat;
  switch (kind) {
    case PF_Sample_NN: return Fetch(w, (int64_t{x} + 0x8000) >> 16, (int64_t{y} + 0x8000) >> 16, repeat);
    case PF_Sample_Subpixel_Straight: return SubpixelRef(w, x, y, true, repeat);
    case PF_Sample_Subpixel_Premul: return SubpixelRef(w, x, y, false, repeat);
    case PF_Sample_Area_Straight: return AreaRef(w, x, y, p.xRadius, p.yRadius, true, repeat);
    default: return AreaRef(w, x, y, p.xRadius, p.yRadius, false, repeat);
  }
}

// ---- Fast row kernels ---------------------------------------------------------------------

void NNRow(const PFWorld& w, int64_t x, int64_t y, int64_t dx, int64_t dy, int32_t count, uint32_t* out) {
  for (int32_t i = 0; i < count; ++i, x += dx, y += dy) {
    const int64_t ix = (x + 0x8000) >> 16, iy = (y + 0x8000) >> 16;
    out[i] = (static_cast<uint64_t>(ix) < static_cast<uint64_t>(w.width) &&
              static_cast<uint64_t>(iy) < static_cast<uint64_t>(w.height))
                 ? Load(Row(w, static_cast<int32_t>(iy)) + 4 * ix)
                 : 0;
  }
}

template <bool kStraight>
uint32_t BilinearInside(const uint8_t* p0, const uint8_t* p1, uint32_t fx, uint32_t fy) {
  const uint32_t a = Load(p0), b = Load(p0 + 4), c = Load(p1), d = Load(p1 + 4);
  if ((fx | fy) == 0) return a;
  if (a == b && a == c && a == d) return a;
  const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
  // Straight sums reach 65536 * 255 * 255 + 32767 < 2^32; premultiplied ones far less.
  if constexpr (kStraight) {
    const uint32_t wa0 = w00 * p0[0], wa1 = w10 * p0[4], wa2 = w01 * p1[0], wa3 = w11 * p1[4];
    const uint32_t A = wa0 + wa1 + wa2 + wa3;
    const uint32_t alpha = (A + 32768) >> 16;
    if (alpha == 0) return 0;
    uint32_t v[3];
    for (int k = 1; k < 4; ++k)
      v[k - 1] = (wa0 * p0[k] + wa1 * p0[4 + k] + wa2 * p1[k] + wa3 * p1[4 + k] + A / 2) / A;
    return FromBytes(alpha, v[0], v[1], v[2]);
  } else {
    uint32_t v[4];
    for (int k = 0; k < 4; ++k) v[k] = (w00 * p0[k] + w10 * p0[4 + k] + w01 * p1[k] + w11 * p1[4 + k] + 32768) >> 16;
    return FromBytes(v[0], v[1], v[2], v[3]);
  }
}

template <bool kStraight>
void SubpixelRow(const PFWorld& w, int64_t x, int64_t y, int64_t dx, int64_t dy, int32_t count, uint32_t* out) {
  for (int32_t i = 0; i < count; ++i, x += dx, y += dy) {
    const int64_t ix = x >> 16, iy = y >> 16;
    // Both neighbours inside (and a zero fraction never reads the second one).
    if (ix >= 0 && iy >= 0 && ix + 1 < w.width && iy + 1 < w.height) {
      const uint8_t* p0 = Row(w, static_cast<int32_t>(iy)) + 4 * ix;
      out[i] = BilinearInside<kStraight>(p0, p0 + w.rowBytes, static_cast<uint32_t>((x >> 8) & 0xFF),
                                         static_cast<uint32_t>((y >> 8) & 0xFF));
    } else {
      out[i] = SubpixelRef(w, static_cast<Fixed>(x), static_cast<Fixed>(y), kStraight, false);
    }
  }
}

// Area: the column and row weights are separable; only pixels inside the
// world are visited, while the total keeps the whole footprint.
template <bool kStraight>
uint32_t AreaFast(const PFWorld& w, Fixed x, Fixed y, Fixed rx, Fixed ry) {
  const Span sx = AreaSpan(x, rx), sy = AreaSpan(y, ry);
  const uint64_t total = static_cast<uint64_t>(sx.hi - sx.lo) * static_cast<uint64_t>(sy.hi - sy.lo);
  const int64_t i0 = std::max<int64_t>(0, FloorDiv256(sx.lo)), i1 = std::min<int64_t>(w.width - 1, FloorDiv256(sx.hi - 1));
  const int64_t j0 = std::max<int64_t>(0, FloorDiv256(sy.lo)), j1 = std::min<int64_t>(w.height - 1, FloorDiv256(sy.hi - 1));
  uint64_t sum[4] = {0, 0, 0, 0};
  for (int64_t j = j0; j <= j1; ++j) {
    const uint64_t wy = static_cast<uint64_t>(Cover(sy, j));
    const uint8_t* row = Row(w, static_cast<int32_t>(j));
    uint64_t rs[4] = {0, 0, 0, 0};
    for (int64_t i = i0; i <= i1; ++i) {
      const uint64_t wx = static_cast<uint64_t>(Cover(sx, i));
      const uint8_t* p = row + 4 * i;
      if constexpr (kStraight) {
        const uint64_t wa = wx * p[0];
        rs[0] += wa;
        rs[1] += wa * p[1];
        rs[2] += wa * p[2];
        rs[3] += wa * p[3];
      } else {
        for (int c = 0; c < 4; ++c) rs[c] += wx * p[c];
      }
    }
    for (int c = 0; c < 4; ++c) sum[c] += wy * rs[c];
  }
  return kStraight ? ResolveStraight(sum, total) : ResolvePremul(sum, total);
}

ErrorCode CheckParams(int32_t routine, const PF_SampleParams* params, const void* out) {
  if (!params || !out) return BadArg(routine, "null parameters or result");
  if (!ValidWorld(params->source)) return BadArg(routine, "bad source world");
  if (params->edgeMode != PF_Edge_Transparent && params->edgeMode != PF_Edge_Repeat)
    return BadArg(routine, "unknown edge mode");
  return 0;
}

ErrorCode SampleOne(int32_t routine, int32_t kind, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  if (out) *out = PF_Pixel{};
  if (ErrorCode err = CheckParams(routine, params, out)) return err;
  uint32_t v;
  if (UseReference())
    v = SampleRef(kind, *params, x, y);
  else
    SampleRowFast(kind, *params, x, y, 0, 0, 1, reinterpret_cast<PF_Pixel*>(&v));
  *out = ToPixel(v);
  return 0;
}

}  // namespace

uint32_t SampleNN(const PFWorld& src, Fixed x, Fixed y) {
  uint32_t v;
  NNRow(src, x, y, 0, 0, 1, &v);
  return v;
}

void SampleRowRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                  PF_Pixel* out) {
  int64_t px = x, py = y;
  for (int32_t i = 0; i < count; ++i, px += dx, py += dy) {
    // Positions that leave the 16.16 range are outside any world.
    const bool representable = px >= INT32_MIN && px <= INT32_MAX && py >= INT32_MIN && py <= INT32_MAX;
    out[i] = representable ? ToPixel(SampleRef(kind, p, static_cast<Fixed>(px), static_cast<Fixed>(py))) : PF_Pixel{};
  }
}

void SampleRowFast(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                   PF_Pixel* out) {
  const PFWorld& w = *p.source;
  uint32_t* o = reinterpret_cast<uint32_t*>(out);
  const int64_t endX = x + static_cast<int64_t>(dx) * (count > 0 ? count - 1 : 0);
  const int64_t endY = y + static_cast<int64_t>(dy) * (count > 0 ? count - 1 : 0);
  const bool representable = endX >= INT32_MIN && endX <= INT32_MAX && endY >= INT32_MIN && endY <= INT32_MAX;
  // Repeated edges are rare (effects asking for them): the reference serves them.
  if (!representable || p.edgeMode == PF_Edge_Repeat) {
    SampleRowRef(kind, p, x, y, dx, dy, count, out);
    return;
  }
  switch (kind) {
    case PF_Sample_NN: NNRow(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Subpixel_Straight: SubpixelRow<true>(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Subpixel_Premul: SubpixelRow<false>(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Area_Straight:
      for (int32_t i = 0; i < count; ++i)
        o[i] = AreaFast<true>(w, static_cast<Fixed>(x + int64_t{dx} * i), static_cast<Fixed>(y + int64_t{dy} * i),
                              p.xRadius, p.yRadius);
      break;
    default:
      for (int32_t i = 0; i < count; ++i)
        o[i] = AreaFast<false>(w, static_cast<Fixed>(x + int64_t{dx} * i), static_cast<Fixed>(y + int64_t{dy} * i),
                               p.xRadius, p.yRadius);
      break;
  }
}

int32_t ChannelOrder(const PFWorld& w) {
  int32_t order = BM_Order_ARGB;
  if (w.world && BM_GetChannelOrder(w.world, &order) != 0) return BM_Order_ARGB;
  return order;
}

bool ResolveRect(const PFWorld& w, const Rect* r, Rect* out) {
  if (!r) {
    *out = Rect{0, 0, static_cast<int16_t>(std::min(w.height, 32767)), static_cast<int16_t>(std::min(w.width, 32767))};
    return true;
  }
  if (r->top < 0 || r->left < 0 || r->top > r->bottom || r->left > r->right || r->bottom > w.height ||
      r->right > w.width)
    return false;
  *out = *r;
  return true;
}

}  // namespace tv::pf2

ErrorCode PF_NNSample(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_NNSample, PF_Sample_NN, x, y, params, out);
}
ErrorCode PF_SubpixelSample_Straight(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_SubpixelSample, PF_Sample_Subpixel_Straight, x, y, params, out);
}
ErrorCode PF_SubpixelSample_Premul(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_SubpixelSample, PF_Sample_Subpixel_Premul, x, y, params, out);
}
ErrorCode PF_AreaSample_Straight(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_AreaSample, PF_Sample_Area_Straight, x, y, params, out);
}
ErrorCode PF_AreaSample_Premul(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_AreaSample, PF_Sample_Area_Premul, x, y, params, out);
}

ErrorCode PFp_SampleRow(void* /*ref*/, int32_t kind, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                        const PF_SampleParams* params, PF_Pixel* out) {
  if (ErrorCode err = CheckParams(PF_Routine_SampleRow, params, out)) return err;
  if (kind < PF_Sample_NN || kind > PF_Sample_Area_Premul)
    return BadArg(PF_Routine_SampleRow, "unknown sampler");
  if (count < 0) return BadArg(PF_Routine_SampleRow, "negative count");
  if (UseReference())
    SampleRowRef(kind, *params, x, y, dx, dy, count, out);
  else
    SampleRowFast(kind, *params, x, y, dx, dy, count, out);
  return 0;
}

// The routine table's entry types (PF.h) take these routines as they are.
static_assert(std::is_same_v<decltype(&PF_NNSample), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_SubpixelSample_Premul), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_AreaSample_Straight), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_CopyBits_HQ_Straight_Static), PF_CopyFunc>);
static_assert(std::is_same_v<decltype(&PF_Convolve), PF_ConvolveFunc>);
static_assert(std::is_same_v<decltype(&PF_GaussianKernel), PF_GaussianKernelFunc>);
static_assert(std::is_same_v<decltype(&PF_FastBlur_Straight), PF_FastBlurFunc>);
