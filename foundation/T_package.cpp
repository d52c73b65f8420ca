// T's package frame: its checked text table, reporter and version operations.
#include "Package.h"
#include "T.h"
#include "T_internal.h"

STR_Table Tp_G_STRs = {};

namespace tv::t {
namespace {
constexpr pkg::Text kTexts[] = {
    {kTextConvOverflow, "overflow converting ratio denominators."},  // 0x1102 after the retry
    {kTextBadRate, "invalid frame rate"},                            // code 3
    {kTextBadFrameDuration, "invalid frame duration"},              // code 3
    {kTextBadQuantum, "invalid time quantum"},                       // code 3
    {kTextBadArgument, "bad argument to %s."},                        // code 3
};
TV_TEXT_TABLE(kTexts, kTextCount);
}  // namespace

constinit const pkg::Reporter kReport{.number = T_PackageNumber,
                                      .table = &Tp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument};

ErrorCode Invalid(Time* r, ErrorCode err) {
  if (r) *r = kInvalidTime;
  return err;
}

}  // namespace tv::t

TV_PACKAGE_VERSION_OPS(T, T_PackageNumber)
