// Package-private parts of LIST: the header kept at the start of every list
// handle, the report helpers, the one resize step and the scoped guards that
// keep a list still while item functions run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "LIST.h"
#include "Memory.h"
#include "Package.h"

namespace tv::list {

constexpr uint32_t kMagic = 0xD00BEE;
constexpr uint32_t kDisposedDelta = 0x11011;  // added to the magic just before the block is freed
// The largest block a list may occupy: sizes are 32-bit byte counts.
constexpr uint64_t kMaxBytes = 0xFFFFFFFFull;

struct Header {
  uint32_t magic;
  int32_t userLong;
  int32_t count;
  int32_t blocks;
  int32_t itemSize;
  int32_t blockSize;
  int32_t minBlocks;
  int32_t capacity;
  uint16_t flags;
  uint16_t lockCount;
  int32_t busy;
  LIST_Func copy;
  LIST_Func dispose;
  LIST_Func compare;
};
static_assert(std::is_trivially_copyable_v<Header>);
constexpr size_t kHeaderSize = (sizeof(Header) + 15) & ~size_t{15};  // items stay 16-byte aligned

// Indices into LISTp_G_STRs.
enum Text : int32_t {
  kTextUnknown,
  kTextReadOnly,
  kTextLocked,
  kTextUnlocked,
  kTextListName,
  kVerbDispose,
  kVerbUnlock,
  kVerbReserve,
  kActReserve,
  kVerbCompact,
  kActCompact,
  kVerbInsert,
  kActInsert,
  kVerbRemoveItem,
  kTextOutside,
  kVerbSet,
  kVerbGet,
  kVerbGetAddress,
  kTextBadRange,
  kTextTempSpace,
  kTextNotFound,
  kVerbRemove,
  kActBlockSize,
  kTextNeeds4,
  kVerbAdjustSize,
  kTextBadFile,
  kTextOldInfo,
  kTextUnknownChunk,
  kTextOldLength,
  kTextHeaderLength,
  kTextTooMany,
  kTextNeedsPointer,
  kTextHeaderInfo,
  kTextDataLength,
  kTextItemSize,
  kTextBadArgument,
  kTextCount
};

extern const pkg::Reporter kReport;

constexpr LocationCode Loc(uint32_t site) { return tv::Location(LIST_PackageNumber, site); }

inline Header* H(LIST_Handle list) { return reinterpret_cast<Header*>(*list); }
// The address of item i (i may be the capacity: the scratch slot). Valid only
// until the block next moves.
inline char* At(LIST_Handle list, int64_t i) {
  const Header* h = H(list);
  return *list + kHeaderSize + static_cast<size_t>(i) * static_cast<size_t>(h->itemSize);
}
inline char* Scratch(LIST_Handle list) { return At(list, H(list)->capacity); }
inline uint64_t BlockBytes(int64_t items, int32_t itemSize) {
  return static_cast<uint64_t>(items + 1) * static_cast<uint64_t>(itemSize) + kHeaderSize;
}

// Reports code with the message the package gives it (the verb goes into the
// message's "%s") at severity 8; returns code.
ErrorCode Fail(LocationCode loc, ErrorCode code, int32_t verb);
// Reports code with text index textIndex as the whole message; returns code.
ErrorCode FailText(LocationCode loc, ErrorCode code, int32_t textIndex);
// The header's magic opens the block and its fields must agree with one
// another; the block's size, which they determine, is checked where the
// block is resized.
inline bool Sound(const Header* h) {
  return h->magic == kMagic && h->itemSize >= 1 && h->blockSize >= 1 && h->blocks >= 0 && h->count >= 0 &&
         h->count <= h->capacity && static_cast<int64_t>(h->blocks) * h->blockSize == h->capacity;
}
// Reports a null (3) or damaged (2) list; returns the code.
ErrorCode CheckFailed(LIST_Handle list, LocationCode loc);
// Checks a list handle: null (3) and damaged headers (2) are reported.
inline ErrorCode Check(LIST_Handle list, LocationCode loc) {
  if (list && *list && Sound(H(list))) [[likely]]
    return 0;
  return CheckFailed(list, loc);
}

// Positions: -1 is the last item. An item position must lie in 0 .. count - 1.
inline bool ItemIndex(int32_t& index, int32_t count) {
  if (index == -1) index = count - 1;
  return index >= 0 && index < count;
}
// An insertion position must lie in 0 .. count (-1: after the last item).
inline bool InsertIndex(int32_t& index, int32_t count) {
  if (index == -1) index = count;
  return index >= 0 && index <= count;
}

// The one resize step: the handle is made to hold newBlocks blocks.
ErrorCode Resize(LIST_Handle list, LocationCode loc, int64_t newBlocks, int32_t verb, int32_t activity);
// Resizes to max(ceil(count / block size), minimum blocks) when that differs.
ErrorCode CompactTo(LIST_Handle list, LocationCode loc);
// Compaction after a removal: skipped for lists flagged not to compact and for locked lists.
ErrorCode AutoCompact(LIST_Handle list, LocationCode loc);
void CountLive(int32_t delta);
// Makes a new list with header fields from the arguments (reports at loc).
ErrorCode MakeList(LocationCode loc, uint32_t flags, int32_t itemSize, int32_t blockSize, int32_t blocks,
                   LIST_Handle* list);
ErrorCode LockList(LIST_Handle list, int32_t mode);
ErrorCode UnlockList(LIST_Handle list, LocationCode loc);

// Holds a list locked and busy while item functions see addresses inside it:
// the list cannot change length meanwhile, and since only a resize moves a
// block and a locked list refuses every resize, the addresses stay valid. (The
// handle itself is locked by LIST_Lock only; doing it here too would cost two
// trips to the memory manager per search.)
class Hold {
 public:
  explicit Hold(LIST_Handle list) : list_(list) {
    Header* h = H(list);
    ++h->lockCount;
    ++h->busy;
  }
  ~Hold() {
    Header* h = H(list_);
    --h->busy;
    --h->lockCount;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  LIST_Handle list_;
};

// The value of a value item (4-byte items sign-extended).
inline intptr_t LoadValue(const void* p, int32_t size) {
  if (size == 4) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  intptr_t v = 0;
  std::memcpy(&v, p, size < static_cast<int32_t>(sizeof v) ? static_cast<size_t>(size) : sizeof v);
  return v;
}

// Calls the list's copy function (by address or by value) from source into
// destination, or copies the bytes when there is none. The caller holds the
// lists still.
ErrorCode CallCopy(LIST_Handle list, intptr_t data, const void* source, void* destination);
// Calls the list's dispose function on an item, when there is one.
ErrorCode CallDispose(LIST_Handle list, intptr_t data, void* item);
inline bool HasDispose(LIST_Handle list) { return H(list)->dispose != nullptr; }

// An ordering of items: an explicit function, the list's function, or the
// default (unsigned bytes, or a three-way comparison of values).
struct Comparator {
  enum class Kind { Bytes, Values, Address, Value };
  Kind kind = Kind::Bytes;
  LIST_CompareFunc byAddress = nullptr;
  LIST_CompareValueFunc byValue = nullptr;
  intptr_t data = 0;
  LIST_Handle list = nullptr;
  int32_t size = 0;

  int32_t operator()(const void* a, const void* b) const {
    switch (kind) {
      case Kind::Address: return byAddress(data, list, a, b);
      case Kind::Value: return byValue(data, list, LoadValue(a, size), LoadValue(b, size));
      case Kind::Values: {
        // A true three-way comparison: a subtraction would overflow for
        // values of opposite sign far apart and give the wrong order.
        intptr_t x = LoadValue(a, size), y = LoadValue(b, size);
        return x < y ? -1 : (x > y ? 1 : 0);
      }
      case Kind::Bytes:
      default: {
        int r = std::memcmp(a, b, static_cast<size_t>(size));
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
      }
    }
  }
};
// valueDefault: without any function, compare values rather than bytes (the
// value operations).
Comparator MakeComparator(LIST_Handle list, intptr_t data, LIST_CompareFunc byAddress,
                          LIST_CompareValueFunc byValue, bool valueDefault);

// Internal forms of the item operations, reporting at loc.
ErrorCode InsertAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index);
ErrorCode InsertCopyAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index, intptr_t data);
ErrorCode InsertSortedAt(LIST_Handle list, LocationCode loc, const void* item, const Comparator& cmp,
                         int32_t* index);
ErrorCode RemoveAt(LIST_Handle list, LocationCode loc, int32_t index, intptr_t data, void* out);
ErrorCode RemoveByItemAt(LIST_Handle list, LocationCode loc, const void* item, const Comparator& cmp,
                         intptr_t data, int32_t* index);
// Out-parameters hold one item; they are zero-filled when a position is refused.
ErrorCode SetAt(LIST_Handle list, LocationCode loc, const void* item, int32_t index, intptr_t data, void* out);
ErrorCode GetAt(LIST_Handle list, LocationCode loc, int32_t index, void* out);
ErrorCode GetCopyAt(LIST_Handle list, LocationCode loc, intptr_t data, int32_t index, void* out);
ErrorCode FindAt(LIST_Handle list, LocationCode loc, const Comparator& cmp, const void* key, int32_t* index);
ErrorCode SearchAt(LIST_Handle list, LocationCode loc, const Comparator& cmp, const void* key,
                   Boolean32* found, void* out, int32_t* index);

// Walks items first .. last (inclusive, backwards when first > last) calling
// visit(index, itemAddress); both must be item positions. The list is busy (and locked when lock is set).
// reached receives the index that stopped the walk, or the one past last.
template <class Visit>
ErrorCode Walk(LIST_Handle list, LocationCode loc, int32_t first, int32_t last, bool lock, Visit&& visit,
               int32_t* reached) {
  if (lock) {
    if (ErrorCode err = LockList(list, LIST_LockInPlace)) return err;
  }
  ++H(list)->busy;
  int32_t step = first <= last ? 1 : -1;
  int32_t i = first;
  ErrorCode result = 0;
  for (;;) {
    if ((result = visit(i, At(list, i))) != 0) break;
    if (i == last) {
      i += step;
      break;
    }
    i += step;
  }
  --H(list)->busy;
  if (reached) *reached = i;
  if (lock) {
    ErrorCode err = UnlockList(list, loc);
    if (result == 0) result = err;
  }
  return result;
}

// Rearranging helpers over the scratch slot.
void SwapItems(LIST_Handle list, int32_t i, int32_t j);
void MoveItem(LIST_Handle list, int32_t from, int32_t to);

}  // namespace tv::list
