// Effect classes registered from plug-in files: the required properties and
// their version rules, duplicates, the foreign filter kinds, and code loaded
// on a class's first use.
#include <cstdlib>

#include "FLT_test_support.h"
#include "PLUG_test_support.h"

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
  void Info(const char* match, std::string* name, uint32_t* flags) {
    char n[32] = {};
    ASSERT_EQ(FLT_InqPFInfo(Class(match), n, nullptr, flags), 0);
    *name = n;
  }
  int Reports(const std::string& text) {
    int n = 0;
    for (const Report& r : rec.reports) n += r.text.find(text) != std::string::npos;
    return n;
  }
};

TEST_F(FLTPlugins, SamplesAreRegisteredAndLoadedOnFirstUse) {
  unsetenv("TV_SAMPLE_EFFECT_LOADED");
  Scan(TAVELO_TEST_PLUGINS);
  std::string name;
  uint32_t flags = 0;
  Info("TVLO Sample Effect", &name, &flags);
  EXPECT_EQ(name, "Sample Effect");
  EXPECT_EQ(flags, 0u);
  // sample_undefined carries the same match name: the first file (sorted) stays.
  EXPECT_EQ(Reports("there are multiple copies of plug-in effect \"TVLO Sample Effect\" on your drive"), 1);
  EXPECT_EQ(getenv("TV_SAMPLE_EFFECT_LOADED"), nullptr);
  FLT_Sequence seq = NewSeq(Class("TVLO Sample Effect"));
  ASSERT_NE(seq, nullptr);
  EXPECT_STREQ(getenv("TV_SAMPLE_EFFECT_LOADED"), "1");
  int32_t params = 0;
  EXPECT_EQ(FLT_InqParamInfo(Class("TVLO Sample Effect"), &params), 0);
  EXPECT_EQ(params, 1);
  FLT_DisposeSequence(seq);
  // The class without its entry symbol fails when used, with the loader's code.
  FLT_Sequence none = nullptr;
  uint32_t out = 0;
  Boolean32 found = 0;
  EXPECT_EQ(FLT_NewSequence(Class("TVLO Sample Without Symbol"), nullptr, 0, nullptr, &out, &none, &found),
            PLUG_ErrNoSymbol);
}

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
  Scan(dir.path());

  EXPECT_FALSE(Has("T NoVersion"));
  EXPECT_EQ(Reports("effect \"a_noversion.tvx\" is missing a required PiPL property"), 1);
  EXPECT_FALSE(Has("T Mismatch"));
  EXPECT_EQ(Reports("effect \"b_mismatch.tvx\" has PiPL version mismatch"), 1);
  EXPECT_FALSE(Has("T NoFlags"));
  EXPECT_EQ(Reports("effect \"c_noflags.tvx\" is missing a required PiPL property"), 1);
  EXPECT_FALSE(Has("T NoFici"));
  EXPECT_EQ(Reports("effect \"h_image_nofici.tvx\" is missing a required PiPL property"), 1);

  std::string name;
  uint32_t flags = 0;
  Info("T Old", &name, &flags);
  EXPECT_EQ(name, "(version) T Old");
  EXPECT_EQ(flags, 0x1u);
  Info("T Obsolete", &name, &flags);
  EXPECT_EQ(flags, 0x4u);
  Info("Vid", &name, &flags);
  EXPECT_EQ(name, "VQF Vid");
  uint32_t out = 0;
  FLT_InqPFOutFlags(Class("Vid"), &out);
  EXPECT_EQ(out, 0x80000020u);
  Info("KVRN RZTwirl", &name, &flags);
  EXPECT_EQ(name, "RZ+ Img");

  // The foreign kinds have nothing to load here.
  rec.clear();
  FLT_Sequence seq = nullptr;
  Boolean32 found = 0;
  EXPECT_EQ(FLT_NewSequence(Class("Vid"), nullptr, 0, nullptr, &out, &seq, &found), kErrUnimplemented);
  EXPECT_EQ(Reports("plug-in effect \"VQF Vid\" is not available"), 1);
  EXPECT_EQ(FLT_NewSequence(Class("T Old"), nullptr, 0, nullptr, &out, &seq, &found), FLT_ErrInvalidFilter);
}

}  // namespace
}  // namespace tv::test
