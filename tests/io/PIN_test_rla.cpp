// The RLA driver: the run-length decoder, drawing (deep samples, scaling),
// the options data, and a corpus of malformed files each refused with one
// report and nothing drawn. Whole frames at 8 and 16 bits with and without a
// matte are checked against an independent reader in PIN_test_rla_oracle.cpp.
#include <cstring>

#include "PIN_test_rla_fixture.h"

namespace tv::test::rla {
namespace {

using tv::rla::Rle;

// ---- The run-length decoder ----------------------------------------------------------

TEST(RLADecode, ControlBytes) {
  Bytes literal128{0x80};
  for (int k = 0; k < 128; ++k) literal128.push_back(static_cast<uint8_t>(k));
  Bytes expect128;
  for (int k = 0; k < 128; ++k) expect128.push_back(static_cast<uint8_t>(k));
  struct Case {
    Bytes rec;
    int32_t need;
    Rle result;
    Bytes out;
    size_t used;
  } cases[] = {
      {{0x00, 0x41}, 1, Rle::Ok, {0x41}, 2},                 // 0 repeats once
      {{0x7F, 0x41}, 128, Rle::Ok, Bytes(128, 0x41), 2},     // 127 repeats 128 times
      {{0xFF, 0x42}, 1, Rle::Ok, {0x42}, 2},                 // 255 copies one byte
      {literal128, 128, Rle::Ok, expect128, 129},            // 128 copies 128 bytes
      {{0x02, 0x41, 0x00, 0x43}, 2, Rle::Ok, {0x41, 0x41}, 2},  // a run crossing the row end is cut
      {{0xFD, 1, 2, 3, 0x00, 9}, 2, Rle::Ok, {1, 2}, 4},     // so is a literal, consumed whole
      {{0x01}, 2, Rle::Overrun, {}, 0},                      // no byte to repeat
      {{0xFE, 0x41}, 2, Rle::Overrun, {}, 0},                // a literal beyond the record
      {{0x00, 0x41}, 2, Rle::Short, {}, 2},                  // the record ends before the row
      {{}, 1, Rle::Short, {}, 0},
  };
  for (const Case& c : cases) {
    Bytes out(static_cast<size_t>(c.need), 0xEE);
    size_t used = 99;
    EXPECT_EQ(tv::rla::Decode(c.rec, c.need, out.data(), 1, &used), c.result) << c.rec.size();
    if (c.result == Rle::Ok) {
      EXPECT_EQ(out, c.out);
    }
    if (c.result != Rle::Overrun) {
      EXPECT_EQ(used, c.used);
    }
  }
}

// ---- Registration and opening ------------------------------------------------------------

uint32_t Distinct(int32_t x, int32_t y) {
  return static_cast<uint32_t>(0x10 * (y + 1) + x) << 24 | static_cast<uint32_t>(0x20 + x) << 16 |
         static_cast<uint32_t>(0x40 + y) << 8 | static_cast<uint32_t>(0x60 + x * 3 + y);
}

TEST_F(RLATest, DeepSamplesKeepTheirHighByte) {
  // 16-bit samples: each record holds the high byte plane, then the low one.
  for (int16_t storage : {0, 1}) {
    RlaFile f = Image(2, 1, true, [](int32_t, int32_t) { return 0u; });
    f.storage = storage, f.chanBits = 16, f.matteBits = 16;
    f.rows[0].clear();
    for (Bytes plane : {Bytes{0x12, 0x34, 0xAA, 0xBB}, Bytes{0x56, 0x78, 0xAA, 0xBB}, Bytes{0x9A, 0xBC, 0, 0},
                        Bytes{0xFF, 0x80, 1, 1}})
      f.rows[0].push_back(Encode(plane));
    PIN_SeqSpecH seq = Opened(Write("d" + std::to_string(storage) + ".rla", f));
    BM_World w = World(2, 1);
    ASSERT_EQ(Draw(seq, w), 0);
    EXPECT_EQ(Pixel(w, 0, 0), 0xFF12569Au);
    EXPECT_EQ(Pixel(w, 1, 0), 0x803478BCu);
  }
}

TEST_F(RLATest, ScaledDrawingTakesNearestSamples) {
  PIN_SeqSpecH seq = Opened(Write("s.rla", Image(4, 4, true, Distinct)));
  BM_World w = World(2, 2);
  ASSERT_EQ(Draw(seq, w, Time{0, 1}, Ratio{1, 2}), 0);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(Pixel(w, x, y), Distinct(2 * x, 2 * y)) << x << "," << y;
}

TEST_F(RLATest, OptionsDataAndTheSlotsWithoutData) {
  RlaFile f = Image(5, 3, true, Distinct);
  f.program = "render (ZO)";
  PIN_SeqSpecH seq = Opened(Write("o.rla", f));
  Handle opts = OUT(PIN_GetOptions, seq);
  ASSERT_EQ(GetHandleSize(opts), 74);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(*opts);
  const uint8_t head[] = {'R', 'L', 'A', 'D', 0, 1, 0, 0, 0, 74,
                          0, 0, 0, 4, 0, 0, 0, 2,     // full window
                          0, 0, 0, 4, 0, 0, 0, 2,     // active window
                          0, 0, 0, 0, 0, 3, 0, 1, 0, 0, 0xFF, 0xFE,  // frame .. revision
                          0, 0, 0, 0, 0, 0,           // job, field
                          0, 8, 0, 0, 0, 8, 0, 0, 0, 0,  // bits, matte type and bits, aux type and bits
                          0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(b, head, sizeof head));
  for (size_t k = sizeof head; k < 74; ++k) EXPECT_EQ(b[k], 0) << k;

  char info[128];
  ASSERT_EQ(PIN_GetSeqSpecInfo(seq, info, sizeof info), 0);
  EXPECT_STREQ(info, "5 x 3, 8 bits per channel, 1 matte, 2 auxiliary channels");
  rec.clear();
  EXPECT_EQ(D_RLA_GetSound(seq, nullptr, nullptr), PIN_ErrUnsupported);
  ExpectOneReport("RLA: Cannot read sound data.", PIN_ErrUnsupported);
}

TEST_F(RLATest, FramesOfDifferingSizesInASequence) {
  Write("seq_1.rla", Image(4, 3, true, Distinct));
  Write("seq_2.rla", Image(5, 3, true, Distinct));
  PIN_SeqSpecH seq = Opened(dir.P("seq_1.rla"), PIN_Import_Sequence);
  BM_World w = World(4, 3);
  ASSERT_EQ(Draw(seq, w, Time{0, 30}), 0);
  rec.clear();
  EXPECT_EQ(Draw(seq, w, Time{1, 30}), PIN_ErrCannotImport);
  ExpectOneReport("RLA files with differing frame sizes are not supported.", PIN_ErrCannotImport);
}

// ---- Malformed files ---------------------------------------------------------------------

void PutI16(Bytes& b, size_t at, int16_t v) { be::Store(b.data() + at, v); }
void PutU32(Bytes& b, size_t at, uint32_t v) { be::Store(b.data() + at, v); }

struct Malformed {
  const char* name;
  std::function<void(Bytes&)> damage;
  bool atOpen;
  ErrorCode code;
  const char* text;
};

TEST_F(RLATest, MalformedFilesAreRefusedWithOneReportAndNothingDrawn) {
  // A 4 x 3 frame with a matte: header, 3 offsets, records of 4 pixels.
  const Bytes good = Build(Image(4, 3, true, Distinct));
  const uint32_t firstRow = be::Load<uint32_t>(good.data() + 740);
  const char* kEOF = "RLA: unexpected end of file.";
  const char* kSize = "RLA data size does not match image size.";
  const Malformed cases[] = {
      {"truncated header", [](Bytes& b) { b.resize(100); }, true, FILE_ErrEOF, kEOF},
      {"storage type", [](Bytes& b) { PutI16(b, 18, 2); }, true, PIN_ErrCannotImport,
       "RLA: RLA storage_type is not zero."},
      {"four channels", [](Bytes& b) { PutI16(b, 20, 4); }, true, PIN_ErrCannotImport,
       "RLA: number of channels is not 3 - it may not be RGB"},
      {"two mattes", [](Bytes& b) { PutI16(b, 22, 2); }, true, PIN_ErrCannotImport, "RLA: num_matte is not 1"},
      {"negative matte", [](Bytes& b) { PutI16(b, 22, -1); }, true, PIN_ErrCannotImport, "RLA: num_matte is not 1"},
      {"4-bit channels", [](Bytes& b) { PutI16(b, 658, 4); }, true, PIN_ErrCannotImport,
       "RLA files with less than 24 bits/pixel are not supported."},
      {"64-bit channels", [](Bytes& b) { PutI16(b, 658, 64); }, true, PIN_ErrCannotImport,
       "RLA: 64 bits per channel are not supported."},
      {"huge width", [](Bytes& b) { PutI16(b, 2, 4000), PutI16(b, 10, 4000); }, true, PIN_ErrCannotImport, kSize},
      {"huge height", [](Bytes& b) { PutI16(b, 6, 32767); }, true, PIN_ErrCannotImport, kSize},
      {"negative left", [](Bytes& b) { PutI16(b, 0, -1), PutI16(b, 8, -1); }, true, PIN_ErrCannotImport, kSize},
      {"active left of full", [](Bytes& b) { PutI16(b, 0, 1), PutI16(b, 2, 4); }, true, PIN_ErrCannotImport, kSize},
      {"zero-width rows", [](Bytes& b) { PutI16(b, 8, 3), PutI16(b, 10, 2); }, true, PIN_ErrCannotImport, kSize},
      {"aux bits 16", [](Bytes& b) { PutI16(b, 24, 1), PutI16(b, 666, 16); }, true, PIN_ErrCannotImport,
       "Requested aux data channel is not available."},
      {"negative aux", [](Bytes& b) { PutI16(b, 24, -1); }, true, PIN_ErrCannotImport,
       "Requested aux data channel is not available."},
      {"table past the end", [](Bytes& b) { PutI16(b, 6, 3000), PutI16(b, 14, 3000); }, true, FILE_ErrEOF, kEOF},
      {"offset past the end", [](Bytes& b) { PutU32(b, 744, static_cast<uint32_t>(b.size()) - 1); }, false,
       FILE_ErrEOF, kEOF},
      {"offset far past the end", [](Bytes& b) { PutU32(b, 740, 0xFFFFFFF0u); }, false, FILE_ErrEOF, kEOF},
      {"offset into the header", [](Bytes& b) { PutU32(b, 748, 16); }, false, PIN_ErrCannotImport,
       "RLA: scanline 2 does not start after the offset table (offset 16)."},
      {"offset looping to the table", [](Bytes& b) { PutU32(b, 744, 740); }, false, PIN_ErrCannotImport,
       "RLA: scanline 1 does not start after the offset table (offset 740)."},
      {"count past the end", [firstRow](Bytes& b) { be::Store<uint16_t>(b.data() + firstRow, 0xFFFF); }, false,
       FILE_ErrEOF, kEOF},
      {"run past its record",
       [firstRow](Bytes& b) {
         // The red record of the first scanline: 4 literal bytes, its count
         // cut to 2 (the rest of the file follows, the run leaves the record).
         be::Store<uint16_t>(b.data() + firstRow, 2);
       },
       false, FILE_ErrEOF, kEOF},
      {"record shorter than its row",
       [firstRow](Bytes& b) {
         // A literal of 2 bytes where 4 were, and the record ends after it.
         be::Store<uint16_t>(b.data() + firstRow, 3);
         b[firstRow + 2] = 0xFE;
       },
       false,
       PIN_ErrCannotImport, kSize},
  };
  int n = 0;
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.damage(b);
    const std::string path = dir.P("bad" + std::to_string(n++) + ".rla");
    pin::WriteFile(path, b);
    rec.clear();
    PIN_SeqSpecH seq = nullptr;
    const ErrorCode opened = Open(path, &seq);
    if (c.atOpen) {
      EXPECT_EQ(opened, c.code);
      EXPECT_EQ(seq, nullptr);
      ExpectOneReport(c.text, c.code);
      continue;
    }
    ASSERT_EQ(opened, 0);
    BM_World w = World(4, 3);
    BM_ClearWorldToLong(w, 0x12345678u);
    rec.clear();
    EXPECT_EQ(Draw(seq, w), c.code);
    ExpectOneReport(c.text, c.code);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(Pixel(w, x, y), 0x12345678u) << "drawn at " << x << "," << y;
  }
}

}  // namespace
}  // namespace tv::test::rla
