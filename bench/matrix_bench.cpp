// Fixed-point arithmetic, 3x3 matrices, point transformation and the 8-bit
// tables, each against a plain baseline in the same run.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdint>
#include <random>
#include <vector>

#include "M.h"
#include "U.h"

namespace {

std::vector<int32_t> Operands(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> d(-0x7FFFFF, 0x7FFFFF);
  std::vector<int32_t> v(n);
  for (auto& x : v) x = d(gen);
  return v;
}

void BM_FixMul(benchmark::State& state) {
  auto a = Operands(4096, 1), b = Operands(4096, 2);
  for (auto _ : state) {
    int32_t acc = 0;
    for (size_t i = 0; i < a.size(); ++i) acc ^= M_FixMul(a[i], b[i]);
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_FixMul);

void BM_FixMulInt64Baseline(benchmark::State& state) {
  auto a = Operands(4096, 1), b = Operands(4096, 2);
  for (auto _ : state) {
    int32_t acc = 0;
    for (size_t i = 0; i < a.size(); ++i) acc ^= int32_t((int64_t{a[i]} * b[i]) >> 16);
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_FixMulInt64Baseline);

void BM_FixDiv(benchmark::State& state) {
  auto a = Operands(4096, 3), b = Operands(4096, 4);
  for (auto _ : state) {
    int32_t acc = 0;
    for (size_t i = 0; i < a.size(); ++i) acc ^= M_FixDiv(a[i], b[i] | 1);
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_FixDiv);

void BM_FixDivInt64Baseline(benchmark::State& state) {
  auto a = Operands(4096, 3), b = Operands(4096, 4);
  for (auto _ : state) {
    int32_t acc = 0;
    for (size_t i = 0; i < a.size(); ++i) acc ^= int32_t((int64_t{a[i]} << 16) / (b[i] | 1));
    benchmark::DoNotOptimize(acc);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_FixDivInt64Baseline);

FloatMatrix Sample() {
  FloatMatrix m;
  M_SetIdentityMatrix(&m);
  M_RotateMatrix(&m, 33, 12, 7);
  M_ScaleMatrix(&m, 1.5, 0.75, 3, 4);
  M_TranslateMatrix(&m, 10, -20);
  return m;
}

void BM_ConcatMatrix(benchmark::State& state) {
  FloatMatrix a = Sample(), b = Sample();
  for (auto _ : state) {
    FloatMatrix c = b;
    M_ConcatMatrix(&a, &c);
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_ConcatMatrix);

void BM_ConcatHandWrittenBaseline(benchmark::State& state) {
  FloatMatrix a = Sample(), b = Sample();
  for (auto _ : state) {
    double c[9];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        c[i * 3 + j] = b.m[i * 3] * a.m[j] + b.m[i * 3 + 1] * a.m[3 + j] + b.m[i * 3 + 2] * a.m[6 + j];
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_ConcatHandWrittenBaseline);

void BM_InverseMatrix(benchmark::State& state) {
  FloatMatrix a = Sample();
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    FloatMatrix inv;
    M_InverseMatrix(&a, &inv);
    benchmark::DoNotOptimize(inv);
  }
}
BENCHMARK(BM_InverseMatrix);

void BM_InverseCofactorBaseline(benchmark::State& state) {
  FloatMatrix a = Sample();
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    const double* m = a.m;
    double c0 = m[4] * m[8] - m[5] * m[7], c1 = m[5] * m[6] - m[3] * m[8], c2 = m[3] * m[7] - m[4] * m[6];
    double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    double r = 1.0 / det;
    double inv[9] = {c0 * r, (m[2] * m[7] - m[1] * m[8]) * r, (m[1] * m[5] - m[2] * m[4]) * r,
                     c1 * r, (m[0] * m[8] - m[2] * m[6]) * r, (m[2] * m[3] - m[0] * m[5]) * r,
                     c2 * r, (m[1] * m[6] - m[0] * m[7]) * r, (m[0] * m[4] - m[1] * m[3]) * r};
    benchmark::DoNotOptimize(inv);
  }
}
BENCHMARK(BM_InverseCofactorBaseline);

void BM_TransformFixPoints(benchmark::State& state) {
  FloatMatrix m = Sample();
  std::vector<FixedPoint> src(100000);
  for (size_t i = 0; i < src.size(); ++i) src[i] = FixedPoint{Fixed(i * 977 % 65536) << 8, Fixed(i * 131 % 65536) << 8};
  std::vector<FixedPoint> pts;
  for (auto _ : state) {
    pts = src;
    M_TransformFixPoints(&m, int32_t(pts.size()), pts.data());
    benchmark::DoNotOptimize(pts.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(src.size()));
}
BENCHMARK(BM_TransformFixPoints);

void BM_TransformFixPointsPlainBaseline(benchmark::State& state) {
  FloatMatrix m = Sample();
  std::vector<FixedPoint> src(100000);
  for (size_t i = 0; i < src.size(); ++i) src[i] = FixedPoint{Fixed(i * 977 % 65536) << 8, Fixed(i * 131 % 65536) << 8};
  std::vector<FixedPoint> pts;
  for (auto _ : state) {
    pts = src;
    for (auto& p : pts) {
      double x = p.h * m.m[0] + p.v * m.m[3] + m.m[6] * 65536.0;
      double y = p.h * m.m[1] + p.v * m.m[4] + m.m[7] * 65536.0;
      p.h = Fixed(x + 0.5);
      p.v = Fixed(y + 0.5);
    }
    benchmark::DoNotOptimize(pts.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(src.size()));
}
BENCHMARK(BM_TransformFixPointsPlainBaseline);

// 8-bit multiply over a 1024 x 1024 plane: the table against the arithmetic.
std::vector<uint8_t> Plane(uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(1 << 20);
  for (auto& x : v) x = uint8_t(gen());
  return v;
}

void BM_Mul8Table(benchmark::State& state) {
  tv::bench::Packages packages("bench", {M_PackageNumber});
  Boolean32 available = 0;
  const uint8_t *mul = nullptr, *div = nullptr;
  M_PrepareFCMD(1, 0, &available, &mul, &div);
  auto a = Plane(1), b = Plane(2);
  std::vector<uint8_t> out(a.size());
  for (auto _ : state) {
    for (size_t i = 0; i < a.size(); ++i) out[i] = mul[a[i] * 256 + b[i]];
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
  M_UnprepareFCMD();
}
BENCHMARK(BM_Mul8Table);

void BM_Mul8ArithmeticBaseline(benchmark::State& state) {
  auto a = Plane(1), b = Plane(2);
  std::vector<uint8_t> out(a.size());
  for (auto _ : state) {
    for (size_t i = 0; i < a.size(); ++i) out[i] = tv::m::Mul8(a[i], b[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(a.size()));
}
BENCHMARK(BM_Mul8ArithmeticBaseline);

}  // namespace

BENCHMARK_MAIN();
