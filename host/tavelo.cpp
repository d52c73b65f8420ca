// tavelo: the command-line host of the engine. Each sub-command lives in a
// file of its own (cmd_*.cpp) and registers itself here; main parses the
// arguments, runs the chosen command and turns its outcome into an exit
// code: 0 done, 1 failed, 2 usage, 130 interrupted.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli.h"
#include "session.h"

namespace tavelo {

constexpr const char* kMemoryHelp =
    "memory budget such as 512M or 2G (default: the preferences, else the control group's limit, else "
    "physical memory; `tavelo info --memory` shows it)";

void AddCommonOptions(CLI::App& sub, Common& common, bool withPlugins, bool withMemory) {
  sub.add_flag("-q,--quiet", common.quiet, "print no progress and no notes");
  if (withMemory) sub.add_option("--memory", common.memory, kMemoryHelp);
  if (withPlugins)
    sub.add_option("--plugins", common.pluginDirs, "a folder of effect plug-ins to scan (may be repeated)");
}

}  // namespace tavelo

int main(int argc, char** argv) {
  using namespace tavelo;
  CLI::App app{"tavelo: renders motion-graphics projects from the shell.", "tavelo"};
  app.footer(
      "Exit codes: 0 done, 1 failed, 2 usage, 130 interrupted (Ctrl-C keeps the finished frames).\n"
      "Environment: TAVELO_PREFS names a preferences file (section \"Tavelo\");\n"
      "TAVELO_DEBUG_OUTPUT prints the engine's debugger output to standard error;\n"
      "TAVELO_AUDIO_OUTPUT chooses the sound output of `play` (alsa:<device>, null, file:<path>.wav);\n"
      "TAVELO_PLUGIN_PATH names plug-in folders (colon-separated) searched before the user's and the\n"
      "installation's (`tavelo plugins` lists them).");
  app.require_subcommand(0, 1);
  Dispatch d;
  app.add_option("--memory", d.common.memory, kMemoryHelp);
  AddVersionCommand(app, d);
  AddDemoCommand(app, d);
  AddBuildCommand(app, d);
  AddInfoCommand(app, d);
  AddFrameCommand(app, d);
  AddRenderCommand(app, d);
  AddPluginsCommand(app, d);
  AddAudioCommands(app, d);
  AddKeysCommand(app, d);
  AddSheetCommand(app, d);
  AddFarmCommand(app, d);
  AddManualCommands(app, d);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  } catch (const Failure& f) {
    std::fprintf(stderr, "tavelo: %s\n", f.what());
    return f.code;
  }
  if (!d.run) {
    std::fputs(app.help().c_str(), stdout);
    return kExitUsage;
  }
  InstallInterruptHandler();
  try {
    int code = d.run();
    if (code == kExitDone && Interrupted()) code = kExitInterrupted;
    return code;
  } catch (const Failure& f) {
    std::fflush(stdout);
    std::fprintf(stderr, "tavelo: %s\n", f.what());
    return f.code;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavelo: %s\n", e.what());
    return kExitFailed;
  }
}
