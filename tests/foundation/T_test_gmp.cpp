// Property tests of the time layer against exact big-integer arithmetic:
// conversion between scales and frame counting over seeded random times,
// including 32-bit boundary values.
#include <climits>
#include <tuple>

#include "T.h"
#include "TestSupport.h"

#if TAVELO_HAVE_GMP
#include "M_test_gmp.h"

namespace {

using tv::gmptest::Fits;
using tv::gmptest::RoundConvert;

class TimeGmp : public tv::test::UFixture {};

const int kCases = tv::test::RandomCases(5000);

Time RandomTime(tv::gmptest::Gen& g) { return Time{g.Num(), g.Den()}; }

TEST_F(TimeGmp, ConversionRoundsHalfUpOrFailsWithTheInvalidTime) {
  tv::gmptest::Gen g(0x7135);
  mpz_t want;
  mpz_init(want);
  for (int i = 0; i < kCases; ++i) {
    Time t = RandomTime(g);
    uint32_t to = g.Den();
    RoundConvert(t.value, t.scale, to, want);
    Time r{}, s{};
    ErrorCode err = T_ConvTime(t, to, &r, nullptr);
    ErrorCode err2 = T_ShortConvTime(t.value, t.scale, to, &s);
    SCOPED_TRACE(testing::Message() << t.value << "/" << t.scale << " -> " << to);
    if (Fits(want)) {
      ASSERT_EQ(err, 0);
      EXPECT_EQ(r, (Time{static_cast<int32_t>(mpz_get_si(want)), to}));
      EXPECT_EQ(std::tuple(err2, s), std::tuple(0, r));
      EXPECT_TRUE(rec.reports.empty());
    } else {
      EXPECT_EQ(std::tuple(err, r, err2, s), std::tuple(M_ErrOverflow, tv::kInvalidTime, M_ErrOverflow, tv::kInvalidTime));
      EXPECT_EQ(rec.reports.size(), 2u);  // one report per failed call
    }
    rec.clear();
    if (HasFailure()) break;
  }
  mpz_clear(want);
}

TEST_F(TimeGmp, FrameCountsAreFloorAndCeilingOfTheExactQuotient) {
  tv::gmptest::Gen g(0xF4A3E);
  mpz_t n, d, q;
  mpz_inits(n, d, q, nullptr);
  int checked = 0;
  for (int i = 0; i < kCases; ++i) {
    Time duration = RandomTime(g), frame = RandomTime(g);
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
  EXPECT_GT(checked, kCases / 10);
  mpz_clears(n, d, q, nullptr);
}

}  // namespace

#else
TEST(TimeGmp, Unavailable) { GTEST_SKIP() << "GMP is not installed"; }
#endif
