// Time arithmetic over scales: adding, multiplying, converting, comparing,
// clipping and intersecting, each through M's ratio engine with the
// approximate status, and the invalid time on every failure.
#include "Package.h"
#include "T.h"
#include "T_internal.h"

using namespace tv::t;
using tv::kInvalidTime;

ErrorCode T_AddTime(Time a, Time b, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_AddTime"});
  Ratio x{};
  if (ErrorCode err = M_AddRatio(ToRatio(a), ToRatio(b), &x, M_APPROXIMATE)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_SubTime(Time a, Time b, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_SubTime"});
  Ratio x{};
  // Subtraction negates b's value and adds; M handles b's value INT32_MIN.
  if (ErrorCode err = M_SubRatio(ToRatio(a), ToRatio(b), &x, M_APPROXIMATE)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_MulTime(Time a, Ratio ratio, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_MulTime"});
  Ratio x{};
  if (ErrorCode err = M_MulRatio(ToRatio(a), ratio, &x, M_APPROXIMATE)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_ConvTime(Time t, uint32_t newScale, Time* r, Boolean32* exact) {
  if (exact) *exact = 1;
  if (!r) return kReport.BadParam(kSiteArgument, {"T_ConvTime"});
  Ratio x{};
  Boolean32 overflow = 0;
  ErrorCode err = M_ConvRatio(ToRatio(t), newScale, &x, exact, &overflow);
  if (err && overflow) {
    // Once more with the reduced time; this attempt reports nothing.
    Ratio reduced{};
    M_ReduceRatio(ToRatio(t), &reduced, nullptr);
    err = M_ConvRatio(reduced, newScale, &x, exact, &overflow);
    // A time that does not fit the new scale is a failure, reported here once:
    // a 0/0 result with success would divide by zero further on.
    if (err && overflow) err = kReport.Fail(kSiteConv, M_ErrOverflow, kTextConvOverflow);
  }
  if (err) {
    if (exact) *exact = 0;
    return Invalid(r, err);
  }
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_ShortConvTime(int32_t value, uint32_t fromScale, uint32_t toScale, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_ShortConvTime"});
  Ratio x{};
  Boolean32 overflow = 0;
  if (ErrorCode err = M_ShortConvRatio(value, fromScale, toScale, &x, &overflow)) {
    // As in T_ConvTime: an overflow is a reported failure.
    if (overflow) err = kReport.Fail(kSiteShortConv, M_ErrOverflow, kTextConvOverflow);
    return Invalid(r, err);
  }
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_CompareTime(Time a, Time b, int32_t* order) {
  return M_CompareRatio(ToRatio(a), ToRatio(b), order);
}

ErrorCode T_MinTime(Time a, Time b, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_MinTime"});
  Ratio x{};
  if (ErrorCode err = M_MinRatio(ToRatio(a), ToRatio(b), &x)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_MaxTime(Time a, Time b, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_MaxTime"});
  Ratio x{};
  if (ErrorCode err = M_MaxRatio(ToRatio(a), ToRatio(b), &x)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_ReduceTime(Time t, Time* r, Boolean32* changed) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_ReduceTime"});
  Ratio x{};
  if (ErrorCode err = M_ReduceRatio(ToRatio(t), &x, changed)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_ClipTime(Time value, Time min, Time max, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_ClipTime"});
  Ratio x{};
  if (ErrorCode err = M_ClipRatio(ToRatio(value), ToRatio(min), ToRatio(max), &x)) return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_SpanClipTime(Time value, Time start, Time duration, Time* r) {
  if (!r) return kReport.BadParam(kSiteArgument, {"T_SpanClipTime"});
  Ratio x{};
  if (ErrorCode err = M_ClipRatioToSpan(ToRatio(value), ToRatio(start), ToRatio(duration), &x))
    return Invalid(r, err);
  *r = FromRatio(x);
  return 0;
}

ErrorCode T_IntersectSpanTime(Time startA, Time durationA, Time startB, Time durationB, Time* start,
                              Time* duration) {
  if (!start || !duration) return kReport.BadParam(kSiteArgument, {"T_IntersectSpanTime"});
  Time endA{}, endB{}, s{}, e{}, d{};
  ErrorCode err = T_AddTime(startA, durationA, &endA);
  if (!err) err = T_AddTime(startB, durationB, &endB);
  if (!err) err = T_MaxTime(startA, startB, &s);
  if (!err) err = T_MinTime(endA, endB, &e);
  if (!err) err = T_SubTime(e, s, &d);
  if (err) {
    Invalid(start, err);
    return Invalid(duration, err);
  }
  if (d.value < 0) d.value = 0;  // the scale is kept
  *start = s;
  *duration = d;
  return 0;
}

ErrorCode T_TimeSwap(Time* t) {
  if (!t) return kReport.BadParam(kSiteArgument, {"T_TimeSwap"});
  t->value = static_cast<int32_t>(U_LongSwap(static_cast<uint32_t>(t->value)));
  t->scale = U_LongSwap(t->scale);
  return 0;
}
