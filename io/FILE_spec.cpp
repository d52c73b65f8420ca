// File references: making them from each location kind, checking them,
// copying them, and asking where they point.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "FILE_internal.h"

namespace tv::file {

// A reference's block is locked when it is made and never resized, so it
// never moves: checking the handle and the markers, without a lock of its
// own, is all an operation needs, and costs one call into the memory manager
// on every read and write.
Spec::Spec(FILE_SpecH h, uint32_t site) {
  err = kReport.CheckRecord(h, kSpecMagic, site);
  if (!err) rec_ = reinterpret_cast<SpecRec*>(*h);
}

bool ValidName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::string FullPath(const SpecRec& r) {
  if (r.parent[0] == 0) return "/";
  std::string p(r.parent);
  if (p != "/") p += '/';
  p.append(r.name, r.nameLen);
  return p;
}

std::string SidecarPath(const SpecRec& r) { return FullPath(r) + ".rsrc"; }

ErrorCode SetLocation(SpecRec& r, std::string_view path, uint32_t site) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos)
    return kReport.Fail(site, FILE_ErrBadSpec, kStrBadSpec);
  std::string norm = std::filesystem::path(std::string(path)).lexically_normal().string();
  while (norm.size() > 1 && norm.back() == '/') norm.pop_back();
  if (norm.size() >= static_cast<size_t>(FILE_MaxPath))
    return FailPlatform(site, kSysBadName, kActNaming, path);
  if (norm == "/") {
    r.parent[0] = 0;
    r.name[0] = 0;
    r.nameLen = 0;
    return 0;
  }
  size_t slash = norm.rfind('/');
  std::string_view name = std::string_view(norm).substr(slash + 1);
  if (name.size() > static_cast<size_t>(FILE_MaxName)) return FailPlatform(site, kSysBadName, kActNaming, path);
  std::string parent = slash == 0 ? std::string("/") : norm.substr(0, slash);
  std::memcpy(r.parent, parent.c_str(), parent.size() + 1);
  std::memcpy(r.name, name.data(), name.size());
  r.name[name.size()] = 0;
  r.nameLen = static_cast<uint8_t>(name.size());
  struct stat st;
  r.dirId = ::stat(r.parent, &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
  return 0;
}

ErrorCode NewRecord(uint32_t site, FILE_SpecH* ref) {
  Handle h = NewHandleClear(static_cast<Size>(sizeof(SpecRec)));
  if (!h) return kReport.OutOfMemory(site, kStrReferenceMemory, sizeof(SpecRec));
  HLock(h);  // for its whole life (see Spec)
  auto* r = reinterpret_cast<SpecRec*>(*h);
  r->head = kSpecHead;
  r->tail = kSpecTail;
  r->dataFd = kNoFd;
  r->resFd = kNoFd;
  *ref = h;
  return 0;
}

namespace {

void MarkFolder(SpecRec& r) {
  struct stat st;
  r.isFolder = ::stat(FullPath(r).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The absolute path a location of the given kind names (kinds 0, 1 and 3).
ErrorCode PathOfLocation(const void* location, int32_t kind, uint32_t site, std::string* path) {
  if (!location) return kReport.Fail(site, FILE_ErrBadSpecInit, kStrBadSpecInit);
  switch (kind) {
    case FILE_LocFullPath: {
      const char* p = static_cast<const char*>(location);
      size_t n = ::strnlen(p, FILE_MaxPath);
      if (n >= static_cast<size_t>(FILE_MaxPath)) return FailPlatform(site, kSysBadName, kActNaming, std::string_view(p, 64));
      path->assign(p, n);
      return 0;
    }
    case FILE_LocFlat: {
      const auto* flat = static_cast<const FILE_FlatLoc*>(location);
      uint16_t marker = static_cast<uint16_t>((flat->data[0] << 8) | flat->data[1]);
      uint16_t length = static_cast<uint16_t>((flat->data[2] << 8) | flat->data[3]);
      if (marker != FILE_FlatLocMarker || length == 0 || length >= FILE_MaxPath)
        return kReport.Fail(site, FILE_ErrBadSpecInit, kStrBadSpecInit);
      path->assign(reinterpret_cast<const char*>(flat->data + 4), length);
      return 0;
    }
    case FILE_LocPlatSpec: {
      const auto* spec = static_cast<const FILE_PlatSpec*>(location);
      size_t pn = ::strnlen(spec->parentDir, FILE_MaxPath);
      size_t nn = ::strnlen(spec->name, FILE_MaxName + 1);
      if (pn >= static_cast<size_t>(FILE_MaxPath) || nn > static_cast<size_t>(FILE_MaxName) ||
          spec->parentDir[0] != '/')
        return kReport.Fail(site, FILE_ErrBadSpecInit, kStrBadSpecInit);
      std::string_view name(spec->name, nn);
      if (!name.empty() && !ValidName(name)) return kReport.Fail(site, FILE_ErrBadSpecInit, kStrBadSpecInit);
      path->assign(spec->parentDir, pn);
      if (!name.empty()) {
        if (path->back() != '/') *path += '/';
        *path += name;
      }
      return 0;
    }
    default:
      return kReport.Fail(site, FILE_ErrBadLocKind, kStrBadLocKind);
  }
}

}  // namespace

ErrorCode NewFromPath(std::string_view path, int32_t kind, uint32_t site, FILE_SpecH* ref) {
  SpecRec r{};
  r.head = kSpecHead;
  r.tail = kSpecTail;
  r.dataFd = r.resFd = kNoFd;
  r.kind = static_cast<uint16_t>(kind);
  if (ErrorCode err = SetLocation(r, path, site)) return err;
  MarkFolder(r);
  FILE_SpecH h = nullptr;
  if (ErrorCode err = NewRecord(site, &h)) return err;
  std::memcpy(*h, &r, sizeof r);
  *ref = h;
  return 0;
}

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_New(const void* location, int32_t kind, FILE_SpecH* ref) try {
  if (!ref) return kReport.BadParam(kSiteNew);
  *ref = nullptr;
  if (kind == FILE_LocAlias || kind == FILE_LocAliasInteract) {
    if (!location) return kReport.Fail(kSiteNew, FILE_ErrBadSpecInit, kStrBadSpecInit);
    FILE_SpecH h = nullptr;
    ErrorCode err = FILE_ResolveAliasRec(static_cast<FILE_AliasH>(const_cast<void*>(location)), nullptr,
                                         kind == FILE_LocAliasInteract, &h, nullptr);
    if (err) return err;
    {
      Spec s(h, kSiteNew);
      s->kind = static_cast<uint16_t>(kind);
    }
    *ref = h;
    return 0;
  }
  std::string path;
  if (ErrorCode err = PathOfLocation(location, kind, kSiteNew, &path)) return err;
  return NewFromPath(path, kind, kSiteNew, ref);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Dispose(FILE_SpecH ref) try {
  if (!ref) return 0;
  ErrorCode err = 0;
  {
    Spec s(ref, kSiteDispose);
    if (s.err) return s.err;
    // Disposing of an open reference closes it; bytes still waiting in its
    // buffers are written first, and a failure to write them is returned.
    err = DetachFork(s->dataBuf, *s, FILE_DataFork, kSiteDispose);
    ErrorCode e = DetachFork(s->resBuf, *s, FILE_ResourceFork, kSiteDispose);
    if (!err) err = e;
    s->dataBuf = s->resBuf = nullptr;
    if (s->dataFd != kNoFd) ::close(s->dataFd);
    if (s->resFd != kNoFd) ::close(s->resFd);
    s->dataFd = s->resFd = kNoFd;
    s->head = s->tail = kDeadMarker;
  }
  DisposeHandle(ref);
  return err;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CopyFlatLoc(FILE_SpecH ref, FILE_FlatLoc* flat) try {
  if (!flat) return kReport.BadParam(kSiteCopyFlatLoc);
  std::memset(flat, 0, sizeof *flat);
  Spec s(ref, kSiteCopyFlatLoc);
  if (s.err) return s.err;
  std::string path = FullPath(*s);
  flat->data[0] = FILE_FlatLocMarker >> 8;
  flat->data[1] = FILE_FlatLocMarker & 0xFF;
  flat->data[2] = static_cast<uint8_t>(path.size() >> 8);
  flat->data[3] = static_cast<uint8_t>(path.size());
  std::memcpy(flat->data + 4, path.data(), path.size());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_UpdateFlatLoc(FILE_SpecH ref, const FILE_FlatLoc* flat) try {
  Spec s(ref, kSiteUpdateFlatLoc);
  if (s.err) return s.err;
  if (s->isOpen || s->resFd != kNoFd) return kReport.Fail(kSiteUpdateFlatLoc, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbRelocate)});
  std::string path;
  if (ErrorCode err = PathOfLocation(flat, FILE_LocFlat, kSiteUpdateFlatLoc, &path)) return err;
  SpecRec copy = *s;
  if (ErrorCode err = SetLocation(copy, path, kSiteUpdateFlatLoc)) return err;
  MarkFolder(copy);
  copy.kind = FILE_LocFlat;
  *s = copy;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_Duplicate(FILE_SpecH ref, FILE_SpecH* duplicate) try {
  if (!duplicate) return kReport.BadParam(kSiteDuplicate);
  *duplicate = nullptr;
  Spec s(ref, kSiteDuplicate);
  if (s.err) return s.err;
  FILE_SpecH h = nullptr;
  if (ErrorCode err = NewRecord(kSiteDuplicate, &h)) return err;
  SpecRec copy = *s;
  copy.isOpen = copy.fellBack = 0;
  copy.dataPerm = copy.resPerm = 0;
  copy.dataFd = copy.resFd = kNoFd;
  copy.dataBuf = copy.resBuf = nullptr;
  std::memcpy(*h, &copy, sizeof copy);
  *duplicate = h;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqLocSpec(FILE_SpecH ref, FILE_PlatSpec* spec) try {
  if (!spec) return kReport.BadParam(kSiteInqLocSpec);
  std::memset(spec, 0, sizeof *spec);
  Spec s(ref, kSiteInqLocSpec);
  if (s.err) return s.err;
  if (s->parent[0] == 0) {
    spec->parentDir[0] = '/';
  } else {
    std::memcpy(spec->parentDir, s->parent, std::strlen(s->parent) + 1);
    std::memcpy(spec->name, s->name, s->nameLen + 1u);
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqBestLoc(FILE_SpecH ref, int32_t* kind, FILE_FlatLoc* flat) try {
  if (!kind || !flat) return kReport.BadParam(kSiteInqBestLoc);
  *kind = 0;
  if (ErrorCode err = FILE_CopyFlatLoc(ref, flat)) return err;
  *kind = FILE_LocFlat;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqPlatDepRef(FILE_SpecH ref, int32_t* platformRef) try {
  if (!platformRef) return kReport.BadParam(kSiteInqPlatDepRef);
  *platformRef = FILE_ClosedRefNum;
  Spec s(ref, kSiteInqPlatDepRef);
  if (s.err) return s.err;
  if (s->dataFd == kNoFd) return 0;
  // Whoever uses the descriptor itself sees every byte written so far, at
  // the reference's position, and nothing read before stays kept.
  if (ErrorCode err = DropWindow(s->dataBuf, *s, FILE_DataFork, kSiteInqPlatDepRef)) return err;
  if (s->dataBuf) ::lseek(s->dataFd, static_cast<off_t>(BufferedPos(*s->dataBuf)), SEEK_SET);
  *platformRef = s->dataFd;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqExist(FILE_SpecH ref, Boolean32* exists) try {
  if (!exists) return kReport.BadParam(kSiteInqExist);
  *exists = 0;
  Spec s(ref, kSiteInqExist);
  if (s.err) return s.err;
  struct stat st;
  *exists = ::stat(FullPath(*s).c_str(), &st) == 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqLocExist(const void* location, int32_t kind, Boolean32* exists) try {
  if (!exists) return kReport.BadParam(kSiteInqLocExist);
  *exists = 0;
  std::string path;
  if (kind == FILE_LocAlias || kind == FILE_LocAliasInteract) {
    // Asking never interacts and reports only a damaged record.
    if (!location) return kReport.Fail(kSiteInqLocExist, FILE_ErrBadSpecInit, kStrBadSpecInit);
    bool changed = false;
    ErrorCode err = FindAliasTarget(static_cast<FILE_AliasH>(const_cast<void*>(location)), std::string(), false,
                                    true, &path, &changed);
    if (err == FILE_ErrNotFound) return 0;
    if (err) return err;
    *exists = 1;
    return 0;
  }
  if (ErrorCode err = PathOfLocation(location, kind, kSiteInqLocExist, &path)) return err;
  struct stat st;
  *exists = ::stat(path.c_str(), &st) == 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqIsRoot(FILE_SpecH dir, Boolean32* isRoot) try {
  if (!isRoot) return kReport.BadParam(kSiteInqIsRoot);
  *isRoot = 0;
  Spec s(dir, kSiteInqIsRoot);
  if (s.err) return s.err;
  if (!s->isFolder) return kReport.Fail(kSiteInqIsRoot, FILE_ErrOnlyDirectory, kStrRootOnDirectory);
  *isRoot = s->parent[0] == 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqIsDir(FILE_SpecH ref, Boolean32* isDir) try {
  if (!isDir) return kReport.BadParam(kSiteInqIsDir);
  *isDir = 0;
  Spec s(ref, kSiteInqIsDir);
  if (s.err) return s.err;
  *isDir = s->isFolder;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqFileLocked(FILE_SpecH ref, Boolean32* locked) try {
  if (!locked) return kReport.BadParam(kSiteInqFileLocked);
  *locked = 0;
  Spec s(ref, kSiteInqFileLocked);
  if (s.err) return s.err;
  std::string path = FullPath(*s);
  if (::access(path.c_str(), F_OK) != 0) return FailErrno(kSiteInqFileLocked, errno, kActGettingInformationOn, path);
  *locked = WriteDenied(path) != 0;
  return 0;
} TV_CATCH(FILE_PackageNumber)

int tv::file::WriteDenied(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

ErrorCode FILE_Compare(FILE_SpecH a, FILE_SpecH b, Boolean32* same) try {
  if (!same) return kReport.BadParam(kSiteCompare);
  *same = 0;
  std::string pa, pb;
  {
    Spec s(a, kSiteCompare);
    if (s.err) return s.err;
    pa = FullPath(*s);
  }
  {
    Spec s(b, kSiteCompare);
    if (s.err) return s.err;
    pb = FullPath(*s);
  }
  if (pa == pb) {
    *same = 1;
    return 0;
  }
  // Two names of one existing file (a link, for example) are the same file.
  struct stat sa, sb;
  *same = ::stat(pa.c_str(), &sa) == 0 && ::stat(pb.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
          sa.st_ino == sb.st_ino;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ParentDir(FILE_SpecH ref, int32_t /*flags*/, FILE_SpecH* parent) try {
  if (!parent) return kReport.BadParam(kSiteParentDir);
  *parent = nullptr;
  std::string path;
  {
    Spec s(ref, kSiteParentDir);
    if (s.err) return s.err;
    if (s->parent[0] == 0) return kReport.Fail(kSiteParentDir, FILE_ErrParentOfRoot, kStrParentOfRoot);
    path = s->parent;
  }
  return NewFromPath(path, FILE_LocFullPath, kSiteParentDir, parent);
} TV_CATCH(FILE_PackageNumber)
