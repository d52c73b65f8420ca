// Frame reservations shared by renderers (see reserve.h for the protocol).
#include "reserve.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "cli.h"
#include "crash.h"

namespace tavelo {
namespace {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "host";
  for (char* c = name; *c; ++c)
    if (*c == '/' || *c == '.') *c = '-';
  return name;
}

// Puts a file moved aside back under `path` without replacing what may have
// appeared there meanwhile. renameat2 with RENAME_NOREPLACE where the file
// system has it, else link and unlink (the classic way on network storage).
bool PutBack(const std::string& aside, const std::string& path) {
  if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::link(aside.c_str(), path.c_str()) != 0) return false;
  ::unlink(aside.c_str());
  return true;
}

}  // namespace

std::string PrivateName(const std::string& path, const std::string& tag) {
  const std::filesystem::path p(path);
  const std::filesystem::path dir = p.parent_path();
  const std::string name = "." + p.stem().string() + "." + tag + "." + HostName() + "." +
                           std::to_string(::getpid()) + p.extension().string();
  return dir.empty() ? name : (dir / name).string();
}

FrameClaim::FrameClaim(std::string path, int64_t staleSeconds)
    : path_(std::move(path)), stale_(staleSeconds) {
  // A few rounds: each either claims, finds the frame taken, or retakes an
  // abandoned reservation and tries again (another renderer may win that).
  for (int round = 0; round < 3 && !Mine(); ++round) {
    if (TryCreate()) break;
    if (!TakeStale()) break;
  }
  if (!Mine()) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int err = errno;
    Release();
    Fail("cannot reserve \"" + path_ + "\": " + std::strerror(err));
  }
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  ListClaimForCrash(path_, dev_, ino_);
  heart_ = std::thread([this] { Beat(); });
}

FrameClaim::~FrameClaim() {
  if (Mine() && !committed_ && StillMine()) ::unlink(path_.c_str());
  Release();
}

bool FrameClaim::TryCreate() {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ >= 0) return true;
  if (errno != EEXIST) Fail("cannot reserve \"" + path_ + "\": " + std::strerror(errno));
  return false;
}

// True when an abandoned reservation was removed (the caller claims again).
bool FrameClaim::TakeStale() {
  struct stat seen {};
  if (::stat(path_.c_str(), &seen) != 0) return errno == ENOENT;  // gone meanwhile: try again
  // A frame cut short (never by a renderer of ours, which renames only
  // whole frames into place) is taken like an abandoned reservation, at once.
  const bool cut = seen.st_size != 0 && !StillIsWhole(path_);
  if ((seen.st_size != 0 && !cut) || stale_ < 0) return false;  // finished, or retaking is off
  const int64_t age = static_cast<int64_t>(std::time(nullptr)) - static_cast<int64_t>(seen.st_mtime);
  if (!cut && age < stale_) return false;  // its renderer is alive (or was, recently)
  const std::string aside = PrivateName(path_, "stale");
  if (::rename(path_.c_str(), aside.c_str()) != 0) return errno == ENOENT;
  struct stat moved {};
  if (::stat(aside.c_str(), &moved) == 0 && moved.st_dev == seen.st_dev && moved.st_ino == seen.st_ino &&
      moved.st_size == seen.st_size && (moved.st_size == 0 || !StillIsWhole(aside))) {
    ::unlink(aside.c_str());
    retaken_ = true;
    return true;
  }
  // Between the look and the move the name changed hands: what was moved is
  // a newer claim or a finished frame. It goes back; when the name was
  // claimed again meanwhile, a finished frame still wins (rename over the
  // reservation, whose owner then drops its copy), and a reservation moved
  // aside is removed (its owner finds it gone when it finishes and drops
  // its frame, leaving the frame to the newer claim).
  if (!PutBack(aside, path_)) {
    if (moved.st_size > 0)
      ::rename(aside.c_str(), path_.c_str());
    else
      ::unlink(aside.c_str());
  }
  return false;
}

bool FrameClaim::StillMine() const {
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

bool FrameClaim::Commit(const Image& image) {
  if (!Mine() || committed_) return false;
  const std::string temp = PrivateName(path_, "done");
  try {
    WriteImage(image, temp);
  } catch (const Failure&) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    throw;
  }
  if (!StillMine()) {
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("cannot write \"" + path_ + "\": " + std::strerror(err));
  }
  committed_ = true;
  Release();
  return true;
}

void FrameClaim::Release() {
  UnlistClaimForCrash();
  if (heart_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    heart_.join();
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// Touches the reservation while the frame renders. The descriptor follows
// the file itself, so a reservation moved aside by a retaker is never
// revived under the name.
void FrameClaim::Beat() {
  const int64_t period = stale_ >= 8 ? stale_ / 4 : 1;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::seconds(period), [this] { return stop_; }))
    ::futimens(fd_, nullptr);
}

}  // namespace tavelo
