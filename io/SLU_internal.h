// Internals shared by the SLU sources: message indices, report helpers, the
// chunk-record check and positioned reads and writes through the file layer.
#pragma once

#include <cstdint>
#include <span>

#include "Format.h"
#include "Package.h"
#include "SLU.h"

namespace tv::slu {

constexpr uint32_t kMarkMask = 0xFFFF;
constexpr int64_t kHeaderBytes = 8;
constexpr int64_t kFormBytes = 4;
constexpr uint64_t kMaxChunkSize = 0xFFFFFFFFull;

// Indices into SLUp_G_STRs.
enum Text : int32_t {
  kTextStructure = 0,    // "loading/saving structure."
  kTextMissing = 1,      // "missing data in file."
  kTextWriting = 2,      // "writing to file."
  kTextTooBig = 3,       // "chunk in file too big -- probably unsupported file version."
  kTextDamaged = 4,      // "damaged chunk in file (%s)."
  kDetailPastEnd = 5,    // "size past the end of its container"
  kDetailCutShort = 6,   // "header cut short"
  kDetailNoForm = 7,     // "container too short for its form type"
  kTextBadHeader = 8,    // "container chunks need a form type; other chunks take none."
  kTextOutside = 9,      // "reading outside of the chunk."
  kTextBadParam = 10,    // "invalid argument."
  kTextUnknown = 11,     // "unknown error (%ld)."
  kTextCount
};

extern const pkg::Reporter kReport;
// A damaged chunk: 0x2101 with the detail, severity 8.
ErrorCode Damaged(int32_t detail);

inline bool Entered(const SLU_Chunk* chunk) { return chunk && (chunk->mark & kMarkMask) == SLU_ChunkMark; }
// A record that should be entered but is not: 2 at severity 16 ("loading/saving structure.").
ErrorCode BadMark(uint32_t site);
inline ErrorCode CheckContext(const SLU_FileContext* context) {
  return context && context->file ? 0 : kReport.BadParam(SLU_SiteParam);
}
// The end of a chunk's data.
inline int64_t DataEnd(const SLU_Chunk& c) { return c.dataStart + static_cast<int64_t>(c.size); }
// Where the chunk after c begins.
inline int64_t NextStart(const SLU_Chunk& c) { return DataEnd(c) + static_cast<int64_t>(c.size & 1); }

// Thin wrappers of the file layer (which reports its own failures).
ErrorCode Tell(SLU_FileContext* context, int64_t* position);
ErrorCode Seek(SLU_FileContext* context, int64_t position);
ErrorCode FileSize(SLU_FileContext* context, int64_t* size);
ErrorCode ReadExactly(SLU_FileContext* context, void* buffer, uint64_t count);
ErrorCode WriteExactly(SLU_FileContext* context, const void* buffer, uint64_t count);

}  // namespace tv::slu
