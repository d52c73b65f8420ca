// MC: the frame cache. Rendered frames and other re-creatable data stay in
// memory for as long as memory allows; when it runs short the least useful
// entries go first. A bag holds cached entries ("stuffs"), each named by an
// identifying value of the value registry (VAL.h) that also owns its data;
// sort directories order a bag's stuffs by a comparison (the first directory
// of every bag, its importance directory, by importance). A caller checks a
// stuff out to use it and checks it in when done.
//
// What callers may rely on:
// - A checked-out stuff is never purged, deleted or changed by the cache
//   until its receipt is checked in. A receipt is valid from its checkout to
//   its checkin; afterwards (and for anything that never was a receipt) the
//   checkin is refused with code 2 and a report, touching nothing.
// - Bags and sort directories are tokens checked against the package's own
//   registry: a disposed bag or directory is refused (code 2, reported) and
//   never read through. MC_GlobalBag stands for the global bag wherever a bag
//   is taken.
// - Importance = cost x 0.16666667 + uses x 0.1 - age in transactions, each
//   term in single precision. Purging walks the importance directory from
//   the least important stuff; never-purge and checked-out stuffs stay.
// - A stuff's bytes are the deep data size of its identifying value
//   (VAL_GetDeepDataSize), measured when it is added, after a read/write
//   checkin and after its purge procedure released memory.
// - MC_FreeUpSomeMemory is the grow-zone path: it measures the room left
//   below the memory manager's pre-purge level (64-bit) and purges until the
//   room asked for is there. Called while another MC operation is under way
//   it does nothing.
// - The disk cache is not built: stuffs flagged MC_Stuff_MayGoToDisk are
//   accepted (with both disk procedures) but always stay in memory.
// - Out-parameters are set to their invalid value first (null tokens,
//   MC_NoIndex, 0, zeroed records) and keep it on failure. A null required
//   pointer answers 3 (reported). Single thread.
#pragma once

#include "Memory.h"
#include "STR.h"
#include "Types.h"
#include "VAL.h"

enum { MC_PackageNumber = 58 };

// Codes of the package (besides the general codes 1 to 12).
enum {
  MC_ErrDeleteCheckedOut = 0x3A03,  // deleting a checked-out stuff
  MC_ErrCheckoutRefused = 0x3A04,   // a checkout that conflicts with another
};

// Report sites the callers may see (location = 0x3A000000 | site).
enum {
  MC_SiteDiskCacheInfo = 0x09,
  MC_SiteDelete = 0x0E,
  MC_SiteDamaged = 0x17,
  MC_SiteCheckout = 0x18,
  MC_SiteGlobalData = 0x1E,
};

// Stuff flags. Bits not named here belong to the caller.
enum {
  MC_Stuff_NeverPurge = 0x1,
  MC_Stuff_MayGoToDisk = 0x2,
  MC_Stuff_CheckedOutRW = 0x1000,
  MC_Stuff_Free = 0x2000,
};

// Checkout mode bits; checkin flags; purge decisions.
enum { MC_Checkout_ReadOnly = 0x1, MC_Checkout_ReadWrite = 0x0 };
enum { MC_Checkin_Delete = 0x1, MC_Checkin_NotAUse = 0x2 };
enum { MC_Purge_Remove = 0x1, MC_Purge_Released = 0x2 };
// MC_FreeUpSomeMemory's result: nothing freed, something freed, enough room.
enum { MC_Freed_Nothing = 0, MC_Freed_Some = 1, MC_Freed_Enough = 2 };

#define MC_NoIndex 0x80000000u

typedef struct MC_BagToken* MC_Bag;
typedef struct MC_SortDirToken* MC_SortDir;
typedef struct MC_ReceiptToken* MC_Receipt;
#define MC_GlobalBag ((MC_Bag)(intptr_t)-1)

struct MC_Stuff;
// Asked to purge stuff `index` of `bag`: sets *decision to MC_Purge_Remove
// (remove the entry), MC_Purge_Released (memory released, the entry stays)
// or 0 (keep it).
typedef ErrorCode (*MC_PurgeProc)(intptr_t reference, MC_Bag bag, uint32_t index, int32_t reserved,
                                  int32_t* decision);
// Disk procedures (kept for stuffs that may go to disk; never called while the
// disk cache is not built).
typedef ErrorCode (*MC_WriteDiskProc)(intptr_t reference, void* file, struct MC_Stuff* stuff);
typedef ErrorCode (*MC_ReadDiskProc)(intptr_t reference, void* file, int64_t size, struct MC_Stuff* stuff);
// Orders a before b (negative), after b (positive) or equal (0). A directory
// searched by key is called with a probe whose only meaningful field is id.
typedef int32_t (*MC_SortFunc)(intptr_t reference, const struct MC_Stuff* a, const struct MC_Stuff* b);
// Called for each stuff; a non-zero *stop ends the walk, a non-zero code ends
// it and is returned.
typedef ErrorCode (*MC_StuffVisitor)(intptr_t reference, MC_Bag bag, uint32_t index, const struct MC_Stuff* stuff,
                                     Boolean32* stop);

// A view of one stuff (copied out; the value still belongs to the cache).
typedef struct MC_Stuff {
  VAL_Value id;            // identifying value (owns the stuff's data)
  uint32_t flags;
  uint32_t useCount;       // checkouts so far
  uint32_t created;        // creation transaction
  uint32_t lastUse;        // last-use transaction
  int32_t cost;            // cost of re-creating it (the engine: render ticks)
  uint32_t checkouts;      // current checkouts
  intptr_t purgeReference;
  MC_PurgeProc purge;
  intptr_t diskReference;
  MC_WriteDiskProc writeToDisk;
  MC_ReadDiskProc readFromDisk;
  void* diskFile;
  int64_t bytes;           // deep data size of id
} MC_Stuff;

typedef struct MC_Statistics {
  int64_t entries;  // live stuffs
  int64_t bytes;    // their bytes
  int64_t hits;     // keyed checkouts that found their stuff
  int64_t misses;   // keyed lookups that found nothing
  int64_t purges;   // stuffs removed or released by purging
} MC_Statistics;

TV_EXPORT STR_Table MCp_G_STRs;
TV_EXPORT uint32_t MC_PkgObjectVersion(void);
TV_EXPORT ErrorCode MC_CheckVersions(LocationCode location, int32_t expectedMajor);

// Birth: 12 (reported) when alive; makes the global bag (64 x 8 slots).
// Death: 11 (reported) when not alive; reports unbalanced checkouts
// (severity 4) and disposes every bag, stuff and receipt.
TV_EXPORT ErrorCode MC_Birth(intptr_t value1, intptr_t value2);
TV_EXPORT ErrorCode MC_Death(void);
// 2 (0x3A00001E, severity 16) when the package is not alive; *count 0.
TV_EXPORT ErrorCode MC_GetCurrentTransactionCount(uint32_t* count);

// ---- Bags ----------------------------------------------------------------------
// 3 for a zero block size or block count; *bag null on failure.
TV_EXPORT ErrorCode MC_NewBag(uint32_t blockSize, uint32_t initialBlocks, MC_Bag* bag);
// 3 for the global bag ("cannot dispose the global cache") or a bag with
// checked-out stuffs ("disposing non-empty cache"); the bag stays. Otherwise
// every stuff and directory of the bag goes with it.
TV_EXPORT ErrorCode MC_DisposeBag(MC_Bag bag);
// 0 for a living bag, else 2 (reported).
TV_EXPORT ErrorCode MC_CheckBag(MC_Bag bag);
TV_EXPORT ErrorCode MC_IsGlobalBag(MC_Bag bag, Boolean32* isGlobal);
// Allowed once per bag with values below 0xFFFFFFFF; otherwise 5 (severity 8,
// "cannot resize or move disk cache").
TV_EXPORT ErrorCode MC_SetBagDiskCacheInfo(MC_Bag bag, uint32_t a, uint32_t b);
TV_EXPORT ErrorCode MC_InqBagDiskCacheInfo(MC_Bag bag, uint32_t* a, uint32_t* b);
TV_EXPORT ErrorCode MC_InqBagImportanceSortDir(MC_Bag bag, MC_SortDir* directory);
// Statistics of one bag; MC_GetStatistics(MC_GlobalBag, ...) for the global one.
TV_EXPORT ErrorCode MC_GetStatistics(MC_Bag bag, MC_Statistics* stats);
// Counts a keyed look-up a caller made through its own index (a hit when
// `hit` is non-zero, else a miss) in the bag's statistics.
TV_EXPORT ErrorCode MC_NoteLookup(MC_Bag bag, Boolean32 hit);

// ---- Stuffs ----------------------------------------------------------------------
// Adds a stuff that takes *id over: on success the stuff owns the value
// (disposed with the stuff) and *id is zeroed; on failure *id stays the
// caller's. MC_Stuff_MayGoToDisk without both disk procedures: 3. *index
// MC_NoIndex on failure (nothing added).
TV_EXPORT ErrorCode MC_AddStuff(MC_Bag bag, uint32_t flags, VAL_Value* id, int32_t cost, MC_PurgeProc purge,
                                intptr_t purgeReference, MC_WriteDiskProc writeToDisk, MC_ReadDiskProc readFromDisk,
                                intptr_t diskReference, uint32_t* index);
// 0x3A03 (0x3A00000E, severity 2) while checked out; 10 for an index that
// is not a live stuff.
TV_EXPORT ErrorCode MC_DeleteStuffByID(MC_Bag bag, uint32_t index);
// Sets the cost and the caller's flag bits (bits outside 0x3003 of flags).
TV_EXPORT ErrorCode MC_UpdateStuffInfo(MC_Bag bag, uint32_t index, int32_t cost, uint32_t callerFlags);
// A copy of the stuff's view; 10 for an index that is not a live stuff.
TV_EXPORT ErrorCode MC_GetStuffInfo(MC_Bag bag, uint32_t index, MC_Stuff* stuff);
// Deletes every stuff not checked out; 0x3A03 (reported once) when some stayed.
TV_EXPORT ErrorCode MC_RemoveAllStuffsFromBag(MC_Bag bag);
TV_EXPORT ErrorCode MC_PurgeAllPurgeableStuffsFromBag(MC_Bag bag);
TV_EXPORT ErrorCode MC_IterateStuffBag(MC_Bag bag, MC_StuffVisitor visitor, intptr_t reference);
TV_EXPORT ErrorCode MC_IterateStuffSortDir(MC_SortDir directory, MC_StuffVisitor visitor, intptr_t reference);

// ---- Sort directories --------------------------------------------------------------
// A null comparison orders by importance.
TV_EXPORT ErrorCode MC_NewSortDir(MC_Bag bag, MC_SortFunc compare, intptr_t reference, MC_SortDir* directory);
// 3 for an importance directory ("unable to dispose importance sort directory").
TV_EXPORT ErrorCode MC_DisposeSortDir(MC_SortDir directory);
// Sets the comparison and re-sorts.
TV_EXPORT ErrorCode MC_SetSortFunc(MC_SortDir directory, MC_SortFunc compare, intptr_t reference);
// Inserts the stuff in order (nothing when it is there already).
TV_EXPORT ErrorCode MC_AddStuffToSortDir(MC_SortDir directory, uint32_t index);

// ---- Checkout and checkin -------------------------------------------------------------
// Refusals (a read/write checkout outstanding, or read/write asked while
// checked out): with `got` given, silent (*got 0, code 0); otherwise 0x3A04
// reported at 0x3A000018, severity 2. A free slot: 1 (reported). *receipt
// null and *got 0 unless checked out.
TV_EXPORT ErrorCode MC_CheckoutByID(MC_Bag bag, int32_t mode, uint32_t index, Boolean32* got, MC_Receipt* receipt);
// Finds the stuff whose identifying value the directory's comparison finds
// equal to *key and checks it out. Not found: with `got` given *got 0 and
// code 0 (a miss), else 10 ("cache item not found"). *index (optional) is the
// stuff's index.
TV_EXPORT ErrorCode MC_CheckoutBySortDir(MC_SortDir directory, int32_t mode, const VAL_Value* key, Boolean32* got,
                                         uint32_t* index, MC_Receipt* receipt);
// 2 (0x3A000017, severity 16, "internal structure damaged") for a receipt
// that is not outstanding. The receipt is gone afterwards.
TV_EXPORT ErrorCode MC_CheckinStuff(uint32_t flags, MC_Receipt receipt);
// The bag, index and current view of an outstanding receipt's stuff.
TV_EXPORT ErrorCode MC_InqReceipt(MC_Receipt receipt, MC_Bag* bag, uint32_t* index, MC_Stuff* stuff);
// Gives a read/write checkout a new identifying value, taken over as by
// MC_AddStuff; at checkin it replaces the old one, which is disposed. 3 for a
// read-only receipt.
TV_EXPORT ErrorCode MC_SetReceiptValue(MC_Receipt receipt, VAL_Value* id);

// ---- Importance and purging ----------------------------------------------------------
TV_EXPORT ErrorCode MC_CalcImportance(const MC_Stuff* stuff, float* importance);
// *result one of MC_Freed_*; wanted is the room wanted below the pre-purge level.
TV_EXPORT ErrorCode MC_FreeUpSomeMemory(MC_Bag bag, int64_t wanted, int32_t* result);
// A grow-zone procedure over the global bag: frees until the room has grown
// by bytesNeeded; non-zero when it freed something.
TV_EXPORT int32_t MC_GrowZone(Size bytesNeeded);
