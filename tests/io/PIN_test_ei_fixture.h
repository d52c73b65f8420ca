// Shared fixture of the ElectricImage driver's tests: U and PIN born with the
// built-in drivers, a temporary folder, Worlds, writing through an
// OutputSpec, and the driver's report as the log shows it.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PIN_internal.h"
#include "TestSupport.h"
#include "drivers/ei/EI_internal.h"

namespace tv::test::ei {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class EITest : public UFixture {
 protected:
  EITest() : UFixture({PIN_PackageNumber}) {}
  void TearDown() override {
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    for (PIN_SeqSpecH s : seqs_) PIN_DisposeSeqSpec(s);
    UFixture::TearDown();
  }

  BM_World World(int32_t w, int32_t h) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world), 0);
    worlds_.push_back(world);
    return world;
  }
  // Sets every pixel to fn(x, y) as ARGB.
  template <class Fn>
  static void Paint(BM_World world, Fn fn) {
    tv::pin::PixelLock px(world);
    for (int32_t y = 0; y < px.height(); ++y)
      for (int32_t x = 0; x < px.width(); ++x) {
        const uint32_t v = fn(x, y);
        uint8_t* p = px.Row(y) + 4 * x;
        p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
      }
  }
  static uint32_t Pixel(BM_World world, int32_t x, int32_t y) {
    tv::pin::PixelLock px(world);
    const uint8_t* p = px.Row(y) + 4 * x;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }

  // Writes the Worlds through an OutputSpec of the module at `depth` and
  // `rate` (frames a second), frame i at indices[i] (i when none given).
  ErrorCode Write(const std::string& path, const std::vector<BM_World>& frames, int16_t depth, int32_t rate,
                  std::vector<int32_t> indices = {}) {
    int32_t w = 0, h = 0, d = 0, rb = 0;
    BM_GetWorldInfo(frames[0], &w, &h, &d, &rb);
    PIN_OutputSpecH out = nullptr;
    EXPECT_EQ(PIN_NewOutputSpec(D_EI_Signature, w, h, &out), 0);
    PIN_OutputInfo info{};
    PIN_GetOutputInfo(out, &info, sizeof info);
    info.depth = depth;
    info.frameRate = rate << 16;
    EXPECT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
    ErrorCode err = PIN_SetOutputFile(out, ref);
    FILE_Dispose(ref);
    if (!err) err = PIN_StartAdding(out);
    for (size_t i = 0; i < frames.size() && !err; ++i)
      err = PIN_AddFrame(out, indices.empty() ? static_cast<int32_t>(i) : indices[i], frames[i]);
    if (!err) err = PIN_EndAdding(out);
    PIN_DisposeOutputSpec(out);
    return err;
  }

  ErrorCode Open(const std::string& path, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
    *seq = nullptr;
    ErrorCode err = PIN_NewSeqSpecFromFile(ref, seq);
    FILE_Dispose(ref);
    if (*seq) seqs_.push_back(*seq);
    return err;
  }
  // Draws the frame at time value/scale into a World of the footage's size.
  ErrorCode Draw(PIN_SeqSpecH seq, BM_World world, Time time = Time{0, 1}) {
    PIN_DrawParams p{};
    p.time = time;
    return PIN_DrawFrame(seq, world, &p);
  }

  // Exactly one report since the recorder was cleared: the driver's, at
  // severity 8, with the text.
  void ExpectOneReport(std::string text, ErrorCode code) {
    ASSERT_EQ(rec.reports.size(), 1u) << (rec.reports.empty() ? "" : rec.reports.back().text);
    EXPECT_EQ(rec.last().location >> 24, uint32_t{D_EI_PackageNumber});
    EXPECT_EQ(rec.last().severity, kSevError);
    if (!text.empty() && text.back() == '.') text.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(code));
    EXPECT_EQ(rec.last().text, "Test error: " + text + " (" + hex + ").");
  }

  TempDir dir{"ei"};

 private:
  std::vector<BM_World> worlds_;
  std::vector<PIN_SeqSpecH> seqs_;
};

}  // namespace tv::test::ei
