// Checked writes, flushes and closes, and the write faults tests inject.
#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "AtomicFile.h"

namespace tv::platform {
namespace {

std::atomic<bool> gArmed{false};
std::mutex gFaultLock;
WriteFault gFault;
int64_t gWritten = 0;

// How many of `wanted` bytes may be written now: all of them without a fault;
// -1 with errno set when the fault strikes.
int64_t Allowance(int64_t wanted) {
  if (!gArmed.load(std::memory_order_acquire)) return wanted;
  std::lock_guard<std::mutex> lock(gFaultLock);
  if (gFault.op != WriteFaultOp::Write) return wanted;
  const int64_t left = gFault.afterBytes - gWritten;
  if (left <= 0) {
    errno = gFault.error;
    return -1;
  }
  return std::min(wanted, left);
}

void Count(int64_t n) {
  if (!gArmed.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(gFaultLock);
  gWritten += n;
}

bool Strikes(WriteFaultOp op) {
  if (!gArmed.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(gFaultLock);
  if (gFault.op != op) return false;
  errno = gFault.error;
  return true;
}

// One write (pwrite when offset >= 0) through the fault; the bytes written or -1.
ssize_t WriteOnce(int fd, const char* p, size_t size, int64_t offset) {
  const int64_t allowed = Allowance(static_cast<int64_t>(size));
  if (allowed < 0) return -1;
  const auto n = static_cast<size_t>(allowed);
  const ssize_t w = offset >= 0 ? ::pwrite(fd, p, n, static_cast<off_t>(offset)) : ::write(fd, p, n);
  if (w > 0) Count(w);
  return w;
}

int WriteLoop(int fd, const void* data, size_t size, int64_t offset, size_t* written) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  int error = 0;
  while (done < size) {
    const ssize_t n = WriteOnce(fd, p + done, size - done, offset < 0 ? -1 : offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (written) *written = done;
  return error;
}

}  // namespace

int WriteFully(int fd, const void* data, size_t size, size_t* written) {
  return WriteLoop(fd, data, size, -1, written);
}

int WriteFullyAt(int fd, const void* data, size_t size, int64_t offset, size_t* written) {
  if (offset < 0) {
    if (written) *written = 0;
    return EINVAL;
  }
  return WriteLoop(fd, data, size, offset, written);
}

int CopyFully(int out, int in, int64_t offset, int64_t length) {
  off_t at = static_cast<off_t>(offset);
  bool plain = false;  // sendfile refused the pair: read and write instead
  char buf[1 << 16];
  while (length > 0) {
    const int64_t allowed = Allowance(std::min<int64_t>(length, 1 << 30));
    if (allowed < 0) return errno;
    ssize_t n = -1;
    if (!plain) {
      n = ::sendfile(out, in, &at, static_cast<size_t>(allowed));
      if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
        plain = true;
        continue;
      }
      if (n > 0) Count(n);
    } else {
      const ssize_t r = ::pread(in, buf, static_cast<size_t>(std::min<int64_t>(allowed, sizeof buf)), at);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return errno;
      if (r == 0) return EIO;  // the source ended early
      if (const int e = WriteFully(out, buf, static_cast<size_t>(r))) return e;
      n = r;
      at += r;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return plain ? ENOSPC : EIO;  // sendfile: the source ended early
    length -= n;
  }
  return 0;
}

int SyncFile(int fd) {
  if (Strikes(WriteFaultOp::Sync)) return errno;
  // Descriptors that cannot be synchronised (pipes, some devices) have
  // nothing to flush.
  return ::fsync(fd) != 0 && errno != EINVAL ? errno : 0;
}

int CloseFile(int fd) {
  const bool strike = Strikes(WriteFaultOp::Close);
  const int error = errno;
  // EINTR from close still closed the descriptor on this system.
  if (::close(fd) != 0 && errno != EINTR) return errno;
  return strike ? error : 0;
}

void SetWriteFault(const WriteFault& fault) {
  std::lock_guard<std::mutex> lock(gFaultLock);
  gFault = fault;
  gWritten = 0;
  gArmed.store(true, std::memory_order_release);
}

void ClearWriteFault() {
  std::lock_guard<std::mutex> lock(gFaultLock);
  gArmed.store(false, std::memory_order_release);
  gWritten = 0;
}

int64_t BytesWrittenSinceFault() {
  std::lock_guard<std::mutex> lock(gFaultLock);
  return gWritten;
}

}  // namespace tv::platform
