// FILE's string table, the package frame, reporting helpers and the
// translation of platform codes into the package's codes.
#include <cstring>

#include "Errno.h"
#include "FILE_internal.h"

STR_Table FILEp_G_STRs = {};

namespace tv::file {
namespace {

const char* const kCompiledStrings[] = {
    "internal structure is damaged.",                                 // kStrDamaged
    "invalid parameter.",                                             // kStrBadParam
    "unimplemented function.",                                        // kStrUnimplemented
    "unimplemented function \"%s\".",                                 // kStrUnimplementedNamed
    "can not %s a directory.",                                        // kStrCannotDirectory
    "invalid action on a directory.",                                 // kStrInvalidOnDirectory
    "can only %s a directory.",                                       // kStrOnlyDirectory
    "requested action only valid on a directory.",                    // kStrOnlyDirectoryPlain
    "invalid file specification.",                                   // kStrBadSpec
    "invalid specification initialization.",                         // kStrBadSpecInit
    "invalid file location specification.",                           // kStrBadLocKind
    "illegal search for parent directory of root.",                   // kStrParentOfRoot
    "cannot %s an open file.",                                        // kStrCannotOpen
    "invalid action on already open file.",                           // kStrOpenPlain
    "cannot %s a closed file.",                                       // kStrCannotClosed
    "invalid action on closed file.",                                 // kStrClosedPlain
    "file \"%s\" not found.",                                         // kStrNotFoundNamed
    "file not found.",                                                // kStrNotFound
    "disk is full.",                                                  // kStrDiskFull
    "attempt to read past end of file.",                              // kStrEOF
    "can't access file \"%s\".",                                      // kStrAccessNamed
    "can't access file.",                                             // kStrAccess
    "file \"%s\" aleady exists.",                                     // kStrExistsNamed
    "file aleady exists.",                                            // kStrExists
    "Unable to overwrite file.",                                      // kStrOverwrite
    "unable to overwrite \"%s\".",                                    // kStrOverwriteNamed
    "unknown error (%ld).",                                           // kStrUnknown
    "%s file \"%s\".",                                                // kStrActionFile
    "invalid read/write permission specification.",                   // kStrBadPerm
    "reading allowed from file only.",                                // kStrReadFileOnly
    "too many file extension mapping table entries.",                 // kStrTooManyExtensions
    "too many filetype mapping functions.",                           // kStrTooManyMapFuncs
    "filetype mapping function not found, and thus not removed.",     // kStrMapFuncNotFound
    "alias record too new.",                                          // kStrAliasTooNew
    "file path too long, may be missing when read. (\"%s\")",         // kStrAliasPathCut
    "relative aliases require full path.",                            // kStrRelativeNeedsPath
    "unable to overwrite busy file/directory.",                       // kStrOverwriteBusy
    "unable to delete open file.",                                    // kStrDeleteOpen
    "unable to get size of a directory.",                             // kStrSizeOfDirectory
    "illegal mode for size inquiry of file \"%s\".",                  // kStrBadSizeMode
    "file count allowed on directory only.",                          // kStrCountOnDirectory
    "test for root allowed on directory only.",                       // kStrRootOnDirectory
    "indexing allowed on directory only.",                            // kStrIndexOnDirectory
    "unable to set file type of directory.",                          // kStrFileTypeOfDirectory
    "directory \"%#s\" does not exist.",                              // kStrNoSuchDirectory
    "folders are too deeply nested to create full path for file \"%s\".",  // kStrTooDeep
    "invalid file location (volume name must be followed by a colon).",   // kStrVolumeColon
    "file exchange requires newer system software.",                  // kStrExchangeNeedsNewer
    "Files are of different types.",                                  // kStrDifferentTypes
    "Please find file \"%s\".",                                       // kStrPleaseFind
    "volume name \"%s\" too long for Mac alias -- file will be missing when read on a Macintosh.  "
    "Subsequent warnings will be suppressed.",                        // kStrVolumeTooLong
    "\"%s\" too long for Mac alias -- project may not open on a Macintosh.  "
    "Subsequent warnings will be suppressed.",                        // kStrPathTooLongMac
    "full path too long for alias.",                                  // kStrAliasPathTooLong
    "missing separator in full path.",                                // kStrMissingSeparator
    "alias record is damaged.",                                       // kStrAliasDamaged
    "file extension \"%s\" is longer than 8 characters.",             // kStrExtensionTooLong
    "no entry %ld in directory \"%s\".",                              // kStrIndexRange
    "\"%s\" is not a directory.",                                     // kStrNotAFolder
    STR_END,
};

}  // namespace

const char* Text(int32_t index) {
  if (!FILEp_G_STRs.texts) str::EnsureTable(FILEp_G_STRs, kCompiledStrings);
  if (!FILEp_G_STRs.texts) return kCompiledStrings[index];
  return STRp_Lookup(&FILEp_G_STRs, index);
}

ErrorCode Fail(uint32_t site, ErrorCode code, int32_t text, std::initializer_list<fmt::Arg> args) {
  report::Code(Loc(site), kSevError, code, Text(text), args);
  return code;
}

ErrorCode FailPlatform(uint32_t site, ErrorCode platformCode, std::string_view action, std::string_view path) {
  report::System(Loc(site), kSevError, platformCode, Text(kStrActionFile), {action, path});
  return FILE_TranslateError(platformCode);
}

ErrorCode FailErrno(uint32_t site, int error, std::string_view action, std::string_view path) {
  return FailPlatform(site, platform::FromErrno(error), action, path);
}

ErrorCode CopyOut(uint32_t site, std::string_view text, char* out, int32_t size) {
  if (!out || size <= 0) return Fail(site, kErrBadParam, kStrBadParam);
  if (text.size() >= static_cast<size_t>(size)) {
    out[0] = 0;
    return Fail(site, kErrBadParam, kStrBadParam);
  }
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  out[text.size()] = 0;
  return 0;
}

void ResetState() {
  ResetListings();
  ResetNames();
  ResetVolumes();
  ResetAliases();
  ResetInteraction();
}

}  // namespace tv::file

TV_PACKAGE_VERSION_OPS(FILE, FILE_PackageNumber)

ErrorCode FILE_TranslateError(ErrorCode platformCode) {
  switch (platformCode) {
    case -54: return FILE_ErrPermission;
    case -48: return FILE_ErrDuplicate;
    case -46: return FILE_ErrVolumeLocked;
    case -45: return FILE_ErrFileLocked;
    case -43: return FILE_ErrNotFound;
    case -39: return FILE_ErrEOF;
    case -34: return FILE_ErrDiskFull;
    default: return platformCode;
  }
}
