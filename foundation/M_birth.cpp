// M's birth and death: the string table, the born magic pair and the math
// services requested at birth.
#include "M_fixed_internal.h"
#include "M_tables_internal.h"

namespace tv::m {
extern const char* const kCompiledStrings[];
namespace {
constexpr uint32_t kBornMagic = 0x27182818;
pkg::Lifecycle gLife(M_PackageNumber);
uint32_t gMagic1 = 0, gMagic2 = 0;
}  // namespace
}  // namespace tv::m

using namespace tv::m;

ErrorCode M_Birth(int32_t flags, int32_t* granted) {
  if (granted) *granted = 0;
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = tv::str::EnsureTable(Mp_G_STRs, kCompiledStrings)) {
    gLife.SetAlive(false);
    return err;
  }
  gMagic1 = gMagic2 = kBornMagic;
  int32_t built = 0;
  ErrorCode result = BuildTables(flags, &built);
  if (flags & M_ServiceGaussian) {
    // The Gaussian table does not exist: the request is reported and left out
    // of granted; the package is born with the services it could build.
    ErrorCode err = tv::report::Code(Loc(kSiteGaussian), tv::kSevError, tv::kErrUnimplemented,
                                     "Gaussian table initialization.");
    if (result == 0) result = err;
  }
  if (granted) *granted = built;
  return result;
}

ErrorCode M_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  FreeTables();
  gMagic1 = gMagic2 = 0;
  return 0;
}
