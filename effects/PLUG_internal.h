// PLUG's private records, sites, texts and helpers.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "HandleLock.h"
#include "Memory.h"
#include "PLUG.h"
#include "Package.h"

namespace tv::plug {

enum TextIndex : int32_t {
  kTextDamaged,
  kTextDamagedG,
  kTextDamagedSack,
  kTextDamagedSD,
  kTextDamagedRD,
  kTextBadArgument,
  kTextUnsupported,
  kTextUnbalanced,
  kTextLoading,
  kTextNoSymbol,
  kTextReadingCode,
  kTextReadingPiPL,
  kTextPropIndex,
  kTextLockedRoutine,
  kTextNotDLL,
  kTextNoEntry,
  kTextBadPlugin,
  kTextNoResources,
  kTextRoutine,
  kTextBrambletFailure,
  kTextBrambletInit,
  kTextNotOffered,
  kTextAlreadyRunning,
  kTextCount
};
extern const pkg::Reporter kReport;

enum Site : uint32_t {
  kSiteBirth = 1, kSiteDeath, kSiteGlobals,
  kSiteSack = 0x10, kSiteInstall, kSiteSearch, kSiteScan,
  kSiteRsrc = 0x20, kSiteElf, kSitePiPL, kSiteProp,
  kSiteRoutine = 0x30, kSiteRegister, kSitePrep, kSiteUnprep, kSiteCache, kSiteUnregister,
  kSiteSuite = 0x40,
};

constexpr uint32_t kGlobalsMagic = 0x910BA1;
constexpr uint32_t kSackMagic = 0xACDCBA9;
constexpr uint32_t kScanMagic = 0x3015A110;
constexpr uint32_t kRoutineMagic = 0x900DC0DE;
constexpr FourCC kPiPLType = PLUG_FOURCC('P', 'i', 'P', 'L');

constexpr FourCC Four(const char (&s)[5]) { return PLUG_FOURCC(s[0], s[1], s[2], s[3]); }

// Little-endian loads (resource maps and property lists are little-endian).
inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t LoadLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint64_t LoadLE64(const uint8_t* p) { return uint64_t(LoadLE32(p)) | uint64_t(LoadLE32(p + 4)) << 32; }

struct ScanEntry {
  FourCC type;
  PLUG_ScanFunc scan;
  void* refcon;
};
struct DoneEntry {
  PLUG_DoneFunc done;
  void* refcon;
};

struct SackRec {
  uint32_t magic;
  Handle scans;  // ScanEntry[]
  Handle dones;  // DoneEntry[]
  uint32_t tailMagic;
};
constexpr pkg::Magic<SackRec> kSackDesc{&SackRec::magic, kSackMagic, &SackRec::tailMagic, kSackMagic};

struct RoutineRec {
  uint32_t magic;
  uint16_t flags;
  uint16_t kind;
  Handle pipl;
  FILE_SpecH file;   // null for static routines
  uint64_t stamp;    // when it was last released into the cache
  void* entry;
  void* second;      // the library handle for kind 4
  int32_t index;     // the property list's number in its file
  Handle access;     // the resource access set for it or read from its file (owned)
  uint32_t tailMagic;
};
constexpr pkg::Magic<RoutineRec> kRoutineDesc{&RoutineRec::magic, kRoutineMagic, &RoutineRec::tailMagic,
                                              kRoutineMagic};

struct Globals {
  uint32_t magic = 0;
  PLUG_Sack defaultSack = nullptr;
  Handle routines = nullptr;  // PLUG_Routine[]
  int32_t loaded = 0;
  int32_t cached = 0;
  int32_t maxCached = 0x7FFFFFFF;
  uint64_t clock = 0;
  char hostString[PLUG_MaxHostString + 1] = {};
  uintptr_t host[4] = {};
  FourCC tag = 0;
  Handle suites = nullptr;     // SuiteRec[]
  Handle started = nullptr;    // PLUG_BRPlugin[]: suite plug-ins of the search in effect
  bool searching = false;
  PLUG_Routine starting = nullptr;  // the suite plug-in being started (owner of the suites it adds)
  // The suite system's own objects (PLUG_suite_objects.cpp).
  Handle adapters = nullptr;   // AdapterRec[]
  Handle flushers = nullptr;   // FlusherRec[]
  Handle strings = nullptr;    // Ptr[]: the string pool
  Handle files = nullptr;      // Ptr[]: paths of the suite plug-in files found
  struct BlockHead* firstBlock = nullptr;  // live blocks, oldest first
  struct BlockHead* lastBlock = nullptr;
  int32_t blockCount = 0;
  uint64_t blockBytes = 0;
  uint32_t tailMagic = 0;
};
Globals& G();
// 0 when the package lives and its globals are intact; else 2 reported.
ErrorCode CheckGlobals(uint32_t site);

// Arrays of trivially copyable items in a handle.
template <class T>
size_t ArrayCount(Handle h) {
  return h ? static_cast<size_t>(GetHandleSize(h)) / sizeof(T) : 0;
}
template <class T>
T* ArrayItems(Handle h) {
  return h ? reinterpret_cast<T*>(*h) : nullptr;
}
template <class T>
bool ArrayInsert(Handle h, size_t at, const T& item) {
  const size_t n = ArrayCount<T>(h);
  SetHandleSize(h, static_cast<Size>((n + 1) * sizeof(T)));
  if (MemError()) return false;
  T* p = ArrayItems<T>(h);
  std::memmove(p + at + 1, p + at, (n - at) * sizeof(T));
  p[at] = item;
  return true;
}
template <class T>
void ArrayErase(Handle h, size_t at) {
  const size_t n = ArrayCount<T>(h);
  T* p = ArrayItems<T>(h);
  std::memmove(p + at, p + at + 1, (n - at - 1) * sizeof(T));
  SetHandleSize(h, static_cast<Size>((n - 1) * sizeof(T)));
}

// ---- Readers (bounded; nothing here reports) ---------------------------------
struct ResEntry {
  FourCC type;
  int32_t id;
  uint32_t offset;
  uint32_t length;
};
// Why a map or a property list was refused (for the one report naming the file).
const char* CheckMap(std::span<const uint8_t> map);
const char* CheckPiPLBytes(std::span<const uint8_t> pipl);
// Entry `n` of a checked map.
ResEntry MapEntry(std::span<const uint8_t> map, uint32_t n);
uint32_t MapCount(std::span<const uint8_t> map);
// The n-th resource of a type in a checked map (empty when absent).
std::span<const uint8_t> FindResource(std::span<const uint8_t> map, FourCC type, int32_t nth, bool byId,
                                      int32_t id);
// The first property with key and identifier in a checked property list.
bool FindProp(std::span<const uint8_t> pipl, FourCC key, int32_t id, std::span<const uint8_t>* data);
// Locates section `name` of an ELF64 image read through `read`: its offset
// and size, checked against the file size. Answers null or why it refused.
using ReadAt = bool (*)(void* ctx, uint64_t offset, void* buffer, uint32_t count);
const char* FindElfSection(ReadAt read, void* ctx, uint64_t fileSize, const char* name, uint64_t* offset,
                           uint64_t* size, bool* isElf);

// Copies a length-prefixed string of at most `room` - 1 bytes, terminated.
void CopyPString(std::span<const uint8_t> data, size_t at, char* out, size_t room);

ErrorCode CheckScan(PLUG_ScanData scan, uint32_t site);

// Routines: unload code (cache eviction, death).
void UnloadCode(RoutineRec& r);
ErrorCode DisposeAllRoutines();
// Suites: the standard ones at birth; everything (after shut-down messages) at death.
ErrorCode InstallStandardSuites();
void DisposeSuites();
ErrorCode Bramblet(uint32_t site);

// ---- The suite system's objects (PLUG_suite_objects.cpp) ----
struct SuiteRec {
  char name[PLUG_MaxSuiteName + 1];
  int32_t major;
  int32_t minor;
  const void* procs;
  PLUG_Routine host;
  int32_t acquired;
};
SuiteRec* FindSuite(const char* name, int32_t major, size_t* at = nullptr);
struct AdapterRec {
  char name[PLUG_MaxSuiteName + 1];
  int32_t version;
  PLUG_AdapterProc proc;
};
struct FlusherRec {
  PLUG_FlushProc proc;
  void* refcon;
};
// Blocks: a header before each block the suites hand out.
struct BlockHead {
  uint32_t magic;
  uint32_t size;
  BlockHead* prev;
  BlockHead* next;
  uint64_t pad;  // keeps the block 16-byte aligned
};
constexpr uint32_t kBlockMagic = 0xB10CB10C;
ErrorCode AllocateBlock(uint32_t size, void** block);
ErrorCode FreeBlock(void* block);
ErrorCode ReallocateBlock(void* block, uint32_t size, void** moved);
ErrorCode BlockSize(void* block, uint32_t* size);
ErrorCode CheckBlock(void* block);
ErrorCode NthBlock(int32_t n, void** block, uint32_t* size);
ErrorCode AddAdapter(const char* name, int32_t version, PLUG_AdapterProc proc);
ErrorCode RemoveAdapter(const char* name);
ErrorCode FindAdapter(int32_t version, PLUG_AdapterProc* proc);
ErrorCode CountAdapters(int32_t* count);
ErrorCode NthAdapter(int32_t n, char name[PLUG_MaxSuiteName + 1], int32_t* version);
ErrorCode AddFlusher(PLUG_FlushProc proc, void* refcon);
ErrorCode RemoveFlusher(PLUG_FlushProc proc, void* refcon);
ErrorCode FlushCaches(int64_t* freed);
ErrorCode FindString(const char* text, const char** pooled);
ErrorCode CountStrings(int32_t* count);
ErrorCode CountFiles(int32_t* count);
ErrorCode NthFile(int32_t n, char* path, int32_t room);
void ForgetFiles();
ErrorCode InstallSuiteObjects();
// The string pool's copy of text (4 when out of memory).
ErrorCode PoolString(const char* text, const char** pooled);
ErrorCode RememberFile(const char* path);
void DisposeSuiteObjects();
// The standard suites' tables (PLUG_suite_tables.cpp).
const void* StandardSuite(const char* name);
const PLUG_BasicSuite* Basic();
// A started suite plug-in's record, checked (1 reported when it is not one).
PLUG_BRPluginRec* CheckPlugin(PLUG_BRPlugin plugin, uint32_t site);
ErrorCode SendMessage(PLUG_Routine plugin, const char* caller, const char* selector, PLUG_BRMessage* message,
                      ErrorCode* result);

}  // namespace tv::plug

struct PLUG_BRPluginRec {
  uint32_t magic;  // 0x8A61E5 while it runs
  PLUG_Routine routine;
  void* data;
  uint32_t tailMagic;
};

struct PLUG_ScanRec {
  uint32_t magic;
  FILE_SpecH file;
  PLUG_ResFile res;   // opened on first use
  PLUG_PiPL pipl;     // the first property list, read on first use
  int32_t depth;
  PLUG_ProgressFunc progress;
  void* refcon;
  bool owned;         // made by PLUG_ScanDataFromFile (owns the file reference)
  bool resFailed;     // the map was refused once (reported once)
  uint32_t tailMagic;
};
