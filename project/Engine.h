// The engine's births and deaths: every package a host, a test or a benchmark
// needs is born in dependency order from the package table, and killed in
// reverse order.
//
// What callers may rely on:
// - TV_BirthPackages births U (named `name`) unless it is alive, then each
//   listed package after the packages its birth needs, each package once.
//   Packages already alive are left as they are and are not killed by
//   TV_DeathPackages. M is born with its fast trigonometric and 8-bit tables,
//   BM in mode 0.
// - When a birth fails, the packages this call birthed are killed again in
//   reverse order and the failure's code is returned; the failing package
//   reported it (U, which cannot report before it lives, shows its dialog).
// - TV_DeathPackages kills, in reverse order of birth, every package the
//   births made that is still alive; when that includes U, the installed
//   string tables are freed too.
// - Package numbers are those of the package table (U 23, M 17, ...).
#pragma once

#include "Types.h"

// Births U and the listed packages (count numbers; packages may be null when
// count is 0). 0; 3 (reported) for a package the engine cannot birth or a
// negative count; or the failing birth's code.
TV_EXPORT ErrorCode TV_BirthPackages(const char* name, const int32_t* packages, int32_t count);
// Kills what TV_BirthPackages birthed; 0 or the first failing death's code.
TV_EXPORT ErrorCode TV_DeathPackages(void);
// Whether package `number` is alive; *alive is 0 on failure (3: null alive).
TV_EXPORT ErrorCode TV_IsPackageAlive(int32_t number, Boolean32* alive);

// For a host's handler of a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT); async-signal-safe, allocates nothing. Writes what the engine was
// doing to descriptor fd, one line per known item, each "<prefix>plug-in:
// <file>", "<prefix>effect: <name>", "<prefix>layer: <name> in <composition>",
// "<prefix>frame: <time>"; removes the temporary files of writes under way
// (whatever had their final names stays as it was) and the frame
// reservations this process holds; *inPlugin (may be null) tells whether an
// effect plug-in was being called. 3 for a null prefix.
TV_EXPORT ErrorCode TV_ReportCrash(int32_t fd, const char* prefix, Boolean32* inPlugin);

#ifdef __cplusplus
#include <span>

namespace tv::engine {

// A package built into the engine: its version operations and, for packages
// that have them, its birth and death (with the engine's arguments).
struct Entry {
  const char* name;
  int32_t number;
  uint32_t (*version)();
  ErrorCode (*check)(LocationCode location, int32_t expectedMajor);
  ErrorCode (*birth)();
  ErrorCode (*death)();
};

// Every package of this engine, in number order.
std::span<const Entry> Packages();
const Entry* FindEntry(int32_t number);

}  // namespace tv::engine
#endif
