// What the farm sub-commands share: the `farm` command itself, the state of
// a numbered sequence on disk, and running the scheduler's programs.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "farm.h"
#include "frame_list.h"
#include "image_file.h"
#include "output_name.h"

namespace tavelo {

namespace fs = std::filesystem;

SequenceScan ScanSequence(const std::string& pattern, const std::vector<int64_t>& frames, int64_t staleSeconds) {
  SequenceScan scan;
  scan.numbers = frames;
  const auto now = static_cast<int64_t>(std::time(nullptr));
  for (int64_t f : frames) {
    struct stat st {};
    FrameState state = FrameState::Missing;
    if (::stat(NumberedName(pattern, f).c_str(), &st) == 0) {
      if (st.st_size > 0)
        state = StillIsWhole(NumberedName(pattern, f)) ? FrameState::Done : FrameState::Missing;
      else if (now - static_cast<int64_t>(st.st_mtime) >= staleSeconds)
        state = FrameState::Abandoned;
      else
        state = FrameState::Reserved;
    }
    scan.frames.push_back(state);
    switch (state) {
      case FrameState::Missing:
        ++scan.missing;
        break;
      case FrameState::Reserved:
        ++scan.reserved;
        break;
      case FrameState::Abandoned:
        ++scan.abandoned;
        break;
      case FrameState::Done:
        ++scan.done;
        break;
    }
  }
  return scan;
}

std::vector<int64_t> SequenceScan::In(FrameState state) const {
  std::vector<int64_t> list;
  for (size_t i = 0; i < frames.size(); ++i)
    if (frames[i] == state) list.push_back(numbers[i]);
  return list;
}

std::vector<int64_t> FramesOnDisk(const std::string& pattern) {
  const fs::path p(pattern);
  const std::string name = p.filename().string();
  const size_t end = name.rfind('#');
  std::vector<int64_t> frames;
  if (end == std::string::npos) return frames;
  size_t start = end;
  while (start > 0 && name[start - 1] == '#') --start;
  const std::string prefix = name.substr(0, start), suffix = name.substr(end + 1);
  const size_t digits = end - start + 1;
  std::error_code ec;
  const fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string n = entry.path().filename().string();
    if (n.size() < prefix.size() + suffix.size() + digits) continue;
    if (n.compare(0, prefix.size(), prefix) != 0 ||
        n.compare(n.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string number = n.substr(prefix.size(), n.size() - prefix.size() - suffix.size());
    if (number.size() > 18 ||
        !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    frames.push_back(std::stoll(number));
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

std::vector<int64_t> FramesOf(const std::string& text, const std::string& pattern) {
  const std::vector<int64_t> on = FramesOnDisk(pattern);
  if (!text.empty()) return ParseFrameList(text, on.empty() ? kNoLastFrame : on.back(), LastFrame::OpenEndOnly);
  return on.empty() ? on : FrameSpan(on.front(), on.back());
}

int RunCapture(const std::vector<std::string>& argv, std::string* out, bool quietErrors) {
  int pipefd[2];
  if (::pipe2(pipefd, O_CLOEXEC) != 0) return 127;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipefd[0]);
    ::close(pipefd[1]);
    return 127;
  }
  if (pid == 0) {
    ::dup2(pipefd[1], 1);
    if (quietErrors) {
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 2);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipefd[1]);
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipefd[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0 && out) out->append(buf, static_cast<size_t>(n));
  ::close(pipefd[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

void AddFarmCommand(CLI::App& app, Dispatch& d) {
  auto* farm =
      app.add_subcommand("farm", "render across machines as a Slurm job array, follow it, assemble it");
  farm->require_subcommand(1);
  AddFarmSubmit(*farm, d);
  AddFarmStatus(*farm, d);
  AddFarmAssemble(*farm, d);
}

}  // namespace tavelo
