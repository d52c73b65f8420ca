// Output file names: the format from --format or the extension, and the
// numbered names of a still sequence ("out_####.png": the last run of '#'
// becomes the zero-padded frame number).
#pragma once

#include <cstdint>
#include <string>

namespace tavelo {

// Checks (and completes) an output path against --format (may be ""):
// a path without extension takes the format's; a mismatch or an unknown
// format is a usage error (2).
std::string ResolveOutput(const std::string& path, const std::string& format);
// Makes the folders of an output path that are missing (as render tools
// do); a Failure naming the folder and the reason when that cannot be done.
void MakeOutputFolder(const std::string& path);
// Whether the name holds a run of '#'.
bool HasFrameField(const std::string& path);
// Adds "_#####" before the extension when the name has no '#' run.
std::string WithFrameField(const std::string& path);
std::string NumberedName(const std::string& pattern, int64_t frame);
// "out_####.png" as the engine's output framework names numbered stills:
// "out_[####].png" (a name without '#' is kept).
inline std::string FrameworkTemplate(const std::string& pattern) {
  const size_t end = pattern.rfind('#');
  if (end == std::string::npos) return pattern;
  size_t start = end;
  while (start > 0 && pattern[start - 1] == '#') --start;
  return pattern.substr(0, start) + "[" + pattern.substr(start, end - start + 1) + "]" + pattern.substr(end + 1);
}

}  // namespace tavelo
