// Number formatting, message substitution and string-table installation,
// each against a plain baseline in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "STR.h"
#include "U.h"

namespace {

void BM_FormatNum(benchmark::State& state) {
  char out[U_FormatNumSize];
  double v = 1234.5678;
  for (auto _ : state) {
    U_FormatNum(v, U_NumThousands | U_NumNoTrailingZeros | U_NumNoLocale, 1, 3, out);
    benchmark::DoNotOptimize(out);
    v += 0.001;
  }
}
BENCHMARK(BM_FormatNum);

void BM_SnprintfBaseline(benchmark::State& state) {
  char out[64];
  double v = 1234.5678;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%1.*f", 3, v);
    benchmark::DoNotOptimize(out);
    v += 0.001;
  }
}
BENCHMARK(BM_SnprintfBaseline);

void BM_SubString(benchmark::State& state) {
  char out[256];
  U_SubArg args[3] = {{U_SubArgText, 0, 0, "Layer 1"}, {U_SubArgLong, 42, 0, nullptr},
                      {U_SubArgDouble, 0, 2.5, nullptr}};
  for (auto _ : state) {
    U_SubString(out, sizeof out, "cannot move ^1 to frame ^L2 at ^F3@1.2n@ seconds.", args, 3);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_SubString);

void BM_SubStringBaseline(benchmark::State& state) {
  char out[256];
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "cannot move %s to frame %d at %.2f seconds.", "Layer 1", 42, 2.5);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_SubStringBaseline);

// A table of 1000 entries, a quarter of them with replacement tags.
void BM_InstallTable(benchmark::State& state) {
  static std::vector<std::string> storage;
  static std::vector<const char*> texts;
  if (texts.empty()) {
    for (int i = 0; i < 1000; ++i)
      storage.push_back(i % 4 ? "message number " + std::to_string(i)
                              : "mac " + std::to_string(i) + "{{*MSWindows*}}win " + std::to_string(i));
    for (const std::string& s : storage) texts.push_back(s.c_str());
    texts.push_back(STR_END);
  }
  STR_Table table{};
  STR_Descriptor d[] = {{0, texts.data(), &table}, {0, nullptr, nullptr}};
  for (auto _ : state) {
    STRp_BirthStrTab(d);
    benchmark::DoNotOptimize(table.texts);
  }
  STRp_Death();
}
BENCHMARK(BM_InstallTable);

}  // namespace

BENCHMARK_MAIN();
