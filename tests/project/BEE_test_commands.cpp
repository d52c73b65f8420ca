// Every table command built so far: do, undo and redo restore the model
// exactly (compared through a full dump), and failures change nothing.
#include "BEE_cmd_internal.h"
#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

class Commands : public BeeFixture {
 protected:
  void SetUp() override {
    BeeFixture::SetUp();
    ASSERT_EQ(BEE_CmdNewFolder(nullptr, "Folder", &folder), 0);
    ASSERT_EQ(BEE_CmdNewFolder(nullptr, "Empty", &empty), 0);
    BEE_CompSettings s = Settings("Inner", 200, 100, 25u << 16, Time{4, 1});
    ASSERT_EQ(BEE_CmdNewComp(folder, &s, &inner), 0);
    comp = NewComp("Main");
    a = NewSolidLayer(comp, "A");
    b = NewSolidLayer(comp, "B");
    ASSERT_EQ(BEE_CmdNewLayer(comp, inner, &nested), 0);
    BEE_GetLayerSource(a, &solidA);
    BEE_CompSettings o = Settings("Other");
    ASSERT_EQ(BEE_CmdNewComp(nullptr, &o, &other), 0);
    rec.clear();
  }

  // Keys for a stream of the layer: a duplicate of the current stream with
  // two eased keys.
  TDB_Stream Keyed(BEE_Layer layer, int32_t index, double v0, double v1) {
    TDB_Stream d = KeyableCopy(layer, index);
    TDB_StreamInfo info = GOT(TDB_StreamInfo, TDB_GetStreamInfo, d);
    double x[4] = {v0, v0, v0, v0}, y[4] = {v1, v1, v1, v1};
    EXPECT_EQ(TDB_InsertKeyF(d, nullptr, 0, 1, x, TDB_InterpBezier, TDB_InterpBezier), 0);
    EXPECT_EQ(TDB_InsertKeyF(d, nullptr, static_cast<int32_t>(info.timeScale), 1, y, TDB_InterpBezier,
                             TDB_InterpBezier), 0);
    return d;
  }

  BEE_Item folder = nullptr, empty = nullptr, inner = nullptr, comp = nullptr, solidA = nullptr, other = nullptr;
  BEE_Layer a = nullptr, b = nullptr, nested = nullptr;
};

TEST_F(Commands, EachCommandIsUndoneAndRedoneExactly) {
  BEE_RulerOrigin origin{12.5, -3};
  BEE_Guide guide{40, {1, 2, 3}, 0};
  BEE_Item made = nullptr;  // what a command makes
  BEE_Layer madeLayer = nullptr;
  const std::vector<std::pair<const char*, std::function<ErrorCode()>>> cases = {
      {"Remove Item", [&] { return BEE_CmdRemoveItem(empty); }},
      {"Keyframe Change", [&] { return BEE_CmdSetStreamKeys(a, BEE_StreamPosition, Keyed(a, BEE_StreamPosition, 0, 300)); }},
      {"New Composition", [&] {
         BEE_CompSettings s = Settings("New");
         return BEE_CmdNewComp(folder, &s, &made);
       }},
      {"New Layer", [&] { return BEE_CmdNewLayer(comp, inner, &madeLayer); }},
      {"New Layer", [&] { return NewSolidLayer(comp, "S") ? ErrorCode{0} : ErrorCode{1}; }},
      {"Clear Layer", [&] { return BEE_CmdDeleteLayer(b); }},
      {"Layer Time Change", [&] { return BEE_CmdSetLayerTimes(a, Time{1, 2}, Time{1, 10}, Time{3, 1}); }},
      {"Time Change", [&] { return BEE_CmdSeekItemToTime(comp, Time{2, 1}); }},
      {"Name Change", [&] { return BEE_CmdRenameItem(inner, "Renamed"); }},
      {"Resolution Change", [&] { return BEE_CmdSetResolution(comp, 2, 4); }},
      {"Layer Reordering", [&] { return BEE_CmdReorderLayer(nested, 2); }},
      {"Background Color Change", [&] { return BEE_CmdSetBackgroundColor(comp, 0x123456); }},
      {"Layer Stretch", [&] { return BEE_CmdSetLayerStretch(a, Ratio{-2, 1}); }},
      {"Quality Change", [&] { return BEE_CmdSetLayerQuality(a, BEE_QualityDraft); }},
      {"Transfer Mode", [&] { return BEE_CmdSetTransfer(b, 7, BEE_TransferKeepAlpha, BEE_MatteAlphaInverted); }},
      {"Toggle Switch", [&] { return BEE_CmdSetLayerSwitch(a, BEE_SwitchMotionBlur, 1); }},
      {"Composition Switch", [&] { return BEE_CmdSetCompSwitch(comp, BEE_CompSwitchMotionBlur, 1); }},
      {"Solid Settings", [&] {
         BEE_SolidSettings s = Solid("Green", 0xFF00FF00, 30, 40);
         return BEE_CmdSetSolidSettings(solidA, &s);
       }},
      {"Duplicate Layer", [&] { return BEE_CmdDuplicateLayer(a, &madeLayer); }},
      {"Replace Source", [&] { return BEE_CmdReplaceSource(nested, other); }},
      {"Replace Item", [&] { return BEE_CmdReplaceItem(inner, other); }},
      {"Duplicate Composition", [&] { return BEE_CmdDuplicateComp(comp, &made); }},
      {"Layer Looping", [&] { return BEE_DoCommand(BEE_CmdNumLayerLooping, nullptr); }},
      {"Layer Name", [&] { return BEE_CmdRenameLayer(a, "Layer A"); }},
      {"New Folder", [&] { return BEE_CmdNewFolder(folder, "Sub", &made); }},
      {"Move Item", [&] { return BEE_CmdMoveItem(folder, empty); }},
      {"New Guide", [&] { return BEE_CmdAddGuide(comp, guide); }},
      {"Label Change", [&] { return BEE_CmdSetItemLabel(comp, 4); }},
      {"Label Change", [&] { return BEE_CmdSetLayerLabel(b, -2); }},
      {"Comment Change", [&] { return BEE_CmdSetItemComment(comp, "a comment"); }},
      {"Comment Change", [&] { return BEE_CmdSetLayerComment(a, "layer note"); }},
      {"Ruler Origin", [&] { return BEE_CmdSetItemOrigin(comp, &origin); }},
      {"Ruler Origin", [&] { return BEE_CmdSetLayerOrigin(a, &origin); }},
  };
  for (const auto& [name, run] : cases) {
    SCOPED_TRACE(name);
    std::string before = Dump();
    ASSERT_EQ(run(), 0);
    std::string after = Dump();
    // Every command but the marker changes the project.
    EXPECT_EQ(before == after, std::string(name) == "Layer Looping");
    EXPECT_EQ(UndoName(), name);
    ASSERT_EQ(BEE_Undo(), 0);
    EXPECT_TRUE(Dump() == before);
    EXPECT_EQ(RedoName(), name);
    ASSERT_EQ(BEE_Redo(), 0);
    EXPECT_TRUE(Dump() == after);
    ASSERT_EQ(BEE_Undo(), 0);
    EXPECT_TRUE(Dump() == before);
    BEE_ClearUndoRedo();
  }
}

TEST_F(Commands, GuidesAreRemovedAndMoved) {
  BEE_Guide g1{10, {0, 0, 0}, 0}, g2{20, {1, 0, 0}, 0};
  ASSERT_EQ(BEE_CmdAddGuide(comp, g1), 0);
  ASSERT_EQ(BEE_CmdAddGuide(comp, g2), 0);
  std::string two = Dump();
  ASSERT_EQ(BEE_CmdRemoveGuide(comp, 0), 0);
  int32_t n = 0;
  BEE_Guide out[2]{};
  BEE_GetItemGuides(comp, &n, out, 2);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(out[0].position, 20);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Dump(), two);
  ASSERT_EQ(BEE_CmdMoveGuide(comp, 1, BEE_Guide{99, {1, 1, 1}, 0}), 0);
  BEE_GetItemGuides(comp, &n, out, 2);
  EXPECT_EQ(out[1].position, 99);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Dump(), two);
  EXPECT_EQ(BEE_CmdRemoveGuide(comp, 2), kErrRange);
  EXPECT_EQ(Dump(), two);
}

TEST_F(Commands, FailuresChangeNothingAndPushNothing) {
  auto stacks = Stacks();
  BEE_CompSettings bad = Settings("bad", 0, 10);
  BEE_Item none = nullptr;
  BEE_SolidSettings flat = Solid("flat", 0, 0, 10);
  BEE_Layer lnone = nullptr;
  // A two-dimensional stream for a one-dimensional property.
  TDB_Stream wrong = Keyed(a, BEE_StreamPosition, 0, 1);
  std::string before = Dump();
  const std::vector<std::function<ErrorCode()>> failing = {
      [&] { return BEE_CmdNewComp(nullptr, &bad, &none); },
      [&] { return BEE_CmdNewSolidLayer(comp, &flat, &lnone); },
      [&] { return BEE_CmdRemoveItem(folder); },          // holds an item
      [&] { return BEE_CmdRemoveItem(inner); },           // used by a layer
      [&] { return BEE_CmdRemoveItem(Root()); },
      [&] { return BEE_CmdReorderLayer(a, 3); },
      [&] { return BEE_CmdSetLayerQuality(a, 3); },
      [&] { return BEE_CmdSetLayerSwitch(a, 0x3, 1); },   // two switches at once
      [&] { return BEE_CmdSetLayerTimes(a, Time{0, 1}, Time{2, 1}, Time{1, 1}); },
      [&] { return BEE_CmdSetItemOrigin(nullptr, nullptr); },
      [&] { return BEE_CmdMoveItem(folder, folder); },
      [&] { return BEE_CmdReplaceItem(solidA, other); },  // a solid stays with its layer
      [&] { return BEE_CmdReplaceItem(inner, comp); },    // Main would contain itself
      [&] { return BEE_CmdSetStreamKeys(a, BEE_StreamRotation, wrong); },
      [&] { return BEE_CmdSetStreamKeys(a, BEE_StreamMarker, nullptr); },
      [&] { return BEE_DoCommand(BEE_CmdNumImport, nullptr); },
      [&] { return BEE_DoCommand(BEE_CmdNumChangeValue, nullptr); },
  };
  for (size_t i = 0; i < failing.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(failing[i](), 0);
    EXPECT_TRUE(Dump() == before);
    EXPECT_EQ(Stacks(), stacks);
  }
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(lnone, nullptr);
  EXPECT_TRUE(Reported("a switch change must name exactly one switch") ||
              Reported("strange situation [BEE_SetLayerSwitch/3]."));
  // The stream that was refused still belongs to the caller.
  EXPECT_EQ(TDB_DisposeStream(wrong), 0);
}

TEST_F(Commands, NumbersOutsideTheTableAndUnbuiltCommands) {
  rec.clear();
  EXPECT_EQ(BEE_DoCommand(0, nullptr), kErrRange);
  EXPECT_EQ(BEE_DoCommand(79, nullptr), kErrRange);
  EXPECT_TRUE(Reported("command #79"));
  EXPECT_EQ(rec.last().location, 0x1A000002u);
  EXPECT_EQ(rec.last().severity, kSevError);
  // Only the low 16 bits name the command.
  intptr_t p[2] = {reinterpret_cast<intptr_t>(comp), reinterpret_cast<intptr_t>("High")};
  EXPECT_EQ(BEE_DoCommand(0x10000 + BEE_CmdNumNameChange, p), 0);
  EXPECT_EQ(Name(comp), "High");
  rec.clear();
  EXPECT_EQ(BEE_DoCommand(BEE_CmdNumChangeValue, nullptr), kErrUnsupported);
  EXPECT_TRUE(Reported("BEEp_DoSetStreamKeyValue obsolete"));
  EXPECT_EQ(BEE_DoCommand(BEE_CmdNumRemoveKeyframe, nullptr), kErrUnsupported);
  EXPECT_TRUE(Reported("BEEp_DoClearStreamKey obsolete"));
  rec.clear();
  EXPECT_EQ(BEE_DoCommand(BEE_CmdNumCompoundControl1, nullptr), kErrUnimplemented);
  EXPECT_TRUE(Reported("Effects is not available in this engine yet (command #44)."));
  for (int32_t n : {44, 45, 46, 58, 71})
    EXPECT_EQ(BEE_DoCommand(n, nullptr), kErrUnimplemented) << n;
  // A table entry without an operation beeps and answers 5.
  uint64_t beeps = platform::BeepCount();
  ASSERT_EQ(BEEp_RegisterCommand(BEE_CmdNumMaskLock, nullptr), 0);
  EXPECT_EQ(BEE_DoCommand(BEE_CmdNumMaskLock, nullptr), kErrUnimplemented);
  EXPECT_EQ(platform::BeepCount(), beeps + 1);
  ASSERT_EQ(BEEp_RegisterCommand(BEE_CmdNumMaskLock, &OpMaskLock), 0);  // the table outlives the test
}

TEST_F(Commands, NewProjectAndCloseClearEverything) {
  ASSERT_EQ(BEE_CmdRenameItem(comp, "x"), 0);
  EXPECT_EQ(UndoName(), "Name Change");
  ASSERT_EQ(BEE_NewProject(), 0);
  EXPECT_EQ(UndoName(), "<none>");
  EXPECT_EQ(Dirty(), 0);  // a new project is clean
  EXPECT_EQ(LiveCounts(), std::pair(1, 0));
  ASSERT_EQ(BEE_CloseProject(), 0);
  BEE_Item root = reinterpret_cast<BEE_Item>(1);
  BEE_QueryProject(&root);
  EXPECT_EQ(root, nullptr);
  rec.clear();
  BEE_Item f = nullptr;
  EXPECT_EQ(BEE_CmdNewFolder(nullptr, "x", &f), kErrBadParam);
  EXPECT_TRUE(Reported("no project is open."));
  ASSERT_EQ(BEE_NewProject(), 0);
}

TEST_F(Commands, SwitchChangesAreBroadcast) {
  struct Seen {
    std::vector<BEE_SwitchNote> switches;
    std::vector<BEE_ChangeNote> changes;
  } seen;
  BEE_SetCallbackFunc([](intptr_t refcon, int32_t selector, void* data) -> ErrorCode {
    auto* s = reinterpret_cast<Seen*>(refcon);
    if (selector == BEE_SelSwitchChanged) s->switches.push_back(*static_cast<BEE_SwitchNote*>(data));
    if (selector == BEE_SelProjectChanged) s->changes.push_back(*static_cast<BEE_ChangeNote*>(data));
    return 0;
  }, reinterpret_cast<intptr_t>(&seen));
  ASSERT_EQ(BEE_CmdSetLayerSwitch(a, BEE_SwitchCollapse, 1), 0);
  ASSERT_EQ(seen.switches.size(), 1u);
  EXPECT_EQ(seen.switches[0].layer, a);
  EXPECT_EQ(seen.switches[0].comp, comp);
  EXPECT_EQ(seen.switches[0].bit, BEE_SwitchCollapse);
  EXPECT_EQ(seen.switches[0].on, 1);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(seen.switches.size(), 2u);
  EXPECT_EQ(seen.switches[1].on, 0);
  ASSERT_EQ(BEE_CmdSetCompSwitch(comp, BEE_CompSwitchGated10, 1), 0);
  EXPECT_EQ(seen.switches.back().layer, nullptr);
  ASSERT_GE(seen.changes.size(), 3u);
  EXPECT_EQ(seen.changes[0].how, BEE_ChangeCommand);
  EXPECT_EQ(seen.changes[0].command, BEE_CmdNumToggleSwitch);
  EXPECT_EQ(seen.changes[1].how, BEE_ChangeUndo);
  BEE_SetCallbackFunc(nullptr, 0);
}

TEST_F(Commands, NestedCompositionsFollowTheirParentsTime) {
  BEE_CompSettings s2 = Settings("Deep", 100, 100, 30u << 16, Time{10, 1});
  BEE_Item deep = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s2);
  BEE_Layer inDeep = GOT(BEE_Layer, BEE_CmdNewLayer, inner, deep);
  ASSERT_EQ(BEE_CmdSetLayerStretch(inDeep, Ratio{2, 1}), 0);
  ASSERT_EQ(BEE_CmdSetLayerTimes(nested, Time{1, 1}, Time{0, 1}, Time{4, 1}), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{3, 1}), 0);
  std::string before = Dump();
  ASSERT_EQ(BEE_CmdSynchronizeRelatedItems(comp), 0);
  EXPECT_EQ(t::Compare(Now(inner), Time{2, 1}), 0);  // 3 s less the layer's 1 s offset
  EXPECT_EQ(t::Compare(Now(deep), Time{1, 1}), 0);   // 2 s at twice the length
  EXPECT_EQ(UndoName(), "Time Change");
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_TRUE(Dump() == before);
}

TEST_F(Commands, ConsolidationKeepsOneItemPerSource) {
  BEE_FootageDesc d = Footage("same.ei", 10, 10, Time{1, 1});
  BEE_Item f1 = nullptr, f2 = nullptr, f3 = nullptr;  // f3 differs in size and stays
  ASSERT_EQ(BEEp_MakeFootageItem(nullptr, &d, &f1), 0);
  ASSERT_EQ(BEEp_MakeFootageItem(folder, &d, &f2), 0);
  d.width = 11;
  ASSERT_EQ(BEEp_MakeFootageItem(nullptr, &d, &f3), 0);
  // f2 comes first in project order (its folder precedes f1): it stays.
  BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewLayer, comp, f1);
  std::string before = Dump();
  EXPECT_EQ(GOT(int32_t, BEE_CmdConsolidateItemSources), 1);
  EXPECT_EQ(GOT(BEE_Item, BEE_GetLayerSource, l), f2);
  BEE_Item found = nullptr;
  uint32_t id1 = GOT(uint32_t, BEE_GetItemID, f1);
  BEE_LookupItemID(id1, &found);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(UndoName(), "Consolidation");
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_TRUE(Dump() == before);
}

}  // namespace
}  // namespace tv::bee::test
