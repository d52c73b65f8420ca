// The project engine's registry of live items and layers with the checks
// every operation starts with, small helpers and the host callback.
#include <algorithm>
#include <cstring>

#include "BEE_internal.h"

namespace tv::bee {
namespace {
State gState;
}  // namespace

State& G() { return gState; }

bool IsLiveItem(const void* h) { return h && gState.liveItems.count(h) != 0; }
bool IsLiveLayer(const void* h) { return h && gState.liveLayers.count(h) != 0; }
bool IsInProject(BEE_Item item) {
  return IsLiveItem(item) && std::find(gState.order.begin(), gState.order.end(), item) != gState.order.end();
}

ErrorCode CheckItem(BEE_Item item) {
  // A handle the engine never made (or already freed) is not dereferenced.
  if (!IsLiveItem(item) || !*item || R(item).magic != BEE_ItemMagic)
    return kReport.Report(BEE_SiteItem, kSevFatal, kErrDamaged, kTextDamagedItem);
  return 0;
}

ErrorCode CheckLayer(BEE_Layer layer) {
  if (!IsLiveLayer(layer) || !*layer || R(layer).magic != BEE_LayerMagic)
    return kReport.Report(BEE_SiteLayer, kSevFatal, kErrDamaged, kTextDamagedLayer);
  return 0;
}

ErrorCode CheckKind(BEE_Item item, int16_t kind, int32_t text) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (R(item).kind != kind) return kReport.Report(BEE_SiteItemQuery, kSevError, kErrBadParam, text);
  return 0;
}

ErrorCode RequireProject() {
  if (!gState.open) return kReport.Report(BEE_SiteProject, kSevError, kErrBadParam, kTextNoProject);
  return 0;
}

void CopyName(char (&out)[32], std::string_view text) {
  std::memset(out, 0, sizeof out);
  fmt::CopyTo(std::span<char>(out, sizeof out), text);
}

std::string_view NameOf(const char* name) { return std::string_view(name, strnlen(name, 32)); }

ErrorCode NewText(std::string_view text, Handle* h, uint32_t site) {
  *h = nullptr;
  if (text.empty()) return 0;
  Handle t = NewHandle(static_cast<Size>(text.size() + 1));
  if (!t) return kReport.OutOfMemory(site, kTextOutOfMemoryWhat, text.size() + 1);
  std::memcpy(*t, text.data(), text.size());
  (*t)[text.size()] = 0;
  *h = t;
  return 0;
}

std::string_view TextOf(Handle h) {
  if (!h || !*h) return {};
  return std::string_view(*h, strnlen(*h, static_cast<size_t>(GetHandleSize(h))));
}

void Notify(int32_t selector, void* data) {
  if (gState.callback) gState.callback(gState.refcon, selector, data);
}

void NotifySwitch(BEE_Layer layer, BEE_Item comp, uint32_t bit, bool on) {
  BEE_SwitchNote note{layer, comp, bit, on ? 1 : 0};
  Notify(BEE_SelSwitchChanged, &note);
}

void CloseProjectState() {
  State& g = gState;
  // Items of the tree, children before their folders.
  std::vector<BEE_Item> order = g.order;
  for (auto it = order.rbegin(); it != order.rend(); ++it) DisposeItem(*it);
  g.order.clear();
  g.root = nullptr;
  g.open = false;
  g.sortStale = false;
}

void DisposeLeftovers() {
  State& g = gState;
  while (!g.liveLayers.empty()) {
    auto* layer = static_cast<BEE_Layer>(const_cast<void*>(*g.liveLayers.begin()));
    if (!*layer || R(layer).magic != BEE_LayerMagic) {
      g.liveLayers.erase(g.liveLayers.begin());
      continue;
    }
    DisposeLayer(layer);
  }
  while (!g.liveItems.empty()) {
    auto* item = static_cast<BEE_Item>(const_cast<void*>(*g.liveItems.begin()));
    if (!*item || R(item).magic != BEE_ItemMagic) {
      g.liveItems.erase(g.liveItems.begin());
      continue;
    }
    DisposeItem(item);
  }
}

ErrorCode OpenEmptyProject() {
  State& g = gState;
  // The new root is made first: when it cannot be, the open project stays.
  const uint32_t savedNext = g.nextId;
  g.nextId = 1;
  BEE_Item root = nullptr;
  if (ErrorCode err = NewItem(BEE_KindFolder, "", &root)) {
    g.nextId = savedNext;
    return err;
  }
  CloseProjectState();
  ++g.generation;
  g.root = root;
  g.order.push_back(root);
  g.open = true;
  g.dirty = false;
  g.path.clear();
  g.fileSetting = 0;
  return 0;
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEEp_GetLiveCounts(int32_t* items, int32_t* layers) try {
  if (items) *items = static_cast<int32_t>(G().liveItems.size());
  if (layers) *layers = static_cast<int32_t>(G().liveLayers.size());
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetCallbackFunc(BEE_CallbackFunc func, intptr_t refcon) try {
  G().callback = func;
  G().refcon = refcon;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEEp_DumpProject(Handle* text) try {
  if (!text) return kReport.BadParam(kSiteArgument, {"BEEp_DumpProject"});
  *text = nullptr;
  std::string s;
  if (ErrorCode err = DumpProject(s)) return err;
  Handle h = NewHandle(static_cast<Size>(s.size() + 1));
  if (!h) return kReport.OutOfMemory(BEE_SiteMemory, "project dump", s.size() + 1);
  std::memcpy(*h, s.c_str(), s.size() + 1);
  *text = h;
  return 0;
} TV_CATCH(BEE_PackageNumber)
