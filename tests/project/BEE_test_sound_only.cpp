// Footage with sound and no picture: it has no size, its layers composite
// nothing, and projects saved when it still had a one-pixel picture open
// without it.
#include "BEE_test_frames.h"
#include "ByteOrder.h"

namespace tv::bee::test {
namespace {

class SoundOnly : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    WriteToneWav(dir.P("tone.wav"), 1);
    Warm([&] {
      Build();
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 0, nullptr), 0);
      Frames(FindComp("C"), {0});
    });
  }
  // A composition with a solid and, above it, a layer of the sound file.
  BEE_Item Build() {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_CompSettings s = Settings("C", 32, 24);
    BEE_Item comp = nullptr;
    EXPECT_EQ(BEE_CmdNewComp(nullptr, &s, &comp), 0);
    BEE_SolidSettings so = Solid("S", 0xFF808080, 20, 20);
    BEE_Layer solid = nullptr;
    EXPECT_EQ(BEE_CmdNewSolidLayer(comp, &so, &solid), 0);
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
    BEE_FootageDesc d{};
    ASSERT_EQ(BEE_GetFootageDesc(tone, &d), 0);
    EXPECT_EQ(d.hasVideo, 0);
    int32_t w = -1, h = -1;
    ASSERT_EQ(BEE_GetItemDimensions(tone, &w, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(0, 0));
  }
  BEE_Item tone_ = nullptr;
};

TEST_F(SoundOnly, ASoundLayerCompositesNothing) {
  BEE_Item comp = Build();
  ExpectNoPicture(tone_);
  EXPECT_EQ(Frames(comp, {0, 10}), WithoutSound(comp));
}

TEST_F(SoundOnly, AProjectThatGaveItAPictureOpensWithoutIt) {
  BEE_Item comp = Build();
  const std::vector<uint64_t> want = WithoutSound(comp);
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  // As saved before: a one-pixel picture, and the item's video flag.
  std::vector<uint8_t> b;
  {
    std::ifstream in(dir.P("p.tvp"), std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string bytes(b.begin(), b.end());
  const size_t fdsc = bytes.find("fdsc"), idta = bytes.rfind("idta", fdsc);
  ASSERT_NE(fdsc, std::string::npos);
  be::Store<uint16_t>(&b[fdsc + 8 + 64], 1);
  be::Store<uint16_t>(&b[fdsc + 8 + 66], 1);
  be::Store<uint32_t>(&b[fdsc + 8 + 100], 1);
  be::Store<uint32_t>(&b[idta + 8 + 20], be::Load<uint32_t>(&b[idta + 8 + 20]) | BEE_ItemVideo);
  {
    std::ofstream out(dir.P("old.tvp"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("old.tvp"), 0, nullptr), 0);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
  EXPECT_EQ(Dirty(), 0);
  BEE_Item tone = nullptr;
  ASSERT_EQ(BEE_FindItem(nullptr, "tone.wav", BEE_KindFootage, &tone), 0);
  ExpectNoPicture(tone);
  EXPECT_EQ(Frames(FindComp("C"), {0, 10}), want);
}

}  // namespace
}  // namespace tv::bee::test
