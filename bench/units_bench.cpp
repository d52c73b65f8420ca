// Stream values in user units: reading a value at a time through the
// translation table (BEE_GetStreamFPV: lookup, time mapping, evaluation,
// conversion, validation) against evaluating the same stream directly
// (TDB_GetValueF at the same layer time), for Position, Scale and Anchor
// Point of a layer with two keys; and setting a value on a stream of 1,000
// keys (BEE_CmdSetStreamFPV duplicates the stream for every set) against
// duplicating it alone. Prints the ratios after the runs (CPU time).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>
#include <cstring>

#include "BEE.h"
#include "TDB.h"
#include "U.h"

namespace {

BEE_Layer gLayer = nullptr;
const int32_t kIndices[] = {BEE_StreamPosition, BEE_StreamScale, BEE_StreamAnchorPoint};

void Setup(int32_t keys) {
  BEE_NewProject();
  const BEE_CompSettings s = tv::bench::CompSettings("Bench", 640, 480, Time{3600, 1});
  BEE_Item comp = nullptr;
  BEE_CmdNewComp(nullptr, &s, &comp);
  BEE_SolidSettings solid{};
  std::strcpy(solid.name, "S");
  solid.color = 0xFFFFFFFF;
  solid.width = solid.height = 100;
  BEE_CmdNewSolidLayer(comp, &solid, &gLayer);
  for (int32_t index : kIndices) {
    BEE_CmdSetStreamVary(gLayer, index, nullptr, 1);
    for (int32_t k = 0; k < keys; ++k) {
      BEE_StreamValue v{};
      v.values[0] = 10.0 + k;
      v.values[1] = 20.0 + k;
      const Time t{k + 1, 1};
      BEE_CmdSetStreamFPV(gLayer, index, nullptr, &t, &v);
    }
  }
  BEE_ClearUndoRedo();
}

void Get_Engine(benchmark::State& st) {
  Setup(2);
  const int32_t index = kIndices[st.range(0)];
  int32_t f = 0;
  for (auto _ : st) {
    BEE_StreamValue v{};
    const Time t{f, 30};
    BEE_GetStreamFPV(gLayer, index, nullptr, &t, &v);
    benchmark::DoNotOptimize(v);
    f = (f + 1) & 63;
  }
}

void Get_Direct(benchmark::State& st) {
  Setup(2);
  BEE_StreamRef ref{gLayer, kIndices[st.range(0)]};
  TDB_Stream s = nullptr;
  BEE_StreamLookup(&ref, &s);
  int32_t f = 0;
  for (auto _ : st) {
    double v[4] = {};
    const Time t{f, 30};
    TDB_GetValueF(s, &t, 0, 0, v, nullptr);
    benchmark::DoNotOptimize(v);
    f = (f + 1) & 63;
  }
}

void Set_Engine(benchmark::State& st) {
  Setup(1000);
  int32_t f = 0;
  for (auto _ : st) {
    BEE_StreamValue v{};
    v.values[0] = f;
    v.values[1] = f;
    const Time t{500, 1};
    BEE_CmdSetStreamFPV(gLayer, BEE_StreamPosition, nullptr, &t, &v);
    f = (f + 1) & 1023;
  }
  BEE_ClearUndoRedo();
}

void Set_DuplicateOnly(benchmark::State& st) {
  Setup(1000);
  BEE_StreamRef ref{gLayer, BEE_StreamPosition};
  TDB_Stream s = nullptr;
  BEE_StreamLookup(&ref, &s);
  for (auto _ : st) {
    TDB_Stream d = nullptr;
    TDB_DuplicateStream(s, &d);
    TDB_DisposeStream(d);
  }
}

BENCHMARK(Get_Engine)->DenseRange(0, 2);
BENCHMARK(Get_Direct)->DenseRange(0, 2);
BENCHMARK(Set_Engine)->Unit(benchmark::kMicrosecond);
BENCHMARK(Set_DuplicateOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("units_bench", {BEE_PackageNumber});
  if (!packages.ok()) return 1;
  Up_SetInteract(0);
  tv::bench::RatioReporter reporter;
  tv::bench::RunBenchmarks(argc, argv, reporter);
  std::printf("\nRatios (CPU time, engine / baseline):\n");
  reporter.PrintRatios("Get_Engine", "Get_Direct", {"Position", "Scale", "Anchor Point"},
                       "  %s value in user units: %.2f x direct evaluation\n");
  if (const double r = reporter.Ratio("Set_Engine", "Set_DuplicateOnly"); r > 0)
    std::printf("  set a value on a 1,000-key stream: %.2f x duplicating it\n", r);
  return 0;
}
