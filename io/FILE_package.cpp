// FILE's package frame: its checked text table and reporter, version
// operations, the platform-failure reports and the translation of platform
// codes into the package's codes.
#include <cstring>

#include "Errno.h"
#include "FILE_internal.h"

STR_Table FILEp_G_STRs = {};

namespace tv::file {
namespace {

constexpr pkg::Text kTexts[] = {
    {kStrDamaged, "internal structure is damaged."},
    {kStrBadParam, "invalid parameter."},
    {kStrUnimplemented, "unimplemented function."},
    {kStrUnimplementedNamed, "unimplemented function \"%s\"."},
    {kStrCannotDirectory, "can not %s a directory."},
    {kStrInvalidOnDirectory, "invalid action on a directory."},
    {kStrOnlyDirectory, "can only %s a directory."},
    {kStrOnlyDirectoryPlain, "requested action only valid on a directory."},
    {kStrBadSpec, "invalid file specification."},
    {kStrBadSpecInit, "invalid specification initialization."},
    {kStrBadLocKind, "invalid file location specification."},
    {kStrParentOfRoot, "illegal search for parent directory of root."},
    {kStrCannotOpen, "cannot %s an open file."},
    {kStrOpenPlain, "invalid action on already open file."},
    {kStrCannotClosed, "cannot %s a closed file."},
    {kStrClosedPlain, "invalid action on closed file."},
    {kStrNotFoundNamed, "file \"%s\" not found."},
    {kStrNotFound, "file not found."},
    {kStrDiskFull, "disk is full."},
    {kStrEOF, "attempt to read past end of file."},
    {kStrAccessNamed, "can't access file \"%s\"."},
    {kStrAccess, "can't access file."},
    {kStrExistsNamed, "file \"%s\" aleady exists."},
    {kStrExists, "file aleady exists."},
    {kStrOverwrite, "Unable to overwrite file."},
    {kStrOverwriteNamed, "unable to overwrite \"%s\"."},
    {kStrUnknown, "unknown error (%ld)."},
    {kStrActionFile, "%s file \"%s\"."},
    {kStrBadPerm, "invalid read/write permission specification."},
    {kStrReadFileOnly, "reading allowed from file only."},
    {kStrTooManyExtensions, "too many file extension mapping table entries."},
    {kStrTooManyMapFuncs, "too many filetype mapping functions."},
    {kStrMapFuncNotFound, "filetype mapping function not found, and thus not removed."},
    {kStrAliasTooNew, "alias record too new."},
    {kStrAliasPathCut, "file path too long, may be missing when read. (\"%s\")"},
    {kStrRelativeNeedsPath, "relative aliases require full path."},
    {kStrOverwriteBusy, "unable to overwrite busy file/directory."},
    {kStrDeleteOpen, "unable to delete open file."},
    {kStrSizeOfDirectory, "unable to get size of a directory."},
    {kStrBadSizeMode, "illegal mode for size inquiry of file \"%s\"."},
    {kStrCountOnDirectory, "file count allowed on directory only."},
    {kStrRootOnDirectory, "test for root allowed on directory only."},
    {kStrIndexOnDirectory, "indexing allowed on directory only."},
    {kStrFileTypeOfDirectory, "unable to set file type of directory."},
    {kStrNoSuchDirectory, "directory \"%#s\" does not exist."},
    {kStrTooDeep, "folders are too deeply nested to create full path for file \"%s\"."},
    {kStrVolumeColon, "invalid file location (volume name must be followed by a colon)."},
    {kStrExchangeNeedsNewer, "file exchange requires newer system software."},
    {kStrDifferentTypes, "Files are of different types."},
    {kStrPleaseFind, "Please find file \"%s\"."},
    {kStrVolumeTooLong, "volume name \"%s\" too long for Mac alias -- file will be missing when read on a Macintosh.  "
            "Subsequent warnings will be suppressed."},
    {kStrPathTooLongMac, "\"%s\" too long for Mac alias -- project may not open on a Macintosh.  "
            "Subsequent warnings will be suppressed."},
    {kStrAliasPathTooLong, "full path too long for alias."},
    {kStrMissingSeparator, "missing separator in full path."},
    {kStrAliasDamaged, "alias record is damaged."},
    {kStrExtensionTooLong, "file extension \"%s\" is longer than 8 characters."},
    {kStrIndexRange, "no entry %ld in directory \"%s\"."},
    {kStrNotAFolder, "\"%s\" is not a directory."},
    {kStrNotAFile, "can not open \"%s\": it is %s, not a file."},
    {kStrVolumeIndex, "volume %ld."},
    {kStrReferenceMemory, "file reference"},
    {kStrReferenceListMemory, "file reference list"},
    {kStrAliasMemory, "alias record"},
    {kStrAliasDataMemory, "alias platform data"},
    {kStrFlatAliasMemory, "flattened alias record"},
    {kStrBufferMemory, "file buffer"},
    {kActClosing, "closing"},
    {kActCopyingTo, "copying to"},
    {kActCopying, "copying"},
    {kActCreating, "creating"},
    {kActDeleting, "deleting"},
    {kActExchanging, "exchanging"},
    {kActFindingFreeSpaceFor, "finding free space for"},
    {kActFindingPositionIn, "finding position in"},
    {kActFindingSizeOf, "finding size of"},
    {kActFlushing, "flushing"},
    {kActGettingInformationOn, "getting information on"},
    {kActNaming, "naming"},
    {kActOpeningResourceForkOf, "opening resource fork of"},
    {kActOpening, "opening"},
    {kActReadingDirectory, "reading directory"},
    {kActReadingFrom, "reading from"},
    {kActRenaming, "renaming"},
    {kActReplacing, "replacing"},
    {kActResolvingAlias, "resolving alias"},
    {kActSettingDateOf, "setting date of"},
    {kActSettingPositionIn, "setting position in"},
    {kActSettingSizeOf, "setting size of"},
    {kActWritingTo, "writing to"},
    {kVerbClose, "close"},
    {kVerbCopy, "copy"},
    {kVerbCreate, "create"},
    {kVerbExchange, "exchange"},
    {kVerbFindPositionIn, "find position in"},
    {kVerbFlush, "flush"},
    {kVerbOpen, "open"},
    {kVerbOverwrite, "overwrite"},
    {kVerbRead, "read"},
    {kVerbRelocate, "relocate"},
    {kVerbReopen, "reopen"},
    {kVerbResolve, "resolve"},
    {kVerbSetBufferFor, "set buffer for"},
    {kVerbSetPositionIn, "set position in"},
    {kVerbSetSizeOf, "set size of"},
    {kVerbWriteTo, "write to"},
};
TV_TEXT_TABLE(kTexts, kStrCount);

}  // namespace

// The table is installed on first use (FILE has no birth).
constinit const pkg::Reporter kReport{.number = FILE_PackageNumber,
                                      .table = &FILEp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kStrCount,
                                      .damaged = kStrDamaged,
                                      .badParam = kStrBadParam,
                                      .installOnUse = true};

ErrorCode FailPlatform(uint32_t site, ErrorCode platformCode, int32_t action, std::string_view path) {
  kReport.Platform(site, kSevError, platformCode, kStrActionFile, {kReport.Text(action), path});
  return FILE_TranslateError(platformCode);
}

ErrorCode FailErrno(uint32_t site, int error, int32_t action, std::string_view path) {
  return FailPlatform(site, platform::FromErrno(error), action, path);
}

ErrorCode CopyOut(uint32_t site, std::string_view text, char* out, int32_t size) {
  if (!out || size <= 0) return kReport.BadParam(site);
  if (text.size() >= static_cast<size_t>(size)) {
    out[0] = 0;
    return kReport.BadParam(site);
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
