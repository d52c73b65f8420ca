// FLO: computing the grid (FLO_DoDistortion).
#include <cmath>
#include <algorithm>
#include <cstring>

#include "FLO_internal.h"

namespace tv::flo {
namespace {

struct Pair {
  double sx, sy, dx, dy;  // a source sample and where it moves
};

// The closed polygon pts resampled into n points equally spaced by arc
// length from its first point. False when the polygon has no length.
bool Resample(const ScratchArray<FLO_CurvePoint>& pts, int32_t n, double* xs, double* ys) {
  const size_t m = pts.size();
  double perimeter = 0;
  for (size_t i = 0; i < m; ++i) {
    const FLO_CurvePoint& a = pts[i];
    const FLO_CurvePoint& b = pts[(i + 1) % m];
    perimeter += std::hypot((b.x - double(a.x)) / 65536.0, (b.y - double(a.y)) / 65536.0);
  }
  if (!(perimeter > 1e-9) || !std::isfinite(perimeter)) return false;
  size_t edge = 0;
  double edgeStart = 0;  // arc length at the start of `edge`
  for (int32_t k = 0; k < n; ++k) {
    double target = perimeter * k / n;
    for (;;) {
      const FLO_CurvePoint& a = pts[edge];
      const FLO_CurvePoint& b = pts[(edge + 1) % m];
      double ax = a.x / 65536.0, ay = a.y / 65536.0, bx = b.x / 65536.0, by = b.y / 65536.0;
      double len = std::hypot(bx - ax, by - ay);
      if (target <= edgeStart + len || edge + 1 == m) {
        double t = len > 0 ? (target - edgeStart) / len : 0;
        if (t > 1) t = 1;
        xs[k] = ax + (bx - ax) * t;
        ys[k] = ay + (by - ay) * t;
        break;
      }
      edgeStart += len;
      ++edge;
    }
  }
  return true;
}

ErrorCode BuiltInGenerator(uintptr_t, FpLong, int32_t, int32_t, FpLong restX, FpLong restY, FpLong* x,
                           FpLong* y) {
  *x = restX;
  *y = restY;
  return 0;
}

int64_t ClampFixed(double v) {
  // Landing positions are limited to the 16.16 range instead of wrapping.
  constexpr double kMax = 2147483647.0, kMin = -2147483647.0;
  double f = std::nearbyint(v * 65536.0);
  if (!(f == f)) return 0;
  if (f > kMax) return static_cast<int64_t>(kMax);
  if (f < kMin) return static_cast<int64_t>(kMin);
  return static_cast<int64_t>(f);
}

int32_t Sat32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : (v < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(v));
}

// The correspondences of kinds 0 and 1.
ErrorCode Correspondences(const Record& r, ScratchArray<Pair>& pairs) {
  if (r.kind == FLO_Kind_Curves) {
    ScratchArray<FLO_CurvePoint> src, dst;
    if (ErrorCode err = ReadCurve(r.sourceCurve, src, kSiteDo)) return err;
    if (ErrorCode err = ReadCurve(r.destCurve, dst, kSiteDo)) return err;
    if (src.size() < 3) return kReport.Fail(kSiteDo, FLO_ErrBadSize, kTextTooFewPoints, {int64_t(src.size())});
    if (dst.size() < 3) return kReport.Fail(kSiteDo, FLO_ErrBadSize, kTextTooFewPoints, {int64_t(dst.size())});
    const int32_t n = 1 << (r.quality[1] + 3);
    ScratchArray<double> xs, ys, xd, yd;
    if (!xs.Allocate(n) || !ys.Allocate(n) || !xd.Allocate(n) || !yd.Allocate(n) || !pairs.Allocate(n))
      return FailMemory(kSiteDo, uint64_t(n) * 64);
    if (!Resample(src, n, xs.data(), ys.data()))
      return kReport.Fail(kSiteDo, FLO_ErrFitFailed, kTextFitFailed, {kReport.Text(kTextSourceNoLength)});
    if (!Resample(dst, n, xd.data(), yd.data()))
      return kReport.Fail(kSiteDo, FLO_ErrFitFailed, kTextFitFailed, {kReport.Text(kTextDestinationNoLength)});
    for (int32_t k = 0; k < n; ++k) pairs[k] = Pair{xs[k], ys[k], xd[k], yd[k]};
    return 0;
  }
  ScratchArray<FLO_CurvePoint> list;
  if (ErrorCode err = ReadCurve(r.curveList, list, kSiteDo)) return err;
  const size_t n = list.size() / 2;
  if (n < 3) return kReport.Fail(kSiteDo, FLO_ErrBadSize, kTextTooFewPoints, {int64_t(n)});
  if (!pairs.Allocate(n)) return FailMemory(kSiteDo, uint64_t(n) * 32);
  for (size_t k = 0; k < n; ++k)
    pairs[k] = Pair{list[2 * k].x / 65536.0, list[2 * k].y / 65536.0, list[2 * k + 1].x / 65536.0,
                    list[2 * k + 1].y / 65536.0};
  return 0;
}

// The displacement at (x, y) interpolated from the correspondences.
void Displacement(const Record& r, const ScratchArray<Pair>& pairs, double x, double y, double* dx, double* dy) {
  const bool squared = r.quality[3] == 1;
  double sw = 0, sx = 0, sy = 0, nearest = INFINITY;
  for (size_t k = 0; k < pairs.size(); ++k) {
    const Pair& p = pairs[k];
    double ex = p.sx - x, ey = p.sy - y;
    double d2 = ex * ex + ey * ey;
    double mx = p.dx - p.sx, my = p.dy - p.sy;
    if (d2 < 1e-18) {  // on a sample: exactly its displacement
      *dx = mx;
      *dy = my;
      return;
    }
    double dist = std::sqrt(d2);
    if (dist < nearest) nearest = dist;
    double w = squared ? 1.0 / d2 : 1.0 / dist;
    sw += w;
    sx += w * mx;
    sy += w * my;
  }
  double falloff = 1.0;
  if (r.quality[5] > 0) {
    falloff = 1.0 - nearest / r.quality[5];
    if (falloff < 0) falloff = 0;
  }
  *dx = sw > 0 ? sx / sw * falloff : 0;
  *dy = sw > 0 ? sy / sw * falloff : 0;
}

}  // namespace
}  // namespace tv::flo

using namespace tv;
using namespace tv::flo;

// The grid is computed in local memory and committed only when everything
// succeeded, so a failure (or a generator that calls back into the package)
// never leaves a half-computed grid behind.
TV_EXPORT ErrorCode FLO_DoDistortion(FLO_Distortion d, FpLong time) {
  if (ErrorCode err = Check(d, kSiteDo)) return err;
  const Record r = Rec(d);
  if (r.kind != FLO_Kind_Curves && r.kind != FLO_Kind_CurveList && r.kind != FLO_Kind_Generator)
    return kReport.Fail(kSiteDo, FLO_ErrBadKind, kTextBadKind, {r.kind});
  if (!std::isfinite(time)) return kReport.Fail(kSiteDo, kErrBadParam, kTextBadParam, {"FLO_DoDistortion"});
  const int32_t cols = 2 * r.quality[0], rows = cols;
  const int32_t across = cols + 3, down = rows + 3;
  const int32_t width = r.bounds.right - r.bounds.left, height = r.bounds.bottom - r.bounds.top;
  const size_t points = size_t(cols + 1) * size_t(rows + 1);

  ScratchArray<int64_t> restX, restY;
  ScratchArray<double> dispX, dispY;
  if (!restX.Allocate(cols + 1) || !restY.Allocate(rows + 1) || !dispX.Allocate(points) ||
      !dispY.Allocate(points))
    return FailMemory(kSiteDo, points * 16);
  for (int32_t i = 0; i <= cols; ++i) restX[i] = RestFixed(r.bounds.left, width, i, cols);
  for (int32_t j = 0; j <= rows; ++j) restY[j] = RestFixed(r.bounds.top, height, j, rows);

  ScratchArray<Pair> pairs;
  if (r.kind == FLO_Kind_Generator) {
    FLO_GridGenerator gen = r.generator ? r.generator : BuiltInGenerator;
    for (int32_t j = 0; j <= rows; ++j)
      for (int32_t i = 0; i <= cols; ++i) {
        double rx = restX[i] / 65536.0, ry = restY[j] / 65536.0, x = rx, y = ry;
        WorkOf(d).computing = 1;
        ErrorCode err = gen(r.generatorRefcon, time, i, j, rx, ry, &x, &y);
        WorkOf(d).computing = 0;
        if (err) return err;
        if (!std::isfinite(x) || !std::isfinite(y))
          return kReport.Fail(kSiteDo, FLO_ErrFitFailed, kTextFitFailed, {kReport.Text(kTextNoGridPosition)});
        dispX[j * (cols + 1) + i] = x - rx;
        dispY[j * (cols + 1) + i] = y - ry;
      }
  } else {
    if (ErrorCode err = Correspondences(r, pairs)) return err;
    for (int32_t j = 0; j <= rows; ++j)
      for (int32_t i = 0; i <= cols; ++i) {
        double dx, dy;
        Displacement(r, pairs, restX[i] / 65536.0, restY[j] / 65536.0, &dx, &dy);
        dispX[j * (cols + 1) + i] = dx * time;
        dispY[j * (cols + 1) + i] = dy * time;
      }
    // Smoothing passes over the interior points.
    ScratchArray<double> tx, ty;
    if (r.quality[4] > 0 && (!tx.Allocate(points) || !ty.Allocate(points)))
      return FailMemory(kSiteDo, points * 16);
    for (int32_t pass = 0; pass < r.quality[4]; ++pass) {
      std::memcpy(tx.data(), dispX.data(), points * sizeof(double));
      std::memcpy(ty.data(), dispY.data(), points * sizeof(double));
      for (int32_t j = 1; j < rows; ++j)
        for (int32_t i = 1; i < cols; ++i) {
          size_t c = size_t(j) * (cols + 1) + i;
          dispX[c] = (4 * tx[c] + tx[c - 1] + tx[c + 1] + tx[c - cols - 1] + tx[c + cols + 1]) / 8;
          dispY[c] = (4 * ty[c] + ty[c - 1] + ty[c + 1] + ty[c - cols - 1] + ty[c + cols + 1]) / 8;
        }
    }
  }

  // The record's matrix moves the landing positions.
  Boolean32 identity = 0;
  FloatMatrix unit;
  M_SetIdentityMatrix(&unit);
  M_EqualMatrix(&r.matrix, &unit, &identity);

  const double tolerance = std::ldexp(1.0, 10 - r.quality[2]);
  const size_t bytes = size_t(across) * size_t(down) * sizeof(FLO_ForwardElement);
  Handle forward = NewHandleClear(static_cast<Size>(bytes));
  if (!forward) return FailMemory(kSiteDo, bytes);
  auto* e = reinterpret_cast<FLO_ForwardElement*>(*forward);
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  for (int32_t j = 0; j <= rows; ++j)
    for (int32_t i = 0; i <= cols; ++i) {
      size_t c = size_t(j) * (cols + 1) + i;
      double dx = dispX[c], dy = dispY[c];
      if (!identity) {
        double x = restX[i] / 65536.0 + dx, y = restY[j] / 65536.0 + dy;
        const double* m = r.matrix.m;
        double w = x * m[2] + y * m[5] + m[8];
        if (w == 0) w = 1;
        double nx = (x * m[0] + y * m[3] + m[6]) / w, ny = (x * m[1] + y * m[4] + m[7]) / w;
        dx = nx - restX[i] / 65536.0;
        dy = ny - restY[j] / 65536.0;
      }
      // Displacements are kept to the tolerance of quality value 3; a grid
      // point that does not move lands exactly on its rest position.
      dx = std::nearbyint(dx / tolerance) * tolerance;
      dy = std::nearbyint(dy / tolerance) * tolerance;
      int64_t fx = ClampFixed(restX[i] / 65536.0 + dx), fy = ClampFixed(restY[j] / 65536.0 + dy);
      if (dx == 0) fx = restX[i];
      if (dy == 0) fy = restY[j];
      FLO_ForwardElement& out = e[size_t(j + 1) * across + (i + 1)];
      out.x = Sat32(fx);
      out.y = Sat32(fy);
      minX = std::min<int64_t>(minX, out.x);
      maxX = std::max<int64_t>(maxX, out.x);
      minY = std::min<int64_t>(minY, out.y);
      maxY = std::max<int64_t>(maxY, out.y);
    }
  // Border elements: linear extrapolation, rows first, then columns (which
  // also fills the corners).
  for (int32_t j = 1; j <= rows + 1; ++j) {
    FLO_ForwardElement* row = e + size_t(j) * across;
    row[0].x = Sat32(2 * int64_t{row[1].x} - row[2].x);
    row[0].y = Sat32(2 * int64_t{row[1].y} - row[2].y);
    row[cols + 2].x = Sat32(2 * int64_t{row[cols + 1].x} - row[cols].x);
    row[cols + 2].y = Sat32(2 * int64_t{row[cols + 1].y} - row[cols].y);
  }
  for (int32_t i = 0; i < across; ++i) {
    FLO_ForwardElement* top = e + i;
    const FLO_ForwardElement* r1 = e + size_t(across) + i;
    const FLO_ForwardElement* r2 = e + size_t(2) * across + i;
    top->x = Sat32(2 * int64_t{r1->x} - r2->x);
    top->y = Sat32(2 * int64_t{r1->y} - r2->y);
    FLO_ForwardElement* bottom = e + size_t(rows + 2) * across + i;
    const FLO_ForwardElement* b1 = e + size_t(rows + 1) * across + i;
    const FLO_ForwardElement* b2 = e + size_t(rows) * across + i;
    bottom->x = Sat32(2 * int64_t{b1->x} - b2->x);
    bottom->y = Sat32(2 * int64_t{b1->y} - b2->y);
  }
  LRect output = r.bounds;
  output.left = static_cast<int32_t>(std::min<int64_t>(output.left, minX >> 16));
  output.top = static_cast<int32_t>(std::min<int64_t>(output.top, minY >> 16));
  output.right = static_cast<int32_t>(std::max<int64_t>(output.right, (maxX + 65535) >> 16));
  output.bottom = static_cast<int32_t>(std::max<int64_t>(output.bottom, (maxY + 65535) >> 16));

  // The correspondences found are kept in the segment list.
  if (pairs.size() > 0) {
    ErrorCode err = LIST_SetNumItems(0, r.segments, 0);
    if (!err) err = LIST_ReserveSpace(static_cast<int32_t>(pairs.size()), r.segments);
    for (size_t k = 0; !err && k < pairs.size(); ++k) {
      Segment s{Sat32(ClampFixed(pairs[k].sx)), Sat32(ClampFixed(pairs[k].sy)), Sat32(ClampFixed(pairs[k].dx)),
                Sat32(ClampFixed(pairs[k].dy)), static_cast<int32_t>(k), 0};
      err = LIST_Insert(&s, -1, r.segments);
    }
    if (err) {
      DisposeHandle(forward);
      return err;
    }
  }

  // Commit. The record is looked up again: a generator may have changed it.
  if (ErrorCode err = Check(d, kSiteDo)) {
    DisposeHandle(forward);
    return err;
  }
  Work& w = WorkOf(d);
  if (w.forward) DisposeHandle(w.forward);
  w.forward = forward;
  w.columns = cols;
  w.rows = rows;
  w.output = output;
  w.prepared = 1;
  w.quality3 = Rec(d).quality[2];
  w.drawValue = Rec(d).drawValue;
  return 0;
}
