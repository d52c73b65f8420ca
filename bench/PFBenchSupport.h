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

// Births U (as `name`), M with the fast 8-bit tables and PF, and runs the
// benchmarks the command line selects; the packages die with the object.
class PFBenchRun {
 public:
  PFBenchRun(const char* name, int* argc, char** argv) {
    U_Birth(name, 0);
    int32_t granted = 0;
    M_Birth(M_ServiceFastCharMath, &granted);
    PF_Birth();
    benchmark::Initialize(argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  ~PFBenchRun() {
    benchmark::Shutdown();
    PF_Death();
    M_Death();
    U_Death();
  }
  PFBenchRun(const PFBenchRun&) = delete;
  PFBenchRun& operator=(const PFBenchRun&) = delete;

  RatioReporter reporter;
};

}  // namespace tv::bench
