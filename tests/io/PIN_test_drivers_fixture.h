// Shared fixture of the format drivers' tests: U and PIN born with the
// built-in drivers, a temporary folder, Worlds that go with the test, and
// imports by path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PIN_internal.h"
#include "drivers/common/drivers.h"
#include "TestSupport.h"

namespace tv::test::pin {

class DriverTest : public UFixture {
 protected:
  DriverTest() : UFixture({PIN_PackageNumber}) { tv::pin::SetDriversForTesting({}); }
  void TearDown() override {
    for (PIN_SeqSpecH s : seqs_) PIN_DisposeSeqSpec(s);
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    UFixture::TearDown();
  }
  BM_World World(int32_t w, int32_t h) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world), 0);
    worlds_.push_back(world);
    return world;
  }
  // The ARGB bytes of a World, rows packed.
  static std::vector<uint8_t> Bytes(BM_World world) {
    tv::pin::PixelLock px(world);
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < px.height(); ++y)
      out.insert(out.end(), px.Row(y), px.Row(y) + 4 * px.width());
    return out;
  }
  // Imports path (the SeqSpec goes with the test); the code.
  ErrorCode Import(const std::string& path, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0) << path;
    ErrorCode err = PIN_NewSeqSpecFromFile(ref, seq);
    FILE_Dispose(ref);
    if (!err) seqs_.push_back(*seq);
    return err;
  }
  // Draws the frame at time value/scale of seq at full size.
  std::vector<uint8_t> Draw(PIN_SeqSpecH seq, int32_t value = 0, uint32_t scale = 1) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), 0);
    BM_World world = World(w, h);
    PIN_DrawParams p{};
    p.time = Time{value, scale};
    p.quality = 1;
    EXPECT_EQ(PIN_DrawFrame(seq, world, &p), 0);
    return Bytes(world);
  }
  // Peak signal-to-noise ratio of two byte images (dB; 999 when equal).
  static double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

  TempDir dir{"drv"};

 private:
  std::vector<PIN_SeqSpecH> seqs_;
  std::vector<BM_World> worlds_;
};

inline double DriverTest::Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (se == 0) return 999;
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
}

}  // namespace tv::test::pin
