// T: times as exact ratios of seconds (a value over a scale) on top of M's
// ratio arithmetic.
//
// What callers may rely on:
// - Every operation allows approximation (a result that overflows the exact
//   computation is approximated, not refused) and works without a birth.
// - On failure the result holds the invalid time (value 0x80000000, scale 0)
//   and the code is M's (0x1102 overflow, 0x1106 zero scale) or 3, reported
//   once by the package that detected it. A null result pointer answers 3 and
//   writes nothing.
// - A time is never reduced unless the operation says so; comparisons are
//   exact whatever the scales.
#pragma once

#include "M.h"
#include "STR.h"
#include "Types.h"

enum { T_PackageNumber = 63 };

TV_EXPORT uint32_t T_PkgObjectVersion(void);
TV_EXPORT ErrorCode T_CheckVersions(LocationCode location, int32_t expectedMajor);
TV_EXPORT STR_Table Tp_G_STRs;

TV_EXPORT ErrorCode T_AddTime(Time a, Time b, Time* r);
TV_EXPORT ErrorCode T_SubTime(Time a, Time b, Time* r);
TV_EXPORT ErrorCode T_MulTime(Time a, Ratio ratio, Time* r);
// t over newScale, rounded half up; exact (optional) tells whether no rounding
// happened. An overflow is reported (0x1102).
TV_EXPORT ErrorCode T_ConvTime(Time t, uint32_t newScale, Time* r, Boolean32* exact);
// value / fromScale expressed over toScale.
TV_EXPORT ErrorCode T_ShortConvTime(int32_t value, uint32_t fromScale, uint32_t toScale, Time* r);
// order: -1, 0 or 1 (0 on failure).
TV_EXPORT ErrorCode T_CompareTime(Time a, Time b, int32_t* order);
TV_EXPORT ErrorCode T_MinTime(Time a, Time b, Time* r);  // a on equality
TV_EXPORT ErrorCode T_MaxTime(Time a, Time b, Time* r);  // a on equality
TV_EXPORT ErrorCode T_ReduceTime(Time t, Time* r, Boolean32* changed);
TV_EXPORT ErrorCode T_ClipTime(Time value, Time min, Time max, Time* r);
// value limited to start .. start + duration, both ends included.
TV_EXPORT ErrorCode T_SpanClipTime(Time value, Time start, Time duration, Time* r);
// start = the later start; duration = the earlier end - start, 0 (over the
// difference's scale) when the spans do not meet.
TV_EXPORT ErrorCode T_IntersectSpanTime(Time startA, Time durationA, Time startB, Time durationB,
                                        Time* start, Time* duration);
// The duration of one frame at a 16.16 rate (the NTSC rates 30000/1001,
// 60000/1001 and 24000/1001, or 29.97, 59.94 and 23.976, exact),
// reduced; 3 (reported) for a rate of 0 or less.
TV_EXPORT ErrorCode T_FrameRate2Duration(Fixed rate, Time* duration);
// Whole frames of frameDuration in duration, truncated or (roundUp) rounded up;
// 0 for a duration of 0 or less. count is 0 on failure: 3 (reported) for a
// frame duration of 0 or less, M's codes for a zero scale or a count beyond
// 32 bits.
TV_EXPORT ErrorCode T_CountFrames(Time duration, Time frameDuration, Boolean32 roundUp, int32_t* count);
// t snapped to the nearest multiple of quantum (ties away from zero), over
// quantum's scale; 3 (reported) for a quantum of 0 or less.
TV_EXPORT ErrorCode T_RoundToNearestTime(Time t, Time quantum, Time* r);
// Reverses the byte order of both fields (a Time on file is two big-endian
// words, value first); 3 for a null t.
TV_EXPORT ErrorCode T_TimeSwap(Time* t);

#ifdef __cplusplus
// Field-wise identity (1/2 s and 2/4 s differ); use tv::t::Compare for values.
constexpr bool operator==(Time a, Time b) { return a.value == b.value && a.scale == b.scale; }
constexpr bool operator!=(Time a, Time b) { return !(a == b); }

namespace tv::t {
constexpr Time MakeTime(int32_t value, uint32_t scale) { return Time{value, scale}; }
constexpr bool IsInvalid(Time t) { return t.scale == 0; }
constexpr Ratio ToRatio(Time t) { return Ratio{t.value, t.scale}; }
constexpr Time FromRatio(Ratio r) { return Time{r.num, r.den}; }
// -1, 0 or 1 by value, exact (both scales non-zero).
constexpr int Compare(Time a, Time b) { return tv::m::Compare(ToRatio(a), ToRatio(b)); }
}  // namespace tv::t
#endif
