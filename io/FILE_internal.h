// Internals shared by the FILE sources: the reference record, locked access
// with the marker check, the message table indices, sites, reporting helpers
// and path helpers.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "FILE.h"
#include "Format.h"
#include "Memory.h"
#include "Package.h"

namespace tv::file {

struct ForkBuffer;

constexpr uint16_t kSpecHead = 4268;
constexpr uint16_t kSpecTail = 2672;
constexpr uint16_t kDeadMarker = 0xDEAD;
constexpr int32_t kNoFd = -1;

// The reference record. The root folder has an empty parent and name; any
// other location has an absolute, normalised parent ("/" or "/a/b") and a
// name of 1 to 255 bytes.
struct SpecRec {
  uint16_t head;
  uint16_t kind;       // the location kind it was made from
  uint8_t isFolder;
  uint8_t isOpen;      // the data fork is open
  uint8_t fellBack;    // a read-write open fell back to read-only
  uint8_t pad;
  int32_t dataPerm;    // permission granted, 0 when closed
  int32_t resPerm;
  int32_t dataFd;      // kNoFd when closed
  int32_t resFd;
  uint64_t dirId;      // the parent folder's inode (informational)
  // The buffers of the open forks (owned; null when closed, or for a fork that
  // is not a regular file and so goes straight to the platform).
  ForkBuffer* dataBuf;
  ForkBuffer* resBuf;
  uint8_t nameLen;
  char name[FILE_MaxName + 1];
  char parent[FILE_MaxPath];
  uint16_t tail;
};

// Message indices into FILEp_G_STRs.
enum Str : int32_t {
  kStrDamaged, kStrBadParam, kStrUnimplemented, kStrUnimplementedNamed, kStrCannotDirectory,
  kStrInvalidOnDirectory, kStrOnlyDirectory, kStrOnlyDirectoryPlain, kStrBadSpec, kStrBadSpecInit,
  kStrBadLocKind, kStrParentOfRoot, kStrCannotOpen, kStrOpenPlain, kStrCannotClosed, kStrClosedPlain,
  kStrNotFoundNamed, kStrNotFound, kStrDiskFull, kStrEOF, kStrAccessNamed, kStrAccess, kStrExistsNamed,
  kStrExists, kStrOverwrite, kStrOverwriteNamed, kStrUnknown, kStrActionFile, kStrBadPerm, kStrReadFileOnly,
  kStrTooManyExtensions, kStrTooManyMapFuncs, kStrMapFuncNotFound, kStrAliasTooNew, kStrAliasPathCut,
  kStrRelativeNeedsPath, kStrOverwriteBusy, kStrDeleteOpen, kStrSizeOfDirectory, kStrBadSizeMode,
  kStrCountOnDirectory, kStrRootOnDirectory, kStrIndexOnDirectory, kStrFileTypeOfDirectory,
  kStrNoSuchDirectory, kStrTooDeep, kStrVolumeColon, kStrExchangeNeedsNewer, kStrDifferentTypes,
  kStrPleaseFind, kStrVolumeTooLong, kStrPathTooLongMac, kStrAliasPathTooLong, kStrMissingSeparator,
  kStrAliasDamaged, kStrExtensionTooLong, kStrIndexRange, kStrNotAFolder,
  kStrVolumeIndex, kStrReferenceMemory, kStrReferenceListMemory, kStrAliasMemory, kStrAliasDataMemory,
  kStrFlatAliasMemory,
  kStrCount,
};

// Report sites, one per operation.
enum Site : uint32_t {
  kSiteNew = 1, kSiteDispose, kSiteCopyFlatLoc, kSiteUpdateFlatLoc, kSiteDuplicate, kSiteInqLocSpec,
  kSiteInqBestLoc, kSiteInqPlatDepRef, kSiteInqExist, kSiteInqLocExist, kSiteInqIsRoot, kSiteInqFileLocked,
  kSiteCompare, kSiteOpen, kSiteClose, kSiteOpenFork, kSiteCloseFork, kSiteOpenResFile, kSiteCloseResFile,
  kSiteInqPerm, kSiteInqResPerm, kSiteFlush, kSiteRead, kSiteWrite, kSiteInqPos, kSiteSetPos, kSiteInqSize,
  kSiteSetSize, kSiteSetBuffer, kSiteCreate, kSiteDelete, kSiteRename, kSiteCopy, kSiteExchange, kSiteParentDir,
  kSiteDirFileCount, kSiteDirInqFileSpec, kSiteDirByName, kSiteSynch, kSiteInqName, kSiteClean, kSiteExtension,
  kSiteInqFileType, kSiteSetFileType, kSiteAddExtensionMap, kSiteAddMapFunc, kSiteRemoveMapFunc, kSiteVolCount,
  kSiteInqVolSpec, kSiteVolSpace, kSiteVolName, kSiteDates, kSiteNewAlias, kSiteDisposeAlias, kSiteResolveAlias,
  kSiteFinderAlias, kSiteWriteAlias, kSiteReadAlias, kSiteFlattenAlias, kSiteUnflattenAlias, kSiteInqAlias,
  kSiteRelative, kSiteInteract, kSiteInqIsDir,
};

constexpr LocationCode Loc(uint32_t site) { return Location(FILE_PackageNumber, site); }

extern const pkg::Reporter kReport;

// The text at index of the package's table (installed on first use).
inline const char* Text(int32_t index) { return kReport.Text(index); }
// Reports code with a text of the table; returns code.
inline ErrorCode Fail(uint32_t site, ErrorCode code, int32_t text, std::initializer_list<fmt::Arg> args = {}) {
  return kReport.Fail(site, code, text, args);
}
// Reports a platform failure as "<action> file "<path>"." with the platform's
// own text, and returns the package's code for it.
ErrorCode FailPlatform(uint32_t site, ErrorCode platformCode, std::string_view action, std::string_view path);
ErrorCode FailErrno(uint32_t site, int error, std::string_view action, std::string_view path);

// The magic words of a reference record.
constexpr pkg::Magic<SpecRec, uint16_t> kSpecMagic{&SpecRec::head, kSpecHead, &SpecRec::tail, kSpecTail};

// Locked access to a checked reference. err is 0 or the reported code 2.
class Spec : public pkg::CheckedLock<SpecRec, uint16_t> {
 public:
  Spec(FILE_SpecH h, uint32_t site) : CheckedLock(h, kSpecMagic, kReport, site), err(error()) {}
  ErrorCode err;
};

// ---- Paths -------------------------------------------------------------------
std::string FullPath(const SpecRec& r);
// Sets the location of r from an absolute path (normalised lexically). Reports
// 771 for a path that is not absolute and -37 for a name or path too long.
ErrorCode SetLocation(SpecRec& r, std::string_view path, uint32_t site);
// A new closed reference for an absolute path (kind 0), folder flag from the disk.
ErrorCode NewFromPath(std::string_view path, int32_t kind, uint32_t site, FILE_SpecH* ref);
// Allocates an initialised closed record; reports out of memory.
ErrorCode NewRecord(uint32_t site, FILE_SpecH* ref);
// Whether name is usable as one component (not empty, ".", "..", no '/' or NUL).
bool ValidName(std::string_view name);

// The fd of a fork, or kNoFd.
inline int32_t ForkFd(const SpecRec& r, int32_t fork) { return fork == FILE_ResourceFork ? r.resFd : r.dataFd; }
std::string SidecarPath(const SpecRec& r);
std::string ForkPath(const SpecRec& r, int32_t fork);

// ---- Buffered forks -------------------------------------------------------------
// An open regular file is read and written through a buffer of its own: a
// window of the file at the reference's position, holding read-ahead data and
// bytes not yet written. Positions are kept here (the descriptor's own offset
// is not used), so a position query costs nothing. The window is written out
// before it is replaced, before size queries and changes, on flushes and on
// closing; a failure to write it is reported once, by the operation that
// found it, with "writing to", and returned by that operation. The bytes that
// could not be written are then dropped, so the failure is not reported again.
inline ForkBuffer*& BufferOf(SpecRec& r, int32_t fork) { return fork == FILE_ResourceFork ? r.resBuf : r.dataBuf; }
// A buffer for a freshly opened descriptor; null for anything but a regular
// file, or when no memory is left (the fork then goes unbuffered).
ForkBuffer* NewBuffer(int fd);
void DeleteBuffer(ForkBuffer* b);
// Reads up to wanted bytes at the position; *done tells how many arrived.
// A platform failure is reported; the end of the file is left to the caller.
ErrorCode BufferedRead(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t wanted, char* out,
                       int32_t* done);
// Writes count bytes at the position (space checked as for an unbuffered write).
ErrorCode BufferedWrite(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t count, const char* in);
int64_t BufferedPos(const ForkBuffer& b);
// Moves the position; a read-only fork cannot be positioned past its end.
ErrorCode BufferedSetPos(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t position,
                         bool readOnly);
// Writes out pending bytes (no-op for a null buffer).
ErrorCode FlushBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site);
// Writes out pending bytes and forgets the window (the file changes size).
ErrorCode ResetBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site, int64_t newSize);
// Writes out both forks' pending bytes; the first failure is returned.
ErrorCode FlushForks(SpecRec& r, uint32_t site);

// ---- Shared state --------------------------------------------------------------
// Drops the cached listing of folder (after a change made through this package).
void ForgetListing(const std::string& folder);
void ResetListings();
void ResetNames();
void ResetVolumes();
void ResetAliases();
void ResetInteraction();

// Free bytes of the volume holding path, through the installed provider.
int FreeSpace(const std::string& path, uint64_t* freeBytes);
// For writes: 0 when growing the file at path by bytes fits the volume's free
// space, else the reported 785.
ErrorCode CheckSpace(uint32_t site, const std::string& path, uint64_t growth, std::string_view action);

// The host's locate callback (null when none).
bool LocateInteractive(const std::string& prompt, const std::string& missing, std::string* found);

// ---- Path forms and relative paths ------------------------------------------
// Native paths start with '/'; Windows-form paths (kept from old projects)
// start with a drive letter and ':' or with two backslashes.
enum class PathForm { Native, Windows, Other };
PathForm FormOf(std::string_view path);
std::string VolumeName(std::string_view path);
// Levels and offset relating footage to project; false when they share no volume.
bool Relate(std::string_view project, std::string_view footage, int32_t* levels, int32_t* offset);
// The footage path relative to project, or empty when the data does not apply.
std::string Resolve(std::string_view project, std::string_view stored, int32_t levels, int32_t offset);
// The mount point holding path.
std::string VolumeOf(const std::string& path);

// ---- Aliases ---------------------------------------------------------------------
// Finds the file an alias names (see FILE_ResolveAliasRec); quiet: no report,
// no interaction. Returns 0 and the path, or the (reported unless quiet) code.
ErrorCode FindAliasTarget(FILE_AliasH alias, const std::string& projectPath, bool interactive, bool quiet,
                          std::string* found, bool* changed);

// Copies text into a caller's buffer of size bytes; 3 (reported) when it does not fit.
ErrorCode CopyOut(uint32_t site, std::string_view text, char* out, int32_t size);

}  // namespace tv::file
