// The preferences file: reader and atomic writer of the private-profile form.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "Errno.h"
#include "Memory.h"
#include "Prefs.h"

namespace tv::platform::prefs {
namespace {

// Built on first use: the memory manager reads its settings on its first
// allocation, which may come from another file's static initialisation.
std::string& Path() {
  static std::string path;
  return path;
}
std::string& Memory() {  // the settings while no file is set
  static std::string memory;
  return memory;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

struct Doc {
  std::vector<std::string> lines;
  std::string eol = "\n";
};

Doc Parse(const std::string& text) {
  Doc d;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl;
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      d.eol = "\r\n";
    }
    d.lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return d;
}

std::string Join(const Doc& d) {
  std::string out;
  for (const std::string& line : d.lines) out += line + d.eol;
  return out;
}

std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

std::optional<std::string_view> KeyOf(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(0, eq));
}

// The text after '=' as it stands in the file (without the surrounding blanks).
std::string_view RawValueOf(std::string_view line) { return Trim(line.substr(line.find('=') + 1)); }

std::string_view ValueOf(std::string_view line) {
  std::string_view v = RawValueOf(line);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }
bool Quote(char c) { return c == '"' || c == '\''; }
bool BreaksLines(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

// The reader trims blanks around a value and takes off one pair of matching
// quotes, so a value that begins or ends with a blank or a quote is written
// inside double quotes; it then reads back exactly as given.
std::string Encode(std::string_view value) {
  if (!value.empty() && (Blank(value.front()) || Blank(value.back()) || Quote(value.front()) || Quote(value.back())))
    return "\"" + std::string(value) + "\"";
  return std::string(value);
}

// A section or key name that the reader finds again as given: the file is
// made of lines, so a carriage return, a line feed or a NUL would end the
// line and let the rest of the text stand as lines of its own (other keys,
// other sections). Names are trimmed when read, a key ends at its first '='
// and a line that starts with ';', '#' or '[' holds no key; a section name
// ends at its first ']'. Such names are refused rather than written.
bool GoodName(std::string_view name, bool section) {
  if (name.empty() || BreaksLines(name) || Blank(name.front()) || Blank(name.back())) return false;
  if (section) return name.find(']') == name.npos;
  return name.find('=') == name.npos && name.front() != ';' && name.front() != '#' && name.front() != '[';
}

struct Place {
  long section = -1;   // line of the section header
  long key = -1;       // line of the key
  long lastLine = -1;  // last non-blank line of the section
};

Place Find(const Doc& d, std::string_view section, std::string_view key) {
  Place p;
  bool inside = false;
  for (size_t i = 0; i < d.lines.size(); ++i) {
    if (auto s = SectionOf(d.lines[i])) {
      if (inside) break;  // the first matching section is the one used
      inside = SameName(*s, section);
      if (inside) p.section = p.lastLine = static_cast<long>(i);
      continue;
    }
    if (!inside) continue;
    if (!Trim(d.lines[i]).empty()) p.lastLine = static_cast<long>(i);
    auto k = KeyOf(d.lines[i]);
    if (k && p.key < 0 && SameName(*k, key)) p.key = static_cast<long>(i);
  }
  return p;
}

// The file's text. A file that does not exist (or whose folder does not) reads
// as empty, so defaults apply and the first write creates it. Any other
// failure is returned: readers fall back to defaults, and writers refuse,
// because a text read only in part (or not at all) written back with one new
// setting would replace every other setting in the file.
ErrorCode ReadAll(std::string& text) {
  text.clear();
  if (Path().empty()) {
    text = Memory();
    return 0;
  }
  int fd = ::open(Path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : FromErrno(errno);
  char buf[4096];
  ErrorCode err = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = FromErrno(errno);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (err) text.clear();
  return err;
}

ErrorCode WriteAtomically(const std::string& path, const std::string& text) {
  return WriteFileAtomically(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

ErrorCode WriteAll(const std::string& text) {
  if (Path().empty()) {
    Memory() = text;
    return 0;
  }
  return WriteAtomically(Path(), text);
}

}  // namespace

int32_t ParseInt(std::string_view value) {
  value = Trim(value);
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  int64_t n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > int64_t{INT32_MAX} + 1) n = int64_t{INT32_MAX} + 1;
  }
  if (negative) n = -n;
  if (n > INT32_MAX) n = INT32_MAX;
  return static_cast<int32_t>(n);
}

std::optional<std::string> GetString(std::string_view section, std::string_view key) {
  std::string text;
  if (ReadAll(text) != 0) return std::nullopt;  // unreadable: defaults apply
  Doc d = Parse(text);
  Place p = Find(d, section, key);
  if (p.key < 0) return std::nullopt;
  return std::string(ValueOf(d.lines[static_cast<size_t>(p.key)]));
}

ErrorCode SetString(std::string_view section, std::string_view key, std::string_view value) {
  if (!GoodName(section, true) || !GoodName(key, false) || BreaksLines(value)) return kSysParam;
  std::string text;
  if (ErrorCode err = ReadAll(text)) return err;  // never rewrite a file that could not be read
  Doc d = Parse(text);
  Place p = Find(d, section, key);
  const std::string encoded = Encode(value);
  if (p.key >= 0) {
    std::string& line = d.lines[static_cast<size_t>(p.key)];
    if (RawValueOf(line) == encoded) return 0;
    line = std::string(*KeyOf(line)) + "=" + encoded;
  } else if (p.section >= 0) {
    d.lines.insert(d.lines.begin() + p.lastLine + 1, std::string(key) + "=" + encoded);
  } else {
    while (!d.lines.empty() && Trim(d.lines.back()).empty()) d.lines.pop_back();
    if (!d.lines.empty()) d.lines.emplace_back();
    d.lines.push_back("[" + std::string(section) + "]");
    d.lines.push_back(std::string(key) + "=" + encoded);
  }
  return WriteAll(Join(d));
}

ErrorCode SetInt(std::string_view section, std::string_view key, int64_t value) {
  return SetString(section, key, std::to_string(value));
}

int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue) {
  auto v = GetString(section, key);
  return v ? ParseInt(*v) : defaultValue;
}

// An absent key is written with its default; when that write is refused (a
// name that cannot be written, a file that cannot be read or replaced) the
// default still answers and the file stays as it was.
int32_t GetRequiredInt(std::string_view section, std::string_view key, int32_t defaultValue) {
  auto v = GetString(section, key);
  if (v) return ParseInt(*v);
  SetInt(section, key, defaultValue);
  return defaultValue;
}

std::string GetRequiredString(std::string_view section, std::string_view key, std::string_view defaultValue) {
  auto v = GetString(section, key);
  if (v) return *v;
  SetString(section, key, defaultValue);
  return std::string(defaultValue);
}

}  // namespace tv::platform::prefs

namespace {
namespace prefs = tv::platform::prefs;

std::string_view SectionArg(const char* section) { return section && *section ? section : TV_PREFS_SECTION; }

int32_t CopyOut(const std::string& value, char* buffer, int32_t size) {
  if (!buffer || size <= 0) return 0;
  size_t n = std::min(value.size(), static_cast<size_t>(size - 1));
  // Never cut a UTF-8 sequence in two.
  if (n < value.size()) {
    while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(buffer, value.data(), n);
  buffer[n] = 0;
  return static_cast<int32_t>(n);
}
}  // namespace

// The exported operations never throw: a string that cannot be made (memory
// is short) makes a setter answer -108 and a getter answer its default.
ErrorCode EMUL_SetTVPrefsFile(const char* path) try {
  prefs::Path() = path ? path : "";
  // Memory settings read from the previous file are stale now.
  EMUL_ReloadMemorySettings();
  return 0;
} catch (...) {
  return tv::kSysMemFull;
}

const char* EMUL_GetTVPrefsFile(void) { return prefs::Path().c_str(); }

int32_t EMUL_GetProfileInt(const char* section, const char* key, int32_t defaultValue) try {
  if (!key) return defaultValue;
  return prefs::GetInt(SectionArg(section), key, defaultValue);
} catch (...) {
  return defaultValue;
}

int32_t EMUL_GetRequiredProfileInt(const char* section, const char* key, int32_t defaultValue) try {
  if (!key) return defaultValue;
  return prefs::GetRequiredInt(SectionArg(section), key, defaultValue);
} catch (...) {
  return defaultValue;
}

ErrorCode EMUL_SetProfileInt(const char* section, const char* key, int32_t value) try {
  if (!key) return tv::kSysParam;
  return prefs::SetInt(SectionArg(section), key, value);
} catch (...) {
  return tv::kSysMemFull;
}

int32_t EMUL_GetProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                              int32_t size) try {
  std::optional<std::string> v = key ? prefs::GetString(SectionArg(section), key) : std::nullopt;
  return CopyOut(v ? *v : std::string(defaultValue ? defaultValue : ""), buffer, size);
} catch (...) {
  if (buffer && size > 0) buffer[0] = 0;
  return 0;
}

int32_t EMUL_GetRequiredProfileString(const char* section, const char* key, const char* defaultValue,
                                      char* buffer, int32_t size) try {
  if (!key) return CopyOut(defaultValue ? defaultValue : "", buffer, size);
  return CopyOut(prefs::GetRequiredString(SectionArg(section), key, defaultValue ? defaultValue : ""), buffer,
                 size);
} catch (...) {
  if (buffer && size > 0) buffer[0] = 0;
  return 0;
}

ErrorCode EMUL_SetProfileString(const char* section, const char* key, const char* value) try {
  if (!key) return tv::kSysParam;
  return prefs::SetString(SectionArg(section), key, value ? value : "");
} catch (...) {
  return tv::kSysMemFull;
}
