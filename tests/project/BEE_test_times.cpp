// Layer stretch limits, activity of stills and movies, track mattes,
// resolution downsampling, frame durations and the refusal of compositions
// that contain themselves.
#include <tuple>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using Times = BeeFixture;

// A time selector outside the table is refused.
TEST_F(Times, AnUnknownTimeSelectorIsRefused) {
  BEE_Layer l = NewSolidLayer(NewComp());
  Time off{};
  rec.clear();
  EXPECT_EQ(BEE_GetLayerTime(l, 6, &off, nullptr), 1);
  EXPECT_EQ(off, kInvalidTime);
  EXPECT_TRUE(Reported("strange situation [BEE_GetLayerTime/6]."));
}

BEE_Item FootageItem(Time duration, Boolean32 video = 1) {
  BEE_FootageDesc d = Footage("clip", 64, 48, duration, video);
  return GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &d);
}

TEST_F(Times, StillsAreActiveOverTheirWholeSpanAndMoviesAreClipped) {
  BEE_Item comp = NewComp();
  BEE_Item still = FootageItem(Time{0, 600});
  BEE_Item movie = FootageItem(Time{3, 2});
  BEE_Item sound = FootageItem(Time{3, 2}, 0);
  uint32_t flags = GOT(uint32_t, BEE_GetItemFlags, still);
  EXPECT_NE(flags & BEE_ItemStill, 0u);
  BEE_Layer ls = GOT(BEE_Layer, BEE_CmdNewLayer, comp, still);
  BEE_Layer lm = GOT(BEE_Layer, BEE_CmdNewLayer, comp, movie);
  BEE_Layer la = GOT(BEE_Layer, BEE_CmdNewLayer, comp, sound);
  for (BEE_Layer l : {ls, lm, la}) ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 1}, Time{0, 1}, Time{4, 1}), 0);
  // A still has no duration: its layer is active from its in to its out point.
  EXPECT_EQ(Active(ls, Time{3, 1}), 1);
  // A movie of 1.5 s ends its layer at 1.5 s whatever the out point says.
  EXPECT_EQ(Active(lm, Time{898, 600}), 1);
  EXPECT_EQ(Active(lm, Time{899, 600}), 0);
  Time clipped = GOT(Time, BEE_ClipToSourceDuration, lm, Time{-1, 1});
  EXPECT_EQ(t::Compare(clipped, Time{0, 1}), 0);
  // Footage without video never makes its layer active.
  EXPECT_EQ(Active(la, Time{1, 1}), 0);
  Time d{};
  EXPECT_EQ(GOT(int32_t, BEE_GetItemDuration, movie, &d), 900);
  EXPECT_EQ(GOT(BEE_ItemInfo, BEE_GetItemInfo, movie).userCount, 1u);
}

TEST_F(Times, TrackMattesAreDecidedByTheLayerBelow) {
  BEE_Item comp = NewComp();
  BEE_Layer bottom = NewSolidLayer(comp, "bottom");
  BEE_Layer matted = NewSolidLayer(comp, "matted");
  BEE_Layer matte = NewSolidLayer(comp, "matte");
  ASSERT_EQ(BEE_CmdSetTransfer(matted, 0, 0, BEE_MatteLuma), 0);
  Boolean32 yes = 2;
  EXPECT_EQ(GOT(Boolean32, BEE_LayerIsUsedAsTrackMatte, matte, 1), 1);
  ASSERT_EQ(BEE_LayerIsUsedAsTrackMatte(matted, 1, &yes), 0);
  EXPECT_EQ(yes, 0);
  // The bottom layer is never a matte, whatever it carries.
  ASSERT_EQ(BEE_CmdSetTransfer(bottom, 0, 0, BEE_MatteAlpha), 0);
  ASSERT_EQ(BEE_LayerIsUsedAsTrackMatte(bottom, 0, &yes), 0);
  EXPECT_EQ(yes, 0);
  // With video required and the matted layer's video off: no.
  ASSERT_EQ(BEE_CmdSetLayerSwitch(matted, BEE_SwitchVideo, 0), 0);
  ASSERT_EQ(BEE_LayerIsUsedAsTrackMatte(matte, 1, &yes), 0);
  EXPECT_EQ(yes, 0);
  EXPECT_EQ(GOT(Boolean32, BEE_LayerIsUsedAsTrackMatte, matte, 0), 1);
  // A matte with its video off is still active as a matte.
  ASSERT_EQ(BEE_CmdSetLayerSwitch(matted, BEE_SwitchVideo, 1), 0);
  ASSERT_EQ(BEE_CmdSetLayerSwitch(matte, BEE_SwitchVideo, 0), 0);
  Boolean32 active = 2;
  ASSERT_EQ(BEE_LayerActiveOrTrackMatte(matte, Time{0, 1}, &active, nullptr), 0);
  EXPECT_EQ(active, 1);
  rec.clear();
  EXPECT_EQ(BEE_CmdSetTransfer(matted, 0, 0, 5), kErrBadParam);
  EXPECT_TRUE(Reported("invalid track matte mode (5)."));
}

TEST_F(Times, ResolutionDownsampling) {
  BEE_CompSettings s = Settings("dsf", 720, 486);
  BEE_Item comp = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
  int32_t w = 0, h = 0;
  LRect frame{};
  ASSERT_EQ(BEE_CmdSetResolution(comp, 2, 2), 0);
  ASSERT_EQ(BEE_GetCompDimensionsDSF(comp, &w, &h, &frame), 0);
  EXPECT_EQ(std::vector<int32_t>({w, h, frame.left, frame.top, frame.right, frame.bottom}),
            std::vector<int32_t>({360, 243, 0, 0, 360, 243}));
  ASSERT_EQ(BEE_CmdSetResolution(comp, 3, 3), 0);
  BEE_GetCompDimensionsDSF(comp, &w, &h, nullptr);
  EXPECT_EQ(std::pair(w, h), std::pair(240, 162));
  w = 0;
  h = 7;
  BEE_AdjustForDSF(4, 0, &w, &h);  // 0 stays 0; a factor of 0 counts as 1
  EXPECT_EQ(std::pair(w, h), std::pair(0, 7));
  rec.clear();
  EXPECT_EQ(BEE_CmdSetResolution(comp, 0, 1), kErrBadParam);
  EXPECT_TRUE(Reported("a resolution factor must be at least 1 (0, 1)."));
  s.dsfV = 0;
  BEE_Item none = nullptr;
  EXPECT_EQ(BEE_CmdNewComp(nullptr, &s, &none), kErrBadParam);
  EXPECT_EQ(none, nullptr);
  BEE_Layer l = NewSolidLayer(comp);
  BEE_GetSourceDimensionsDSF(l, &w, &h);
  EXPECT_EQ(std::pair(w, h), std::pair(34, 17));
}

TEST_F(Times, FrameDurationsAreNormalisedAndRateZeroIsRefused) {
  BEE_Item comp = NewComp("r", nullptr, 30u << 16);
  Time fd = GOT(Time, BEE_GetCompFrameDuration, comp);
  EXPECT_EQ(fd, (Time{128, 3840}));
  BEE_Item ntsc = NewComp("n", nullptr, 0x1DF852);
  BEE_GetCompFrameDuration(ntsc, &fd);
  EXPECT_EQ(fd, (Time{1001, 30000}));
  // A huge rate is halved down into range without reaching a value of 0.
  BEE_Item fast = NewComp("f", nullptr, 0x7FFFFFFF);
  ASSERT_NE(fast, nullptr);
  BEE_GetCompFrameDuration(fast, &fd);
  EXPECT_GT(fd.value, 0);
  EXPECT_LE(fd.scale, 115200u);
  EXPECT_GE(fd.scale, 2000u);
  rec.clear();
  BEE_CompSettings s = Settings("zero", 640, 480, 0);
  BEE_Item none = nullptr;
  EXPECT_EQ(BEE_CmdNewComp(nullptr, &s, &none), kErrBadParam);
  EXPECT_TRUE(Reported("a frame rate must be above 0 (0)."));
  BEE_CompSettings keep = GOT(BEE_CompSettings, BEE_GetCompSettings, comp);
  EXPECT_EQ(BEE_CmdSetCompSettings(comp, &s), kErrBadParam);
  BEE_CompSettings after = GOT(BEE_CompSettings, BEE_GetCompSettings, comp);
  EXPECT_EQ(std::memcmp(&keep, &after, sizeof keep), 0);
}

TEST_F(Times, ACompositionNeverContainsItself) {
  BEE_Item a = NewComp("A"), b = NewComp("B"), c = NewComp("C");
  GOT(BEE_Layer, BEE_CmdNewLayer, a, b);
  BEE_Layer lb = GOT(BEE_Layer, BEE_CmdNewLayer, b, c);
  rec.clear();
  BEE_Layer bad = nullptr;
  EXPECT_EQ(BEE_CmdNewLayer(a, a, &bad), kErrBadParam);
  EXPECT_TRUE(Reported("a composition cannot contain itself, directly or through nested compositions."));
  EXPECT_EQ(BEE_CmdNewLayer(c, a, &bad), kErrBadParam);
  EXPECT_EQ(bad, nullptr);
  BEE_Layer lc = NewSolidLayer(c);
  EXPECT_EQ(BEE_CmdReplaceSource(lb, a), kErrBadParam);
  EXPECT_EQ(BEE_CmdReplaceSource(lc, a), kErrBadParam);  // a solid layer keeps its solid
  for (auto [comp, source, want] : {std::tuple{c, a, 0}, std::tuple{a, c, 1}, std::tuple{a, Root(), 0}}) {
    EXPECT_EQ(GOT(Boolean32, BEE_ValidSource, comp, source), want);
  }
  EXPECT_EQ(GOT(int32_t, BEE_GetCompNumLayers, c), 1);
  // A folder is no source.
  rec.clear();
  EXPECT_EQ(BEE_CmdNewLayer(a, Root(), &bad), kErrBadParam);
  EXPECT_TRUE(Reported("item can't be installed as a source to this layer."));
  // Nor is an item removed from the project (kept for the undo): a layer of
  // it would be saved without a source. Put back, it is one again.
  BEE_Item d = NewComp("D");
  ASSERT_EQ(BEE_CmdRemoveItem(d), 0);
  rec.clear();
  EXPECT_EQ(BEE_CmdNewLayer(a, d, &bad), kErrBadParam);
  EXPECT_TRUE(Reported("item can't be installed as a source to this layer."));
  EXPECT_EQ(BEE_CmdReplaceSource(lb, d), kErrBadParam);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(BEE_CmdNewLayer(a, d, &bad), 0);
  EXPECT_EQ(GOT(Boolean32, BEEp_IsItemInProject, d), 1);
  EXPECT_NE(GOT(uint32_t, BEEp_GetLayerID, bad), 0u);
  // Handles the engine freed (a new project frees every record) are in no
  // project and have no ID; asking is answered, not reported.
  ASSERT_EQ(BEE_NewProject(), 0);
  rec.clear();
  EXPECT_EQ(GOT(Boolean32, BEEp_IsItemInProject, d), 0);
  EXPECT_EQ(GOT(uint32_t, BEEp_GetLayerID, bad), 0u);
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
}  // namespace tv::bee::test
