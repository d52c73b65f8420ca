// Ratio arithmetic: exact results, the overflow order (reduction, then
// approximation, then a reported failure), the three status forms, conversion,
// comparison, clipping, double to ratio and the integer utilities.
#include <climits>
#include <cmath>
#include <string>

#include "M.h"
#include "TestSupport.h"

// Found by argument-dependent lookup (Ratio lives in the global namespace).
[[maybe_unused]] static void PrintTo(const Ratio& r, std::ostream* os) { *os << r.num << "/" << r.den; }

namespace {

using tv::m::MakeRatio;

constexpr Ratio kZero{0, 0};

class RatioTest : public tv::test::UFixture {
 protected:
  // Exactly one report with this site, severity, code and text.
  void ExpectReport(uint32_t site, Severity severity, ErrorCode code, const std::string& text) {
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, tv::Location(M_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, severity);
    EXPECT_EQ(rec.last().text, text);
    ErrorCode last = 0;
    U_GetLastError(nullptr, nullptr, nullptr, &last);
    EXPECT_EQ(last, code);
    rec.clear();
  }
  void ExpectNoReport() {
    EXPECT_TRUE(rec.reports.empty()) << rec.last().text;
    rec.clear();
  }
};

// Report sites of the ratio operations.
constexpr uint32_t kAdd = 0x40, kSub = 0x41, kMul = 0x42, kDiv = 0x43, kRecip = 0x44, kConv = 0x45,
                   kShortConv = 0x46, kCompare = 0x47, kClip = 0x48, kLCM = 0x4B, kGCD = 0x4A,
                   kRoundMult = 0x4C;

// ---- Addition and subtraction -------------------------------------------------

TEST_F(RatioTest, AddUsesTheLeastCommonDenominatorWithoutReducing) {
  Ratio r{};
  EXPECT_EQ(M_AddRatio({1, 3}, {1, 6}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(3, 6));
  EXPECT_EQ(M_AddRatio({0, 5}, {7, 9}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(7, 9));
  EXPECT_EQ(M_AddRatio({5, 9}, {0, 3}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(5, 9));
  EXPECT_EQ(M_AddRatio({2, 7}, {3, 7}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(5, 7));
  EXPECT_EQ(M_SubRatio({0, 5}, {7, 9}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-7, 9));
  EXPECT_EQ(M_SubRatio({1, 4}, {1, 6}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(1, 12));
  EXPECT_EQ(M_AddRatio({-3, 4}, {-1, 4}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-4, 4));
  ExpectNoReport();
}

TEST_F(RatioTest, AddRetriesWithReducedOperands) {
  Ratio r{};
  uint8_t status = M_StatusAllowApprox;
  // 2^30 / 2^31 + 1/3: the common denominator 3 x 2^31 overflows; 1/2 + 1/3 fits.
  EXPECT_EQ(M_AddRatio({1 << 30, 0x80000000u}, {1, 3}, &r, &status), 0);
  EXPECT_EQ(r, MakeRatio(5, 6));
  EXPECT_EQ(status, M_StatusExact);
  ExpectNoReport();
}

TEST_F(RatioTest, SubtractingTheMostNegativeNumerator) {
  Ratio r{};
  // Its negation does not fit; the reduced -2^30/1 negates.
  EXPECT_EQ(M_SubRatio({0, 1}, {INT32_MIN, 2}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(1 << 30, 1));
  // Nothing reduces and 2^31 does not fit.
  EXPECT_EQ(M_SubRatio({0, 1}, {INT32_MIN, 1}, &r, nullptr), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kSub, 8, M_ErrOverflow, "Test error: overflow in ratio subtraction (1102).");
  EXPECT_EQ(M_SubRatio({-1, 1}, {INT32_MIN, 1}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(INT32_MAX, 1));
}

TEST_F(RatioTest, AddOverflowInEachStatusForm) {
  const Ratio a{1, 2147483647}, b{1, 2147483646};
  Ratio r{};
  // Absent status: exactness required, reported.
  EXPECT_EQ(M_AddRatio(a, b, &r, nullptr), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kAdd, 8, M_ErrOverflow, "Test error: overflow in ratio addition (1102).");
  // Approximate: a close value, nothing reported.
  EXPECT_EQ(M_AddRatio(a, b, &r, M_APPROXIMATE), 0);
  EXPECT_NEAR(double(r.num) / r.den, 1.0 / 2147483647 + 1.0 / 2147483646, 1e-15);
  ExpectNoReport();
  // Status byte allowing the approximation: 2.
  uint8_t status = M_StatusAllowApprox;
  EXPECT_EQ(M_AddRatio(a, b, &r, &status), 0);
  EXPECT_EQ(status, M_StatusApproximated);
  EXPECT_NE(r.den, 0u);
  // Status byte without the approximation: 1, 0/0, not reported.
  status = 0;
  EXPECT_EQ(M_AddRatio(a, b, &r, &status), M_ErrOverflow);
  EXPECT_EQ(status, M_StatusOverflow);
  EXPECT_EQ(r, kZero);
  ExpectNoReport();
  // An exact result clears the byte.
  status = M_StatusAllowApprox | M_StatusOverflow;
  EXPECT_EQ(M_AddRatio({1, 2}, {1, 2}, &r, &status), 0);
  EXPECT_EQ(status, M_StatusExact);
}

TEST_F(RatioTest, AddWhoseApproximationAlsoOverflows) {
  Ratio r{1, 1};
  EXPECT_EQ(M_AddRatio({INT32_MAX, 1}, {1, 1}, &r, M_APPROXIMATE), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kAdd, 8, M_ErrOverflow, "Test error: overflow in ratio addition (1102).");
  uint8_t status = M_StatusAllowApprox;
  EXPECT_EQ(M_AddRatio({INT32_MAX, 1}, {1, 1}, &r, &status), M_ErrOverflow);
  EXPECT_EQ(status, M_StatusOverflow);
  ExpectNoReport();
  EXPECT_EQ(M_AddRatio({INT32_MIN, 1}, {-1, 1}, &r, M_APPROXIMATE), M_ErrOverflow);
  ExpectReport(kAdd, 8, M_ErrOverflow, "Test error: overflow in ratio addition (1102).");
}

TEST_F(RatioTest, ZeroDenominatorIsReportedInEveryStatusForm) {
  Ratio r{5, 5};
  EXPECT_EQ(M_AddRatio({1, 0}, {1, 2}, &r, nullptr), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  ExpectReport(kAdd, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio addition (1106).");
  EXPECT_EQ(M_SubRatio({1, 2}, {0, 0}, &r, M_APPROXIMATE), M_ErrZeroDenominator);
  ExpectReport(kSub, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio subtraction (1106).");
  uint8_t status = M_StatusAllowApprox;
  EXPECT_EQ(M_MulRatio({1, 2}, {1, 0}, &r, &status), M_ErrZeroDenominator);
  EXPECT_EQ(status, M_StatusOverflow);
  ExpectReport(kMul, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio multiply (1106).");
}

// ---- Multiplication, division, reciprocal ----------------------------------------

TEST_F(RatioTest, MulIsNotReducedAndCrossCancels) {
  Ratio r{};
  EXPECT_EQ(M_MulRatio({2, 3}, {3, 4}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(6, 12));
  EXPECT_EQ(M_MulRatio({1, 2147483647}, {2147483647, 3}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(1, 3));
  EXPECT_EQ(M_MulRatio({-65536, 65537}, {65537, 65536}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-1, 1));
  ExpectNoReport();
}

TEST_F(RatioTest, MulOverflowPaths) {
  Ratio r{};
  EXPECT_EQ(M_MulRatio({65537, 1}, {65537, 1}, &r, nullptr), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kMul, 8, M_ErrOverflow, "Test error: overflow in ratio multiply (1102).");
  // 65537^2 / 65539 is about 65535.0
  EXPECT_EQ(M_MulRatio({65537, 1}, {65537, 65539}, &r, M_APPROXIMATE), 0);
  EXPECT_NEAR(double(r.num) / r.den, 65537.0 * 65537.0 / 65539.0, 1e-2);
  uint8_t status = M_StatusAllowApprox;
  EXPECT_EQ(M_MulRatio({INT32_MAX, 1}, {2, 1}, &r, &status), M_ErrOverflow);
  EXPECT_EQ(status, M_StatusOverflow);
  ExpectNoReport();
}

TEST_F(RatioTest, DivisionByZeroIsAZeroDenominatorOfTheProduct) {
  Ratio r{7, 7};
  EXPECT_EQ(M_DivRatio({1, 2}, {0, 1}, &r, nullptr), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  ExpectReport(kDiv, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio multiply (1106).");
}

TEST_F(RatioTest, DivisionUsesTheSignedReciprocal) {
  Ratio r{};
  EXPECT_EQ(M_DivRatio({1, 2}, {-3, 4}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-4, 6));
  // The reciprocal -2 / 2^31 passes the predicates only once reduced.
  EXPECT_EQ(M_DivRatio({1, 1}, {INT32_MIN, 2}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-1, 0x40000000u));
  ExpectNoReport();
}

TEST_F(RatioTest, DivisorDenominatorAbove31Bits) {
  const Ratio b{4, 0xFFFFFFFDu};  // odd denominator: does not reduce
  Ratio r{};
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, nullptr), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kDiv, 8, M_ErrOverflow, "Test error: overflow in ratio divide (1102).");
  uint8_t status = 0;
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, &status), M_ErrOverflow);
  EXPECT_EQ(status, M_StatusOverflow);
  ExpectNoReport();
  // Halving allowed: 1 / (2 / 2147483646), the status tells it was approximated.
  status = M_StatusAllowHalving;
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, &status), 0);
  EXPECT_EQ(r, MakeRatio(1073741823, 1));
  EXPECT_EQ(status, M_StatusApproximated);
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, M_APPROXIMATE), 0);
  EXPECT_EQ(r, MakeRatio(1073741823, 1));
  // A divisor that reduces below 2^31 stays exact.
  status = 0;
  EXPECT_EQ(M_DivRatio({1, 1}, {1 << 30, 0x80000000u}, &r, &status), 0);
  EXPECT_EQ(r, MakeRatio(2, 1));
  EXPECT_EQ(status, M_StatusExact);
  // A numerator of 1 would halve to 0: an overflow, not a division by zero.
  status = M_StatusAllowHalving;
  EXPECT_EQ(M_DivRatio({1, 1}, {1, 0xFFFFFFFFu}, &r, &status), M_ErrOverflow);
  EXPECT_EQ(status, M_StatusOverflow);
  status = M_StatusAllowHalving | M_StatusAllowApprox;
  EXPECT_EQ(M_DivRatio({1, 0x40000000u}, {1, 0xFFFFFFFFu}, &r, &status), 0);
  EXPECT_EQ(status, M_StatusApproximated);
  EXPECT_NEAR(double(r.num) / r.den, 4.0, 1e-6);
  ExpectNoReport();
}

TEST_F(RatioTest, Reciprocal) {
  Ratio r{};
  Boolean32 exact = 0;
  EXPECT_EQ(M_RecipRatio({-3, 4}, &r, &exact), 0);
  EXPECT_EQ(r, MakeRatio(-4, 3));
  EXPECT_TRUE(exact);
  EXPECT_EQ(M_RecipRatio({INT32_MIN, 1}, &r, &exact), 0);
  EXPECT_EQ(r, MakeRatio(-1, 0x80000000u));
  EXPECT_EQ(M_RecipRatio({2, 0xFFFFFFFEu}, &r, &exact), 0);  // reduces
  EXPECT_EQ(r, MakeRatio(2147483647, 1));
  EXPECT_TRUE(exact);
  EXPECT_EQ(M_RecipRatio({-3, 0xFFFFFFFEu}, &r, &exact), 0);  // halves
  EXPECT_EQ(r, MakeRatio(-2147483647, 1));
  EXPECT_FALSE(exact);
  ExpectNoReport();
  // 1 / 0 is a division by zero rather than a ratio over 0.
  EXPECT_EQ(M_RecipRatio({0, 5}, &r, &exact), M_ErrDivideByZero);
  EXPECT_EQ(r, kZero);
  ExpectReport(kRecip, 8, M_ErrDivideByZero, "Test error: divide by zero in ratio divide (1104).");
  EXPECT_EQ(M_RecipRatio({1, 0xFFFFFFFFu}, &r, &exact), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kRecip, 8, M_ErrOverflow, "Test error: overflow in ratio divide (1102).");
}

// ---- Reduction, conversion, comparison ---------------------------------------------

TEST_F(RatioTest, Reduce) {
  Ratio r{};
  Boolean32 changed = 0;
  EXPECT_EQ(M_ReduceRatio({6, 8}, &r, &changed), 0);
  EXPECT_EQ(r, MakeRatio(3, 4));
  EXPECT_TRUE(changed);
  EXPECT_EQ(M_ReduceRatio({0, 9}, &r, &changed), 0);
  EXPECT_EQ(r, MakeRatio(0, 1));
  EXPECT_TRUE(changed);
  EXPECT_EQ(M_ReduceRatio({-7, 3}, &r, &changed), 0);
  EXPECT_EQ(r, MakeRatio(-7, 3));
  EXPECT_FALSE(changed);
  EXPECT_EQ(M_ReduceRatio({INT32_MIN, 0x80000000u}, &r, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-1, 1));
  EXPECT_EQ(M_ReduceRatio({3, 0}, &r, &changed), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  EXPECT_EQ(rec.reports.size(), 1u);
}

TEST_F(RatioTest, ConvertRoundsHalfUpAndTellsExactness) {
  Ratio r{};
  Boolean32 exact = 1, overflow = 1;
  EXPECT_EQ(M_ConvRatio({1, 3}, 1000, &r, &exact, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(333, 1000));
  EXPECT_FALSE(exact);
  EXPECT_FALSE(overflow);
  EXPECT_EQ(M_ConvRatio({2, 3}, 1000, &r, &exact, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(667, 1000));
  EXPECT_EQ(M_ConvRatio({1, 4}, 1000, &r, &exact, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(250, 1000));
  EXPECT_TRUE(exact);
  EXPECT_EQ(M_ConvRatio({5, 2}, 1, &r, &exact, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(3, 1));
  EXPECT_EQ(M_ConvRatio({-5, 2}, 1, &r, &exact, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-2, 1));
  EXPECT_EQ(M_ConvRatio({-7, 2}, 1, &r, &exact, nullptr), 0);
  EXPECT_EQ(r, MakeRatio(-3, 1));
  EXPECT_EQ(M_ConvRatio({6, 8}, 8, &r, &exact, nullptr), 0);  // equal denominators copy
  EXPECT_EQ(r, MakeRatio(6, 8));
  EXPECT_TRUE(exact);
  // Exactness at products beyond 2^53: (2^31-1) * 3 / 3 over 0xFFFFFFFF.
  EXPECT_EQ(M_ConvRatio({INT32_MAX, 0xFFFFFFFFu}, 0xFFFFFFFDu, &r, &exact, nullptr), 0);
  EXPECT_FALSE(exact);
  EXPECT_EQ(r, MakeRatio(2147483646, 0xFFFFFFFDu));
  ExpectNoReport();
}

TEST_F(RatioTest, ConvertOverflowAndZeroDenominators) {
  Ratio r{};
  Boolean32 overflow = 0;
  EXPECT_EQ(M_ConvRatio({INT32_MAX, 1}, 2, &r, nullptr, &overflow), M_ErrOverflow);
  EXPECT_TRUE(overflow);
  EXPECT_EQ(r, kZero);
  ExpectNoReport();
  // At the ends of the range: -2147483647.5 rounds up and fits, INT32_MIN
  // fits, 2147483647.5 rounds to 2^31, which does not.
  EXPECT_EQ(M_ConvRatio({-858993459, 2}, 5, &r, nullptr, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(-2147483647, 5));
  EXPECT_EQ(M_ConvRatio({-1073741824, 1}, 2, &r, nullptr, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(INT32_MIN, 2));
  EXPECT_EQ(M_ConvRatio({-858993460, 2}, 5, &r, nullptr, &overflow), M_ErrOverflow);
  EXPECT_TRUE(overflow);
  EXPECT_EQ(M_ConvRatio({858993459, 2}, 5, &r, nullptr, &overflow), M_ErrOverflow);
  EXPECT_TRUE(overflow);
  ExpectNoReport();
  EXPECT_EQ(M_ConvRatio({INT32_MAX, 1}, 2, &r, nullptr, nullptr), M_ErrOverflow);
  ExpectReport(kConv, 8, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
  EXPECT_EQ(M_ConvRatio({1, 0}, 2, &r, nullptr, &overflow), M_ErrZeroDenominator);
  ExpectReport(kConv, 8, M_ErrZeroDenominator,
               "Test error: zero denominator converting ratio denominators (1106).");
  EXPECT_EQ(M_ConvRatio({1, 2}, 0, &r, nullptr, &overflow), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  rec.clear();
}

TEST_F(RatioTest, ShortConvert) {
  Ratio r{};
  Boolean32 overflow = 1;
  EXPECT_EQ(M_ShortConvRatio(1001, 30000, 600, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(20, 600));  // 20.02 rounds to 20
  EXPECT_FALSE(overflow);
  EXPECT_EQ(M_ShortConvRatio(-7, 3, 3, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(-7, 3));
  EXPECT_EQ(M_ShortConvRatio(INT32_MIN, 1, 0xFFFFFFFFu, &r, &overflow), M_ErrOverflow);
  EXPECT_TRUE(overflow);
  EXPECT_EQ(r, kZero);
  ExpectNoReport();
  EXPECT_EQ(M_ShortConvRatio(INT32_MIN, 1, 2, &r, nullptr), M_ErrOverflow);
  ExpectReport(kShortConv, 8, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
  EXPECT_EQ(M_ShortConvRatio(1, 0, 2, &r, &overflow), M_ErrZeroDenominator);
  rec.clear();
}

TEST_F(RatioTest, CompareIsExactEvenWithLargeDenominators) {
  int32_t order = 5;
  EXPECT_EQ(M_CompareRatio({1, 3}, {2, 6}, &order), 0);
  EXPECT_EQ(order, 0);
  EXPECT_EQ(M_CompareRatio({-1, 3}, {1, 0xFFFFFFFFu}, &order), 0);
  EXPECT_LT(order, 0);
  EXPECT_EQ(M_CompareRatio({INT32_MAX, 1}, {INT32_MIN, 1}, &order), 0);
  EXPECT_GT(order, 0);
  // These differ by about 1e-19, far below double precision.
  const Ratio a{2147483647, 0xFFFFFFFFu}, b{2147483646, 0xFFFFFFFDu};
  EXPECT_EQ(double(a.num) / a.den, double(b.num) / b.den);
  EXPECT_EQ(M_CompareRatio(a, b, &order), 0);
  EXPECT_GT(order, 0);
  EXPECT_EQ(M_CompareRatio(b, a, &order), 0);
  EXPECT_LT(order, 0);
  ExpectNoReport();
  EXPECT_EQ(M_CompareRatio({1, 0}, {1, 2}, &order), M_ErrZeroDenominator);
  ExpectReport(kCompare, 8, M_ErrZeroDenominator, "Test error: zero denominator comparing ratios (1106).");
}

// ---- Min, max, clipping, spans ----------------------------------------------------------

TEST_F(RatioTest, MinAndMaxKeepTheFirstOnEquality) {
  Ratio r{};
  EXPECT_EQ(M_MinRatio({1, 2}, {2, 4}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 2));
  EXPECT_EQ(M_MaxRatio({2, 4}, {1, 2}, &r), 0);
  EXPECT_EQ(r, MakeRatio(2, 4));
  EXPECT_EQ(M_MinRatio({1, 2}, {1, 3}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 3));
  EXPECT_EQ(M_MaxRatio({1, 2}, {1, 3}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 2));
}

TEST_F(RatioTest, Clip) {
  Ratio r{};
  EXPECT_EQ(M_ClipRatio({5, 1}, {1, 1}, {3, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(3, 1));
  EXPECT_EQ(M_ClipRatio({-5, 1}, {1, 1}, {3, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 1));
  EXPECT_EQ(M_ClipRatio({4, 2}, {1, 1}, {3, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(4, 2));
  ExpectNoReport();
  // An inverted range leaves the result untouched.
  r = MakeRatio(42, 43);
  EXPECT_EQ(M_ClipRatio({2, 1}, {3, 1}, {1, 1}, &r), tv::kErrBadParam);
  EXPECT_EQ(r, MakeRatio(42, 43));
  ExpectReport(kClip, 8, tv::kErrBadParam, "Test error: invalid rational range -- a bad parameter was passed.");
}

TEST_F(RatioTest, ClipToSpanIncludesBothEnds) {
  Ratio r{};
  EXPECT_EQ(M_ClipRatioToSpan({3, 2}, {1, 2}, {1, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(3, 2));
  EXPECT_EQ(M_ClipRatioToSpan({2, 1}, {1, 2}, {1, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(3, 2));
  EXPECT_EQ(M_ClipRatioToSpan({1, 2}, {1, 2}, {1, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 2));
  EXPECT_EQ(M_ClipRatioToSpan({0, 1}, {1, 2}, {1, 1}, &r), 0);
  EXPECT_EQ(r, MakeRatio(1, 2));
  ExpectNoReport();
  EXPECT_EQ(M_ClipRatioToSpan({0, 1}, {INT32_MAX, 1}, {INT32_MAX, 1}, &r), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(0x49, 8, M_ErrOverflow, "Test error: overflow in ratio span (1102).");
}

TEST_F(RatioTest, ClipSpanToSpan) {
  Ratio s{}, d{};
  EXPECT_EQ(M_ClipSpanToSpan({0, 1}, {10, 1}, {2, 1}, {3, 1}, &s, &d), 0);
  EXPECT_EQ(s, MakeRatio(2, 1));
  EXPECT_EQ(d, MakeRatio(3, 1));
  EXPECT_EQ(M_ClipSpanToSpan({1, 2}, {1, 1}, {1, 1}, {5, 1}, &s, &d), 0);
  EXPECT_EQ(s, MakeRatio(1, 1));
  EXPECT_EQ(d, MakeRatio(1, 2));
  // Disjoint spans: an empty span at the later start.
  EXPECT_EQ(M_ClipSpanToSpan({0, 1}, {1, 1}, {2, 1}, {1, 1}, &s, &d), 0);
  EXPECT_EQ(s, MakeRatio(2, 1));
  EXPECT_EQ(d.num, 0);
  ExpectNoReport();
}

// ---- Double to ratio, rounding ----------------------------------------------------------

TEST_F(RatioTest, FpLong2Ratio) {
  Ratio r{};
  Boolean32 overflow = 1;
  EXPECT_EQ(M_FpLong2Ratio(0.0, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(0, 1));
  EXPECT_FALSE(overflow);
  EXPECT_EQ(M_FpLong2Ratio(0.5, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(1, 2));
  EXPECT_EQ(M_FpLong2Ratio(-3.25, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(-13, 4));
  EXPECT_EQ(M_FpLong2Ratio(1e-12, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(0, 1));
  EXPECT_EQ(M_FpLong2Ratio(2147483520.0, &r, &overflow), 0);  // largest float below 2^31
  EXPECT_EQ(r, MakeRatio(2147483520, 1));
  EXPECT_FALSE(overflow);
  // The best approximation of the single-precision value: 1/3 as a float is
  // 11184811 / 2^25, which the denominator bound admits.
  EXPECT_EQ(M_FpLong2Ratio(1.0 / 3.0, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(11184811, 33554432));
  // A large non-integer keeps its numerator within 31 bits.
  EXPECT_EQ(M_FpLong2Ratio(1000000.123, &r, &overflow), 0);
  EXPECT_FALSE(overflow);
  EXPECT_NEAR(double(r.num) / r.den, double(1000000.123f), 1e-6);
  // Tiny values near 2^-31.
  EXPECT_EQ(M_FpLong2Ratio(std::ldexp(1.0, -30), &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(1, 0x40000000u));
  EXPECT_EQ(M_FpLong2Ratio(-std::ldexp(1.0, -31), &r, &overflow), 0);
  EXPECT_TRUE(r == MakeRatio(-1, 0x40000000u) || r == MakeRatio(0, 1));
}

TEST_F(RatioTest, FpLong2RatioOverflow) {
  Ratio r{};
  Boolean32 overflow = 0;
  for (double x : {2147483648.0, 2147483600.0, -2147483600.0, 1e300, -1e10, double(NAN), double(INFINITY)}) {
    overflow = 0;
    r = MakeRatio(1, 1);
    EXPECT_EQ(M_FpLong2Ratio(x, &r, &overflow), 0) << x;
    EXPECT_TRUE(overflow) << x;
    EXPECT_EQ(r, kZero) << x;
  }
  ExpectNoReport();
}

TEST_F(RatioTest, RoundDouble) {
  EXPECT_EQ(M_RoundDouble(2.5), 3);
  EXPECT_EQ(M_RoundDouble(-2.5), -2);
  EXPECT_EQ(M_RoundDouble(-2.6), -3);
  EXPECT_EQ(M_RoundDouble(2.4999), 2);
  EXPECT_EQ(M_RoundDouble(NAN), 0);
  EXPECT_EQ(M_RoundDouble(1e300), INT32_MAX);
  EXPECT_EQ(M_RoundDouble(-1e300), INT32_MIN);
  EXPECT_EQ(M_RoundDouble(2147483646.6), INT32_MAX);
  EXPECT_EQ(M_RoundDouble(-2147483648.4), INT32_MIN);
}

TEST_F(RatioTest, RoundToNearestMultiple) {
  int32_t v = 0;
  struct Case {
    int32_t value, step, expected;
  };
  for (Case c : {Case{6, 4, 8}, Case{-6, 4, -8}, Case{5, 4, 4}, Case{-5, 4, -4}, Case{7, 4, 8}, Case{-7, 4, -8},
                 Case{0, 4, 0}, Case{2, 4, 4}, Case{-2, 4, -4}, Case{4, 3, 3}, Case{-4, 3, -3}, Case{5, 1, 5},
                 Case{INT32_MIN, 1, INT32_MIN}, Case{INT32_MAX, INT32_MAX, INT32_MAX}, Case{-8, 4, -8}}) {
    EXPECT_EQ(M_RoundToNearestMult(c.value, c.step, &v), 0) << c.value << " " << c.step;
    EXPECT_EQ(v, c.expected) << c.value << " " << c.step;
  }
  ExpectNoReport();
  EXPECT_EQ(M_RoundToNearestMult(5, 0, &v), tv::kErrBadParam);
  ExpectReport(kRoundMult, 8, tv::kErrBadParam, "Test error: invalid rounding step -- a bad parameter was passed.");
  EXPECT_EQ(M_RoundToNearestMult(5, -4, &v), tv::kErrBadParam);
  rec.clear();
  EXPECT_EQ(M_RoundToNearestMult(INT32_MAX, 4, &v), M_ErrOverflow);
  ExpectReport(kRoundMult, 8, M_ErrOverflow, "Test error: overflow rounding to a multiple (1102).");
  EXPECT_EQ(M_RoundToNearestMult(INT32_MIN, 3, &v), M_ErrOverflow);
  rec.clear();
}

// ---- Integer utilities ----------------------------------------------------------------

TEST_F(RatioTest, BitCountsAndPowersOfTwo) {
  EXPECT_EQ(M_LeadingZeros(0), 32);
  EXPECT_EQ(M_LeadingZeros(1), 31);
  EXPECT_EQ(M_LeadingZeros(0xFFFFFFFFu), 0);
  EXPECT_EQ(M_TrailingZeros(0), 32);
  EXPECT_EQ(M_TrailingZeros(0x80000000u), 31);
  EXPECT_EQ(M_TrailingZeros(12), 2);
  EXPECT_EQ(M_BitsUsed(0), 0);
  EXPECT_EQ(M_BitsUsed(-1), 0);
  EXPECT_EQ(M_BitsUsed(INT32_MIN), 0);
  EXPECT_EQ(M_BitsUsed(1), 1);
  EXPECT_EQ(M_BitsUsed(INT32_MAX), 31);
  EXPECT_EQ(M_RoundUpToPowerOf2(0), 0u);
  EXPECT_EQ(M_RoundUpToPowerOf2(1), 1u);
  EXPECT_EQ(M_RoundUpToPowerOf2(3), 4u);
  EXPECT_EQ(M_RoundUpToPowerOf2(0x40000001u), 0x80000000u);
  EXPECT_EQ(M_RoundUpToPowerOf2(0x80000000u), 0x80000000u);
  EXPECT_EQ(M_RoundUpToPowerOf2(0x80000001u), 0u);
  EXPECT_EQ(M_RoundDownToPowerOf2(0), 0u);
  EXPECT_EQ(M_RoundDownToPowerOf2(1), 1u);
  EXPECT_EQ(M_RoundDownToPowerOf2(0x40000001u), 0x40000000u);
  EXPECT_EQ(M_RoundDownToPowerOf2(0xFFFFFFFFu), 0x80000000u);
}

TEST_F(RatioTest, OverflowPredicatesAtTheirBoundaries) {
  EXPECT_TRUE(M_AddWouldOverflow(INT32_MAX, 1));
  EXPECT_FALSE(M_AddWouldOverflow(INT32_MAX, 0));
  EXPECT_FALSE(M_AddWouldOverflow(INT32_MAX, INT32_MIN));
  EXPECT_TRUE(M_AddWouldOverflow(INT32_MIN, -1));
  EXPECT_FALSE(M_AddWouldOverflow(INT32_MIN, 0));
  EXPECT_TRUE(M_AddWouldOverflow(INT32_MIN, INT32_MIN));
  EXPECT_FALSE(M_AddWouldOverflow(-1, -1));
  // Leading zeros of the magnitudes summing to less than 33.
  EXPECT_TRUE(M_MulWouldOverflow(0x8000, 0x8000));  // 2^30 would fit: conservative
  EXPECT_FALSE(M_MulWouldOverflow(0x7FFF, 0xFFFF));
  EXPECT_FALSE(M_MulWouldOverflow(-0x7FFF, -0xFFFF));
  EXPECT_TRUE(M_MulWouldOverflow(INT32_MIN, 1));
  EXPECT_TRUE(M_MulWouldOverflow(INT32_MIN, 0));  // 0 + 32 < 33: conservative
  EXPECT_TRUE(M_MulWouldOverflow(INT32_MAX, 1));  // 1 + 31
  EXPECT_FALSE(M_MulWouldOverflow(0x3FFFFFFF, 1));
  EXPECT_TRUE(M_MulWouldOverflow(0x40000000, 1));
  EXPECT_TRUE(M_UMulWouldOverflow(0x10000, 0xFFFF));
  EXPECT_FALSE(M_UMulWouldOverflow(0xFFFF, 0xFFFF));
  EXPECT_TRUE(M_UMulWouldOverflow(0xFFFFFFFFu, 1));  // 0 + 31: conservative
  EXPECT_FALSE(M_UMulWouldOverflow(0x7FFFFFFFu, 1));
  EXPECT_TRUE(M_UMulWouldOverflow(0x80000000u, 2));
}

TEST_F(RatioTest, GcdAndLcm) {
  uint32_t u = 0;
  int32_t s = 0;
  EXPECT_EQ(M_UnsignedGCD(12, 0, &u), 0);
  EXPECT_EQ(u, 1u);
  EXPECT_EQ(M_UnsignedGCD(0, 12, &u), 0);
  EXPECT_EQ(u, 12u);
  EXPECT_EQ(M_UnsignedGCD(0xFFFFFFFFu, 0xFFFF, &u), 0);
  EXPECT_EQ(u, 0xFFFFu);
  EXPECT_EQ(M_SignedGCD(-12, 18, &s), 0);
  EXPECT_EQ(s, 6);
  EXPECT_EQ(M_SignedGCD(INT32_MIN, 6, &s), 0);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(M_UnsignedLCM(4, 6, &u), 0);
  EXPECT_EQ(u, 12u);
  EXPECT_EQ(M_UnsignedLCM(0, 6, &u), 0);
  EXPECT_EQ(u, 0u);
  EXPECT_EQ(M_UnsignedLCM(0x10000, 0xFFFF, &u), 0);
  EXPECT_EQ(u, 0xFFFF0000u);
  EXPECT_EQ(M_SignedLCM(-4, 6, &s), 0);
  EXPECT_EQ(s, 12);
  ExpectNoReport();
  EXPECT_EQ(M_UnsignedLCM(0x10000, 0x10001, &u), M_ErrOverflow);
  EXPECT_EQ(u, 0u);
  ExpectReport(kLCM, 8, M_ErrOverflow, "Test error: overflow computing a least common multiple (1102).");
  EXPECT_EQ(M_SignedLCM(0x10000, 0x8001, &s), M_ErrOverflow);
  EXPECT_EQ(s, 0);
  rec.clear();
  EXPECT_EQ(M_SignedGCD(INT32_MIN, INT32_MIN, &s), M_ErrOverflow);
  ExpectReport(kGCD, 8, M_ErrOverflow, "Test error: overflow computing a greatest common divisor (1102).");
}

TEST_F(RatioTest, InstalledTableTextsAreUsed) {
  // Without M's birth the compiled texts serve; the reports above prove it.
  // The reporting never needs M: a zero denominator here works unborn.
  Ratio r{};
  EXPECT_EQ(M_MulRatio({1, 0}, {1, 1}, &r, M_APPROXIMATE), M_ErrZeroDenominator);
  ExpectReport(kMul, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio multiply (1106).");
}

}  // namespace
