// Exact time arithmetic against plain 64-bit cross-multiplication on the same
// data: adding, comparing and converting times over realistic scales (600,
// 2997, 30000, 44100). Prints, after the runs, how many times slower each
// exact operation is than its int64 baseline (CPU time).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "T.h"

namespace {

constexpr size_t kCount = 1024;

struct Data {
  std::vector<Time> a, b;
  std::vector<uint32_t> scales;
  Data() {
    std::mt19937 rng(42);
    const uint32_t s[] = {600, 2997, 30000, 44100};
    for (size_t i = 0; i < kCount; ++i) {
      a.push_back(Time{static_cast<int32_t>(rng() % 2000000) - 1000000, s[rng() % 4]});
      b.push_back(Time{static_cast<int32_t>(rng() % 2000000) - 1000000, s[rng() % 4]});
      scales.push_back(s[rng() % 4]);
    }
  }
};
const Data& D() {
  static Data d;
  return d;
}

// Baselines: the same results in int64, without overflow handling.
struct Wide {
  int64_t v, s;
};

void Add_Exact(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    Time r;
    T_AddTime(d.a[i], d.b[i], &r);
    benchmark::DoNotOptimize(r);
    i = (i + 1) & (kCount - 1);
  }
}
void Add_Int64(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    const Time &a = d.a[i], &b = d.b[i];
    Wide r{int64_t{a.value} * b.scale + int64_t{b.value} * a.scale, int64_t{a.scale} * b.scale};
    benchmark::DoNotOptimize(r);
    i = (i + 1) & (kCount - 1);
  }
}
void Compare_Exact(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    int32_t order;
    T_CompareTime(d.a[i], d.b[i], &order);
    benchmark::DoNotOptimize(order);
    i = (i + 1) & (kCount - 1);
  }
}
void Compare_Int64(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    const Time &a = d.a[i], &b = d.b[i];
    int64_t l = int64_t{a.value} * b.scale, r = int64_t{b.value} * a.scale;
    int order = (l > r) - (l < r);
    benchmark::DoNotOptimize(order);
    i = (i + 1) & (kCount - 1);
  }
}
void Convert_Exact(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    Time r;
    T_ConvTime(d.a[i], d.scales[i], &r, nullptr);
    benchmark::DoNotOptimize(r);
    i = (i + 1) & (kCount - 1);
  }
}
void Convert_Int64(benchmark::State& st) {
  const Data& d = D();
  size_t i = 0;
  for (auto _ : st) {
    const Time& a = d.a[i];
    int64_t n = 2 * int64_t{a.value} * d.scales[i] + a.scale, q = 2 * int64_t{a.scale};
    int64_t v = n / q - ((n % q != 0) && (n < 0));
    benchmark::DoNotOptimize(v);
    i = (i + 1) & (kCount - 1);
  }
}

BENCHMARK(Add_Exact);
BENCHMARK(Add_Int64);
BENCHMARK(Compare_Exact);
BENCHMARK(Compare_Int64);
BENCHMARK(Convert_Exact);
BENCHMARK(Convert_Int64);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* op : {"Add", "Compare", "Convert"}) {
    auto e = reporter.times.find(std::string(op) + "_Exact");
    auto b = reporter.times.find(std::string(op) + "_Int64");
    if (e != reporter.times.end() && b != reporter.times.end() && b->second > 0)
      std::printf("%-8s exact / int64 = %.1fx\n", op, e->second / b->second);
  }
  benchmark::Shutdown();
  return 0;
}
