// Parameter values at a time, new parameter Streams and the calls made for
// the host: params update, the general call, about, the layer behind an
// effect reference.
#include "FLT_test_support.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

const Time kZero{0, 600};

struct Seen {
  FLT_Sequence seq = nullptr;
  ErrorCode inner = -1;
  uintptr_t host = 0;
  ErrorCode hostErr = -1;
  int32_t changedIndex = -1;
} gSeen;

PF_Result HostEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void* extra) {
  switch (cmd) {
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef d{};
      d.type = PF_Param_Slider;
      d.u.words[PF_Word_Max] = 100;
      d.flags = PF_ParamFlag_CANNOT_TIME_VARY;
      out->paramCount = 2;
      return in->addParam(in->effectRef, -1, &d);
    }
    case PF_Cmd_About:
      std::strcpy(out->message, "About this effect");
      return 0;
    case PF_Cmd_ParamsUpdate: {
      auto* u = static_cast<PF_ParamsUpdate*>(extra);
      gSeen.changedIndex = u->index;
      u->changes[1].flags = PF_ChangeFlag_CHANGED_VALUE;
      u->changes[1].value[0] = 42;
      return 0;
    }
    case PF_Cmd_COMPLETELY_GENERAL:
      gSeen.inner = FLT_CompletelyGeneralEffectCall(gSeen.seq, nullptr, nullptr);
      gSeen.hostErr = FLT_GetLayerFromProgPtr(in->effectRef, &gSeen.host);
      return 0;
    default:
      return 0;
  }
}

class FLTValues : public FLTFixture {};

TEST_F(FLTValues, GetAndSetAtTimes) {
  FLT_Sequence s = NewSeq(Class(FLT_MatchLevels));
  const Time t{300, 600};
  double v[4] = {};
  int32_t n = 0;
  ASSERT_EQ(FLT_SeqGetParamFPV(s, 2, &t, v, &n), 0);
  EXPECT_EQ(std::make_tuple(n, v[0]), std::make_tuple(1, 255.0));
  const double forty = 40;
  ASSERT_EQ(FLT_SeqSetParamFPV(s, 2, nullptr, &t, &forty, 1), 0);  // constant: the value
  ASSERT_EQ(FLT_SeqGetParamFPV(s, 2, &kZero, v, &n), 0);
  EXPECT_EQ(v[0], 40);
  EXPECT_EQ(FLT_SeqSetParamFPV(s, 2, nullptr, &t, &forty, 2), 3);
  // The input layer has no value and no Stream.
  Handle copy = nullptr;
  EXPECT_EQ(FLT_NewEmptyParamStream(s, 0, &copy), 3);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(FLT_DisposeSequence(s), 0);
}

TEST_F(FLTValues, HostCalls) {
  const int16_t cls = Register("T Host", 0, HostEntry);
  FLT_Sequence s = nullptr;
  ASSERT_EQ(TryNewSeq(cls, &s, 0xABCD), 0);
  gSeen = Seen{};
  gSeen.seq = s;
  // A parameter without a Stream holds its value itself.
  const double seven = 7;
  ASSERT_EQ(FLT_SeqSetParamFPV(s, 1, nullptr, &kZero, &seven, 1), 0);
  double v = 0;
  int32_t n = 0;
  ASSERT_EQ(FLT_SeqGetParamFPV(s, 1, &kZero, &v, &n), 0);
  EXPECT_EQ(v, 7);

  PF_ChangeRecord changes[2];
  ASSERT_EQ(FLT_ParamChanged(s, 1, changes, 2), 0);
  EXPECT_EQ(std::make_tuple(gSeen.changedIndex, changes[0].flags, changes[1].flags, changes[1].value[0]),
            std::make_tuple(1, 0, PF_ChangeFlag_CHANGED_VALUE, 42u));
  EXPECT_EQ(FLT_ParamChanged(s, 1, changes, 1), 3);

  rec.clear();
  ASSERT_EQ(FLT_CompletelyGeneralEffectCall(s, nullptr, nullptr), 0);
  EXPECT_THAT(rec.last().text, HasSubstr("PF_Cmd_COMPLETELY_GENERAL can not be called reentrantly"));
  EXPECT_EQ(std::make_tuple(gSeen.inner, gSeen.hostErr, gSeen.host), std::make_tuple(3, 0, uintptr_t{0xABCD}));
  // A reference outside a call is refused without being read.
  uintptr_t host = 1;
  int bogus[32] = {};
  EXPECT_EQ(FLT_GetLayerFromProgPtr(bogus, &host), PF_Result_Damaged);
  EXPECT_EQ(host, 0u);
  EXPECT_THAT(rec.last().text, HasSubstr("bad PF_ProgPtr"));

  rec.clear();
  ASSERT_EQ(FLT_DoAbout(cls), 0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_THAT(rec.last().text, HasSubstr("About this effect"));
  EXPECT_EQ(FLT_DisposeSequence(s), 0);
}

}  // namespace
}  // namespace tv::test
