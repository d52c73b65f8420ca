// Scraps: the numbered slots, command 8, and copying layers and keyframes
// into a scrap.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

#include "BEE_cmd_internal.h"
#include "BEE_scrap_internal.h"
#include "FLT.h"

using namespace tv;
using namespace tv::bee;

BEE_ScrapRec::~BEE_ScrapRec() {
  for (ScrapStream& s : streams)
    if (s.stream) TDB_DisposeStream(s.stream);
  for (BEE_Layer l : layers)
    if (IsLiveLayer(l) && IndexOfLayer(l) == kNotFound) DisposeLayer(l);
}

namespace tv::bee {

namespace {

std::array<BEE_ScrapRec*, BEE_ScrapSlots> gSlots{};

void DisposeHeldScrap(BEE_CmdRec* rec) {
  delete reinterpret_cast<BEE_ScrapRec*>(rec->param2);
  rec->param2 = 0;
}

// Words: the slot and the scrap it is to get (owned by the record; null
// empties the slot).
struct SetScrapCmd {
  static constexpr int32_t kNumber = BEE_CmdNumCopy;
  static constexpr BEE_CmdOp kOp = &OpSetScrap;
  static constexpr BEE_CmdDispose kOwned = &DisposeHeldScrap;
  intptr_t slot;
  BEE_ScrapRec* scrap;
};

ErrorCode BadSlot(intptr_t slot) {
  return kReport.Report(kSiteScrap, kSevError, kErrBadParam, kTextBadIndex, {static_cast<int64_t>(slot)});
}

const char* Str(int32_t t) { return kReport.Text(t); }

std::string Join(int32_t dim, int32_t unit) { return std::string(Str(dim)) + " " + Str(unit); }

}  // namespace

BEE_OP(OpSetScrap) {
  const auto [slot, scrap] = Words<SetScrapCmd>(*rec);
  if (slot < 0 || slot >= BEE_ScrapSlots) return BadSlot(slot);
  BEE_ScrapRec* old = gSlots[static_cast<size_t>(slot)];
  gSlots[static_cast<size_t>(slot)] = scrap;
  rec->param2 = 0;
  rec->dispose = nullptr;
  SetInverse(inv, SetScrapCmd{slot, old});
  return 0;
}

void ScrapDeath() {
  for (BEE_ScrapRec*& s : gSlots) {
    delete s;
    s = nullptr;
  }
}

std::vector<std::string> StandardLabels(int32_t index) {
  if (index >= BEE_StreamFirstMask) {
    switch ((index - BEE_StreamFirstMask) % 3) {
      case BEE_MaskStreamFeather: return {Join(kTextDimX, kTextUnitPixels), Join(kTextDimY, kTextUnitPixels)};
      case BEE_MaskStreamOpacity: return {Str(kTextUnitPercent)};
      default: return {};
    }
  }
  switch (index) {
    case BEE_StreamMaskFeather:
    case BEE_StreamAnchorPoint:
    case BEE_StreamPosition: return {Join(kTextDimX, kTextUnitPixels), Join(kTextDimY, kTextUnitPixels)};
    case BEE_StreamScale: return {Join(kTextDimX, kTextUnitPercent), Join(kTextDimY, kTextUnitPercent)};
    case BEE_StreamRotation: return {Str(kTextUnitDegrees)};
    case BEE_StreamOpacity: return {Str(kTextUnitPercent)};
    case BEE_StreamAudioLevels: return {Join(kTextDimLeft, kTextUnitDB), Join(kTextDimRight, kTextUnitDB)};
    case BEE_StreamTimeRemap: return {Str(kTextUnitSeconds)};
    default: return {};
  }
}

int32_t StandardStreamByName(std::string_view name) {
  if (name == Str(kTextStreamMaskShape)) return int32_t{BEE_StreamFirstMask} + BEE_MaskStreamShape;
  if (name == Str(kTextStreamMaskFeather)) return int32_t{BEE_StreamFirstMask} + BEE_MaskStreamFeather;
  if (name == Str(kTextMaskOpacity)) return int32_t{BEE_StreamFirstMask} + BEE_MaskStreamOpacity;
  for (int32_t i = BEE_StreamAnchorPoint; i < BEE_StandardStreamCount; ++i) {
    char n[32] = {};
    BEE_GetStreamDescription(i, n, nullptr, nullptr);
    if (name == n) return i;
  }
  return -1;
}

ErrorCode DescribeScrapStream(BEE_Layer layer, int32_t index, ScrapStream* s) {
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  if (!u.stream) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(u.stream, &info)) return err;
  s->index = index;
  s->conversion = u.conversion;
  s->spatial = u.spatial;
  s->custom = info.valueDescription.kind != 0;
  s->customKind = info.valueDescription.kind;
  s->dimension = s->custom ? 0 : info.dimension;
  if (u.kind == UnitKind::Effect) {
    int16_t cls = 0;
    if (ErrorCode err = FLT_SeqInqClass(u.seq, &cls)) return err;
    char name[32] = {}, match[48] = {}, param[32] = {};
    if (ErrorCode err = FLT_InqPFInfo(cls, name, match, nullptr)) return err;
    if (ErrorCode err = FLT_SeqInqParamName(u.seq, u.param, param)) return err;
    s->effect = name;
    s->matchName = match;
    s->name = param;
    s->param = u.param;
    static constexpr const char* kColour[4] = {"alpha", "red", "green", "blue"};
    static constexpr const char* kAxes[3] = {"X", "Y", "Z"};
    for (int32_t d = 0; d < s->dimension; ++d)
      s->labels.emplace_back(s->dimension == 1 ? "value" : s->dimension == 4 ? kColour[d] : kAxes[d % 3]);
    return 0;
  }
  if (index >= BEE_StreamFirstMask) {
    const int32_t k = (index - BEE_StreamFirstMask) % 3;
    s->name = Str(k == BEE_MaskStreamShape ? kTextStreamMaskShape
                   : k == BEE_MaskStreamFeather ? kTextStreamMaskFeather
                                                : kTextMaskOpacity);
  } else {
    char name[32] = {};
    BEE_GetStreamDescription(index, name, nullptr, nullptr);
    s->name = name;
  }
  s->labels = StandardLabels(index);
  return 0;
}

void ScrapToUser(const BEE_ScrapRec& scrap, const ScrapStream& s, double* v) {
  if (s.conversion == Conversion::Percent) {
    for (int32_t i = 0; i < s.dimension; ++i) v[i] *= 100.0;
  } else if (s.conversion == Conversion::Source && s.dimension >= 2) {
    if (scrap.sourceWidth > 0) v[0] *= scrap.sourceWidth;
    if (scrap.sourceHeight > 0) v[1] *= scrap.sourceHeight;
  }
}

void ScrapFromUser(const BEE_ScrapRec& scrap, const ScrapStream& s, double* v) {
  if (s.conversion == Conversion::Percent) {
    for (int32_t i = 0; i < s.dimension; ++i) v[i] *= 0.01;
  } else if (s.conversion == Conversion::Source && s.dimension >= 2) {
    if (scrap.sourceWidth > 0) v[0] /= scrap.sourceWidth;
    if (scrap.sourceHeight > 0) v[1] /= scrap.sourceHeight;
  }
}

namespace {

// The scrap's header from the layer: frame rate, source size and aspects.
ErrorCode FillHeader(BEE_ScrapRec& scrap, BEE_Layer layer) {
  BEE_Item comp = R(layer).comp;
  if (ErrorCode err = CheckComp(comp)) return err;
  const Time fd = R(comp).frameDuration;
  scrap.fps = fd.value > 0 ? static_cast<double>(fd.scale) / fd.value : R(comp).frameRate / 65536.0;
  int32_t w = 0, h = 0;
  BEE_GetSourceDimensions(layer, &w, &h);
  scrap.sourceWidth = w;
  scrap.sourceHeight = h;
  scrap.sourceAspect = 1;
  BEE_Item src = R(layer).source;
  if (IsLiveItem(src)) {
    BEE_ItemInfo info{};
    if (BEE_GetItemInfo(src, &info) == 0 && info.pixelAspect.den > 0 && info.pixelAspect.num > 0)
      scrap.sourceAspect = static_cast<double>(info.pixelAspect.num) / info.pixelAspect.den;
  }
  BEE_CompSettings cs{};
  scrap.compAspect = 1;
  if (BEE_GetCompSettings(comp, &cs) == 0 && cs.pixelAspect.den > 0 && cs.pixelAspect.num > 0)
    scrap.compAspect = static_cast<double>(cs.pixelAspect.num) / cs.pixelAspect.den;
  return 0;
}

// Adds stream index of layer; keys (sorted, may be empty: every key) are
// the keys to keep.
ErrorCode AddStream(BEE_ScrapRec& scrap, BEE_Layer layer, int32_t index, const std::vector<int32_t>& keys) {
  ScrapStream s{};
  if (ErrorCode err = DescribeScrapStream(layer, index, &s)) return err;
  Unit u{};
  if (ErrorCode err = ResolveUnit(layer, index, &u)) return err;
  if (ErrorCode err = TDB_DuplicateStream(u.stream, &s.stream)) return err;
  scrap.streams.push_back(std::move(s));
  ScrapStream& added = scrap.streams.back();
  if (keys.empty()) return 0;
  int32_t n = 0;
  TDB_GetNumKeys(added.stream, &n);
  TDB_StreamInfo info{};
  TDB_GetStreamInfo(added.stream, &info);
  if (info.flags & TDB_StreamConstant) return 0;
  for (int32_t k = n - 1; k >= 0; --k)
    if (!std::binary_search(keys.begin(), keys.end(), k))
      if (ErrorCode err = TDB_RemoveKey(added.stream, k)) return err;
  return 0;
}

bool Copyable(int32_t index) {
  // The layer-level mask shape and feather, and the markers, carry no keys a
  // paste could use.
  return index >= BEE_StreamAnchorPoint && index != BEE_StreamMarker;
}

}  // namespace

}  // namespace tv::bee

// ---- Exported ----

ErrorCode BEE_NewScrap(BEE_Scrap* scrap) try {
  if (scrap) *scrap = nullptr;
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_NewScrap"});
  *scrap = new BEE_ScrapRec;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DisposeScrap(BEE_Scrap scrap) try {
  if (!scrap) return 0;
  for (BEE_ScrapRec* s : gSlots)
    if (s == scrap) return kReport.BadParam(kSiteArgument, {"BEE_DisposeScrap"});
  delete scrap;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_QueryScrap(int32_t slot, BEE_Scrap* scrap) try {
  if (scrap) *scrap = nullptr;
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_QueryScrap"});
  if (slot < 0 || slot >= BEE_ScrapSlots) return BadSlot(slot);
  *scrap = gSlots[static_cast<size_t>(slot)];
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetScrapInfo(BEE_Scrap scrap, BEE_ScrapInfo* info) try {
  if (info) *info = BEE_ScrapInfo{};
  if (!scrap || !info) return kReport.BadParam(kSiteArgument, {"BEE_GetScrapInfo"});
  info->kind = scrap->kind;
  info->count = static_cast<int32_t>(scrap->kind == BEE_ScrapLayers ? scrap->layers.size() : scrap->streams.size());
  info->framesPerSecond = scrap->fps;
  info->sourceWidth = scrap->sourceWidth;
  info->sourceHeight = scrap->sourceHeight;
  info->sourcePixelAspect = scrap->sourceAspect;
  info->compPixelAspect = scrap->compAspect;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_ForEachScrapStream(BEE_Scrap scrap, BEE_ScrapStreamVisitor visitor, intptr_t reference) try {
  if (!scrap || !visitor) return kReport.BadParam(kSiteArgument, {"BEE_ForEachScrapStream"});
  for (const ScrapStream& s : scrap->streams)
    if (ErrorCode err = visitor(s.index, s.stream, reference)) return err;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_MakeScrapStreamsConstant(BEE_Scrap scrap) try {
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_MakeScrapStreamsConstant"});
  for (ScrapStream& s : scrap->streams) {
    TDB_StreamInfo info{};
    if (ErrorCode err = TDB_GetStreamInfo(s.stream, &info)) return err;
    if (info.flags & TDB_StreamConstant) continue;
    Time first = kInvalidTime;
    if (ErrorCode err = TDB_IndexToTime(s.stream, 0, &first)) return err;
    if (ErrorCode err = TDB_SetConstant(s.stream, 1, &first, 0)) return err;
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CmdSetScrap(int32_t slot, BEE_Scrap scrap) try {
  std::unique_ptr<BEE_ScrapRec> owned(scrap);
  if (slot < 0 || slot >= BEE_ScrapSlots) return BadSlot(slot);
  for (BEE_ScrapRec* s : gSlots)
    if (s && s == scrap) {
      owned.release();
      return kReport.BadParam(kSiteArgument, {"BEE_CmdSetScrap"});
    }
  ErrorCode err = DoCommand(SetScrapCmd{slot, owned.get()});
  if (!err) owned.release();
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CopyKeysToNewScrap(BEE_Selection selection, BEE_Scrap* scrap) try {
  if (scrap) *scrap = nullptr;
  if (!selection || !scrap) return kReport.BadParam(kSiteArgument, {"BEE_CopyKeysToNewScrap"});
  BEE_Layer layer = nullptr;
  for (const auto& e : selection->entries) {
    if (e.index < 0 || !LayerInComp(e.layer, e.layerId)) continue;
    if (layer && layer != e.layer)
      return kReport.Report(kSiteCopyKeys, kSevError, kErrBadParam, kTextMultiLayerKeys);
    layer = e.layer;
  }
  auto s = std::make_unique<BEE_ScrapRec>();
  s->kind = BEE_ScrapKeyframes;
  if (layer) {
    if (ErrorCode err = FillHeader(*s, layer)) return err;
    for (const auto& e : selection->entries) {
      if (e.layer != layer || e.index < 0 || !Copyable(e.index)) continue;
      // A selected mask copies its whole shape stream (its entry holds vertices, not keys).
      const bool mask =
          e.index >= BEE_StreamFirstMask && e.index < BEE_StreamFirstEffect && (e.index - BEE_StreamFirstMask) % 3 == 0;
      if (ErrorCode err = AddStream(*s, layer, e.index, mask ? std::vector<int32_t>{} : e.sub)) return err;
    }
  }
  *scrap = s.release();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CopyLayerStreamsToNewScrap(BEE_Layer layer, BEE_Scrap* scrap) try {
  if (scrap) *scrap = nullptr;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_CopyLayerStreamsToNewScrap"});
  auto s = std::make_unique<BEE_ScrapRec>();
  s->kind = BEE_ScrapKeyframes;
  if (ErrorCode err = FillHeader(*s, layer)) return err;
  const std::vector<int32_t> all;
  for (int32_t i = BEE_StreamAnchorPoint; i < BEE_StandardStreamCount; ++i) {
    BEE_StreamRef ref{layer, i};
    TDB_Stream st = nullptr;
    if (!Copyable(i) || BEE_StreamLookup(&ref, &st) != 0 || !st) continue;
    if (ErrorCode err = AddStream(*s, layer, i, all)) return err;
  }
  int32_t masks = 0;
  BEE_GetLayerNumMasks(layer, &masks);
  for (int32_t m = 0; m < masks; ++m)
    for (int32_t k = 0; k < 3; ++k)
      if (ErrorCode err = AddStream(*s, layer, BEE_StreamFirstMask + 3 * m + k, all)) return err;
  Handle parade = nullptr;
  int32_t effects = 0;
  BEE_InqLayerEffectSeq(layer, &parade, &effects);
  for (int32_t e = 0; e < effects; ++e) {
    FLT_Sequence seq = nullptr;
    int32_t params = 0;
    if (FLT_GetParadeSeq(parade, e, &seq) != 0 || FLT_SeqInqNumParams(seq, &params) != 0) continue;
    for (int32_t p = 1; p < params && p <= 128; ++p) {
      const int32_t index = BEE_StreamFirstEffect + 128 * e + p - 1;
      // Parameters without a stream of their own (layers, standard
      // controls) and arbitrary data are not copied.
      uint32_t flags = 0, ui = 0, type = 0;
      if (FLT_SeqInqParamInfoPlus(seq, p, &flags, &ui, &type) != 0) continue;
      if ((flags & PF_ParamFlag_NoStream) || (ui & PF_PUI_STD_CONTROL_ONLY) || type == PF_Param_Arbitrary || type == PF_Param_Layer)
        continue;
      if (ErrorCode err = AddStream(*s, layer, index, all)) return err;
    }
  }
  *scrap = s.release();
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CopyLayerToScrap(BEE_Scrap scrap, BEE_Layer layer) try {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!scrap) return kReport.BadParam(kSiteArgument, {"BEE_CopyLayerToScrap"});
  if (scrap->kind == BEE_ScrapKeyframes)
    return kReport.Report(kSiteScrap, kSevError, kErrBadParam, kTextScrapKind, {scrap->kind});
  scrap->layers.reserve(scrap->layers.size() + 1);
  scrap->origins.reserve(scrap->layers.size() + 1);
  BEE_Layer copy = nullptr;
  if (ErrorCode err = DuplicateLayerRec(layer, &copy)) return err;
  scrap->layers.push_back(copy);
  scrap->origins.push_back({R(layer).id, R(layer).comp, G().generation});
  scrap->kind = BEE_ScrapLayers;
  return 0;
} TV_CATCH(BEE_PackageNumber)
