// The tavelo command line at the user's boundary, end to end: frame lists
// and their refusals, missing output folders made, movies tagged with their
// colour (checked with ffprobe and decoded back), containers and codecs of
// the table of outputs read back through the movie reader with the
// background colour under formats without alpha, frames piped out with
// `-o -` and read again, and the help, log level and format list.
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <set>

#include "OutputFormats.h"
#include "tavelo_fixture.h"

namespace {

using namespace tavelo_test;

// One composition of 64 x 48, 12 frames at 24 a second: the left half an
// orange solid, the right half only the background colour.
constexpr const char* kHalf = R"({"comps": [{"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 0.5,
  "background": "#102030", "layers": [{"solid": {"color": "#e8491d", "width": 32, "height": 48},
  "position": [16, 24]}]}]})";
constexpr uint8_t kOrange[3] = {232, 73, 29}, kBackground[3] = {16, 32, 48};

bool Have(const std::string& tool) { return std::system((tool + " -version >/dev/null 2>&1").c_str()) == 0; }

// The RGBA of pixel (x, y) of raw frames w wide.
std::vector<int> Pixel(const std::string& raw, int w, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
  if (at + 4 > raw.size()) return {};
  return {uint8_t(raw[at]), uint8_t(raw[at + 1]), uint8_t(raw[at + 2]), uint8_t(raw[at + 3])};
}

// Whether the pixel's colour is within `levels` of rgb.
::testing::AssertionResult Near(const std::vector<int>& px, const uint8_t rgb[3], int levels) {
  if (px.size() < 3) return ::testing::AssertionFailure() << "no pixel";
  for (int c = 0; c < 3; ++c)
    if (std::abs(px[static_cast<size_t>(c)] - rgb[c]) > levels)
      return ::testing::AssertionFailure() << px[0] << "," << px[1] << "," << px[2] << " is not within " << levels
                                           << " of " << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2]);
  return ::testing::AssertionSuccess();
}

class Boundary : public Tavelo {
 protected:
  // Runs a shell command in the test folder; its standard output.
  std::string Shell(const std::string& command) {
    const std::string cmd = "cd '" + dir.string() + "' && " + command + " > shell.out";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << command;
    return Slurp(dir / "shell.out");
  }
  // Frame 0 of a description's only composition as raw RGBA (through -o -).
  std::string Raw(const std::string& description) {
    return Ok({"render", description, "-t", "0f", "-o", "-", "--format", "raw", "-q"}).out;
  }
  std::set<std::string> Rendered(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir / folder, ec)) names.insert(e.path().filename().string());
    return names;
  }
};

// Each form of a frame list renders its frames (into a nested folder made
// for them; --comp left out, the project has one); anything else is a usage
// error naming the part, and nothing is rendered.
TEST_F(Boundary, FrameLists) {
  Write("c.json", kHalf);
  Outcome r = Tv({"render", "c.json", "--frames", "0-10x5, 5,11-", "-o", "a/b/c/f_##.png", "-q"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Rendered("a/b/c"), (std::set<std::string>{"f_00.png", "f_05.png", "f_10.png", "f_11.png"}));
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"1,,5", "bad frame list \"1,,5\": an empty part between commas"},
      {"0:10", "bad frame list \"0:10\": \"0:10\" is not a frame (7), a range (0-99)"},
      {"5-2", "bad frame list \"5-2\": \"5-2\" ends before it starts"},
      {"1-9x0", "bad frame list \"1-9x0\": \"1-9x0\" has a step of 0"},
      {"4294967296-", "bad frame list \"4294967296-\": \"4294967296-\" has a number of more than 9 digits"},
      {"0-5,8-99", "frames \"0-5,8-99\": \"8-99\" goes past the last frame (frames 0 to 11)"},
  };
  fs::remove_all(dir / "a");
  for (const auto& [list, message] : refused) {
    Outcome bad = Tv({"render", "c.json", "--frames", list, "-o", "a/f_##.png"});
    EXPECT_EQ(bad.code, 2) << list;
    EXPECT_THAT(bad.err, HasSubstr("tavelo: " + message)) << list << "\n" << bad.err;
    EXPECT_FALSE(fs::exists(dir / "a")) << list;
  }
}

// HD movies are BT.709, SD ones BT.601 (SMPTE 170M), both in video range,
// tagged in the container and in the H.264 stream; decoded by FFmpeg and by
// the engine's own movie reader their colours are those rendered.
TEST_F(Boundary, MovieColourTags) {
  if (!Have("ffprobe") || !Have("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Write("c.json", kHalf);
  std::string hd = kHalf;
  auto change = [&hd](const std::string& from, const std::string& to) { hd.replace(hd.find(from), from.size(), to); };
  change("\"width\": 64, \"height\": 48", "\"width\": 1280, \"height\": 720");
  change("\"width\": 32, \"height\": 48", "\"width\": 640, \"height\": 720");
  change("[16, 24]", "[320, 360]");
  Write("hd.json", hd);
  Outcome one = Ok({"render", "hd.json", "-t", "0", "-o", "hd.mp4", "-q"});
  EXPECT_EQ(one.out, "wrote hd.mp4 (1 frame with sound)\n");
  ASSERT_EQ(Tv({"render", "c.json", "-t", "0", "-o", "sd.mp4", "-q", "--no-sound"}).code, 0);
  const std::string tags = "-v error -select_streams v -show_entries stream=color_range,color_space,color_transfer,"
                           "color_primaries -of csv=p=0";
  EXPECT_EQ(Shell("ffprobe " + tags + " hd.mp4"), "tv,bt709,bt709,bt709\n");
  EXPECT_EQ(Shell("ffprobe " + tags + " sd.mp4"), "tv,smpte170m,smpte170m,smpte170m\n");
  // The stream alone (its own tags), and the container's colour box.
  Shell("ffmpeg -v error -i hd.mp4 -c copy -bsf:v h264_mp4toannexb -f h264 hd.h264");
  EXPECT_EQ(Shell("ffprobe " + tags + " hd.h264"), "tv,bt709,bt709,bt709\n");
  EXPECT_NE(Slurp(dir / "hd.mp4").find("colrnclx"), std::string::npos);
  // As a player shows them (FFmpeg's exact conversion honours the tags).
  auto decoded = [&](const std::string& movie) {
    return Shell("ffmpeg -v error -i " + movie +
                 " -sws_flags bicubic+accurate_rnd+full_chroma_int -frames:v 1 -f rawvideo -pix_fmt rgba -");
  };
  const std::string hdPixels = decoded("hd.mp4"), sdPixels = decoded("sd.mp4");
  EXPECT_TRUE(Near(Pixel(hdPixels, 1280, 300, 300), kOrange, 2));
  EXPECT_TRUE(Near(Pixel(hdPixels, 1280, 1000, 300), kBackground, 2));
  EXPECT_TRUE(Near(Pixel(sdPixels, 64, 10, 10), kOrange, 2));
  EXPECT_TRUE(Near(Pixel(sdPixels, 64, 50, 10), kBackground, 2));
  // The engine's movie reader, footage of a composition.
  Write("r.json", R"({"footage": [{"name": "M", "file": "hd.mp4"}], "comps": [{"name": "R", "width": 1280,
    "height": 720, "fps": 24, "duration": 0.5, "layers": [{"source": "M"}]}]})");
  const std::string raw = Raw("r.json");
  EXPECT_TRUE(Near(Pixel(raw, 1280, 300, 300), kOrange, 2));
  EXPECT_TRUE(Near(Pixel(raw, 1280, 1000, 300), kBackground, 2));
  // A description's fields make an interlaced movie that says its order; a
  // composition's pixel aspect is the movie's.
  std::string fields = kHalf;
  fields.replace(fields.find("\"comps\""), 0, R"("render": {"fields": "lowerFirst"}, )");
  fields.replace(fields.find("\"fps\""), 0, R"("pixelAspect": 1.2, )");
  Write("f.json", fields);
  Ok({"render", "f.json", "-o", "f.mov", "-q"});
  EXPECT_EQ(Shell("ffprobe -v error -select_streams v -show_entries stream=field_order,sample_aspect_ratio -of "
                  "csv=p=0 f.mov"),
            "6:5,bb\n");
  // Read back, the movie is footage of that pixel aspect.
  Write("m.json", R"({"footage": [{"name": "M", "file": "f.mov"}], "comps": [{"name": "R", "width": 64,
    "height": 48, "fps": 24, "duration": 0.5, "layers": [{"source": "M"}]}]})");
  EXPECT_THAT(Ok({"info", "m.json"}).out, HasSubstr("footage \"f.mov\": 64 x 48, pixel aspect 1.2, "));
  const nlohmann::json movie = nlohmann::json::parse(Ok({"info", "m.json", "--json"}).out)["footage"][0];
  EXPECT_EQ(movie["pixelAspect"], 1.2);
  EXPECT_EQ(movie["fps"], 24);
  EXPECT_EQ(movie["alpha"], "none");
  // H.264 of two fields takes heights divisible by 4 only: refused up front.
  fields.replace(fields.find("\"height\": 48"), std::string("\"height\": 48").size(), "\"height\": 46");
  Write("f46.json", fields);
  Outcome odd = Tv({"render", "f46.json", "-o", "f.mp4"});
  EXPECT_EQ(odd.code, 2);
  EXPECT_THAT(odd.err, HasSubstr("h264 of two fields needs an even width and a height divisible by 4, and the "
                                 "frames are 64 x 46"));
}

// Every road of `render` gives the same frames: stills with and without
// reservations (the background colour under JPEG either way), raw and PNG
// streams, a lossless movie; a description's fields in all of them.
TEST_F(Boundary, EveryRenderRoadGivesTheSameFrames) {
  Write("m.json", R"({"render": {"fields": "upperFirst"}, "comps": [{"name": "C", "width": 32, "height": 24,
    "fps": 24, "duration": 0.25, "background": "#336699", "layers": [{"solid": {"color": "#e8491d", "width": 8,
    "height": 8}, "opacity": 70, "position": [{"time": 0, "value": [0, 0]}, {"time": 0.25, "value": [32, 24]}]}]}]})");
  const std::string raw = Ok({"render", "m.json", "-f", "raw", "-o", "-", "-q"}).out;
  ASSERT_EQ(raw.size(), 6u * 32 * 24 * 4);
  // The two fields of a frame are half a frame apart: the square's rows differ.
  EXPECT_NE(raw.substr(0, 32 * 4 * 8), raw.substr(32 * 4 * 16, 32 * 4 * 8));
  Ok({"render", "m.json", "-o", "a/f_#.png", "-q"});
  Ok({"render", "m.json", "-o", "b/f_#.png", "-q", "--reserve"});
  Ok({"render", "m.json", "-o", "a/f_#.jpg", "-q"});
  Ok({"render", "m.json", "-o", "b/f_#.jpg", "-q", "--reserve"});
  Ok({"render", "m.json", "-o", "m.mov", "--codec", "png", "-q"});
  // The formats' other names (as `tavelo formats` lists them), in any case.
  Ok({"render", "m.json", "-o", "c/f_#.JPEG", "-q"});
  Ok({"frame", "m.json", "-t", "0", "-o", "c/f.tiff", "-q"});
  Ok({"frame", "m.json", "-t", "0", "-o", "c/f.tif", "-q"});
  for (int f = 0; f < 6; ++f) {
    const std::string n = std::to_string(f);
    EXPECT_TRUE(Slurp(dir / "a" / ("f_" + n + ".png")) == Slurp(dir / "b" / ("f_" + n + ".png"))) << f;
    EXPECT_TRUE(Slurp(dir / "a" / ("f_" + n + ".jpg")) == Slurp(dir / "b" / ("f_" + n + ".jpg"))) << f;
    EXPECT_TRUE(Slurp(dir / "a" / ("f_" + n + ".jpg")) == Slurp(dir / "c" / ("f_" + n + ".JPEG"))) << f;
  }
  // Read back through the engine: the stills, the PNG stream and the movie.
  const auto back = [&](const std::string& footage) {
    Write("back.json", R"({"footage": [{"name": "F", )" + footage + R"(}], "comps": [{"name": "B", "width": 32,
      "height": 24, "fps": 24, "duration": 0.25, "layers": [{"source": "F"}]}]})");
    return Ok({"render", "back.json", "-f", "raw", "-o", "-", "-q"}).out;
  };
  EXPECT_TRUE(back(R"("file": "b/f_0.png", "sequence": true, "fps": 24)") == raw);
  EXPECT_TRUE(back(R"("file": "m.mov")") == raw);
  EXPECT_TRUE(back(R"("file": "c/f.tiff")") == back(R"("file": "c/f.tif")"));  // (the files hold their times)
  const std::string stream = Ok({"render", "m.json", "-o", "-", "-q"}).out;
  const size_t second = stream.find("\x89PNG", 8);
  ASSERT_NE(second, std::string::npos);
  Write("first.png", stream.substr(0, second));
  EXPECT_TRUE(back(R"("file": "first.png")").substr(0, 32 * 24 * 4) == raw.substr(0, 32 * 24 * 4));
}

// `-o -` writes a PNG stream that reads back (as footage) to the very pixels
// rendered, and raw RGBA of every frame; nothing else goes to standard output.
TEST_F(Boundary, FramesToStandardOutput) {
  Write("c.json", kHalf);
  Outcome png = Ok({"render", "c.json", "--frames", "0-2", "-o", "-"});
  EXPECT_EQ(png.out.substr(1, 3), "PNG");
  EXPECT_THAT(png.err, HasSubstr("tavelo: wrote 3 frames to standard output\n"));
  fs::rename(dir / "stdout", dir / "frames.pngs");
  Outcome raw = Ok({"render", "c.json", "--frames", "0-2", "-o", "-", "-f", "raw", "-q"});
  EXPECT_EQ(raw.out.size(), 3u * 64 * 48 * 4);
  EXPECT_EQ(Pixel(raw.out, 64, 50, 20), (std::vector<int>{0, 0, 0, 0}));
  Write("p.json", R"({"footage": [{"name": "P", "file": "frames.pngs", "fps": 24}],
    "comps": [{"name": "R", "width": 64, "height": 48, "fps": 24, "duration": 0.125, "layers": [{"source": "P"}]}]})");
  Outcome back = Ok({"render", "p.json", "-o", "-", "-f", "raw", "-q"});
  EXPECT_EQ(back.out, raw.out);
}

// The help's footer once, under `tavelo --help`; the log level; the list of
// formats from the table of outputs.
TEST_F(Boundary, HelpLogLevelAndFormats) {
  Outcome help = Tv({"--help"});
  EXPECT_THAT(
      help.out,
      HasSubstr("Exit codes: 0 done, 1 failed, 2 usage, 3 an effect plug-in crashed, 130 interrupted"));
  Outcome sub = Tv({"render", "--help"});
  EXPECT_EQ(sub.out.find("Exit codes"), std::string::npos) << sub.out;
  EXPECT_THAT(sub.out, HasSubstr("--log-level"));
  Write("c.json", kHalf);
  Outcome verbose = Ok({"render", "c.json", "-t", "0", "-o", "v.jpg", "--log-level", "verbose"});
  EXPECT_THAT(
      verbose.err,
      HasSubstr("tavelo: rendering 1 frame of \"C\" (64 x 48) to v.jpg: JPEG, quality 95, 4:4:4, over "
                "the background colour\n"));
  Outcome formats = Ok({"--list-formats"});
  for (const auto& c : tv::outputs::kCodecs) EXPECT_THAT(formats.out, HasSubstr(std::string(c.name)));
  EXPECT_THAT(formats.out, HasSubstr("      prores4444   ap4h ProRes 4444 with alpha, 10-bit       alpha\n"));
  EXPECT_THAT(formats.out, HasSubstr("    mp4        MPEG-4, AAC sound\n"));
  EXPECT_THAT(formats.out, HasSubstr("Reads (footage):\n"));
}

}  // namespace
