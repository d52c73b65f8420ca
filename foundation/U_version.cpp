// Version text of a packed version word.
#include "Format.h"
#include "U_internal.h"

using namespace tv;

ErrorCode U_AsciiVersion(uint32_t version, char* buffer) {
  if (!buffer) return kErrBadParam;
  std::string text = fmt::Format("%d.%d", {(version >> 19) & 0x7u, (version >> 15) & 0xFu});
  uint32_t fix = (version >> 11) & 0xFu;
  if (fix) text += fmt::Format(".%d", {fix});
  static constexpr char kStage[] = {'d', 'a', 'b', 0};
  char stage = kStage[(version >> 9) & 0x3u];
  if (stage) text += fmt::Format("%c%d", {stage, version & 0x1FFu});
  if (version & 0x80000000u) text += '\xBC';
  uint32_t platform = (version >> 22) & 0xFu;
  if (platform) {
    const char* name = platform <= 10 ? u::String(54 + static_cast<int32_t>(platform)) : u::String(65);
    text += fmt::Format(" (%s)", {name});
  }
  fmt::CopyTo(std::span<char>(buffer, 64), text);
  return 0;
}
