// The ratio engine: reduction, addition and subtraction, multiplication,
// division and the reciprocal, each with the same overflow order: the exact
// computation, then once more after reduction, then (when allowed) a
// floating-point approximation, then a failure.
#include <utility>

#include "M_ratio_internal.h"

namespace tv::m::ratio {
namespace {

// The exact sum a + sign * b, or false when a step would overflow. sign is
// +1 or -1 (subtraction negates b's numerator).
bool TryAdd(Ratio a, Ratio b, int sign, Ratio* r) {
  // b's numerator with its sign, in 64 bits: the negation of INT32_MIN (2^31)
  // does not fit 32 bits, yet a - INT32_MIN/d can have an exact result.
  int64_t bn = sign < 0 ? -int64_t{b.num} : int64_t{b.num};
  if (a.num == 0) {
    if (bn > INT32_MAX) return false;
    *r = Ratio{static_cast<int32_t>(bn), b.den};
    return true;
  }
  if (bn == 0) {
    *r = a;
    return true;
  }
  if (a.den == b.den) {
    // For 32-bit operands this range check is exactly M_AddWouldOverflow.
    int64_t sum = a.num + bn;
    if (sum > INT32_MAX || sum < INT32_MIN) return false;
    *r = Ratio{static_cast<int32_t>(sum), a.den};
    return true;
  }
  uint32_t g = Gcd(a.den, b.den);
  uint32_t fa = b.den / g, fb = a.den / g;  // may exceed 31 bits: checked as magnitudes
  uint32_t bmag = static_cast<uint32_t>(bn < 0 ? -bn : bn);  // at most 2^31
  if (UMulWouldOverflow(a.den, fa)) return false;
  if (MagMulWouldOverflow(Magnitude(a.num), fa) || MagMulWouldOverflow(bmag, fb)) return false;
  int32_t pa = static_cast<int32_t>(int64_t{a.num} * fa);
  int32_t pb = static_cast<int32_t>(bn * fb);
  if (M_AddWouldOverflow(pa, pb)) return false;
  *r = Ratio{static_cast<int32_t>(int64_t{pa} + pb), a.den * fa};
  return true;
}

bool TryMul(Ratio a, Ratio b, Ratio* r) {
  if (UMulWouldOverflow(a.den, b.den) || M_MulWouldOverflow(a.num, b.num)) return false;
  *r = Ratio{static_cast<int32_t>(int64_t{a.num} * b.num), a.den * b.den};
  return true;
}

double Value(Ratio a) { return static_cast<double>(a.num) / static_cast<double>(a.den); }

// The approximation step shared by every operation: x as a ratio; the status
// becomes approximated or, when x does not fit, overflow.
uint8_t Approximate(double x, Ratio* r) {
  Boolean32 overflow = 0;
  M_FpLong2Ratio(x, r, &overflow);
  if (overflow) {
    *r = kZeroRatio;
    return M_StatusOverflow;
  }
  return M_StatusApproximated;
}

// Stores the outcome and reports as the status form says.
ErrorCode Finish(const Status& status, uint8_t outcome, Ratio* r, uint32_t site, const char* phrase) {
  status.Store(outcome);
  if (outcome != M_StatusOverflow) return 0;
  *r = kZeroRatio;
  if (status.byte()) return M_ErrOverflow;  // the byte tells; nothing is reported
  return ReportCode(site, M_ErrOverflow, phrase);
}

ErrorCode AddEngine(Ratio a, Ratio b, int sign, Ratio* r, uint8_t* arg, uint32_t site,
                    const char* phrase) {
  Status status(arg);
  if (a.den == 0 || b.den == 0) {
    *r = kZeroRatio;
    status.Store(M_StatusOverflow);
    return ReportCode(site, M_ErrZeroDenominator, phrase);
  }
  if (TryAdd(a, b, sign, r)) return Finish(status, M_StatusExact, r, site, phrase);
  bool ca = false, cb = false;
  Ratio ra = Reduced(a, &ca), rb = Reduced(b, &cb);
  if ((ca || cb) && TryAdd(ra, rb, sign, r)) return Finish(status, M_StatusExact, r, site, phrase);
  uint8_t outcome = M_StatusOverflow;
  if (status.allowsApprox()) outcome = Approximate(Value(a) + sign * Value(b), r);
  return Finish(status, outcome, r, site, phrase);
}

}  // namespace

ErrorCode MulEngine(Ratio a, Ratio b, Ratio* r, uint8_t* arg, uint32_t site) {
  Status status(arg);
  if (a.den == 0 || b.den == 0) {
    *r = kZeroRatio;
    status.Store(M_StatusOverflow);
    return ReportCode(site, M_ErrZeroDenominator, kPhraseMul);
  }
  if (TryMul(a, b, r)) return Finish(status, M_StatusExact, r, site, kPhraseMul);
  // Reduce both, exchange the numerators (the product is the same) and reduce
  // again: this cancels common factors across the two ratios.
  bool c1 = false, c2 = false, c3 = false, c4 = false;
  Ratio x = Reduced(a, &c1), y = Reduced(b, &c2);
  std::swap(x.num, y.num);
  x = Reduced(x, &c3);
  y = Reduced(y, &c4);
  if ((c1 || c2 || c3 || c4) && TryMul(x, y, r)) return Finish(status, M_StatusExact, r, site, kPhraseMul);
  uint8_t outcome = M_StatusOverflow;
  if (status.allowsApprox()) outcome = Approximate(Value(b) * Value(a), r);
  return Finish(status, outcome, r, site, kPhraseMul);
}

}  // namespace tv::m::ratio

using namespace tv::m::ratio;
using tv::m::kZeroRatio;

ErrorCode M_ReduceRatio(Ratio in, Ratio* out, Boolean32* changed) {
  if (changed) *changed = 0;
  if (!out) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_ReduceRatio"});
  if (in.den == 0) {
    *out = kZeroRatio;
    return ReportCode(kSiteReduce, M_ErrZeroDenominator, "reducing a ratio");
  }
  bool c = false;
  *out = Reduced(in, &c);
  if (changed) *changed = c;
  return 0;
}

ErrorCode M_AddRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_AddRatio"});
  return AddEngine(a, b, +1, r, status, kSiteAdd, kPhraseAdd);
}

ErrorCode M_SubRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_SubRatio"});
  return AddEngine(a, b, -1, r, status, kSiteSub, kPhraseSub);
}

ErrorCode M_MulRatio(Ratio a, Ratio b, Ratio* r, uint8_t* status) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_MulRatio"});
  return MulEngine(a, b, r, status, kSiteMul);
}

ErrorCode M_DivRatio(Ratio a, Ratio b, Ratio* r, uint8_t* arg) {
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_DivRatio"});
  Status status(arg);
  const Ratio divisor = b;
  bool halved = false;
  if (b.den > 0x7FFFFFFFu) {
    // The denominator becomes the reciprocal's signed numerator. Reducing first
    // is exact and often enough, so only a ratio that stays too large is halved.
    Ratio reduced = Reduced(b, nullptr);
    if (reduced.den <= 0x7FFFFFFFu) {
      b = reduced;
    } else if (status.allowsHalving()) {
      b.num /= 2;  // truncating toward zero
      b.den /= 2;
      halved = true;
    } else {
      *r = kZeroRatio;
      status.Store(M_StatusOverflow);
      if (status.byte()) return M_ErrOverflow;
      return ReportCode(kSiteDiv, M_ErrOverflow, kPhraseDiv);
    }
    if (halved && b.num == 0) {
      // A divisor of magnitude 1/den halves to zero: the quotient is then not
      // representable exactly, which is an overflow, not a division by zero.
      uint8_t outcome = M_StatusOverflow;
      if (status.allowsApprox()) outcome = Approximate(Value(a) / Value(divisor), r);
      return Finish(status, outcome, r, kSiteDiv, kPhraseDiv);
    }
  }
  Ratio recip{b.num < 0 ? -static_cast<int32_t>(b.den) : static_cast<int32_t>(b.den), Magnitude(b.num)};
  ErrorCode err = MulEngine(a, recip, r, arg, kSiteDiv);
  if (halved && status.byte() && *arg == M_StatusExact) *arg = M_StatusApproximated;
  return err;
}

ErrorCode M_RecipRatio(Ratio a, Ratio* r, Boolean32* exact) {
  if (exact) *exact = 1;
  if (!r) return tv::m::kReport.BadParam(tv::m::kSiteArgument, {"M_RecipRatio"});
  if (a.den == 0) {
    *r = kZeroRatio;
    return ReportCode(kSiteRecip, M_ErrZeroDenominator, kPhraseDiv);
  }
  // 1 / 0 is a division by zero, not a ratio with a zero denominator.
  if (a.num == 0) {
    *r = kZeroRatio;
    return ReportCode(kSiteRecip, M_ErrDivideByZero, kPhraseDiv);
  }
  if (a.den > 0x7FFFFFFFu) {
    bool changed = false;
    a = Reduced(a, &changed);
    if (a.den > 0x7FFFFFFFu) {
      a.num /= 2;
      a.den /= 2;
      if (exact) *exact = 0;
      // 1 / (1 / 4294967295) halves to 1 / 0: the reciprocal does not fit.
      if (a.num == 0) {
        *r = kZeroRatio;
        return ReportCode(kSiteRecip, M_ErrOverflow, kPhraseDiv);
      }
    }
  }
  *r = Ratio{a.num < 0 ? -static_cast<int32_t>(a.den) : static_cast<int32_t>(a.den), Magnitude(a.num)};
  return 0;
}
