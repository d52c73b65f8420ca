// Volumes: the mount table, free space through a replaceable provider
// (statvfs by default), and volume names of full paths.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "FILE_internal.h"

namespace tv::file {
namespace {

VolumeSpaceProvider gProvider;

int StatvfsProvider(const std::string& path, uint64_t* freeBytes, uint64_t* totalBytes) {
  struct statvfs vfs;
  if (::statvfs(path.c_str(), &vfs) != 0) return errno;
  *freeBytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
  *totalBytes = static_cast<uint64_t>(vfs.f_blocks) * static_cast<uint64_t>(vfs.f_frsize);
  return 0;
}

bool RealFileSystem(const std::string& type) {
  static const char* const kTypes[] = {"ext2", "ext3",   "ext4",    "xfs",   "btrfs", "zfs",   "vfat",
                                       "exfat", "ntfs", "ntfs3",   "fuseblk", "nfs",  "nfs4",  "cifs",
                                       "smb3", "tmpfs", "overlay", "f2fs",  "jfs",   "reiserfs", "hfsplus"};
  for (const char* t : kTypes)
    if (type == t) return true;
  return type.rfind("fuse.", 0) == 0;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7') {
      out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Mount points of real file systems: "/" first, then in byte order.
std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devs, root, point, field;
    if (!(fields >> id >> parent >> devs >> root >> point)) continue;
    while (fields >> field && field != "-") {
    }
    std::string type;
    if (!(fields >> type) || !RealFileSystem(type)) continue;
    point = Unescape(point);
    if (std::find(points.begin(), points.end(), point) == points.end()) points.push_back(point);
  }
  std::sort(points.begin(), points.end(), [](const std::string& a, const std::string& b) {
    if (a == "/" || b == "/") return a == "/" && b != "/";
    return a < b;
  });
  if (points.empty() || points[0] != "/") points.insert(points.begin(), "/");
  return points;
}

}  // namespace

std::string VolumeOf(const std::string& path) {
  std::string best = "/";
  for (const std::string& p : MountPoints()) {
    if (p.size() > best.size() && path.compare(0, p.size(), p) == 0 &&
        (path.size() == p.size() || path[p.size()] == '/'))
      best = p;
  }
  return best;
}

int FreeSpace(const std::string& path, uint64_t* freeBytes) {
  uint64_t total = 0;
  const VolumeSpaceProvider& provider = gProvider;
  auto ask = [&](const std::string& p) {
    return provider ? provider(p, freeBytes, &total) : StatvfsProvider(p, freeBytes, &total);
  };
  int e = ask(path);
  if (e == ENOENT) {
    // A file that does not exist yet: its folder's volume.
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) e = ask(slash == 0 ? std::string("/") : path.substr(0, slash));
  }
  return e;
}

ErrorCode CheckSpace(uint32_t site, const std::string& path, uint64_t growth, int32_t action) {
  uint64_t freeBytes = 0;
  // When the free space cannot be learnt, the write itself will tell.
  if (FreeSpace(path, &freeBytes) != 0) return 0;
  if (growth > freeBytes) return FailPlatform(site, kSysDiskFull, action, path);
  return 0;
}

void ResetVolumes() { gProvider = nullptr; }

void SetVolumeSpaceProvider(VolumeSpaceProvider provider) { gProvider = std::move(provider); }

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_VolCount(int32_t* count) try {
  if (!count) return kReport.BadParam(kSiteVolCount);
  *count = static_cast<int32_t>(MountPoints().size());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqVolSpec(int32_t index, FILE_SpecH* ref) try {
  constexpr uint32_t site = kSiteInqVolSpec;
  if (!ref) return kReport.BadParam(site);
  *ref = nullptr;
  std::vector<std::string> points = MountPoints();
  if (index < 1 || static_cast<size_t>(index) > points.size()) {
    kReport.Platform(site, kSevError, -35, kStrVolumeIndex, {index});
    return -35;
  }
  return NewFromPath(points[static_cast<size_t>(index) - 1], FILE_LocFullPath, site, ref);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqVolSpaceAvailable(FILE_SpecH ref, uint64_t* bytes) try {
  constexpr uint32_t site = kSiteVolSpace;
  if (!bytes) return kReport.BadParam(site);
  *bytes = 0;
  std::string path;
  {
    Spec s(ref, site);
    if (s.err) return s.err;
    path = FullPath(*s);
  }
  uint64_t freeBytes = 0;
  if (int e = FreeSpace(path, &freeBytes)) return FailErrno(site, e, kActFindingFreeSpaceFor, path);
  *bytes = freeBytes;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqVolSpacePlusAvailable(FILE_SpecH ref, uint64_t* bytes) try {
  constexpr uint32_t site = kSiteVolSpace;
  if (!bytes) return kReport.BadParam(site);
  *bytes = 0;
  uint64_t freeBytes = 0;
  if (ErrorCode err = FILE_InqVolSpaceAvailable(ref, &freeBytes)) return err;
  std::string path;
  bool isFolder;
  {
    Spec s(ref, site);
    path = FullPath(*s);
    isFolder = s->isFolder;
  }
  uint64_t size = 0;
  struct stat st;
  if (!isFolder && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
  *bytes = freeBytes + size < freeBytes ? UINT64_MAX : freeBytes + size;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqVolKBAvailable(FILE_SpecH ref, uint32_t* kilobytes) try {
  if (!kilobytes) return kReport.BadParam(kSiteVolSpace);
  *kilobytes = 0;
  uint64_t bytes = 0;
  if (ErrorCode err = FILE_InqVolSpaceAvailable(ref, &bytes)) return err;
  *kilobytes = static_cast<uint32_t>(std::min<uint64_t>(bytes / 1024, 0xFFFFFFFFu));
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_GetVolumeNameFromFullPath(const char* path, char* name) try {
  if (!path || !name) return kReport.BadParam(kSiteVolName);
  name[0] = 0;
  // At most 64 characters are examined.
  std::string_view p(path, ::strnlen(path, 64));
  std::string_view volume;
  if (!p.empty() && p[0] == '/') {
    volume = "/";  // native paths: one volume for relative-path purposes
  } else if (p.size() >= 2 && p[1] == ':') {
    volume = p.substr(0, 2);
  } else if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    size_t first = p.find('\\', 2);
    size_t second = first == std::string_view::npos ? first : p.find('\\', first + 1);
    volume = second == std::string_view::npos ? p : p.substr(0, second);
  }
  if (!volume.empty()) std::memcpy(name, volume.data(), volume.size());
  name[volume.size()] = 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)
