// The suite system: suites registered by name and version, looked up,
// iterated; messages sent to suite plug-ins; the host procedures; the search
// that starts the suite plug-ins of a folder.
#include <cstdlib>

#include "PLUG_internal.h"

struct PLUG_SuiteIter {
  size_t next;
};

namespace tv::plug {
namespace {

struct SuiteRec {
  char name[PLUG_MaxSuiteName + 1];
  int32_t major;
  int32_t minor;
  const void* procs;
  PLUG_Routine host;
};

struct StartedRec {
  PLUG_Routine routine;
  void* data;
};

ErrorCode Bramblet(uint32_t site) { return kReport.Fail(site, PLUG_ErrBramblet, kTextBrambletFailure); }

SuiteRec* FindSuite(const char* name, int32_t major, size_t* at = nullptr) {
  const size_t n = ArrayCount<SuiteRec>(G().suites);
  for (size_t i = 0; i < n; ++i) {
    SuiteRec& s = ArrayItems<SuiteRec>(G().suites)[i];
    if (s.major == major && std::strcmp(s.name, name) == 0) {
      if (at) *at = i;
      return &s;
    }
  }
  return nullptr;
}

// The functions of the suites that have no form here.
ErrorCode NotOffered() { return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"this suite function"}); }
constexpr PLUG_SuiteProc kNotOffered[16] = {NotOffered, NotOffered, NotOffered, NotOffered, NotOffered, NotOffered,
                                            NotOffered, NotOffered, NotOffered, NotOffered, NotOffered, NotOffered,
                                            NotOffered, NotOffered, NotOffered, NotOffered};

ErrorCode Acquire(const char* name, int32_t major, const void** suite) {
  return PLUG_GetBRSuiteProcs(name, major, 0, suite);
}
ErrorCode Release(const char* name, int32_t major) {
  if (!name || !FindSuite(name, major)) return Bramblet(kSiteSuite);
  return 0;
}
Boolean32 IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
ErrorCode AllocateBlock(uint32_t size, void** block) {
  if (!block) return kReport.BadParam(kSiteSuite, {"allocateBlock"});
  *block = NewPtr(static_cast<Size>(size));
  return *block ? 0 : kReport.OutOfMemory(kSiteSuite, "suite block", size);
}
ErrorCode FreeBlock(void* block) {
  if (block) DisposePtr(static_cast<Ptr>(block));
  return 0;
}
ErrorCode ReallocateBlock(void* block, uint32_t size, void** moved) {
  if (!moved) return kReport.BadParam(kSiteSuite, {"reallocateBlock"});
  *moved = nullptr;
  void* fresh = NewPtr(static_cast<Size>(size));
  if (!fresh) return kReport.OutOfMemory(kSiteSuite, "suite block", size);
  if (block) {
    std::memcpy(fresh, block, std::min<size_t>(static_cast<size_t>(GetPtrSize(static_cast<Ptr>(block))), size));
    DisposePtr(static_cast<Ptr>(block));
  }
  *moved = fresh;
  return 0;
}
ErrorCode Undefined() { return NotOffered(); }

constexpr PLUG_BasicSuite kBasic = {Acquire, Release, IsEqual, AllocateBlock, FreeBlock, ReallocateBlock, Undefined};

// "Bramblet Alloc" / "Bramblet ReAlloc" and the matching free.
void* HostAlloc(size_t size) { return NewPtr(static_cast<Size>(size)); }
void* HostReAlloc(void* block, size_t size) {
  void* moved = nullptr;
  return ReallocateBlock(block, static_cast<uint32_t>(size), &moved) ? nullptr : moved;
}
void HostFree(void* block) { FreeBlock(block); }

struct Standard {
  const char* name;
  int32_t major;
};
constexpr Standard kStandard[] = {
    {"BR Access Suite", 3},     {"BR Adapters Suite", 3},  {"BR Basic Suite", 4},     {"BR Blocks Suite", 2},
    {"BR Block Debug Suite", 2}, {"BR Caches Suite", 2},   {"BR Files Suite", 3},     {"BR Interface Suite", 2},
    {"BR Plug-ins Suite", 4},   {"BR Properties Suite", 2}, {"BR Runtime Suite", 5},  {"BR Strings Suite", 2},
    {"BR Suites Suite", 2}};

ErrorCode Send(PLUG_Routine plugin, const char* caller, const char* selector, PLUG_BRMessage* message,
               ErrorCode* result) {
  void* entry = nullptr;
  uint32_t flags = 0;
  PLUG_GetRoutineFlags(plugin, &flags);
  const bool wasLoaded = flags & PLUG_Flag_Loaded;
  if (ErrorCode err = PLUG_PrepRoutine(plugin, 0, &entry, nullptr, nullptr)) return err;
  *result = reinterpret_cast<PLUG_BREntry>(entry)(caller, selector, message);
  // Code a caller prepared stays as it was.
  return wasLoaded ? 0 : PLUG_UnprepRoutine(plugin);
}

ErrorCode ScanSuitePlugin(PLUG_ScanData scan, int32_t, void*) {
  PLUG_Routine r = nullptr;
  if (PLUG_RegisterRoutine(scan, 0, &r)) return 0;  // reported; the search goes on
  if (!ArrayInsert(G().started, ArrayCount<StartedRec>(G().started), StartedRec{r, nullptr})) {
    PLUG_UnregisterRoutine(r);
    return kReport.OutOfMemory(kSiteSuite, "suite plug-in", sizeof(StartedRec));
  }
  return 0;
}

void RemoveSuitesOf(PLUG_Routine host) {
  for (size_t i = ArrayCount<SuiteRec>(G().suites); i-- > 0;)
    if (ArrayItems<SuiteRec>(G().suites)[i].host == host) ArrayErase<SuiteRec>(G().suites, i);
}

}  // namespace

ErrorCode InstallStandardSuites() {
  G().suites = NewHandle(0);
  G().started = NewHandle(0);
  if (!G().suites || !G().started) return kReport.OutOfMemory(kSiteSuite, "suite list", sizeof(SuiteRec));
  for (const Standard& s : kStandard) {
    const void* procs = std::strcmp(s.name, "BR Basic Suite") == 0 ? static_cast<const void*>(&kBasic)
                                                                    : static_cast<const void*>(kNotOffered);
    if (ErrorCode err = PLUG_AddBRSuite(0, 0, s.name, s.major, 1, procs)) return err;
  }
  return 0;
}

void DisposeSuites() {
  Globals& g = G();
  if (g.searching) PLUG_UnsearchBR();
  if (g.suites) DisposeHandle(g.suites);
  if (g.started) DisposeHandle(g.started);
  g.suites = g.started = nullptr;
}

}  // namespace tv::plug

using namespace tv;
using namespace tv::plug;

ErrorCode PLUG_AddBRSuite(intptr_t, intptr_t, const char* name, int32_t major, int32_t minor, const void* procs) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!name || !procs || std::strlen(name) > PLUG_MaxSuiteName) return kReport.BadParam(kSiteSuite, {"PLUG_AddBRSuite"});
  if (FindSuite(name, major)) return Bramblet(kSiteSuite);
  SuiteRec s{};
  std::memcpy(s.name, name, std::strlen(name));
  s.major = major;
  s.minor = minor;
  s.procs = procs;
  s.host = G().starting;
  if (!ArrayInsert(G().suites, ArrayCount<SuiteRec>(G().suites), s))
    return kReport.OutOfMemory(kSiteSuite, "suite list", sizeof s);
  return 0;
}

ErrorCode PLUG_GetBRBasicSuite(const PLUG_BasicSuite** suite) {
  if (!suite) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRBasicSuite"});
  *suite = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  *suite = &kBasic;
  return 0;
}

ErrorCode PLUG_GetBRHostProcs(PLUG_SuiteProc procs[PLUG_HostProcCount]) {
  if (!procs) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRHostProcs"});
  for (int i = 0; i < PLUG_HostProcCount; ++i) procs[i] = NotOffered;
  procs[0] = reinterpret_cast<PLUG_SuiteProc>(reinterpret_cast<void (*)(void)>(HostAlloc));
  procs[1] = reinterpret_cast<PLUG_SuiteProc>(reinterpret_cast<void (*)(void)>(HostReAlloc));
  procs[2] = reinterpret_cast<PLUG_SuiteProc>(reinterpret_cast<void (*)(void)>(HostFree));
  return 0;
}

ErrorCode PLUG_GetBRSuiteProcs(const char* name, int32_t major, int32_t minor, const void** procs) {
  if (!procs) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRSuiteProcs"});
  *procs = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!name) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRSuiteProcs"});
  const SuiteRec* s = FindSuite(name, major);
  if (!s || s->minor < minor) return Bramblet(kSiteSuite);
  *procs = s->procs;
  return 0;
}

ErrorCode PLUG_GetBRSuiteHost(const char* name, int32_t major, PLUG_Routine* host) {
  if (!host) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRSuiteHost"});
  *host = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  const SuiteRec* s = name ? FindSuite(name, major) : nullptr;
  if (!s) return Bramblet(kSiteSuite);
  *host = s->host;
  return 0;
}

ErrorCode PLUG_NewBRSuiteListIterator(PLUG_SuiteListIterator* iter) {
  if (!iter) return kReport.BadParam(kSiteSuite, {"PLUG_NewBRSuiteListIterator"});
  *iter = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  auto* it = reinterpret_cast<PLUG_SuiteIter*>(NewPtrClear(sizeof(PLUG_SuiteIter)));
  if (!it) return kReport.OutOfMemory(kSiteSuite, "suite iterator", sizeof(PLUG_SuiteIter));
  *iter = it;
  return 0;
}

ErrorCode PLUG_NextBRSuite(PLUG_SuiteListIterator iter, char name[PLUG_MaxSuiteName + 1], int32_t* major,
                           int32_t* minor, Boolean32* more) {
  if (!iter || !name || !major || !minor || !more) return kReport.BadParam(kSiteSuite, {"PLUG_NextBRSuite"});
  name[0] = 0;
  *major = *minor = 0;
  *more = 0;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (iter->next >= ArrayCount<SuiteRec>(G().suites)) return 0;
  const SuiteRec& s = ArrayItems<SuiteRec>(G().suites)[iter->next++];
  std::memcpy(name, s.name, sizeof s.name);
  *major = s.major;
  *minor = s.minor;
  *more = 1;
  return 0;
}

ErrorCode PLUG_DeleteBRSuiteListIterator(PLUG_SuiteListIterator iter) {
  if (iter) DisposePtr(reinterpret_cast<Ptr>(iter));
  return 0;
}

ErrorCode PLUG_SendBRMessage(PLUG_Routine plugin, const char* caller, const char* selector, PLUG_BRMessage* message,
                             ErrorCode* result) {
  if (!result) return kReport.BadParam(kSiteSuite, {"PLUG_SendBRMessage"});
  *result = 0;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!caller || !selector) return kReport.BadParam(kSiteSuite, {"PLUG_SendBRMessage"});
  return Send(plugin, caller, selector, message, result);
}

ErrorCode PLUG_SearchBR(FILE_SpecH folder, PLUG_ProgressFunc progress, void* refcon, Boolean32* cancelled) {
  if (cancelled) *cancelled = 0;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  Globals& g = G();
  if (g.searching) return kReport.Fail(kSiteSuite, kErrBirth, kTextAlreadyRunning);
  if (ErrorCode err = FILE_AddExtensionMap(".kpl", Four("KPiL"), 0)) return err;
  PLUG_Sack sack = nullptr;
  if (ErrorCode err = PLUG_NewSack(&sack)) return err;
  const FourCC type = Four("KPiL");
  ErrorCode err = PLUG_InstallScan(sack, 1, &type, ScanSuitePlugin, nullptr, nullptr);
  if (!err) err = PLUG_Search(sack, 1, &folder, 0, 10, nullptr, progress, refcon, cancelled);
  PLUG_DisposeSack(sack);
  g.searching = true;
  if (!err) err = PLUG_AddBRSuite(0, 0, "KDM Host Init Suite", 1, 1, kNotOffered);
  if (err) {
    PLUG_UnsearchBR();
    return err;
  }
  // Start each plug-in: its code stays loaded while its suites may be used.
  for (size_t i = 0; i < ArrayCount<StartedRec>(g.started); ++i) {
    StartedRec& s = ArrayItems<StartedRec>(g.started)[i];
    void* entry = nullptr;
    if (PLUG_PrepRoutine(s.routine, 0, &entry, nullptr, nullptr)) continue;  // reported
    PLUG_BRMessage m{&kBasic, s.routine, nullptr};
    g.starting = s.routine;
    const ErrorCode result = reinterpret_cast<PLUG_BREntry>(entry)("BR Interface", "Startup", &m);
    g.starting = nullptr;
    ArrayItems<StartedRec>(g.started)[i].data = m.data;
    if (result) {
      kReport.Fail(kSiteSuite, result, kTextBrambletInit);
      RemoveSuitesOf(s.routine);
    }
  }
  return 0;
}

ErrorCode PLUG_UnsearchBR(void) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  Globals& g = G();
  if (!g.searching) return 0;
  while (const size_t n = ArrayCount<StartedRec>(g.started)) {
    const StartedRec s = ArrayItems<StartedRec>(g.started)[n - 1];
    ArrayErase<StartedRec>(g.started, n - 1);
    uint32_t flags = 0;
    PLUG_GetRoutineFlags(s.routine, &flags);
    if (flags & PLUG_Flag_Loaded) {
      void* entry = nullptr;
      PLUG_PrepRoutine(s.routine, 0, &entry, nullptr, nullptr);
      PLUG_BRMessage m{&kBasic, s.routine, s.data};
      reinterpret_cast<PLUG_BREntry>(entry)("BR Interface", "Shutdown", &m);
      RemoveSuitesOf(s.routine);
      PLUG_UnprepRoutine(s.routine);
    }
    RemoveSuitesOf(s.routine);
    PLUG_UnregisterRoutine(s.routine);
  }
  size_t at = 0;
  if (FindSuite("KDM Host Init Suite", 1, &at)) ArrayErase<SuiteRec>(g.suites, at);
  g.searching = false;
  return 0;
}

ErrorCode PLUG_GetBRPluginRef(PLUG_Routine, void** ref) {
  if (ref) *ref = nullptr;
  return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"PLUG_GetBRPluginRef"});
}
ErrorCode PLUG_GetBRPluginResourceAccess(PLUG_Routine, void** access) {
  if (access) *access = nullptr;
  return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"PLUG_GetBRPluginResourceAccess"});
}
ErrorCode PLUG_SetBRPluginResourceAccess(PLUG_Routine, void*) {
  return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"PLUG_SetBRPluginResourceAccess"});
}
