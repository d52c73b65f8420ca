// The call wrapper around every effect call (the returned message),
// callbacks refused outside their commands and the audio callbacks.
#include <cstring>

#include "FLT_internal.h"
#include "FLT_test_support.h"
#include "SND.h"

namespace tv::test {
namespace {

// What the probe effect does and saw.
struct Probe {
  const char* message = nullptr;     // answered by about
  PF_Result aboutResult = 0;
  bool longMessage = false;          // fills the whole message field, no terminator
  PF_Result renderCallbackResult = 0;
  int renderCallback = 0;            // 1 add param, 2 register UI, 3 checkout audio
  // audio
  SND_World layerSound = nullptr;
  int32_t rate = 0, channels = 0, length = 0;
  PF_Result foreignCheckin = 0;
} gProbe;

PF_Result ProbeEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->globalData = NewHandle(16);
      return 0;
    case PF_Cmd_GlobalSetdown:
      DisposeHandle(in->globalData);
      return 0;
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef layer{};
      layer.type = PF_Param_Layer;
      if (PF_Result err = in->addParam(in->effectRef, 1, &layer)) return err;
      out->paramCount = 2;
      return 0;
    }
    case PF_Cmd_About:
      if (gProbe.longMessage)
        std::memset(out->message, 'x', sizeof out->message);
      else if (gProbe.message)
        std::strcpy(out->message, gProbe.message);
      return gProbe.aboutResult;
    case PF_Cmd_Render: {
      PF_ParamDef d{};
      uint32_t ui[11] = {};
      Handle sound = nullptr;
      if (gProbe.renderCallback == 1) gProbe.renderCallbackResult = in->addParam(in->effectRef, 2, &d);
      if (gProbe.renderCallback == 2) gProbe.renderCallbackResult = in->registerUI(in->effectRef, ui);
      if (gProbe.renderCallback == 3)
        gProbe.renderCallbackResult = in->checkoutAudio(in->effectRef, 1, 0, 600, 600, 48000, 2, 2, &sound);
      return 0;
    }
    case PF_Cmd_AudioRender: {
      Handle sound = nullptr;
      if (PF_Result err = in->checkoutAudio(in->effectRef, 1, 0, 600, 600, 48000, 2, 2, &sound)) return err;
      in->audioData(in->effectRef, sound, &gProbe.rate, nullptr, &gProbe.channels, &gProbe.length);
      Handle foreign = NewHandle(8);
      gProbe.foreignCheckin = in->checkinAudio(in->effectRef, foreign);
      DisposeHandle(foreign);
      return in->checkinAudio(in->effectRef, sound);
    }
    default:
      return 0;
  }
}

ErrorCode HostAudio(uint32_t, uint32_t, int32_t, int32_t duration, uint32_t scale, int32_t rate, int32_t bytes,
                    int32_t channels, Handle* sound) {
  SND_Format f{static_cast<double>(rate), SND_Encoding_Signed, static_cast<uint16_t>(bytes),
               static_cast<uint16_t>(channels), 0};
  if (ErrorCode err = SND_NewWorld(&f, nullptr, sound)) return err;
  void* samples = nullptr;
  const int64_t frames = static_cast<int64_t>(duration) * rate / scale;
  if (ErrorCode err = SND_SizeAndLockBuffer(frames, 0, *sound, &samples)) return err;
  SND_UnlockBuffer(*sound);
  gProbe.layerSound = *sound;
  return 0;
}

class FLTCall : public FLTFixture {
 protected:
  void SetUp() override {
    FLTFixture::SetUp();
    gProbe = Probe{};
  }
  std::string Last() { return rec.reports.empty() ? "" : rec.last().text; }
};

TEST_F(FLTCall, ReturnedMessages) {
  const int16_t cls = Register("T Probe", 0, ProbeEntry);
  struct Case {
    const char* message;
    PF_Result result;
    bool longMessage;
    std::string text;
    Severity severity;
  };
  const Case cases[] = {
      {"all is well   ", 0, false, "all is well", kSevPlain},
      {"it broke", 7, false, ": it broke  (7)", kSevError},
      {nullptr, 0, true, std::string(PF_MessageBytes - 1, 'x'), kSevPlain},
  };
  for (const Case& c : cases) {
    gProbe.message = c.message;
    gProbe.aboutResult = c.result;
    gProbe.longMessage = c.longMessage;
    rec.clear();
    EXPECT_EQ(FLT_DoAbout(cls), c.result);
    ASSERT_EQ(rec.reports.size(), 1u);
    if (c.longMessage) {
      // Read within its field: x's only, never what lies beyond.
      EXPECT_EQ(rec.last().text.find_first_not_of('x'), std::string::npos);
      EXPECT_GE(rec.last().text.size(), 200u);
    } else {
      EXPECT_THAT(rec.last().text, ::testing::HasSubstr(c.text));
    }
    EXPECT_EQ(rec.last().severity, c.severity);
  }
}

TEST_F(FLTCall, CallbacksOutsideTheirCommandsAreRefused) {
  const int16_t cls = Register("T Probe", 0, ProbeEntry);
  FLT_Parade p = Keep(NewParade({cls}));
  BM_World in = World(1, 4, 4), out = World(0, 4, 4);
  const std::pair<int, std::string> cases[] = {
      {1, "effect cannot use \"add parameter\" callback when called with \"render\" command."},
      {2, "effect cannot use \"register UI\" callback when called with \"render\" command."},
      {3, "effect cannot use \"checkout audio\" callback when called with \"render\" command."},
  };
  for (const auto& [which, text] : cases) {
    gProbe.renderCallback = which;
    rec.clear();
    ASSERT_EQ(Render(p, in, out, 4, 4), 0);
    EXPECT_EQ(gProbe.renderCallbackResult, PF_Result_BadSelector);
    EXPECT_THAT(Last(), ::testing::HasSubstr(text.substr(0, text.size() - 1)));
  }
}

TEST_F(FLTCall, AudioCallbacksCheckOutALayersSound) {
  const int16_t cls = Register("T Probe Audio", PF_OutFlag_AudioOnly, ProbeEntry);
  ASSERT_EQ(FLT_InstallProcs(5, reinterpret_cast<FLT_HostProc>(HostAudio)), 0);
  FLT_Parade p = Keep(NewParade({cls}));
  const SND_Format f{48000, SND_Encoding_Signed, 2, 2, 0};
  SND_World input = Sound(&f, 16), output = Sound();
  int64_t created = 0, alive = 0, aliveBefore = 0;
  SNDp_GetWorldCounts(&created, &aliveBefore);
  rec.clear();
  ASSERT_EQ(RenderAudio(p, input, output), 0);
  EXPECT_NE(gProbe.layerSound, nullptr);
  EXPECT_EQ(std::make_tuple(gProbe.rate, gProbe.channels, gProbe.length), std::make_tuple(48000, 2, 48000));
  // A handle the host never gave out is not disposed of.
  EXPECT_EQ(gProbe.foreignCheckin, PF_Result_BadCallbackArg);
  // The checked-in sound is gone.
  SNDp_GetWorldCounts(&created, &alive);
  EXPECT_EQ(alive, aliveBefore);
  FLT_InstallProcs(5, nullptr);
}

char* gForeign[2] = {nullptr, nullptr};
PF_Result BadHandleEntry(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  // Sequence data that is no handle of the memory manager.
  if (cmd == PF_Cmd_SequenceSetup) out->sequenceData = gForeign;
  return 0;
}

TEST_F(FLTCall, ForeignDataHandlesAreRefused) {
  const int16_t cls = Register("T Bad Handle", 0, BadHandleEntry);
  FLT_Sequence s = nullptr;
  rec.clear();
  EXPECT_EQ(TryNewSeq(cls, &s), PF_Result_Damaged);
  EXPECT_EQ(s, nullptr);
  EXPECT_THAT(Last(), ::testing::HasSubstr("effect data handle"));
}

}  // namespace
}  // namespace tv::test
