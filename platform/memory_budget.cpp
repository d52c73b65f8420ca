// The memory budget: where it comes from (the host's setting, the
// preferences, the process's control group, physical memory), the ceiling
// and the pre-purge level, the process memory measure, the budget check for
// large blocks and the purge ladder with the grow-zone procedure.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  // the budget the host set (0: none)
  Size explicitBudget = 0;
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
  return pages > 0 && page > 0 ? Size{pages} * page : Size{1} << 30;
}

// The memory this process may use: physical memory, lowered to the limit of
// its control group (a container or a batch job) when that is lower.
struct Machine {
  bool known = false;
  Size bytes = 0;
  int32_t source = EMUL_BudgetPhysical;
  std::string file;       // the control group's limit file
  std::string testRoot;   // the folder standing for "/" in tests ("" for the real one)
  bool testRootSet = false;
};
Machine& M() {
  static Machine m;  // not constant-initialised: reached only at run time
  return m;
}

const Machine& MachineMemory() {
  Machine& m = M();
  if (m.known) return m;
  static const Size system = SystemPhysical();
  m.bytes = b.physicalOverride > 0 ? b.physicalOverride : system;
  m.source = EMUL_BudgetPhysical;
  m.file.clear();
  // With a physical figure given by a test, only a test's own control
  // group tree is read: the machine's would make the figures depend on it.
  // Reading the files cannot fail an allocation: memory too short to read
  // them leaves physical memory.
  if (m.testRootSet || b.physicalOverride == 0) {
    try {
      const CgroupLimit limit = ReadCgroupLimit(m.testRoot);
      if (limit.bytes > 0 && limit.bytes < m.bytes) {
        m.bytes = limit.bytes;
        m.source = limit.version == 2 ? EMUL_BudgetCgroup2 : EMUL_BudgetCgroup1;
        m.file = limit.file;
      }
    } catch (...) {
    }
  }
  m.known = true;
  return m;
}

Size Physical() { return MachineMemory().bytes; }

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
  // While a purge runs the blocks it frees go back to the C allocator, which
  // keeps their pages until it is trimmed: the counters would not show them
  // gone, so the reading taken when the purge began stands, less what the
  // zones gave up since.
  if (!fresh && b.purgeNesting > 0 && b.sampleValid) return b.sampleBytes + drift;
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

// The budget and where it came from.
struct BudgetFigures {
  Size budget = 0;
  Size figure = 0;  // the memory figure it was taken from
  Size physical = 0;  // the figure written to "FreeB4SlopAdjust"
  int32_t source = EMUL_BudgetPhysical;
  Size usage = 0;
};

// The host's budget, else "MemoryUsage" percent of the memory figure (the
// "ApplicationMemory" preference, else the control group's limit, else
// physical memory) less a reserve for the system. All arithmetic is signed
// 64-bit: a reserve larger than the figure gives a negative figure that the
// 1 MB floor catches, never a wrapped-around huge budget.
BudgetFigures ComputeBudget() {
  BudgetFigures f;
  if (gWin32S) {
    f.physical = kWin32sPhysical;
  } else {
    int32_t appKB = SettingInt("ApplicationMemory", 0);
    if (appKB > 0) {
      f.physical = Size{appKB} * 1024;
      f.source = EMUL_BudgetPreference;
    } else {
      f.physical = MachineMemory().bytes;
      f.source = MachineMemory().source;
    }
  }
  f.figure = f.physical;
  Size usage = RequiredSettingInt("MemoryUsage", 50);
  if (usage <= 0 || usage > 100) {  // negative values are as meaningless as 0
    usage = 50;
    StoreSetting("MemoryUsage", 50);
  }
  Size reserve;
  int32_t baseKB = SettingInt("BaseReserve", 0);
  int32_t slopKB = SettingInt("Slop", 0);
  if (baseKB != 0) reserve = Size{baseKB} * 1024;
  else if (slopKB != 0) reserve = Size{slopKB} * 1024 + f.physical / 12;
  else reserve = f.physical / 12 + kDefaultReserveExtra;
  Size available = f.physical - reserve;
  if (available < kMegabyte) {
    f.budget = kMegabyte;
    usage = 100;
  } else {
    f.budget = (available / 100) * usage;
    if (f.budget < kMegabyte) {
      f.budget = kMegabyte;
      usage = 104857600 / available;
    }
  }
  f.usage = usage;
  if (b.explicitBudget > 0 && !gWin32S) {
    f.budget = f.figure = b.explicitBudget;
    f.source = EMUL_BudgetSetting;
    f.usage = 100;
  }
  return f;
}

// Purging starts this far below the budget, so that what is allocated
// between two checks (by the engine or by the libraries it calls) still
// fits under it.
Size Headroom(Size budget) { return std::clamp<Size>(budget / 16, 8 * kMegabyte, 256 * kMegabyte); }

void EnsureLevels() {
  if (b.levelsKnown) return;
  int32_t maxUse = RequiredPercent("MaxMemoryUsePercentage", 140);
  int32_t beforePurge = RequiredPercent("MaxMemoryBeforePurgePercentage", 70);
  b.ceiling = LevelFromPercent(maxUse);
  // Beyond a control group's limit the kernel ends the process: there an
  // allocation fails instead.
  if (MachineMemory().source != EMUL_BudgetPhysical) b.ceiling = std::min(b.ceiling, MachineMemory().bytes);
  b.ceiling = std::max(b.ceiling, kLevelFloor);
  // Purging starts at the lower of the pre-purge percentage and the
  // budget less its headroom, so resident memory stays under the budget.
  const Size budget = ComputeBudget().budget;
  const Size budgetLevel = std::max(budget - Headroom(budget), kLevelFloor);
  b.prePurge = std::min({LevelFromPercent(beforePurge), budgetLevel, b.ceiling});
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

// Bytes the zones and the host's outside allocations hold.
Size Accounted() { return b.outsideBytes + ZoneBytes(); }

bool PurgeBytes(Size m, Ladder& ladder) {
  const Size start = CurrentMemory(true);
  const Size held = Accounted();
  // What a purge freed: what the zones gave up, or the fall of the process
  // counters when that is more (blocks the C allocator unmapped at once).
  auto freed = [&] { return std::max(held - Accounted(), start - CurrentMemory(true)); };
  bool enough = false;
  for (;;) {
    if (!PurgeStep(ladder, m)) break;
    if (freed() >= m) {
      enough = true;
      break;
    }
  }
  // Freed blocks stay in the C allocator's free lists, resident, until it
  // gives their pages back; after that the counters show what the purge
  // achieved, so the next check neither purges again for the same bytes
  // nor lets resident memory pass the budget.
  if (held - Accounted() >= kMegabyte) {
    b.lastTrim = NowMs();
    malloc_trim(0);
    b.sampleValid = false;
  }
  return enough;
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
  M().known = false;
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
  const BudgetFigures f = ComputeBudget();
  StoreSetting("FreeB4SlopAdjust", f.physical);
  const Size budget = f.budget;
  if (!b.firstBudgetDone) {
    b.firstBudgetDone = true;
    b.budgetKB = budget / 1024;
    b.usagePercent = f.usage;
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
  M().known = false;
  b.levelsKnown = false;
}

void EMUL_SetCgroupRootForTesting(const char* root) {
  Machine& m = M();
  m.testRootSet = root && *root;
  m.testRoot = m.testRootSet ? root : "";
  m.known = false;
  b.levelsKnown = false;
}

ErrorCode EMUL_SetMemoryBudget(Size bytes) {
  if (bytes < 0 || (bytes > 0 && bytes < EMUL_MinMemoryBudget)) return kSysParam;
  b.explicitBudget = bytes;
  b.levelsKnown = false;
  return 0;
}

ErrorCode EMUL_GetMemoryBudget(EMUL_BudgetInfo* info) {
  if (!info) return kSysParam;
  *info = EMUL_BudgetInfo{};
  EnsureLevels();
  const BudgetFigures f = ComputeBudget();
  info->budget = f.budget;
  info->figure = f.figure;
  info->prePurgeLevel = b.prePurge;
  info->ceiling = b.ceiling;
  info->source = f.source;
  info->usagePercent = static_cast<int32_t>(f.usage);
  if (f.source == EMUL_BudgetCgroup2 || f.source == EMUL_BudgetCgroup1) {
    // Cut at a character boundary when the path does not fit.
    const std::string& file = MachineMemory().file;
    size_t n = std::min(file.size(), sizeof info->file - 1);
    while (n > 0 && n < file.size() && (static_cast<unsigned char>(file[n]) & 0xC0) == 0x80) --n;
    std::memcpy(info->file, file.data(), n);
  }
  return 0;
}

Size EMUL_RoomBeforePurging(void) {
  if (ShutDown()) return 0;
  EnsureLevels();
  return b.prePurge - CurrentMemory(false);
}

void EMUL_SetProcessMemoryProbeForTesting(EMUL_ProcessMemoryProbe probe) {
  b.probe = probe;
  b.sampleValid = false;
}
