// Worlds against plain memory in the same run, at 1920 x 1080 x 32 bits:
// creating, clearing and disposing a World against malloc + memset + free,
// clearing against memset, the copy blit against memcpy, a 2:1 scaled blit
// against a plain nearest-neighbour loop, and nested lock/unlock pairs. Each
// BM benchmark has a Plain twin; after the run the ratio BM time / plain
// time is printed for every pair.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BM.h"
#include "U.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kRowBytes = 4 * kWidth + 4;  // the World's row bytes
constexpr size_t kBytes = kRowBytes * kHeight;

BM_World NewFrame(uint32_t flags) {
  Rect b{0, 0, kHeight, kWidth};
  BM_World w = nullptr;
  BM_NewWorld(nullptr, flags, &b, 32, 0, nullptr, &w);
  return w;
}

// ---- Create + clear + dispose ------------------------------------------------------
void BM_BM_CreateClearDispose(benchmark::State& state) {
  for (auto _ : state) {
    BM_World w = NewFrame(BM_Flag_KeepLocal | BM_Flag_Clear);
    benchmark::DoNotOptimize(w);
    BM_DisposeWorld(w);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
void BM_Plain_CreateClearDispose(benchmark::State& state) {
  for (auto _ : state) {
    char* p = static_cast<char*>(std::malloc(kBytes));
    std::memset(p, 0, kBytes);
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
    std::free(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_BM_CreateClearDispose);
BENCHMARK(BM_Plain_CreateClearDispose);

// calloc may hand out pages the system zeroes lazily: shown for reference.
void BM_Calloc_CreateClearDispose(benchmark::State& state) {
  for (auto _ : state) {
    char* p = static_cast<char*>(std::calloc(1, kBytes));
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_Calloc_CreateClearDispose);

// ---- Clear --------------------------------------------------------------------------
void BM_BM_Clear(benchmark::State& state) {
  BM_World w = NewFrame(BM_Flag_KeepLocal);
  const uint32_t value = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    BM_ClearWorldToLong(w, value);
    benchmark::ClobberMemory();
  }
  BM_DisposeWorld(w);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
void BM_Plain_Clear(benchmark::State& state) {
  std::vector<uint32_t> buffer(kBytes / 4);
  const uint32_t value = __builtin_bswap32(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    if (value == 0)
      std::memset(buffer.data(), 0, kBytes);
    else
      std::fill(buffer.begin(), buffer.end(), value);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}
BENCHMARK(BM_BM_Clear)->Arg(0)->Arg(0xFF102030);
BENCHMARK(BM_Plain_Clear)->Arg(0)->Arg(0xFF102030);

// ---- Copy blit -----------------------------------------------------------------------
void BM_BM_CopyBlit(benchmark::State& state) {
  BM_World src = NewFrame(BM_Flag_KeepLocal | BM_Flag_Clear);
  BM_World dst = NewFrame(BM_Flag_KeepLocal | BM_Flag_Clear);
  BM_LockPixels(1, src, nullptr);
  BM_LockPixels(1, dst, nullptr);
  for (auto _ : state) {
    BM_Blit(src, dst, nullptr, nullptr, BM_Blit_Copy);
    benchmark::ClobberMemory();
  }
  BM_UnlockPixels(src);
  BM_UnlockPixels(dst);
  BM_DisposeWorld(src);
  BM_DisposeWorld(dst);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kWidth) * 4 * kHeight);
}
void BM_Plain_CopyBlit(benchmark::State& state) {
  std::vector<char> src(kBytes), dst(kBytes);
  for (auto _ : state) {
    for (size_t y = 0; y < kHeight; ++y) std::memcpy(&dst[y * kRowBytes], &src[y * kRowBytes], 4 * kWidth);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kWidth) * 4 * kHeight);
}
BENCHMARK(BM_BM_CopyBlit);
BENCHMARK(BM_Plain_CopyBlit);

// ---- Scaled blit (half size) -----------------------------------------------------------
void BM_BM_HalfBlit(benchmark::State& state) {
  BM_World src = NewFrame(BM_Flag_KeepLocal | BM_Flag_Clear);
  Rect half{0, 0, kHeight / 2, kWidth / 2};
  BM_World dst = nullptr;
  BM_NewWorld(nullptr, BM_Flag_KeepLocal | BM_Flag_Clear, &half, 32, 0, nullptr, &dst);
  for (auto _ : state) {
    BM_Blit(src, dst, nullptr, nullptr, BM_Blit_Copy);
    benchmark::ClobberMemory();
  }
  BM_DisposeWorld(src);
  BM_DisposeWorld(dst);
}
void BM_Plain_HalfBlit(benchmark::State& state) {
  std::vector<uint32_t> src(kBytes / 4), dst(kBytes / 4);
  const size_t srcStride = kRowBytes / 4, dstStride = (4 * (kWidth / 2) + 4) / 4;
  for (auto _ : state) {
    for (size_t y = 0; y < kHeight / 2; ++y) {
      const uint32_t* s = &src[2 * y * srcStride];
      uint32_t* d = &dst[y * dstStride];
      for (size_t x = 0; x < kWidth / 2; ++x) d[x] = s[2 * x];
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BM_HalfBlit);
BENCHMARK(BM_Plain_HalfBlit);

// ---- Lock / unlock ---------------------------------------------------------------------
void BM_BM_LockUnlock(benchmark::State& state) {
  BM_World w = NewFrame(BM_Flag_KeepLocal);
  BM_LockPixels(1, w, nullptr);  // nested pairs, as per layer per frame
  for (auto _ : state) {
    BM_LockPixels(1, w, nullptr);
    benchmark::DoNotOptimize(BMp_GetPixBaseAddr(w));
    BM_UnlockPixels(w);
  }
  BM_UnlockPixels(w);
  BM_DisposeWorld(w);
}
BENCHMARK(BM_BM_LockUnlock);


}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("BMBench", {BM_PackageNumber});
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nBM time / plain time (CPU time):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_BM_", 0) != 0) continue;
    std::string twin = "BM_Plain_" + name.substr(6);
    auto it = reporter.times.find(twin);
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-36s %8.2f\n", name.substr(6).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  return 0;
}
