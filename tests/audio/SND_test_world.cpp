// Formats, worlds, times and samples, levels and the resampling window.
#include <bit>
#include <cmath>
#include <limits>

#include "Memory.h"
#include "SND_internal.h"
#include "SND_test_support.h"

namespace tv::test {
namespace {

class SNDWorld : public SNDTest {};

TEST_F(SNDWorld, StoredFormatAndDefaultRate) {
  // The rate is unsigned 16.16: 44100 Hz has the top bit set.
  const SND_StoredFormat stored{{0xAC, 0x44, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x02}};
  SND_Format f{};
  ASSERT_EQ(SND_Convert2FormatInfo(&stored, &f), 0);
  EXPECT_EQ(f.rate, 44100.0);
  EXPECT_EQ(f.encoding, SND_Encoding_Signed);
  EXPECT_EQ(f.bytesPerSample, 2);
  EXPECT_EQ(f.channels, 2);
  SND_StoredFormat back{};
  ASSERT_EQ(SNDp_Convert2StoredFormat(&f, &back), 0);
  EXPECT_EQ(0, std::memcmp(back.bytes, stored.bytes, 10));

  EXPECT_EQ(std::bit_cast<uint64_t>(SND_DEFAULT_RATE), 0x40C5BBA2E8800000ull);
  EXPECT_EQ(SND_DEFAULT_RATE, 0x2B7745D1 / 65536.0);
  SND_World w = nullptr;
  ASSERT_EQ(SND_NewWorld(nullptr, nullptr, &w), 0);
  const SND_WorldInfo info = Info(w);
  EXPECT_EQ(std::bit_cast<uint64_t>(info.format.rate), 0x40C5BBA2E8800000ull);
  EXPECT_EQ(info.format.encoding, SND_Encoding_Unsigned);
  EXPECT_EQ(info.format.bytesPerSample, 1);
  EXPECT_EQ(info.format.channels, 1);
  EXPECT_EQ(info.start, (Time{0, 11127}));
  EXPECT_EQ(info.frames, 0);
  EXPECT_EQ(SND_DisposeWorld(w), 0);
}

TEST_F(SNDWorld, InfoStrings) {
  const struct {
    SND_Format f;
    const char* text;
  } rows[] = {
      {Fmt(44100, SND_Encoding_Signed, 2, 2), "44.100 KHz / 16 bit / Stereo"},
      {Fmt(22050, SND_Encoding_Unsigned, 2, 1), "22.050 KHz / 16 bit U / Mono"},
      {Fmt(SND_DEFAULT_RATE, SND_Encoding_Unsigned, 1, 1), "11.127 KHz / 8 bit / Mono"},
      {Fmt(8000, SND_Encoding_Signed, 1, 2), "8.000 KHz / 8 bit S / Stereo"},
      {Fmt(48000, SND_Encoding_Float, 4, 2), "48.000 KHz / 32 bit F / Stereo"},
      {Fmt(96000, SND_Encoding_Signed, 4, 1), "96.000 KHz / 32 bit / Mono"},
      {Fmt(48000, SND_Encoding_Signed, 2, 0), "None"},
  };
  for (const auto& row : rows) {
    SND_InfoText text{};
    ASSERT_EQ(SND_GetInfoString(&row.f, &text), 0);
    EXPECT_STREQ(text.text, row.text);
  }
}

TEST_F(SNDWorld, CreationRefusalsAndRecords) {
  SND_World w = nullptr;
  Handle record = NewHandleClear(8);
  EXPECT_EQ(SND_NewWorld(nullptr, nullptr, nullptr), kErrBadParam);
  EXPECT_EQ(SND_NewWorld(nullptr, record, &w), kErrBadParam);
  EXPECT_EQ(w, nullptr);
  ASSERT_EQ(rec.reports.size(), 2u);
  EXPECT_EQ(rec.last().text, "Test error: invalid parameter -- a bad parameter was passed.");
  EXPECT_EQ(rec.last().location, Location(SND_PackageNumber, 3));
  // Formats no world holds, among them rates of 0, NaN and below 0.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const SND_Format& f : {Fmt(0, 2, 2, 2), Fmt(nan, 2, 2, 2), Fmt(-44100, 2, 2, 2), Fmt(44100, 3, 2, 2),
                              Fmt(44100, 2, 3, 2), Fmt(44100, 2, 2, 3), Fmt(44100, 4, 2, 2)}) {
    EXPECT_EQ(SND_NewWorld(&f, nullptr, &w), kErrBadParam);
    EXPECT_EQ(w, nullptr);
  }
  // A record given by the caller: made a world in place, its buffer freed by
  // disposal, the record left to the caller; a second use is reported.
  ASSERT_EQ(SND_NewWorld(nullptr, record, nullptr), 0);
  EXPECT_EQ(Info(record).ownsRecord, 0);
  rec.clear();
  void* p = nullptr;
  ASSERT_EQ(SND_SizeAndLockBuffer(4, 0, record, &p), 0);
  ASSERT_EQ(SND_UnlockBuffer(record), 0);
  ASSERT_EQ(SND_DisposeWorld(record), 0);
  ASSERT_EQ(SND_NewWorld(nullptr, record, nullptr), 0);
  EXPECT_TRUE(rec.reports.empty());
  // The world the second call overwrites keeps its buffer (the record might
  // be a copy of a live world's): the test frees it.
  Handle lost = snd::Rec(record).buffer;
  ASSERT_EQ(SND_NewWorld(nullptr, record, nullptr), 0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test warning: reinitializing unterminated sound world.");
  EXPECT_NE(snd::Rec(record).buffer, lost);
  DisposeHandle(lost);
  snd::CountWorld(-1);
  ASSERT_EQ(SND_DisposeWorld(record), 0);
  DisposeHandle(record);
  // Damage: both markers are checked.
  ASSERT_EQ(SND_NewWorld(nullptr, nullptr, &w), 0);
  rec.clear();
  (*w)[0] ^= 1;
  EXPECT_EQ(SND_Reverse(w), kErrDamaged);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: Internal structure is damaged -- internal structure damaged.");
  (*w)[0] ^= 1;
  EXPECT_EQ(SND_DisposeWorld(w), 0);
  EXPECT_EQ(SND_DisposeWorld(w), kErrDamaged);  // a stale handle: nothing touched
}

TEST_F(SNDWorld, LockingAndSizing) {
  SND_World w = New(Fmt(48000, SND_Encoding_Unsigned, 2, 2));
  void* p = nullptr;
  ASSERT_EQ(SND_SizeAndLockBuffer(10, 1, w, &p), 0);
  // New room is silence.
  for (int i = 0; i < 20; ++i) EXPECT_EQ(static_cast<uint16_t*>(p)[i], 0x8000);
  // Nested: the buffer stays locked until the last unlock.
  ASSERT_EQ(SND_LockBuffer(0, w), 0);
  ASSERT_EQ(SND_UnlockBuffer(w), 0);
  void* q = nullptr;
  EXPECT_EQ(SND_SizeAndLockBuffer(20, 0, w, &q), kErrBadParam);  // locked
  EXPECT_EQ(q, nullptr);
  ASSERT_EQ(SND_UnlockBuffer(w), 0);
  EXPECT_EQ(SND_UnlockBuffer(w), kErrBadParam);
  EXPECT_EQ(SND_SizeAndLockBuffer(-1, 0, w, &q), kErrBadParam);
  EXPECT_EQ(SND_SizeAndLockBuffer(INT64_MAX / 2, 0, w, &q), kErrBadParam);
  EXPECT_EQ(SND_SetWorldStartTime(kInvalidTime, w), kErrBadParam);
}

TEST_F(SNDWorld, TimeToSample) {
  const struct {
    int32_t mode;
    double rate;
    Time t;
    int64_t sample;
    double remainder;
  } rows[] = {
      {SND_Round_Nearest, 44100, {1, 3}, 14700, 0},
      {SND_Round_Floor, 44100, {1, 44101}, 0, 44100.0 / 44101},
      {SND_Round_Ceiling, 44100, {1, 44101}, 1, 44100.0 / 44101 - 1},
      {SND_Round_Nearest, 44100, {1, 44101}, 1, 44100.0 / 44101 - 1},
      // Negative positions round on their own side: -2.7 is nearest to -3.
      {SND_Round_Nearest, 1, {-27, 10}, -3, 0.3},
      {SND_Round_Floor, 1, {-27, 10}, -3, 0.3},
      {SND_Round_Ceiling, 1, {-27, 10}, -2, -0.7},
      {SND_Round_Nearest, 1, {-25, 10}, -2, -0.5},
      {SND_Round_Nearest, 1, {25, 10}, 3, -0.5},
      // One hour lands on the exact sample.
      {SND_Round_Floor, 48000, {3600, 1}, 172800000, 0},
      {SND_Round_Floor, 48000, {107892000, 29970}, 172800000, 0},
  };
  for (const auto& row : rows) {
    int64_t n = 0;
    double r = 0;
    ASSERT_EQ(SND_TimeToSamp(row.mode, row.rate, row.t, &n, &r), 0);
    EXPECT_EQ(n, row.sample) << row.t.value << "/" << row.t.scale << " mode " << row.mode;
    EXPECT_NEAR(r, row.remainder, 1e-12);
  }
  int64_t n = 7;
  rec.clear();
  EXPECT_EQ(SND_TimeToSamp(3, 44100, Time{1, 1}, &n, nullptr), kErrBadParam);
  EXPECT_EQ(SND_TimeToSamp(0, 0, Time{1, 1}, &n, nullptr), kErrBadParam);
  EXPECT_EQ(SND_TimeToSamp(0, std::nan(""), Time{1, 1}, &n, nullptr), kErrBadParam);
  EXPECT_EQ(SND_TimeToSamp(0, -1, Time{1, 1}, &n, nullptr), kErrBadParam);
  EXPECT_EQ(SND_TimeToSamp(0, 44100, kInvalidTime, &n, nullptr), kErrBadParam);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(rec.reports.size(), 5u);
  EXPECT_EQ(rec.reports[1].text, "Test error: invalid sample rate (0) -- a bad parameter was passed.");
  EXPECT_EQ(SND_TimeToSamp(0, 2e9, Time{INT32_MAX, 1}, &n, nullptr), 0);
  EXPECT_EQ(n, int64_t{INT32_MAX} * 2000000000);
  EXPECT_EQ(SND_TimeToSamp(0, 4e9, Time{INT32_MAX, 1}, &n, nullptr), kErrRange);
}

TEST_F(SNDWorld, SampleToTimeAndRoundTripsWithoutDrift) {
  Time t{};
  double r = 1;
  for (double rate : {44100.0, 48000.0}) {
    for (int64_t s = -1000; s <= 1000000; s += 9973) {
      for (int32_t mode : {SND_Round_Floor, SND_Round_Ceiling, SND_Round_Nearest}) {
        ASSERT_EQ(SND_SampToTime(mode, s, rate, &t, &r), 0);
        int64_t back = 0;
        ASSERT_EQ(SND_TimeToSamp(mode, rate, t, &back, nullptr), 0);
        ASSERT_EQ(back, s);
        ASSERT_EQ(r, 0.0);
      }
    }
  }
  // Rendering an hour in video frames (1001/30000 s) at 48 kHz: the sample
  // ranges of the frames join without a gap or overlap and end on the hour's
  // sample.
  int64_t end = 0;
  for (int32_t frame = 0; frame <= 107892; frame += 1) {
    int64_t first = 0;
    ASSERT_EQ(SND_TimeToSamp(SND_Round_Ceiling, 48000, Time{frame * 1001, 30000}, &first, nullptr), 0);
    if (frame) {
      ASSERT_EQ(first, end);
    }
    ASSERT_EQ(SND_TimeToSamp(SND_Round_Ceiling, 48000, Time{(frame + 1) * 1001, 30000}, &end, nullptr), 0);
  }
  EXPECT_EQ(end, 172801429);  // ceil(107893 x 1001 / 30000 x 48000), of 172801428.8
  // Past 31 bits: a reduced exact Time.
  ASSERT_EQ(SND_SampToTime(SND_Round_Floor, 3000000000, 48000, &t, &r), 0);
  EXPECT_EQ(t, (Time{62500, 1}));
  // A rate that is no whole number: at or before, at or after.
  for (int32_t mode : {SND_Round_Floor, SND_Round_Ceiling}) {
    ASSERT_EQ(SND_SampToTime(mode, 1, SND_DEFAULT_RATE, &t, &r), 0);
    const double exact = 1 / SND_DEFAULT_RATE;
    EXPECT_NEAR(static_cast<double>(t.value) / t.scale + r, exact, 1e-15);
    EXPECT_EQ(mode == SND_Round_Floor ? r >= 0 : r <= 0, true);
  }
}

TEST_F(SNDWorld, LevelsAndWindow) {
  double v = 1;
  ASSERT_EQ(SND_RatioToDB(&v), 0);
  EXPECT_EQ(v, 0.0);
  v = 0.5;
  ASSERT_EQ(SND_RatioToDB(&v), 0);
  EXPECT_NEAR(v, -6.0206, 1e-4);
  v = -192;
  ASSERT_EQ(SND_DBtoRatio(&v), 0);
  EXPECT_NEAR(v, 2.5119e-10, 1e-13);
  EXPECT_EQ(SND_DBtoRatio(nullptr), kErrBadParam);

  const struct {
    int32_t quality;
    double src, dst;
    int32_t window;
  } rows[] = {{1, 48000, 44100, 29}, {1, 44100, 48000, 3}, {1, 44100, 44100, 0},
              {1, 44100, 44100 + 1e-9, 0}, {0, 48000, 44100, 0}, {-1, 44100, 48000, 0}};
  for (const auto& row : rows) {
    int32_t w = -1;
    ASSERT_EQ(SND_GetResampleWindowSizeF(row.quality, row.src, row.dst, &w), 0);
    EXPECT_EQ(w, row.window);
    ASSERT_EQ(SND_GetResampleWindowSize(row.quality, static_cast<uint32_t>(row.src * 65536),
                                        static_cast<uint32_t>(row.dst * 65536), &w),
              0);
    EXPECT_EQ(w, row.window);
  }
  rec.clear();
  EXPECT_EQ(SND_GetResampleWindowSizeF(1, 1, 2, nullptr), kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: bad audio sample size parameter -- a bad parameter was passed.");
}

}  // namespace
}  // namespace tv::test
