// The ElectricImage reader against malformed files: each is a valid file of
// two frames with one fault put in, and each fault gives its one report (or
// the frames that are there) without reading past the file.
#include <functional>

#include "ByteOrder.h"
#include "PIN_test_ei_fixture.h"

namespace tv::test::ei {
namespace {

// Offsets in the base file: 4 x 3 pixels at 24 bits, stored raw (36 bytes).
constexpr size_t kFrame0 = 6, kFrame1 = 6 + 32 + 3 + 36, kEnd = kFrame1 + 71;

class EIMalformedTest : public EITest {
 protected:
  void SetUp() override {
    EITest::SetUp();
    BM_World a = World(4, 3), b = World(4, 3);
    Paint(a, [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(x * 40 + y); });
    Paint(b, [](int32_t x, int32_t y) { return 0xFF000000u | uint32_t(x * 90 + y * 3) << 8; });
    ASSERT_EQ(Write(dir.P("base.img"), {a, b}, 24, 30), 0);
    base = ReadFile(dir.P("base.img"));
    ASSERT_EQ(base.size(), kEnd);
  }
  // Opens the base file changed by `change`.
  ErrorCode OpenChanged(const std::function<void(Bytes&)>& change, PIN_SeqSpecH* seq) {
    Bytes b = base;
    change(b);
    WriteFile(dir.P("bad.img"), b);
    rec.clear();
    return Open(dir.P("bad.img"), seq);
  }
  Bytes base;
};

TEST_F(EIMalformedTest, FaultsAreRefusedWithTheirText) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> change;
    const char* text;
  };
  const Case cases[] = {
      {"truncated header", [](Bytes& b) { b.resize(3); }, "invalid IMAGE file."},
      {"version 4", [](Bytes& b) { b[1] = 4; }, "Invalid EI version info."},
      {"zero frames", [](Bytes& b) { b[5] = 0; }, "invalid IMAGE file."},
      {"header cut", [](Bytes& b) { b.resize(kFrame0 + 20); }, "invalid IMAGE file."},
      {"data past the end", [](Bytes& b) { be::Store<uint32_t>(&b[kFrame0 + 24], 0xFFFFFFFFu); }, "invalid IMAGE file."},
      {"palette past the end", [](Bytes& b) { be::Store<uint16_t>(&b[kFrame0 + 28], 0xFFFF); }, "invalid IMAGE file."},
      {"not colour", [](Bytes& b) { b[kFrame0 + 13] = 1; }, "This file does not contain color image data."},
      {"not colour later", [](Bytes& b) { b[kFrame1 + 13] = 1; }, "This file does not contain color image data."},
      {"16 bits", [](Bytes& b) { b[kFrame0 + 12] = 16; }, "EI files with less than 24 bits/pixel are not supported."},
      {"top below bottom", [](Bytes& b) { be::Store<int16_t>(&b[kFrame0 + 4], 9); }, "invalid IMAGE file."},
      {"negative left", [](Bytes& b) { be::Store<int16_t>(&b[kFrame0 + 6], -1); }, "invalid IMAGE file."},
      {"zero width", [](Bytes& b) { be::Store<int16_t>(&b[kFrame0 + 10], 0); }, "invalid IMAGE file."},
      {"too wide", [](Bytes& b) { be::Store<int16_t>(&b[kFrame0 + 10], 30001); }, "invalid IMAGE file."},
      {"matte bits 3", [](Bytes& b) { b[kFrame0 + 23] = 3; }, "invalid IMAGE file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(OpenChanged(c.change, &seq), PIN_ErrCannotImport);
    EXPECT_EQ(seq, nullptr);
    ExpectOneReport(c.text, PIN_ErrCannotImport);
  }
}

TEST_F(EIMalformedTest, CountsAreBoundedByTheFile) {
  // A count above the frames there: the two frames; a second frame cut
  // short: a still of the first.
  for (const auto& [change, frames] : std::vector<std::pair<std::function<void(Bytes&)>, int32_t>>{
           {[](Bytes& b) { be::Store<uint32_t>(&b[2], 1000000000u); }, 2},
           {[](Bytes& b) { b.resize(kEnd - 1); }, 1},
           {[](Bytes& b) { be::Store<uint32_t>(&b[kFrame1 + 24], 37); }, 1}}) {
    PIN_SeqSpecH seq = nullptr;
    ASSERT_EQ(OpenChanged(change, &seq), 0);
    EXPECT_TRUE(rec.reports.empty());
    EXPECT_EQ(OUT(PIN_GetSourceInfo, seq).nativeRate, frames == 1 ? 0 : 30 << 16);
    BM_World w = World(4, 3);
    EXPECT_EQ(Draw(seq, w, Time{frames - 1, 30}), 0);
  }
}

TEST_F(EIMalformedTest, DrawingChecksEachFrame) {
  // A second frame of another size: its draw is refused.
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(OpenChanged([](Bytes& b) { be::Store<int16_t>(&b[kFrame1 + 10], 3); }, &seq), 0);
  BM_World w = World(4, 3);
  EXPECT_EQ(Draw(seq, w, Time{0, 30}), 0);
  rec.clear();
  EXPECT_EQ(Draw(seq, w, Time{1, 30}), PIN_ErrCannotImport);
  ExpectOneReport("EI files with differing frame sizes are not supported.", PIN_ErrCannotImport);

  // Raw data read as packets, and data that ends early: what is there is
  // drawn over opaque black, nothing beyond the data is read.
  ASSERT_EQ(OpenChanged(
                [](Bytes& b) {
                  b[kFrame0 + 22] = 1;
                  be::Store<uint32_t>(&b[kFrame1 + 24], 7);
                },
                &seq),
            0);
  ASSERT_EQ(Draw(seq, w, Time{0, 30}), 0);
  EXPECT_EQ(Draw(seq, w, Time{1, 30}), 0);
  EXPECT_EQ(Pixel(w, 3, 2), 0xFF000000u);  // not reached
  EXPECT_EQ(Pixel(w, 1, 0), 0xFF005A00u);  // the second of the two whole pixels in 7 bytes
}

TEST_F(EIMalformedTest, MismatchedDepthFilesAreReportedNotRead) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> change;
    const char* why;
  };
  // The image itself as a depth file is of the wrong layout (3 bytes a pixel).
  const Case cases[] = {
      {"3 bytes a pixel", [](Bytes&) {}, "another frame size or layout"},
      {"version 4", [](Bytes& b) { b[1] = 4; }, "Invalid EI version info"},
      {"one frame", [](Bytes& b) { b[5] = 1; }, "another number of frames"},
      {"cut", [](Bytes& b) { b.resize(10); }, "invalid IMAGE file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes z = base;
    c.change(z);
    WriteFile(dir.P("base.eiz"), z);
    PIN_SeqSpecH seq = Opened(dir.P("base.img"));
    EXPECT_EQ(OUT(PIN_GetNumAuxChannels, seq), 1);
    PIN_DrawParams p{};
    Handle data = nullptr;
    rec.clear();
    EXPECT_EQ(PIN_DrawAuxChannel(seq, 0, &p, &data), PIN_ErrCannotImport);
    ExpectOneReport(std::string("the depth file \"base.eiz\" does not match its image (") + c.why + ").",
                    PIN_ErrCannotImport);
  }
}

}  // namespace
}  // namespace tv::test::ei
