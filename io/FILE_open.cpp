// Opening and closing the data fork and the side-car resource fork, with the
// read-only fallback of read-write opens.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "AtomicFile.h"
#include "FILE_internal.h"

using namespace tv;
using namespace tv::file;

namespace {

bool ValidPermission(int32_t p) {
  return p == FILE_PermRead || p == FILE_PermWrite || p == FILE_PermReadWrite || p == FILE_PermShared;
}

int Flags(int32_t permission) {
  switch (permission) {
    case FILE_PermRead: return O_RDONLY;
    case FILE_PermWrite: return O_WRONLY;
    default: return O_RDWR;  // read-write and the shared mode (no share modes here)
  }
}

// Opens without waiting: a named pipe would block until its other end came.
int OpenRetrying(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a folder";
  return "not a regular file";
}

// Refuses what is not a regular file (reading a pipe or a device could wait
// forever); a regular file's descriptor goes back to blocking mode. Closes fd
// on failure.
ErrorCode RequireRegular(int fd, const std::string& path, uint32_t site) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return FailErrno(site, e, kActOpening, path);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return kReport.Fail(site, FILE_ErrDirectory, kStrNotAFile, {path, KindOf(st.st_mode)});
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return 0;
}

// Opens one fork of a checked reference. createSidecar: writing to a resource
// fork makes a missing side-car; otherwise a missing side-car is -192.
ErrorCode OpenFork(SpecRec& r, int32_t fork, int32_t permission, uint32_t site, bool createSidecar) {
  if (!ValidPermission(permission)) return kReport.Fail(site, kErrBadParam, kStrBadPerm);
  if (r.isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbOpen)});
  bool resource = fork == FILE_ResourceFork;
  if (!resource && fork != FILE_DataFork) return kReport.BadParam(site);
  if (ForkFd(r, fork) != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbReopen)});
  std::string path = resource ? SidecarPath(r) : FullPath(r);
  int flags = Flags(permission);
  bool make = false;
  if (resource) {
    // Only the file's own side-car is its fork. A file of that name made
    // otherwise is neither read as the fork nor taken over by writing one.
    bool writing = createSidecar && permission != FILE_PermRead;
    switch (SidecarOf(r)) {
      case Sidecar::Own:
        break;
      case Sidecar::None:
        if (!writing) return FailPlatform(site, kSysResNotFound, kActOpeningResourceForkOf, FullPath(r));
        flags |= O_CREAT | O_EXCL;
        make = true;
        break;
      case Sidecar::Unrelated:
        if (writing) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
        return FailPlatform(site, kSysResNotFound, kActOpeningResourceForkOf, FullPath(r));
    }
  }
  int32_t granted = permission;
  bool fellBack = false;
  int fd = OpenRetrying(path.c_str(), flags);
  if (fd < 0 && (permission == FILE_PermReadWrite || permission == FILE_PermShared) &&
      (errno == EACCES || errno == EROFS || errno == EPERM)) {
    // The platform refused writing: open for reading and remember it, so a
    // later write fails with the permission code.
    fd = OpenRetrying(path.c_str(), O_RDONLY);
    granted = FILE_PermRead;
    fellBack = true;
    make = false;
  }
  if (fd < 0) {
    struct stat st {};
    if (errno == ENXIO && ::stat(path.c_str(), &st) == 0)  // a pipe without a reader
      return kReport.Fail(site, FILE_ErrDirectory, kStrNotAFile, {path, KindOf(st.st_mode)});
    if (errno == EEXIST) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
    if (resource && errno == ENOENT)
      return FailPlatform(site, kSysResNotFound, kActOpeningResourceForkOf, FullPath(r));
    return FailErrno(site, errno, kActOpening, path);
  }
  if (ErrorCode err = RequireRegular(fd, path, site)) {
    if (make) ::unlink(path.c_str());
    return err;
  }
  if (make) {
    if (int e = MarkSidecar(FullPath(r), fd)) {
      ::close(fd);
      ::unlink(path.c_str());
      return FailErrno(site, e, kActOpeningResourceForkOf, FullPath(r));
    }
  }
  ForkBuffer* b = nullptr;
  if (ErrorCode err = AttachFork(fd, granted, r, fork, site, &b)) {
    ::close(fd);
    if (make) ::unlink(path.c_str());
    return err;
  }
  BufferOf(r, fork) = b;
  if (resource) {
    r.resFd = fd;
    r.resPerm = granted;
  } else {
    r.dataFd = fd;
    r.dataPerm = granted;
    r.isOpen = 1;
    r.fellBack = fellBack;
  }
  return 0;
}

ErrorCode CloseOne(SpecRec& r, int32_t fork, uint32_t site) {
  int32_t fd = ForkFd(r, fork);
  if (fd == kNoFd) return kReport.Fail(site, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbClose)});
  // What is waiting in the buffer goes out first; a failure is reported and
  // returned, and the file is closed all the same.
  ForkBuffer*& b = BufferOf(r, fork);
  ErrorCode flushed = DetachFork(b, r, fork, site);
  b = nullptr;
  const int error = platform::CloseFile(fd);
  // The descriptor is gone whatever close says.
  if (fork == FILE_ResourceFork) {
    r.resFd = kNoFd;
    r.resPerm = 0;
  } else {
    r.dataFd = kNoFd;
    r.dataPerm = 0;
    r.isOpen = 0;
  }
  if (flushed) return flushed;
  if (error)
    return FailErrno(site, error, kActClosing, fork == FILE_ResourceFork ? SidecarPath(r) : FullPath(r));
  return 0;
}

}  // namespace

ErrorCode FILE_Open(int32_t permission, FILE_SpecH ref) try {
  Spec s(ref, kSiteOpen);
  if (s.err) return s.err;
  return OpenFork(*s, FILE_DataFork, permission, kSiteOpen, false);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Close(FILE_SpecH ref) try {
  Spec s(ref, kSiteClose);
  if (s.err) return s.err;
  if (s->dataFd == kNoFd && s->resFd == kNoFd) return kReport.Fail(kSiteClose, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbClose)});
  ErrorCode err = 0;
  if (s->resFd != kNoFd) err = CloseOne(*s, FILE_ResourceFork, kSiteClose);
  if (s->dataFd != kNoFd) {
    ErrorCode e = CloseOne(*s, FILE_DataFork, kSiteClose);
    if (!err) err = e;
  }
  return err;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_OpenForkWithPermissions(FILE_SpecH ref, int32_t fork, int32_t permission) try {
  Spec s(ref, kSiteOpenFork);
  if (s.err) return s.err;
  return OpenFork(*s, fork, permission, kSiteOpenFork, true);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CloseFork(FILE_SpecH ref, int32_t fork) try {
  Spec s(ref, kSiteCloseFork);
  if (s.err) return s.err;
  if (fork != FILE_DataFork && fork != FILE_ResourceFork) return kReport.BadParam(kSiteCloseFork);
  return CloseOne(*s, fork, kSiteCloseFork);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_OpenResFile(FILE_SpecH ref, int32_t permission, int32_t* resRef) try {
  if (!resRef) return kReport.BadParam(kSiteOpenResFile);
  *resRef = FILE_ClosedRefNum;
  Spec s(ref, kSiteOpenResFile);
  if (s.err) return s.err;
  if (ErrorCode err = OpenFork(*s, FILE_ResourceFork, permission, kSiteOpenResFile, false)) return err;
  *resRef = s->resFd;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CloseResFile(FILE_SpecH ref) try {
  Spec s(ref, kSiteCloseResFile);
  if (s.err) return s.err;
  return CloseOne(*s, FILE_ResourceFork, kSiteCloseResFile);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqPerm(FILE_SpecH ref, int32_t* permission) try {
  if (!permission) return kReport.BadParam(kSiteInqPerm);
  *permission = 0;
  Spec s(ref, kSiteInqPerm);
  if (s.err) return s.err;
  *permission = s->dataPerm;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqResPerm(FILE_SpecH ref, int32_t* permission) try {
  if (!permission) return kReport.BadParam(kSiteInqResPerm);
  *permission = 0;
  Spec s(ref, kSiteInqResPerm);
  if (s.err) return s.err;
  *permission = s->resPerm;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqReadOnlyFallback(FILE_SpecH ref, Boolean32* fellBack) try {
  if (!fellBack) return kReport.BadParam(kSiteInqPerm);
  *fellBack = 0;
  Spec s(ref, kSiteInqPerm);
  if (s.err) return s.err;
  *fellBack = s->isOpen && s->fellBack;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Flush(FILE_SpecH ref) try {
  Spec s(ref, kSiteFlush);
  if (s.err) return s.err;
  if (s->dataFd == kNoFd) return kReport.Fail(kSiteFlush, FILE_ErrClosed, kStrCannotClosed, {kReport.Text(kVerbFlush)});
  if (ErrorCode err = FlushForks(*s, kSiteFlush)) return err;
  if (s->dataPerm != FILE_PermRead && ::fdatasync(s->dataFd) != 0 && errno != EINVAL)
    return FailErrno(kSiteFlush, errno, kActFlushing, FullPath(*s));
  if (s->resFd != kNoFd && s->resPerm != FILE_PermRead && ::fdatasync(s->resFd) != 0 && errno != EINVAL)
    return FailErrno(kSiteFlush, errno, kActFlushing, SidecarPath(*s));
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_SynchFiles(FILE_SpecH ref) try {
  Spec s(ref, kSiteSynch);
  if (s.err) return s.err;
  if (ErrorCode err = FlushForks(*s, kSiteSynch)) return err;
  if (s->dataFd != kNoFd)
    if (const int e = platform::SyncFile(s->dataFd)) return FailErrno(kSiteSynch, e, kActFlushing, FullPath(*s));
  if (s->resFd != kNoFd)
    if (const int e = platform::SyncFile(s->resFd)) return FailErrno(kSiteSynch, e, kActFlushing, SidecarPath(*s));
  return 0;
} TV_CATCH(FILE_PackageNumber)
