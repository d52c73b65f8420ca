// Composition audio: layers of a synthetic tone footage with offsets,
// stretch, reversal, in and out points, time remapping, levels and the audio
// gain effect give the samples computed here independently; the mix
// saturates; nested compositions; the progress stages.
#include <cmath>
#include <random>

#include "BEE_test_support.h"
#include "ByteOrder.h"
#include "SND.h"

namespace tv::bee::test {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 48000;

// ---- A footage module of pure tones: ".ton" files hold "TONE", the
// frequency in Hz, the amplitude (16-bit units) and the length in ms. The
// left channel is amp sin(2 pi f t), the right half of it; silence outside
// the length. The module answers at any rate asked, sample by sample.
struct ToneParams {
  uint32_t freq, amp, ms;
};

int16_t Tone(const ToneParams& p, int c, long double t) {
  if (t < 0 || t >= p.ms / 1000.0L) return 0;
  const double v = p.amp * std::sin(2 * kPi * p.freq * static_cast<double>(t)) / (c ? 2.0 : 1.0);
  return static_cast<int16_t>(std::lround(v));
}

ToneParams ParamsOf(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  PIN_GetInstanceData(seq, &h);
  return *reinterpret_cast<ToneParams*>(*h);
}

ErrorCode ToneNew(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  if (ErrorCode err = FILE_Open(FILE_PermRead, file)) return err;
  uint8_t bytes[16] = {};
  ErrorCode err = FILE_NRead(file, sizeof bytes, bytes);
  FILE_Close(file);
  if (err) return err;
  be::Reader r(bytes);
  if (r.ReadFourCC() != MakeFourCC("TONE")) return PIN_ErrCannotImport;
  ToneParams p{};
  p.freq = r.Read<uint32_t>();
  p.amp = r.Read<uint32_t>();
  p.ms = r.Read<uint32_t>();
  Handle h = NewHandle(sizeof p);
  std::memcpy(*h, &p, sizeof p);
  PIN_SourceInfo info{};
  info.width = info.height = 1;
  info.depth = 24;
  info.duration = Time{static_cast<int32_t>(p.ms), 1000};
  info.start = Time{0, 1};
  info.alpha.type = PIN_Alpha_None;
  if ((err = PIN_SetSourceInfo(seq, &info))) {
    DisposeHandle(h);
    return err;
  }
  return PIN_SetInstanceData(seq, h);
}

ErrorCode ToneDispose(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  PIN_GetInstanceData(seq, &h);
  if (h) DisposeHandle(h);
  return PIN_SetInstanceData(seq, nullptr);
}

ErrorCode ToneData(PIN_SeqSpecH, int32_t selector, void* data, int32_t) {
  if (selector != PIN_SeqData_SoundFormat) return 0;
  SND_Format f{kRate, SND_Encoding_Signed, 2, 2, 0};
  std::memcpy(data, &f, sizeof f);
  return 0;
}

ErrorCode ToneSound(PIN_SeqSpecH seq, const void* request, Handle world) {
  const auto& rq = *static_cast<const PIN_SoundRequest*>(request);
  const ToneParams p = ParamsOf(seq);
  const long double rate = rq.format.rate;
  const auto sec = [](Time t) { return static_cast<long double>(t.value) / t.scale; };
  const auto at = [&](long double t) { return static_cast<int64_t>(std::ceil(rate * t - 1e-8L)); };
  const int64_t first = at(sec(rq.start));
  const int64_t count = at(sec(rq.start) + sec(rq.duration)) - first;
  SND_Format f{rq.format.rate, SND_Encoding_Signed, 2, rq.format.channels, 0};
  if (ErrorCode err = SND_UpdateWorld(0, &f, nullptr, world)) return err;
  void* buf = nullptr;
  if (ErrorCode err = SND_SizeAndLockBuffer(count, 0, world, &buf)) return err;
  auto* s = static_cast<int16_t*>(buf);
  for (int64_t k = 0; k < count; ++k)
    for (int c = 0; c < f.channels; ++c) *s++ = Tone(p, c, (first + k) / rate);
  SND_UnlockBuffer(world);
  Time start{};
  SND_SampToTime(SND_Round_Nearest, first, rq.format.rate, &start, nullptr);
  if (count > 0) SND_SetWorldStartTime(start, world);
  return SND_UpdateWorld(0, &rq.format, nullptr, world);
}

ErrorCode ToneBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = MakeFourCC("TONE");
  std::strcpy(info->name, "Tones");
  info->flags = PIN_ModFlag_Files;
  info->maxWidth = info->maxHeight = 1;
  info->fileType = MakeFourCC("TONf");
  info->numFileTypes = 1;
  info->fileTypes[0][0] = info->fileType;
  info->numExtensions = 1;
  info->extension = info->extensions[0] = MakeFourCC(".ton");
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = ToneNew;
  procs->disposeSeqSpec = ToneDispose;
  procs->getInSpecificData = ToneData;
  procs->getSound = ToneSound;
  return 0;
}

}  // namespace
}  // namespace tv::bee::test

namespace tv::pin {
ErrorCode SoundFilesBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs);
}  // namespace tv::pin

namespace tv::bee::test {
namespace {

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Tones", ToneBirth},
    {"Sound Files", tv::pin::SoundFilesBirth},
};

const SND_Format kStereo16{kRate, SND_Encoding_Signed, 2, 2, 0};

class AudioTest : public BeeFixture {
 protected:
  AudioTest() { tv::pin::SetDriversForTesting(kDrivers); }
  ~AudioTest() override { tv::pin::SetDriversForTesting({}); }
  // The footage modules are born after the engine's warm-up count and die
  // before its leak check.
  void SetUp() override {
    BeeFixture::SetUp();
    // What the modules' first birth and the gain effect's set-up install for
    // good is not a leak.
    const int64_t h0 = EMUL_LiveHandleCount(), p0 = EMUL_LivePtrCount();
    ASSERT_EQ(PIN_Birth(), 0);
    ASSERT_EQ(PIN_Death(), 0);
    FLT_Sequence seq = nullptr;
    uint32_t flags = 0;
    Boolean32 found = 0;
    ASSERT_EQ(FLT_NewSequence(GainClass(), nullptr, 0, nullptr, &flags, &seq, &found), 0);
    ASSERT_EQ(FLT_DisposeSequence(seq), 0);
    liveHandles_ += EMUL_LiveHandleCount() - h0;
    livePtrs_ += EMUL_LivePtrCount() - p0;
    ASSERT_EQ(PIN_Birth(), 0);
  }
  void TearDown() override {
    BEE_SetCallbackFunc(nullptr, 0);
    specs_.Clear();
    if (born_) {
      EXPECT_EQ(BEE_Death(), 0);
    }
    born_ = false;
    EXPECT_EQ(PIN_Death(), 0);
    int64_t alive = -1;
    SNDp_GetWorldCounts(nullptr, &alive);
    EXPECT_EQ(alive, 0);
    BeeFixture::TearDown();
  }

  static int16_t GainClass() {
    int16_t cls = 0;
    Boolean32 found = 0;
    EXPECT_EQ(FLTp_FindClass(FLT_MatchGain, &cls, &found), 0);
    EXPECT_TRUE(found);
    return cls;
  }
  BEE_Item ToneItem(ToneParams p) {
    be::Writer w;
    w.WriteFourCC(MakeFourCC("TONE"));
    w.Write<uint32_t>(p.freq);
    w.Write<uint32_t>(p.amp);
    w.Write<uint32_t>(p.ms);
    return Import("t" + std::to_string(files_++) + ".ton", w.bytes());
  }
  // Writes a file of the bytes and imports it.
  BEE_Item Import(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteBytes(dir.P(name), bytes);
    return GOT(BEE_Item, BEE_CmdImportFootage, nullptr, Spec(name), 0);
  }
  // Imports a PCM WAV file of `bytes` sample bytes, byte i being byte(i)'s
  // low bits.
  template <class Byte>
  BEE_Item Wav(const char* name, uint32_t rate, uint16_t channels, uint16_t bits, uint32_t bytes, Byte byte) {
    std::vector<uint8_t> b;
    const auto put = [&](uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + bytes, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4), put(1, 2), put(channels, 2), put(rate, 4), put(rate * channels * bits / 8, 4);
    put(channels * bits / 8, 2), put(bits, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(bytes, 4);
    for (uint32_t i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(byte(i)));
    return Import(name, b);
  }
  // Renders [start, start + duration) seconds (over 48000) of the composition.
  std::vector<int16_t> Render(BEE_Item comp, int32_t startFrames, int32_t frames) {
    return Render(comp, Time{startFrames, 48000}, Time{frames, 48000});
  }
  // The samples of the span (of a composition or footage): those of the
  // 48000 Hz grid from start on.
  std::vector<int16_t> Render(BEE_Item item, Time start, Time duration) {
    SND_World w = nullptr;
    EXPECT_EQ(BEE_RenderItemSound(item, 0, start, duration, &kStereo16, nullptr, &w), 0);
    for (const auto& r : rec.reports) ADD_FAILURE() << std::hex << r.location << std::dec << " " << r.text;
    std::vector<int16_t> out;
    if (!w) return out;
    SND_WorldInfo info{};
    EXPECT_EQ(SNDp_GetWorldInfo(w, &info), 0);
    const auto sec = [](Time t) { return static_cast<long double>(t.value) / t.scale; };
    const auto grid = [](long double s) { return static_cast<int64_t>(std::ceil(48000 * s - 1e-8L)); };
    EXPECT_EQ(info.frames, grid(sec(start) + sec(duration)) - grid(sec(start)));
    EXPECT_EQ(info.format.channels, 2);
    void* p = nullptr;
    EXPECT_EQ(SND_LockBuffer(0, w), 0);
    SNDp_GetBuffer(w, &p);
    out.assign(static_cast<int16_t*>(p), static_cast<int16_t*>(p) + 2 * info.frames);
    SND_UnlockBuffer(w);
    SND_DisposeWorld(w);
    return out;
  }
  // Counts samples more than one unit away from the expected ones.
  template <class F>
  int64_t Mismatches(const std::vector<int16_t>& got, F expected, int32_t startFrames = 0) {
    int64_t bad = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      const long double ct = (startFrames + static_cast<int64_t>(i / 2)) / kRate;
      const int e = expected(static_cast<int>(i % 2), ct);
      if (std::abs(got[i] - e) > 1 && bad++ < 5)
        ADD_FAILURE() << "frame " << i / 2 << " channel " << i % 2 << ": " << got[i] << " expected " << e;
    }
    return bad;
  }
  int files_ = 0;
};

// ---- One layer and its timing --------------------------------------------------------------
struct LayerCase {
  const char* name;
  Time offset;
  Ratio stretch;
  Time in, out;     // layer time; scale 0: as made
  double levelsDb;  // constant level (0: none)
  bool remapDouble; // time remapped at twice the speed
  // The expected layer time of composition time ct (frames' start); the
  // source frame's time is this at the working rate.
  long double (*source)(long double ct);
};

const LayerCase kLayerCases[] = {
    {"plain", {0, 1}, {1, 1}, {0, 0}, {0, 0}, 0, false, [](long double ct) { return ct; }},
    {"offset", {1, 4}, {1, 1}, {0, 0}, {0, 0}, 0, false, [](long double ct) { return ct - 0.25L; }},
    {"negative offset", {-1, 10}, {1, 1}, {0, 0}, {0, 0}, 0, false, [](long double ct) { return ct + 0.1L; }},
    {"stretch 200", {0, 1}, {2, 1}, {0, 0}, {0, 0}, 0, false, [](long double ct) { return ct / 2; }},
    {"stretch 50", {0, 1}, {1, 2}, {0, 0}, {0, 0}, 0, false, [](long double ct) { return ct * 2; }},
    // Backwards from 1 s: frame [ct, ct + 1/R) shows layer time
    // (1 - ct - 1/R) - 1/300, the last frame of the reversed interval.
    {"reversed", {1, 1}, {-1, 1}, {0, 0}, {0, 0}, 0, false,
     [](long double ct) { return 1 - ct - 1 / kRate - 1.0L / 300; }},
    {"in and out", {0, 1}, {1, 1}, {1, 4}, {1, 2}, 0, false,
     [](long double ct) { return ct >= 0.25L && ct < 0.5L ? ct : -1; }},
    {"levels -6.0206", {0, 1}, {1, 1}, {0, 0}, {0, 0}, -6.0206, false, [](long double ct) { return ct; }},
    {"remapped", {0, 1}, {1, 1}, {0, 0}, {0, 0}, 0, true, [](long double ct) { return 2 * ct; }},
};

class LayerTiming : public AudioTest, public ::testing::WithParamInterface<LayerCase> {};

TEST_P(LayerTiming, SamplesMatchTheToneAtTheMappedTime) {
  const LayerCase& c = GetParam();
  const ToneParams p{440, 16000, 3000};
  BEE_Item comp = NewComp("A");
  BEE_Layer layer = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(comp, ToneItem(p), &layer), 0);
  Boolean32 has = 0;
  ASSERT_EQ(BEEp_LayerHasAudio(layer, &has), 0);
  EXPECT_EQ(has, 1);
  if (c.stretch.num != 1 || c.stretch.den != 1) {
    ASSERT_EQ(BEE_CmdSetLayerStretch(layer, c.stretch), 0);
  }
  if (c.in.scale) {
    ASSERT_EQ(BEE_CmdSetLayerTimes(layer, c.offset, c.in, c.out), 0);
  } else if (c.offset.value) {
    Time in{}, out{};
    BEE_GetLayerTime(layer, BEE_LayerTimeIn, &in, nullptr);
    BEE_GetLayerTime(layer, BEE_LayerTimeOut, &out, nullptr);
    ASSERT_EQ(BEE_CmdSetLayerTimes(layer, c.offset, in, out), 0);
  }
  if (c.levelsDb != 0)
    LinearKeys(layer, BEE_StreamAudioLevels, {{0, c.levelsDb, c.levelsDb}, {2, c.levelsDb, c.levelsDb}});
  if (c.remapDouble) LinearKeys(layer, BEE_StreamTimeRemap, {{0, 0}, {1, 2}});
  const double gain = std::pow(10.0, c.levelsDb / 20);
  const std::vector<int16_t> got = Render(comp, 0, 48000);
  ASSERT_EQ(got.size(), 96000u);
  EXPECT_EQ(Mismatches(got, [&](int ch, long double ct) {
              const long double lt = c.source(ct);
              if (lt < 0) return 0;
              return static_cast<int>(std::lround(Tone(p, ch, lt) * gain));
            }), 0);
}

INSTANTIATE_TEST_SUITE_P(Audio, LayerTiming, ::testing::ValuesIn(kLayerCases),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST_F(AudioTest, LayersMixSaturatedAndNestedCompsFollowTheirOffsets) {
  const ToneParams a{300, 25000, 2000}, b{700, 25000, 2000};
  BEE_Item inner = NewComp("inner");
  BEE_Layer la = nullptr, lb = nullptr, nest = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(inner, ToneItem(a), &la), 0);
  ASSERT_EQ(BEE_CmdNewLayer(inner, ToneItem(b), &lb), 0);
  NewSolidLayer(inner);  // no sound
  BEE_Item outer = NewComp("outer");
  ASSERT_EQ(BEE_CmdNewLayer(outer, inner, &nest), 0);
  Time in{}, out{};
  BEE_GetLayerTime(nest, BEE_LayerTimeIn, &in, nullptr);
  BEE_GetLayerTime(nest, BEE_LayerTimeOut, &out, nullptr);
  ASSERT_EQ(BEE_CmdSetLayerTimes(nest, Time{1, 5}, in, out), 0);
  const auto mix = [&](int ch, long double t) {
    return std::clamp(Tone(a, ch, t) + Tone(b, ch, t), -32768, 32767);
  };
  EXPECT_EQ(Mismatches(Render(outer, 4800, 24000), [&](int ch, long double ct) { return mix(ch, ct - 0.2L); }, 4800),
            0);
  // A muted layer is left out.
  ASSERT_EQ(BEE_CmdSetLayerSwitch(lb, BEE_SwitchAudioMute, 1), 0);
  EXPECT_EQ(Mismatches(Render(inner, 0, 4800), [&](int ch, long double t) { return Tone(a, ch, t); }), 0);
}

TEST_F(AudioTest, SilentCompositionGivesTheSpanInTheRequestedFormat) {
  BEE_Item comp = NewComp("A");
  NewSolidLayer(comp);
  Boolean32 has = 1;
  ASSERT_EQ(BEEp_ItemHasAudio(comp, &has), 0);
  EXPECT_EQ(has, 0);
  const SND_Format u8{22050, SND_Encoding_Unsigned, 1, 1, 0};
  SND_World w = nullptr;
  ASSERT_EQ(BEE_RenderCompSound(comp, 0, Time{1, 3}, Time{1, 10}, &u8, &w), 0);
  SND_WorldInfo info{};
  ASSERT_EQ(SNDp_GetWorldInfo(w, &info), 0);
  EXPECT_EQ(info.frames, 2205);
  EXPECT_EQ(info.format.encoding, SND_Encoding_Unsigned);
  void* p = nullptr;
  SND_LockBuffer(0, w);
  SNDp_GetBuffer(w, &p);
  EXPECT_EQ(std::count(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + 2205, 0x80), 2205);
  SND_UnlockBuffer(w);
  SND_DisposeWorld(w);
  // A solid has no sound: no world, no failure.
  BEE_Layer solid = nullptr;
  BEE_GetIndLayer(comp, 0, &solid);
  ASSERT_EQ(BEE_RenderLayerSound(solid, 0, Time{0, 1}, Time{1, 1}, &u8, nullptr, &w), 0);
  EXPECT_EQ(w, nullptr);
  EXPECT_TRUE(rec.reports.empty());
}

// ---- Fast and literal kernels ----------------------------------------------------------------
// A composition of sound files (16-bit stereo with levels and remapping,
// 8-bit mono stretched, 16-bit mono reversed) renders to the same bytes with
// the fast kernels as with the literal ones, in two formats.
TEST_F(AudioTest, SoundFilesRenderTheSameWithTheLiteralKernels) {
  std::mt19937 rng(57);
  const auto wav = [&](const char* name, uint32_t rate, uint16_t channels, uint16_t bits, uint32_t frames) {
    return Wav(name, rate, channels, bits, frames * channels * bits / 8, [&](uint32_t) { return rng(); });
  };
  BEE_Item comp = NewComp("A");
  BEE_Layer a = nullptr, b = nullptr, c = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(comp, wav("a.wav", 48000, 2, 16, 60000), &a), 0);
  LinearKeys(a, BEE_StreamAudioLevels, {{0, 0, -30}, {1, 30, 6}});
  LinearKeys(a, BEE_StreamTimeRemap, {{0, 0.2}, {1, 1.1}});
  ASSERT_EQ(BEE_CmdNewLayer(comp, wav("b.wav", 22050, 1, 8, 30000), &b), 0);
  ASSERT_EQ(BEE_CmdSetLayerStretch(b, Ratio{73, 100}), 0);
  LinearKeys(b, BEE_StreamAudioLevels, {{0, -3, -3}, {1, -12, 2}});
  ASSERT_EQ(BEE_CmdNewLayer(comp, wav("c.wav", 44100, 1, 16, 50000), &c), 0);
  ASSERT_EQ(BEE_CmdSetLayerStretch(c, Ratio{-1, 1}), 0);
  const SND_Format formats[] = {kStereo16, SND_Format{22050, SND_Encoding_Unsigned, 1, 1, 0}};
  for (const SND_Format& f : formats) {
    std::vector<uint8_t> got[2];
    for (int ref = 0; ref < 2; ++ref) {
      ASSERT_EQ(SNDp_UseReferenceKernels(ref), 0);
      SND_World w = nullptr;
      ASSERT_EQ(BEE_RenderCompSound(comp, 0, Time{-1, 10}, Time{6, 5}, &f, &w), 0);
      void* p = nullptr;
      SNDp_GetBuffer(w, &p);
      SND_WorldInfo info{};
      SNDp_GetWorldInfo(w, &info);
      got[ref].assign(static_cast<uint8_t*>(p),
                      static_cast<uint8_t*>(p) + info.frames * f.channels * f.bytesPerSample);
      SND_DisposeWorld(w);
    }
    ASSERT_EQ(SNDp_UseReferenceKernels(0), 0);
    EXPECT_EQ(got[0].size(), static_cast<size_t>(f.rate * 1.2) * f.channels * f.bytesPerSample);
    EXPECT_EQ(got[0], got[1]) << f.rate;
  }
  EXPECT_TRUE(rec.reports.empty());
}

// A movie takes its sound a frame at a time. A sound file rendered in pieces
// of a frame must give the samples of one long render: at another rate, a
// piece that starts between two of the file's samples is not moved onto one;
// at 29.97 frames a second, where a frame is not a whole number of samples,
// no piece starts with a silent sample and drops its last one.
TEST_F(AudioTest, AFileRendersAlikeInPiecesOfAFrame) {
  const struct {
    uint32_t rate;
    int16_t quality;
    Ratio stretch;
    Time frame;
  } cases[] = {{22050, BEE_QualityDraft, {1, 1}, {1, 24}},   {22050, BEE_QualityBest, {1, 1}, {1, 24}},
               {96000, BEE_QualityBest, {1, 1}, {1, 24}},    {48000, BEE_QualityBest, {1, 1}, {1001, 30000}},
               {44100, BEE_QualityBest, {1, 1}, {1001, 30000}}, {44100, BEE_QualityBest, {73, 100}, {1001, 30000}},
               {48000, BEE_QualityBest, {-1, 1}, {1001, 30000}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + (c.quality == BEE_QualityBest ? " best" : " draft") + ", stretch " +
                 std::to_string(c.stretch.num) + "/" + std::to_string(c.stretch.den) + ", frames of " +
                 std::to_string(c.frame.value) + "/" + std::to_string(c.frame.scale) + " s");
    // A 16-bit mono 440 Hz tone, 1.2 s long.
    const uint32_t frames = c.rate * 6 / 5;
    const auto sample = [&](uint32_t i) {
      const double v = 16000 * std::sin(2 * kPi * 440 * (i / 2) / c.rate);
      return static_cast<uint32_t>(static_cast<int32_t>(std::lround(v))) >> (8 * (i % 2));
    };
    BEE_Item comp = NewComp("A");
    BEE_Item footage = Wav(("p" + std::to_string(files_++) + ".wav").c_str(), c.rate, 1, 16, frames * 2, sample);
    BEE_Layer layer = nullptr;
    ASSERT_EQ(BEE_CmdNewLayer(comp, footage, &layer), 0);
    ASSERT_EQ(BEE_CmdSetLayerQuality(layer, c.quality), 0);
    ASSERT_EQ(BEE_CmdSetLayerStretch(layer, c.stretch), 0);
    if (c.stretch.num < 0) {
      Time in{}, out{};
      BEE_GetLayerTime(layer, BEE_LayerTimeIn, &in, nullptr);
      BEE_GetLayerTime(layer, BEE_LayerTimeOut, &out, nullptr);
      ASSERT_EQ(BEE_CmdSetLayerTimes(layer, Time{1, 1}, in, out), 0);
    }
    // The composition, and the footage item asked directly.
    for (BEE_Item item : {comp, footage}) {
      const std::vector<int16_t> whole = Render(item, 0, 48000);
      ASSERT_EQ(whole.size(), 96000u);
      std::vector<int16_t> joined;
      for (int32_t k = 0; joined.size() < whole.size(); ++k) {
        const std::vector<int16_t> piece = Render(item, Time{k * c.frame.value, c.frame.scale}, c.frame);
        ASSERT_FALSE(piece.empty());
        joined.insert(joined.end(), piece.begin(), piece.end());
      }
      // A stretched layer is resampled twice, with rounding that depends on
      // where the piece starts: a few units of 16000 are that, not a step.
      const int tolerance = item == comp && (c.stretch.num != 1 || c.stretch.den != 1) ? 4 : 1;
      int64_t bad = 0;
      for (size_t i = 0; i < whole.size(); ++i)
        if (std::abs(joined[i] - whole[i]) > tolerance && bad++ < 3)
          ADD_FAILURE() << (item == comp ? "composition" : "footage") << " frame " << i / 2 << ": " << joined[i]
                        << " in pieces, " << whole[i] << " in one render";
      EXPECT_EQ(bad, 0);
    }
  }
}

struct ProgressSpy {
  std::vector<std::pair<int32_t, int32_t>> stages;
  int32_t stopAt = -1;
};

ErrorCode Spy(intptr_t refcon, int32_t selector, void* data) {
  auto* spy = reinterpret_cast<ProgressSpy*>(refcon);
  if (selector != BEE_SelProgress) return 0;
  const auto* p = static_cast<BEE_Progress*>(data);
  spy->stages.emplace_back(p->phase, p->done);
  return p->phase == spy->stopAt ? 1 : 0;
}

TEST_F(AudioTest, ProgressStagesInOrderAndAbort) {
  BEE_Item comp = NewComp("A");
  BEE_Layer top = nullptr, bottom = nullptr;
  ASSERT_EQ(BEE_CmdNewLayer(comp, ToneItem({440, 1000, 1000}), &bottom), 0);
  ASSERT_EQ(BEE_CmdNewLayer(comp, ToneItem({880, 1000, 1000}), &top), 0);
  LinearKeys(bottom, BEE_StreamAudioLevels, {{0, -3, -3}});
  ASSERT_EQ(BEE_CmdApplyEffect(top, GainClass(), nullptr), 0);
  ProgressSpy spy;
  ASSERT_EQ(BEE_SetCallbackFunc(Spy, reinterpret_cast<intptr_t>(&spy)), 0);
  SND_World w = nullptr;
  BEE_SoundProgress progress{};
  ASSERT_EQ(BEE_RenderItemSound(comp, 1, Time{0, 1}, Time{1, 10}, &kStereo16, &progress, &w), 0);
  SND_DisposeWorld(w);
  const std::vector<std::pair<int32_t, int32_t>> want = {{6, 0}, {7, 1}, {8, 1}, {12, 1}, {7, 0},
                                                         {8, 0}, {10, 0}, {13, 0}};
  EXPECT_EQ(spy.stages, want);
  EXPECT_EQ(progress.stage, BEE_SoundStageConvert);
  // Stopping at the levels ends the render with 517, nothing left behind.
  spy.stages.clear();
  spy.stopAt = BEE_SoundStageLevels;
  EXPECT_EQ(BEE_RenderItemSound(comp, 1, Time{0, 1}, Time{1, 10}, &kStereo16, &progress, &w), 517);
  EXPECT_EQ(w, nullptr);
}

}  // namespace
}  // namespace tv::bee::test
