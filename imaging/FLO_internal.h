// FLO's private record layouts and helpers.
#pragma once

#include "FLO.h"
#include "LIST.h"
#include "Memory.h"
#include "Package.h"
#include "Scratch.h"

namespace tv::flo {

constexpr uint32_t kDeadMagic = 0xDEAD0F10;
constexpr uint32_t kWorkMagic = 0xF10F10;

// The distortion record (in its handle).
struct Record {
  uint32_t magic;
  int32_t kind;
  LRect bounds;
  int32_t quality[6];
  int32_t drawQuality;
  int32_t drawValue;
  LIST_Handle sourceCurve;  // FLO_CurvePoint
  LIST_Handle curveList;    // FLO_CurvePoint
  LIST_Handle destCurve;    // FLO_CurvePoint
  LIST_Handle segments;     // Segment
  FloatMatrix matrix;
  uintptr_t generatorRefcon;
  FLO_GridGenerator generator;
  uint32_t generatorTag;
  FLO_ProgressFunc progress;
  uintptr_t progressRefcon;
  uint32_t progressReserved;
  Handle work;
  uint32_t endMagic;
};

// A correspondence found while computing the mesh: a source sample and the
// place it moves to (16.16), 24 bytes.
struct Segment {
  Fixed srcX, srcY, dstX, dstY;
  int32_t index;
  int32_t reserved;
};
static_assert(sizeof(Segment) == 24);
static_assert(sizeof(FLO_CurvePoint) == 12);
static_assert(sizeof(FLO_ForwardElement) == 8);

// The working state (in its handle).
struct Work {
  uint32_t magic;
  int32_t quality3;
  int32_t drawValue;
  int32_t busy;       // a drawing is under way
  int32_t computing;  // FLO_DoDistortion is calling a grid generator
  int32_t prepared;  // the grid exists
  int32_t columns, rows;
  LRect output;
  Handle forward;  // (columns + 3) x (rows + 3) FLO_ForwardElement
};

// Report sites.
enum : uint32_t {
  kSiteNew = 1, kSiteDispose, kSiteCheck, kSiteQuality, kSiteCurves, kSiteForward, kSiteDo, kSiteDraw,
  kSiteCompare, kSiteGenerator, kSiteProgress,
};

// Text indices of FLOp_G_STRs.
enum : int32_t {
  kTextUnknown = 0, kTextFitFailed, kTextNotPrepared, kTextBadKind, kTextTooFewPoints, kTextSizeMismatch,
  kTextBusy, kTextGridIndex, kTextDamaged, kTextBadParam, kTextMemory, kTextArraySize, kTextMemoryData,
  kTextNoWork, kTextNoGrid, kTextSourceNoLength, kTextDestinationNoLength, kTextNoGridPosition, kTextCount
};

extern const pkg::Reporter kReport;
constexpr LocationCode Loc(uint32_t site) { return Location(FLO_PackageNumber, site); }
// "not enough memory to create distortion data..." for size bytes; returns 4.
ErrorCode FailMemory(uint32_t site, uint64_t size);

// Checks the record and its working state; reports and returns the failure.
ErrorCode Check(FLO_Distortion d, uint32_t site);
inline Record& Rec(FLO_Distortion d) { return *reinterpret_cast<Record*>(*d); }
inline Work& WorkOf(FLO_Distortion d) { return *reinterpret_cast<Work*>(*Rec(d).work); }

// The rest position of grid point i of n over [lo, lo + size), 16.16.
inline int64_t RestFixed(int32_t lo, int32_t size, int32_t i, int32_t n) {
  return int64_t{lo} * 65536 + (int64_t{i} * size * 65536 + n / 2) / n;
}

// Reads a curve list (reporting failures).
ErrorCode ReadCurve(LIST_Handle list, ScratchArray<FLO_CurvePoint>& points, uint32_t site);

}  // namespace tv::flo
