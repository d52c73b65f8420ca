// `tavelo farm submit`: writes the job script of a farm render (a Slurm job
// array, each task rendering its own chunk of frames with reservations into
// the shared output folder) and hands it to sbatch, printing the job id.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "farm.h"
#include "frame_list.h"
#include "image_file.h"
#include "memory_budget.h"
#include "output_name.h"
#include "project.h"
#include "reserve.h"
#include "session.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

// What a task asks Slurm for when --mem is not given: room for the
// engine's budget (about half of it, see docs/render-farm.md) to hold a
// 4K frame's working set.
constexpr const char* kDefaultTaskMemory = "4G";

struct SubmitOptions {
  std::string project, comp, frames, output, partition, resolution, logDir, tavelo, mem;
  std::vector<std::string> slurmArgs;
  int64_t chunk = 10, staleAfter = kDefaultStaleSeconds;
  bool dryRun = false;
};

// The program the nodes run: this very build unless --tavelo names another
// (every node must reach it at the same path: shared storage or the same
// installation).
std::string ThisProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("tavelo") : self.string();
}

// The project is opened here once (the nodes open it again): the
// composition is found (the only one when --comp is left out) and the frame
// list checked against its end before anything is submitted.
void CompFrames(const SubmitOptions& o, const Common& common, FarmJob* job) {
  Common quiet = common;
  quiet.level = LogLevel::Quiet;
  Session session(quiet);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  job->comp = ItemName(comp);
  const FrameGrid grid = GridOf(comp);
  if (grid.count < 1) Fail("the composition has no frames");
  job->frames = o.frames.empty() ? FrameSpan(0, grid.count - 1) : ParseFrameList(o.frames, grid.count - 1);
}

int Submit(const SubmitOptions& o, const Common& common) {
  if (o.chunk < 1) Fail("--chunk must be 1 or more frames", kExitUsage);
  if (o.staleAfter < 0) Fail("--stale-after must be 0 or more seconds", kExitUsage);
  if (!o.frames.empty()) CheckFrameList(o.frames);
  FarmJob job;
  job.project = AbsolutePath(o.project);
  std::error_code ec;
  if (!fs::is_regular_file(job.project, ec)) Fail("no project \"" + o.project + "\"");
  job.output = AbsolutePath(WithFrameField(ResolveOutput(o.output, "")));
  if (IsMovieExtension(ExtensionOf(job.output)))
    Fail("a farm renders numbered stills (join them with `farm assemble`), not \"" + o.output + "\"", kExitUsage);
  job.resolution = o.resolution;
  for (const std::string& dir : common.pluginDirs) job.pluginDirs.push_back(AbsolutePath(dir));
  CompFrames(o, common, &job);
  job.chunk = o.chunk;
  job.staleAfter = o.staleAfter;
  job.partition = o.partition;
  job.slurmArgs = o.slurmArgs;
  // The task's memory: Slurm confines it to a control group of that limit,
  // and the engine's budget in the task comes from that limit.
  bool memInArgs = false;
  for (const std::string& a : o.slurmArgs) memInArgs = memInArgs || a.rfind("--mem", 0) == 0;
  if (memInArgs && !o.mem.empty()) Fail("give --mem or --slurm-arg=--mem..., not both", kExitUsage);
  if (!memInArgs) {
    const int64_t bytes = ParseMemorySize(o.mem.empty() ? kDefaultTaskMemory : o.mem, "--mem");
    job.memMB = (bytes + (1 << 20) - 1) >> 20;
  }
  job.memory = common.memory;
  job.tavelo = o.tavelo.empty() ? ThisProgram() : AbsolutePath(o.tavelo);
  job.workDir = fs::path(job.output).parent_path().string();  // shared by every node
  job.logDir = AbsolutePath(o.logDir.empty() ? (fs::path(job.output).parent_path() / ".tavelo-farm").string()
                                             : o.logDir);
  const std::string script = JobScript(job);
  if (o.dryRun) {
    std::fputs(script.c_str(), stdout);
    return kExitDone;
  }
  fs::create_directories(job.logDir, ec);
  if (ec) Fail("cannot make the log folder \"" + job.logDir + "\": " + ec.message());
  const std::string file = (fs::path(job.logDir) / ("submit." + std::to_string(::getpid()) + ".sh")).string();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << script;
    if (!out.flush()) Fail("cannot write the job script \"" + file + "\"");
  }
  // The comment lets `farm status JOB` find the sequence while the
  // scheduler remembers the job.
  const std::string comment = "tavelo:frames=" + FrameListText(job.frames) +
                              ":stale=" + std::to_string(job.staleAfter) + ":output=" + job.output;
  std::string answer;
  const int code = RunCapture({"sbatch", "--parsable", "--comment=" + comment, file}, &answer);
  if (code == 127) Fail("cannot run sbatch (is Slurm installed here? --dry-run prints the script)");
  if (code != 0) Fail("sbatch refused the job (exit " + std::to_string(code) + ")");
  const std::string id = answer.substr(0, answer.find_first_of(";\n"));
  if (id.empty()) Fail("sbatch gave no job id");
  fs::rename(file, fs::path(job.logDir) / (id + ".sh"), ec);
  std::printf("%s\n", id.c_str());
  if (!common.Quiet())
    std::fprintf(stderr, "tavelo: job %s: %s of up to %s, frames %s into %s\n", id.c_str(),
                 Count(job.Tasks(), "task").c_str(), Count(job.chunk, "frame").c_str(),
                 FrameListText(job.frames).c_str(), job.output.c_str());
  return kExitDone;
}

}  // namespace

std::string FarmJob::TaskFrames(int64_t i) const {
  const auto from = frames.begin() + i * chunk;
  const auto to = frames.begin() + std::min<int64_t>(static_cast<int64_t>(frames.size()), (i + 1) * chunk);
  return FrameListText(std::vector<int64_t>(from, to));
}

std::string JobScript(const FarmJob& job) {
  const std::string n = std::to_string(job.Tasks() - 1);
  std::string s;
  s += "#!/bin/bash\n";
  s += "# tavelo farm render: frames " + FrameListText(job.frames) + " of \"" + job.comp + "\", " +
       Count(job.chunk, "frame") + " a task.\n";
  s += "#SBATCH --job-name=tavelo\n";
  s += "#SBATCH --array=0-" + n + "\n";
  s += "#SBATCH --output=" + job.logDir + "/%A_%a.log\n";
  s += "#SBATCH --open-mode=append\n";  // a retried task's log keeps its earlier run
  s += "#SBATCH --chdir=" + job.workDir + "\n";
  if (!job.partition.empty()) s += "#SBATCH --partition=" + job.partition + "\n";
  if (job.memMB > 0) s += "#SBATCH --mem=" + std::to_string(job.memMB) + "M\n";
  for (const std::string& a : job.slurmArgs) s += "#SBATCH " + a + "\n";
  s += "set -u\n";
  s += "# The frames of each task, by its index in the array.\n";
  s += "tasks=(";
  for (int64_t i = 0; i < job.Tasks(); ++i) s += (i ? " " : "") + job.TaskFrames(i);
  s += ")\n";
  s += "frames=${tasks[$SLURM_ARRAY_TASK_ID]}\n";
  s += "stale=" + std::to_string(job.staleAfter) + "\n";
  s += "# A retried task reruns frames no other task covers: the empty\n";
  s += "# reservations its earlier run left are abandoned and retaken at once.\n";
  s += "if [ \"${SLURM_RESTART_COUNT:-0}\" -gt 0 ]; then stale=0; fi\n";
  s += "echo \"tavelo farm task ${SLURM_ARRAY_TASK_ID}: frames ${frames} on $(hostname), pid $$\"\n";
  s += "exec " + ShellQuote(job.tavelo) + " render " + ShellQuote(job.project) + " --comp " +
       ShellQuote(job.comp) + " --frames \"$frames\" --output " + ShellQuote(job.output) +
       " --reserve --stale-after \"$stale\" --threads \"${SLURM_CPUS_PER_TASK:-1}\"";
  if (!job.resolution.empty()) s += " --resolution " + ShellQuote(job.resolution);
  if (!job.memory.empty()) s += " --memory " + ShellQuote(job.memory);
  for (const std::string& dir : job.pluginDirs) s += " --plugins " + ShellQuote(dir);
  s += "\n";
  return s;
}

void AddFarmSubmit(CLI::App& farm, Dispatch& d) {
  static SubmitOptions o;
  auto* sub = farm.add_subcommand("submit", "submit a render as a Slurm job array (prints the job id)");
  sub->add_option("PROJECT", o.project, "project file, or a .json project description (on shared storage)")
      ->required();
  AddCompOption(*sub, o.comp);
  sub->add_option("--frames", o.frames,
                  "frames from 0: 0-99, 1-99x2, 10-, or a comma list of these (default: all)");
  sub->add_option("--chunk", o.chunk, "frames a task renders (default 10)");
  sub->add_option("-o,--output", o.output,
                  "numbered still name in a shared folder, such as /farm/out/shot_#####.png")
      ->required();
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  sub->add_option("--partition", o.partition, "the Slurm partition");
  sub->add_option("--mem", o.mem,
                  std::string("memory a task asks Slurm for, such as 2G (default ") + kDefaultTaskMemory +
                      "); the task's memory budget comes from it");
  sub->add_option("--slurm-arg", o.slurmArgs,
                  "an sbatch option for the script, written --slurm-arg=--mem=4G (may be repeated)");
  sub->add_option("--stale-after", o.staleAfter,
                  "seconds after which a dead task's reservation is retaken (default 600)");
  sub->add_option("--log-dir", o.logDir,
                  "where the script and task logs go (default OUTPUT_FOLDER/.tavelo-farm)");
  sub->add_option("--tavelo", o.tavelo, "the tavelo program the nodes run (default: this one)");
  sub->add_flag("--dry-run", o.dryRun, "print the job script, submit nothing");
  AddCommonOptions(*sub, d.common, true);
  sub->callback([&d] { d.run = [&d] { return Submit(o, d.common); }; });
}

}  // namespace tavelo
