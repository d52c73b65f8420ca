// SLU's string table, version operations and report helpers.
#include "SLU_internal.h"

STR_Table SLUp_G_STRs = {};

namespace tv::slu {

extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "loading/saving structure.",                                    // 0
    "missing data in file.",                                        // 1: 0x2101
    "writing to file.",                                             // 2
    "chunk in file too big -- probably unsupported file version.",  // 3
    "damaged chunk in file (%s).",                                  // 4: 0x2101
    "size past the end of its container",                           // 5
    "header cut short",                                             // 6
    "container too short for its form type",                        // 7
    "container chunks need a form type; other chunks take none.",   // 8
    "reading outside of the chunk.",                                // 9
    "invalid argument.",                                            // 10
    "unknown error (%ld).",                                         // 11
    STR_END,
};

ErrorCode EnsureStrings() { return tv::str::EnsureTable(SLUp_G_STRs, kCompiledStrings); }

const char* Str(int32_t index) {
  if (!SLUp_G_STRs.texts) EnsureStrings();
  return STRp_Lookup(&SLUp_G_STRs, index);
}

ErrorCode Fail(uint32_t site, Severity severity, ErrorCode code, int32_t text,
               std::initializer_list<fmt::Arg> args) {
  return report::Code(Loc(site), severity, code, Str(text), args);
}

ErrorCode Damaged(int32_t detail) {
  return Fail(SLU_SiteMissing, kSevError, SLU_ErrMissingData, kTextDamaged, {Str(detail)});
}

ErrorCode BadMark(uint32_t site) { return Fail(site, kSevFatal, kErrDamaged, kTextStructure); }

}  // namespace tv::slu

TV_PACKAGE_VERSION_OPS(SLU, SLU_PackageNumber)
