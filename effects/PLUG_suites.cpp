// The suite system: suites registered by name and version, looked up,
// iterated; messages sent to suite plug-ins (through the adapter of an older
// interface version); the search that starts the suite plug-ins of a
// folder; the plug-ins' references and resource access.
#include <cstdlib>

#include "PLUG_internal.h"

struct PLUG_SuiteIter {
  size_t next;
};

namespace tv::plug {
namespace {

constexpr uint32_t kPluginMagic = 0x8A61E5;
constexpr FourCC kKeyInterface = PLUG_FOURCC('b', 'r', 'I', 'V');
constexpr int32_t kCurrentInterface = 3;
constexpr const char* kAdapter2Name = "Bramblet 2 Adapter";
constexpr const char* kHostInitSuite = "KDM Host Init Suite";

// "KDM Host Init Suite": the dialog-manager glue it would set up is not part
// of this engine, so each of its functions answers 5 and says so.
ErrorCode HostInitNotBuilt() {
  return kReport.Fail(kSiteSuite, kErrUnimplemented, kTextNotOffered, {"the dialog manager's host set-up"});
}
constexpr PLUG_SuiteProc kHostInit[4] = {HostInitNotBuilt, HostInitNotBuilt, HostInitNotBuilt, HostInitNotBuilt};

// Translates a message for an interface-version-2 plug-in: it has no message
// record, only its data word (kept in the record between messages), and
// reaches the suites through the host procedures.
ErrorCode Adapter2(void* entry, const char* caller, const char* selector, PLUG_BRMessage* message,
                   ErrorCode* result) {
  PLUG_SuiteProc procs[PLUG_HostProcCount] = {};
  if (ErrorCode err = PLUG_GetBRHostProcs(procs)) return err;
  void* data = message ? message->data : nullptr;
  *result = reinterpret_cast<PLUG_BREntry2>(entry)(caller, selector, &data, procs);
  if (message) message->data = data;
  return 0;
}

int32_t InterfaceOf(PLUG_Routine routine) {
  PLUG_PiPL pipl = nullptr;
  if (PLUG_GetRoutinePiPL(routine, &pipl) || !pipl) return kCurrentInterface;
  uint8_t word[4] = {};
  int32_t length = 0;
  Boolean32 found = 0;
  if (PLUG_InqPiPLProp(pipl, kKeyInterface, 0, 4, &length, word, &found) || !found || length < 4)
    return kCurrentInterface;
  return static_cast<int32_t>(LoadLE32(word));
}

ErrorCode Deliver(void* entry, PLUG_Routine plugin, const char* caller, const char* selector,
                  PLUG_BRMessage* message, ErrorCode* result) {
  if (!entry) return Bramblet(kSiteSuite);  // a routine registered without code
  const int32_t version = InterfaceOf(plugin);
  if (version == kCurrentInterface) {
    *result = reinterpret_cast<PLUG_BREntry>(entry)(caller, selector, message);
    return 0;
  }
  PLUG_AdapterProc adapter = nullptr;
  if (ErrorCode err = FindAdapter(version, &adapter)) return err;
  return adapter(entry, caller, selector, message, result);
}

ErrorCode ScanSuitePlugin(PLUG_ScanData scan, int32_t, void*) {
  FILE_SpecH file = nullptr;
  char path[FILE_MaxPath] = {};
  if (PLUG_GetResFileSpec(scan, &file) == 0) FILE_InqName(file, FILE_NameFullPath, path, sizeof path);
  if (ErrorCode err = RememberFile(path)) return err;
  PLUG_Routine r = nullptr;
  if (PLUG_RegisterRoutine(scan, 0, &r)) return 0;  // reported; the search goes on
  auto* rec = reinterpret_cast<PLUG_BRPluginRec*>(NewPtrClear(sizeof(PLUG_BRPluginRec)));
  if (!rec || !ArrayInsert(G().started, ArrayCount<PLUG_BRPlugin>(G().started), rec)) {
    if (rec) DisposePtr(reinterpret_cast<Ptr>(rec));
    PLUG_UnregisterRoutine(r);
    return kReport.OutOfMemory(kSiteSuite, "suite plug-in", sizeof(PLUG_BRPluginRec));
  }
  rec->magic = rec->tailMagic = kPluginMagic;
  rec->routine = r;
  return 0;
}

void RemoveSuitesOf(PLUG_Routine host) {
  for (size_t i = ArrayCount<SuiteRec>(G().suites); i-- > 0;)
    if (ArrayItems<SuiteRec>(G().suites)[i].host == host) ArrayErase<SuiteRec>(G().suites, i);
}

// Sends "Shutdown" to a started plug-in whose code is loaded, removes its
// suites, releases and unregisters it, and frees its record.
void Stop(PLUG_BRPluginRec* rec) {
  uint32_t flags = 0;
  PLUG_GetRoutineFlags(rec->routine, &flags);
  if (flags & PLUG_Flag_Loaded) {
    PLUG_BRMessage m{Basic(), rec->routine, rec->data, nullptr};
    ErrorCode result = 0;
    SendMessage(rec->routine, "BR Interface", "Shutdown", &m, &result);
    PLUG_UnprepRoutine(rec->routine);
  }
  RemoveSuitesOf(rec->routine);
  PLUG_UnregisterRoutine(rec->routine);
  rec->magic = rec->tailMagic = 0;
  DisposePtr(reinterpret_cast<Ptr>(rec));
}

}  // namespace

PLUG_BRPluginRec* CheckPlugin(PLUG_BRPlugin plugin, uint32_t site) {
  for (size_t i = 0; i < ArrayCount<PLUG_BRPlugin>(G().started); ++i)
    if (ArrayItems<PLUG_BRPlugin>(G().started)[i] == plugin && plugin->magic == kPluginMagic &&
        plugin->tailMagic == kPluginMagic)
      return plugin;
  Bramblet(site);
  return nullptr;
}

ErrorCode SendMessage(PLUG_Routine plugin, const char* caller, const char* selector, PLUG_BRMessage* message,
                      ErrorCode* result) {
  void* entry = nullptr;
  uint32_t flags = 0;
  if (ErrorCode err = PLUG_GetRoutineFlags(plugin, &flags)) return err;
  const bool wasLoaded = flags & PLUG_Flag_Loaded;
  if (ErrorCode err = PLUG_PrepRoutine(plugin, 0, &entry, nullptr, nullptr)) return err;
  ErrorCode err = Deliver(entry, plugin, caller, selector, message, result);
  // Code a caller prepared stays as it was.
  if (!wasLoaded) {
    const ErrorCode released = PLUG_UnprepRoutine(plugin);
    if (!err) err = released;
  }
  return err;
}

ErrorCode InstallStandardSuites() {
  G().suites = NewHandle(0);
  G().started = NewHandle(0);
  if (!G().suites || !G().started) return kReport.OutOfMemory(kSiteSuite, "suite list", sizeof(SuiteRec));
  if (ErrorCode err = InstallSuiteObjects()) return err;
  static constexpr struct {
    const char* name;
    int32_t major;
  } kStandard[] = {{"BR Access Suite", 3},      {"BR Adapters Suite", 3},   {"BR Basic Suite", 4},
                   {"BR Blocks Suite", 2},      {"BR Block Debug Suite", 2}, {"BR Caches Suite", 2},
                   {"BR Files Suite", 3},       {"BR Interface Suite", 2},  {"BR Plug-ins Suite", 4},
                   {"BR Properties Suite", 2},  {"BR Runtime Suite", 5},    {"BR Strings Suite", 2},
                   {"BR Suites Suite", 2}};
  for (const auto& s : kStandard)
    if (ErrorCode err = PLUG_AddBRSuite(0, 0, s.name, s.major, 1, StandardSuite(s.name))) return err;
  return 0;
}

void DisposeSuites() {
  Globals& g = G();
  if (g.searching) PLUG_UnsearchBR();
  if (g.suites) DisposeHandle(g.suites);
  if (g.started) DisposeHandle(g.started);
  g.suites = g.started = nullptr;
  DisposeSuiteObjects();
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
  *suite = Basic();
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
  return SendMessage(plugin, caller, selector, message, result);
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
  g.searching = true;
  ErrorCode err = PLUG_InstallScan(sack, 1, &type, ScanSuitePlugin, nullptr, nullptr);
  if (!err) err = PLUG_Search(sack, 1, &folder, 0, 10, nullptr, progress, refcon, cancelled);
  PLUG_DisposeSack(sack);
  if (!err) err = AddAdapter(kAdapter2Name, 2, Adapter2);
  if (!err) err = PLUG_AddBRSuite(0, 0, kHostInitSuite, 1, 1, kHostInit);
  if (err) {
    PLUG_UnsearchBR();
    return err;
  }
  // Start each plug-in: its code stays prepared while its suites may be used.
  for (size_t i = 0; i < ArrayCount<PLUG_BRPlugin>(g.started);) {
    PLUG_BRPluginRec* rec = ArrayItems<PLUG_BRPlugin>(g.started)[i];
    void* entry = nullptr;
    ErrorCode result = 0;
    PLUG_BRMessage m{Basic(), rec->routine, nullptr, nullptr};
    ErrorCode failed = PLUG_PrepRoutine(rec->routine, 0, &entry, nullptr, nullptr);
    if (!failed) {
      g.starting = rec->routine;
      failed = Deliver(entry, rec->routine, "BR Interface", "Startup", &m, &result);
      g.starting = nullptr;
      rec->data = m.data;
      if (!failed && result) failed = kReport.Fail(kSiteSuite, result, kTextBrambletInit);
      if (failed) PLUG_UnprepRoutine(rec->routine);
    }
    if (failed) {
      // Not started: its suites go, and it is not told to shut down.
      ArrayErase<PLUG_BRPlugin>(g.started, i);
      RemoveSuitesOf(rec->routine);
      PLUG_UnregisterRoutine(rec->routine);
      rec->magic = rec->tailMagic = 0;
      DisposePtr(reinterpret_cast<Ptr>(rec));
      continue;
    }
    ++i;
  }
  return 0;
}

ErrorCode PLUG_UnsearchBR(void) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  Globals& g = G();
  if (!g.searching) return 0;
  while (const size_t n = ArrayCount<PLUG_BRPlugin>(g.started)) {
    PLUG_BRPluginRec* rec = ArrayItems<PLUG_BRPlugin>(g.started)[n - 1];
    Stop(rec);
    ArrayErase<PLUG_BRPlugin>(g.started, n - 1);
  }
  size_t at = 0;
  if (FindSuite(kHostInitSuite, 1, &at)) ArrayErase<SuiteRec>(g.suites, at);
  for (size_t i = 0; i < ArrayCount<AdapterRec>(g.adapters); ++i)
    if (std::strcmp(ArrayItems<AdapterRec>(g.adapters)[i].name, kAdapter2Name) == 0) {
      ArrayErase<AdapterRec>(g.adapters, i);
      break;
    }
  ForgetFiles();
  g.searching = false;
  return 0;
}

ErrorCode PLUG_GetBRPluginRef(PLUG_Routine plugin, PLUG_BRPlugin* ref) {
  if (!ref) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRPluginRef"});
  *ref = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  for (size_t i = 0; i < ArrayCount<PLUG_BRPlugin>(G().started); ++i)
    if (ArrayItems<PLUG_BRPlugin>(G().started)[i]->routine == plugin) {
      *ref = ArrayItems<PLUG_BRPlugin>(G().started)[i];
      return 0;
    }
  return Bramblet(kSiteSuite);
}

ErrorCode PLUG_GetBRPluginResourceAccess(PLUG_Routine plugin, PLUG_ResFile* access) {
  if (!access) return kReport.BadParam(kSiteSuite, {"PLUG_GetBRPluginResourceAccess"});
  *access = nullptr;
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!kRoutineDesc.Intact(plugin))
    return kReport.Fail(kSiteSuite, kErrDamaged, kTextDamagedRD, {kReport.Text(kTextDamaged)});
  auto* r = reinterpret_cast<RoutineRec*>(*plugin);
  if (!r->access) {
    if (!r->file) return kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
    PLUG_ResFile map = nullptr;
    if (ErrorCode err = PLUG_ReadResFile(r->file, &map)) return err;
    reinterpret_cast<RoutineRec*>(*plugin)->access = map;  // the record may have moved
  }
  *access = reinterpret_cast<RoutineRec*>(*plugin)->access;
  return 0;
}

ErrorCode PLUG_SetBRPluginResourceAccess(PLUG_Routine plugin, PLUG_ResFile access) {
  if (ErrorCode err = CheckGlobals(kSiteSuite)) return err;
  if (!kRoutineDesc.Intact(plugin))
    return kReport.Fail(kSiteSuite, kErrDamaged, kTextDamagedRD, {kReport.Text(kTextDamaged)});
  if (access) {
    if (!*access) return kReport.BadParam(kSiteSuite, {"PLUG_SetBRPluginResourceAccess"});
    HandleLock<uint8_t> lock(access);
    if (CheckMap({lock.get(), static_cast<size_t>(GetHandleSize(access))}))
      return kReport.Fail(kSiteSuite, kErrResource, kTextReadingPiPL);
  }
  auto* r = reinterpret_cast<RoutineRec*>(*plugin);
  if (r->access && r->access != access) DisposeHandle(r->access);
  r->access = access;
  return 0;
}
