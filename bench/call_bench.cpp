// The cost of one effect call through the host's call path, against calling
// the same entry point directly, at 1920 x 1080 x 32 bits:
// - direct: the no-op entry called with records prepared once;
// - through the host: a frame parade holding one no-op effect plug-in (the
//   test folder's sample effect, loaded from its .tvx), rendered: the
//   wrapper (records, effect reference, locked data handles, modal counter,
//   message check), the parameters sought and locked and the two worlds
//   locked and wrapped.
// After the run the difference per call is printed.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <cstdio>

#include "BM.h"
#include "FLT.h"
#include "PF_Effect.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

PF_Result Nop(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*, void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  return 0;
}
PF_EntryFunc volatile gEntry = Nop;

BM_World NewFrame() {
  Rect b{0, 0, kHeight, kWidth};
  BM_World w = nullptr;
  BM_NewWorld(nullptr, BM_Flag_KeepLocal | BM_Flag_Clear, &b, 32, 0, nullptr, &w);
  return w;
}

BM_World gInput = nullptr, gOutput = nullptr;
FLT_Parade gParade = nullptr;

void BM_DirectCall(benchmark::State& state) {
  PF_InputRecord in{};
  PF_OutputRecord out{};
  PFWorld world{};
  PF_ParamDef input{};
  PF_ParamDef* params[] = {&input, nullptr};
  for (auto _ : state) {
    out = PF_OutputRecord{};
    benchmark::DoNotOptimize(gEntry(PF_Cmd_Render, &in, &out, params, &world, nullptr));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DirectCall);

void BM_HostCall(benchmark::State& state) {
  FLT_FrameParade fp = nullptr;
  if (FLT_NewFrameParade(gParade, kWidth, kHeight, 1, &fp)) {
    state.SkipWithError("no frame parade");
    return;
  }
  for (auto _ : state) {
    if (FLT_RenderFrParade(fp, 0, gInput, gOutput)) state.SkipWithError("render failed");
    benchmark::ClobberMemory();
  }
  FLT_DisposeFrParade(fp);
}
BENCHMARK(BM_HostCall);

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("CallBench", {FLT_PackageNumber});
  const char* folders[] = {TAVELO_NOP_PLUGIN_DIR, nullptr};
  int16_t cls = 0;
  Boolean32 found = 0;
  FLTp_ScanPluginFolders(folders, 1);
  FLTp_FindClass("TVLO Sample Effect", &cls, &found);
  if (!found) {
    std::fprintf(stderr, "the sample effect plug-in was not found in %s\n", TAVELO_NOP_PLUGIN_DIR);
    return 1;
  }
  gInput = NewFrame();
  gOutput = NewFrame();
  FLT_NewParade(nullptr, nullptr, &gParade);
  FLT_Sequence s = nullptr;
  uint32_t flags = 0;
  FLT_NewSequence(cls, nullptr, 0, nullptr, &flags, &s, &found);
  FLT_InsertSeqParade(gParade, s, -1);
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double direct = reporter.Time("BM_DirectCall"), host = reporter.Time("BM_HostCall");
  if (direct > 0 && host > 0)
    std::printf("\nOne no-op plug-in render through the host: %.3f us (direct call %.4f us, %.0fx)\n",
                host / 1000.0, direct / 1000.0, host / direct);
  FLT_DisposeParade(gParade);
  BM_DisposeWorld(gInput);
  BM_DisposeWorld(gOutput);
  benchmark::Shutdown();
  return 0;
}
