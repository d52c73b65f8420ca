// Inserting, removing, replacing and reading items.
#include "LIST_internal.h"

namespace tv::list {

namespace {

size_t ItemBytes(LIST_Handle list, int64_t n) {
  return static_cast<size_t>(n) * static_cast<size_t>(H(list)->itemSize);
}

void ZeroOut(void* out, size_t outSize) {
  if (out && outSize) std::memset(out, 0, outSize);
}

// Checks an insertion at index and grows the list by one block when it is full.
ErrorCode MakeRoom(LIST_Handle list, LocationCode loc, int32_t& index) {
  if (H(list)->busy != 0) return Fail(loc, LIST_ErrBusy, kVerbInsert);
  if (!InsertIndex(index, H(list)->count)) return Fail(loc, kErrRange, kVerbInsert);
  if (H(list)->count == H(list)->capacity) {
    if (ErrorCode err = Resize(list, loc, static_cast<int64_t>(H(list)->blocks) + 1, kVerbInsert, kActInsert))
      return err;
  }
  return 0;
}

// Opens a hole at index (room made): the tail moves up.
void OpenHole(LIST_Handle list, int32_t index) {
  int32_t count = H(list)->count;
  std::memmove(At(list, index + 1), At(list, index), ItemBytes(list, count - index));
  H(list)->count = count + 1;
}

// Closes the slot at index: the tail moves down.
void CloseHole(LIST_Handle list, int32_t index) {
  int32_t count = H(list)->count;
  std::memmove(At(list, index), At(list, index + 1), ItemBytes(list, count - index - 1));
  H(list)->count = count - 1;
}

}  // namespace

ErrorCode InsertAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index) {
  if (ErrorCode err = Check(list, loc)) return err;
  if (ErrorCode err = MakeRoom(list, loc, index)) return err;
  size_t size = ItemBytes(list, 1);
  // The item may lie inside this very list (a locked list hands out
  // addresses); then it is parked in the scratch slot before the tail moves.
  const char* source = static_cast<const char*>(item);
  auto address = reinterpret_cast<uintptr_t>(source);
  if (source && address >= reinterpret_cast<uintptr_t>(*list) &&
      address < reinterpret_cast<uintptr_t>(Scratch(list) + size)) {
    std::memmove(Scratch(list), source, size);
    source = Scratch(list);
  }
  OpenHole(list, index);
  if (source)
    std::memcpy(At(list, index), source, size);
  else
    std::memset(At(list, index), 0, size);
  return 0;
}

ErrorCode InsertCopyAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index, intptr_t data) {
  if (ErrorCode err = Check(list, loc)) return err;
  if (!H(list)->copy) return InsertAt(list, loc, item, index);
  if (!item) return Fail(loc, kErrBadParam, 0);
  if (ErrorCode err = MakeRoom(list, loc, index)) return err;
  // An item inside this (locked) list moves up with the tail.
  const char* source = static_cast<const char*>(item);
  if (source >= At(list, index) && source < At(list, H(list)->count)) source += H(list)->itemSize;
  OpenHole(list, index);
  std::memset(At(list, index), 0, ItemBytes(list, 1));
  ErrorCode err;
  {
    Hold hold(list);
    err = CallCopy(list, data, source, At(list, index));
  }
  if (err) CloseHole(list, index);  // a failed copy leaves the list as it was
  return err;
}

ErrorCode InsertSortedAt(LIST_Handle list, LocationCode loc, const void* item, const Comparator& cmp,
                         int32_t* index) {
  int32_t at = kNotFound;
  if (index) *index = kNotFound;
  if (ErrorCode err = SearchAt(list, loc, cmp, item, nullptr, nullptr, &at)) return err;
  if (ErrorCode err = InsertAt(list, loc, item, at)) return err;
  if (index) *index = at;
  return 0;
}

ErrorCode RemoveAt(LIST_Handle list, LocationCode loc, int32_t index, intptr_t data, void* out) {
  if (ErrorCode err = Check(list, loc)) return err;
  size_t outSize = ItemBytes(list, 1);
  if (H(list)->busy != 0) {
    ZeroOut(out, outSize);
    return Fail(loc, LIST_ErrBusy, kVerbRemoveItem);
  }
  if (!ItemIndex(index, H(list)->count)) {
    ZeroOut(out, outSize);
    return Fail(loc, kErrRange, kVerbRemoveItem);
  }
  ErrorCode result = 0;
  if (out) {
    std::memcpy(out, At(list, index), outSize);
  } else if (HasDispose(list)) {
    Hold hold(list);
    result = CallDispose(list, data, At(list, index));
  }
  // The item leaves the list whatever its dispose function answered, as a
  // range does.
  CloseHole(list, index);
  ErrorCode err = AutoCompact(list, loc);
  return result ? result : err;
}

ErrorCode RemoveByItemAt(LIST_Handle list, LocationCode loc, const void* item, const Comparator& cmp,
                         intptr_t data, int32_t* index) {
  int32_t at = kNotFound;
  if (index) *index = kNotFound;
  if (ErrorCode err = FindAt(list, loc, cmp, item, &at)) return err;
  if (at == kNotFound) return Fail(loc, LIST_ErrNotFound, kVerbRemove);
  if (ErrorCode err = RemoveAt(list, loc, at, data, nullptr)) return err;
  if (index) *index = at;
  return 0;
}

ErrorCode SetAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index, intptr_t data, void* out) {
  if (ErrorCode err = Check(list, loc)) return err;
  size_t outSize = ItemBytes(list, 1);
  if (!ItemIndex(index, H(list)->count)) {
    ZeroOut(out, outSize);
    return Fail(loc, kErrRange, kVerbSet);
  }
  if (out) {
    std::memcpy(out, At(list, index), outSize);
  } else if (HasDispose(list)) {
    ErrorCode err;
    {
      Hold hold(list);
      err = CallDispose(list, data, At(list, index));
    }
    // A failed disposal leaves the old item in place rather than losing it.
    if (err) return err;
  }
  if (item)
    std::memmove(At(list, index), item, ItemBytes(list, 1));
  else
    std::memset(At(list, index), 0, ItemBytes(list, 1));
  return 0;
}

ErrorCode GetAt(LIST_Handle list, LocationCode loc, int32_t index, void* out) {
  if (ErrorCode err = Check(list, loc)) return err;
  size_t outSize = ItemBytes(list, 1);
  if (!ItemIndex(index, H(list)->count)) {
    ZeroOut(out, outSize);
    return Fail(loc, kErrRange, kVerbGet);
  }
  if (out) std::memcpy(out, At(list, index), outSize);
  return 0;
}

ErrorCode GetCopyAt(LIST_Handle list, LocationCode loc, intptr_t data, int32_t index, void* out) {
  if (ErrorCode err = Check(list, loc)) return err;
  size_t outSize = ItemBytes(list, 1);
  if (!ItemIndex(index, H(list)->count)) {
    ZeroOut(out, outSize);
    return Fail(loc, kErrRange, kVerbGet);
  }
  if (!out) return Fail(loc, kErrBadParam, 0);
  Hold hold(list);
  ErrorCode err = CallCopy(list, data, At(list, index), out);
  if (err) ZeroOut(out, outSize);
  return err;
}

}  // namespace tv::list

using namespace tv;
using namespace tv::list;


ErrorCode LIST_Insert(const void* item, int32_t index, LIST_Handle list) {
  return InsertAt(list, Loc(LIST_SiteInsert), item, index);
}

ErrorCode LIST_InsertCopy(const void* item, int32_t index, LIST_Handle list, intptr_t data) {
  return InsertCopyAt(list, Loc(LIST_SiteInsertCopy), item, index, data);
}

ErrorCode LIST_InsertSorted(const void* item, LIST_CompareFunc compare, intptr_t data, LIST_Handle list,
                            int32_t* index) {
  constexpr LocationCode loc = Loc(LIST_SiteInsertSorted);
  if (index) *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!item) return Fail(loc, kErrBadParam, 0);
  return InsertSortedAt(list, loc, item, MakeComparator(list, data, compare, nullptr, false), index);
}

ErrorCode LIST_Remove(int32_t index, LIST_Handle list, intptr_t data, void* out) {
  return RemoveAt(list, Loc(LIST_SiteRemove), index, data, out);
}

ErrorCode LIST_RemoveByItem(const void* item, LIST_Handle list, intptr_t data, int32_t* index) {
  constexpr LocationCode loc = Loc(LIST_SiteRemoveByItem);
  if (index) *index = kNotFound;
  if (ErrorCode err = Check(list, loc)) return err;
  if (!item) return Fail(loc, kErrBadParam, 0);
  return RemoveByItemAt(list, loc, item, MakeComparator(list, data, nullptr, nullptr, false), data, index);
}

ErrorCode LIST_RemoveRange(int32_t start, int32_t n, LIST_Handle list, intptr_t data) {
  constexpr LocationCode loc = Loc(LIST_SiteRemoveRange);
  if (ErrorCode err = Check(list, loc)) return err;
  if (H(list)->busy != 0) return Fail(loc, LIST_ErrBusy, kVerbRemoveItem);
  int32_t count = H(list)->count;
  if (start == -1) start = count - 1;
  if (start < 0 || start > count) return Fail(loc, LIST_ErrInvalidRange, kVerbRemove);
  if (n == -1) n = count - start;
  if (n < 0 || n > count - start) return Fail(loc, LIST_ErrInvalidRange, kVerbRemove);
  if (n == 0) return 0;
  ErrorCode result = 0;
  if (HasDispose(list)) {
    Hold hold(list);
    for (int32_t i = start; i < start + n; ++i) {
      if ((result = CallDispose(list, data, At(list, i))) != 0) break;
    }
  }
  std::memmove(At(list, start), At(list, start + n), ItemBytes(list, count - start - n));
  H(list)->count = count - n;
  ErrorCode err = AutoCompact(list, loc);
  return result ? result : err;
}

ErrorCode LIST_SetItem(const void* item, int32_t index, LIST_Handle list, intptr_t data, void* out) {
  return SetAt(list, Loc(LIST_SiteSetItem), item, index, data, out);
}

ErrorCode LIST_GetItem(LIST_Handle list, int32_t index, void* out) {
  return GetAt(list, Loc(LIST_SiteGetItem), index, out);
}

ErrorCode LIST_GetItemCopy(LIST_Handle list, intptr_t data, int32_t index, void* out) {
  return GetCopyAt(list, Loc(LIST_SiteGetItemCopy), data, index, out);
}
