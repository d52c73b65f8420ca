// Version text of a packed version word.
#include "Format.h"
#include "U_internal.h"

using namespace tv;

ErrorCode U_AsciiVersion(uint32_t version, char* buffer) {
  if (!buffer) return u::BadArgument(u::kSiteVersion);
  char major[24], fixText[16] = "", stageText[24] = "", platformText[48] = "";
  fmt::FormatTo(major, "%d.%d", {(version >> 19) & 0x7u, (version >> 15) & 0xFu});
  uint32_t fix = (version >> 11) & 0xFu;
  if (fix) fmt::FormatTo(fixText, ".%d", {fix});
  static constexpr char kStage[] = {'d', 'a', 'b', 0};
  char stage = kStage[(version >> 9) & 0x3u];
  if (stage) fmt::FormatTo(stageText, "%c%d", {stage, version & 0x1FFu});
  const char* mark = (version & 0x80000000u) ? "\xBC" : "";
  uint32_t platform = (version >> 22) & 0xFu;
  if (platform) {
    const char* name = platform <= 10 ? u::String(54 + static_cast<int32_t>(platform)) : u::String(65);
    fmt::FormatTo(platformText, " (%s)", {name});
  }
  fmt::FormatTo(std::span<char>(buffer, 64), "%s%s%s%s%s", {major, fixText, stageText, mark, platformText});
  return 0;
}
