// The memory budget: physical memory, the settings, the ceiling and the
// pre-purge level, the process memory measure, the budget check for large
// blocks and the purge ladder with the grow-zone procedure.
#include <malloc.h>
#include <unistd.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Platform.h"
#include "Prefs.h"
#include "memory_internal.h"

int32_t gWin32S = 0;
int32_t gEmbeddingOLE = 0;

namespace tv::mem {
namespace {

constexpr Size kLevelFloor = 29360128;        // 28 MB
constexpr Size kAccountingBase = 0x1200000;   // 18 MB
constexpr Size kWin32sPhysical = 0xA00000;    // 10 MB
constexpr Size kWin32sLargest = 0x00FE0000;
constexpr Size kDefaultReserveExtra = 0x592000;
constexpr const char* kSection = TV_PREFS_SECTION;

// The manager reads and writes its settings without throwing: a setting that
// cannot be read while memory is short takes its default, one that cannot be
// written stays as it was.
int32_t SettingInt(const char* key, int32_t defaultValue) {
  try {
    return platform::prefs::GetInt(kSection, key, defaultValue);
  } catch (...) {
    return defaultValue;
  }
}
int32_t RequiredSettingInt(const char* key, int32_t defaultValue) {
  try {
    return platform::prefs::GetRequiredInt(kSection, key, defaultValue);
  } catch (...) {
    return defaultValue;
  }
}
void StoreSetting(const char* key, int64_t value) {
  try {
    platform::prefs::SetInt(kSection, key, value);
  } catch (...) {
  }
}

struct Budget {
  GrowZoneProcPtr growZone = nullptr;
  int32_t purgeNesting = 0;
  int32_t inhibit = 0;
  Size outsideBytes = 0;
  int64_t outsideCount = 0;
  int64_t outsidePeak = 0;
  int64_t purgeSweeps = 0;
  int64_t purgedBlocks = 0;
  int64_t growZoneCalls = 0;
  // levels, read on first need
  bool levelsKnown = false;
  Size ceiling = 0;
  Size prePurge = 0;
  // settings read once
  bool trackKnown = false;
  bool track = true;
  bool firstBudgetDone = false;
  Size budgetKB = 0;
  Size usagePercent = 0;
  // test injection
  Size physicalOverride = 0;
  EMUL_ProcessMemoryProbe probe = nullptr;
  // the last reading of the process counters and the zone bytes at the time
  bool sampleValid = false;
  Size sampleBytes = 0;
  Size sampleZoneBytes = 0;
  int64_t sampleTime = 0;
  int64_t lastTrim = 0;
  bool oneTimeMoreMasters = false;
  bool oneTimeGetLimit = false;
  bool oneTimeSetLimit = false;
};
constinit Budget b;

// A coarse monotonic clock: a few nanoseconds to read, a few milliseconds of
// resolution, which is all the sampling of the process counters needs.
int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

Size SystemPhysical() {
  long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
  Size p = pages > 0 && page > 0 ? Size{pages} * page : Size{1} << 30;
  // A container's memory limit is the physical memory this process may use.
  for (const char* file : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
    if (FILE* f = std::fopen(file, "r")) {
      char buf[64] = {};
      if (std::fgets(buf, sizeof buf, f)) {
        char* end = nullptr;
        long long limit = std::strtoll(buf, &end, 10);
        if (end != buf && limit > 0 && limit < p) p = limit;
      }
      std::fclose(f);
    }
  }
  return p;
}

Size Physical() {
  if (b.physicalOverride > 0) return b.physicalOverride;
  static Size system = SystemPhysical();
  return system;
}

// Resident bytes from /proc/self/statm, or -1 when it cannot be read.
int64_t StatmProbe() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  long long size = 0, resident = 0;
  int n = std::fscanf(f, "%lld %lld", &size, &resident);
  std::fclose(f);
  if (n != 2) return -1;
  return static_cast<int64_t>(resident) * sysconf(_SC_PAGE_SIZE);
}

Size ZoneBytes() { return GlobalZone().bytes + HeapZoneBytesUsed(); }

// The accounting measure. It counts the heap zones too: without them any
// number of small blocks would stay invisible to the budget.
Size AccountingMeasure() { return b.outsideBytes + ZoneBytes() + kAccountingBase; }

// Current process memory. The process counters are read at most every 10 ms
// (or after 16 MB of change) in between the bytes the zones gained or lost
// are added to the last reading; `fresh` forces a reading.
Size CurrentMemory(bool fresh) {
  if (!b.trackKnown) {
    b.track = RequiredSettingInt("TrackMemoryWithGPMI", 1) != 0;
    b.trackKnown = true;
  }
  if (!b.track) return AccountingMeasure();
  if (b.probe) {
    int64_t v = b.probe();
    return v >= 0 ? v : AccountingMeasure();
  }
  Size zones = ZoneBytes();
  int64_t now = NowMs();
  Size drift = zones - b.sampleZoneBytes;
  if (fresh || !b.sampleValid || now - b.sampleTime >= 10 || drift > 16 * kMegabyte || drift < -16 * kMegabyte) {
    int64_t v = StatmProbe();
    if (v < 0) return AccountingMeasure();
    b.sampleValid = true;
    b.sampleBytes = v;
    b.sampleZoneBytes = zones;
    b.sampleTime = now;
    return v;
  }
  return b.sampleBytes + drift;
}

Size LevelFromPercent(double percent) {
  double bytes = percent * static_cast<double>(Physical()) / 100.0;
  // Levels are 64-bit: only the 28 MB floor applies.
  if (!(bytes >= static_cast<double>(kLevelFloor))) return kLevelFloor;
  if (bytes >= 9.0e18) return INT64_MAX;
  return static_cast<Size>(bytes);
}

int32_t RequiredPercent(const char* key, int32_t defaultValue) {
  int32_t v = RequiredSettingInt(key, defaultValue);
  if (v < 25) {
    v = 25;
    StoreSetting(key, v);
  }
  return v;
}

void EnsureLevels() {
  if (b.levelsKnown) return;
  int32_t maxUse = RequiredPercent("MaxMemoryUsePercentage", 140);
  int32_t beforePurge = RequiredPercent("MaxMemoryBeforePurgePercentage", 70);
  b.ceiling = LevelFromPercent(maxUse);
  b.prePurge = std::min(LevelFromPercent(beforePurge), b.ceiling);
  b.levelsKnown = true;
}

void OneTimeLine(bool& done, const char* call) {
  if (done) return;
  done = true;
  platform::DebugOutput(std::string(call) + " called (Memory.c)");
}

}  // namespace

void CountPurge(int64_t blocks) { b.purgedBlocks += blocks; }

bool Win32sRefuses(Size n) { return gWin32S && n >= kWin32sLargest; }

bool PurgeStep(Ladder& ladder, Size wanted) {
  if (b.purgeNesting > 0) return false;  // a purge is already running further up
  ++b.purgeNesting;
  bool more = false;
  if (ladder.count == 0) {
    ++b.purgeSweeps;
    PurgeAllZones();
    int64_t now = NowMs();
    if (now - b.lastTrim >= 1000) {  // giving freed memory back costs milliseconds
      b.lastTrim = now;
      malloc_trim(0);
    }
    more = true;
  } else if (ladder.count <= 5) {
    if (b.growZone) {
      ++b.growZoneCalls;
      more = b.growZone(wanted) != 0;
    }
  }
  ++ladder.count;
  --b.purgeNesting;
  return more;
}

bool PurgeBytes(Size m, Ladder& ladder) {
  Size start = CurrentMemory(true);
  for (;;) {
    if (!PurgeStep(ladder, m)) return false;
    if (start - CurrentMemory(true) >= m) return true;
  }
}

bool BudgetCheck(Size n, Ladder& ladder) {
  if (n <= kSmallLimit || b.inhibit > 0) return true;
  EnsureLevels();
  Size current = CurrentMemory(false);
  if (current + n > b.prePurge) {
    PurgeBytes(current + n - b.prePurge + kMegabyte, ladder);
    current = CurrentMemory(true);
  }
  return current + n <= b.ceiling;
}

void ResetBudgetState() {
  b.levelsKnown = false;
  b.trackKnown = false;
  b.firstBudgetDone = false;
  b.budgetKB = 0;
  b.usagePercent = 0;
  b.sampleValid = false;
}

}  // namespace tv::mem

using namespace tv;
using namespace tv::mem;

Size FreeMem(void) {
  // All budget arithmetic is signed 64-bit: a reserve larger than physical
  // memory gives a negative figure that the 1 MB floor catches, never a
  // wrapped-around huge budget.
  Size physical;
  if (gWin32S) {
    physical = kWin32sPhysical;
  } else {
    int32_t appKB = SettingInt("ApplicationMemory", 0);
    physical = appKB > 0 ? Size{appKB} * 1024 : Physical();
  }
  StoreSetting("FreeB4SlopAdjust", physical);
  Size usage = RequiredSettingInt("MemoryUsage", 50);
  if (usage <= 0 || usage > 100) {  // negative values are as meaningless as 0
    usage = 50;
    StoreSetting("MemoryUsage", 50);
  }
  Size reserve;
  int32_t baseKB = SettingInt("BaseReserve", 0);
  int32_t slopKB = SettingInt("Slop", 0);
  if (baseKB != 0) reserve = Size{baseKB} * 1024;
  else if (slopKB != 0) reserve = Size{slopKB} * 1024 + physical / 12;
  else reserve = physical / 12 + kDefaultReserveExtra;
  Size available = physical - reserve;
  Size budget;
  if (available < kMegabyte) {
    budget = kMegabyte;
    usage = 100;
  } else {
    budget = (available / 100) * usage;
    if (budget < kMegabyte) {
      budget = kMegabyte;
      usage = 104857600 / available;
    }
  }
  if (!b.firstBudgetDone) {
    b.firstBudgetDone = true;
    b.budgetKB = budget / 1024;
    b.usagePercent = usage;
  }
  StoreSetting("FreeSpace", budget);
  if (RequiredSettingInt("AdjustWorkingSetSize", 0) == 0) {
    StoreSetting("AdjustWorkingSetSize", 0);
  }
  // Linux has no working-set sizing for a process, so a non-zero
  // "AdjustWorkingSetSize" changes nothing and the budget stays as computed.
  return budget;
}

Size MaxBlock(void) {
  if (ShutDown()) return 0;
  EnsureLevels();
  Size room = b.prePurge - CurrentMemory(false);
  return room > 0 ? room : 0;
}

Size MaxMem(Size* grow) {
  PurgeMem(0);
  if (grow) *grow = 0;
  return MaxBlock();
}

void PurgeSpace(Size* total, Size* contiguous) {
  if (total) *total = 0;
  if (contiguous) *contiguous = 0;
}

void SetGrowZone(GrowZoneProcPtr proc) { b.growZone = proc; }
GrowZoneProcPtr GetGrowZone(void) { return b.growZone; }
void MaxApplZone(void) {}
void ReserveMem(Size) {}
void MoreMasters(void) { OneTimeLine(b.oneTimeMoreMasters, "MoreMasters"); }
Ptr GetApplLimit(void) {
  OneTimeLine(b.oneTimeGetLimit, "GetApplLimit");
  return nullptr;
}
void SetApplLimit(Ptr) { OneTimeLine(b.oneTimeSetLimit, "SetApplLimit"); }

ErrorCode EMUL_SetMemUsagePercentages(double maxUsePercent, double beforePurgePercent) {
  if (!std::isfinite(maxUsePercent) || !std::isfinite(beforePurgePercent) || maxUsePercent <= 0 ||
      beforePurgePercent <= 0)
    return kSysParam;
  b.ceiling = LevelFromPercent(maxUsePercent);
  b.prePurge = std::min(LevelFromPercent(beforePurgePercent), b.ceiling);
  b.levelsKnown = true;
  return 0;
}

ErrorCode EMUL_NonPurgableRAMLimitReached(Boolean32* limitReached) {
  if (!limitReached) return kSysParam;
  *limitReached = 0;
  if (ShutDown()) return kSysMemWZ;
  EnsureLevels();
  Size current = CurrentMemory(true);
  if (current > b.prePurge) {
    Ladder ladder;
    if (!PurgeBytes(current - b.prePurge, ladder)) *limitReached = 1;
  }
  return 0;
}

void EMUL_DisableProactivePrePurging(void) {
  if (b.inhibit < INT16_MAX) ++b.inhibit;
}

void EMUL_EnableProactivePrePurging(void) {
  // An unbalanced enable is refused: the counter never goes below 0.
  if (b.inhibit > 0) --b.inhibit;
  else platform::DebugOutput("EMUL_EnableProactivePrePurging called without a matching disable");
}

ErrorCode EMUL_TotalMemoryUsed(Size* bytes) {
  if (!bytes) return kSysParam;
  *bytes = CurrentMemory(true);
  return 0;
}

ErrorCode EMUL_TotalRAMInstalled(Size* bytes) {
  if (!bytes) return kSysParam;
  *bytes = Physical();
  return 0;
}

void EMUL_AccountGlobalMemoryAllocation(Size delta) {
  b.outsideBytes += delta;
  if (delta > 0) ++b.outsideCount;
  else if (delta < 0) --b.outsideCount;
  b.outsidePeak = std::max(b.outsidePeak, b.outsideCount);
}

void EMUL_ReloadMemorySettings(void) { ResetBudgetState(); }

void EMUL_GetMemoryStats(EMUL_MemoryStats* stats) {
  if (!stats) return;
  *stats = EMUL_MemoryStats{};
  FillZoneStats(*stats);
  stats->outsideBytes = b.outsideBytes;
  stats->outsideCount = b.outsideCount;
  stats->outsidePeakCount = b.outsidePeak;
  stats->purgeSweeps = b.purgeSweeps;
  stats->purgedBlocks = b.purgedBlocks;
  stats->growZoneCalls = b.growZoneCalls;
  stats->ceiling = b.levelsKnown ? b.ceiling : 0;
  stats->prePurgeLevel = b.levelsKnown ? b.prePurge : 0;
  stats->budgetKB = b.budgetKB;
  stats->usagePercent = b.usagePercent;
  stats->inhibitCount = b.inhibit;
  stats->purgeNesting = b.purgeNesting;
}

void EMUL_SetPhysicalMemoryForTesting(Size bytes) {
  b.physicalOverride = bytes > 0 ? bytes : 0;
  b.levelsKnown = false;
}

void EMUL_SetProcessMemoryProbeForTesting(EMUL_ProcessMemoryProbe probe) {
  b.probe = probe;
  b.sampleValid = false;
}
