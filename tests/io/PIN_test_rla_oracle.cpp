// The RLA driver against an independent reader and writer: oiiotool (Debian
// openimageio-tools) writes RLA files from images the test makes, reads them
// back, and the frames the driver draws must match what it reads. Skipped
// when oiiotool is not installed.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "PIN_test_rla_fixture.h"

namespace tv::test::rla {
namespace {

bool HaveOiiotool() { return std::system("command -v oiiotool >/dev/null 2>&1") == 0; }

int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

// What oiiotool reads from a file: the stored samples of every pixel
// ("--dumpdata" prints them as integers of the file's own type).
struct Samples {
  int32_t width = 0, channels = 0;
  std::vector<uint32_t> values;
  uint32_t At(int32_t x, int32_t y, int32_t c) const {
    return values[(static_cast<size_t>(y) * width + x) * channels + c];
  }
};

Samples Dump(const std::string& path, int32_t width, int32_t channels) {
  Samples s;
  s.width = width, s.channels = channels;
  std::FILE* p = ::popen(("oiiotool --dumpdata " + path + " 2>/dev/null").c_str(), "r");
  if (!p) return s;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    int x = 0, y = 0, used = 0;
    if (std::sscanf(line, " Pixel (%d, %d):%n", &x, &y, &used) != 2) continue;
    std::istringstream in(line + used);
    for (int32_t c = 0; c < channels; ++c) {
      uint32_t v = 0;
      in >> v;
      s.values.push_back(v);
    }
  }
  ::pclose(p);
  return s;
}

void WritePnm(const std::string& path, bool colour, int32_t w, int32_t h, std::mt19937& rng) {
  std::ofstream out(path, std::ios::binary);
  out << (colour ? "P6" : "P5") << "\n" << w << " " << h << "\n65535\n";
  for (int32_t i = 0; i < w * h * (colour ? 3 : 1); ++i) {
    // Runs and noise, so that both kinds of packet appear.
    const uint32_t v = (i / 9) % 3 == 0 ? 0x4000u * static_cast<uint32_t>((i / 27) % 4) : rng() & 0xFFFF;
    out.put(static_cast<char>(v >> 8)).put(static_cast<char>(v));
  }
}

class RLAOracleTest : public RLATest {
 protected:
  void SetUp() override {
    RLATest::SetUp();
    if (!HaveOiiotool()) GTEST_SKIP() << "oiiotool (Debian openimageio-tools) is not installed";
  }
};

TEST_F(RLAOracleTest, FramesMatchWhatOiiotoolReads) {
  constexpr int32_t kW = 61, kH = 37;
  std::mt19937 rng(7);
  WritePnm(dir.P("rgb.ppm"), true, kW, kH, rng);
  WritePnm(dir.P("a.pgm"), false, kW, kH, rng);
  struct Case {
    const char* name;
    const char* type;
    bool matte;
  } cases[] = {{"m8", "uint8", true}, {"m16", "uint16", true}, {"n8", "uint8", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string rla = dir.P(std::string(c.name) + ".rla");
    const std::string src = c.matte ? dir.P("rgb.ppm") + " " + dir.P("a.pgm") + " --chappend --chnames R,G,B,A"
                                    : dir.P("rgb.ppm");
    ASSERT_EQ(Shell("oiiotool " + src + " -d " + c.type + " -o " + rla), 0);
    const Samples file = Dump(rla, kW, c.matte ? 4 : 3);
    ASSERT_EQ(file.values.size(), static_cast<size_t>(kW * kH * file.channels));
    // Deep samples are drawn as their most significant byte.
    const int shift = std::string(c.type) == "uint16" ? 8 : 0;

    PIN_SeqSpecH seq = Opened(rla);
    PIN_SourceInfo info = OUT(PIN_GetSourceInfo, seq);
    EXPECT_EQ(info.depth, c.matte ? 32 : 24);
    EXPECT_EQ(info.nativeRate, 0);
    EXPECT_EQ(info.duration.value, 0);
    BM_World w = World(kW, kH);
    ASSERT_EQ(Draw(seq, w), 0);
    int mismatches = 0;
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x) {
        const uint32_t a = c.matte ? file.At(x, y, 3) >> shift : 255;
        const uint32_t want = a << 24 | (file.At(x, y, 0) >> shift) << 16 | (file.At(x, y, 1) >> shift) << 8 |
                              (file.At(x, y, 2) >> shift);
        if (Pixel(w, x, y) != want && ++mismatches < 5)
          ADD_FAILURE() << x << "," << y << ": " << std::hex << Pixel(w, x, y) << " != " << want;
      }
    EXPECT_EQ(mismatches, 0);
  }
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
}  // namespace tv::test::rla
