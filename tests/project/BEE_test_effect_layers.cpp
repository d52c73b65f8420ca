// Effects with a layer parameter. With no layer chosen the engine answers
// their checkouts of that layer's frame and sound with "no layer chosen" (a
// frame without pixels, silence of the span asked for), so they render
// instead of failing. A chosen layer of the composition is read with its
// masks and effects, kept through undo, files, imports and duplicates.
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
  std::vector<int16_t> heard;  // the last sound checked out
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
  gSeen.heard.assign(s, s + 2 * static_cast<ptrdiff_t>(std::max(gSeen.length, 0)));
  SND_UnlockBuffer(sound);
  if (PF_Result err = in->checkinAudio(in->effectRef, sound)) return err;
  const auto* call = static_cast<const PF_AudioCall*>(extra);
  std::memcpy(call->output, call->input, static_cast<size_t>(call->frames * call->channels * call->bytesPerSample));
  return 0;
}

// Shows its layer parameter's frame in place of its input when it has
// pixels of the input's size; else passes its input on.
PF_Result Take(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
               void*) {
  if (cmd == PF_Cmd_ParamsSetup) return AddLayerParam(in, out);
  if (cmd != PF_Cmd_Render) return 0;
  PF_ParamDef layer{};
  if (PF_Result err = in->checkoutParam(in->effectRef, 1, in->time, in->timeStep, in->timeScale, &layer))
    return err;
  ++gSeen.checkouts;
  const PFWorld& src = params[0]->u.world;
  const bool shown =
      layer.u.world.data && layer.u.world.width == src.width && layer.u.world.height == src.height;
  PF_Result err = PF_WorldCopy(in->effectRef, shown ? &layer.u.world : &src, output);
  if (PF_Result back = in->checkinParam(in->effectRef, &layer); !err) err = back;
  return err;
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
      const FLT_StaticClass take{"TEST Take", "Take", "Test", 0, 0x10000, 0xC0000, &Take};
      ASSERT_EQ(FLTp_RegisterStaticClass(&peek, &peek_), 0);
      ASSERT_EQ(FLTp_RegisterStaticClass(&listen, &listen_), 0);
      ASSERT_EQ(FLTp_RegisterStaticClass(&take, &take_), 0);
      BEE_Layer l = MakeSolid(MakeComp("C", 40, 30), 0xFF336699, 20, 10);
      ASSERT_EQ(BEE_CmdApplyEffect(l, peek_, nullptr), 0);
      ASSERT_EQ(BEE_CmdApplyEffect(l, listen_, nullptr), 0);
      // Masks drawn, and a layer read, once.
      TwoLayers();
      ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, read_), 0);
      Halves(comp_);
      ASSERT_EQ(BEE_CmdApplyEffect(shown_, peek_, nullptr), 0);  // the kept scratch world
      Halves(comp_);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdImportProject(Spec("warm.tvp"), nullptr), 0);
      GOT(BEE_Item, BEE_CmdDuplicateComp, comp_);
    });
    comp_ = nullptr, read_ = shown_ = nullptr;
  }
  // A 40 x 30 composition: "Shown" (red, 20 x 10, on top) takes the frame
  // of what its effect chooses; "Read" (blue, 20 x 10, its right half
  // masked away) sits at the same place below it.
  void TwoLayers() {
    comp_ = MakeComp("C", 40, 30);
    read_ = MakeSolid(comp_, 0xFF0000FF, 20, 10);
    AddShapeMask(read_, OM_TypeRect, FixedRect{0, 0, 10 << 16, 10 << 16});
    shown_ = MakeSolid(comp_, 0xFFFF0000, 20, 10);
    ASSERT_EQ(BEE_CmdApplyEffect(shown_, take_, nullptr), 0);
  }
  BEE_Layer Chosen(BEE_Layer layer) {
    BEE_Layer target = nullptr;
    EXPECT_EQ(BEE_GetEffectParamLayer(layer, 0, 1, &target), 0);
    return target;
  }
  // The pixels at (12, 15) and (27, 15): the layers' left and right halves.
  std::pair<uint32_t, uint32_t> Halves(BEE_Item comp) {
    const std::vector<uint32_t> p = Pixels(comp, 0);
    return p.size() == 40 * 30 ? std::pair{p[15 * 40 + 12], p[15 * 40 + 27]} : std::pair{0u, 0u};
  }
  int16_t peek_ = 0, listen_ = 0, take_ = 0;
  BEE_Item comp_ = nullptr;
  BEE_Layer read_ = nullptr, shown_ = nullptr;
};

TEST_F(EffectLayers, AChosenLayerIsReadWithItsMasksAndUndone) {
  TwoLayers();
  const auto red = std::pair{0xFFFF0000u, 0xFFFF0000u};
  EXPECT_EQ(Halves(comp_), red);
  EXPECT_EQ(Chosen(shown_), nullptr);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, read_), 0);
  EXPECT_EQ(UndoName(), "Effect Layer Change");
  EXPECT_EQ(Chosen(shown_), read_);
  // Blue where the mask keeps it; the masked half is transparent, so the
  // blue layer below shows only through the left half of nothing: clear.
  EXPECT_EQ(Halves(comp_), (std::pair{0xFF0000FFu, 0u}));
  // Hidden, it is read all the same.
  ASSERT_EQ(BEE_CmdSetLayerSwitch(read_, BEE_SwitchVideo, 0), 0);
  EXPECT_EQ(Halves(comp_), (std::pair{0xFF0000FFu, 0u}));
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Chosen(shown_), nullptr);
  EXPECT_EQ(Halves(comp_), red);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Chosen(shown_), read_);
  // Deleted, it reads as none until the deletion is undone.
  ASSERT_EQ(BEE_CmdDeleteLayer(read_), 0);
  EXPECT_EQ(Chosen(shown_), nullptr);
  EXPECT_EQ(Halves(comp_), red);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Chosen(shown_), read_);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
  // Refused: the effect's own layer, another composition's, the input (0)
  // and a parameter of another kind.
  BEE_Layer other = MakeSolid(MakeComp("D", 8, 8), 0xFF00FF00, 8, 8);
  ASSERT_EQ(BEE_CmdApplyEffect(other, listen_, nullptr), 0);
  EXPECT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, shown_), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, other), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 0, read_), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetEffectParamLayer(shown_, 1, 1, read_), kErrRange);
  EXPECT_EQ(Chosen(shown_), read_);
}

TEST_F(EffectLayers, LayersReadingEachOtherReadNoneInside) {
  TwoLayers();
  ASSERT_EQ(BEE_CmdApplyEffect(read_, take_, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, read_), 0);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(read_, 0, 1, shown_), 0);
  // Shown reads Read, whose effect would read Shown again: inside, none, so
  // Read's effect passes on its masked blue. Read itself, below, reads Shown,
  // whose effect reads none inside: Read shows Shown's whole red.
  EXPECT_EQ(Halves(comp_), (std::pair{0xFF0000FFu, 0xFFFF0000u}));
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

// Chains of several effects on both sides: the layer read renders its chain
// inside the reading effect's call, while the reading chain's scratch
// world is in use.
TEST_F(EffectLayers, ChainsRenderInsideChains) {
  BEE_Item comp = MakeComp("C", 40, 30);
  BEE_Layer read = MakeSolid(comp, 0xFF0000FF, 40, 30);  // larger than the scratch the reader uses
  BEE_Layer shown = MakeSolid(comp, 0xFFFF0000, 20, 10);
  // Peek writes the chain's scratch world, which Take reads as its input.
  ASSERT_EQ(BEE_CmdApplyEffect(shown, peek_, nullptr), 0);
  ASSERT_EQ(BEE_CmdApplyEffect(shown, take_, nullptr), 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(BEE_CmdApplyEffect(read, peek_, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown, 1, 1, read), 0);
  // Of another size, the frame read is not shown: the red passes.
  EXPECT_EQ(Halves(comp), (std::pair{0xFFFF0000u, 0xFFFF0000u}));
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

// Pasted with the layer it reads, an effect reads the pasted copy; pasted
// alone, it reads the layer itself where it was copied from, and none in
// another composition or project.
TEST_F(EffectLayers, PastedLayersReadWhatCameAlong) {
  TwoLayers();
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, read_), 0);
  const auto scrapOf = [](std::initializer_list<BEE_Layer> layers) {
    BEE_Scrap s = GOT(BEE_Scrap, BEE_NewScrap);
    for (BEE_Layer l : layers) EXPECT_EQ(BEE_CopyLayerToScrap(s, l), 0);
    return s;
  };
  BEE_Scrap both = scrapOf({shown_, read_}), alone = scrapOf({shown_});
  BEE_Item other = MakeComp("D", 40, 30);
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(other, both), 0);
  EXPECT_EQ(Chosen(Layer(other, 0)), Layer(other, 1));
  EXPECT_EQ(Halves(other), Halves(comp_));
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(comp_, alone), 0);
  EXPECT_EQ(Chosen(Layer(comp_, 0)), read_);
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(other, alone), 0);
  EXPECT_EQ(Chosen(Layer(other, 0)), nullptr);
  // A new project numbers its layers from the start again: the ID read is
  // some other layer's there.
  ASSERT_EQ(BEE_NewProject(), 0);
  BEE_Item fresh = MakeComp("E", 40, 30);
  for (int i = 0; i < 4; ++i) MakeSolid(fresh, 0xFF00FF00, 20, 10);
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(fresh, alone), 0);
  EXPECT_EQ(Chosen(Layer(fresh, 0)), nullptr);
  BEE_DisposeScrap(both);
  BEE_DisposeScrap(alone);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

TEST_F(EffectLayers, AChoiceIsKeptByFilesImportsAndDuplicates) {
  TwoLayers();
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(shown_, 0, 1, read_), 0);
  const auto want = Halves(comp_);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  ASSERT_EQ(BEE_CmdOpenProject(Spec("p.tvp"), 0, nullptr), 0);
  BEE_Item comp = FindComp("C");
  EXPECT_EQ(Chosen(Layer(comp, 0)), Layer(comp, 1));
  EXPECT_EQ(Halves(comp), want);
  // Imported beside itself, each reads its own layer (IDs are offset).
  BEE_Item folder = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, "In");
  ASSERT_EQ(BEE_CmdImportProject(Spec("p.tvp"), folder), 0);
  BEE_Item imported = FindComp("C", folder);
  ASSERT_NE(imported, nullptr);
  EXPECT_EQ(Chosen(Layer(imported, 0)), Layer(imported, 1));
  EXPECT_EQ(Halves(imported), want);
  // A duplicated composition's effect reads the duplicate's layer.
  BEE_Item copy = GOT(BEE_Item, BEE_CmdDuplicateComp, comp);
  EXPECT_EQ(Chosen(Layer(copy, 0)), Layer(copy, 1));
  EXPECT_EQ(Halves(copy), want);
  // A favorite reads no layer where it is applied, even where the layer it
  // read is.
  ASSERT_EQ(BEE_SaveFavorite(Spec("fav.ffx"), 0, 0, Parade(Layer(comp, 0))), 0);
  BEE_Layer plain = Layer(comp, 1);
  ASSERT_EQ(BEE_CmdApplyFavorite(Spec("fav.ffx"), plain), 0);
  BEE_Layer read = nullptr;
  ASSERT_EQ(BEE_GetEffectParamLayer(plain, 0, 1, &read), 0);
  EXPECT_EQ(read, nullptr);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

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

TEST_F(EffectLayers, AChosenLayerIsHeardAsItPlays) {
  WriteToneWav(dir.P("tone.wav"), 2);
  BEE_Item tone = GOT(BEE_Item, BEE_CmdImportFootage, nullptr, Spec("tone.wav"), 0);
  BEE_Item comp = MakeComp("C", 40, 30);
  BEE_Layer heard = nullptr, listening = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(comp, tone, &heard), 0);
  ASSERT_EQ(BEE_CmdNewLayer(comp, tone, &listening), 0);
  // Heard starts half a second late and plays at half its level.
  ASSERT_EQ(BEE_CmdSetLayerTimes(heard, Time{300, 600}, Time{0, 600}, Time{900, 600}), 0);
  SetAt(heard, BEE_StreamAudioLevels, 0, {-6.0206, -6.0206}, false);
  ASSERT_EQ(BEE_CmdApplyEffect(listening, listen_, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(listening, 0, 1, heard), 0);
  const SND_Format f{48000, SND_Encoding_Signed, 2, 2, 0};
  SND_World w = nullptr;
  ASSERT_EQ(BEE_RenderCompSound(comp, 1, Time{0, 10}, Time{10, 10}, &f, &w), 0);
  SND_DisposeWorld(w);
  ASSERT_EQ(gSeen.length, 48000);
  EXPECT_FALSE(gSeen.silent);
  // What the effect heard of the first second is the layer's own sound.
  w = nullptr;
  ASSERT_EQ(BEE_RenderLayerSound(heard, 1, Time{0, 600}, Time{600, 600}, &f, nullptr, &w), 0);
  ASSERT_NE(w, nullptr);
  SND_LockBuffer(0, w);
  void* p = nullptr;
  SNDp_GetBuffer(w, &p);
  const std::vector<int16_t> own(static_cast<int16_t*>(p), static_cast<int16_t*>(p) + 2 * 48000);
  SND_UnlockBuffer(w);
  SND_DisposeWorld(w);
  EXPECT_EQ(gSeen.heard, own);
  EXPECT_TRUE(std::all_of(own.begin(), own.begin() + 2 * 24000, [](int16_t v) { return v == 0; }));
  // A stretched layer's effect cannot hear another layer yet, and says so.
  ASSERT_EQ(BEE_CmdSetLayerStretch(listening, Ratio{2, 1}), 0);
  w = nullptr;
  EXPECT_EQ(BEE_RenderCompSound(comp, 1, Time{0, 10}, Time{10, 10}, &f, &w), kErrUnimplemented);
  SND_DisposeWorld(w);
  EXPECT_TRUE(Reported("an effect on a stretched layer cannot hear another layer in this engine yet."));
  rec.clear();
  ASSERT_EQ(BEE_Undo(), 0);
  // Two layers hearing each other: the inner checkout is silence.
  ASSERT_EQ(BEE_CmdApplyEffect(heard, listen_, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetEffectParamLayer(heard, 0, 1, listening), 0);
  w = nullptr;
  ASSERT_EQ(BEE_RenderCompSound(comp, 1, Time{0, 10}, Time{10, 10}, &f, &w), 0);
  SND_DisposeWorld(w);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
}

}  // namespace
}  // namespace tv::bee::test
