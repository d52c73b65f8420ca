// Classes, Sequences, parameters and validation, Parades with their out
// flags and the will-nop rule.
#include <cmath>
#include <cstdlib>
#include <functional>

#include "FLT_test_support.h"
#include "Memory.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

char* gLabel = nullptr;  // the checkbox label, freed by the effect after params setup

PF_Result ParamsEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd != PF_Cmd_ParamsSetup) return 0;
  PF_ParamDef d[8] = {};
  d[0].type = PF_Param_Slider;
  d[0].u.words[PF_Word_Min] = 0;
  d[0].u.words[PF_Word_Max] = 3;
  d[1].type = PF_Param_FixedSlider;
  d[1].u.words[PF_Word_Min] = static_cast<uint32_t>(-65536);
  d[1].u.words[PF_Word_Max] = 65536;
  d[2].type = PF_Param_Checkbox;
  gLabel = strdup("Label text");
  std::memcpy(d[2].u.bytes + PF_Byte_Text, &gLabel, sizeof gLabel);
  d[3].type = PF_Param_Colour;
  d[4].type = PF_Param_Popup;
  const int16_t count = 3, def = 2;
  const char* choices = "a|b|c";
  std::memcpy(d[4].u.bytes + PF_Byte_ChoiceCount, &count, 2);
  std::memcpy(d[4].u.bytes + PF_Byte_ChoiceDefault, &def, 2);
  std::memcpy(d[4].u.bytes + PF_Byte_Text, &choices, sizeof choices);
  d[5].type = PF_Param_FloatSlider;
  const float lo = -0.5f, hi = 0.5f;
  std::memcpy(&d[5].u.words[PF_Word_FloatMin], &lo, 4);
  std::memcpy(&d[5].u.words[PF_Word_FloatMax], &hi, 4);
  d[6].type = PF_Param_Point;
  d[7].type = PF_Param_Slider;
  d[7].flags = PF_ParamFlag_CANNOT_TIME_VARY;
  for (PF_ParamDef& p : d)
    if (PF_Result err = in->addParam(in->effectRef, -1, &p)) return err;
  std::free(gLabel);
  gLabel = nullptr;
  out->paramCount = 9;
  return 0;
}

PF_Result MiscountEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd != PF_Cmd_ParamsSetup) return 0;
  PF_ParamDef d{};
  d.type = PF_Param_Slider;
  in->addParam(in->effectRef, -1, &d);
  in->addParam(in->effectRef, -1, &d);
  out->paramCount = 4;  // three would be right
  return 0;
}

int gGlobalCalls = 0;
PF_Result FailingGlobal(int32_t cmd, PF_InputRecord*, PF_OutputRecord*, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_GlobalSetup) {
    ++gGlobalCalls;
    return 7;
  }
  return 0;
}

PF_Result StdControlEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd != PF_Cmd_ParamsSetup) return 0;
  PF_ParamDef d{};
  d.type = PF_Param_Slider;
  d.uiFlags = PF_PUI_STD_CONTROL_ONLY;
  d.flags = PF_ParamFlag_CANNOT_TIME_VARY;  // SUPERVISE missing
  out->paramCount = 2;
  return in->addParam(in->effectRef, -1, &d);
}

PF_Result MessageEntry(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  if (cmd == PF_Cmd_SequenceSetup) std::strcpy(out->message, "hello from the effect   ");
  return 0;
}

int gSetdowns = 0;
PF_Result CountingEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  if (cmd == PF_Cmd_GlobalSetup) out->globalData = NewHandle(8);
  if (cmd == PF_Cmd_GlobalSetdown) {
    ++gSetdowns;
    DisposeHandle(in->globalData);
  }
  return 0;
}

class FLTTest : public FLTFixture {};

TEST_F(FLTTest, GlobalSetdownOnceAtDeath) {
  const int16_t cls = Register("T Counting", 0, CountingEntry);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(FLT_DisposeSequence(NewSeq(cls)), 0);
  gSetdowns = 0;
  rec.clear();
  ASSERT_EQ(FLT_Death(), 0);
  EXPECT_EQ(gSetdowns, 1);
  EXPECT_TRUE(rec.reports.empty());
  ASSERT_EQ(FLT_Birth(0, 0, nullptr), 0);
}

TEST_F(FLTTest, BuiltinsAreRegistered) {
  int32_t n = 0;
  ASSERT_EQ(FLT_InqNumPF(&n), 0);
  EXPECT_GE(n, 5);
  char name[32], match[48];
  uint32_t flags = 1;
  ASSERT_EQ(FLT_InqPFInfo(Class(FLT_MatchLevels), name, match, &flags), 0);
  EXPECT_STREQ(name, "Levels");
  EXPECT_STREQ(match, FLT_MatchLevels);
  FLT_StaticClass dup{FLT_MatchLevels, "x", "", 0, 0, 0xC0000, NopEntry};
  int16_t index = 0;
  EXPECT_EQ(FLTp_RegisterStaticClass(&dup, &index), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("there are multiple copies of plug-in effect \"TVLO Levels\" on your drive"));
  EXPECT_EQ(rec.last().severity, kSevWarning);
  EXPECT_EQ(FLT_InstallProcs(20, nullptr), 3);
  EXPECT_EQ(FLT_InstallProcs(-1, nullptr), 3);
  EXPECT_EQ(FLT_InstallProcs(19, nullptr), 0);
}

TEST_F(FLTTest, ValidationTable) {
  FLT_Sequence s = NewSeq(Register("T Params", 0, ParamsEntry));
  ASSERT_NE(s, nullptr);
  const double nan = std::nan("");
  struct Row {
    int32_t index;
    std::vector<double> in, out;
    bool changed;
  } rows[] = {
      {1, {3.6}, {3}, true},  {1, {2.5}, {3}, true},   {1, {1}, {1}, false},       {1, {-2}, {0}, true},
      {1, {nan}, {0}, true},  {2, {1.5}, {1}, true},   {2, {0.25}, {0.25}, false}, {2, {nan}, {-1}, true},
      {3, {0.4}, {0}, true},  {3, {7}, {1}, true},     {5, {0}, {1}, true},        {5, {4}, {3}, true},
      {5, {2.4}, {2}, true},  {6, {0.7}, {0.5}, true}, {6, {nan}, {-0.5}, true},   {6, {0.1}, {0.1}, false},
      {4, {-1, 300, 12.7, 5}, {0, 255, 12.7, 5}, true}, {7, {1.5, 2.5}, {1.5, 2.5}, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.index);
    std::vector<double> v = r.in;
    Boolean32 changed = 0;
    ASSERT_EQ(FLT_SeqValidateStreamValue(s, r.index, v.data(), &changed), 0);
    EXPECT_EQ(v, r.out);
    EXPECT_EQ(changed != 0, r.changed);
  }
  uint32_t flags = 0;
  double lo = 0, hi = 0;
  ASSERT_EQ(FLT_SeqGetStreamMinMax(s, 5, &flags, &lo, &hi), 0);
  EXPECT_EQ(std::make_tuple(flags, lo, hi), std::make_tuple(7u, 1.0, 3.0));
  // The label was copied before the effect freed its string.
  uint32_t words[PF_ParamUnionWords];
  ASSERT_EQ(FLT_SeqInqParamUnion(s, 3, words), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(words) + PF_Byte_Text, "Label text");
  // Defaults come into the Streams.
  double def[4] = {};
  int32_t count = 0;
  ASSERT_EQ(FLT_SeqInqParamDefault(s, 5, def, &count), 0);
  EXPECT_EQ(std::make_pair(count, def[0]), std::make_pair(1, 2.0));
  EXPECT_EQ(FLT_DisposeSequence(s), 0);
}

TEST_F(FLTTest, StreamsAndLocking) {
  FLT_Sequence s = NewSeq(Register("T Params", 0, ParamsEntry));
  Handle stream = reinterpret_cast<Handle>(1);
  rec.clear();
  EXPECT_EQ(FLT_SeqInqParamStream(s, 0, &stream), 3);  // the input layer
  EXPECT_EQ(stream, nullptr);
  EXPECT_THAT(rec.last().text, HasSubstr("cannot inquire or set stream of property that cannot timevary"));
  EXPECT_EQ(FLT_SeqInqParamStream(s, 8, &stream), 3);  // declared constant
  EXPECT_EQ(FLT_SeqInqParamStream(s, 9, &stream), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("parameter list index out of range"));
  EXPECT_EQ(rec.last().location, 0x19000000u | 0x18u);

  PF_ParamDef** list = nullptr;
  ASSERT_EQ(FLT_SeqLockParams(s, 1, &list), 0);
  PF_ParamDef** again = nullptr;
  ASSERT_EQ(FLT_SeqLockParams(s, 0, &again), 0);
  EXPECT_EQ(list, again);
  EXPECT_EQ(std::make_tuple(list[0]->type, list[5]->type, list[9]),
            std::make_tuple(uint32_t{PF_Param_Layer}, uint32_t{PF_Param_Popup}, nullptr));
  EXPECT_EQ(FLT_SeqUnlockParams(s), 0);
  EXPECT_EQ(FLT_SeqUnlockParams(s), 0);
  EXPECT_EQ(FLT_SeqUnlockParams(s), 3);

  // A damaged record is refused.
  uint16_t saved = 0;
  std::memcpy(&saved, *s, 2);
  std::memset(*s, 0, 2);
  rec.clear();
  EXPECT_EQ(FLT_SeqLockParams(s, 0, &list), 2);
  EXPECT_EQ(rec.last().text.find("internal structure inconsistency (seq)") != std::string::npos, true)
      << rec.last().text;
  std::memcpy(*s, &saved, 2);
  EXPECT_EQ(FLT_DisposeSequence(s), 0);
}

TEST_F(FLTTest, SetupFailures) {
  const int16_t bad = Register("T Miscount", 0, MiscountEntry);
  FLT_Sequence s = nullptr;
  Boolean32 found = 0;
  rec.clear();
  EXPECT_EQ(TryNewSeq(bad, &s), 3);
  EXPECT_EQ(s, nullptr);
  EXPECT_THAT(rec.last().text, HasSubstr("parameter count mismatch in plug-in effect \"T Miscount\""));

  const int16_t failing = Register("T Failing", 0, FailingGlobal);
  gGlobalCalls = 0;
  EXPECT_EQ(TryNewSeq(failing, &s), 7);
  EXPECT_EQ(TryNewSeq(failing, &s, 0, nullptr, &found), FLT_ErrInvalidFilter);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(gGlobalCalls, 1);  // never called again
  EXPECT_THAT(rec.last().text, HasSubstr("invalid filter"));

  EXPECT_EQ(TryNewSeq(Register("T Std", 0, StdControlEntry), &s), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("PF_PUI_STD_CONTROL_ONLY requires PF_ParamFlag_SUPERVISE"));

  // A message with error 0 is information and the call succeeds.
  rec.clear();
  ASSERT_EQ(TryNewSeq(Register("T Message", 0, MessageEntry), &s), 0);
  ASSERT_FALSE(rec.reports.empty());
  EXPECT_THAT(rec.last().text, HasSubstr("hello from the effect"));
  EXPECT_THAT(rec.last().text, ::testing::Not(HasSubstr("effect   ")));
  EXPECT_EQ(rec.last().severity, kSevPlain);
  EXPECT_EQ(FLT_DisposeSequence(s), 0);
}

// Out flags of a Parade: the any-of and all-of masks over the items switched
// on, extent hints from the last, first-of-parade from the first; nothing on
// gives the all-of mask and will nop.
TEST_F(FLTTest, ParadeFlagsOutFlagsAndWillNop) {
  const int16_t a = Register("T A", 0x2400 | 0x40 | 0x800 | 0x2, NopEntry);
  const int16_t b = Register("T B", 0x400 | 0x4, NopEntry);
  const int16_t c = Register("T C", 0x2000 | 0x800 | 0x40, NopEntry);
  FLT_Parade p = Keep(NewParade({a, b, c}));
  uint32_t flags = 0;
  Boolean32 nop = 0;
  struct Row {
    uint32_t onMask;  // items switched on
    uint32_t expected;
  } rows[] = {{7, 0x846}, {3, 0xC06}, {2, 0x404}, {0, 0x2400}, {5, 0x2842}};
  for (const Row& r : rows) {
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(FLT_SetParadeSeqFlags(p, i, (r.onMask >> i) & 1, FLT_Item_On), 0);
    EXPECT_EQ(FLT_InqParadeOutFlags(p, &flags), 0);
    EXPECT_EQ(flags, r.expected) << r.onMask;
    EXPECT_EQ(FLT_ParadeWillNop(p, 1, 0, &nop), 0);
    EXPECT_EQ(nop, r.onMask == 0 ? 1 : 0);
  }
  // Switching an audio effect off keeps its audio bits.
  p = Keep(NewParade({Register("T Audio Also", PF_OutFlag_AudioAlso, NopEntry)}));
  EXPECT_EQ(FLT_SetParadeSeqFlags(p, 0, 0, 1), 0);
  EXPECT_EQ(FLT_InqParadeSeqFlags(p, 0, &flags), 0);
  EXPECT_EQ(flags, 4u);
}

TEST_F(FLTTest, ParadeEditing) {
  const int16_t inv = Class(FLT_MatchInvert), lev = Class(FLT_MatchLevels);
  FLT_Parade p = NewParade({inv, lev});
  FLT_Sequence first = SeqOf(p, 0), second = SeqOf(p, 1), s = nullptr;
  // A Sequence has one owner.
  EXPECT_EQ(FLT_InsertSeqParade(p, first, -1), 3);
  EXPECT_EQ(FLT_DisposeSequence(first), 3);
  ASSERT_EQ(FLT_ReorderParade(p, 0, 1), 0);
  int32_t index = 0;
  EXPECT_EQ(FLT_InqParadeSeqIndex(p, first, &index), 0);
  EXPECT_EQ(index, 1);
  ASSERT_EQ(FLT_RemoveSeqParade(p, 1, &s), 0);
  EXPECT_EQ(s, first);
  EXPECT_EQ(FLT_InqParadeSeqIndex(p, first, &index), 0);
  EXPECT_EQ(index, static_cast<int32_t>(0x80000000u));
  rec.clear();
  EXPECT_EQ(FLT_InqParadeSeqIndexSafe(p, first, &index), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("inconsistency -- seq not found in parade"));
  EXPECT_EQ(FLT_InsertSeqParade(p, first, 5), 3);
  EXPECT_EQ(FLT_InsertSeqParade(p, first, 0), 0);
  FLT_Parade copy = nullptr;
  ASSERT_EQ(FLT_ParadeDuplicate(p, nullptr, nullptr, nullptr, nullptr, &copy), 0);
  EXPECT_EQ(Items(copy), 2);
  FLT_Sequence dup = SeqOf(copy, 1);
  EXPECT_NE(dup, second);
  int16_t cls = 0;
  FLT_SeqInqClass(dup, &cls);
  EXPECT_EQ(cls, lev);
  EXPECT_EQ(FLT_DisposeParade(copy), 0);
  EXPECT_EQ(FLT_DisposeParade(p), 0);
}

}  // namespace
}  // namespace tv::test
