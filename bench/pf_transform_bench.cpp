// The layer transform at 1920 x 1080 (source and destination): rotated by
// 10 degrees and scaled by 1.1 about the centre at best quality (bilinear)
// and in draft (nearest), a quarter-size copy (area sampling), and a
// 17-matrix motion blur of a full-frame layer; against pixman's affine OVER
// composites with the bilinear and nearest filters on the same buffers in
// the same run. pixman is loaded at run time (libpixman-1.so.0) when it is
// installed; it works on premultiplied pixels, so the pairs compare speed
// only. After the run the ratio ours / pixman (time) is printed.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "PFBenchSupport.h"
#include "M.h"
#include "PF.h"
#include "U.h"

// The few pixman declarations used (its header needs its own include path,
// and the library is opened at run time).
#define TV_BENCH_PIXMAN 1
extern "C" {
typedef struct pixman_image pixman_image_t;
typedef int32_t pixman_fixed_t;
typedef struct pixman_transform {
  pixman_fixed_t matrix[3][3];
} pixman_transform_t;
typedef int pixman_bool_t;
typedef uint32_t pixman_format_code_t;
typedef int pixman_op_t;
typedef int pixman_filter_t;
pixman_image_t* pixman_image_create_bits(pixman_format_code_t, int, int, uint32_t*, int);
pixman_bool_t pixman_image_unref(pixman_image_t*);
pixman_bool_t pixman_image_set_transform(pixman_image_t*, const pixman_transform_t*);
pixman_bool_t pixman_image_set_filter(pixman_image_t*, pixman_filter_t, const pixman_fixed_t*, int);
void pixman_image_composite32(pixman_op_t, pixman_image_t*, pixman_image_t*, pixman_image_t*, int32_t, int32_t,
                              int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
}
constexpr pixman_format_code_t PIXMAN_b8g8r8a8 = (32u << 24) | (8u << 16) | (8u << 12) | (8u << 8) | (8u << 4) | 8u;
constexpr pixman_op_t PIXMAN_OP_OVER = 3;
constexpr pixman_filter_t PIXMAN_FILTER_NEAREST = 3, PIXMAN_FILTER_BILINEAR = 4;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kRowBytes = 4 * kWidth;

// A smooth opaque picture with some noise, like footage.
struct Frame {
  std::vector<uint32_t> pixels;
  PFWorld world{};
  Frame(uint32_t seed, bool opaque) : pixels(static_cast<size_t>(kWidth) * kHeight) {
    std::mt19937 gen(seed);
    auto* bytes = reinterpret_cast<uint8_t*>(pixels.data());
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* p = bytes + (static_cast<size_t>(y) * kWidth + x) * 4;
        p[0] = opaque ? 255 : static_cast<uint8_t>(x * 255 / kWidth);
        p[1] = static_cast<uint8_t>((x / 7 + (gen() & 7)) * p[0] / 255);
        p[2] = static_cast<uint8_t>((y / 5 + (gen() & 7)) * p[0] / 255);
        p[3] = static_cast<uint8_t>(((x + y) / 9 + (gen() & 7)) * p[0] / 255);
      }
    world.data = reinterpret_cast<char*>(pixels.data());
    world.rowBytes = kRowBytes;
    world.width = kWidth;
    world.height = kHeight;
    world.kindMagic = PF_WorldKind_Wrapped;
  }
};
Frame& Source() {
  static Frame f(1, true);
  return f;
}
Frame& Dest() {
  static Frame f(2, true);
  return f;
}

// Scale s and rotation deg about the frame's centre.
FloatMatrix AboutCentre(double s, double deg) {
  const double r = deg * 3.14159265358979323846 / 180.0, c = std::cos(r) * s, n = std::sin(r) * s;
  const double cx = kWidth / 2.0, cy = kHeight / 2.0;
  FloatMatrix m;
  M_SetIdentityMatrix(&m);
  m.m[0] = c, m.m[1] = n, m.m[3] = -n, m.m[4] = c;
  m.m[6] = cx - (cx * c - cy * n);
  m.m[7] = cy - (cx * n + cy * c);
  return m;
}

void SetPixels(benchmark::State& state) {
  const double pixels = static_cast<double>(state.iterations()) * kWidth * kHeight;
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void Ours(benchmark::State& state, int32_t quality, std::vector<FloatMatrix> ms) {
  Frame dst = Dest();
  dst.world.data = reinterpret_cast<char*>(dst.pixels.data());
  PF_CompositeMode m{};
  m.mode = PF_Xfer_Normal;
  m.opacity = 255;
  for (auto _ : state) {
    PF_TransformWorld(nullptr, quality, PF_CallbackFlag_Straight, 0, &Source().world, &m, nullptr, ms.data(),
                      static_cast<int32_t>(ms.size()), 0, nullptr, &dst.world);
    benchmark::ClobberMemory();
  }
  SetPixels(state);
}

std::vector<FloatMatrix> Blur() {
  std::vector<FloatMatrix> ms;
  for (int k = 0; k <= 16; ++k) {
    FloatMatrix m = AboutCentre(1.0, 0);
    m.m[6] += k * 1.37;  // a layer moving 23.3 pixels right and 8 down during the shutter
    m.m[7] += k * 0.5;
    ms.push_back(m);
  }
  return ms;
}

// A layer turning by 10 degrees and growing by 5 % during the shutter.
std::vector<FloatMatrix> TurningBlur() {
  std::vector<FloatMatrix> ms;
  for (int k = 0; k <= 16; ++k) ms.push_back(AboutCentre(1.0 + k * 0.05 / 16, k * 10.0 / 16));
  return ms;
}

void BM_Transform_Best(benchmark::State& s) { Ours(s, 1, {AboutCentre(1.1, 10)}); }
void BM_Transform_Draft(benchmark::State& s) { Ours(s, 0, {AboutCentre(1.1, 10)}); }
void BM_Transform_Quarter(benchmark::State& s) { Ours(s, 1, {AboutCentre(0.25, 0)}); }
void BM_Transform_MotionBlur(benchmark::State& s) { Ours(s, 1, Blur()); }
void BM_Transform_MotionBlurDraft(benchmark::State& s) { Ours(s, 0, Blur()); }
void BM_Transform_MotionBlurTurning(benchmark::State& s) { Ours(s, 1, TurningBlur()); }
BENCHMARK(BM_Transform_Best)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform_Draft)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform_Quarter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform_MotionBlur)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform_MotionBlurDraft)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transform_MotionBlurTurning)->Unit(benchmark::kMillisecond);

#ifdef TV_BENCH_PIXMAN
struct Pixman {
  decltype(&pixman_image_create_bits) create = nullptr;
  decltype(&pixman_image_unref) unref = nullptr;
  decltype(&pixman_image_set_transform) setTransform = nullptr;
  decltype(&pixman_image_set_filter) setFilter = nullptr;
  decltype(&pixman_image_composite32) composite = nullptr;
  bool ok = false;
  Pixman() {
    void* lib = dlopen("libpixman-1.so.0", RTLD_NOW);
    if (!lib) return;
    create = reinterpret_cast<decltype(create)>(dlsym(lib, "pixman_image_create_bits"));
    unref = reinterpret_cast<decltype(unref)>(dlsym(lib, "pixman_image_unref"));
    setTransform = reinterpret_cast<decltype(setTransform)>(dlsym(lib, "pixman_image_set_transform"));
    setFilter = reinterpret_cast<decltype(setFilter)>(dlsym(lib, "pixman_image_set_filter"));
    composite = reinterpret_cast<decltype(composite)>(dlsym(lib, "pixman_image_composite32"));
    ok = create && unref && setTransform && setFilter && composite;
  }
};
Pixman& Px() {
  static Pixman p;
  return p;
}

void PixmanAffine(benchmark::State& state, pixman_filter_t filter, const FloatMatrix& forward) {
  Pixman& px = Px();
  if (!px.ok) {
    state.SkipWithError("pixman not available");
    return;
  }
  Frame dst = Dest();
  // pixman's b8g8r8a8 has our byte order on little-endian machines: alpha first in memory.
  pixman_image_t* s = px.create(PIXMAN_b8g8r8a8, kWidth, kHeight, Source().pixels.data(), kRowBytes);
  pixman_image_t* d = px.create(PIXMAN_b8g8r8a8, kWidth, kHeight, dst.pixels.data(), kRowBytes);
  FloatMatrix inv;
  M_InverseMatrix(&forward, &inv);
  // pixman maps destination to source with column vectors.
  pixman_transform_t t{};
  const double rows[3][3] = {{inv.m[0], inv.m[3], inv.m[6]}, {inv.m[1], inv.m[4], inv.m[7]}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t.matrix[i][j] = static_cast<pixman_fixed_t>(std::lround(rows[i][j] * 65536.0));
  px.setTransform(s, &t);
  px.setFilter(s, filter, nullptr, 0);
  for (auto _ : state) {
    px.composite(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  px.unref(s);
  px.unref(d);
  SetPixels(state);
}
void BM_Pixman_Bilinear(benchmark::State& s) { PixmanAffine(s, PIXMAN_FILTER_BILINEAR, AboutCentre(1.1, 10)); }
void BM_Pixman_Nearest(benchmark::State& s) { PixmanAffine(s, PIXMAN_FILTER_NEAREST, AboutCentre(1.1, 10)); }
void BM_Pixman_QuarterBilinear(benchmark::State& s) { PixmanAffine(s, PIXMAN_FILTER_BILINEAR, AboutCentre(0.25, 0)); }
BENCHMARK(BM_Pixman_Bilinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Nearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_QuarterBilinear)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  const tv::bench::PFBenchRun run("pf_transform_bench", &argc, argv);
  const tv::bench::RatioReporter& reporter = run.reporter;
  const std::pair<const char*, const char*> pairs[] = {
      {"BM_Transform_Best", "BM_Pixman_Bilinear"},
      {"BM_Transform_Draft", "BM_Pixman_Nearest"},
      {"BM_Transform_Quarter", "BM_Pixman_QuarterBilinear"},
  };
  std::printf("\nratio ours / pixman (time):\n");
  for (auto [ours, theirs] : pairs) {
    const double a = reporter.Time(ours), b = reporter.Time(theirs);
    if (a > 0 && b > 0) std::printf("  %-24s / %-26s %.2f\n", ours, theirs, a / b);
  }
  return 0;
}
