// Text on layers: the text and font set from text as undoable steps, a
// title whose size and colour are keyed, and the same frames after the
// project is saved and opened again (effects read from a file are told the
// time of each frame: keyed parameters still move).
#include "BEE_test_frames.h"
#include "FILE.h"

namespace {

using tv::test::UFixture;
using namespace tv;
using namespace tv::bee::test;

const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class Text : public UFixture {
 protected:
  Text() : UFixture({BM_PackageNumber, BEE_PackageNumber}) {}

  // A composition of 200 x 100 at 30 fps with one text layer.
  BEE_Layer TitleLayer() {
    comp_ = MakeComp("Title", 200, 100);
    BEE_SolidSettings solid = Solid("Title", 0, 200, 100);
    BEE_Layer l = GOT(BEE_Layer, BEE_CmdNewSolidLayer, comp_, &solid);
    int16_t cls = 0;
    GOT(Boolean32, FLTp_FindClass, FLT_MatchText, &cls);
    GOT(int32_t, BEE_CmdApplyEffect, l, cls);
    EXPECT_EQ(BEE_CmdSetEffectParamText(l, 0, FLT_TextParam_Font, kSans, -1), 0);
    return l;
  }
  static int32_t Stream(int32_t param) { return BEE_StreamFirstEffect + param - 1; }
  std::string Printed(BEE_Layer l, int32_t param) {
    FLT_Sequence seq = GOT(FLT_Sequence, FLT_GetParadeSeq, Parade(l), 0);
    char text[64] = {};
    EXPECT_EQ(FLT_ArbitraryPrint(seq, param, nullptr, text, sizeof text), 0);
    return text;
  }
  // Keys at 0 and 1 second (comp time), values in user units.
  void Keys(BEE_Layer l, int32_t param, std::vector<double> a, std::vector<double> b) {
    const Time t0{0, 30}, t1{30, 30};
    ASSERT_EQ(BEE_CmdSetStreamVary(l, Stream(param), &t0, 1), 0);
    for (const auto& [t, v] : {std::pair{t0, a}, {t1, b}}) {
      BEE_StreamValue value{};
      value.count = static_cast<int32_t>(v.size());
      std::copy(v.begin(), v.end(), value.values);
      ASSERT_EQ(BEE_CmdSetStreamFPV(l, Stream(param), &t, nullptr, &value), 0);
    }
  }
  // The frame's pixels (ARGB bytes).
  std::vector<uint8_t> Frame(int32_t frame) {
    ErrorCode err = 0;
    std::vector<uint8_t> px = FrameBytes(comp_, frame, &err);
    EXPECT_EQ(err, 0);
    return px;
  }
  // {ink rows, colour of the first fully covered pixel} over the black background.
  static std::pair<int32_t, std::vector<uint8_t>> Ink(const std::vector<uint8_t>& px) {
    int32_t top = -1, bottom = -1;
    std::vector<uint8_t> colour;
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 200; ++x) {
        const uint8_t* p = &px[4 * (y * 200 + x)];
        if (p[1] + p[2] + p[3] == 0) continue;
        if (top < 0) top = y;
        bottom = y;
        if (colour.empty() && std::max({p[1], p[2], p[3]}) == 255) colour.assign(p + 1, p + 4);
      }
    return {top < 0 ? 0 : bottom - top + 1, colour};
  }

  BEE_Item comp_ = nullptr;
};

// A length given takes that many bytes, not up to a terminator.
TEST_F(Text, TextIsTakenByLengthAndTheEffectIndexIsChecked) {
  BEE_Layer l = TitleLayer();
  ASSERT_EQ(BEE_CmdSetEffectParamText(l, 0, FLT_TextParam_Text, "abcdef", 3), 0);
  EXPECT_EQ(Printed(l, FLT_TextParam_Text), "abc");
  EXPECT_EQ(BEE_CmdSetEffectParamText(l, 1, FLT_TextParam_Text, "x", -1), kErrRange);
  EXPECT_EQ(Printed(l, FLT_TextParam_Text), "abc");
}

TEST_F(Text, KeyedTitleRendersTheSameAfterSaveAndOpen) {
  BEE_Layer l = TitleLayer();
  ASSERT_EQ(BEE_CmdSetEffectParamText(l, 0, FLT_TextParam_Text, "Title", -1), 0);
  Keys(l, FLT_TextParam_Size, {20}, {40});
  Keys(l, FLT_TextParam_FillColour, {255, 255, 0, 0}, {255, 0, 0, 255});
  std::vector<std::vector<uint8_t>> frames;
  for (int32_t f : {0, 15, 30}) frames.push_back(Frame(f));
  const auto [small, red] = Ink(frames[0]);
  const auto [large, blue] = Ink(frames[2]);
  EXPECT_EQ(red, (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(blue, (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_NEAR(large, 2 * small, 2);
  EXPECT_NE(frames[1], frames[0]);

  tv::test::TempDir dir;
  tv::test::Specs specs;
  FILE_SpecH spec = specs.New(dir.P("title.tvp"));
  ASSERT_EQ(BEE_CmdSaveProject(spec, 0, 0), 0);
  ASSERT_EQ(BEE_CmdOpenProject(spec, 1, nullptr), 0);
  ASSERT_EQ(BEE_FindItem(nullptr, "Title", BEE_KindComp, &comp_), 0);
  ASSERT_NE(comp_, nullptr);
  BEE_Layer opened = GOT(BEE_Layer, BEE_GetIndLayer, comp_, 0);
  EXPECT_EQ(Printed(opened, FLT_TextParam_Text), "Title");
  EXPECT_EQ(Printed(opened, FLT_TextParam_Font), kSans);
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(Frame(15 * i) == frames[static_cast<size_t>(i)]) << "frame " << 15 * i;
}

}  // namespace
