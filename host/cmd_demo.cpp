// `tavelo demo`: the project demo (commands, undo and redo, printed values),
// then the rendered demo (a PNG sequence and a contact sheet).
#include <CLI/CLI.hpp>

#include <cstdio>

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
  Session session(common);
  return RenderDemo(o.output, common.quiet);
}

}  // namespace

void AddDemoCommand(CLI::App& app, Dispatch& d) {
  static DemoOptions o;
  auto* sub = app.add_subcommand("demo", "run the demonstration: a project built by commands, then rendered");
  sub->add_option("-o,--output", o.output, "folder for the rendered demo (default ./tavelo-demo)");
  sub->add_flag("--values-only", o.valuesOnly, "only the printed values, no rendering");
  AddCommonOptions(*sub, d.common, false);
  sub->callback([&d] { d.run = [&d] { return Demo(o, d.common); }; });
}

}  // namespace tavelo
