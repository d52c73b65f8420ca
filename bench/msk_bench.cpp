// Mask rasterization at 1920 x 1080: a 64-vertex Bezier mask covering about
// half the frame, antialiased, with and without a 20-pixel feather, against
// cairo's antialiased fill of the same path (even-odd, into an A8 surface
// cleared each time) in the same run. After the run the ratios MSK time /
// cairo time are printed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "MSK.h"
#include "OM.h"
#include "PF.h"

#ifdef TAVELO_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kVertices = 64;

struct Pt {
  double x, y;
};

// The path's points (vertex, out handle, next in handle per vertex): an
// ellipse of about half the frame's area with a wavy rim, smooth handles.
std::vector<Pt> MaskPoints() {
  std::vector<Pt> v(kVertices), d(kVertices);
  for (int i = 0; i < kVertices; ++i) {
    const double a = 2 * M_PI * i / kVertices;
    const double r = 1 + 0.05 * std::sin(5 * a);
    v[i] = {960 + 760 * r * std::cos(a), 540 + 434 * r * std::sin(a)};
  }
  for (int i = 0; i < kVertices; ++i) {
    const Pt& p = v[(i + kVertices - 1) % kVertices];
    const Pt& n = v[(i + 1) % kVertices];
    d[i] = {(n.x - p.x) / 6, (n.y - p.y) / 6};
  }
  std::vector<Pt> out;
  for (int i = 0; i < kVertices; ++i) {
    const int j = (i + 1) % kVertices;
    out.push_back(v[i]);
    out.push_back({v[i].x + d[i].x, v[i].y + d[i].y});
    out.push_back({v[j].x - d[j].x, v[j].y - d[j].y});
  }
  return out;
}

OM_Shape MakeShape() {
  const std::vector<Pt> pts = MaskPoints();
  std::vector<uint8_t> bytes(24 + 8 * pts.size(), 0);
  auto put = [&bytes](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (24 - 8 * i));
  };
  bytes[0] = 0xB2, bytes[1] = 0xDE, bytes[2] = OM_TypePath;
  put(20, static_cast<int32_t>(pts.size()));
  for (size_t i = 0; i < pts.size(); ++i) {
    put(24 + 8 * i, static_cast<int32_t>(std::lround(pts[i].x * 65536)));
    put(28 + 8 * i, static_cast<int32_t>(std::lround(pts[i].y * 65536)));
  }
  OM_Shape s = nullptr;
  OM_ShapeFromBytes(bytes.data(), static_cast<int32_t>(bytes.size()), &s);
  return s;
}

void RunMask(benchmark::State& state, double feather) {
  OM_Shape shape = MakeShape();
  PF_UnoBuffer buffer = nullptr;
  if (!shape || PF_NewUnoBuffer(kWidth, kHeight, &buffer) != 0) {
    state.SkipWithError("setup failed");
    return;
  }
  MSK_MaskDesc d{};
  d.opacity = 65536;
  d.antialias = 1;
  d.featherH = d.featherV = static_cast<Fixed>(feather * 65536);
  for (auto _ : state) {
    if (MSK_MaskWithShape(shape, &d, buffer, nullptr) != 0) state.SkipWithError("mask failed");
    benchmark::ClobberMemory();
  }
  PF_DisposeUnoBuffer(buffer);
  OM_DisposeShape(shape);
}

void BM_MSK_Mask(benchmark::State& state) { RunMask(state, 0); }
void BM_MSK_MaskFeather20(benchmark::State& state) { RunMask(state, 20); }
BENCHMARK(BM_MSK_Mask)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MSK_MaskFeather20)->Unit(benchmark::kMillisecond);

#ifdef TAVELO_HAVE_CAIRO
void BM_Cairo_Mask(benchmark::State& state) {
  const std::vector<Pt> pts = MaskPoints();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  const int stride = cairo_image_surface_get_stride(surface);
  for (auto _ : state) {
    cairo_surface_flush(surface);
    std::memset(cairo_image_surface_get_data(surface), 0, size_t(stride) * kHeight);
    cairo_surface_mark_dirty(surface);
    cairo_new_path(cr);
    cairo_move_to(cr, pts[0].x, pts[0].y);
    for (size_t i = 0; i < pts.size(); i += 3) {
      const Pt& e = pts[(i + 3) % pts.size()];
      cairo_curve_to(cr, pts[i + 1].x, pts[i + 1].y, pts[i + 2].x, pts[i + 2].y, e.x, e.y);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    benchmark::ClobberMemory();
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_Cairo_Mask)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("msk_bench", {MSK_PackageNumber, OM_PackageNumber, PF_PackageNumber});
  tv::bench::RatioReporter reporter;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double cairo = reporter.Time("BM_Cairo_Mask");
  if (cairo > 0) {
    std::printf("\nMSK time / cairo time (CPU time):\n");
    std::printf("  %-20s %8.3f\n", "mask", reporter.Time("BM_MSK_Mask") / cairo);
    std::printf("  %-20s %8.3f\n", "mask, feather 20", reporter.Time("BM_MSK_MaskFeather20") / cairo);
  } else {
    std::printf("\ncairo not found: no comparison\n");
  }
  return 0;
}
