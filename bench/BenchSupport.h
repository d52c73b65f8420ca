// Shared by the benchmarks: the packages a program needs, born through the
// engine's births, and a console reporter that also keeps each benchmark's
// CPU time per iteration, so a program can print the ratio of each
// measurement to its baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "BEE.h"
#include "BM.h"
#include "Engine.h"
#include "FILE.h"
#include "PIN.h"

namespace tv::bench {

// Births U (as `name`) and the given packages (with what they need first);
// kills them in reverse order with the object.
class Packages {
 public:
  Packages(const char* name, std::initializer_list<int32_t> numbers)
      : ok_(TV_BirthPackages(name, numbers.begin(), static_cast<int32_t>(numbers.size())) == 0) {}
  ~Packages() { TV_DeathPackages(); }
  Packages(const Packages&) = delete;
  Packages& operator=(const Packages&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// The settings of a benchmark's composition: square pixels, full
// resolution, the second counted in 1/600ths.
inline BEE_CompSettings CompSettings(const char* name, int32_t width, int32_t height, Time duration,
                                     uint32_t frameRate = 30u << 16) {
  BEE_CompSettings s{};
  std::snprintf(s.name, sizeof s.name, "%s", name);
  s.duration = duration;
  s.secondTime = Time{0, 600};
  s.width = static_cast<uint16_t>(width);
  s.height = static_cast<uint16_t>(height);
  s.frameRate = frameRate;
  s.pixelAspect = Ratio{1, 1};
  s.dsfH = s.dsfV = 1;
  return s;
}

// Draws the first frame of the footage file at `path` (width x height) once
// an iteration through its module; aborts when the file cannot be drawn.
inline void DrawFootageFrames(benchmark::State& state, const std::string& path, int32_t width, int32_t height) {
  FILE_SpecH ref = nullptr;
  PIN_SeqSpecH seq = nullptr;
  if (FILE_New(path.c_str(), FILE_LocFullPath, &ref) != 0 || PIN_NewSeqSpecFromFile(ref, &seq) != 0) std::abort();
  FILE_Dispose(ref);
  const Rect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  BM_World world = nullptr;
  if (BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world) != 0) std::abort();
  PIN_DrawParams params{};
  params.time = Time{0, 1};
  for (auto _ : state)
    if (PIN_DrawFrame(seq, world, &params) != 0) std::abort();
  BM_DisposeWorld(world);
  PIN_DisposeSeqSpec(seq);
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions (interleaved or not) each name keeps its lowest
    // time: the run least disturbed by the rest of the machine.
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      Keep(times, NameOf(r), r.GetAdjustedCPUTime());
      Keep(reals, NameOf(r), r.GetAdjustedRealTime());
      for (const auto& [key, c] : r.counters) Keep(counters, NameOf(r) + "#" + key, c.value);
    }
  }
  // CPU time per iteration of the named benchmark, or 0 when it did not run.
  double Time(const std::string& name) const {
    auto it = times.find(name);
    return it == times.end() ? 0.0 : it->second;
  }
  // The value of a counter of the named benchmark (its lowest over the
  // repetitions), or 0.
  double Counter(const std::string& name, const std::string& counter) const {
    auto it = counters.find(name + "#" + counter);
    return it == counters.end() ? 0.0 : it->second;
  }
  // Wall time per iteration, or 0.
  double Real(const std::string& name) const {
    auto it = reals.find(name);
    return it == reals.end() ? 0.0 : it->second;
  }
  // The CPU time of `measured` over that of `baseline`, or 0 when either did not run.
  double Ratio(const std::string& measured, const std::string& baseline) const {
    const double m = Time(measured), b = Time(baseline);
    return m > 0 && b > 0 ? m / b : 0.0;
  }
  // One line per argument i of a DenseRange(0, n - 1) pair: `format` gets
  // names[i] and the ratio of measured/i to baseline/i (skipped when either
  // did not run).
  void PrintRatios(const std::string& measured, const std::string& baseline,
                   std::initializer_list<const char*> names, const char* format) const {
    int i = 0;
    for (const char* name : names) {
      const std::string n = "/" + std::to_string(i++);
      if (const double r = Ratio(measured + n, baseline + n); r > 0) std::printf(format, name, r);
    }
  }
  std::map<std::string, double> times;
  std::map<std::string, double> reals;
  std::map<std::string, double> counters;

 private:
  static void Keep(std::map<std::string, double>& m, const std::string& name, double v) {
    auto [it, added] = m.emplace(name, v);
    if (!added && v < it->second) it->second = v;
  }
  // The benchmark's name without the repetition count.
  static std::string NameOf(const Run& r) {
    benchmark::BenchmarkName n = r.run_name;
    n.repetitions.clear();
    return n.str();
  }
};

// The CPU time (user and system) of the finished child processes so far.
inline double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the benchmarks the command line selects, reporting into `reporter`.
inline void RunBenchmarks(int argc, char** argv, RatioReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks(&reporter);
}

}  // namespace tv::bench
