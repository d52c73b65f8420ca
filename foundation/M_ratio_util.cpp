// Integer utilities of M: bit counts, powers of two, the overflow predicates,
// GCD and LCM, rounding.
#include <bit>
#include <cmath>

#include "M_ratio_internal.h"

namespace tv::m::ratio {

bool MagMulWouldOverflow(uint32_t a, uint32_t b) {
  return M_LeadingZeros(a) + M_LeadingZeros(b) < 33;
}
bool UMulWouldOverflow(uint32_t a, uint32_t b) { return M_LeadingZeros(a) + M_LeadingZeros(b) < 32; }

}  // namespace tv::m::ratio

using namespace tv::m::ratio;

int32_t M_LeadingZeros(uint32_t v) { return std::countl_zero(v); }
int32_t M_TrailingZeros(uint32_t v) { return std::countr_zero(v); }
int32_t M_BitsUsed(int32_t v) { return v <= 0 ? 0 : 32 - M_LeadingZeros(static_cast<uint32_t>(v)); }

uint32_t M_RoundUpToPowerOf2(uint32_t v) {
  // Above 2^31 the next power of two does not fit: 0, like the input 0.
  if (v == 0 || v > 0x80000000u) return 0;
  return std::bit_ceil(v);
}
uint32_t M_RoundDownToPowerOf2(uint32_t v) { return v == 0 ? 0 : std::bit_floor(v); }

Boolean32 M_AddWouldOverflow(int32_t a, int32_t b) {
  // Same sign in, other sign out; the sum is formed without signed overflow.
  uint32_t sum = static_cast<uint32_t>(a) + static_cast<uint32_t>(b);
  int32_t s = static_cast<int32_t>(sum);
  return ((a < 0) == (b < 0)) && ((s < 0) != (a < 0));
}
Boolean32 M_MulWouldOverflow(int32_t a, int32_t b) {
  return MagMulWouldOverflow(Magnitude(a), Magnitude(b));
}
Boolean32 M_UMulWouldOverflow(uint32_t a, uint32_t b) { return UMulWouldOverflow(a, b); }

ErrorCode M_UnsignedGCD(uint32_t a, uint32_t b, uint32_t* g) {
  if (!g) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_UnsignedGCD"});
  *g = b == 0 ? 1 : Gcd(a, b);
  return 0;
}

ErrorCode M_SignedGCD(int32_t a, int32_t b, int32_t* g) {
  if (!g) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_SignedGCD"});
  uint32_t u = b == 0 ? 1 : Gcd(Magnitude(a), Magnitude(b));
  // gcd(INT32_MIN, INT32_MIN) is 2^31, which no signed result holds.
  if (u > 0x7FFFFFFFu) {
    *g = 0;
    return ReportCode(kSiteGCD, M_ErrOverflow, kPhraseGCD);
  }
  *g = static_cast<int32_t>(u);
  return 0;
}

namespace {
// a / gcd(a, b) * b, checked, with 0 for a zero operand.
bool Lcm(uint32_t a, uint32_t b, uint32_t* l) {
  if (a == 0 || b == 0) {
    *l = 0;
    return true;
  }
  uint32_t q = a / Gcd(a, b);
  // The product is checked exactly: a least common multiple that does not fit
  // is reported rather than returned wrapped.
  uint64_t p = uint64_t{q} * b;
  *l = static_cast<uint32_t>(p);
  return p <= 0xFFFFFFFFu;
}
}  // namespace

ErrorCode M_UnsignedLCM(uint32_t a, uint32_t b, uint32_t* l) {
  if (!l) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_UnsignedLCM"});
  if (!Lcm(a, b, l)) {
    *l = 0;
    return ReportCode(kSiteLCM, M_ErrOverflow, kPhraseLCM);
  }
  return 0;
}

ErrorCode M_SignedLCM(int32_t a, int32_t b, int32_t* l) {
  if (!l) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_SignedLCM"});
  uint32_t u = 0;
  if (!Lcm(Magnitude(a), Magnitude(b), &u) || u > 0x7FFFFFFFu) {
    *l = 0;
    return ReportCode(kSiteLCM, M_ErrOverflow, kPhraseLCM);
  }
  *l = static_cast<int32_t>(u);
  return 0;
}

int32_t M_RoundDouble(FpLong x) {
  // Out-of-range values saturate and NaN gives 0, where a plain conversion
  // would be undefined.
  if (std::isnan(x)) return 0;
  double f = std::floor(x + 0.5);
  if (f >= 2147483647.0) return INT32_MAX;
  if (f <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(f);
}

ErrorCode M_RoundToNearestMult(int32_t value, int32_t step, int32_t* result) {
  if (!result) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_RoundToNearestMult"});
  // A step of 0 or less has no multiples to round to (and would divide by 0).
  if (step <= 0) {
    *result = 0;
    return kReport.Fail(kSiteRoundMult, tv::kErrBadParam, tv::m::kTextBadStep);
  }
  int64_t v = value, s = step, half = step / 2, r;
  if (v >= 0) {
    r = (v + half) - (v + half) % s;
  } else {
    r = (half - v) % s + (v - half);
  }
  // Computed in 64 bits; a multiple beyond the 32-bit range is reported.
  if (r > INT32_MAX || r < INT32_MIN) {
    *result = 0;
    return ReportCode(kSiteRoundMult, M_ErrOverflow, kPhraseRoundMult);
  }
  *result = static_cast<int32_t>(r);
  return 0;
}
