// Selections, scraps and pasting: the four kinds and their coupling, the
// fault texts, commands 7 and 8 with undo, copy and the paste checks.
#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

class Select : public ClipFixture {
 protected:
  void SetUp() override {
    ClipFixture::SetUp();
    ASSERT_EQ(BEE_NewSelection(&sel), 0);
  }
  void TearDown() override {
    BEE_DisposeSelection(sel);
    ClipFixture::TearDown();
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
  // What the composition's own selection holds: {layers, keyframes}.
  std::pair<int32_t, int32_t> Held() {
    BEE_Selection own = GOT(BEE_Selection, BEE_GetCompSelection, comp);
    return {GOT(int32_t, BEE_CountSelectedLayers, own), GOT(int32_t, BEE_CountSelectedKeyframes, own)};
  }
  // Two keys on Position: frame 0 (320, 240) and frame 15 (100, 50).
  void KeyPosition(BEE_Layer layer) { ASSERT_EQ(SetValue(layer, BEE_StreamPosition, Time{1, 2}, {100, 50}, true), 0); }

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
  EXPECT_EQ(GOT(BEE_Layer, BEE_GetIndSelectedLayer, sel, 0), a);
  Boolean32 yes = GOT(Boolean32, BEE_IsSelected, sel, BEE_SelKindMask, nullptr);
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
  Boolean32 r = GOT(Boolean32, BEE_IsKeyframeSelected, sel, a, BEE_StreamPosition, 1);
  EXPECT_EQ(r, 1);
  ASSERT_EQ(BEE_IsKeyframeSelected(sel, a, BEE_StreamPosition, 0, &r), 0);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  EXPECT_EQ(GOT(Boolean32, BEE_IsKeyframeSelectedPlus, sel, a, BEE_StreamPosition, 0), 1);
  BEE_Selection copy = nullptr, none = reinterpret_cast<BEE_Selection>(1);
  ASSERT_EQ(BEE_DuplicateSelection(sel, &copy), 0);
  ASSERT_EQ(BEE_DuplicateSelection(nullptr, &none), 0);
  EXPECT_EQ(none, nullptr);
  ASSERT_EQ(BEE_DeselectAllKeyframes(sel), 0);
  int32_t n = -1;
  ASSERT_EQ(BEE_CountSelectedKeyframes(sel, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(GOT(int32_t, BEE_CountSelectedKeyframes, copy), 1);
  BEE_DisposeSelection(copy);
}

TEST_F(Select, CompSelectionChangesAreOneUndoStep) {
  EXPECT_EQ(Held(), std::pair(0, 0));
  ASSERT_EQ(Pick(BEE_SelKindLayer, a), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  ASSERT_EQ(Pick(BEE_SelKindLayer, b), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  EXPECT_EQ(Dirty(), 1);  // the layers made it dirty; selecting keeps that
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Held().first, 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Held().first, 2);
  // A layer cleared from the composition drops out of every query.
  ASSERT_EQ(BEE_CmdDeleteLayer(b), 0);
  EXPECT_EQ(Held().first, 1);
}

// The command forgets the selected keys as part of the step before it.
TEST_F(Select, DeselectingEveryKeyframeJoinsTheStepBefore) {
  KeyPosition(a);
  ASSERT_EQ(BEE_SelectKeyframe(sel, a, BEE_StreamPosition, 1, 1, nullptr), 0);
  ASSERT_EQ(BEE_CmdSetCompSelection(comp, sel), 0);
  const std::vector<int32_t> stacks = Stacks();
  ASSERT_EQ(BEE_CmdDeselectAllKeyframes(comp), 0);
  EXPECT_EQ(Held().second, 0);
  EXPECT_EQ(Stacks()[1], stacks[1]);  // no step of its own
  ASSERT_EQ(BEE_CmdDeselectAllKeyframes(comp), 0);  // nothing selected: nothing done
  EXPECT_EQ(Stacks(), stacks);
  // One undo goes back before the keys were selected.
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Held().second, 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Held().second, 0);
  EXPECT_EQ(BEE_CmdDeselectAllKeyframes(nullptr), kErrDamaged);
}

TEST_F(Select, ScrapSlotsKeepTheOldScrapUntilUndoDropsIt) {
  BEE_Scrap one = CopyStreams(a, {BEE_StreamOpacity});
  BEE_Scrap two = CopyStreams(a, {BEE_StreamRotation});
  ASSERT_EQ(BEE_CmdSetScrap(0, one), 0);
  ASSERT_EQ(BEE_CmdSetScrap(0, two), 0);
  BEE_Scrap now = GOT(BEE_Scrap, BEE_QueryScrap, 0);
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
    ASSERT_EQ(GOT(BEE_ScrapInfo, BEE_GetScrapInfo, scrap).count, 1);
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

// A property that was not animated takes the pasted keys alone: its old
// value leaves no key at the paste time.
TEST_F(Select, PastedKeysAloneAnimateAConstantProperty) {
  KeyPosition(a);  // keys at 0 and 0.5 s
  const Time quarter{1, 4};
  ASSERT_EQ(BEE_CmdSetStreamVary(a, BEE_StreamOpacity, &quarter, 1), 0);
  ASSERT_EQ(SetValue(a, BEE_StreamOpacity, quarter, {20}), 0);
  ASSERT_EQ(SetValue(a, BEE_StreamOpacity, Time{1, 1}, {60}), 0);
  BEE_Scrap scrap = CopyStreams(a, {BEE_StreamPosition, BEE_StreamOpacity});
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{1, 1}), 0);
  ASSERT_EQ(BEE_CmdPasteKeyframesIntoLayer(b, scrap), 0);
  const BEE_StreamRef ref{b, BEE_StreamOpacity};
  TDB_Stream opacity = nullptr;
  ASSERT_EQ(BEE_StreamLookup(&ref, &opacity), 0);
  std::vector<double> keys;
  int32_t n = 0;
  ASSERT_EQ(TDB_GetNumKeys(opacity, &n), 0);
  for (int32_t k = 0; k < n; ++k) {
    Time t{};
    ASSERT_EQ(TDB_IndexToTime(opacity, k, &t), 0);
    keys.push_back(static_cast<double>(t.value) / t.scale);
  }
  EXPECT_EQ(keys, (V{1.25, 2}));
  EXPECT_EQ(Value(b, BEE_StreamOpacity, Time{1, 1}), V{20});
  EXPECT_EQ(Value(b, BEE_StreamOpacity, Time{2, 1}), V{60});
  BEE_DisposeScrap(scrap);
}

TEST_F(Select, PastedLayersBecomeTheSelectionAndLoseMissingSources) {
  BEE_Scrap scrap = GOT(BEE_Scrap, BEE_NewScrap);
  ASSERT_EQ(BEE_CopyLayerToScrap(scrap, a), 0);
  BEE_Item inner = NewComp("inner");
  BEE_Layer nested = GOT(BEE_Layer, BEE_CmdNewLayer, inner, comp);
  // A layer showing comp, pasted into comp, would contain itself.
  ASSERT_EQ(BEE_CopyLayerToScrap(scrap, nested), 0);
  ASSERT_EQ(BEE_CmdPasteLayersIntoComp(comp, scrap), 0);
  EXPECT_EQ(UndoName(), "Paste Layers");
  EXPECT_TRUE(Reported("a layer being pasted has a source that references this composition."));
  int32_t n = GOT(int32_t, BEE_GetCompNumLayers, comp);
  EXPECT_EQ(n, 4);
  GOT(BEE_Layer, BEE_GetIndLayer, comp, 0);
  BEE_Layer second = GOT(BEE_Layer, BEE_GetIndLayer, comp, 1);
  BEE_Item src = GOT(BEE_Item, BEE_GetLayerSource, second);
  EXPECT_EQ(Name(src), "Was Circular Reference");
  EXPECT_EQ(Held().first, 2);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(GOT(int32_t, BEE_GetCompNumLayers, comp), 2);
  BEE_DisposeScrap(scrap);
}

}  // namespace
}  // namespace tv::bee::test
