// BEZ: cubic Bezier mathematics. Evaluation of points and derivatives in any
// number of dimensions; the "function" use of a two-dimensional curve (y as a
// function of x and back); arc-length tables and fitted arc-length splines;
// least-squares fitting of one or several cubics to sampled points;
// subdivision; moving a curve through one of its points; easing and
// time-remapping helpers; straight-segment approximation and adaptive
// sampling.
//
// A curve is a record owned by the caller: a dimension count and four
// references to control points, each an array of that many doubles. For the
// function use the dimension count is 2, coordinate 0 is x (time) and
// coordinate 1 is y (value).
//
// What callers may rely on:
// - Failures are reported once (package 41, severity 8), null out-pointers
//   included: 3 for a null curve or required pointer, a curve missing a
//   control point or with too few dimensions (the function use needs 2), a
//   negative count or tolerance, or ease and time-remapping values that do
//   not make sense; 10 for a time-remapping x outside the curve or a polyline
//   of more than LIST_MaxItems points; 2 for an arc spline list that is not
//   one; 4 out of memory (scratch memory is allocated from the memory
//   manager); LIST's codes for the lists it fills.
// - Scalar results are 0 on failure. Lists passed in are created when null
//   (the caller disposes them); appending operations keep what was appended
//   before a failure.
// - No operation keeps state between calls: results depend only on the
//   arguments and are deterministic.
#pragma once

#include "LIST.h"
#include "STR.h"
#include "Types.h"

enum {
  BEZ_PackageNumber = 41,
  BEZ_StringCount = 9,
};

// Indices into BEZp_G_STRs.
enum {
  BEZ_StrDamaged = 0,           // "damaged BEZ structure."
  BEZ_StrArcTemporary = 1,      // "temporary vectors in arclength calculation"
  BEZ_StrBadEase = 2,           // "invalid ease/influence values"
  BEZ_StrBadRemapCtpts = 3,     // "invalid time-remapping control points"
  BEZ_StrBadRemapDomain = 4,    // "invalid time-remapping domain"
  BEZ_StrUnsupportedType = 5,   // "unsupported BEZ data type"
  BEZ_StrCurveName = 6,         // "Bezier Curve"
  BEZ_StrParameterValues = 7,   // "List of parameter values"
  BEZ_StrNoCurvature = 8,       // "evaluation by curvature is not available"
};

// Arc tables hold items of this layout (16 bytes): the curve parameter and the
// cumulative arc length from t = 0, in increasing t.
typedef struct BEZ_ArcSample {
  double t;
  double s;
} BEZ_ArcSample;

// A two-dimensional point: fitted pieces, arc splines and fitting input.
typedef struct BEZ_Point2 {
  double x;
  double y;
} BEZ_Point2;

typedef struct BEZ_Curve {
  int16_t dimensions;
  double* ctpt[4];  // P0, P1, P2, P3
} BEZ_Curve;

// Weights computed by BEZ_DirectManipSetup for one curve parameter.
typedef struct BEZ_DirectManip {
  double t;
  double w1;
  double w2;
} BEZ_DirectManip;

// Easing of one segment: x runs from 0 to duration (seconds), y from y0 to y3.
// A side's handle has the length influence x duration along x and the slope
// velocity (value units per second); a side flagged linear uses the fixed
// handle of one sixth of the interval instead.
enum {
  BEZ_EaseOutLinear = 1u << 0,     // the out side of the segment start is linear
  BEZ_EaseInLinear = 1u << 1,      // the in side of the segment end is linear
  BEZ_EaseNonDecreasing = 1u << 2, // apply BEZ_CurveSetNonDecreasing
};
typedef struct BEZ_Ease {
  double duration;
  double y0, y3;
  double outVelocity, outInfluence;  // at the segment start
  double inVelocity, inInfluence;    // at the segment end
  uint32_t flags;
} BEZ_Ease;

// Decides whether the interval t0..t1 (points p0, p1 at its ends, depth 0 for
// the whole curve) is split at its midpoint.
typedef Boolean32 (*BEZ_AdaptiveTest)(void* data, double t0, double t1, const double* p0,
                                      const double* p1, int32_t depth);

// Lists used by this package: arc tables (BEZ_ArcSample items, ordered by t),
// arc splines and fitted pieces (BEZ_Point2 items), break lists (int32_t
// items) and sampled points (dimension-count doubles per item).
typedef LIST_Handle BEZ_List;

// ---- Package frame ------------------------------------------------------------
TV_EXPORT uint32_t BEZ_PkgObjectVersion(void);
TV_EXPORT ErrorCode BEZ_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table BEZp_G_STRs;

// ---- Curves ---------------------------------------------------------------------
// The caller owns curves: these do nothing and return 0.
TV_EXPORT ErrorCode BEZ_NewCurve(BEZ_Curve* curve);
TV_EXPORT ErrorCode BEZ_DisposeCurve(BEZ_Curve* curve);
TV_EXPORT ErrorCode BEZ_CurveSetCtpts(BEZ_Curve* curve, double* p0, double* p1, double* p2, double* p3);

// ---- Evaluation (points hold dimension-count doubles each) ----------------------
TV_EXPORT ErrorCode BEZ_EvaluatePoint(const BEZ_Curve* curve, double t, double* point);
TV_EXPORT ErrorCode BEZ_EvaluatePoints(const BEZ_Curve* curve, int32_t n, const double* ts, double* points);
TV_EXPORT ErrorCode BEZ_EvaluateDeriv(const BEZ_Curve* curve, double t, double* deriv);
TV_EXPORT ErrorCode BEZ_EvaluateDerivs(const BEZ_Curve* curve, int32_t n, const double* ts, double* derivs);
TV_EXPORT ErrorCode BEZ_EvaluateDeriv2(const BEZ_Curve* curve, double t, double* deriv2);

// ---- Function use (dimension count 2) --------------------------------------------
TV_EXPORT ErrorCode BEZ_TFromX(const BEZ_Curve* curve, double x, double* t);
TV_EXPORT ErrorCode BEZ_TFromY(const BEZ_Curve* curve, double y, double* t);
TV_EXPORT ErrorCode BEZ_EvaluateYFromX(const BEZ_Curve* curve, double x, double* t, double* y);
TV_EXPORT ErrorCode BEZ_EvaluateXFromY(const BEZ_Curve* curve, double y, double* t, double* x);
// Also dx/dy at that point.
TV_EXPORT ErrorCode BEZ_EvaluateXFromYPrime(const BEZ_Curve* curve, double y, double* t, double* x,
                                            double* dxdy);
TV_EXPORT ErrorCode BEZ_EvaluateYFromXs(const BEZ_Curve* curve, int32_t n, const double* xs, double* ys);
TV_EXPORT ErrorCode BEZ_Evaluate1dDerivFromX(const BEZ_Curve* curve, double x, double* dydx);
TV_EXPORT ErrorCode BEZ_Evaluate1dDeriv2FromX(const BEZ_Curve* curve, double x, double* d2ydx2);
// Any of y, dydx, d2ydx2 may be null.
TV_EXPORT ErrorCode BEZ_Evaluate1dDerivsFromX(const BEZ_Curve* curve, double x, double* y, double* dydx,
                                              double* d2ydx2);
TV_EXPORT ErrorCode BEZ_CurveSetNonDecreasing(BEZ_Curve* curve, Boolean32* changed);

// ---- Easing and time remapping (function curves) ----------------------------------
// Fills the curve's control points (dimension count 2) from an ease record.
TV_EXPORT ErrorCode BEZ_SetEaseCurve(const BEZ_Ease* ease, BEZ_Curve* curve);
// The eased value at x (seconds from the segment start).
TV_EXPORT ErrorCode BEZ_EvaluateEase(const BEZ_Ease* ease, double x, double* y);
// A time-remapping curve maps x (time) monotonically: x0 < x3 and both
// handles' x within x0..x3.
TV_EXPORT ErrorCode BEZ_CheckTimeRemapCurve(const BEZ_Curve* curve);
TV_EXPORT ErrorCode BEZ_EvaluateTimeRemap(const BEZ_Curve* curve, double x, double* y);

// ---- Arc length --------------------------------------------------------------------
// *table is created when null; it ends with exactly `samples` items.
TV_EXPORT ErrorCode BEZ_BuildArcTable(const BEZ_Curve* curve, int32_t samples, BEZ_List* table,
                                      double* length);
TV_EXPORT ErrorCode BEZ_SFromT(const BEZ_Curve* curve, double t, int32_t samples, BEZ_List* table,
                               double* s);
TV_EXPORT ErrorCode BEZ_TFromS(const BEZ_Curve* curve, double s, int32_t samples, BEZ_List* table,
                               double* t);
TV_EXPORT ErrorCode BEZ_BuildArcSpline(const BEZ_Curve* curve, double tolerance, BEZ_List* spline,
                                       double* length);
TV_EXPORT ErrorCode BEZ_TFromSSpline(const BEZ_Curve* curve, double s, double tolerance, BEZ_List* spline,
                                     double* t);
// The point at arc length s (through the arc table, built on first use).
TV_EXPORT ErrorCode BEZ_EvaluateByDistance(const BEZ_Curve* curve, double s, int32_t samples,
                                           BEZ_List* table, double* point);
// Not available: 5 (reported), point untouched.
TV_EXPORT ErrorCode BEZ_EvaluateByCurvature(const BEZ_Curve* curve, double s, double* point);

// ---- Fitting (points: n two-dimensional points) ---------------------------------------
// *pieces (BEZ_Point2 items, created when null, emptied otherwise) receives the
// shared control points: piece k is items 3k to 3k + 3. *breaks (int32_t items,
// optional, created when null) receives the indices of the input points where
// consecutive pieces join.
TV_EXPORT ErrorCode BEZ_FitMultipleCurves(const BEZ_Point2* points, int32_t n, double tolerance,
                                          BEZ_List* pieces);
TV_EXPORT ErrorCode BEZ_FitMultipleCurvesIterate(const BEZ_Point2* points, int32_t n, double tolerance,
                                                 int32_t iterations, BEZ_List* pieces, BEZ_List* breaks);
// One cubic with the end points fixed; ctpts receives P0..P3 and error the
// largest squared distance of a point to the curve at its parameter.
TV_EXPORT ErrorCode BEZ_FitOneCurve(const BEZ_Point2* points, int32_t n, BEZ_Point2 ctpts[4], double* error);
TV_EXPORT ErrorCode BEZ_FitOneCurveIter(const BEZ_Point2* points, int32_t n, int32_t iterations,
                                        BEZ_Point2 ctpts[4], double* error);
// The error of the curve ctpts against the points (chord-length parameters);
// index (optional) receives the point where it is largest.
TV_EXPORT ErrorCode BEZ_FitOneCurveError(const BEZ_Point2* points, int32_t n, const BEZ_Point2 ctpts[4],
                                         double* error, int32_t* index);

// ---- Subdivision and direct manipulation ------------------------------------------------
// out receives 5 x dimension-count doubles: L1, L2, M, R1, R2.
TV_EXPORT ErrorCode BEZ_SubdivideCurve(const BEZ_Curve* curve, double t, double* out);
TV_EXPORT ErrorCode BEZ_DirectManipSetup(double t, BEZ_DirectManip* setup);
// delta: dimension-count doubles.
TV_EXPORT ErrorCode BEZ_DirectManipCurve(BEZ_Curve* curve, const double* delta, const BEZ_DirectManip* setup);

// ---- Straight segments and sampling -------------------------------------------------------
// True when P1 and P2 lie within tolerance of the segment P0-P3 (so the curve
// is straight and runs one way).
TV_EXPORT ErrorCode BEZ_IsLinearFunc(const BEZ_Curve* curve, double tolerance, Boolean32* linear);
// Appends to *points (dimension-count doubles per item, created when null) the
// points of a polyline within tolerance of the curve: P0 unless the list
// already ends with it, then the end of every straight piece.
TV_EXPORT ErrorCode BEZ_LinearlyInterpolateCurve(const BEZ_Curve* curve, double tolerance, BEZ_List* points);
// Appends points every `step` along the straight line from..to (from unless
// the list already ends with it, to always).
TV_EXPORT ErrorCode BEZ_LinearlyInterpolateLine(int16_t dimensions, const double* from, const double* to,
                                                double step, BEZ_List* points);
// Appends the point at t = 0 unless lowerBound is given and its first
// coordinate is not beyond it, then bisects 0..1 while test asks to split
// (never deeper than BEZ_AdaptiveMaxDepth) and appends accepted interval ends
// in increasing t. minX/maxX (optional) keep a running range of coordinate 0.
enum { BEZ_AdaptiveMaxDepth = 16 };
TV_EXPORT ErrorCode BEZ_EvaluateAdaptively(BEZ_AdaptiveTest test, void* data, const double* lowerBound,
                                           const BEZ_Curve* curve, double* minX, double* maxX,
                                           BEZ_List* points);
