// Interlaced and telecined footage made by the ffmpeg tool (losslessly, from
// generated frames) and read through the movie module: 3:2 pulldown guessed
// and removed at every phase and both field orders gives back each film
// frame exactly; separated fields show each field at its own half-frame time.
#include <cstdlib>
#include <fstream>

#include "PIN_interp.h"
#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

constexpr int kW = 64, kH = 16, kFilm = 40;

class PINFieldsTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    // Film frame f: its own colour, a gradient across and down.
    std::ofstream raw(dir.P("film.rgb"), std::ios::binary);
    for (int f = 0; f < kFilm; ++f)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          raw.put(char((f * 40 + 10 + x) & 255)).put(char(f * f * 11 & 255)).put(char((255 - f * 5 + y) & 255));
  }
  // A movie of the generated frames at rate, through the filters.
  void Make(const std::string& name, int rate, const std::string& filters) {
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s 64x16 -r " +
                            std::to_string(rate) + " -i '" + dir.P("film.rgb") + "' -vf '" + filters +
                            "' -c:v png '" + dir.P(name) + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  PIN_SeqSpecH Movie(const std::string& name) { return Opened(dir.P(name)); }
  std::vector<uint8_t> DrawAt(PIN_SeqSpecH seq, int32_t value, uint32_t scale, int32_t quality) {
    BM_World world = World(kW, kH);
    PIN_DrawParams p{};
    p.time = Time{value, scale};
    p.quality = quality;
    EXPECT_EQ(PIN_DrawFrame(seq, world, &p), 0);
    return Argb(world);
  }
  static std::vector<uint8_t> Row(const std::vector<uint8_t>& f, int y) {
    return {f.begin() + y * kW * 4, f.begin() + (y + 1) * kW * 4};
  }
};

// ffmpeg's 2:3 telecine (fields AA BB BC CD DD) cut at each of its five
// phases, upper and lower field first: the guess names the order and the
// phase, and with them every film frame comes back as it was.
TEST_F(PINFieldsTest, PulldownRemovalGivesBackTheFilmFrames) {
  Make("film.mov", 24, "null");
  PIN_SeqSpecH film = Movie("film.mov");
  ASSERT_NE(film, nullptr);
  std::vector<std::vector<uint8_t>> frames;
  for (int f = 0; f < kFilm; ++f) frames.push_back(DrawAt(film, f, 24, 1));
  for (const char* order : {"top", "bottom"}) {
    for (int offset = 0; offset < 5; ++offset) {
      SCOPED_TRACE(std::string(order) + " field first, cut by " + std::to_string(offset));
      const std::string name = std::string("t") + order[0] + std::to_string(offset) + ".mov";
      Make(name, 24, std::string("telecine=first_field=") + order + ":pattern=23,trim=start_frame=" +
                         std::to_string(offset) + ",setpts=PTS-STARTPTS");
      PIN_SeqSpecH seq = Movie(name);
      ASSERT_NE(seq, nullptr);
      uint32_t fieldOrder = 0, phase = 0;
      OUT(PIN_GuessPulldown, seq, &fieldOrder, &phase);
      EXPECT_EQ(fieldOrder, order[0] == 't' ? 1u : 2u);
      ASSERT_NE(phase, 0u);
      const PIN_FieldInfo fields{MakeFourCC("FIEL"), 1, 1, fieldOrder - 1, 0};
      ASSERT_EQ(PIN_SetInterlace(seq, &fields), 0);
      ASSERT_EQ(PIN_SetPulldown(seq, phase), 0);
      // Film frame 1 onwards (frame 0 may have lost a field to the cut):
      // consecutive film frames, each exactly one of the source's.
      int first = -1;
      for (int n = 1; n < 24; ++n) {
        const std::vector<uint8_t> got = DrawAt(seq, n, 24, 0);
        int match = -1;
        for (int f = 0; f < kFilm && match < 0; ++f)
          if (got == frames[f]) match = f;
        if (first < 0) first = match - 1;
        EXPECT_EQ(match, first + n) << "film frame " << n;
      }
    }
  }
  EXPECT_TRUE(rec.reports.empty());
}

// ffmpeg's interlace (60 frames a second woven into 30, in either order):
// separated by the same dominance, field j is shown from j/60 s, its rows
// exactly the source frame j's, the others doubled (draft) or interpolated
// (best).
TEST_F(PINFieldsTest, SeparatedFieldsShowEachFieldAtItsTime) {
  Make("progressive.mov", 60, "format=gray");
  PIN_SeqSpecH progressive = Movie("progressive.mov");
  ASSERT_NE(progressive, nullptr);
  for (const char* scan : {"tff", "bff"}) {
    SCOPED_TRACE(scan);
    const std::string name = std::string(scan) + ".mov";
    Make(name, 60, std::string("format=gray,interlace=scan=") + scan + ":lowpass=off");
    PIN_SeqSpecH seq = Movie(name);
    ASSERT_NE(seq, nullptr);
    const uint32_t dominance = scan[0] == 't' ? 0 : 1;
    const PIN_FieldInfo fields{MakeFourCC("FIEL"), 1, 1, dominance, 0};
    ASSERT_EQ(PIN_SetInterlace(seq, &fields), 0);
    for (int j = 0; j < 12; ++j) {
      const std::vector<uint8_t> source = DrawAt(progressive, j, 60, 0);
      const int kept = static_cast<int>(dominance ^ static_cast<uint32_t>(j & 1));
      for (int quality : {0, 1}) {
        // A time inside the field's half of the frame shows it too.
        const std::vector<uint8_t> got = DrawAt(seq, 2 * j + 1, 120, quality);
        for (int y = kept; y < kH; y += 2) EXPECT_EQ(Row(got, y), Row(source, y)) << "field " << j << " row " << y;
        std::vector<uint8_t> rebuilt = got;
        tv::pin::FillOtherRows(rebuilt.data(), kW * 4, kW, kH, static_cast<uint32_t>(kept), quality == 1);
        EXPECT_EQ(got, rebuilt) << "field " << j;
      }
    }
  }
  EXPECT_TRUE(rec.reports.empty());
}

// Rebuilding from one parity: doubled rows copy the kept row above (below
// for row 0); interpolated ones take the mean of the two around them.
TEST(PINFieldRows, DoubledAndInterpolated) {
  // One byte a row is enough to follow: rows 0..4 of width 1 (4 bytes).
  std::vector<uint8_t> px = {10, 10, 10, 10, 99, 99, 99, 99, 30, 30, 30, 30, 99, 99, 99, 99, 51, 51, 51, 51};
  std::vector<uint8_t> d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 0, false);
  EXPECT_EQ(d, (std::vector<uint8_t>{10, 10, 10, 10, 10, 10, 10, 10, 30, 30, 30, 30, 30, 30, 30, 30, 51, 51, 51, 51}));
  d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 0, true);
  EXPECT_EQ(d, (std::vector<uint8_t>{10, 10, 10, 10, 20, 20, 20, 20, 30, 30, 30, 30, 41, 41, 41, 41, 51, 51, 51, 51}));
  d = px;
  tv::pin::FillOtherRows(d.data(), 4, 1, 5, 1, true);
  EXPECT_EQ(d, (std::vector<uint8_t>{99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}));
}

}  // namespace
}  // namespace tv::test::pin
