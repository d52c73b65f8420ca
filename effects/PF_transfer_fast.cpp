// The fast row functions of the transfer modes: the same formulas with the
// multiply table computed as ((t + (t >> 8)) >> 8), t = a b + 128, and the
// divide table as a multiplication by a reciprocal. Both are exact for every
// pair of bytes, so these rows equal the reference rows byte for byte. The
// modes that decide frame rates are written as branch-free 32-bit lane code
// that the compiler vectorises; the rest use the shared formulas.
#include <array>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "PF_transfer_kernels.h"

namespace tv::pf {
namespace {

using xfer::Row;

// The math package's byte multiply, in 16-bit lanes where it vectorises.
inline uint32_t Mul(uint32_t a, uint32_t b) { return tv::m::Mul8(a, b); }
inline uint32_t Load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint32_t Ch(uint32_t px, int c) { return (px >> (8 * c)) & 0xFF; }

// A separable mode in byte lanes: the coverage k of each pixel is spread
// over its three colour bytes (and 0 over its alpha byte), then f(s, d, k)
// runs over plain byte arrays, which the compiler vectorises with 16-bit
// lanes (every product of two bytes plus 128 fits 16 bits). f must give d
// for k = 0, so the destination alpha is kept.
constexpr int32_t kChunk = 64;  // pixels per chunk

inline void SpreadCoverage(int32_t n, uint32_t op, const uint8_t* s, const uint8_t* m, uint8_t* kb) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t k = Mul(op, s[4 * i]);
    if (m) k = Mul(k, m[4 * i]);
    kb[4 * i] = 0;
    kb[4 * i + 1] = kb[4 * i + 2] = kb[4 * i + 3] = static_cast<uint8_t>(k);
  }
}

template <class F>
inline void Lanes(int32_t bytes, const uint8_t* s, const uint8_t* __restrict kb, uint8_t* d, F f) {
  for (int32_t j = 0; j < bytes; ++j) d[j] = static_cast<uint8_t>(f(s[j], d[j], kb[j]));
}

template <class F>
inline void SeparableLanes(int32_t n, uint32_t op, const uint8_t* s, const uint8_t* m, uint8_t* d, F f) {
  alignas(64) uint8_t kb[4 * kChunk];
  for (int32_t i = 0; i < n; i += kChunk) {
    const int32_t c = n - i < kChunk ? n - i : kChunk;
    SpreadCoverage(c, op, s + 4 * i, m ? m + 4 * i : nullptr, kb);
    if (c == kChunk)
      Lanes(4 * kChunk, s + 4 * i, kb, d + 4 * i, f);
    else
      Lanes(4 * c, s + 4 * i, kb, d + 4 * i, f);
  }
}

TV_PF_CLONES ErrorCode AddRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t r = dc + Mul(k, sc);
    return r > 255 ? 255u : r;
  });
  return 0;
}

TV_PF_CLONES ErrorCode MultiplyRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t full = Mul(sc, dc);
    const uint32_t part = dc - Mul(Mul(255 - sc, dc), k);
    return k == 255 ? full : part;
  });
  return 0;
}

TV_PF_CLONES ErrorCode ScreenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t full = 255 - Mul(255 - sc, 255 - dc);
    const uint32_t part = dc + Mul(Mul(sc, 255 - dc), k);
    return k == 255 ? full : part;
  });
  return 0;
}

TV_PF_CLONES ErrorCode DifferenceRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m,
                        uint8_t* d) {
  // |M[s][k] - d| is |s - d| at k = 255 (M[s][255] = s) and d at k = 0.
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t t = Mul(sc, k);
    return t > dc ? t - dc : dc - t;
  });
  return 0;
}

TV_PF_CLONES ErrorCode DarkenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    return dc - Mul(sc < dc ? dc - sc : 0, k);
  });
  return 0;
}

TV_PF_CLONES ErrorCode LightenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    return dc + Mul(sc > dc ? sc - dc : 0, k);
  });
  return 0;
}

// Copy: colour from the source and alpha k wherever k > 0.
TV_PF_CLONES ErrorCode CopyRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  const uint32_t op = p->opacity;
  const uint32_t keepAlpha = p->colourOnly ? 0xFFu : 0u;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
    uint32_t k = Mul(op, sp & 0xFF);
    if (m) k = Mul(k, m[4 * i]);
    const uint32_t out = (sp & 0xFFFFFF00u) | (k & ~keepAlpha) | (dp & keepAlpha);
    Store(d + 4 * i, k ? out : dp);
  }
  return 0;
}

// Normal over an opaque destination is d + M[s - d][k] or d - M[d - s][k]
// for every k (k = 255 gives s, whose alpha is then 255 too; k = 0 gives d),
// so chunks whose destination pixels are all opaque run in byte lanes with
// k = 0 over the alpha bytes. Other chunks run the general form below.
// In 16-bit lanes the multiply is ((x k + 128) 257) >> 16, a high-half
// product: with t = 256 h + l, (t + (t >> 8)) >> 8 is h + ((h + l) >> 8)
// and (257 t) >> 16 is h + ((256 (h + l) + l) >> 16), which differ only if
// (h + l) mod 256 = 255 and l >= 256, never.
inline uint32_t Towards(uint32_t s, uint32_t d, uint32_t k) {
  const auto t = static_cast<uint16_t>((s >= d ? s - d : d - s) * k + 128);
  const auto m = static_cast<uint16_t>((uint32_t{t} * 257u) >> 16);
  return s >= d ? d + m : d - m;
}

// The same in 32-bit pixel lanes without branches, for chunks whose
// destination is not all opaque: every pixel goes through the general form
// a = 255 - M[255 - k][255 - da], c = D[a][toward(s, M[da][d], k)], which
// is also what an opaque pixel (a = 255) or a whole one (k = 255) gives; the
// pixels with k = 0 keep the destination and a whole source over a clear
// destination is copied, both chosen per lane at the end. The division of
// the table is a float division: the numerator t 255 + a / 2 stays below
// 2^16 and the divisor below 256, so the rounded quotient never reaches the
// next integer and truncating it gives the exact integer quotient.
inline uint32_t MulLane(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}
inline uint32_t TowardLane(uint32_t s, uint32_t d, uint32_t k) {
  const uint32_t up = d + MulLane(s - d, k), down = d - MulLane(d - s, k);
  return s >= d ? up : down;
}
inline uint32_t DivLane(uint32_t a, uint32_t t) {
  const auto n = static_cast<float>(static_cast<int32_t>(t * 255 + (a >> 1)));
  const auto q = static_cast<uint32_t>(static_cast<int32_t>(n / static_cast<float>(static_cast<int32_t>(a | (a == 0)))));
  return t > a ? 255u : q;
}

template <bool Masked>
__attribute__((always_inline)) inline void NormalLanes(int32_t n, uint32_t op, const uint8_t* __restrict s,
                                                       const uint8_t* __restrict m, uint8_t* __restrict d,
                                                       bool wholeOverClear) {
  const uint32_t copyOverClear = wholeOverClear ? 1u : 0u;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
    uint32_t k = MulLane(op, sp & 0xFF);
    if constexpr (Masked) k = MulLane(k, m[4 * i]);
    const uint32_t da = dp & 0xFF;
    const uint32_t a = 255 - MulLane(255 - k, 255 - da);
    uint32_t out = a;
    for (int c = 1; c < 4; ++c)
      out |= DivLane(a, TowardLane(Ch(sp, c), MulLane(da, Ch(dp, c)), k)) << (8 * c);
    out = (copyOverClear & static_cast<uint32_t>(da == 0)) ? sp : out;
    Store(d + 4 * i, k == 0 ? dp : out);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
// A chunk of kChunk pixels over an opaque destination with AVX2 in 16-bit
// lanes: per byte, r = d + sign(s - d) ((|s - d| k + 128) 257 >> 16), the
// multiply as its high-half product (see Towards), k spread over the colour
// bytes and 0 over alpha. At full opacity without a mask k is the source
// alpha, spread by a byte shuffle; otherwise it comes from kb.
__attribute__((target("avx2"), always_inline)) inline __m256i Toward16(__m256i s16, __m256i d16, __m256i k16,
                                                                        __m256i half, __m256i m257) {
  const __m256i diff = _mm256_sub_epi16(s16, d16);
  const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_abs_epi16(diff), k16), half);
  return _mm256_add_epi16(d16, _mm256_sign_epi16(_mm256_mulhi_epu16(t, m257), diff));
}
__attribute__((target("avx2"))) void OpaqueChunkAvx2(const uint8_t* s, const uint8_t* kb, bool alphaIsK,
                                                     uint8_t* d) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i half = _mm256_set1_epi16(128), m257 = _mm256_set1_epi16(257);
  const __m256i spread = _mm256_setr_epi8(-1, 0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12,  //
                                          -1, 0, 0, 0, -1, 4, 4, 4, -1, 8, 8, 8, -1, 12, 12, 12);
  for (int32_t j = 0; j < 4 * kChunk; j += 32) {
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + j));
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + j));
    const __m256i kv = alphaIsK ? _mm256_shuffle_epi8(sv, spread)
                                : _mm256_load_si256(reinterpret_cast<const __m256i*>(kb + j));
    const __m256i lo = Toward16(_mm256_unpacklo_epi8(sv, zero), _mm256_unpacklo_epi8(dv, zero),
                                _mm256_unpacklo_epi8(kv, zero), half, m257);
    const __m256i hi = Toward16(_mm256_unpackhi_epi8(sv, zero), _mm256_unpackhi_epi8(dv, zero),
                                _mm256_unpackhi_epi8(kv, zero), half, m257);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + j), _mm256_packus_epi16(lo, hi));
  }
}
// Whether the processor has AVX2 (asked once; the detection is run first,
// as the answer may be wanted before the library's constructors ran).
bool HasAvx2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has;
}
#endif

TV_PF_CLONES ErrorCode NormalRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  const uint32_t op = p->opacity;
  const bool wholeOverClear = op == 255 && !m;
  alignas(64) uint8_t kb[4 * kChunk];
#if defined(__x86_64__) && defined(__GNUC__)
  const bool avx2 = HasAvx2();
#endif
  for (int32_t i = 0; i < n; i += kChunk) {
    const int32_t c = n - i < kChunk ? n - i : kChunk;
    uint32_t opaque = 0xFF;
    for (int32_t j = 0; j < c; ++j) opaque &= d[4 * (i + j)];
    if (c == kChunk && opaque == 0xFF) {
#if defined(__x86_64__) && defined(__GNUC__)
      if (avx2) {
        if (!wholeOverClear) SpreadCoverage(kChunk, op, s + 4 * i, m ? m + 4 * i : nullptr, kb);
        OpaqueChunkAvx2(s + 4 * i, kb, wholeOverClear, d + 4 * i);
        continue;
      }
#endif
      SpreadCoverage(kChunk, op, s + 4 * i, m ? m + 4 * i : nullptr, kb);
      Lanes(4 * kChunk, s + 4 * i, kb, d + 4 * i, Towards);
    } else if (m) {
      NormalLanes<true>(c, op, s + 4 * i, m + 4 * i, d + 4 * i, false);
    } else {
      NormalLanes<false>(c, op, s + 4 * i, nullptr, d + 4 * i, wholeOverClear);
    }
  }
  return 0;
}

// Premultiplied over: c = min(255, M[d][255 - a] + M[op][s]) with the
// coverage a = M[op][sa] (both times the mask), alpha kept, pixels of
// coverage 0 untouched; in pixel lanes.
TV_PF_CLONES ErrorCode PremulOverRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* __restrict s,
                                     const uint8_t* __restrict m, uint8_t* __restrict d) {
  const uint32_t op = p->opacity;
  auto row = [&](const auto maskOf) {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
      const uint32_t mk = maskOf(i);
      const uint32_t a = MulLane(MulLane(op, sp & 0xFF), mk);
      uint32_t out = dp & 0xFF;
      for (int c = 1; c < 4; ++c) {
        const uint32_t r = MulLane(Ch(dp, c), 255 - a) + MulLane(MulLane(op, Ch(sp, c)), mk);
        out |= (r > 255 ? 255u : r) << (8 * c);
      }
      Store(d + 4 * i, a == 0 ? dp : out);
    }
  };
  if (m)
    row([m](int32_t i) { return uint32_t{m[4 * i]}; });
  else
    row([](int32_t) { return 255u; });
  return 0;
}

template <int Mode>
ErrorCode GenericRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  Row<Mode>(ArithOps{}, n, p, s, m, d);
  return 0;
}

template <int... Modes>
constexpr auto MakeTable(std::integer_sequence<int, Modes...>) {
  return std::array<PF_TransferFunc, sizeof...(Modes)>{&GenericRow<Modes>...};
}

constexpr auto kRows = [] {
  auto t = MakeTable(std::make_integer_sequence<int, PF_Xfer_Count>{});
  t[PF_Xfer_Copy] = &CopyRow;
  t[PF_Xfer_Normal] = &NormalRow;
  t[PF_Xfer_PremulOver] = &PremulOverRow;
  t[PF_Xfer_Add] = &AddRow;
  t[PF_Xfer_Multiply] = &MultiplyRow;
  t[PF_Xfer_Screen] = &ScreenRow;
  t[PF_Xfer_Darken] = &DarkenRow;
  t[PF_Xfer_Lighten] = &LightenRow;
  t[PF_Xfer_Difference] = &DifferenceRow;
  return t;
}();

}  // namespace

PF_TransferFunc FastRow(int32_t mode) {
  return mode >= 0 && mode < PF_Xfer_Count ? kRows[static_cast<size_t>(mode)] : nullptr;
}

}  // namespace tv::pf
