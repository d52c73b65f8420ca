// The math services: the fast trigonometry table and the fast 8-bit
// multiply/divide tables, kept in purgeable handles, rebuilt after a purge
// and locked while prepared.
#include <cmath>
#include <cstring>

#include "M_fixed_internal.h"
#include "M_tables_internal.h"
#include "Memory.h"

namespace tv::m {
namespace {

struct Service {
  const char* name;         // in the "unrequested" report
  const char* unavailable;  // reported when the table cannot be had
  const char* unprepare;    // reported by an unprepare without prepare
  Size bytes;
  void (*fill)(char* block);
  uint32_t unrequestedSite, unavailableSite, unprepareSite;
  Handle handle = nullptr;
  int32_t nesting = 0;
  bool locked = false;
};

void FillTrig(char* block) {
  FpShort values[M_FastTrigEntries];
  for (int i = 0; i < M_FastTrigEntries; ++i)
    values[i] = static_cast<FpShort>(std::sin(i / 255.0 * (M_PI / 2)));
  std::memcpy(block, values, sizeof values);
}

void FillCharMath(char* block) {
  auto* mul = reinterpret_cast<uint8_t*>(block);
  FillCharMathTables(mul, mul + 65536);
}

Service gTrig{"fast trig", "fast trig will be unavailable.", "Fast Trig unprepare without prepare.",
              M_FastTrigBytes, FillTrig, kSiteTrigUnrequested, kSiteTrigUnavailable, kSiteTrigUnprepare};
Service gCharMath{"fast char math", "fast character math will be unavailable.",
                  "FCMD unprepare without prepare.", M_FastCharMathBytes, FillCharMath,
                  kSiteCharMathUnrequested, kSiteCharMathUnavailable, kSiteCharMathUnprepare};

ErrorCode Build(Service& s) {
  Handle h = NewHandle(s.bytes);
  if (!h || !*h) {
    if (h) DisposeHandle(h);
    return kReport.OutOfMemory(kSiteTableMemory, s.name, static_cast<uint64_t>(s.bytes));
  }
  s.fill(*h);
  HPurge(h);
  s.handle = h;
  s.nesting = 0;
  s.locked = false;
  return 0;
}

void Free(Service& s) {
  if (s.handle) {
    if (s.locked) HUnlock(s.handle);
    DisposeHandle(s.handle);
  }
  s.handle = nullptr;
  s.nesting = 0;
  s.locked = false;
}

// The table's block, rebuilt when it was purged (unless noRebuild), or null.
char* Resident(Service& s, bool noRebuild) {
  if (*s.handle) return *s.handle;
  if (noRebuild) return nullptr;
  ReallocateHandle(s.handle, s.bytes);
  if (MemError() != 0 || !*s.handle || GetHandleSize(s.handle) != s.bytes) return nullptr;
  s.fill(*s.handle);
  HPurge(s.handle);  // the rebuilt block stays purgeable once unlocked
  return *s.handle;
}

ErrorCode Prepare(Service& s, bool report, bool noRebuild, Boolean32* available, const char** block) {
  if (available) *available = false;
  if (block) *block = nullptr;
  if (!s.handle) return ReportCode(s.unrequestedSite, M_ErrUnrequestedService, s.name);
  ++s.nesting;
  // The first prepare (or one after a failed first prepare) brings the table
  // in and locks it; nested prepares find it locked.
  if (!s.locked) {
    if (Resident(s, noRebuild)) {
      HLockHi(s.handle);
      s.locked = true;
    }
  }
  if (!s.locked) {
    if (report) return kReport.Message(s.unavailableSite, kSevError, kErrOutOfMemory, s.unavailable);
    return 0;
  }
  if (available) *available = true;
  if (block) *block = *s.handle;
  return 0;
}

ErrorCode Unprepare(Service& s) {
  if (s.nesting <= 0) return kReport.Message(s.unprepareSite, kSevError, kErrBadParam, s.unprepare);
  if (--s.nesting == 0 && s.locked) {
    HUnlock(s.handle);
    s.locked = false;
  }
  return 0;
}

}  // namespace

void FillCharMathTables(uint8_t* multiply, uint8_t* divide) {
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      multiply[a * 256 + b] = static_cast<uint8_t>((a * b + 127) / 255);
      uint8_t d = 255;
      if (a > 0 && b <= a) d = static_cast<uint8_t>((b * 255 + a / 2) / a);
      if (a == 0 && b == 0) d = 0;
      divide[a * 256 + b] = d;
    }
}

ErrorCode BuildTables(int32_t flags, int32_t* granted) {
  ErrorCode result = 0;
  if (flags & M_ServiceNone) *granted |= M_ServiceNone;
  if (flags & M_ServiceFastTrig) {
    ErrorCode err = Build(gTrig);
    if (err == 0)
      *granted |= M_ServiceFastTrig;
    else if (result == 0)
      result = err;
  }
  if (flags & M_ServiceFastCharMath) {
    ErrorCode err = Build(gCharMath);
    if (err == 0)
      *granted |= M_ServiceFastCharMath;
    else if (result == 0)
      result = err;
  }
  return result;
}

void FreeTables() {
  Free(gTrig);
  Free(gCharMath);
}

}  // namespace tv::m

using namespace tv::m;

ErrorCode M_PrepareFTrig(Boolean32 report, Boolean32 noRebuild, Boolean32* available, const FpShort** table) {
  const char* block = nullptr;
  ErrorCode err = Prepare(gTrig, report, noRebuild, available, &block);
  if (table) *table = reinterpret_cast<const FpShort*>(block);
  return err;
}

ErrorCode M_UnprepareFTrig(void) { return Unprepare(gTrig); }

ErrorCode M_PrepareFCMD(Boolean32 report, Boolean32 noRebuild, Boolean32* available,
                        const uint8_t** multiplyTable, const uint8_t** divideTable) {
  const char* block = nullptr;
  ErrorCode err = Prepare(gCharMath, report, noRebuild, available, &block);
  const auto* bytes = reinterpret_cast<const uint8_t*>(block);
  if (multiplyTable) *multiplyTable = bytes;
  if (divideTable) *divideTable = bytes ? bytes + 65536 : nullptr;
  return err;
}

ErrorCode M_UnprepareFCMD(void) { return Unprepare(gCharMath); }

ErrorCode Mp_GetTableHandles(Handle* trig, Handle* charMath) {
  if (trig) *trig = gTrig.handle;
  if (charMath) *charMath = gCharMath.handle;
  return 0;
}
