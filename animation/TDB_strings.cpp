// TDB's string table, version operations and report helpers.
#include "Package.h"
#include "TDB_internal.h"

STR_Table TDBp_G_STRs = {};

namespace tv::tdb {
namespace {
const char* const kCompiledStrings[] = {
    "unknown error (%ld).",                                                                          // 0
    "attempt to %s an internally damaged time stream.",                                             // 1
    "attempt to %s time stream key value.",                                                          // 2
    "attempt to %s a constant time stream.",                                                         // 3
    "attempt to %s a time stream with no key values.",                                               // 4
    "invalid time scale in %s.",                                                                     // 5
    "%s caused time value overflow.",                                                                // 6
    "attempt to %s a time stream at a time position not representable in the stream time scale.",  // 7
    "interpolation method not allowed for this stream (%d).",                                        // 8
    "invalid time stream information in file (%s).",                                                 // 9
    "attempt to %s a non-spatial stream.",                                                           // 10
    "only 2d spatial streams allow arc-length interpolation",                                        // 11
    "no custom interp function specified",                                                           // 12
    "Some interpolated values may be incorrect in this project due to nearly overlapping keyframes.",  // 13
    "dispose",                                   // 14
    "get a value from",                          // 15
    "insert a key value into",                   // 16
    "remove a key value from",                   // 17
    "alter a key value in",                      // 18
    "get a key value from",                      // 19
    "inquire about a key value in",              // 20
    "duplicate",                                 // 21
    "merge",                                     // 22
    "write out",                                 // 23
    "read in",                                   // 24
    "modify",                                    // 25
    "set value description",                     // 26
    "set imask",                                 // 27
    "set spatial imask",                         // 28
    "set spatial interp",                        // 29
    "set multiplier of",                         // 30
    "set tangents for a key in",                 // 31
    "overwrite an already existing",             // 32
    "alter time-varyingness of",                 // 33
    "iterate over key values in",                // 34
    "time value overflow",                       // 35
    "stream isn't spatial",                      // 36
    "key data size mismatch",                    // 37
    "invalid time stream rescaling technique",   // 38
    "unable to inquire derivative",              // 39
    "can't directly manipulate this stream.",    // 40
    "predict spatial change of",                 // 41
    "adaptive stream temporary data",            // 42
    "invalid method while interpolating",        // 43
    "header length",                             // 44
    "old-style header info",                     // 45
    "old-style header length",                   // 46
    "unrecognized chunk ID",                     // 47
    "unknown old-style interpolation constant",  // 48
    "unknown old-style data type constant",      // 49
    "multiple value interpolation array",        // 50
    "clone",                                     // 51
    "rescale",                                   // 52
    "set accuracy of",                           // 53
    "set custom functions of",                   // 54
    "set arc-length parametrization of",         // 55
    "move a key value in",                       // 56
    "set key flags in",                          // 57
    "set key velocity in",                       // 58
    "set key influence in",                      // 59
    "get a derivative from",                     // 60
    "sample",                                    // 61
    "find a key value in",                       // 62
    "copy a key value from",                     // 63
    "update",                                    // 64
    "time stream",                               // 65
    "time stream key list",                      // 66
    "time stream header",                        // 67
    "constant value size",                       // 68
    "key list size",                             // 69
    "key order",                                 // 70
    "dimension",                                 // 71
    "value description",                         // 72
    "stream flags",                              // 73
    "old-style stream header forms are not supported",  // 74
    "custom value kind",                         // 75
    "time arithmetic",                           // 76
    "zero velocity points",                      // 77
    "directly manipulate",                       // 78
    STR_END,
};
static_assert(sizeof(kCompiledStrings) / sizeof(kCompiledStrings[0]) == TDB_StringCount + 1);
}  // namespace

ErrorCode EnsureStrings() { return tv::str::EnsureTable(TDBp_G_STRs, kCompiledStrings); }

const char* S(int32_t index) {
  // Without an installed table (out of memory) the compiled text is used.
  if (EnsureStrings() != 0 && index >= 0 && index < TDB_StringCount) return kCompiledStrings[index];
  return STRp_Lookup(&TDBp_G_STRs, index);
}

ErrorCode Fail(uint32_t site, ErrorCode code, int32_t verb, int32_t number) {
  int32_t text = kStrUnknown;
  switch (code) {
    case kErrDamaged: text = kStrDamaged; break;
    case TDB_ErrKeyExists: text = kStrKeyExists; break;
    case TDB_ErrConstant: text = kStrConstant; break;
    case TDB_ErrNoKeys: text = kStrNoKeys; break;
    case TDB_ErrTimeScale: text = kStrTimeScale; break;
    case TDB_ErrOverflow: text = kStrOverflow; break;
    case TDB_ErrTimePosition: text = kStrTimePosition; break;
    case TDB_ErrMethod: text = kStrMethod; break;
    case TDB_ErrFileData: text = kStrFileData; break;
    case TDB_ErrNotSpatial: text = kStrNotSpatial; break;
    case TDB_ErrArcLength2D: text = kStrArcLength2D; break;
    case TDB_ErrValueDesc:
    case TDB_ErrNoSuchKind: return code;
    default: break;
  }
  std::string msg;
  if (text == kStrMethod)
    msg = fmt::Format(S(text), {number});
  else if (text == kStrUnknown)
    msg = fmt::Format(S(text), {code});
  else
    msg = fmt::Format(S(text), {S(verb)});
  return Up_ReportVeskErrString(Loc(site), kSevError, code, msg.c_str());
}

ErrorCode FailText(uint32_t site, ErrorCode code, int32_t text) {
  return Up_ReportVeskErrString(Loc(site), kSevError, code, S(text));
}

ErrorCode OutOfMemory(uint32_t site, uint64_t size) {
  return Up_ReportOutOfMemory(Loc(site), S(kStrTimeStream), size);
}

ErrorCode FileData(int32_t detail) { return Fail(kSiteRead, TDB_ErrFileData, detail); }

}  // namespace tv::tdb

TV_PACKAGE_VERSION_OPS(TDB, TDB_PackageNumber)
