// Shared fixtures of the module framework's and the format drivers' tests:
// U and PIN born with the placeholder, the ".tsf" test driver and a module
// that fills no slot (PINTest) or with the built-in drivers (DriverTest), a
// temporary folder, Worlds and SeqSpecs that go with the test, and helpers
// for the pixels and the reports.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "PinTestDriver.h"
#include "TestSupport.h"
#include "drivers/common/drivers.h"
#include "io_test_out.h"

namespace tv::test::pin {

// The bytes of a file, and a file replaced by bytes.
inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
inline void WriteFile(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline constexpr tv::pin::Driver kTestDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", TsfBirth},
    {"Empty", EmptyBirth},
};
// The same with the module that only writes.
inline constexpr tv::pin::Driver kOutputDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", TsfBirth},
    {"Test Output", OutBirth},
};

class PINTest : public UFixture {
 protected:
  explicit PINTest(std::span<const tv::pin::Driver> drivers = kTestDrivers) : UFixture({PIN_PackageNumber}) {
    tv::pin::SetDriversForTesting(drivers);
  }
  ~PINTest() override { tv::pin::SetDriversForTesting({}); }
  void TearDown() override {
    for (PIN_SeqSpecH s : seqs_) PIN_DisposeSeqSpec(s);
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    UFixture::TearDown();
  }

  // A reference to a path (disposed by the caller).
  static FILE_SpecH Ref(const std::string& path) {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(FILE_New(path.c_str(), FILE_LocFullPath, &ref), 0) << path;
    return ref;
  }
  // The name of a reference (or its full path), which is disposed here; "" for none.
  static std::string TakeName(FILE_SpecH ref, int32_t kind = FILE_NameOnly) {
    char name[FILE_MaxPath] = "";
    EXPECT_EQ(ref ? FILE_InqName(ref, kind, name, sizeof name) : 0, 0);
    FILE_Dispose(ref);
    return name;
  }
  // Sets the file an OutputSpec writes (through a reference made here).
  static ErrorCode SetFile(PIN_OutputSpecH out, const std::string& path) {
    FILE_SpecH ref = Ref(path);
    const ErrorCode err = PIN_SetOutputFile(out, ref);
    FILE_Dispose(ref);
    return err;
  }
  // Imports path with options; the SeqSpec (disposed by the caller) or null.
  ErrorCode Import(const std::string& path, uint32_t options, PIN_SeqSpecH* seq) {
    FILE_SpecH ref = Ref(path);
    ErrorCode err = PIN_NewSeqSpecFromFileOptions(ref, options, seq);
    FILE_Dispose(ref);
    return err;
  }
  // The same, the SeqSpec going with the test.
  ErrorCode Open(const std::string& path, PIN_SeqSpecH* seq, uint32_t options = 0) {
    *seq = nullptr;
    const ErrorCode err = Import(path, options, seq);
    if (*seq) seqs_.push_back(*seq);
    return err;
  }
  // path opened, which must succeed; the SeqSpec goes with the test.
  PIN_SeqSpecH Opened(const std::string& path, uint32_t options = 0) {
    PIN_SeqSpecH seq = nullptr;
    EXPECT_EQ(Open(path, &seq, options), 0) << path;
    return seq;
  }
  // A cleared World that goes with the test.
  BM_World World(int32_t w, int32_t h, int32_t depth = 32) {
    const Rect bounds{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, depth, 0, nullptr, &world), 0);
    worlds_.push_back(world);
    return world;
  }
  // The ARGB bytes of a World, rows packed.
  static std::vector<uint8_t> Argb(BM_World world) {
    tv::pin::PixelLock px(world);
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < px.height(); ++y) out.insert(out.end(), px.Row(y), px.Row(y) + 4 * px.width());
    return out;
  }
  static uint32_t Pixel(BM_World world, int32_t x, int32_t y) {
    tv::pin::PixelLock px(world);
    const uint8_t* p = px.Row(y) + 4 * x;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
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
  // Draws the frame at time (at a scale; 0/0: full size) into world.
  static ErrorCode Draw(PIN_SeqSpecH seq, BM_World world, Time time = Time{0, 1}, Ratio scale = Ratio{0, 0}) {
    PIN_DrawParams p{};
    p.time = time;
    p.scaleX = p.scaleY = scale;
    return PIN_DrawFrame(seq, world, &p);
  }
  // Texts of the recorded reports, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& r : rec.reports) t.push_back(r.text);
    return t;
  }

  // A failure's text as the log shows it: "Test error: <text> (<code in hex>).".
  static std::string Logged(std::string text, ErrorCode code) {
    if (!text.empty() && text.back() == '.') text.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(code));
    return "Test error: " + text + " (" + hex + ").";
  }
  static std::string BadArg(const std::string& what) {
    return "Test error: bad argument to " + what + " -- a bad parameter was passed.";
  }
  // Exactly one report since the recorder was cleared, with the text.
  void ExpectOnly(const std::string& text) {
    ASSERT_EQ(rec.reports.size(), 1u) << (rec.reports.empty() ? "" : rec.reports.back().text);
    EXPECT_EQ(rec.last().text, text);
  }
  // Exactly one report since the recorder was cleared: package's, at
  // severity 8, with the text.
  void ExpectOneReport(uint32_t package, const std::string& text, ErrorCode code) {
    ASSERT_EQ(rec.reports.size(), 1u) << (rec.reports.empty() ? "" : rec.reports.back().text);
    EXPECT_EQ(rec.last().location >> 24, package);
    EXPECT_EQ(rec.last().severity, kSevError);
    EXPECT_EQ(rec.last().text, Logged(text, code));
  }

  TempDir dir{"pin"};
  std::vector<PIN_SeqSpecH> seqs_;
  std::vector<BM_World> worlds_;
};

// The built-in drivers.
class DriverTest : public PINTest {
 protected:
  DriverTest() : PINTest({}) {}
  // Draws the frame at time value/scale of seq at full size; its bytes.
  std::vector<uint8_t> Frame(PIN_SeqSpecH seq, int32_t value = 0, uint32_t scale = 1) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(PIN_GetDimensions(seq, nullptr, &w, &h, nullptr), 0);
    BM_World world = World(w, h);
    PIN_DrawParams p{};
    p.time = Time{value, scale};
    p.quality = 1;
    EXPECT_EQ(PIN_DrawFrame(seq, world, &p), 0);
    return Argb(world);
  }
  // An OutputSpec of the module writing path, the file set through the
  // module's own slot.
  PIN_OutputSpecH SlotOutput(FourCC sig, const std::string& path) {
    PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, sig, 0, 0);
    FILE_SpecH ref = Ref(path);
    EXPECT_EQ(tv::pin::FindModule(sig)->procs.setOutputFile(out, ref), 0);
    FILE_Dispose(ref);
    return out;
  }
  // Peak signal-to-noise ratio of two byte images (dB; 999 when equal).
  static double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    if (se == 0) return 999;
    return 10 * std::log10(255.0 * 255.0 * double(a.size()) / se);
  }
};

}  // namespace tv::test::pin
