// Pre-composing: the composition renders as before at every time, in one
// undo step that undoes and redoes whole, and after a save and reopen.
#include "BEE_test_frames.h"

namespace tv::bee::test {
namespace {

class Compify : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] {
      BEE_Item comp = Build();
      Select(comp, {0, 1});
      ASSERT_EQ(BEE_CmdCompify(comp, nullptr, 1, nullptr), 0);
      Frame(comp, 0);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 0, nullptr), 0);
    });
  }
  // Main (48 x 32): a moving nested composition with a mask under a blurred solid whose
  // opacity is keyed, over a still background solid.
  BEE_Item Build() {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_Item comp = MakeComp("Main", 48, 32);
    EXPECT_EQ(BEE_CmdSetBackgroundColor(comp, 0xFF203040), 0);
    BEE_Layer l = nullptr;
    BEE_SolidSettings back = Solid("Back", 0xFF306020, 48, 32);
    EXPECT_EQ(BEE_CmdNewSolidLayer(comp, &back, &l), 0);
    // Mid: a layer of a composition of its own (20 x 14), a solid in it.
    BEE_Item midComp = MakeComp("Mid", 20, 14);
    BEE_SolidSettings mid = Solid("Fill", 0xFFE0C010, 16, 14);
    EXPECT_EQ(BEE_CmdNewSolidLayer(midComp, &mid, &l), 0);
    EXPECT_EQ(BEE_CmdNewLayer(comp, midComp, &l), 0);
    SetAt(l, BEE_StreamPosition, 0, {8, 8});
    SetAt(l, BEE_StreamPosition, 10, {36, 22}, false);
    AddShapeMask(l, OM_TypeOval, FixedRect{2 << 16, 2 << 16, 16 << 16, 12 << 16});
    BEE_SolidSettings top = Solid("Top", 0xFFC02080, 16, 10);
    EXPECT_EQ(BEE_CmdNewSolidLayer(comp, &top, &l), 0);
    EXPECT_EQ(BEE_CmdApplyEffect(l, Class(FLT_MatchFastBlur), nullptr), 0);
    SetAt(l, BEE_StreamFirstEffect, 0, {3}, false);
    SetAt(l, BEE_StreamOpacity, 0, {100});
    SetAt(l, BEE_StreamOpacity, 10, {40}, false);
    return comp;
  }
  static void Select(BEE_Item comp, std::initializer_list<int32_t> indices) {
    BEE_Selection sel = GOT(BEE_Selection, BEE_NewSelection);
    for (int32_t i : indices) ASSERT_EQ(BEE_SelectLayer(sel, Layer(comp, i), 1, nullptr), 0);
    ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
    BEE_DisposeSelection(sel);
  }
  static constexpr std::initializer_list<int32_t> kTimes = {0, 3, 7, 10};
};

// Either way of pre-composing (moving the attributes or leaving them) is
// one step that undoes to the project as it was, redoes, and renders the
// same after a save; the layer that stands for the new composition is the
// one selected. (How the frames compare with those before the step is
// checked from Python.)
TEST_F(Compify, BothOptionsUndoRedoAndSave) {
  for (const bool move : {true, false}) {
    SCOPED_TRACE(move ? "move" : "leave");
    BEE_Item comp = Build();
    const std::vector<uint64_t> want = Frames(comp, kTimes);
    if (move)
      Select(comp, {0, 1});
    else
      Select(comp, {1});
    const std::string before = Dump();
    BEE_Item inner = GOT(BEE_Item, BEE_CmdCompify, comp, "Inner", move);
    BEE_Layer standIn = Layer(comp, move ? 0 : 1);
    EXPECT_EQ(GOT(BEE_Item, BEE_GetLayerSource, standIn), inner);
    BEE_Selection sel = GOT(BEE_Selection, BEE_GetCompSelection, comp);
    EXPECT_TRUE(GOT(Boolean32, BEE_IsLayerSelected, sel, standIn));
    const std::vector<uint64_t> moved = Frames(comp, kTimes);
    const std::string after = Dump();

    ASSERT_EQ(BEE_Undo(), 0);
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Frames(comp, kTimes), want);
    ASSERT_EQ(BEE_Redo(), 0);
    EXPECT_EQ(Dump(), after);
    EXPECT_EQ(Frames(comp, kTimes), moved);

    ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
    ASSERT_EQ(BEE_CmdOpenProject(Spec("p.tvp"), 0, nullptr), 0);
    EXPECT_EQ(Frames(FindComp("Main"), kTimes), moved);
  }
}

TEST_F(Compify, RefusalsChangeNothing) {
  BEE_Item comp = Build();
  struct Case {
    std::initializer_list<int32_t> selected;
    Boolean32 move;
    const char* message;
  };
  const Case cases[] = {
      {{}, 1, "no layer is selected to pre-compose"},
      {{0, 2}, 0, "leaving the attributes in the composition pre-composes one layer (2 are selected)"},
      {{0}, 0, "the source of layer \"Top\" cannot be pre-composed on its own"},  // its own solid
  };
  for (const Case& c : cases) {
    Select(comp, c.selected);
    const std::string selected = Dump();
    rec.clear();
    EXPECT_EQ(BEE_CmdCompify(comp, nullptr, c.move, nullptr), kErrBadParam) << c.message;
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_NE(rec.last().text.find(c.message), std::string::npos) << rec.last().text;
    EXPECT_EQ(Dump(), selected);
  }
  // A composition nested as deep as a frame renders cannot be pushed a level
  // deeper: the step is refused and taken back whole.
  BEE_Item deepest = comp;
  for (int i = 0;; ++i) {
    BEE_CompSettings s = Settings(("D" + std::to_string(i)).c_str(), 8, 8);
    BEE_Item c = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
    BEE_Layer l = nullptr;
    if (BEE_CmdNewLayer(c, deepest, &l) != 0) break;
    deepest = c;
  }
  Select(deepest, {0});
  const std::string deep = Dump();
  EXPECT_NE(BEE_CmdCompify(deepest, "Deeper", 1, nullptr), 0);
  EXPECT_EQ(Dump(), deep);
  EXPECT_NE(UndoName(), "Pre-compose");
  EXPECT_EQ(RedoName(), "<none>");
}

}  // namespace
}  // namespace tv::bee::test
