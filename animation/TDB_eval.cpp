// Evaluation: the value and the time derivative of a stream at any time,
// the easing of segments, spatial paths and the value cache.
#include <algorithm>
#include <cmath>

#include "Scratch.h"
#include "TDB_internal.h"

namespace tv::tdb {
namespace {

constexpr double kLinearHandle = 0.16666666667;
constexpr int16_t kPathBezier = 3;

double Unit(double v) {
  if (std::isnan(v) || v < 0.0) return 0.0;
  return v > 1.0 ? 1.0 : v;
}
double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

bool Linear(int8_t m) { return m != TDB_InterpBezier; }

}  // namespace

void EvaluateEase(const EaseSpec& e, double x, double* y, double* dydx) {
  double D = e.duration;
  if (!(D > 0.0)) {
    if (y) *y = e.y0;
    if (dydx) *dydx = 0.0;
    return;
  }
  x = std::clamp(x, 0.0, D);
  if (Linear(e.outMethod) && Linear(e.inMethod)) {
    if (y) *y = e.y0 + (e.y3 - e.y0) * x / D;
    if (dydx) *dydx = (e.y3 - e.y0) / D;
    return;
  }
  double p[4][2];
  p[0][0] = 0.0;
  p[0][1] = e.y0;
  p[3][0] = D;
  p[3][1] = e.y3;
  if (Linear(e.outMethod)) {
    p[1][0] = D * kLinearHandle;
    p[1][1] = e.y0 + (e.y3 - e.y0) * kLinearHandle;
  } else {
    double oi = Unit(e.outInfluence);
    p[1][0] = oi * D;
    p[1][1] = e.y0 + Finite(e.outVelocity) * oi * D;
  }
  if (Linear(e.inMethod)) {
    p[2][0] = D - D * kLinearHandle;
    p[2][1] = e.y3 - (e.y3 - e.y0) * kLinearHandle;
  } else {
    double ii = Unit(e.inInfluence);
    p[2][0] = D - ii * D;
    p[2][1] = e.y3 - Finite(e.inVelocity) * ii * D;
  }
  BEZ_Curve c{2, {p[0], p[1], p[2], p[3]}};
  if (e.nonDecreasing) BEZ_CurveSetNonDecreasing(&c, nullptr);
  double yy = e.y0, d = 0.0;
  if (dydx) {
    BEZ_Evaluate1dDerivsFromX(&c, x, &yy, &d, nullptr);
    *dydx = d;
  } else {
    double u = 0;
    BEZ_EvaluateYFromX(&c, x, &u, &yy);
  }
  if (y) *y = yy;
}

ErrorCode EasedDistance(const Header& h, const uint8_t* a, const uint8_t* b, double length, double x, double* s,
                        double* dsdx) {
  double D = Seconds(h, KTime(a), KTime(b));
  if (KOut(a) == TDB_InterpHold || KIn(b) == TDB_InterpHold || !(length > 0.0) || !(D > 0.0)) {
    *s = 0.0;
    if (dsdx) *dsdx = 0.0;
    return 0;
  }
  EaseSpec e{D,
             0.0,
             length,
             KD(a, kSpOutVelOffset),
             KD(a, kSpOutInflOffset),
             KD(b, kSpInVelOffset),
             KD(b, kSpInInflOffset),
             KOut(a),
             KIn(b),
             true};
  EvaluateEase(e, x, s, dsdx);
  return 0;
}

namespace {

struct Segment {
  int32_t a, b;  // bracketing non-floating keys
  int32_t j;     // local segment start (j, j + 1)
  double s;      // distance along the local segment
  double dsdx;
  double localLength;
};

// Where along the path the stream is at t (tA < t < tB of keys i - 1, i).
void LocateSpatial(const Header& h, const Keys& keys, int32_t i, double t, Segment* seg) {
  int32_t a = i - 1, b = i;
  bool param = h.flags & TDB_StreamSParametrize;
  if (param) {
    while (a > 0 && (KFlags(keys.at(a)) & TDB_KeyFloat)) --a;
    while (b < keys.count() - 1 && (KFlags(keys.at(b)) & TDB_KeyFloat)) ++b;
  }
  double L = 0;
  for (int32_t k = a; k < b; ++k) L += KD(keys.at(k), kPathLengthOffset);
  double s = 0, v = 0;
  EasedDistance(h, keys.at(a), keys.at(b), L, (t - keys.time(a)) / h.timeScale, &s, &v);
  int32_t j = a;
  while (j < b - 1 && s > KD(keys.at(j), kPathLengthOffset)) {
    s -= KD(keys.at(j), kPathLengthOffset);
    ++j;
  }
  *seg = Segment{a, b, j, s, v, KD(keys.at(j), kPathLengthOffset)};
}

void SpatialCurve(const Header& h, const uint8_t* a, const uint8_t* b, double p[4][TDB_MaxDimension]) {
  int32_t n = h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    p[0][d] = KD(a, PosOff(n, d));
    p[1][d] = p[0][d] + KD(a, OutTanOff(n, d));
    p[3][d] = KD(b, PosOff(n, d));
    p[2][d] = p[3][d] + KD(b, InTanOff(n, d));
  }
}

// The curve parameter of the local segment for distance s along it.
ErrorCode CurveParameter(Header& h, uint8_t* a, const BEZ_Curve& c, const Segment& seg, double* u) {
  double L = seg.localLength;
  if (!(L > 0.0)) {
    *u = 0.0;
    return 0;
  }
  if ((h.flags & TDB_StreamSParametrize) && h.spatialInterp == kPathBezier && h.dimension == 2) {
    LIST_Handle spline = SplineOf(h, a);
    bool fresh = spline == nullptr;
    ErrorCode err = BEZ_TFromSSpline(&c, std::clamp(seg.s, 0.0, L), 1.0, &spline, u);
    if (fresh && spline) {
      if (err || StoreSpline(h, a, spline) != 0) LIST_Dispose(spline, 0);
    }
    if (err) return err;
  } else {
    *u = seg.s / L;
  }
  *u = std::clamp(*u, 0.0, 1.0);
  return 0;
}

ErrorCode SpatialValue(Header& h, const Keys& keys, int32_t i, double t, double* out, double* deriv,
                       double* tangent) {
  int32_t n = h.dimension;
  if (h.spatialInterp == kPathBezier && n != 2) return Fail(kSiteGetValue, TDB_ErrArcLength2D, kVerbGetValue);
  Segment seg{};
  LocateSpatial(h, keys, i, t, &seg);
  uint8_t* a = keys.at(seg.j);
  const uint8_t* b = keys.at(seg.j + 1);
  double p[4][TDB_MaxDimension] = {};
  SpatialCurve(h, a, b, p);
  BEZ_Curve c{static_cast<int16_t>(n), {p[0], p[1], p[2], p[3]}};
  double u = 0;
  if (ErrorCode err = CurveParameter(h, a, c, seg, &u)) return err;
  double dir[TDB_MaxDimension] = {};
  if (h.spatialInterp == kPathBezier) {
    if (out) BEZ_EvaluatePoint(&c, u, out);
    BEZ_EvaluateDeriv(&c, u, dir);
  } else {
    for (int32_t d = 0; d < n; ++d) {
      if (out) out[d] = p[0][d] + (p[3][d] - p[0][d]) * u;
      dir[d] = p[3][d] - p[0][d];
    }
  }
  if (out) out[n] = u;
  double norm = 0;
  for (int32_t d = 0; d < n; ++d) norm += dir[d] * dir[d];
  norm = std::sqrt(norm);
  if (tangent)
    for (int32_t d = 0; d < n; ++d) tangent[d] = norm > 0 ? dir[d] / norm : 0.0;
  if (deriv) {
    // dP/dt = dP/du * du/ds * ds/dt, with du/ds that of the parameter in use
    // (through the arc spline it is measured across a small step of s).
    double L = seg.localLength, duds = L > 0 ? 1.0 / L : 0.0;
    if (L > 0 && (h.flags & TDB_StreamSParametrize) && h.spatialInterp == kPathBezier) {
      double step = L * 1e-4;
      Segment lo = seg, hi = seg;
      lo.s = std::max(0.0, seg.s - step);
      hi.s = std::min(L, seg.s + step);
      double u1 = 0, u2 = 0;
      if (hi.s > lo.s && CurveParameter(h, a, c, lo, &u1) == 0 && CurveParameter(h, a, c, hi, &u2) == 0)
        duds = (u2 - u1) / (hi.s - lo.s);
    }
    for (int32_t d = 0; d < n; ++d) deriv[d] = dir[d] * duds * seg.dsdx;
  }
  return 0;
}

void KeyValue(const Header& h, const uint8_t* k, double* out) {
  for (int32_t d = 0; d < h.dimension; ++d) out[d] = KD(k, h.valueOffset + 8u * d);
  if (IsSpatial(h)) out[h.dimension] = 0.0;
}

ErrorCode BadMethods(int8_t a, int8_t b, uint32_t site) {
  if (a < 0 || b < 0) return FailText(site, kErrBadParam, kStrNoCustomInterp);
  return FailText(site, kErrBadParam, kStrBadMethod);
}

// Non-spatial segment (keys i - 1, i) per dimension.
ErrorCode TemporalValue(const Header& h, const Keys& keys, int32_t i, double t, double* out, double* deriv) {
  const uint8_t* a = keys.at(i - 1);
  const uint8_t* b = keys.at(i);
  int32_t n = h.dimension;
  int8_t mA = KOut(a), mB = KIn(b);
  bool holdA = mA == TDB_InterpHold, holdB = !holdA && mB == TDB_InterpHold;
  ErrorCode err = 0;
  // A method pair without a rule never leaves the output unset: the value
  // holds at the earlier key and the failure is returned.
  bool bad = !holdA && !holdB && !((mA == 1 || mA == 2) && (mB == 1 || mB == 2));
  if (bad) err = BadMethods(mA, mB, kSiteGetValue);
  double D = Seconds(h, keys.time(i - 1), keys.time(i));
  double x = (t - keys.time(i - 1)) / h.timeScale;
  for (int32_t d = 0; d < n; ++d) {
    double yA = KD(a, ValOff(n, d)), yB = KD(b, ValOff(n, d));
    if (holdA || bad) {
      if (out) out[d] = yA;
      if (deriv) deriv[d] = 0.0;
      continue;
    }
    if (holdB) {
      if (out) out[d] = yB;
      if (deriv) deriv[d] = 0.0;
      continue;
    }
    EaseSpec e{D,
               yA,
               yB,
               KD(a, OutVelOff(n, d)),
               KD(a, OutInflOff(n, d)),
               KD(b, InVelOff(n, d)),
               KD(b, InInflOff(n, d)),
               mA,
               mB,
               (h.flags & TDB_StreamNonDecreasing) != 0};
    EvaluateEase(e, x, out ? &out[d] : nullptr, deriv ? &deriv[d] : nullptr);
  }
  return err;
}

}  // namespace

int32_t LowerBoundD(const Keys& keys, double t) {
  int32_t lo = 0, hi = keys.count();
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (keys.time(mid) < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

ErrorCode ComputeAt(Header& h, const Keys& keys, double t, double* out, bool* atKey) {
  int32_t count = keys.count();
  int32_t i = LowerBoundD(keys, t);
  *atKey = false;
  if (i < count && keys.time(i) == t) {
    KeyValue(h, keys.at(i), out);
    *atKey = true;
    return 0;
  }
  if (i == 0) {
    KeyValue(h, keys.at(0), out);
    return 0;
  }
  if (i == count) {
    KeyValue(h, keys.at(count - 1), out);
    return 0;
  }
  if (IsSpatial(h)) return SpatialValue(h, keys, i, t, out, nullptr, nullptr);
  return TemporalValue(h, keys, i, t, out, nullptr);
}

ErrorCode DerivAt(Header& h, const Keys& keys, double t, double* deriv) {
  int32_t n = h.dimension;
  std::fill(deriv, deriv + n, 0.0);
  int32_t count = keys.count();
  int32_t i = LowerBoundD(keys, t);
  if (i < count && keys.time(i) == t) ++i;
  if (i == 0 || i >= count) return 0;
  if (IsSpatial(h)) return SpatialValue(h, keys, i, t, nullptr, deriv, nullptr);
  return TemporalValue(h, keys, i, t, nullptr, deriv);
}

ErrorCode Evaluate(TDB_Stream s, int32_t t, bool exactOnly, double* out, bool* atKey, bool* computed) {
  Header& h = *H(s);
  int32_t n = h.dimension;
  int32_t width = n + (IsSpatial(h) ? 1 : 0);
  *atKey = false;
  *computed = false;
  std::fill(out, out + width, 0.0);
  uint8_t* w = Work(s);
  if (IsConstant(h)) {
    if (KTime(w) == kClean) return Fail(kSiteGetValue, TDB_ErrNoKeys, kVerbGetValue);
    KeyValue(h, w, out);
    *computed = true;
    return 0;
  }
  if (IsSpatial(h) && h.change[0] != kClean) {
    if (ErrorCode err = UpdateStream(s)) return err;
  }
  if (KTime(w) == t && t != kClean) {
    for (int32_t d = 0; d < width; ++d) out[d] = KD(w, h.valueOffset + 8u * d);
    *atKey = KFlags(w) & kCacheAtKey;
    *computed = true;
    return 0;
  }
  Keys keys(h);
  if (keys.count() == 0) return Fail(kSiteGetValue, TDB_ErrNoKeys, kVerbGetValue);
  if (exactOnly) {
    int32_t i = keys.LowerBound(t);
    if (i >= keys.count() || keys.time(i) != t) return 0;
  }
  ErrorCode err = ComputeAt(h, keys, t, out, atKey);
  if (err && IsSpatial(h)) return err;
  *computed = true;
  if (!err) {
    Put<int32_t>(w, 0, t);
    Put<uint16_t>(w, 6, *atKey ? kCacheAtKey : 0);
    for (int32_t d = 0; d < width; ++d) SetKD(w, h.valueOffset + 8u * d, out[d]);
  }
  return err;
}

ErrorCode EvaluateCustomValue(TDB_Stream s, int32_t t, void* out, bool* atKey) {
  Header& h = *H(s);
  *atKey = false;
  const TDB_ValueTraits* tr = TraitsOf(h.desc.kind);
  if (!tr) return TDB_ErrNoSuchKind;
  auto copyOut = [&](const uint8_t* k) -> ErrorCode {
    if (tr->copy) return tr->copy(tr->data, k + h.valueOffset, out);
    std::memcpy(out, k + h.valueOffset, static_cast<size_t>(tr->valueSize));
    return 0;
  };
  if (IsConstant(h)) {
    if (KTime(Work(s)) == kClean) return Fail(kSiteGetValue, TDB_ErrNoKeys, kVerbGetValue);
    return copyOut(Work(s));
  }
  ScratchArray<uint8_t> ka, kb;
  TDB_InterpContext ctx{};
  {
    Keys keys(h);
    int32_t count = keys.count();
    if (count == 0) return Fail(kSiteGetValue, TDB_ErrNoKeys, kVerbGetValue);
    int32_t i = keys.LowerBound(t);
    if (i < count && keys.time(i) == t) {
      *atKey = true;
      return copyOut(keys.at(i));
    }
    if (i == 0) return copyOut(keys.at(0));
    if (i == count) return copyOut(keys.at(count - 1));
    if (!IsSpatial(h)) {
      if (KOut(keys.at(i - 1)) == TDB_InterpHold) return copyOut(keys.at(i - 1));
      if (KIn(keys.at(i)) == TDB_InterpHold) return copyOut(keys.at(i));
    }
    if (!ka.Allocate(static_cast<size_t>(h.keySize)) || !kb.Allocate(static_cast<size_t>(h.keySize)))
      return OutOfMemory(kSiteGetValue, ka.ok() ? kb.failedBytes() : ka.failedBytes());
    std::memcpy(ka.data(), keys.at(i - 1), static_cast<size_t>(h.keySize));
    std::memcpy(kb.data(), keys.at(i), static_cast<size_t>(h.keySize));
    ctx = TDB_InterpContext{i - 1, i, t, h.timeScale, nullptr, nullptr, h.keySize, h.dimension, h.spatialInterp};
  }
  if (!tr->interpolate) return FailText(kSiteGetValue, kErrBadParam, kStrNoCustomInterp);
  ctx.keyA = ka.data();
  ctx.keyB = kb.data();
  return tr->interpolate(tr->data, s, &ctx, out);
}

}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDB_GetValueF(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 exactOnly, double* value,
                        Boolean32* atKey) try {
  if (atKey) *atKey = 0;
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_GetValueF"});
  Locked l(stream, kSiteGetValue, kVerbGetValue);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (IsCustom(h)) return FailText(kSiteGetValue, kErrBadParam, kStrCustomKind);
  std::fill(value, value + h.dimension, 0.0);
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteGetValue, kVerbGetValue, &t)) return err;
  // The spatial parameter stays inside: the caller receives exactly
  // dimension values.
  double v[TDB_MaxDimension + 1];
  bool at = false, computed = false;
  ErrorCode err = Evaluate(stream, t, exactOnly != 0, v, &at, &computed);
  if (computed) std::copy(v, v + h.dimension, value);
  if (atKey) *atKey = at ? 1 : 0;
  return err;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetValue(TDB_Stream stream, const Time* time, int32_t timeValue, Boolean32 exactOnly, void* value,
                       Boolean32* atKey) try {
  if (atKey) *atKey = 0;
  if (!value) return kReport.BadParam(kSiteArgument, {"TDB_GetValue"});
  Locked l(stream, kSiteGetValue, kVerbGetValue);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  int32_t t = 0;
  if (ErrorCode err = StreamTime(h, time, timeValue, kSiteGetValue, kVerbGetValue, &t)) return err;
  if (IsCustom(h)) {
    bool at = false;
    ErrorCode err = EvaluateCustomValue(stream, t, value, &at);
    if (atKey) *atKey = at ? 1 : 0;
    return err;
  }
  double v[TDB_MaxDimension + 1] = {};
  bool at = false, computed = false;
  ErrorCode err = Evaluate(stream, t, exactOnly != 0, v, &at, &computed);
  DoublesToValue(h, v, value);
  if (atKey) *atKey = at ? 1 : 0;
  return err;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetValues(TDB_Stream stream, int32_t count, const Time* times, const int32_t* timeValues,
                        void* values) try {
  if (count < 0 || !values || (!times && !timeValues)) return kErrBadParam;
  if (!Valid(stream)) return Fail(kSiteGetValue, kErrDamaged, kVerbGetValue);
  const Header& h = *H(stream);
  size_t stride = IsCustom(h) ? static_cast<size_t>(TraitsOf(h.desc.kind) ? TraitsOf(h.desc.kind)->valueSize : 0)
                              : static_cast<size_t>(h.desc.scalarSize) * h.dimension;
  auto* p = static_cast<uint8_t*>(values);
  for (int32_t i = 0; i < count; ++i) {
    ErrorCode err = TDB_GetValue(stream, times ? &times[i] : nullptr, timeValues ? timeValues[i] : 0, 0,
                                 p + stride * static_cast<size_t>(i), nullptr);
    if (err) return err;
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetValuesF(TDB_Stream stream, int32_t count, const Time* times, const int32_t* timeValues,
                         double* values) try {
  if (count < 0 || !values || (!times && !timeValues)) return kErrBadParam;
  if (!Valid(stream)) return Fail(kSiteGetValue, kErrDamaged, kVerbGetValue);
  int32_t n = H(stream)->dimension;
  for (int32_t i = 0; i < count; ++i) {
    ErrorCode err = TDB_GetValueF(stream, times ? &times[i] : nullptr, timeValues ? timeValues[i] : 0, 0,
                                  values + static_cast<size_t>(n) * i, nullptr);
    if (err) return err;
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_DisposeValue(TDB_Stream stream, void* value) try {
  if (!value) return 0;
  Locked l(stream, kSiteGetValue, kVerbDispose);
  if (!l.ok()) return l.err();
  const TDB_ValueTraits* t = TraitsOf(l.h().desc.kind);
  if (t && t->dispose) return t->dispose(t->data, value);
  return 0;
} TV_CATCH(TDB_PackageNumber)

namespace {
// Derivative (deriv) or path direction (tangent) at t.
ErrorCode Derivative(TDB_Stream stream, int32_t t, double* deriv, double* tangent, uint32_t site) {
  Header& h = *H(stream);
  int32_t n = h.dimension;
  if (deriv) std::fill(deriv, deriv + n, 0.0);
  if (tangent) std::fill(tangent, tangent + n, 0.0);
  if (IsCustom(h)) return FailText(site, kErrBadParam, kStrNoDeriv);
  if (IsConstant(h)) {
    if (KTime(Work(stream)) == kClean) return Fail(site, TDB_ErrNoKeys, kVerbGetDeriv);
    return 0;
  }
  if (IsSpatial(h) && h.change[0] != kClean) {
    if (ErrorCode err = UpdateStream(stream)) return err;
  }
  Keys keys(h);
  int32_t count = keys.count();
  if (count == 0) return Fail(site, TDB_ErrNoKeys, kVerbGetDeriv);
  int32_t i = keys.LowerBound(t);
  // At a key the derivative is that of the segment leaving it.
  if (i < count && keys.time(i) == t) ++i;
  bool outside = i == 0 || i >= count;
  if (outside && !tangent) return 0;
  if (IsSpatial(h)) {
    if (outside) {
      if (count < 2) return 0;
      // Beyond the ends the path's direction is that of its end segments.
      if (i == 0) {
        i = 1;
        t = keys.time(0);
      } else {
        i = count - 1;
        t = keys.time(count - 1);
      }
    }
    double tan[TDB_MaxDimension] = {}, dv[TDB_MaxDimension] = {};
    ErrorCode err = SpatialValue(h, keys, i, t, nullptr, dv, tan);
    if (deriv && !outside) std::copy(dv, dv + n, deriv);
    if (tangent) std::copy(tan, tan + n, tangent);
    return err;
  }
  if (tangent) return Fail(site, TDB_ErrNotSpatial, kVerbGetDeriv);
  ErrorCode err = TemporalValue(h, keys, i, t, nullptr, deriv);
  if (err) std::fill(deriv, deriv + n, 0.0);
  return err;
}
}  // namespace

ErrorCode TDB_GetDeriv(TDB_Stream stream, const Time* time, int32_t timeValue, double* deriv) try {
  if (!deriv) return kReport.BadParam(kSiteArgument, {"TDB_GetDeriv"});
  Locked l(stream, kSiteDeriv, kVerbGetDeriv);
  if (!l.ok()) return l.err();
  std::fill(deriv, deriv + l.h().dimension, 0.0);
  int32_t t = 0;
  if (ErrorCode err = StreamTime(l.h(), time, timeValue, kSiteDeriv, kVerbGetDeriv, &t)) return err;
  return Derivative(stream, t, deriv, nullptr, kSiteDeriv);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetDerivs(TDB_Stream stream, int32_t count, const Time* times, const int32_t* timeValues,
                        double* derivs) try {
  if (count < 0 || !derivs || (!times && !timeValues)) return kErrBadParam;
  if (!Valid(stream)) return Fail(kSiteDeriv, kErrDamaged, kVerbGetDeriv);
  int32_t n = H(stream)->dimension;
  for (int32_t i = 0; i < count; ++i)
    if (ErrorCode err = TDB_GetDeriv(stream, times ? &times[i] : nullptr, timeValues ? timeValues[i] : 0,
                                     derivs + static_cast<size_t>(n) * i))
      return err;
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetSpaceTangent(TDB_Stream stream, const Time* time, int32_t timeValue, double* tangent) try {
  if (!tangent) return kReport.BadParam(kSiteArgument, {"TDB_GetSpaceTangent"});
  Locked l(stream, kSiteSpaceTangent, kVerbGetDeriv);
  if (!l.ok()) return l.err();
  std::fill(tangent, tangent + l.h().dimension, 0.0);
  if (!IsSpatial(l.h())) return Fail(kSiteSpaceTangent, TDB_ErrNotSpatial, kVerbGetDeriv);
  int32_t t = 0;
  if (ErrorCode err = StreamTime(l.h(), time, timeValue, kSiteSpaceTangent, kVerbGetDeriv, &t)) return err;
  return Derivative(stream, t, nullptr, tangent, kSiteSpaceTangent);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetEasedDistance(TDB_Stream stream, int32_t indexA, int32_t indexB, int32_t time, double length,
                               double* distance) try {
  if (!distance) return kReport.BadParam(kSiteArgument, {"TDB_GetEasedDistance"});
  *distance = 0;
  Locked l(stream, kSiteEase, kVerbGetValue);
  if (!l.ok()) return l.err();
  Header& h = l.h();
  if (!IsSpatial(h)) return Fail(kSiteEase, TDB_ErrNotSpatial, kVerbGetValue);
  if (ErrorCode err = ResolveIndex(h, &indexA, kSiteEase, kVerbGetValue)) return err;
  if (ErrorCode err = ResolveIndex(h, &indexB, kSiteEase, kVerbGetValue)) return err;
  Keys keys(h);
  if (indexA >= indexB) return Fail(kSiteEase, kErrRange, kVerbGetValue);
  return EasedDistance(h, keys.at(indexA), keys.at(indexB), length, Seconds(h, keys.time(indexA), time), distance,
                       nullptr);
} TV_CATCH(TDB_PackageNumber)
