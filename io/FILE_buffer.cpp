// The buffers of open regular files.
//
// Every regular file open in this process has one entry in a table of open
// files, shared by all the references (and forks) that have it open. The
// entry holds one window of the file: `len` bytes from offset `start`, read
// from the file, written by a reference, or both; the bytes [dirtyLo, dirtyHi)
// of it still have to be written, and only those are ever written back, so a
// byte that was merely read never overwrites what another process wrote
// meanwhile. A write that is neither inside nor touching the pending range
// writes the pending range out first. Each reference keeps its own position;
// all of them read and write through the same window, so what one writes the
// others read at once.
//
// A reference opened in the shared mode means other processes use the file
// too: while one has the file open, nothing is kept in the window and every
// read and write goes straight to the platform.
//
// A write waits in the window only when nothing known here could make the
// platform refuse its bytes later: it stays below the size limits of the
// process and of the file system, and it overwrites the file or grows it
// while the volume has ample free space left (8 MiB beyond the write). Any
// other write goes straight to the platform, so the call that makes it
// reports a refusal together with the bytes that did reach the file. What
// can still fail when the window is written out (an I/O error, a limit
// lowered in between, another program taking the last free space) is
// reported once, by the operation that writes it out, and those bytes are
// dropped so the failure is not reported again.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "AtomicFile.h"
#include "FILE_internal.h"

namespace tv::file {

namespace {

constexpr int32_t kCap = SharedFile::kCapacity;
constexpr int64_t kNoEnd = std::numeric_limits<int64_t>::max();
// Growing writes wait in the window only while the volume has this much more
// free space than they take; closer to full, each write goes to the platform.
constexpr int64_t kMargin = int64_t{8} << 20;
// The size limits are looked at again after this much growth, at the latest.
constexpr int64_t kRecheck = int64_t{256} << 10;

struct Key {
  dev_t dev;
  ino_t ino;
  auto operator<=>(const Key&) const = default;
};

// Built on first use and never destroyed, so a reference closed while the
// program ends still finds it.
std::map<Key, SharedFile*>& Table() {
  static auto* table = new std::map<Key, SharedFile*>;
  return *table;
}

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

// Writes count bytes at off; *done tells how many reached the file. Returns 0
// or an errno value.
int WriteAt(int fd, const char* in, int64_t count, int64_t off, int64_t* done) {
  size_t written = 0;
  const int e = platform::WriteFullyAt(fd, in, static_cast<size_t>(count), off, &written);
  *done = static_cast<int64_t>(written);
  return e;
}

void Forget(SharedFile& f, int64_t at) {
  f.start = at;
  f.len = f.dirtyLo = f.dirtyHi = 0;
}

// The window's memory; false when none can be had (the file then goes
// straight to the platform).
bool Window(SharedFile& f) {
  if (!f.data) f.data.reset(new (std::nothrow) char[kCap]);
  return f.data != nullptr;
}

// A descriptor of the file open for writing (the pending bytes were written
// through one of them).
int WriterFd(const SharedFile& f, int fallback) {
  for (const ForkBuffer* u : f.users)
    if (u->perm != FILE_PermRead) return u->fd;
  return fallback;
}

// Writes the pending bytes out. A failure is reported here and the bytes are
// dropped with the window, so it is not reported again by every later call.
ErrorCode WriteBack(SharedFile& f, int fallbackFd, const SpecRec& r, int32_t fork, uint32_t site) {
  if (!f.Dirty()) return 0;
  int64_t done = 0;
  int e = WriteAt(WriterFd(f, fallbackFd), f.data.get() + f.dirtyLo, f.dirtyHi - f.dirtyLo, f.start + f.dirtyLo,
                  &done);
  if (e) {
    Forget(f, f.start);
    return FailErrno(site, e, kActWritingTo, ForkPath(r, fork));
  }
  f.dirtyLo = f.dirtyHi = 0;  // the window now mirrors the file
  return 0;
}

int64_t SaturatingAdd(int64_t a, uint64_t b) {
  return b > static_cast<uint64_t>(kNoEnd - a) ? kNoEnd : a + static_cast<int64_t>(b);
}

// The largest end a write may have without the platform refusing it for its
// size: the process's file size limit and the file system's largest file.
int64_t SizeLimit(SharedFile& f, int fd) {
  if (f.sizeBitsCap < 0) {
    long bits = ::fpathconf(fd, _PC_FILESIZEBITS);
    f.sizeBitsCap = bits > 1 && bits < 64 ? (int64_t{1} << (bits - 1)) - 1 : kNoEnd;
  }
  int64_t limit = f.sizeBitsCap;
  struct rlimit rl;
  if (::getrlimit(RLIMIT_FSIZE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
    limit = std::min<int64_t>(limit, static_cast<int64_t>(std::min<rlim_t>(rl.rlim_cur, kNoEnd)));
  return limit;
}

// Learns what a write ending at end may do: 785 (reported) when the volume
// says it has no room for it; otherwise f.roomyEnd tells whether it may wait
// in the window. Overwriting needs no room; growing the file asks the volume
// only once it has used up what it was told before.
ErrorCode Look(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t end) {
  SharedFile& f = *b.file;
  struct stat st;
  if (::fstat(b.fd, &st) != 0) return FailErrno(site, errno, kActWritingTo, ForkPath(r, fork));
  int64_t length = st.st_size;
  if (f.Dirty()) length = std::max(length, f.start + f.dirtyHi);
  if (end <= length) {
    f.spaceEnd = std::max(f.spaceEnd, length);
  } else if (end > f.spaceEnd) {
    std::string path = ForkPath(r, fork);
    uint64_t freeBytes = 0;
    if (FreeSpace(path, &freeBytes) != 0) {
      f.spaceEnd = kNoEnd;  // not known: no growing write waits (below)
    } else {
      if (static_cast<uint64_t>(end - length) > freeBytes) return FailPlatform(site, kSysDiskFull, kActWritingTo, path);
      f.spaceEnd = SaturatingAdd(length, freeBytes);
    }
  }
  int64_t roomy = f.spaceEnd == kNoEnd ? length : std::max(length, f.spaceEnd - kMargin);
  f.roomyEnd = std::min({roomy, SizeLimit(f, b.fd), SaturatingAdd(end, kRecheck)});
  return 0;
}

}  // namespace

ErrorCode AttachFork(int fd, int32_t perm, const SpecRec& r, int32_t fork, uint32_t site, ForkBuffer** out) {
  *out = nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0) return FailErrno(site, errno, kActOpening, ForkPath(r, fork));
  if (!S_ISREG(st.st_mode)) return 0;  // pipes and devices are read and written as they come
  auto b = std::unique_ptr<ForkBuffer>(new (std::nothrow) ForkBuffer);
  if (!b) return kReport.OutOfMemory(site, kStrBufferMemory, sizeof(ForkBuffer));
  b->fd = fd;
  b->perm = perm;
  std::map<Key, SharedFile*>& table = Table();
  Key key{st.st_dev, st.st_ino};
  SharedFile* f = nullptr;
  try {
    auto it = table.find(key);
    if (it == table.end()) {
      auto made = std::make_unique<SharedFile>();
      made->dev = st.st_dev;
      made->ino = st.st_ino;
      it = table.emplace(key, made.get()).first;
      made.release();
    }
    f = it->second;
    f->users.reserve(f->users.size() + 1);
  } catch (const std::bad_alloc&) {
    if (f && f->users.empty()) {
      table.erase(key);
      delete f;
    }
    return kReport.OutOfMemory(site, kStrBufferMemory, sizeof(SharedFile));
  }
  if (perm == FILE_PermShared && f->sharedUsers == 0 && !f->users.empty()) {
    // From now on the file goes straight to the platform: what waits in the
    // window goes out first.
    if (ErrorCode err = WriteBack(*f, fd, r, fork, site)) return err;
    Forget(*f, 0);
    f->data.reset();
  }
  f->users.push_back(b.get());  // room was reserved above
  if (perm == FILE_PermShared) ++f->sharedUsers;
  b->file = f;
  *out = b.release();
  return 0;
}

ErrorCode DetachFork(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site) {
  if (!b) return 0;
  SharedFile* f = b->file;
  // Closing puts every pending byte of the file on the disk (this reference
  // may be the one whose descriptor writes them).
  ErrorCode err = WriteBack(*f, b->fd, r, fork, site);
  std::erase(f->users, b);
  if (b->perm == FILE_PermShared) --f->sharedUsers;
  if (f->users.empty()) {
    Table().erase(Key{f->dev, f->ino});
    delete f;
  }
  delete b;
  return err;
}

bool IsOpen(const struct stat& st) { return Table().count(Key{st.st_dev, st.st_ino}) != 0; }

size_t OpenFileCount() { return Table().size(); }

int64_t BufferedPos(const ForkBuffer& b) { return b.pos; }

ErrorCode FlushBuffer(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site) {
  return b ? WriteBack(*b->file, b->fd, r, fork, site) : 0;
}

ErrorCode FlushForks(SpecRec& r, uint32_t site) {
  ErrorCode err = FlushBuffer(r.dataBuf, r, FILE_DataFork, site);
  ErrorCode e = FlushBuffer(r.resBuf, r, FILE_ResourceFork, site);
  return err ? err : e;
}

ErrorCode FlushFile(const SpecRec& r, int32_t fork, uint32_t site) {
  struct stat st;
  if (::stat(ForkPath(r, fork).c_str(), &st) != 0) return 0;  // the caller finds out why
  auto it = Table().find(Key{st.st_dev, st.st_ino});
  if (it == Table().end() || it->second->users.empty()) return 0;
  SharedFile& f = *it->second;
  return WriteBack(f, f.users.front()->fd, r, fork, site);
}

ErrorCode DropWindow(ForkBuffer* b, const SpecRec& r, int32_t fork, uint32_t site) {
  if (!b) return 0;
  SharedFile& f = *b->file;
  ErrorCode err = WriteBack(f, b->fd, r, fork, site);
  Forget(f, 0);
  f.spaceEnd = f.roomyEnd = 0;  // the file's length is to be looked at again
  return err;
}

ErrorCode BufferedRead(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t wanted, char* out,
                       int32_t* done) {
  SharedFile& f = *b.file;
  *done = 0;
  while (*done < wanted) {
    if (f.Holds(b.pos)) {
      int64_t n = std::min<int64_t>(wanted - *done, f.start + f.len - b.pos);
      std::memcpy(out + *done, f.data.get() + (b.pos - f.start), static_cast<size_t>(n));
      b.pos += n;
      *done += static_cast<int32_t>(n);
      continue;
    }
    // Past the window: what is pending goes out first, so the file holds it.
    if (ErrorCode err = WriteBack(f, b.fd, r, fork, site)) return err;
    int64_t rest = wanted - *done;
    if (rest >= kCap || f.Direct() || !Window(f)) {
      // Large reads (and every read of a file shared with other processes)
      // go straight into the caller's memory.
      int64_t n = ReadAt(b.fd, out + *done, rest, b.pos);
      if (n < 0) return FailErrno(site, errno, kActReadingFrom, ForkPath(r, fork));
      b.pos += n;
      *done += static_cast<int32_t>(n);
      return 0;
    }
    Forget(f, b.pos);
    int64_t n = ReadAt(b.fd, f.data.get(), kCap, b.pos);
    if (n < 0) return FailErrno(site, errno, kActReadingFrom, ForkPath(r, fork));
    if (n == 0) return 0;  // the end of the file
    f.len = static_cast<int32_t>(n);
  }
  return 0;
}

ErrorCode BufferedWrite(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int32_t count, const char* in,
                        int32_t* done) {
  SharedFile& f = *b.file;
  *done = 0;
  if (b.pos > kNoEnd - count) return FailErrno(site, EFBIG, kActWritingTo, ForkPath(r, fork));
  int64_t end = b.pos + count;
  if (end > f.roomyEnd) {
    if (ErrorCode err = Look(b, r, fork, site, end)) return err;
  }
  if (end <= f.roomyEnd && count < kCap && !f.Direct() && Window(f)) {
    int64_t at = b.pos - f.start;
    bool fits = b.pos >= f.start && at <= f.len && at + count <= kCap;
    if (!fits) {
      if (ErrorCode err = WriteBack(f, b.fd, r, fork, site)) return err;
      Forget(f, b.pos);
      at = 0;
    }
    auto lo = static_cast<int32_t>(at);
    int32_t hi = lo + count;
    // Only bytes written are ever written back: pending bytes that this
    // write neither overlaps nor touches go out first.
    if (f.Dirty() && (lo > f.dirtyHi || hi < f.dirtyLo)) {
      if (ErrorCode err = WriteBack(f, b.fd, r, fork, site)) return err;
    }
    std::memcpy(f.data.get() + lo, in, static_cast<size_t>(count));
    if (f.Dirty()) {
      f.dirtyLo = std::min(f.dirtyLo, lo);
      f.dirtyHi = std::max(f.dirtyHi, hi);
    } else {
      f.dirtyLo = lo;
      f.dirtyHi = hi;
    }
    f.len = std::max(f.len, hi);
    b.pos = end;
    *done = count;
    return 0;
  }
  // Straight to the platform, after what is pending, so the bytes reach the
  // file in the order they were written; the answer is the platform's.
  if (ErrorCode err = WriteBack(f, b.fd, r, fork, site)) return err;
  Forget(f, b.pos);
  int64_t n = 0;
  int e = WriteAt(b.fd, in, count, b.pos, &n);
  b.pos += n;
  *done = static_cast<int32_t>(n);
  if (e) return FailErrno(site, e, kActWritingTo, ForkPath(r, fork));
  return 0;
}

ErrorCode BufferedSetPos(ForkBuffer& b, const SpecRec& r, int32_t fork, uint32_t site, int64_t position,
                         bool readOnly) {
  // A file open for reading cannot be positioned past its end; up to the end
  // of the window the bytes are known to be there.
  const SharedFile& f = *b.file;
  if (readOnly && (f.len == 0 || position > f.start + f.len)) {
    struct stat st;
    if (::fstat(b.fd, &st) != 0) return FailErrno(site, errno, kActSettingPositionIn, ForkPath(r, fork));
    if (position > st.st_size) return FailPlatform(site, kSysEOF, kActSettingPositionIn, ForkPath(r, fork));
  }
  // Pending bytes stay in the window: they go out when a read or write leaves
  // it, so seeking back to patch a size written moments ago costs nothing.
  b.pos = position;
  return 0;
}

void ClampPos(ForkBuffer* b, int64_t size) {
  if (b) b->pos = std::min(b->pos, size);
}

}  // namespace tv::file
