// The function use of a two-dimensional curve: solving a coordinate for the
// parameter, y from x and x from y with their derivatives, the non-decreasing
// correction, easing and time remapping.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "BEZ_internal.h"

namespace tv::bez {
namespace {

constexpr double kEps = 1e-10;

// Real roots of a t^3 + b t^2 + c t + d = 0; returns how many.
int SolveCubic(double a, double b, double c, double d, double roots[3]) {
  if (std::fabs(a) < kEps) {
    if (std::fabs(b) < kEps) {
      if (std::fabs(c) < kEps) return 0;
      roots[0] = -d / c;
      return 1;
    }
    double disc = c * c - 4.0 * b * d;
    if (disc < 0.0) return 0;
    double sq = std::sqrt(disc);
    roots[0] = (-c + sq) / (2.0 * b);
    roots[1] = (-c - sq) / (2.0 * b);
    return 2;
  }
  double A = b / a, B = c / a, C = d / a;
  double Q = (A * A - 3.0 * B) / 9.0;
  double R = (2.0 * A * A * A - 9.0 * A * B + 27.0 * C) / 54.0;
  double Q3 = Q * Q * Q;
  if (R * R < Q3) {
    // Three real roots: the trigonometric form.
    double ratio = std::clamp(R / std::sqrt(Q3), -1.0, 1.0);
    double theta = std::acos(ratio);
    double m = -2.0 * std::sqrt(Q);
    constexpr double kPi = std::numbers::pi;
    roots[0] = m * std::cos(theta / 3.0) - A / 3.0;
    roots[1] = m * std::cos((theta + 2.0 * kPi) / 3.0) - A / 3.0;
    roots[2] = m * std::cos((theta + 4.0 * kPi) / 3.0) - A / 3.0;
    return 3;
  }
  // One real root (or a repeated one): Cardano's form with cube roots.
  double S = -std::copysign(std::cbrt(std::fabs(R) + std::sqrt(R * R - Q3)), R);
  double T = (S == 0.0) ? 0.0 : Q / S;
  roots[0] = S + T - A / 3.0;
  return 1;
}

// Bisection on a coordinate that runs monotonically from c0 to c3.
double Bisect(double c0, double c1, double c2, double c3, double v) {
  bool increasing = c3 >= c0;
  double lo = 0.0, hi = 1.0;
  for (int i = 0; i < 200 && lo < hi; ++i) {
    double mid = 0.5 * (lo + hi);
    if (mid <= lo || mid >= hi) break;
    double x = Cubic1(c0, c1, c2, c3, mid);
    if ((x < v) == increasing)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

}  // namespace

double SolveCoordinate(double c0, double c1, double c2, double c3, double v) {
  // The end snapping follows the direction of the coordinate: a decreasing
  // coordinate (c3 < c0, such as a falling value solved by TFromY) would
  // otherwise answer t = 0 for every value inside its range.
  if (c3 >= c0) {
    if (v < c0 || std::fabs(v - c0) < kEps) return 0.0;
    if (v > c3 || std::fabs(v - c3) < kEps) return 1.0;
  } else {
    if (v > c0 || std::fabs(v - c0) < kEps) return 0.0;
    if (v < c3 || std::fabs(v - c3) < kEps) return 1.0;
  }
  if (!std::isfinite(v)) return 0.0;
  double a = c3 + 3.0 * (c1 - c2) - c0;
  double b = 3.0 * (c0 - 2.0 * c1 + c2);
  double c = 3.0 * (c1 - c0);
  double d = c0 - v;
  double roots[3];
  int count = SolveCubic(a, b, c, d, roots);
  // Rounding can put the only root a hair outside 0..1: roots just outside
  // are accepted and clamped. Among several, the one whose coordinate is
  // closest to v wins (the smaller t on a tie).
  constexpr double kSlack = 1e-7;
  double best = -1.0, bestErr = 0.0;
  for (int i = 0; i < count; ++i) {
    double r = roots[i];
    if (!(r >= -kSlack && r <= 1.0 + kSlack)) continue;
    r = std::clamp(r, 0.0, 1.0);
    double err = std::fabs(Cubic1(c0, c1, c2, c3, r) - v);
    if (best < 0.0 || err < bestErr || (err == bestErr && r < best)) {
      best = r;
      bestErr = err;
    }
  }
  double scale = std::max({1.0, std::fabs(c0), std::fabs(c3)});
  // No root in range, or a badly conditioned one (nearly degenerate
  // coefficients): fall back to bisection on the monotonic coordinate.
  if (best < 0.0 || bestErr > 1e-9 * scale) {
    double t = Bisect(c0, c1, c2, c3, v);
    if (best < 0.0 || std::fabs(Cubic1(c0, c1, c2, c3, t) - v) < bestErr) best = t;
  }
  return best;
}

double SlopeAt(const BEZ_Curve& c, double t, int xi, int yi) {
  auto co = [&](int dim, int k) { return c.ctpt[k][dim]; };
  double dx = Cubic1D(co(xi, 0), co(xi, 1), co(xi, 2), co(xi, 3), t);
  double dy = Cubic1D(co(yi, 0), co(yi, 1), co(yi, 2), co(yi, 3), t);
  if (std::fabs(dx) >= kEps) return dy / dx;
  // x stands still at t (a handle of zero length along x): the slope is the
  // limit, the ratio of the first non-vanishing higher derivatives; 0 when x
  // does not move at all.
  double dx2 = Cubic1D2(co(xi, 0), co(xi, 1), co(xi, 2), co(xi, 3), t);
  double dy2 = Cubic1D2(co(yi, 0), co(yi, 1), co(yi, 2), co(yi, 3), t);
  if (std::fabs(dx2) >= kEps) return dy2 / dx2;
  double dx3 = 6.0 * (co(xi, 3) - 3.0 * co(xi, 2) + 3.0 * co(xi, 1) - co(xi, 0));
  double dy3 = 6.0 * (co(yi, 3) - 3.0 * co(yi, 2) + 3.0 * co(yi, 1) - co(yi, 0));
  if (std::fabs(dx3) >= kEps) return dy3 / dx3;
  return 0.0;
}

double Slope2At(const BEZ_Curve& c, double t) {
  double d1[2], d2[2];
  double p0[2] = {c.ctpt[0][0], c.ctpt[0][1]}, p1[2] = {c.ctpt[1][0], c.ctpt[1][1]};
  double p2[2] = {c.ctpt[2][0], c.ctpt[2][1]}, p3[2] = {c.ctpt[3][0], c.ctpt[3][1]};
  for (int i = 0; i < 2; ++i) {
    d1[i] = Cubic1D(p0[i], p1[i], p2[i], p3[i], t);
    d2[i] = Cubic1D2(p0[i], p1[i], p2[i], p3[i], t);
  }
  // Where x stands still the second derivative has no finite value; 0 is
  // answered there instead of a division by zero.
  if (std::fabs(d1[0]) < kEps) return 0.0;
  return (d2[1] * d1[0] - d2[0] * d1[1]) / (d1[0] * d1[0] * d1[0]);
}

}  // namespace tv::bez

using namespace tv::bez;

namespace {

double Solve(const BEZ_Curve& c, int dim, double v) {
  return SolveCoordinate(c.ctpt[0][dim], c.ctpt[1][dim], c.ctpt[2][dim], c.ctpt[3][dim], v);
}
double Coord(const BEZ_Curve& c, int dim, double t) {
  return Cubic1(c.ctpt[0][dim], c.ctpt[1][dim], c.ctpt[2][dim], c.ctpt[3][dim], t);
}
void Zero(double* a) {
  if (a) *a = 0.0;
}
ErrorCode CheckFunction(const BEZ_Curve* curve) { return CheckCurve(kSiteFunction, curve, 2); }

}  // namespace

ErrorCode BEZ_TFromX(const BEZ_Curve* curve, double x, double* t) {
  Zero(t);
  if (!t) return kReport.BadParam(kSiteFunction);
  if (ErrorCode err = CheckFunction(curve)) return err;
  *t = Solve(*curve, 0, x);
  return 0;
}

ErrorCode BEZ_TFromY(const BEZ_Curve* curve, double y, double* t) {
  Zero(t);
  if (!t) return kReport.BadParam(kSiteFunction);
  if (ErrorCode err = CheckFunction(curve)) return err;
  *t = Solve(*curve, 1, y);
  return 0;
}

ErrorCode BEZ_EvaluateYFromX(const BEZ_Curve* curve, double x, double* t, double* y) {
  Zero(t);
  Zero(y);
  if (!y) return kReport.BadParam(kSiteFunction);
  if (ErrorCode err = CheckFunction(curve)) return err;
  double u = Solve(*curve, 0, x);
  if (t) *t = u;
  *y = Coord(*curve, 1, u);
  return 0;
}

ErrorCode BEZ_EvaluateXFromY(const BEZ_Curve* curve, double y, double* t, double* x) {
  Zero(t);
  Zero(x);
  if (!x) return kReport.BadParam(kSiteFunction);
  if (ErrorCode err = CheckFunction(curve)) return err;
  double u = Solve(*curve, 1, y);
  if (t) *t = u;
  *x = Coord(*curve, 0, u);
  return 0;
}

ErrorCode BEZ_EvaluateXFromYPrime(const BEZ_Curve* curve, double y, double* t, double* x, double* dxdy) {
  Zero(t);
  Zero(x);
  Zero(dxdy);
  if (ErrorCode err = CheckFunction(curve)) return err;
  double u = Solve(*curve, 1, y);
  if (t) *t = u;
  if (x) *x = Coord(*curve, 0, u);
  if (dxdy) *dxdy = SlopeAt(*curve, u, 1, 0);
  return 0;
}

ErrorCode BEZ_EvaluateYFromXs(const BEZ_Curve* curve, int32_t n, const double* xs, double* ys) {
  if (n < 0 || (n > 0 && (!xs || !ys))) return kReport.BadParam(kSiteFunction);
  if (ErrorCode err = CheckFunction(curve)) {
    for (int32_t i = 0; ys && i < n; ++i) ys[i] = 0.0;
    return err;
  }
  for (int32_t i = 0; i < n; ++i) ys[i] = Coord(*curve, 1, Solve(*curve, 0, xs[i]));
  return 0;
}

ErrorCode BEZ_Evaluate1dDerivsFromX(const BEZ_Curve* curve, double x, double* y, double* dydx,
                                    double* d2ydx2) {
  Zero(y);
  Zero(dydx);
  Zero(d2ydx2);
  if (ErrorCode err = CheckFunction(curve)) return err;
  double u = Solve(*curve, 0, x);
  if (y) *y = Coord(*curve, 1, u);
  if (dydx) *dydx = SlopeAt(*curve, u, 0, 1);
  if (d2ydx2) *d2ydx2 = Slope2At(*curve, u);
  return 0;
}

ErrorCode BEZ_Evaluate1dDerivFromX(const BEZ_Curve* curve, double x, double* dydx) {
  Zero(dydx);
  if (!dydx) return kReport.BadParam(kSiteFunction);
  return BEZ_Evaluate1dDerivsFromX(curve, x, nullptr, dydx, nullptr);
}

ErrorCode BEZ_Evaluate1dDeriv2FromX(const BEZ_Curve* curve, double x, double* d2ydx2) {
  Zero(d2ydx2);
  if (!d2ydx2) return kReport.BadParam(kSiteFunction);
  return BEZ_Evaluate1dDerivsFromX(curve, x, nullptr, nullptr, d2ydx2);
}

ErrorCode BEZ_CurveSetNonDecreasing(BEZ_Curve* curve, Boolean32* changed) {
  if (changed) *changed = 0;
  if (ErrorCode err = CheckCurve(kSiteNonDecreasing, curve, 2)) return err;
  double* p0 = curve->ctpt[0];
  double* p1 = curve->ctpt[1];
  double* p2 = curve->ctpt[2];
  double* p3 = curve->ctpt[3];
  double y0 = p0[1], y3 = p3[1];
  // A falling segment (y3 < y0) cannot be made non-decreasing by shortening
  // its handles, and the proportions below would divide by zero or by a
  // negative span: such a curve is left as it is.
  if (!(y3 >= y0)) return 0;
  bool moved = false;
  if (p1[1] > y3) {
    double y1old = p1[1];
    p1[1] = y3;
    p1[0] = p0[0] + (p1[0] - p0[0]) * (y3 - y0) / (y1old - y0);
    moved = true;
  }
  if (p2[1] < y0) {
    double y2old = p2[1];
    p2[1] = y0;
    p2[0] = p3[0] + (p2[0] - p3[0]) * (y3 - y0) / (y3 - y2old);
    moved = true;
  }
  if (changed) *changed = moved ? 1 : 0;
  return 0;
}

namespace {

constexpr double kLinearHandle = 0.16666666667;

bool Finite(double v) { return std::isfinite(v); }

ErrorCode CheckEase(const BEZ_Ease* e) {
  if (!e) return kReport.BadParam(kSiteEase);
  bool ok = Finite(e->duration) && e->duration > 0.0 && Finite(e->y0) && Finite(e->y3);
  if (!(e->flags & BEZ_EaseOutLinear))
    ok = ok && Finite(e->outVelocity) && e->outInfluence >= 0.0 && e->outInfluence <= 1.0;
  if (!(e->flags & BEZ_EaseInLinear))
    ok = ok && Finite(e->inVelocity) && e->inInfluence >= 0.0 && e->inInfluence <= 1.0;
  if (!ok) return kReport.Fail(kSiteEase, tv::kErrBadParam, BEZ_StrBadEase);
  return 0;
}

void FillEase(const BEZ_Ease& e, double* p0, double* p1, double* p2, double* p3) {
  double D = e.duration;
  p0[0] = 0.0;
  p0[1] = e.y0;
  p3[0] = D;
  p3[1] = e.y3;
  if (e.flags & BEZ_EaseOutLinear) {
    p1[0] = D * kLinearHandle;
    p1[1] = e.y0 + (e.y3 - e.y0) * kLinearHandle;
  } else {
    p1[0] = e.outInfluence * D;
    p1[1] = e.y0 + e.outVelocity * e.outInfluence * D;
  }
  if (e.flags & BEZ_EaseInLinear) {
    p2[0] = D - D * kLinearHandle;
    p2[1] = e.y3 - (e.y3 - e.y0) * kLinearHandle;
  } else {
    p2[0] = D - e.inInfluence * D;
    p2[1] = e.y3 - e.inVelocity * e.inInfluence * D;
  }
}

}  // namespace

ErrorCode BEZ_SetEaseCurve(const BEZ_Ease* ease, BEZ_Curve* curve) {
  if (ErrorCode err = CheckEase(ease)) return err;
  if (ErrorCode err = CheckCurve(kSiteEase, curve, 2)) return err;
  FillEase(*ease, curve->ctpt[0], curve->ctpt[1], curve->ctpt[2], curve->ctpt[3]);
  if (ease->flags & BEZ_EaseNonDecreasing) return BEZ_CurveSetNonDecreasing(curve, nullptr);
  return 0;
}

ErrorCode BEZ_EvaluateEase(const BEZ_Ease* ease, double x, double* y) {
  Zero(y);
  if (!y) return kReport.BadParam(kSiteEase);
  if (ErrorCode err = CheckEase(ease)) return err;
  const uint32_t both = BEZ_EaseOutLinear | BEZ_EaseInLinear;
  if ((ease->flags & both) == both) {
    double f = std::clamp(x / ease->duration, 0.0, 1.0);
    *y = ease->y0 + (ease->y3 - ease->y0) * f;
    return 0;
  }
  double p[4][2];
  BEZ_Curve c{2, {p[0], p[1], p[2], p[3]}};
  FillEase(*ease, p[0], p[1], p[2], p[3]);
  if (ease->flags & BEZ_EaseNonDecreasing) BEZ_CurveSetNonDecreasing(&c, nullptr);
  *y = Coord(c, 1, Solve(c, 0, x));
  return 0;
}

ErrorCode BEZ_CheckTimeRemapCurve(const BEZ_Curve* curve) {
  if (ErrorCode err = CheckCurve(kSiteTimeRemap, curve, 2)) return err;
  double x0 = curve->ctpt[0][0], x1 = curve->ctpt[1][0], x2 = curve->ctpt[2][0], x3 = curve->ctpt[3][0];
  bool ok = true;
  for (double* p : curve->ctpt) ok = ok && Finite(p[0]) && Finite(p[1]);
  // With both handles' x inside x0..x3 the curve's x never runs backwards,
  // which the x-to-t solver relies on.
  ok = ok && x0 < x3 && x1 >= x0 && x1 <= x3 && x2 >= x0 && x2 <= x3;
  if (!ok) return kReport.Fail(kSiteTimeRemap, tv::kErrBadParam, BEZ_StrBadRemapCtpts);
  return 0;
}

ErrorCode BEZ_EvaluateTimeRemap(const BEZ_Curve* curve, double x, double* y) {
  Zero(y);
  if (!y) return kReport.BadParam(kSiteTimeRemap);
  if (ErrorCode err = BEZ_CheckTimeRemapCurve(curve)) return err;
  double x0 = curve->ctpt[0][0], x3 = curve->ctpt[3][0];
  if (!(x >= x0 - 1e-10 && x <= x3 + 1e-10)) return kReport.Fail(kSiteTimeRemap, tv::kErrRange, BEZ_StrBadRemapDomain);
  *y = Coord(*curve, 1, Solve(*curve, 0, x));
  return 0;
}
