// Shared fixture of the RLA driver's tests: U and PIN born with the built-in
// drivers, a temporary folder, Worlds, and the driver's report as the log
// shows it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "PIN_internal.h"
#include "PIN_test_rla_writer.h"
#include "TestSupport.h"
#include "drivers/rla/RLA_internal.h"

namespace tv::test::rla {

class RLATest : public UFixture {
 protected:
  RLATest() : UFixture({PIN_PackageNumber}) {}
  void TearDown() override {
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    for (PIN_SeqSpecH s : seqs_) PIN_DisposeSeqSpec(s);
    UFixture::TearDown();
  }

  std::string Write(const std::string& name, const RlaFile& f) {
    Save(dir.P(name), Build(f));
    return dir.P(name);
  }
  // Opens a file (options: PIN_Import_*); the SeqSpec is disposed after the test.
  ErrorCode Open(const std::string& path, PIN_SeqSpecH* seq, uint32_t options = 0) {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0);
    ErrorCode err = PIN_NewSeqSpecFromFileOptions(ref, options, seq);
    FILE_Dispose(ref);
    if (*seq) seqs_.push_back(*seq);
    return err;
  }
  BM_World World(int32_t w, int32_t h) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, 0, &bounds, 32, 0, nullptr, &world), 0);
    worlds_.push_back(world);
    return world;
  }
  static void Fill(BM_World world, uint32_t argb) { BM_ClearWorldToLong(world, argb); }
  static uint32_t Pixel(BM_World world, int32_t x, int32_t y) {
    tv::pin::PixelLock px(world);
    const uint8_t* p = px.Row(y) + 4 * x;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }
  // Draws the frame at time 0 with a scale (0/0: 1/1).
  ErrorCode Draw(PIN_SeqSpecH seq, BM_World world, Ratio scale = Ratio{0, 0}, int32_t time = 0) {
    PIN_DrawParams p{};
    p.time = Time{time, 30};
    p.scaleX = p.scaleY = scale;
    return PIN_DrawFrame(seq, world, &p);
  }

  // The driver's failure as the log shows it.
  static std::string Logged(std::string text, ErrorCode code) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(code));
    return "Test error: " + text + " (" + hex + ").";
  }
  // Exactly one report since the recorder was cleared: the driver's, at
  // severity 8, with the text.
  void ExpectOneReport(const std::string& text, ErrorCode code) {
    ASSERT_EQ(rec.reports.size(), 1u) << (rec.reports.empty() ? "" : rec.reports.back().text);
    EXPECT_EQ(rec.last().location >> 24, uint32_t{D_RLA_PackageNumber});
    EXPECT_EQ(rec.last().severity, kSevError);
    EXPECT_EQ(rec.last().text, Logged(text, code));
  }

  TempDir dir{"rla"};

 private:
  std::vector<BM_World> worlds_;
  std::vector<PIN_SeqSpecH> seqs_;
};

}  // namespace tv::test::rla
