// The project engine's hot paths: composition <-> layer time mapping and
// layer activity (once per layer per frame), against plain double
// arithmetic; collapsing "Time Change" commands (scrubbing) against a
// minimal std::function undo stack doing the same state change; and undo
// and redo of a group that made 1,000 layers; building a project of N
// compositions that nest one another 32 deep, whose cost per composition
// must not grow with N (the baseline is the same build at N = 100). Prints
// the ratios after the runs (CPU time).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "BEE.h"
#include "T.h"
#include "U.h"

namespace {

BEE_Item gComp = nullptr;
BEE_Layer gLayer = nullptr;

void Setup(Ratio stretch) {
  BEE_NewProject();
  const BEE_CompSettings s = tv::bench::CompSettings("Bench", 640, 480, Time{60, 1}, 0x1DF852);  // 29.97 fps
  BEE_CmdNewComp(nullptr, &s, &gComp);
  BEE_SolidSettings solid{};
  std::strcpy(solid.name, "S");
  solid.color = 0xFFFFFFFF;
  solid.width = solid.height = 100;
  BEE_CmdNewSolidLayer(gComp, &solid, &gLayer);
  BEE_CmdSetLayerTimes(gLayer, Time{1001, 30000}, Time{0, 600}, Time{30, 1});
  BEE_CmdSetLayerStretch(gLayer, stretch);
  BEE_ClearUndoRedo();
}

const Ratio kStretches[] = {{1, 1}, {73, 100}, {-1, 1}};

void TimeMap_Engine(benchmark::State& st) {
  Setup(kStretches[st.range(0)]);
  int32_t f = 0;
  for (auto _ : st) {
    Time c{f * 1001, 30000}, l{}, back{};
    BEE_CompToLayerTime(gLayer, c, &l);
    BEE_LayerToCompTime(gLayer, l, &back);
    benchmark::DoNotOptimize(back);
    f = (f + 1) & 1023;
  }
}

void TimeMap_Double(benchmark::State& st) {
  Ratio s = kStretches[st.range(0)];
  double stretch = double(s.num) / s.den, offset = 1001.0 / 30000.0;
  int32_t f = 0;
  for (auto _ : st) {
    double c = f * 1001 / 30000.0;
    double l = (c - offset) / stretch - (s.num < 0 ? 1.0 / 300 : 0.0);
    double back = (l + (s.num < 0 ? 1.0 / 300 : 0.0)) * stretch + offset;
    benchmark::DoNotOptimize(back);
    f = (f + 1) & 1023;
  }
}

void LayerActive_Engine(benchmark::State& st) {
  Setup(kStretches[st.range(0)]);
  int32_t f = 0;
  for (auto _ : st) {
    Boolean32 active = 0;
    BEE_LayerActive(gLayer, Time{f * 1001, 30000}, 0, &active, nullptr);
    benchmark::DoNotOptimize(active);
    f = (f + 1) & 1023;
  }
}

void Scrub_Engine(benchmark::State& st) {
  Setup(Ratio{1, 1});
  int32_t f = 0;
  for (auto _ : st) {
    BEE_CmdSeekItemToTime(gComp, Time{f * 1001, 30000});
    f = (f + 1) & 1023;
  }
  int32_t records = 0;
  BEEp_GetStackCounts(&records, nullptr, nullptr, nullptr);
  st.counters["undo records"] = records;  // collapsing keeps one
}

void Scrub_StdFunction(benchmark::State& st) {
  struct Entry {
    std::function<void()> undo;
  };
  std::vector<Entry> stack;
  Time current{0, 600};
  int32_t f = 0;
  for (auto _ : st) {
    Time old = current, now{f * 1001, 30000};
    current = now;
    if (stack.empty()) stack.push_back({[&current, old] { current = old; }});
    benchmark::DoNotOptimize(current);
    f = (f + 1) & 1023;
  }
}

void UndoRedo1000Layers(benchmark::State& st) {
  Setup(Ratio{1, 1});
  BEE_SolidSettings solid{};
  std::strcpy(solid.name, "L");
  solid.width = solid.height = 10;
  BEE_StartGroup("Many", 0);
  for (int i = 0; i < 1000; ++i) {
    BEE_Layer l = nullptr;
    BEE_CmdNewSolidLayer(gComp, &solid, &l);
  }
  BEE_EndGroup();
  for (auto _ : st) {
    BEE_Undo();
    BEE_Redo();
  }
}

// N compositions, each with a solid and (but every 32nd) a layer nesting
// the one made before it.
void NestedComps(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  BEE_SolidSettings solid{};
  std::strcpy(solid.name, "S");
  solid.width = solid.height = 8;
  for (auto _ : st) {
    BEE_NewProject();
    BEE_Item previous = nullptr;
    for (int i = 0; i < n; ++i) {
      const BEE_CompSettings s = tv::bench::CompSettings("N", 32, 24, Time{1, 1});
      BEE_Item comp = nullptr;
      BEE_Layer l = nullptr;
      BEE_CmdNewComp(nullptr, &s, &comp);
      BEE_CmdNewSolidLayer(comp, &solid, &l);
      if (previous && i % 32 != 0) BEE_CmdNewLayer(comp, previous, &l);
      previous = comp;
    }
  }
  st.counters["per comp"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                                         benchmark::Counter::kInvert);
}

BENCHMARK(TimeMap_Engine)->DenseRange(0, 2);
BENCHMARK(TimeMap_Double)->DenseRange(0, 2);
BENCHMARK(LayerActive_Engine)->DenseRange(0, 2);
BENCHMARK(Scrub_Engine);
BENCHMARK(Scrub_StdFunction);
BENCHMARK(UndoRedo1000Layers)->Unit(benchmark::kMillisecond);
BENCHMARK(NestedComps)->Arg(100)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("bee_bench", {BEE_PackageNumber});
  if (!packages.ok()) return 1;
  Up_SetInteract(0);
  tv::bench::RatioReporter reporter;
  tv::bench::RunBenchmarks(argc, argv, reporter);
  std::printf("\nRatios (CPU time, engine / baseline):\n");
  reporter.PrintRatios("TimeMap_Engine", "TimeMap_Double", {"100%", "73%", "-100%"},
                       "  time map round trip at %s: %.1f x double\n");
  if (const double r = reporter.Ratio("Scrub_Engine", "Scrub_StdFunction"); r > 0)
    std::printf("  collapsing time change: %.1f x std::function stack\n", r);
  // Linear when the time per composition stays at the 100-composition figure.
  for (const char* n : {"400", "1600"}) {
    const double big = reporter.Ratio(std::string("NestedComps/") + n, "NestedComps/100");
    if (big > 0) std::printf("  %s nested compositions: %.1f x the time of 100 per composition\n", n, big * 100 / std::stod(n));
  }
  return 0;
}
