// Motion blur's shutter phase: where the shutter opens, after the frame's
// time, in hundredths of a degree of a frame. A whole turn later is the next
// frame's blur; a phase beyond a whole turn either way is refused and leaves
// the preferences as they were.
#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

class ShutterPhase : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] { Pixels(Build(), 0); });
    ASSERT_EQ(BEE_GetPrefs(&saved_), 0);
  }
  void TearDown() override {
    BEE_SetPrefs(&saved_);
    FramesFixture::TearDown();
  }
  // A bar moving 6 pixels a frame across a 64 x 8 composition, blurred.
  BEE_Item Build() {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_Item comp = MakeComp("C", 64, 8);
    BEE_Layer layer = MakeSolid(comp, 0xFFFFFFFF, 4, 8);
    SetAt(layer, BEE_StreamPosition, 0, {2, 4});
    SetAt(layer, BEE_StreamPosition, 10, {62, 4});
    EXPECT_EQ(BEE_CmdSetLayerSwitch(layer, BEE_SwitchMotionBlur, 1), 0);
    EXPECT_EQ(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchMotionBlur, 1), 0);
    return comp;
  }
  static void Phase(int32_t phase, ErrorCode want = 0) {
    BEE_Prefs p = GOT(BEE_Prefs, BEE_GetPrefs);
    p.shutterPhase = phase;
    ASSERT_EQ(BEE_SetPrefs(&p), want) << phase;
  }
  BEE_Prefs saved_{};
};

TEST_F(ShutterPhase, AWholeTurnLaterIsTheNextFramesBlurAndNoMore) {
  BEE_Item comp = Build();
  EXPECT_EQ(saved_.shutterPhase, 0);
  const std::vector<uint32_t> now = Pixels(comp, 4), next = Pixels(comp, 5);
  Phase(36000);
  EXPECT_EQ(Pixels(comp, 4), next);
  Phase(-36000);
  EXPECT_EQ(Pixels(comp, 5), now);
  Phase(18000);
  EXPECT_NE(Pixels(comp, 4), now);
  rec.clear();
  for (int32_t bad : {36001, -36001, INT32_MIN}) Phase(bad, kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 3u);
  EXPECT_EQ(rec.last().text, "Test error: invalid engine preferences -- a bad parameter was passed.");
  EXPECT_EQ(GOT(BEE_Prefs, BEE_GetPrefs).shutterPhase, 18000);
}

}  // namespace
}  // namespace tv::bee::test
