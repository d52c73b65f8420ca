// Time mapping between composition, layer and source, the layer's times
// and its activity.
#include <algorithm>
#include <cmath>

#include "BEE_internal.h"

namespace tv::bee {
namespace {

constexpr Time kShift{1, 300};  // the backwards-play shift of 1/300 s

bool Unstretched(Ratio s) { return s.num >= 0 && static_cast<uint32_t>(s.num) == s.den; }

ErrorCode ToComp(const BEE_LayerRec& r, Time d, Time* out) {
  if (Unstretched(r.stretch)) {
    *out = d;
    return 0;
  }
  return T_MulTime(d, r.stretch, out);
}

ErrorCode ToLayer(const BEE_LayerRec& r, Time d, Time* out) {
  if (Unstretched(r.stretch)) {
    *out = d;
    return 0;
  }
  // A stretch of 0 cannot be set; a damaged one is refused, never divided by.
  if (r.stretch.num == 0 || r.stretch.den == 0)
    return kReport.Report(BEE_SiteTimeMap, kSevError, kErrBadParam, kTextBadStretch,
                {r.stretch.num, static_cast<uint64_t>(r.stretch.den)});
  Ratio x{};
  if (ErrorCode err = M_DivRatio(t::ToRatio(d), r.stretch, &x, M_APPROXIMATE)) {
    *out = kInvalidTime;
    return err;
  }
  *out = t::FromRatio(x);
  return 0;
}

ErrorCode LayerToComp(const BEE_LayerRec& r, Time t, Time* out) {
  Time x = t;
  if (r.stretch.num < 0)
    if (ErrorCode err = T_AddTime(x, kShift, &x)) return err;
  if (ErrorCode err = ToComp(r, x, &x)) return err;
  if (r.offset.value != 0)
    if (ErrorCode err = T_AddTime(x, r.offset, &x)) return err;
  *out = x;
  return 0;
}

ErrorCode CompToLayer(const BEE_LayerRec& r, Time t, Time* out) {
  Time x = t;
  if (r.offset.value != 0)
    if (ErrorCode err = T_SubTime(x, r.offset, &x)) return err;
  if (ErrorCode err = ToLayer(r, x, &x)) return err;
  if (r.stretch.num < 0)
    if (ErrorCode err = T_SubTime(x, kShift, &x)) return err;
  *out = x;
  return 0;
}

bool TimeRemapOn(const BEE_LayerRec& r);

ErrorCode Clip(BEE_Layer layer, Time t, Time* out) {
  bool hasTime = false;
  Time d = SourceDuration(layer, &hasTime);
  // Sources without time (stills, solids, no source) do not limit a layer:
  // clipping to their zero duration would make such a layer never active.
  if (!hasTime) {
    *out = t;
    return 0;
  }
  return T_ClipTime(t, Time{0, d.scale}, d, out);
}

// The layer's own times, clipped to its source's length unless the layer
// is time remapped: a remapped layer lasts as long as its times say, and its
// remap keys choose the source frames.
ErrorCode ClipLayerTime(BEE_Layer layer, Time t, Time* out) {
  if (TimeRemapOn(R(layer))) {
    *out = t;
    return 0;
  }
  return Clip(layer, t, out);
}

bool TimeRemapOn(const BEE_LayerRec& r) {
  // Time remapping is on exactly when its stream is keyed.
  TDB_Stream s = r.streams[BEE_StreamTimeRemap];
  if (!s) return false;
  TDB_StreamInfo info{};
  if (TDB_GetStreamInfo(s, &info) != 0) return false;
  return !(info.flags & TDB_StreamConstant);
}

// A remapped time before the source's start shows its first frame, one at
// or after its end its last: a nested composition's last frame starts one
// frame before its end; footage is drawn from the frame at or before the
// time, so the last instant before its end does.
ErrorCode HoldInsideSource(BEE_Layer layer, Time* t) {
  bool hasTime = false;
  const Time d = SourceDuration(layer, &hasTime);
  if (!hasTime || d.scale == 0) return 0;
  if (t->value < 0) {
    *t = Time{0, t->scale};
    return 0;
  }
  if (t::Compare(*t, d) < 0) return 0;
  const BEE_ItemRec& src = R(R(layer).source);
  if (src.kind == BEE_KindComp && src.frameDuration.scale != 0 && t::Compare(src.frameDuration, d) <= 0)
    return T_SubTime(d, src.frameDuration, t);
  // One tick before the end at a fine scale (1/192000 s or finer).
  const uint64_t k = std::max<uint64_t>(1, (192000 + d.scale - 1) / d.scale);
  const int64_t v = int64_t{d.value} * static_cast<int64_t>(k) - 1;
  if (v <= INT32_MAX && uint64_t{d.scale} * k <= 0xFFFFFFFFu)
    *t = Time{static_cast<int32_t>(v), static_cast<uint32_t>(d.scale * k)};
  else
    *t = Time{d.value - 1, d.scale};
  return 0;
}

}  // namespace
}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

#define BEE_TIME_ENTRY(layer, out)                    \
  if (out) *out = kInvalidTime;                      \
  if (ErrorCode err = CheckLayer(layer)) return err; \
  if (!(out)) return kReport.BadParam(kSiteArgument, {__func__})

ErrorCode BEE_LayerToCompTime(BEE_Layer layer, Time layerTime, Time* compTime) try {
  BEE_TIME_ENTRY(layer, compTime);
  return LayerToComp(R(layer), layerTime, compTime);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CompToLayerTime(BEE_Layer layer, Time compTime, Time* layerTime) try {
  BEE_TIME_ENTRY(layer, layerTime);
  return CompToLayer(R(layer), compTime, layerTime);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerToCompDuration(BEE_Layer layer, Time duration, Time* compDuration) try {
  BEE_TIME_ENTRY(layer, compDuration);
  return ToComp(R(layer), duration, compDuration);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CompToLayerDuration(BEE_Layer layer, Time duration, Time* layerDuration) try {
  BEE_TIME_ENTRY(layer, layerDuration);
  return ToLayer(R(layer), duration, layerDuration);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerToSourceTime(BEE_Layer layer, Time layerTime, Time* sourceTime) try {
  BEE_TIME_ENTRY(layer, sourceTime);
  const BEE_LayerRec& r = R(layer);
  if (!TimeRemapOn(r)) {
    *sourceTime = layerTime;
    return 0;
  }
  TDB_Stream s = r.streams[BEE_StreamTimeRemap];
  double seconds = 0;
  if (ErrorCode err = TDB_GetValueF(s, &layerTime, 0, 0, &seconds, nullptr)) return err;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(s, &info)) return err;
  double v = std::round((seconds + 0.000001) * info.timeScale);
  // A remapped time outside the 32-bit range is refused rather than wrapped.
  if (!(v >= INT32_MIN && v <= INT32_MAX)) return Strange(BEE_SiteTimeMap, "BEE_LayerToSourceTime", 0);
  *sourceTime = Time{static_cast<int32_t>(v), info.timeScale};
  return HoldInsideSource(layer, sourceTime);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerToSourceTimeSpan(BEE_Layer layer, Time layerStart, Time layerDuration, Time* sourceStart,
                                    Time* sourceDuration) try {
  if (sourceDuration) *sourceDuration = kInvalidTime;
  BEE_TIME_ENTRY(layer, sourceStart);
  if (!sourceDuration) return kReport.BadParam(kSiteArgument, {"BEE_LayerToSourceTimeSpan"});
  Time end{};
  if (ErrorCode err = T_AddTime(layerStart, layerDuration, &end)) return err;
  Time s{}, e{};
  if (ErrorCode err = BEE_LayerToSourceTime(layer, layerStart, &s)) return err;
  if (ErrorCode err = BEE_LayerToSourceTime(layer, end, &e)) return err;
  Time d{};
  if (ErrorCode err = T_SubTime(e, s, &d)) return err;
  *sourceStart = s;
  *sourceDuration = d;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerTime(BEE_Layer layer, int32_t which, Time* time, Ratio* ratio) try {
  if (time) *time = kInvalidTime;
  if (ratio) *ratio = Ratio{0, 0};
  if (ErrorCode err = CheckLayer(layer)) return err;
  const BEE_LayerRec& r = R(layer);
  switch (which) {
    case BEE_LayerTimeInClipped:
    case BEE_LayerTimeOutClipped: {
      if (!time) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerTime"});
      return ClipLayerTime(layer, which == BEE_LayerTimeInClipped ? r.inPoint : r.outPoint, time);
    }
    case BEE_LayerTimeOffset:
      if (!time) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerTime"});
      *time = r.offset;
      return 0;
    case BEE_LayerTimeStretch:
      if (!ratio) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerTime"});
      *ratio = r.stretch;
      return 0;
    case BEE_LayerTimeIn:
    case BEE_LayerTimeOut:
      if (!time) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerTime"});
      *time = which == BEE_LayerTimeIn ? r.inPoint : r.outPoint;
      return 0;
    default: return Strange(BEE_SiteLayerTime, "BEE_GetLayerTime", which);
  }
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerCurrentTime(BEE_Layer layer, Time* time) try {
  BEE_TIME_ENTRY(layer, time);
  BEE_Item comp = R(layer).comp;
  if (ErrorCode err = CheckItem(comp)) return err;
  return CompToLayer(R(layer), R(comp).currentTime, time);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ClipToSourceDuration(BEE_Layer layer, Time time, Time* clipped) try {
  BEE_TIME_ENTRY(layer, clipped);
  return Clip(layer, time, clipped);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerActive(BEE_Layer layer, Time compTime, Boolean32 asMatte, Boolean32* active, Time* layerTime) try {
  if (active) *active = 0;
  if (layerTime) *layerTime = kInvalidTime;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!active) return kReport.BadParam(kSiteArgument, {"BEE_LayerActive"});
  const BEE_LayerRec& r = R(layer);
  Time t{};
  if (ErrorCode err = CompToLayer(r, compTime, &t)) return err;
  if (layerTime) *layerTime = t;
  if (!(r.switches & BEE_SwitchVideo) && !asMatte) return 0;
  if (!IsLiveItem(r.source) || !(R(r.source).flags & BEE_ItemVideo)) return 0;
  Time e{r.stretch.num < 0 ? -1 : 1, 600};
  Time in{}, out{};
  if (ErrorCode err = ClipLayerTime(layer, r.inPoint, &in)) return err;
  if (ErrorCode err = ClipLayerTime(layer, r.outPoint, &out)) return err;
  if (ErrorCode err = T_SubTime(in, e, &in)) return err;
  if (ErrorCode err = T_SubTime(out, e, &out)) return err;
  *active = t::Compare(in, t) <= 0 && t::Compare(t, out) < 0 ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerIsUsedAsTrackMatte(BEE_Layer layer, Boolean32 requireVideo, Boolean32* result) try {
  if (result) *result = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!result) return kReport.BadParam(kSiteArgument, {"BEE_LayerIsUsedAsTrackMatte"});
  int32_t i = IndexOfLayer(layer);
  BEE_Item comp = R(layer).comp;
  if (i == kNotFound || i + 1 >= LayerCount(comp)) return 0;  // the bottom layer is never a matte
  BEE_Layer below = LayerAt(comp, i + 1);
  if (requireVideo && !(R(below).switches & BEE_SwitchVideo)) return 0;
  *result = R(below).trackMatte != 0 ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerActiveOrTrackMatte(BEE_Layer layer, Time compTime, Boolean32* active, Time* layerTime) try {
  if (active) *active = 0;
  Boolean32 matte = 0;
  if (ErrorCode err = BEE_LayerIsUsedAsTrackMatte(layer, 1, &matte)) return err;
  return BEE_LayerActive(layer, compTime, matte, active, layerTime);
} TV_CATCH(BEE_PackageNumber)
