// The sound-file module's rarer roads: the cleared frame, a SeqSpec without
// its open file (sources closed) opening it on first use, or answering no
// sound and saying why when it turned to junk, the output options' bytes, and
// an output ended before any sound.
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

constexpr FourCC kSig = MakeFourCC("WAVD");

class PINSoundFaultTest : public DriverTest {
 protected:
  // A 16-bit mono WAV at 8000 Hz.
  static void WriteWav(const std::string& path, const std::vector<int16_t>& s) {
    SF_INFO info{0, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_short(f, s.data(), static_cast<sf_count_t>(s.size()));
    sf_close(f);
  }
  static long OpenFiles() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }
  // The first n frames as 16-bit mono at 8000 Hz into *out.
  static ErrorCode Read(PIN_SeqSpecH seq, int32_t n, std::vector<int16_t>* out) {
    SND_World w = OUT(SND_NewWorld, nullptr, nullptr);
    PIN_SoundRequest r{Time{0, 8000}, Time{n, 8000}, SND_Format{8000, SND_Encoding_Signed, 2, 1, 0},
                       SND_Quality_Best};
    const ErrorCode err = PIN_GetSound(seq, &r, w);
    if (void* p = nullptr; !err && SND_LockBuffer(0, w) == 0) {
      SNDp_GetBuffer(w, &p);
      out->assign(static_cast<const int16_t*>(p), static_cast<const int16_t*>(p) + n);
      SND_UnlockBuffer(w);
    }
    SND_DisposeWorld(w);
    return err;
  }
};

TEST_F(PINSoundFaultTest, ClosedSourcesOpenOnFirstUseAndOnlyOnce) {
  const std::vector<int16_t> s = {1, -2, 300, -32768, 32767, 0, 5, 6};
  WriteWav(dir.P("r.wav"), s);
  const long files = OpenFiles();
  const PIN_SeqSpecH seq = Opened(dir.P("r.wav"));
  BM_World frame = World(1, 1);
  Paint(frame, [](int32_t, int32_t) { return 0xFF123456u; });
  ASSERT_EQ(Draw(seq, frame), 0);
  EXPECT_EQ(Pixel(frame, 0, 0), 0xFF000000u) << "cleared, opaque: the footage has no alpha";
  for (bool formatFirst : {true, false}) {
    SCOPED_TRACE(formatFirst);
    ASSERT_EQ(PIN_CloseSeqSpecSources(seq), 0);
    EXPECT_EQ(OpenFiles(), files);
    SND_Format f{};
    if (formatFirst) {
      ASSERT_EQ(PIN_GetSeqSpecificData(seq, PIN_SeqData_SoundFormat, &f, sizeof f), 0);
      EXPECT_EQ(f.rate, 8000);
      EXPECT_EQ(f.channels, 1);
    }
    std::vector<int16_t> got;
    ASSERT_EQ(Read(seq, 8, &got), 0);
    EXPECT_EQ(got, s);
    // Drawing opens the sources again: the file the sound opened is not
    // left open beside the new one.
    ASSERT_EQ(Draw(seq, frame), 0);
    EXPECT_EQ(OpenFiles(), files + 1);
  }
  EXPECT_TRUE(rec.reports.empty());

  // The file turned to junk: no sound answered, and reading says why, once.
  ASSERT_EQ(PIN_CloseSeqSpecSources(seq), 0);
  std::ofstream(dir.P("r.wav"), std::ios::trunc) << "RIFF but not really";
  SND_Format f{8000, SND_Encoding_Signed, 2, 2, 0};
  ASSERT_EQ(PIN_GetSeqSpecificData(seq, PIN_SeqData_SoundFormat, &f, sizeof f), 0);
  EXPECT_EQ(f.channels, 0);
  EXPECT_TRUE(rec.reports.empty());
  std::vector<int16_t> got;
  EXPECT_EQ(Read(seq, 8, &got), PIN_ErrCannotImport);
  ExpectOneReport(PIN_PackageNumber, "file 'r.wav' cannot be imported -- Format not recognised",
                  PIN_ErrCannotImport);
}

TEST_F(PINSoundFaultTest, OptionsBytesAndAnOutputEndedBeforeAnySound) {
  PIN_OutputSpecH out = SlotOutput(kSig, dir.P("e.aif"));
  const auto options = [&] {
    Handle h = OUT(PIN_GetOutputOptions, out);
    std::vector<uint8_t> b(*h, *h + 8);
    EXPECT_EQ(PIN_DisposeOutputOptions(out, h), 0);
    return b;
  };
  EXPECT_EQ(options(), (std::vector<uint8_t>{'S', 'F', 'o', '1', 0, 0, 0, 16}));
  const int32_t bits = 24;
  ASSERT_EQ(PIN_SetOutSpecificData(out, 1, &bits, 4), 0);
  EXPECT_EQ(options(), (std::vector<uint8_t>{'S', 'F', 'o', '1', 0, 0, 0, 24}));
  EXPECT_EQ(OUT(PIN_GetLegalDepths, out), 0u) << "no picture taken";
  // A frame is taken and ignored; ending without sound leaves an empty file
  // at 48000 Hz stereo in the asked sample size.
  const PIN_ModuleProcs& p = tv::pin::FindModule(kSig)->procs;
  ASSERT_EQ(p.startAdding(out), 0);
  EXPECT_EQ(p.addFrame(out, 0, World(4, 4)), 0);
  ASSERT_EQ(p.endAdding(out), 0);
  PIN_DisposeOutputSpec(out);
  SF_INFO i{};
  sf_close(sf_open(dir.P("e.aif").c_str(), SFM_READ, &i));
  EXPECT_EQ(std::make_tuple(i.frames, i.samplerate, i.channels, i.format),
            std::make_tuple(sf_count_t{0}, 48000, 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_24));
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
}  // namespace tv::test::pin
