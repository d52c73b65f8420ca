// Lists of values (4-byte and pointer-sized), the typed view, and a seeded
// random sequence of operations checked against a std::vector.
#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

#include "LIST_test_support.h"

namespace tv::listtest {
namespace {

using ListValues = ListTest;

int32_t Descending(intptr_t, LIST_Handle, intptr_t a, intptr_t b) { return a > b ? -1 : (a < b ? 1 : 0); }

TEST_F(ListValues, ValueFormsNeedItemsOfTheirSize) {
  LIST_Handle list = nullptr;
  ASSERT_EQ(LIST_New(0, 6, 4, 1, &list), 0);  // neither 4 bytes nor pointer-sized
  Own(list);
  int32_t out = 7;
  EXPECT_EQ(LIST_Insert4(1, -1, list), kErrBadParam);
  ExpectOneReport(LIST_SiteValue4 + 0, "requires a list of 4 byte items -- a bad parameter was passed.");
  EXPECT_EQ(LIST_Get4Item(list, 0, &out), kErrBadParam);
  EXPECT_EQ(out, 0);
  ExpectOneReport(LIST_SiteValue4 + 6, "requires a list of 4 byte items -- a bad parameter was passed.");
  LIST_Func byValue[3] = {nullptr, nullptr, tv::list::AsFunc(&Descending)};
  EXPECT_EQ(LIST_Set4Funcs(list, 3, byValue), kErrBadParam);
  ExpectOneReport(LIST_SiteSetFuncs, "requires a list of 4 byte items -- a bad parameter was passed.");
  list = Ints({1});
  intptr_t p = 5;
  EXPECT_EQ(LIST_GetPItem(list, 0, &p), kErrBadParam);
  EXPECT_EQ(p, 0);
  ExpectOneReport(LIST_SiteValueP + 6, "requires a list of pointer-sized items -- a bad parameter was passed.");
}

TEST_F(ListValues, FourByteValuesOrderAsSignedNumbersWithoutOverflow) {
  LIST_Handle list = Ints({});
  int32_t index = 0;
  for (int32_t v : {0, INT32_MAX, -1, INT32_MIN, 1, INT32_MAX, INT32_MIN + 1})
    ASSERT_EQ(LIST_Insert4Sorted(v, nullptr, 0, list, &index), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX, INT32_MAX}));
  Boolean32 found = 0;
  int32_t out = 0;
  ASSERT_EQ(LIST_GetSorted4Item(list, nullptr, 0, INT32_MAX, &found, &out, &index), 0);
  EXPECT_EQ(std::tuple(found, index, out), std::tuple(1, 5, INT32_MAX));
  ASSERT_EQ(LIST_GetSorted4Item(list, nullptr, 0, 2, &found, &out, &index), 0);
  EXPECT_EQ(std::tuple(found, index, out), std::tuple(0, 5, 0));
  ASSERT_EQ(LIST_Get4ItemPos(list, 0, -1, &index), 0);
  EXPECT_EQ(index, 2);
  ASSERT_EQ(LIST_Remove4ByItem(INT32_MIN, list, 0, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(LIST_Remove4ByItem(12345, list, 0, &index), LIST_ErrNotFound);
  ExpectOneReport(LIST_SiteValue4 + 4, "could not find the item to remove (1B05).");
}

struct ValueCalls {
  std::vector<intptr_t> disposed;
  int copies = 0;
};
ErrorCode DisposeValue(intptr_t data, LIST_Handle, intptr_t item) {
  reinterpret_cast<ValueCalls*>(data)->disposed.push_back(item);
  return 0;
}
ErrorCode CopyValue(intptr_t data, LIST_Handle, intptr_t source, void* destination) {
  ++reinterpret_cast<ValueCalls*>(data)->copies;
  int32_t v = static_cast<int32_t>(source * 2);
  std::memcpy(destination, &v, 4);
  return 0;
}

TEST_F(ListValues, ByValueFunctionsReceiveValues) {
  LIST_Handle list = Ints({});
  LIST_Func funcs[3] = {tv::list::AsFunc(&CopyValue), tv::list::AsFunc(&DisposeValue),
                        tv::list::AsFunc(&Descending)};
  ASSERT_EQ(LIST_Set4Funcs(list, 3, funcs), 0);
  ValueCalls calls;
  auto data = reinterpret_cast<intptr_t>(&calls);
  int32_t index = 0;
  for (int32_t v : {3, -7, 10}) ASSERT_EQ(LIST_Insert4Sorted(v, nullptr, 0, list, &index), 0);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{10, 3, -7}));  // the list's descending order
  ASSERT_EQ(LIST_Insert4Copy(-4, 1, list, data), 0);
  EXPECT_EQ(calls.copies, 1);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{10, -8, 3, -7}));
  int32_t out = 0;
  ASSERT_EQ(LIST_Get4ItemCopy(list, data, 0, &out), 0);
  EXPECT_EQ(out, 20);
  ASSERT_EQ(LIST_Remove4(-1, list, data, nullptr), 0);
  EXPECT_EQ(calls.disposed, (std::vector<intptr_t>{-7}));  // sign-extended
  ASSERT_EQ(LIST_Set4Item(5, 1, list, data, &out), 0);
  EXPECT_EQ(out, -8);
  ASSERT_EQ(LIST_Remove4(0, list, data, &out), 0);
  EXPECT_EQ(out, 10);
  EXPECT_EQ(calls.disposed.size(), 1u);
  // Removing a value function keeps the slot's value meaning.
  LIST_Func remove[3] = {nullptr, nullptr, LIST_FUNC_REMOVE};
  LIST_Set4Funcs(list, 3, remove);
  LIST_Insert4(INT32_MIN, -1, list);
  LIST_Sort(nullptr, 0, list);
  EXPECT_EQ(Items(list), (std::vector<int32_t>{INT32_MIN, 3, 5}));
  Dispose(list, data);
  EXPECT_EQ(calls.disposed.size(), 4u);
}

struct ValueWalk {
  std::vector<intptr_t> seen;
  int32_t stopAt = -1;
};
ErrorCode VisitValue(LIST_Handle list, intptr_t data, int32_t index, intptr_t item) {
  auto* w = reinterpret_cast<ValueWalk*>(data);
  w->seen.push_back(item);
  // Busy but not locked: replacing a value is allowed, removing is not.
  if (LIST_Remove4(0, list, 0, nullptr) != LIST_ErrBusy) return 1;
  return index == w->stopAt ? 0x4747 : 0;
}

TEST_F(ListValues, ValueWalkers) {
  LIST_Handle list = Ints({1, -2, 3});
  ValueWalk w;
  int32_t reached = 0;
  ASSERT_EQ(LIST_ForEach4(list, reinterpret_cast<intptr_t>(&w), &VisitValue, &reached), 0);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<intptr_t>{1, -2, 3}, 3));
  w = ValueWalk{};
  w.stopAt = 1;
  EXPECT_EQ(LIST_ForRange4(list, -1, 0, reinterpret_cast<intptr_t>(&w), &VisitValue, &reached), 0x4747);
  EXPECT_EQ(std::tuple(w.seen, reached), std::tuple(std::vector<intptr_t>{3, -2}, 1));
  EXPECT_EQ(LIST_ForRange4(list, 0, 3, reinterpret_cast<intptr_t>(&w), &VisitValue, &reached), kErrRange);
  EXPECT_EQ(rec.reports.back().text, "Test error: attempt to get an item from" + kOutside);
  EXPECT_EQ(rec.reports.back().location, At(LIST_SiteValue4 + 11));
  rec.clear();
}

TEST_F(ListValues, PointerSizedValuesHoldHandles) {
  LIST_Handle list = nullptr;
  ASSERT_EQ(LIST_New(0, sizeof(intptr_t), 2, 1, &list), 0);
  Own(list);
  std::vector<Handle> handles;
  for (int i = 0; i < 5; ++i) handles.push_back(NewHandle(8 + i));
  for (Handle h : handles) ASSERT_EQ(LIST_InsertP(reinterpret_cast<intptr_t>(h), -1, list), 0);
  intptr_t out = 0;
  ASSERT_EQ(LIST_GetPItem(list, -1, &out), 0);
  EXPECT_EQ(reinterpret_cast<Handle>(out), handles.back());
  int32_t index = 0;
  ASSERT_EQ(LIST_GetPItemPos(list, 0, reinterpret_cast<intptr_t>(handles[2]), &index), 0);
  EXPECT_EQ(index, 2);
  std::vector<Handle> sorted = handles;
  std::sort(sorted.begin(), sorted.end(),
            [](Handle a, Handle b) { return reinterpret_cast<intptr_t>(a) < reinterpret_cast<intptr_t>(b); });
  // Flag the comparison by value (without a function of its own): the
  // default comparison then orders the values as numbers, not as bytes.
  LIST_Func remove[3] = {nullptr, nullptr, LIST_FUNC_REMOVE};
  LIST_Set4Funcs(list, 3, remove);
  ASSERT_EQ(LIST_Sort(nullptr, 0, list), 0);
  for (int32_t i = 0; i < 5; ++i) {
    LIST_GetPItem(list, i, &out);
    EXPECT_EQ(reinterpret_cast<Handle>(out), sorted[static_cast<size_t>(i)]);
  }
  Boolean32 found = 0;
  ASSERT_EQ(LIST_GetSortedPItem(list, nullptr, 0, reinterpret_cast<intptr_t>(sorted[3]), &found, &out, &index), 0);
  EXPECT_TRUE(found);
  EXPECT_EQ(index, 3);
  ASSERT_EQ(LIST_RemovePByItem(reinterpret_cast<intptr_t>(sorted[0]), list, 0, &index), 0);
  ASSERT_EQ(LIST_InsertPSorted(reinterpret_cast<intptr_t>(sorted[0]), nullptr, 0, list, &index), 0);
  EXPECT_EQ(index, 0);
  while (Count(list) > 0) {
    ASSERT_EQ(LIST_RemoveP(0, list, 0, &out), 0);
    DisposeHandle(reinterpret_cast<Handle>(out));
  }
}

struct Point2 {
  int16_t x, y;
};

TEST_F(ListValues, TypedView) {
  tv::list::List<Point2> points;
  ASSERT_EQ(tv::list::List<Point2>::Create(points, 4), 0);
  for (int16_t i = 0; i < 12; ++i) ASSERT_EQ(points.Append(Point2{i, static_cast<int16_t>(-i)}), 0);
  EXPECT_EQ(points.size(), 12);
  Point2 p{};
  ASSERT_EQ(points.Get(-1, p), 0);
  EXPECT_EQ(p.x, 11);
  {
    tv::list::List<Point2>::Locked locked(points);
    ASSERT_TRUE(locked.ok());
    int sum = 0;
    for (Point2& q : locked) sum += q.x;
    EXPECT_EQ(sum, 66);
    locked[0].y = 77;
    Point2 extra{1, 1};
    EXPECT_EQ(points.Insert(extra, 0), LIST_ErrLocked);  // full and locked: no growth moves
    rec.clear();
  }
  ASSERT_EQ(points.Get(0, p), 0);
  EXPECT_EQ(p.y, 77);
  ASSERT_EQ(points.Remove(0, &p), 0);
  tv::list::List<int64_t> wrong(points.handle());  // items of another size
  tv::list::List<int64_t>::Locked refused(wrong);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(points.Dispose(), 0);
  EXPECT_FALSE(points);
}

// A seeded random sequence of operations, checked against a std::vector.
TEST_F(ListValues, RandomOperationsAgreeWithAVector) {
  std::mt19937 rng(20261206);
  LIST_Handle list = nullptr;
  ASSERT_EQ(LIST_New(0, 4, 3, 2, &list), 0);
  Own(list);
  std::vector<int32_t> model;
  auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  for (int step = 0; step < 20000; ++step) {
    int32_t count = static_cast<int32_t>(model.size());
    int32_t v = pick(50) - 25;
    switch (pick(12)) {
      case 0:
      case 1: {
        int32_t at = pick(count + 2) - 1;  // -1 .. count
        ASSERT_EQ(LIST_Insert4(v, at, list), 0);
        model.insert(at == -1 ? model.end() : model.begin() + at, v);
        break;
      }
      case 2: {
        if (count == 0) break;
        int32_t at = pick(count + 1) - 1;
        int32_t out = 0;
        ASSERT_EQ(LIST_Remove4(at, list, 0, &out), 0);
        size_t i = at == -1 ? model.size() - 1 : static_cast<size_t>(at);
        ASSERT_EQ(out, model[i]);
        model.erase(model.begin() + static_cast<ptrdiff_t>(i));
        break;
      }
      case 3: {
        if (count == 0) break;
        int32_t start = pick(count), n = pick(count - start + 1);
        ASSERT_EQ(LIST_RemoveRange(start, n, list, 0), 0);
        model.erase(model.begin() + start, model.begin() + start + n);
        break;
      }
      case 4: {
        if (count == 0) break;
        int32_t at = pick(count);
        ASSERT_EQ(LIST_Set4Item(v, at, list, 0, nullptr), 0);
        model[static_cast<size_t>(at)] = v;
        break;
      }
      case 5: {
        if (count < 2) break;
        int32_t from = pick(count), to = pick(count);
        ASSERT_EQ(LIST_Move(from, to, list, 0), 0);
        int32_t item = model[static_cast<size_t>(from)];
        model.erase(model.begin() + from);
        model.insert(model.begin() + to, item);
        break;
      }
      case 6: {
        int32_t n = pick(41) - 20;
        ASSERT_EQ(LIST_Rotate(n, list), 0);
        if (count > 1) {
          int32_t s = ((n % count) + count) % count;
          std::rotate(model.rbegin(), model.rbegin() + s, model.rend());
        }
        break;
      }
      case 7:
        if (pick(20) == 0) {
          ASSERT_EQ(LIST_Sort(nullptr, 0, list), 0);  // bytes: compare the model the same way
          std::stable_sort(model.begin(), model.end(),
                           [](int32_t a, int32_t b) { return std::memcmp(&a, &b, 4) < 0; });
        }
        break;
      case 8: {
        int32_t index = 0;
        ASSERT_EQ(step % 2 ? LIST_Get4ItemPos(list, 0, v, &index) : LIST_GetItemPos(list, 0, &v, &index), 0);
        auto it = std::find(model.begin(), model.end(), v);
        ASSERT_EQ(index, it == model.end() ? kNotFound : static_cast<int32_t>(it - model.begin()));
        break;
      }
      case 9:
        if (pick(10) == 0) {
          int32_t n = pick(count + 5);
          ASSERT_EQ(LIST_SetNumItems(n, list, 0), 0);
          model.resize(static_cast<size_t>(n), 0);
        }
        break;
      case 10:
        if (count > 0) {
          int32_t i = pick(count), j = pick(count);
          ASSERT_EQ(LIST_Swap(i, j, list), 0);
          std::swap(model[static_cast<size_t>(i)], model[static_cast<size_t>(j)]);
        }
        break;
      default:
        if (pick(50) == 0) {
          ASSERT_EQ(LIST_Reverse(list), 0);
          std::reverse(model.begin(), model.end());
        }
        break;
    }
    ASSERT_EQ(Count(list), static_cast<int32_t>(model.size())) << "step " << step;
    if (step % 97 == 0) {
      ASSERT_EQ(Items(list), model) << "step " << step;
    }
  }
  EXPECT_EQ(Items(list), model);
  // The block never holds fewer than the minimum blocks nor more than one block of slack.
  int64_t capacity = Capacity(list);
  EXPECT_GE(capacity, 6);
  EXPECT_LT(capacity, std::max<int64_t>(6, static_cast<int64_t>(model.size()) + 3));
  rec.ExpectNone();
}

}  // namespace
}  // namespace tv::listtest
