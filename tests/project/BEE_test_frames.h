// Frames of whole projects for the tests that compare what a project renders
// before and after it travels (saved, reopened, imported, copied): a fixture
// with a folder for files, and digests of composition frames.
#pragma once

#include <cmath>

#include "BEE_test_support.h"
#include "BM.h"
#include "Digest.h"
#include "PIN.h"

namespace tv::bee::test {

// A 16-bit stereo WAV of a 440 Hz tone, written byte by byte.
inline void WriteToneWav(const std::string& path, int seconds, uint32_t rate = 48000) {
  const uint32_t frames = rate * static_cast<uint32_t>(seconds), data = frames * 4;
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { f.put(char(v)).put(char(v >> 8)).put(char(v >> 16)).put(char(v >> 24)); };
  auto u16 = [&](uint16_t v) { f.put(char(v)).put(char(v >> 8)); };
  f << "RIFF";
  u32(36 + data);
  f << "WAVEfmt ";
  u32(16), u16(1), u16(2), u32(rate), u32(rate * 4), u16(4), u16(16);
  f << "data";
  u32(data);
  for (uint32_t i = 0; i < frames; ++i) {
    const auto s = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 440 * i / rate)));
    u16(static_cast<uint16_t>(s)), u16(static_cast<uint16_t>(-s));
  }
}

// A world's pixels row after row without the row padding (bytes alpha, red,
// green, blue).
inline std::vector<uint8_t> WorldBytes(BM_World w) {
  int32_t width = 0, height = 0, depth = 0, rowBytes = 0;
  BM_GetWorldInfo(w, &width, &height, &depth, &rowBytes);
  Boolean32 failed = 0;
  BM_LockPixels(0, w, &failed);
  const auto* base = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(w));
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = base + static_cast<ptrdiff_t>(y) * rowBytes;
    out.insert(out.end(), row, row + 4 * static_cast<ptrdiff_t>(width));
  }
  BM_UnlockPixels(w);
  return out;
}

// The composition's frame at a frame number (30 fps) as bytes (alpha, red,
// green, blue), row by row; empty when it does not render (the failure is
// in err).
inline std::vector<uint8_t> FrameBytes(BEE_Item comp, int32_t frame, ErrorCode* err = nullptr) {
  int32_t w = 0, h = 0;
  ErrorCode e = BEE_GetCompDimensionsDSF(comp, &w, &h, nullptr);
  BM_World world = nullptr;
  const Rect r{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
  if (!e) e = BM_NewWorld(nullptr, 0, &r, 32, 0, nullptr, &world);
  const BEE_RenderRequest rq{{frame, 30}, {1, 30}, 0, 0, -1, {0, 0}};
  if (!e) e = BEEp_RenderItemFrame(comp, &rq, world);
  std::vector<uint8_t> bytes;
  if (!e) bytes = WorldBytes(world);
  if (world) BM_DisposeWorld(world);
  if (err) *err = e;
  return bytes;
}

class FramesFixture : public BeeFixture {
 protected:
  FramesFixture() : BeeFixture({BM_PackageNumber, PIN_PackageNumber, BEE_PackageNumber}) {}
  static BEE_Item FindComp(const char* name, BEE_Item folder = nullptr) {
    BEE_Item it = nullptr;
    EXPECT_EQ(BEE_FindItem(folder, name, BEE_KindComp, &it), 0);
    return it;
  }
  static BEE_Layer Layer(BEE_Item comp, int32_t index) {
    BEE_Layer l = nullptr;
    EXPECT_EQ(BEE_GetIndLayer(comp, index, &l), 0);
    return l;
  }
  // Sets a stream's value in user units at a composition frame (30 fps); with
  // key, the stream is made to vary first.
  static void SetAt(BEE_Layer layer, int32_t index, int32_t frame, std::initializer_list<double> v,
                    bool key = true) {
    const Time t{frame, 30};
    if (key) {
      ASSERT_EQ(BEE_CmdSetStreamVary(layer, index, &t, 1), 0);
    }
    BEE_StreamValue value{};
    std::copy(v.begin(), v.end(), value.values);
    ASSERT_EQ(BEE_CmdSetStreamFPV(layer, index, &t, nullptr, &value), 0);
  }
  // The digest of the frame, or 0 when it does not render.
  static uint64_t Frame(BEE_Item comp, int32_t frame, ErrorCode* err = nullptr) {
    ErrorCode e = 0;
    const std::vector<uint8_t> bytes = FrameBytes(comp, frame, &e);
    if (err) *err = e;
    return e ? 0 : tv::test::Digest().Bytes(bytes.data(), bytes.size()).value();
  }
  // The frame as pixels (0xAARRGGBB), row by row; empty when it does not render.
  static std::vector<uint32_t> Pixels(BEE_Item comp, int32_t frame, int32_t* width = nullptr) {
    if (width) BEE_GetCompDimensionsDSF(comp, width, nullptr, nullptr);
    const std::vector<uint8_t> p = FrameBytes(comp, frame);
    std::vector<uint32_t> out;
    for (size_t i = 0; i + 3 < p.size(); i += 4)
      out.push_back(uint32_t{p[i]} << 24 | uint32_t{p[i + 1]} << 16 | uint32_t{p[i + 2]} << 8 | p[i + 3]);
    return out;
  }
  // Frames at several times.
  static std::vector<uint64_t> Frames(BEE_Item comp, std::initializer_list<int32_t> frames) {
    std::vector<uint64_t> out;
    for (int32_t f : frames) out.push_back(Frame(comp, f));
    return out;
  }
};

}  // namespace tv::bee::test
