// Frame blending while drawing between frames: the deep accumulation at best
// quality against shares of the output frame, and where no blending happens.
#include <cmath>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

class PINBlendTest : public PINTest {
 protected:
  void SetUp() override {
    PINTest::SetUp();
    for (uint32_t k = 0; k < 4; ++k) WriteTsf(dir.P("b_" + std::to_string(k) + ".tsf"), 5, 3, 10 + 50 * k);
    seq = Opened(dir.P("b_0.tsf"), PIN_Import_Sequence);
    ASSERT_EQ(PIN_SetSequenceFPS(seq, 10 << 16), 0);  // frames of 0.1 s
    world = World(5, 3);
  }
  // Draws at value/scale seconds; the ARGB bytes.
  std::vector<uint8_t> Draw(int32_t value, uint32_t scale, uint32_t flags, int32_t quality = 0,
                            Time span = Time{0, 0}) {
    PIN_DrawParams p{};
    p.time = Time{value, scale};
    p.flags = flags;
    p.quality = quality;
    p.frameDuration = span;
    EXPECT_EQ(PIN_DrawFrame(seq, world, &p), 0);
    return Argb(world);
  }
  std::vector<uint8_t> FrameBytes(int k) { return Draw(k, 10, 0); }

  PIN_SeqSpecH seq = nullptr;
  BM_World world = nullptr;
};

TEST_F(PINBlendTest, BestQualityAccumulatesEveryOverlappedFrame) {
  std::vector<std::vector<uint8_t>> f;
  for (int k = 0; k < 4; ++k) f.push_back(FrameBytes(k));
  // (start, output frame length, shares of frames 0..3)
  struct Case {
    Time start, span;
    double share[4];
  } cases[] = {
      {{1, 20}, {3, 20}, {1.0 / 3, 2.0 / 3, 0, 0}},
      {{1, 20}, {1, 4}, {0.2, 0.4, 0.4, 0}},
      {{1, 10}, {1, 10}, {0, 1, 0, 0}},
      {{35, 100}, {1, 10}, {0, 0, 0, 1}},  // runs past the end: the last frame alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.start.value) + "/" + std::to_string(c.start.scale));
    const std::vector<uint8_t> got = Draw(c.start.value, c.start.scale, PIN_Draw_FrameBlend, 1, c.span);
    ASSERT_EQ(got.size(), f[0].size());
    for (size_t i = 0; i < got.size(); ++i) {
      double v = 0;
      for (int k = 0; k < 4; ++k) v += c.share[k] * f[static_cast<size_t>(k)][i];
      ASSERT_LE(std::fabs(got[i] - v), 0.5 + 1e-3) << i;
    }
  }
  // Without the flag the frame at or before the time is drawn.
  EXPECT_EQ(Draw(1, 20, 0), f[0]);
  // A still frame of footage without time is never blended.
  PIN_SeqSpecH still = Opened(dir.P("b_2.tsf"));
  PIN_DrawParams p{};
  p.time = Time{1, 20};
  p.flags = PIN_Draw_FrameBlend;
  EXPECT_EQ(PIN_DrawFrame(still, world, &p), 0);
  EXPECT_EQ(rec.reports.size(), 0u);
}

}  // namespace
}  // namespace tv::test::pin
