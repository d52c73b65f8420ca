// M's package frame: the string table and reporter, version operations, the
// report of M's codes, and birth and death (the born magic pair and the math
// services requested at birth).
#include "M_fixed_internal.h"
#include "M_tables_internal.h"

STR_Table Mp_G_STRs = {};

namespace tv::m {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextOverflow, "overflow %s."},                                   // 0x1102
    {kTextUnderflow, "underflow %s."},                                 // 0x1103
    {kTextDivideByZero, "divide by zero %s."},                         // 0x1104
    {kTextUnrequested, "attempt to use unrequested math service (%s)."},  // 0x1105
    {kTextZeroDenominator, "zero denominator %s."},                    // 0x1106
    {kTextSingular, "unable to invert matrix."},                       // 0x1107
    {kTextUnknown, "unknown error (%ld)."},
    {kTextGaussian, "Gaussian table initialization."},
    {kTextBadRange, "invalid rational range"},
    {kTextBadStep, "invalid rounding step"},
    {kTextBadArgument, "bad argument to %s."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr uint32_t kBornMagic = 0x27182818;
constexpr pkg::Lifecycle gLife(M_PackageNumber);
uint32_t gMagic1 = 0, gMagic2 = 0;

}  // namespace

constinit const pkg::Reporter kReport{.number = M_PackageNumber,
                                      .table = &Mp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument};

ErrorCode ReportCode(uint32_t site, ErrorCode code, const char* phrase) {
  const int32_t index = code - M_ErrOverflow;
  const Severity severity = code == M_ErrUnderflow ? kSevWarning : kSevError;
  if (index < kTextOverflow || index > kTextSingular) return kReport.Report(site, severity, code, kTextUnknown, {code});
  return kReport.Report(site, severity, code, index, {phrase});
}

}  // namespace tv::m

using namespace tv::m;

TV_PACKAGE_VERSION_OPS(M, M_PackageNumber)

ErrorCode M_Birth(int32_t flags, int32_t* granted) {
  if (granted) *granted = 0;
  if (ErrorCode err = gLife.Birth(kSiteBirth)) return err;
  if (ErrorCode err = kReport.InstallTable()) {
    gLife.SetAlive(false);
    return err;
  }
  gMagic1 = gMagic2 = kBornMagic;
  int32_t built = 0;
  ErrorCode result = BuildTables(flags, &built);
  if (flags & M_ServiceGaussian) {
    // The Gaussian table does not exist: the request is reported and left out
    // of granted; the package is born with the services it could build.
    ErrorCode err = kReport.Fail(kSiteGaussian, tv::kErrUnimplemented, kTextGaussian);
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
