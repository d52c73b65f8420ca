// Characters under the system script, bounded copies, case, searches,
// comparisons and length-prefixed strings.
#include <cstring>
#include <string_view>

#include "U.h"

namespace tv::u {
namespace {

int32_t gScript = U_ScriptRoman;

bool IsLeadJapanese(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

std::string_view View(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// Walks from the start of text to the character holding offset; answers its
// start and length.
void Locate(std::string_view text, size_t offset, int32_t script, size_t& start, size_t& length) {
  size_t pos = 0;
  for (;;) {
    size_t len = CharLength(text, pos, script);
    if (pos + len > offset || pos >= text.size()) {
      start = pos;
      length = len;
      return;
    }
    pos += len;
  }
}

unsigned char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

void ChangeCase(char* text, bool upper) {
  std::string_view s(text);
  for (size_t pos = 0; pos < s.size();) {
    size_t len = CharLength(s, pos, gScript);
    if (len == 1) {
      auto c = static_cast<unsigned char>(text[pos]);
      text[pos] = static_cast<char>(upper ? Upper(c) : Lower(c));
    }
    pos += len;
  }
}

int32_t Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

size_t CharLength(std::string_view text, size_t pos, int32_t script) {
  if (pos >= text.size()) return 1;
  auto b = static_cast<unsigned char>(text[pos]);
  if (U_IsDoubleByteScript(script)) {
    return IsLeadJapanese(b) && pos + 1 < text.size() && text[pos + 1] != 0 ? 2 : 1;
  }
  size_t need = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
  if (need == 1 || pos + need > text.size()) return 1;
  for (size_t k = 1; k < need; ++k)
    if (!IsContinuation(static_cast<unsigned char>(text[pos + k]))) return 1;
  return need;
}

size_t SafePrefix(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t pos = 0;
  for (;;) {
    size_t len = CharLength(text, pos, gScript);
    if (pos + len > maxBytes) return pos;
    pos += len;
  }
}

}  // namespace tv::u

using tv::u::CharLength;
using tv::u::SafePrefix;

ErrorCode U_SetSystemScript(int32_t script) {
  if (script != U_ScriptRoman && script != U_ScriptJapanese) return tv::kErrBadParam;
  tv::u::gScript = script;
  return 0;
}

int32_t U_GetSystemScript(void) { return tv::u::gScript; }

Boolean32 U_IsDoubleByteScript(int32_t script) { return script == U_ScriptJapanese; }

int16_t U_CharByteFromScript(const char* text, int32_t offset, int32_t script) {
  std::string_view s = tv::u::View(text);
  if (offset < 0 || static_cast<size_t>(offset) >= s.size()) return U_SingleByte;
  size_t start = 0, length = 1;
  tv::u::Locate(s, static_cast<size_t>(offset), script, start, length);
  if (length == 1) return U_SingleByte;
  size_t at = static_cast<size_t>(offset) - start;
  if (at == 0) return U_FirstByte;
  return at == length - 1 ? U_LastByte : U_MiddleByte;
}

int16_t U_CharByte(const char* text, int32_t offset) {
  return U_CharByteFromScript(text, offset, tv::u::gScript);
}

ErrorCode U_CopyString(const char* source, int32_t size, char* destination) {
  if (!source || !destination) return tv::kErrBadParam;
  // A size of 0 (or less) leaves no room even for the terminating zero:
  // nothing is written rather than writing before the destination.
  if (size <= 0) return 0;
  std::string_view s(source);
  size_t n = s.size() < static_cast<size_t>(size) ? s.size() : SafePrefix(s, static_cast<size_t>(size) - 1);
  std::memmove(destination, source, n);
  destination[n] = 0;
  return 0;
}

ErrorCode U_ConcatString(const char* source, int32_t size, char* destination) {
  if (!source || !destination) return tv::kErrBadParam;
  if (size <= 0) return 0;
  size_t have = strnlen(destination, static_cast<size_t>(size));
  if (have + 1 >= static_cast<size_t>(size)) return 0;  // full (or not terminated within size)
  std::string_view s(source);
  size_t n = SafePrefix(s, static_cast<size_t>(size) - 1 - have);
  std::memmove(destination + have, source, n);
  destination[have + n] = 0;
  return 0;
}

ErrorCode U_TruncateString(int32_t length, char* text) {
  if (!text || length < 0) return tv::kErrBadParam;
  std::string_view s(text);
  if (s.size() > static_cast<size_t>(length)) text[SafePrefix(s, static_cast<size_t>(length))] = 0;
  return 0;
}

ErrorCode U_StringToUpper(char* text) {
  if (!text) return tv::kErrBadParam;
  tv::u::ChangeCase(text, true);
  return 0;
}

ErrorCode U_StringToLower(char* text) {
  if (!text) return tv::kErrBadParam;
  tv::u::ChangeCase(text, false);
  return 0;
}

const char* U_strstr(const char* text, const char* pattern) {
  if (!text || !pattern) return nullptr;
  std::string_view s(text), p(pattern);
  for (size_t pos = 0; pos + p.size() <= s.size(); pos += CharLength(s, pos, tv::u::gScript)) {
    if (s.compare(pos, p.size(), p) == 0) return text + pos;
  }
  return nullptr;
}

const char* U_strchr(const char* text, int32_t c) {
  if (!text) return nullptr;
  std::string_view s(text);
  auto want = static_cast<char>(c);
  if (want == 0) return text + s.size();
  for (size_t pos = 0; pos < s.size();) {
    size_t len = CharLength(s, pos, tv::u::gScript);
    if (len == 1 && s[pos] == want) return text + pos;
    pos += len;
  }
  return nullptr;
}

const char* U_strrchr(const char* text, int32_t c) {
  if (!text) return nullptr;
  std::string_view s(text);
  auto want = static_cast<char>(c);
  if (want == 0) return text + s.size();
  const char* found = nullptr;
  for (size_t pos = 0; pos < s.size();) {
    size_t len = CharLength(s, pos, tv::u::gScript);
    if (len == 1 && s[pos] == want) found = text + pos;
    pos += len;
  }
  return found;
}

int32_t U_strcmp(const char* a, const char* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  return tv::u::Sign(std::strcmp(a, b));  // strcmp orders unsigned bytes
}

int32_t U_stricmp(const char* a, const char* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  std::string_view sa(a), sb(b);
  size_t leftA = 0, leftB = 0;  // bytes left in the current character of each text
  bool singleA = true, singleB = true;
  for (size_t i = 0;; ++i) {
    if (leftA == 0) {
      size_t len = CharLength(sa, i, tv::u::gScript);
      singleA = len == 1;
      leftA = len;
    }
    if (leftB == 0) {
      size_t len = CharLength(sb, i, tv::u::gScript);
      singleB = len == 1;
      leftB = len;
    }
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (singleA) ca = tv::u::Lower(ca);
    if (singleB) cb = tv::u::Lower(cb);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
    --leftA;
    --leftB;
  }
}

unsigned char* U_Pstrcpy(unsigned char* destination, const unsigned char* source) {
  if (!destination || !source) return nullptr;
  std::memmove(destination, source, static_cast<size_t>(source[0]) + 1);
  return destination;
}

unsigned char* U_Pstrcat(unsigned char* destination, const unsigned char* source) {
  if (!destination || !source) return nullptr;
  size_t total = static_cast<size_t>(destination[0]) + source[0];
  if (total > 255) return nullptr;
  std::memmove(destination + 1 + destination[0], source + 1, source[0]);
  destination[0] = static_cast<unsigned char>(total);
  return destination;
}
