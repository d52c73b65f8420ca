// Lists: making and disposing, item functions, locking, growth and compaction.
#include <cstring>

#include "LIST_test_support.h"

namespace tv::listtest {
namespace {

const std::string kTooMany = "resizing list (too many items) -- internal value out of range.";
const std::string kBadParam = "unknown error (3) -- a bad parameter was passed.";

using ListCore = ListTest;

TEST_F(ListCore, NewMakesAnEmptyListOrRefusesItsSizes) {
  LIST_Handle list = nullptr;
  ASSERT_EQ(LIST_New(0, 12, 8, 3, &list), 0);
  EXPECT_EQ(Count(list), 0);
  Boolean32 empty = 0;
  EXPECT_EQ(LIST_IsEmpty(list, &empty), 0);
  EXPECT_TRUE(empty);
  EXPECT_EQ(Capacity(list), 24);
  EXPECT_EQ(GetHandleSize(list), HeaderBytes() + 25 * 12);
  EXPECT_EQ(Dispose(list, 0), 0);
  EXPECT_EQ(LIST_Dispose(nullptr, 0), 0);
  rec.ExpectNone();
  // Sizes below one, blocks below zero; 2,000,000,001 items; and 16 x 300
  // million bytes, which a 32-bit size would have wrapped to a small block.
  struct Case { int32_t itemSize, blockSize, blocks; ErrorCode code; };
  for (Case c : {Case{0, 4, 1, kErrBadParam}, Case{4, 0, 1, kErrBadParam}, Case{4, 4, -1, kErrBadParam},
                 Case{-4, 4, 1, kErrBadParam}, Case{1, 2000000001, 1, kErrRange}, Case{16, 1000000, 300, kErrRange}}) {
    list = reinterpret_cast<LIST_Handle>(this);
    EXPECT_EQ(LIST_New(0, c.itemSize, c.blockSize, c.blocks, &list), c.code);
    EXPECT_EQ(list, nullptr);
    ExpectOneReport(LIST_SiteNew, c.code == kErrRange ? kTooMany : kBadParam);
  }
}

TEST_F(ListCore, DisposeCallsTheDisposeFunctionInOrderAndStopsAtTheFirstFailure) {
  for (int32_t failOn : {INT32_MIN, 6}) {
    LIST_Handle list = Ints({5, 6, 7});
    ASSERT_EQ(InstallCounting(list), 0);
    Calls calls;
    calls.failDisposeOf = failOn;
    EXPECT_EQ(Dispose(list, calls.data()), failOn == 6 ? 0x4343 : 0);
    EXPECT_EQ(calls.disposed, (failOn == 6 ? std::vector<int32_t>{5, 6} : std::vector<int32_t>{5, 6, 7}));
  }
  // The fixture checks that both lists are gone.
}

TEST_F(ListCore, DuplicateCopiesThroughTheCopyFunction) {
  LIST_Handle list = Ints({1, 2, 3});
  LIST_SetUserLong(list, 77);
  ASSERT_EQ(InstallCounting(list), 0);
  Calls calls;
  LIST_Handle copy = nullptr;
  ASSERT_EQ(LIST_Duplicate(list, calls.data(), &copy), 0);
  EXPECT_EQ(calls.copies, 3);
  EXPECT_EQ(Items(copy), (std::vector<int32_t>{1001, 1002, 1003}));
  EXPECT_EQ(Capacity(copy), Capacity(list));
  int32_t user = 0;
  LIST_GetUserLong(copy, &user);
  EXPECT_EQ(user, 77);
  // Neither list stays busy.
  EXPECT_EQ(LIST_Remove(0, list, calls.data(), nullptr), 0);
  EXPECT_EQ(LIST_Remove(0, copy, calls.data(), nullptr), 0);
  Dispose(list, calls.data());
  Dispose(copy, calls.data());
  EXPECT_EQ(calls.disposed.size(), 6u);
  // Without a copy function the bytes are copied.
  LIST_Handle a = Ints({1, 2}), b = nullptr;
  ASSERT_EQ(LIST_Duplicate(a, 0, &b), 0);
  EXPECT_EQ(Items(Own(b)), Items(a));
}

TEST_F(ListCore, FailedDuplicateDisposesWhatItCopied) {
  LIST_Handle list = Ints({1, 2, 3, 4});
  ASSERT_EQ(InstallCounting(list), 0);
  Calls calls;
  calls.failCopyAt = 2;
  LIST_Handle copy = reinterpret_cast<LIST_Handle>(this);
  EXPECT_EQ(LIST_Duplicate(list, calls.data(), &copy), 0x4242);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(calls.copies, 2);
  EXPECT_EQ(calls.disposed, (std::vector<int32_t>{1001, 1002}));
  calls.disposed.clear();
  Dispose(list, calls.data());
  EXPECT_EQ(calls.disposed, (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(ListCore, CloneIsEmptyWithTheSameShapeAndFunctions) {
  LIST_Handle list = Ints({1, 2, 3, 4, 5, 6, 7, 8, 9}, 4, 2, LIST_FlagNoCompact);
  LIST_SetUserLong(list, -5);
  ASSERT_EQ(InstallCounting(list), 0);
  LIST_Handle clone = nullptr;
  ASSERT_EQ(LIST_Clone(list, &clone), 0);
  EXPECT_EQ(Count(clone), 0);
  EXPECT_EQ(Capacity(clone), 8);  // the minimum blocks
  int32_t user = 0;
  LIST_GetUserLong(clone, &user);
  EXPECT_EQ(user, -5);
  LIST_Func a[3], b[3];
  LIST_GetFuncs(list, a);
  LIST_GetFuncs(clone, b);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a[i], b[i]);
  // The no-compaction flag came along: removing keeps the blocks.
  for (int32_t v = 0; v < 9; ++v) LIST_Insert(&v, -1, clone);
  Calls calls;
  LIST_RemoveRange(0, -1, clone, calls.data());
  EXPECT_EQ(Capacity(clone), 12);
  Dispose(clone, calls.data());
  Dispose(list, calls.data());
}

int32_t ByValueCompare(intptr_t, LIST_Handle, intptr_t a, intptr_t b) { return a < b ? -1 : a > b; }

TEST_F(ListCore, FunctionSlotsLeaveRemoveAndInstall) {
  LIST_Handle list = Ints({});
  LIST_Func funcs[3] = {tv::list::AsFunc(&CountingCopy), tv::list::AsFunc(&CountingDispose), nullptr};
  ASSERT_EQ(LIST_SetFuncs(list, 2, funcs), 0);
  LIST_Func got[3];
  LIST_GetFuncs(list, got);
  EXPECT_EQ(std::vector(got, got + 3), (std::vector<LIST_Func>{funcs[0], funcs[1], nullptr}));
  // 0 leaves a slot, the sentinel removes it.
  LIST_Func change[3] = {nullptr, LIST_FUNC_REMOVE, nullptr};
  ASSERT_EQ(LIST_SetFuncs(list, 3, change), 0);
  LIST_GetFuncs(list, got);
  EXPECT_EQ(std::vector(got, got + 2), (std::vector<LIST_Func>{funcs[0], nullptr}));
  // A by-value function reads as the sentinel through LIST_GetFuncs.
  LIST_Func byValue[3] = {nullptr, nullptr, tv::list::AsFunc(&ByValueCompare)};
  ASSERT_EQ(LIST_Set4Funcs(list, 3, byValue), 0);
  LIST_GetFuncs(list, got);
  EXPECT_EQ(got[2], LIST_FUNC_REMOVE);
  LIST_Get4Funcs(list, got);
  EXPECT_EQ(got[2], byValue[2]);
  // n outside 0..3.
  EXPECT_EQ(LIST_SetFuncs(list, 4, funcs), kErrBadParam);
  ExpectOneReport(LIST_SiteSetFuncs, kBadParam);
}

TEST_F(ListCore, LocksNest) {
  LIST_Handle list = Ints({1, 2, 3, 4});  // full: the next insertion must grow
  ASSERT_EQ(LIST_Lock(LIST_LockInPlace, list), 0);
  ASSERT_EQ(LIST_Lock(LIST_LockHigh, list), 0);
  int32_t v = 9;
  EXPECT_EQ(LIST_Insert(&v, -1, list), LIST_ErrLocked);
  ExpectOneReport(LIST_SiteInsert, "cannot insert an item into a locked list (1B02).");
  EXPECT_EQ(LIST_Unlock(list), 0);
  EXPECT_EQ(LIST_Insert(&v, -1, list), LIST_ErrLocked);  // still locked once
  rec.clear();
  EXPECT_EQ(LIST_Unlock(list), 0);
  EXPECT_EQ(LIST_Insert(&v, -1, list), 0);
  EXPECT_EQ(LIST_Unlock(list), LIST_ErrUnlocked);
  ExpectOneReport(LIST_SiteUnlock, "cannot unlock an unlocked list (1B03).");
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 2, 3, 4, 9}));
  // A locked list can be disposed.
  ASSERT_EQ(LIST_Lock(LIST_LockHigh, list), 0);
  EXPECT_EQ(Dispose(list, 0), 0);
  rec.ExpectNone();
}

TEST_F(ListCore, GetAddressNeedsALockAndAPosition) {
  LIST_Handle list = Ints({1, 2, 3});
  void* address = reinterpret_cast<void*>(this);
  EXPECT_EQ(LIST_GetAddress(list, 0, 0, &address), LIST_ErrUnlocked);
  EXPECT_EQ(address, nullptr);
  ExpectOneReport(LIST_SiteGetAddress, "cannot get an item address from an unlocked list (1B03).");
  // A refused position gives back the lock the call took.
  EXPECT_EQ(LIST_GetAddress(list, 3, LIST_LockInPlace, &address), kErrRange);
  ExpectOneReport(LIST_SiteGetAddress, "attempt to get an item address from" + kOutside);
  EXPECT_EQ(LIST_Unlock(list), LIST_ErrUnlocked);
  rec.clear();
  ASSERT_EQ(LIST_GetAddress(list, -1, LIST_LockInPlace, &address), 0);
  EXPECT_EQ(*static_cast<int32_t*>(address), 3);
  EXPECT_EQ(LIST_Unlock(list), 0);
}

TEST_F(ListCore, NoCompactFlagKeepsBlocksUntilCompactIsCalled) {
  LIST_Handle list = Ints({}, 4, 1, LIST_FlagNoCompact);
  for (int32_t v = 0; v < 9; ++v) LIST_Insert(&v, -1, list);
  LIST_RemoveRange(1, -1, list, 0);
  EXPECT_EQ(Capacity(list), 12);
  // Compacting a locked list that must shrink is refused.
  LIST_Lock(LIST_LockInPlace, list);
  EXPECT_EQ(LIST_Compact(list), LIST_ErrLocked);
  ExpectOneReport(LIST_SiteCompact, "cannot compact a locked list (1B02).");
  LIST_Unlock(list);
  EXPECT_EQ(LIST_Compact(list), 0);
  EXPECT_EQ(Capacity(list), 4);
}

TEST_F(ListCore, ReserveSpaceAddsWholeBlocks) {
  LIST_Handle list = Ints({1, 2, 3}, 10);
  // 3 + 8 = 11 needed: one more block; 31 needed: two more.
  for (auto [n, capacity] : {std::pair{7, 10}, {8, 20}, {28, 40}, {-5, 40}}) {
    EXPECT_EQ(LIST_ReserveSpace(n, list), 0);
    EXPECT_EQ(Capacity(list), capacity) << n;
  }
  LIST_Lock(LIST_LockInPlace, list);
  EXPECT_EQ(LIST_ReserveSpace(100, list), LIST_ErrLocked);
  ExpectOneReport(LIST_SiteReserveSpace, "cannot reserve space in a locked list (1B02).");
  LIST_Unlock(list);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(ListCore, GrowthBeyondTheBlockRangeLeavesTheListUnchanged) {
  LIST_Handle list = nullptr;
  ASSERT_EQ(LIST_New(0, 16, 1000, 1, &list), 0);
  int32_t v[4] = {1, 2, 3, 4};
  LIST_Insert(v, -1, list);
  int64_t bytes = GetHandleSize(list);
  // 16 x 1.9e9 bytes: fewer than 2e9 items, more than a block holds.
  EXPECT_EQ(LIST_ReserveSpace(1900000000, list), kErrRange);
  ExpectOneReport(LIST_SiteReserveSpace, kTooMany);
  EXPECT_EQ(LIST_ReserveSpace(2000000000, list), kErrRange);
  ExpectOneReport(LIST_SiteReserveSpace, kTooMany);
  EXPECT_EQ(GetHandleSize(list), bytes);
  EXPECT_EQ(Count(Own(list)), 1);
}

TEST_F(ListCore, SetBlockSizeRecomputesTheBlocks) {
  LIST_Handle list = Ints({1, 2, 3, 4, 5}, 4, 2);  // capacity 8, minimum 2 blocks
  ASSERT_EQ(LIST_SetBlockSize(3, list), 0);        // ceil(8 / 3) = 3 blocks
  EXPECT_EQ(Capacity(list), 9);
  ASSERT_EQ(LIST_SetBlockSize(100, list), 0);  // max(1, minimum 2) blocks
  EXPECT_EQ(Capacity(list), 200);
  for (int32_t v = 6; v <= 201; ++v) LIST_Insert(&v, -1, list);
  EXPECT_EQ(Capacity(list), 300);
  EXPECT_EQ(LIST_SetBlockSize(0, list), kErrBadParam);
  ExpectOneReport(LIST_SiteSetBlockSize, kBadParam);
  LIST_Lock(LIST_LockInPlace, list);
  EXPECT_EQ(LIST_SetBlockSize(7, list), LIST_ErrLocked);
  ExpectOneReport(LIST_SiteSetBlockSize, "cannot adjust size of a locked list (1B02).");
  EXPECT_EQ(LIST_SetBlockSize(50, list), 0);  // 300 items stay 6 blocks of 50: no resize
  LIST_Unlock(list);
  EXPECT_EQ(Capacity(list), 300);
  EXPECT_EQ(Count(list), 201);
  EXPECT_EQ(Items(list).back(), 201);
}

TEST_F(ListCore, SetNumItemsGrowsWithZerosAndShrinksThroughDispose) {
  LIST_Handle list = Ints({1, 2, 3});
  ASSERT_EQ(LIST_SetNumItems(6, list, 0), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 2, 3, 0, 0, 0}));
  ASSERT_EQ(InstallCounting(list), 0);
  Calls calls;
  ASSERT_EQ(LIST_SetNumItems(2, list, calls.data()), 0);
  EXPECT_EQ(calls.disposed, (std::vector<int32_t>{0, 0, 0, 3}));  // from the end
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(Capacity(list), 4);
  EXPECT_EQ(LIST_SetNumItems(-1, list, 0), kErrRange);
  ExpectOneReport(LIST_SiteSetNumItems, kTooMany);
  EXPECT_EQ(LIST_SetNumItems(2000000001, list, 0), kErrRange);
  ExpectOneReport(LIST_SiteSetNumItems, kTooMany);
  Dispose(list, calls.data());
}

TEST_F(ListCore, DamagedMissingAndMisSizedListsAreRefused) {
  LIST_Handle list = Ints({1, 2, 3, 4});
  const std::string damaged = std::string("unknown error (2) -- ") + U_GetErrEnglish(kErrDamaged) + ".";
  uint32_t magic;
  std::memcpy(&magic, *list, 4);
  uint32_t bad = magic ^ 1;
  std::memcpy(*list, &bad, 4);
  int32_t n = 5;
  EXPECT_EQ(LIST_GetNumItems(list, &n), kErrDamaged);
  EXPECT_EQ(n, 0);
  ExpectOneReport(LIST_SiteAccessors, damaged);
  std::memcpy(*list, &magic, 4);
  EXPECT_EQ(LIST_Insert(&n, -1, nullptr), kErrBadParam);
  ExpectOneReport(LIST_SiteInsert, kBadParam);
  // A block shorter than its header says is damaged before it is resized.
  SetHandleSize(list, GetHandleSize(list) - 4);
  EXPECT_EQ(LIST_Insert(&n, -1, list), kErrDamaged);
  ExpectOneReport(LIST_SiteInsert, damaged);
  SetHandleSize(list, GetHandleSize(list) + 4);
  EXPECT_EQ(LIST_Insert(&n, -1, list), 0);
}

class ListMemory : public ListTest {
 protected:
  // The one out-of-memory report since the last clear: U's wording, severity 2.
  void ExpectOutOfMemory(uint32_t site) {
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].location, At(site));
    EXPECT_EQ(rec.reports[0].severity, tv::kSevFailure);
    EXPECT_NE(rec.reports[0].text.find("not enough memory to create list."), std::string::npos)
        << rec.reports[0].text;
    rec.clear();
  }
};

TEST_F(ListMemory, NewGrowthAndDuplicateWithoutMemoryLeaveEverythingAsItWas) {
  LIST_Handle list = Ints({1, 2, 3, 4});  // the string table is installed before the failures start
  EMUL_InjectAllocationFailures(0, -1);
  LIST_Handle made = reinterpret_cast<LIST_Handle>(this), copy = made;
  EXPECT_EQ(LIST_New(0, 4, 4, 1, &made), kErrOutOfMemory);
  EXPECT_EQ(made, nullptr);
  ExpectOutOfMemory(LIST_SiteNew);
  int32_t v = 5;
  EXPECT_EQ(LIST_Insert(&v, 0, list), kErrOutOfMemory);
  ExpectOutOfMemory(LIST_SiteInsert);
  EXPECT_EQ(LIST_ReserveSpace(10, list), kErrOutOfMemory);
  rec.clear();
  EXPECT_EQ(LIST_Duplicate(list, 0, &copy), kErrOutOfMemory);
  EXPECT_EQ(copy, nullptr);
  ExpectOutOfMemory(LIST_SiteDuplicate);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(Capacity(list), 4);
  EXPECT_EQ(LIST_Insert(&v, 0, list), 0);
}

int32_t CompareHigh(intptr_t, LIST_Handle, const void* a, const void* b) {
  int16_t x, y;
  std::memcpy(&x, static_cast<const char*>(a) + 2, 2);
  std::memcpy(&y, static_cast<const char*>(b) + 2, 2);
  return x < y ? -1 : (x > y ? 1 : 0);
}

TEST_F(ListMemory, SortingWithoutMemoryGivesTheSameOrder) {
  std::vector<int32_t> values;
  for (int32_t i = 0; i < 300; ++i) values.push_back(((i * 7919) % 13) << 16 | i);
  LIST_Handle a = Ints(values, 64), b = Ints(values, 64);
  ASSERT_EQ(LIST_Sort(&CompareHigh, 0, a), 0);
  EMUL_InjectAllocationFailures(0, -1);
  ASSERT_EQ(LIST_Sort(&CompareHigh, 0, b), 0);  // falls back to the insertion sort
  EMUL_StopAllocationFailures();
  EXPECT_EQ(Items(a), Items(b));
  rec.ExpectNone();
}

}  // namespace
}  // namespace tv::listtest
