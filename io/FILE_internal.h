// Internals shared by the FILE sources: the reference record, locked access
// with the marker check, the message table indices, sites, reporting helpers
// and path helpers.
#pragma once

#include <sys/stat.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FILE.h"
#include "Format.h"
#include "Memory.h"
#include "Package.h"

namespace tv::file {

struct ForkBuffer;
struct SharedFile;

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
  // This reference's side of its open forks (owned; null when closed, or for
  // a fork that is not a regular file and so goes straight to the platform).
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
  kStrAliasDamaged, kStrExtensionTooLong, kStrIndexRange, kStrNotAFolder, kStrNotAFile,
  kStrVolumeIndex, kStrReferenceMemory, kStrReferenceListMemory, kStrAliasMemory, kStrAliasDataMemory,
  kStrFlatAliasMemory, kStrBufferMemory,
  // Actions and verbs put into the texts above ("%s file", "cannot %s ...").
  kActClosing, kActCopyingTo, kActCopying, kActCreating, kActDeleting, kActExchanging, kActFindingFreeSpaceFor, kActFindingPositionIn, kActFindingSizeOf, kActFlushing, kActGettingInformationOn, kActNaming, kActOpeningResourceForkOf, kActOpening, kActReadingDirectory, kActReadingFrom, kActRenaming, kActReplacing, kActResolvingAlias, kActSettingDateOf, kActSettingPositionIn, kActSettingSizeOf, kActWritingTo,
  kVerbClose, kVerbCopy, kVerbCreate, kVerbExchange, kVerbFindPositionIn, kVerbFlush, kVerbOpen, kVerbOverwrite, kVerbRead, kVerbRelocate, kVerbReopen, kVerbResolve, kVerbSetBufferFor, kVerbSetPositionIn, kVerbSetSizeOf, kVerbWriteTo,
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

// Reports a platform failure as "<action> file "<path>"." with the platform's
// own text, and returns the package's code for it.
ErrorCode FailPlatform(uint32_t site, ErrorCode platformCode, int32_t action, std::string_view path);
ErrorCode FailErrno(uint32_t site, int error, int32_t action, std::string_view path);

// The magic words of a reference record.
constexpr pkg::Magic<SpecRec, uint16_t> kSpecMagic{&SpecRec::head, kSpecHead, &SpecRec::tail, kSpecTail};

// Access to a checked reference. Its block is locked by NewRecord for its
// whole life, so the check takes no lock of its own. err is 0 or the
// reported code 2.
class Spec {
 public:
  Spec(FILE_SpecH h, uint32_t site);
  Spec(const Spec&) = delete;
  Spec& operator=(const Spec&) = delete;
  ErrorCode err = 0;
  SpecRec* operator->() const { return rec_; }
  SpecRec& operator*() const { return *rec_; }

 private:
  SpecRec* rec_ = nullptr;
};

// ---- Paths -------------------------------------------------------------------
std::string FullPath(const SpecRec& r);
// Sets the location of r from an absolute path (normalised lexically). Reports
// 771 for a path that is not absolute and -37 for a name or path too long.
ErrorCode SetLocation(SpecRec& r, std::string_view path, uint32_t site);
// A new closed reference for an absolute path (kind 0), folder flag from the disk.
ErrorCode NewFromPath(std::string_view path, int32_t kind, uint32_t site, FILE_SpecH* ref);
// Allocates an initialised closed record, locked for life; reports out of memory.
ErrorCode NewRecord(uint32_t site, FILE_SpecH* ref);
// Whether name is usable as one component (not empty, ".", "..", no '/' or NUL).
bool ValidName(std::string_view name);

// The fd of a fork, or kNoFd.
inline int32_t ForkFd(const SpecRec& r, int32_t fork) { return fork == FILE_ResourceFork ? r.resFd : r.dataFd; }
std::string SidecarPath(const SpecRec& r);
std::string ForkPath(const SpecRec& r, int32_t fork);

// ---- Side-car resource forks (see FILE_sidecar.cpp) -----------------------------
// What lies at a file's side-car path: nothing, its own resource fork, or an
// unrelated file (an orphan, a folder, a file made by someone else).
enum class Sidecar { None, Own, Unrelated };
Sidecar SidecarOf(const std::string& dataPath, const std::string& sidecarPath);
Sidecar SidecarOf(const SpecRec& r);  // None for folders
// Marks a side-car just made (open at fd) as the fork of the file at
// dataPath; 0 or an errno value.
int MarkSidecar(const std::string& dataPath, int sidecarFd);
// The mark of the file at path (empty when it has none), and giving it to a
// copy open at fd (0 or an errno value).
std::string MarkOf(const std::string& path);
int SetMark(int fd, const std::string& mark);
// 0 when this process may change the file or folder at path, else why not
// (an errno value): the test of FILE_InqFileLocked.
int WriteDenied(const std::string& path);

// ---- Buffered forks -------------------------------------------------------------
// Every regular file open in this process has one entry in a table of open
// files, shared by the references that have it open: one window of the file
// (read-ahead and bytes not yet written) that all of them read and write
// through, each at its own position, so what one writes the others read at
// once. Only bytes written are ever written back. While a reference has the
// file open in the shared mode, reads and writes go straight to the platform.
// A write waits in the window only when nothing known here could make the
// platform refuse it later (size limits, the last stretch of free space); any
// other goes straight through and its own call reports a refusal. Pending bytes go out before a
// read or write leaves the window, before size queries and changes, on
// flushes and on closing; a failure then is reported once, by the operation
// that found it, with "writing to", and those bytes are dropped.
struct SharedFile {
  static constexpr int32_t kCapacity = 64 * 1024;
  dev_t dev = 0;
  ino_t ino = 0;
  std::vector<ForkBuffer*> users;
  int32_t sharedUsers = 0;       // users opened in the shared mode
  std::unique_ptr<char[]> data;  // kCapacity bytes, allocated on first buffered use
  int64_t start = 0;             // file offset of data[0]
  int32_t len = 0;               // valid bytes in data
  int32_t dirtyLo = 0;           // pending bytes: [dirtyLo, dirtyHi) of data
  int32_t dirtyHi = 0;
  // A write ending at or before spaceEnd needs no space beyond what the
  // volume confirmed; one ending at or before roomyEnd may wait in the window.
  int64_t spaceEnd = 0;
  int64_t roomyEnd = 0;
  int64_t sizeBitsCap = -1;  // the file system's largest file (-1: not asked yet)

  bool Direct() const { return sharedUsers > 0; }
  bool Dirty() const { return dirtyHi > dirtyLo; }
  bool Holds(int64_t p) const { return p >= start && p < start + len; }
};

// One reference's side of an open fork.
struct ForkBuffer {
  int fd = kNoFd;
  int32_t perm = 0;
  int64_t pos = 0;  // the reference's position in the fork
  SharedFile* file = nullptr;
};

inline ForkBuffer*& BufferOf(SpecRec& r, int32_t fork) { return fork == FILE_ResourceFork ? r.resBuf : r.dataBuf; }
// The common read, inline: all wanted bytes are in the window. False (and
// nothing done) otherwise.
inline bool ReadInWindow(ForkBuffer& b, int32_t wanted, char* out) {
  const SharedFile& f = *b.file;
  if (f.len == 0 || b.pos < f.start || wanted > f.start + f.len - b.pos) return false;
  std::memcpy(out, f.data.get() + (b.pos - f.start), static_cast<size_t>(wanted));
  b.pos += wanted;
  return true;
}
// Joins (or makes) the table entry of the file open at fd. *out stays null
// for anything but a regular file, which goes straight to the platform.
// Joining in the shared mode writes out what other references left pending.
ErrorCode AttachFork(int fd, int32_t perm, const SpecRec& r, int32_t fork, uint32_t site, ForkBuffer** out);
// Writes out what is pending for the file and leaves its entry (no-op for null).
ErrorCode DetachFork(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site);
// Whether some reference in this process has the file of st open.
bool IsOpen(const struct stat& st);
// Open files in the table (for tests: none once every reference is closed).
size_t OpenFileCount();
// Reads up to wanted bytes at the position; *done tells how many arrived.
// A platform failure is reported; the end of the file is left to the caller.
ErrorCode BufferedRead(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t wanted, char* out,
                       int32_t* done);
// Writes count bytes at the position; *done tells how many reached the file
// (or the window). A refusal is reported.
ErrorCode BufferedWrite(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t count, const char* in,
                        int32_t* done);
int64_t BufferedPos(const ForkBuffer& b);
// Moves the position; a read-only fork cannot be positioned past its end.
ErrorCode BufferedSetPos(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t position,
                         bool readOnly);
// Writes out what is pending for the file (no-op for a null buffer).
ErrorCode FlushBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site);
// Writes out both forks' pending bytes; the first failure is returned.
ErrorCode FlushForks(SpecRec& r, uint32_t site);
// Writes out what references in this process hold pending for the fork's file
// (for a reference that does not have it open itself).
ErrorCode FlushFile(const SpecRec& r, int32_t fork, uint32_t site);
// Writes out what is pending and forgets the window, before the file changes
// size or its descriptor is handed out, so nothing kept outlives the change.
ErrorCode DropWindow(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site);
// Keeps the position within a file cut to size (no-op for null).
void ClampPos(ForkBuffer* b, int64_t size);

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
ErrorCode CheckSpace(uint32_t site, const std::string& path, uint64_t growth, int32_t action);

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
