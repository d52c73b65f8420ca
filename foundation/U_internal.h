// Package-private state of U: the globals block, the last-error record and
// the guard every guarded U operation runs first.
#pragma once

#include <cstdio>

#include "U.h"

namespace tv::u {

constexpr uint32_t kMagic = 0x11868;
constexpr size_t kWorkBlockASize = 244;
constexpr size_t kWorkBlockBSize = 72;
constexpr size_t kReportCut = 240;    // longest reported text, prefix included
constexpr size_t kDialogLimit = 512;  // longest dialog text

struct Globals {
  uint32_t magic;
  uint8_t dead;
  char name[31];
  FILE* logStream;
  U_LogCallback logCallback;
  intptr_t logCallbackData;
  uint32_t interactMask;
  int32_t errorCount;
  int32_t failAttitude;
  Handle workA;
  Handle workB;
  uint32_t magic2;
};

struct LastError {
  char text[U_MessageBufferSize];
  ErrorCode code;
  LocationCode location;
  int16_t severity;
};

// Site numbers of U's reports and guards.
enum Site : uint32_t {
  kSiteGetName = 1,
  kSiteDeath = 2,
  kSiteBirth = 3,
  kSiteFailAttitude = 4,
  kSiteInteract = 5,
  kSiteLogging = 6,
  kSiteErrorCount = 7,
  kSiteGetGlobals = 8,
  kSiteSetGlobals = 9,
  kSiteLastError = 10,
  kSiteDeferred = 11,
  kSiteAssert = 12,
  kSiteReport = 13,
  kSiteVerification = 14,
  kSiteSetStringCallback = 15,
  kSiteRandErr = 16,
  kSiteEnvironment = 17,
  kSiteDebug = 18,
  kSiteVersion = 19,
  kSiteArgument = 20,  // a null out-pointer or another bad argument
};

extern Handle gGlobals;
extern LastError gLast;
extern int gReportNesting;

// The globals block, or null when unborn. Only for use after Guard() passed.
inline Globals* G() { return gGlobals && *gGlobals ? reinterpret_cast<Globals*>(*gGlobals) : nullptr; }

// Checks the globals: missing gives U_ErrUnborn, damaged gives 2 and sets the
// dead flag; both are shown directly in a dialog (never through the report
// path). reportingText, when given, is the text that was being reported.
ErrorCode Guard(uint32_t site, const char* reportingText = nullptr);

// Shows a dialog straight away, composed like a report ("name word: text" and
// the location line) but without counting or logging it.
void DirectDialog(Severity severity, const char* text, LocationCode location);

const char* String(int32_t index);
// U's form of the one bad-argument rule: code 3 reported once at (23, site).
ErrorCode BadArgument(uint32_t site);
// A living U globals block: big enough, both magic words intact.
bool ValidGlobals(Handle h);
const char* SeverityWord(Severity severity);

}  // namespace tv::u
