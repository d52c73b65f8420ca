// The layer transform's samplers: nearest neighbour (draft), the sub-pixel
// (bilinear) sampler for footprints of at most half a pixel, the area
// sampler for larger ones, and the 16-sample motion blur built on them.
// Pixels are straight (unmatted): neighbours are weighted by their alpha.
//
// SampleReference and SampleRowReference follow the rules literally, one
// checked fetch at a time. SampleRowFast gives the same bytes: it reads the
// 2 x 2 neighbourhood straight from the rows when it lies inside the source
// and falls back to the reference only at the edges, and it resolves opaque
// neighbourhoods with shifts instead of divisions. The single-sample
// kernels are the ones the effect samplers use (PF_sample_kernels.h).
#include <algorithm>
#include <bit>
#include <cstring>

#include "PF_sample_kernels.h"
#include "PF_internal.h"

namespace tv::pf::xform {
namespace {

using namespace tv::pf::sample;

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

// Opaque neighbourhoods by lanes, the rest by the shared kernel.
inline uint32_t OpaqueOrBilinear(const PFWorld& w, int64_t u, int64_t v) {
  uint64_t rb, g;
  if (OpaqueBilinear(w, u, v, &rb, &g)) return PackOpaque(rb, g);
  return SubpixelFast<true>(w, u, v);
}

template <Sampler S>
inline uint32_t SampleFast(const RowSampling& r, int64_t u, int64_t v) {
  if constexpr (S == Sampler::Nearest) return NearestFast(*r.src, u, v);
  else if constexpr (S == Sampler::Subpixel) return OpaqueOrBilinear(*r.src, u, v);
  else return AreaFast<true>(*r.src, u, v, r.rx, r.ry);
}

// One pass of BlurMovingRow: n samples at fixed weights from rows p0 and p1
// (pixel i reads columns i and i + 1). An opaque neighbourhood adds its
// rounded colour bytes to the sums and one to the count; a wholly
// transparent one adds nothing (an alpha of 0 weighs nothing in the blur);
// any other marks the pixel partial. Written channel by channel in 32-bit
// arithmetic so that the compiler can vectorise it (built twice: for AVX2
// where the processor has it, and plain).
__attribute__((target_clones("avx2", "default")))
void BlurPass(const uint8_t* p0, const uint8_t* p1, int32_t n, uint32_t w00, uint32_t w10, uint32_t w01,
              uint32_t w11, uint16_t* __restrict sr, uint16_t* __restrict sg, uint16_t* __restrict sb,
              uint8_t* __restrict count, uint8_t* __restrict partial) {
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* a = p0 + 4 * i;
    const uint8_t* c = p1 + 4 * i;
    const uint32_t opaque = (a[0] & a[4] & c[0] & c[4]) == 255, clear = (a[0] | a[4] | c[0] | c[4]) == 0;
    const uint32_t keep = 0u - opaque;
    count[i] = static_cast<uint8_t>(count[i] + opaque);
    partial[i] |= static_cast<uint8_t>((opaque | clear) ^ 1u);
    const uint32_t r = (w00 * a[1] + w10 * a[5] + w01 * c[1] + w11 * c[5] + 32768) >> 16;
    const uint32_t g = (w00 * a[2] + w10 * a[6] + w01 * c[2] + w11 * c[6] + 32768) >> 16;
    const uint32_t b = (w00 * a[3] + w10 * a[7] + w01 * c[3] + w11 * c[7] + 32768) >> 16;
    sr[i] = static_cast<uint16_t>(sr[i] + (r & keep));
    sg[i] = static_cast<uint16_t>(sg[i] + (g & keep));
    sb[i] = static_cast<uint16_t>(sb[i] + (b & keep));
  }
}

// The sums of a chunk of a moving layer's blur: the colour bytes of each
// pixel's opaque samples added up and counted, and whether any sample was
// neither opaque nor transparent (or could not be told from its place).
// With n opaque samples and the rest transparent, the blur's alpha is 255 n
// / 16 and each colour the sum of its bytes over n (the weights 255 cancel).
template <int32_t N>
struct RunSums {
  uint16_t r[N], g[N], b[N];
  uint8_t count[N], partial[N];
  void Clear() {
    std::memset(r, 0, sizeof r);
    std::memset(g, 0, sizeof g);
    std::memset(b, 0, sizeof b);
    std::memset(count, 0, sizeof count);
    std::memset(partial, 0, sizeof partial);
  }
  // Pixels [from, to) of a pass took a sample that must be done again.
  void Partial(int64_t from, int64_t to) {
    if (to > from) std::memset(partial + from, 1, static_cast<size_t>(to - from));
  }
  bool Resolved(int32_t i) const { return partial[i] == 0; }
  uint32_t Result(int32_t i) const {
    const uint32_t n = count[i];
    if (n == kBlurSamples) return Pack(255, r[i] >> 4u, g[i] >> 4u, b[i] >> 4u);
    if (n == 0) return 0;
    return Pack((255 * n) >> 4, r[i] / n, g[i] / n, b[i] / n);
  }
};
constexpr int32_t kMovingChunk = 512;

// A moving layer's blur chunk by chunk: every sample step is the same for
// the whole row, so pass(sums, n, x, y) adds sample k of a chunk of n pixels
// whose first sits at (x, y) (16.16) and returns false when it marked every
// pixel partial. Partial pixels take their 16 samples from sample(x, y)
// through the weighted sum.
template <class Pass, class Sample>
void MovingRows(const RowSampling& r, int32_t count, uint32_t* out, Pass pass, Sample sample) {
  const int64_t su = BlurStep(r.u, r.uL), sv = BlurStep(r.v, r.vL);
  RunSums<kMovingChunk> sums;
  for (int32_t c0 = 0; c0 < count; c0 += kMovingChunk) {
    const int32_t n = std::min(kMovingChunk, count - c0);
    sums.Clear();
    for (int32_t k = 0; k < kBlurSamples; ++k)
      if (!pass(sums, n, r.u + int64_t{c0} * 65536 + k * su, r.v + k * sv)) break;
    for (int32_t i = 0; i < n; ++i) {
      if (sums.Resolved(i)) {
        out[c0 + i] = sums.Result(i);
        continue;
      }
      const int64_t u = r.u + int64_t{c0 + i} * 65536;
      BlurSum sum;
      for (int32_t k = 0; k < kBlurSamples; ++k) sum.add(sample(u + k * su, r.v + k * sv));
      out[c0 + i] = sum.result();
    }
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
  auto pass = [&w](RunSums<kMovingChunk>& sums, int32_t n, int64_t x, int64_t y) {
    const int64_t ix0 = x >> 16, iy = y >> 16;
    // Rows wholly above or below the source: transparent samples. The rows
    // just outside reach into it: partial.
    if (iy < -1 || iy >= w.height) return true;
    if (iy < 0 || iy >= int64_t{w.height} - 1) {
      sums.Partial(0, n);
      return false;
    }
    const uint32_t fx = static_cast<uint32_t>(x >> 8) & 0xFF, fy = static_cast<uint32_t>(y >> 8) & 0xFF;
    // Pixel i reads columns ix0 + i and ix0 + i + 1: inside for i in [lo,
    // hi), one column reaching in just before and just after, transparent
    // beyond.
    const int64_t lo = std::clamp<int64_t>(-ix0, 0, n), hi = std::clamp<int64_t>(int64_t{w.width} - 1 - ix0, lo, n);
    sums.Partial(std::max<int64_t>(lo - 1, 0), lo);
    sums.Partial(hi, std::min<int64_t>(hi + 1, n));
    const uint8_t* p0 = RowOf(w, iy) + 4 * (ix0 + lo);
    BlurPass(p0, p0 + w.rowBytes, static_cast<int32_t>(hi - lo), (256 - fx) * (256 - fy), fx * (256 - fy),
             (256 - fx) * fy, fx * fy, sums.r + lo, sums.g + lo, sums.b + lo, sums.count + lo, sums.partial + lo);
    return true;
  };
  MovingRows(r, count, out, pass, [&w](int64_t x, int64_t y) { return OpaqueOrBilinear(w, x, y); });
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
// shutter). With AVX2, eight pixels at a time carry their 16 samples in
// registers (BlurTurningWide); otherwise the 16 samples of a chunk of pixels
// are taken pass by pass, each pass reading every pixel's neighbourhood
// through precomputed offsets. Either way, pixels with a neighbourhood
// partly outside the source or neither opaque nor transparent are done
// again one by one.
constexpr int32_t kWideChunk = 256;
void BlurRow(const RowSampling& r, int32_t count, uint32_t* out) {
  const PFWorld& w = *r.src;
  uint8_t redo[kWideChunk];
  if (BlurTurningWide(r, 0, std::min(count, kWideChunk), out, redo)) {
    for (int32_t c0 = 0; c0 < count; c0 += kWideChunk) {
      const int32_t n = std::min(kWideChunk, count - c0);
      if (c0 > 0) BlurTurningWide(r, c0, n, out + c0, redo);
      for (int32_t i = 0; i < n; ++i)
        if (redo[i]) {
          const int64_t j = c0 + i, x = r.u + j * r.du, y = r.v + j * r.dv;
          const int64_t su = BlurStep(x, r.uL + j * r.duL), sv = BlurStep(y, r.vL + j * r.dvL);
          BlurSum sum;
          for (int32_t k = 0; k < kBlurSamples; ++k) sum.add(OpaqueOrBilinear(w, x + k * su, y + k * sv));
          out[j] = sum.result();
        }
    }
    return;
  }
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
      for (int32_t k = 0; k < kBlurSamples; ++k) sum.add(OpaqueOrBilinear(w, x[i] + k * su[i], y[i] + k * sv[i]));
      out[c0 + i] = sum.result();
    }
  }
}

// Draft motion blur of a layer that only moves: every sample step is the
// same for the whole row, so pass k reads one source row from one column
// on, and the nearest samples of a chunk are a run of that row. The colour
// bytes of each run's opaque pixels are added up and counted (transparent
// pixels and places outside the source add nothing); pixels with a sample
// of partial alpha are done again one by one.
__attribute__((target_clones("avx2", "default")))
void NearestPass(const uint8_t* p, int32_t n, uint16_t* __restrict sr, uint16_t* __restrict sg,
                 uint16_t* __restrict sb, uint8_t* __restrict count, uint8_t* __restrict partial) {
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* q = p + 4 * i;
    const uint32_t opaque = q[0] == 255, keep = 0u - opaque;
    count[i] = static_cast<uint8_t>(count[i] + opaque);
    partial[i] |= static_cast<uint8_t>(static_cast<uint8_t>(q[0] + 1) > 1);  // neither 0 nor 255
    sr[i] = static_cast<uint16_t>(sr[i] + (q[1] & keep));
    sg[i] = static_cast<uint16_t>(sg[i] + (q[2] & keep));
    sb[i] = static_cast<uint16_t>(sb[i] + (q[3] & keep));
  }
}

void BlurMovingRowNearest(const RowSampling& r, int32_t count, uint32_t* out) {
  const PFWorld& w = *r.src;
  auto pass = [&w](RunSums<kMovingChunk>& sums, int32_t n, int64_t x16, int64_t y16) {
    // Pixel i of the chunk samples column x + i of row y.
    const int64_t x = (x16 + 0x8000) >> 16, y = (y16 + 0x8000) >> 16;
    const int64_t lo = y < 0 || y >= w.height ? n : std::clamp<int64_t>(-x, 0, n);
    const int64_t hi = y < 0 || y >= w.height ? n : std::clamp<int64_t>(int64_t{w.width} - x, lo, n);
    // Outside [lo, hi) the nearest pixel is outside the source: transparent.
    if (hi > lo)
      NearestPass(RowOf(w, y) + 4 * (x + lo), static_cast<int32_t>(hi - lo), sums.r + lo, sums.g + lo, sums.b + lo,
                  sums.count + lo, sums.partial + lo);
    return true;
  };
  MovingRows(r, count, out, pass, [&w](int64_t x, int64_t y) { return NearestFast(w, x, y); });
}

template <Sampler S>
void RowFast(const RowSampling& r, int32_t count, uint32_t* out) {
  int64_t u = r.u, v = r.v;
  if (!r.blur) {
    for (int32_t i = 0; i < count; ++i, u += r.du, v += r.dv) out[i] = SampleFast<S>(r, u, v);
    return;
  }
  if constexpr (S == Sampler::Nearest) {
    if (r.du == 65536 && r.dv == 0 && r.duL == r.du && r.dvL == r.dv) return BlurMovingRowNearest(r, count, out);
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
    } else if constexpr (S == Sampler::Nearest) {
      // The same for draft: sixteen opaque pixels give an alpha sum of 16 x
      // 255 and colour sums of 255 x the channel sums, whose quotients are
      // the channel sums over 16, truncated.
      uint32_t all = 0xFF, c1 = 0, c2 = 0, c3 = 0;
      for (int32_t k = 0; k < kBlurSamples; ++k, x += su, y += sv) {
        const uint32_t px = NearestFast(*r.src, x, y);
        all &= px;
        c1 += Byte(px, 1), c2 += Byte(px, 2), c3 += Byte(px, 3);
      }
      if ((all & 0xFF) == 0xFF) {
        out[i] = Pack(255, c1 >> 4, c2 >> 4, c3 >> 4);
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
    case Sampler::Nearest: return NearestRef(src, u, v, false);
    case Sampler::Subpixel: return SubpixelRef(src, u, v, true, false);
    default: return AreaRef(src, u, v, rx, ry, true, false);
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
