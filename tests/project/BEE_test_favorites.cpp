// Effect favorites (golden head, apply with values and undo, refusals) and
// what project files keep beyond the fixed tree: composition time markers.
#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

class Favorites : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    Warm([&] {
      BEE_Layer l = NewSolidLayer(NewComp("warm"));
      ASSERT_EQ(BEE_CmdApplyEffect(l, Levels(), nullptr), 0);
      ASSERT_EQ(BEE_SaveFavorite(Spec("warm.tvf"), 0, 0, Parade(l)), 0);
      ASSERT_EQ(BEE_CmdApplyFavorite(Spec("warm.tvf"), l), 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 1, nullptr), 0);
    });
    comp = NewComp();
    a = NewSolidLayer(comp, "A");
    b = NewSolidLayer(comp, "B");
    rec.clear();
  }
  static int16_t Levels() { return Class(FLT_MatchLevels); }
  int32_t Effects(BEE_Layer l) {
    Handle p = nullptr;
    int32_t n = -1;
    EXPECT_EQ(BEE_InqLayerEffectSeq(l, &p, &n), 0);
    return n;
  }

  BEE_Item comp = nullptr;
  BEE_Layer a = nullptr, b = nullptr;
};

constexpr int32_t kGamma = BEE_StreamFirstEffect + 2;

TEST_F(Favorites, SavedChainAppliesWithItsValuesAsOneStep) {
  ASSERT_EQ(BEE_CmdApplyEffect(a, Levels(), nullptr), 0);
  ASSERT_EQ(BEE_CmdRenameEffect(a, 0, "Warm Levels"), 0);
  BEE_StreamValue v{};
  v.values[0] = 2.5;
  ASSERT_EQ(BEE_CmdSetStreamFPV(a, kGamma, nullptr, nullptr, &v), 0);
  const std::string path = dir.P("levels.tvf");
  ASSERT_EQ(BEE_SaveFavorite(Spec("levels.tvf"), 0, 0, Parade(a)), 0);
  const std::vector<uint8_t> file = ReadBytes(path);
  ASSERT_GE(file.size(), 36u);
  const std::vector<uint8_t> head(file.begin() + 8, file.begin() + 36);
  EXPECT_EQ(head, (std::vector<uint8_t>{'F', 'a', 'F', 'X', 'h', 'e', 'a', 'd', 0, 0, 0, 16, 0, 0, 0, 1,
                                        0, 0, 0, 22, 0, 0, 0, 1, 1, 0, 0, 0}));
  const std::string before = Dump();
  ASSERT_EQ(BEE_CmdApplyFavorite(Spec("levels.tvf"), b), 0);
  EXPECT_EQ(UndoName(), "Apply Effect");
  EXPECT_EQ(Effects(b), 1);
  BEE_StreamValue got = GOT(BEE_StreamValue, BEE_GetStreamFPV, b, kGamma, nullptr, nullptr);
  EXPECT_DOUBLE_EQ(got.values[0], 2.5);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Effects(b), 0);
  EXPECT_EQ(Dump(), before);
  // An existing favorite is replaced only when asked.
  EXPECT_EQ(BEE_SaveFavorite(Spec("levels.tvf"), 0, 0, Parade(a)), 792);
  EXPECT_EQ(ReadBytes(path), file);
  EXPECT_EQ(BEE_SaveFavorite(Spec("levels.tvf"), 0, FILE_CreateReplace, Parade(a)), 0);
}

TEST_F(Favorites, RefusedFilesApplyNothing) {
  ASSERT_EQ(BEE_CmdApplyEffect(a, Levels(), nullptr), 0);
  const std::string path = dir.P("f.tvf");
  ASSERT_EQ(BEE_SaveFavorite(Spec("f.tvf"), 0, 0, Parade(a)), 0);
  std::vector<uint8_t> newer = ReadBytes(path);
  newer[27] = 23;  // the version word
  WriteBytes(dir.P("newer.tvf"), newer);
  EXPECT_EQ(BEE_CmdApplyFavorite(Spec("newer.tvf"), b), kErrDocVersion);
  EXPECT_TRUE(Reported("this file was created with a newer version of Tavelo -- time to upgrade your application!"));
  std::vector<uint8_t> other = ReadBytes(path);
  other[8] = 'E';
  WriteBytes(dir.P("other.tvf"), other);
  EXPECT_EQ(BEE_CmdApplyFavorite(Spec("other.tvf"), b), BEE_ErrProjectFile);
  EXPECT_TRUE(Reported("not a valid effect favorite file."));
  EXPECT_EQ(Effects(b), 0);
}

TEST_F(Favorites, TimeMarkersTravelInProjectFiles) {
  const Time t{3, 2};
  ASSERT_EQ(BEE_CmdSetCompTimeMarker(comp, 4, &t), 0);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("markers.tvp"), 0, 0), 0);
  ASSERT_EQ(BEE_CmdOpenProject(Spec("markers.tvp"), 1, nullptr), 0);
  BEE_Item root = Root(), c = nullptr;
  ASSERT_EQ(BEE_FindItem(root, "Comp", BEE_KindComp, &c), 0);
  ASSERT_NE(c, nullptr);
  for (int32_t n = 0; n < BEE_TimeMarkerCount; ++n) {
    Time got = GOT(Time, BEE_GetCompTimeMarker, c, n);
    if (n == 4) {
      EXPECT_EQ(got.value * 2, 3 * static_cast<int32_t>(got.scale));
    } else {
      EXPECT_EQ(got.scale, 0u) << n;
    }
  }
}

}  // namespace
}  // namespace tv::bee::test
