// The frame cache: a cache hit (keyed checkout and checkin of a cached
// 1920 x 1080 frame through the engine) against re-making the frame as a
// solid fill of the same World, and hits in an item directory of 10, 1,000
// and 10,000 frames (the goal: under 1 µs, whatever the count). After the run
// the ratios hit / fill and 10,000 / 10 entries are printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "BEE.h"
#include "BM.h"
#include "BenchSupport.h"
#include "MC.h"

namespace {

BEE_Item NewComp(int16_t w, int16_t h) {
  const BEE_CompSettings s = tv::bench::CompSettings("Bench", w, h, Time{600000, 600});
  BEE_Item comp = nullptr;
  BEE_CmdNewComp(nullptr, &s, &comp);
  return comp;
}

BM_World NewWorld(int16_t w, int16_t h) {
  Rect r{0, 0, h, w};
  BM_World world = nullptr;
  BM_NewWorld(nullptr, BM_Flag_KeepLocal, &r, 32, 0, nullptr, &world);
  return world;
}

BEE_RenderRequest At(int32_t frame) {
  return BEE_RenderRequest{{frame, 30}, {1, 30}, 0, BEE_Request_Cacheable, -1, {0, 0}};
}

void Cache(BEE_Item comp, int32_t frame, int16_t w, int16_t h) {
  BEE_RenderRequest rq = At(frame);
  MC_Receipt r = nullptr;
  if (BEE_CacheItemFrame(comp, &rq, NewWorld(w, h), 6, &r) == 0) BEE_CheckinItemFrame(r);
}

void BM_CacheHit1080(benchmark::State& state) {
  BEE_Item comp = NewComp(1920, 1080);
  Cache(comp, 0, 1920, 1080);
  BEE_RenderRequest rq = At(0);
  for (auto _ : state) {
    Boolean32 exact = 0;
    MC_Receipt r = nullptr;
    BM_World w = nullptr;
    BEE_CheckoutCachedItemFrame(comp, &rq, 1920, 1080, &exact, &r, &w);
    if (!exact) state.SkipWithError("miss");
    benchmark::DoNotOptimize(w);
    BEE_CheckinItemFrame(r);
  }
  BEE_CmdRemoveItem(comp);
}
BENCHMARK(BM_CacheHit1080);

void BM_SolidFill1080(benchmark::State& state) {
  BM_World w = NewWorld(1920, 1080);
  for (auto _ : state) {
    BM_ClearWorldToLong(w, 0xFF336699);
    benchmark::ClobberMemory();
  }
  BM_DisposeWorld(w);
}
BENCHMARK(BM_SolidFill1080);

// Hits among n cached frames of one composition (small frames, so 10,000
// fit), in playback order (step 1) or scattered (step 7919, every hit on
// memory that is cold in the processor's caches).
void BM_CacheHitAmong(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int32_t step = static_cast<int32_t>(state.range(1));
  BEE_Item comp = NewComp(16, 16);
  for (int32_t i = 0; i < n; ++i) Cache(comp, i, 16, 16);
  int32_t frame = 0;
  for (auto _ : state) {
    BEE_RenderRequest rq = At(frame);
    frame = (frame + step) % n;
    Boolean32 exact = 0;
    MC_Receipt r = nullptr;
    BM_World w = nullptr;
    BEE_CheckoutCachedItemFrame(comp, &rq, 16, 16, &exact, &r, &w);
    if (!exact) state.SkipWithError("miss");
    BEE_CheckinItemFrame(r);
  }
  BEE_CmdRemoveItem(comp);
}
BENCHMARK(BM_CacheHitAmong)->Args({10, 1})->Args({1000, 1})->Args({10000, 1})->Args({10000, 0})->Args({10, 7919})->Args({10000, 7919});

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("mc_bench", {BM_PackageNumber, BEE_PackageNumber});
  if (!packages.ok()) return 1;
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double hit = reporter.Time("BM_CacheHit1080"), fill = reporter.Time("BM_SolidFill1080");
  if (hit > 0 && fill > 0) std::printf("cache hit / solid fill at 1080p: %.5f\n", hit / fill);
  for (const char* step : {"1", "7919"}) {
    const double few = reporter.Time(std::string("BM_CacheHitAmong/10/") + step);
    const double many = reporter.Time(std::string("BM_CacheHitAmong/10000/") + step);
    if (few > 0 && many > 0) std::printf("hit among 10,000 / among 10 frames, step %s: %.2f\n", step, many / few);
  }
  benchmark::Shutdown();
  return 0;
}
