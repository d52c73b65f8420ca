// SeqSpecs in chunks: the 168 bytes of "sspc" field by field, the round trip
// through a file with the words we do not interpret kept, every stored field
// checked on the way in, and a vanished source saved as a placeholder.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ByteOrder.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using tv::pin::SeqSpec;

SeqSpec Sample() {
  SeqSpec s{};
  s.reel = PIN_Reel{0x01020304, 0x0506, "reel text"};
  s.fileType = MakeFourCC("TSFf");
  s.creator = MakeFourCC("CRE8");
  s.width = 720, s.height = 486;
  s.duration = Time{150, 30};
  s.start = Time{-2, 25};
  s.reserved54 = 0xA1A2A3A4;
  s.nativeRate = 30 << 16;
  s.depth = 32;
  s.alpha = PIN_AlphaInfo{0x0101, 1, 0x11, 0x22, 0x33, PIN_Alpha_Premul};
  s.field = PIN_FieldInfo{MakeFourCC("FIEL"), 1, 1, 1, 0};
  s.numbering = {0, 12, 4, 0xBEEF, 0xC1C2C3C4};
  s.lastIndex = 7;
  s.stateWord = 0xD1D2D3D4;
  s.moduleWord = 0xE1E2E3E4;
  s.loop = PIN_Loop{3, 4};
  s.hsfNum = 648, s.hsfDen = 720;
  s.pulldown = 2;
  s.conformedRate = 24 << 16;
  s.effectiveRate = 24 << 16;
  s.seqFlags = 1;
  s.fpValue = 0.5;
  return s;
}

std::vector<uint8_t> Golden() {
  be::Writer w;
  w.Write<uint32_t>(0x01020304);
  w.Write<uint16_t>(0x0506);
  w.WriteFixedString("reel text", 16);
  w.WriteBytes({reinterpret_cast<const uint8_t*>("TSFfCRE8"), 8});
  for (uint32_t v : {720u, 486u, 150u, 30u, 0xFFFFFFFEu, 25u, 0xA1A2A3A4u, 30u << 16}) w.Write<uint32_t>(v);
  w.Write<uint16_t>(32);
  w.WriteBytes(std::vector<uint8_t>{0x01, 0x01, 0, 0, 0, 1, 0x11, 0x22, 0x33, 1});  // AlphaInfo
  w.WriteBytes(
      std::vector<uint8_t>{'F', 'I', 'E', 'L', 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0});  // FieldInfo
  w.Write<uint32_t>(0);
  for (uint16_t v : {12, 4, 0xBEEF, 0}) w.Write<uint16_t>(static_cast<uint16_t>(v));
  for (uint32_t v : {7u, 0xC1C2C3C4u, 0xD1D2D3D4u}) w.Write<uint32_t>(v);
  w.WriteBytes(std::vector<uint8_t>{1, 0});  // a file list follows
  for (uint32_t v : {0xE1E2E3E4u, 4u, 3u, 4u}) w.Write<uint32_t>(v);
  w.WriteBytes(std::vector<uint8_t>{1, 0});  // no file
  for (uint32_t v : {648u, 720u, 2u, 24u << 16, 24u << 16, 1u}) w.Write<uint32_t>(v);
  w.Write<double>(0.5);
  return w.take();
}

TEST(PINSspc, GoldenBytes) {
  uint8_t out[tv::pin::kSspcSize];
  tv::pin::EncodeSspc(Sample(), true, out);
  const auto golden = Golden();
  ASSERT_EQ(golden.size(), tv::pin::kSspcSize);
  EXPECT_EQ(std::vector<uint8_t>(out, out + sizeof out), golden);
}

TEST(PINSspc, EveryFieldIsChecked) {
  struct Case {
    size_t offset;
    std::vector<uint8_t> bytes;
    const char* what;
  } cases[] = {
      {30, {0, 0, 0x75, 0x31}, "frame size"},  // width 30001
      {34, {0x80, 0, 0, 0}, "frame size"},
      {38, {0xFF, 0xFF, 0xFF, 0xFF}, "duration"},
      {42, {0, 0, 0, 0}, "duration"},  // a duration over a zero scale
      {50, {0, 0, 0, 0}, "start time"},
      {62, {0, 16}, "depth"},
      {73, {4}, "alpha type"},
      {74, {'f', 'i', 'e', 'l'}, "field order"},
      {80, {0, 0, 0, 2}, "field order"},
      {84, {0, 0, 0, 2}, "field order"},
      {116, {2}, "flags"},
      {134, {7}, "flags"},
      {136, {0, 0, 0, 0}, "pixel aspect ratio"},
      {140, {0, 0, 0, 0}, "pixel aspect ratio"},
      {144, {0, 0, 0, 6}, "pulldown phase"},
      {58, {0x80, 0, 0, 0}, "frame rate"},
      {148, {0xFF, 0, 0, 0}, "frame rate"},
      {152, {0xFF, 0, 0, 0}, "frame rate"},
  };
  for (const Case& c : cases) {
    auto bytes = Golden();
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + static_cast<ptrdiff_t>(c.offset));
    SeqSpec s{};
    bool list = false, none = false;
    const char* what = nullptr;
    EXPECT_FALSE(tv::pin::DecodeSspc(bytes, s, &list, &none, &what)) << c.offset;
    EXPECT_STREQ(what, c.what) << c.offset;
  }
  // An older, shorter record reads with its missing fields zero.
  auto shorter = Golden();
  shorter.resize(126);
  SeqSpec s{};
  bool list = false, none = false;
  const char* what = nullptr;
  ASSERT_TRUE(tv::pin::DecodeSspc(shorter, s, &list, &none, &what));
  EXPECT_EQ(s.hsfNum, 1u);
  EXPECT_EQ(s.pulldown, 0u);
  EXPECT_EQ(s.width, 720u);
}

TEST(PINSspc, FileListIsChecked) {
  auto list = [](std::initializer_list<std::string> names, uint32_t count) {
    be::Writer w;
    w.Write<uint32_t>(count);
    for (const auto& n : names) {
      w.Write<uint8_t>(static_cast<uint8_t>(n.size()));
      w.WriteBytes({reinterpret_cast<const uint8_t*>(n.data()), n.size()});
    }
    return w.take();
  };
  const char* what = nullptr;
  LIST_Handle files = nullptr;
  EXPECT_FALSE(tv::pin::DecodeFileList(list({"a_1.x"}, 2), &files, &what));
  EXPECT_FALSE(tv::pin::DecodeFileList(list({"a_1.x"}, 0), &files, &what));
  EXPECT_FALSE(tv::pin::DecodeFileList(list({"a/1.x"}, 1), &files, &what));
  EXPECT_FALSE(tv::pin::DecodeFileList(list({""}, 1), &files, &what));
  EXPECT_FALSE(tv::pin::DecodeFileList(list({"a_99999999999999999999.x"}, 1), &files, &what));
  auto extra = list({"a_1.x"}, 1);
  extra.push_back(0);
  EXPECT_FALSE(tv::pin::DecodeFileList(extra, &files, &what));
  EXPECT_EQ(files, nullptr);
  EXPECT_STREQ(what, "file list");
}

class PINPersistTest : public PINTest {
 protected:
  // Writes seq into a new file as the only chunk; the file's bytes.
  std::vector<uint8_t> Save(PIN_SeqSpecH seq, const std::string& name) {
    FILE_SpecH ref = Ref(dir.P(name));
    EXPECT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref), 0);
    EXPECT_EQ(FILE_Open(FILE_PermReadWrite, ref), 0);
    SLU_FileContext c = OUT(SLU_InitFile, ref, 0);
    EXPECT_EQ(PIN_WriteSeqSpec(seq, &c), 0);
    FILE_Close(ref);
    FILE_Dispose(ref);
    return ReadFile(dir.P(name));
  }
  // Reads the SeqSpec back from the file's chunk; it goes with the test.
  ErrorCode Load(const std::string& name, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = Ref(dir.P(name));
    EXPECT_EQ(FILE_Open(FILE_PermRead, ref), 0);
    SLU_FileContext c = OUT(SLU_InitFile, ref, 0);
    SLU_Chunk list{};
    ErrorCode err = SLU_Descend(&c, MakeFourCC("LIST"), MakeFourCC("Pin "), nullptr, &list, nullptr);
    if (!err) err = PIN_ReadSeqSpec(&c, &list, seq);
    if (!err) seqs_.push_back(*seq);
    FILE_Close(ref);
    FILE_Dispose(ref);
    return err;
  }
};

TEST_F(PINPersistTest, RoundTripKeepsWhatIsNotOurs) {
  for (int i = 1; i <= 3; ++i)
    WriteTsf(dir.P("rt_" + std::to_string(i) + ".tsf"), 16, 8, static_cast<uint32_t>(i));
  PIN_SeqSpecH seq = Opened(dir.P("rt_1.tsf"), PIN_Import_Sequence);
  {
    SeqSpec& s = tv::pin::Rec(seq);
    s.reserved54 = 0x12345678, s.stateWord = 0x9ABCDEF0, s.moduleWord = 0x0F0E0D0C;
    s.fpValue = -3.25, s.numbering.extra = 0x55AA55AA, s.numbering.third = 0x1234;
  }
  Handle options = NewHandle(5);
  std::memcpy(*options, "\x01\x02\x03\x04\x05", 5);
  ASSERT_EQ(PIN_SetOptions(seq, options), 0);
  DisposeHandle(options);
  const auto first = Save(seq, "one.bin");
  PIN_SeqSpecH back = nullptr;
  ASSERT_EQ(Load("one.bin", &back), 0);
  EXPECT_EQ(OUT(PIN_GetNumFiles, back), 3);
  EXPECT_EQ(Save(back, "two.bin"), first) << "read and written again, byte for byte";
}

TEST_F(PINPersistTest, VanishedSourceSavesAsPlaceholderAndReadsAsMissing) {
  WriteTsf(dir.P("gone.tsf"), 16, 8, 1);
  PIN_SeqSpecH seq = Opened(dir.P("gone.tsf"));
  ASSERT_EQ(std::remove(dir.P("gone.tsf").c_str()), 0);
  rec.clear();
  const auto bytes = Save(seq, "p.bin");
  ExpectOnly("Test warning: \"gone.tsf\" cannot be located for saving. It will be saved as a placeholder.");
  EXPECT_EQ(bytes[20 + 134], 0) << "saved with where the file was";
  PIN_SeqSpecH back = nullptr;
  ASSERT_EQ(Load("p.bin", &back), 0);
  EXPECT_EQ(OUT(PIN_IsMissing, back), 1);
  int32_t w = 0, h = 0;
  EXPECT_EQ(PIN_GetDimensions(back, nullptr, &w, &h, nullptr), 0);
  EXPECT_EQ(w, 16);
  // The file back (a disk that was away), the placeholder finds it.
  WriteTsf(dir.P("gone.tsf"), 16, 8, 1);
  rec.clear();
  ASSERT_EQ(Load("p.bin", &back), 0);
  EXPECT_EQ(OUT(PIN_IsMissing, back), 0);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(PINPersistTest, MalformedRecordIsRefused) {
  WriteTsf(dir.P("m.tsf"), 16, 8, 1);
  auto bytes = Save(Opened(dir.P("m.tsf")), "m.bin");
  bytes[20 + 62 + 1] = 3;  // depth 3
  WriteFile(dir.P("m.bin"), bytes);
  rec.clear();
  PIN_SeqSpecH back = reinterpret_cast<PIN_SeqSpecH>(1);
  EXPECT_EQ(Load("m.bin", &back), PIN_ErrCannotImport);
  EXPECT_EQ(back, nullptr);
  ExpectOnly(Logged("bad footage data (depth).", 9987));
}

TEST_F(PINPersistTest, MissingFootageIsFoundAgainInPlace) {
  std::filesystem::create_directories(dir.P("away"));
  WriteTsf(dir.P("lost.tsf"), 16, 8, 4);
  PIN_SeqSpecH seq = Opened(dir.P("lost.tsf"));
  ASSERT_EQ(PIN_SetHSF(seq, 3, 2), 0);
  Save(seq, "lost.bin");
  std::filesystem::rename(dir.P("lost.tsf"), dir.P("away/lost.tsf"));
  PIN_SeqSpecH back = nullptr;
  ASSERT_EQ(Load("lost.bin", &back), 0);
  ASSERT_EQ(OUT(PIN_IsMissing, back), 1);
  // Not where it was, nor in an empty folder: still missing, no failure.
  EXPECT_EQ(OUT(PIN_FindMissingSeqSpec, back, nullptr), 0);
  std::filesystem::create_directories(dir.P("empty"));
  Specs refs;
  EXPECT_EQ(OUT(PIN_LookHereMissingSeqSpec, back, refs.New(dir.P("empty"))), 0);
  EXPECT_EQ(OUT(PIN_LookHereMissingSeqSpec, back, refs.New(dir.P("away"))), 1);
  EXPECT_EQ(OUT(PIN_IsMissing, back), 0);
  EXPECT_EQ(OUT(PIN_GetInterpretation, back).hsfNum, 3u) << "the interpretation goes with the footage";
  BM_World w = World(16, 8);
  ASSERT_EQ(Draw(back, w), 0);
  EXPECT_EQ(uint8_t(Pixel(w, 0, 0) >> 16), uint8_t(TsfPixel(4, 0, 0) >> 16));
  // Back where its alias points: found through the alias.
  Save(back, "lost2.bin");
  std::filesystem::rename(dir.P("away/lost.tsf"), dir.P("lost.tsf"));
  PIN_SeqSpecH again = nullptr;
  ASSERT_EQ(Load("lost2.bin", &again), 0);
  std::filesystem::rename(dir.P("lost.tsf"), dir.P("away/lost.tsf"));
  EXPECT_EQ(OUT(PIN_FindMissingSeqSpec, again, nullptr), 1);

  // Closed sources are reopened by the next drawing.
  const int32_t decodes = TsfDecodes();
  ASSERT_EQ(PIN_CloseSeqSpecSources(back), 0);
  ASSERT_EQ(PIN_CloseSeqSpecSources(back), 0);
  ASSERT_EQ(Draw(back, w), 0);
  EXPECT_EQ(TsfDecodes(), decodes + 1);
  ASSERT_EQ(PIN_UnCloseSeqSpecSources(back), 0);
  EXPECT_EQ(OUT(PIN_GetInterpretation, back).hsfNum, 3u);

  // A file that does not import leaves the footage as it was.
  std::ofstream(dir.P("junk.tsf")) << "junk";
  EXPECT_NE(PIN_SwapSeqSpecFile(back, refs.New(dir.P("junk.tsf"))), 0);
  ASSERT_EQ(Draw(back, w), 0);
}

}  // namespace
}  // namespace tv::test::pin
