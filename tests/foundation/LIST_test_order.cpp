// Lists: searching, walking, rearranging and sorting.
#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

#include "LIST_test_support.h"

namespace tv::listtest {
namespace {

// Items of 8 bytes: a key and the order in which they were made, to see stability.
struct Keyed {
  int32_t key;
  int32_t serial;
  bool operator==(const Keyed&) const = default;
};
int32_t CompareKeys(intptr_t data, LIST_Handle, const void* a, const void* b) {
  if (data) ++*reinterpret_cast<int64_t*>(data);
  Keyed x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x.key < y.key ? -1 : (x.key > y.key ? 1 : 0);
}
LIST_Handle MakeKeyed(const std::vector<Keyed>& items) {
  LIST_Handle list = nullptr;
  EXPECT_EQ(LIST_New(0, sizeof(Keyed), 16, 1, &list), 0);
  for (const Keyed& k : items) EXPECT_EQ(LIST_Insert(&k, -1, list), 0);
  return list;
}
std::vector<Keyed> RandomKeyed(size_t n, int32_t distinctKeys, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Keyed> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = Keyed{static_cast<int32_t>(rng() % static_cast<uint32_t>(distinctKeys)) - distinctKeys / 2,
                 static_cast<int32_t>(i)};
  return v;
}

using ListOrder = ListTest;

TEST_F(ListOrder, SortUsesTheListsCompareFunctionWhenNoneIsGiven) {
  LIST_Handle list = Own(MakeKeyed({{3, 0}, {1, 1}, {3, 2}, {2, 3}, {1, 4}}));
  LIST_Func funcs[3] = {nullptr, nullptr, tv::list::AsFunc(&CompareKeys)};
  LIST_SetFuncs(list, 3, funcs);
  Boolean32 sorted = 1;
  ASSERT_EQ(LIST_IsSorted(list, &CompareKeys, 0, &sorted), 0);
  EXPECT_FALSE(sorted);
  ASSERT_EQ(LIST_Sort(nullptr, 0, list), 0);
  EXPECT_EQ(Items<Keyed>(list), (std::vector<Keyed>{{1, 1}, {1, 4}, {2, 3}, {3, 0}, {3, 2}}));
  // The list is not left locked or busy.
  EXPECT_EQ(LIST_Remove(0, list, 0, nullptr), 0);
}

int32_t Inconsistent(intptr_t, LIST_Handle, const void*, const void*) { return 1; }

// The quick sort orders without keeping equal items in place; neither sort
// loses or doubles an item, even when the comparison contradicts itself.
TEST_F(ListOrder, QuickSortSortsAndBothSurviveAnInconsistentComparison) {
  auto bySerial = [](const Keyed& a, const Keyed& b) { return a.serial < b.serial; };
  for (size_t n : {0u, 2u, 16u, 17u, 3000u}) {
    std::vector<Keyed> items = RandomKeyed(n, 50, static_cast<uint32_t>(n));
    LIST_Handle list = MakeKeyed(items);
    ASSERT_EQ(LIST_QuickSort(&CompareKeys, 0, list), 0);
    std::vector<Keyed> got = Items<Keyed>(list);
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; }));
    EXPECT_EQ(LIST_QuickSort(&Inconsistent, 0, list), 0);
    EXPECT_EQ(LIST_Sort(&Inconsistent, 0, list), 0);
    got = Items<Keyed>(list);
    std::sort(got.begin(), got.end(), bySerial);
    EXPECT_EQ(got, items);
    Dispose(list, 0);
  }
}

TEST_F(ListOrder, SortedInsertionGoesBeforeEqualItems) {
  LIST_Handle list = Own(MakeKeyed({{1, 0}, {5, 1}, {5, 2}, {9, 3}}));
  Keyed k{5, 10};
  int32_t index = -7;
  ASSERT_EQ(LIST_InsertSorted(&k, &CompareKeys, 0, list, &index), 0);
  EXPECT_EQ(index, 1);
  Keyed front{0, 11}, back{10, 12};
  LIST_InsertSorted(&front, &CompareKeys, 0, list, &index);
  EXPECT_EQ(index, 0);
  LIST_InsertSorted(&back, &CompareKeys, 0, list, &index);
  EXPECT_EQ(index, 6);
  EXPECT_EQ(Items<Keyed>(list),
            (std::vector<Keyed>{{0, 11}, {1, 0}, {5, 10}, {5, 1}, {5, 2}, {9, 3}, {10, 12}}));
}

TEST_F(ListOrder, BinarySearchFindsTheFirstEqualItem) {
  LIST_Handle list = Own(MakeKeyed({{1, 0}, {5, 1}, {5, 2}, {5, 3}, {9, 4}}));
  Keyed key{5, -1}, out{};
  Boolean32 found = 0;
  int32_t index = 0;
  ASSERT_EQ(LIST_GetSortedItem(list, &CompareKeys, 0, &key, &found, &out, &index), 0);
  EXPECT_EQ(std::tuple(found, index, out), std::tuple(1, 1, Keyed{5, 1}));
  key.key = 6;
  out = Keyed{7, 7};
  ASSERT_EQ(LIST_GetSortedItem(list, &CompareKeys, 0, &key, &found, &out, &index), 0);
  EXPECT_EQ(std::tuple(found, index, out), std::tuple(0, 4, Keyed{0, 0}));
  key.key = 100;
  LIST_GetSortedItem(list, &CompareKeys, 0, &key, &found, nullptr, &index);
  EXPECT_EQ(std::tuple(found, index), std::tuple(0, 5));
  list = Own(MakeKeyed({}));
  ASSERT_EQ(LIST_GetSortedItem(list, &CompareKeys, 0, &key, &found, nullptr, &index), 0);
  EXPECT_EQ(std::tuple(found, index), std::tuple(0, 0));
}

struct Walk {
  std::vector<int32_t> seen;
  int32_t stopAt = -1;
};
ErrorCode Visit(LIST_Handle, intptr_t data, int32_t index, void* item) {
  auto* w = reinterpret_cast<Walk*>(data);
  int32_t v;
  std::memcpy(&v, item, 4);
  w->seen.push_back(v);
  return index == w->stopAt ? 0x4646 : 0;
}

TEST_F(ListOrder, ForEachStopsAtTheFirstNonZeroResult) {
  LIST_Handle list = Ints({10, 11, 12, 13});
  Walk w;
  int32_t reached = -5;
  ASSERT_EQ(LIST_ForEach(list, reinterpret_cast<intptr_t>(&w), &Visit, &reached), 0);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<int32_t>{10, 11, 12, 13}, 4));
  w = Walk{};
  w.stopAt = 2;
  EXPECT_EQ(LIST_ForEach(list, reinterpret_cast<intptr_t>(&w), &Visit, &reached), 0x4646);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<int32_t>{10, 11, 12}, 2));
  EXPECT_EQ(LIST_Unlock(list), LIST_ErrUnlocked);  // the walk unlocked it
  rec.clear();
  list = Ints({});
  w = Walk{};
  ASSERT_EQ(LIST_ForEach(list, reinterpret_cast<intptr_t>(&w), &Visit, &reached), 0);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<int32_t>{}, 0));
}

TEST_F(ListOrder, ForRangeWalksEitherWay) {
  LIST_Handle list = Ints({10, 11, 12, 13, 14});
  struct Case { int32_t first, last; std::vector<int32_t> seen; int32_t reached; };
  // Backwards when the first position is the later one; -1 is the last item.
  for (const Case& c : {Case{1, 3, {11, 12, 13}, 4}, Case{-1, 2, {14, 13, 12}, 1}, Case{2, 2, {12}, 3}}) {
    Walk w;
    int32_t reached = -5;
    ASSERT_EQ(LIST_ForRange(list, c.first, c.last, reinterpret_cast<intptr_t>(&w), &Visit, &reached), 0);
    EXPECT_EQ(w.seen, c.seen) << c.first << " to " << c.last;
    EXPECT_EQ(reached, c.reached) << c.first << " to " << c.last;
  }
  Walk w;
  w.stopAt = 3;
  int32_t reached = 0;
  EXPECT_EQ(LIST_ForRange(list, 4, 0, reinterpret_cast<intptr_t>(&w), &Visit, &reached), 0x4646);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<int32_t>{14, 13}, 3));
  EXPECT_EQ(LIST_ForRange(list, 0, 5, reinterpret_cast<intptr_t>(&w), &Visit, &reached), kErrRange);
  ExpectOneReport(LIST_SiteForRange, "attempt to get an item from" + kOutside);
  EXPECT_EQ(LIST_ForRange(list, -2, 0, reinterpret_cast<intptr_t>(&w), &Visit, &reached), kErrRange);
  rec.clear();
}

// Swaps, moves and reversals of every kind are checked against a vector by
// the random sequence in LIST_test_values.cpp; here -1 and the refusals.
TEST_F(ListOrder, SwapMoveAndReverse) {
  LIST_Handle list = Ints({1, 2, 3, 4, 5});
  ASSERT_EQ(LIST_Swap(0, -1, list), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{5, 2, 3, 4, 1}));
  EXPECT_EQ(LIST_Swap(0, 5, list), kErrRange);
  ExpectOneReport(LIST_SiteSwap, "attempt to set an item in" + kOutside);
  ASSERT_EQ(LIST_Move(0, -1, list, 0), 0);  // forwards, to the last place
  EXPECT_EQ(Items(list), (std::vector<int32_t>{2, 3, 4, 1, 5}));
  EXPECT_EQ(LIST_Move(0, 5, list, 0), kErrRange);
  ExpectOneReport(LIST_SiteMove, "attempt to insert an item into" + kOutside);
  EXPECT_EQ(LIST_Move(5, 0, list, 0), kErrRange);
  ExpectOneReport(LIST_SiteMove, "attempt to remove an item from" + kOutside);
}

// Rotation by ordinary amounts is checked against a vector by the random
// sequence in LIST_test_values.cpp; here the extreme shifts and tiny lists.
TEST_F(ListOrder, RotateMovesItemsTowardsTheEnd) {
  for (int32_t n : {INT32_MAX, INT32_MIN, INT32_MIN + 1}) {
    std::vector<int32_t> model = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    LIST_Handle list = Ints(model);
    ASSERT_EQ(LIST_Rotate(n, list), 0);
    int64_t s = ((static_cast<int64_t>(n) % 13) + 13) % 13;
    std::rotate(model.rbegin(), model.rbegin() + s, model.rend());
    EXPECT_EQ(Items(list), model) << n;
    Dispose(list, 0);
  }
  EXPECT_EQ(LIST_Rotate(INT32_MIN, Ints({})), 0);  // nothing to turn: no division by the count
  rec.ExpectNone();
}

}  // namespace
}  // namespace tv::listtest
