// Footage as it composites: sound without a picture has no size, its layers
// composite nothing, and projects saved when it still had a one-pixel
// picture open without it; RLA files hold colour premultiplied by their
// matte and composite like the straight image they were made from.
#include <cstdlib>

#include "BEE_test_frames.h"
#include "ByteOrder.h"

namespace tv::bee::test {
namespace {

class FootagePixels : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    WriteToneWav(dir.P("tone.wav"), 1);
    Warm([&] {
      if (haveRla_) {
        BEE_Item comp = Build(), rla = nullptr;
        BEE_Layer l = nullptr;
        ASSERT_EQ(BEE_CmdImportFootage(nullptr, Spec("m.rla"), 0, &rla), 0);
        ASSERT_EQ(BEE_CmdNewLayer(comp, rla, &l), 0);
        Frames(comp, {0});
      }
      Build();
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 0, nullptr), 0);
      Frames(FindComp("C"), {0});
    });
  }
  // A composition with a solid and, above it, a layer of the sound file.
  BEE_Item Build() {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_Item comp = MakeComp("C", 32, 24);
    MakeSolid(comp, 0xFF808080, 20, 20);
    EXPECT_EQ(BEE_CmdImportFootage(nullptr, Spec("tone.wav"), 0, &tone_), 0) << (rec.reports.empty() ? "" : rec.last().text);
    BEE_Layer l = nullptr;
    EXPECT_EQ(BEE_CmdNewLayer(comp, tone_, &l), 0);
    return comp;
  }
  static std::vector<uint64_t> WithoutSound(BEE_Item comp) {
    EXPECT_EQ(BEE_CmdDeleteLayer(Layer(comp, 0)), 0);
    std::vector<uint64_t> out = Frames(comp, {0, 10});
    EXPECT_EQ(BEE_Undo(), 0);
    return out;
  }
  static void ExpectNoPicture(BEE_Item tone) {
    EXPECT_EQ(GOT(BEE_FootageDesc, BEE_GetFootageDesc, tone).hasVideo, 0);
    int32_t w = -1, h = -1;
    ASSERT_EQ(BEE_GetItemDimensions(tone, &w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(0, 0));
  }
  // The straight image: one colour, its matte ramping across and down;
  // written by oiiotool as a renderer writes it, colour premultiplied by
  // the matte, into "m.rla".
  static constexpr int kW = 16, kH = 8;
  static constexpr uint8_t kColour[3] = {200, 120, 40};
  static uint8_t Alpha(int x, int y) { return static_cast<uint8_t>(std::min(255, x * 17 + y * 3)); }
  bool MakeRla() {
    if (std::system("command -v oiiotool >/dev/null 2>&1") != 0) return false;
    {
      std::ofstream rgb(dir.P("rgb.ppm"), std::ios::binary), a(dir.P("a.pgm"), std::ios::binary);
      rgb << "P6\n" << kW << " " << kH << "\n255\n";
      a << "P5\n" << kW << " " << kH << "\n255\n";
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          rgb.write(reinterpret_cast<const char*>(kColour), 3);
          a.put(static_cast<char>(Alpha(x, y)));
        }
    }
    return std::system(("oiiotool " + dir.P("rgb.ppm") + " " + dir.P("a.pgm") +
                        " --chappend --chnames R,G,B,A --premult -d uint8 -o " + dir.P("m.rla") + " >/dev/null 2>&1")
                           .c_str()) == 0;
  }
  bool haveRla_ = false;
  // The largest difference of a colour channel from the straight image over
  // the background.
  static int WorstError(BEE_Item comp, uint32_t background) {
    const std::vector<uint32_t> px = Pixels(comp, 0);
    if (px.size() != size_t{kW} * kH) return 256;
    int worst = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int c = 0; c < 3; ++c) {
          const int shift = 16 - 8 * c;
          const int a = Alpha(x, y), b = static_cast<int>((background >> shift) & 0xFF);
          const int want = (kColour[c] * a + b * (255 - a) + 127) / 255;
          const int got = static_cast<int>((px[static_cast<size_t>(y * kW + x)] >> shift) & 0xFF);
          worst = std::max(worst, std::abs(got - want));
        }
    return worst;
  }
  BEE_Item tone_ = nullptr;
};

TEST_F(FootagePixels, AProjectThatGaveItAPictureOpensWithoutIt) {
  BEE_Item comp = Build();
  const std::vector<uint64_t> want = WithoutSound(comp);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  // As saved before: a one-pixel picture, and the item's video flag.
  std::vector<uint8_t> b = ReadBytes(dir.P("p.tvp"));
  const std::string bytes(b.begin(), b.end());
  const size_t fdsc = bytes.find("fdsc"), idta = bytes.rfind("idta", fdsc);
  ASSERT_NE(fdsc, std::string::npos);
  be::Store<uint16_t>(&b[fdsc + 8 + 64], 1);
  be::Store<uint16_t>(&b[fdsc + 8 + 66], 1);
  be::Store<uint32_t>(&b[fdsc + 8 + 100], 1);
  be::Store<uint32_t>(&b[idta + 8 + 20], be::Load<uint32_t>(&b[idta + 8 + 20]) | BEE_ItemVideo);
  WriteBytes(dir.P("old.tvp"), b);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("old.tvp"), 0, nullptr), 0);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
  EXPECT_EQ(Dirty(), 0);
  BEE_Item tone = nullptr;
  ASSERT_EQ(BEE_FindItem(nullptr, "tone.wav", BEE_KindFootage, &tone), 0);
  ExpectNoPicture(tone);
  EXPECT_EQ(Frames(FindComp("C"), {0, 10}), want);
}

class RlaMattes : public FootagePixels {
 protected:
  void SetUp() override {
    haveRla_ = MakeRla();
    FootagePixels::SetUp();
  }
};

TEST_F(RlaMattes, CompositeLikeTheirStraightImage) {
  if (!haveRla_) GTEST_SKIP() << "oiiotool (Debian openimageio-tools) is not installed";
  EXPECT_EQ(BEE_NewProject(), 0);
  BEE_Item comp = MakeComp("C", kW, kH);
  const uint32_t background = 0xFF2060A0;
  MakeSolid(comp, background, kW, kH);
  BEE_Item rla = nullptr;
  BEE_Layer l = nullptr;
  ASSERT_EQ(BEE_CmdImportFootage(nullptr, Spec("m.rla"), 0, &rla), 0);
  ASSERT_EQ(BEE_CmdNewLayer(comp, rla, &l), 0);
  // Taken as straight, the half-covered pixels came out up to a fifth darker.
  EXPECT_LE(WorstError(comp, background), 2);
  // The footage is interpreted as premultiplied against black.
  PIN_SeqSpecH seq = GOT(PIN_SeqSpecH, BEE_GetFootageSeqSpec, rla);
  PIN_Interpretation interp = GOT(PIN_Interpretation, PIN_GetInterpretation, seq);
  EXPECT_EQ(interp.alpha.type, PIN_Alpha_Premul);
  EXPECT_EQ(interp.alpha.red | interp.alpha.green | interp.alpha.blue, 0);
}

}  // namespace
}  // namespace tv::bee::test
