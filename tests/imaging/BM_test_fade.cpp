// Palette fades, dissolves and the pattern dither matrix.
#include <vector>

#include "BM_test_fixture.h"
#include "ColourTable.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;
namespace plat = tv::platform;

TEST_F(BMTest, FadeEndsAndMidpoint) {
  BM_FadeLut* fade = nullptr;
  ASSERT_EQ(BM_NewFadeLut(2, nullptr, &fade), 0);
  EXPECT_EQ(fade->allocatedHere, 1);
  const uint32_t from[4] = {0xFFFFFF00, 0x00000000, 0xFF000000, 0x1080F000};
  const uint32_t to[4] = {0x00000000, 0xFFFFFF00, 0x00FF0000, 0xF0801000};
  BM_Lut source{}, target{};
  ASSERT_EQ(BM_InitLut(2, &source), 0);
  ASSERT_EQ(BM_InitLut(2, &target), 0);
  std::copy(from, from + 4, source.entries);
  std::copy(to, to + 4, target.entries);
  Handle start = NewHandle(0);
  ASSERT_EQ(BM_ConvToNativeLut(&source, start), 0);
  ASSERT_EQ(BM_CalcFadeLut(fade, &target, 10, start), 0);

  // 8.8 deltas: the quotient shifted right by 8, one added when negative.
  const plat::ColourSpec* d = plat::ColourTableSpecs(fade->deltas).data();
  // -255 / 10: -6528 rounded towards zero; +224 / 10 and -224 / 10.
  const auto s16 = [](uint16_t v) { return static_cast<int16_t>(v); };
  EXPECT_EQ(std::make_tuple(s16(d[0].red), s16(d[1].red), s16(d[3].red), s16(d[3].blue), s16(d[3].green)),
            std::make_tuple(-6527, 6528, 5734, -5734, 0));

  BM_World w = New(2, 2, 2);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(BM_ForwardStep(fade, w), 0);
  EXPECT_EQ(TableOf(w), (std::vector<uint32_t>{0x80808000, 0x7F7F7F00, 0x807F0000, 0x80808000}));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(BM_ForwardStep(fade, w), 0);
  EXPECT_EQ(TableOf(w), std::vector<uint32_t>(to, to + 4));  // the last step lands exactly
  EXPECT_EQ(fade->step, 10);
  BM_Lut before{}, after{};
  BM_GetLut(w, &before);
  ASSERT_EQ(BM_ForwardStep(fade, w), 0);  // past the end: nothing
  BM_GetLut(w, &after);
  EXPECT_EQ(after.stamp, before.stamp);

  // Steps are clamped to 254; fewer than 2, or tables of another size, are refused.
  ASSERT_EQ(BM_CalcFadeLut(fade, &target, 300, nullptr), 0);
  EXPECT_EQ(std::make_tuple(fade->steps, fade->step), std::make_tuple(254, 0));
  EXPECT_EQ(BM_CalcFadeLut(fade, &target, 1, nullptr), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("a fade needs at least 2 steps (1)"));
  target.count = 3;
  EXPECT_EQ(BM_CalcFadeLut(fade, &target, 10, nullptr), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("fade colour tables of 3 entries, the fade has 4"));
  EXPECT_EQ(BM_BackwardStep(fade, w), tv::kErrUnimplemented);
  EXPECT_THAT(Last().text, HasSubstr("backwardstep unimplemented"));
  EXPECT_EQ(Last().location, 0x07000014u);

  // A fade in a caller's record; exactly one of record and out fade.
  BM_FadeLut own{};
  ASSERT_EQ(BM_NewFadeLut(8, &own, nullptr), 0);
  EXPECT_EQ(std::make_tuple(own.allocatedHere, plat::ColourTableEntries(own.current)),
            std::make_tuple(0, 256));
  BM_FadeLut* none = fade;
  EXPECT_EQ(BM_NewFadeLut(8, &own, &none), tv::kErrBadParam);
  EXPECT_EQ(none, nullptr);
  ASSERT_EQ(BM_DisposeFadeLut(&own), 0);
  DisposeHandle(start);
  Dispose(w);
  EXPECT_EQ(BM_DisposeFadeLut(fade), 0);
}

// ---- Dissolves --------------------------------------------------------------------

struct Visits {
  Rect r;
  std::vector<int> count;
  std::vector<std::pair<int, int>> order;
  int outside = 0;
  static void Visit(void* refcon, int32_t h, int32_t v) {
    auto* self = static_cast<Visits*>(refcon);
    const int32_t cols = self->r.right - self->r.left;
    if (h < self->r.left || h >= self->r.right || v < self->r.top || v >= self->r.bottom) {
      ++self->outside;
      return;
    }
    ++self->count[static_cast<size_t>((v - self->r.top) * cols + (h - self->r.left))];
    if (self->order.size() < 3) self->order.push_back({h, v});
  }
};

TEST_F(BMTest, DissolveVisitsEveryPixelOnce) {
  const struct {
    Rect r;
    int steps;
    uint32_t feedback;
  } cases[] = {
      {R(0, 0, 1, 1), 1, 0},           {R(5, 5, 7, 7), 3, 0},
      {R(-3, 10, 2, 13), 4, 0x12},     {R(0, 0, 9, 7), 1000, 0x41},
      {R(0, 0, 200, 320), 7, 0x10004}, {R(100, -50, 1180, 1870), 30, 0x200001},  // 1920 x 1080: 22 bits
  };
  for (const auto& c : cases) {
    BM_DissolveState s{};
    ASSERT_EQ(BM_InitDissolveState(&c.r, 11, 22, c.steps, &s), 0);
    const uint64_t pixels = uint64_t(c.r.right - c.r.left) * uint64_t(c.r.bottom - c.r.top);
    EXPECT_EQ(s.pixelsPerStep, (pixels - 1) / uint64_t(c.steps) + 1);
    EXPECT_EQ(std::make_tuple(s.refA, s.refB, s.steps, s.stepsLeft, s.feedback),
              std::make_tuple(11, 22, c.steps, c.steps, c.feedback));
    Visits visits{c.r, std::vector<int>(pixels, 0), {}};
    int stepsWithPixels = 0;
    for (int i = 0; i < c.steps; ++i) {
      uint32_t n = 0;
      ASSERT_EQ(BMp_DissolveStep(&s, Visits::Visit, &visits, &n), 0);
      ASSERT_LE(n, s.pixelsPerStep);
      stepsWithPixels += n > 0;
    }
    EXPECT_EQ(s.pixelsLeft, 0u);
    EXPECT_EQ(visits.outside, 0);
    EXPECT_EQ(std::count(visits.count.begin(), visits.count.end(), 1), static_cast<long>(pixels))
        << c.r.right;
    EXPECT_LE(stepsWithPixels, c.steps);
    uint32_t n = 7;
    ASSERT_EQ(BMp_DissolveStep(&s, Visits::Visit, &visits, &n), 0);  // after the last step: nothing
    EXPECT_EQ(n, 0u);
    if (c.r.right - c.r.left == 320) {  // numbers 0, 1, then the register's 0x10004: column 4, row 128
      EXPECT_EQ(visits.order, (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {4, 128}}));
    }
  }

  // Every register width's feedback gives the full period 2^n - 1.
  for (int n = 3; n <= 22; ++n) {
    const int a = std::min(n, 12);
    const Rect r = R(0, 0, 1 << (n - a), 1 << a);
    BM_DissolveState s{};
    ASSERT_EQ(BM_InitDissolveState(&r, 0, 0, 1, &s), 0);
    uint32_t v = 1;
    uint64_t period = 0;
    do {
      v = (v & 1) ? (v >> 1) ^ s.feedback : v >> 1;
      ++period;
    } while (v != 1 && period < (1u << n));
    EXPECT_EQ(period, (1u << n) - 1) << n;
  }
  BM_DissolveState s{};
  const Rect huge = R(-32768, -32768, 32767, 32767);
  ASSERT_EQ(BM_InitDissolveState(&huge, 0, 0, 1, &s), 0);
  EXPECT_EQ(std::make_tuple(s.feedback, s.pixelsPerStep, s.columnBits),
            std::make_tuple(0x80000057u, 4294836225u, 16));

  const Rect empty = R(0, 0, 0, 5), ok = R(0, 0, 2, 2);
  EXPECT_EQ(BM_InitDissolveState(&ok, 0, 0, 0, &s), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("a dissolve needs at least 1 step (0)"));
  EXPECT_EQ(BM_InitDissolveState(&empty, 0, 0, 1, &s), tv::kErrBadParam);
  EXPECT_EQ(s.steps, 0);
}

// ---- Dither matrix ------------------------------------------------------------------

TEST_F(BMTest, PatternDitherMatrix) {
  // {columns, rows, cells}: none until one is set.
  const auto matrix = [] {
    int32_t columns = -1, rows = -1;
    const uint16_t* cells = nullptr;
    EXPECT_EQ(BMp_GetPatternDitherMatrix(&columns, &rows, &cells), 0);
    return std::make_tuple(columns, rows, cells);
  };
  EXPECT_EQ(matrix(), std::make_tuple(0, 0, nullptr));
  ASSERT_EQ(BM_SetPatternDitherMatrix(0, 0, nullptr), 0);
  const uint16_t* cells = std::get<2>(matrix());
  EXPECT_EQ(std::vector<uint16_t>(cells, cells + 16),
            (std::vector<uint16_t>{1500, 3000, 6000, 10500, 4500, 7500, 12000, 16500, 9000, 13500, 18000,
                                   21000, 15000, 19500, 22500, 24000}));
  const uint8_t values[4] = {0, 1, 254, 255};
  ASSERT_EQ(BM_SetPatternDitherMatrix(2, 2, values), 0);
  cells = std::get<2>(matrix());
  EXPECT_EQ(std::vector<uint16_t>(cells, cells + 4), (std::vector<uint16_t>{0, 100, 25400, 25500}));
  ASSERT_EQ(BM_SetPatternDitherMatrix(4, 1, values), 0);  // as many cells: the same block
  EXPECT_EQ(matrix(), std::make_tuple(4, 1, cells));
  for (auto [c, r] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{65, 1}, std::pair{1, 65}})
    EXPECT_EQ(BM_SetPatternDitherMatrix(c, r, values), tv::kErrBadParam) << c << " " << r;
  EXPECT_THAT(Last().text, HasSubstr("bad dither matrix size 1 x 65"));
  EXPECT_EQ(matrix(), std::make_tuple(4, 1, cells));
}

}  // namespace
