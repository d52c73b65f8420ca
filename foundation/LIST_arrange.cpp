// Rearranging items in place through the scratch slot: swap, move, reverse
// and rotate.
#include <numeric>

#include "LIST_internal.h"

namespace tv::list {

namespace {
void CopyItem(LIST_Handle list, char* to, const char* from) {
  std::memcpy(to, from, static_cast<size_t>(H(list)->itemSize));
}
}  // namespace

void SwapItems(LIST_Handle list, int32_t i, int32_t j) {
  if (i == j) return;
  char* scratch = Scratch(list);
  CopyItem(list, scratch, At(list, i));
  CopyItem(list, At(list, i), At(list, j));
  CopyItem(list, At(list, j), scratch);
}

void MoveItem(LIST_Handle list, int32_t from, int32_t to) {
  if (from == to) return;
  size_t size = static_cast<size_t>(H(list)->itemSize);
  char* scratch = Scratch(list);
  CopyItem(list, scratch, At(list, from));
  if (from < to)
    std::memmove(At(list, from), At(list, from + 1), static_cast<size_t>(to - from) * size);
  else
    std::memmove(At(list, to + 1), At(list, to), static_cast<size_t>(from - to) * size);
  CopyItem(list, At(list, to), scratch);
}

}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LIST_Swap(int32_t i, int32_t j, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteSwap);
  if (ErrorCode err = Check(list, loc)) return err;
  int32_t count = H(list)->count;
  if (!ItemIndex(i, count) || !ItemIndex(j, count)) return Fail(loc, kErrRange, kVerbSet);
  SwapItems(list, i, j);
  return 0;
}

ErrorCode LIST_Move(int32_t from, int32_t to, LIST_Handle list, intptr_t /*data*/) {
  constexpr LocationCode loc = Loc(LIST_SiteMove);
  if (ErrorCode err = Check(list, loc)) return err;
  if (H(list)->busy != 0) return Fail(loc, LIST_ErrBusy, kVerbRemoveItem);
  int32_t count = H(list)->count;
  if (!ItemIndex(from, count)) return Fail(loc, kErrRange, kVerbRemoveItem);
  // to counts positions after the item has left: 0 .. count - 1, -1 the last.
  if (!ItemIndex(to, count)) return Fail(loc, kErrRange, kVerbInsert);
  MoveItem(list, from, to);
  return 0;
}

ErrorCode LIST_Reverse(LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteReverse);
  if (ErrorCode err = Check(list, loc)) return err;
  int32_t count = H(list)->count;
  for (int32_t i = 0, j = count - 1; i < j; ++i, --j) SwapItems(list, i, j);
  return 0;
}

ErrorCode LIST_Rotate(int32_t n, LIST_Handle list) {
  constexpr LocationCode loc = Loc(LIST_SiteRotate);
  if (ErrorCode err = Check(list, loc)) return err;
  int32_t count = H(list)->count;
  // An empty or one-item list is left alone (there is nothing to reduce the
  // shift by), and the shift is reduced in 64 bits so that -n cannot overflow.
  if (count < 2) return 0;
  int64_t s = (-static_cast<int64_t>(n)) % count;
  if (s < 0) s += count;
  if (s == 0) return 0;
  int64_t cycles = std::gcd(s, static_cast<int64_t>(count));
  char* scratch = Scratch(list);
  for (int64_t k = 0; k < cycles; ++k) {
    CopyItem(list, scratch, At(list, k));
    int64_t j = k;
    for (;;) {
      int64_t next = j + s;
      if (next >= count) next -= count;
      if (next == k) break;
      CopyItem(list, At(list, j), At(list, next));
      j = next;
    }
    CopyItem(list, At(list, j), scratch);
  }
  return 0;
}
