// Selections, scraps and pasting: the four kinds and their coupling, the
// fault texts, commands 7 and 8 with undo, copy and the paste checks.
#include <cstring>

#include "BEE_test_support.h"
#include "OM.h"

namespace tv::bee::test {
namespace {

class Select : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    comp = NewComp();
    BEE_FootageDesc d = Footage("clip", 640, 480, Time{4, 1});
    ASSERT_EQ(BEEp_MakeFootageItem(nullptr, &d, &clip), 0);
    ASSERT_EQ(BEE_CmdNewLayer(comp, clip, &a), 0);
    ASSERT_EQ(BEE_CmdNewLayer(comp, clip, &b), 0);
    ASSERT_EQ(BEE_NewSelection(&sel), 0);
    rec.clear();
  }
  void TearDown() override {
    BEE_DisposeSelection(sel);
    BeeFixture::TearDown();
  }
  void AddMask(BEE_Layer layer) {
    OM_Shape shape = nullptr;
    FixedRect r{0, 0, 10 << 16, 10 << 16};
    ASSERT_EQ(OM_NewShape(1, &r, &shape), 0);  // a rectangle: 8 vertices
    ASSERT_EQ(BEE_CmdAddMask(layer, shape, nullptr), 0);
    OM_DisposeShape(shape);
  }
  int32_t Count(intptr_t kind, BEE_Layer layer, intptr_t index = 0) {
    BEE_SelDesc d{kind, layer, index, 0};
    int32_t n = -1;
    EXPECT_EQ(BEE_CountSelected(sel, &d, &n), 0);
    return n;
  }
  ErrorCode Pick(intptr_t kind, BEE_Layer layer, intptr_t index = 0, intptr_t vertex = 0, Boolean32 on = 1) {
    BEE_SelDesc d{kind, layer, index, vertex};
    return BEE_Select(sel, on, &d, nullptr);
  }
  // Two keys on Position: frame 0 (320, 240) and frame 15 (100, 50).
  void KeyPosition(BEE_Layer layer) {
    Time t0{0, 1}, t1{1, 2};
    ASSERT_EQ(BEE_CmdSetStreamVary(layer, BEE_StreamPosition, &t0, 1), 0);
    BEE_StreamValue v{};
    v.values[0] = 100;
    v.values[1] = 50;
    ASSERT_EQ(BEE_CmdSetStreamFPV(layer, BEE_StreamPosition, nullptr, &t1, &v), 0);
  }
  std::vector<double> Value(BEE_Layer layer, int32_t index, Time t) {
    BEE_StreamValue v{};
    EXPECT_EQ(BEE_GetStreamFPV(layer, index, nullptr, &t, &v), 0);
    return std::vector<double>(v.values, v.values + v.count);
  }

  BEE_Item comp = nullptr, clip = nullptr;
  BEE_Layer a = nullptr, b = nullptr;
  BEE_Selection sel = nullptr;
};

using V = std::vector<double>;

TEST_F(Select, KindsSelectCountAndIterateInLayerOrder) {
  AddMask(a);
  ASSERT_EQ(Pick(BEE_SelKindLayer, b), 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  ASSERT_EQ(Pick(BEE_SelKindStream, a, BEE_StreamOpacity), 0);
  ASSERT_EQ(Pick(BEE_SelKindMask, a, 0), 0);
  EXPECT_EQ(Count(BEE_SelKindLayer, nullptr), 2);
  EXPECT_EQ(Count(BEE_SelKindStream, nullptr), 1);
  EXPECT_EQ(Count(BEE_SelKindMask, nullptr), 1);
  // A mask selected with none of its vertices selects all eight.
  EXPECT_EQ(Count(BEE_SelKindVertex, a, 0), 8);
  EXPECT_EQ(Count(BEE_SelKindVertex, a, BEE_SelAllMasks), 8);
  // Layer a was made first: it has the lower ID and comes first.
  BEE_Layer first = nullptr;
  ASSERT_EQ(BEE_GetIndSelectedLayer(sel, 0, &first), 0);
  EXPECT_EQ(first, a);
  Boolean32 yes = 0;
  ASSERT_EQ(BEE_IsSelected(sel, BEE_SelKindMask, nullptr, &yes), 0);
  EXPECT_EQ(yes, 1);
  ASSERT_EQ(BEE_IsSelected(sel, 3, nullptr, &yes), 0);
  EXPECT_EQ(yes, 0);
  // Deselecting the mask's vertices one by one deselects the mask with the last.
  for (int v = 0; v < 8; ++v) ASSERT_EQ(Pick(BEE_SelKindVertex, a, 0, v, 0), 0);
  EXPECT_EQ(Count(BEE_SelKindMask, nullptr), 0);
}

TEST_F(Select, FaultsLeaveTheSelectionAsItWas) {
  AddMask(a);
  ASSERT_EQ(Pick(BEE_SelKindVertex, a, 0, 3), 0);
  EXPECT_EQ(Pick(BEE_SelKindVertex, a, 0, 3), BEE_ErrSelectedTwice);
  EXPECT_TRUE(Reported("Mask Vertex Selected Twice."));
  EXPECT_EQ(rec.last().location, static_cast<LocationCode>(0x1A0000C7));
  EXPECT_EQ(Count(BEE_SelKindVertex, a, 0), 1);
  EXPECT_EQ(Pick(BEE_SelKindVertex, a, 0, 4, 0), BEE_ErrSelNotFound);
  EXPECT_TRUE(Reported("Selected Mask Vertex Not Found."));
  EXPECT_EQ(Pick(BEE_SelKindVertex, a, 0, 8), kErrRange);  // a rectangle has 8
  EXPECT_EQ(Pick(BEE_SelKindMask, a, 1), kErrRange);
  Boolean32 r = 7;
  BEE_SelDesc d{BEE_SelKindLayer, a, 0, 0};
  EXPECT_EQ(BEE_IsSelected(sel, BEE_SelKindLayer, &d, &r), BEE_ErrSelType);
  EXPECT_EQ(BEE_IsSelected(sel, 0, nullptr, &r), BEE_ErrSelType);
  EXPECT_TRUE(Reported("Illegal Selection Type."));
  BEE_SelDesc every{BEE_SelKindVertex, nullptr, 0, 0};
  int32_t n = 0;
  EXPECT_EQ(BEE_CountSelected(sel, &every, &n), BEE_ErrSelType);
  EXPECT_TRUE(Reported("Implement Count Vertexes over layers."));
  EXPECT_EQ(rec.last().severity, kSevWarning);
  BEE_SelDesc thing{};
  EXPECT_EQ(BEE_GetIndSelected(sel, &every, 0, &thing), BEE_ErrSelType);
  EXPECT_TRUE(Reported("Implement GetIndSel Vertexes over layers."));
  BEE_Layer l = nullptr;
  EXPECT_EQ(BEE_GetIndSelectedLayer(sel, 0, &l), kErrRange);
  EXPECT_TRUE(Reported("Selected Layer Not Found."));
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  EXPECT_EQ(BEE_GetIndSelectedLayer(sel, 1, &l), kErrRange);
  EXPECT_TRUE(Reported("invalid inquiry of selected layer 1."));
  EXPECT_EQ(l, nullptr);
}

TEST_F(Select, KeyframesAndDuplicates) {
  KeyPosition(a);
  ASSERT_EQ(BEE_SelectKeyframe(sel, a, BEE_StreamPosition, 1, 1, nullptr), 0);
  EXPECT_EQ(BEE_SelectKeyframe(sel, a, BEE_StreamPosition, 2, 1, nullptr), kErrRange);
  Boolean32 r = 0;
  ASSERT_EQ(BEE_IsKeyframeSelected(sel, a, BEE_StreamPosition, 1, &r), 0);
  EXPECT_EQ(r, 1);
  ASSERT_EQ(BEE_IsKeyframeSelected(sel, a, BEE_StreamPosition, 0, &r), 0);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  ASSERT_EQ(BEE_IsKeyframeSelectedPlus(sel, a, BEE_StreamPosition, 0, &r), 0);
  EXPECT_EQ(r, 1);
  BEE_Selection copy = nullptr, none = reinterpret_cast<BEE_Selection>(1);
  ASSERT_EQ(BEE_DuplicateSelection(sel, &copy), 0);
  ASSERT_EQ(BEE_DuplicateSelection(nullptr, &none), 0);
  EXPECT_EQ(none, nullptr);
  ASSERT_EQ(BEE_DeselectAllKeyframes(sel), 0);
  int32_t n = -1;
  ASSERT_EQ(BEE_CountSelectedKeyframes(sel, &n), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(BEE_CountSelectedKeyframes(copy, &n), 0);
  EXPECT_EQ(n, 1);
  BEE_DisposeSelection(copy);
}

TEST_F(Select, CompSelectionChangesAreOneUndoStep) {
  BEE_Selection own = nullptr;
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, b), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  int32_t n = 0;
  ASSERT_EQ(BEE_CountSelectedLayers(own, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(Dirty(), 1);  // the layers made it dirty; selecting keeps that
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedLayers(own, &n), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(BEE_Redo(), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedLayers(own, &n), 0);
  EXPECT_EQ(n, 2);
  // A layer cleared from the composition drops out of every query.
  ASSERT_EQ(BEE_CmdDeleteLayer(b), 0);
  ASSERT_EQ(BEE_CountSelectedLayers(own, &n), 0);
  EXPECT_EQ(n, 1);
}

// The command forgets the selected keys as part of the step before it.
TEST_F(Select, DeselectingEveryKeyframeJoinsTheStepBefore) {
  KeyPosition(a);
  ASSERT_EQ(BEE_SelectKeyframe(sel, a, BEE_StreamPosition, 1, 1, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  const std::vector<int32_t> stacks = Stacks();
  BEE_Selection own = nullptr;
  int32_t n = -1;
  ASSERT_EQ(BEE_CmdDeselectAllKeyframes(comp), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedKeyframes(own, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Stacks()[1], stacks[1]);  // no step of its own
  ASSERT_EQ(BEE_CmdDeselectAllKeyframes(comp), 0);  // nothing selected: nothing done
  EXPECT_EQ(Stacks(), stacks);
  // One undo goes back before the keys were selected.
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedKeyframes(own, &n), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(BEE_Redo(), 0);
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedKeyframes(own, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(BEE_CmdDeselectAllKeyframes(nullptr), kErrDamaged);
}

TEST_F(Select, ScrapSlotsKeepTheOldScrapUntilUndoDropsIt) {
  BEE_Scrap one = CopyStreams(a, {BEE_StreamOpacity});
  BEE_Scrap two = CopyStreams(a, {BEE_StreamRotation});
  ASSERT_EQ(BEE_CmdSetScrap(0, one), 0);
  ASSERT_EQ(BEE_CmdSetScrap(0, two), 0);
  BEE_Scrap now = nullptr;
  ASSERT_EQ(BEE_QueryScrap(0, &now), 0);
  EXPECT_EQ(now, two);
  EXPECT_EQ(UndoName(), "Copy");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_QueryScrap(0, &now), 0);
  EXPECT_EQ(now, one);  // the old scrap lived on in the undo record
  EXPECT_EQ(BEE_QueryScrap(BEE_ScrapSlots, &now), kErrBadParam);
  EXPECT_EQ(BEE_DisposeScrap(one), kErrBadParam);  // a slot's scrap is the engine's
  // Everything is released at death (checked by the fixture).
}

TEST_F(Select, CopyingKeysNeedsOneLayer) {
  BEE_SelDesc da{BEE_SelKindStream, a, BEE_StreamOpacity, 0}, db{BEE_SelKindStream, b, BEE_StreamOpacity, 0};
  ASSERT_EQ(BEE_Select(sel, 1, &da, nullptr), 0);
  ASSERT_EQ(BEE_Select(sel, 1, &db, nullptr), 0);
  BEE_Scrap scrap = reinterpret_cast<BEE_Scrap>(1);
  EXPECT_EQ(BEE_CopyKeysToNewScrap(sel, &scrap), kErrBadParam);
  EXPECT_EQ(scrap, nullptr);
  EXPECT_TRUE(Reported("can't copy keyframes from multiple layers."));
  EXPECT_EQ(rec.last().location, static_cast<LocationCode>(0x1A000072));
}

TEST_F(Select, PasteChecksRefuseAndChangeNothing) {
  AddMask(b);
  struct Case {
    intptr_t from, to;
    const char* text;
  } cases[] = {
      {BEE_StreamPosition, BEE_StreamOpacity, "can't paste spatial data to temporal data."},
      {BEE_StreamOpacity, BEE_StreamPosition, "can't paste temporal data to spatial data."},
      {BEE_StreamScale, BEE_StreamRotation, "can't paste from 2 dimension(s) to 1"},
      {BEE_StreamFirstMask, BEE_StreamOpacity, "can't paste from custom data."},
      {BEE_StreamOpacity, BEE_StreamFirstMask, "can't paste to custom data."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BEE_Layer from = c.from == BEE_StreamFirstMask ? b : a;
    BEE_Scrap scrap = CopyStreams(from, {c.from});
    ASSERT_NE(scrap, nullptr);
    BEE_ScrapInfo info{};
    ASSERT_EQ(BEE_GetScrapInfo(scrap, &info), 0);
    ASSERT_EQ(info.count, 1);
    const std::string before = Dump();
    rec.clear();
    EXPECT_EQ(BEE_CmdPasteKeyframesIntoStream(c.to == BEE_StreamFirstMask ? b : a, static_cast<int32_t>(c.to), scrap),
              kErrBadParam);
    EXPECT_TRUE(Reported(c.text));
    EXPECT_EQ(rec.last().location, static_cast<LocationCode>(0x1A00000D));
    EXPECT_EQ(Dump(), before);
    BEE_DisposeScrap(scrap);
  }
}

TEST_F(Select, PastedKeysStartAtTheCurrentTimeAndUndoWhole) {
  KeyPosition(a);
  BEE_Scrap scrap = CopyStreams(a, {BEE_StreamPosition, BEE_StreamOpacity});
  Time later{1, 1};
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, later), 0);
  const std::string before = Dump();
  ASSERT_EQ(BEE_CmdPasteKeyframesIntoLayer(b, scrap), 0);
  EXPECT_EQ(UndoName(), "Paste Keyframes");
  EXPECT_EQ(Value(b, BEE_StreamPosition, Time{1, 1}), (V{320, 240}));
  EXPECT_EQ(Value(b, BEE_StreamPosition, Time{3, 2}), (V{100, 50}));
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Dump(), before);
  BEE_DisposeScrap(scrap);
}

TEST_F(Select, PastedLayersBecomeTheSelectionAndLoseMissingSources) {
  BEE_Scrap scrap = nullptr;
  ASSERT_EQ(BEE_NewScrap(&scrap), 0);
  ASSERT_EQ(BEE_CopyLayerToScrap(scrap, a), 0);
  BEE_Item inner = NewComp("inner");
  BEE_Layer nested = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(inner, comp, &nested), 0);
  // A layer showing comp, pasted into comp, would contain itself.
  ASSERT_EQ(BEE_CopyLayerToScrap(scrap, nested), 0);
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(comp, scrap), 0);
  EXPECT_EQ(UndoName(), "Paste Layers");
  EXPECT_TRUE(Reported("a layer being pasted has a source that references this composition."));
  int32_t n = 0;
  ASSERT_EQ(BEE_GetCompNumLayers(comp, &n), 0);
  EXPECT_EQ(n, 4);
  BEE_Layer top = nullptr, second = nullptr;
  BEE_GetIndLayer(comp, 0, &top);
  BEE_GetIndLayer(comp, 1, &second);
  BEE_Item src = nullptr;
  BEE_GetLayerSource(second, &src);
  EXPECT_EQ(Name(src), "Was Circular Reference");
  BEE_Selection own = nullptr;
  ASSERT_EQ(BEE_GetCompSelection(comp, &own), 0);
  ASSERT_EQ(BEE_CountSelectedLayers(own, &n), 0);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_GetCompNumLayers(comp, &n), 0);
  EXPECT_EQ(n, 2);
  BEE_DisposeScrap(scrap);
}

}  // namespace
}  // namespace tv::bee::test
