// Output names and formats.
#include "output_name.h"

#include <cstdio>
#include <filesystem>

#include "cli.h"
#include "OutputFormats.h"
#include "image_file.h"

namespace tavelo {

namespace {

// "png, tif, ..." of the still formats, and of the movie containers.
std::string StillNames() {
  std::string names;
  for (const auto& f : tv::outputs::kStills) names += (names.empty() ? "" : ", ") + std::string(f.ext);
  return names;
}
std::string MovieNames() {
  std::string names;
  for (const auto& c : tv::outputs::kContainers) names += (names.empty() ? "" : ", ") + std::string(c.ext);
  return names;
}

}  // namespace

std::string ResolveOutput(const std::string& path, const std::string& format) {
  std::string out = path;
  std::string ext = ExtensionOf(path);
  if (!format.empty()) {
    if (!IsStillExtension(format) && !IsMovieExtension(format))
      Fail("unknown format \"" + format + "\" (" + StillNames() + "; movies: " + MovieNames() + ")", kExitUsage);
    if (ext.empty()) {
      out += "." + format;
      ext = format;
    } else if (ext != format) {
      // Another extension of the same still format (tif and tiff) will do.
      const tv::outputs::StillFormat* still = tv::outputs::FindStill(ext);
      if (!still || still != tv::outputs::FindStill(format))
        Fail("the output \"" + path + "\" does not end in ." + format, kExitUsage);
    }
  }
  if (!IsStillExtension(ext) && !IsMovieExtension(ext))
    Fail("cannot tell the format of \"" + path + "\" (use an extension such as .png or .mp4, or --format; `tavelo " +
             "formats` lists them)",
         kExitUsage);
  return out;
}

void MakeOutputFolder(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A folder where the file would go is never replaced, nor written "into".
  if (fs::is_directory(path, ec)) Fail("cannot write \"" + path + "\": it is a folder");
  const fs::path dir = fs::path(path).parent_path();
  if (dir.empty()) return;
  if (fs::is_directory(dir, ec)) return;
  // The deepest part that exists must be a folder.
  for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
    if (fs::exists(p, ec)) {
      if (!fs::is_directory(p, ec))
        Fail("cannot write \"" + path + "\": \"" + p.string() + "\" is not a folder");
      break;
    }
    if (p == p.parent_path()) break;
  }
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir))
    Fail("cannot write \"" + path + "\": cannot make the folder \"" + dir.string() + "\": " +
         (ec ? ec.message() : std::string("it is not a folder")));
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
