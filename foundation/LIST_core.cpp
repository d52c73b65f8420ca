// Lists: making, duplicating and disposing, item functions, locking, the
// accessors, and the one resize step behind growth and compaction.
#include <algorithm>

#include "LIST_internal.h"
#include "Package.h"
#include "U.h"

namespace tv::list {

namespace {
int32_t gLiveLists = 0;

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
}  // namespace

void CountLive(int32_t delta) { gLiveLists += delta; }

ErrorCode Resize(LIST_Handle list, LocationCode loc, int64_t newBlocks, int32_t verb, int32_t activity) {
  Header* h = H(list);
  if (static_cast<uint64_t>(GetHandleSize(list)) != BlockBytes(h->capacity, h->itemSize))
    return Fail(loc, kErrDamaged, 0);
  if (h->lockCount != 0) return Fail(loc, LIST_ErrLocked, verb);
  // Sizes are computed in 64 bits: a count of items that fits may still ask
  // for more bytes than a block can hold, and a wrapped size would leave the
  // list shorter than its capacity. Either way the list stays as it was.
  int64_t items = newBlocks * h->blockSize;
  if (newBlocks < 0 || newBlocks > INT32_MAX || items > LIST_MaxItems) {
    return FailText(loc, kErrRange, kTextTooMany);
  }
  uint64_t bytes = BlockBytes(items, h->itemSize);
  if (bytes > kMaxBytes) return FailText(loc, kErrRange, kTextTooMany);
  SetHandleSize(list, static_cast<Size>(bytes));
  if (OSErr err = MemError()) {
    if (err == kSysMemFull) return kReport.OutOfMemory(LocationSite(loc), kTextListName, bytes);
    return kReport.Platform(LocationSite(loc), kSevError, err, activity);
  }
  h = H(list);
  h->blocks = static_cast<int32_t>(newBlocks);
  h->capacity = static_cast<int32_t>(items);
  return 0;
}

ErrorCode CompactTo(LIST_Handle list, LocationCode loc) {
  const Header* h = H(list);
  int64_t target = std::max<int64_t>(CeilDiv(h->count, h->blockSize), h->minBlocks);
  if (target == h->blocks) return 0;
  return Resize(list, loc, target, kVerbCompact, kActCompact);
}

ErrorCode AutoCompact(LIST_Handle list, LocationCode loc) {
  const Header* h = H(list);
  if ((h->flags & LIST_FlagNoCompact) || h->lockCount != 0) return 0;
  return CompactTo(list, loc);
}

ErrorCode MakeList(LocationCode loc, uint32_t flags, int32_t itemSize, int32_t blockSize, int32_t blocks,
                   LIST_Handle* list) {
  *list = nullptr;
  // Item size and block size of at least 1 and a non-negative number of
  // blocks: a block size of 0 would divide by zero on the first growth, and
  // negative sizes would make a block shorter than its header claims.
  if (itemSize < 1 || blockSize < 1 || blocks < 0) return Fail(loc, kErrBadParam, 0);
  int64_t items = static_cast<int64_t>(blocks) * blockSize;
  uint64_t bytes = BlockBytes(items, itemSize);
  if (items > LIST_MaxItems || bytes > kMaxBytes) return FailText(loc, kErrRange, kTextTooMany);
  Handle handle = NewHandleClear(static_cast<Size>(bytes));
  if (!handle) return kReport.OutOfMemory(LocationSite(loc), kTextListName, bytes);
  Header* h = H(handle);
  h->magic = kMagic;
  h->itemSize = itemSize;
  h->blockSize = blockSize;
  h->blocks = blocks;
  h->minBlocks = blocks;
  h->capacity = static_cast<int32_t>(items);
  h->flags = static_cast<uint16_t>(flags & (LIST_CreationFlags | LIST_FlagCopyByValue |
                                            LIST_FlagDisposeByValue | LIST_FlagCompareByValue));
  *list = handle;
  CountLive(1);
  return 0;
}

ErrorCode LockList(LIST_Handle list, int32_t mode) {
  Header* h = H(list);
  if (h->lockCount == UINT16_MAX) return Fail(Loc(LIST_SiteLock), kErrRange, 0);
  if (h->lockCount++ == 0) {
    if (mode == LIST_LockHigh)
      HLockHi(list);
    else
      HLock(list);
  }
  return 0;
}

ErrorCode UnlockList(LIST_Handle list, LocationCode loc) {
  Header* h = H(list);
  if (h->lockCount == 0) return Fail(loc, LIST_ErrUnlocked, kVerbUnlock);
  if (--h->lockCount == 0) HUnlock(list);
  return 0;
}

ErrorCode CallCopy(LIST_Handle list, intptr_t data, const void* source, void* destination) {
  const Header* h = H(list);
  if (!h->copy) {
    std::memmove(destination, source, static_cast<size_t>(h->itemSize));
    return 0;
  }
  if (h->flags & LIST_FlagCopyByValue) {
    auto fn = reinterpret_cast<LIST_CopyValueFunc>(h->copy);
    return fn(data, list, LoadValue(source, h->itemSize), destination);
  }
  return reinterpret_cast<LIST_CopyFunc>(h->copy)(data, list, source, destination);
}

ErrorCode CallDispose(LIST_Handle list, intptr_t data, void* item) {
  const Header* h = H(list);
  if (!h->dispose) return 0;
  if (h->flags & LIST_FlagDisposeByValue) {
    auto fn = reinterpret_cast<LIST_DisposeValueFunc>(h->dispose);
    return fn(data, list, LoadValue(item, h->itemSize));
  }
  return reinterpret_cast<LIST_DisposeFunc>(h->dispose)(data, list, item);
}

namespace {

// Disposes items 0 .. count - 1 in order, stopping at the first failure.
ErrorCode DisposeItems(LIST_Handle list, intptr_t data) {
  if (!HasDispose(list)) return 0;
  Hold hold(list);
  int32_t count = H(list)->count;
  for (int32_t i = 0; i < count; ++i) {
    if (ErrorCode err = CallDispose(list, data, At(list, i))) return err;
  }
  return 0;
}

void FreeList(LIST_Handle list) {
  H(list)->magic += kDisposedDelta;
  DisposeHandle(list);
  CountLive(-1);
}

ErrorCode SetFunctions(LIST_Handle list, LocationCode loc, int32_t n, const LIST_Func funcs[3], bool byValue) {
  if (ErrorCode err = Check(list, loc)) return err;
  if (n < 0 || n > LIST_FuncCount || (n > 0 && !funcs)) return Fail(loc, kErrBadParam, 0);
  if (byValue) {
    int32_t size = H(list)->itemSize;
    if (size != 4 && size != static_cast<int32_t>(sizeof(intptr_t)))
      return FailText(loc, kErrBadParam, kTextNeeds4);
  }
  static constexpr uint16_t kBits[3] = {LIST_FlagCopyByValue, LIST_FlagDisposeByValue, LIST_FlagCompareByValue};
  Header* h = H(list);
  LIST_Func* slots[3] = {&h->copy, &h->dispose, &h->compare};
  for (int32_t i = 0; i < n; ++i) {
    if (funcs[i] == nullptr) continue;
    *slots[i] = funcs[i] == LIST_FUNC_REMOVE ? nullptr : funcs[i];
    // A value list without a function of its own keeps its value meaning, so
    // removing a value function leaves the slot flagged by value.
    if (byValue)
      h->flags |= kBits[i];
    else
      h->flags &= static_cast<uint16_t>(~kBits[i]);
  }
  return 0;
}

}  // namespace

}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LISTp_GetLiveCount(int32_t* count) {
  if (count) *count = gLiveLists;
  return 0;
}

ErrorCode LIST_New(uint32_t flags, int32_t itemSize, int32_t blockSize, int32_t initialBlocks, LIST_Handle* list) {
  if (!list) return kReport.BadParam(LIST_SiteNew, {"LIST_New"});
  *list = nullptr;
  // The table is installed on first use; a failure to install it has been
  // reported by the string package.
  if (ErrorCode err = kReport.InstallTable()) return err;
  return MakeList(Loc(LIST_SiteNew), flags, itemSize, blockSize, initialBlocks, list);
}

ErrorCode LIST_Dispose(LIST_Handle list, intptr_t data) {
  if (!list) return 0;
  constexpr LocationCode loc = Loc(LIST_SiteDispose);
  if (ErrorCode err = Check(list, loc)) return err;
  if (H(list)->busy != 0) return Fail(loc, LIST_ErrBusy, kVerbDispose);
  ErrorCode result = DisposeItems(list, data);
  FreeList(list);
  return result;
}

ErrorCode LIST_Duplicate(LIST_Handle list, intptr_t data, LIST_Handle* copy) {
  if (!copy) return kReport.BadParam(LIST_SiteDuplicate, {"LIST_Duplicate"});
  *copy = nullptr;
  constexpr LocationCode loc = Loc(LIST_SiteDuplicate);
  if (ErrorCode err = Check(list, loc)) return err;
  Size bytes = GetHandleSize(list);
  Handle dup = NewHandleClear(bytes);
  if (!dup) return kReport.OutOfMemory(LocationSite(loc), kTextListName, static_cast<uint64_t>(bytes));
  std::memcpy(*dup, *list, kHeaderSize);
  Header* d = H(dup);
  d->lockCount = 0;
  d->busy = 0;
  CountLive(1);
  int32_t count = H(list)->count;
  if (!H(list)->copy) {
    std::memcpy(At(dup, 0), At(list, 0), static_cast<size_t>(count) * static_cast<size_t>(d->itemSize));
    *copy = dup;
    return 0;
  }
  ErrorCode err = 0;
  int32_t copied = 0;
  {
    Hold source(list);
    Hold target(dup);
    for (; copied < count; ++copied) {
      if ((err = CallCopy(list, data, At(list, copied), At(dup, copied))) != 0) break;
    }
  }
  if (err) {
    // The items copied so far are disposed with the copy, so whatever the
    // copy function made for them is released.
    H(dup)->count = copied;
    DisposeItems(dup, data);
    FreeList(dup);
    return err;
  }
  *copy = dup;
  return 0;
}

ErrorCode LIST_Clone(LIST_Handle list, LIST_Handle* clone) {
  if (!clone) return kReport.BadParam(LIST_SiteClone, {"LIST_Clone"});
  *clone = nullptr;
  constexpr LocationCode loc = Loc(LIST_SiteClone);
  if (ErrorCode err = Check(list, loc)) return err;
  Header src = *H(list);
  LIST_Handle made = nullptr;
  if (ErrorCode err = MakeList(loc, src.flags, src.itemSize, src.blockSize, src.minBlocks, &made)) return err;
  Header* h = H(made);
  h->flags = src.flags;
  h->userLong = src.userLong;
  h->copy = src.copy;
  h->dispose = src.dispose;
  h->compare = src.compare;
  *clone = made;
  return 0;
}

ErrorCode LIST_SetFuncs(LIST_Handle list, int32_t n, const LIST_Func funcs[3]) {
  return SetFunctions(list, Loc(LIST_SiteSetFuncs), n, funcs, false);
}

ErrorCode LIST_Set4Funcs(LIST_Handle list, int32_t n, const LIST_Func funcs[3]) {
  return SetFunctions(list, Loc(LIST_SiteSetFuncs), n, funcs, true);
}

ErrorCode LIST_GetFuncs(LIST_Handle list, LIST_Func funcs[3]) {
  if (!funcs) return kReport.BadParam(LIST_SiteGetFuncs, {"LIST_GetFuncs"});
  funcs[0] = funcs[1] = funcs[2] = nullptr;
  if (ErrorCode err = Check(list, Loc(LIST_SiteGetFuncs))) return err;
  const Header* h = H(list);
  funcs[0] = (h->flags & LIST_FlagCopyByValue) && h->copy ? LIST_FUNC_REMOVE : h->copy;
  funcs[1] = (h->flags & LIST_FlagDisposeByValue) && h->dispose ? LIST_FUNC_REMOVE : h->dispose;
  funcs[2] = (h->flags & LIST_FlagCompareByValue) && h->compare ? LIST_FUNC_REMOVE : h->compare;
  return 0;
}

ErrorCode LIST_Get4Funcs(LIST_Handle list, LIST_Func funcs[3]) {
  if (!funcs) return kReport.BadParam(LIST_SiteGetFuncs, {"LIST_Get4Funcs"});
  funcs[0] = funcs[1] = funcs[2] = nullptr;
  if (ErrorCode err = Check(list, Loc(LIST_SiteGetFuncs))) return err;
  const Header* h = H(list);
  funcs[0] = h->copy;
  funcs[1] = h->dispose;
  funcs[2] = h->compare;
  return 0;
}

ErrorCode LIST_Lock(int32_t mode, LIST_Handle list) {
  if (ErrorCode err = Check(list, Loc(LIST_SiteLock))) return err;
  return LockList(list, mode);
}

ErrorCode LIST_Unlock(LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteUnlock);
  if (ErrorCode err = Check(list, loc)) return err;
  return UnlockList(list, loc);
}

ErrorCode LIST_GetAddress(LIST_Handle list, int32_t index, int32_t lockMode, void** address) {
  if (!address) return kReport.BadParam(LIST_SiteGetAddress, {"LIST_GetAddress"});
  *address = nullptr;
  constexpr LocationCode loc = Loc(LIST_SiteGetAddress);
  if (ErrorCode err = Check(list, loc)) return err;
  if (lockMode > 0) {
    if (ErrorCode err = LockList(list, lockMode)) return err;
  }
  const Header* h = H(list);
  ErrorCode err = 0;
  if (h->lockCount == 0) {
    err = Fail(loc, LIST_ErrUnlocked, kVerbGetAddress);
  } else if (!ItemIndex(index, h->count)) {
    err = Fail(loc, kErrRange, kVerbGetAddress);
  }
  if (err) {
    // The lock taken for this call is given back: the caller receives no
    // address, so it would never unlock it.
    if (lockMode > 0) UnlockList(list, loc);
    return err;
  }
  *address = At(list, index);
  return 0;
}

ErrorCode LIST_GetNumItems(LIST_Handle list, int32_t* count) {
  if (count) *count = 0;
  if (ErrorCode err = Check(list, Loc(LIST_SiteAccessors))) return err;
  if (count) *count = H(list)->count;
  return 0;
}

ErrorCode LIST_IsEmpty(LIST_Handle list, Boolean32* empty) {
  if (empty) *empty = 1;
  if (ErrorCode err = Check(list, Loc(LIST_SiteAccessors))) return err;
  if (empty) *empty = H(list)->count == 0;
  return 0;
}

ErrorCode LIST_SetUserLong(LIST_Handle list, int32_t value) {
  if (ErrorCode err = Check(list, Loc(LIST_SiteAccessors))) return err;
  H(list)->userLong = value;
  return 0;
}

ErrorCode LIST_GetUserLong(LIST_Handle list, int32_t* value) {
  if (value) *value = 0;
  if (ErrorCode err = Check(list, Loc(LIST_SiteAccessors))) return err;
  if (value) *value = H(list)->userLong;
  return 0;
}

ErrorCode LIST_GetItemSize(LIST_Handle list, int32_t* itemSize) {
  if (itemSize) *itemSize = 0;
  if (ErrorCode err = Check(list, Loc(LIST_SiteAccessors))) return err;
  if (itemSize) *itemSize = H(list)->itemSize;
  return 0;
}

ErrorCode LIST_SetNumItems(int32_t n, LIST_Handle list, intptr_t data) {
  constexpr LocationCode loc = Loc(LIST_SiteSetNumItems);
  if (ErrorCode err = Check(list, loc)) return err;
  if (n < 0 || n > LIST_MaxItems) return FailText(loc, kErrRange, kTextTooMany);
  if (H(list)->busy != 0) return Fail(loc, LIST_ErrBusy, kVerbAdjustSize);
  int32_t count = H(list)->count;
  ErrorCode result = 0;
  if (n > count) {
    const Header* h = H(list);
    int64_t needed = static_cast<int64_t>(n) - h->capacity;
    if (needed > 0) {
      if (ErrorCode err = Resize(list, loc, h->blocks + CeilDiv(needed, h->blockSize), kVerbReserve, kActReserve))
        return err;
    }
    std::memset(At(list, count), 0, static_cast<size_t>(n - count) * static_cast<size_t>(H(list)->itemSize));
    H(list)->count = n;
  } else if (n < count) {
    if (HasDispose(list)) {
      Hold hold(list);
      while (H(list)->count > n) {
        int32_t last = H(list)->count - 1;
        if ((result = CallDispose(list, data, At(list, last))) != 0) break;
        H(list)->count = last;
      }
    } else {
      H(list)->count = n;
    }
  }
  // Compaction follows the rule of removal: a locked list keeps its block,
  // which must not move, instead of failing after its items have changed.
  ErrorCode err = AutoCompact(list, loc);
  return result ? result : err;
}

ErrorCode LIST_ReserveSpace(int32_t extra, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteReserveSpace);
  if (ErrorCode err = Check(list, loc)) return err;
  const Header* h = H(list);
  int64_t needed = static_cast<int64_t>(h->count) + extra - h->capacity;
  if (needed <= 0) return 0;
  return Resize(list, loc, h->blocks + CeilDiv(needed, h->blockSize), kVerbReserve, kActReserve);
}

ErrorCode LIST_Compact(LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteCompact);
  if (ErrorCode err = Check(list, loc)) return err;
  return CompactTo(list, loc);
}

ErrorCode LIST_SetBlockSize(int32_t size, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteSetBlockSize);
  if (ErrorCode err = Check(list, loc)) return err;
  // A block size below 1 would divide by zero on the next growth.
  if (size < 1) return Fail(loc, kErrBadParam, 0);
  const Header* h = H(list);
  int64_t blocks = std::max<int64_t>(CeilDiv(h->capacity, size), h->minBlocks);
  int64_t items = blocks * size;
  if (items != h->capacity) {
    if (items > LIST_MaxItems) return FailText(loc, kErrRange, kTextTooMany);
    if (H(list)->lockCount != 0) return Fail(loc, LIST_ErrLocked, kVerbAdjustSize);
    // Resize works in blocks of the current size; the new size is stored
    // first so that the step sizes the block for the new capacity, and put
    // back if the step fails.
    int32_t oldSize = h->blockSize;
    H(list)->blockSize = size;
    if (ErrorCode err = Resize(list, loc, blocks, kVerbAdjustSize, kActBlockSize)) {
      H(list)->blockSize = oldSize;
      return err;
    }
  }
  H(list)->blockSize = size;
  H(list)->blocks = static_cast<int32_t>(blocks);
  return 0;
}
