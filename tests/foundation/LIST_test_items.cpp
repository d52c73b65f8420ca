// Lists: positions, insertion, removal, replacement, busy lists and ranges.
#include <cstring>

#include "LIST_test_support.h"

namespace tv::listtest {
namespace {

using ListItems = ListTest;

// Positions -1 to count (and -1 to count - 1 for reading) are checked against
// a vector by the random sequence in LIST_test_values.cpp; here the refusals.
TEST_F(ListItems, PositionsOutsideTheListAreRefused) {
  LIST_Handle list = Ints({});
  int32_t v = 1;
  for (int32_t at : {1, -2, INT32_MIN}) {
    EXPECT_EQ(LIST_Insert(&v, at, list), kErrRange);
    ExpectOneReport(LIST_SiteInsert, "attempt to insert an item into" + kOutside);
  }
  int32_t out = 55;
  EXPECT_EQ(LIST_GetItem(list, -1, &out), kErrRange);  // -1 on an empty list is outside it
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteGetItem, "attempt to get an item from" + kOutside);
  ASSERT_EQ(LIST_Insert(nullptr, -1, list), 0);  // a null item is zero-filled
  ASSERT_EQ(LIST_Insert(&v, -1, list), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{0, 1}));
  for (int32_t at : {2, -2}) {
    out = 55;
    EXPECT_EQ(LIST_GetItem(list, at, &out), kErrRange);
    EXPECT_EQ(out, 0);
    ExpectOneReport(LIST_SiteGetItem, "attempt to get an item from" + kOutside);
  }
}

TEST_F(ListItems, InsertOfAnItemFromTheSameLockedList) {
  LIST_Handle list = Ints({10, 20, 30}, 8);
  void* first = nullptr;
  ASSERT_EQ(LIST_GetAddress(list, 0, LIST_LockInPlace, &first), 0);
  ASSERT_EQ(LIST_Insert(first, 0, list), 0);  // the source moves with the tail
  EXPECT_EQ(Items(list), (std::vector<int32_t>{10, 10, 20, 30}));
  void* third = nullptr;
  LIST_GetAddress(list, 2, 0, &third);
  ASSERT_EQ(LIST_Insert(third, 1, list), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{10, 20, 10, 20, 30}));
  LIST_Unlock(list);
}

TEST_F(ListItems, RemoveDisposesOrCopiesOut) {
  LIST_Handle list = Ints({1, 2, 3, 4});
  InstallCounting(list, false);
  Calls d;
  int32_t out = 0;
  ASSERT_EQ(LIST_Remove(1, list, d.data(), &out), 0);
  EXPECT_EQ(out, 2);
  EXPECT_TRUE(d.disposed.empty());  // copied out, not disposed
  ASSERT_EQ(LIST_Remove(-1, list, d.data(), nullptr), 0);
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{4}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 3}));
  out = 55;
  EXPECT_EQ(LIST_Remove(2, list, d.data(), &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteRemove, "attempt to remove an item from" + kOutside);
  // A failing dispose function: the item still leaves, its error comes back.
  d.failDisposeOf = 1;
  EXPECT_EQ(LIST_Remove(0, list, d.data(), nullptr), 0x4343);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{3}));
  d.failDisposeOf = INT32_MIN;
  d.disposed.clear();
  Dispose(list, d.data());
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{3}));
}

TEST_F(ListItems, RemoveByItemFindsTheFirstEqualItem) {
  LIST_Handle list = Ints({5, 6, 5, 7});
  int32_t key = 5, index = 0;
  ASSERT_EQ(LIST_RemoveByItem(&key, list, 0, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{6, 5, 7}));
  key = 9;
  EXPECT_EQ(LIST_RemoveByItem(&key, list, 0, &index), LIST_ErrNotFound);
  EXPECT_EQ(index, kNotFound);
  ExpectOneReport(LIST_SiteRemoveByItem, "could not find the item to remove (1B05).");
}

TEST_F(ListItems, RemoveRangeDisposesEachRemovedItemOnce) {
  LIST_Handle list = Ints({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  InstallCounting(list, false);
  Calls d;
  auto data = d.data();
  ASSERT_EQ(LIST_RemoveRange(0, 2, list, data), 0);  // at the front
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{0, 1}));
  ASSERT_EQ(LIST_RemoveRange(6, -1, list, data), 0);  // to the end
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{0, 1, 8, 9}));
  ASSERT_EQ(LIST_RemoveRange(-1, 1, list, data), 0);  // the last item
  ASSERT_EQ(LIST_RemoveRange(5, 0, list, data), 0);   // nothing, at count
  EXPECT_EQ(Items(list), (std::vector<int32_t>{2, 3, 4, 5, 6}));
  EXPECT_EQ(LIST_RemoveRange(3, 3, list, data), LIST_ErrInvalidRange);
  ExpectOneReport(LIST_SiteRemoveRange, "attempt to remove an invalid range of a list (1B04).");
  for (auto [start, n] : {std::pair{6, 0}, {0, -2}, {-2, 1}})
    EXPECT_EQ(LIST_RemoveRange(start, n, list, data), LIST_ErrInvalidRange) << start << " " << n;
  rec.clear();
  // Disposal stops at the first failure; the range goes regardless.
  d.disposed.clear();
  d.failDisposeOf = 3;
  EXPECT_EQ(LIST_RemoveRange(0, 3, list, data), 0x4343);
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{5, 6}));
  d.failDisposeOf = INT32_MIN;
  Dispose(list, data);
  rec.ExpectNone();
}

TEST_F(ListItems, SetItemDisposesOrCopiesTheOldItem) {
  LIST_Handle list = Ints({1, 2, 3});
  InstallCounting(list, false);
  Calls d;
  auto data = d.data();
  int32_t v = 20, out = 0;
  ASSERT_EQ(LIST_SetItem(&v, 1, list, data, &out), 0);
  EXPECT_EQ(out, 2);
  EXPECT_TRUE(d.disposed.empty());
  v = 30;
  ASSERT_EQ(LIST_SetItem(&v, -1, list, data, nullptr), 0);
  EXPECT_EQ(d.disposed, (std::vector<int32_t>{3}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 20, 30}));
  out = 5;
  EXPECT_EQ(LIST_SetItem(&v, 3, list, data, &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteSetItem, "attempt to set an item in" + kOutside);
  // A refused disposal keeps the old item.
  d.failDisposeOf = 1;
  EXPECT_EQ(LIST_SetItem(&v, 0, list, data, nullptr), 0x4343);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 20, 30}));
  d.failDisposeOf = INT32_MIN;
  Dispose(list, data);
}

ErrorCode PlusHundred(intptr_t, LIST_Handle, const void* source, void* destination) {
  int32_t v;
  std::memcpy(&v, source, 4);
  if (v < 0) return 0x4545;
  v += 100;
  std::memcpy(destination, &v, 4);
  return 0;
}

TEST_F(ListItems, CopyingInsertAndGet) {
  LIST_Handle list = Ints({1, 2});
  LIST_Func funcs[3] = {tv::list::AsFunc(&PlusHundred), nullptr, nullptr};
  LIST_SetFuncs(list, 1, funcs);
  int32_t v = 5;
  ASSERT_EQ(LIST_InsertCopy(&v, 1, list, 0), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 105, 2}));
  int32_t out = 0;
  ASSERT_EQ(LIST_GetItemCopy(list, 0, -1, &out), 0);
  EXPECT_EQ(out, 102);
  // A failed copy leaves the list as it was.
  v = -1;
  EXPECT_EQ(LIST_InsertCopy(&v, 0, list, 0), 0x4545);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 105, 2}));
  out = 9;
  EXPECT_EQ(LIST_GetItemCopy(list, 0, 3, &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteGetItemCopy, "attempt to get an item from" + kOutside);
}

// The results of inserting, removing, disposing, resizing, moving and replacing.
using Attempt = std::vector<ErrorCode>;
ErrorCode TryChanges(LIST_Handle list, intptr_t data, int32_t index, void*) {
  if (index != 1) return 0;
  int32_t v = 99;
  *reinterpret_cast<Attempt*>(data) = {LIST_Insert(&v, 0, list), LIST_Remove(0, list, 0, nullptr),
                                       LIST_Dispose(list, 0),    LIST_SetNumItems(0, list, 0),
                                       LIST_Move(0, 1, list, 0), LIST_SetItem(&v, 0, list, 0, nullptr)};
  return 0;
}

TEST_F(ListItems, BusyListsRefuseInsertionRemovalAndDisposal) {
  LIST_Handle list = Ints({1, 2, 3});
  Attempt a;
  int32_t reached = -1;
  ASSERT_EQ(LIST_ForEach(list, reinterpret_cast<intptr_t>(&a), &TryChanges, &reached), 0);
  EXPECT_EQ(reached, 3);
  const ErrorCode busy = LIST_ErrBusy;
  EXPECT_EQ(a, (Attempt{busy, busy, busy, busy, busy, 0}));  // replacing is allowed
  const std::pair<uint32_t, std::string> want[] = {
      {LIST_SiteInsert, "insert an item into"}, {LIST_SiteRemove, "remove an item from"},
      {LIST_SiteDispose, "dispose"}, {LIST_SiteSetNumItems, "adjust size of"}, {LIST_SiteMove, "remove an item from"}};
  ASSERT_EQ(rec.reports.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(rec.reports[i].text, "Test error: cannot " + want[i].second + " a read-only list (1B01).");
    EXPECT_EQ(rec.reports[i].location, At(want[i].first));
  }
  rec.clear();
  EXPECT_EQ(Items(list), (std::vector<int32_t>{99, 2, 3}));
  // The walk is over: the list is neither busy nor locked.
  EXPECT_EQ(LIST_Remove(0, list, 0, nullptr), 0);
  EXPECT_EQ(LIST_Unlock(list), LIST_ErrUnlocked);
  rec.clear();
}

}  // namespace
}  // namespace tv::listtest
