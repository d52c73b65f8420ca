// The suites the effect package adds to the suite system: parameter
// utilities over the call's Sequence, reading paths, and the mask-path query
// (which needs the project's masks and says so).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "FLT_Suites.h"
#include "FLT_internal.h"
#include "PLUG.h"

namespace tv::flt {
namespace {

ErrorCode Says(PF_Result code, const char* text) {
  return report::Code(kReport.Loc(kSiteCallback), kSevError, code, text);
}

EffectRef* RefOf(PF_ProgPtr p) {
  auto* ref = static_cast<EffectRef*>(p);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic) {
    kReport.Damaged(kSiteCallback, {"effect reference"});
    return nullptr;
  }
  return ref;
}

// The call's Sequence with its parameters locked, and parameter `index`.
class SeqParam {
 public:
  SeqParam(PF_ProgPtr p, int32_t index) {
    EffectRef* ref = RefOf(p);
    if (!ref) {
      err_ = PF_Result_Damaged;
      return;
    }
    if (!ref->seq) {
      err_ = Says(PF_Result_BadCallbackArg, "sequence context not available");
      return;
    }
    lock_.emplace(ref->seq);
    if ((err_ = lock_->error())) return;
    int32_t count = 0;
    FLT_SeqInqNumParams(ref->seq, &count);
    if (index < 0 || index >= count) {
      err_ = Says(PF_Result_BadCallbackArg, "param_index out of range.");
      return;
    }
    param_ = lock_->list()[index];
  }
  ErrorCode error() const { return err_; }
  PF_ParamDef& param() const { return *param_; }
  TDB_Stream stream() const { return static_cast<TDB_Stream>(param_->stream); }

 private:
  std::optional<ParamsLock> lock_;
  PF_ParamDef* param_ = nullptr;
  ErrorCode err_ = 0;
};

PF_Result UpdateParamUI(PF_ProgPtr ref, int32_t index, const PF_ParamDef* def) {
  if (!def) return Says(PF_Result_BadCallbackArg, "UpdateParamUI() passed ParamDef of wrong type.");
  SeqParam sp(ref, index);
  if (sp.error()) return sp.error();
  PF_ParamDef& p = sp.param();
  if (def->type != p.type) return Says(PF_Result_BadCallbackArg, "UpdateParamUI() passed ParamDef of wrong type.");
  std::memcpy(p.name, def->name, sizeof p.name);
  p.name[sizeof p.name - 1] = 0;  // the effect's text is read only within its field
  p.uiFlags = def->uiFlags;
  p.uiWidth = def->uiWidth;
  p.uiHeight = def->uiHeight;
  return 0;
}

PF_Result KeyCount(PF_ProgPtr ref, int32_t index, int32_t* count) {
  if (!count) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"getKeyframeCount"});
  *count = 0;
  SeqParam sp(ref, index);
  if (sp.error()) return sp.error();
  return sp.stream() ? TDB_GetNumKeys(sp.stream(), count) : 0;  // no Stream, no keys
}

PF_Result KeyTime(const SeqParam& sp, int32_t keyIndex, int32_t* keyTime, uint32_t* keyScale) {
  int32_t count = 0;
  if (sp.stream()) TDB_GetNumKeys(sp.stream(), &count);
  if (keyIndex < 0 || keyIndex >= count) return Says(PF_Result_BadCallbackArg, "invalid keyframe index.");
  Time t{};
  if (ErrorCode err = TDB_IndexToTime(sp.stream(), keyIndex, &t)) return err;
  if (keyTime) *keyTime = t.value;
  if (keyScale) *keyScale = t.scale;
  return 0;
}

PF_Result CheckoutKey(PF_ProgPtr ref, int32_t index, int32_t keyIndex, int32_t* keyTime, uint32_t* keyScale,
                      PF_ParamDef* param) {
  if (!keyTime != !keyScale) return Says(PF_Result_BadCallbackArg, "CheckoutKeyframe requires both or neither key_time pointers");
  if (param) std::memset(param, 0, sizeof *param);
  SeqParam sp(ref, index);
  if (sp.error()) return sp.error();
  if (PF_Result err = KeyTime(sp, keyIndex, keyTime, keyScale)) return err;
  if (!param) return 0;
  *param = sp.param();
  double v[4] = {};
  if (ErrorCode err = TDB_GetKeyF(sp.stream(), keyIndex, v)) return err;
  ParamFromStreamValue(*param, v);
  return 0;
}

PF_Result CheckinKey(PF_ProgPtr ref, PF_ParamDef*) { return RefOf(ref) ? 0 : PF_Result_Damaged; }

PF_Result IndexToTime(PF_ProgPtr ref, int32_t index, int32_t keyIndex, int32_t* keyTime, uint32_t* keyScale) {
  if (!keyTime || !keyScale) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"keyIndexToTime"});
  *keyTime = 0;
  *keyScale = 0;
  SeqParam sp(ref, index);
  if (sp.error()) return sp.error();
  return KeyTime(sp, keyIndex, keyTime, keyScale);
}

PF_Result FindKeyTime(PF_ProgPtr ref, int32_t index, int32_t time, uint32_t scale, int32_t direction,
                      int32_t* found, int32_t* keyIndex, int32_t* keyTime, uint32_t* keyScale) {
  if (!keyTime != !keyScale) return Says(PF_Result_BadCallbackArg, "FindKeyframeTime requires both or neither key_time pointers");
  if (!found || scale == 0 || direction < -1 || direction > 1)
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"findKeyframeTime"});
  *found = 0;
  if (keyIndex) *keyIndex = 0;
  if (keyTime) *keyTime = 0, *keyScale = 0;
  SeqParam sp(ref, index);
  if (sp.error()) return sp.error();
  if (!sp.stream()) return 0;
  const Time t{time, scale};
  Boolean32 hit = 0;
  int32_t at = 0;
  Time k{};
  // -1 the key before, 1 the key after, 0 a key at the time itself.
  const int32_t how = direction < 0 ? TDB_FindBackward : direction == 0 ? TDB_FindIncludeExact : 0;
  if (ErrorCode err = TDB_FindKeyTime(sp.stream(), &t, 0, how, &hit, &at, &k)) return err;
  if (hit && direction == 0)
    hit = int64_t(k.value) * t.scale == int64_t(t.value) * k.scale;  // the key after is not "at"
  *found = hit ? 1 : 0;
  if (!hit) return 0;
  if (keyIndex) *keyIndex = at;
  if (keyTime) *keyTime = k.value, *keyScale = k.scale;
  return 0;
}

PF_Result IsIdentical(PF_ProgPtr, int32_t, int32_t, int32_t, uint32_t, int32_t* identical) {
  if (identical) *identical = 0;
  return Says(kErrUnimplemented, "IsIdenticalCheckout not yet implemented");
}

constexpr PF_ParamUtilsSuite kParamUtils = {UpdateParamUI, KeyCount,    CheckoutKey, CheckinKey,
                                            IndexToTime,   FindKeyTime, IsIdentical};

// ---- Paths ----------------------------------------------------------------------
PF_Result CheckPath(PF_ProgPtr ref, const PF_Path* path, const char* op) {
  if (!RefOf(ref)) return PF_Result_Damaged;
  if (!path || path->count < 0 || (path->count > 0 && !path->vertices))
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {op});
  return 0;
}
int32_t Segments(const PF_Path& p) { return p.count < 2 ? 0 : p.closed ? p.count : p.count - 1; }

PF_Result IsOpen(PF_ProgPtr ref, const PF_Path* path, int32_t* open) {
  if (PF_Result err = CheckPath(ref, path, "isOpen")) return err;
  if (!open) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"isOpen"});
  *open = path->closed ? 0 : 1;
  return 0;
}
PF_Result NumSegments(PF_ProgPtr ref, const PF_Path* path, int32_t* count) {
  if (PF_Result err = CheckPath(ref, path, "numSegments")) return err;
  if (!count) return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"numSegments"});
  *count = Segments(*path);
  return 0;
}
PF_Result Vertex(PF_ProgPtr ref, const PF_Path* path, int32_t index, PF_PathVertex* vertex) {
  if (PF_Result err = CheckPath(ref, path, "vertex")) return err;
  if (!vertex || index < 0 || index >= path->count)
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"vertex"});
  *vertex = path->vertices[index];
  return 0;
}
// The cubic of segment index at t.
void Eval(const PF_Path& p, int32_t index, double t, double* x, double* y) {
  const PF_PathVertex& a = p.vertices[index];
  const PF_PathVertex& b = p.vertices[(index + 1) % p.count];
  const double u = 1 - t;
  const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
  *x = w0 * a.x + w1 * a.outX + w2 * b.inX + w3 * b.x;
  *y = w0 * a.y + w1 * a.outY + w2 * b.inY + w3 * b.y;
}
PF_Result SegmentLength(PF_ProgPtr ref, const PF_Path* path, int32_t index, double* length) {
  if (PF_Result err = CheckPath(ref, path, "segmentLength")) return err;
  if (!length || index < 0 || index >= Segments(*path))
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"segmentLength"});
  double x0 = 0, y0 = 0, sum = 0;
  Eval(*path, index, 0, &x0, &y0);
  for (int i = 1; i <= 64; ++i) {
    double x = 0, y = 0;
    Eval(*path, index, i / 64.0, &x, &y);
    sum += std::hypot(x - x0, y - y0);
    x0 = x;
    y0 = y;
  }
  *length = sum;
  return 0;
}
PF_Result PointOnSegment(PF_ProgPtr ref, const PF_Path* path, int32_t index, double t, double* x, double* y) {
  if (PF_Result err = CheckPath(ref, path, "pointOnSegment")) return err;
  if (!x || !y || index < 0 || index >= Segments(*path) || std::isnan(t))
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"pointOnSegment"});
  Eval(*path, index, std::clamp(t, 0.0, 1.0), x, y);
  return 0;
}
constexpr PF_PathDataSuite kPathData = {IsOpen, NumSegments, Vertex, SegmentLength, PointOnSegment};

// The layer's masks live in the project, which hands effects none yet.
PF_Result NoMasks(PF_ProgPtr ref) {
  if (!RefOf(ref)) return PF_Result_Damaged;
  return kReport.Fail(kSiteCallback, kErrUnimplemented, kTextUnimplemented, {"reading the layer's mask paths"});
}
PF_Result NumPaths(PF_ProgPtr ref, int32_t* count) {
  if (count) *count = 0;
  return NoMasks(ref);
}
PF_Result PathInfo(PF_ProgPtr ref, int32_t, int32_t* pathId) {
  if (pathId) *pathId = 0;
  return NoMasks(ref);
}
PF_Result CheckoutPath(PF_ProgPtr ref, int32_t, int32_t, uint32_t, PF_Path* path) {
  if (path) *path = PF_Path{};
  return NoMasks(ref);
}
PF_Result CheckinPath(PF_ProgPtr ref, int32_t, PF_Path*) { return NoMasks(ref); }
constexpr PF_PathQuerySuite kPathQuery = {NumPaths, PathInfo, CheckoutPath, CheckinPath};

struct Added {
  const char* name;
  const void* procs;
};
constexpr Added kAdded[] = {{"PF Path Query Suite", &kPathQuery},
                            {"PF Path Data Suite", &kPathData},
                            {"PF Param Utils Suite", &kParamUtils}};

}  // namespace
}  // namespace tv::flt

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_InstallStandardSuites(void) {
  for (const Added& a : kAdded) {
    // Installed once for the suite system's life: a second call (the
    // package born again while the suite system lives) finds them there.
    const void* there = nullptr;
    PLUG_SuiteListIterator it = nullptr;
    if (ErrorCode err = PLUG_NewBRSuiteListIterator(&it)) return err;
    char name[PLUG_MaxSuiteName + 1];
    int32_t major = 0, minor = 0;
    Boolean32 more = 0;
    while (PLUG_NextBRSuite(it, name, &major, &minor, &more) == 0 && more)
      if (major == 1 && std::strcmp(name, a.name) == 0) there = a.procs;
    PLUG_DeleteBRSuiteListIterator(it);
    if (there) continue;
    if (ErrorCode err = PLUG_AddBRSuite(0, 0, a.name, 1, 1, a.procs)) return err;
  }
  return 0;
}
