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
// - The image-filter ('Q7FM', "*.q7f") and sound-filter ('KFlt', "*.vqf")
//   kinds are plug-in files like any other here; the effect package runs
//   them through its adapters (FLT_Filters.h).
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
// version. The host's standard suites are registered at birth, all minor 1:
//   "BR Access Suite" 3       PLUG_AccessSuite      a plug-in's resources
//   "BR Adapters Suite" 3     PLUG_AdaptersSuite    translators for older suite plug-ins
//   "BR Basic Suite" 4        PLUG_BasicSuite       acquire/release suites, blocks
//   "BR Blocks Suite" 2       PLUG_BlocksSuite      memory blocks
//   "BR Block Debug Suite" 2  PLUG_BlockDebugSuite  the blocks alive now
//   "BR Caches Suite" 2       PLUG_CachesSuite      cache flushers, purging
//   "BR Files Suite" 3        PLUG_FilesSuite       the files found, reading files
//   "BR Interface Suite" 2    PLUG_InterfaceSuite   messages to suite plug-ins
//   "BR Plug-ins Suite" 4     PLUG_PluginsSuite     the suite plug-ins running
//   "BR Properties Suite" 2   PLUG_PropertiesSuite  a plug-in's property list
//   "BR Runtime Suite" 5      PLUG_RuntimeSuite     the host's values, clock, reports
//   "BR Strings Suite" 2      PLUG_StringsSuite     the shared string pool
//   "BR Suites Suite" 2       PLUG_SuitesSuite      registering and finding suites
// Every suite function returns 0 or a code it has reported; a failure inside
// the suite system answers 1, reported as "bramblet failure"; out-parameters
// are cleared first. Blocks come from the memory manager and carry a header
// of their own: a block that is not one (or freed twice) is refused with 2.
// Blocks still alive at death are freed then.
enum { PLUG_MaxSuiteName = 63, PLUG_HostProcCount = 20, PLUG_ErrBramblet = 1, PLUG_MaxPluginName = 63 };

typedef ErrorCode (*PLUG_SuiteProc)(void);
// A suite plug-in started by PLUG_SearchBR, as the suites see it.
typedef struct PLUG_BRPluginRec* PLUG_BRPlugin;

typedef struct PLUG_BasicSuite {
  ErrorCode (*acquireSuite)(const char* name, int32_t major, const void** suite);
  ErrorCode (*releaseSuite)(const char* name, int32_t major);
  Boolean32 (*isEqual)(const char* a, const char* b);
  ErrorCode (*allocateBlock)(uint32_t size, void** block);
  ErrorCode (*freeBlock)(void* block);
  ErrorCode (*reallocateBlock)(void* block, uint32_t size, void** moved);
  ErrorCode (*undefined)(void);  // answers 5: a slot kept for the table's shape
} PLUG_BasicSuite;

// The message a suite plug-in receives. At start it gets ("BR Interface",
// "Startup"), at shut-down ("BR Interface", "Shutdown"); `data` is its own,
// kept between messages.
typedef struct PLUG_BRMessage {
  const PLUG_BasicSuite* basic;
  PLUG_Routine self;
  void* data;
  void* payload;  // what the sender passes with the message (the interface suite's message)
} PLUG_BRMessage;
// A suite plug-in's entry (the 'pwpc' symbol of a '.kpl' file) of interface
// version 3, the current one (property 'brIV' absent or 3).
typedef ErrorCode (*PLUG_BREntry)(const char* caller, const char* selector, PLUG_BRMessage* message);
// The entry of an interface-version-2 suite plug-in ('brIV' 2): no message
// record, only its data word, and the 20 host procedures (PLUG_GetBRHostProcs)
// through which it finds and adds suites. The "Bramblet 2 Adapter"
// (registered by PLUG_SearchBR) translates messages to it.
typedef ErrorCode (*PLUG_BREntry2)(const char* caller, const char* selector, void** data,
                                   const PLUG_SuiteProc* hostProcs);
// An adapter: calls `entry` (of the interface version it adapts) with the message.
typedef ErrorCode (*PLUG_AdapterProc)(void* entry, const char* caller, const char* selector,
                                      PLUG_BRMessage* message, ErrorCode* result);

typedef struct PLUG_AccessSuite {
  // PLUG_GetBRPluginResourceAccess / PLUG_SetBRPluginResourceAccess on the plug-in's routine.
  ErrorCode (*getAccess)(PLUG_BRPlugin plugin, PLUG_ResFile* access);
  ErrorCode (*setAccess)(PLUG_BRPlugin plugin, PLUG_ResFile access);
  // The number of resources of a type (any type: PLUG_AnyType) in an access.
  ErrorCode (*countResources)(PLUG_ResFile access, FourCC type, int32_t* count);
  // Resource n (0 first) of a type: its id and length.
  ErrorCode (*getNthResourceInfo)(PLUG_ResFile access, FourCC type, int32_t n, int32_t* id, int32_t* length);
  // A copy of resource (type, id); the caller disposes it. 6 when absent.
  ErrorCode (*getResource)(PLUG_ResFile access, FourCC type, int32_t id, Handle* data);
} PLUG_AccessSuite;

typedef struct PLUG_AdaptersSuite {
  // 1 when an adapter of that name is registered; name at most 63 bytes.
  ErrorCode (*addAdapter)(const char* name, int32_t version, PLUG_AdapterProc proc);
  ErrorCode (*removeAdapter)(const char* name);
  // The adapter of plug-ins of interface `version`; 1 when there is none.
  ErrorCode (*findAdapter)(int32_t version, PLUG_AdapterProc* proc);
  ErrorCode (*countAdapters)(int32_t* count);
  ErrorCode (*getNthAdapter)(int32_t n, char name[PLUG_MaxSuiteName + 1], int32_t* version);
} PLUG_AdaptersSuite;

typedef struct PLUG_BlocksSuite {
  ErrorCode (*allocateBlock)(uint32_t size, void** block);
  ErrorCode (*freeBlock)(void* block);
  ErrorCode (*reallocateBlock)(void* block, uint32_t size, void** moved);
  ErrorCode (*getBlockSize)(void* block, uint32_t* size);
} PLUG_BlocksSuite;

typedef struct PLUG_BlockDebugSuite {
  ErrorCode (*countBlocks)(int32_t* count);
  ErrorCode (*bytesInUse)(uint64_t* bytes);
  // 0 for a live block of the suite system, else 2 (reported).
  ErrorCode (*checkBlock)(void* block);
  // The n-th live block, oldest first.
  ErrorCode (*getNthBlock)(int32_t n, void** block, uint32_t* size);
} PLUG_BlockDebugSuite;

// A cache flusher frees what it can and answers the bytes it freed.
typedef int64_t (*PLUG_FlushProc)(void* refcon);
typedef struct PLUG_CachesSuite {
  ErrorCode (*addFlusher)(PLUG_FlushProc proc, void* refcon);
  ErrorCode (*removeFlusher)(PLUG_FlushProc proc, void* refcon);  // 1 when not registered
  // Calls every flusher (in registration order), then purges purgeable
  // memory; *freed is what the flushers report.
  ErrorCode (*flushCaches)(int64_t* freed);
} PLUG_CachesSuite;

typedef struct PLUG_FilesSuite {
  // The suite plug-in files the search found, in walk order.
  ErrorCode (*countFiles)(int32_t* count);
  ErrorCode (*getNthFile)(int32_t n, char* path, int32_t room);
  // Reading files (the host procedures 3 to 6): an open file is closed with closeFile.
  ErrorCode (*openFile)(const char* path, void** file);
  ErrorCode (*readFile)(void* file, int64_t offset, int32_t count, void* buffer);
  ErrorCode (*fileSize)(void* file, int64_t* size);
  ErrorCode (*closeFile)(void* file);
} PLUG_FilesSuite;

typedef struct PLUG_InterfaceSuite {
  ErrorCode (*sendMessage)(PLUG_BRPlugin plugin, const char* caller, const char* selector, void* message,
                           ErrorCode* result);
  // Sends to every running suite plug-in; *result is the first non-zero answer.
  ErrorCode (*broadcastMessage)(const char* caller, const char* selector, void* message, ErrorCode* result);
} PLUG_InterfaceSuite;

typedef struct PLUG_PluginsSuite {
  ErrorCode (*countPlugins)(int32_t* count);
  ErrorCode (*getNthPlugin)(int32_t n, PLUG_BRPlugin* plugin);
  ErrorCode (*findPlugin)(const char* name, PLUG_BRPlugin* plugin);  // 1 when none
  // The 'name' property, else the file's name.
  ErrorCode (*getPluginName)(PLUG_BRPlugin plugin, char name[PLUG_MaxPluginName + 1]);
  ErrorCode (*getPluginRoutine)(PLUG_BRPlugin plugin, PLUG_Routine* routine);
  ErrorCode (*getPluginData)(PLUG_BRPlugin plugin, void** data);
  ErrorCode (*setPluginData)(PLUG_BRPlugin plugin, void* data);
  ErrorCode (*getPluginPath)(PLUG_BRPlugin plugin, char* path, int32_t room);
} PLUG_PluginsSuite;

typedef struct PLUG_PropertiesSuite {
  // As PLUG_GetPiPLProp on the plug-in's property list.
  ErrorCode (*getProperty)(PLUG_BRPlugin plugin, FourCC key, int32_t id, int32_t maxLength, int32_t* length,
                           void* data);
  ErrorCode (*countProperties)(PLUG_BRPlugin plugin, int32_t* count);
  ErrorCode (*getNthProperty)(PLUG_BRPlugin plugin, int32_t n, FourCC* key, int32_t* id, int32_t* length);
} PLUG_PropertiesSuite;

typedef struct PLUG_RuntimeSuite {
  ErrorCode (*getHostString)(char* text, int32_t room);  // the host string given at birth
  ErrorCode (*getHostValue)(int32_t index, uintptr_t* value);  // 0 to 3: the birth values in order
  ErrorCode (*getRuntimeVersion)(uint32_t* version);  // the package's packed version
  ErrorCode (*getTicks)(uint32_t* ticks);              // the 1/60 s clock
  // Reports text with code at the error severity; answers code.
  ErrorCode (*reportError)(ErrorCode code, const char* text);
} PLUG_RuntimeSuite;

typedef struct PLUG_StringsSuite {
  // The pool's copy of text (added when new): one address for equal texts,
  // alive until death.
  ErrorCode (*addString)(const char* text, const char** pooled);
  ErrorCode (*findString)(const char* text, const char** pooled);  // 1 when not pooled
  Boolean32 (*isEqual)(const char* a, const char* b);
  ErrorCode (*countStrings)(int32_t* count);
} PLUG_StringsSuite;

typedef struct PLUG_SuitesSuite {
  ErrorCode (*addSuite)(const char* name, int32_t major, int32_t minor, const void* procs);
  // Counts acquisitions; a suite acquired and not released cannot be removed.
  ErrorCode (*acquireSuite)(const char* name, int32_t major, int32_t minor, const void** procs);
  ErrorCode (*releaseSuite)(const char* name, int32_t major);
  ErrorCode (*removeSuite)(const char* name, int32_t major);
  ErrorCode (*countSuites)(int32_t* count);
  ErrorCode (*getNthSuite)(int32_t n, char name[PLUG_MaxSuiteName + 1], int32_t* major, int32_t* minor);
} PLUG_SuitesSuite;

// procs must stay valid while the suite is registered. 3 for a null or
// too-long name or null procedures; 1 ("bramblet failure") when the same
// name and major version is registered.
TV_EXPORT ErrorCode PLUG_AddBRSuite(intptr_t reserved1, intptr_t reserved2, const char* name, int32_t major,
                                    int32_t minor, const void* procs);
TV_EXPORT ErrorCode PLUG_GetBRBasicSuite(const PLUG_BasicSuite** suite);
// The 20 host procedures, by index:
//   0 "Bramblet Alloc"   void* (size_t)          1 "Bramblet ReAlloc" void* (void*, size_t)
//   2 free               void (void*)            3 open a file   ErrorCode (const char* path, void** file)
//   4 read               ErrorCode (void* file, int64_t offset, int32_t count, void* buffer)
//   5 close              ErrorCode (void* file)  6 file size     ErrorCode (void* file, int64_t* size)
//   7 ticks              uint32_t (void)         8 report        ErrorCode (ErrorCode, const char*)
//   9 host string        ErrorCode (char*, int32_t room)
//  10 host value         ErrorCode (int32_t index, uintptr_t*)
//  11 acquire suite      ErrorCode (const char*, int32_t major, int32_t minor, const void**)
//  12 release suite      ErrorCode (const char*, int32_t major)
//  13 add suite          ErrorCode (const char*, int32_t major, int32_t minor, const void*)
//  14 plug-in count      ErrorCode (int32_t*)    15 n-th plug-in ErrorCode (int32_t, PLUG_BRPlugin*)
//  16 property           ErrorCode (PLUG_BRPlugin, FourCC key, int32_t id, int32_t max, int32_t*, void*)
//  17 resource           ErrorCode (PLUG_BRPlugin, FourCC type, int32_t id, Handle*)
//  18 send message       ErrorCode (PLUG_BRPlugin, const char*, const char*, void*, ErrorCode*)
//  19 pooled string      ErrorCode (const char*, const char**)
// Each does what the suite function of the same name does (the blocks of 0
// to 2 are those of the blocks suite).
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
// Prepares the plug-in's code, sends it the message (through the adapter
// of its interface version when it is not the current one) and releases it.
// 1 for a plug-in of an interface version no adapter translates.
TV_EXPORT ErrorCode PLUG_SendBRMessage(PLUG_Routine plugin, const char* caller, const char* selector,
                                       PLUG_BRMessage* message, ErrorCode* result);
// Finds the suite plug-ins ('.kpl' files, type 'KPiL') in folder, registers
// the "Bramblet 2 Adapter" and "KDM Host Init Suite" (whose functions answer
// 5: the dialog manager it would set up is not part of this engine), and starts each
// plug-in (its "Startup" message; the suites it adds stay until
// PLUG_UnsearchBR, which sends "Shutdown" and removes them). A plug-in
// whose start fails is reported ("bramblet initialization") and its suites
// removed; the others run. 12 while a search is in effect.
TV_EXPORT ErrorCode PLUG_SearchBR(FILE_SpecH folder, PLUG_ProgressFunc progress, void* refcon, Boolean32* cancelled);
TV_EXPORT ErrorCode PLUG_UnsearchBR(void);
// The suite system's reference of a routine started as a suite plug-in; 1
// when the routine is not one of the running suite plug-ins.
TV_EXPORT ErrorCode PLUG_GetBRPluginRef(PLUG_Routine plugin, PLUG_BRPlugin* ref);
// A routine's resource access: the one set for it, else its file's resource
// map (read on first use and kept with the routine). 6 for a routine with no
// file and none set. The access stays owned by the routine.
TV_EXPORT ErrorCode PLUG_GetBRPluginResourceAccess(PLUG_Routine plugin, PLUG_ResFile* access);
// Gives the routine an access (a resource map, checked first: 6 when
// malformed); the routine owns it from then on and disposes the one it had.
// A null access drops it (the file's map is read again on next use).
TV_EXPORT ErrorCode PLUG_SetBRPluginResourceAccess(PLUG_Routine plugin, PLUG_ResFile access);
