// Interpreting footage and proxies: named undoable steps, remembered
// interpretations, and refusals that change nothing.
#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using InterpretTest = PinFixture;

TEST_F(InterpretTest, ProxiesAndRememberedInterpretations) {
  tv::test::pin::WriteTsf(dir.P("big.tsf"), 200, 100, 1);
  tv::test::pin::WriteTsf(dir.P("small.tsf"), 50, 25, 2);
  PIN_SeqSpecH source = GOT(PIN_SeqSpecH, PIN_NewSeqSpecFromFile, Spec("big.tsf"));
  PIN_SeqSpecH proxy = GOT(PIN_SeqSpecH, PIN_NewSeqSpecFromFile, Spec("small.tsf"));
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
  // The footage's own interpretation is one named step; a bad one is refused
  // and changes nothing.
  PIN_SeqSpecH seq = GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, item);
  PIN_Interpretation own = GOT(PIN_Interpretation, PIN_GetInterpretation, seq);
  own.hsfNum = 2, own.hsfDen = 1;
  ASSERT_EQ(BEE_CmdInterpretFootage(item, &own), 0);
  EXPECT_EQ(UndoName(), "Interpret Footage");
  EXPECT_EQ(GOT(BEE_FootageDesc, BEE_GetFootageDesc, item).pixelAspect.num, 2);
  PIN_Interpretation bad = own;
  bad.hsfDen = 0;
  EXPECT_EQ(BEE_CmdInterpretFootage(item, &bad), kErrBadParam);
  EXPECT_EQ(GOT(PIN_Interpretation, PIN_GetInterpretation, seq).hsfDen, own.hsfDen);
}

}  // namespace
}  // namespace tv::bee::test
