// PLUG: the plug-in registry. It finds plug-in files in folders, describes
// each one from its property list without running any of its code, registers
// usable plug-ins as routine descriptors, loads their code on demand and
// keeps recently released code in a small cache, and hosts the suite system
// through which plug-ins and the host exchange tables of functions by name
// and version.
//
// A plug-in file here is an ELF64 shared object named "*.tvx" (file type
// '.TVX'). Its resources live in the section ".tvrsrc" as a resource map:
//   header  "TVRS", u16 format version 1, u16 reserved, u32 entry count
//   entries 16 bytes each: u32 type, i32 id, u32 offset from the map start,
//           u32 length
//   data    the resources, each starting on a multiple of 4
// all integers little-endian. The property list is the resource of type
// 'PiPL' (the first one when a file holds several). A side-car file
// "<name>.tvx.rsrc" holding the same map is read when the file has no such
// section. Property lists are little-endian too: u32 version, u32 count,
// then per property u32 vendor, key, identifier, length and the data padded
// to a multiple of 4 bytes.
//
// What callers may rely on:
// - Scanning never loads or runs plug-in code; every offset, count and length
//   read from a file is checked against what holds it before it is used. A
//   malformed file is reported once, naming the file, and skipped; the scan
//   goes on with the next file.
// - The folder walk visits names in byte order, whatever the directory
//   order, never enters the same folder twice (symbolic-link loops end),
//   honours the depth limit and the exclusion pattern, and stops after the
//   current file once the progress callback sets the cancel flag.
// - Code of kind 4 is loaded with dlopen(absolute path, RTLD_NOW |
//   RTLD_LOCAL): a missing dependency fails the prepare, never a later call.
//   The second value returned by PLUG_PrepRoutine is the library handle.
//   Released code stays cached (at most PLUG_GetMaxCachedRoutines routines,
//   the least recently released unloaded first) and everything is unloaded
//   at death.
// - Code kinds 1, 2 and 8 (code resources and the further loader) have no
//   form on this platform and fail with 12290.
// - The image-editor ('Q7FM') and video-editor ('KFlt') filter formats have
//   no native files on this platform: their registration paths (records,
//   names, flags) work from property lists, and their adapters answer 5
//   ("unimplemented") when called.
// - Every failure is reported once, here (package 48): 2 for a damaged
//   globals, sack, scan record or routine record (" %s (g).", " %s (sack).",
//   " %s (sd).", " %s (rd)."), 3 for a bad argument or a null out-pointer,
//   4 out of memory, 12290 an unsupported code kind, 12291 an unbalanced
//   release, -2804 a library that cannot be loaded, -2802 an entry symbol
//   that is not there, 6 a missing or malformed resource or property.
//   Out-parameters are cleared first and stay cleared on failure.
// - Single thread.
#pragma once

#include "FILE.h"
#include "Types.h"

typedef Handle PLUG_Sack;
typedef Handle PLUG_Routine;   // a routine descriptor
typedef Handle PLUG_PiPL;      // a property list (a copy owned by the caller or the routine)
typedef Handle PLUG_ResFile;   // a validated resource map in memory
typedef struct PLUG_ScanRec* PLUG_ScanData;
typedef struct PLUG_SuiteIter* PLUG_SuiteListIterator;

enum {
  PLUG_PackageNumber = 48,
  PLUG_ErrUnsupportedKind = 12290,  // "unsupported plug-in type."
  PLUG_ErrUnbalancedUnprep = 12291, // "unbalanced unprep."
  PLUG_ErrNotDLL = -2804,           // the library could not be loaded
  PLUG_ErrNoSymbol = -2802,         // the entry symbol is not in the library
  PLUG_AnyType = (int32_t)0xFFFFFFFF,
  PLUG_RsrcVersion = 1,
  PLUG_MaxHostString = 64,
};

// Routine flags.
enum {
  PLUG_Flag_Connected1 = 0x1,
  PLUG_Flag_Connected2 = 0x2,
  PLUG_Flag_Loaded = 0x4,
  PLUG_Flag_Cached = 0x8,
  PLUG_Flag_Static = 0x20,
};

// Code kinds.
enum { PLUG_Kind_CodeResource1 = 1, PLUG_Kind_CodeResource2 = 2, PLUG_Kind_Library = 4, PLUG_Kind_Other = 8 };

// Progress statuses.
enum { PLUG_Status_Folder = 0, PLUG_Status_File = 1, PLUG_Status_Done = 3, PLUG_Status_Tick = 4 };

// Search flags: bit 0 leaves symbolic links unresolved (and so skipped).
enum { PLUG_Search_NoAliases = 0x1 };

// Four-character codes.
#define PLUG_FOURCC(a, b, c, d) \
  ((uint32_t)(uint8_t)(a) << 24 | (uint32_t)(uint8_t)(b) << 16 | (uint32_t)(uint8_t)(c) << 8 | (uint32_t)(uint8_t)(d))

// Called with the scan record of each matching file; a non-zero answer stops
// the dispatch of that file (the walk goes on). `count` is 1.
typedef ErrorCode (*PLUG_ScanFunc)(PLUG_ScanData scan, int32_t count, void* refcon);
// The progress callback: status, a name (the folder or file), the cancel flag.
typedef ErrorCode (*PLUG_ProgressFunc)(void* refcon, int32_t status, const char* name, Boolean32* cancel);
// Called once after all folders of a search.
typedef ErrorCode (*PLUG_DoneFunc)(PLUG_ProgressFunc progress, void* progressRefcon, void* refcon);

TV_EXPORT STR_Table PLUGp_G_STRs;

// ---- Package frame ------------------------------------------------------------
TV_EXPORT uint32_t PLUG_PkgObjectVersion(void);
TV_EXPORT ErrorCode PLUG_CheckVersions(LocationCode location, int32_t expectedMajor);
// hostString (may be null) is kept up to 64 bytes. Maps ".tvx" to '.TVX'.
TV_EXPORT ErrorCode PLUG_Birth(uintptr_t hostA, const char* hostString, uintptr_t hostB, uintptr_t hostC,
                               uintptr_t hostD);
// Unloads every routine and disposes the routines, the default sack and the suites.
TV_EXPORT ErrorCode PLUG_Death(void);

// ---- Sacks and searching ---------------------------------------------------------
TV_EXPORT ErrorCode PLUG_NewSack(PLUG_Sack* sack);
TV_EXPORT ErrorCode PLUG_DisposeSack(PLUG_Sack sack);  // a null sack: nothing to do
// sack null: the default sack. typeCount 0: one entry for any type; each type
// gets an entry; entries are kept with any-type entries first, then by type.
// A non-null done callback is appended to the done list. 3 for a null scan
// callback, a negative count, or a null types array with a count.
TV_EXPORT ErrorCode PLUG_InstallScan(PLUG_Sack sack, int32_t typeCount, const FourCC* types, PLUG_ScanFunc scan,
                                     PLUG_DoneFunc done, void* refcon);
// Walks the folders (references that are not folders are passed over) down
// to maxDepth levels (1: the folder's own files). exclude may be null. The
// walk ends early only when cancelled (*cancelled 1) or for a damaged sack.
TV_EXPORT ErrorCode PLUG_Search(PLUG_Sack sack, int32_t folderCount, const FILE_SpecH* folders, int32_t flags,
                                int32_t maxDepth, const char* exclude, PLUG_ProgressFunc progress, void* refcon,
                                Boolean32* cancelled);
// Whether a name is skipped by an exclusion pattern (the walk's own rule).
TV_EXPORT Boolean32 PLUG_NameExcluded(const char* name, const char* pattern);

// ---- Scan records and resources ------------------------------------------------
// A scan record for one file outside a search (depth 0, no progress): the
// caller disposes it with PLUG_DisposeScanData.
TV_EXPORT ErrorCode PLUG_ScanDataFromFile(FILE_SpecH file, PLUG_ScanData* scan);
TV_EXPORT ErrorCode PLUG_DisposeScanData(PLUG_ScanData scan);
// The file's resource map, opened (and checked) on first use and released with
// the scan record. 6 when the file holds no readable map (reported naming it).
TV_EXPORT ErrorCode PLUG_GetResFileFromScan(PLUG_ScanData scan, PLUG_ResFile* resFile);
// The file of a scan record (owned by the record).
TV_EXPORT ErrorCode PLUG_GetResFileSpec(PLUG_ScanData scan, FILE_SpecH* file);
TV_EXPORT ErrorCode PLUG_GetScanDepth(PLUG_ScanData scan, int32_t* depth);
// The routine's resource map, read from its file for the caller (static
// routines have none: 6). The caller disposes it with DisposeHandle.
TV_EXPORT ErrorCode PLUG_GetResFileFromRD(PLUG_Routine routine, PLUG_ResFile* resFile);
// A copy of resource (type, id) of a map in a new handle; 6 when absent.
TV_EXPORT ErrorCode PLUG_GetResource(PLUG_ResFile resFile, FourCC type, int32_t id, Handle* data);
// Reads a resource map from a plug-in file (its ".tvrsrc" section, else the
// side-car): a new handle holding the checked map. 6 for a file that holds
// none or a malformed one, reported naming the file.
TV_EXPORT ErrorCode PLUG_ReadResFile(FILE_SpecH file, PLUG_ResFile* resFile);
// Checks a resource map or a property list held in memory (0, or 6 unreported).
TV_EXPORT ErrorCode PLUG_CheckResMap(const void* data, int64_t size);
TV_EXPORT ErrorCode PLUG_CheckPiPL(const void* data, int64_t size);

// ---- Property lists ------------------------------------------------------------
// Copies at most maxLength bytes of the first property with key and identifier
// into data (may be null) and gives its full length. 6 ("property list
// index.") when absent; *length 0 then.
TV_EXPORT ErrorCode PLUG_GetPiPLProp(PLUG_PiPL pipl, FourCC key, int32_t identifier, int32_t maxLength,
                                     int32_t* length, void* data);
// The same without a report when the property is absent: *found 0 then
// (for callers that report the absence in their own terms).
TV_EXPORT ErrorCode PLUG_InqPiPLProp(PLUG_PiPL pipl, FourCC key, int32_t identifier, int32_t maxLength,
                                     int32_t* length, void* data, Boolean32* found);
TV_EXPORT ErrorCode PLUG_DisposePiPL(PLUG_PiPL pipl);

// ---- Routines --------------------------------------------------------------------
// The scan record's property list number `index` (0: the first) as a routine
// of code kind 4 when it has 'pwpc' (or ENTRYPOINT<index> is looked up
// instead). The routine keeps a copy of the property list and of the file.
TV_EXPORT ErrorCode PLUG_RegisterRoutine(PLUG_ScanData scan, int32_t index, PLUG_Routine* routine);
// A routine linked into the host: entry and second value given, an
// in-memory property list (may be null; copied).
TV_EXPORT ErrorCode PLUG_RegisterStaticRoutine(const void* pipl, int32_t piplSize, void* entry, void* second,
                                               PLUG_Routine* routine);
// "can't dispose locked routine." (3) while it is loaded; cached code is unloaded.
TV_EXPORT ErrorCode PLUG_UnregisterRoutine(PLUG_Routine routine);
// The file's property list number `index`: its 'kind' (0 when absent), a
// copy of the list for the caller (may be null: not made) and the number of
// lists the file holds. 6 when the file has no readable property list.
TV_EXPORT ErrorCode PLUG_GetRoutineInfo(PLUG_ScanData scan, int32_t index, FourCC* kind, PLUG_PiPL* pipl,
                                        int32_t* count);
TV_EXPORT ErrorCode PLUG_GetRoutineCount(int32_t* count);
// The routine's property list (owned by the routine) and flags.
TV_EXPORT ErrorCode PLUG_GetRoutinePiPL(PLUG_Routine routine, PLUG_PiPL* pipl);
TV_EXPORT ErrorCode PLUG_GetRoutineFlags(PLUG_Routine routine, uint32_t* flags);
// The routine's file (owned by the routine; null for static routines).
TV_EXPORT ErrorCode PLUG_GetRoutineFile(PLUG_Routine routine, FILE_SpecH* file);
// How many routines are loaded now and how many are cached.
TV_EXPORT ErrorCode PLUG_GetLoadedCounts(int32_t* loaded, int32_t* cached);

// ---- Code ------------------------------------------------------------------------
TV_EXPORT ErrorCode PLUG_PrepRoutine(PLUG_Routine routine, intptr_t argument, void** entry, int32_t* codeKind,
                                     void** second);
TV_EXPORT ErrorCode PLUG_UnprepRoutine(PLUG_Routine routine);
// A negative count is taken as 0 (nothing cached).
TV_EXPORT ErrorCode PLUG_SetMaxCachedRoutines(int32_t count);
TV_EXPORT ErrorCode PLUG_GetMaxCachedRoutines(int32_t* count);

// ---- Suites ------------------------------------------------------------------------
// A suite: a table of functions registered under a name, a major and a minor
// version. The host's standard suites are registered at birth ("BR Access
// Suite" 3, "BR Adapters Suite" 3, "BR Basic Suite" 4, "BR Blocks Suite" 2,
// "BR Block Debug Suite" 2, "BR Caches Suite" 2, "BR Files Suite" 3, "BR
// Interface Suite" 2, "BR Plug-ins Suite" 4, "BR Properties Suite" 2, "BR
// Runtime Suite" 5, "BR Strings Suite" 2, "BR Suites Suite" 2, all minor 1).
// Of these the basic suite (PLUG_BasicSuite) works here; the functions of
// the others answer 5 (unimplemented). A failure inside the suite system
// answers 1, reported as "bramblet failure".
enum { PLUG_MaxSuiteName = 63, PLUG_HostProcCount = 20, PLUG_ErrBramblet = 1 };

typedef ErrorCode (*PLUG_SuiteProc)(void);
// The basic suite: acquire and release suites by name and version, blocks of memory.
typedef struct PLUG_BasicSuite {
  ErrorCode (*acquireSuite)(const char* name, int32_t major, const void** suite);
  ErrorCode (*releaseSuite)(const char* name, int32_t major);
  Boolean32 (*isEqual)(const char* a, const char* b);
  ErrorCode (*allocateBlock)(uint32_t size, void** block);
  ErrorCode (*freeBlock)(void* block);
  ErrorCode (*reallocateBlock)(void* block, uint32_t size, void** moved);
  ErrorCode (*undefined)(void);
} PLUG_BasicSuite;

// The message a suite plug-in receives at start ("BR Interface", "Startup")
// and at shut-down ("BR Interface", "Shutdown").
typedef struct PLUG_BRMessage {
  const PLUG_BasicSuite* basic;
  PLUG_Routine self;
  void* data;  // the plug-in's own data, kept between messages
} PLUG_BRMessage;
// A suite plug-in's entry (the 'pwpc' symbol of a '.kpl' file).
typedef ErrorCode (*PLUG_BREntry)(const char* caller, const char* selector, PLUG_BRMessage* message);

// procs must stay valid while the suite is registered. 3 for a null or
// too-long name or null procedures; 1 ("bramblet failure") when the same
// name and major version is registered.
TV_EXPORT ErrorCode PLUG_AddBRSuite(intptr_t reserved1, intptr_t reserved2, const char* name, int32_t major,
                                    int32_t minor, const void* procs);
TV_EXPORT ErrorCode PLUG_GetBRBasicSuite(const PLUG_BasicSuite** suite);
// 0 "Bramblet Alloc" (void* (*)(size_t)), 1 "Bramblet ReAlloc" (void* (*)(void*, size_t)),
// 2 the matching free (void (*)(void*)); the others answer 5 when called.
TV_EXPORT ErrorCode PLUG_GetBRHostProcs(PLUG_SuiteProc procs[PLUG_HostProcCount]);
// The suite registered under name and major (any minor not lower than
// `minor`): its procedures; 1 ("bramblet failure") when there is none.
TV_EXPORT ErrorCode PLUG_GetBRSuiteProcs(const char* name, int32_t major, int32_t minor, const void** procs);
// The routine that registered the suite (null for the host's own).
TV_EXPORT ErrorCode PLUG_GetBRSuiteHost(const char* name, int32_t major, PLUG_Routine* host);
TV_EXPORT ErrorCode PLUG_NewBRSuiteListIterator(PLUG_SuiteListIterator* iter);
// The next suite in registration order; *more 0 (and the outputs cleared) at the end.
TV_EXPORT ErrorCode PLUG_NextBRSuite(PLUG_SuiteListIterator iter, char name[PLUG_MaxSuiteName + 1], int32_t* major,
                                     int32_t* minor, Boolean32* more);
TV_EXPORT ErrorCode PLUG_DeleteBRSuiteListIterator(PLUG_SuiteListIterator iter);
// Prepares the plug-in's code, sends it the message and releases it.
TV_EXPORT ErrorCode PLUG_SendBRMessage(PLUG_Routine plugin, const char* caller, const char* selector,
                                       PLUG_BRMessage* message, ErrorCode* result);
// Finds the suite plug-ins ('.kpl' files, type 'KPiL') in folder and starts
// each (its "Startup" message; the suites it adds stay until PLUG_UnsearchBR,
// which sends "Shutdown" and removes them). 12 while a search is in effect.
TV_EXPORT ErrorCode PLUG_SearchBR(FILE_SpecH folder, PLUG_ProgressFunc progress, void* refcon, Boolean32* cancelled);
TV_EXPORT ErrorCode PLUG_UnsearchBR(void);
// Not offered on this platform (no per-plug-in resource access): 5.
TV_EXPORT ErrorCode PLUG_GetBRPluginRef(PLUG_Routine plugin, void** ref);
TV_EXPORT ErrorCode PLUG_GetBRPluginResourceAccess(PLUG_Routine plugin, void** access);
TV_EXPORT ErrorCode PLUG_SetBRPluginResourceAccess(PLUG_Routine plugin, void* access);
