// Blur and scaled copies at 1920 x 1080 x 32 bits against plain code in the
// same run: the fast blur (one box, and three boxes for a Gaussian) at
// radius 10 and 50 against a plain separable blur that sums every window
// (the same box, or the one-row Gaussian kernel of the same radius), the
// fast blur alone at radius 200 (its cost should not grow with the radius;
// the plain blur would take seconds there), and the
// high-quality half-size copy against a plain 2 x 2 average. After the run
// the ratio PF time / plain time is printed for every pair.
#include <benchmark/benchmark.h>

#include "PFBenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "M.h"
#include "PF.h"
#include "U.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Frame {
  std::vector<uint8_t> bytes;
  PFWorld world{};
  Frame(int w, int h) : bytes(size_t(4 * w + 4) * h) {
    world.data = reinterpret_cast<char*>(bytes.data());
    world.rowBytes = 4 * w + 4;
    world.width = w;
    world.height = h;
    std::mt19937 gen(1);
    for (auto& b : bytes) b = static_cast<uint8_t>(gen());
    // Premultiplied: no colour above its alpha.
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = bytes.data() + size_t(y) * world.rowBytes + 4 * x;
        for (int c = 1; c < 4; ++c) p[c] = std::min(p[c], p[0]);
      }
  }
};

// ---- Plain separable blur: every window summed, one row of weights ---------------------------
void PlainPass(const uint8_t* in, int inStride, uint8_t* out, int outStride, int count, int lines, int lineIn,
               int lineOut, const std::vector<uint32_t>& k) {
  const int r = static_cast<int>(k.size() / 2);
  uint32_t total = 0;
  for (uint32_t v : k) total += v;
  for (int l = 0; l < lines; ++l) {
    const uint8_t* src = in + size_t(l) * lineIn;
    uint8_t* dst = out + size_t(l) * lineOut;
    for (int i = 0; i < count; ++i) {
      uint32_t sum[4] = {0, 0, 0, 0};
      for (int j = std::max(0, i - r); j <= std::min(count - 1, i + r); ++j) {
        const uint8_t* p = src + size_t(j) * inStride;
        const uint32_t w = k[j - i + r];
        for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
      }
      uint8_t* o = dst + size_t(i) * outStride;
      for (int c = 0; c < 4; ++c) o[c] = static_cast<uint8_t>((sum[c] + total / 2) / total);
    }
  }
}
void PlainBlur(PFWorld& w, std::vector<uint8_t>& tmp, const std::vector<uint32_t>& k) {
  uint8_t* data = reinterpret_cast<uint8_t*>(w.data);
  PlainPass(data, 4, tmp.data(), 4, w.width, w.height, w.rowBytes, 4 * w.width, k);
  PlainPass(tmp.data(), 4 * w.width, data, w.rowBytes, w.height, w.width, 4, 4, k);
}
std::vector<uint32_t> BoxKernel(int r) { return std::vector<uint32_t>(2 * size_t(r) + 1, 1); }
std::vector<uint32_t> GaussKernel(int r) {
  std::vector<int32_t> k(2 * size_t(r) + 1);
  int32_t d = 0;
  PF_GaussianKernel(nullptr, r, PF_Kernel_1D, 1.0, &d, k.data());
  return std::vector<uint32_t>(k.begin(), k.end());
}

void BM_PF_Box(benchmark::State& state) {
  Frame f(kWidth, kHeight);
  for (auto _ : state) {
    PF_FastBlur_Premul(nullptr, static_cast<double>(state.range(0)), 0, 0, &f.world);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
void BM_Plain_Box(benchmark::State& state) {
  Frame f(kWidth, kHeight);
  std::vector<uint8_t> tmp(size_t(4) * kWidth * kHeight);
  const std::vector<uint32_t> k = BoxKernel(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    PlainBlur(f.world, tmp, k);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
void BM_PF_Gaussian(benchmark::State& state) {
  Frame f(kWidth, kHeight);
  for (auto _ : state) {
    PF_FastBlur_Premul(nullptr, static_cast<double>(state.range(0)), 0, 1, &f.world);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
void BM_PF_GaussianStraight(benchmark::State& state) {
  Frame f(kWidth, kHeight);
  for (auto _ : state) {
    PF_FastBlur_Straight(nullptr, static_cast<double>(state.range(0)), 0, 1, &f.world);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
void BM_Plain_Gaussian(benchmark::State& state) {
  Frame f(kWidth, kHeight);
  std::vector<uint8_t> tmp(size_t(4) * kWidth * kHeight);
  const std::vector<uint32_t> k = GaussKernel(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    PlainBlur(f.world, tmp, k);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// ---- Half-size copy --------------------------------------------------------------------------
void BM_PF_HalfCopy(benchmark::State& state) {
  Frame s(kWidth, kHeight), d(kWidth / 2, kHeight / 2);
  for (auto _ : state) {
    PF_CopyBits_HQ_Premul(nullptr, &s.world, &d.world, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kWidth / 2) * (kHeight / 2));
}
void BM_PF_HalfCopyStraight(benchmark::State& state) {
  Frame s(kWidth, kHeight), d(kWidth / 2, kHeight / 2);
  for (auto _ : state) {
    PF_CopyBits_HQ_Straight(nullptr, &s.world, &d.world, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kWidth / 2) * (kHeight / 2));
}
void BM_Plain_HalfCopy(benchmark::State& state) {
  Frame s(kWidth, kHeight), d(kWidth / 2, kHeight / 2);
  for (auto _ : state) {
    for (int y = 0; y < kHeight / 2; ++y) {
      const uint8_t* a = reinterpret_cast<uint8_t*>(s.world.data) + size_t(2 * y) * s.world.rowBytes;
      const uint8_t* b = a + s.world.rowBytes;
      uint8_t* o = reinterpret_cast<uint8_t*>(d.world.data) + size_t(y) * d.world.rowBytes;
      for (int x = 0; x < kWidth / 2; ++x)
        for (int c = 0; c < 4; ++c)
          o[4 * x + c] = static_cast<uint8_t>((a[8 * x + c] + a[8 * x + 4 + c] + b[8 * x + c] + b[8 * x + 4 + c] + 2) / 4);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kWidth / 2) * (kHeight / 2));
}

BENCHMARK(BM_PF_Box)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_Box)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_Gaussian)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_GaussianStraight)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_Gaussian)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_HalfCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PF_HalfCopyStraight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_HalfCopy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const tv::bench::PFBenchRun run("PFBlurBench", &argc, argv);
  const tv::bench::RatioReporter& reporter = run.reporter;
  std::printf("\nPF time / plain time (CPU time):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_PF_", 0) != 0) continue;
    std::string rest = name.substr(6);
    // Straight twins compare with the same plain code.
    std::string key = rest;
    if (const size_t s = key.find("Straight"); s != std::string::npos) key.erase(s, 8);
    auto it = reporter.times.find("BM_Plain_" + key);
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-28s %8.3f\n", rest.c_str(), t / it->second);
  }
  std::printf("ffmpeg avgblur: %s\n",
              std::system("command -v ffmpeg >/dev/null 2>&1") == 0 ? "present (not timed here)"
                                                                    : "not installed, row skipped");
  return 0;
}
