// The buffers of open regular files: read-ahead and write-behind through one
// window per fork.
//
// The window holds the bytes of the file from `start` on (`len` of them):
// read from the file, written by the caller, or both. The bytes in
// [dirtyLo, dirtyHi) of it still have to be written. A read or write inside
// the window (or a write that extends it) touches memory only, so a chunk
// size patched shortly after its header costs no system call; anything else
// writes the window out first and then starts a new one. Reading therefore
// always sees earlier writes.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "FILE_internal.h"

namespace tv::file {

struct ForkBuffer {
  static constexpr int32_t kCapacity = 64 * 1024;
  int fd = kNoFd;
  int64_t pos = 0;       // the reference's position in the fork
  int64_t start = 0;     // file offset of data[0]
  int32_t len = 0;       // valid bytes in data
  int32_t dirtyLo = 0;   // pending bytes: [dirtyLo, dirtyHi) of data
  int32_t dirtyHi = 0;
  int64_t spaceEnd = 0;  // free space was confirmed for the file up to this length
  char data[kCapacity];

  bool Dirty() const { return dirtyHi > dirtyLo; }
  bool Holds(int64_t p) const { return p >= start && p < start + len; }
};

namespace {

constexpr int32_t kCap = ForkBuffer::kCapacity;

// Reads at off until count bytes or the end of the file; returns the count, or
// -1 with errno set.
int64_t ReadAt(int fd, char* out, int64_t count, int64_t off) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd, out + done, static_cast<size_t>(count - done), static_cast<off_t>(off + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Writes all count bytes at off; 0 or an errno value.
int WriteAt(int fd, const char* in, int64_t count, int64_t off) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd, in + done, static_cast<size_t>(count - done), static_cast<off_t>(off + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    done += n;
  }
  return 0;
}

void Forget(ForkBuffer& b) {
  b.start = b.pos;
  b.len = b.dirtyLo = b.dirtyHi = 0;
}

// The space check of a write of count bytes at the position. The free space
// learnt once covers the file up to its length then plus that space, so
// appending asks the volume again only when it has used up what it was told.
ErrorCode CheckWriteSpace(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t count) {
  int64_t end = b.pos + count;
  if (end <= b.spaceEnd) return 0;
  struct stat st;
  if (::fstat(b.fd, &st) != 0) return FailErrno(site, errno, "writing to", ForkPath(r, fork));
  int64_t length = std::max<int64_t>(st.st_size, b.start + b.len);
  if (end <= length) {
    b.spaceEnd = std::max(b.spaceEnd, length);
    return 0;
  }
  std::string path = ForkPath(r, fork);
  uint64_t freeBytes = 0;
  // When the free space cannot be learnt, the write itself will tell.
  if (FreeSpace(path, &freeBytes) != 0) {
    b.spaceEnd = std::numeric_limits<int64_t>::max();
    return 0;
  }
  if (static_cast<uint64_t>(end - length) > freeBytes) return FailPlatform(site, kSysDiskFull, "writing to", path);
  b.spaceEnd = freeBytes > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - length)
                   ? std::numeric_limits<int64_t>::max()
                   : length + static_cast<int64_t>(freeBytes);
  return 0;
}

}  // namespace

ForkBuffer* NewBuffer(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  auto* b = new (std::nothrow) ForkBuffer;
  if (b) b->fd = fd;
  return b;
}

void DeleteBuffer(ForkBuffer* b) { delete b; }

int64_t BufferedPos(const ForkBuffer& b) { return b.pos; }

ErrorCode FlushBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site) {
  if (!b || !b->Dirty()) return 0;
  int e = WriteAt(b->fd, b->data + b->dirtyLo, b->dirtyHi - b->dirtyLo, b->start + b->dirtyLo);
  if (e) {
    // The bytes that did not reach the file are dropped with the window, so
    // the failure is reported here once and not again by every later flush.
    Forget(*b);
    return FailErrno(site, e, "writing to", ForkPath(r, fork));
  }
  b->dirtyLo = b->dirtyHi = 0;  // the window now mirrors the file
  return 0;
}

ErrorCode ResetBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site, int64_t newSize) {
  if (!b) return 0;
  ErrorCode err = FlushBuffer(b, r, fork, site);
  b->pos = std::min(b->pos, newSize);  // the position stays within the file
  Forget(*b);
  b->spaceEnd = 0;
  return err;
}

ErrorCode FlushForks(SpecRec& r, uint32_t site) {
  ErrorCode err = FlushBuffer(r.dataBuf, r, FILE_DataFork, site);
  ErrorCode e = FlushBuffer(r.resBuf, r, FILE_ResourceFork, site);
  return err ? err : e;
}

ErrorCode BufferedRead(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t wanted, char* out,
                       int32_t* done) {
  *done = 0;
  while (*done < wanted) {
    if (b.Holds(b.pos)) {
      int64_t n = std::min<int64_t>(wanted - *done, b.start + b.len - b.pos);
      std::memcpy(out + *done, b.data + (b.pos - b.start), static_cast<size_t>(n));
      b.pos += n;
      *done += static_cast<int32_t>(n);
      continue;
    }
    // Past the window: what is pending goes out first, so the file holds it.
    if (ErrorCode err = FlushBuffer(&b, r, fork, site)) return err;
    int64_t rest = wanted - *done;
    if (rest >= kCap) {
      // Large reads go straight into the caller's memory.
      int64_t n = ReadAt(b.fd, out + *done, rest, b.pos);
      if (n < 0) return FailErrno(site, errno, "reading from", ForkPath(r, fork));
      b.pos += n;
      *done += static_cast<int32_t>(n);
      return 0;
    }
    Forget(b);
    int64_t n = ReadAt(b.fd, b.data, kCap, b.pos);
    if (n < 0) return FailErrno(site, errno, "reading from", ForkPath(r, fork));
    if (n == 0) return 0;  // the end of the file
    b.len = static_cast<int32_t>(n);
  }
  return 0;
}

ErrorCode BufferedWrite(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t count, const char* in) {
  if (ErrorCode err = CheckWriteSpace(b, r, fork, site, count)) return err;
  int64_t at = b.pos - b.start;
  bool fits = b.pos >= b.start && at <= b.len && at + count <= kCap;
  if (!fits) {
    if (ErrorCode err = FlushBuffer(&b, r, fork, site)) return err;
    Forget(b);
    at = 0;
    if (count >= kCap) {
      // Large writes go straight to the file.
      if (int e = WriteAt(b.fd, in, count, b.pos)) return FailErrno(site, e, "writing to", ForkPath(r, fork));
      b.pos += count;
      b.start = b.pos;
      return 0;
    }
  }
  auto lo = static_cast<int32_t>(at);
  int32_t hi = lo + count;
  std::memcpy(b.data + lo, in, static_cast<size_t>(count));
  if (b.Dirty()) {
    b.dirtyLo = std::min(b.dirtyLo, lo);
    b.dirtyHi = std::max(b.dirtyHi, hi);
  } else {
    b.dirtyLo = lo;
    b.dirtyHi = hi;
  }
  b.len = std::max(b.len, hi);
  b.pos += count;
  return 0;
}

ErrorCode BufferedSetPos(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t position,
                         bool readOnly) {
  // A file open for reading cannot be positioned past its end; inside the
  // window the bytes are known to be there.
  if (readOnly && position > b.start + b.len) {
    struct stat st;
    if (::fstat(b.fd, &st) != 0) return FailErrno(site, errno, "setting position in", ForkPath(r, fork));
    if (position > st.st_size) return FailPlatform(site, kSysEOF, "setting position in", ForkPath(r, fork));
  }
  // Pending bytes stay in the window: they go out when a read or write leaves
  // it, so seeking back to patch a size written moments ago costs nothing.
  b.pos = position;
  return 0;
}

}  // namespace tv::file
