// Fast Blur grows the layer's frame by what it spreads unless its "Repeat
// Edge Pixels" option is on: projects saved before the option existed open
// with it off and render as they did. Wherever an effect puts its input in
// a grown frame, the layer stays where it was.
#include <numeric>

#include "BEE_test_frames.h"
#include "ByteOrder.h"
#include "PF.h"

namespace tv::bee::test {
namespace {

constexpr int32_t kRadius = BEE_StreamFirstEffect, kRepeat = BEE_StreamFirstEffect + 1;

// Grows its frame by three columns and a row, all of them on the left and
// at the top, and puts its input in the corner that leaves.
PF_Result Pad(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef* params[], PFWorld* output,
              void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  if (cmd == PF_Cmd_FrameSetup) {
    out->width = in->width + 3;
    out->height = in->height + 1;
    out->origin = Point{1, 3};
  }
  if (cmd == PF_Cmd_Render) {
    const PFWorld* src = &params[0]->u.world;
    const Rect to{1, 3, static_cast<int16_t>(1 + src->height), static_cast<int16_t>(3 + src->width)};
    if (PF_Result err = PF_Fill(in->effectRef, nullptr, nullptr, output)) return err;
    return PF_CopyBits_Draft(in->effectRef, src, output, nullptr, &to);
  }
  return 0;
}

class BlurGrowth : public FramesFixture {
 protected:
  void SetUp() override {
    FramesFixture::SetUp();
    Warm([&] {
      const FLT_StaticClass pad{"TEST Pad", "Pad", "Test", 0, 0x10000, 0xC0000, &Pad};
      ASSERT_EQ(FLTp_RegisterStaticClass(&pad, &pad_), 0);
      ASSERT_EQ(BEE_CmdApplyEffect(Layer(Build(80, 40), 0), pad_, nullptr), 0);
      Pixels(FindComp("C"), 0);
      Build(80, 40);
      ASSERT_EQ(BEE_CmdSaveProject(Spec("warm.tvp"), 0, 0), 0);
      ASSERT_EQ(BEE_CmdOpenProject(Spec("warm.tvp"), 0, nullptr), 0);
      Pixels(FindComp("C"), 0);
    });
  }
  // A white solid of w x h in the middle of a 160 x 100 composition, blurred by radius 6.
  BEE_Item Build(uint16_t w, uint16_t h) {
    EXPECT_EQ(BEE_NewProject(), 0);
    BEE_Item comp = MakeComp("C", 160, 100);
    layer_ = MakeSolid(comp, 0xFFFFFFFF, w, h);
    EXPECT_EQ(BEE_CmdApplyEffect(layer_, Class(FLT_MatchFastBlur), nullptr), 0);
    SetAt(layer_, kRadius, 0, {6}, false);
    return comp;
  }
  static double Mass(const std::vector<uint32_t>& px) {
    return std::accumulate(px.begin(), px.end(), 0.0, [](double m, uint32_t p) { return m + (p >> 24); });
  }
  static uint32_t Alpha(const std::vector<uint32_t>& px, int x, int y) { return px[static_cast<size_t>(y * 160 + x)] >> 24; }
  BEE_Layer layer_ = nullptr;
  int16_t pad_ = 0;
};

TEST_F(BlurGrowth, RepeatEdgePixelsKeepsTheLayerBounds) {
  BEE_Item comp = Build(80, 40);
  SetAt(layer_, kRepeat, 0, {1}, false);
  const std::vector<uint32_t> px = Pixels(comp, 0);
  ASSERT_EQ(px.size(), 160u * 100u);
  EXPECT_EQ(Mass(px), 80.0 * 40.0 * 255.0);
  EXPECT_EQ(Alpha(px, 39, 50), 0u);
  EXPECT_EQ(Alpha(px, 40, 50), 255u);
  EXPECT_EQ(Alpha(px, 119, 69), 255u);
}

// An effect that puts its input in a corner of a grown frame leaves the
// layer where it was.
TEST_F(BlurGrowth, AGrownFrameStaysWhereTheEffectPutsTheInput) {
  BEE_Item comp = Build(21, 13);
  ASSERT_EQ(BEE_CmdSetEffectEnabled(layer_, 0, 0), 0);
  SetAt(layer_, BEE_StreamPosition, 0, {40.5, 30.25}, false);
  SetAt(layer_, BEE_StreamRotation, 0, {20}, false);
  const std::vector<uint32_t> plain = Pixels(comp, 0);
  ASSERT_EQ(BEE_CmdApplyEffect(layer_, pad_, nullptr), 0);
  EXPECT_EQ(Pixels(comp, 0), plain);
}

// A chunk of a project file and what it holds.
struct Chunk {
  std::string id, form;
  std::vector<uint8_t> data;
  std::vector<Chunk> kids;
};
std::vector<Chunk> Parse(const std::vector<uint8_t>& b, size_t from, size_t to) {
  std::vector<Chunk> out;
  while (from + 8 <= to) {
    Chunk c;
    c.id.assign(reinterpret_cast<const char*>(&b[from]), 4);
    const uint32_t size = be::Load<uint32_t>(&b[from + 4]);
    if (c.id == "LIST" || c.id == "RIFX") {
      c.form.assign(reinterpret_cast<const char*>(&b[from + 8]), 4);
      c.kids = Parse(b, from + 12, from + 8 + size);
    } else {
      c.data.assign(b.begin() + static_cast<ptrdiff_t>(from + 8), b.begin() + static_cast<ptrdiff_t>(from + 8 + size));
    }
    out.push_back(std::move(c));
    from += 8 + size + (size & 1);
  }
  return out;
}
void Put(const Chunk& c, std::vector<uint8_t>& out) {
  std::vector<uint8_t> body;
  if (!c.form.empty()) {
    body.assign(c.form.begin(), c.form.end());
    for (const Chunk& k : c.kids) Put(k, body);
  } else {
    body = c.data;
  }
  out.insert(out.end(), c.id.begin(), c.id.end());
  uint8_t size[4];
  be::Store<uint32_t>(size, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), size, size + 4);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}
// Every Fast Blur written as the engine wrote it before it had its last
// parameter: a count one lower, one parameter word and one stream fewer.
void DropSecondParameter(Chunk& c) {
  if (c.form == "SeqS" && !c.kids.empty() && c.kids[0].id == "sspc" &&
      std::string(reinterpret_cast<const char*>(c.kids[0].data.data())) == FLT_MatchFastBlur) {
    be::Store<uint16_t>(&c.kids[0].data[82], be::Load<uint16_t>(&c.kids[0].data[82]) - 1);
    for (Chunk& k : c.kids) {
      if (k.id == "parL") k.data.resize(k.data.size() - 16);
      if (k.form == "Tsts") k.kids.pop_back();
    }
  }
  for (Chunk& k : c.kids) DropSecondParameter(k);
}

TEST_F(BlurGrowth, ProjectsSavedWithoutTheOptionOpenWithItOff) {
  Build(80, 40);
  SetAt(layer_, kRadius, 0, {3});
  SetAt(layer_, kRadius, 9, {9}, false);
  const std::vector<uint64_t> keyed = Frames(FindComp("C"), {0, 5, 9});
  ASSERT_EQ(BEE_CmdSaveProject(Spec("p.tvp"), 0, 0), 0);
  const std::vector<uint8_t> b = ReadBytes(dir.P("p.tvp"));
  std::vector<Chunk> tree = Parse(b, 0, b.size());
  for (Chunk& c : tree) DropSecondParameter(c);
  std::vector<uint8_t> old;
  for (const Chunk& c : tree) Put(c, old);
  ASSERT_LT(old.size(), b.size());
  WriteBytes(dir.P("old.tvp"), old);
  rec.clear();
  ASSERT_EQ(BEE_CmdOpenProject(Spec("old.tvp"), 0, nullptr), 0);
  EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
  BEE_Item comp = FindComp("C");
  EXPECT_EQ(Frames(comp, {0, 5, 9}), keyed);
  EXPECT_EQ(GOT(BEE_StreamValue, BEE_GetStreamFPV, Layer(comp, 0), kRepeat, nullptr, nullptr).values[0], 0.0);
}

}  // namespace
}  // namespace tv::bee::test
