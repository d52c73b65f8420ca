// Pixel routines at 1920 x 1080 in megapixels per second: the transfer modes
// normal, copy, add, multiply, screen, difference and dissolve through
// PF_TransferRect, blend and premultiplication; against pixman's OVER, ADD,
// MULTIPLY, SCREEN and DIFFERENCE operators on the same buffers in the same
// run (pixman's b8g8r8a8 format has our byte order: alpha first in memory).
// pixman works on premultiplied pixels and rounds differently: the pairs are
// compared for speed only. After the run the ratio ours / pixman (time) is
// printed for every pair.
#include <benchmark/benchmark.h>

#include "PFBenchSupport.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "M.h"
#include "PF.h"
#include "U.h"

#ifdef TAVELO_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kRowBytes = 4 * kWidth + 4;

struct Frame {
  std::vector<uint8_t> bytes;
  PFWorld world{};
  explicit Frame(uint32_t seed, bool opaque) : bytes(static_cast<size_t>(kRowBytes) * kHeight) {
    std::mt19937 gen(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(gen());
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* p = &bytes[static_cast<size_t>(y) * kRowBytes + 4 * x];
        if (opaque) p[0] = 255;
        // Premultiplied-valid colours, so pixman's operators see sane input.
        for (int c = 1; c < 4; ++c) p[c] = static_cast<uint8_t>(p[c] * p[0] / 255);
      }
    world.data = reinterpret_cast<char*>(bytes.data());
    world.rowBytes = kRowBytes;
    world.width = kWidth;
    world.height = kHeight;
    world.kindMagic = PF_WorldKind_Wrapped;
  }
};

Frame& Source() {
  static Frame f(1, false);
  return f;
}
Frame& Dest() {
  static Frame f(2, true);
  return f;
}

void SetPixels(benchmark::State& state) {
  const double pixels = static_cast<double>(state.iterations()) * kWidth * kHeight;
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void Transfer(benchmark::State& state, int32_t mode, uint8_t opacity) {
  Frame dst = Dest();
  PF_CompositeMode m{mode, 17, opacity, 0, {}};
  for (auto _ : state) {
    PF_TransferRect(nullptr, 1, 0, 0, nullptr, &Source().world, &m, nullptr, 0, 0, &dst.world);
    benchmark::ClobberMemory();
  }
  SetPixels(state);
}

void BM_PF_Over(benchmark::State& s) { Transfer(s, PF_Xfer_Normal, 255); }
void BM_PF_NormalHalf(benchmark::State& s) { Transfer(s, PF_Xfer_Normal, 128); }
void BM_PF_Copy(benchmark::State& s) { Transfer(s, PF_Xfer_Copy, 255); }
void BM_PF_Add(benchmark::State& s) { Transfer(s, PF_Xfer_Add, 255); }
void BM_PF_Multiply(benchmark::State& s) { Transfer(s, PF_Xfer_Multiply, 255); }
void BM_PF_Screen(benchmark::State& s) { Transfer(s, PF_Xfer_Screen, 255); }
void BM_PF_Difference(benchmark::State& s) { Transfer(s, PF_Xfer_Difference, 255); }
void BM_PF_Dissolve(benchmark::State& s) { Transfer(s, PF_Xfer_Dissolve, 255); }
BENCHMARK(BM_PF_Over)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_NormalHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Add)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Multiply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Screen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Difference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Dissolve)->Unit(benchmark::kMillisecond);

void BM_PF_Blend(benchmark::State& state) {
  Frame dst = Dest();
  for (auto _ : state) {
    PF_Blend(nullptr, &Source().world, &Dest().world, 0x6000, &dst.world);
    benchmark::ClobberMemory();
  }
  SetPixels(state);
}
BENCHMARK(BM_PF_Blend)->Unit(benchmark::kMillisecond);

void BM_PF_PremulForward(benchmark::State& state) {
  Frame w = Source();
  for (auto _ : state) {
    state.PauseTiming();
    w.bytes = Source().bytes;
    state.ResumeTiming();
    PF_Premul(nullptr, 1, &w.world);
  }
  SetPixels(state);
}
BENCHMARK(BM_PF_PremulForward)->Unit(benchmark::kMillisecond);

void BM_PF_PremulBack(benchmark::State& state) {
  Frame w = Source();
  for (auto _ : state) {
    state.PauseTiming();
    w.bytes = Source().bytes;
    state.ResumeTiming();
    PF_Premul(nullptr, 0, &w.world);
  }
  SetPixels(state);
}
BENCHMARK(BM_PF_PremulBack)->Unit(benchmark::kMillisecond);

#ifdef TAVELO_HAVE_PIXMAN
pixman_image_t* Image(Frame& f) {
  return pixman_image_create_bits(PIXMAN_b8g8r8a8, kWidth, kHeight, reinterpret_cast<uint32_t*>(f.bytes.data()),
                                  kRowBytes);
}
void Pixman(benchmark::State& state, pixman_op_t op) {
  Frame dst = Dest();
  pixman_image_t* s = Image(Source());
  pixman_image_t* d = Image(dst);
  for (auto _ : state) {
    pixman_image_composite32(op, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetPixels(state);
}
void BM_Pixman_Over(benchmark::State& s) { Pixman(s, PIXMAN_OP_OVER); }
void BM_Pixman_Add(benchmark::State& s) { Pixman(s, PIXMAN_OP_ADD); }
void BM_Pixman_Multiply(benchmark::State& s) { Pixman(s, PIXMAN_OP_MULTIPLY); }
void BM_Pixman_Screen(benchmark::State& s) { Pixman(s, PIXMAN_OP_SCREEN); }
void BM_Pixman_Difference(benchmark::State& s) { Pixman(s, PIXMAN_OP_DIFFERENCE); }
BENCHMARK(BM_Pixman_Over)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Add)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Multiply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Screen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Difference)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  const tv::bench::PFBenchRun run("PFBench", &argc, argv);
  const tv::bench::RatioReporter& reporter = run.reporter;
  std::printf("\nPF time / pixman time (CPU time; below 1 is faster):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_PF_", 0) != 0) continue;
    auto it = reporter.times.find("BM_Pixman_" + name.substr(6));
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-12s %8.2f\n", name.substr(6).c_str(), t / it->second);
  }
  return 0;
}
