// BEZ's package frame: its checked text table and reporter, version
// operations and the curve check.
#include "BEZ_internal.h"
#include "Package.h"

STR_Table BEZp_G_STRs = {};

namespace tv::bez {
namespace {
constexpr pkg::Text kTexts[] = {
    {BEZ_StrDamaged, "damaged BEZ structure."},
    {BEZ_StrArcTemporary, "temporary vectors in arclength calculation"},
    {BEZ_StrBadEase, "invalid ease/influence values"},
    {BEZ_StrBadRemapCtpts, "invalid time-remapping control points"},
    {BEZ_StrBadRemapDomain, "invalid time-remapping domain"},
    {BEZ_StrUnsupportedType, "unsupported BEZ data type"},
    {BEZ_StrCurveName, "Bezier Curve"},
    {BEZ_StrParameterValues, "List of parameter values"},
    {BEZ_StrNoCurvature, "evaluation by curvature is not available"},
};
TV_TEXT_TABLE(kTexts, BEZ_StringCount);
}  // namespace

// The table is installed on first use (BEZ has no birth).
constinit const pkg::Reporter kReport{.number = BEZ_PackageNumber,
                                      .table = &BEZp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = BEZ_StringCount,
                                      .damaged = BEZ_StrDamaged,
                                      .installOnUse = true};

ErrorCode CheckCurve(Site site, const BEZ_Curve* curve, int minDims) {
  if (!curve) return kReport.BadParam(site);
  if (curve->dimensions < minDims) return kReport.Fail(site, kErrBadParam, BEZ_StrUnsupportedType);
  if (curve->dimensions > 0)
    for (double* p : curve->ctpt)
      if (!p) return kReport.Fail(site, kErrBadParam, BEZ_StrDamaged);
  return 0;
}

}  // namespace tv::bez

TV_PACKAGE_VERSION_OPS(BEZ, BEZ_PackageNumber)
