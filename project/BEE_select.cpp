// Selections: ordered entries of layers, masks, streams and their sub-items
// (mask vertices, keyframes), and the queries over them.
#include <algorithm>
#include <memory>
#include <new>

#include "BEE_select_internal.h"
#include "OM.h"

using namespace tv;
using namespace tv::bee;

using Sel = BEE_SelectionRec;
using Entry = BEE_SelectionRec::Entry;

namespace tv::bee {

bool LayerInComp(BEE_Layer layer) {
  return IsLiveLayer(layer) && R(layer).comp && IndexOfLayer(layer) != kNotFound;
}

bool LayerInComp(BEE_Layer layer, uint32_t id) { return LayerInComp(layer) && R(layer).id == id; }

void DisposeSelectionRec(BEE_SelectionRec* selection) { delete selection; }

ErrorCode CompSelection(BEE_Item comp, BEE_SelectionRec** selection) {
  *selection = nullptr;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!R(comp).selection) R(comp).selection = new Sel;
  *selection = R(comp).selection;
  return 0;
}

}  // namespace tv::bee

namespace {

constexpr int32_t MaskKey(intptr_t mask) { return BEE_StreamFirstMask + 3 * static_cast<int32_t>(mask); }
constexpr bool IsMaskKey(int32_t index) {
  return index >= BEE_StreamFirstMask && index < BEE_StreamFirstEffect && (index - BEE_StreamFirstMask) % 3 == 0;
}

bool Less(const Entry& e, uint32_t id, int32_t index) {
  return e.layerId != id ? e.layerId < id : e.index < index;
}

Entry* Find(Sel& s, BEE_Layer layer, int32_t index) {
  const uint32_t id = R(layer).id;
  auto at = std::lower_bound(s.entries.begin(), s.entries.end(), 0,
                             [&](const Entry& e, int) { return Less(e, id, index); });
  if (at == s.entries.end() || at->layerId != id || at->index != index || at->layer != layer) return nullptr;
  return &*at;
}

Entry& Insert(Sel& s, BEE_Layer layer, int32_t index) {
  const uint32_t id = R(layer).id;
  auto at = std::lower_bound(s.entries.begin(), s.entries.end(), 0,
                             [&](const Entry& e, int) { return Less(e, id, index); });
  if (at != s.entries.end() && at->layerId == id && at->index == index) {
    at->layer = layer;
    return *at;
  }
  return *s.entries.insert(at, Entry{id, index, layer, {}});
}

bool Erase(Sel& s, BEE_Layer layer, int32_t index) {
  Entry* e = Find(s, layer, index);
  if (!e) return false;
  s.entries.erase(s.entries.begin() + (e - s.entries.data()));
  return true;
}

ErrorCode BadSel(const char* op) { return kReport.BadParam(kSiteArgument, {op}); }

ErrorCode IllegalType() {
  return kReport.Report(kSiteSelType, kSevError, BEE_ErrSelType, kTextIllegalSelType);
}

int32_t MaskCount(BEE_Layer layer) {
  int32_t n = 0;
  BEE_GetLayerNumMasks(layer, &n);
  return n;
}

// The vertex count of a mask's shape at the layer's current time.
ErrorCode VertexCount(BEE_Layer layer, int32_t mask, int32_t* count) {
  *count = 0;
  TDB_Stream st = nullptr;
  if (ErrorCode err = MaskStream(layer, MaskKey(mask), &st)) return err;
  Time t = kInvalidTime;
  if (ErrorCode err = BEE_GetLayerCurrentTime(layer, &t)) return err;
  OM_Shape shape = nullptr;
  if (ErrorCode err = OM_GetShape(st, &t, 0, &shape)) return err;
  int32_t type = 0, points = 0;
  ErrorCode err = OM_GetShapeInfo(shape, &type, nullptr, &points);
  OM_DisposeShape(shape);
  if (err) return err;
  // A rectangle becomes 8 vertices and an oval 4 when edited as a path.
  *count = type == 2 ? points / 3 : type == 1 ? 8 : 4;
  return 0;
}

ErrorCode CheckMask(BEE_Layer layer, intptr_t mask) {
  if (mask < 0 || mask >= MaskCount(layer))
    return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(mask)});
  return 0;
}

ErrorCode CheckVertex(BEE_Layer layer, intptr_t mask, intptr_t vertex) {
  if (ErrorCode err = CheckMask(layer, mask)) return err;
  int32_t n = 0;
  if (ErrorCode err = VertexCount(layer, static_cast<int32_t>(mask), &n)) return err;
  if (vertex < 0 || vertex >= n)
    return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(vertex)});
  return 0;
}

// Checks a descriptor naming one thing (a layer is required).
ErrorCode CheckThing(const BEE_SelDesc* d, const char* op) {
  if (!d) return BadSel(op);
  switch (d->kind) {
    case BEE_SelKindLayer:
    case BEE_SelKindMask:
    case BEE_SelKindStream:
    case BEE_SelKindVertex:
      break;
    default:
      return BadSel(op);
  }
  if (!d->layer) return BadSel(op);
  if (ErrorCode err = CheckLayer(d->layer)) return err;
  if (d->kind == BEE_SelKindMask) return CheckMask(d->layer, d->index);
  if (d->kind == BEE_SelKindStream) {
    if (d->index < 0 || d->index > 0x7FFFFFFF) return BadSel(op);
    return ValidStreamIndex(static_cast<int32_t>(d->index), BEE_SiteStream);
  }
  if (d->kind == BEE_SelKindVertex) return CheckVertex(d->layer, d->index, d->vertex);
  return 0;
}

void SelectAllVertices(Entry& e, int32_t count) {
  e.sub.resize(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) e.sub[static_cast<size_t>(i)] = i;
}

ErrorCode SelectOne(Sel& s, bool select, const BEE_SelDesc& d, bool* changed) {
  *changed = false;
  BEE_Layer layer = d.layer;
  switch (d.kind) {
    case BEE_SelKindLayer:
      if (select) {
        if (Find(s, layer, kLayerEntry)) return 0;
        Insert(s, layer, kLayerEntry);
        *changed = true;
      } else {
        *changed = Erase(s, layer, kLayerEntry);
      }
      return 0;
    case BEE_SelKindStream:
    case BEE_SelKindMask: {
      const int32_t index = d.kind == BEE_SelKindMask ? MaskKey(d.index) : static_cast<int32_t>(d.index);
      if (!select) {
        *changed = Erase(s, layer, index);
        return 0;
      }
      Entry* e = Find(s, layer, index);
      const bool fresh = !e;
      if (!e) e = &Insert(s, layer, index);
      if (IsMaskKey(index) && e->sub.empty()) {
        // A mask none of whose vertices is selected is selected whole.
        int32_t n = 0;
        if (ErrorCode err = VertexCount(layer, (index - BEE_StreamFirstMask) / 3, &n)) {
          if (fresh) Erase(s, layer, index);
          return err;
        }
        SelectAllVertices(*e, n);
        *changed = true;
      }
      *changed = *changed || fresh;
      return 0;
    }
    case BEE_SelKindVertex: {
      const int32_t index = MaskKey(d.index);
      const int32_t v = static_cast<int32_t>(d.vertex);
      Entry* e = Find(s, layer, index);
      if (select) {
        if (e && std::binary_search(e->sub.begin(), e->sub.end(), v))
          return kReport.Report(kSiteVertex, kSevError, BEE_ErrSelectedTwice, kTextVertexTwice);
        if (!e) e = &Insert(s, layer, index);
        e->sub.insert(std::lower_bound(e->sub.begin(), e->sub.end(), v), v);
      } else {
        if (!e || !std::binary_search(e->sub.begin(), e->sub.end(), v))
          return kReport.Report(kSiteVertex, kSevError, BEE_ErrSelNotFound, kTextVertexNotFound);
        e->sub.erase(std::lower_bound(e->sub.begin(), e->sub.end(), v));
        // The last vertex of a mask takes the mask with it.
        if (e->sub.empty()) Erase(s, layer, index);
      }
      *changed = true;
      return 0;
    }
  }
  return BadSel("BEE_Select");
}

// The things of a descriptor's kind within its scope, in order.
ErrorCode Enumerate(const Sel& s, const BEE_SelDesc& d, int32_t overLayersText, std::vector<BEE_SelDesc>* out) {
  out->clear();
  if (d.kind != BEE_SelKindLayer && d.kind != BEE_SelKindMask && d.kind != BEE_SelKindStream &&
      d.kind != BEE_SelKindVertex)
    return kReport.BadParam(kSiteArgument, {"selection descriptor"});
  if (d.layer) {
    if (ErrorCode err = CheckLayer(d.layer)) return err;
  } else if (d.kind == BEE_SelKindVertex) {
    return kReport.Report(kSiteSelType, kSevWarning, BEE_ErrSelType, overLayersText);
  }
  for (const Entry& e : s.entries) {
    if (!LayerInComp(e.layer, e.layerId)) continue;
    if (d.layer && e.layer != d.layer && d.kind != BEE_SelKindLayer) continue;
    switch (d.kind) {
      case BEE_SelKindLayer:
        if (e.index == kLayerEntry) out->push_back(BEE_SelDesc{BEE_SelKindLayer, e.layer, 0, 0});
        break;
      case BEE_SelKindMask:
        if (IsMaskKey(e.index))
          out->push_back(BEE_SelDesc{BEE_SelKindMask, e.layer, (e.index - BEE_StreamFirstMask) / 3, 0});
        break;
      case BEE_SelKindStream:
        if (e.index >= 0 && !IsMaskKey(e.index)) out->push_back(BEE_SelDesc{BEE_SelKindStream, e.layer, e.index, 0});
        break;
      case BEE_SelKindVertex: {
        if (!IsMaskKey(e.index)) break;
        const intptr_t mask = (e.index - BEE_StreamFirstMask) / 3;
        if (d.index != BEE_SelAllMasks && d.index != mask) break;
        for (int32_t v : e.sub) out->push_back(BEE_SelDesc{BEE_SelKindVertex, e.layer, mask, v});
        break;
      }
    }
  }
  return 0;
}

bool HasKind(const Sel& s, intptr_t kind) {
  for (const Entry& e : s.entries) {
    if (!LayerInComp(e.layer, e.layerId)) continue;
    if (kind == BEE_SelKindLayer && e.index == kLayerEntry) return true;
    if (kind == BEE_SelKindMask && IsMaskKey(e.index)) return true;
    if (kind == BEE_SelKindStream && e.index >= 0 && !IsMaskKey(e.index)) return true;
    if (kind == BEE_SelKindVertex && IsMaskKey(e.index) && !e.sub.empty()) return true;
  }
  return false;
}

bool IsThingSelected(Sel& s, const BEE_SelDesc& d) {
  switch (d.kind) {
    case BEE_SelKindLayer:
      return Find(s, d.layer, kLayerEntry) != nullptr;
    case BEE_SelKindMask:
      return Find(s, d.layer, MaskKey(d.index)) != nullptr;
    case BEE_SelKindStream:
      return Find(s, d.layer, static_cast<int32_t>(d.index)) != nullptr;
    case BEE_SelKindVertex: {
      const Entry* e = Find(s, d.layer, MaskKey(d.index));
      return e && std::binary_search(e->sub.begin(), e->sub.end(), static_cast<int32_t>(d.vertex));
    }
  }
  return false;
}

ErrorCode KeyCount(BEE_Layer layer, int32_t index, int32_t* count) {
  *count = 0;
  BEE_StreamRef ref{layer, index};
  TDB_Stream st = nullptr;
  if (ErrorCode err = BEE_StreamLookup(&ref, &st)) return err;
  if (!st) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextNoStream, {index});
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(st, &info)) return err;
  *count = info.keyCount;
  return 0;
}

}  // namespace

// ---- Exported ----

ErrorCode BEE_NewSelection(BEE_Selection* selection) try {
  if (selection) *selection = nullptr;
  if (!selection) return BadSel("BEE_NewSelection");
  *selection = new Sel;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DuplicateSelection(BEE_Selection selection, BEE_Selection* copy) try {
  if (copy) *copy = nullptr;
  if (!copy) return BadSel("BEE_DuplicateSelection");
  if (selection) *copy = new Sel(*selection);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DisposeSelection(BEE_Selection selection) try {
  delete selection;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_Select(BEE_Selection selection, Boolean32 select, const BEE_SelDesc* descriptor,
                     Boolean32* changed) try {
  if (changed) *changed = 0;
  if (!selection) return BadSel("BEE_Select");
  if (ErrorCode err = CheckThing(descriptor, "BEE_Select")) return err;
  // Work on a copy: a failure leaves the selection as it was.
  Sel work = *selection;
  bool did = false;
  if (ErrorCode err = SelectOne(work, select != 0, *descriptor, &did)) return err;
  selection->entries.swap(work.entries);
  if (changed) *changed = did ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsSelected(BEE_Selection selection, int32_t kind, const BEE_SelDesc* descriptor,
                         Boolean32* result) try {
  if (result) *result = 0;
  if (!selection || !result) return BadSel("BEE_IsSelected");
  if ((kind != 0) == (descriptor != nullptr)) return IllegalType();
  if (kind != 0) {
    *result = HasKind(*selection, kind) ? 1 : 0;
    return 0;
  }
  if (descriptor->kind == 3 || descriptor->kind == 5) return 0;
  if (ErrorCode err = CheckThing(descriptor, "BEE_IsSelected")) return err;
  *result = LayerInComp(descriptor->layer) && IsThingSelected(*selection, *descriptor) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CountSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, int32_t* count) try {
  if (count) *count = 0;
  if (!selection || !descriptor || !count) return BadSel("BEE_CountSelected");
  std::vector<BEE_SelDesc> things;
  if (ErrorCode err = Enumerate(*selection, *descriptor, kTextCountVertexes, &things)) return err;
  *count = static_cast<int32_t>(things.size());
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsOneSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, Boolean32* result) try {
  if (result) *result = 0;
  if (!result) return BadSel("BEE_IsOneSelected");
  int32_t n = 0;
  if (ErrorCode err = BEE_CountSelected(selection, descriptor, &n)) return err;
  *result = n == 1 ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetIndSelected(BEE_Selection selection, const BEE_SelDesc* descriptor, int32_t index,
                             BEE_SelDesc* thing) try {
  if (thing) *thing = BEE_SelDesc{};
  if (!selection || !descriptor || !thing) return BadSel("BEE_GetIndSelected");
  std::vector<BEE_SelDesc> things;
  if (ErrorCode err = Enumerate(*selection, *descriptor, kTextGetIndVertexes, &things)) return err;
  // Every kind's index is checked, not only the layers'.
  if (index < 0 || static_cast<size_t>(index) >= things.size())
    return kReport.Report(kSiteSelType, kSevError, kErrRange, kTextBadIndex, {index});
  *thing = things[static_cast<size_t>(index)];
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SelIterate(BEE_Selection selection, const BEE_SelDesc* descriptor, BEE_SelVisitor visitor,
                         intptr_t reference) try {
  if (!selection || !descriptor || !visitor) return BadSel("BEE_SelIterate");
  std::vector<BEE_SelDesc> things;
  if (ErrorCode err = Enumerate(*selection, *descriptor, kTextIterVertexes, &things)) return err;
  for (const BEE_SelDesc& t : things)
    if (ErrorCode err = visitor(&t, reference)) return err;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SelectAll(BEE_Selection selection, Boolean32 select, const BEE_SelDesc* descriptor) try {
  if (!selection || !descriptor || !descriptor->layer) return BadSel("BEE_SelectAll");
  BEE_Layer layer = descriptor->layer;
  if (ErrorCode err = CheckLayer(layer)) return err;
  Sel work = *selection;
  bool changed = false;
  switch (descriptor->kind) {
    case BEE_SelKindLayer: {
      BEE_Item comp = R(layer).comp;
      if (ErrorCode err = CheckComp(comp)) return err;
      const int32_t n = LayerCount(comp);
      for (int32_t i = 0; i < n; ++i)
        if (ErrorCode err = SelectOne(work, select, BEE_SelDesc{BEE_SelKindLayer, LayerAt(comp, i), 0, 0}, &changed))
          return err;
      break;
    }
    case BEE_SelKindMask: {
      const int32_t n = MaskCount(layer);
      for (int32_t m = 0; m < n; ++m)
        if (ErrorCode err = SelectOne(work, select, BEE_SelDesc{BEE_SelKindMask, layer, m, 0}, &changed)) return err;
      break;
    }
    case BEE_SelKindStream:
      for (int32_t i = 0; i < BEE_StandardStreamCount; ++i) {
        BEE_StreamRef ref{layer, i};
        TDB_Stream st = nullptr;
        if (BEE_StreamLookup(&ref, &st) != 0 || !st) continue;
        if (ErrorCode err = SelectOne(work, select, BEE_SelDesc{BEE_SelKindStream, layer, i, 0}, &changed))
          return err;
      }
      break;
    case BEE_SelKindVertex: {
      const bool every = descriptor->index == BEE_SelAllMasks;
      if (!every)
        if (ErrorCode err = CheckMask(layer, descriptor->index)) return err;
      const int32_t first = every ? 0 : static_cast<int32_t>(descriptor->index);
      const int32_t last = every ? MaskCount(layer) : first + 1;
      for (int32_t m = first; m < last; ++m) {
        if (!select) {
          Erase(work, layer, MaskKey(m));
          continue;
        }
        int32_t n = 0;
        if (ErrorCode err = VertexCount(layer, m, &n)) return err;
        SelectAllVertices(Insert(work, layer, MaskKey(m)), n);
      }
      break;
    }
    default:
      return BadSel("BEE_SelectAll");
  }
  selection->entries.swap(work.entries);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SelectLayer(BEE_Selection selection, BEE_Layer layer, Boolean32 select, Boolean32* changed) try {
  BEE_SelDesc d{BEE_SelKindLayer, layer, 0, 0};
  return BEE_Select(selection, select, &d, changed);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsLayerSelected(BEE_Selection selection, BEE_Layer layer, Boolean32* result) try {
  BEE_SelDesc d{BEE_SelKindLayer, layer, 0, 0};
  return BEE_IsSelected(selection, 0, &d, result);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CountSelectedLayers(BEE_Selection selection, int32_t* count) try {
  BEE_SelDesc d{BEE_SelKindLayer, nullptr, 0, 0};
  return BEE_CountSelected(selection, &d, count);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetIndSelectedLayer(BEE_Selection selection, int32_t index, BEE_Layer* layer) try {
  if (layer) *layer = nullptr;
  if (!selection || !layer) return BadSel("BEE_GetIndSelectedLayer");
  std::vector<BEE_SelDesc> things;
  if (ErrorCode err = Enumerate(*selection, BEE_SelDesc{BEE_SelKindLayer, nullptr, 0, 0}, 0, &things)) return err;
  if (things.empty()) return kReport.Report(kSiteSelType, kSevError, kErrRange, kTextSelLayerNotFound);
  if (index < 0 || static_cast<size_t>(index) >= things.size())
    return kReport.Report(kSiteSelType, kSevError, kErrRange, kTextSelLayerInquiry, {index});
  *layer = things[static_cast<size_t>(index)].layer;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SelectKeyframe(BEE_Selection selection, BEE_Layer layer, int32_t index, int32_t key, Boolean32 select,
                             Boolean32* changed) try {
  if (changed) *changed = 0;
  if (!selection) return BadSel("BEE_SelectKeyframe");
  if (ErrorCode err = CheckLayer(layer)) return err;
  // A mask's entry holds its vertices: its shape keys are not selectable here.
  if (IsMaskKey(index)) return BadSel("BEE_SelectKeyframe");
  int32_t keys = 0;
  if (ErrorCode err = KeyCount(layer, index, &keys)) return err;
  if (key < 0 || key >= keys) return kReport.Report(BEE_SiteStream, kSevError, kErrRange, kTextBadIndex, {key});
  Entry* e = Find(*selection, layer, index);
  const bool has = e && std::binary_search(e->sub.begin(), e->sub.end(), key);
  if (select && !has) {
    if (!e) e = &Insert(*selection, layer, index);
    e->sub.insert(std::lower_bound(e->sub.begin(), e->sub.end(), key), key);
  } else if (!select && has) {
    e->sub.erase(std::lower_bound(e->sub.begin(), e->sub.end(), key));
  } else {
    return 0;
  }
  if (changed) *changed = 1;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsKeyframeSelected(BEE_Selection selection, BEE_Layer layer, int32_t index, int32_t key,
                                 Boolean32* result) try {
  if (result) *result = 0;
  if (!selection || !result) return BadSel("BEE_IsKeyframeSelected");
  if (ErrorCode err = CheckLayer(layer)) return err;
  const Entry* e = Find(*selection, layer, index);
  *result = e && !IsMaskKey(index) && std::binary_search(e->sub.begin(), e->sub.end(), key) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_IsKeyframeSelectedPlus(BEE_Selection selection, BEE_Layer layer, int32_t index, int32_t key,
                                     Boolean32* result) try {
  if (ErrorCode err = BEE_IsKeyframeSelected(selection, layer, index, key, result)) return err;
  if (!*result && Find(*selection, layer, kLayerEntry)) *result = 1;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CountSelectedKeyframes(BEE_Selection selection, int32_t* count) try {
  if (count) *count = 0;
  if (!selection || !count) return BadSel("BEE_CountSelectedKeyframes");
  int32_t n = 0;
  for (const Entry& e : selection->entries)
    if (e.index >= 0 && !IsMaskKey(e.index) && LayerInComp(e.layer, e.layerId)) n += static_cast<int32_t>(e.sub.size());
  *count = n;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DeselectAllKeyframes(BEE_Selection selection) try {
  if (!selection) return BadSel("BEE_DeselectAllKeyframes");
  for (Entry& e : selection->entries)
    if (e.index >= 0 && !IsMaskKey(e.index)) e.sub.clear();
  return 0;
} TV_CATCH(BEE_PackageNumber)
