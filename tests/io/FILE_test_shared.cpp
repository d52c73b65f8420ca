// Several references of one file, in this process and in two processes: what
// one writes the others read at once, a reference writes back only the bytes
// it wrote, and random reads, writes, seeks and size changes through three
// references match a model of the file held in memory.
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;

struct Mode {
  const char* name;
  int32_t a, b;
};
// Both shared (other processes may write), both exclusive, and one of each.
const Mode kModes[] = {{"shared", FILE_PermShared, FILE_PermShared},
                       {"read-write", FILE_PermReadWrite, FILE_PermReadWrite},
                       {"mixed", FILE_PermReadWrite, FILE_PermShared}};

using FileShared = FileTest;

// A reads the whole file; B writes byte 100 and closes; A writes bytes 0 and
// 200 and closes. B's byte stays: A never writes back bytes it only read.
TEST_F(FileShared, AReferenceWritesBackOnlyTheBytesItWrote) {
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    Write(P("f"), std::string(300, '.'));
    FILE_SpecH a = Opened("f", m.a);
    FILE_SpecH b = Opened("f", m.b);
    EXPECT_EQ(ReadAt(a, 0, 300), std::string(300, '.'));
    WriteAt(b, 100, "B");
    ASSERT_EQ(FILE_Close(b), 0);
    WriteAt(a, 0, "A");
    WriteAt(a, 200, "a");
    ASSERT_EQ(FILE_Close(a), 0);
    std::string want(300, '.');
    want[0] = 'A';
    want[100] = 'B';
    want[200] = 'a';
    EXPECT_EQ(Slurp(P("f")), want);
  }
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(OpenFileCount(), 0u);
}

TEST_F(FileShared, WhatOneReferenceWritesTheOthersReadAtOnce) {
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    Write(P("f"), "abcdefgh");
    FILE_SpecH a = Opened("f", m.a);
    FILE_SpecH b = Opened("f", m.b);
    EXPECT_EQ(ReadAt(b, 0, 8), "abcdefgh");
    WriteAt(a, 0, "12345");
    EXPECT_EQ(ReadAt(b, 0, 8), "12345fgh");
    WriteAt(b, 6, "XY");
    EXPECT_EQ(ReadAt(a, 4, 4), "5fXY");
    // Growing through one reference: the other sees the size and the bytes.
    WriteAt(a, 8, "++");
    EXPECT_EQ(OUT(FILE_InqSize, b, FILE_SizeData), 10);
    EXPECT_EQ(ReadAt(b, 7, 3), "Y++");
    // With a reference in the shared mode, every byte is on the disk at once,
    // where another process reads it.
    if (m.a == FILE_PermShared || m.b == FILE_PermShared) {
      EXPECT_EQ(Slurp(P("f")), "12345fXY++");
    }
    // Cutting the file through one reference: the other reads the end there.
    ASSERT_EQ(FILE_SetSize(b, 3), 0);
    char c[4];
    int32_t count = 4;
    ASSERT_EQ(FILE_SetPos(a, 1), 0);
    EXPECT_EQ(FILE_Read(a, &count, c), 786);
    EXPECT_EQ(std::string(c, static_cast<size_t>(count)), "23");
    rec.clear();
    ASSERT_EQ(FILE_Close(a), 0);
    ASSERT_EQ(FILE_Close(b), 0);
    EXPECT_EQ(Slurp(P("f")), "123");
  }
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(OpenFileCount(), 0u);
}

// Two processes open one file in the shared mode and take turns: each reads
// what the other wrote, and neither writes back what it did not write.
TEST_F(FileShared, TwoProcessesShareAFile) {
  Write(P("f"), std::string(300, '.'));
  int toChild[2], toParent[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(toParent), 0);
  auto signal = [](int fd) { return ::write(fd, "x", 1) == 1; };
  auto await = [](int fd) {
    char c;
    return ::read(fd, &c, 1) == 1;
  };
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The child: no test macros here; each failed step sets a bit of the status.
    int failed = 0;
    FILE_SpecH r = nullptr;
    std::string path = P("f");
    char buf[300];
    if (FILE_New(path.c_str(), FILE_LocFullPath, &r) != 0 || FILE_Open(FILE_PermShared, r) != 0) ::_exit(1);
    if (!await(toChild[0])) failed |= 2;
    if (FILE_NRead(r, 300, buf) != 0 || std::string(buf, 300) != std::string(300, '.')) failed |= 4;
    if (FILE_SetPos(r, 100) != 0 || FILE_NWrite(r, 1, "C") != 0) failed |= 8;
    if (!signal(toParent[1]) || !await(toChild[0])) failed |= 16;
    if (FILE_SetPos(r, 0) != 0 || FILE_NRead(r, 300, buf) != 0 || buf[0] != 'P' || buf[200] != 'P') failed |= 32;
    if (FILE_Close(r) != 0 || FILE_Dispose(r) != 0) failed |= 64;
    signal(toParent[1]);
    ::_exit(failed);
  }
  FILE_SpecH r = Opened("f", FILE_PermShared);
  std::string before(300, '\0');
  ASSERT_EQ(FILE_NRead(r, 300, before.data()), 0);
  ASSERT_TRUE(signal(toChild[1]));
  ASSERT_TRUE(await(toParent[0]));
  EXPECT_EQ(ReadAt(r, 99, 3), ".C.");  // the child's byte, not the one read before
  WriteAt(r, 0, "P");
  WriteAt(r, 200, "P");
  ASSERT_TRUE(signal(toChild[1]));
  ASSERT_TRUE(await(toParent[0]));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_EQ(FILE_Close(r), 0);
  std::string want(300, '.');
  want[0] = want[200] = 'P';
  want[100] = 'C';
  EXPECT_EQ(Slurp(P("f")), want);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
  EXPECT_TRUE(rec.reports.empty());
}

// Seeded random reads, writes (small ones and ones larger than a buffer),
// seeks, size changes, size queries, flushes and reopenings through three
// references of one file, checked step by step against a string and a
// position per reference.
TEST_F(FileShared, RandomInterleavingThroughThreeReferencesMatchesAModel) {
  constexpr int64_t kBig = 64 * 1024;
  struct Mix {
    uint32_t seed;
    int32_t perms[3];
  };
  const Mix mixes[] = {
      {11, {FILE_PermReadWrite, FILE_PermReadWrite, FILE_PermReadWrite}},
      {12, {FILE_PermShared, FILE_PermShared, FILE_PermShared}},
      {13, {FILE_PermReadWrite, FILE_PermShared, FILE_PermRead}},
      {14, {FILE_PermWrite, FILE_PermReadWrite, FILE_PermRead}},
  };
  for (const Mix& mix : mixes) {
    SCOPED_TRACE(mix.seed);
    Write(P("f"), "");
    std::mt19937 rng(mix.seed);
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    FILE_SpecH r[3];
    int64_t pos[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) r[i] = Opened("f", mix.perms[i]);
    std::string model;
    uint8_t fill = 0;
    for (int step = 0; step < 3000; ++step) {
      SCOPED_TRACE(step);
      int i = static_cast<int>(pick(0, 2));
      int32_t perm = mix.perms[i];
      auto size = static_cast<int64_t>(model.size());
      int64_t op = pick(0, 99);
      if (op < 35 && perm != FILE_PermRead) {
        int64_t n = pick(0, 30) == 0 ? pick(kBig - 8, 2 * kBig) : pick(1, 200);
        std::string bytes(static_cast<size_t>(n), static_cast<char>('A' + fill++ % 26));
        for (size_t k = 0; k < bytes.size(); k += 7) bytes[k] = static_cast<char>('a' + (k + step) % 26);
        ASSERT_EQ(FILE_NWrite(r[i], static_cast<int32_t>(n), bytes.data()), 0);
        if (size < pos[i] + n) model.resize(static_cast<size_t>(pos[i] + n), '\0');
        model.replace(static_cast<size_t>(pos[i]), static_cast<size_t>(n), bytes);
        pos[i] += n;
      } else if (op < 65 && perm != FILE_PermWrite) {
        int64_t n = pick(0, 30) == 0 ? pick(kBig - 8, 2 * kBig) : pick(1, 200);
        int64_t avail = std::clamp<int64_t>(size - pos[i], 0, n);
        std::string got(static_cast<size_t>(n), '\0');
        auto count = static_cast<int32_t>(n);
        ErrorCode err = FILE_Read(r[i], &count, got.data());
        ASSERT_EQ(err, avail < n ? 786 : 0);
        ASSERT_EQ(count, avail);
        if (avail > 0) {
          ASSERT_EQ(got.substr(0, static_cast<size_t>(avail)),
                    model.substr(static_cast<size_t>(pos[i]), static_cast<size_t>(avail)));
        }
        pos[i] += avail;
      } else if (op < 80) {
        int64_t to = pick(0, size + 100);
        // A reference open for reading only cannot go past the end.
        bool refused = perm == FILE_PermRead && to > size;
        ASSERT_EQ(FILE_SetPos(r[i], to), refused ? 786 : 0);
        if (!refused) pos[i] = to;
      } else if (op < 86 && perm != FILE_PermRead) {
        int64_t to = pick(0, size + 300);
        ASSERT_EQ(FILE_SetSize(r[i], to), 0);
        model.resize(static_cast<size_t>(to), '\0');
        pos[i] = std::min(pos[i], to);
      } else if (op < 92) {
        int64_t got = -1;
        ASSERT_EQ(FILE_InqSize(r[i], FILE_SizeData, &got), 0);
        ASSERT_EQ(got, size);
      } else if (op < 96) {
        ASSERT_EQ(FILE_Flush(r[i]), 0);
      } else {
        ASSERT_EQ(FILE_Close(r[i]), 0);
        ASSERT_EQ(FILE_Open(perm, r[i]), 0);
        pos[i] = 0;
      }
      int64_t at = -1;
      ASSERT_EQ(FILE_InqPos(r[i], &at), 0);
      ASSERT_EQ(at, pos[i]);
      rec.clear();
    }
    for (FILE_SpecH ref : r) ASSERT_EQ(FILE_Close(ref), 0);
    EXPECT_EQ(Slurp(P("f")), model);
  }
  EXPECT_EQ(OpenFileCount(), 0u);
}

}  // namespace
}  // namespace tv::test
