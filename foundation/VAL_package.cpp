// VAL's package frame: its checked text table and reporter, version
// operations, birth and death, and the two report forms of the package.
#include <cstring>

#include "Package.h"
#include "VAL_internal.h"

STR_Table VALp_G_STRs = {};

namespace tv::val {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextAlreadyRegistered, "VAL type \"^1\" already registered."},
    {kTextCannotConvert, "unable to convert from type ^L1 to type ^2."},
    {kTextCannotSave, "can not save type \"^1\" to a file."},
    {kTextUnknownType, "unable to recognize type \"^1\"."},
    {kTextUnimplemented, "unimplemented"},
    {kTextBadCount, "a count of values of at least 1"},
    {kTextBadFlatData, "a flat header that matches its data"},
    {kTextUnknownTypeNumber, "a registered VAL type number"},
    {kTextLookingUp, "looking up VAL type %ld"},
    {kTextRecordAndPlace, "a type record and a place for its number"},
    {kTextAllocated, "allocated VAL"},
    {kTextBadArgument, "bad argument to %s."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

constexpr pkg::Lifecycle gLife(VAL_PackageNumber);

}  // namespace

constinit const pkg::Reporter kReport{.number = VAL_PackageNumber,
                                      .table = &VALp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument};

ErrorCode Verify(uint32_t site, Text description) {
  U_ReportFailedVerification(kReport.Loc(site), 0, kReport.Text(description), nullptr);
  return kErrBadParam;
}

ErrorCode ReportCode(uint32_t site, ErrorCode code, Text text, const char* s1, int32_t n1, const char* s2) {
  // ^1 takes s1 (^L1 takes n1 when there is no s1) and ^2 takes s2.
  char message[U_MessageBufferSize];
  if (s1)
    u::SubString(message, kReport.Text(text), {s1, s2 ? s2 : ""});
  else
    u::SubString(message, kReport.Text(text), {n1, s2 ? s2 : ""});
  Up_ReportErrString(kReport.Loc(site), kSevError, message);
  return code;
}

}  // namespace tv::val

using namespace tv;
using namespace tv::val;

TV_PACKAGE_VERSION_OPS(VAL, VAL_PackageNumber)

ErrorCode VAL_Birth(void) try {
  if (ErrorCode err = kReport.InstallTable()) return err;
  if (gLife.alive()) return gLife.Birth(kSiteBirth);
  // The registry is built aside and taken only when complete, so a failure
  // leaves the package unborn.
  if (ErrorCode err = StartRegistry()) return err;
  gLife.SetAlive(true);
  return 0;
} TV_CATCH(VAL_PackageNumber)

ErrorCode VAL_Death(void) {
  if (ErrorCode err = gLife.Death(kSiteDeath)) return err;
  ClearRegistry();
  return 0;
}
