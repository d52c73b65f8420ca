// The polygon of a mask shape: Bezier sides cut into straight pieces, as
// many as keep every piece within kFlatness of its curve, and the outline
// moved by the expansion.
#include <algorithm>
#include <cmath>

#include "MSK_internal.h"

namespace tv::msk {
namespace {

constexpr double kUnit = 1.0 / 65536.0;
constexpr int32_t kMaxPieces = 4096;

bool Push(Polygon& p, double x, double y) { return p.xy.Push(x) && p.xy.Push(y); }

}  // namespace

ErrorCode FlattenShape(OM_Shape shape, Polygon& out) {
  out.xy.Resize(0);
  int32_t type = 0, count = 0;
  uint32_t flags = 0;
  if (ErrorCode err = OM_GetShapeInfo(shape, &type, &flags, &count)) return err;
  // Relative shapes hold fractions, not pixels: refused rather than drawn
  // at the wrong place.
  if ((type != OM_TypePath && type != OM_TypeRect && type != OM_TypeOval) || (flags & OM_FlagRelative) ||
      count % 3 != 0)
    return kReport.Fail(kSiteFlatten, kErrBadParam, kTextNotPath);
  if (type != OM_TypePath) {
    // A rectangle or an oval is drawn as the path it stands for.
    OM_Shape path = nullptr;
    ErrorCode err = OM_DupShape(shape, &path);
    if (!err) err = OM_SetShapeType(OM_TypePath, path);
    if (!err) err = FlattenShape(path, out);
    if (path) OM_DisposeShape(path);
    return err;
  }
  if (count == 0) return 0;
  ScratchArray<FixedPoint> pts(static_cast<size_t>(count));
  if (!pts.ok()) return kReport.OutOfMemory(kSiteFlatten, kTextPolygon, pts.failedBytes());
  if (ErrorCode err = OM_ShapeGetValues(shape, 0, count, pts.data())) return err;
  const size_t n = static_cast<size_t>(count), m = n / 3;
  auto X = [&](size_t i) { return pts[i % n].h * kUnit; };
  auto Y = [&](size_t i) { return pts[i % n].v * kUnit; };
  for (size_t k = 0; k < m; ++k) {
    const double x0 = X(3 * k), y0 = Y(3 * k), x1 = X(3 * k + 1), y1 = Y(3 * k + 1);
    const double x2 = X(3 * k + 2), y2 = Y(3 * k + 2), x3 = X(3 * k + 3), y3 = Y(3 * k + 3);
    if (!Push(out, x0, y0)) return kReport.OutOfMemory(kSiteFlatten, kTextPolygon, out.xy.failedBytes());
    // Pieces of equal parameter: n(n - 1) / 8 x the largest second
    // difference bounds the distance of a cubic from its chords (Wang).
    const double dd = std::max(std::hypot(x0 - 2 * x1 + x2, y0 - 2 * y1 + y2),
                               std::hypot(x1 - 2 * x2 + x3, y1 - 2 * y2 + y3));
    // A side whose handles sit on its ends is straight.
    const bool straight = std::hypot(x1 - x0, y1 - y0) < 1e-10 && std::hypot(x3 - x2, y3 - y2) < 1e-10;
    int32_t pieces = 1;
    if (!straight && dd > 1e-10) pieces = static_cast<int32_t>(std::min<double>(kMaxPieces, std::ceil(std::sqrt(0.75 * dd / kFlatness))));
    for (int32_t i = 1; i < pieces; ++i) {
      const double t = static_cast<double>(i) / pieces, u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      if (!Push(out, a * x0 + b * x1 + c * x2 + d * x3, a * y0 + b * y1 + c * y2 + d * y3))
        return kReport.OutOfMemory(kSiteFlatten, kTextPolygon, out.xy.failedBytes());
    }
  }
  return 0;
}

ErrorCode ExpandPolygon(Polygon& poly, double d) {
  const size_t n = poly.size();
  if (n < 3 || d == 0) return 0;
  double area = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t j = (i + 1) % n;
    area += poly.xy[2 * i] * poly.xy[2 * j + 1] - poly.xy[2 * j] * poly.xy[2 * i + 1];
  }
  if (area == 0) return 0;
  // Outward normals: with y down a positive area turns clockwise on screen,
  // and (dy, -dx) points out of each edge.
  const double side = area > 0 ? 1.0 : -1.0;
  ScratchArray<double> out(2 * n);
  if (!out.ok()) return kReport.OutOfMemory(kSiteFlatten, kTextPolygon, out.failedBytes());
  auto normal = [&](size_t a, size_t b, double* nx, double* ny) {
    const double dx = poly.xy[2 * b] - poly.xy[2 * a], dy = poly.xy[2 * b + 1] - poly.xy[2 * a + 1];
    const double len = std::hypot(dx, dy);
    if (len == 0) return false;
    *nx = side * dy / len;
    *ny = -side * dx / len;
    return true;
  };
  for (size_t i = 0; i < n; ++i) {
    // The edges into and out of the vertex, skipping repeated points.
    size_t p = (i + n - 1) % n, q = (i + 1) % n;
    double n1x = 0, n1y = 0, n2x = 0, n2y = 0;
    bool h1 = normal(p, i, &n1x, &n1y), h2 = normal(i, q, &n2x, &n2y);
    if (!h1 && h2) n1x = n2x, n1y = n2y;
    if (!h2 && h1) n2x = n1x, n2y = n1y;
    double mx = n1x + n2x, my = n1y + n2y;
    const double ml = std::hypot(mx, my);
    double scale = d;
    if (ml > 1e-12) {
      mx /= ml, my /= ml;
      // The mitre: d / cos(half the turn), limited to four times d.
      const double c = mx * n1x + my * n1y;
      scale = c > 0.25 ? d / c : d * 4;
    } else {
      mx = n1x, my = n1y;
    }
    out[2 * i] = poly.xy[2 * i] + mx * scale;
    out[2 * i + 1] = poly.xy[2 * i + 1] + my * scale;
  }
  poly.xy = std::move(out);
  return 0;
}

Box PolygonBox(const Polygon& poly) {
  if (poly.size() == 0) return Box{0, 0, 0, 0};
  double x0 = poly.xy[0], x1 = x0, y0 = poly.xy[1], y1 = y0;
  for (size_t i = 1; i < poly.size(); ++i) {
    x0 = std::min(x0, poly.xy[2 * i]);
    x1 = std::max(x1, poly.xy[2 * i]);
    y0 = std::min(y0, poly.xy[2 * i + 1]);
    y1 = std::max(y1, poly.xy[2 * i + 1]);
  }
  // Points are Fixed (or moved by at most a few thousand pixels): 64-bit
  // integers hold every box.
  return Box{static_cast<int64_t>(std::floor(x0)), static_cast<int64_t>(std::floor(y0)),
             static_cast<int64_t>(std::ceil(x1)) + 1, static_cast<int64_t>(std::ceil(y1)) + 1};
}

}  // namespace tv::msk
