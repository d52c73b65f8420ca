// The layer transform: a source world drawn into a destination through a
// 3 x 3 matrix (or, for motion blur, along the move from the first matrix to
// the last), each destination pixel composited with the transfer mode, its
// opacity and an optional matte.
//
// Only destination pixels whose samples can reach the source are visited:
// for every row the span of columns that map inside the source (widened by
// the sampler's reach) is computed exactly in integer arithmetic, and
// nothing else is sampled or composited. Modes that act where the source is
// absent (the stencils) take the whole destination rectangle instead.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <atomic>
#include <vector>

#include "PF_internal.h"
#include "RowBands.h"

namespace tv::pf::xform {
namespace {

constexpr int32_t kRtTransformWorld = 20;   // its word of the callback block
std::atomic<int32_t> gRowThreads{1};         // threads the transform's rows may use
int32_t RowThreads() { return gRowThreads.load(std::memory_order_relaxed); }
// Positions (16.16) are kept within 2^56 and steps within 2^36 (a scale of
// 2^20), so that a position plus a step times any column of a row of up to
// 2^26 pixels stays inside 64 bits; beyond these a layer is so far away or so
// stretched that no pixel of it reaches the destination.
constexpr int64_t kMaxPosition = int64_t{1} << 56;
constexpr int64_t kMaxStep = int64_t{1} << 36;

// A double (16.16 scaled) limited to the range positions are kept in.
int64_t ToFixed(double v, int64_t limit) {
  const double f = std::nearbyint(v * 65536.0);
  if (!(f == f)) return 0;
  if (f >= static_cast<double>(limit)) return limit;
  if (f <= -static_cast<double>(limit)) return -limit;
  return static_cast<int64_t>(f);
}

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}

// The columns X of [left, right) with lo <= s + X d <= hi.
struct Cols {
  int64_t a, b;  // half open
  bool empty() const { return b <= a; }
};
Cols Solve(int64_t s, int64_t d, int64_t lo, int64_t hi, int64_t left, int64_t right) {
  if (d == 0) return (s >= lo && s <= hi) ? Cols{left, right} : Cols{0, 0};
  int64_t a, b;
  if (d > 0) {
    a = -FloorDiv(s - lo, d);      // ceil((lo - s) / d)
    b = FloorDiv(hi - s, d) + 1;
  } else {
    a = -FloorDiv(hi - s, -d);     // ceil((s - hi) / -d)
    b = FloorDiv(s - lo, -d) + 1;
  }
  return Cols{std::max(a, left), std::min(b, right)};
}
Cols Meet(Cols x, Cols y) { return Cols{std::max(x.a, y.a), std::min(x.b, y.b)}; }
Cols Join(Cols x, Cols y) {
  if (x.empty()) return y;
  if (y.empty()) return x;
  return Cols{std::min(x.a, y.a), std::max(x.b, y.b)};
}

// The inverse mapping of one matrix: position of destination column X in
// row Y is (u0 + X du + Y duy, v0 + X dv + Y dvy) before rounding.
struct Inverse {
  double u0, v0, du, dv, duy, dvy;
};
bool MakeInverse(const FloatMatrix& m, Inverse* out) {
  FloatMatrix inv;
  Boolean32 singular = 0;
  if (M_InverseMatrixQuiet(&m, &inv, &singular) != 0 || singular) return false;
  for (double e : inv.m)
    if (!std::isfinite(e)) return false;
  // Pixel centres: (X + 0.5, Y + 0.5) maps to (x, y), sampled at (x - 0.5, y - 0.5).
  out->du = inv.m[0];
  out->dv = inv.m[1];
  out->duy = inv.m[3];
  out->dvy = inv.m[4];
  out->u0 = 0.5 * inv.m[0] + 0.5 * inv.m[3] + inv.m[6] - 0.5;
  out->v0 = 0.5 * inv.m[1] + 0.5 * inv.m[4] + inv.m[7] - 0.5;
  return true;
}

bool Affine(const FloatMatrix& m) { return m.m[2] == 0 && m.m[5] == 0 && m.m[8] == 1; }
bool Finite(const FloatMatrix& m) {
  for (double e : m.m)
    if (!std::isfinite(e)) return false;
  return true;
}

// The sampler's reach beyond the source: positions outside [lo, hi] on an
// axis of n pixels give transparent samples.
void Reach(Sampler s, int64_t n, int64_t radius, int64_t* lo, int64_t* hi) {
  switch (s) {
    case Sampler::Nearest:
      *lo = -0x8000;
      *hi = (n - 1) * 65536 + 0x7FFF;
      break;
    case Sampler::Subpixel:
      *lo = -0xFFFF;
      *hi = n * 65536 - 1;
      break;
    default:
      *lo = -(radius + 0x10000);
      *hi = (n - 1) * 65536 + radius + 0x10000;
      break;
  }
}

ErrorCode Unsupported(int32_t text) {
  return kReport.Fail(kRtTransformWorld, kErrUnimplemented, text);
}

// Step 2: a single matrix that only translates goes to the transfer
// rectangle routine. A fractional translation takes this road only in
// draft; at best quality it is sampled, so that a slowly moving layer moves
// smoothly instead of jumping by whole pixels.
bool TranslationOnly(const FloatMatrix& m) {
  return m.m[0] == 1 && m.m[1] == 0 && m.m[3] == 0 && m.m[4] == 1 && Affine(m);
}

}  // namespace
}  // namespace tv::pf::xform

using namespace tv;
using namespace tv::pf;
using namespace tv::pf::xform;

ErrorCode PFp_SetRowThreads(int32_t count) {
  if (count < 1 || count > 64) return BadParam(kRtTransformWorld, "row thread count");
  gRowThreads.store(count, std::memory_order_relaxed);
  return 0;
}

int32_t PFp_GetRowThreads(void) { return RowThreads(); }

ErrorCode PFp_InstallTransformRoutines(PF_RoutineTable* table) {
  if (!table) return BadParam(kRtTransformWorld, "no routine table");
  table->transformWorld = &PF_TransformWorld_S;
  return 0;
}

ErrorCode PF_TransformWorld_S(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field, const PFWorld* src,
                              const PF_CompositeMode* mode, const PF_MaskWorld* mask, const FloatMatrix* matrices,
                              int32_t matrixCount, Boolean32 /*reserved*/, const Rect* destRect, PFWorld* dst) {
  if (!mode) return BadParam(kRtTransformWorld, "no composite mode");
  if (!ValidWorld(src)) return BadParam(kRtTransformWorld, "source world");
  if (!ValidWorld(dst)) return BadParam(kRtTransformWorld, "destination world");
  if (mask && !ValidWorld(&mask->world)) return BadParam(kRtTransformWorld, "mask world");
  if (!matrices || matrixCount < 1) return BadParam(kRtTransformWorld, "no matrices");
  PF_TransferFunc fn = nullptr;
  if (ErrorCode err = PF_GetTransferFunc(mode->mode, &fn)) return err;
  uint32_t modeFlags = 0;
  PF_GetTransferFlags(mode->mode, &modeFlags);
  const bool outside = (modeFlags & PF_XferFlag_OutsideSource) != 0;

  const FloatMatrix& first = matrices[0];
  const FloatMatrix& last = matrices[matrixCount - 1];
  if (!Finite(first) || !Finite(last)) return BadParam(kRtTransformWorld, "matrix not finite");
  if (!Affine(first) || !Affine(last)) return Unsupported(kStrProjective);

  // The destination rectangle (null: all of it), clipped to the destination.
  Area clip{0, 0, dst->width, dst->height};
  if (destRect) {
    clip.left = std::max<int32_t>(std::min(destRect->left, destRect->right), 0);
    clip.right = std::min<int32_t>(std::max(destRect->left, destRect->right), dst->width);
    clip.top = std::max<int32_t>(std::min(destRect->top, destRect->bottom), 0);
    clip.bottom = std::min<int32_t>(std::max(destRect->top, destRect->bottom), dst->height);
  }
  if (clip.empty()) return 0;
  // Motion blur that does not move (the first and the last matrix alike)
  // is the layer drawn once: it takes the single matrix's roads, so a still
  // layer lands on the same pixels with motion blur on as with it off (a
  // draft translation of half a pixel would else round the other way).
  if (matrixCount > 1 && std::memcmp(first.m, last.m, sizeof first.m) == 0) matrixCount = 1;

  if (matrixCount == 1 && TranslationOnly(first) && src->width <= 0x7FFF && src->height <= 0x7FFF &&
      (!outside || (clip.left == 0 && clip.top == 0 && clip.right == dst->width && clip.bottom == dst->height))) {
    const int64_t tx = ToFixed(first.m[6], kMaxPosition), ty = ToFixed(first.m[7], kMaxPosition);
    if (quality == 0 || ((tx | ty) & 0xFFFF) == 0) {
      // Rounded by adding one half before truncating (in 64 bits: offsets of
      // any size are placed, not wrapped).
      const int64_t x = (tx + 0x8000) >> 16, y = (ty + 0x8000) >> 16;
      const int64_t l = std::max<int64_t>(x, clip.left), t = std::max<int64_t>(y, clip.top);
      const int64_t r = std::min<int64_t>(x + src->width, clip.right), b = std::min<int64_t>(y + src->height, clip.bottom);
      if ((r <= l || b <= t) && !outside) return 0;
      Rect s{0, 0, 0, 0};
      int32_t dh = 0, dv = 0;
      if (r > l && b > t) {
        s = Rect{static_cast<int16_t>(t - y), static_cast<int16_t>(l - x), static_cast<int16_t>(b - y),
                 static_cast<int16_t>(r - x)};
        dh = static_cast<int32_t>(l);
        dv = static_cast<int32_t>(t);
      }
      return PF_TransferRect(ref, quality, flags, field, &s, src, mode, mask, dh, dv, dst);
    }
  }

  // A source without pixels is transparent everywhere: it draws nothing, and
  // the modes that act outside the source see transparent samples. (The
  // samplers reach one pixel beyond the source's edge, which such a source
  // does not have.)
  const bool noPixels = EmptyWorld(*src);
  if (noPixels && !outside) return 0;

  // Step 3: the inverse mapping. A singular matrix (a layer scaled to 0)
  // covers no pixel: nothing is drawn and the call succeeds.
  Inverse fi{}, li{};
  if (!MakeInverse(first, &fi)) return 0;
  // Motion blur uses only the first and the last matrix: every pixel takes
  // 16 samples on the straight line between its two source positions, at k
  // sixteenths for k = 0 .. 15. The samples never reach the last position
  // (the smear stops one step short of the end of the move) and a curved
  // move is blurred along its chord; both show in the output and are kept.
  bool blur = matrixCount > 1;
  // A singular last matrix leaves no line to blur along: the layer is drawn
  // unblurred with the first.
  if (blur && !MakeInverse(last, &li)) blur = false;

  RowSampling rs;
  rs.src = src;
  rs.blur = blur;
  rs.du = ToFixed(fi.du, kMaxStep);
  rs.dv = ToFixed(fi.dv, kMaxStep);
  if (blur) {
    rs.duL = ToFixed(li.du, kMaxStep);
    rs.dvL = ToFixed(li.dv, kMaxStep);
  }
  // The footprint of one destination pixel in the source: half the lengths
  // of the mapped pixel edges. At most half a pixel on both: sub-pixel sampler.
  if (quality == 0) {
    rs.sampler = Sampler::Nearest;
  } else {
    const int64_t fx = ToFixed(0.5 * std::hypot(fi.du, fi.dv), kMaxStep);
    const int64_t fy = ToFixed(0.5 * std::hypot(fi.duy, fi.dvy), kMaxStep);
    rs.sampler = (fx <= 0x8000 && fy <= 0x8000) ? Sampler::Subpixel : Sampler::Area;
    rs.rx = std::max<int64_t>(ToFixed(0.5 * (std::fabs(fi.du) + std::fabs(fi.duy)), kMaxStep), 0x8000);
    rs.ry = std::max<int64_t>(ToFixed(0.5 * (std::fabs(fi.dv) + std::fabs(fi.dvy)), kMaxStep), 0x8000);
  }
  int64_t ulo, uhi, vlo, vhi;
  Reach(rs.sampler, src->width, rs.rx, &ulo, &uhi);
  Reach(rs.sampler, src->height, rs.ry, &vlo, &vhi);
  if (blur) {  // the sample positions of a blur are linear only to within a few units
    ulo -= 0x10000, vlo -= 0x10000, uhi += 0x10000, vhi += 0x10000;
  }

  // Steps 4 and 5 walk the rows; the stencil modes' pass over the rest of
  // the destination is folded into their rows, which span the whole rectangle.
  // Dissolve seeds per row: the mode's seed plus the left edge, advanced by
  // 12281 times the row number from row to row, so row n of the rectangle
  // starts from seed + left + 12281 n (n + 1) / 2.
  // Rows are independent of each other: without a progress hook they are
  // shared among the row threads (PFp_SetRowThreads), each band with its own
  // scratch rows, and the bytes are those of one thread.
  const PF_ProgressProc progress = PFp_GetProgressProc();
  const int32_t rows = clip.height();
  // A row's columns that can reach the source (all of the rectangle for
  // the stencils), and its start positions under the first and the last matrix.
  struct RowStart {
    Cols span;
    int64_t u0, v0, uL0, vL0;
  };
  auto rowStart = [&](int32_t y) {
    // Row starts are computed afresh in double precision from the inverse
    // (no error accumulates down the rows) and kept in 64-bit 16.16.
    const double yc = static_cast<double>(y);
    RowStart s{};
    s.u0 = ToFixed(fi.u0 + yc * fi.duy, kMaxPosition), s.v0 = ToFixed(fi.v0 + yc * fi.dvy, kMaxPosition);
    s.span = Meet(Solve(s.u0, rs.du, ulo, uhi, clip.left, clip.right),
                  Solve(s.v0, rs.dv, vlo, vhi, clip.left, clip.right));
    if (blur) {
      s.uL0 = ToFixed(li.u0 + yc * li.duy, kMaxPosition);
      s.vL0 = ToFixed(li.v0 + yc * li.dvy, kMaxPosition);
      for (int32_t k = 1; k < kBlurSamples; ++k) {
        const int64_t u = s.u0 + (s.uL0 - s.u0) / 16 * k, v = s.v0 + (s.vL0 - s.v0) / 16 * k;
        const int64_t du = rs.du + (rs.duL - rs.du) / 16 * k, dv = rs.dv + (rs.dvL - rs.dv) / 16 * k;
        s.span = Join(s.span, Meet(Solve(u, du, ulo, uhi, clip.left, clip.right),
                                   Solve(v, dv, vlo, vhi, clip.left, clip.right)));
      }
    }
    if (outside) s.span = Cols{clip.left, clip.right};
    return s;
  };
  // Threads share the rows the layer reaches, not the whole rectangle (a
  // layer in the top half would leave the second band idle). The reference
  // kernels bring the math package's tables in for every row (package
  // state): they keep every row on the calling thread.
  const bool shared = !progress && !UseReference() && RowThreads() > 1;
  int32_t top = clip.top, bottom = clip.bottom;
  if (shared) {
    while (top < bottom && rowStart(top).span.empty()) ++top;
    while (bottom > top && rowStart(bottom - 1).span.empty()) --bottom;
  }
  const int32_t bands = shared ? platform::RowBandCount(bottom - top, RowThreads()) : 1;
  const size_t width = static_cast<size_t>(clip.width());
  std::vector<ScratchArray<uint8_t>> scratch;
  scratch.reserve(static_cast<size_t>(bands) * 2);
  for (int32_t b = 0; b < bands; ++b) {
    scratch.push_back(ScratchBytes(4 * width));
    scratch.push_back(ScratchBytes(mask ? 4 * width : 0));
    if (!scratch[scratch.size() - 2].ok() || !scratch.back().ok())
      return kReport.Fail(kRtTransformWorld, kErrOutOfMemory, kStrScratch);
  }
  const bool reference = UseReference();
  const uint32_t seed0 = mode->seed + static_cast<uint32_t>(clip.left);
  const int32_t progressMask = blur ? 1 : (quality ? 3 : 7);

  auto band = [&](int32_t b, int32_t first, int32_t end) -> ErrorCode {
    uint8_t* samples = scratch[static_cast<size_t>(2 * b)].data();
    uint8_t* maskRow = scratch[static_cast<size_t>(2 * b + 1)].data();
    uint32_t* row = reinterpret_cast<uint32_t*>(samples);
    RowSampling r = rs;
    PF_CompositeMode m = *mode;
    for (int32_t y = first; y < end; ++y) {
      const uint64_t n = static_cast<uint64_t>(y - clip.top);
      if (!RowSkipped(field, y)) {
        const RowStart st = rowStart(y);
        const Cols span = st.span;
        if (!span.empty()) {
          const int32_t x0 = static_cast<int32_t>(span.a), count = static_cast<int32_t>(span.b - span.a);
          r.u = st.u0 + x0 * r.du;
          r.v = st.v0 + x0 * r.dv;
          if (blur) {
            r.uL = st.uL0 + x0 * r.duL;
            r.vL = st.vL0 + x0 * r.dvL;
          }
          if (noPixels)
            std::fill(row, row + count, 0u);
          else if (reference)
            SampleRowReference(r, count, row);
          else
            SampleRowFast(r, count, row);
          if (mask) MaskRow(*mask, y, x0, count, maskRow);
          m.seed = seed0 + static_cast<uint32_t>(12281u * (n * (n + 1) / 2));
          ErrorCode err = fn(nullptr, count, &m, samples, mask ? maskRow : nullptr, Row(dst, y) + 4 * ptrdiff_t{x0});
          if (err) return err;
        }
      }
      if (progress && ((static_cast<int32_t>(n) + 1) & progressMask) == 0)
        if (ErrorCode err = progress(ref, static_cast<int32_t>(n) + 1, rows)) return err;
    }
    return 0;
  };
  if (bands == 1) return band(0, clip.top, clip.bottom);
  std::vector<ErrorCode> errors(static_cast<size_t>(bands), 0);
  platform::ForRowBands(top, bottom, bands, [&](int32_t b, int32_t first, int32_t end) {
    errors[static_cast<size_t>(b)] = band(b, first, end);
  });
  for (ErrorCode err : errors)
    if (err) return err;
  return 0;
}

ErrorCode PF_TransformWorld(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field, const PFWorld* src,
                            const PF_CompositeMode* mode, const PF_MaskWorld* mask, const FloatMatrix* matrices,
                            int32_t matrixCount, Boolean32 reserved, const Rect* destRect, PFWorld* dst) {
  PF_TransformWorldFunc fn = PFp_GetRoutineTable()->transformWorld;
  if (!fn || fn == &PF_TransformWorld_S)
    return PF_TransformWorld_S(ref, quality, flags, field, src, mode, mask, matrices, matrixCount, reserved, destRect,
                               dst);
  // A replacement routine gets the rectangle the layer covers: the source's
  // bounds under the first matrix and, with several, the last.
  if (!ValidWorld(src) || !matrices || matrixCount < 1) return BadParam(kRtTransformWorld, "source or matrices");
  FloatRect box{0, 0, static_cast<double>(src->width), static_cast<double>(src->height)};
  FloatRect a = box, b = box;
  if (M_TransformFloatRect(&matrices[0], &a, nullptr, nullptr) != 0) return BadParam(kRtTransformWorld, "matrix");
  if (matrixCount > 1 && M_TransformFloatRect(&matrices[matrixCount - 1], &b, nullptr, nullptr) != 0)
    return BadParam(kRtTransformWorld, "matrix");
  if (matrixCount == 1) b = a;
  auto clamp16 = [](double v) { return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)); };
  Rect r{clamp16(std::floor(std::min(a.top, b.top))), clamp16(std::floor(std::min(a.left, b.left))),
         clamp16(std::ceil(std::max(a.bottom, b.bottom))), clamp16(std::ceil(std::max(a.right, b.right)))};
  return fn(ref, quality, flags, field, src, mode, mask, matrices, matrixCount, reserved, &r, dst);
}
