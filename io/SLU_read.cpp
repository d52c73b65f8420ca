// Reading chunks: the context, descending with its bounded scan, ascending
// and reading a chunk's data.
#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "Memory.h"
#include "SLU_internal.h"

namespace tv::slu {

ErrorCode Tell(SLU_FileContext* context, int64_t* position) { return FILE_InqPos(context->file, position); }
ErrorCode Seek(SLU_FileContext* context, int64_t position) { return FILE_SetPos(context->file, position); }
ErrorCode FileSize(SLU_FileContext* context, int64_t* size) {
  return FILE_InqSize(context->file, FILE_SizeData, size);
}

namespace {
constexpr uint64_t kPiece = 1u << 30;  // the file layer moves at most 2 GiB per call
}  // namespace

ErrorCode ReadExactly(SLU_FileContext* context, void* buffer, uint64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    uint64_t n = std::min(count, kPiece);
    if (ErrorCode err = FILE_NRead(context->file, static_cast<int32_t>(n), p)) return err;
    p += n;
    count -= n;
  }
  return 0;
}

ErrorCode WriteExactly(SLU_FileContext* context, const void* buffer, uint64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    uint64_t n = std::min(count, kPiece);
    if (ErrorCode err = FILE_NWrite(context->file, static_cast<int32_t>(n), p)) return err;
    p += n;
    count -= n;
  }
  return 0;
}

namespace {

// The scan behind both forms of descending. *found tells whether the chunk
// was found; a damaged header or a file error is returned.
//
// Every chunk header is checked before it is trusted: its data must end
// within the parent (when there is one) and within the file, and a container
// must be long enough to hold its form type. Positions are 64-bit and every
// step moves at least past the 8-byte header, so a hostile size can neither
// wrap the scan back onto itself nor send it past the data it belongs to.
ErrorCode Scan(SLU_FileContext* context, FourCC id, FourCC formType, const SLU_Chunk* parent, SLU_Chunk* chunk,
               bool* found) {
  *found = false;
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) return err;
  // Inside a parent the parent's end is the limit (a parent that was
  // descended into was itself checked against the file's length); at the top
  // level it is the file's length.
  int64_t limit = 0;
  if (parent) {
    limit = DataEnd(*parent);
  } else if (ErrorCode err = FileSize(context, &limit)) {
    return err;
  }
  for (;;) {
    if (parent && pos >= DataEnd(*parent)) return 0;  // the parent holds no more chunks
    // Within a parent, a header that does not fit is damage; at the top level
    // the file layer reports the end of the file.
    if (parent && DataEnd(*parent) - pos < kHeaderBytes) return Damaged(kDetailCutShort);
    uint8_t header[kHeaderBytes + kFormBytes];
    if (ErrorCode err = ReadExactly(context, header, kHeaderBytes)) return err;
    SLU_Chunk c{};
    c.id = be::Load<uint32_t>(header);
    c.size = be::Load<uint32_t>(header + 4);
    c.dataStart = pos + kHeaderBytes;
    if (DataEnd(c) > limit) return Damaged(kDetailPastEnd);
    if (IsContainer(c.id)) {
      if (c.size < kFormBytes) return Damaged(kDetailNoForm);
      if (ErrorCode err = ReadExactly(context, header + kHeaderBytes, kFormBytes)) return err;
      c.formType = be::Load<uint32_t>(header + kHeaderBytes);
    }
    if (id == 0 || (c.id == id && (formType == 0 || c.formType == formType))) {
      c.mark = SLU_ChunkMark;
      *chunk = c;
      *found = true;
      return 0;
    }
    pos = NextStart(c);
    if (ErrorCode err = Seek(context, pos)) return err;
  }
}

ErrorCode DescendAt(SLU_FileContext* context, FourCC id, FourCC formType, const SLU_Chunk* parent,
                    SLU_Chunk* chunk, Boolean32* found, bool stable) {
  SLU_Chunk local{};
  if (!chunk) chunk = &local;
  *chunk = SLU_Chunk{};
  if (found) *found = 0;
  if (ErrorCode err = CheckContext(context)) return err;
  if (parent && !Entered(parent)) return BadMark(SLU_SiteRead);
  int64_t start = 0;
  if (stable) {
    if (ErrorCode err = Tell(context, &start)) return err;
  }
  bool hit = false;
  ErrorCode err = Scan(context, id, formType, parent, chunk, &hit);
  if (!err && hit) {
    if (found) *found = 1;
    return 0;
  }
  *chunk = SLU_Chunk{};
  if (stable) Seek(context, start);
  if (err) return err;
  if (!found) return kReport.Report(SLU_SiteMissing, kSevError, SLU_ErrMissingData, kTextMissing);
  return 0;
}

}  // namespace

ErrorCode ReadUpTo(SLU_FileContext* context, const SLU_Chunk* chunk, std::span<uint8_t> buffer, uint32_t* got) {
  if (got) *got = 0;
  if (ErrorCode err = CheckContext(context)) return err;
  if (!Entered(chunk)) return BadMark(SLU_SiteRead);
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) return err;
  if (pos < chunk->dataStart || pos > DataEnd(*chunk))
    return kReport.Report(SLU_SiteRead, kSevError, kErrBadParam, kTextOutside);
  uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(DataEnd(*chunk) - pos), buffer.size());
  if (ErrorCode err = ReadExactly(context, buffer.data(), n)) return err;
  if (got) *got = static_cast<uint32_t>(n);
  return 0;
}

}  // namespace tv::slu

using namespace tv;
using namespace tv::slu;

ErrorCode SLU_InitFile(FILE_SpecH file, int32_t /*unused*/, SLU_FileContext* context) {
  if (!context) return kReport.BadParam(SLU_SiteParam);
  *context = SLU_FileContext{file, 0, 1};
  if (ErrorCode err = kReport.InstallTable()) return err;
  if (!file) return kReport.BadParam(SLU_SiteParam);
  return 0;
}

ErrorCode SLU_Descend(SLU_FileContext* context, FourCC id, FourCC formType, const SLU_Chunk* parent,
                      SLU_Chunk* chunk, Boolean32* found) {
  return DescendAt(context, id, formType, parent, chunk, found, false);
}

ErrorCode SLU_DescendStable(SLU_FileContext* context, FourCC id, FourCC formType, const SLU_Chunk* parent,
                            SLU_Chunk* chunk, Boolean32* found) {
  Boolean32 local = 0;
  return DescendAt(context, id, formType, parent, chunk, found ? found : &local, true);
}

ErrorCode SLU_Ascend(SLU_FileContext* context, SLU_Chunk* chunk) {
  if (ErrorCode err = CheckContext(context)) return err;
  if (!Entered(chunk)) return BadMark(SLU_SiteRead);
  if (ErrorCode err = Seek(context, NextStart(*chunk))) return err;
  chunk->mark = 0;
  return 0;
}

namespace {

// Reads the chunk's data from pos (the current position) to its end.
ErrorCode ReadFrom(SLU_FileContext* context, const SLU_Chunk* chunk, int64_t pos, uint32_t maxLength,
                   void* buffer) {
  // The data runs from the current position to the chunk's end, never past
  // it; a position outside the chunk is a caller's mistake, not a read.
  if (pos < chunk->dataStart || pos > DataEnd(*chunk))
    return kReport.Report(SLU_SiteRead, kSevError, kErrBadParam, kTextOutside);
  uint64_t n = static_cast<uint64_t>(DataEnd(*chunk) - pos);
  // maxLength is the size of the caller's buffer. A maximum of 0 does not
  // mean "any size": a size taken from the file must never decide how much
  // is written into a buffer whose size is unknown.
  if (n > maxLength) return kReport.Report(SLU_SiteTooBig, kSevError, kErrRange, kTextTooBig);
  if (n > 0 && !buffer) return kReport.BadParam(SLU_SiteParam);
  return ReadExactly(context, buffer, n);
}

}  // namespace

ErrorCode SLU_Read(SLU_FileContext* context, const SLU_Chunk* chunk, uint32_t maxLength, void* buffer) {
  if (ErrorCode err = CheckContext(context)) return err;
  if (!Entered(chunk)) return BadMark(SLU_SiteRead);
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) return err;
  return ReadFrom(context, chunk, pos, maxLength, buffer);
}

ErrorCode SLU_ReadAtom(SLU_FileContext* context, FourCC id, const SLU_Chunk* parent, uint32_t maxLength,
                       void* buffer) {
  SLU_Chunk chunk{};
  if (ErrorCode err = SLU_Descend(context, id, 0, parent, &chunk, nullptr)) return err;
  // Descending left the file at the chunk's data.
  int64_t data = chunk.dataStart + (chunk.formType ? kFormBytes : 0);
  if (ErrorCode err = ReadFrom(context, &chunk, data, maxLength, buffer)) return err;
  if (chunk.size & 1) return SLU_Ascend(context, &chunk);
  chunk.mark = 0;  // already at the chunk's end
  return 0;
}

ErrorCode SLU_ReadHandle(SLU_FileContext* context, const SLU_Chunk* parent, FourCC id, Handle* handle) {
  if (!handle) return kReport.BadParam(SLU_SiteParam);
  SLU_Chunk chunk{};
  Boolean32 found = 0;
  if (ErrorCode err = SLU_DescendStable(context, id, 0, parent, &chunk, &found)) {
    *handle = nullptr;
    return err;
  }
  if (!found) return 0;
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) {
    *handle = nullptr;
    return err;
  }
  // The size was checked against the file's length while descending, so the
  // block can be no larger than the file itself.
  int64_t n = DataEnd(chunk) - pos;
  Handle h = U_AllocateHandleClear(kReport.Loc(SLU_SiteRead), kReport.Text(kTextStructure), n);
  if (!h) {
    *handle = nullptr;
    return kErrOutOfMemory;
  }
  ErrorCode err = 0;
  {
    HandleLock<> lock(h);
    err = ReadExactly(context, lock.get(), static_cast<uint64_t>(n));
  }
  if (!err) err = SLU_Ascend(context, &chunk);
  if (err) {
    DisposeHandle(h);
    *handle = nullptr;
    return err;
  }
  *handle = h;
  return 0;
}
