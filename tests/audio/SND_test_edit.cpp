// The edits: resize, clip, reverse, stretch, edge softening, the
// level envelope and time remapping (fast kernels against the literal ones).
#include <cmath>
#include <random>

#include "SND_test_support.h"

namespace tv::test {
namespace {

class SNDEdit : public SNDTest {
 protected:
  std::vector<int16_t> Ramp(int n, int from = 1) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>(from + i);
    return v;
  }
};

TEST_F(SNDEdit, ResizeMovesFramesAndFillsSilence) {
  // Shift -10, 100 frames on 50: 10 of silence, the 50, 40 of silence; the
  // start moves 10 frames earlier. The silence of each encoding.
  const struct {
    SND_Format f;
    uint8_t silence[4];
  } rows[] = {{Fmt(8000, SND_Encoding_Unsigned, 1, 1), {0x80}},
              {Fmt(8000, SND_Encoding_Unsigned, 2, 1), {0x00, 0x80}},
              {Fmt(8000, SND_Encoding_Signed, 1, 1), {0}},
              {Fmt(8000, SND_Encoding_Signed, 2, 2), {0, 0, 0, 0}},
              {Fmt(8000, SND_Encoding_Float, 4, 1), {0, 0, 0, 0}}};
  for (const auto& row : rows) {
    const int fb = row.f.bytesPerSample * row.f.channels;
    std::vector<uint8_t> old(static_cast<size_t>(50 * fb));
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i % 97 + 1);
    SND_World w = Make<uint8_t>(row.f, old, Time{100, 8000});
    ASSERT_EQ(SND_Resize(-10, 100, w), 0);
    std::vector<uint8_t> want;
    for (int i = 0; i < 100 * row.f.channels; ++i)
      want.insert(want.end(), row.silence, row.silence + row.f.bytesPerSample);
    std::copy(old.begin(), old.end(), want.begin() + 10 * fb);
    EXPECT_EQ(Samples<uint8_t>(w), want);
    EXPECT_EQ(Info(w).start, (Time{90, 8000}));
  }
  // Shifts beyond what is held, and counts shorter than the move.
  SND_World w = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), Ramp(5));
  ASSERT_EQ(SND_Resize(7, 3, w), 0);
  EXPECT_EQ(Samples<int16_t>(w), (std::vector<int16_t>{0, 0, 0}));
  SND_World v = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), Ramp(5));
  ASSERT_EQ(SND_Resize(-3, 4, v), 0);
  EXPECT_EQ(Samples<int16_t>(v), (std::vector<int16_t>{0, 0, 0, 1}));
  ASSERT_EQ(SND_Resize(2, 1, v), 0);
  EXPECT_EQ(Samples<int16_t>(v), (std::vector<int16_t>{0}));
  EXPECT_EQ(SND_Resize(0, -1, v), kErrBadParam);
}

TEST_F(SNDEdit, Clip) {
  const SND_Format f = Fmt(1000, SND_Encoding_Signed, 2, 1);
  SND_World w = Make<int16_t>(f, Ramp(100), Time{100, 1000});
  ASSERT_EQ(SND_Clip(Time{150, 1000}, Time{20, 1000}, w), 0);
  EXPECT_EQ(Samples<int16_t>(w), Ramp(20, 51));
  EXPECT_EQ(Info(w).start, (Time{150, 1000}));
  EXPECT_DOUBLE_EQ(Info(w).durationSeconds, 0.02);
  // The span reaching past the end keeps what exists.
  // (begins at frame round(10.5) = 11: 10 frames asked, 9 exist)
  ASSERT_EQ(SND_Clip(Time{1605, 10000}, Time{1, 1}, w), 0);
  EXPECT_EQ(Samples<int16_t>(w), Ramp(9, 62));
  EXPECT_EQ(Info(w).start, (Time{1605, 10000}));
  // No overlap: nothing is left, at the span's start.
  ASSERT_EQ(SND_Clip(Time{5, 1}, Time{1, 1}, w), 0);
  EXPECT_EQ(Info(w).frames, 0);
  EXPECT_EQ(Info(w).start, (Time{5, 1}));
}

TEST_F(SNDEdit, ReverseAndStretch) {
  const SND_Format f = Fmt(8000, SND_Encoding_Signed, 2, 2);
  SND_World w = Make<int16_t>(f, {1, -1, 2, -2, 3, -3}, Time{8, 8000});
  ASSERT_EQ(SND_Reverse(w), 0);
  EXPECT_EQ(Samples<int16_t>(w), (std::vector<int16_t>{3, -3, 2, -2, 1, -1}));
  // Ratio -1: rate and duration kept, start mirrored and moved back by the
  // duration, frames reversed.
  ASSERT_EQ(SND_Stretch(1, -65536, Time{0, 1}, 0, w), 0);
  EXPECT_EQ(Samples<int16_t>(w), (std::vector<int16_t>{1, -1, 2, -2, 3, -3}));
  SND_WorldInfo info = Info(w);
  EXPECT_EQ(info.format.rate, 8000.0);
  EXPECT_EQ(info.start, (Time{-11, 8000}));
  EXPECT_EQ(info.durationSeconds, 3.0 / 8000);
  rec.clear();
  EXPECT_EQ(SND_Stretch(1, 0, Time{0, 1}, 0, w), kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: a stretch ratio of 0 -- a bad parameter was passed.");
}

TEST_F(SNDEdit, SoftenEdges) {
  // 44 frames at 44.1 kHz, frame k scaled by (k + 1) / 45, at both ends.
  SND_World w = Make<float>(Fmt(44100, SND_Encoding_Float, 4, 2), std::vector<float>(2 * 100, 1.0f));
  ASSERT_EQ(SND_SoftenEdges(1, 1, w), 0);
  const std::vector<float> got = Samples<float>(w);
  for (int k = 0; k < 44; ++k) {
    EXPECT_NEAR(got[static_cast<size_t>(2 * k)], (k + 1) / 45.0, 1e-6);
    EXPECT_EQ(got[static_cast<size_t>(2 * k + 1)], got[static_cast<size_t>(2 * k)]);
    EXPECT_NEAR(got[static_cast<size_t>(199 - 2 * k)], (k + 1) / 45.0, 1e-6);
  }
  EXPECT_EQ(got[88], 1.0f);
  // Silence of an unsigned world stays silence (no click); 16-bit rounds.
  SND_World u = Make<uint8_t>(Fmt(44100, SND_Encoding_Unsigned, 1, 1), std::vector<uint8_t>(60, 0x80));
  ASSERT_EQ(SND_SoftenEdges(1, 1, u), 0);
  EXPECT_EQ(Samples<uint8_t>(u), std::vector<uint8_t>(60, 0x80));
  SND_World s = Make<int16_t>(Fmt(44100, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(60, -1000));
  ASSERT_EQ(SND_SoftenEdges(1, 0, s), 0);
  EXPECT_EQ(Samples<int16_t>(s)[0], -22);  // -1000 / 45 = -22.2
  EXPECT_EQ(Samples<int16_t>(s)[59], -1000);
  // Below 1 kHz there is no ramp; a ramp longer than the world covers it all.
  SND_World q = Make<int16_t>(Fmt(500, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(10, 1000));
  ASSERT_EQ(SND_SoftenEdges(1, 1, q), 0);
  EXPECT_EQ(Samples<int16_t>(q), std::vector<int16_t>(10, 1000));
  SND_World r = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(3, 1000));
  ASSERT_EQ(SND_SoftenEdges(1, 0, r), 0);
  EXPECT_EQ(Samples<int16_t>(r), (std::vector<int16_t>{250, 500, 750}));
}

TEST_F(SNDEdit, EnvelopeLimitsLevelsAndSamples) {
  // +30 dB is applied as +24 dB and limited to the 16-bit range; -300 dB as
  // -192 dB (nothing left).
  const struct {
    double dB;
    int16_t in;
    int16_t out;
  } rows[] = {{30, 1000, 15849}, {30, 3000, 32767}, {30, -3000, -32768}, {-300, 32767, 0}, {-6, 10000, 5012}};
  for (const auto& row : rows) {
    TDB_Stream levels = Levels(1, true);
    ASSERT_EQ(TDB_InsertKeyF(levels, nullptr, 0, 0, &row.dB, 1, 1), 0);
    SND_World w = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(4, row.in));
    ASSERT_EQ(SND_Envelope(1, 1, 100, levels, 0, w), 0);
    EXPECT_EQ(Samples<int16_t>(w), (std::vector<int16_t>{row.in, row.out, row.out, row.out})) << row.dB;
    ASSERT_EQ(TDB_DisposeStream(levels), 0);
  }
}

// The fast kernels of the levels and of time remapping give the bytes of the
// literal ones: random samples of every format, random level ramps through
// both limits, random remapping curves, random spans and starts.
TEST_F(SNDEdit, FastLevelsAndRemappingEqualTheLiteralKernels) {
  std::mt19937 rng(57);
  const SND_Format formats[] = {Fmt(8000, SND_Encoding_Unsigned, 1, 2), Fmt(11025, SND_Encoding_Signed, 1, 1),
                                Fmt(22050, SND_Encoding_Unsigned, 2, 1), Fmt(44100, SND_Encoding_Signed, 2, 2),
                                Fmt(48000, SND_Encoding_Signed, 2, 1), Fmt(32000, SND_Encoding_Float, 4, 2)};
  const auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  // Runs both kernels on copies of the samples; *out gets the fast one's.
  const auto both = [&](const SND_Format& f, const std::vector<uint8_t>& bytes, Time start, auto op) {
    std::vector<uint8_t> got[2];
    for (int ref = 0; ref < 2; ++ref) {
      ASSERT_EQ(SNDp_UseReferenceKernels(ref), 0);
      Make<uint8_t>(f, bytes, start);
      SND_World* w = &kept_.back();  // remapping replaces the world in its slot
      op(w);
      got[ref] = Samples<uint8_t>(*w);
    }
    ASSERT_EQ(SNDp_UseReferenceKernels(0), 0);
    EXPECT_EQ(got[0], got[1]) << f.rate << " " << f.encoding << " " << f.bytesPerSample << " " << f.channels;
  };
  for (int round = 0; round < 4; ++round)
    for (const SND_Format& f : formats) {
      const int64_t frames = 3000 + rng() % 20000;
      std::vector<uint8_t> bytes(static_cast<size_t>(frames * f.channels * f.bytesPerSample));
      for (auto& b : bytes) b = static_cast<uint8_t>(rng());
      if (f.encoding == SND_Encoding_Float) {
        auto* v = reinterpret_cast<float*>(bytes.data());
        for (size_t i = 0; i < bytes.size() / 4; ++i) v[i] = static_cast<float>(uniform(-1.5, 1.5));
      }
      const Time start{static_cast<int32_t>(rng() % 3000) - 1000, 1000};
      // Levels: a few linear keys per channel, reaching past +24 and -192 dB.
      TDB_Stream levels = Levels(2, false);
      for (int k = 0; k < 5; ++k) {
        const double v[2] = {uniform(-230, 40), uniform(-30, 30)};
        ASSERT_EQ(TDB_InsertKeyF(levels, nullptr, static_cast<int32_t>(rng() % 4000) - 1000, 1, v, 1, 1), 0);
      }
      const int64_t first = rng() % 500, count = rng() % frames;
      const int32_t quality = static_cast<int32_t>(rng() % 2);
      both(f, bytes, start, [&](SND_World* w) { ASSERT_EQ(SND_Envelope(quality, first, count, levels, 0, *w), 0); });
      // Remapping: source seconds as a curve through random keys.
      TDB_Stream remap = Levels(1, false);
      for (int k = 0; k < 4; ++k) {
        const double v = uniform(-0.2, 1.5);
        ASSERT_EQ(TDB_InsertKeyF(remap, nullptr, static_cast<int32_t>(rng() % 3000), 1, &v, 1, 1), 0);
      }
      both(f, bytes, start, [&](SND_World* w) {
        Handle data = nullptr;
        int64_t srcFirst = 0, srcCount = 0;
        ASSERT_EQ(SND_SetupTimeRemapSound(quality, &f, first, count, remap, &data, &srcFirst, &srcCount), 0);
        ASSERT_EQ(SND_RenderTimeRemapSound(quality, first, count, data, w), 0);
        ASSERT_EQ(SND_DisposeTimeRemapData(data), 0);
      });
      ASSERT_EQ(TDB_DisposeStream(levels), 0);
      ASSERT_EQ(TDB_DisposeStream(remap), 0);
    }
}

}  // namespace
}  // namespace tv::test
