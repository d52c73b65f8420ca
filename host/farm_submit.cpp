// `tavelo farm submit`: writes the job script of a farm render (a Slurm job
// array, each task rendering its own chunk of frames with reservations into
// the shared output folder) and hands it to sbatch, printing the job id.
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "description.h"
#include "farm.h"
#include "frame_list.h"
#include "image_file.h"
#include "memory_budget.h"
#include "movie_render.h"
#include "output_name.h"
#include "project.h"
#include "reserve.h"
#include "session.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

struct SubmitOptions {
  std::string project, comp, frames, output, partition, resolution, logDir, tavelo, mem, time, jobName, codec;
  std::vector<std::string> slurmArgs;
  int64_t chunk = 10, staleAfter = kDefaultStaleSeconds, threads = 1, maxParallel = 0;
  double timePerFrame = 0;  // seconds; 0: measured at submission
  bool dryRun = false;
};

// A task's time limit: its frames at twice the time a frame took (nodes
// differ, frames differ) plus two minutes to start, in whole minutes.
int64_t TaskSeconds(int64_t frames, double secondsPerFrame) {
  const double s = static_cast<double>(frames) * secondsPerFrame * 2 + 120;
  return (static_cast<int64_t>(std::ceil(s)) + 59) / 60 * 60;
}

// Slurm's D-HH:MM:SS.
std::string SlurmTime(int64_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%lld-%02lld:%02lld:%02lld", static_cast<long long>(seconds / 86400),
                static_cast<long long>(seconds / 3600 % 24), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return text;
}

// The job's name in squeue: tavelo:PROJECT:COMP, blanks made underscores.
std::string JobNameOf(const std::string& project, const std::string& comp) {
  std::string name = "tavelo:" + fs::path(project).stem().string() + ":" + comp;
  for (char& c : name)
    if (std::isspace(static_cast<unsigned char>(c)) || c == '"') c = '_';
  return name;
}

// Whether an --slurm-arg sets the option `name` (with prefix, any option
// starting so: "--mem" also matches "--mem-per-cpu").
bool InSlurmArgs(const std::vector<std::string>& args, const std::string& name, bool prefix = false) {
  for (const std::string& a : args)
    if (a == name || a.rfind(name + (prefix ? "" : "="), 0) == 0) return true;
  return false;
}

// The program the nodes run: this very build unless --tavelo names another
// (every node must reach it at the same path: shared storage or the same
// installation).
std::string ThisProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("tavelo") : self.string();
}

// Peak resident memory of this process so far, in bytes (0 when unknown).
int64_t PeakResident() {
  rusage use{};
  if (::getrusage(RUSAGE_SELF, &use) != 0) return 0;
  return static_cast<int64_t>(use.ru_maxrss) * 1024;  // kilobytes on Linux
}

// A task's memory request from the peak of the frame rendered at
// submission: twice that peak (a later frame may need more, and the frame
// cache fills the budget the limit gives) plus room for the still writer,
// or for the encoder of a movie's assembly, in whole MiB.
int64_t MeasuredTaskMB(int64_t peakBytes, bool movie) {
  const int64_t marginMB = movie ? 512 : 256;
  return (2 * peakBytes + (int64_t{1} << 20) - 1) / (int64_t{1} << 20) + marginMB;
}

// The project is opened here once (the nodes open it again): the
// composition is found (the only one when --comp is left out) and the frame
// list checked against its end before anything is submitted.
// Without --time or --time-per-frame, or without a memory request, the
// list's first frame is rendered here once, with the tasks' threads, to
// time it and to measure the memory it takes.
void CompFrames(const SubmitOptions& o, const Common& common, bool measureMemory, FarmJob* job) {
  Common quiet = common;
  quiet.level = LogLevel::Quiet;
  Session session(quiet);
  LoadProject(o.project);
  BEE_Item comp = FindComp(o.comp);
  job->comp = ItemName(comp);
  RefuseMissingFootage(comp, "the farm's tasks would refuse to render it");
  if (!o.resolution.empty()) SetResolution(comp, o.resolution);
  const FrameGrid grid = GridOf(comp);
  if (grid.count < 1) Fail("the composition has no frames");
  // The movie is assembled after every frame is rendered: its codec must
  // take the frame size, or the farm's work would be lost at the end.
  if (!job->movie.empty()) {
    int32_t width = 0, height = 0;
    Check(BEE_GetCompDimensionsDSF(comp, &width, &height, nullptr), "reading the frame size");
    const bool fields = LastDescriptionRender().fieldOrder != 0;
    CheckMovieFrameSize(MovieCodec(job->movie, job->codec), width, height, fields);
  }
  job->frames = o.frames.empty() ? FrameSpan(0, grid.count - 1) : ParseFrameList(o.frames, grid.count - 1);
  job->fps = static_cast<double>(grid.frame.scale) / grid.frame.value;
  job->secondsPerFrame = o.timePerFrame;
  const bool measureTime = o.time.empty() && o.timePerFrame <= 0;
  if (!measureTime && !measureMemory) return;
  if (BEE_SetRenderThreads(static_cast<int32_t>(o.threads))) Fail("cannot use " + std::to_string(o.threads) + " render threads");
  const auto start = std::chrono::steady_clock::now();
  RenderFrame(comp, job->frames.front());
  if (measureTime) {
    job->secondsPerFrame = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    job->measured = true;
  }
  if (measureMemory) job->peakBytes = PeakResident();
}

// Hands a script to sbatch (kept in the log folder as JOB.sh, or
// JOB.TAG.sh) and returns the job id.
std::string Sbatch(const std::string& script, const std::string& logDir, const std::string& tag) {
  const std::string file = (fs::path(logDir) / ("submit." + std::to_string(::getpid()) + ".sh")).string();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << script;
    if (!out.flush()) Fail("cannot write the job script \"" + file + "\"");
  }
  std::string answer;
  const int code = RunCapture({"sbatch", "--parsable", file}, &answer);
  if (code == 127) Fail("cannot run sbatch (is Slurm installed here? --dry-run prints the script)");
  if (code != 0) Fail("sbatch refused the job (exit " + std::to_string(code) + ")");
  const std::string id = answer.substr(0, answer.find_first_of(";\n"));
  if (id.empty()) Fail("sbatch gave no job id");
  std::error_code ec;
  fs::rename(file, fs::path(logDir) / (id + (tag.empty() ? "" : "." + tag) + ".sh"), ec);
  return id;
}

int Submit(const SubmitOptions& o, const Common& common) {
  if (o.chunk < 1) Fail("--chunk must be 1 or more frames", kExitUsage);
  if (o.staleAfter < 0) Fail("--stale-after must be 0 or more seconds", kExitUsage);
  if (!o.frames.empty()) CheckFrameList(o.frames);
  if (o.threads < 1 || o.threads > 64) Fail("--threads must be 1 to 64", kExitUsage);
  if (o.maxParallel < 0) Fail("--max-parallel must be 1 or more tasks (0: no limit)", kExitUsage);
  if (o.timePerFrame < 0) Fail("--time-per-frame must be more than 0 seconds", kExitUsage);
  if (!o.time.empty() && o.timePerFrame > 0) Fail("give --time or --time-per-frame, not both", kExitUsage);
  if (o.time.find_first_not_of("0123456789:-") != std::string::npos)
    Fail("--time \"" + o.time + "\" is not a Slurm time (MINUTES, H:MM:SS or D-HH:MM:SS)", kExitUsage);
  for (const char* own : {"--cpus-per-task", "--time", "--array", "--job-name", "--comment"})
    if (InSlurmArgs(o.slurmArgs, own))
      Fail(std::string("give ") + own + " through farm submit's own options, not --slurm-arg", kExitUsage);
  FarmJob job;
  job.project = AbsolutePath(o.project);
  std::error_code ec;
  if (!fs::is_regular_file(job.project, ec)) Fail("no project \"" + o.project + "\"");
  const std::string requested = AbsolutePath(ResolveOutput(o.output, ""));
  if (IsMovieExtension(ExtensionOf(requested))) {
    // A movie: the tasks render numbered stills into a folder beside it, and
    // a job that waits for all of them joins them with the sound.
    job.movie = requested;
    job.codec = o.codec;
    MovieCodec(job.movie, job.codec);
    const std::string stem = fs::path(job.movie).stem().string();
    job.output = (fs::path(job.movie).parent_path() / (stem + "_frames") / (stem + "_#####.png")).string();
  } else {
    if (!o.codec.empty()) Fail("--codec is for movies (.mp4, .mov, .mkv, .avi)", kExitUsage);
    job.output = AbsolutePath(WithFrameField(requested));
  }
  job.resolution = o.resolution;
  for (const std::string& dir : common.pluginDirs) job.pluginDirs.push_back(AbsolutePath(dir));
  // The task's memory: Slurm confines it to a control group of that limit,
  // and the engine's budget in the task comes from that limit.
  const bool memInArgs = InSlurmArgs(o.slurmArgs, "--mem", true);
  if (memInArgs && !o.mem.empty()) Fail("give --mem or --slurm-arg=--mem..., not both", kExitUsage);
  const int64_t memBytes = o.mem.empty() ? 0 : ParseMemorySize(o.mem, "--mem");
  CompFrames(o, common, !memInArgs && o.mem.empty(), &job);
  if (!job.movie.empty() && !IsOneSpan(job.frames))
    Fail("a movie is made of one span of frames (A-B), not \"" + o.frames + "\"", kExitUsage);
  job.chunk = o.chunk;
  job.staleAfter = o.staleAfter;
  job.partition = o.partition;
  job.slurmArgs = o.slurmArgs;
  job.threads = o.threads;
  job.maxParallel = o.maxParallel;
  job.jobName = o.jobName.empty() ? JobNameOf(job.project, job.comp) : o.jobName;
  const int64_t perTask = std::min<int64_t>(job.chunk, static_cast<int64_t>(job.frames.size()));
  job.timeLimit = !o.time.empty() ? o.time : SlurmTime(TaskSeconds(perTask, job.secondsPerFrame));
  // The comment lets `farm status JOB` find the sequence while the
  // scheduler remembers the job.
  job.comment = "tavelo:frames=" + FrameListText(job.frames) + ":stale=" + std::to_string(job.staleAfter) +
                ":output=" + job.output;
  if (memBytes > 0) job.memMB = (memBytes + (1 << 20) - 1) >> 20;
  else if (job.peakBytes > 0) job.memMB = MeasuredTaskMB(job.peakBytes, !job.movie.empty());
  job.memGiven = memBytes > 0;
  job.memory = common.memory;
  job.tavelo = o.tavelo.empty() ? ThisProgram() : AbsolutePath(o.tavelo);
  job.workDir = fs::path(job.output).parent_path().string();  // shared by every node
  job.logDir = AbsolutePath(o.logDir.empty() ? (fs::path(job.output).parent_path() / ".tavelo-farm").string()
                                             : o.logDir);
  const std::string script = JobScript(job);
  if (o.dryRun) {
    std::fputs(script.c_str(), stdout);
    if (!job.movie.empty())
      std::printf("\n# Then, submitted with the array's job id:\n%s", AssembleScript(job, "ARRAY_JOB_ID").c_str());
    return kExitDone;
  }
  fs::create_directories(job.logDir, ec);
  if (ec) Fail("cannot make the log folder \"" + job.logDir + "\": " + ec.message());
  const std::string id = Sbatch(script, job.logDir, "");
  std::printf("%s\n", id.c_str());
  if (!common.Quiet())
    std::fprintf(stderr, "tavelo: job %s: %s of up to %s, frames %s into %s\n", id.c_str(),
                 Count(job.Tasks(), "task").c_str(), Count(job.chunk, "frame").c_str(),
                 FrameListText(job.frames).c_str(), job.output.c_str());
  if (job.movie.empty()) return kExitDone;
  const std::string assemble = Sbatch(AssembleScript(job, id), job.logDir, "assemble");
  if (!common.Quiet())
    std::fprintf(stderr, "tavelo: job %s assembles %s once every task of job %s has ended well\n", assemble.c_str(),
                 job.movie.c_str(), id.c_str());
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
  if (job.measured || job.secondsPerFrame > 0) {
    char line[160];
    std::snprintf(line, sizeof line, "# Time limit: %.2f s a frame (%s), twice that for each frame, plus 2 minutes.\n",
                  job.secondsPerFrame, job.measured ? "one frame rendered at submission" : "given");
    s += line;
  }
  if (job.memMB > 0) {
    const std::string margin = job.movie.empty() ? "256 MiB for writing the stills" : "512 MiB for encoding the movie";
    s += job.memGiven ? "# Memory: as given (--mem).\n"
                      : "# Memory: " + FormatBytes(job.peakBytes) +
                            " peak resident (one frame rendered at submission), twice that plus " + margin + ".\n";
  }
  s += "#SBATCH --job-name=" + job.jobName + "\n";
  s += "#SBATCH --array=0-" + n + (job.maxParallel > 0 ? "%" + std::to_string(job.maxParallel) : "") + "\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(job.threads) + "\n";
  if (!job.timeLimit.empty()) s += "#SBATCH --time=" + job.timeLimit + "\n";
  // What `farm status JOB` reads back; quoted, or sbatch would take the
  // frame field's '#' for the start of a remark.
  s += "#SBATCH --comment=\"" + job.comment + "\"\n";
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
       " --reserve --stale-after \"$stale\" --threads \"${SLURM_CPUS_PER_TASK:-" + std::to_string(job.threads) + "}\"";
  if (!job.resolution.empty()) s += " --resolution " + ShellQuote(job.resolution);
  if (!job.memory.empty()) s += " --memory " + ShellQuote(job.memory);
  for (const std::string& dir : job.pluginDirs) s += " --plugins " + ShellQuote(dir);
  s += "\n";
  return s;
}

std::string AssembleScript(const FarmJob& job, const std::string& arrayId) {
  std::string s;
  s += "#!/bin/bash\n";
  s += "# tavelo farm assemble: frames " + FrameListText(job.frames) + " of \"" + job.comp + "\" into " + job.movie +
       " with its sound, once every task of job " + arrayId + " has ended well.\n";
  s += "#SBATCH --job-name=" + job.jobName + ":assemble\n";
  s += "#SBATCH --dependency=afterok:" + arrayId + "\n";
  s += "#SBATCH --kill-on-invalid-dep=yes\n";  // a failed task ends it instead of leaving it pending
  s += "#SBATCH --output=" + job.logDir + "/%j.log\n";
  s += "#SBATCH --chdir=" + job.workDir + "\n";
  if (!job.partition.empty()) s += "#SBATCH --partition=" + job.partition + "\n";
  if (job.memMB > 0) s += "#SBATCH --mem=" + std::to_string(job.memMB) + "M\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(job.threads) + "\n";
  // Reading a still and encoding it: well under a second a frame.
  s += "#SBATCH --time=" + SlurmTime(TaskSeconds(static_cast<int64_t>(job.frames.size()), 1)) + "\n";
  for (const std::string& a : job.slurmArgs) s += "#SBATCH " + a + "\n";
  s += "exec " + ShellQuote(job.tavelo) + " farm assemble " + ShellQuote(job.output) + " -o " + ShellQuote(job.movie) +
       " --frames " + FrameListText(job.frames) + " --project " + ShellQuote(job.project) + " --comp " +
       ShellQuote(job.comp);
  if (!job.codec.empty()) s += " --codec " + ShellQuote(job.codec);
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
  sub->add_option("--threads", o.threads, "render threads of a task, and the CPUs it asks Slurm for (default 1)");
  sub->add_option("--max-parallel", o.maxParallel, "at most this many tasks running at once (default: no limit)");
  sub->add_option("--time", o.time,
                  "a task's time limit for Slurm: MINUTES, H:MM:SS or D-HH:MM:SS (default: from --time-per-frame)");
  sub->add_option("--time-per-frame", o.timePerFrame,
                  "seconds a frame takes on a node (default: one frame is rendered and timed at submission); a "
                  "task's limit is twice that for each of its frames plus 2 minutes");
  sub->add_option("--job-name", o.jobName, "the job's name in squeue (default tavelo:PROJECT:COMP)");
  sub->add_option("-o,--output", o.output,
                  "numbered still name in a shared folder, such as /farm/out/shot_#####.png, or a movie (.mp4, "
                  ".mov, .mkv, .avi): stills in NAME_frames/ beside it, then a job that assembles them with sound")
      ->required();
  sub->add_option("--codec", o.codec, "movies: h264, prores, prores4444, png, animation (default: the container's first)");
  sub->add_option("-r,--resolution", o.resolution, "full, half, third or quarter");
  sub->add_option("--partition", o.partition, "the Slurm partition");
  sub->add_option("--mem", o.mem,
                  "memory a task asks Slurm for, such as 2G (default: twice the peak of one frame rendered at "
                  "submission, plus 256 MiB, or 512 MiB for a movie); the task's memory budget comes from it");
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
