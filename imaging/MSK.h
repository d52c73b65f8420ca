// MSK: mask rasterization. A mask shape (a closed Bezier path of OM, or a
// rectangle or an oval drawn as the path OM_SetShapeType makes of it, in
// absolute Fixed coordinates) becomes a one-byte-per-pixel coverage ("uno")
// buffer of the pixel utilities, which the caller combines with other masks
// (PF_AccumulateUnoBuffers) and merges into a world's alpha
// (PF_MergeMaskAlpha).
//
// Coverage: with antialiasing each pixel gets the exact area of the shape
// inside it (curves flattened to within 1/20 pixel), under the even-odd rule:
// an area covered twice is outside. Without antialiasing a pixel is inside
// when its centre is. The byte is the coverage times the fill value (the
// opacity byte, or 255 for an inverted mask), rounded. Feather blurs the
// coverage by three box passes per direction (a Gaussian-like edge of the
// same variance as one box of half width the feather); the shape beyond the
// buffer's edges takes part in the blur. An inverted mask is inverted and
// faded by the opacity byte after that. Expansion moves the outline outwards
// (inwards when negative) by that many pixels before rasterizing.
//
// What callers may rely on:
// - Failures are reported once (package 38, severity 8): 3 for a shape that
//   is relative (or of no known type) or a null argument; 4 out of memory;
//   PF's codes (a buffer that is not one: 2, reported as a failed verification; an
//   abort function's answer) and OM's (a handle that is not a shape: 2)
//   passed up unchanged. The buffer is
//   unlocked again on every path.
// - A path of no area (fewer than three vertices, all on a line) or entirely
//   outside the buffer gives an all-zero buffer (all opacity for an inverted
//   mask). Opacity is clamped to 0..65536, feather to 0..2000 pixels and
//   expansion to -4000..4000 pixels.
// - *bounds (optional) receives the part of the buffer that may hold
//   non-zero coverage (top, left, bottom, right); the whole buffer for an
//   inverted mask, and an empty rectangle at 0 on failure.
// - Results are deterministic.
#pragma once

#include "BM.h"
#include "OM.h"
#include "PF.h"
#include "STR.h"
#include "Types.h"

enum { MSK_PackageNumber = 38 };

// The caller's description of a mask.
typedef struct MSK_MaskDesc {
  Fixed featherH;       // pixels
  Fixed featherV;       // pixels
  uint32_t invert;      // non-zero: inverted
  Fixed opacity;        // 0 .. 65536 (0 .. 100 %)
  uint32_t antialias;   // non-zero: exact area coverage
  PF_AbortRecord abort; // consulted before the merging and fading passes (abort null: never)
  Fixed expansion;      // pixels, outwards when positive
} MSK_MaskDesc;

TV_EXPORT uint32_t MSK_PkgObjectVersion(void);
TV_EXPORT ErrorCode MSK_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table MSKp_G_STRs;

// Fills buffer with the mask's coverage.
TV_EXPORT ErrorCode MSK_MaskWithShape(OM_Shape shape, const MSK_MaskDesc* desc, PF_UnoBuffer buffer, Rect* bounds);
// Rasterizes into a buffer of the world's size and multiplies the world's
// alpha by it (alpha outside *bounds cleared).
TV_EXPORT ErrorCode MSK_MaskWithWorld(OM_Shape shape, const MSK_MaskDesc* desc, PFWorld* world, Rect* bounds);
