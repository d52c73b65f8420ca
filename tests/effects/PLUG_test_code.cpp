// Loading plug-in code on demand from the test plug-ins built by piplc: no
// code runs while scanning, the cache of released code, and the failures of
// loading.
#include <dlfcn.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "Memory.h"
#include "PF_Effect.h"
#include "PLUG_test_support.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

const std::string kFolder = TAVELO_TEST_PLUGINS;

class PLUGCode : public PLUGFixture {
 protected:
  PLUG_Routine Register(const std::string& path) {
    PLUG_ScanData scan = nullptr;
    PLUG_Routine r = nullptr;
    EXPECT_EQ(PLUG_ScanDataFromFile(Ref(path), &scan), 0);
    EXPECT_EQ(PLUG_RegisterRoutine(scan, 0, &r), 0);
    PLUG_DisposeScanData(scan);
    return r;
  }
  static bool Loaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
  }
  static uint32_t Flags(PLUG_Routine r) {
    uint32_t f = 0;
    PLUG_GetRoutineFlags(r, &f);
    return f;
  }
};

ErrorCode RegisterAll(PLUG_ScanData scan, int32_t, void* refcon) {
  PLUG_Routine r = nullptr;
  if (PLUG_RegisterRoutine(scan, 0, &r) == 0) static_cast<std::vector<PLUG_Routine>*>(refcon)->push_back(r);
  return 0;
}

TEST_F(PLUGCode, ScanningRunsNoCodeAndPreparingLoadsByAbsolutePath) {
  unsetenv("TV_SAMPLE_EFFECT_LOADED");
  std::vector<PLUG_Routine> routines;
  const FourCC tvx = PLUG_FOURCC('.', 'T', 'V', 'X');
  ASSERT_EQ(PLUG_InstallScan(nullptr, 1, &tvx, RegisterAll, nullptr, &routines), 0);
  FILE_SpecH folder = Ref(kFolder);
  ASSERT_EQ(PLUG_Search(nullptr, 1, &folder, 0, 2, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(routines.size(), 3u);  // sample_effect, sample_nosym, sample_undefined (sorted)
  EXPECT_EQ(getenv("TV_SAMPLE_EFFECT_LOADED"), nullptr);
  EXPECT_FALSE(Loaded(kFolder + "/sample_effect.tvx"));

  void* entry = nullptr;
  void* second = nullptr;
  int32_t kind = 0;
  ASSERT_EQ(PLUG_PrepRoutine(routines[0], 0, &entry, &kind, &second), 0);
  EXPECT_NE(entry, nullptr);
  EXPECT_EQ(kind, PLUG_Kind_Library);
  EXPECT_EQ(entry, dlsym(second, "tv_effect_entry"));
  EXPECT_STREQ(getenv("TV_SAMPLE_EFFECT_LOADED"), "1");
  PF_OutputRecord out{};
  EXPECT_EQ(reinterpret_cast<PF_EntryFunc>(entry)(PF_Cmd_ParamsSetup, nullptr, &out, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(out.paramCount, 1);

  rec.clear();
  EXPECT_EQ(PLUG_PrepRoutine(routines[1], 0, &entry, &kind, &second), PLUG_ErrNoSymbol);
  EXPECT_EQ(entry, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_THAT(rec.last().text, HasSubstr("could not locate entrypoint tv_no_such_entry"));
  EXPECT_FALSE(Loaded(kFolder + "/sample_nosym.tvx"));

  rec.clear();
  EXPECT_EQ(PLUG_PrepRoutine(routines[2], 0, &entry, &kind, &second), PLUG_ErrNotDLL);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_THAT(rec.last().text, HasSubstr("loading code fragment"));
  EXPECT_THAT(rec.last().text, HasSubstr("tv_function_nobody_defines"));

  int32_t loaded = -1, cached = -1;
  PLUG_GetLoadedCounts(&loaded, &cached);
  EXPECT_EQ(loaded, 1);
  ASSERT_EQ(PLUG_UnprepRoutine(routines[0]), 0);
  EXPECT_EQ(Flags(routines[0]), unsigned(PLUG_Flag_Cached));
  EXPECT_TRUE(Loaded(kFolder + "/sample_effect.tvx"));  // cached, not unloaded
  // Death unloads the cached code.
}

TEST_F(PLUGCode, CacheOfTwoUnloadsTheLeastRecentlyReleased) {
  TempDir dir;
  std::vector<std::string> paths;
  std::vector<PLUG_Routine> rs;
  for (const char* n : {"a.tvx", "b.tvx", "c.tvx"}) {
    paths.push_back(dir.P(n));
    std::filesystem::copy_file(kFolder + "/sample_effect.tvx", paths.back());
    rs.push_back(Register(paths.back()));
  }
  ASSERT_EQ(PLUG_SetMaxCachedRoutines(2), 0);
  void* entry = nullptr;
  for (PLUG_Routine r : rs) ASSERT_EQ(PLUG_PrepRoutine(r, 0, &entry, nullptr, nullptr), 0);
  for (PLUG_Routine r : rs) ASSERT_EQ(PLUG_UnprepRoutine(r), 0);
  const unsigned cached = PLUG_Flag_Cached;
  EXPECT_EQ(std::make_tuple(Flags(rs[0]), Flags(rs[1]), Flags(rs[2])), std::make_tuple(0u, cached, cached));
  EXPECT_EQ(std::make_pair(Loaded(paths[0]), Loaded(paths[1])), std::make_pair(false, true));
  // Taken back out of the cache without loading, then released again: b is now the oldest.
  ASSERT_EQ(PLUG_PrepRoutine(rs[1], 0, &entry, nullptr, nullptr), 0);
  ASSERT_EQ(PLUG_UnprepRoutine(rs[1]), 0);
  ASSERT_EQ(PLUG_PrepRoutine(rs[0], 0, &entry, nullptr, nullptr), 0);
  ASSERT_EQ(PLUG_UnprepRoutine(rs[0]), 0);
  EXPECT_EQ(Flags(rs[2]), 0u);
  EXPECT_FALSE(Loaded(paths[2]));
  ASSERT_EQ(PLUG_SetMaxCachedRoutines(-5), 0);  // taken as 0
  int32_t max = -1, loaded = -1, inCache = -1;
  PLUG_GetMaxCachedRoutines(&max);
  PLUG_GetLoadedCounts(&loaded, &inCache);
  EXPECT_EQ(std::make_tuple(max, loaded, inCache), std::make_tuple(0, 0, 0));
  for (const std::string& p : paths) EXPECT_FALSE(Loaded(p));
}

TEST_F(PLUGCode, UnbalancedReleaseLockedDisposeAndPinnedCode) {
  const Bytes pinned = BuildPiPL({{PLUG_FOURCC('t', 'v', 'F', 'L'), U32(8)}});
  PLUG_Routine r = Register(kFolder + "/sample_effect.tvx");
  rec.clear();
  EXPECT_EQ(PLUG_UnprepRoutine(r), PLUG_ErrUnbalancedUnprep);
  EXPECT_THAT(rec.last().text, HasSubstr("unbalanced unprep"));
  void* entry = nullptr;
  ASSERT_EQ(PLUG_PrepRoutine(r, 0, &entry, nullptr, nullptr), 0);
  EXPECT_EQ(PLUG_UnregisterRoutine(r), kErrBadParam);
  EXPECT_THAT(rec.last().text, HasSubstr("can't dispose locked routine"));
  ASSERT_EQ(PLUG_UnprepRoutine(r), 0);
  EXPECT_EQ(PLUG_UnregisterRoutine(r), 0);  // cached code goes with it
  EXPECT_FALSE(Loaded(kFolder + "/sample_effect.tvx"));

  // A static routine: its entry given, only its loaded mark changes.
  static int marker;
  PLUG_Routine s = nullptr;
  ASSERT_EQ(PLUG_RegisterStaticRoutine(pinned.data(), static_cast<int32_t>(pinned.size()), &marker, nullptr, &s), 0);
  ASSERT_EQ(PLUG_PrepRoutine(s, 0, &entry, nullptr, nullptr), 0);
  EXPECT_EQ(entry, &marker);
  ASSERT_EQ(PLUG_UnprepRoutine(s), 0);
  EXPECT_EQ(Flags(s), unsigned(PLUG_Flag_Static));
  int32_t count = 0;
  PLUG_GetRoutineCount(&count);
  EXPECT_EQ(count, 1);
}

TEST_F(PLUGCode, DamagedRoutineRecord) {
  Handle fake = NewHandleClear(400);
  void* entry = reinterpret_cast<void*>(1);
  EXPECT_EQ(PLUG_PrepRoutine(fake, 0, &entry, nullptr, nullptr), kErrDamaged);
  EXPECT_EQ(entry, nullptr);
  EXPECT_THAT(rec.last().text, HasSubstr("internal structure damaged (rd)"));
  DisposeHandle(fake);
}

}  // namespace
}  // namespace tv::test
