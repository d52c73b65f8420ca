// Creating, deleting, renaming, copying and exchanging files and folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FILE_internal.h"

using namespace tv;
using namespace tv::file;

namespace {

std::string ParentOf(const SpecRec& r) { return r.parent[0] ? std::string(r.parent) : std::string("/"); }

// Reports a missing parent folder as "directory "..." does not exist.";
// 0 when the parent is there.
ErrorCode CheckParent(uint32_t site, const SpecRec& r) {
  struct stat st;
  std::string parent = ParentOf(r);
  if (::stat(parent.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return 0;
    errno = ENOTDIR;
  }
  if (errno == ENOENT || errno == ENOTDIR) {
    kReport.Platform(site, kSevError, kSysNoDirectory, kStrNoSuchDirectory, {parent});
    return kSysNoDirectory;
  }
  return FailErrno(site, errno, "getting information on", parent);
}

// A new temporary file in folder; fills path and returns the descriptor, or -1.
int MakeTemp(const std::string& folder, std::string_view base, std::string* path) {
  std::string name = folder == "/" ? "/" : folder + "/";
  name += ".";
  name += std::string(base.substr(0, 200));
  name += ".tvtmp-XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back(0);
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd >= 0) path->assign(buf.data());
  return fd;
}

// Exchanges the files at a and b; returns 0 or an errno value. Atomic where
// the file system can; otherwise three renames through a temporary name in folder.
int Exchange(const std::string& a, const std::string& b, const std::string& folder) {
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  std::string temp;
  int fd = MakeTemp(folder, "exchange", &temp);
  if (fd < 0) return errno;
  ::close(fd);
  if (::rename(a.c_str(), temp.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    return e;
  }
  if (::rename(b.c_str(), a.c_str()) != 0) {
    int e = errno;
    ::rename(temp.c_str(), a.c_str());
    return e;
  }
  if (::rename(temp.c_str(), b.c_str()) != 0) {
    int e = errno;
    ::rename(a.c_str(), b.c_str());
    ::rename(temp.c_str(), a.c_str());
    return e;
  }
  return 0;
}

// Copies every byte of in to out; returns 0 or an errno value.
int CopyData(int in, int out) {
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
    if (n == 0) return 0;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    break;  // not supported between these files: copy through a buffer
  }
  std::vector<char> buf(1 << 20);
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += w;
    }
  }
}

// Copies the file at from to a new file at to, through a temporary file in
// the destination folder that is flushed and then renamed into place, so the
// destination never holds a partial copy. Returns 0 or the reported code.
ErrorCode CopyFileAtomic(uint32_t site, const std::string& from, const std::string& to, const std::string& folder,
                         std::string_view base) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FailErrno(site, errno, "copying", from);
  struct stat st;
  if (::fstat(in, &st) != 0) {
    int e = errno;
    ::close(in);
    return FailErrno(site, e, "copying", from);
  }
  if (ErrorCode err = CheckSpace(site, to, static_cast<uint64_t>(st.st_size), "copying to")) {
    ::close(in);
    return err;
  }
  std::string temp;
  int out = MakeTemp(folder, base, &temp);
  if (out < 0) {
    int e = errno;
    ::close(in);
    return FailErrno(site, e, "copying to", to);
  }
  int e = CopyData(in, out);
  if (!e && ::fchmod(out, st.st_mode & 07777) != 0) e = errno;
  if (!e && ::fsync(out) != 0 && errno != EINVAL) e = errno;
  ::close(in);
  if (::close(out) != 0 && !e && errno != EINTR) e = errno;
  if (!e && ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    e = errno;
    if (e == EINVAL) {
      // No exclusive rename on this file system: link refuses an existing name.
      e = ::link(temp.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
  }
  ::unlink(temp.c_str());  // after a rename the name is gone; after a link the copy stays at `to`
  if (e == EEXIST) return Fail(site, FILE_ErrExists, kStrExistsNamed, {to});
  if (e) return FailErrno(site, e, "copying to", to);
  return 0;
}

}  // namespace

ErrorCode FILE_Create(int32_t kind, int32_t /*script*/, int32_t flags, FILE_SpecH ref) try {
  constexpr uint32_t site = kSiteCreate;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (kind != FILE_CreateFile && kind != FILE_CreateFolder) return Fail(site, kErrBadParam, kStrBadParam);
  if (s->isOpen || s->resFd != kNoFd) return Fail(site, FILE_ErrOpen, kStrCannotOpen, {"create"});
  std::string path = FullPath(*s);
  if (s->parent[0] == 0) return Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
  if (ErrorCode err = CheckParent(site, *s)) return err;
  std::string parent = ParentOf(*s);
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && !(kind == FILE_CreateFile && (flags & FILE_CreateReplace)))
    return Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
  if (exists && S_ISDIR(st.st_mode)) return Fail(site, FILE_ErrOverwrite, kStrOverwriteBusy);
  ForgetListing(parent);
  if (kind == FILE_CreateFolder) {
    if (::mkdir(path.c_str(), 0777) != 0) {
      if (errno == EEXIST) return Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
      return FailErrno(site, errno, "creating", path);
    }
    s->isFolder = 1;
    return 0;
  }
  if (!exists) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) return Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
      return FailErrno(site, errno, "creating", path);
    }
    ::close(fd);
    s->isFolder = 0;
    return 0;
  }
  // Replacing: a new empty file takes the old one's place in one rename, so
  // the name never stops naming a file.
  std::string temp;
  int fd = MakeTemp(parent, std::string_view(s->name, s->nameLen), &temp);
  if (fd < 0) return FailErrno(site, errno, "creating", path);
  ::fchmod(fd, st.st_mode & 07777);
  ::close(fd);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    if (e == EACCES || e == EPERM || e == EBUSY) return Fail(site, FILE_ErrOverwrite, kStrOverwriteNamed, {path});
    return FailErrno(site, e, "creating", path);
  }
  s->isFolder = 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Delete(FILE_SpecH ref) try {
  constexpr uint32_t site = kSiteDelete;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (s->isOpen || s->resFd != kNoFd) return Fail(site, FILE_ErrOpen, kStrDeleteOpen);
  std::string path = FullPath(*s);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return FailErrno(site, errno, "deleting", path);
  ForgetListing(ParentOf(*s));
  if (S_ISDIR(st.st_mode)) {
    if (::rmdir(path.c_str()) != 0) return FailErrno(site, errno, "deleting", path);
    ForgetListing(path);
    return 0;
  }
  if (::unlink(path.c_str()) != 0) return FailErrno(site, errno, "deleting", path);
  ::unlink(SidecarPath(*s).c_str());  // the resource fork goes with the file
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Rename(FILE_SpecH ref, const char* newName) try {
  constexpr uint32_t site = kSiteRename;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!newName) return Fail(site, kErrBadParam, kStrBadParam);
  std::string_view name(newName);
  if (!ValidName(name)) return Fail(site, FILE_ErrBadSpec, kStrBadSpec);
  std::string path = FullPath(*s);
  if (name.size() > static_cast<size_t>(FILE_MaxName)) return FailPlatform(site, kSysBadName, "renaming", path);
  if (s->parent[0] == 0) return Fail(site, kErrBadParam, kStrBadParam);
  std::string parent = ParentOf(*s);
  std::string target = (parent == "/" ? "/" : parent + "/") + std::string(name);
  if (target == path) return 0;
  int rc = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && errno == EINVAL) {
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) {
      errno = EEXIST;
    } else {
      rc = ::rename(path.c_str(), target.c_str());
    }
  }
  if (rc != 0) {
    if (errno == EEXIST || errno == ENOTEMPTY) return Fail(site, FILE_ErrExists, kStrExistsNamed, {target});
    return FailErrno(site, errno, "renaming", path);
  }
  std::string sidecar = SidecarPath(*s);
  ForgetListing(parent);
  std::memcpy(s->name, name.data(), name.size());
  s->name[name.size()] = 0;
  s->nameLen = static_cast<uint8_t>(name.size());
  if (::access(sidecar.c_str(), F_OK) == 0) ::rename(sidecar.c_str(), SidecarPath(*s).c_str());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Copy(FILE_SpecH source, FILE_SpecH destination) try {
  constexpr uint32_t site = kSiteCopy;
  std::string from, to, folder, base, sidecarFrom, sidecarTo;
  {
    Spec s(source, site);
    if (s.err) return s.err;
    if (s->isFolder) return Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {"copy"});
    if (ErrorCode err = FlushForks(*s, site)) return err;  // the copy holds every byte written
    from = FullPath(*s);
    sidecarFrom = SidecarPath(*s);
  }
  {
    Spec d(destination, site);
    if (d.err) return d.err;
    if (d->isOpen || d->resFd != kNoFd) return Fail(site, FILE_ErrOpen, kStrCannotOpen, {"overwrite"});
    if (d->parent[0] == 0) return Fail(site, FILE_ErrExists, kStrExistsNamed, {"/"});
    if (ErrorCode err = CheckParent(site, *d)) return err;
    to = FullPath(*d);
    sidecarTo = SidecarPath(*d);
    folder = ParentOf(*d);
    base.assign(d->name, d->nameLen);
  }
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return Fail(site, FILE_ErrExists, kStrExistsNamed, {to});
  ForgetListing(folder);
  if (ErrorCode err = CopyFileAtomic(site, from, to, folder, base)) return err;
  if (::access(sidecarFrom.c_str(), F_OK) == 0) {
    if (ErrorCode err = CopyFileAtomic(site, sidecarFrom, sidecarTo, folder, base)) {
      ::unlink(to.c_str());  // no copy without its resource fork
      return err;
    }
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ExchFileData(FILE_SpecH a, FILE_SpecH b) try {
  constexpr uint32_t site = kSiteExchange;
  std::string paths[2], parents[2];
  FILE_SpecH refs[2] = {a, b};
  for (int i = 0; i < 2; ++i) {
    Spec s(refs[i], site);
    if (s.err) return s.err;
    if (s->isFolder) return Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {"exchange"});
    // Open descriptors follow the data, so open files are not exchanged.
    if (s->isOpen || s->resFd != kNoFd) return Fail(site, FILE_ErrOpen, kStrCannotOpen, {"exchange"});
    paths[i] = FullPath(*s);
    parents[i] = ParentOf(*s);
  }
  const std::string& pa = paths[0];
  const std::string& pb = paths[1];
  const std::string& parentA = parents[0];
  const std::string& parentB = parents[1];
  for (const std::string* p : {&pa, &pb}) {
    struct stat st;
    if (::stat(p->c_str(), &st) != 0) return FailErrno(site, errno, "exchanging", *p);
    if (S_ISDIR(st.st_mode)) return Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {"exchange"});
  }
  if (pa == pb) return 0;
  ForgetListing(parentA);
  ForgetListing(parentB);
  if (int e = Exchange(pa, pb, parentA)) return FailErrno(site, e, "exchanging", pa);
  // The resource forks (side-car files) go with the data.
  std::string sa = pa + ".rsrc", sb = pb + ".rsrc";
  bool hasA = ::access(sa.c_str(), F_OK) == 0, hasB = ::access(sb.c_str(), F_OK) == 0;
  int e = 0;
  if (hasA && hasB)
    e = Exchange(sa, sb, parentA);
  else if (hasA)
    e = ::rename(sa.c_str(), sb.c_str()) == 0 ? 0 : errno;
  else if (hasB)
    e = ::rename(sb.c_str(), sa.c_str()) == 0 ? 0 : errno;
  if (e) {
    Exchange(pa, pb, parentA);  // put the data back as it was
    return FailErrno(site, e, "exchanging", sa);
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)
