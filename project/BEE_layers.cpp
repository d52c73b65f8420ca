// Layers: creation with their standard streams, disposal and duplication,
// the stack of a composition, and the layer queries.
#include <algorithm>
#include <cstring>

#include "BEE_internal.h"
#include "FLT.h"

namespace tv::bee {

namespace {

struct StreamSpec {
  int32_t name, unit;
  int16_t dimension;   // 0: no stream of its own yet
  bool spatial;
};

// The standard streams. The mask shape (shape streams) and the markers
// (marker values) have no stream until those value kinds exist.
constexpr StreamSpec kStreams[BEE_StandardStreamCount] = {
    {kTextStreamMaskShape, kTextNone, 0, false},      {kTextStreamMaskFeather, kTextUnitPixels, 2, false},
    {kTextStreamAnchor, kTextUnitPixels, 2, true},    {kTextStreamPosition, kTextUnitPixels, 2, true},
    {kTextStreamScale, kTextUnitPercent, 2, false},   {kTextStreamRotation, kTextUnitDegrees, 1, false},
    {kTextStreamOpacity, kTextUnitPercent, 1, false}, {kTextStreamAudio, kTextUnitDB, 2, false},
    {kTextStreamMarker, kTextNone, 0, false},         {kTextStreamTimeRemap, kTextUnitSeconds, 1, false},
};

ErrorCode NewStandardStream(int32_t index, uint32_t scale, const double* value, TDB_Stream* out) {
  *out = nullptr;
  const StreamSpec& s = kStreams[index];
  if (s.dimension == 0) return 0;
  TDB_ValueDesc desc{};
  desc.kind = 0;
  desc.dataType = 9;  // double
  TDB_Stream st = nullptr;
  if (ErrorCode err = TDB_NewStream(s.dimension, scale, 1, s.spatial ? 1 : 0, 0x7, s.spatial ? 0x7 : 0, &desc, &st))
    return err;
  if (ErrorCode err = TDB_InsertKeyF(st, nullptr, 0, 1, value, TDB_InterpLinear, TDB_InterpLinear)) {
    TDB_DisposeStream(st);
    return err;
  }
  *out = st;
  return 0;
}

}  // namespace

int32_t LayerCount(BEE_Item comp) {
  int32_t n = 0;
  if (R(comp).layers) LIST_GetNumItems(R(comp).layers, &n);
  return n;
}

BEE_Layer LayerAt(BEE_Item comp, int32_t index) {
  intptr_t l = 0;
  if (LIST_GetPItem(R(comp).layers, index, &l) != 0) return nullptr;
  return reinterpret_cast<BEE_Layer>(l);
}

int32_t IndexOfLayer(BEE_Layer layer) {
  BEE_Item comp = R(layer).comp;
  if (!IsLiveItem(comp) || R(comp).kind != BEE_KindComp) return kNotFound;
  int32_t n = LayerCount(comp);
  for (int32_t i = 0; i < n; ++i)
    if (LayerAt(comp, i) == layer) return i;
  return kNotFound;
}

ErrorCode NewLayer(BEE_Item comp, BEE_Item source, std::string_view name, BEE_Layer* layer) {
  *layer = nullptr;
  Handle h = NewHandleClear(sizeof(BEE_LayerRec));
  if (!h) return kReport.OutOfMemory(BEE_SiteLayer, kTextOutOfMemoryWhat, sizeof(BEE_LayerRec));
  BEE_Layer l = reinterpret_cast<BEE_Layer>(h);
  {
    BEE_LayerRec& r = R(l);
    r.magic = BEE_LayerMagic;
    r.comp = comp;
    r.source = source;
    CopyName(r.name, name);
    r.quality = BEE_QualityBest;
    r.transferMode = 2;  // normal: a new layer is drawn over the layers below it
    r.switches = BEE_SwitchVideo | BEE_SwitchEffects;
    r.stretch = Ratio{1, 1};
    r.offset = Time{0, 600};
    r.inPoint = Time{0, 600};
    r.id = G().nextId++;
    r.stamp = FreshStamp();
  }
  bool hasTime = false;
  Time d = SourceDuration(l, &hasTime);
  R(l).outPoint = hasTime ? d : R(comp).duration;
  try {
    G().liveLayers.insert(h);
  } catch (...) {
    DisposeHandle(h);  // not registered yet: nothing else refers to it
    throw;
  }
  // Default values (internal units): the anchor at the source's centre (a
  // fraction of its size), the position at the composition's centre, full
  // scale and opacity (1.0 each).
  const double zero[2] = {0, 0};
  const double anchor[2] = {0.5, 0.5};
  const double position[2] = {R(comp).width / 2.0, R(comp).height / 2.0};
  const double scale[2] = {1, 1};
  const double opacity[1] = {1};
  const double* values[BEE_StandardStreamCount] = {zero, zero, anchor, position, scale, zero, opacity, zero, zero, zero};
  uint32_t ts = R(comp).frameDuration.scale;
  for (int32_t i = 0; i < BEE_StandardStreamCount; ++i) {
    TDB_Stream st = nullptr;
    if (ErrorCode err = NewStandardStream(i, ts, values[i], &st)) {
      R(l).source = nullptr;  // a new layer owns no solid yet
      DisposeLayer(l);
      return err;
    }
    R(l).streams[i] = st;
  }
  *layer = l;
  return 0;
}

void DisposeLayer(BEE_Layer layer) {
  if (!IsLiveLayer(layer)) return;
  BEE_LayerRec& r = R(layer);
  for (TDB_Stream& s : r.streams) {
    if (s) TDB_DisposeStream(s);
    s = nullptr;
  }
  if (r.comment) DisposeHandle(r.comment);
  DisposeEffects(r.parade);
  DisposeMasks(layer);
  UnlinkSource(layer);
  BEE_Item src = R(layer).source;
  R(layer).magic = 0xDEAD;
  G().liveLayers.erase(layer);
  // A solid belongs to its layer and goes with it.
  if (IsLiveItem(src) && R(src).kind == BEE_KindSolid && R(src).solidLayer == layer) DisposeItem(src);
  DisposeHandle(reinterpret_cast<Handle>(layer));
}

ErrorCode DuplicateLayerRec(BEE_Layer layer, BEE_Layer* copy) {
  *copy = nullptr;
  Handle h = NewHandleClear(sizeof(BEE_LayerRec));
  if (!h) return kReport.OutOfMemory(BEE_SiteLayer, kTextOutOfMemoryWhat, sizeof(BEE_LayerRec));
  BEE_Layer c = reinterpret_cast<BEE_Layer>(h);
  std::memcpy(*h, *layer, sizeof(BEE_LayerRec));
  BEE_LayerRec& r = R(c);
  // Nothing owned is shared: streams, texts and a solid are copied below.
  for (TDB_Stream& s : r.streams) s = nullptr;
  r.comment = nullptr;
  r.parade = nullptr;
  r.masks = nullptr;
  r.id = G().nextId++;
  r.stamp = FreshStamp();
  r.linked = false;  // in no layer list yet
  try {
    G().liveLayers.insert(h);
  } catch (...) {
    DisposeHandle(h);  // not registered yet: nothing else refers to it
    throw;
  }
  BEE_Item src = R(layer).source;
  bool ownsSolid = IsLiveItem(src) && R(src).kind == BEE_KindSolid && R(src).solidLayer == layer;
  if (ownsSolid) R(c).source = nullptr;
  ErrorCode err = 0;
  for (int32_t i = 0; i < BEE_StandardStreamCount && !err; ++i)
    if (R(layer).streams[i]) err = TDB_DuplicateStream(R(layer).streams[i], &R(c).streams[i]);
  if (!err) err = DuplicateMasks(layer, c);
  if (!err) err = NewText(TextOf(R(layer).comment), &R(c).comment, BEE_SiteLayer);
  if (!err) err = DuplicateEffects(R(layer).parade, &R(c).parade);
  if (!err && ownsSolid) {
    BEE_Item solid = nullptr;
    err = NewItem(BEE_KindSolid, NameOf(R(src).name), &solid);
    if (!err) {
      BEE_ItemRec& s = R(solid);
      s.width = R(src).width;
      s.height = R(src).height;
      s.solidColor = R(src).solidColor;
      s.flags = R(src).flags;
      s.label = R(src).label;
      s.solidLayer = c;
      R(c).source = solid;
    }
  }
  if (err) {
    DisposeLayer(c);
    return err;
  }
  *copy = c;
  return 0;
}

namespace {

void AddUser(BEE_Layer layer) {
  if (BEE_Item s = R(layer).source) G().users[s].push_back(layer);
}

void RemoveUser(BEE_Layer layer) {
  auto found = G().users.find(R(layer).source);
  if (found == G().users.end()) return;
  std::vector<BEE_Layer>& v = found->second;
  v.erase(std::remove(v.begin(), v.end(), layer), v.end());
  if (v.empty()) G().users.erase(found);
}

}  // namespace

void LinkSource(BEE_Layer layer) {
  if (R(layer).linked) return;
  AddUser(layer);
  R(layer).linked = true;
}

void UnlinkSource(BEE_Layer layer) {
  if (!R(layer).linked) return;
  RemoveUser(layer);
  R(layer).linked = false;
}

void SetSource(BEE_Layer layer, BEE_Item source) {
  if (R(layer).linked) RemoveUser(layer);
  R(layer).source = source;
  if (R(layer).linked) AddUser(layer);
}

ErrorCode InsertLayer(BEE_Item comp, BEE_Layer layer, int32_t index) {
  int32_t n = LayerCount(comp);
  if (index < 0 || index > n) index = n;
  if (ErrorCode err = LIST_InsertP(reinterpret_cast<intptr_t>(layer), index == n ? -1 : index, R(comp).layers))
    return err;
  R(layer).comp = comp;
  LinkSource(layer);
  TouchLayer(layer);
  return 0;
}

ErrorCode RemoveLayer(BEE_Layer layer, int32_t* index) {
  int32_t i = IndexOfLayer(layer);
  if (index) *index = i;
  if (i == kNotFound) return kReport.Report(BEE_SiteLayer, kSevError, kErrBadParam, kTextBadIndex, {i});
  BEE_Item comp = R(layer).comp;
  if (ErrorCode err = LIST_RemoveP(i, R(comp).layers, 0, nullptr)) return err;
  UnlinkSource(layer);
  Touch(comp);
  return 0;
}

ErrorCode RescaleLayerStreams(BEE_Item comp, uint32_t newScale) {
  // Every stream is rescaled on a copy first; the copies replace the
  // originals only when all of them succeeded.
  struct Swap {
    BEE_Layer layer;
    int32_t index;
    TDB_Stream copy;
  };
  std::vector<Swap> swaps;
  ErrorCode err = 0;
  int32_t n = LayerCount(comp);
  for (int32_t i = 0; i < n && !err; ++i) {
    BEE_Layer l = LayerAt(comp, i);
    // The standard streams, then the mask streams.
    int32_t masks = 0;
    if (R(l).masks) LIST_GetNumItems(R(l).masks, &masks);
    const int32_t end = BEE_StreamFirstMask + 3 * masks;
    for (int32_t s = 0; s < end && !err; s = s + 1 == BEE_StandardStreamCount ? BEE_StreamFirstMask : s + 1) {
      TDB_Stream st = nullptr;
      if (s < BEE_StandardStreamCount)
        st = R(l).streams[s];
      else
        MaskStream(l, s, &st);
      if (!st) continue;
      TDB_Stream copy = nullptr;
      err = TDB_DuplicateStream(st, &copy);
      if (!err) {
        swaps.push_back({l, s, copy});
        err = TDB_RescaleStream(copy, newScale, TDB_RescaleConvert);
      }
    }
  }
  if (err) {
    for (Swap& s : swaps) TDB_DisposeStream(s.copy);
    return err;
  }
  for (Swap& s : swaps) {
    if (s.index >= BEE_StreamFirstMask) {
      TDB_Stream old = nullptr;
      MaskStream(s.layer, s.index, &old);
      TDB_DisposeStream(old);
      SetMaskStream(s.layer, s.index, s.copy);
      continue;
    }
    TDB_DisposeStream(R(s.layer).streams[s.index]);
    R(s.layer).streams[s.index] = s.copy;
  }
  return 0;
}

ErrorCode ValidStreamIndex(int32_t index, uint32_t site) {
  if (index >= 0 && index < BEE_StandardStreamCount) return 0;
  if (index >= BEE_StreamFirstMask && index < BEE_StreamFirstEffect) return 0;
  if (index >= BEE_StreamFirstEffect) return 0;
  return Strange(site, "stream", index);
}

Time SourceDuration(BEE_Layer layer, bool* hasTime) {
  *hasTime = false;
  BEE_Item s = R(layer).source;
  if (!IsLiveItem(s)) return Time{0, 600};
  const BEE_ItemRec& r = R(s);
  if (r.kind == BEE_KindComp) {
    *hasTime = r.duration.value > 0;
    return r.duration;
  }
  if (r.kind == BEE_KindFootage && r.footage) {
    Time d = reinterpret_cast<const BEE_FootageDesc*>(*r.footage)->duration;
    *hasTime = d.value > 0 && !(r.flags & BEE_ItemStill);
    return d;
  }
  return Time{0, 600};
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_GetIndLayer(BEE_Item comp, int32_t index, BEE_Layer* layer) try {
  if (layer) *layer = nullptr;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!layer) return kReport.BadParam(kSiteArgument, {"BEE_GetIndLayer"});
  if (index < 0 || index >= LayerCount(comp))
    return kReport.Report(BEE_SiteLayer, kSevError, kErrRange, kTextBadIndex, {index});
  *layer = LayerAt(comp, index);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerIndex(BEE_Layer layer, int32_t* index) try {
  return Query<&CheckLayer>("BEE_LayerIndex", layer, index, &IndexOfLayer, kNotFound);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerComp(BEE_Layer layer, BEE_Item* comp) try {
  return QueryField<&CheckLayer, &BEE_LayerRec::comp>("BEE_GetLayerComp", layer, comp);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerSource(BEE_Layer layer, BEE_Item* source) try {
  return QueryField<&CheckLayer, &BEE_LayerRec::source>("BEE_GetLayerSource", layer, source);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerName(BEE_Layer layer, char name[32]) try {
  return QueryText<&CheckLayer>("BEE_GetLayerName", layer, name, 32, [](BEE_Layer l) { return NameOf(R(l).name); });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_GetLayerID(BEE_Layer layer, uint32_t* id) try {
  if (!id) return kReport.BadParam(kSiteArgument, {"BEEp_GetLayerID"});
  *id = 0;
  // A handle the engine freed has no ID: answered, not reported.
  if (!IsLiveLayer(layer)) return 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  *id = R(layer).id;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerInfo(BEE_Layer layer, BEE_LayerInfo* info) try {
  if (info) std::memset(info, 0, sizeof *info);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!info) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerInfo"});
  const BEE_LayerRec& r = R(layer);
  info->switches = r.switches;
  info->quality = r.quality;
  info->stretch = r.stretch;
  CopyName(info->name, NameOf(r.name));
  if (IsLiveItem(r.source)) {
    info->sourceKind = R(r.source).kind;
    BEE_GetItemName(r.source, info->sourceName);
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerTransfer(BEE_Layer layer, BEE_TransferSettings* transfer) try {
  return Query<&CheckLayer>("BEE_GetLayerTransfer", layer, transfer, [](BEE_Layer l) {
    return BEE_TransferSettings{R(l).transferMode, R(l).transferFlags, R(l).trackMatte};
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerLabel(BEE_Layer layer, int8_t* label) try {
  return QueryField<&CheckLayer, &BEE_LayerRec::label>("BEE_GetLayerLabel", layer, label);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerOrigin(BEE_Layer layer, BEE_RulerOrigin* origin) try {
  return QueryField<&CheckLayer, &BEE_LayerRec::origin>("BEE_GetLayerOrigin", layer, origin);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerCommentLength(BEE_Layer layer, int32_t* length) try {
  return Query<&CheckLayer>("BEE_GetLayerCommentLength", layer, length, [](BEE_Layer l) { return static_cast<int32_t>(TextOf(R(l).comment).size()); });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerComment(BEE_Layer layer, char* text, int32_t size) try {
  return QueryText<&CheckLayer>("BEE_GetLayerComment", layer, text, size, [](BEE_Layer l) { return TextOf(R(l).comment); });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetSourceDimensions(BEE_Layer layer, int32_t* width, int32_t* height) try {
  if (width) *width = 0;
  if (height) *height = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!IsLiveItem(R(layer).source)) return 0;
  return BEE_GetItemDimensions(R(layer).source, width, height);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetSourceDimensionsDSF(BEE_Layer layer, int32_t* width, int32_t* height) try {
  int32_t w = 0, h = 0;
  ErrorCode err = BEE_GetSourceDimensions(layer, &w, &h);
  if (err == 0 && IsLiveItem(R(layer).comp)) BEE_AdjustForDSF(R(R(layer).comp).dsfH, R(R(layer).comp).dsfV, &w, &h);
  if (width) *width = err ? 0 : w;
  if (height) *height = err ? 0 : h;
  return err;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetSourceDuration(BEE_Layer layer, Time* duration) try {
  return Query<&CheckLayer>("BEE_GetSourceDuration", layer, duration, [](BEE_Layer l) {
    bool hasTime = false;
    return SourceDuration(l, &hasTime);
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_InqLayerEffectSeq(BEE_Layer layer, Handle* parade, int32_t* count) try {
  if (parade) *parade = nullptr;
  if (count) *count = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (parade) *parade = R(layer).parade;
  if (count && R(layer).parade) FLT_InqParadeNumSeqs(R(layer).parade, count);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerNumMasks(BEE_Layer layer, int32_t* count) try {
  return Query<&CheckLayer>("BEE_GetLayerNumMasks", layer, count, [](BEE_Layer l) {
    int32_t n = 0;
    if (R(l).masks) LIST_GetNumItems(R(l).masks, &n);
    return n;
  });
} TV_CATCH(BEE_PackageNumber)

// ---- Streams ----

ErrorCode BEE_StreamLookup(const BEE_StreamRef* ref, TDB_Stream* stream) try {
  if (stream) *stream = nullptr;
  if (!ref || !stream) return kReport.BadParam(kSiteArgument, {"BEE_StreamLookup"});
  if (ErrorCode err = CheckLayer(ref->layer)) return err;
  int32_t index = static_cast<int32_t>(ref->index);
  if (ref->index != index) return Strange(BEE_SiteStream, "stream", ref->index);
  if (ErrorCode err = ValidStreamIndex(index, BEE_SiteStream)) return err;
  if (index >= BEE_StreamFirstMask && index < BEE_StreamFirstEffect)
    return MaskStream(ref->layer, index, stream);
  if (index >= BEE_StreamFirstEffect) return EffectStream(ref->layer, index, stream);
  if (index >= BEE_StandardStreamCount) {
    // Between the standard streams and the first mask stream: no stream.
    return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  }
  *stream = R(ref->layer).streams[index];
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetStreamDescription(int32_t index, char name[32], char unit[32], int16_t* dimension) try {
  if (name) name[0] = 0;
  if (unit) unit[0] = 0;
  if (dimension) *dimension = 0;
  if (index < 0 || index >= BEE_StandardStreamCount) return Strange(BEE_SiteStream, "stream", index);
  const StreamSpec& s = kStreams[index];
  if (name) fmt::CopyTo(std::span<char>(name, 32), kReport.Text(s.name));
  if (unit && s.unit) fmt::CopyTo(std::span<char>(unit, 32), kReport.Text(s.unit));
  if (dimension) *dimension = s.dimension;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerStreamValueF(BEE_Layer layer, int32_t index, Time compTime, double* value) try {
  BEE_StreamRef ref{layer, index};
  TDB_Stream st = nullptr;
  if (ErrorCode err = BEE_StreamLookup(&ref, &st)) return err;
  if (!value) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerStreamValueF"});
  if (!st) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  BEE_StreamValue v{};
  if (ErrorCode err = BEE_GetStreamFPV(layer, index, &compTime, nullptr, &v)) return err;
  if (v.shape) {
    BEE_UnGetStreamFPV(layer, index, &v);
    return kReport.BadParam(kSiteArgument, {"BEE_GetLayerStreamValueF"});
  }
  std::memcpy(value, v.values, sizeof(double) * static_cast<size_t>(v.count));
  return 0;
} TV_CATCH(BEE_PackageNumber)
