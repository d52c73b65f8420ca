// Footage items and their sources: items made from SeqSpecs, frames drawn
// through the footage module, and replacing and relinking the source as
// undoable steps that lose nothing.
#include <cstring>

#include "BEE.h"
#include "PIN_internal.h"
#include "PinTestDriver.h"
#include "TestSupport.h"

namespace tv::bee::test {
namespace {

using tv::test::pin::TsfPixel;
using tv::test::pin::WriteTsf;

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", tv::test::pin::TsfBirth},
};

class FootageTest : public tv::test::UFixture {
 protected:
  FootageTest() : UFixture({PIN_PackageNumber, BEE_PackageNumber}) {
    tv::pin::SetDriversForTesting(kDrivers);
  }
  ~FootageTest() override { tv::pin::SetDriversForTesting({}); }

  PIN_SeqSpecH Seq(const std::string& name, uint32_t options) {
    FILE_SpecH ref = nullptr;
    const std::string path = dir.P(name);
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(PIN_NewSeqSpecFromFileOptions(ref, options, &seq), 0);
    FILE_Dispose(ref);
    return seq;
  }
  BEE_FootageDesc Desc(BEE_Item item) {
    BEE_FootageDesc d{};
    EXPECT_EQ(BEE_GetFootageDesc(item, &d), 0);
    return d;
  }
  PIN_SeqSpecH Source(BEE_Item item) {
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(BEE_GetFootageSeqSpec(item, &seq), 0);
    return seq;
  }
  uint32_t PixelAt(BEE_Item item, Time t, int32_t x, int32_t y, int32_t w, int32_t h) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world), 0);
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

  tv::test::TempDir dir{"bee-footage"};
};

TEST_F(FootageTest, ItemsTakeTheirDescriptionFromTheSource) {
  for (uint32_t i = 1; i <= 3; ++i) WriteTsf(dir.P("clip_" + std::to_string(i) + ".tsf"), 12, 10, i);
  PIN_SeqSpecH seq = Seq("clip_1.tsf", PIN_Import_Sequence);
  BEE_Item item = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, seq, &item), 0);
  EXPECT_EQ(Source(item), seq);
  const BEE_FootageDesc d = Desc(item);
  EXPECT_STREQ(d.name, "clip_[#].tsf");
  EXPECT_STREQ(d.formatName, "Test Frames");
  EXPECT_EQ(d.width, 12);
  EXPECT_EQ(d.height, 10);
  EXPECT_EQ(d.duration.value, 3);
  EXPECT_EQ(d.duration.scale, 30u);
  EXPECT_EQ(d.frameRate, 30u << 16);
  EXPECT_EQ(d.depth, 32u);
  EXPECT_EQ(d.pixelAspect.num, 1);
  EXPECT_STREQ(d.text, "12 x 10, 3 frames");
  EXPECT_EQ(PixelAt(item, Time{1, 30}, 5, 4, 12, 10), TsfPixel(2, 5, 4));
  EXPECT_EQ(PixelAt(item, Time{2, 30}, 5, 4, 12, 10), TsfPixel(3, 5, 4));
}

TEST_F(FootageTest, ImportIsOneUndoableStep) {
  WriteTsf(dir.P("imp_1.tsf"), 12, 10, 1);
  FILE_SpecH ref = nullptr;
  const std::string path = dir.P("imp_1.tsf");
  ASSERT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
  BEE_Item item = nullptr;
  ASSERT_EQ(BEE_CmdImportFootage(nullptr, ref, 0, &item), 0);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(Desc(item).name, "imp_1.tsf");
  Boolean32 available = 0;
  char name[64] = "";
  ASSERT_EQ(BEE_UndoAvailable(&available, name), 0);
  EXPECT_STREQ(name, "Import");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(PixelAt(item, Time{0, 1}, 3, 3, 12, 10), TsfPixel(1, 3, 3));
  // A file no module reads leaves nothing behind.
  WriteTsf(dir.P("imp.zzz"), 4, 4, 1);
  FILE_SpecH other = nullptr;
  const std::string otherPath = dir.P("imp.zzz");
  ASSERT_EQ(FILE_New(otherPath.c_str(), FILE_LocFullPath, &other), 0);
  BEE_Item none = reinterpret_cast<BEE_Item>(1);
  EXPECT_EQ(BEE_CmdImportFootage(nullptr, other, 0, &none), PIN_ErrCannotImport);
  EXPECT_EQ(none, nullptr);
  FILE_Dispose(other);
  FILE_Dispose(ref);
}

TEST_F(FootageTest, ReplaceAndRelinkAreUndoneAndRedone) {
  WriteTsf(dir.P("a_1.tsf"), 12, 10, 1);
  WriteTsf(dir.P("a_2.tsf"), 12, 10, 2);
  WriteTsf(dir.P("b_7.tsf"), 6, 4, 7);
  WriteTsf(dir.P("b_8.tsf"), 6, 4, 8);
  PIN_SeqSpecH first = Seq("a_1.tsf", PIN_Import_Sequence);
  BEE_Item item = nullptr;
  ASSERT_EQ(BEEp_MakeFootageFromSeqSpec(nullptr, first, &item), 0);

  PIN_SeqSpecH missing = nullptr;
  const Time d{4, 1};
  ASSERT_EQ(PIN_NewSeqSpecMissingPlus(100, 50, &d, 0, &missing), 0);
  ASSERT_EQ(BEE_CmdReplaceFootage(item, missing), 0);
  EXPECT_EQ(Source(item), missing);
  EXPECT_EQ(Desc(item).width, 100);
  EXPECT_STREQ(Desc(item).formatName, "Placeholder");
  EXPECT_EQ(PixelAt(item, Time{0, 1}, 0, 0, 100, 50), 0xFFC02020u) << "the missing-footage frame";
  Boolean32 available = 0;
  char name[64] = "";
  ASSERT_EQ(BEE_UndoAvailable(&available, name), 0);
  EXPECT_EQ(available, 1);
  EXPECT_STREQ(name, "Replace Footage");

  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Source(item), first);
  EXPECT_EQ(Desc(item).width, 12);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Source(item), missing);
  ASSERT_EQ(BEE_Undo(), 0);

  // Relinking reads the new file the way the old source was read: as a sequence.
  FILE_SpecH b = nullptr;
  const std::string path = dir.P("b_7.tsf");
  ASSERT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &b), 0);
  ASSERT_EQ(BEE_CmdRelinkFootage(item, b), 0);
  FILE_Dispose(b);
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
  BEE_FootageDesc desc{};
  std::strcpy(desc.name, "described");
  desc.width = 8, desc.height = 8;
  desc.duration = Time{0, 1};
  desc.pixelAspect = Ratio{1, 1};
  BEE_Item described = nullptr;
  ASSERT_EQ(BEEp_MakeFootageItem(nullptr, &desc, &described), 0);
  EXPECT_EQ(Source(described), nullptr);
  const Rect bounds{0, 0, 8, 8};
  BM_World world = nullptr;
  ASSERT_EQ(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world), 0);
  EXPECT_EQ(BEE_DrawFootageFrame(described, Time{0, 1}, nullptr, world), kErrUnimplemented);
  BM_DisposeWorld(world);

  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(PIN_NewSeqSpecMissing(&seq), 0);
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
