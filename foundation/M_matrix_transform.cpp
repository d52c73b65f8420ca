// Transformation of points, vectors and rectangles by the floating and the
// fixed matrix forms, with the range rules of each data form.
#include <algorithm>
#include <cmath>

#include "M_fixed_internal.h"

namespace tv::m {
namespace {

// The affine part of a matrix in double precision.
struct Affine {
  double m0, m1, m3, m4, m6, m7;
  double X(double x, double y) const { return x * m0 + y * m3 + m6; }
  double Y(double x, double y) const { return x * m1 + y * m4 + m7; }
};

Affine FromFloat(const FloatMatrix* m) {
  return {m->m[0], m->m[1], m->m[3], m->m[4], m->m[6], m->m[7]};
}
// Every Fixed element divided by 65536.
Affine FromFix(const FixMatrix* m) {
  const int32_t* e = m->m;
  return {e[0] / 65536.0, e[1] / 65536.0, e[3] / 65536.0, e[4] / 65536.0, e[6] / 65536.0, e[7] / 65536.0};
}

bool ShortInRange(double v) { return v > -32768.0 && v < 32767.0; }
bool LongInRange(double v) { return v > -2147483648.0 && v < 2147483647.0; }

// Points: both coordinates are computed and checked before the point is
// written, so a failing point is left whole rather than half-transformed.
ErrorCode ShortPoints(const Affine& a, int32_t n, Point* points) {
  for (int32_t i = 0; i < n; ++i) {
    double x = a.X(points[i].h, points[i].v);
    double y = a.Y(points[i].h, points[i].v);
    if (!ShortInRange(x) || !ShortInRange(y))
      return ReportCode(kSitePoints, M_ErrOverflow, "in point transformation");
    points[i].h = static_cast<int16_t>(RoundHalfUp(x));
    points[i].v = static_cast<int16_t>(RoundHalfUp(y));
  }
  return 0;
}

// FixedPoints in units of 1/65536; `round` selects rounding (else truncation).
ErrorCode FixedPoints(const Affine& a, int32_t n, FixedPoint* points, bool round) {
  for (int32_t i = 0; i < n; ++i) {
    double x = a.X(points[i].h, points[i].v);
    double y = a.Y(points[i].h, points[i].v);
    if (!LongInRange(x) || !LongInRange(y))
      return ReportCode(kSiteFixedPoints, M_ErrOverflow, "in fixed point transformation");
    points[i].h = static_cast<Fixed>(round ? RoundHalfUp(x) : std::trunc(x));
    points[i].v = static_cast<Fixed>(round ? RoundHalfUp(y) : std::trunc(y));
  }
  return 0;
}

// The bounding box (left, top, right, bottom) of the four transformed corners
// of (l, t, r, b), corners in the order top-left, top-right, bottom-right,
// bottom-left.
struct Box {
  double left, top, right, bottom;
};
Box Corners(const Affine& a, double l, double t, double r, double b, double scale, FpLong* corners) {
  const double in[8] = {l, t, r, t, r, b, l, b};
  double out[8];
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = a.X(in[2 * i], in[2 * i + 1]);
    out[2 * i + 1] = a.Y(in[2 * i], in[2 * i + 1]);
  }
  if (corners)
    for (int i = 0; i < 8; ++i) corners[i] = out[i] / scale;
  Box box{out[0], out[1], out[0], out[1]};
  for (int i = 1; i < 4; ++i) {
    box.left = std::min(box.left, out[2 * i]);
    box.right = std::max(box.right, out[2 * i]);
    box.top = std::min(box.top, out[2 * i + 1]);
    box.bottom = std::max(box.bottom, out[2 * i + 1]);
  }
  return box;
}

bool BoxIsNumber(const Box& b) {
  return !std::isnan(b.left) && !std::isnan(b.top) && !std::isnan(b.right) && !std::isnan(b.bottom);
}

// Clamps an edge into [lo, hi] and rounds it (floor(x + 0.5)).
double ClampRound(double v, double lo, double hi) { return RoundHalfUp(std::clamp(v, lo, hi)); }

void SetNotRect(Boolean32* notRect, int32_t type) {
  if (notRect) *notRect = type == M_MatrixGeneral || type == M_MatrixProjective;
}

// A matrix holding a NaN gives a box that cannot be rounded: the rectangle is
// left untouched and the overflow is reported instead of storing garbage.
ErrorCode ReportRectNaN() { return ReportCode(kSiteRect, M_ErrOverflow, "in rectangle transformation"); }

template <class M>
int32_t TypeOf(const M* m) {
  int32_t type = 0;
  if constexpr (std::is_same_v<M, FloatMatrix>)
    M_GetMatrixType(m, &type);
  else
    M_GetFixMatrixType(m, &type);
  return type;
}

ErrorCode ShortRect(const Affine& a, Rect* rect, FpLong* corners) {
  Box b = Corners(a, rect->left, rect->top, rect->right, rect->bottom, 1.0, corners);
  if (!BoxIsNumber(b)) return ReportRectNaN();
  rect->left = static_cast<int16_t>(ClampRound(b.left, -32767.0, 32766.0));
  rect->top = static_cast<int16_t>(ClampRound(b.top, -32767.0, 32766.0));
  rect->right = static_cast<int16_t>(ClampRound(b.right, -32767.0, 32766.0));
  rect->bottom = static_cast<int16_t>(ClampRound(b.bottom, -32767.0, 32766.0));
  return 0;
}

// FixedRect in units of 1/65536 (a is already in those units); edges clamp to
// the Fixed range one unit inside each end, as the short form does.
ErrorCode FixedRectT(const Affine& a, FixedRect* rect, FpLong* corners) {
  Box b = Corners(a, rect->left, rect->top, rect->right, rect->bottom, 65536.0, corners);
  if (!BoxIsNumber(b)) return ReportRectNaN();
  constexpr double lo = -2147483647.0, hi = 2147483646.0;
  rect->left = static_cast<Fixed>(ClampRound(b.left, lo, hi));
  rect->top = static_cast<Fixed>(ClampRound(b.top, lo, hi));
  rect->right = static_cast<Fixed>(ClampRound(b.right, lo, hi));
  rect->bottom = static_cast<Fixed>(ClampRound(b.bottom, lo, hi));
  return 0;
}

// The floating matrix's affine part with its translation in 1/65536 units.
Affine FloatInFixedUnits(const FloatMatrix* m) {
  Affine a = FromFloat(m);
  a.m6 *= 65536.0;
  a.m7 *= 65536.0;
  return a;
}
// The fixed matrix's affine part with its translation as it is (1/65536 units).
Affine FixInFixedUnits(const FixMatrix* m) {
  Affine a = FromFix(m);
  a.m6 = m->m[6];
  a.m7 = m->m[7];
  return a;
}

}  // namespace
}  // namespace tv::m

using namespace tv::m;

ErrorCode M_TransformFloatPoints(const FloatMatrix* m, int32_t n, FloatPoint* points) {
  Affine a = FromFloat(m);
  for (int32_t i = 0; i < n; ++i) {
    double x = a.X(points[i].x, points[i].y);
    double y = a.Y(points[i].x, points[i].y);
    points[i].x = x;
    points[i].y = y;
  }
  return 0;
}

ErrorCode M_TransformPoints(const FloatMatrix* m, int32_t n, Point* points) {
  return ShortPoints(FromFloat(m), n, points);
}

ErrorCode M_FixTransformPoints(const FixMatrix* m, int32_t n, Point* points) {
  return ShortPoints(FromFix(m), n, points);
}

ErrorCode M_TransformFixPoints(const FloatMatrix* m, int32_t n, FixedPoint* points) {
  return FixedPoints(FloatInFixedUnits(m), n, points, true);
}

ErrorCode M_FixTransformFixPoints(const FixMatrix* m, int32_t n, FixedPoint* points) {
  return FixedPoints(FixInFixedUnits(m), n, points, false);
}

ErrorCode M_TransformVector3(const FloatMatrix* m, FpLong v[3]) {
  const double* e = m->m;
  double r[3];
  for (int j = 0; j < 3; ++j) r[j] = v[0] * e[j] + v[1] * e[3 + j] + v[2] * e[6 + j];
  for (int j = 0; j < 3; ++j) v[j] = r[j];
  return 0;
}

ErrorCode M_FixTransformFixVector3(const FixMatrix* m, int32_t v[3]) {
  // In real units: matrix and vector decoded (Fixed, Fixed, Fract), product,
  // then encoded back in the same column encodings.
  auto scale = [](int j) { return j == 2 ? 1073741824.0 : 65536.0; };
  double real[9];
  for (int i = 0; i < 9; ++i) real[i] = m->m[i] / scale(i % 3);
  double in[3];
  for (int j = 0; j < 3; ++j) in[j] = v[j] / scale(j);
  int32_t out[3];
  for (int j = 0; j < 3; ++j) {
    double r = (in[0] * real[j] + in[1] * real[3 + j] + in[2] * real[6 + j]) * scale(j);
    if (!LongInRange(r)) return ReportCode(kSiteFixedVector, M_ErrOverflow, "in fixed vector transformation");
    out[j] = static_cast<int32_t>(std::trunc(r));
  }
  for (int j = 0; j < 3; ++j) v[j] = out[j];
  return 0;
}

ErrorCode M_TransformRect(const FloatMatrix* m, Rect* rect, FpLong* corners, Boolean32* notRect) {
  ErrorCode err = ShortRect(FromFloat(m), rect, corners);
  SetNotRect(notRect, TypeOf(m));
  return err;
}

ErrorCode M_FixTransformRect(const FixMatrix* m, Rect* rect, FpLong* corners, Boolean32* notRect) {
  ErrorCode err = ShortRect(FromFix(m), rect, corners);
  SetNotRect(notRect, TypeOf(m));
  return err;
}

ErrorCode M_TransformFloatRect(const FloatMatrix* m, FloatRect* rect, FpLong* corners, Boolean32* notRect) {
  // Doubles need no clamping and no rounding.
  Box b = Corners(FromFloat(m), rect->left, rect->top, rect->right, rect->bottom, 1.0, corners);
  *rect = FloatRect{b.left, b.top, b.right, b.bottom};
  SetNotRect(notRect, TypeOf(m));
  return 0;
}

ErrorCode M_TransformFixRect(const FloatMatrix* m, FixedRect* rect, FpLong* corners, Boolean32* notRect) {
  ErrorCode err = FixedRectT(FloatInFixedUnits(m), rect, corners);
  SetNotRect(notRect, TypeOf(m));
  return err;
}

ErrorCode M_FixTransformFixRect(const FixMatrix* m, FixedRect* rect, FpLong* corners, Boolean32* notRect) {
  ErrorCode err = FixedRectT(FixInFixedUnits(m), rect, corners);
  SetNotRect(notRect, TypeOf(m));
  return err;
}
