// Purging: one stuff by its purge procedure, a whole bag, and freeing
// memory in importance order for the memory manager's grow-zone path.
#include <algorithm>

#include "MC_internal.h"

namespace tv::mc {
namespace {

// The room left below the memory manager's pre-purge level, signed and in
// 64 bits: above the level it is negative, so "grown by n" stays exact. It
// counts the frames purged so far as gone, although the C allocator keeps
// their pages until the purge ends.
int64_t Room() { return EMUL_RoomBeforePurging(); }

void ResortImportance(Bag& bag) {
  const uint32_t now = G().transactions;
  if (bag.sortedOnce && bag.sortedAt == now) return;
  if (Dir* d = DirOf(bag.dirs.front())) Resort(*d);
  bag.sortedAt = now;
  bag.sortedOnce = true;
}

}  // namespace

int32_t PurgeOne(Bag& bag, uint32_t index) {
  const MC_Stuff& s = bag.stuffs[index];
  if ((s.flags & MC_Stuff_Free) || s.checkouts > 0 || (s.flags & MC_Stuff_NeverPurge)) return 0;
  int32_t decision = MC_Purge_Remove;
  if (s.purge) {
    decision = 0;
    // A procedure that fails keeps its stuff.
    if (s.purge(s.purgeReference, BagToken(bag), index, 0, &decision) != 0) decision = 0;
  }
  // The procedure may have called back into the package: look again.
  MC_Stuff& now = bag.stuffs[index];
  if ((now.flags & MC_Stuff_Free) || now.checkouts > 0) return 0;
  if (decision & MC_Purge_Remove) {
    FreeSlot(bag, index);
    ++bag.purges;
    return 1;
  }
  if (decision & MC_Purge_Released) {
    bag.bytes -= now.bytes;
    now.bytes = BytesOf(now);
    bag.bytes += now.bytes;
    ++bag.purges;
    return 2;
  }
  return 0;
}

}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

ErrorCode MC_PurgeAllPurgeableStuffsFromBag(MC_Bag token) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  Nest nest;
  const uint64_t bagToken = bag->token;
  const uint64_t dirToken = bag->dirs.front();
  Dir* d = DirOf(dirToken);
  // By index from the end: a removal shifts only entries already passed.
  for (size_t i = d->order.size(); i-- > 0;) {
    if (!G().bags.count(bagToken) || !(d = DirOf(dirToken))) break;
    if (i >= d->order.size()) continue;
    PurgeOne(*bag, d->order[i]);
  }
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_FreeUpSomeMemory(MC_Bag token, int64_t wanted, int32_t* result) try {
  if (result) *result = MC_Freed_Nothing;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!result) return kReport.BadParam(kSiteArgument, {"MC_FreeUpSomeMemory"});
  Nest nest;
  // Only the outermost package operation frees: an allocation made inside
  // one of the package's own operations must not purge under it.
  if (G().nesting != 1) return 0;
  int64_t room = Room();
  ResortImportance(*bag);
  const uint64_t bagToken = bag->token;
  const uint64_t dirToken = bag->dirs.front();
  Dir* d = DirOf(dirToken);
  for (size_t i = d->order.size(); i-- > 0;) {
    if (room >= wanted) break;
    if (!G().bags.count(bagToken) || !(d = DirOf(dirToken))) break;
    if (i >= d->order.size()) continue;
    if (PurgeOne(*bag, d->order[i]) != 0) {
      *result = MC_Freed_Some;
      room = Room();
    }
  }
  if (room >= wanted) *result = MC_Freed_Enough;
  return 0;
} TV_CATCH(MC_PackageNumber)

int32_t MC_GrowZone(Size bytesNeeded) {
  if (!Alive() || G().nesting > 0 || bytesNeeded <= 0) return 0;
  int32_t result = 0;
  // Room() is signed, so the sum cannot wrap for any real figure.
  const int64_t target = Room() + std::min<int64_t>(bytesNeeded, INT64_MAX / 4);
  if (MC_FreeUpSomeMemory(MC_GlobalBag, target, &result) != 0) return 0;
  return result != MC_Freed_Nothing ? 1 : 0;
}
