// BEZ's string table, version operations and report helpers.
#include "BEZ_internal.h"
#include "Package.h"

STR_Table BEZp_G_STRs = {};

namespace tv::bez {
namespace {
const char* const kCompiledStrings[] = {
    "damaged BEZ structure.",                      // 0
    "temporary vectors in arclength calculation",  // 1
    "invalid ease/influence values",               // 2
    "invalid time-remapping control points",       // 3
    "invalid time-remapping domain",               // 4
    "unsupported BEZ data type",                   // 5
    "Bezier Curve",                                // 6
    "List of parameter values",                    // 7
    STR_END,
};
}  // namespace

const char* Str(int32_t index) {
  // When the table cannot be installed (out of memory while reporting that
  // memory ran out) the compiled text is used directly.
  if (tv::str::EnsureTable(BEZp_G_STRs, kCompiledStrings) != 0 && index >= 0 && index < BEZ_StringCount)
    return kCompiledStrings[index];
  return STRp_Lookup(&BEZp_G_STRs, index);
}

ErrorCode Fail(Site site, ErrorCode code, int32_t index) {
  Str(0);  // installs the table
  return Up_ReportVeskErrString(Location(BEZ_PackageNumber, site), kSevError, code,
                                index >= 0 ? Str(index) : "");
}

ErrorCode OutOfMemory(Site site, int32_t index, uint64_t size) {
  return Up_ReportOutOfMemory(Location(BEZ_PackageNumber, site), Str(index), size);
}

ErrorCode CheckCurve(Site site, const BEZ_Curve* curve, int minDims) {
  if (!curve) return Fail(site, kErrBadParam, -1);
  if (curve->dimensions < minDims) return Fail(site, kErrBadParam, BEZ_StrUnsupportedType);
  if (curve->dimensions > 0)
    for (double* p : curve->ctpt)
      if (!p) return Fail(site, kErrBadParam, BEZ_StrDamaged);
  return 0;
}

}  // namespace tv::bez

TV_PACKAGE_VERSION_OPS(BEZ, BEZ_PackageNumber)
