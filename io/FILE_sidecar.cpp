// Side-car resource forks. The resource fork of "name" is the file
// "name.rsrc" beside it, but only when it was made as the fork of exactly that
// file: making a fork gives the data file and its side-car the same random
// mark (an extended attribute), which both keep through renames and
// exchanges and which copies take along. A file of the side-car's name
// without the data file's mark is an unrelated file (or the orphan of a file
// that is gone): it is never read or written as the fork, never moved or
// deleted with the data file, and a new file of the name never adopts it. On
// a file system that keeps no extended attributes the name alone tells.
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "FILE_internal.h"

namespace tv::file {

namespace {

constexpr const char* kMarkName = "user.tavelo.fork";
constexpr size_t kMarkSize = 8;

bool NoMarksHere(int error) { return error == ENOTSUP; }

}  // namespace

Sidecar SidecarOf(const std::string& dataPath, const std::string& sidecarPath) {
  struct stat st;
  if (::lstat(sidecarPath.c_str(), &st) != 0) return errno == ENOENT ? Sidecar::None : Sidecar::Unrelated;
  if (!S_ISREG(st.st_mode)) return Sidecar::Unrelated;
  if (::stat(dataPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Sidecar::Unrelated;
  char a[kMarkSize], b[kMarkSize];
  ssize_t na = ::getxattr(dataPath.c_str(), kMarkName, a, sizeof a);
  if (na < 0 && NoMarksHere(errno)) return Sidecar::Own;
  ssize_t nb = ::getxattr(sidecarPath.c_str(), kMarkName, b, sizeof b);
  if (nb < 0 && NoMarksHere(errno)) return Sidecar::Own;
  bool same = na == static_cast<ssize_t>(kMarkSize) && nb == na && std::memcmp(a, b, kMarkSize) == 0;
  return same ? Sidecar::Own : Sidecar::Unrelated;
}

Sidecar SidecarOf(const SpecRec& r) {
  if (r.isFolder || r.parent[0] == 0) return Sidecar::None;
  return SidecarOf(FullPath(r), SidecarPath(r));
}

std::string MarkOf(const std::string& path) {
  char mark[kMarkSize];
  ssize_t n = ::getxattr(path.c_str(), kMarkName, mark, sizeof mark);
  return n == static_cast<ssize_t>(kMarkSize) ? std::string(mark, kMarkSize) : std::string();
}

int SetMark(int fd, const std::string& mark) {
  if (mark.empty()) return 0;
  if (::fsetxattr(fd, kMarkName, mark.data(), mark.size(), 0) == 0) return 0;
  return NoMarksHere(errno) ? 0 : errno;
}

int MarkSidecar(const std::string& dataPath, int sidecarFd) {
  std::string mark = MarkOf(dataPath);
  if (mark.empty()) {
    char fresh[kMarkSize];
    for (size_t got = 0; got < kMarkSize;) {
      ssize_t n = ::getrandom(fresh + got, kMarkSize - got, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      got += static_cast<size_t>(n);
    }
    mark.assign(fresh, kMarkSize);
    if (::setxattr(dataPath.c_str(), kMarkName, mark.data(), mark.size(), 0) != 0)
      return NoMarksHere(errno) ? 0 : errno;
  }
  return SetMark(sidecarFd, mark);
}

}  // namespace tv::file
