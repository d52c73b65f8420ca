// The cost of running a layer's effect chain, at 1920 x 1080 x 32 bits,
// against one world copy (PF_WorldCopy) in the same run:
// - a chain of five effects that do nothing (their render returns at once):
//   rendering a frame parade built once, and building, rendering and
//   disposing one per frame (frame setup and setdown included);
// - a chain of five copying effects against five world copies.
// After the run the overheads are printed as a fraction of one copy.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BM.h"
#include "FLT.h"
#include "PF.h"
#include "U.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

PF_Result Nop(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  return 0;
}

BM_World NewFrame() {
  Rect b{0, 0, kHeight, kWidth};
  BM_World w = nullptr;
  BM_NewWorld(nullptr, BM_Flag_KeepLocal | BM_Flag_Clear, &b, 32, 0, nullptr, &w);
  return w;
}

struct Setup {
  BM_World input = NewFrame(), output = NewFrame();
  FLT_Parade nops = nullptr, copies = nullptr;
  Setup() {
    FLT_StaticClass c{"BNCH Nop", "Nop", "Bench", 0, 0x10000, 0xC0000, Nop};
    int16_t nop = 0, copy = 0;
    Boolean32 found = 0;
    FLTp_RegisterStaticClass(&c, &nop);
    FLTp_FindClass(FLT_MatchCopy, &copy, &found);
    FLT_NewParade(nullptr, nullptr, &nops);
    FLT_NewParade(nullptr, nullptr, &copies);
    for (int i = 0; i < 5; ++i) {
      FLT_Sequence s = nullptr;
      uint32_t flags = 0;
      FLT_NewSequence(nop, nullptr, 0, nullptr, &flags, &s, &found);
      FLT_InsertSeqParade(nops, s, -1);
      FLT_NewSequence(copy, nullptr, 0, nullptr, &flags, &s, &found);
      FLT_InsertSeqParade(copies, s, -1);
    }
  }
  ~Setup() {
    FLT_DisposeParade(nops);
    FLT_DisposeParade(copies);
    BM_DisposeWorld(input);
    BM_DisposeWorld(output);
  }
};
Setup* gSetup = nullptr;

void BM_Copy(benchmark::State& state) {
  BM_LockPixels(0, gSetup->input, nullptr);
  BM_LockPixels(0, gSetup->output, nullptr);
  PFWorld in{}, out{};
  PF_MakeBMIntoPF(gSetup->input, nullptr, &in);
  PF_MakeBMIntoPF(gSetup->output, nullptr, &out);
  for (auto _ : state) {
    PF_WorldCopy(nullptr, &in, &out);
    benchmark::ClobberMemory();
  }
  BM_UnlockPixels(gSetup->input);
  BM_UnlockPixels(gSetup->output);
}
BENCHMARK(BM_Copy);

void RenderBuilt(benchmark::State& state, FLT_Parade p) {
  FLT_FrameParade fp = nullptr;
  FLT_NewFrameParade(p, kWidth, kHeight, 1, &fp);
  for (auto _ : state) {
    if (FLT_RenderFrParade(fp, 0, gSetup->input, gSetup->output)) state.SkipWithError("render failed");
    benchmark::ClobberMemory();
  }
  FLT_DisposeFrParade(fp);
}
void BM_FiveNops(benchmark::State& state) { RenderBuilt(state, gSetup->nops); }
void BM_FiveCopies(benchmark::State& state) { RenderBuilt(state, gSetup->copies); }
BENCHMARK(BM_FiveNops);
BENCHMARK(BM_FiveCopies);

void BM_FiveNopsPerFrame(benchmark::State& state) {
  for (auto _ : state) {
    FLT_FrameParade fp = nullptr;
    FLT_NewFrameParade(gSetup->nops, kWidth, kHeight, 1, &fp);
    if (FLT_RenderFrParade(fp, 0, gSetup->input, gSetup->output)) state.SkipWithError("render failed");
    FLT_DisposeFrParade(fp);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FiveNopsPerFrame);

// Keeps real time as well: on a loaded machine the copy's CPU time and its
// wall time differ a lot, so both ratios are printed.
class Reporter : public tv::bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    RatioReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations) real[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  double Real(const std::string& name) const {
    auto it = real.find(name);
    return it == real.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> real;
};

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("FLTBench", {FLT_PackageNumber});
  Setup setup;
  gSetup = &setup;
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double copy = reporter.Time("BM_Copy"), copyReal = reporter.Real("BM_Copy");
  if (copy > 0 && copyReal > 0) {
    std::printf("\nOverhead as a fraction of one 1080p world copy:        CPU     real\n");
    std::printf("  five no-op effects, frame parade built once   %8.4f %8.4f\n", reporter.Time("BM_FiveNops") / copy,
                reporter.Real("BM_FiveNops") / copyReal);
    std::printf("  five no-op effects, frame parade per frame    %8.4f %8.4f\n",
                reporter.Time("BM_FiveNopsPerFrame") / copy, reporter.Real("BM_FiveNopsPerFrame") / copyReal);
    std::printf("  five copying effects minus five copies        %8.4f %8.4f\n",
                (reporter.Time("BM_FiveCopies") - 5 * copy) / copy,
                (reporter.Real("BM_FiveCopies") - 5 * copyReal) / copyReal);
  }
  gSetup = nullptr;
  benchmark::Shutdown();
  return 0;
}
