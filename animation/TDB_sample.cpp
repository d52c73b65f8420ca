// Adaptive sampling of one dimension of a stream and the walk over the
// samples; zero-velocity points; direct manipulation of a path segment;
// the span of times an edit invalidates.
#include <algorithm>
#include <cmath>

#include "Scratch.h"
#include "TDB_internal.h"
#include "U.h"

namespace tv::tdb {
namespace {

struct Sampler {
  Header& h;
  const Keys& keys;
  int32_t dim;
  double tolerance;
  double resolution;  // in stream units
  int32_t maxCount;
  LIST_Handle points;
  int32_t count = 0;
  double minValue = 0, maxValue = 0;
  double* scratch;  // 6 doubles: the interval's ends and its midpoint (time, value)
  ErrorCode err = 0;

  double Value(double t) {
    double v[TDB_MaxDimension + 1] = {};
    bool at = false;
    if (ErrorCode e = ComputeAt(h, keys, t, v, &at)) {
      if (!err) err = e;
    }
    double r = v[dim];
    minValue = std::min(minValue, r);
    maxValue = std::max(maxValue, r);
    return r;
  }

  ErrorCode Add(double t, double v) {
    TDB_SamplePoint p{t / h.timeScale, v};
    if (ErrorCode e = LIST_Insert(&p, -1, points)) return e;
    ++count;
    return 0;
  }

  // Appends the end of every accepted piece of a .. b (a's point is already there).
  ErrorCode Refine(double a, double va, double b, double vb, int depth) {
    scratch[0] = a;
    scratch[1] = va;
    scratch[4] = b;
    scratch[5] = vb;
    if (count < maxCount - 1 && depth < 40 && (b - a) > resolution) {
      bool split = false;
      for (double f : {0.5, 0.25, 0.75}) {
        double t = a + (b - a) * f;
        double v = Value(t);
        if (f == 0.5) {
          scratch[2] = t;
          scratch[3] = v;
        }
        if (std::fabs(v - (va + (vb - va) * f)) > tolerance) {
          split = true;
          break;
        }
      }
      if (split) {
        double m = 0.5 * (a + b);
        double vm = Value(m);
        if (ErrorCode e = Refine(a, va, m, vm, depth + 1)) return e;
        return Refine(m, vm, b, vb, depth + 1);
      }
    }
    return Add(b, vb);
  }
};

}  // namespace
}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDB_GetAdaptiveSampleStream(TDB_Stream stream, int32_t dimension, const Time* start,
                                      const Time* duration, double tolerance, double timeResolution,
                                      int32_t minCount, int32_t maxCount, LIST_Handle* points, double* minValue,
                                      double* maxValue) try {
  if (points) *points = nullptr;
  if (minValue) *minValue = 0;
  if (maxValue) *maxValue = 0;
  if (!points || !start || !duration) return kReport.BadParam(kSiteArgument, {"TDB_GetAdaptiveSampleStream"});
  Locked l(stream, kSiteSample, kVerbSample);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsCustom(h) || dimension < 0 || dimension >= h.dimension || !(tolerance > 0.0) ||
      start->scale == 0 || duration->scale == 0 || duration->value < 0)
    return FailText(kSiteSample, kErrBadParam, kVerbSample);
  minCount = std::max(minCount, 1);
  if (maxCount < 2) maxCount = 2;
  LIST_Handle list = nullptr;
  if (ErrorCode err = LIST_New(0, sizeof(TDB_SamplePoint), 64, 1, &list)) return err;
  auto fail = [&](ErrorCode err) {
    LIST_Dispose(list, 0);
    return err;
  };
  if (IsConstant(h)) {
    if (KTime(l.work()) != kClean) {
      double v = KD(l.work(), h.valueOffset + 8u * dimension);
      if (minValue) *minValue = v;
      if (maxValue) *maxValue = v;
    }
    *points = list;
    return 0;
  }
  if (IsSpatial(h) && h.change[0] != kClean) {
    if (ErrorCode err = UpdateStream(stream)) return fail(err);
  }
  ScratchArray<double> scratch(6u * static_cast<size_t>(h.dimension), true);
  if (!scratch.ok()) return fail(kReport.OutOfMemory(kSiteSample, kStrAdaptiveTemp, 48u * h.dimension));
  ErrorCode err = 0;
  {
    Keys keys(h);
    if (keys.count() == 0) return fail(Fail(kSiteSample, TDB_ErrNoKeys, kVerbSample));
    double scale = h.timeScale;
    double t0 = static_cast<double>(start->value) / start->scale * scale;
    double t1 = t0 + static_cast<double>(duration->value) / duration->scale * scale;
    Sampler smp{h, keys, dimension, tolerance, std::max(timeResolution, 0.0) * scale, maxCount, list,
                0, 0, 0, scratch.data()};
    double v0 = smp.Value(t0);
    smp.minValue = smp.maxValue = v0;
    if (keys.count() == 1) {
      err = smp.Add(t0, v0);
    } else {
      err = smp.Add(t0, v0);
      // Breakpoints: the range's ends and every key inside it.
      ScratchArray<double> breaks;
      bool room = breaks.Push(t0);
      for (int32_t i = 0; room && i < keys.count(); ++i)
        if (keys.time(i) > t0 && keys.time(i) < t1) room = breaks.Push(keys.time(i));
      if (room && t1 > t0) room = breaks.Push(t1);
      if (!room && !err) err = kReport.OutOfMemory(kSiteSample, kStrAdaptiveTemp, breaks.failedBytes());
      for (size_t k = 0; !err && k + 1 < breaks.size(); ++k) {
        double a = breaks[k], b = breaks[k + 1];
        int32_t i = LowerBoundD(keys, b);  // segment (i - 1, i) holds a .. b
        bool inside = i > 0 && i < keys.count();
        bool hold = false;
        if (inside && !IsSpatial(h))
          hold = KOut(keys.at(i - 1)) == TDB_InterpHold || KIn(keys.at(i)) == TDB_InterpHold;
        if (inside && IsSpatial(h)) hold = KOut(keys.at(i - 1)) == TDB_InterpHold;
        double va = smp.Value(a);
        if (k > 0 && !err) {
          // A jump at a key (the end of a hold) is a step: a second point
          // at the same time.
          TDB_SamplePoint last{};
          LIST_GetItem(list, -1, &last);
          if (last.value != va) err = smp.Add(a, va);
        }
        if (err) break;
        if (hold || !inside) {
          // A hold is a step, to the value the segment is evaluated to: the
          // earlier key's when its out side holds, else (the later key's in
          // side holds) the later key's, from just after the earlier key on.
          double vh = va;
          if (hold && KOut(keys.at(i - 1)) != TDB_InterpHold) {
            vh = smp.Value(b);
            if (vh != va) err = smp.Add(a, vh);
          }
          if (!err) err = smp.Add(b, hold ? vh : smp.Value(b));
          continue;
        }
        double step = (b - a) / minCount;
        double pa = a, pva = va;
        for (int32_t c = 1; c <= minCount && !err; ++c) {
          double pb = c == minCount ? b : a + step * c;
          double pvb = smp.Value(pb);
          if (c == minCount && keys.time(i) == b) {
            // The value arriving at the key (its own value).
            pvb = KD(keys.at(i), h.valueOffset + 8u * dimension);
          }
          err = smp.Refine(pa, pva, pb, pvb, 0);
          pa = pb;
          pva = pvb;
        }
      }
    }
    if (!err) err = smp.err;
    if (minValue) *minValue = smp.minValue;
    if (maxValue) *maxValue = smp.maxValue;
  }
  if (err) {
    if (minValue) *minValue = 0;
    if (maxValue) *maxValue = 0;
    return fail(err);
  }
  *points = list;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_InitIterateAdaptiveSampleStream(LIST_Handle points, TDB_SampleIterator* iterator) try {
  if (!iterator) return kReport.BadParam(kSiteArgument, {"TDB_InitIterateAdaptiveSampleStream"});
  *iterator = TDB_SampleIterator{};
  int32_t size = 0;
  if (ErrorCode err = LIST_GetItemSize(points, &size)) return err;
  if (size != static_cast<int32_t>(sizeof(TDB_SamplePoint))) return FailText(kSiteIterateSamples, kErrBadParam, kVerbSample);
  if (ErrorCode err = LIST_Lock(LIST_LockInPlace, points)) return err;
  iterator->points = points;
  LIST_GetNumItems(points, &iterator->count);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_IterateAdaptiveSampleStream(TDB_SampleIterator* iterator, double time, double step, double* value) try {
  if (value) *value = 0;
  if (!iterator || !value || !iterator->points) return kReport.BadParam(kSiteArgument, {"TDB_IterateAdaptiveSampleStream"});
  TDB_SampleIterator& it = *iterator;
  if (it.count == 0) return 0;
  if (it.started && time < it.lastTime) return FailText(kSiteIterateSamples, kErrRange, kVerbSample);
  void* first = nullptr;
  if (ErrorCode err = LIST_GetAddress(it.points, 0, 0, &first)) return err;
  auto* p = static_cast<const TDB_SamplePoint*>(first);
  int32_t pair = it.pair;
  while (pair + 1 < it.count - 1 && time > p[pair + 1].time) ++pair;
  double v = 0;
  double slope = 0;
  bool inside = false;
  if (it.count == 1 || time <= p[0].time) {
    v = p[0].value;
  } else if (time >= p[it.count - 1].time) {
    v = p[it.count - 1].value;
  } else {
    const TDB_SamplePoint& a = p[pair];
    const TDB_SamplePoint& b = p[pair + 1];
    double w = b.time - a.time;
    slope = w > 0 ? (b.value - a.value) / w : 0.0;
    if (it.started == 2 && pair == it.pair)
      v = it.lastValue + it.slope * step;  // advanced along the pair
    else
      v = w > 0 ? a.value + slope * (time - a.time) : b.value;
    inside = true;
  }
  it.pair = pair;
  it.started = inside ? 2 : 1;  // 2: the last call lay inside the current pair
  it.lastTime = time;
  it.lastValue = v;
  it.slope = slope;
  *value = v;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_CompleteIterateAdaptiveSampleStream(TDB_SampleIterator* iterator) try {
  if (!iterator) return kReport.BadParam(kSiteArgument, {"TDB_CompleteIterateAdaptiveSampleStream"});
  ErrorCode err = iterator->points ? LIST_Unlock(iterator->points) : 0;
  *iterator = TDB_SampleIterator{};
  return err;
} TV_CATCH(TDB_PackageNumber)

// ---- Zero velocity ---------------------------------------------------------------------------
ErrorCode TDB_GetZeroVelocityPoints(TDB_Stream stream, int32_t dimension, const Time* start, const Time* end,
                                    LIST_Handle* times) try {
  if (times) *times = nullptr;
  if (!times || !start || !end) return kReport.BadParam(kSiteArgument, {"TDB_GetZeroVelocityPoints"});
  Locked l(stream, kSiteZeroVelocity, kVerbGetDeriv);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsCustom(h) || dimension < 0 || dimension >= h.dimension || start->scale == 0 || end->scale == 0)
    return FailText(kSiteZeroVelocity, kErrBadParam, kStrZeroVelocity);
  LIST_Handle list = nullptr;
  if (ErrorCode err = LIST_New(0, sizeof(double), 16, 1, &list)) return err;
  if (IsConstant(h)) {
    *times = list;
    return 0;
  }
  if (IsSpatial(h) && h.change[0] != kClean) {
    if (ErrorCode err = UpdateStream(stream)) {
      LIST_Dispose(list, 0);
      return err;
    }
  }
  double scale = h.timeScale;
  double t0 = static_cast<double>(start->value) / start->scale * scale;
  double t1 = static_cast<double>(end->value) / end->scale * scale;
  ErrorCode err = 0;
  {
    Keys keys(h);
    auto vel = [&](double t) {
      double d[TDB_MaxDimension] = {};
      DerivAt(h, keys, t, d);
      return d[dimension];
    };
    for (int32_t i = 1; i < keys.count() && !err; ++i) {
      double a = std::max<double>(keys.time(i - 1), t0), b = std::min<double>(keys.time(i), t1);
      if (!(a < b)) continue;
      if (KOut(keys.at(i - 1)) == TDB_InterpHold || KIn(keys.at(i)) == TDB_InterpHold) continue;
      constexpr int kSteps = 64;
      // The segment's inner points only: a velocity that is zero at a key
      // belongs to the key (found from the neighbouring intervals' signs).
      double pa = a + (b - a) * 1e-9, va = vel(pa);
      for (int s = 1; s <= kSteps && !err; ++s) {
        double pb = a + (b - a) * s / kSteps;
        if (s == kSteps) pb = b - (b - a) * 1e-9;
        double vb = vel(pb);
        if ((va < 0 && vb > 0) || (va > 0 && vb < 0) || vb == 0.0) {
          double lo = pa, hi = pb;
          if (vb != 0.0) {
            for (int it = 0; it < 60; ++it) {
              double mid = 0.5 * (lo + hi);
              double vm = vel(mid);
              if ((vm < 0) == (va < 0))
                lo = mid;
              else
                hi = mid;
            }
          }
          double sec = (vb == 0.0 ? pb : 0.5 * (lo + hi)) / scale;
          double lastSec = 0;
          int32_t n = 0;
          LIST_GetNumItems(list, &n);
          if (n == 0 || (LIST_GetItem(list, -1, &lastSec) == 0 && std::fabs(lastSec - sec) > 1e-9))
            err = LIST_Insert(&sec, -1, list);
        }
        pa = pb;
        va = vb;
      }
    }
  }
  if (err) {
    LIST_Dispose(list, 0);
    return err;
  }
  *times = list;
  return 0;
} TV_CATCH(TDB_PackageNumber)

// ---- Direct manipulation and invalidation -------------------------------------------------------
ErrorCode TDB_DirectManipArc(TDB_Stream stream, int32_t index, double u, const double* delta) try {
  if (!delta) return kReport.BadParam(kSiteArgument, {"TDB_DirectManipArc"});
  Locked l(stream, kSiteDirectManip, kVerbDirectManip);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (!IsSpatial(h) || IsCustom(h) || IsConstant(h) || h.spatialInterp != 3 || h.dimension != 2 ||
      !(u >= 0.0 && u <= 1.0))
    return FailText(kSiteDirectManip, kErrBadParam, kStrNoDirectManip);
  if (ErrorCode err = ResolveIndex(h, &index, kSiteDirectManip, kVerbDirectManip)) return err;
  {
    Keys keys(h);
    if (index >= keys.count() - 1) return FailText(kSiteDirectManip, kErrRange, kStrNoDirectManip);
    uint8_t* a = keys.at(index);
    uint8_t* b = keys.at(index + 1);
    double p[4][2];
    for (int32_t d = 0; d < 2; ++d) {
      p[0][d] = KD(a, PosOff(2, d));
      p[1][d] = p[0][d] + KD(a, OutTanOff(2, d));
      p[3][d] = KD(b, PosOff(2, d));
      p[2][d] = p[3][d] + KD(b, InTanOff(2, d));
    }
    BEZ_Curve c{2, {p[0], p[1], p[2], p[3]}};
    BEZ_DirectManip setup{};
    if (ErrorCode err = BEZ_DirectManipSetup(u, &setup)) return err;
    if (ErrorCode err = BEZ_DirectManipCurve(&c, delta, &setup)) return err;
    for (int32_t d = 0; d < 2; ++d) {
      SetKD(a, OutTanOff(2, d), p[1][d] - p[0][d]);
      SetKD(b, InTanOff(2, d), p[2][d] - p[3][d]);
    }
  }
  FlushCache(stream);
  MarkChanged(h, index, index + 1);
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_PredictInvalid(TDB_Stream stream, int32_t index, Time* start, Time* end) try {
  if (start) *start = kInvalidTime;
  if (end) *end = kInvalidTime;
  if (!start || !end) return kReport.BadParam(kSiteArgument, {"TDB_PredictInvalid"});
  Locked l(stream, kSitePredict, kVerbPredict);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsConstant(h)) {
    if (KTime(l.work()) == kClean) return Fail(kSitePredict, TDB_ErrNoKeys, kVerbPredict);
    *start = Time{INT32_MIN + 1, h.timeScale};
    *end = Time{INT32_MAX, h.timeScale};
    return 0;
  }
  if (ErrorCode err = ResolveIndex(h, &index, kSitePredict, kVerbPredict)) return err;
  Keys keys(h);
  int32_t a = index - 1, b = index + 1;
  // On a parametrised path an edit moves the floating keys between the
  // fixed keys around it as well.
  if (IsSpatial(h) && (h.flags & TDB_StreamSParametrize)) {
    while (a > 0 && (KFlags(keys.at(a)) & TDB_KeyFloat)) --a;
    while (b < keys.count() - 1 && (KFlags(keys.at(b)) & TDB_KeyFloat)) ++b;
  }
  *start = Time{a < 0 ? INT32_MIN + 1 : keys.time(a), h.timeScale};
  *end = Time{b >= keys.count() ? INT32_MAX : keys.time(b), h.timeScale};
  return 0;
} TV_CATCH(TDB_PackageNumber)
