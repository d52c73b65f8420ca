// Property tests of the time layer against exact big-integer arithmetic:
// conversion between scales, frame counting and snapping over seeded random
// times, including 32-bit boundary values.
#include <climits>
#include <random>

#include "T.h"
#include "TestSupport.h"

#if TAVELO_HAVE_GMP
#include <gmp.h>

namespace {

class TimeGmp : public tv::test::UFixture {};

class Gen {
 public:
  explicit Gen(uint64_t seed) : rng_(seed) {}
  int32_t Value() {
    switch (rng_() % 4) {
      case 0: return static_cast<int32_t>(rng_());
      case 1: return static_cast<int32_t>(rng_() % 2000001) - 1000000;
      case 2: return kValues[rng_() % std::size(kValues)];
      default: return static_cast<int32_t>(static_cast<uint32_t>(rng_()) >> (rng_() % 32));
    }
  }
  uint32_t Scale() {
    uint32_t s = (rng_() % 3 == 0) ? static_cast<uint32_t>(rng_()) >> (rng_() % 32)
                                    : kScales[rng_() % std::size(kScales)];
    return s == 0 ? 1 : s;
  }
  Time T() { return Time{Value(), Scale()}; }

 private:
  static constexpr int32_t kValues[] = {INT32_MIN, INT32_MAX, 0, 1, -1, 1001, -1001, 30000, 2997};
  static constexpr uint32_t kScales[] = {1, 24, 25, 30, 600, 1000, 2997, 30000, 44100, 48000, 90000,
                                         0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  std::mt19937_64 rng_;
};

// floor(v * to / from + 1/2)
void RoundConvert(int32_t v, uint32_t from, uint32_t to, mpz_t out) {
  mpz_t n, d;
  mpz_inits(n, d, nullptr);
  mpz_set_si(n, v);
  mpz_mul_ui(n, n, to);
  mpz_mul_2exp(n, n, 1);
  mpz_add_ui(n, n, from);
  mpz_set_ui(d, from);
  mpz_mul_2exp(d, d, 1);
  mpz_fdiv_q(out, n, d);
  mpz_clears(n, d, nullptr);
}

bool Fits(const mpz_t v) { return mpz_cmp_si(v, INT32_MAX) <= 0 && mpz_cmp_si(v, INT32_MIN) >= 0; }

TEST_F(TimeGmp, ConversionRoundsHalfUpOrFailsWithTheInvalidTime) {
  Gen g(0x7135);
  mpz_t want;
  mpz_init(want);
  for (int i = 0; i < tv::test::RandomCases(100000); ++i) {
    Time t = g.T();
    uint32_t to = g.Scale();
    RoundConvert(t.value, t.scale, to, want);
    Time r{}, s{};
    ErrorCode err = T_ConvTime(t, to, &r, nullptr);
    ErrorCode err2 = T_ShortConvTime(t.value, t.scale, to, &s);
    SCOPED_TRACE(testing::Message() << t.value << "/" << t.scale << " -> " << to);
    if (Fits(want)) {
      ASSERT_EQ(err, 0);
      EXPECT_EQ(r, (Time{static_cast<int32_t>(mpz_get_si(want)), to}));
      EXPECT_EQ(err2, 0);
      EXPECT_EQ(s, r);
      EXPECT_TRUE(rec.reports.empty());
    } else {
      EXPECT_EQ(err, M_ErrOverflow);
      EXPECT_EQ(r, tv::kInvalidTime);
      EXPECT_EQ(err2, M_ErrOverflow);
      EXPECT_EQ(s, tv::kInvalidTime);
      EXPECT_EQ(rec.reports.size(), 2u);  // one report per failed call
    }
    rec.clear();
    if (HasFailure()) break;
  }
  mpz_clear(want);
}

TEST_F(TimeGmp, FrameCountsAreFloorAndCeilingOfTheExactQuotient) {
  Gen g(0xF4A3E);
  mpz_t n, d, q;
  mpz_inits(n, d, q, nullptr);
  int checked = 0;
  for (int i = 0; i < tv::test::RandomCases(100000); ++i) {
    Time duration = g.T(), frame = g.T();
    if (frame.value <= 0) frame.value = frame.value == INT32_MIN ? INT32_MAX : (frame.value == 0 ? 1 : -frame.value);
    // The quotient as M computes it, to know whether it was exact.
    Ratio p{};
    uint8_t status = M_StatusAllowHalving | M_StatusAllowApprox;
    M_DivRatio({duration.value, duration.scale}, {frame.value, frame.scale}, &p, &status);
    int32_t down = -1, up = -1;
    ErrorCode e1 = T_CountFrames(duration, frame, 0, &down);
    ErrorCode e2 = T_CountFrames(duration, frame, 1, &up);
    SCOPED_TRACE(testing::Message() << duration.value << "/" << duration.scale << " by " << frame.value << "/"
                                    << frame.scale);
    if (status != M_StatusExact) {
      rec.clear();
      continue;
    }
    ASSERT_EQ(e1, 0);
    ASSERT_EQ(e2, 0);
    // duration / frame = (dv * fs) / (ds * fv)
    mpz_set_si(n, duration.value), mpz_mul_ui(n, n, frame.scale);
    mpz_set_ui(d, duration.scale), mpz_mul_ui(d, d, static_cast<uint32_t>(frame.value));
    if (mpz_sgn(n) <= 0) {
      EXPECT_EQ(down, 0);
      EXPECT_EQ(up, 0);
    } else {
      mpz_fdiv_q(q, n, d);
      EXPECT_EQ(down, mpz_get_si(q));
      mpz_cdiv_q(q, n, d);
      EXPECT_EQ(up, mpz_get_si(q));
    }
    ++checked;
    if (HasFailure()) break;
  }
  EXPECT_GT(checked, tv::test::RandomCases(10000));
  mpz_clears(n, d, q, nullptr);
}

TEST_F(TimeGmp, SnappingToAGrid) {
  Gen g(0x5A4B);
  std::mt19937_64 rng(5);
  mpz_t c;
  mpz_init(c);
  for (int i = 0; i < tv::test::RandomCases(100000); ++i) {
    Time t = g.T();
    Time quantum{static_cast<int32_t>(rng() % 5000) + 1, g.Scale()};
    RoundConvert(t.value, t.scale, quantum.scale, c);
    Time r{};
    ErrorCode err = T_RoundToNearestTime(t, quantum, &r);
    SCOPED_TRACE(testing::Message() << t.value << "/" << t.scale << " to " << quantum.value << "/" << quantum.scale);
    if (!Fits(c)) {
      EXPECT_EQ(err, M_ErrOverflow);
      EXPECT_EQ(r, tv::kInvalidTime);
      rec.clear();
      continue;
    }
    // Nearest multiple, ties away from zero.
    int64_t v = mpz_get_si(c), step = quantum.value;
    int64_t lo = v >= 0 ? v / step * step : -((-v + step - 1) / step) * step;
    int64_t dl = v - lo, dh = lo + step - v;
    int64_t want = dl < dh ? lo : (dh < dl ? lo + step : (v >= 0 ? lo + step : lo));
    if (want > INT32_MAX || want < INT32_MIN) {
      EXPECT_EQ(err, M_ErrOverflow);
      EXPECT_EQ(r, tv::kInvalidTime);
    } else {
      ASSERT_EQ(err, 0);
      EXPECT_EQ(r, (Time{static_cast<int32_t>(want), quantum.scale}));
    }
    rec.clear();
    if (HasFailure()) break;
  }
  mpz_clear(c);
}

}  // namespace

#else
TEST(TimeGmp, Unavailable) { GTEST_SKIP() << "GMP is not installed"; }
#endif
