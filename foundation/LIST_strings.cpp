// LIST's string table, its version operations, the report helpers and the
// header check every operation runs first.
#include "LIST_internal.h"
#include "Package.h"

STR_Table LISTp_G_STRs = {};

namespace tv::list {

extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "unknown error (%ld).",                                // 0
    "cannot %s a read-only list.",                         // 1: 0x1B01
    "cannot %s a locked list.",                            // 2: 0x1B02
    "cannot %s an unlocked list.",                         // 3: 0x1B03
    "list",                                                // 4: out-of-memory name
    "dispose",                                             // 5
    "unlock",                                              // 6
    "reserve space in",                                    // 7
    "reserving space in list",                             // 8
    "compact",                                             // 9
    "compacting list space",                               // 10
    "insert an item into",                                 // 11
    "growing list for insertion",                          // 12
    "remove an item from",                                 // 13
    "attempt to %s a position outside of list length.",    // 14: code 10
    "set an item in",                                      // 15
    "get an item from",                                    // 16
    "get an item address from",                            // 17
    "attempt to %s an invalid range of a list.",           // 18: 0x1B04
    "temporary list item space",                           // 19
    "could not find the item to %s.",                      // 20: 0x1B05
    "remove",                                              // 21
    "adjusting list size for new block size",              // 22
    "requires a list of 4 byte items.",                    // 23
    "adjust size of",                                      // 24
    "invalid list information in file (%s).",              // 25: 0x1B06
    "old-style header info",                               // 26
    "unrecognized chunk ID",                               // 27
    "old-style header length",                             // 28
    "header length",                                       // 29
    "resizing list (too many items)",                      // 30
    "requires a list of pointer-sized items.",             // 31
    STR_END,
};

const char* Str(int32_t index) {
  if (!LISTp_G_STRs.texts) EnsureStrings();
  return STRp_Lookup(&LISTp_G_STRs, index);
}

ErrorCode EnsureStrings() { return tv::str::EnsureTable(LISTp_G_STRs, kCompiledStrings); }

namespace {
int32_t MessageFor(ErrorCode code) {
  switch (code) {
    case LIST_ErrBusy: return kTextReadOnly;
    case LIST_ErrLocked: return kTextLocked;
    case LIST_ErrUnlocked: return kTextUnlocked;
    case LIST_ErrInvalidRange: return kTextBadRange;
    case LIST_ErrNotFound: return kTextNotFound;
    case LIST_ErrBadFileData: return kTextBadFile;
    case kErrRange: return kTextOutside;
    default: return kTextUnknown;
  }
}
}  // namespace

ErrorCode Fail(LocationCode loc, ErrorCode code, int32_t verb) {
  int32_t message = MessageFor(code);
  if (message == kTextUnknown) return report::Code(loc, kSevError, code, Str(kTextUnknown), {code});
  return report::Code(loc, kSevError, code, Str(message), {Str(verb)});
}

ErrorCode FailText(LocationCode loc, ErrorCode code, int32_t textIndex) {
  return Up_ReportVeskErrString(loc, kSevError, code, Str(textIndex));
}

ErrorCode CheckFailed(LIST_Handle list, LocationCode loc) {
  if (!list || !*list) return Fail(loc, kErrBadParam, 0);
  return Fail(loc, kErrDamaged, 0);
}

}  // namespace tv::list

TV_PACKAGE_VERSION_OPS(LIST, LIST_PackageNumber)
