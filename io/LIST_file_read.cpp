// Reading lists: the "LIST"/"list" container, its header in the current form
// ("lhd3") or an older one ("lhd2", "lhdr"), and the items. Everything in the
// header is checked before the list is allocated, and no list is handed out
// unless every step succeeded.
#include <algorithm>
#include <span>

#include "ByteOrder.h"
#include "LIST_file.h"
#include "LIST_internal.h"
#include "Package.h"
#include "Scratch.h"

namespace tv::list {
namespace {

constexpr size_t kBatchBytes = 64 * 1024;

ErrorCode BadFile(LocationCode loc, int32_t detail) { return Fail(loc, LIST_ErrBadFileData, detail); }

// The header fields a list is rebuilt from.
struct FileHeader {
  uint32_t magic = 0;
  int32_t userLong = 0;
  int64_t count = 0;
  int64_t blocks = 0;
  int64_t itemSize = 0;
  int64_t blockSize = 0;
  int64_t minBlocks = 0;
  uint32_t flags = 0;
};

// Parses the header chunk's bytes by its form; 0 or the reported 0x1B06.
ErrorCode ParseHeader(LocationCode loc, FourCC id, std::span<const uint8_t> bytes, FileHeader* h) {
  be::Reader r(bytes);
  if (id == kHeader3) {
    h->magic = r.Read<uint32_t>();
    h->userLong = r.Read<int32_t>();
    h->count = r.Read<int32_t>();
    h->blocks = r.Read<int32_t>();
    h->itemSize = r.Read<int32_t>();
    h->blockSize = r.Read<int32_t>();
    h->minBlocks = r.Read<int32_t>();
    r.Read<int32_t>();  // the capacity follows from blocks and block size
    h->flags = r.Read<uint16_t>() & (LIST_CreationFlags | LIST_FlagCopyByValue | LIST_FlagDisposeByValue |
                                     LIST_FlagCompareByValue);
    // Lock count, busy count and the item functions start cleared.
  } else if (id == kHeader2) {
    // The old forms' 16-bit fields are counts: read as unsigned.
    h->magic = r.Read<uint32_t>();
    h->userLong = r.Read<int32_t>();
    h->count = r.Read<uint16_t>();
    h->blocks = r.Read<uint16_t>();
    h->itemSize = r.Read<int32_t>();
    h->blockSize = r.Read<uint16_t>();
    h->minBlocks = r.Read<uint16_t>();
    r.Read<uint16_t>();  // capacity: recomputed
    h->flags = r.Read<uint16_t>() & LIST_CreationFlags;
  } else {
    h->magic = r.Read<uint32_t>();
    h->count = r.Read<uint16_t>();
    h->blocks = r.Read<uint16_t>();
    h->itemSize = r.Read<int32_t>();
    uint32_t blockSize = r.Read<uint32_t>();
    if (blockSize >= 65536) return BadFile(loc, kTextOldInfo);
    h->blockSize = blockSize;
    h->minBlocks = r.Read<uint16_t>();
    r.Skip(3 * 2 + 4);
    h->userLong = r.Read<int32_t>();
    h->flags = r.Read<uint32_t>() & LIST_CreationFlags;
  }
  if (!r.ok()) return BadFile(loc, id == kHeader3 ? kTextHeaderLength : kTextOldLength);
  return 0;
}

// The checks a header must pass before a block is made for it: the magic,
// sizes of at least 1, counts that are not negative and fit the capacity, a
// minimum no larger than the blocks, a block whose size fits, and no more
// spare room than a list in a file can reasonably need.
bool Plausible(const FileHeader& h) {
  if (h.magic != kMagic || h.itemSize < 1 || h.blockSize < 1) return false;
  if (h.count < 0 || h.blocks < 0 || h.minBlocks < 0 || h.minBlocks > h.blocks) return false;
  if (h.itemSize > LIST_MaxItems || h.blockSize > LIST_MaxItems) return false;
  int64_t capacity = h.blocks * h.blockSize;
  if (capacity > LIST_MaxItems || h.count > capacity) return false;
  if (BlockBytes(capacity, static_cast<int32_t>(h.itemSize)) > kMaxBytes) return false;
  // The room beyond the items (the scratch item included) and one block of
  // growth are bounded, so a header cannot make this reader, or the first
  // insertion after it, allocate far more than the file holds.
  return (capacity - h.count + 1) * h.itemSize <= kMaxSpareBytesOnRead &&
         h.blockSize * h.itemSize <= kMaxSpareBytesOnRead;
}

// Fills a list's item area from the "ldat" chunk. decode null: the bytes
// are the items; otherwise each file item goes through decode.
ErrorCode ReadItems(LocationCode loc, SLU_FileContext* file, const SLU_Chunk& items, LIST_Handle list,
                    int32_t fileItemSize, LIST_DecodeFunc decode, intptr_t data) {
  int32_t count = H(list)->count;
  if (ErrorCode err = LockList(list, LIST_LockInPlace)) return err;
  ErrorCode err = 0;
  if (!decode) {
    err = SLU_Read(file, &items, items.size, At(list, 0));
  } else {
    size_t perBatch = std::max<size_t>(1, kBatchBytes / static_cast<size_t>(fileItemSize));
    ScratchArray<uint8_t> scratch(std::min<size_t>(perBatch, static_cast<size_t>(count)) *
                                  static_cast<size_t>(fileItemSize));
    if (!scratch.ok()) err = kReport.OutOfMemory(LocationSite(loc), kTextTempSpace, scratch.bytes());
    for (int32_t i = 0; !err && i < count;) {
      size_t n = std::min<size_t>(perBatch, static_cast<size_t>(count - i));
      std::span<uint8_t> batch = scratch.span().first(n * static_cast<size_t>(fileItemSize));
      uint32_t got = 0;
      err = slu::ReadUpTo(file, &items, batch, &got);
      if (!err && got != batch.size()) err = BadFile(loc, kTextDataLength);
      ++H(list)->busy;
      for (size_t k = 0; !err && k < n; ++k, ++i)
        err = decode(data, list, i, batch.data() + k * static_cast<size_t>(fileItemSize), At(list, i));
      --H(list)->busy;
    }
  }
  ErrorCode unlock = UnlockList(list, loc);
  return err ? err : unlock;
}

// The one reader behind every read form. itemSize/fileItemSize/decode: 0, 0
// and null for lists stored as they are in memory.
ErrorCode ReadList(LocationCode loc, SLU_FileContext* file, const SLU_Chunk* parent, int32_t itemSize,
                   int32_t fileItemSize, LIST_DecodeFunc decode, intptr_t data, LIST_Handle* out) {
  if (!out) return Fail(loc, kErrBadParam, 0);
  *out = nullptr;
  if (ErrorCode err = kReport.InstallTable()) return err;
  if (!file) return Fail(loc, kErrBadParam, 0);

  // The container: entered by the caller, or looked for (inside parent when given).
  SLU_Chunk own{};
  const SLU_Chunk* container = parent;
  bool entered = false;
  if (!parent || parent->id != slu::kLIST || parent->formType != kFormList) {
    if (ErrorCode err = SLU_Descend(file, slu::kLIST, kFormList, parent, &own, nullptr)) return err;
    container = &own;
    entered = true;
  }

  SLU_Chunk chunk{};
  if (ErrorCode err = SLU_Descend(file, 0, 0, container, &chunk, nullptr)) return err;
  int32_t wanted = 0, lengthText = kTextOldLength;
  if (chunk.id == kHeader3) {
    wanted = kHeader3Bytes;
    lengthText = kTextHeaderLength;
  } else if (chunk.id == kHeader2) {
    wanted = kHeader2Bytes;
  } else if (chunk.id == kHeader1) {
    wanted = kHeader1Bytes;
  } else {
    return BadFile(loc, kTextUnknownChunk);
  }
  if (chunk.size != static_cast<uint32_t>(wanted)) return BadFile(loc, lengthText);
  uint8_t bytes[kHeader3Bytes];
  if (ErrorCode err = SLU_Read(file, &chunk, sizeof bytes, bytes)) return err;
  if (ErrorCode err = SLU_Ascend(file, &chunk)) return err;

  FileHeader h;
  if (ErrorCode err = ParseHeader(loc, chunk.id, std::span<const uint8_t>(bytes, static_cast<size_t>(wanted)), &h))
    return err;
  if (!Plausible(h)) return BadFile(loc, kTextHeaderInfo);
  if (decode && h.itemSize != fileItemSize) return BadFile(loc, kTextItemSize);
  int64_t memoryItemSize = decode ? itemSize : h.itemSize;
  if (decode) {
    // The memory form may be larger than the file form: check the block again.
    FileHeader m = h;
    m.itemSize = memoryItemSize;
    if (!Plausible(m)) return BadFile(loc, kTextHeaderInfo);
  }

  // The items must be exactly there before anything is allocated for them.
  SLU_Chunk items{};
  uint64_t dataBytes = static_cast<uint64_t>(h.count) * static_cast<uint64_t>(h.itemSize);
  if (h.count > 0) {
    if (ErrorCode err = SLU_Descend(file, kData, 0, container, &items, nullptr)) return err;
    if (items.size != dataBytes) return BadFile(loc, kTextDataLength);
  }

  LIST_Handle list = nullptr;
  if (ErrorCode err = MakeList(loc, h.flags, static_cast<int32_t>(memoryItemSize), static_cast<int32_t>(h.blockSize),
                               static_cast<int32_t>(h.blocks), &list))
    return err;
  Header* made = H(list);
  made->count = static_cast<int32_t>(h.count);
  made->userLong = h.userLong;
  made->minBlocks = static_cast<int32_t>(h.minBlocks);
  ErrorCode err = 0;
  if (h.count > 0) {
    err = ReadItems(loc, file, items, list, fileItemSize, decode, data);
    if (!err) err = SLU_Ascend(file, &items);
  }
  if (!err && entered) err = SLU_Ascend(file, &own);
  if (err) {
    LIST_Dispose(list, 0);
    return err;
  }
  *out = list;
  return 0;
}

// Runs fn over a list just read; on failure the list is disposed.
ErrorCode Visit(LIST_Handle* list, LIST_ForEachFunc fn, intptr_t data) {
  if (!fn || !*list) return 0;
  // The walk's result is returned: a list whose items could not be brought
  // back into memory order is not handed out as if it had been read.
  if (ErrorCode err = LIST_ForEach(*list, data, fn, nullptr)) {
    LIST_Dispose(*list, 0);
    *list = nullptr;
    return err;
  }
  return 0;
}

}  // namespace
}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LIST_Read(SLU_FileContext* file, const SLU_Chunk* parentChunk, LIST_Handle* list) {
  return ReadList(Loc(LIST_SiteRead), file, parentChunk, 0, 0, nullptr, 0, list);
}

ErrorCode LIST_ReadPlus(SLU_FileContext* file, const SLU_Chunk* parentChunk, LIST_ForEachFunc fn, intptr_t data,
                        LIST_Handle* list) {
  if (ErrorCode err = ReadList(Loc(LIST_SiteReadPlus), file, parentChunk, 0, 0, nullptr, 0, list)) return err;
  return Visit(list, fn, data);
}

ErrorCode LIST_ReadDecoded(SLU_FileContext* file, const SLU_Chunk* parentChunk, int32_t itemSize,
                           int32_t fileItemSize, LIST_DecodeFunc decode, intptr_t data, LIST_Handle* list) {
  constexpr LocationCode loc = Loc(LIST_SiteReadDecoded);
  if (list) *list = nullptr;
  if (!decode || itemSize < 1 || fileItemSize < 1) return Fail(loc, kErrBadParam, 0);
  return ReadList(loc, file, parentChunk, itemSize, fileItemSize, decode, data, list);
}
