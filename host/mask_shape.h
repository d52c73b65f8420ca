// Mask shapes as users give them (a rectangle or an oval by its box, a
// closed path through points) and as they read them back (the path's
// vertices and handles), shared by project descriptions and the Python
// module. Coordinates are layer pixels.
#pragma once

#include <string>
#include <vector>

#include "BEE.h"
#include "OM.h"

namespace tavelo {

struct PathPoint {
  double x, y;
};

// A vertex of a path with its incoming and outgoing handles (absolute).
struct PathVertex {
  PathPoint point, in, out;
};

// Vertices a path may have (the engine's limit on a shape's points).
constexpr size_t kMaxPathVertices = OM_MaxPoints / 3;

// What is wrong with the points of a path ("" when nothing): fewer than 3,
// more than kMaxPathVertices, or a coordinate that is not finite or lies
// beyond +-32767.
std::string PathProblem(const std::vector<PathPoint>& points);
// What is wrong with a box (left, top, right, bottom) ("" when nothing).
std::string BoxProblem(const double box[4]);

// A closed path through the points, with straight sides or (smooth) handles
// through the neighbouring vertices; the caller disposes *shape. Points must
// have passed PathProblem.
ErrorCode MakePathShape(const std::vector<PathPoint>& points, bool smooth, OM_Shape* shape);
// A rectangle or an oval (box checked by BoxProblem) as a Bezier path.
ErrorCode MakeBoxShape(bool oval, const double box[4], OM_Shape* shape);
// The vertices of a path shape with their handles.
ErrorCode ReadPathShape(OM_Shape shape, std::vector<PathVertex>* vertices);

// A mask's settings that have no command wrapper of their own, each one
// undo step: its name (at most 31 bytes), its mode (1 add .. 6
// difference), its inversion.
ErrorCode SetMaskName(BEE_Layer layer, int32_t mask, const std::string& name);
ErrorCode SetMaskMode(BEE_Layer layer, int32_t mask, int32_t mode);
ErrorCode SetMaskInverted(BEE_Layer layer, int32_t mask, bool on);

// Makes key `key` of a motion path (a spatial stream) rove, or stop roving,
// as one "Keyframe Change": the stream is parametrized by the distance along
// its path, so a roving key takes the time at which the eased motion from
// the key before the roving ones to the key after them reaches it. 0x1D0A
// for a stream that is not spatial; TDB keeps the first and last key fixed.
ErrorCode SetKeyRoving(BEE_Layer layer, int32_t index, int32_t key, bool on);

}  // namespace tavelo
