// Footage items and their sources: items made from SeqSpecs, frames drawn
// through the footage module, and replacing and relinking the source as
// undoable steps that lose nothing.
#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using tv::test::pin::TsfPixel;
using tv::test::pin::WriteTsf;

class FootageTest : public PinFixture {
 protected:
  BEE_FootageDesc Desc(BEE_Item item) { return GOT(BEE_FootageDesc, BEE_GetFootageDesc, item); }
  PIN_SeqSpecH Source(BEE_Item item) { return GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, item); }
  uint32_t PixelAt(BEE_Item item, Time t, int32_t x, int32_t y, int32_t w, int32_t h) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = GOT(BM_World, BM_NewWorld, nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr);
    EXPECT_EQ(BEE_DrawFootageFrame(item, t, nullptr, world), 0);
    uint32_t v = 0;
    {
      tv::pin::PixelLock px(world);
      const uint8_t* p = px.Row(y) + 4 * x;
      v = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    }
    BM_DisposeWorld(world);
    return v;
  }
};

TEST_F(FootageTest, ImportIsOneUndoableStep) {
  WriteTsf(dir.P("imp_1.tsf"), 12, 10, 1);
  BEE_Item item = GOT(BEE_Item, BEE_CmdImportFootage, nullptr, Spec("imp_1.tsf"), 0);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(Desc(item).name, "imp_1.tsf");
  EXPECT_EQ(UndoName(), "Import");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(PixelAt(item, Time{0, 1}, 3, 3, 12, 10), TsfPixel(1, 3, 3));
  // A file no module reads leaves nothing behind.
  WriteTsf(dir.P("imp.zzz"), 4, 4, 1);
  BEE_Item none = reinterpret_cast<BEE_Item>(1);
  EXPECT_EQ(BEE_CmdImportFootage(nullptr, Spec("imp.zzz"), 0, &none), PIN_ErrCannotImport);
  EXPECT_EQ(none, nullptr);
}

TEST_F(FootageTest, ReplaceAndRelinkAreUndoneAndRedone) {
  WriteTsf(dir.P("a_1.tsf"), 12, 10, 1);
  WriteTsf(dir.P("a_2.tsf"), 12, 10, 2);
  WriteTsf(dir.P("b_7.tsf"), 6, 4, 7);
  WriteTsf(dir.P("b_8.tsf"), 6, 4, 8);
  PIN_SeqSpecH first = Seq("a_1.tsf", PIN_Import_Sequence);
  BEE_Item item = GOT(BEE_Item, BEEp_MakeFootageFromSeqSpec, nullptr, first);

  PIN_SeqSpecH missing = nullptr;
  const Time d{4, 1};
  ASSERT_EQ(PIN_NewSeqSpecMissingPlus(100, 50, &d, 0, &missing), 0);
  ASSERT_EQ(BEE_CmdReplaceFootage(item, missing), 0);
  EXPECT_EQ(Source(item), missing);
  EXPECT_EQ(Desc(item).width, 100);
  EXPECT_STREQ(Desc(item).formatName, "Placeholder");
  EXPECT_EQ(PixelAt(item, Time{0, 1}, 0, 0, 100, 50), 0xFFC02020u) << "the missing-footage frame";
  EXPECT_EQ(UndoName(), "Replace Footage");

  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Source(item), first);
  EXPECT_EQ(Desc(item).width, 12);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Source(item), missing);
  ASSERT_EQ(BEE_Undo(), 0);

  // Relinking reads the new file the way the old source was read: as a sequence.
  ASSERT_EQ(BEE_CmdRelinkFootage(item, Spec("b_7.tsf")), 0);
  EXPECT_STREQ(Desc(item).name, "b_[#].tsf");
  EXPECT_EQ(Desc(item).duration.value, 2);
  EXPECT_EQ(PixelAt(item, Time{1, 30}, 2, 3, 6, 4), TsfPixel(8, 2, 3));
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Source(item), first);
  EXPECT_EQ(PixelAt(item, Time{1, 30}, 2, 3, 12, 10), TsfPixel(2, 2, 3));
  // The redo stack still holds the relinked source; the engine's death
  // releases it with the stacks (the fixture checks that no block is left).
}

TEST_F(FootageTest, FailuresLeaveTheSourceWithTheCaller) {
  BEE_FootageDesc desc = Footage("described", 8, 8, Time{0, 1}, 0);
  BEE_Item described = GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &desc);
  EXPECT_EQ(Source(described), nullptr);
  const Rect bounds{0, 0, 8, 8};
  BM_World world = GOT(BM_World, BM_NewWorld, nullptr, 0, &bounds, 32, 0, nullptr);
  EXPECT_EQ(BEE_DrawFootageFrame(described, Time{0, 1}, nullptr, world), kErrUnimplemented);
  BM_DisposeWorld(world);

  PIN_SeqSpecH seq = GOT(PIN_SeqSpecH, PIN_NewSeqSpecMissing);
  BEE_Item folder = nullptr;
  ASSERT_EQ(BEE_CmdNewFolder(nullptr, "folder", &folder), 0);
  EXPECT_NE(BEE_CmdReplaceFootage(folder, seq), 0);
  // Replacing the source of an item made from a description is undone too.
  ASSERT_EQ(BEE_CmdReplaceFootage(described, seq), 0);
  EXPECT_EQ(Desc(described).width, 640);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Source(described), nullptr);
  EXPECT_STREQ(Desc(described).name, "described");
  int32_t w = 0, h = 0;
  ASSERT_EQ(BEE_GetItemDimensions(described, &w, &h), 0);
  EXPECT_EQ(w, 8);
}

}  // namespace
}  // namespace tv::bee::test
