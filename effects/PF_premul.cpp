// Premultiplication and its inverse, against black or a matte colour, in
// both channel orders.
#include <cstring>

#include "PF_internal.h"

namespace tv::pf {
namespace {

// Channel layouts: the alpha byte and the three colour bytes of a pixel.
struct ARGB {
  static constexpr int kA = 0, kC0 = 1;
};
struct BGRA {
  static constexpr int kA = 3, kC0 = 0;
};

// The literal forms: alpha 0 turns the pixel to zeros, alpha 255 leaves it,
// otherwise each colour becomes M[alpha][v] (matte) or D[alpha][v].
template <class L>
void MatteReference(const TableOps& o, const uint8_t* s, uint8_t* d, int32_t n, bool forward) {
  for (int32_t i = 0; i < n; ++i, s += 4, d += 4) {
    const uint32_t a = s[L::kA];
    if (a == 0) {
      d[0] = d[1] = d[2] = d[3] = 0;
      continue;
    }
    for (int c = 0; c < 4; ++c) d[c] = s[c];
    if (a == 255) continue;
    for (int c = L::kC0; c < L::kC0 + 3; ++c) d[c] = static_cast<uint8_t>(forward ? o.M(a, s[c]) : o.D(a, s[c]));
  }
}

// The fast matte: M[a][v] as arithmetic is v at a = 255 and 0 at a = 0, so
// no case is needed and the loop vectorises.
template <class L>
void MatteFast(const uint8_t* s, uint8_t* d, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t a = s[4 * i + L::kA];
    uint8_t out[4];
    out[L::kA] = static_cast<uint8_t>(a);
    for (int c = L::kC0; c < L::kC0 + 3; ++c) out[c] = static_cast<uint8_t>(ArithOps::M(a, s[4 * i + c]));
    for (int c = 0; c < 4; ++c) d[4 * i + c] = out[c];
  }
}

// The fast de-matte, one pixel per lane. With R = ceil(2^24 / a),
// (n R) >> 24 is the exact quotient n / a for every numerator
// n = 255 v + a / 2 < 65153: the error n (R - 2^24 / a) / 2^24 < n / 2^24
// < 1 / 255 <= 1 / a never carries past the next whole number. A pixel of
// alpha 0 becomes zeros; the alpha byte is kept.
struct Recip24 {
  uint32_t r[256];
  constexpr Recip24() : r() {
    for (uint32_t a = 1; a < 256; ++a) r[a] = ((1u << 24) + a - 1) / a;
  }
};
constexpr Recip24 kRecip24{};

template <class L>
void DeMatteFast(const uint8_t* s, uint8_t* d, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t px;
    std::memcpy(&px, s + 4 * i, 4);
    const uint32_t a = (px >> (8 * L::kA)) & 0xFF;
    const uint32_t r = kRecip24.r[a];
    uint32_t out = a << (8 * L::kA);
    for (int c = L::kC0; c < L::kC0 + 3; ++c) {
      const uint32_t v = (px >> (8 * c)) & 0xFF;
      const uint32_t q = static_cast<uint32_t>((uint64_t{v * 255 + (a >> 1)} * r) >> 24);
      out |= (v > a ? 255u : q) << (8 * c);
    }
    out = a == 0 ? 0u : out;
    std::memcpy(d + 4 * i, &out, 4);
  }
}

TV_PF_CLONES void MatteFastARGB(const uint8_t* s, uint8_t* d, int32_t n) { MatteFast<ARGB>(s, d, n); }
TV_PF_CLONES void MatteFastBGRA(const uint8_t* s, uint8_t* d, int32_t n) { MatteFast<BGRA>(s, d, n); }
TV_PF_CLONES void DeMatteFastARGB(const uint8_t* s, uint8_t* d, int32_t n) { DeMatteFast<ARGB>(s, d, n); }
TV_PF_CLONES void DeMatteFastBGRA(const uint8_t* s, uint8_t* d, int32_t n) { DeMatteFast<BGRA>(s, d, n); }

template <class L>
void Matte(const uint8_t* s, uint8_t* d, int32_t n, bool forward) {
  constexpr bool argb = L::kA == 0;
  if (UseReference()) {
    TableBracket tables;
    MatteReference<L>(tables.ops(), s, d, n, forward);
  } else if (forward) {
    (argb ? MatteFastARGB : MatteFastBGRA)(s, d, n);
  } else {
    (argb ? DeMatteFastARGB : DeMatteFastBGRA)(s, d, n);
  }
}

// Against a matte colour, per pixel through the iterate routine.
struct ColourMatte {
  uint8_t m[3];
  bool forward;
  bool reference;
  TableOps tables;
};
template <class Ops>
void ColourMattePixel(const Ops& o, const ColourMatte& cm, PF_Pixel* p) {
  const uint32_t a = p->alpha;
  uint8_t* c[3] = {&p->red, &p->green, &p->blue};
  for (int i = 0; i < 3; ++i) {
    const uint32_t behind = o.M(255 - a, cm.m[i]);
    if (cm.forward) {
      *c[i] = static_cast<uint8_t>(o.M(a, *c[i]) + behind);
    } else {
      const uint32_t v = *c[i] > behind ? *c[i] - behind : 0;
      *c[i] = static_cast<uint8_t>(o.D(a, v));
    }
  }
}
ErrorCode ColourMatteFunc(void* refcon, int32_t, int32_t, PF_Pixel*, PF_Pixel* out) {
  const auto& cm = *static_cast<const ColourMatte*>(refcon);
  if (cm.reference)
    ColourMattePixel(cm.tables, cm, out);
  else
    ColourMattePixel(ArithOps{}, cm, out);
  return 0;
}

ErrorCode CheckRun(int32_t count, const void* a, const void* b) {
  if (count < 0) return BadParam(kRtMatte, "negative count");
  if (count > 0 && (!a || !b)) return BadParam(kRtMatte, "no pixels");
  return 0;
}

}  // namespace

void PremulRow(uint8_t* p, int32_t count, bool forward) { Matte<ARGB>(p, p, count, forward); }

}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

ErrorCode PF_Premul(PF_EffectRef, Boolean32 forward, PFWorld* world) {
  if (!ValidWorld(world)) return BadParam(kRtPremul, "world");
  for (int32_t y = 0; y < world->height; ++y) PremulRow(Row(world, y), world->width, forward != 0);
  return 0;
}

ErrorCode PF_PremulColor(PF_EffectRef ref, Boolean32 forward, const PF_Pixel* colour, PFWorld* world) {
  if (!ValidWorld(world)) return BadParam(kRtPremulColor, "world");
  if (!colour || (colour->red == 0 && colour->green == 0 && colour->blue == 0))
    return PF_Premul(ref, forward, world);
  TableBracket tables;
  ColourMatte cm{{colour->red, colour->green, colour->blue}, forward != 0, UseReference(), tables.ops()};
  return PF_Iterate(ref, 0, world->height, nullptr, nullptr, &cm, &ColourMatteFunc, world);
}

ErrorCode PF_BlackMatte(PF_EffectRef, int32_t count, const PF_Pixel* src, PF_Pixel* dst) {
  if (ErrorCode err = CheckRun(count, src, dst)) return err;
  Matte<ARGB>(reinterpret_cast<const uint8_t*>(src), reinterpret_cast<uint8_t*>(dst), count, true);
  return 0;
}
ErrorCode PF_DeBlackMatte(PF_EffectRef, int32_t count, const PF_Pixel* src, PF_Pixel* dst) {
  if (ErrorCode err = CheckRun(count, src, dst)) return err;
  Matte<ARGB>(reinterpret_cast<const uint8_t*>(src), reinterpret_cast<uint8_t*>(dst), count, false);
  return 0;
}
ErrorCode PF_BlackMatteARGB(PF_EffectRef, int32_t count, uint8_t* pixels) {
  if (ErrorCode err = CheckRun(count, pixels, pixels)) return err;
  Matte<ARGB>(pixels, pixels, count, true);
  return 0;
}
ErrorCode PF_DeBlackMatteARGB(PF_EffectRef, int32_t count, uint8_t* pixels) {
  if (ErrorCode err = CheckRun(count, pixels, pixels)) return err;
  Matte<ARGB>(pixels, pixels, count, false);
  return 0;
}
ErrorCode PF_BlackMatteBGRA(PF_EffectRef, int32_t count, uint8_t* pixels) {
  if (ErrorCode err = CheckRun(count, pixels, pixels)) return err;
  Matte<BGRA>(pixels, pixels, count, true);
  return 0;
}
ErrorCode PF_DeBlackMatteBGRA(PF_EffectRef, int32_t count, uint8_t* pixels) {
  if (ErrorCode err = CheckRun(count, pixels, pixels)) return err;
  Matte<BGRA>(pixels, pixels, count, false);
  return 0;
}

ErrorCode PF_MatteBlackToMatteColorBGRA(PF_EffectRef, int32_t count, const PF_Pixel* colour, uint8_t* pixels) {
  if (ErrorCode err = CheckRun(count, pixels, pixels)) return err;
  if (!colour) return BadParam(kRtMatte, "no colour");
  const uint32_t m[3] = {colour->blue, colour->green, colour->red};
  const bool reference = UseReference();
  TableBracket tables;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * i;
    const uint32_t a = p[3];
    for (int c = 0; c < 3; ++c) {
      const uint32_t behind = reference ? tables.ops().M(255 - a, m[c]) : ArithOps::M(255 - a, m[c]);
      const uint32_t v = p[c] + behind;
      p[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
  }
  return 0;
}
