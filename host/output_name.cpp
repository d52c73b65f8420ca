// Output names and formats.
#include "output_name.h"

#include <cstdio>
#include <filesystem>

#include "cli.h"
#include "image_file.h"

namespace tavelo {

std::string ResolveOutput(const std::string& path, const std::string& format) {
  std::string out = path;
  std::string ext = ExtensionOf(path);
  if (!format.empty()) {
    if (!IsStillExtension(format) && !IsMovieExtension(format))
      Fail("unknown format \"" + format + "\" (png, exr, tif, tiff, jpg, dpx; movies: mp4, mov)", kExitUsage);
    if (ext.empty()) {
      out += "." + format;
      ext = format;
    } else if (ext != format && !(ext == "tif" && format == "tiff") && !(ext == "tiff" && format == "tif")) {
      Fail("the output \"" + path + "\" does not end in ." + format, kExitUsage);
    }
  }
  if (!IsStillExtension(ext) && !IsMovieExtension(ext))
    Fail("cannot tell the format of \"" + path + "\" (use an extension such as .png or .mp4, or --format)", kExitUsage);
  std::filesystem::path dir = std::filesystem::path(out).parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec))
    Fail("cannot write \"" + out + "\": \"" + dir.string() + "\" is not a folder");
  return out;
}

bool HasFrameField(const std::string& path) {
  return std::filesystem::path(path).filename().string().find('#') != std::string::npos;
}

std::string WithFrameField(const std::string& path) {
  if (HasFrameField(path)) return path;
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.rfind('.');
  const size_t cut = path.size() - name.size() + (dot == std::string::npos || dot == 0 ? name.size() : dot);
  return path.substr(0, cut) + "_#####" + path.substr(cut);
}

std::string NumberedName(const std::string& pattern, int64_t frame) {
  const size_t end = pattern.rfind('#');
  if (end == std::string::npos) return pattern;
  size_t start = end;
  while (start > 0 && pattern[start - 1] == '#') --start;
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*lld", static_cast<int>(end - start + 1), static_cast<long long>(frame));
  return pattern.substr(0, start) + digits + pattern.substr(end + 1);
}

}  // namespace tavelo
