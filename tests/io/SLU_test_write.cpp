// Writing chunks: header layout, back-patched sizes of nested containers,
// pad bytes, the position after a chunk, and the refusals.
#include "SLU_test_fixture.h"
#include "WriteFaults.h"

namespace tv::test {
namespace {

constexpr FourCC kItem = MakeFourCC("Item");

class SluWrite : public ChunkFileTest {};

// Three containers nested with unknown sizes, odd children inside: every size
// is patched in and writing continues after each chunk's real end.
TEST_F(SluWrite, NestedContainersGoldenBytes) {
  SLU_FileContext c = Create("a.bin");
  SLU_Chunk riff{}, outer{}, inner{};
  ASSERT_EQ(SLU_BeginChunkWrite(&c, tv::slu::kRIFX, 0, MakeFourCC("Egg!"), &riff), 0);
  ASSERT_EQ(SLU_BeginChunkWrite(&c, tv::slu::kLIST, 0, MakeFourCC("outr"), &outer), 0);
  const uint8_t three[3] = {7, 8, 9};
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("odd3"), 3, three), 0);
  ASSERT_EQ(SLU_BeginChunkWrite(&c, tv::slu::kLIST, 0, MakeFourCC("innr"), &inner), 0);
  const uint8_t one[1] = {0x42};
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("one1"), 1, one), 0);
  ASSERT_EQ(SLU_EndChunkWrite(&c, &inner), 0);
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("emty"), 0, nullptr), 0);
  ASSERT_EQ(SLU_EndChunkWrite(&c, &outer), 0);
  // A chunk whose size was given up front and is right is left as it is.
  const uint8_t two[2] = {0xAA, 0xBB};
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("two2"), 2, two), 0);
  ASSERT_EQ(SLU_EndChunkWrite(&c, &riff), 0);

  // inner: form 4 + one1 (8 + 1 + pad 1) = 14
  // outer: form 4 + odd3 (8 + 3 + 1) + inner (8 + 14) + emty 8 = 46
  // riff:  form 4 + outer (8 + 46) + two2 (8 + 2) = 68
  Bytes want = ByteBuilder()
                   .Tag("RIFX").U32(68).Tag("Egg!")
                   .Tag("LIST").U32(46).Tag("outr")
                   .Tag("odd3").U32(3).Raw({7, 8, 9, 0})
                   .Tag("LIST").U32(14).Tag("innr")
                   .Tag("one1").U32(1).Raw({0x42, 0})
                   .Tag("emty").U32(0)
                   .Tag("two2").U32(2).Raw({0xAA, 0xBB})
                   .b;
  EXPECT_EQ(Contents("a.bin"), want);
  EXPECT_EQ(Pos(c), static_cast<int64_t>(want.size()));
  EXPECT_EQ(riff.size, 68u);
}

// A size given up front that is too large is corrected, and the file is left
// after the chunk's real end (not where the stated size would put it), so the
// next chunk follows directly.
TEST_F(SluWrite, WrongStatedSizeIsPatchedAndWritingContinuesAfterTheChunk) {
  SLU_FileContext c = Create("a.bin");
  SLU_Chunk chunk = OUT(SLU_BeginChunkWrite, &c, MakeFourCC("big "), 100, 0);
  const uint8_t data[3] = {1, 2, 3};
  ASSERT_EQ(tv::slu::WriteBytes(&c, data), 0);
  ASSERT_EQ(SLU_EndChunkWrite(&c, &chunk), 0);
  EXPECT_EQ(chunk.size, 3u);
  EXPECT_EQ(Pos(c), 12);
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("next"), 0, nullptr), 0);
  Bytes want = ByteBuilder().Tag("big ").U32(3).Raw({1, 2, 3, 0}).Tag("next").U32(0).b;
  EXPECT_EQ(Contents("a.bin"), want);
}

TEST_F(SluWrite, HeadersThatWouldNotReadBackAreRefused) {
  SLU_FileContext c = Create("a.bin");
  SLU_Chunk chunk{};
  rec.clear();
  EXPECT_EQ(SLU_BeginChunkWrite(&c, tv::slu::kLIST, 0, 0, &chunk), kErrBadParam);
  ExpectReport(Location(33, 3), kSevError,
               "Test error: container chunks need a form type; other chunks take none -- a bad parameter was passed.");
  rec.clear();
  EXPECT_EQ(SLU_BeginChunkWrite(&c, MakeFourCC("atom"), 0, kItem, &chunk), kErrBadParam);
  EXPECT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(Pos(c), 0);
  EXPECT_TRUE(Contents("a.bin").empty());
}

TEST_F(SluWrite, EndWithoutAValidRecordIsFatalAndWritesNothing) {
  SLU_FileContext c = Create("a.bin");
  SLU_Chunk chunk{};
  rec.clear();
  EXPECT_EQ(SLU_EndChunkWrite(&c, &chunk), kErrDamaged);
  ExpectReport(Location(33, 3), kSevFatal, "Test can't continue: loading/saving structure -- internal structure damaged.");
  EXPECT_TRUE(Contents("a.bin").empty());
}

TEST_F(SluWrite, NegativeLengthFailsWithWritingToFile) {
  SLU_FileContext c = Create("a.bin");
  const uint8_t data[4] = {};
  ASSERT_EQ(SLU_WriteAtom(&c, MakeFourCC("four"), 4, data), 0);
  SLU_Chunk chunk = OUT(SLU_BeginChunkWrite, &c, MakeFourCC("late"), 0, 0);
  SetPos(c, 0);
  rec.clear();
  EXPECT_EQ(SLU_EndChunkWrite(&c, &chunk), kErrRange);
  ExpectReport(Location(33, 3), kSevError, "Test error: writing to file -- internal value out of range.");
}

TEST_F(SluWrite, ChunkWriterEndsItsChunkOnlyWhenAsked) {
  SLU_FileContext c = Create("a.bin");
  {
    tv::slu::ChunkWriter list(&c, tv::slu::kLIST, kItem);
    EXPECT_EQ(list.End(), 0);
    EXPECT_EQ(list.End(), 0);  // once only
  }
  {
    // Abandoned on a failing path: nothing is patched or padded afterwards.
    tv::slu::ChunkWriter abandoned(&c, MakeFourCC("part"));
    const uint8_t b[1] = {7};
    ASSERT_EQ(tv::slu::WriteBytes(&c, b), 0);
  }
  EXPECT_EQ(Contents("a.bin"), ByteBuilder().Tag("LIST").U32(4).Tag("Item").Tag("part").U32(0).Raw({7}).b);
}

using SluSave = ChunkFileTest;

TEST_F(SluSave, FailedSaveKeepsTheOldFile) {
  std::ofstream(P("proj.bin")) << "old contents";
  FILE_SpecH target = Ref("proj.bin");
  ErrorCode err = tv::slu::SaveAtomically(target, [](SLU_FileContext* c) {
    SLU_Chunk chunk{};
    if (ErrorCode e = SLU_BeginChunkWrite(c, tv::slu::kRIFX, 0, MakeFourCC("Egg!"), &chunk)) return e;
    return ErrorCode{kErrUnsupported};  // the writer gives up halfway
  });
  EXPECT_EQ(err, kErrUnsupported);
  EXPECT_EQ(Slurp(P("proj.bin")), "old contents");
  EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"proj.bin"}) << "the temporary file is removed";
}

TEST_F(SluSave, MissingFolderIsReportedOnce) {
  FILE_SpecH target = Ref("nowhere/proj.bin");
  rec.clear();
  ErrorCode err = tv::slu::SaveAtomically(target, [](SLU_FileContext*) { return ErrorCode{0}; });
  EXPECT_EQ(err, kSysNoDirectory);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].location, Location(33, 3));
}

}  // namespace
}  // namespace tv::test
