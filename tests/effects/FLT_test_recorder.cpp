// Every command reaches a plug-in loaded from its file with the records the
// call protocol describes (a recording plug-in writes down what it saw), and
// a plug-in whose code disagrees with its property list draws the warnings.
#include <dlfcn.h>

#include <map>
#include <string>

#include "FLT_test_support.h"

namespace tv::test {
namespace {

struct RecorderEntry {
  int32_t cmd, quality, time, timeStep;
  uint32_t timeScale;
  int32_t width, height;
  Rect request;
  int32_t haveGlobal, haveSequence, haveFrame, haveUtil, haveSuite, haveParams;
  PF_Result addParam;
};

ErrorCode Info(void*, FLT_Parade, FLT_LayerInfo* info) {
  info->time = 1200;
  info->timeStep = 20;
  info->timeScale = 600;
  return 0;
}

class FLTRecorder : public FLTFixture {};

TEST_F(FLTRecorder, EveryCommandWithItsRecords) {
  const char* folders[] = {TAVELO_TEST_CALL_PLUGINS, nullptr};
  ASSERT_EQ(FLTp_ScanPluginFolders(folders, 2), 0);
  FLT_Parade p = nullptr;
  ASSERT_EQ(FLT_NewParade(Info, nullptr, &p), 0);
  rec.clear();
  FLT_Sequence s = NewSeq(Class("TEST Recorder"));
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(FLT_InsertSeqParade(p, s, -1), 0);
  // The code's version and flags differ from the property list's.
  std::vector<std::string> warnings;
  for (const Report& r : rec.reports)
    if (r.severity == kSevWarning) warnings.push_back(r.text);
  EXPECT_THAT(warnings, ::testing::Contains(::testing::HasSubstr(
                            "effect \"Recorder\" has version mismatch. Code version is 2.1 and PiPL version is 1.0.")));
  EXPECT_THAT(warnings, ::testing::Contains(::testing::HasSubstr(
                            "effect \"Recorder\" has global outflags mismatch. Code flags are 140 and PiPL flags are 40.")));

  BM_World in = World(3, 30, 20), out = World(0, 30, 20);
  ASSERT_EQ(Render(p, in, out, 30, 20), 0);
  EXPECT_EQ(Pixels(out), Pixels(in));
  EXPECT_EQ(FLT_SeqDoDialog(s), 0);

  const std::string path = std::string(TAVELO_TEST_CALL_PLUGINS) + "/test_recorder.tvx";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << "the plug-in's code is loaded while its class is in use";
  const auto* log = static_cast<const RecorderEntry*>(dlsym(lib, "tv_recorder_log"));
  const auto* count = static_cast<const int32_t*>(dlsym(lib, "tv_recorder_count"));
  ASSERT_TRUE(log && count);
  std::map<int32_t, RecorderEntry> last;
  for (int32_t i = 0; i < *count; ++i) {
    const RecorderEntry& e = log[i];
    last[e.cmd] = e;
    EXPECT_TRUE(e.haveUtil) << e.cmd;
    EXPECT_TRUE(e.haveSuite) << e.cmd;
    EXPECT_TRUE(e.cmd == PF_Cmd_GlobalSetup || e.haveGlobal) << e.cmd;
    EXPECT_TRUE(e.cmd == PF_Cmd_ParamsSetup || e.addParam == PF_Result_BadSelector) << e.cmd;
  }
  const RecorderEntry& setup = last[PF_Cmd_FrameSetup];
  EXPECT_EQ(std::make_tuple(setup.width, setup.height, setup.quality, setup.time, setup.timeStep, setup.timeScale),
            std::make_tuple(30, 20, 1, 1200, 20, 600u));
  // Extent hints without an unclipped request: the whole input.
  EXPECT_EQ(std::make_tuple(setup.request.top, setup.request.left, setup.request.bottom, setup.request.right),
            std::make_tuple(0, 0, 20, 30));
  dlclose(lib);
  FLT_DisposeParade(p);
}

}  // namespace
}  // namespace tv::test
