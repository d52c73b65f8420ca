// The fixture of the tavelo program's end-to-end tests: each test gets a
// folder of its own, runs the built program there with its standard output
// and error going to files, and reads what it wrote.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tavelo_test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Outcome {
  int code = -1;
  std::string out, err;
};

inline std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Tavelo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tavelo_test_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Starts the program with its outputs going to files in the test folder
  // (and its standard input from one when given).
  // fileLimit: the largest file it may write (ulimit -f), 0 for none.
  pid_t Start(const std::vector<std::string>& args, const std::string& input = {}, rlim_t fileLimit = 0) {
    // Nothing of an earlier run is read as this one's.
    fs::remove(dir / "stdout");
    fs::remove(dir / "stderr");
    pid_t pid = ::fork();
    if (pid == 0) {
      ::chdir(dir.c_str());
      if (fileLimit) {
        const rlimit limit{fileLimit, fileLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        // The limit holds to the end: coverage counters written as the
        // program exits would be cut short and spoil the build's own, so a
        // coverage build writes this run's into the test folder.
        ::setenv("GCOV_PREFIX", (dir / "counters").c_str(), 1);
      }
      if (interruptAtStart) {  // a Ctrl-C waiting, taken once the program watches for it
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        ::sigprocmask(SIG_BLOCK, &stops, nullptr);
        ::raise(SIGINT);
      }
      if (!input.empty()) ::dup2(::open((dir / input).c_str(), O_RDONLY), 0);
      int out = ::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv;
      std::string bin = TAVELO_BIN;
      argv.push_back(bin.data());
      std::vector<std::string> copy = args;
      for (std::string& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(bin.c_str(), argv.data());
      // Said where the test reads it, so a failure to start is told apart
      // from the program's own exit status.
      const char* why = std::strerror(errno);
      for (const char* part : {"cannot start ", bin.c_str(), ": ", why, "\n"})
        if (::write(2, part, std::strlen(part)) < 0) break;
      ::_exit(127);
    }
    return pid;
  }
  Outcome Finish(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return Ended(status);
  }
  // The outcome of a program that ended with status.
  Outcome Ended(int status) {
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(dir / "stdout"),
            Slurp(dir / "stderr")};
  }
  Outcome Tv(const std::vector<std::string>& args, const std::string& input = {}) {
    return Finish(Start(args, input));
  }
  // As Tv, for a run that must succeed.
  Outcome Ok(const std::vector<std::string>& args, const std::string& input = {}) {
    Outcome r = Tv(args, input);
    EXPECT_EQ(r.code, 0) << Line(args) << "\n" << r.err;
    return r;
  }
  // The arguments as one line, for messages.
  static std::string Line(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    return line;
  }
  // As Finish, but a program still running after `seconds` is killed and
  // reported (code -1).
  Outcome FinishWithin(pid_t pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        Outcome r;
        r.err = "still running after " + std::to_string(seconds) + " s";
        return r;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Ended(status);
  }
  // Waits until `ready` holds (a render's progress); the program ending
  // first, or two minutes passing, fails the test with what it said.
  template <class Ready>
  void AwaitProgress(pid_t pid, const std::string& what, Ready ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!ready()) {
      siginfo_t info{};
      const bool ended = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                         info.si_pid == pid;
      if (ended || std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << (ended ? "the program ended" : "two minutes passed") << " before " << what
                      << "; standard error:\n"
                      << Slurp(dir / "stderr");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  // Waits until standard error says `text`.
  void AwaitError(pid_t pid, const std::string& text) {
    AwaitProgress(pid, "standard error said \"" + text + "\"",
                  [&] { return Slurp(dir / "stderr").find(text) != std::string::npos; });
  }

  fs::path Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name) << text;
    return dir / name;
  }
  std::vector<std::string> Files(const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
  bool interruptAtStart = false;  // Start's program gets Ctrl-C at once
  const std::string examples = TAVELO_EXAMPLES;
};

}  // namespace tavelo_test
