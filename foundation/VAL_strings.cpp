// VAL's string table.
#include "Package.h"
#include "VAL_internal.h"

STR_Table VALp_G_STRs = {};

namespace tv::val {
const char* const kCompiledStrings[] = {
    "VAL type \"^1\" already registered.",
    "unable to convert from type ^L1 to type ^2.",
    "can not save type \"^1\" to a file.",
    "unable to recognize type \"^1\".",
    "unimplemented",
    "a count of values of at least 1",
    "a flat header that matches its data",
    "a registered VAL type number",
    STR_END,
};
}  // namespace tv::val

TV_PACKAGE_VERSION_OPS(VAL, VAL_PackageNumber)
