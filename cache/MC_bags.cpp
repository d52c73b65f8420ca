// Bags: creation with their importance directory, disposal, the checks and
// the disk-cache parameters.
#include "MC_internal.h"

namespace tv::mc {

ErrorCode NewBag(uint32_t blockSize, uint32_t blocks, Bag** out) {
  *out = nullptr;
  State& g = G();
  auto bag = std::make_unique<Bag>();
  bag->token = NewToken(Kind::Bag);
  bag->stuffs.reserve(static_cast<size_t>(blockSize) * blocks);
  auto dir = std::make_unique<Dir>();
  dir->token = NewToken(Kind::Dir);
  dir->bag = bag.get();
  bag->dirs.push_back(dir->token);
  Bag* raw = bag.get();
  const uint64_t dirToken = dir->token;
  // Both registries take their entries, or neither does.
  g.bags.emplace(raw->token, std::move(bag));
  try {
    g.dirs.emplace(dirToken, std::move(dir));
  } catch (...) {
    g.bags.erase(raw->token);
    throw;
  }
  *out = raw;
  return 0;
}

void DestroyBag(Bag& bag) {
  State& g = G();
  for (uint32_t i = 0; i < bag.stuffs.size(); ++i)
    if (!(bag.stuffs[i].flags & MC_Stuff_Free)) VAL_DisposeValue(&bag.stuffs[i].id);
  for (uint64_t d : bag.dirs) g.dirs.erase(d);
  bag.mark = 0;
  const uint64_t token = bag.token;
  g.bags.erase(token);  // bag is gone from here on
}

}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

ErrorCode MC_NewBag(uint32_t blockSize, uint32_t initialBlocks, MC_Bag* bag) try {
  if (bag) *bag = nullptr;
  if (ErrorCode err = CheckAlive()) return err;
  if (!bag || blockSize == 0 || initialBlocks == 0 || uint64_t{blockSize} * initialBlocks > (1u << 24))
    return kReport.BadParam(kSiteArgument, {"MC_NewBag"});
  Bag* b = nullptr;
  if (ErrorCode err = NewBag(blockSize, initialBlocks, &b)) return err;
  *bag = BagToken(*b);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_DisposeBag(MC_Bag token) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (bag == G().global) return kReport.Report(kSiteDisposeBag, kSevError, kErrBadParam, kTextDisposeGlobal);
  // Receipts would outlive a bag disposed under them: such a bag stays.
  for (const MC_Stuff& s : bag->stuffs)
    if (!(s.flags & MC_Stuff_Free) && s.checkouts > 0)
      return kReport.Report(kSiteDisposeBag, kSevError, kErrBadParam, kTextNonEmpty);
  DestroyBag(*bag);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_CheckBag(MC_Bag token) try {
  Bag* bag = nullptr;
  return FindBag(token, &bag);
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_IsGlobalBag(MC_Bag token, Boolean32* isGlobal) try {
  if (isGlobal) *isGlobal = 0;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!isGlobal) return kReport.BadParam(kSiteArgument, {"MC_IsGlobalBag"});
  *isGlobal = bag == G().global ? 1 : 0;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_SetBagDiskCacheInfo(MC_Bag token, uint32_t a, uint32_t b) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (bag->diskA != 0 || bag->diskB != 0 || a == 0xFFFFFFFFu || b == 0xFFFFFFFFu)
    return kReport.Report(kSiteDiskCacheInfo, kSevError, kErrUnimplemented, kTextDiskCache);
  bag->diskA = a;
  bag->diskB = b;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_InqBagDiskCacheInfo(MC_Bag token, uint32_t* a, uint32_t* b) try {
  if (a) *a = 0;
  if (b) *b = 0;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!a || !b) return kReport.BadParam(kSiteArgument, {"MC_InqBagDiskCacheInfo"});
  *a = bag->diskA;
  *b = bag->diskB;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_InqBagImportanceSortDir(MC_Bag token, MC_SortDir* directory) try {
  if (directory) *directory = nullptr;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!directory) return kReport.BadParam(kSiteArgument, {"MC_InqBagImportanceSortDir"});
  *directory = reinterpret_cast<MC_SortDir>(bag->dirs.front());
  return 0;
} TV_CATCH(MC_PackageNumber)
