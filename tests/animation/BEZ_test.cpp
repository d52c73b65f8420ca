// BEZ: evaluation, derivatives, subdivision, direct manipulation, the
// function use and its degenerate cases, easing and time remapping.
#include <limits>

#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

class BezEval : public BezFixture {
 protected:
  // The answers of the one-value solvers (the call must succeed).
  double TFromX(const OwnedCurve& c, double x) {
    double t = -1;
    EXPECT_EQ(BEZ_TFromX(&c.c, x, &t), 0);
    return t;
  }
  double YFromX(const OwnedCurve& c, double x) {
    double y = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(BEZ_EvaluateYFromX(&c.c, x, nullptr, &y), 0);
    return y;
  }
  Boolean32 NonDecreasing(OwnedCurve& c) {
    Boolean32 changed = 7;
    EXPECT_EQ(BEZ_CurveSetNonDecreasing(&c.c, &changed), 0);
    return changed;
  }
};

TEST_F(BezEval, StraightLineAndBernsteinInFourDimensions) {
  auto line = Curve2(0, 0, 1, 2, 2, 4, 3, 6);
  for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
    double p[2], d[2], d2[2];
    ASSERT_EQ(BEZ_EvaluatePoint(&line.c, t, p), 0);
    ASSERT_EQ(BEZ_EvaluateDeriv(&line.c, t, d), 0);
    ASSERT_EQ(BEZ_EvaluateDeriv2(&line.c, t, d2), 0);
    EXPECT_EQ(std::vector<double>(p, p + 2), (std::vector<double>{3 * t, 6 * t}));
    EXPECT_EQ(std::vector<double>(d, d + 2), (std::vector<double>{3, 6}));
    EXPECT_EQ(std::vector<double>(d2, d2 + 2), (std::vector<double>{0, 0}));
  }
  OwnedCurve c(4, {{{1, -2, 3, 0.5}, {4, 7, -1, 2}, {-3, 5, 2, 9}, {6, 0, 8, -4}}});
  std::vector<double> ts = {0.0, 0.1, 0.33, 0.5, 0.9, 1.0};
  std::vector<double> pts(ts.size() * 4), ders(ts.size() * 4);
  ASSERT_EQ(BEZ_EvaluatePoints(&c.c, static_cast<int32_t>(ts.size()), ts.data(), pts.data()), 0);
  ASSERT_EQ(BEZ_EvaluateDerivs(&c.c, static_cast<int32_t>(ts.size()), ts.data(), ders.data()), 0);
  const double h = 1e-6;
  for (size_t k = 0; k < ts.size(); ++k) {
    double t = ts[k], d1p[4], d1m[4], d2[4];
    BEZ_EvaluateDeriv(&c.c, t + h, d1p);
    BEZ_EvaluateDeriv(&c.c, t - h, d1m);
    BEZ_EvaluateDeriv2(&c.c, t, d2);
    for (int i = 0; i < 4; ++i) {
      auto b = [&](double u) { return Bernstein(c.p[0][i], c.p[1][i], c.p[2][i], c.p[3][i], u); };
      EXPECT_NEAR(pts[k * 4 + i], b(t), 1e-12);
      EXPECT_NEAR(ders[k * 4 + i], (b(t + h) - b(t - h)) / (2 * h), 1e-6);
      EXPECT_NEAR(d2[i], (d1p[i] - d1m[i]) / (2 * h), 1e-5);
    }
  }
}

TEST_F(BezEval, SubdivisionReproducesBothHalves) {
  OwnedCurve c(3, {{{0, 0, 0, 0}, {1, 3, -1, 0}, {4, 3, 2, 0}, {5, 0, 1, 0}}});
  for (double s : {0.3, 0.5, 0.85}) {
    double out[15], pm[3];
    ASSERT_EQ(BEZ_SubdivideCurve(&c.c, s, out), 0);
    double* m = out + 6;
    BEZ_Curve left{3, {c.p[0].data(), out, out + 3, m}};
    BEZ_Curve right{3, {m, out + 9, out + 12, c.p[3].data()}};
    BEZ_EvaluatePoint(&c.c, s, pm);
    ExpectNear(Vec(m, 3), Vec(pm, 3), 1e-12);
    for (double u = 0; u <= 1.0; u += 0.125) {
      double a[3], b[3], wa[3], wb[3];
      BEZ_EvaluatePoint(&left, u, a);
      BEZ_EvaluatePoint(&c.c, u * s, wa);
      BEZ_EvaluatePoint(&right, u, b);
      BEZ_EvaluatePoint(&c.c, s + u * (1 - s), wb);
      ExpectNear(Vec(a, 3), Vec(wa, 3), 1e-12);
      ExpectNear(Vec(b, 3), Vec(wb, 3), 1e-12);
    }
  }
}

TEST_F(BezEval, DirectManipulationAtTheEndsHasZeroWeights) {
  // An end point cannot be moved by the handles: zero weights, no division by zero.
  for (double t : {0.0, 1.0}) {
    BEZ_DirectManip ends{1, 1, 1};
    ASSERT_EQ(BEZ_DirectManipSetup(t, &ends), 0);
    EXPECT_EQ((XY2{ends.w1, ends.w2}), (XY2{0, 0}));
  }
}

// ---- Function use -----------------------------------------------------------

TEST_F(BezEval, XFromYInvertsYFromX) {
  auto c = Curve2(0, 0, 0.2, 3, 0.9, 7, 1.5, 12);
  for (double x = 0; x <= 1.5; x += 0.1) {
    double y, t, xBack, t2, dxdy, dydx;
    ASSERT_EQ(BEZ_EvaluateYFromX(&c.c, x, &t, &y), 0);
    ASSERT_EQ(BEZ_EvaluateXFromY(&c.c, y, &t2, &xBack), 0);
    EXPECT_NEAR(xBack, x, 1e-9);
    ASSERT_EQ(BEZ_EvaluateXFromYPrime(&c.c, y, nullptr, nullptr, &dxdy), 0);
    ASSERT_EQ(BEZ_Evaluate1dDerivFromX(&c.c, x, &dydx), 0);
    EXPECT_NEAR(dxdy * dydx, 1.0, 1e-9);
  }
  // y falling from 10 to 0: the end snapping follows the direction.
  auto f = Curve2(0, 10, 1, 7, 2, 3, 3, 0);
  double t, x;
  ASSERT_EQ(BEZ_EvaluateXFromY(&f.c, 5.0, &t, &x), 0);
  EXPECT_NEAR(Bernstein(10, 7, 3, 0, t), 5.0, 1e-9);
  EXPECT_TRUE(t > 0.0 && t < 1.0) << t;
  for (auto [y, end] : {XY2{11.0, 0.0}, XY2{-1.0, 1.0}}) {
    ASSERT_EQ(BEZ_TFromY(&f.c, y, &t), 0);
    EXPECT_EQ(t, end);
  }
}

TEST_F(BezEval, DerivativesFromXAgainstFiniteDifferences) {
  auto c = Curve2(0, 1, 0.3, 4, 0.8, -2, 1, 3);
  std::vector<double> xs, ys(9);
  for (int i = 1; i <= 9; ++i) xs.push_back(i / 10.0);
  ASSERT_EQ(BEZ_EvaluateYFromXs(&c.c, 9, xs.data(), ys.data()), 0);
  for (size_t i = 0; i < xs.size(); ++i) {
    double x = xs[i], h = 1e-5, y, d1, d2, single;
    EXPECT_DOUBLE_EQ(ys[i], YFromX(c, x));
    ASSERT_EQ(BEZ_Evaluate1dDerivsFromX(&c.c, x, &y, &d1, &d2), 0);
    EXPECT_NEAR(d1, (YFromX(c, x + h) - YFromX(c, x - h)) / (2 * h), 1e-5);
    EXPECT_NEAR(d2, (YFromX(c, x + h) - 2 * YFromX(c, x) + YFromX(c, x - h)) / (h * h),
                2e-3 * std::max(1.0, std::fabs(d2)));
    ASSERT_EQ(BEZ_Evaluate1dDeriv2FromX(&c.c, x, &single), 0);
    EXPECT_EQ(single, d2);
  }
}

TEST_F(BezEval, DegenerateCurvesGiveFiniteAnswers) {
  // Influence 0 on both sides: x stands still at both ends.
  auto c = Curve2(0, 0, 0, 0, 1, 10, 1, 10);
  for (double x : {0.0, 1.0}) {
    double d1 = std::numeric_limits<double>::quiet_NaN(), d2 = d1;
    ASSERT_EQ(BEZ_Evaluate1dDerivsFromX(&c.c, x, nullptr, &d1, &d2), 0);
    EXPECT_TRUE(std::isfinite(d2));
    EXPECT_NEAR(d1, 10.0, 1e-12);  // the limit along the straight diagonal
  }
  // All control points coincide: every answer is the point itself.
  auto p = Curve2(2, 3, 2, 3, 2, 3, 2, 3);
  double t, y, d1;
  ASSERT_EQ(BEZ_EvaluateYFromX(&p.c, 2.0, &t, &y), 0);
  EXPECT_EQ((XY2{t, y}), (XY2{0, 3}));
  ASSERT_EQ(BEZ_Evaluate1dDerivFromX(&p.c, 2.5, &d1), 0);
  EXPECT_EQ(d1, 0.0);
  // Undefined targets or control values still give a parameter in 0..1.
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  auto ok = Curve2(0, 0, 0.2, 1, 0.7, 2, 1, 3), bad = Curve2(0, 0, nan, 1, 0.7, 2, 1, 3);
  for (auto [curve, x] : {std::pair{&ok, nan}, std::pair{&ok, inf}, std::pair{&ok, -inf}, std::pair{&bad, 0.5}}) {
    t = TFromX(*curve, x);
    EXPECT_TRUE(t >= 0.0 && t <= 1.0) << t;
  }
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(BezEval, FunctionUseNeedsTwoDimensions) {
  OwnedCurve c(1, {{{0}, {1}, {2}, {3}}});
  double t = 5, y = 5;
  EXPECT_EQ(BEZ_EvaluateYFromX(&c.c, 1.0, &t, &y), kErrBadParam);
  EXPECT_EQ((XY2{t, y}), (XY2{0, 0}));
  rec.ExpectOnly(Location(BEZ_PackageNumber, 2), kSevError,
                 "Test error: unsupported BEZ data type -- a bad parameter was passed.");
  EXPECT_EQ(BEZ_EvaluatePoint(nullptr, 0.5, &y), kErrBadParam);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 1));
}

TEST_F(BezEval, NonDecreasingShortensOvershootingHandles) {
  // P1's value overshoots P3's.
  auto c = Curve2(0, 0, 0.5, 20, 0.7, 10, 1, 10);
  EXPECT_TRUE(NonDecreasing(c));
  ExpectNear(Ctrl2(c), {0, 0, 0.5 * 10.0 / 20.0, 10, 0.7, 10, 1, 10}, 1e-14);
  double prev = -1;
  for (int i = 0; i <= 1000; ++i) {
    double y = YFromX(c, i / 1000.0);
    EXPECT_LE(y, 10.0 + 1e-12);
    EXPECT_GE(y, prev - 1e-12);
    prev = y;
  }
  // P2 below P0's value.
  auto d = Curve2(0, 0, 0.3, 0, 0.6, -10, 1, 10);
  EXPECT_TRUE(NonDecreasing(d));
  ExpectNear(Ctrl2(d), {0, 0, 0.3, 0, 1 + (0.6 - 1) * 10.0 / 20.0, 0, 1, 10}, 1e-14);
  // Within range, or a falling segment: untouched.
  auto e = Curve2(0, 0, 0.3, 2, 0.6, 8, 1, 10);
  EXPECT_FALSE(NonDecreasing(e));
  auto fall = Curve2(0, 10, 0.3, 12, 0.6, -5, 1, 0);
  auto before = fall.p;
  EXPECT_FALSE(NonDecreasing(fall));
  EXPECT_EQ(fall.p, before);
  // Equal end values with an overshooting handle: the handle collapses onto
  // the level without any division by zero.
  auto f = Curve2(0, 5, 0.3, 9, 0.6, 5, 1, 5);
  EXPECT_TRUE(NonDecreasing(f));
  EXPECT_EQ(Ctrl2(f), (std::vector<double>{0, 5, 0, 5, 0.6, 5, 1, 5}));
}

// ---- Easing and time remapping ---------------------------------------------------

TEST_F(BezEval, EaseCurves) {
  const struct {
    BEZ_Ease ease;
    double x, y, tolerance;
  } cases[] = {
      // Both sides Bezier, velocity 0, influence 1/3: 5 at the middle.
      {{1.0, 0.0, 10.0, 0.0, 1.0 / 3, 0.0, 1.0 / 3, 0}, 0.5, 5.0, 1e-12},
      // Linear out side, Bezier in side with velocity 10 and influence 1/6: a line.
      {{1.0, 0.0, 10.0, 0.0, 0.0, 10.0, 0.16666666667, BEZ_EaseOutLinear}, 0.5, 5.0, 1e-9},
      // Both linear: plain interpolation, clamped to the segment.
      {{2.0, 4.0, 8.0, 0, 0, 0, 0, BEZ_EaseOutLinear | BEZ_EaseInLinear}, 0.5, 5.0, 0},
      {{2.0, 4.0, 8.0, 0, 0, 0, 0, BEZ_EaseOutLinear | BEZ_EaseInLinear}, 3.0, 8.0, 0},
      // Influences 0 and 1 are the bounds and valid.
      {{1.0, 0.0, 10.0, 0.0, 0.0, 0.0, 0.0, 0}, 0.5, 5.0, 1e-9},
      {{1.0, 0.0, 10.0, 0.0, 1.0, 0.0, 1.0, 0}, 0.5, 5.0, 1e-9},
      // A linear side ignores its influence.
      {{1.0, 0.0, 10.0, 0.0, 7.0, 0.0, 0.5, BEZ_EaseOutLinear}, 1.0, 10.0, 1e-9},
  };
  for (const auto& c : cases) {
    double y = -1;
    ASSERT_EQ(BEZ_EvaluateEase(&c.ease, c.x, &y), 0);
    EXPECT_NEAR(y, c.y, c.tolerance) << c.ease.outInfluence << " " << c.x;
  }
  // The control points of a filled curve.
  auto c = Curve2(9, 9, 9, 9, 9, 9, 9, 9);
  BEZ_Ease e{2.0, 1.0, 3.0, 4.0, 0.25, -1.0, 0.5, BEZ_EaseInLinear};
  ASSERT_EQ(BEZ_SetEaseCurve(&e, &c.c), 0);
  const double k = 2.0 * 0.16666666667;
  EXPECT_EQ(Ctrl2(c), (std::vector<double>{0, 1, 0.5, 1.0 + 4.0 * 0.25 * 2.0, 2.0 - k, 3.0 - k, 2, 3}));
}

TEST_F(BezEval, InvalidEasesAreRefused) {
  // Outside 0..1, non-finite or without a duration.
  const BEZ_Ease bad[] = {
      {1.0, 0.0, 10.0, 0.0, 1.5, 0.0, 0.5, 0},
      {1.0, 0.0, 10.0, 0.0, 0.5, 0.0, -0.1, 0},
      {0.0, 0.0, 10.0, 0.0, 0.5, 0.0, 0.5, 0},
      {1.0, 0.0, 10.0, std::numeric_limits<double>::infinity(), 0.5, 0.0, 0.5, 0},
  };
  for (const BEZ_Ease& e : bad) {
    double y = 7;
    EXPECT_EQ(BEZ_EvaluateEase(&e, 0.5, &y), kErrBadParam);
    EXPECT_EQ(y, 0.0);
    rec.ExpectOnly(Location(BEZ_PackageNumber, 4), kSevError,
                   "Test error: invalid ease/influence values -- a bad parameter was passed.");
  }
}

TEST_F(BezEval, TimeRemap) {
  auto c = Curve2(0, 0, 0.5, 2, 1.5, 2, 2, 4);
  ASSERT_EQ(BEZ_CheckTimeRemapCurve(&c.c), 0);
  double y;
  ASSERT_EQ(BEZ_EvaluateTimeRemap(&c.c, 1.0, &y), 0);
  EXPECT_NEAR(y, 2.0, 1e-12);
  ASSERT_EQ(BEZ_EvaluateTimeRemap(&c.c, 2.0, &y), 0);
  EXPECT_EQ(y, 4.0);
  y = 1;
  EXPECT_EQ(BEZ_EvaluateTimeRemap(&c.c, 2.5, &y), kErrRange);
  EXPECT_EQ(y, 0.0);
  rec.ExpectLast(Location(BEZ_PackageNumber, 5), kSevError,
                 "Test error: invalid time-remapping domain -- internal value out of range.");
  const char* badPoints = "Test error: invalid time-remapping control points -- a bad parameter was passed.";
  auto back = Curve2(0, 0, 3, 1, 1, 2, 2, 4);  // a handle beyond x3: x runs backwards
  EXPECT_EQ(BEZ_CheckTimeRemapCurve(&back.c), kErrBadParam);
  EXPECT_EQ(rec.last().text, badPoints);
  auto empty = Curve2(1, 0, 1, 1, 1, 2, 1, 4);  // no time range at all
  EXPECT_EQ(BEZ_EvaluateTimeRemap(&empty.c, 1.0, &y), kErrBadParam);
  EXPECT_EQ(rec.last().text, badPoints);
}

}  // namespace
}  // namespace tv::animtest
