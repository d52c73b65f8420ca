// Alias records inside chunks: a "LIST"/"Alas" container holding one "alas"
// chunk with the file layer's flattened record.
#include "SLU_internal.h"
#include "Scratch.h"

using namespace tv;
using namespace tv::slu;

ErrorCode SLU_WriteAliasRec(SLU_FileContext* context, FILE_AliasH alias) {
  if (!alias) return kReport.BadParam(SLU_SiteParam);
  SLU_Chunk list{}, atom{};
  if (ErrorCode err = SLU_BeginChunkWrite(context, kLIST, 0, kAlas, &list)) return err;
  if (ErrorCode err = SLU_BeginChunkWrite(context, kalas, 0, 0, &atom)) return err;
  if (ErrorCode err = FILE_WriteAliasRec(context->file, alias)) return err;
  if (ErrorCode err = SLU_EndChunkWrite(context, &atom)) return err;
  return SLU_EndChunkWrite(context, &list);
}

ErrorCode SLU_WriteFileSpec(SLU_FileContext* context, FILE_SpecH spec, FILE_SpecH base) {
  FILE_AliasH alias = nullptr;
  if (ErrorCode err = FILE_NewAliasRec(spec, base, &alias)) return err;
  ErrorCode err = SLU_WriteAliasRec(context, alias);
  FILE_DisposeAliasRec(alias);
  return err;
}

ErrorCode SLU_ReadAliasRec(SLU_FileContext* context, const SLU_Chunk* parent, SLU_Chunk* entered,
                           FILE_AliasH* alias) {
  if (!alias) return kReport.BadParam(SLU_SiteParam);
  *alias = nullptr;
  SLU_Chunk own{};
  SLU_Chunk* container = entered;
  if (!container) {
    if (ErrorCode err = SLU_Descend(context, kLIST, kAlas, parent, &own, nullptr)) return err;
    container = &own;
  }
  SLU_Chunk atom{};
  if (ErrorCode err = SLU_Descend(context, kalas, 0, container, &atom, nullptr)) return err;
  // The record is read from the chunk's own bytes, so a damaged record can
  // never make the file layer read beyond the chunk.
  ScratchArray<uint8_t> bytes(atom.size);
  if (!bytes.ok()) return kReport.OutOfMemory(SLU_SiteRead, kTextStructure, atom.size);
  uint32_t got = 0;
  if (ErrorCode err = ReadUpTo(context, &atom, bytes.span(), &got)) return err;
  if (got > static_cast<uint32_t>(INT32_MAX))
    return kReport.Report(SLU_SiteTooBig, kSevError, kErrRange, kTextTooBig);
  FILE_AliasH record = nullptr;
  ErrorCode err = FILE_UnflattenAliasRec(bytes.data(), static_cast<int32_t>(got), &record);
  if (!err) err = SLU_Ascend(context, &atom);
  if (!err) err = SLU_Ascend(context, container);
  if (err) {
    if (record) FILE_DisposeAliasRec(record);
    return err;
  }
  *alias = record;
  return 0;
}
