// Times and sample positions. A Time is an exact ratio of seconds; at a rate
// that is a whole number every sample position is an exact Time over the rate
// (or a reduced form of it), so positions computed from times, and times
// from positions, never drift however long the sound.
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "M.h"
#include "SND_internal.h"

namespace tv::snd {
namespace {

bool WholeRate(double rate, uint32_t* r) {
  if (rate >= 1.0 && rate <= 4294967295.0 && rate == std::floor(rate)) {
    *r = static_cast<uint32_t>(rate);
    return true;
  }
  return false;
}

constexpr long double kLimit = 4611686018427387904.0L;  // 2^62

// x = t * rate split into a truncated whole part and the remainder, exact for
// whole rates. False when x is out of range.
bool Split(Time t, double rate, int64_t* whole, long double* rest) {
  uint32_t r = 0;
  if (WholeRate(rate, &r)) {
    const __int128 num = static_cast<__int128>(t.value) * r;
    const __int128 q = num / t.scale;  // truncates toward zero
    *whole = static_cast<int64_t>(q);
    *rest = static_cast<long double>(static_cast<int64_t>(num - q * t.scale)) / t.scale;
    return true;
  }
  const long double x = static_cast<long double>(t.value) * rate / t.scale;
  if (!(std::fabs(x) < kLimit)) return false;
  *whole = static_cast<int64_t>(x);
  *rest = x - static_cast<long double>(*whole);
  return true;
}

// Rounds whole + rest by mode; rest becomes the new remainder.
void Round(int32_t mode, int64_t* whole, long double* rest) {
  if (mode == SND_Round_Floor) {
    if (*rest < 0) --*whole, *rest += 1;
  } else if (mode == SND_Round_Ceiling) {
    if (*rest > 0) ++*whole, *rest -= 1;
  } else {
    // Nearest, halves up, on both sides of zero: -2.7 gives -3, not -1.
    if (*rest >= 0.5L)
      ++*whole, *rest -= 1;
    else if (*rest < -0.5L)
      --*whole, *rest += 1;
  }
}

ErrorCode CheckArgs(int32_t mode, double rate, uint32_t site) {
  if (mode < SND_Round_Nearest || mode > SND_Round_Ceiling)
    return kReport.Fail(site, kErrBadParam, kTextBadMode, {mode});
  if (!ValidRate(rate)) return kReport.Fail(site, kErrBadParam, kTextBadRate, {rate});
  return 0;
}

}  // namespace

long double Position(Time t, double rate) {
  int64_t whole = 0;
  long double rest = 0;
  if (!Split(t, rate, &whole, &rest)) return static_cast<long double>(t.value) * rate / t.scale;
  return static_cast<long double>(whole) + rest;
}

int64_t FirstSample(long double x) {
  const long double c = std::ceil(x - 1e-8L);
  if (c >= kLimit) return INT64_MAX / 2;
  if (c <= -kLimit) return INT64_MIN / 2;
  return static_cast<int64_t>(c);
}

ErrorCode TimeFromSeconds(long double seconds, double rate, uint32_t site, Time* t) {
  *t = kInvalidTime;
  const uint32_t scale = ScaleOf(rate);
  const long double x = seconds * scale;
  const long double v = std::floor(x + 0.5L);
  bool haveA = std::fabs(v) <= 2147483647.0L;
  const long double errA = haveA ? std::fabs(x - v) / scale : 0;
  if (haveA && errA * scale < 1e-9L) {
    *t = Time{static_cast<int32_t>(v), scale};
    return 0;
  }
  Ratio b{};
  Boolean32 overflow = 0;
  M_FpLong2Ratio(static_cast<double>(seconds), &b, &overflow);
  const bool haveB = !overflow && b.den != 0;
  const long double errB = haveB ? std::fabs(seconds - static_cast<long double>(b.num) / b.den) : 0;
  if (haveA && (!haveB || errA <= errB)) {
    *t = Time{static_cast<int32_t>(v), scale};
  } else if (haveB) {
    *t = Time{b.num, b.den};
  } else {
    return kReport.Fail(site, kErrRange, kTextOutOfRange, {kReport.Text(kTextSoundTime)});
  }
  return 0;
}

ErrorCode AddFrames(Time t, int64_t frames, double rate, uint32_t site, Time* out) {
  uint32_t r = 0;
  if (WholeRate(rate, &r) && t.scale == r) {
    const int64_t v = int64_t{t.value} + frames;
    if (v >= INT32_MIN + 1 && v <= INT32_MAX) {
      *out = Time{static_cast<int32_t>(v), r};
      return 0;
    }
  }
  return TimeFromSeconds(Seconds(t) + static_cast<long double>(frames) / rate, rate, site, out);
}

}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_TimeToSamp(int32_t mode, double rate, Time time, int64_t* sample, double* remainder) {
  if (sample) *sample = 0;
  if (remainder) *remainder = 0;
  if (!sample) return kReport.BadParam(kSiteTimeToSamp, {"SND_TimeToSamp"});
  if (ErrorCode err = CheckArgs(mode, rate, kSiteTimeToSamp)) return err;
  if (time.scale == 0)
    return kReport.Fail(kSiteTimeToSamp, kErrBadParam, kTextBadTime, {time.value, time.scale});
  int64_t n = 0;
  long double r = 0;
  if (!Split(time, rate, &n, &r) || std::llabs(n) >= (int64_t{1} << 62))
    return kReport.Fail(kSiteTimeToSamp, kErrRange, kTextOutOfRange, {"SND_TimeToSamp"});
  Round(mode, &n, &r);
  *sample = n;
  if (remainder) *remainder = static_cast<double>(r);
  return 0;
}

ErrorCode SND_SampToTime(int32_t mode, int64_t sample, double rate, Time* time, double* remainder) {
  if (time) *time = kInvalidTime;
  if (remainder) *remainder = 0;
  if (!time) return kReport.BadParam(kSiteSampToTime, {"SND_SampToTime"});
  if (ErrorCode err = CheckArgs(mode, rate, kSiteSampToTime)) return err;
  if (std::llabs(sample) >= (int64_t{1} << 62))
    return kReport.Fail(kSiteSampToTime, kErrRange, kTextOutOfRange, {"SND_SampToTime"});
  // A whole rate: sample / rate exactly, reduced when the sample is large.
  uint32_t r = 0;
  if (WholeRate(rate, &r)) {
    if (sample >= INT32_MIN + 1 && sample <= INT32_MAX) {
      *time = Time{static_cast<int32_t>(sample), r};
      return 0;
    }
    const uint64_t g = std::gcd(static_cast<uint64_t>(std::llabs(sample)), uint64_t{r});
    const int64_t v = sample / static_cast<int64_t>(g);
    if (v >= INT32_MIN + 1 && v <= INT32_MAX) {
      *time = Time{static_cast<int32_t>(v), static_cast<uint32_t>(r / g)};
      return 0;
    }
  }
  const long double t = static_cast<long double>(sample) / rate;
  // Over the rate's scale, rounded by mode.
  const uint32_t scale = ScaleOf(rate);
  const long double x = t * scale;
  long double v = mode == SND_Round_Floor ? std::floor(x) : mode == SND_Round_Ceiling ? std::ceil(x)
                                                                                     : std::floor(x + 0.5L);
  if (std::fabs(v) <= 2147483647.0L) {
    *time = Time{static_cast<int32_t>(v), scale};
    if (remainder) *remainder = static_cast<double>(t - v / scale);
    return 0;
  }
  // Too long for the rate's scale: the nearest ratio, moved by one unit of
  // its scale towards the side the mode asks for.
  Ratio q{};
  Boolean32 overflow = 0;
  M_FpLong2Ratio(static_cast<double>(t), &q, &overflow);
  if (overflow || q.den == 0)
    return kReport.Fail(kSiteSampToTime, kErrRange, kTextOutOfRange, {"SND_SampToTime"});
  int64_t value = q.num;
  int64_t whole = 0;
  long double rest = (t - static_cast<long double>(q.num) / q.den) * q.den;
  Round(mode, &whole, &rest);
  value += whole;
  if (value < INT32_MIN + 1 || value > INT32_MAX)
    return kReport.Fail(kSiteSampToTime, kErrRange, kTextOutOfRange, {"SND_SampToTime"});
  *time = Time{static_cast<int32_t>(value), q.den};
  if (remainder) *remainder = static_cast<double>(t - static_cast<long double>(value) / q.den);
  return 0;
}
