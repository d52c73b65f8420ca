// World copies: a source rectangle into a destination rectangle, scaled when
// their sizes differ. Draft copies take the nearest source pixel (the one
// under each destination pixel's centre); high-quality copies take the mean
// of the source area under each destination pixel, at least one source pixel
// wide so that enlargements interpolate linearly. Neither reads outside the
// source rectangle: footprints are cut at its edges and the weights
// renormalised, so an opaque picture stays opaque to its edges.
#include <algorithm>
#include <cstring>

#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace tv::pf {

bool Overlap(const PFWorld& a, const PFWorld& b) {
  if (EmptyWorld(a) || EmptyWorld(b)) return false;
  const uint8_t* a0 = reinterpret_cast<const uint8_t*>(a.data);
  const uint8_t* b0 = reinterpret_cast<const uint8_t*>(b.data);
  const uint8_t* a1 = a0 + static_cast<ptrdiff_t>(a.height - 1) * a.rowBytes + 4 * static_cast<ptrdiff_t>(a.width);
  const uint8_t* b1 = b0 + static_cast<ptrdiff_t>(b.height - 1) * b.rowBytes + 4 * static_cast<ptrdiff_t>(b.width);
  return a0 < b1 && b0 < a1;
}

namespace {

enum class Kind { Draft, Straight, Premul };

// The taps of one destination column (or row): `count` source pixels from
// `first`, with weights summing to kAxisOne.
constexpr uint32_t kAxisShift = 14;
constexpr uint32_t kAxisOne = 1u << kAxisShift;
struct Taps {
  int32_t first;
  int32_t count;
  int32_t offset;  // into the weight array
};

// Weights of destination pixel j along an axis of sw source and dw destination
// pixels. Units of 1 / (2 dw) source pixel: source pixel i covers
// [2 i dw, 2 (i + 1) dw]. A reduction covers [2 j sw, 2 (j + 1) sw]; an
// enlargement a one-pixel box around the destination pixel's centre.
int32_t AxisTaps(int64_t sw, int64_t dw, int64_t j, uint32_t* weights, int32_t* first) {
  int64_t lo, hi;
  if (sw >= dw) {
    lo = 2 * j * sw;
    hi = 2 * (j + 1) * sw;
  } else {
    lo = (2 * j + 1) * sw - dw;
    hi = (2 * j + 1) * sw + dw;
  }
  lo = std::max<int64_t>(lo, 0);
  hi = std::min<int64_t>(hi, 2 * sw * dw);
  const int64_t unit = 2 * dw;
  const int64_t i0 = lo / unit, i1 = (hi - 1) / unit;
  const int64_t total = hi - lo;
  uint32_t sum = 0;
  int32_t count = 0, biggest = 0;
  int64_t biggestRaw = -1;
  for (int64_t i = i0; i <= i1; ++i) {
    const int64_t raw = std::min(hi, (i + 1) * unit) - std::max(lo, i * unit);
    const uint32_t q = static_cast<uint32_t>(raw * kAxisOne / total);
    weights[count] = q;
    sum += q;
    if (raw > biggestRaw) {
      biggestRaw = raw;
      biggest = count;
    }
    ++count;
  }
  weights[biggest] += kAxisOne - sum;  // the rounding remainder goes to the largest share
  *first = static_cast<int32_t>(i0);
  return count;
}

struct Axis {
  ScratchArray<Taps> taps;
  ScratchArray<uint32_t> weights;
  Axis(int32_t dw, int32_t maxTaps) : taps(static_cast<size_t>(dw)), weights(static_cast<size_t>(dw) * maxTaps) {}
  bool ok() const { return taps.ok() && weights.ok(); }
};

int32_t MaxTaps(int32_t sw, int32_t dw) { return sw / dw + 2; }

void BuildAxis(Axis& axis, int32_t srcStart, int32_t sw, int32_t dw) {
  int32_t offset = 0;
  for (int32_t j = 0; j < dw; ++j) {
    int32_t first = 0;
    const int32_t count = AxisTaps(sw, dw, j, axis.weights.data() + offset, &first);
    axis.taps[j] = Taps{srcStart + first, count, offset};
    offset += count;
  }
}

void CopySameSize(const PFWorld& src, PFWorld& dst, const Rect& s, const Rect& d) {
  const size_t bytes = 4 * static_cast<size_t>(s.right - s.left);
  for (int32_t y = 0; y < s.bottom - s.top; ++y)
    std::memcpy(Row(dst, d.top + y) + 4 * d.left, Row(src, s.top + y) + 4 * s.left, bytes);
}

ErrorCode CopyDraft(const PFWorld& src, PFWorld& dst, const Rect& s, const Rect& d) {
  const int32_t sw = s.right - s.left, sh = s.bottom - s.top, dw = d.right - d.left, dh = d.bottom - d.top;
  ScratchArray<int32_t> columns(static_cast<size_t>(dw));
  if (!columns.ok()) return kReport.Fail(kSiteCopy, kErrOutOfMemory, kStrScratch);
  // The source pixel under the centre of each destination pixel.
  for (int32_t j = 0; j < dw; ++j)
    columns[j] = s.left + static_cast<int32_t>((2 * int64_t{j} + 1) * sw / (2 * int64_t{dw}));
  for (int32_t k = 0; k < dh; ++k) {
    const int32_t sy = s.top + static_cast<int32_t>((2 * int64_t{k} + 1) * sh / (2 * int64_t{dh}));
    const uint8_t* in = Row(src, sy);
    uint8_t* out = Row(dst, d.top + k) + 4 * d.left;
    for (int32_t j = 0; j < dw; ++j) std::memcpy(out + 4 * j, in + 4 * columns[j], 4);
  }
  return 0;
}

template <bool kStraight>
ErrorCode CopyHQ(const PFWorld& src, PFWorld& dst, const Rect& s, const Rect& d) {
  const int32_t sw = s.right - s.left, sh = s.bottom - s.top, dw = d.right - d.left, dh = d.bottom - d.top;
  Axis cols(dw, MaxTaps(sw, dw)), rows(dh, MaxTaps(sh, dh));
  if (!cols.ok() || !rows.ok()) return kReport.Fail(kSiteCopy, kErrOutOfMemory, kStrScratch);
  BuildAxis(cols, s.left, sw, dw);
  BuildAxis(rows, s.top, sh, dh);
  constexpr uint64_t kHalf = uint64_t{1} << (2 * kAxisShift - 1);
  for (int32_t k = 0; k < dh; ++k) {
    const Taps& rt = rows.taps[k];
    const uint32_t* rw = rows.weights.data() + rt.offset;
    uint8_t* out = Row(dst, d.top + k) + 4 * d.left;
    for (int32_t j = 0; j < dw; ++j) {
      const Taps& ct = cols.taps[j];
      const uint32_t* cw = cols.weights.data() + ct.offset;
      uint64_t sum[4] = {0, 0, 0, 0};
      for (int32_t r = 0; r < rt.count; ++r) {
        const uint8_t* p = Row(src, rt.first + r) + 4 * ct.first;
        uint32_t rs[4] = {0, 0, 0, 0};  // at most 2^14 * 255 * 255 per row: fits
        for (int32_t c = 0; c < ct.count; ++c, p += 4) {
          if constexpr (kStraight) {
            const uint32_t wa = cw[c] * p[0];
            rs[0] += wa;
            rs[1] += wa * p[1];
            rs[2] += wa * p[2];
            rs[3] += wa * p[3];
          } else {
            for (int ch = 0; ch < 4; ++ch) rs[ch] += cw[c] * p[ch];
          }
        }
        for (int ch = 0; ch < 4; ++ch) sum[ch] += uint64_t{rw[r]} * rs[ch];
      }
      uint8_t* o = out + 4 * j;
      if constexpr (kStraight) {
        const uint64_t A = sum[0];
        const uint32_t alpha = static_cast<uint32_t>((A + kHalf) >> (2 * kAxisShift));
        if (alpha == 0) {
          std::memset(o, 0, 4);
          continue;
        }
        o[0] = static_cast<uint8_t>(alpha);
        for (int ch = 1; ch < 4; ++ch) o[ch] = static_cast<uint8_t>((sum[ch] + A / 2) / A);
      } else {
        for (int ch = 0; ch < 4; ++ch) o[ch] = static_cast<uint8_t>((sum[ch] + kHalf) >> (2 * kAxisShift));
      }
    }
  }
  return 0;
}

// One destination row of straight pixels from source rows a and b, in
// chunks of channel arrays with masks instead of branches so that the
// divisions run in vectors; built twice, for 256-bit vectors and without.
__attribute__((target_clones("avx2", "default"))) void HalfRowStraight(const uint8_t* a, const uint8_t* b,
                                                                      uint8_t* o, int32_t count) {
  constexpr int32_t kChunk = 32;
  for (int32_t j0 = 0; j0 < count; j0 += kChunk) {
    const int32_t n = std::min(kChunk, count - j0);
    int32_t A[kChunk], sum[3][kChunk];
    uint8_t out[4][kChunk];
    for (int32_t j = 0; j < n; ++j) {
      const uint8_t* p = a + 8 * (j0 + j);
      const uint8_t* q = b + 8 * (j0 + j);
      A[j] = p[0] + p[4] + q[0] + q[4];
      for (int c = 1; c < 4; ++c) sum[c - 1][j] = p[0] * p[c] + p[4] * p[4 + c] + q[0] * q[c] + q[4] * q[4 + c];
    }
    for (int32_t j = 0; j < n; ++j) {
      const int32_t alpha = (A[j] + 2) >> 2;
      const int32_t d = A[j] | static_cast<int32_t>(A[j] == 0);  // A = 0: alpha 0, cleared by the mask
      const float inverse = 1.0f / static_cast<float>(d);
      const int32_t keep = -static_cast<int32_t>(alpha != 0);
      const int32_t half = A[j] >> 1;
      out[0][j] = static_cast<uint8_t>(alpha);
      out[1][j] = static_cast<uint8_t>(Quotient(sum[0][j] + half, d, inverse) & keep);
      out[2][j] = static_cast<uint8_t>(Quotient(sum[1][j] + half, d, inverse) & keep);
      out[3][j] = static_cast<uint8_t>(Quotient(sum[2][j] + half, d, inverse) & keep);
    }
    for (int32_t j = 0; j < n; ++j)
      for (int c = 0; c < 4; ++c) o[4 * (j0 + j) + c] = out[c][j];
  }
}

// Halving both sides: the general weights are all 2^26, so the mean of each
// 2 x 2 block is (sum + 2) / 4 (premultiplied) or, for straight pixels,
// alpha (sum a + 2) / 4 and colours (sum a c + sum a / 2) / sum a; the
// float estimate of a colour (at most 255) is far within one of the
// quotient, so Quotient makes it exact.
template <bool kStraight>
void CopyHalf(const PFWorld& src, PFWorld& dst, const Rect& s, const Rect& d) {
  const int32_t dw = d.right - d.left, dh = d.bottom - d.top;
  for (int32_t k = 0; k < dh; ++k) {
    const uint8_t* a = Row(src, s.top + 2 * k) + 4 * s.left;
    const uint8_t* b = a + src.rowBytes;
    uint8_t* o = Row(dst, d.top + k) + 4 * d.left;
    if constexpr (kStraight) {
      HalfRowStraight(a, b, o, dw);
    } else {
      for (int32_t j = 0; j < dw; ++j, a += 8, b += 8, o += 4)
        for (int c = 0; c < 4; ++c) o[c] = static_cast<uint8_t>((a[c] + a[4 + c] + b[c] + b[4 + c] + 2) >> 2);
    }
  }
}

ErrorCode Copy(Kind kind, const PFWorld* src, PFWorld* dst, const Rect* srcRect, const Rect* dstRect) {
  if (!ValidWorld(src) || !ValidWorld(dst)) return BadParam(PF_Routine_Copy, "bad world");
  Rect s, d;
  if (!ResolveRect(*src, srcRect, &s) || !ResolveRect(*dst, dstRect, &d))
    return BadParam(PF_Routine_Copy, "rectangle outside its world");
  if (Overlap(*src, *dst)) return BadParam(PF_Routine_Copy, "source and destination share pixels");
  if (s.right == s.left || s.bottom == s.top || d.right == d.left || d.bottom == d.top) return 0;
  if (s.right - s.left == d.right - d.left && s.bottom - s.top == d.bottom - d.top) {
    CopySameSize(*src, *dst, s, d);
    return 0;
  }
  const bool half = s.right - s.left == 2 * (d.right - d.left) && s.bottom - s.top == 2 * (d.bottom - d.top);
  if (half && kind != Kind::Draft && !UseReference()) {
    kind == Kind::Straight ? CopyHalf<true>(*src, *dst, s, d) : CopyHalf<false>(*src, *dst, s, d);
    return 0;
  }
  switch (kind) {
    case Kind::Draft: return CopyDraft(*src, *dst, s, d);
    case Kind::Straight: return CopyHQ<true>(*src, *dst, s, d);
    default: return CopyHQ<false>(*src, *dst, s, d);
  }
}

}  // namespace
}  // namespace tv::pf

ErrorCode PF_CopyBits_Draft_Static(void*, const PFWorld* src, PFWorld* dst, const Rect* srcRect, const Rect* dstRect) {
  return Copy(Kind::Draft, src, dst, srcRect, dstRect);
}
ErrorCode PF_CopyBits_Draft(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect, const Rect* dstRect) {
  return PF_CopyBits_Draft_Static(ref, src, dst, srcRect, dstRect);
}
ErrorCode PF_CopyBits_HQ_Straight_Static(void*, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                         const Rect* dstRect) {
  return Copy(Kind::Straight, src, dst, srcRect, dstRect);
}
ErrorCode PF_CopyBits_HQ_Straight(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                  const Rect* dstRect) {
  return PF_CopyBits_HQ_Straight_Static(ref, src, dst, srcRect, dstRect);
}
ErrorCode PF_CopyBits_HQ_Premul_Static(void*, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                       const Rect* dstRect) {
  return Copy(Kind::Premul, src, dst, srcRect, dstRect);
}
ErrorCode PF_CopyBits_HQ_Premul(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect, const Rect* dstRect) {
  return PF_CopyBits_HQ_Premul_Static(ref, src, dst, srcRect, dstRect);
}

ErrorCode PF_WorldCopy_Static(void* ref, const PFWorld* src, PFWorld* dst) {
  return PF_CopyBits_Draft_Static(ref, src, dst, nullptr, nullptr);
}
ErrorCode PF_WorldCopy(void* ref, const PFWorld* src, PFWorld* dst) { return PF_WorldCopy_Static(ref, src, dst); }
ErrorCode PF_WorldCopy_HQ_Straight_Static(void* ref, const PFWorld* src, PFWorld* dst) {
  return PF_CopyBits_HQ_Straight_Static(ref, src, dst, nullptr, nullptr);
}
ErrorCode PF_WorldCopy_HQ_Straight(void* ref, const PFWorld* src, PFWorld* dst) {
  return PF_WorldCopy_HQ_Straight_Static(ref, src, dst);
}
// The layer pipeline works on straight pixels: the plain high-quality copy is the straight one.
ErrorCode PF_WorldCopy_HQ_Static(void* ref, const PFWorld* src, PFWorld* dst) {
  return PF_WorldCopy_HQ_Straight_Static(ref, src, dst);
}
ErrorCode PF_WorldCopy_HQ(void* ref, const PFWorld* src, PFWorld* dst) { return PF_WorldCopy_HQ_Static(ref, src, dst); }
ErrorCode PF_WorldCopy_HQ_Premul(void* ref, const PFWorld* src, PFWorld* dst) {
  return PF_CopyBits_HQ_Premul_Static(ref, src, dst, nullptr, nullptr);
}
