// The sound-file module: WAV and AIFF read into sound worlds through sound
// requests, written through the output slots, and a failed write that
// leaves nothing under the final name.
#include <cmath>
#include <sndfile.h>

#include <filesystem>
#include <fstream>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

// Writes frames of 16-bit samples (interleaved) to path.
void WriteSound(const std::string& path, int format, int rate, int channels, const std::vector<int16_t>& s) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_short(f, s.data(), static_cast<sf_count_t>(s.size() / channels));
  sf_close(f);
}

std::vector<int16_t> Ramp(size_t n) {
  std::vector<int16_t> s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<int16_t>((i * 997) % 60000 - 30000));
  return s;
}

class PINSoundTest : public DriverTest {
 protected:
  void TearDown() override {
    for (SND_World w : sounds_) SND_DisposeWorld(w);
    DriverTest::TearDown();
  }
  SND_World Sound() {
    sounds_.push_back(OUT(SND_NewWorld, nullptr, nullptr));
    return sounds_.back();
  }
  // The samples of a 16-bit world.
  static std::vector<int16_t> Samples(SND_World w) {
    const SND_WorldInfo wi = OUT(SNDp_GetWorldInfo, w);
    EXPECT_EQ(wi.format.bytesPerSample, 2);
    SND_LockBuffer(0, w);
    void* p = nullptr;
    SNDp_GetBuffer(w, &p);
    const int16_t* s = static_cast<const int16_t*>(p);
    std::vector<int16_t> out(s, s + wi.frames * wi.format.channels);
    SND_UnlockBuffer(w);
    return out;
  }
  static PIN_SoundRequest Request(int32_t startFrames, int32_t frames, uint32_t rate, uint16_t channels) {
    PIN_SoundRequest r{};
    r.start = Time{startFrames, rate};
    r.duration = Time{frames, rate};
    r.format = SND_Format{double(rate), SND_Encoding_Signed, 2, channels, 0};
    r.quality = SND_Quality_Best;
    return r;
  }
  const PIN_ModuleProcs* Procs() {
    const tv::pin::Module* m = tv::pin::FindModule(MakeFourCC("WAVD"));
    EXPECT_NE(m, nullptr);
    return &m->procs;
  }

 private:
  std::vector<SND_World> sounds_;
};

TEST_F(PINSoundTest, WavAndAiffReadIntoSoundWorlds) {
  struct Case {
    const char* file;
    int format;
    int channels;
  } cases[] = {{"s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2}, {"m.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<int16_t> s = Ramp(2000 * c.channels);
    WriteSound(dir.P(c.file), c.format, 8000, c.channels, s);
    PIN_SeqSpecH seq = Opened(dir.P(c.file));
    const Time d = OUT(PIN_GetDuration, seq);
    EXPECT_EQ(d.value, 2000);
    EXPECT_EQ(d.scale, 8000u);
    // Frames 100..599, and a span running 50 frames past the end (silence).
    SND_World w = Sound();
    PIN_SoundRequest r = Request(100, 500, 8000, static_cast<uint16_t>(c.channels));
    ASSERT_EQ(PIN_GetSound(seq, &r, w), 0);
    EXPECT_EQ(Samples(w), std::vector<int16_t>(s.begin() + 100 * c.channels, s.begin() + 600 * c.channels));
    r = Request(1950, 100, 8000, static_cast<uint16_t>(c.channels));
    ASSERT_EQ(PIN_GetSound(seq, &r, w), 0);
    std::vector<int16_t> tail(s.end() - 50 * c.channels, s.end());
    tail.resize(100 * c.channels, 0);
    EXPECT_EQ(Samples(w), tail);
  }
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PINSoundTest, OutputSlotsWriteWhatIsReadBack) {
  const std::vector<int16_t> s = Ramp(3000 * 2);
  WriteSound(dir.P("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, s);
  PIN_SeqSpecH seq = Opened(dir.P("in.wav"));
  // Each sample size the options offer; 32 bits are floats of full scale 1.
  struct Case {
    const char* name;
    int32_t bits;
    int subtype;
  } cases[] = {{"out.wav", 16, SF_FORMAT_PCM_16}, {"out.aif", 16, SF_FORMAT_PCM_16},
               {"o24.wav", 24, SF_FORMAT_PCM_24}, {"o32.wav", 32, SF_FORMAT_FLOAT},
               {"o32.aif", 32, SF_FORMAT_FLOAT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PIN_ModuleProcs* p = Procs();
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("WAVD"), dir.P(c.name));
    ASSERT_EQ(p->setOutSpecificData(out, 1, &c.bits, 4), 0);
    ASSERT_EQ(p->startAdding(out), 0);
    // Two chunks of the source.
    for (int32_t k = 0; k < 2; ++k) {
      SND_World w = Sound();
      PIN_SoundRequest r = Request(k * 1500, 1500, 48000, 2);
      ASSERT_EQ(PIN_GetSound(seq, &r, w), 0);
      ASSERT_EQ(p->addSoundChunk(out, w), 0);
      EXPECT_FALSE(std::filesystem::exists(dir.P(c.name)));
    }
    ASSERT_EQ(p->endAdding(out), 0);
    PIN_DisposeOutputSpec(out);
    PIN_SeqSpecH back = Opened(dir.P(c.name));
    SND_World w = Sound();
    PIN_SoundRequest r = Request(0, 3000, 48000, 2);
    ASSERT_EQ(PIN_GetSound(back, &r, w), 0);
    EXPECT_EQ(Samples(w), s);
    // As another reader sees it: the sample size asked for, each sample the
    // source's over 32768.
    SF_INFO info{};
    SNDFILE* f = sf_open(dir.P(c.name).c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, c.subtype);
    std::vector<float> v(s.size());
    EXPECT_EQ(sf_readf_float(f, v.data(), 3000), 3000);
    sf_close(f);
    size_t wrong = 0;
    for (size_t i = 0; i < s.size(); ++i) wrong += v[i] != s[i] / 32768.0f;
    EXPECT_EQ(wrong, 0u) << v[1] << " for " << s[1];
  }
  // Only the outputs and the source are left: no partial file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 6);
}

// A float mix is written limited to full scale, and a NaN (an effect's) as
// silence, in 24 and 32 bits alike.
TEST_F(PINSoundTest, FloatSamplesAreLimitedAndNaNIsSilence) {
  const float in[] = {0.5f, std::nanf(""), 2.0f, -3.0f, -1.0f, INFINITY};
  const float expected[] = {0.5f, 0.0f, 1.0f, -1.0f, -1.0f, 1.0f};
  for (int32_t bits : {24, 32}) {
    SCOPED_TRACE(bits);
    const SND_Format f{48000, SND_Encoding_Float, 4, 1, 0};
    SND_World w = nullptr;
    ASSERT_EQ(SND_NewWorld(&f, nullptr, &w), 0);
    void* p = nullptr;
    ASSERT_EQ(SND_SizeAndLockBuffer(6, 0, w, &p), 0);
    std::memcpy(p, in, sizeof in);
    SND_UnlockBuffer(w);
    const std::string name = dir.P("f" + std::to_string(bits) + ".wav");
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("WAVD"), name);
    ASSERT_EQ(Procs()->setOutSpecificData(out, 1, &bits, 4), 0);
    ASSERT_EQ(Procs()->startAdding(out), 0);
    ASSERT_EQ(Procs()->addSoundChunk(out, w), 0);
    ASSERT_EQ(Procs()->endAdding(out), 0);
    PIN_DisposeOutputSpec(out);
    SND_DisposeWorld(w);
    SF_INFO info{};
    SNDFILE* sf = sf_open(name.c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr);
    float got[6] = {};
    EXPECT_EQ(sf_readf_float(sf, got, 6), 6);
    sf_close(sf);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], expected[i], 1e-6) << "sample " << i;
  }
}

TEST_F(PINSoundTest, FailuresAreReportedOnceAndLeaveNoFile) {
  // A write into a folder that does not exist.
  const PIN_ModuleProcs* p = Procs();
  PIN_OutputSpecH out = SlotOutput(MakeFourCC("WAVD"), dir.P("none/out.wav"));
  ASSERT_EQ(p->startAdding(out), 0);
  SND_World w = Sound();
  EXPECT_EQ(p->addSoundChunk(out, w), kSysNoDirectory);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("cannot write 'out.wav' -- no such directory (-120)."), std::string::npos)
      << rec.reports[0].text;
  PIN_DisposeOutputSpec(out);
  EXPECT_FALSE(std::filesystem::exists(dir.P("none/out.wav")));

  // A file that is no sound.
  rec.reports.clear();
  std::ofstream(dir.P("junk.wav")) << "RIFF but not really";
  PIN_SeqSpecH seq = nullptr;
  EXPECT_EQ(Open(dir.P("junk.wav"), &seq), PIN_ErrCannotImport);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("file 'junk.wav' cannot be imported -- "), std::string::npos);
}

}  // namespace
}  // namespace tv::test::pin
