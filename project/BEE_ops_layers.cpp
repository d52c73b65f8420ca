// Table operations on layers and their streams (same rules as the item
// operations: check first, then change, then describe the inverse).
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {

namespace {

ErrorCode CheckPlacedLayer(BEE_Layer layer) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (IndexOfLayer(layer) == kNotFound)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadIndex, {kNotFound});
  return 0;
}

ErrorCode CheckSource(BEE_Item comp, BEE_Item source) {
  if (ErrorCode err = CheckItem(source)) return err;
  // An item removed from the project (kept for an undo) is no source: the
  // layer would be saved without one.
  if (!IsInProject(source)) return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
  int16_t k = R(source).kind;
  // Solids belong to the one layer made with them; a composition never
  // contains itself, directly or through the compositions it nests.
  if (k == BEE_KindComp && !SourceAllowed(comp, source))
    return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextSelfContaining);
  if (k != BEE_KindComp && k != BEE_KindFootage)
    return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
  // Nesting that no frame could render is refused now, not at render time.
  return CheckNesting(comp, source, BEE_SiteSource);
}

bool OwnsSolid(BEE_Layer layer) {
  BEE_Item s = R(layer).source;
  return IsLiveItem(s) && R(s).kind == BEE_KindSolid && R(s).solidLayer == layer;
}

}  // namespace

void DisposeStreamChange(BEE_CmdRec* rec) {
  const auto [ref, stream] = Words<KeyframeChangeCmd>(*rec);
  if (stream) TDB_DisposeStream(stream);
  if (ref) DisposePtr(reinterpret_cast<Ptr>(ref));
  Store(*rec, KeyframeChangeCmd{nullptr, nullptr});
}

BEE_OP(OpKeyframeChange) {
  const auto [ref, stream] = Words<KeyframeChangeCmd>(*rec);
  if (!ref || !stream) return kErrBadParam;
  TDB_Stream old = nullptr;
  if (ErrorCode err = BEE_StreamLookup(ref, &old)) return err;
  int32_t index = static_cast<int32_t>(ref->index);
  if (!old) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  TDB_StreamInfo a{}, b{};
  if (ErrorCode err = TDB_GetStreamInfo(old, &a)) return err;
  if (ErrorCode err = TDB_GetStreamInfo(stream, &b)) return err;
  if (a.dimension != b.dimension || (a.flags & TDB_StreamSpatial) != (b.flags & TDB_StreamSpatial) ||
      b.valueDescription.kind != a.valueDescription.kind)
    return kReport.Report(BEE_SiteStream, kSevError, kErrBadParam, kTextBadStream, {index});
  BEE_Layer layer = ref->layer;
  if (Fault f = CheckStream(layer, index, stream)) return Refuse(BEE_SiteStream, f);
  BEE_StreamRef* target = nullptr;
  if (ErrorCode err = NewCopy(ref, 1, &target)) return err;
  if (index >= BEE_StreamFirstEffect) {
    if (ErrorCode err = SetEffectStream(layer, index, stream)) {
      DisposePtr(reinterpret_cast<Ptr>(target));
      return err;
    }
  } else if (index >= BEE_StreamFirstMask) {
    SetMaskStream(layer, index, stream);
  } else {
    R(layer).streams[index] = stream;
  }
  TouchLayer(layer);
  // The layer owns the new stream now.
  Store(*rec, KeyframeChangeCmd{ref, nullptr});
  // Successive changes of one stream are one step: the first change's
  // inverse (already on the stack) restores the stream before all of them.
  if (merge) {
    const BEE_StreamRef* other = Words<KeyframeChangeCmd>(*merge).ref;
    if (other && other->layer == ref->layer && other->index == ref->index) *merged = 1;
  }
  SetInverse(inv, KeyframeChangeCmd{target, old});
  return 0;
}

BEE_OP(OpNewLayer) {
  const auto [comp, source] = Words<NewLayerCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (ErrorCode err = CheckSource(comp, source)) return err;
  char name[32];
  BEE_GetItemName(source, name);
  BEE_Layer layer = nullptr;
  if (ErrorCode err = NewLayer(comp, source, NameOf(name), &layer)) return err;
  if (ErrorCode err = InsertLayer(comp, layer, 0)) {
    DisposeLayer(layer);
    return err;
  }
  Touch(source);
  SetInverse(inv, ClearLayerCmd{layer, {}});
  return 0;
}

BEE_OP(OpNewSolidLayer) {
  const auto [comp, s] = Words<NewSolidLayerCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!s) return kErrBadParam;
  if (Fault f = CheckSolidSize(s->width, s->height)) return Refuse(BEE_SiteCommandOp, f);
  BEE_Item solid = nullptr;
  if (ErrorCode err = NewItem(BEE_KindSolid, NameOf(s->name), &solid)) return err;
  R(solid).solidColor = s->color;
  R(solid).width = s->width;
  R(solid).height = s->height;
  BEE_Layer layer = nullptr;
  if (ErrorCode err = NewLayer(comp, solid, NameOf(s->name), &layer)) {
    DisposeItem(solid);
    return err;
  }
  R(solid).solidLayer = layer;
  if (ErrorCode err = InsertLayer(comp, layer, 0)) {
    DisposeLayer(layer);
    return err;
  }
  SetInverse(inv, ClearLayerCmd{layer, {}});
  return 0;
}

BEE_OP(OpClearLayer) {
  const BEE_Layer layer = Words<ClearLayerCmd>(*rec).layer;
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  int32_t index = 0;
  if (ErrorCode err = RemoveLayer(layer, &index)) return err;
  SetInverse(inv, ReinsertLayerCmd{layer, index});
  return 0;
}

BEE_OP(OpReinsertLayer) {
  const auto [layer, index] = Words<ReinsertLayerCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  BEE_Item comp = R(layer).comp;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (IndexOfLayer(layer) != kNotFound || index < 0 || index > LayerCount(comp))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(index)});
  if (ErrorCode err = InsertLayer(comp, layer, static_cast<int32_t>(index))) return err;
  Store(*rec, ReinsertLayerCmd{nullptr, index});  // the composition owns the layer again
  rec->dispose = nullptr;
  SetInverse(inv, ClearLayerCmd{layer, {}});
  return 0;
}

BEE_OP(OpLayerTimes) {
  const auto [layer, t] = Words<LayerTimesCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!t) return kErrBadParam;
  LayerRecord l = LayerRecordOf(layer);
  l.times = *t;
  if (Fault f = CheckLayerRecord(l)) return Refuse(BEE_SiteCommandOp, f);
  BEE_LayerRec& r = R(layer);
  BEE_LayerTimes old{r.offset, r.inPoint, r.outPoint};
  BEE_LayerTimes* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  BEE_LayerRec& r2 = R(layer);
  r2.offset = t->offset;
  r2.inPoint = t->inPoint;
  r2.outPoint = t->outPoint;
  TouchLayer(layer);
  SetInverse(inv, LayerTimesCmd{layer, block});
  return 0;
}

BEE_OP(OpLayerReorder) {
  const auto [layer, to] = Words<LayerReorderCmd>(*rec);
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  BEE_Item comp = R(layer).comp;
  int32_t n = LayerCount(comp);
  if (to < 0 || to >= n)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(to)});
  int32_t from = IndexOfLayer(layer);
  if (ErrorCode err = LIST_Move(from, static_cast<int32_t>(to), R(comp).layers, 0)) return err;
  Touch(comp);
  SetInverse(inv, LayerReorderCmd{layer, from});
  return 0;
}

BEE_OP(OpLayerStretch) {
  const auto [layer, s] = Words<LayerStretchCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  LayerRecord l = LayerRecordOf(layer);
  l.stretch = s;
  if (Fault f = CheckLayerRecord(l)) return Refuse(BEE_SiteCommandOp, f);
  SetInverse(inv, LayerStretchCmd{layer, R(layer).stretch});
  R(layer).stretch = s;
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpQuality) {
  const auto [layer, quality] = Words<QualityCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  LayerRecord l = LayerRecordOf(layer);
  // The whole word is checked before it is narrowed.
  l.quality = quality < INT16_MIN || quality > INT16_MAX ? -1 : static_cast<int32_t>(quality);
  if (Fault f = CheckLayerRecord(l)) {
    f.a = static_cast<int64_t>(quality);
    return Refuse(BEE_SiteCommandOp, f);
  }
  SetInverse(inv, QualityCmd{layer, R(layer).quality});
  R(layer).quality = static_cast<int16_t>(quality);
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpTransfer) {
  const auto [layer, t] = Words<TransferCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!t) return kErrBadParam;
  LayerRecord l = LayerRecordOf(layer);
  l.transfer = *t;
  if (Fault f = CheckLayerRecord(l)) return Refuse(BEE_SiteCommandOp, f);
  BEE_TransferSettings old{R(layer).transferMode, R(layer).transferFlags, R(layer).trackMatte};
  BEE_TransferSettings* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  BEE_LayerRec& r = R(layer);
  r.transferMode = t->mode;
  r.transferFlags = t->flags;
  r.trackMatte = t->trackMatte;
  TouchLayer(layer);
  SetInverse(inv, TransferCmd{layer, block});
  return 0;
}

BEE_OP(OpToggleSwitch) {
  const auto [layer, change] = Words<LayerSwitchCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  const auto [bit, on] = change;
  if (bit == 0 || (bit & (bit - 1))) return Strange(BEE_SiteSwitch, "BEE_SetLayerSwitch", bit);
  bool was = (R(layer).switches & bit) != 0;
  if (on)
    R(layer).switches |= bit;
  else
    R(layer).switches &= ~bit;
  // The frames a switch invalidates belong to the frame cache (not built
  // yet); the layer's stamp tells every later cache that it changed.
  TouchLayer(layer);
  SetInverse(inv, LayerSwitchCmd{layer, Switch{bit, was}});
  NotifySwitch(layer, R(layer).comp, bit, on);
  return 0;
}

BEE_OP(OpDuplicateLayer) {
  const BEE_Layer layer = Words<DuplicateLayerCmd>(*rec).layer;
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  BEE_Layer copy = nullptr;
  if (ErrorCode err = DuplicateLayerRec(layer, &copy)) return err;
  if (ErrorCode err = InsertLayer(R(layer).comp, copy, IndexOfLayer(layer))) {
    DisposeLayer(copy);
    return err;
  }
  SetInverse(inv, ClearLayerCmd{copy, {}});
  return 0;
}

BEE_OP(OpReplaceSource) {
  const auto [layer, source] = Words<ReplaceSourceCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  // A solid layer keeps its solid (it is changed through its settings).
  if (OwnsSolid(layer)) return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
  if (ErrorCode err = CheckSource(R(layer).comp, source)) return err;
  SetInverse(inv, ReplaceSourceCmd{layer, R(layer).source});
  SetSource(layer, source);
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpLayerName) {
  const auto [layer, text] = Words<LayerNameCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!text) return kErrBadParam;
  char name[32];
  CopyName(name, text);
  char* block = nullptr;
  if (ErrorCode err = NewCopy(R(layer).name, 32, &block)) return err;
  std::memcpy(R(layer).name, name, 32);
  TouchLayer(layer);
  SetInverse(inv, LayerNameCmd{layer, block});
  return 0;
}

BEE_OP(OpLayerLabel) {
  const auto [layer, label] = Words<LayerLabelCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  SetInverse(inv, LayerLabelCmd{layer, R(layer).label});
  R(layer).label = label;
  return 0;
}

BEE_OP(OpLayerComment) {
  const auto [layer, text] = Words<LayerCommentCmd>(*rec);
  if (ErrorCode err = CheckLayer(layer)) return err;
  char* old = nullptr;
  if (ErrorCode err = SwapComment(&R(layer).comment, text, &old)) return err;
  SetInverse(inv, LayerCommentCmd{layer, old});
  return 0;
}

}  // namespace tv::bee

namespace tv::bee {

namespace {

// Gives each pair's layer its source; the inverse gives back the sources they had.
ErrorCode SetSources(const SourcePair* pairs, int32_t count, BEE_CmdRec* inv) {
  size_t bytes = sizeof(SourceList) + sizeof(SourcePair) * static_cast<size_t>(count);
  Ptr p = NewPtr(static_cast<Size>(bytes));
  if (!p) return kReport.OutOfMemory(BEE_SiteCommandOp, "undo information", bytes);
  auto* list = reinterpret_cast<SourceList*>(p);
  list->count = count;
  SourcePair* old = list->pairs();
  for (int32_t i = 0; i < count; ++i) {
    old[i] = SourcePair{pairs[i].layer, R(pairs[i].layer).source};
    SetSource(pairs[i].layer, pairs[i].source);
    TouchLayer(pairs[i].layer);
  }
  SetInverse(inv, SetSourcesCmd{{}, list});
  return 0;
}

}  // namespace

BEE_OP(OpSetSources) {
  const SourceList* list = Words<SetSourcesCmd>(*rec).list;
  if (!list) return kErrBadParam;
  int32_t count = static_cast<int32_t>(list->count);
  const SourcePair* pairs = list->pairs();
  for (int32_t i = 0; i < count; ++i) {
    if (ErrorCode err = CheckLayer(pairs[i].layer)) return err;
    if (ErrorCode err = CheckItem(pairs[i].source)) return err;
  }
  return SetSources(pairs, count, inv);
}

BEE_OP(OpReplaceItem) {
  const auto [from, to] = Words<ReplaceItemCmd>(*rec);
  if (ErrorCode err = CheckItem(from)) return err;
  if (ErrorCode err = CheckItem(to)) return err;
  std::vector<SourcePair> pairs;
  for (BEE_Item c : G().order) {
    if (R(c).kind != BEE_KindComp) continue;
    int32_t n = LayerCount(c);
    for (int32_t i = 0; i < n; ++i) {
      BEE_Layer l = LayerAt(c, i);
      if (R(l).source != from) continue;
      // Every use must take the new item before any changes.
      if (OwnsSolid(l)) return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
      if (ErrorCode err = CheckSource(c, to)) return err;
      pairs.push_back(SourcePair{l, to});
    }
  }
  return SetSources(pairs.data(), static_cast<int32_t>(pairs.size()), inv);
}

BEE_OP(OpDuplicateComp) {
  const BEE_Item comp = Words<DuplicateCompCmd>(*rec).comp;
  if (ErrorCode err = CheckComp(comp)) return err;
  auto& order = G().order;
  auto at = std::find(order.begin(), order.end(), comp);
  if (at == order.end()) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextRootItem);
  BEE_Item copy = nullptr;
  if (ErrorCode err = NewItem(BEE_KindComp, NameOf(R(comp).name), &copy)) return err;
  {
    // Everything but the identity, the owned lists and texts is copied.
    BEE_ItemRec saved = R(copy);
    std::memcpy(*reinterpret_cast<Handle>(copy), *reinterpret_cast<Handle>(comp), sizeof(BEE_ItemRec));
    BEE_ItemRec& r = R(copy);
    r.id = saved.id;
    r.stamp = saved.stamp;
    r.layers = saved.layers;
    r.comment = nullptr;
    r.guides = nullptr;
    r.footage = nullptr;
    r.parent = nullptr;
    r.selection = nullptr;
  }
  ErrorCode err = NewText(TextOf(R(comp).comment), &R(copy).comment, BEE_SiteCommandOp);
  if (!err && R(comp).guides) err = LIST_Duplicate(R(comp).guides, 0, &R(copy).guides);
  int32_t n = LayerCount(comp);
  std::vector<BEE_Layer> originals, copies;
  for (int32_t i = 0; i < n && !err; ++i) {
    BEE_Layer l = nullptr;
    err = DuplicateLayerRec(LayerAt(comp, i), &l);
    if (!err) {
      err = InsertLayer(copy, l, -1);
      if (err) DisposeLayer(l);
    }
    if (!err) originals.push_back(LayerAt(comp, i)), copies.push_back(l);
  }
  // The copy's effects read the copy's layers.
  if (!err) CopyLayerChoices(originals, copies);
  if (err) {
    DisposeItem(copy);
    return err;
  }
  // The copy follows the original in its folder.
  R(copy).parent = R(comp).parent;
  order.insert(std::find(order.begin(), order.end(), comp) + 1, copy);
  RebuildOrder();
  MarkSortStale();
  SetInverse(inv, RemoveItemCmd{copy, {}});
  return 0;
}

}  // namespace tv::bee
