// `tavelo build`: a project description to a project file.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli.h"
#include "description.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

struct BuildOptions {
  std::string description, output;
};

int Build(const BuildOptions& o, const Common& common) {
  if (ExtensionOf(o.description) != "json") Fail("\"" + o.description + "\" is not a .json description", kExitUsage);
  Session session(common);
  LoadProject(o.description);
  // Stopped before the file is replaced: an earlier file of that name stays.
  if (Interrupted()) Fail("interrupted; \"" + o.output + "\" was not written", kExitInterrupted);
  SaveProject(o.output);
  std::printf("wrote %s (%s)\n", o.output.c_str(), Count(static_cast<int64_t>(Comps().size()), "composition").c_str());
  if (Interrupted()) Fail("interrupted after \"" + o.output + "\" was written", kExitInterrupted);
  return kExitDone;
}

}  // namespace

void AddBuildCommand(CLI::App& app, Dispatch& d) {
  static BuildOptions o;
  auto* sub = app.add_subcommand("build", "build a project file from a JSON project description");
  sub->add_option("DESCRIPTION", o.description, "the .json description (docs/project-description.md)")->required();
  sub->add_option("-o,--output", o.output, "the project file to write")->required();
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Build(o, d.common); }; });
}

}  // namespace tavelo
