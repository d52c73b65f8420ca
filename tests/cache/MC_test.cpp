// The frame cache's rules: importance, checkout conflicts, receipts, purging,
// deletion, directories and the package frame.
#include <string>
#include <vector>

#include "MC_test_support.h"

namespace tv::test {
namespace {

class MCRules : public MCFixture {};

constexpr LocationCode Loc(uint32_t site) { return (uint32_t{MC_PackageNumber} << 24) | site; }

TEST_F(MCRules, ImportanceOfCostUsesAndAge) {
  uint32_t i = Add(MC_GlobalBag, 1, 60);
  for (int n = 0; n < 10; ++n) ASSERT_EQ(MC_CheckinStuff(MC_Checkin_NotAUse, CheckOut(i)), 0);  // the age keeps growing
  for (int k = 0; k < 5; ++k) Add(MC_GlobalBag, 100 + k);
  MC_Stuff s = Info(MC_GlobalBag, i);
  EXPECT_EQ(s.useCount, 10u);
  EXPECT_EQ(OUT(MC_CalcImportance, &s), 6.0f);
  // A counted checkin makes it the youngest.
  ASSERT_EQ(MC_CheckinStuff(0, CheckOut(i)), 0);
  s = Info(MC_GlobalBag, i);
  EXPECT_EQ(OUT(MC_CalcImportance, &s), 10.0f + 1.1f);
}

std::vector<int32_t> gPurged;
ErrorCode RecordPurge(intptr_t, MC_Bag bag, uint32_t index, int32_t, int32_t* decision) {
  MC_Stuff s{};
  MC_GetStuffInfo(bag, index, &s);
  gPurged.push_back(KeyOf(&s));
  *decision = MC_Purge_Remove;
  return 0;
}

TEST_F(MCRules, FreeingPurgesLeastImportantFirstAndKeepsNeverPurge) {
  gPurged.clear();
  // cost 600 ticks = importance 100; the age (about 10 transactions) does not reorder them.
  const int32_t costs[] = {600, 0, 1200, 60, 3000, 6};
  for (int k = 0; k < 6; ++k) Add(MC_GlobalBag, k, costs[k], 0, 0, 0, &RecordPurge);
  Add(MC_GlobalBag, 90, 0, MC_Stuff_NeverPurge, 0, 0, &RecordPurge);
  Add(MC_GlobalBag, 91, 0, MC_Stuff_NeverPurge, 0, 0, &RecordPurge);
  EXPECT_EQ(OUT(MC_FreeUpSomeMemory, MC_GlobalBag, INT64_MAX), MC_Freed_Some);
  EXPECT_EQ(gPurged, (std::vector<int32_t>{1, 5, 3, 0, 2, 4}));
  EXPECT_EQ(Tally(), (std::vector<int64_t>{2, 0, 0, 0, 6}));
  // Nothing wanted: nothing purged, enough room.
  EXPECT_EQ(OUT(MC_FreeUpSomeMemory, MC_GlobalBag, INT64_MIN), MC_Freed_Enough);
}

TEST_F(MCRules, CheckoutConflicts) {
  uint32_t i = Add(MC_GlobalBag, 1);
  MC_Receipt a = CheckOut(i), b = CheckOut(i), c = nullptr;
  EXPECT_EQ(std::tuple(Info(MC_GlobalBag, i).checkouts, Info(MC_GlobalBag, i).useCount), std::tuple(2u, 2u));
  rec.clear();
  EXPECT_EQ(MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadWrite, i, nullptr, &c), MC_ErrCheckoutRefused);
  EXPECT_EQ(c, nullptr);
  ExpectOneReport(0x18, kSevFailure, "Test: cannot check-out read/write already checked-out item (3A04).");
  Boolean32 got = 1;
  EXPECT_EQ(MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadWrite, i, &got, &c), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(rec.reports.size(), 1u);  // silent
  ASSERT_EQ(MC_CheckinStuff(0, a), 0);
  ASSERT_EQ(MC_CheckinStuff(0, b), 0);
  ASSERT_EQ(MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadWrite, i, &got, &c), 0);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadOnly, i, nullptr, &a), MC_ErrCheckoutRefused);
  EXPECT_EQ(rec.last().text, "Test: cached item already checked-out read/write (3A04).");
  ASSERT_EQ(MC_CheckinStuff(0, c), 0);
  EXPECT_EQ(std::tuple(Info(MC_GlobalBag, i).useCount, Info(MC_GlobalBag, i).flags & MC_Stuff_CheckedOutRW),
            std::tuple(3u, 0u));
}

TEST_F(MCRules, ReceiptIsRefusedAfterCheckin) {
  uint32_t i = Add(MC_GlobalBag, 1);
  MC_Receipt r = CheckOut(i);
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  // The next receipt never takes the old one's token.
  MC_Receipt again = CheckOut(i);
  rec.clear();
  EXPECT_EQ(MC_CheckinStuff(0, r), kErrDamaged);
  ExpectOneReport(0x17, kSevFatal,
                  "Test can't continue:  internal structure damaged (cache check-out receipt) -- internal structure "
                  "damaged.");
  ASSERT_EQ(MC_CheckinStuff(0, again), 0);
  EXPECT_EQ(Info(MC_GlobalBag, i).checkouts, 0u);
}

ErrorCode Release(intptr_t, MC_Bag bag, uint32_t index, int32_t, int32_t* decision) {
  MC_Stuff s{};
  MC_GetStuffInfo(bag, index, &s);
  FrameBlock* b = Block(s.id);
  DisposeHandle(b->data);
  b->data = nullptr;
  *decision = MC_Purge_Released;
  return 0;
}

TEST_F(MCRules, PurgingSkipsCheckedOutAndNeverPurge) {
  uint32_t out = Add(MC_GlobalBag, 1, 0, 0, 1000, 1);
  uint32_t never = Add(MC_GlobalBag, 2, 0, MC_Stuff_NeverPurge, 1000, 2);
  uint32_t released = Add(MC_GlobalBag, 3, 0, 0, 1000, 3, &Release);
  EXPECT_EQ(Stats().bytes, 3000);
  MC_Receipt r = CheckOut(out);
  ASSERT_EQ(MC_PurgeAllPurgeableStuffsFromBag(MC_GlobalBag), 0);
  EXPECT_EQ(Tally(), (std::vector<int64_t>{3, 2000, 0, 0, 1}));  // the released one stays as an entry
  EXPECT_EQ(Info(MC_GlobalBag, released).bytes, 0);
  EXPECT_TRUE(FrameHolds(Block(Info(MC_GlobalBag, out).id)->data, 1));
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  ASSERT_EQ(MC_PurgeAllPurgeableStuffsFromBag(MC_GlobalBag), 0);
  EXPECT_EQ(Stats().entries, 2);
  EXPECT_EQ(Info(MC_GlobalBag, never).bytes, 1000);
}

TEST_F(MCRules, CheckinFlags) {
  uint32_t i = Add(MC_GlobalBag, 1);
  const uint32_t created = Info(MC_GlobalBag, i).lastUse;
  ASSERT_EQ(MC_CheckinStuff(MC_Checkin_NotAUse, CheckOut(i)), 0);
  EXPECT_EQ(Info(MC_GlobalBag, i).lastUse, created);
  const uint32_t now = OUT(MC_GetCurrentTransactionCount);
  ASSERT_EQ(MC_CheckinStuff(0, CheckOut(i)), 0);
  EXPECT_EQ(Info(MC_GlobalBag, i).lastUse, now + 1);
  ASSERT_EQ(MC_CheckinStuff(MC_Checkin_Delete, CheckOut(i)), 0);
  EXPECT_EQ(Stats().entries, 0);
  MC_Stuff s{};
  EXPECT_EQ(MC_GetStuffInfo(MC_GlobalBag, i, &s), kErrRange);
}

TEST_F(MCRules, DeleteRefusedWhileCheckedOutAndSlotsAreReused) {
  uint32_t a = Add(MC_GlobalBag, 1), b = Add(MC_GlobalBag, 2);
  MC_Receipt r = CheckOut(a);
  rec.clear();
  EXPECT_EQ(MC_DeleteStuffByID(MC_GlobalBag, a), MC_ErrDeleteCheckedOut);
  ExpectOneReport(0x0E, kSevFailure, "Test: cannot dispose checked-out cached item (3A03).");
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  ASSERT_EQ(MC_DeleteStuffByID(MC_GlobalBag, b), 0);
  ASSERT_EQ(MC_DeleteStuffByID(MC_GlobalBag, a), 0);
  EXPECT_EQ(Add(MC_GlobalBag, 3), a);  // the head of the free list
  EXPECT_EQ(Add(MC_GlobalBag, 4), b);
  EXPECT_EQ(Add(MC_GlobalBag, 5), 2u);
  rec.clear();
  EXPECT_EQ(MC_CheckoutByID(MC_GlobalBag, MC_Checkout_ReadOnly, 7, nullptr, &r), kErrRange);
}

TEST_F(MCRules, KeyedLookupAndReadWriteLeavesDirectories) {
  MC_SortDir dir = OUT(MC_NewSortDir, MC_GlobalBag, &ByKey, 0);
  for (int32_t k : {30, 10, 20}) ASSERT_EQ(MC_AddStuffToSortDir(dir, Add(MC_GlobalBag, k)), 0);
  VAL_Value key = Frame(20);
  Boolean32 got = 0;
  uint32_t index = 0;
  MC_Receipt rw = nullptr, r = nullptr;
  ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadWrite, &key, &got, &index, &rw), 0);
  EXPECT_EQ(std::tuple(got, index), std::tuple(1, 2u));
  // Out of every directory while it changes: neither found nor purged.
  ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &key, &got, &index, &r), 0);
  EXPECT_EQ(std::tuple(got, index), std::tuple(0, MC_NoIndex));
  ASSERT_EQ(MC_PurgeAllPurgeableStuffsFromBag(MC_GlobalBag), 0);
  EXPECT_EQ(Stats().entries, 1);
  // The holder renames it; the checkin puts it back in order.
  VAL_Value renamed = Frame(40);
  ASSERT_EQ(MC_SetReceiptValue(rw, &renamed), 0);
  ASSERT_EQ(MC_CheckinStuff(0, rw), 0);
  EXPECT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &key, &got, &index, &r), 0);
  EXPECT_EQ(got, 0);
  VAL_Value key40 = Frame(40);
  ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &key40, &got, &index, &r), 0);
  EXPECT_EQ(got, 1);
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  EXPECT_EQ(std::tuple(Stats().hits, Stats().misses), (std::tuple<int64_t, int64_t>(2, 2)));
  // A read/write checkin puts a stuff back only where it was taken from.
  ASSERT_EQ(MC_CheckinStuff(0, CheckOut(Add(MC_GlobalBag, 50), MC_Checkout_ReadWrite)), 0);
  VAL_Value key50 = Frame(50);
  ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &key50, &got, &index, &r), 0);
  EXPECT_EQ(got, 0);
  VAL_DisposeValue(&key50);
  // Without `got` a miss is reported.
  rec.clear();
  EXPECT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &key, nullptr, nullptr, &r), kErrRange);
  EXPECT_EQ(rec.last().text, "Test error: cache item not found -- internal value out of range.");
  // A directory disposed during a read/write checkout: the checkin says so.
  ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadWrite, &key40, &got, &index, &rw), 0);
  ASSERT_EQ(MC_DisposeSortDir(dir), 0);
  rec.clear();
  ASSERT_EQ(MC_CheckinStuff(0, rw), 0);
  ExpectOneReport(0x0B, kSevFailure, "Test: unable to add cached item to disposed sort directory");
  EXPECT_EQ(MC_AddStuffToSortDir(dir, index), kErrDamaged);
  VAL_DisposeValue(&key);
  VAL_DisposeValue(&key40);
}

int32_t gNestedResult = -1;
ErrorCode NestedFree(intptr_t, MC_Bag, uint32_t, int32_t, int32_t* decision) {
  MC_FreeUpSomeMemory(MC_GlobalBag, INT64_MAX, &gNestedResult);
  *decision = 0;
  return 0;
}

TEST_F(MCRules, FreeingInsideAnotherOperationDoesNothing) {
  Add(MC_GlobalBag, 1, 0, 0, 0, 0, &NestedFree);
  Add(MC_GlobalBag, 2);
  gNestedResult = -1;
  ASSERT_EQ(MC_PurgeAllPurgeableStuffsFromBag(MC_GlobalBag), 0);
  EXPECT_EQ(gNestedResult, MC_Freed_Nothing);
  EXPECT_EQ(Stats().entries, 1);  // only the other one went, by PurgeAll itself
  EXPECT_EQ(MC_GrowZone(1 << 20), 0);
}

TEST_F(MCRules, BagsAndDiskCacheInfo) {
  MC_Bag bag = OUT(MC_NewBag, 4, 2);
  EXPECT_FALSE(OUT(MC_IsGlobalBag, bag));
  EXPECT_TRUE(OUT(MC_IsGlobalBag, MC_GlobalBag));
  ASSERT_EQ(MC_SetBagDiskCacheInfo(bag, 5, 6), 0);
  rec.clear();
  EXPECT_EQ(MC_SetBagDiskCacheInfo(bag, 7, 8), kErrUnimplemented);
  ExpectOneReport(0x09, kSevError, "Test error: cannot resize or move disk cache -- sorry, this is unimplemented.");
  uint32_t a = 0, b = 0;
  ASSERT_EQ(MC_InqBagDiskCacheInfo(bag, &a, &b), 0);
  EXPECT_EQ(std::tuple(a, b), std::tuple(5u, 6u));
  uint32_t i = Add(bag, 1, 0, 0, 100);
  MC_Receipt r = CheckOut(i, 0, bag);
  EXPECT_EQ(MC_DisposeBag(bag), kErrBadParam);
  EXPECT_EQ(rec.last().text, "Test error: disposing non-empty cache -- a bad parameter was passed.");
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  EXPECT_EQ(MC_DisposeSortDir(OUT(MC_InqBagImportanceSortDir, bag)), kErrBadParam);
  EXPECT_EQ(rec.last().text, "Test error: unable to dispose importance sort directory -- a bad parameter was passed.");
  ASSERT_EQ(MC_DisposeBag(bag), 0);  // its stuff goes with it
  rec.clear();
  EXPECT_EQ(MC_CheckBag(bag), kErrDamaged);
  EXPECT_EQ(rec.last().text, "Test error:  internal structure damaged (bag) -- internal structure damaged.");
  EXPECT_EQ(MC_CheckoutByID(bag, 0, i, nullptr, &r), kErrDamaged);
  EXPECT_EQ(MC_DisposeBag(MC_GlobalBag), kErrBadParam);
  EXPECT_EQ(rec.last().text, "Test error: cannot dispose the global cache -- a bad parameter was passed.");
  VAL_Value v = Frame(9);
  EXPECT_EQ(MC_AddStuff(MC_GlobalBag, MC_Stuff_MayGoToDisk, &v, 0, nullptr, 0, nullptr, nullptr, 0, &i), kErrBadParam);
  EXPECT_EQ(i, MC_NoIndex);
  VAL_DisposeValue(&v);  // still the caller's
}

TEST_F(MCRules, DeathReportsUnbalancedCheckoutsAndGlobalData) {
  MC_Receipt r = CheckOut(Add(MC_GlobalBag, 1, 0, 0, 4096));
  rec.clear();
  ASSERT_EQ(MC_Death(), 0);
  ExpectOneReport(0x02, kSevWarning, "Test warning: memory inefficiency due to 1 unbalanced cache checkouts");
  uint32_t count = 7;
  EXPECT_EQ(MC_GetCurrentTransactionCount(&count), kErrDamaged);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(rec.last().location, Loc(0x1E));
  EXPECT_EQ(rec.last().severity, kSevFatal);
  EXPECT_EQ(rec.last().text, "Test can't continue:  internal structure damaged (global data) -- internal structure damaged.");
  EXPECT_EQ(MC_CheckinStuff(0, r), kErrDamaged);
  ASSERT_EQ(MC_Birth(0, 0), 0);  // the fixture kills it
}

}  // namespace
}  // namespace tv::test
