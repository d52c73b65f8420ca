// BEZ against plain closed-form code in the same run: point evaluation, y from
// x on an easing curve (against a Newton-bisection solver) and arc-length
// lookups (against std::lower_bound on a vector). After the run the ratio
// BEZ time / plain time is printed for every pair. Arc-spline building,
// spline lookups and fitting are measured alone.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BEZ.h"
#include "LIST.h"
#include "U.h"

namespace {

constexpr int kN = 1024;

struct Curve {
  double p[4][2];
  BEZ_Curve c;
  Curve(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3)
      : p{{x0, y0}, {x1, y1}, {x2, y2}, {x3, y3}}, c{2, {p[0], p[1], p[2], p[3]}} {}
};

Curve Ease() { return Curve(0, 0, 0.42, 0, 0.58, 1, 1, 1); }
Curve Path() { return Curve(0, 0, 60, 200, 250, -80, 300, 100); }

std::vector<double> Params() {
  std::vector<double> v(kN);
  for (int i = 0; i < kN; ++i) v[i] = (i + 0.5) / kN;
  return v;
}

double Plain(const double c[4], double t) {
  // Power form, evaluated by Horner's rule.
  double a = c[3] - c[0] + 3 * (c[1] - c[2]);
  double b = 3 * (c[0] - 2 * c[1] + c[2]);
  double d = 3 * (c[1] - c[0]);
  return ((a * t + b) * t + d) * t + c[0];
}

// ---- Point evaluation ---------------------------------------------------------
void BM_Bez_Point(benchmark::State& state) {
  Curve c = Path();
  auto ts = Params();
  double p[2];
  for (auto _ : state)
    for (double t : ts) {
      BEZ_EvaluatePoint(&c.c, t, p);
      benchmark::DoNotOptimize(p);
    }
  state.SetItemsProcessed(state.iterations() * kN);
}
void BM_Plain_Point(benchmark::State& state) {
  Curve c = Path();
  double xs[4] = {c.p[0][0], c.p[1][0], c.p[2][0], c.p[3][0]};
  double ys[4] = {c.p[0][1], c.p[1][1], c.p[2][1], c.p[3][1]};
  auto ts = Params();
  double p[2];
  for (auto _ : state)
    for (double t : ts) {
      p[0] = Plain(xs, t);
      p[1] = Plain(ys, t);
      benchmark::DoNotOptimize(p);
    }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- y from x ---------------------------------------------------------------------
void BM_Bez_YFromX(benchmark::State& state) {
  Curve c = Ease();
  auto xs = Params();
  double y;
  for (auto _ : state)
    for (double x : xs) {
      BEZ_EvaluateYFromX(&c.c, x, nullptr, &y);
      benchmark::DoNotOptimize(y);
    }
  state.SetItemsProcessed(state.iterations() * kN);
}
// Newton-Raphson with a bisection fallback, to 1e-9.
double NewtonT(const double xs[4], double x) {
  double t = x;
  for (int i = 0; i < 8; ++i) {
    double e = Plain(xs, t) - x;
    if (std::fabs(e) < 1e-9) return t;
    double s = 1 - t;
    double d = 3 * ((xs[1] - xs[0]) * s * s + 2 * (xs[2] - xs[1]) * t * s + (xs[3] - xs[2]) * t * t);
    if (std::fabs(d) < 1e-6) break;
    t -= e / d;
  }
  double lo = 0, hi = 1;
  t = x;
  while (lo < hi) {
    double v = Plain(xs, t);
    if (std::fabs(v - x) < 1e-9) return t;
    if (x > v) lo = t; else hi = t;
    t = (hi - lo) * 0.5 + lo;
    if (hi - lo < 1e-15) break;
  }
  return t;
}
void BM_Plain_YFromX(benchmark::State& state) {
  Curve c = Ease();
  double xs[4] = {c.p[0][0], c.p[1][0], c.p[2][0], c.p[3][0]};
  double ys[4] = {c.p[0][1], c.p[1][1], c.p[2][1], c.p[3][1]};
  auto params = Params();
  double y;
  for (auto _ : state)
    for (double x : params) {
      y = Plain(ys, NewtonT(xs, x));
      benchmark::DoNotOptimize(y);
    }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- Arc-length lookups -------------------------------------------------------------
void BM_Bez_TFromS(benchmark::State& state) {
  Curve c = Path();
  LIST_Handle table = nullptr;
  double length = 0, t = 0;
  BEZ_BuildArcTable(&c.c, 500, &table, &length);
  auto fr = Params();
  for (auto _ : state)
    for (double f : fr) {
      BEZ_TFromS(&c.c, f * length, 500, &table, &t);
      benchmark::DoNotOptimize(t);
    }
  state.SetItemsProcessed(state.iterations() * kN);
  LIST_Dispose(table, 0);
}
void BM_Plain_TFromS(benchmark::State& state) {
  Curve c = Path();
  std::vector<BEZ_ArcSample> table(500);
  double prev[2];
  BEZ_EvaluatePoint(&c.c, 0, prev);
  table[0] = {0, 0};
  for (int i = 1; i < 500; ++i) {
    double t = i / 499.0, p[2];
    BEZ_EvaluatePoint(&c.c, t, p);
    table[i] = {t, table[i - 1].s + std::hypot(p[0] - prev[0], p[1] - prev[1])};
    prev[0] = p[0];
    prev[1] = p[1];
  }
  double length = table.back().s;
  auto fr = Params();
  for (auto _ : state)
    for (double f : fr) {
      double s = f * length;
      auto it = std::lower_bound(table.begin(), table.end(), s,
                                 [](const BEZ_ArcSample& a, double v) { return a.s < v; });
      auto a = it - 1;
      double t = a->t + (it->t - a->t) * (s - a->s) / (it->s - a->s);
      benchmark::DoNotOptimize(t);
    }
  state.SetItemsProcessed(state.iterations() * kN);
}

// ---- Alone: arc splines and fitting ---------------------------------------------------
void BM_ArcSplineBuild(benchmark::State& state) {
  Curve c = Path();
  for (auto _ : state) {
    LIST_Handle spline = nullptr;
    double length;
    BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length);
    LIST_Dispose(spline, 0);
  }
}
void BM_ArcSplineLookup(benchmark::State& state) {
  Curve c = Path();
  LIST_Handle spline = nullptr;
  double length = 0, t = 0;
  BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length);
  auto fr = Params();
  for (auto _ : state)
    for (double f : fr) {
      BEZ_TFromSSpline(&c.c, f * length, 1.0, &spline, &t);
      benchmark::DoNotOptimize(t);
    }
  state.SetItemsProcessed(state.iterations() * kN);
  LIST_Dispose(spline, 0);
}
void BM_FitMultiple(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<BEZ_Point2> pts(n);
  for (int i = 0; i < n; ++i) pts[i] = {i * 0.1, std::sin(i * 0.05) * 10 + std::sin(i * 0.31)};
  LIST_Handle pieces = nullptr;
  for (auto _ : state) BEZ_FitMultipleCurvesIterate(pts.data(), n, 1e-2, 10, &pieces, nullptr);
  int32_t count = 0;
  LIST_GetNumItems(pieces, &count);
  state.counters["pieces"] = (count - 1) / 3;
  LIST_Dispose(pieces, 0);
}

BENCHMARK(BM_Bez_Point);
BENCHMARK(BM_Plain_Point);
BENCHMARK(BM_Bez_YFromX);
BENCHMARK(BM_Plain_YFromX);
BENCHMARK(BM_Bez_TFromS);
BENCHMARK(BM_Plain_TFromS);
BENCHMARK(BM_ArcSplineBuild);
BENCHMARK(BM_ArcSplineLookup);
BENCHMARK(BM_FitMultiple)->Arg(32)->Arg(128)->Arg(1024);


}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("BezBench", {});
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nBEZ time / plain time:\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_Bez_", 0) != 0) continue;
    auto it = reporter.times.find("BM_Plain_" + name.substr(7));
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-16s %8.2f\n", name.substr(7).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  return 0;
}
