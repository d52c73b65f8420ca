// Handles, pointer blocks and zones. Master pointer records live in chunks
// that are never moved, so a handle keeps its address for its whole life; the
// chunks are kept sorted so any handle can be checked before it is used. Data
// blocks come from the C allocator; zones are the accounting the budget and
// purging work on: the global zone holds blocks above 8192 bytes and every
// empty handle, a chain of heap zones holds the small blocks.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "Platform.h"
#include "memory_internal.h"

namespace tv::mem {
namespace {

// The few routines every handle call goes through are inlined into it.
#define HOT [[gnu::always_inline]] inline

constexpr int64_t kRecordsPerChunk = 1024;
constexpr uintptr_t kChunkBytes = kRecordsPerChunk * sizeof(MasterRecord);
// Requests above this fail with -108 without asking the C allocator.
constexpr Size kMaxRequest = Size{1} << 39;

struct PtrInfo {
  Zone* zone;
  Size allocated;  // bytes taken from the zone (at least 1)
  Size size;       // bytes asked for
};
using PtrMap = std::unordered_map<uintptr_t, PtrInfo>;

struct Chunk {
  uintptr_t base;
  MasterRecord* records;
};

struct State {
  OSErr err = 0;
  bool shutdown = false;
  bool checksKnown = false;
  bool checks = false;
  Zone global{true, 0, 0, nullptr, nullptr, 0, 0};
  Zone* heapHead = nullptr;
  Zone* zonePool = nullptr;
  int64_t heapZones = 0;
  Size heapUsed = 0;
  MasterRecord* freeRecords = nullptr;
  Chunk* chunks = nullptr;  // sorted by base
  int64_t chunkCount = 0;
  int64_t chunkCapacity = 0;
  int64_t lastChunk = -1;
  int64_t liveHandles = 0;
  int64_t systemAllocations = 0;
  int64_t failAfter = -1;  // < 0: no injected failures
  int64_t failCount = 0;
  PtrMap* ptrs = nullptr;
};
// Constant-initialised, so handles can be made from any static initialiser.
constinit State g;

HOT bool Checks() {
  if (!g.checksKnown) {
    const char* v = std::getenv("TAVELO_MEMORY_CHECKS");
    g.checks = v && *v && std::strcmp(v, "0") != 0;
    g.checksKnown = true;
  }
  return g.checks;
}

void SetErr(OSErr e) { g.err = e; }

// ---- records -----------------------------------------------------------------

HOT const Chunk* FindChunk(uintptr_t a) {
  if (g.lastChunk >= 0) {
    const Chunk& c = g.chunks[g.lastChunk];
    if (a >= c.base && a < c.base + kChunkBytes) return &c;
  }
  int64_t lo = 0, hi = g.chunkCount;  // first chunk with base > a
  while (lo < hi) {
    int64_t mid = (lo + hi) / 2;
    if (g.chunks[mid].base <= a) lo = mid + 1;
    else hi = mid;
  }
  if (lo == 0) return nullptr;
  const Chunk& c = g.chunks[lo - 1];
  if (a >= c.base + kChunkBytes) return nullptr;
  g.lastChunk = lo - 1;
  return &c;
}

// The live record behind h, or null for a null, stale or foreign handle.
HOT MasterRecord* Validate(Handle h) {
  if (!h) return nullptr;
  uintptr_t a = reinterpret_cast<uintptr_t>(h);
  const Chunk* c = FindChunk(a);
  if (!c || (a - c->base) % sizeof(MasterRecord) != 0) return nullptr;
  auto* r = reinterpret_cast<MasterRecord*>(a);
  return (r->flags & kFlagInUse) ? r : nullptr;
}

bool AddChunk() {
  auto* records = static_cast<MasterRecord*>(std::calloc(kRecordsPerChunk, sizeof(MasterRecord)));
  if (!records) return false;
  if (g.chunkCount == g.chunkCapacity) {
    int64_t cap = g.chunkCapacity ? g.chunkCapacity * 2 : 16;
    auto* grown = static_cast<Chunk*>(std::realloc(g.chunks, static_cast<size_t>(cap) * sizeof(Chunk)));
    if (!grown) {
      std::free(records);
      return false;
    }
    g.chunks = grown;
    g.chunkCapacity = cap;
  }
  Chunk c{reinterpret_cast<uintptr_t>(records), records};
  int64_t at = g.chunkCount;
  while (at > 0 && g.chunks[at - 1].base > c.base) {
    g.chunks[at] = g.chunks[at - 1];
    --at;
  }
  g.chunks[at] = c;
  ++g.chunkCount;
  g.lastChunk = -1;
  for (int64_t i = kRecordsPerChunk - 1; i >= 0; --i) {
    records[i].next = g.freeRecords;
    g.freeRecords = &records[i];
  }
  return true;
}

// No fixed cap on the number of handles: a new chunk of records is added
// whenever the free list runs dry.
HOT MasterRecord* TakeRecord() {
  if (!g.freeRecords && !AddChunk()) return nullptr;
  MasterRecord* r = g.freeRecords;
  g.freeRecords = r->next;
  r->next = nullptr;  // released records are already cleared
  r->flags = kFlagInUse;
  ++g.liveHandles;
  return r;
}

HOT void ReleaseRecord(MasterRecord* r) {
  *r = MasterRecord{};  // every flag, the in-use one too, is cleared
  r->next = g.freeRecords;
  g.freeRecords = r;
  --g.liveHandles;
}

HOT void Link(Zone* z, MasterRecord* r) {
  r->zone = z;
  r->prev = nullptr;
  r->next = z->head;
  if (z->head) z->head->prev = r;
  z->head = r;
  if (r->flags & kFlagPurgeable) ++z->purgeable;
}

HOT void Unlink(MasterRecord* r) {
  Zone* z = r->zone;
  if (r->prev) r->prev->next = r->next;
  else z->head = r->next;
  if (r->next) r->next->prev = r->prev;
  r->next = r->prev = nullptr;
  if (r->flags & kFlagPurgeable) --z->purgeable;
}

void SetFlags(MasterRecord* r, uint16_t flags) {
  flags = static_cast<uint16_t>((flags & (kFlagPurgeable | kFlagLocked | kFlagResource)) | kFlagInUse);
  bool was = r->flags & kFlagPurgeable, is = flags & kFlagPurgeable;
  if (was != is) r->zone->purgeable += is ? 1 : -1;
  r->flags = flags;
}

// ---- the C allocator, with failure injection and moving mode ----------------

HOT bool InjectedFailure() {
  if (g.failAfter < 0) return false;
  if (g.failAfter > 0) {
    --g.failAfter;
    return false;
  }
  if (g.failCount == 0) {
    g.failAfter = -1;
    return false;
  }
  if (g.failCount > 0 && --g.failCount == 0) g.failAfter = -1;
  return true;
}

HOT char* SysAlloc(Size n, bool clear) {
  if (InjectedFailure()) return nullptr;
  ++g.systemAllocations;
  auto bytes = static_cast<size_t>(n);
  // Small blocks: malloc and memset (calloc skips the allocator's fast
  // per-thread cache); large ones: calloc, which knows fresh pages are zero.
  if (clear && n > kSmallLimit) return static_cast<char*>(std::calloc(1, bytes));
  char* p = static_cast<char*>(std::malloc(bytes));
  if (p && (clear || Checks())) std::memset(p, clear ? 0 : 0xA5, bytes);
  return p;
}

HOT void SysFree(char* p, Size n) {
  if (Checks()) std::memset(p, 0xDB, static_cast<size_t>(n));
  std::free(p);
}

// Resizes an unlocked block, which may move; in moving mode it always moves.
char* SysRealloc(char* p, Size oldSize, Size n) {
  if (InjectedFailure()) return nullptr;
  ++g.systemAllocations;
  if (Checks()) {
    auto* q = static_cast<char*>(std::malloc(static_cast<size_t>(n)));
    if (!q) return nullptr;
    std::memcpy(q, p, static_cast<size_t>(std::min(oldSize, n)));
    if (n > oldSize) std::memset(q + oldSize, 0xA5, static_cast<size_t>(n - oldSize));
    SysFree(p, oldSize);
    return q;
  }
  return static_cast<char*>(std::realloc(p, static_cast<size_t>(n)));
}

// ---- zones ---------------------------------------------------------------------

Zone* NewHeapZone() {
  Zone* z = g.zonePool;
  if (z) g.zonePool = z->next;
  else z = static_cast<Zone*>(std::malloc(sizeof(Zone)));
  if (!z) return nullptr;
  *z = Zone{false, kHeapZoneCapacity, kHeapZoneCapacity, nullptr, g.heapHead, 0, 0};
  g.heapHead = z;
  ++g.heapZones;
  return z;
}

void DestroyHeapZone(Zone* z) {
  for (Zone** link = &g.heapHead; *link; link = &(*link)->next) {
    if (*link == z) {
      *link = z->next;
      break;
    }
  }
  z->next = g.zonePool;
  g.zonePool = z;
  --g.heapZones;
}

HOT void DestroyIfEmpty(Zone* z) {
  if (!z->global && z->liveBlocks == 0 && !z->head) DestroyHeapZone(z);
}

HOT void ChargeHeap(Zone* z, Size cost) {
  z->bytes -= cost;
  z->largest = std::min(z->largest, z->bytes);
  g.heapUsed += cost;
}

HOT void FreeBlock(Zone* z, char* p, Size n, bool allowDestroy) {
  SysFree(p, n);
  --z->liveBlocks;
  if (z->global) {
    z->bytes -= n;
    return;
  }
  z->bytes += n + kHeapBlockOverhead;
  z->largest = std::max(z->largest, n);
  g.heapUsed -= n + kHeapBlockOverhead;
  if (allowDestroy) DestroyIfEmpty(z);
}

// Frees the block of r and moves r, now empty, to the global zone's list.
void EmptyRecord(MasterRecord* r, bool allowDestroy) {
  Zone* z = r->zone;
  char* p = r->data;
  Size n = r->size;
  Unlink(r);
  r->data = nullptr;
  r->size = 0;
  Link(&g.global, r);
  if (p) FreeBlock(z, p, n, allowDestroy);
}

int64_t PurgeZone(Zone* z, bool allowDestroy) {
  int64_t count = 0;
  if (z->purgeable > 0) {
    MasterRecord* next = nullptr;
    for (MasterRecord* r = z->head; r; r = next) {
      next = r->next;
      if ((r->flags & (kFlagPurgeable | kFlagLocked)) == kFlagPurgeable && r->data && r->pin == 0) {
        EmptyRecord(r, false);
        ++count;
      }
    }
  }
  if (allowDestroy) DestroyIfEmpty(z);
  if (count) CountPurge(count);
  return count;
}

struct Block {
  char* p = nullptr;
  Zone* zone = nullptr;
};

HOT char* TryHeapZone(Zone* z, Size n) {
  // A block is charged its size plus 16 bytes; the zone must hold all of it.
  if (z->bytes < n + kHeapBlockOverhead || n > z->largest) return nullptr;
  char* p = SysAlloc(n, true);  // small blocks are always zeroed
  if (!p) {
    PurgeZone(z, false);
    p = SysAlloc(n, true);
    if (!p) return nullptr;
  }
  ChargeHeap(z, n + kHeapBlockOverhead);
  ++z->liveBlocks;
  return p;
}

char* AllocSmall(Size n, Zone** zone) {
  for (Zone* z = g.heapHead; z; z = z->next) {
    if (char* p = TryHeapZone(z, n)) {
      *zone = z;
      return p;
    }
  }
  Zone* z = NewHeapZone();
  if (!z) return nullptr;
  char* p = TryHeapZone(z, n);
  if (!p) DestroyIfEmpty(z);
  *zone = z;
  return p;
}

char* AllocLarge(Size n, bool clear, Ladder& ladder) {
  if (!BudgetCheck(n, ladder)) return nullptr;
  char* p = SysAlloc(n, clear);
  if (!p) {
    PurgeBytes(n, ladder);
    p = SysAlloc(n, clear);
    if (!p) return nullptr;
  }
  g.global.bytes += n;
  ++g.global.liveBlocks;
  return p;
}

// A block of n bytes (n >= 1) from the right zone; when that fails, one purge
// step after another until one succeeds or nothing more can be freed.
char* Allocate(Size n, bool clear, Ladder& ladder, Zone** zone) {
  if (n > kMaxRequest || (gWin32S && Win32sRefuses(n))) return nullptr;
  for (;;) {
    char* p;
    if (n > kSmallLimit) {
      p = AllocLarge(n, clear, ladder);
      *zone = &g.global;
    } else {
      p = AllocSmall(n, zone);
    }
    if (p) return p;
    if (!PurgeStep(ladder, n)) return nullptr;
  }
}

Block Allocate(Size n, bool clear, Ladder& ladder) {
  Block b;
  b.p = Allocate(n, clear, ladder, &b.zone);
  return b;
}

// Whether the zone's bookkeeping lets r grow or shrink to n where it is.
bool FitsInZone(MasterRecord* r, Size n, Ladder& ladder) {
  Size delta = n - r->size;
  if (delta <= 0) return true;
  // Growing a large block in place passes the same budget check as a new
  // block of the growth, so a block grown step by step cannot slip past the
  // ceiling.
  if (r->zone->global) return BudgetCheck(delta, ladder);
  return delta <= kSmallLimit && n <= r->zone->bytes;
}

bool ResizeInPlace(MasterRecord* r, Size n, Ladder& ladder) {
  Zone* z = r->zone;
  Size old = r->size, delta = n - old;
  if (!FitsInZone(r, n, ladder)) {
    // Purging cannot help a heap block growing by more than 8192 bytes.
    if (!z->global && delta > kSmallLimit) return false;
    PurgeZone(z, false);
    if (!FitsInZone(r, n, ladder)) return false;
  }
  if (r->flags & kFlagLocked) {
    // A locked block never moves: it shrinks where it is and grows only into
    // room the allocator already gave it; otherwise the resize fails and the
    // block stays as it was.
    if (delta > 0) {
      if (static_cast<size_t>(n) > malloc_usable_size(r->data)) return false;
      if (Checks()) std::memset(r->data + old, 0xA5, static_cast<size_t>(delta));
    }
  } else {
    char* q = SysRealloc(r->data, old, n);
    if (!q) {
      PurgeZone(z, false);
      q = SysRealloc(r->data, old, n);
      if (!q) return false;
    }
    r->data = q;
  }
  r->size = n;
  if (z->global) {
    z->bytes += delta;
  } else if (delta > 0) {
    ChargeHeap(z, delta);
  } else {
    z->bytes -= delta;
    z->largest = std::max(z->largest, -delta);
    g.heapUsed += delta;
  }
  return true;
}

// Keeps a record out of purging (and refuses its disposal) while an operation
// works on it.
struct Pin {
  MasterRecord* r;
  explicit Pin(MasterRecord* rec) : r(rec) { ++r->pin; }
  ~Pin() { --r->pin; }
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;
};

// The record of a handle for an operation, or null with the memory error set:
// -111 after shutdown and for stale or foreign handles, nullCode for null.
HOT MasterRecord* Get(Handle h, OSErr nullCode) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return nullptr;
  }
  if (!h) {
    SetErr(nullCode);
    return nullptr;
  }
  MasterRecord* r = Validate(h);
  SetErr(r ? kNoErr : kMemWZErr);
  return r;
}

Handle NewHandleCommon(Size size, bool clear) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return nullptr;
  }
  if (size < 0) {
    SetErr(kParamErr);
    return nullptr;
  }
  MasterRecord* r = TakeRecord();
  if (!r) {
    SetErr(kMemFullErr);
    return nullptr;
  }
  if (size > 0) {
    Ladder ladder;
    Zone* zone = nullptr;
    char* p = Allocate(size, clear, ladder, &zone);
    if (!p) {
      ReleaseRecord(r);
      SetErr(kMemFullErr);
      return nullptr;
    }
    r->data = p;
    r->size = size;
    Link(zone, r);
  } else {
    Link(&g.global, r);
  }
  SetErr(kNoErr);
  return reinterpret_cast<Handle>(r);
}

Ptr NewPtrCommon(Size size, bool clear) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return nullptr;
  }
  if (size < 0) {
    SetErr(kParamErr);
    return nullptr;
  }
  // The manager never throws: when its own bookkeeping cannot grow, the
  // allocation fails like any other short of memory.
  if (!g.ptrs) g.ptrs = new (std::nothrow) PtrMap();
  if (!g.ptrs) {
    SetErr(kMemFullErr);
    return nullptr;
  }
  Size allocated = size > 0 ? size : 1;
  Ladder ladder;
  Block b = Allocate(allocated, clear, ladder);
  if (!b.p) {
    SetErr(kMemFullErr);
    return nullptr;
  }
  try {
    g.ptrs->emplace(reinterpret_cast<uintptr_t>(b.p), PtrInfo{b.zone, allocated, size});
  } catch (const std::bad_alloc&) {
    FreeBlock(b.zone, b.p, allocated, true);
    SetErr(kMemFullErr);
    return nullptr;
  }
  SetErr(kNoErr);
  return b.p;
}

bool FindPtr(Ptr p, PtrMap::iterator& it) {
  if (g.shutdown || !p || !g.ptrs) return false;
  it = g.ptrs->find(reinterpret_cast<uintptr_t>(p));
  return it != g.ptrs->end();
}

}  // namespace

Zone& GlobalZone() { return g.global; }
Size HeapZoneBytesUsed() { return g.heapUsed; }
bool ShutDown() { return g.shutdown; }

int64_t PurgeAllZones() {
  if (g.shutdown) return 0;
  int64_t count = PurgeZone(&g.global, false);
  Zone* next = nullptr;
  for (Zone* z = g.heapHead; z; z = next) {
    next = z->next;
    count += PurgeZone(z, true);
  }
  return count;
}

void FillZoneStats(EMUL_MemoryStats& s) {
  s.liveHandles = g.liveHandles;
  s.emptyHandles = 0;
  for (MasterRecord* r = g.global.head; r; r = r->next) {
    if (!r->data) ++s.emptyHandles;
  }
  s.livePtrs = g.ptrs ? static_cast<int64_t>(g.ptrs->size()) : 0;
  s.heapZones = g.heapZones;
  s.heapZoneBytes = g.heapUsed;
  s.globalZoneBytes = g.global.bytes;
  s.systemAllocations = g.systemAllocations;
}

}  // namespace tv::mem

using namespace tv::mem;

// ---- handles -------------------------------------------------------------------

Handle NewHandle(Size size) { return NewHandleCommon(size, false); }
Handle NewHandleClear(Size size) { return NewHandleCommon(size, true); }
Handle NewHandleSys(Size size) { return NewHandleCommon(size, false); }
Handle NewEmptyHandle(void) { return NewHandleCommon(0, false); }

void DisposeHandle(Handle h) {
  MasterRecord* r = Get(h, kNilHandleErr);
  if (!r) return;
  if (r->pin) {
    // The handle is being resized or copied by the call that is running the
    // grow-zone procedure; disposing it now would pull the block out from
    // under that call.
    SetErr(kMemWZErr);
    return;
  }
  if (r->data) FreeBlock(r->zone, r->data, r->size, false);
  Zone* z = r->zone;
  Unlink(r);
  DestroyIfEmpty(z);
  ReleaseRecord(r);
}

Size GetHandleSize(Handle h) {
  MasterRecord* r = Get(h, kNilHandleErr);
  return r ? r->size : 0;
}

namespace {
OSErr Resize(MasterRecord* r, Size size) {
  if (size < 0) return kParamErr;
  if (size == r->size) return kNoErr;
  if (r->pin) return kMemWZErr;  // already being resized or copied further up the stack
  // Pinned for the whole resize: the purges and grow-zone calls below must not
  // free this very block while it is being retried or copied.
  // Returning freed heap memory to the system is left to the purge step (at
  // most once a second): doing it before every large resize cost milliseconds
  // each time a big block grew.
  Pin pin(r);
  if (size == 0) {
    EmptyRecord(r, true);
    return kNoErr;
  }
  Ladder ladder;
  if (!r->data) {
    Block b = Allocate(size, false, ladder);
    if (!b.p) return kMemFullErr;
    Unlink(r);
    r->data = b.p;
    r->size = size;
    Link(b.zone, r);
    return kNoErr;
  }
  if (ResizeInPlace(r, size, ladder)) return kNoErr;
  if (r->flags & kFlagLocked) return kMemFullErr;
  Block b = Allocate(size, false, ladder);
  if (!b.p) return kMemFullErr;
  std::memcpy(b.p, r->data, static_cast<size_t>(std::min(size, r->size)));
  Zone* oldZone = r->zone;
  char* oldData = r->data;
  Size oldSize = r->size;
  Unlink(r);
  r->data = b.p;
  r->size = size;
  Link(b.zone, r);
  FreeBlock(oldZone, oldData, oldSize, true);
  return kNoErr;
}
}  // namespace

void SetHandleSize(Handle h, Size size) {
  MasterRecord* r = Get(h, kMemWZErr);
  // Set after the work: a grow-zone procedure run inside may have set it too.
  if (r) SetErr(Resize(r, size));
}

void ReallocateHandle(Handle h, Size size) { SetHandleSize(h, size); }

void EmptyHandle(Handle h) {
  MasterRecord* r = Get(h, kNilHandleErr);
  if (!r) return;
  if (r->pin) {
    SetErr(kMemWZErr);
    return;
  }
  SetFlags(r, static_cast<uint16_t>(r->flags & ~kFlagLocked));
  // The record moves to the global zone's list, as purging does, so it never
  // points at a heap zone that is destroyed once its last block is gone.
  EmptyRecord(r, true);
}

void HLock(Handle h) {
  if (MasterRecord* r = Get(h, kMemWZErr)) SetFlags(r, r->flags | kFlagLocked);
}
void HLockHi(Handle h) { HLock(h); }
void HUnlock(Handle h) {
  if (MasterRecord* r = Get(h, kMemWZErr)) SetFlags(r, static_cast<uint16_t>(r->flags & ~kFlagLocked));
}
void HPurge(Handle h) {
  if (MasterRecord* r = Get(h, kMemWZErr)) SetFlags(r, r->flags | kFlagPurgeable);
}
void HNoPurge(Handle h) {
  if (MasterRecord* r = Get(h, kMemWZErr)) SetFlags(r, static_cast<uint16_t>(r->flags & ~kFlagPurgeable));
}
void MoveHHi(Handle h) { Get(h, kNilHandleErr); }

// The state byte is kept and restored for real, so the usual save / lock /
// restore sequence leaves a handle exactly as it found it.
SignedByte HGetState(Handle h) {
  MasterRecord* r = Get(h, kNilHandleErr);
  if (!r) return 0;
  int state = ((r->flags & kFlagLocked) ? 0x80 : 0) | ((r->flags & kFlagPurgeable) ? 0x40 : 0) |
              ((r->flags & kFlagResource) ? 0x20 : 0);
  return static_cast<SignedByte>(state);
}

void HSetState(Handle h, SignedByte state) {
  MasterRecord* r = Get(h, kNilHandleErr);
  if (!r) return;
  auto s = static_cast<uint8_t>(state);
  uint16_t flags = ((s & 0x80) ? kFlagLocked : 0) | ((s & 0x40) ? kFlagPurgeable : 0) |
                   ((s & 0x20) ? kFlagResource : 0);
  SetFlags(r, flags);
}

OSErr HandToHand(Handle* h) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return g.err;
  }
  if (!h || !*h) {
    SetErr(kParamErr);
    return g.err;
  }
  MasterRecord* src = Get(*h, kParamErr);
  if (!src) return g.err;
  // The source is pinned: the allocation below may purge, and must not purge
  // the very block it is about to copy.
  Pin pin(src);
  MasterRecord* r = TakeRecord();
  if (!r) {
    SetErr(kMemFullErr);
    return g.err;
  }
  if (src->size > 0 && src->data) {
    Ladder ladder;
    Block b = Allocate(src->size, false, ladder);
    if (!b.p) {
      ReleaseRecord(r);
      SetErr(kMemFullErr);
      return g.err;
    }
    std::memcpy(b.p, src->data, static_cast<size_t>(src->size));
    r->data = b.p;
    r->size = src->size;
    Link(b.zone, r);
  } else {
    Link(&g.global, r);
  }
  *h = reinterpret_cast<Handle>(r);
  SetErr(kNoErr);
  return kNoErr;
}

OSErr PtrToHand(const void* p, Handle* h, Size size) {
  if (h) *h = nullptr;
  if (!h || size < 0 || (size > 0 && !p)) {
    SetErr(g.shutdown ? kMemWZErr : kParamErr);
    return g.err;
  }
  Handle n = NewHandleCommon(size, false);
  if (!n) return g.err;
  if (size > 0) std::memcpy(*n, p, static_cast<size_t>(size));
  *h = n;
  return kNoErr;
}

Handle RecoverHandle(Ptr p) {
  if (g.shutdown || !p) {
    SetErr(kMemWZErr);
    return nullptr;
  }
  for (Zone* z = g.heapHead; z; z = z->next) {
    for (MasterRecord* r = z->head; r; r = r->next) {
      if (r->data == p) {
        SetErr(kNoErr);
        return reinterpret_cast<Handle>(r);
      }
    }
  }
  for (MasterRecord* r = g.global.head; r; r = r->next) {
    if (r->data == p) {
      SetErr(kNoErr);
      return reinterpret_cast<Handle>(r);
    }
  }
  SetErr(kMemWZErr);
  return nullptr;
}

// ---- pointer blocks ---------------------------------------------------------------

Ptr NewPtr(Size size) { return NewPtrCommon(size, false); }
Ptr NewPtrClear(Size size) { return NewPtrCommon(size, true); }

void DisposePtr(Ptr p) {
  PtrMap::iterator it;
  if (!FindPtr(p, it)) {
    // Null, foreign or already disposed: refused, nothing touched.
    SetErr(kMemWZErr);
    return;
  }
  PtrInfo info = it->second;
  g.ptrs->erase(it);
  FreeBlock(info.zone, p, info.allocated, true);
  SetErr(kNoErr);
}

Size GetPtrSize(Ptr p) {
  PtrMap::iterator it;
  if (!FindPtr(p, it)) {
    SetErr(kMemWZErr);
    return 0;
  }
  SetErr(kNoErr);
  return it->second.size;
}

void BlockMove(const void* src, void* dst, Size n) {
  if (n <= 0) return;
  if (!src || !dst) {
    SetErr(kParamErr);
    return;
  }
  std::memmove(dst, src, static_cast<size_t>(n));
  SetErr(kNoErr);
}

OSErr MemError(void) { return g.err; }

void PurgeMem(Size) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return;
  }
  PurgeAllZones();
  SetErr(kNoErr);
}

// ---- shutdown, inspection and test support -------------------------------------------

void EMUL_ShutdownMemory(void) {
  if (g.shutdown) {
    SetErr(kMemWZErr);
    return;
  }
  int64_t leakedHandles = g.liveHandles;
  int64_t leakedPtrs = g.ptrs ? static_cast<int64_t>(g.ptrs->size()) : 0;
  for (int64_t c = 0; c < g.chunkCount; ++c) {
    MasterRecord* records = g.chunks[c].records;
    for (int64_t i = 0; i < kRecordsPerChunk; ++i) {
      if ((records[i].flags & kFlagInUse) && records[i].data) SysFree(records[i].data, records[i].size);
    }
    std::free(records);
  }
  std::free(g.chunks);
  if (g.ptrs) {
    for (auto& [p, info] : *g.ptrs) SysFree(reinterpret_cast<char*>(p), info.allocated);
    delete g.ptrs;
  }
  for (Zone* z = g.heapHead; z;) {
    Zone* next = z->next;
    std::free(z);
    z = next;
  }
  for (Zone* z = g.zonePool; z;) {
    Zone* next = z->next;
    std::free(z);
    z = next;
  }
  bool checks = g.checks, checksKnown = g.checksKnown;
  g = State{};
  g.checks = checks;
  g.checksKnown = checksKnown;
  g.shutdown = true;
  if (leakedHandles || leakedPtrs) {
    tv::platform::DebugOutput("EMUL_ShutdownMemory: " + std::to_string(leakedHandles) + " handles and " +
                              std::to_string(leakedPtrs) + " pointer blocks were still live");
  }
}

int64_t EMUL_LiveHandleCount(void) { return g.liveHandles; }
int64_t EMUL_LivePtrCount(void) { return g.ptrs ? static_cast<int64_t>(g.ptrs->size()) : 0; }

Boolean32 EMUL_SetMemoryChecks(Boolean32 on) {
  Boolean32 was = Checks() ? 1 : 0;
  g.checks = on != 0;
  return was;
}

void EMUL_InjectAllocationFailures(int64_t after, int64_t count) {
  if (count == 0 || after < 0) {
    g.failAfter = -1;
    g.failCount = 0;
    return;
  }
  g.failAfter = after;
  g.failCount = count;
}
void EMUL_FailAllocationsAfter(int64_t n) { EMUL_InjectAllocationFailures(n, -1); }
void EMUL_StopAllocationFailures(void) { EMUL_InjectAllocationFailures(-1, 0); }
