// Temporary files of the atomic replacement: their names, the removal of
// those abandoned by writers that died, and the list a fatal-signal handler
// empties.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <vector>

#include "AtomicFile.h"

namespace tv::platform {
namespace {

constexpr std::string_view kTail = ".partial";
constexpr size_t kRandom = 6;     // mkostemps' XXXXXX
constexpr size_t kNameMax = 255;  // bytes of a name in a folder

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 10) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// The listed files: a slot is free (0), being filled (1) or listed (2).
struct Slot {
  std::atomic<int> state{0};
  char path[1024];
  dev_t dev;
  ino_t ino;
};
constexpr int kSlots = 64;
Slot gSlots[kSlots];

}  // namespace

const std::string& HostTag() {
  static const std::string tag = [] {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return std::string("host");
    std::string t(name);
    for (char& c : t)
      if (c == '.' || c == '/') c = '-';
    return t;
  }();
  return tag;
}

std::string TemporaryPathFor(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string tail = "." + HostTag() + "." + std::to_string(::getpid()) + "." +
                           std::string(kRandom, 'X') + std::string(kTail);
  // The final name is shortened to fit, never splitting a UTF-8 sequence.
  const size_t room = kNameMax > tail.size() + 2 ? kNameMax - tail.size() - 1 : 1;
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return dir + "." + name + tail;
}

namespace {

// ".<name>.<host>.<pid>.<random>.partial": a file of the atomic replacement.
bool ParsePartialName(std::string_view s, std::string* host, int64_t* pid) {
  if (!s.ends_with(kTail)) return false;
  s.remove_suffix(kTail.size());
  // Read from the right.
  const size_t r = s.rfind('.');
  if (r == std::string_view::npos || s.size() - r - 1 != kRandom) return false;
  for (char c : s.substr(r + 1))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  s = s.substr(0, r);
  const size_t p = s.rfind('.');
  if (p == std::string_view::npos || !AllDigits(s.substr(p + 1))) return false;
  const std::string_view pidText = s.substr(p + 1);
  s = s.substr(0, p);
  const size_t h = s.rfind('.');
  if (h == std::string_view::npos || h == 0 || h + 1 == s.size()) return false;
  if (host) *host = std::string(s.substr(h + 1));
  if (pid) *pid = std::stoll(std::string(pidText));
  return true;
}

// ".<stem>.<done|stale>.<host>.<pid>[.<extension>]": a frame renamed into
// place by its renderer, or a reservation moved aside to be retaken.
bool ParsePrivateName(std::string_view s, std::string* host, int64_t* pid) {
  std::vector<std::string_view> parts;
  for (size_t at = 1;;) {
    const size_t dot = s.find('.', at);
    parts.push_back(s.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  const size_t n = parts.size();
  const size_t last = n >= 1 && AllDigits(parts[n - 1]) ? n - 1 : n - 2;  // the pid's part
  if (n < 4 || last < 3 || !AllDigits(parts[last]) || parts[last - 1].empty() || parts[last - 3].empty() ||
      (parts[last - 2] != "done" && parts[last - 2] != "stale"))
    return false;
  if (host) *host = std::string(parts[last - 1]);
  if (pid) *pid = std::stoll(std::string(parts[last]));
  return true;
}

}  // namespace

bool ParseTemporaryName(const std::string& name, std::string* host, int64_t* pid) {
  const std::string_view s(name);
  if (s.size() < 2 || s[0] != '.') return false;
  return ParsePartialName(s, host, pid) || ParsePrivateName(s, host, pid);
}

int RemoveStaleTemporaries(const std::string& dir, int64_t staleSeconds) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  const int dfd = ::dirfd(d);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    std::string host;
    int64_t pid = 0;
    if (!ParseTemporaryName(name, &host, &pid)) continue;
    struct stat st {};
    if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    bool dead;
    if (host == HostTag()) {
      // This machine's: abandoned when its writer is gone (a process of
      // another user answers EPERM and is alive).
      dead = pid != ::getpid() && pid > 0 && pid <= INT32_MAX && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
             errno == ESRCH;
    } else {
      // Another machine's writer cannot be asked: an old file is abandoned.
      dead = now - static_cast<int64_t>(st.st_mtime) > staleSeconds;
    }
    if (dead && ::unlinkat(dfd, name.c_str(), 0) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

void SweepFolderOnce(const std::string& dir) {
  static std::mutex lock;
  static std::set<std::string>* swept = new std::set<std::string>;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!swept->insert(dir).second) return;
  }
  RemoveStaleTemporaries(dir);
}

int ListTemporary(const std::string& path, dev_t dev, ino_t ino) {
  if (path.size() >= sizeof gSlots[0].path) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int free = 0;
    if (!gSlots[i].state.compare_exchange_strong(free, 1, std::memory_order_acquire)) continue;
    std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
    gSlots[i].dev = dev;
    gSlots[i].ino = ino;
    gSlots[i].state.store(2, std::memory_order_release);
    return i;
  }
  return -1;
}

void UnlistTemporary(int slot) {
  if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(0, std::memory_order_release);
}

void RemoveTemporariesNow() {
  for (Slot& s : gSlots) {
    if (s.state.load(std::memory_order_acquire) != 2) continue;
    if (s.dev != 0 || s.ino != 0) {
      struct stat st {};
      if (::stat(s.path, &st) != 0 || st.st_dev != s.dev || st.st_ino != s.ino || st.st_size != 0) continue;
    }
    ::unlink(s.path);
  }
}

}  // namespace tv::platform
