// Composition rendering at 1080p: two full-frame layers with keyframed
// position, scale and rotation over 100 frames, against MLT's `melt`
// rendering the same composition (when it is installed; its CPU time is the
// child's, divided by the frames), and a 10-layer composition with masks,
// a blur effect and motion blur. Prints CPU time per frame and the ratio.
#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "BEE.h"
#include "FLT.h"
#include "OM.h"
#include "T.h"
#include "U.h"

namespace {

constexpr int kW = 1920, kH = 1080, kFrames = 100;

BEE_Item gComp = nullptr;
BM_World gFrame = nullptr;
std::array<BEE_Layer, 2> gTwo{};  // the two-layer composition's layers

// Two linear keys at the first and the last frame, given in user units
// (percent, degrees, pixels) and stored in the stream's own.
void Keys(BEE_Layer layer, int32_t index, std::array<double, 2> a, std::array<double, 2> b) {
  double ia[BEE_MaxStreamValues] = {a[0], a[1]}, ib[BEE_MaxStreamValues] = {b[0], b[1]};
  BEE_ConvertStreamFPV(layer, index, 0, ia);
  BEE_ConvertStreamFPV(layer, index, 0, ib);
  std::copy_n(ia, 2, a.begin());
  std::copy_n(ib, 2, b.begin());
  BEE_StreamRef ref{layer, index};
  TDB_Stream s = nullptr, d = nullptr;
  BEE_StreamLookup(&ref, &s);
  TDB_DuplicateStream(s, &d);
  TDB_SetConstant(d, 0, nullptr, 0);
  const Time t0{0, 30}, t1{kFrames - 1, 30};
  TDB_InsertKeyF(d, &t0, 0, 1, a.data(), TDB_InterpLinear, TDB_InterpLinear);
  TDB_InsertKeyF(d, &t1, 0, 1, b.data(), TDB_InterpLinear, TDB_InterpLinear);
  BEE_CmdSetStreamKeys(layer, index, d);
}

BEE_Layer Solid(uint32_t colour, uint16_t w, uint16_t h) {
  BEE_SolidSettings s{};
  std::strcpy(s.name, "S");
  s.color = colour;
  s.width = w;
  s.height = h;
  BEE_Layer l = nullptr;
  BEE_CmdNewSolidLayer(gComp, &s, &l);
  return l;
}

void NewComp() {
  BEE_NewProject();
  const BEE_CompSettings s = tv::bench::CompSettings("Bench", kW, kH, Time{kFrames, 30});
  BEE_CmdNewComp(nullptr, &s, &gComp);
  if (!gFrame) {
    const Rect r{0, 0, kH, kW};
    BM_NewWorld(nullptr, 0, &r, 32, 0, nullptr, &gFrame);
  }
}

// The two-layer composition; melt gets the same geometry (rect and rotation
// keyframed linearly between the first and the last frame).
void TwoLayers() {
  NewComp();
  BEE_Layer a = Solid(0xFFC03020, kW, kH);
  Keys(a, BEE_StreamScale, {100, 100}, {60, 60});
  Keys(a, BEE_StreamRotation, {0, 0}, {20, 0});
  BEE_Layer b = Solid(0xFF2040C0, kW, kH);
  gTwo = {a, b};
  Keys(b, BEE_StreamPosition, {960, 540}, {1200, 640});
  Keys(b, BEE_StreamScale, {50, 50}, {80, 80});
  Keys(b, BEE_StreamRotation, {0, 0}, {-45, 0});
  BEE_ClearUndoRedo();
}

void TenLayers() {
  NewComp();
  int16_t blur = -1;
  Boolean32 found = 0;
  FLTp_FindClass(FLT_MatchFastBlur, &blur, &found);
  BEE_CmdSetCompSwitch(gComp, BEE_CompSwitchMotionBlur, 1);
  for (int i = 0; i < 10; ++i) {
    BEE_Layer l = Solid(0xFF000000u | (0x1F3D5Bu * (i + 1) & 0xFFFFFF), 640, 480);
    Keys(l, BEE_StreamPosition, {200.0 + 150 * i, 300}, {300.0 + 150 * i, 700});
    Keys(l, BEE_StreamRotation, {0, 0}, {30.0 * (i % 3), 0});
    OM_Shape shape = nullptr;
    const FixedRect ob{20 << 16, 20 << 16, 620 << 16, 460 << 16};
    OM_NewShape(OM_TypeOval, &ob, &shape);
    OM_SetShapeType(OM_TypePath, shape);
    BEE_CmdAddMask(l, shape, nullptr);
    OM_DisposeShape(shape);
    if (i % 3 == 0 && found) BEE_CmdApplyEffect(l, blur, nullptr);
    BEE_CmdSetLayerSwitch(l, BEE_SwitchMotionBlur, 1);
  }
  BEE_ClearUndoRedo();
}

void RenderFrames(benchmark::State& st) {
  int32_t f = 0;
  for (auto _ : st) {
    BEE_RenderRequest rq{{f, 30}, {1, 30}, 0, 0, -1, {0, 0}};
    if (BEEp_RenderItemFrame(gComp, &rq, gFrame) != 0) {
      st.SkipWithError("render failed");
      break;
    }
    f = (f + 1) % kFrames;
  }
}

void TwoLayers_Engine(benchmark::State& st) {
  BEE_SetRenderThreads(1);
  TwoLayers();
  RenderFrames(st);
}

// The same two layers with the collapse switch: the solids are filled at
// their transformed size over the part that reaches the frame.
void TwoLayers_Rasterized(benchmark::State& st) {
  BEE_SetRenderThreads(1);
  TwoLayers();
  for (BEE_Layer l : gTwo) BEE_CmdSetLayerSwitch(l, BEE_SwitchCollapse, 1);
  BEE_ClearUndoRedo();
  RenderFrames(st);
}

void TenLayers_Engine(benchmark::State& st) {
  BEE_SetRenderThreads(1);
  TenLayers();
  RenderFrames(st);
}

// Wall time per frame with the rows of the transform on st.range(0) threads
// (1: the caller's thread alone), the same run measuring both.
void TwoLayers_Threads(benchmark::State& st) {
  BEE_SetRenderThreads(static_cast<int32_t>(st.range(0)));
  TwoLayers();
  RenderFrames(st);
  BEE_SetRenderThreads(1);
}

void TenLayers_Threads(benchmark::State& st) {
  BEE_SetRenderThreads(static_cast<int32_t>(st.range(0)));
  TenLayers();
  RenderFrames(st);
  BEE_SetRenderThreads(1);
}

// The same two layers as an MLT XML document: each layer is a colour track
// over a transparent one, placed by an affine transition whose rectangle
// (the layer's scaled bounds about its position) and rotation about the
// centre are keyframed at the first and the last frame. The transition's
// own property names are used (rect, fix_rotate_x, distort): with the
// "transition." prefix melt ignores them and draws the top track untouched,
// which costs almost nothing and compares with no transform at all.
std::string MeltXml() {
  char buf[4096];
  std::snprintf(buf, sizeof buf,
                "<mlt><profile width=\"%d\" height=\"%d\" frame_rate_num=\"30\" frame_rate_den=\"1\" "
                "sample_aspect_num=\"1\" sample_aspect_den=\"1\" display_aspect_num=\"16\" display_aspect_den=\"9\" "
                "progressive=\"1\" colorspace=\"709\"/>"
                "<producer id=\"a\" in=\"0\" out=\"%d\"><property name=\"mlt_service\">color</property>"
                "<property name=\"resource\">0xc03020ff</property></producer>"
                "<producer id=\"b\" in=\"0\" out=\"%d\"><property name=\"mlt_service\">color</property>"
                "<property name=\"resource\">0x2040c0ff</property></producer>"
                "<producer id=\"bg\" in=\"0\" out=\"%d\"><property name=\"mlt_service\">color</property>"
                "<property name=\"resource\">0x00000000</property></producer>"
                "<tractor id=\"t\" in=\"0\" out=\"%d\"><multitrack>"
                "<track producer=\"bg\"/><track producer=\"a\"/><track producer=\"b\"/></multitrack>"
                "<transition><property name=\"mlt_service\">affine</property>"
                "<property name=\"a_track\">0</property><property name=\"b_track\">1</property>"
                "<property name=\"rect\">0=0 0 1920 1080;%d=384 216 1152 648</property>"
                "<property name=\"fix_rotate_x\">0=0;%d=20</property>"
                "<property name=\"distort\">1</property></transition>"
                "<transition><property name=\"mlt_service\">affine</property>"
                "<property name=\"a_track\">0</property><property name=\"b_track\">2</property>"
                "<property name=\"rect\">0=480 270 960 540;%d=432 208 1536 864</property>"
                "<property name=\"fix_rotate_x\">0=0;%d=-45</property>"
                "<property name=\"distort\">1</property></transition>"
                "</tractor></mlt>",
                kW, kH, kFrames - 1, kFrames - 1, kFrames - 1, kFrames - 1, kFrames - 1, kFrames - 1, kFrames - 1,
                kFrames - 1);
  return buf;
}

bool gMelt = false;
double gMeltMs = 0;  // melt's CPU time per frame, the last run

// One iteration: melt renders the 100 frames to raw RGBA on /dev/null (every
// frame is composited and converted; no display) on one thread, without
// dropping frames (real_time=-1); the time reported is the child's CPU time
// per frame. Its input is /dev/null: melt reads keys from a terminal, and
// a background run that tries to read one stops and never ends.
void TwoLayers_Melt(benchmark::State& st) {
  const char* path = "/tmp/tavelo_render_bench.mlt";
  if (FILE* f = std::fopen(path, "w")) {
    const std::string xml = MeltXml();
    std::fwrite(xml.data(), 1, xml.size(), f);
    std::fclose(f);
  }
  for (auto _ : st) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const int rc = std::system(
        "timeout 900 melt -quiet /tmp/tavelo_render_bench.mlt -consumer avformat:/dev/null f=rawvideo pix_fmt=rgba "
        "real_time=-1 threads=1 </dev/null >/dev/null 2>&1");
    getrusage(RUSAGE_CHILDREN, &after);
    if (rc != 0) {
      st.SkipWithError("melt failed");
      break;
    }
    auto secs = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    const double cpu = secs(after.ru_utime) + secs(after.ru_stime) - secs(before.ru_utime) - secs(before.ru_stime);
    st.SetIterationTime(cpu / kFrames);
    gMeltMs = cpu / kFrames * 1000;
  }
}

}  // namespace

BENCHMARK(TwoLayers_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(TwoLayers_Rasterized)->Unit(benchmark::kMillisecond);
BENCHMARK(TenLayers_Engine)->Unit(benchmark::kMillisecond);
// CPU times of these count every thread of the process.
BENCHMARK(TwoLayers_Threads)->Arg(1)->Arg(2)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(TenLayers_Threads)->Arg(1)->Arg(2)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  tv::bench::Packages packages("render_bench", {BEE_PackageNumber});
  if (!packages.ok()) return 1;
  Up_SetInteract(0);
  // melt renders the 100 frames once when it is installed (Debian `melt`,
  // installed by scripts/install-deps.sh for the benchmarks only);
  // TAVELO_BENCH_MELT=0 leaves it out.
  const char* askMelt = std::getenv("TAVELO_BENCH_MELT");
  const bool skipMelt = askMelt && std::strcmp(askMelt, "0") == 0;
  const bool haveMelt = std::system("command -v melt >/dev/null 2>&1") == 0;
  gMelt = !skipMelt && haveMelt;
  if (gMelt)
    benchmark::RegisterBenchmark("TwoLayers_Melt", TwoLayers_Melt)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (gFrame) BM_DisposeWorld(gFrame);
  BEE_NewProject();
  const double e = reporter.Time("TwoLayers_Engine"), ten = reporter.Time("TenLayers_Engine");
  std::printf("\nCPU time per 1080p frame (one thread):\n");
  if (e > 0) std::printf("  two animated layers: %.1f ms\n", e);
  if (const double ras = reporter.Time("TwoLayers_Rasterized"); ras > 0)
    std::printf("  the same, collapsed (solids drawn at their transformed size): %.1f ms\n", ras);
  if (ten > 0) std::printf("  ten layers with masks, blur, motion blur: %.1f ms (%.2f fps)\n", ten, 1000.0 / ten);
  const double t1 = reporter.Real("TwoLayers_Threads/1/process_time/real_time"), t2 = reporter.Real("TwoLayers_Threads/2/process_time/real_time");
  const double u1 = reporter.Real("TenLayers_Threads/1/process_time/real_time"), u2 = reporter.Real("TenLayers_Threads/2/process_time/real_time");
  const double c1 = reporter.Time("TenLayers_Threads/1/process_time/real_time"), c2 = reporter.Time("TenLayers_Threads/2/process_time/real_time");
  std::printf("Wall time per frame, pixel routines' rows on 1 and 2 threads (this machine has %d):\n",
              static_cast<int>(std::thread::hardware_concurrency()));
  if (t1 > 0 && t2 > 0) std::printf("  two animated layers: %.1f / %.1f ms, speed-up %.2f\n", t1, t2, t1 / t2);
  if (u1 > 0 && u2 > 0)
    std::printf("  ten layers: %.1f / %.1f ms (%.2f / %.2f fps), speed-up %.2f; CPU of all threads %.1f / %.1f ms\n",
                u1, u2, 1000.0 / u1, 1000.0 / u2, u1 / u2, c1, c2);
  const double m = gMeltMs;
  if (!haveMelt)
    std::printf("melt comparison skipped: melt is not installed (scripts/install-deps.sh installs it).\n");
  else if (skipMelt)
    std::printf("melt comparison skipped: TAVELO_BENCH_MELT=0.\n");
  else if (m <= 0)
    std::printf("melt comparison skipped: melt failed (run it on /tmp/tavelo_render_bench.mlt to see why).\n");
  else if (e > 0)
    std::printf("CPU time per frame, two animated layers: engine (one thread) %.1f ms, melt %.1f ms; "
                "engine / melt = %.2f (goal: at most 0.5)\n",
                e, m, e / m);
  return 0;
}
