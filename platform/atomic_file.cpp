// Atomic replacement of a file: temporary file in the same folder, flush, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "AtomicFile.h"
#include "Errno.h"

namespace tv::platform {

ErrorCode ReplaceFileAtomically(const std::string& path,
                                const std::function<ErrorCode(int fd, const std::string& tempPath)>& write,
                                AtomicStage* failed) {
  auto fail = [&](AtomicStage stage, ErrorCode err) {
    if (failed) *failed = stage;
    return err;
  };
  if (failed) *failed = AtomicStage::None;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = (dir == "/" ? "" : dir) + "/." + name + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(AtomicStage::CreateTemp, errno == ENOENT ? kSysNoDirectory : FromErrno(errno));
  struct stat st {};
  mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  AtomicStage stage = AtomicStage::None;
  ErrorCode err = 0;
  if (::fchmod(fd, mode) != 0) {
    stage = AtomicStage::CreateTemp;
    err = FromErrno(errno);
  }
  if (!err) {
    // A writer that throws (its memory ran out) leaves no temporary file and
    // no open descriptor behind; the exception goes on to its caller.
    try {
      err = write(fd, temp);
    } catch (...) {
      ::close(fd);
      ::unlink(temp.c_str());
      throw;
    }
    if (err) stage = AtomicStage::Write;
  }
  // fsync reaches every descriptor's data of the file, including writes made
  // through another descriptor opened on the temporary path.
  if (!err && ::fsync(fd) != 0) {
    stage = AtomicStage::Flush;
    err = FromErrno(errno);
  }
  if (::close(fd) != 0 && !err) {
    stage = AtomicStage::Flush;
    err = FromErrno(errno);
  }
  if (!err && ::rename(temp.c_str(), path.c_str()) != 0) {
    stage = AtomicStage::Rename;
    err = FromErrno(errno);
  }
  if (err) {
    ::unlink(temp.c_str());  // the old file stays as it was
    return fail(stage, err);
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

}  // namespace tv::platform
