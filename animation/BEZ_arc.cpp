// Arc length: sampled arc tables, lookups in both directions, and the fitted
// arc-length spline that turns a distance along the curve into its parameter.
#include <cmath>

#include "BEZ_internal.h"
#include "U.h"

namespace tv::bez {

namespace {
// The distance between neighbouring samples. The sum of squares overflows
// past about 1e154, where the distance is taken without squaring.
double Distance(double dx, double dy) {
  const double d = std::sqrt(dx * dx + dy * dy);
  return std::isfinite(d) ? d : std::hypot(dx, dy);
}
}  // namespace

void FillArcTable(const BEZ_Curve& c, std::span<BEZ_ArcSample> table) {
  const size_t n = table.size();
  const int dims = c.dimensions >= 2 ? 2 : 1;
  auto coord = [&](int i, double t) { return Cubic1(c.ctpt[0][i], c.ctpt[1][i], c.ctpt[2][i], c.ctpt[3][i], t); };
  double prev[2] = {coord(0, 0.0), dims > 1 ? coord(1, 0.0) : 0.0};
  double s = 0.0;
  table[0] = {0.0, 0.0};
  for (size_t i = 1; i < n; ++i) {
    double t = static_cast<double>(i) / static_cast<double>(n - 1);
    double cur[2] = {coord(0, t), dims > 1 ? coord(1, t) : 0.0};
    double dx = cur[0] - prev[0], dy = cur[1] - prev[1];
    s += Distance(dx, dy);
    table[i] = {t, s};
    prev[0] = cur[0];
    prev[1] = cur[1];
  }
}

double SFromTIn(std::span<const BEZ_ArcSample> table, double t) {
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  if (!(t == t)) t = 0.0;
  // The first sample whose t is not below the target.
  size_t lo = 0, hi = table.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (table[mid].t < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo >= table.size()) return table.back().s;
  if (table[lo].t == t || lo == 0) return table[lo].s;
  const BEZ_ArcSample& a = table[lo - 1];
  const BEZ_ArcSample& b = table[lo];
  double dt = b.t - a.t;
  if (!(dt > 0.0)) return a.s;
  return a.s + (b.s - a.s) * (t - a.t) / dt;
}

double TFromSIn(std::span<const BEZ_ArcSample> table, double s) {
  double L = table.back().s;
  if (!(s > 0.0) || L < 1e-10) return 0.0;
  if (std::fabs(s - L) < 1e-10 || s > L) return 1.0;
  size_t lo = 0, hi = table.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (table[mid].s < s)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (table[lo].s == s) return table[lo].t;
  if (lo == 0) return 0.0;
  const BEZ_ArcSample& a = table[lo - 1];
  const BEZ_ArcSample& b = table[lo];
  double ds = b.s - a.s;
  if (!(ds > 0.0)) return a.t;
  return a.t + (b.t - a.t) * (s - a.s) / ds;
}

}  // namespace tv::bez

using namespace tv::bez;

namespace {

constexpr int32_t kSplineSamples = 128;

int32_t CompareT(intptr_t, LIST_Handle, const void* a, const void* b) {
  double ta = static_cast<const BEZ_ArcSample*>(a)->t;
  double tb = static_cast<const BEZ_ArcSample*>(b)->t;
  return ta < tb ? -1 : (ta > tb ? 1 : 0);
}

// The table's items, locked while the view lives.
using Table = tv::list::List<BEZ_ArcSample>;

ErrorCode CheckItemSize(Site site, LIST_Handle list, int32_t size) {
  int32_t itemSize = 0;
  if (ErrorCode err = LIST_GetItemSize(list, &itemSize)) return err;
  if (itemSize != size) return kReport.Damaged(site);
  return 0;
}

ErrorCode Build(Site site, const BEZ_Curve* curve, int32_t samples, LIST_Handle* table, double* length) {
  if (length) *length = 0.0;
  if (!table) return kReport.BadParam(site);
  if (ErrorCode err = CheckCurve(site, curve, 1)) return err;
  // One sample would divide by n - 1 = 0: a table needs both ends.
  if (samples < 2) return kReport.BadParam(site);
  if (!*table) {
    if (ErrorCode err = LIST_New(0, sizeof(BEZ_ArcSample), 32, 1, table)) return err;
    const LIST_Func funcs[3] = {nullptr, nullptr, tv::list::AsFunc(&CompareT)};
    if (ErrorCode err = LIST_SetFuncs(*table, 3, funcs)) return err;
  } else if (ErrorCode err = CheckItemSize(site, *table, sizeof(BEZ_ArcSample))) {
    return err;
  }
  if (ErrorCode err = LIST_SetNumItems(samples, *table, 0)) return err;
  Table::Locked items{Table(*table)};
  if (!items.ok()) return kReport.Damaged(site);
  FillArcTable(*curve, items.items());
  if (length) *length = items[items.size() - 1].s;
  return 0;
}

// Runs fn on the table's samples, building the table first unless it already
// holds at least two.
template <class Fn>
ErrorCode WithTable(Site site, const BEZ_Curve* curve, int32_t samples, LIST_Handle* table, Fn fn) {
  if (!table) return kReport.BadParam(site);
  if (*table) {
    Table::Locked items{Table(*table)};
    if (!items.ok()) return kReport.Damaged(site);
    if (items.size() >= 2) {
      fn(std::span<const BEZ_ArcSample>(items.items()));
      return 0;
    }
  }
  if (ErrorCode err = Build(site, curve, samples, table, nullptr)) return err;
  Table::Locked items{Table(*table)};
  if (!items.ok()) return kReport.Damaged(site);
  fn(std::span<const BEZ_ArcSample>(items.items()));
  return 0;
}

}  // namespace

ErrorCode BEZ_BuildArcTable(const BEZ_Curve* curve, int32_t samples, BEZ_List* table, double* length) {
  return Build(kSiteArcTable, curve, samples, table, length);
}

ErrorCode BEZ_SFromT(const BEZ_Curve* curve, double t, int32_t samples, BEZ_List* table, double* s) {
  if (s) *s = 0.0;
  if (!s) return kReport.BadParam(kSiteSFromT);
  return WithTable(kSiteSFromT, curve, samples, table,
                   [&](std::span<const BEZ_ArcSample> items) { *s = SFromTIn(items, t); });
}

ErrorCode BEZ_TFromS(const BEZ_Curve* curve, double s, int32_t samples, BEZ_List* table, double* t) {
  if (t) *t = 0.0;
  if (!t) return kReport.BadParam(kSiteTFromS);
  return WithTable(kSiteTFromS, curve, samples, table,
                   [&](std::span<const BEZ_ArcSample> items) { *t = TFromSIn(items, s); });
}

ErrorCode BEZ_EvaluateByDistance(const BEZ_Curve* curve, double s, int32_t samples, BEZ_List* table,
                                 double* point) {
  if (!point) return kReport.BadParam(kSiteByDistance);
  if (ErrorCode err = CheckCurve(kSiteByDistance, curve, 1)) return err;
  for (int i = 0; i < curve->dimensions; ++i) point[i] = 0.0;
  double t = 0.0;
  if (ErrorCode err = BEZ_TFromS(curve, s, samples, table, &t)) return err;
  EvalPoint(*curve, t, point);
  return 0;
}

ErrorCode BEZ_EvaluateByCurvature(const BEZ_Curve*, double, double*) {
  return kReport.Fail(kSiteByCurvature, tv::kErrUnimplemented, BEZ_StrNoCurvature);
}

ErrorCode BEZ_BuildArcSpline(const BEZ_Curve* curve, double tolerance, BEZ_List* spline, double* length) {
  if (length) *length = 0.0;
  if (!spline) return kReport.BadParam(kSiteArcSpline);
  if (ErrorCode err = CheckCurve(kSiteArcSpline, curve, 1)) return err;
  if (*spline)
    if (ErrorCode err = CheckItemSize(kSiteArcSpline, *spline, sizeof(BEZ_Point2))) return err;
  tv::ScratchArray<BEZ_ArcSample> table;
  tv::ScratchArray<BEZ_Point2> points;
  if (!table.Resize(kSplineSamples) || !points.Resize(kSplineSamples))
    return kReport.OutOfMemory(kSiteArcSpline, BEZ_StrArcTemporary, table.failedBytes() + points.failedBytes());
  FillArcTable(*curve, table.span());
  double L = table[kSplineSamples - 1].s;
  if (L < 1e-10) {
    // A curve without length has nothing to fit (128 coincident points): its
    // spline is one straight piece from (0, 0) to (1, 0), and every distance
    // maps to t = 0.
    const BEZ_Point2 flat[4] = {{0.0, 0.0}, {1.0 / 3.0, 0.0}, {2.0 / 3.0, 0.0}, {1.0, 0.0}};
    if (ErrorCode err = StorePoints(kSiteArcSpline, flat, 4, spline)) return err;
    if (length) *length = L;
    return 0;
  }
  for (int32_t i = 0; i < kSplineSamples; ++i) points[i] = {table[i].t * L, table[i].s};
  FitResult fit;
  if (ErrorCode err = FitChain(points.span(), tolerance, 4, fit)) return err;
  for (size_t i = 0; i < fit.ctrl.size(); ++i) fit.ctrl[i].x /= L;
  fit.ctrl[fit.ctrl.size() - 1].x = 1.0;
  if (ErrorCode err = StorePoints(kSiteArcSpline, fit.ctrl.data(), fit.ctrl.size(), spline)) return err;
  if (length) *length = L;
  return 0;
}

ErrorCode BEZ_TFromSSpline(const BEZ_Curve* curve, double s, double tolerance, BEZ_List* spline, double* t) {
  if (t) *t = 0.0;
  if (!t || !spline) return kReport.BadParam(kSiteTFromSSpline);
  int32_t count = 0;
  if (*spline) {
    if (ErrorCode err = CheckItemSize(kSiteTFromSSpline, *spline, sizeof(BEZ_Point2))) return err;
    LIST_GetNumItems(*spline, &count);
  }
  if (count == 0) {
    if (ErrorCode err = BEZ_BuildArcSpline(curve, tolerance, spline, nullptr)) return err;
  }
  using Spline = tv::list::List<BEZ_Point2>;
  Spline::Locked items{Spline(*spline)};
  size_t n = items.size();
  if (!items.ok() || n < 4 || (n - 1) % 3 != 0) return kReport.Damaged(kSiteTFromSSpline);
  double L = items[n - 1].y;
  if (!(s > items[0].y) || L < 1e-10) return 0;
  if (s >= L) {
    *t = 1.0;
    return 0;
  }
  // The first piece whose end reaches s.
  size_t pieces = (n - 1) / 3, lo = 0, hi = pieces - 1;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (items[3 * mid + 3].y < s)
      lo = mid + 1;
    else
      hi = mid;
  }
  BEZ_Point2* p = &items[3 * lo];
  BEZ_Curve piece{2, {&p[0].x, &p[1].x, &p[2].x, &p[3].x}};
  double u = SolveCoordinate(p[0].y, p[1].y, p[2].y, p[3].y, s);
  *t = Cubic1(piece.ctpt[0][0], piece.ctpt[1][0], piece.ctpt[2][0], piece.ctpt[3][0], u);
  return 0;
}
