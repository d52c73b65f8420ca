// `tavelo plugins [DIR]`: the effects built into the engine and what each
// plug-in folder the host searches held, or what a scan of one folder finds
// and why a file was skipped.
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

void List(int32_t from, int32_t to, const char* indent) {
  for (int32_t i = from; i < to; ++i) {
    char name[32] = {}, match[48] = {};
    uint32_t flags = 0;
    if (FLT_InqPFInfo(static_cast<int16_t>(i), name, match, &flags) == 0)
      std::printf("%s%-28s (match name \"%s\")\n", indent, name, match);
  }
}

void Skipped(const std::vector<Report>& reports, const char* indent) {
  if (reports.empty()) return;
  std::printf("%sskipped:\n", indent);
  for (const Report& r : reports) std::printf("%s  %s\n", indent, r.text.c_str());
}

int Plugins(const PluginsOptions& o, Common common) {
  // What the scans say is printed below, not as notes while they run.
  common.level = LogLevel::Quiet;
  if (!o.dir.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) Fail("plug-in folder \"" + o.dir + "\" does not exist");
    common.pluginDirs = {o.dir};
    common.defaultPluginFolders = false;
    Session session(common);
    const PluginScan& scan = session.scans.front();
    std::printf("effects found in %s: %d\n", scan.folder.path.c_str(), scan.end - scan.first);
    List(scan.first, scan.end, "  ");
    Skipped(scan.reports, "");
    return kExitDone;
  }
  Session session(common);
  std::printf("effects in this engine:\n");
  List(0, session.builtInEffects, "  ");
  std::printf("plug-in folders, in the order they are searched:\n");
  for (const PluginScan& scan : session.scans) {
    std::printf("  %s (%s): ", scan.folder.path.c_str(), scan.folder.origin.c_str());
    if (!scan.present) {
      std::printf("not there\n");
      continue;
    }
    std::printf("%d effect%s\n", scan.end - scan.first, scan.end - scan.first == 1 ? "" : "s");
    List(scan.first, scan.end, "    ");
    Skipped(scan.reports, "    ");
  }
  return kExitDone;
}

}  // namespace

void AddPluginsCommand(CLI::App& app, Dispatch& d) {
  static PluginsOptions o;
  auto* sub =
      app.add_subcommand("plugins",
                         "list the effects and the plug-in folders searched with what each held, or scan "
                         "one folder and say what it holds");
  sub->add_option("DIR", o.dir, "a folder of *.tvx plug-ins to scan");
  AddCommonOptions(*sub, d.common, true);
  sub->footer(
      app.get_footer() + "\n" +
      "Plug-in folders: each --plugins folder, then the folders of TAVELO_PLUGIN_PATH (colon-separated),\n"
      "then $XDG_DATA_HOME/tavelo/plug-ins (~/.local/share/tavelo/plug-ins), then the installation's\n"
      "lib/tavelo/plug-ins, in this order; the first copy of an effect wins.");
  sub->callback([&d] { d.run = [&d] { return Plugins(o, d.common); }; });
}

}  // namespace tavelo
