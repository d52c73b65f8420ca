// Interpreting footage: one undoable step that changes the item's SeqSpec and
// description, undone and redone, and refused without changing anything.
#include <cstring>

#include "BEE.h"
#include "PIN_internal.h"
#include "PinTestDriver.h"
#include "TestSupport.h"

namespace tv::bee::test {
namespace {

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", tv::test::pin::TsfBirth},
};

class InterpretTest : public tv::test::UFixture {
 protected:
  InterpretTest() : UFixture({PIN_PackageNumber, BEE_PackageNumber}) { tv::pin::SetDriversForTesting(kDrivers); }
  ~InterpretTest() override { tv::pin::SetDriversForTesting({}); }
  tv::test::TempDir dir{"bee-interp"};
};

TEST_F(InterpretTest, OneUndoableStep) {
  tv::test::pin::WriteTsf(dir.P("a_1.tsf"), 720, 486, 1);
  tv::test::pin::WriteTsf(dir.P("a_2.tsf"), 720, 486, 2);
  FILE_SpecH ref = nullptr;
  const std::string path = dir.P("a_1.tsf");
  ASSERT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
  BEE_Item item = nullptr;
  ASSERT_EQ(BEE_CmdImportFootage(nullptr, ref, PIN_Import_Sequence, &item), 0);
  FILE_Dispose(ref);
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(BEE_GetFootageSeqSpec(item, &seq), 0);
  PIN_Interpretation before{}, after{}, got{};
  ASSERT_EQ(PIN_GetInterpretation(seq, &before), 0);
  EXPECT_EQ(before.hsfNum, 648u);
  after = before;
  after.hsfNum = after.hsfDen = 1;
  after.field.separate = 1, after.field.dominance = 1;
  after.alpha.type = PIN_Alpha_Premul, after.alpha.red = 255;
  after.nativeRate = 24 << 16;
  ASSERT_EQ(BEE_CmdInterpretFootage(item, &after), 0);
  BEE_FootageDesc d{};
  ASSERT_EQ(BEE_GetFootageDesc(item, &d), 0);
  EXPECT_EQ(d.pixelAspect.num, 1);
  EXPECT_EQ(d.frameRate, 24u << 16);
  EXPECT_EQ(d.fieldSecond, 1);
  EXPECT_EQ(d.duration.value * 24, static_cast<int32_t>(d.duration.scale) * 2);  // two frames at 24
  Boolean32 available = 0;
  char name[64] = "";
  ASSERT_EQ(BEE_UndoAvailable(&available, name), 0);
  EXPECT_STREQ(name, "Interpret Footage");
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

}  // namespace
}  // namespace tv::bee::test
