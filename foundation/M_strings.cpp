// M's string table.
#include "M.h"
#include "Package.h"

STR_Table Mp_G_STRs = {};

namespace tv::m {
// Indices into Mp_G_STRs.
extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "overflow %s.",                                   // 0: 0x1102
    "underflow %s.",                                  // 1: 0x1103
    "divide by zero %s.",                             // 2: 0x1104
    "attempt to use unrequested math service (%s).",  // 3: 0x1105
    "zero denominator %s.",                           // 4: 0x1106
    "unable to invert matrix.",                       // 5: 0x1107
    "unknown error (%ld).",                           // 6
    STR_END,
};
}  // namespace tv::m

TV_PACKAGE_VERSION_OPS(M, M_PackageNumber)
