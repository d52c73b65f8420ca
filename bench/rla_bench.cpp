// The RLA driver: reading a 1920 x 1080 RLA frame with a matte into a World
// through the module framework (PIN_DrawFrame: the file read whole, every
// scanline checked, then decoded into the World) against OpenImageIO's
// reader of the same file into an RGBA byte buffer (open, read, close). The
// file is written by oiiotool from an image of gradients and noise; without
// oiiotool the program says so and measures nothing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "BM.h"
#include "BenchSupport.h"
#include "FILE.h"
#include "PIN.h"

#ifdef TAVELO_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;

std::string gDir, gFile;

// Gradients in the upper half (long runs), noise in the lower (literals),
// and a matte that is opaque with a soft edge.
bool MakeFile() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tvrlabench-XXXXXX";
  gDir = ::mkdtemp(pattern.data());
  const std::string rgb = gDir + "/rgb.ppm", alpha = gDir + "/a.pgm";
  std::FILE* c = std::fopen(rgb.c_str(), "wb");
  std::FILE* a = std::fopen(alpha.c_str(), "wb");
  if (!c || !a) return false;
  std::fprintf(c, "P6\n%d %d\n255\n", kWidth, kHeight);
  std::fprintf(a, "P5\n%d %d\n255\n", kWidth, kHeight);
  std::mt19937 rng(3);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const bool noise = y >= kHeight / 2 && (x / 240) % 2 == 0;
      for (int k = 0; k < 3; ++k)
        std::fputc(noise ? static_cast<int>(rng() & 0xFF) : (x / 8 + 40 * k + y / 64) & 0xFF, c);
      std::fputc(x < 64 ? x * 4 : 255, a);
    }
  std::fclose(c);
  std::fclose(a);
  gFile = gDir + "/frame.rla";
  const std::string cmd = "oiiotool " + rgb + " " + alpha + " --chappend --chnames R,G,B,A -d uint8 -o " + gFile +
                          " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

void BM_PIN_ReadRLA1080(benchmark::State& state) {
  tv::bench::DrawFootageFrames(state, gFile, kWidth, kHeight);
}
BENCHMARK(BM_PIN_ReadRLA1080)->Unit(benchmark::kMillisecond);

#ifdef TAVELO_HAVE_OIIO
void BM_Plain_ReadRLA1080(benchmark::State& state) {
  std::vector<uint8_t> pixels(size_t{4} * kWidth * kHeight);
  for (auto _ : state) {
    auto in = OIIO::ImageInput::open(gFile);
    if (!in || !in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT8, pixels.data())) std::abort();
    in->close();
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_Plain_ReadRLA1080)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  if (!MakeFile()) {
    std::printf("rla_bench: oiiotool (openimageio-tools) is needed to write the RLA file; nothing measured.\n");
    std::filesystem::remove_all(gDir);
    return 0;
  }
  int rc = 0;
  {
    tv::bench::Packages packages("RLABench", {PIN_PackageNumber});
    if (!packages.ok()) return 1;
    benchmark::Initialize(&argc, argv);
    tv::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ours = reporter.times.find("BM_PIN_ReadRLA1080");
    auto base = reporter.times.find("BM_Plain_ReadRLA1080");
    if (ours != reporter.times.end() && base != reporter.times.end() && base->second > 0)
      std::printf("\nRLA driver time / OpenImageIO time (CPU time): %.2f\n", ours->second / base->second);
  }
  std::filesystem::remove_all(gDir);
  return rc;
}
