// Sorting: the stable sort, the quick (unstable) sort and the sortedness test.
//
// The stable sort's defining algorithm is an insertion sort: for each item
// from the second on, the items before it that compare greater (1 or more)
// move up one place and the item takes the gap. Longer lists are sorted by
// a stable merge sort over item positions, whose result is the same for
// any consistent comparison; the comparison is always asked about an earlier
// and a later item in the same way, "does the earlier compare greater".
#include <algorithm>

#include "LIST_internal.h"
#include "U.h"

namespace tv::list {

namespace {

constexpr int32_t kInsertionSortLimit = 16;

void InsertionSort(LIST_Handle list, const Comparator& cmp) {
  int32_t count = H(list)->count;
  size_t size = static_cast<size_t>(H(list)->itemSize);
  char* scratch = Scratch(list);
  for (int32_t i = 1; i < count; ++i) {
    std::memcpy(scratch, At(list, i), size);
    int32_t j = i;
    while (j > 0 && cmp(At(list, j - 1), scratch) >= 1) --j;
    if (j == i) continue;
    std::memmove(At(list, j + 1), At(list, j), static_cast<size_t>(i - j) * size);
    std::memcpy(At(list, j), scratch, size);
  }
}

// Sorts the positions 0 .. count - 1 with sortFn and rearranges the items to
// match; false when there is no memory for the positions and a copy of the
// items.
template <class SortFn>
bool SortByPositions(LIST_Handle list, const Comparator& cmp, SortFn sortFn) {
  int32_t count = H(list)->count;
  size_t size = static_cast<size_t>(H(list)->itemSize);
  auto* order = reinterpret_cast<int32_t*>(NewPtr(static_cast<Size>(count) * static_cast<Size>(sizeof(int32_t))));
  Ptr copy = order ? NewPtr(static_cast<Size>(count) * static_cast<Size>(size)) : nullptr;
  if (!order || !copy) {
    if (order) DisposePtr(reinterpret_cast<Ptr>(order));
    return false;
  }
  for (int32_t i = 0; i < count; ++i) order[i] = i;
  const char* base = At(list, 0);
  sortFn(order, order + count, [&](int32_t x, int32_t y) {
    return cmp(base + static_cast<size_t>(x) * size, base + static_cast<size_t>(y) * size);
  });
  for (int32_t i = 0; i < count; ++i)
    std::memcpy(copy + static_cast<size_t>(i) * size, base + static_cast<size_t>(order[i]) * size, size);
  std::memcpy(At(list, 0), copy, static_cast<size_t>(count) * size);
  DisposePtr(copy);
  DisposePtr(reinterpret_cast<Ptr>(order));
  return true;
}

// x goes strictly before y when y compares greater than x: the question the
// insertion sort asks.
struct {
  template <class ThreeWay>
  void operator()(int32_t* first, int32_t* last, ThreeWay threeWay) const {
    std::stable_sort(first, last, [&](int32_t x, int32_t y) { return threeWay(y, x) >= 1; });
  }
} constexpr StableSort;

}  // namespace

}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LIST_Sort(LIST_CompareFunc compare, intptr_t data, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteSort);
  if (ErrorCode err = Check(list, loc)) return err;
  if (H(list)->count < 2) return 0;
  Comparator cmp = MakeComparator(list, data, compare, nullptr, false);
  Hold hold(list);
  if (H(list)->count <= kInsertionSortLimit) {
    InsertionSort(list, cmp);
    return 0;
  }
  // Without memory for the merge the insertion sort gives the same order.
  if (!SortByPositions(list, cmp, StableSort)) InsertionSort(list, cmp);
  return 0;
}

ErrorCode LIST_QuickSort(LIST_CompareFunc compare, intptr_t data, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteQuickSort);
  if (ErrorCode err = Check(list, loc)) return err;
  if (H(list)->count < 2) return 0;
  // Any sort that respects the comparison will do here. The stable merge is
  // the fastest one that stays inside the list whatever the comparison
  // answers (an introsort runs off the end when a comparison is
  // inconsistent, and the C library's sort costs an extra indirection per
  // comparison). Its context travels with the call, not in package globals,
  // so a comparison may itself sort another list.
  Comparator cmp = MakeComparator(list, data, compare, nullptr, false);
  Hold hold(list);
  if (H(list)->count <= kInsertionSortLimit || !SortByPositions(list, cmp, StableSort)) InsertionSort(list, cmp);
  return 0;
}

ErrorCode LIST_IsSorted(LIST_Handle list, LIST_CompareFunc compare, intptr_t data, Boolean32* sorted) {
  constexpr LocationCode loc = Loc(LIST_SiteIsSorted);
  if (sorted) *sorted = 0;
  if (ErrorCode err = Check(list, loc)) return err;
  Comparator cmp = MakeComparator(list, data, compare, nullptr, false);
  Hold hold(list);
  int32_t count = H(list)->count;
  bool inOrder = true;
  for (int32_t i = 1; i < count && inOrder; ++i) inOrder = cmp(At(list, i - 1), At(list, i)) < 1;
  if (sorted) *sorted = inOrder;
  return 0;
}
