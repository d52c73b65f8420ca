// LIST: growable arrays of fixed-size items kept in one handle. The block
// starts with a header (magic, user long, count, blocks, item size, block
// size, minimum blocks, capacity, flags, lock count, busy count and the three
// item functions) followed by capacity + 1 items; the extra item is a scratch
// slot used when rearranging. The list grows and shrinks a block of items at
// a time.
//
// Positions are signed 32-bit; -1 addresses the last item (for insertion: the
// place after the last item) and 0x80000000 means "not found".
//
// What callers may rely on:
// - Failures are reported once, here, at severity 8 with a location of
//   package 27 and the operation's site (LIST_Site*), except a null required
//   out-pointer, which answers 3. Every operation on a list answers 3 for a
//   null list and 2 for a handle whose header is not a sound list header.
// - Out-parameters receive their invalid value on failure: null handles, 0
//   counts and sizes, 0x80000000 positions, Boolean false, zeroed items.
// - A failed operation leaves the list as it was, except where an entry says
//   otherwise. Codes of the item functions are passed up unchanged.
// - Growth: 10 when the list would exceed LIST_MaxItems items or 4 GB, 4 out
//   of memory, 0x1B02 when a locked list would have to change its block. A
//   locked list never moves; removals from it do not compact it.
// - While item functions or walkers run, the list is busy: operations that
//   change its length answer 0x1B01. Single thread.
//
// Item functions take the item's address, except those installed "by value"
// (LIST_Set4Funcs), which receive the item's value: a 4-byte item sign-extended
// to intptr_t, or a pointer-sized item as is. The "4" operations work on lists
// of genuine 32-bit values; the "P" operations on lists of pointer-sized values
// (handles, pointers).
#pragma once

#include "STR.h"
#include "Types.h"

typedef Handle LIST_Handle;

enum {
  LIST_PackageNumber = 27,
  LIST_MaxItems = 2000000000,
};

// The LIST package's own codes.
enum {
  LIST_ErrBusy = 0x1B01,          // the list is read-only while busy
  LIST_ErrLocked = 0x1B02,        // the list is locked and cannot change size
  LIST_ErrUnlocked = 0x1B03,      // the list must be locked
  LIST_ErrInvalidRange = 0x1B04,  // a range outside the list
  LIST_ErrNotFound = 0x1B05,      // the item to remove is not in the list
  LIST_ErrBadFileData = 0x1B06,   // invalid list information in a file
};

// Header flags.
enum {
  LIST_FlagNoCompact = 0x1,       // no automatic compaction on removal
  LIST_CreationFlags = 0x7,       // the flags kept by clone and file
  LIST_FlagCopyByValue = 0x100,   // the copy function takes items by value
  LIST_FlagDisposeByValue = 0x200,
  LIST_FlagCompareByValue = 0x400,
};

// Lock modes.
enum {
  LIST_LockInPlace = 1,
  LIST_LockHigh = 2,  // move the block high before locking it
};

// Item functions. `data` is the value the caller handed through.
typedef ErrorCode (*LIST_CopyFunc)(intptr_t data, LIST_Handle list, const void* source, void* destination);
typedef ErrorCode (*LIST_DisposeFunc)(intptr_t data, LIST_Handle list, void* item);
// Negative, 0 or positive as a is before, equal to or after b.
typedef int32_t (*LIST_CompareFunc)(intptr_t data, LIST_Handle list, const void* a, const void* b);
// By-value forms.
typedef ErrorCode (*LIST_CopyValueFunc)(intptr_t data, LIST_Handle list, intptr_t source, void* destination);
typedef ErrorCode (*LIST_DisposeValueFunc)(intptr_t data, LIST_Handle list, intptr_t item);
typedef int32_t (*LIST_CompareValueFunc)(intptr_t data, LIST_Handle list, intptr_t a, intptr_t b);
// Walkers: a non-zero result stops the walk and is returned.
typedef ErrorCode (*LIST_ForEachFunc)(LIST_Handle list, intptr_t data, int32_t index, void* item);
typedef ErrorCode (*LIST_ForEachValueFunc)(LIST_Handle list, intptr_t data, int32_t index, intptr_t item);

// One slot of LIST_SetFuncs: a copy, dispose or compare function of either
// form, cast to this type; 0 leaves the slot, LIST_FUNC_REMOVE clears it.
typedef void (*LIST_Func)(void);
#define LIST_FUNC_REMOVE ((LIST_Func)(intptr_t)-1)
enum { LIST_FuncCopy = 0, LIST_FuncDispose = 1, LIST_FuncCompare = 2, LIST_FuncCount = 3 };

// Report sites (location = (27 << 24) | site).
enum {
  LIST_SiteNew = 1,
  LIST_SiteDispose = 2,
  LIST_SiteDuplicate = 3,
  LIST_SiteClone = 4,
  LIST_SiteSetFuncs = 5,
  LIST_SiteGetFuncs = 6,
  LIST_SiteLock = 7,
  LIST_SiteUnlock = 8,
  LIST_SiteGetAddress = 9,
  LIST_SiteAccessors = 10,
  LIST_SiteSetNumItems = 11,
  LIST_SiteReserveSpace = 12,
  LIST_SiteCompact = 13,
  LIST_SiteSetBlockSize = 14,
  LIST_SiteInsert = 15,
  LIST_SiteInsertCopy = 16,
  LIST_SiteInsertSorted = 17,
  LIST_SiteRemove = 18,
  LIST_SiteRemoveByItem = 19,
  LIST_SiteRemoveRange = 20,
  LIST_SiteSetItem = 21,
  LIST_SiteGetItem = 22,
  LIST_SiteGetItemCopy = 23,
  LIST_SiteGetItemPos = 24,
  LIST_SiteGetSortedItem = 25,
  LIST_SiteForEach = 26,
  LIST_SiteForRange = 27,
  LIST_SiteSwap = 28,
  LIST_SiteMove = 29,
  LIST_SiteReverse = 30,
  LIST_SiteRotate = 31,
  LIST_SiteSort = 32,
  LIST_SiteQuickSort = 33,
  LIST_SiteIsSorted = 34,
  // The value forms: 4-byte at 40 + n, pointer-sized at 60 + n, where n is
  // 0 Insert, 1 InsertSorted, 2 InsertCopy, 3 Remove, 4 RemoveByItem, 5 SetItem,
  // 6 GetItem, 7 GetItemCopy, 8 GetItemPos, 9 GetSortedItem, 10 ForEach, 11 ForRange.
  LIST_SiteValue4 = 40,
  LIST_SiteValueP = 60,
};

TV_EXPORT uint32_t LIST_PkgObjectVersion(void);
TV_EXPORT ErrorCode LIST_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table LISTp_G_STRs;
// The number of lists alive (made by New, Duplicate, Clone or Read, not yet
// disposed); 3 for a null count.
TV_EXPORT ErrorCode LISTp_GetLiveCount(int32_t* count);

// ---- Lifetime and functions ---------------------------------------------------
// 3 for an item or block size below 1 or negative blocks, 10 for a list too
// big, 4; also the string table's installation codes. *list null on failure.
TV_EXPORT ErrorCode LIST_New(uint32_t flags, int32_t itemSize, int32_t blockSize, int32_t initialBlocks,
                             LIST_Handle* list);
// A null list is nothing to do (0). 0x1B01 while busy (nothing freed).
// Otherwise the list is freed whatever the dispose function answers; its
// first non-zero answer is returned.
TV_EXPORT ErrorCode LIST_Dispose(LIST_Handle list, intptr_t data);
// Copies every item through the copy function (or byte for byte): 4, or the
// copy function's code (the items copied so far are disposed again); *copy null.
TV_EXPORT ErrorCode LIST_Duplicate(LIST_Handle list, intptr_t data, LIST_Handle* copy);
// An empty list with the same layout, flags, user long and functions; as
// LIST_New on failure (*clone null).
TV_EXPORT ErrorCode LIST_Clone(LIST_Handle list, LIST_Handle* clone);
// Sets the first n slots: 3 for n outside 0..3 or null funcs with n > 0; the
// value forms also 3 unless items are 4 bytes or pointer-sized.
TV_EXPORT ErrorCode LIST_SetFuncs(LIST_Handle list, int32_t n, const LIST_Func funcs[3]);
TV_EXPORT ErrorCode LIST_Set4Funcs(LIST_Handle list, int32_t n, const LIST_Func funcs[3]);
// funcs (null: 3) is cleared on failure. LIST_GetFuncs gives LIST_FUNC_REMOVE
// for a slot holding a by-value function.
TV_EXPORT ErrorCode LIST_GetFuncs(LIST_Handle list, LIST_Func funcs[3]);
TV_EXPORT ErrorCode LIST_Get4Funcs(LIST_Handle list, LIST_Func funcs[3]);

// ---- Locking and addresses ------------------------------------------------------
// Locks nest (up to 65535: then 10). Unlock: 0x1B03 when not locked.
TV_EXPORT ErrorCode LIST_Lock(int32_t mode, LIST_Handle list);
TV_EXPORT ErrorCode LIST_Unlock(LIST_Handle list);
// The address of an item of a locked list (lockMode > 0 locks it first; that
// lock is given back on failure): 0x1B03 when not locked, 10 for an index
// outside the list; *address null on failure.
TV_EXPORT ErrorCode LIST_GetAddress(LIST_Handle list, int32_t index, int32_t lockMode, void** address);

// ---- Accessors and size ----------------------------------------------------------
// Null out-pointers are allowed here. On failure: count, value and item size
// 0, *empty 1.
TV_EXPORT ErrorCode LIST_GetNumItems(LIST_Handle list, int32_t* count);
TV_EXPORT ErrorCode LIST_IsEmpty(LIST_Handle list, Boolean32* empty);
TV_EXPORT ErrorCode LIST_SetUserLong(LIST_Handle list, int32_t value);
TV_EXPORT ErrorCode LIST_GetUserLong(LIST_Handle list, int32_t* value);
TV_EXPORT ErrorCode LIST_GetItemSize(LIST_Handle list, int32_t* itemSize);
// Grows with zeroed items or shrinks, disposing the removed items from the
// end: 10 for n outside 0..LIST_MaxItems, 0x1B01, growth codes. A dispose
// failure stops the shrinking there and is returned.
TV_EXPORT ErrorCode LIST_SetNumItems(int32_t n, LIST_Handle list, intptr_t data);
// Growth codes.
TV_EXPORT ErrorCode LIST_ReserveSpace(int32_t extra, LIST_Handle list);
TV_EXPORT ErrorCode LIST_Compact(LIST_Handle list);
// 3 for a size below 1; growth codes.
TV_EXPORT ErrorCode LIST_SetBlockSize(int32_t size, LIST_Handle list);

// ---- Items --------------------------------------------------------------------------
// Insertions: 0x1B01 while busy, 10 for a position outside 0..count (-1:
// the end), growth codes. A null item inserts zeros (InsertCopy with a copy
// function: 3); a failed copy function leaves the list as it was.
// InsertSorted: 3 for a null item; *index (may be null) is where it went.
TV_EXPORT ErrorCode LIST_Insert(const void* item, int32_t index, LIST_Handle list);
TV_EXPORT ErrorCode LIST_InsertCopy(const void* item, int32_t index, LIST_Handle list, intptr_t data);
TV_EXPORT ErrorCode LIST_InsertSorted(const void* item, LIST_CompareFunc compare, intptr_t data,
                                      LIST_Handle list, int32_t* index);
// Removals: 0x1B01 while busy, 10 for an index outside the list (out, when
// given, is zeroed). With out the item is moved there, else disposed; the
// item leaves the list even when the dispose function fails (its code is
// returned). RemoveByItem: 3 for a null item, 0x1B05 when absent (*index
// 0x80000000). RemoveRange: 0x1B04 for a range outside the list.
TV_EXPORT ErrorCode LIST_Remove(int32_t index, LIST_Handle list, intptr_t data, void* out);
TV_EXPORT ErrorCode LIST_RemoveByItem(const void* item, LIST_Handle list, intptr_t data, int32_t* index);
TV_EXPORT ErrorCode LIST_RemoveRange(int32_t start, int32_t n, LIST_Handle list, intptr_t data);
// 10 for an index outside the list (out, when given, zeroed). Without out the
// old item is disposed first; a failed dispose keeps it in place. A null item
// stores zeros.
TV_EXPORT ErrorCode LIST_SetItem(const void* item, int32_t index, LIST_Handle list, intptr_t data, void* out);
// 10 for an index outside the list; out zeroed on failure. GetItem allows a
// null out (a range check); GetItemCopy answers 3 for it, and the copy
// function's code (out zeroed).
TV_EXPORT ErrorCode LIST_GetItem(LIST_Handle list, int32_t index, void* out);
TV_EXPORT ErrorCode LIST_GetItemCopy(LIST_Handle list, intptr_t data, int32_t index, void* out);

// ---- Searching and walking ------------------------------------------------------------
// 3 for a null key. Not finding is success: *index 0x80000000 (GetSortedItem:
// *found 0 and *index the place it would go). Out-pointers may be null.
TV_EXPORT ErrorCode LIST_GetItemPos(LIST_Handle list, intptr_t data, const void* key, int32_t* index);
TV_EXPORT ErrorCode LIST_GetSortedItem(LIST_Handle list, LIST_CompareFunc compare, intptr_t data,
                                       const void* key, Boolean32* found, void* out, int32_t* index);
// 3 for a null fn; ForRange: 10 for an end outside the list. The first
// non-zero answer of fn stops the walk and is returned; *reached (may be
// null) is the index where the walk stopped.
TV_EXPORT ErrorCode LIST_ForEach(LIST_Handle list, intptr_t data, LIST_ForEachFunc fn, int32_t* reached);
TV_EXPORT ErrorCode LIST_ForRange(LIST_Handle list, int32_t first, int32_t last, intptr_t data,
                                  LIST_ForEachFunc fn, int32_t* reached);

// ---- Rearranging and sorting ------------------------------------------------------------
// Swap, Move: 10 for an index outside the list; Move also 0x1B01 while busy.
// Sort is stable; QuickSort promises no order among equal items. Neither
// fails once the list is checked, whatever the compare function answers.
// IsSorted: *sorted (may be null) 0 on failure.
TV_EXPORT ErrorCode LIST_Swap(int32_t i, int32_t j, LIST_Handle list);
TV_EXPORT ErrorCode LIST_Move(int32_t from, int32_t to, LIST_Handle list, intptr_t data);
TV_EXPORT ErrorCode LIST_Reverse(LIST_Handle list);
TV_EXPORT ErrorCode LIST_Rotate(int32_t n, LIST_Handle list);
TV_EXPORT ErrorCode LIST_Sort(LIST_CompareFunc compare, intptr_t data, LIST_Handle list);
TV_EXPORT ErrorCode LIST_QuickSort(LIST_CompareFunc compare, intptr_t data, LIST_Handle list);
TV_EXPORT ErrorCode LIST_IsSorted(LIST_Handle list, LIST_CompareFunc compare, intptr_t data, Boolean32* sorted);

// ---- Lists of 4-byte values ---------------------------------------------------------------
// As the item operations above, on items passed by value; every one also
// answers 3 when the list's items are not 4 bytes (P: not pointer-sized).
TV_EXPORT ErrorCode LIST_Insert4(int32_t item, int32_t index, LIST_Handle list);
TV_EXPORT ErrorCode LIST_Insert4Sorted(int32_t item, LIST_CompareValueFunc compare, intptr_t data,
                                       LIST_Handle list, int32_t* index);
TV_EXPORT ErrorCode LIST_Insert4Copy(int32_t item, int32_t index, LIST_Handle list, intptr_t data);
TV_EXPORT ErrorCode LIST_Remove4(int32_t index, LIST_Handle list, intptr_t data, int32_t* out);
TV_EXPORT ErrorCode LIST_Remove4ByItem(int32_t item, LIST_Handle list, intptr_t data, int32_t* index);
TV_EXPORT ErrorCode LIST_Set4Item(int32_t item, int32_t index, LIST_Handle list, intptr_t data, int32_t* out);
TV_EXPORT ErrorCode LIST_Get4Item(LIST_Handle list, int32_t index, int32_t* out);
TV_EXPORT ErrorCode LIST_Get4ItemCopy(LIST_Handle list, intptr_t data, int32_t index, int32_t* out);
TV_EXPORT ErrorCode LIST_Get4ItemPos(LIST_Handle list, intptr_t data, int32_t key, int32_t* index);
TV_EXPORT ErrorCode LIST_GetSorted4Item(LIST_Handle list, LIST_CompareValueFunc compare, intptr_t data,
                                        int32_t key, Boolean32* found, int32_t* out, int32_t* index);
TV_EXPORT ErrorCode LIST_ForEach4(LIST_Handle list, intptr_t data, LIST_ForEachValueFunc fn, int32_t* reached);
TV_EXPORT ErrorCode LIST_ForRange4(LIST_Handle list, int32_t first, int32_t last, intptr_t data,
                                   LIST_ForEachValueFunc fn, int32_t* reached);

// ---- Lists of pointer-sized values (handles, pointers) ------------------------------------
TV_EXPORT ErrorCode LIST_InsertP(intptr_t item, int32_t index, LIST_Handle list);
TV_EXPORT ErrorCode LIST_InsertPSorted(intptr_t item, LIST_CompareValueFunc compare, intptr_t data,
                                       LIST_Handle list, int32_t* index);
TV_EXPORT ErrorCode LIST_InsertPCopy(intptr_t item, int32_t index, LIST_Handle list, intptr_t data);
TV_EXPORT ErrorCode LIST_RemoveP(int32_t index, LIST_Handle list, intptr_t data, intptr_t* out);
TV_EXPORT ErrorCode LIST_RemovePByItem(intptr_t item, LIST_Handle list, intptr_t data, int32_t* index);
TV_EXPORT ErrorCode LIST_SetPItem(intptr_t item, int32_t index, LIST_Handle list, intptr_t data, intptr_t* out);
TV_EXPORT ErrorCode LIST_GetPItem(LIST_Handle list, int32_t index, intptr_t* out);
TV_EXPORT ErrorCode LIST_GetPItemCopy(LIST_Handle list, intptr_t data, int32_t index, intptr_t* out);
TV_EXPORT ErrorCode LIST_GetPItemPos(LIST_Handle list, intptr_t data, intptr_t key, int32_t* index);
TV_EXPORT ErrorCode LIST_GetSortedPItem(LIST_Handle list, LIST_CompareValueFunc compare, intptr_t data,
                                        intptr_t key, Boolean32* found, intptr_t* out, int32_t* index);
TV_EXPORT ErrorCode LIST_ForEachP(LIST_Handle list, intptr_t data, LIST_ForEachValueFunc fn, int32_t* reached);
TV_EXPORT ErrorCode LIST_ForRangeP(LIST_Handle list, int32_t first, int32_t last, intptr_t data,
                                   LIST_ForEachValueFunc fn, int32_t* reached);

#ifdef __cplusplus
#include <span>
#include <type_traits>

namespace tv::list {

// Item functions in the slot type of LIST_SetFuncs.
template <class F>
LIST_Func AsFunc(F f) {
  return reinterpret_cast<LIST_Func>(f);
}

// A typed view of a list of T for internal callers. It holds nothing but the
// handle: the list owns every piece of state. Items are reached through the
// exported operations or through a Locked span, never through raw offsets.
template <class T>
class List {
  static_assert(std::is_trivially_copyable_v<T>, "list items move byte for byte");

 public:
  List() = default;
  explicit List(LIST_Handle handle) : handle_(handle) {}

  // Makes a new list of T (the view stays empty on failure).
  static ErrorCode Create(List& out, int32_t blockSize, int32_t initialBlocks = 1, uint32_t flags = 0) {
    out.handle_ = nullptr;
    return LIST_New(flags, static_cast<int32_t>(sizeof(T)), blockSize, initialBlocks, &out.handle_);
  }
  ErrorCode Dispose(intptr_t data = 0) {
    ErrorCode err = LIST_Dispose(handle_, data);
    handle_ = nullptr;
    return err;
  }

  LIST_Handle handle() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  int32_t size() const {
    int32_t n = 0;
    return LIST_GetNumItems(handle_, &n) == 0 ? n : 0;
  }
  ErrorCode Get(int32_t index, T& out) const { return LIST_GetItem(handle_, index, &out); }
  ErrorCode Set(int32_t index, const T& item, intptr_t data = 0) {
    return LIST_SetItem(&item, index, handle_, data, nullptr);
  }
  ErrorCode Insert(const T& item, int32_t index = -1) { return LIST_Insert(&item, index, handle_); }
  ErrorCode Append(const T& item) { return LIST_Insert(&item, -1, handle_); }
  ErrorCode Remove(int32_t index, T* out = nullptr, intptr_t data = 0) {
    return LIST_Remove(index, handle_, data, out);
  }
  ErrorCode InsertSorted(const T& item, LIST_CompareFunc compare, intptr_t data, int32_t* index = nullptr) {
    int32_t at = 0;
    return LIST_InsertSorted(&item, compare, data, handle_, index ? index : &at);
  }

  // Locks the list while it lives and exposes its items as a span; check ok().
  class Locked {
   public:
    explicit Locked(const List& list) : handle_(list.handle_) {
      int32_t itemSize = 0;
      if (LIST_GetItemSize(handle_, &itemSize) != 0 || itemSize != static_cast<int32_t>(sizeof(T)) ||
          LIST_Lock(LIST_LockInPlace, handle_) != 0) {
        handle_ = nullptr;
        return;
      }
      int32_t n = 0;
      void* first = nullptr;
      LIST_GetNumItems(handle_, &n);
      if (n > 0 && LIST_GetAddress(handle_, 0, 0, &first) == 0)
        items_ = std::span<T>(static_cast<T*>(first), static_cast<size_t>(n));
    }
    ~Locked() {
      if (handle_) LIST_Unlock(handle_);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

    bool ok() const { return handle_ != nullptr; }
    std::span<T> items() const { return items_; }
    T& operator[](size_t i) const { return items_[i]; }
    size_t size() const { return items_.size(); }
    T* begin() const { return items_.data(); }
    T* end() const { return items_.data() + items_.size(); }

   private:
    LIST_Handle handle_;
    std::span<T> items_;
  };

 private:
  LIST_Handle handle_ = nullptr;
};

}  // namespace tv::list
#endif
