// The engine's part of a crash report (see Engine.h).
#include "AtomicFile.h"
#include "Engine.h"
#include "InFlight.h"

ErrorCode TV_ReportCrash(int32_t fd, const char* prefix, Boolean32* inPlugin) {
  if (inPlugin) *inPlugin = 0;
  if (!prefix) return tv::kErrBadParam;
  tv::platform::WriteInFlight(fd, prefix);
  tv::platform::RemoveTemporariesNow();
  if (inPlugin) *inPlugin = tv::platform::PluginCallInFlight() ? 1 : 0;
  return 0;
}
