// Nested compositions: a nesting as deep as a frame renders is made and
// renders (collapsed or not); one level deeper is refused when it is made,
// by every command that nests, with a message that says why.
#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

class Nesting : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] { Frame(Chain(3).back(), 0); });
  }
  // comps[0] holds a solid; each next composition holds the one before.
  std::vector<BEE_Item> Chain(int levels) {
    EXPECT_EQ(BEE_NewProject(), 0);
    std::vector<BEE_Item> comps;
    for (int i = 0; i < levels; ++i) {
      const std::string name = "N" + std::to_string(i);
      BEE_CompSettings s = Settings(name.c_str(), 16, 12);
      BEE_Item c = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
      if (comps.empty()) {
        MakeSolid(c, 0xFF40A060, 6, 4);
      } else {
        GOT(BEE_Layer, BEE_CmdNewLayer, c, comps.back());
      }
      comps.push_back(c);
    }
    return comps;
  }
};

TEST_F(Nesting, AsDeepAsAFrameRendersAndNoDeeper) {
  // A solid under 63 compositions: 64 levels, the most a frame renders.
  const std::vector<BEE_Item> comps = Chain(BEE_MaxRenderDepth - 1);
  BEE_Item top = comps.back();
  ErrorCode err = 0;
  const uint64_t plain = Frame(top, 0, &err);
  EXPECT_EQ(err, 0);
  // Collapsed all the way down, it draws the same.
  for (size_t i = 1; i < comps.size(); ++i) ASSERT_EQ(BEE_CmdSetLayerSwitch(Layer(comps[i], 0), BEE_SwitchCollapse, 1), 0);
  EXPECT_EQ(Frame(top, 0, &err), plain);
  EXPECT_EQ(err, 0);

  // One level more, by every road that nests.
  BEE_Item over = MakeComp("Over", 16, 12);
  MakeSolid(over, 0xFF102030, 4, 4);
  BEE_Item x = MakeComp("X", 16, 12);
  BEE_Layer shallow = GOT(BEE_Layer, BEE_CmdNewLayer, over, x);
  BEE_Scrap scrap = GOT(BEE_Scrap, BEE_NewScrap);
  ASSERT_EQ(BEE_CopyLayerToScrap(scrap, Layer(comps.back(), 0)), 0);
  const std::string before = Dump();
  struct Road {
    const char* name;
    std::function<ErrorCode()> nest;
  };
  const Road roads[] = {
      {"new layer", [&] { return BEE_CmdNewLayer(over, top, nullptr); }},
      {"replace source", [&] { return BEE_CmdReplaceSource(shallow, top); }},
      {"replace item", [&] { return BEE_CmdReplaceItem(x, top); }},
      {"paste", [&] { return BEE_CmdPasteLayersIntoComp(x, scrap); }},
  };
  for (const Road& r : roads) {
    SCOPED_TRACE(r.name);
    rec.clear();
    EXPECT_EQ(r.nest(), kErrBadParam);
    EXPECT_TRUE(Reported("compositions can be nested at most 64 levels deep: putting")) << rec.last().text;
    EXPECT_EQ(Dump(), before);
  }
  BEE_DisposeScrap(scrap);
}

}  // namespace
}  // namespace tv::bee::test
