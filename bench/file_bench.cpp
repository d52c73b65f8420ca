// The file layer against the platform underneath it: walking a 10,000-file
// folder by index (cached and freshly read) against std::filesystem, reading
// 256 MiB in 1 MiB calls against read(2), and writing and reading 1 MiB in
// 16-byte calls (through the file layer's buffers, with one reference and
// with two of one file) against buffered stdio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FILE.h"

namespace {

constexpr int kFiles = 10000;
constexpr int64_t kChunk = 1 << 20;
constexpr int kChunks = 256;
constexpr int kSmall = 16;
constexpr int kSmallCalls = (1 << 20) / kSmall;

struct Fixture {
  std::string dir, folder, big;
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tvfilebench-XXXXXX";
    dir = ::mkdtemp(pattern.data());
    folder = dir + "/many";
    ::mkdir(folder.c_str(), 0777);
    for (int i = 0; i < kFiles; ++i) {
      std::string p = folder + "/f" + std::to_string(i * 7919 % kFiles) + ".tif";
      ::close(::open(p.c_str(), O_CREAT | O_WRONLY, 0666));
    }
    big = dir + "/big.dat";
    int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0666);
    std::vector<char> chunk(kChunk, 'x');
    for (int i = 0; i < kChunks; ++i)
      if (::write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) std::abort();
    ::close(fd);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void Touch(const std::string& path) {
  static long ns = 0;
  struct timespec t[2] = {{0, UTIME_OMIT}, {1700000000, ++ns % 1000000000}};
  ::utimensat(AT_FDCWD, path.c_str(), t, 0);
}

void WalkByIndex(benchmark::State& state, bool fresh) {
  Fixture& f = F();
  FILE_SpecH folder = nullptr;
  FILE_New(f.folder.c_str(), FILE_LocFullPath, &folder);
  char name[FILE_MaxPath];
  for (auto _ : state) {
    if (fresh) Touch(f.folder);  // the folder changed: it is read again
    int32_t count = 0;
    FILE_DirFileCount(folder, &count);
    for (int32_t i = 1; i <= count; ++i) {
      FILE_SpecH r = nullptr;
      FILE_DirInqFileSpec(folder, i, &r);
      FILE_InqName(r, FILE_NameOnly, name, sizeof name);
      benchmark::DoNotOptimize(name[0]);
      FILE_Dispose(r);
    }
    if (count != kFiles) state.SkipWithError("wrong count");
  }
  FILE_Dispose(folder);
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_FILE_DirByIndexCached(benchmark::State& state) { WalkByIndex(state, false); }
void BM_FILE_DirByIndexFresh(benchmark::State& state) { WalkByIndex(state, true); }

void BM_StdFilesystemSortedListing(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(f.folder)) {
      std::string n = e.path().filename().string();
      if (n[0] != '.' && (e.is_regular_file() || e.is_directory())) names.push_back(std::move(n));
    }
    std::sort(names.begin(), names.end());
    benchmark::DoNotOptimize(names.data());
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_FILE_Read256MiB(benchmark::State& state) {
  Fixture& f = F();
  std::vector<char> buf(kChunk);
  FILE_SpecH ref = nullptr;
  FILE_New(f.big.c_str(), FILE_LocFullPath, &ref);
  for (auto _ : state) {
    FILE_Open(FILE_PermRead, ref);
    for (int i = 0; i < kChunks; ++i) FILE_NRead(ref, static_cast<int32_t>(kChunk), buf.data());
    FILE_Close(ref);
    benchmark::DoNotOptimize(buf.data());
  }
  FILE_Dispose(ref);
  state.SetBytesProcessed(state.iterations() * kChunk * kChunks);
}

void BM_ReadSyscall256MiB(benchmark::State& state) {
  Fixture& f = F();
  std::vector<char> buf(kChunk);
  for (auto _ : state) {
    int fd = ::open(f.big.c_str(), O_RDONLY);
    for (int i = 0; i < kChunks; ++i)
      if (::read(fd, buf.data(), buf.size()) != kChunk) state.SkipWithError("short read");
    ::close(fd);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(state.iterations() * kChunk * kChunks);
}

// 1 MiB in 16-byte calls into a file emptied first.
void BM_FILE_Write1MiBIn16ByteCalls(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.dir + "/small.dat";
  ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0666));
  FILE_SpecH ref = nullptr;
  FILE_New(path.c_str(), FILE_LocFullPath, &ref);
  char data[kSmall] = {};
  for (auto _ : state) {
    FILE_Open(FILE_PermReadWrite, ref);
    FILE_SetSize(ref, 0);
    for (int i = 0; i < kSmallCalls; ++i) FILE_NWrite(ref, kSmall, data);
    FILE_Close(ref);
  }
  FILE_Dispose(ref);
  state.SetBytesProcessed(state.iterations() * kSmall * kSmallCalls);
}

// The same through two references of the file, each writing every other
// 16 bytes at its own position: they share one buffer.
void BM_FILE_Write1MiBIn16ByteCallsTwoReferences(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.dir + "/small2.dat";
  ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0666));
  FILE_SpecH a = nullptr, b = nullptr;
  FILE_New(path.c_str(), FILE_LocFullPath, &a);
  FILE_New(path.c_str(), FILE_LocFullPath, &b);
  char data[kSmall] = {};
  for (auto _ : state) {
    FILE_Open(FILE_PermReadWrite, a);
    FILE_Open(FILE_PermReadWrite, b);
    FILE_SetSize(a, 0);
    FILE_SetPos(b, kSmall);
    for (int i = 0; i < kSmallCalls; i += 2) {
      FILE_NWrite(a, kSmall, data);
      FILE_NWrite(b, kSmall, data);
      FILE_SetPos(a, int64_t{kSmall} * (i + 2));
      FILE_SetPos(b, int64_t{kSmall} * (i + 3));
    }
    FILE_Close(a);
    FILE_Close(b);
  }
  FILE_Dispose(a);
  FILE_Dispose(b);
  state.SetBytesProcessed(state.iterations() * kSmall * kSmallCalls);
}

void BM_Stdio_Write1MiBIn16ByteCalls(benchmark::State& state) {
  Fixture& f = F();
  std::string path = f.dir + "/small-stdio.dat";
  char data[kSmall] = {};
  for (auto _ : state) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    for (int i = 0; i < kSmallCalls; ++i) std::fwrite(data, 1, kSmall, out);
    std::fclose(out);
  }
  state.SetBytesProcessed(state.iterations() * kSmall * kSmallCalls);
}

void BM_FILE_Read1MiBIn16ByteCalls(benchmark::State& state) {
  Fixture& f = F();
  FILE_SpecH ref = nullptr;
  FILE_New(f.big.c_str(), FILE_LocFullPath, &ref);
  char data[kSmall];
  for (auto _ : state) {
    FILE_Open(FILE_PermRead, ref);
    for (int i = 0; i < kSmallCalls; ++i) FILE_NRead(ref, kSmall, data);
    FILE_Close(ref);
    benchmark::DoNotOptimize(data);
  }
  FILE_Dispose(ref);
  state.SetBytesProcessed(state.iterations() * kSmall * kSmallCalls);
}

void BM_Stdio_Read1MiBIn16ByteCalls(benchmark::State& state) {
  Fixture& f = F();
  char data[kSmall];
  for (auto _ : state) {
    std::FILE* in = std::fopen(f.big.c_str(), "rb");
    for (int i = 0; i < kSmallCalls; ++i)
      if (std::fread(data, 1, kSmall, in) != kSmall) state.SkipWithError("short read");
    std::fclose(in);
    benchmark::DoNotOptimize(data);
  }
  state.SetBytesProcessed(state.iterations() * kSmall * kSmallCalls);
}

}  // namespace

BENCHMARK(BM_FILE_DirByIndexCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FILE_DirByIndexFresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdFilesystemSortedListing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FILE_Read256MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSyscall256MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FILE_Write1MiBIn16ByteCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FILE_Write1MiBIn16ByteCallsTwoReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stdio_Write1MiBIn16ByteCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FILE_Read1MiBIn16ByteCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stdio_Read1MiBIn16ByteCalls)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
