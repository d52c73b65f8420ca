// The movie module: frames found exactly
// (each generated frame carries its number as eight bars), files no module
// claims probed by content, a foreign "opti" kept, damaged movies refused.
// The movies are made here by the ffmpeg tool from generated frames.
#include <sndfile.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "OutputFormats.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

constexpr int kW = 128, kH = 32, kFrames = 48, kRate = 8000;

class PINMoviesTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    // Frame n: bar b (16 pixels wide) white when bit b of n is set.
    std::ofstream raw(dir.P("frames.rgb"), std::ios::binary);
    for (int n = 0; n < kFrames; ++n)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const char v = (n >> (x / 16)) & 1 ? char(235) : char(16);
          raw.put(v).put(v).put(v);
        }
    raw.close();
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(dir.P("tone.wav").c_str(), SFM_WRITE, &info);
    for (int i = 0; i < kRate * 2 * 2; ++i) tone_.push_back(static_cast<int16_t>((i * 331) % 40000 - 20000));
    sf_writef_short(f, tone_.data(), kRate * 2);
    sf_close(f);
  }
  // Makes a movie of the frames (and the tone) with the given codecs.
  bool Make(const std::string& name, const std::string& codecs) {
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s 128x32 -r 24 -i '" +
                            dir.P("frames.rgb") + "' -i '" + dir.P("tone.wav") + "' " + codecs + " '" + dir.P(name) +
                            "'";
    return std::system(cmd.c_str()) == 0;
  }
  // The number a drawn frame carries.
  static int Number(const std::vector<uint8_t>& argb) {
    int n = 0;
    for (int b = 0; b < 8; ++b)
      if (argb[(16 * kW + 16 * b + 8) * 4 + 1] > 128) n |= 1 << b;
    return n;
  }
  std::vector<int16_t> Sound(PIN_SeqSpecH seq, int32_t first, int32_t count) {
    SND_World w = OUT(SND_NewWorld, nullptr, nullptr);
    PIN_SoundRequest r{};
    r.start = Time{first, kRate};
    r.duration = Time{count, kRate};
    r.format = SND_Format{double(kRate), SND_Encoding_Signed, 2, 2, 0};
    std::vector<int16_t> out;
    if (PIN_GetSound(seq, &r, w) == 0) {
      SND_LockBuffer(0, w);
      void* p = nullptr;
      SNDp_GetBuffer(w, &p);
      out.assign(static_cast<int16_t*>(p), static_cast<int16_t*>(p) + 2 * count);
      SND_UnlockBuffer(w);
    }
    SND_DisposeWorld(w);
    return out;
  }
  std::vector<int16_t> tone_;
};

// Frames are found exactly in an MP4, and in an MPEG transport stream, whose
// seeks land near a time rather than on the key frame before it (the frame
// after the one asked for showed, and the last frame could not be drawn).
TEST_F(PINMoviesTest, SeekingIsFrameAccurate) {
  ASSERT_TRUE(Make("n.ts", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a aac"));
  // In order, backwards, across key frames, repeated and far jumps.
  const int order[] = {0, 1, 2, 3, 47, 46, 13, 12, 11, 11, 30, 31, 33, 5, 24, 23, 36, 0, 47, 21, 45, 9};
  for (int n : {47, 21, 45, 9}) {
    PIN_SeqSpecH ts = Opened(dir.P("n.ts"));
    EXPECT_EQ(Number(Frame(ts, n, 24)), n) << "n.ts, the first frame drawn " << n;
  }
  PIN_SeqSpecH ts = Opened(dir.P("n.ts"));
  for (int n : order) EXPECT_EQ(Number(Frame(ts, n, 24)), n) << "n.ts " << n;
  ASSERT_TRUE(Make("n.mp4", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a aac"));
  PIN_SeqSpecH seq = Opened(dir.P("n.mp4"));
  for (int n : order) EXPECT_EQ(Number(Frame(seq, n, 24)), n) << n;
  // Times between frames show the frame that started last; past the end, the last one.
  EXPECT_EQ(Number(Frame(seq, 2 * 1001 + 500, 24 * 1001)), 2);
  EXPECT_EQ(Number(Frame(seq, 400, 24)), 47);
  Time at{5, 24};
  const Time next = OUT(PIN_InqNextFrameTime, seq, &at);
  EXPECT_EQ(int64_t{next.value} * 24, int64_t{6} * next.scale);
  at = Time{47, 24};
  EXPECT_EQ(OUT(PIN_InqNextFrameTime, seq, &at).scale, kInvalidTime.scale);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PINMoviesTest, UnclaimedFilesAreProbedAndForeignOptionsKept) {
  ASSERT_TRUE(Make("n.mp4", "-c:v libx264 -pix_fmt yuv420p -an"));
  std::filesystem::copy_file(dir.P("n.mp4"), dir.P("clip.data"));
  PIN_SeqSpecH seq = Opened(dir.P("clip.data"));
  EXPECT_EQ(OUT(PIN_GetModuleSignature, seq), MakeFourCC("MooV"));
  // Options another movie module stored stay as they are.
  const char foreign[] = "qtcodec settings \x01\x02";
  Handle opti = NewHandle(sizeof foreign);
  std::memcpy(*opti, foreign, sizeof foreign);
  ASSERT_EQ(PIN_SetOptions(seq, opti), 0);
  DisposeHandle(opti);
  EXPECT_EQ(Number(Frame(seq, 9, 24)), 9);
  Handle kept = OUT(PIN_GetOptions, seq);
  ASSERT_EQ(GetHandleSize(kept), Size{sizeof foreign});
  EXPECT_EQ(std::memcmp(*kept, foreign, sizeof foreign), 0);
}

TEST_F(PINMoviesTest, DamagedMoviesAreRefusedCleanly) {
  ASSERT_TRUE(Make("t.mp4", "-c:v libx264 -pix_fmt yuv420p -c:a aac"));
  ASSERT_TRUE(Make("t.mkv", "-c:v libx264 -pix_fmt yuv420p -c:a pcm_s16le"));
  const auto size = std::filesystem::file_size(dir.P("t.mp4"));
  std::filesystem::resize_file(dir.P("t.mp4"), size / 2);
  PIN_SeqSpecH seq = nullptr;
  EXPECT_EQ(Import(dir.P("t.mp4"), 0, &seq), PIN_ErrCannotImport);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("file 't.mp4' cannot be imported -- "), std::string::npos)
      << rec.reports[0].text;
  // A stream cut in its middle opens; its lost frames draw the last one
  // that decoded, or fail once, but never crash.
  std::filesystem::resize_file(dir.P("t.mkv"), std::filesystem::file_size(dir.P("t.mkv")) / 2);
  rec.reports.clear();
  seq = Opened(dir.P("t.mkv"));
  const ErrorCode err = Draw(seq, World(kW, kH), Time{45, 24});
  EXPECT_TRUE(err == 0 || (err == PIN_ErrCannotImport && rec.reports.size() == 1)) << err;
  (void)Sound(seq, 0, 16000);
}

// A movie's sound is the sound the ffmpeg tool decodes from it, from its
// first sample: an MP4's AAC sound once began with a few hundred silent
// samples (its encoder's delay was not cut after a seek back to the start).
// Pictures drawn before and after the sound are the right ones.
TEST_F(PINMoviesTest, SoundIsDecodedAsTheFileSays) {
  ASSERT_TRUE(Make("aac.mp4", "-c:v libx264 -pix_fmt yuv420p -c:a aac"));
  const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + dir.P("aac.mp4") +
                          "' -vn -f s16le -ac 2 -ar " + std::to_string(kRate) + " '" + dir.P("sound.s16") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir.P("sound.s16"), std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<int16_t> want(bytes.size() / 2);
  std::memcpy(want.data(), bytes.data(), want.size() * 2);
  constexpr int32_t kCount = kRate;  // a second
  ASSERT_GE(want.size(), size_t{2 * kCount});
  PIN_SeqSpecH seq = Opened(dir.P("aac.mp4"));
  EXPECT_EQ(Number(Frame(seq, 9, 24)), 9);
  const std::vector<int16_t> got = Sound(seq, 0, kCount);
  ASSERT_EQ(got.size(), size_t{2 * kCount});
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
  EXPECT_LE(worst, 1);
  EXPECT_EQ(Number(Frame(seq, 10, 24)), 10);
  EXPECT_TRUE(rec.reports.empty());
}

// Sound that starts after the pictures (its stream's first time later) is
// preceded by silence; sound that starts before them loses what comes first:
// the footage's time 0 is its first picture, and the two stay in step.
TEST_F(PINMoviesTest, SoundKeepsItsPlaceAgainstThePictures) {
  for (const bool late : {true, false}) {
    SCOPED_TRACE(late ? "sound later" : "pictures later");
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s 128x32 -r 24 -i '" +
                            dir.P("frames.rgb") + "' " + (late ? "-itsoffset 0.25 " : "") + "-i '" +
                            dir.P("tone.wav") + "' " + (late ? "" : "-vf setpts=PTS+0.25/TB ") +
                            "-c:v png -c:a pcm_s16le '" + dir.P("off.mkv") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    PIN_SeqSpecH seq = Opened(dir.P("off.mkv"));
    EXPECT_EQ(Number(Frame(seq, 3, 24)), 3);
    const std::vector<int16_t> got = Sound(seq, 0, kRate / 2);
    ASSERT_EQ(got.size(), size_t{kRate});
    constexpr size_t kShift = 2 * kRate / 4;  // a quarter second of stereo samples
    const std::vector<int16_t> want =
        late ? [&] {
          std::vector<int16_t> v(kShift, 0);
          v.insert(v.end(), tone_.begin(), tone_.begin() + kRate - kShift);
          return v;
        }()
             : std::vector<int16_t>(tone_.begin() + kShift, tone_.begin() + kShift + kRate);
    EXPECT_EQ(got, want);
  }
  EXPECT_TRUE(rec.reports.empty());
}

// A movie cut without coding again, after a key frame (an edit list): the
// frames before the cut, decoded but never shown, were counted, and the
// footage held its last frame over as many frames. It lasts as long as its
// cut says now (the last frame perhaps in part), and its first and last
// frames are those the ffmpeg tool shows.
TEST_F(PINMoviesTest, ACutMovieLastsAsLongAsItsCut) {
  ASSERT_TRUE(Make("whole.mp4", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -an"));
  const std::string cmd = "ffmpeg -nostdin -v error -y -ss 1.3 -i '" + dir.P("whole.mp4") + "' -c copy '" +
                          dir.P("cut.mp4") + "' && ffmpeg -nostdin -v error -y -i '" + dir.P("cut.mp4") +
                          "' -f rawvideo -pix_fmt rgb24 '" + dir.P("cut.rgb") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir.P("cut.rgb"), std::ios::binary);
  const std::vector<char> rgb{std::istreambuf_iterator<char>(in), {}};
  const auto shown = static_cast<int32_t>(rgb.size() / (kW * kH * 3));
  ASSERT_GT(shown, 10);
  // The number the tool's frame k carries.
  const auto number = [&](int32_t k) {
    int n = 0;
    for (int b = 0; b < 8; ++b)
      if (static_cast<uint8_t>(rgb[static_cast<size_t>((k * kH + 16) * kW + 16 * b + 8) * 3]) > 128) n |= 1 << b;
    return n;
  };
  PIN_SeqSpecH seq = Opened(dir.P("cut.mp4"));
  PIN_SourceInfo info{};
  ASSERT_EQ(PIN_GetSourceInfo(seq, &info), 0);
  const double frames = info.duration.value * 24.0 / info.duration.scale;
  EXPECT_GE(frames, shown);
  EXPECT_LE(frames, shown + 1);
  EXPECT_EQ(Number(Frame(seq, 0, 24)), number(0));
  EXPECT_EQ(Number(Frame(seq, shown - 1, 24)), number(shown - 1));
  EXPECT_TRUE(rec.reports.empty());
}

// A song with album art (a cover picture stream) is sound footage: the
// picture is not played as the movie's pictures (it could not be sought,
// and the file was refused), and nothing shows where the song's layer lies
// (its frame was an opaque dot).
TEST_F(PINMoviesTest, ACoverPictureIsNotPictures) {
  const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + dir.P("tone.wav") +
                          "' -f rawvideo -pix_fmt rgb24 -s 128x32 -i '" + dir.P("frames.rgb") +
                          "' -map 0:a -map 1:v -frames:v 1 -c:a alac -c:v png -disposition:v attached_pic '" +
                          dir.P("song.m4a") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  PIN_SeqSpecH seq = Opened(dir.P("song.m4a"));
  const PIN_Interpretation interp = OUT(PIN_GetInterpretation, seq);
  EXPECT_EQ(interp.nativeRate, 0);
  // Its one-pixel frame is clear, and has alpha, so it composites nothing.
  EXPECT_EQ(interp.alpha.type, PIN_Alpha_Straight);
  EXPECT_EQ(Frame(seq, 0, 24), std::vector<uint8_t>(4, 0));
  // The module says it has no picture (so the project shows it as sound
  // only, without a size); a movie with pictures says nothing otherwise.
  int32_t picture = 7;
  ASSERT_EQ(PIN_GetSeqSpecificData(seq, PIN_SeqData_HasPicture, &picture, 4), 0);
  EXPECT_EQ(picture, 0);
  picture = 7;
  ASSERT_TRUE(Make("clip.mov", "-c:v png -an"));
  ASSERT_EQ(PIN_GetSeqSpecificData(Opened(dir.P("clip.mov")), PIN_SeqData_HasPicture, &picture, 4), 0);
  EXPECT_EQ(picture, 1);
  EXPECT_EQ(Sound(seq, 0, kRate), std::vector<int16_t>(tone_.begin(), tone_.begin() + 2 * kRate));
  EXPECT_TRUE(rec.reports.empty());
}

// A movie whose display matrix turns it (a phone's upright picture, stored
// on its side) is footage of the picture as players show it: its size,
// pixels and pixel aspect turned, exactly as the ffmpeg tool turns them. A
// turn that is not a quarter turn is not made (the tool would cut the
// picture's corners off).
TEST_F(PINMoviesTest, TurnedMoviesAreShownTurned) {
  ASSERT_TRUE(Make("flat.mov", "-vf setsar=40/33 -c:v png -c:a pcm_s16le"));
  for (const int degrees : {90, 180, 270, 45}) {
    SCOPED_TRACE(degrees);
    const std::string name = "turn" + std::to_string(degrees) + ".mov";
    const std::string cmd = "ffmpeg -nostdin -v error -y -i '" + dir.P("flat.mov") +
                            "' -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees) + " '" + dir.P(name) +
                            "' && ffmpeg -nostdin -v error -y " + (degrees == 45 ? "-noautorotate " : "") + "-i '" +
                            dir.P(name) +
                            "' -vf 'select=eq(n\\,5)' -frames:v 1 -f rawvideo -pix_fmt argb '" + dir.P("shown.argb") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(dir.P("shown.argb"), std::ios::binary);
    const std::vector<uint8_t> shown{std::istreambuf_iterator<char>(in), {}};
    PIN_SeqSpecH seq = Opened(dir.P(name));
    const bool quarter = degrees % 180 == 90;
    int32_t w = 0, h = 0;
    ASSERT_EQ(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), 0);
    EXPECT_EQ(w, quarter ? kH : kW);
    EXPECT_EQ(h, quarter ? kW : kH);
    EXPECT_EQ(Frame(seq, 5, 24), shown);
    const PIN_Interpretation interp = OUT(PIN_GetInterpretation, seq);
    EXPECT_EQ(interp.hsfNum * (quarter ? 40 : 33), interp.hsfDen * (quarter ? 33 : 40));
  }
  EXPECT_TRUE(rec.reports.empty());
}

// The output slots: every codec written with sound and read back.
TEST_F(PINMoviesTest, OutputRoundTrips) {
  const PIN_ModuleProcs& p = tv::pin::FindModule(MakeFourCC("MooV"))->procs;
  constexpr int W = 64, H = 48, N = 6, SR = 48000;
  auto frame = [&](int n) {
    BM_World w = World(W, H);
    Paint(w, [n](int32_t x, int32_t y) {
      return uint32_t(255 - x - y) << 24 | uint32_t(40 + x * 2 + n * 4) << 16 | uint32_t(60 + y * 2) << 8 |
             uint32_t(120 + x - y);
    });
    return w;
  };
  std::vector<int16_t> tone;
  for (int i = 0; i < SR / 4 * 2; ++i) tone.push_back(static_cast<int16_t>((i * 131) % 20000 - 10000));
  // Every codec of every container in the table of outputs.
  struct Case {
    std::string file;
    FourCC codec;
    bool alpha, lossless, aac;
  };
  std::vector<Case> cases;
  for (const tv::outputs::Container& k : tv::outputs::kContainers)
    for (FourCC codec : k.codecs)
      if (codec) {
        const tv::outputs::Codec& info = *tv::outputs::CodecOf(codec);
        cases.push_back({std::string(info.name) + "." + std::string(k.ext), codec, info.alpha,
                         codec == tv::outputs::kPng || codec == tv::outputs::kAnimation,
                         k.sound == tv::outputs::SoundCodec::Aac});
      }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("MooV"), dir.P(c.file));
    const int32_t codec = static_cast<int32_t>(c.codec), sr = SR;
    ASSERT_EQ(p.setOutSpecificData(out, 1, &codec, 4), 0);
    ASSERT_EQ(p.setOutSpecificData(out, 4, &sr, 4), 0);
    Handle opts = OUT(p.getOutputOptions, out);
    const uint8_t golden[24] = {'M', 'V', 'o', '1', uint8_t(c.codec >> 24), uint8_t(c.codec >> 16),
                                uint8_t(c.codec >> 8), uint8_t(c.codec), 0, 0, 0, 18, 0, 24, 0, 0,
                                0, 0, 0xBB, 0x80, 0, 0, 0, 2};
    EXPECT_EQ(std::memcmp(*opts, golden, 24), 0);
    p.disposeOutputOptions(out, opts);
    ASSERT_EQ(p.startAdding(out), 0);
    SND_Format f{double(SR), SND_Encoding_Signed, 2, 2, 0};
    SND_World s = OUT(SND_NewWorld, &f, nullptr);
    void* buf = OUT(SND_SizeAndLockBuffer, static_cast<int64_t>(tone.size() / 2), 0, s);
    std::memcpy(buf, tone.data(), tone.size() * 2);
    SND_UnlockBuffer(s);
    ASSERT_EQ(p.addSoundChunk(out, s), 0);
    SND_DisposeWorld(s);
    std::vector<std::vector<uint8_t>> sent;
    for (int n = 0; n < N; ++n) {
      BM_World w = frame(n);
      sent.push_back(Argb(w));
      ASSERT_EQ(p.addFrame(out, n, w), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.P(c.file)));
    ASSERT_EQ(p.endAdding(out), 0);
    PIN_DisposeOutputSpec(out);

    PIN_SeqSpecH seq = Opened(dir.P(c.file));
    EXPECT_EQ(OUT(PIN_GetInterpretation, seq).alpha.type, c.alpha ? PIN_Alpha_Straight : PIN_Alpha_None);
    for (int n : {3, 0, 5}) {
      std::vector<uint8_t> got = Frame(seq, n, 24), want = sent[static_cast<size_t>(n)];
      if (!c.alpha)
        for (size_t i = 0; i < want.size(); i += 4) want[i] = 255;
      if (c.lossless)
        EXPECT_EQ(got, want) << n;
      else
        EXPECT_GT(Psnr(got, want), 45) << n;
    }
    SND_World back = OUT(SND_NewWorld, nullptr, nullptr);
    PIN_SoundRequest r{Time{0, SR}, Time{SR / 8, SR}, f, SND_Quality_Best};
    ASSERT_EQ(PIN_GetSound(seq, &r, back), 0);
    SND_LockBuffer(0, back);
    void* bp = nullptr;
    SNDp_GetBuffer(back, &bp);
    const std::vector<int16_t> got(static_cast<int16_t*>(bp), static_cast<int16_t*>(bp) + SR / 8 * 2);
    SND_UnlockBuffer(back);
    SND_DisposeWorld(back);
    // PCM sound comes back exactly; AAC is only checked to be there.
    if (!c.aac) {
      EXPECT_EQ(got, std::vector<int16_t>(tone.begin(), tone.begin() + SR / 8 * 2));
    } else {
      EXPECT_NE(got, std::vector<int16_t>(got.size(), 0));
    }
  }
  // A movie that cannot be encoded (4:2:0 needs even sizes) leaves nothing behind.
  rec.reports.clear();
  PIN_OutputSpecH out = SlotOutput(MakeFourCC("MooV"), dir.P("odd.mp4"));
  EXPECT_NE(p.addFrame(out, 0, World(31, 17)), 0);
  PIN_DisposeOutputSpec(out);
  EXPECT_FALSE(std::filesystem::exists(dir.P("odd.mp4")));
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("cannot write 'odd.mp4' -- H.264 needs an even width and height; the frames "
                                     "are 31 x 17"),
            std::string::npos)
      << rec.reports[0].text;
  // Two fields of 4:2:0 need a height divisible by 4.
  rec.reports.clear();
  out = SlotOutput(MakeFourCC("MooV"), dir.P("fields.mp4"));
  PIN_OutputInfo info{};
  ASSERT_EQ(PIN_GetOutputInfo(out, &info, sizeof info), 0);
  info.width = 32, info.height = 18, info.depth = 24, info.fieldOrder = 1;
  ASSERT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
  EXPECT_NE(p.addFrame(out, 0, World(32, 18)), 0);
  PIN_DisposeOutputSpec(out);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_NE(rec.reports[0].text.find("H.264 of two fields needs an even width and a height divisible by 4; the "
                                     "frames are 32 x 18"),
            std::string::npos)
      << rec.reports[0].text;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos);
}

// The frame rate goes to the movie as 16.16; the stream gets the fraction it
// stands for (NTSC's 24000/1001, not 1571293/65536), so the movie's length
// read back is its frames' exact length.
TEST_F(PINMoviesTest, FrameRatesAreWrittenAsTheFractionsTheyStandFor) {
  const PIN_ModuleProcs& p = tv::pin::FindModule(MakeFourCC("MooV"))->procs;
  const struct {
    double rate;
    Time frame;
  } cases[] = {{24000.0 / 1001, {1001, 24000}}, {30000.0 / 1001, {1001, 30000}}, {60000.0 / 1001, {1001, 60000}},
               {25, {1, 25}},          {12.5, {2, 25}},          {29.97, {100, 2997}}, {1.0 / 3, {3, 1}}};
  // A PNG movie of `frames` empty frames at the rate, opened.
  const auto movie = [&](const std::string& name, double rate, int frames) {
    PIN_OutputSpecH out = SlotOutput(MakeFourCC("MooV"), dir.P(name));
    const int32_t codec = static_cast<int32_t>(tv::outputs::kPng);
    const auto fixed = static_cast<int32_t>(std::lround(rate * 65536));
    EXPECT_EQ(p.setOutSpecificData(out, 1, &codec, 4), 0);
    EXPECT_EQ(p.setOutSpecificData(out, 3, &fixed, 4), 0);
    EXPECT_EQ(p.startAdding(out), 0);
    for (int n = 0; n < frames; ++n) EXPECT_EQ(p.addFrame(out, n, World(8, 8)), 0);
    EXPECT_EQ(p.endAdding(out), 0);
    PIN_DisposeOutputSpec(out);
    return Opened(dir.P(name));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    PIN_SeqSpecH seq = movie("r.mov", c.rate, 3);
    const Time d = OUT(PIN_GetDuration, seq);
    EXPECT_EQ(int64_t{d.value} * c.frame.scale, int64_t{3} * c.frame.value * d.scale) << d.value << "/" << d.scale;
  }
  // Matroska keeps milliseconds: the rate read back (19001/317) is a hair off
  // NTSC, yet every frame of the movie is found at its composition time.
  PIN_SeqSpecH seq = movie("n.mkv", 60000.0 / 1001, 29);
  for (int32_t n : {1, 27, 28}) {
    const Time t{n * 1001, 60000};
    EXPECT_EQ(OUT(PIN_GetFrameIndex, seq, &t), n);
  }
}

// Frames of two fields (the output information's field order) are coded and
// tagged as interlaced; 4:2:0 chroma is subsampled within each field, so a
// red field and a blue one stay red and blue. The information's pixel aspect
// is the stream's, and the footage's when the movie is read.
TEST_F(PINMoviesTest, FieldsAndPixelAspectAreCodedAndTagged) {
  const PIN_ModuleProcs& p = tv::pin::FindModule(MakeFourCC("MooV"))->procs;
  constexpr int W = 64, H = 48;
  BM_World frame = World(W, H);
  Paint(frame, [](int32_t, int32_t y) { return y % 2 ? 0xFF2020E0u : 0xFFE02020u; });
  const std::vector<uint8_t> sent = Argb(frame);
  for (const uint32_t order : {1u, 2u}) {
    for (const char* name : {"f.mp4", "f.mov"}) {
      SCOPED_TRACE(std::string(name) + (order == 1 ? " upper first" : " lower first"));
      PIN_OutputSpecH out = SlotOutput(MakeFourCC("MooV"), dir.P(name));
      if (std::string(name) == "f.mov") {
        const int32_t prores = static_cast<int32_t>(tv::outputs::kProRes);
        ASSERT_EQ(p.setOutSpecificData(out, 1, &prores, 4), 0);
      }
      PIN_OutputInfo info{};
      ASSERT_EQ(PIN_GetOutputInfo(out, &info, sizeof info), 0);
      info.width = W, info.height = H, info.depth = 24, info.fieldOrder = order;
      info.hsfNum = 40, info.hsfDen = 33;
      ASSERT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
      ASSERT_EQ(p.startAdding(out), 0);
      for (int n = 0; n < 3; ++n) ASSERT_EQ(p.addFrame(out, n, frame), 0);
      ASSERT_EQ(p.endAdding(out), 0);
      PIN_DisposeOutputSpec(out);
      // As another reader sees it.
      AVFormatContext* fmt = nullptr;
      ASSERT_EQ(avformat_open_input(&fmt, dir.P(name).c_str(), nullptr, nullptr), 0);
      ASSERT_GE(avformat_find_stream_info(fmt, nullptr), 0);
      const AVCodecParameters* par = fmt->streams[0]->codecpar;
      std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> dec(
          avcodec_alloc_context3(avcodec_find_decoder(par->codec_id)),
          [](AVCodecContext* c) { avcodec_free_context(&c); });
      avcodec_parameters_to_context(dec.get(), par);
      ASSERT_EQ(avcodec_open2(dec.get(), dec->codec, nullptr), 0);
      AVPacket* pkt = av_packet_alloc();
      AVFrame* pic = av_frame_alloc();
      bool got = false;
      while (!got && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == 0 && avcodec_send_packet(dec.get(), pkt) == 0)
          got = avcodec_receive_frame(dec.get(), pic) == 0;
        av_packet_unref(pkt);
      }
      if (!got && avcodec_send_packet(dec.get(), nullptr) == 0) got = avcodec_receive_frame(dec.get(), pic) == 0;
      ASSERT_TRUE(got);
      EXPECT_EQ(pic->interlaced_frame, 1);
      EXPECT_EQ(pic->top_field_first, order == 1 ? 1 : 0);
      // The container's box, else the stream's own field, as players take it.
      const AVRational sar = av_guess_sample_aspect_ratio(fmt, fmt->streams[0], nullptr);
      EXPECT_EQ(sar.num, 40);
      EXPECT_EQ(sar.den, 33);
      if (std::string(name) == "f.mov") {
        EXPECT_EQ(par->field_order, order == 1 ? AV_FIELD_TT : AV_FIELD_BB);
      }
      av_frame_free(&pic);
      av_packet_free(&pkt);
      avformat_close_input(&fmt);
      // Read back, each field keeps its colour, and the pixel aspect is the footage's.
      PIN_SeqSpecH seq = Opened(dir.P(name));
      const PIN_Interpretation interp = OUT(PIN_GetInterpretation, seq);
      EXPECT_EQ(interp.hsfNum * 33, interp.hsfDen * 40);
      EXPECT_GT(Psnr(Frame(seq, 1, 24), sent), 30);
    }
  }
}

// Fields of unequal height (an odd frame height) are tagged but coded whole:
// coded field by field, ProRes would lose the last row.
TEST_F(PINMoviesTest, FieldsOfAnOddHeightKeepEveryRow) {
  const PIN_ModuleProcs& p = tv::pin::FindModule(MakeFourCC("MooV"))->procs;
  constexpr int W = 8, H = 13;
  BM_World frame = World(W, H);
  Paint(frame, [](int32_t x, int32_t y) { return y == H - 1 ? 0xFFFFFFFFu : uint32_t(x * 30) << 8 | 0xFF000000u; });
  PIN_OutputSpecH out = SlotOutput(MakeFourCC("MooV"), dir.P("odd.mov"));
  const int32_t codec = static_cast<int32_t>(tv::outputs::kProRes4444);
  ASSERT_EQ(p.setOutSpecificData(out, 1, &codec, 4), 0);
  PIN_OutputInfo info{};
  ASSERT_EQ(PIN_GetOutputInfo(out, &info, sizeof info), 0);
  info.width = W, info.height = H, info.depth = 32, info.fieldOrder = 2;
  ASSERT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
  ASSERT_EQ(p.startAdding(out), 0);
  ASSERT_EQ(p.addFrame(out, 0, frame), 0);
  ASSERT_EQ(p.endAdding(out), 0);
  PIN_DisposeOutputSpec(out);
  EXPECT_GT(Psnr(Frame(Opened(dir.P("odd.mov")), 0, 24), Argb(frame)), 40);
}

}  // namespace
}  // namespace tv::test::pin
