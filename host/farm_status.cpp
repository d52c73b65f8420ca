// `tavelo farm status`: how far a farm render is. The frames come from the
// output folder (finished, reserved by a running task, abandoned by a dead
// one, missing); the tasks' states from sacct when the cluster keeps
// accounting, else from the controller (scontrol) while it remembers the job.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>

#include "farm.h"
#include "frame_list.h"
#include "output_name.h"
#include "project.h"
#include "reserve.h"
#include "session.h"

namespace tavelo {
namespace {

struct StatusOptions {
  std::string job, output, frames, project, comp;
  bool json = false;
  int64_t staleAfter = -1;  // -1: the job's own, else the default
};

struct Task {
  std::string id, state;
};

// What the controller knows of the job: its tasks and the comment
// `farm submit` left ("tavelo:frames=LIST:stale=S:output=PATH").
struct JobInfo {
  std::vector<Task> tasks;
  std::string comment, source;
};

// The value of "Key=" in a line of `scontrol -o` output: up to the next
// " Word=" (values such as a comment may hold spaces).
std::string FieldRaw(const std::string& line, const std::string& key);
std::string Field(const std::string& line, const std::string& key) {
  std::string v = FieldRaw(line, key);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
  return v;
}
std::string FieldRaw(const std::string& line, const std::string& key) {
  const std::string k = " " + key + "=";
  size_t at = (" " + line).find(k);
  if (at == std::string::npos) return "";
  at += k.size() - 1;
  size_t end = at;
  while (end < line.size()) {
    const size_t sp = line.find(' ', end);
    if (sp == std::string::npos) return line.substr(at);
    size_t w = sp + 1;
    while (w < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[w])) || line[w] == '_' || line[w] == ':'))
      ++w;
    if (w < line.size() && line[w] == '=' && w > sp + 1) return line.substr(at, sp - at);
    end = sp + 1;
  }
  return line.substr(at);
}

JobInfo AskScheduler(const std::string& job) {
  JobInfo info;
  std::string out;
  if (RunCapture({"sacct", "-n", "-P", "-X", "-j", job, "-o", "JobID,State,Comment"}, &out, true) == 0) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> cols;
      std::istringstream cells(line);
      for (std::string c; std::getline(cells, c, '|');) cols.push_back(c);
      if (cols.size() < 2) continue;
      info.tasks.push_back({cols[0], cols[1]});
      if (cols.size() > 2 && info.comment.empty()) info.comment = cols[2];
    }
    if (!info.tasks.empty()) {
      info.source = "sacct";
      return info;
    }
  }
  out.clear();
  if (RunCapture({"scontrol", "-o", "show", "job", job}, &out, true) == 0) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const std::string array = Field(line, "ArrayJobId"), task = Field(line, "ArrayTaskId");
      std::string id = Field(line, "JobId");
      if (!array.empty() && !task.empty()) id = array + "_" + task;
      if (id.empty()) continue;
      info.tasks.push_back({id, Field(line, "JobState")});
      if (info.comment.empty()) info.comment = Field(line, "Comment");
    }
    info.source = "scontrol";
  }
  return info;
}

// "key=value" out of the comment ("" when absent); the output comes last and
// may hold ':'.
std::string CommentValue(const std::string& comment, const std::string& key) {
  if (comment.rfind("tavelo:", 0) != 0) return "";
  const size_t at = comment.find(":" + key + "=");
  if (at == std::string::npos) return "";
  const size_t from = at + key.size() + 2;
  if (key == "output") return comment.substr(from);
  return comment.substr(from, comment.find(':', from) - from);
}

const char* StateName(FrameState state) {
  switch (state) {
    case FrameState::Reserved:
      return "running";
    case FrameState::Abandoned:
      return "abandoned";
    case FrameState::Missing:
      return "missing";
    case FrameState::Done:
      break;
  }
  return "done";
}

// The frames of the composition of --project (and --comp): an interrupted
// render's missing frames past the last one on disk count too.
std::string CompRange(const StatusOptions& o, const Common& common) {
  Common quiet = common;
  quiet.level = LogLevel::Quiet;
  Session session(quiet);
  LoadProject(o.project);
  const FrameGrid grid = GridOf(FindComp(o.comp));
  if (grid.count < 1) Fail("the composition has no frames");
  return "0-" + std::to_string(grid.count - 1);
}

void PrintJson(const StatusOptions& o, const JobInfo& info, const std::string& output,
               const std::vector<int64_t>& frames, const SequenceScan& scan, int64_t stale) {
  nlohmann::ordered_json j;
  j["output"] = output;
  j["frames"] = FrameListText(frames);
  j["staleAfter"] = stale;
  for (FrameState state : {FrameState::Done, FrameState::Reserved, FrameState::Abandoned, FrameState::Missing})
    j["count"][StateName(state)] = scan.In(state).size();
  for (FrameState state : {FrameState::Reserved, FrameState::Abandoned, FrameState::Missing})
    j["list"][StateName(state)] = scan.In(state);
  if (!o.job.empty()) {
    j["job"]["id"] = o.job;
    j["job"]["source"] = info.tasks.empty() ? "" : info.source;
    j["job"]["tasks"] = nlohmann::ordered_json::array();
    for (const Task& t : info.tasks) j["job"]["tasks"].push_back({{"id", t.id}, {"state", t.state}});
  }
  std::printf("%s\n", j.dump(2).c_str());
}

int Status(const StatusOptions& o, const Common& common) {
  if (o.job.empty() && o.output.empty()) Fail("give a job id, --output, or both", kExitUsage);
  JobInfo info;
  if (!o.job.empty()) info = AskScheduler(o.job);
  const std::string output =
      !o.output.empty() ? AbsolutePath(WithFrameField(o.output)) : CommentValue(info.comment, "output");
  if (output.empty())
    Fail("the scheduler does not know job " + o.job + " (any more): give --output PATTERN (and --frames)");
  int64_t stale = o.staleAfter;
  if (stale < 0) {
    const std::string s = CommentValue(info.comment, "stale");
    stale = s.empty() ? kDefaultStaleSeconds : std::stoll(s);
  }
  std::string frameText = !o.frames.empty() ? o.frames : CommentValue(info.comment, "frames");
  if (frameText.empty() && !o.project.empty()) frameText = CompRange(o, common);
  const std::vector<int64_t> frames = FramesOf(frameText, output);
  const SequenceScan scan = ScanSequence(output, frames, stale);
  if (o.json) {
    PrintJson(o, info, output, frames, scan, stale);
    return kExitDone;
  }
  std::printf("output: %s\n", output.c_str());
  if (!frames.empty()) {
    std::printf(
        "frames %s: %lld done, %lld running (reserved), %lld abandoned (reserved, untouched %llds), "
        "%lld missing\n",
        FrameListText(frames).c_str(), static_cast<long long>(scan.done), static_cast<long long>(scan.reserved),
        static_cast<long long>(scan.abandoned), static_cast<long long>(stale), static_cast<long long>(scan.missing));
    for (FrameState want : {FrameState::Reserved, FrameState::Abandoned, FrameState::Missing}) {
      const std::vector<int64_t> list = scan.In(want);
      if (!list.empty()) std::printf("%s: %s\n", StateName(want), FrameRanges(list).c_str());
    }
  } else {
    std::printf("no frames yet\n");
  }
  if (!o.job.empty()) {
    if (info.tasks.empty()) {
      std::printf("job %s: the scheduler has no record of it (sacct/scontrol)\n", o.job.c_str());
    } else {
      std::map<std::string, int> counts;
      for (const Task& t : info.tasks) ++counts[t.state];
      std::string summary;
      for (const auto& [state, count] : counts)
        summary += (summary.empty() ? "" : ", ") + std::to_string(count) + " " + state;
      std::printf("job %s (%s): %s\n", o.job.c_str(), info.source.c_str(), summary.c_str());
      for (const Task& t : info.tasks) std::printf("  %s %s\n", t.id.c_str(), t.state.c_str());
    }
  }
  return kExitDone;
}

}  // namespace

void AddFarmStatus(CLI::App& farm, Dispatch& d) {
  static StatusOptions o;
  auto* sub =
      farm.add_subcommand("status", "frames done, running and missing of a farm render, and its tasks");
  sub->add_option("JOB", o.job, "the job id `farm submit` printed");
  sub->add_option("-o,--output", o.output, "the numbered still name (default: the job's)");
  sub->add_option("--frames", o.frames, "a frame list: 0-99, 0-99x2, 10- ... (default: the job's, else the files found)");
  sub->add_option("--stale-after", o.staleAfter,
                  "seconds after which a reservation counts as abandoned (default: the job's)");
  sub->add_option("--project", o.project,
                  "the project: without --frames or a job, the frames are its composition's (else the files found)");
  sub->add_option("-c,--comp", o.comp, "with --project: the composition (may be left out when it has only one)");
  sub->add_flag("--json", o.json, "print the state as JSON");
  sub->callback([&d] { d.run = [&d] { return Status(o, d.common); }; });
}

}  // namespace tavelo
