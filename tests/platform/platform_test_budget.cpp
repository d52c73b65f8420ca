// The memory budget, the usage levels, the process memory measure, the budget
// check of large blocks, the purge ladder and the grow-zone procedure.
#include <cmath>
#include <vector>

#include "platform_test_fixture.h"

namespace tv::test {
namespace {

constexpr Size kMB = 0x100000;

// The injected process memory figure.
int64_t gProcess = 0;
int64_t Probe() { return gProcess; }
int64_t Unavailable() { return -1; }

// A grow-zone procedure that records its calls and gives back a set amount of
// "process memory" each time.
std::vector<Size> gWanted;
int64_t gRelease = 0;
int32_t gAnswer = 1;
int32_t RecordingGrowZone(Size wanted) {
  gWanted.push_back(wanted);
  gProcess -= gRelease;
  return gAnswer;
}

class BudgetTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    path = UsePrefsFile();
    gWanted.clear();
    gRelease = 0;
    gAnswer = 1;
    gProcess = 100 * kMB;
    EMUL_SetPhysicalMemoryForTesting(512 * kMB);
    EMUL_SetProcessMemoryProbeForTesting(&Probe);
  }
  void TearDown() override {
    std::remove(path.c_str());
    MemoryTest::TearDown();
  }
  int32_t Setting(const char* key) { return EMUL_GetProfileInt(TV_PREFS_SECTION, key, -12345); }
  void Set(const char* key, int32_t v) { ASSERT_EQ(EMUL_SetProfileInt(TV_PREFS_SECTION, key, v), 0); }
  // The level purging starts at, as the manager computes it.
  Size Level() {
    MaxBlock();
    return Stats().prePurgeLevel;
  }
  std::string SettingText(const char* key) {
    char buf[64];
    EMUL_GetProfileString(TV_PREFS_SECTION, key, "", buf, sizeof buf);
    return buf;
  }
  std::string path;
};

// 512 MB installed. The reserve is "BaseReserve" KB, else "Slop" KB (5704 by
// default) and a twelfth of the memory; the budget is "MemoryUsage" percent
// of what is left, at least 1 MB.
TEST_F(BudgetTest, BudgetFromTheMemoryAndTheSettings) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int32_t>> settings;
    Size budget;
    int32_t usage;
    const char* memory;  // the figure written as "FreeB4SlopAdjust"
  } cases[] = {
      {"defaults", {}, 243145350, 50, "536870912"},
      {"base reserve", {{"BaseReserve", 1000}}, 267923450, 50, "536870912"},
      {"slop", {{"Slop", 2048}}, 245017250, 50, "536870912"},
      {"slop at 80 %", {{"Slop", 2048}, {"MemoryUsage", 80}}, 392027600, 80, "536870912"},
      {"application memory", {{"ApplicationMemory", 262144}}, 120112450, 50, "268435456"},
      // Signed arithmetic: the reserve is above the memory, and the floor applies.
      {"reserve above the memory", {{"BaseReserve", 600000}}, kMB, 100, "536870912"},
      // 1.5 MB left: 786400 is below the floor, and the usage 104857600 / 1.5 MB.
      {"budget below 1 MB", {{"BaseReserve", 522752}}, kMB, 66, "536870912"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    path = UsePrefsFile();
    for (auto [key, value] : c.settings) Set(key, value);
    EXPECT_EQ(FreeMem(), c.budget);
    EXPECT_EQ(Stats().budgetKB, c.budget / 1024);
    EXPECT_EQ(Stats().usagePercent, c.usage);
    EXPECT_EQ(SettingText("FreeB4SlopAdjust"), c.memory);
  }
  // The defaults are written where a user can change them.
  path = UsePrefsFile();
  EXPECT_EQ(FreeMem(), 243145350);
  EXPECT_EQ(SettingText("FreeSpace"), "243145350");
  EXPECT_EQ(Setting("MemoryUsage"), 50);
  EXPECT_EQ(Setting("AdjustWorkingSetSize"), 0);
}

TEST_F(BudgetTest, OutOfRangeSettingsAreRewritten) {
  for (int32_t usage : {0, 150}) {
    Set("MemoryUsage", usage);
    FreeMem();
    EXPECT_EQ(Setting("MemoryUsage"), 50) << usage;
  }
  Set("MaxMemoryUsePercentage", 10);
  Set("MaxMemoryBeforePurgePercentage", 5);
  EMUL_ReloadMemorySettings();
  MaxBlock();
  EXPECT_EQ(Setting("MaxMemoryUsePercentage"), 25);
  EXPECT_EQ(Setting("MaxMemoryBeforePurgePercentage"), 25);
  EXPECT_EQ(Stats().ceiling, 25 * 512 * kMB / 100);
}

TEST_F(BudgetTest, SetMemUsagePercentages) {
  EXPECT_EQ(EMUL_SetMemUsagePercentages(50, 80), 0);
  EXPECT_EQ(Stats().ceiling, 256 * kMB);
  EXPECT_EQ(Stats().prePurgeLevel, 256 * kMB);
  EXPECT_EQ(EMUL_SetMemUsagePercentages(1, 1), 0);
  EXPECT_EQ(Stats().ceiling, 29360128);
  EXPECT_EQ(EMUL_SetMemUsagePercentages(std::nan(""), 50), -50);
  EXPECT_EQ(EMUL_SetMemUsagePercentages(-3, 50), -50);
  // Levels are not capped at 2 GB on a large machine.
  ASSERT_EQ(EMUL_SetMemUsagePercentages(50, 80), 0);
  EMUL_SetPhysicalMemoryForTesting(Size{8} << 30);
  MaxBlock();
  EXPECT_GT(Stats().ceiling, Size{INT32_MAX});
}

TEST_F(BudgetTest, MeasuresAndInstalledMemory) {
  gProcess = 123456789;
  EXPECT_EQ(OUT(EMUL_TotalMemoryUsed), 123456789);
  EXPECT_EQ(OUT(EMUL_TotalRAMInstalled), 512 * kMB);
  EXPECT_EQ(EMUL_TotalMemoryUsed(nullptr), -50);

  // Without the counters: outside bytes + zone bytes + 18 MB.
  EMUL_SetProcessMemoryProbeForTesting(&Unavailable);
  EMUL_AccountGlobalMemoryAllocation(5 * kMB);
  EMUL_AccountGlobalMemoryAllocation(kMB);
  EMUL_AccountGlobalMemoryAllocation(-kMB);
  EMUL_MemoryStats s = Stats();
  EXPECT_EQ(s.outsideCount - base.outsideCount, 1);
  EXPECT_GE(s.outsidePeakCount, base.outsideCount + 2);
  const Size bytes = OUT(EMUL_TotalMemoryUsed);
  EXPECT_EQ(bytes, s.outsideBytes + s.globalZoneBytes + s.heapZoneBytes + 0x1200000);
  // Small handles count too.
  Handle h = NewHandle(1000);
  EXPECT_EQ(OUT(EMUL_TotalMemoryUsed) - bytes, 1016);
  DisposeHandle(h);
  EMUL_AccountGlobalMemoryAllocation(-5 * kMB);

  // "TrackMemoryWithGPMI" = 0 selects the same measure.
  EMUL_SetProcessMemoryProbeForTesting(&Probe);
  Set("TrackMemoryWithGPMI", 0);
  EMUL_ReloadMemorySettings();
  const Size measured = OUT(EMUL_TotalMemoryUsed);
  s = Stats();
  EXPECT_EQ(measured, s.outsideBytes + s.globalZoneBytes + s.heapZoneBytes + 0x1200000);
}

TEST_F(BudgetTest, AboveTheCeilingAllocationFails) {
  EMUL_SetPhysicalMemoryForTesting(256 * kMB);
  Size ceiling = static_cast<Size>(1.40 * 256 * kMB);
  SetGrowZone(&RecordingGrowZone);
  gAnswer = 0;
  gProcess = ceiling - kMB;
  Handle big = NewHandle(10 * kMB);
  EXPECT_EQ(big, nullptr);
  EXPECT_EQ(MemError(), -108);
  EXPECT_LE(gWanted.size(), 5u);
  EXPECT_GE(gWanted.size(), 1u);
  // Small blocks always pass the budget.
  Handle small = NewHandle(8192);
  EXPECT_NE(small, nullptr);
  DisposeHandle(small);
  // The inhibit counter skips the check entirely.
  gWanted.clear();
  EMUL_DisableProactivePrePurging();
  EMUL_DisableProactivePrePurging();
  EXPECT_EQ(Stats().inhibitCount, base.inhibitCount + 2);
  EMUL_EnableProactivePrePurging();
  big = NewHandle(10 * kMB);
  EXPECT_NE(big, nullptr);
  EXPECT_TRUE(gWanted.empty());
  EMUL_EnableProactivePrePurging();
  EMUL_EnableProactivePrePurging();  // unbalanced: refused
  EXPECT_EQ(Stats().inhibitCount, 0);
  // Growing a large block in place passes the same check.
  SetHandleSize(big, 30 * kMB);
  EXPECT_EQ(MemError(), -108);
  EXPECT_EQ(GetHandleSize(big), 10 * kMB);
  DisposeHandle(big);
}

TEST_F(BudgetTest, GrowZoneIsCalledAtMostFiveTimesWithTheBytesWanted) {
  SetGrowZone(&RecordingGrowZone);
  gAnswer = 1;  // claims to free something every time, but nothing helps
  EMUL_FailAllocationsAfter(0);
  for (Size n : {100, 100000}) {
    gWanted.clear();
    EXPECT_EQ(NewHandle(n), nullptr);
    EXPECT_EQ(MemError(), -108);
    EXPECT_EQ(gWanted, std::vector<Size>(5, n));
  }
  EMUL_StopAllocationFailures();
}

TEST_F(BudgetTest, NestedPurgesAnswerNothingMore) {
  static int calls = 0;
  static int32_t nesting = 0;
  static Handle nestedResult = reinterpret_cast<Handle>(1);
  calls = 0;
  SetGrowZone([](Size) -> int32_t {
    ++calls;
    EMUL_MemoryStats s;
    EMUL_GetMemoryStats(&s);
    nesting = s.purgeNesting;
    nestedResult = NewHandle(50);  // fails too, without calling back in here
    return 0;
  });
  EMUL_FailAllocationsAfter(0);
  EXPECT_EQ(NewHandle(50), nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(nesting, 1);
  EXPECT_EQ(nestedResult, nullptr);
}

TEST_F(BudgetTest, PersistentFailureLeavesAResizedHandleIntact) {
  for (Boolean32 moving : {0, 1}) {
    EMUL_SetMemoryChecks(moving);
    Handle h = NewHandle(3000);
    Fill(h, 11);
    EMUL_FailAllocationsAfter(0);
    SetHandleSize(h, 60000);
    EXPECT_EQ(MemError(), -108);
    EXPECT_EQ(GetHandleSize(h), 3000);
    EXPECT_TRUE(Holds(h, 11, 3000));
    Handle copy = h;
    EXPECT_EQ(HandToHand(&copy), -108);
    EXPECT_EQ(copy, h);
    EMUL_StopAllocationFailures();
    DisposeHandle(h);
  }
}

// The handle being resized or copied is purgeable and unlocked; the grow-zone
// procedure purges everything it can, and the handle must survive.
Handle gVictim = nullptr;
OSErr gDisposeResult = 0;
int32_t PurgeEverything(Size) {
  EMUL_StopAllocationFailures();
  Size grow;
  MaxMem(&grow);
  DisposeHandle(gVictim);  // refused: the call above works on it
  gDisposeResult = MemError();
  return 1;
}

TEST_F(BudgetTest, HandleUnderResizeIsNotPurgedFromUnderIt) {
  Handle h = NewHandle(100);
  Handle other = NewHandle(100);
  HPurge(h);
  HPurge(other);
  Fill(h, 21);
  gVictim = h;
  SetGrowZone(&PurgeEverything);
  EMUL_FailAllocationsAfter(0);
  SetHandleSize(h, 20000);
  EXPECT_EQ(MemError(), 0);
  EXPECT_EQ(gDisposeResult, -111);
  EXPECT_EQ(GetHandleSize(h), 20000);
  EXPECT_TRUE(Holds(h, 21, 100));
  EXPECT_EQ(*other, nullptr);  // other purgeable blocks did go

  // The same for the source of a copy.
  SetHandleSize(h, 100);
  Fill(h, 23);
  EMUL_FailAllocationsAfter(0);
  Handle copy = h;
  EXPECT_EQ(HandToHand(&copy), 0);
  EXPECT_TRUE(Holds(copy, 23, 100));
  EXPECT_TRUE(Holds(h, 23, 100));
  for (Handle x : {h, other, copy}) DisposeHandle(x);
}

TEST_F(BudgetTest, NonPurgableLimit) {
  EMUL_SetPhysicalMemoryForTesting(256 * kMB);
  Size level = Level();
  gProcess = level - kMB;
  EXPECT_EQ(OUT(EMUL_NonPurgableRAMLimitReached), 0);
  gProcess = level + 4 * kMB;
  EXPECT_EQ(OUT(EMUL_NonPurgableRAMLimitReached), 1);  // nothing could be freed
  SetGrowZone(&RecordingGrowZone);
  gRelease = 5 * kMB;
  EXPECT_EQ(OUT(EMUL_NonPurgableRAMLimitReached), 0);
  ASSERT_EQ(gWanted.size(), 1u);
  EXPECT_EQ(gWanted[0], 4 * kMB);
}

TEST_F(BudgetTest, Win32sModeRefusesHugeBlocksAndUsesTenMegabytes) {
  gWin32S = 1;
  EXPECT_EQ(NewHandle(0x00FE0000), nullptr);
  EXPECT_EQ(MemError(), -108);
  EXPECT_EQ(SettingText("FreeB4SlopAdjust"), "");
  FreeMem();
  EXPECT_EQ(SettingText("FreeB4SlopAdjust"), "10485760");
  gWin32S = 0;
}

}  // namespace
}  // namespace tv::test
