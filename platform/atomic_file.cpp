// Atomic replacement of a file: a temporary file in the same folder, written
// through the checked path, flushed, closed and renamed over the final name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "AtomicFile.h"
#include "Errno.h"

namespace tv::platform {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { Discard(); }

ErrorCode AtomicFile::Create() {
  Discard();
  SweepFolderOnce(FolderOf(path_));
  std::string temp = TemporaryPathFor(path_);
  constexpr int kSuffix = 8;  // ".partial"
  const int fd = ::mkostemps(temp.data(), kSuffix, O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kSysNoDirectory : FromErrno(errno);
  fd_ = fd;
  temp_ = std::move(temp);
  slot_ = ListTemporary(temp_);
  struct stat st {};
  const mode_t mode = ::stat(path_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  if (::fchmod(fd_, mode) != 0) {
    const ErrorCode err = FromErrno(errno);
    Discard();
    return err;
  }
  return 0;
}

ErrorCode AtomicFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return kSysBadRefNum;
  return FromErrno(WriteFully(fd_, bytes.data(), bytes.size()));
}

ErrorCode AtomicFile::Commit(AtomicStage* stage) {
  auto fail = [&](AtomicStage s, int error) {
    if (stage) *stage = s;
    Discard();
    return FromErrno(error);
  };
  if (stage) *stage = AtomicStage::None;
  if (fd_ < 0) return fail(AtomicStage::CreateTemp, EBADF);
  if (const int e = SyncFile(fd_)) return fail(AtomicStage::Flush, e);
  const int fd = fd_;
  fd_ = -1;
  if (const int e = CloseFile(fd)) return fail(AtomicStage::Flush, e);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) return fail(AtomicStage::Rename, errno);
  temp_.clear();
  UnlistTemporary(slot_);
  slot_ = -1;
  // Make the rename itself durable.
  const int dfd = ::open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return 0;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) CloseFile(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  UnlistTemporary(slot_);
  slot_ = -1;
}

ErrorCode ReplaceFileAtomically(const std::string& path,
                                const std::function<ErrorCode(int fd, const std::string& tempPath)>& write,
                                AtomicStage* failed) {
  if (failed) *failed = AtomicStage::None;
  AtomicFile file(path);
  if (ErrorCode err = file.Create()) {
    if (failed) *failed = AtomicStage::CreateTemp;
    return err;
  }
  // A writer that throws (its memory ran out) leaves no temporary file behind:
  // the file's destructor discards it as the exception goes on to the caller.
  if (ErrorCode err = write(file.fd(), file.tempPath())) {
    if (failed) *failed = AtomicStage::Write;
    return err;
  }
  return file.Commit(failed);
}

ErrorCode WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, AtomicStage* failed) {
  return ReplaceFileAtomically(
      path, [&](int fd, const std::string&) { return FromErrno(WriteFully(fd, bytes.data(), bytes.size())); },
      failed);
}

}  // namespace tv::platform
