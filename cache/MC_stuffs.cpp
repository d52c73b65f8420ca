// Stuffs: adding, deleting, updating, reading, walking, and importance.
#include <algorithm>

#include "MC_internal.h"

namespace tv::mc {

int64_t BytesOf(const MC_Stuff& s) {
  int64_t bytes = 0;
  if (s.id.type != 0 && VAL_GetDeepDataSize(&s.id, &bytes) != 0) bytes = 0;
  return bytes;
}

void FreeSlot(Bag& bag, uint32_t index) {
  for (uint64_t t : bag.dirs)
    if (Dir* d = DirOf(t)) RemoveFromDir(*d, index);
  MC_Stuff& s = bag.stuffs[index];
  bag.bytes -= s.bytes;
  VAL_Value id = s.id;
  s = MC_Stuff{};
  s.flags = MC_Stuff_Free;
  s.useCount = bag.freeHead;
  bag.freeHead = index;
  --bag.count;
  // The value goes last: its disposal may call back into the package.
  VAL_DisposeValue(&id);
}

ErrorCode DeleteStuff(Bag& bag, uint32_t index) {
  if (bag.stuffs[index].checkouts > 0)
    return kReport.Report(kSiteDelete, kSevFailure, MC_ErrDeleteCheckedOut, kTextDeleteCheckedOut);
  FreeSlot(bag, index);
  return 0;
}

}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

ErrorCode MC_AddStuff(MC_Bag token, uint32_t flags, VAL_Value* id, int32_t cost, MC_PurgeProc purge,
                      intptr_t purgeReference, MC_WriteDiskProc writeToDisk, MC_ReadDiskProc readFromDisk,
                      intptr_t diskReference, uint32_t* index) try {
  if (index) *index = kNoIndex;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!id || !index) return kReport.BadParam(kSiteArgument, {"MC_AddStuff"});
  if ((flags & MC_Stuff_MayGoToDisk) && (!writeToDisk || !readFromDisk))
    return kReport.Report(kSiteAdd, kSevError, kErrBadParam, kTextMissingDiskProcs);
  Nest nest;
  State& g = G();
  MC_Stuff s{};
  s.id = *id;
  s.flags = flags & ~static_cast<uint32_t>(MC_Stuff_CheckedOutRW | MC_Stuff_Free);
  s.cost = cost;
  s.purgeReference = purgeReference;
  s.purge = purge;
  s.diskReference = diskReference;
  s.writeToDisk = writeToDisk;
  s.readFromDisk = readFromDisk;
  s.bytes = BytesOf(s);
  uint32_t at = bag->freeHead;
  if (at == kNoIndex && bag->stuffs.size() >= kNoIndex - 1)
    return kReport.OutOfMemory(kSiteAdd, kTextBag, sizeof(MC_Stuff));
  try {
    // The importance directory makes room first, so a failed append leaves
    // the bag as it was.
    Dir* importance = DirOf(bag->dirs.front());
    importance->order.reserve(importance->order.size() + 1);
    if (at == kNoIndex) {
      bag->stuffs.push_back(MC_Stuff{});
      bag->stuffs.back().flags = MC_Stuff_Free;
      bag->stuffs.back().useCount = kNoIndex;
      at = static_cast<uint32_t>(bag->stuffs.size() - 1);
    }
  } catch (...) {
    return kReport.OutOfMemory(kSiteAdd, kTextBag, sizeof(MC_Stuff));
  }
  if (at == bag->freeHead) bag->freeHead = bag->stuffs[at].useCount;
  s.created = s.lastUse = ++g.transactions;
  bag->stuffs[at] = s;
  ++bag->count;
  bag->bytes += s.bytes;
  InsertSorted(*DirOf(bag->dirs.front()), at);
  *id = VAL_Value{};
  *index = at;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_DeleteStuffByID(MC_Bag token, uint32_t index) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (ErrorCode err = FindStuff(*bag, index, kSiteStuff)) return err;
  Nest nest;
  return DeleteStuff(*bag, index);
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_UpdateStuffInfo(MC_Bag token, uint32_t index, int32_t cost, uint32_t callerFlags) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (ErrorCode err = FindStuff(*bag, index, kSiteStuff)) return err;
  MC_Stuff& s = bag->stuffs[index];
  s.cost = cost;
  s.flags = (s.flags & kPackageFlags) | (callerFlags & ~kPackageFlags);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_GetStuffInfo(MC_Bag token, uint32_t index, MC_Stuff* stuff) try {
  if (stuff) *stuff = MC_Stuff{};
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!stuff) return kReport.BadParam(kSiteArgument, {"MC_GetStuffInfo"});
  if (ErrorCode err = FindStuff(*bag, index, kSiteStuff)) return err;
  *stuff = bag->stuffs[index];
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_RemoveAllStuffsFromBag(MC_Bag token) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  Nest nest;
  bool kept = false;
  for (uint32_t i = 0; i < bag->stuffs.size(); ++i) {
    const MC_Stuff& s = bag->stuffs[i];
    if (s.flags & MC_Stuff_Free) continue;
    if (s.checkouts > 0) kept = true;
    else FreeSlot(*bag, i);
  }
  if (kept) return kReport.Report(kSiteDelete, kSevFailure, MC_ErrDeleteCheckedOut, kTextDeleteCheckedOut);
  return 0;
} TV_CATCH(MC_PackageNumber)

namespace {

// Walks a snapshot of indices so a visitor may delete what it visits.
ErrorCode Walk(Bag& bag, const std::vector<uint32_t>& indices, MC_StuffVisitor visitor, intptr_t reference) {
  const uint64_t bagToken = bag.token;
  const MC_Bag token = BagToken(bag);
  for (uint32_t i : indices) {
    // A visitor may dispose the bag itself: stop there.
    auto it = G().bags.find(bagToken);
    if (it == G().bags.end()) return 0;
    Bag& b = *it->second;
    if (i >= b.stuffs.size() || (b.stuffs[i].flags & MC_Stuff_Free)) continue;
    const MC_Stuff view = b.stuffs[i];
    Boolean32 stop = 0;
    if (ErrorCode err = visitor(reference, token, i, &view, &stop)) return err;
    if (stop) break;
  }
  return 0;
}

}  // namespace

ErrorCode MC_IterateStuffBag(MC_Bag token, MC_StuffVisitor visitor, intptr_t reference) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!visitor) return kReport.BadParam(kSiteArgument, {"MC_IterateStuffBag"});
  std::vector<uint32_t> indices;
  for (uint32_t i = 0; i < bag->stuffs.size(); ++i)
    if (!(bag->stuffs[i].flags & MC_Stuff_Free)) indices.push_back(i);
  return Walk(*bag, indices, visitor, reference);
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_IterateStuffSortDir(MC_SortDir token, MC_StuffVisitor visitor, intptr_t reference) try {
  Dir* d = nullptr;
  if (ErrorCode err = FindDir(token, &d)) return err;
  if (!visitor) return kReport.BadParam(kSiteArgument, {"MC_IterateStuffSortDir"});
  const std::vector<uint32_t> indices = d->order;
  return Walk(*d->bag, indices, visitor, reference);
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_CalcImportance(const MC_Stuff* stuff, float* importance) try {
  if (importance) *importance = 0;
  if (ErrorCode err = CheckAlive()) return err;
  if (!stuff || !importance) return kReport.BadParam(kSiteArgument, {"MC_CalcImportance"});
  *importance = Importance(*stuff, G().transactions);
  return 0;
} TV_CATCH(MC_PackageNumber)
