// Effect classes registered from plug-in files: the required properties and
// their version rules, duplicates, the foreign filter kinds, and code loaded
// on a class's first use.
#include <cmath>
#include <cstdlib>

#include "FLT_test_support.h"
#include "PLUG_test_support.h"
#include "FLT_Suites.h"
#include "SND.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

class FLTPlugins : public FLTFixture {
 protected:
  void Scan(const std::string& folder) {
    const char* folders[] = {folder.c_str(), nullptr};
    ASSERT_EQ(FLTp_ScanPluginFolders(folders, 4), 0);
  }
  bool Has(const char* match) {
    int16_t index = 0;
    Boolean32 found = 0;
    FLTp_FindClass(match, &index, &found);
    return found;
  }
  // The class's {name, flags}.
  std::pair<std::string, uint32_t> Info(const char* match) {
    char n[32] = {};
    uint32_t flags = 0;
    EXPECT_EQ(FLT_InqPFInfo(Class(match), n, nullptr, &flags), 0);
    return {n, flags};
  }
};

Bytes File(std::vector<Prop> props) { return MapOf(BuildPiPL(props)); }
std::vector<Prop> Without(std::vector<Prop> p, const char* key) {
  std::erase_if(p, [&](const Prop& x) { return x.key == PLUG_FOURCC(key[0], key[1], key[2], key[3]); });
  return p;
}
std::vector<Prop> With(std::vector<Prop> p, const char* key, Bytes value) {
  p = Without(p, key);
  p.push_back({PLUG_FOURCC(key[0], key[1], key[2], key[3]), value});
  return p;
}

TEST_F(FLTPlugins, RequiredPropertiesVersionsAndForeignKinds) {
  TempDir dir;
  // Plug-ins described by their side-cars (nothing loadable: registration only).
  auto put = [&](const char* name, const Bytes& map) {
    WriteFile(dir.P(name), Bytes{0});
    WriteFile(dir.P(std::string(name) + ".rsrc"), map);
  };
  put("a_noversion.tvx", File(Without(EffectProps("T NoVersion"), "ePVR")));
  put("b_mismatch.tvx", File(With(EffectProps("T Mismatch"), "ePVR", U32(0x30000))));
  put("c_noflags.tvx", File(Without(EffectProps("T NoFlags"), "eGLO")));
  put("d_old.tvx", File(EffectProps("T Old", 0xA0000)));
  put("e_obsolete.tvx", File(With(EffectProps("T Obsolete"), "eGLO", U32(PF_OutFlag_Obsolete))));
  const auto video = std::vector<Prop>{{PLUG_FOURCC('k', 'i', 'n', 'd'), U32(PLUG_FOURCC('K', 'F', 'l', 't'))},
                                       {PLUG_FOURCC('n', 'a', 'm', 'e'), Counted("Vid", 32)}};
  put("f_video.tvx", File(video));
  auto image = std::vector<Prop>{{PLUG_FOURCC('k', 'i', 'n', 'd'), U32(PLUG_FOURCC('Q', '7', 'F', 'M'))},
                                 {PLUG_FOURCC('n', 'a', 'm', 'e'), Counted("Img", 32)},
                                 {PLUG_FOURCC('e', 'M', 'N', 'A'), Counted("KVRN RZTwirl", 48)},
                                 {PLUG_FOURCC('m', 'o', 'd', 'e'), Bytes{3, 0}},
                                 {PLUG_FOURCC('f', 'i', 'c', 'i'), Bytes(28, 1)},
                                 {PLUG_FOURCC('a', 'F', 'L', 'T'), Bytes(68, 2)}};
  put("g_image.tvx", File(image));
  put("h_image_nofici.tvx", File(With(Without(image, "fici"), "eMNA", Counted("T NoFici", 48))));
  // Whole-image flag and parameters; a mode other than 8-bit ARGB; an 'aPAR'
  // claiming more entries than it holds.
  Bytes par = U32(9);
  const Bytes entry = Counted("Angle", 16);
  par.insert(par.end(), entry.begin(), entry.end());
  for (int16_t v : {90, -90, 500, 0}) PutLE(par, static_cast<uint16_t>(v), 2);
  put("i_whole.tvx", File(With(With(With(image, "eMNA", Counted("T Whole", 48)), "aFLT", U32(1)), "aPAR", par)));
  put("j_mode.tvx", File(With(With(image, "eMNA", Counted("T Mode", 48)), "mode", Bytes{2, 0})));
  Scan(dir.path());

  for (const auto& [match, file, why] :
       {std::tuple{"T NoVersion", "a_noversion", "is missing a required PiPL property"},
        {"T Mismatch", "b_mismatch", "has PiPL version mismatch"},
        {"T NoFlags", "c_noflags", "is missing a required PiPL property"},
        {"T NoFici", "h_image_nofici", "is missing a required PiPL property"}}) {
    EXPECT_FALSE(Has(match));
    EXPECT_EQ(Reports("effect \"" + std::string(file) + ".tvx\" " + why), 1) << match;
  }

  EXPECT_EQ(Info("T Old"), std::make_pair(std::string("(version) T Old"), 0x1u));
  EXPECT_EQ(Info("T Obsolete").second, 0x4u);
  EXPECT_EQ(Info("Vid").first, "VQF Vid");
  uint32_t out = 0;
  FLT_InqPFOutFlags(Class("Vid"), &out);
  EXPECT_EQ(out, 0x80000020u);
  EXPECT_EQ(Info("KVRN RZTwirl").first, "RZ Img");  // no 'aPAR', 'aFLT' flags without the whole-image bit

  // Described by side-cars only: nothing to load.
  rec.clear();
  FLT_Sequence seq = nullptr;
  EXPECT_EQ(TryNewSeq(Class("Vid"), &seq), PLUG_ErrNotDLL);
  EXPECT_EQ(TryNewSeq(Class("T Old"), &seq), FLT_ErrInvalidFilter);
  EXPECT_EQ(Info("T Whole").first, "RZW+ Img");
  EXPECT_EQ(Info("T Mode").second, 0x1u);  // registered, not usable
}

TEST_F(FLTPlugins, ImageFilterRunsThroughItsAdapter) {
  Scan(TAVELO_TEST_PLUGINS);
  const int16_t cls = Class("TVLO Sample Invert Filter");
  EXPECT_EQ(Info("TVLO Sample Invert Filter").first, "RZ+ Sample Invert");
  FLT_Parade p = Keep(NewParade({cls}));
  int32_t params = 0;
  FLT_InqParamInfo(cls, &params);
  ASSERT_EQ(params, 5);  // input, Amount, Foreground Color, Background Color, Blend With Original
  const int32_t w = 7, h = 5;
  BM_World in = World(11, w, h);
  const std::vector<uint8_t> src = Pixels(in);
  std::vector<uint8_t> dst = Rendered(p, in, w, h);
  for (size_t i = 0; i < src.size(); ++i) ASSERT_EQ(dst[i], i % 4 ? 255 - src[i] : src[i]) << i;

  // Blend With Original mixes the input back in, after the filter.
  FLT_Sequence s = SeqOf(p, 0);
  SetConstant(s, 1, {40});
  SetConstant(s, 4, {25});
  dst = Rendered(p, in, w, h);
  for (size_t i = 0; i < src.size(); ++i) {
    const int filtered = i % 4 ? src[i] + (255 - 2 * src[i]) * 40 / 100 : src[i];
    ASSERT_EQ(dst[i], (filtered * 75 + src[i] * 25 + 50) / 100) << i;
  }
  rec.clear();
  EXPECT_EQ(FLT_DoAbout(cls), 0);
  EXPECT_EQ(Reports("Sample Invert, a test filter."), 1);
}

TEST_F(FLTPlugins, SoundFilterRunsThroughItsAdapter) {
  Scan(TAVELO_TEST_PLUGINS);
  const int16_t cls = Class("TVLO Sample Half Gain");
  uint32_t out = 0;
  FLT_InqPFOutFlags(cls, &out);
  EXPECT_EQ(out, 0x80000020u);
  const SND_Format f{44100, SND_Encoding_Signed, 2, 2, 0};
  SND_World input = Sound(&f, 50, [](int i) { return static_cast<int16_t>(i * 661 - 32768); }), output = Sound();
  ASSERT_EQ(RenderAudio(Keep(NewParade({cls})), input, output), 0);
  EXPECT_EQ(Encoding(output), SND_Encoding_Signed);  // not a float-samples class
  const std::vector<int16_t> v = Samples<int16_t>(output, 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(v[i], std::nearbyint((i * 661 - 32768) * 0.5)) << i;  // to even
}

// What an effect saw of the suites the effect package adds.
struct SuiteProbe {
  int32_t count = -1, found = -1, keyIndex = -1, keyTime = -1;
  uint32_t keyScale = 0;
  uint32_t keyValue = 0;
  PF_Result wrongType = 0, renamed = -1, outOfRange = 0, halfPointers = 0, identical = 0, paths = 0, bad = 0;
  int32_t segments = 0;
  double length = 0, midX = 0, midY = 0;
} gProbe;

template <class T>
const T* PFSuite(const char* name) {
  const void* procs = nullptr;
  EXPECT_EQ(PLUG_GetBRSuiteProcs(name, 1, 1, &procs), 0) << name;
  return static_cast<const T*>(procs);
}

PF_Result ProbeEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) {
    PF_ParamDef p{};
    p.type = PF_Param_Slider;
    std::strcpy(p.name, "Level");
    p.u.words[PF_Word_Max] = 100;
    out->paramCount = 2;
    return in->addParam(in->effectRef, -1, &p);
  }
  if (cmd != PF_Cmd_Render) return 0;
  PF_ProgPtr ref = in->effectRef;
  auto* u = PFSuite<PF_ParamUtilsSuite>("PF Param Utils Suite");
  SuiteProbe& g = gProbe;
  u->getKeyframeCount(ref, 1, &g.count);
  u->findKeyframeTime(ref, 1, 300, 600, 1, &g.found, &g.keyIndex, &g.keyTime, &g.keyScale);
  PF_ParamDef p{};
  u->checkoutKeyframe(ref, 1, 1, nullptr, nullptr, &p);
  g.keyValue = p.u.words[PF_Word_Value];
  int32_t t = 0;
  g.halfPointers = u->checkoutKeyframe(ref, 1, 0, &t, nullptr, &p);
  g.outOfRange = u->getKeyframeCount(ref, 9, &t);
  PF_ParamDef def{};
  def.type = PF_Param_Colour;
  g.wrongType = u->updateParamUI(ref, 1, &def);
  def.type = PF_Param_Slider;
  std::strcpy(def.name, "Renamed");
  g.renamed = u->updateParamUI(ref, 1, &def);
  g.identical = u->isIdenticalCheckout(ref, 1, 0, 600, 600, &t);
  g.paths = PFSuite<PF_PathQuerySuite>("PF Path Query Suite")->numPaths(ref, &t);
  // A closed square of straight sides (handles on the vertices).
  const PF_PathVertex v[4] = {{0, 0, 0, 0, 0, 0}, {10, 0, 10, 0, 10, 0}, {10, 10, 10, 10, 10, 10}, {0, 10, 0, 10, 0, 10}};
  const PF_Path square{1, 4, v};
  auto* d = PFSuite<PF_PathDataSuite>("PF Path Data Suite");
  d->numSegments(ref, &square, &g.segments);
  d->segmentLength(ref, &square, 3, &g.length);
  d->pointOnSegment(ref, &square, 1, 0.5, &g.midX, &g.midY);
  g.bad = d->segmentLength(ref, &square, 4, &g.midY);
  return 0;
}

TEST_F(FLTPlugins, TheEffectSuitesServeTheCallsSequence) {
  const int16_t cls = Register("T Suite Probe", 0, ProbeEntry);
  FLT_Parade p = Keep(NewParade({cls}));
  FLT_Sequence s = SeqOf(p, 0);
  Animate(s, 1, {{0, {10}}, {600, {90}}});
  rec.clear();
  ASSERT_EQ(Render(p, World(3, 4, 4), World(0, 4, 4), 4, 4), 0);
  const SuiteProbe& g = gProbe;
  EXPECT_EQ(std::make_tuple(g.count, g.found, g.keyIndex, g.keyTime, g.keyScale, g.keyValue, g.segments),
            std::make_tuple(2, 1, 1, 600, 600u, 90u, 4));
  const PF_Result bad = PF_Result_BadCallbackArg, no = kErrUnimplemented;
  EXPECT_EQ(std::make_tuple(g.halfPointers, g.outOfRange, g.wrongType, g.renamed, g.identical, g.paths, g.bad),
            std::make_tuple(bad, bad, bad, 0, no, no, bad));
  EXPECT_NEAR(g.length, 10.0, 1e-9);
  EXPECT_DOUBLE_EQ(g.midX, 10.0);
  EXPECT_DOUBLE_EQ(g.midY, 5.0);
  for (const char* text : {"CheckoutKeyframe requires both or neither key_time pointers", "param_index out of range",
                           "UpdateParamUI() passed ParamDef of wrong type", "IsIdenticalCheckout not yet implemented",
                           "reading the layer's mask paths is not implemented"})
    EXPECT_EQ(Reports(text), 1) << text << "\n" << (rec.reports.empty() ? "" : rec.last().text);
  char name[32] = {};
  ASSERT_EQ(FLT_SeqInqParamName(s, 1, name), 0);
  EXPECT_STREQ(name, "Renamed");
  // Outside a call the reference is refused.
  auto* u = PFSuite<PF_ParamUtilsSuite>("PF Param Utils Suite");
  int32_t n = 0;
  EXPECT_EQ(u->getKeyframeCount(reinterpret_cast<PF_ProgPtr>(&n), 1, &n), PF_Result_Damaged);
}

}  // namespace
}  // namespace tv::test
