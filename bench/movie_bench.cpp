// The movie module against the ffmpeg tool on the same work, CPU time of
// every thread (ours: the process's; the tool's: its child process's) and
// wall-clock time: decoding 100 frames of a 1080p H.264 movie to
// Worlds against `ffmpeg -f null`, and encoding 100 rendered 1080p frames to
// H.264 (CRF 18, 4:2:0) against `ffmpeg` encoding the same frames from raw.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "PIN_internal.h"

namespace {

constexpr int kW = 1920, kH = 1080, kFrames = 100;

struct Fixture {
  std::string dir;
  bool ok = false;
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tvmoviebench-XXXXXX";
    dir = ::mkdtemp(pattern.data());
    // The rendered frames, raw ARGB, and the movie made from them.
    std::ofstream raw(dir + "/frames.argb", std::ios::binary);
    std::vector<uint8_t> row(size_t{4} * kW);
    for (int n = 0; n < kFrames; ++n)
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          uint8_t* p = &row[size_t{4} * x];
          p[0] = 255, p[1] = uint8_t(x / 8 + n), p[2] = uint8_t(y / 5 + 2 * n), p[3] = uint8_t((x ^ y) / 16 + n);
        }
        raw.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
      }
    raw.close();
    ok = std::system(("ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt argb -s 1920x1080 -r 24 -i " + dir +
                      "/frames.argb -c:v libx264 -crf 18 -pix_fmt yuv420p " + dir + "/in.mp4")
                         .c_str()) == 0;
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& F() {
  static Fixture f;
  return f;
}

BM_World NewWorld() {
  const Rect bounds{0, 0, static_cast<int16_t>(kH), static_cast<int16_t>(kW)};
  BM_World w = nullptr;
  BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &w);
  return w;
}

// Draft quality (range 0) takes the fast colour conversion, best (1) the exact one.
void BM_Ours_Decode100(benchmark::State& state) {
  BM_World world = NewWorld();
  for (auto _ : state) {
    FILE_SpecH ref = nullptr;
    FILE_New((F().dir + "/in.mp4").c_str(), FILE_LocFullPath, &ref);
    PIN_SeqSpecH seq = nullptr;
    if (PIN_NewSeqSpecFromFile(ref, &seq)) state.SkipWithError("import failed");
    FILE_Dispose(ref);
    for (int n = 0; n < kFrames && seq; ++n) {
      PIN_DrawParams p{};
      p.time = Time{n, 24};
      p.quality = static_cast<int32_t>(state.range(0));
      PIN_DrawFrame(seq, world, &p);
    }
    PIN_DisposeSeqSpec(seq);
  }
  BM_DisposeWorld(world);
}
BENCHMARK(BM_Ours_Decode100)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(1);

// The tool in a child process: its CPU time (every thread) is the counter
// "child_cpu_ms" of each iteration.
void Tool(benchmark::State& state, const std::string& cmd) {
  double cpu = 0;
  for (auto _ : state) {
    const double before = tv::bench::ChildCpuSeconds();
    if (std::system(cmd.c_str())) state.SkipWithError("ffmpeg failed");
    cpu += tv::bench::ChildCpuSeconds() - before;
  }
  state.counters["child_cpu_ms"] = 1000 * cpu / static_cast<double>(state.iterations());
}

void BM_Tool_Decode100(benchmark::State& state) {
  Tool(state, "ffmpeg -nostdin -v error -i " + F().dir + "/in.mp4 -f null -");
}
BENCHMARK(BM_Tool_Decode100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Encoding through the module's exported operations, as a movie render
// drives it: an OutputSpec for the movie module with the codec and rate
// options, started, fed every frame, ended.
void BM_Ours_Encode100(benchmark::State& state) {
  BM_World world = NewWorld();
  std::ifstream raw(F().dir + "/frames.argb", std::ios::binary);
  std::vector<std::vector<uint8_t>> frames(kFrames, std::vector<uint8_t>(size_t{4} * kW * kH));
  for (auto& f : frames) raw.read(reinterpret_cast<char*>(f.data()), static_cast<std::streamsize>(f.size()));
  const int32_t codec = static_cast<int32_t>(tv::MakeFourCC("avc1")), rate = 24 << 16;
  for (auto _ : state) {
    PIN_OutputSpecH out = nullptr;
    FILE_SpecH ref = nullptr;
    if (PIN_NewOutputSpec(tv::MakeFourCC("MooV"), kW, kH, &out) ||
        FILE_New((F().dir + "/ours.mp4").c_str(), FILE_LocFullPath, &ref) || PIN_SetOutputFile(out, ref) ||
        PIN_SetOutSpecificData(out, 1, &codec, 4) || PIN_SetOutSpecificData(out, 3, &rate, 4) ||
        PIN_StartAdding(out)) {
      state.SkipWithError("the movie output could not be made");
      break;
    }
    FILE_Dispose(ref);
    for (int n = 0; n < kFrames; ++n) {
      // The rendered frame lands in the World, as a render would leave it.
      tv::pin::PixelLock px(world);
      for (int y = 0; y < kH; ++y) std::memcpy(px.Row(y), &frames[n][size_t{4} * kW * y], size_t{4} * kW);
      if (PIN_AddFrame(out, n, world)) state.SkipWithError("encode failed");
    }
    if (PIN_EndAdding(out)) state.SkipWithError("encode failed");
    PIN_DisposeOutputSpec(out);
  }
  BM_DisposeWorld(world);
}
BENCHMARK(BM_Ours_Encode100)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

void BM_Tool_Encode100(benchmark::State& state) {
  Tool(state, "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt argb -s 1920x1080 -r 24 -i " + F().dir +
                  "/frames.argb -c:v libx264 -crf 18 -pix_fmt yuv420p " + F().dir + "/tool.mp4");
}
BENCHMARK(BM_Tool_Encode100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  // Linked statically, away from the engine's file: the build's format modules.
  setenv("TAVELO_FORMAT_MODULES", TAVELO_FORMAT_MODULES_DIR, 0);
  tv::bench::Packages packages("MovieBench", {PIN_PackageNumber});
  if (!packages.ok() || !F().ok) return 1;
  tv::bench::RatioReporter reporter;
  tv::bench::RunBenchmarks(argc, argv, reporter);
  const double tool = reporter.Counter("BM_Tool_Decode100/iterations:1/real_time", "child_cpu_ms");
  const double toolEnc = reporter.Counter("BM_Tool_Encode100/iterations:1/real_time", "child_cpu_ms");
  const double draft = reporter.Time("BM_Ours_Decode100/0/iterations:1/process_time/real_time");
  const double best = reporter.Time("BM_Ours_Decode100/1/iterations:1/process_time/real_time");
  const double enc = reporter.Time("BM_Ours_Encode100/iterations:1/process_time/real_time");
  std::printf("\nCPU time (all threads) / the ffmpeg tool's CPU time:\n");
  if (tool > 0 && draft > 0) std::printf("  decode, draft: %.2f\n", draft / tool);
  if (tool > 0 && best > 0) std::printf("  decode, best: %.2f\n", best / tool);
  if (toolEnc > 0 && enc > 0) std::printf("  encode H.264: %.2f\n", enc / toolEnc);
  return 0;
}
