// Numbered still sequences: frame numbers in names, gathering
// a folder in sorted order with duplicates and gaps noted, numbers past 32
// bits, names without digits, folders, and frames mapped to their files.
#include <sys/stat.h>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using tv::pin::ParseSequenceName;

TEST(PINSequenceName, LastDigitRunBeforeTheExtension) {
  struct Case {
    const char* name;
    bool digits, valid;
    uint64_t number;
    size_t runStart, runLength;
  } cases[] = {
      {"shot_0012.tsf", true, true, 12, 5, 4},
      {"a1b22c.tsf", true, true, 22, 3, 2},
      {"IMG_20230101123456.tsf", true, true, 20230101123456ull, 4, 14},
      {"f_18446744073709551615.tsf", true, true, UINT64_MAX, 2, 20},
      {"f_18446744073709551616.tsf", true, false, 0, 2, 20},
      {"clip.mp4", false, true, 0, 0, 0},  // the extension's digits do not count
      {"0042.tsf", true, true, 42, 0, 4},
      {"noext7", true, true, 7, 5, 1},
      {".hidden12", true, true, 12, 7, 2},
      {"\xE3\x83\x95\xE3\x83\xAC\xE3\x83\xBC\xE3\x83\xA0 9.tsf", true, true, 9, 13, 1},
  };
  for (const Case& c : cases) {
    const auto r = ParseSequenceName(c.name);
    EXPECT_EQ(r.hasDigits, c.digits) << c.name;
    EXPECT_EQ(r.valid, c.valid) << c.name;
    if (c.valid) {
      EXPECT_EQ(r.number, c.number) << c.name;
    }
    if (c.digits) {
      EXPECT_EQ(r.runStart, c.runStart) << c.name;
      EXPECT_EQ(r.runLength, c.runLength) << c.name;
    }
  }
}

class PINSequenceTest : public PINTest {
 protected:
  void Files(std::initializer_list<const char*> names) {
    uint32_t seed = 1;
    for (const char* n : names) WriteTsf(dir.P(n), 8, 6, seed++);
  }
  using V = std::vector<std::pair<uint64_t, std::string>>;
  // The numbers and names of a sequence's files.
  V List(PIN_SeqSpecH seq) {
    int32_t n = OUT(PIN_GetNumFiles, seq);
    V out;
    for (int32_t i = 0; i < n; ++i) {
      uint64_t number = 0;
      char name[FILE_MaxName + 1];
      EXPECT_EQ(PIN_GetNthFile(seq, i, &number, name, sizeof name), 0);
      out.emplace_back(number, name);
    }
    return out;
  }
  std::vector<std::string> Notes() const {
    std::vector<std::string> t;
    for (const auto& r : rec.reports)
      if (r.severity == kSevWarning) t.push_back(r.text);
    return t;
  }
};

TEST_F(PINSequenceTest, GapsAndDuplicatesAreCountedAndNoted) {
  Files({"f_001.tsf", "f_002.tsf", "f_005.tsf", "f_05.tsf", "f_006.tsf", "g_003.tsf", "f_004.tga",
         "notes.txt"});
  ASSERT_EQ(mkdir(dir.P("f_003.tsf").c_str(), 0755), 0);  // a folder never joins
  rec.clear();
  PIN_SeqSpecH seq = Opened(dir.P("f_002.tsf"), PIN_Import_Sequence);
  EXPECT_EQ(List(seq),
            (V{{1, "f_001.tsf"}, {2, "f_002.tsf"}, {5, "f_005.tsf"}, {5, "f_05.tsf"}, {6, "f_006.tsf"}}));
  EXPECT_EQ(Notes(), (std::vector<std::string>{"Test warning: The sequence has 1 duplicate frames.",
                                               "Test warning: The sequence has 2 missing frames."}));
  // The SeqSpec's file is the first frame's; the frames run at 30 a second.
  char name[256];
  ASSERT_EQ(PIN_GetSeqSpecName(seq, name, sizeof name), 0);
  EXPECT_STREQ(name, "(\"Test Frames\") f_001.tsf");
  Time d = OUT(PIN_GetDuration, seq);
  EXPECT_EQ(d.value, 5);
  EXPECT_EQ(d.scale, 30u);
  // Frame 2 (at 2/30 s and up to 3/30 s) is the third file.
  const Time t{5, 60};
  EXPECT_EQ(TakeName(OUT(PIN_GetFileAtTime, seq, &t)), "f_005.tsf");
  Time next = OUT(PIN_InqNextFrameTime, seq, &t);
  EXPECT_EQ(next.value, 3);
  EXPECT_EQ(next.scale, 30u);
  const Time last{4, 30};
  ASSERT_EQ(PIN_InqNextFrameTime(seq, &last, &next), 0);
  EXPECT_EQ(next.scale, 0u) << "no frame after the last";
}

TEST_F(PINSequenceTest, NumbersPast32Bits) {
  Files({"cam_4294967297.tsf", "cam_4294967295.tsf", "cam_4294967296.tsf", "cam_4294967300.tsf"});
  rec.clear();
  PIN_SeqSpecH seq = Opened(dir.P("cam_4294967296.tsf"), PIN_Import_Sequence);
  const auto list = List(seq);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].first, 4294967295ull);
  EXPECT_EQ(list[3].first, 4294967300ull);
  EXPECT_EQ(Notes(), (std::vector<std::string>{"Test warning: The sequence has 2 missing frames."}));
}

TEST_F(PINSequenceTest, NamesWithoutDigits) {
  Files({"beta.tsf", "Alpha.tsf", "gamma.tsf", "delta1.tsf", "other.tga"});
  PIN_SeqSpecH seq = Opened(dir.P("gamma.tsf"), PIN_Import_Sequence);
  EXPECT_EQ(List(seq), (V{{0, "Alpha.tsf"}, {0, "beta.tsf"}, {0, "gamma.tsf"}}));

  PIN_G_Allow_AlphaOnly_SeqB = 0;
  rec.clear();
  EXPECT_EQ(Import(dir.P("gamma.tsf"), PIN_Import_Sequence, &seq), PIN_ErrCannotImport);
  EXPECT_EQ(seq, nullptr);
  ExpectOnly(
      Logged("Can't import as a sequence. File name doesn't appear to be a valid sequence file name.", 9987));
  PIN_G_Allow_AlphaOnly_SeqB = 1;
}

TEST_F(PINSequenceTest, Folders) {
  const std::string empty = dir.P("empty"), nested = dir.P("nested"), frames = dir.P("frames");
  ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(nested.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((nested + "/a").c_str(), 0755), 0);
  WriteTsf(nested + "/b_1.tsf", 4, 4, 1);
  ASSERT_EQ(mkdir(frames.c_str(), 0755), 0);
  for (int i = 3; i >= 1; --i)
    WriteTsf(frames + "/fr" + std::to_string(i) + ".tsf", 4, 4, static_cast<uint32_t>(i));
  WriteTsf(frames + "/zz_x.tsf", 4, 4, 9);
  struct Case {
    std::string path;
    ErrorCode code;
    const char* text;
  } cases[] = {
      {empty, 9987, "folder contains no files"},
      {nested, 9987, "first entry in folder is another folder"},
  };
  for (const Case& c : cases) {
    PIN_SeqSpecH seq = nullptr;
    rec.clear();
    EXPECT_EQ(Import(c.path, 0, &seq), c.code) << c.path;
    EXPECT_EQ(seq, nullptr);
    ExpectOnly(Logged(c.text, c.code));
  }
  rec.clear();
  PIN_SeqSpecH seq = Opened(frames);
  EXPECT_EQ(List(seq), (V{{1, "fr1.tsf"}, {2, "fr2.tsf"}, {3, "fr3.tsf"}}));
  EXPECT_EQ(Notes(),
            (std::vector<std::string>{
                "Test warning: File 'zz_x.tsf' doesn't appear to be a valid sequence file and won't be "
                "included in the sequence."}));
}

TEST_F(PINSequenceTest, NamesAreCutWithoutSplittingACharacter) {
  const std::string name = "\xE3\x83\x95\xE3\x83\xAC\xE3\x83\xBC\xE3\x83\xA0 9.tsf";
  WriteTsf(dir.P(name), 4, 4, 1);
  PIN_SeqSpecH seq = Opened(dir.P(name));
  char full[64];
  ASSERT_EQ(PIN_GetSeqSpecName(seq, full, sizeof full), 0);
  EXPECT_EQ(std::string(full), "(\"Test Frames\") " + name);
  // 18 bytes: room for 17 of text, the cut falls inside the name's first character.
  char cut[18];
  ASSERT_EQ(PIN_GetSeqSpecName(seq, cut, sizeof cut), 0);
  EXPECT_STREQ(cut, "(\"Test Frames\") ");
}

TEST_F(PINSequenceTest, SingleStillAndItsSource) {
  Files({"still_7.tsf"});
  PIN_SeqSpecH seq = Opened(dir.P("still_7.tsf"));
  EXPECT_EQ(OUT(PIN_GetNumFiles, seq), 0);
  char text[64];
  ASSERT_EQ(PIN_GetSeqSpecInfo(seq, text, sizeof text), 0);
  EXPECT_STREQ(text, "8 x 6, 1 frames");
}

}  // namespace
}  // namespace tv::test::pin
