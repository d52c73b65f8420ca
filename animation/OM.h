// OM: outlines ("shapes") used as masks, and keyframe streams whose values
// are shapes.
//
// A shape is a relocatable block (OM_Shape is its handle) starting with the
// magic 0xB2DE (cleared on disposal): a type (1 rectangle, 2 Bezier path,
// 3 oval), flags (bit 0: relative), bounds (left, top, right, bottom) and,
// for a path, a list of points (items of two int32, h then v).
//   Absolute form: bounds and points are Fixed layer coordinates.
//   Relative form: the bounds are Fix24 fractions of a reference rectangle,
//   the points Fix24 fractions of the shape's own bounds.
// A path holds three points per vertex: point 3k is vertex k, 3k + 1 its
// outgoing handle, 3k + 2 the incoming handle of vertex k + 1; the incoming
// handle of vertex 0 is the last point (paths are closed). A handle equal to
// its vertex makes a straight side.
//
// A shape stream is a TDB stream of dimension 1, spatial, whose values are
// shapes (custom value kind OM_ValueKind, registered by OM_Birth). Keys own
// their shapes; every shape handed out (OM_GetShape, TDB_GetValue) is a new
// shape the caller disposes. Between two keys the shapes are morphed: two
// rectangles or two ovals blend their bounds, anything else is turned into
// paths with equal vertex counts (vertices added by halving the longest
// sides of the path with fewer) whose points are blended.
//
// Byte form of a shape (files and stream values, big-endian, 24 + 8n bytes):
//   0 u16 0xB2DE, 2 u8 type, 3 u8 flags, 4 i32 left, top, right, bottom,
//   20 u32 point count n (a multiple of 3; 0 unless a path), 24 n x (i32 h, i32 v).
// OM_WriteShape writes it as one "OMsh" atom.
//
// What callers may rely on:
// - Every operation on a shape first checks it: 2 (reported with the
//   operation's verb, "attempt to %s an internally damaged shape.") for a
//   handle that is not a living shape. Failures are reported once (package
//   32, severity 8): 3 for a bad argument or a null required pointer;
//   0x2001 a path operation on a rectangle or oval; 0x2002 an operation that
//   needs an absolute shape given a relative one; 0x2003 the reverse;
//   0x2004 a spatial method the stream does not know; 0x2005 a point
//   position that is not a vertex or lies beyond the path; 0x2006 paths that
//   cannot be matched; 0x2007 a shape in a file that fails a check; M's
//   0x1102 when a conversion overflows (the shape is then unchanged); 4 out
//   of memory; TDB's, LIST's and SLU's codes passed up.
// - A failed operation leaves its shape as it was. Out-parameters are
//   cleared first (null shapes, zero rectangles and points, 0x80000000
//   indices, 0 flags).
// - Results are deterministic.
#pragma once

#include "LIST.h"
#include "SLU.h"
#include "STR.h"
#include "TDB.h"
#include "Types.h"

typedef struct OM_ShapeRec** OM_Shape;

enum {
  OM_PackageNumber = 32,
  OM_Magic = 0xB2DE,
  OM_ValueKind = 1,  // the custom value kind of shape streams
};

// Shape types and flags.
enum {
  OM_TypeRect = 1,
  OM_TypePath = 2,
  OM_TypeOval = 3,
  OM_FlagRelative = 0x1,
};

// Codes.
enum {
  OM_ErrBadType = 0x2001,        // "invalid shape type"
  OM_ErrRelative = 0x2002,       // "cannot %s a relative shape."
  OM_ErrAbsolute = 0x2003,       // "cannot %s an absolute shape."
  OM_ErrSpatialMethod = 0x2004,  // "Unsupported spatial interpolation method: %d."
  OM_ErrVertex = 0x2005,         // "Bezier vertex %s" ("is not control point." / "is beyond ...")
  OM_ErrPointCount = 0x2006,     // "Number of points in OM_Shape is not consistent with Bezier curve %s"
  OM_ErrFileData = 0x2007,       // "shape is corrupt in file."
};

// Shape stream spatial methods.
enum {
  OM_MorphLinear = 1,  // between the two keys
  OM_MorphSmooth = 2,  // through the keys before and after as well
};

// The largest shape byte form (OM_ShapeByteSize) is 24 + 8 x this.
enum { OM_MaxPoints = 3 * 65536 };

// ---- Package frame ------------------------------------------------------------------
TV_EXPORT uint32_t OM_PkgObjectVersion(void);
TV_EXPORT ErrorCode OM_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table OMp_G_STRs;
// Registers the shape value kind with TDB; death removes it.
TV_EXPORT ErrorCode OM_Birth(void);
TV_EXPORT ErrorCode OM_Death(void);
// Shapes alive (made and not disposed); 3 for a null count.
TV_EXPORT ErrorCode OMp_GetLiveCount(int32_t* count);

// ---- Shapes ---------------------------------------------------------------------------
// type 1..3 (else 3, "creating new shape"); bounds are normalised (left <=
// right, top <= bottom); null bounds give 0, 0, 1.0, 1.0. A path starts empty.
TV_EXPORT ErrorCode OM_NewShape(int32_t type, const FixedRect* bounds, OM_Shape* shape);
TV_EXPORT ErrorCode OM_DisposeShape(OM_Shape shape);
TV_EXPORT ErrorCode OM_DupShape(OM_Shape shape, OM_Shape* copy);
// Rectangle to path: 8 straight vertices from the top middle
// counter-clockwise (top-left, left middle, bottom-left, bottom middle,
// bottom-right, right middle, top-right); oval to path: 4 vertices (top,
// left, bottom, right) whose handles are 0.5522847498308 of the half extents.
// Path to rectangle or oval: the points go, the bounds stay. 3 for a type
// outside 1..3 ("invalid shape type").
TV_EXPORT ErrorCode OM_SetShapeType(int32_t type, OM_Shape shape);
// type, flags and point count (0 unless a path); any may be null.
TV_EXPORT ErrorCode OM_GetShapeInfo(OM_Shape shape, int32_t* type, uint32_t* flags, int32_t* pointCount);
TV_EXPORT ErrorCode OM_GetShapeBounds(OM_Shape shape, FixedRect* bounds);
// Normalises the rectangle; the points are not moved.
TV_EXPORT ErrorCode OM_SetShapeBounds(OM_Shape shape, const FixedRect* bounds);
// An absolute path of at least two points: the bounds become the box of all
// points, handles included; any other shape is left as it is.
TV_EXPORT ErrorCode OM_RecalcBounds(OM_Shape shape);
// 0x2002 for a relative shape; 0x1102 when a coordinate would leave 32 bits.
TV_EXPORT ErrorCode OM_OffsetShape(Fixed dh, Fixed dv, OM_Shape shape);
// Relative to / absolute from the reference rectangle (Fixed); 0x2002 /
// 0x2003 when already in that form; 0x1102 (reported by M, the shape
// unchanged) when a coordinate does not fit.
TV_EXPORT ErrorCode OM_AbsToRel(const FixedRect* reference, OM_Shape shape);
TV_EXPORT ErrorCode OM_RelToAbs(const FixedRect* reference, OM_Shape shape);
// True when type, flags and bounds match and, for paths, the points are
// identical.
TV_EXPORT ErrorCode OM_ShapeCompare(OM_Shape a, OM_Shape b, Boolean32* equal);

// ---- Paths (type 2; other types give 0x2001) -------------------------------------------
// Point positions: 0 .. count - 1. A vertex position p gives p + 1 (its
// outgoing handle), a handle position is returned as it is; positions outside
// the path give 0x2005.
TV_EXPORT ErrorCode OM_ShapeIndexToCtpt(OM_Shape shape, int32_t index, int32_t* handleIndex);
// The vertex at position vertexIndex (a multiple of 3, else 0x2005 "is not
// control point."; beyond the path 0x2005 "is beyond the last vertex of
// shape.") and its incoming and outgoing handles; any out-pointer may be null.
TV_EXPORT ErrorCode OM_ShapeGetBezPoints(OM_Shape shape, int32_t vertexIndex, FixedPoint* vertex,
                                         FixedPoint* inHandle, FixedPoint* outHandle);
// The point at a position and whether it is a vertex.
TV_EXPORT ErrorCode OM_ShapeGetPointInfo(OM_Shape shape, int32_t index, FixedPoint* point, Boolean32* isVertex);
// Copies count points from position first into points.
TV_EXPORT ErrorCode OM_ShapeGetValues(OM_Shape shape, int32_t first, int32_t count, FixedPoint* points);
// Inserts a vertex before the vertex at position vertexIndex (-1 or the point
// count: after the last); null handles make straight sides.
TV_EXPORT ErrorCode OM_ShapeAddBezVertex(OM_Shape shape, int32_t vertexIndex, const FixedPoint* vertex,
                                         const FixedPoint* inHandle, const FixedPoint* outHandle);
TV_EXPORT ErrorCode OM_ShapeRemoveBezVertex(OM_Shape shape, int32_t vertexIndex);
// Moves a vertex by (dh, dv) together with its two handles.
TV_EXPORT ErrorCode OM_ShapeMoveBezVertex(OM_Shape shape, int32_t vertexIndex, Fixed dh, Fixed dv);
// Sets a vertex's handles (either may be null: left as it is).
TV_EXPORT ErrorCode OM_ShapeMoveBezTangents(OM_Shape shape, int32_t vertexIndex, const FixedPoint* inHandle,
                                            const FixedPoint* outHandle);
// Smooth handles through the neighbours: vertex -/+ (next - previous) / 6.
TV_EXPORT ErrorCode OM_ShapeSetDefaultBezTangents(OM_Shape shape, int32_t vertexIndex);
// Moves the point at curve parameter u (0..1) of the side that starts at
// vertexIndex by (dh, dv), adjusting the side's two handles.
TV_EXPORT ErrorCode OM_ShapeDirectManipSegment(OM_Shape shape, int32_t vertexIndex, double u, Fixed dh, Fixed dv);
// Not available: 5 (reported), *hit 0.
TV_EXPORT ErrorCode OM_ShapeIntersect(OM_Shape a, OM_Shape b, Boolean32* hit);
// Makes the vertex at position vertexIndex the first; OrientPolyTop makes the
// topmost vertex (then the leftmost of those) the first.
TV_EXPORT ErrorCode OM_OrientPolyVertex(OM_Shape shape, int32_t vertexIndex);
TV_EXPORT ErrorCode OM_OrientPolyTop(OM_Shape shape);
// Reverses the path when needed so that it turns clockwise on screen (v
// down) when clockwise is set, counter-clockwise otherwise; vertex 0 stays first.
TV_EXPORT ErrorCode OM_SetPolyDir(OM_Shape shape, Boolean32 clockwise);

// ---- Shape streams -----------------------------------------------------------------------
// Dimension 1, spatial, methods linear, Bezier and hold, spatial mask 6,
// spatial method 1, value kind OM_ValueKind. 4, TDB's codes; *stream null on
// failure.
TV_EXPORT ErrorCode OM_NewStream(uint32_t timeScale, Boolean32 constant, TDB_Stream* stream);
// A key holding a copy of shape (the caller keeps its shape).
TV_EXPORT ErrorCode OM_InsertKeyShape(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 overwrite,
                                      OM_Shape shape, int8_t inInterp, int8_t outInterp);
TV_EXPORT ErrorCode OM_RemoveKeyShape(TDB_Stream stream, int32_t index);
// A new shape: the stream's value at the time. 3 for a stream that is not a
// shape stream.
TV_EXPORT ErrorCode OM_GetShape(TDB_Stream stream, const Time* time, int32_t timeValue, OM_Shape* shape);

// ---- Files ----------------------------------------------------------------------------------
// Bytes of a shape's byte form; OM_ShapeToBytes answers 10 when capacity is
// smaller.
TV_EXPORT ErrorCode OM_ShapeByteSize(OM_Shape shape, int32_t* size);
TV_EXPORT ErrorCode OM_ShapeToBytes(OM_Shape shape, uint8_t* bytes, int32_t capacity, int32_t* size);
// A new shape from exactly size bytes; 0x2007 ("shape is corrupt in file.")
// for bytes that fail a check (magic, type, flags, order of the bounds, a
// count that is not a multiple of 3 or that disagrees with the size).
TV_EXPORT ErrorCode OM_ShapeFromBytes(const uint8_t* bytes, int32_t size, OM_Shape* shape);
TV_EXPORT ErrorCode OM_WriteShape(OM_Shape shape, SLU_FileContext* file);
// Finds the next "OMsh" atom within parent (or from the current position).
TV_EXPORT ErrorCode OM_ReadShape(SLU_FileContext* file, const SLU_Chunk* parent, OM_Shape* shape);
// A shape stream as TDB writes streams: the shapes go into the stream's
// value chunks in their byte form.
TV_EXPORT ErrorCode OM_WriteStream(TDB_Stream stream, SLU_FileContext* file);
// 0x2007 for a stream in the file that is not a shape stream (no stream left).
TV_EXPORT ErrorCode OM_ReadStream(SLU_FileContext* file, const SLU_Chunk* parent, TDB_Stream* stream);
