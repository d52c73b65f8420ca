// STR's package frame: its own checked text table and reporter, and its
// version operations.
#include "Package.h"
#include "STR_internal.h"

namespace tv::str {
namespace {

constexpr pkg::Text kTexts[] = {
    {kTextStringTable, "string table"},
    {kTextEntry, "string table entry"},
    {kTextReplacement, "string table replacement entry"},
    {kTextResource, "string resource"},
    {kTextBall, "string ball"},
    {kTextBadTag, "bad replacement string tag."},
    {kTextDetaching, "detaching strings."},
    {kTextNoStrings, "no strings for pkg #%d!"},
    {kTextBadArgument, "bad argument to %s."},
};
TV_TEXT_TABLE(kTexts, kTextCount);

// STR's own texts are installed only through STRp_BirthStrTab (no birth of
// its own): until then the compiled ones are used.
STR_Table gTable = {};

}  // namespace

constinit const pkg::Reporter kReport{.number = STR_PackageNumber,
                                      .table = &gTable,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kTextCount,
                                      .damaged = kTextBall,
                                      .badParam = kTextBadArgument};

}  // namespace tv::str

TV_PACKAGE_VERSION_OPS(STR, STR_PackageNumber)
