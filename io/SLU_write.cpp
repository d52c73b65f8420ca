// Writing chunks: headers, ending a chunk with its size patched in, atoms and
// blocks.
#include <cstring>

#include "ByteOrder.h"
#include "Memory.h"
#include "SLU_internal.h"

namespace tv::slu {

// Atoms up to this size are written with one call.
constexpr uint32_t kSmallAtom = 1024;

ErrorCode WriteBytes(SLU_FileContext* context, std::span<const uint8_t> bytes) {
  if (ErrorCode err = CheckContext(context)) return err;
  return WriteExactly(context, bytes.data(), bytes.size());
}

}  // namespace tv::slu

using namespace tv;
using namespace tv::slu;

ErrorCode SLU_BeginChunkWrite(SLU_FileContext* context, FourCC id, uint32_t size, FourCC formType,
                              SLU_Chunk* chunk) {
  if (!chunk) return kReport.BadParam(SLU_SiteParam);
  *chunk = SLU_Chunk{};
  if (ErrorCode err = CheckContext(context)) return err;
  // A reader takes a form type after exactly the ids "LIST", "RIFX" and
  // "RIFF", so a header that disagrees (a container without a form type, or
  // a form type on any other chunk) would not read back as it was written.
  if (IsContainer(id) != (formType != 0))
    return kReport.Report(SLU_SiteWrite, kSevError, kErrBadParam, kTextBadHeader);
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) return err;
  uint8_t header[kHeaderBytes + kFormBytes];
  be::Store<uint32_t>(header, id);
  be::Store<uint32_t>(header + 4, size);
  be::Store<uint32_t>(header + 8, formType);
  if (ErrorCode err = WriteExactly(context, header, formType ? sizeof header : kHeaderBytes)) return err;
  *chunk = SLU_Chunk{SLU_ChunkMark, id, size, formType, pos + kHeaderBytes};
  return 0;
}

ErrorCode SLU_EndChunkWrite(SLU_FileContext* context, SLU_Chunk* chunk) {
  if (ErrorCode err = CheckContext(context)) return err;
  if (!Entered(chunk)) return BadMark(SLU_SiteWrite);
  int64_t pos = 0;
  if (ErrorCode err = Tell(context, &pos)) return err;
  int64_t length = pos - chunk->dataStart;
  // A length beyond the 32-bit size field cannot be recorded; it fails like a
  // negative one instead of being cut.
  if (length < 0 || static_cast<uint64_t>(length) > kMaxChunkSize)
    return kReport.Report(SLU_SiteWrite, kSevError, kErrRange, kTextWriting);
  if (length & 1) {
    const uint8_t pad = 0;
    if (ErrorCode err = WriteExactly(context, &pad, 1)) return err;
  }
  if (static_cast<uint32_t>(length) != chunk->size) {
    uint8_t field[4];
    be::Store<uint32_t>(field, static_cast<uint32_t>(length));
    if (ErrorCode err = Seek(context, chunk->dataStart - 4)) return err;
    if (ErrorCode err = WriteExactly(context, field, sizeof field)) return err;
  }
  // The record takes the real length before ascending, so the file ends up
  // after this chunk's pad byte and not inside the chunk (where the size
  // given at the start would put it), ready for the next chunk.
  bool patched = static_cast<uint32_t>(length) != chunk->size;
  chunk->size = static_cast<uint32_t>(length);
  if (patched) return SLU_Ascend(context, chunk);
  chunk->mark = 0;  // already after the pad byte
  return 0;
}

ErrorCode SLU_WriteAtom(SLU_FileContext* context, FourCC id, uint32_t size, const void* data) {
  if (size > 0 && !data) return kReport.BadParam(SLU_SiteParam);
  if (size <= kSmallAtom && !IsContainer(id)) {
    // A small atom goes out in one write: header, data and pad byte.
    if (ErrorCode err = CheckContext(context)) return err;
    uint8_t bytes[kHeaderBytes + kSmallAtom + 1];
    be::Store<uint32_t>(bytes, id);
    be::Store<uint32_t>(bytes + 4, size);
    if (size) std::memcpy(bytes + kHeaderBytes, data, size);
    size_t total = kHeaderBytes + size;
    if (size & 1) bytes[total++] = 0;
    return WriteExactly(context, bytes, total);
  }
  SLU_Chunk chunk{};
  if (ErrorCode err = SLU_BeginChunkWrite(context, id, size, 0, &chunk)) return err;
  if (ErrorCode err = WriteExactly(context, data, size)) return err;
  return SLU_EndChunkWrite(context, &chunk);
}

ErrorCode SLU_WriteHandle(SLU_FileContext* context, FourCC id, Handle handle) {
  if (!handle || !*handle) return kReport.BadParam(SLU_SiteParam);
  Size size = GetHandleSize(handle);
  if (static_cast<uint64_t>(size) > kMaxChunkSize) return kReport.Report(SLU_SiteWrite, kSevError, kErrRange, kTextWriting);
  SLU_Chunk chunk{};
  if (ErrorCode err = SLU_BeginChunkWrite(context, id, static_cast<uint32_t>(size), 0, &chunk)) return err;
  ErrorCode err = 0;
  {
    HandleLock<> lock(handle);
    err = WriteExactly(context, lock.get(), static_cast<uint64_t>(size));
  }
  if (err) return err;
  return SLU_EndChunkWrite(context, &chunk);
}
