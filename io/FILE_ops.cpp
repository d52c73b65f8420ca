// Creating, deleting, renaming, copying and exchanging files and folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AtomicFile.h"
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
  return FailErrno(site, errno, kActGettingInformationOn, parent);
}

// Whether some reference in this process has the file at path open, or the
// resource fork that belongs to it.
bool Busy(const std::string& path, const struct stat& st, bool ownSidecar) {
  if (IsOpen(st)) return true;
  struct stat sc;
  return ownSidecar && ::stat((path + ".rsrc").c_str(), &sc) == 0 && IsOpen(sc);
}

// Renames from to to unless to exists; 0 or an errno value (EEXIST when it does).
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return errno;
  // No exclusive rename on this file system.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
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
    if (const int e = platform::WriteFully(out, buf.data(), static_cast<size_t>(n))) return e;
  }
}

// Copies the file at from to a new file at to, through a temporary file in
// the destination folder that is flushed and then renamed into place, so the
// destination never holds a partial copy. Returns 0 or the reported code.
// mark: given to the copy (the mark of a file and its resource fork).
ErrorCode CopyFileAtomic(uint32_t site, const std::string& from, const std::string& to, const std::string& folder,
                         std::string_view base, const std::string& mark) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FailErrno(site, errno, kActCopying, from);
  struct stat st;
  if (::fstat(in, &st) != 0) {
    int e = errno;
    ::close(in);
    return FailErrno(site, e, kActCopying, from);
  }
  if (ErrorCode err = CheckSpace(site, to, static_cast<uint64_t>(st.st_size), kActCopyingTo)) {
    ::close(in);
    return err;
  }
  std::string temp;
  int out = MakeTemp(folder, base, &temp);
  if (out < 0) {
    int e = errno;
    ::close(in);
    return FailErrno(site, e, kActCopyingTo, to);
  }
  int e = CopyData(in, out);
  if (!e) e = SetMark(out, mark);
  if (!e && ::fchmod(out, st.st_mode & 07777) != 0) e = errno;
  if (!e) e = platform::SyncFile(out);
  ::close(in);
  if (const int c = platform::CloseFile(out); c && !e) e = c;
  if (!e && ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    e = errno;
    if (e == EINVAL) {
      // No exclusive rename on this file system: link refuses an existing name.
      e = ::link(temp.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
  }
  ::unlink(temp.c_str());  // after a rename the name is gone; after a link the copy stays at `to`
  if (e == EEXIST) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {to});
  if (e) return FailErrno(site, e, kActCopyingTo, to);
  return 0;
}

}  // namespace

ErrorCode FILE_Create(int32_t kind, int32_t /*script*/, int32_t flags, FILE_SpecH ref) try {
  constexpr uint32_t site = kSiteCreate;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (kind != FILE_CreateFile && kind != FILE_CreateFolder) return kReport.BadParam(site);
  if (s->isOpen || s->resFd != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbCreate)});
  std::string path = FullPath(*s);
  if (s->parent[0] == 0) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
  if (ErrorCode err = CheckParent(site, *s)) return err;
  std::string parent = ParentOf(*s);
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && !(kind == FILE_CreateFile && (flags & FILE_CreateReplace)))
    return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
  if (exists && S_ISDIR(st.st_mode)) return kReport.Fail(site, FILE_ErrOverwrite, kStrOverwriteBusy);
  bool ownSidecar = false;
  if (exists) {
    // Replacing a file that a reference has open would take its data away
    // from under it; a locked file may not be changed at all.
    ownSidecar = SidecarOf(path, SidecarPath(*s)) == Sidecar::Own;
    if (Busy(path, st, ownSidecar)) return kReport.Fail(site, FILE_ErrOverwrite, kStrOverwriteBusy);
    int denied = WriteDenied(path);
    if (denied == EACCES || denied == EPERM) return FailPlatform(site, kSysFileLocked, kActReplacing, path);
  }
  ForgetListing(parent);
  if (kind == FILE_CreateFolder) {
    if (::mkdir(path.c_str(), 0777) != 0) {
      if (errno == EEXIST) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
      return FailErrno(site, errno, kActCreating, path);
    }
    s->isFolder = 1;
    return 0;
  }
  if (!exists) {
    // A side-car left by another file of this name is not adopted: it does
    // not carry the new file's mark.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {path});
      return FailErrno(site, errno, kActCreating, path);
    }
    ::close(fd);
    s->isFolder = 0;
    return 0;
  }
  // Replacing: a new empty file takes the old one's place in one rename, so
  // the name never stops naming a file.
  std::string temp;
  int fd = MakeTemp(parent, std::string_view(s->name, s->nameLen), &temp);
  if (fd < 0) return FailErrno(site, errno, kActCreating, path);
  ::fchmod(fd, st.st_mode & 07777);
  ::close(fd);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    if (e == EACCES || e == EPERM || e == EBUSY) return kReport.Fail(site, FILE_ErrOverwrite, kStrOverwriteNamed, {path});
    return FailErrno(site, e, kActCreating, path);
  }
  // The old file's resource fork went with it.
  if (ownSidecar) ::unlink(SidecarPath(*s).c_str());
  s->isFolder = 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Delete(FILE_SpecH ref) try {
  constexpr uint32_t site = kSiteDelete;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (s->isOpen || s->resFd != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrDeleteOpen);
  std::string path = FullPath(*s);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return FailErrno(site, errno, kActDeleting, path);
  // Folders have no resource fork; a file's goes with it only when it is its own.
  bool folder = S_ISDIR(st.st_mode);
  bool ownSidecar = !folder && SidecarOf(path, SidecarPath(*s)) == Sidecar::Own;
  // A file some reference has open would lose its data under that reference;
  // a locked file or folder may not be changed at all.
  if (!folder && Busy(path, st, ownSidecar)) return kReport.Fail(site, FILE_ErrOpen, kStrDeleteOpen);
  int denied = WriteDenied(path);
  if (denied == EACCES || denied == EPERM) return FailPlatform(site, kSysFileLocked, kActDeleting, path);
  ForgetListing(ParentOf(*s));
  if (folder) {
    if (::rmdir(path.c_str()) != 0) return FailErrno(site, errno, kActDeleting, path);
    ForgetListing(path);
    return 0;
  }
  if (::unlink(path.c_str()) != 0) return FailErrno(site, errno, kActDeleting, path);
  if (ownSidecar) ::unlink(SidecarPath(*s).c_str());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Rename(FILE_SpecH ref, const char* newName) try {
  constexpr uint32_t site = kSiteRename;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (!newName) return kReport.BadParam(site);
  std::string_view name(newName);
  if (!ValidName(name)) return kReport.Fail(site, FILE_ErrBadSpec, kStrBadSpec);
  std::string path = FullPath(*s);
  if (name.size() > static_cast<size_t>(FILE_MaxName)) return FailPlatform(site, kSysBadName, kActRenaming, path);
  if (s->parent[0] == 0) return kReport.BadParam(site);
  std::string parent = ParentOf(*s);
  std::string target = (parent == "/" ? "/" : parent + "/") + std::string(name);
  if (target == path) return 0;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return FailErrno(site, errno, kActRenaming, path);
  // A file and its resource fork move together. Neither may land on a
  // side-car that is there already: it would be overwritten, or the renamed
  // file would adopt it. Folders have no resource fork.
  bool folder = S_ISDIR(st.st_mode);
  std::string sidecar = SidecarPath(*s);
  std::string targetSidecar = target + ".rsrc";
  bool ownSidecar = !folder && SidecarOf(path, sidecar) == Sidecar::Own;
  if (!folder && ::lstat(targetSidecar.c_str(), &st) == 0 && ::lstat(target.c_str(), &st) != 0)
    return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {targetSidecar});
  if (int e = RenameNoReplace(path, target)) {
    if (e == EEXIST || e == ENOTEMPTY) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {target});
    return FailErrno(site, e, kActRenaming, path);
  }
  ForgetListing(parent);
  if (ownSidecar) {
    if (int e = RenameNoReplace(sidecar, targetSidecar)) {
      RenameNoReplace(target, path);  // no file without its resource fork
      if (e == EEXIST) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {targetSidecar});
      return FailErrno(site, e, kActRenaming, sidecar);
    }
  }
  std::memcpy(s->name, name.data(), name.size());
  s->name[name.size()] = 0;
  s->nameLen = static_cast<uint8_t>(name.size());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Copy(FILE_SpecH source, FILE_SpecH destination) try {
  constexpr uint32_t site = kSiteCopy;
  std::string from, to, folder, base, sidecarFrom, sidecarTo;
  bool ownSidecar = false;
  {
    Spec s(source, site);
    if (s.err) return s.err;
    if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbCopy)});
    // The copy holds every byte written, through this reference or another.
    if (ErrorCode err = FlushFile(*s, FILE_DataFork, site)) return err;
    from = FullPath(*s);
    sidecarFrom = SidecarPath(*s);
    ownSidecar = SidecarOf(from, sidecarFrom) == Sidecar::Own;
    if (ownSidecar) {
      if (ErrorCode err = FlushFile(*s, FILE_ResourceFork, site)) return err;
    }
  }
  {
    Spec d(destination, site);
    if (d.err) return d.err;
    if (d->isOpen || d->resFd != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbOverwrite)});
    if (d->parent[0] == 0) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {"/"});
    if (ErrorCode err = CheckParent(site, *d)) return err;
    to = FullPath(*d);
    sidecarTo = SidecarPath(*d);
    folder = ParentOf(*d);
    base.assign(d->name, d->nameLen);
  }
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {to});
  // The copy would adopt (or overwrite) a side-car that is there already.
  if (::lstat(sidecarTo.c_str(), &st) == 0) return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {sidecarTo});
  ForgetListing(folder);
  std::string mark = ownSidecar ? MarkOf(from) : std::string();
  if (ErrorCode err = CopyFileAtomic(site, from, to, folder, base, mark)) return err;
  if (ownSidecar) {
    if (ErrorCode err = CopyFileAtomic(site, sidecarFrom, sidecarTo, folder, base, mark)) {
      ::unlink(to.c_str());  // no copy without its resource fork
      return err;
    }
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ExchFileData(FILE_SpecH a, FILE_SpecH b) try {
  constexpr uint32_t site = kSiteExchange;
  std::string paths[2], parents[2];
  bool own[2] = {false, false};
  FILE_SpecH refs[2] = {a, b};
  for (int i = 0; i < 2; ++i) {
    Spec s(refs[i], site);
    if (s.err) return s.err;
    if (s->isFolder) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbExchange)});
    // Open descriptors follow the data, so open files are not exchanged.
    if (s->isOpen || s->resFd != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbExchange)});
    paths[i] = FullPath(*s);
    parents[i] = ParentOf(*s);
  }
  const std::string& pa = paths[0];
  const std::string& pb = paths[1];
  const std::string& parentA = parents[0];
  const std::string& parentB = parents[1];
  for (int i = 0; i < 2; ++i) {
    struct stat st;
    if (::stat(paths[i].c_str(), &st) != 0) return FailErrno(site, errno, kActExchanging, paths[i]);
    if (S_ISDIR(st.st_mode)) return kReport.Fail(site, FILE_ErrDirectory, kStrCannotDirectory, {kReport.Text(kVerbExchange)});
    own[i] = SidecarOf(paths[i], paths[i] + ".rsrc") == Sidecar::Own;
    // Nor are files another reference has open.
    if (Busy(paths[i], st, own[i])) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbExchange)});
  }
  if (pa == pb) return 0;
  // The resource forks go with the data; neither may land on a side-car of
  // the other name that is not that file's own.
  std::string sa = pa + ".rsrc", sb = pb + ".rsrc";
  for (int i = 0; i < 2; ++i) {
    const std::string& there = i == 0 ? sb : sa;
    struct stat st;
    if (own[i] && !own[1 - i] && ::lstat(there.c_str(), &st) == 0)
      return kReport.Fail(site, FILE_ErrExists, kStrExistsNamed, {there});
  }
  ForgetListing(parentA);
  ForgetListing(parentB);
  if (int e = Exchange(pa, pb, parentA)) return FailErrno(site, e, kActExchanging, pa);
  int e = 0;
  if (own[0] && own[1])
    e = Exchange(sa, sb, parentA);
  else if (own[0])
    e = RenameNoReplace(sa, sb);
  else if (own[1])
    e = RenameNoReplace(sb, sa);
  if (e) {
    Exchange(pa, pb, parentA);  // put the data back as it was
    return FailErrno(site, e, kActExchanging, sa);
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)
