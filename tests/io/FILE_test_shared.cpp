// Several references of one file: random reads, writes, seeks and size
// changes through three references match a model of the file held in memory
// (what one writes the others read at once; none writes back bytes it only
// read).
#include <algorithm>
#include <random>

#include "FILE_internal.h"
#include "FILE_test_fixture.h"

namespace tv::test {
namespace {

using namespace tv::file;

using FileShared = FileTest;

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
        ASSERT_EQ(OUT(FILE_InqSize, r[i], FILE_SizeData), size);
      } else if (op < 96) {
        ASSERT_EQ(FILE_Flush(r[i]), 0);
      } else {
        ASSERT_EQ(FILE_Close(r[i]), 0);
        ASSERT_EQ(FILE_Open(perm, r[i]), 0);
        pos[i] = 0;
      }
      ASSERT_EQ(OUT(FILE_InqPos, r[i]), pos[i]);
      rec.clear();
    }
    for (FILE_SpecH ref : r) ASSERT_EQ(FILE_Close(ref), 0);
    EXPECT_EQ(Slurp(P("f")), model);
  }
  EXPECT_EQ(OpenFileCount(), 0u);
}

}  // namespace
}  // namespace tv::test
