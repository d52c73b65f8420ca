// The ElectricImage driver: writing a 1920 x 1080 frame at 32 bits through
// the module framework (PIN_StartAdding, PIN_AddFrame, PIN_EndAdding: the
// frame encoded, written to the partial file, then copied under its final
// name through the atomic replacement, flushed to the disk) and reading it
// back into a World (PIN_DrawFrame), against a plain write of the same file
// bytes (open, write, fsync, close) and a plain read of them (open, read,
// close). The frame has gradients in its upper half (long runs) and noise in
// half of its lower half (literals).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "BM.h"
#include "BenchSupport.h"
#include "FILE.h"
#include "PIN.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;
constexpr uint32_t kSignature = 0x45494449u;  // "EIDI"

std::string gDir, gFile, gPlain;
BM_World gFrame = nullptr;
std::vector<uint8_t> gBytes;

void MakeFrame() {
  const Rect bounds{0, 0, kHeight, kWidth};
  if (BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &gFrame) != 0) std::abort();
  int32_t w = 0, h = 0, d = 0, rowBytes = 0;
  BM_GetWorldInfo(gFrame, &w, &h, &d, &rowBytes);
  if (BM_LockPixels(1, gFrame, nullptr) != 0) std::abort();
  uint8_t* base = reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(gFrame));
  std::mt19937 rng(3);
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = base + static_cast<ptrdiff_t>(y) * rowBytes + 4 * x;
      const bool noise = y >= kHeight / 2 && (x / 240) % 2 == 0;
      p[0] = static_cast<uint8_t>(x < 64 ? x * 4 : 255);
      for (int k = 1; k < 4; ++k) p[k] = static_cast<uint8_t>(noise ? rng() & 0xFF : (x / 8 + 40 * k + y / 64) & 0xFF);
    }
  BM_UnlockPixels(gFrame);
}

void WriteEI() {
  PIN_OutputSpecH out = nullptr;
  if (PIN_NewOutputSpec(kSignature, kWidth, kHeight, &out) != 0) std::abort();
  PIN_OutputInfo info{};
  PIN_GetOutputInfo(out, &info, sizeof info);
  info.depth = 32;
  info.frameRate = 30 << 16;
  FILE_SpecH ref = nullptr;
  if (PIN_SetOutputInfo(out, &info, sizeof info) != 0 || FILE_New(gFile.c_str(), FILE_LocFullPath, &ref) != 0 ||
      PIN_SetOutputFile(out, ref) != 0 || PIN_StartAdding(out) != 0 || PIN_AddFrame(out, 0, gFrame) != 0 ||
      PIN_EndAdding(out) != 0)
    std::abort();
  FILE_Dispose(ref);
  PIN_DisposeOutputSpec(out);
}

void BM_PIN_WriteEI1080(benchmark::State& state) {
  for (auto _ : state) WriteEI();
}
BENCHMARK(BM_PIN_WriteEI1080)->Unit(benchmark::kMillisecond);

void BM_Plain_Write1080(benchmark::State& state) {
  for (auto _ : state) {
    const int fd = ::open(gPlain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, gBytes.data(), gBytes.size()) != static_cast<ssize_t>(gBytes.size()) || ::fsync(fd) != 0)
      std::abort();
    ::close(fd);
  }
}
BENCHMARK(BM_Plain_Write1080)->Unit(benchmark::kMillisecond);

void BM_PIN_ReadEI1080(benchmark::State& state) {
  tv::bench::DrawFootageFrames(state, gFile, kWidth, kHeight);
}
BENCHMARK(BM_PIN_ReadEI1080)->Unit(benchmark::kMillisecond);

void BM_Plain_Read1080(benchmark::State& state) {
  std::vector<uint8_t> in(gBytes.size());
  for (auto _ : state) {
    const int fd = ::open(gFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::read(fd, in.data(), in.size()) != static_cast<ssize_t>(in.size())) std::abort();
    ::close(fd);
    benchmark::DoNotOptimize(in.data());
  }
}
BENCHMARK(BM_Plain_Read1080)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tveibench-XXXXXX";
  gDir = ::mkdtemp(pattern.data());
  gFile = gDir + "/frame.img";
  gPlain = gDir + "/plain.bin";
  {
    tv::bench::Packages packages("EIBench", {PIN_PackageNumber});
    if (!packages.ok()) return 1;
    MakeFrame();
    WriteEI();
    std::ifstream in(gFile, std::ios::binary);
    gBytes.assign(std::istreambuf_iterator<char>(in), {});
    std::printf("ElectricImage file of the frame: %zu bytes (raw pixels: %d)\n", gBytes.size(), kWidth * kHeight * 4);
    benchmark::Initialize(&argc, argv);
    tv::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* ours, const char* plain, const char* what) {
      auto a = reporter.times.find(ours), b = reporter.times.find(plain);
      auto ra = reporter.reals.find(ours), rb = reporter.reals.find(plain);
      if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0 && rb->second > 0)
        std::printf("%s: driver / plain = %.2f (CPU), %.2f (wall)\n", what, a->second / b->second,
                    ra->second / rb->second);
    };
    std::printf("\n");
    ratio("BM_PIN_WriteEI1080", "BM_Plain_Write1080", "write");
    ratio("BM_PIN_ReadEI1080", "BM_Plain_Read1080", "read");
    BM_DisposeWorld(gFrame);
  }
  std::filesystem::remove_all(gDir);
  return 0;
}
