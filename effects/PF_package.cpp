// PF's package frame: version operations, the string table, birth and death,
// the one bad-argument report and the reference-kernel switch.
#include <cstdlib>
#include <cstring>

#include "FILE.h"
#include "PF_internal.h"

STR_Table PFp_G_STRs = {};

namespace tv::pf {

extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "bad parameter to pixel routine %ld (%s).",            // 0: 516
    "no pixel routine for selector %ld.",                  // 1: 515
    "unknown transfer mode %ld.",                          // 2: 5
    "effect handle data",                                  // 3
    "the 8-bit colour tables are not available.",          // 4
    "obsolete inquiry.",                                   // 5: 516
    "unknown platform inquiry %ld.",                       // 6: 516
    "the standard pixel routines cannot be overridden.",   // 7: 515
    "no application callback is installed.",               // 8: 5
    "Couldn't allocate Gaussian kernel",                   // 9
    "Couldn't allocate Gaussian lookup table",             // 10
    "Couldn't allocate scratch scanline",                  // 11
    "Can't copy different channel worlds.",                // 12
    "unknown error (%ld).",                                // 13
    "projective layer transforms are not supported.",      // 14: 5
    "wireframe",                                           // 15
    "uno buffer",                                          // 16
    STR_END,
};

namespace {
pkg::Lifecycle gLife(PF_PackageNumber);

int gReference = -1;  // -1: not yet read from the environment
}  // namespace

const char* Text(int32_t index) {
  // Before birth the compiled texts stand in for the installed table.
  if (PFp_G_STRs.texts) return STRp_Lookup(&PFp_G_STRs, index);
  return kCompiledStrings[index];
}

ErrorCode BadParam(int32_t routine, const char* what) {
  return report::Code(Loc(static_cast<uint32_t>(routine)), kSevError, PF_ErrBadParam, Text(kStrBadParam),
                      {routine, what});
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
  if (ErrorCode err = tv::str::EnsureTable(PFp_G_STRs, kCompiledStrings)) {
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
