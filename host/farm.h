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
  std::vector<FrameState> frames;  // frames first..last
  int64_t first = 0, last = -1;
  int64_t done = 0, reserved = 0, abandoned = 0, missing = 0;
};
// Looks at the files of frames first..last of the pattern ("#" run: the
// frame number). An empty file is a reservation, abandoned when untouched
// for staleSeconds or more.
SequenceScan ScanSequence(const std::string& pattern, int64_t first, int64_t last, int64_t staleSeconds);
// The numbers of the frames whose files match the pattern in its folder
// (finished or reserved), sorted.
std::vector<int64_t> FramesOnDisk(const std::string& pattern);
// "A-B" or "A" (frame numbers from 0); a usage Failure otherwise.
void ParseFrames(const std::string& text, int64_t* first, int64_t* last);
// The frames of --frames, else from the first to the last found on disk
// (last < first when there is none).
void FramesOf(const std::string& text, const std::string& pattern, int64_t* first, int64_t* last);
// "3, 7-9, 12" for a sorted list of frame numbers.
std::string FrameList(const std::vector<int64_t>& frames);

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
  std::vector<std::string> pluginDirs;
  int64_t first = 0, last = 0, chunk = 10, staleAfter = 600;
  std::string partition, logDir, workDir;
  std::vector<std::string> slurmArgs;  // extra #SBATCH lines ("--time=2:00:00")
  int64_t memMB = 0;                   // the task's --mem request (0: none written)
  std::string memory;                  // the task's --memory option ("" for none)
  int64_t Tasks() const { return (last - first) / chunk + 1; }
};
std::string JobScript(const FarmJob& job);

void AddFarmSubmit(CLI::App& farm, Dispatch& d);
void AddFarmStatus(CLI::App& farm, Dispatch& d);
void AddFarmAssemble(CLI::App& farm, Dispatch& d);

}  // namespace tavelo
