// Shape streams: the shape value kind of the keyframe streams (copy,
// dispose, compare, print, byte form and the morph between two keys) and the
// stream operations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "OM_internal.h"

namespace tv::om {
namespace {

OM_Shape Load(const void* value) {
  OM_Shape s = nullptr;
  std::memcpy(&s, value, sizeof s);
  return s;
}
void StoreValue(void* value, OM_Shape s) { std::memcpy(value, &s, sizeof s); }

ErrorCode CopyValue(intptr_t, const void* source, void* destination) {
  StoreValue(destination, nullptr);
  OM_Shape s = Load(source);
  if (!s) return 0;
  OM_Shape copy = nullptr;
  if (ErrorCode err = OM_DupShape(s, &copy)) return err;
  StoreValue(destination, copy);
  return 0;
}

ErrorCode DisposeValue(intptr_t, void* value) {
  OM_Shape s = Load(value);
  StoreValue(value, nullptr);
  return s ? OM_DisposeShape(s) : 0;
}

ErrorCode CompareValues(intptr_t, const void* a, const void* b, Boolean32* equal) {
  OM_Shape sa = Load(a), sb = Load(b);
  if (!sa || !sb) {
    *equal = sa == sb;
    return 0;
  }
  return OM_ShapeCompare(sa, sb, equal);
}

ErrorCode PrintValue(intptr_t, const void* value, char* text, int32_t textSize) {
  if (!text || textSize < 1) return 3;
  int32_t type = 0, count = 0;
  OM_Shape s = Load(value);
  if (s)
    if (ErrorCode err = OM_GetShapeInfo(s, &type, nullptr, &count)) return err;
  std::snprintf(text, static_cast<size_t>(textSize), "%s %d (%d points)", kReport.Text(kTextShape),
                static_cast<int>(type), static_cast<int>(count));
  return 0;
}

ErrorCode WriteValue(intptr_t, const void* value, uint8_t* bytes, int32_t capacity, int32_t* size) {
  OM_Shape s = Load(value);
  if (!s) return kReport.Fail(kSiteFile, OM_ErrFileData, kTextCorrupt);
  if (!bytes) return OM_ShapeByteSize(s, size);
  return OM_ShapeToBytes(s, bytes, capacity, size);
}

ErrorCode ReadValue(intptr_t, const uint8_t* bytes, int32_t size, void* value) {
  OM_Shape s = nullptr;
  StoreValue(value, nullptr);
  if (ErrorCode err = OM_ShapeFromBytes(bytes, size, &s)) return err;
  StoreValue(value, s);
  return 0;
}

// ---- The morph --------------------------------------------------------------------------

double SideLength(const double* xy, size_t m, size_t k) {
  const double* p0 = xy + 6 * k;
  const double* p3 = xy + 6 * ((k + 1) % m);
  auto d = [](const double* a, const double* b) { return std::hypot(b[0] - a[0], b[1] - a[1]); };
  return (d(p0, p0 + 2) + d(p0 + 2, p0 + 4) + d(p0 + 4, p3) + d(p0, p3)) / 2;
}

// Adds vertices to a path of doubles until it has `want` vertices: each
// vertex added halves (in parameter) the side whose pieces are longest, so
// the path keeps its outline exactly.
ErrorCode Equalise(PathD& path, size_t want) {
  const size_t m = path.points() / 3;
  if (m >= want) return 0;
  ScratchArray<int32_t> splits(m, true);
  ScratchArray<double> length(m);
  ScratchArray<double> out(6 * want);
  if (!splits.ok() || !length.ok() || !out.ok())
    return kReport.OutOfMemory(kSiteInterp, kTextSamplePoints, 48 * want);
  for (size_t k = 0; k < m; ++k) length[k] = SideLength(path.xy.data(), m, k);
  for (size_t added = m; added < want; ++added) {
    size_t best = 0;
    for (size_t k = 1; k < m; ++k)
      if (length[k] / (splits[k] + 1) > length[best] / (splits[best] + 1)) best = k;
    ++splits[best];
  }
  size_t o = 0;
  for (size_t k = 0; k < m; ++k) {
    double c[4][2];
    for (int j = 0; j < 3; ++j) c[j][0] = path.xy[6 * k + 2 * j], c[j][1] = path.xy[6 * k + 2 * j + 1];
    c[3][0] = path.xy[6 * ((k + 1) % m)], c[3][1] = path.xy[6 * ((k + 1) % m) + 1];
    // Cut the side into splits + 1 pieces of equal parameter: cut the first
    // piece off the rest each time.
    for (int32_t piece = splits[k] + 1; piece >= 1; --piece) {
      const double t = 1.0 / piece;
      double l1[2], l2[2], m12[2], r1[2], r2[2], mid[2];
      for (int d = 0; d < 2; ++d) {
        l1[d] = c[0][d] + t * (c[1][d] - c[0][d]);
        m12[d] = c[1][d] + t * (c[2][d] - c[1][d]);
        r2[d] = c[2][d] + t * (c[3][d] - c[2][d]);
        l2[d] = l1[d] + t * (m12[d] - l1[d]);
        r1[d] = m12[d] + t * (r2[d] - m12[d]);
        mid[d] = l2[d] + t * (r1[d] - l2[d]);
      }
      const double* tri[3] = {c[0], l1, l2};
      for (int j = 0; j < 3; ++j) out[o++] = tri[j][0], out[o++] = tri[j][1];
      for (int d = 0; d < 2; ++d) c[0][d] = mid[d], c[1][d] = r1[d], c[2][d] = r2[d];
    }
  }
  path.xy = std::move(out);
  return 0;
}

// Weights of the keys before A, A, B and after B at fraction f.
void Weights(int32_t method, double f, double w[4]) {
  if (method == OM_MorphLinear) {
    w[0] = 0, w[1] = 1 - f, w[2] = f, w[3] = 0;
    return;
  }
  // A Catmull-Rom spline through the four shapes.
  const double f2 = f * f, f3 = f2 * f;
  w[0] = (-f3 + 2 * f2 - f) / 2;
  w[1] = (3 * f3 - 5 * f2 + 2) / 2;
  w[2] = (-3 * f3 + 4 * f2 + f) / 2;
  w[3] = (f3 - f2) / 2;
}

struct KeyShapes {
  OM_Shape shape[4] = {};  // before A (owned), A, B (borrowed), after B (owned)
  TDB_Stream stream = nullptr;
  ~KeyShapes() {
    for (int i : {0, 3})
      if (shape[i]) OM_DisposeShape(shape[i]);
  }
};

ErrorCode Morph(TDB_Stream stream, const TDB_InterpContext* ctx, void* out) {
  StoreValue(out, nullptr);
  const size_t at = static_cast<size_t>(ctx->keySize) - sizeof(OM_Shape);
  KeyShapes k;
  k.shape[1] = Load(static_cast<const uint8_t*>(ctx->keyA) + at);
  k.shape[2] = Load(static_cast<const uint8_t*>(ctx->keyB) + at);
  if (!k.shape[1] || !k.shape[2]) return kReport.Fail(kSiteInterp, OM_ErrPointCount, kTextPointCount, {""});
  const int32_t method = ctx->spatialInterp;
  if (method != OM_MorphLinear && method != OM_MorphSmooth)
    return kReport.Fail(kSiteInterp, OM_ErrSpatialMethod, kTextSpatialMethod, {method});
  // The fraction: the distance eased over a unit extent. Keys carry no
  // extent of their own, so the unit is passed here rather than a stored
  // path length that could be 0.
  double s = 0;
  if (ErrorCode err = TDB_GetEasedDistance(stream, ctx->indexA, ctx->indexB, ctx->time, 1.0, &s)) return err;
  const double f = std::clamp(s, 0.0, 1.0);
  if (f <= 0) return CopyValue(0, &k.shape[1], out);
  const ShapeRec ra = Rec(k.shape[1]), rb = Rec(k.shape[2]);
  if (method == OM_MorphSmooth) {
    int32_t count = 0;
    if (ErrorCode err = TDB_GetNumKeys(stream, &count)) return err;
    if (ctx->indexA > 0)
      if (ErrorCode err = TDB_GetKey(stream, ctx->indexA - 1, &k.shape[0])) return err;
    if (ctx->indexB + 1 < count)
      if (ErrorCode err = TDB_GetKey(stream, ctx->indexB + 1, &k.shape[3])) return err;
  }
  OM_Shape used[4] = {k.shape[0] ? k.shape[0] : k.shape[1], k.shape[1], k.shape[2],
                      k.shape[3] ? k.shape[3] : k.shape[2]};
  double w[4];
  Weights(method, f, w);
  auto blend = [&w](const double v[4]) { return w[0] * v[0] + w[1] * v[1] + w[2] * v[2] + w[3] * v[3]; };
  double bounds[4];
  for (int e = 0; e < 4; ++e) {
    double v[4];
    for (int i = 0; i < 4; ++i) {
      const FixedRect& b = Rec(used[i]).bounds;
      v[i] = e == 0 ? b.left : e == 1 ? b.top : e == 2 ? b.right : b.bottom;
    }
    bounds[e] = blend(v);
  }
  const bool rel = ra.flags & OM_FlagRelative;
  FixedRect nb{RoundFixed(std::min(bounds[0], bounds[2])), RoundFixed(std::min(bounds[1], bounds[3])),
               RoundFixed(std::max(bounds[0], bounds[2])), RoundFixed(std::max(bounds[1], bounds[3]))};
  bool same = ra.type == rb.type && ra.type != OM_TypePath;
  for (OM_Shape u : used) same = same && Rec(u).type == ra.type;
  OM_Shape result = nullptr;
  if (same) {
    if (ErrorCode err = MakeShape(ra.type, ra.flags, nb, nullptr, &result, kSiteInterp)) return err;
    StoreValue(out, result);
    return 0;
  }
  // Paths: every shape as a path of doubles with one vertex count.
  PathD paths[4];
  size_t most = 0;
  for (int i = 0; i < 4; ++i) {
    if (ErrorCode err = ShapeToPathD(used[i], paths[i], kSiteInterp)) return err;
    if (paths[i].points() == 0 || paths[i].points() % 3 != 0)
      return kReport.Fail(kSiteInterp, OM_ErrPointCount, kTextPointCount, {kReport.Text(kTextAddingPoints)});
    most = std::max(most, paths[i].points() / 3);
  }
  for (PathD& p : paths)
    if (ErrorCode err = Equalise(p, most)) return err;
  ScratchArray<FixedPoint> pts(3 * most);
  if (!pts.ok()) return kReport.OutOfMemory(kSiteInterp, kTextSamplePoints, pts.failedBytes());
  const double bl = bounds[0], bt = bounds[1], bw = bounds[2] - bounds[0], bh = bounds[3] - bounds[1];
  for (size_t i = 0; i < 3 * most; ++i) {
    double x[4], y[4];
    for (int j = 0; j < 4; ++j) x[j] = paths[j].xy[2 * i], y[j] = paths[j].xy[2 * i + 1];
    double px = blend(x), py = blend(y);
    if (rel) {
      // Back to fractions (Fix24) of the blended bounds.
      px = bw != 0 ? (px - bl) / bw * 16777216.0 : 0;
      py = bh != 0 ? (py - bt) / bh * 16777216.0 : 0;
    }
    pts[i] = FixedPoint{RoundFixed(px), RoundFixed(py)};
  }
  LIST_Handle list = nullptr;
  if (ErrorCode err = NewPointList({pts.data(), pts.size()}, &list, kSiteInterp)) return err;
  if (ErrorCode err = MakeShape(OM_TypePath, ra.flags, nb, list, &result, kSiteInterp)) return err;
  if (!rel)
    if (ErrorCode err = OM_RecalcBounds(result)) {
      OM_DisposeShape(result);
      return err;
    }
  StoreValue(out, result);
  return 0;
}

ErrorCode MorphValue(intptr_t, TDB_Stream stream, const TDB_InterpContext* ctx, void* out) {
  return Morph(stream, ctx, out);
}

constexpr TDB_ValueTraits kTraits{static_cast<int32_t>(sizeof(OM_Shape)),
                                  0,
                                  CopyValue,
                                  DisposeValue,
                                  MorphValue,
                                  CompareValues,
                                  PrintValue,
                                  WriteValue,
                                  ReadValue};

// A stream whose values are shapes.
ErrorCode CheckShapeStream(TDB_Stream stream, uint32_t site, const char* operation) {
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(stream, &info)) return err;
  if (info.valueDescription.kind != OM_ValueKind) return BadArg(site, operation);
  return 0;
}

}  // namespace

ErrorCode RegisterShapeKind(bool on) {
  if (!on) return TDB_RegisterValueKind(OM_ValueKind, nullptr);
  TDB_ValueTraits now{};
  if (TDB_GetValueKind(OM_ValueKind, &now) == 0 && now.interpolate == kTraits.interpolate) return 0;
  return TDB_RegisterValueKind(OM_ValueKind, &kTraits);
}

}  // namespace tv::om

using namespace tv;
using namespace tv::om;

ErrorCode OM_NewStream(uint32_t timeScale, Boolean32 constant, TDB_Stream* stream) {
  if (!stream) return BadArg(kSiteStream, "OM_NewStream");
  *stream = nullptr;
  if (ErrorCode err = RegisterShapeKind(true)) return err;
  TDB_ValueDesc desc{};
  desc.kind = OM_ValueKind;
  TDB_Stream s = nullptr;
  if (ErrorCode err = TDB_NewStream(1, timeScale, constant, 1, 7, 6, &desc, &s)) return err;
  if (ErrorCode err = TDB_SetStreamSpInterp(s, OM_MorphLinear)) {
    TDB_DisposeStream(s);
    return err;
  }
  *stream = s;
  return 0;
}

ErrorCode OM_InsertKeyShape(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                            OM_Shape shape, int8_t inInterp, int8_t outInterp) {
  if (ErrorCode err = Check(shape, kSiteStream, kTextInquire)) return err;
  if (ErrorCode err = CheckShapeStream(stream, kSiteStream, "OM_InsertKeyShape")) return err;
  return TDB_InsertKey(stream, time, timeValue, overwrite, &shape, inInterp, outInterp);
}

ErrorCode OM_RemoveKeyShape(TDB_Stream stream, int32_t index) {
  if (ErrorCode err = CheckShapeStream(stream, kSiteStream, "OM_RemoveKeyShape")) return err;
  return TDB_RemoveKey(stream, index);
}

ErrorCode OM_GetShape(TDB_Stream stream, const Time* time, int32_t timeValue, OM_Shape* shape) {
  if (!shape) return BadArg(kSiteStream, "OM_GetShape");
  *shape = nullptr;
  if (ErrorCode err = CheckShapeStream(stream, kSiteStream, "OM_GetShape")) return err;
  OM_Shape s = nullptr;
  if (ErrorCode err = TDB_GetValue(stream, time, timeValue, 0, &s, nullptr)) {
    if (s) OM_DisposeShape(s);
    return err;
  }
  *shape = s;
  return 0;
}
