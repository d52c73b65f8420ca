// Playback through the WAV-file and null outputs: the file holds the world's
// frames exactly (in the file's sample conventions), whole or streamed; the
// buffer states move as they should; the world is never changed; what the
// output cannot play is refused with the exact words; no device is said so.
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "SND_test_support.h"

namespace tv::test {
namespace {

struct Calls {
  int count = 0;
  SND_PlaySpec* spec = nullptr;
};
void Finished(SND_PlaySpec* spec, intptr_t ref) {
  auto* c = reinterpret_cast<Calls*>(ref);
  ++c->count;
  c->spec = spec;
}

// The bytes of a WAV file's samples.
std::vector<uint8_t> WavBytes(const std::string& path, SF_INFO* info) {
  *info = SF_INFO{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
  if (!f) return {};
  const int bytes = (info->format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8 ? 1 : 2;
  std::vector<uint8_t> out(static_cast<size_t>(info->frames * info->channels * bytes));
  sf_read_raw(f, out.data(), static_cast<sf_count_t>(out.size()));
  sf_close(f);
  return out;
}

class PlayTest : public SNDTest {
 protected:
  void TearDown() override {
    SNDp_SetAudioOutput(nullptr);
    SNDp_SetPlayStreaming(0);
    SNDTest::TearDown();
  }
  // A world whose bytes count up (every sample distinct enough to catch a
  // dropped or repeated frame).
  SND_World Counting(const SND_Format& f, int64_t frames) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames * f.channels * f.bytesPerSample));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return Make(f, bytes);
  }
  // Pumps a streaming play until its completion procedure ran.
  void PumpUntilFinished(SND_PlaySpec& spec, const Calls& calls) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (calls.count == 0 && std::chrono::steady_clock::now() < until) {
      ASSERT_EQ(SND_ResumePlay(&spec), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  TempDir dir{"play"};
};

struct FileCase {
  const char* name;
  SND_Format format;
  int64_t frames;
  bool streaming;
};

class PlayToFile : public PlayTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(PlayToFile, TheFileHoldsTheWorldsFrames) {
  const FileCase& c = GetParam();
  const std::string path = dir.P("out.wav");
  ASSERT_EQ(SNDp_SetAudioOutput(("file:" + path).c_str()), 0);
  SNDp_SetPlayStreaming(c.streaming);
  SND_World w = Counting(c.format, c.frames);
  const std::vector<uint8_t> before = Samples<uint8_t>(w);
  Calls calls;
  SND_PlaySpec spec{};
  ASSERT_EQ(SND_NewPlaySpec(w, Finished, reinterpret_cast<intptr_t>(&calls), &spec), 0);
  EXPECT_EQ(spec.marker, SND_PlaySpecMarker);
  EXPECT_EQ(spec.streaming, c.streaming ? 1 : 0);
  ASSERT_EQ(SND_Play(&spec), 0);
  if (c.streaming) PumpUntilFinished(spec, calls);
  ASSERT_EQ(SND_ClearPlaySpec(&spec, 0), 0);
  EXPECT_EQ(calls.count, 1);
  EXPECT_EQ(calls.spec, &spec);
  EXPECT_EQ(spec.marker, 0u);
  // The world is as it was, and unlocked.
  EXPECT_EQ(Samples<uint8_t>(w), before);
  EXPECT_EQ(Info(w).lockCount, 0);
  SF_INFO info{};
  std::vector<uint8_t> want = before;
  // A WAV file holds 8-bit samples unsigned and 16-bit ones signed.
  const bool flip = c.format.bytesPerSample == 1 ? c.format.encoding == SND_Encoding_Signed
                                                 : c.format.encoding == SND_Encoding_Unsigned;
  for (size_t i = c.format.bytesPerSample - 1u; flip && i < want.size(); i += c.format.bytesPerSample) want[i] ^= 0x80;
  EXPECT_EQ(WavBytes(path, &info), want);
  EXPECT_EQ(info.samplerate, static_cast<int>(std::floor(c.format.rate + 0.5)));
  EXPECT_EQ(info.channels, c.format.channels);
}

INSTANTIATE_TEST_SUITE_P(Play, PlayToFile,
                         ::testing::Values(FileCase{"s16_stereo", Fmt(44100, 2, 2, 2), 30000, false},
                                           FileCase{"u8_mono", Fmt(11025, 1, 1, 1), 5000, false},
                                           FileCase{"s8_mono", Fmt(8000, 2, 1, 1), 4000, false},
                                           FileCase{"u16_stereo_rounded_rate", Fmt(22049.6, 1, 2, 2), 9000, false},
                                           FileCase{"s16_streamed_2_5_s", Fmt(8000, 2, 2, 2), 20000, true},
                                           FileCase{"u8_streamed_exact_seconds", Fmt(4000, 1, 1, 1), 8000, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A bound spec takes another world: of the same format on the open output,
// of another rate on an output opened again for it; without a world it only
// starts again. Every world it let go is unlocked.
TEST_F(PlayTest, ResetTakesAnotherWorldAndReopensForAnotherFormat) {
  const std::string path = dir.P("reset.wav");
  ASSERT_EQ(SNDp_SetAudioOutput(("file:" + path).c_str()), 0);
  SND_World first = Counting(Fmt(8000, 2, 2, 1), 40), same = Counting(Fmt(8000, 2, 2, 1), 60),
            other = Counting(Fmt(11025, 2, 2, 1), 80);
  Calls calls;
  SND_PlaySpec spec{};
  ASSERT_EQ(SND_NewPlaySpec(first, Finished, reinterpret_cast<intptr_t>(&calls), &spec), 0);
  ASSERT_EQ(SND_Play(&spec), 0);
  ASSERT_EQ(SND_ResetPlaySpec(same, Finished, reinterpret_cast<intptr_t>(&calls), &spec), 0);
  EXPECT_EQ(Info(first).lockCount, 0);
  EXPECT_EQ(spec.world, same);
  ASSERT_EQ(SND_ResetPlaySpec(other, nullptr, 0, &spec), 0);
  ASSERT_EQ(SND_ResetPlaySpec(nullptr, nullptr, 0, &spec), 0);
  EXPECT_EQ(spec.playCount, 0);
  ASSERT_EQ(SND_Play(&spec), 0);
  ASSERT_EQ(SND_ClearPlaySpec(&spec, 0), 0);
  SF_INFO info{};
  EXPECT_EQ(WavBytes(path, &info), Samples<uint8_t>(other));
  EXPECT_EQ(info.samplerate, 11025);
  SND_PlaySpec unbound{};
  EXPECT_EQ(SND_ResetPlaySpec(same, nullptr, 0, &unbound), kErrBadParam);
  for (SND_World w : {first, same, other}) EXPECT_EQ(Info(w).lockCount, 0);
}

struct Refusal {
  const char* output;
  SND_Format format;
  ErrorCode code;
  const char* text;
};

TEST_F(PlayTest, RefusalsNameWhatCannotBePlayed) {
  const Refusal cases[] = {
      {"null", Fmt(8000, 3, 4, 1), 5, "unimplemented function"},
      {"null:mono", Fmt(8000, 2, 2, 2), SND_ErrNoSupport,
       "This machine's sound capabilities do not include playback of stereo audio"},
      {"null:8bit", Fmt(8000, 2, 2, 1), SND_ErrNoSupport,
       "This machine's sound capabilities do not include playback of 16-bit audio"},
      {"alsa:tavelo_no_such_device", Fmt(8000, 2, 2, 1), SND_ErrOutput,
       "audio output problem.  no sound device could be opened (ALSA \"tavelo_no_such_device\""},
      {"speaker", Fmt(8000, 2, 2, 1), SND_ErrOutput, "audio output problem.  unknown sound output \"speaker\""},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.output);
    ASSERT_EQ(SNDp_SetAudioOutput(c.output), 0);
    SND_World w = Counting(c.format, 10);
    rec.clear();
    SND_PlaySpec spec{};
    EXPECT_EQ(SND_NewPlaySpec(w, nullptr, 0, &spec), c.code);
    EXPECT_EQ(spec.marker, 0u);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_NE(rec.last().text.find(c.text), std::string::npos) << rec.last().text;
    EXPECT_EQ(rec.last().location >> 24, SND_PackageNumber);
    EXPECT_EQ(Info(w).lockCount, 0);
  }
  // A spec that is not bound.
  SND_PlaySpec spec{};
  EXPECT_EQ(SND_Play(&spec), 3);
  EXPECT_EQ(SND_ClearPlaySpec(&spec, 0), 0);
  Boolean32 yes = 0;
  EXPECT_EQ(SND_IsPlayRateSupported(12345.6, nullptr, &yes), 0);
  EXPECT_EQ(yes, 1);
}

}  // namespace
}  // namespace tv::test
