// Seeded random mutations of well-formed files: every mutated file is either
// read into a sound list or refused with exactly one report, the chunk walker
// always ends, and nothing leaks.
#include <random>

#include "LIST_file.h"
#include "SLU_test_fixture.h"

namespace tv::test {
namespace {

// Walks every chunk under parent; *visited counts them.
ErrorCode WalkChunks(SLU_FileContext* c, const SLU_Chunk* parent, int depth, int* visited) {
  for (;;) {
    SLU_Chunk chunk{};
    Boolean32 found = 0;
    if (ErrorCode err = SLU_Descend(c, 0, 0, parent, &chunk, &found)) return err;
    if (!found) return 0;
    ++*visited;
    if (tv::slu::IsContainer(chunk.id) && depth < 32) {
      if (ErrorCode err = WalkChunks(c, &chunk, depth + 1, visited)) return err;
    }
    if (ErrorCode err = SLU_Ascend(c, &chunk)) return err;
  }
}

class Mutation : public ChunkFileTest {
 protected:
  // The golden files: lists of each kind inside a project-like tree.
  std::vector<Bytes> Goldens() {
    std::vector<Bytes> out;
    // A value list, a record list with odd items, an empty list.
    SLU_FileContext c = Create("golden.bin");
    SLU_Chunk riff = OUT(SLU_BeginChunkWrite, &c, tv::slu::kRIFX, 0, MakeFourCC("Egg!"));
    LIST_Handle a = OUT(LIST_New, 0, 4, 4, 1);
    for (int32_t v = 0; v < 9; ++v) LIST_Insert4(v * 1000 - 3, -1, a);
    LIST_Handle b = OUT(LIST_New, LIST_FlagNoCompact, 5, 3, 2);
    for (int i = 0; i < 7; ++i) {
      uint8_t item[5] = {static_cast<uint8_t>(i), 9, 8, 7, 6};
      LIST_Insert(item, -1, b);
    }
    LIST_Handle e = OUT(LIST_New, 0, 12, 8, 1);
    EXPECT_EQ(LIST_Write(a, &c), 0);
    const uint8_t odd[3] = {1, 2, 3};
    EXPECT_EQ(SLU_WriteAtom(&c, MakeFourCC("odd3"), 3, odd), 0);
    EXPECT_EQ(LIST_Write(b, &c), 0);
    EXPECT_EQ(LIST_Write(e, &c), 0);
    EXPECT_EQ(SLU_EndChunkWrite(&c, &riff), 0);
    for (LIST_Handle list : {a, b, e}) LIST_Dispose(list, 0);
    out.push_back(Contents("golden.bin"));
    // An old-form list.
    Bytes h2 = ByteBuilder().U32(0xD00BEE).U32(1).U16(2).U16(1).U32(2).U16(2).U16(1).U16(2).U16(1).Zeros(16).b;
    out.push_back(ByteBuilder()
                      .Tag("LIST").U32(4 + 48 + 12).Tag("list")
                      .Tag("lhd2").U32(40).Append(h2)
                      .Tag("ldat").U32(4).Raw({1, 2, 3, 4})
                      .b);
    return out;
  }

  void Mutate(std::mt19937& rng, Bytes& b) {
    static const uint32_t kInteresting[] = {0,          1,          3,          4,          7,          8,
                                            52,         0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF7, 0xFFFFFFFC,
                                            0x00D00BEE, 65535,      65536,      2000000000};
    int edits = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < edits && !b.empty(); ++k) {
      size_t at = rng() % b.size();
      switch (rng() % 5) {
        case 0: b[at] = static_cast<uint8_t>(rng()); break;
        case 1: b[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        case 2: {
          at &= ~size_t{3};
          if (at + 4 <= b.size()) tv::be::Store<uint32_t>(b.data() + at, kInteresting[rng() % std::size(kInteresting)]);
          break;
        }
        case 3: b.resize(at); break;
        default: b.insert(b.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
      }
    }
  }
};

TEST_F(Mutation, MutatedFilesAreReadSoundlyOrRefusedOnce) {
  std::vector<Bytes> goldens = Goldens();
  CloseAll();
  std::mt19937 rng(20261206);
  int read = 0, refused = 0;
  for (size_t g = 0; g < goldens.size(); ++g) {
    for (int round = 0; round < 4000; ++round) {
      Bytes bytes = goldens[g];
      Mutate(rng, bytes);
      SLU_FileContext c = WithBytes(bytes, "m.bin");

      // The walker ends on every file.
      rec.clear();
      int visited = 0;
      SLU_Chunk top{};
      Boolean32 found = 0;
      ErrorCode err = SLU_Descend(&c, 0, 0, nullptr, &top, &found);
      if (!err && found) err = WalkChunks(&c, &top, 0, &visited);
      EXPECT_LE(visited, static_cast<int>(bytes.size() / 8)) << "round " << round;
      if (err) {
        EXPECT_EQ(rec.reports.size(), 1u) << "round " << round << " code " << err;
      }

      // Every list in the top container reads soundly or is refused once.
      ASSERT_EQ(FILE_SetPos(c.file, 0), 0);
      rec.clear();
      SLU_Chunk parent{};
      const SLU_Chunk* within = nullptr;
      if (g == 0) {
        if (SLU_Descend(&c, 0, 0, nullptr, &parent, nullptr) != 0) {
          CloseAll();
          ++refused;
          continue;
        }
        within = &parent;
        rec.clear();
      }
      for (int n = 0; n < 3; ++n) {
        LIST_Handle list = nullptr;
        rec.clear();
        ErrorCode e = LIST_Read(&c, within, &list);
        if (e) {
          EXPECT_EQ(list, nullptr);
          EXPECT_EQ(rec.reports.size(), 1u) << "round " << round << " code " << e;
          ++refused;
          break;
        }
        ++read;
        EXPECT_TRUE(rec.reports.empty());
        int32_t count = -1, itemSize = 0;
        ASSERT_EQ(LIST_GetNumItems(list, &count), 0);
        ASSERT_EQ(LIST_GetItemSize(list, &itemSize), 0);
        EXPECT_GE(count, 0);
        // A list read from a file is a working list: it grows and shrinks.
        EXPECT_EQ(LIST_Insert(nullptr, -1, list), 0);
        EXPECT_EQ(LIST_Remove(0, list, 0, nullptr), 0);
        EXPECT_EQ(LIST_Dispose(list, 0), 0);
        if (!within) break;
      }
      CloseAll();
    }
  }
  EXPECT_GT(read, 100);
  EXPECT_GT(refused, 100);  // a list left behind fails the fixture's count of live blocks
}

}  // namespace
}  // namespace tv::test
