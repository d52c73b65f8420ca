// The layer transform's samplers: nearest neighbour (draft), the sub-pixel
// (bilinear) sampler for footprints of at most half a pixel, the area
// sampler for larger ones, and the 16-sample motion blur built on them.
// Pixels are straight (unmatted): neighbours are weighted by their alpha.
//
// SampleReference and SampleRowReference follow the rules literally, one
// checked fetch at a time. SampleRowFast gives the same bytes: it reads the
// 2 x 2 neighbourhood straight from the rows when it lies inside the source
// and falls back to the reference only at the edges, and it resolves opaque
// neighbourhoods with shifts instead of divisions.
#include <algorithm>
#include <bit>
#include <cstring>

#include "PF_transform_internal.h"

namespace tv::pf::xform {
namespace {

// Pixels are handled as 32-bit words whose low byte is memory byte 0 (alpha).
static_assert(std::endian::native == std::endian::little);

constexpr int64_t kMaxAreaRadius = int64_t{4096} << 16;

inline uint32_t Load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  const uint8_t bytes[4] = {uint8_t(a), uint8_t(r), uint8_t(g), uint8_t(b)};
  return Load(bytes);
}
inline const uint8_t* RowOf(const PFWorld& w, int64_t y) {
  return reinterpret_cast<const uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowBytes;
}
// The pixel at (x, y), or transparent outside the world.
inline uint32_t Fetch(const PFWorld& w, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= w.width || y >= w.height) return 0;
  return Load(RowOf(w, y) + 4 * x);
}
inline uint32_t Byte(uint32_t px, int c) { return (px >> (8 * c)) & 0xFF; }  // memory byte c (little-endian)

// Straight resolve: sums of w * a and w * a * c over a total weight.
inline uint32_t Resolve(uint64_t A, const uint64_t C[3], uint64_t total) {
  const uint32_t alpha = static_cast<uint32_t>((A + total / 2) / total);
  if (alpha == 0) return 0;
  return Pack(alpha, static_cast<uint32_t>((C[0] + A / 2) / A), static_cast<uint32_t>((C[1] + A / 2) / A),
              static_cast<uint32_t>((C[2] + A / 2) / A));
}
inline void Add(uint64_t& A, uint64_t C[3], uint32_t px, uint64_t w) {
  const uint64_t wa = w * Byte(px, 0);
  A += wa;
  C[0] += wa * Byte(px, 1);
  C[1] += wa * Byte(px, 2);
  C[2] += wa * Byte(px, 3);
}

uint32_t NearestRef(const PFWorld& w, int64_t u, int64_t v) {
  return Fetch(w, (u + 0x8000) >> 16, (v + 0x8000) >> 16);
}

// Positions are resolved to 1/256 pixel; a position without a fraction
// there takes its pixel, four equal neighbours give their value, otherwise
// the neighbours are interpolated with weights (256 - f) and f per axis.
uint32_t SubpixelRef(const PFWorld& w, int64_t u, int64_t v) {
  const int64_t ix = u >> 16, iy = v >> 16;
  const uint64_t fx = (u >> 8) & 0xFF, fy = (v >> 8) & 0xFF;
  if (fx == 0 && fy == 0) return Fetch(w, ix, iy);
  const uint32_t p00 = Fetch(w, ix, iy), p10 = Fetch(w, ix + 1, iy);
  const uint32_t p01 = Fetch(w, ix, iy + 1), p11 = Fetch(w, ix + 1, iy + 1);
  if (p00 == p10 && p00 == p01 && p00 == p11) return p00;
  uint64_t A = 0, C[3] = {0, 0, 0};
  Add(A, C, p00, (256 - fx) * (256 - fy));
  Add(A, C, p10, fx * (256 - fy));
  Add(A, C, p01, (256 - fx) * fy);
  Add(A, C, p11, fx * fy);
  return Resolve(A, C, 65536);
}

// The box [centre - radius, centre + radius] on each axis, in 1/256 pixel,
// each pixel weighted by the part of it the box covers; pixels outside the
// source are transparent but keep their weight.
struct Span {
  int64_t lo, hi;
};
inline Span AreaSpan(int64_t centre, int64_t radius) {
  radius = std::clamp<int64_t>(radius, 0x8000, kMaxAreaRadius);
  const int64_t c = centre + 0x8000;  // pixel i covers [i, i + 1) here
  return Span{(c - radius) >> 8, (c + radius) >> 8};
}
inline int64_t Cover(const Span& s, int64_t i) {
  return std::max<int64_t>(0, std::min(s.hi, 256 * i + 256) - std::max(s.lo, 256 * i));
}

uint32_t AreaRef(const PFWorld& w, int64_t u, int64_t v, int64_t rx, int64_t ry) {
  const Span sx = AreaSpan(u, rx), sy = AreaSpan(v, ry);
  const uint64_t total = static_cast<uint64_t>(sx.hi - sx.lo) * static_cast<uint64_t>(sy.hi - sy.lo);
  uint64_t A = 0, C[3] = {0, 0, 0};
  const int64_t i0 = std::max<int64_t>(sx.lo >> 8, 0), i1 = std::min<int64_t>((sx.hi - 1) >> 8, w.width - 1);
  const int64_t j0 = std::max<int64_t>(sy.lo >> 8, 0), j1 = std::min<int64_t>((sy.hi - 1) >> 8, w.height - 1);
  for (int64_t j = j0; j <= j1; ++j)
    for (int64_t i = i0; i <= i1; ++i) {
      const uint64_t weight = static_cast<uint64_t>(Cover(sx, i) * Cover(sy, j));
      if (weight) Add(A, C, Fetch(w, i, j), weight);
    }
  return Resolve(A, C, total);
}

// Motion blur: the colour channels summed weighted by alpha, the alpha the
// sum of the 16 alphas shifted down by 4, each colour its weighted sum
// divided (truncating) by the sum of the alphas; all transparent gives 0.
struct BlurSum {
  uint32_t A = 0, C[3] = {0, 0, 0};
  void add(uint32_t px) {
    const uint32_t a = Byte(px, 0);
    A += a;
    C[0] += a * Byte(px, 1);
    C[1] += a * Byte(px, 2);
    C[2] += a * Byte(px, 3);
  }
  uint32_t result() const {
    if (A == 0) return 0;
    return Pack(A >> 4, C[0] / A, C[1] / A, C[2] / A);
  }
};

// ---- Fast single samples ---------------------------------------------------------------

inline uint32_t SubpixelFast(const PFWorld& w, int64_t u, int64_t v) {
  const int64_t ix = u >> 16, iy = v >> 16;
  // Inside when 0 <= ix < width - 1 and 0 <= iy < height - 1 (a negative
  // index wraps to a huge unsigned value).
  if (static_cast<uint64_t>(ix) >= static_cast<uint64_t>(int64_t{w.width} - 1) ||
      static_cast<uint64_t>(iy) >= static_cast<uint64_t>(int64_t{w.height} - 1))
    return SubpixelRef(w, u, v);
  const uint32_t fx = static_cast<uint32_t>(u >> 8) & 0xFF, fy = static_cast<uint32_t>(v >> 8) & 0xFF;
  const uint8_t* p0 = RowOf(w, iy) + 4 * ix;
  const uint8_t* p1 = p0 + w.rowBytes;
  const uint32_t a = Load(p0);
  if ((fx | fy) == 0) return a;
  const uint32_t b = Load(p0 + 4), c = Load(p1), d = Load(p1 + 4);
  if (a == b && a == c && a == d) return a;
  const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
  if ((a & b & c & d & 0xFF) == 0xFF) {
    // All four opaque: sum(w * 255 * c) / (255 * 65536) is sum(w * c) / 65536.
    uint32_t out = 0xFF;
    for (int k = 1; k < 4; ++k) {
      const uint32_t s = w00 * p0[k] + w10 * p0[4 + k] + w01 * p1[k] + w11 * p1[4 + k];
      out |= ((s + 32768) >> 16) << (8 * k);
    }
    return out;
  }
  const uint32_t wa0 = w00 * p0[0], wa1 = w10 * p0[4], wa2 = w01 * p1[0], wa3 = w11 * p1[4];
  const uint32_t A = wa0 + wa1 + wa2 + wa3;  // at most 65536 * 255
  const uint32_t alpha = (A + 32768) >> 16;
  if (alpha == 0) return 0;
  uint32_t out = alpha;
  for (int k = 1; k < 4; ++k) {
    // Below 65536 * 255 * 255 + A / 2 < 2^32.
    const uint32_t s = wa0 * p0[k] + wa1 * p0[4 + k] + wa2 * p1[k] + wa3 * p1[4 + k] + A / 2;
    out |= (s / A) << (8 * k);
  }
  return out;
}

inline uint32_t NearestFast(const PFWorld& w, int64_t u, int64_t v) {
  const int64_t x = (u + 0x8000) >> 16, y = (v + 0x8000) >> 16;
  if (static_cast<uint64_t>(x) >= static_cast<uint64_t>(w.width) ||
      static_cast<uint64_t>(y) >= static_cast<uint64_t>(w.height))
    return 0;
  return Load(RowOf(w, y) + 4 * x);
}

template <Sampler S>
inline uint32_t SampleFast(const RowSampling& r, int64_t u, int64_t v) {
  if constexpr (S == Sampler::Nearest) return NearestFast(*r.src, u, v);
  else if constexpr (S == Sampler::Subpixel) return SubpixelFast(*r.src, u, v);
  else return AreaRef(*r.src, u, v, r.rx, r.ry);
}

template <Sampler S>
void RowFast(const RowSampling& r, int32_t count, uint32_t* out) {
  int64_t u = r.u, v = r.v;
  if (!r.blur) {
    for (int32_t i = 0; i < count; ++i, u += r.du, v += r.dv) out[i] = SampleFast<S>(r, u, v);
    return;
  }
  int64_t uL = r.uL, vL = r.vL;
  for (int32_t i = 0; i < count; ++i, u += r.du, v += r.dv, uL += r.duL, vL += r.dvL) {
    const int64_t su = BlurStep(u, uL), sv = BlurStep(v, vL);
    BlurSum sum;
    int64_t x = u, y = v;
    for (int32_t k = 0; k < kBlurSamples; ++k, x += su, y += sv) sum.add(SampleFast<S>(r, x, y));
    out[i] = sum.result();
  }
}

}  // namespace

uint32_t SampleReference(const PFWorld& src, Sampler sampler, int64_t u, int64_t v, int64_t rx, int64_t ry) {
  switch (sampler) {
    case Sampler::Nearest: return NearestRef(src, u, v);
    case Sampler::Subpixel: return SubpixelRef(src, u, v);
    default: return AreaRef(src, u, v, rx, ry);
  }
}

void SampleRowReference(const RowSampling& r, int32_t count, uint32_t* out) {
  for (int32_t i = 0; i < count; ++i) {
    const int64_t u = r.u + i * r.du, v = r.v + i * r.dv;
    if (!r.blur) {
      out[i] = SampleReference(*r.src, r.sampler, u, v, r.rx, r.ry);
      continue;
    }
    const int64_t uL = r.uL + i * r.duL, vL = r.vL + i * r.dvL;
    BlurSum sum;
    for (int32_t k = 0; k < kBlurSamples; ++k)
      sum.add(SampleReference(*r.src, r.sampler, u + k * BlurStep(u, uL), v + k * BlurStep(v, vL), r.rx, r.ry));
    out[i] = sum.result();
  }
}

void SampleRowFast(const RowSampling& r, int32_t count, uint32_t* out) {
  switch (r.sampler) {
    case Sampler::Nearest: RowFast<Sampler::Nearest>(r, count, out); break;
    case Sampler::Subpixel: RowFast<Sampler::Subpixel>(r, count, out); break;
    default: RowFast<Sampler::Area>(r, count, out); break;
  }
}

}  // namespace tv::pf::xform
