// The interactive operations go through the host's callbacks; without them
// (the engine has no windows of its own) they answer as if cancelled.
#include <cstring>
#include <vector>

#include "FILE_internal.h"

namespace tv::file {
namespace {

FILE_HostProcs gProcs{};
bool gHaveProcs = false;
bool gNavEnabled = false;

}  // namespace

void ResetInteraction() {
  gProcs = FILE_HostProcs{};
  gHaveProcs = false;
  gNavEnabled = false;
}

bool LocateInteractive(const std::string& prompt, const std::string& missing, std::string* found) {
  if (!gHaveProcs || !gProcs.locate) return false;
  std::vector<char> path(FILE_MaxPath, 0);
  if (gProcs.locate(gProcs.refcon, prompt.c_str(), missing.c_str(), path.data()) != 0) return false;
  path.back() = 0;
  found->assign(path.data());
  return true;
}

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

namespace {

// A reference for a path the host chose; a path that is not absolute is refused.
ErrorCode FromChosen(const char* path, FILE_SpecH* ref) {
  return NewFromPath(std::string_view(path, ::strnlen(path, FILE_MaxPath - 1)), FILE_LocFullPath, kSiteInteract,
                     ref);
}

}  // namespace

ErrorCode FILE_SetHostProcs(const FILE_HostProcs* procs) try {
  gHaveProcs = procs != nullptr;
  gProcs = procs ? *procs : FILE_HostProcs{};
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_NavServicesAvailable(Boolean32* available) try {
  if (!available) return kReport.BadParam(kSiteInteract);
  *available = 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_EnableNavServices(Boolean32 enable) try {
  gNavEnabled = enable != 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DoOpenInteractiveSingle(const char* prompt, FILE_SpecH* ref) try {
  if (!ref) return kReport.BadParam(kSiteInteract);
  *ref = nullptr;
  if (!gHaveProcs || !gProcs.openSingle) return 0;
  std::vector<char> path(FILE_MaxPath, 0);
  if (gProcs.openSingle(gProcs.refcon, prompt ? prompt : "", path.data()) != 0) return 0;
  path.back() = 0;
  return FromChosen(path.data(), ref);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DoOpenInteractiveMultiple(const char* prompt, Handle* refs, int32_t* count) try {
  if (!refs || !count) return kReport.BadParam(kSiteInteract);
  *refs = nullptr;
  *count = 0;
  if (!gHaveProcs || !gProcs.openMultiple) return 0;
  constexpr int32_t kMaxPaths = 256;
  std::vector<char> paths(static_cast<size_t>(kMaxPaths) * FILE_MaxPath, 0);
  int32_t n = 0;
  if (gProcs.openMultiple(gProcs.refcon, prompt ? prompt : "", paths.data(), kMaxPaths, &n) != 0 || n <= 0) return 0;
  if (n > kMaxPaths) n = kMaxPaths;
  Handle h = NewHandleClear(static_cast<Size>(sizeof(FILE_SpecH)) * n);
  if (!h) return kReport.OutOfMemory(kSiteInteract, kStrReferenceListMemory, sizeof(FILE_SpecH) * n);
  std::vector<FILE_SpecH> made;
  for (int32_t i = 0; i < n; ++i) {
    char* p = paths.data() + static_cast<size_t>(i) * FILE_MaxPath;
    p[FILE_MaxPath - 1] = 0;
    FILE_SpecH r = nullptr;
    if (ErrorCode err = FromChosen(p, &r)) {
      for (FILE_SpecH m : made) FILE_Dispose(m);
      DisposeHandle(h);
      return err;
    }
    made.push_back(r);
  }
  std::memcpy(*h, made.data(), sizeof(FILE_SpecH) * made.size());
  *refs = h;
  *count = n;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DoSaveInteractive(const char* prompt, const char* defaultName, FILE_SpecH* ref) try {
  if (!ref) return kReport.BadParam(kSiteInteract);
  *ref = nullptr;
  if (!gHaveProcs || !gProcs.save) return 0;
  std::vector<char> path(FILE_MaxPath, 0);
  if (gProcs.save(gProcs.refcon, prompt ? prompt : "", defaultName ? defaultName : "", path.data()) != 0) return 0;
  path.back() = 0;
  return FromChosen(path.data(), ref);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CreateLocSaveInteractive(const char* prompt, const char* defaultName, FILE_SpecH* ref) try {
  if (!ref) return kReport.BadParam(kSiteInteract);
  *ref = nullptr;
  FILE_SpecH chosen = nullptr;
  if (ErrorCode err = FILE_DoSaveInteractive(prompt, defaultName, &chosen)) return err;
  if (!chosen) return 0;
  if (ErrorCode err = FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, chosen)) {
    FILE_Dispose(chosen);
    return err;
  }
  *ref = chosen;
  return 0;
} TV_CATCH(FILE_PackageNumber)
