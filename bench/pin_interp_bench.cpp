// Footage interpretation on pixels: rebuilding a split film frame of a
// 720 x 486 video frame (its second field copied from the next video frame)
// against a plain row-by-row copy of the whole frame, and turning a 1080p
// frame premultiplied with a matte colour into straight alpha against a plain
// loop dividing each colour by alpha.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "PIN_interp.h"

namespace {

std::vector<uint8_t> Frame(int32_t w, int32_t h, uint32_t seed) {
  std::vector<uint8_t> v(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 2654435761u + seed) >> 7);
  return v;
}

void BM_PulldownSplitFrame(benchmark::State& state) {
  const int32_t w = 720, h = 486;
  std::vector<uint8_t> dst = Frame(w, h, 1), src = Frame(w, h, 2);
  for (auto _ : state) {
    const tv::pin::PulldownStep step = tv::pin::PulldownFor(1, 1);
    benchmark::DoNotOptimize(step);
    tv::pin::CopyRows(dst.data(), w * 4, src.data(), w * 4, w, h, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PulldownSplitFrame);

void BM_PlainFrameCopy(benchmark::State& state) {
  const int32_t w = 720, h = 486;
  std::vector<uint8_t> dst = Frame(w, h, 1), src = Frame(w, h, 2);
  for (auto _ : state) {
    for (int32_t y = 0; y < h; ++y) std::memcpy(&dst[static_cast<size_t>(y) * w * 4], &src[static_cast<size_t>(y) * w * 4], w * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PlainFrameCopy);

void BM_PremulToStraight1080p(benchmark::State& state) {
  const int32_t w = 1920, h = 1080;
  const std::vector<uint8_t> original = Frame(w, h, 3);
  std::vector<uint8_t> px = original;
  PIN_AlphaInfo from{}, to{};
  from.type = PIN_Alpha_Premul, from.red = 40, from.green = 80, from.blue = 120;
  to.type = PIN_Alpha_Straight;
  for (auto _ : state) {
    state.PauseTiming();
    px = original;
    state.ResumeTiming();
    tv::pin::ConvertAlpha(from, to, false, px.data(), static_cast<int64_t>(w) * h);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PremulToStraight1080p);

void BM_PlainDivideLoop1080p(benchmark::State& state) {
  const int32_t w = 1920, h = 1080;
  const std::vector<uint8_t> original = Frame(w, h, 3);
  std::vector<uint8_t> px = original;
  for (auto _ : state) {
    state.PauseTiming();
    px = original;
    state.ResumeTiming();
    uint8_t* p = px.data();
    for (int64_t i = 0; i < static_cast<int64_t>(w) * h; ++i, p += 4) {
      const uint32_t a = p[0];
      if (a == 0) continue;
      for (int c = 1; c < 4; ++c) {
        const uint32_t v = p[c] * 255u / a;
        p[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PlainDivideLoop1080p);

}  // namespace

BENCHMARK_MAIN();
