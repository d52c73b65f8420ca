// FLO: mesh distortion. A distortion warps an image inside its bounds
// rectangle through a grid of points: the grid is built either from two
// curves (a source shape and the destination shape it moves to), from a list
// of source/destination point pairs, from a caller's grid generator, or set
// directly as a "forward array" of the positions the grid points land on.
// FLO_DoDistortion computes the grid for one time value; the drawing routines
// then draw a source image through it.
//
// The grid: columns = rows = 2 x quality value 1 cells over the bounds. Grid
// point (i, j), 0 <= i <= columns, 0 <= j <= rows, rests at
// (left + i x width / columns, top + j x height / rows), rounded to 16.16;
// pixel (x, y) covers [x, x + 1) x [y, y + 1). The forward array
// holds (columns + 3) x (rows + 3) elements, row by row (index = row x
// across + column): the grid points plus one border element on each side in
// each direction, extrapolated linearly, so that grid point (i, j) is
// element (i + 1, j + 1). Each element is two 32-bit values, x then y, in
// 16.16 fixed point, in the coordinates of the bounds.
//
// Roles of the quality values (each limited to its range when set):
//   1 (5..10, default 6):   grid density, 2 x value cells per side.
//   2 (4..7, default 5):    curve sampling: 2^(value + 3) arc-length samples per curve.
//   3 (14..20, default 14): positions are computed to a tolerance of
//                           2^(10 - value) pixels (1/16 .. 1/1024).
//   4 (0..1, default 1):    1 weights curve samples by inverse squared
//                           distance, 0 by inverse distance.
//   5 (0..32, default 0):   smoothing passes over the interior grid points.
//   6 (0..1000, default 0): falloff radius in pixels (0: none): a grid point
//                           farther than this from every source sample stays put.
// Drawing quality (0..1, default 0): 0 nearest sample, 1 bilinear.
// Drawing value (0..255, default 200): 0 draws without progress calls;
// otherwise the progress function is called after each row of mesh cells.
//
// Time (FLO_DoDistortion): 0 leaves the image as it is, 1 moves the source
// shape fully onto the destination shape; values in between move part way.
// For grid generators the time is handed through.
//
// What callers may rely on:
// - Failures are reported once (package 65, severity 8), null out-pointers
//   included: 3 for a null required pointer or a bad argument, 2 for a
//   handle that is not a living distortion, 4 out of memory (scratch memory
//   comes from the memory manager), and the codes below where an operation
//   names them. Codes of the grid generator, the progress function and the
//   layers below (LIST) are passed up unchanged.
// - A setting refused for its arguments leaves the distortion as it was; one
//   that runs out of memory while copying curves may leave them partly
//   replaced (set them again). Drawing writes only the destination it is
//   given.
// - Results are deterministic for the same distortion, time and images.
#pragma once

#include "BM.h"
#include "M.h"
#include "STR.h"
#include "Types.h"

enum { FLO_PackageNumber = 65 };

enum {
  FLO_ErrFitFailed = 16643,    // fitting the curves failed
  FLO_ErrNotPrepared = 16644,  // the distortion is not prepared or damaged
  FLO_ErrBadKind = 16647,      // a kind other than 0, 1 or 2
  FLO_ErrBadSize = 16648,      // too few curve points, or sizes that do not match
  FLO_ErrBusy = 16649,         // a drawing is already under way
  FLO_ErrGridIndex = 16650,    // a grid element outside the grid
};

enum {
  FLO_Kind_Curves = 0,     // source and destination curves
  FLO_Kind_CurveList = 1,  // pairs: even entries source points, odd entries where they move
  FLO_Kind_Generator = 2,  // a grid generator
};

enum { FLO_Magic = 0xF10, FLO_GeneratorTag = 0xF10 };

typedef Handle FLO_Distortion;

// A curve point, 12 bytes: position in 16.16 and a flags word (unused, kept).
typedef struct FLO_CurvePoint {
  Fixed x, y;
  int32_t flags;
} FLO_CurvePoint;

// One forward-array element: where a grid point lands (16.16).
typedef struct FLO_ForwardElement {
  int32_t x, y;
} FLO_ForwardElement;

// A grid generator: given the time, the grid point's column and row
// (0..columns, 0..rows) and its rest position, writes where it lands. A
// non-zero result stops the computation and is returned.
typedef ErrorCode (*FLO_GridGenerator)(uintptr_t refcon, FpLong time, int32_t column, int32_t row,
                                       FpLong restX, FpLong restY, FpLong* x, FpLong* y);
// Progress of a drawing: rows done of total; a non-zero answer stops the
// drawing with that code.
typedef ErrorCode (*FLO_ProgressFunc)(uintptr_t refcon, int32_t done, int32_t total);

// A raw 32-bit image (alpha, red, green, blue bytes per pixel).
typedef struct FLO_ImageInfo {
  char* data;
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  int32_t depth;  // must be 32
} FLO_ImageInfo;

TV_EXPORT STR_Table FLOp_G_STRs;
TV_EXPORT uint32_t FLO_PkgObjectVersion(void);
TV_EXPORT ErrorCode FLO_CheckVersions(LocationCode location, int32_t expectedMajor);

// bounds must not be empty (else 3). The new distortion is of kind 0 with the
// default qualities, no curves, an identity matrix and no grid yet.
TV_EXPORT ErrorCode FLO_NewDistortion(const LRect* bounds, FLO_Distortion* distortion);
// Null is accepted; a distortion that is drawing gives 16649.
TV_EXPORT ErrorCode FLO_DisposeDistortion(FLO_Distortion distortion);

// Values outside their ranges are limited silently. The getters answer 3 for
// a null pointer.
TV_EXPORT ErrorCode FLO_SetDistortionQuality(FLO_Distortion distortion, int32_t q1, int32_t q2, int32_t q3,
                                             int32_t q4, int32_t q5, int32_t q6);
TV_EXPORT ErrorCode FLO_GetDistortionQuality(FLO_Distortion distortion, int32_t values[6]);
TV_EXPORT ErrorCode FLO_SetDrawingQuality(FLO_Distortion distortion, int32_t quality, int32_t value);
TV_EXPORT ErrorCode FLO_GetDrawingQuality(FLO_Distortion distortion, int32_t* quality, int32_t* value);
TV_EXPORT ErrorCode FLO_SetProgressInfo(FLO_Distortion distortion, FLO_ProgressFunc progress,
                                        uintptr_t refcon, uint32_t reserved);
// Selects kind 2; a null generator means the built-in one (the identity grid).
TV_EXPORT ErrorCode FLO_SetGridGenerator(FLO_Distortion distortion, FLO_GridGenerator generator,
                                         uintptr_t refcon);
// kind 0: a = the source curve, b = the destination curve (closed polygons,
// matched by arc length from their first points). kind 1: a = the curve
// list of pairs, b unused. Other kinds give 16647. The points are copied.
TV_EXPORT ErrorCode FLO_SetDistortionCurves(FLO_Distortion distortion, int32_t kind, int32_t countA,
                                            const FLO_CurvePoint* a, int32_t countB,
                                            const FLO_CurvePoint* b);
TV_EXPORT ErrorCode FLO_GetKind(FLO_Distortion distortion, int32_t* kind);

// A new handle holding a copy of the forward array (the caller disposes it).
TV_EXPORT ErrorCode FLO_GetForwardArray(FLO_Distortion distortion, Handle* array);
// The handle's size must be exactly the grid's (else 16648); the contents
// are copied. Before FLO_DoDistortion there is no grid (16644).
TV_EXPORT ErrorCode FLO_SetForwardArray(FLO_Distortion distortion, Handle array);
// column 0..across - 1, row 0..down - 1 (else 16650).
TV_EXPORT ErrorCode FLO_GetForwardElement(FLO_Distortion distortion, int32_t column, int32_t row, int32_t* x,
                                          int32_t* y);
TV_EXPORT ErrorCode FLO_SetForwardElement(FLO_Distortion distortion, int32_t column, int32_t row, int32_t x,
                                          int32_t y);
// info: columns, rows, elements across (columns + 3), elements down (rows + 3), 0.
TV_EXPORT ErrorCode FLO_GetForwardInfo(FLO_Distortion distortion, int32_t info[5]);
// The rectangle the drawing produces: the bounds joined with the landing
// positions of the grid (rounded outwards).
TV_EXPORT ErrorCode FLO_GetOutputRect(FLO_Distortion distortion, LRect* output);

// 16648 for curves of fewer than 3 points, 16643 for curves without length or
// a generator that gives no position, 16647 for an unknown kind, 3 for a
// time that is not finite.
TV_EXPORT ErrorCode FLO_DoDistortion(FLO_Distortion distortion, FpLong time);
// The source must be the bounds' size and the destination the output
// rectangle's size (16648). Pixels not reached by the mesh become transparent.
// 16644 before FLO_DoDistortion, 16649 while another drawing is under way, 3
// for null images, row bytes too small or (image info) a depth other than 32.
TV_EXPORT ErrorCode FLO_DrawPFWorldDistortion(FLO_Distortion distortion, const PFWorld* source,
                                              PFWorld* destination);
TV_EXPORT ErrorCode FLO_DrawImageInfoDistortion(FLO_Distortion distortion, const FLO_ImageInfo* source,
                                                FLO_ImageInfo* destination);

// Two null distortions are equal, one null is unequal; otherwise equal when
// kind, bounds, the six quality values, the two drawing values and the curves match.
TV_EXPORT ErrorCode FLO_CompareDistortions(FLO_Distortion a, FLO_Distortion b, Boolean32* equal);
