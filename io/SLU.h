// SLU: the chunked file layer. Every structured file of the engine (project
// files, effect favorites) is a tree of chunks, and every package that stores
// something inside such a file writes and reads its own chunks through here.
// The package never interprets chunk contents.
//
// On disk a chunk is:
//   0       4     chunk id, four characters in reading order ("LIST")
//   4       4     size: data bytes that follow, u32 big-endian, pad excluded
//   8       4     form type: only for the ids "LIST", "RIFX" and "RIFF" (counted in the size)
//   8/12    ...   data; a container's data is a sequence of chunks
//   8+size  0/1   a zero pad byte when the size is odd
// A file is one top-level container, "RIFX" with a form type naming the kind
// of file. The next chunk begins at data start + size + (size & 1).
//
// Reading is untrusted: every size read from a file is checked against the
// container it lies in and against the file's length before it is used to
// move, read or allocate (a bad chunk fails with SLU_ErrMissingData or
// kErrRange and a report, never with a read past the chunk or an endless
// scan). Positions are 64-bit; a chunk's size stays a 32-bit field.
//
// What callers may rely on:
// - Failures are reported once (package 33, the SLU_Site* sites), or by the
//   file layer for its own (FILE codes such as 786 at the end of the file,
//   passed up unchanged): 3 for a null or empty context, a null required
//   pointer or a position outside the chunk; 2 (severity 16, "loading/saving
//   structure.") for a chunk record that is not entered; 0x2101 for a missing
//   required chunk or a damaged header; 10 for a chunk too big for the
//   caller's buffer or the 32-bit size field; 4 out of memory.
// - A chunk record filled by a failed descend is cleared (mark 0). Reading
//   never writes more than the caller's buffer size.
// - A failed write leaves a partial chunk in the file; callers that save
//   whole files go through the atomic save, which keeps the old file.
#pragma once

#include "FILE.h"
#include "STR.h"
#include "Types.h"

enum {
  SLU_PackageNumber = 33,
};

// The package's own code (general codes are used otherwise).
enum {
  SLU_ErrMissingData = 0x2101,  // a chunk is missing or damaged ("missing data in file.")
};

// Report sites (location = (33 << 24) | site).
enum {
  SLU_SiteRead = 2,      // a chunk record without its mark while reading / ascending
  SLU_SiteWrite = 3,     // ending a write: bad mark, negative or oversized length
  SLU_SiteMissing = 4,   // a required chunk not found, or a damaged chunk header
  SLU_SiteTooBig = 5,    // a chunk larger than the reader's buffer
  SLU_SiteParam = 6,     // a call with invalid arguments
};

// The mark held in the low 16 bits of a chunk record's first word while it
// describes an entered chunk.
enum { SLU_ChunkMark = 0x7777 };

// The file context: the open file reference and two 16-bit fields (0 and 1)
// that the package sets and never reads.
typedef struct SLU_FileContext {
  FILE_SpecH file;
  uint16_t field0;
  uint16_t field1;
} SLU_FileContext;

// A chunk record, filled by descending or by beginning a write.
typedef struct SLU_Chunk {
  uint32_t mark;       // SLU_ChunkMark in the low 16 bits while entered
  FourCC id;
  uint32_t size;       // data bytes, pad excluded (form type included)
  FourCC formType;     // 0 for a chunk that is not a container
  int64_t dataStart;   // file position after the 8-byte header (a container's form type)
} SLU_Chunk;

TV_EXPORT STR_Table SLUp_G_STRs;

// ---- Package frame --------------------------------------------------------------
TV_EXPORT uint32_t SLU_PkgObjectVersion(void);
TV_EXPORT ErrorCode SLU_CheckVersions(LocationCode location, int32_t expectedMajor);

// ---- Context ----------------------------------------------------------------------
// Sets up a context for an open file; installs the package's message table.
// 3 for a null context or file; the table's installation codes.
TV_EXPORT ErrorCode SLU_InitFile(FILE_SpecH file, int32_t unused, SLU_FileContext* context);

// ---- Reading ------------------------------------------------------------------------
// Searches forward from the current position for a chunk with id (0: any) and,
// when formType is non-zero, that form type; with a parent the search stops at
// the parent's end. On success the file is at the chunk's data (after a
// container's form type). With found null a missing chunk fails with 0x2101;
// otherwise *found is 1 or 0 and the call succeeds.
TV_EXPORT ErrorCode SLU_Descend(SLU_FileContext* context, FourCC id, FourCC formType, const SLU_Chunk* parent,
                                SLU_Chunk* chunk, Boolean32* found);
// As SLU_Descend with a found flag, but a missing chunk leaves the file where
// the search began.
TV_EXPORT ErrorCode SLU_DescendStable(SLU_FileContext* context, FourCC id, FourCC formType,
                                      const SLU_Chunk* parent, SLU_Chunk* chunk, Boolean32* found);
// Moves to the end of the chunk (after its pad byte) and clears the mark; the
// mark stays on failure.
TV_EXPORT ErrorCode SLU_Ascend(SLU_FileContext* context, SLU_Chunk* chunk);
// Reads the chunk's data from the current position to the chunk's end into
// buffer. maxLength is the buffer's size in bytes: more data than that fails
// with 10 ("chunk in file too big ...") before anything is read.
TV_EXPORT ErrorCode SLU_Read(SLU_FileContext* context, const SLU_Chunk* chunk, uint32_t maxLength, void* buffer);
// Descend (a missing chunk fails), read, ascend.
TV_EXPORT ErrorCode SLU_ReadAtom(SLU_FileContext* context, FourCC id, const SLU_Chunk* parent,
                                 uint32_t maxLength, void* buffer);
// Descends stably; when the chunk is there, *handle receives a new block of
// its data; when it is absent, succeeds and leaves *handle unchanged. On
// failure *handle is null (3 when handle itself is null).
TV_EXPORT ErrorCode SLU_ReadHandle(SLU_FileContext* context, const SLU_Chunk* parent, FourCC id, Handle* handle);

// ---- Writing ------------------------------------------------------------------------
// Writes a header at the current position (12 bytes for the containers
// "LIST", "RIFX" and "RIFF", which need a non-zero form type; 8 bytes for
// every other id, which takes form type 0) with size (0 when not yet known).
// 3 for a null chunk or a form type that does not suit the id.
TV_EXPORT ErrorCode SLU_BeginChunkWrite(SLU_FileContext* context, FourCC id, uint32_t size, FourCC formType,
                                        SLU_Chunk* chunk);
// Ends a chunk begun with SLU_BeginChunkWrite: pads an odd length, patches the
// size field when it differs, and leaves the file after the chunk. 10 when the
// chunk's length is negative or beyond 32 bits.
TV_EXPORT ErrorCode SLU_EndChunkWrite(SLU_FileContext* context, SLU_Chunk* chunk);
// 3 for null data with a size.
TV_EXPORT ErrorCode SLU_WriteAtom(SLU_FileContext* context, FourCC id, uint32_t size, const void* data);
// The whole content of a block as one chunk (locked while it is written); 3
// for a null or empty handle, 10 for a block beyond 32 bits.
TV_EXPORT ErrorCode SLU_WriteHandle(SLU_FileContext* context, FourCC id, Handle handle);

// ---- Alias records ------------------------------------------------------------------
// A "LIST"/"Alas" container holding one "alas" chunk: the flattened alias
// record. 3 for a null alias; FILE's alias codes.
TV_EXPORT ErrorCode SLU_WriteAliasRec(SLU_FileContext* context, FILE_AliasH alias);
// An alias record for spec (relative to base, which may be null), written as above.
TV_EXPORT ErrorCode SLU_WriteFileSpec(SLU_FileContext* context, FILE_SpecH spec, FILE_SpecH base);
// Reads an alias record written by SLU_WriteAliasRec. entered: the "LIST"/"Alas"
// container when the caller already descended into it, else null (it is then
// looked for inside parent). On failure *alias is null: 3 for a null alias,
// 0x2101 when the container or record is missing, 10 for a record over
// 2 GB, FILE's codes for a damaged record.
TV_EXPORT ErrorCode SLU_ReadAliasRec(SLU_FileContext* context, const SLU_Chunk* parent, SLU_Chunk* entered,
                                     FILE_AliasH* alias);

#ifdef __cplusplus
#include <functional>
#include <span>

namespace tv::slu {

constexpr FourCC kLIST = MakeFourCC("LIST");
constexpr FourCC kRIFX = MakeFourCC("RIFX");
constexpr FourCC kRIFF = MakeFourCC("RIFF");
constexpr FourCC kAlas = MakeFourCC("Alas");
constexpr FourCC kalas = MakeFourCC("alas");

// Whether chunks with this id carry a form type.
constexpr bool IsContainer(FourCC id) { return id == kLIST || id == kRIFX || id == kRIFF; }

// A chunk being written: begun on construction, ended by End() (which returns
// the result). A writer left without End() (a path that is failing anyway)
// writes nothing more: the partial chunk is abandoned, not patched.
class ChunkWriter {
 public:
  ChunkWriter(SLU_FileContext* context, FourCC id, FourCC formType = 0)
      : context_(context), err_(SLU_BeginChunkWrite(context, id, 0, formType, &chunk_)) {}
  ~ChunkWriter() = default;
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;
  // 0 or the failure of beginning the chunk.
  ErrorCode err() const { return err_; }
  ErrorCode End() {
    if (!ended_) {
      ended_ = true;
      if (!err_) err_ = SLU_EndChunkWrite(context_, &chunk_);
    }
    return err_;
  }
  const SLU_Chunk& chunk() const { return chunk_; }

 private:
  SLU_FileContext* context_;
  SLU_Chunk chunk_{};
  ErrorCode err_;
  bool ended_ = false;
};

}  // namespace tv::slu

// Inside the engine only (TAVELO_INTERNAL is defined for the engine's own
// libraries and its tests): C++ helpers that libtavelo.so does not export.
#ifdef TAVELO_INTERNAL
namespace tv::slu {

// Writes raw bytes at the current position (reports through the file layer).
ErrorCode WriteBytes(SLU_FileContext* context, std::span<const uint8_t> bytes);

// Reads at most buffer.size() bytes of the chunk's data from the current
// position (never past the chunk's end) and moves past them; *got receives the
// count. For records that grew over versions: a longer chunk is read as far as
// the buffer goes, a shorter one leaves the rest of the buffer alone.
ErrorCode ReadUpTo(SLU_FileContext* context, const SLU_Chunk* chunk, std::span<uint8_t> buffer, uint32_t* got);

// Saves a file atomically: makes a temporary file in the target's folder,
// opens it for writing, calls write with a context on it, flushes it to the
// disk and renames it over the target. When anything fails the temporary file
// is removed and the target is left as it was. target is a closed reference.
ErrorCode SaveAtomically(FILE_SpecH target, const std::function<ErrorCode(SLU_FileContext*)>& write);

}  // namespace tv::slu
#endif  // TAVELO_INTERNAL
#endif
