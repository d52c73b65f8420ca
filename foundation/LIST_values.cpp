// The value operations: lists of genuine 32-bit values ("4") and lists of
// pointer-sized values ("P": handles and pointers). They take and return item
// values, and their callbacks receive values; without a comparison function
// values are ordered as signed numbers.
#include "LIST_internal.h"

namespace tv::list {
namespace {

// The operations of one value family: V is int32_t or intptr_t.
template <class V>
struct Values {
  static constexpr uint32_t kBase = sizeof(V) == 4 ? LIST_SiteValue4 : LIST_SiteValueP;
  static constexpr int32_t kNeedsText = sizeof(V) == 4 ? kTextNeeds4 : kTextNeedsPointer;
  enum Op : uint32_t {
    kInsert, kInsertSorted, kInsertCopy, kRemove, kRemoveByItem, kSetItem,
    kGetItem, kGetItemCopy, kGetItemPos, kGetSortedItem, kForEach, kForRange,
  };
  static constexpr LocationCode L(Op op) { return Loc(kBase + op); }

  static ErrorCode Need(LIST_Handle list, LocationCode loc) {
    if (ErrorCode err = Check(list, loc)) return err;
    if (H(list)->itemSize != static_cast<int32_t>(sizeof(V))) return FailText(loc, kErrBadParam, kNeedsText);
    return 0;
  }
  template <class T>
  static void Clear(T* out, T value) {
    if (out) *out = value;
  }

  static ErrorCode Insert(V item, int32_t index, LIST_Handle list) {
    if (ErrorCode err = Need(list, L(kInsert))) return err;
    return InsertAt(list, L(kInsert), &item, index);
  }
  static ErrorCode InsertSorted(V item, LIST_CompareValueFunc compare, intptr_t data, LIST_Handle list,
                                int32_t* index) {
    Clear(index, kNotFound);
    if (ErrorCode err = Need(list, L(kInsertSorted))) return err;
    return InsertSortedAt(list, L(kInsertSorted), &item, MakeComparator(list, data, nullptr, compare, true), index);
  }
  static ErrorCode InsertCopy(V item, int32_t index, LIST_Handle list, intptr_t data) {
    if (ErrorCode err = Need(list, L(kInsertCopy))) return err;
    return InsertCopyAt(list, L(kInsertCopy), &item, index, data);
  }
  static ErrorCode Remove(int32_t index, LIST_Handle list, intptr_t data, V* out) {
    Clear(out, V{0});
    if (ErrorCode err = Need(list, L(kRemove))) return err;
    return RemoveAt(list, L(kRemove), index, data, out);
  }
  static ErrorCode RemoveByItem(V item, LIST_Handle list, intptr_t data, int32_t* index) {
    Clear(index, kNotFound);
    if (ErrorCode err = Need(list, L(kRemoveByItem))) return err;
    return RemoveByItemAt(list, L(kRemoveByItem), &item, MakeComparator(list, data, nullptr, nullptr, true), data,
                          index);
  }
  static ErrorCode SetItem(V item, int32_t index, LIST_Handle list, intptr_t data, V* out) {
    Clear(out, V{0});
    if (ErrorCode err = Need(list, L(kSetItem))) return err;
    return SetAt(list, L(kSetItem), &item, index, data, out);
  }
  static ErrorCode GetItem(LIST_Handle list, int32_t index, V* out) {
    Clear(out, V{0});
    if (ErrorCode err = Need(list, L(kGetItem))) return err;
    return GetAt(list, L(kGetItem), index, out);
  }
  static ErrorCode GetItemCopy(LIST_Handle list, intptr_t data, int32_t index, V* out) {
    Clear(out, V{0});
    if (ErrorCode err = Need(list, L(kGetItemCopy))) return err;
    return GetCopyAt(list, L(kGetItemCopy), data, index, out);
  }
  static ErrorCode GetItemPos(LIST_Handle list, intptr_t data, V key, int32_t* index) {
    Clear(index, kNotFound);
    if (ErrorCode err = Need(list, L(kGetItemPos))) return err;
    int32_t at = kNotFound;
    ErrorCode err = FindAt(list, L(kGetItemPos), MakeComparator(list, data, nullptr, nullptr, true), &key, &at);
    Clear(index, at);
    return err;
  }
  static ErrorCode GetSortedItem(LIST_Handle list, LIST_CompareValueFunc compare, intptr_t data, V key,
                                 Boolean32* found, V* out, int32_t* index) {
    Clear(found, 0);
    Clear(out, V{0});
    Clear(index, kNotFound);
    if (ErrorCode err = Need(list, L(kGetSortedItem))) return err;
    return SearchAt(list, L(kGetSortedItem), MakeComparator(list, data, nullptr, compare, true), &key, found, out,
                    index);
  }
  // The walkers mark the list busy but do not lock it: the callbacks see
  // values, never addresses.
  static ErrorCode ForEach(LIST_Handle list, intptr_t data, LIST_ForEachValueFunc fn, int32_t* reached) {
    Clear(reached, 0);
    if (ErrorCode err = Need(list, L(kForEach))) return err;
    if (!fn) return Fail(L(kForEach), kErrBadParam, 0);
    int32_t count = H(list)->count;
    if (count == 0) return 0;
    return Walk(
        list, L(kForEach), 0, count - 1, false,
        [&](int32_t i, char* item) { return fn(list, data, i, LoadValue(item, sizeof(V))); }, reached);
  }
  static ErrorCode ForRange(LIST_Handle list, int32_t first, int32_t last, intptr_t data, LIST_ForEachValueFunc fn,
                            int32_t* reached) {
    Clear(reached, kNotFound);
    if (ErrorCode err = Need(list, L(kForRange))) return err;
    if (!fn) return Fail(L(kForRange), kErrBadParam, 0);
    int32_t count = H(list)->count;
    if (!ItemIndex(first, count) || !ItemIndex(last, count)) return Fail(L(kForRange), kErrRange, kVerbGet);
    return Walk(
        list, L(kForRange), first, last, false,
        [&](int32_t i, char* item) { return fn(list, data, i, LoadValue(item, sizeof(V))); }, reached);
  }
};

using V4 = Values<int32_t>;
using VP = Values<intptr_t>;

}  // namespace
}  // namespace tv::list

using namespace tv::list;

ErrorCode LIST_Insert4(int32_t item, int32_t index, LIST_Handle list) { return V4::Insert(item, index, list); }
ErrorCode LIST_Insert4Sorted(int32_t item, LIST_CompareValueFunc compare, intptr_t data, LIST_Handle list,
                             int32_t* index) {
  return V4::InsertSorted(item, compare, data, list, index);
}
ErrorCode LIST_Insert4Copy(int32_t item, int32_t index, LIST_Handle list, intptr_t data) {
  return V4::InsertCopy(item, index, list, data);
}
ErrorCode LIST_Remove4(int32_t index, LIST_Handle list, intptr_t data, int32_t* out) {
  return V4::Remove(index, list, data, out);
}
ErrorCode LIST_Remove4ByItem(int32_t item, LIST_Handle list, intptr_t data, int32_t* index) {
  return V4::RemoveByItem(item, list, data, index);
}
ErrorCode LIST_Set4Item(int32_t item, int32_t index, LIST_Handle list, intptr_t data, int32_t* out) {
  return V4::SetItem(item, index, list, data, out);
}
ErrorCode LIST_Get4Item(LIST_Handle list, int32_t index, int32_t* out) { return V4::GetItem(list, index, out); }
ErrorCode LIST_Get4ItemCopy(LIST_Handle list, intptr_t data, int32_t index, int32_t* out) {
  return V4::GetItemCopy(list, data, index, out);
}
ErrorCode LIST_Get4ItemPos(LIST_Handle list, intptr_t data, int32_t key, int32_t* index) {
  return V4::GetItemPos(list, data, key, index);
}
ErrorCode LIST_GetSorted4Item(LIST_Handle list, LIST_CompareValueFunc compare, intptr_t data, int32_t key,
                              Boolean32* found, int32_t* out, int32_t* index) {
  return V4::GetSortedItem(list, compare, data, key, found, out, index);
}
ErrorCode LIST_ForEach4(LIST_Handle list, intptr_t data, LIST_ForEachValueFunc fn, int32_t* reached) {
  return V4::ForEach(list, data, fn, reached);
}
ErrorCode LIST_ForRange4(LIST_Handle list, int32_t first, int32_t last, intptr_t data, LIST_ForEachValueFunc fn,
                         int32_t* reached) {
  return V4::ForRange(list, first, last, data, fn, reached);
}

ErrorCode LIST_InsertP(intptr_t item, int32_t index, LIST_Handle list) { return VP::Insert(item, index, list); }
ErrorCode LIST_InsertPSorted(intptr_t item, LIST_CompareValueFunc compare, intptr_t data, LIST_Handle list,
                             int32_t* index) {
  return VP::InsertSorted(item, compare, data, list, index);
}
ErrorCode LIST_InsertPCopy(intptr_t item, int32_t index, LIST_Handle list, intptr_t data) {
  return VP::InsertCopy(item, index, list, data);
}
ErrorCode LIST_RemoveP(int32_t index, LIST_Handle list, intptr_t data, intptr_t* out) {
  return VP::Remove(index, list, data, out);
}
ErrorCode LIST_RemovePByItem(intptr_t item, LIST_Handle list, intptr_t data, int32_t* index) {
  return VP::RemoveByItem(item, list, data, index);
}
ErrorCode LIST_SetPItem(intptr_t item, int32_t index, LIST_Handle list, intptr_t data, intptr_t* out) {
  return VP::SetItem(item, index, list, data, out);
}
ErrorCode LIST_GetPItem(LIST_Handle list, int32_t index, intptr_t* out) { return VP::GetItem(list, index, out); }
ErrorCode LIST_GetPItemCopy(LIST_Handle list, intptr_t data, int32_t index, intptr_t* out) {
  return VP::GetItemCopy(list, data, index, out);
}
ErrorCode LIST_GetPItemPos(LIST_Handle list, intptr_t data, intptr_t key, int32_t* index) {
  return VP::GetItemPos(list, data, key, index);
}
ErrorCode LIST_GetSortedPItem(LIST_Handle list, LIST_CompareValueFunc compare, intptr_t data, intptr_t key,
                              Boolean32* found, intptr_t* out, int32_t* index) {
  return VP::GetSortedItem(list, compare, data, key, found, out, index);
}
ErrorCode LIST_ForEachP(LIST_Handle list, intptr_t data, LIST_ForEachValueFunc fn, int32_t* reached) {
  return VP::ForEach(list, data, fn, reached);
}
ErrorCode LIST_ForRangeP(LIST_Handle list, int32_t first, int32_t last, intptr_t data, LIST_ForEachValueFunc fn,
                         int32_t* reached) {
  return VP::ForRange(list, first, last, data, fn, reached);
}
