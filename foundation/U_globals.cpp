// The guard and the settings kept in the U globals.
#include <cstdlib>
#include <cstring>

#include "Format.h"
#include "Memory.h"
#include "Package.h"
#include "Platform.h"
#include "U_internal.h"

namespace tv::u {

Handle gGlobals = nullptr;

void DirectDialog(Severity severity, const char* text, LocationCode location) {
  const Globals* g = G();
  const char* name = g && g->magic == kMagic ? g->name : "";
  char loc[64];
  fmt::FormatTo(loc, String(105), {LocationPackage(location), LocationSite(location)});
  char body[kDialogLimit + 1];
  fmt::FormatTo(body, "%s%s: %s\n\n%s", {name, SeverityWord(severity), text, loc});
  platform::ShowDialog(name, body, platform::Icon::Stop);
}

ErrorCode BadArgument(uint32_t site) {
  return Up_ReportVeskErrString(Location(U_PackageNumber, site), kSevError, kErrBadParam, "");
}

ErrorCode Guard(uint32_t site, const char* reportingText) {
  LocationCode loc = Location(U_PackageNumber, site);
  if (!gGlobals || !*gGlobals) {
    char text[U_MessageBufferSize + 64];
    if (reportingText)
      fmt::FormatTo(text, String(10), {reportingText});
    else
      fmt::CopyTo(text, String(9));
    DirectDialog(kSevFatal, text, loc);
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

ErrorCode U_GetGlobals(Handle* globals) {
  if (!globals) return BadArgument(kSiteGetGlobals);
  *globals = nullptr;
  if (ErrorCode err = Guard(kSiteGetGlobals)) return err;
  *globals = gGlobals;
  gGlobals = nullptr;
  pkg::SetAlive(U_PackageNumber, false);
  return 0;
}

ErrorCode U_SetGlobals(Handle* globals) {
  if (!globals || !*globals) return BadArgument(kSiteSetGlobals);
  if (!ValidGlobals(*globals)) {
    // A block that is not a living U globals block is refused; U stays as it was.
    DirectDialog(kSevFatal, String(11), Location(U_PackageNumber, kSiteSetGlobals));
    return kErrDamaged;
  }
  gGlobals = *globals;
  pkg::SetAlive(U_PackageNumber, true);
  return 0;
}

ErrorCode U_GetName(char* buffer) {
  if (buffer) buffer[0] = 0;
  if (ErrorCode err = Guard(kSiteGetName)) return err;
  if (!buffer) return BadArgument(kSiteGetName);
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
