// The engine session of a sub-command, the interrupt flag and the failure
// text built from the engine's reports.
#include "session.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "BEE.h"
#include "BM.h"
#include "Engine.h"
#include "FLT.h"
#include "M.h"
#include "MC.h"
#include "OM.h"
#include "PF.h"
#include "PIN.h"
#include "PLUG.h"
#include "Prefs.h"
#include "SND.h"
#include "U.h"
#include "VAL.h"
#include "memory_budget.h"

namespace tavelo {
namespace {

using tv::kSevError;
using tv::kSevFailure;
using tv::kSevFatal;
using tv::kSevIndented;
using tv::kSevWarning;

constexpr uint32_t kHostMajor = 45;
constexpr ErrorCode kAborted = 517;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int signal) {
  if (!gInterrupted) gInterrupted = signal;
  // The next one is not caught: a second Ctrl-C ends the process at once.
  std::signal(signal, SIG_DFL);
}

ErrorCode Log(intptr_t, LocationCode where, Severity severity, const char* text) {
  Session* s = Session::current;
  std::string t = text ? text : "";
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
  // The engine prefixes "<program> <severity>: "; the host says "tavelo:" itself.
  if (t.rfind("tavelo ", 0) == 0) {
    const size_t colon = t.find(": ");
    if (colon != std::string::npos && t.find(' ', 7) == colon + 1) t.erase(0, colon + 2);
  }
  // The engine's notes that say so themselves are shown as every note is
  // ("note: ...", not "note: Note: ...").
  if (t.rfind("Note: ", 0) == 0) t.erase(0, 6);
  if (!s) {
    std::fprintf(stderr, "tavelo: %s\n", t.c_str());
    return 0;
  }
  s->reports.push_back({severity, t});
  if (s->echoAll) {
    std::fprintf(stderr, "tavelo: report from 0x%08X, severity %d: %s\n", static_cast<unsigned>(where),
                 static_cast<int>(severity), t.c_str());
    return 0;
  }
  if (s->echo && (severity & (kSevWarning | kSevIndented)) && !(severity & (kSevError | kSevFatal)))
    std::fprintf(stderr, "tavelo: note: %s\n", t.c_str());
  return 0;
}

// The engine's host callback: progress polls and movie status answer
// "stop" once interrupted; the movie status goes to the session's listener.
ErrorCode HostCallback(intptr_t, int32_t selector, void* data) {
  Session* s = Session::current;
  if (selector == BEE_SelMovieStatus && data && s && s->movieStatus)
    s->movieStatus(*static_cast<const BEE_MovieStatus*>(data));
  if ((selector == BEE_SelProgress || selector == BEE_SelMovieStatus) && gInterrupted) return 1;
  return 0;
}
void AbortProc() {}

}  // namespace

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  // A program that started us with these blocked would make us unstoppable;
  // one already waiting is taken now.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  ::pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}
bool Interrupted() { return gInterrupted != 0; }
int InterruptSignal() { return static_cast<int>(gInterrupted); }

Session* Session::current = nullptr;

Session::Session(const Common& common) {
  ApplyMemoryOption(common.memory);
  echo = !common.Quiet();
  echoAll = common.level == LogLevel::Debug;
  current = this;
  // Machine settings (memory budget, codecs) come from the preferences file
  // named by TAVELO_PREFS; without it they stay in memory at their defaults.
  if (const char* prefs = std::getenv("TAVELO_PREFS")) EMUL_SetTVPrefsFile(prefs);
  ErrorCode err = TV_BirthPackages("tavelo", nullptr, 0);
  if (err) {
    current = nullptr;
    Fail("starting the engine failed (code " + std::to_string(err) + ")");
  }
  U_SetLoggingCallback(&Log, 0);
  Up_SetInteract(0xFFFF0000u);  // log every severity, show no dialog
  const int32_t packages[] = {M_PackageNumber,  VAL_PackageNumber, BM_PackageNumber, MC_PackageNumber,
                              OM_PackageNumber, PF_PackageNumber,  SND_PackageNumber, PIN_PackageNumber,
                              PLUG_PackageNumber, FLT_PackageNumber, BEE_PackageNumber};
  err = U_CheckVersions(tv::Location(0, 0), kHostMajor);
  if (!err) err = TV_BirthPackages("tavelo", packages, static_cast<int32_t>(std::size(packages)));
  if (err) {
    std::string why = LastError();
    TV_DeathPackages();
    current = nullptr;
    Fail("starting the engine failed" + (why.empty() ? "" : ": " + why) + " (code " + std::to_string(err) + ")");
  }
  // When memory runs short, cached frames go first, least important first.
  SetGrowZone(&MC_GrowZone);
  BEE_SetCallbackFunc(&HostCallback, 0);
  FLT_InstallProcs(1, &AbortProc);
  for (const std::string& d : common.pluginDirs) {
    std::error_code ec;
    if (!std::filesystem::is_directory(d, ec)) {
      Shutdown();
      Fail("plug-in folder \"" + d + "\" does not exist");
    }
  }
  FLT_InqNumPF(&builtInEffects);
  for (PluginFolder& folder : PluginFolders(common.pluginDirs, common.defaultPluginFolders)) {
    PluginScan scan;
    scan.folder = std::move(folder);
    std::error_code ec;
    scan.present = std::filesystem::is_directory(scan.folder.path, ec);
    FLT_InqNumPF(&scan.first);
    scan.end = scan.first;
    if (scan.present) {
      const size_t heard = reports.size();
      const char* list[] = {scan.folder.path.c_str(), nullptr};
      if (ErrorCode e = FLTp_ScanPluginFolders(list, 10)) {
        std::string why = LastError();
        Shutdown();
        Fail("scanning the plug-in folder \"" + scan.folder.path + "\" failed" +
             (why.empty() ? "" : ": " + why) + " (code " + std::to_string(e) + ")");
      }
      FLT_InqNumPF(&scan.end);
      scan.reports.assign(reports.begin() + static_cast<std::ptrdiff_t>(heard), reports.end());
    }
    scans.push_back(std::move(scan));
  }
}

Session::~Session() { Shutdown(); }

void Session::Shutdown() {
  if (current != this) return;
  BEE_SetCallbackFunc(nullptr, 0);
  SetGrowZone(nullptr);
  TV_DeathPackages();
  current = nullptr;
}

std::vector<Report> Session::TakeReports() {
  std::vector<Report> out;
  out.swap(reports);
  return out;
}

std::string Session::LastError() const {
  using namespace tv;
  for (auto it = reports.rbegin(); it != reports.rend(); ++it)
    if (it->severity & (kSevError | kSevFatal | kSevFailure)) return it->text;
  return reports.empty() ? std::string() : reports.back().text;
}

void EngineFail(const std::string& what, ErrorCode err) {
  if (err == kAborted && Interrupted()) Fail("interrupted", kExitInterrupted);
  std::string why = Session::current ? Session::current->LastError() : std::string();
  if (Session::current) Session::current->reports.clear();
  Fail(what + " failed" + (why.empty() ? "" : ": " + why) + " (code " + std::to_string(err) + ")");
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

FileRef::FileRef(const std::string& path) {
  Check(FILE_New(AbsolutePath(path).c_str(), FILE_LocFullPath, &spec), "naming \"" + path + "\"");
}

FileRef::~FileRef() {
  if (spec) FILE_Dispose(spec);
}

}  // namespace tavelo
