// Searching (linear and binary) and walking over items.
#include "LIST_internal.h"

namespace tv::list {

Comparator MakeComparator(LIST_Handle list, intptr_t data, LIST_CompareFunc byAddress,
                          LIST_CompareValueFunc byValue, bool valueDefault) {
  Comparator c;
  const Header* h = H(list);
  c.data = data;
  c.list = list;
  c.size = h->itemSize;
  bool values = h->itemSize == 4 || h->itemSize == static_cast<int32_t>(sizeof(intptr_t));
  if (byAddress) {
    c.kind = Comparator::Kind::Address;
    c.byAddress = byAddress;
  } else if (byValue && values) {
    c.kind = Comparator::Kind::Value;
    c.byValue = byValue;
  } else if (h->compare && (h->flags & LIST_FlagCompareByValue) && values) {
    c.kind = Comparator::Kind::Value;
    c.byValue = reinterpret_cast<LIST_CompareValueFunc>(h->compare);
  } else if (h->compare && !(h->flags & LIST_FlagCompareByValue)) {
    c.kind = Comparator::Kind::Address;
    c.byAddress = reinterpret_cast<LIST_CompareFunc>(h->compare);
  } else if (values && (valueDefault || (h->flags & LIST_FlagCompareByValue))) {
    c.kind = Comparator::Kind::Values;
  } else {
    c.kind = Comparator::Kind::Bytes;
  }
  return c;
}

ErrorCode FindAt(LIST_Handle list, LocationCode loc, const Comparator& cmp, const void* key, int32_t* index) {
  *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  Hold hold(list);
  int32_t count = H(list)->count;
  for (int32_t i = 0; i < count; ++i) {
    if (cmp(key, At(list, i)) == 0) {
      *index = i;
      break;
    }
  }
  return 0;
}

ErrorCode SearchAt(LIST_Handle list, LocationCode loc, const Comparator& cmp, const void* key, Boolean32* found,
                   void* out, int32_t* index) {
  if (found) *found = 0;
  if (index) *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  size_t itemSize = static_cast<size_t>(H(list)->itemSize);
  if (out) std::memset(out, 0, itemSize);
  int32_t count = H(list)->count;
  int32_t lo = -1, hi = count;
  bool equal = false;
  {
    Hold hold(list);
    while (lo + 1 != hi) {
      int32_t mid = lo + (hi - lo) / 2;  // cannot overflow, unlike (lo + hi) / 2
      if (cmp(key, At(list, mid)) < 1)
        hi = mid;
      else
        lo = mid;
    }
    equal = hi < count && cmp(key, At(list, hi)) == 0;
  }
  if (equal) {
    if (found) *found = 1;
    if (out) std::memcpy(out, At(list, hi), itemSize);
  }
  if (index) *index = hi;
  return 0;
}

}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LIST_GetItemPos(LIST_Handle list, intptr_t data, const void* key, int32_t* index) {
  constexpr LocationCode loc = Loc(LIST_SiteGetItemPos);
  int32_t at = kNotFound;
  if (index) *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!key) return Fail(loc, kErrBadParam, 0);
  ErrorCode err = FindAt(list, loc, MakeComparator(list, data, nullptr, nullptr, false), key, &at);
  if (index) *index = at;
  return err;
}

ErrorCode LIST_GetSortedItem(LIST_Handle list, LIST_CompareFunc compare, intptr_t data, const void* key,
                             Boolean32* found, void* out, int32_t* index) {
  constexpr LocationCode loc = Loc(LIST_SiteGetSortedItem);
  if (found) *found = 0;
  if (index) *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!key) return Fail(loc, kErrBadParam, 0);
  return SearchAt(list, loc, MakeComparator(list, data, compare, nullptr, false), key, found, out, index);
}

ErrorCode LIST_ForEach(LIST_Handle list, intptr_t data, LIST_ForEachFunc fn, int32_t* reached) {
  constexpr LocationCode loc = Loc(LIST_SiteForEach);
  if (reached) *reached = 0;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!fn) return Fail(loc, kErrBadParam, 0);
  int32_t count = H(list)->count;
  if (count == 0) return 0;
  return Walk(
      list, loc, 0, count - 1, true, [&](int32_t i, char* item) { return fn(list, data, i, item); }, reached);
}

ErrorCode LIST_ForRange(LIST_Handle list, int32_t first, int32_t last, intptr_t data, LIST_ForEachFunc fn,
                        int32_t* reached) {
  constexpr LocationCode loc = Loc(LIST_SiteForRange);
  if (reached) *reached = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!fn) return Fail(loc, kErrBadParam, 0);
  int32_t count = H(list)->count;
  if (!ItemIndex(first, count) || !ItemIndex(last, count)) return Fail(loc, kErrRange, kVerbGet);
  return Walk(
      list, loc, first, last, true, [&](int32_t i, char* item) { return fn(list, data, i, item); }, reached);
}
