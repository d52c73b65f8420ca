// Evaluation: holds, linear and Bezier easing against independent Bezier
// arithmetic, derivatives against finite differences, spatial paths, the
// value cache, clamped handles, zero-velocity points and adaptive sampling.
#include <algorithm>
#include <random>

#include "TDB_internal.h"
#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

using namespace tv::tdb;

// An independent easing curve: cubic Bezier with P0 = (0, y0), P3 = (D, y3),
// solved for x by bisection on the Bernstein form.
double EaseOracle(double D, double y0, double y3, double x1, double y1, double x2, double y2, double x) {
  double lo = 0, hi = 1;
  for (int i = 0; i < 200; ++i) {
    double m = 0.5 * (lo + hi);
    if (Bernstein(0, x1, x2, D, m) < x)
      lo = m;
    else
      hi = m;
  }
  return Bernstein(y0, y1, y2, y3, 0.5 * (lo + hi));
}

class TdbEval : public TdbFixture {
 protected:
  // Keys at 0 s (0) and 1 s (10), scale 600.
  TDB_Stream Segment(int8_t outA, int8_t inB) {
    TDB_Stream s = Keyed();
    Key(s, 0, {0}, 1, outA);
    Key(s, 600, {10}, inB, 1);
    return s;
  }
};

TEST_F(TdbEval, LinearSegmentAndHolds) {
  TDB_Stream s = Segment(1, 1);
  EXPECT_DOUBLE_EQ(Value1(s, 150), 2.5);
  EXPECT_DOUBLE_EQ(Value1(s, -50), 0.0);
  EXPECT_DOUBLE_EQ(Value1(s, 650), 10.0);
  Boolean32 atKey = 0;
  double v = 0;
  ASSERT_EQ(TDB_GetValueF(s, nullptr, 600, 0, &v, &atKey), 0);
  EXPECT_TRUE(atKey);
  Time quarter{1, 4};
  ASSERT_EQ(TDB_GetValueF(s, &quarter, 0, 0, &v, &atKey), 0);
  EXPECT_EQ(std::tuple(v, atKey != 0), std::tuple(2.5, false));
  TDB_Stream a = Segment(3, 1);
  EXPECT_EQ(std::tuple(Value1(a, 599), Value1(a, 600)), std::tuple(0.0, 10.0));
  TDB_Stream b = Segment(1, 3);
  EXPECT_EQ(Value1(b, 1), 10.0);  // a hold on the later key's in side gives its value
}

TEST_F(TdbEval, BezierEasesAgainstTheOracle) {
  // {out velocity, out influence} of the first key, {in velocity, in influence}
  // of the second, tolerance.
  const double third = 1.0 / 3;
  const double cases[][5] = {{0, third, 0, third, 1e-7}, {20, 0.0, -5, 0.0, 1e-6}, {20, 1.0, -5, 1.0, 1e-6}};
  for (const auto& c : cases) {
    TDB_Stream s = Segment(2, 2);
    Ease(s, 0, 0, 0.5, c[0], c[1]);
    Ease(s, 1, c[2], c[3], 0, 0.5);
    for (int32_t t : {30, 60, 100, 200, 240, 420, 450, 570, 590}) {
      double expect = EaseOracle(1, 0, 10, c[1], c[0] * c[1], 1 - c[3], 10 - c[2] * c[3], t / 600.0);
      EXPECT_NEAR(Value1(s, t), expect, c[4]) << c[0] << " " << c[1] << " " << t;
    }
  }
  // A linear side with a matching Bezier side is a straight line.
  TDB_Stream m = Segment(1, 2);
  Ease(m, 1, 10, 1.0 / 6, 0, third);
  EXPECT_NEAR(Value1(m, 300), 5.0, 1e-7);
  EXPECT_NEAR(Value1(m, 180), 3.0, 1e-7);
}

TEST_F(TdbEval, CacheFollowsEveryEdit) {
  TDB_Stream s = Segment(1, 1);
  EXPECT_DOUBLE_EQ(Value1(s, 300), 5.0);
  EXPECT_DOUBLE_EQ(Value1(s, 300), 5.0);  // from the cache
  double twenty = 20;
  ASSERT_EQ(TDB_SetKeyF(s, 1, &twenty), 0);
  EXPECT_DOUBLE_EQ(Value1(s, 300), 10.0);
  ASSERT_EQ(TDB_SetKeyTime(s, 1, nullptr, 1200), 0);
  EXPECT_DOUBLE_EQ(Value1(s, 300), 5.0);
  ASSERT_EQ(TDB_SetKeyInterps(s, 0, 1, 3), 0);
  EXPECT_DOUBLE_EQ(Value1(s, 300), 0.0);
  Key(s, 300, {-1});
  EXPECT_DOUBLE_EQ(Value1(s, 300), -1.0);
}

TEST_F(TdbEval, ExactOnly) {
  TDB_Stream s = Segment(1, 1);
  double v = 7;
  Boolean32 atKey = 1;
  ASSERT_EQ(TDB_GetValueF(s, nullptr, 300, 1, &v, &atKey), 0);
  EXPECT_EQ(std::tuple(v, atKey != 0), std::tuple(0.0, false));
  ASSERT_EQ(TDB_GetValueF(s, nullptr, 600, 1, &v, &atKey), 0);
  EXPECT_EQ(std::tuple(v, atKey != 0), std::tuple(10.0, true));
  EXPECT_DOUBLE_EQ(Value1(s, 300), 5.0);  // an exact-only miss left nothing in the cache
}

TEST_F(TdbEval, MethodPairWithoutRuleIsAnError) {
  TDB_Stream s = Segment(0, 1);
  double v = 99;
  EXPECT_EQ(TDB_GetValueF(s, nullptr, 300, 0, &v, nullptr), kErrBadParam);
  ExpectReport(kSiteGetValue, "invalid method while interpolating");
  EXPECT_EQ(v, 0.0);  // held at the earlier key, never left unset
  ASSERT_EQ(TDB_SetStreamIMask(s, 15), 0);
  ASSERT_EQ(TDB_SetKeyInterps(s, 0, 1, -2), 0);
  EXPECT_EQ(TDB_GetValueF(s, nullptr, 300, 0, &v, nullptr), kErrBadParam);
  ExpectReport(kSiteGetValue, "no custom interp function specified");
}

TEST_F(TdbEval, ValueInTheCallersType) {
  TDB_Stream s = Make(1, 600, Desc(8));
  float a = 0, b = 1;
  ASSERT_EQ(TDB_InsertKey(s, nullptr, 0, 0, &a, 1, 1), 0);
  ASSERT_EQ(TDB_InsertKey(s, nullptr, 600, 0, &b, 1, 1), 0);
  float out = 0;
  ASSERT_EQ(TDB_GetValue(s, nullptr, 150, 0, &out, nullptr), 0);
  EXPECT_FLOAT_EQ(out, 0.25f);
  float outs[3];
  int32_t times[3] = {0, 300, 900};
  ASSERT_EQ(TDB_GetValues(s, 3, nullptr, times, outs), 0);
  EXPECT_EQ(std::tuple(outs[1], outs[2]), std::tuple(0.5f, 1.0f));
  // A series at times in other scales, in doubles.
  TDB_Stream two = Keyed(2);
  Key(two, 0, {0, 10});
  Key(two, 600, {6, 0});
  Time at[3] = {{0, 1}, {1, 2}, {5, 1}};
  double v[6];
  ASSERT_EQ(TDB_GetValuesF(two, 3, at, nullptr, v), 0);
  EXPECT_EQ(std::vector<double>(v + 2, v + 6), (std::vector<double>{3, 5, 6, 0}));
}

// ---- Spatial ------------------------------------------------------------------------
class TdbSpatial : public TdbFixture {
 protected:
  TDB_Stream Path(int16_t dim = 2, int16_t method = 3) {
    TDB_Stream s = Keyed(dim, 600, 7, true);
    EXPECT_EQ(TDB_SetStreamSpInterp(s, method), 0);
    return s;
  }
  std::vector<double> At(TDB_Stream s, int32_t t, int n = 2) {
    std::vector<double> v(static_cast<size_t>(n) + 1, -12345.0);  // a guard beyond the values
    EXPECT_EQ(TDB_GetValueF(s, nullptr, t, 0, v.data(), nullptr), 0);
    EXPECT_EQ(v.back(), -12345.0) << "written past the values";
    v.pop_back();
    return v;
  }
  // From (0, 0) at 0 s to (100, 0) at 1 s, both handles rising by `up`.
  TDB_Stream Arch(double up) {
    TDB_Stream s = Path();
    Key(s, 0, {0, 0});
    Key(s, 600, {100, 0});
    double t[2] = {0, up};
    EXPECT_EQ(TDB_SetKeySpaceTangents(s, 0, nullptr, t), 0);
    EXPECT_EQ(TDB_SetKeySpaceTangents(s, 1, t, nullptr), 0);
    return s;
  }
};

TEST_F(TdbSpatial, ConstantSpeedAlongCurvedPath) {
  TDB_Stream s = Arch(80);
  // The spread between the longest and the shortest step along the path.
  auto spread = [&] {
    double lo = 1e9, hi = 0;
    auto prev = At(s, 0);
    for (int32_t t = 30; t <= 600; t += 30) {
      auto cur = At(s, t);
      double step = std::hypot(cur[0] - prev[0], cur[1] - prev[1]);
      lo = std::min(lo, step);
      hi = std::max(hi, step);
      prev = cur;
    }
    return hi - lo;
  };
  // Equal within the arc spline's tolerance of one unit along the path.
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  EXPECT_LT(spread(), 0.5);
  // Without arc-length parametrisation the parameter runs evenly instead,
  // which is visibly uneven in space.
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 0), 0);
  EXPECT_GT(spread(), 2.0);
}

TEST_F(TdbSpatial, TangentForAutoOrient) {
  TDB_Stream s = Arch(50);
  double tan[2];
  ASSERT_EQ(TDB_GetSpaceTangent(s, nullptr, 0, tan), 0);
  ExpectNear(Vec(tan, 2), {0, 1}, 1e-9);
  ASSERT_EQ(TDB_GetSpaceTangent(s, nullptr, 300, tan), 0);  // the top of the arch
  ExpectNear(Vec(tan, 2), {1, 0}, 1e-6);
  ASSERT_EQ(TDB_GetSpaceTangent(s, nullptr, 900, tan), 0);
  EXPECT_NEAR(tan[1], -1, 1e-9);
  TDB_Stream plain = Keyed();
  EXPECT_EQ(TDB_GetSpaceTangent(plain, nullptr, 0, tan), TDB_ErrNotSpatial);
}

TEST_F(TdbSpatial, PathBezierNeedsTwoDimensions) {
  TDB_Stream s = Path(3, 3);
  Key(s, 0, {0, 0, 0});
  Key(s, 600, {1, 1, 1});
  double v[3];
  EXPECT_EQ(TDB_GetValueF(s, nullptr, 300, 0, v, nullptr), TDB_ErrArcLength2D);
  ExpectReport(kSiteGetValue, "only 2d spatial streams allow arc-length interpolation");
}

TEST_F(TdbSpatial, EasingNeverOvershoots) {
  TDB_Stream s = Path(2, 1);
  Key(s, 0, {0, 0}, 2, 2);
  Key(s, 600, {10, 0}, 2, 2);
  double fast = 1000, infl = 0.9;
  ASSERT_EQ(TDB_SetKeyVelocity(s, 0, nullptr, &fast), 0);
  ASSERT_EQ(TDB_SetKeyInfluence(s, 0, nullptr, &infl), 0);
  for (int32_t t = 0; t <= 600; ++t) EXPECT_LE(At(s, t)[0], 10.0 + 1e-9) << t;
}

TEST_F(TdbSpatial, FarApartKeysGiveFiniteValuesBetweenThem) {
  // The squares of the distance overflow past about 1e154; the path's length
  // must not, or the position along it comes out as inf / inf.
  for (int16_t method : {int16_t{1}, int16_t{3}}) {
    for (double far : {1e155, -1e300}) {
      TDB_Stream s = Path(2, method);
      Key(s, 0, {10, 10});
      Key(s, 600, {far, far});
      for (int32_t t : {1, 200, 599}) {
        const std::vector<double> v = At(s, t);
        EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1])) << method << " " << far << " at " << t;
        EXPECT_NEAR(v[0] / far, v[1] / far, 1e-9) << method << " " << far << " at " << t;
      }
      EXPECT_NEAR(At(s, 300)[0] / far, 0.5, 0.01) << method << " " << far;
    }
  }
}

TEST_F(TdbSpatial, FloatingKeyTakesItsTimeFromThePath) {
  TDB_Stream s = Path(2, 1);
  Key(s, 0, {0, 0});
  Key(s, 500, {10, 0});
  Key(s, 600, {30, 0});
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  ASSERT_EQ(TDB_SetKeyFloat(s, 1, 1), 0);
  EXPECT_EQ(Times(s)[1], 200);  // a third of the way along, at constant speed
  EXPECT_NEAR(At(s, 100)[0], 5, 1e-9);
}

TEST_F(TdbSpatial, FloatingKeysThatCannotKeepTheirPlaceAreReportedOnce) {
  TDB_Stream s = Path(2, 1);
  Key(s, 0, {0, 0});
  Key(s, 1, {0.5, 0});
  Key(s, 2, {1, 0});
  Key(s, 600, {1000, 0});
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  ASSERT_EQ(TDB_SetKeyFloat(s, 1, 1), 0);
  ASSERT_EQ(TDB_SetKeyFloat(s, 2, 1), 0);
  rec.clear();
  ASSERT_EQ(TDB_UpdateStream(s), 0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().severity, kSevWarning);
  EXPECT_THAT(rec.last().text,
              ::testing::HasSubstr("Some interpolated values may be incorrect in this project due to nearly "
                                   "overlapping keyframes"));
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 1, 2, 600}));
  double in = 1, out = 1;
  ASSERT_EQ(TDB_GetKeyInfluence(s, 1, &in, &out), 0);
  EXPECT_EQ(std::tuple(in, out), std::tuple(0.0, 0.0));
  ASSERT_EQ(TDB_UpdateStream(s), 0);  // clean now: nothing more to say
  EXPECT_EQ(rec.reports.size(), 1u);
}

TEST_F(TdbSpatial, DirectManipulationMovesThePathThroughThePoint) {
  TDB_Stream s = Path();
  Key(s, 0, {0, 0});
  Key(s, 600, {100, 0});
  double delta[2] = {0, 30};
  ASSERT_EQ(TDB_DirectManipArc(s, 0, 0.5, delta), 0);
  double out[2], in[2];
  ASSERT_EQ(TDB_GetKeySpaceTangents(s, 0, nullptr, out), 0);
  ASSERT_EQ(TDB_GetKeySpaceTangents(s, 1, in, nullptr), 0);
  // The curve's midpoint is (P1 + P2) * 3/8 + (P0 + P3) / 8: 30 units up.
  EXPECT_NEAR((out[1] + in[1]) * 3 / 8, 30, 1e-9);
  TDB_Stream line = Path(2, 1);
  Key(line, 0, {0, 0});
  Key(line, 600, {1, 0});
  EXPECT_EQ(TDB_DirectManipArc(line, 0, 0.5, delta), kErrBadParam);
  ExpectReport(kSiteDirectManip, "can't directly manipulate this stream.");
}

TEST_F(TdbSpatial, PredictInvalid) {
  TDB_Stream s = Path(2, 1);
  for (int32_t t : {0, 100, 200, 300}) Key(s, t, {double(t), 0});
  Time a{}, b{};
  ASSERT_EQ(TDB_PredictInvalid(s, 1, &a, &b), 0);
  EXPECT_EQ(std::tuple(a.value, b.value), std::tuple(0, 200));
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  ASSERT_EQ(TDB_SetKeyFloat(s, 2, 1), 0);
  ASSERT_EQ(TDB_PredictInvalid(s, 1, &a, &b), 0);
  EXPECT_EQ(b.value, 300);  // through the floating key to the next fixed one
  ASSERT_EQ(TDB_PredictInvalid(s, 0, &a, &b), 0);
  EXPECT_EQ(a.value, INT32_MIN + 1);
}

// ---- Handles and zero velocity -------------------------------------------------------------
TEST_F(TdbEval, ClampedVelocityAndInfluence) {
  TDB_Stream s = Keyed();
  Key(s, 0, {0}, 2, 2);
  Key(s, 600, {10}, 2, 2);
  Key(s, 1200, {10}, 2, 2);
  // {in velocity, in influence, out velocity, out influence, changed}
  auto clamped = [&](int32_t i) {
    double v[4];
    Boolean32 changed = 7;
    EXPECT_EQ(TDB_GetClampedVelInflF(s, i, &v[0], &v[1], &v[2], &v[3], &changed), 0);
    return std::vector<double>{v[0], v[1], v[2], v[3], double(changed != 0)};
  };
  double inV = -5, outV = 100, inI = 0.5, outI = 0.5;
  ASSERT_EQ(TDB_SetKeyTangentsF(s, 1, &inV, &inI, &outV, &outI), 0);
  // In velocity 0: it pointed away from the previous value; out velocity 0:
  // equal values on the out side.
  auto c = clamped(1);
  EXPECT_EQ((std::vector<double>{c[0], c[1], c[2], c[4]}), (std::vector<double>{0, 0.5, 0, 1}));
  double v0 = 100, i0 = 0.5;
  ASSERT_EQ(TDB_SetKeyTangentsF(s, 0, nullptr, nullptr, &v0, &i0), 0);
  // The handle now ends on the next key's value.
  c = clamped(0);
  ExpectNear({c[2], c[3], c[4]}, {100, 0.1, 1}, 1e-12);
  double v1 = 5, i1 = 0.5;
  ASSERT_EQ(TDB_SetKeyTangentsF(s, 0, nullptr, nullptr, &v1, &i1), 0);
  c = clamped(0);
  EXPECT_EQ((std::vector<double>{c[2], c[3], c[4]}), (std::vector<double>{5, 0.5, 0}));
}

TEST_F(TdbEval, ZeroVelocityPoints) {
  TDB_Stream s = Segment(2, 2);
  Ease(s, 0, 0, 0.3, 10, 0.3);
  Ease(s, 1, -10, 0.3, 0, 0.3);
  ASSERT_EQ(TDB_SetKeyF(s, 1, std::vector<double>{0}.data()), 0);
  LIST_Handle& times = ListSlot();
  Time a{0, 1}, b{1, 1};
  ASSERT_EQ(TDB_GetZeroVelocityPoints(s, 0, &a, &b, &times), 0);
  auto t = Items<double>(times);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_NEAR(t[0], 0.5, 1e-6);
}

// ---- Adaptive sampling -----------------------------------------------------------------
class TdbSample : public TdbFixture {
 protected:
  std::vector<TDB_SamplePoint> Points(LIST_Handle list) { return Items<TDB_SamplePoint>(list); }
  static double Lerp(const std::vector<TDB_SamplePoint>& p, double t) {
    for (size_t i = 0; i + 1 < p.size(); ++i)
      if (t >= p[i].time && t <= p[i + 1].time && p[i + 1].time > p[i].time)
        return p[i].value + (p[i + 1].value - p[i].value) * (t - p[i].time) / (p[i + 1].time - p[i].time);
    return t < p.front().time ? p.front().value : p.back().value;
  }
};

// Round 0 eases every key; later rounds mix linear, Bezier and hold sides,
// a hold on either side of a segment being a step to the value the segment
// evaluates to.
TEST_F(TdbSample, PolylineStaysWithinTolerance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> val(-50, 50), vel(-200, 200), infl(0.05, 1.0);
  for (int round = 0; round < 8; ++round) {
    TDB_Stream s = Keyed(1, 48000);
    const auto method = [&] { return static_cast<int8_t>(round < 2 ? 2 : 1 + rng() % 3); };
    for (int k = 0; k < 6; ++k) Key(s, k * 24000, {val(rng)}, method(), method());
    if (round < 2)
      for (int k = 0; k < 6; ++k) Ease(s, k, vel(rng), infl(rng), vel(rng), infl(rng));
    LIST_Handle& list = ListSlot();
    Time start{0, 1}, dur{3, 1};
    double lo = 0, hi = 0;
    ASSERT_EQ(TDB_GetAdaptiveSampleStream(s, 0, &start, &dur, 0.001, 1.0 / 48000, 1, 10000, &list, &lo, &hi), 0);
    auto p = Points(list);
    ASSERT_GE(p.size(), 6u);
    for (size_t i = 1; i < p.size(); ++i) ASSERT_GE(p[i].time, p[i - 1].time);
    double worst = 0;
    // From just after the first key: at the time of a step, the points give
    // both values.
    for (int32_t t = 1; t <= 3 * 48000; t += 37) {
      double v = Value1(s, t);
      worst = std::max(worst, std::fabs(v - Lerp(p, t / 48000.0)));
      EXPECT_GE(v, lo - 0.001);  // the range is that of the values sampled
      EXPECT_LE(v, hi + 0.001);
    }
    EXPECT_LE(worst, 0.001 * 1.5) << round;
  }
}

TEST_F(TdbSample, IterationInterpolatesThePoints) {
  TDB_Stream s = Keyed();
  Key(s, 0, {0}, 2, 2);
  Key(s, 600, {10}, 2, 2);
  LIST_Handle& list = ListSlot();
  Time start{0, 1}, dur{1, 1};
  ASSERT_EQ(TDB_GetAdaptiveSampleStream(s, 0, &start, &dur, 0.01, 0.0, 2, 100, &list, nullptr, nullptr), 0);
  auto p = Points(list);
  TDB_SampleIterator it{};
  ASSERT_EQ(TDB_InitIterateAdaptiveSampleStream(list, &it), 0);
  double step = 1.0 / 1000;
  for (int i = 0; i <= 1000; ++i) {
    double t = i * step, v = 0;
    ASSERT_EQ(TDB_IterateAdaptiveSampleStream(&it, t, step, &v), 0);
    EXPECT_NEAR(v, Lerp(p, t), 1e-9) << t;
  }
  double v = 0;
  EXPECT_EQ(TDB_IterateAdaptiveSampleStream(&it, 0.5, step, &v), kErrRange);  // time only increases
  ASSERT_EQ(TDB_CompleteIterateAdaptiveSampleStream(&it), 0);
}

TEST_F(TdbEval, SpatialVelocityMatchesFiniteDifferences) {
  TDB_Stream s = Make(2, 1000000, Desc(), 0, 1, 7, 0xF);
  ASSERT_EQ(TDB_SetStreamSpInterp(s, 3), 0);
  double a[2] = {0, 0}, b[2] = {100, 20};
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, 0, 0, a, 2, 2), 0);
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, 1000000, 0, b, 2, 2), 0);
  double out[2] = {10, 60}, in[2] = {-30, 0};
  ASSERT_EQ(TDB_SetKeySpaceTangents(s, 0, nullptr, out), 0);
  ASSERT_EQ(TDB_SetKeySpaceTangents(s, 1, in, nullptr), 0);
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  for (int32_t t : {200000, 500000, 800000}) {
    double dv[2], p0[2], p1[2];
    ASSERT_EQ(TDB_GetDeriv(s, nullptr, t, dv), 0);
    ASSERT_EQ(TDB_GetValueF(s, nullptr, t - 100, 0, p0, nullptr), 0);
    ASSERT_EQ(TDB_GetValueF(s, nullptr, t + 100, 0, p1, nullptr), 0);
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(dv[k], (p1[k] - p0[k]) / 200e-6, 0.02 * std::hypot(dv[0], dv[1])) << t;
  }
  double derivs[4];
  int32_t times[2] = {500000, 2000000};
  ASSERT_EQ(TDB_GetDerivs(s, 2, nullptr, times, derivs), 0);
  EXPECT_EQ(derivs[2], 0.0);  // after the last key nothing moves
  EXPECT_EQ(derivs[3], 0.0);
}

ErrorCode Collect(TDB_Stream, intptr_t data, int32_t index, int32_t time) {
  reinterpret_cast<std::vector<std::pair<int32_t, int32_t>>*>(data)->push_back({index, time});
  return index == 3 ? 77 : 0;
}

TEST_F(TdbEval, IteratingOverKeys) {
  TDB_Stream s = Keyed();
  for (int32_t t : {0, 10, 20, 30, 40}) Key(s, t, {double(t)});
  std::vector<std::pair<int32_t, int32_t>> seen;
  Time a{5, 600}, b{30, 600};
  ASSERT_EQ(TDB_ForRange(s, &a, &b, Collect, reinterpret_cast<intptr_t>(&seen)), 77);  // stopped at index 3
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{1, 10}, {2, 20}, {3, 30}}));
  seen.clear();
  ASSERT_EQ(TDB_ForIndexRange(s, -1, 2, Collect, reinterpret_cast<intptr_t>(&seen)), 77);
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{4, 40}, {3, 30}}));
}

}  // namespace
}  // namespace tv::animtest
