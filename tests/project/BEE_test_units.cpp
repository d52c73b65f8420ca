// Stream values in user units: conversions and limits of every stream,
// setting values at a time with undo, constant/animated switching, keyframe
// edits and effect parameters through the same path.
#include <cmath>
#include <limits>
#include <tuple>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Units : public ClipFixture {
 protected:
  Units() : ClipFixture(1) {}
  // Raw internal values of a stream at layer time t.
  std::vector<double> Raw(intptr_t index, Time t = Time{0, 1}) {
    BEE_StreamRef ref{layer, index};
    TDB_Stream s = GOT(TDB_Stream, BEE_StreamLookup, &ref);
    double v[4] = {};
    EXPECT_EQ(TDB_GetValueF(s, &t, 0, 0, v, nullptr), 0);
    TDB_StreamInfo info = GOT(TDB_StreamInfo, TDB_GetStreamInfo, s);
    return std::vector<double>(v, v + info.dimension);
  }
  std::vector<double> User(int32_t index, Time t = Time{0, 1}) { return Value(layer, index, t); }
  ErrorCode Set(int32_t index, std::vector<double> values, Time t = Time{0, 1}) {
    return SetValue(layer, index, t, values);
  }
  int32_t Keys(intptr_t index) {
    BEE_StreamRef ref{layer, index};
    TDB_Stream s = GOT(TDB_Stream, BEE_StreamLookup, &ref);
    TDB_StreamInfo info = GOT(TDB_StreamInfo, TDB_GetStreamInfo, s);
    if (info.flags & TDB_StreamConstant) return 0;
    int32_t n = -1;
    TDB_GetNumKeys(s, &n);
    return n;
  }
  void AddMask() { ClipFixture::AddMask(layer); }

  BEE_Layer& layer = a;
};

using V = std::vector<double>;

TEST_F(Units, LimitsOfEveryStream) {
  AddMask();
  struct Case {
    int32_t index;
    uint32_t flags;
    double minimum, maximum;
  };
  const Case cases[] = {
      {0, 0x8, 0, 0},       {1, 0x3, 0, 1000},    {2, 0, 0, 0},     {3, 0, 0, 0},   {4, 0, 0, 0},
      {5, 0, 0, 0},         {6, 0x3, 0, 100},     {7, 0x3, -192, 24}, {8, 0x8, 0, 0}, {9, 0, 0, 0},
      {128, 0x8, 0, 0},     {129, 0x3, 0, 1000},  {130, 0x3, 0, 100},
  };
  for (const Case& c : cases) {
    uint32_t flags = 99;
    double lo = 99, hi = 99;
    ASSERT_EQ(BEE_GetStreamMinMax(layer, c.index, &flags, &lo, &hi), 0) << c.index;
    EXPECT_EQ(std::tuple(flags, lo, hi), std::tuple(c.flags, c.minimum, c.maximum)) << c.index;
  }
  // Indices that name no stream: between the standard and mask streams, a
  // mask or effect the layer does not have, negative.
  struct Bad {
    int32_t index;
    ErrorCode code;
    const char* text;
  };
  for (const Bad& b : {Bad{10, 1, "strange situation"}, Bad{127, 1, "strange situation"},
                       Bad{-1, 1, "strange situation"}, Bad{131, kErrRange, "no such stream yet (131)"},
                       Bad{512, kErrRange, "no such stream yet (512)"}}) {
    const int32_t bad = b.index;
    uint32_t flags = 99;
    double lo = 99, hi = 99;
    rec.clear();
    EXPECT_EQ(BEE_GetStreamMinMax(layer, bad, &flags, &lo, &hi), b.code) << bad;
    EXPECT_TRUE(Reported(b.text)) << bad;
    EXPECT_EQ(std::pair(flags, lo), std::pair(0u, 0.0));
    BEE_StreamValue v{};
    v.count = 5;
    EXPECT_EQ(BEE_GetStreamFPV(layer, bad, nullptr, nullptr, &v), b.code) << bad;
    EXPECT_EQ(v.count, 0);
  }
}

TEST_F(Units, ValidationClampsAndCatchesNaN) {
  struct Case {
    int32_t index;
    V in, out;
    bool changed;
  };
  const Case cases[] = {
      {BEE_StreamOpacity, {150}, {100}, true},
      {BEE_StreamOpacity, {-1}, {0}, true},
      {BEE_StreamOpacity, {kNaN}, {0}, true},
      {BEE_StreamOpacity, {42}, {42}, false},
      {BEE_StreamAudioLevels, {-300, 30}, {-192, 24}, true},
      {BEE_StreamMaskFeather, {-1, 2000}, {0, 1000}, true},
      {BEE_StreamPosition, {1e9, -1e9}, {1e9, -1e9}, false},  // no limits
  };
  for (const Case& c : cases) {
    double v[8] = {};
    std::copy(c.in.begin(), c.in.end(), v);
    Boolean32 changed = 7;
    ASSERT_EQ(BEE_ValidateStreamValue(layer, c.index, v, &changed), 0);
    EXPECT_EQ(V(v, v + c.out.size()), c.out) << c.index;
    EXPECT_EQ(changed != 0, c.changed) << c.index;
  }
  // Reading clamps too: Audio Levels held beyond +24 dB read 24.
  TDB_Stream loud = KeyableCopy(layer, BEE_StreamAudioLevels);
  TDB_SetConstant(loud, 1, nullptr, 0);
  const double hot[2] = {30, -500};
  ASSERT_EQ(TDB_InsertKeyF(loud, nullptr, 0, 1, hot, TDB_InterpLinear, TDB_InterpLinear), 0);
  ASSERT_EQ(BEE_CmdSetStreamKeys(layer, BEE_StreamAudioLevels, loud), 0);
  EXPECT_EQ(User(BEE_StreamAudioLevels), (V{24, -192}));
}

TEST_F(Units, ASourceWithoutSizeIsNotDividedBy) {
  BEE_FootageDesc d = Footage("audio only", 0, 0, Time{4, 1}, 0);
  BEE_Item none = GOT(BEE_Item, BEEp_MakeFootageItem, nullptr, &d);
  BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewLayer, comp, none);
  double v[2] = {7, 9};
  ASSERT_EQ(BEE_ConvertStreamFPV(l, BEE_StreamAnchorPoint, 0, v), 0);
  EXPECT_EQ(V(v, v + 2), (V{7, 9}));
  ASSERT_EQ(BEE_ConvertStreamFPV(l, BEE_StreamAnchorPoint, 1, v), 0);
  EXPECT_EQ(V(v, v + 2), (V{7, 9}));
}

TEST_F(Units, KeyframeEditsUndoOneByOne) {
  ASSERT_EQ(BEE_CmdSetStreamVary(layer, BEE_StreamScale, nullptr, 1), 0);
  ASSERT_EQ(Set(BEE_StreamScale, {200, 200}, Time{1, 1}), 0);
  ASSERT_EQ(Set(BEE_StreamScale, {50, 50}, Time{2, 1}), 0);
  ASSERT_EQ(Keys(BEE_StreamScale), 3);
  BEE_StreamRef ref{layer, BEE_StreamScale};
  auto stream = [&] { return GOT(TDB_Stream, BEE_StreamLookup, &ref); };
  std::vector<std::string> states{Dump()};
  std::vector<std::string> names;
  auto step = [&](ErrorCode err, const char* name) {
    ASSERT_EQ(err, 0) << name;
    EXPECT_EQ(UndoName(), name);
    states.push_back(Dump());
    names.push_back(name);
  };
  step(BEE_CmdSetKeyInterps(layer, BEE_StreamScale, -1, TDB_InterpBezier, TDB_InterpHold), "Interpolation Change");
  int8_t in = 0, out = 0;
  TDB_GetKeyInterps(stream(), 2, &in, &out);
  EXPECT_EQ(in, TDB_InterpBezier);
  EXPECT_EQ(out, TDB_InterpHold);
  // Speeds in percent per second are kept in internal units.
  const double speed[2] = {100, 100}, infl[2] = {0.25, 0.25};
  step(BEE_CmdSetKeyEase(layer, BEE_StreamScale, 1, speed, infl, speed, infl), "Ease Adjustment");
  double iv[4] = {}, ii[4] = {}, ov[4] = {}, oi[4] = {};
  TDB_GetKeyTangentsF(stream(), 1, iv, ii, ov, oi);
  EXPECT_EQ(iv[0], 1.0);
  EXPECT_EQ(oi[1], 0.25);
  step(BEE_CmdSetKeyFlags(layer, BEE_StreamScale, 1, TDB_KeyContinuous, TDB_KeyContinuous), "Keyframe Flag");
  step(BEE_CmdMoveKeyframes(layer, BEE_StreamScale, 1, 2, Time{1, 2}), "Move Keyframes");
  Time at = GOT(Time, TDB_IndexToTime, stream(), 2);
  EXPECT_EQ(t::Compare(at, Time{5, 2}), 0);
  step(BEE_CmdStretchKeyframes(layer, BEE_StreamScale, 0, 3, Ratio{2, 1}), "Move Keyframes");
  TDB_IndexToTime(stream(), 2, &at);
  EXPECT_EQ(t::Compare(at, Time{5, 1}), 0);
  step(BEE_CmdDeleteKeyframe(layer, BEE_StreamScale, 1), "Keyframe Change");
  EXPECT_EQ(Keys(BEE_StreamScale), 2);
  // A key the stream does not have, and a move onto a key that stays.
  EXPECT_EQ(BEE_CmdDeleteKeyframe(layer, BEE_StreamScale, 5), kErrRange);
  EXPECT_NE(BEE_CmdMoveKeyframes(layer, BEE_StreamScale, 0, 1, Time{5, 1}), 0);
  EXPECT_TRUE(Dump() == states.back());
  for (size_t i = names.size(); i-- > 0;) {
    EXPECT_EQ(UndoName(), names[i]);
    ASSERT_EQ(BEE_Undo(), 0);
    EXPECT_TRUE(Dump() == states[i]) << names[i];
  }
  for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_TRUE(Dump() == states.back());
  // Deleting the last keys leaves the stream constant at the last key's value.
  ASSERT_EQ(BEE_CmdDeleteKeyframe(layer, BEE_StreamScale, 1), 0);
  ASSERT_EQ(BEE_CmdDeleteKeyframe(layer, BEE_StreamScale, 0), 0);
  EXPECT_EQ(Keys(BEE_StreamScale), 0);
  EXPECT_EQ(User(BEE_StreamScale, Time{9, 1}), (V{100, 100}));
}

TEST_F(Units, VelocitiesAndTemporalDimensions) {
  BEE_StreamRef pos{layer, BEE_StreamPosition}, scale{layer, BEE_StreamScale};
  TDB_Stream s = nullptr;
  ASSERT_EQ(BEE_StreamLookup(&pos, &s), 0);
  EXPECT_EQ(GOT(int32_t, BEE_GetStreamTemporalDimension, s), 1);
  ASSERT_EQ(BEE_StreamLookup(&scale, &s), 0);
  EXPECT_EQ(GOT(int32_t, BEE_GetStreamTemporalDimension, s), 2);
  ASSERT_EQ(BEE_CmdSetStreamVary(layer, BEE_StreamScale, nullptr, 1), 0);
  ASSERT_EQ(Set(BEE_StreamScale, {200, 100}, Time{1, 1}), 0);
  const Time half{1, 2};
  double v[2] = {};
  ASSERT_EQ(BEE_GetStreamTemporalVelocity(layer, BEE_StreamScale, 1, &half, v), 0);
  EXPECT_NEAR(v[0], 100, 1e-9);  // percent per second
  EXPECT_NEAR(v[1], 0, 1e-9);
  const Time times[3] = {{0, 1}, {1, 2}, {1, 1}};
  double values[6] = {};
  EXPECT_EQ(GOT(int32_t, BEE_GetStreamValues, layer, BEE_StreamScale, 3, times, values), 2);
  EXPECT_EQ(V(values, values + 6), (V{100, 100, 150, 100, 200, 100}));
  double a[1] = {0.5};
  ASSERT_EQ(BEE_ConvertStreamTemporalVelocity(layer, BEE_StreamAnchorPoint, 1, a), 0);
  EXPECT_EQ(a[0], 240);  // a spatial anchor's speed scales by the source height
}

class UnitsEffects : public Units {
 protected:
  void SetUp() override {
    Units::SetUp();
    // The class keeps its parameter template from first use to the effect
    // package's death: it is made before the counts are taken.
    const int16_t cls = Class(FLT_MatchLevels);
    WarmClasses({cls});
    ASSERT_EQ(BEE_CmdApplyEffect(layer, cls, nullptr), 0);
    rec.clear();
  }
  // Levels: 1 input black (slider 0..255), 3 gamma (float 0.1..10).
  static constexpr int32_t kBlack = BEE_StreamFirstEffect + 0, kGamma = BEE_StreamFirstEffect + 2;
};

TEST_F(UnitsEffects, ParametersGoThroughTheSamePath) {
  uint32_t flags = 0;
  double lo = 0, hi = 0;
  ASSERT_EQ(BEE_GetStreamMinMax(layer, kBlack, &flags, &lo, &hi), 0);
  EXPECT_EQ(std::pair(lo, hi), std::pair(0.0, 255.0));
  EXPECT_EQ(User(kGamma), (V{1}));
  const std::string before = Dump();
  ASSERT_EQ(Set(kBlack, {300}), 0);  // limited by the effect's own range
  EXPECT_EQ(User(kBlack), (V{255}));
  ASSERT_EQ(Set(kGamma, {2.5}), 0);
  EXPECT_EQ(User(kGamma), (V{2.5}));
  EXPECT_EQ(UndoName(), "Keyframe Change");
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_TRUE(Dump() == before);
  EXPECT_EQ(Set(kGamma, {kNaN}), kErrBadParam);
  EXPECT_EQ(Set(BEE_StreamFirstEffect + 5, {1}), kErrRange);  // Levels has five parameters
}

// An effect whose second slider follows the first (twice its value), and
// that asks for an interface change when the first goes above 100.
int gUpdates = 0;
PF_Result Follow(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld*,
                 void* extra) {
  if (cmd == PF_Cmd_ParamsSetup) {
    for (const char* name : {"Lead", "Follow"}) {
      PF_ParamDef p{};
      p.type = PF_Param_Slider;
      std::strncpy(p.name, name, sizeof p.name - 1);
      p.u.words[PF_Word_Max] = 1000;
      if (PF_Result err = in->addParam(in->effectRef, -1, &p)) return err;
    }
    out->paramCount = 3;
  } else if (cmd == PF_Cmd_ParamsUpdate) {
    ++gUpdates;
    auto* update = static_cast<PF_ParamsUpdate*>(extra);
    if (update->index == 1) {
      const auto lead = static_cast<int32_t>(params[1]->u.words[PF_Word_Value]);
      update->changes[2].flags = PF_ChangeFlag_CHANGED_VALUE;
      update->changes[2].value[PF_Word_Value] = static_cast<uint32_t>(2 * lead);
      if (lead > 100) update->changes[1].flags = PF_ChangeFlag_CHANGED_UI;
    }
  }
  return 0;
}

class UnitsNotify : public Units {
 protected:
  void SetUp() override {
    Units::SetUp();
    const FLT_StaticClass info{"TEST Follow", "Follow", "Test", 0, 0x10000, 0xC0000, &Follow};
    int16_t cls = 0;
    Uncounted([&] { ASSERT_EQ(FLTp_RegisterStaticClass(&info, &cls), 0); });
    WarmClasses({cls});
    ASSERT_EQ(BEE_CmdApplyEffect(layer, cls, nullptr), 0);
    gUpdates = 0;
    rec.clear();
  }
  static constexpr int32_t kLead = BEE_StreamFirstEffect, kFollow = BEE_StreamFirstEffect + 1;
};

TEST_F(UnitsNotify, AnEffectsAnswerIsSetWithoutCallingItAgain) {
  ASSERT_EQ(Set(kLead, {40}), 0);
  EXPECT_EQ(gUpdates, 1);
  EXPECT_EQ(User(kFollow), (V{80}));
  EXPECT_TRUE(rec.reports.empty());
  ASSERT_EQ(Set(kLead, {300}), 0);
  EXPECT_EQ(gUpdates, 2);
  EXPECT_EQ(User(kFollow), (V{600}));
  ASSERT_FALSE(rec.reports.empty());
  EXPECT_EQ(rec.reports.back().severity, kSevWarning);
  EXPECT_EQ(rec.reports.back().text, "Test warning: use PFParamUtilsSuite instead of PF_ChangeFlag_CHANGED_UI");
  // The follower's change is undone with the lead's.
  ASSERT_EQ(Set(kLead, {1}, Time{1, 1}), 0);
  EXPECT_EQ(User(kFollow), (V{2}));
}

TEST_F(Units, TimeMarkersSetMoveAndRemoveUndoably) {
  auto marker = [&](BEE_Item c, int32_t n) { return GOT(Time, BEE_GetCompTimeMarker, c, n); };
  EXPECT_EQ(marker(comp, 3).scale, 0u);  // unset: the invalid time
  const Time two{2, 1}, three{3, 1};
  ASSERT_EQ(BEE_CmdSetCompTimeMarker(comp, 3, &two), 0);
  EXPECT_EQ(UndoName(), "Time Marker Change");
  ASSERT_EQ(BEE_CmdSetCompTimeMarker(comp, 3, &three), 0);
  EXPECT_EQ(t::Compare(marker(comp, 3), three), 0);
  BEE_Item copy = GOT(BEE_Item, BEE_CmdDuplicateComp, comp);
  EXPECT_EQ(t::Compare(marker(copy, 3), three), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_CmdSetCompTimeMarker(comp, 3, nullptr), 0);
  EXPECT_EQ(marker(comp, 3).scale, 0u);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(t::Compare(marker(comp, 3), three), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(t::Compare(marker(comp, 3), two), 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(t::Compare(marker(comp, 3), three), 0);
  const auto stacks = Stacks();
  EXPECT_EQ(BEE_CmdSetCompTimeMarker(comp, 10, &two), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetCompTimeMarker(comp, -1, &two), kErrBadParam);
  EXPECT_EQ(BEE_CmdSetCompTimeMarker(clip, 0, &two), kErrBadParam);
  const Time noScale{1, 0};
  EXPECT_EQ(BEE_CmdSetCompTimeMarker(comp, 0, &noScale), kErrBadParam);
  EXPECT_EQ(Stacks(), stacks);
}

}  // namespace
}  // namespace tv::bee::test
