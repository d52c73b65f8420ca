// BEZ: evaluation, derivatives, subdivision, direct manipulation, the
// function use and its degenerate cases, easing and time remapping.
#include <limits>
#include <random>

#include "BEZ_test_support.h"

namespace tv::bez::test {
namespace {

class BezEval : public BezFixture {};

TEST_F(BezEval, PackageFrameAndTexts) {
  EXPECT_EQ(BEZ_PkgObjectVersion() >> 16, 3u);
  EXPECT_EQ(BEZ_CheckVersions(Location(BEZ_PackageNumber, 0), 3), 0);
  // The table is installed on first use.
  BEZ_Ease bad{};
  EXPECT_EQ(BEZ_EvaluateEase(&bad, 0.0, nullptr), kErrBadParam);
  const char* expected[] = {"damaged BEZ structure.",
                            "temporary vectors in arclength calculation",
                            "invalid ease/influence values",
                            "invalid time-remapping control points",
                            "invalid time-remapping domain",
                            "unsupported BEZ data type",
                            "Bezier Curve",
                            "List of parameter values"};
  ASSERT_EQ(BEZp_G_STRs.count, BEZ_StringCount);
  for (int i = 0; i < BEZ_StringCount; ++i) EXPECT_STREQ(STRp_Lookup(&BEZp_G_STRs, i), expected[i]);
}

TEST_F(BezEval, CurveRecordOperationsDoNothing) {
  auto c = Curve2(0, 0, 1, 1, 2, 2, 3, 3);
  double x = 9;
  EXPECT_EQ(BEZ_NewCurve(&c.c), 0);
  EXPECT_EQ(BEZ_CurveSetCtpts(&c.c, &x, &x, &x, &x), 0);
  EXPECT_EQ(BEZ_DisposeCurve(&c.c), 0);
  EXPECT_EQ(c.c.ctpt[0], c.p[0].data());
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(BezEval, StraightLineEvaluatesExactly) {
  auto c = Curve2(0, 0, 1, 2, 2, 4, 3, 6);
  for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
    double p[2];
    ASSERT_EQ(BEZ_EvaluatePoint(&c.c, t, p), 0);
    EXPECT_DOUBLE_EQ(p[0], 3 * t);
    EXPECT_DOUBLE_EQ(p[1], 6 * t);
    double d[2], d2[2];
    ASSERT_EQ(BEZ_EvaluateDeriv(&c.c, t, d), 0);
    ASSERT_EQ(BEZ_EvaluateDeriv2(&c.c, t, d2), 0);
    EXPECT_DOUBLE_EQ(d[0], 3.0);
    EXPECT_DOUBLE_EQ(d[1], 6.0);
    EXPECT_DOUBLE_EQ(d2[0], 0.0);
    EXPECT_DOUBLE_EQ(d2[1], 0.0);
  }
}

TEST_F(BezEval, ManyDimensionsMatchBernstein) {
  OwnedCurve c(4, {{{1, -2, 3, 0.5}, {4, 7, -1, 2}, {-3, 5, 2, 9}, {6, 0, 8, -4}}});
  std::vector<double> ts = {0.0, 0.1, 0.33, 0.5, 0.9, 1.0};
  std::vector<double> pts(ts.size() * 4), ders(ts.size() * 4);
  ASSERT_EQ(BEZ_EvaluatePoints(&c.c, static_cast<int32_t>(ts.size()), ts.data(), pts.data()), 0);
  ASSERT_EQ(BEZ_EvaluateDerivs(&c.c, static_cast<int32_t>(ts.size()), ts.data(), ders.data()), 0);
  for (size_t k = 0; k < ts.size(); ++k)
    for (int i = 0; i < 4; ++i) {
      double t = ts[k];
      EXPECT_NEAR(pts[k * 4 + i], Bernstein(c.p[0][i], c.p[1][i], c.p[2][i], c.p[3][i], t), 1e-12);
      // Derivatives against central differences.
      double h = 1e-6;
      double fd = (Bernstein(c.p[0][i], c.p[1][i], c.p[2][i], c.p[3][i], t + h) -
                   Bernstein(c.p[0][i], c.p[1][i], c.p[2][i], c.p[3][i], t - h)) / (2 * h);
      EXPECT_NEAR(ders[k * 4 + i], fd, 1e-6);
      double d1p[4], d1m[4], d2[4];
      BEZ_EvaluateDeriv(&c.c, t + h, d1p);
      BEZ_EvaluateDeriv(&c.c, t - h, d1m);
      BEZ_EvaluateDeriv2(&c.c, t, d2);
      EXPECT_NEAR(d2[i], (d1p[i] - d1m[i]) / (2 * h), 1e-5);
    }
}

TEST_F(BezEval, ZeroDimensionsWriteNothing) {
  auto c = Curve2(0, 0, 1, 1, 2, 2, 3, 3);
  c.c.dimensions = 0;
  double p[2] = {42, 42};
  EXPECT_EQ(BEZ_EvaluatePoint(&c.c, 0.5, p), 0);
  EXPECT_EQ(p[0], 42);
  EXPECT_EQ(BEZ_EvaluatePoint(nullptr, 0.5, p), kErrBadParam);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 1));
  EXPECT_EQ(rec.last().severity, kSevError);
}

TEST_F(BezEval, SubdivisionReproducesBothHalves) {
  OwnedCurve c(3, {{{0, 0, 0, 0}, {1, 3, -1, 0}, {4, 3, 2, 0}, {5, 0, 1, 0}}});
  for (double s : {0.3, 0.5, 0.85}) {
    double out[15];
    ASSERT_EQ(BEZ_SubdivideCurve(&c.c, s, out), 0);
    double* l1 = out;
    double* l2 = out + 3;
    double* m = out + 6;
    double* r1 = out + 9;
    double* r2 = out + 12;
    BEZ_Curve left{3, {c.p[0].data(), l1, l2, m}};
    BEZ_Curve right{3, {m, r1, r2, c.p[3].data()}};
    double pm[3];
    BEZ_EvaluatePoint(&c.c, s, pm);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(m[i], pm[i], 1e-12);
    for (double u = 0; u <= 1.0; u += 0.125) {
      double a[3], b[3], whole[3];
      BEZ_EvaluatePoint(&left, u, a);
      BEZ_EvaluatePoint(&c.c, u * s, whole);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], whole[i], 1e-12);
      BEZ_EvaluatePoint(&right, u, b);
      BEZ_EvaluatePoint(&c.c, s + u * (1 - s), whole);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(b[i], whole[i], 1e-12);
    }
  }
}

TEST_F(BezEval, DirectManipulationMovesThePointByDelta) {
  auto c = Curve2(0, 0, 1, 2, 3, 2, 4, 0);
  BEZ_DirectManip setup{};
  ASSERT_EQ(BEZ_DirectManipSetup(0.5, &setup), 0);
  EXPECT_DOUBLE_EQ(setup.w1, 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(setup.w2, 4.0 / 3.0);
  double delta[2] = {1, 0};
  ASSERT_EQ(BEZ_DirectManipCurve(&c.c, delta, &setup), 0);
  EXPECT_DOUBLE_EQ(c.p[1][0], 1 + 4.0 / 3.0);
  EXPECT_DOUBLE_EQ(c.p[2][0], 3 + 4.0 / 3.0);
  EXPECT_EQ(c.p[1][1], 2);
  // At another parameter the point moves by exactly delta.
  auto d = Curve2(0, 0, 1, 2, 3, 2, 4, 0);
  double before[2], after[2], move[2] = {0.5, -2};
  BEZ_EvaluatePoint(&d.c, 0.2, before);
  ASSERT_EQ(BEZ_DirectManipSetup(0.2, &setup), 0);
  ASSERT_EQ(BEZ_DirectManipCurve(&d.c, move, &setup), 0);
  BEZ_EvaluatePoint(&d.c, 0.2, after);
  EXPECT_NEAR(after[0] - before[0], 0.5, 1e-12);
  EXPECT_NEAR(after[1] - before[1], -2, 1e-12);
}

TEST_F(BezEval, DirectManipulationAtTheEndsHasZeroWeights) {
  for (double t : {0.0, 1.0}) {
    BEZ_DirectManip setup{1, 1, 1};
    ASSERT_EQ(BEZ_DirectManipSetup(t, &setup), 0);
    EXPECT_EQ(setup.w1, 0.0);
    EXPECT_EQ(setup.w2, 0.0);
  }
}

// ---- Function use -----------------------------------------------------------

TEST_F(BezEval, TFromXEnds) {
  auto c = Curve2(2, 10, 3, 10, 4, 20, 5, 20);
  double t = -1;
  ASSERT_EQ(BEZ_TFromX(&c.c, 2.0, &t), 0);
  EXPECT_EQ(t, 0.0);
  ASSERT_EQ(BEZ_TFromX(&c.c, 2.0 + 5e-11, &t), 0);
  EXPECT_EQ(t, 0.0);
  ASSERT_EQ(BEZ_TFromX(&c.c, 1.0, &t), 0);
  EXPECT_EQ(t, 0.0);
  ASSERT_EQ(BEZ_TFromX(&c.c, 5.0, &t), 0);
  EXPECT_EQ(t, 1.0);
  ASSERT_EQ(BEZ_TFromX(&c.c, 5.0 - 5e-11, &t), 0);
  EXPECT_EQ(t, 1.0);
  ASSERT_EQ(BEZ_TFromX(&c.c, 7.0, &t), 0);
  EXPECT_EQ(t, 1.0);
}

TEST_F(BezEval, SymmetricEaseIsHalfwayAtHalfTime) {
  // Velocity 0, influence 1/3 on both sides: the classic ease in-out.
  auto c = Curve2(0, 0, 1.0 / 3, 0, 2.0 / 3, 10, 1, 10);
  double t, y;
  ASSERT_EQ(BEZ_EvaluateYFromX(&c.c, 0.5, &t, &y), 0);
  EXPECT_NEAR(t, 0.5, 1e-12);
  EXPECT_NEAR(y, 5.0, 1e-12);
  // Symmetry: y(x) + y(1 - x) = 10.
  for (double x = 0.05; x < 1; x += 0.05) {
    double ya, yb;
    BEZ_EvaluateYFromX(&c.c, x, nullptr, &ya);
    BEZ_EvaluateYFromX(&c.c, 1 - x, nullptr, &yb);
    EXPECT_NEAR(ya + yb, 10.0, 1e-9);
  }
}

TEST_F(BezEval, InversePairsOverRandomMonotoneCurves) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> u01(0.0, 1.0);
  double worst = 0;
  for (int k = 0; k < 10000; ++k) {
    double x0 = u01(rng) * 10 - 5, len = 0.01 + u01(rng) * 20;
    double x3 = x0 + len;
    double x1, x2;
    switch (k % 4) {
      case 0:  // general
        x1 = x0 + u01(rng) * len;
        x2 = x0 + u01(rng) * len;
        break;
      case 1:  // linear in t
        x1 = x0 + len / 3;
        x2 = x0 + 2 * len / 3;
        break;
      case 2:  // near-quadratic: a close to 0
        x1 = x0 + len * 0.4;
        x2 = x0 + len * (0.4 + 1.0 / 3 - 1e-12 * u01(rng));
        x2 = std::min(x2, x3);
        break;
      default:  // handles at the ends
        x1 = x0;
        x2 = x3;
        break;
    }
    auto c = Curve2(x0, u01(rng), x1, u01(rng) * 5, x2, u01(rng), x3, 3);
    for (int j = 1; j < 8; ++j) {
      double x = x0 + len * j / 8.0;
      double t = -1;
      ASSERT_EQ(BEZ_TFromX(&c.c, x, &t), 0);
      ASSERT_GE(t, 0.0);
      ASSERT_LE(t, 1.0);
      worst = std::max(worst, std::fabs(Bernstein(x0, x1, x2, x3, t) - x));
    }
  }
  EXPECT_LT(worst, 1e-9);
}

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
}

TEST_F(BezEval, FallingCoordinateSolvesInsideItsRange) {
  // y falls from 10 to 0: the end snapping follows the direction.
  auto c = Curve2(0, 10, 1, 7, 2, 3, 3, 0);
  double t, x;
  ASSERT_EQ(BEZ_EvaluateXFromY(&c.c, 5.0, &t, &x), 0);
  EXPECT_NEAR(Bernstein(10, 7, 3, 0, t), 5.0, 1e-9);
  EXPECT_GT(t, 0.0);
  EXPECT_LT(t, 1.0);
  ASSERT_EQ(BEZ_TFromY(&c.c, 11.0, &t), 0);
  EXPECT_EQ(t, 0.0);
  ASSERT_EQ(BEZ_TFromY(&c.c, -1.0, &t), 0);
  EXPECT_EQ(t, 1.0);
}

TEST_F(BezEval, DerivativesFromXAgainstFiniteDifferences) {
  auto c = Curve2(0, 1, 0.3, 4, 0.8, -2, 1, 3);
  std::vector<double> xs, ys(9);
  for (int i = 1; i <= 9; ++i) xs.push_back(i / 10.0);
  ASSERT_EQ(BEZ_EvaluateYFromXs(&c.c, 9, xs.data(), ys.data()), 0);
  auto yAt = [&](double x) {
    double y;
    BEZ_EvaluateYFromX(&c.c, x, nullptr, &y);
    return y;
  };
  for (size_t i = 0; i < xs.size(); ++i) {
    double x = xs[i], h = 1e-5;
    EXPECT_DOUBLE_EQ(ys[i], yAt(x));
    double y, d1, d2;
    ASSERT_EQ(BEZ_Evaluate1dDerivsFromX(&c.c, x, &y, &d1, &d2), 0);
    EXPECT_NEAR(d1, (yAt(x + h) - yAt(x - h)) / (2 * h), 1e-5);
    EXPECT_NEAR(d2, (yAt(x + h) - 2 * yAt(x) + yAt(x - h)) / (h * h), 2e-3 * std::max(1.0, std::fabs(d2)));
    double single;
    ASSERT_EQ(BEZ_Evaluate1dDeriv2FromX(&c.c, x, &single), 0);
    EXPECT_EQ(single, d2);
  }
}

TEST_F(BezEval, ZeroLengthHandlesGiveFiniteSlopes) {
  // Influence 0 on both sides: x stands still at both ends.
  auto c = Curve2(0, 0, 0, 0, 1, 10, 1, 10);
  for (double x : {0.0, 1.0}) {
    double d1 = std::numeric_limits<double>::quiet_NaN(), d2 = d1;
    ASSERT_EQ(BEZ_Evaluate1dDerivsFromX(&c.c, x, nullptr, &d1, &d2), 0);
    EXPECT_TRUE(std::isfinite(d1));
    EXPECT_TRUE(std::isfinite(d2));
    EXPECT_NEAR(d1, 10.0, 1e-12);  // the limit along the straight diagonal
  }
  // All control points coincide: every answer is the point itself.
  auto p = Curve2(2, 3, 2, 3, 2, 3, 2, 3);
  double t, y, d1;
  ASSERT_EQ(BEZ_EvaluateYFromX(&p.c, 2.0, &t, &y), 0);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(y, 3.0);
  ASSERT_EQ(BEZ_Evaluate1dDerivFromX(&p.c, 2.5, &d1), 0);
  EXPECT_EQ(d1, 0.0);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(BezEval, NonFiniteTargetsGiveParametersInRange) {
  auto c = Curve2(0, 0, 0.2, 1, 0.7, 2, 1, 3);
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    double t = -1;
    ASSERT_EQ(BEZ_TFromX(&c.c, x, &t), 0);
    EXPECT_GE(t, 0.0);
    EXPECT_LE(t, 1.0);
  }
  // Undefined control values still give a parameter in 0..1.
  auto bad = Curve2(0, 0, std::numeric_limits<double>::quiet_NaN(), 1, 0.7, 2, 1, 3);
  double t = -1;
  ASSERT_EQ(BEZ_TFromX(&bad.c, 0.5, &t), 0);
  EXPECT_GE(t, 0.0);
  EXPECT_LE(t, 1.0);
}

TEST_F(BezEval, FunctionUseNeedsTwoDimensions) {
  OwnedCurve c(1, {{{0}, {1}, {2}, {3}}});
  double t = 5, y = 5;
  EXPECT_EQ(BEZ_EvaluateYFromX(&c.c, 1.0, &t, &y), kErrBadParam);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(y, 0.0);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 2));
  EXPECT_EQ(rec.last().severity, kSevError);
  EXPECT_EQ(rec.last().text, "Test error: unsupported BEZ data type -- a bad parameter was passed.");
}

TEST_F(BezEval, NonDecreasingShortensOvershootingHandles) {
  // P1's value overshoots P3's.
  auto c = Curve2(0, 0, 0.5, 20, 0.7, 10, 1, 10);
  Boolean32 changed = 0;
  ASSERT_EQ(BEZ_CurveSetNonDecreasing(&c.c, &changed), 0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(c.p[1][1], 10.0);
  EXPECT_DOUBLE_EQ(c.p[1][0], 0.5 * 10.0 / 20.0);
  double prev = -1;
  for (int i = 0; i <= 1000; ++i) {
    double y;
    BEZ_EvaluateYFromX(&c.c, i / 1000.0, nullptr, &y);
    EXPECT_LE(y, 10.0 + 1e-12);
    EXPECT_GE(y, prev - 1e-12);
    prev = y;
  }
  // P2 below P0's value.
  auto d = Curve2(0, 0, 0.3, 0, 0.6, -10, 1, 10);
  ASSERT_EQ(BEZ_CurveSetNonDecreasing(&d.c, &changed), 0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(d.p[2][1], 0.0);
  EXPECT_DOUBLE_EQ(d.p[2][0], 1 + (0.6 - 1) * 10.0 / 20.0);
  // Within range: untouched.
  auto e = Curve2(0, 0, 0.3, 2, 0.6, 8, 1, 10);
  ASSERT_EQ(BEZ_CurveSetNonDecreasing(&e.c, &changed), 0);
  EXPECT_FALSE(changed);
}

TEST_F(BezEval, NonDecreasingLeavesFallingSegmentsAlone) {
  auto c = Curve2(0, 10, 0.3, 12, 0.6, -5, 1, 0);
  auto before = c.p;
  Boolean32 changed = 1;
  ASSERT_EQ(BEZ_CurveSetNonDecreasing(&c.c, &changed), 0);
  EXPECT_FALSE(changed);
  EXPECT_EQ(c.p, before);
  // Equal end values with an overshooting handle: the handle collapses onto
  // the level without any division by zero.
  auto f = Curve2(0, 5, 0.3, 9, 0.6, 5, 1, 5);
  ASSERT_EQ(BEZ_CurveSetNonDecreasing(&f.c, &changed), 0);
  EXPECT_TRUE(changed);
  EXPECT_EQ(f.p[1][1], 5.0);
  EXPECT_EQ(f.p[1][0], 0.0);
}

// ---- Easing and time remapping ---------------------------------------------------

TEST_F(BezEval, EaseCurves) {
  double y;
  // Both sides Bezier, velocity 0, influence 1/3: 5 at the middle.
  BEZ_Ease ease{1.0, 0.0, 10.0, 0.0, 1.0 / 3, 0.0, 1.0 / 3, 0};
  ASSERT_EQ(BEZ_EvaluateEase(&ease, 0.5, &y), 0);
  EXPECT_NEAR(y, 5.0, 1e-12);
  // Linear out side, Bezier in side with velocity 10 and influence 1/6: a line.
  BEZ_Ease mixed{1.0, 0.0, 10.0, 0.0, 0.0, 10.0, 0.16666666667, BEZ_EaseOutLinear};
  ASSERT_EQ(BEZ_EvaluateEase(&mixed, 0.5, &y), 0);
  EXPECT_NEAR(y, 5.0, 1e-9);
  // Both linear: plain interpolation, clamped to the segment.
  BEZ_Ease lin{2.0, 4.0, 8.0, 0, 0, 0, 0, BEZ_EaseOutLinear | BEZ_EaseInLinear};
  ASSERT_EQ(BEZ_EvaluateEase(&lin, 0.5, &y), 0);
  EXPECT_DOUBLE_EQ(y, 5.0);
  ASSERT_EQ(BEZ_EvaluateEase(&lin, 3.0, &y), 0);
  EXPECT_DOUBLE_EQ(y, 8.0);
  // The control points of a filled curve.
  auto c = Curve2(9, 9, 9, 9, 9, 9, 9, 9);
  BEZ_Ease e{2.0, 1.0, 3.0, 4.0, 0.25, -1.0, 0.5, BEZ_EaseInLinear};
  ASSERT_EQ(BEZ_SetEaseCurve(&e, &c.c), 0);
  EXPECT_EQ(c.p[0][0], 0.0);
  EXPECT_EQ(c.p[0][1], 1.0);
  EXPECT_EQ(c.p[1][0], 0.5);
  EXPECT_EQ(c.p[1][1], 1.0 + 4.0 * 0.25 * 2.0);
  EXPECT_EQ(c.p[2][0], 2.0 - 2.0 * 0.16666666667);
  EXPECT_EQ(c.p[2][1], 3.0 - 2.0 * 0.16666666667);
  EXPECT_EQ(c.p[3][0], 2.0);
  EXPECT_EQ(c.p[3][1], 3.0);
}

TEST_F(BezEval, EaseInfluenceExtremes) {
  double y;
  // Influences 0 and 1 are the bounds and valid.
  for (double infl : {0.0, 1.0}) {
    BEZ_Ease e{1.0, 0.0, 10.0, 0.0, infl, 0.0, infl, 0};
    ASSERT_EQ(BEZ_EvaluateEase(&e, 0.25, &y), 0);
    EXPECT_TRUE(std::isfinite(y));
    EXPECT_GE(y, 0.0);
    EXPECT_LE(y, 10.0);
  }
  // Outside 0..1, non-finite or without a duration: refused.
  const BEZ_Ease bad[] = {
      {1.0, 0.0, 10.0, 0.0, 1.5, 0.0, 0.5, 0},
      {1.0, 0.0, 10.0, 0.0, 0.5, 0.0, -0.1, 0},
      {0.0, 0.0, 10.0, 0.0, 0.5, 0.0, 0.5, 0},
      {1.0, 0.0, 10.0, std::numeric_limits<double>::infinity(), 0.5, 0.0, 0.5, 0},
  };
  for (const BEZ_Ease& e : bad) {
    rec.clear();
    y = 7;
    EXPECT_EQ(BEZ_EvaluateEase(&e, 0.5, &y), kErrBadParam);
    EXPECT_EQ(y, 0.0);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 4));
    EXPECT_EQ(rec.last().text, "Test error: invalid ease/influence values -- a bad parameter was passed.");
  }
  // A linear side ignores its influence.
  BEZ_Ease lin{1.0, 0.0, 10.0, 0.0, 7.0, 0.0, 0.5, BEZ_EaseOutLinear};
  EXPECT_EQ(BEZ_EvaluateEase(&lin, 0.5, &y), 0);
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
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 5));
  EXPECT_EQ(rec.last().text, "Test error: invalid time-remapping domain -- internal value out of range.");

  auto back = Curve2(0, 0, 3, 1, 1, 2, 2, 4);  // a handle beyond x3: x runs backwards
  EXPECT_EQ(BEZ_CheckTimeRemapCurve(&back.c), kErrBadParam);
  EXPECT_EQ(rec.last().text, "Test error: invalid time-remapping control points -- a bad parameter was passed.");
  auto empty = Curve2(1, 0, 1, 1, 1, 2, 1, 4);  // no time range at all
  EXPECT_EQ(BEZ_EvaluateTimeRemap(&empty.c, 1.0, &y), kErrBadParam);
  EXPECT_EQ(rec.last().text, "Test error: invalid time-remapping control points -- a bad parameter was passed.");
}

}  // namespace
}  // namespace tv::bez::test
