// The Text effect drawing a 1920 x 1080 lower third (two lines of DejaVu
// Sans Bold at 72 pixels with a 4-pixel stroke) through a frame parade, with
// its glyph cache warm (the same frame again) and cold (a size never drawn
// before, each iteration), against cairo drawing the same text with the same
// font in the same run: the fill through its glyph cache, the stroke along
// the text's path (a line twice as wide, under the fill: the same 4 pixels
// outside the outline), both unhinted and antialiased, into an ARGB surface
// cleared each time. Cold for cairo: a new size each iteration too. After
// the run the ratios engine time / cairo time are printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchSupport.h"
#include "FLT.h"
#include "Memory.h"

#ifdef TAVELO_HAVE_CAIRO_FT
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* kLines[2] = {"Evening News at Nine", "Ada Lovelace, Analyst of Engines"};
constexpr double kSize = 72, kStroke = 4, kLeft = 120, kBaseline = 800, kLeading = 125;

// A size not drawn in the last thousand iterations: 72 pixels give or take
// 8, in steps of 1/64 pixel (the smallest step that makes new glyphs).
double ColdSize(int64_t i) { return kSize + static_cast<double>(i % 1024 - 512) / 64.0; }

void SetData(FLT_Sequence seq, int32_t param, const std::string& s) {
  Handle h = NewHandle(static_cast<Size>(s.size()));
  std::memcpy(*h, s.data(), s.size());
  if (FLTp_SeqSetArbitraryValue(seq, param, h) != 0) std::abort();
  DisposeHandle(h);
}

void Set(FLT_Sequence seq, int32_t param, std::initializer_list<double> v) {
  const Time t{0, 600};
  if (FLT_SeqSetParamFPV(seq, param, nullptr, &t, v.begin(), static_cast<int32_t>(v.size())) != 0) std::abort();
}

BM_World NewWorld() {
  const Rect r{0, 0, kHeight, kWidth};
  BM_World w = nullptr;
  if (BM_NewWorld(nullptr, BM_Flag_Clear, &r, 32, 0, nullptr, &w) != 0) std::abort();
  return w;
}

void RunEngine(benchmark::State& state, bool cold) {
  int16_t cls = 0;
  Boolean32 found = 0;
  FLT_Parade parade = nullptr;
  FLT_Sequence seq = nullptr;
  uint32_t flags = 0;
  if (FLTp_FindClass(FLT_MatchText, &cls, &found) != 0 || !found || FLT_NewParade(nullptr, nullptr, &parade) != 0 ||
      FLT_NewSequence(cls, nullptr, 0, nullptr, &flags, &seq, &found) != 0 || FLT_InsertSeqParade(parade, seq, -1) != 0)
    std::abort();
  SetData(seq, FLT_TextParam_Text, std::string(kLines[0]) + "\n" + kLines[1]);
  SetData(seq, FLT_TextParam_Font, kFont);
  Set(seq, FLT_TextParam_Size, {kSize});
  Set(seq, FLT_TextParam_StrokeWidth, {kStroke});
  Set(seq, FLT_TextParam_Leading, {kLeading});
  Set(seq, FLT_TextParam_Alignment, {1});
  Set(seq, FLT_TextParam_Offset, {kLeft - kWidth / 2, kBaseline - kHeight / 2});
  Set(seq, FLT_TextParam_CompositeOnOriginal, {0});
  BM_World in = NewWorld(), out = NewWorld();
  int64_t i = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      Set(seq, FLT_TextParam_Size, {ColdSize(++i)});
      state.ResumeTiming();
    }
    FLT_FrameParade fp = nullptr;
    if (FLT_NewFrameParade(parade, kWidth, kHeight, 1, &fp) != 0 || FLT_RenderFrParade(fp, 0, in, out) != 0 ||
        FLT_DisposeFrParade(fp) != 0)
      state.SkipWithError("render failed");
    benchmark::ClobberMemory();
  }
  BM_DisposeWorld(in);
  BM_DisposeWorld(out);
  FLT_DisposeParade(parade);
}

void BM_Text_Warm(benchmark::State& state) { RunEngine(state, false); }
void BM_Text_Cold(benchmark::State& state) { RunEngine(state, true); }
BENCHMARK(BM_Text_Warm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text_Cold)->Unit(benchmark::kMillisecond);

#ifdef TAVELO_HAVE_CAIRO_FT
void RunCairo(benchmark::State& state, bool cold) {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&lib) != 0 || FT_New_Face(lib, kFont, 0, &face) != 0) std::abort();
  cairo_font_face_t* ff = cairo_ft_font_face_create_for_ft_face(face, 0);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_font_options_t* opts = cairo_font_options_create();
  cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, opts);
  cairo_set_font_face(cr, ff);
  int64_t i = 0;
  for (auto _ : state) {
    const double size = cold ? ColdSize(++i) : kSize;
    cairo_set_font_size(cr, size);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    for (int line = 0; line < 2; ++line) {
      const double y = kBaseline + line * size * kLeading / 100;
      cairo_new_path(cr);
      cairo_move_to(cr, kLeft, y);
      cairo_text_path(cr, kLines[line]);
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_set_line_width(cr, 2 * kStroke);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      cairo_stroke(cr);
      cairo_move_to(cr, kLeft, y);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_show_text(cr, kLines[line]);
    }
    cairo_surface_flush(surface);
    benchmark::ClobberMemory();
  }
  cairo_font_options_destroy(opts);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  cairo_font_face_destroy(ff);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

void BM_Cairo_Warm(benchmark::State& state) { RunCairo(state, false); }
void BM_Cairo_Cold(benchmark::State& state) { RunCairo(state, true); }
BENCHMARK(BM_Cairo_Warm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cairo_Cold)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("text_bench", {FLT_PackageNumber});
  if (!packages.ok()) return 1;
  tv::bench::RatioReporter reporter;
  tv::bench::RunBenchmarks(argc, argv, reporter);
  benchmark::Shutdown();
  if (reporter.Time("BM_Cairo_Warm") > 0) {
    std::printf("\nText effect time / cairo time (CPU time; goal warm <= 1.0):\n");
    std::printf("  %-12s %8.3f\n", "warm", reporter.Ratio("BM_Text_Warm", "BM_Cairo_Warm"));
    std::printf("  %-12s %8.3f\n", "cold", reporter.Ratio("BM_Text_Cold", "BM_Cairo_Cold"));
  } else {
    std::printf("\ncairo not found: no comparison\n");
  }
  return 0;
}
