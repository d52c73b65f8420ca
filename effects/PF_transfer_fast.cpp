// The fast row functions of the transfer modes: the same formulas with the
// multiply table computed as ((t + (t >> 8)) >> 8), t = a b + 128, and the
// divide table as a multiplication by a reciprocal. Both are exact for every
// pair of bytes, so these rows equal the reference rows byte for byte. The
// modes that decide frame rates are written as branch-free 32-bit lane code
// that the compiler vectorises; the rest use the shared formulas.
#include <array>
#include <cstring>
#include <utility>

#include "PF_transfer_kernels.h"

namespace tv::pf {
namespace {

using xfer::Row;

inline uint32_t Mul(uint32_t a, uint32_t b) {
  uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}
inline uint32_t Load(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint32_t Ch(uint32_t px, int c) { return (px >> (8 * c)) & 0xFF; }

// A separable mode over 32-bit pixels (byte 0 alpha): f(s, d, k) per colour
// channel must give d for k = 0; the destination alpha is kept.
template <class F>
inline void SeparableLanes(int32_t n, uint32_t op, const uint8_t* s, const uint8_t* m, uint8_t* d, F f) {
  if (m) {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
      const uint32_t k = Mul(Mul(op, sp & 0xFF), m[4 * i]);
      uint32_t out = dp & 0xFF;
      for (int c = 1; c < 4; ++c) out |= f(Ch(sp, c), Ch(dp, c), k) << (8 * c);
      Store(d + 4 * i, out);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
      const uint32_t k = Mul(op, sp & 0xFF);
      uint32_t out = dp & 0xFF;
      for (int c = 1; c < 4; ++c) out |= f(Ch(sp, c), Ch(dp, c), k) << (8 * c);
      Store(d + 4 * i, out);
    }
  }
}

ErrorCode AddRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t r = dc + Mul(k, sc);
    return r > 255 ? 255u : r;
  });
  return 0;
}

ErrorCode MultiplyRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t full = Mul(sc, dc);
    const uint32_t part = dc - Mul(Mul(255 - sc, dc), k);
    return k == 255 ? full : part;
  });
  return 0;
}

ErrorCode ScreenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t full = 255 - Mul(255 - sc, 255 - dc);
    const uint32_t part = dc + Mul(Mul(sc, 255 - dc), k);
    return k == 255 ? full : part;
  });
  return 0;
}

ErrorCode DifferenceRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m,
                        uint8_t* d) {
  // |M[s][k] - d| is |s - d| at k = 255 (M[s][255] = s) and d at k = 0.
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    const uint32_t t = Mul(sc, k);
    return t > dc ? t - dc : dc - t;
  });
  return 0;
}

ErrorCode DarkenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    return sc < dc ? dc - Mul(dc - sc, k) : dc;
  });
  return 0;
}

ErrorCode LightenRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  SeparableLanes(n, p->opacity, s, m, d, [](uint32_t sc, uint32_t dc, uint32_t k) {
    return sc > dc ? dc + Mul(sc - dc, k) : dc;
  });
  return 0;
}

// Copy: colour from the source and alpha k wherever k > 0.
ErrorCode CopyRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
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

// Normal: whole copies, the opaque-destination blend, and the general case
// with the divide table as a reciprocal.
ErrorCode NormalRow(void*, int32_t n, PF_CompositeMode* p, const uint8_t* s, const uint8_t* m, uint8_t* d) {
  const uint32_t op = p->opacity;
  const bool wholeOverClear = op == 255 && !m;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t sp = Load(s + 4 * i), dp = Load(d + 4 * i);
    uint32_t k = Mul(op, sp & 0xFF);
    if (m) k = Mul(k, m[4 * i]);
    if (k == 0) continue;
    const uint32_t da = dp & 0xFF;
    if (k == 255 || (da == 0 && wholeOverClear)) {
      Store(d + 4 * i, sp);
      continue;
    }
    uint32_t out;
    if (da == 255) {
      out = 0xFF;
      for (int c = 1; c < 4; ++c) {
        const uint32_t sc = Ch(sp, c), dc = Ch(dp, c);
        const uint32_t r = sc >= dc ? dc + Mul(sc - dc, k) : dc - Mul(dc - sc, k);
        out |= r << (8 * c);
      }
    } else {
      const uint32_t a = 255 - Mul(255 - k, 255 - da);
      const uint64_t recip = tv::m::kDiv8Reciprocals.r[a];
      out = a;
      for (int c = 1; c < 4; ++c) {
        const uint32_t sc = Ch(sp, c);
        const uint32_t dc = Mul(da, Ch(dp, c));
        const uint32_t t = sc >= dc ? dc + Mul(sc - dc, k) : dc - Mul(dc - sc, k);
        const uint32_t r = t > a ? 255u : static_cast<uint32_t>((uint64_t{t * 255 + (a >> 1)} * recip) >> 32);
        out |= r << (8 * c);
      }
    }
    Store(d + 4 * i, out);
  }
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
