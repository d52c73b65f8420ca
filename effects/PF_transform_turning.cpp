// Sub-pixel motion blur of a layer that turns or scales during the shutter,
// eight destination pixels at a time in AVX2 registers.
//
// Each lane carries one pixel's 16 samples from start to end: its position
// and step in 32-bit 16.16, the four neighbours fetched by gathers, the
// bilinear weights applied in two stages and the rounded colour bytes of its
// opaque samples summed in registers. The arithmetic is the one of the
// scalar samplers, reordered exactly:
//
//   w00 a + w10 b + w01 c + w11 d = (256 - fy) h(a, b) + fy h(c, d),
//   h(a, b) = 256 a + fx (b - a),
//
// where h (at most 65280) is computed per channel in 16-bit lanes modulo
// 2^16, which is exact because the true value fits, and the vertical stage
// is a signed 16-bit multiply-add on h - 32768 (corrected by 2^23).
//
// A sample whose 2 x 2 neighbourhood is inside and opaque adds its rounded
// bytes; one whose neighbourhood is inside and wholly transparent, or wholly
// outside the source, adds nothing (an alpha of 0 weighs nothing in the
// blur). A pixel with any other sample (partly outside, or alphas between)
// is marked for the scalar sampler. With n opaque samples and the rest
// transparent, the blur's alpha is 255 n / 16 and each colour 255 S / 255 n
// = S / n for the sum S of its bytes.
#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "PF_internal.h"
#include "PF_sample_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace tv::pf::xform {

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// A lane's positions stay within this (16.16) so that every sample position
// and the column after it fit in 32 bits.
constexpr int64_t kLaneLimit = (int64_t{1} << 31) - (int64_t{1} << 18);

struct Group {
  alignas(32) int32_t x[8], y[8], sx[8], sy[8];
  alignas(32) int32_t r[8], g[8], b[8], n[8], partial[8];
};

#define TV_AVX2 __attribute__((target("avx2"), always_inline)) inline

// Across: h = 256 p + fx (q - p) per channel in 16-bit lanes (red and blue
// in one pair, alpha and green in the other), offset by 32768.
TV_AVX2 void Across(__m256i p, __m256i q, __m256i fx, __m256i lo8, __m256i hi8, __m256i flip, __m256i* rb,
                    __m256i* ag) {
  const __m256i rbStep = _mm256_sub_epi16(_mm256_srli_epi16(q, 8), _mm256_srli_epi16(p, 8));
  const __m256i agStep = _mm256_sub_epi16(_mm256_and_si256(q, lo8), _mm256_and_si256(p, lo8));
  *rb = _mm256_xor_si256(_mm256_add_epi16(_mm256_and_si256(p, hi8), _mm256_mullo_epi16(fx, rbStep)), flip);
  *ag = _mm256_xor_si256(_mm256_add_epi16(_mm256_slli_epi16(p, 8), _mm256_mullo_epi16(fx, agStep)), flip);
}

// Down: (256 - fy) top + fy bottom as one multiply-add of the pair (top,
// bottom) in each 32-bit lane, rounded to a byte, kept where opaque.
TV_AVX2 __m256i Down(__m256i wy, __m256i round, __m256i opaque, __m256i pair) {
  return _mm256_and_si256(_mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(pair, wy), round), 16),
                          opaque);
}

// The 16 samples of the eight lanes of g.
__attribute__((target("avx2"))) void SampleGroup(const uint32_t* base, int32_t stride, int32_t width,
                                                 int32_t height, Group& g) {
  const auto* b0 = reinterpret_cast<const int*>(base);
  const int* b1 = b0 + 1;
  const int* c0 = b0 + stride;
  const int* c1 = c0 + 1;
  const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi32(-1);
  const __m256i bias = _mm256_set1_epi32(INT32_MIN);
  // Unsigned comparisons as signed ones of values offset by 2^31.
  const __m256i wInside = _mm256_set1_epi32((width - 1) ^ INT32_MIN);
  const __m256i hInside = _mm256_set1_epi32((height - 1) ^ INT32_MIN);
  const __m256i wOutside = _mm256_set1_epi32(width ^ INT32_MIN),
                hOutside = _mm256_set1_epi32(height ^ INT32_MIN);
  const __m256i one = _mm256_set1_epi32(1), strideV = _mm256_set1_epi32(stride);
  const __m256i alpha = _mm256_set1_epi32(0xFF);
  const __m256i lo8 = _mm256_set1_epi32(0x00FF00FF),
                hi8 = _mm256_set1_epi32(static_cast<int32_t>(0xFF00FF00u));
  const __m256i flip = _mm256_set1_epi32(static_cast<int32_t>(0x80008000u));
  const __m256i w256 = _mm256_set1_epi32(256), round = _mm256_set1_epi32((1 << 23) + (1 << 15));
  // Byte 1 of each lane (the fraction's top byte) into bytes 0 and 2; into byte 2.
  const __m256i fxOf = _mm256_setr_epi8(1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1,  //
                                        1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1);
  const __m256i fyOf = _mm256_setr_epi8(-1, -1, 1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1,  //
                                        -1, -1, 1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1);
  __m256i x = _mm256_load_si256(reinterpret_cast<const __m256i*>(g.x));
  __m256i y = _mm256_load_si256(reinterpret_cast<const __m256i*>(g.y));
  const __m256i sx = _mm256_load_si256(reinterpret_cast<const __m256i*>(g.sx));
  const __m256i sy = _mm256_load_si256(reinterpret_cast<const __m256i*>(g.sy));
  __m256i sr = zero, sg = zero, sb = zero, n = zero, partial = zero;
  for (int32_t k = 0; k < kBlurSamples; ++k, x = _mm256_add_epi32(x, sx), y = _mm256_add_epi32(y, sy)) {
    const __m256i ix = _mm256_srai_epi32(x, 16), iy = _mm256_srai_epi32(y, 16);
    const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(wInside, _mm256_xor_si256(ix, bias)),
                                            _mm256_cmpgt_epi32(hInside, _mm256_xor_si256(iy, bias)));
    const __m256i off = _mm256_add_epi32(_mm256_mullo_epi32(iy, strideV), ix);
    const __m256i a = _mm256_mask_i32gather_epi32(zero, b0, off, inside, 4);
    const __m256i b = _mm256_mask_i32gather_epi32(zero, b1, off, inside, 4);
    const __m256i c = _mm256_mask_i32gather_epi32(zero, c0, off, inside, 4);
    const __m256i d = _mm256_mask_i32gather_epi32(zero, c1, off, inside, 4);
    const __m256i all = _mm256_and_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, d));
    const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
    const __m256i opaque = _mm256_and_si256(inside, _mm256_cmpeq_epi32(_mm256_and_si256(all, alpha), alpha));
    __m256i clear = _mm256_and_si256(inside, _mm256_cmpeq_epi32(_mm256_and_si256(any, alpha), zero));
    if (_mm256_movemask_epi8(inside) != -1) {
      // Wholly outside: ix < -1 or ix >= width (unsigned ix + 1 > width), the same for iy.
      const __m256i outX = _mm256_cmpgt_epi32(_mm256_xor_si256(_mm256_add_epi32(ix, one), bias), wOutside);
      const __m256i outY = _mm256_cmpgt_epi32(_mm256_xor_si256(_mm256_add_epi32(iy, one), bias), hOutside);
      clear = _mm256_or_si256(clear, _mm256_or_si256(outX, outY));
    }
    partial = _mm256_or_si256(partial, _mm256_andnot_si256(_mm256_or_si256(opaque, clear), ones));
    n = _mm256_sub_epi32(n, opaque);
    const __m256i fx = _mm256_shuffle_epi8(x, fxOf);
    __m256i rbTop, agTop, rbBottom, agBottom;
    Across(a, b, fx, lo8, hi8, flip, &rbTop, &agTop);
    Across(c, d, fx, lo8, hi8, flip, &rbBottom, &agBottom);
    const __m256i fyHigh = _mm256_shuffle_epi8(y, fyOf);
    const __m256i wy = _mm256_add_epi32(fyHigh, _mm256_sub_epi32(w256, _mm256_srli_epi32(fyHigh, 16)));
    // The pairs (top, bottom): red from the low halves, blue and green from the high ones.
    const __m256i red = _mm256_blend_epi16(rbTop, _mm256_slli_epi32(rbBottom, 16), 0xAA);
    const __m256i blue = _mm256_blend_epi16(_mm256_srli_epi32(rbTop, 16), rbBottom, 0xAA);
    const __m256i green = _mm256_blend_epi16(_mm256_srli_epi32(agTop, 16), agBottom, 0xAA);
    sr = _mm256_add_epi32(sr, Down(wy, round, opaque, red));
    sg = _mm256_add_epi32(sg, Down(wy, round, opaque, green));
    sb = _mm256_add_epi32(sb, Down(wy, round, opaque, blue));
  }
  _mm256_store_si256(reinterpret_cast<__m256i*>(g.r), sr);
  _mm256_store_si256(reinterpret_cast<__m256i*>(g.g), sg);
  _mm256_store_si256(reinterpret_cast<__m256i*>(g.b), sb);
  _mm256_store_si256(reinterpret_cast<__m256i*>(g.n), n);
  _mm256_store_si256(reinterpret_cast<__m256i*>(g.partial), partial);
}

bool HasAvx2Gathers() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has;
}

std::atomic<bool> gWideOn{true};

}  // namespace

void UseWideBlur(bool on) { gWideOn.store(on, std::memory_order_relaxed); }

bool BlurTurningWide(const RowSampling& r, int32_t first, int32_t count, uint32_t* out, uint8_t* redo) {
  const PFWorld& w = *r.src;
  if (!gWideOn.load(std::memory_order_relaxed) || !HasAvx2Gathers() || w.width < 2 || w.height < 2 ||
      w.rowBytes <= 0 || w.rowBytes % 4 != 0 ||
      int64_t{w.height + 1} * (w.rowBytes / 4) >= (int64_t{1} << 31))
    return false;
  const auto* base = reinterpret_cast<const uint32_t*>(w.data);
  const int32_t stride = w.rowBytes / 4;
  Group g;
  for (int32_t c0 = 0; c0 < count; c0 += 8) {
    const int32_t lanes = std::min(8, count - c0);
    for (int32_t l = 0; l < 8; ++l) {
      const int64_t j = int64_t{first} + c0 + std::min(l, lanes - 1);
      const int64_t x = r.u + j * r.du, y = r.v + j * r.dv;
      const int64_t sx = BlurStep(x, r.uL + j * r.duL), sy = BlurStep(y, r.vL + j * r.dvL);
      const int64_t xe = x + (kBlurSamples - 1) * sx, ye = y + (kBlurSamples - 1) * sy;
      const bool fits = std::max({std::abs(x), std::abs(xe), std::abs(y), std::abs(ye)}) < kLaneLimit;
      // A lane out of range is sampled wholly outside and done again.
      g.x[l] = fits ? static_cast<int32_t>(x) : INT32_MIN / 2;
      g.y[l] = fits ? static_cast<int32_t>(y) : INT32_MIN / 2;
      g.sx[l] = fits ? static_cast<int32_t>(sx) : 0;
      g.sy[l] = fits ? static_cast<int32_t>(sy) : 0;
      if (l < lanes) redo[c0 + l] = !fits;
    }
    SampleGroup(base, stride, w.width, w.height, g);
    for (int32_t l = 0; l < lanes; ++l) {
      const int32_t n = g.n[l];
      if (g.partial[l] != 0) {
        redo[c0 + l] = 1;
      } else if (n == kBlurSamples) {
        out[c0 + l] = sample::Pack(255, static_cast<uint32_t>(g.r[l]) >> 4,
                                   static_cast<uint32_t>(g.g[l]) >> 4, static_cast<uint32_t>(g.b[l]) >> 4);
      } else if (n == 0) {
        out[c0 + l] = 0;
      } else {
        const auto un = static_cast<uint32_t>(n);
        out[c0 + l] = sample::Pack((255 * un) >> 4, static_cast<uint32_t>(g.r[l]) / un,
                                   static_cast<uint32_t>(g.g[l]) / un, static_cast<uint32_t>(g.b[l]) / un);
      }
    }
  }
  return true;
}

#else

bool BlurTurningWide(const RowSampling&, int32_t, int32_t, uint32_t*, uint8_t*) { return false; }

#endif

}  // namespace tv::pf::xform
