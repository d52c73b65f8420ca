// Items: creation and disposal, the project tree and its order, and the
// item queries.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "BEE_internal.h"

namespace tv::bee {

ErrorCode NewItem(int16_t kind, std::string_view name, BEE_Item* item) {
  *item = nullptr;
  Handle h = NewHandleClear(sizeof(BEE_ItemRec));
  if (!h) return kReport.OutOfMemory(BEE_SiteItem, kTextOutOfMemoryWhat, sizeof(BEE_ItemRec));
  BEE_Item it = reinterpret_cast<BEE_Item>(h);
  BEE_ItemRec& r = R(it);
  r.magic = BEE_ItemMagic;
  r.kind = kind;
  r.id = G().nextId++;
  CopyName(r.name, name);
  r.stamp = FreshStamp();
  if (kind == BEE_KindComp) {
    LIST_Handle layers = nullptr;
    if (ErrorCode err = LIST_New(0, static_cast<int32_t>(sizeof(intptr_t)), 8, 1, &layers)) {
      DisposeHandle(h);
      return err;
    }
    BEE_ItemRec& rc = R(it);
    rc.layers = layers;
    rc.flags = BEE_ItemVideo;
    InitCompDefaults(rc);
  } else if (kind == BEE_KindSolid) {
    r.flags = BEE_ItemVideo;
  }
  try {
    G().liveItems.insert(h);
  } catch (...) {
    // Not registered: the record and its list go again.
    if (R(it).layers) LIST_Dispose(R(it).layers, 0);
    DisposeHandle(h);
    throw;
  }
  *item = it;
  return 0;
}

void DisposeItem(BEE_Item item) {
  if (!IsLiveItem(item)) return;
  BEE_ItemRec& r = R(item);
  if (r.layers) {
    int32_t n = 0;
    LIST_GetNumItems(r.layers, &n);
    for (int32_t i = 0; i < n; ++i) {
      intptr_t l = 0;
      LIST_GetPItem(R(item).layers, i, &l);
      DisposeLayer(reinterpret_cast<BEE_Layer>(l));
    }
    LIST_Dispose(R(item).layers, 0);
  }
  BEE_ItemRec& r2 = R(item);
  if (r2.guides) LIST_Dispose(r2.guides, 0);
  if (r2.comment) DisposeHandle(r2.comment);
  if (r2.footage) DisposeHandle(r2.footage);
  if (r2.seqSpec) PIN_DisposeSeqSpec(r2.seqSpec);
  if (r2.proxy) PIN_DisposeSeqSpec(r2.proxy);
  DisposeSelectionRec(r2.selection);
  r2.magic = 0xDEAD;
  G().users.erase(item);
  G().liveItems.erase(item);
  DisposeHandle(reinterpret_cast<Handle>(item));
}

namespace {

int32_t SortKeyCompare(BEE_Item a, BEE_Item b, int32_t mode) {
  const BEE_ItemRec& x = R(a);
  const BEE_ItemRec& y = R(b);
  switch (mode) {
    case 1: {
      int c = NameOf(x.name).compare(NameOf(y.name));
      if (c) return c;
      break;
    }
    case 2:
      if (x.kind != y.kind) return x.kind - y.kind;
      break;
    case 5:
      if (x.label != y.label) return x.label - y.label;
      break;
    default:
      break;
  }
  // Equal keys (and the unsorted mode) keep the project's own order.
  return 0;
}

void Rebuild(bool sort) {
  State& g = G();
  if (!g.root) return;
  std::unordered_map<BEE_Item, std::vector<BEE_Item>> children;
  for (BEE_Item it : g.order)
    if (it != g.root) children[R(it).parent].push_back(it);
  if (sort)
    for (auto& [parent, list] : children)
      std::stable_sort(list.begin(), list.end(),
                       [&](BEE_Item a, BEE_Item b) { return SortKeyCompare(a, b, g.sortMode) < 0; });
  std::vector<BEE_Item> out;
  out.reserve(g.order.size());
  std::vector<BEE_Item> stack{g.root};
  while (!stack.empty()) {
    BEE_Item it = stack.back();
    stack.pop_back();
    out.push_back(it);
    auto found = children.find(it);
    if (found == children.end()) continue;
    for (auto c = found->second.rbegin(); c != found->second.rend(); ++c) stack.push_back(*c);
  }
  g.order = std::move(out);
}

}  // namespace

void RebuildOrder() { Rebuild(false); }

void AttachItem(BEE_Item item, BEE_Item parent) {
  R(item).parent = parent;
  G().order.push_back(item);
  // The root's last child already stands last; others join their folder.
  if (parent != G().root) Rebuild(false);
  MarkSortStale();
}

void DetachItem(BEE_Item item) {
  auto& o = G().order;
  o.erase(std::remove(o.begin(), o.end(), item), o.end());
}

bool IsDescendant(BEE_Item folder, BEE_Item item) {
  // Bounded by the number of items, so a damaged parent chain cannot loop.
  size_t limit = G().liveItems.size() + 1;
  for (BEE_Item p = item; p && limit; --limit) {
    if (p == folder) return true;
    if (!IsLiveItem(p)) return false;
    p = R(p).parent;
  }
  return false;
}

int32_t CountUsers(BEE_Item item) {
  auto found = G().users.find(item);
  if (found == G().users.end()) return 0;
  // Only compositions of the project count (not those held by undo).
  const std::unordered_set<BEE_Item> inProject(G().order.begin(), G().order.end());
  int32_t n = 0;
  for (BEE_Layer l : found->second)
    if (inProject.count(R(l).comp)) ++n;
  return n;
}

void MarkSortStale() { G().sortStale = true; }

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

// ---- Project ----

ErrorCode BEE_QueryProject(BEE_Item* root) try {
  if (!root) return kReport.BadParam(kSiteArgument, {"BEE_QueryProject"});
  *root = G().open ? G().root : nullptr;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetProjectDirty(Boolean32* dirty) try {
  if (!dirty) return kReport.BadParam(kSiteArgument, {"BEE_GetProjectDirty"});
  *dirty = G().dirty ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetProjectDirty(Boolean32 dirty) try {
  G().dirty = dirty != 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetProjectSortingMode(int32_t mode) try {
  G().sortMode = mode;
  MarkSortStale();
  return BEE_LazyProjectResort();
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetProjectSortingMode(int32_t* mode) try {
  if (!mode) return kReport.BadParam(kSiteArgument, {"BEE_GetProjectSortingMode"});
  *mode = G().sortMode;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LazyProjectResort(void) try {
  if (!G().sortStale) return 0;
  Rebuild(true);
  G().sortStale = false;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetProjectGuideProps(uint32_t props) try {
  G().guideProps = props;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetProjectGuideProps(uint32_t* props) try {
  if (!props) return kReport.BadParam(kSiteArgument, {"BEE_GetProjectGuideProps"});
  *props = G().guideProps;
  return 0;
} TV_CATCH(BEE_PackageNumber)

// ---- Walking and finding ----

ErrorCode BEE_ForEachItem(BEE_ItemVisitor visitor, intptr_t data) try {
  if (!visitor) return kReport.BadParam(kSiteArgument, {"BEE_ForEachItem"});
  if (ErrorCode err = RequireProject()) return err;
  BEE_LazyProjectResort();
  // The visitor may not change the project; walk a copy all the same.
  std::vector<BEE_Item> order = G().order;
  for (BEE_Item it : order)
    if (ErrorCode r = visitor(it, data)) return r;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetNextItem(BEE_Item item, BEE_Item* next) try {
  if (!next) return kReport.BadParam(kSiteArgument, {"BEE_GetNextItem"});
  *next = nullptr;
  if (ErrorCode err = RequireProject()) return err;
  BEE_LazyProjectResort();
  const auto& o = G().order;
  if (!item) {
    *next = G().root;
    return 0;
  }
  if (ErrorCode err = CheckItem(item)) return err;
  auto at = std::find(o.begin(), o.end(), item);
  if (at != o.end() && at + 1 != o.end()) *next = *(at + 1);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LookupItemID(uint32_t id, BEE_Item* item) try {
  if (!item) return kReport.BadParam(kSiteArgument, {"BEE_LookupItemID"});
  *item = nullptr;
  for (BEE_Item it : G().order) {
    if (R(it).id == id) {
      *item = it;
      return 0;
    }
    // Solids live with their layers, outside the tree.
    if (R(it).kind == BEE_KindComp) {
      int32_t n = LayerCount(it);
      for (int32_t i = 0; i < n; ++i) {
        BEE_Item s = R(LayerAt(it, i)).source;
        if (s && R(s).kind == BEE_KindSolid && R(s).id == id) {
          *item = s;
          return 0;
        }
      }
    }
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemID(BEE_Item item, uint32_t* id) try {
  return QueryField<&CheckItem, &BEE_ItemRec::id>("BEE_GetItemID", item, id);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_FindItem(BEE_Item folder, const char* name, int16_t kind, BEE_Item* item) try {
  if (!item || !name) return kReport.BadParam(kSiteArgument, {"BEE_FindItem"});
  *item = nullptr;
  if (ErrorCode err = RequireProject()) return err;
  if (folder)
    if (ErrorCode err = CheckItem(folder)) return err;
  char wanted[32];
  CopyName(wanted, name);
  for (BEE_Item it : G().order) {
    if (folder && (it == folder || !IsDescendant(folder, it))) continue;
    if (kind && R(it).kind != kind) continue;
    char n[32];
    BEE_GetItemName(it, n);
    if (std::strcmp(n, wanted) == 0) {
      *item = it;
      return 0;
    }
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetTypeName(int16_t kind, char name[32]) try {
  if (name) name[0] = 0;
  int32_t text = 0;
  switch (kind) {
    case BEE_KindFolder: text = kTextFolder; break;
    case BEE_KindDefunct2:
    case BEE_KindDefunct3: text = kTextDefunct; break;
    case BEE_KindComp: text = kTextComposition; break;
    case BEE_KindRenderItem: text = kTextRenderingMovie; break;
    case BEE_KindSolid: text = kTextSolid; break;
    case BEE_KindFootage: text = kTextFootage; break;
    default: return Strange(BEE_SiteTypeName, "type", kind);
  }
  if (!name) return kReport.BadParam(kSiteArgument, {"BEE_GetTypeName"});
  fmt::CopyTo(std::span<char>(name, 32), kReport.Text(text));
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemKind(BEE_Item item, int16_t* kind) try {
  return QueryField<&CheckItem, &BEE_ItemRec::kind>("BEE_GetItemKind", item, kind);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemParent(BEE_Item item, BEE_Item* parent) try {
  return QueryField<&CheckItem, &BEE_ItemRec::parent>("BEE_GetItemParent", item, parent);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_IsItemInProject(BEE_Item item, Boolean32* in) try {
  if (!in) return kReport.BadParam(kSiteArgument, {"BEEp_IsItemInProject"});
  *in = 0;
  // A handle the engine freed is in no project: answered, not reported.
  if (!IsLiveItem(item)) return 0;
  if (ErrorCode err = CheckItem(item)) return err;
  BEE_Item root = nullptr;
  BEE_QueryProject(&root);
  // A solid belongs to its layer: it is in the project while its layer is.
  const bool solid = R(item).kind == BEE_KindSolid && R(item).solidLayer;
  *in = item == root || IsInProject(item) || (solid && IndexOfLayer(R(item).solidLayer) != kNotFound) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemFlags(BEE_Item item, uint32_t* flags) try {
  return QueryField<&CheckItem, &BEE_ItemRec::flags>("BEE_GetItemFlags", item, flags);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemLabel(BEE_Item item, int8_t* label) try {
  return QueryField<&CheckItem, &BEE_ItemRec::label>("BEE_GetItemLabel", item, label);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemName(BEE_Item item, char name[32]) try {
  return QueryText<&CheckItem>("BEE_GetItemName", item, name, 32, [](BEE_Item i) {
    const BEE_ItemRec& r = R(i);
    if (r.kind == BEE_KindFootage && r.footage) return NameOf(reinterpret_cast<const BEE_FootageDesc*>(*r.footage)->name);
    return NameOf(r.name);
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemPath(BEE_Item item, char* path, int32_t size) try {
  return QueryText<&CheckItem>("BEE_GetItemPath", item, path, size, [](BEE_Item i) {
    std::vector<std::string> names;
    size_t limit = G().liveItems.size() + 1;
    for (BEE_Item p = i; p && p != G().root && limit; p = R(p).parent, --limit) {
      char n[32];
      BEE_GetItemName(p, n);
      names.emplace_back(n);
    }
    std::string out;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
      if (!out.empty()) out += '/';
      out += *it;
    }
    return out;
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemDimensions(BEE_Item item, int32_t* width, int32_t* height) try {
  if (width) *width = 0;
  if (height) *height = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  const BEE_ItemRec& r = R(item);
  int32_t w = 0, h = 0;
  switch (r.kind) {
    case BEE_KindComp:
    case BEE_KindSolid: w = r.width; h = r.height; break;
    case BEE_KindFootage:
      if (r.footage) {
        const auto* d = reinterpret_cast<const BEE_FootageDesc*>(*r.footage);
        w = d->width;
        h = d->height;
      }
      break;
    case BEE_KindFolder: break;
    default: return Strange(BEE_SiteItemQuery, "BEE_GetItemDimensions", r.kind);
  }
  if (width) *width = w;
  if (height) *height = h;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemDuration(BEE_Item item, Time* duration, int32_t* units600) try {
  if (duration) *duration = kInvalidTime;
  if (units600) *units600 = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  const BEE_ItemRec& r = R(item);
  Time d{0, 600};
  switch (r.kind) {
    case BEE_KindComp: d = r.duration; break;
    case BEE_KindFootage:
      if (r.footage) d = reinterpret_cast<const BEE_FootageDesc*>(*r.footage)->duration;
      break;
    case BEE_KindFolder:
    case BEE_KindSolid: break;
    default: return Strange(BEE_SiteItemQuery, "BEE_GetItemDuration", r.kind);
  }
  if (duration) *duration = d;
  if (units600) {
    Time c{};
    if (ErrorCode err = T_ConvTime(d, 600, &c, nullptr)) return err;
    *units600 = c.value;
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemCurrentTime(BEE_Item item, Time* time) try {
  return Query<&CheckItem>("BEE_GetItemCurrentTime", item, time,
                           [](BEE_Item i) { return R(i).kind == BEE_KindComp ? R(i).currentTime : Time{0, 600}; });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemHSF(BEE_Item item, Ratio* hsf) try {
  return Query<&CheckItem>("BEE_GetItemHSF", item, hsf, [](BEE_Item i) {
    const BEE_ItemRec& r = R(i);
    if (r.kind == BEE_KindComp) return r.hsf;
    if (r.kind == BEE_KindFootage && r.footage) return reinterpret_cast<const BEE_FootageDesc*>(*r.footage)->pixelAspect;
    if (r.kind == BEE_KindSolid && IsLiveLayer(r.solidLayer)) {
      // A solid takes the pixel aspect of the composition of its layer.
      BEE_Item comp = R(r.solidLayer).comp;
      if (IsLiveItem(comp)) return R(comp).hsf;
    }
    return Ratio{1, 1};
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemCommentLength(BEE_Item item, int32_t* length) try {
  return Query<&CheckItem>("BEE_GetItemCommentLength", item, length, [](BEE_Item i) { return static_cast<int32_t>(TextOf(R(i).comment).size()); });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemComment(BEE_Item item, char* text, int32_t size) try {
  return QueryText<&CheckItem>("BEE_GetItemComment", item, text, size, [](BEE_Item i) { return TextOf(R(i).comment); });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemModDate(BEE_Item item, uint32_t* stamp) try {
  return QueryField<&CheckItem, &BEE_ItemRec::stamp>("BEE_GetItemModDate", item, stamp);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemOrigin(BEE_Item item, BEE_RulerOrigin* origin) try {
  return QueryField<&CheckItem, &BEE_ItemRec::origin>("BEE_GetItemOrigin", item, origin);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetItemGuides(BEE_Item item, int32_t* count, BEE_Guide* guides, int32_t capacity) try {
  return Query<&CheckItem>("BEE_GetItemGuides", item, count, [&](BEE_Item i) {
    LIST_Handle l = R(i).guides;
    int32_t n = 0;
    if (l) LIST_GetNumItems(l, &n);
    for (int32_t k = 0; guides && k < n && k < capacity; ++k) LIST_GetItem(l, k, &guides[k]);
    return n;
  });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_DoesFolderContainItem(BEE_Item folder, BEE_Item item, Boolean32* contains) try {
  if (contains) *contains = 0;
  if (ErrorCode err = CheckItem(folder)) return err;
  if (ErrorCode err = CheckItem(item)) return err;
  if (!contains) return kReport.BadParam(kSiteArgument, {"BEE_DoesFolderContainItem"});
  // The walk starts at the item's parent: an item does not contain itself.
  BEE_Item p = R(item).parent;
  *contains = p && IsDescendant(folder, p) ? 1 : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetLayerFromSolid(BEE_Item solid, BEE_Layer* layer) try {
  return QueryField<&CheckSolid, &BEE_ItemRec::solidLayer>("BEE_GetLayerFromSolid", solid, layer);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetSolidColor(BEE_Item solid, uint32_t* color) try {
  return QueryField<&CheckSolid, &BEE_ItemRec::solidColor>("BEE_GetSolidColor", solid, color);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_FieldLabelConversion(int32_t fieldSetting, Boolean32 second, int32_t* label) try {
  if (!label) return kReport.BadParam(kSiteArgument, {"BEE_FieldLabelConversion"});
  *label = fieldSetting == 1 ? (second ? 2 : 1) : 0;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_MakeFootageItem(BEE_Item folder, const BEE_FootageDesc* desc, BEE_Item* item) try {
  if (item) *item = nullptr;
  if (!desc || !item) return kReport.BadParam(kSiteArgument, {"BEEp_MakeFootageItem"});
  if (ErrorCode err = RequireProject()) return err;
  if (!folder) folder = G().root;
  if (ErrorCode err = CheckKind(folder, BEE_KindFolder, kTextNotFolder)) return err;
  if (desc->duration.scale == 0 || desc->pixelAspect.den == 0 || desc->pixelAspect.num <= 0)
    return kReport.Report(BEE_SiteItemQuery, kSevError, kErrBadParam, kTextBadDimensions, {desc->width, desc->height});
  Handle d = NewHandle(sizeof(BEE_FootageDesc));
  if (!d) return kReport.OutOfMemory(BEE_SiteItem, kTextOutOfMemoryWhat, sizeof(BEE_FootageDesc));
  std::memcpy(*d, desc, sizeof(BEE_FootageDesc));
  auto* copy = reinterpret_cast<BEE_FootageDesc*>(*d);
  CopyName(copy->name, NameOf(desc->name));
  CopyName(copy->formatName, NameOf(desc->formatName));
  copy->text[sizeof copy->text - 1] = 0;
  BEE_Item it = nullptr;
  if (ErrorCode err = NewItem(BEE_KindFootage, NameOf(desc->name), &it)) {
    DisposeHandle(d);
    return err;
  }
  BEE_ItemRec& r = R(it);
  r.footage = d;
  r.width = desc->width;
  r.height = desc->height;
  if (desc->hasVideo) r.flags |= BEE_ItemVideo;
  if (desc->duration.value == 0) r.flags |= BEE_ItemStill;
  AttachItem(it, folder);
  *item = it;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetFootageDesc(BEE_Item footage, BEE_FootageDesc* desc) try {
  if (desc) std::memset(desc, 0, sizeof *desc);
  if (ErrorCode err = CheckItem(footage)) return err;
  if (!desc) return kReport.BadParam(kSiteArgument, {"BEE_GetFootageDesc"});
  if (R(footage).kind != BEE_KindFootage || !R(footage).footage)
    return Strange(BEE_SiteItemQuery, "BEE_GetFootageDesc", R(footage).kind);
  std::memcpy(desc, *R(footage).footage, sizeof *desc);
  return 0;
} TV_CATCH(BEE_PackageNumber)
