// Velocities, influences and tangents of keys, clamped handles, and the
// recomputation of derived key data (path lengths, arc splines, floating keys).
#include <algorithm>
#include <cmath>
#include <vector>

#include "TDB_internal.h"
#include "U.h"

namespace tv::tdb {
namespace {

double Unit(double v) {
  if (std::isnan(v) || v < 0.0) return 0.0;
  return v > 1.0 ? 1.0 : v;
}

// Locks the stream and resolves a keyed stream's index; the record is
// reached through rec() while the guard lives.
class KeyAccess {
 public:
  KeyAccess(TDB_Stream s, int32_t index, uint32_t site, int32_t verb) : l_(s, site, verb) {
    if (!l_.ok()) {
      err_ = l_.err();
      return;
    }
    Header& h = l_.h();
    if (IsConstant(h)) {
      if (index != 0 && index != -1)
        err_ = Fail(site, kErrRange, verb);
      else if (KTime(l_.work()) == kClean)
        err_ = Fail(site, TDB_ErrNoKeys, verb);
      else
        rec_ = l_.work();
      index_ = 0;
      return;
    }
    index_ = index;
    if ((err_ = ResolveIndex(h, &index_, site, verb)) != 0) return;
    keys_ = new (keysStorage_) Keys(h);
    rec_ = keys_->at(index_);
    count_ = keys_->count();
  }
  ~KeyAccess() {
    if (keys_) keys_->~Keys();
  }
  ErrorCode err() const { return err_; }
  Header& h() const { return l_.h(); }
  uint8_t* rec() const { return rec_; }
  int32_t index() const { return index_; }
  int32_t count() const { return count_; }
  const uint8_t* neighbour(int32_t i) const { return (keys_ && i >= 0 && i < count_) ? keys_->at(i) : nullptr; }

 private:
  Locked l_;
  ErrorCode err_ = 0;
  int32_t index_ = 0;
  int32_t count_ = 1;
  uint8_t* rec_ = nullptr;
  alignas(Keys) unsigned char keysStorage_[sizeof(Keys)];
  Keys* keys_ = nullptr;
};

ErrorCode NoTemporalData(const Header& h, uint32_t site) {
  if (IsCustom(h) && !IsSpatial(h)) return FailText(site, kErrBadParam, kStrCustomKind);
  return 0;
}

}  // namespace
}  // namespace tv::tdb

using namespace tv;
using namespace tv::tdb;

ErrorCode TDB_SetKeyVelocity(TDB_Stream stream, int32_t index, const double* inVelocity,
                             const double* outVelocity) try {
  KeyAccess a(stream, index, kSiteVelocity, kVerbSetVelocity);
  if (a.err()) return a.err();
  Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteVelocity)) return err;
  uint8_t* k = a.rec();
  bool continuous = KFlags(k) & TDB_KeyContinuous;
  // A continuous key has one velocity: setting one side sets both.
  const double* in = inVelocity;
  const double* out = outVelocity;
  if (continuous && !in) in = out;
  if (continuous && !out) out = in;
  if (IsSpatial(h)) {
    auto fix = [&](double v) {
      if (std::isnan(v)) return 0.0;
      return ((h.flags & TDB_StreamNonDecreasing) && v < 0.0) ? 0.0 : v;
    };
    if (in) SetKD(k, kSpInVelOffset, fix(in[0]));
    if (out) SetKD(k, kSpOutVelOffset, fix(out[0]));
  } else {
    int32_t n = h.dimension;
    for (int32_t d = 0; d < n; ++d) {
      if (in) SetKD(k, InVelOff(n, d), in[d]);
      if (out) SetKD(k, OutVelOff(n, d), out[d]);
    }
  }
  FlushCache(stream);
  MarkChanged(h, a.index() - 1, a.index());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyVelocity(TDB_Stream stream, int32_t index, double* inVelocity, double* outVelocity) try {
  KeyAccess a(stream, index, kSiteVelocity, kVerbInquireKey);
  if (a.err()) return a.err();
  const Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteVelocity)) return err;
  const uint8_t* k = a.rec();
  if (IsSpatial(h)) {
    if (inVelocity) inVelocity[0] = KD(k, kSpInVelOffset);
    if (outVelocity) outVelocity[0] = KD(k, kSpOutVelOffset);
    return 0;
  }
  int32_t n = h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    if (inVelocity) inVelocity[d] = KD(k, InVelOff(n, d));
    if (outVelocity) outVelocity[d] = KD(k, OutVelOff(n, d));
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyInfluence(TDB_Stream stream, int32_t index, const double* inInfluence,
                              const double* outInfluence) try {
  KeyAccess a(stream, index, kSiteInfluence, kVerbSetInfluence);
  if (a.err()) return a.err();
  Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteInfluence)) return err;
  uint8_t* k = a.rec();
  if (IsSpatial(h)) {
    if (inInfluence) SetKD(k, kSpInInflOffset, Unit(inInfluence[0]));
    if (outInfluence) SetKD(k, kSpOutInflOffset, Unit(outInfluence[0]));
  } else {
    int32_t n = h.dimension;
    for (int32_t d = 0; d < n; ++d) {
      if (inInfluence) SetKD(k, InInflOff(n, d), Unit(inInfluence[d]));
      if (outInfluence) SetKD(k, OutInflOff(n, d), Unit(outInfluence[d]));
    }
  }
  Put<uint16_t>(k, 6, static_cast<uint16_t>(KFlags(k) & ~TDB_KeyModifiable));
  FlushCache(stream);
  MarkChanged(h, a.index() - 1, a.index());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyInfluence(TDB_Stream stream, int32_t index, double* inInfluence, double* outInfluence) try {
  return TDB_GetKeyTangentsF(stream, index, nullptr, inInfluence, nullptr, outInfluence);
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeyTangentsF(TDB_Stream stream, int32_t index, const double* inVelocity,
                              const double* inInfluence, const double* outVelocity, const double* outInfluence) try {
  KeyAccess a(stream, index, kSiteTangents, kVerbSetTangents);
  if (a.err()) return a.err();
  Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteTangents)) return err;
  uint8_t* k = a.rec();
  // Influences are fractions of the interval: every setter keeps them in
  // 0..1 so that the easing curve runs forwards in time.
  if (IsSpatial(h)) {
    if (inVelocity) SetKD(k, kSpInVelOffset, inVelocity[0]);
    if (outVelocity) SetKD(k, kSpOutVelOffset, outVelocity[0]);
    if (inInfluence) SetKD(k, kSpInInflOffset, Unit(inInfluence[0]));
    if (outInfluence) SetKD(k, kSpOutInflOffset, Unit(outInfluence[0]));
  } else {
    int32_t n = h.dimension;
    for (int32_t d = 0; d < n; ++d) {
      if (inVelocity) SetKD(k, InVelOff(n, d), inVelocity[d]);
      if (outVelocity) SetKD(k, OutVelOff(n, d), outVelocity[d]);
      if (inInfluence) SetKD(k, InInflOff(n, d), Unit(inInfluence[d]));
      if (outInfluence) SetKD(k, OutInflOff(n, d), Unit(outInfluence[d]));
    }
  }
  FlushCache(stream);
  MarkChanged(h, a.index() - 1, a.index());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeyTangentsF(TDB_Stream stream, int32_t index, double* inVelocity, double* inInfluence,
                              double* outVelocity, double* outInfluence) try {
  KeyAccess a(stream, index, kSiteTangents, kVerbInquireKey);
  if (a.err()) return a.err();
  const Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteTangents)) return err;
  const uint8_t* k = a.rec();
  if (IsSpatial(h)) {
    if (inVelocity) inVelocity[0] = KD(k, kSpInVelOffset);
    if (outVelocity) outVelocity[0] = KD(k, kSpOutVelOffset);
    if (inInfluence) inInfluence[0] = KD(k, kSpInInflOffset);
    if (outInfluence) outInfluence[0] = KD(k, kSpOutInflOffset);
    return 0;
  }
  int32_t n = h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    if (inVelocity) inVelocity[d] = KD(k, InVelOff(n, d));
    if (outVelocity) outVelocity[d] = KD(k, OutVelOff(n, d));
    if (inInfluence) inInfluence[d] = KD(k, InInflOff(n, d));
    if (outInfluence) outInfluence[d] = KD(k, OutInflOff(n, d));
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_SetKeySpaceTangents(TDB_Stream stream, int32_t index, const double* inTangent,
                                  const double* outTangent) try {
  KeyAccess a(stream, index, kSiteTangents, kVerbSetTangents);
  if (a.err()) return a.err();
  Header& h = a.h();
  if (!IsSpatial(h) || IsCustom(h)) return Fail(kSiteTangents, TDB_ErrNotSpatial, kVerbSetTangents);
  uint8_t* k = a.rec();
  int32_t n = h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    if (inTangent) SetKD(k, InTanOff(n, d), inTangent[d]);
    if (outTangent) SetKD(k, OutTanOff(n, d), outTangent[d]);
  }
  FlushCache(stream);
  MarkChanged(h, a.index() - 1, a.index());
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetKeySpaceTangents(TDB_Stream stream, int32_t index, double* inTangent, double* outTangent) try {
  KeyAccess a(stream, index, kSiteTangents, kVerbInquireKey);
  if (a.err()) return a.err();
  const Header& h = a.h();
  if (!IsSpatial(h) || IsCustom(h)) return Fail(kSiteTangents, TDB_ErrNotSpatial, kVerbInquireKey);
  const uint8_t* k = a.rec();
  int32_t n = h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    if (inTangent) inTangent[d] = KD(k, InTanOff(n, d));
    if (outTangent) outTangent[d] = KD(k, OutTanOff(n, d));
  }
  return 0;
} TV_CATCH(TDB_PackageNumber)

ErrorCode TDB_GetClampedVelInflF(TDB_Stream stream, int32_t index, double* inVelocity, double* inInfluence,
                                 double* outVelocity, double* outInfluence, Boolean32* changed) try {
  if (changed) *changed = 0;
  KeyAccess a(stream, index, kSiteClamped, kVerbInquireKey);
  if (a.err()) return a.err();
  const Header& h = a.h();
  if (ErrorCode err = NoTemporalData(h, kSiteClamped)) return err;
  const uint8_t* k = a.rec();
  bool any = false;
  int32_t n = IsSpatial(h) ? 1 : h.dimension;
  for (int32_t d = 0; d < n; ++d) {
    for (int side = 0; side < 2; ++side) {  // 0 in, 1 out
      double vel = 0, infl = 0;
      if (IsSpatial(h)) {
        vel = KD(k, side ? kSpOutVelOffset : kSpInVelOffset);
        infl = KD(k, side ? kSpOutInflOffset : kSpInInflOffset);
      } else {
        vel = KD(k, side ? OutVelOff(n, d) : InVelOff(n, d));
        infl = KD(k, side ? OutInflOff(n, d) : InInflOff(n, d));
      }
      const uint8_t* other = a.neighbour(side ? a.index() + 1 : a.index() - 1);
      // Spatial keys ease a distance along the path: there is no value
      // range to keep the handles in.
      if (other && !IsSpatial(h)) {
        double vK = KD(k, ValOff(n, d));
        double vO = KD(other, ValOff(n, d));
        double dt = std::fabs(Seconds(h, KTime(other), KTime(k)));
        // The direction from the key towards the neighbour's value, and the
        // handle's value offset in that direction.
        double towards = side ? vel : -vel;
        if (vO == vK || (towards > 0 && vO < vK) || (towards < 0 && vO > vK)) {
          if (vel != 0.0) any = true;
          vel = 0.0;
        } else {
          double reach = std::fabs(vel) * dt * infl;
          double room = std::fabs(vO - vK);
          if (reach > room && std::fabs(vel) * dt > 0.0) {
            // The handle is shortened along its own direction to end on the
            // neighbour's value: the velocity stays, the influence shrinks.
            infl = room / (std::fabs(vel) * dt);
            any = true;
          }
        }
      }
      double* vOut = side ? outVelocity : inVelocity;
      double* iOut = side ? outInfluence : inInfluence;
      if (vOut) vOut[d] = vel;
      if (iOut) iOut[d] = infl;
    }
  }
  if (changed) *changed = any ? 1 : 0;
  return 0;
} TV_CATCH(TDB_PackageNumber)

// ---- Derived data ------------------------------------------------------------------------------
namespace tv::tdb {
namespace {

double StraightLength(const Header& h, const uint8_t* a, const uint8_t* b) {
  double diff[TDB_MaxDimension] = {}, sum = 0, largest = 0;
  for (int32_t d = 0; d < h.dimension; ++d) {
    diff[d] = KD(b, PosOff(h.dimension, d)) - KD(a, PosOff(h.dimension, d));
    sum += diff[d] * diff[d];
    largest = std::max(largest, std::fabs(diff[d]));
  }
  if (std::isfinite(sum)) return std::sqrt(sum);
  // Past about 1e154 the squares overflow (and the position along the
  // segment would come out as inf / inf): the length is taken scaled by the
  // largest difference instead.
  double scaled = 0;
  for (int32_t d = 0; d < h.dimension; ++d) scaled += (diff[d] / largest) * (diff[d] / largest);
  return largest * std::sqrt(scaled);
}

// Recomputes the path length of segment a -> b (and its arc spline).
ErrorCode SegmentLength(Header& h, uint8_t* a, const uint8_t* b) {
  ReleaseSpline(h, a);
  double length = 0;
  if (IsCustom(h)) return 0;  // custom kinds keep their own extent
  if (h.spatialInterp == TDB_InterpHold && h.dimension == 2) {
    double p[4][2];
    for (int32_t d = 0; d < 2; ++d) {
      p[0][d] = KD(a, PosOff(2, d));
      p[1][d] = p[0][d] + KD(a, OutTanOff(2, d));
      p[3][d] = KD(b, PosOff(2, d));
      p[2][d] = p[3][d] + KD(b, InTanOff(2, d));
    }
    BEZ_Curve c{2, {p[0], p[1], p[2], p[3]}};
    LIST_Handle spline = nullptr;
    if (ErrorCode err = BEZ_BuildArcSpline(&c, 1.0, &spline, &length)) {
      if (spline) LIST_Dispose(spline, 0);
      return err;
    }
    if (h.flags & TDB_StreamSParametrize) {
      if (ErrorCode err = StoreSpline(h, a, spline)) {
        LIST_Dispose(spline, 0);
        return err;
      }
    } else {
      LIST_Dispose(spline, 0);
    }
  } else {
    length = StraightLength(h, a, b);
  }
  SetKD(a, kPathLengthOffset, length);
  return 0;
}

}  // namespace

ErrorCode UpdateStream(TDB_Stream s) {
  Header& h = *H(s);
  if (!IsSpatial(h) || IsConstant(h) || h.change[0] == kClean) return 0;
  Keys keys(h);
  int32_t n = keys.count();
  int32_t first = std::max(0, h.change[0] - 1);
  int32_t last = std::min(n - 1, h.change[1] == INT32_MAX ? n - 1 : h.change[1] + 1);
  for (int32_t i = first; i <= last && i < n; ++i) {
    if (i == n - 1) {
      ReleaseSpline(h, keys.at(i));
      if (!IsCustom(h)) SetKD(keys.at(i), kPathLengthOffset, 0.0);
      continue;
    }
    if (ErrorCode err = SegmentLength(h, keys.at(i), keys.at(i + 1))) return err;
  }
  // Floating keys take the times at which the eased motion from the
  // previous to the next fixed key reaches them along the path.
  bool overlap = false;
  if ((h.flags & TDB_StreamSParametrize) && n > 2) {
    int32_t a = 0;
    while (a < n - 1) {
      int32_t b = a + 1;
      while (b < n - 1 && (KFlags(keys.at(b)) & TDB_KeyFloat)) ++b;
      if (b > a + 1) {
        double total = 0;
        for (int32_t i = a; i < b; ++i) total += KD(keys.at(i), kPathLengthOffset);
        double D = Seconds(h, keys.time(a), keys.time(b));
        double reached = 0;
        for (int32_t i = a + 1; i < b; ++i) {
          reached += KD(keys.at(i - 1), kPathLengthOffset);
          double lo = 0, hi = D, s = 0, v = 0;
          for (int it = 0; it < 60; ++it) {
            double mid = 0.5 * (lo + hi);
            EasedDistance(h, keys.at(a), keys.at(b), total, mid, &s, nullptr);
            if (s < reached)
              lo = mid;
            else
              hi = mid;
          }
          double x = 0.5 * (lo + hi);
          EasedDistance(h, keys.at(a), keys.at(b), total, x, &s, &v);
          double want = std::nearbyint(keys.time(a) + x * h.timeScale);
          double minT = static_cast<double>(keys.time(i - 1)) + 1;
          double maxT = static_cast<double>(keys.time(b)) - (b - i);
          if (minT > maxT) {
            overlap = true;
            want = keys.time(i);
          } else if (want < minT || want > maxT) {
            overlap = true;
            want = std::clamp(want, minT, maxT);
          }
          uint8_t* k = keys.at(i);
          Put<int32_t>(k, 0, static_cast<int32_t>(want));
          SetKD(k, kSpInVelOffset, v);
          SetKD(k, kSpOutVelOffset, v);
          if (overlap) {
            SetKD(k, kSpInInflOffset, 0.0);
            SetKD(k, kSpOutInflOffset, 0.0);
          }
        }
      }
      a = b;
    }
  }
  h.change[0] = h.change[1] = kClean;
  Put<int32_t>(Work(s), 0, kClean);
  if (overlap) kReport.Note(kSiteUpdate, kSevWarning, kStrOverlap);
  return 0;
}

}  // namespace tv::tdb

ErrorCode TDB_UpdateStream(TDB_Stream stream) try {
  Locked l(stream, kSiteUpdate, kVerbUpdate);
  if (!l.ok()) return l.err();
  return UpdateStream(stream);
} TV_CATCH(TDB_PackageNumber)
