// Time mapping between composition, layer and source, activity at the in
// and out points, track mattes, resolution downsampling, composition
// settings and the refusal of compositions that contain themselves.
#include <tuple>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using Times = BeeFixture;

constexpr Time kNtscFrame{1001, 30000};

Time Mul(Time t, int32_t n) { return GOT(Time, T_MulTime, t, Ratio{n, 1}); }

int Cmp(Time a, Time b) { return t::Compare(a, b); }

TEST_F(Times, CompositionLayerRoundTripsAtNtscRatesWithStretchAndOffset) {
  BEE_Item comp = NewComp("ntsc", nullptr, 0x1DF852);
  BEE_Layer l = NewSolidLayer(comp);
  const Ratio stretches[] = {{1, 1}, {2, 1}, {1, 2}, {-1, 1}, {-1001, 1000}, {73, 100}};
  const Time offsets[] = {{0, 600}, Mul(kNtscFrame, 5), Mul(kNtscFrame, -3)};
  for (Ratio s : stretches)
    for (Time off : offsets) {
      ASSERT_EQ(BEE_CmdSetLayerStretch(l, s), 0);
      ASSERT_EQ(BEE_CmdSetLayerTimes(l, off, Time{0, 600}, Time{6000, 600}), 0);
      for (int32_t f : {0, 1, 7, 299, -4}) {
        Time lt = Mul(kNtscFrame, f);
        Time ct{}, back{};
        ASSERT_EQ(BEE_LayerToCompTime(l, lt, &ct), 0);
        ASSERT_EQ(BEE_CompToLayerTime(l, ct, &back), 0);
        EXPECT_EQ(Cmp(back, lt), 0) << s.num << "/" << s.den << " frame " << f;
        // The forward map is offset + (t [+ 1/300 s backwards]) x stretch.
        Time expect = lt;
        if (s.num < 0) T_AddTime(expect, Time{1, 300}, &expect);
        T_MulTime(expect, s, &expect);
        T_AddTime(expect, off, &expect);
        EXPECT_EQ(Cmp(ct, expect), 0);
        Time d{}, dback{};
        ASSERT_EQ(BEE_LayerToCompDuration(l, lt, &d), 0);
        ASSERT_EQ(BEE_CompToLayerDuration(l, d, &dback), 0);
        EXPECT_EQ(Cmp(dback, lt), 0);
      }
    }
  // An unstretched duration is copied as it is, scale and all.
  ASSERT_EQ(BEE_CmdSetLayerStretch(l, Ratio{3, 3}), 0);
  EXPECT_EQ(GOT(Time, BEE_LayerToCompDuration, l, Time{7, 9}), (Time{7, 9}));
}

TEST_F(Times, StretchOfZeroIsRefused) {
  BEE_Layer l = NewSolidLayer(NewComp());
  rec.clear();
  EXPECT_EQ(BEE_CmdSetLayerStretch(l, Ratio{0, 1}), kErrBadParam);
  EXPECT_TRUE(Reported("a layer stretch must lie between 1/65536 and 65536 times, forwards or backwards (0/1)"));
  EXPECT_EQ(BEE_CmdSetLayerStretch(l, Ratio{1, 0}), kErrBadParam);
  // Beyond 65536 times either way, layer times leave the range time arithmetic keeps.
  EXPECT_EQ(BEE_CmdSetLayerStretch(l, Ratio{1, 65537}), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetLayerStretch(l, Ratio{-65537, 1}), kErrBadParam);
  Ratio s = GOT(Ratio, BEE_GetLayerTime, l, BEE_LayerTimeStretch, nullptr);
  EXPECT_EQ(std::pair(s.num, s.den), std::pair(1, 1u));
}

TEST_F(Times, ActivityAtTheInAndOutPointsExactly) {
  BEE_Item comp = NewComp();
  BEE_Layer l = NewSolidLayer(comp);
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 600}, Time{0, 600}, Time{2, 1}), 0);
  struct Case {
    Time t;
    Boolean32 active;
  } cases[] = {{{0, 600}, 1}, {{1198, 600}, 1}, {{1199, 600}, 0}, {{1200, 600}, 0}, {{-1, 600}, 1}, {{-2, 600}, 0}};
  for (const Case& c : cases) {
    Boolean32 active = 2;
    Time lt = GOT(Time, BEE_LayerActive, l, c.t, 0, &active);
    // A solid has no duration of its own and does not limit its layer.
    EXPECT_EQ(active, c.active) << c.t.value;
    EXPECT_EQ(Cmp(lt, c.t), 0);
  }
  // Backwards, e is -1/600 s: the window moves the other way.
  ASSERT_EQ(BEE_CmdSetLayerStretch(l, Ratio{-1, 1}), 0);
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{2, 1}, Time{0, 600}, Time{2, 1}), 0);
  for (auto [lt, want] : {std::pair{Time{1, 600}, 1}, std::pair{Time{0, 600}, 0}, std::pair{Time{1201, 600}, 0},
                          std::pair{Time{1200, 600}, 1}}) {
    Time ct = GOT(Time, BEE_LayerToCompTime, l, lt);
    EXPECT_EQ(Active(l, ct), want) << lt.value;
  }
  // Video off: inactive, unless asked for as a matte.
  ASSERT_EQ(BEE_CmdSetLayerStretch(l, Ratio{1, 1}), 0);
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 600}, Time{0, 600}, Time{2, 1}), 0);
  ASSERT_EQ(BEE_CmdSetLayerSwitch(l, BEE_SwitchVideo, 0), 0);
  EXPECT_EQ(Active(l, Time{1, 1}), 0);
  EXPECT_EQ(Active(l, Time{1, 1}, 1), 1);
}

TEST_F(Times, NestedCompositionsClipTheirLayersToTheirDuration) {
  BEE_CompSettings s = Settings("inner", 100, 100, 30u << 16, Time{1, 1});
  BEE_Item inner = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
  BEE_Item outer = NewComp("outer");
  BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewLayer, outer, inner);
  Time out{};
  BEE_GetLayerTime(l, BEE_LayerTimeOut, &out, nullptr);
  EXPECT_EQ(out, (Time{1, 1}));  // a new layer ends with its source
  ASSERT_EQ(BEE_CmdSetLayerTimes(l, Time{0, 600}, Time{0, 600}, Time{2, 1}), 0);
  Time clipped{};
  ASSERT_EQ(BEE_GetLayerTime(l, BEE_LayerTimeOutClipped, &clipped, nullptr), 0);
  EXPECT_EQ(Cmp(clipped, Time{1, 1}), 0);
  BEE_GetLayerTime(l, BEE_LayerTimeOut, &clipped, nullptr);
  EXPECT_EQ(clipped, (Time{2, 1}));
  EXPECT_EQ(Active(l, Time{598, 600}), 1);
  EXPECT_EQ(Active(l, Time{599, 600}), 0);
  Time off{};
  BEE_GetLayerTime(l, BEE_LayerTimeOffset, &off, nullptr);
  EXPECT_EQ(off, (Time{0, 600}));
  rec.clear();
  EXPECT_EQ(BEE_GetLayerTime(l, 6, &off, nullptr), 1);
  EXPECT_EQ(off, kInvalidTime);
  EXPECT_TRUE(Reported("strange situation [BEE_GetLayerTime/6]."));
  EXPECT_EQ(GOT(Time, BEE_LayerToSourceTime, l, Time{1, 3}), (Time{1, 3}));
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

TEST_F(Times, TimeRemapGivesTheSourceTime) {
  BEE_Layer l = NewSolidLayer(NewComp());
  TDB_Stream keyed = KeyableCopy(l, BEE_StreamTimeRemap);
  double v0 = 0, v1 = 2;
  ASSERT_EQ(TDB_InsertKeyF(keyed, nullptr, 0, 1, &v0, TDB_InterpLinear, TDB_InterpLinear), 0);
  ASSERT_EQ(TDB_InsertKeyF(keyed, nullptr, 3840, 1, &v1, TDB_InterpLinear, TDB_InterpLinear), 0);
  ASSERT_EQ(BEE_CmdSetStreamKeys(l, BEE_StreamTimeRemap, keyed), 0);
  Time src = GOT(Time, BEE_LayerToSourceTime, l, Time{1, 2});
  // Twice as fast: layer 0.5 s shows source 1 s, over the stream's scale.
  EXPECT_EQ(src, (Time{3840, 3840}));
  Time start{}, dur{};
  ASSERT_EQ(BEE_LayerToSourceTimeSpan(l, Time{0, 1}, Time{1, 4}, &start, &dur), 0);
  EXPECT_EQ(Cmp(dur, Time{1, 2}), 0);
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

TEST_F(Times, NewSettingsRebaseKeysAndSnapTheCurrentTime) {
  BEE_Item comp = NewComp("rebase");
  BEE_Layer l = NewSolidLayer(comp);
  TDB_Stream pos = nullptr, keyed = KeyableCopy(l, BEE_StreamPosition);
  BEE_StreamRef ref{l, BEE_StreamPosition};
  double p[2] = {10, 20};
  Time one{1, 1};
  ASSERT_EQ(TDB_InsertKeyF(keyed, &one, 0, 1, p, TDB_InterpLinear, TDB_InterpLinear), 0);
  ASSERT_EQ(BEE_CmdSetStreamKeys(l, BEE_StreamPosition, keyed), 0);
  ASSERT_EQ(BEE_CmdSeekItemToTime(comp, Time{1, 3}), 0);
  BEE_CompSettings s = GOT(BEE_CompSettings, BEE_GetCompSettings, comp);
  s.frameRate = 25u << 16;
  ASSERT_EQ(BEE_CmdSetCompSettings(comp, &s), 0);
  EXPECT_EQ(GOT(Time, BEE_GetCompFrameDuration, comp), (Time{128, 3200}));
  ASSERT_EQ(BEE_StreamLookup(&ref, &pos), 0);
  Time kt{};
  ASSERT_EQ(TDB_IndexToTime(pos, 1, &kt), 0);  // key 0 is the held value, at 0
  EXPECT_EQ(kt, (Time{3200, 3200}));
  // 1/3 s lies nearest to frame 8 of 25 fps.
  EXPECT_EQ(Cmp(Now(comp), Time{8, 25}), 0);
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
}

}  // namespace
}  // namespace tv::bee::test
