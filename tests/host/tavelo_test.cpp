// The tavelo command line end to end: the built program is run on the
// example descriptions and on broken ones, and its exit codes, messages and
// output files are checked; a render is interrupted with SIGINT; a render
// split with --frames gives the same files as one render.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Tavelo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tavelo_test_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Starts the program with its outputs going to files in the test folder.
  pid_t Start(const std::vector<std::string>& args) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::chdir(dir.c_str());
      int out = ::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv;
      std::string bin = TAVELO_BIN;
      argv.push_back(bin.data());
      std::vector<std::string> copy = args;
      for (std::string& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(bin.c_str(), argv.data());
      ::_exit(127);
    }
    return pid;
  }
  Outcome Finish(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = Slurp(dir / "stdout");
    r.err = Slurp(dir / "stderr");
    return r;
  }
  Outcome Tv(const std::vector<std::string>& args) { return Finish(Start(args)); }

  fs::path Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
  }
  std::vector<std::string> Files(const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
  const std::string examples = TAVELO_EXAMPLES;
};

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
      {{"render", layered}, 2, "--comp is required"},
      {{"info", "missing.json"}, 1, "tavelo: cannot open \"missing.json\": no such file\n"},
      {{"info", "missing.tvp"}, 1, "tavelo: cannot open \"missing.tvp\": no such file\n"},
      {{"render", examples + "/bad_description.json", "-c", "Main"},
       1,
       "bad_description.json: comps[0].layers[0].opacity: expected a number\n"},
      {{"frame", layered, "-c", "Nope", "-t", "0", "-o", "x.png"},
       1,
       "tavelo: no composition named \"Nope\" (the project has \"Spinner\", \"Main\")\n"},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "no/such/folder/x.png"},
       1,
       "cannot write \"no/such/folder/x.png\": \"no/such/folder\" is not a folder"},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "/proc/x.png"}, 1, "tavelo: cannot write \"/proc/x.png\""},
      {{"frame", layered, "-c", "Main", "-t", "2", "-o", "x.png"}, 2, "is outside the composition (frames 0 to 23)"},
      {{"frame", layered, "-c", "Main", "-t", "soon", "-o", "x.png"}, 2, "bad time \"soon\""},
      {{"frame", layered, "-c", "Main", "-t", "0", "-o", "x.gif"}, 2, "cannot tell the format"},
      {{"render", layered, "-c", "Main", "--frames", "5-99"}, 2, "frame range \"5-99\" is outside"},
      {{"render", layered, "-c", "Main", "--frames", "3-1"}, 2, "frame range \"3-1\" is outside"},
      {{"render", layered, "-c", "Main", "-r", "double"}, 2, "bad resolution \"double\""},
      {{"render", layered, "-c", "Main", "-o", "movie.mp4"}, 1, "movie output (mp4) is not available in this build"},
      {{"render", layered, "-c", "Main", "-o", "x.png", "-f", "exr"}, 2, "does not end in .exr"},
      {{"audio", layered, "--comp", "Main", "-o", "a.wav"}, 1, "audio rendering is not available in this build"},
      {{"play", layered, "--comp", "Main"}, 1, "sound output is not available in this build"},
      {{"keys", "copy"}, 1, "the keyframe clipboard is not available in this build"},
      {{"plugins", "no-such-folder"}, 1, "plug-in folder \"no-such-folder\" does not exist"},
      {{"build", layered}, 2, "--output is required"},
  };
  for (const Case& c : cases) {
    Outcome r = Tv(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(r.code, c.code) << line << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "\n" << r.err;
    EXPECT_TRUE(Files(".").empty() || c.code == 0) << line;  // no partial file left
  }
}

// Broken descriptions: each message names the file, the JSON path and the fault.
TEST_F(Tavelo, DescriptionErrorsNameTheirPath) {
  const std::string comp = R"("name": "C", "width": 8, "height": 8, "duration": 1)";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"comps\": [{" + comp + ",\n \"layers\": [}]}", "d.json: line 2, column 13: not valid JSON"},
      {R"({"comps": []})", "d.json: comps: a project needs at least one composition"},
      {R"({"comps": [{"width": 8, "height": 8, "duration": 1}]})", "d.json: comps[0]: \"name\" is missing"},
      {R"({"comps": [{)" + comp + R"(, "fps": "fast"}]})", "d.json: comps[0].fps: expected a number"},
      {R"({"comps": [{)" + comp + R"(, "widht": 3}]})", "d.json: comps[0].widht: unknown key"},
      {R"({"comps": [{)" + comp + R"(}, {)" + comp + R"(}]})", "d.json: comps[1].name: the name \"C\" is used twice"},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"solid": {"color": "red"}}]}]})",
       "d.json: comps[0].layers[0].solid.color: expected a colour \"#rrggbb\" or \"#aarrggbb\""},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"source": "Elsewhere"}]}]})",
       "d.json: comps[0].layers[0].source: no footage or composition named \"Elsewhere\""},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"source": "C"}]}]})",
       "d.json: comps[0].layers[0].source: \"C\" cannot be a layer here"},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"solid": {"color": "#fff000"}, "position": [1, 2, 3]}]}]})",
       "d.json: comps[0].layers[0].position: expected a list of 2 numbers"},
      {R"({"comps": [{)" + comp +
           R"(, "layers": [{"solid": {"color": "#fff000"}, "opacity": [{"time": 0, "value": 1}, {"time": 0, "value": 2}]}]}]})",
       "d.json: comps[0].layers[0].opacity[1].time: two keyframes at 0 s"},
      {R"({"comps": [{)" + comp +
           R"(, "layers": [{"solid": {"color": "#fff000"}, "rotation": [{"time": 0, "value": 1, "interpolation": "smooth"}]}]}]})",
       "d.json: comps[0].layers[0].rotation[0].interpolation: \"smooth\" is not one of linear, bezier, hold"},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"solid": {"color": "#fff000"}, "effects": [{"effect": "Sparkle"}]}]}]})",
       "d.json: comps[0].layers[0].effects[0].effect: no effect named \"Sparkle\""},
      {R"({"comps": [{)" + comp +
           R"(, "layers": [{"solid": {"color": "#fff000"}, "effects": [{"effect": "Fast Blur", "params": {"Size": 2}}]}]}]})",
       "d.json: comps[0].layers[0].effects[0].params.Size: the effect has no parameter \"Size\" (it has \"Radius\")"},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"solid": {"color": "#fff000"}, "masks": [{"oval": [4, 4, 2, 2]}]}]}]})",
       "d.json: comps[0].layers[0].masks[0].oval: left must be less than right"},
      {R"({"comps": [{)" + comp + R"(, "layers": [{"solid": {"color": "#fff000"}, "masks": [{"path": [[0, 0], [4, 4]]}]}]}]})",
       "d.json: comps[0].layers[0].masks[0].path: a path needs at least 3 points"},
      {R"({"footage": [{"name": "F", "file": "nothing.png"}], "comps": [{)" + comp + "}]}",
       "d.json: footage[0].file: no file"},
  };
  for (const auto& [text, message] : cases) {
    Write("d.json", text);
    Outcome r = Tv({"info", "d.json"});
    EXPECT_EQ(r.code, 1) << text;
    EXPECT_NE(r.err.find(message), std::string::npos) << text << "\n" << r.err;
  }
}

// A description built to a project file shows the same project and renders
// the same pixels; the pixels of one frame are pinned.
TEST_F(Tavelo, BuildInfoAndFrame) {
  const std::string layered = examples + "/layered.json";
  Outcome b = Tv({"build", layered, "-o", "p.tvp"});
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_EQ(b.out, "wrote p.tvp (2 composition(s))\n");
  Outcome info = Tv({"info", "p.tvp", "--json"});
  ASSERT_EQ(info.code, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  ASSERT_EQ(j["compositions"].size(), 2u);
  const auto& main = j["compositions"][1];
  EXPECT_EQ(main["name"], "Main");
  EXPECT_EQ(main["frames"], 24);
  ASSERT_EQ(main["layers"].size(), 5u);
  EXPECT_EQ(main["layers"][0]["effects"][0]["effect"], "Levels");
  EXPECT_EQ(main["layers"][1]["masks"], 1);
  EXPECT_EQ(main["layers"][2]["trackMatte"], "luma");
  EXPECT_EQ(main["layers"][3]["visible"], false);
  EXPECT_EQ(main["layers"][4]["source"], "Spinner");
  EXPECT_EQ(main["layers"][4]["motionBlur"], true);

  Outcome fromProject = Tv({"frame", "p.tvp", "-c", "Main", "-t", "12f", "-o", "a.png", "--digest"});
  Outcome fromDescription = Tv({"frame", layered, "-c", "Main", "-t", "0.5", "-o", "b.png", "--digest"});
  ASSERT_EQ(fromProject.code, 0) << fromProject.err;
  ASSERT_EQ(fromDescription.code, 0) << fromDescription.err;
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
  EXPECT_NE(info.out.find("footage \"s_[#].png\": 320 x 180, " + (dir / "seq/s_0000.png").string() + " (ok)\n"),
            std::string::npos)
      << info.out;
  fs::rename(dir / "seq", dir / "gone");
  info = Tv({"info", "f.tvp", "--json"});
  ASSERT_EQ(info.code, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["footage"][0]["status"], "missing");
  EXPECT_EQ(j["notes"][0], "1 file is missing since you last saved this project.");
}

TEST_F(Tavelo, SplitRenderGivesTheSameFiles) {
  const std::string title = examples + "/title_card.json";
  Outcome whole = Tv({"render", title, "-c", "Title", "-o", "one_###.png", "-q"});
  ASSERT_EQ(whole.code, 0) << whole.err;
  EXPECT_EQ(whole.out, "wrote 24 frames: one_000.png .. one_023.png\n");
  EXPECT_EQ(whole.err, "");
  Outcome a = Tv({"render", title, "-c", "Title", "-o", "two_###.png", "--frames", "0-9"});
  Outcome b = Tv({"render", title, "-c", "Title", "-o", "two_###.png", "--frames", "10-23"});
  ASSERT_EQ(a.code, 0) << a.err;
  ASSERT_EQ(b.code, 0) << b.err;
  EXPECT_NE(a.err.find("frame 10/10 two_009.png\n"), std::string::npos) << a.err;  // plain lines off a terminal
  ASSERT_EQ(Files("one_").size(), 24u);
  ASSERT_EQ(Files("two_").size(), 24u);
  for (int f = 0; f < 24; ++f) {
    char n[16];
    std::snprintf(n, sizeof n, "_%03d.png", f);
    EXPECT_EQ(Slurp(dir / ("one" + std::string(n))), Slurp(dir / ("two" + std::string(n)))) << f;
  }
}

TEST_F(Tavelo, ReserveLeavesClaimedFramesAlone) {
  Write("r_0002.png", "someone else's");
  Outcome r = Tv({"render", examples + "/title_card.json", "-c", "Title", "-o", "r_####.png", "--frames", "0-4",
              "--reserve"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "wrote 4 frames: r_0000.png .. r_0004.png\n");
  EXPECT_NE(r.err.find("r_0002.png (reserved by another renderer, skipped)"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(dir / "r_0002.png"), "someone else's");
  EXPECT_EQ(Files("r_").size(), 5u);
}

// A heavy composition: Ctrl-C during the render ends it with 130, keeps the
// finished frames and leaves no partial or reserved file.
TEST_F(Tavelo, InterruptKeepsFinishedFrames) {
  Write("heavy.json", R"({"comps": [{"name": "H", "width": 1920, "height": 1080, "duration": 4, "motionBlur": true,
    "layers": [{"solid": {"color": "#336699"}, "motionBlur": true,
      "effects": [{"effect": "Fast Blur", "params": {"Radius": 60}}],
      "position": [{"time": 0, "value": [0, 0]}, {"time": 4, "value": [1900, 1000]}],
      "masks": [{"oval": [0, 0, 1920, 1080], "feather": 80}]}]}]})");
  pid_t pid = Start({"render", "heavy.json", "-c", "H", "-o", "h_####.png", "--reserve"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!fs::exists(dir / "h_0001.png") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::kill(pid, SIGINT);
  Outcome r = Finish(pid);
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_NE(r.err.find("tavelo: interrupted; "), std::string::npos) << r.err;
  const std::vector<std::string> frames = Files("h_");
  EXPECT_GE(frames.size(), 1u);
  EXPECT_LT(frames.size(), 120u);
  for (const std::string& f : frames) EXPECT_GT(fs::file_size(dir / f), 1000u) << f;  // no empty claim left
  EXPECT_TRUE(Files(".").empty());                                                  // no partial file
}

TEST_F(Tavelo, PluginsSaysWhatAScanFound) {
  Outcome all = Tv({"plugins"});
  ASSERT_EQ(all.code, 0);
  EXPECT_NE(all.out.find("  Fast Blur                    (match name \"TVLO Fast Blur\")\n"), std::string::npos);
  fs::create_directories(dir / "pl");
  fs::copy_file(fs::path(TAVELO_TEST_PLUGINS) / "sample_effect.tvx", dir / "pl" / "sample_effect.tvx");
  Write("pl/junk.tvx", "not a library");
  Outcome scan = Tv({"plugins", "pl"});
  ASSERT_EQ(scan.code, 0) << scan.err;
  EXPECT_NE(scan.out.find("effects found in " + (dir / "pl").string() + ": 1\n  Sample Effect"), std::string::npos)
      << scan.out;
  EXPECT_NE(scan.out.find("skipped:\n  plug-in \"" + (dir / "pl/junk.tvx").string() + "\" skipped: not an ELF library"),
            std::string::npos)
      << scan.out;
}

TEST_F(Tavelo, DemoValues) {
  Outcome r = Tv({"demo", "--values-only"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("check: the project is marked changed ... yes"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("NO"), std::string::npos) << r.out;
}

}  // namespace
