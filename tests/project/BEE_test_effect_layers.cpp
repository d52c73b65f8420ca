// Effects with a layer parameter: the engine answers their checkouts of that
// layer's frame and sound with "no layer chosen" (a frame without pixels,
// silence of the span asked for), so they render instead of failing.
#include <cstring>

#include "BEE_test_frames.h"
#include "PF.h"
#include "SND.h"

namespace tv::bee::test {
namespace {

// What the effects saw of their layer parameter.
struct Seen {
  int checkouts = 0;
  bool noPixels = false;
  int32_t length = -1;
  bool silent = false;
} gSeen;

PF_Result AddLayerParam(PF_InputRecord* in, PF_OutputRecord* out) {
  PF_ParamDef def{};
  def.type = PF_Param_Layer;
  std::strcpy(def.name, "Other Layer");
  out->paramCount = 2;
  return in->addParam(in->effectRef, -1, &def);
}

// Checks its layer parameter out a frame later and passes its input on.
PF_Result Peek(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
               void*) {
  if (cmd == PF_Cmd_ParamsSetup) return AddLayerParam(in, out);
  if (cmd != PF_Cmd_Render) return 0;
  PF_ParamDef layer{};
  if (PF_Result err = in->checkoutParam(in->effectRef, 1, in->time + in->timeStep, in->timeStep, in->timeScale,
                                        &layer))
    return err;
  ++gSeen.checkouts;
  gSeen.noPixels = layer.u.world.data == nullptr;
  if (PF_Result err = in->checkinParam(in->effectRef, &layer)) return err;
  return PF_WorldCopy(in->effectRef, &params[0]->u.world, output);
}

// Checks its layer parameter's sound out (a second of 16-bit stereo at
// 48 kHz) and passes its input on.
PF_Result Listen(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef*[], PFWorld*, void* extra) {
  if (cmd == PF_Cmd_ParamsSetup) return AddLayerParam(in, out);
  if (cmd != PF_Cmd_AudioRender) return 0;
  Handle sound = nullptr;
  if (PF_Result err = in->checkoutAudio(in->effectRef, 1, 0, 600, 600, 48000, 2, 2, &sound)) return err;
  ++gSeen.checkouts;
  int32_t rate = 0, bytes = 0, channels = 0;
  in->audioData(in->effectRef, sound, &rate, &bytes, &channels, &gSeen.length);
  SND_LockBuffer(0, sound);
  void* p = nullptr;
  SNDp_GetBuffer(sound, &p);
  const auto* s = static_cast<const int16_t*>(p);
  gSeen.silent = rate == 48000 && bytes == 2 && channels == 2 &&
                 std::all_of(s, s + 2 * static_cast<ptrdiff_t>(gSeen.length), [](int16_t v) { return v == 0; });
  SND_UnlockBuffer(sound);
  if (PF_Result err = in->checkinAudio(in->effectRef, sound)) return err;
  const auto* call = static_cast<const PF_AudioCall*>(extra);
  std::memcpy(call->output, call->input, static_cast<size_t>(call->frames * call->channels * call->bytesPerSample));
  return 0;
}

class EffectLayers : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    gSeen = Seen{};
    Warm([&] {
      const FLT_StaticClass peek{"TEST Peek", "Peek", "Test", 0, 0x10000, 0xC0000, &Peek};
      const FLT_StaticClass listen{"TEST Listen", "Listen", "Test", PF_OutFlag_AudioOnly, 0x10000, 0xC0000,
                                   &Listen};
      ASSERT_EQ(FLTp_RegisterStaticClass(&peek, &peek_), 0);
      ASSERT_EQ(FLTp_RegisterStaticClass(&listen, &listen_), 0);
      BEE_Layer l = MakeSolid(MakeComp("C", 40, 30), 0xFF336699, 20, 10);
      ASSERT_EQ(BEE_CmdApplyEffect(l, peek_, nullptr), 0);
      ASSERT_EQ(BEE_CmdApplyEffect(l, listen_, nullptr), 0);
    });
  }
  int16_t peek_ = 0, listen_ = 0;
};

TEST_F(EffectLayers, AFrameCheckoutGivesNoPixelsAndTheEffectRenders) {
  BEE_Item comp = MakeComp("C", 40, 30);
  BEE_Layer layer = MakeSolid(comp, 0xFF336699, 20, 10);
  const std::vector<uint32_t> plain = Pixels(comp, 3);
  ASSERT_EQ(BEE_CmdApplyEffect(layer, peek_, nullptr), 0);
  EXPECT_EQ(Pixels(comp, 3), plain);
  EXPECT_GE(gSeen.checkouts, 1);
  EXPECT_TRUE(gSeen.noPixels);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

TEST_F(EffectLayers, ASoundCheckoutGivesSilenceOfTheSpan) {
  WriteToneWav(dir.P("tone.wav"), 1);
  BEE_Item tone = GOT(BEE_Item, BEE_CmdImportFootage, nullptr, Spec("tone.wav"), 0);
  BEE_Item comp = MakeComp("C", 40, 30);
  BEE_Layer layer = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(comp, tone, &layer), 0);
  const SND_Format f{48000, SND_Encoding_Signed, 2, 2, 0};
  const auto render = [&] {
    SND_World w = nullptr;
    EXPECT_EQ(BEE_RenderCompSound(comp, 1, Time{0, 10}, Time{5, 10}, &f, &w), 0);
    std::vector<int16_t> out;
    if (!w) return out;
    SND_WorldInfo info{};
    SNDp_GetWorldInfo(w, &info);
    SND_LockBuffer(0, w);
    void* p = nullptr;
    SNDp_GetBuffer(w, &p);
    out.assign(static_cast<int16_t*>(p), static_cast<int16_t*>(p) + 2 * info.frames);
    SND_UnlockBuffer(w);
    SND_DisposeWorld(w);
    return out;
  };
  const std::vector<int16_t> plain = render();
  ASSERT_EQ(plain.size(), 48000u);
  ASSERT_EQ(BEE_CmdApplyEffect(layer, listen_, nullptr), 0);
  EXPECT_EQ(render(), plain);
  EXPECT_GE(gSeen.checkouts, 1);
  EXPECT_EQ(gSeen.length, 48000);
  EXPECT_TRUE(gSeen.silent);
}

}  // namespace
}  // namespace tv::bee::test
