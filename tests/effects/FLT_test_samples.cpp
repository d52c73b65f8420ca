// The sample plug-ins, loaded from their .tvx files through the plug-in
// registry and rendered through frame parades; a plug-in built from the SDK
// alone in another folder (by the SDK_outside_build test) loads and renders.
#include <cstdlib>

#include "FLT_test_support.h"
#include "PF.h"
#include "SND.h"

namespace tv::test {
namespace {

class FLTSamples : public FLTFixture {
 protected:
  void SetUp() override {
    FLTFixture::SetUp();
    const char* folders[] = {TAVELO_SAMPLE_PLUGINS, nullptr};
    ASSERT_EQ(FLTp_ScanPluginFolders(folders, 2), 0);
  }
  void TearDown() override {
    DisposeKept();
    EXPECT_EQ(PFp_LiveChunkCount(), 0);
    FLTFixture::TearDown();
  }
  // A Parade (whose layer is at clock's time) holding one Sequence of match.
  FLT_Parade One(const char* match, Clock* clock = nullptr) {
    FLT_Parade p = nullptr;
    EXPECT_EQ(FLT_NewParade(clock ? Clock::Info : nullptr, clock, &p), 0);
    EXPECT_EQ(FLT_InsertSeqParade(Keep(p), NewSeq(Class(match)), -1), 0);
    return p;
  }
  // Renders p over a new world of the given seed, which is answered with the result.
  std::pair<std::vector<uint8_t>, std::vector<uint8_t>> InOut(FLT_Parade p, uint32_t seed) {
    BM_World in = World(seed);
    return {Pixels(in), Rendered(p, in)};
  }
};

TEST_F(FLTSamples, InvertRendersAndAnswersAbout) {
  const auto [a, b] = InOut(One("SMPL Invert"), 3);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(b[i], i % 4 == 0 ? a[i] : 255 - a[i]) << i;
  // The plug-in's version and out flags match its property list: no warning.
  EXPECT_EQ(Reports("mismatch"), 0);
  rec.clear();
  EXPECT_EQ(FLT_DoAbout(Class("SMPL Invert")), 0);
  EXPECT_EQ(rec.last().text, "Sample Invert: turns every colour into its opposite.");
  EXPECT_EQ(rec.last().severity, kSevPlain);
}

TEST_F(FLTSamples, LevelsParametersAndAnimatedRender) {
  Clock clock;
  FLT_Parade p = One("SMPL Levels", &clock);
  FLT_Sequence s = SeqOf(p, 0);
  int32_t count = 0;
  ASSERT_EQ(FLT_SeqInqNumParams(s, &count), 0);
  EXPECT_EQ(count, 8);
  // The label and choice texts were copied into the records.
  uint32_t words[PF_ParamUnionWords] = {};
  ASSERT_EQ(FLT_SeqInqParamUnion(s, 5, words), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(words) + PF_Byte_Text, "Invert the result");
  ASSERT_EQ(FLT_SeqInqParamUnion(s, 6, words), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(words) + PF_Byte_Text, "All|Red|Green|Blue");
  // Input black animates from 0 at time 0 to 254 at 600: at 300 it is 127,
  // so values up to 127 become 0 and 255 stays 255.
  Animate(s, 1, {{0, {0}}, {600, {254}}});
  for (int32_t t : {0, 300}) {
    clock.time = t;
    const auto [a, b] = InOut(p, 7);
    for (size_t i = 0; i < a.size(); ++i) {
      const int v = a[i];
      const int want = i % 4 == 0 || t == 0 ? v : v <= 127 ? 0 : static_cast<int>(std::floor((v - 127) * 255.0 / 128 + 0.5));
      ASSERT_EQ(b[i], want) << "time " << t << " byte " << i;
    }
  }
  // At time 0 (black 0): invert, red channel only, half mix.
  clock.time = 0;
  SetConstant(s, 4, {50});
  SetConstant(s, 5, {1});
  SetConstant(s, 6, {2});
  const auto [a, b] = InOut(p, 7);
  for (size_t i = 0; i < a.size(); ++i) {
    const int v = a[i];
    ASSERT_EQ(b[i], i % 4 == 1 ? static_cast<int>(std::floor(v + (255 - 2 * v) * 0.5 + 0.5)) : v) << i;
  }
}

TEST_F(FLTSamples, ADuplicateHasDataOfItsOwn) {
  // The levels plug-in keeps its table in a chunk named by its sequence
  // data. A copy of the layer's effects (a duplicate, an undo record) must
  // not share it: disposing the copy would free the chunk the original
  // renders with.
  FLT_Parade p = One("SMPL Levels");
  const auto [a, before] = InOut(p, 5);
  const int64_t chunks = PFp_LiveChunkCount();
  FLT_Parade copy = nullptr;
  ASSERT_EQ(FLT_ParadeDuplicate(p, nullptr, nullptr, nullptr, nullptr, &copy), 0);
  EXPECT_EQ(PFp_LiveChunkCount(), chunks + 1);
  EXPECT_EQ(InOut(copy, 5).second, before);
  ASSERT_EQ(FLT_DisposeParade(copy), 0);
  EXPECT_EQ(PFp_LiveChunkCount(), chunks);
  EXPECT_EQ(InOut(p, 5).second, before);
}

TEST_F(FLTSamples, LayerMixChecksOutTheLayerAtAnotherTime) {
  LayerHost host{World(11)};
  host.Install();
  Clock clock{600};
  FLT_Parade p = One("SMPL Layer Mix", &clock);
  FLT_Sequence s = SeqOf(p, 0);
  SetConstant(s, 2, {-3});   // three frames (of 20) earlier
  SetConstant(s, 3, {100});  // all of the layer
  BM_World in = World(5);
  EXPECT_EQ(Rendered(p, in), Pixels(host.world));
  EXPECT_EQ(std::make_pair(host.times, host.checkins), std::make_pair(std::vector<int32_t>{540}, 1));
  SetConstant(s, 3, {0});  // none of it
  EXPECT_EQ(Rendered(p, in), Pixels(in));
  EXPECT_EQ(host.checkins, 2);
}

TEST_F(FLTSamples, GrowAnswersALargerOutput) {
  FLT_Parade p = One("SMPL Grow");
  FLT_Sequence s = SeqOf(p, 0);
  SetConstant(s, 1, {3});
  SetConstant(s, 2, {255, 10, 20, 30});
  FLT_FrameParade fp = nullptr;
  ASSERT_EQ(FLT_NewFrameParade(p, kW, kH, 1, &fp), 0);
  int32_t w = 0, h = 0;
  ASSERT_EQ(FLT_InqFrameParadeSize(fp, &w, &h), 0);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(kW + 6, kH + 6));
  BM_World in = World(9), out = World(0, w, h);
  ASSERT_EQ(FLT_RenderFrParade(fp, 0, in, out), 0);
  ASSERT_EQ(FLT_DisposeFrParade(fp), 0);
  const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* got = &b[4 * static_cast<size_t>(y * w + x)];
      const bool inside = x >= 3 && x < 3 + kW && y >= 3 && y < 3 + kH;
      const uint8_t border[4] = {255, 10, 20, 30};
      const uint8_t* want = inside ? &a[4 * static_cast<size_t>((y - 3) * kW + (x - 3))] : border;
      ASSERT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(want, want + 4)) << x << "," << y;
    }
}

TEST_F(FLTSamples, SuiteUserMirrorsThroughABlockOfTheBasicSuite) {
  const auto [a, b] = InOut(One("SMPL Suite User"), 6);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x)
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(b[4 * static_cast<size_t>(y * kW + x) + c], a[4 * static_cast<size_t>(y * kW + kW - 1 - x) + c]);
}

TEST_F(FLTSamples, AudioGainScalesFloatSamples) {
  FLT_Parade p = One("SMPL Audio Gain");
  FLT_Sequence s = SeqOf(p, 0);
  SetConstant(s, 1, {2.5});
  const SND_Format f{48000, SND_Encoding_Signed, 2, 1, 0};
  SND_World input = Sound(&f, 32, [](int i) { return static_cast<int16_t>(i * 300 - 4000); }), output = Sound();
  ASSERT_EQ(RenderAudio(p, input, output), 0);
  EXPECT_EQ(Encoding(output), SND_Encoding_Float);
  const std::vector<float> v = Samples<float>(output, 32);
  for (int i = 0; i < 32; ++i) EXPECT_FLOAT_EQ(v[i], 2.5f * static_cast<float>(i * 300 - 4000) / 32768.0f) << i;
}

// Run by the SDK_outside_build test after it built sample_invert from the
// SDK alone in a folder of its own.
TEST_F(FLTSamples, OutsideBuildLoadsAndRenders) {
  const char* dir = std::getenv("TAVELO_OUTSIDE_PLUGINS");
  if (!dir) GTEST_SKIP() << "run by the SDK_outside_build test";
  const char* folders[] = {dir, nullptr};
  ASSERT_EQ(FLTp_ScanPluginFolders(folders, 2), 0);
  const auto [a, b] = InOut(One("OUTS Invert"), 4);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(b[i], i % 4 == 0 ? a[i] : 255 - a[i]) << i;
}

}  // namespace
}  // namespace tv::test
