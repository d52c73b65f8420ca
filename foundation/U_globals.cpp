// U birth and death, the guard, and the settings kept in the U globals.
#include <cstdlib>
#include <cstring>

#include "Format.h"
#include "Memory.h"
#include "Platform.h"
#include "U_internal.h"

namespace tv::u {

Handle gGlobals = nullptr;

namespace {

void FreeAll(Handle globals) {
  if (!globals) return;
  if (auto* g = reinterpret_cast<Globals*>(*globals)) {
    if (g->workA) DisposeHandle(g->workA);
    if (g->workB) DisposeHandle(g->workB);
    g->magic = g->magic2 = 0;
  }
  DisposeHandle(globals);
}

bool Valid(Handle h) {
  if (!h || !*h || GetHandleSize(h) < static_cast<int64_t>(sizeof(Globals))) return false;
  const auto* g = reinterpret_cast<const Globals*>(*h);
  return g->magic == kMagic && g->magic2 == kMagic;
}

}  // namespace

void DirectDialog(Severity severity, const char* text, LocationCode location) {
  const Globals* g = G();
  const char* name = g && g->magic == kMagic ? g->name : "";
  std::string body = fmt::Format("%s%s: %s", {name, SeverityWord(severity), text});
  std::string loc = fmt::Format(String(105), {LocationPackage(location), LocationSite(location)});
  body += "\n\n";
  body += loc;
  body.resize(fmt::Utf8Prefix(body, kDialogLimit));
  platform::ShowDialog(name, body, platform::Icon::Stop);
}

ErrorCode Guard(uint32_t site, const char* reportingText) {
  LocationCode loc = Location(U_PackageNumber, site);
  if (!gGlobals || !*gGlobals) {
    std::string text = reportingText ? fmt::Format(String(10), {reportingText}) : String(9);
    DirectDialog(kSevFatal, text.c_str(), loc);
    return U_ErrUnborn;
  }
  auto* g = reinterpret_cast<Globals*>(*gGlobals);
  if (g->magic != kMagic || g->magic2 != kMagic) {
    g->dead = 1;
    DirectDialog(kSevFatal, String(11), loc);
    return kErrDamaged;
  }
  return 0;
}

}  // namespace tv::u

using namespace tv;
using namespace tv::u;

ErrorCode U_Birth(const char* name, Boolean32 initToolbox) {
  if (gGlobals && *gGlobals) {
    // A second birth keeps the living globals (and their settings and count).
    return Up_ReportVeskErrString(Location(U_PackageNumber, kSiteBirth), kSevError, kErrBirth,
                                  "U package");
  }
  if (initToolbox) platform::InitToolbox();
  Handle globals = NewHandleClear(sizeof(Globals));
  Handle workA = globals ? NewHandleClear(kWorkBlockASize) : nullptr;
  Handle workB = workA ? NewHandleClear(kWorkBlockBSize) : nullptr;
  if (!globals || !workA || !workB) {
    if (workA) DisposeHandle(workA);
    if (globals) DisposeHandle(globals);
    char nameCopy[31] = {};
    fmt::CopyTo(nameCopy, name ? name : "");
    std::string text = fmt::Format("%s%s: %s", {nameCopy, String(3), String(12)});
    std::string loc = fmt::Format(String(105), {U_PackageNumber, kSiteBirth});
    platform::ShowDialog(nameCopy, text + "\n\n" + loc, platform::Icon::Stop);
    return kErrOutOfMemory;
  }
  auto* g = reinterpret_cast<Globals*>(*globals);
  g->magic = g->magic2 = kMagic;
  g->dead = 0;
  fmt::CopyTo(std::span<char>(g->name, 31), name ? name : "");
  g->logStream = nullptr;
  g->logCallback = nullptr;
  g->logCallbackData = 0;
  g->interactMask = U_InitialInteractMask;
  g->errorCount = 0;
  g->failAttitude = 0;
  g->workA = workA;
  g->workB = workB;
  gGlobals = globals;
  return 0;
}

ErrorCode U_Death(void) {
  if (ErrorCode err = Guard(kSiteDeath)) return err;
  Handle h = gGlobals;
  gGlobals = nullptr;
  FreeAll(h);
  return 0;
}

Boolean32 U_Die(void) {
  if (!gGlobals || !*gGlobals || !Valid(gGlobals)) {
    platform::Beep();
    platform::Beep();
    return 1;
  }
  return G()->dead != 0;
}

ErrorCode U_GetGlobals(Handle* globals) {
  if (!globals) return kErrBadParam;
  *globals = nullptr;
  if (ErrorCode err = Guard(kSiteGetGlobals)) return err;
  *globals = gGlobals;
  gGlobals = nullptr;
  return 0;
}

ErrorCode U_SetGlobals(Handle* globals) {
  if (!globals || !*globals) return kErrBadParam;
  if (!Valid(*globals)) {
    // A block that is not a living U globals block is refused; U stays as it was.
    DirectDialog(kSevFatal, String(11), Location(U_PackageNumber, kSiteSetGlobals));
    return kErrDamaged;
  }
  gGlobals = *globals;
  return 0;
}

ErrorCode U_GetName(char* buffer) {
  if (buffer) buffer[0] = 0;
  if (ErrorCode err = Guard(kSiteGetName)) return err;
  if (!buffer) return kErrBadParam;
  fmt::CopyTo(std::span<char>(buffer, U_NameBufferSize), G()->name);
  return 0;
}

ErrorCode U_SetFailAttitude(int32_t value, int32_t* old) {
  if (old) *old = 0;
  if (ErrorCode err = Guard(kSiteFailAttitude)) return err;
  if (old) *old = G()->failAttitude;
  G()->failAttitude = value;
  return 0;
}

ErrorCode U_GetFailAttitude(int32_t* value) {
  if (value) *value = 0;
  if (ErrorCode err = Guard(kSiteFailAttitude)) return err;
  if (value) *value = G()->failAttitude;
  return 0;
}

ErrorCode Up_SetInteract(uint32_t mask) {
  if (ErrorCode err = Guard(kSiteInteract)) return err;
  G()->interactMask = mask;
  return 0;
}

ErrorCode Up_GetInteract(uint32_t* mask) {
  if (mask) *mask = 0;
  if (ErrorCode err = Guard(kSiteInteract)) return err;
  if (mask) *mask = G()->interactMask;
  return 0;
}

ErrorCode U_SetLoggingOutput(FILE* stream) {
  if (ErrorCode err = Guard(kSiteLogging)) return err;
  G()->logStream = stream;
  return 0;
}

ErrorCode U_GetLoggingOutput(FILE** stream) {
  if (stream) *stream = nullptr;
  if (ErrorCode err = Guard(kSiteLogging)) return err;
  if (stream) *stream = G()->logStream;
  return 0;
}

ErrorCode U_SetLoggingCallback(U_LogCallback function, intptr_t data) {
  if (ErrorCode err = Guard(kSiteLogging)) return err;
  G()->logCallback = function;
  G()->logCallbackData = data;
  return 0;
}

ErrorCode U_GetLoggingCallback(U_LogCallback* function, intptr_t* data) {
  if (function) *function = nullptr;
  if (data) *data = 0;
  if (ErrorCode err = Guard(kSiteLogging)) return err;
  if (function) *function = G()->logCallback;
  if (data) *data = G()->logCallbackData;
  return 0;
}

ErrorCode U_GetHowManyErrors(int32_t* count) {
  if (count) *count = 0;
  if (ErrorCode err = Guard(kSiteErrorCount)) return err;
  if (count) *count = G()->errorCount;
  return 0;
}
