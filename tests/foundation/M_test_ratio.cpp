// Ratio arithmetic: exact results, the overflow order (reduction, then
// approximation, then a reported failure), the three status forms, conversion,
// comparison, clipping, double to ratio and the integer utilities.
#include <climits>
#include <cmath>
#include <ostream>
#include <string>
#include <tuple>

#include "M.h"
#include "TestSupport.h"

// Found by argument-dependent lookup (Ratio lives in the global namespace).
[[maybe_unused]] static std::ostream& operator<<(std::ostream& os, const Ratio& r) {
  return os << r.num << "/" << r.den;
}

namespace {

using tv::m::MakeRatio;

constexpr Ratio kZero{0, 0};
using BinaryOp = ErrorCode (*)(Ratio, Ratio, Ratio*, uint8_t*);

class RatioTest : public tv::test::UFixture {
 protected:
  // Exactly one report with this site, severity, code and text.
  void ExpectReport(uint32_t site, Severity severity, ErrorCode code, const std::string& text) {
    EXPECT_EQ(tv::test::LastCode(), code);
    rec.ExpectOnly(tv::Location(M_PackageNumber, site), severity, text);
  }
};

// Report sites of the ratio operations.
constexpr uint32_t kAdd = 0x40, kSub = 0x41, kMul = 0x42, kDiv = 0x43, kRecip = 0x44, kConv = 0x45,
                   kShortConv = 0x46, kCompare = 0x47, kClip = 0x48, kLCM = 0x4B, kGCD = 0x4A,
                   kRoundMult = 0x4C;

// ---- Addition, subtraction, multiplication, division -----------------------------

TEST_F(RatioTest, ExactResultsAreNotReduced) {
  struct Case { BinaryOp op; Ratio a, b, expected; };
  const Case cases[] = {
      {M_AddRatio, {1, 3}, {1, 6}, {3, 6}},  // the least common denominator
      {M_SubRatio, {1, 4}, {1, 6}, {1, 12}},
      {M_MulRatio, {2, 3}, {3, 4}, {6, 12}},
      {M_MulRatio, {1, 2147483647}, {2147483647, 3}, {1, 3}},  // cross-cancels
      {M_DivRatio, {1, 2}, {-3, 4}, {-4, 6}},  // the signed reciprocal
      // The reciprocal -2 / 2^31 passes the predicates only once reduced.
      {M_DivRatio, {1, 1}, {INT32_MIN, 2}, {-1, 0x40000000u}},
      // Its negation does not fit; the reduced -2^30/1 negates.
      {M_SubRatio, {0, 1}, {INT32_MIN, 2}, {1 << 30, 1}},
      {M_SubRatio, {-1, 1}, {INT32_MIN, 1}, {INT32_MAX, 1}},
  };
  for (const Case& c : cases) {
    Ratio r{};
    EXPECT_EQ(c.op(c.a, c.b, &r, nullptr), 0) << c.a << " " << c.b;
    EXPECT_EQ(r, c.expected) << c.a << " " << c.b;
  }
  rec.ExpectNone();
}

TEST_F(RatioTest, OverflowWithoutStatusIsReportedAndGivesZeroOverZero) {
  struct Case { BinaryOp op; Ratio a, b; uint8_t* status; uint32_t site; const char* text; };
  const Case cases[] = {
      // Nothing reduces and 2^31 does not fit (an exact sum's text: TimeTest).
      {M_SubRatio, {0, 1}, {INT32_MIN, 1}, nullptr, kSub, "overflow in ratio subtraction"},
      // The approximation also overflows.
      {M_AddRatio, {INT32_MAX, 1}, {1, 1}, M_APPROXIMATE, kAdd, "overflow in ratio addition"},
      {M_MulRatio, {65537, 1}, {65537, 1}, nullptr, kMul, "overflow in ratio multiply"},
      {M_DivRatio, {1, 1}, {4, 0xFFFFFFFDu}, nullptr, kDiv, "overflow in ratio divide"},  // odd: no reduction
  };
  for (const Case& c : cases) {
    Ratio r{1, 1};
    EXPECT_EQ(c.op(c.a, c.b, &r, c.status), M_ErrOverflow) << c.text;
    EXPECT_EQ(r, kZero) << c.text;
    ExpectReport(c.site, 8, M_ErrOverflow, std::string("Test error: ") + c.text + " (1102).");
  }
}

TEST_F(RatioTest, OverflowWithAStatusByteIsNotReported) {
  struct Case { BinaryOp op; Ratio a, b; uint8_t status; };
  const Case cases[] = {
      {M_AddRatio, {1, 2147483647}, {1, 2147483646}, 0},
      {M_AddRatio, {INT32_MAX, 1}, {1, 1}, M_StatusAllowApprox},
      {M_MulRatio, {INT32_MAX, 1}, {2, 1}, M_StatusAllowApprox},
      {M_DivRatio, {1, 1}, {4, 0xFFFFFFFDu}, 0},
      // A numerator of 1 would halve to 0: an overflow, not a division by zero.
      {M_DivRatio, {1, 1}, {1, 0xFFFFFFFFu}, M_StatusAllowHalving},
  };
  for (const Case& c : cases) {
    Ratio r{1, 1};
    uint8_t status = c.status;
    EXPECT_EQ(c.op(c.a, c.b, &r, &status), M_ErrOverflow) << c.a << " " << c.b;
    EXPECT_EQ(std::tuple(status, r), std::tuple(M_StatusOverflow, kZero)) << c.a << " " << c.b;
  }
  rec.ExpectNone();
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
  // Division by zero is a zero denominator of the product.
  r = MakeRatio(7, 7);
  EXPECT_EQ(M_DivRatio({1, 2}, {0, 1}, &r, nullptr), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  ExpectReport(kDiv, 8, M_ErrZeroDenominator, "Test error: zero denominator in ratio multiply (1106).");
}

TEST_F(RatioTest, DivisorDenominatorAbove31Bits) {
  const Ratio b{4, 0xFFFFFFFDu};  // odd denominator: does not reduce
  Ratio r{};
  // Halving allowed: 1 / (2 / 2147483646), the status tells it was approximated.
  uint8_t status = M_StatusAllowHalving;
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, &status), 0);
  EXPECT_EQ(std::tuple(r, status), std::tuple(MakeRatio(1073741823, 1), M_StatusApproximated));
  EXPECT_EQ(M_DivRatio({1, 1}, b, &r, M_APPROXIMATE), 0);
  EXPECT_EQ(r, MakeRatio(1073741823, 1));
  // A divisor that reduces below 2^31 stays exact.
  status = 0;
  EXPECT_EQ(M_DivRatio({1, 1}, {1 << 30, 0x80000000u}, &r, &status), 0);
  EXPECT_EQ(std::tuple(r, status), std::tuple(MakeRatio(2, 1), M_StatusExact));
  status = M_StatusAllowHalving | M_StatusAllowApprox;
  EXPECT_EQ(M_DivRatio({1, 0x40000000u}, {1, 0xFFFFFFFFu}, &r, &status), 0);
  EXPECT_EQ(status, M_StatusApproximated);
  EXPECT_NEAR(double(r.num) / r.den, 4.0, 1e-6);
  rec.ExpectNone();
}

TEST_F(RatioTest, Reciprocal) {
  struct Case { Ratio a, expected; bool exact; };
  const Case cases[] = {
      {{-3, 4}, {-4, 3}, true},
      {{INT32_MIN, 1}, {-1, 0x80000000u}, true},
      {{2, 0xFFFFFFFEu}, {2147483647, 1}, true},     // reduces
      {{-3, 0xFFFFFFFEu}, {-2147483647, 1}, false},  // halves
  };
  Ratio r{};
  for (const Case& c : cases) {
    Boolean32 exact = !c.exact;
    EXPECT_EQ(M_RecipRatio(c.a, &r, &exact), 0) << c.a;
    EXPECT_EQ(r, c.expected);
    EXPECT_EQ(bool(exact), c.exact) << c.a;
  }
  rec.ExpectNone();
  Boolean32 exact = 0;
  // 1 / 0 is a division by zero rather than a ratio over 0.
  EXPECT_EQ(M_RecipRatio({0, 5}, &r, &exact), M_ErrDivideByZero);
  EXPECT_EQ(r, kZero);
  ExpectReport(kRecip, 8, M_ErrDivideByZero, "Test error: divide by zero in ratio divide (1104).");
  EXPECT_EQ(M_RecipRatio({1, 0xFFFFFFFFu}, &r, &exact), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(kRecip, 8, M_ErrOverflow, "Test error: overflow in ratio divide (1102).");
}

// ---- Reduction, conversion, comparison ---------------------------------------------

// Values, orders and reductions are checked against exact arithmetic in
// M_test_ratio_gmp.cpp; here the refusals and their texts.
TEST_F(RatioTest, ReduceAndCompareRefuseZeroDenominators) {
  Ratio r{};
  EXPECT_EQ(M_ReduceRatio({3, 0}, &r, nullptr), M_ErrZeroDenominator);
  EXPECT_EQ(r, kZero);
  EXPECT_EQ(rec.reports.size(), 1u);
  rec.clear();
  int32_t order = 0;
  EXPECT_EQ(M_CompareRatio({1, 0}, {1, 2}, &order), M_ErrZeroDenominator);
  ExpectReport(kCompare, 8, M_ErrZeroDenominator, "Test error: zero denominator comparing ratios (1106).");
}

TEST_F(RatioTest, ConvertOverflowAndZeroDenominators) {
  Ratio r{};
  // 2147483647.5 rounds to 2^31, which does not fit.
  for (auto [a, to] : {std::pair{Ratio{INT32_MAX, 1}, 2u}, std::pair{Ratio{-858993460, 2}, 5u},
                       std::pair{Ratio{858993459, 2}, 5u}}) {
    Boolean32 overflow = 0;
    r = MakeRatio(1, 1);
    EXPECT_EQ(M_ConvRatio(a, to, &r, nullptr, &overflow), M_ErrOverflow) << a;
    EXPECT_EQ(std::tuple(overflow, r), std::tuple(1, kZero));
  }
  rec.ExpectNone();
  Boolean32 overflow = 0;
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
  EXPECT_EQ(std::tuple(r, overflow), std::tuple(MakeRatio(20, 600), 0));  // 20.02 rounds to 20
  EXPECT_EQ(M_ShortConvRatio(-7, 3, 3, &r, &overflow), 0);
  EXPECT_EQ(r, MakeRatio(-7, 3));
  EXPECT_EQ(M_ShortConvRatio(INT32_MIN, 1, 0xFFFFFFFFu, &r, &overflow), M_ErrOverflow);
  EXPECT_EQ(std::tuple(overflow, r), std::tuple(1, kZero));
  rec.ExpectNone();
  EXPECT_EQ(M_ShortConvRatio(INT32_MIN, 1, 2, &r, nullptr), M_ErrOverflow);
  ExpectReport(kShortConv, 8, M_ErrOverflow, "Test error: overflow converting ratio denominators (1102).");
  EXPECT_EQ(M_ShortConvRatio(1, 0, 2, &r, &overflow), M_ErrZeroDenominator);
  rec.clear();
}

// ---- Min, max, clipping, spans ----------------------------------------------------------

TEST_F(RatioTest, Clip) {
  Ratio r{};
  struct Case { Ratio value, expected; };
  for (Case c : {Case{{5, 1}, {3, 1}}, Case{{-5, 1}, {1, 1}}, Case{{4, 2}, {4, 2}}}) {
    EXPECT_EQ(M_ClipRatio(c.value, {1, 1}, {3, 1}, &r), 0);
    EXPECT_EQ(r, c.expected);
  }
  // Clipping to a span includes both ends.
  for (Case c : {Case{{3, 2}, {3, 2}}, Case{{2, 1}, {3, 2}}, Case{{1, 2}, {1, 2}}, Case{{0, 1}, {1, 2}}}) {
    EXPECT_EQ(M_ClipRatioToSpan(c.value, {1, 2}, {1, 1}, &r), 0);
    EXPECT_EQ(r, c.expected);
  }
  rec.ExpectNone();
  // An inverted range leaves the result untouched.
  r = MakeRatio(42, 43);
  EXPECT_EQ(M_ClipRatio({2, 1}, {3, 1}, {1, 1}, &r), tv::kErrBadParam);
  EXPECT_EQ(r, MakeRatio(42, 43));
  ExpectReport(kClip, 8, tv::kErrBadParam, "Test error: invalid rational range -- a bad parameter was passed.");
  EXPECT_EQ(M_ClipRatioToSpan({0, 1}, {INT32_MAX, 1}, {INT32_MAX, 1}, &r), M_ErrOverflow);
  EXPECT_EQ(r, kZero);
  ExpectReport(0x49, 8, M_ErrOverflow, "Test error: overflow in ratio span (1102).");
}

TEST_F(RatioTest, ClipSpanToSpan) {
  Ratio s{}, d{};
  EXPECT_EQ(M_ClipSpanToSpan({0, 1}, {10, 1}, {2, 1}, {3, 1}, &s, &d), 0);
  EXPECT_EQ(std::tuple(s, d), std::tuple(MakeRatio(2, 1), MakeRatio(3, 1)));
  EXPECT_EQ(M_ClipSpanToSpan({1, 2}, {1, 1}, {1, 1}, {5, 1}, &s, &d), 0);
  EXPECT_EQ(std::tuple(s, d), std::tuple(MakeRatio(1, 1), MakeRatio(1, 2)));
  // Disjoint spans: an empty span at the later start.
  EXPECT_EQ(M_ClipSpanToSpan({0, 1}, {1, 1}, {2, 1}, {1, 1}, &s, &d), 0);
  EXPECT_EQ(std::tuple(s, d.num), std::tuple(MakeRatio(2, 1), 0));
  rec.ExpectNone();
}

// ---- Double to ratio, rounding ----------------------------------------------------------

TEST_F(RatioTest, RoundDouble) {
  struct Case { double x; int32_t expected; };
  for (Case c : {Case{2.5, 3}, Case{-2.5, -2}, Case{-2.6, -3}, Case{2.4999, 2}, Case{NAN, 0}, Case{1e300, INT32_MAX},
                 Case{-1e300, INT32_MIN}, Case{2147483646.6, INT32_MAX}, Case{-2147483648.4, INT32_MIN}}) {
    EXPECT_EQ(M_RoundDouble(c.x), c.expected) << c.x;
  }
}

TEST_F(RatioTest, RoundToNearestMultiple) {
  // The values, ties away from zero, are checked against exact arithmetic in
  // M_test_ratio_gmp.cpp.
  int32_t v = 0;
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
  struct Case { uint32_t v; int32_t leading, trailing; uint32_t up, down; };
  for (Case c : {Case{0, 32, 32, 0, 0}, Case{1, 31, 0, 1, 1}, Case{3, 30, 0, 4, 2}, Case{12, 28, 2, 16, 8},
                 Case{0x40000001u, 1, 0, 0x80000000u, 0x40000000u}, Case{0x80000000u, 0, 31, 0x80000000u, 0x80000000u},
                 Case{0x80000001u, 0, 0, 0, 0x80000000u}, Case{0xFFFFFFFFu, 0, 0, 0, 0x80000000u}}) {
    EXPECT_EQ(std::tuple(M_LeadingZeros(c.v), M_TrailingZeros(c.v), M_RoundUpToPowerOf2(c.v), M_RoundDownToPowerOf2(c.v)),
              std::tuple(c.leading, c.trailing, c.up, c.down))
        << c.v;
  }
  for (auto [v, bits] : {std::pair{0, 0}, {-1, 0}, {INT32_MIN, 0}, {1, 1}, {INT32_MAX, 31}}) EXPECT_EQ(M_BitsUsed(v), bits) << v;
}

TEST_F(RatioTest, GcdAndLcm) {
  struct Case { uint32_t a, b, gcd, lcm; };
  // GCD(x, 0) is 1 while GCD(0, x) is x; LCM with 0 is 0.
  for (Case c : {Case{12, 0, 1, 0}, Case{0, 12, 12, 0}, Case{0xFFFFFFFFu, 0xFFFF, 0xFFFF, 0xFFFFFFFFu},
                 Case{4, 6, 2, 12}, Case{0x10000, 0xFFFF, 1, 0xFFFF0000u}}) {
    uint32_t u = 7;
    EXPECT_EQ(M_UnsignedGCD(c.a, c.b, &u), 0);
    EXPECT_EQ(u, c.gcd) << c.a << " " << c.b;
    EXPECT_EQ(M_UnsignedLCM(c.a, c.b, &u), 0);
    EXPECT_EQ(u, c.lcm) << c.a << " " << c.b;
  }
  int32_t s = 0;
  for (auto [op, a, b, want] : {std::tuple{&M_SignedGCD, -12, 18, 6}, {&M_SignedGCD, INT32_MIN, 6, 2}, {&M_SignedLCM, -4, 6, 12}}) {
    EXPECT_EQ(op(a, b, &s), 0);
    EXPECT_EQ(s, want) << a << " " << b;
  }
  rec.ExpectNone();
  uint32_t u = 1;
  EXPECT_EQ(M_UnsignedLCM(0x10000, 0x10001, &u), M_ErrOverflow);
  EXPECT_EQ(u, 0u);
  ExpectReport(kLCM, 8, M_ErrOverflow, "Test error: overflow computing a least common multiple (1102).");
  EXPECT_EQ(M_SignedLCM(0x10000, 0x8001, &s), M_ErrOverflow);
  EXPECT_EQ(s, 0);
  rec.clear();
  EXPECT_EQ(M_SignedGCD(INT32_MIN, INT32_MIN, &s), M_ErrOverflow);
  ExpectReport(kGCD, 8, M_ErrOverflow, "Test error: overflow computing a greatest common divisor (1102).");
}

}  // namespace
