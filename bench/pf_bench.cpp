// Pixel routines at 1920 x 1080 in megapixels per second: the transfer modes
// normal, copy, add, multiply, screen, difference and dissolve through
// PF_TransferRect, blend and premultiplication; against pixman's OVER, ADD,
// MULTIPLY, SCREEN and DIFFERENCE operators on the same buffers in the same
// run (pixman's b8g8r8a8 format has our byte order: alpha first in memory).
// pixman works on premultiplied pixels and rounds differently: the pairs are
// compared for speed only. Normal is measured over an opaque destination
// and over one with random alpha, premultiplied over (mode 21) against OVER
// onto the latter. After the run the ratio ours / pixman (time) is printed
// for every pair.
#include <benchmark/benchmark.h>

#include "PFBenchSupport.h"

#include <cstdio>
#include <cstring>
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
  // A copy has its own pixels, and its world points at them.
  Frame(const Frame& other) : bytes(other.bytes), world(other.world) {
    world.data = reinterpret_cast<char*>(bytes.data());
  }
  Frame& operator=(const Frame&) = delete;
};

// The pristine pixels: a straight source with random alpha (colours kept
// below alpha, so pixman sees valid premultiplied input), an opaque
// destination and one with random alpha. Every iteration works on a fresh
// copy of its destination, so no result depends on what ran before.
const Frame& Source() {
  static const Frame f(1, false);
  return f;
}
const Frame& OpaqueDest() {
  static const Frame f(2, true);
  return f;
}
const Frame& ClearDest() {
  static const Frame f(3, false);
  return f;
}

// Restores `into` from `from` outside the timed part of the iteration.
void Fresh(benchmark::State& state, Frame& into, const Frame& from) {
  state.PauseTiming();
  std::memcpy(into.bytes.data(), from.bytes.data(), from.bytes.size());
  state.ResumeTiming();
}

void SetPixels(benchmark::State& state) {
  const double pixels = static_cast<double>(state.iterations()) * kWidth * kHeight;
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void Transfer(benchmark::State& state, int32_t mode, uint8_t opacity, const Frame& pristine) {
  Frame dst(pristine);
  PF_CompositeMode m{mode, 17, opacity, 0, {}};
  for (auto _ : state) {
    Fresh(state, dst, pristine);
    PF_TransferRect(nullptr, 1, 0, 0, nullptr, &Source().world, &m, nullptr, 0, 0, &dst.world);
    benchmark::ClobberMemory();
  }
  SetPixels(state);
}

void BM_PF_Over(benchmark::State& s) { Transfer(s, PF_Xfer_Normal, 255, OpaqueDest()); }
void BM_PF_OverClear(benchmark::State& s) { Transfer(s, PF_Xfer_Normal, 255, ClearDest()); }
void BM_PF_PremulOver(benchmark::State& s) { Transfer(s, PF_Xfer_PremulOver, 255, ClearDest()); }
void BM_PF_NormalHalf(benchmark::State& s) { Transfer(s, PF_Xfer_Normal, 128, OpaqueDest()); }
void BM_PF_Copy(benchmark::State& s) { Transfer(s, PF_Xfer_Copy, 255, OpaqueDest()); }
void BM_PF_Add(benchmark::State& s) { Transfer(s, PF_Xfer_Add, 255, OpaqueDest()); }
void BM_PF_Multiply(benchmark::State& s) { Transfer(s, PF_Xfer_Multiply, 255, OpaqueDest()); }
void BM_PF_Screen(benchmark::State& s) { Transfer(s, PF_Xfer_Screen, 255, OpaqueDest()); }
void BM_PF_Difference(benchmark::State& s) { Transfer(s, PF_Xfer_Difference, 255, OpaqueDest()); }
void BM_PF_Dissolve(benchmark::State& s) { Transfer(s, PF_Xfer_Dissolve, 255, OpaqueDest()); }
BENCHMARK(BM_PF_Over)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_OverClear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_PremulOver)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_NormalHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Add)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Multiply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Screen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Difference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Dissolve)->Unit(benchmark::kMillisecond);

void BM_PF_Blend(benchmark::State& state) {
  Frame dst(OpaqueDest());
  for (auto _ : state) {
    Fresh(state, dst, OpaqueDest());
    PF_Blend(nullptr, &Source().world, &OpaqueDest().world, 0x6000, &dst.world);
    benchmark::ClobberMemory();
  }
  SetPixels(state);
}
BENCHMARK(BM_PF_Blend)->Unit(benchmark::kMillisecond);

void Premul(benchmark::State& state, int32_t forward) {
  Frame w(Source());
  for (auto _ : state) {
    Fresh(state, w, Source());
    PF_Premul(nullptr, forward, &w.world);
  }
  SetPixels(state);
}
void BM_PF_PremulForward(benchmark::State& state) { Premul(state, 1); }
void BM_PF_PremulBack(benchmark::State& state) { Premul(state, 0); }
BENCHMARK(BM_PF_PremulForward)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_PremulBack)->Unit(benchmark::kMillisecond);

#ifdef TAVELO_HAVE_PIXMAN
pixman_image_t* Image(Frame& f) {
  return pixman_image_create_bits(PIXMAN_b8g8r8a8, kWidth, kHeight, reinterpret_cast<uint32_t*>(f.bytes.data()),
                                  kRowBytes);
}
void Pixman(benchmark::State& state, pixman_op_t op, const Frame& pristine) {
  Frame src(Source()), dst(pristine);
  pixman_image_t* s = Image(src);
  pixman_image_t* d = Image(dst);
  for (auto _ : state) {
    Fresh(state, dst, pristine);
    pixman_image_composite32(op, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  SetPixels(state);
}
void BM_Pixman_Over(benchmark::State& s) { Pixman(s, PIXMAN_OP_OVER, OpaqueDest()); }
void BM_Pixman_OverClear(benchmark::State& s) { Pixman(s, PIXMAN_OP_OVER, ClearDest()); }
void BM_Pixman_Add(benchmark::State& s) { Pixman(s, PIXMAN_OP_ADD, OpaqueDest()); }
void BM_Pixman_Multiply(benchmark::State& s) { Pixman(s, PIXMAN_OP_MULTIPLY, OpaqueDest()); }
void BM_Pixman_Screen(benchmark::State& s) { Pixman(s, PIXMAN_OP_SCREEN, OpaqueDest()); }
void BM_Pixman_Difference(benchmark::State& s) { Pixman(s, PIXMAN_OP_DIFFERENCE, OpaqueDest()); }
BENCHMARK(BM_Pixman_Over)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_OverClear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Add)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Multiply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Screen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Difference)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  const tv::bench::PFBenchRun run("PFBench", &argc, argv);
  const tv::bench::RatioReporter& reporter = run.reporter;
  // Premultiplied over is measured against pixman's OVER onto the same
  // destination with random alpha.
  static const char* const kPairs[][2] = {{"Over", "Over"},         {"OverClear", "OverClear"},
                                          {"PremulOver", "OverClear"}, {"Add", "Add"},
                                          {"Multiply", "Multiply"}, {"Screen", "Screen"},
                                          {"Difference", "Difference"}};
  std::printf("\nPF time / pixman time (CPU time, lowest of the repetitions; below 1 is faster):\n");
  for (const auto& pair : kPairs)
    if (const double r = reporter.Ratio(std::string("BM_PF_") + pair[0], std::string("BM_Pixman_") + pair[1]); r > 0)
      std::printf("  %-12s %8.2f\n", pair[0], r);
  return 0;
}
