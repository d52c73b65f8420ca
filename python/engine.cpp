// The engine's life inside Python: births and deaths in the order the host
// uses, the log callback that keeps the engine's reports for tavelo.Error,
// and the host callback that turns progress polls into calls of a Python
// callable.
#include "engine.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "BEE.h"
#include "BM.h"
#include "Engine.h"
#include "FLT.h"
#include "M.h"
#include "MC.h"
#include "Memory.h"
#include "OM.h"
#include "PF.h"
#include "PIN.h"
#include "PLUG.h"
#include "Prefs.h"
#include "SND.h"
#include "U.h"
#include "VAL.h"
#include "desc_build.h"

namespace tvpy {
namespace {

constexpr uint32_t kHostMajor = 45;
constexpr ErrorCode kAborted = 517;
constexpr Severity kSevErrors = tv::kSevError | tv::kSevFatal | tv::kSevFailure;

ErrorCode Log(intptr_t, LocationCode location, Severity severity, const char* text) {
  std::string t = text ? text : "";
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
  // The engine prefixes "<program> <severity>: "; Python's message is the text.
  if (t.rfind("tavelo ", 0) == 0) {
    const size_t colon = t.find(": ");
    if (colon != std::string::npos && t.find(' ', 7) == colon + 1) t.erase(0, colon + 2);
  }
  // The engine shows a code without a text of its own in hexadecimal at
  // the end ("... (FFFFFFDC)."); Python users look codes up as the numbers
  // error.code holds. (System codes are shown as negative numbers already.)
  const bool stop = !t.empty() && t.back() == '.';
  const size_t close = t.size() - (stop ? 2 : 1);
  const size_t open = t.rfind(" (");
  if (open != std::string::npos && close < t.size() && t[close] == ')' && close > open + 2 && close - open - 2 <= 8) {
    const std::string hex = t.substr(open + 2, close - open - 2);
    if (hex.find_first_not_of("0123456789ABCDEF") == std::string::npos) {
      const auto code = static_cast<int32_t>(std::stoul(hex, nullptr, 16));
      t = t.substr(0, open) + " (code " + std::to_string(code) + ")" + (stop ? "." : "");
    }
  }
  S().reports.push_back({location, severity, t});
  return 0;
}

// Progress polls call the render's callable. A Python exception inside it
// cannot cross the engine: it is kept, the render is stopped, and the
// exception is raised again once the engine has returned.
ErrorCode HostCallback(intptr_t, int32_t selector, void* data) {
  State& s = S();
  if (selector != BEE_SelProgress && selector != BEE_SelMovieStatus) return 0;
  // Renders run without the interpreter's lock; the callable needs it.
  py::gil_scoped_acquire gil;
  if (!s.progress || s.progress.is_none()) return 0;
  if (s.stopped || s.pendingType) return 1;
  // A movie render's callable hears its status; the polls inside each frame
  // only carry a stop already asked for.
  if (s.movie != (selector == BEE_SelMovieStatus)) return 0;
  int32_t phase = 0, done = 0, total = 0;
  if (data && selector == BEE_SelMovieStatus) {
    const auto* m = static_cast<const BEE_MovieStatus*>(data);
    phase = m->status;
    done = m->framesDone;
    total = m->framesTotal;
  } else if (data) {
    const auto* p = static_cast<const BEE_Progress*>(data);
    phase = p->phase;
    done = p->done;
    total = p->total;
  }
  try {
    py::object answer = s.progress(phase, done, total);
    if (PyObject_IsTrue(answer.ptr()) == 1) s.stopped = true;
  } catch (py::error_already_set& e) {
    s.pendingType = e.type();
    s.pendingValue = e.value();
    s.pendingTrace = e.trace();
  }
  return s.stopped || s.pendingType ? 1 : 0;
}

void AbortProc() {}

std::string LastError() {
  const auto& r = S().reports;
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if (it->severity & kSevErrors) return it->text;
  return r.empty() ? std::string() : r.back().text;
}

uint32_t LastLocation() {
  const auto& r = S().reports;
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if (it->severity & kSevErrors) return it->location;
  return r.empty() ? 0 : r.back().location;
}

}  // namespace

State& S() {
  static State* state = new State();  // never destroyed: Python objects may outlive static destruction
  return *state;
}

void Fail(int32_t code, const std::string& message) { throw EngineError(code, 0, message, message); }
void BadValue(const std::string& message) { throw EngineError(3, 0, message, message, Blame::kValue); }
void BadType(const std::string& message) { throw EngineError(3, 0, message, message, Blame::kType); }

void Birth(const std::vector<std::string>& pluginFolders, int32_t threads, int64_t memoryBudget) {
  State& s = S();
  if (s.alive) Fail(12, "the engine is running already (one Engine at a time; close the other first)");
  Boolean32 uAlive = 0;
  TV_IsPackageAlive(U_PackageNumber, &uAlive);
  if (uAlive) Fail(12, "the engine's packages are alive already in this process");
  // Each engine has its own budget: one without a memory argument goes back
  // to the automatic one.
  if (EMUL_SetMemoryBudget(memoryBudget) != 0)
    Fail(3, "a memory budget is at least " + std::to_string(EMUL_MinMemoryBudget >> 20) + " MB");
  s.reports.clear();
  // Machine settings (memory budget, codecs) come from the preferences file
  // named by TAVELO_PREFS, as for the command-line host.
  if (const char* prefs = std::getenv("TAVELO_PREFS")) EMUL_SetTVPrefsFile(prefs);
  ErrorCode err = TV_BirthPackages("tavelo", nullptr, 0);
  if (err) Fail(err, "starting the engine failed (code " + std::to_string(err) + ")");
  U_SetLoggingCallback(&Log, 0);
  Up_SetInteract(0xFFFF0000u);  // log every severity, show no dialog
  const int32_t packages[] = {M_PackageNumber,  VAL_PackageNumber, BM_PackageNumber,  MC_PackageNumber,
                              OM_PackageNumber, PF_PackageNumber,  SND_PackageNumber, PIN_PackageNumber,
                              PLUG_PackageNumber, FLT_PackageNumber, BEE_PackageNumber};
  err = U_CheckVersions(tv::Location(0, 0), kHostMajor);
  if (!err) err = TV_BirthPackages("tavelo", packages, static_cast<int32_t>(std::size(packages)));
  if (err) {
    const std::string why = LastError();
    TV_DeathPackages();
    throw EngineError(err, 0, why, "starting the engine failed: " + why + " (code " + std::to_string(err) + ")");
  }
  s.alive = true;
  ++s.life;
  SetGrowZone(&MC_GrowZone);
  BEE_SetCallbackFunc(&HostCallback, 0);
  FLT_InstallProcs(1, &AbortProc);
  try {
    if (threads >= 0) Check(BEE_SetRenderThreads(threads), "setting the render threads");
    if (!pluginFolders.empty()) {
      std::vector<std::string> dirs;
      for (const std::string& d : pluginFolders) {
        std::error_code ec;
        if (!std::filesystem::is_directory(d, ec)) BadValue("plug-in folder \"" + d + "\" does not exist");
        dirs.push_back(std::filesystem::absolute(d, ec).lexically_normal().string());
      }
      std::vector<const char*> list;
      for (const std::string& d : dirs) list.push_back(d.c_str());
      list.push_back(nullptr);
      Check(FLTp_ScanPluginFolders(list.data(), 10), "scanning the plug-in folders");
    }
  } catch (...) {
    Death();
    throw;
  }
}

void Death() {
  State& s = S();
  if (!s.alive) return;
  BEE_SetCallbackFunc(nullptr, 0);
  SetGrowZone(nullptr);
  // U's death takes the log callback with it; U is not called after it.
  TV_DeathPackages();
  s.alive = false;
  s.reports.clear();
}

uint64_t ProjectToken(uint64_t life) { return (life << 32) | (S().project & 0xFFFFFFFFu); }

void Enter(uint64_t life) {
  State& s = S();
  const uint64_t birth = life >> 32 ? life >> 32 : life;
  if (!s.alive || s.life != birth)
    Fail(3, s.alive ? "this object belongs to an engine that was closed (a newer one is running)"
                    : "the engine is closed (this object belongs to an engine that was closed)");
  if (life >> 32 && (life & 0xFFFFFFFFu) != (s.project & 0xFFFFFFFFu))
    Fail(3,
         "this object belongs to a project that was closed: the engine has opened another since "
         "(engine.project is the open one)");
  // The engine is not re-entrant: a progress callable that calls in while
  // the render it watches is running is refused, and so is another thread
  // (renders let other Python threads run).
  if (s.busy && s.renderThread == std::this_thread::get_id())
    Fail(3, "the engine is rendering: a progress callable cannot call it");
  if (s.busy) Fail(3, "the engine is rendering in another thread: it takes one call at a time");
  s.reports.clear();
}

StepGroup::StepGroup(const char* name) { Check(BEE_StartGroup(name, 0), "starting the undo step"); }

StepGroup::~StepGroup() { BEE_EndGroup(); }

void Check(ErrorCode err, const std::string& what) {
  if (!err) return;
  State& s = S();
  if (err == kAborted && s.stopped) {
    s.reports.clear();
    throw EngineError(err, 0, "stopped by the progress callback", what + " was stopped by the progress callback");
  }
  std::string why = LastError();
  const uint32_t location = LastLocation();
  s.reports.clear();
  if (why.empty()) why = "the engine answered code " + std::to_string(err);
  // A report that names its code already (the engine's own code, shown by
  // Log as "(code N)") is not followed by it a second time.
  const std::string code = "(code " + std::to_string(err) + ")";
  const bool named = why.find(code) != std::string::npos;
  throw EngineError(err, location, why, what + " failed: " + why + (named ? "" : " " + code));
}

ProgressScope::ProgressScope(py::object callable, bool movie) {
  State& s = S();
  if (!callable.is_none() && !PyCallable_Check(callable.ptr())) BadType("progress must be a callable or None");
  s.progress = std::move(callable);
  s.stopped = false;
  s.busy = true;
  s.renderThread = std::this_thread::get_id();
  s.movie = movie;
  s.pendingType = s.pendingValue = s.pendingTrace = py::object();
}

ProgressScope::~ProgressScope() {
  State& s = S();
  s.busy = false;
  s.movie = false;
  s.progress = py::object();
  s.pendingType = s.pendingValue = s.pendingTrace = py::object();
}

void ProgressScope::Finish() {
  State& s = S();
  s.busy = false;
  if (!s.pendingType) return;
  PyErr_Restore(s.pendingType.release().ptr(), s.pendingValue.release().ptr(), s.pendingTrace.release().ptr());
  throw py::error_already_set();
}

Time ToTime(double seconds) {
  // Times are kept with a scale that holds every common frame rate's frames
  // (24, 25, 30, 48, 50, 60, 120 ...) exactly, as in project descriptions.
  constexpr double kScale = 24000;
  if (!std::isfinite(seconds) || std::fabs(seconds) > 86400.0)
    BadValue("a time must be a finite number of seconds within a day");
  return Time{static_cast<int32_t>(std::llround(seconds * kScale)), static_cast<uint32_t>(kScale)};
}

Time ToTime(double seconds, BEE_Layer layer) {
  ToTime(seconds);  // the same checks
  return tavelo::desc::TimeOfSeconds(seconds, tavelo::desc::FrameOfLayer(layer));
}

Time ToTime(double seconds, BEE_Item comp) {
  ToTime(seconds);  // the same checks
  Time frame{0, 1};
  if (BEE_GetCompFrameDuration(comp, &frame) != 0) frame = Time{0, 1};
  return tavelo::desc::TimeOfSeconds(seconds, frame);
}

uint32_t ColourOf(const py::object& colour) {
  uint32_t argb = 0;
  if (py::isinstance<py::str>(colour)) {
    if (!tavelo::desc::ParseColour(colour.cast<std::string>(), &argb))
      BadValue("a colour is an int 0xAARRGGBB or a string \"#rrggbb\" or \"#aarrggbb\"");
    return argb;
  }
  if (!py::isinstance<py::int_>(colour)) BadValue("a colour is an int 0xAARRGGBB or a string \"#rrggbb\" or \"#aarrggbb\"");
  const auto v = colour.cast<int64_t>();
  if (v < 0 || v > 0xFFFFFFFFLL) BadValue("a colour is an int from 0 to 0xFFFFFFFF (0xAARRGGBB)");
  return static_cast<uint32_t>(v);
}

double Seconds(Time t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0.0; }

}  // namespace tvpy
