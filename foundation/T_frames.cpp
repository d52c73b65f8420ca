// Frames: the duration of one frame from a rate, counting frames in a
// duration, and snapping a time to a frame grid.
#include <cstdlib>

#include "T.h"
#include "T_internal.h"

using namespace tv::t;

namespace {

// NTSC-family rates, whose 16.16 form is inexact, with their exact frame
// durations (1001/30000 s and so on). A rate is taken as one of them from
// the 16.16 form of its two-decimal name (29.97) to that of the exact rate
// (30000/1001), one unit either side.
struct SpecialRate {
  Fixed low, high;
  Time duration;
};
constexpr SpecialRate kSpecialRates[] = {
    {1964114 - 1, 1964116 + 1, {1001, 30000}},  // 29.97 to 30000/1001
    {3928228 - 1, 3928232 + 1, {1001, 60000}},  // 59.94 to 60000/1001
    {1571291 - 1, 1571293 + 1, {1001, 24000}},  // 23.976 to 24000/1001
};

}  // namespace

ErrorCode T_FrameRate2Duration(Fixed rate, Time* duration) {
  if (!duration) return kReport.BadParam(kSiteArgument, {"T_FrameRate2Duration"});
  // A rate of 0 would give a zero scale and a negative one a huge unsigned
  // scale: neither is a frame duration.
  if (rate <= 0) return Invalid(duration, kReport.Fail(kSiteFrameRate, tv::kErrBadParam, kTextBadRate));
  Time d{65536, static_cast<uint32_t>(rate)};
  for (const SpecialRate& s : kSpecialRates) {
    if (rate >= s.low && rate <= s.high) {
      d = s.duration;
      break;
    }
  }
  return T_ReduceTime(d, duration, nullptr);
}

ErrorCode T_CountFrames(Time duration, Time frameDuration, Boolean32 roundUp, int32_t* count) {
  if (!count) return kReport.BadParam(kSiteArgument, {"T_CountFrames"});
  *count = 0;
  // A frame duration of 0 or less (or over no scale) has no frames to count.
  if (frameDuration.value <= 0 || frameDuration.scale == 0)
    return kReport.Fail(kSiteCountFrames, tv::kErrBadParam, kTextBadFrameDuration);
  // frames = (duration.value x frame scale) / (duration.scale x frame value),
  // exact in 64 bits: each product is below 2^63. (Dividing the two times as
  // ratios may have to halve a scale above 31 bits first, and the rounded-up
  // count then comes out one short.)
  int64_t num = static_cast<int64_t>(duration.value) * static_cast<int64_t>(frameDuration.scale);
  int64_t den = static_cast<int64_t>(duration.scale) * static_cast<int64_t>(frameDuration.value);
  // A negative span counts no frames rather than wrapping to about 4e9.
  if (den != 0 && num <= 0) return 0;
  int64_t frames = den == 0 ? 0 : roundUp ? (num - 1) / den + 1 : num / den;
  if (den == 0 || frames > INT32_MAX) {
    // A span without a scale, or a count that does not fit: the exact
    // division reports the zero denominator or the overflow.
    Ratio p{};
    ErrorCode err = M_DivRatio(ToRatio(duration), ToRatio(frameDuration), &p, nullptr);
    return err ? err : M_ErrOverflow;
  }
  *count = static_cast<int32_t>(frames);
  return 0;
}

ErrorCode T_RoundToNearestTime(Time t, Time quantum, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_RoundToNearestTime"});
  if (quantum.value <= 0 || quantum.scale == 0)
    return Invalid(r, kReport.Fail(kSiteRound, tv::kErrBadParam, kTextBadQuantum));
  Time c{};
  if (ErrorCode err = T_ConvTime(t, quantum.scale, &c, nullptr)) return Invalid(r, err);
  int32_t v = 0;
  if (ErrorCode err = M_RoundToNearestMult(c.value, quantum.value, &v)) return Invalid(r, err);
  *r = Time{v, quantum.scale};
  return 0;
}
