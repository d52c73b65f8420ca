// Reading chunks: descending (any id, form types, parent bounds, the stable
// form), ascending, bounded reads, blocks, alias records, and hostile files.
#include "SLU_test_fixture.h"

namespace tv::test {
namespace {

using tv::slu::kLIST;

const std::string kMissing = "Test error: missing data in file (2101).";
std::string DamagedText(const std::string& detail) {
  return "Test error: damaged chunk in file (" + detail + ") (2101).";
}

// RIFX "Test" { aaaa(2) LIST "Frst" { bbbb(3) } cccc(4) LIST "Scnd" { bbbb(1) } }
Bytes Sample() {
  return ByteBuilder()
      .Tag("RIFX").U32(4 + 10 + 24 + 12 + 22).Tag("Test")
      .Tag("aaaa").U32(2).Raw({1, 2})
      .Tag("LIST").U32(4 + 12).Tag("Frst")
      .Tag("bbbb").U32(3).Raw({3, 4, 5, 0})
      .Tag("cccc").U32(4).Raw({6, 7, 8, 9})
      .Tag("LIST").U32(4 + 10).Tag("Scnd")
      .Tag("bbbb").U32(1).Raw({10, 0})
      .b;
}

class SluRead : public ChunkFileTest {};

TEST_F(SluRead, SearchInsideAParentStopsAtItsEndAndMissingChunksAreReported) {
  SLU_FileContext c = WithBytes(Sample());
  SLU_Chunk riff{}, first{}, atom{};
  ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &riff, nullptr), 0);
  ASSERT_EQ(SLU_Descend(&c, kLIST, MakeFourCC("Frst"), &riff, &first, nullptr), 0);
  // "cccc" follows the container in the file but lies outside it.
  EXPECT_EQ(OUT(SLU_Descend, &c, MakeFourCC("cccc"), 0, &first, &atom), 0);
  EXPECT_EQ(Pos(c), first.dataStart + first.size);
  // Asked for without a found flag, a missing chunk is reported.
  rec.clear();
  EXPECT_EQ(SLU_Descend(&c, MakeFourCC("zzzz"), 0, &riff, &atom, nullptr), SLU_ErrMissingData);
  ExpectReport(Location(33, 4), kSevError, kMissing);
  EXPECT_EQ(atom.mark, 0u);
}

TEST_F(SluRead, ReadsAreBoundedByTheCallersBuffer) {
  Bytes file = ByteBuilder().Tag("twlv").U32(12).Raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).b;
  SLU_FileContext c = WithBytes(file);
  uint8_t buffer[12] = {};
  rec.clear();
  EXPECT_EQ(SLU_ReadAtom(&c, MakeFourCC("twlv"), nullptr, 10, buffer), kErrRange);
  ExpectReport(Location(33, 5), kSevError,
               "Test error: chunk in file too big -- probably unsupported file version -- internal value out of "
               "range.");
  for (uint8_t b : buffer) EXPECT_EQ(b, 0);
  // A maximum of 0 is a buffer of 0 bytes, not "any size".
  SetPos(c, 0);
  SLU_Chunk chunk{};
  ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &chunk, nullptr), 0);
  EXPECT_EQ(SLU_Read(&c, &chunk, 0, buffer), kErrRange);
  ASSERT_EQ(SLU_Read(&c, &chunk, 12, buffer), 0);
  EXPECT_EQ(buffer[11], 12);
}

TEST_F(SluRead, ReadingFromOutsideTheChunkIsRefused) {
  Bytes file = ByteBuilder().Tag("abcd").U32(2).Raw({1, 2}).Tag("next").U32(0).b;
  SLU_FileContext c = WithBytes(file);
  SLU_Chunk chunk{};
  ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &chunk, nullptr), 0);
  SetPos(c, 12);
  uint8_t buffer[16];
  rec.clear();
  EXPECT_EQ(SLU_Read(&c, &chunk, sizeof buffer, buffer), kErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].location, Location(33, 2));
}

TEST_F(SluRead, AscendWithoutAnEnteredChunkIsFatal) {
  SLU_FileContext c = WithBytes(Sample());
  SLU_Chunk chunk{};
  rec.clear();
  EXPECT_EQ(SLU_Ascend(&c, &chunk), kErrDamaged);
  ExpectReport(Location(33, 2), kSevFatal, "Test can't continue: loading/saving structure -- internal structure damaged.");
}

// ---- Hostile files: every one fails with a report, without a hang and
// without reading or allocating past the file.

TEST_F(SluRead, DamagedSizesAndHeadersAreReportedOnce) {
  struct Case {
    const char* what;
    Bytes file;
    bool inParent;  // the damage lies inside a container entered first
    std::string text;
  };
  const std::string past = DamagedText("size past the end of its container");
  const Case cases[] = {
      // In 32-bit arithmetic 8 + 0xFFFFFFF7 + 1 wraps to this very header.
      {"wrapping size", ByteBuilder().Tag("LIST").U32(36).Tag("wrap").Tag("evil").U32(0xFFFFFFF7u).Zeros(24).b, true,
       past},
      {"past the file", ByteBuilder().Tag("abcd").U32(100).Raw({1, 2, 3}).b, false, past},
      {"header cut short",
       ByteBuilder().Tag("LIST").U32(4 + 8 + 4).Tag("Prnt").Tag("aaaa").U32(0).Tag("bbbb").Zeros(8).b, true,
       DamagedText("header cut short")},
      {"container without form type", ByteBuilder().Tag("LIST").U32(2).Raw({1, 2}).b, false,
       DamagedText("container too short for its form type")},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    SLU_FileContext c = WithBytes(k.file);
    SLU_Chunk list{}, atom{};
    if (k.inParent) {
      ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &list, nullptr), 0);
    }
    rec.clear();
    Boolean32 found = 1;
    EXPECT_EQ(SLU_Descend(&c, k.inParent ? MakeFourCC("bbbb") : 0, 0, k.inParent ? &list : nullptr, &atom, &found),
              SLU_ErrMissingData);
    ExpectReport(Location(33, 4), kSevError, k.text);
    EXPECT_EQ(found, 0);
    CloseAll();
  }
  // Nothing is allocated for a chunk past the end of the file either.
  SLU_FileContext c = WithBytes(cases[1].file);
  Handle h = nullptr;
  rec.clear();
  EXPECT_EQ(SLU_ReadHandle(&c, nullptr, MakeFourCC("abcd"), &h), SLU_ErrMissingData);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(Pos(c), 0);
}

TEST_F(SluRead, ZeroSizeChunksAreWalkedOneByOne) {
  ByteBuilder b;
  b.Tag("LIST").U32(4 + 8 * 1000).Tag("Many");
  for (int i = 0; i < 1000; ++i) b.Tag("zero").U32(0);
  SLU_FileContext c = WithBytes(b.b);
  SLU_Chunk list{}, atom{};
  ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &list, nullptr), 0);
  EXPECT_EQ(OUT(SLU_Descend, &c, MakeFourCC("last"), 0, &list, &atom), 0);
  EXPECT_EQ(Pos(c), 12 + 8000);
}

// ---- Alias records

TEST_F(SluRead, AliasRecordsRoundTrip) {
  std::ofstream(P("footage.mov")).put('x');
  FILE_SpecH footage = Ref("footage.mov");
  SLU_FileContext c = Create("project.bin");
  ASSERT_EQ(SLU_WriteFileSpec(&c, footage, nullptr), 0);
  Bytes bytes = Contents("project.bin");
  ASSERT_GE(bytes.size(), 16u);
  Bytes want = ByteBuilder().Tag("LIST").U32(static_cast<uint32_t>(bytes.size() - 8)).Tag("Alas").Tag("alas").b;
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 16), want);
  SetPos(c, 0);
  FILE_AliasH alias = OUT(SLU_ReadAliasRec, &c, nullptr, nullptr);
  ASSERT_NE(alias, nullptr);
  char path[FILE_MaxPath] = {};
  ASSERT_EQ(FILE_InqAliasRecFullPath(alias, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), P("footage.mov"));
  FILE_DisposeAliasRec(alias);
  EXPECT_EQ(Pos(c), static_cast<int64_t>(bytes.size()));

  // Entered by the caller.
  SetPos(c, 0);
  SLU_Chunk entered{};
  ASSERT_EQ(SLU_Descend(&c, kLIST, tv::slu::kAlas, nullptr, &entered, nullptr), 0);
  ASSERT_EQ(SLU_ReadAliasRec(&c, nullptr, &entered, &alias), 0);
  FILE_DisposeAliasRec(alias);
}

TEST_F(SluRead, DamagedAliasRecordLeavesNoRecord) {
  Bytes file = ByteBuilder().Tag("LIST").U32(4 + 12).Tag("Alas").Tag("alas").U32(4).Raw({0, 1, 0, 9}).b;
  SLU_FileContext c = WithBytes(file);
  FILE_AliasH alias = reinterpret_cast<FILE_AliasH>(0x1234);
  rec.clear();
  EXPECT_NE(SLU_ReadAliasRec(&c, nullptr, nullptr, &alias), 0);
  EXPECT_EQ(alias, nullptr);
  EXPECT_EQ(rec.reports.size(), 1u);
}

class SluReadMore : public ChunkFileTest {};

TEST_F(SluReadMore, StableDescendRestoresThePositionAfterDamageToo) {
  Bytes file = ByteBuilder().Tag("LIST").U32(4 + 16).Tag("Prnt").Tag("good").U32(0).Tag("bad!").U32(99).b;
  SLU_FileContext c = WithBytes(file);
  SLU_Chunk list{}, atom{};
  ASSERT_EQ(SLU_Descend(&c, 0, 0, nullptr, &list, nullptr), 0);
  Boolean32 found = 1;
  EXPECT_EQ(SLU_DescendStable(&c, MakeFourCC("zzzz"), 0, &list, &atom, &found), SLU_ErrMissingData);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Pos(c), 12);
  // The chunks before the damage are still there to be read.
  ASSERT_EQ(SLU_DescendStable(&c, MakeFourCC("good"), 0, &list, &atom, nullptr), 0);
}

TEST_F(SluReadMore, ParentRecordMustBeEntered) {
  SLU_FileContext c = WithBytes(ByteBuilder().Tag("abcd").U32(0).b);
  SLU_Chunk parent{}, atom{};
  rec.clear();
  EXPECT_EQ(SLU_Descend(&c, 0, 0, &parent, &atom, nullptr), kErrDamaged);
  ExpectReport(Location(33, 2), kSevFatal, "Test can't continue: loading/saving structure -- internal structure damaged.");
}

}  // namespace
}  // namespace tv::test
