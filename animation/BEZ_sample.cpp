// Straightness test, approximation by straight segments and adaptive
// sampling into lists of points.
#include <cmath>
#include <cstring>

#include "BEZ_internal.h"

using namespace tv::bez;

namespace {

// P1 and P2 within tolerance of the segment P0-P3, their projections inside it.
bool IsLinear(int dims, const double* p0, const double* p1, const double* p2, const double* p3, double tol) {
  double len2 = 0.0;
  for (int i = 0; i < dims; ++i) len2 += (p3[i] - p0[i]) * (p3[i] - p0[i]);
  for (const double* h : {p1, p2}) {
    double dot = 0.0, v2 = 0.0;
    for (int i = 0; i < dims; ++i) {
      double v = h[i] - p0[i];
      dot += v * (p3[i] - p0[i]);
      v2 += v * v;
    }
    if (!(len2 > 0.0)) {
      if (!(v2 <= tol * tol)) return false;
      continue;
    }
    double u = dot / len2;
    double dist2 = v2 - u * dot;  // |v|^2 - (v.c)^2 / |c|^2
    if (dist2 < 0.0) dist2 = 0.0;
    double slack = tol / std::sqrt(len2);
    if (!(dist2 <= tol * tol) || !(u >= -slack) || !(u <= 1.0 + slack)) return false;
  }
  return true;
}

// Opens the points list (created when null) and checks its item size.
ErrorCode OpenPoints(Site site, int dims, LIST_Handle* list) {
  const int32_t itemSize = dims * static_cast<int32_t>(sizeof(double));
  if (!*list) return LIST_New(0, itemSize, 32, 1, list);
  int32_t have = 0;
  if (ErrorCode err = LIST_GetItemSize(*list, &have)) return err;
  if (have != itemSize) return kReport.Damaged(site);
  return 0;
}

// True when the list's last item equals p.
bool EndsWith(LIST_Handle list, int dims, const double* p, tv::ScratchArray<double>& scratch) {
  int32_t count = 0;
  LIST_GetNumItems(list, &count);
  if (count == 0 || !scratch.Resize(static_cast<size_t>(dims))) return false;
  if (LIST_GetItem(list, -1, scratch.data()) != 0) return false;
  return std::memcmp(scratch.data(), p, static_cast<size_t>(dims) * sizeof(double)) == 0;
}

}  // namespace

ErrorCode BEZ_IsLinearFunc(const BEZ_Curve* curve, double tolerance, Boolean32* linear) {
  if (linear) *linear = 0;
  if (!linear || !(tolerance >= 0.0)) return kReport.BadParam(kSiteLinear);
  if (ErrorCode err = CheckCurve(kSiteLinear, curve, 1)) return err;
  *linear = IsLinear(curve->dimensions, curve->ctpt[0], curve->ctpt[1], curve->ctpt[2], curve->ctpt[3], tolerance);
  return 0;
}

ErrorCode BEZ_LinearlyInterpolateCurve(const BEZ_Curve* curve, double tolerance, BEZ_List* points) {
  // A tolerance of 0 would never be met by a true curve; the depth limit below
  // still ends the subdivision, but a negative or undefined one is refused.
  if (!points || !(tolerance >= 0.0)) return kReport.BadParam(kSiteLinear);
  if (ErrorCode err = CheckCurve(kSiteLinear, curve, 1)) return err;
  const int d = curve->dimensions;
  if (ErrorCode err = OpenPoints(kSiteLinear, d, points)) return err;
  tv::ScratchArray<double> scratch;
  if (!EndsWith(*points, d, curve->ctpt[0], scratch))
    if (ErrorCode err = LIST_Insert(curve->ctpt[0], -1, *points)) return err;
  // A stack of pieces, four control points each, with their depths; the
  // right half is pushed first so the ends come out in increasing t.
  const size_t stride = 4 * static_cast<size_t>(d);
  tv::ScratchArray<double> stack;
  tv::ScratchArray<int32_t> depths;
  if (!stack.Resize(stride) || !depths.Push(0))
    return kReport.OutOfMemory(kSiteLinear, BEZ_StrCurveName, stack.failedBytes() + depths.failedBytes());
  for (int k = 0; k < 4; ++k) std::memcpy(&stack[k * d], curve->ctpt[k], d * sizeof(double));
  while (depths.size() > 0) {
    size_t top = depths.size() - 1;
    int32_t depth = depths[top];
    double* p = &stack[top * stride];
    if (depth >= BEZ_AdaptiveMaxDepth || IsLinear(d, p, p + d, p + 2 * d, p + 3 * d, tolerance)) {
      ErrorCode err = LIST_Insert(p + 3 * d, -1, *points);
      depths.Resize(top);
      stack.Resize(top * stride);
      if (err) return err;
      continue;
    }
    if (!stack.Resize((top + 2) * stride) || !depths.Push(depth + 1))
      return kReport.OutOfMemory(kSiteLinear, BEZ_StrCurveName, stack.failedBytes() + depths.failedBytes());
    p = &stack[top * stride];
    double* left = p + stride;  // slot top + 1 gets the left half, slot top the right half
    for (int i = 0; i < d; ++i) {
      double p0 = p[i], p1 = p[d + i], p2 = p[2 * d + i], p3 = p[3 * d + i];
      double l1 = (p0 + p1) * 0.5, h = (p1 + p2) * 0.5, r2 = (p2 + p3) * 0.5;
      double l2 = (l1 + h) * 0.5, r1 = (h + r2) * 0.5, m = (l2 + r1) * 0.5;
      left[i] = p0;
      left[d + i] = l1;
      left[2 * d + i] = l2;
      left[3 * d + i] = m;
      p[i] = m;
      p[d + i] = r1;
      p[2 * d + i] = r2;
      p[3 * d + i] = p3;
    }
    depths[top] = depth + 1;
  }
  return 0;
}

ErrorCode BEZ_LinearlyInterpolateLine(int16_t dimensions, const double* from, const double* to, double step,
                                      BEZ_List* points) {
  if (!points || !from || !to || dimensions < 1 || !(step > 0.0))
    return kReport.Fail(kSiteLinear, tv::kErrBadParam, dimensions < 1 ? BEZ_StrUnsupportedType : -1);
  const int d = dimensions;
  double len2 = 0.0;
  for (int i = 0; i < d; ++i) len2 += (to[i] - from[i]) * (to[i] - from[i]);
  double len = std::sqrt(len2);
  double steps = std::ceil(len / step);
  if (!(steps <= static_cast<double>(LIST_MaxItems))) return kReport.Fail(kSiteLinear, tv::kErrRange, -1);
  if (ErrorCode err = OpenPoints(kSiteLinear, d, points)) return err;
  tv::ScratchArray<double> scratch;
  if (!EndsWith(*points, d, from, scratch))
    if (ErrorCode err = LIST_Insert(from, -1, *points)) return err;
  if (!scratch.Resize(static_cast<size_t>(d))) return kReport.OutOfMemory(kSiteLinear, BEZ_StrCurveName, scratch.failedBytes());
  for (double k = 1.0; k * step < len; k += 1.0) {
    double f = k * step / len;
    for (int i = 0; i < d; ++i) scratch[i] = from[i] + (to[i] - from[i]) * f;
    if (ErrorCode err = LIST_Insert(scratch.data(), -1, *points)) return err;
  }
  if (len > 0.0 || !EndsWith(*points, d, to, scratch))
    if (ErrorCode err = LIST_Insert(to, -1, *points)) return err;
  return 0;
}

namespace {

struct Sampler {
  BEZ_AdaptiveTest test;
  void* data;
  const BEZ_Curve* curve;
  LIST_Handle list;
  double* minX;
  double* maxX;
  tv::ScratchArray<double> mids;  // one midpoint per depth

  ErrorCode Append(const double* p) {
    if (minX && p[0] < *minX) *minX = p[0];
    if (maxX && p[0] > *maxX) *maxX = p[0];
    return LIST_Insert(p, -1, list);
  }

  // The caller's test decides on splitting; the depth limit keeps a test that
  // always answers "split" from recursing without end.
  ErrorCode Run(double t0, const double* p0, double t1, const double* p1, int32_t depth) {
    if (depth < BEZ_AdaptiveMaxDepth && test(data, t0, t1, p0, p1, depth)) {
      double tm = 0.5 * (t0 + t1);
      double* pm = &mids[static_cast<size_t>(depth) * curve->dimensions];
      EvalPoint(*curve, tm, pm);
      if (ErrorCode err = Run(t0, p0, tm, pm, depth + 1)) return err;
      return Run(tm, pm, t1, p1, depth + 1);
    }
    return Append(p1);
  }
};

}  // namespace

ErrorCode BEZ_EvaluateAdaptively(BEZ_AdaptiveTest test, void* data, const double* lowerBound,
                                 const BEZ_Curve* curve, double* minX, double* maxX, BEZ_List* points) {
  if (!test || !points) return kReport.BadParam(kSiteAdaptive);
  if (ErrorCode err = CheckCurve(kSiteAdaptive, curve, 1)) return err;
  const int d = curve->dimensions;
  if (ErrorCode err = OpenPoints(kSiteAdaptive, d, points)) return err;
  Sampler s{test, data, curve, *points, minX, maxX, {}};
  // Midpoints for every depth, then the two end points.
  size_t depthSlots = static_cast<size_t>(BEZ_AdaptiveMaxDepth);
  if (!s.mids.Resize((depthSlots + 2) * d))
    return kReport.OutOfMemory(kSiteAdaptive, BEZ_StrCurveName, s.mids.failedBytes());
  double* start = &s.mids[depthSlots * d];
  double* end = start + d;
  EvalPoint(*curve, 0.0, start);
  EvalPoint(*curve, 1.0, end);
  if (!lowerBound || start[0] > *lowerBound)
    if (ErrorCode err = s.Append(start)) return err;
  return s.Run(0.0, start, 1.0, end, 0);
}
