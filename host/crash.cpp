// The crash report of the host (see crash.h).
#include "crash.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "Engine.h"
#include "cli.h"

namespace tavelo {
namespace {

struct Claim {
  std::atomic<bool> listed{false};
  char path[4096];
  dev_t dev;
  ino_t ino;
} gClaim;

void Put(const char* text) {
  size_t n = std::strlen(text);
  while (n > 0) {
    const ssize_t w = ::write(2, text, n);
    if (w <= 0) return;
    text += w, n -= static_cast<size_t>(w);
  }
}

const char* Name(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV (invalid memory access)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGFPE: return "SIGFPE (arithmetic fault)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGABRT: return "SIGABRT (aborted)";
    default: return "a fatal signal";
  }
}

extern "C" void OnCrash(int sig) {
  Put("tavelo: crashed on ");
  Put(Name(sig));
  Put("\n");
  Boolean32 inPlugin = 0;
  TV_ReportCrash(2, "tavelo:   ", &inPlugin);
  if (gClaim.listed.load()) {
    struct stat st {};
    if (::stat(gClaim.path, &st) == 0 && st.st_dev == gClaim.dev && st.st_ino == gClaim.ino && st.st_size == 0)
      ::unlink(gClaim.path);
  }
  if (inPlugin) {
    Put("tavelo: the effect plug-in crashed; unfinished files were removed, finished ones kept\n");
    ::_exit(kExitPluginCrashed);
  }
  // Not in a plug-in: the usual death by the signal (the handler was reset).
  ::raise(sig);
}

}  // namespace

void InstallCrashHandler() {
  // Its own stack: a plug-in that overflowed its stack still gets a report.
  static char stack[1 << 16];
  stack_t ss{};
  ss.ss_sp = stack;
  ss.ss_size = sizeof stack;
  ::sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_handler = OnCrash;
  sa.sa_flags = SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::sigaction(sig, &sa, nullptr);
}

void ListClaimForCrash(const std::string& path, dev_t dev, ino_t ino) {
  gClaim.listed.store(false);
  if (path.size() >= sizeof gClaim.path) return;
  std::memcpy(gClaim.path, path.c_str(), path.size() + 1);
  gClaim.dev = dev;
  gClaim.ino = ino;
  gClaim.listed.store(true);
}

void UnlistClaimForCrash() { gClaim.listed.store(false); }

}  // namespace tavelo
