// `tavelo demo`: the project demo (commands, undo and redo, printed values),
// then the rendered demo (a PNG sequence and a contact sheet).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "cli.h"
#include "demo_render.h"
#include "session.h"

int RunProjectDemo();

namespace tavelo {
namespace {

struct DemoOptions {
  std::string output = "tavelo-demo";
  bool valuesOnly = false;
};

int Demo(const DemoOptions& o, const Common& common) {
  {
    // The value demo kills the project engine when it ends, so it has a
    // session of its own.
    Session session(common);
    std::printf("Tavelo demo\n\n");
    if (RunProjectDemo() != 0) return kExitFailed;
  }
  if (o.valuesOnly) return kExitDone;
  // The sample plug-ins: --plugins, else the folder the build puts them in
  // next to this program (build/plugins/tvx beside build/host/tavelo).
  Common withSamples = common;
  if (withSamples.pluginDirs.empty()) {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto samples = exe.parent_path().parent_path() / "plugins" / "tvx";
    if (!ec && std::filesystem::is_directory(samples, ec)) withSamples.pluginDirs.push_back(samples.string());
  }
  Session session(withSamples);
  return RenderDemo(o.output, common.Quiet());
}

}  // namespace

void AddDemoCommand(CLI::App& app, Dispatch& d) {
  static DemoOptions o;
  auto* sub = app.add_subcommand("demo", "run the demonstration: a project built by commands, then rendered");
  sub->add_option("-o,--output", o.output, "folder for the rendered demo (default ./tavelo-demo)");
  sub->add_flag("--values-only", o.valuesOnly, "only the printed values, no rendering");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Demo(o, d.common); }; });
}

}  // namespace tavelo
