// Fixed-point arithmetic: 16.16 multiply and divide against exact 64-bit and
// double references, and the reporting 8.24 operations.
#include <cmath>
#include <cstdint>
#include <random>

#include "M.h"
#include "TestSupport.h"

namespace {

using tv::test::UFixture;

constexpr int32_t kOver = INT32_MIN;

class MFixed : public UFixture {};

TEST(MFixMul, PartExamplesAndPaths) {
  EXPECT_EQ(M_FixMul(0x18000, 0x20000), 0x30000);      // 1.5 x 2, exact path
  EXPECT_EQ(M_FixMul(0x10001, 0x10001), 0x10000);      // truncating path
  EXPECT_EQ(M_FixMul(0x7FFF0000, 0x20000), kOver);     // 32767 x 2
  EXPECT_EQ(M_FixMul(-0x18000, 0x20000), -0x30000);
  EXPECT_EQ(M_FixMul(-0x18000, -0x20000), 0x30000);
  EXPECT_EQ(M_FixMul(0, 0x7FFFFFFF), 0);
  EXPECT_EQ(M_FixMul(0x7FFFFFFF, 0), 0);
  // Path 1 (ta > 16): 6.0 x 3 units.
  EXPECT_EQ(M_FixMul(0x60000, 3), 18);
  // Path 2 (ta + tb > 16): 1.5 (15 trailing zeros) x 4 units (2).
  EXPECT_EQ(M_FixMul(0x18000, 4), 6);
  EXPECT_EQ(M_FixMul(4, 0x18000), 6);
  // Path 3 drops the low bytes: 3.0 (16 trailing zeros) x 3 units gives 0.
  EXPECT_EQ(M_FixMul(0x30000, 3), 0);
  // ta + tb == 16 still takes the truncating path: 1.0 x 0x1FF loses the low byte.
  EXPECT_EQ(M_FixMul(0x10000, 0x1FF), 0x100);
  // The most negative value is a value when it is the exact product.
  EXPECT_EQ(M_FixMul(INT32_MIN, 0x10000), INT32_MIN);
  EXPECT_EQ(M_FixMul(INT32_MIN, -0x10000), kOver);
  EXPECT_EQ(M_FixMul(0x40000000, -0x20000), INT32_MIN);  // 16384 x -2 = -32768
}

TEST(MFixMul, WrapsThatKeepTheSignAreOverflows) {
  // 256 x 256: a 32-bit product wraps to 0 with the expected sign.
  EXPECT_EQ(M_FixMul(0x1000000, 0x1000000), kOver);
  EXPECT_EQ(M_FixMul(-0x1000000, 0x1000000), kOver);
  EXPECT_EQ(M_FixMul(0x1000000, 0x800000), kOver);       // 256 x 128 = 32768
  EXPECT_EQ(M_FixMul(0x1000000, 0x7FFFFF), 0x7FFFFF00);  // just below
  EXPECT_EQ(M_FixMul(0x7FFFFFFF, 0x7FFFFFFF), kOver);    // truncating path
}

// The result of each path computed independently in 64 bits.
int64_t PathProduct(int32_t a, int32_t b) {
  auto tz = [](int32_t v) {
    uint64_t m = v < 0 ? -int64_t{v} : v;
    return m == 0 ? 32 : __builtin_ctzll(m);
  };
  int ta = tz(a);
  if (ta > 16) return int64_t{a / 65536 - (a % 65536 != 0 && a < 0)} * b;
  int tb = tz(b);
  if (ta + tb > 16) return (int64_t{a} * b) / 65536;  // exact: no remainder
  return int64_t{a >> 8} * int64_t{b >> 8};
}

TEST(MFixMul, RandomOperandsAgainstReferences) {
  std::mt19937 gen(20261206);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int> shift(0, 31);
  const int32_t edges[] = {0, 1, -1, 0x10000, -0x10000, 0x7FFFFFFF, INT32_MIN, 0x8000, 0xFF, 0x100};
  for (int i = 0; i < 200000; ++i) {
    int32_t a = any(gen) >> shift(gen);
    int32_t b = any(gen) >> shift(gen);
    if (i % 10 == 0) a = edges[i / 10 % 10];
    int32_t r = M_FixMul(a, b);
    int64_t path = PathProduct(a, b);
    if (path < INT32_MIN || path > INT32_MAX) {
      ASSERT_EQ(r, kOver) << a << " " << b;
    } else {
      ASSERT_EQ(r, path) << a << " " << b;
    }
    // Whatever the path, a result stays within the truncation error of the exact product.
    double exact = static_cast<double>(a) * b / 65536.0;
    if (r != kOver) {
      double bound = (std::fabs(double(a)) + std::fabs(double(b))) / 256.0 + 2.0;
      ASSERT_LE(std::fabs(r - exact), bound) << a << " " << b;
    }
  }
}

TEST(MFixDiv, PartExamplesAndSigns) {
  EXPECT_EQ(M_FixDiv(0x10000, 0), kOver);
  EXPECT_EQ(M_FixDiv(0, 0), kOver);
  EXPECT_EQ(M_FixDiv(-0x30000, 0x20000), -0x18000);
  EXPECT_EQ(M_FixDiv(0x30000, -0x20000), -0x18000);
  EXPECT_EQ(M_FixDiv(-0x30000, -0x20000), 0x18000);
  EXPECT_EQ(M_FixDiv(0x10000, 0x30000), 0x5555);
  EXPECT_EQ(M_FixDiv(0, 0x12345), 0);
  // A zero quotient is 0 with any signs.
  EXPECT_EQ(M_FixDiv(-1, 0x7FFF0000), 0);
  EXPECT_EQ(M_FixDiv(1, -0x7FFF0000), 0);
  // Overflows.
  EXPECT_EQ(M_FixDiv(0x7FFFFFFF, 0x8000), kOver);  // 32768 / 0.5
  EXPECT_EQ(M_FixDiv(0x7FFFFFFF, 1), kOver);       // divisor shifted to 0
  EXPECT_EQ(M_FixDiv(0x40000000, 0x8000), kOver);  // 16384 / 0.5 = 32768
  EXPECT_EQ(M_FixDiv(-0x40000000, 0x8000), INT32_MIN);  // -32768, a value
  EXPECT_EQ(M_FixDiv(INT32_MIN, 0x10000), INT32_MIN);
  EXPECT_EQ(M_FixDiv(0x3FFF0000, 0x8000), 0x7FFE0000);
}

TEST(MFixDiv, RandomOperandsAgainstReferences) {
  std::mt19937 gen(7);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int> shift(0, 31);
  for (int i = 0; i < 200000; ++i) {
    int32_t a = any(gen) >> shift(gen);
    int32_t b = any(gen) >> shift(gen);
    if (b == 0) continue;
    int32_t r = M_FixDiv(a, b);
    double exact = static_cast<double>(a) * 65536.0 / b;
    uint32_t ua = a < 0 ? 0u - uint32_t(a) : uint32_t(a);
    int z = ua == 0 ? 32 : __builtin_clz(ua);
    if (z >= 16) {
      // Exact unsigned division of the magnitudes, truncated towards zero.
      double t = std::trunc(exact);
      if (t > INT32_MAX || t < INT32_MIN) {
        ASSERT_EQ(r, kOver);
      } else {
        ASSERT_EQ(r, static_cast<int32_t>(t)) << a << " " << b;
      }
      continue;
    }
    // The divisor lost its low (16 - z) bits.
    uint32_t ub = b < 0 ? 0u - uint32_t(b) : uint32_t(b);
    uint32_t divisor = ub >> (16 - z);
    if (divisor == 0 || std::fabs(exact) > 2147483647.0 * 1.01) {
      if (divisor == 0) {
        ASSERT_EQ(r, kOver);
      }
      continue;
    }
    if (r == kOver) {
      // Only quotients near or beyond the range overflow.
      ASSERT_GT(std::fabs(exact), 2147483648.0 * (1.0 - 2.0 / divisor) - 2) << a << " " << b;
      continue;
    }
    double relative = 1.0 / divisor;
    ASSERT_LE(std::fabs(r - exact), std::fabs(exact) * relative + 2.0) << a << " " << b;
  }
}

TEST_F(MFixed, Fix24MultiplyRoundsHalfAwayFromZero) {
  EXPECT_EQ(M_Fix24Mul(2 * tv::kFix24One, 3 * tv::kFix24One), 6 * tv::kFix24One);
  EXPECT_EQ(M_Fix24Mul(-2 * tv::kFix24One, 3 * tv::kFix24One), -6 * tv::kFix24One);
  EXPECT_EQ(M_Fix24Mul(1, tv::kFix24One / 2), 1);    // 0.5 units -> 1
  EXPECT_EQ(M_Fix24Mul(-1, tv::kFix24One / 2), -1);  // -0.5 units -> -1
  EXPECT_EQ(M_Fix24Mul(0x7FFFFFFF, tv::kFix24One), 0x7FFFFFFF);
  EXPECT_EQ(M_Fix24Mul(INT32_MIN, tv::kFix24One), INT32_MIN);  // exactly -128
  // A Fix24 fraction times a Fixed width gives a Fixed result.
  EXPECT_EQ(M_Fix24Mul(tv::kFix24One / 4, 100 * 65536), 25 * 65536);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(MFixed, Fix24MultiplyOverflowIsReported) {
  EXPECT_EQ(M_Fix24Mul(16 * tv::kFix24One, 8 * tv::kFix24One), kOver);  // 128
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(17, 0x41));
  EXPECT_EQ(rec.last().severity, tv::kSevError);
  EXPECT_EQ(rec.last().text, "Test error: overflow in fix24 multiply (1102).");
  EXPECT_EQ(M_Fix24Mul(-16 * tv::kFix24One, 8 * tv::kFix24One + 1), kOver);  // below -128
  EXPECT_EQ(M_Fix24Mul(-16 * tv::kFix24One, 9 * tv::kFix24One), kOver);      // -144
  EXPECT_EQ(rec.reports.size(), 3u);
}

TEST_F(MFixed, Fix24Ratio) {
  EXPECT_EQ(M_Fix24Ratio(1, 3), 5592405);
  EXPECT_EQ(M_Fix24Ratio(2, 3), 11184811);
  EXPECT_EQ(M_Fix24Ratio(1, 33554432), 1);    // 0.5 units
  EXPECT_EQ(M_Fix24Ratio(-1, 33554432), -1);
  EXPECT_EQ(M_Fix24Ratio(-128, 1), INT32_MIN);
  EXPECT_EQ(M_Fix24Ratio(255, 2), 127 * tv::kFix24One + tv::kFix24One / 2);
  EXPECT_TRUE(rec.reports.empty());

  EXPECT_EQ(M_Fix24Ratio(128, 1), kOver);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: overflow in fix24 divide (1102).");
  EXPECT_EQ(rec.last().location, tv::Location(17, 0x42));
  // Between -129 and -128 the value has no 8.24 form: an overflow, not a wrap.
  EXPECT_EQ(M_Fix24Ratio(-257, 2), kOver);
  EXPECT_EQ(rec.reports.size(), 2u);
  EXPECT_EQ(M_Fix24Ratio(INT32_MAX, 16777216), 0x7FFFFFFF);  // 127.99999994, exact
  EXPECT_EQ(rec.reports.size(), 2u);
  // A product just below 128 that rounds to 2^31 does not fit either.
  EXPECT_EQ(M_Fix24Mul(2147483520, 16777217), kOver);
  EXPECT_EQ(rec.reports.size(), 3u);

  EXPECT_EQ(M_Fix24Ratio(5, 0), kOver);
  ASSERT_EQ(rec.reports.size(), 4u);
  EXPECT_EQ(rec.last().text, "Test error: divide by zero in fix24 divide (1104).");
  EXPECT_EQ(rec.last().severity, tv::kSevError);
}

}  // namespace
