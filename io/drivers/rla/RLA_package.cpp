// The RLA driver's frame: its text table and reporter (package 69), and the
// module's registration.
#include <cstring>

#include "RLA_internal.h"

namespace tv::rla {
namespace {

STR_Table gTexts = {};

constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "damaged RLA data (%s)."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextStorageType, "RLA: RLA storage_type is not zero."},
    {kTextChannels, "RLA: number of channels is not 3 - it may not be RGB"},
    {kTextMatte, "RLA: num_matte is not 1"},
    {kTextSizeMismatch, "RLA data size does not match image size."},
    {kTextAuxUnavailable, "Requested aux data channel is not available."},
    {kTextEOF, "RLA: unexpected end of file."},
    {kTextNoSound, "RLA: Cannot read sound data."},
    {kTextChannelRange, "Channel index out of range."},
    {kTextDifferingSizes, "RLA files with differing frame sizes are not supported."},
    {kTextBelow24Bits, "RLA files with less than 24 bits/pixel are not supported."},
    {kTextChannelBits, "RLA: %ld bits per channel are not supported."},
    {kTextBadOffset, "RLA: scanline %ld does not start after the offset table (offset %ld)."},
    {kTextInfo, "%ld x %ld, %ld bits per channel, %ld matte, %ld auxiliary channels"},
    {kTextMemOffsets, "RLA offsets"},
    {kTextMemCompressed, "RLA compressed data"},
    {kTextMemUncompressed, "RLA uncompressed data"},
    {kTextMemBuffer, "RLA buffer"},
    {kTextMemOptions, "RLA options data"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

}  // namespace

// The driver has no package birth of its own: its table is installed by its
// first report.
constinit const pkg::Reporter kReport{.number = D_RLA_PackageNumber,
                                      .table = &gTexts,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument,
                                      .installOnUse = true};

}  // namespace tv::rla

using namespace tv;

ErrorCode D_RLA_Birth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = D_RLA_Signature;
  std::strcpy(info->name, "RLA");
  info->flags = PIN_ModFlag_Files | PIN_ModFlag_StillPerFile | PIN_ModFlag_NoTime;
  info->maxWidth = info->maxHeight = D_RLA_MaxSize;
  info->fileType = rla::kFileType;
  info->numFileTypes = 1;
  info->fileTypes[0][0] = rla::kFileType;
  info->numExtensions = 1;
  info->extension = info->extensions[0] = rla::kExtension;
  // Dimensions, duration, start time, file, active extent, next frame time,
  // synchronisation, saving and loading: the common still-image behaviour.
  PIN_InstallStillProcs(procs);
  procs->death = D_RLA_Death;
  procs->newSeqSpecFromFile = D_RLA_NewSeqSpecFromFile;
  procs->disposeSeqSpec = D_RLA_DisposeSeqSpec;
  procs->getSeqSpecInfo = D_RLA_GetSeqSpecInfo;
  procs->drawSparseFrame = D_RLA_DrawSparseFrame;
  procs->getSound = D_RLA_GetSound;
  procs->disposeOutputOptions = D_RLA_DisposeOutputOptions;
  procs->idle = D_RLA_Idle;
  procs->getNumAuxChannels = D_RLA_GetNumAuxChannels;
  procs->getAuxChannelDesc = D_RLA_GetAuxChannelDesc;
  procs->drawAuxChannel = D_RLA_DrawAuxChannel;
  procs->freeAuxChannel = D_RLA_FreeAuxChannel;
  return 0;
}

ErrorCode D_RLA_Death(const PIN_ModuleInfo*) { return 0; }
ErrorCode D_RLA_Idle(Handle) { return 0; }
