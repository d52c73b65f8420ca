// The placeholder module's own draw slot, as any caller of a module's procs
// reaches it: the same missing-footage frame the framework draws, and the
// refusal of a handle that is no SeqSpec.
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using PINPlaceholderTest = PINTest;

TEST_F(PINPlaceholderTest, SlotDrawsTheFrameTheFrameworkDraws) {
  PIN_SeqSpecH seq = OUT(PIN_NewSeqSpecMissingPlus, 96, 80, nullptr, 0);
  seqs_.push_back(seq);
  const PIN_ModuleProcs& p = tv::pin::FindModule(tv::pin::kPlaceholderSig)->procs;
  BM_World byFramework = World(96, 80), bySlot = World(96, 80);
  ASSERT_EQ(Draw(seq, byFramework), 0);
  PIN_DrawParams params{};
  ASSERT_EQ(p.drawSparseFrame(seq, &params, bySlot), 0);
  EXPECT_EQ(Argb(bySlot), Argb(byFramework));
  EXPECT_EQ(Pixel(bySlot, 0, 0), 0xFFC02020u) << "the red frame";
  EXPECT_EQ(Pixel(bySlot, 10, 40), 0xFF505050u) << "the grey field";
  EXPECT_TRUE(rec.reports.empty());

  // A handle that is no SeqSpec is refused, once.
  Handle notSeq = NewHandleClear(256);
  EXPECT_NE(p.drawSparseFrame(notSeq, &params, bySlot), 0);
  EXPECT_EQ(rec.reports.size(), 1u);
  DisposeHandle(notSeq);
}

}  // namespace
}  // namespace tv::test::pin
