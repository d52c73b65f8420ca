// MSK's package frame: its checked text table, reporter and version
// operations (the package has no birth).
#include "MSK_internal.h"

STR_Table MSKp_G_STRs = {};

namespace tv::msk {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextUnknown, "unknown mask error (%ld)."},
    {kTextBadArgument, "bad argument to %s."},
    {kTextNotPath, "a mask shape must be an absolute Bezier path."},
    {kTextPolygon, "mask polygon"},
    {kTextCoverage, "mask coverage"},
};
TV_TEXT_TABLE(kTexts, kTextCount);

}  // namespace

constinit const pkg::Reporter kReport{.number = MSK_PackageNumber,
                                      .table = &MSKp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadArgument,
                                      .installOnUse = true};

}  // namespace tv::msk

TV_PACKAGE_VERSION_OPS(MSK, MSK_PackageNumber)
