// Footage time as a composition shows it: a time-remapped layer lasts as
// long as its layer times say, holding its source's last frame and playing
// it backwards; frame blending, asked for by the layer and enabled by the
// composition, mixes neighbouring frames by the time between them and
// survives a save. The clip is made by the ffmpeg tool: frame n is grey
// 20 + 20n.
#include <cstdlib>

#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

constexpr int kClipFrames = 10;

class FootageTime : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    for (int rate : {10, 30}) {
      const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i 'color=c=black:s=8x8:r=" + std::to_string(rate) +
                              ":d=1' -vf 'trim=end_frame=" + std::to_string(kClipFrames) +
                              ",format=gray,geq=lum=20+20*N' -c:v png '" + dir.P("clip" + std::to_string(rate) + ".mov") +
                              "'";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    Warm([&] {
      Frame(Build(30), 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 0, nullptr), 0);
    });
  }
  // A 2 s composition (8 x 8, 30 fps) with a layer of the clip at rate.
  BEE_Item Build(int rate) {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_CompSettings s = Settings("C", 8, 8, 30u << 16, Time{2, 1});
    BEE_Item comp = nullptr, clip = nullptr;
    EXPECT_EQ(BEE_CmdNewComp(nullptr, &s, &comp), 0);
    EXPECT_EQ(BEE_CmdImportFootage(nullptr, Spec("clip" + std::to_string(rate) + ".mov"), 0, &clip), 0);
    EXPECT_EQ(BEE_CmdNewLayer(comp, clip, &layer_), 0);
    return comp;
  }
  // The grey of the composition's frame (its red at the centre).
  static int Grey(BEE_Item comp, int32_t frame) {
    const std::vector<uint32_t> px = Pixels(comp, frame);
    return px.empty() ? -1 : static_cast<int>((px[4 * 8 + 4] >> 16) & 0xFF);
  }
  BEE_Layer layer_ = nullptr;
};

// Ten frames remapped over 2 s: forwards to 1 s (holding the last frame
// after a third of a second), then back to the start.
TEST_F(FootageTime, RemappedShortClipIsHeldAndReversed) {
  BEE_Item comp = Build(30);
  ASSERT_EQ(BEE_CmdSetLayerTimes(layer_, Time{0, 1}, Time{0, 1}, Time{2, 1}), 0);
  TDB_Stream keyed = KeyableCopy(layer_, BEE_StreamTimeRemap);
  TDB_StreamInfo info = GOT(TDB_StreamInfo, TDB_GetStreamInfo, keyed);
  const auto scale = static_cast<int32_t>(info.timeScale);
  for (auto [at, v] : {std::pair{0, 0.0}, {1, 1.0}, {2, 0.0}})
    ASSERT_EQ(TDB_InsertKeyF(keyed, nullptr, at * scale, 1, &v, TDB_InterpLinear, TDB_InterpLinear), 0);
  ASSERT_EQ(BEE_CmdSetStreamKeys(layer_, BEE_StreamTimeRemap, keyed), 0);
  Time out{};
  ASSERT_EQ(BEE_GetLayerTime(layer_, BEE_LayerTimeOutClipped, &out, nullptr), 0);
  EXPECT_EQ(t::Compare(out, Time{2, 1}), 0);
  for (int32_t frame : {0, 5, 9, 10, 20, 29, 30, 45, 51, 52, 55, 59}) {
    const int shown = frame < 30 ? std::min(frame, kClipFrames - 1) : std::min(60 - frame, kClipFrames - 1);
    EXPECT_EQ(Grey(comp, frame), 20 + 20 * shown) << "frame " << frame;
  }
}

// A 10 fps clip in a 30 fps composition: blended, frame k mixes source
// frames k / 3 and k / 3 + 1 by a third of a frame per composition frame;
// off (either switch), each source frame shows three times.
TEST_F(FootageTime, FrameBlendingMixesByTheTimeBetweenFrames) {
  BEE_Item comp = Build(10);
  ASSERT_EQ(BEE_CmdSetLayerQuality(layer_, BEE_QualityDraft), 0);
  const auto expect = [&](bool blended, const char* what) {
    for (int32_t k = 0; k < 3 * (kClipFrames - 1); ++k) {
      const int n = k / 3, a = 20 + 20 * n;
      const double mixed = blended ? a + 20.0 * (k % 3) / 3.0 : a;
      EXPECT_NEAR(Grey(comp, k), mixed, 1.0) << what << ", frame " << k;
    }
  };
  ASSERT_EQ(BEE_CmdSetLayerSwitch(layer_, BEE_SwitchFrameBlend, 1), 0);
  expect(false, "layer only");
  ASSERT_EQ(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchFrameBlend, 1), 0);
  expect(true, "blended");
  // Saved and opened again, both switches hold.
  ASSERT_EQ(BEE_CmdSaveProject(Spec("blend.tvp"), 0, 0), 0);
  ASSERT_EQ(BEE_CmdOpenProject(Spec("blend.tvp"), 0, nullptr), 0);
  comp = FindComp("C");
  layer_ = Layer(comp, 0);
  expect(true, "reopened");
  ASSERT_EQ(BEE_CmdSetLayerSwitch(layer_, BEE_SwitchFrameBlend, 0), 0);
  expect(false, "layer off");
}

// The clip replaced on disk by a wider one while the project was closed:
// its frames are refused with one report naming it (they once failed with 3
// and no report), and the project still opens.
TEST_F(FootageTime, AMovieReplacedByOneOfAnotherSizeIsRefusedByName) {
  Build(30);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  ASSERT_EQ(BEE_NewProject(), 0);
  const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i 'color=c=red:s=16x8:r=30:d=1' -c:v png '" +
                          dir.P("clip30.mov") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  ASSERT_EQ(BEE_CmdOpenProject(Spec("p.tvp"), 0, nullptr), 0);
  rec.clear();
  ErrorCode err = 0;
  Frame(FindComp("C"), 0, &err);
  EXPECT_EQ(err, PIN_ErrCannotImport);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text,
            "Test error: file 'clip30.mov' cannot be imported -- it is 16 x 8 pixels where the footage is 8 x 8 "
            "(2703).");
}

}  // namespace
}  // namespace tv::bee::test
