// Blending two worlds and filling a rectangle.
#include <algorithm>
#include <cstring>

#include "PF_internal.h"

namespace tv::pf {
namespace {

bool SameSize(const PFWorld* a, const PFWorld* b) { return a->width == b->width && a->height == b->height; }

void CopyRows(const PFWorld* src, PFWorld* dst) {
  const size_t bytes = 4 * static_cast<size_t>(dst->width);
  for (int32_t y = 0; y < dst->height; ++y) std::memmove(Row(dst, y), Row(src, y), bytes);
}

// The straight blend of one row, literally: w1 = a1 (0x10000 - ratio),
// w2 = a2 (ratio & 0xFFFF); colours weighted by w1 and w2.
void BlendRowReference(const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t n, uint32_t ratio) {
  for (int32_t i = 0; i < n; ++i, p1 += 4, p2 += 4, d += 4) {
    const uint64_t w1 = uint64_t{p1[0]} * (0x10000u - ratio);
    const uint64_t w2 = uint64_t{p2[0]} * (ratio & 0xFFFFu);
    uint8_t out[4];
    out[0] = static_cast<uint8_t>((w1 + w2 + 32768) >> 16);
    for (int c = 1; c < 4; ++c) {
      if (w1 == 0)
        out[c] = p2[c];
      else if (w2 == 0)
        out[c] = p1[c];
      else
        out[c] = static_cast<uint8_t>((p2[c] * w2 + p1[c] * w1 + (w1 + w2) / 2) / (w1 + w2));
    }
    std::memcpy(d, out, 4);
  }
}

// The same with one reciprocal per pixel: numerators are below 2^33 and the
// divisor W below 2^24, so a quotient that is not a whole number lies at
// least 1/W >= 2^-24 below the next one, while the double product n x (1/W)
// is within 2^-40 of n / W; adding 2^-30 before truncation therefore gives
// the exact integer quotient in every case.
void BlendRowFast(const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t n, uint32_t ratio) {
  const uint32_t f1 = 0x10000u - ratio, f2 = ratio & 0xFFFFu;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* a = p1 + 4 * i;
    const uint8_t* b = p2 + 4 * i;
    const uint32_t w1 = a[0] * f1, w2 = b[0] * f2;
    const uint32_t w = w1 + w2;
    uint8_t out[4];
    out[0] = static_cast<uint8_t>((uint64_t{w} + 32768) >> 16);
    if (w1 == 0) {
      out[1] = b[1], out[2] = b[2], out[3] = b[3];
    } else if (w2 == 0) {
      out[1] = a[1], out[2] = a[2], out[3] = a[3];
    } else {
      const double recip = 1.0 / static_cast<double>(w);
      const uint64_t half = w / 2;
      for (int c = 1; c < 4; ++c) {
        const uint64_t num = uint64_t{b[c]} * w2 + uint64_t{a[c]} * w1 + half;
        out[c] = static_cast<uint8_t>(static_cast<double>(num) * recip + 0x1p-30);
      }
    }
    std::memcpy(d + 4 * i, out, 4);
  }
}

// Premultiplied pixels blend linearly, alpha and colour alike.
void BlendRowPremul(const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t n, uint32_t ratio) {
  const uint32_t f1 = 0x10000u - ratio;
  for (int32_t i = 0; i < 4 * n; ++i)
    d[i] = static_cast<uint8_t>((p1[i] * f1 + p2[i] * ratio + 32768) >> 16);
}

ErrorCode Blend(const PFWorld* src1, const PFWorld* src2, Fixed ratio, PFWorld* dst, bool premul) {
  if (!ValidWorld(src1) || !ValidWorld(src2) || !ValidWorld(dst)) return BadParam(kRtBlend, "world");
  // All three worlds must agree in size: copying the destination's byte count
  // out of a smaller source would read past it, and worlds with other row
  // bytes are walked row by row.
  if (!SameSize(src1, dst) || !SameSize(src2, dst)) return BadParam(kRtBlend, "world sizes differ");
  const uint32_t r = static_cast<uint32_t>(std::clamp<Fixed>(ratio, 0, 0x10000));
  if (r == 0) {
    CopyRows(src1, dst);
    return 0;
  }
  if (r == 0x10000) {
    CopyRows(src2, dst);
    return 0;
  }
  const bool reference = UseReference();
  for (int32_t y = 0; y < dst->height; ++y) {
    const uint8_t* a = Row(src1, y);
    const uint8_t* b = Row(src2, y);
    uint8_t* d = Row(dst, y);
    if (premul)
      BlendRowPremul(a, b, d, dst->width, r);
    else if (reference)
      BlendRowReference(a, b, d, dst->width, r);
    else
      BlendRowFast(a, b, d, dst->width, r);
  }
  return 0;
}

}  // namespace

// Entry points for the tests of the blend kernels.
void BlendRowForTest(const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t n, uint32_t ratio, bool fast) {
  if (fast)
    BlendRowFast(p1, p2, d, n, ratio);
  else
    BlendRowReference(p1, p2, d, n, ratio);
}

}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

ErrorCode PF_Blend(PF_EffectRef, const PFWorld* src1, const PFWorld* src2, Fixed ratio, PFWorld* dst) {
  return Blend(src1, src2, ratio, dst, false);
}
ErrorCode PF_Blend_Straight(PF_EffectRef, const PFWorld* src1, const PFWorld* src2, Fixed ratio, PFWorld* dst) {
  return Blend(src1, src2, ratio, dst, false);
}
ErrorCode PF_Blend_Premul(PF_EffectRef, const PFWorld* src1, const PFWorld* src2, Fixed ratio, PFWorld* dst) {
  return Blend(src1, src2, ratio, dst, true);
}

ErrorCode PF_Fill(PF_EffectRef, const PF_Pixel* colour, const Rect* rect, PFWorld* world) {
  if (!ValidWorld(world)) return BadParam(kRtFill, "world");
  uint8_t px[4] = {0, 0, 0, 0};
  if (colour) px[0] = colour->alpha, px[1] = colour->red, px[2] = colour->green, px[3] = colour->blue;
  Area a{0, 0, world->width, world->height};
  if (rect) {
    // Put in order, then clip to the world: a rectangle reaching outside
    // the world fills only the part inside it.
    a.left = std::max<int32_t>(std::min(rect->left, rect->right), 0);
    a.right = std::min<int32_t>(std::max(rect->left, rect->right), world->width);
    a.top = std::max<int32_t>(std::min(rect->top, rect->bottom), 0);
    a.bottom = std::min<int32_t>(std::max(rect->top, rect->bottom), world->height);
  }
  if (a.empty()) return 0;
  uint32_t v;
  std::memcpy(&v, px, 4);
  for (int32_t y = a.top; y < a.bottom; ++y) {
    uint8_t* row = Row(world, y) + 4 * a.left;
    for (int32_t x = 0; x < a.width(); ++x) std::memcpy(row + 4 * x, &v, 4);
  }
  return 0;
}
