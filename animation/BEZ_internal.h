// Inside the BEZ package: the numeric core over spans and the reporter.
#pragma once

#include <cstddef>
#include <span>

#include "BEZ.h"
#include "Memory.h"
#include "Package.h"
#include "Scratch.h"

namespace tv::bez {

// Report sites (low byte of the location).
enum Site : uint32_t {
  kSiteEvaluate = 1,
  kSiteFunction = 2,
  kSiteNonDecreasing = 3,
  kSiteEase = 4,
  kSiteTimeRemap = 5,
  kSiteArcTable = 6,
  kSiteSFromT = 7,
  kSiteTFromS = 8,
  kSiteArcSpline = 9,
  kSiteTFromSSpline = 10,
  kSiteByDistance = 11,
  kSiteByCurvature = 12,
  kSiteFitMultiple = 13,
  kSiteFitOne = 14,
  kSiteFitError = 15,
  kSiteSubdivide = 16,
  kSiteDirectManip = 17,
  kSiteLinear = 18,
  kSiteAdaptive = 19,
};

extern const pkg::Reporter kReport;

// Checks the curve record: non-null, at least minDims dimensions, non-null
// control points. Reports and returns the failure.
ErrorCode CheckCurve(Site site, const BEZ_Curve* curve, int minDims);

// ---- Numeric core -------------------------------------------------------------
void EvalPoint(const BEZ_Curve& c, double t, double* out);
void Deriv(const BEZ_Curve& c, double t, double* out);
void Deriv2(const BEZ_Curve& c, double t, double* out);

// Coordinate values of a cubic at t, and its derivatives.
double Cubic1(double c0, double c1, double c2, double c3, double t);
double Cubic1D(double c0, double c1, double c2, double c3, double t);
double Cubic1D2(double c0, double c1, double c2, double c3, double t);

// The parameter at which a monotonic coordinate with control values c0..c3
// takes value v.
double SolveCoordinate(double c0, double c1, double c2, double c3, double v);

// dy/dx and d2y/dx2 of a two-dimensional function curve at t.
double SlopeAt(const BEZ_Curve& c, double t, int xi, int yi);
double Slope2At(const BEZ_Curve& c, double t);

// Arc tables.
void FillArcTable(const BEZ_Curve& c, std::span<BEZ_ArcSample> table);
double SFromTIn(std::span<const BEZ_ArcSample> table, double t);
double TFromSIn(std::span<const BEZ_ArcSample> table, double s);

// Fitting. Results are appended to ctrl (shared control points) and breaks.
struct FitResult {
  ScratchArray<BEZ_Point2> ctrl;
  ScratchArray<int32_t> breaks;
};
ErrorCode FitChain(std::span<const BEZ_Point2> points, double tolerance, int32_t iterations, FitResult& out);
ErrorCode FitSingle(std::span<const BEZ_Point2> points, int32_t iterations, BEZ_Point2 ctpts[4],
                    double* error, Site site);
// Stores n points into *list (created when null with block size 32, emptied
// otherwise; a list of another item size is refused with code 2).
ErrorCode StorePoints(Site site, const BEZ_Point2* items, size_t n, LIST_Handle* list);
double MaxErrorAt(std::span<const BEZ_Point2> points, const BEZ_Point2 ctpts[4], std::span<const double> u,
                  int32_t* index);

}  // namespace tv::bez
