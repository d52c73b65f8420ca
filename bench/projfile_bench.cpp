// Saving and opening a project of 100 compositions with 20 solid layers
// each, every layer with keyframed position, scale and rotation (5 keys
// each). The baseline writes and reads the same file's bytes with one
// buffered fwrite / fread. Prints the ratios after the runs (wall time).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BEE.h"
#include "FILE.h"
#include "TDB.h"
#include "U.h"

namespace {

std::string gPath;
FILE_SpecH gSpec = nullptr;

void Keyed(BEE_Layer layer, int32_t index, int16_t dimension) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream s = nullptr, d = nullptr;
  BEE_StreamLookup(&ref, &s);
  TDB_DuplicateStream(s, &d);
  TDB_SetConstant(d, 0, nullptr, 0);
  for (int k = 0; k < 5; ++k) {
    const Time t{k * 20, 30};
    const double v[2] = {k * 10.0 + index, k * -3.5 + dimension};
    TDB_InsertKeyF(d, &t, 0, 1, v, TDB_InterpBezier, TDB_InterpBezier);
  }
  BEE_CmdSetStreamKeys(layer, index, d);
}

void Build() {
  BEE_NewProject();
  for (int c = 0; c < 100; ++c) {
    const BEE_CompSettings s = tv::bench::CompSettings(("Comp " + std::to_string(c)).c_str(), 640, 480, Time{10, 1});
    BEE_Item comp = nullptr;
    BEE_CmdNewComp(nullptr, &s, &comp);
    for (int l = 0; l < 20; ++l) {
      BEE_SolidSettings solid{};
      std::snprintf(solid.name, sizeof solid.name, "Solid %d", l);
      solid.color = 0xFF00FF00u + static_cast<uint32_t>(l);
      solid.width = solid.height = 64;
      BEE_Layer layer = nullptr;
      BEE_CmdNewSolidLayer(comp, &solid, &layer);
      Keyed(layer, BEE_StreamPosition, 2);
      Keyed(layer, BEE_StreamScale, 2);
      Keyed(layer, BEE_StreamRotation, 1);
    }
  }
  BEE_ClearUndoRedo();
}

void Save_Project(benchmark::State& st) {
  for (auto _ : st)
    if (BEE_CmdSaveProject(gSpec, 0, 0) != 0) st.SkipWithError("save failed");
}

void Open_Project(benchmark::State& st) {
  for (auto _ : st)
    if (BEE_CmdOpenProject(gSpec, 1, nullptr) != 0) st.SkipWithError("open failed");
}

std::vector<char> FileBytes() {
  std::vector<char> b;
  if (std::FILE* f = std::fopen(gPath.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    b.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(b.data(), 1, b.size(), f) != b.size()) b.clear();
    std::fclose(f);
  }
  return b;
}

void Save_Fwrite(benchmark::State& st) {
  const std::vector<char> bytes = FileBytes();
  const std::string copy = gPath + ".raw";
  for (auto _ : st) {
    std::FILE* f = std::fopen(copy.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    fsync(fileno(f));
    std::fclose(f);
  }
  std::remove(copy.c_str());
}

void Open_Fread(benchmark::State& st) {
  for (auto _ : st) benchmark::DoNotOptimize(FileBytes());
}

BENCHMARK(Save_Project)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Save_Fwrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Open_Project)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Open_Fread)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("projfile_bench", {BEE_PackageNumber});
  if (!packages.ok()) return 1;
  Up_SetInteract(0);
  char dir[] = "/tmp/tv-projfile-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  gPath = std::string(dir) + "/bench.tvp";
  if (FILE_New(gPath.c_str(), FILE_LocFullPath, &gSpec) != 0) return 1;
  Build();
  if (BEE_CmdSaveProject(gSpec, 0, 0) != 0) return 1;
  std::printf("project file: %zu bytes\n", FileBytes().size());
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (engine / one buffered fwrite or fread of the same bytes):\n");
  double s = reporter.Time("Save_Project/real_time"), w = reporter.Time("Save_Fwrite/real_time");
  double o = reporter.Time("Open_Project/real_time"), r = reporter.Time("Open_Fread/real_time");
  if (s > 0 && w > 0) std::printf("  save: %.1f x\n", s / w);
  if (o > 0 && r > 0) std::printf("  open: %.1f x\n", o / r);
  FILE_Dispose(gSpec);
  std::remove(gPath.c_str());
  rmdir(dir);
  return 0;
}
