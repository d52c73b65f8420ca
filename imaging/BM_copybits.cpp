// Pixel access and the rectangle copy of the offscreen layer: nearest-
// neighbour scaling, clipping of both rectangles, boolean modes at every
// depth and the arithmetic modes at depth 32.
#include <algorithm>
#include <cstring>

#include "BM_internal.h"
#include "Scratch.h"

namespace tv::bm::plat {
namespace {

inline char* RowAddr(const PixMap& pm, int32_t v) {
  return pm.baseAddr + static_cast<ptrdiff_t>(v - pm.bounds.top) * static_cast<ptrdiff_t>(pm.rowBytes);
}

inline uint32_t Load(const char* row, int32_t x, int32_t depth) {
  const auto* p = reinterpret_cast<const uint8_t*>(row);
  switch (depth) {
    case 32: {
      const uint8_t* q = p + static_cast<size_t>(x) * 4;
      return (uint32_t{q[0]} << 24) | (uint32_t{q[1]} << 16) | (uint32_t{q[2]} << 8) | q[3];
    }
    case 16: {
      const uint8_t* q = p + static_cast<size_t>(x) * 2;
      return (uint32_t{q[0]} << 8) | q[1];
    }
    case 8:
      return p[x];
    default: {
      const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(depth);
      const int shift = 8 - depth - static_cast<int>(bit & 7);
      return (p[bit >> 3] >> shift) & ((1u << depth) - 1);
    }
  }
}

inline void Store(char* row, int32_t x, int32_t depth, uint32_t value) {
  auto* p = reinterpret_cast<uint8_t*>(row);
  switch (depth) {
    case 32: {
      uint8_t* q = p + static_cast<size_t>(x) * 4;
      q[0] = static_cast<uint8_t>(value >> 24);
      q[1] = static_cast<uint8_t>(value >> 16);
      q[2] = static_cast<uint8_t>(value >> 8);
      q[3] = static_cast<uint8_t>(value);
      return;
    }
    case 16: {
      uint8_t* q = p + static_cast<size_t>(x) * 2;
      q[0] = static_cast<uint8_t>(value >> 8);
      q[1] = static_cast<uint8_t>(value);
      return;
    }
    case 8:
      p[x] = static_cast<uint8_t>(value);
      return;
    default: {
      const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(depth);
      const int shift = 8 - depth - static_cast<int>(bit & 7);
      const uint32_t mask = ((1u << depth) - 1) << shift;
      uint8_t& b = p[bit >> 3];
      b = static_cast<uint8_t>((b & ~mask) | ((value << shift) & mask));
      return;
    }
  }
}

inline uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

inline uint32_t PerByte(uint32_t s, uint32_t d, int32_t mode) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int32_t a = static_cast<int32_t>((s >> shift) & 0xFF);
    const int32_t b = static_cast<int32_t>((d >> shift) & 0xFF);
    int32_t r = 0;
    switch (mode) {
      case kBlend: r = (a + b + 1) >> 1; break;
      case kAddPin: r = std::min(a + b, 255); break;
      case kAddOver: r = (a + b) & 0xFF; break;
      case kSubPin: r = std::max(b - a, 0); break;
      case kAddMax: r = std::max(a, b); break;
      case kSubOver: r = (b - a) & 0xFF; break;
      case kAdMin: r = std::min(a, b); break;
      default: r = a; break;
    }
    out |= static_cast<uint32_t>(r) << shift;
  }
  return out;
}

bool IsArithmetic(int32_t mode) { return mode >= kBlend && mode <= kAdMin; }

Rect Intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
         std::min(a.right, b.right)};
  return r;
}

// Source coordinate of destination coordinate x for the span mapping.
inline int32_t MapCoord(int32_t x, int32_t d0, int32_t dLen, int32_t s0, int32_t sLen) {
  return s0 + static_cast<int32_t>((static_cast<int64_t>(x - d0) * sLen) / dLen);
}

struct Span {
  int32_t first = 0, last = -1;  // destination coordinates, inclusive
};

// The destination coordinates in [lo, hi) whose source coordinate lies in
// [slo, shi); the mapping is monotonic, so they form one span.
Span ValidSpan(int32_t lo, int32_t hi, int32_t d0, int32_t dLen, int32_t s0, int32_t sLen, int32_t slo,
               int32_t shi) {
  Span sp;
  int32_t a = lo;
  while (a < hi && MapCoord(a, d0, dLen, s0, sLen) < slo) ++a;
  int32_t b = hi - 1;
  while (b >= a && MapCoord(b, d0, dLen, s0, sLen) >= shi) --b;
  if (a <= b) sp = {a, b};
  return sp;
}

bool Overlaps(const PixMap& a, const PixMap& b) {
  const auto span = [](const PixMap& p) {
    const char* lo = p.baseAddr;
    const char* hi = lo + static_cast<size_t>(p.bounds.bottom - p.bounds.top) * p.rowBytes;
    return std::pair{lo, hi};
  };
  auto [alo, ahi] = span(a);
  auto [blo, bhi] = span(b);
  return alo < bhi && blo < ahi;
}

}  // namespace

uint32_t GetPixelValue(const PixMap& pm, int32_t h, int32_t v) {
  return Load(RowAddr(pm, v), h - pm.bounds.left, pm.depth);
}

void SetPixelValue(const PixMap& pm, int32_t h, int32_t v, uint32_t value) {
  Store(RowAddr(pm, v), h - pm.bounds.left, pm.depth, value);
}

ErrorCode CopyBits(const PixMap& src, const Rect& srcClip, const PixMap& dst, const Rect& dstClip,
                   const Rect& srcRect, const Rect& dstRect, int32_t mode) {
  const int32_t depth = dst.depth;
  if (src.depth != depth) return kErrBadParam;
  if (mode == kHilite) return kErrUnimplemented;
  const bool known = (mode >= kSrcCopy && mode <= kNotSrcBic) || IsArithmetic(mode) ||
                     mode == kTransparent || mode == kDitherCopy;
  if (!known) return kErrBadParam;
  if ((IsArithmetic(mode) || mode == kTransparent) && depth != 32) return kErrBadParam;

  const int32_t sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
  const int32_t dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return 0;
  const Rect sc = Intersect(srcClip, src.bounds);
  const Rect dc = Intersect(Intersect(dstClip, dst.bounds), dstRect);
  if (sc.left >= sc.right || sc.top >= sc.bottom || dc.left >= dc.right || dc.top >= dc.bottom) return 0;

  const Span cols = ValidSpan(dc.left, dc.right, dstRect.left, dw, srcRect.left, sw, sc.left, sc.right);
  const Span rows = ValidSpan(dc.top, dc.bottom, dstRect.top, dh, srcRect.top, sh, sc.top, sc.bottom);
  if (cols.first > cols.last || rows.first > rows.last) return 0;

  // When the two maps share memory, read from a snapshot of the source rows.
  PixMap from = src;
  ScratchArray<char> scratch;
  if (Overlaps(src, dst)) {
    const int32_t sy0 = MapCoord(rows.first, dstRect.top, dh, srcRect.top, sh);
    const int32_t sy1 = MapCoord(rows.last, dstRect.top, dh, srcRect.top, sh);
    const size_t bytes = static_cast<size_t>(sy1 - sy0 + 1) * src.rowBytes;
    if (!scratch.Allocate(bytes)) return kErrOutOfMemory;
    std::memcpy(scratch.data(), RowAddr(src, sy0), bytes);
    from.baseAddr =
        scratch.data() - static_cast<ptrdiff_t>(sy0 - src.bounds.top) * static_cast<ptrdiff_t>(src.rowBytes);
  }

  const bool swap = depth == 32 && src.order != dst.order;
  const bool unscaled = sw == dw && sh == dh;
  const bool plainCopy = mode == kSrcCopy || mode == kDitherCopy;
  const uint32_t valueMask = depth == 32 ? 0xFFFFFFFFu : ((1u << depth) - 1);

  if (plainCopy && unscaled && !swap && depth >= 8) {
    const size_t bpp = static_cast<size_t>(depth / 8);
    const int32_t sx0 = cols.first - dstRect.left + srcRect.left;
    const size_t n = static_cast<size_t>(cols.last - cols.first + 1) * bpp;
    for (int32_t y = rows.first; y <= rows.last; ++y) {
      const int32_t sy = y - dstRect.top + srcRect.top;
      std::memmove(RowAddr(dst, y) + static_cast<size_t>(cols.first - dst.bounds.left) * bpp,
                   RowAddr(from, sy) + static_cast<size_t>(sx0 - from.bounds.left) * bpp, n);
    }
  } else {
    const int32_t ncols = cols.last - cols.first + 1;
    ScratchArray<int32_t> map(static_cast<size_t>(ncols));
    if (!map.ok()) return kErrOutOfMemory;
    for (int32_t i = 0; i < ncols; ++i)
      map[i] = MapCoord(cols.first + i, dstRect.left, dw, srcRect.left, sw) - from.bounds.left;
    // Colour channels of a source pixel, for the transparent mode (white is skipped).
    const uint32_t colourMask = src.order == BM_Order_BGRA ? 0xFFFFFF00u : 0x00FFFFFFu;
    if (plainCopy && depth == 32 && sw % dw == 0) {
      // Whole-number reductions (and unscaled copies between orders) step
      // through the source row; 32-bit rows are 4-byte aligned.
      const int32_t step = sw / dw;
      for (int32_t y = rows.first; y <= rows.last; ++y) {
        const char* rowStart = RowAddr(from, MapCoord(y, dstRect.top, dh, srcRect.top, sh));
        const auto* srow = reinterpret_cast<const uint32_t*>(rowStart) + map[0];
        auto* drow = reinterpret_cast<uint32_t*>(RowAddr(dst, y)) + (cols.first - dst.bounds.left);
        if (swap)
          for (int32_t i = 0; i < ncols; ++i) drow[i] = Swap32(srow[static_cast<size_t>(i) * step]);
        else if (step == 2)  // half size, the common preview reduction: a fixed stride vectorises
          for (int32_t i = 0; i < ncols; ++i) drow[i] = srow[static_cast<size_t>(i) * 2];
        else
          for (int32_t i = 0; i < ncols; ++i) drow[i] = srow[static_cast<size_t>(i) * step];
      }
    } else if (plainCopy && depth == 32) {
      // Scaled 32-bit copies move whole pixels (reversed between orders).
      for (int32_t y = rows.first; y <= rows.last; ++y) {
        const char* srow = RowAddr(from, MapCoord(y, dstRect.top, dh, srcRect.top, sh));
        char* drow = RowAddr(dst, y) + static_cast<size_t>(cols.first - dst.bounds.left) * 4;
        for (int32_t i = 0; i < ncols; ++i) {
          uint32_t p;
          std::memcpy(&p, srow + static_cast<size_t>(map[i]) * 4, 4);
          if (swap) p = Swap32(p);
          std::memcpy(drow + static_cast<size_t>(i) * 4, &p, 4);
        }
      }
    } else {
      for (int32_t y = rows.first; y <= rows.last; ++y) {
        const char* srow = RowAddr(from, MapCoord(y, dstRect.top, dh, srcRect.top, sh));
        char* drow = RowAddr(dst, y);
        for (int32_t i = 0; i < ncols; ++i) {
          const int32_t dx = cols.first + i - dst.bounds.left;
          uint32_t s = Load(srow, map[i], depth);
          if (mode == kTransparent && (s & colourMask) == colourMask) continue;
          if (swap) s = Swap32(s);
          if (mode >= kNotSrcCopy && mode <= kNotSrcBic) s = ~s & valueMask;
          uint32_t d;
          switch (mode) {
            case kSrcCopy: case kNotSrcCopy: case kDitherCopy: case kTransparent: d = s; break;
            case kSrcOr: case kNotSrcOr: d = Load(drow, dx, depth) | s; break;
            case kSrcXor: case kNotSrcXor: d = Load(drow, dx, depth) ^ s; break;
            case kSrcBic: case kNotSrcBic: d = Load(drow, dx, depth) & ~s & valueMask; break;
            default: d = PerByte(s, Load(drow, dx, depth), mode); break;
          }
          Store(drow, dx, depth, d);
        }
      }
    }
  }
  return 0;
}

}  // namespace tv::bm::plat
