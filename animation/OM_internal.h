// OM's private record, sites, texts and helpers shared by its files.
#pragma once

#include <span>

#include "HandleLock.h"
#include "Memory.h"
#include "OM.h"
#include "Package.h"
#include "Scratch.h"

namespace tv::om {

// The shape record (in its handle). Points: FixedPoint items (h, v).
struct ShapeRec {
  uint16_t magic;
  uint8_t type;
  uint8_t flags;
  FixedRect bounds;
  LIST_Handle points;  // paths only (null otherwise)
};
static_assert(sizeof(FixedPoint) == 8);

constexpr uint16_t kDeadMagic = 0;
constexpr pkg::Magic<ShapeRec, uint16_t> kShapeMagic{&ShapeRec::magic, OM_Magic, nullptr, 0};

// Report sites.
enum : uint32_t {
  kSiteBirth = 1, kSiteNew, kSiteDispose, kSiteDup, kSiteType, kSiteBounds, kSiteOffset, kSiteRelative,
  kSiteAbsolute, kSiteCompare, kSitePath, kSiteEdit, kSiteStream, kSiteInterp, kSiteFile, kSiteArgument,
};

// Text indices of OMp_G_STRs.
enum TextIndex : int32_t {
  kTextUnknown = 0, kTextShape, kTextInvalidType, kTextDamaged, kTextDispose, kTextCreating, kTextDuplicate,
  kTextDuplicating, kTextCorrupt, kTextMakeRelative, kTextCannotRelative, kTextCannotAbsolute, kTextMakeAbsolute,
  kTextConvertType, kTextAlter, kTextInquire, kTextSetting, kTextTangent, kTextSpatialMethod, kTextVertex,
  kTextNotCtpt, kTextBeyond, kTextSamplePoints, kTextPointCount, kTextAddingPoints, kTextPreserve,
  kTextBadArgument, kTextOffset, kTextNotAvailable, kTextCount
};

extern const pkg::Reporter kReport;

inline ShapeRec& Rec(OM_Shape s) { return *reinterpret_cast<ShapeRec*>(*s); }
// 0 for a living shape; otherwise 2, reported with the verb text.
ErrorCode Check(OM_Shape s, uint32_t site, int32_t verb);
// Reports code 3 with a verb text (or the bad-argument text naming an operation).
ErrorCode BadArg(uint32_t site, const char* operation);

// Live shape count (made and not disposed).
void CountShape(int32_t delta);

// The points of a path (empty for other types or no list).
ErrorCode LoadPoints(OM_Shape s, ScratchArray<FixedPoint>& out, uint32_t site);
// A new point list holding points (*list null on failure).
ErrorCode NewPointList(std::span<const FixedPoint> points, LIST_Handle* list, uint32_t site);
// Replaces the shape's point list with one holding points (the old list goes).
ErrorCode ReplacePoints(OM_Shape s, std::span<const FixedPoint> points, uint32_t site);
// A new shape record with the given fields; the point list (may be null) is
// taken over (disposed on failure).
ErrorCode MakeShape(uint8_t type, uint8_t flags, const FixedRect& bounds, LIST_Handle points, OM_Shape* out,
                    uint32_t site);

// Path vertices as doubles in absolute coordinates: point i of the path at
// 3 * vertex + k (k 0 vertex, 1 out handle, 2 the next vertex's in handle).
struct PathD {
  ScratchArray<double> xy;  // 2 doubles per point
  size_t points() const { return xy.size() / 2; }
};
// Any shape as a path of doubles: absolute shapes in Fixed units, relative
// ones in Fix24 units of their reference (the bounds taken as they are).
ErrorCode ShapeToPathD(OM_Shape s, PathD& out, uint32_t site);

// The rectangle and oval paths of Fixed bounds, in doubles.
void RectPath(double l, double t, double r, double b, double* xy);   // 24 points
void OvalPath(double l, double t, double r, double b, double* xy);   // 12 points
constexpr double kOvalKappa = 0.5522847498308;

// Registers (on) or removes the shape value kind with TDB (idempotent).
ErrorCode RegisterShapeKind(bool on);

// Rounds a double to Fixed units, saturating (NaN gives 0).
int32_t RoundFixed(double v);

}  // namespace tv::om
