// Property tests of the ratio operations against exact big-integer arithmetic:
// seeded random and boundary ratios over the whole 32-bit range. Whenever an
// operation says its result is exact, it equals the exact rational; every
// approximation is close; comparison and conversion are always exact.
#include <cmath>
#include <random>

#include "M.h"
#include "TestSupport.h"

#if TAVELO_HAVE_GMP
#include "M_test_gmp.h"

namespace {

using tv::gmptest::Gen;
using tv::gmptest::Q;

bool Equals(Ratio r, const Q& x) {
  Q y(r);
  return mpq_equal(y.q(), x.q()) != 0;
}

// |r - x| <= |x| * rel + abs
bool Close(Ratio r, const Q& x, double rel, double abs) {
  Q y(r), diff;
  mpq_sub(diff.q(), y.q(), x.q());
  mpq_abs(diff.q(), diff.q());
  return diff.d() <= std::fabs(x.d()) * rel + abs;
}

const int kIterations = tv::test::RandomCases(5000);
constexpr double kRel = 1.0 / (1 << 22), kAbs = 1.0 / (1u << 30);

class RatioGmp : public tv::test::UFixture {};

// Runs op with the three relevant status forms and checks each against exact.
// How often each outcome occurred, so a test can show it covered all three.
int gOutcomes[3];

template <class Op>
void CheckArithmetic(Op op, const Q& exact, Ratio a, Ratio b, bool smallOperands) {
  Ratio approx{}, strict{};
  uint8_t sa = M_StatusAllowApprox, ss = 0;
  ErrorCode ea = op(a, b, &approx, &sa);
  ErrorCode es = op(a, b, &strict, &ss);
  SCOPED_TRACE(testing::Message() << a.num << "/" << a.den << " , " << b.num << "/" << b.den);
  ASSERT_TRUE(sa <= 2 && ss <= 1);
  ++gOutcomes[sa];
  if (sa == M_StatusExact) {
    EXPECT_EQ(ea, 0);
    EXPECT_TRUE(Equals(approx, exact));
    EXPECT_NE(approx.den, 0u);
    // Without the approximation the exact path is the same.
    EXPECT_EQ(ss, M_StatusExact);
    EXPECT_EQ(approx, strict);
  } else if (sa == M_StatusApproximated) {
    EXPECT_EQ(ea, 0);
    EXPECT_TRUE(Close(approx, exact, kRel, kAbs)) << approx.num << "/" << approx.den << " vs " << exact.d();
    EXPECT_EQ(ss, M_StatusOverflow);
    EXPECT_EQ(es, M_ErrOverflow);
    EXPECT_EQ(strict, (Ratio{0, 0}));
  } else {
    EXPECT_EQ(ea, M_ErrOverflow);
    EXPECT_EQ(approx, (Ratio{0, 0}));
    // Only a value that rounds to 2^31 or beyond cannot be approximated.
    EXPECT_GE(std::fabs(exact.d()), 2147483520.0);
  }
  // Small operands never need the approximation.
  if (smallOperands) { EXPECT_EQ(sa, M_StatusExact); }
}

bool Small(Ratio r) { return r.num > -32768 && r.num < 32768 && r.den < 32768; }

void ExpectEveryOutcome() {
  EXPECT_GT(gOutcomes[M_StatusExact], kIterations / 100);
  EXPECT_GT(gOutcomes[M_StatusApproximated], kIterations / 100);
  EXPECT_GT(gOutcomes[M_StatusOverflow], kIterations / 1000);
  gOutcomes[0] = gOutcomes[1] = gOutcomes[2] = 0;
}

TEST_F(RatioGmp, AddAndSubtract) {
  Gen g(0xADD5EED);
  for (int i = 0; i < kIterations; ++i) {
    Ratio a = g.R(), b = (i % 4 == 0) ? Ratio{g.Num(), 0} : g.R();
    if (i % 4 == 0) b.den = a.den;  // equal denominators
    Q qa(a), qb(b), sum, diff;
    mpq_add(sum.q(), qa.q(), qb.q());
    mpq_sub(diff.q(), qa.q(), qb.q());
    bool small = Small(a) && Small(b);
    CheckArithmetic(M_AddRatio, sum, a, b, small);
    CheckArithmetic(M_SubRatio, diff, a, b, small);
    if (HasFailure()) break;
  }
  ExpectEveryOutcome();
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(RatioGmp, CompareIsAlwaysExact) {
  Gen g(0xC0C0);
  for (int i = 0; i < kIterations; ++i) {
    Ratio a = g.R(), b = g.R();
    if (i % 3 == 0) b = Ratio{a.num > INT32_MIN + 1 ? a.num - 1 : a.num, a.den > 1 ? a.den - 1 : a.den};
    int32_t order = 7;
    ASSERT_EQ(M_CompareRatio(a, b, &order), 0);
    Q qa(a), qb(b);
    int expected = mpq_cmp(qa.q(), qb.q());
    EXPECT_EQ(order < 0, expected < 0) << a.num << "/" << a.den << " " << b.num << "/" << b.den;
    EXPECT_EQ(order == 0, expected == 0);
    Ratio mn{}, mx{};
    ASSERT_EQ(M_MinRatio(a, b, &mn), 0);
    ASSERT_EQ(M_MaxRatio(a, b, &mx), 0);
    EXPECT_EQ(mn, expected <= 0 ? a : b);
    EXPECT_EQ(mx, expected >= 0 ? a : b);
    if (HasFailure()) break;
  }
}

// The best approximation p/q of x >= 0 with q <= maxDen and p <= maxNum: walk
// the Stern-Brocot tree in runs (low + k high, high + k low), each run capped
// by the box, until neither bound can move; then take the closer bound.
void BestApproximation(const mpq_t x, uint64_t maxNum, uint64_t maxDen, mpz_t p, mpz_t q) {
  mpz_t lp, lq, hp, hq, t, u, k, cap;
  mpz_inits(lp, lq, hp, hq, t, u, k, cap, nullptr);
  mpz_set_ui(lp, 0), mpz_set_ui(lq, 1), mpz_set_ui(hp, 1), mpz_set_ui(hq, 0);
  const mpz_srcptr n = mpq_numref(x), d = mpq_denref(x);
  // Caps k by (max - a) / b for b > 0.
  auto limit = [&](uint64_t max, mpz_t a, mpz_t b) {
    if (mpz_sgn(b) == 0) return;
    mpz_set_ui(cap, max), mpz_sub(cap, cap, a), mpz_fdiv_q(cap, cap, b);
    if (mpz_cmp(k, cap) > 0) mpz_set(k, cap);
  };
  for (;;) {
    mpz_mul(t, n, lq), mpz_submul(t, d, lp);  // x - low, scaled: n lq - d lp >= 0
    mpz_mul(u, d, hp), mpz_submul(u, n, hq);  // high - x, scaled: d hp - n hq >= 0
    if (mpz_sgn(t) == 0 || mpz_sgn(u) == 0) break;  // a bound is x itself
    bool moved = false;
    // low + k high <= x  <=>  k (d hp - n hq) <= n lq - d lp
    mpz_fdiv_q(k, t, u);
    limit(maxDen, lq, hq), limit(maxNum, lp, hp);
    if (mpz_sgn(k) > 0) mpz_addmul(lp, k, hp), mpz_addmul(lq, k, hq), moved = true;
    mpz_mul(t, n, lq), mpz_submul(t, d, lp);
    if (mpz_sgn(t) == 0) break;
    // high + k low >= x  <=>  k (n lq - d lp) <= d hp - n hq
    mpz_fdiv_q(k, u, t);
    limit(maxDen, hq, lq), limit(maxNum, hp, lp);
    if (mpz_sgn(k) > 0) mpz_addmul(hp, k, lp), mpz_addmul(hq, k, lq), moved = true;
    if (!moved) break;
  }
  bool useLow = true;
  if (mpz_sgn(hq) != 0 && mpz_cmp_ui(hq, maxDen) <= 0 && mpz_cmp_ui(hp, maxNum) <= 0) {
    mpz_mul(t, n, lq), mpz_submul(t, d, lp);  // (x - low) d lq
    mpz_mul(u, d, hp), mpz_submul(u, n, hq);  // (high - x) d hq
    // compare (x - low) and (high - x): t / lq vs u / hq
    mpz_mul(t, t, hq), mpz_mul(u, u, lq);
    useLow = mpz_cmp(t, u) <= 0;
  }
  mpz_set(p, useLow ? lp : hp), mpz_set(q, useLow ? lq : hq);
  mpz_clears(lp, lq, hp, hq, t, u, k, cap, nullptr);
}

TEST_F(RatioGmp, FpLong2RatioIsTheBestApproximationOfTheFloat) {
  Gen g(0xF10A7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::mt19937_64 rng(77);
  mpz_t p, q;
  mpz_inits(p, q, nullptr);
  for (int i = 0; i < tv::test::RandomCases(3000); ++i) {
    double x = unit(rng) * std::ldexp(1.0, static_cast<int>(g.Raw() % 66) - 33);
    if (i % 5 == 0) x = double(g.Num()) / double(g.Den());
    Ratio r{};
    Boolean32 ov = 0;
    ASSERT_EQ(M_FpLong2Ratio(x, &r, &ov), 0);
    float f = static_cast<float>(x);
    SCOPED_TRACE(testing::Message() << std::hexfloat << x);
    int e = 0;
    std::frexp(x, &e);
    if (x == 0.0 || e < -31) {
      EXPECT_FALSE(ov);
      EXPECT_EQ(r, (Ratio{0, 1}));
      continue;
    }
    if (e > 31 || std::fabs(double(f)) >= 2147483648.0) {
      EXPECT_TRUE(ov);
      EXPECT_EQ(r, (Ratio{0, 0}));
      continue;
    }
    ASSERT_FALSE(ov);
    EXPECT_LE(r.den, 0x40000000u);
    mpq_t fx;
    mpq_init(fx);
    mpq_set_d(fx, std::fabs(double(f)));
    BestApproximation(fx, 0x7FFFFFFF, 0x40000000, p, q);
    // Equal distance is allowed either way; compare errors exactly.
    Q mine(Ratio{r.num < 0 ? -r.num : r.num, r.den}), best, e1, e2;
    mpz_set(mpq_numref(best.q()), p), mpz_set(mpq_denref(best.q()), q), mpq_canonicalize(best.q());
    mpq_sub(e1.q(), mine.q(), fx), mpq_abs(e1.q(), e1.q());
    mpq_sub(e2.q(), best.q(), fx), mpq_abs(e2.q(), e2.q());
    EXPECT_EQ(mpq_cmp(e1.q(), e2.q()), 0) << r.num << "/" << r.den;
    EXPECT_TRUE(r.num == 0 || (r.num < 0) == (f < 0));
    // Lowest terms.
    uint32_t gcd = 0;
    M_UnsignedGCD(r.num < 0 ? 0u - uint32_t(r.num) : uint32_t(r.num), r.den, &gcd);
    EXPECT_TRUE(r.num == 0 ? r.den == 1 : gcd == 1);
    mpq_clear(fx);
    if (HasFailure()) break;
  }
  mpz_clears(p, q, nullptr);
}

// The overflow predicates are conservative: they never miss a real overflow.
TEST_F(RatioGmp, OverflowPredicatesNeverMissARealOverflow) {
  Gen g(0x1D7);
  for (int i = 0; i < kIterations; ++i) {
    int32_t s = g.Num(), t = g.Num();
    uint32_t x = g.Den(), y = g.Den();
    int64_t prod = int64_t{s} * t;
    if (prod > INT32_MAX || prod < INT32_MIN) { EXPECT_TRUE(M_MulWouldOverflow(s, t)); }
    if (uint64_t{x} * y > 0xFFFFFFFFu) { EXPECT_TRUE(M_UMulWouldOverflow(x, y)); }
    int64_t sum = int64_t{s} + t;
    EXPECT_EQ(bool(M_AddWouldOverflow(s, t)), sum > INT32_MAX || sum < INT32_MIN);
    if (HasFailure()) break;
  }
}

}  // namespace

#else
TEST(RatioGmp, Unavailable) { GTEST_SKIP() << "GMP is not installed"; }
#endif
