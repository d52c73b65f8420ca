// The ElectricImage driver's frame: its text table and reporter (package
// 46), and the module's registration.
#include <cstring>

#include "EI_internal.h"

namespace tv::ei {
namespace {

STR_Table gTexts = {};

constexpr pkg::Text kTexts[] = {
    {kTextDamaged, "damaged ElectricImage data (%s)."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextVersion, "Invalid EI version info."},
    {kTextNotColour, "This file does not contain color image data."},
    {kTextBelow24Bits, "EI files with less than 24 bits/pixel are not supported."},
    {kTextInvalid, "invalid IMAGE file."},
    {kTextDifferingSizes, "EI files with differing frame sizes are not supported."},
    {kTextNoMemoryChunk, "No memory for EI image chunk"},
    {kTextUnsupported, "Unsupported callback."},
    {kTextBadAux, "Bad Auxiliary info"},
    {kTextDepthMismatch, "the depth file \"%s\" does not match its image (%s)."},
    {kTextMemWriting, "memory for writing"},
    {kTextMemOptions, "ElectricImage IMAGE"},
    {kTextCannotWrite, "cannot write \"%s\" -- %s."},
    {kTextNoLabels, "writing labels into ElectricImage files is not implemented."},
    {kTextInfo, "%ld x %ld, %ld bits, %ld frames"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

}  // namespace

// The driver has no package birth of its own: its table is installed by its
// first report.
constinit const pkg::Reporter kReport{.number = D_EI_PackageNumber,
                                      .table = &gTexts,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextDamaged,
                                      .badParam = kTextBadArgument,
                                      .installOnUse = true};

void InstallInput(PIN_ModuleProcs& p);
void InstallOutput(PIN_ModuleProcs& p);

}  // namespace tv::ei

using namespace tv;

ErrorCode D_EI_Birth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = D_EI_Signature;
  std::strcpy(info->name, "ElectricImage IMAGE");
  info->flags = PIN_ModFlag_Files;
  info->maxWidth = info->maxHeight = D_EI_MaxSize;
  info->creator = D_EI_Creator;
  info->fileType = D_EI_FileType;
  info->numFileTypes = 1;
  info->fileTypes[0][0] = D_EI_FileType;
  info->numExtensions = 2;
  info->extension = info->extensions[0] = ei::kDefaultExtension;
  info->extensions[1] = ei::kOtherExtension;
  // The depth files beside the images get a type of their own.
  if (ErrorCode err = FILE_AddExtensionMap(".EIZ", D_EI_DepthFileType, D_EI_Creator)) return err;
  ei::InstallInput(*procs);
  ei::InstallOutput(*procs);
  return 0;
}
