// Paths: point positions and vertices, editing vertices and handles, and the
// orientation of a path (first vertex and direction).
#include <algorithm>
#include <cstring>

#include "BEZ.h"
#include "OM_internal.h"

using namespace tv;
using namespace tv::om;

namespace {

// Checks the shape, requires a path and loads its points.
ErrorCode Path(OM_Shape s, int32_t verb, ScratchArray<FixedPoint>& pts) {
  if (ErrorCode err = Check(s, kSitePath, verb)) return err;
  if (Rec(s).type != OM_TypePath) return kReport.Fail(kSitePath, OM_ErrBadType, kTextInvalidType);
  return LoadPoints(s, pts, kSitePath);
}

ErrorCode Beyond() { return kReport.Fail(kSitePath, OM_ErrVertex, kTextVertex, {kReport.Text(kTextBeyond)}); }
ErrorCode NotVertex() { return kReport.Fail(kSitePath, OM_ErrVertex, kTextVertex, {kReport.Text(kTextNotCtpt)}); }

// A vertex position of a path of n points.
ErrorCode CheckVertex(int32_t index, size_t n) {
  if (index < 0 || static_cast<size_t>(index) >= n) return Beyond();
  if (index % 3 != 0) return NotVertex();
  return 0;
}

size_t Wrap(int64_t i, size_t n) { return static_cast<size_t>(((i % int64_t(n)) + int64_t(n)) % int64_t(n)); }

ErrorCode Store(OM_Shape s, const ScratchArray<FixedPoint>& pts) {
  return ReplacePoints(s, {pts.data(), pts.size()}, kSiteEdit);
}

FixedPoint Add(FixedPoint p, Fixed dh, Fixed dv) {
  // Coordinates saturate rather than wrap.
  auto sat = [](int64_t v) { return static_cast<Fixed>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return FixedPoint{sat(int64_t{p.h} + dh), sat(int64_t{p.v} + dv)};
}

ErrorCode Rotate(OM_Shape s, ScratchArray<FixedPoint>& pts, size_t first) {
  if (first == 0) return 0;
  std::rotate(pts.begin(), pts.begin() + first, pts.end());
  return Store(s, pts);
}

}  // namespace

ErrorCode OM_ShapeIndexToCtpt(OM_Shape shape, int32_t index, int32_t* handleIndex) {
  if (!handleIndex) return BadArg(kSitePath, "OM_ShapeIndexToCtpt");
  *handleIndex = INT32_MIN;
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextInquire, pts)) return err;
  // An empty path or a position outside it has no handle (the position is
  // refused rather than wrapped past the end).
  if (index < 0 || static_cast<size_t>(index) >= pts.size()) return Beyond();
  *handleIndex = index % 3 != 0 ? index : static_cast<int32_t>(Wrap(int64_t{index} + 1, pts.size()));
  return 0;
}

ErrorCode OM_ShapeGetBezPoints(OM_Shape shape, int32_t vertexIndex, FixedPoint* vertex, FixedPoint* inHandle,
                               FixedPoint* outHandle) {
  for (FixedPoint* p : {vertex, inHandle, outHandle})
    if (p) *p = FixedPoint{};
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextInquire, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t i = static_cast<size_t>(vertexIndex);
  if (vertex) *vertex = pts[i];
  if (outHandle) *outHandle = pts[i + 1];
  if (inHandle) *inHandle = pts[Wrap(int64_t(i) - 1, pts.size())];
  return 0;
}

ErrorCode OM_ShapeGetPointInfo(OM_Shape shape, int32_t index, FixedPoint* point, Boolean32* isVertex) {
  if (point) *point = FixedPoint{};
  if (isVertex) *isVertex = 0;
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextInquire, pts)) return err;
  if (index < 0 || static_cast<size_t>(index) >= pts.size()) return Beyond();
  if (point) *point = pts[static_cast<size_t>(index)];
  if (isVertex) *isVertex = index % 3 == 0;
  return 0;
}

ErrorCode OM_ShapeGetValues(OM_Shape shape, int32_t first, int32_t count, FixedPoint* points) {
  if (!points || count < 0) return BadArg(kSitePath, "OM_ShapeGetValues");
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextInquire, pts)) return err;
  if (first < 0 || int64_t{first} + count > static_cast<int64_t>(pts.size())) return Beyond();
  std::memcpy(points, pts.data() + first, sizeof(FixedPoint) * static_cast<size_t>(count));
  return 0;
}

ErrorCode OM_ShapeAddBezVertex(OM_Shape shape, int32_t vertexIndex, const FixedPoint* vertex,
                               const FixedPoint* inHandle, const FixedPoint* outHandle) {
  if (!vertex) return BadArg(kSiteEdit, "OM_ShapeAddBezVertex");
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  const size_t n = pts.size();
  if (vertexIndex == -1) vertexIndex = static_cast<int32_t>(n);
  if (static_cast<size_t>(vertexIndex) != n)
    if (ErrorCode err = CheckVertex(vertexIndex, n)) return err;
  const FixedPoint v = *vertex, out = outHandle ? *outHandle : v, in = inHandle ? *inHandle : v;
  ScratchArray<FixedPoint> next(n + 3);
  if (!next.ok()) return kReport.OutOfMemory(kSiteEdit, kTextShape, next.failedBytes());
  const size_t at = static_cast<size_t>(vertexIndex);
  std::copy(pts.begin(), pts.begin() + at, next.begin());
  std::copy(pts.begin() + at, pts.end(), next.begin() + at + 3);
  if (n == 0) {
    next[0] = v;
    next[1] = out;
    next[2] = in;
  } else {
    // The slot before the insertion held the incoming handle of the vertex
    // that now follows the new one: it moves into the new triple, and the
    // slot takes the new vertex's own incoming handle.
    const size_t prev = Wrap(int64_t(at) - 1, n);
    const size_t prevNow = prev < at ? prev : prev + 3;
    next[at] = v;
    next[at + 1] = out;
    next[at + 2] = pts[prev];
    next[prevNow] = in;
  }
  return Store(shape, next);
}

ErrorCode OM_ShapeRemoveBezVertex(OM_Shape shape, int32_t vertexIndex) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t n = pts.size(), at = static_cast<size_t>(vertexIndex);
  // The vertex before keeps the next vertex's incoming handle.
  pts[Wrap(int64_t(at) - 1, n)] = pts[at + 2];
  ScratchArray<FixedPoint> next(n - 3);
  if (!next.ok()) return kReport.OutOfMemory(kSiteEdit, kTextShape, next.failedBytes());
  std::copy(pts.begin(), pts.begin() + at, next.begin());
  std::copy(pts.begin() + at + 3, pts.end(), next.begin() + at);
  return Store(shape, next);
}

ErrorCode OM_ShapeMoveBezVertex(OM_Shape shape, int32_t vertexIndex, Fixed dh, Fixed dv) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t at = static_cast<size_t>(vertexIndex), in = Wrap(int64_t(at) - 1, pts.size());
  pts[at] = Add(pts[at], dh, dv);
  pts[at + 1] = Add(pts[at + 1], dh, dv);
  if (in != at + 1) pts[in] = Add(pts[in], dh, dv);
  return Store(shape, pts);
}

ErrorCode OM_ShapeMoveBezTangents(OM_Shape shape, int32_t vertexIndex, const FixedPoint* inHandle,
                                  const FixedPoint* outHandle) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t at = static_cast<size_t>(vertexIndex);
  if (outHandle) pts[at + 1] = *outHandle;
  if (inHandle) pts[Wrap(int64_t(at) - 1, pts.size())] = *inHandle;
  return Store(shape, pts);
}

ErrorCode OM_ShapeSetDefaultBezTangents(OM_Shape shape, int32_t vertexIndex) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t n = pts.size(), at = static_cast<size_t>(vertexIndex);
  const FixedPoint v = pts[at], prev = pts[Wrap(int64_t(at) - 3, n)], next = pts[Wrap(int64_t(at) + 3, n)];
  const double dx = (double(next.h) - prev.h) / 6.0, dy = (double(next.v) - prev.v) / 6.0;
  pts[at + 1] = FixedPoint{RoundFixed(v.h + dx), RoundFixed(v.v + dy)};
  pts[Wrap(int64_t(at) - 1, n)] = FixedPoint{RoundFixed(v.h - dx), RoundFixed(v.v - dy)};
  return Store(shape, pts);
}

ErrorCode OM_ShapeDirectManipSegment(OM_Shape shape, int32_t vertexIndex, double u, Fixed dh, Fixed dv) {
  if (!(u >= 0.0 && u <= 1.0)) return BadArg(kSiteEdit, "OM_ShapeDirectManipSegment");
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  const size_t n = pts.size(), at = static_cast<size_t>(vertexIndex);
  const size_t idx[4] = {at, at + 1, at + 2, Wrap(int64_t(at) + 3, n)};
  double c[4][2];
  for (int k = 0; k < 4; ++k) c[k][0] = pts[idx[k]].h, c[k][1] = pts[idx[k]].v;
  BEZ_Curve curve{2, {c[0], c[1], c[2], c[3]}};
  BEZ_DirectManip setup{};
  if (ErrorCode err = BEZ_DirectManipSetup(u, &setup)) return err;
  const double delta[2] = {double(dh), double(dv)};
  if (ErrorCode err = BEZ_DirectManipCurve(&curve, delta, &setup)) return err;
  pts[at + 1] = FixedPoint{RoundFixed(c[1][0]), RoundFixed(c[1][1])};
  pts[at + 2] = FixedPoint{RoundFixed(c[2][0]), RoundFixed(c[2][1])};
  return Store(shape, pts);
}

ErrorCode OM_ShapeIntersect(OM_Shape a, OM_Shape b, Boolean32* hit) {
  if (hit) *hit = 0;
  (void)a;
  (void)b;
  return kReport.Fail(kSitePath, kErrUnimplemented, kTextNotAvailable, {"OM_ShapeIntersect"});
}

ErrorCode OM_OrientPolyVertex(OM_Shape shape, int32_t vertexIndex) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  if (ErrorCode err = CheckVertex(vertexIndex, pts.size())) return err;
  return Rotate(shape, pts, static_cast<size_t>(vertexIndex));
}

ErrorCode OM_OrientPolyTop(OM_Shape shape) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  size_t best = 0;
  for (size_t i = 3; i < pts.size(); i += 3)
    if (pts[i].v < pts[best].v || (pts[i].v == pts[best].v && pts[i].h < pts[best].h)) best = i;
  return Rotate(shape, pts, best);
}

ErrorCode OM_SetPolyDir(OM_Shape shape, Boolean32 clockwise) {
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = Path(shape, kTextAlter, pts)) return err;
  const size_t n = pts.size();
  if (n < 6) return 0;
  // Twice the signed area of the control polygon; with v pointing down a
  // positive sum turns clockwise on screen.
  double area = 0;
  for (size_t i = 0; i < n; ++i) {
    const FixedPoint p = pts[i], q = pts[(i + 1) % n];
    area += double(p.h) * q.v - double(q.h) * p.v;
  }
  if ((area > 0) == (clockwise != 0) || area == 0) return 0;
  // Reversed: vertex 0 first, then the others backwards; the side from new
  // vertex j to j + 1 is the old side between them run the other way.
  const size_t m = n / 3;
  ScratchArray<FixedPoint> next(n);
  if (!next.ok()) return kReport.OutOfMemory(kSiteEdit, kTextShape, next.failedBytes());
  auto K = [m](size_t j) { return (m - j % m) % m; };
  for (size_t j = 0; j < m; ++j) {
    const size_t k = K(j), k1 = K(j + 1);
    next[3 * j] = pts[3 * k];
    next[3 * j + 1] = pts[Wrap(int64_t(3 * k) - 1, n)];
    next[3 * j + 2] = pts[3 * k1 + 1];
  }
  return Store(shape, next);
}
