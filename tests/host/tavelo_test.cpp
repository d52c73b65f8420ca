// The tavelo command line end to end: the built program is run on the
// example descriptions and on broken ones, and its exit codes, messages and
// output files are checked; a render is interrupted with SIGINT.
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <cstdlib>

#include "tavelo_fixture.h"

namespace {

using namespace tavelo_test;

struct Case {
  std::vector<std::string> args;
  int code;
  std::string message;  // expected in standard error
};

TEST_F(Tavelo, ExitCodesAndMessages) {
  const std::string layered = examples + "/layered.json";
  const std::vector<Case> cases = {
      {{}, 2, ""},
      {{"render"}, 2, "PROJECT is required"},
      {{"render", layered}, 2, "tavelo: give the composition with --comp: the project has \"Spinner\", \"Main\"\n"},
      {{"info", "missing.json"}, 1, "tavelo: cannot open \"missing.json\": no such file\n"},
      {{"info", "missing.tvp"}, 1, "tavelo: cannot open \"missing.tvp\": no such file\n"},
      {{"render", examples + "/bad_description.json", "-c", "Main"},
       1,
       "bad_description.json:5:67: comps[0].layers[0].opacity: expected a number\n"},
      {{"frame", layered, "-c", "Nope", "-t", "0", "-o", "x.png"},
       2,
       "tavelo: no composition named \"Nope\" (the project has \"Spinner\", \"Main\")\n"},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "stdout/x.png"},
       1,
       "tavelo: cannot write \"stdout/x.png\": \"stdout\" is not a folder\n"},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "/proc/none/x.png"},
       1,
       "tavelo: cannot write \"/proc/none/x.png\": cannot make the folder \"/proc/none\": "},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "/proc/x.png"}, 1, "tavelo: cannot write \"/proc/x.png\""},
      {{"frame", layered, "-c", "Main", "-t", "2", "-o", "x.png"}, 2, "is outside the composition (frames 0 to 23)"},
      {{"frame", layered, "-c", "Main", "-t", "1e300", "-o", "x.png"}, 2, "is outside the composition (frames 0 to 23)"},
      {{"frame", layered, "-c", "Main", "-t", "soon", "-o", "x.png"}, 2, "bad time \"soon\""},
      {{"frame", layered, "-c", "Main", "-t", "0x1", "-o", "x.png"}, 2, "bad time \"0x1\""},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "x.gif"}, 2, "cannot tell the format"},
      {{"render", layered, "-c", "Main", "--frames", "5-99"},
       2,
       "tavelo: frames \"5-99\": \"5-99\" goes past the last frame (frames 0 to 23)\n"},
      {{"render", layered, "-c", "Main", "-r", "double"}, 2, "bad resolution \"double\""},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "movie.mp4"}, 2, "`frame` writes one still image"},
      {{"render", layered, "-c", "Main", "-o", "m.mp4", "--reserve"}, 2, "a movie is one file"},
      {{"render", layered, "-c", "Main", "-o", "x.png", "-f", "exr"}, 2, "does not end in .exr"},
      {{"render", layered, "-c", "Main", "-o", "x.png", "--compression", "10"}, 2, "not in range 0 to 9"},
      {{"audio", "missing.json", "-c", "Main", "-o", "a.wav"}, 1, "tavelo: cannot open \"missing.json\": no such file\n"},
      {{"audio", layered, "-c", "Nope", "-o", "a.wav"}, 2, "no composition named \"Nope\""},
      {{"audio", layered, "-c", "Main", "-o", "a.mp3"}, 2, "cannot tell the sound format of \"a.mp3\""},
      {{"audio", layered, "-c", "Main", "-o", "/proc/a.wav"}, 1, "tavelo: cannot write \"/proc/a.wav\""},
      {{"audio", layered, "-c", "Main", "-o", "a.wav", "--bits", "12"}, 2, "--bits must be 16, 24 or 32"},
      {{"audio", layered, "-c", "Main", "-o", "a.wav", "--rate", "44100.5"},
       2,
       "the sound rate must be a whole number of Hz from 1000 to 192000"},
      {{"play", layered, "-c", "Main", "--device", "alsa:no-such-device"}, 1, "cannot play the sound on \"alsa:no-such-device\""},
      {{"keys", "copy"}, 2, "PROJECT is required"},
      {{"keys", "copy", layered, "-c", "Main", "-l", "Nope"}, 2, "no layer named \"Nope\" (the composition has \"Spinner\""},
      {{"keys", "copy", layered, "-c", "Main", "-l", "Wipe", "-s", "Wobble"}, 2, "unknown stream \"Wobble\""},
      {{"keys", "copy", layered, "-c", "Main", "-l", "Backdrop", "--from", "0.5"}, 1, "no keyframes of layer \"Backdrop\""},
      {{"keys", "paste", layered, "-c", "Main", "-l", "Wipe"}, 2, "give -o"},
      {{"plugins", "no-such-folder"}, 1, "plug-in folder \"no-such-folder\" does not exist"},
      {{"build", layered}, 2, "--output is required"},
      {{"sheet", layered, "-c", "Main", "-o", "s.mp4"}, 2, "a contact sheet is a still image"},
      {{"render", layered, "-c", "Main", "-o", "m.mp4", "--codec", "prores"},
       2,
       "tavelo: a .mp4 movie cannot hold prores (it holds h264; use .mov for every codec)\n"},
      {{"render", layered, "-c", "Main", "-o", "m.mkv", "--codec", "rle"}, 2, "a .mkv movie cannot hold animation"},
      {{"render", layered, "-c", "Main", "-o", "m.mp4", "-r", "third"},
       2,
       "tavelo: h264 needs an even width and height, and the frames are 107 x 60 (use --codec prores or png in a "
       ".mov, or frames of such a size)\n"},
      {{"farm", "submit", layered, "-c", "Main", "-o", "f/m.mkv", "-r", "third", "--dry-run"},
       2,
       "h264 needs an even width and height, and the frames are 107 x 60"},
      {{"render", layered, "-c", "Main", "-o", "m.mov", "--codec", "vp9"}, 2, "unknown codec \"vp9\""},
      {{"render", layered, "-c", "Main", "-o", "-", "-f", "mp4"}, 2, "-o - writes a PNG stream, or raw RGBA"},
      {{"render", layered, "-c", "Main", "--log-level", "loud"}, 2, "--log-level: loud not in"},
      {{"render", layered, "-c", "Main", "--memory", "lots"}, 2, "--memory \"lots\" is not a size (such as 512M"},
      {{"--memory", "16M", "info", "--memory"}, 2, "--memory must be at least 32 MiB (\"16M\" is 16 MiB)"},
      {{"info"}, 2, "give a PROJECT, or --memory for the memory budget"},
      {{"--memory", "64M", "info", "--memory", "32M"}, 2, "two memory budgets: --memory 64M and --memory 32M"},
      {{"info", "--memory", "p.tvp"}, 2, "--memory \"p.tvp\" is not a size"},
  };
  for (const Case& c : cases) {
    Outcome r = Tv(c.args);
    const std::string line = Line(c.args);
    EXPECT_EQ(r.code, c.code) << line << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << line << "\n" << r.err;
    EXPECT_TRUE(Files(".").empty() || c.code == 0) << line;  // no partial file left
  }
}

// info --memory prints the budget a size given after it gives, in each way
// of writing it, as when the size comes before the command.
TEST_F(Tavelo, InfoMemoryTakesASize) {
  const std::string before = Ok({"--memory", "64M", "info", "--memory"}).out;
  EXPECT_THAT(before, HasSubstr("memory budget  64 MiB\n  from         set by --memory\n"));
  EXPECT_EQ(Ok({"info", "--memory", "64M"}).out, before);
  EXPECT_EQ(Ok({"info", "--memory=64M"}).out, before);
  EXPECT_EQ(nlohmann::json::parse(Ok({"info", "--memory", "64M", "--json"}).out)["budget"], 64 << 20);
  EXPECT_THAT(Ok({"info", "--memory", "--json"}).out, Not(HasSubstr("67108864")));
}

// A description built to a project file shows the same project and renders
// the same pixels; the pixels of one frame are pinned.
TEST_F(Tavelo, BuildInfoAndFrame) {
  const std::string layered = examples + "/layered.json";
  Outcome b = Ok({"build", layered, "-o", "p.tvp"});
  EXPECT_EQ(b.out, "wrote p.tvp (2 compositions)\n");
  Outcome info = Ok({"info", "p.tvp", "--json"});
  auto j = nlohmann::json::parse(info.out);
  ASSERT_EQ(j["compositions"].size(), 2u);
  const auto& main = j["compositions"][1];
  EXPECT_EQ(main["name"], "Main");
  EXPECT_EQ(main["frames"], 24);
  ASSERT_EQ(main["layers"].size(), 5u);
  // Listed from the top, numbered from 1.
  EXPECT_EQ(main["layers"][0]["number"], 1);
  EXPECT_EQ(main["layers"][0]["source"], "Spinner");
  EXPECT_EQ(main["layers"][0]["motionBlur"], true);
  EXPECT_EQ(main["layers"][1]["visible"], false);
  EXPECT_EQ(main["layers"][2]["trackMatte"], "luma");
  EXPECT_EQ(main["layers"][3]["masks"], 1);
  EXPECT_EQ(main["layers"][4]["number"], 5);
  EXPECT_EQ(main["layers"][4]["effects"][0]["effect"], "Levels");

  Outcome fromProject = Ok({"frame", "p.tvp", "-c", "Main", "-t", "12f", "-o", "a.png", "--digest"});
  Outcome fromDescription = Ok({"frame", layered, "-c", "Main", "-t", "0.5", "-o", "b.png", "--digest"});
  EXPECT_EQ(fromProject.out.substr(0, 16), fromDescription.out.substr(0, 16));
  EXPECT_EQ(Slurp(dir / "a.png"), Slurp(dir / "b.png"));

  Outcome title = Tv({"frame", examples + "/title_card.json", "-c", "Title", "-t", "12f", "-o", "t.png", "--digest"});
  EXPECT_EQ(title.out, "430a0b24c33b4403  t.png\n");
  Outcome half = Tv({"frame", examples + "/title_card.json", "-c", "Title", "-t", "0", "-o", "h.png", "-r", "half"});
  EXPECT_EQ(half.out, "wrote h.png (frame 0, 160 x 90)\n");
}

// Frames rendered by tavelo become footage again: the same pixels come
// back; once the files are gone the project says so and still opens.
TEST_F(Tavelo, FootageSequence) {
  const std::string title = examples + "/title_card.json";
  fs::create_directories(dir / "seq");
  ASSERT_EQ(Tv({"render", title, "-c", "Title", "--frames", "0-3", "-o", "seq/s_####.png"}).code, 0);
  Write("f.json", R"({"footage": [{"name": "S", "file": "seq/s_0000.png", "sequence": true, "fps": 4}],
    "comps": [{"name": "F", "width": 320, "height": 180, "fps": 4, "duration": 1, "layers": [{"source": "S"}]}]})");
  ASSERT_EQ(Tv({"build", "f.json", "-o", "f.tvp"}).code, 0);
  Outcome original = Tv({"frame", title, "-c", "Title", "-t", "3f", "-o", "a.png", "--digest"});
  Outcome again = Tv({"frame", "f.tvp", "-c", "F", "-t", "0.75", "-o", "a.png", "--digest"});
  EXPECT_EQ(again.out, original.out) << again.err;
  Outcome info = Tv({"info", "f.tvp"});
  EXPECT_THAT(info.out, HasSubstr("footage \"s_[#].png\": 320 x 180, " + (dir / "seq/s_0000.png").string() +
                                  " (ok)\n"));
  fs::rename(dir / "seq", dir / "gone");
  EXPECT_THAT(Tv({"info", "f.tvp"}).out, HasSubstr("footage \"s_[#].png\": 320 x 180, " + (dir / "seq/s_0000.png").string() +
                                                   " (missing)\n"));
  info = Tv({"info", "f.tvp", "--json"});
  ASSERT_EQ(info.code, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["footage"][0]["status"], "missing");
  EXPECT_EQ(j["notes"][0], "1 file is missing since you last saved this project.");
}

// A translucent frame rendered to each still format and imported again as
// footage renders as it did: exactly from PNG and TIFF (straight alpha, and
// they say so); from OpenEXR and DPX, which are read as premultiplied, within
// a unit of premultiplied colour. So does a movie assembled from the still.
TEST_F(Tavelo, StillsImportedAgainDrawAsRendered) {
  Write("t.json", R"({"comps": [{"name": "T", "width": 48, "height": 32, "fps": 24, "duration": 1,
    "layers": [{"solid": {"color": "#ff8020", "width": 40, "height": 30}, "opacity": 60,
                "masks": [{"oval": [0, 0, 40, 30], "feather": 9}]},
               {"solid": {"color": "#20c0ff", "width": 48, "height": 12}, "opacity": 30, "rotation": 20}]}]})");
  const std::string want = Ok({"render", "t.json", "--frames", "0", "-f", "raw", "-o", "-", "-q"}).out;
  ASSERT_EQ(want.size(), 48u * 32 * 4);
  // The largest difference of premultiplied colour from the render's.
  const auto worst = [&](const std::string& file) {
    Write("f.json", R"({"footage": [{"name": "S", "file": ")" + file + R"("}],
      "comps": [{"name": "F", "width": 48, "height": 32, "fps": 24, "duration": 1, "layers": [{"source": "S"}]}]})");
    const std::string got = Ok({"render", "f.json", "--frames", "0", "-f", "raw", "-o", "-", "-q"}).out;
    EXPECT_EQ(got.size(), want.size());
    int most = got.size() == want.size() ? 0 : 255;
    for (size_t i = 0; i + 4 <= std::min(got.size(), want.size()); i += 4) {
      const int a = static_cast<uint8_t>(want[i + 3]);
      if (static_cast<uint8_t>(got[i + 3]) != a) most = 255;
      for (size_t c = i; c < i + 3; ++c) {
        const double premul = (static_cast<uint8_t>(got[c]) - static_cast<uint8_t>(want[c])) * a / 255.0;
        most = std::max(most, static_cast<int>(std::ceil(std::abs(premul))));
      }
    }
    return most;
  };
  for (const std::string ext : {"png", "tif", "exr", "dpx"}) {
    SCOPED_TRACE(ext);
    Ok({"render", "t.json", "--frames", "0", "-o", "s_#." + ext, "-q"});
    const int unit = ext == "png" || ext == "tif" ? 0 : 1;
    EXPECT_LE(worst("s_0." + ext), unit);
    Ok({"farm", "assemble", "s_#." + ext, "--frames", "0", "-o", "m.mov", "--codec", "png", "-q"});
    EXPECT_LE(worst("m.mov"), unit);
  }
}

// PNG files at the fast default and at --compression 9 (smaller); a level
// out of 0-9 is a usage error (in ExitCodesAndMessages).
TEST_F(Tavelo, PngCompressionLevel) {
  const std::string title = examples + "/title_card.json";
  Outcome fast = Ok({"render", title, "-c", "Title", "-t", "12f", "-o", "fast.png", "-q"});
  Outcome small =
      Ok({"render", title, "-c", "Title", "-t", "12f", "-o", "small.png", "--compression", "9", "-q"});
  EXPECT_LT(fs::file_size(dir / "small.png"), fs::file_size(dir / "fast.png"));
}

// A whole frame of another renderer is left alone; a frame cut short (not a
// whole PNG) counts as missing and is rendered again.
TEST_F(Tavelo, ReserveLeavesClaimedFramesAlone) {
  const std::string theirs = std::string("\x89PNG\r\n\x1a\nsomeone else's") + std::string(4, '\0') + "IEND\xae\x42\x60\x82";
  Write("r_0002.png", theirs);
  Write("r_0003.png", "\x89PNG\r\n\x1a\ncut short by a full disk");
  const std::vector<std::string> status = {"farm", "status", "--output", "r_####.png", "--frames", "0-4"};
  Outcome before = Tv(status);
  EXPECT_THAT(before.out, HasSubstr("frames 0-4: 1 done, 0 running (reserved), 0 abandoned"));
  EXPECT_THAT(before.out, HasSubstr("missing: 0-1, 3-4"));
  Outcome r = Ok({"render", examples + "/title_card.json", "-c", "Title", "-o", "r_####.png", "--frames",
                  "0-4", "--reserve"});
  EXPECT_EQ(r.out, "wrote 4 frames: r_0000.png .. r_0004.png\n");
  EXPECT_THAT(r.err, HasSubstr("r_0002.png (reserved by another renderer, skipped)"));
  EXPECT_THAT(r.err, HasSubstr("retook the abandoned reservation of r_0003.png"));
  EXPECT_EQ(Slurp(dir / "r_0002.png"), theirs);
  EXPECT_EQ(Files("r_").size(), 5u);
  EXPECT_THAT(Tv(status).out, HasSubstr("frames 0-4: 5 done"));
}

// A composition slow enough to be interrupted mid-render.
constexpr const char* kHeavyComp = R"({"comps": [{"name": "H", "width": 1920, "height": 1080, "duration": 4,
  "motionBlur": true, "layers": [{"solid": {"color": "#336699"}, "motionBlur": true,
    "effects": [{"effect": "Fast Blur", "params": {"Radius": 60}}],
    "position": [{"time": 0, "value": [0, 0]}, {"time": 4, "value": [1900, 1000]}],
    "masks": [{"oval": [0, 0, 1920, 1080], "feather": 80}]}]}]})";

// A heavy composition: Ctrl-C during the render ends it with 130, keeps the
// finished frames and leaves no partial or reserved file.
TEST_F(Tavelo, InterruptKeepsFinishedFrames) {
  Write("heavy.json", kHeavyComp);
  pid_t pid = Start({"render", "heavy.json", "-c", "H", "-o", "h_####.png", "--reserve"});
  AwaitProgress(pid, "h_0001.png was claimed", [&] { return fs::exists(dir / "h_0001.png"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::kill(pid, SIGINT);
  Outcome r = Finish(pid);
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_THAT(r.err, HasSubstr("tavelo: interrupted; "));
  const std::vector<std::string> frames = Files("h_");
  EXPECT_GE(frames.size(), 1u);
  EXPECT_LT(frames.size(), 120u);
  for (const std::string& f : frames) EXPECT_GT(fs::file_size(dir / f), 1000u) << f;  // no empty claim left
  EXPECT_TRUE(Files(".").empty());                                                  // no partial file
}

// SIGTERM during a movie render ends it with 143 (128 + the signal) and
// leaves no movie, whole or partial, behind; an earlier movie of that name
// stays as it was, earlier stills are each the old file or a whole new frame.
TEST_F(Tavelo, InterruptRemovesTheUnfinishedMovie) {
  Write("heavy.json", kHeavyComp);
  pid_t pid = Start({"render", "heavy.json", "-c", "H", "-o", "h.mp4", "--no-sound"});
  AwaitError(pid, "frame 1/");
  ::kill(pid, SIGTERM);
  Outcome r = Finish(pid);
  EXPECT_EQ(r.code, 143) << r.err;
  EXPECT_THAT(r.err, HasSubstr("tavelo: interrupted; the unfinished movie was removed"));
  EXPECT_FALSE(fs::exists(dir / "h.mp4"));
  EXPECT_TRUE(Files(".").empty());  // nor the module's temporary file
  Write("h.mp4", "an earlier movie");
  pid = Start({"render", "heavy.json", "-c", "H", "-o", "h.mp4", "--no-sound"});
  AwaitError(pid, "frame 1/");
  ::kill(pid, SIGINT);
  r = Finish(pid);
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_THAT(r.err, HasSubstr("the unfinished movie was dropped, \"h.mp4\" is as it was"));
  EXPECT_EQ(Slurp(dir / "h.mp4"), "an earlier movie");
  EXPECT_TRUE(Files(".").empty());

  // Over earlier stills: each is the earlier file or a whole new frame.
  for (int f = 0; f < 4; ++f) Write("s_000" + std::to_string(f) + ".png", "an earlier frame");
  pid = Start({"render", "heavy.json", "-c", "H", "-o", "s_####.png", "--frames", "0-3"});
  AwaitError(pid, "frame 1/");
  ::kill(pid, SIGINT);
  r = Finish(pid);
  EXPECT_EQ(r.code, 130) << r.err;
  for (const std::string& f : Files("s_")) {
    const std::string bytes = Slurp(dir / f);
    EXPECT_TRUE(bytes == "an earlier frame" || (bytes.size() > 12 && bytes.compare(bytes.size() - 8, 4, "IEND") == 0))
        << f;
  }
  EXPECT_EQ(Files("s_").size(), 4u);
  EXPECT_TRUE(Files(".").empty());
}

TEST_F(Tavelo, DemoValues) {
  Outcome r = Ok({"demo", "--values-only"});
  EXPECT_THAT(r.out, HasSubstr("check: the project is marked changed ... yes"));
  EXPECT_EQ(r.out.find("NO"), std::string::npos) << r.out;
}

// A little-endian 16-bit PCM WAV file of the samples.
std::string Wav(const std::vector<int16_t>& samples, uint32_t rate, uint16_t channels) {
  std::string out;
  auto put = [&out](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  out += "RIFF";
  put(36 + data, 4);
  out += "WAVEfmt ";
  put(16, 4), put(1, 2), put(channels, 2), put(rate, 4), put(rate * channels * 2, 4), put(channels * 2, 2), put(16, 2);
  out += "data";
  put(data, 4);
  for (int16_t v : samples) put(static_cast<uint16_t>(v), 2);
  return out;
}

struct WavInfo {
  int channels = 0, rate = 0, bits = 0;
  std::string data;
};
WavInfo ReadWav(const std::string& b) {
  WavInfo w;
  auto u = [&b](size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
  };
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return w;
  for (size_t at = 12; at + 8 <= b.size(); at += 8 + ((u(at + 4, 4) + 1) & ~1u)) {
    const std::string id = b.substr(at, 4);
    if (id == "fmt ") {
      w.channels = static_cast<int>(u(at + 10, 2));
      w.rate = static_cast<int>(u(at + 12, 4));
      w.bits = static_cast<int>(u(at + 22, 2));
    } else if (id == "data") {
      w.data = b.substr(at + 8, u(at + 4, 4));
    }
  }
  return w;
}

// A project moved with its footage (another disk or mount point) opens it
// from where it now is, renders alike, and says once that files moved.
TEST_F(Tavelo, AProjectMovedWithItsFootageRendersAlike) {
  fs::create_directories(dir / "job/media");
  Ok({"frame", examples + "/layered.json", "-c", "Main", "-t", "0", "-o", "job/media/plate.png"});
  std::ofstream(dir / "job/d.json") << R"({"footage": [{"name": "Plate", "file": "media/plate.png"}],
    "comps": [{"name": "C", "width": 64, "height": 36, "fps": 24, "duration": 1,
               "layers": [{"source": "Plate", "scale": 20}]},
              {"name": "Outer", "width": 64, "height": 36, "fps": 24, "duration": 1,
               "layers": [{"solid": {"color": "#102030"}}, {"source": "C"}]}]})";
  Ok({"build", "job/d.json", "-o", "job/p.tvp"});
  const std::string before =
      Ok({"frame", "job/p.tvp", "-c", "C", "-t", "0", "-o", "a.png", "--digest"}).out.substr(0, 16);
  fs::create_directories(dir / "elsewhere");
  fs::rename(dir / "job", dir / "elsewhere/job");
  Outcome moved = Ok({"frame", "elsewhere/job/p.tvp", "-c", "C", "-t", "0", "-o", "b.png", "--digest"});
  EXPECT_EQ(moved.out.substr(0, 16), before);
  EXPECT_EQ(moved.err,
            "tavelo: note: some files have changed or moved since you last saved this project.  Save to "
            "incorporate these changes.\n");
  // The footage gone: info says where it was; a plain render shows its
  // placeholder with a note, but a renderer of a shared folder (a farm
  // task, whose finished frames stay) renders nothing, and nothing is
  // submitted to the farm.
  fs::remove(dir / "elsewhere/job/media/plate.png");
  const std::string plate = fs::absolute(dir / "job/media/plate.png").lexically_normal().string();
  const std::string job = "elsewhere/job/p.tvp";
  EXPECT_THAT(Ok({"info", job}).out, HasSubstr("footage \"plate.png\": 320 x 180, " + plate + " (missing)\n"));
  Ok({"frame", job, "-c", "C", "-t", "0", "-o", "c.png", "-q"});
  Outcome farm = Tv({"render", job, "-c", "Outer", "-o", "shared/f_#.png", "--frames", "0-2", "--reserve"});
  EXPECT_EQ(farm.code, 1);
  EXPECT_EQ(farm.err, "tavelo: note: 1 file is missing since you last saved this project.\n"
                      "tavelo: footage is missing: \"plate.png\" (" + plate + "); a frame rendered with a "
                      "placeholder would stay in the shared folder, so none is rendered\n");
  EXPECT_FALSE(fs::exists(dir / "shared"));
  Outcome submit = Tv({"farm", "submit", job, "-c", "Outer", "-o", "farm/f_#.png", "--dry-run"});
  EXPECT_EQ(submit.code, 1);
  EXPECT_THAT(submit.err, HasSubstr("footage is missing: \"plate.png\" (" + plate + "); the farm's tasks would "
                                    "refuse to render it\n"));
}

// At 29.97 fps a frame's time (as printed to the tenth of a microsecond)
// names that frame, not the one before it.
TEST_F(Tavelo, FrameTimesOf29_97NameTheirFrames) {
  Write("n.json", R"({"comps": [{"name": "N", "width": 8, "height": 8, "fps": 29.97, "duration": 2,
    "layers": [{"solid": {"color": "#ff0000"}, "opacity": [{"time": 0.0333667, "value": 10},
      {"time": 0.0667333, "value": 20}, {"time": 0.1001, "value": 30}]}]}]})");
  for (const auto& [time, frame] : {std::pair{"0.0667333", 2}, {"0.0667", 1}, {"0.1001", 3}, {"0.9676333", 29}})
    EXPECT_EQ(Ok({"frame", "n.json", "-t", time, "-o", "f.png"}).out,
              "wrote f.png (frame " + std::to_string(frame) + ", 8 x 8)\n") << time;
  const std::string keys = Ok({"keys", "copy", "n.json", "-l", "1", "--from", "0.0333667", "--to", "0.0667333"}).out;
  EXPECT_THAT(keys, HasSubstr("\tFrame\tpercent\t\r\n\t1\t10\t\r\n\t2\t20\t\r\n\r\n")) << keys;
  // The rate info tells is the frames' (frame 1000 at 1000 / fps seconds).
  const nlohmann::json comp = nlohmann::json::parse(Ok({"info", "n.json", "--json"}).out)["compositions"][0];
  EXPECT_EQ(comp["fps"].get<double>(), 30000.0 / 1001);
  EXPECT_EQ(Ok({"info", "n.json"}).out.substr(0, 59),
            "n.json\ncomposition \"N\": 8 x 8, 29.97 fps, 2 s (59 frames), ");
}

// A one-second composition whose only layer is half a second of sound.
void WriteSoundDescription(const fs::path& dir) {
  std::vector<int16_t> samples(48000);  // 24000 stereo frames
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 37) % 20000) - 10000;
  std::ofstream(dir / "t.wav", std::ios::binary) << Wav(samples, 48000, 2);
  std::ofstream(dir / "s.json") << R"({"footage": [{"name": "T", "file": "t.wav"}],
    "comps": [{"name": "S", "width": 16, "height": 16, "fps": 24, "duration": 1,
               "layers": [{"solid": {"color": "#204060"}}, {"source": "T"}]}]})";
}

// The sound a composition renders is its footage's samples, then silence;
// `play` on a file output plays the same samples.
TEST_F(Tavelo, AudioAndPlay) {
  WriteSoundDescription(dir);
  Outcome a = Ok({"audio", "s.json", "-c", "S", "-o", "a.wav"});
  EXPECT_EQ(a.out, "wrote a.wav (1.00 s, 48000 sample frames, 48000 Hz, stereo, 16-bit)\n");
  const WavInfo w = ReadWav(Slurp(dir / "a.wav"));
  EXPECT_EQ(std::tie(w.channels, w.rate, w.bits), std::tuple(2, 48000, 16));
  ASSERT_EQ(w.data.size(), 48000u * 4);
  EXPECT_EQ(w.data.substr(0, 96000), Slurp(dir / "t.wav").substr(44));
  EXPECT_EQ(w.data.substr(96000), std::string(96000, '\0'));
  // Sound has no picture: no size to tell.
  Outcome info = Tv({"info", "s.json"});
  EXPECT_THAT(info.out, HasSubstr(": sound only, "));
  // So has a song that the movie module reads (it also reads pictures).
  ASSERT_EQ(::system(("cd '" + dir.string() + "' && ffmpeg -nostdin -v error -i t.wav -c:a aac t.m4a").c_str()), 0);
  std::ofstream(dir / "m.json") << R"({"footage": [{"name": "T", "file": "t.m4a"}],
    "comps": [{"name": "S", "width": 16, "height": 16, "fps": 24, "duration": 1, "layers": [{"source": "T"}]}]})";
  EXPECT_THAT(Tv({"info", "m.json"}).out, HasSubstr("footage \"t.m4a\": sound only, "));

  Outcome m =
      Ok({"audio", "s.json", "-c", "S", "-o", "m.wav", "--rate", "24000", "--channels", "1", "--bits", "24"});
  const WavInfo mono = ReadWav(Slurp(dir / "m.wav"));
  EXPECT_EQ(std::tie(mono.channels, mono.rate, mono.bits), std::tuple(1, 24000, 24));
  EXPECT_EQ(mono.data.size(), 24000u * 3);
  // 32 bits are floats of full scale 1: each the 16-bit sample over 32768.
  Ok({"audio", "s.json", "-c", "S", "-o", "f.wav", "--bits", "32"});
  const WavInfo f = ReadWav(Slurp(dir / "f.wav"));
  EXPECT_EQ(std::tie(f.channels, f.rate, f.bits), std::tuple(2, 48000, 32));
  ASSERT_EQ(f.data.size(), 48000u * 8);
  for (size_t i : {size_t{0}, size_t{1}, size_t{4321}, size_t{47999}}) {
    int16_t s16;
    float s32;
    std::memcpy(&s16, w.data.data() + 2 * i, 2);
    std::memcpy(&s32, f.data.data() + 4 * i, 4);
    EXPECT_EQ(s32, s16 / 32768.0f) << "sample " << i;
  }
  // Files of more than 16 bits are mixed deeper: a layer 20 dB down keeps
  // the bits its level moves below the 16-bit ones.
  std::ofstream(dir / "q.json") << R"({"footage": [{"name": "T", "file": "t.wav"}],
    "comps": [{"name": "Q", "width": 16, "height": 16, "fps": 24, "duration": 1,
               "layers": [{"source": "T", "audioLevels": -20}]}]})";
  Ok({"audio", "q.json", "-o", "q.wav", "--bits", "24"});
  const WavInfo q = ReadWav(Slurp(dir / "q.wav"));
  ASSERT_EQ(q.data.size(), 48000u * 6);
  double worst = 0;
  for (size_t i = 0; i < 48000; ++i) {
    int16_t s16;
    std::memcpy(&s16, w.data.data() + 2 * i, 2);
    const auto* b = reinterpret_cast<const uint8_t*>(q.data.data() + 3 * i);
    const int32_t s24 = static_cast<int32_t>(uint32_t{b[0]} << 8 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 24) >> 8;
    worst = std::max(worst, std::fabs(s24 - s16 * 25.6));
  }
  EXPECT_LT(worst, 2.0) << "24-bit units";

  ::setenv("TAVELO_AUDIO_OUTPUT", ("file:" + (dir / "p.wav").string()).c_str(), 1);
  Outcome p = Ok({"play", "s.json", "-c", "S", "-q"});
  ::unsetenv("TAVELO_AUDIO_OUTPUT");
  EXPECT_EQ(p.out, "played 1.00 s, 48000 sample frames, 48000 Hz, stereo on file:" + (dir / "p.wav").string() + "\n");
  EXPECT_EQ(ReadWav(Slurp(dir / "p.wav")).data, w.data);
  Outcome n = Ok({"play", "s.json", "-c", "S", "--device", "null"});
  EXPECT_THAT(n.err, HasSubstr("playing \"S\" on null"));
}

// Keyframes copied as text paste onto another layer: copied again from
// there they give the same keyframe lines.
TEST_F(Tavelo, KeysCopyPasteRoundTrip) {
  const std::string layered = examples + "/layered.json";
  Outcome c =
      Ok({"keys", "copy", layered, "-c", "Main", "-l", "Spinner", "-s", "Position", "-s", "rotation"});
  Write("k.txt", c.out);
  EXPECT_THAT(c.out, HasSubstr("\r\n"));
  Outcome p = Ok({"keys", "paste", layered, "-c", "Main", "-l", "3", "-o", "p.tvp"}, "k.txt");
  EXPECT_EQ(p.out, "pasted 2 streams onto layer \"Text Plate\" at 0.000 s; wrote p.tvp\n");
  Outcome again =
      Ok({"keys", "copy", "p.tvp", "-c", "Main", "-l", "Text Plate", "-s", "Position", "-s", "Rotation"});
  // The header names the source's size, which differs; the keys do not.
  auto keys = [](const std::string& t) { return t.substr(t.find("\r\nPosition")); };
  EXPECT_EQ(keys(again.out), keys(c.out));

  Outcome late =
      Ok({"keys", "copy", layered, "-c", "Main", "-l", "Spinner", "-s", "Position", "--from", "12f"});
  EXPECT_LT(late.out.size(), c.out.size());
  Write("junk.txt", "hello\n");
  Outcome junk = Tv({"keys", "paste", layered, "-c", "Main", "-l", "Wipe", "-o", "j.tvp"}, "junk.txt");
  EXPECT_EQ(junk.code, 1);
  EXPECT_THAT(junk.err, HasSubstr("standard input holds no keyframe text"));
}

// Frames 40 wide (22 high) two to a row, each with its label ("0  0:00.00",
// "12  0:00.50") drawn under it in the bitmap font.
TEST_F(Tavelo, ContactSheet) {
  Outcome r = Ok({"sheet", examples + "/title_card.json", "-o", "s.png", "--every", "8", "--columns", "2",
                  "--width", "40", "-q"});
  EXPECT_EQ(r.out, "wrote s.png (3 frames, 92 x 78)\n");
  r = Tv({"sheet", examples + "/title_card.json", "-o", "t.png", "--frames", "0,12", "--columns", "2", "--width",
          "40", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "wrote t.png (2 frames, 92 x 41)\n");
  if (::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_EQ(::system(("cd '" + dir.string() + "' && ffmpeg -v error -i t.png -f rawvideo -pix_fmt rgba t.rgba").c_str()), 0);
  const std::string px = Slurp(dir / "t.rgba");
  ASSERT_EQ(px.size(), 92u * 41 * 4);
  auto at = [&](int x, int y) { return static_cast<uint8_t>(px[(static_cast<size_t>(y) * 92 + x) * 4]); };
  const int top = 4 + 22 + 2;  // the labels' first row
  // '0' lights columns 1-3 of its first row; '1' column 2 (the next cell starts at 48).
  EXPECT_EQ(at(4 + 0, top), 24);
  EXPECT_EQ(at(4 + 1, top), 220);
  EXPECT_EQ(at(48 + 1, top), 24);
  EXPECT_EQ(at(48 + 2, top), 220);
}

// Frames are laid out as they are seen: a circle on pixels twice as wide
// (an oval 50 x 100 pixels) stays a circle, 50 across and 50 down in a
// frame 200 x 50. A sheet too large to write is refused before any frame
// is rendered.
TEST_F(Tavelo, ContactSheetOfWidePixels) {
  Write("a.json", R"({"comps": [{"name": "C", "width": 200, "height": 100, "fps": 24, "duration": 1,
    "pixelAspect": 2, "layers": [{"solid": {"color": "#ff0000", "width": 50, "height": 100},
    "masks": [{"oval": [0, 0, 50, 100]}]}]}]})");
  Outcome r = Ok({"sheet", "a.json", "-o", "a.png", "--frames", "0", "--width", "200", "-q"});
  EXPECT_EQ(r.out, "wrote a.png (1 frame, 208 x 69)\n");
  r = Tv({"sheet", "a.json", "-o", "b.png", "--frames", "0-23", "--columns", "64", "--width", "4096"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err,
            "tavelo: the sheet would be 98404 x 1043 pixels, more than 30000 a side; give a smaller "
            "--width, fewer --columns or fewer frames\n");
  if (::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  ASSERT_EQ(
      ::system(
          ("cd '" + dir.string() + "' && ffmpeg -v error -i a.png -f rawvideo -pix_fmt rgba a.rgba").c_str()),
      0);
  const std::string px = Slurp(dir / "a.rgba");
  ASSERT_EQ(px.size(), 208u * 69 * 4);
  auto red = [&](int x, int y) {
    return static_cast<uint8_t>(px[(static_cast<size_t>(y) * 208 + x) * 4]) > 128;
  };
  int across = 0, down = 0;
  for (int x = 0; x < 208; ++x) across += red(x, 4 + 25);
  for (int y = 0; y < 69; ++y) down += red(104, y);
  EXPECT_EQ(across, 50);
  EXPECT_EQ(down, 50);
}

// The default folders in their order: TAVELO_PLUGIN_PATH (a missing folder,
// then one named twice), then the user's; the first copy of an effect wins
// and the later one is reported.
TEST_F(Tavelo, PluginFoldersAreSearchedInOrder) {
  const fs::path plugin = fs::path(TAVELO_TEST_PLUGINS) / "sample_effect.tvx";
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "xdg/tavelo/plug-ins");
  fs::copy_file(plugin, dir / "a/sample_effect.tvx");
  fs::copy_file(plugin, dir / "xdg/tavelo/plug-ins/sample_effect.tvx");
  const std::string a = (dir / "a").string();
  ::setenv("TAVELO_PLUGIN_PATH", ((dir / "missing").string() + ":" + a + "::" + a + "/").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir / "xdg").c_str(), 1);
  Outcome r = Ok({"plugins"});
  Outcome render = Tv({"frame", examples + "/layered.json", "-c", "Main", "-t", "0", "-o", "f.png"});
  ::unsetenv("TAVELO_PLUGIN_PATH");
  ::unsetenv("XDG_DATA_HOME");
  const std::string expected = "plug-in folders, in the order they are searched:\n  " + (dir / "missing").string() +
                               " (TAVELO_PLUGIN_PATH): not there\n  " + a +
                               " (TAVELO_PLUGIN_PATH): 1 effect\n    Sample Effect                (match name";
  EXPECT_THAT(r.out, HasSubstr(expected));
  const size_t xdg = r.out.find("  " + (dir / "xdg/tavelo/plug-ins").string() + " (XDG_DATA_HOME): 0 effects\n");
  EXPECT_NE(xdg, std::string::npos) << r.out;
  EXPECT_NE(r.out.find("multiple copies of plug-in effect", xdg), std::string::npos) << r.out;
  EXPECT_THAT(r.out, HasSubstr("(installation): not there"));
  // Every command searches them; the copy is a note, not a failure.
  EXPECT_EQ(render.code, 0) << render.err;
  EXPECT_THAT(render.err, HasSubstr("multiple copies of plug-in effect"));
}

// A file-size limit (ulimit -f) makes every writer fail with the disk's
// reason; the file that had the name stays and no temporary is left.
TEST_F(Tavelo, AFileSizeLimitFailsTheWriteAndKeepsTheOldFile) {
  WriteSoundDescription(dir);
  const std::string title = examples + "/title_card.json";
  const std::vector<std::pair<std::vector<std::string>, std::string>> jobs = {
      {{"frame", title, "-c", "Title", "-t", "0", "-o", "f.png"}, "f.png"},
      {{"frame", title, "-c", "Title", "-t", "0", "-o", "f.jpg"}, "f.jpg"},
      {{"render", "s.json", "-c", "S", "-o", "m.mp4", "-q"}, "m.mp4"},
      {{"audio", "s.json", "-c", "S", "-o", "a.wav", "-q"}, "a.wav"},
      {{"build", title, "-o", "p.tvp"}, "p.tvp"},
  };
  for (const auto& [args, file] : jobs) {
    Write(file, "the earlier file");
    const Outcome r = Finish(Start(args, {}, 400));
    EXPECT_EQ(r.code, 1) << file << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr("disk is full")) << file << "\n" << r.err;
    EXPECT_EQ(Slurp(dir / file), "the earlier file") << file;
    EXPECT_TRUE(Files(".").empty()) << file;
  }
}

// `tavelo build` stopped before it saves: it says so and the earlier file
// of that name stays.
TEST_F(Tavelo, BuildStoppedBeforeSavingKeepsTheFile) {
  Write("p.tvp", "the earlier file");
  interruptAtStart = true;
  const Outcome r = Tv({"build", examples + "/title_card.json", "-o", "p.tvp"});
  EXPECT_EQ(r.code, 130);
  EXPECT_EQ(r.err, "tavelo: interrupted; \"p.tvp\" was not written\n");
  EXPECT_EQ(Slurp(dir / "p.tvp"), "the earlier file");
  EXPECT_TRUE(Files(".").empty());
}

// A named pipe opened as a project, a description, footage or a plug-in is
// refused at once with a clear message, never waited on.
TEST_F(Tavelo, NamedPipesAreRefusedAtOnce) {
  for (const char* name : {"pipe.json", "pipe.tvp", "f.png"}) ASSERT_EQ(::mkfifo((dir / name).c_str(), 0644), 0);
  fs::create_directories(dir / "pl");
  ASSERT_EQ(::mkfifo((dir / "pl/x.tvx").c_str(), 0644), 0);
  Write("foot.json", R"({"footage": [{"name": "F", "file": "f.png"}],
    "comps": [{"name": "C", "width": 8, "height": 8, "duration": 1, "layers": [{"source": "F"}]}]})");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"info", "pipe.json"}, "cannot open \"pipe.json\": it is a named pipe (FIFO), not a file"},
      {{"info", "pipe.tvp"}, "cannot open \"pipe.tvp\": it is a named pipe (FIFO), not a file"},
      {{"info", "foot.json"}, "file 'f.png' cannot be imported -- it is a named pipe (FIFO), not a file"},
      {{"plugins", "pl"}, "x.tvx\": it is a named pipe (FIFO), not a file"},
  };
  for (const auto& [args, message] : cases) {
    const Outcome r = FinishWithin(Start(args), 20);
    EXPECT_NE(r.code, -1) << args[1] << ": " << r.err;
    EXPECT_NE((r.out + r.err).find(message), std::string::npos) << args[1] << ":\n" << r.out << r.err;
  }
}

// A folder where a file is read or written is named as such at once, never
// reported as a disk error after the frames were rendered.
TEST_F(Tavelo, FoldersWhereFilesGoAreRefusedAtOnce) {
  for (const char* name : {"out.png", "out.wav", "out.tvp", "in"}) fs::create_directories(dir / name);
  Write("foot.json", R"({"footage": [{"name": "F", "file": "in"}],
    "comps": [{"name": "C", "width": 8, "height": 8, "duration": 1, "layers": [{"source": "F"}]}]})");
  const std::string motion = examples + "/motion.json";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"frame", motion, "-c", "Loop", "-t", "0", "-o", "out.png"},
       "tavelo: cannot write \"out.png\": it is a folder\n"},
      {{"sheet", motion, "-c", "Loop", "-o", "out.png"},
       "tavelo: cannot write \"out.png\": it is a folder\n"},
      {{"audio", motion, "-c", "Loop", "-o", "out.wav"},
       "tavelo: cannot write \"out.wav\": it is a folder\n"},
      {{"build", motion, "-o", "out.tvp"}, "tavelo: cannot write \"out.tvp\": it is a folder\n"},
      {{"info", "foot.json"},
       "tavelo: foot.json:1:36: footage[0].file: \"" + (dir / "in").string() +
           "\" is a folder, not a file (a numbered sequence is named by one of its files)\n"},
  };
  for (const auto& [args, message] : cases) {
    const Outcome r = Tv(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_EQ(r.err, message) << args[0];
  }
  for (const char* name : {"out.png", "out.wav", "out.tvp"}) EXPECT_TRUE(fs::is_empty(dir / name)) << name;
}

// A plug-in that crashes while it renders: the report names the plug-in,
// the effect, the layer and the frame; exit 3; the earlier output stays.
TEST_F(Tavelo, APluginCrashIsReported) {
  Write("c.json", R"({"comps": [{"name": "C", "width": 8, "height": 8, "duration": 1,
    "layers": [{"name": "Plate", "solid": {"color": "#336699"}, "effects": [{"effect": "Crash Test"}]}]}]})");
  Write("c.png", "the earlier file");
  for (const char* how : {"segv", "abort"}) {
    ::setenv("TV_SAMPLE_CRASH", how, 1);
    const Outcome r = Tv({"frame", "c.json", "-c", "C", "-t", "0", "-o", "c.png", "--plugins", TAVELO_CRASH_PLUGINS});
    ::unsetenv("TV_SAMPLE_CRASH");
    EXPECT_EQ(r.code, 3) << r.err;
    for (const std::string& line :
         {std::string("tavelo: crashed on SIG"), "tavelo:   plug-in: " + fs::path(TAVELO_CRASH_PLUGINS).string() +
                                                  "/sample_crash.tvx\n",
          std::string("tavelo:   effect: Crash Test\n"), std::string("tavelo:   layer: \"Plate\" in \"C\"\n"),
          std::string("tavelo:   frame: 0 (0.000 s)\n"), std::string("the effect plug-in crashed")})
      EXPECT_THAT(r.err, HasSubstr(line)) << line << "\n" << r.err;
    EXPECT_EQ(Slurp(dir / "c.png"), "the earlier file");
    EXPECT_TRUE(Files(".").empty());
  }
}

}  // namespace
