// Shapes: making, copying and disposing them, their type and bounds, and
// the conversion between absolute and relative form.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "M.h"
#include "OM_internal.h"

namespace tv::om {

int32_t RoundFixed(double v) {
  if (!(v == v)) return 0;
  const double r = std::floor(v + 0.5);
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(r);
}

ErrorCode LoadPoints(OM_Shape s, ScratchArray<FixedPoint>& out, uint32_t site) {
  out.Resize(0);
  LIST_Handle list = Rec(s).points;
  if (Rec(s).type != OM_TypePath || !list) return 0;
  int32_t n = 0;
  if (ErrorCode err = LIST_GetNumItems(list, &n)) return err;
  if (!out.Resize(static_cast<size_t>(n))) return kReport.OutOfMemory(site, kTextShape, out.failedBytes());
  if (n == 0) return 0;
  if (ErrorCode err = LIST_Lock(LIST_LockInPlace, list)) return err;
  void* at = nullptr;
  ErrorCode err = LIST_GetAddress(list, 0, 0, &at);
  if (!err) std::memcpy(out.data(), at, sizeof(FixedPoint) * static_cast<size_t>(n));
  LIST_Unlock(list);
  return err;
}

ErrorCode NewPointList(std::span<const FixedPoint> points, LIST_Handle* list, uint32_t site) {
  *list = nullptr;
  if (points.size() > static_cast<size_t>(OM_MaxPoints)) return kReport.Fail(site, OM_ErrPointCount, kTextPointCount, {kReport.Text(kTextAddingPoints)});
  LIST_Handle l = nullptr;
  if (ErrorCode err = LIST_New(0, sizeof(FixedPoint), 4, 0, &l)) return err;
  const int32_t n = static_cast<int32_t>(points.size());
  if (n > 0) {
    if (ErrorCode err = LIST_SetNumItems(n, l, 0)) {
      LIST_Dispose(l, 0);
      return err;
    }
    void* at = nullptr;
    ErrorCode err = LIST_Lock(LIST_LockInPlace, l);
    if (!err) {
      err = LIST_GetAddress(l, 0, 0, &at);
      if (!err) std::memcpy(at, points.data(), sizeof(FixedPoint) * points.size());
      LIST_Unlock(l);
    }
    if (err) {
      LIST_Dispose(l, 0);
      return err;
    }
  }
  *list = l;
  return 0;
}

ErrorCode ReplacePoints(OM_Shape s, std::span<const FixedPoint> points, uint32_t site) {
  LIST_Handle l = nullptr;
  if (ErrorCode err = NewPointList(points, &l, site)) return err;
  LIST_Handle old = Rec(s).points;
  Rec(s).points = l;
  if (old) LIST_Dispose(old, 0);
  return 0;
}

ErrorCode MakeShape(uint8_t type, uint8_t flags, const FixedRect& bounds, LIST_Handle points, OM_Shape* out,
                    uint32_t site) {
  *out = nullptr;
  Handle h = NewHandleClear(sizeof(ShapeRec));
  if (!h) {
    if (points) LIST_Dispose(points, 0);
    return kReport.OutOfMemory(site, kTextShape, sizeof(ShapeRec));
  }
  OM_Shape s = reinterpret_cast<OM_Shape>(h);
  Rec(s) = ShapeRec{OM_Magic, type, flags, bounds, points};
  CountShape(1);
  *out = s;
  return 0;
}

void RectPath(double l, double t, double r, double b, double* xy) {
  const double mx = (l + r) / 2, my = (t + b) / 2;
  const double v[8][2] = {{mx, t}, {l, t}, {l, my}, {l, b}, {mx, b}, {r, b}, {r, my}, {r, t}};
  for (int k = 0; k < 8; ++k)
    for (int j = 0; j < 3; ++j) {
      // A straight side: both handles sit on their vertices.
      const int src = j == 2 ? (k + 1) % 8 : k;
      xy[2 * (3 * k + j)] = v[src][0];
      xy[2 * (3 * k + j) + 1] = v[src][1];
    }
}

void OvalPath(double l, double t, double r, double b, double* xy) {
  const double mx = (l + r) / 2, my = (t + b) / 2;
  const double kx = kOvalKappa * (r - l) / 2, ky = kOvalKappa * (b - t) / 2;
  // Vertices top, left, bottom, right; each with its tangent direction of travel.
  const double v[4][2] = {{mx, t}, {l, my}, {mx, b}, {r, my}};
  const double d[4][2] = {{-kx, 0}, {0, ky}, {kx, 0}, {0, -ky}};
  for (int k = 0; k < 4; ++k) {
    const int n = (k + 1) % 4;
    xy[2 * (3 * k)] = v[k][0];
    xy[2 * (3 * k) + 1] = v[k][1];
    xy[2 * (3 * k + 1)] = v[k][0] + d[k][0];
    xy[2 * (3 * k + 1) + 1] = v[k][1] + d[k][1];
    xy[2 * (3 * k + 2)] = v[n][0] - d[n][0];
    xy[2 * (3 * k + 2) + 1] = v[n][1] - d[n][1];
  }
}

ErrorCode ShapeToPathD(OM_Shape s, PathD& out, uint32_t site) {
  const ShapeRec r = Rec(s);
  const double l = r.bounds.left, t = r.bounds.top, rt = r.bounds.right, b = r.bounds.bottom;
  if (r.type != OM_TypePath) {
    const size_t n = r.type == OM_TypeRect ? 24 : 12;
    if (!out.xy.Resize(2 * n)) return kReport.OutOfMemory(site, kTextSamplePoints, out.xy.failedBytes());
    if (r.type == OM_TypeRect)
      RectPath(l, t, rt, b, out.xy.data());
    else
      OvalPath(l, t, rt, b, out.xy.data());
    return 0;
  }
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(s, pts, site)) return err;
  if (!out.xy.Resize(2 * pts.size())) return kReport.OutOfMemory(site, kTextSamplePoints, out.xy.failedBytes());
  const bool rel = r.flags & OM_FlagRelative;
  for (size_t i = 0; i < pts.size(); ++i) {
    // Relative points are fractions (Fix24) of the bounds; the bounds are
    // then taken as they are, in Fix24 units of the reference.
    out.xy[2 * i] = rel ? l + pts[i].h / 16777216.0 * (rt - l) : pts[i].h;
    out.xy[2 * i + 1] = rel ? t + pts[i].v / 16777216.0 * (b - t) : pts[i].v;
  }
  return 0;
}

namespace {

FixedRect Normalised(const FixedRect& r) {
  return FixedRect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                   std::max(r.top, r.bottom)};
}

bool ValidType(int32_t type) { return type >= OM_TypeRect && type <= OM_TypeOval; }

// The points of a rectangle or oval path of bounds in the shape's form.
ErrorCode ConvertedPoints(const ShapeRec& r, int32_t type, ScratchArray<FixedPoint>& pts) {
  const size_t n = r.type == OM_TypeRect ? 24 : 12;
  ScratchArray<double> xy(2 * n);
  if (!xy.ok() || !pts.Resize(n)) return kReport.OutOfMemory(kSiteType, kTextShape, 16 * n);
  (void)type;
  // In relative form the points are fractions of the bounds: the unit square
  // in Fix24.
  const bool rel = r.flags & OM_FlagRelative;
  const double l = rel ? 0 : r.bounds.left, t = rel ? 0 : r.bounds.top;
  const double rt = rel ? 16777216.0 : r.bounds.right, b = rel ? 16777216.0 : r.bounds.bottom;
  if (r.type == OM_TypeRect)
    RectPath(l, t, rt, b, xy.data());
  else
    OvalPath(l, t, rt, b, xy.data());
  for (size_t i = 0; i < n; ++i) pts[i] = FixedPoint{RoundFixed(xy[2 * i]), RoundFixed(xy[2 * i + 1])};
  return 0;
}

// Overflow checks of the conversions: M reports 0x1102 and answers 0x80000000.
constexpr int32_t kBad = INT32_MIN;

}  // namespace
}  // namespace tv::om

using namespace tv;
using namespace tv::om;

ErrorCode OM_NewShape(int32_t type, const FixedRect* bounds, OM_Shape* shape) {
  if (!shape) return BadArg(kSiteNew, "OM_NewShape");
  *shape = nullptr;
  if (!ValidType(type)) return kReport.Fail(kSiteNew, kErrBadParam, kTextCreating);
  const FixedRect b = bounds ? Normalised(*bounds) : FixedRect{0, 0, 0x10000, 0x10000};
  LIST_Handle points = nullptr;
  if (type == OM_TypePath)
    if (ErrorCode err = NewPointList({}, &points, kSiteNew)) return err;
  return MakeShape(static_cast<uint8_t>(type), 0, b, points, shape, kSiteNew);
}

ErrorCode OM_DisposeShape(OM_Shape shape) {
  if (ErrorCode err = Check(shape, kSiteDispose, kTextDispose)) return err;
  LIST_Handle points = Rec(shape).points;
  Rec(shape).magic = kDeadMagic;
  Rec(shape).points = nullptr;
  if (points) LIST_Dispose(points, 0);
  DisposeHandle(reinterpret_cast<Handle>(shape));
  CountShape(-1);
  return 0;
}

ErrorCode OM_DupShape(OM_Shape shape, OM_Shape* copy) {
  if (!copy) return BadArg(kSiteDup, "OM_DupShape");
  *copy = nullptr;
  if (ErrorCode err = Check(shape, kSiteDup, kTextDuplicate)) return err;
  const ShapeRec r = Rec(shape);
  LIST_Handle points = nullptr;
  if (r.points)
    if (ErrorCode err = LIST_Duplicate(r.points, 0, &points)) return err;
  return MakeShape(r.type, r.flags, r.bounds, points, copy, kSiteDup);
}

ErrorCode OM_SetShapeType(int32_t type, OM_Shape shape) {
  if (ErrorCode err = Check(shape, kSiteType, kTextConvertType)) return err;
  if (!ValidType(type)) return kReport.Fail(kSiteType, kErrBadParam, kTextInvalidType);
  ShapeRec& r = Rec(shape);
  if (r.type == type) return 0;
  if (type == OM_TypePath) {
    ScratchArray<FixedPoint> pts;
    if (ErrorCode err = ConvertedPoints(r, type, pts)) return err;
    if (ErrorCode err = ReplacePoints(shape, {pts.data(), pts.size()}, kSiteType)) return err;
    Rec(shape).type = OM_TypePath;
    return 0;
  }
  LIST_Handle old = r.points;
  r.points = nullptr;
  r.type = static_cast<uint8_t>(type);
  if (old) LIST_Dispose(old, 0);
  return 0;
}

ErrorCode OM_GetShapeInfo(OM_Shape shape, int32_t* type, uint32_t* flags, int32_t* pointCount) {
  if (type) *type = 0;
  if (flags) *flags = 0;
  if (pointCount) *pointCount = 0;
  if (ErrorCode err = Check(shape, kSiteBounds, kTextInquire)) return err;
  const ShapeRec r = Rec(shape);
  int32_t n = 0;
  if (r.type == OM_TypePath && r.points)
    if (ErrorCode err = LIST_GetNumItems(r.points, &n)) return err;
  if (type) *type = r.type;
  if (flags) *flags = r.flags;
  if (pointCount) *pointCount = n;
  return 0;
}

ErrorCode OM_GetShapeBounds(OM_Shape shape, FixedRect* bounds) {
  if (!bounds) return BadArg(kSiteBounds, "OM_GetShapeBounds");
  *bounds = FixedRect{};
  if (ErrorCode err = Check(shape, kSiteBounds, kTextInquire)) return err;
  *bounds = Rec(shape).bounds;
  return 0;
}

ErrorCode OM_SetShapeBounds(OM_Shape shape, const FixedRect* bounds) {
  if (!bounds) return BadArg(kSiteBounds, "OM_SetShapeBounds");
  if (ErrorCode err = Check(shape, kSiteBounds, kTextAlter)) return err;
  Rec(shape).bounds = Normalised(*bounds);
  return 0;
}

ErrorCode OM_RecalcBounds(OM_Shape shape) {
  if (ErrorCode err = Check(shape, kSiteBounds, kTextAlter)) return err;
  if (Rec(shape).type != OM_TypePath || (Rec(shape).flags & OM_FlagRelative)) return 0;
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(shape, pts, kSiteBounds)) return err;
  if (pts.size() < 2) return 0;
  FixedRect b{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const FixedPoint& p : pts) {
    b.left = std::min(b.left, p.h);
    b.right = std::max(b.right, p.h);
    b.top = std::min(b.top, p.v);
    b.bottom = std::max(b.bottom, p.v);
  }
  Rec(shape).bounds = b;
  return 0;
}

ErrorCode OM_OffsetShape(Fixed dh, Fixed dv, OM_Shape shape) {
  if (ErrorCode err = Check(shape, kSiteOffset, kTextAlter)) return err;
  if (Rec(shape).flags & OM_FlagRelative)
    return kReport.Fail(kSiteOffset, OM_ErrRelative, kTextCannotRelative, {kReport.Text(kTextOffset)});
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(shape, pts, kSiteOffset)) return err;
  FixedRect b = Rec(shape).bounds;
  // Coordinates that would leave 32 bits are refused rather than wrapped.
  auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
  const int64_t e[4] = {int64_t{b.left} + dh, int64_t{b.top} + dv, int64_t{b.right} + dh, int64_t{b.bottom} + dv};
  bool ok = fits(e[0]) && fits(e[1]) && fits(e[2]) && fits(e[3]);
  for (FixedPoint& p : pts) {
    const int64_t h = int64_t{p.h} + dh, v = int64_t{p.v} + dv;
    ok = ok && fits(h) && fits(v);
    p = FixedPoint{static_cast<int32_t>(h), static_cast<int32_t>(v)};
  }
  if (!ok) return kReport.Fail(kSiteOffset, M_ErrOverflow, kTextSetting);
  if (Rec(shape).type == OM_TypePath)
    if (ErrorCode err = ReplacePoints(shape, {pts.data(), pts.size()}, kSiteOffset)) return err;
  Rec(shape).bounds = FixedRect{static_cast<Fixed>(e[0]), static_cast<Fixed>(e[1]), static_cast<Fixed>(e[2]),
                                static_cast<Fixed>(e[3])};
  return 0;
}

// Every result is checked: a conversion that overflows (M reports 0x1102 and
// answers 0x80000000) leaves the shape as it was instead of storing the
// error value as a coordinate.
ErrorCode OM_AbsToRel(const FixedRect* reference, OM_Shape shape) {
  if (!reference) return BadArg(kSiteRelative, "OM_AbsToRel");
  if (ErrorCode err = Check(shape, kSiteRelative, kTextMakeRelative)) return err;
  if (Rec(shape).flags & OM_FlagRelative)
    return kReport.Fail(kSiteRelative, OM_ErrRelative, kTextCannotRelative, {kReport.Text(kTextMakeRelative)});
  const FixedRect b = Rec(shape).bounds;
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(shape, pts, kSiteRelative)) return err;
  const int64_t w = int64_t{b.right} - b.left, h = int64_t{b.bottom} - b.top;
  auto ratio = [](int64_t num, int64_t den, bool* ok) -> Fix24 {
    if (den == 0) return 0;
    if (num < INT32_MIN || num > INT32_MAX || den > INT32_MAX) {
      *ok = false;
      return 0;
    }
    const Fix24 r = M_Fix24Ratio(static_cast<int32_t>(num), static_cast<int32_t>(den));
    if (r == kBad) *ok = false;
    return r;
  };
  bool ok = true;
  for (FixedPoint& p : pts) p = FixedPoint{ratio(int64_t{p.h} - b.left, w, &ok), ratio(int64_t{p.v} - b.top, h, &ok)};
  const int64_t W = int64_t{reference->right} - reference->left, H = int64_t{reference->bottom} - reference->top;
  const FixedRect nb{ratio(int64_t{b.left} - reference->left, W, &ok), ratio(int64_t{b.top} - reference->top, H, &ok),
                     ratio(int64_t{b.right} - reference->left, W, &ok),
                     ratio(int64_t{b.bottom} - reference->top, H, &ok)};
  if (!ok) return kReport.Fail(kSiteRelative, M_ErrOverflow, kTextCannotAbsolute, {kReport.Text(kTextMakeRelative)});
  if (Rec(shape).type == OM_TypePath)
    if (ErrorCode err = ReplacePoints(shape, {pts.data(), pts.size()}, kSiteRelative)) return err;
  Rec(shape).bounds = nb;
  Rec(shape).flags |= OM_FlagRelative;
  return 0;
}

ErrorCode OM_RelToAbs(const FixedRect* reference, OM_Shape shape) {
  if (!reference) return BadArg(kSiteAbsolute, "OM_RelToAbs");
  if (ErrorCode err = Check(shape, kSiteAbsolute, kTextMakeAbsolute)) return err;
  if (!(Rec(shape).flags & OM_FlagRelative))
    return kReport.Fail(kSiteAbsolute, OM_ErrAbsolute, kTextCannotAbsolute, {kReport.Text(kTextMakeAbsolute)});
  const FixedRect b = Rec(shape).bounds;
  bool ok = true;
  auto add = [&ok](int64_t base, Fix24 frac, int64_t size) -> Fixed {
    if (size < INT32_MIN || size > INT32_MAX) {
      ok = false;
      return 0;
    }
    Fixed m = 0;
    if (frac != 0 && size != 0) {
      m = M_Fix24Mul(frac, static_cast<int32_t>(size));
      if (m == kBad) ok = false;
    }
    const int64_t v = base + m;
    if (v < INT32_MIN || v > INT32_MAX) ok = false;
    return ok ? static_cast<Fixed>(v) : 0;
  };
  const int64_t W = int64_t{reference->right} - reference->left, H = int64_t{reference->bottom} - reference->top;
  const FixedRect nb{add(reference->left, b.left, W), add(reference->top, b.top, H), add(reference->left, b.right, W),
                     add(reference->top, b.bottom, H)};
  ScratchArray<FixedPoint> pts;
  if (ErrorCode err = LoadPoints(shape, pts, kSiteAbsolute)) return err;
  const int64_t w = int64_t{nb.right} - nb.left, h = int64_t{nb.bottom} - nb.top;
  for (FixedPoint& p : pts) p = FixedPoint{add(nb.left, p.h, w), add(nb.top, p.v, h)};
  if (!ok) return kReport.Fail(kSiteAbsolute, M_ErrOverflow, kTextCannotRelative, {kReport.Text(kTextMakeAbsolute)});
  if (Rec(shape).type == OM_TypePath)
    if (ErrorCode err = ReplacePoints(shape, {pts.data(), pts.size()}, kSiteAbsolute)) return err;
  Rec(shape).bounds = nb;
  Rec(shape).flags &= static_cast<uint8_t>(~OM_FlagRelative);
  return OM_RecalcBounds(shape);
}

ErrorCode OM_ShapeCompare(OM_Shape a, OM_Shape b, Boolean32* equal) {
  if (!equal) return BadArg(kSiteCompare, "OM_ShapeCompare");
  *equal = 0;
  if (ErrorCode err = Check(a, kSiteCompare, kTextInquire)) return err;
  if (ErrorCode err = Check(b, kSiteCompare, kTextInquire)) return err;
  const ShapeRec ra = Rec(a), rb = Rec(b);
  if (ra.type != rb.type || ra.flags != rb.flags || std::memcmp(&ra.bounds, &rb.bounds, sizeof(FixedRect)) != 0)
    return 0;
  ScratchArray<FixedPoint> pa, pb;
  if (ErrorCode err = LoadPoints(a, pa, kSiteCompare)) return err;
  if (ErrorCode err = LoadPoints(b, pb, kSiteCompare)) return err;
  if (pa.size() != pb.size()) return 0;
  *equal = pa.size() == 0 || std::memcmp(pa.data(), pb.data(), pa.size() * sizeof(FixedPoint)) == 0;
  return 0;
}
