// Sound mixing against sox in the same run: one minute of 48 kHz stereo
// 16-bit sound from 8 sources mixed into one world (SND_Blit, mix mode),
// against `sox -m` mixing the same 8 sources from WAV files into a WAV file
// (sox pays for reading and writing the files; the figure compares the whole
// job). A second pair converts 44.1 kHz sources to 48 kHz at best quality
// while mixing (sox mixes first and converts the mix once). Wall-clock time,
// as sox runs in a child process. Without sox the comparison is skipped.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "SND.h"

namespace {

constexpr int kSources = 8;
constexpr int kSeconds = 60;

std::string gDir;
bool gSox = false;
SND_World gSources[2][kSources];  // 48 kHz, 44.1 kHz

std::vector<int16_t> Tone(int i, double rate) {
  const int64_t frames = static_cast<int64_t>(rate) * kSeconds;
  std::vector<int16_t> s(static_cast<size_t>(2 * frames));
  const double f = 110.0 * (i + 1);
  for (int64_t k = 0; k < frames; ++k) {
    const double v = 3000.0 * std::sin(2 * M_PI * f * k / rate);
    s[static_cast<size_t>(2 * k)] = static_cast<int16_t>(std::lround(v));
    s[static_cast<size_t>(2 * k + 1)] = static_cast<int16_t>(std::lround(-v));
  }
  return s;
}

SND_Format Stereo16(double rate) { return SND_Format{rate, SND_Encoding_Signed, 2, 2, 0}; }

bool Setup() {
  char tmpl[] = "/tmp/snd_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  gDir = tmpl;
  gSox = std::system("command -v sox > /dev/null 2>&1") == 0;
  const double rates[2] = {48000, 44100};
  for (int r = 0; r < 2; ++r)
    for (int i = 0; i < kSources; ++i) {
      const std::vector<int16_t> s = Tone(i, rates[r]);
      const SND_Format f = Stereo16(rates[r]);
      SND_World w = nullptr;
      void* p = nullptr;
      if (SND_NewWorld(&f, nullptr, &w) || SND_SizeAndLockBuffer(static_cast<int64_t>(s.size() / 2), 0, w, &p))
        return false;
      std::memcpy(p, s.data(), s.size() * 2);
      SND_UnlockBuffer(w);
      gSources[r][i] = w;
      SF_INFO info{};
      info.samplerate = static_cast<int>(rates[r]);
      info.channels = 2;
      info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
      const std::string path = gDir + "/" + std::to_string(r) + "_" + std::to_string(i) + ".wav";
      SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
      if (!file) return false;
      sf_writef_short(file, s.data(), static_cast<sf_count_t>(s.size() / 2));
      sf_close(file);
    }
  return true;
}

void Teardown() {
  for (auto& row : gSources)
    for (SND_World& w : row)
      if (w) SND_DisposeWorld(w);
  if (!gDir.empty()) std::system(("rm -rf " + gDir).c_str());
}

void MixInto(benchmark::State& state, int r, int32_t quality) {
  const SND_Format f = Stereo16(48000);
  for (auto _ : state) {
    SND_World out = nullptr;
    SND_NewWorld(&f, nullptr, &out);
    for (int i = 0; i < kSources; ++i)
      if (SND_Blit(quality, gSources[r][i], nullptr, nullptr, SND_Blit_Mix, nullptr, out) != 0)
        state.SkipWithError("blit failed");
    benchmark::DoNotOptimize(out);
    SND_DisposeWorld(out);
  }
  state.SetItemsProcessed(state.iterations() * kSources * 48000LL * kSeconds * 2);
}

void Sox(benchmark::State& state, int r) {
  if (!gSox) {
    state.SkipWithError("sox is not installed");
    return;
  }
  // -v 1 on every input: a plain sum, as the mix mode adds.
  std::string cmd = "sox -m";
  for (int i = 0; i < kSources; ++i) cmd += " -v 1 " + gDir + "/" + std::to_string(r) + "_" + std::to_string(i) + ".wav";
  cmd += " " + gDir + "/out.wav" + (r == 1 ? " rate 48000" : "") + " > /dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("sox failed");
  state.SetItemsProcessed(state.iterations() * kSources * 48000LL * kSeconds * 2);
}

void BM_SND_Mix8(benchmark::State& state) { MixInto(state, 0, SND_Quality_Best); }
void BM_Sox_Mix8(benchmark::State& state) { Sox(state, 0); }
void BM_SND_ConvertMix8(benchmark::State& state) { MixInto(state, 1, SND_Quality_Best); }
void BM_Sox_ConvertMix8(benchmark::State& state) { Sox(state, 1); }
void BM_SND_ConvertMix8Draft(benchmark::State& state) { MixInto(state, 1, SND_Quality_Draft); }

BENCHMARK(BM_SND_Mix8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sox_Mix8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SND_ConvertMix8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SND_ConvertMix8Draft)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Sox_ConvertMix8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps wall-clock times (the base reporter keeps CPU times).
class WallReporter : public tv::bench::RatioReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    RatioReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred)
        wall[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> wall;
};

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("SNDBench", {SND_PackageNumber});
  if (!packages.ok() || !Setup()) {
    std::fprintf(stderr, "snd_bench: set-up failed\n");
    Teardown();
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  WallReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nsox time / SND time (wall clock; above 1 is faster):\n");
  const char* pairs[][2] = {{"BM_Sox_Mix8/iterations:3/real_time", "BM_SND_Mix8/real_time"},
                            {"BM_Sox_ConvertMix8/iterations:3/real_time", "BM_SND_ConvertMix8/real_time"}};
  for (const auto& pair : pairs) {
    auto a = reporter.wall.find(pair[0]);
    auto b = reporter.wall.find(pair[1]);
    if (a == reporter.wall.end() || b == reporter.wall.end() || b->second <= 0) {
      std::printf("  %-24s skipped (no sox)\n", pair[1]);
      continue;
    }
    std::printf("  %-24s %8.1f\n", pair[1], a->second / b->second);
  }
  benchmark::Shutdown();
  Teardown();
  return 0;
}
