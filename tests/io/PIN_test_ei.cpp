// The ElectricImage driver: golden bytes of written files, the packet codec
// at its boundaries, write-then-read round trips at 24 and 32 bits with and
// without a depth file, the frame rate, frame order and interrupted output.
#include <cmath>
#include <filesystem>
#include <random>

#include "ByteOrder.h"
#include "PIN_test_ei_fixture.h"

namespace tv::test::ei {
namespace {

using tv::ei::DecodePixels;
using tv::ei::EncodeRle;

constexpr uint32_t kRed = 0xFFFF0000u;

TEST_F(EITest, GoldenBytesRawAndRunLength) {
  // 2 x 2 at 32 bits: 16 bytes of pixels cannot spare 516, so raw.
  BM_World small = World(2, 2);
  Paint(small, [](int32_t x, int32_t y) { return 0x80102030u + uint32_t(x) + 16u * uint32_t(y); });
  ASSERT_EQ(Write(dir.P("small.img"), {small}, 32, 30), 0);
  const Bytes raw = {0, 5, 0, 0, 0, 1,                                   // version 5, 1 frame
                     0, 0, 0, 0,                                         // time 0
                     0, 0, 0, 0, 0, 2, 0, 2, 24, 0, 0, 0, 0, 0, 0, 2, 0, 2,  // windows, 24 bits, colour
                     0, 8, 0, 0, 0, 16, 0, 1, 0, 0,                      // raw, matte 8, 16 bytes, 1 entry
                     0, 0, 0,                                            // the palette entry
                     0x80, 0x10, 0x20, 0x30, 0x80, 0x10, 0x20, 0x31, 0x80, 0x10, 0x20, 0x40, 0x80, 0x10, 0x20, 0x41};
  EXPECT_EQ(ReadFile(dir.P("small.img")), raw);

  // 16 x 16 flat at 24 bits, two frames at 30 a second: two runs of 128 each.
  BM_World flat = World(16, 16);
  Paint(flat, [](int32_t, int32_t) { return kRed; });
  ASSERT_EQ(Write(dir.P("flat.img"), {flat, flat}, 24, 30), 0);
  Bytes want = {0, 5, 0, 0, 0, 2};
  for (const Bytes& time : {Bytes{0, 0, 0, 0}, Bytes{0x3D, 0x08, 0x88, 0x89}}) {  // 0 and 1/30 s
    want.insert(want.end(), time.begin(), time.end());
    const Bytes rest = {0, 0, 0, 0, 0, 16, 0, 16, 24, 0, 0, 0, 0, 0, 0, 16, 0, 16, 1, 0, 0, 0, 0, 8, 0, 1, 0, 0,
                        0, 0, 0, 0x7F, 0xFF, 0, 0, 0x7F, 0xFF, 0, 0};
    want.insert(want.end(), rest.begin(), rest.end());
  }
  EXPECT_EQ(ReadFile(dir.P("flat.img")), want);
}

TEST(EICodec, PacketBoundaries) {
  // Control 0: one pixel; 127: 128; 128: one literal; 255: 128 literals.
  Bytes data = {0, 1, 2, 3, 127, 4, 5, 6, 128, 7, 8, 9, 255};
  for (int i = 0; i < 128; ++i) data.insert(data.end(), {uint8_t(i), 0, 0});
  data.push_back(200);  // a literal packet the data ends in: nothing of it is drawn
  std::vector<uint8_t> out(4 * 300, 0xEE);
  EXPECT_EQ(DecodePixels(data, true, false, 300, 300, out.data(), 4 * 300), 258);
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[4 * 128 + 1], 4);
  EXPECT_EQ(out[4 * 129 + 1], 7);
  EXPECT_EQ(out[4 * 130 + 1], 0);
  EXPECT_EQ(out[4 * 257 + 1], 127);
  EXPECT_EQ(out[4 * 258], 0xEE);  // untouched past the data
  // Pixels stop at the count, in the middle of a run.
  EXPECT_EQ(DecodePixels(Bytes{127, 1, 2, 3}, true, false, 5, 5, out.data(), 20), 5);

  // A A A B C D D: a run of 3, two literals, a run of 2; 129 equal pixels:
  // a run of 128 and one literal.
  auto px = [](std::initializer_list<uint8_t> ids) {
    Bytes b;
    for (uint8_t id : ids) b.insert(b.end(), {0xFF, id, id, id});
    return b;
  };
  const Bytes mixed = px({1, 1, 1, 2, 3, 4, 4});
  Bytes enc(64);
  ASSERT_EQ(EncodeRle(mixed.data(), 7, false, enc.data(), 64), 15);
  EXPECT_EQ(Bytes(enc.begin(), enc.begin() + 15), (Bytes{2, 1, 1, 1, 129, 2, 2, 2, 3, 3, 3, 1, 4, 4, 4}));
  Bytes same(129 * 4, 7);
  ASSERT_EQ(EncodeRle(same.data(), 129, true, enc.data(), 64), 10);
  EXPECT_EQ(Bytes(enc.begin(), enc.begin() + 10), (Bytes{127, 7, 7, 7, 7, 128, 7, 7, 7, 7}));
  // Pixels differing only in alpha are not equal, even when alpha is not written.
  const Bytes alphaOnly = {1, 9, 9, 9, 2, 9, 9, 9};
  ASSERT_EQ(EncodeRle(alphaOnly.data(), 2, false, enc.data(), 64), 7);
  EXPECT_EQ(enc[0], 129);
  // Past the limit: -1, nothing beyond it written.
  EXPECT_EQ(EncodeRle(mixed.data(), 7, false, enc.data(), 14), -1);
}

TEST(EICodec, FrameRateFromTimes) {
  using tv::ei::FrameEntry;
  auto rate = [](std::vector<float> times) {
    std::vector<FrameEntry> f;
    for (float t : times) f.push_back(FrameEntry{0, t});
    return tv::ei::RateOfTimes(f);
  };
  EXPECT_EQ(rate({0.0f}), 0);                                       // one frame: a still
  EXPECT_EQ(rate({0.0f, 1.0f / 30, 2.0f / 30}), 30 << 16);
  EXPECT_EQ(rate({0.5f, 0.5f, 0.5f}), 30 << 16);                    // equal times
  EXPECT_EQ(rate({0.0f, 0.0333f, 0.0667f}), (3003 * 65536 + 50) / 100);  // m = 0.0333: n = 3003
  EXPECT_EQ(rate({0.0f, 1001.0f / 30000, NAN, 2002.0f / 30000}), (2997 * 65536 + 50) / 100);
  EXPECT_EQ(rate({0.0f, 1e-6f}), 30 << 16);                         // beyond 1000 a second
  EXPECT_EQ(rate({0.0f, 1000.0f}), 30 << 16);                       // rounds to 0
}

// Gradient, flat band and noise, with alpha varying.
uint32_t Pattern(int32_t x, int32_t y, uint32_t seed) {
  if (y < 8) return 0xFF000000u | uint32_t(x * 3 + seed) << 16 | uint32_t(y) << 8 | seed;
  if (y < 16) return 0x40204060u + seed;
  std::minstd_rand r(uint32_t(x * 131 + y * 7 + seed));
  return r() * 2654435761u;
}

TEST_F(EITest, RoundTripsAtEveryDepth) {
  for (int16_t depth : {24, 32}) {
    SCOPED_TRACE(depth);
    std::vector<BM_World> frames;
    for (uint32_t f = 0; f < 3; ++f) {
      frames.push_back(World(40, 24));
      Paint(frames.back(), [f](int32_t x, int32_t y) { return Pattern(x, y, f); });
    }
    const std::string path = dir.P("rt" + std::to_string(depth) + ".img");
    ASSERT_EQ(Write(path, frames, depth, 30), 0);
    PIN_SeqSpecH seq = Opened(path);
    PIN_SourceInfo info = OUT(PIN_GetSourceInfo, seq);
    EXPECT_EQ(info.depth, depth);
    EXPECT_EQ(info.nativeRate, 30 << 16);
    EXPECT_EQ(int64_t{info.duration.value} * 30, int64_t{info.duration.scale} * 3);  // 3 frames
    EXPECT_EQ(OUT(PIN_GetNumAuxChannels, seq), 0);
    BM_World back = World(40, 24);
    for (int32_t f = 0; f < 3; ++f) {
      ASSERT_EQ(Draw(seq, back, Time{f, 30}), 0);
      for (int32_t y = 0; y < 24; ++y)
        for (int32_t x = 0; x < 40; ++x) {
          const uint32_t want = Pixel(frames[size_t(f)], x, y);
          ASSERT_EQ(Pixel(back, x, y), depth == 32 ? want : (want | 0xFF000000u)) << f << " " << x << "," << y;
        }
    }
  }
}

// Noise would grow under run-length coding: it is stored raw.
TEST_F(EITest, NoiseIsStoredRaw) {
  BM_World noise = World(320, 240);
  std::mt19937 r(5);
  Paint(noise, [&r](int32_t, int32_t) { return uint32_t(r()); });
  ASSERT_EQ(Write(dir.P("noise.img"), {noise}, 32, 30), 0);
  const Bytes b = ReadFile(dir.P("noise.img"));
  ASSERT_EQ(b.size(), 6u + 35u + 320u * 240u * 4u);
  EXPECT_EQ(b[6 + 22], 0);                                     // raw
  EXPECT_EQ(be::Load<uint32_t>(&b[6 + 24]), 320u * 240u * 4u);  // its size
}

TEST_F(EITest, FramesFollowTheirIndicesAndUnfinishedOutputLeavesNothing) {
  std::vector<BM_World> frames;
  for (uint32_t f = 0; f < 3; ++f) {
    frames.push_back(World(4, 4));
    Paint(frames.back(), [f](int32_t, int32_t) { return 0xFF000000u | f; });
  }
  // Indices 2, 0, 1, then 0 again (the last one added of an index wins).
  frames.push_back(World(4, 4));
  Paint(frames.back(), [](int32_t, int32_t) { return 0xFF000009u; });
  ASSERT_EQ(Write(dir.P("order.img"), frames, 24, 30, {2, 0, 1, 0}), 0);
  PIN_SeqSpecH seq = Opened(dir.P("order.img"));
  BM_World back = World(4, 4);
  // Frame k holds the World added last at index k.
  const uint32_t want[] = {9, 2, 0};
  for (int32_t f = 0; f < 3; ++f) {
    ASSERT_EQ(Draw(seq, back, Time{f, 30}), 0);
    EXPECT_EQ(Pixel(back, 0, 0) & 0xFF, want[f]);
  }
  EXPECT_EQ(ReadFile(dir.P("order.img"))[5], 3);  // three frames counted

  // An output disposed before its end leaves no file, final or partial.
  PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, D_EI_Signature, 4, 4);
  ASSERT_EQ(SetFile(out, dir.P("cut.img")), 0);
  ASSERT_EQ(PIN_StartAdding(out), 0);
  ASSERT_EQ(PIN_AddFrame(out, 0, frames[0]), 0);
  // Frames of another size are refused.
  rec.clear();
  EXPECT_EQ(PIN_AddFrame(out, 1, World(5, 4)), PIN_ErrBadRequest);
  ExpectOneReport("EI files with differing frame sizes are not supported.", PIN_ErrBadRequest);
  rec.clear();
  EXPECT_EQ(PIN_AddSoundChunk(out, nullptr), PIN_ErrObsolete);
  ExpectOneReport("Unsupported callback.", PIN_ErrObsolete);
  EXPECT_EQ(OUT(PIN_GetLegalDepths, out), 0xC0u);
  int64_t space = 0;
  EXPECT_EQ(OUT(PIN_GetSizes, out, &space), 6 + 35 + 16 * 3);  // the header and one raw frame so far
  PIN_DisposeOutputSpec(out);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // order.img alone

  // A single frame output on its own is a file of one frame.
  ASSERT_EQ(PIN_NewOutputSpec(D_EI_Signature, 4, 4, &out), 0);
  ASSERT_EQ(SetFile(out, dir.P("one.img")), 0);
  ASSERT_EQ(PIN_OutputFrame(out, frames[1]), 0);
  const Bytes one = ReadFile(dir.P("one.img"));
  ASSERT_EQ(one.size(), 6u + 35u + 48u);
  EXPECT_EQ(one[5], 1);
  // Between StartAdding and EndAdding (how a frame is saved from a
  // composition) it is the file's frame.
  ASSERT_EQ(PIN_StartAdding(out), 0);
  ASSERT_EQ(PIN_OutputFrame(out, frames[2]), 0);
  ASSERT_EQ(PIN_EndAdding(out), 0);
  PIN_DisposeOutputSpec(out);
  EXPECT_EQ(ReadFile(dir.P("one.img")).back(), 2);
}

// A depth file of the image's size: each pixel a big-endian float, in frames
// as the writer makes them (4 bytes a pixel).
void WriteDepthFile(const std::string& path, int32_t w, int32_t h, int32_t frames, uint16_t version = 5) {
  Bytes out(6);
  be::Store<uint16_t>(out.data(), version);
  be::Store<uint32_t>(out.data() + 2, uint32_t(frames));
  for (int32_t f = 0; f < frames; ++f) {
    Bytes px(size_t(w * h) * 4), frame(size_t(tv::ei::FrameBytesBound(w * h)));
    for (int32_t i = 0; i < w * h; ++i) be::Store<float>(&px[size_t(i) * 4], float(f) + float(i) / 4.0f);
    frame.resize(size_t(tv::ei::EncodeFrame(px.data(), w, h, true, 0.0f, frame.data())));
    out.insert(out.end(), frame.begin(), frame.end());
  }
  WriteFile(path, out);
}

TEST_F(EITest, DepthFileGivesTheZDepthChannel) {
  std::vector<BM_World> frames = {World(6, 5), World(6, 5)};
  ASSERT_EQ(Write(dir.P("shot.img"), frames, 24, 24), 0);
  WriteDepthFile(dir.P("shot.EIZ"), 6, 5, 2);  // found whatever its case
  PIN_SeqSpecH seq = Opened(dir.P("shot.img"));
  ASSERT_EQ(OUT(PIN_GetNumAuxChannels, seq), 1);
  D_AuxChannelDesc d{};
  ASSERT_EQ(PIN_GetAuxChannelDesc(seq, 0, &d, sizeof d), 0);
  EXPECT_EQ(d.code, MakeFourCC("DPTH"));
  EXPECT_STREQ(d.name, "Z-Depth");
  EXPECT_EQ(d.dataType, D_AuxType_Float);
  rec.clear();
  EXPECT_EQ(PIN_GetAuxChannelDesc(seq, 1, &d, sizeof d), kErrBadParam);
  ExpectOnly("Test error: Bad Auxiliary info -- a bad parameter was passed.");

  PIN_DrawParams p{};
  p.time = Time{1, 24};
  Handle data = OUT(PIN_DrawAuxChannel, seq, 0, &p);
  const auto* head = reinterpret_cast<const D_AuxChannelBuffer*>(*data);
  ASSERT_EQ(head->width, 6);
  ASSERT_EQ(head->height, 5);
  const float* z = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(*data) + sizeof *head);
  EXPECT_EQ(z[0], 1.0f);
  EXPECT_EQ(z[29], 1.0f + 29.0f / 4.0f);
  EXPECT_EQ(PIN_FreeAuxChannel(seq, data), 0);

  // A depth file of another frame count is reported when drawn, not read.
  WriteDepthFile(dir.P("shot.EIZ"), 6, 5, 1);
  PIN_SeqSpecH other = Opened(dir.P("shot.img"));
  rec.clear();
  EXPECT_EQ(PIN_DrawAuxChannel(other, 0, &p, &data), PIN_ErrCannotImport);
  EXPECT_EQ(data, nullptr);
  ExpectOneReport("the depth file \"shot.EIZ\" does not match its image (another number of frames).",
                  PIN_ErrCannotImport);
}

}  // namespace
}  // namespace tv::test::ei
