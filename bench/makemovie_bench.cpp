// Movie rendering at 1080p: the demo composition (a full-frame backdrop and
// a square that moves, grows, turns and fades) rendered by BEE_CmdMakeMovie
// to a numbered PNG sequence and to an H.264 movie, against rendering the
// same frames alone through the frame cache (the render loop's own way of
// rendering). The ratio is the output overhead: what writing costs on top
// of rendering. Baselines in the same run: the frames rendered alone plus
// the ffmpeg tool encoding the same frames (written raw once) to PNG files
// and to H.264: the goal compares the whole render-and-write with rendering
// plus the tool's encoding. CPU time of every thread per frame (the
// encoders run threads of their own; the tool's is its child process's),
// and wall time.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BEE.h"
#include "FILE.h"
#include "PIN.h"
#include "T.h"
#include "U.h"

namespace {

constexpr int kW = 1920, kH = 1080;
int gFrames = 100;  // TAVELO_BENCH_MOVIE_FRAMES overrides
BEE_Item gComp = nullptr;
std::string gDir;

void Keys(BEE_Layer layer, int32_t index, const double* a, const double* b, int dims) {
  double ia[4] = {}, ib[4] = {};
  std::memcpy(ia, a, sizeof(double) * dims);
  std::memcpy(ib, b, sizeof(double) * dims);
  BEE_ConvertStreamFPV(layer, index, 0, ia);
  BEE_ConvertStreamFPV(layer, index, 0, ib);
  BEE_StreamRef ref{layer, index};
  TDB_Stream s = nullptr, d = nullptr;
  BEE_StreamLookup(&ref, &s);
  TDB_DuplicateStream(s, &d);
  TDB_SetConstant(d, 0, nullptr, 0);
  const Time t0{0, 30}, t1{gFrames - 1, 30};
  TDB_InsertKeyF(d, &t0, 0, 1, ia, TDB_InterpLinear, TDB_InterpLinear);
  TDB_InsertKeyF(d, &t1, 0, 1, ib, TDB_InterpLinear, TDB_InterpLinear);
  BEE_CmdSetStreamKeys(layer, index, d);
}

// The host's demo composition at 1080p (three times its size, linear keys
// over the frames measured).
void DemoComp() {
  BEE_NewProject();
  const BEE_CompSettings s = tv::bench::CompSettings("Demo", kW, kH, Time{gFrames, 30});
  BEE_CmdNewComp(nullptr, &s, &gComp);
  BEE_SolidSettings blue{};
  std::strcpy(blue.name, "Blue Backdrop");
  blue.color = 0xFF2040C0;
  blue.width = kW;
  blue.height = kH;
  BEE_Layer b = nullptr;
  BEE_CmdNewSolidLayer(gComp, &blue, &b);
  BEE_SolidSettings red{};
  std::strcpy(red.name, "Red Square");
  red.color = 0xFFE02020;
  red.width = red.height = 360;
  BEE_Layer r = nullptr;
  BEE_CmdNewSolidLayer(gComp, &red, &r);
  const double p0[2] = {300, 540}, p1[2] = {1620, 540}, s0[2] = {50, 50}, s1[2] = {150, 150};
  const double r0[1] = {0}, r1[1] = {360}, o0[1] = {100}, o1[1] = {25};
  Keys(r, BEE_StreamPosition, p0, p1, 2);
  Keys(r, BEE_StreamScale, s0, s1, 2);
  Keys(r, BEE_StreamRotation, r0, r1, 1);
  Keys(r, BEE_StreamOpacity, o0, o1, 1);
}

void DropCache() {
  Boolean32 lost = 0;
  int32_t freed = 0;
  BEE_FreeUpSomeMemory(0x7FFFFFFF, 0, &lost, &freed);
}

// The frames alone, rendered and checked in as the render loop does.
void RenderOnly(benchmark::State& st) {
  for (auto _ : st) {
    for (int k = 0; k < gFrames; ++k) {
      const BEE_RenderRequest rq{{k, 30}, {1, 30}, 0, BEE_Request_Cacheable, -1, {0, 0}};
      MC_Receipt receipt = nullptr;
      if (BEE_CheckoutItemFrame(gComp, &rq, kW, kH, &receipt) != 0) {
        st.SkipWithError("render failed");
        return;
      }
      BEE_CheckinItemFrame(receipt);
    }
    st.PauseTiming();
    DropCache();  // no frame is found in the cache next time
    st.ResumeTiming();
  }
}

void MakeMovie(benchmark::State& st, FourCC signature, const char* name) {
  for (auto _ : st) {
    st.PauseTiming();
    std::filesystem::remove_all(gDir);
    std::filesystem::create_directories(gDir);
    PIN_OutputSpecH out = nullptr;
    PIN_NewOutputSpec(signature, kW, kH, &out);
    FILE_SpecH file = nullptr;
    FILE_New((gDir + "/" + name).c_str(), FILE_LocFullPath, &file);
    PIN_SetOutputFile(out, file);
    FILE_Dispose(file);
    if (signature == tv::MakeFourCC("MooV")) {
      const int32_t rate = 30 << 16;
      PIN_SetOutSpecificData(out, 3, &rate, 4);
    }
    BEE_MovieOutput entry{out, 0, 0, 0, 0};
    BEE_RenderSettings s{};
    s.comp = gComp;
    s.outputCount = 1;
    s.outputs = &entry;
    s.start = Time{0, 30};
    s.duration = Time{gFrames, 30};
    s.frameRate = 30u << 16;
    DropCache();
    st.ResumeTiming();
    Boolean32 stopped = 0;
    const ErrorCode err = BEE_CmdMakeMovie(&s, &stopped);
    st.PauseTiming();
    PIN_DisposeOutputSpec(out);
    if (err || entry.framesWritten != gFrames) {
      st.SkipWithError("render failed");
      return;
    }
    st.ResumeTiming();
  }
}

// The frames rendered once into one raw ARGB file (830 MB for 100 frames):
// the tool encodes as many frames as the render writes, so its start-up is
// spread as thinly.
const std::string& RawFrames() {
  static std::string path;
  if (!path.empty()) return path;
  path = gDir + "_raw.argb";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  for (int k = 0; f && k < gFrames; ++k) {
    const BEE_RenderRequest rq{{k, 30}, {1, 30}, 0, BEE_Request_Cacheable, -1, {0, 0}};
    MC_Receipt receipt = nullptr;
    BM_World w = nullptr;
    int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
    Boolean32 failed = 0;
    if (BEE_CheckoutItemFrame(gComp, &rq, kW, kH, &receipt) || BEE_GetReceiptWorld(receipt, &w) ||
        BM_GetWorldInfo(w, &width, &height, &depth, &rowBytes) || BM_LockPixels(0, w, &failed) || failed)
      std::abort();
    const auto* base = static_cast<const char*>(BMp_GetPixBaseAddr(w));
    for (int y = 0; y < height; ++y) std::fwrite(base + static_cast<ptrdiff_t>(y) * rowBytes, 4, kW, f);
    BM_UnlockPixels(w);
    BEE_CheckinItemFrame(receipt);
  }
  if (!f || std::fclose(f) != 0) std::abort();
  DropCache();
  return path;
}

// The ffmpeg tool encoding the raw frames; counter "child_cpu_ms" per frame.
void Tool(benchmark::State& st, const std::string& args) {
  const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt argb -s 1920x1080 -r 30 -i " +
                          RawFrames() + " " + args;
  double cpu = 0;
  for (auto _ : st) {
    st.PauseTiming();
    std::filesystem::remove_all(gDir);
    std::filesystem::create_directories(gDir);
    st.ResumeTiming();
    const double before = tv::bench::ChildCpuSeconds();
    if (std::system(cmd.c_str())) st.SkipWithError("ffmpeg failed");
    cpu += tv::bench::ChildCpuSeconds() - before;
  }
  st.counters["child_cpu_ms"] = 1000 * cpu / static_cast<double>(st.iterations()) / gFrames;
}
void ToolPng(benchmark::State& st) { Tool(st, "-c:v png -pix_fmt rgba -f image2 " + gDir + "/tool_%04d.png"); }
void ToolH264(benchmark::State& st) { Tool(st, "-c:v libx264 -crf 18 -pix_fmt yuv420p " + gDir + "/tool.mp4"); }

void ToPngSequence(benchmark::State& st) { MakeMovie(st, tv::MakeFourCC("OIMG"), "frame_[####].png"); }
void ToH264(benchmark::State& st) { MakeMovie(st, tv::MakeFourCC("MooV"), "movie.mp4"); }

}  // namespace

BENCHMARK(RenderOnly)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ToPngSequence)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ToH264)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ToolPng)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ToolH264)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (const char* n = std::getenv("TAVELO_BENCH_MOVIE_FRAMES")) gFrames = std::max(1, std::atoi(n));
  tv::bench::Packages packages("makemovie_bench", {BEE_PackageNumber, PIN_PackageNumber});
  if (!packages.ok()) return 1;
  Up_SetInteract(0);
  gDir = (std::filesystem::temp_directory_path() / "tavelo_makemovie_bench").string();
  DemoComp();
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  BEE_NewProject();
  std::filesystem::remove_all(gDir);
  std::filesystem::remove(gDir + "_raw.argb");
  const auto cpu = [&](const char* name) { return reporter.Time(std::string(name) + "/iterations:1/process_time/real_time") / gFrames; };
  const auto tool = [&](const char* name) { return reporter.Counter(std::string(name) + "/iterations:1/real_time", "child_cpu_ms"); };
  const double base = cpu("RenderOnly"), png = cpu("ToPngSequence"), h264 = cpu("ToH264");
  const double toolPng = tool("ToolPng"), toolH264 = tool("ToolH264");
  std::printf("\nCPU time (all threads) per 1080p frame over %d frames:\n", gFrames);
  if (base > 0) std::printf("  rendering alone: %.1f ms\n", base);
  if (base > 0 && png > 0 && toolPng > 0)
    std::printf("  to a PNG sequence: %.1f ms; rendering + ffmpeg PNG %.1f ms; ratio %.2f\n", png, base + toolPng,
                png / (base + toolPng));
  if (base > 0 && h264 > 0 && toolH264 > 0)
    std::printf("  to H.264 (MP4): %.1f ms; rendering + ffmpeg H.264 %.1f ms; ratio %.2f\n", h264, base + toolH264,
                h264 / (base + toolH264));
  const auto wall = [&](const char* name) { return reporter.Real(std::string(name) + "/iterations:1/process_time/real_time") / gFrames; };
  std::printf("Wall time per frame: rendering alone %.1f ms, to PNG %.1f ms, to H.264 %.1f ms\n", wall("RenderOnly"),
              wall("ToPngSequence"), wall("ToH264"));
  return 0;
}
