// PF's package frame: version operations, the string table, birth and death,
// the one bad-argument report and the reference-kernel switch.
#include <cstdlib>
#include <cstring>

#include "FILE.h"
#include "PF_internal.h"

STR_Table PFp_G_STRs = {};

namespace tv::pf {

namespace {
constexpr pkg::Text kTexts[] = {
    {kStrBadParam, "bad parameter to pixel routine %ld (%s)."},
    {kStrBadSelector, "no pixel routine for selector %ld."},
    {kStrBadMode, "unknown transfer mode %ld."},
    {kStrHandleData, "effect handle data"},
    {kStrNoTables, "the 8-bit colour tables are not available."},
    {kStrObsolete, "obsolete inquiry."},
    {kStrBadInquiry, "unknown platform inquiry %ld."},
    {kStrNoOverride, "the standard pixel routines cannot be overridden."},
    {kStrNoAppCallback, "no application callback is installed."},
    {kStrGaussKernel, "Couldn't allocate Gaussian kernel"},
    {kStrGaussTable, "Couldn't allocate Gaussian lookup table"},
    {kStrScratch, "Couldn't allocate scratch scanline"},
    {kStrChannels, "Can't copy different channel worlds."},
    {kStrUnknown, "unknown error (%ld)."},
    {kStrProjective, "projective layer transforms are not supported."},
    {kStrWireframe, "wireframe"},
    {kStrUnoBuffer, "uno buffer"},
    {kStrVerification, "Verification failure: %s {%ld}"},
    {kStrNotLocked, "PF_UnlockUnoBuffer: buffer not locked"},
};
TV_TEXT_TABLE(kTexts, kStrCount);
}  // namespace

// PF installs its table at birth; before that the compiled texts are used.
constinit const pkg::Reporter kReport{.number = PF_PackageNumber,
                                      .table = &PFp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kStrCount,
                                      .badParam = kStrBadParam};

namespace {
constexpr pkg::Lifecycle gLife(PF_PackageNumber);

int gReference = -1;  // -1: not yet read from the environment
}  // namespace

ErrorCode BadParam(int32_t routine, const char* what) {
  // PF's bad-argument code is its own (516), at the routine's site.
  return kReport.Fail(static_cast<uint32_t>(routine), PF_ErrBadParam, kStrBadParam, {routine, what});
}

bool UseReference() {
  if (gReference < 0) {
    const char* v = std::getenv("TAVELO_REFERENCE_KERNELS");
    gReference = (v && std::strcmp(v, "1") == 0) ? 1 : 0;
  }
  return gReference == 1;
}

}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

TV_PACKAGE_VERSION_OPS(PF, PF_PackageNumber)

ErrorCode PF_Birth(void) {
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  // Replacement routine sets live in files of type '.TVX'.
  if (ErrorCode err = FILE_AddExtensionMap(".TVX", MakeFourCC(".TVX"), 0)) {
    gLife.SetAlive(false);
    return err;
  }
  // Replacement routine sets found in plug-in folders would be registered
  // here; the plug-in registry does not offer them yet, so none is.
  return 0;
}

ErrorCode PF_Death(void) { return gLife.Death(kSiteDeath); }

ErrorCode PFp_UseReferenceKernels(Boolean32 on) {
  gReference = on ? 1 : 0;
  return 0;
}

Boolean32 PFp_UsingReferenceKernels(void) { return UseReference() ? 1 : 0; }
