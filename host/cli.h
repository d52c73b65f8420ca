// What the sub-commands of the tavelo host share: exit codes, the failure
// they throw, and how each one registers itself with the argument parser.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace tavelo {

// Exit codes (documented in the README and in `tavelo --help`). A command
// stopped by a signal exits with 128 + the signal: 130 for Ctrl-C (SIGINT),
// 143 for SIGTERM.
enum Exit : int {
  kExitDone = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitPluginCrashed = 3,  // an effect plug-in crashed the process (crash.h)
  kExitInterrupted = 130,
};

// A command that cannot go on throws this; main prints "tavelo: <message>"
// on standard error and exits with the code.
struct Failure : std::runtime_error {
  int code;
  Failure(const std::string& message, int exitCode = kExitFailed) : std::runtime_error(message), code(exitCode) {}
};
[[noreturn]] inline void Fail(const std::string& message, int code = kExitFailed) { throw Failure(message, code); }

// How much a command says on standard error (--log-level): quiet nothing
// but failures; normal progress and the engine's warnings; verbose also
// what it opens, renders and writes; debug also every report of the
// engine as it comes.
enum class LogLevel { Quiet, Normal, Verbose, Debug };

// Options every sub-command understands.
struct Common {
  LogLevel level = LogLevel::Normal;
  std::vector<std::string> pluginDirs;
  std::string memory;  // --memory: the engine's memory budget ("2G"); "" for the automatic one
  bool Quiet() const { return level == LogLevel::Quiet; }
  bool Verbose() const { return level >= LogLevel::Verbose; }
  // Whether TAVELO_PLUGIN_PATH, the user's and the installation's plug-in
  // folders are scanned too (plugin_folders.h).
  bool defaultPluginFolders = true;
};

// A line on standard error ("tavelo: ...") at --log-level verbose or debug.
void Verbose(const Common& common, const std::string& text);

// "1 frame", "2 frames".
std::string Count(int64_t n, const std::string& singular, const std::string& plural = {});

// A sub-command's parser callback stores what to run here; main runs it once
// parsing succeeded.
struct Dispatch {
  Common common;
  std::function<int()> run;
};

// Each sub-command file adds its sub-command to the application.
void AddVersionCommand(CLI::App& app, Dispatch& d);
void AddDemoCommand(CLI::App& app, Dispatch& d);
void AddBuildCommand(CLI::App& app, Dispatch& d);
void AddInfoCommand(CLI::App& app, Dispatch& d);
void AddFrameCommand(CLI::App& app, Dispatch& d);
void AddRenderCommand(CLI::App& app, Dispatch& d);
void AddPluginsCommand(CLI::App& app, Dispatch& d);
void AddAudioCommands(CLI::App& app, Dispatch& d);
void AddKeysCommand(CLI::App& app, Dispatch& d);
void AddSheetCommand(CLI::App& app, Dispatch& d);
void AddFarmCommand(CLI::App& app, Dispatch& d);
void AddFormatsCommand(CLI::App& app, Dispatch& d);
void AddViewCommand(CLI::App& app, Dispatch& d);
// The hidden _man and _complete (cmd_manual.cpp); added after every other command.
void AddManualCommands(CLI::App& app, Dispatch& d);

// Adds --log-level (and its -q), --memory (unless the sub-command has a
// --memory of its own) and --plugins to a sub-command.
void AddCommonOptions(CLI::App& sub, Common& common, bool withPlugins, bool withMemory = true);
// Adds -c/--comp: the composition, which may be left out when the project
// has only one.
void AddCompOption(CLI::App& sub, std::string& comp);

}  // namespace tavelo
