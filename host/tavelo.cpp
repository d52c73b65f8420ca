// tavelo: the command-line host of the engine. Each sub-command lives in a
// file of its own (cmd_*.cpp) and registers itself here; main parses the
// arguments, runs the chosen command and turns its outcome into an exit
// code: 0 done, 1 failed, 2 usage, 3 a plug-in crashed, 128 + the signal
// when stopped by one (130 Ctrl-C, 143 SIGTERM).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

#include "cli.h"
#include "crash.h"
#include "session.h"

namespace tavelo {

constexpr const char* kMemoryHelp =
    "memory budget such as 512M or 2G (default: the preferences, else the control group's limit, else "
    "physical memory; `tavelo info --memory` shows it)";

void AddCommonOptions(CLI::App& sub, Common& common, bool withPlugins, bool withMemory) {
  static const std::vector<std::string> kLevels = {"quiet", "normal", "verbose", "debug"};
  sub.add_option_function<std::string>(
         "--log-level",
         [&common](const std::string& level) {
           common.level = static_cast<LogLevel>(std::find(kLevels.begin(), kLevels.end(), level) - kLevels.begin());
         },
         "what goes to standard error: quiet (failures only), normal (progress and notes; the default), "
         "verbose (also what is opened and written), debug (also every engine report)")
      ->check(CLI::IsMember(kLevels))
      ->option_text("LEVEL");
  sub.add_flag_callback("-q,--quiet", [&common] { common.level = LogLevel::Quiet; }, "the same as --log-level quiet");
  if (withMemory) sub.add_option("--memory", common.memory, kMemoryHelp);
  if (withPlugins)
    sub.add_option("--plugins", common.pluginDirs, "a folder of effect plug-ins to scan (may be repeated)");
}

void AddCompOption(CLI::App& sub, std::string& comp) {
  sub.add_option("-c,--comp", comp, "the composition (may be left out when the project has only one)");
}

void Verbose(const Common& common, const std::string& text) {
  if (common.Verbose()) std::fprintf(stderr, "tavelo: %s\n", text.c_str());
}

std::string Count(int64_t n, const std::string& singular, const std::string& plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural.empty() ? singular + "s" : plural);
}

}  // namespace tavelo

int main(int argc, char** argv) {
  using namespace tavelo;
  // A file-size limit (ulimit -f) makes writes past it fail, which the
  // engine reports, instead of ending the process without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  InstallCrashHandler();
  CLI::App app{"tavelo: renders motion-graphics projects from the shell.", "tavelo"};
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
  AddFormatsCommand(app, d);
  AddViewCommand(app, d);
  AddManualCommands(app, d);
  // Set after the sub-commands are added, so it shows once, under
  // `tavelo --help` (and the manual page), not under every sub-command's help.
  app.footer(
      "Exit codes: 0 done, 1 failed, 2 usage, 3 an effect plug-in crashed, 130 interrupted (Ctrl-C keeps the finished frames),\n143 terminated "
      "(SIGTERM).\n"
      "Environment: TAVELO_PREFS names a preferences file (section \"Tavelo\");\n"
      "TAVELO_DEBUG_OUTPUT prints the engine's debugger output to standard error;\n"
      "TAVELO_AUDIO_OUTPUT chooses the sound output of `play` (alsa:<device>, null, file:<path>.wav);\n"
      "TAVELO_PLUGIN_PATH names plug-in folders (colon-separated) searched before the user's and the\n"
      "installation's (`tavelo plugins` lists them);\n"
      "TAVELO_FORMAT_MODULES names the folder of the format modules for still images and movies\n"
      "(by default tavelo/formats beside the engine's library).");
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
  // A command stopped by a signal ends with 128 + that signal.
  auto stopped = [](int code) { return code == kExitInterrupted && InterruptSignal() ? 128 + InterruptSignal() : code; };
  try {
    int code = d.run();
    if (code == kExitDone && Interrupted()) code = kExitInterrupted;
    return stopped(code);
  } catch (const Failure& f) {
    std::fflush(stdout);
    std::fprintf(stderr, "tavelo: %s\n", f.what());
    return stopped(f.code);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavelo: %s\n", e.what());
    return kExitFailed;
  }
}
