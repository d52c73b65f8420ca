// Names, extensions, the extension map and the file-type mapping functions.
#include <cstring>

#include "FILE_internal.h"

namespace tv::file {

namespace {

struct ExtensionMap {
  char extension[12];  // lower-cased, zero-padded, without the "."
  FourCC type;
  FourCC creator;
};

struct MapFunc {
  FILE_FiletypeMapFunc function;
  intptr_t refcon;
};

std::vector<ExtensionMap> gExtensions;
std::vector<MapFunc> gMapFuncs;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext) c = Lower(c);
  ext.resize(fmt::Utf8Prefix(ext, FILE_MaxName));
  return ext;
}

ErrorCode Clean(char* name) {
  if (!name) return kReport.BadParam(kSiteClean);
  size_t n = std::strlen(name);
  for (size_t i = 0; i < n; ++i) {
    if (std::strchr("\\/:*?\"<>|", name[i])) name[i] = '-';
  }
  // A name is at most 255 bytes here; the cut never splits a UTF-8 character.
  name[fmt::Utf8Prefix(std::string_view(name, n), FILE_MaxName)] = 0;
  return 0;
}

}  // namespace

void ResetNames() {
  gExtensions.clear();
  gMapFuncs.clear();
}

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_InqName(FILE_SpecH ref, int32_t form, char* name, int32_t size) try {
  constexpr uint32_t site = kSiteInqName;
  if (name && size > 0) name[0] = 0;
  std::string text;
  {
    Spec s(ref, site);
    if (s.err) return s.err;
    switch (form) {
      case FILE_NameOnly: text = s->parent[0] ? std::string(s->name, s->nameLen) : std::string("/"); break;
      case FILE_NameFullPath: text = FullPath(*s); break;
      case FILE_NameVolume: text = VolumeOf(FullPath(*s)); break;
      default: return kReport.BadParam(site);
    }
  }
  return CopyOut(site, text, name, size);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqSeparator(char* separator) try {
  if (!separator) return kReport.BadParam(kSiteInqName);
  *separator = '/';
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CleanFilename(char* name) try {
  return Clean(name);
} TV_CATCH(FILE_PackageNumber)
ErrorCode FILE_CleanFilenameXplat(char* name) try {
  return Clean(name);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_ExtFromName(const char* name, char* extension, int32_t* length) try {
  if (extension) extension[0] = 0;
  if (length) *length = 0;
  if (!name || !extension || !length) return kReport.BadParam(kSiteExtension);
  std::string ext = Extension(name);
  std::memcpy(extension, ext.c_str(), ext.size() + 1);
  *length = static_cast<int32_t>(ext.size());
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqExtension(FILE_SpecH ref, char* extension, int32_t* length) try {
  if (extension) extension[0] = 0;
  if (length) *length = 0;
  if (!extension || !length) return kReport.BadParam(kSiteExtension);
  std::string name;
  {
    Spec s(ref, kSiteExtension);
    if (s.err) return s.err;
    name.assign(s->name, s->nameLen);
  }
  return FILE_ExtFromName(name.c_str(), extension, length);
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_InqFileType(FILE_SpecH ref, FourCC* type, FourCC* creator) try {
  constexpr uint32_t site = kSiteInqFileType;
  if (type) *type = 0;
  if (creator) *creator = 0;
  if (!type || !creator) return kReport.BadParam(site);
  std::string name;
  {
    Spec s(ref, site);
    if (s.err) return s.err;
    if (s->isFolder) return 0;  // folders have no type
    name.assign(s->name, s->nameLen);
  }
  std::string ext = Extension(name);
  std::string bare = ext.empty() ? ext : ext.substr(1);
  if (!bare.empty()) {
    for (const ExtensionMap& m : gExtensions) {
      if (bare == m.extension) {
        *type = m.type;
        *creator = m.creator;
        return 0;
      }
    }
  }
  // A mapping function may add or remove functions: walk a copy.
  std::vector<MapFunc> funcs = gMapFuncs;
  for (const MapFunc& f : funcs) {
    FourCC t = 0, c = 0;
    if (f.function(f.refcon, name.c_str(), ext.c_str(), &t, &c)) {
      *type = t;
      *creator = c;
      return 0;
    }
  }
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_SetFileType(FILE_SpecH ref, FourCC /*type*/, FourCC /*creator*/) try {
  Spec s(ref, kSiteSetFileType);
  if (s.err) return s.err;
  if (s->isFolder) return kReport.Fail(kSiteSetFileType, FILE_ErrDirectory, kStrFileTypeOfDirectory);
  return 0;  // files keep no type codes on this platform; types come from extensions
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_AddExtensionMap(const char* extension, FourCC type, FourCC creator) try {
  constexpr uint32_t site = kSiteAddExtensionMap;
  if (!extension) return kReport.BadParam(site);
  std::string_view ext(extension);
  if (!ext.empty() && ext[0] == '.') ext.remove_prefix(1);
  if (ext.empty() || ext.find('.') != std::string_view::npos) return kReport.BadParam(site);
  // The map holds at most 8 characters an extension; a longer one would not
  // fit its field and is refused rather than cut into another extension.
  if (ext.size() > static_cast<size_t>(FILE_MaxExtensionChars))
    return kReport.Fail(site, kErrBadParam, kStrExtensionTooLong, {extension});
  ExtensionMap m{};
  for (size_t i = 0; i < ext.size(); ++i) m.extension[i] = Lower(ext[i]);
  m.type = type;
  m.creator = creator;
  for (ExtensionMap& old : gExtensions) {
    if (std::memcmp(old.extension, m.extension, sizeof m.extension) == 0) {
      old = m;
      return 0;
    }
  }
  if (gExtensions.size() >= static_cast<size_t>(FILE_MaxExtensionMaps))
    return kReport.Fail(site, kErrRange, kStrTooManyExtensions);
  gExtensions.push_back(m);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_AddFiletypeMapFunc(FILE_FiletypeMapFunc function, intptr_t refcon) try {
  constexpr uint32_t site = kSiteAddMapFunc;
  if (!function) return kReport.BadParam(site);
  if (gMapFuncs.size() >= static_cast<size_t>(FILE_MaxFiletypeMapFuncs))
    return kReport.Fail(site, kErrRange, kStrTooManyMapFuncs);
  gMapFuncs.push_back(MapFunc{function, refcon});
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_RemoveFiletypeMapFunc(FILE_FiletypeMapFunc function, intptr_t refcon) try {
  constexpr uint32_t site = kSiteRemoveMapFunc;
  for (auto it = gMapFuncs.begin(); it != gMapFuncs.end(); ++it) {
    if (it->function == function && it->refcon == refcon) {
      gMapFuncs.erase(it);
      return 0;
    }
  }
  return kReport.Fail(site, kErrBadParam, kStrMapFuncNotFound);
} TV_CATCH(FILE_PackageNumber)
