// Drawing frames through modules: whole, scaled and partial frames, the
// checks of time and World, the alpha steps, and the missing-footage frame
// pinned by its digest.
#include "Digest.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using tv::pin::PixelLock;

class PINDrawTest : public PINTest {
 protected:
  static uint64_t Hash(BM_World world) {
    PixelLock px(world);
    Digest d;
    for (int32_t y = 0; y < px.height(); ++y) d.Bytes(px.Row(y), 4 * static_cast<size_t>(px.width()));
    return d.value();
  }
  static PIN_DrawParams At(int32_t value, uint32_t scale) {
    PIN_DrawParams p{};
    p.time = Time{value, scale};
    return p;
  }
};

TEST_F(PINDrawTest, WholeScaledAndPartialFrames) {
  WriteTsf(dir.P("d_1.tsf"), 8, 6, 11);
  PIN_SeqSpecH seq = Opened(dir.P("d_1.tsf"));
  PIN_DrawParams p = At(0, 1);
  BM_World whole = World(8, 6);
  ASSERT_EQ(PIN_DrawFrame(seq, whole, &p), 0);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(Pixel(whole, x, y), TsfPixel(11, x, y)) << x << "," << y;

  p.scaleX = p.scaleY = Ratio{1, 2};
  BM_World half = World(4, 3);
  ASSERT_EQ(PIN_DrawFrame(seq, half, &p), 0);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(Pixel(half, x, y), TsfPixel(11, 2 * x, 2 * y));

  p = At(0, 1);
  p.part = LRect{2, 1, 6, 4};
  BM_World part = World(4, 3);
  ASSERT_EQ(PIN_DrawPartialFrame(seq, part, &p), 0);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(Pixel(part, x, y), TsfPixel(11, x + 2, y + 1));
}

TEST_F(PINDrawTest, BadTimesAndWorlds) {
  WriteTsf(dir.P("b.tsf"), 8, 6, 1);
  PIN_SeqSpecH seq = Opened(dir.P("b.tsf"));
  struct Case {
    BM_World world;
    PIN_DrawParams params;
    ErrorCode code;
    std::string text;
  } cases[] = {
      {World(8, 6), At(0, 0), 9991, Logged("bad parameters: invalid sample time for sequence.", 9991)},
      {World(8, 6), At(INT32_MIN, 1), 9991,
       Logged("bad parameters: invalid sample time for sequence.", 9991)},
      {World(7, 6), At(0, 1), 3,
       "Test error: attempt to draw into world of wrong size -- a bad parameter was passed."},
      {World(8, 6, 8), At(0, 1), 3,
       "Test error: attempt to draw into world of wrong non 32-bit world -- a bad parameter was passed."},
  };
  for (const Case& c : cases) {
    rec.clear();
    EXPECT_EQ(PIN_DrawFrame(seq, c.world, &c.params), c.code);
    ExpectOnly(c.text);
  }
  rec.clear();
  PIN_DrawParams p = At(0, 1);
  EXPECT_EQ(PIN_DrawSparseFrame(seq, World(8, 6), &p), PIN_ErrObsolete);
  EXPECT_EQ(rec.last().text, Logged("unimplemented routine.", 9986));
}

TEST_F(PINDrawTest, MissingFootageFrameIsPinned) {
  PIN_SeqSpecH seq = nullptr;
  const Time d{10, 1};
  ASSERT_EQ(PIN_NewSeqSpecMissingPlus(320, 240, &d, 30 << 16, &seq), 0);
  BM_World a = World(320, 240), b = World(320, 240);
  PIN_DrawParams p = At(3, 1);
  ASSERT_EQ(PIN_DrawFrame(seq, a, &p), 0);
  ASSERT_EQ(PIN_DrawFrame(seq, b, &p), 0);
  EXPECT_EQ(Hash(a), Hash(b));
  EXPECT_EQ(Hash(a), 8232213393454189237ull);
  EXPECT_EQ(Pixel(a, 0, 0), 0xFFC02020u);
  EXPECT_EQ(Pixel(a, 5, 100), 0xFF505050u);
  // Any size down to a few pixels.
  const Ratio tiny[2] = {{1, 64}, {1, 64}};
  int32_t w = 0, h = 0;
  ASSERT_EQ(PIN_GetDimensions(seq, tiny, &w, &h, nullptr), 0);
  p.scaleX = tiny[0], p.scaleY = tiny[1];
  EXPECT_EQ(PIN_DrawFrame(seq, World(w, h), &p), 0);
  EXPECT_EQ(PIN_DisposeSeqSpec(seq), 0);
}

}  // namespace
}  // namespace tv::test::pin
