// Lists against std::vector and <algorithm> in the same run: appending,
// inserting and removing at the front, reading, binary search, walking and
// sorting. Each LIST benchmark has a baseline twin; after the run the ratio
// LIST time / baseline time is printed for every pair.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "LIST.h"
#include "U.h"

namespace {

struct Keyed {
  int32_t key;
  int32_t serial;
};

int32_t CompareKeyed(intptr_t, LIST_Handle, const void* a, const void* b) {
  const auto* x = static_cast<const Keyed*>(a);
  const auto* y = static_cast<const Keyed*>(b);
  return x->key < y->key ? -1 : (x->key > y->key ? 1 : 0);
}
// The baseline calls its comparison through a function pointer too.
using KeyedCompare = int32_t (*)(intptr_t, LIST_Handle, const void*, const void*);
KeyedCompare volatile gCompare = &CompareKeyed;

std::vector<Keyed> RandomKeyed(size_t n) {
  std::mt19937 rng(42);
  std::vector<Keyed> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = Keyed{static_cast<int32_t>(rng() % (n / 4 + 1)), static_cast<int32_t>(i)};
  return v;
}

LIST_Handle ListOf(const std::vector<Keyed>& items, int32_t blockSize = 1024) {
  LIST_Handle list = nullptr;
  LIST_New(0, sizeof(Keyed), blockSize, 1, &list);
  LIST_SetNumItems(static_cast<int32_t>(items.size()), list, 0);
  void* base = nullptr;
  LIST_GetAddress(list, 0, LIST_LockInPlace, &base);
  std::memcpy(base, items.data(), items.size() * sizeof(Keyed));
  LIST_Unlock(list);
  return list;
}

// ---- Append --------------------------------------------------------------------
void BM_List_Append(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int32_t blockSize = static_cast<int32_t>(state.range(1));
  for (auto _ : state) {
    LIST_Handle list = nullptr;
    LIST_New(0, 4, blockSize, 1, &list);
    for (int32_t i = 0; i < n; ++i) LIST_Insert4(i, -1, list);
    benchmark::DoNotOptimize(list);
    LIST_Dispose(list, 0);
  }
}
void BM_Vector_Append(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < n; ++i) v.push_back(i);
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_List_Append)->Args({100000, 32})->Args({100000, 1024});
BENCHMARK(BM_Vector_Append)->Args({100000, 32})->Args({100000, 1024});

// ---- Insert and remove at the front -------------------------------------------------
void BM_List_InsertRemoveFront(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    LIST_Handle list = nullptr;
    LIST_New(0, 4, 256, 1, &list);
    for (int32_t i = 0; i < n; ++i) LIST_Insert4(i, 0, list);
    for (int32_t i = 0; i < n; ++i) LIST_Remove4(0, list, 0, nullptr);
    LIST_Dispose(list, 0);
  }
}
void BM_Vector_InsertRemoveFront(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < n; ++i) v.insert(v.begin(), i);
    for (int32_t i = 0; i < n; ++i) v.erase(v.begin());
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_List_InsertRemoveFront)->Arg(10000);
BENCHMARK(BM_Vector_InsertRemoveFront)->Arg(10000);

// ---- Reading items -----------------------------------------------------------------
void BM_List_GetItem(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  LIST_Handle list = ListOf(items);
  const int32_t n = static_cast<int32_t>(items.size());
  for (auto _ : state) {
    int64_t sum = 0;
    Keyed k;
    for (int32_t i = 0; i < n; ++i) {
      LIST_GetItem(list, i, &k);
      sum += k.key;
    }
    benchmark::DoNotOptimize(sum);
  }
  LIST_Dispose(list, 0);
}
void BM_Vector_GetItem(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    int64_t sum = 0;
    for (size_t i = 0; i < items.size(); ++i) {
      Keyed k = items[i];
      benchmark::DoNotOptimize(&k);
      sum += k.key;
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_List_GetItem)->Arg(100000);
BENCHMARK(BM_Vector_GetItem)->Arg(100000);

// ---- Walking -------------------------------------------------------------------------
ErrorCode SumKeys(LIST_Handle, intptr_t data, int32_t, void* item) {
  *reinterpret_cast<int64_t*>(data) += static_cast<const Keyed*>(item)->key;
  return 0;
}
using Walker = ErrorCode (*)(LIST_Handle, intptr_t, int32_t, void*);
Walker volatile gWalker = &SumKeys;
void BM_List_ForEach(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  LIST_Handle list = ListOf(items);
  for (auto _ : state) {
    int64_t sum = 0;
    int32_t reached = 0;
    LIST_ForEach(list, reinterpret_cast<intptr_t>(&sum), gWalker, &reached);
    benchmark::DoNotOptimize(sum);
  }
  LIST_Dispose(list, 0);
}
void BM_Vector_ForEach(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    int64_t sum = 0;
    Walker w = gWalker;
    for (size_t i = 0; i < items.size(); ++i) w(nullptr, reinterpret_cast<intptr_t>(&sum), 0, &items[i]);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_List_ForEach)->Arg(100000);
BENCHMARK(BM_Vector_ForEach)->Arg(100000);

// ---- Binary search -------------------------------------------------------------------
void BM_List_SortedSearch(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  std::stable_sort(items.begin(), items.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  LIST_Handle list = ListOf(items);
  std::mt19937 rng(7);
  for (auto _ : state) {
    Keyed key{static_cast<int32_t>(rng() % items.size()), 0};
    Boolean32 found = 0;
    int32_t index = 0;
    LIST_GetSortedItem(list, gCompare, 0, &key, &found, nullptr, &index);
    benchmark::DoNotOptimize(index);
  }
  LIST_Dispose(list, 0);
}
void BM_Vector_SortedSearch(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  std::stable_sort(items.begin(), items.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::mt19937 rng(7);
  KeyedCompare cmp = gCompare;
  for (auto _ : state) {
    Keyed key{static_cast<int32_t>(rng() % items.size()), 0};
    auto it = std::lower_bound(items.begin(), items.end(), key,
                               [&](const Keyed& a, const Keyed& b) { return cmp(0, nullptr, &a, &b) < 0; });
    benchmark::DoNotOptimize(it);
  }
}
BENCHMARK(BM_List_SortedSearch)->Arg(100000);
BENCHMARK(BM_Vector_SortedSearch)->Arg(100000);

// ---- Sorting ---------------------------------------------------------------------------
void BM_List_Sort(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    LIST_Handle list = ListOf(items);
    state.ResumeTiming();
    LIST_Sort(gCompare, 0, list);
    state.PauseTiming();
    LIST_Dispose(list, 0);
    state.ResumeTiming();
  }
}
void BM_Vector_Sort(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  KeyedCompare cmp = gCompare;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Keyed> v = items;
    state.ResumeTiming();
    std::stable_sort(v.begin(), v.end(), [&](const Keyed& a, const Keyed& b) { return cmp(0, nullptr, &a, &b) < 0; });
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_List_Sort)->Arg(1000)->Arg(100000);
BENCHMARK(BM_Vector_Sort)->Arg(1000)->Arg(100000);

void BM_List_QuickSort(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    LIST_Handle list = ListOf(items);
    state.ResumeTiming();
    LIST_QuickSort(gCompare, 0, list);
    state.PauseTiming();
    LIST_Dispose(list, 0);
    state.ResumeTiming();
  }
}
void BM_Vector_QuickSort(benchmark::State& state) {
  std::vector<Keyed> items = RandomKeyed(static_cast<size_t>(state.range(0)));
  KeyedCompare cmp = gCompare;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Keyed> v = items;
    state.ResumeTiming();
    std::sort(v.begin(), v.end(), [&](const Keyed& a, const Keyed& b) { return cmp(0, nullptr, &a, &b) < 0; });
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_List_QuickSort)->Arg(100000);
BENCHMARK(BM_Vector_QuickSort)->Arg(100000);


}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("ListBench", {});
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nLIST time / std::vector time (CPU time):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_List_", 0) != 0) continue;
    std::string twin = "BM_Vector_" + name.substr(8);
    auto it = reporter.times.find(twin);
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-36s %8.2f\n", name.substr(8).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  return 0;
}
