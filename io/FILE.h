// FILE: the file layer. One portable view of files and folders: references
// that name a file or folder by location, opening with permissions (with the
// read-only fallback), the data fork and a side-car resource fork, positions
// and sizes, create/delete/rename/copy/exchange, sorted folder enumeration,
// names, extensions and file types, volumes and free space, dates, alias
// records with their flattened (big-endian) form, relative paths between a
// project and its footage, interactive hooks and the translation of platform
// errors into the package's codes.
//
// On this platform the separator is '/', a "volume" is a mount point, file
// positions and sizes are 64-bit, and the resource fork of "name" is the
// optional side-car file "name.rsrc" beside it.
//
// What callers may rely on:
// - References of one file open in this process read and write through one
//   shared buffer, each at its own position: what one writes, the others read
//   at once. Only bytes written are ever written back. With a reference open
//   in the shared mode (6), every read and write goes straight to the file,
//   where other processes see it.
// - A write that the platform refuses (a full volume, a size limit) fails by
//   itself, telling in *count the bytes that reached the file. What can still
//   fail when buffered bytes go out (an I/O error) is reported once, by the
//   call that writes them out.
// - "name.rsrc" is the resource fork of "name" only when it was made as that
//   file's fork (through this package, or copied with it); a file of that name
//   made otherwise is never read, moved or deleted as the fork. On a file
//   system without extended attributes the name alone tells.
// - Deleting a file, or creating over it, is refused while any reference in
//   this process has it open, and for a locked file.
// - Every failure is reported once, here (severity 8, package 3, one site per
//   operation), and answers: 3 for a null required pointer or a bad argument,
//   2 for a reference or alias that is not a living one, 769 / 770 for an
//   operation that needs a file / a folder, 782 / 783 for a reference that
//   must be closed / open, 784 not found, 790 no permission, 786 end of file,
//   792 already exists, 4 out of memory. A platform failure is reported with
//   the platform's text and answers FILE_TranslateError of its code (the
//   other platform codes, e.g. -37 for a name or path too long, pass as they
//   are).
// - Out-parameters are cleared first (null references, 0, "" ...), so a
//   failed call leaves them cleared.
// - A failed operation leaves no half-made reference or record behind.
// - Names and paths are UTF-8; cuts never split a character. Single thread.
#pragma once

#include "STR.h"
#include "Types.h"

// A file reference: a handle holding the location (parent folder and name),
// the folder flag, the open state and the fork reference numbers.
typedef Handle FILE_SpecH;
// An alias record in memory.
typedef Handle FILE_AliasH;

enum {
  FILE_PackageNumber = 3,
  FILE_MaxName = 255,      // bytes of one name
  FILE_MaxPath = 4096,     // bytes of a full path, terminator included
  FILE_VolNameSize = 65,   // buffer size for FILE_GetVolumeNameFromFullPath
  FILE_ClosedRefNum = 65535,
  FILE_MaxExtensionMaps = 128,
  FILE_MaxExtensionChars = 8,
  FILE_MaxFiletypeMapFuncs = 32,
  FILE_AliasPathMax = 253,  // characters of a path kept in a flattened alias
};

// Location kinds of FILE_New.
enum {
  FILE_LocFullPath = 0,       // const char*: an absolute path
  FILE_LocFlat = 1,           // const FILE_FlatLoc*
  FILE_LocPlatSpec = 3,       // const FILE_PlatSpec*
  FILE_LocAlias = 4,          // FILE_AliasH, resolved without interaction
  FILE_LocAliasInteract = 5,  // FILE_AliasH, resolved with the host's locate callback
};

// Permissions of FILE_Open.
enum {
  FILE_PermRead = 1,
  FILE_PermWrite = 2,
  FILE_PermReadWrite = 3,
  FILE_PermShared = 6,  // the platform's shared mode: read-write, nothing kept in buffers
};

// Forks.
enum { FILE_DataFork = 0, FILE_ResourceFork = 1 };

// Modes of FILE_InqSize.
enum { FILE_SizeData = 0, FILE_SizeResource = 1, FILE_SizeTotal = 2 };

// Forms of FILE_InqName.
enum { FILE_NameOnly = 0, FILE_NameFullPath = 1, FILE_NameVolume = 2 };

// Kinds and flags of FILE_Create.
enum { FILE_CreateFile = 0, FILE_CreateFolder = 1 };
enum { FILE_CreateReplace = 1 };  // replace an existing file

// The package's codes: (3 << 8) + index.
enum {
  FILE_ErrDirectory = 769,        // "can not %s a directory."
  FILE_ErrOnlyDirectory = 770,    // "can only %s a directory."
  FILE_ErrBadSpec = 771,          // "invalid file specification."
  FILE_ErrBadSpecInit = 772,      // "invalid specification initialization."
  FILE_ErrBadLocKind = 773,       // "invalid file location specification."
  FILE_ErrParentOfRoot = 777,     // "illegal search for parent directory of root."
  FILE_ErrOpen = 782,             // "cannot %s an open file."
  FILE_ErrClosed = 783,           // "cannot %s a closed file."
  FILE_ErrNotFound = 784,         // "file "%s" not found."
  FILE_ErrDiskFull = 785,         // "disk is full."
  FILE_ErrEOF = 786,              // "attempt to read past end of file."
  FILE_ErrFileLocked = 787,
  FILE_ErrVolumeLocked = 788,
  FILE_ErrDuplicate = 789,
  FILE_ErrPermission = 790,       // "can't access file "%s"."
  FILE_ErrExists = 792,           // "file "%s" aleady exists."
  FILE_ErrOverwrite = 793,        // "unable to overwrite "%s"."
  // Malformed alias data (flattened input that does not hold together).
  FILE_ErrBadData = 2,
};

// A flat location: a persistable, byte-exact form of a location.
// Bytes: u16 marker 0x464C ("FL"), u16 length n, then n bytes of the UTF-8
// absolute path, integers most significant byte first.
enum { FILE_FlatLocMarker = 0x464C };
typedef struct FILE_FlatLoc {
  uint8_t data[4 + FILE_MaxPath];
} FILE_FlatLoc;

// The platform's form of a file reference: the absolute parent folder and the name.
typedef struct FILE_PlatSpec {
  char parentDir[FILE_MaxPath];
  char name[FILE_MaxName + 1];
} FILE_PlatSpec;

// Seconds since 1970-01-01 00:00 UTC (good until 2106).
typedef uint32_t FILE_DateValue;
// Local calendar time.
typedef struct FILE_DateSpec {
  uint8_t second, minute, hour, day, month, reserved;
  uint16_t year;
  uint16_t dayOfWeek;  // 0 = Sunday
} FILE_DateSpec;

// A file-type mapping function: sets *type and *creator and returns non-zero
// when it knows the file (name and lower-cased extension given).
typedef Boolean32 (*FILE_FiletypeMapFunc)(intptr_t refcon, const char* name, const char* extension,
                                         FourCC* type, FourCC* creator);

// Host callbacks for the interactive operations. Each returns 0 and the chosen
// path(s), or non-zero when the user cancelled. Paths are written into
// buffers of FILE_MaxPath bytes.
typedef struct FILE_HostProcs {
  intptr_t refcon;
  int32_t (*openSingle)(intptr_t refcon, const char* prompt, char* path);
  // Writes up to maxPaths paths, one after the other every FILE_MaxPath bytes.
  int32_t (*openMultiple)(intptr_t refcon, const char* prompt, char* paths, int32_t maxPaths,
                          int32_t* count);
  int32_t (*save)(intptr_t refcon, const char* prompt, const char* defaultName, char* path);
  // Asked while resolving an alias whose file is missing.
  int32_t (*locate)(intptr_t refcon, const char* prompt, const char* missingPath, char* path);
} FILE_HostProcs;

TV_EXPORT STR_Table FILEp_G_STRs;

// ---- Package frame --------------------------------------------------------------
TV_EXPORT uint32_t FILE_PkgObjectVersion(void);
TV_EXPORT ErrorCode FILE_CheckVersions(LocationCode location, int32_t expectedMajor);
// Maps a platform code to the package's code; every other code passes unchanged.
TV_EXPORT ErrorCode FILE_TranslateError(ErrorCode platformCode);

// ---- Creation -------------------------------------------------------------------
// The reference need not exist on disk. 772 for a null or malformed location,
// 771 for a path that is not absolute, 773 for an unknown kind, -37 for a
// path or name too long; the alias kinds as FILE_ResolveAliasRec.
TV_EXPORT ErrorCode FILE_New(const void* location, int32_t kind, FILE_SpecH* ref);
// Closes an open reference first (the buffered bytes written out, a failure
// to write them returned) and frees it in any case. A null ref is nothing to do.
TV_EXPORT ErrorCode FILE_Dispose(FILE_SpecH ref);
TV_EXPORT ErrorCode FILE_CopyFlatLoc(FILE_SpecH ref, FILE_FlatLoc* flat);
// Points a closed reference at the location of flat: 782 when open, 772 for a
// malformed flat location; the reference is unchanged on failure.
TV_EXPORT ErrorCode FILE_UpdateFlatLoc(FILE_SpecH ref, const FILE_FlatLoc* flat);
TV_EXPORT ErrorCode FILE_Duplicate(FILE_SpecH ref, FILE_SpecH* duplicate);  // closed copy
TV_EXPORT ErrorCode FILE_InqLocSpec(FILE_SpecH ref, FILE_PlatSpec* spec);
// The best persistable location: kind FILE_LocFlat and the flat location.
TV_EXPORT ErrorCode FILE_InqBestLoc(FILE_SpecH ref, int32_t* kind, FILE_FlatLoc* flat);
// The open data fork's descriptor, or FILE_ClosedRefNum (also on failure);
// buffered bytes are written out first.
TV_EXPORT ErrorCode FILE_InqPlatDepRef(FILE_SpecH ref, int32_t* platformRef);

// ---- Existence and kind -------------------------------------------------------
// Answers, not failures: a missing file gives *exists 0 (FILE_InqLocExist
// never interacts and fails only for a malformed location or alias).
// FILE_InqIsRoot: 770 on a file. FILE_InqFileLocked: platform codes for a
// missing file.
TV_EXPORT ErrorCode FILE_InqExist(FILE_SpecH ref, Boolean32* exists);
TV_EXPORT ErrorCode FILE_InqLocExist(const void* location, int32_t kind, Boolean32* exists);
TV_EXPORT ErrorCode FILE_InqIsRoot(FILE_SpecH dir, Boolean32* isRoot);
TV_EXPORT ErrorCode FILE_InqFileLocked(FILE_SpecH ref, Boolean32* locked);
TV_EXPORT ErrorCode FILE_Compare(FILE_SpecH a, FILE_SpecH b, Boolean32* same);
// Whether the reference names a folder (as found when it was made or created).
TV_EXPORT ErrorCode FILE_InqIsDir(FILE_SpecH ref, Boolean32* isDir);

// ---- Open and close -------------------------------------------------------------
// Opening: 3 for an unknown permission or fork, 769 on a folder, 782 when the
// fork is open, platform codes (784 for a missing file). Opening never waits:
// what is not a regular file (a named pipe, a device, a socket) is refused
// with 769 "can not open "<path>": it is a named pipe (FIFO), not a file.". A read-write open
// the platform refuses falls back to read-only (FILE_InqReadOnlyFallback).
// Closing: 783 when nothing is open; buffered bytes are written first and a
// failure to write them is returned (the fork is closed all the same).
TV_EXPORT ErrorCode FILE_Open(int32_t permission, FILE_SpecH ref);
TV_EXPORT ErrorCode FILE_Close(FILE_SpecH ref);  // closes both forks
// Opening the resource fork for writing makes it when missing; 792 when a
// file of the side-car's name is there that is not this file's fork.
TV_EXPORT ErrorCode FILE_OpenForkWithPermissions(FILE_SpecH ref, int32_t fork, int32_t permission);
TV_EXPORT ErrorCode FILE_CloseFork(FILE_SpecH ref, int32_t fork);
// Opens the side-car resource file; -192 when there is none (and it is not created).
TV_EXPORT ErrorCode FILE_OpenResFile(FILE_SpecH ref, int32_t permission, int32_t* resRef);
TV_EXPORT ErrorCode FILE_CloseResFile(FILE_SpecH ref);
// The permission actually granted (1 after a read-only fallback; 0 when closed).
TV_EXPORT ErrorCode FILE_InqPerm(FILE_SpecH ref, int32_t* permission);
TV_EXPORT ErrorCode FILE_InqResPerm(FILE_SpecH ref, int32_t* permission);
// Whether the last read-write open fell back to read-only.
TV_EXPORT ErrorCode FILE_InqReadOnlyFallback(FILE_SpecH ref, Boolean32* fellBack);
// Writes the buffered bytes of the open forks to the file: 783 when closed.
TV_EXPORT ErrorCode FILE_Flush(FILE_SpecH ref);

// ---- Data -------------------------------------------------------------------------
// *count: bytes wanted in, bytes transferred out. A read that reaches the end
// of the file transfers what there is and fails with 786. Reads and writes:
// 3 for a null count, a negative count or a null buffer, 769 on a folder, 783
// when the fork is closed, 790 writing a fork opened for reading; a write the
// platform refuses fails with its code (785 for a full volume or a size
// limit), *count telling the bytes that reached the file.
TV_EXPORT ErrorCode FILE_Read(FILE_SpecH ref, int32_t* count, void* buffer);
TV_EXPORT ErrorCode FILE_NRead(FILE_SpecH ref, int32_t count, void* buffer);
TV_EXPORT ErrorCode FILE_Write(FILE_SpecH ref, int32_t* count, const void* buffer);
TV_EXPORT ErrorCode FILE_NWrite(FILE_SpecH ref, int32_t count, const void* buffer);
TV_EXPORT ErrorCode FILE_ReadFork(FILE_SpecH ref, int32_t fork, int32_t* count, void* buffer);
TV_EXPORT ErrorCode FILE_WriteFork(FILE_SpecH ref, int32_t fork, int32_t* count, const void* buffer);
// Positions: 783 when closed; SetPos: 3 for a negative position, 786 beyond
// the end of a fork opened for reading only. *position 0 on failure.
TV_EXPORT ErrorCode FILE_InqPos(FILE_SpecH ref, int64_t* position);
TV_EXPORT ErrorCode FILE_SetPos(FILE_SpecH ref, int64_t position);  // from the start
TV_EXPORT ErrorCode FILE_InqForkPos(FILE_SpecH ref, int32_t fork, int64_t* position);
TV_EXPORT ErrorCode FILE_SetForkPos(FILE_SpecH ref, int32_t fork, int64_t position);
// Works on open and closed references (counting bytes still buffered): 3 for
// an unknown mode, 769 on a folder, platform codes (*size 0).
TV_EXPORT ErrorCode FILE_InqSize(FILE_SpecH ref, int32_t mode, int64_t* size);
// 3 for a negative size, 769, 783 when closed, 790 when opened for reading.
// Growing takes the disk space at once where the file system can (785 when the
// volume has not enough).
TV_EXPORT ErrorCode FILE_SetSize(FILE_SpecH ref, int64_t size);
TV_EXPORT ErrorCode FILE_SetForkSize(FILE_SpecH ref, int32_t fork, int64_t size);
// The references of an open file share one 64 KiB buffer (none in the shared
// mode); its size cannot be chosen: 5 on an open reference, 783 on a closed one.
TV_EXPORT ErrorCode FILE_SetBuffer(FILE_SpecH ref, int32_t size);

// ---- Files and folders ---------------------------------------------------------
// script is ignored (names are UTF-8). 3 for an unknown kind, 782 when the
// reference is open, 792 when it exists (without FILE_CreateReplace, or a
// folder), platform codes (-120 for a missing parent folder). Replacing a file
// removes its resource fork; it is refused with 793 while a reference has the
// file open or it cannot be replaced, and with 787 for a locked file.
TV_EXPORT ErrorCode FILE_Create(int32_t kind, int32_t script, int32_t flags, FILE_SpecH ref);
// The resource fork goes with the file. 782 while a reference has the file (or
// its resource fork) open, 787 for a locked file or folder; platform codes
// (784 missing).
TV_EXPORT ErrorCode FILE_Delete(FILE_SpecH ref);
// Renames in place (same folder); the reference and the resource fork follow.
// 3 for a null name or the root, 771 for a name with '/' or "." / "..", -37
// too long, 792 when the new name, or its side-car name (for a file), is
// taken; the reference is unchanged on failure.
TV_EXPORT ErrorCode FILE_Rename(FILE_SpecH ref, const char* newName);
// Copies the data (and resource fork) of source to a new file at
// destination, atomically: the destination never exists half-written. 769
// for a folder, 782 for an open destination, 792 when the destination or its
// side-car name is taken, 785 when the disk cannot hold the copy, platform
// codes.
TV_EXPORT ErrorCode FILE_Copy(FILE_SpecH source, FILE_SpecH destination);
// Exchanges the contents (and resource forks) of two closed files: 769 for a
// folder, 782 while a reference has either open, platform codes; on failure
// both files are as they were.
TV_EXPORT ErrorCode FILE_ExchFileData(FILE_SpecH a, FILE_SpecH b);
// 777 for the root; *parent null on failure.
TV_EXPORT ErrorCode FILE_ParentDir(FILE_SpecH ref, int32_t flags, FILE_SpecH* parent);
// Entries of a folder, sorted byte-wise by name; dot-files and broken links
// are not listed. Indices run from 1 to the count. 770 on a file, platform
// codes for an unreadable folder; 784 for an index outside 1 .. count or a
// name not there (3 null, 771 not a plain name). Outputs 0 / null on failure.
TV_EXPORT ErrorCode FILE_DirFileCount(FILE_SpecH dir, int32_t* count);
TV_EXPORT ErrorCode FILE_DirInqFileSpec(FILE_SpecH dir, int32_t index, FILE_SpecH* ref);
TV_EXPORT ErrorCode FILE_DirInqFileSpecByName(FILE_SpecH dir, const char* name, FILE_SpecH* ref);
// Writes the open forks' data through to the disk; platform codes.
TV_EXPORT ErrorCode FILE_SynchFiles(FILE_SpecH ref);

// ---- Names and types ----------------------------------------------------------
// name: a buffer of size bytes (FILE_MaxPath is always enough); 3 for an
// unknown form or a name that does not fit (name "" then, never cut).
TV_EXPORT ErrorCode FILE_InqName(FILE_SpecH ref, int32_t form, char* name, int32_t size);
TV_EXPORT ErrorCode FILE_InqSeparator(char* separator);
// In place; the name is cut to FILE_MaxName bytes on a UTF-8 boundary.
TV_EXPORT ErrorCode FILE_CleanFilename(char* name);
TV_EXPORT ErrorCode FILE_CleanFilenameXplat(char* name);
// extension: a buffer of FILE_MaxName + 1 bytes ("" and length 0 when there
// is none: not a failure).
TV_EXPORT ErrorCode FILE_ExtFromName(const char* name, char* extension, int32_t* length);
TV_EXPORT ErrorCode FILE_InqExtension(FILE_SpecH ref, char* extension, int32_t* length);
// From the mapping functions, then the extension map; 0 and 0 for a folder or
// an unknown extension (not a failure).
TV_EXPORT ErrorCode FILE_InqFileType(FILE_SpecH ref, FourCC* type, FourCC* creator);
// Files carry no type codes here: accepted for files and changes nothing; 769
// for a folder.
TV_EXPORT ErrorCode FILE_SetFileType(FILE_SpecH ref, FourCC type, FourCC creator);
// extension with or without the leading "."; at most 8 characters (else 3),
// replacing an existing entry; 10 when all FILE_MaxExtensionMaps are taken.
TV_EXPORT ErrorCode FILE_AddExtensionMap(const char* extension, FourCC type, FourCC creator);
// 3 for a null function; 10 when FILE_MaxFiletypeMapFuncs are installed;
// removing one that is not installed: 3.
TV_EXPORT ErrorCode FILE_AddFiletypeMapFunc(FILE_FiletypeMapFunc function, intptr_t refcon);
TV_EXPORT ErrorCode FILE_RemoveFiletypeMapFunc(FILE_FiletypeMapFunc function, intptr_t refcon);

// ---- Volumes ------------------------------------------------------------------------
// Outputs 0 / null on failure; space queries answer platform codes.
TV_EXPORT ErrorCode FILE_VolCount(int32_t* count);
TV_EXPORT ErrorCode FILE_InqVolSpec(int32_t index, FILE_SpecH* ref);  // index from 1
TV_EXPORT ErrorCode FILE_InqVolSpaceAvailable(FILE_SpecH ref, uint64_t* bytes);
// Free space plus the current size of the file.
TV_EXPORT ErrorCode FILE_InqVolSpacePlusAvailable(FILE_SpecH ref, uint64_t* bytes);
// Saturates at 0xFFFFFFFF.
TV_EXPORT ErrorCode FILE_InqVolKBAvailable(FILE_SpecH ref, uint32_t* kilobytes);
// name: FILE_VolNameSize bytes.
TV_EXPORT ErrorCode FILE_GetVolumeNameFromFullPath(const char* path, char* name);

// ---- Dates --------------------------------------------------------------------------
// Dates of a file: platform codes (784 missing), *date 0 on failure. The
// conversions: 3 for a null pointer or a calendar field out of range, 10 for
// a time outside the date range.
TV_EXPORT ErrorCode FILE_InqCreatDate(FILE_SpecH ref, FILE_DateValue* date);
// File systems here keep no settable creation date: accepted, changes nothing.
TV_EXPORT ErrorCode FILE_SetCreatDate(FILE_SpecH ref, FILE_DateValue date);
TV_EXPORT ErrorCode FILE_InqModDate(FILE_SpecH ref, FILE_DateValue* date);
TV_EXPORT ErrorCode FILE_SetModDate(FILE_SpecH ref, FILE_DateValue date);
TV_EXPORT ErrorCode FILE_GetDateSpecTime(FILE_DateSpec* now);
TV_EXPORT ErrorCode FILE_GetDateValueTime(FILE_DateValue* now);
TV_EXPORT ErrorCode FILE_DateValue2DateSpec(FILE_DateValue value, FILE_DateSpec* spec);
// 3 for a field out of range (a day the month does not have included), 10 for
// a date outside the DateValue range; *value is 0 then.
TV_EXPORT ErrorCode FILE_DateSpec2DateValue(const FILE_DateSpec* spec, FILE_DateValue* value);

// ---- Aliases and relative paths ----------------------------------------------
// Alias records: 2 for a record that is not a living one; flattened input is
// checked whole before use and refused with 2 ("alias record is damaged.")
// or 9 for a newer version, leaving no record (*alias null).
// relativeTo: the project file (may be null: no relative data). 3 when the
// full path does not fit an alias.
TV_EXPORT ErrorCode FILE_NewAliasRec(FILE_SpecH ref, FILE_SpecH relativeTo, FILE_AliasH* alias);
// A null alias is nothing to do.
TV_EXPORT ErrorCode FILE_DisposeAliasRec(FILE_AliasH alias);
// Tries the exact stored path, the full path, the relative data against
// relativeTo, then (interactive) the host's locate callback; 784 when missing.
// *changed tells whether the file was found elsewhere than the full path.
TV_EXPORT ErrorCode FILE_ResolveAliasRec(FILE_AliasH alias, FILE_SpecH relativeTo, Boolean32 interactive,
                                         FILE_SpecH* ref, Boolean32* changed);
// Follows a symbolic link in place; *wasAlias tells whether ref was one. 782
// when open; platform codes (a dangling link, a missing file).
TV_EXPORT ErrorCode FILE_ResolveFinderAlias(FILE_SpecH ref, Boolean32* wasAlias);
// Writes the flattened record at the current position of an open file.
TV_EXPORT ErrorCode FILE_WriteAliasRec(FILE_SpecH file, FILE_AliasH alias);
// Reads a flattened record from the current position of an open file.
TV_EXPORT ErrorCode FILE_ReadAliasRec(FILE_SpecH file, FILE_AliasH* alias);
// A new handle holding the flattened record.
TV_EXPORT ErrorCode FILE_FlattenAliasRec(FILE_AliasH alias, Handle* flat);
// Exactly size bytes of a flattened record.
TV_EXPORT ErrorCode FILE_UnflattenAliasRec(const void* data, int32_t size, FILE_AliasH* alias);
TV_EXPORT ErrorCode FILE_InqAliasRecName(FILE_AliasH alias, char* name, int32_t size);
TV_EXPORT ErrorCode FILE_InqAliasRecType(FILE_AliasH alias, FourCC* type);
TV_EXPORT ErrorCode FILE_InqAliasRecFullPath(FILE_AliasH alias, char* path, int32_t size);
// path: size bytes; an empty result when the relative data does not apply or
// the result does not fit (never cut). Both: 3 for a null pointer or size < 1.
TV_EXPORT ErrorCode FILE_ResolveRelativePaths(const char* projectPath, const char* storedPath, int32_t levels,
                                              int32_t offset, char* path, int32_t size);
TV_EXPORT ErrorCode FILE_CompareRelativePaths(const char* projectPath, const char* footagePath,
                                              Boolean32* sameVolume, int32_t* levels, int32_t* offset);

// ---- Interaction ---------------------------------------------------------------------
// Without host callbacks (or when the user cancels) the result is empty: a
// null reference and 0. 3 for a null out-pointer; 4; the chosen path's
// FILE_New codes (FILE_CreateLocSaveInteractive: also FILE_Create's).
TV_EXPORT ErrorCode FILE_DoOpenInteractiveSingle(const char* prompt, FILE_SpecH* ref);
// *refs: a new handle of *count FILE_SpecH (null when empty); dispose each and the handle.
TV_EXPORT ErrorCode FILE_DoOpenInteractiveMultiple(const char* prompt, Handle* refs, int32_t* count);
TV_EXPORT ErrorCode FILE_DoSaveInteractive(const char* prompt, const char* defaultName, FILE_SpecH* ref);
// Like FILE_DoSaveInteractive, then creates the file (replacing an existing one).
TV_EXPORT ErrorCode FILE_CreateLocSaveInteractive(const char* prompt, const char* defaultName, FILE_SpecH* ref);
TV_EXPORT ErrorCode FILE_NavServicesAvailable(Boolean32* available);  // never here
TV_EXPORT ErrorCode FILE_EnableNavServices(Boolean32 enable);
TV_EXPORT ErrorCode FILE_SetHostProcs(const FILE_HostProcs* procs);  // null removes them

// Inside the engine only (TAVELO_INTERNAL is defined for the engine's own
// libraries and its tests): C++ helpers that libtavelo.so does not export.
#if defined(__cplusplus) && defined(TAVELO_INTERNAL)
#include <functional>
#include <string>
#include <string_view>

namespace tv::file {

// Free and total bytes of the volume holding path; returns 0 or an errno value.
using VolumeSpaceProvider = std::function<int(const std::string& path, uint64_t* freeBytes,
                                              uint64_t* totalBytes)>;
// Installs a provider (an empty function restores statvfs).
void SetVolumeSpaceProvider(VolumeSpaceProvider provider);

// A new alias record for a path given as text: a native path ("/...") or a
// Windows-form path kept from an old project ("c:\...", "\\server\share\...").
// projectPath (may be empty) adds relative data.
ErrorCode NewAliasFromPath(std::string_view path, FourCC type, std::string_view projectPath, FILE_AliasH* alias);

// An alias record's relative data counts from a project file: the one it was
// made or read against, its base (kept in memory only). SetAliasBase names
// it. RebasedAlias makes a copy whose relative data counts from projectPath
// and leads where the record's led from its base; when no relative data can
// lead there from projectPath, the copy keeps the full path alone. An empty
// projectPath, the base itself or a record without a known base (read from
// the clipboard, say) is copied as it is.
ErrorCode SetAliasBase(FILE_AliasH alias, std::string_view projectPath);
ErrorCode RebasedAlias(FILE_AliasH alias, std::string_view projectPath, FILE_AliasH* rebased);

// Forgets the extension map, the mapping functions, the host callbacks, the
// folder cache and the once-per-run warnings.
void ResetState();

}  // namespace tv::file
#endif
