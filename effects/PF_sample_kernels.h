// The sampling kernels shared by the samplers offered to effects
// (PF_sample.cpp) and the layer transform (PF_transform_sample.cpp):
// nearest neighbour, sub-pixel (bilinear) and area, for straight and
// premultiplied pixels, with transparent or repeated edges.
//
// Positions are 64-bit 16.16 values, so sources of any width the worlds
// allow (beyond 32767 pixels too) are sampled. Pixels are handled as 32-bit
// words the way memcpy loads them: the low byte is memory byte 0 (alpha).
//
// The reference forms fetch every neighbour through a bounds check; the
// fast forms (BilinearInside, AreaFast) read rows directly and give the
// same bytes.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "BM.h"

namespace tv::pf::sample {

static_assert(std::endian::native == std::endian::little);

constexpr int64_t kMaxAreaRadius = int64_t{4096} << 16;

inline uint32_t Load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a & 0xFF) | ((r & 0xFF) << 8) | ((g & 0xFF) << 16) | ((b & 0xFF) << 24);
}
inline uint32_t Byte(uint32_t px, int c) { return (px >> (8 * c)) & 0xFF; }  // memory byte c
inline const uint8_t* RowOf(const PFWorld& w, int64_t y) {
  return reinterpret_cast<const uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowBytes;
}

// The pixel at (ix, iy); outside the world transparent, or the nearest edge
// pixel when edges repeat.
inline uint32_t Fetch(const PFWorld& w, int64_t ix, int64_t iy, bool repeat) {
  if (repeat) {
    ix = std::clamp<int64_t>(ix, 0, int64_t{w.width} - 1);
    iy = std::clamp<int64_t>(iy, 0, int64_t{w.height} - 1);
  } else if (ix < 0 || iy < 0 || ix >= w.width || iy >= w.height) {
    return 0;
  }
  return Load(RowOf(w, iy) + 4 * ix);
}

// Weighted neighbours. `sum[c]` is sum(w * v_c) for premultiplied pixels;
// for straight pixels sum[0] is sum(w * a) and sum[1..3] sum(w * a * c).
inline void Accumulate(uint64_t sum[4], uint32_t px, uint64_t w, bool straight) {
  if (straight) {
    const uint64_t wa = w * Byte(px, 0);
    sum[0] += wa;
    sum[1] += wa * Byte(px, 1);
    sum[2] += wa * Byte(px, 2);
    sum[3] += wa * Byte(px, 3);
  } else {
    for (int c = 0; c < 4; ++c) sum[c] += w * Byte(px, c);
  }
}
inline uint32_t ResolvePremul(const uint64_t sum[4], uint64_t total) {
  uint32_t v[4];
  for (int c = 0; c < 4; ++c) v[c] = static_cast<uint32_t>((sum[c] + total / 2) / total);
  return Pack(v[0], v[1], v[2], v[3]);
}
inline uint32_t ResolveStraight(const uint64_t sum[4], uint64_t total) {
  const uint64_t A = sum[0];
  const uint32_t alpha = static_cast<uint32_t>((A + total / 2) / total);
  if (alpha == 0) return 0;
  uint32_t v[3];
  for (int c = 0; c < 3; ++c) v[c] = static_cast<uint32_t>((sum[c + 1] + A / 2) / A);
  return Pack(alpha, v[0], v[1], v[2]);
}
inline uint32_t Resolve(const uint64_t sum[4], uint64_t total, bool straight) {
  return straight ? ResolveStraight(sum, total) : ResolvePremul(sum, total);
}

// ---- Reference samplers -------------------------------------------------------------

// The pixel at (u + 0.5, v + 0.5) rounded down: an arithmetic shift, so that
// a position just left of or above the source falls outside and reads
// transparent (truncating towards zero would repeat the first column and row
// half a pixel further out).
inline uint32_t NearestRef(const PFWorld& w, int64_t u, int64_t v, bool repeat) {
  return Fetch(w, (u + 0x8000) >> 16, (v + 0x8000) >> 16, repeat);
}

// Positions are resolved to 1/256 pixel; a position without a fraction
// there takes its pixel, four equal neighbours give their value, otherwise
// the neighbours are interpolated with weights (256 - f) and f per axis.
inline uint32_t SubpixelRef(const PFWorld& w, int64_t u, int64_t v, bool straight, bool repeat) {
  const int64_t ix = u >> 16, iy = v >> 16;
  const uint64_t fx = (u >> 8) & 0xFF, fy = (v >> 8) & 0xFF;
  if (fx == 0 && fy == 0) return Fetch(w, ix, iy, repeat);
  const uint32_t p00 = Fetch(w, ix, iy, repeat), p10 = Fetch(w, ix + 1, iy, repeat);
  const uint32_t p01 = Fetch(w, ix, iy + 1, repeat), p11 = Fetch(w, ix + 1, iy + 1, repeat);
  if (p00 == p10 && p00 == p01 && p00 == p11) return p00;
  uint64_t sum[4] = {0, 0, 0, 0};
  Accumulate(sum, p00, (256 - fx) * (256 - fy), straight);
  Accumulate(sum, p10, fx * (256 - fy), straight);
  Accumulate(sum, p01, (256 - fx) * fy, straight);
  Accumulate(sum, p11, fx * fy, straight);
  return Resolve(sum, 65536, straight);
}

// The box [centre - radius, centre + radius] on each axis in 1/256 pixel
// (the radius limited to 0.5 .. 4096 pixels), shifted by half a pixel so
// that pixel i covers [256 i, 256 i + 256); each pixel is weighted by the
// part of it the box covers. Pixels outside the world read as transparent
// (or repeat the edge) but keep their weight.
struct Span {
  int64_t lo, hi;
};
inline Span AreaSpan(int64_t centre, int64_t radius) {
  radius = std::clamp<int64_t>(radius, 0x8000, kMaxAreaRadius);
  const int64_t c = centre + 0x8000;
  return Span{(c - radius) >> 8, (c + radius) >> 8};
}
// The part of pixel i that the span covers, in 1/256 pixel.
inline int64_t Cover(const Span& s, int64_t i) {
  return std::max<int64_t>(0, std::min(s.hi, 256 * i + 256) - std::max(s.lo, 256 * i));
}
inline uint64_t AreaTotal(const Span& sx, const Span& sy) {
  return static_cast<uint64_t>(sx.hi - sx.lo) * static_cast<uint64_t>(sy.hi - sy.lo);
}

inline uint32_t AreaRef(const PFWorld& w, int64_t u, int64_t v, int64_t rx, int64_t ry, bool straight, bool repeat) {
  const Span sx = AreaSpan(u, rx), sy = AreaSpan(v, ry);
  int64_t i0 = sx.lo >> 8, i1 = (sx.hi - 1) >> 8, j0 = sy.lo >> 8, j1 = (sy.hi - 1) >> 8;
  if (!repeat) {  // transparent pixels add nothing: only those inside are visited
    i0 = std::max<int64_t>(i0, 0), i1 = std::min<int64_t>(i1, int64_t{w.width} - 1);
    j0 = std::max<int64_t>(j0, 0), j1 = std::min<int64_t>(j1, int64_t{w.height} - 1);
  }
  uint64_t sum[4] = {0, 0, 0, 0};
  for (int64_t j = j0; j <= j1; ++j)
    for (int64_t i = i0; i <= i1; ++i) {
      const uint64_t weight = static_cast<uint64_t>(Cover(sx, i) * Cover(sy, j));
      if (weight) Accumulate(sum, Fetch(w, i, j, repeat), weight, straight);
    }
  return Resolve(sum, AreaTotal(sx, sy), straight);
}

// ---- Fast forms ---------------------------------------------------------------------------

// The bilinear sample whose 2 x 2 neighbourhood starts at p0 (row above) and
// p1 (row below), both inside the world; a zero fraction never reads the
// second column or row.
template <bool kStraight>
inline uint32_t BilinearInside(const uint8_t* p0, const uint8_t* p1, uint32_t fx, uint32_t fy) {
  const uint32_t a = Load(p0);
  if ((fx | fy) == 0) return a;
  const uint32_t b = Load(p0 + 4), c = Load(p1), d = Load(p1 + 4);
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
    return Pack(alpha, v[0], v[1], v[2]);
  } else {
    uint32_t v[4];
    for (int k = 0; k < 4; ++k) v[k] = (w00 * p0[k] + w10 * p0[4 + k] + w01 * p1[k] + w11 * p1[4 + k] + 32768) >> 16;
    return Pack(v[0], v[1], v[2], v[3]);
  }
}

// The bilinear sample at (u, v) with transparent edges: rows read directly
// when both neighbours lie inside, the reference at the edges.
template <bool kStraight>
inline uint32_t SubpixelFast(const PFWorld& w, int64_t u, int64_t v) {
  const int64_t ix = u >> 16, iy = v >> 16;
  // Inside when 0 <= ix < width - 1 and 0 <= iy < height - 1 (a negative
  // index wraps to a huge unsigned value).
  if (static_cast<uint64_t>(ix) >= static_cast<uint64_t>(int64_t{w.width} - 1) ||
      static_cast<uint64_t>(iy) >= static_cast<uint64_t>(int64_t{w.height} - 1))
    return SubpixelRef(w, u, v, kStraight, false);
  const uint8_t* p0 = RowOf(w, iy) + 4 * ix;
  return BilinearInside<kStraight>(p0, p0 + w.rowBytes, static_cast<uint32_t>(u >> 8) & 0xFF,
                                   static_cast<uint32_t>(v >> 8) & 0xFF);
}

// The nearest pixel with transparent edges.
inline uint32_t NearestFast(const PFWorld& w, int64_t u, int64_t v) {
  const int64_t x = (u + 0x8000) >> 16, y = (v + 0x8000) >> 16;
  if (static_cast<uint64_t>(x) >= static_cast<uint64_t>(w.width) ||
      static_cast<uint64_t>(y) >= static_cast<uint64_t>(w.height))
    return 0;
  return Load(RowOf(w, y) + 4 * x);
}

// Area with transparent edges: the column and row weights are separable;
// only pixels inside the world are visited, while the total keeps the whole
// footprint.
//
// A footprint wholly inside the world over pixels all equal to one p gives p
// itself (premultiplied, or straight with a non-zero alpha): the weights then
// add up to the total T, so every channel resolves to (c T + T / 2) / T = c,
// and a straight colour to (a c T + a T / 2) / (a T) = c. Such footprints
// (flat areas: solids, skies, mattes) skip the products and the divisions.
template <bool kStraight>
inline uint32_t AreaFast(const PFWorld& w, int64_t u, int64_t v, int64_t rx, int64_t ry) {
  const Span sx = AreaSpan(u, rx), sy = AreaSpan(v, ry);
  const int64_t i0 = std::max<int64_t>(0, sx.lo >> 8), i1 = std::min<int64_t>(int64_t{w.width} - 1, (sx.hi - 1) >> 8);
  const int64_t j0 = std::max<int64_t>(0, sy.lo >> 8), j1 = std::min<int64_t>(int64_t{w.height} - 1, (sy.hi - 1) >> 8);
  if (sx.lo >= 0 && sy.lo >= 0 && i1 == (sx.hi - 1) >> 8 && j1 == (sy.hi - 1) >> 8 && i0 <= i1 && j0 <= j1) {
    const uint32_t first = Load(RowOf(w, j0) + 4 * i0);
    bool flat = !kStraight || (first & 0xFF) != 0;
    for (int64_t j = j0; flat && j <= j1; ++j) {
      const uint8_t* row = RowOf(w, j);
      for (int64_t i = i0; i <= i1; ++i)
        if (Load(row + 4 * i) != first) {
          flat = false;
          break;
        }
    }
    if (flat) return first;
  }
  uint64_t sum[4] = {0, 0, 0, 0};
  for (int64_t j = j0; j <= j1; ++j) {
    const uint64_t wy = static_cast<uint64_t>(Cover(sy, j));
    const uint8_t* row = RowOf(w, j);
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
  return Resolve(sum, AreaTotal(sx, sy), kStraight);
}

}  // namespace tv::pf::sample
