// The transfer modes written once over an arithmetic policy: with TableOps
// they are the reference kernels (literal lookups in the multiply and divide
// tables), with ArithOps the generic fast kernels. Included by the two kernel
// files only.
#pragma once

#include <algorithm>

#include "PF_internal.h"

namespace tv::pf::xfer {

inline uint32_t Lum(const uint8_t* p) {
  const PF_ColourTables& t = Tables();
  return uint32_t{t.lumR[p[1]]} + t.lumG[p[2]] + t.lumB[p[3]];
}
inline uint32_t LumOf(const int32_t c[3]) {
  const PF_ColourTables& t = Tables();
  return uint32_t{t.lumR[c[0]]} + t.lumG[c[1]] + t.lumB[c[2]];
}

// d moved towards t by the coverage: d + M[t - d][k] or d - M[d - t][k].
template <class Ops>
inline uint32_t Toward(const Ops& o, uint32_t d, uint32_t t, uint32_t k) {
  return t >= d ? d + o.M(t - d, k) : d - o.M(d - t, k);
}

// Gives c (three channels) the luminance L: each channel plus the difference
// of luminances; a result outside 0..255 is scaled about L so that its lowest
// channel lands on 0 or its highest on 255.
inline void SetLum(int32_t c[3], int32_t L) {
  const int32_t delta = L - static_cast<int32_t>(LumOf(c));
  for (int i = 0; i < 3; ++i) c[i] += delta;
  const int32_t lo = std::min({c[0], c[1], c[2]});
  const int32_t hi = std::max({c[0], c[1], c[2]});
  if (lo < 0) {
    for (int i = 0; i < 3; ++i) c[i] = L + (c[i] - L) * L / (L - lo);
  } else if (hi > 255) {
    for (int i = 0; i < 3; ++i) c[i] = L + (c[i] - L) * (255 - L) / (hi - L);
  }
}
// Gives c the channel range sat: (c - min) x sat / (max - min); a grey gives 0.
inline void SetSat(int32_t c[3], int32_t sat) {
  const int32_t lo = std::min({c[0], c[1], c[2]});
  const int32_t hi = std::max({c[0], c[1], c[2]});
  for (int i = 0; i < 3; ++i) c[i] = hi > lo ? (c[i] - lo) * sat / (hi - lo) : 0;
}
inline int32_t Range(const uint8_t* p) {
  return std::max({p[1], p[2], p[3]}) - std::min({p[1], p[2], p[3]});
}

// One separable channel of modes 4 to 12 and 23 to 25 (k > 0).
template <int Mode, class Ops>
inline uint32_t Channel(const Ops& o, uint32_t s, uint32_t d, uint32_t k) {
  if constexpr (Mode == PF_Xfer_Add) {
    uint32_t r = k == 255 ? d + s : d + o.M(k, s);
    return r > 255 ? 255 : r;
  } else if constexpr (Mode == PF_Xfer_Multiply) {
    return k == 255 ? o.M(s, d) : d - o.M(o.M(255 - s, d), k);
  } else if constexpr (Mode == PF_Xfer_Screen) {
    return k == 255 ? 255 - o.M(255 - s, 255 - d) : d + o.M(o.M(s, 255 - d), k);
  } else if constexpr (Mode == PF_Xfer_Overlay) {
    uint32_t t = d < 128 ? o.M(s, 2 * d) : 255 - o.M(255 - s, 2 * (255 - d));
    if (k == 255) return t;
    return t >= d ? d + o.M(k, t - d) : d - o.M(k, d - t);
  } else if constexpr (Mode == PF_Xfer_SoftLight) {
    const PF_ColourTables& t = Tables();
    if (s < 128) {
      uint32_t c = o.M(255 - 2 * s, t.softLight1[d]);
      return d - (k < 255 ? o.M(c, k) : c);
    }
    uint32_t c = o.M(2 * s - 256, t.softLight2[d]);
    return d + (k < 255 ? o.M(c, k) : c);
  } else if constexpr (Mode == PF_Xfer_HardLight) {
    if (s < 128) {
      uint32_t c = o.M(255 - 2 * s, d);
      return d - (k < 255 ? o.M(c, k) : c);
    }
    uint32_t c = o.M(2 * s - 256, 255 - d);
    return d + (k < 255 ? o.M(c, k) : c);
  } else if constexpr (Mode == PF_Xfer_Darken) {
    return s < d ? d - o.M(d - s, k) : d;
  } else if constexpr (Mode == PF_Xfer_Lighten) {
    return s > d ? d + o.M(s - d, k) : d;
  } else if constexpr (Mode == PF_Xfer_Difference) {
    if (k == 255) return s > d ? s - d : d - s;
    uint32_t m = o.M(s, k);
    return m > d ? m - d : d - m;
  } else if constexpr (Mode == PF_Xfer_ColourDodge) {
    return o.D(255 - o.M(s, k), d);
  } else if constexpr (Mode == PF_Xfer_ColourBurn) {
    return 255 - o.D(255 - o.M(255 - s, k), 255 - d);
  } else if constexpr (Mode == PF_Xfer_Exclusion) {
    uint32_t m = o.M(s, d);
    return s - m >= m ? d + o.M(s - 2 * m, k) : d - o.M(2 * m - s, k);
  } else {
    return d;  // not a separable mode: never reached
  }
}

// One row of a mode. n >= 0 pixels; mask may be null.
template <int Mode, class Ops>
void Row(const Ops& o, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  const uint32_t op = p->opacity;
  const bool colourOnly = p->colourOnly != 0;
  for (int32_t i = 0; i < n; ++i, s += 4, d += 4, m = m ? m + 4 : nullptr) {
    const uint32_t sa = s[0];
    uint32_t k = o.M(op, sa);
    if (m) k = o.M(k, m[0]);

    if constexpr (Mode >= PF_Xfer_AlphaStencil && Mode <= PF_Xfer_LumaCutout) {
      // Stencils: at full opacity without a mask the destination alpha is
      // multiplied by the stencil value v; with less the stencil is faded
      // towards 255 (no effect) by the opacity (times the mask). The
      // luminance of a source pixel is taken as it is seen, times its alpha
      // (as a luminance matte's): a transparent pixel's colour is no part
      // of the picture, so a masked-out area stencils like the area outside
      // the layer, whatever colour was left in it.
      uint32_t f = m ? o.M(op, m[0]) : op;
      if (f == 0) continue;
      if (Mode == PF_Xfer_AlphaCutout && sa == 0) continue;
      uint32_t v = Mode == PF_Xfer_AlphaStencil  ? sa
                   : Mode == PF_Xfer_LumaStencil ? o.M(Lum(s), sa)
                   : Mode == PF_Xfer_AlphaCutout ? 255 - sa
                                                 : 255 - o.M(Lum(s), sa);
      if (f != 255) v = 255 - o.M(255 - v, f);
      d[0] = static_cast<uint8_t>(o.M(v, d[0]));
      continue;
    }

    if (k == 0) continue;
    if constexpr (Mode == PF_Xfer_Copy) {
      d[1] = s[1], d[2] = s[2], d[3] = s[3];
      if (!colourOnly) d[0] = static_cast<uint8_t>(k);
    } else if constexpr (Mode == PF_Xfer_Behind) {
      const uint32_t da = d[0];
      if (da == 255) continue;
      const uint32_t sa2 = m ? o.M(sa, m[0]) : sa;
      if (da == 0) {
        d[1] = s[1], d[2] = s[2], d[3] = s[3];
        if (!colourOnly) d[0] = static_cast<uint8_t>(o.M(op, sa2));
        continue;
      }
      // The weighted sums reach 255 x 255 x 65025 (above 2^31): unsigned 64-bit.
      const uint64_t wd = uint64_t{da} * 65025;
      const uint64_t ws = uint64_t{255 - da} * sa2 * op;
      const uint64_t w = wd + ws;
      for (int c = 1; c < 4; ++c) d[c] = static_cast<uint8_t>((d[c] * wd + s[c] * ws) / w);
      if (!colourOnly) d[0] = static_cast<uint8_t>(w / 65025);
    } else if constexpr (Mode == PF_Xfer_Normal) {
      const uint32_t da = d[0];
      if (k == 255 || (da == 0 && op == 255 && !m)) {
        d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = s[3];
      } else if (da == 255) {
        for (int c = 1; c < 4; ++c) d[c] = static_cast<uint8_t>(Toward(o, d[c], s[c], k));
      } else {
        const uint32_t a = 255 - o.M(255 - k, 255 - da);
        for (int c = 1; c < 4; ++c) {
          const uint32_t dp = o.M(da, d[c]);
          d[c] = static_cast<uint8_t>(o.D(a, Toward(o, dp, s[c], k)));
        }
        d[0] = static_cast<uint8_t>(a);
      }
    } else if constexpr (Mode == PF_Xfer_Dissolve) {
      if (k != 255 && static_cast<uint32_t>(PF_Rand(&p->seed) & 0xFF) > k) continue;
      d[1] = s[1], d[2] = s[2], d[3] = s[3];
      if (!colourOnly) d[0] = 255;
    } else if constexpr (Mode >= PF_Xfer_Hue && Mode <= PF_Xfer_Luminosity) {
      int32_t c[3];
      if constexpr (Mode == PF_Xfer_Hue) {
        c[0] = s[1], c[1] = s[2], c[2] = s[3];
        SetSat(c, Range(d));
        SetLum(c, static_cast<int32_t>(Lum(d)));
      } else if constexpr (Mode == PF_Xfer_Saturation) {
        c[0] = d[1], c[1] = d[2], c[2] = d[3];
        SetSat(c, Range(s));
        SetLum(c, static_cast<int32_t>(Lum(d)));
      } else if constexpr (Mode == PF_Xfer_Colour) {
        c[0] = s[1], c[1] = s[2], c[2] = s[3];
        SetLum(c, static_cast<int32_t>(Lum(d)));
      } else {
        c[0] = d[1], c[1] = d[2], c[2] = d[3];
        SetLum(c, static_cast<int32_t>(Lum(s)));
      }
      for (int i = 0; i < 3; ++i) {
        const uint32_t t = static_cast<uint32_t>(c[i]);
        d[i + 1] = static_cast<uint8_t>(k == 255 ? t : Toward(o, d[i + 1], t, k));
      }
    } else if constexpr (Mode == PF_Xfer_PremulOver) {
      uint32_t a = o.M(op, sa);
      uint32_t sc[3] = {o.M(op, s[1]), o.M(op, s[2]), o.M(op, s[3])};
      if (m) {
        a = o.M(a, m[0]);
        for (uint32_t& v : sc) v = o.M(v, m[0]);
      }
      for (int c = 0; c < 3; ++c) {
        const uint32_t r = o.M(d[c + 1], 255 - a) + sc[c];
        d[c + 1] = static_cast<uint8_t>(r > 255 ? 255 : r);
      }
    } else if constexpr (Mode == PF_Xfer_AlphaAdd) {
      const uint32_t a0 = o.M(op, sa);
      uint32_t a = a0;
      uint32_t sc[3] = {o.M(a0, o.M(op, s[1])), o.M(a0, o.M(op, s[2])), o.M(a0, o.M(op, s[3]))};
      if (m) {
        a = o.M(a, m[0]);
        for (uint32_t& v : sc) v = o.M(v, m[0]);
      }
      uint32_t da = d[0];
      if (a + da > 255) da = 255 - a;
      if (a == 0) {
        d[0] = static_cast<uint8_t>(da);
        continue;
      }
      const uint32_t na = da + a;
      for (int c = 0; c < 3; ++c) d[c + 1] = static_cast<uint8_t>(o.D(na, o.M(d[c + 1], da) + sc[c]));
      d[0] = static_cast<uint8_t>(na);
    } else {
      for (int c = 1; c < 4; ++c) d[c] = static_cast<uint8_t>(Channel<Mode>(o, s[c], d[c], k));
    }
  }
}

// The mode's flags.
constexpr uint32_t FlagsOf(int32_t mode) {
  switch (mode) {
    case PF_Xfer_Copy:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_ColourOnly | PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_Behind:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_ColourOnly | PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_Normal:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_Dissolve:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_ColourOnly | PF_XferFlag_UsesRandom |
             PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_Hue:
    case PF_Xfer_Saturation:
    case PF_Xfer_Colour:
    case PF_Xfer_Luminosity:
      return PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_AlphaStencil:
    case PF_Xfer_LumaStencil:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_AlphaOnly | PF_XferFlag_OutsideSource;
    case PF_Xfer_AlphaCutout:
    case PF_Xfer_LumaCutout:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_AlphaOnly;
    case PF_Xfer_PremulOver:
      return PF_XferFlag_Separable | PF_XferFlag_PremulSource | PF_XferFlag_KeepsZeroCoverage;
    case PF_Xfer_AlphaAdd:
      return PF_XferFlag_WritesAlpha | PF_XferFlag_PremulSource | PF_XferFlag_KeepsZeroCoverage;
    default:
      return PF_XferFlag_Separable | PF_XferFlag_KeepsZeroCoverage;
  }
}

}  // namespace tv::pf::xfer
