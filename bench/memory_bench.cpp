// Handles against the C allocator in the same run: new and dispose of single
// blocks, batches of mixed sizes allocated, resized and disposed in random
// order, step-by-step growth, large blocks, and lock/unlock. Each handle
// benchmark has a malloc twin (and small blocks a calloc twin too, since small
// handles are always zeroed); after the run the ratios are printed.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Memory.h"

namespace {

// ---- New and dispose, one block at a time ------------------------------------
void BM_Handle_NewDispose(benchmark::State& state) {
  const Size n = state.range(0);
  for (auto _ : state) {
    Handle h = NewHandle(n);
    benchmark::DoNotOptimize(*h);
    DisposeHandle(h);
  }
}
void BM_Malloc_NewDispose(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(n);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
void BM_Calloc_NewDispose(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::calloc(1, n);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_Handle_NewDispose)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536)->Arg(1 << 20);
BENCHMARK(BM_Malloc_NewDispose)->Arg(16)->Arg(256)->Arg(4096)->Arg(65536)->Arg(1 << 20);
BENCHMARK(BM_Calloc_NewDispose)->Arg(16)->Arg(256)->Arg(4096);

// ---- Batches: allocate, resize, dispose in random order ---------------------------
struct Plan {
  std::vector<size_t> first, second, order;
};
Plan MakePlan(size_t count, size_t maxSize) {
  std::mt19937 rng(7);
  Plan p;
  for (size_t i = 0; i < count; ++i) {
    p.first.push_back(16 + rng() % maxSize);
    p.second.push_back(16 + rng() % maxSize);
    p.order.push_back(i);
  }
  std::shuffle(p.order.begin(), p.order.end(), rng);
  return p;
}

void BM_Handle_Mix(benchmark::State& state) {
  Plan plan = MakePlan(1000, static_cast<size_t>(state.range(0)));
  std::vector<Handle> hs(1000);
  for (auto _ : state) {
    for (size_t i = 0; i < hs.size(); ++i) hs[i] = NewHandle(static_cast<Size>(plan.first[i]));
    for (size_t i = 0; i < hs.size(); ++i) SetHandleSize(hs[i], static_cast<Size>(plan.second[i]));
    for (size_t i : plan.order) DisposeHandle(hs[i]);
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}
void BM_Malloc_Mix(benchmark::State& state) {
  Plan plan = MakePlan(1000, static_cast<size_t>(state.range(0)));
  std::vector<void*> ps(1000);
  for (auto _ : state) {
    for (size_t i = 0; i < ps.size(); ++i) ps[i] = std::malloc(plan.first[i]);
    for (size_t i = 0; i < ps.size(); ++i) ps[i] = std::realloc(ps[i], plan.second[i]);
    for (size_t i : plan.order) std::free(ps[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}
void BM_Calloc_Mix(benchmark::State& state) {
  Plan plan = MakePlan(1000, static_cast<size_t>(state.range(0)));
  std::vector<void*> ps(1000);
  for (auto _ : state) {
    for (size_t i = 0; i < ps.size(); ++i) ps[i] = std::calloc(1, plan.first[i]);
    for (size_t i = 0; i < ps.size(); ++i) ps[i] = std::realloc(ps[i], plan.second[i]);
    for (size_t i : plan.order) std::free(ps[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}
BENCHMARK(BM_Handle_Mix)->Arg(64)->Arg(1024)->Arg(8000)->Arg(60000);
BENCHMARK(BM_Malloc_Mix)->Arg(64)->Arg(1024)->Arg(8000)->Arg(60000);
BENCHMARK(BM_Calloc_Mix)->Arg(64)->Arg(1024)->Arg(8000);

// ---- Growth step by step (a list growing one block at a time) ----------------------
void BM_Handle_Grow(benchmark::State& state) {
  const Size step = state.range(0);
  for (auto _ : state) {
    Handle h = NewHandle(0);
    for (Size n = step; n <= (Size{1} << 20); n += step) SetHandleSize(h, n);
    DisposeHandle(h);
  }
}
void BM_Malloc_Grow(benchmark::State& state) {
  const auto step = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = nullptr;
    for (size_t n = step; n <= (size_t{1} << 20); n += step) p = std::realloc(p, n);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_Handle_Grow)->Arg(1024)->Arg(16384);
BENCHMARK(BM_Malloc_Grow)->Arg(1024)->Arg(16384);

// ---- Lock and unlock; the state save / lock / restore sequence --------------------
void BM_Handle_LockUnlock(benchmark::State& state) {
  Handle h = NewHandle(64);
  for (auto _ : state) {
    HLock(h);
    benchmark::DoNotOptimize(*h);
    HUnlock(h);
  }
  DisposeHandle(h);
}
void BM_Handle_StateLockRestore(benchmark::State& state) {
  Handle h = NewHandle(64);
  for (auto _ : state) {
    SignedByte s = HGetState(h);
    HLock(h);
    benchmark::DoNotOptimize(*h);
    HSetState(h, s);
  }
  DisposeHandle(h);
}
void BM_Handle_GetHandleSize(benchmark::State& state) {
  std::vector<Handle> hs;
  for (int i = 0; i < 4096; ++i) hs.push_back(NewHandle(32));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetHandleSize(hs[i++ & 4095]));
  }
  for (Handle h : hs) DisposeHandle(h);
}
BENCHMARK(BM_Handle_LockUnlock);
BENCHMARK(BM_Handle_StateLockRestore);
BENCHMARK(BM_Handle_GetHandleSize);

// ---- Purging 1,000 purgeable handles among 100,000 ---------------------------------
void BM_Handle_PurgeWalk(benchmark::State& state) {
  std::vector<Handle> hs;
  for (int i = 0; i < 100000; ++i) hs.push_back(NewHandle(32));
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 100000; i += 100) {
      SetHandleSize(hs[static_cast<size_t>(i)], 32);
      HPurge(hs[static_cast<size_t>(i)]);
    }
    state.ResumeTiming();
    PurgeMem(0);
  }
  for (Handle h : hs) DisposeHandle(h);
}
BENCHMARK(BM_Handle_PurgeWalk);


}  // namespace

int main(int argc, char** argv) {
  // Fixed thresholds: otherwise glibc adapts them to whatever ran before, and
  // a twin that runs later sees a different allocator (trimming and page
  // faults on every batch, or none) than the one it is compared with.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nHandle time / C allocator time (CPU time):\n");
  std::printf("  %-28s %10s %10s\n", "", "vs malloc", "vs calloc");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_Handle_", 0) != 0) continue;
    std::string rest = name.substr(10);
    auto m = reporter.times.find("BM_Malloc_" + rest);
    auto c = reporter.times.find("BM_Calloc_" + rest);
    if (m == reporter.times.end()) continue;
    if (c != reporter.times.end()) {
      std::printf("  %-28s %10.2f %10.2f\n", rest.c_str(), t / m->second, t / c->second);
    } else {
      std::printf("  %-28s %10.2f %10s\n", rest.c_str(), t / m->second, "-");
    }
  }
  benchmark::Shutdown();
  return 0;
}
