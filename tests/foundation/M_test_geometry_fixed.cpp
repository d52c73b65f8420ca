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

struct FixCase {
  int32_t a, b, expected;
};

TEST(MFixMul, ExamplesPathsAndOverflows) {
  const FixCase cases[] = {
      {0x18000, 0x20000, 0x30000}, {0x10001, 0x10001, 0x10000},  // 1.5 x 2 exactly; the truncating path
      {0x7FFF0000, 0x20000, kOver}, {-0x18000, 0x20000, -0x30000}, {-0x18000, -0x20000, 0x30000},
      {0, 0x7FFFFFFF, 0}, {0x7FFFFFFF, 0, 0},
      {0x60000, 3, 18},                    // path 1 (ta > 16): 6.0 x 3 units
      {0x18000, 4, 6}, {4, 0x18000, 6},    // path 2 (ta + tb > 16): 1.5 x 4 units
      {0x30000, 3, 0},                     // path 3 drops the low bytes
      {0x10000, 0x1FF, 0x100},             // ta + tb == 16 still truncates
      {INT32_MIN, 0x10000, INT32_MIN}, {INT32_MIN, -0x10000, kOver},  // the most negative value is a value
      {0x40000000, -0x20000, INT32_MIN},   // 16384 x -2 = -32768
      // Wraps that keep the sign are overflows: 256 x 256 wraps to 0.
      {0x1000000, 0x1000000, kOver}, {-0x1000000, 0x1000000, kOver}, {0x1000000, 0x800000, kOver},
      {0x1000000, 0x7FFFFF, 0x7FFFFF00}, {0x7FFFFFFF, 0x7FFFFFFF, kOver},
  };
  for (const FixCase& c : cases) EXPECT_EQ(M_FixMul(c.a, c.b), c.expected) << c.a << " x " << c.b;
}

// Whatever the path, a result stays within the truncation error of the
// exact product, and only products near or beyond the range overflow.
TEST(MFixMul, RandomOperandsStayWithinTheTruncationError) {
  std::mt19937 gen(20261206);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int> shift(0, 31);
  for (int i = 0; i < 200000; ++i) {
    int32_t a = any(gen) >> shift(gen), b = any(gen) >> shift(gen);
    int32_t r = M_FixMul(a, b);
    double exact = static_cast<double>(a) * b / 65536.0;
    double bound = (std::fabs(double(a)) + std::fabs(double(b))) / 256.0 + 2.0;
    if (r == kOver) {
      ASSERT_GE(std::fabs(exact) + bound, 2147483648.0) << a << " " << b;
    } else {
      ASSERT_LE(std::fabs(r - exact), bound) << a << " " << b;
    }
  }
}

TEST(MFixDiv, ExamplesSignsAndOverflows) {
  const FixCase cases[] = {
      {0x10000, 0, kOver}, {0, 0, kOver}, {-0x30000, 0x20000, -0x18000}, {0x30000, -0x20000, -0x18000},
      {-0x30000, -0x20000, 0x18000}, {0x10000, 0x30000, 0x5555}, {0, 0x12345, 0},
      {-1, 0x7FFF0000, 0}, {1, -0x7FFF0000, 0},  // a zero quotient is 0 with any signs
      {0x7FFFFFFF, 0x8000, kOver},               // 32768 / 0.5
      {0x7FFFFFFF, 1, kOver},                    // divisor shifted to 0
      {0x40000000, 0x8000, kOver}, {-0x40000000, 0x8000, INT32_MIN},  // +-32768: only the negative fits
      {INT32_MIN, 0x10000, INT32_MIN}, {0x3FFF0000, 0x8000, 0x7FFE0000},
  };
  for (const FixCase& c : cases) EXPECT_EQ(M_FixDiv(c.a, c.b), c.expected) << c.a << " / " << c.b;
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
