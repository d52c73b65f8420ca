// T's string table and version operations.
#include "Package.h"
#include "T.h"

STR_Table Tp_G_STRs = {};

namespace tv::t {
extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "overflow converting ratio denominators.",  // 0: 0x1102 after the retry
    "invalid frame rate",                       // 1: code 3
    "invalid frame duration",                   // 2: code 3
    "invalid time quantum",                     // 3: code 3
    STR_END,
};
}  // namespace tv::t

TV_PACKAGE_VERSION_OPS(T, T_PackageNumber)
