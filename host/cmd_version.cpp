// `tavelo --version` and `tavelo version`: the product's version and source
// revision, then the engine's packages and their versions.
#include <CLI/CLI.hpp>
#include <dlfcn.h>

#include <cstdio>

#include "TaveloVersion.h"
#include "U.h"
#include "cli.h"
#include "memory_budget.h"
#include "session.h"
#include "tavelo_revision.h"

namespace tavelo {
namespace {

using VersionFn = uint32_t (*)();

int Version(const Common& common) {
  std::printf("tavelo %s (revision %s)\n", TAVELO_VERSION, tavelo_revision);
  Session session(common);
  std::printf("tavelo engine packages:\n");
  const char* name = nullptr;
  int32_t number = 0;
  for (int32_t i = 0; Up_GetPackageInfo(i, &name, &number, nullptr) == 0; ++i) {
    std::string symbol = std::string(name) + "_PkgObjectVersion";
    auto fn = reinterpret_cast<VersionFn>(dlsym(RTLD_DEFAULT, symbol.c_str()));
    if (!fn) continue;
    uint32_t v = fn();
    std::printf("  %-5s #%-3d %u.%u\n", name, number, v >> 16, v & 0xFFFFu);
  }
  std::printf("memory budget: %s\n", DescribeBudget().c_str());
  return kExitDone;
}

}  // namespace

void AddVersionCommand(CLI::App& app, Dispatch& d) {
  const char* what = "print the version and source revision, then the engine's packages and their versions";
  auto* sub = app.add_subcommand("version", what);
  sub->callback([&d] { d.run = [&d] { return Version(d.common); }; });
  app.add_flag_callback(
      "--version", [&d] { d.run = [&d] { return Version(d.common); }; }, what);
}

}  // namespace tavelo
