// Checkout and checkin: the conflict rules, receipts, keyed look-ups and
// the transaction bookkeeping of a checkin.
#include <algorithm>

#include "MC_internal.h"

namespace tv::mc {
namespace {

ErrorCode Checkout(Bag& bag, int32_t mode, uint32_t index, Boolean32* got, MC_Receipt* receipt) {
  MC_Stuff& s = bag.stuffs[index];
  if (s.flags & MC_Stuff_Free) return kReport.Report(kSiteCheckout, kSevError, 1, kTextDisposedSlot);
  const bool readWrite = !(mode & MC_Checkout_ReadOnly);
  int32_t refusal = -1;
  if (s.flags & MC_Stuff_CheckedOutRW) refusal = kTextAlreadyRW;
  else if (readWrite && s.checkouts > 0) refusal = kTextCannotRW;
  if (refusal >= 0) {
    if (got) return 0;
    return kReport.Report(kSiteCheckout, kSevFailure, MC_ErrCheckoutRefused, refusal);
  }
  State& g = G();
  Receipt r;
  r.bag = bag.token;
  r.index = index;
  r.readWrite = readWrite;
  if (readWrite) {
    // The directories it leaves, and only those, take it back at checkin.
    for (uint64_t t : bag.dirs)
      if (Dir* d = DirOf(t); d && InDir(*d, index)) r.dirs.push_back(t);
  }
  const uint64_t token = NewToken(Kind::Receipt);
  g.receipts.emplace(token, std::move(r));
  // Nothing below can fail: the counts change only once the receipt exists.
  ++s.useCount;
  ++s.checkouts;
  if (readWrite) {
    // Out of every directory, so that nobody finds or purges it while it changes.
    for (uint64_t t : bag.dirs)
      if (Dir* d = DirOf(t)) RemoveFromDir(*d, index);
    s.flags |= MC_Stuff_CheckedOutRW;
  }
  if (got) *got = 1;
  *receipt = reinterpret_cast<MC_Receipt>(token);
  return 0;
}

// A keyed search: the index of a stuff equal to the key, or kNoIndex.
uint32_t Search(const Dir& d, const VAL_Value& key) {
  MC_Stuff probe{};
  probe.id = key;
  const std::vector<MC_Stuff>& s = d.bag->stuffs;
  const uint32_t now = G().transactions;
  size_t lo = 0, hi = d.order.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const uint32_t i = d.order[mid];
    const int32_t c = d.compare ? d.compare(d.reference, &s[i], &probe) : CompareImportance(s[i], probe, now);
    if (c == 0) return i;
    if (c < 0) lo = mid + 1;
    else hi = mid;
  }
  return kNoIndex;
}

ErrorCode DamagedReceipt() {
  return kReport.Report(kSiteDamaged, kSevFatal, kErrDamaged, kTextDamagedReceipt, {kReport.Text(kTextDamaged)});
}

}  // namespace
}  // namespace tv::mc

using namespace tv;
using namespace tv::mc;

ErrorCode MC_CheckoutByID(MC_Bag token, int32_t mode, uint32_t index, Boolean32* got, MC_Receipt* receipt) try {
  if (got) *got = 0;
  if (receipt) *receipt = nullptr;
  Bag* bag = nullptr;
  if (ErrorCode err = FindBag(token, &bag)) return err;
  if (!receipt) return kReport.BadParam(kSiteArgument, {"MC_CheckoutByID"});
  if (index >= bag->stuffs.size()) return kReport.Report(kSiteCheckout, kSevError, kErrRange, kTextNotFound);
  Nest nest;
  return Checkout(*bag, mode, index, got, receipt);
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_CheckoutBySortDir(MC_SortDir token, int32_t mode, const VAL_Value* key, Boolean32* got, uint32_t* index,
                               MC_Receipt* receipt) try {
  if (got) *got = 0;
  if (index) *index = kNoIndex;
  if (receipt) *receipt = nullptr;
  Dir* d = nullptr;
  if (ErrorCode err = FindDir(token, &d)) return err;
  if (!key || !receipt) return kReport.BadParam(kSiteArgument, {"MC_CheckoutBySortDir"});
  Nest nest;
  Bag& bag = *d->bag;
  const uint32_t found = Search(*d, *key);
  if (found == kNoIndex) {
    ++bag.misses;
    if (got) return 0;
    return kReport.Report(kSiteCheckout, kSevError, kErrRange, kTextNotFound);
  }
  ErrorCode err = Checkout(bag, mode, found, got, receipt);
  if (!err && *receipt) {
    ++bag.hits;
    if (index) *index = found;
  }
  return err;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_CheckinStuff(uint32_t flags, MC_Receipt token) try {
  if (!Alive()) return DamagedReceipt();
  State& g = G();
  auto it = g.receipts.find(reinterpret_cast<uint64_t>(token));
  if (it == g.receipts.end() || it->second.mark != kReceiptMark) return DamagedReceipt();
  auto bagIt = g.bags.find(it->second.bag);
  if (bagIt == g.bags.end() || bagIt->second->mark != kBagMark) return DamagedReceipt();
  Receipt r = std::move(it->second);
  g.receipts.erase(it);
  Bag& bag = *bagIt->second;
  Nest nest;
  MC_Stuff& s = bag.stuffs[r.index];
  if (r.readWrite) {
    if (r.hasNewValue) {
      // The holder gave the stuff a new identifying value.
      VAL_Value old = s.id;
      s.id = r.newValue;
      bag.bytes -= s.bytes;
      s.bytes = BytesOf(s);
      bag.bytes += s.bytes;
      VAL_DisposeValue(&old);
    }
    s.flags &= ~static_cast<uint32_t>(MC_Stuff_CheckedOutRW);
    for (uint64_t t : r.dirs) {
      Dir* d = DirOf(t);
      if (!d) {
        kReport.Note(kSiteCheckin, kSevFailure, kTextDisposedDir);
        continue;
      }
      InsertSorted(*d, r.index);
    }
  }
  if (!(flags & MC_Checkin_NotAUse)) bag.stuffs[r.index].lastUse = ++g.transactions;
  --bag.stuffs[r.index].checkouts;
  if (flags & MC_Checkin_Delete) return DeleteStuff(bag, r.index);
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_InqReceipt(MC_Receipt token, MC_Bag* bag, uint32_t* index, MC_Stuff* stuff) try {
  if (bag) *bag = nullptr;
  if (index) *index = kNoIndex;
  if (stuff) *stuff = MC_Stuff{};
  if (!Alive()) return DamagedReceipt();
  auto it = G().receipts.find(reinterpret_cast<uint64_t>(token));
  if (it == G().receipts.end()) return DamagedReceipt();
  auto bagIt = G().bags.find(it->second.bag);
  if (bagIt == G().bags.end()) return DamagedReceipt();
  const Bag& b = *bagIt->second;
  if (bag) *bag = BagToken(b);
  if (index) *index = it->second.index;
  if (stuff) *stuff = b.stuffs[it->second.index];
  return 0;
} TV_CATCH(MC_PackageNumber)

ErrorCode MC_SetReceiptValue(MC_Receipt token, VAL_Value* id) try {
  if (!Alive()) return DamagedReceipt();
  auto it = G().receipts.find(reinterpret_cast<uint64_t>(token));
  if (it == G().receipts.end()) return DamagedReceipt();
  if (!id || !it->second.readWrite) return kReport.BadParam(kSiteArgument, {"MC_SetReceiptValue"});
  Receipt& r = it->second;
  if (r.hasNewValue) VAL_DisposeValue(&r.newValue);
  r.newValue = *id;
  r.hasNewValue = true;
  *id = VAL_Value{};
  return 0;
} TV_CATCH(MC_PackageNumber)
