// SLU's package frame: its checked text table and reporter, version
// operations and report helpers.
#include "SLU_internal.h"

STR_Table SLUp_G_STRs = {};

namespace tv::slu {
namespace {
constexpr pkg::Text kTexts[] = {
    {kTextStructure, "loading/saving structure."},
    {kTextMissing, "missing data in file."},
    {kTextWriting, "writing to file."},
    {kTextTooBig, "chunk in file too big -- probably unsupported file version."},
    {kTextDamaged, "damaged chunk in file (%s)."},
    {kDetailPastEnd, "size past the end of its container"},
    {kDetailCutShort, "header cut short"},
    {kDetailNoForm, "container too short for its form type"},
    {kTextBadHeader, "container chunks need a form type; other chunks take none."},
    {kTextOutside, "reading outside of the chunk."},
    {kTextBadParam, "invalid argument."},
    {kTextUnknown, "unknown error (%ld)."},
};
TV_TEXT_TABLE(kTexts, kTextCount);
}  // namespace

// The table is installed on first use (SLU has no birth).
constinit const pkg::Reporter kReport{.number = SLU_PackageNumber,
                                      .table = &SLUp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .badParam = kTextBadParam,
                                      .installOnUse = true};

ErrorCode Damaged(int32_t detail) {
  return kReport.Fail(SLU_SiteMissing, SLU_ErrMissingData, kTextDamaged, {kReport.Text(detail)});
}

ErrorCode BadMark(uint32_t site) { return kReport.Report(site, kSevFatal, kErrDamaged, kTextStructure); }

}  // namespace tv::slu

TV_PACKAGE_VERSION_OPS(SLU, SLU_PackageNumber)
