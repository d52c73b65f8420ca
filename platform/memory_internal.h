// Internals shared by the memory manager's files: master pointer records,
// zones, the purge ladder and the budget hooks. Not part of the public API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Memory.h"

namespace tv::mem {

enum : uint16_t {
  kFlagPurgeable = 1,
  kFlagLocked = 2,
  kFlagResource = 4,
  kFlagInUse = 0x8000,  // record handed out (cleared on release)
};

enum : OSErr {
  kNoErr = 0,
  kParamErr = -50,
  kMemFullErr = -108,
  kNilHandleErr = -109,
  kMemWZErr = -111,
};

// Blocks up to this size go to heap zones, larger ones to the global zone.
constexpr Size kSmallLimit = 8192;
// Bytes a fresh heap zone can hand out, and the overhead charged per block.
constexpr Size kHeapZoneCapacity = 0x3FC00 - 40;
constexpr Size kHeapBlockOverhead = 16;
constexpr Size kMegabyte = 0x100000;

struct Zone;

// One per handle. The data address must stay the first field: *h is the data.
struct MasterRecord {
  char* data;
  Zone* zone;
  Size size;
  MasterRecord* next;  // owning zone's handle list (free list while released)
  MasterRecord* prev;
  uint16_t flags;
  uint16_t pin;  // > 0 while the manager works on this handle; purging skips it
};
static_assert(offsetof(MasterRecord, data) == 0);

struct Zone {
  bool global;
  Size bytes;    // heap zone: bytes still free; global zone: bytes allocated
  Size largest;  // heap zone: largest allocatable block figure
  MasterRecord* head;
  Zone* next;  // chain of heap zones
  int32_t liveBlocks;
  int32_t purgeable;  // records in the list with the purgeable flag
};

// One purge: the step counter shared by every purge an operation runs, so an
// operation empties purgeable blocks once and calls the grow-zone procedure at
// most five times before it gives up.
struct Ladder {
  int count = 0;
};

// ---- zones (memory_zones.cpp) ----
Zone& GlobalZone();
Size HeapZoneBytesUsed();
// Frees every purgeable, unlocked, unpinned block of every zone; returns the
// number emptied.
int64_t PurgeAllZones();
bool ShutDown();

// ---- budget (memory_budget.cpp) ----
// Whether a global-zone block of n more bytes may be allocated (purging first
// when it crosses the pre-purge level).
bool BudgetCheck(Size n, Ladder& ladder);
// One step of the ladder; true when more may have been freed.
bool PurgeStep(Ladder& ladder, Size wanted);
// Purge steps until process memory dropped by m bytes or nothing more can be
// freed; true when it dropped enough.
bool PurgeBytes(Size m, Ladder& ladder);
bool Win32sRefuses(Size n);
void CountPurge(int64_t blocks);
void ResetBudgetState();

// ---- control groups (memory_cgroup.cpp) ----
struct CgroupLimit {
  Size bytes = 0;       // 0: no limit
  int32_t version = 0;  // 2 or 1
  std::string file;     // the file that set it (without the prefix)
};
// The lowest memory limit over the process's control group and the groups
// above it, read from the files under `prefix` ("" for the real ones).
CgroupLimit ReadCgroupLimit(const std::string& prefix);

}  // namespace tv::mem

namespace tv::mem {
void FillZoneStats(EMUL_MemoryStats& stats);
}  // namespace tv::mem
