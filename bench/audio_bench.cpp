// Composition audio: one minute of a composition of 8 sound layers (WAV
// files read through the sound-file module, 48 kHz stereo 16-bit), every
// layer's levels animated and one layer time-remapped, rendered in one call
// (BEE_RenderCompSound) at 48 kHz stereo 16-bit. The baseline, measured in
// the same run, is the plainest loop doing the core of the same work on
// sound already in memory: 8 buffers mixed with a per-sample gain ramp and
// saturation. Prints the real-time factor (goal: at least 500 on one core)
// and the ratio to the baseline.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BEE.h"
#include "BenchSupport.h"
#include "SND.h"

namespace {

constexpr int kLayers = 8;
constexpr int kSeconds = 60;
constexpr int kRate = 48000;
constexpr int64_t kFrames = int64_t{kRate} * kSeconds;

std::string gDir;
BEE_Item gComp = nullptr;
std::vector<std::vector<int16_t>> gRaw;  // the baseline's sources

std::vector<int16_t> Tone(int i) {
  std::vector<int16_t> s(static_cast<size_t>(2 * kFrames));
  const double f = 110.0 * (i + 1);
  for (int64_t k = 0; k < kFrames; ++k) {
    const double v = 3000.0 * std::sin(2 * M_PI * f * k / kRate);
    s[static_cast<size_t>(2 * k)] = static_cast<int16_t>(std::lround(v));
    s[static_cast<size_t>(2 * k + 1)] = static_cast<int16_t>(std::lround(-v));
  }
  return s;
}

void Keys(BEE_Layer layer, int32_t index, std::vector<std::vector<double>> keys) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream s = nullptr, d = nullptr;
  BEE_StreamLookup(&ref, &s);
  TDB_DuplicateStream(s, &d);
  TDB_SetConstant(d, 0, nullptr, 0);
  TDB_StreamInfo info{};
  TDB_GetStreamInfo(d, &info);
  for (const auto& k : keys)
    TDB_InsertKeyF(d, nullptr, static_cast<int32_t>(std::lround(k[0] * info.timeScale)), 1, k.data() + 1,
                   TDB_InterpLinear, TDB_InterpLinear);
  BEE_CmdSetStreamKeys(layer, index, d);
}

bool Setup() {
  char tmpl[] = "/tmp/audio_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  gDir = tmpl;
  BEE_CompSettings cs{};
  std::strcpy(cs.name, "Audio");
  cs.duration = Time{kSeconds * 600, 600};
  cs.secondTime = Time{0, 600};
  cs.width = 320;
  cs.height = 240;
  cs.frameRate = 30u << 16;
  cs.pixelAspect = Ratio{1, 1};
  cs.dsfH = cs.dsfV = 1;
  if (BEE_CmdNewComp(nullptr, &cs, &gComp)) return false;
  for (int i = 0; i < kLayers; ++i) {
    gRaw.push_back(Tone(i));
    const std::string path = gDir + "/tone" + std::to_string(i) + ".wav";
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_write_short(f, gRaw.back().data(), static_cast<sf_count_t>(gRaw.back().size()));
    sf_close(f);
    FILE_SpecH ref = nullptr;
    BEE_Item item = nullptr;
    BEE_Layer layer = nullptr;
    if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) || BEE_CmdImportFootage(nullptr, ref, 0, &item) ||
        BEE_CmdNewLayer(gComp, item, &layer))
      return false;
    FILE_Dispose(ref);
    // Levels fall by 12 dB over the minute on the left, rise on the right.
    Keys(layer, BEE_StreamAudioLevels, {{0, 0, -12}, {kSeconds, -12, 0}});
    if (i == 0) Keys(layer, BEE_StreamTimeRemap, {{0, 0}, {kSeconds, kSeconds * 0.9}});
  }
  return true;
}

void BM_CompSound(benchmark::State& state) {
  const SND_Format f{kRate, SND_Encoding_Signed, 2, 2, 0};
  for (auto _ : state) {
    SND_World w = nullptr;
    if (BEE_RenderCompSound(gComp, 0, Time{0, 1}, Time{kSeconds, 1}, &f, &w)) state.SkipWithError("render failed");
    SND_DisposeWorld(w);
  }
}

void BM_PlainMix(benchmark::State& state) {
  std::vector<int16_t> out(static_cast<size_t>(2 * kFrames));
  std::vector<float> acc(out.size());
  for (auto _ : state) {
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (const auto& src : gRaw) {
      float g = 1.0f;
      const float step = std::pow(10.0f, -12.0f / 20.0f / static_cast<float>(kFrames));
      for (int64_t k = 0; k < kFrames; ++k, g *= step) {
        acc[static_cast<size_t>(2 * k)] += src[static_cast<size_t>(2 * k)] * g;
        acc[static_cast<size_t>(2 * k + 1)] += src[static_cast<size_t>(2 * k + 1)] * g;
      }
    }
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<int16_t>(std::clamp(std::lround(acc[i]), -32768L, 32767L));
    benchmark::DoNotOptimize(out.data());
  }
}

}  // namespace

BENCHMARK(BM_CompSound)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainMix)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  tv::bench::Packages packages("audio_bench", {PIN_PackageNumber, BEE_PackageNumber});
  if (!packages.ok() || !Setup()) {
    std::fprintf(stderr, "audio_bench: set-up failed\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double ours = reporter.Time("BM_CompSound/iterations:3");
  const double base = reporter.Time("BM_PlainMix/iterations:3");
  if (ours > 0) std::printf("real-time factor: %.0f (goal 500)\n", kSeconds * 1000.0 / ours);
  if (ours > 0 && base > 0) std::printf("ratio to the plain mix: %.2f\n", ours / base);
  std::string rm = "rm -rf " + gDir;
  if (std::system(rm.c_str())) return 1;
  return 0;
}
