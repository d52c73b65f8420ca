// Locking, reloading and purging World pixels, their state, clearing and the
// 32-bit channel order.
#include <algorithm>
#include <cstring>

#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {

// Bytes the World's own pixel block holds when it is not purged.
uint64_t ExpectedBytes(const WorldRec& r) {
  if (r.offscreen) return r.offscreen->pixelBytes;
  return static_cast<uint64_t>(r.height) * r.rowBytes + 4;
}

bool BlockPurged(const WorldRec& r) {
  if (r.offscreen) return plat::OffscreenPurged(r.offscreen);
  return r.pixels && !*r.pixels && ExpectedBytes(r) > 0;
}

// Start of the memory the World addresses (its own block, the shared
// parent's block or the screen's pixels), or null.
char* MemoryStart(const WorldRec& r) {
  if (r.directlyAddressable && !r.parent) return r.device ? r.device->screenPixels : nullptr;
  if (r.offscreen) return *r.offscreen->pixels;
  return r.pixels ? *r.pixels : nullptr;
}

bool TryLock(WorldRec& r, int32_t mode) {
  if (r.offscreen) {
    if (!plat::LockOffscreen(r.offscreen)) return false;
    r.baseAddr = r.offscreen->port.pixMap.baseAddr;
    r.rowBytes = r.offscreen->port.pixMap.rowBytes;
    r.lockCount = 1;
    return true;
  }
  if (BlockPurged(r)) return false;
  // Under lock policy 0, lock mode 1 moves the block high first.
  if (mode == 1 && G().lockPolicy == 0)
    HLockHi(r.pixels);
  else
    HLock(r.pixels);
  r.baseAddr = *r.pixels + r.originOffset;
  if (r.port) r.port->pixMap.baseAddr = *r.pixels;
  r.lockCount = 1;
  return true;
}

ErrorCode Reload(WorldRec& r) {
  if (r.offscreen) return plat::ReloadOffscreen(r.offscreen);
  const uint64_t bytes = ExpectedBytes(r);
  int32_t oldAttitude = 0;
  U_SetFailAttitude(1, &oldAttitude);
  ReallocateHandle(r.pixels, static_cast<Size>(bytes));
  U_SetFailAttitude(oldAttitude, nullptr);
  if (MemError() != 0 || (bytes > 0 && !*r.pixels)) return kSysMemFull;
  if (r.flags & BM_Flag_Purgeable) HPurge(r.pixels);
  return 0;
}

// The World whose pixel block holds these pixels (itself unless it shares).
BM_World Root(BM_World w) {
  while (Rec(w)->parent) w = Rec(w)->parent;
  return w;
}

void WriteRowBits(uint8_t* row, uint64_t bitFrom, uint64_t bitTo, const uint8_t pattern[4]) {
  uint64_t byte = bitFrom / 8;
  const uint64_t lastByte = (bitTo - 1) / 8;
  for (; byte <= lastByte; ++byte) {
    const uint64_t lo = std::max<uint64_t>(bitFrom, byte * 8) - byte * 8;
    const uint64_t hi = std::min<uint64_t>(bitTo, byte * 8 + 8) - byte * 8;
    const uint8_t mask = static_cast<uint8_t>((0xFFu >> lo) & (0xFFu << (8 - hi)));
    row[byte] = static_cast<uint8_t>((row[byte] & ~mask) | (pattern[byte & 3] & mask));
  }
}

void FillPattern(uint8_t* p, size_t bytes, const uint8_t pattern[4]) {
  if (pattern[0] == pattern[1] && pattern[0] == pattern[2] && pattern[0] == pattern[3]) {
    std::memset(p, pattern[0], bytes);
    return;
  }
  // Pixel blocks are at least 16-byte aligned: whole words first.
  uint32_t word;
  std::memcpy(&word, pattern, 4);
  std::fill_n(reinterpret_cast<uint32_t*>(p), bytes / 4, word);
  for (size_t i = bytes & ~size_t{3}; i < bytes; ++i) p[i] = pattern[i & 3];
}

}  // namespace

namespace tv::bm {

LockResult LockWorld(BM_World w, int32_t mode, bool reload) {
  HandleLock<WorldRec> r(w);
  LockResult res;
  if (r->lockCount > 0) {
    ++r->lockCount;
    return res;
  }
  if (r->parent) {
    res = LockWorld(r->parent, mode, reload);
    if (res.failed) return res;
    r->lockCount = 1;
    r->baseAddr = *r->pixels + r->originOffset;
    r->port->pixMap.baseAddr = *r->pixels;
    return res;
  }
  if (r->directlyAddressable) {
    char* start = MemoryStart(*r);
    r->lockCount = 1;
    r->baseAddr = start ? start + r->originOffset : nullptr;
    if (r->ownsPortMemory) r->port->pixMap.baseAddr = start;
    return res;
  }
  if (TryLock(*r, mode)) return res;
  res.failed = true;
  if (!reload) return res;
  res.wasPurged = true;
  if (ErrorCode err = Reload(*r)) {
    res.reloadError = err;
    return res;
  }
  if (TryLock(*r, mode)) {
    res.failed = false;
    res.reloaded = true;
  }
  return res;
}

bool UnlockWorld(BM_World w) {
  BM_World parent = nullptr;
  {
    HandleLock<WorldRec> r(w);
    if (r->lockCount <= 0) {
      r->lockCount = 0;
      return false;
    }
    if (--r->lockCount > 0) return true;
    if (r->parent)
      parent = r->parent;
    else if (r->offscreen)
      plat::UnlockOffscreen(r->offscreen);
    else if (!r->directlyAddressable && r->pixels)
      HUnlock(r->pixels);
    r->baseAddr = nullptr;
    if (r->ownsPortMemory && r->port) r->port->pixMap.baseAddr = nullptr;
  }
  if (parent) UnlockWorld(parent);
  return true;
}

}  // namespace tv::bm

ErrorCode BM_LockPixels(int32_t mode, BM_World world, Boolean32* failed) {
  if (failed) *failed = 0;
  if (ErrorCode err = CheckWorld(world, kSiteLock, "BM_LockPixels")) {
    if (failed) *failed = 1;
    return err;
  }
  const LockResult res = LockWorld(world, mode, false);
  if (!res.failed) return 0;
  if (failed) {
    *failed = 1;
    return 0;
  }
  return kReport.Fail(kSiteLock, BM_ErrPixelsPurged, kStrPurged);
}

ErrorCode BM_LoadLockPixels(int32_t mode, BM_World world, Boolean32* wasPurged, Boolean32* reloaded) {
  if (wasPurged) *wasPurged = 0;
  if (reloaded) *reloaded = 0;
  if (ErrorCode err = CheckWorld(world, kSiteLoadLock, "BM_LoadLockPixels")) return err;
  const LockResult res = LockWorld(world, mode, true);
  if (wasPurged) *wasPurged = res.wasPurged || res.failed ? 1 : 0;
  if (reloaded) *reloaded = res.reloaded ? 1 : 0;
  if (!res.failed) return 0;
  // With wasPurged the caller learns of the failure through the flags.
  if (wasPurged) return 0;
  if (res.reloadError) {
    WorldRec* r = Rec(Root(world));
    return kReport.OutOfMemory(kSiteLoadLock, kStrPixelsMemory, ExpectedBytes(*r));
  }
  return kReport.Fail(kSiteLoadLock, BM_ErrPixelsPurged, kStrPurged);
}

ErrorCode BM_UnlockPixels(BM_World world) {
  if (ErrorCode err = CheckWorld(world, kSiteUnlock, "BM_UnlockPixels")) return err;
  // An unbalanced unlock is a caller's fault: it is reported and refused,
  // and the lock count stays at 0 instead of going negative.
  if (!UnlockWorld(world)) return kReport.Fail(kSiteUnlock, kErrBadParam, kStrNegativeLock);
  return 0;
}

char* BMp_GetPixBaseAddr(BM_World world) {
  if (CheckWorld(world, kSiteCheck, "BMp_GetPixBaseAddr")) return nullptr;
  const WorldRec* r = Rec(world);
  if (r->baseAddr) return r->baseAddr;
  if (r->parent) {
    const WorldRec* root = Rec(Root(world));
    return root->pixels && *root->pixels ? *root->pixels + r->originOffset : nullptr;
  }
  char* start = MemoryStart(*r);
  return start ? start + r->originOffset : nullptr;
}

ErrorCode BM_GetPixelsState(BM_World world, int32_t* state) {
  if (state) *state = 0;
  if (ErrorCode err = CheckWorld(world, kSiteState, "BM_GetPixelsState")) return err;
  if (!state) return kReport.Fail(kSiteState, kErrBadParam, kStrBadArg, {"BM_GetPixelsState"});
  const WorldRec* r = Rec(world);
  const WorldRec* root = Rec(Root(world));
  int32_t s = 0;
  if (!root->directlyAddressable) {
    if (BlockPurged(*root)) s |= BM_PixState_Purged;
    const bool purgeable = root->offscreen ? root->offscreen->purgeable != 0 : (root->flags & BM_Flag_Purgeable) != 0;
    if (purgeable) s |= BM_PixState_Purgeable;
  }
  if (r->lockCount > 0) s |= BM_PixState_Locked;
  *state = s;
  return 0;
}

ErrorCode BM_SetPixelsState(int32_t state, int32_t mask, BM_World world) {
  if (ErrorCode err = CheckWorld(world, kSiteState, "BM_SetPixelsState")) return err;
  // The values 1 (purge now) and 2 (purgeable): purging now implies purgeable.
  if (state & mask & BM_PixState_Purged) {
    state |= BM_PixState_Purgeable;
    mask |= BM_PixState_Purgeable;
  }
  // A sub-World's pixels are its parent's: the state is the parent's.
  if (Rec(world)->parent) return BM_SetPixelsState(state, mask, Rec(world)->parent);
  HandleLock<WorldRec> r(world);
  const bool purgeNow = (state & mask & BM_PixState_Purged) != 0;
  if (r->directlyAddressable) {
    if ((mask & BM_PixState_Purgeable) && (state & BM_PixState_Purgeable))
      return kReport.Fail(kSiteState, kErrBadParam, kStrBadArg, {kReport.Text(kStrScreenNotPurgeable)});
    return 0;
  }
  if (purgeNow && r->lockCount > 0) return kReport.Fail(kSiteState, kErrBadParam, kStrLocked);
  if (mask & BM_PixState_Purgeable) {
    if (state & BM_PixState_Purgeable) {
      if (r->offscreen)
        plat::SetOffscreenPurgeable(r->offscreen, true);
      else
        HPurge(r->pixels);
      r->flags |= BM_Flag_Purgeable;
    } else {
      if (BlockPurged(*r)) return kReport.Fail(kSiteState, BM_ErrPixelsPurged, kStrPurged);
      if (r->offscreen)
        plat::SetOffscreenPurgeable(r->offscreen, false);
      else
        HNoPurge(r->pixels);
      r->flags &= ~uint32_t{BM_Flag_Purgeable};
    }
  }
  if (purgeNow) {
    if (r->offscreen)
      plat::PurgeOffscreen(r->offscreen);
    else
      EmptyHandle(r->pixels);
  }
  return 0;
}

ErrorCode BM_ClearWorldToLong(BM_World world, uint32_t value) {
  if (ErrorCode err = CheckWorld(world, kSiteClear, "BM_ClearWorldToLong")) return err;
  HandleLock<WorldRec> r(world);
  const uint8_t pattern[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  if (r->height <= 0) return 0;
  if (!r->parent && !r->directlyAddressable) {
    char* start = MemoryStart(*r);
    if (!start) return 0;  // purged: nothing to clear
    FillPattern(reinterpret_cast<uint8_t*>(start), static_cast<size_t>(r->height) * r->rowBytes, pattern);
    return 0;
  }
  // A World onto shared memory (a parent's pixels or a screen) clears its
  // own rectangle only, row by row, never the pixels around it.
  char* start = nullptr;
  if (r->parent) {
    const WorldRec* root = Rec(Root(world));
    start = root->offscreen ? *root->offscreen->pixels : (root->pixels ? *root->pixels : nullptr);
  } else {
    start = MemoryStart(*r);
  }
  if (!start || r->width <= 0) return 0;
  const plat::PixMap& over = r->port->pixMap;
  const uint64_t bitFrom = static_cast<uint64_t>(r->bounds.left - over.bounds.left) * static_cast<uint64_t>(r->depth);
  const uint64_t bitTo = bitFrom + static_cast<uint64_t>(r->width) * static_cast<uint64_t>(r->depth);
  for (int32_t y = r->bounds.top; y < r->bounds.bottom; ++y) {
    auto* row = reinterpret_cast<uint8_t*>(start) + static_cast<size_t>(y - over.bounds.top) * over.rowBytes;
    if (bitFrom % 8 == 0 && bitTo % 8 == 0) {
      for (uint64_t b = bitFrom / 8; b < bitTo / 8; ++b) row[b] = pattern[b & 3];
    } else {
      WriteRowBits(row, bitFrom, bitTo, pattern);
    }
  }
  return 0;
}

ErrorCode BM_ClearWorldToZeros(BM_World world) { return BM_ClearWorldToLong(world, 0); }

// ---- Channel order --------------------------------------------------------------------

namespace {
plat::PixMap* OrderMap(BM_World w) {
  WorldRec* root = Rec(Root(w));
  return root->port ? &root->port->pixMap : nullptr;
}
}  // namespace

namespace tv::bm {
int32_t OrderOf(BM_World w) {
  const plat::PixMap* pm = OrderMap(w);
  return pm ? pm->order : BM_Order_ARGB;
}
}  // namespace tv::bm

ErrorCode BM_GetChannelOrder(BM_World world, int32_t* order) {
  if (order) *order = BM_Order_ARGB;
  if (ErrorCode err = CheckWorld(world, kSiteOrder, "BM_GetChannelOrder")) return err;
  if (order) *order = OrderOf(world);
  return 0;
}

ErrorCode BM_AssumeChannelOrder(BM_World world, int32_t order) {
  if (ErrorCode err = CheckWorld(world, kSiteOrder, "BM_AssumeChannelOrder")) return err;
  if (order != BM_Order_ARGB && order != BM_Order_BGRA) return kReport.Fail(kSiteOrder, kErrBadParam, kStrBadOrder, {order});
  if (plat::PixMap* pm = OrderMap(world)) pm->order = order;
  return 0;
}

ErrorCode BM_SetChannelOrder(BM_World world, int32_t order) {
  if (ErrorCode err = CheckWorld(world, kSiteOrder, "BM_SetChannelOrder")) return err;
  if (order != BM_Order_ARGB && order != BM_Order_BGRA) return kReport.Fail(kSiteOrder, kErrBadParam, kStrBadOrder, {order});
  BM_World root = Root(world);
  plat::PixMap* pm = OrderMap(world);
  if (!pm || pm->order == order) return 0;
  const WorldRec* rr = Rec(root);
  if (rr->depth != 32 || rr->directlyAddressable) return kReport.Fail(kSiteOrder, kErrBadParam, kStrBadOrder, {order});
  if (LockWorld(root, 0, false).failed) return kReport.Fail(kSiteOrder, BM_ErrPixelsPurged, kStrPurged);
  {
    HandleLock<WorldRec> r(root);
    for (int32_t y = 0; y < r->height; ++y) {
      auto* row = reinterpret_cast<uint8_t*>(r->baseAddr) + static_cast<size_t>(y) * r->rowBytes;
      for (int32_t x = 0; x < r->width; ++x) {
        uint8_t* p = row + static_cast<size_t>(x) * 4;
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
      }
    }
  }
  UnlockWorld(root);
  pm->order = order;
  return 0;
}
