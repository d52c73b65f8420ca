// The footage module framework: gathering a numbered sequence of 10,000
// files (one sorted pass over the folder) against listing and sorting the
// folder with std::filesystem, and drawing a 1080p frame through the test
// driver (PIN_DrawFrame: checks, the module's slot, its decoded frame copied
// row by row) against a plain copy of the same rows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "PIN_internal.h"
#include "PinTestDriver.h"

namespace {

constexpr int kFiles = 10000;
constexpr int32_t kWidth = 1920, kHeight = 1080;

constexpr tv::pin::Driver kDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", tv::test::pin::TsfBirth},
};

struct Fixture {
  std::string dir, folder;
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tvpinbench-XXXXXX";
    dir = ::mkdtemp(pattern.data());
    folder = dir + "/seq";
    std::filesystem::create_directory(folder);
    // Created out of order, so the listing has something to sort.
    for (int i = 0; i < kFiles; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "/shot_%05d.tsf", (i * 7919) % kFiles);
      tv::test::pin::WriteTsf(folder + name, 64, 36, 1);
    }
    tv::test::pin::WriteTsf(dir + "/frame.tsf", kWidth, kHeight, 5);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& F() {
  static Fixture f;
  return f;
}

FILE_SpecH Ref(const std::string& path) {
  FILE_SpecH ref = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0) std::abort();
  return ref;
}

void BM_PIN_GatherSequence(benchmark::State& state) {
  FILE_SpecH ref = Ref(F().folder + "/shot_00000.tsf");
  for (auto _ : state) {
    PIN_SeqSpecH seq = nullptr;
    if (PIN_NewSeqSpecFromFileOptions(ref, PIN_Import_Sequence, &seq) != 0) std::abort();
    int32_t n = 0;
    PIN_GetNumFiles(seq, &n);
    if (n != kFiles) std::abort();
    PIN_DisposeSeqSpec(seq);
  }
  FILE_Dispose(ref);
}
BENCHMARK(BM_PIN_GatherSequence)->Unit(benchmark::kMillisecond);

void BM_Plain_GatherSequence(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(F().folder))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    benchmark::DoNotOptimize(names.data());
  }
}
BENCHMARK(BM_Plain_GatherSequence)->Unit(benchmark::kMillisecond);

struct Frame {
  PIN_SeqSpecH seq = nullptr;
  BM_World world = nullptr;
  Frame() {
    FILE_SpecH ref = Ref(F().dir + "/frame.tsf");
    if (PIN_NewSeqSpecFromFile(ref, &seq) != 0) std::abort();
    FILE_Dispose(ref);
    const Rect bounds{0, 0, kHeight, kWidth};
    if (BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world) != 0) std::abort();
  }
  ~Frame() {
    BM_DisposeWorld(world);
    PIN_DisposeSeqSpec(seq);
  }
};

void BM_PIN_DrawFrame1080(benchmark::State& state) {
  Frame f;
  PIN_DrawParams params{};
  params.time = Time{0, 1};
  if (PIN_DrawFrame(f.seq, f.world, &params) != 0) std::abort();  // decoded once, outside the loop
  for (auto _ : state)
    if (PIN_DrawFrame(f.seq, f.world, &params) != 0) std::abort();
}
BENCHMARK(BM_PIN_DrawFrame1080)->Unit(benchmark::kMicrosecond);

void BM_Plain_DrawFrame1080(benchmark::State& state) {
  Frame f;
  std::vector<uint8_t> source(size_t{4} * kWidth * kHeight, 7);
  for (auto _ : state) {
    tv::pin::PixelLock px(f.world);
    for (int32_t y = 0; y < kHeight; ++y)
      std::memcpy(px.Row(y), source.data() + size_t{4} * kWidth * static_cast<size_t>(y), size_t{4} * kWidth);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Plain_DrawFrame1080)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  tv::pin::SetDriversForTesting(kDrivers);
  tv::bench::Packages packages("PINBench", {PIN_PackageNumber});
  if (!packages.ok()) return 1;
  F();
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nPIN time / plain time (CPU time):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_PIN_", 0) != 0) continue;
    auto it = reporter.times.find("BM_Plain_" + name.substr(7));
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-24s %8.2f\n", name.substr(7).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  return 0;
}
