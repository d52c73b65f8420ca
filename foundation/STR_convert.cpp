// The double-byte safe and 7-bit conversions of texts.
#include <cstring>
#include <string_view>

#include "STR_internal.h"

namespace tv::str {
namespace {

// Roman texts carry these single-byte symbols, which a double-byte script
// would read as parts of other characters.
std::string_view Symbol(unsigned char b) {
  switch (b) {
    case 0x99: return "TM";
    case 0xA9: return "(C)";
    case 0xB0: return "dgr";
    case 0xB7: return "*";
    case 0xBC: return "d";
    default: return {};
  }
}

ErrorCode Convert(const char* in, bool sevenBit, char replacement, int32_t outSize, char* out,
                  Boolean32* changed) {
  if (changed) *changed = 0;
  if (!in || !out || outSize <= 0) return kErrBadParam;
  std::string_view s(in);
  const int32_t script = U_GetSystemScript();
  const char rep[1] = {replacement};
  size_t n = 0;
  const size_t room = static_cast<size_t>(outSize) - 1;
  bool any = false;
  for (size_t pos = 0; pos < s.size();) {
    auto b = static_cast<unsigned char>(s[pos]);
    std::string_view piece;
    bool replaced = false;
    size_t len = 1;
    // The symbols are checked first: the texts are Roman, so a symbol byte is
    // never the start of a double-byte character there.
    if (std::string_view sym = Symbol(b); !sym.empty()) {
      piece = sym;
      replaced = true;
    } else {
      len = u::CharLength(s, pos, script);
      if (sevenBit && (len > 1 || b >= 0x80)) {
        piece = std::string_view(rep, 1);
        replaced = true;
      } else {
        piece = s.substr(pos, len);
      }
    }
    if (n + piece.size() > room) break;  // whole characters or replacements only
    std::memcpy(out + n, piece.data(), piece.size());
    n += piece.size();
    any = any || replaced;
    pos += len;
  }
  out[n] = 0;
  if (changed) *changed = any ? 1 : 0;
  return 0;
}

}  // namespace
}  // namespace tv::str

ErrorCode STR_CleanTo7BitOnly(const char* in, char replacement, int32_t outSize, char* out, Boolean32* changed) {
  return tv::str::Convert(in, true, replacement, outSize, out, changed);
}

ErrorCode STR_MakeDBCSSafeStr(const char* in, int32_t outSize, char* out, Boolean32* changed) {
  return tv::str::Convert(in, false, 0, outSize, out, changed);
}
