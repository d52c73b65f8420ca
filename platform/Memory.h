// The memory manager: relocatable blocks reached through handles (a pointer to
// a master pointer), fixed pointer blocks, zones, purging, the grow-zone
// procedure and the process memory budget. Every package allocates through it.
//
// What callers may rely on:
// - A handle's address never changes between NewHandle and DisposeHandle, and
//   *h is the data address: null exactly when the handle is empty or purged.
// - A block moves only when its own handle is resized (SetHandleSize,
//   ReallocateHandle) while unlocked. A locked block never moves: growing it
//   beyond the room it has fails with -108 and leaves it unchanged. There is no
//   compaction, so MoveHHi and HLockHi move nothing.
// - A locked or non-purgeable block is never purged. A purgeable, unlocked block
//   may be emptied by any call that allocates (NewHandle, NewPtr, SetHandleSize,
//   HandToHand, PtrToHand, MaxMem); the grow-zone procedure runs only inside
//   such a call and may dispose any handle other than the one being resized or
//   copied.
// - HLock is a flag, not a count. HGetState/HSetState save and restore the
//   state byte (0x80 locked, 0x40 purgeable, 0x20 resource).
// - Data blocks are at least 16-byte aligned. Sizes are 64-bit.
// - Stale, disposed or foreign handles and pointers give -111 and touch nothing.
// - Failures are not reported (the memory manager is below the report path):
//   every call sets MemError() to 0 or its code, and calls that return a
//   handle or pointer return null on failure. The codes: -108 out of memory
//   (or a locked block that cannot grow in place), -109 a null handle, -50 a
//   negative size or null argument, -111 as above and after
//   EMUL_ShutdownMemory.
// - Single thread: the library thread.
#pragma once

#include <stdint.h>

#include "Types.h"

typedef int64_t Size;
typedef int16_t OSErr;
typedef int8_t SignedByte;
// Called with the number of bytes wanted; returns non-zero when it freed something.
typedef int32_t (*GrowZoneProcPtr)(Size bytesNeeded);

// ---- Handles ---------------------------------------------------------------
// New*: null and -50 / -108 on failure. Size queries answer 0 on failure.
// Resizing failures leave the block as it was. HandToHand / PtrToHand return
// MemError()'s code; on failure HandToHand leaves *h unchanged and PtrToHand
// sets it null.
TV_EXPORT Handle NewHandle(Size size);
TV_EXPORT Handle NewHandleClear(Size size);
TV_EXPORT Handle NewHandleSys(Size size);
TV_EXPORT Handle NewEmptyHandle(void);
TV_EXPORT void DisposeHandle(Handle h);
TV_EXPORT Size GetHandleSize(Handle h);
TV_EXPORT void SetHandleSize(Handle h, Size size);
TV_EXPORT void ReallocateHandle(Handle h, Size size);
TV_EXPORT void EmptyHandle(Handle h);
TV_EXPORT void HLock(Handle h);
TV_EXPORT void HLockHi(Handle h);
TV_EXPORT void HUnlock(Handle h);
TV_EXPORT void HPurge(Handle h);
TV_EXPORT void HNoPurge(Handle h);
TV_EXPORT SignedByte HGetState(Handle h);
TV_EXPORT void HSetState(Handle h, SignedByte state);
TV_EXPORT OSErr HandToHand(Handle* h);
TV_EXPORT OSErr PtrToHand(const void* p, Handle* h, Size size);
TV_EXPORT Handle RecoverHandle(Ptr p);
TV_EXPORT void MoveHHi(Handle h);

// ---- Pointer blocks and copies ---------------------------------------------
TV_EXPORT Ptr NewPtr(Size size);
TV_EXPORT Ptr NewPtrClear(Size size);
TV_EXPORT void DisposePtr(Ptr p);
TV_EXPORT Size GetPtrSize(Ptr p);
TV_EXPORT void BlockMove(const void* src, void* dst, Size n);
TV_EXPORT OSErr MemError(void);

// ---- Free memory, purging and the grow-zone procedure ------------------------
// These never fail.
// The memory budget in bytes (see "The memory budget" below).
TV_EXPORT Size FreeMem(void);
// Bytes that may still be allocated before the pre-purge level (0 above it).
TV_EXPORT Size MaxBlock(void);
// Purges every purgeable block, sets *grow to 0 and returns MaxBlock().
TV_EXPORT Size MaxMem(Size* grow);
// Purges every purgeable, unlocked block.
TV_EXPORT void PurgeMem(Size bytesNeeded);
// Sets both figures to 0.
TV_EXPORT void PurgeSpace(Size* total, Size* contiguous);
TV_EXPORT void SetGrowZone(GrowZoneProcPtr proc);
TV_EXPORT GrowZoneProcPtr GetGrowZone(void);
TV_EXPORT void MaxApplZone(void);
TV_EXPORT void ReserveMem(Size bytes);
// These three only write a one-time debug line.
TV_EXPORT void MoreMasters(void);
TV_EXPORT Ptr GetApplLimit(void);
TV_EXPORT void SetApplLimit(Ptr limit);

// ---- Process memory ----------------------------------------------------------
// Exported platform state: both 0 on Linux; kept so their branches stay testable.
TV_EXPORT int32_t gWin32S;
TV_EXPORT int32_t gEmbeddingOLE;

// Sets the ceiling and the pre-purge level from percentages of physical memory
// (each at least 28 MB; the pre-purge level never above the ceiling). -50 for a
// percentage that is not a finite positive number.
TV_EXPORT ErrorCode EMUL_SetMemUsagePercentages(double maxUsePercent, double beforePurgePercent);
// When process memory is above the pre-purge level, tries to free the excess;
// *limitReached becomes 1 when that fails, else 0. -50 for a null pointer,
// -111 after shutdown.
TV_EXPORT ErrorCode EMUL_NonPurgableRAMLimitReached(Boolean32* limitReached);
// The pre-purge inhibit counter: while it is above 0, large allocations skip
// the budget check.
TV_EXPORT void EMUL_DisableProactivePrePurging(void);
TV_EXPORT void EMUL_EnableProactivePrePurging(void);
// -50 for a null bytes.
TV_EXPORT ErrorCode EMUL_TotalMemoryUsed(Size* bytes);
TV_EXPORT ErrorCode EMUL_TotalRAMInstalled(Size* bytes);
// Bytes the host allocated outside the zones (positive) or released (negative).
TV_EXPORT void EMUL_AccountGlobalMemoryAllocation(Size delta);
// Releases every block and record; afterwards every call answers -111.
TV_EXPORT void EMUL_ShutdownMemory(void);
// Forgets the levels and settings read so far; they are read again on next need
// (for example after the preferences file changed).
TV_EXPORT void EMUL_ReloadMemorySettings(void);

// ---- The memory budget ---------------------------------------------------------
// Resident memory is kept under the budget: purging (purgeable blocks, then the
// grow-zone procedure, which is the frame cache's) starts a headroom below it
// (a sixteenth of it, 8 MB to 256 MB), or at the pre-purge level when that is
// lower. The budget comes from, in this order:
enum {
  EMUL_BudgetSetting = 1,    // EMUL_SetMemoryBudget (a host's --memory option)
  EMUL_BudgetPreference = 2, // "MemoryUsage" percent of "ApplicationMemory" (KB), less the reserve
  EMUL_BudgetCgroup2 = 3,    // the same of the process's cgroup v2 "memory.max"
  EMUL_BudgetCgroup1 = 4,    // the same of its cgroup v1 "memory.limit_in_bytes"
  EMUL_BudgetPhysical = 5    // the same of the machine's physical memory
};
// The control group's limit is the lowest over the process's own group and
// the groups above it; one at or above physical memory does not count. Under
// a control group the ceiling is at most its limit (beyond it the kernel
// would end the process).
typedef struct EMUL_BudgetInfo {
  int64_t budget;         // bytes
  int64_t figure;         // the memory it was taken from (the budget itself for a setting)
  int64_t prePurgeLevel;  // purging starts above this much process memory
  int64_t ceiling;        // large allocations fail above this
  int32_t source;         // EMUL_Budget...
  int32_t usagePercent;   // the "MemoryUsage" applied (100 for a setting)
  char file[256];         // the control group's limit file (cgroup sources), else ""
} EMUL_BudgetInfo;
enum { EMUL_MinMemoryBudget = 32 << 20 };
// Sets the budget in bytes (0: back to the preferences, the control group or
// physical memory). -50 for a negative budget or one below EMUL_MinMemoryBudget.
TV_EXPORT ErrorCode EMUL_SetMemoryBudget(Size bytes);
// The budget in force and where it came from; -50 for a null info.
TV_EXPORT ErrorCode EMUL_GetMemoryBudget(EMUL_BudgetInfo* info);
// The pre-purge level less process memory as the budget check sees it
// (negative above the level); it counts blocks freed by a purge in progress
// as gone.
TV_EXPORT Size EMUL_RoomBeforePurging(void);

// ---- Inspection and test support ---------------------------------------------
typedef struct EMUL_MemoryStats {
  int64_t liveHandles;       // handles made and not yet disposed (empty ones too)
  int64_t emptyHandles;      // live handles without a block
  int64_t livePtrs;          // pointer blocks not yet disposed
  int64_t heapZones;         // heap zones in the chain
  int64_t heapZoneBytes;     // bytes taken in heap zones (16 bytes of overhead per block)
  int64_t globalZoneBytes;   // bytes in the global zone
  int64_t outsideBytes;      // bytes reported by EMUL_AccountGlobalMemoryAllocation
  int64_t outsideCount;      // allocations counted up and down through it
  int64_t outsidePeakCount;  // the highest count so far
  int64_t purgeSweeps;       // purge steps that emptied purgeable blocks
  int64_t purgedBlocks;      // blocks emptied by purging
  int64_t growZoneCalls;     // calls of the grow-zone procedure
  int64_t systemAllocations; // data blocks requested from the C allocator
  int64_t ceiling;           // the hard ceiling on process memory (0 until first needed)
  int64_t prePurgeLevel;     // the level at which pre-purging starts (0 until first needed)
  int64_t budgetKB;          // budget of the first FreeMem, in KB (0 before)
  int64_t usagePercent;      // usage percentage of the first FreeMem (0 before)
  int32_t inhibitCount;      // the pre-purge inhibit counter
  int32_t purgeNesting;      // purge steps in progress
} EMUL_MemoryStats;

TV_EXPORT void EMUL_GetMemoryStats(EMUL_MemoryStats* stats);
TV_EXPORT int64_t EMUL_LiveHandleCount(void);
TV_EXPORT int64_t EMUL_LivePtrCount(void);

// Moving mode: every resize of an unlocked block moves it, freed blocks are
// overwritten with 0xDB and fresh uncleared blocks are filled with 0xA5. On
// when the environment variable TAVELO_MEMORY_CHECKS is set to anything but
// "0" (the sanitizer run sets it). Returns the previous setting.
TV_EXPORT Boolean32 EMUL_SetMemoryChecks(Boolean32 on);
// Allocation failure injector: after `after` more successful data-block
// allocations, the next `count` fail (count < 0: all of them, until stopped).
TV_EXPORT void EMUL_InjectAllocationFailures(int64_t after, int64_t count);
// Shorthand: every data-block allocation after the next n fails.
TV_EXPORT void EMUL_FailAllocationsAfter(int64_t n);
TV_EXPORT void EMUL_StopAllocationFailures(void);
// Physical memory figure to use instead of the system's (0 restores it).
// While one is set, control groups are read only from a test root.
TV_EXPORT void EMUL_SetPhysicalMemoryForTesting(Size bytes);
// A folder standing for "/" when the control group files are read
// (proc/self/cgroup, proc/self/mountinfo, sys/fs/cgroup/...); null restores "/".
TV_EXPORT void EMUL_SetCgroupRootForTesting(const char* root);
// Process memory probe used instead of /proc/self/statm (null restores it). A
// negative answer means "counters unavailable" (the accounting measure is used).
typedef int64_t (*EMUL_ProcessMemoryProbe)(void);
TV_EXPORT void EMUL_SetProcessMemoryProbeForTesting(EMUL_ProcessMemoryProbe probe);
