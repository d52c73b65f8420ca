// The sample plug-ins, loaded from their .tvx files through the plug-in
// registry and rendered through frame parades; a plug-in built from the SDK
// alone in another folder (by the SDK_outside_build test) loads and renders.
#include <cstdlib>

#include "FLT_test_support.h"
#include "PF.h"
#include "SND.h"

namespace tv::test {
namespace {

constexpr int32_t kW = 19, kH = 11;

struct Clock {
  int32_t time = 0;
  static ErrorCode Info(void* refcon, FLT_Parade, FLT_LayerInfo* info) {
    info->time = static_cast<Clock*>(refcon)->time;
    info->timeScale = 600;
    info->timeStep = 20;
    return 0;
  }
};

// The host side of layer parameters: one world, and the times asked for.
struct LayerHost {
  BM_World world = nullptr;
  std::vector<int32_t> times;
  int checkins = 0;
} gHost;

ErrorCode HostCheckout(uint32_t, uint32_t, int32_t time, int32_t, uint32_t, PFWorld* world) {
  gHost.times.push_back(time);
  Boolean32 failed = 0;
  BM_LockPixels(0, gHost.world, &failed);
  return PF_MakeBMIntoPF(gHost.world, nullptr, world);
}
ErrorCode HostCheckin(uint32_t, uint32_t) {
  ++gHost.checkins;
  return BM_UnlockPixels(gHost.world);
}

class FLTSamples : public FLTFixture {
 protected:
  void SetUp() override {
    FLTFixture::SetUp();
    const char* folders[] = {TAVELO_SAMPLE_PLUGINS, nullptr};
    ASSERT_EQ(FLTp_ScanPluginFolders(folders, 2), 0);
  }
  void TearDown() override {
    for (FLT_Parade p : parades_) FLT_DisposeParade(p);
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    EXPECT_EQ(PFp_LiveChunkCount(), 0);
    FLTFixture::TearDown();
  }
  BM_World World(uint32_t seed = 0, int32_t w = kW, int32_t h = kH) {
    worlds_.push_back(NewWorld(w, h, seed));
    return worlds_.back();
  }
  // A Parade (whose layer is at clock's time) holding one Sequence of match.
  FLT_Sequence One(const char* match, FLT_Parade* parade, Clock* clock = nullptr) {
    EXPECT_EQ(FLT_NewParade(clock ? Clock::Info : nullptr, clock, parade), 0);
    parades_.push_back(*parade);
    FLT_Sequence s = NewSeq(Class(match));
    EXPECT_EQ(FLT_InsertSeqParade(*parade, s, -1), 0);
    return s;
  }
  bool Reported(const std::string& text) {
    for (const Report& r : rec.reports)
      if (r.text.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<FLT_Parade> parades_;
  std::vector<BM_World> worlds_;
};

TEST_F(FLTSamples, InvertRendersAndAnswersAbout) {
  FLT_Parade p = nullptr;
  One("SMPL Invert", &p);
  BM_World in = World(3), out = World();
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(b[i], i % 4 == 0 ? a[i] : 255 - a[i]) << i;
  // The plug-in's version and out flags match its property list: no warning.
  EXPECT_FALSE(Reported("mismatch"));
  rec.clear();
  EXPECT_EQ(FLT_DoAbout(Class("SMPL Invert")), 0);
  EXPECT_EQ(rec.last().text, "Sample Invert: turns every colour into its opposite.");
  EXPECT_EQ(rec.last().severity, kSevPlain);
}

TEST_F(FLTSamples, LevelsParametersAndAnimatedRender) {
  FLT_Parade p = nullptr;
  Clock clock;
  FLT_Sequence s = One("SMPL Levels", &p, &clock);
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
  Handle stream = nullptr;
  ASSERT_EQ(FLT_SeqInqParamStream(s, 1, &stream), 0);
  auto st = reinterpret_cast<TDB_Stream>(stream);
  ASSERT_EQ(TDB_SetConstant(st, 0, nullptr, 0), 0);
  const double k0 = 0, k1 = 254;
  ASSERT_EQ(TDB_InsertKeyF(st, nullptr, 0, 1, &k0, 1, 1), 0);
  ASSERT_EQ(TDB_InsertKeyF(st, nullptr, 600, 1, &k1, 1, 1), 0);
  BM_World in = World(7), out = World();
  for (int32_t t : {0, 300}) {
    clock.time = t;
    ASSERT_EQ(Render(p, in, out, kW, kH), 0);
    const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
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
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
  for (size_t i = 0; i < a.size(); ++i) {
    const int v = a[i];
    ASSERT_EQ(b[i], i % 4 == 1 ? static_cast<int>(std::floor(v + (255 - 2 * v) * 0.5 + 0.5)) : v) << i;
  }
}

TEST_F(FLTSamples, LayerMixChecksOutTheLayerAtAnotherTime) {
  gHost = LayerHost{};
  gHost.world = World(11);
  ASSERT_EQ(FLT_InstallProcs(2, reinterpret_cast<FLT_HostProc>(HostCheckout)), 0);
  ASSERT_EQ(FLT_InstallProcs(3, reinterpret_cast<FLT_HostProc>(HostCheckin)), 0);
  FLT_Parade p = nullptr;
  Clock clock;
  clock.time = 600;
  FLT_Sequence s = One("SMPL Layer Mix", &p, &clock);
  SetConstant(s, 2, {-3});   // three frames (of 20) earlier
  SetConstant(s, 3, {100});  // all of the layer
  BM_World in = World(5), out = World();
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  EXPECT_EQ(gHost.times, std::vector<int32_t>{540});
  EXPECT_EQ(gHost.checkins, 1);
  EXPECT_EQ(Pixels(out), Pixels(gHost.world));
  SetConstant(s, 3, {0});  // none of it
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  EXPECT_EQ(Pixels(out), Pixels(in));
  EXPECT_EQ(gHost.checkins, 2);
  FLT_InstallProcs(2, nullptr);
  FLT_InstallProcs(3, nullptr);
}

TEST_F(FLTSamples, GrowAnswersALargerOutput) {
  FLT_Parade p = nullptr;
  FLT_Sequence s = One("SMPL Grow", &p);
  SetConstant(s, 1, {3});
  SetConstant(s, 2, {255, 10, 20, 30});
  FLT_FrameParade fp = nullptr;
  ASSERT_EQ(FLT_NewFrameParade(p, kW, kH, 1, &fp), 0);
  int32_t w = 0, h = 0;
  ASSERT_EQ(FLT_InqFrameParadeSize(fp, &w, &h), 0);
  EXPECT_EQ(w, kW + 6);
  EXPECT_EQ(h, kH + 6);
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
  FLT_Parade p = nullptr;
  One("SMPL Suite User", &p);
  BM_World in = World(6), out = World();
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x)
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(b[4 * static_cast<size_t>(y * kW + x) + c], a[4 * static_cast<size_t>(y * kW + kW - 1 - x) + c]);
}

TEST_F(FLTSamples, AudioGainScalesFloatSamples) {
  FLT_Parade p = nullptr;
  FLT_Sequence s = One("SMPL Audio Gain", &p);
  SetConstant(s, 1, {2.5});
  SND_Format f{48000, SND_Encoding_Signed, 2, 1, 0};
  SND_World input = nullptr, output = nullptr;
  ASSERT_EQ(SND_NewWorld(&f, nullptr, &input), 0);
  ASSERT_EQ(SND_NewWorld(nullptr, nullptr, &output), 0);
  void* samples = nullptr;
  ASSERT_EQ(SND_SizeAndLockBuffer(32, 0, input, &samples), 0);
  for (int i = 0; i < 32; ++i) static_cast<int16_t*>(samples)[i] = static_cast<int16_t>(i * 300 - 4000);
  SND_UnlockBuffer(input);
  FLT_AudioParade ap = nullptr;
  ASSERT_EQ(FLT_NewAudioParade(p, &ap), 0);
  ASSERT_EQ(FLT_RenderAudioParade(ap, 1, input, output), 0);
  SND_WorldInfo info{};
  ASSERT_EQ(SNDp_GetWorldInfo(output, &info), 0);
  EXPECT_EQ(info.format.encoding, SND_Encoding_Float);
  ASSERT_EQ(SND_LockBuffer(0, output), 0);
  SNDp_GetBuffer(output, &samples);
  for (int i = 0; i < 32; ++i)
    EXPECT_FLOAT_EQ(static_cast<float*>(samples)[i], 2.5f * static_cast<float>(i * 300 - 4000) / 32768.0f) << i;
  SND_UnlockBuffer(output);
  FLT_DisposeAudioParade(ap);
  SND_DisposeWorld(input);
  SND_DisposeWorld(output);
}

// Run by the SDK_outside_build test after it built sample_invert from the
// SDK alone in a folder of its own.
TEST_F(FLTSamples, OutsideBuildLoadsAndRenders) {
  const char* dir = std::getenv("TAVELO_OUTSIDE_PLUGINS");
  if (!dir) GTEST_SKIP() << "run by the SDK_outside_build test";
  const char* folders[] = {dir, nullptr};
  ASSERT_EQ(FLTp_ScanPluginFolders(folders, 2), 0);
  FLT_Parade p = nullptr;
  One("OUTS Invert", &p);
  BM_World in = World(4), out = World();
  ASSERT_EQ(Render(p, in, out, kW, kH), 0);
  const std::vector<uint8_t> a = Pixels(in), b = Pixels(out);
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(b[i], i % 4 == 0 ? a[i] : 255 - a[i]) << i;
}

}  // namespace
}  // namespace tv::test
