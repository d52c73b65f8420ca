// Shared by the benchmarks: a console reporter that also keeps each
// benchmark's CPU time per iteration, so a program can print the ratio of
// each measurement to its baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace tv::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
  }
  // CPU time per iteration of the named benchmark, or 0 when it did not run.
  double Time(const std::string& name) const {
    auto it = times.find(name);
    return it == times.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> times;
};

}  // namespace tv::bench
