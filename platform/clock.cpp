#include <time.h>

#include "Platform.h"

namespace tv::platform {
namespace {
std::function<uint32_t()> gTickSource;
uint32_t gSeed = 1;
}  // namespace

uint64_t HighResCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t HighResFrequency() { return 1000000000ull; }

uint32_t TickCount() {
  if (gTickSource) return gTickSource();
  return static_cast<uint32_t>(HighResCounter() * 60 / 1000000000ull);
}

void SetTickSource(std::function<uint32_t()> source) { gTickSource = std::move(source); }

int32_t Random15() {
  gSeed = gSeed * 1103515245u + 12345u;
  return static_cast<int32_t>((gSeed >> 16) & 0x7FFF);
}

void SeedRandom(uint32_t seed) { gSeed = seed; }

}  // namespace tv::platform
