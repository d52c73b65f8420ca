// `tavelo view` through HTTP: the built program serves an example on a free
// port and every call is made as a browser makes it: frames (equal to the
// files `tavelo frame` writes, served from the cache the second time),
// layer switches with undo and redo, the refusals (IDs only,
// bad parameters, foreign Host, missing token), the reload of a changed
// description and the stop on Ctrl-C.
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "tavelo_fixture.h"

namespace {

using namespace tavelo_test;
using Json = nlohmann::json;

// A `tavelo view` child on a free port; the first line it prints names it.
struct Server {
  pid_t pid = -1;
  FILE* out = nullptr;
  int port = 0;
  std::string token, firstLine;

  explicit Server(std::vector<std::string> args) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    pid = ::fork();
    if (pid == 0) {
      ::dup2(pipeFds[1], 1);
      ::close(pipeFds[0]);
      std::string bin = TAVELO_BIN;
      std::vector<char*> argv{bin.data()};
      args.insert(args.begin(), "view");
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(bin.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    out = ::fdopen(pipeFds[0], "r");
    firstLine = Line();
    Line();  // "Ctrl-C stops", or the token
    std::smatch m;
    if (std::regex_search(firstLine, m, std::regex(R"(http://[^:]+:(\d+)/(\?token=([0-9a-f]+))?)"))) {
      port = std::stoi(m[1]);
      token = m[3];
    }
  }
  std::string Line() {
    char buf[512];
    return std::fgets(buf, sizeof buf, out) ? buf : "";
  }
  // Ctrl-C; the exit code.
  int Stop() {
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ~Server() {
    if (pid > 0) Stop();
    if (out) std::fclose(out);
  }
};

class View : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new Server({std::string(TAVELO_EXAMPLES) + "/layered.json", "--port", "0", "-c", "Main"});
    ASSERT_GT(server->port, 0) << server->firstLine;
  }
  static void TearDownTestSuite() {
    EXPECT_EQ(server->Stop(), 130);
    EXPECT_EQ(server->Line(), "stopped\n");
    delete server;
  }
  httplib::Client Client() { return httplib::Client("127.0.0.1", server->port); }
  httplib::Result Get(const std::string& path) { return Client().Get(path.c_str()); }
  httplib::Result Post(const std::string& path, const std::string& body = "{}") {
    return Client().Post(path.c_str(), body, "application/json");
  }
  Json GetJson(const std::string& path) {
    auto r = Get(path);
    EXPECT_TRUE(r && r->status == 200) << path << " " << (r ? r->body : "no answer");
    return r ? Json::parse(r->body) : Json();
  }
  uint32_t MainId() {
    for (const Json& c : GetJson("/api/comps"))
      if (c["name"] == "Main") return c["id"];
    return 0;
  }
  std::string FrameBytes(uint32_t id, int frame) {
    auto r = Get("/api/comps/" + std::to_string(id) + "/frame?frame=" + std::to_string(frame));
    return r && r->status == 200 ? r->body : "";
  }
  static Server* server;
};
Server* View::server = nullptr;

TEST_F(View, FramesAreTheFilesOfFrameAndComeFromTheCache) {
  const uint32_t id = MainId();
  const fs::path dir = fs::temp_directory_path() / ("view_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string png = (dir / "f12.png").string();
  const std::string cmd = std::string(TAVELO_BIN) + " frame " + TAVELO_EXAMPLES + "/layered.json -c Main -t 12f -q -o " + png;
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string url = "/api/comps/" + std::to_string(id) + "/frame?frame=12";
  auto first = Get(url), second = Get(url);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(first->body, Slurp(png));
  EXPECT_EQ(second->body, first->body);
  EXPECT_EQ(second->get_header_value("X-Cache"), "hit");
  EXPECT_FALSE(second->get_header_value("X-Render-Ms").empty());
  fs::remove_all(dir);

  auto jpeg = Get(url + "&res=half&format=jpeg");
  ASSERT_TRUE(jpeg && jpeg->status == 200);
  EXPECT_EQ(jpeg->get_header_value("Content-Type"), "image/jpeg");
  EXPECT_EQ(jpeg->body.substr(0, 3), "\xff\xd8\xff");
  // A half-resolution PNG is 160 x 90 (the size in the IHDR chunk).
  auto half = Get(url + "&res=half");
  ASSERT_TRUE(half && half->body.size() > 24);
  EXPECT_EQ(half->body.substr(16, 8), std::string("\0\0\0\xa0\0\0\0\x5a", 8));
}

TEST_F(View, SwitchesAreUndoableSteps) {
  const std::string comp = "/api/comps/" + std::to_string(MainId());
  const std::string before = FrameBytes(MainId(), 12);
  auto r = Post(comp + "/layers/1", R"({"video": false, "audio": false})");
  ASSERT_TRUE(r && r->status == 200) << (r ? r->body : "");
  EXPECT_EQ(Json::parse(r->body)["video"], false);
  EXPECT_EQ(Json::parse(r->body)["audio"], false);
  const std::string hidden = FrameBytes(MainId(), 12);
  EXPECT_NE(hidden, before);
  EXPECT_EQ(GetJson("/api/state")["undo"], "Layer Switches");
  r = Post("/api/undo");
  ASSERT_TRUE(r && r->status == 200);
  EXPECT_EQ(Json::parse(r->body)["redo"], "Layer Switches");
  EXPECT_EQ(FrameBytes(MainId(), 12), before);
  EXPECT_EQ(GetJson(comp)["layers"][0]["audio"], true);
  ASSERT_EQ(Post("/api/redo")->status, 200);
  EXPECT_EQ(FrameBytes(MainId(), 12), hidden);
  ASSERT_EQ(Post("/api/undo")->status, 200);
  // Solo: one step that leaves layer 5's video alone on.
  ASSERT_EQ(Post(comp + "/layers/5/solo")->status, 200);
  const Json layers = GetJson(comp)["layers"];
  for (const Json& l : layers) EXPECT_EQ(l["video"], l["number"] == 5) << l.dump();
  EXPECT_EQ(GetJson("/api/state")["undo"], "Solo Layer");
  ASSERT_EQ(Post("/api/undo")->status, 200);
  EXPECT_EQ(FrameBytes(MainId(), 12), before);
  EXPECT_EQ(GetJson("/api/state")["undo"], nullptr);
}

TEST_F(View, RefusalsAreJsonErrors) {
  const std::string comp = "/api/comps/" + std::to_string(MainId());
  struct Case {
    std::string method, path, body;
    int status;
    std::string error;  // a part of the message
  };
  const std::vector<Case> cases = {
      {"GET", "/api/comps/999999", "", 404, "no composition with ID 999999"},
      {"GET", "/api/comps/1/../../etc/passwd", "", 404, "no such page or call"},
      {"GET", "/api/comps/..%2F..%2Fetc%2Fpasswd/frame", "", 404, "no such page or call"},
      {"GET", "/api/comps/Main", "", 404, "no such page or call"},
      {"GET", "/index.html/../../CMakeLists.txt", "", 404, "no such page or call"},
      {"GET", comp + "/frame?frame=-1", "", 400, "bad frame \"-1\""},
      {"GET", comp + "/frame?frame=1.5", "", 400, "bad frame \"1.5\""},
      {"GET", comp + "/frame?frame=24", "", 400, "bad frame \"24\" (a number from 0 to 23)"},
      {"GET", comp + "/frame?res=double", "", 400, "bad res \"double\" (full, half, third, quarter)"},
      {"GET", comp + "/frame?format=gif", "", 400, "bad format \"gif\" (png, jpeg)"},
      {"GET", comp + "/sound?start=5", "", 400, "bad start \"5\""},
      {"GET", comp + "/sound?rate=44100.5", "", 400, "bad rate"},
      {"GET", comp + "/sound?from=0.5", "", 400, "unknown parameter \"from\" (start, duration, rate)"},
      {"GET", comp + "/sound?duration=0", "", 400, "the span holds no sound (a duration of 0 s)"},
      {"GET", comp + "/sound?start=1", "", 400, "the span holds no sound (start 1 s is the composition's end)"},
      {"GET", comp + "/frame?frame=1&frame=2", "", 400, "the parameter \"frame\" is given twice"},
      {"GET", comp + "/frame?resolution=half", "", 400, "unknown parameter \"resolution\" (frame, res, format)"},
      {"POST", comp + "/layers/0", R"({"video": true})", 404, "no layer 0 (layers 1 to 5, from the top)"},
      {"POST", comp + "/layers/6/solo", "{}", 404, "no layer 6"},
      {"POST", comp + "/layers/1", R"({"shy": true})", 400, "unknown switch \"shy\" (video, audio, effects)"},
      {"POST", comp + "/layers/1", R"({"video": 1})", 400, "takes true or false"},
      {"POST", comp + "/layers/1", "video=0", 400, "send a JSON object of switches"},
      {"POST", "/api/undo", "{}", 409, "nothing to undo"},
      {"DELETE", comp, "", 405, "GET and POST only"},
  };
  while (Post("/api/undo")->status == 200) {
  }
  for (const Case& c : cases) {
    httplib::Client client = Client();
    auto r = c.method == "GET"    ? client.Get(c.path.c_str())
             : c.method == "POST" ? client.Post(c.path.c_str(), c.body, "application/json")
                                  : client.Delete(c.path.c_str());
    ASSERT_TRUE(r) << c.path;
    EXPECT_EQ(r->status, c.status) << c.path << " " << r->body;
    const Json j = Json::parse(r->body, nullptr, false);
    ASSERT_TRUE(j.is_object()) << c.path << " " << r->body;
    EXPECT_NE(j.value("error", "").find(c.error), std::string::npos) << c.path << " " << r->body;
  }
  // A change not sent as JSON (a form of another site) and a Host other
  // than the loopback one (another site's name for this address).
  auto form = Client().Post((comp + "/layers/1").c_str(), "video=false", "application/x-www-form-urlencoded");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->status, 415);
  auto foreign = Client().Get("/api/comps", {{"Host", "attacker.example:" + std::to_string(server->port)}});
  ASSERT_TRUE(foreign);
  EXPECT_EQ(foreign->status, 403);
}

TEST(ViewToken, AnyOtherAddressNeedsTheToken) {
  // 127.0.0.2 is a loopback address the viewer does not take for its own.
  Server s({std::string(TAVELO_EXAMPLES) + "/title_card.json", "--port", "0", "--bind", "127.0.0.2"});
  ASSERT_GT(s.port, 0) << s.firstLine;
  ASSERT_EQ(s.token.size(), 32u) << s.firstLine;
  httplib::Client c("127.0.0.2", s.port);
  EXPECT_EQ(c.Get("/api/state")->status, 403);
  EXPECT_EQ(c.Get("/api/state?token=0123")->status, 403);
  EXPECT_EQ(c.Get(("/api/state?token=" + s.token).c_str())->status, 200);
  EXPECT_EQ(c.Get("/api/comps", {{"X-Tavelo-Token", s.token}})->status, 200);
  EXPECT_EQ(c.Get("/")->status, 200);  // the page itself holds nothing of the project
  EXPECT_EQ(s.Stop(), 130);
}

TEST(ViewReload, AChangedDescriptionShowsAtOnce) {
  const fs::path dir = fs::temp_directory_path() / ("view_reload_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "p.json";
  auto write = [&](const std::string& name) {
    std::ofstream(file) << R"({"version": 1, "comps": [{"name": ")" << name
                        << R"(", "width": 8, "height": 8, "duration": 1, "layers": [{"solid": {"color": "#ff0000"}}]}]})";
  };
  write("First");
  Server s({file.string(), "--port", "0"});
  ASSERT_GT(s.port, 0) << s.firstLine;
  httplib::Client c("127.0.0.1", s.port);
  EXPECT_EQ(Json::parse(c.Get("/api/comps")->body)[0]["name"], "First");
  write("Second, longer");
  EXPECT_EQ(s.Line(), "reloaded " + file.string() + "\n");
  EXPECT_EQ(Json::parse(c.Get("/api/comps")->body)[0]["name"], "Second, longer");
  std::ofstream(file) << "{ broken";
  EXPECT_EQ(s.Line(), "reloaded " + file.string() + "\n");
  auto r = c.Get("/api/comps");
  EXPECT_EQ(r->status, 503);
  EXPECT_NE(Json::parse(r->body)["error"].get<std::string>().find("the project could not be read"), std::string::npos);
  EXPECT_NE(Json::parse(c.Get("/api/state")->body)["error"], nullptr);
  EXPECT_EQ(s.Stop(), 130);
  fs::remove_all(dir);
}

}  // namespace
