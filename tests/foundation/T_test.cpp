// Times over scales: arithmetic, conversion, comparison, clipping, spans, frame
// durations, frame counting and snapping, byte order, and the invalid time on
// every failure.
#include <climits>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>

#include "T.h"
#include "TestSupport.h"

[[maybe_unused]] static std::ostream& operator<<(std::ostream& os, const Time& t) {
  return os << t.value << "/" << t.scale;
}

namespace {

using tv::kInvalidTime;
using tv::t::MakeTime;

class TimeTest : public tv::test::UFixture {
 protected:
  void ExpectReport(uint32_t package, uint32_t site, ErrorCode code, const std::string& text) {
    EXPECT_EQ(tv::test::LastCode(), code);
    rec.ExpectOnly(tv::Location(package, site), tv::kSevError, text);
  }
};

constexpr uint32_t kM = M_PackageNumber, kT = T_PackageNumber;
constexpr Time kNtscFrame{1001, 30000};

// Conversion, counting and snapping are checked against exact arithmetic in
// T_test_gmp.cpp; here the other operations once each, and their refusals.
TEST_F(TimeTest, ArithmeticComparisonClippingAndSpans) {
  using Op = ErrorCode (*)(Time, Time, Time*);
  struct Case { Op op; Time a, b, expected; };
  for (Case c : {Case{T_AddTime, {1, 3}, {1, 6}, {3, 6}}, Case{T_SubTime, {-1, 1}, {INT32_MIN, 1}, {INT32_MAX, 1}},
                 Case{T_MinTime, {2, 60}, {1, 30}, {2, 60}}, Case{T_MaxTime, {1, 30}, {2, 60}, {1, 30}}}) {
    Time r{};
    EXPECT_EQ(c.op(c.a, c.b, &r), 0) << c.a << " " << c.b;
    EXPECT_EQ(r, c.expected) << c.a << " " << c.b;
  }
  Time r{};
  EXPECT_EQ(T_MulTime(kNtscFrame, {3, 1}, &r), 0);
  EXPECT_EQ(r, MakeTime(3003, 30000));
  // Approximated rather than failed: 1/2147483647 s + 1/2147483646 s.
  EXPECT_EQ(T_AddTime({1, 2147483647}, {1, 2147483646}, &r), 0);
  EXPECT_NE(r.scale, 0u);
  int32_t order = 9;
  EXPECT_EQ(T_CompareTime({100, 2997}, {1001, 30000}, &order), 0);
  EXPECT_GT(order, 0);
  Boolean32 changed = 0;
  EXPECT_EQ(T_ReduceTime({300000, 30000}, &r, &changed), 0);
  EXPECT_EQ(std::tuple(r, changed), std::tuple(MakeTime(10, 1), 1));
  EXPECT_EQ(T_ClipTime({5, 1}, {1, 1}, {3, 1}, &r), 0);
  EXPECT_EQ(r, MakeTime(3, 1));
  EXPECT_EQ(T_SpanClipTime({3, 1}, {1, 1}, {2, 1}, &r), 0);  // the end is included
  EXPECT_EQ(r, MakeTime(3, 1));
  Time s{}, d{};
  // 0 to 1 s and 2 to 3 s: start 2 s, duration 0.
  EXPECT_EQ(T_IntersectSpanTime({0, 1}, {1, 1}, {2, 1}, {1, 1}, &s, &d), 0);
  EXPECT_EQ(std::tuple(s, d.value, d.scale != 0), std::tuple(MakeTime(2, 1), 0, true));
  EXPECT_EQ(T_IntersectSpanTime({0, 1}, {10, 1}, {1001, 30000}, {2002, 30000}, &s, &d), 0);
  EXPECT_EQ(std::tuple(s, d), std::tuple(MakeTime(1001, 30000), MakeTime(2002, 30000)));
  rec.ExpectNone();
  r = MakeTime(1, 1);
  EXPECT_EQ(T_AddTime({INT32_MAX, 1}, {1, 1}, &r), M_ErrOverflow);
  EXPECT_EQ(r, kInvalidTime);
  ExpectReport(kM, 0x40, M_ErrOverflow, "Test error: overflow in ratio addition (1102).");
  EXPECT_EQ(T_ClipTime({2, 1}, {3, 1}, {1, 1}, &r), tv::kErrBadParam);
  ExpectReport(kM, 0x48, tv::kErrBadParam, "Test error: invalid rational range -- a bad parameter was passed.");
}

TEST_F(TimeTest, EveryFailureStoresTheInvalidTime) {
  const Time bad = kInvalidTime, one{1, 1};
  Time r{}, s{};
  int32_t order = 0;
  auto check = [&](ErrorCode err, Time t, const char* what) {
    EXPECT_NE(err, 0) << what;
    EXPECT_EQ(t, kInvalidTime) << what;
    EXPECT_FALSE(rec.reports.empty()) << what;
    rec.clear();
  };
  r = one, check(T_AddTime(bad, one, &r), r, "add");
  r = one, check(T_SubTime(one, bad, &r), r, "sub");
  r = one, check(T_MulTime(one, {1, 0}, &r), r, "mul");
  r = one, check(T_ConvTime(bad, 600, &r, nullptr), r, "conv");
  r = one, check(T_ConvTime(one, 0, &r, nullptr), r, "conv to 0");
  r = one, check(T_ShortConvTime(5, 0, 600, &r), r, "short conv");
  r = one, check(T_MinTime(bad, one, &r), r, "min");
  r = one, check(T_MaxTime(one, bad, &r), r, "max");
  r = one, check(T_ReduceTime(bad, &r, nullptr), r, "reduce");
  r = one, check(T_ClipTime(one, {2, 1}, {1, 1}, &r), r, "clip inverted");
  r = one, check(T_ClipTime(one, bad, {1, 1}, &r), r, "clip");
  r = one, check(T_SpanClipTime(one, one, bad, &r), r, "span clip");
  r = one, check(T_FrameRate2Duration(0, &r), r, "rate");
  r = one, check(T_RoundToNearestTime(one, {0, 30}, &r), r, "round");
  r = one, check(T_RoundToNearestTime(bad, kNtscFrame, &r), r, "round invalid");
  r = one, s = one;
  EXPECT_NE(T_IntersectSpanTime(one, bad, one, one, &r, &s), 0);
  EXPECT_EQ(std::tuple(r, s), std::tuple(kInvalidTime, kInvalidTime));
  rec.clear();
  EXPECT_EQ(T_CompareTime(bad, one, &order), M_ErrZeroDenominator);
  rec.clear();
}

TEST_F(TimeTest, ConversionOverflowIsAReportedFailure) {
  Time r{1, 1};
  Boolean32 exact = 1;
  EXPECT_EQ(T_ConvTime({INT32_MAX, 1}, 2, &r, &exact), M_ErrOverflow);
  EXPECT_EQ(std::tuple(r, exact), std::tuple(kInvalidTime, 0));
  ExpectReport(kT, 1, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
  r = MakeTime(1, 1);
  EXPECT_EQ(T_ShortConvTime(INT32_MIN, 1, 0xFFFFFFFFu, &r), M_ErrOverflow);
  EXPECT_EQ(r, kInvalidTime);
  ExpectReport(kT, 2, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
}

TEST_F(TimeTest, FrameRateToDuration) {
  struct Case { Fixed rate; Time expected; };
  // Rates from the 16.16 forms of 29.97 to 30000/1001 (and so on), one unit
  // either side, are the NTSC rates, exactly.
  for (Case c : {Case{1964113, {1001, 30000}}, Case{1964114, {1001, 30000}}, Case{1964117, {1001, 30000}},
                 Case{3928227, {1001, 60000}}, Case{3928232, {1001, 60000}}, Case{3928233, {1001, 60000}},
                 Case{1571290, {1001, 24000}}, Case{1571293, {1001, 24000}}, Case{1571294, {1001, 24000}},
                 Case{1964112, {4096, 122757}}, Case{1964118, {32768, 982059}}, Case{3928234, {32768, 1964117}},
                 Case{1571295, {65536, 1571295}},
                 Case{30 << 16, {1, 30}}, Case{25 << 16, {1, 25}}, Case{1, {65536, 1}},
                 Case{INT32_MAX, {65536, INT32_MAX}}}) {
    Time d{};
    EXPECT_EQ(T_FrameRate2Duration(c.rate, &d), 0);
    EXPECT_EQ(d, c.expected) << c.rate;
  }
  // Eight frames at 24000/1001 (and a microsecond) count eight, not seven.
  Time fd{};
  int32_t count = 0;
  ASSERT_EQ(T_FrameRate2Duration(1571293, &fd), 0);
  EXPECT_EQ(T_CountFrames(Time{8008000 + 24, 24000000}, fd, 0, &count), 0);
  EXPECT_EQ(count, 8);
  rec.ExpectNone();
  Time d{};
  for (Fixed rate : {0, -1, -(30 << 16), INT32_MIN}) {
    d = MakeTime(1, 1);
    EXPECT_EQ(T_FrameRate2Duration(rate, &d), tv::kErrBadParam);
    EXPECT_EQ(d, kInvalidTime);
    ExpectReport(kT, 3, tv::kErrBadParam, "Test error: invalid frame rate -- a bad parameter was passed.");
  }
}

TEST_F(TimeTest, CountFrames) {
  int32_t many = 0;  // 2^32 frames do not fit in a count
  EXPECT_EQ(T_CountFrames({1, 1}, {1, 0xFFFFFFFFu}, 0, &many), M_ErrOverflow);
  EXPECT_EQ(rec.last().text, "Test error: overflow in ratio divide (1102).");
  rec.clear();
  int32_t n = -1;
  for (Time fd : {Time{0, 30}, Time{-1, 30}, Time{1, 0}}) {
    n = 5;
    EXPECT_EQ(T_CountFrames({1, 1}, fd, 0, &n), tv::kErrBadParam);
    EXPECT_EQ(n, 0);
    ExpectReport(kT, 4, tv::kErrBadParam, "Test error: invalid frame duration -- a bad parameter was passed.");
  }
  n = 5;
  EXPECT_EQ(T_CountFrames(kInvalidTime, {1, 30}, 0, &n), M_ErrZeroDenominator);
  EXPECT_EQ(n, 0);
  rec.clear();
}

TEST_F(TimeTest, RoundToNearestTime) {
  Time r = MakeTime(1, 1);
  EXPECT_EQ(T_RoundToNearestTime({1, 1}, {0, 24}, &r), tv::kErrBadParam);
  EXPECT_EQ(r, kInvalidTime);
  ExpectReport(kT, 5, tv::kErrBadParam, "Test error: invalid time quantum -- a bad parameter was passed.");
  EXPECT_EQ(T_RoundToNearestTime({INT32_MAX, 1}, {1, 2}, &r), M_ErrOverflow);
  EXPECT_EQ(r, kInvalidTime);
  ExpectReport(kT, 1, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
  EXPECT_EQ(T_RoundToNearestTime({INT32_MAX, 1}, {4, 1}, &r), M_ErrOverflow);
  EXPECT_EQ(r, kInvalidTime);
  ExpectReport(kM, 0x4C, M_ErrOverflow, "Test error: overflow rounding to a multiple (1102).");
}

TEST_F(TimeTest, SwapGivesTheFileByteOrder) {
  Time t{0x01020304, 0xA0B0C0D0u};
  ASSERT_EQ(T_TimeSwap(&t), 0);
  unsigned char bytes[8];
  std::memcpy(bytes, &t, sizeof bytes);
  // On this little-endian machine the swapped record is the big-endian file
  // form: value first.
  const unsigned char expected[8] = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
  EXPECT_EQ(std::memcmp(bytes, expected, 8), 0);
  ASSERT_EQ(T_TimeSwap(&t), 0);
  EXPECT_EQ(t, MakeTime(0x01020304, 0xA0B0C0D0u));
  t = kInvalidTime;
  ASSERT_EQ(T_TimeSwap(&t), 0);
  EXPECT_EQ(t, MakeTime(0x80, 0));
}

}  // namespace
