// U's package frame: its version operations, birth and death, the U string
// table and the English texts of general and platform codes.
#include <array>
#include <string_view>

#include "Format.h"
#include "Memory.h"
#include "Package.h"
#include "Platform.h"
#include "U.h"
#include "U_internal.h"

namespace tv::u {
namespace {

constexpr std::array<const char*, U_StringCount> kStrings = {
    "",                                             // 0
    " warning",                                     // 1
    " error",                                       // 2
    " can't continue",                              // 3
    "%s at line %d in file \"%s\".",                // 4
    "unable to allocate %ld bytes for %s.",         // 5
    "not enough memory to create %s.  (%ldK requested)",  // 6
    "not enough memory to create %s.\n(%ldK requested, %ldK available)",  // 7
    "unable to load resource ID %ld",               // 8
    "null internal structures.",                    // 9
    "Error reporting error: %s",                    // 10
    "Internal structures damaged.",                 // 11
    "out of memory while trying to U_Birth",        // 12
    "bad parameter passed to U_DoModalDlgP",        // 13
    "loading resource",                             // 14
    // 15-39: platform texts for -33 ... -203 and -5551
    "directory full", "disk is full", "no such volume", "disk error (I/O error; bad media)",
    "bad file name", "file not open", "unexpected end-of-file", "too many files are open",
    "file not found", "disk is write protected", "file is locked", "volume is locked",
    "file is busy (delete)", "duplicate filename", "file is already open",
    "bad file reference-number", "you do not have permission to open this file",
    "write permissions problem", "out of memory", "no such directory",
    "server volume has disconnected", "color table entry protection has been violated",
    "invalid type of graphics device", "sound queue is full",
    "an undefined code was passed to Gestalt",
    // 40-50: general codes 0 and 2 to 11
    "no error occurred", "internal structure damaged", "a bad parameter was passed",
    "out of memory", "sorry, this is unimplemented", "resource is missing or damaged",
    "header is out of date", "unsupported in this environment", "unsupported document version",
    "internal value out of range", "multiple or corrupted death",
    "invalid severity code",                        // 51
    "Your string is too long.",                     // 52
    "assertion failed\n%s\nline: %ld of file: %s.", // 53
    "bad version architecture",                     // 54
    // 55-65: platform names
    "Macintosh", "SPARC", "PC", "SGI", "RS/6000", "DEC", "HP", "HP/700", "Win32",
    "Power Macintosh", "unknown",
    "resizing block",                               // 66
    "invalid memory block",                         // 67
    "resizing handle",                              // 68
    "resizing pointer",                             // 69
    "bad parameter",                                // 70
    "resource not found",                           // 71
    // 72-82: QuickTime texts
    "can't find QuickTime handler", "can't open QuickTime handler", "no QuickTime data handler",
    "invalid QuickTime media", "invalid QuickTime movie", "invalid QuickTime duration",
    "invalid QuickTime time", "QuickTime not initialized", "bad QuickTime track index",
    "no QuickTime movie found", "bad QuickTime data reference",
    // 83-88: code fragment texts
    "code fragment connection not found", "code fragment symbol not found",
    "code fragment library not found", "code fragment duplicate name",
    "code fragment library too old", "code fragment library too new",
    "AppleTalk access denied",                      // 89
    "QuickTime error",                              // 90
    "code fragment error",                          // 91
    " debug info",                                  // 92
    "getting size of handle",                       // 93
    "swapping handle data",                         // 94
    // 95-100: codec texts
    "missing QuickTime codec", "QuickTime codec abort error", "QuickTime codec bad data error",
    "QuickTime codec data version error", "QuickTime codec extension not found",
    "QuickTime codec condition error",
    "QuickTime codec error",                        // 101
    "QuickTime digitizing error",                   // 102
    "QuickTime controller error",                   // 103
    "OK",                                           // 104
    "( %d :: %d )",                                 // 105
    " -- ",                                         // 106
    "%s%s%s.",                                      // 107
    "%s -- %s (%ld).",                              // 108
    "%s (%ld).",                                    // 109
    "internal verification failure, sorry! {^1}",   // 110
    "Verification failure: ^1 {^2}",                // 111
};

// Code 12 has no slot of its own in the table (slots 40 to 50 hold codes 0 and
// 2 to 11), so its text cannot be replaced through the string callback.
constexpr const char* kMultipleBirths = "multiple births";

struct PlatformText {
  ErrorCode code;
  int16_t index;
};
constexpr PlatformText kPlatformTexts[] = {
    {-33, 15},   {-34, 16},   {-35, 17},   {-36, 18},   {-37, 19},   {-38, 20},   {-39, 21},
    {-42, 22},   {-43, 23},   {-44, 24},   {-45, 25},   {-46, 26},   {-47, 27},   {-48, 28},
    {-49, 29},   {-50, 70},   {-51, 30},   {-54, 31},   {-61, 32},   {-108, 33},  {-111, 67},
    {-120, 34},  {-124, 35},  {-154, 36},  {-155, 37},  {-192, 71},  {-203, 38},  {-2003, 72},
    {-2004, 73}, {-2007, 74}, {-2008, 75}, {-2010, 76}, {-2014, 77}, {-2015, 78}, {-2020, 79},
    {-2028, 80}, {-2048, 81}, {-2050, 82}, {-2801, 83}, {-2802, 84}, {-2804, 85}, {-2805, 86},
    {-2813, 87}, {-2814, 88}, {-5000, 89}, {-5551, 39}, {-8961, 95}, {-8967, 96}, {-8969, 97},
    {-8970, 98}, {-8971, 99}, {-8972, 100},
};

struct PlatformRange {
  ErrorCode low, high;
  int16_t index;
};
constexpr PlatformRange kPlatformRanges[] = {
    {-2058, -2000, 90}, {-2899, -2800, 91}, {-8976, -8960, 101},
    {-9408, -9400, 102}, {-9999, -9994, 103},
};

U_StringCallback gStringCallback = nullptr;
intptr_t gStringCallbackData = 0;

void FreeAll(Handle globals) {
  if (!globals) return;
  if (auto* g = reinterpret_cast<Globals*>(*globals)) {
    if (g->workA) DisposeHandle(g->workA);
    if (g->workB) DisposeHandle(g->workB);
    g->magic = g->magic2 = 0;
  }
  DisposeHandle(globals);
}

}  // namespace

bool ValidGlobals(Handle h) {
  if (!h || !*h || GetHandleSize(h) < static_cast<int64_t>(sizeof(Globals))) return false;
  const auto* g = reinterpret_cast<const Globals*>(*h);
  return g->magic == kMagic && g->magic2 == kMagic;
}

const char* String(int32_t index) {
  if (index < 0 || index >= U_StringCount) return "unknown string";
  if (gStringCallback) {
    if (const char* s = gStringCallback(gStringCallbackData, index)) return s;
  }
  return kStrings[static_cast<size_t>(index)];
}

}  // namespace tv::u

using namespace tv;
using namespace tv::u;

TV_PACKAGE_VERSION_OPS(U, U_PackageNumber)

ErrorCode U_Birth(const char* name, Boolean32 initToolbox) {
  if (gGlobals && *gGlobals) {
    // A second birth keeps the living globals (and their settings and count).
    return tv::report::Code(Location(U_PackageNumber, kSiteBirth), kSevError, kErrBirth, "U package");
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
    char loc[64];
    fmt::FormatTo(loc, String(105), {U_PackageNumber, kSiteBirth});
    char text[kDialogLimit + 1];
    fmt::FormatTo(text, "%s%s: %s\n\n%s", {nameCopy, String(3), String(12), loc});
    platform::ShowDialog(nameCopy, text, platform::Icon::Stop);
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
  pkg::SetAlive(U_PackageNumber, true);
  return 0;
}

ErrorCode U_Death(void) {
  if (ErrorCode err = Guard(kSiteDeath)) return err;
  Handle h = gGlobals;
  gGlobals = nullptr;
  pkg::SetAlive(U_PackageNumber, false);
  FreeAll(h);
  return 0;
}

Boolean32 U_Die(void) {
  if (!gGlobals || !*gGlobals || !ValidGlobals(gGlobals)) {
    platform::Beep();
    platform::Beep();
    return 1;
  }
  return G()->dead != 0;
}

const char* Up_GetString(int32_t index) { return String(index); }

ErrorCode U_SetStringCallback(U_StringCallback callback, intptr_t data) {
  if (ErrorCode err = Guard(kSiteSetStringCallback)) return err;
  gStringCallback = callback;
  gStringCallbackData = data;
  return 0;
}

const char* U_GetErrEnglish(ErrorCode code) {
  if (code == 0) return String(40);
  if (code >= 2 && code <= 11) return String(41 + (code - 2));
  if (code == 12) return kMultipleBirths;
  return "";
}

const char* U_GetSysEnglish(ErrorCode platformCode) {
  for (const auto& t : kPlatformTexts)
    if (t.code == platformCode) return String(t.index);
  for (const auto& r : kPlatformRanges)
    if (platformCode >= r.low && platformCode <= r.high) return String(r.index);
  return "";
}

ErrorCode Up_GetPackageInfo(int32_t index, const char** name, int32_t* number, uint32_t* version) {
  const auto all = tv::pkg::All();
  const bool inside = index >= 0 && static_cast<size_t>(index) < all.size();
  const tv::pkg::Info* info = inside ? all.begin() + index : nullptr;
  if (name) *name = info ? info->name : nullptr;
  if (number) *number = info ? info->number : 0;
  if (version) *version = info ? info->version : 0;
  return info ? 0 : tv::kErrRange;
}
