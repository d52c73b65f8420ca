// Lists: positions, insertion, removal, replacement, busy lists and ranges.
#include <cstring>

#include "LIST_test_support.h"

namespace tv::listtest {
namespace {

struct Disposals {
  std::vector<int32_t> values;
  int32_t failOn = INT32_MIN;
};
ErrorCode RecordDispose(intptr_t data, LIST_Handle, void* item) {
  auto* d = reinterpret_cast<Disposals*>(data);
  int32_t v;
  std::memcpy(&v, item, 4);
  d->values.push_back(v);
  return v == d->failOn ? 0x4444 : 0;
}
void InstallDispose(LIST_Handle list) {
  LIST_Func funcs[3] = {nullptr, tv::list::AsFunc(&RecordDispose), nullptr};
  LIST_SetFuncs(list, 2, funcs);
}

using ListItems = ListTest;

TEST_F(ListItems, InsertAcceptsMinusOneAndZeroToCount) {
  LIST_Handle list = Ints({});
  int32_t v = 1;
  ASSERT_EQ(LIST_Insert(&v, -1, list), 0);  // into an empty list
  v = 2;
  ASSERT_EQ(LIST_Insert(&v, 0, list), 0);
  v = 3;
  ASSERT_EQ(LIST_Insert(&v, 2, list), 0);  // at count
  v = 4;
  ASSERT_EQ(LIST_Insert(&v, 1, list), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{2, 4, 1, 3}));
  ASSERT_EQ(LIST_Insert(nullptr, -1, list), 0);  // a null item is zero-filled
  EXPECT_EQ(Items(list).back(), 0);
  ExpectNoReport();
  EXPECT_EQ(LIST_Insert(&v, 6, list), kErrRange);
  ExpectOneReport(LIST_SiteInsert, "attempt to insert an item into" + kOutside);
  EXPECT_EQ(LIST_Insert(&v, -2, list), kErrRange);
  ExpectOneReport(LIST_SiteInsert, "attempt to insert an item into" + kOutside);
  EXPECT_EQ(LIST_Insert(&v, INT32_MIN, list), kErrRange);
  rec.clear();
  EXPECT_EQ(Count(list), 5);
  LIST_Dispose(list, 0);
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
  LIST_Dispose(list, 0);
}

TEST_F(ListItems, GetItemRefusesCountAndMinusTwoAndZeroFills) {
  LIST_Handle list = Ints({7, 8, 9});
  int32_t out = 0;
  ASSERT_EQ(LIST_GetItem(list, -1, &out), 0);
  EXPECT_EQ(out, 9);
  ASSERT_EQ(LIST_GetItem(list, 0, &out), 0);
  EXPECT_EQ(out, 7);
  out = 55;
  EXPECT_EQ(LIST_GetItem(list, 3, &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteGetItem, "attempt to get an item from" + kOutside);
  out = 55;
  EXPECT_EQ(LIST_GetItem(list, -2, &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteGetItem, "attempt to get an item from" + kOutside);
  LIST_Dispose(list, 0);
  // -1 on an empty list is outside it.
  list = Ints({});
  out = 55;
  EXPECT_EQ(LIST_GetItem(list, -1, &out), kErrRange);
  EXPECT_EQ(out, 0);
  rec.clear();
  LIST_Dispose(list, 0);
}

TEST_F(ListItems, RemoveDisposesOrCopiesOut) {
  LIST_Handle list = Ints({1, 2, 3, 4});
  InstallDispose(list);
  Disposals d;
  int32_t out = 0;
  ASSERT_EQ(LIST_Remove(1, list, reinterpret_cast<intptr_t>(&d), &out), 0);
  EXPECT_EQ(out, 2);
  EXPECT_TRUE(d.values.empty());  // copied out, not disposed
  ASSERT_EQ(LIST_Remove(-1, list, reinterpret_cast<intptr_t>(&d), nullptr), 0);
  EXPECT_EQ(d.values, (std::vector<int32_t>{4}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 3}));
  out = 55;
  EXPECT_EQ(LIST_Remove(2, list, reinterpret_cast<intptr_t>(&d), &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteRemove, "attempt to remove an item from" + kOutside);
  // A failing dispose function: the item still leaves, its error comes back.
  d.failOn = 1;
  EXPECT_EQ(LIST_Remove(0, list, reinterpret_cast<intptr_t>(&d), nullptr), 0x4444);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{3}));
  d.failOn = INT32_MIN;
  d.values.clear();
  LIST_Dispose(list, reinterpret_cast<intptr_t>(&d));
  EXPECT_EQ(d.values, (std::vector<int32_t>{3}));
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
  LIST_Dispose(list, 0);
}

TEST_F(ListItems, RemoveRangeDisposesEachRemovedItemOnce) {
  LIST_Handle list = Ints({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  InstallDispose(list);
  Disposals d;
  auto data = reinterpret_cast<intptr_t>(&d);
  ASSERT_EQ(LIST_RemoveRange(0, 2, list, data), 0);  // at the front
  EXPECT_EQ(d.values, (std::vector<int32_t>{0, 1}));
  ASSERT_EQ(LIST_RemoveRange(6, -1, list, data), 0);  // to the end
  EXPECT_EQ(d.values, (std::vector<int32_t>{0, 1, 8, 9}));
  ASSERT_EQ(LIST_RemoveRange(-1, 1, list, data), 0);  // the last item
  ASSERT_EQ(LIST_RemoveRange(5, 0, list, data), 0);   // nothing, at count
  EXPECT_EQ(Items(list), (std::vector<int32_t>{2, 3, 4, 5, 6}));
  EXPECT_EQ(LIST_RemoveRange(3, 3, list, data), LIST_ErrInvalidRange);
  ExpectOneReport(LIST_SiteRemoveRange, "attempt to remove an invalid range of a list (1B04).");
  for (auto [start, n] : {std::pair{6, 0}, {0, -2}, {-2, 1}})
    EXPECT_EQ(LIST_RemoveRange(start, n, list, data), LIST_ErrInvalidRange) << start << " " << n;
  rec.clear();
  // Disposal stops at the first failure; the range goes regardless.
  d.values.clear();
  d.failOn = 3;
  EXPECT_EQ(LIST_RemoveRange(0, 3, list, data), 0x4444);
  EXPECT_EQ(d.values, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{5, 6}));
  d.failOn = INT32_MIN;
  LIST_Dispose(list, data);
  ExpectNoReport();
}

TEST_F(ListItems, SetItemDisposesOrCopiesTheOldItem) {
  LIST_Handle list = Ints({1, 2, 3});
  InstallDispose(list);
  Disposals d;
  auto data = reinterpret_cast<intptr_t>(&d);
  int32_t v = 20, out = 0;
  ASSERT_EQ(LIST_SetItem(&v, 1, list, data, &out), 0);
  EXPECT_EQ(out, 2);
  EXPECT_TRUE(d.values.empty());
  v = 30;
  ASSERT_EQ(LIST_SetItem(&v, -1, list, data, nullptr), 0);
  EXPECT_EQ(d.values, (std::vector<int32_t>{3}));
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 20, 30}));
  out = 5;
  EXPECT_EQ(LIST_SetItem(&v, 3, list, data, &out), kErrRange);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteSetItem, "attempt to set an item in" + kOutside);
  // A refused disposal keeps the old item.
  d.failOn = 1;
  EXPECT_EQ(LIST_SetItem(&v, 0, list, data, nullptr), 0x4444);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{1, 20, 30}));
  d.failOn = INT32_MIN;
  LIST_Dispose(list, data);
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
  LIST_Dispose(list, 0);
}

struct Attempt {
  int32_t insertResult = 0, removeResult = 0, disposeResult = 0, setNumResult = 0, moveResult = 0,
          setResult = 0;
};
ErrorCode TryChanges(LIST_Handle list, intptr_t data, int32_t index, void*) {
  auto* a = reinterpret_cast<Attempt*>(data);
  if (index != 1) return 0;
  int32_t v = 99;
  a->insertResult = LIST_Insert(&v, 0, list);
  a->removeResult = LIST_Remove(0, list, 0, nullptr);
  a->disposeResult = LIST_Dispose(list, 0);
  a->setNumResult = LIST_SetNumItems(0, list, 0);
  a->moveResult = LIST_Move(0, 1, list, 0);
  a->setResult = LIST_SetItem(&v, 0, list, 0, nullptr);  // replacing is allowed
  return 0;
}

TEST_F(ListItems, BusyListsRefuseInsertionRemovalAndDisposal) {
  LIST_Handle list = Ints({1, 2, 3});
  Attempt a;
  int32_t reached = -1;
  ASSERT_EQ(LIST_ForEach(list, reinterpret_cast<intptr_t>(&a), &TryChanges, &reached), 0);
  EXPECT_EQ(reached, 3);
  EXPECT_EQ(a.insertResult, LIST_ErrBusy);
  EXPECT_EQ(a.removeResult, LIST_ErrBusy);
  EXPECT_EQ(a.disposeResult, LIST_ErrBusy);
  EXPECT_EQ(a.setNumResult, LIST_ErrBusy);
  EXPECT_EQ(a.moveResult, LIST_ErrBusy);
  EXPECT_EQ(a.setResult, 0);
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
  LIST_Dispose(list, 0);
}

int32_t gDisposeCallsOnBusy = 0;
ErrorCode DisposeTriesToRemove(intptr_t, LIST_Handle list, void*) {
  ++gDisposeCallsOnBusy;
  return LIST_Remove(0, list, 0, nullptr) == LIST_ErrBusy ? 0 : 1;
}

TEST_F(ListItems, ItemFunctionsCannotChangeTheListTheyServe) {
  LIST_Handle list = Ints({1, 2});
  LIST_Func funcs[3] = {nullptr, tv::list::AsFunc(&DisposeTriesToRemove), nullptr};
  LIST_SetFuncs(list, 2, funcs);
  gDisposeCallsOnBusy = 0;
  EXPECT_EQ(LIST_Remove(0, list, 0, nullptr), 0);
  EXPECT_EQ(gDisposeCallsOnBusy, 1);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{2}));
  rec.clear();
  LIST_Dispose(list, 0);
  rec.clear();
}

}  // namespace
}  // namespace tv::listtest
