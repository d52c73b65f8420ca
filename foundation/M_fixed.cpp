// Fixed-point arithmetic: 16.16 multiply and divide, 8.24 multiply and ratio.
#include <bit>
#include <cstdlib>

#include "M_fixed_internal.h"

namespace tv::m {

namespace {

uint32_t Magnitude(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

int TrailingZeros(int32_t v) { return std::countr_zero(Magnitude(v)); }  // 32 for 0

Fix24 Fix24Result(double value, uint32_t site, const char* phrase) {
  // The 8.24 range is [-128, 128). The value is checked before scaling and the
  // rounded integer is checked too: values just below 128 round to 2^31, and
  // values between -129 and -128 do not fit at all, so both are overflows
  // rather than wrapped results.
  if (value < 128.0 && value > -129.0) {
    if (auto r = RoundAwayToInt32(value * 16777216.0)) return *r;
  }
  ReportCode(site, M_ErrOverflow, phrase);
  return INT32_MIN;
}

}  // namespace
}  // namespace tv::m

using namespace tv::m;

Fixed M_FixMul(Fixed a, Fixed b) {
  // Every path multiplies in 64 bits and answers the overflow value when the
  // product does not fit in 32 bits. (A 32-bit product checked only by its
  // sign misses wraps such as 256.0 x 256.0, which would come out as 0.)
  int64_t product;
  int ta = TrailingZeros(a);
  if (ta > 16) {
    product = int64_t{a >> 16} * b;
  } else {
    int tb = TrailingZeros(b);
    if (ta + tb > 16) {
      product = int64_t{b >> (16 - ta)} * (a >> ta);
    } else {
      product = int64_t{a >> 8} * (b >> 8);  // both operands lose their low 8 bits
    }
  }
  if (product < INT32_MIN || product > INT32_MAX) return INT32_MIN;
  return static_cast<Fixed>(product);
}

Fixed M_FixDiv(Fixed a, Fixed b) {
  if (b == 0) return INT32_MIN;
  bool negative = (a < 0) != (b < 0);
  uint32_t ua = Magnitude(a);
  uint32_t ub = Magnitude(b);
  uint32_t quotient;
  int z = std::countl_zero(ua);  // 32 for 0
  if (z < 16) {
    uint32_t divisor = ub >> (16 - z);
    if (divisor == 0) return INT32_MIN;
    quotient = (ua << z) / divisor;
  } else {
    quotient = (ua << 16) / ub;
  }
  // A zero quotient is 0 whatever the signs: it is not an overflow.
  if (quotient == 0) return 0;
  if (!negative) return quotient > 0x7FFFFFFFu ? INT32_MIN : static_cast<Fixed>(quotient);
  if (quotient > 0x80000000u) return INT32_MIN;
  return static_cast<Fixed>(-static_cast<int64_t>(quotient));
}

Fix24 M_Fix24Mul(Fix24 a, Fix24 b) {
  double value = (a / 16777216.0) * (b / 16777216.0);
  return Fix24Result(value, kSiteFix24Mul, "in fix24 multiply");
}

Fix24 M_Fix24Ratio(int32_t numerator, int32_t denominator) {
  if (denominator == 0) {
    ReportCode(kSiteFix24Ratio, M_ErrDivideByZero, "in fix24 divide");
    return INT32_MIN;
  }
  double value = static_cast<double>(numerator) / static_cast<double>(denominator);
  return Fix24Result(value, kSiteFix24Ratio, "in fix24 divide");
}
