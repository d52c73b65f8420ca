// M's package-private frame: its reporter, the indices of its text table and
// the one report of M's own codes, shared by the geometric and the ratio
// halves.
#pragma once

#include "M.h"
#include "Package.h"

namespace tv::m {

// Indices into Mp_G_STRs; texts 0 to 5 belong to codes 0x1102 to 0x1107.
enum TextIndex : int32_t {
  kTextOverflow,
  kTextUnderflow,
  kTextDivideByZero,
  kTextUnrequested,
  kTextZeroDenominator,
  kTextSingular,
  kTextUnknown,
  kTextGaussian,
  kTextBadRange,
  kTextBadStep,
  kTextBadArgument,
  kTextCount
};

// Where null out-pointers are reported.
constexpr uint32_t kSiteArgument = 0x7B;

extern const pkg::Reporter kReport;

constexpr LocationCode Loc(uint32_t site) { return Location(M_PackageNumber, site); }

// Reports one of M's codes (0x1102 to 0x1107) with its text, the phrase put
// into "%s", at severity 8 (4 for underflow); any other code with the
// unknown-error text. Works before (and without) M's birth. Returns code.
ErrorCode ReportCode(uint32_t site, ErrorCode code, const char* phrase);

}  // namespace tv::m
