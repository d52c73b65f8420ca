// Folder enumeration by index. A folder is read once, its entries sorted
// byte-wise by name, and the listing kept until the folder changes, so
// indices are stable and walking a folder by index costs one read of it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "FILE_internal.h"

namespace tv::file {
namespace {

struct Entry {
  std::string name;
  bool isFolder;
};

struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec mtime {};
  std::vector<Entry> entries;
};

constexpr size_t kMaxCachedFolders = 64;
std::map<std::string, Listing> gListings;

bool SameStamp(const Listing& l, const struct stat& st) {
  return l.dev == st.st_dev && l.ino == st.st_ino && l.mtime.tv_sec == st.st_mtim.tv_sec &&
         l.mtime.tv_nsec == st.st_mtim.tv_nsec;
}

// The listing of folder, read afresh when it changed. Hidden names (starting
// with ".") and entries that cannot be reached (broken links) are left out.
ErrorCode GetListing(uint32_t site, const std::string& folder, const struct stat& st, const Listing** out) {
  auto it = gListings.find(folder);
  if (it != gListings.end() && SameStamp(it->second, st)) {
    *out = &it->second;
    return 0;
  }
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return FailErrno(site, errno, kActReadingDirectory, folder);
  DIR* dir = ::fdopendir(dfd);
  if (!dir) {
    int e = errno;
    ::close(dfd);
    return FailErrno(site, e, kActReadingDirectory, folder);
  }
  Listing listing;
  listing.dev = st.st_dev;
  listing.ino = st.st_ino;
  listing.mtime = st.st_mtim;
  int readError = 0;
  for (;;) {
    errno = 0;
    struct dirent* d = ::readdir(dir);
    if (!d) {
      readError = errno;
      break;
    }
    if (d->d_name[0] == '.') continue;
    bool isFolder;
    if (d->d_type == DT_REG) {
      isFolder = false;
    } else if (d->d_type == DT_DIR) {
      isFolder = true;
    } else {
      struct stat es;
      if (::fstatat(dfd, d->d_name, &es, 0) != 0) continue;  // a broken link
      isFolder = S_ISDIR(es.st_mode);
    }
    listing.entries.push_back(Entry{d->d_name, isFolder});
  }
  ::closedir(dir);
  if (readError) return FailErrno(site, readError, kActReadingDirectory, folder);
  // std::string compares as unsigned bytes: a byte-wise order independent of the locale.
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  if (gListings.size() >= kMaxCachedFolders) gListings.clear();
  *out = &(gListings[folder] = std::move(listing));
  return 0;
}

// The path of a folder reference, or the reported 770 (with text) when it is
// not a folder.
ErrorCode FolderPath(uint32_t site, FILE_SpecH dir, int32_t text, std::string* path, struct stat* st) {
  Spec s(dir, site);
  if (s.err) return s.err;
  *path = FullPath(*s);
  errno = 0;
  bool isFolder = ::stat(path->c_str(), st) == 0 && S_ISDIR(st->st_mode);
  if (isFolder) s->isFolder = 1;
  if (!s->isFolder) return kReport.Fail(site, FILE_ErrOnlyDirectory, text);
  if (!isFolder) return FailErrno(site, errno ? errno : ENOENT, kActReadingDirectory, *path);
  return 0;
}

}  // namespace

void ForgetListing(const std::string& folder) { gListings.erase(folder); }
void ResetListings() { gListings.clear(); }

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_DirFileCount(FILE_SpecH dir, int32_t* count) try {
  constexpr uint32_t site = kSiteDirFileCount;
  if (!count) return kReport.BadParam(site);
  *count = 0;
  std::string path;
  struct stat st;
  if (ErrorCode err = FolderPath(site, dir, kStrCountOnDirectory, &path, &st)) return err;
  const Listing* listing = nullptr;
  if (ErrorCode err = GetListing(site, path, st, &listing)) return err;
  *count = static_cast<int32_t>(std::min<size_t>(listing->entries.size(), INT32_MAX));
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DirInqFileSpec(FILE_SpecH dir, int32_t index, FILE_SpecH* ref) try {
  constexpr uint32_t site = kSiteDirInqFileSpec;
  if (!ref) return kReport.BadParam(site);
  *ref = nullptr;
  std::string path;
  struct stat st;
  if (ErrorCode err = FolderPath(site, dir, kStrIndexOnDirectory, &path, &st)) return err;
  const Listing* listing = nullptr;
  if (ErrorCode err = GetListing(site, path, st, &listing)) return err;
  if (index < 1 || static_cast<size_t>(index) > listing->entries.size())
    return kReport.Fail(site, FILE_ErrNotFound, kStrIndexRange, {index, path});
  const Entry& e = listing->entries[static_cast<size_t>(index) - 1];
  if (path.size() >= static_cast<size_t>(FILE_MaxPath) || e.name.size() > static_cast<size_t>(FILE_MaxName))
    return FailPlatform(site, kSysBadName, kActReadingDirectory, path);
  FILE_SpecH h = nullptr;
  if (ErrorCode err = NewRecord(site, &h)) return err;
  auto* r = reinterpret_cast<SpecRec*>(*h);
  std::memcpy(r->parent, path.c_str(), path.size() + 1);
  std::memcpy(r->name, e.name.c_str(), e.name.size() + 1);
  r->nameLen = static_cast<uint8_t>(e.name.size());
  r->isFolder = e.isFolder;
  r->dirId = st.st_ino;
  *ref = h;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DirInqFileSpecByName(FILE_SpecH dir, const char* name, FILE_SpecH* ref) try {
  constexpr uint32_t site = kSiteDirByName;
  if (!ref) return kReport.BadParam(site);
  *ref = nullptr;
  if (!name) return kReport.BadParam(site);
  std::string path;
  struct stat st;
  if (ErrorCode err = FolderPath(site, dir, kStrIndexOnDirectory, &path, &st)) return err;
  if (!ValidName(name)) return kReport.Fail(site, FILE_ErrBadSpec, kStrBadSpec);
  std::string full = (path == "/" ? "/" : path + "/") + name;
  if (::stat(full.c_str(), &st) != 0) {
    if (errno == ENOENT) return kReport.Fail(site, FILE_ErrNotFound, kStrNotFoundNamed, {full});
    return FailErrno(site, errno, kActGettingInformationOn, full);
  }
  return NewFromPath(full, FILE_LocFullPath, site, ref);
} TV_CATCH(FILE_PackageNumber)
