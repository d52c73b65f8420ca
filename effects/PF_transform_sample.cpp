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

// The pixel at ((u + 0.5), (v + 0.5)) rounded down: an arithmetic shift, so
// that a position just left of or above the source falls outside and reads
// transparent (truncating towards zero would repeat the first column and row
// half a pixel further out).
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

// Bytes 0 and 2 of a pixel word spread into the low bytes of two 32-bit lanes.
inline uint64_t Lanes(uint32_t px) { return (px & 0xFFu) | (uint64_t{px & 0xFF0000u} << 16); }

// The bilinear sample at (u, v) when its 2 x 2 neighbourhood lies inside
// the source and is opaque; false otherwise. Then sum(w * 255 * c) /
// (255 * 65536) is sum(w * c) / 65536, rounded, and the weights need no
// special cases (a whole position or four equal pixels give that pixel).
// The channels ride in 32-bit lanes of 64-bit words (red and blue in one,
// the alpha byte and green in the other); a lane's sum stays below 255 x
// 65536 < 2^24, so lanes never carry into each other. The rounded bytes
// land in lanes: red at bits 0-7, blue at 32-39 of *rb; green at 32-39 of *g.
inline bool OpaqueBilinear(const PFWorld& w, int64_t u, int64_t v, uint64_t* rb, uint64_t* g) {
  const int64_t ix = u >> 16, iy = v >> 16;
  // Inside when 0 <= ix < width - 1 and 0 <= iy < height - 1 (a negative
  // index wraps to a huge unsigned value).
  if (static_cast<uint64_t>(ix) >= static_cast<uint64_t>(int64_t{w.width} - 1) ||
      static_cast<uint64_t>(iy) >= static_cast<uint64_t>(int64_t{w.height} - 1))
    return false;
  const uint8_t* p0 = RowOf(w, iy) + 4 * ix;
  const uint8_t* p1 = p0 + w.rowBytes;
  const uint32_t a = Load(p0), b = Load(p0 + 4), c = Load(p1), d = Load(p1 + 4);
  if ((a & b & c & d & 0xFF) != 0xFF) return false;
  const uint32_t fx = static_cast<uint32_t>(u >> 8) & 0xFF, fy = static_cast<uint32_t>(v >> 8) & 0xFF;
  const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
  constexpr uint64_t kHalf = 0x0000800000008000ull;
  *rb = (Lanes(a >> 8) * w00 + Lanes(b >> 8) * w10 + Lanes(c >> 8) * w01 + Lanes(d >> 8) * w11 + kHalf) >> 16;
  *g = (Lanes(a) * w00 + Lanes(b) * w10 + Lanes(c) * w01 + Lanes(d) * w11 + kHalf) >> 16;
  return true;
}
inline uint32_t PackOpaque(uint64_t rb, uint64_t g) {
  return 0xFFu | (static_cast<uint32_t>(rb & 0xFF) << 8) | (static_cast<uint32_t>((g >> 32) & 0xFF) << 16) |
         (static_cast<uint32_t>((rb >> 32) & 0xFF) << 24);
}

inline uint32_t SubpixelFast(const PFWorld& w, int64_t u, int64_t v) {
  uint64_t rb, g;
  if (OpaqueBilinear(w, u, v, &rb, &g)) return PackOpaque(rb, g);
  const int64_t ix = u >> 16, iy = v >> 16;
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

// Motion blur of a layer that only moves (the same unscaled, unrotated
// linear part under the first and the last matrix): sample k of every pixel
// of the row sits at the same sub-pixel fraction, one source column further
// per pixel, so each of the 16 passes runs along two source rows with fixed
// weights. Pixels whose 16 neighbourhoods were not all inside and opaque are
// done again one by one.
// One pass of BlurMovingRow: n samples at fixed weights from rows p0 and p1
// (pixel i reads columns i and i + 1), the rounded colour bytes added to
// the sums, ok cleared where a neighbourhood is not opaque. Written channel
// by channel in 32-bit arithmetic so that the compiler can vectorise it
// (built twice: for AVX2 where the processor has it, and plain).
__attribute__((target_clones("avx2", "default")))
void BlurPass(const uint8_t* p0, const uint8_t* p1, int32_t n, uint32_t w00, uint32_t w10, uint32_t w01,
              uint32_t w11, uint16_t* __restrict sr, uint16_t* __restrict sg, uint16_t* __restrict sb,
              uint8_t* __restrict ok) {
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* a = p0 + 4 * i;
    const uint8_t* c = p1 + 4 * i;
    ok[i] &= static_cast<uint8_t>((a[0] & a[4] & c[0] & c[4]) == 255);
    sr[i] = static_cast<uint16_t>(sr[i] + ((w00 * a[1] + w10 * a[5] + w01 * c[1] + w11 * c[5] + 32768) >> 16));
    sg[i] = static_cast<uint16_t>(sg[i] + ((w00 * a[2] + w10 * a[6] + w01 * c[2] + w11 * c[6] + 32768) >> 16));
    sb[i] = static_cast<uint16_t>(sb[i] + ((w00 * a[3] + w10 * a[7] + w01 * c[3] + w11 * c[7] + 32768) >> 16));
  }
}

// Motion blur of a layer that only moves (the same unscaled, unrotated
// linear part under the first and the last matrix): sample k of every pixel
// of the row sits at the same sub-pixel fraction, one source column further
// per pixel, so each of the 16 passes runs along two source rows with fixed
// weights. For sixteen opaque samples the sum of 255 x c over 16 x 255 is
// the sum of c over 16, so the rounded channel bytes are simply added up.
// Pixels whose 16 neighbourhoods were not all inside and opaque are done
// again one by one.
void BlurMovingRow(const RowSampling& r, int32_t count, uint32_t* out) {
  const PFWorld& w = *r.src;
  const int64_t su = BlurStep(r.u, r.uL), sv = BlurStep(r.v, r.vL);
  constexpr int32_t kChunk = 512;
  uint16_t sr[kChunk], sg[kChunk], sb[kChunk];
  uint8_t ok[kChunk];
  for (int32_t c0 = 0; c0 < count; c0 += kChunk) {
    const int32_t n = std::min(kChunk, count - c0);
    std::memset(sr, 0, sizeof sr);
    std::memset(sg, 0, sizeof sg);
    std::memset(sb, 0, sizeof sb);
    std::memset(ok, 1, sizeof ok);
    for (int32_t k = 0; k < kBlurSamples; ++k) {
      const int64_t x = r.u + int64_t{c0} * 65536 + k * su, y = r.v + k * sv;
      const int64_t ix0 = x >> 16, iy = y >> 16;
      if (iy < 0 || iy >= int64_t{w.height} - 1) {
        std::memset(ok, 0, sizeof ok);
        break;
      }
      const uint32_t fx = static_cast<uint32_t>(x >> 8) & 0xFF, fy = static_cast<uint32_t>(y >> 8) & 0xFF;
      const int64_t lo = std::clamp<int64_t>(-ix0, 0, n), hi = std::clamp<int64_t>(int64_t{w.width} - 1 - ix0, lo, n);
      for (int64_t i = 0; i < lo; ++i) ok[i] = 0;
      for (int64_t i = hi; i < n; ++i) ok[i] = 0;
      const uint8_t* p0 = RowOf(w, iy) + 4 * (ix0 + lo);
      BlurPass(p0, p0 + w.rowBytes, static_cast<int32_t>(hi - lo), (256 - fx) * (256 - fy), fx * (256 - fy),
               (256 - fx) * fy, fx * fy, sr + lo, sg + lo, sb + lo, ok + lo);
    }
    for (int32_t i = 0; i < n; ++i) {
      if (ok[i]) {
        out[c0 + i] = Pack(255, sr[i] >> 4, sg[i] >> 4, sb[i] >> 4);
        continue;
      }
      const int64_t u = r.u + int64_t{c0 + i} * 65536;
      BlurSum sum;
      for (int32_t k = 0; k < kBlurSamples; ++k) sum.add(SubpixelFast(w, u + k * su, r.v + k * sv));
      out[c0 + i] = sum.result();
    }
  }
}

// One pass of BlurRow: sample k of n pixels, pixel i's top-left neighbour
// at base[off[i]] with weights from fx[i], fy[i]; the rounded colour bytes
// are added to the sums and ok is cleared where the neighbourhood is not
// opaque. Built for AVX2 (gathers) where the processor has it, and plain.
__attribute__((target_clones("avx2", "default")))
void GatherPass(const uint32_t* base, int32_t stride, int32_t n, const int32_t* __restrict off,
                const uint32_t* __restrict fxs, const uint32_t* __restrict fys, uint16_t* __restrict sr,
                uint16_t* __restrict sg, uint16_t* __restrict sb, uint8_t* __restrict ok) {
  for (int32_t i = 0; i < n; ++i) {
    const int32_t o = off[i];
    const uint32_t a = base[o], b = base[o + 1], c = base[o + stride], d = base[o + stride + 1];
    const uint32_t fx = fxs[i], fy = fys[i];
    const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy, w11 = fx * fy;
    ok[i] &= static_cast<uint8_t>((a & b & c & d & 0xFF) == 0xFF);
    sr[i] = static_cast<uint16_t>(sr[i] + ((w00 * ((a >> 8) & 0xFF) + w10 * ((b >> 8) & 0xFF) +
                                            w01 * ((c >> 8) & 0xFF) + w11 * ((d >> 8) & 0xFF) + 32768) >> 16));
    sg[i] = static_cast<uint16_t>(sg[i] + ((w00 * ((a >> 16) & 0xFF) + w10 * ((b >> 16) & 0xFF) +
                                            w01 * ((c >> 16) & 0xFF) + w11 * ((d >> 16) & 0xFF) + 32768) >> 16));
    sb[i] = static_cast<uint16_t>(sb[i] + ((w00 * (a >> 24) + w10 * (b >> 24) + w01 * (c >> 24) + w11 * (d >> 24) +
                                            32768) >> 16));
  }
}

// Sub-pixel motion blur in general (the layer turns or scales during the
// shutter): the 16 samples of a chunk of pixels are taken pass by pass, each
// pass reading every pixel's neighbourhood through precomputed offsets.
// Pixels with a neighbourhood outside the source or not opaque are done
// again one by one.
void BlurRow(const RowSampling& r, int32_t count, uint32_t* out) {
  const PFWorld& w = *r.src;
  const int32_t stride = w.rowBytes / 4;
  const uint32_t* base = reinterpret_cast<const uint32_t*>(w.data);
  constexpr int32_t kChunk = 256;
  int64_t x[kChunk], y[kChunk], su[kChunk], sv[kChunk];
  int32_t off[kChunk];
  uint32_t fx[kChunk], fy[kChunk];
  uint16_t sr[kChunk], sg[kChunk], sb[kChunk];
  uint8_t ok[kChunk];
  for (int32_t c0 = 0; c0 < count; c0 += kChunk) {
    const int32_t n = std::min(kChunk, count - c0);
    for (int32_t i = 0; i < n; ++i) {
      const int64_t j = c0 + i;
      x[i] = r.u + j * r.du;
      y[i] = r.v + j * r.dv;
      su[i] = BlurStep(x[i], r.uL + j * r.duL);
      sv[i] = BlurStep(y[i], r.vL + j * r.dvL);
    }
    std::memset(sr, 0, sizeof sr);
    std::memset(sg, 0, sizeof sg);
    std::memset(sb, 0, sizeof sb);
    std::memset(ok, 1, sizeof ok);
    for (int32_t k = 0; k < kBlurSamples; ++k) {
      for (int32_t i = 0; i < n; ++i) {
        const int64_t xi = x[i] + k * su[i], yi = y[i] + k * sv[i];
        const int64_t ix = xi >> 16, iy = yi >> 16;
        const bool inside = static_cast<uint64_t>(ix) < static_cast<uint64_t>(int64_t{w.width} - 1) &&
                            static_cast<uint64_t>(iy) < static_cast<uint64_t>(int64_t{w.height} - 1);
        ok[i] &= static_cast<uint8_t>(inside);
        off[i] = inside ? static_cast<int32_t>(iy * stride + ix) : 0;
        fx[i] = static_cast<uint32_t>(xi >> 8) & 0xFF;
        fy[i] = static_cast<uint32_t>(yi >> 8) & 0xFF;
      }
      GatherPass(base, stride, n, off, fx, fy, sr, sg, sb, ok);
    }
    for (int32_t i = 0; i < n; ++i) {
      if (ok[i]) {
        out[c0 + i] = Pack(255, sr[i] >> 4, sg[i] >> 4, sb[i] >> 4);
        continue;
      }
      BlurSum sum;
      for (int32_t k = 0; k < kBlurSamples; ++k) sum.add(SubpixelFast(w, x[i] + k * su[i], y[i] + k * sv[i]));
      out[c0 + i] = sum.result();
    }
  }
}

template <Sampler S>
void RowFast(const RowSampling& r, int32_t count, uint32_t* out) {
  int64_t u = r.u, v = r.v;
  if (!r.blur) {
    for (int32_t i = 0; i < count; ++i, u += r.du, v += r.dv) out[i] = SampleFast<S>(r, u, v);
    return;
  }
  if constexpr (S == Sampler::Subpixel) {
    if (r.du == 65536 && r.dv == 0 && r.duL == r.du && r.dvL == r.dv) return BlurMovingRow(r, count, out);
    // The offsets of BlurRow are 32-bit pixel indices.
    const PFWorld& w = *r.src;
    if (w.rowBytes % 4 == 0 && w.width >= 2 && w.height >= 2 &&
        int64_t{w.height} * (w.rowBytes / 4) < (int64_t{1} << 31))
      return BlurRow(r, count, out);
  }
  int64_t uL = r.uL, vL = r.vL;
  for (int32_t i = 0; i < count; ++i, u += r.du, v += r.dv, uL += r.duL, vL += r.dvL) {
    const int64_t su = BlurStep(u, uL), sv = BlurStep(v, vL);
    int64_t x = u, y = v;
    if constexpr (S == Sampler::Subpixel) {
      // Sixteen opaque samples: the sum of 255 x c over 16 x 255 is the sum
      // of c over 16, so the rounded channel bytes are simply added up.
      uint64_t rbSum = 0, gSum = 0;
      int32_t k = 0;
      for (; k < kBlurSamples; ++k, x += su, y += sv) {
        uint64_t rb, g;
        if (!OpaqueBilinear(*r.src, x, y, &rb, &g)) break;
        rbSum += rb & 0x000000FF000000FFull;
        gSum += g & 0x000000FF00000000ull;
      }
      if (k == kBlurSamples) {
        out[i] = 0xFFu | (static_cast<uint32_t>((rbSum & 0xFFFF) >> 4) << 8) |
                 (static_cast<uint32_t>((gSum >> 32) >> 4) << 16) | (static_cast<uint32_t>((rbSum >> 32) >> 4) << 24);
        continue;
      }
      x = u, y = v;
    }
    BlurSum sum;
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
