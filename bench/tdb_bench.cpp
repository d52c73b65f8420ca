// Stream evaluation: values per second for Bezier streams of 1 and 2
// dimensions with 10 and 1,000 keys, through the value cache (the same time
// again) and without it (a new time on every call), against a plain
// evaluator (binary search over a vector of keys and a Newton-solved cubic)
// in the same run.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "TDB.h"
#include "U.h"

namespace {

constexpr uint32_t kScale = 600;
constexpr int32_t kSpacing = 60;  // 0.1 s between keys

tv::bench::Packages born("bench", {});

TDB_Stream MakeStream(int dim, int keys) {
  TDB_ValueDesc d{};
  d.dataType = 9;
  TDB_Stream s = nullptr;
  TDB_NewStream(static_cast<int16_t>(dim), kScale, 0, 0, 7, 7, &d, &s);
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> val(-100, 100), vel(-50, 50), infl(0.1, 0.9);
  for (int k = 0; k < keys; ++k) {
    double v[2] = {val(rng), val(rng)};
    TDB_InsertKeyF(s, nullptr, k * kSpacing, 0, v, 2, 2);
    double iv[2] = {vel(rng), vel(rng)}, ii[2] = {infl(rng), infl(rng)}, ov[2] = {vel(rng), vel(rng)},
           oi[2] = {infl(rng), infl(rng)};
    TDB_SetKeyTangentsF(s, k, iv, ii, ov, oi);
  }
  return s;
}

// The plain evaluator: the same keys in a vector.
struct PlainKey {
  double t;
  double v[2], inV[2], inI[2], outV[2], outI[2];
};

std::vector<PlainKey> Plain(TDB_Stream s, int dim) {
  int32_t n = 0;
  TDB_GetNumKeys(s, &n);
  std::vector<PlainKey> keys(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    PlainKey& k = keys[static_cast<size_t>(i)];
    Time t{};
    TDB_IndexToTime(s, i, &t);
    k.t = static_cast<double>(t.value) / kScale;
    TDB_GetKeyF(s, i, k.v);
    TDB_GetKeyTangentsF(s, i, k.inV, k.inI, k.outV, k.outI);
  }
  (void)dim;
  return keys;
}

double Cubic(double a, double b, double c, double d, double u) {
  double s = 1 - u;
  return a * s * s * s + 3 * b * u * s * s + 3 * c * u * u * s + d * u * u * u;
}

void PlainValue(const std::vector<PlainKey>& keys, int dim, double t, double* out) {
  auto it = std::upper_bound(keys.begin(), keys.end(), t, [](double x, const PlainKey& k) { return x < k.t; });
  if (it == keys.begin()) {
    std::copy(keys.front().v, keys.front().v + dim, out);
    return;
  }
  if (it == keys.end()) {
    std::copy(keys.back().v, keys.back().v + dim, out);
    return;
  }
  const PlainKey& a = *(it - 1);
  const PlainKey& b = *it;
  double D = b.t - a.t, x = t - a.t;
  for (int d = 0; d < dim; ++d) {
    double x1 = a.outI[d] * D, y1 = a.v[d] + a.outV[d] * a.outI[d] * D;
    double x2 = D - b.inI[d] * D, y2 = b.v[d] - b.inV[d] * b.inI[d] * D;
    double u = x / D;
    for (int i = 0; i < 8; ++i) {
      double f = Cubic(0, x1, x2, D, u) - x;
      double s = 1 - u;
      double df = 3 * s * s * x1 + 6 * s * u * (x2 - x1) + 3 * u * u * (D - x2);
      if (std::fabs(f) < 1e-12 || df == 0) break;
      u = std::clamp(u - f / df, 0.0, 1.0);
    }
    out[d] = Cubic(a.v[d], y1, y2, b.v[d], u);
  }
}

void BM_TDB_GetValueF(benchmark::State& state) {
  int dim = static_cast<int>(state.range(0)), keys = static_cast<int>(state.range(1));
  bool cached = state.range(2) != 0;
  TDB_Stream s = MakeStream(dim, keys);
  int32_t span = (keys - 1) * kSpacing;
  int32_t t = 7;
  double v[2];
  for (auto _ : state) {
    TDB_GetValueF(s, nullptr, t, 0, v, nullptr);
    benchmark::DoNotOptimize(v[0]);
    if (!cached) t = (t + 37) % span;
  }
  state.SetItemsProcessed(state.iterations());
  TDB_DisposeStream(s);
}

void BM_Plain_Value(benchmark::State& state) {
  int dim = static_cast<int>(state.range(0)), keys = static_cast<int>(state.range(1));
  TDB_Stream s = MakeStream(dim, keys);
  std::vector<PlainKey> plain = Plain(s, dim);
  TDB_DisposeStream(s);
  int32_t span = (keys - 1) * kSpacing;
  int32_t t = 7;
  double v[2];
  for (auto _ : state) {
    PlainValue(plain, dim, static_cast<double>(t) / kScale, v);
    benchmark::DoNotOptimize(v[0]);
    t = (t + 37) % span;
  }
  state.SetItemsProcessed(state.iterations());
}

// Arguments: dimension, keys, cached.
BENCHMARK(BM_TDB_GetValueF)
    ->Args({1, 10, 0})
    ->Args({1, 10, 1})
    ->Args({1, 1000, 0})
    ->Args({1, 1000, 1})
    ->Args({2, 10, 0})
    ->Args({2, 10, 1})
    ->Args({2, 1000, 0})
    ->Args({2, 1000, 1});
BENCHMARK(BM_Plain_Value)->Args({1, 10})->Args({1, 1000})->Args({2, 10})->Args({2, 1000});

}  // namespace

BENCHMARK_MAIN();
