// The chunk layer and the list file form against buffered stdio writing and
// reading the same bytes: 10,000 small atoms in one container, a list of
// 100,000 values, and the scan of a 1,000-chunk container for an absent
// optional chunk. Chunks go through the file layer's buffers, so small
// fields cost memory copies and the checks of each call rather than system
// calls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ByteOrder.h"
#include "FILE.h"
#include "LIST_file.h"
#include "SLU.h"
#include "U.h"

namespace {

using tv::MakeFourCC;

constexpr int kAtoms = 10000;
constexpr int kAtomBytes = 16;
constexpr int kValues = 100000;

std::string Dir() {
  static std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tvslubench-XXXXXX";
    return std::string(::mkdtemp(pattern.data()));
  }();
  return dir;
}

// An open chunk context on path (created when write is set).
struct Open {
  FILE_SpecH ref = nullptr;
  SLU_FileContext c{};
  Open(const std::string& path, bool write) {
    FILE_New(path.c_str(), FILE_LocFullPath, &ref);
    if (write) FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref);
    FILE_Open(write ? FILE_PermReadWrite : FILE_PermRead, ref);
    SLU_InitFile(ref, 0, &c);
  }
  ~Open() { FILE_Dispose(ref); }
};

void WriteAtoms(const std::string& path) {
  Open f(path, true);
  SLU_Chunk riff{};
  SLU_BeginChunkWrite(&f.c, tv::slu::kRIFX, 0, MakeFourCC("Egg!"), &riff);
  uint8_t data[kAtomBytes] = {};
  for (int i = 0; i < kAtoms; ++i) SLU_WriteAtom(&f.c, MakeFourCC("atom"), kAtomBytes, data);
  SLU_EndChunkWrite(&f.c, &riff);
}

void BM_Slu_WriteAtoms(benchmark::State& state) {
  std::string path = Dir() + "/atoms.bin";
  for (auto _ : state) WriteAtoms(path);
  state.SetItemsProcessed(state.iterations() * kAtoms);
}

void BM_Stdio_WriteAtoms(benchmark::State& state) {
  std::string path = Dir() + "/atoms-stdio.bin";
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    uint8_t field[4];
    auto put32 = [&](uint32_t v) {
      tv::be::Store<uint32_t>(field, v);
      std::fwrite(field, 1, 4, f);
    };
    put32(tv::slu::kRIFX);
    put32(4 + kAtoms * (8 + kAtomBytes));
    put32(MakeFourCC("Egg!"));
    uint8_t data[kAtomBytes] = {};
    for (int i = 0; i < kAtoms; ++i) {
      put32(MakeFourCC("atom"));
      put32(kAtomBytes);
      std::fwrite(data, 1, kAtomBytes, f);
    }
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * kAtoms);
}

void BM_Slu_ReadAtoms(benchmark::State& state) {
  std::string path = Dir() + "/atoms.bin";
  WriteAtoms(path);
  for (auto _ : state) {
    Open f(path, false);
    SLU_Chunk riff{};
    SLU_Descend(&f.c, 0, 0, nullptr, &riff, nullptr);
    uint8_t data[kAtomBytes];
    for (int i = 0; i < kAtoms; ++i) SLU_ReadAtom(&f.c, MakeFourCC("atom"), &riff, sizeof data, data);
  }
  state.SetItemsProcessed(state.iterations() * kAtoms);
}

void BM_Stdio_ReadAtoms(benchmark::State& state) {
  std::string path = Dir() + "/atoms.bin";
  WriteAtoms(path);
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    uint8_t header[12], data[kAtomBytes];
    if (std::fread(header, 1, 12, f) != 12) std::abort();
    for (int i = 0; i < kAtoms; ++i) {
      if (std::fread(header, 1, 8, f) != 8) std::abort();
      uint32_t size = tv::be::Load<uint32_t>(header + 4);
      if (size > sizeof data || std::fread(data, 1, size, f) != size) std::abort();
    }
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * kAtoms);
}

LIST_Handle Values() {
  LIST_Handle list = nullptr;
  LIST_New(0, 4, 1024, 1, &list);
  for (int32_t i = 0; i < kValues; ++i) LIST_Insert4(i, -1, list);
  return list;
}

void BM_Slu_ListRoundTrip(benchmark::State& state) {
  std::string path = Dir() + "/list.bin";
  LIST_Handle list = Values();
  for (auto _ : state) {
    {
      Open f(path, true);
      LIST_Write(list, &f.c);
    }
    Open f(path, false);
    LIST_Handle read = nullptr;
    LIST_Read(&f.c, nullptr, &read);
    LIST_Dispose(read, 0);
  }
  LIST_Dispose(list, 0);
  state.SetBytesProcessed(state.iterations() * kValues * 4);
}

void BM_Stdio_ListRoundTrip(benchmark::State& state) {
  std::string path = Dir() + "/list-stdio.bin";
  std::vector<int32_t> values(kValues);
  for (int32_t i = 0; i < kValues; ++i) values[static_cast<size_t>(i)] = i;
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(values.data(), 4, values.size(), f);
    std::fclose(f);
    f = std::fopen(path.c_str(), "rb");
    std::vector<int32_t> back(kValues);
    if (std::fread(back.data(), 4, back.size(), f) != back.size()) std::abort();
    std::fclose(f);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * kValues * 4);
}

// DescendStable for an optional chunk that is absent scans the whole parent.
void BM_Slu_AbsentOptionalChunk(benchmark::State& state) {
  std::string path = Dir() + "/scan.bin";
  {
    Open f(path, true);
    SLU_Chunk list{};
    SLU_BeginChunkWrite(&f.c, tv::slu::kLIST, 0, MakeFourCC("many"), &list);
    for (int i = 0; i < 1000; ++i) SLU_WriteAtom(&f.c, MakeFourCC("item"), 0, nullptr);
    SLU_EndChunkWrite(&f.c, &list);
  }
  Open f(path, false);
  SLU_Chunk list{}, chunk{};
  SLU_Descend(&f.c, 0, 0, nullptr, &list, nullptr);
  for (auto _ : state) {
    Boolean32 found = 0;
    SLU_DescendStable(&f.c, MakeFourCC("none"), 0, &list, &chunk, &found);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}

BENCHMARK(BM_Slu_WriteAtoms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stdio_WriteAtoms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slu_ReadAtoms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stdio_ReadAtoms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slu_ListRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stdio_ListRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slu_AbsentOptionalChunk)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  tv::bench::Packages packages("SluBench", {});
  benchmark::Initialize(&argc, argv);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nSLU time / stdio time (CPU time):\n");
  for (const auto& [name, t] : reporter.times) {
    if (name.rfind("BM_Slu_", 0) != 0) continue;
    auto it = reporter.times.find("BM_Stdio_" + name.substr(7));
    if (it == reporter.times.end() || it->second <= 0) continue;
    std::printf("  %-20s %8.2f\n", name.substr(7).c_str(), t / it->second);
  }
  benchmark::Shutdown();
  std::filesystem::remove_all(Dir());
  return 0;
}
