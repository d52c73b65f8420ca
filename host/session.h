// One run of the engine for a sub-command: the packages born in dependency
// order and killed in reverse, the engine's reports collected (they become
// the text of a failure), plug-in folders scanned, and Ctrl-C turned into
// the engine's abort.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "BEE.h"
#include "FILE.h"
#include "Types.h"
#include "cli.h"
#include "plugin_folders.h"

namespace tavelo {

// Ctrl-C (SIGINT) and SIGTERM set a flag that the engine's progress polls
// read: the frame being rendered ends with 517 and the command exits with
// 128 + the signal (130, 143). A second one ends the process at once.
void InstallInterruptHandler();
bool Interrupted();
// The signal that interrupted the command (0 when none).
int InterruptSignal();

struct Report {
  Severity severity;
  std::string text;
};

// What the scan of one plug-in folder found: the effect classes first to
// end - 1 and the reports of the files it skipped.
struct PluginScan {
  PluginFolder folder;
  bool present = false;
  int32_t first = 0, end = 0;
  std::vector<Report> reports;
};

class Session {
 public:
  // Births every package a sub-command may need and scans the plug-in
  // folders (plugin_folders.h); throws Failure when the engine cannot start
  // or a folder given with --plugins does not exist.
  explicit Session(const Common& common);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The reports heard so far (and forgets them).
  std::vector<Report> TakeReports();
  // The text of the last report of severity error or worse ("" when none).
  std::string LastError() const;
  // Whether warnings and notes go to standard error as they come (they do
  // unless --log-level quiet).
  bool echo = true;
  // Every report goes to standard error as it comes (--log-level debug).
  bool echoAll = false;

  // Hears each movie status record while BEE_CmdMakeMovie renders.
  std::function<void(const BEE_MovieStatus&)> movieStatus;

  // The effects built into the engine, and what each plug-in folder held.
  int32_t builtInEffects = 0;
  std::vector<PluginScan> scans;

  static Session* current;
  void Shutdown();
  std::vector<Report> reports;
};

// Throws Failure("<what> failed: <the engine's last error report> (code N)"),
// or exit 130 for an abort (517) after an interrupt.
[[noreturn]] void EngineFail(const std::string& what, ErrorCode err);
// Calls EngineFail when err is not 0.
inline void Check(ErrorCode err, const std::string& what) {
  if (err) EngineFail(what, err);
}

// An absolute, normalised form of a path given on the command line.
std::string AbsolutePath(const std::string& path);

// A file reference the engine's file layer understands (an absolute path);
// throws Failure when the path cannot be named.
struct FileRef {
  FILE_SpecH spec = nullptr;
  explicit FileRef(const std::string& path);
  ~FileRef();
  FileRef(const FileRef&) = delete;
  FileRef& operator=(const FileRef&) = delete;
};

}  // namespace tavelo
