// Parades in chunked files: round trips, the byte layout of a Sequence,
// missing effects kept unchanged, renames and damaged data.
#include <filesystem>
#include <fstream>

#include "ByteOrder.h"
#include "FILE.h"
#include "FLT_test_arbeffect.h"
#include "FLT_test_support.h"
#include "SLU.h"

namespace tv::test {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::HasSubstr;

class FLTFile : public FLTFixture {
 protected:
  void TearDown() override {
    specs_.Clear();
    FLTFixture::TearDown();
  }
  FILE_SpecH Ref(const std::string& name) { return specs_.New(dir_.P(name)); }
  // Writes the Parade into a new file and answers its bytes.
  Bytes Write(FLT_Parade p, const std::string& name = "out.bin") {
    FILE_SpecH ref = Ref(name);
    EXPECT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref), 0);
    EXPECT_EQ(FILE_Open(FILE_PermReadWrite, ref), 0);
    SLU_FileContext c{};
    EXPECT_EQ(SLU_InitFile(ref, 0, &c), 0);
    EXPECT_EQ(FLT_WriteParade(p, nullptr, nullptr, &c), 0);
    EXPECT_EQ(FILE_Close(ref), 0);
    std::ifstream in(dir_.P(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  ErrorCode Read(const Bytes& bytes, FLT_Parade* p, int32_t version = 12, const std::string& name = "in.bin") {
    std::ofstream(dir_.P(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    FILE_SpecH ref = Ref(name);
    EXPECT_EQ(FILE_Open(FILE_PermRead, ref), 0);
    SLU_FileContext c{};
    EXPECT_EQ(SLU_InitFile(ref, 0, &c), 0);
    missing_[0] = 0;
    missingCount_ = 0;
    ErrorCode err = FLT_ReadParade(&c, nullptr, version, nullptr, nullptr, nullptr, missing_, &missingCount_, p);
    FILE_Close(ref);
    if (!err) Keep(*p);  // disposed of at the end of the test
    return err;
  }
  static size_t Find(const Bytes& b, const std::string& s, size_t from = 0) {
    auto it = std::search(b.begin() + static_cast<std::ptrdiff_t>(from), b.end(), s.begin(), s.end());
    return it == b.end() ? std::string::npos : static_cast<size_t>(it - b.begin());
  }
  // A Parade of levels (animated), invert (off, named) and blur.
  FLT_Parade Sample() {
    FLT_Parade p =
        Keep(NewParade({Class(FLT_MatchLevels), Class(FLT_MatchInvert), Class(FLT_MatchFastBlur)}));
    FLT_Sequence lev = SeqOf(p, 0);
    Handle stream = nullptr;
    FLT_SeqInqParamStream(lev, 3, &stream);
    auto st = reinterpret_cast<TDB_Stream>(stream);
    EXPECT_EQ(TDB_SetConstant(st, 0, nullptr, 0), 0);
    const double g0 = 0.5, g1 = 2.25;
    EXPECT_EQ(TDB_InsertKeyF(st, nullptr, 0, 1, &g0, 1, 2), 0);
    EXPECT_EQ(TDB_InsertKeyF(st, nullptr, 900, 1, &g1, 2, 3), 0);
    SetConstant(lev, 1, {17});
    SetConstant(SeqOf(p, 2), 1, {6.5});
    FLT_SeqSetName(SeqOf(p, 1), "My Invert");
    FLT_SetParadeSeqFlags(p, 1, 0, FLT_Item_On);
    return p;
  }
  TempDir dir_{"tvflt"};
  Specs specs_;
  char missing_[256] = {};
  int32_t missingCount_ = 0;
};

TEST_F(FLTFile, LayoutWithAnimatedParameters) {
  FLT_Parade p = Sample();
  const Bytes bytes = Write(p);
  // The layout: a Par8 container, items of 8 bytes with big-endian flags,
  // and the Sequence atoms.
  ASSERT_GE(bytes.size(), 12u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "LIST");
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "Par8");
  const size_t ldat = Find(bytes, "ldat");
  ASSERT_NE(ldat, std::string::npos);
  EXPECT_EQ(be::Load<uint32_t>(bytes.data() + ldat + 4), 24u);
  const Bytes items(bytes.begin() + static_cast<std::ptrdiff_t>(ldat) + 8,
                    bytes.begin() + static_cast<std::ptrdiff_t>(ldat) + 32);
  EXPECT_EQ(items, (Bytes{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  const size_t sspc = Find(bytes, "sspc");
  ASSERT_NE(sspc, std::string::npos);
  const uint8_t* a = bytes.data() + sspc + 8;
  EXPECT_EQ(be::Load<uint32_t>(bytes.data() + sspc + 4), 130u);
  EXPECT_STREQ(reinterpret_cast<const char*>(a), FLT_MatchLevels);
  EXPECT_STREQ(reinterpret_cast<const char*>(a + 48), "Levels");
  EXPECT_EQ(std::make_tuple(be::Load<uint16_t>(a + 80), be::Load<uint16_t>(a + 82), be::Load<uint32_t>(a + 92),
                            be::Load<uint16_t>(a + 112), be::Load<uint16_t>(a + 114)),
            std::make_tuple(0, 6, 2000u, 3, 1));
  const size_t parL = Find(bytes, "parL");
  ASSERT_NE(parL, std::string::npos);
  EXPECT_EQ(be::Load<uint32_t>(bytes.data() + parL + 4), 6u * 16);
  EXPECT_NE(Find(bytes, "enam"), std::string::npos);
}

TEST_F(FLTFile, MissingEffectIsKeptAndWrittenBackUnchanged) {
  Bytes bytes = Write(Sample());
  // The second Sequence names an effect that is not installed.
  const size_t second = Find(bytes, "sspc", Find(bytes, "sspc") + 1);
  ASSERT_NE(second, std::string::npos);
  const std::string unknown = "TVLO Vanished";
  std::memcpy(bytes.data() + second + 8, unknown.c_str(), unknown.size() + 1);
  std::memcpy(bytes.data() + second + 8 + 48, "Old Effect", 11);
  rec.clear();
  FLT_Parade back = nullptr;
  ASSERT_EQ(Read(bytes, &back), 0);
  EXPECT_EQ(missingCount_, 1);
  EXPECT_STREQ(missing_, "Old Effect");
  EXPECT_EQ(Items(back), 3);
  Boolean32 missing = 0;
  FLT_InqParadeSeqMissing(back, 1, &missing);
  EXPECT_EQ(missing, 1);
  // It renders as nothing and is not counted as work (the blur after it
  // grows the frame). Written again, the bytes are the same: every value and
  // key of the others came back too.
  EXPECT_EQ(Render(back, World(3, 8, 8), World(0, 32, 32), 8, 8), 0);
  EXPECT_EQ(Write(back, "again.bin"), bytes);
}

TEST_F(FLTFile, MissingNamesStayUnder255Characters) {
  FLT_Parade p = Keep(NewParade({}));
  for (int i = 0; i < 12; ++i) FLT_InsertSeqParade(p, NewSeq(Class(FLT_MatchInvert)), -1);
  Bytes bytes = Write(p);
  for (size_t at = Find(bytes, "sspc"); at != std::string::npos; at = Find(bytes, "sspc", at + 1)) {
    std::memcpy(bytes.data() + at + 8, "TVLO Gone", 10);
    std::memcpy(bytes.data() + at + 8 + 48, "A rather long effect name", 26);
  }
  FLT_Parade back = nullptr;
  ASSERT_EQ(Read(bytes, &back), 0);
  EXPECT_EQ(missingCount_, 12);
  EXPECT_LT(std::strlen(missing_), 255u);
  EXPECT_EQ(std::string(missing_).rfind("A rather long effect name, A rather", 0), 0u);
}

TEST_F(FLTFile, RenamesAndObsoleteGlow) {
  // A class under the old name's successor.
  Register("KVRN Glo2", 0, NopEntry);
  Register("KVRN Glow", 0, NopEntry);
  const Bytes bytes = Write(Keep(NewParade({Class("KVRN Glow")})));
  for (int32_t version : {11, 12}) {
    FLT_Parade back = nullptr;
    ASSERT_EQ(Read(bytes, &back, version), 0);
    FLT_Sequence s = SeqOf(back, 0);
    int16_t cls = 0;
    FLT_SeqInqClass(s, &cls);
    char name[48];
    FLT_SeqInqName(s, name);
    EXPECT_EQ(cls, Class(version == 12 ? "KVRN Glo2" : "KVRN Glow"));
    EXPECT_STREQ(name, version == 12 ? "" : "KVRN Glow (Obsolete)");
  }
}

TEST_F(FLTFile, DamagedCountsAreRefused) {
  const Bytes good = Write(Sample());
  struct Case {
    const char* what;
    size_t offset;  // from the first "sspc"
    uint16_t value;
  } cases[] = {{"count larger than parL", 8 + 82, 7}, {"count smaller", 8 + 82, 2}, {"huge count", 8 + 82, 0xFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    be::Store<uint16_t>(bytes.data() + Find(bytes, "sspc") + c.offset, c.value);
    rec.clear();
    FLT_Parade back = reinterpret_cast<FLT_Parade>(1);
    EXPECT_EQ(Read(bytes, &back), FLT_ErrBadData);
    EXPECT_EQ(back, nullptr);
    EXPECT_THAT(rec.last().text, HasSubstr("cannot parse effect data"));
  }
}

TEST_F(FLTFile, ArbitraryValuesRoundTrip) {
  const int16_t arb = Register("TEST Arb", 0, ArbEffect);
  FLT_Parade p = Keep(NewParade({arb}));
  FLT_Sequence s = SeqOf(p, 0);
  Handle v = BytesHandle(std::string("value\x00\x01", 7));
  ASSERT_EQ(FLTp_SeqSetArbitraryValue(s, 2, v), 0);
  DisposeHandle(v);
  const Bytes bytes = Write(p);
  // "aRbp": the parameter index, then the flattened value.
  const size_t at = Find(bytes, "aRbp");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(Find(bytes, "aRbs"), std::string::npos);
  EXPECT_EQ(be::Load<uint32_t>(bytes.data() + at + 4), 4u + 7u);
  EXPECT_EQ(be::Load<uint32_t>(bytes.data() + at + 8), 2u);
  FLT_Parade back = nullptr;
  ASSERT_EQ(Read(bytes, &back), 0);
  s = SeqOf(back, 0);
  PF_ParamDef def{};
  ASSERT_EQ(FLT_GetParamDef(s, 2, nullptr, &def), 0);
  Handle got = nullptr;
  std::memcpy(&got, def.u.bytes, sizeof got);
  EXPECT_EQ(HandleBytes(got), std::string("value\x00\x01", 7));
  FLT_SeqDisposeParamFPV(s, 2, &def);
}

}  // namespace
}  // namespace tv::test
