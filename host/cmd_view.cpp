// `tavelo view`: serves a page and a small JSON API over HTTP so that a
// browser on this or another machine scrubs and plays the project's
// compositions and switches their layers. Bound to 127.0.0.1 unless told
// otherwise; on any other address every request must carry a random token
// printed at start. The project reloads when its file changes; Ctrl-C stops
// the server once the requests in flight are answered.
#include <CLI/CLI.hpp>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "cli.h"
#include "project.h"
#include "session.h"
#include "viewer.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

struct ViewOptions {
  std::string project, comp, bind = "127.0.0.1";
  int port = 8420;
};

bool IsLoopback(const std::string& address) {
  return address == "127.0.0.1" || address == "::1" || address == "localhost";
}

std::string NewToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    token += part;
  }
  return token;
}

// Compares without stopping at the first difference.
bool SameSecret(const std::string& given, const std::string& secret) {
  unsigned diff = given.size() != secret.size();
  for (size_t i = 0; i < secret.size(); ++i) diff |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
                                                     static_cast<unsigned char>(secret[i]);
  return diff == 0;
}

// The page's files: beside the installed program, else in the source tree
// the program was built from.
fs::path WebFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = exe.parent_path().parent_path() / "share" / "tavelo" / "web";
    if (fs::exists(installed / "index.html", ec)) return installed;
  }
  return TAVELO_WEB_SOURCE_DIR;
}

struct PageFile {
  const char* route;
  const char* file;
  const char* type;
};
constexpr PageFile kPage[] = {{"/", "index.html", "text/html; charset=utf-8"},
                              {"/viewer.js", "viewer.js", "text/javascript; charset=utf-8"},
                              {"/viewer.css", "viewer.css", "text/css; charset=utf-8"}};

std::string ReadPageFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("the viewer's page is not installed: cannot read \"" + path.string() + "\"");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Send(httplib::Response& res, Reply reply) {
  res.status = reply.status;
  for (auto& [name, value] : reply.headers) res.set_header(name, value);
  res.set_content(std::move(reply.body), reply.type);
}

httplib::Params Query(const httplib::Request& req) { return req.params; }

uint32_t Id(const httplib::Request& req, int group = 1) {
  return static_cast<uint32_t>(std::stoul(req.matches[group].str()));
}

// A private folder for the files the output modules write, removed at the end.
struct Scratch {
  fs::path path;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "tavelo-view-XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("cannot make a temporary folder in " + fs::temp_directory_path().string());
    path = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void Routes(httplib::Server& server, Viewer& viewer, const fs::path& web) {
  for (const PageFile& p : kPage) {
    auto body = std::make_shared<std::string>(ReadPageFile(web / p.file));
    const std::string type = p.type;
    server.Get(p.route, [body, type](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(*body, type);
    });
  }
  const std::string comp = R"(/api/comps/(\d{1,9}))";
  server.Get("/api/state", [&](const httplib::Request&, httplib::Response& res) { Send(res, viewer.State()); });
  server.Get("/api/comps", [&](const httplib::Request&, httplib::Response& res) { Send(res, viewer.Comps()); });
  server.Get(comp, [&](const httplib::Request& req, httplib::Response& res) { Send(res, viewer.Comp(Id(req))); });
  server.Get(comp + "/frame", [&](const httplib::Request& req, httplib::Response& res) {
    Send(res, viewer.Frame(Id(req), Query(req)));
  });
  server.Get(comp + "/sound", [&](const httplib::Request& req, httplib::Response& res) {
    Send(res, viewer.Sound(Id(req), Query(req)));
  });
  server.Post(comp + R"(/layers/(\d{1,6}))", [&](const httplib::Request& req, httplib::Response& res) {
    Send(res, viewer.SetSwitches(Id(req), static_cast<int32_t>(Id(req, 2)), req.body));
  });
  server.Post(comp + R"(/layers/(\d{1,6})/solo)", [&](const httplib::Request& req, httplib::Response& res) {
    Send(res, viewer.Solo(Id(req), static_cast<int32_t>(Id(req, 2))));
  });
  server.Post("/api/undo", [&](const httplib::Request&, httplib::Response& res) { Send(res, viewer.Undo(false)); });
  server.Post("/api/redo", [&](const httplib::Request&, httplib::Response& res) { Send(res, viewer.Undo(true)); });
}

// Requests turned away before routing: a missing or wrong token, a Host
// other than the loopback one (pages of other sites reaching a local viewer
// through a name of theirs), and changes not sent as JSON (forms of other
// sites cannot send it without the browser asking first).
void Guards(httplib::Server& server, const std::string& token, const std::string& bind, const int& port) {
  server.set_pre_routing_handler([&token, bind, &port](const httplib::Request& req, httplib::Response& res) {
    using R = httplib::Server::HandlerResponse;
    // The page's own files hold nothing of the project: the page reads its
    // token from its address and sends it with every call.
    const bool pageFile = req.method == "GET" && (req.path == "/" || req.path == "/viewer.js" || req.path == "/viewer.css");
    if (!token.empty() && !pageFile) {
      const std::string given =
          req.has_header("X-Tavelo-Token") ? req.get_header_value("X-Tavelo-Token") : req.get_param_value("token");
      if (!SameSecret(given, token)) {
        Send(res, ErrorReply(403, "this viewer needs its token: open the address `tavelo view` printed"));
        return R::Handled;
      }
    } else if (token.empty()) {
      const std::string host = req.get_header_value("Host");
      const std::string p = ":" + std::to_string(port);
      if (host != "127.0.0.1" + p && host != "localhost" + p && host != "[::1]" + p) {
        Send(res, ErrorReply(403, "this viewer answers requests for 127.0.0.1" + p + " or localhost" + p + " only"));
        return R::Handled;
      }
    }
    if (req.method == "POST" && req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
      Send(res, ErrorReply(415, "changes are sent as application/json"));
      return R::Handled;
    }
    if (req.method != "GET" && req.method != "POST" && req.method != "HEAD") {
      Send(res, ErrorReply(405, "the viewer answers GET and POST only"));
      return R::Handled;
    }
    return R::Unhandled;
  });
  server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (res.status == 404 && res.body.empty())
      Send(res, ErrorReply(404, "no such page or call: " + req.method + " " + req.path));
    else if (res.status == 400 && res.body.empty())
      Send(res, ErrorReply(400, "the request could not be read (a POST needs a body with its length, such as {})"));
    else if (res.status == 413 && res.body.empty())
      Send(res, ErrorReply(413, "the request is too large (at most 64 KiB)"));
    else if (res.body.empty())
      Send(res, ErrorReply(res.status, "the request was refused (" + std::to_string(res.status) + ")"));
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Send(res, ErrorReply(500, "the viewer failed on this request"));
  });
}

int View(const ViewOptions& o, const Common& common) {
  if (o.port < 0 || o.port > 65535) Fail("--port must be 0 to 65535 (0: any free port)", kExitUsage);
  const fs::path web = WebFolder();
  std::signal(SIGPIPE, SIG_IGN);
  Session session(common);
  Scratch scratch;
  Viewer viewer(AbsolutePath(o.project), scratch.path);
  if (!o.comp.empty()) {
    uint32_t id = 0;
    BEE_GetItemID(FindComp(o.comp), &id);
    viewer.defaultComp = id;
  }
  const std::string token = IsLoopback(o.bind) ? std::string() : NewToken();
  httplib::Server server;
  server.set_payload_max_length(1 << 16);
  // Headers and body go out at once, not held back for an acknowledgement.
  server.set_tcp_nodelay(true);
  Routes(server, viewer, web);
  int port = o.port;
  Guards(server, token, o.bind, port);
  if (port == 0) port = server.bind_to_any_port(o.bind);
  else if (!server.bind_to_port(o.bind, port)) port = -1;
  if (port <= 0)
    Fail("cannot listen on " + o.bind + " port " + std::to_string(o.port) +
         " (in use, or not an address of this machine)");
  const std::string host = o.bind.find(':') != std::string::npos ? "[" + o.bind + "]" : o.bind;
  std::printf("viewing %s at http://%s:%d/%s\n", o.project.c_str(), host.c_str(), port,
              token.empty() ? "" : ("?token=" + token).c_str());
  if (!token.empty()) std::printf("every request needs the token %s (Ctrl-C stops)\n", token.c_str());
  else std::printf("Ctrl-C stops\n");
  std::fflush(stdout);

  // Stops the server on Ctrl-C and reloads the project when its file changes.
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread watcher([&] {
    std::unique_lock lock(mutex);
    while (!done) {
      wake.wait_for(lock, std::chrono::milliseconds(200));
      if (Interrupted()) {
        server.stop();
        break;
      }
      if (viewer.ReloadIfChanged() && !common.Quiet()) {
        std::printf("reloaded %s\n", o.project.c_str());
        std::fflush(stdout);
      }
    }
  });
  const bool listened = server.listen_after_bind();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  wake.notify_all();
  watcher.join();
  if (!listened && !Interrupted()) Fail("the server stopped unexpectedly");
  if (!common.Quiet()) std::printf("stopped\n");
  return kExitDone;
}

}  // namespace

void AddViewCommand(CLI::App& app, Dispatch& d) {
  static ViewOptions o;
  auto* sub = app.add_subcommand("view", "serve a page to scrub and play compositions in a web browser");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description")->required();
  sub->add_option("-c,--comp", o.comp, "the composition shown first (default: the first)");
  sub->add_option("-p,--port", o.port, "the port to listen on (default 8420; 0: any free port)");
  sub->add_option("--bind", o.bind,
                  "the address to listen on (default 127.0.0.1; any other needs the printed token)");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return View(o, d.common); }; });
}

}  // namespace tavelo
