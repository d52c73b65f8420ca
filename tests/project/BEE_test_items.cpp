// The item tree: IDs, lookup, parents and children, names, paths, kinds,
// information records and the damaged paths.
#include <tuple>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using Items = BeeFixture;

TEST_F(Items, ParentsChildrenAndProjectOrder) {
  BEE_Item a = nullptr, b = nullptr;
  ASSERT_EQ(BEE_CmdNewFolder(nullptr, "A", &a), 0);
  ASSERT_EQ(BEE_CmdNewFolder(a, "B", &b), 0);
  BEE_Item c = NewComp("C", b);
  BEE_Item d = NewComp("D");
  // Project order: root, A, B, C, D (each folder followed by its contents).
  std::vector<BEE_Item> order;
  for (BEE_Item it = nullptr;;) {
    BEE_Item next = GOT(BEE_Item, BEE_GetNextItem, it);
    if (!next) break;
    order.push_back(next);
    it = next;
  }
  EXPECT_EQ(order, (std::vector<BEE_Item>{Root(), a, b, c, d}));
  for (auto [folder, item, want] : {std::tuple{a, c, 1}, std::tuple{b, d, 0}, std::tuple{a, a, 0}}) {
    EXPECT_EQ(GOT(Boolean32, BEE_DoesFolderContainItem, folder, item), want);
  }
  char path[64];
  EXPECT_EQ(BEE_GetItemPath(c, path, sizeof path), 0);
  EXPECT_STREQ(path, "A/B/C");
  EXPECT_EQ(BEE_GetItemPath(c, path, 4), 0);
  EXPECT_STREQ(path, "A/B");
  const std::tuple<BEE_Item, const char*, int16_t, BEE_Item> finds[] = {
      {nullptr, "C", 0, c}, {a, "D", 0, nullptr}, {nullptr, "B", BEE_KindComp, nullptr}};
  for (auto [in, name, kind, want] : finds) {
    EXPECT_EQ(GOT(BEE_Item, BEE_FindItem, in, name, kind), want) << name;
  }

  // Moving a folder into its own descendant is refused with the message.
  rec.clear();
  EXPECT_EQ(BEE_CmdMoveItem(a, b), kErrBadParam);
  EXPECT_TRUE(Reported("a folder cannot be moved inside itself."));
  EXPECT_EQ(BEE_CmdMoveItem(a, a), kErrBadParam);
  // Moving B (with C) to the root puts both after D.
  ASSERT_EQ(BEE_CmdMoveItem(b, nullptr), 0);
  order.clear();
  BEE_ForEachItem([](BEE_Item it, intptr_t data) -> ErrorCode {
    reinterpret_cast<std::vector<BEE_Item>*>(data)->push_back(it);
    return 0;
  }, reinterpret_cast<intptr_t>(&order));
  EXPECT_EQ(order, (std::vector<BEE_Item>{Root(), a, d, b, c}));
  // A visitor's non-zero answer stops the walk and is returned.
  int visits = 0;
  EXPECT_EQ(BEE_ForEachItem([](BEE_Item, intptr_t data) -> ErrorCode {
              return ++*reinterpret_cast<int*>(data) == 2 ? 77 : 0;
            }, reinterpret_cast<intptr_t>(&visits)), 77);
  EXPECT_EQ(visits, 2);
}

TEST_F(Items, NamesAreCutAt31BytesOnACharacterBoundary) {
  // 30 ASCII bytes and a two-byte character would need 32 bytes.
  std::string name(30, 'x');
  name += "\xC3\xA9";
  BEE_Item f = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, name.c_str());
  EXPECT_EQ(Name(f), std::string(30, 'x'));
  std::string exact(29, 'y');
  exact += "\xC3\xA9";  // 31 bytes fit
  ASSERT_EQ(BEE_CmdRenameItem(f, exact.c_str()), 0);
  EXPECT_EQ(Name(f), exact);
  // A composition settings name arriving without its zero is cut as well.
  BEE_CompSettings s = Settings("");
  std::memset(s.name, 'n', sizeof s.name);
  BEE_Item c = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
  EXPECT_EQ(Name(c), std::string(31, 'n'));
}

TEST_F(Items, TypeNames) {
  char name[32];
  const char* expected[] = {"Folder", "Defunct Type", "Defunct Type", "Composition", "Rendering Movie", "Solid",
                            "Footage"};
  for (int16_t k = 1; k <= 7; ++k) {
    EXPECT_EQ(BEE_GetTypeName(k, name), 0);
    EXPECT_STREQ(name, expected[k - 1]);
  }
  rec.clear();
  EXPECT_EQ(BEE_GetTypeName(9, name), 1);
  EXPECT_TRUE(Reported("strange situation [type/9]."));
  EXPECT_EQ(rec.last().location, Location(26, BEE_SiteTypeName));
}

TEST_F(Items, CompositionSettingsRoundTripAndTheInfoRecordsLayout) {
  BEE_CompSettings s = Settings("Main", 720, 486, 0x1DF852 /* 29.97 */, Time{3003, 600});
  s.secondTime = Time{5, 10};
  s.pixelAspect = Ratio{9, 10};
  s.dsfH = 2;
  s.dsfV = 3;
  BEE_Item c = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
  BEE_CompSettings back = GOT(BEE_CompSettings, BEE_GetCompSettings, c);
  EXPECT_EQ(std::memcmp(&s, &back, sizeof s), 0);

  BEE_ItemInfo info = GOT(BEE_ItemInfo, BEE_GetItemInfo, c);
  // The record's bytes at fixed places.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
  uint16_t w = 0;
  std::memcpy(&w, bytes + 66, 2);
  EXPECT_EQ(w, 720);
  uint32_t rate = 0;
  std::memcpy(&rate, bytes + 92, 4);
  EXPECT_EQ(rate, 0x1DF852u);
}

TEST_F(Items, FolderAndSolidInformation) {
  BEE_ItemInfo info = GOT(BEE_ItemInfo, BEE_GetItemInfo, Root());
  EXPECT_EQ(info.duration, (Time{0, 600}));
  EXPECT_NE(info.flags & BEE_ItemStill, 0u);  // a duration of 0 is a still
  BEE_Item c = NewComp();
  BEE_Layer l = NewSolidLayer(c, "Blue");
  BEE_Item solid = GOT(BEE_Item, BEE_GetLayerSource, l);
  ASSERT_EQ(BEE_GetItemInfo(solid, &info), 0);
  EXPECT_STREQ(info.kindName, "Solid");
  EXPECT_EQ((std::vector<uint32_t>{info.width, info.height, info.userCount}), (std::vector<uint32_t>{100, 50, 1}));
  EXPECT_EQ(GOT(BEE_Layer, BEE_GetLayerFromSolid, solid), l);
  EXPECT_EQ(GOT(uint32_t, BEE_GetSolidColor, solid), 0xFFFF0000u);
  BEE_LayerInfo li = GOT(BEE_LayerInfo, BEE_GetLayerInfo, l);
  EXPECT_STREQ(li.name, "Blue");
  EXPECT_STREQ(li.sourceName, "Blue");
  EXPECT_EQ((std::vector<int64_t>{li.sourceKind, li.quality, li.switches, li.stretch.num}),
            (std::vector<int64_t>{BEE_KindSolid, BEE_QualityBest, BEE_SwitchVideo | BEE_SwitchEffects, 1}));
}

TEST_F(Items, RenderItemsHaveNoDimensionsOrDuration) {
  // Render items are not made through commands yet; the kind check is
  // reached through a folder turned into one by hand.
  BEE_Item f = GOT(BEE_Item, BEE_CmdNewFolder, nullptr, "R");
  reinterpret_cast<int16_t*>(*reinterpret_cast<Handle>(f))[1] = BEE_KindRenderItem;
  int32_t w = 0, h = 0;
  rec.clear();
  EXPECT_EQ(BEE_GetItemDimensions(f, &w, &h), 1);
  EXPECT_TRUE(Reported("strange situation [BEE_GetItemDimensions/5]."));
  Time d{};
  EXPECT_EQ(BEE_GetItemDuration(f, &d, nullptr), 1);
  EXPECT_EQ(d, kInvalidTime);
  reinterpret_cast<int16_t*>(*reinterpret_cast<Handle>(f))[1] = BEE_KindFolder;
}

TEST_F(Items, DamagedItemsAndLayersAreRefused) {
  BEE_Item c = NewComp();
  BEE_Layer l = NewSolidLayer(c);
  rec.clear();
  int16_t kind = 0;
  EXPECT_EQ(BEE_GetItemKind(nullptr, &kind), 2);
  EXPECT_TRUE(Reported("damaged item."));
  EXPECT_EQ(rec.last().severity, kSevFatal);
  EXPECT_EQ(rec.last().location, Location(26, BEE_SiteItem));
  // A block that is not one of the engine's items.
  Handle foreign = NewHandleClear(64);
  EXPECT_EQ(BEE_GetItemKind(reinterpret_cast<BEE_Item>(foreign), &kind), 2);
  DisposeHandle(foreign);
  // A wrong magic.
  uint16_t& magic = *reinterpret_cast<uint16_t*>(*reinterpret_cast<Handle>(c));
  magic = 0x1234;
  EXPECT_EQ(BEE_GetItemKind(c, &kind), 2);
  magic = BEE_ItemMagic;
  uint16_t& lmagic = *reinterpret_cast<uint16_t*>(*reinterpret_cast<Handle>(l));
  lmagic = 0;
  rec.clear();
  EXPECT_EQ(BEE_CmdSetLayerQuality(l, 1), 2);
  EXPECT_TRUE(Reported("damaged layer."));
  lmagic = BEE_LayerMagic;
  // A damaged item report is fatal: U is killed and born again for the
  // rest of the fixture.
  EXPECT_TRUE(U_Die());
}

TEST_F(Items, StampsAndNewerThan) {
  BEE_Item c = NewComp();
  BEE_Item outer = NewComp("Outer");
  GOT(BEE_Layer, BEE_CmdNewLayer, outer, c);
  uint32_t now = GOT(uint32_t, BEE_Now);
  uint32_t fresh = GOT(uint32_t, BEE_FreshTimeStamp);
  EXPECT_EQ(fresh, now + 1);
  auto newer = [](BEE_Item it, uint32_t stamp) {
    Boolean32 yes = 2;
    EXPECT_EQ(BEE_IsItemNewerThan(it, stamp, &yes), 0);
    return yes;
  };
  for (BEE_Item it : {Root(), c, outer}) {
    EXPECT_EQ(newer(it, 0), 1);
    EXPECT_EQ(newer(it, fresh), 0);
  }
  // Touching the nested composition makes the outer one newer too.
  ASSERT_EQ(BEE_TouchItem(c), 0);
  EXPECT_EQ(newer(outer, fresh), 1);
  EXPECT_EQ(newer(Root(), fresh), 0);  // folders are never newer
}

TEST_F(Items, SortingByNameAndLabel) {
  NewComp("b");
  BEE_Item a = NewComp("a"), c = NewComp("c");
  ASSERT_EQ(BEE_SetProjectSortingMode(1), 0);
  BEE_Item next = GOT(BEE_Item, BEE_GetNextItem, Root());
  EXPECT_EQ(next, a);
  BEE_SetProjectSortingMode(5);
  ASSERT_EQ(BEE_CmdSetItemLabel(c, -3), 0);
  BEE_GetNextItem(Root(), &next);
  EXPECT_EQ(next, c);
}


using Damage = BeeFixture;

// Every operation that takes an item or a layer refuses a null one with 2
// and leaves its out-parameters at their invalid values.
TEST_F(Damage, EveryQueryRefusesNullHandles) {
  Time t{};
  Ratio r{};
  int32_t n = 0, w = 0, h = 0;
  uint32_t u = 0;
  int16_t k = 0;
  int8_t lab = 0;
  Boolean32 b = 0;
  char text[64];
  BEE_Item it = nullptr;
  BEE_Layer ly = nullptr;
  BEE_ItemInfo info{};
  BEE_LayerInfo linfo{};
  BEE_CompSettings cs{};
  BEE_RulerOrigin o{};
  BEE_TransferSettings ts{};
  Handle parade = nullptr;
  const std::vector<std::function<ErrorCode()>> items = {
      [&] { return BEE_GetItemID(nullptr, &u); },
      [&] { return BEE_GetItemKind(nullptr, &k); },
      [&] { return BEE_GetItemParent(nullptr, &it); },
      [&] { return BEE_GetItemFlags(nullptr, &u); },
      [&] { return BEE_GetItemLabel(nullptr, &lab); },
      [&] { return BEE_GetItemName(nullptr, text); },
      [&] { return BEE_GetItemPath(nullptr, text, sizeof text); },
      [&] { return BEE_GetItemInfo(nullptr, &info); },
      [&] { return BEE_GetItemDimensions(nullptr, &w, &h); },
      [&] { return BEE_GetItemDuration(nullptr, &t, &n); },
      [&] { return BEE_GetItemCurrentTime(nullptr, &t); },
      [&] { return BEE_GetItemHSF(nullptr, &r); },
      [&] { return BEE_GetItemCommentLength(nullptr, &n); },
      [&] { return BEE_GetItemComment(nullptr, text, sizeof text); },
      [&] { return BEE_GetItemModDate(nullptr, &u); },
      [&] { return BEE_GetItemOrigin(nullptr, &o); },
      [&] { return BEE_GetItemGuides(nullptr, &n, nullptr, 0); },
      [&] { return BEE_TouchItem(nullptr); },
      [&] { return BEE_IsItemNewerThan(nullptr, 1, &b); },
      [&] { return BEE_DoesFolderContainItem(Root(), nullptr, &b); },
      [&] { return BEE_GetLayerFromSolid(nullptr, &ly); },
      [&] { return BEE_GetSolidColor(nullptr, &u); },
      [&] { return BEE_ValidSource(nullptr, nullptr, &b); },
      [&] { return BEE_GetCompSettings(nullptr, &cs); },
      [&] { return BEE_GetCompFrameDuration(nullptr, &t); },
      [&] { return BEE_GetCompBackgroundColor(nullptr, &u); },
      [&] { return BEE_GetCompSwitches(nullptr, &u); },
      [&] { return BEE_GetCompWorkArea(nullptr, &t, &t); },
      [&] { return BEE_GetCompNumLayers(nullptr, &n); },
      [&] { return BEE_GetCompDimensionsDSF(nullptr, &w, &h, nullptr); },
      [&] { return BEE_GridToCompTime(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_GetFootageDesc(nullptr, nullptr); },
      [&] { return BEE_GetIndLayer(nullptr, 0, &ly); },
      [&] { return BEE_CmdRenameItem(nullptr, "x"); },
      [&] { return BEE_CmdSetItemLabel(nullptr, 1); },
      [&] { return BEE_CmdSeekItemToTime(nullptr, Time{1, 1}); },
      [&] { return BEE_CmdRemoveItem(nullptr); },
      [&] { return BEE_CmdDuplicateComp(nullptr, &it); },
  };
  const std::vector<std::function<ErrorCode()>> layers = {
      [&] { return BEE_LayerIndex(nullptr, &n); },
      [&] { return BEE_GetLayerComp(nullptr, &it); },
      [&] { return BEE_GetLayerSource(nullptr, &it); },
      [&] { return BEE_GetLayerInfo(nullptr, &linfo); },
      [&] { return BEE_GetLayerName(nullptr, text); },
      [&] { return BEE_GetLayerTransfer(nullptr, &ts); },
      [&] { return BEE_GetLayerLabel(nullptr, &lab); },
      [&] { return BEE_GetLayerOrigin(nullptr, &o); },
      [&] { return BEE_GetLayerTime(nullptr, 0, &t, &r); },
      [&] { return BEE_GetLayerCurrentTime(nullptr, &t); },
      [&] { return BEE_GetLayerCommentLength(nullptr, &n); },
      [&] { return BEE_GetLayerComment(nullptr, text, sizeof text); },
      [&] { return BEE_GetSourceDimensions(nullptr, &w, &h); },
      [&] { return BEE_GetSourceDimensionsDSF(nullptr, &w, &h); },
      [&] { return BEE_GetSourceDuration(nullptr, &t); },
      [&] { return BEE_ClipToSourceDuration(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_LayerActive(nullptr, Time{1, 1}, 0, &b, &t); },
      [&] { return BEE_LayerActiveOrTrackMatte(nullptr, Time{1, 1}, &b, &t); },
      [&] { return BEE_LayerIsUsedAsTrackMatte(nullptr, 1, &b); },
      [&] { return BEE_InqLayerEffectSeq(nullptr, &parade, &n); },
      [&] { return BEE_GetLayerNumMasks(nullptr, &n); },
      [&] { return BEE_IsLayerNewerThan(nullptr, 1, &b); },
      [&] { return BEE_LayerToCompTime(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_CompToLayerTime(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_LayerToCompDuration(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_CompToLayerDuration(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_LayerToSourceTime(nullptr, Time{1, 1}, &t); },
      [&] { return BEE_GetLayerStreamValueF(nullptr, BEE_StreamOpacity, Time{1, 1}, nullptr); },
      [&] { return BEE_CmdSetLayerQuality(nullptr, 1); },
      [&] { return BEE_CmdDeleteLayer(nullptr); },
      [&] { return BEE_CmdDuplicateLayer(nullptr, &ly); },
      [&] { return BEE_CmdSetLayerSwitch(nullptr, 1, 1); },
  };
  std::string before = Dump();
  for (size_t i = 0; i < items.size(); ++i) {
    rec.clear();
    EXPECT_EQ(items[i](), kErrDamaged) << "item query " << i;
    EXPECT_TRUE(Reported("damaged item.")) << "item query " << i;
  }
  for (size_t i = 0; i < layers.size(); ++i) {
    rec.clear();
    EXPECT_EQ(layers[i](), kErrDamaged) << "layer query " << i;
    EXPECT_TRUE(Reported("damaged layer.")) << "layer query " << i;
  }
  EXPECT_EQ(t, kInvalidTime);
  EXPECT_EQ(it, nullptr);
  EXPECT_EQ(ly, nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(Dump() == before);
}

// A missing out-parameter of a live item or layer is refused with 3 and
// reported once, under the operation's name.
TEST_F(Damage, MissingResultsAreReportedOnceByName) {
  BEE_Item comp = NewComp();
  BEE_Layer layer = NewSolidLayer(comp);
  BEE_Item solid = GOT(BEE_Item, BEE_GetLayerSource, layer);
  char text[8];
  const std::vector<std::pair<std::string, std::function<ErrorCode()>>> calls = {
      {"BEE_GetItemID", [&] { return BEE_GetItemID(comp, nullptr); }},
      {"BEE_GetItemName", [&] { return BEE_GetItemName(comp, nullptr); }},
      {"BEE_GetItemComment", [&] { return BEE_GetItemComment(comp, text, 0); }},
      {"BEE_GetCompNumLayers", [&] { return BEE_GetCompNumLayers(comp, nullptr); }},
      {"BEE_GetCompSettings", [&] { return BEE_GetCompSettings(comp, nullptr); }},
      {"BEE_GetIndLayer", [&] { return BEE_GetIndLayer(comp, 0, nullptr); }},
      {"BEE_GetSolidColor", [&] { return BEE_GetSolidColor(solid, nullptr); }},
      {"BEE_GetLayerComp", [&] { return BEE_GetLayerComp(layer, nullptr); }},
      {"BEE_GetLayerComment", [&] { return BEE_GetLayerComment(layer, nullptr, 8); }},
      {"BEE_GetLayerInfo", [&] { return BEE_GetLayerInfo(layer, nullptr); }},
      {"BEE_LayerToCompTime", [&] { return BEE_LayerToCompTime(layer, Time{1, 1}, nullptr); }},
      {"BEE_UndoAvailable", [&] { return BEE_UndoAvailable(nullptr, text); }},
  };
  for (const auto& [name, call] : calls) {
    rec.clear();
    EXPECT_EQ(call(), kErrBadParam) << name;
    ASSERT_EQ(rec.reports.size(), 1u) << name;
    EXPECT_NE(rec.last().text.find("bad argument to " + name + " --"), std::string::npos) << rec.last().text;
    EXPECT_EQ(rec.last().location, Location(BEE_PackageNumber, 0x21)) << name;
  }
}

TEST_F(Damage, StreamIndices) {
  BEE_Layer l = NewSolidLayer(NewComp());
  TDB_Stream s = reinterpret_cast<TDB_Stream>(1);
  for (intptr_t index : {10, 64, 127, -1}) {
    rec.clear();
    BEE_StreamRef ref{l, index};
    EXPECT_EQ(BEE_StreamLookup(&ref, &s), 1) << index;
    EXPECT_EQ(s, nullptr);
    EXPECT_TRUE(Reported("strange situation [stream/" + std::to_string(index) + "]."));
  }
  // Masks and effects: the layer has none.
  for (intptr_t index : {128, 511, 512, 700}) {
    BEE_StreamRef ref{l, index};
    EXPECT_EQ(BEE_StreamLookup(&ref, &s), kErrRange) << index;
  }
  BEE_StreamRef shape{l, BEE_StreamMaskShape};
  EXPECT_EQ(BEE_StreamLookup(&shape, &s), 0);
  EXPECT_EQ(s, nullptr);  // no shape stream yet
  char name[32], unit[32];
  int16_t dim = 0;
  const char* names[] = {"Mask Shape", "Mask Feather", "Anchor Point", "Position", "Scale",
                         "Rotation",   "Opacity",      "Audio Levels", "Marker",   "Time Remap"};
  const char* units[] = {"", "pixels", "pixels", "pixels", "percent", "degrees", "percent", "dB", "", "seconds"};
  const int16_t dims[] = {0, 2, 2, 2, 2, 1, 1, 2, 0, 1};
  for (int32_t i = 0; i < BEE_StandardStreamCount; ++i) {
    ASSERT_EQ(BEE_GetStreamDescription(i, name, unit, &dim), 0);
    EXPECT_STREQ(name, names[i]);
    EXPECT_STREQ(unit, units[i]);
    EXPECT_EQ(dim, dims[i]);
  }
}

}  // namespace
}  // namespace tv::bee::test
