// Relative paths between a project file and its footage: how many folders to
// climb from the project and where the footage's own part of its path starts.
// Native paths ("/...") compare case-sensitively with '/' as the separator;
// Windows-form paths kept from old projects ("c:\...", "\\server\share\...")
// compare case-insensitively with '\'.
#include <algorithm>
#include <cstring>

#include "FILE_internal.h"

namespace tv::file {

PathForm FormOf(std::string_view path) {
  if (!path.empty() && path[0] == '/') return PathForm::Native;
  if ((path.size() >= 2 && path[1] == ':') || (path.size() >= 2 && path[0] == '\\' && path[1] == '\\'))
    return PathForm::Windows;
  return PathForm::Other;
}

std::string VolumeName(std::string_view path) {
  char name[FILE_VolNameSize];
  std::string copy(path.substr(0, 64));
  FILE_GetVolumeNameFromFullPath(copy.c_str(), name);
  return name;
}

bool Relate(std::string_view project, std::string_view footage, int32_t* levels, int32_t* offset) {
  *levels = 0;
  *offset = 0;
  PathForm form = FormOf(project);
  if (form == PathForm::Other || FormOf(footage) != form) return false;
  std::string a(project), b(footage);
  char sep = form == PathForm::Native ? '/' : '\\';
  if (form == PathForm::Windows) {
    // Windows file names ignore case. Native names do not: lower-casing them
    // would let /a/Media and /a/media share a folder that does not exist.
    for (char& c : a) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    for (char& c : b) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  std::string va = VolumeName(a), vb = VolumeName(b);
  if (va.empty() || va != vb) return false;
  size_t last = std::string::npos;
  for (size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i)
    if (a[i] == sep) last = i;
  if (last == std::string::npos) return false;
  int64_t count = 0;
  for (size_t i = last; i < a.size(); ++i)
    if (a[i] == sep) ++count;
  *offset = static_cast<int32_t>(std::min<size_t>(last + 1, INT32_MAX));
  *levels = static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX));
  return true;
}

std::string Resolve(std::string_view project, std::string_view stored, int32_t levels, int32_t offset) {
  PathForm form = FormOf(project);
  PathForm storedForm = FormOf(stored);
  if (form == PathForm::Other || storedForm == PathForm::Other) return {};
  // Relative data comes from files: it must point inside the stored path,
  // just after one of its separators, or it is ignored.
  if (levels < 1 || offset < 1 || static_cast<size_t>(offset) >= stored.size()) return {};
  char storedSep = storedForm == PathForm::Native ? '/' : '\\';
  if (stored[static_cast<size_t>(offset) - 1] != storedSep) return {};
  char sep = form == PathForm::Native ? '/' : '\\';
  std::string rest(project);
  for (int32_t i = 0; i < levels; ++i) {
    size_t pos = rest.rfind(sep);
    if (pos == std::string::npos) return {};
    rest.resize(pos);
  }
  if (form == PathForm::Windows && VolumeName(rest).empty()) return {};
  std::string tail(stored.substr(static_cast<size_t>(offset)));
  if (storedSep != sep)
    for (char& c : tail)
      if (c == storedSep) c = sep;
  std::string result = rest + sep + tail;
  // Too long for the platform: no result, never a cut path that could name
  // another file.
  size_t limit = form == PathForm::Native ? static_cast<size_t>(FILE_MaxPath - 1) : 260;
  if (result.size() > limit) return {};
  return result;
}

}  // namespace tv::file

using namespace tv;
using namespace tv::file;

ErrorCode FILE_ResolveRelativePaths(const char* projectPath, const char* storedPath, int32_t levels, int32_t offset,
                                    char* path, int32_t size) try {
  if (path && size > 0) path[0] = 0;
  if (!projectPath || !storedPath || !path || size <= 0) return kReport.BadParam(kSiteRelative);
  std::string result = Resolve(projectPath, storedPath, levels, offset);
  if (result.size() >= static_cast<size_t>(size)) return 0;  // does not fit: empty, never cut
  std::memcpy(path, result.c_str(), result.size() + 1);
  return 0;
} TV_CATCH(FILE_PackageNumber)

ErrorCode FILE_CompareRelativePaths(const char* projectPath, const char* footagePath, Boolean32* sameVolume,
                                    int32_t* levels, int32_t* offset) try {
  if (sameVolume) *sameVolume = 0;
  if (levels) *levels = 0;
  if (offset) *offset = 0;
  if (!projectPath || !footagePath || !sameVolume || !levels || !offset)
    return kReport.BadParam(kSiteRelative);
  *sameVolume = Relate(projectPath, footagePath, levels, offset);
  return 0;
} TV_CATCH(FILE_PackageNumber)
