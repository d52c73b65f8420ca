// Shared by the pixel-routine benchmarks (pf_bench, pf_blur_bench,
// pf_transform_bench): the packages they need, born before the run and dead
// after it, and the run itself into the shared ratio reporter.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "BenchSupport.h"
#include "M.h"
#include "PF.h"
#include "U.h"

namespace tv::bench {

// Births PF (and U as `name`, M with its fast tables before it) and runs the
// benchmarks the command line selects; the packages die with the object.
class PFBenchRun {
 public:
  PFBenchRun(const char* name, int* argc, char** argv) : packages_(name, {PF_PackageNumber}) {
    benchmark::Initialize(argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  ~PFBenchRun() { benchmark::Shutdown(); }
  PFBenchRun(const PFBenchRun&) = delete;
  PFBenchRun& operator=(const PFBenchRun&) = delete;

  RatioReporter reporter;

 private:
  Packages packages_;
};

}  // namespace tv::bench
