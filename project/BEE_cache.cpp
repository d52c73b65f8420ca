// The engine's frames in the frame cache: the item cache entry value type,
// one sort directory per item in the global bag, checkout and checkin of
// cached item frames, the memory mode, and invalidation after every change
// made through the command layer (commands, undo and redo).
#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "BEE_internal.h"
#include "BM.h"
#include "MC.h"
#include "VAL.h"

namespace tv::bee {
namespace {

constexpr uint32_t kEntryMark = 0xBEECAC4E;
constexpr uint32_t kSiteCache = 0x64;
constexpr uint32_t kSiteUnbalanced = 0x02;
constexpr const char* kTypeName = "KVRN BEEItemCacheV";

// What names a frame. Two keys are equal when every field is; the World and
// the time stamp are the entry's payload, never part of the key, so a key
// built for a look-up finds the frame stored under it.
struct CacheKey {
  uint32_t mark;
  uint32_t itemId;
  int32_t timeValue;
  uint32_t timeScale;
  int32_t spanValue;
  uint32_t spanScale;
  int32_t field;
  uint32_t channelOrder;
  int32_t layerCount;
  uint32_t data[2];
  int32_t width, height;
  uint32_t dsf;  // horizontal factor in the high half
};
static_assert(sizeof(CacheKey) == 56 && std::has_unique_object_representations_v<CacheKey>);

// The item cache entry ("Item Cache Entry"), a pointer block owned by its value.
struct CacheEntry {
  CacheKey key;
  uint32_t stamp;    // project time stamp the frame shows
  BM_World world;    // owned; null in a look-up key
  int32_t locked;    // pixels locked by memory mode 1
  uint32_t index;    // its stuff in the global bag (MC_NoIndex until added)
};

struct KeyHash {
  size_t operator()(const CacheKey& k) const {
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(&k), sizeof k));
  }
};
struct KeyEqual {
  bool operator()(const CacheKey& a, const CacheKey& b) const { return std::memcmp(&a, &b, sizeof a) == 0; }
};

// An item's frames: its sort directory in the global bag and, so that a hit
// costs the same among ten frames or ten thousand, an index from key to stuff
// kept by the entries themselves (an entry leaves it when it is disposed,
// whoever disposes it).
struct DirEntry {
  BEE_Item item;
  MC_SortDir dir;
  std::unordered_map<CacheKey, uint32_t, KeyHash, KeyEqual> index;
};

struct CacheState {
  int32_t type = 0;
  int32_t memoryMode = 1;
  uint32_t sweptAt = 0;
  std::unordered_map<uint32_t, DirEntry> dirs;  // by item id
  std::unordered_set<MC_Receipt> outstanding;   // frame checkouts handed out
};
CacheState gCache;

void Unindex(const CacheEntry& e) {
  auto d = gCache.dirs.find(e.key.itemId);
  if (d == gCache.dirs.end()) return;
  auto it = d->second.index.find(e.key);
  if (it != d->second.index.end() && it->second == e.index) d->second.index.erase(it);
}

CacheEntry* EntryOf(const VAL_Value& v) { return static_cast<CacheEntry*>(v.data.ptr); }

ErrorCode EntryName(intptr_t, char* name) {
  fmt::CopyTo(std::span<char>(name, VAL_NameSize), kTypeName);
  return 0;
}

void Unindex(const CacheEntry& e);

ErrorCode EntryDispose(intptr_t, VAL_Value* value) {
  CacheEntry* e = EntryOf(*value);
  if (!e) return 0;
  Unindex(*e);
  if (e->world) {
    if (e->locked) BM_UnlockPixels(e->world);
    BM_DisposeWorld(e->world);
  }
  e->key.mark = 0;
  DisposePtr(reinterpret_cast<Ptr>(e));
  value->data.ptr = nullptr;
  return 0;
}

ErrorCode EntrySize(intptr_t, const VAL_Value* value, int64_t* bytes) {
  *bytes = 0;
  const CacheEntry* e = EntryOf(*value);
  if (!e || !e->world) return 0;
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if (BM_GetWorldInfo(e->world, &w, &h, &depth, &rowBytes) == 0) *bytes = int64_t{rowBytes} * h;
  return 0;
}

int32_t CompareKeys(const CacheKey& a, const CacheKey& b) {
  const int c = std::memcmp(&a, &b, sizeof(CacheKey));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

ErrorCode EntryCompare(intptr_t, const VAL_Value* a, const VAL_Value* b, int32_t* order) {
  *order = CompareKeys(EntryOf(*a)->key, EntryOf(*b)->key);
  return 0;
}

int32_t ByKey(intptr_t, const MC_Stuff* a, const MC_Stuff* b) {
  return CompareKeys(EntryOf(a->id)->key, EntryOf(b->id)->key);
}

const VAL_TypeRecord kEntryType = [] {
  VAL_TypeRecord r{};
  r.getName = &EntryName;
  r.dispose = &EntryDispose;
  r.deepSize = &EntrySize;
  r.compare = &EntryCompare;
  return r;
}();

// Cached frames are re-creatable: the engine's purge procedure always lets
// them go.
ErrorCode PurgeFrame(intptr_t, MC_Bag, uint32_t, int32_t, int32_t* decision) {
  *decision = MC_Purge_Remove;
  return 0;
}

CacheKey MakeKey(BEE_Item item, const BEE_RenderRequest& rq, int32_t width, int32_t height) {
  CacheKey k{};
  k.mark = kEntryMark;
  k.itemId = R(item).id;
  k.timeValue = rq.time.value;
  k.timeScale = rq.time.scale;
  k.spanValue = rq.span.value;
  k.spanScale = rq.span.scale;
  k.field = rq.field;
  k.channelOrder = (rq.flags >> 24) & 0xFF;
  k.layerCount = rq.layerCount;
  k.data[0] = rq.data[0];
  k.data[1] = rq.data[1];
  k.width = width;
  k.height = height;
  if (R(item).kind == BEE_KindComp) k.dsf = (uint32_t{R(item).dsfH} << 16) | R(item).dsfV;
  return k;
}

// Whether what the item shows changed after `stamp`: its own record, its
// layers and, through their sources, every item nested in it. The view of a
// composition (its resolution) is not content: frames are keyed by it.
bool ContentNewer(BEE_Item item, uint32_t stamp, int depth) {
  if (depth > static_cast<int>(G().liveItems.size())) return false;  // a cycle in damaged data
  const BEE_ItemRec& r = R(item);
  if (r.stamp > stamp) return true;
  if (r.kind != BEE_KindComp) return false;
  if (r.compStamps[0] > stamp || r.compStamps[1] > stamp) return true;
  const int32_t n = LayerCount(item);
  for (int32_t i = 0; i < n; ++i) {
    const BEE_LayerRec& l = R(LayerAt(item, i));
    if (l.stamp > stamp) return true;
    if (l.source && IsLiveItem(l.source) && ContentNewer(l.source, stamp, depth + 1)) return true;
  }
  return false;
}

bool InProject(BEE_Item item, uint32_t id) {
  if (!IsLiveItem(item) || R(item).id != id) return false;
  return std::find(G().order.begin(), G().order.end(), item) != G().order.end();
}

// The stuffs of a directory (a snapshot).
std::vector<uint32_t> Frames(MC_SortDir dir) {
  std::vector<uint32_t> out;
  MC_IterateStuffSortDir(
      dir,
      [](intptr_t ref, MC_Bag, uint32_t index, const MC_Stuff*, Boolean32*) -> ErrorCode {
        reinterpret_cast<std::vector<uint32_t>*>(ref)->push_back(index);
        return 0;
      },
      reinterpret_cast<intptr_t>(&out));
  return out;
}

// Drops the frames of one directory that `stale` says are out of date;
// checked-out ones stay until their checkin (a look-up never hands out a
// stale one). Returns how many went.
template <class Stale>
int32_t DropFrames(MC_SortDir dir, Stale stale) {
  int32_t dropped = 0;
  for (uint32_t index : Frames(dir)) {
    MC_Stuff s{};
    if (MC_GetStuffInfo(MC_GlobalBag, index, &s) != 0 || s.checkouts > 0) continue;
    if (stale(*EntryOf(s.id)) && MC_DeleteStuffByID(MC_GlobalBag, index) == 0) ++dropped;
  }
  return dropped;
}

int32_t Sweep(bool force) {
  if (!gCache.type || (!force && gCache.sweptAt == G().stamp)) return 0;
  gCache.sweptAt = G().stamp;
  int32_t dropped = 0;
  for (auto it = gCache.dirs.begin(); it != gCache.dirs.end();) {
    const uint32_t id = it->first;
    DirEntry& d = it->second;
    if (!InProject(d.item, id)) {
      // The item left the project: none of its frames can be asked for.
      dropped += DropFrames(d.dir, [](const CacheEntry&) { return true; });
      if (Frames(d.dir).empty()) {
        MC_DisposeSortDir(d.dir);
        it = gCache.dirs.erase(it);
        continue;
      }
    } else {
      BEE_Item item = d.item;
      dropped += DropFrames(d.dir, [item](const CacheEntry& e) { return ContentNewer(item, e.stamp, 0); });
    }
    ++it;
  }
  return dropped;
}

ErrorCode DirFor(BEE_Item item, MC_SortDir* dir) {
  *dir = nullptr;
  auto it = gCache.dirs.find(R(item).id);
  if (it != gCache.dirs.end() && it->second.item == item) {
    *dir = it->second.dir;
    return 0;
  }
  MC_SortDir d = nullptr;
  if (ErrorCode err = MC_NewSortDir(MC_GlobalBag, &ByKey, 0, &d)) return err;
  try {
    gCache.dirs[R(item).id] = DirEntry{item, d, {}};
  } catch (...) {
    MC_DisposeSortDir(d);
    throw;
  }
  *dir = d;
  return 0;
}

ErrorCode CheckRequest(BEE_Item item, const BEE_RenderRequest* request, int32_t width, int32_t height,
                       const char* operation) {
  if (ErrorCode err = CheckItem(item)) return err;
  if (!request || width <= 0 || height <= 0) return kReport.BadParam(kSiteArgument, {operation});
  if (!gCache.type) return Unimplemented("The frame cache", 0);
  return 0;
}

void LockAll(bool lock) {
  for (auto& [id, d] : gCache.dirs) {
    for (uint32_t index : Frames(d.dir)) {
      MC_Stuff s{};
      if (MC_GetStuffInfo(MC_GlobalBag, index, &s) != 0) continue;
      CacheEntry* e = EntryOf(s.id);
      if (!e->world || (e->locked != 0) == lock) continue;
      if (lock) {
        Boolean32 failed = 0;
        e->locked = BM_LockPixels(0, e->world, &failed) == 0 && !failed;
      } else {
        BM_UnlockPixels(e->world);
        e->locked = 0;
      }
    }
  }
}

}  // namespace

ErrorCode CacheBirth() {
  gCache.dirs.clear();
  gCache.outstanding.clear();
  gCache.memoryMode = 1;
  gCache.sweptAt = 0;
  gCache.type = 0;
  if (!pkg::Alive(MC_PackageNumber) || !pkg::Alive(VAL_PackageNumber))
    return 0;  // an engine without the cache renders every frame anew
  int32_t type = 0;
  if (ErrorCode err = VAL_LookupType(kTypeName, &type)) return err;
  if (!type) {
    if (ErrorCode err = VAL_RegisterType(&kEntryType, &type)) return err;
  }
  gCache.type = type;
  return 0;
}

void CacheDeath() {
  if (!gCache.type) return;
  if (!gCache.outstanding.empty()) {
    kReport.Note(kSiteUnbalanced, kSevWarning, kTextCacheUnbalanced,
                 {static_cast<int32_t>(gCache.outstanding.size())});
    for (MC_Receipt r : gCache.outstanding) MC_CheckinStuff(MC_Checkin_NotAUse, r);
    gCache.outstanding.clear();
  }
  for (auto& [id, d] : gCache.dirs) {
    DropFrames(d.dir, [](const CacheEntry&) { return true; });
    MC_DisposeSortDir(d.dir);
  }
  gCache.dirs.clear();
  gCache.type = 0;
}

// Not every change takes a fresh time stamp (removing an item does not), so
// every change sweeps.
void CacheAfterChange() { Sweep(true); }

int32_t SweepFrames() { return Sweep(true); }

bool FramesStaleAfterPrefs(const BEE_Prefs& before, const BEE_Prefs& after) {
  return before.cacheMode != after.cacheMode || before.shutter.num != after.shutter.num ||
         before.shutter.den != after.shutter.den || before.shutterPhase != after.shutterPhase || (before.flag4 && !after.flag4) || (before.flag5 && !after.flag5);
}

void PurgeAllFrames() {
  if (gCache.type) MC_PurgeAllPurgeableStuffsFromBag(MC_GlobalBag);
}

bool FrameCacheOn() { return gCache.type != 0; }

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_CheckoutCachedItemFrame(BEE_Item item, const BEE_RenderRequest* request, int32_t width, int32_t height,
                                      Boolean32* exact, MC_Receipt* receipt, BM_World* world) try {
  if (exact) *exact = 0;
  if (receipt) *receipt = nullptr;
  if (world) *world = nullptr;
  if (ErrorCode err = CheckRequest(item, request, width, height, "BEE_CheckoutCachedItemFrame")) return err;
  if (!exact || !receipt || !world) return kReport.BadParam(kSiteArgument, {"BEE_CheckoutCachedItemFrame"});
  Sweep(false);
  auto it = gCache.dirs.find(R(item).id);
  uint32_t index = MC_NoIndex;
  if (it != gCache.dirs.end() && it->second.item == item) {
    auto at = it->second.index.find(MakeKey(item, *request, width, height));
    if (at != it->second.index.end()) index = at->second;
  }
  Boolean32 got = 0;
  MC_Receipt r = nullptr;
  if (index != MC_NoIndex) {
    if (ErrorCode err = MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadOnly, index, &got, &r)) return err;
  }
  MC_NoteLookup(MC_GlobalBag, got);
  if (!got) return 0;
  MC_Stuff s{};
  MC_InqReceipt(r, nullptr, nullptr, &s);
  const CacheEntry& e = *EntryOf(s.id);
  // Locked pixels (memory mode 1) are never purged; unlocked ones may have been.
  int32_t state = 0;
  const bool purged =
      !e.world || (!e.locked && (BM_GetPixelsState(e.world, &state) != 0 || (state & BM_PixState_Purged)));
  if (purged || ContentNewer(item, e.stamp, 0)) {
    // Out of date or its pixels were purged: it goes, and the caller renders.
    MC_CheckinStuff(MC_Checkin_NotAUse | MC_Checkin_Delete, r);
    return 0;
  }
  gCache.outstanding.insert(r);
  *exact = 1;
  *receipt = r;
  *world = e.world;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CacheItemFrame(BEE_Item item, const BEE_RenderRequest* request, BM_World world, int32_t renderTicks,
                             MC_Receipt* receipt) try {
  if (receipt) *receipt = nullptr;
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  if (ErrorCode err = CheckItem(item)) return err;
  if (!receipt || !world || BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes) != 0)
    return kReport.BadParam(kSiteArgument, {"BEE_CacheItemFrame"});
  if (ErrorCode err = CheckRequest(item, request, std::max(w, 1), std::max(h, 1), "BEE_CacheItemFrame")) return err;
  Sweep(false);
  MC_SortDir dir = nullptr;
  if (ErrorCode err = DirFor(item, &dir)) return err;
  const CacheKey key = MakeKey(item, *request, w, h);
  // A frame under the same key is out of date once a new one is made: it
  // goes first, so equal keys never pile up (one still checked out stays
  // until its checkin, out of the index).
  DirEntry& entry = gCache.dirs.find(R(item).id)->second;
  if (auto old = entry.index.find(key); old != entry.index.end()) {
    const uint32_t oldIndex = old->second;
    entry.index.erase(old);
    MC_Stuff s{};
    if (MC_GetStuffInfo(MC_GlobalBag, oldIndex, &s) == 0 && s.checkouts == 0) MC_DeleteStuffByID(MC_GlobalBag, oldIndex);
  }
  auto* e = reinterpret_cast<CacheEntry*>(NewPtrClear(sizeof(CacheEntry)));
  if (!e) return kReport.OutOfMemory(kSiteCache, "Item Cache Entry", sizeof(CacheEntry));
  e->key = key;
  e->stamp = G().stamp;
  e->index = MC_NoIndex;
  VAL_Value value{};
  value.type = gCache.type;
  value.record = &kEntryType;
  value.data.ptr = e;
  e->world = world;  // measured by the cache as the stuff's bytes
  uint32_t index = MC_NoIndex;
  ErrorCode err = MC_AddStuff(MC_GlobalBag, 0, &value, std::max(renderTicks, 0), &PurgeFrame, 0, nullptr, nullptr, 0,
                              &index);
  if (err) {
    DisposePtr(reinterpret_cast<Ptr>(e));  // the World stays the caller's
    return err;
  }
  // From here the cache owns the World.
  e->index = index;
  if (gCache.memoryMode == 1) {
    Boolean32 failed = 0;
    e->locked = BM_LockPixels(0, world, &failed) == 0 && !failed;
  }
  MC_Receipt r = nullptr;
  try {
    entry.index[key] = index;
  } catch (...) {
    MC_DeleteStuffByID(MC_GlobalBag, index);
    throw;
  }
  if (!err) err = MC_AddStuffToSortDir(dir, index);
  if (!err) err = MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadOnly, index, nullptr, &r);
  if (!err) {
    try {
      gCache.outstanding.insert(r);
    } catch (...) {
      MC_CheckinStuff(MC_Checkin_Delete, r);
      throw;
    }
  }
  if (err) {
    MC_DeleteStuffByID(MC_GlobalBag, index);
    return err;
  }
  *receipt = r;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CheckinItemFrame(MC_Receipt receipt) try {
  if (!gCache.outstanding.count(receipt)) return MC_CheckinStuff(0, receipt);  // reported there
  gCache.outstanding.erase(receipt);
  return MC_CheckinStuff(0, receipt);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetReceiptWorld(MC_Receipt receipt, BM_World* world) try {
  if (world) *world = nullptr;
  if (!world) return kReport.BadParam(kSiteArgument, {"BEE_GetReceiptWorld"});
  MC_Stuff s{};
  if (ErrorCode err = MC_InqReceipt(receipt, nullptr, nullptr, &s)) return err;
  if (s.id.type != gCache.type || !EntryOf(s.id)) return kReport.BadParam(kSiteArgument, {"BEE_GetReceiptWorld"});
  *world = EntryOf(s.id)->world;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetReceiptCheckoutCount(MC_Receipt receipt, int32_t* count) try {
  if (count) *count = 0;
  if (!count) return kReport.BadParam(kSiteArgument, {"BEE_GetReceiptCheckoutCount"});
  MC_Stuff s{};
  if (ErrorCode err = MC_InqReceipt(receipt, nullptr, nullptr, &s)) return err;
  // The pixel lock of memory mode 1 is a lock, not a checkout: the count is
  // the stuff's checkouts alone.
  *count = static_cast<int32_t>(s.checkouts);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_GetMemoryMode(int32_t* mode, int32_t* inverse) try {
  if (mode) *mode = 0;
  if (inverse) *inverse = 0;
  if (!mode) return kReport.BadParam(kSiteArgument, {"BEE_GetMemoryMode"});
  *mode = gCache.memoryMode;
  if (inverse) *inverse = 1 - gCache.memoryMode;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_SetMemoryMode(int32_t mode) try {
  if (mode != 0 && mode != 1) return kReport.BadParam(kSiteArgument, {"BEE_SetMemoryMode"});
  if (mode == gCache.memoryMode) return 0;
  gCache.memoryMode = mode;
  LockAll(mode == 1);
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CompactCache(void) { return 0; }
