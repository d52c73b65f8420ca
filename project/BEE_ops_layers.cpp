// Table operations on layers and their streams (same rules as the item
// operations: check first, then change, then describe the inverse).
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {

ErrorCode SwapLayerComment(BEE_Layer layer, intptr_t text, intptr_t* oldBlock);

namespace {

BEE_Item AsItem(intptr_t w) { return reinterpret_cast<BEE_Item>(w); }
BEE_Layer AsLayer(intptr_t w) { return reinterpret_cast<BEE_Layer>(w); }
intptr_t W(const void* p) { return reinterpret_cast<intptr_t>(p); }

ErrorCode CheckPlacedLayer(BEE_Layer layer) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (IndexOfLayer(layer) == kNotFound)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadIndex, {kNotFound});
  return 0;
}

ErrorCode CheckSource(BEE_Item comp, BEE_Item source) {
  if (ErrorCode err = CheckItem(source)) return err;
  int16_t k = R(source).kind;
  // Solids belong to the one layer made with them; a composition never
  // contains itself, directly or through the compositions it nests.
  if (k == BEE_KindComp && !SourceAllowed(comp, source))
    return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextSelfContaining);
  if (k != BEE_KindComp && k != BEE_KindFootage)
    return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
  return 0;
}

bool OwnsSolid(BEE_Layer layer) {
  BEE_Item s = R(layer).source;
  return IsLiveItem(s) && R(s).kind == BEE_KindSolid && R(s).solidLayer == layer;
}

}  // namespace

void DisposeStreamChange(BEE_CmdRec* rec) {
  if (rec->param2) TDB_DisposeStream(reinterpret_cast<TDB_Stream>(rec->param2));
  rec->param2 = 0;
  if (rec->param1) DisposePtr(reinterpret_cast<Ptr>(rec->param1));
  rec->param1 = 0;
}

BEE_OP(OpKeyframeChange) {
  const auto* ref = reinterpret_cast<const BEE_StreamRef*>(rec->param1);
  TDB_Stream stream = reinterpret_cast<TDB_Stream>(rec->param2);
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
  intptr_t target = 0;
  if (ErrorCode err = NewBlock(ref, sizeof *ref, &target)) return err;
  R(layer).streams[index] = stream;
  TouchLayer(layer);
  // The layer owns the new stream now.
  rec->param2 = 0;
  // Successive changes of one stream are one step: the first change's
  // inverse (already on the stack) restores the stream before all of them.
  if (merge && merge->param1) {
    const auto* other = reinterpret_cast<const BEE_StreamRef*>(merge->param1);
    if (other->layer == ref->layer && other->index == ref->index) *merged = 1;
  }
  inv->operation = &OpKeyframeChange;
  inv->param1 = target;
  inv->param2 = W(old);
  inv->dispose = &DisposeStreamChange;
  return 0;
}

BEE_OP(OpNewLayer) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  BEE_Item source = AsItem(rec->param2);
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
  inv->operation = &OpClearLayer;
  inv->param1 = W(layer);
  return 0;
}

BEE_OP(OpNewSolidLayer) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  const auto* s = reinterpret_cast<const BEE_SolidSettings*>(rec->param2);
  if (!s) return kErrBadParam;
  if (s->width == 0 || s->height == 0)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadDimensions, {s->width, s->height});
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
  inv->operation = &OpClearLayer;
  inv->param1 = W(layer);
  return 0;
}

BEE_OP(OpClearLayer) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  int32_t index = 0;
  if (ErrorCode err = RemoveLayer(layer, &index)) return err;
  inv->operation = &OpReinsertLayer;
  inv->param1 = W(layer);
  inv->param2 = index;
  inv->dispose = &DisposeOwnedLayer;
  return 0;
}

BEE_OP(OpReinsertLayer) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  BEE_Item comp = R(layer).comp;
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  if (IndexOfLayer(layer) != kNotFound || rec->param2 < 0 || rec->param2 > LayerCount(comp))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(rec->param2)});
  if (ErrorCode err = InsertLayer(comp, layer, static_cast<int32_t>(rec->param2))) return err;
  rec->param1 = 0;  // the composition owns the layer again
  rec->dispose = nullptr;
  inv->operation = &OpClearLayer;
  inv->param1 = W(layer);
  return 0;
}

BEE_OP(OpLayerTimes) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  const auto* t = reinterpret_cast<const BEE_LayerTimes*>(rec->param2);
  if (!t) return kErrBadParam;
  if (t->offset.scale == 0 || t->inPoint.scale == 0 || t->outPoint.scale == 0 ||
      t::Compare(t->inPoint, t->outPoint) > 0)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadTimes);
  BEE_LayerRec& r = R(layer);
  BEE_LayerTimes old{r.offset, r.inPoint, r.outPoint};
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  BEE_LayerRec& r2 = R(layer);
  r2.offset = t->offset;
  r2.inPoint = t->inPoint;
  r2.outPoint = t->outPoint;
  TouchLayer(layer);
  inv->operation = &OpLayerTimes;
  inv->param1 = W(layer);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpLayerReorder) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  BEE_Item comp = R(layer).comp;
  int32_t n = LayerCount(comp);
  if (rec->param2 < 0 || rec->param2 >= n)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(rec->param2)});
  int32_t from = IndexOfLayer(layer);
  int32_t to = static_cast<int32_t>(rec->param2);
  if (ErrorCode err = LIST_Move(from, to, R(comp).layers, 0)) return err;
  Touch(comp);
  inv->operation = &OpLayerReorder;
  inv->param1 = W(layer);
  inv->param2 = from;
  return 0;
}

BEE_OP(OpLayerStretch) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  Ratio s = BEE_UnpackRatio(rec->param2);
  // A stretch of 0 cannot be divided by when composition times become layer times.
  if (s.num == 0 || s.den == 0)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadStretch, {s.num, static_cast<uint64_t>(s.den)});
  inv->operation = &OpLayerStretch;
  inv->param1 = W(layer);
  inv->param2 = BEE_PackRatio(R(layer).stretch);
  R(layer).stretch = s;
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpQuality) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (rec->param2 < BEE_QualityWireframe || rec->param2 > BEE_QualityBest)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadQuality, {static_cast<int64_t>(rec->param2)});
  inv->operation = &OpQuality;
  inv->param1 = W(layer);
  inv->param2 = R(layer).quality;
  R(layer).quality = static_cast<int16_t>(rec->param2);
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpTransfer) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  const auto* t = reinterpret_cast<const BEE_TransferSettings*>(rec->param2);
  if (!t) return kErrBadParam;
  if (t->trackMatte > BEE_MatteLumaInverted)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadMatte, {t->trackMatte});
  BEE_TransferSettings old{R(layer).transferMode, R(layer).transferFlags, R(layer).trackMatte};
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  BEE_LayerRec& r = R(layer);
  r.transferMode = t->mode;
  r.transferFlags = t->flags;
  r.trackMatte = t->trackMatte;
  TouchLayer(layer);
  inv->operation = &OpTransfer;
  inv->param1 = W(layer);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpToggleSwitch) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  uint32_t bit = static_cast<uint32_t>(rec->param2);
  bool on = (static_cast<uint64_t>(rec->param2) >> 32) != 0;
  if (bit == 0 || (bit & (bit - 1))) return Strange(BEE_SiteSwitch, "BEE_SetLayerSwitch", bit);
  bool was = (R(layer).switches & bit) != 0;
  if (on)
    R(layer).switches |= bit;
  else
    R(layer).switches &= ~bit;
  // The frames a switch invalidates belong to the frame cache (not built
  // yet); the layer's stamp tells every later cache that it changed.
  TouchLayer(layer);
  inv->operation = &OpToggleSwitch;
  inv->param1 = W(layer);
  inv->param2 = BEE_PackSwitch(bit, was);
  NotifySwitch(layer, R(layer).comp, bit, on);
  return 0;
}

BEE_OP(OpDuplicateLayer) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckPlacedLayer(layer)) return err;
  BEE_Layer copy = nullptr;
  if (ErrorCode err = DuplicateLayerRec(layer, &copy)) return err;
  if (ErrorCode err = InsertLayer(R(layer).comp, copy, IndexOfLayer(layer))) {
    DisposeLayer(copy);
    return err;
  }
  inv->operation = &OpClearLayer;
  inv->param1 = W(copy);
  return 0;
}

BEE_OP(OpReplaceSource) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  BEE_Item source = AsItem(rec->param2);
  // A solid layer keeps its solid (it is changed through its settings).
  if (OwnsSolid(layer)) return kReport.Report(BEE_SiteSource, kSevError, kErrBadParam, kTextBadSource);
  if (ErrorCode err = CheckSource(R(layer).comp, source)) return err;
  inv->operation = &OpReplaceSource;
  inv->param1 = W(layer);
  inv->param2 = W(R(layer).source);
  R(layer).source = source;
  TouchLayer(layer);
  return 0;
}

BEE_OP(OpLayerName) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!rec->param2) return kErrBadParam;
  char name[32];
  CopyName(name, reinterpret_cast<const char*>(rec->param2));
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(R(layer).name, 32, &block)) return err;
  std::memcpy(R(layer).name, name, 32);
  TouchLayer(layer);
  inv->operation = &OpLayerName;
  inv->param1 = W(layer);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpLayerLabel) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  inv->operation = &OpLayerLabel;
  inv->param1 = W(layer);
  inv->param2 = R(layer).label;
  R(layer).label = static_cast<int8_t>(rec->param2);
  return 0;
}

BEE_OP(OpLayerComment) {
  BEE_Layer layer = AsLayer(rec->param1);
  if (ErrorCode err = CheckLayer(layer)) return err;
  intptr_t old = 0;
  if (ErrorCode err = SwapLayerComment(layer, rec->param2, &old)) return err;
  inv->operation = &OpLayerComment;
  inv->param1 = W(layer);
  inv->param2 = old;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

}  // namespace tv::bee

namespace tv::bee {

namespace {

// A set of layers with the source each is to get (commands 41 and its inverse).
struct SourcePair {
  BEE_Layer layer;
  BEE_Item source;
};

ErrorCode SetSources(const SourcePair* pairs, int32_t count, BEE_CmdRec* inv);

BEE_OP(OpSetSources) {
  const auto* block = reinterpret_cast<const int64_t*>(rec->param2);
  if (!block) return kErrBadParam;
  int32_t count = static_cast<int32_t>(block[0]);
  const auto* pairs = reinterpret_cast<const SourcePair*>(block + 1);
  for (int32_t i = 0; i < count; ++i) {
    if (ErrorCode err = CheckLayer(pairs[i].layer)) return err;
    if (ErrorCode err = CheckItem(pairs[i].source)) return err;
  }
  return SetSources(pairs, count, inv);
}

ErrorCode SetSources(const SourcePair* pairs, int32_t count, BEE_CmdRec* inv) {
  size_t bytes = sizeof(int64_t) + sizeof(SourcePair) * static_cast<size_t>(count);
  Ptr p = NewPtr(static_cast<Size>(bytes));
  if (!p) return OutOfMemory(BEE_SiteCommandOp, "undo information", bytes);
  auto* head = reinterpret_cast<int64_t*>(p);
  head[0] = count;
  auto* old = reinterpret_cast<SourcePair*>(head + 1);
  for (int32_t i = 0; i < count; ++i) {
    old[i] = SourcePair{pairs[i].layer, R(pairs[i].layer).source};
    R(pairs[i].layer).source = pairs[i].source;
    TouchLayer(pairs[i].layer);
  }
  inv->operation = &OpSetSources;
  inv->param2 = reinterpret_cast<intptr_t>(p);
  inv->dispose = &DisposeParam2Block;
  return 0;
}

}  // namespace

BEE_OP(OpReplaceItem) {
  BEE_Item from = AsItem(rec->param1), to = AsItem(rec->param2);
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
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
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
  }
  ErrorCode err = NewText(TextOf(R(comp).comment), &R(copy).comment, BEE_SiteCommandOp);
  if (!err && R(comp).guides) err = LIST_Duplicate(R(comp).guides, 0, &R(copy).guides);
  int32_t n = LayerCount(comp);
  for (int32_t i = 0; i < n && !err; ++i) {
    BEE_Layer l = nullptr;
    err = DuplicateLayerRec(LayerAt(comp, i), &l);
    if (!err) {
      err = InsertLayer(copy, l, -1);
      if (err) DisposeLayer(l);
    }
  }
  if (err) {
    DisposeItem(copy);
    return err;
  }
  // The copy follows the original in its folder.
  R(copy).parent = R(comp).parent;
  order.insert(std::find(order.begin(), order.end(), comp) + 1, copy);
  RebuildOrder();
  MarkSortStale();
  inv->operation = &OpRemoveItem;
  inv->param1 = W(copy);
  return 0;
}

}  // namespace tv::bee
