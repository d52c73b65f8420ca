// Interpreting footage: one undoable step that changes the item's SeqSpec and
// description, undone and redone, and refused without changing anything.
#include <cstring>
#include <string>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using InterpretTest = PinFixture;

TEST_F(InterpretTest, OneUndoableStep) {
  tv::test::pin::WriteTsf(dir.P("a_1.tsf"), 720, 486, 1);
  tv::test::pin::WriteTsf(dir.P("a_2.tsf"), 720, 486, 2);
  FILE_SpecH ref = GOT(FILE_SpecH, FILE_New, dir.P("a_1.tsf").c_str(), FILE_LocFullPath);
  BEE_Item item = GOT(BEE_Item, BEE_CmdImportFootage, nullptr, ref, PIN_Import_Sequence);
  FILE_Dispose(ref);
  PIN_SeqSpecH seq = GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, item);
  PIN_Interpretation before{}, after{}, got{};
  ASSERT_EQ(PIN_GetInterpretation(seq, &before), 0);
  EXPECT_EQ(before.hsfNum, 648u);
  after = before;
  after.hsfNum = after.hsfDen = 1;
  after.field.separate = 1, after.field.dominance = 1;
  after.alpha.type = PIN_Alpha_Premul, after.alpha.red = 255;
  after.nativeRate = 24 << 16;
  ASSERT_EQ(BEE_CmdInterpretFootage(item, &after), 0);
  BEE_FootageDesc d = GOT(BEE_FootageDesc, BEE_GetFootageDesc, item);
  EXPECT_EQ(d.pixelAspect.num, 1);
  EXPECT_EQ(d.frameRate, 24u << 16);
  EXPECT_EQ(d.fieldSecond, 1);
  EXPECT_EQ(d.duration.value * 24, static_cast<int32_t>(d.duration.scale) * 2);  // two frames at 24
  EXPECT_EQ(UndoName(), "Interpret Footage");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(PIN_GetInterpretation(seq, &got), 0);
  EXPECT_EQ(std::memcmp(&got, &before, sizeof got), 0);
  ASSERT_EQ(BEE_GetFootageDesc(item, &d), 0);
  EXPECT_EQ(d.pixelAspect.num, 648);
  ASSERT_EQ(BEE_Redo(), 0);
  ASSERT_EQ(PIN_GetInterpretation(seq, &got), 0);
  EXPECT_EQ(got.alpha.red, 255);
  EXPECT_EQ(got.nativeRate, 24 << 16);

  // A bad interpretation is refused and nothing changes.
  PIN_Interpretation bad = got;
  bad.hsfDen = 0;
  EXPECT_EQ(BEE_CmdInterpretFootage(item, &bad), kErrBadParam);
  ASSERT_EQ(PIN_GetInterpretation(seq, &got), 0);
  EXPECT_EQ(got.hsfDen, 1u);
}

TEST_F(InterpretTest, ProxiesAndRememberedInterpretations) {
  tv::test::pin::WriteTsf(dir.P("big.tsf"), 200, 100, 1);
  tv::test::pin::WriteTsf(dir.P("small.tsf"), 50, 25, 2);
  const auto import = [&](const char* name, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = GOT(FILE_SpecH, FILE_New, dir.P(name).c_str(), FILE_LocFullPath);
    ASSERT_EQ(PIN_NewSeqSpecFromFile(ref, seq), 0);
    FILE_Dispose(ref);
  };
  PIN_SeqSpecH source = nullptr, proxy = nullptr;
  import("big.tsf", &source);
  import("small.tsf", &proxy);
  BEE_Item item = GOT(BEE_Item, BEEp_MakeFootageFromSeqSpec, nullptr, source);
  ASSERT_EQ(BEE_CmdSetProxy(item, proxy), 0);
  EXPECT_EQ(UndoName(), "Set Proxy");
  ASSERT_EQ(BEE_CmdProxyToggle(item, 1), 0);
  EXPECT_EQ(UndoName(), "Proxy Toggle");
  PIN_Interpretation interp = GOT(PIN_Interpretation, PIN_GetInterpretation, proxy);
  interp.hsfNum = 2;
  ASSERT_EQ(BEE_CmdInterpretProxy(item, &interp), 0);
  EXPECT_EQ(UndoName(), "Interpret Proxy");
  ASSERT_EQ(PIN_GetInterpretation(proxy, &interp), 0);
  EXPECT_EQ(interp.hsfNum, 2u);
  ASSERT_EQ(BEE_CmdRememberInterpretation(item), 0);
  EXPECT_EQ(UndoName(), "Remember Interpretation");
  Boolean32 has = GOT(Boolean32, BEE_GetRememberedInterpretation, &interp);
  EXPECT_EQ(has, 1);
  EXPECT_EQ(interp.hsfNum, 1u) << "the footage's own, not the proxy's";
  // Undone step by step.
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_GetRememberedInterpretation(&interp, &has), 0);
  EXPECT_EQ(has, 0);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(PIN_GetInterpretation(proxy, &interp), 0);
  EXPECT_EQ(interp.hsfNum, 1u);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_CmdSetProxy(item, nullptr), 0);  // removing the proxy, kept for undo
  EXPECT_EQ(GOT(PIN_SeqSpecH, BEEp_GetItemProxy, item), nullptr);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(GOT(PIN_SeqSpecH, BEEp_GetItemProxy, item), proxy);
  // Interpreting a proxy that is not there is refused.
  ASSERT_EQ(BEE_Undo(), 0);  // Set Proxy undone: no proxy
  EXPECT_EQ(GOT(PIN_SeqSpecH, BEEp_GetItemProxy, item), nullptr);
  rec.reports.clear();
  EXPECT_NE(BEE_CmdInterpretProxy(item, &interp), 0);
  EXPECT_EQ(rec.reports.size(), 1u);
}

}  // namespace
}  // namespace tv::bee::test
