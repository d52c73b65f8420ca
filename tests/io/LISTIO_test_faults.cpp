// Write failures at every byte of a small tree of chunks and lists: each one
// is returned (never success) by the writing or by the close that ends it,
// reported once, and leaves nothing behind in memory.
#include <sys/resource.h>

#include <csignal>

#include "LIST_file.h"
#include "SLU_test_fixture.h"
#include "FileSizeLimit.h"

namespace tv::test {
namespace {

class WriteFaults : public ChunkFileTest {};

ErrorCode WriteTree(SLU_FileContext* c, LIST_Handle list) {
  SLU_Chunk riff{};
  if (ErrorCode err = SLU_BeginChunkWrite(c, tv::slu::kRIFX, 0, MakeFourCC("Egg!"), &riff)) return err;
  const uint8_t odd[3] = {1, 2, 3};
  if (ErrorCode err = SLU_WriteAtom(c, MakeFourCC("odd3"), 3, odd)) return err;
  if (ErrorCode err = LIST_Write(list, c)) return err;
  if (ErrorCode err = SLU_WriteFileSpec(c, c->file, nullptr)) return err;
  return SLU_EndChunkWrite(c, &riff);
}

TEST_F(WriteFaults, EveryFailureIsReturnedAndReportedOnce) {
  LIST_Handle list = OUT(LIST_New, 0, 4, 4, 1);
  for (int32_t v = 0; v < 5; ++v) ASSERT_EQ(LIST_Insert4(v, -1, list), 0);
  SLU_FileContext c = Create("a.bin");
  ASSERT_EQ(WriteTree(&c, list), 0);
  const size_t whole = Contents("a.bin").size();
  CloseAll();

  struct Outcome {
    ErrorCode err;
    size_t reports;
  };
  std::vector<Outcome> outcomes;
  // (A block a failed write leaves behind fails the fixture's count at the end.)
  for (size_t limit = 0; limit <= whole; ++limit) {
    SLU_FileContext f = Create("b.bin")  /* same name length: same alias size */;
    rec.clear();
    ErrorCode err;
    {
      FileSizeLimit cap(limit);
      if (!cap.active()) GTEST_SKIP() << "file size limits are not available";
      err = WriteTree(&f, list);
      // Writes are buffered: a failure may surface only when closing writes
      // the rest out, which then returns it.
      ErrorCode closed = FILE_Close(f.file);
      if (!err) err = closed;
    }
    outcomes.push_back({err, rec.reports.size()});
    CloseAll();
  }
  for (size_t limit = 0; limit < whole; ++limit) {
    EXPECT_NE(outcomes[limit].err, 0) << "a write cut at byte " << limit << " reported success";
    EXPECT_EQ(outcomes[limit].reports, 1u) << "cut at byte " << limit;
  }
  EXPECT_EQ(outcomes[whole].err, 0);
  EXPECT_EQ(outcomes[whole].reports, 0u);
  LIST_Dispose(list, 0);
}

}  // namespace
}  // namespace tv::test
