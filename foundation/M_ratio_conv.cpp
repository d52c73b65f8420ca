// Ratio conversion between denominators, comparison, minimum and maximum,
// clipping to ranges and spans, and double to ratio.
#include <algorithm>
#include <cmath>

#include "M_ratio_internal.h"

namespace tv::m::ratio {
namespace {

using Int128 = __int128;

// floor(to * num / from + 1/2) exactly; false when it does not fit 32 bits.
// Sets *exact when the result times from equals to times num.
bool Convert(int32_t num, uint32_t from, uint32_t to, int32_t* out, bool* exact) {
  Int128 n = Int128{to} * num;  // |n| < 2^63
  Int128 twice = 2 * n + from, den = 2 * Int128{from};
  Int128 q = twice / den;
  if (twice % den != 0 && twice < 0) --q;  // floor for negative quotients
  if (q > INT32_MAX || q < INT32_MIN) return false;
  *out = static_cast<int32_t>(q);
  *exact = q * from == n;
  return true;
}

// The closer of a/b and c/d to p/q (non-negative; the first on a tie).
bool FirstIsCloser(uint64_t a, uint64_t b, uint64_t c, uint64_t d, uint64_t p, uint64_t q) {
  using U128 = unsigned __int128;
  // |a/b - p/q| <= |c/d - p/q|  <=>  |a q - p b| d <= |c q - p d| b
  auto diff = [](U128 x, U128 y) { return x > y ? x - y : y - x; };
  U128 e1 = diff(U128{a} * q, U128{p} * b);
  U128 e2 = diff(U128{c} * q, U128{p} * d);
  // Each error is below 2^86 and each denominator at most 2^30: no overflow.
  return e1 * d <= e2 * b;
}

// start + duration, approximated when needed; an unrepresentable end is
// reported as an overflow in ratio span.
ErrorCode SpanEnd(Ratio start, Ratio duration, Ratio* end) {
  uint8_t status = M_StatusAllowApprox;
  if (M_AddRatio(start, duration, end, &status) != 0)
    return ReportCode(kSiteSpan, M_ErrOverflow, kPhraseSpan);
  return 0;
}

}  // namespace
}  // namespace tv::m::ratio

using namespace tv::m::ratio;
using tv::m::kZeroRatio;

ErrorCode M_ConvRatio(Ratio a, uint32_t newDenominator, Ratio* r, Boolean32* exact, Boolean32* overflow) {
  if (exact) *exact = 1;
  if (overflow) *overflow = 0;
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ConvRatio"});
  if (a.den == 0 || newDenominator == 0) {
    *r = kZeroRatio;
    return ReportCode(kSiteConv, M_ErrZeroDenominator, kPhraseConv);
  }
  if (a.den == newDenominator) {
    *r = a;
    return 0;
  }
  // Rounded and checked exactly in integers: a product above 2^53 would make
  // a floating-point rounding or exactness test wrong.
  int32_t num = 0;
  bool isExact = true;
  if (!Convert(a.num, a.den, newDenominator, &num, &isExact)) {
    *r = kZeroRatio;
    if (overflow) {
      // The flag tells the caller; the code says it too, so a caller that
      // checks only the result cannot take 0/0 for a converted value.
      *overflow = 1;
      return M_ErrOverflow;
    }
    return ReportCode(kSiteConv, M_ErrOverflow, kPhraseConv);
  }
  *r = Ratio{num, newDenominator};
  if (exact) *exact = isExact;
  return 0;
}

ErrorCode M_ShortConvRatio(int32_t value, uint32_t fromDenominator, uint32_t toDenominator, Ratio* r,
                           Boolean32* overflow) {
  if (overflow) *overflow = 0;
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ShortConvRatio"});
  *r = kZeroRatio;
  if (fromDenominator == 0 || toDenominator == 0)
    return ReportCode(kSiteShortConv, M_ErrZeroDenominator, kPhraseConv);
  if (fromDenominator == toDenominator) {
    *r = Ratio{value, toDenominator};
    return 0;
  }
  int32_t num = 0;
  bool isExact = true;
  if (!Convert(value, fromDenominator, toDenominator, &num, &isExact)) {
    if (overflow) {
      *overflow = 1;
      return M_ErrOverflow;
    }
    return ReportCode(kSiteShortConv, M_ErrOverflow, kPhraseConv);
  }
  *r = Ratio{num, toDenominator};
  return 0;
}

ErrorCode M_CompareRatio(Ratio a, Ratio b, int32_t* order) {
  if (!order) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_CompareRatio"});
  *order = 0;
  if (a.den == 0 || b.den == 0) return ReportCode(kSiteCompare, M_ErrZeroDenominator, kPhraseCompare);
  // The cross products always fit 64 bits (|num| <= 2^31, den < 2^32), so the
  // order is exact for every pair, large denominators included.
  *order = tv::m::Compare(a, b);
  return 0;
}

ErrorCode M_MinRatio(Ratio a, Ratio b, Ratio* r) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_MinRatio"});
  int32_t order = 0;
  if (ErrorCode err = M_CompareRatio(a, b, &order)) {
    *r = kZeroRatio;
    return err;
  }
  *r = order <= 0 ? a : b;
  return 0;
}

ErrorCode M_MaxRatio(Ratio a, Ratio b, Ratio* r) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_MaxRatio"});
  int32_t order = 0;
  if (ErrorCode err = M_CompareRatio(a, b, &order)) {
    *r = kZeroRatio;
    return err;
  }
  *r = order >= 0 ? a : b;
  return 0;
}

ErrorCode M_ClipRatio(Ratio value, Ratio min, Ratio max, Ratio* r) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ClipRatio"});
  if (value.den == 0 || min.den == 0 || max.den == 0) {
    *r = kZeroRatio;
    return ReportCode(kSiteClip, M_ErrZeroDenominator, kPhraseCompare);
  }
  if (tv::m::Compare(min, max) > 0) return kReport.Fail(kSiteClip, tv::kErrBadParam, tv::m::kTextBadRange);
  if (tv::m::Compare(value, min) < 0)
    *r = min;
  else if (tv::m::Compare(value, max) > 0)
    *r = max;
  else
    *r = value;
  return 0;
}

ErrorCode M_ClipRatioToSpan(Ratio value, Ratio start, Ratio duration, Ratio* r) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ClipRatioToSpan"});
  Ratio end{};
  if (start.den == 0 || duration.den == 0) {
    *r = kZeroRatio;
    return ReportCode(kSiteSpan, M_ErrZeroDenominator, kPhraseSpan);
  }
  if (ErrorCode err = SpanEnd(start, duration, &end)) {
    *r = kZeroRatio;
    return err;
  }
  return M_ClipRatio(value, start, end, r);
}

ErrorCode M_ClipSpanToSpan(Ratio start, Ratio duration, Ratio spanStart, Ratio spanDuration, Ratio* outStart,
                           Ratio* outDuration) {
  if (!outStart || !outDuration) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ClipSpanToSpan"});
  *outStart = *outDuration = kZeroRatio;
  if (start.den == 0 || duration.den == 0 || spanStart.den == 0 || spanDuration.den == 0)
    return ReportCode(kSiteSpan, M_ErrZeroDenominator, kPhraseSpan);
  Ratio end{}, spanEnd{}, s{}, e{}, d{};
  if (ErrorCode err = SpanEnd(start, duration, &end)) return err;
  if (ErrorCode err = SpanEnd(spanStart, spanDuration, &spanEnd)) return err;
  s = tv::m::Compare(start, spanStart) >= 0 ? start : spanStart;
  e = tv::m::Compare(end, spanEnd) <= 0 ? end : spanEnd;
  uint8_t status = M_StatusAllowApprox;
  if (M_SubRatio(e, s, &d, &status) != 0) return ReportCode(kSiteSpan, M_ErrOverflow, kPhraseSpan);
  // Spans that do not meet give an empty span at the later start.
  if (d.num < 0) d.num = 0;
  *outStart = s;
  *outDuration = d;
  return 0;
}

ErrorCode M_FpLong2Ratio(FpLong x, Ratio* r, Boolean32* overflow) {
  if (overflow) *overflow = 0;
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_FpLong2Ratio"});
  auto fail = [&]() {
    *r = kZeroRatio;
    if (overflow) *overflow = 1;
    return ErrorCode{0};
  };
  if (std::isnan(x) || std::isinf(x)) return fail();
  int exponent = 0;
  double mantissa = std::frexp(x, &exponent);
  if (mantissa == 0.0 || exponent < -31) {
    *r = Ratio{0, 1};
    return 0;
  }
  if (exponent > 31) return fail();
  // Rounded to single precision first. A value just below 2^31 can round up to
  // 2^31, which no numerator holds: that is an overflow too.
  float f = static_cast<float>(x);
  double mag = std::fabs(static_cast<double>(f));
  if (mag >= 2147483648.0) return fail();
  // mag = p / q exactly, q a power of two (at most 2^55 here).
  int fe = 0;
  double fm = std::frexp(mag, &fe);
  uint64_t p = static_cast<uint64_t>(std::ldexp(fm, 24));  // 24 significant bits
  int shift = 24 - fe;                                     // mag = p / 2^shift
  uint64_t q = 1;
  if (shift <= 0) {
    p <<= -shift;
  } else {
    while (shift > 0 && (p & 1) == 0) {
      p >>= 1;
      --shift;
    }
    q = uint64_t{1} << shift;
  }
  // Best approximation with denominator at most 2^30 and a numerator that fits
  // (the numerator bound keeps large values representable): walk the continued
  // fraction, then take the better of the last convergent and the largest
  // semiconvergent inside the bounds.
  const uint64_t maxDen = 0x40000000u, maxNum = 0x7FFFFFFFu;
  uint64_t rp = p, rq = q;
  if (q > maxDen || p > maxNum) {
    uint64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0, n = p, d = q;
    while (d != 0) {
      uint64_t a = n / d;
      unsigned __int128 q2 = q0 + static_cast<unsigned __int128>(a) * q1;
      unsigned __int128 p2 = p0 + static_cast<unsigned __int128>(a) * p1;
      if (q2 > maxDen || p2 > maxNum) break;
      p0 = p1;
      q0 = q1;
      p1 = static_cast<uint64_t>(p2);
      q1 = static_cast<uint64_t>(q2);
      uint64_t t = n - a * d;
      n = d;
      d = t;
    }
    uint64_t k = q1 ? (maxDen - q0) / q1 : UINT64_MAX;
    if (p1) k = std::min(k, (maxNum - p0) / p1);
    uint64_t sp = p0 + k * p1, sq = q0 + k * q1;
    if (q1 != 0 && FirstIsCloser(p1, q1, sp, sq, p, q)) {
      rp = p1;
      rq = q1;
    } else {
      rp = sp;
      rq = sq;
    }
  }
  int32_t num = static_cast<int32_t>(rp);
  Ratio out = Reduced(Ratio{f < 0 ? -num : num, static_cast<uint32_t>(rq)}, nullptr);
  *r = out;
  return 0;
}
