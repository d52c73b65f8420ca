// Inquiries about parameters and classes, arbitrary-data operations, UI
// contexts, comparing Parades and the request rectangle.
#include "FLT_test_arbeffect.h"
#include "FLT_test_support.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

class FLTInquire : public FLTFixture {
 protected:
  void SetUp() override {
    FLTFixture::SetUp();
    gArb = ArbLog{};
    arb = Register("TEST Arb", PF_OutFlag_CustomUI | PF_OutFlag_UsesExtentHints, ArbEffect);
  }
  int16_t arb = 0;
};

TEST_F(FLTInquire, TextsDefinitionsAndFactors) {
  FLT_Sequence s = NewSeq(arb);
  char effect[48], param[32];
  const auto texts = [&](ErrorCode err) {
    EXPECT_EQ(err, 0);
    return std::string(effect) + "/" + param;
  };
  EXPECT_EQ(texts(FLT_GetStreamText(s, 1, effect, param)), "TEST Arb/Amount");
  FLT_SeqSetName(s, "Mine");
  EXPECT_EQ(texts(FLT_GetStreamText(s, 3, effect, param)), "Mine/Centre");
  EXPECT_EQ(texts(FLT_GetGlobalStreamText(arb, 2, effect, param)), "TEST Arb/Curve");
  rec.clear();
  EXPECT_EQ(FLT_GetStreamText(s, 4, effect, param), 3);
  EXPECT_EQ(effect[0], 0);
  EXPECT_THAT(rec.last().text, HasSubstr("parameter list index out of range"));

  const struct { int32_t index; double factor; } factors[] = {{0, 0}, {1, 1}, {2, 0}, {3, 65536}};
  for (const auto& f : factors) {
    double v = -1;
    EXPECT_EQ(FLT_GetEffectStreamFactor(s, f.index, &v), 0);
    EXPECT_EQ(v, f.factor) << f.index;
  }

  // The value at a time comes from the Stream; the copy holds no Stream.
  Animate(s, 1, {{0, {2}}, {600, {8}}});
  PF_ParamDef def{};
  const Time half{300, 600};
  ASSERT_EQ(FLT_GetParamDef(s, 1, &half, &def), 0);
  EXPECT_EQ(std::make_tuple(def.u.words[PF_Word_Value], def.stream), std::make_tuple(5u, nullptr));
  ASSERT_EQ(FLT_GetGlobalParamDef(arb, 1, &def), 0);
  EXPECT_EQ(def.u.words[PF_Word_Value], 3u);

  // An arbitrary value is the caller's copy until disposed.
  ASSERT_EQ(FLT_GetParamDef(s, 2, nullptr, &def), 0);
  PF_ParamDef own{};
  FLT_SeqInqParamInfo(s, 2, &own);
  Handle copy = nullptr, held = nullptr;
  std::memcpy(&copy, def.u.bytes, sizeof copy);
  std::memcpy(&held, own.u.bytes, sizeof held);
  EXPECT_NE(copy, held);
  EXPECT_EQ(HandleBytes(copy) + HandleBytes(held), "abcdabcd");
  EXPECT_EQ(FLT_SeqDisposeParamFPV(s, 2, &def), 0);
  EXPECT_EQ(def.type, 0u);
  FLT_DisposeSequence(s);
}

TEST_F(FLTInquire, CustomUIDependenciesAndSynthesis) {
  uint32_t words[11];
  Boolean32 registered = 0;
  ASSERT_EQ(FLT_InqPFCustomUIInfo(arb, words, &registered), 0);
  EXPECT_EQ(std::make_tuple(registered != 0, words[0], words[10]), std::make_tuple(true, 1u, 11u));
  ASSERT_EQ(FLT_InqPFCustomUIInfo(Class(FLT_MatchInvert), words, &registered), 0);
  EXPECT_FALSE(registered);

  FLT_Sequence s = NewSeq(arb), inv = NewSeq(Class(FLT_MatchInvert));
  char text[64];
  Boolean32 depends = 0;
  ASSERT_EQ(FLT_CheckExternalDependencies(s, text, sizeof text, &depends), 0);
  EXPECT_EQ(std::make_tuple(depends != 0, std::string(text)), std::make_tuple(true, "Font: Sans"));
  // The effect's text is cut to the caller's room.
  char small[5];
  ASSERT_EQ(FLT_CheckExternalDependencies(s, small, sizeof small, &depends), 0);
  EXPECT_STREQ(small, "Font");
  ASSERT_EQ(FLT_CheckExternalDependencies(inv, text, sizeof text, &depends), 0);
  EXPECT_FALSE(depends);
  FLT_DisposeSequence(s);
  FLT_DisposeSequence(inv);

  const int16_t synth = Register("TEST Synth", PF_OutFlag_AudioAlso | PF_OutFlag_SynthesizesAudio, ArbEffect);
  FLT_Parade p = Keep(NewParade({Class(FLT_MatchInvert), synth}));
  Boolean32 will = 0;
  ASSERT_EQ(FLT_ParadeWillSynthAudio(p, &will), 0);
  EXPECT_TRUE(will);
  FLT_SetParadeSeqFlags(p, 1, 0, FLT_Item_On);
  ASSERT_EQ(FLT_ParadeWillSynthAudio(p, &will), 0);
  EXPECT_FALSE(will);
}

TEST_F(FLTInquire, CompareParades) {
  FLT_Parade a = Keep(NewParade({Class(FLT_MatchLevels), arb}));
  FLT_Parade b = nullptr;
  ASSERT_EQ(FLT_ParadeDuplicate(a, nullptr, nullptr, nullptr, nullptr, &b), 0);
  const Time t{600, 600};
  Boolean32 same = 0;
  ASSERT_EQ(FLT_ParadeCompareParamStreamValues(a, b, nullptr, &same), 0);
  EXPECT_TRUE(same);
  FLT_Sequence lev = SeqOf(b, 0), arbSeq = SeqOf(b, 1);
  // A key equal to the constant: the same value at the time, other Streams.
  Animate(lev, 1, {{0, {0}}});
  ASSERT_EQ(FLT_ParadeCompareParamStreamValues(a, b, &t, &same), 0);
  EXPECT_TRUE(same);
  ASSERT_EQ(FLT_ParadeCompareParamStreamValues(a, b, nullptr, &same), 0);
  EXPECT_FALSE(same);
  Handle fresh = nullptr;
  FLT_NewEmptyParamStream(lev, 1, &fresh);
  FLT_SeqSetParamStream(lev, 1, fresh, nullptr);
  ASSERT_EQ(FLT_ParadeCompareParamStreamValues(a, b, nullptr, &same), 0);
  EXPECT_TRUE(same);
  Handle other = BytesHandle("abce");
  ASSERT_EQ(FLTp_SeqSetArbitraryValue(arbSeq, 2, other), 0);
  DisposeHandle(other);
  ASSERT_EQ(FLT_ParadeCompareParamStreamValues(a, b, &t, &same), 0);
  EXPECT_FALSE(same);
  FLT_DisposeParade(b);
}

TEST_F(FLTInquire, ArbitraryOperations) {
  FLT_Sequence s = NewSeq(arb);
  Handle x = BytesHandle("abcd"), y = BytesHandle("abcx");
  Boolean32 equal = 0;
  ASSERT_EQ(FLT_AreCustomStreamsEqual(s, 2, x, nullptr, &equal), 0);
  EXPECT_TRUE(equal);
  ASSERT_EQ(FLT_AreCustomStreamsEqual(s, 2, x, y, &equal), 0);
  EXPECT_FALSE(equal);
  int32_t size = 0;
  ASSERT_EQ(FLT_ArbitraryPrintSize(s, 2, nullptr, &size), 0);
  EXPECT_EQ(size, 7);
  char text[16];
  ASSERT_EQ(FLT_ArbitraryPrint(s, 2, y, text, sizeof text), 0);
  EXPECT_STREQ(text, "<abcx>");
  Handle scanned = nullptr;
  ASSERT_EQ(FLT_ArbitraryScan(s, 2, "qrs", 3, &scanned), 0);
  EXPECT_EQ(HandleBytes(scanned), "qrs");
  DisposeHandle(scanned);
  // An effect that cannot scan: 518 without a report.
  gArb.scanRefuses = true;
  rec.clear();
  EXPECT_EQ(FLT_ArbitraryScan(s, 2, "qrs", 3, &scanned), PF_Result_NotHandled);
  EXPECT_EQ(scanned, nullptr);
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(FLT_ArbitraryPrintSize(s, 1, nullptr, &size), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("invalid arbitrary data index"));
  DisposeHandle(x);
  DisposeHandle(y);
  // Duplicates hold their own values.
  FLT_Sequence d = nullptr;
  ASSERT_EQ(FLTp_DuplicateSequence(s, &d), 0);
  FLT_DisposeSequence(s);
  ASSERT_EQ(FLT_ArbitraryPrint(d, 2, nullptr, text, sizeof text), 0);
  EXPECT_STREQ(text, "<abcd>");
  FLT_DisposeSequence(d);
}

TEST_F(FLTInquire, Contexts) {
  FLT_Sequence s = NewSeq(arb), inv = NewSeq(Class(FLT_MatchInvert));
  FLT_Context c = nullptr;
  rec.clear();
  EXPECT_EQ(FLT_NewContext(inv, PF_Window_Layer, nullptr, &c), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("sequence context not available"));
  ASSERT_EQ(FLT_NewContext(s, PF_Window_Layer, nullptr, &c), 0);
  FLT_Sequence back = nullptr;
  ASSERT_EQ(FLT_InqContextSeq(c, &back), 0);
  EXPECT_EQ(back, s);
  PF_EventRecord e{};
  e.kind = PF_Event_Click;
  uint32_t result = 0;
  ASSERT_EQ(FLT_HandleEvent(c, &e, &result), 0);
  EXPECT_EQ(result, 0x2u);
  e.kind = PF_Event_Draw;
  ASSERT_EQ(FLT_HandleEvent(c, &e, &result), 0);
  EXPECT_EQ(result, 0u);
  // The Sequence goes: its context is closed and answers no more.
  FLT_DisposeSequence(s);
  EXPECT_EQ(gArb.events[PF_Event_NewContext], 1);
  EXPECT_EQ(gArb.events[PF_Event_CloseContext], 1);
  EXPECT_EQ(FLT_HandleEvent(c, &e, &result), 3);
  EXPECT_EQ(FLT_InqContextSeq(c, &back), 3);
  EXPECT_EQ(FLT_DisposeContext(c), 0);
  EXPECT_EQ(gArb.events[PF_Event_CloseContext], 1);
  FLT_DisposeSequence(inv);
}

TEST_F(FLTInquire, RequestRectangles) {
  const int16_t hints = arb;
  const int16_t both = Register("TEST Arb Unclipped",
                                PF_OutFlag_UsesExtentHints | PF_OutFlag_UnclippedRequest, ArbEffect);
  const int16_t none = Register("TEST Arb Plain", 0, ArbEffect);
  const int16_t unclipped = Register("TEST Arb Unclipped Only", PF_OutFlag_UnclippedRequest, ArbEffect);
  const Rect req{-5, 10, 20, 300};
  const struct {
    int16_t cls;
    const Rect* request;
    Rect setup, hint;
  } cases[] = {
      {none, &req, {0, 0, 40, 64}, {0, 0, 40, 64}},
      {hints, &req, {0, 10, 20, 64}, {0, 10, 20, 64}},
      {hints, nullptr, {0, 0, 40, 64}, {0, 0, 40, 64}},
      {both, nullptr, {-32000, -32000, 32000, 32000}, {0, 0, 40, 64}},
      {both, &req, {-5, 10, 20, 300}, {0, 10, 20, 64}},
      {unclipped, nullptr, {0, 0, 40, 64}, {0, 0, 40, 64}},  // an unclipped request needs extent hints
  };
  BM_World in = World(7, 64, 40), out = World(0, 64, 40);
  for (const auto& c : cases) {
    FLT_Parade p = Keep(NewParade({c.cls}));
    FLT_FrameParade fp = nullptr;
    ASSERT_EQ(FLTp_NewFrameParadeRequest(p, 64, 40, 1, c.request, &fp), 0);
    ASSERT_EQ(FLT_RenderFrParade(fp, 0, in, out), 0);
    FLT_DisposeFrParade(fp);
    const auto same = [](const Rect& a, const Rect& b) {
      return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
    };
    EXPECT_TRUE(same(gArb.setupRequest, c.setup)) << c.cls;
    EXPECT_TRUE(same(gArb.renderHint, c.hint)) << c.cls;
    EXPECT_TRUE(same(gArb.inputHint, Rect{0, 0, 40, 64})) << c.cls;
  }
  EXPECT_EQ(Pixels(in), Pixels(out));
}

}  // namespace
}  // namespace tv::test
