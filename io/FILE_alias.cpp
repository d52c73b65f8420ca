// Alias records: a stored file location that survives moving a project
// between machines, with its flattened big-endian form.
//
// Flattened layout (integers most significant byte first):
//   0  u16 version (1)
//   2  u16 flags: 1 path, 2 platform data, 4 relative data, 8 drive letter, 16 network share
//   4  u32 stored value (the file type)
//   8  u32 size n of the platform data
//  12  u8  L = path length + 2 (0 without a path)
//  13  u8  0
//  14  L bytes: ':', the path with each separator written as ':', 0
//  14+L n bytes of platform data
//  ... u8 levels up, u8 offset (with flag 4)
// A native path is also kept exactly in the platform data as "LNXP" followed
// by its bytes, so names holding ':' and paths longer than 253 bytes survive.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "FILE_internal.h"

namespace tv::file {
namespace {

constexpr uint16_t kAliasMarker = 0x900D;
constexpr uint16_t kAliasVersion = 1;
constexpr uint16_t kFlagPath = 1, kFlagPlatData = 2, kFlagRelative = 4, kFlagDrive = 8, kFlagShare = 16;
constexpr size_t kHeaderSize = 14;
constexpr char kNativeTag[4] = {'L', 'N', 'X', 'P'};

struct AliasRec {
  uint16_t head;
  uint16_t flags;     // kFlagPath, kFlagPlatData, kFlagRelative
  uint32_t value;
  char path[FILE_MaxPath];
  uint8_t levels;
  uint8_t offset;
  uint8_t exact;      // path came exactly from the platform data (or from a reference)
  uint8_t pad;
  Handle platData;    // opaque platform data of a foreign record, or null
  char base[FILE_MaxPath];  // the project file the relative data counts from (in memory only)
  uint16_t tail;
};

constexpr pkg::Magic<AliasRec, uint16_t> kAliasMagic{&AliasRec::head, kAliasMarker, &AliasRec::tail, kAliasMarker};

// Locked access to a checked alias record. err is 0 or the reported code 2.
class Alias : public pkg::CheckedLock<AliasRec, uint16_t> {
 public:
  Alias(FILE_AliasH h, uint32_t site) : CheckedLock(h, kAliasMagic, kReport, site), err(error()) {}
  ErrorCode err;
};

ErrorCode NewAlias(uint32_t site, FILE_AliasH* alias) {
  Handle h = NewHandleClear(static_cast<Size>(sizeof(AliasRec)));
  if (!h) return kReport.OutOfMemory(site, kStrAliasMemory, sizeof(AliasRec));
  auto* r = reinterpret_cast<AliasRec*>(*h);
  r->head = r->tail = kAliasMarker;
  *alias = h;
  return 0;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v >> 16));
  PutU16(out, static_cast<uint16_t>(v));
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t GetU32(const uint8_t* p) { return (uint32_t(GetU16(p)) << 16) | GetU16(p + 2); }

ErrorCode Damaged(uint32_t site) { return kReport.Fail(site, FILE_ErrBadData, kStrAliasDamaged); }

// The flattened bytes of a checked record.
ErrorCode Flatten(uint32_t site, const AliasRec& r, std::vector<uint8_t>* out) {
  std::string path = (r.flags & kFlagPath) ? std::string(r.path) : std::string();
  PathForm form = FormOf(path);
  uint16_t flags = r.flags & (kFlagPath | kFlagRelative);
  std::vector<uint8_t> platData;
  if (!path.empty() && form == PathForm::Native) {
    platData.assign(kNativeTag, kNativeTag + 4);
    platData.insert(platData.end(), path.begin(), path.end());
  } else if (r.platData) {
    Size n = GetHandleSize(r.platData);
    platData.assign(reinterpret_cast<uint8_t*>(*r.platData), reinterpret_cast<uint8_t*>(*r.platData) + n);
  }
  if (!platData.empty()) flags |= kFlagPlatData;
  std::string field;
  if (!path.empty()) {
    if (form == PathForm::Windows && path[1] == ':') flags |= kFlagDrive;
    if (form == PathForm::Windows && path[0] == '\\' && path[1] == '\\') flags |= kFlagShare;
    size_t keep = fmt::Utf8Prefix(path, FILE_AliasPathMax);
    if (keep < path.size() && form != PathForm::Native)
      kReport.Note(site, kSevWarning, kStrAliasPathCut, {path});
    field.push_back(':');
    field.append(path, 0, keep);
    // Windows-form paths are written with their backslashes as ':'; every
    // other path with its slashes, as reading maps ':' back by the same rule.
    char sep = form == PathForm::Windows ? '\\' : '/';
    for (char& c : field)
      if (c == sep) c = ':';
  } else {
    flags &= static_cast<uint16_t>(~kFlagRelative);
  }
  out->clear();
  PutU16(*out, kAliasVersion);
  PutU16(*out, flags);
  PutU32(*out, r.value);
  PutU32(*out, static_cast<uint32_t>(platData.size()));
  out->push_back(path.empty() ? 0 : static_cast<uint8_t>(field.size() + 1));
  out->push_back(0);
  if (!path.empty()) {
    out->insert(out->end(), field.begin(), field.end());
    out->push_back(0);
  }
  out->insert(out->end(), platData.begin(), platData.end());
  if (flags & kFlagRelative) {
    out->push_back(r.levels);
    out->push_back(r.offset);
  }
  return 0;
}

// The size of the whole flattened record whose first 14 bytes are header, or
// 0 when the header does not hold together (the version is checked later).
uint64_t FlatSize(const uint8_t* header) {
  uint16_t flags = GetU16(header + 2);
  uint64_t n = GetU32(header + 8);
  uint64_t l = header[12];
  return kHeaderSize + l + n + ((flags & kFlagRelative) ? 2 : 0);
}

// Builds a record from exactly size bytes; nothing is allocated on failure.
ErrorCode Unflatten(uint32_t site, const uint8_t* data, size_t size, FILE_AliasH* alias) {
  if (size < kHeaderSize) return Damaged(site);
  uint16_t version = GetU16(data);
  if (version >= 2) return kReport.Fail(site, kErrDocVersion, kStrAliasTooNew);
  if (version != kAliasVersion) return Damaged(site);
  uint16_t flags = GetU16(data + 2);
  uint32_t value = GetU32(data + 4);
  uint32_t n = GetU32(data + 8);
  size_t l = data[12];
  if (flags & ~uint16_t(0x1F)) return Damaged(site);
  if ((flags & kFlagRelative) && !(flags & kFlagPath)) return kReport.Fail(site, FILE_ErrBadData, kStrRelativeNeedsPath);
  if (FlatSize(data) != size) return Damaged(site);
  bool hasPath = flags & kFlagPath;
  if (hasPath != (l != 0) || (hasPath && l < 3)) return Damaged(site);
  if (((flags & kFlagPlatData) != 0) != (n != 0)) return Damaged(site);
  if ((flags & kFlagDrive) && (flags & kFlagShare)) return Damaged(site);
  std::string path;
  if (hasPath) {
    const char* field = reinterpret_cast<const char*>(data + kHeaderSize);
    if (field[0] != ':' || field[l - 1] != 0) return Damaged(site);
    path.assign(field + 1, l - 2);
    if (path.find('\0') != std::string::npos) return Damaged(site);
    bool windows = flags & (kFlagDrive | kFlagShare);
    for (char& c : path)
      if (c == ':') c = windows ? '\\' : '/';
    if (flags & kFlagDrive) {
      if (path.size() < 2) return Damaged(site);
      path[1] = ':';
    }
  }
  const uint8_t* plat = data + kHeaderSize + l;
  bool exact = false;
  if (n >= 4 && std::memcmp(plat, kNativeTag, 4) == 0) {
    std::string native(reinterpret_cast<const char*>(plat + 4), n - 4);
    if (native.empty() || native[0] != '/' || native.find('\0') != std::string::npos ||
        native.size() >= static_cast<size_t>(FILE_MaxPath) || !hasPath)
      return Damaged(site);
    path = native;
    exact = true;
  }
  uint8_t levels = 0, offset = 0;
  if (flags & kFlagRelative) {
    levels = data[size - 2];
    offset = data[size - 1];
  }
  FILE_AliasH h = nullptr;
  if (ErrorCode err = NewAlias(site, &h)) return err;
  Handle platData = nullptr;
  if (n && !exact) {
    if (PtrToHand(plat, &platData, n) != 0 || !platData) {
      DisposeHandle(h);
      return kReport.OutOfMemory(site, kStrAliasDataMemory, n);
    }
  }
  auto* r = reinterpret_cast<AliasRec*>(*h);
  // Drive letter and share flags are recomputed from the path when flattening.
  r->flags = flags & (kFlagPath | kFlagRelative | (platData ? kFlagPlatData : 0));
  r->value = value;
  std::memcpy(r->path, path.c_str(), path.size() + 1);
  r->levels = levels;
  r->offset = offset;
  r->exact = exact;
  r->platData = platData;
  *alias = h;
  return 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

void ResetAliases() {}

ErrorCode FindAliasTarget(FILE_AliasH alias, const std::string& projectPath, bool interactive, bool quiet,
                          std::string* found, bool* changed) {
  constexpr uint32_t site = kSiteResolveAlias;
  *changed = false;
  found->clear();
  std::string path;
  int32_t levels = 0, offset = 0;
  bool relative = false, exact = false;
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    if (a->flags & kFlagPath) path = a->path;
    relative = (a->flags & kFlagRelative) != 0;
    levels = a->levels;
    offset = a->offset;
    exact = a->exact;
  }
  std::string relativePath =
      relative && !projectPath.empty() ? Resolve(projectPath, path, levels, offset) : std::string();
  // A path cut to the flattened limit may name another file: then the
  // relative data is tried first.
  bool cut = !exact && path.size() == static_cast<size_t>(FILE_AliasPathMax);
  if (cut && Exists(relativePath)) {
    *found = relativePath;
    *changed = true;
    return 0;
  }
  if (FormOf(path) == PathForm::Native && Exists(path)) {
    *found = path;
    return 0;
  }
  if (Exists(relativePath)) {
    *found = relativePath;
    *changed = true;
    return 0;
  }
  if (interactive && !quiet) {
    std::string prompt = fmt::Format(kReport.Text(kStrPleaseFind), {path});
    std::string located;
    if (LocateInteractive(prompt, path, &located) && !located.empty() && located[0] == '/') {
      *found = located;
      *changed = true;
      return 0;
    }
  }
  if (quiet) return FILE_ErrNotFound;
  if (path.empty()) return kReport.Fail(site, FILE_ErrNotFound, kStrNotFound);
  return kReport.Fail(site, FILE_ErrNotFound, kStrNotFoundNamed, {path});
}

ErrorCode NewAliasFromPath(std::string_view path, FourCC type, std::string_view projectPath, FILE_AliasH* alias) {
  constexpr uint32_t site = kSiteNewAlias;
  if (!alias) return kReport.BadParam(site);
  *alias = nullptr;
  if (path.size() >= static_cast<size_t>(FILE_MaxPath) || path.find('\0') != std::string_view::npos)
    return kReport.Fail(site, kErrBadParam, kStrAliasPathTooLong);
  PathForm form = FormOf(path);
  if (form == PathForm::Other || path.find(form == PathForm::Native ? '/' : '\\') == std::string_view::npos)
    return kReport.Fail(site, kErrBadParam, kStrMissingSeparator);
  FILE_AliasH h = nullptr;
  if (ErrorCode err = NewAlias(site, &h)) return err;
  auto* r = reinterpret_cast<AliasRec*>(*h);
  r->flags = kFlagPath;
  r->value = type;
  std::memcpy(r->path, path.data(), path.size());
  r->path[path.size()] = 0;
  r->exact = form == PathForm::Native;
  int32_t levels = 0, offset = 0;
  // Relative data fits one byte each; a deeper relation is not stored rather
  // than stored wrapped.
  if (!projectPath.empty() && Relate(projectPath, path, &levels, &offset) && levels >= 1 && levels <= 255 &&
      offset >= 1 && offset <= 255) {
    r->flags |= kFlagRelative;
    r->levels = static_cast<uint8_t>(levels);
    r->offset = static_cast<uint8_t>(offset);
    std::memcpy(r->base, projectPath.data(), projectPath.size());
    r->base[projectPath.size()] = 0;
  }
  *alias = h;
  return 0;
}

ErrorCode SetAliasBase(FILE_AliasH alias, std::string_view projectPath) {
  constexpr uint32_t site = kSiteNewAlias;
  if (projectPath.size() >= static_cast<size_t>(FILE_MaxPath) || projectPath.find('\0') != std::string_view::npos)
    return kReport.Fail(site, kErrBadParam, kStrAliasPathTooLong);
  Alias a(alias, site);
  if (a.err) return a.err;
  std::memcpy(a->base, projectPath.data(), projectPath.size());
  a->base[projectPath.size()] = 0;
  return 0;
}

ErrorCode RebasedAlias(FILE_AliasH alias, std::string_view projectPath, FILE_AliasH* rebased) {
  constexpr uint32_t site = kSiteNewAlias;
  if (!rebased) return kReport.BadParam(site);
  *rebased = nullptr;
  if (projectPath.size() >= static_cast<size_t>(FILE_MaxPath) || projectPath.find('\0') != std::string_view::npos)
    return kReport.Fail(site, kErrBadParam, kStrAliasPathTooLong);
  AliasRec r{};
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    r = *a.operator->();
  }
  Handle platData = nullptr;
  if (r.platData) {
    platData = r.platData;
    if (HandToHand(&platData) != 0 || !platData)
      return kReport.OutOfMemory(site, kStrAliasDataMemory, GetHandleSize(r.platData));
  }
  r.platData = platData;
  const std::string base = r.base;
  if ((r.flags & kFlagRelative) && !base.empty() && !projectPath.empty() && base != projectPath) {
    const std::string path = r.path;
    const std::string target = Resolve(base, path, r.levels, r.offset);
    r.flags &= static_cast<uint16_t>(~kFlagRelative);
    r.levels = r.offset = 0;
    // The relative data names a tail of the full path, after one of its
    // separators, and how many folders to climb from the project: the
    // shortest tail the target ends with, under a folder that holds the
    // project (the relation that still holds when both move together).
    const char storedSep = FormOf(path) == PathForm::Windows ? '\\' : '/';
    const size_t last = std::min(path.size(), size_t{256});
    for (size_t end = last; end > 1 && !target.empty() && !(r.flags & kFlagRelative); --end) {
      const size_t offset = end - 1;
      if (path[offset - 1] != storedSep) continue;
      for (int32_t levels = 1; levels <= 255; ++levels) {
        const std::string got = Resolve(projectPath, path, levels, static_cast<int32_t>(offset));
        if (got.empty()) break;
        if (got != target) continue;
        r.flags |= kFlagRelative;
        r.levels = static_cast<uint8_t>(levels);
        r.offset = static_cast<uint8_t>(offset);
        break;
      }
    }
    std::memcpy(r.base, projectPath.data(), projectPath.size());
    r.base[projectPath.size()] = 0;
  }
  FILE_AliasH h = nullptr;
  if (ErrorCode err = NewAlias(site, &h)) {
    if (platData) DisposeHandle(platData);
    return err;
  }
  std::memcpy(*h, &r, sizeof r);
  *rebased = h;
  return 0;
}

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_NewAliasRec(FILE_SpecH ref, FILE_SpecH relativeTo, FILE_AliasH* alias) try {
  constexpr uint32_t site = kSiteNewAlias;
  if (!alias) return kReport.BadParam(site);
  *alias = nullptr;
  std::string path, project;
  {
    Spec s(ref, site);
    if (s.err) return s.err;
    path = FullPath(*s);
  }
  if (relativeTo) {
    Spec p(relativeTo, site);
    if (p.err) return p.err;
    project = FullPath(*p);
  }
  FourCC type = 0, creator = 0;
  if (ErrorCode err = FILE_InqFileType(ref, &type, &creator)) return err;
  return NewAliasFromPath(path, type, project, alias);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_DisposeAliasRec(FILE_AliasH alias) try {
  if (!alias) return 0;
  {
    Alias a(alias, kSiteDisposeAlias);
    if (a.err) return a.err;
    if (a->platData) DisposeHandle(a->platData);
    a->platData = nullptr;
    a->head = a->tail = kDeadMarker;
  }
  DisposeHandle(alias);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ResolveAliasRec(FILE_AliasH alias, FILE_SpecH relativeTo, Boolean32 interactive, FILE_SpecH* ref,
                               Boolean32* changed) try {
  constexpr uint32_t site = kSiteResolveAlias;
  if (changed) *changed = 0;
  if (!ref) return kReport.BadParam(site);
  *ref = nullptr;
  std::string project;
  if (relativeTo) {
    Spec p(relativeTo, site);
    if (p.err) return p.err;
    project = FullPath(*p);
  }
  std::string found;
  bool moved = false;
  if (ErrorCode err = FindAliasTarget(alias, project, interactive != 0, false, &found, &moved)) return err;
  if (ErrorCode err = NewFromPath(found, FILE_LocFullPath, site, ref)) return err;
  if (changed) *changed = moved;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ResolveFinderAlias(FILE_SpecH ref, Boolean32* wasAlias) try {
  constexpr uint32_t site = kSiteFinderAlias;
  if (wasAlias) *wasAlias = 0;
  Spec s(ref, site);
  if (s.err) return s.err;
  if (s->isOpen || s->resFd != kNoFd) return kReport.Fail(site, FILE_ErrOpen, kStrCannotOpen, {kReport.Text(kVerbResolve)});
  std::string path = FullPath(*s);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return FailErrno(site, errno, kActResolvingAlias, path);
  if (!S_ISLNK(st.st_mode)) return 0;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return FailErrno(site, errno, kActResolvingAlias, path);
  std::string target(real);
  std::free(real);
  SpecRec copy = *s;
  if (ErrorCode err = SetLocation(copy, target, site)) return err;
  copy.isFolder = ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  *s = copy;
  if (wasAlias) *wasAlias = 1;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_FlattenAliasRec(FILE_AliasH alias, Handle* flat) try {
  constexpr uint32_t site = kSiteFlattenAlias;
  if (!flat) return kReport.BadParam(site);
  *flat = nullptr;
  std::vector<uint8_t> bytes;
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    if (ErrorCode err = Flatten(site, *a.operator->(), &bytes)) return err;
  }
  Handle h = nullptr;
  if (PtrToHand(bytes.data(), &h, static_cast<Size>(bytes.size())) != 0 || !h)
    return kReport.OutOfMemory(site, kStrFlatAliasMemory, bytes.size());
  *flat = h;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_UnflattenAliasRec(const void* data, int32_t size, FILE_AliasH* alias) try {
  constexpr uint32_t site = kSiteUnflattenAlias;
  if (!alias) return kReport.BadParam(site);
  *alias = nullptr;
  if (!data || size < 0) return kReport.BadParam(site);
  return Unflatten(site, static_cast<const uint8_t*>(data), static_cast<size_t>(size), alias);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_WriteAliasRec(FILE_SpecH file, FILE_AliasH alias) try {
  constexpr uint32_t site = kSiteWriteAlias;
  std::vector<uint8_t> bytes;
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    if (ErrorCode err = Flatten(site, *a.operator->(), &bytes)) return err;
  }
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return kReport.Fail(site, kErrRange, kStrBadParam);
  return FILE_NWrite(file, static_cast<int32_t>(bytes.size()), bytes.data());
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ReadAliasRec(FILE_SpecH file, FILE_AliasH* alias) try {
  constexpr uint32_t site = kSiteReadAlias;
  if (!alias) return kReport.BadParam(site);
  *alias = nullptr;
  std::vector<uint8_t> bytes(kHeaderSize);
  if (ErrorCode err = FILE_NRead(file, static_cast<int32_t>(kHeaderSize), bytes.data())) return err;
  if (GetU16(bytes.data()) >= 2) return kReport.Fail(site, kErrDocVersion, kStrAliasTooNew);
  uint64_t total = FlatSize(bytes.data());
  // The sizes come from the file: never allocate for more than it holds.
  int64_t position = 0, size = 0;
  if (ErrorCode err = FILE_InqPos(file, &position)) return err;
  if (ErrorCode err = FILE_InqSize(file, FILE_SizeData, &size)) return err;
  if (position > size || total - kHeaderSize > static_cast<uint64_t>(size - position)) return Damaged(site);
  bytes.resize(static_cast<size_t>(total));
  int32_t rest = static_cast<int32_t>(total - kHeaderSize);
  if (rest > 0) {
    if (ErrorCode err = FILE_NRead(file, rest, bytes.data() + kHeaderSize)) return err;
  }
  return Unflatten(site, bytes.data(), bytes.size(), alias);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqAliasRecName(FILE_AliasH alias, char* name, int32_t size) try {
  constexpr uint32_t site = kSiteInqAlias;
  if (name && size > 0) name[0] = 0;
  std::string path;
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    path = a->path;
  }
  char sep = FormOf(path) == PathForm::Native ? '/' : '\\';
  size_t slash = path.rfind(sep);
  return CopyOut(site, slash == std::string::npos ? path : path.substr(slash + 1), name, size);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqAliasRecType(FILE_AliasH alias, FourCC* type) try {
  constexpr uint32_t site = kSiteInqAlias;
  if (!type) return kReport.BadParam(site);
  *type = 0;
  Alias a(alias, site);
  if (a.err) return a.err;
  *type = a->value;
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqAliasRecFullPath(FILE_AliasH alias, char* path, int32_t size) try {
  constexpr uint32_t site = kSiteInqAlias;
  if (path && size > 0) path[0] = 0;
  std::string text;
  {
    Alias a(alias, site);
    if (a.err) return a.err;
    text = a->path;
  }
  return CopyOut(site, text, path, size);
} TV_CATCH(FILE_PackageNumber)
