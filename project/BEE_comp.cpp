// Compositions: settings and their application, the frame grid,
// resolution downsampling, valid sources and the time stamps.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "BEE_records.h"

namespace tv::bee {

void InitCompDefaults(BEE_ItemRec& r) {
  r.width = 640;
  r.height = 480;
  r.duration = Time{6000, 600};
  r.secondTime = Time{0, 600};
  r.frameRate = 30u << 16;
  r.frameDuration = Time{128, 3840};
  r.hsf = Ratio{1, 1};
  r.dsfH = r.dsfV = 1;
  r.currentTime = Time{0, 3840};
  r.workStart = Time{0, 600};
  r.workEnd = Time{-1, 600};
}

ErrorCode NormalisedFrameDuration(uint32_t frameRate, Time* duration) {
  *duration = kInvalidTime;
  // A rate of 0 has no frame duration (and would loop the scaling below
  // forever on an invalid time).
  if (frameRate == 0 || frameRate > INT32_MAX) return kErrBadParam;
  Time d{};
  if (ErrorCode err = T_FrameRate2Duration(static_cast<Fixed>(frameRate), &d)) return err;
  while (d.scale < 2000) {
    if (d.value > INT32_MAX / 2) break;
    d.value *= 2;
    d.scale *= 2;
  }
  // Halving stops before the value would reach 0: a frame duration of 0
  // would divide by zero wherever frames are counted.
  while (d.scale > 115200 && d.value >= 2) {
    d.value /= 2;
    d.scale /= 2;
  }
  if (d.value <= 0 || d.scale == 0) return kErrBadParam;
  *duration = d;
  return 0;
}

Time SnapToGrid(const BEE_ItemRec& comp, Time t) {
  Time r{};
  if (t.scale == 0 || T_RoundToNearestTime(t, comp.frameDuration, &r) != 0) return t;
  return r;
}

ErrorCode ApplyCompSettings(BEE_Item comp, const BEE_CompSettings& s) {
  if (Fault f = CheckCompSettings(s)) return Refuse(BEE_SiteCompSettings, f);
  Time fd{};
  NormalisedFrameDuration(s.frameRate, &fd);
  // The streams are rebased before anything else changes, so that a failure
  // leaves the composition as it was.
  if (fd.scale != R(comp).frameDuration.scale)
    if (ErrorCode err = RescaleLayerStreams(comp, fd.scale)) return err;
  BEE_ItemRec& r = R(comp);
  char name[32];
  CopyName(name, NameOf(s.name));
  if (std::strcmp(name, r.name) != 0) {
    std::memcpy(r.name, name, sizeof name);
    MarkSortStale();
  }
  r.duration = s.duration;
  r.secondTime = s.secondTime;
  r.width = s.width;
  r.height = s.height;
  r.frameRate = s.frameRate;
  r.frameDuration = fd;
  r.currentTime = SnapToGrid(r, r.currentTime);
  if (t::Compare(r.currentTime, r.duration) > 0) r.currentTime = SnapToGrid(r, r.duration);
  if (t::Compare(r.workStart, r.duration) > 0)
    r.workStart = Time{0, 600};
  else
    r.workStart = SnapToGrid(r, r.workStart);
  if (r.workEnd.value != -1) {
    if (t::Compare(r.workEnd, r.duration) > 0)
      r.workEnd = Time{-1, 600};
    else
      r.workEnd = SnapToGrid(r, r.workEnd);
  }
  bool aspectChanged = m::Compare(r.hsf, s.pixelAspect) != 0 || r.hsf.den != s.pixelAspect.den;
  r.hsf = s.pixelAspect;
  if (aspectChanged) {
    int32_t n = LayerCount(comp);
    for (int32_t i = 0; i < n; ++i) TouchLayer(LayerAt(comp, i));
  }
  R(comp).compStamps[1] = FreshStamp();
  Touch(comp);
  BEE_ItemRec& r2 = R(comp);
  if (r2.dsfH != s.dsfH || r2.dsfV != s.dsfV) {
    r2.dsfH = s.dsfH;
    r2.dsfV = s.dsfV;
    r2.compStamps[2] = FreshStamp();
  }
  return 0;
}

namespace {

// The compositions whose layer lists hold a layer of item.
template <class Visit>
void ForEachUser(BEE_Item item, Visit visit) {
  auto found = G().users.find(item);
  if (found == G().users.end()) return;
  for (BEE_Layer l : found->second)
    if (IsLiveItem(R(l).comp)) visit(R(l).comp);
}

// The longest chain of compositions from one that nothing uses down to comp
// (1 when nothing uses comp), counted up to limit.
int32_t LevelsAbove(BEE_Item comp, int32_t limit, std::unordered_map<BEE_Item, int32_t>& memo) {
  if (limit <= 1) return 1;
  if (auto found = memo.find(comp); found != memo.end()) return found->second;
  memo[comp] = limit;  // a loop in a damaged graph counts as too deep
  int32_t levels = 1;
  ForEachUser(comp, [&](BEE_Item user) {
    if (levels < limit) levels = std::max(levels, 1 + LevelsAbove(user, limit - 1, memo));
  });
  memo[comp] = levels;
  return levels;
}

int32_t LevelsBelow(BEE_Item item, int32_t limit, std::unordered_map<BEE_Item, int32_t>& memo) {
  if (!IsLiveItem(item) || R(item).kind != BEE_KindComp || limit <= 1) return 1;
  if (auto found = memo.find(item); found != memo.end()) return found->second;
  memo[item] = limit;
  int32_t levels = 1;
  const int32_t n = LayerCount(item);
  for (int32_t i = 0; i < n && levels < limit; ++i)
    if (BEE_Item s = R(LayerAt(item, i)).source) levels = std::max(levels, 1 + LevelsBelow(s, limit - 1, memo));
  memo[item] = levels;
  return levels;
}

}  // namespace

bool SourceAllowed(BEE_Item comp, BEE_Item source) {
  if (!comp || !source) return true;
  // Is source comp itself, or one of the compositions that hold comp
  // however deeply? Found from comp upwards, through its users.
  std::unordered_set<BEE_Item> seen;
  std::vector<BEE_Item> todo{comp};
  while (!todo.empty()) {
    BEE_Item it = todo.back();
    todo.pop_back();
    if (!IsLiveItem(it) || !seen.insert(it).second) continue;
    if (it == source) return false;
    ForEachUser(it, [&](BEE_Item user) { todo.push_back(user); });
  }
  return true;
}

int32_t DeepestNesting(const std::vector<BEE_Item>& items) {
  std::unordered_map<BEE_Item, int32_t> memo;
  int32_t deepest = 0;
  for (BEE_Item it : items) deepest = std::max(deepest, LevelsBelow(it, BEE_MaxRenderDepth + 1, memo));
  return deepest;
}

ErrorCode CheckNesting(BEE_Item comp, BEE_Item source, uint32_t site) {
  if (!IsLiveItem(source) || R(source).kind != BEE_KindComp) return 0;
  std::unordered_map<BEE_Item, int32_t> above, below;
  const int32_t levels = LevelsAbove(comp, BEE_MaxRenderDepth + 1, above) +
                         LevelsBelow(source, BEE_MaxRenderDepth + 1, below);
  if (levels <= BEE_MaxRenderDepth) return 0;
  return kReport.Report(site, kSevError, kErrBadParam, kTextTooDeep,
                        {int64_t{BEE_MaxRenderDepth}, NameOf(R(source).name), NameOf(R(comp).name)});
}

uint32_t FreshStamp() { return ++G().stamp; }

void Touch(BEE_Item item) {
  // Touching marks the item and every composition that uses it, however
  // deeply; each item is marked once, so shared or damaged graphs cannot loop.
  std::unordered_set<BEE_Item> seen;
  std::vector<BEE_Item> todo{item};
  while (!todo.empty()) {
    BEE_Item it = todo.back();
    todo.pop_back();
    if (!IsLiveItem(it) || !seen.insert(it).second) continue;
    uint32_t s = FreshStamp();
    R(it).stamp = s;
    if (R(it).kind == BEE_KindComp) R(it).compStamps[0] = s;
    ForEachUser(it, [&](BEE_Item user) { todo.push_back(user); });
  }
}
void TouchLayer(BEE_Layer layer) {
  R(layer).stamp = FreshStamp();
  if (IsLiveItem(R(layer).comp)) Touch(R(layer).comp);
}

namespace {

bool ItemNewer(BEE_Item item, uint32_t stamp, int depth);

bool LayerNewer(BEE_Layer layer, uint32_t stamp, int depth) {
  if (R(layer).stamp > stamp) return true;
  BEE_Item s = R(layer).source;
  return s && IsLiveItem(s) && ItemNewer(s, stamp, depth + 1);
}

bool ItemNewer(BEE_Item item, uint32_t stamp, int depth) {
  // Nesting deeper than the number of items means a cycle in damaged data.
  if (depth > static_cast<int>(G().liveItems.size())) return false;
  const BEE_ItemRec& r = R(item);
  switch (r.kind) {
    case BEE_KindComp: {
      if (r.stamp > stamp || r.compStamps[0] > stamp || r.compStamps[1] > stamp || r.compStamps[2] > stamp)
        return true;
      int32_t n = LayerCount(item);
      for (int32_t i = 0; i < n; ++i)
        if (LayerNewer(LayerAt(item, i), stamp, depth)) return true;
      return false;
    }
    case BEE_KindSolid:
    case BEE_KindFootage: return r.stamp > stamp;
    default: return false;
  }
}

}  // namespace

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_FreshTimeStamp(uint32_t* stamp) try {
  if (!stamp) return kReport.BadParam(kSiteArgument, {"BEE_FreshTimeStamp"});
  *stamp = FreshStamp();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_Now(uint32_t* stamp) try {
  if (!stamp) return kReport.BadParam(kSiteArgument, {"BEE_Now"});
  *stamp = G().stamp;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_TouchItem(BEE_Item item) try {
  if (ErrorCode err = CheckItem(item)) return err;
  Touch(item);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsItemNewerThan(BEE_Item item, uint32_t stamp, Boolean32* newer) try {
  if (newer) *newer = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  if (!newer) return kReport.BadParam(kSiteArgument, {"BEE_IsItemNewerThan"});
  *newer = stamp == 0 || ItemNewer(item, stamp, 0) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsLayerNewerThan(BEE_Layer layer, uint32_t stamp, Boolean32* newer) try {
  if (newer) *newer = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!newer) return kReport.BadParam(kSiteArgument, {"BEE_IsLayerNewerThan"});
  *newer = stamp == 0 || LayerNewer(layer, stamp, 0) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ValidSource(BEE_Item comp, BEE_Item item, Boolean32* valid) try {
  if (valid) *valid = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  if (comp)
    if (ErrorCode err = CheckComp(comp)) return err;
  if (!valid) return kReport.BadParam(kSiteArgument, {"BEE_ValidSource"});
  int16_t k = R(item).kind;
  bool ok = k == BEE_KindComp || k == BEE_KindSolid || k == BEE_KindFootage;
  *valid = ok && SourceAllowed(comp, item) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompSettings(BEE_Item comp, BEE_CompSettings* s) try {
  if (s) std::memset(s, 0, sizeof *s);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!s) return kReport.BadParam(kSiteArgument, {"BEE_GetCompSettings"});
  const BEE_ItemRec& r = R(comp);
  CopyName(s->name, NameOf(r.name));
  s->duration = r.duration;
  s->secondTime = r.secondTime;
  s->width = r.width;
  s->height = r.height;
  s->frameRate = r.frameRate;
  s->pixelAspect = r.hsf;
  s->dsfH = r.dsfH;
  s->dsfV = r.dsfV;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompFrameDuration(BEE_Item comp, Time* frameDuration) try {
  return QueryField<&CheckComp, &BEE_ItemRec::frameDuration>("BEE_GetCompFrameDuration", comp, frameDuration);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompBackgroundColor(BEE_Item comp, uint32_t* color) try {
  return QueryField<&CheckComp, &BEE_ItemRec::bgColor>("BEE_GetCompBackgroundColor", comp, color);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompSwitches(BEE_Item comp, uint32_t* switches) try {
  return QueryField<&CheckComp, &BEE_ItemRec::compSwitches>("BEE_GetCompSwitches", comp, switches);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompWorkArea(BEE_Item comp, Time* start, Time* end) try {
  if (start) *start = kInvalidTime;
  if (end) *end = kInvalidTime;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (start) *start = R(comp).workStart;
  if (end) *end = R(comp).workEnd;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompNumLayers(BEE_Item comp, int32_t* count) try {
  return Query<&CheckComp>("BEE_GetCompNumLayers", comp, count, &LayerCount);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_AdjustForDSF(uint16_t hFactor, uint16_t vFactor, int32_t* width, int32_t* height) try {
  // A factor of 0 (from damaged data) counts as 1 instead of dividing by zero.
  auto adjust = [](int32_t d, uint16_t f) { return d <= 0 ? 0 : (d - 1) / (f ? f : 1) + 1; };
  if (width) *width = adjust(*width, hFactor);
  if (height) *height = adjust(*height, vFactor);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetCompDimensionsDSF(BEE_Item comp, int32_t* width, int32_t* height, LRect* frame) try {
  if (width) *width = 0;
  if (height) *height = 0;
  if (frame) *frame = LRect{0, 0, 0, 0};
  if (ErrorCode err = CheckComp(comp)) return err;
  int32_t w = R(comp).width, h = R(comp).height;
  BEE_AdjustForDSF(R(comp).dsfH, R(comp).dsfV, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
  if (frame) *frame = LRect{0, 0, w, h};
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GridToCompTime(BEE_Item comp, Time time, Time* snapped) try {
  if (snapped) *snapped = kInvalidTime;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!snapped) return kReport.BadParam(kSiteArgument, {"BEE_GridToCompTime"});
  if (time.scale == 0) return kErrBadParam;
  Time r{};
  if (ErrorCode err = T_RoundToNearestTime(time, R(comp).frameDuration, &r)) return err;
  *snapped = r;
  return 0;
} TV_CATCH(BEE_PackageNumber)
