// Frame parades: chains of built-in effects equal the effects applied one by
// one, whatever is switched off; interrupts; sizes; layer times.
#include "FLT_test_support.h"
#include "PF.h"

namespace tv::test {
namespace {

PF_Result Interrupting(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  return cmd == PF_Cmd_Render ? PF_Result_Interrupted : 0;
}

PF_Result Growing(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  if (cmd == PF_Cmd_FrameSetup) {
    out->width = in->width > 1000 ? 40000 : in->width + 2;
    out->height = in->height + 2;
  }
  return 0;
}

class FLTRender : public FLTFixture {
 protected:
  // A chain of built-ins with known settings.
  FLT_Parade Chain(std::initializer_list<const char*> matches) {
    FLT_Parade p = Keep(NewParade({}));
    for (const char* m : matches) {
      FLT_Sequence s = NewSeq(Class(m));
      if (std::string(m) == FLT_MatchLevels) {
        SetConstant(s, 1, {20});
        SetConstant(s, 2, {220});
        SetConstant(s, 3, {1.7});
        SetConstant(s, 5, {240});
      } else if (std::string(m) == FLT_MatchFastBlur) {
        SetConstant(s, 1, {2.5});
        SetConstant(s, 2, {1});  // repeat edge pixels: the frame keeps its size
      }
      EXPECT_EQ(FLT_InsertSeqParade(p, s, -1), 0);
    }
    return p;
  }
};

TEST_F(FLTRender, ChainEqualsEffectsOneByOne) {
  const std::vector<const char*> effects = {FLT_MatchInvert, FLT_MatchLevels, FLT_MatchFastBlur};
  BM_World input = World(7);
  // One by one.
  BM_World a = World(), b = World();
  ASSERT_EQ(Render(Chain({effects[0]}), input, a, kW, kH), 0);
  ASSERT_EQ(Render(Chain({effects[1]}), a, b, kW, kH), 0);
  ASSERT_EQ(Render(Chain({effects[2]}), b, a, kW, kH), 0);
  const std::vector<uint8_t> expected = Pixels(a);
  EXPECT_NE(expected, Pixels(input));
  // As a chain with a switched-off effect between (the parity counts only
  // what runs).
  FLT_Parade p = Chain({effects[0], FLT_MatchFill, effects[1], effects[2]});
  ASSERT_EQ(FLT_SetParadeSeqFlags(p, 1, 0, FLT_Item_On), 0);
  EXPECT_EQ(Rendered(p, input), expected);
  // Nothing on: the input is copied.
  FLT_Parade off = Chain({FLT_MatchInvert});
  FLT_SetParadeSeqFlags(off, 0, 0, FLT_Item_On);
  EXPECT_EQ(Rendered(off, input), Pixels(input));
}

TEST_F(FLTRender, FillAndInvertPixels) {
  BM_World input = World(3);
  FLT_Parade p = Chain({FLT_MatchFill});
  SetConstant(SeqOf(p, 0), 1, {255, 10, 20, 30});
  const std::vector<uint8_t> in = Pixels(input), px = Rendered(p, input);
  for (size_t i = 0; i < px.size(); i += 4)
    ASSERT_EQ(std::vector<uint8_t>(&px[i], &px[i] + 4), (std::vector<uint8_t>{in[i], 10, 20, 30}));  // alpha kept
  EXPECT_EQ(Rendered(Chain({FLT_MatchInvert, FLT_MatchInvert}), input), in);
}

TEST_F(FLTRender, InterruptEndsTheRenderWithoutReport) {
  const int16_t cls = Register("T Interrupt", 0, Interrupting);
  FLT_Parade p = Keep(NewParade({Class(FLT_MatchInvert), cls, Class(FLT_MatchInvert)}));
  rec.clear();
  EXPECT_EQ(Render(p, World(1), World(), kW, kH), PF_Result_Interrupted);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(FLTRender, SizesFromEffectsAreChecked) {
  const int16_t grow = Register("T Grow", 0, Growing);
  FLT_Parade p = Keep(NewParade({grow, grow}));
  FLT_FrameParade fp = nullptr;
  ASSERT_EQ(FLT_NewFrameParade(p, kW, kH, 0, &fp), 0);
  int32_t w = 0, h = 0;
  ASSERT_EQ(FLT_InqFrameParadeSize(fp, &w, &h), 0);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(kW + 4, kH + 4));
  // An output world smaller than the result is refused.
  rec.clear();
  EXPECT_EQ(FLT_RenderFrParade(fp, 0, World(1), World()), 3);
  EXPECT_NE(rec.last().text.find("inconsistent buffer size information"), std::string::npos);
  EXPECT_EQ(FLT_RenderFrParade(fp, 0, World(1), World(0, kW + 4, kH + 4)), 0);
  EXPECT_EQ(FLT_DisposeFrParade(fp), 0);
  // An absurd size from an effect is refused before anything is sized by it.
  EXPECT_EQ(FLT_NewFrameParade(p, 2000, 10, 0, &fp), PF_Result_BadCallbackArg);
  EXPECT_EQ(fp, nullptr);
  EXPECT_EQ(FLT_NewFrameParade(p, 0, 10, 0, &fp), 3);
}

int32_t gSeenWidth = 0;

PF_Result LayerUser(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld* output,
                    void*) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef d{};
      d.type = PF_Param_Layer;
      out->paramCount = 2;
      return in->addParam(in->effectRef, -1, &d);
    }
    case PF_Cmd_Render: {
      PF_ParamDef layer{};
      if (PF_Result err = in->checkoutParam(in->effectRef, 1, in->time, in->timeStep, in->timeScale, &layer))
        return err;
      gSeenWidth = layer.u.world.width;
      PF_Result err = PF_WorldCopy(in->effectRef, &layer.u.world, output);
      if (PF_Result e2 = in->checkinParam(in->effectRef, &layer); !err) err = e2;
      return err;
    }
    default:
      return 0;
  }
}

ErrorCode InitLayer(int32_t, uintptr_t, uint32_t* ref, uint32_t* companion) {
  *ref = 77;
  *companion = 5;
  return 0;
}

TEST_F(FLTRender, LayerParameterFromTheHost) {
  const int16_t cls = Register("T Layer User", 0, LayerUser);
  FLT_Parade p = Keep(NewParade({}));
  FLT_Sequence s = nullptr;
  ASSERT_EQ(TryNewSeq(cls, &s, 0, InitLayer), 0);
  ASSERT_EQ(FLT_InsertSeqParade(p, s, -1), 0);
  BM_World input = World(1), out = World();
  // Without the host's procedures the checkout is refused.
  rec.clear();
  EXPECT_EQ(Render(p, input, out, kW, kH), PF_Result_BadCallbackArg);
  EXPECT_NE(rec.last().text.find("callback not initialized"), std::string::npos);
  LayerHost host{World(9)};
  host.Install();
  ASSERT_EQ(Render(p, input, out, kW, kH), 0);
  EXPECT_EQ(std::make_tuple(host.times.size(), host.checkins, host.ref, host.companion, gSeenWidth),
            std::make_tuple(size_t{1}, 1, 77u, 5u, kW));
  EXPECT_EQ(Pixels(out), Pixels(host.world));
}

}  // namespace
}  // namespace tv::test
