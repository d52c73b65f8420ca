// Evaluation of points and derivatives, subdivision and direct manipulation.
#include <cmath>

#include "BEZ_internal.h"

namespace tv::bez {

namespace {
struct Weights {
  double b0, b1, b2, b3;
  explicit Weights(double t) {
    double s = 1.0 - t;
    b0 = s * s * s;
    b1 = 3.0 * t * s * s;
    b2 = 3.0 * t * t * s;
    b3 = t * t * t;
  }
  double Apply(double c0, double c1, double c2, double c3) const { return c0 * b0 + c1 * b1 + c2 * b2 + c3 * b3; }
};
}  // namespace

double Cubic1(double c0, double c1, double c2, double c3, double t) { return Weights(t).Apply(c0, c1, c2, c3); }

double Cubic1D(double c0, double c1, double c2, double c3, double t) {
  double s = 1.0 - t;
  return 3.0 * ((c1 - c0) * (s * s) + 2.0 * (c2 - c1) * (t * s) + (c3 - c2) * (t * t));
}

double Cubic1D2(double c0, double c1, double c2, double c3, double t) {
  return 6.0 * ((c2 - 2.0 * c1 + c0) * (1.0 - t) + (c3 - 2.0 * c2 + c1) * t);
}

void EvalPoint(const BEZ_Curve& c, double t, double* out) {
  const Weights w(t);
  for (int i = 0; i < c.dimensions; ++i) out[i] = w.Apply(c.ctpt[0][i], c.ctpt[1][i], c.ctpt[2][i], c.ctpt[3][i]);
}

void Deriv(const BEZ_Curve& c, double t, double* out) {
  for (int i = 0; i < c.dimensions; ++i)
    out[i] = Cubic1D(c.ctpt[0][i], c.ctpt[1][i], c.ctpt[2][i], c.ctpt[3][i], t);
}

void Deriv2(const BEZ_Curve& c, double t, double* out) {
  for (int i = 0; i < c.dimensions; ++i)
    out[i] = Cubic1D2(c.ctpt[0][i], c.ctpt[1][i], c.ctpt[2][i], c.ctpt[3][i], t);
}

namespace {
// Common checks of the evaluation forms: a curve below one dimension has
// nothing to evaluate.
ErrorCode CheckEval(const BEZ_Curve* curve, const void* out, int32_t n = 1) {
  if (!curve || (!out && n > 0) || n < 0) return kReport.BadParam(kSiteEvaluate);
  return CheckCurve(kSiteEvaluate, curve, 0);
}
}  // namespace

}  // namespace tv::bez

using namespace tv::bez;

ErrorCode BEZ_NewCurve(BEZ_Curve*) { return 0; }
ErrorCode BEZ_DisposeCurve(BEZ_Curve*) { return 0; }
ErrorCode BEZ_CurveSetCtpts(BEZ_Curve*, double*, double*, double*, double*) { return 0; }

ErrorCode BEZ_EvaluatePoint(const BEZ_Curve* curve, double t, double* point) {
  if (ErrorCode err = CheckEval(curve, point)) return err;
  EvalPoint(*curve, t, point);
  return 0;
}

ErrorCode BEZ_EvaluatePoints(const BEZ_Curve* curve, int32_t n, const double* ts, double* points) {
  if (ErrorCode err = CheckEval(curve, points, n)) return err;
  if (n > 0 && !ts) return kReport.BadParam(kSiteEvaluate);
  int dims = curve->dimensions > 0 ? curve->dimensions : 0;
  for (int32_t i = 0; i < n; ++i) EvalPoint(*curve, ts[i], points + static_cast<size_t>(i) * dims);
  return 0;
}

ErrorCode BEZ_EvaluateDeriv(const BEZ_Curve* curve, double t, double* deriv) {
  if (ErrorCode err = CheckEval(curve, deriv)) return err;
  Deriv(*curve, t, deriv);
  return 0;
}

ErrorCode BEZ_EvaluateDerivs(const BEZ_Curve* curve, int32_t n, const double* ts, double* derivs) {
  if (ErrorCode err = CheckEval(curve, derivs, n)) return err;
  if (n > 0 && !ts) return kReport.BadParam(kSiteEvaluate);
  int dims = curve->dimensions > 0 ? curve->dimensions : 0;
  for (int32_t i = 0; i < n; ++i) Deriv(*curve, ts[i], derivs + static_cast<size_t>(i) * dims);
  return 0;
}

ErrorCode BEZ_EvaluateDeriv2(const BEZ_Curve* curve, double t, double* deriv2) {
  if (ErrorCode err = CheckEval(curve, deriv2)) return err;
  Deriv2(*curve, t, deriv2);
  return 0;
}

ErrorCode BEZ_SubdivideCurve(const BEZ_Curve* curve, double t, double* out) {
  if (!curve || !out) return kReport.BadParam(kSiteSubdivide);
  if (ErrorCode err = CheckCurve(kSiteSubdivide, curve, 0)) return err;
  const int d = curve->dimensions;
  for (int i = 0; i < d; ++i) {
    double p0 = curve->ctpt[0][i], p1 = curve->ctpt[1][i], p2 = curve->ctpt[2][i], p3 = curve->ctpt[3][i];
    double l1 = p0 + (p1 - p0) * t;
    double h = p1 + (p2 - p1) * t;
    double r2 = p2 + (p3 - p2) * t;
    double l2 = l1 + (h - l1) * t;
    double r1 = h + (r2 - h) * t;
    double m = l2 + (r1 - l2) * t;
    out[i] = l1;
    out[d + i] = l2;
    out[2 * d + i] = m;
    out[3 * d + i] = r1;
    out[4 * d + i] = r2;
  }
  return 0;
}

ErrorCode BEZ_DirectManipSetup(double t, BEZ_DirectManip* setup) {
  if (!setup) return kReport.BadParam(kSiteDirectManip);
  double s = 1.0 - t;
  double b1 = 3.0 * t * s * s;
  double b2 = 3.0 * t * t * s;
  double den = b1 * b1 + b2 * b2;
  setup->t = t;
  // At t = 0 and t = 1 the point is an end point, which no handle change can
  // move (den is 0): the weights are then 0, the least-squares answer, rather
  // than a division by zero.
  if (!(den > 0.0) || !std::isfinite(den)) {
    setup->w1 = setup->w2 = 0.0;
    return 0;
  }
  setup->w1 = b1 / den;
  setup->w2 = b2 / den;
  return 0;
}

ErrorCode BEZ_DirectManipCurve(BEZ_Curve* curve, const double* delta, const BEZ_DirectManip* setup) {
  if (!curve || !delta || !setup) return kReport.BadParam(kSiteDirectManip);
  if (ErrorCode err = CheckCurve(kSiteDirectManip, curve, 0)) return err;
  for (int i = 0; i < curve->dimensions; ++i) {
    curve->ctpt[1][i] += delta[i] * setup->w1;
    curve->ctpt[2][i] += delta[i] * setup->w2;
  }
  return 0;
}
