// Reading and writing the forks, positions and sizes (64-bit inside).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "AtomicFile.h"
#include "FILE_internal.h"

using namespace tv;
using namespace tv::file;

std::string tv::file::ForkPath(const SpecRec& r, int32_t fork) {
  return fork == FILE_ResourceFork ? SidecarPath(r) : FullPath(r);
}

namespace {

bool ValidFork(int32_t fork) { return fork == FILE_DataFork || fork == FILE_ResourceFork; }

int32_t ForkPerm(const SpecRec& r, int32_t fork) { return fork == FILE_ResourceFork ? r.resPerm : r.dataPerm; }

ErrorCode ReadImpl(FILE_SpecH ref, int32_t fork, int32_t* count, void* buffer) {
  constexpr uint32_t site = kSiteRead;
  if (!count) return kReport.BadParam(site);
  int32_t wanted = *count;
  *count = 0;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!ValidFork(fork) || wanted < 0 || (!buffer && wanted > 0)) return kReport.BadParam(site);
  if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrReadFileOnly);
  int fd = ForkFd(*s, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbRead)});
  if (ForkPerm(*s, fork) == FILE_PermWrite)
    return kReport.Fail(site, FILE_ErrPermission, kStrAccessNamed, {ForkPath(*s, fork)});
  auto* out = static_cast<char*>(buffer);
  int32_t done = 0;
  if (ForkBuffer* b = BufferOf(*s, fork)) {
    if (ReadInWindow(*b, wanted, out)) {
      *count = wanted;
      return 0;
    }
    ErrorCode err = BufferedRead(*b, *s, fork, site, wanted, out, &done);
    *count = done;
    if (err) return err;
    if (done < wanted) return FailPlatform(site, kSysEOF, kActReadingFrom, ForkPath(*s, fork));
    return 0;
  }
  while (done < wanted) {
    ssize_t n = ::read(fd, out + done, static_cast<size_t>(wanted - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      *count = done;
      return FailErrno(site, errno, kActReadingFrom, ForkPath(*s, fork));
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  *count = done;
  if (done < wanted) return FailPlatform(site, kSysEOF, kActReadingFrom, ForkPath(*s, fork));
  return 0;
}

ErrorCode WriteImpl(FILE_SpecH ref, int32_t fork, int32_t* count, const void* buffer) {
  constexpr uint32_t site = kSiteWrite;
  if (!count) return kReport.BadParam(site);
  int32_t wanted = *count;
  *count = 0;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!ValidFork(fork) || wanted < 0 || (!buffer && wanted > 0)) return kReport.BadParam(site);
  if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbWriteTo)});
  int fd = ForkFd(*s, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbWriteTo)});
  // Opened for reading only (asked so, or fallen back): the write is refused
  // here rather than by the descriptor, with the permission code.
  if (ForkPerm(*s, fork) == FILE_PermRead)
    return kReport.Fail(site, FILE_ErrPermission, kStrAccessNamed, {ForkPath(*s, fork)});
  if (wanted == 0) return 0;
  if (ForkBuffer* b = BufferOf(*s, fork)) {
    int32_t done = 0;
    ErrorCode err = BufferedWrite(*b, *s, fork, site, wanted, static_cast<const char*>(buffer), &done);
    *count = done;
    return err;
  }
  std::string path = ForkPath(*s, fork);
  struct stat st;
  off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0 || ::fstat(fd, &st) != 0) return FailErrno(site, errno, kActWritingTo, path);
  uint64_t end = static_cast<uint64_t>(pos) + static_cast<uint64_t>(wanted);
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (end > size) {
    if (ErrorCode err = CheckSpace(site, path, end - size, kActWritingTo)) return err;
  }
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  const int e = platform::WriteFully(fd, in, static_cast<size_t>(wanted), &done);
  *count = static_cast<int32_t>(done);
  if (e) return FailErrno(site, e, kActWritingTo, path);
  return 0;
}

ErrorCode InqPosImpl(FILE_SpecH ref, int32_t fork, int64_t* position) {
  constexpr uint32_t site = kSiteInqPos;
  if (!position) return kReport.BadParam(site);
  *position = 0;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!ValidFork(fork)) return kReport.BadParam(site);
  int fd = ForkFd(*s, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbFindPositionIn)});
  if (const ForkBuffer* b = BufferOf(*s, fork)) {
    *position = BufferedPos(*b);
    return 0;
  }
  off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0) return FailErrno(site, errno, kActFindingPositionIn, ForkPath(*s, fork));
  *position = pos;
  return 0;
}

ErrorCode SetPosImpl(FILE_SpecH ref, int32_t fork, int64_t position) {
  constexpr uint32_t site = kSiteSetPos;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!ValidFork(fork) || position < 0) return kReport.BadParam(site);
  int fd = ForkFd(*s, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbSetPositionIn)});
  if (ForkBuffer* b = BufferOf(*s, fork))
    return BufferedSetPos(*b, *s, fork, site, position, ForkPerm(*s, fork) == FILE_PermRead);
  std::string path = ForkPath(*s, fork);
  if (ForkPerm(*s, fork) == FILE_PermRead) {
    // A file open for reading cannot be positioned past its end.
    struct stat st;
    if (::fstat(fd, &st) != 0) return FailErrno(site, errno, kActSettingPositionIn, path);
    if (position > st.st_size) return FailPlatform(site, kSysEOF, kActSettingPositionIn, path);
  }
  if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) return FailErrno(site, errno, kActSettingPositionIn, path);
  return 0;
}

ErrorCode SetSizeImpl(FILE_SpecH ref, int32_t fork, int64_t size) {
  constexpr uint32_t site = kSiteSetSize;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!ValidFork(fork) || size < 0) return kReport.BadParam(site);
  if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbSetSizeOf)});
  int fd = ForkFd(*s, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbSetSizeOf)});
  std::string path = ForkPath(*s, fork);
  if (ForkPerm(*s, fork) == FILE_PermRead) return kReport.Fail(site, FILE_ErrPermission, kStrAccessNamed, {path});
  // Nothing kept in the window outlives the change of size.
  ForkBuffer* b = BufferOf(*s, fork);
  if (ErrorCode err = DropWindow(b, *s, fork, site)) return err;
  struct stat st;
  if (::fstat(fd, &st) != 0) return FailErrno(site, errno, kActSettingSizeOf, path);
  if (size > st.st_size) {
    if (ErrorCode err = CheckSpace(site, path, static_cast<uint64_t>(size - st.st_size), kActSettingSizeOf))
      return err;
  }
  // Growing a file takes the disk space for it now, where the volume allows,
  // so a full volume is reported here and not by a later write into the new
  // stretch (or by writing it out from a buffer).
  int e = 0;
  bool grown = false;
  if (size > st.st_size && S_ISREG(st.st_mode)) {
    if (::fallocate(fd, 0, st.st_size, static_cast<off_t>(size - st.st_size)) == 0)
      grown = true;
    else if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
      e = errno;  // otherwise the file system cannot: the file grows without
  }
  if (!e && !grown && ::ftruncate(fd, static_cast<off_t>(size)) != 0) e = errno;
  if (e) return FailErrno(site, e, kActSettingSizeOf, path);
  // The position stays within the file.
  if (b) {
    ClampPos(b, size);
    return 0;
  }
  off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos > size) ::lseek(fd, static_cast<off_t>(size), SEEK_SET);
  return 0;
}

}  // namespace

ErrorCode FILE_Read(FILE_SpecH ref, int32_t* count, void* buffer) try {
  return ReadImpl(ref, FILE_DataFork, count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_NRead(FILE_SpecH ref, int32_t count, void* buffer) try {
  return ReadImpl(ref, FILE_DataFork, &count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Write(FILE_SpecH ref, int32_t* count, const void* buffer) try {
  return WriteImpl(ref, FILE_DataFork, count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_NWrite(FILE_SpecH ref, int32_t count, const void* buffer) try {
  return WriteImpl(ref, FILE_DataFork, &count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ReadFork(FILE_SpecH ref, int32_t fork, int32_t* count, void* buffer) try {
  return ReadImpl(ref, fork, count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_WriteFork(FILE_SpecH ref, int32_t fork, int32_t* count, const void* buffer) try {
  return WriteImpl(ref, fork, count, buffer);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqPos(FILE_SpecH ref, int64_t* position) try {
  return InqPosImpl(ref, FILE_DataFork, position);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_SetPos(FILE_SpecH ref, int64_t position) try {
  return SetPosImpl(ref, FILE_DataFork, position);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_InqForkPos(FILE_SpecH ref, int32_t fork, int64_t* position) try {
  return InqPosImpl(ref, fork, position);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_SetForkPos(FILE_SpecH ref, int32_t fork, int64_t position) try {
  return SetPosImpl(ref, fork, position);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_SetSize(FILE_SpecH ref, int64_t size) try {
  return SetSizeImpl(ref, FILE_DataFork, size);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_SetForkSize(FILE_SpecH ref, int32_t fork, int64_t size) try {
  return SetSizeImpl(ref, fork, size);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqSize(FILE_SpecH ref, int32_t mode, int64_t* size) try {
  constexpr uint32_t site = kSiteInqSize;
  if (!size) return kReport.BadParam(site);
  *size = 0;
  Spec s(ref, site);
  if (s.err) return s.err;
  std::string path = FullPath(*s);
  if (mode != FILE_SizeData && mode != FILE_SizeResource && mode != FILE_SizeTotal)
    return kReport.Fail(site, kErrBadParam, kStrBadSizeMode, {path});
  if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrSizeOfDirectory);
  // The size includes what was written and is still waiting in a buffer,
  // this reference's or another's.
  struct stat st;
  int64_t total = 0;
  if (mode != FILE_SizeResource) {
    ErrorCode err = 0;
    if (s->dataBuf)
      err = FlushBuffer(s->dataBuf, *s, FILE_DataFork, site);
    else if (s->dataFd == kNoFd)
      err = FlushFile(*s, FILE_DataFork, site);
    if (err) return err;
    int rc = s->dataFd != kNoFd ? ::fstat(s->dataFd, &st) : ::stat(path.c_str(), &st);
    if (rc != 0) return FailErrno(site, errno, kActFindingSizeOf, path);
    total += st.st_size;
  }
  if (mode != FILE_SizeData) {
    // A missing side-car, or a file of its name that is not this file's
    // fork, is an empty resource fork.
    if (s->resFd != kNoFd) {
      if (ErrorCode err = FlushBuffer(s->resBuf, *s, FILE_ResourceFork, site)) return err;
      if (::fstat(s->resFd, &st) != 0) return FailErrno(site, errno, kActFindingSizeOf, SidecarPath(*s));
      total += st.st_size;
    } else if (SidecarOf(*s) == Sidecar::Own) {
      if (ErrorCode err = FlushFile(*s, FILE_ResourceFork, site)) return err;
      if (::stat(SidecarPath(*s).c_str(), &st) == 0)
        total += st.st_size;
      else if (errno != ENOENT)
        return FailErrno(site, errno, kActFindingSizeOf, SidecarPath(*s));
    }
  }
  *size = total;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_SetBuffer(FILE_SpecH ref, int32_t /*size*/) try {
  Spec s(ref, kSiteSetBuffer);
  if (s.err) return s.err;
  if (s->dataFd == kNoFd) return kReport.Fail(kSiteSetBuffer, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbSetBufferFor)});
  return kReport.Fail(kSiteSetBuffer, kErrUnimplemented, kStrUnimplementedNamed, {"SetBuffer"});
} TV_CATCH(FILE_PackageNumber)
