// Effects on layers: every effect command and its undo and redo, parameter
// keys through stream indices, the effect limit, duplication.
#include <gmock/gmock.h>

#include "BEE_test_support.h"

namespace tv::bee::test {
namespace {

using ::testing::HasSubstr;

class BeeEffects : public BeeFixture {
 protected:
  // The effect classes keep their parameter templates from first use to the
  // effect package's death: they are made before the counts are taken.
  void SetUp() override {
    BeeFixture::SetUp();
    WarmClasses({Class(FLT_MatchInvert), Class(FLT_MatchLevels), Class(FLT_MatchCopy)});
  }
  // The effects of a layer as "match:on:name" entries.
  std::vector<std::string> Effects(BEE_Layer layer) {
    Handle parade = nullptr;
    int32_t n = GOT(int32_t, BEE_InqLayerEffectSeq, layer, &parade);
    std::vector<std::string> out;
    for (int32_t i = 0; i < n; ++i) {
      FLT_Sequence s = GOT(FLT_Sequence, FLT_GetParadeSeq, parade, i);
      int16_t cls = GOT(int16_t, FLT_SeqInqClass, s);
      char match[48] = {}, name[48] = {};
      FLT_InqPFInfo(cls, nullptr, match, nullptr);
      FLT_SeqInqName(s, name);
      uint32_t flags = GOT(uint32_t, FLT_InqParadeSeqFlags, parade, i);
      out.push_back(std::string(match) + ":" + std::to_string(flags & 1) + ":" + name);
    }
    return out;
  }
};

using Strings = std::vector<std::string>;

TEST_F(BeeEffects, EveryCommandUndoesAndRedoes) {
  BEE_Layer layer = NewSolidLayer(NewComp());
  int32_t index = -1;
  ASSERT_EQ(BEE_CmdApplyEffect(layer, Class(FLT_MatchInvert), &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(GOT(int32_t, BEE_CmdApplyEffect, layer, Class(FLT_MatchLevels)), 1);
  const Strings applied{"TVLO Invert:1:", "TVLO Levels:1:"};
  EXPECT_EQ(Effects(layer), applied);
  EXPECT_EQ(UndoName(), "Apply Effect");

  struct Step {
    const char* undoName;
    std::function<ErrorCode()> run;
    Strings after;
  } steps[] = {
      {"Effect Toggle", [&] { return BEE_CmdSetEffectEnabled(layer, 0, 0); }, {"TVLO Invert:0:", "TVLO Levels:1:"}},
      {"Effect Reordering", [&] { return BEE_CmdReorderEffects(layer, 0, 1); },
       {"TVLO Levels:1:", "TVLO Invert:1:"}},
      {"Effect Name Change", [&] { return BEE_CmdRenameEffect(layer, 1, "Brighter"); },
       {"TVLO Invert:1:", "TVLO Levels:1:Brighter"}},
      {"Delete Effect", [&] { return BEE_CmdDeleteEffect(layer, 0); }, {"TVLO Levels:1:"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.undoName);
    const Strings before = Effects(layer);
    ASSERT_EQ(s.run(), 0);
    EXPECT_EQ(Effects(layer), s.after);
    EXPECT_EQ(UndoName(), s.undoName);
    ASSERT_EQ(BEE_Undo(), 0);
    EXPECT_EQ(Effects(layer), before);
    ASSERT_EQ(BEE_Redo(), 0);
    EXPECT_EQ(Effects(layer), s.after);
    ASSERT_EQ(BEE_Undo(), 0);
  }
  // Undoing the applications empties the chain; redo brings them back.
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  EXPECT_EQ(Effects(layer), Strings{});
  ASSERT_EQ(BEE_Redo(), 0);
  ASSERT_EQ(BEE_Redo(), 0);
  EXPECT_EQ(Effects(layer), applied);
}

TEST_F(BeeEffects, ThirtySecondEffectIsRefused) {
  BEE_Layer layer = NewSolidLayer(NewComp());
  for (int i = 0; i < BEE_MaxEffects; ++i) ASSERT_EQ(BEE_CmdApplyEffect(layer, Class(FLT_MatchCopy), nullptr), 0);
  const auto stacks = Stacks();
  rec.clear();
  int32_t index = 0;
  EXPECT_EQ(BEE_CmdApplyEffect(layer, Class(FLT_MatchCopy), &index), kErrBadParam);
  EXPECT_EQ(index, static_cast<int32_t>(0x80000000u));
  ASSERT_FALSE(rec.reports.empty());
  EXPECT_EQ(rec.last().location, 0x1A0000A8u);
  EXPECT_THAT(rec.last().text, HasSubstr("can't apply more than 31 effects to one layer!"));
  EXPECT_EQ(Stacks(), stacks);
}

}  // namespace
}  // namespace tv::bee::test
