// Footage interpretation: alpha conversions over every value and alpha,
// 3:2 pulldown removal for each phase against telecined film frames drawn by
// a timed test module, the pulldown and alpha guesses, pixel aspect defaults,
// and the mapping of times to frames under conforming and looping.
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>

#include "PIN_interp.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using tv::pin::PixelLock;

// ---- A timed test module: ".tvf" clips (width, height, video frames, phase,
// dominance, rate) whose video frames telecine film frames.

constexpr uint8_t kCadence[5][4] = {{0, 1, 1, 2}, {1, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 1}};

uint32_t FilmPixel(int64_t n, int32_t x, int32_t y) {
  const uint32_t k = static_cast<uint32_t>(n);
  return 0xFF000000u | ((k * 37 + static_cast<uint32_t>(x)) & 0xFF) << 16 |
         ((static_cast<uint32_t>(y) * 5 + k) & 0xFF) << 8 | (k & 0xFF);
}

struct Tvf {
  uint32_t width, height, frames, phase, dominance;
  Fixed rate;
};

// The film frame a field of video frame m shows (-1: none, a filler field).
int64_t FilmOf(const Tvf& t, int64_t m, bool firstField) {
  if (t.phase == 0) return m;
  for (int64_t n = std::max<int64_t>(0, (m - 2) * 4 / 5); n <= (m + 2) * 4 / 5 + 2; ++n) {
    const int64_t mm = n + n / 4;
    switch (kCadence[t.phase - 1][n % 4]) {
      case 0:
        if (mm == m) return n;
        break;
      case 2:
        if (mm + 1 == m) return n;
        break;
      default: {
        const int64_t a = (t.phase == 2 || t.phase == 3) ? mm - 1 : mm;
        // Split by the telecine: the second field of one video frame and
        // the first of the next.
        if ((!firstField && a == m) || (firstField && a + 1 == m)) return n;
      }
    }
  }
  return -1;
}

// The clips the test made, by file name: the module reads its parameters
// here rather than from the file's bytes.
std::map<std::string, Tvf> gClips;

ErrorCode TvfNew(PIN_SeqSpecH seq, FILE_SpecH file, uint32_t) {
  char name[FILE_MaxPath] = {};
  FILE_InqName(file, FILE_NameOnly, name, sizeof name);
  if (!gClips.count(name)) return kErrBadParam;
  const Tvf t = gClips[name];
  Handle h = NewHandle(sizeof(Tvf));
  std::memcpy(*h, &t, sizeof t);
  PIN_SetInstanceData(seq, h);
  PIN_SourceInfo info{};
  info.width = static_cast<int32_t>(t.width), info.height = static_cast<int32_t>(t.height);
  info.depth = 32;
  info.duration = tv::pin::FrameStart(t.frames, t.rate);
  info.start = Time{0, 1};
  info.nativeRate = t.rate;
  info.alpha.type = PIN_Alpha_Straight;
  return PIN_SetSourceInfo(seq, &info);
}

ErrorCode TvfDispose(PIN_SeqSpecH seq) {
  Handle h = nullptr;
  PIN_GetInstanceData(seq, &h);
  if (h) DisposeHandle(h);
  return PIN_SetInstanceData(seq, nullptr);
}

ErrorCode TvfDraw(PIN_SeqSpecH seq, const PIN_DrawParams* params, BM_World world) {
  Handle h = nullptr;
  PIN_GetInstanceData(seq, &h);
  const Tvf t = *reinterpret_cast<Tvf*>(*h);
  int32_t m = 0;
  if (ErrorCode err = PIN_GetFrameIndex(seq, &params->time, &m)) return err;
  PixelLock px(world);
  if (!px.ok()) return kErrBadParam;
  for (int32_t y = 0; y < px.height(); ++y) {
    const bool first = (y % 2 == 0) == (t.dominance == 0);
    const int64_t n = FilmOf(t, m, first);
    uint8_t* p = px.Row(y);
    for (int32_t x = 0; x < px.width(); ++x, p += 4) {
      const uint32_t v = n < 0 ? 0xFF00FF00u ^ static_cast<uint32_t>(m) : FilmPixel(n, x, y);
      p[0] = static_cast<uint8_t>(v >> 24), p[1] = static_cast<uint8_t>(v >> 16);
      p[2] = static_cast<uint8_t>(v >> 8), p[3] = static_cast<uint8_t>(v);
    }
  }
  return 0;
}

ErrorCode TvfBirth(PIN_ModuleInfo* info, PIN_ModuleProcs* procs) {
  info->signature = MakeFourCC("TVID");
  std::strcpy(info->name, "Test Video");
  info->flags = PIN_ModFlag_Files;
  info->maxWidth = info->maxHeight = 30000;
  info->numExtensions = 1;
  info->extension = info->extensions[0] = MakeFourCC(".tvf");
  PIN_InstallStillProcs(procs);
  procs->newSeqSpecFromFile = TvfNew;
  procs->disposeSeqSpec = TvfDispose;
  procs->drawSparseFrame = TvfDraw;
  return 0;
}

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", TsfBirth},
    {"Test Video", TvfBirth},
};

class PINInterpTest : public PINTest {
 protected:
  PINInterpTest() : PINTest(kDrivers) {}
  ~PINInterpTest() override { gClips.clear(); }
  PIN_SeqSpecH Video(const Tvf& t) {
    const std::string name = "clip" + std::to_string(seqs_.size()) + ".tvf";
    std::ofstream(dir.P(name)) << "TVF1";
    gClips[name] = t;
    return Opened(dir.P(name));
  }
};

// ---- Alpha ---------------------------------------------------------------------

PIN_AlphaInfo Alpha(uint8_t type, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0) {
  PIN_AlphaInfo a{};
  a.marker = PIN_AlphaMarker;
  a.type = type;
  a.flags = type == PIN_Alpha_Premul;
  a.red = r, a.green = g, a.blue = b;
  return a;
}

int RefPremul(int v, int a, int m) {
  return static_cast<int>(std::lround(a * v / 255.0)) + static_cast<int>(std::lround((255 - a) * m / 255.0));
}

TEST(PINAlpha, EveryValueAndAlpha) {
  const PIN_AlphaInfo straight = Alpha(PIN_Alpha_Straight);
  for (const uint8_t matte : {uint8_t{0}, uint8_t{255}, uint8_t{77}}) {
    const PIN_AlphaInfo premul = Alpha(PIN_Alpha_Premul, matte, matte, matte);
    for (int a = 0; a < 256; ++a)
      for (int v = 0; v < 256; ++v) {
        uint8_t px[4] = {static_cast<uint8_t>(a), static_cast<uint8_t>(v), static_cast<uint8_t>(v),
                         static_cast<uint8_t>(255 - v)};
        tv::pin::ConvertAlpha(straight, premul, false, px, 1);
        ASSERT_EQ(px[1], RefPremul(v, a, matte)) << "v " << v << " a " << a << " matte " << int{matte};
        ASSERT_EQ(px[3], RefPremul(255 - v, a, matte));
        ASSERT_EQ(px[0], a);
        // Back to straight: exact where alpha keeps the value's precision.
        tv::pin::ConvertAlpha(premul, straight, false, px, 1);
        const int tolerance = a == 0 ? 255 : (255 + a - 1) / a;
        ASSERT_LE(std::abs(px[1] - v), tolerance) << "v " << v << " a " << a << " matte " << int{matte};
        if (a == 255 || a == 0) {
          ASSERT_EQ(px[1], a ? v : 0);  // opaque: exact; clear: zero
        }
      }
  }
}

TEST(PINAlpha, IgnoreInvertAndMatteChange) {
  struct Case {
    PIN_AlphaInfo from, to;
    bool invert;
    uint8_t in[4], out[4];
  } cases[] = {
      {Alpha(0), Alpha(PIN_Alpha_Ignore), false, {10, 1, 2, 3}, {255, 1, 2, 3}},
      {Alpha(PIN_Alpha_None), Alpha(0), false, {10, 1, 2, 3}, {255, 1, 2, 3}},
      {Alpha(0), Alpha(0), true, {10, 1, 2, 3}, {245, 1, 2, 3}},
      {Alpha(1), Alpha(1), false, {0, 9, 9, 9}, {0, 9, 9, 9}},
      // Half alpha over white moved onto black: 255 * 128 / 255 + 127 -> 128 straight-ish 255.
      {Alpha(1, 255, 255, 255), Alpha(1), false, {128, 255, 127, 191}, {128, 128, 0, 64}},
  };
  for (const Case& c : cases) {
    uint8_t px[4];
    std::memcpy(px, c.in, 4);
    tv::pin::ConvertAlpha(c.from, c.to, c.invert, px, 1);
    EXPECT_EQ(std::vector<int>(px, px + 4), std::vector<int>(c.out, c.out + 4));
  }
}

TEST_F(PINInterpTest, DrawConvertsToTheInterpretation) {
  PIN_SeqSpecH seq = Video({4, 2, 6, 0, 0, 30 << 16});
  const PIN_AlphaInfo black = Alpha(PIN_Alpha_Premul);
  ASSERT_EQ(PIN_SetAlphaType(seq, &black), 0);
  BM_World w = World(4, 2);
  PIN_DrawParams p{};
  p.time = Time{0, 1};
  p.flags = PIN_Draw_InvertAlpha;
  ASSERT_EQ(PIN_DrawFrame(seq, w, &p), 0);
  // The module draws opaque pixels: inverted to alpha 0, then premultiplied.
  EXPECT_EQ(Pixel(w, 1, 1), 0u);
  const PIN_AlphaInfo bad = Alpha(4);
  EXPECT_EQ(PIN_SetAlphaType(seq, &bad), kErrBadParam);
}

// ---- Pulldown ---------------------------------------------------------------------

struct PulldownCase {
  uint32_t phase, dominance;
  Fixed rate;
};

class PINPulldownTest : public PINInterpTest, public ::testing::WithParamInterface<PulldownCase> {};

TEST_P(PINPulldownTest, DrawsEveryFilmFrame) {
  const PulldownCase c = GetParam();
  const Tvf t{6, 4, 20, c.phase, c.dominance, c.rate};
  PIN_SeqSpecH seq = Video(t);
  PIN_FieldInfo f{MakeFourCC("FIEL"), 1, 1, c.dominance, 0};
  ASSERT_EQ(PIN_SetInterlace(seq, &f), 0);
  ASSERT_EQ(PIN_SetPulldown(seq, c.phase), 0);
  const Fixed film = tv::pin::FilmRate(c.rate);
  BM_World w = World(6, 4);
  for (int64_t n = 0; n < 16; ++n) {
    PIN_DrawParams p{};
    p.time = tv::pin::FrameStart(n, film);
    ASSERT_EQ(PIN_DrawFrame(seq, w, &p), 0);
    const tv::pin::PulldownStep step = tv::pin::PulldownFor(c.phase, n);
    const bool cut = step.split && (step.first < 0 || step.second >= 20);
    for (int32_t y = 0; y < 4; ++y) {
      const bool firstRow = (y % 2 == 0) == (c.dominance == 0);
      // A split frame at the ends keeps only the field it has: the later
      // frame's first, or the earlier frame's second.
      if (cut && firstRow == (step.second >= 20)) continue;
      for (int32_t x = 0; x < 6; ++x)
        ASSERT_EQ(Pixel(w, x, y), FilmPixel(n, x, y)) << "phase " << c.phase << " film frame " << n << " row " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Phases, PINPulldownTest,
                         ::testing::Values(PulldownCase{1, 0, 30 << 16}, PulldownCase{2, 0, 30 << 16},
                                           PulldownCase{3, 1, 30 << 16}, PulldownCase{4, 1, 1964114},
                                           PulldownCase{5, 0, 1964114}, PulldownCase{2, 1, 1964114}));

TEST_F(PINInterpTest, PulldownNeedsFieldsAndTime) {
  PIN_SeqSpecH seq = Video({4, 2, 10, 0, 0, 30 << 16});
  EXPECT_EQ(PIN_SetPulldown(seq, 1), PIN_ErrBadRequest);
  EXPECT_EQ(rec.reports.back().text,
            Logged("field order must be set before 3:2 pulldown can be removed.", PIN_ErrBadRequest));
  PIN_FieldInfo f{MakeFourCC("FIEL"), 1, 1, 0, 0};
  ASSERT_EQ(PIN_SetInterlace(seq, &f), 0);
  EXPECT_EQ(PIN_SetPulldown(seq, 6), kErrBadParam);
  ASSERT_EQ(PIN_SetPulldown(seq, 3), 0);
  // Fields off turns the pulldown off.
  f.separate = 0;
  ASSERT_EQ(PIN_SetInterlace(seq, &f), 0);
  EXPECT_EQ(OUT(PIN_GetInterpretation, seq).pulldown, 0u);
}

TEST(PINPulldownGuess, FindsEachPhaseFromTheDifferences) {
  const uint64_t ramp[5] = {100, 120, 80, 110, 90};
  for (uint32_t order : {1u, 2u})
    for (uint32_t phase = 1; phase <= 5; ++phase) {
      // The dips: for upper first, even at iE and odd two later (or three
      // earlier); for lower first the other way round.
      const int dip = static_cast<int>((5 - (phase - 1)) % 5);
      const int other = dip + 2 <= 4 ? dip + 2 : dip - 3;
      uint64_t even[5], odd[5];
      for (int i = 0; i < 5; ++i) even[i] = odd[i] = ramp[i];
      if (order == 1)
        even[dip] = 0, odd[other] = 0;
      else
        odd[dip] = 0, even[other] = 0;
      uint32_t gotOrder = 9, gotPhase = 9;
      tv::pin::GuessPulldownFromDifferences(even, odd, &gotOrder, &gotPhase);
      EXPECT_EQ(gotOrder, order) << phase;
      EXPECT_EQ(gotPhase, phase) << order;
    }
  // Identical frames: the dip equals twice the (zero) deviation.
  const uint64_t still[5] = {};
  uint32_t order = 9, phase = 9;
  tv::pin::GuessPulldownFromDifferences(still, still, &order, &phase);
  EXPECT_EQ(order, 0u);
  EXPECT_EQ(phase, 0u);
}

// ---- Alpha guess ---------------------------------------------------------------------

TEST(PINAlphaGuess, Branches) {
  struct Case {
    const char* name;
    std::vector<uint32_t> pixels;  // ARGB
    uint8_t type, r, g, b;
    bool unable;
  } cases[] = {
      {"all clear", {0x00000000, 0x00FFFFFF}, PIN_Alpha_Ignore, 0, 0, 0, true},
      {"white matte", {0x00FFFFFF, 0x80FFC0A0, 0xFF102030}, PIN_Alpha_Premul, 255, 255, 255, false},
      {"black matte", {0x00000000, 0x80402010, 0xFF102030}, PIN_Alpha_Premul, 0, 0, 0, false},
      {"black but brighter than alpha", {0x00000000, 0x10402010}, PIN_Alpha_Straight, 0, 0, 0, false},
      {"clear pixels vary", {0x00123456, 0x00000001, 0xFF102030}, PIN_Alpha_Straight, 0, 0, 0, false},
      {"grey matte", {0x00404040, 0x80404040, 0xFF102030}, PIN_Alpha_Premul, 0x40, 0x40, 0x40, false},
      {"one colour everywhere", {0x00404040, 0x80404040}, PIN_Alpha_Straight, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : c.pixels)
      for (int s : {24, 16, 8, 0}) bytes.push_back(static_cast<uint8_t>(v >> s));
    bool unable = false;
    const PIN_AlphaInfo a = tv::pin::GuessAlphaFromPixels(bytes.data(), static_cast<int32_t>(bytes.size()),
                                                         static_cast<int32_t>(c.pixels.size()), 1, &unable);
    EXPECT_EQ(a.type, c.type) << c.name;
    EXPECT_EQ(unable, c.unable) << c.name;
    EXPECT_EQ((std::vector<int>{a.red, a.green, a.blue}), (std::vector<int>{c.r, c.g, c.b})) << c.name;
  }
}

TEST_F(PINInterpTest, AlphaGuessOnFootage) {
  PIN_SeqSpecH seq = Video({4, 2, 6, 0, 0, 30 << 16});
  PIN_AlphaInfo a{};
  // Opaque frames of several colours: straight, without asking.
  EXPECT_EQ(OUT(PIN_GuessAlphaType, seq, &a), 0);
  EXPECT_EQ(a.type, PIN_Alpha_Straight);
}

// ---- Pixel aspect, conforming, looping ----------------------------------------------------

TEST_F(PINInterpTest, PixelAspectDefaultsBySize) {
  struct Case {
    uint32_t w, h, num, den;
  } cases[] = {{720, 486, 648, 720}, {720, 480, 648, 720}, {720, 576, 768, 720}, {1440, 1024, 128, 135},
               {2880, 2048, 128, 135}, {640, 480, 1, 1},   {720, 487, 1, 1}};
  int k = 0;
  for (const Case& c : cases) {
    const std::string path = dir.path() + "/par" + std::to_string(k++) + ".tsf";
    WriteTsf(path, c.w, c.h, 1);
    PIN_SeqSpecH seq = Opened(path);
    PIN_Interpretation i = OUT(PIN_GetInterpretation, seq);
    EXPECT_EQ(i.hsfNum, c.num) << c.w << "x" << c.h;
    EXPECT_EQ(i.hsfDen, c.den) << c.w << "x" << c.h;
  }
  EXPECT_EQ(PIN_SetHSF(seqs_[0], 10, 11), 0);
  EXPECT_EQ(PIN_SetHSF(seqs_[0], 0, 11), kErrBadParam);
  EXPECT_EQ(PIN_SetHSF(seqs_[0], 10, 100001), kErrBadParam);
}

TEST_F(PINInterpTest, ConformAndLoopMapTimesToFrames) {
  PIN_SeqSpecH seq = Video({4, 2, 10, 0, 0, 30 << 16});
  const auto index = [&](int32_t value, uint32_t scale) {
    const Time t{value, scale};
    int32_t i = -1;
    EXPECT_EQ(PIN_GetFrameIndex(seq, &t, &i), 0);
    return i;
  };
  EXPECT_EQ(index(9, 30), 9);
  ASSERT_EQ(PIN_SetSequenceFPS(seq, 15 << 16), 0);
  EXPECT_EQ(index(9, 15), 9);   // ten frames at 15 a second
  EXPECT_EQ(index(1, 2), 7);    // 0.5 s
  Time d = OUT(PIN_GetDuration, seq);
  EXPECT_EQ(static_cast<double>(d.value) / d.scale, 10.0 / 15);
  EXPECT_EQ(PIN_SetSequenceFPS(seq, 0), kErrBadParam);
  EXPECT_EQ(PIN_SetSequenceFPS(seq, 1000 << 16), kErrBadParam);
  PIN_Loop loop{3, 0};
  ASSERT_EQ(PIN_SetLooping(seq, &loop), 0);
  EXPECT_EQ(index(12, 15), 2);   // second play
  EXPECT_EQ(index(29, 15), 9);   // end of the third
  EXPECT_EQ(index(35, 15), 9);   // held
  ASSERT_EQ(PIN_SetSequenceFPS(seq, static_cast<Fixed>(0xFFFFFFFFu)), 0);
  EXPECT_EQ(OUT(PIN_GetInterpretation, seq).conformedRate, 0);
  EXPECT_EQ(index(12, 30), 2);
}

TEST_F(PINInterpTest, StillsTakeTheRateAsTheirOwn) {
  for (int k = 0; k < 4; ++k) WriteTsf(dir.path() + "/s_" + std::to_string(k) + ".tsf", 4, 4, k);
  PIN_SeqSpecH seq = Opened(dir.path() + "/s_0.tsf", PIN_Import_Sequence);
  ASSERT_EQ(PIN_SetSequenceFPS(seq, 2 << 16), 0);
  Time d = OUT(PIN_GetDuration, seq);
  EXPECT_EQ(static_cast<double>(d.value) / d.scale, 2.0);
  EXPECT_EQ(PIN_SetSequenceFPS(seq, static_cast<Fixed>(0xFFFFFFFFu)), PIN_ErrBadRequest);
  EXPECT_EQ(rec.reports.back().text,
            Logged("sequences without time do not have a native frame rate.", PIN_ErrBadRequest));
}

// The NTSC rates, as written (29.97) or exact (30000/1001 in 16.16), are
// one frame grid with a composition's: the frame at a composition frame's
// time is that frame, never the one before, and the footage lasts exactly
// its frames.
TEST_F(PINInterpTest, NtscRatesKeepInStepWithCompositions) {
  for (int k = 0; k < 12; ++k) WriteTsf(dir.path() + "/n_" + std::to_string(k) + ".tsf", 4, 4, k);
  PIN_SeqSpecH still = Opened(dir.path() + "/n_0.tsf", PIN_Import_Sequence);
  PIN_SeqSpecH video = Video({4, 2, 40, 0, 0, 30 << 16});
  const struct {
    Fixed rate;
    Time frame;
  } rates[] = {{1964114, {1001, 30000}}, {1964116, {1001, 30000}}, {3928228, {1001, 60000}},
               {1571291, {1001, 24000}}, {1571293, {1001, 24000}}, {25 << 16, {1, 25}}};
  for (const auto& r : rates) {
    SCOPED_TRACE(r.rate);
    ASSERT_EQ(PIN_SetSequenceFPS(still, r.rate), 0);
    ASSERT_EQ(PIN_SetSequenceFPS(video, r.rate), 0);
    for (int32_t i = 0; i < 12; ++i) {
      const Time t{i * static_cast<int32_t>(r.frame.value), r.frame.scale};
      int32_t a = -1, b = -1;
      EXPECT_EQ(PIN_GetFrameIndex(still, &t, &a), 0);
      EXPECT_EQ(PIN_GetFrameIndex(video, &t, &b), 0);
      EXPECT_EQ(a, i);
      EXPECT_EQ(b, i);
    }
    const Time d = OUT(PIN_GetDuration, still);
    EXPECT_EQ(int64_t{d.value} * r.frame.scale, int64_t{12} * r.frame.value * d.scale) << d.value << "/" << d.scale;
  }
}

TEST_F(PINInterpTest, InterpretationTransfersWhole) {
  PIN_SeqSpecH a = Video({4, 2, 10, 0, 0, 30 << 16});
  PIN_SeqSpecH b = Video({4, 2, 10, 0, 0, 30 << 16});
  PIN_Interpretation i = OUT(PIN_GetInterpretation, a);
  i.field.separate = 1, i.field.dominance = 1;
  i.pulldown = 4;
  i.alpha = Alpha(PIN_Alpha_Premul, 1, 2, 3);
  i.hsfNum = 4, i.hsfDen = 3;
  i.conformedRate = 25 << 16;
  i.loop = PIN_Loop{2, 7};
  ASSERT_EQ(PIN_SetInterpretation(a, &i), 0);
  OUT(PIN_TransferInterpretation, a, 0, b);
  PIN_Interpretation got = OUT(PIN_GetInterpretation, b);
  EXPECT_EQ(std::memcmp(&got, &i, sizeof i), 0);
  // A bad record changes nothing.
  PIN_Interpretation bad = i;
  bad.field.separate = 0;  // pulldown without fields
  EXPECT_EQ(PIN_SetInterpretation(b, &bad), kErrBadParam);
  EXPECT_EQ(OUT(PIN_GetInterpretation, b).pulldown, 4u);
}

}  // namespace
}  // namespace tv::test::pin
