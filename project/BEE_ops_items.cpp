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

bool InTree(BEE_Item item) {
  const auto& o = G().order;
  return std::find(o.begin(), o.end(), item) != o.end();
}

ErrorCode CheckTreeItem(BEE_Item item) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (!InTree(item) || item == G().root) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextRootItem);
  return 0;
}

ErrorCode FolderOrRoot(BEE_Item given, BEE_Item* folder) {
  if (ErrorCode err = RequireProject()) return err;
  BEE_Item f = given ? given : G().root;
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

ErrorCode TakeName(const char* text, char (&out)[32]) {
  if (!text) return kErrBadParam;
  CopyName(out, text);
  return 0;
}

}  // namespace

BEE_OP(OpRemoveItem) {
  const BEE_Item item = Words<RemoveItemCmd>(*rec).item;
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
  SetInverse(inv, ReinsertItemCmd{item, index});
  return 0;
}

BEE_OP(OpReinsertItem) {
  const auto [item, position] = Words<ReinsertItemCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  BEE_Item parent = R(item).parent;
  if (InTree(item) || !IsLiveItem(parent) || !InTree(parent))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrBadParam, kTextNotFolder);
  auto& o = G().order;
  size_t to = position < 0 || static_cast<size_t>(position) > o.size() ? o.size() : static_cast<size_t>(position);
  o.insert(o.begin() + static_cast<ptrdiff_t>(to), item);
  RebuildOrder();
  MarkSortStale();
  Touch(item);
  Store(*rec, ReinsertItemCmd{nullptr, position});  // the project owns the item again
  rec->dispose = nullptr;
  SetInverse(inv, RemoveItemCmd{item, {}});
  return 0;
}

BEE_OP(OpNewProject) { return OpenEmptyProject(); }

BEE_OP(OpCloseProject) {
  CloseProjectState();
  return 0;
}

BEE_OP(OpNewComp) {
  const auto [given, s] = Words<NewCompCmd>(*rec);
  BEE_Item folder = nullptr;
  if (ErrorCode err = FolderOrRoot(given, &folder)) return err;
  if (!s) return kErrBadParam;
  if (Fault f = CheckCompSettings(*s)) return Refuse(BEE_SiteCommandOp, f);
  BEE_Item comp = nullptr;
  if (ErrorCode err = NewItem(BEE_KindComp, NameOf(s->name), &comp)) return err;
  if (ErrorCode err = ApplyCompSettings(comp, *s)) {
    DisposeItem(comp);
    return err;
  }
  R(comp).currentTime = Time{0, R(comp).frameDuration.scale};
  AttachItem(comp, folder);
  SetInverse(inv, RemoveItemCmd{comp, {}});
  return 0;
}

BEE_OP(OpCompSettings) {
  const auto [comp, s] = Words<CompSettingsCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!s) return kErrBadParam;
  BEE_CompSettings old{};
  BEE_GetCompSettings(comp, &old);
  BEE_CompSettings* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  if (ErrorCode err = ApplyCompSettings(comp, *s)) {
    DisposePtr(reinterpret_cast<Ptr>(block));
    return err;
  }
  SetInverse(inv, CompSettingsCmd{comp, block});
  return 0;
}

BEE_OP(OpTimeChange) {
  const auto [comp, t] = Words<TimeChangeCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  CompRecord c = CompRecordOf(comp);
  c.currentTime = t;
  if (Fault f = CheckCompRecord(c)) return Refuse(BEE_SiteCommandOp, f);
  Time old = R(comp).currentTime;
  R(comp).currentTime = SnapToGrid(R(comp), t);
  // Successive time changes of one item are one step.
  if (merge && Words<TimeChangeCmd>(*merge).item == comp) *merged = 1;
  SetInverse(inv, TimeChangeCmd{comp, old});
  return 0;
}

BEE_OP(OpNameChange) {
  const auto [item, text] = Words<NameChangeCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  char name[32];
  if (ErrorCode err = TakeName(text, name)) return err;
  char* block = nullptr;
  if (ErrorCode err = NewCopy(R(item).name, 32, &block)) return err;
  std::memcpy(R(item).name, name, 32);
  MarkSortStale();
  Touch(item);
  SetInverse(inv, NameChangeCmd{item, block});
  return 0;
}

BEE_OP(OpResolution) {
  const auto [comp, factors] = Words<ResolutionCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  const uint16_t h = factors.h, v = factors.v;
  CompRecord c = CompRecordOf(comp);
  c.settings.dsfH = h;
  c.settings.dsfV = v;
  if (Fault f = CheckCompRecord(c)) return Refuse(BEE_SiteCommandOp, f);
  BEE_ItemRec& r = R(comp);
  SetInverse(inv, ResolutionCmd{comp, Factors{r.dsfH, r.dsfV}});
  if (r.dsfH != h || r.dsfV != v) {
    r.dsfH = h;
    r.dsfV = v;
    r.compStamps[2] = FreshStamp();
  }
  return 0;
}

BEE_OP(OpBackgroundColor) {
  const auto [comp, color] = Words<BackgroundColorCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  SetInverse(inv, BackgroundColorCmd{comp, R(comp).bgColor});
  R(comp).bgColor = color;
  Touch(comp);
  return 0;
}

BEE_OP(OpCompSwitch) {
  const auto [comp, change] = Words<CompSwitchCmd>(*rec);
  if (ErrorCode err = CheckComp(comp)) return err;
  const auto [bit, on] = change;
  if (bit == 0 || (bit & (bit - 1))) return Strange(BEE_SiteSwitch, "BEE_SetCompSwitch", bit);
  bool was = (R(comp).compSwitches & bit) != 0;
  if (on)
    R(comp).compSwitches |= bit;
  else
    R(comp).compSwitches &= ~bit;
  Touch(comp);
  SetInverse(inv, CompSwitchCmd{comp, Switch{bit, was}});
  NotifySwitch(nullptr, comp, bit, on);
  return 0;
}

BEE_OP(OpSolidSettings) {
  const auto [solid, s] = Words<SolidSettingsCmd>(*rec);
  if (ErrorCode err = CheckSolid(solid)) return err;
  if (!s) return kErrBadParam;
  if (Fault f = CheckSolidSize(s->width, s->height)) return Refuse(BEE_SiteCommandOp, f);
  BEE_SolidSettings old{};
  std::memcpy(old.name, R(solid).name, 32);
  old.color = R(solid).solidColor;
  old.width = R(solid).width;
  old.height = R(solid).height;
  BEE_SolidSettings* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  BEE_ItemRec& r = R(solid);
  CopyName(r.name, NameOf(s->name));
  r.solidColor = s->color;
  r.width = s->width;
  r.height = s->height;
  Touch(solid);
  SetInverse(inv, SolidSettingsCmd{solid, block});
  return 0;
}

BEE_OP(OpLayerLooping) {
  SetInverse(inv, Words<LayerLoopingCmd>(*rec));
  return 0;
}

BEE_OP(OpBeep) {
  U_Beep();
  return 0;
}

BEE_OP(OpNewFolder) {
  const auto [given, text] = Words<NewFolderCmd>(*rec);
  BEE_Item parent = nullptr;
  if (ErrorCode err = FolderOrRoot(given, &parent)) return err;
  char name[32];
  if (ErrorCode err = TakeName(text, name)) return err;
  BEE_Item folder = nullptr;
  if (ErrorCode err = NewItem(BEE_KindFolder, NameOf(name), &folder)) return err;
  AttachItem(folder, parent);
  SetInverse(inv, RemoveItemCmd{folder, {}});
  return 0;
}

namespace {
// Moves item under the folder (null: the root) to index of the order; the
// inverse moves it back to where it stood.
ErrorCode MoveTo(BEE_Item item, BEE_Item given, intptr_t index, BEE_CmdRec* inv) {
  if (ErrorCode err = CheckTreeItem(item)) return err;
  BEE_Item folder = nullptr;
  if (ErrorCode err = FolderOrRoot(given, &folder)) return err;
  if (IsDescendant(item, folder)) return kReport.Report(BEE_SiteFolder, kSevError, kErrBadParam, kTextFolderInside);
  const Place none{};
  Place* old = nullptr;
  if (ErrorCode err = NewCopy(&none, 1, &old)) return err;
  MoveSubtree(item, folder, index, &old->parent, &old->index);
  SetInverse(inv, MoveItemAtCmd{item, old});
  return 0;
}
}  // namespace

BEE_OP(OpMoveItem) {
  const auto [item, folder] = Words<MoveItemCmd>(*rec);
  return MoveTo(item, folder, -1, inv);
}

BEE_OP(OpMoveItemAt) {
  const auto [item, place] = Words<MoveItemAtCmd>(*rec);
  if (ErrorCode err = CheckTreeItem(item)) return err;
  if (!place) return kErrBadParam;
  return MoveTo(item, place->parent, place->index, inv);
}

BEE_OP(OpTask) {
  BEE_TaskBlock* task = Words<TaskCmd>(*rec).task;
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
  const auto [item, c] = Words<NewGuideCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  if (!c) return kErrBadParam;
  int32_t n = GuideCount(item);
  int32_t at = c->index < 0 ? n : c->index;
  if (at > n) return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {c->index});
  LIST_Handle list = nullptr;
  if (ErrorCode err = GuideList(item, true, &list)) return err;
  if (ErrorCode err = LIST_Insert(&c->guide, at == n ? -1 : at, list)) return err;
  SetInverse(inv, RemoveGuideCmd{item, at});
  return 0;
}

BEE_OP(OpRemoveGuide) {
  const auto [item, index] = Words<RemoveGuideCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  int32_t n = GuideCount(item);
  if (index < 0 || index >= n)
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {static_cast<int64_t>(index)});
  BEE_GuideChange old{static_cast<int32_t>(index), {}};
  LIST_GetItem(R(item).guides, old.index, &old.guide);
  BEE_GuideChange* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  LIST_Remove(old.index, R(item).guides, 0, nullptr);
  SetInverse(inv, NewGuideCmd{item, block});
  return 0;
}

BEE_OP(OpGuideMove) {
  const auto [item, c] = Words<GuideMoveCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  if (!c) return kErrBadParam;
  if (c->index < 0 || c->index >= GuideCount(item))
    return kReport.Report(BEE_SiteCommandOp, kSevError, kErrRange, kTextBadIndex, {c->index});
  BEE_GuideChange old{c->index, {}};
  LIST_GetItem(R(item).guides, c->index, &old.guide);
  BEE_GuideChange* block = nullptr;
  if (ErrorCode err = NewCopy(&old, 1, &block)) return err;
  LIST_SetItem(&c->guide, c->index, R(item).guides, 0, nullptr);
  SetInverse(inv, GuideMoveCmd{item, block});
  return 0;
}

// ---- Labels, comments, origins ----

BEE_OP(OpItemLabel) {
  const auto [item, label] = Words<ItemLabelCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  SetInverse(inv, ItemLabelCmd{item, R(item).label});
  R(item).label = label;
  // Sorted by label, the project is re-sorted at once.
  if (G().sortMode == 5) {
    MarkSortStale();
    BEE_LazyProjectResort();
  }
  return 0;
}

ErrorCode SwapComment(Handle* slot, const char* text, char** oldBlock) {
  *oldBlock = nullptr;
  std::string_view old = TextOf(*slot);
  if (!old.empty()) {
    std::string copy(old);
    if (ErrorCode err = NewCopy(copy.c_str(), copy.size() + 1, oldBlock)) return err;
  }
  Handle h = nullptr;
  if (ErrorCode err = NewText(text ? std::string_view(text) : std::string_view(), &h, BEE_SiteCommandOp)) {
    if (*oldBlock) DisposePtr(*oldBlock);
    *oldBlock = nullptr;
    return err;
  }
  if (*slot) DisposeHandle(*slot);
  *slot = h;
  return 0;
}

BEE_OP(OpItemComment) {
  const auto [item, text] = Words<ItemCommentCmd>(*rec);
  if (ErrorCode err = CheckItem(item)) return err;
  char* old = nullptr;
  if (ErrorCode err = SwapComment(&R(item).comment, text, &old)) return err;
  SetInverse(inv, ItemCommentCmd{item, old});
  return 0;
}

BEE_OP(OpRulerOrigin) {
  const auto [target, origin] = Words<RulerOriginCmd>(*rec);
  if (!target || !origin) return kReport.Report(BEE_SiteOrigin, kSevError, kErrBadParam, kTextOriginProblem);
  BEE_RulerOrigin* slot = nullptr;
  if (IsLiveLayer(target)) {
    BEE_Layer layer = static_cast<BEE_Layer>(target);
    if (ErrorCode err = CheckLayer(layer)) return err;
    slot = &R(layer).origin;
  } else {
    BEE_Item item = static_cast<BEE_Item>(target);
    if (ErrorCode err = CheckItem(item)) return err;
    slot = &R(item).origin;
  }
  BEE_RulerOrigin* old = nullptr;
  if (ErrorCode err = NewCopy(slot, 1, &old)) return err;
  // The slot's block does not move: items and layers are never resized.
  *slot = *origin;
  SetInverse(inv, RulerOriginCmd{target, old});
  return 0;
}

}  // namespace tv::bee
