// The file form of lists, written and read through the chunk layer. A list
// is a "LIST" container of form type "list" holding:
//   "lhd3"  52 bytes: magic, user long, count, blocks, item size, block size,
//           minimum blocks, capacity (32-bit each), flags and lock count
//           (16-bit each), then 16 bytes written as zero (the old layout's busy
//           count and item function slots, which mean nothing in a file);
//   "ldat"  count x item size bytes: the items (only when count is non-zero).
// All header fields are big-endian. Items are written as they are in memory
// (their byte order is the owner's concern), or, for lists whose items hold
// pointers or need another layout on file, through a per-item encoder and
// decoder (LIST_WriteEncoded / LIST_ReadDecoded); "lhd3" then records the
// file's item size.
//
// Reading also takes the older headers "lhd2" (40 bytes) and "lhdr" (36
// bytes). Every header is checked before anything is allocated (magic, item
// and block sizes, counts against the capacity, the spare room a header asks
// for, the exact "ldat" size); a file that fails a check gives 0x1B06 and no
// list. Read lists have no item functions: the owner installs them again.
//
// What callers may rely on:
// - Failures are reported once, by LIST at the sites below (severity 8) or by
//   the chunk and file layers for theirs (passed up unchanged): 3 for a null
//   context or list pointer, a null encoder or decoder, or an item size below
//   1; 2 for a damaged list; 10 when the items exceed 4 GB; 0x1B06 for a file
//   that fails a check; 0x2101 when a chunk is missing; 4 out of memory; the
//   item functions' codes.
// - Reading leaves no list on failure (*list null). A failed write leaves a
//   partial chunk, as every chunk writer does.
#pragma once

#include "LIST.h"
#include "SLU.h"

// Report sites of the file form (location = (27 << 24) | site).
enum {
  LIST_SiteWrite = 35,
  LIST_SiteWritePlus = 36,
  LIST_SiteRead = 37,
  LIST_SiteReadPlus = 38,
  LIST_SiteWriteEncoded = 80,
  LIST_SiteReadDecoded = 81,
};

// Writes one item's file form (fileItemSize bytes) from its memory form.
typedef ErrorCode (*LIST_EncodeFunc)(intptr_t data, LIST_Handle list, int32_t index, const void* item,
                                     uint8_t* fileItem);
// Fills one item's memory form (a zeroed item of the list's item size) from its file form.
typedef ErrorCode (*LIST_DecodeFunc)(intptr_t data, LIST_Handle list, int32_t index, const uint8_t* fileItem,
                                     void* item);

TV_EXPORT ErrorCode LIST_Write(LIST_Handle list, SLU_FileContext* file);
// Runs before over every item (a failure stops the write), writes, then runs
// after over every item, so the owner can bring items into file byte order
// and back. The list is left in memory order whatever fails.
TV_EXPORT ErrorCode LIST_WritePlus(LIST_Handle list, LIST_ForEachFunc before, LIST_ForEachFunc after,
                                   intptr_t data, SLU_FileContext* file);
// parentChunk: the entered "LIST"/"list" container, or a chunk to look for
// that container in, or null (look from the current position). A container
// it enters itself is left again, so the file ends up after it; in a
// container entered by the caller the file is left after the list's data.
TV_EXPORT ErrorCode LIST_Read(SLU_FileContext* file, const SLU_Chunk* parentChunk, LIST_Handle* list);
// As LIST_Read, then runs fn over every item; a failure of fn disposes the
// list and is returned.
TV_EXPORT ErrorCode LIST_ReadPlus(SLU_FileContext* file, const SLU_Chunk* parentChunk, LIST_ForEachFunc fn,
                                  intptr_t data, LIST_Handle* list);

// Writes the list with items of fileItemSize bytes made by encode.
TV_EXPORT ErrorCode LIST_WriteEncoded(LIST_Handle list, int32_t fileItemSize, LIST_EncodeFunc encode,
                                      intptr_t data, SLU_FileContext* file);
// Reads a list written by LIST_WriteEncoded: its item size on file must be
// fileItemSize; the new list has items of itemSize bytes filled by decode.
// A failure of decode disposes the list (decode must not leave anything
// allocated in an item it fails on) and is returned.
TV_EXPORT ErrorCode LIST_ReadDecoded(SLU_FileContext* file, const SLU_Chunk* parentChunk, int32_t itemSize,
                                     int32_t fileItemSize, LIST_DecodeFunc decode, intptr_t data,
                                     LIST_Handle* list);

#ifdef __cplusplus
namespace tv::list {
constexpr FourCC kFormList = MakeFourCC("list");
constexpr FourCC kHeader3 = MakeFourCC("lhd3");
constexpr FourCC kHeader2 = MakeFourCC("lhd2");
constexpr FourCC kHeader1 = MakeFourCC("lhdr");
constexpr FourCC kData = MakeFourCC("ldat");
constexpr int32_t kHeader3Bytes = 52;
constexpr int32_t kHeader2Bytes = 40;
constexpr int32_t kHeader1Bytes = 36;
// The spare room (capacity beyond the items, in bytes) and the size of one
// block of growth that a list read from a file may ask for; a header asking
// for more is refused as damaged.
constexpr int64_t kMaxSpareBytesOnRead = int64_t{16} << 20;
}  // namespace tv::list
#endif
