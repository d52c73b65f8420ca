// Mask shapes from points and boxes, and back; mask settings; roving keys. A path is made in one piece
// from the shape's byte form, so a path of the engine's largest size is made
// at once rather than vertex by vertex.
#include "mask_shape.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tavelo {
namespace {

constexpr double kLimit = 32767;

Fixed ToFixed(double v) { return static_cast<Fixed>(std::llround(v * 65536.0)); }
double FromFixed(Fixed v) { return v / 65536.0; }
// Half up, held to 32 bits.
Fixed Round(double v) { return static_cast<Fixed>(std::clamp(std::floor(v + 0.5), -2147483648.0, 2147483647.0)); }

void Put32(std::vector<uint8_t>& b, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(u >> shift));
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) <= kLimit; }

ErrorCode Command(int32_t number, intptr_t a, intptr_t b) {
  if (ErrorCode err = BEE_StartGroup(nullptr, number)) return err;
  intptr_t params[2] = {a, b};
  ErrorCode err = BEE_DoCommand(number, params);
  BEE_EndGroup();
  return err;
}

}  // namespace

std::string PathProblem(const std::vector<PathPoint>& points) {
  if (points.size() < 3) return "a path needs at least 3 points";
  if (points.size() > kMaxPathVertices)
    return "a path has at most " + std::to_string(kMaxPathVertices) + " points (this one has " +
           std::to_string(points.size()) + ")";
  for (size_t i = 0; i < points.size(); ++i)
    if (!Finite(points[i].x) || !Finite(points[i].y))
      return "point " + std::to_string(i) + " lies beyond -32767 to 32767 pixels";
  return {};
}

std::string BoxProblem(const double box[4]) {
  for (int i = 0; i < 4; ++i)
    if (!Finite(box[i])) return "a box lies within -32767 to 32767 pixels";
  if (!(box[0] < box[2] && box[1] < box[3])) return "left must be less than right and top less than bottom";
  return {};
}

ErrorCode MakePathShape(const std::vector<PathPoint>& points, bool smooth, OM_Shape* shape) {
  *shape = nullptr;
  const size_t n = points.size();
  Fixed l = std::numeric_limits<Fixed>::max(), t = l, r = std::numeric_limits<Fixed>::min(), b = r;
  std::vector<FixedPoint> fixed(n);
  for (size_t i = 0; i < n; ++i) {
    fixed[i] = FixedPoint{ToFixed(points[i].x), ToFixed(points[i].y)};
    l = std::min(l, fixed[i].h);
    r = std::max(r, fixed[i].h);
    t = std::min(t, fixed[i].v);
    b = std::max(b, fixed[i].v);
  }
  // The byte form: magic, type 2 (path), flags 0, bounds, then three points
  // a vertex: the vertex, its outgoing handle and the next vertex's incoming
  // one. Straight sides have their handles on the vertices; smooth ones
  // reach a sixth of the way between the neighbours on either side, rounded
  // as the engine rounds them (OM_ShapeSetDefaultBezTangents).
  std::vector<FixedPoint> out(n), in(n);
  for (size_t i = 0; i < n; ++i) {
    out[i] = in[i] = fixed[i];
    if (!smooth) continue;
    const FixedPoint& v = fixed[i];
    const FixedPoint& prev = fixed[(i + n - 1) % n];
    const FixedPoint& next = fixed[(i + 1) % n];
    const double dx = (double(next.h) - prev.h) / 6.0, dy = (double(next.v) - prev.v) / 6.0;
    out[i] = FixedPoint{Round(v.h + dx), Round(v.v + dy)};
    in[i] = FixedPoint{Round(v.h - dx), Round(v.v - dy)};
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(24 + 24 * n);
  bytes.push_back(static_cast<uint8_t>(OM_Magic >> 8));
  bytes.push_back(static_cast<uint8_t>(OM_Magic & 0xFF));
  bytes.push_back(OM_TypePath);
  bytes.push_back(0);
  for (Fixed v : {l, t, r, b}) Put32(bytes, v);
  Put32(bytes, static_cast<int32_t>(3 * n));
  for (size_t i = 0; i < n; ++i)
    for (const FixedPoint& q : {fixed[i], out[i], in[(i + 1) % n]}) {
      Put32(bytes, q.h);
      Put32(bytes, q.v);
    }
  OM_Shape s = nullptr;
  ErrorCode err = OM_ShapeFromBytes(bytes.data(), static_cast<int32_t>(bytes.size()), &s);
  if (!err) err = OM_RecalcBounds(s);
  if (err) {
    OM_DisposeShape(s);
    return err;
  }
  *shape = s;
  return 0;
}

ErrorCode MakeBoxShape(bool oval, const double box[4], OM_Shape* shape) {
  *shape = nullptr;
  const FixedRect bounds{ToFixed(box[0]), ToFixed(box[1]), ToFixed(box[2]), ToFixed(box[3])};
  OM_Shape s = nullptr;
  ErrorCode err = OM_NewShape(oval ? OM_TypeOval : OM_TypeRect, &bounds, &s);
  // Masks hold Bezier paths: the rectangle or oval becomes one.
  if (!err) err = OM_SetShapeType(OM_TypePath, s);
  if (err) {
    OM_DisposeShape(s);
    return err;
  }
  *shape = s;
  return 0;
}

ErrorCode ReadPathShape(OM_Shape shape, std::vector<PathVertex>* vertices) {
  vertices->clear();
  int32_t type = 0, count = 0;
  uint32_t flags = 0;
  if (ErrorCode err = OM_GetShapeInfo(shape, &type, &flags, &count)) return err;
  if (count <= 0) return 0;
  std::vector<FixedPoint> p(static_cast<size_t>(count));
  if (ErrorCode err = OM_ShapeGetValues(shape, 0, count, p.data())) return err;
  const auto pt = [&](int32_t i) { return PathPoint{FromFixed(p[static_cast<size_t>(i)].h), FromFixed(p[static_cast<size_t>(i)].v)}; };
  for (int32_t k = 0; k + 2 < count; k += 3)
    vertices->push_back(PathVertex{pt(k), pt(k == 0 ? count - 1 : k - 1), pt(k + 1)});
  return 0;
}

ErrorCode SetMaskName(BEE_Layer layer, int32_t mask, const std::string& name) {
  BEE_MaskName mn{};
  mn.mask = mask;
  std::memcpy(mn.name, name.data(), std::min(name.size(), sizeof mn.name - 1));
  return Command(BEE_CmdNumMaskName, reinterpret_cast<intptr_t>(layer), reinterpret_cast<intptr_t>(&mn));
}

ErrorCode SetMaskMode(BEE_Layer layer, int32_t mask, int32_t mode) {
  return Command(BEE_CmdNumMaskMode, reinterpret_cast<intptr_t>(layer), BEE_PackMaskValue(mask, mode));
}

ErrorCode SetMaskInverted(BEE_Layer layer, int32_t mask, bool on) {
  return Command(BEE_CmdNumMaskInvert, reinterpret_cast<intptr_t>(layer), BEE_PackMaskValue(mask, on));
}

ErrorCode SetKeyRoving(BEE_Layer layer, int32_t index, int32_t key, bool on) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream stream = nullptr, copy = nullptr;
  if (ErrorCode err = BEE_StreamLookup(&ref, &stream)) return err;
  if (!stream) return 3;
  if (ErrorCode err = TDB_DuplicateStream(stream, &copy)) return err;
  ErrorCode err = on ? TDB_SetStreamSParametrize(copy, 1) : 0;
  if (!err) err = TDB_SetKeyFloat(copy, key, on);
  if (!err) err = TDB_UpdateStream(copy);
  // A deliberate edit of keys is a step of its own, never folded into the
  // value changes before it; the layer owns the copy once it is made.
  if (!err) err = BEE_InhibitCollapsingForNextCmd();
  if (!err) err = BEE_CmdSetStreamKeys(layer, index, copy);
  if (err) TDB_DisposeStream(copy);
  return err;
}

}  // namespace tavelo
