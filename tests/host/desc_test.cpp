// Project descriptions read in-process: what a description sets is what the
// engine's commands set (the whole state of the layer compared), and every
// fault is told with its file, line, column and path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "FLT.h"
#include "description.h"
#include "mask_shape.h"
#include "session.h"

namespace {

using namespace tavelo;

const std::string kComps = R"({"name": "N", "width": 32, "height": 32, "fps": 24, "duration": 2,
   "layers": [{"solid": {"color": "#ff0000"}}]},
  {"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 2, "layers": [{"source": "N")";

// A description of two compositions whose layer "C"/0 has the extra keys.
std::string Described(const std::string& extra) {
  return "{\"comps\": [" + kComps + (extra.empty() ? "" : ", " + extra) + "}]}]}";
}

std::string Fmt(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", v);
  return b;
}

// A stream with its keys, their interpolations, flags, speeds, influences,
// spatial tangents and values (a shape's vertices and handles).
std::string StreamText(BEE_Layer layer, int32_t index) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream s = nullptr;
  if (BEE_StreamLookup(&ref, &s) || !s) return "none";
  TDB_StreamInfo info{};
  TDB_GetStreamInfo(s, &info);
  std::string out = "flags " + std::to_string(info.flags);
  const bool shape = info.valueDescription.kind == OM_ValueKind;
  const int32_t n = (info.flags & TDB_StreamConstant) ? 1 : info.keyCount;
  for (int32_t k = 0; k < n; ++k) {
    Time t{};
    int8_t in = 0, o = 0;
    uint16_t flags = 0;
    double iv[4] = {}, ii[4] = {}, ov[4] = {}, oi[4] = {}, ti[4] = {}, to[4] = {}, v[4] = {};
    if (!(info.flags & TDB_StreamConstant)) {
      TDB_IndexToTime(s, k, &t);
      TDB_GetKeyInterps(s, k, &in, &o);
      TDB_GetKeyFlags(s, k, &flags);
      TDB_GetKeyTangentsF(s, k, iv, ii, ov, oi);
      if ((info.flags & TDB_StreamSpatial) && !shape) TDB_GetKeySpaceTangents(s, k, ti, to);
    }
    out += "\n  " + std::to_string(t.value) + "/" + std::to_string(t.scale) + " " + std::to_string(in) + "/" +
           std::to_string(o) + " f" + std::to_string(flags);
    for (int d = 0; d < 4; ++d)
      out += " " + Fmt(iv[d]) + "," + Fmt(ii[d]) + "," + Fmt(ov[d]) + "," + Fmt(oi[d]) + "," + Fmt(ti[d]) + "," + Fmt(to[d]);
    if (shape) {
      OM_Shape sh = nullptr;
      OM_GetShape(s, (info.flags & TDB_StreamConstant) ? nullptr : &t, 0, &sh);
      std::vector<PathVertex> vs;
      ReadPathShape(sh, &vs);
      OM_DisposeShape(sh);
      for (const PathVertex& x : vs)
        out += " (" + Fmt(x.point.x) + "," + Fmt(x.point.y) + " " + Fmt(x.in.x) + "," + Fmt(x.in.y) + " " +
               Fmt(x.out.x) + "," + Fmt(x.out.y) + ")";
    } else {
      TDB_GetKeyF(s, k, v);
      for (int d = 0; d < info.dimension; ++d) out += " " + Fmt(v[d]);
    }
  }
  return out;
}

// Everything the engine holds of the project: its dump, and each layer's
// masks, effects and streams in full.
std::string State() {
  Handle dump = nullptr;
  BEEp_DumpProject(&dump);
  std::string out = dump ? std::string(*dump) : "";
  DisposeHandle(dump);
  BEE_Prefs prefs{};
  BEE_GetPrefs(&prefs);
  out += "shutter " + std::to_string(prefs.shutter.num) + "/" + std::to_string(prefs.shutter.den) + "\n";
  BEE_Item item = nullptr;
  while (BEE_GetNextItem(item, &item) == 0 && item) {
    int32_t layers = 0;
    if (BEE_GetCompNumLayers(item, &layers)) continue;
    for (int32_t i = 0; i < layers; ++i) {
      BEE_Layer l = nullptr;
      BEE_GetIndLayer(item, i, &l);
      for (int32_t s = 0; s < BEE_StandardStreamCount; ++s) out += "s" + std::to_string(s) + " " + StreamText(l, s) + "\n";
      int32_t masks = 0;
      BEE_GetLayerNumMasks(l, &masks);
      for (int32_t m = 0; m < masks; ++m) {
        BEE_MaskInfo mi{};
        BEE_GetMaskInfo(l, m, &mi);
        out += std::string("mask ") + mi.name + " " + std::to_string(mi.mode) + " " + std::to_string(mi.invert) + "\n";
        for (int32_t s = 0; s < 3; ++s) out += "  " + StreamText(l, BEE_StreamFirstMask + 3 * m + s) + "\n";
      }
      Handle parade = nullptr;
      int32_t effects = 0;
      BEE_InqLayerEffectSeq(l, &parade, &effects);
      for (int32_t e = 0; e < effects; ++e) {
        FLT_Sequence seq = nullptr;
        int16_t cls = 0;
        int32_t params = 0;
        uint32_t flags = 0;
        char name[48] = {};
        FLT_GetParadeSeq(parade, e, &seq);
        FLT_SeqInqClass(seq, &cls);
        FLT_SeqInqName(seq, name);
        FLT_SeqInqNumParams(seq, &params);
        FLT_InqParadeSeqFlags(parade, e, &flags);
        out += "effect " + std::to_string(cls) + " " + name + " " + std::to_string(flags) + "\n";
        for (int32_t p = 1; p < params; ++p)
          out += "  " + StreamText(l, BEE_StreamFirstEffect + 128 * e + p - 1) + "\n";
      }
    }
  }
  return out;
}

class Desc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Common common;
    common.level = LogLevel::Quiet;
    common.pluginDirs = {TAVELO_SAMPLE_PLUGINS, TAVELO_PARAM_PLUGINS};
    session = new Session(common);
  }
  static void TearDownTestSuite() { delete session; }

  // "" when the description builds, else the failure's text.
  static std::string Build(const std::string& text) {
    BEE_NewProject();
    try {
      BuildDescriptionText(text, "d.json", ".", DescriptionOptions{false});
      return "";
    } catch (const Failure& f) {
      return f.what();
    }
  }
  static BEE_Layer Layer() {
    BEE_Item comp = nullptr;
    BEE_FindItem(nullptr, "C", BEE_KindComp, &comp);
    BEE_Layer l = nullptr;
    BEE_GetIndLayer(comp, 0, &l);
    return l;
  }
  static inline Session* session = nullptr;
};

Time S(double seconds) { return Time{static_cast<int32_t>(std::lround(seconds * 24000)), 24000}; }

void Set(BEE_Layer l, int32_t index, const Time* at, std::initializer_list<double> v) {
  BEE_StreamValue sv{};
  for (double x : v) sv.values[sv.count++] = x;
  ASSERT_EQ(BEE_CmdSetStreamFPV(l, index, at, nullptr, &sv), 0) << index;
}

void SetShape(BEE_Layer l, int32_t index, const Time* at, OM_Shape shape) {
  BEE_StreamValue sv{};
  sv.shape = shape;
  ASSERT_EQ(BEE_CmdSetStreamFPV(l, index, at, nullptr, &sv), 0);
  OM_DisposeShape(shape);
}

OM_Shape Box(double l, double t, double r, double b) {
  const FixedRect f{static_cast<Fixed>(l * 65536), static_cast<Fixed>(t * 65536), static_cast<Fixed>(r * 65536),
                    static_cast<Fixed>(b * 65536)};
  OM_Shape s = nullptr;
  OM_NewShape(OM_TypeRect, &f, &s);
  OM_SetShapeType(OM_TypePath, s);
  return s;
}

int16_t Class(const char* match) {
  int16_t c = 0;
  Boolean32 found = 0;
  FLTp_FindClass(match, &c, &found);
  return c;
}

// Each feature as a description's keys of the layer, and as the commands a
// user's edits give: the engine holds the same state either way.
TEST_F(Desc, FeaturesSetAsByCommands) {
  const Time t0 = S(0), t05 = S(0.5), t1 = S(1);
  const struct {
    const char* name;
    std::string keys;
    std::function<void(BEE_Layer)> commands;
  } cases[] = {
      {"in and out are composition times", R"("offset": 0.5, "in": 1, "out": 1.75)",
       [](BEE_Layer l) { ASSERT_EQ(BEE_CmdSetLayerTimes(l, S(0.5), S(0.5), S(1.25)), 0); }},
      {"backwards, in and out swap", R"("stretch": -2, "offset": 1, "in": 0.5, "out": 1)",
       [](BEE_Layer l) {
         ASSERT_EQ(BEE_CmdSetLayerStretch(l, Ratio{-20000, 10000}), 0);
         Time in{}, out{};
         BEE_GetLayerTime(l, BEE_LayerTimeIn, &in, nullptr);
         BEE_GetLayerTime(l, BEE_LayerTimeOut, &out, nullptr);
         ASSERT_EQ(BEE_CmdSetLayerTimes(l, S(1), in, out), 0);
         BEE_CompToLayerTime(l, S(1), &in);
         BEE_CompToLayerTime(l, S(0.5), &out);
         ASSERT_EQ(BEE_CmdSetLayerTimes(l, S(1), in, out), 0);
       }},
      {"switches and transparency",
       R"("audio": false, "collapse": true, "autoOrient": true, "effectsOn": false, "preserveTransparency": true,
          "frameBlend": true)",
       [](BEE_Layer l) {
         for (uint32_t bit : {uint32_t{BEE_SwitchAudioMute}, uint32_t{BEE_SwitchCollapse}, uint32_t{BEE_SwitchOrient},
                              uint32_t{BEE_SwitchFrameBlend}})
           ASSERT_EQ(BEE_CmdSetLayerSwitch(l, bit, 1), 0);
         ASSERT_EQ(BEE_CmdSetLayerSwitch(l, BEE_SwitchEffects, 0), 0);
         ASSERT_EQ(BEE_CmdSetTransfer(l, 2, BEE_TransferKeepAlpha, 0), 0);
       }},
      {"time remapping and audio levels",
       R"("timeRemap": [{"time": 0, "value": 1}, {"time": 1, "value": 0}], "audioLevels": [-6, 3])",
       [&](BEE_Layer l) {
         ASSERT_EQ(BEE_CmdSetStreamVary(l, BEE_StreamTimeRemap, nullptr, 1), 0);
         Set(l, BEE_StreamTimeRemap, &t0, {1});
         Set(l, BEE_StreamTimeRemap, &t1, {0});
         ASSERT_EQ(BEE_CmdDeleteKeyframe(l, BEE_StreamTimeRemap, 2), 0);
         Set(l, BEE_StreamAudioLevels, nullptr, {-6, 3});
       }},
      {"eases, hold, tangents and roving",
       R"("position": [{"time": 0, "value": [0, 0]}, {"time": 0.5, "value": [10, 0], "roving": true},
          {"time": 1, "value": [20, 10], "outInterpolation": "hold", "easeIn": {"speed": 5, "influence": 50},
           "tangentIn": [-4, 1]}],
          "opacity": [{"time": 0, "value": 0, "ease": true}, {"time": 1, "value": 100}])",
       [&](BEE_Layer l) {
         Time lt{};
         BEE_CompToLayerTime(l, t0, &lt);
         ASSERT_EQ(BEE_CmdSetStreamVary(l, BEE_StreamPosition, &lt, 1), 0);
         Set(l, BEE_StreamPosition, &t0, {0, 0});
         Set(l, BEE_StreamPosition, &t05, {10, 0});
         Set(l, BEE_StreamPosition, &t1, {20, 10});
         ASSERT_EQ(BEE_CmdSetKeyInterps(l, BEE_StreamPosition, 2, TDB_InterpBezier, TDB_InterpHold), 0);
         TDB_Stream s = nullptr;
         BEE_StreamRef ref{l, BEE_StreamPosition};
         BEE_StreamLookup(&ref, &s);
         double vin[4] = {}, vout[4] = {}, iin[4] = {}, iout[4] = {}, tin[4] = {}, tout[4] = {};
         TDB_GetKeyVelocity(s, 2, vin, vout);
         TDB_GetKeyInfluence(s, 2, iin, iout);
         BEE_ConvertStreamTemporalVelocity(l, BEE_StreamPosition, 1, vout);
         vin[0] = 5;
         iin[0] = 0.5;
         ASSERT_EQ(BEE_CmdSetKeyEase(l, BEE_StreamPosition, 2, vin, iin, vout, iout), 0);
         TDB_GetKeySpaceTangents(s, 2, tin, tout);
         tin[0] = -4;
         tin[1] = 1;
         ASSERT_EQ(BEE_CmdSetKeySpaceTangents(l, BEE_StreamPosition, 2, tin, tout), 0);
         // Roving: the path parametrized by distance, the key floating.
         TDB_Stream rove = nullptr;
         BEE_StreamLookup(&ref, &s);  // the commands above replaced the stream
         TDB_DuplicateStream(s, &rove);
         TDB_SetStreamSParametrize(rove, 1);
         TDB_SetKeyFloat(rove, 1, 1);
         TDB_UpdateStream(rove);
         ASSERT_EQ(BEE_CmdSetStreamKeys(l, BEE_StreamPosition, rove), 0);
         ASSERT_EQ(BEE_CmdSetStreamVary(l, BEE_StreamOpacity, &lt, 1), 0);
         Set(l, BEE_StreamOpacity, &t0, {0});
         Set(l, BEE_StreamOpacity, &t1, {100});
         const double still[4] = {}, third[4] = {1 / 3.0, 1 / 3.0, 1 / 3.0, 1 / 3.0};
         ASSERT_EQ(BEE_CmdSetKeyInterps(l, BEE_StreamOpacity, 0, TDB_InterpBezier, TDB_InterpBezier), 0);
         ASSERT_EQ(BEE_CmdSetKeyEase(l, BEE_StreamOpacity, 0, still, third, still, third), 0);
       }},
      {"an animated mask and a smooth path",
       R"("masks": [{"rect": [{"time": 0, "value": [0, 0, 10, 10]}, {"time": 1, "value": [2, 2, 20, 20]}],
                     "feather": [{"time": 0, "value": 0}, {"time": 1, "value": [4, 2]}], "mode": "subtract"},
                    {"path": [[0, 0], [30, 3], [12, 25], [1, 20]], "smooth": true, "inverted": true}])",
       [&](BEE_Layer l) {
         OM_Shape first = Box(0, 0, 10, 10);
         ASSERT_EQ(BEE_CmdAddMask(l, first, nullptr), 0);
         OM_DisposeShape(first);
         Time lt{};
         BEE_CompToLayerTime(l, t0, &lt);
         const int32_t shape = BEE_StreamFirstMask + int32_t{BEE_MaskStreamShape};
         ASSERT_EQ(BEE_CmdSetStreamVary(l, shape, &lt, 1), 0);
         SetShape(l, shape, &t0, Box(0, 0, 10, 10));
         SetShape(l, shape, &t1, Box(2, 2, 20, 20));
         ASSERT_EQ(BEE_DoCommand(BEE_CmdNumMaskMode, std::array<intptr_t, 2>{
                                     reinterpret_cast<intptr_t>(l), BEE_PackMaskValue(0, 2)}.data()), 0);
         ASSERT_EQ(BEE_CmdSetStreamVary(l, BEE_StreamFirstMask + 1, &lt, 1), 0);
         Set(l, BEE_StreamFirstMask + 1, &t0, {0, 0});
         Set(l, BEE_StreamFirstMask + 1, &t1, {4, 2});
         OM_Shape path = nullptr;
         OM_NewShape(OM_TypePath, nullptr, &path);
         for (auto [x, y] : {std::pair{0, 0}, {30, 3}, {12, 25}, {1, 20}}) {
           const FixedPoint p{x * 65536, y * 65536};
           OM_ShapeAddBezVertex(path, -1, &p, nullptr, nullptr);
         }
         for (int32_t v = 0; v < 4; ++v) OM_ShapeSetDefaultBezTangents(path, 3 * v);
         OM_RecalcBounds(path);
         ASSERT_EQ(BEE_CmdAddMask(l, path, nullptr), 0);
         OM_DisposeShape(path);
         ASSERT_EQ(BEE_DoCommand(BEE_CmdNumMaskInvert, std::array<intptr_t, 2>{
                                     reinterpret_cast<intptr_t>(l), BEE_PackMaskValue(1, 1)}.data()), 0);
       }},
      {"parameters of every kind by name",
       R"("effects": [{"effect": "Sample Levels", "params": {"Invert": true, "Channel": "green", "Tint": "#80ff0000",
                        "Gamma": [{"time": 0, "value": 1}, {"time": 1, "value": 2}]}},
                      {"effect": "Audio Gain", "params": {"Gain": 2}},
                      {"effect": "Sample Params", "params": {"Angle": 45, "Centre": [10, 20]}}])",
       [&](BEE_Layer l) {
         int32_t e = 0;
         ASSERT_EQ(BEE_CmdApplyEffect(l, Class("SMPL Levels"), &e), 0);
         Set(l, BEE_StreamFirstEffect + 4, nullptr, {1});
         Set(l, BEE_StreamFirstEffect + 5, nullptr, {3});
         Set(l, BEE_StreamFirstEffect + 6, nullptr, {0x80, 0xFF, 0, 0});
         Time lt{};
         BEE_CompToLayerTime(l, t0, &lt);
         ASSERT_EQ(BEE_CmdSetStreamVary(l, BEE_StreamFirstEffect + 2, &lt, 1), 0);
         Set(l, BEE_StreamFirstEffect + 2, &t0, {1});
         Set(l, BEE_StreamFirstEffect + 2, &t1, {2});
         ASSERT_EQ(BEE_CmdApplyEffect(l, Class("TVLO Audio Gain"), &e), 0);
         Set(l, BEE_StreamFirstEffect + 128, nullptr, {2});
         ASSERT_EQ(BEE_CmdApplyEffect(l, Class("TVLO Sample Params"), &e), 0);
         Set(l, BEE_StreamFirstEffect + 256, nullptr, {45});
         Set(l, BEE_StreamFirstEffect + 257, nullptr, {10, 20});
       }},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Build(Described(c.keys)), "") << c.name;
    const std::string described = State();
    ASSERT_EQ(Build(Described("")), "") << c.name;
    c.commands(Layer());
    EXPECT_EQ(described, State()) << c.name;
  }
  // The render settings: the engine's shutter and the host's fields.
  ASSERT_EQ(Build(R"({"render": {"shutterAngle": 90, "fields": "lowerFirst"}, "comps": [)" + kComps +
                  "}]}]}"),
            "");
  BEE_Prefs prefs{};
  BEE_GetPrefs(&prefs);
  EXPECT_EQ(prefs.shutter.num * 4, static_cast<int32_t>(prefs.shutter.den));
  EXPECT_EQ(LastDescriptionRender().fieldOrder, 2);
  prefs.shutter = Ratio{1, 2};
  BEE_SetPrefs(&prefs);
}

// A text layer's keys are composition times, as a transform's are, when an
// offset moves the layer too.
TEST_F(Desc, TextKeysAreCompositionTimes) {
  ASSERT_EQ(Build(R"({"comps": [{"name": "C", "width": 60, "height": 40, "fps": 30, "duration": 2, "layers": [
      {"text": {"text": "ab", "size": [{"time": 0.5, "value": 16}, {"time": 1, "value": 7}]}, "offset": 0.2,
       "opacity": [{"time": 0.5, "value": 10}, {"time": 1, "value": 90}]}]}]})"),
            "");
  const auto layerMs = [](int32_t index) {
    BEE_StreamRef ref{Layer(), index};
    TDB_Stream s = nullptr;
    std::vector<long> out;
    int32_t n = 0;
    if (BEE_StreamLookup(&ref, &s) || TDB_GetNumKeys(s, &n)) return out;
    for (int32_t k = 0; k < n; ++k) {
      Time t{};
      TDB_IndexToTime(s, k, &t);
      out.push_back(std::lround(1000.0 * t.value / t.scale));
    }
    return out;
  };
  EXPECT_EQ(layerMs(BEE_StreamOpacity), (std::vector<long>{300, 800}));
  EXPECT_EQ(layerMs(int32_t{BEE_StreamFirstEffect} + FLT_TextParam_Size - 1), (std::vector<long>{300, 800}));
}

// At 29.97 and 59.94 fps frames are not on the grid of other times: keys,
// layer times and durations given at frame times (as a script computes
// them) fall on those frames exactly, so a hold key changes the value at
// its frame and not one frame later, and 13 frames last 13 frames.
TEST_F(Desc, KeysAtFrameTimesFallOnTheirFrames) {
  for (const char* fps : {"29.97", "59.94"}) {
    SCOPED_TRACE(fps);
    const double rate = std::atof(fps) == 29.97 ? 30000.0 / 1001 : 60000.0 / 1001;
    std::string keys;
    for (int k = 0; k < 12; ++k)
      keys += std::string(k ? ", " : "") + "{\"time\": " + Fmt(k / rate) + ", \"value\": " +
              std::to_string(k) + ", \"interpolation\": \"hold\"}";
    ASSERT_EQ(Build(std::string(R"({"comps": [{"name": "C", "width": 8, "height": 8, "fps": )") + fps +
                    R"(, "duration": )" + Fmt(13 / rate) + R"(, "layers": [{"solid": {"color": "#ff0000"}, "offset": )" +
                    Fmt(2 / rate) + R"(, "in": )" + Fmt(3 / rate) +
                    R"(, "opacity": [)" + keys + "]}]}]}"),
              "");
    BEE_Item comp = nullptr;
    BEE_GetLayerComp(Layer(), &comp);
    Time frame{}, duration{};
    ASSERT_EQ(BEE_GetCompFrameDuration(comp, &frame), 0);
    ASSERT_EQ(BEE_GetItemDuration(comp, &duration, nullptr), 0);
    EXPECT_EQ(int64_t{duration.value} * frame.scale, int64_t{13 * frame.value} * duration.scale) << "13 frames";
    for (int k = 0; k < 12; ++k) {
      double v = -1;
      ASSERT_EQ(BEE_GetLayerStreamValueF(Layer(), BEE_StreamOpacity, Time{k * frame.value, frame.scale}, &v), 0);
      EXPECT_NEAR(v, k, 1e-6) << "frame " << k;
    }
    Time offset{}, in{};
    ASSERT_EQ(BEE_GetLayerTime(Layer(), BEE_LayerTimeOffset, &offset, nullptr), 0);
    ASSERT_EQ(BEE_LayerToCompTime(Layer(), [&] {
      Time t{};
      BEE_GetLayerTime(Layer(), BEE_LayerTimeIn, &t, nullptr);
      return t;
    }(), &in), 0);
    EXPECT_EQ(int64_t{offset.value} * frame.scale, int64_t{2 * frame.value} * offset.scale);
    EXPECT_EQ(int64_t{in.value} * frame.scale, int64_t{3 * frame.value} * in.scale);
  }
}

// A value the engine keeps within its limits builds, and a note says what
// was kept; values within the limits say nothing.
TEST_F(Desc, ValuesBeyondTheLimitsAreNoted) {
  session->TakeReports();
  ASSERT_EQ(Build(Described(R"("opacity": 150, "audioLevels": [0, -500],
      "effects": [{"effect": "Fast Blur", "params": {"Radius": [{"time": 0, "value": 2}, {"time": 1, "value": 1e6}]}}])")),
            "");
  std::vector<std::string> notes;
  for (const Report& r : session->TakeReports()) notes.push_back(r.text);
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "d.json:3:108: comps[1].layers[0].opacity: 150 is outside 0 to 100: 100 is kept",
                       "d.json:3:128: comps[1].layers[0].audioLevels: -500 is outside -192 to 24: -192 is kept",
                       "d.json:4:111: comps[1].layers[0].effects[0].params.Radius[1].value: 1000000 is outside 0 "
                       "to 2000: 2000 is kept"}));
  ASSERT_EQ(Build(Described(R"("opacity": 100, "audioLevels": [24, -192])")), "");
  EXPECT_TRUE(session->TakeReports().empty());
}

// Every fault names the file, the line and column where the value starts,
// its path and what is wrong; names and values are echoed within limits.
TEST_F(Desc, FaultsAreToldExactly) {
  const std::string c = R"({"comps": [{"name": "C", "width": 8, "height": 8, "duration": 1)";
  const std::string layer = c + R"(, "layers": [{"solid": {"color": "#ffffff"}, )";
  const std::string longName(100, 'x');
  const std::string points = [] {
    std::string p;
    for (int i = 0; i < 100000; ++i) p += std::string(i ? "," : "") + "[" + std::to_string(i % 7) + ",1]";
    return p;
  }();
  std::string keys;
  for (int i = 0; i <= 10000; ++i) keys += std::string(i ? "," : "") + "{\"time\": " + std::to_string(i) + ", \"value\": 0}";
  const std::pair<std::string, std::string> cases[] = {
      {c + ",\n \"layers\": [}]}", "d.json:2:13: not valid JSON (syntax error while parsing value - unexpected '}'; "
                                   "expected '[', '{', or a literal)"},
      {R"({"comps": [{"name": "C", "width": 8, "height": 8, "duration": 1e999}]})",
       "d.json:1:63: the number \"1e999\" is too large"},
      {R"({"comps": [{"name": "C", "width": 8, "height": NaN}]})",
       "d.json:1:48: not valid JSON: NaN and Infinity are not numbers JSON can hold"},
      {R"({"comps": [{"name": "C\u0000x", "width": 8, "height": 8, "duration": 1}]})",
       "d.json:1:21: comps[0].name: \"C\\u0000x\" holds a zero character (\\u0000)"},
      {R"({"comps": [{"name": ")" + longName + R"(", "width": 8, "height": 8, "duration": 1}]})",
       "d.json:1:21: comps[0].name: \"" + std::string(80, 'x') + "...\": a name has 1 to 31 bytes"},
      {c + R"(, ")" + longName + "\": 1}]}",
       "d.json:1:" + std::to_string(c.size() + 107) + ": comps[0].\"" + std::string(80, 'x') + "...\": unknown key"},
      {R"({"comps": [{"name": "C", "width": 8, "height": 8, "fps": 24, "duration": 0.04}]})",
       "d.json:1:74: comps[0].duration: a composition lasts at least one frame (1/24 s), not 0.04 s"},
      {R"({"comps": [{"name": "C", "width": 8, "height": 8, "fps": 59.94, "duration": 36000}]})",
       "d.json:1:77: comps[0].duration: at this frame rate a composition lasts at most 35791 s: the times of later "
       "frames cannot be held"},
      {layer + R"("stretch": 0.00001}]}]})",
       "d.json:1:120: comps[0].layers[0].stretch: stretch 0.00001 is too close to 0 (at least 0.0001 either way)"},
      {layer + R"("in": 1, "out": 0.5}]}]})",
       "d.json:1:125: comps[0].layers[0].out: \"out\" (0.5 s) must be later than \"in\" (1 s)"},
      {layer + R"("stretch": -1, "in": 0.5}]}]})",
       "d.json:1:130: comps[0].layers[0].in: \"in\" (0.5 s) is after the layer's end (-0.003 s; played backwards, the "
       "layer ends at its source's first frame)"},
      {layer + R"("offset": 2, "out": 1}]}]})",
       "d.json:1:129: comps[0].layers[0].out: \"out\" (1 s) is before the layer's start (2 s)"},
      {layer + R"("masks": [{"path": [)" + points + "]}]}]}]}",
       "d.json:1:128: comps[0].layers[0].masks[0].path: a path has at most 65536 points (this one has 100000)"},
      {layer + R"("opacity": [)" + keys + "]}]}]}",
       "d.json:1:120: comps[0].layers[0].opacity: a property has at most 10000 keyframes (this one has 10001)"},
      {layer + R"("timeRemap": 1}]}]})",
       "d.json:1:122: comps[0].layers[0].timeRemap: time remapping takes keyframes ({\"time\", \"value\"}: layer "
       "time to source seconds)"},
      {layer + R"("rotation": [{"time": 0, "value": 0, "tangentIn": [1]}, {"time": 1, "value": 9}]}]}]})",
       "d.json:1:159: comps[0].layers[0].rotation[0].tangentIn: only a motion path (a spatial property) has tangents"},
      {layer + R"("position": [{"time": 0, "value": [0, 0], "roving": true}, {"time": 1, "value": [1, 1]}]}]}]})",
       "d.json:1:161: comps[0].layers[0].position[0].roving: the first and the last keyframe cannot rove"},
      {layer + R"("effects": [{"effect": "Sample Levels", "params": {"Channel": "Purple"}}]}]}]})",
       "d.json:1:171: comps[0].layers[0].effects[0].params.Channel: \"Purple\" is not one of \"All\", \"Red\", "
       "\"Green\", \"Blue\""},
      {layer + R"("opacity": "half"}]}]})", "d.json:1:120: comps[0].layers[0].opacity: expected a number"},
      {R"({"comps": []})", "d.json:1:11: comps: a project needs at least one composition"},
      {R"({"comps": [{"width": 8, "height": 8, "duration": 1}]})", "d.json:1:12: comps[0]: \"name\" is missing"},
      {c + R"(, "fps": "fast"}]})", "d.json:1:73: comps[0].fps: expected a number"},
      {c + "}, " + c.substr(11) + "}]}", "d.json:1:76: comps[1].name: the name \"C\" is used twice"},
      {layer + R"("position": [1, 2, 3]}]}]})", "d.json:1:121: comps[0].layers[0].position: expected a list of 2 numbers"},
      {c + R"(, "layers": [{"solid": {"color": "red"}}]}]})",
       "d.json:1:97: comps[0].layers[0].solid.color: expected a colour \"#rrggbb\" or \"#aarrggbb\", not \"red\""},
      {c + R"(, "layers": [{"source": "Elsewhere"}]}]})",
       "d.json:1:88: comps[0].layers[0].source: no footage or composition named \"Elsewhere\""},
      {c + R"(, "layers": [{"source": "C"}]}]})",
       "d.json:1:88: comps[0].layers[0].source: \"C\" cannot be a layer here (it contains this composition)"},
      {layer + R"("opacity": [{"time": 0, "value": 1}, {"time": 0, "value": 2}]}]}]})",
       "d.json:1:155: comps[0].layers[0].opacity[1].time: two keyframes at 0 s"},
      {layer + R"("rotation": [{"time": 0, "value": 1, "interpolation": "smooth"}]}]}]})",
       "d.json:1:163: comps[0].layers[0].rotation[0].interpolation: \"smooth\" is not one of linear, bezier, hold"},
      {layer + R"("effects": [{"effect": "Sparkle"}]}]}]})",
       "d.json:1:132: comps[0].layers[0].effects[0].effect: no effect named \"Sparkle\" (`tavelo plugins` lists the "
       "effects)"},
      {layer + R"("effects": [{"effect": "Fast Blur", "params": {"Size": 2}}]}]}]})",
       "d.json:1:164: comps[0].layers[0].effects[0].params.Size: the effect has no parameter \"Size\" (it has "
       "\"Radius\", \"Repeat Edge Pixels\")"},
      {layer + R"("masks": [{"oval": [4, 4, 2, 2]}]}]}]})",
       "d.json:1:128: comps[0].layers[0].masks[0].oval: left must be less than right and top less than bottom"},
      {layer + R"("masks": [{"rect": [-1e300, -1e300, 1e300, 1e300]}]}]}]})",
       "d.json:1:128: comps[0].layers[0].masks[0].rect: a box lies within -32767 to 32767 pixels"},
      {layer + R"("masks": [{"path": [[0, 0], [4, 4]]}]}]}]})",
       "d.json:1:128: comps[0].layers[0].masks[0].path: a path needs at least 3 points"},
      {c + R"(, "layers": [{"solid": {"color": "#fff000"}, "text": {"text": "Hi"}}]}]})",
       "d.json:1:77: comps[0].layers[0]: a layer has one of \"solid\", \"source\" or \"text\""},
      {c + R"(, "layers": [{"text": {"text": "Hi", "size": "big"}}]}]})",
       "d.json:1:109: comps[0].layers[0].text.size: expected a number"},
      {c + R"(, "layers": [{"text": {"text": "Hi", "align": "middle"}}]}]})",
       "d.json:1:110: comps[0].layers[0].text.align: \"middle\" is not one of left, centre, center, right"},
      {R"({"footage": [{"name": "F", "file": "nothing.png"}], "comps": []})",
       "d.json:1:36: footage[0].file: files are not read here"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(Build(text), message) << text.substr(0, 200);
}

}  // namespace
