// Where the memory budget comes from: the host's setting, the preferences,
// the process's control group (fake trees under a test root), physical
// memory; and the room a purge in progress sees.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform_test_fixture.h"

namespace tv::test {
namespace {

namespace fs = std::filesystem;
constexpr Size kMB = 0x100000, kGB = Size{1} << 30;

// The budget of "MemoryUsage" percent of a memory figure less the reserve.
Size Formula(Size figure, Size usage = 50) { return ((figure - (figure / 12 + 0x592000)) / 100) * usage; }

struct File {
  const char* path;  // under the root
  const char* text;
};

struct Case {
  const char* name;
  std::vector<File> files;
  int32_t source;
  Size figure;
  const char* file;  // the limit file reported
};

const char kMountsHybrid[] =
    "31 23 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw\n"
    "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
    "40 31 0:37 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

const Case kCases[] = {
    {"a Slurm step inside its job's limit",
     {{"proc/self/cgroup", "0::/slurm/uid_1/job_7/step_0\n"},
      {"sys/fs/cgroup/slurm/uid_1/job_7/memory.max", "4294967296\n"},
      {"sys/fs/cgroup/slurm/uid_1/job_7/step_0/memory.max", "max\n"}},
     EMUL_BudgetCgroup2, 4 * kGB, "/sys/fs/cgroup/slurm/uid_1/job_7/memory.max"},
    {"the lowest limit on the way up",
     {{"proc/self/cgroup", "0::/a/b\n"},
      {"sys/fs/cgroup/a/memory.max", "2147483648\n"},
      {"sys/fs/cgroup/a/b/memory.max", "3221225472\n"}},
     EMUL_BudgetCgroup2, 2 * kGB, "/sys/fs/cgroup/a/memory.max"},
    {"a container's own group mounted at the root",
     {{"proc/self/cgroup", "0::/kube/pod1/ctr\n"},
      {"proc/self/mountinfo", "30 25 0:26 /kube/pod1 /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"},
      {"sys/fs/cgroup/ctr/memory.max", "536870912\n"}},
     EMUL_BudgetCgroup2, 512 * kMB, "/sys/fs/cgroup/ctr/memory.max"},
    {"both hierarchies, the limit in v1",
     {{"proc/self/cgroup", "4:memory:/batch/x\n1:cpu:/\n0::/\n"},
      {"proc/self/mountinfo", kMountsHybrid},
      {"sys/fs/cgroup/memory/batch/x/memory.limit_in_bytes", "1073741824\n"}},
     EMUL_BudgetCgroup1, kGB, "/sys/fs/cgroup/memory/batch/x/memory.limit_in_bytes"},
    {"v1 without a limit",
     {{"proc/self/cgroup", "4:memory:/x\n"},
      {"sys/fs/cgroup/memory/x/memory.limit_in_bytes", "9223372036854771712\n"}},
     EMUL_BudgetPhysical, 8 * kGB, ""},
    {"a limit above physical memory",
     {{"proc/self/cgroup", "0::/big\n"}, {"sys/fs/cgroup/big/memory.max", "17179869184\n"}},
     EMUL_BudgetPhysical, 8 * kGB, ""},
    {"no control group files", {}, EMUL_BudgetPhysical, 8 * kGB, ""},
};

class BudgetSources : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    prefs = UsePrefsFile();
    root = ::testing::TempDir() + "tavelo_cgroup_" + std::to_string(::getpid());
    fs::remove_all(root);
    EMUL_SetPhysicalMemoryForTesting(8 * kGB);
  }
  void TearDown() override {
    fs::remove_all(root);
    std::remove(prefs.c_str());
    MemoryTest::TearDown();
  }
  void Tree(const std::vector<File>& files) {
    fs::remove_all(root);
    fs::create_directories(root);
    for (const File& f : files) {
      const fs::path p = fs::path(root) / f.path;
      fs::create_directories(p.parent_path());
      Put(p, f.text);
    }
    EMUL_SetCgroupRootForTesting(root.c_str());
  }
  static EMUL_BudgetInfo Info() { return OUT(EMUL_GetMemoryBudget); }
  std::string prefs, root;
};

TEST_F(BudgetSources, ControlGroupTrees) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Tree(c.files);
    const EMUL_BudgetInfo info = Info();
    EXPECT_EQ(info.source, c.source);
    EXPECT_EQ(info.figure, c.figure);
    EXPECT_STREQ(info.file, c.file);
    EXPECT_EQ(info.budget, Formula(c.figure));
    EXPECT_EQ(FreeMem(), info.budget);
    EXPECT_EQ(OUT(EMUL_TotalRAMInstalled), c.figure);
    // Beyond a control group's limit the kernel ends the process: the
    // ceiling stops there.
    EXPECT_EQ(info.ceiling, c.source == EMUL_BudgetPhysical ? static_cast<Size>(1.40 * c.figure) : c.figure);
    EXPECT_EQ(info.prePurgeLevel, info.budget - std::clamp(info.budget / 16, 8 * kMB, 256 * kMB));
  }
}

// The host's setting comes before the preference, the preference before the
// control group's limit (here a 4 GB job); 0 goes back down the list.
TEST_F(BudgetSources, SettingBeforePreferenceBeforeControlGroup) {
  Tree(kCases[0].files);
  ASSERT_EQ(EMUL_SetProfileInt(TV_PREFS_SECTION, "ApplicationMemory", 1048576), 0);  // KB
  EXPECT_EQ(Info().source, EMUL_BudgetPreference);
  ASSERT_EQ(EMUL_SetMemoryBudget(512 * kMB), 0);
  EMUL_BudgetInfo info = Info();
  EXPECT_EQ(info.source, EMUL_BudgetSetting);
  EXPECT_EQ(info.budget, 512 * kMB);
  EXPECT_EQ(info.prePurgeLevel, 480 * kMB);
  EXPECT_EQ(info.ceiling, 4 * kGB);
  // Refusals change nothing.
  EXPECT_EQ(EMUL_SetMemoryBudget(-1), -50);
  EXPECT_EQ(EMUL_SetMemoryBudget(EMUL_MinMemoryBudget - 1), -50);
  EXPECT_EQ(EMUL_GetMemoryBudget(nullptr), -50);
  EXPECT_EQ(Info().budget, 512 * kMB);
  ASSERT_EQ(EMUL_SetMemoryBudget(0), 0);
  EXPECT_EQ(Info().source, EMUL_BudgetPreference);
}

// Blocks a purge frees stay resident in the C allocator until it is
// trimmed, so the process counters do not fall with them: the room a purge
// in progress counts them gone, and a grow-zone procedure that freed enough
// is not asked again.
Handle gHeld = nullptr;
int gCalls = 0;
int32_t FreeHeld(Size) {
  ++gCalls;
  if (!gHeld) return 0;
  DisposeHandle(gHeld);
  gHeld = nullptr;
  return 1;
}

TEST_F(BudgetSources, APurgeCountsWhatItFreedAtOnce) {
  static int64_t process = 0;
  EMUL_SetPhysicalMemoryForTesting(256 * kMB);
  EMUL_SetProcessMemoryProbeForTesting([]() -> int64_t { return process; });
  SetGrowZone(&FreeHeld);
  MaxBlock();
  process = Stats().prePurgeLevel - kMB;  // standing still while the purge frees
  gHeld = NewHandle(16 * kMB);
  gCalls = 0;
  Handle big = NewHandle(10 * kMB);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(gCalls, 1);
  EXPECT_EQ(gHeld, nullptr);
  DisposeHandle(big);
}

}  // namespace
}  // namespace tv::test
