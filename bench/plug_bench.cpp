// The plug-in registry: scanning a folder of 200 plug-in files (copies of
// the sample effect) for their property lists, the first scan of a new
// folder and repeated scans (the goal: a repeated scan under 20 ms), against
// reading every file whole with plain POSIX calls; and preparing a routine
// whose code is cached, against opening the library each time.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "PLUG.h"

namespace {

const std::string kSample = std::string(TAVELO_SAMPLE_PLUGINS) + "/sample_effect.tvx";
constexpr int kFiles = 200;
int gFolders = 0;

std::string MakeFolder() {
  const std::string dir = std::filesystem::temp_directory_path() / ("tv-plug-bench-" + std::to_string(getpid()) +
                                                                    "-" + std::to_string(gFolders++));
  std::filesystem::create_directories(dir);
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/effect%03d.tvx", i);
    std::filesystem::copy_file(kSample, dir + name, std::filesystem::copy_options::overwrite_existing);
  }
  return dir;
}

ErrorCode Describe(PLUG_ScanData scan, int32_t, void* refcon) {
  FourCC kind = 0;
  if (PLUG_GetRoutineInfo(scan, 0, &kind, nullptr, nullptr) == 0 && kind) ++*static_cast<int*>(refcon);
  return 0;
}

int Scan(const std::string& dir) {
  int found = 0;
  PLUG_Sack sack = nullptr;
  PLUG_NewSack(&sack);
  const FourCC tvx = PLUG_FOURCC('.', 'T', 'V', 'X');
  PLUG_InstallScan(sack, 1, &tvx, Describe, nullptr, &found);
  FILE_SpecH folder = nullptr;
  FILE_New(dir.c_str(), FILE_LocFullPath, &folder);
  PLUG_Search(sack, 1, &folder, 0, 2, nullptr, nullptr, nullptr, nullptr);
  FILE_Dispose(folder);
  PLUG_DisposeSack(sack);
  return found;
}

void BM_ScanFirst(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string dir = MakeFolder();
    state.ResumeTiming();
    if (Scan(dir) != kFiles) state.SkipWithError("not every plug-in was described");
    state.PauseTiming();
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ScanFirst)->Iterations(10)->Unit(benchmark::kMillisecond);

std::string gWarm;
void BM_ScanRepeated(benchmark::State& state) {
  for (auto _ : state)
    if (Scan(gWarm) != kFiles) state.SkipWithError("not every plug-in was described");
}
BENCHMARK(BM_ScanRepeated)->Unit(benchmark::kMillisecond);

// Baseline: list the folder and read every file whole.
void BM_ReadAllPosix(benchmark::State& state) {
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    DIR* d = opendir(gWarm.c_str());
    size_t bytes = 0;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const int fd = open((gWarm + "/" + e->d_name).c_str(), O_RDONLY);
      ssize_t n = 0;
      while ((n = read(fd, buffer.data(), buffer.size())) > 0) bytes += static_cast<size_t>(n);
      close(fd);
    }
    closedir(d);
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_ReadAllPosix)->Unit(benchmark::kMillisecond);

PLUG_Routine gRoutine = nullptr;
void BM_PrepareCached(benchmark::State& state) {
  void* entry = nullptr;
  for (auto _ : state) {
    PLUG_PrepRoutine(gRoutine, 0, &entry, nullptr, nullptr);
    PLUG_UnprepRoutine(gRoutine);
    benchmark::DoNotOptimize(entry);
  }
}
BENCHMARK(BM_PrepareCached);

// Baseline: open a library that is not loaded, find the entry, close it.
void BM_OpenLibrary(benchmark::State& state) {
  const std::string path = gWarm + "/effect000.tvx";
  for (auto _ : state) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    benchmark::DoNotOptimize(dlsym(lib, "tv_effect_entry"));
    dlclose(lib);
  }
}
BENCHMARK(BM_OpenLibrary);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tv::bench::Packages packages("plug_bench", {PLUG_PackageNumber});
  if (!packages.ok()) return 1;
  gWarm = MakeFolder();
  Scan(gWarm);
  PLUG_ScanData scan = nullptr;
  FILE_SpecH file = nullptr;
  FILE_New(kSample.c_str(), FILE_LocFullPath, &file);
  PLUG_ScanDataFromFile(file, &scan);
  PLUG_RegisterRoutine(scan, 0, &gRoutine);
  PLUG_DisposeScanData(scan);
  FILE_Dispose(file);
  void* entry = nullptr;
  PLUG_PrepRoutine(gRoutine, 0, &entry, nullptr, nullptr);  // loaded once, then cached
  PLUG_UnprepRoutine(gRoutine);
  tv::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double read = reporter.Time("BM_ReadAllPosix");
  const double open = reporter.Time("BM_OpenLibrary");
  if (read > 0) {
    std::printf("first scan / reading every file: %.2f\n", reporter.Time("BM_ScanFirst/iterations:10") / read);
    std::printf("repeated scan / reading every file: %.2f\n", reporter.Time("BM_ScanRepeated") / read);
  }
  if (open > 0) std::printf("prepare from cache / open the library: %.4f\n", reporter.Time("BM_PrepareCached") / open);
  std::filesystem::remove_all(gWarm);
  return 0;
}
