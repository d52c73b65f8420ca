// `tavelo farm`: a render split into frame ranges that run as tasks of a
// Slurm job array, all writing one numbered still sequence into one shared
// folder with frame reservations (reserve.h); the state of such a render;
// and the finished sequence joined into a movie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"

namespace tavelo {

// What a numbered frame's file says about it.
enum class FrameState { Missing, Reserved, Abandoned, Done };

struct SequenceScan {
  std::vector<int64_t> numbers;    // the frames looked at
  std::vector<FrameState> frames;  // the state of each
  int64_t done = 0, reserved = 0, abandoned = 0, missing = 0;
  // The frames in that state.
  std::vector<int64_t> In(FrameState state) const;
};
// Looks at the files of the frames of the pattern ("#" run: the frame
// number). A frame is done when its file is whole (StillIsWhole); an empty
// file is a reservation, abandoned when untouched for staleSeconds or more;
// a file cut short counts as missing.
SequenceScan ScanSequence(const std::string& pattern, const std::vector<int64_t>& frames, int64_t staleSeconds);
// The numbers of the frames whose files match the pattern in its folder
// (finished or reserved), sorted.
std::vector<int64_t> FramesOnDisk(const std::string& pattern);
// The frames of a --frames list (an open range ends at the last frame on
// disk), else from the first to the last found on disk (none when there is
// none).
std::vector<int64_t> FramesOf(const std::string& text, const std::string& pattern);

// Runs a program (searched on PATH) with its standard output captured;
// standard error goes on to ours unless quietErrors. Returns its exit code
// (127 when it cannot be started).
int RunCapture(const std::vector<std::string>& argv, std::string* out, bool quietErrors = false);
// The text quoted for a POSIX shell ('...').
std::string ShellQuote(const std::string& text);

// The job script of a farm render (what `farm submit --dry-run` prints).
struct FarmJob {
  std::string tavelo;  // the program the nodes run (an absolute path)
  std::string project, comp, output, resolution;
  std::string movie, codec;  // a movie assembled from the stills once every task ended well ("": none)
  std::vector<std::string> pluginDirs;
  std::vector<int64_t> frames;  // ascending
  int64_t chunk = 10, staleAfter = 600;
  std::string partition, logDir, workDir;
  std::vector<std::string> slurmArgs;  // extra #SBATCH lines ("--time=2:00:00")
  int64_t memMB = 0;                   // the task's --mem request (0: none written)
  int64_t peakBytes = 0;               // resident peak of the frame rendered at submission (0: not measured)
  bool memGiven = false;               // memMB from the user's --mem, not measured
  int64_t threads = 1, maxParallel = 0;  // --cpus-per-task; the array's %N (0: none)
  std::string jobName = "tavelo", timeLimit, comment;
  double fps = 24, secondsPerFrame = 0;  // secondsPerFrame: measured or given (0: neither)
  bool measured = false;
  std::string memory;                  // the task's --memory option ("" for none)
  int64_t Tasks() const { return (static_cast<int64_t>(frames.size()) + chunk - 1) / chunk; }
  // The frame list of task i (chunk frames of the list, in order).
  std::string TaskFrames(int64_t i) const;
};
std::string JobScript(const FarmJob& job);
// The script of the job that assembles a movie job's stills with the
// composition's sound, after the array arrayId.
std::string AssembleScript(const FarmJob& job, const std::string& arrayId);

void AddFarmSubmit(CLI::App& farm, Dispatch& d);
void AddFarmStatus(CLI::App& farm, Dispatch& d);
void AddFarmAssemble(CLI::App& farm, Dispatch& d);

}  // namespace tavelo
