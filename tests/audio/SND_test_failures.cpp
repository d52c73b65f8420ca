// The failure paths and boundaries of the sound worlds: every allocation of
// a conversion failing in turn, refused arguments, empty worlds, and the
// sample formats the other tests do not edit (signed 8-bit, unsigned 16-bit).
#include "Memory.h"
#include "SND_test_support.h"

namespace tv::test {
namespace {

class SNDFailures : public SNDTest {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    SNDTest::TearDown();
  }
};

// Each allocation of a world, its buffer and the resampler's scratch fails
// in turn: the step fails with a report and leaves no world or block behind
// (the fixture counts both); with enough allocations everything succeeds.
TEST_F(SNDFailures, EveryFailingAllocationIsReportedAndLeavesNothing) {
  bool whole = false;
  for (int64_t n = 0; n < 200 && !whole; ++n) {
    rec.clear();
    EMUL_FailAllocationsAfter(n);
    SND_World w = nullptr;
    const SND_Format mono = Fmt(8000, SND_Encoding_Signed, 2, 1), stereo = Fmt(22050, SND_Encoding_Signed, 2, 2);
    void* p = nullptr;
    ErrorCode err = SND_NewWorld(&mono, nullptr, &w);
    if (!err) err = SND_SizeAndLockBuffer(3000, 0, w, &p);
    if (!err) err = SND_UnlockBuffer(w);
    if (!err) err = SND_UpdateWorld(SND_Quality_Best, &stereo, nullptr, w);
    if (!err) err = SND_Stretch(0, 0x18000, Time{0, 1}, 0, w);
    EMUL_StopAllocationFailures();
    whole = err == 0;
    if (err) {
      EXPECT_TRUE(err == kErrOutOfMemory || err == kSysMemFull) << n << ": " << err;
      EXPECT_FALSE(rec.reports.empty()) << n;
    }
    if (w) {
      ASSERT_EQ(SND_DisposeWorld(w), 0);
    }
  }
  EXPECT_TRUE(whole);
}

TEST_F(SNDFailures, RefusedArguments) {
  SND_World a = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(8, 100));
  SND_World b = Make<int16_t>(Fmt(8000, SND_Encoding_Signed, 2, 1), std::vector<int16_t>(8, 0));
  const Time zero{1, 0}, one{1, 1};
  Time t{};
  int64_t sample = 0;
  int32_t window = 0;
  SND_StoredFormat stored{};
  const SND_Format huge = Fmt(1e10, SND_Encoding_Signed, 2, 1);
  const struct {
    const char* what;
    ErrorCode got, code;
  } rows[] = {
      {"blit start without scale", SND_Blit(0, a, &zero, &one, SND_Blit_Replace, nullptr, b), kErrBadParam},
      {"blit duration without scale", SND_Blit(0, a, &one, &zero, SND_Blit_Mix, nullptr, b), kErrBadParam},
      {"sample 2^62", SND_SampToTime(SND_Round_Nearest, int64_t{1} << 62, 8000, &t, nullptr), kErrRange},
      {"time beyond any ratio", SND_SampToTime(SND_Round_Floor, int64_t{1} << 61, 0.001, &t, nullptr), kErrRange},
      {"time without scale", SND_TimeToSamp(SND_Round_Nearest, 8000, zero, &sample, nullptr), kErrBadParam},
      {"rate beyond 16.16", SNDp_Convert2StoredFormat(&huge, &stored), kErrBadParam},
      {"window of rate 0", SND_GetResampleWindowSizeF(SND_Quality_Best, 0, 8000, &window), kErrBadParam},
      {"window without result", SND_GetResampleWindowSizeF(SND_Quality_Best, 8000, 8000, nullptr), kErrBadParam},
  };
  for (const auto& row : rows) EXPECT_EQ(row.got, row.code) << row.what;
  EXPECT_EQ(Samples<int16_t>(b), std::vector<int16_t>(8, 0));
  // A fractional rate splits a time through long double arithmetic.
  double rest = 0;
  ASSERT_EQ(SND_TimeToSamp(SND_Round_Floor, 1000.5, Time{3, 2}, &sample, &rest), 0);
  EXPECT_EQ(sample, 1500);
  EXPECT_NEAR(rest, 0.75, 1e-9);
  ASSERT_EQ(SND_SetQtUsesNonIntegerRates(1), 0);
  EXPECT_EQ(SNDp_GetQtUsesNonIntegerRates(), 1);
  ASSERT_EQ(SND_SetQtUsesNonIntegerRates(0), 0);
}

// An empty world changes its rate and channels without a conversion; a
// 16-bit world changing only its signedness flips the top bit of every
// sample.
TEST_F(SNDFailures, EmptyWorldsAndSignednessAlone) {
  const SND_Format f = Fmt(8000, SND_Encoding_Signed, 2, 1);
  SND_World empty = New(f);
  const SND_Format g = Fmt(11025, SND_Encoding_Signed, 2, 2);
  ASSERT_EQ(SND_UpdateWorld(SND_Quality_Best, &g, nullptr, empty), 0);
  EXPECT_EQ(Info(empty).frames, 0);
  EXPECT_EQ(Info(empty).format.rate, 11025);
  EXPECT_EQ(Info(empty).start, (Time{0, 11025}));
  SND_World w = Make<uint16_t>(f, std::vector<uint16_t>{0x0001, 0xFFFF, 0x8000});
  void* p = nullptr;
  ASSERT_EQ(SND_SizeAndLockBuffer(3, 0, w, &p), 0);
  const SND_Format u = Fmt(8000, SND_Encoding_Unsigned, 2, 1);
  ASSERT_EQ(SND_UpdateWorld(0, &u, nullptr, w), 0);
  EXPECT_EQ(Info(w).lockCount, 1);  // the caller's lock stays
  ASSERT_EQ(SND_UnlockBuffer(w), 0);
  EXPECT_EQ(Samples<uint16_t>(w), (std::vector<uint16_t>{0x8001, 0x7FFF, 0x0000}));
  const SND_Format none = Fmt(0, SND_Encoding_Float, 4, 1);
  EXPECT_EQ(SND_UpdateWorld(1, &none, nullptr, w), kErrBadParam);
}

// Signed 8-bit and unsigned 16-bit samples are scaled around their silence
// by the edge ramps and the level envelope.
TEST_F(SNDFailures, EightBitSignedAndSixteenBitUnsignedScaleAroundSilence) {
  TDB_Stream half = Levels(1, true);
  const double minus6 = -6.0206;
  ASSERT_EQ(TDB_InsertKeyF(half, nullptr, 0, 0, &minus6, 1, 1), 0);
  SND_World s8 = Make<int8_t>(Fmt(44100, SND_Encoding_Signed, 1, 1), std::vector<int8_t>(60, 90));
  SND_World u16 = Make<uint16_t>(Fmt(44100, SND_Encoding_Unsigned, 2, 1), std::vector<uint16_t>(60, 32768 + 4500));
  ASSERT_EQ(SND_SoftenEdges(1, 0, s8), 0);
  ASSERT_EQ(SND_SoftenEdges(1, 0, u16), 0);
  EXPECT_EQ(Samples<int8_t>(s8)[0], 2);  // 90 / 45
  EXPECT_EQ(Samples<uint16_t>(u16)[0], 32768 + 100);
  EXPECT_EQ(Samples<int8_t>(s8)[59], 90);
  ASSERT_EQ(SND_Envelope(0, 59, 1, half, 0, s8), 0);
  ASSERT_EQ(SND_Envelope(0, 59, 1, half, 0, u16), 0);
  EXPECT_EQ(Samples<int8_t>(s8)[59], 45);
  EXPECT_EQ(Samples<uint16_t>(u16)[59], 32768 + 2250);
  ASSERT_EQ(TDB_DisposeStream(half), 0);
}

}  // namespace
}  // namespace tv::test
