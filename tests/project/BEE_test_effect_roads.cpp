// An effect chain read from a project file (open, import) gives the frames
// of the chain it came from at every time: keyed effect parameters keep
// animating after the file is read.
#include <functional>

#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

class EffectRoads : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] {
      BEE_Item comp = Build();
      ASSERT_EQ(BEE_SaveFavorite(Spec("warm.tvf"), 0, 0, Parade(Layer(comp, 0))), 0);
      ASSERT_EQ(BEE_CmdApplyFavorite(Spec("warm.tvf"), Layer(comp, 0)), 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 1, nullptr), 0);
      Frame(FindComp("Main"), 3);
    });
  }
  // A fresh project: a blurred solid whose radius goes from 0 to 8 over ten
  // frames, through Levels whose output white falls from 255 to 100.
  BEE_Item Build() {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_Item comp = MakeComp("Main", 32, 24);
    BEE_Layer l = MakeSolid(comp, 0xFFE03010, 16, 12);
    EXPECT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchFastBlur), nullptr), 0);
    EXPECT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchLevels), nullptr), 0);
    const int32_t radius = BEE_StreamFirstEffect, white = BEE_StreamFirstEffect + 128 + 4;
    SetAt(l, radius, 0, {0});
    SetAt(l, radius, 10, {8}, false);
    SetAt(l, white, 0, {255});
    SetAt(l, white, 10, {100}, false);
    return comp;
  }
};

TEST_F(EffectRoads, FileRoadsKeepTheAnimation) {
  const auto kTimes = {0, 4, 7, 10};
  const std::vector<uint64_t> want = Frames(Build(), kTimes);
  // The chain animates: no two of the frames are alike.
  for (size_t i = 0; i < want.size(); ++i)
    for (size_t j = i + 1; j < want.size(); ++j) ASSERT_NE(want[i], want[j]) << i << " " << j;

  struct Road {
    const char* name;
    std::function<BEE_Item(BEE_Item)> travel;  // the original's composition -> the one to render
  };
  const Road roads[] = {
      {"open",
       [&](BEE_Item) {
         EXPECT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
         EXPECT_EQ(BEE_CmdOpenProject(Spec("p.tvp"), 0, nullptr), 0);
         return FindComp("Main");
       }},
      {"import",
       [&](BEE_Item) {
         EXPECT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
         EXPECT_EQ(BEE_NewProject(), 0);
         BEE_Item folder = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, "In");
         EXPECT_EQ(BEE_CmdImportProject(Spec("p.tvp"), folder), 0);
         return FindComp("Main", folder);
       }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    BEE_Item comp = road.travel(Build());
    ASSERT_NE(comp, nullptr);
    EXPECT_EQ(Frames(comp, kTimes), want);
  }
}

}  // namespace
}  // namespace tv::bee::test
