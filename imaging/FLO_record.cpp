// FLO: the distortion record, its settings, the forward array accessors and
// comparison.
#include <cstring>

#include "FLO_internal.h"

namespace tv::flo {

ErrorCode ReadCurve(LIST_Handle list, ScratchArray<FLO_CurvePoint>& points, uint32_t site) {
  int32_t n = 0;
  if (ErrorCode err = LIST_GetNumItems(list, &n)) return err;
  if (!points.Allocate(static_cast<size_t>(n))) return FailMemory(site, uint64_t(n) * 12);
  for (int32_t i = 0; i < n; ++i)
    if (ErrorCode err = LIST_GetItem(list, i, &points[i])) return err;
  return 0;
}

namespace {

constexpr int32_t kQualityMin[6] = {5, 4, 14, 0, 0, 0};
constexpr int32_t kQualityMax[6] = {10, 7, 20, 1, 32, 1000};
constexpr int32_t kQualityDefault[6] = {6, 5, 14, 1, 0, 0};

int32_t Limit(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

ErrorCode NewCurveList(LIST_Handle* list) { return LIST_New(0, sizeof(FLO_CurvePoint), 16, 0, list); }

void DisposeParts(Record& r) {
  if (r.sourceCurve) LIST_Dispose(r.sourceCurve, 0);
  if (r.curveList) LIST_Dispose(r.curveList, 0);
  if (r.destCurve) LIST_Dispose(r.destCurve, 0);
  if (r.segments) LIST_Dispose(r.segments, 0);
  r.sourceCurve = r.curveList = r.destCurve = r.segments = nullptr;
  if (r.work) {
    if (*r.work && reinterpret_cast<Work*>(*r.work)->forward) DisposeHandle(reinterpret_cast<Work*>(*r.work)->forward);
    DisposeHandle(r.work);
    r.work = nullptr;
  }
}

// Replaces list's contents with n points.
ErrorCode FillCurve(LIST_Handle list, int32_t n, const FLO_CurvePoint* points) {
  if (ErrorCode err = LIST_SetNumItems(0, list, 0)) return err;
  if (ErrorCode err = LIST_ReserveSpace(n, list)) return err;
  for (int32_t i = 0; i < n; ++i)
    if (ErrorCode err = LIST_Insert(&points[i], -1, list)) return err;
  return 0;
}

bool SameCurve(LIST_Handle a, LIST_Handle b) {
  ScratchArray<FLO_CurvePoint> pa, pb;
  if (ReadCurve(a, pa, kSiteCompare) || ReadCurve(b, pb, kSiteCompare)) return false;
  if (pa.size() != pb.size()) return false;
  return pa.size() == 0 || std::memcmp(pa.data(), pb.data(), pa.size() * sizeof(FLO_CurvePoint)) == 0;
}

// Checks that the grid exists and (column, row) is inside it.
ErrorCode CheckElement(FLO_Distortion d, int32_t column, int32_t row) {
  const Work& w = WorkOf(d);
  if (!w.prepared || !w.forward) return kReport.Fail(kSiteForward, FLO_ErrNotPrepared, kTextNotPrepared, {kReport.Text(kTextNoGrid)});
  int32_t across = w.columns + 3, down = w.rows + 3;
  if (column < 0 || row < 0 || column >= across || row >= down)
    return kReport.Fail(kSiteForward, FLO_ErrGridIndex, kTextGridIndex, {column, row, across, down});
  return 0;
}

}  // namespace
}  // namespace tv::flo

using namespace tv;
using namespace tv::flo;

TV_EXPORT ErrorCode FLO_NewDistortion(const LRect* bounds, FLO_Distortion* distortion) {
  if (distortion) *distortion = nullptr;
  if (!distortion || !bounds || bounds->right <= bounds->left || bounds->bottom <= bounds->top)
    return kReport.Fail(kSiteNew, kErrBadParam, kTextBadParam, {"FLO_NewDistortion"});
  Handle h = NewHandleClear(sizeof(Record));
  if (!h) return FailMemory(kSiteNew, sizeof(Record));
  Record r{};
  r.magic = r.endMagic = FLO_Magic;
  r.kind = FLO_Kind_Curves;
  r.bounds = *bounds;
  std::memcpy(r.quality, kQualityDefault, sizeof r.quality);
  r.drawQuality = 0;
  r.drawValue = 200;
  M_SetIdentityMatrix(&r.matrix);
  ErrorCode err = 0;
  if (!err) err = NewCurveList(&r.sourceCurve);
  if (!err) err = NewCurveList(&r.curveList);
  if (!err) err = NewCurveList(&r.destCurve);
  if (!err) err = LIST_New(0, sizeof(Segment), 64, 0, &r.segments);
  if (!err) {
    r.work = NewHandleClear(sizeof(Work));
    if (!r.work) err = FailMemory(kSiteNew, sizeof(Work));
  }
  if (err) {
    DisposeParts(r);
    DisposeHandle(h);
    return err;
  }
  Work& w = *reinterpret_cast<Work*>(*r.work);
  w.magic = kWorkMagic;
  w.quality3 = r.quality[2];
  w.drawValue = r.drawValue;
  w.output = r.bounds;
  *reinterpret_cast<Record*>(*h) = r;
  *distortion = h;
  return 0;
}

TV_EXPORT ErrorCode FLO_DisposeDistortion(FLO_Distortion d) {
  if (!d) return 0;
  if (ErrorCode err = Check(d, kSiteDispose)) return err;
  // A distortion being drawn or computed is still in use by the caller below.
  if (WorkOf(d).busy || WorkOf(d).computing) return kReport.Fail(kSiteDispose, FLO_ErrBusy, kTextBusy);
  Record r = Rec(d);
  DisposeParts(r);
  Rec(d).magic = Rec(d).endMagic = kDeadMagic;
  DisposeHandle(d);
  return 0;
}

TV_EXPORT ErrorCode FLO_SetDistortionQuality(FLO_Distortion d, int32_t q1, int32_t q2, int32_t q3, int32_t q4,
                                             int32_t q5, int32_t q6) {
  if (ErrorCode err = Check(d, kSiteQuality)) return err;
  const int32_t in[6] = {q1, q2, q3, q4, q5, q6};
  Record& r = Rec(d);
  for (int i = 0; i < 6; ++i) r.quality[i] = Limit(in[i], kQualityMin[i], kQualityMax[i]);
  WorkOf(d).quality3 = r.quality[2];
  return 0;
}

TV_EXPORT ErrorCode FLO_GetDistortionQuality(FLO_Distortion d, int32_t values[6]) {
  if (!values) return kReport.Fail(kSiteQuality, kErrBadParam, kTextBadParam, {"FLO_GetDistortionQuality"});
  std::memset(values, 0, 6 * sizeof(int32_t));
  if (ErrorCode err = Check(d, kSiteQuality)) return err;
  std::memcpy(values, Rec(d).quality, 6 * sizeof(int32_t));
  return 0;
}

TV_EXPORT ErrorCode FLO_SetDrawingQuality(FLO_Distortion d, int32_t quality, int32_t value) {
  if (ErrorCode err = Check(d, kSiteQuality)) return err;
  Record& r = Rec(d);
  r.drawQuality = Limit(quality, 0, 1);
  r.drawValue = Limit(value, 0, 255);
  WorkOf(d).drawValue = r.drawValue;
  return 0;
}

TV_EXPORT ErrorCode FLO_GetDrawingQuality(FLO_Distortion d, int32_t* quality, int32_t* value) {
  if (quality) *quality = 0;
  if (value) *value = 0;
  if (!quality || !value) return kReport.Fail(kSiteQuality, kErrBadParam, kTextBadParam, {"FLO_GetDrawingQuality"});
  if (ErrorCode err = Check(d, kSiteQuality)) return err;
  *quality = Rec(d).drawQuality;
  *value = Rec(d).drawValue;
  return 0;
}

TV_EXPORT ErrorCode FLO_SetProgressInfo(FLO_Distortion d, FLO_ProgressFunc progress, uintptr_t refcon,
                                        uint32_t reserved) {
  if (ErrorCode err = Check(d, kSiteProgress)) return err;
  Record& r = Rec(d);
  r.progress = progress;
  r.progressRefcon = refcon;
  r.progressReserved = reserved;
  return 0;
}

TV_EXPORT ErrorCode FLO_SetGridGenerator(FLO_Distortion d, FLO_GridGenerator generator, uintptr_t refcon) {
  if (ErrorCode err = Check(d, kSiteGenerator)) return err;
  Record& r = Rec(d);
  r.kind = FLO_Kind_Generator;
  r.generator = generator;
  r.generatorRefcon = refcon;
  r.generatorTag = FLO_GeneratorTag;
  return 0;
}

TV_EXPORT ErrorCode FLO_SetDistortionCurves(FLO_Distortion d, int32_t kind, int32_t countA,
                                            const FLO_CurvePoint* a, int32_t countB, const FLO_CurvePoint* b) {
  if (ErrorCode err = Check(d, kSiteCurves)) return err;
  if (kind != FLO_Kind_Curves && kind != FLO_Kind_CurveList)
    return kReport.Fail(kSiteCurves, FLO_ErrBadKind, kTextBadKind, {kind});
  if (countA < 0 || (countA > 0 && !a) || (kind == FLO_Kind_Curves && (countB < 0 || (countB > 0 && !b))))
    return kReport.Fail(kSiteCurves, kErrBadParam, kTextBadParam, {"FLO_SetDistortionCurves"});
  Record r = Rec(d);
  ErrorCode err = 0;
  if (kind == FLO_Kind_Curves) {
    err = FillCurve(r.sourceCurve, countA, a);
    if (!err) err = FillCurve(r.destCurve, countB, b);
  } else {
    err = FillCurve(r.curveList, countA, a);
  }
  if (err) return err;
  Rec(d).kind = kind;
  return 0;
}

TV_EXPORT ErrorCode FLO_GetKind(FLO_Distortion d, int32_t* kind) {
  if (!kind) return kReport.Fail(kSiteCurves, kErrBadParam, kTextBadParam, {"FLO_GetKind"});
  *kind = 0;
  if (ErrorCode err = Check(d, kSiteCurves)) return err;
  *kind = Rec(d).kind;
  return 0;
}

TV_EXPORT ErrorCode FLO_GetForwardInfo(FLO_Distortion d, int32_t info[5]) {
  if (!info) return kReport.Fail(kSiteForward, kErrBadParam, kTextBadParam, {"FLO_GetForwardInfo"});
  std::memset(info, 0, 5 * sizeof(int32_t));
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  const Work& w = WorkOf(d);
  if (!w.prepared) return kReport.Fail(kSiteForward, FLO_ErrNotPrepared, kTextNotPrepared, {kReport.Text(kTextNoGrid)});
  info[0] = w.columns;
  info[1] = w.rows;
  info[2] = w.columns + 3;
  info[3] = w.rows + 3;
  info[4] = 0;
  return 0;
}

TV_EXPORT ErrorCode FLO_GetOutputRect(FLO_Distortion d, LRect* output) {
  if (!output) return kReport.Fail(kSiteForward, kErrBadParam, kTextBadParam, {"FLO_GetOutputRect"});
  *output = LRect{};
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  *output = WorkOf(d).output;
  return 0;
}

TV_EXPORT ErrorCode FLO_GetForwardArray(FLO_Distortion d, Handle* array) {
  if (!array) return kReport.Fail(kSiteForward, kErrBadParam, kTextBadParam, {"FLO_GetForwardArray"});
  *array = nullptr;
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  if (ErrorCode err = CheckElement(d, 0, 0)) return err;
  Handle copy = WorkOf(d).forward;
  if (HandToHand(&copy) != 0 || !copy) return FailMemory(kSiteForward, static_cast<uint64_t>(GetHandleSize(WorkOf(d).forward)));
  *array = copy;
  return 0;
}

TV_EXPORT ErrorCode FLO_SetForwardArray(FLO_Distortion d, Handle array) {
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  if (ErrorCode err = CheckElement(d, 0, 0)) return err;
  if (!array || !*array) return kReport.Fail(kSiteForward, kErrBadParam, kTextBadParam, {"FLO_SetForwardArray"});
  // The array must be exactly the grid's size: a shorter one would leave
  // grid points unset and a longer one hides a mismatch of grid sizes.
  Handle forward = WorkOf(d).forward;
  Size want = GetHandleSize(forward), have = GetHandleSize(array);
  if (want != have)
    return kReport.Fail(kSiteForward, FLO_ErrBadSize, kTextArraySize,
                {static_cast<int64_t>(have), static_cast<int64_t>(want)});
  std::memcpy(*forward, *array, static_cast<size_t>(want));
  return 0;
}

// The same range check as FLO_SetForwardElement: reading outside the grid
// would read past the end of the array.
TV_EXPORT ErrorCode FLO_GetForwardElement(FLO_Distortion d, int32_t column, int32_t row, int32_t* x,
                                          int32_t* y) {
  if (x) *x = 0;
  if (y) *y = 0;
  if (!x || !y) return kReport.Fail(kSiteForward, kErrBadParam, kTextBadParam, {"FLO_GetForwardElement"});
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  if (ErrorCode err = CheckElement(d, column, row)) return err;
  const Work& w = WorkOf(d);
  const FLO_ForwardElement& e =
      reinterpret_cast<const FLO_ForwardElement*>(*w.forward)[row * (w.columns + 3) + column];
  *x = e.x;
  *y = e.y;
  return 0;
}

TV_EXPORT ErrorCode FLO_SetForwardElement(FLO_Distortion d, int32_t column, int32_t row, int32_t x, int32_t y) {
  if (ErrorCode err = Check(d, kSiteForward)) return err;
  if (ErrorCode err = CheckElement(d, column, row)) return err;
  const Work& w = WorkOf(d);
  FLO_ForwardElement& e = reinterpret_cast<FLO_ForwardElement*>(*w.forward)[row * (w.columns + 3) + column];
  e.x = x;
  e.y = y;
  return 0;
}

TV_EXPORT ErrorCode FLO_CompareDistortions(FLO_Distortion a, FLO_Distortion b, Boolean32* equal) {
  if (!equal) return kReport.Fail(kSiteCompare, kErrBadParam, kTextBadParam, {"FLO_CompareDistortions"});
  *equal = 0;
  if (!a && !b) {
    *equal = 1;
    return 0;
  }
  if (!a || !b) return 0;
  if (ErrorCode err = Check(a, kSiteCompare)) return err;
  if (ErrorCode err = Check(b, kSiteCompare)) return err;
  Record ra = Rec(a), rb = Rec(b);
  bool same = ra.kind == rb.kind && ra.bounds.left == rb.bounds.left && ra.bounds.top == rb.bounds.top &&
              ra.bounds.right == rb.bounds.right && ra.bounds.bottom == rb.bounds.bottom &&
              std::memcmp(ra.quality, rb.quality, sizeof ra.quality) == 0 && ra.drawQuality == rb.drawQuality &&
              ra.drawValue == rb.drawValue;
  same = same && SameCurve(ra.sourceCurve, rb.sourceCurve) && SameCurve(ra.destCurve, rb.destCurve) &&
         SameCurve(ra.curveList, rb.curveList);
  *equal = same ? 1 : 0;
  return 0;
}
