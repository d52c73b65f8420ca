// Table operations on the project and its items. Each checks everything it
// needs before it changes the model, so a failed operation changes nothing,
// and fills in its inverse. An operation that takes over something its
// record owned (an item, a block) clears that word, since what a record
// still owns after it ran is released with it.
#include <algorithm>
#include <cstring>

#include "BEE_cmd_internal.h"

namespace tv::bee {

namespace {

BEE_Item AsItem(intptr_t w) { return reinterpret_cast<BEE_Item>(w); }
intptr_t W(const void* p) { return reinterpret_cast<intptr_t>(p); }

bool InTree(BEE_Item item) {
  const auto& o = G().order;
  return std::find(o.begin(), o.end(), item) != o.end();
}

ErrorCode CheckTreeItem(BEE_Item item) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (!InTree(item) || item == G().root) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextRootItem);
  return 0;
}

ErrorCode FolderOrRoot(intptr_t w, BEE_Item* folder) {
  if (ErrorCode err = RequireProject()) return err;
  BEE_Item f = w ? AsItem(w) : G().root;
  if (ErrorCode err = CheckKind(f, BEE_KindFolder, kTextNotFolder)) return err;
  if (!InTree(f)) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextNotFolder);
  *folder = f;
  return 0;
}

// The item and its descendants, which follow it in the project order.
size_t SubtreeEnd(size_t at) {
  const auto& o = G().order;
  size_t end = at + 1;
  while (end < o.size() && IsDescendant(o[at], o[end])) ++end;
  return end;
}

struct MoveBlock {
  BEE_Item parent;
  intptr_t index;
};

// Moves item (with its descendants) under parent, to position index of the
// order without them (-1: the end); *oldParent and *oldIndex say where it was.
void MoveSubtree(BEE_Item item, BEE_Item parent, intptr_t index, BEE_Item* oldParent, intptr_t* oldIndex) {
  auto& o = G().order;
  size_t at = static_cast<size_t>(std::find(o.begin(), o.end(), item) - o.begin());
  size_t end = SubtreeEnd(at);
  std::vector<BEE_Item> block(o.begin() + static_cast<ptrdiff_t>(at), o.begin() + static_cast<ptrdiff_t>(end));
  o.erase(o.begin() + static_cast<ptrdiff_t>(at), o.begin() + static_cast<ptrdiff_t>(end));
  *oldParent = R(item).parent;
  *oldIndex = static_cast<intptr_t>(at);
  size_t to = index < 0 || static_cast<size_t>(index) > o.size() ? o.size() : static_cast<size_t>(index);
  o.insert(o.begin() + static_cast<ptrdiff_t>(to), block.begin(), block.end());
  R(item).parent = parent;
  RebuildOrder();
  MarkSortStale();
}

ErrorCode TakeName(intptr_t w, char (&out)[32]) {
  if (!w) return kErrBadParam;
  CopyName(out, reinterpret_cast<const char*>(w));
  return 0;
}

}  // namespace

BEE_OP(OpRemoveItem) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckTreeItem(item)) return err;
  bool hasChildren = false;
  for (BEE_Item it : G().order)
    if (it != item && R(it).parent == item) hasChildren = true;
  // An item in use (a layer's source) or a folder that holds items stays.
  if (hasChildren || CountUsers(item) > 0)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextItemInUse);
  auto& o = G().order;
  intptr_t index = std::find(o.begin(), o.end(), item) - o.begin();
  DetachItem(item);
  MarkSortStale();
  inv->operation = &OpReinsertItem;
  inv->param1 = W(item);
  inv->param2 = index;
  inv->dispose = &DisposeOwnedItem;
  return 0;
}

BEE_OP(OpReinsertItem) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  BEE_Item parent = R(item).parent;
  if (InTree(item) || !IsLiveItem(parent) || !InTree(parent))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextNotFolder);
  auto& o = G().order;
  size_t to = rec->param2 < 0 || static_cast<size_t>(rec->param2) > o.size() ? o.size()
                                                                              : static_cast<size_t>(rec->param2);
  o.insert(o.begin() + static_cast<ptrdiff_t>(to), item);
  RebuildOrder();
  MarkSortStale();
  Touch(item);
  rec->param1 = 0;  // the project owns the item again
  rec->dispose = nullptr;
  inv->operation = &OpRemoveItem;
  inv->param1 = W(item);
  return 0;
}

BEE_OP(OpNewProject) {
  CloseProjectState();
  return OpenEmptyProject();
}

BEE_OP(OpCloseProject) {
  CloseProjectState();
  return 0;
}

BEE_OP(OpNewComp) {
  BEE_Item folder = nullptr;
  if (ErrorCode err = FolderOrRoot(rec->param1, &folder)) return err;
  const auto* s = reinterpret_cast<const BEE_CompSettings*>(rec->param2);
  if (!s) return kErrBadParam;
  if (ErrorCode err = ValidateCompSettings(*s, BEE_SiteCommandOp)) return err;
  BEE_Item comp = nullptr;
  if (ErrorCode err = NewItem(BEE_KindComp, NameOf(s->name), &comp)) return err;
  if (ErrorCode err = ApplyCompSettings(comp, *s)) {
    DisposeItem(comp);
    return err;
  }
  R(comp).currentTime = Time{0, R(comp).frameDuration.scale};
  AttachItem(comp, folder);
  inv->operation = &OpRemoveItem;
  inv->param1 = W(comp);
  return 0;
}

BEE_OP(OpCompSettings) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  const auto* s = reinterpret_cast<const BEE_CompSettings*>(rec->param2);
  if (!s) return kErrBadParam;
  BEE_CompSettings old{};
  BEE_GetCompSettings(comp, &old);
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  if (ErrorCode err = ApplyCompSettings(comp, *s)) {
    DisposePtr(reinterpret_cast<Ptr>(block));
    return err;
  }
  inv->operation = &OpCompSettings;
  inv->param1 = W(comp);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpTimeChange) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  Time t = BEE_UnpackTime(rec->param2);
  if (t.scale == 0) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadTimes);
  Time old = R(comp).currentTime;
  R(comp).currentTime = SnapToGrid(R(comp), t);
  // Successive time changes of one item are one step.
  if (merge && merge->param1 == rec->param1) *merged = 1;
  inv->operation = &OpTimeChange;
  inv->param1 = W(comp);
  inv->param2 = BEE_PackTime(old);
  return 0;
}

BEE_OP(OpNameChange) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  char name[32];
  if (ErrorCode err = TakeName(rec->param2, name)) return err;
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(R(item).name, 32, &block)) return err;
  std::memcpy(R(item).name, name, 32);
  MarkSortStale();
  Touch(item);
  inv->operation = &OpNameChange;
  inv->param1 = W(item);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpResolution) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  uint16_t h = static_cast<uint16_t>(rec->param2 >> 16), v = static_cast<uint16_t>(rec->param2);
  // A factor of 0 would divide by zero wherever the frame is downsampled.
  if (h == 0 || v == 0) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadResolution, {h, v});
  BEE_ItemRec& r = R(comp);
  inv->operation = &OpResolution;
  inv->param1 = W(comp);
  inv->param2 = (intptr_t{r.dsfH} << 16) | r.dsfV;
  if (r.dsfH != h || r.dsfV != v) {
    r.dsfH = h;
    r.dsfV = v;
    r.compStamps[2] = FreshStamp();
  }
  return 0;
}

BEE_OP(OpBackgroundColor) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  inv->operation = &OpBackgroundColor;
  inv->param1 = W(comp);
  inv->param2 = R(comp).bgColor;
  R(comp).bgColor = static_cast<uint32_t>(rec->param2);
  Touch(comp);
  return 0;
}

BEE_OP(OpCompSwitch) {
  BEE_Item comp = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(comp, BEE_KindComp, kTextNotComp)) return err;
  uint32_t bit = static_cast<uint32_t>(rec->param2);
  bool on = (static_cast<uint64_t>(rec->param2) >> 32) != 0;
  if (bit == 0 || (bit & (bit - 1))) return Strange(BEE_SiteSwitch, "BEE_SetCompSwitch", bit);
  bool was = (R(comp).compSwitches & bit) != 0;
  if (on)
    R(comp).compSwitches |= bit;
  else
    R(comp).compSwitches &= ~bit;
  Touch(comp);
  inv->operation = &OpCompSwitch;
  inv->param1 = W(comp);
  inv->param2 = BEE_PackSwitch(bit, was);
  NotifySwitch(nullptr, comp, bit, on);
  return 0;
}

BEE_OP(OpSolidSettings) {
  BEE_Item solid = AsItem(rec->param1);
  if (ErrorCode err = CheckKind(solid, BEE_KindSolid, kTextNotSolid)) return err;
  const auto* s = reinterpret_cast<const BEE_SolidSettings*>(rec->param2);
  if (!s) return kErrBadParam;
  if (s->width == 0 || s->height == 0)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextBadDimensions, {s->width, s->height});
  BEE_SolidSettings old{};
  std::memcpy(old.name, R(solid).name, 32);
  old.color = R(solid).solidColor;
  old.width = R(solid).width;
  old.height = R(solid).height;
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  BEE_ItemRec& r = R(solid);
  CopyName(r.name, NameOf(s->name));
  r.solidColor = s->color;
  r.width = s->width;
  r.height = s->height;
  Touch(solid);
  inv->operation = &OpSolidSettings;
  inv->param1 = W(solid);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpLayerLooping) {
  inv->operation = &OpLayerLooping;
  inv->param1 = rec->param1;
  inv->param2 = rec->param2;
  return 0;
}

BEE_OP(OpBeep) {
  U_Beep();
  return 0;
}

BEE_OP(OpNewFolder) {
  BEE_Item parent = nullptr;
  if (ErrorCode err = FolderOrRoot(rec->param1, &parent)) return err;
  char name[32];
  if (ErrorCode err = TakeName(rec->param2, name)) return err;
  BEE_Item folder = nullptr;
  if (ErrorCode err = NewItem(BEE_KindFolder, NameOf(name), &folder)) return err;
  AttachItem(folder, parent);
  inv->operation = &OpRemoveItem;
  inv->param1 = W(folder);
  return 0;
}

BEE_OP(OpMoveItem) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckTreeItem(item)) return err;
  BEE_Item folder = nullptr;
  if (ErrorCode err = FolderOrRoot(rec->param2, &folder)) return err;
  if (IsDescendant(item, folder)) return kReport.Report(BEE_SiteFolder, kSevError, kErrBadParam, kTextFolderInside);
  MoveBlock old{};
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  auto* b = reinterpret_cast<MoveBlock*>(block);
  MoveSubtree(item, folder, -1, &b->parent, &b->index);
  inv->operation = &OpMoveItemAt;
  inv->param1 = W(item);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpMoveItemAt) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckTreeItem(item)) return err;
  const auto* where = reinterpret_cast<const MoveBlock*>(rec->param2);
  if (!where) return kErrBadParam;
  BEE_Item folder = nullptr;
  if (ErrorCode err = FolderOrRoot(W(where->parent), &folder)) return err;
  if (IsDescendant(item, folder)) return kReport.Report(BEE_SiteFolder, kSevError, kErrBadParam, kTextFolderInside);
  MoveBlock old{};
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  auto* b = reinterpret_cast<MoveBlock*>(block);
  MoveSubtree(item, folder, where->index, &b->parent, &b->index);
  inv->operation = &OpMoveItemAt;
  inv->param1 = W(item);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpTask) {
  auto* task = reinterpret_cast<BEE_TaskBlock*>(rec->param1);
  if (!task || !task->function) return kErrBadParam;
  return task->function(rec, inv, merge, merged);
}

BEE_OP(OpObsoleteSetValue) {
  return kReport.Report(BEE_SiteCommandOp, kSevError, kErrUnsupported, kTextObsoleteSetValue);
}

BEE_OP(OpObsoleteClearKey) {
  return kReport.Report(BEE_SiteCommandOp, kSevError, kErrUnsupported, kTextObsoleteClearKey);
}

// ---- Guides ----

namespace {
ErrorCode GuideList(BEE_Item item, bool create, LIST_Handle* list) {
  *list = R(item).guides;
  if (*list || !create) return 0;
  if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(BEE_Guide)), 4, 1, list)) return err;
  R(item).guides = *list;
  return 0;
}
int32_t GuideCount(BEE_Item item) {
  int32_t n = 0;
  if (R(item).guides) LIST_GetNumItems(R(item).guides, &n);
  return n;
}
}  // namespace

BEE_OP(OpNewGuide) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  const auto* c = reinterpret_cast<const BEE_GuideChange*>(rec->param2);
  if (!c) return kErrBadParam;
  int32_t n = GuideCount(item);
  int32_t at = c->index < 0 ? n : c->index;
  if (at > n) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {c->index});
  LIST_Handle list = nullptr;
  if (ErrorCode err = GuideList(item, true, &list)) return err;
  if (ErrorCode err = LIST_Insert(&c->guide, at == n ? -1 : at, list)) return err;
  inv->operation = &OpRemoveGuide;
  inv->param1 = W(item);
  inv->param2 = at;
  return 0;
}

BEE_OP(OpRemoveGuide) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  int32_t n = GuideCount(item);
  if (rec->param2 < 0 || rec->param2 >= n)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(rec->param2)});
  BEE_GuideChange old{static_cast<int32_t>(rec->param2), {}};
  LIST_GetItem(R(item).guides, old.index, &old.guide);
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  LIST_Remove(old.index, R(item).guides, 0, nullptr);
  inv->operation = &OpNewGuide;
  inv->param1 = W(item);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpGuideMove) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  const auto* c = reinterpret_cast<const BEE_GuideChange*>(rec->param2);
  if (!c) return kErrBadParam;
  if (c->index < 0 || c->index >= GuideCount(item))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {c->index});
  BEE_GuideChange old{c->index, {}};
  LIST_GetItem(R(item).guides, c->index, &old.guide);
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  LIST_SetItem(&c->guide, c->index, R(item).guides, 0, nullptr);
  inv->operation = &OpGuideMove;
  inv->param1 = W(item);
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

// ---- Labels, comments, origins ----

BEE_OP(OpItemLabel) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  inv->operation = &OpItemLabel;
  inv->param1 = W(item);
  inv->param2 = R(item).label;
  R(item).label = static_cast<int8_t>(rec->param2);
  // Sorted by label, the project is re-sorted at once.
  if (G().sortMode == 5) {
    MarkSortStale();
    BEE_LazyProjectResort();
  }
  return 0;
}

namespace {
ErrorCode SwapComment(Handle* slot, intptr_t text, intptr_t* oldBlock) {
  *oldBlock = 0;
  std::string_view old = TextOf(*slot);
  if (!old.empty()) {
    std::string copy(old);
    if (ErrorCode err = NewBlock(copy.c_str(), copy.size() + 1, oldBlock)) return err;
  }
  Handle h = nullptr;
  if (ErrorCode err = NewText(text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view(),
                              &h, BEE_SiteCommandOp)) {
    if (*oldBlock) DisposePtr(reinterpret_cast<Ptr>(*oldBlock));
    *oldBlock = 0;
    return err;
  }
  if (*slot) DisposeHandle(*slot);
  *slot = h;
  return 0;
}
}  // namespace

ErrorCode SwapItemComment(BEE_Item item, intptr_t text, intptr_t* oldBlock) {
  return SwapComment(&R(item).comment, text, oldBlock);
}
ErrorCode SwapLayerComment(BEE_Layer layer, intptr_t text, intptr_t* oldBlock) {
  return SwapComment(&R(layer).comment, text, oldBlock);
}

BEE_OP(OpItemComment) {
  BEE_Item item = AsItem(rec->param1);
  if (ErrorCode err = CheckItem(item)) return err;
  intptr_t old = 0;
  if (ErrorCode err = SwapItemComment(item, rec->param2, &old)) return err;
  inv->operation = &OpItemComment;
  inv->param1 = W(item);
  inv->param2 = old;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

BEE_OP(OpRulerOrigin) {
  const void* target = reinterpret_cast<const void*>(rec->param1);
  const auto* origin = reinterpret_cast<const BEE_RulerOrigin*>(rec->param2);
  if (!target || !origin) return kReport.Report(BEE_SiteOrigin, kSevError, kErrBadParam, kTextOriginProblem);
  BEE_RulerOrigin* slot = nullptr;
  if (IsLiveLayer(target)) {
    BEE_Layer layer = reinterpret_cast<BEE_Layer>(rec->param1);
    if (ErrorCode err = CheckLayer(layer)) return err;
    slot = &R(layer).origin;
  } else {
    BEE_Item item = AsItem(rec->param1);
    if (ErrorCode err = CheckItem(item)) return err;
    slot = &R(item).origin;
  }
  BEE_RulerOrigin old = *slot;
  intptr_t block = 0;
  if (ErrorCode err = NewBlock(&old, sizeof old, &block)) return err;
  // The slot's block does not move: items and layers are never resized.
  *slot = *origin;
  inv->operation = &OpRulerOrigin;
  inv->param1 = rec->param1;
  inv->param2 = block;
  inv->dispose = &DisposeParam2Block;
  return 0;
}

}  // namespace tv::bee
