// BEZ: arc tables, arc-length lookups, arc splines, fitting, straight-segment
// approximation, adaptive sampling, and out of memory in the per-call work
// storage.
#include <numbers>

#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

class BezArc : public BezFixture {
 protected:
  // An arc table of n samples in a new slot (or the given one); its length.
  double Table(const OwnedCurve& c, int32_t n, LIST_Handle& table) {
    double length = -1;
    EXPECT_EQ(BEZ_BuildArcTable(&c.c, n, &table, &length), 0);
    return length;
  }
  double Table(const OwnedCurve& c, int32_t n) { return Table(c, n, ListSlot()); }
  // The answers of the lookups (the call must succeed).
  double TFromS(const OwnedCurve& c, double s, int32_t n, LIST_Handle& table) {
    double t = -1;
    EXPECT_EQ(BEZ_TFromS(&c.c, s, n, &table, &t), 0);
    return t;
  }
  double TFromSSpline(const OwnedCurve& c, double s, LIST_Handle& spline) {
    double t = -1;
    EXPECT_EQ(BEZ_TFromSSpline(&c.c, s, 1.0, &spline, &t), 0);
    return t;
  }
};


// A quarter of the unit circle as one cubic.
OwnedCurve QuarterCircle() {
  const double k = 0.5522847498;
  return Curve2(1, 0, 1, k, k, 1, 0, 1);
}

TEST_F(BezArc, StraightSegmentTable) {
  auto c = Curve2(0, 0, 1, 4.0 / 3, 2, 8.0 / 3, 3, 4);
  LIST_Handle* table = &ListSlot();
  EXPECT_NEAR(Table(c, 100, *table), 5.0, 1e-12);
  ASSERT_EQ(Count(*table), 100);
  int32_t itemSize = 0;
  LIST_GetItemSize(*table, &itemSize);
  EXPECT_EQ(itemSize, 16);
  auto items = Items<BEZ_ArcSample>(*table);
  EXPECT_EQ((XY2{items[0].t, items[0].s}), (XY2{0, 0}));
  EXPECT_EQ(items[99].t, 1.0);
  // The table's own comparison orders by t.
  BEZ_ArcSample key{items[37].t, -1.0}, found{};
  Boolean32 hit = 0;
  int32_t at = -1;
  ASSERT_EQ(LIST_GetSortedItem(*table, nullptr, 0, &key, &hit, &found, &at), 0);
  EXPECT_TRUE(hit);
  EXPECT_EQ(at, 37);
  EXPECT_EQ(found.s, items[37].s);
  double s = 0;
  ASSERT_EQ(BEZ_SFromT(&c.c, 0.5, 100, table, &s), 0);
  EXPECT_NEAR(s, 2.5, 1e-12);
  ASSERT_EQ(BEZ_SFromT(&c.c, 1.5, 100, table, &s), 0);  // clamped
  EXPECT_NEAR(s, 5.0, 1e-12);
  const std::pair<double, double> cases[] = {{2.5, 0.5}, {0.0, 0.0}, {5.0 + 1e-12, 1.0}, {7.0, 1.0}};
  for (auto [sIn, tOut] : cases) EXPECT_NEAR(TFromS(c, sIn, 100, *table), tOut, sIn == 2.5 ? 1e-12 : 0.0) << sIn;
}

TEST_F(BezArc, TableAndSplineAreBuiltOnFirstUseAndRebuiltToExactSize) {
  auto c = Curve2(0, 0, 1, 0, 2, 0, 3, 0);
  LIST_Handle& table = ListSlot();
  double s = 0;
  ASSERT_EQ(BEZ_SFromT(&c.c, 0.25, 500, &table, &s), 0);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Count(table), 500);
  EXPECT_NEAR(s, 0.75, 1e-12);
  EXPECT_NEAR(Table(c, 7, table), 3.0, 1e-12);
  EXPECT_EQ(Count(table), 7);
  auto d = Curve2(0, 0, 1, 4.0 / 3, 2, 8.0 / 3, 3, 4);
  LIST_Handle& spline = ListSlot();
  EXPECT_NEAR(TFromSSpline(d, 2.5, spline), 0.5, 1e-6);
  ASSERT_NE(spline, nullptr);
  for (auto [at, end] : {std::pair{10.0, 1.0}, std::pair{-1.0, 0.0}}) EXPECT_EQ(TFromSSpline(d, at, spline), end);
}

TEST_F(BezArc, QuarterCircleLength) {
  auto c = QuarterCircle();
  LIST_Handle& table = ListSlot();
  double length = Table(c, 500, table);
  EXPECT_NEAR(length, std::numbers::pi / 2, 1e-3);
  // By symmetry half the length is at t = 0.5.
  EXPECT_NEAR(TFromS(c, length / 2, 500, table), 0.5, 1e-9);
  double p[2];
  ASSERT_EQ(BEZ_EvaluateByDistance(&c.c, length / 2, 500, &table, p), 0);
  ExpectNear({p[0], p[1]}, {std::sqrt(0.5), std::sqrt(0.5)}, 1e-3);
}

TEST_F(BezArc, ZeroLengthCurve) {
  auto c = Curve2(2, 2, 2, 2, 2, 2, 2, 2);
  LIST_Handle& table = ListSlot();
  LIST_Handle& spline = ListSlot();
  EXPECT_LT(Table(c, 100, table), 1e-10);
  EXPECT_EQ(TFromS(c, 1.0, 100, table), 0.0);
  double length = -1;
  ASSERT_EQ(BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length), 0);
  EXPECT_LT(length, 1e-10);
  auto pts = Items<BEZ_Point2>(spline);
  ASSERT_EQ(pts.size(), 4u);
  EXPECT_EQ(pts[3].x, 1.0);
  for (auto& p : pts) {
    EXPECT_TRUE(std::isfinite(p.x));
    EXPECT_EQ(p.y, 0.0);
  }
  for (double s : {0.0, 0.5, 3.0}) EXPECT_EQ(TFromSSpline(c, s, spline), 0.0);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(BezArc, Refusals) {
  auto c = Curve2(0, 0, 1, 0, 2, 0, 3, 0);
  double p[2] = {5, 5};
  EXPECT_EQ(BEZ_EvaluateByCurvature(&c.c, 1.0, p), kErrUnimplemented);
  rec.ExpectOnly(Location(BEZ_PackageNumber, 12), kSevError,
                 "Test error: evaluation by curvature is not available -- sorry, this is unimplemented.");
  // Too few samples for a table.
  LIST_Handle& table = ListSlot();
  for (int32_t n : {1, 0, -5}) {
    double length = 9;
    EXPECT_EQ(BEZ_BuildArcTable(&c.c, n, &table, &length), kErrBadParam);
    EXPECT_EQ(length, 0.0);
    EXPECT_EQ(table, nullptr);
    rec.ExpectOnly(Location(BEZ_PackageNumber, 6), kSevError, "Test error: a bad parameter was passed.");
  }
  // A list of the wrong item size is damaged.
  ASSERT_EQ(LIST_New(0, 4, 8, 1, &table), 0);
  double s = 3;
  EXPECT_EQ(BEZ_SFromT(&c.c, 0.5, 100, &table, &s), kErrDamaged);
  EXPECT_EQ(s, 0.0);
  EXPECT_EQ(rec.last().text, "Test error: damaged BEZ structure -- internal structure damaged.");
}

// ---- Fitting -------------------------------------------------------------------

std::vector<BEZ_Point2> Sample(const OwnedCurve& c, int n) {
  std::vector<BEZ_Point2> pts;
  for (int i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / (n - 1), p[2];
    BEZ_EvaluatePoint(&c.c, t, p);
    pts.push_back({p[0], p[1]});
  }
  return pts;
}

TEST_F(BezArc, FitRecoversASampledCubic) {
  auto c = Curve2(0, 0, 1, 3, 3, 4, 5, 1);
  auto pts = Sample(c, 60);
  LIST_Handle& pieces = ListSlot();
  LIST_Handle& breaks = ListSlot();
  const double tolerance = 0.01;  // squared distance
  ASSERT_EQ(BEZ_FitMultipleCurvesIterate(pts.data(), 60, tolerance, 4, &pieces, &breaks), 0);
  auto ctrl = Items<BEZ_Point2>(pieces);
  auto br = Items<int32_t>(breaks);
  ASSERT_EQ((ctrl.size() - 1) % 3, 0u);
  size_t pieceCount = (ctrl.size() - 1) / 3;
  EXPECT_LE(pieceCount, 3u);
  ASSERT_EQ(br.size(), pieceCount - 1);
  EXPECT_EQ(ctrl.front().x, 0.0);
  EXPECT_EQ(ctrl.back().x, 5.0);
  // Every piece stays within the tolerance of the samples it covers.
  br.insert(br.begin(), 0);
  br.push_back(59);
  for (size_t k = 0; k < pieceCount; ++k) {
    double err = -1;
    int32_t at = 0;
    ASSERT_EQ(BEZ_FitOneCurveError(pts.data() + br[k], br[k + 1] - br[k] + 1, &ctrl[3 * k], &err, &at), 0);
    EXPECT_LT(err, tolerance);
  }

  // With a tolerance above 1 the Newton rounds run (the error is compared with
  // the squared tolerance): a single piece close to the sampled cubic.
  ASSERT_EQ(BEZ_FitMultipleCurvesIterate(pts.data(), 60, 2.0, 10, &pieces, &breaks), 0);
  ctrl = Items<BEZ_Point2>(pieces);
  ASSERT_EQ(ctrl.size(), 4u);
  EXPECT_EQ(Count(breaks), 0);
  for (int i = 0; i <= 10; ++i) {
    BEZ_Curve fitted{2, {&ctrl[0].x, &ctrl[1].x, &ctrl[2].x, &ctrl[3].x}};
    double a[2], b[2];
    BEZ_EvaluatePoint(&fitted, i / 10.0, a);
    BEZ_EvaluatePoint(&c.c, i / 10.0, b);
    ExpectNear({a[0], a[1]}, {b[0], b[1]}, 0.3);
  }

  // One cubic with fixed ends and free handles: the shape comes back.
  BEZ_Point2 one[4];
  double e = -1, e10 = -1;
  ASSERT_EQ(BEZ_FitOneCurve(pts.data(), 60, one, &e10), 0);
  ASSERT_EQ(BEZ_FitOneCurveIter(pts.data(), 60, 50, one, &e), 0);
  EXPECT_LT(e10, 1e-3);
  EXPECT_LT(e, 1e-6);
  EXPECT_LT(e, e10);
  EXPECT_EQ(one[0].x, 0.0);
  EXPECT_EQ(one[3].x, 5.0);
  ExpectNear({one[1].x, one[1].y, one[2].x, one[2].y}, {c.p[1][0], c.p[1][1], c.p[2][0], c.p[2][1]}, 0.05);
}

TEST_F(BezArc, FitDegenerateInputs) {
  LIST_Handle& pieces = ListSlot();
  // One sample: one piece sitting on it.
  BEZ_Point2 one = {3, 4};
  ASSERT_EQ(BEZ_FitMultipleCurves(&one, 1, 1.0, &pieces), 0);
  auto ctrl = Items<BEZ_Point2>(pieces);
  ASSERT_EQ(ctrl.size(), 4u);
  for (auto& p : ctrl) EXPECT_EQ(p.x, 3.0);
  // No samples: no pieces.
  ASSERT_EQ(BEZ_FitMultipleCurves(&one, 0, 1.0, &pieces), 0);
  EXPECT_EQ(Count(pieces), 0);
  // Coincident samples: finite handles.
  std::vector<BEZ_Point2> same(20, BEZ_Point2{1, 1});
  ASSERT_EQ(BEZ_FitMultipleCurves(same.data(), 20, 1.0, &pieces), 0);
  for (auto& p : Items<BEZ_Point2>(pieces)) EXPECT_EQ(XY(p), (XY2{1, 1}));
  BEZ_Point2 four[4];
  double e = -1;
  ASSERT_EQ(BEZ_FitOneCurve(same.data(), 20, four, &e), 0);
  EXPECT_LT(e, 1e-12);
  for (auto& p : four) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  // A negative count is refused.
  EXPECT_EQ(BEZ_FitMultipleCurves(&one, -1, 1.0, &pieces), kErrBadParam);
  EXPECT_EQ(BEZ_FitOneCurve(&one, 0, four, &e), kErrBadParam);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 14));
  // An undefined sample does not keep the fit from ending.
  std::vector<BEZ_Point2> holey;
  for (int i = 0; i < 10; ++i) holey.push_back({i * 1.0, i == 4 ? std::nan("") : i * 0.5});
  ASSERT_EQ(BEZ_FitMultipleCurves(holey.data(), 10, 1.0, &pieces), 0);
  EXPECT_GE(Count(pieces), 4);
  // Zero tolerance still ends: pieces between neighbouring samples at worst.
  std::vector<BEZ_Point2> wave;
  for (int i = 0; i < 50; ++i) wave.push_back({i * 1.0, std::sin(i * 0.7) * 5});
  ASSERT_EQ(BEZ_FitMultipleCurves(wave.data(), 50, 0.0, &pieces), 0);
  EXPECT_EQ(Count(pieces), 3 * 49 + 1);
}

// ---- Straight segments and sampling -----------------------------------------------

TEST_F(BezArc, LinearityTest) {
  auto line = Curve2(0, 0, 1, 1, 2, 2, 3, 3);
  auto bent = Curve2(0, 0, 1, 2, 2, 2, 3, 3);
  auto back = Curve2(0, 0, 4, 4, 2, 2, 3, 3);  // on the line but running past the end
  const struct {
    const OwnedCurve* c;
    double tolerance;
    bool linear;
  } cases[] = {{&line, 1e-9, true}, {&bent, 0.1, false}, {&bent, 1.0, true}, {&back, 0.1, false}};
  for (const auto& k : cases) {
    Boolean32 linear = 7;
    ASSERT_EQ(BEZ_IsLinearFunc(&k.c->c, k.tolerance, &linear), 0);
    EXPECT_EQ(linear != 0, k.linear) << k.tolerance;
  }
}

TEST_F(BezArc, LinearApproximationStaysWithinTolerance) {
  auto c = QuarterCircle();
  LIST_Handle& pts = ListSlot();
  ASSERT_EQ(BEZ_LinearlyInterpolateCurve(&c.c, 0.001, &pts), 0);
  auto p = Items<BEZ_Point2>(pts);
  ASSERT_GE(p.size(), 8u);
  EXPECT_EQ(p.front().x, 1.0);
  EXPECT_EQ(XY(p.back()), (XY2{0, 1}));
  for (size_t i = 1; i < p.size(); ++i) {
    // Chord midpoints lie near the unit circle.
    double mx = (p[i].x + p[i - 1].x) / 2, my = (p[i].y + p[i - 1].y) / 2;
    EXPECT_NEAR(std::sqrt(mx * mx + my * my), 1.0, 0.003);
  }
  // Appending a following curve does not repeat the shared point.
  int32_t before = Count(pts);
  auto next = Curve2(0, 1, -0.5, 1, -1, 1, -1.5, 1);
  ASSERT_EQ(BEZ_LinearlyInterpolateCurve(&next.c, 0.001, &pts), 0);
  EXPECT_EQ(Count(pts), before + 1);
}

TEST_F(BezArc, LinearlyInterpolateLineSteps) {
  LIST_Handle& pts = ListSlot();
  double a[2] = {0, 0}, b[2] = {0, 5};
  ASSERT_EQ(BEZ_LinearlyInterpolateLine(2, a, b, 2.0, &pts), 0);
  auto p = Items<BEZ_Point2>(pts);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ((std::vector<double>{p[1].y, p[2].y, p[3].y}), (std::vector<double>{2, 4, 5}));
  EXPECT_EQ(BEZ_LinearlyInterpolateLine(2, a, b, 0.0, &pts), kErrBadParam);
  EXPECT_EQ(BEZ_LinearlyInterpolateLine(2, a, b, 1e-300, &pts), kErrRange);
}

struct SampleLog {
  int calls = 0;
  int32_t maxDepth = 0;
  double tolerance = 0.01;
};

// Splits while the values differ by more than the tolerance (always when the
// tolerance is negative), and at least twice.
Boolean32 SplitWhileCurved(void* data, double, double, const double* p0, const double* p1, int32_t depth) {
  auto* log = static_cast<SampleLog*>(data);
  ++log->calls;
  log->maxDepth = std::max(log->maxDepth, depth);
  return log->tolerance < 0 || std::fabs(p1[1] - p0[1]) > log->tolerance || depth < 2;
}

TEST_F(BezArc, AdaptiveSamplingInIncreasingT) {
  auto c = Curve2(0, 0, 1, 0, 2, 10, 3, 10);
  LIST_Handle& pts = ListSlot();
  SampleLog log;
  double minX = 1e9, maxX = -1e9;
  ASSERT_EQ(BEZ_EvaluateAdaptively(&SplitWhileCurved, &log, nullptr, &c.c, &minX, &maxX, &pts), 0);
  auto p = Items<BEZ_Point2>(pts);
  ASSERT_GE(p.size(), 5u);
  EXPECT_EQ((std::vector<double>{p.front().x, p.back().x, minX, maxX}), (std::vector<double>{0, 3, 0, 3}));
  for (size_t i = 1; i < p.size(); ++i) {
    EXPECT_LT(p[i - 1].x, p[i].x);
    EXPECT_LE(std::fabs(p[i].y - p[i - 1].y), log.tolerance);
  }
  // A lower bound at the first point's x leaves it out (the previous
  // segment's end already holds it).
  LIST_Handle& more = ListSlot();
  double bound = 0.0;
  ASSERT_EQ(BEZ_EvaluateAdaptively(&SplitWhileCurved, &log, &bound, &c.c, nullptr, nullptr, &more), 0);
  EXPECT_EQ(Count(more), static_cast<int32_t>(p.size()) - 1);
}

TEST_F(BezArc, AdaptiveSamplingDepthIsCapped) {
  OwnedCurve one(1, {{{0}, {0}, {0}, {1}}});
  LIST_Handle& pts = ListSlot();
  SampleLog log{0, 0, -1};
  // A test that always asks for a split stops at the depth limit.
  ASSERT_EQ(BEZ_EvaluateAdaptively(&SplitWhileCurved, &log, nullptr, &one.c, nullptr, nullptr, &pts), 0);
  EXPECT_EQ(Count(pts), (1 << BEZ_AdaptiveMaxDepth) + 1);
  EXPECT_EQ(log.maxDepth, BEZ_AdaptiveMaxDepth - 1);
  auto p = Items<double>(pts);
  for (size_t i = 1; i < p.size(); ++i) EXPECT_LT(p[i - 1], p[i]);
  // A list for other points is refused.
  LIST_Handle& wrong = ListSlot();
  ASSERT_EQ(LIST_New(0, 16, 8, 1, &wrong), 0);
  EXPECT_EQ(BEZ_EvaluateAdaptively(&SplitWhileCurved, &log, nullptr, &one.c, nullptr, nullptr, &wrong), kErrDamaged);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 19));
}

// ---- Out of memory in the work storage --------------------------------------------

class BezMemory : public BezFixture {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    BezFixture::TearDown();
  }
  // Runs `call` with every allocation failing: it fails with the memory
  // code, makes no list, keeps no work storage and reports once.
  template <class F>
  void ExpectOutOfMemory(F call, LIST_Handle& list, uint32_t site, const std::string& prefix) {
    int64_t ptrs = EMUL_LivePtrCount();
    EMUL_InjectAllocationFailures(0, -1);
    EXPECT_EQ(call(), kErrOutOfMemory);
    EMUL_StopAllocationFailures();
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, kSevFailure);
    EXPECT_EQ(rec.last().text.rfind(prefix, 0), 0u) << rec.last().text;
  }
};

TEST_F(BezMemory, FittingArraysOutOfMemory) {
  std::vector<BEZ_Point2> pts;
  for (int i = 0; i < 10; ++i) pts.push_back({i * 1.0, (i % 3) * 1.0});
  LIST_Handle& pieces = ListSlot();
  ExpectOutOfMemory([&] { return BEZ_FitMultipleCurves(pts.data(), 10, 0.1, &pieces); }, pieces, 13,
                    "Test: not enough memory to create List of parameter values.\n(1K requested, ");
}

TEST_F(BezMemory, ArcSplineTemporaryOutOfMemory) {
  auto c = Curve2(0, 0, 1, 2, 3, 2, 4, 0);
  LIST_Handle& spline = ListSlot();
  double length = 5;
  ExpectOutOfMemory([&] { return BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length); }, spline, 9,
                    "Test: not enough memory to create temporary vectors in arclength calculation.\n(");
  EXPECT_EQ(length, 0.0);
}

}  // namespace
}  // namespace tv::animtest
