// Audio parades: the result of every participating effect lands in the
// caller's output world, in float samples when an effect asks for them.
#include "FLT_test_support.h"
#include "SND.h"

namespace tv::test {
namespace {

class FLTAudio : public FLTFixture {};

TEST_F(FLTAudio, GainsChainIntoTheOutput) {
  const SND_Format f{48000, SND_Encoding_Signed, 2, 1, 0};
  SND_World input = Sound(&f, 64, [](int i) { return static_cast<int16_t>(i * 100 - 3000); }), output = Sound();

  const int16_t gain = Class(FLT_MatchGain);
  FLT_Parade p = NewParade({gain, gain, Class(FLT_MatchInvert), gain});
  const double gains[] = {2, 0.5, 3};
  for (int k = 0, i = 0; i < 4; ++i) {
    uint32_t flags = 0;
    FLT_InqParadeSeqFlags(p, i, &flags);
    if (flags == 3) SetConstant(SeqOf(p, i), 1, {gains[k++]});
  }
  FLT_AudioParade ap = nullptr;
  ASSERT_EQ(FLT_NewAudioParade(p, &ap), 0);
  ASSERT_EQ(FLT_RenderAudioParade(ap, 1, input, output), 0);
  SND_WorldInfo info{};
  ASSERT_EQ(SNDp_GetWorldInfo(output, &info), 0);
  EXPECT_EQ(std::make_pair(info.frames, info.format.encoding), std::make_pair(int64_t{64}, uint16_t{SND_Encoding_Float}));
  const std::vector<float> v = Samples<float>(output, 64);
  for (int i = 0; i < 64; ++i) EXPECT_FLOAT_EQ(v[i], 3.0f * static_cast<float>(i * 100 - 3000) / 32768.0f) << i;
  EXPECT_EQ(FLT_DisposeAudioParade(ap), 0);

  // Nothing takes part in audio: the input is copied in its own format.
  for (int i = 0; i < 4; ++i) FLT_SetParadeSeqFlags(p, i, 0, FLT_Item_On);
  ASSERT_EQ(FLT_NewAudioParade(p, &ap), 0);
  ASSERT_EQ(FLT_RenderAudioParade(ap, 1, input, output), 0);
  ASSERT_EQ(SNDp_GetWorldInfo(output, &info), 0);
  EXPECT_EQ(std::make_pair(info.frames, info.format.encoding), std::make_pair(int64_t{64}, uint16_t{SND_Encoding_Signed}));
  EXPECT_EQ(FLT_DisposeAudioParade(ap), 0);
  EXPECT_EQ(FLT_DisposeParade(p), 0);
}

}  // namespace
}  // namespace tv::test
