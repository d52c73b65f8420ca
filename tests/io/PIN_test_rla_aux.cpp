// The RLA driver's auxiliary channels: the letters of the program field,
// the descriptions, every kind's values and conversions, the classic depth
// channel and the failures.
#include <bit>
#include <cstring>

#include "PIN_test_rla_fixture.h"

namespace tv::test::rla {
namespace {

// The planes of a channel whose pixels are given as stored bytes (most
// significant first): one encoded record per plane.
std::vector<Bytes> Planes(const std::vector<Bytes>& pixels) {
  std::vector<Bytes> recs(pixels[0].size());
  for (size_t p = 0; p < recs.size(); ++p) {
    Bytes plane;
    for (const Bytes& px : pixels) plane.push_back(px[p]);
    recs[p] = Encode(plane);
  }
  return recs;
}

Bytes F32(float v) {
  const uint32_t u = std::bit_cast<uint32_t>(v);
  return {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
          static_cast<uint8_t>(u)};
}
Bytes U32(uint32_t u) { return F32(std::bit_cast<float>(u)); }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class RLAAuxTest : public RLATest {
 protected:
  // A 2 x 1 frame with a matte and these auxiliary channels (each: the
  // stored bytes of pixel 0 and pixel 1).
  std::string WithAux(const std::string& name, const std::string& program,
                      const std::vector<std::vector<Bytes>>& channels) {
    RlaFile f = Image(2, 1, true, [](int32_t x, int32_t) { return 0x80102030u + static_cast<uint32_t>(x); });
    f.program = program;
    for (const auto& ch : channels)
      for (const Bytes& r : Planes(ch)) f.rows[0].push_back(r);
    return Write(name, f);
  }
  // Draws channel `index`; the values after the buffer's record.
  Handle DrawAux(PIN_SeqSpecH seq, int32_t index, D_AuxChannelBuffer* head) {
    PIN_DrawParams p{};
    p.time = Time{0, 1};
    Handle data = OUT(PIN_DrawAuxChannel, seq, index, &p);
    if (data) std::memcpy(head, *data, sizeof *head);
    return data;
  }
  template <class T>
  static T Value(Handle data, const D_AuxChannelBuffer& head, int32_t x, int32_t y, int32_t k) {
    T v;
    std::memcpy(&v,
                *data + sizeof(D_AuxChannelBuffer) + static_cast<size_t>(y) * head.rowBytes +
                    (static_cast<size_t>(x) * head.dimension + k) * sizeof(T),
                sizeof(T));
    return v;
  }
};

TEST_F(RLAAuxTest, ChannelLettersOfTheProgramField) {
  struct Case {
    const char* program;
    int16_t numAux, auxBits;
    std::vector<const char*> names;
  } cases[] = {
      {"render (ZOU)", 0, 0, {"Z-depth", "Object ID", "UV-coordinates"}},
      {"render", 0, 0, {}},
      {"x(qZ E)y(N)", 0, 0, {"Z-depth", "Material Effects"}},
      {"open (ZO", 0, 0, {}},
      {"render (EN)", 1, 31, {"Z-depth"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    RlaFile f = Image(2, 1, false, [](int32_t, int32_t) { return 0u; });
    f.program = c.program, f.numAux = c.numAux, f.auxBits = c.auxBits;
    PIN_SeqSpecH seq = nullptr;
    ASSERT_EQ(Open(Write("l" + std::to_string(n++) + ".rla", f), &seq), 0) << c.program;
    int32_t count = OUT(PIN_GetNumAuxChannels, seq);
    ASSERT_EQ(count, static_cast<int32_t>(c.names.size())) << c.program;
    for (int32_t i = 0; i < count; ++i) {
      D_AuxChannelDesc d{};
      ASSERT_EQ(PIN_GetAuxChannelDesc(seq, i, &d, sizeof d), 0);
      EXPECT_STREQ(d.name, c.names[static_cast<size_t>(i)]) << c.program;
    }
  }
}

TEST_F(RLAAuxTest, DescriptionsOfEveryKind) {
  RlaFile f = Image(2, 1, false, [](int32_t, int32_t) { return 0u; });
  f.program = "(ZEOUNRCB)";
  PIN_SeqSpecH seq = Opened(Write("k.rla", f));
  struct Want {
    const char code[5];
    const char* name;
    const char type[5];  // the data type's code: "UBT1", "UST2" or "FLT4"
    int32_t dimension;
  } want[] = {
      {"DPTH", "Z-depth", "FLT4", 1},       {"MATR", "Material Effects", "UBT1", 1},
      {"OBID", "Object ID", "UST2", 1},     {"TEXR", "UV-coordinates", "FLT4", 2},
      {"NRML", "Normal Vector", "FLT4", 3}, {"UNCP", "Non Clamped RGB", "UBT1", 4},
      {"COVR", "Z coverage", "FLT4", 1},    {"BKCR", "Background color", "UBT1", 3},
  };
  for (int32_t i = 0; i < 8; ++i) {
    D_AuxChannelDesc d{};
    ASSERT_EQ(PIN_GetAuxChannelDesc(seq, i, &d, sizeof d), 0);
    EXPECT_EQ(d.code, MakeFourCC(want[i].code));
    EXPECT_STREQ(d.name, want[i].name);
    EXPECT_EQ(d.dataType, MakeFourCC(want[i].type));
    EXPECT_EQ(d.dimension, want[i].dimension);
  }
  for (int32_t bad : {-1, 8}) {
    rec.clear();
    D_AuxChannelDesc d{};
    d.dimension = 9;
    EXPECT_EQ(PIN_GetAuxChannelDesc(seq, bad, &d, sizeof d), kErrBadParam);
    EXPECT_EQ(d.dimension, 0);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, (uint32_t{D_RLA_PackageNumber} << 24) | tv::rla::kSiteAux);
    EXPECT_EQ(rec.last().text, "Test error: Channel index out of range -- a bad parameter was passed.");
  }
}

TEST_F(RLAAuxTest, ValuesOfEveryKind) {
  const std::vector<std::vector<Bytes>> channels = {
      {F32(1.5f), F32(-0.25f)},                                    // Z
      {{7}, {200}},                                                // E
      {{0x12, 0x34}, {0xFF, 0xFE}},                                // O
      {Cat(F32(0.25f), F32(-2.0f)), Cat(F32(1e6f), F32(0.0f))},    // U
      {U32(1023u << 20 | 0u << 10 | 511u), U32(512u << 20 | 1023u << 10 | 0u)},  // N
      {{1, 2, 3, 4}, {250, 251, 252, 253}},                        // R
      {{255}, {51}},                                               // C
      {{9, 8, 7}, {0, 0, 1}},                                      // B
  };
  PIN_SeqSpecH seq = Opened(WithAux("v.rla", "scene (ZEOUNRCB)", channels));
  D_AuxChannelBuffer h{};
  auto check = [&](int32_t index, auto fn) {
    Handle data = DrawAux(seq, index, &h);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(h.magic, D_AuxBufferMagic);
    EXPECT_EQ(h.width, 2);
    EXPECT_EQ(h.height, 1);
    fn(data);
    EXPECT_EQ(PIN_FreeAuxChannel(seq, data), 0);
  };
  check(0, [&](Handle d) {
    EXPECT_EQ(h.code, MakeFourCC("DPTH"));
    EXPECT_EQ(h.rowBytes, 8);
    EXPECT_EQ(Value<float>(d, h, 0, 0, 0), 1.5f);
    EXPECT_EQ(Value<float>(d, h, 1, 0, 0), -0.25f);
  });
  check(1, [&](Handle d) {
    EXPECT_EQ(Value<uint8_t>(d, h, 0, 0, 0), 7);
    EXPECT_EQ(Value<uint8_t>(d, h, 1, 0, 0), 200);
  });
  check(2, [&](Handle d) {
    EXPECT_EQ(Value<uint16_t>(d, h, 0, 0, 0), 0x1234);
    EXPECT_EQ(Value<uint16_t>(d, h, 1, 0, 0), 0xFFFE);
  });
  check(3, [&](Handle d) {
    EXPECT_EQ(Value<float>(d, h, 0, 0, 0), 0.25f);
    EXPECT_EQ(Value<float>(d, h, 0, 0, 1), -2.0f);
    EXPECT_EQ(Value<float>(d, h, 1, 0, 0), 1e6f);
    EXPECT_EQ(Value<float>(d, h, 1, 0, 1), 0.0f);
  });
  check(4, [&](Handle d) {
    EXPECT_EQ(h.rowBytes, 24);
    EXPECT_FLOAT_EQ(Value<float>(d, h, 0, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(Value<float>(d, h, 0, 0, 1), -1.0f);
    EXPECT_NEAR(Value<float>(d, h, 0, 0, 2), -0.000977517, 1e-7);
    EXPECT_NEAR(Value<float>(d, h, 1, 0, 0), 0.000977517, 1e-7);
    EXPECT_FLOAT_EQ(Value<float>(d, h, 1, 0, 1), 1.0f);
    EXPECT_FLOAT_EQ(Value<float>(d, h, 1, 0, 2), -1.0f);
  });
  check(5, [&](Handle d) {
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(Value<uint8_t>(d, h, 0, 0, k), 1 + k);
      EXPECT_EQ(Value<uint8_t>(d, h, 1, 0, k), 250 + k);
    }
  });
  check(6, [&](Handle d) {
    EXPECT_EQ(Value<float>(d, h, 0, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(Value<float>(d, h, 1, 0, 0), 0.2f);
  });
  check(7, [&](Handle d) {
    EXPECT_EQ(Value<uint8_t>(d, h, 0, 0, 0), 9);
    EXPECT_EQ(Value<uint8_t>(d, h, 0, 0, 2), 7);
    EXPECT_EQ(Value<uint8_t>(d, h, 1, 0, 2), 1);
  });
  // The colour still draws beside the auxiliary records.
  BM_World w = World(2, 1);
  ASSERT_EQ(Draw(seq, w), 0);
  EXPECT_EQ(Pixel(w, 1, 0), 0x80102031u);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(RLAAuxTest, ClassicDepthSharesOneRecord) {
  RlaFile f = Image(2, 1, false, [](int32_t, int32_t) { return 0u; });
  f.numAux = 1, f.auxBits = 31;
  // One count, then the four byte planes' streams one after another.
  const Bytes a = U32(0x80000000u), b = U32(0x40000000u);
  Bytes record;
  for (int p = 0; p < 4; ++p) record = Cat(record, Encode(Bytes{a[static_cast<size_t>(p)], b[static_cast<size_t>(p)]}));
  f.rows[0].push_back(record);
  PIN_SeqSpecH seq = Opened(Write("z.rla", f));
  D_AuxChannelBuffer h{};
  Handle data = DrawAux(seq, 0, &h);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(h.code, MakeFourCC("DPTH"));
  EXPECT_EQ(h.dataType, D_AuxType_Float);
  EXPECT_EQ(Value<float>(data, h, 0, 0, 0), 1.0f);
  EXPECT_EQ(Value<float>(data, h, 1, 0, 0), 0.5f);
  EXPECT_EQ(PIN_FreeAuxChannel(seq, data), 0);
}

TEST_F(RLAAuxTest, MissingAndDamagedChannels) {
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(Open(WithAux("m.rla", "(ZE)", {{F32(1.0f), F32(2.0f)}}), &seq), 0);  // E's record is missing
  PIN_DrawParams p{};
  p.time = Time{0, 1};
  Handle data = reinterpret_cast<Handle>(&p);
  rec.clear();
  EXPECT_EQ(PIN_DrawAuxChannel(seq, 1, &p, &data), FILE_ErrEOF);
  EXPECT_EQ(data, nullptr);
  ExpectOneReport("RLA: unexpected end of file.", FILE_ErrEOF);
  rec.clear();
  EXPECT_EQ(PIN_DrawAuxChannel(seq, 2, &p, &data), PIN_ErrCannotImport);
  ExpectOneReport("Requested aux data channel is not available.", PIN_ErrCannotImport);
}

}  // namespace
}  // namespace tv::test::rla
