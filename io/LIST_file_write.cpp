// Writing lists: the "LIST"/"list" container with its "lhd3" header and
// "ldat" items, as they are in memory or through an item encoder.
#include <algorithm>
#include <span>

#include "ByteOrder.h"
#include "LIST_file.h"
#include "LIST_internal.h"
#include "Scratch.h"

namespace tv::list {
namespace {

// Items are encoded this many bytes at a time at most.
constexpr size_t kBatchBytes = 64 * 1024;

void EncodeHeader(const Header& h, int32_t itemSize, uint8_t out[kHeader3Bytes]) {
  be::Writer w;
  w.Write<uint32_t>(h.magic);
  w.Write<int32_t>(h.userLong);
  w.Write<int32_t>(h.count);
  w.Write<int32_t>(h.blocks);
  w.Write<int32_t>(itemSize);
  w.Write<int32_t>(h.blockSize);
  w.Write<int32_t>(h.minBlocks);
  w.Write<int32_t>(h.capacity);
  w.Write<uint16_t>(h.flags);
  w.Write<uint16_t>(h.lockCount);
  // The old layout put the busy count and the three item function addresses
  // here; none of them means anything in a file, so they are written as zero
  // and a file does not depend on whether it was written during a walk.
  w.WriteZeros(kHeader3Bytes - w.size());
  std::copy(w.bytes().begin(), w.bytes().end(), out);
}

// Writes one list. encode null: the items as they are; otherwise each item's
// file form of fileItemSize bytes.
ErrorCode WriteList(LocationCode loc, LIST_Handle list, int32_t fileItemSize, LIST_EncodeFunc encode,
                    intptr_t data, SLU_FileContext* file) {
  if (ErrorCode err = Check(list, loc)) return err;
  if (!file) return Fail(loc, kErrBadParam, 0);
  // The header as the owner left it (before the lock taken here).
  const Header h = *H(list);
  int32_t itemSize = encode ? fileItemSize : h.itemSize;
  uint64_t dataBytes = static_cast<uint64_t>(h.count) * static_cast<uint64_t>(itemSize);
  if (dataBytes > 0xFFFFFFFFull) return FailText(loc, kErrRange, kTextTooMany);

  slu::ChunkWriter container(file, slu::kLIST, kFormList);
  if (container.err()) return container.err();
  uint8_t header[kHeader3Bytes];
  EncodeHeader(h, itemSize, header);
  if (ErrorCode err = SLU_WriteAtom(file, kHeader3, kHeader3Bytes, header)) return err;
  if (h.count > 0) {
    if (ErrorCode err = LockList(list, LIST_LockInPlace)) return err;
    ErrorCode err = 0;
    if (!encode) {
      err = SLU_WriteAtom(file, kData, static_cast<uint32_t>(dataBytes), At(list, 0));
    } else {
      slu::ChunkWriter items(file, kData);
      err = items.err();
      size_t perBatch = std::max<size_t>(1, kBatchBytes / static_cast<size_t>(fileItemSize));
      ScratchArray<uint8_t> scratch(std::min<size_t>(perBatch, static_cast<size_t>(h.count)) *
                                    static_cast<size_t>(fileItemSize));
      if (!err && !scratch.ok()) err = kReport.OutOfMemory(LocationSite(loc), kTextTempSpace, scratch.bytes());
      for (int32_t i = 0; !err && i < h.count;) {
        size_t n = std::min<size_t>(perBatch, static_cast<size_t>(h.count - i));
        std::span<uint8_t> batch = scratch.span().first(n * static_cast<size_t>(fileItemSize));
        std::fill(batch.begin(), batch.end(), uint8_t{0});
        ++H(list)->busy;  // the encoder sees items but may not change the list
        for (size_t k = 0; !err && k < n; ++k, ++i)
          err = encode(data, list, i, At(list, i), batch.data() + k * static_cast<size_t>(fileItemSize));
        --H(list)->busy;
        if (!err) err = slu::WriteBytes(file, batch);
      }
      if (!err) err = items.End();
    }
    ErrorCode unlock = UnlockList(list, loc);
    if (err) return err;
    if (unlock) return unlock;
  }
  return container.End();
}

}  // namespace
}  // namespace tv::list

using namespace tv;
using namespace tv::list;

ErrorCode LIST_Write(LIST_Handle list, SLU_FileContext* file) {
  return WriteList(Loc(LIST_SiteWrite), list, 0, nullptr, 0, file);
}

ErrorCode LIST_WritePlus(LIST_Handle list, LIST_ForEachFunc before, LIST_ForEachFunc after, intptr_t data,
                         SLU_FileContext* file) {
  constexpr LocationCode loc = Loc(LIST_SiteWritePlus);
  if (ErrorCode err = Check(list, loc)) return err;
  int32_t count = H(list)->count;
  if (before) {
    int32_t reached = 0;
    if (ErrorCode err = LIST_ForEach(list, data, before, &reached)) {
      // The items already brought into file order are brought back, so a
      // failed write does not leave part of the list converted.
      if (after && reached > 0) LIST_ForRange(list, 0, reached - 1, data, after, nullptr);
      return err;
    }
  }
  ErrorCode err = WriteList(loc, list, 0, nullptr, 0, file);
  // The items go back to memory order even when the write failed.
  if (after && count > 0) {
    ErrorCode back = LIST_ForEach(list, data, after, nullptr);
    if (!err) err = back;
  }
  return err;
}

ErrorCode LIST_WriteEncoded(LIST_Handle list, int32_t fileItemSize, LIST_EncodeFunc encode, intptr_t data,
                            SLU_FileContext* file) {
  constexpr LocationCode loc = Loc(LIST_SiteWriteEncoded);
  if (!encode || fileItemSize < 1) return Fail(loc, kErrBadParam, 0);
  return WriteList(loc, list, fileItemSize, encode, data, file);
}
