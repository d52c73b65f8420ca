// OutputSpecs: creation checks, forwarding to the module's slots, what the
// framework keeps, numbered still files and the output information records.
#include <cstring>
#include <filesystem>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

class PINOutputTest : public PINTest {
 protected:
  PINOutputTest() : PINTest(kOutputDrivers) {}
  void SetUp() override {
    PINTest::SetUp();
    OutLog().clear();
  }
  BM_World Frame(uint8_t red) {
    if (!world_) world_ = World(6, 4);
    tv::pin::PixelLock px(world_);
    px.Row(0)[1] = red;
    return world_;
  }
  static PIN_OutputInfo Info(int32_t w, int32_t h) {
    PIN_OutputInfo i{};
    i.version = PIN_OutputInfoVersion;
    i.width = w, i.height = h, i.depth = 24;
    return i;
  }
  BM_World world_ = nullptr;
};

TEST_F(PINOutputTest, CreationChecksModuleAndSize) {
  PIN_OutputSpecH out = reinterpret_cast<PIN_OutputSpecH>(1);
  struct Case {
    FourCC sig;
    int32_t w, h;
    ErrorCode code;
    const char* text;
  } cases[] = {
      {MakeFourCC("NONE"), 10, 10, 3, "cannot output to this format because it is not currently installed"},
      {0, 10, 10, 3, "Unknown output module"},
      {kOutSig, 101, 10, 3, "Cannot output to Test Output because the image size is too large"},
      {kOutSig, 10, 101, 3, "Cannot output to Test Output because the image size is too large"},
  };
  for (const Case& c : cases) {
    rec.reports.clear();
    EXPECT_EQ(PIN_NewOutputSpec(c.sig, c.w, c.h, &out), c.code);
    EXPECT_EQ(out, nullptr);
    ExpectOnly("Test error: " + std::string(c.text) + " -- a bad parameter was passed.");
  }
  EXPECT_TRUE(OutLog().empty());
  ASSERT_EQ(PIN_NewOutputSpec(kOutSig, 100, 100, &out), 0);
  EXPECT_EQ(OutLog(), std::vector<std::string>{"new"});
  // A damaged OutputSpec is refused everywhere.
  rec.reports.clear();
  tv::pin::OutRec(out).magic ^= 1;
  EXPECT_EQ(PIN_StartAdding(out), 2);
  EXPECT_EQ(PIN_DisposeOutputSpec(out), 2);
  EXPECT_EQ(rec.reports.size(), 2u);
  tv::pin::OutRec(out).magic ^= 1;
  EXPECT_EQ(PIN_DisposeOutputSpec(out), 0);
}

TEST_F(PINOutputTest, CallsReachTheModuleInOrder) {
  PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, kOutSig, 10, 10);
  PIN_OutputInfo info = Info(10, 10);
  info.depth = 30;
  EXPECT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 3);
  info = Info(10, 10);
  info.hsfNum = 0, info.hsfDen = 5;
  EXPECT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 3);
  info = Info(100, 100);
  ASSERT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
  ASSERT_EQ(SetFile(out, dir.P("clip.tou")), 0);
  const int32_t seven = 7;
  ASSERT_EQ(PIN_SetOutSpecificData(out, 1, &seven, 4), 0);
  Handle options = OUT(PIN_GetOutputOptions, out);
  EXPECT_EQ(std::memcmp(*options, "TOo1", 4), 0);
  ASSERT_EQ(PIN_DisposeOutputOptions(out, options), 0);
  ASSERT_EQ(PIN_StartAdding(out), 0);
  BM_World w = Frame(1);
  ASSERT_EQ(PIN_AddFrame(out, -1, w), 0);
  ASSERT_EQ(PIN_AddFrame(out, -1, w), 0);
  ASSERT_EQ(PIN_AddFrame(out, 5, w), 0);
  ASSERT_EQ(PIN_AddFrame(out, -1, w), 0);
  ASSERT_EQ(PIN_AddSoundChunk(out, nullptr), 0);
  ASSERT_EQ(PIN_EndAdding(out), 0);
  const std::vector<std::string> want = {"new",     "info 24", "file clip.tou", "data 1=7", "dispose options",
                                         "start",   "frame 0", "frame 1",       "frame 5",  "frame 6",
                                         "sound",   "end",     "flush"};
  EXPECT_EQ(OutLog(), want);
  PIN_OutputState st = OUT(PIN_GetOutputState, out);
  EXPECT_EQ(st.frames, 4);
  EXPECT_EQ(st.lastIndex, 6);
  EXPECT_EQ(st.started, 0);
  PIN_OutputInfo back{};
  ASSERT_EQ(PIN_GetOutputInfo(out, &back, sizeof back), 0);
  EXPECT_EQ(std::memcmp(&back, &info, sizeof info), 0);
  // Sizes the module does not know come from the framework; the suffix from
  // the module's default extension.
  int64_t space = -1;
  EXPECT_EQ(OUT(PIN_GetSizes, out, &space), 0);
  EXPECT_GT(space, 0);
  char suffix[8];
  ASSERT_EQ(PIN_GetOutputSuffix(out, suffix, sizeof suffix), 0);
  EXPECT_STREQ(suffix, ".tou");
  // A slot the module lacks: the default's report.
  rec.reports.clear();
  uint32_t depths = 1;
  EXPECT_EQ(PIN_GetLegalDepths(out, &depths), PIN_ErrUnsupported);
  EXPECT_EQ(depths, 0u);
  ExpectOnly(Logged("the Test Output module does not support getting legal color depths of output sequences",
                    PIN_ErrUnsupported));
  EXPECT_EQ(PIN_DisposeOutputSpec(out), 0);
}

// Without numbering a second still frame is refused.
TEST_F(PINOutputTest, StillsWithoutNumberingTakeOneFrame) {
  PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, kTsfSig, 6, 4);
  ASSERT_EQ(SetFile(out, dir.P("one.tsf")), 0);
  ASSERT_EQ(PIN_SetOutputNumbering(out, 0, 1), 0);
  ASSERT_EQ(PIN_AddFrame(out, -1, Frame(1)), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.P("one.tsf")));
  rec.reports.clear();
  EXPECT_EQ(PIN_AddFrame(out, -1, Frame(1)), PIN_ErrBadRequest);
  ExpectOnly(Logged("adding multiple still frames without frame numbering.", PIN_ErrBadRequest));
  PIN_DisposeOutputSpec(out);
}

TEST(PINOutputNames, NumberedNamesStayWithinLimits) {
  struct Case {
    std::string templ;
    int64_t number;
    std::string want;
    bool ok;
  } cases[] = {
      {"x[####].png", 42, "x0042.png", true},
      {"x[#].png", 123, "x123.png", true},
      {"[##]", 5, "05", true},
      {"clip", 3, "clip00003", true},
      {"x[].png", 1, "x[]00001.png", true},
      {std::string(300, 'p') + "[###].tif", 1, std::string(245, 'p') + "001.tif", true},
      {"[###]" + std::string(300, 's'), 9, "009" + std::string(249, 's'), true},
      {"[" + std::string(256, '#') + "]", 1, std::string(256, '0').replace(255, 1, "1"), false},
      {"a[#######]b", -12, "a-000012b", true},
  };
  for (const Case& c : cases) {
    std::string got;
    EXPECT_EQ(tv::pin::NumberedName(c.templ, c.number, &got), c.ok) << c.templ;
    EXPECT_EQ(got, c.want) << c.templ.substr(0, 20);
    EXPECT_TRUE(!c.ok || got.size() <= 255u);
  }
}

TEST_F(PINOutputTest, InfoRecordsSwapAndConvert) {
  PIN_OutputInfo i{};
  i.version = 2, i.width = 0x01020304, i.height = 5, i.depth = 0x0102, i.frameRate = 0x00180000;
  i.soundChannels = 2, i.start = Time{-1, 600};
  PIN_OutputInfo s = i;
  ASSERT_EQ(PIN_Swap_OutputInfo(&s), 0);
  const auto* b = reinterpret_cast<const uint8_t*>(&s);
  const uint8_t head[] = {0, 0, 0, 2, 1, 2, 3, 4, 0, 0, 0, 5, 1, 2, 0, 0, 0, 0x18, 0, 0};
  EXPECT_EQ(std::memcmp(b, head, sizeof head), 0);
  EXPECT_EQ(s.soundChannels, 0x0200);
  EXPECT_EQ(s.start.value, -1);  // all ones either way
  EXPECT_EQ(s.start.scale, 0x58020000u);
  ASSERT_EQ(PIN_Swap_OutputInfo(&s), 0);
  EXPECT_EQ(std::memcmp(&s, &i, sizeof i), 0);

  PIN_OutputInfoV1 v1{};
  v1.version = 1, v1.width = 640, v1.height = 480, v1.depth = 32, v1.frameRate = 30 << 16;
  v1.soundRate = 22050 << 16, v1.soundBytes = 2, v1.soundChannels = 2, v1.flags = 9;
  PIN_OutputInfoV1 sv = v1;
  ASSERT_EQ(PIN_Swap_OutputInfoV1(&sv), 0);
  EXPECT_EQ(static_cast<uint16_t>(sv.width), 0x8002);
  ASSERT_EQ(PIN_Swap_OutputInfoV1(&sv), 0);
  EXPECT_EQ(std::memcmp(&sv, &v1, sizeof v1), 0);
  PIN_OutputInfo c = OUT(PIN_ConvertOutputInfoV1, &v1);
  EXPECT_EQ(std::tie(c.version, c.width, c.depth, c.hsfNum, c.soundEncoding, c.flags),
            std::tuple(2u, 640, 32, 1u, 2, 9u));
  v1.version = 2;
  EXPECT_EQ(PIN_ConvertOutputInfoV1(&v1, &c), 3);
  EXPECT_EQ(c.version, 0u);
}

}  // namespace
}  // namespace tv::test::pin
