// The functions of the host's standard suites and the 20 host procedures.
// Each is a thin door onto the registry, the suite system's objects or the
// packages below (files, memory, the clock, reporting).
#include <algorithm>

#include "FILE.h"
#include "PLUG_internal.h"
#include "Platform.h"

namespace tv::plug {
namespace {

// ---- Basic ------------------------------------------------------------------------
ErrorCode Acquire(const char* name, int32_t major, int32_t minor, const void** suite) {
  if (!suite) return kReport.BadParam(kSiteSuite, {"acquireSuite"});
  if (ErrorCode err = PLUG_GetBRSuiteProcs(name, major, minor, suite)) return err;
  ++FindSuite(name, major)->acquired;
  return 0;
}
ErrorCode BasicAcquire(const char* name, int32_t major, const void** suite) { return Acquire(name, major, 0, suite); }
ErrorCode Release(const char* name, int32_t major) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  SuiteRec* s = name ? FindSuite(name, major) : nullptr;
  if (!s || s->acquired <= 0) return Bramblet(kSiteSuite);  // released more often than acquired
  --s->acquired;
  return 0;
}
Boolean32 IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
ErrorCode Undefined() {
  return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"the basic suite's undefined slot"});
}
constexpr PLUG_BasicSuite kBasic = {BasicAcquire, Release, IsEqual, AllocateBlock, FreeBlock, ReallocateBlock,
                                    Undefined};

// ---- Access -----------------------------------------------------------------------
ErrorCode GetAccess(PLUG_BRPlugin plugin, PLUG_ResFile* access) {
  if (!access) return kReport.BadParam(kSiteSuite, {"getAccess"});
  *access = nullptr;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  return rec ? PLUG_GetBRPluginResourceAccess(rec->routine, access) : PLUG_ErrBramblet;
}
ErrorCode SetAccess(PLUG_BRPlugin plugin, PLUG_ResFile access) {
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  return rec ? PLUG_SetBRPluginResourceAccess(rec->routine, access) : PLUG_ErrBramblet;
}
// Walks the resources of a type in a checked access; f(entry, ordinal) true stops.
template <class F>
ErrorCode EachResource(PLUG_ResFile access, FourCC type, F f) {
  if (!access || !*access) return kReport.BadParam(kSiteSuite, {"resource access"});
  HandleLock<uint8_t> lock(access);
  std::span<const uint8_t> map{lock.get(), static_cast<size_t>(GetHandleSize(access))};
  if (CheckMap(map)) return kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
  int32_t ordinal = 0;
  for (uint32_t i = 0, n = MapCount(map); i < n; ++i) {
    const ResEntry e = MapEntry(map, i);
    if (type != static_cast<FourCC>(PLUG_AnyType) && e.type != type) continue;
    if (f(e, ordinal++)) break;
  }
  return 0;
}
ErrorCode CountResources(PLUG_ResFile access, FourCC type, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countResources"});
  *count = 0;
  return EachResource(access, type, [&](const ResEntry&, int32_t) { return ++*count, false; });
}
ErrorCode NthResourceInfo(PLUG_ResFile access, FourCC type, int32_t n, int32_t* id, int32_t* length) {
  if (!id || !length) return kReport.BadParam(kSiteSuite, {"getNthResourceInfo"});
  *id = *length = 0;
  bool found = false;
  if (ErrorCode err = EachResource(access, type, [&](const ResEntry& e, int32_t k) {
        if (k != n) return false;
        *id = e.id;
        *length = static_cast<int32_t>(e.length);
        return found = true;
      }))
    return err;
  return found ? 0 : kReport.Fail(kSiteSuite, kErrResource, kTextPropIndex);
}
constexpr PLUG_AccessSuite kAccess = {GetAccess, SetAccess, CountResources, NthResourceInfo, PLUG_GetResource};

// ---- Adapters, blocks, debug, caches --------------------------------------------------
constexpr PLUG_AdaptersSuite kAdapters = {AddAdapter, RemoveAdapter, FindAdapter, CountAdapters, NthAdapter};
constexpr PLUG_BlocksSuite kBlocks = {AllocateBlock, FreeBlock, ReallocateBlock, BlockSize};
ErrorCode CountBlocks(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countBlocks"});
  *count = G().blockCount;
  return 0;
}
ErrorCode BytesInUse(uint64_t* bytes) {
  if (!bytes) return kReport.BadParam(kSiteSuite, {"bytesInUse"});
  *bytes = G().blockBytes;
  return 0;
}
constexpr PLUG_BlockDebugSuite kBlockDebug = {CountBlocks, BytesInUse, CheckBlock, NthBlock};
constexpr PLUG_CachesSuite kCaches = {AddFlusher, RemoveFlusher, FlushCaches};

// ---- Files ---------------------------------------------------------------------------
ErrorCode OpenFile(const char* path, void** file) {
  if (!path || !file) return kReport.BadParam(kSiteSuite, {"openFile"});
  *file = nullptr;
  FILE_SpecH ref = nullptr;
  if (ErrorCode err = FILE_New(path, FILE_LocFullPath, &ref)) return err;
  if (ErrorCode err = FILE_Open(FILE_PermRead, ref)) {
    FILE_Dispose(ref);
    return err;
  }
  *file = ref;
  return 0;
}
ErrorCode ReadFile(void* file, int64_t offset, int32_t count, void* buffer) {
  if (!file || offset < 0 || count < 0 || (count && !buffer)) return kReport.BadParam(kSiteSuite, {"readFile"});
  auto ref = static_cast<FILE_SpecH>(file);
  if (ErrorCode err = FILE_SetPos(ref, offset)) return err;
  return count ? FILE_NRead(ref, count, buffer) : 0;
}
ErrorCode FileSize(void* file, int64_t* size) {
  if (!file || !size) return kReport.BadParam(kSiteSuite, {"fileSize"});
  *size = 0;
  return FILE_InqSize(static_cast<FILE_SpecH>(file), FILE_SizeData, size);
}
ErrorCode CloseFile(void* file) {
  if (!file) return kReport.BadParam(kSiteSuite, {"closeFile"});
  auto ref = static_cast<FILE_SpecH>(file);
  const ErrorCode err = FILE_Close(ref);
  FILE_Dispose(ref);
  return err;
}
constexpr PLUG_FilesSuite kFiles = {CountFiles, NthFile, OpenFile, ReadFile, FileSize, CloseFile};

// ---- Interface, plug-ins, properties ----------------------------------------------------
ErrorCode SendTo(PLUG_BRPlugin plugin, const char* caller, const char* selector, void* message, ErrorCode* result) {
  if (!result || !caller || !selector) return kReport.BadParam(kSiteSuite, {"sendMessage"});
  *result = 0;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  // The plug-in's data word travels with every message it receives.
  PLUG_BRMessage m{Basic(), rec->routine, rec->data, message};
  const ErrorCode err = SendMessage(rec->routine, caller, selector, &m, result);
  if (CheckPlugin(plugin, kSiteSuite)) rec->data = m.data;
  return err;
}
ErrorCode Broadcast(const char* caller, const char* selector, void* message, ErrorCode* result) {
  if (!result) return kReport.BadParam(kSiteSuite, {"broadcastMessage"});
  *result = 0;
  for (size_t i = 0; i < ArrayCount<PLUG_BRPlugin>(G().started); ++i) {
    ErrorCode answer = 0;
    if (ErrorCode err = SendTo(ArrayItems<PLUG_BRPlugin>(G().started)[i], caller, selector, message, &answer))
      return err;
    if (answer && !*result) *result = answer;
  }
  return 0;
}
constexpr PLUG_InterfaceSuite kInterface = {SendTo, Broadcast};

ErrorCode CountPlugins(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countPlugins"});
  *count = static_cast<int32_t>(ArrayCount<PLUG_BRPlugin>(G().started));
  return 0;
}
ErrorCode NthPlugin(int32_t n, PLUG_BRPlugin* plugin) {
  if (!plugin) return kReport.BadParam(kSiteSuite, {"getNthPlugin"});
  *plugin = nullptr;
  if (n < 0 || static_cast<size_t>(n) >= ArrayCount<PLUG_BRPlugin>(G().started)) return Bramblet(kSiteSuite);
  *plugin = ArrayItems<PLUG_BRPlugin>(G().started)[n];
  return 0;
}
void NameOf(PLUG_Routine routine, char name[PLUG_MaxPluginName + 1]) {
  name[0] = 0;
  PLUG_PiPL pipl = nullptr;
  uint8_t text[32] = {};
  int32_t length = 0;
  Boolean32 found = 0;
  if (PLUG_GetRoutinePiPL(routine, &pipl) == 0 && pipl &&
      PLUG_InqPiPLProp(pipl, PLUG_FOURCC('n', 'a', 'm', 'e'), 0, 32, &length, text, &found) == 0 && found) {
    CopyPString({text, static_cast<size_t>(std::min(length, 32))}, 0, name, PLUG_MaxPluginName + 1);
    if (name[0]) return;
  }
  FILE_SpecH file = nullptr;
  if (PLUG_GetRoutineFile(routine, &file) == 0 && file) {
    char full[FILE_MaxPath] = {};
    FILE_InqName(file, FILE_NameOnly, full, sizeof full);
    size_t n = std::min<size_t>(std::strlen(full), PLUG_MaxPluginName);
    while (n > 0 && n < std::strlen(full) && (static_cast<uint8_t>(full[n]) & 0xC0) == 0x80) --n;
    std::memcpy(name, full, n);
    name[n] = 0;
  }
}
ErrorCode FindPlugin(const char* name, PLUG_BRPlugin* plugin) {
  if (!name || !plugin) return kReport.BadParam(kSiteSuite, {"findPlugin"});
  *plugin = nullptr;
  for (size_t i = 0; i < ArrayCount<PLUG_BRPlugin>(G().started); ++i) {
    char own[PLUG_MaxPluginName + 1];
    NameOf(ArrayItems<PLUG_BRPlugin>(G().started)[i]->routine, own);
    if (std::strcmp(own, name) == 0) {
      *plugin = ArrayItems<PLUG_BRPlugin>(G().started)[i];
      return 0;
    }
  }
  return Bramblet(kSiteSuite);
}
ErrorCode PluginName(PLUG_BRPlugin plugin, char name[PLUG_MaxPluginName + 1]) {
  if (!name) return kReport.BadParam(kSiteSuite, {"getPluginName"});
  name[0] = 0;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  NameOf(rec->routine, name);
  return 0;
}
ErrorCode PluginRoutine(PLUG_BRPlugin plugin, PLUG_Routine* routine) {
  if (!routine) return kReport.BadParam(kSiteSuite, {"getPluginRoutine"});
  *routine = nullptr;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  *routine = rec->routine;
  return 0;
}
ErrorCode PluginData(PLUG_BRPlugin plugin, void** data) {
  if (!data) return kReport.BadParam(kSiteSuite, {"getPluginData"});
  *data = nullptr;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  *data = rec->data;
  return 0;
}
ErrorCode SetPluginData(PLUG_BRPlugin plugin, void* data) {
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  rec->data = data;
  return 0;
}
ErrorCode PluginPath(PLUG_BRPlugin plugin, char* path, int32_t room) {
  if (!path || room <= 0) return kReport.BadParam(kSiteSuite, {"getPluginPath"});
  path[0] = 0;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  FILE_SpecH file = nullptr;
  PLUG_GetRoutineFile(rec->routine, &file);
  if (!file) return kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
  return FILE_InqName(file, FILE_NameFullPath, path, room);
}
constexpr PLUG_PluginsSuite kPlugins = {CountPlugins, NthPlugin,     FindPlugin,    PluginName,
                                        PluginRoutine, PluginData, SetPluginData, PluginPath};

// The plug-in's property list (owned by its routine); 6 for a routine without one.
ErrorCode PiPLOf(PLUG_BRPlugin plugin, PLUG_PiPL* pipl) {
  *pipl = nullptr;
  PLUG_BRPluginRec* rec = CheckPlugin(plugin, kSiteSuite);
  if (!rec) return PLUG_ErrBramblet;
  if (ErrorCode err = PLUG_GetRoutinePiPL(rec->routine, pipl)) return err;
  return *pipl ? 0 : kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
}
ErrorCode GetProperty(PLUG_BRPlugin plugin, FourCC key, int32_t id, int32_t maxLength, int32_t* length, void* data) {
  if (!length) return kReport.BadParam(kSiteSuite, {"getProperty"});
  *length = 0;
  PLUG_PiPL pipl = nullptr;
  if (ErrorCode err = PiPLOf(plugin, &pipl)) return err;
  return PLUG_GetPiPLProp(pipl, key, id, maxLength, length, data);
}
// Walks the properties of a checked list: f(key, id, length, ordinal) true stops.
template <class F>
ErrorCode EachProperty(PLUG_BRPlugin plugin, F f) {
  PLUG_PiPL pipl = nullptr;
  if (ErrorCode err = PiPLOf(plugin, &pipl)) return err;
  HandleLock<uint8_t> lock(pipl);
  std::span<const uint8_t> bytes{lock.get(), static_cast<size_t>(GetHandleSize(pipl))};
  if (CheckPiPLBytes(bytes)) return kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
  const uint32_t count = LoadLE32(bytes.data() + 4);
  size_t at = 8;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = LoadLE32(bytes.data() + at + 12);
    if (f(LoadLE32(bytes.data() + at + 4), static_cast<int32_t>(LoadLE32(bytes.data() + at + 8)), length,
          static_cast<int32_t>(i)))
      break;
    at += 16 + ((static_cast<size_t>(length) + 3) & ~size_t(3));
  }
  return 0;
}
ErrorCode CountProperties(PLUG_BRPlugin plugin, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countProperties"});
  *count = 0;
  return EachProperty(plugin, [&](FourCC, int32_t, uint32_t, int32_t) { return ++*count, false; });
}
ErrorCode NthProperty(PLUG_BRPlugin plugin, int32_t n, FourCC* key, int32_t* id, int32_t* length) {
  if (!key || !id || !length) return kReport.BadParam(kSiteSuite, {"getNthProperty"});
  *key = 0;
  *id = *length = 0;
  bool found = false;
  if (ErrorCode err = EachProperty(plugin, [&](FourCC k, int32_t i, uint32_t len, int32_t ordinal) {
        if (ordinal != n) return false;
        *key = k;
        *id = i;
        *length = static_cast<int32_t>(len);
        return found = true;
      }))
    return err;
  return found ? 0 : kReport.Fail(kSiteSuite, kErrResource, kTextPropIndex);
}
constexpr PLUG_PropertiesSuite kProperties = {GetProperty, CountProperties, NthProperty};

// ---- Runtime ---------------------------------------------------------------------------
ErrorCode HostString(char* text, int32_t room) {
  if (!text || room <= 0) return kReport.BadParam(kSiteSuite, {"getHostString"});
  text[0] = 0;
  const size_t n = std::strlen(G().hostString);
  if (n >= static_cast<size_t>(room)) return kReport.BadParam(kSiteSuite, {"getHostString (room)"});
  std::memcpy(text, G().hostString, n + 1);
  return 0;
}
ErrorCode HostValue(int32_t index, uintptr_t* value) {
  if (!value || index < 0 || index > 3) return kReport.BadParam(kSiteSuite, {"getHostValue"});
  *value = G().host[index];
  return 0;
}
ErrorCode RuntimeVersion(uint32_t* version) {
  if (!version) return kReport.BadParam(kSiteSuite, {"getRuntimeVersion"});
  *version = PLUG_PkgObjectVersion();
  return 0;
}
ErrorCode Ticks(uint32_t* ticks) {
  if (!ticks) return kReport.BadParam(kSiteSuite, {"getTicks"});
  *ticks = platform::TickCount();
  return 0;
}
ErrorCode ReportError(ErrorCode code, const char* text) {
  // The plug-in's text is shown as it is, never read as a format.
  if (code < 0) return report::System(kReport.Loc(kSiteSuite), kSevError, code, "%s", {text ? text : ""});
  return kReport.Message(kSiteSuite, kSevError, code, text ? text : "");
}
constexpr PLUG_RuntimeSuite kRuntime = {HostString, HostValue, RuntimeVersion, Ticks, ReportError};

// ---- Strings, suites ------------------------------------------------------------------------
constexpr PLUG_StringsSuite kStrings = {PoolString, FindString, IsEqual, CountStrings};

ErrorCode AddSuite(const char* name, int32_t major, int32_t minor, const void* procs) {
  return PLUG_AddBRSuite(0, 0, name, major, minor, procs);
}
ErrorCode RemoveSuite(const char* name, int32_t major) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  size_t at = 0;
  const SuiteRec* s = name ? FindSuite(name, major, &at) : nullptr;
  // A suite in use, or one of the host's own, stays.
  if (!s || s->acquired > 0 || !s->host) return Bramblet(kSiteSuite);
  ArrayErase<SuiteRec>(G().suites, at);
  return 0;
}
ErrorCode CountSuites(int32_t* count) {
  if (!count) return kReport.BadParam(kSiteSuite, {"countSuites"});
  *count = static_cast<int32_t>(ArrayCount<SuiteRec>(G().suites));
  return 0;
}
ErrorCode NthSuite(int32_t n, char name[PLUG_MaxSuiteName + 1], int32_t* major, int32_t* minor) {
  if (!name || !major || !minor) return kReport.BadParam(kSiteSuite, {"getNthSuite"});
  name[0] = 0;
  *major = *minor = 0;
  if (n < 0 || static_cast<size_t>(n) >= ArrayCount<SuiteRec>(G().suites)) return Bramblet(kSiteSuite);
  const SuiteRec& s = ArrayItems<SuiteRec>(G().suites)[n];
  std::memcpy(name, s.name, sizeof s.name);
  *major = s.major;
  *minor = s.minor;
  return 0;
}
constexpr PLUG_SuitesSuite kSuites = {AddSuite, Acquire, Release, RemoveSuite, CountSuites, NthSuite};

// ---- Host procedures ---------------------------------------------------------------------------
void* HostAlloc(size_t size) {
  void* block = nullptr;
  return size <= UINT32_MAX && AllocateBlock(static_cast<uint32_t>(size), &block) == 0 ? block : nullptr;
}
void* HostReAlloc(void* block, size_t size) {
  void* moved = nullptr;
  return size <= UINT32_MAX && ReallocateBlock(block, static_cast<uint32_t>(size), &moved) == 0 ? moved : nullptr;
}
void HostFree(void* block) { FreeBlock(block); }
uint32_t HostTicks() { return platform::TickCount(); }
ErrorCode HostResource(PLUG_BRPlugin plugin, FourCC type, int32_t id, Handle* data) {
  if (!data) return kReport.BadParam(kSiteSuite, {"resource"});
  *data = nullptr;
  PLUG_ResFile access = nullptr;
  if (ErrorCode err = GetAccess(plugin, &access)) return err;
  return PLUG_GetResource(access, type, id, data);
}

template <class F>
PLUG_SuiteProc Proc(F* f) {
  return reinterpret_cast<PLUG_SuiteProc>(reinterpret_cast<void (*)(void)>(f));
}

}  // namespace

const PLUG_BasicSuite* Basic() { return &kBasic; }

const void* StandardSuite(const char* name) {
  static constexpr struct {
    const char* name;
    const void* procs;
  } kTables[] = {{"BR Access Suite", &kAccess},       {"BR Adapters Suite", &kAdapters},
                 {"BR Basic Suite", &kBasic},         {"BR Blocks Suite", &kBlocks},
                 {"BR Block Debug Suite", &kBlockDebug}, {"BR Caches Suite", &kCaches},
                 {"BR Files Suite", &kFiles},         {"BR Interface Suite", &kInterface},
                 {"BR Plug-ins Suite", &kPlugins},    {"BR Properties Suite", &kProperties},
                 {"BR Runtime Suite", &kRuntime},     {"BR Strings Suite", &kStrings},
                 {"BR Suites Suite", &kSuites}};
  for (const auto& t : kTables)
    if (std::strcmp(t.name, name) == 0) return t.procs;
  return nullptr;
}

}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_GetBRHostProcs(PLUG_SuiteProc procs[PLUG_HostProcCount]) {
  if (!procs) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRHostProcs"});
  const PLUG_SuiteProc table[PLUG_HostProcCount] = {
      Proc(HostAlloc),    Proc(HostReAlloc),  Proc(HostFree),     Proc(OpenFile),    Proc(ReadFile),
      Proc(CloseFile),    Proc(FileSize),     Proc(HostTicks),    Proc(ReportError), Proc(HostString),
      Proc(HostValue),    Proc(Acquire),      Proc(Release),      Proc(AddSuite),    Proc(CountPlugins),
      Proc(NthPlugin),    Proc(GetProperty),  Proc(HostResource), Proc(SendTo),      Proc(PoolString)};
  std::fill(procs, procs + PLUG_HostProcCount, nullptr);
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  std::copy(std::begin(table), std::end(table), procs);
  return 0;
}
