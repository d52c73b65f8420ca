// `tavelo plugins [DIR]`: the effects the engine has, or what a scan of a
// folder finds and why a file was skipped.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "FLT.h"
#include "cli.h"
#include "session.h"

namespace tavelo {
namespace {

struct PluginsOptions {
  std::string dir;
};

void List(int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) {
    char name[32] = {}, match[48] = {};
    uint32_t flags = 0;
    if (FLT_InqPFInfo(static_cast<int16_t>(i), name, match, &flags) == 0)
      std::printf("  %-28s (match name \"%s\")\n", name, match);
  }
}

int Plugins(const PluginsOptions& o, Common common) {
  common.pluginDirs.clear();
  Session session(common);
  session.echo = false;
  int32_t before = 0;
  FLT_InqNumPF(&before);
  if (o.dir.empty()) {
    std::printf("effects in this engine:\n");
    List(0, before);
    return kExitDone;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(o.dir, ec)) Fail("plug-in folder \"" + o.dir + "\" does not exist");
  session.TakeReports();
  const std::string dir = AbsolutePath(o.dir);
  const char* folders[] = {dir.c_str(), nullptr};
  ErrorCode err = FLTp_ScanPluginFolders(folders, 10);
  std::vector<Report> reports = session.TakeReports();
  int32_t after = 0;
  FLT_InqNumPF(&after);
  std::printf("effects found in %s: %d\n", dir.c_str(), after - before);
  List(before, after);
  if (!reports.empty()) {
    std::printf("skipped:\n");
    for (const Report& r : reports) std::printf("  %s\n", r.text.c_str());
  }
  Check(err, "scanning \"" + dir + "\"");
  return kExitDone;
}

}  // namespace

void AddPluginsCommand(CLI::App& app, Dispatch& d) {
  static PluginsOptions o;
  auto* sub = app.add_subcommand("plugins", "list the effects, or scan a plug-in folder and say what it holds");
  sub->add_option("DIR", o.dir, "a folder of *.tvx plug-ins to scan");
  sub->callback([&d] { d.run = [&d] { return Plugins(o, d.common); }; });
}

}  // namespace tavelo
