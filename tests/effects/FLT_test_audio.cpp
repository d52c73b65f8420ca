// Audio parades: the result of every participating effect lands in the
// caller's output world, in float samples when an effect asks for them.
#include "FLT_test_support.h"
#include "SND.h"

namespace tv::test {
namespace {

class FLTAudio : public FLTFixture {};

TEST_F(FLTAudio, GainsChainIntoTheOutput) {
  SND_Format f{48000, SND_Encoding_Signed, 2, 1, 0};
  SND_World input = nullptr, output = nullptr;
  ASSERT_EQ(SND_NewWorld(&f, nullptr, &input), 0);
  ASSERT_EQ(SND_NewWorld(nullptr, nullptr, &output), 0);
  void* samples = nullptr;
  ASSERT_EQ(SND_SizeAndLockBuffer(64, 0, input, &samples), 0);
  for (int i = 0; i < 64; ++i) static_cast<int16_t*>(samples)[i] = static_cast<int16_t>(i * 100 - 3000);
  SND_UnlockBuffer(input);

  const int16_t gain = Class(FLT_MatchGain);
  FLT_Parade p = NewParade({gain, gain, Class(FLT_MatchInvert), gain});
  const double gains[] = {2, 0.5, 3};
  for (int k = 0, i = 0; i < 4; ++i) {
    FLT_Sequence s = nullptr;
    FLT_GetParadeSeq(p, i, &s);
    uint32_t flags = 0;
    FLT_InqParadeSeqFlags(p, i, &flags);
    if (flags == 3) SetConstant(s, 1, {gains[k++]});
  }
  FLT_AudioParade ap = nullptr;
  ASSERT_EQ(FLT_NewAudioParade(p, &ap), 0);
  ASSERT_EQ(FLT_RenderAudioParade(ap, 1, input, output), 0);
  SND_WorldInfo info{};
  ASSERT_EQ(SNDp_GetWorldInfo(output, &info), 0);
  EXPECT_EQ(info.frames, 64);
  EXPECT_EQ(info.format.encoding, SND_Encoding_Float);
  ASSERT_EQ(SND_LockBuffer(0, output), 0);
  SNDp_GetBuffer(output, &samples);
  for (int i = 0; i < 64; ++i)
    EXPECT_FLOAT_EQ(static_cast<float*>(samples)[i], 3.0f * static_cast<float>(i * 100 - 3000) / 32768.0f) << i;
  SND_UnlockBuffer(output);
  EXPECT_EQ(FLT_DisposeAudioParade(ap), 0);

  // Nothing takes part in audio: the input is copied in its own format.
  for (int i = 0; i < 4; ++i) FLT_SetParadeSeqFlags(p, i, 0, FLT_Item_On);
  ASSERT_EQ(FLT_NewAudioParade(p, &ap), 0);
  ASSERT_EQ(FLT_RenderAudioParade(ap, 1, input, output), 0);
  ASSERT_EQ(SNDp_GetWorldInfo(output, &info), 0);
  EXPECT_EQ(info.format.encoding, SND_Encoding_Signed);
  EXPECT_EQ(info.frames, 64);
  EXPECT_EQ(FLT_DisposeAudioParade(ap), 0);
  EXPECT_EQ(FLT_DisposeParade(p), 0);
  SND_DisposeWorld(input);
  SND_DisposeWorld(output);
}

}  // namespace
}  // namespace tv::test
