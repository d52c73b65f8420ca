// MC's package frame: the text table, the reporter, birth and death, the
// transaction counter and the registry look-ups every operation starts with.
#include "MC_internal.h"

STR_Table MCp_G_STRs = {};

namespace tv::mc {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextBag, "bag to store cached items"},
    {kTextDamaged, "internal structure damaged"},
    {kTextDamagedBag, " %s (bag)"},
    {kTextDamagedDir, " %s (cache sort directory)"},
    {kTextDamagedGlobal, " %s (global data)"},
    {kTextNonEmpty, "disposing non-empty cache"},
    {kTextDisposeGlobal, "cannot dispose the global cache"},
    {kTextDiskCache, "cannot resize or move disk cache"},
    {kTextSortDir, "cache sort directory"},
    {kTextDeleteCheckedOut, "cannot dispose checked-out cached item"},
    {kTextAlreadyRW, "cached item already checked-out read/write"},
    {kTextCannotRW, "cannot check-out read/write already checked-out item"},
    {kTextDamagedReceipt, " %s (cache check-out receipt)"},
    {kTextReceipt, "cache check-out receipt"},
    {kTextSearchImportance, "unable to search importance sort directory"},
    {kTextDisposedDir, "unable to add cached item to disposed sort directory"},
    {kTextNotFound, "cache item not found"},
    {kTextDisposeImportance, "unable to dispose importance sort directory"},
    {kTextDisposedSlot, "cached item disposed inappropriately."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextUnbalanced, "memory inefficiency due to %ld unbalanced cache checkouts"},
    {kTextMissingDiskProcs, "a cached item that may go to disk needs both disk procedures"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(MC_PackageNumber);
State gState;

constexpr uint32_t kGlobalBlockSize = 64;
constexpr uint32_t kGlobalBlocks = 8;

}  // namespace

constinit const pkg::Reporter kReport{.number = MC_PackageNumber,
                                      .table = &MCp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument};

State& G() { return gState; }
bool Alive() { return gState.mark == kPackageMark; }

uint64_t NewToken(Kind kind) { return (static_cast<uint64_t>(kind) << 56) | gState.nextSerial++; }

ErrorCode CheckAlive() {
  if (Alive()) return 0;
  return kReport.Report(kSiteGlobalData, kSevFatal, kErrDamaged, kTextDamagedGlobal, {kReport.Text(kTextDamaged)});
}

ErrorCode FindBag(MC_Bag token, Bag** bag) {
  *bag = nullptr;
  if (ErrorCode err = CheckAlive()) return err;
  if (token == MC_GlobalBag) {
    *bag = gState.global;
    return 0;
  }
  auto it = gState.bags.find(reinterpret_cast<uint64_t>(token));
  if (it == gState.bags.end() || it->second->mark != kBagMark)
    return kReport.Report(kSiteBag, kSevError, kErrDamaged, kTextDamagedBag, {kReport.Text(kTextDamaged)});
  *bag = it->second.get();
  return 0;
}

ErrorCode FindDir(MC_SortDir token, Dir** dir) {
  *dir = nullptr;
  if (ErrorCode err = CheckAlive()) return err;
  Dir* d = DirOf(reinterpret_cast<uint64_t>(token));
  if (!d) return kReport.Report(kSiteSortDir, kSevError, kErrDamaged, kTextDamagedDir, {kReport.Text(kTextDamaged)});
  *dir = d;
  return 0;
}

ErrorCode FindStuff(Bag& bag, uint32_t index, uint32_t site) {
  if (index >= bag.stuffs.size() || (bag.stuffs[index].flags & MC_Stuff_Free))
    return kReport.Report(site, kSevError, kErrRange, kTextNotFound);
  return 0;
}

}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

TV_PACKAGE_VERSION_OPS(MC, MC_PackageNumber)

ErrorCode MC_Birth(intptr_t value1, intptr_t value2) try {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  State& g = G();
  g.value1 = value1;
  g.value2 = value2;
  g.transactions = 0;
  g.nesting = 0;
  g.mark = kPackageMark;
  Bag* global = nullptr;
  if (ErrorCode err = NewBag(kGlobalBlockSize, kGlobalBlocks, &global)) {
    g.mark = 0;
    gLife.SetAlive(false);
    return err;
  }
  g.global = global;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_Death(void) try {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  State& g = G();
  if (!g.receipts.empty())
    kReport.Note(kSiteDeath, kSevWarning, kTextUnbalanced, {static_cast<int32_t>(g.receipts.size())});
  for (auto& [token, r] : g.receipts)
    if (r.hasNewValue) VAL_DisposeValue(&r.newValue);
  g.receipts.clear();
  // Bags go with their stuffs and directories; the registry is emptied.
  while (!g.bags.empty()) DestroyBag(*g.bags.begin()->second);
  g.dirs.clear();
  g.global = nullptr;
  g.mark = 0;
  gLife.SetAlive(false);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_GetCurrentTransactionCount(uint32_t* count) try {
  if (count) *count = 0;
  if (ErrorCode err = CheckAlive()) return err;
  if (!count) return kReport.BadParam(kSiteArgument, {"MC_GetCurrentTransactionCount"});
  *count = G().transactions;
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_NoteLookup(MC_Bag bagToken, Boolean32 hit) try {
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(bagToken, &bag)) return err;
  ++(hit ? bag->hits : bag->misses);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_GetStatistics(MC_Bag bagToken, MC_Statistics* stats) try {
  if (stats) *stats = MC_Statistics{};
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(bagToken, &bag)) return err;
  if (!stats) return kReport.BadParam(kSiteArgument, {"MC_GetStatistics"});
  stats->entries = bag->count;
  stats->bytes = bag->bytes;
  stats->hits = bag->hits;
  stats->misses = bag->misses;
  stats->purges = bag->purges;
  return 0;
} TV_CATCH(MC_PackageNumber)
