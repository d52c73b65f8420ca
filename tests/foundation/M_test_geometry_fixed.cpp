// Fixed-point arithmetic: 16.16 multiply and divide against exact 64-bit and
// double references, and the reporting 8.24 operations.
#include <cmath>
#include <cstdint>

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

TEST(MFixDiv, ExamplesSignsAndOverflows) {
  const FixCase cases[] = {
      {0x10000, 0, kOver}, {0, 0, kOver}, {-0x30000, 0x20000, -0x18000}, {0x30000, -0x20000, -0x18000},
      {-0x30000, -0x20000, 0x18000}, {0x10000, 0x30000, 0x5555}, {0, 0x12345, 0},
      {-1, 0x7FFF0000, 0}, {1, -0x7FFF0000, 0},  // a zero quotient is 0 with any signs
      {0x7FFFFFFF, 0x8000, kOver},               // 32768 / 0.5
      {0x7FFFFFFF, 1, kOver},                    // divisor shifted to 0
      {0x40000000, 0x8000, kOver}, {-0x40000000, 0x8000, INT32_MIN},  // +-32768: only the negative fits
      {-0x40010000, 0x8000, kOver},  // -32770 does not
      {INT32_MIN, 0x10000, INT32_MIN}, {0x3FFF0000, 0x8000, 0x7FFE0000},
  };
  for (const FixCase& c : cases) EXPECT_EQ(M_FixDiv(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

// Rounding half away from zero, the ends of the 8.24 range and the reported
// overflows and division by zero.
TEST_F(MFixed, Fix24MultiplyAndRatio) {
  constexpr int32_t kOne = tv::kFix24One;
  const char* const kMulOver = "Test error: overflow in fix24 multiply (1102).";
  const char* const kDivOver = "Test error: overflow in fix24 divide (1102).";
  struct Case {
    bool multiply;
    int32_t a, b, expected;
    const char* report;  // the report of the call, if any
  };
  const Case cases[] = {
      {true, 2 * kOne, 3 * kOne, 6 * kOne, nullptr}, {true, -2 * kOne, 3 * kOne, -6 * kOne, nullptr},
      {true, 1, kOne / 2, 1, nullptr}, {true, -1, kOne / 2, -1, nullptr},  // +-0.5 units -> +-1
      {true, 0x7FFFFFFF, kOne, 0x7FFFFFFF, nullptr}, {true, INT32_MIN, kOne, INT32_MIN, nullptr},  // -128
      {true, kOne / 4, 100 * 65536, 25 * 65536, nullptr},  // a Fix24 fraction of a Fixed width is Fixed
      {true, 16 * kOne, 8 * kOne, kOver, kMulOver},  // 128
      {true, -16 * kOne, 8 * kOne + 1, kOver, kMulOver},  // below -128
      {true, 2147483520, 16777217, kOver, kMulOver},  // just below 128, rounds to 2^31
      {false, 1, 3, 5592405, nullptr}, {false, 2, 3, 11184811, nullptr},
      {false, 255, 2, 127 * kOne + kOne / 2, nullptr},
      {false, 1, 33554432, 1, nullptr}, {false, -1, 33554432, -1, nullptr},  // +-0.5 units
      {false, -128, 1, INT32_MIN, nullptr}, {false, INT32_MAX, 16777216, 0x7FFFFFFF, nullptr},  // 127.99999994
      {false, 128, 1, kOver, kDivOver}, {false, -257, 2, kOver, kDivOver},  // no 8.24 form, not a wrap
      {false, 5, 0, kOver, "Test error: divide by zero in fix24 divide (1104)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.multiply ? "mul " : "ratio ") << c.a << " " << c.b);
    EXPECT_EQ(c.multiply ? M_Fix24Mul(c.a, c.b) : M_Fix24Ratio(c.a, c.b), c.expected);
    if (c.report)
      rec.ExpectOnly(tv::Location(17, c.multiply ? 0x41 : 0x42), tv::kSevError, c.report);
    else
      rec.ExpectNone();
  }
}

}  // namespace
