// Interpretation rules: lines of "Interpretation Rules.txt" that give new
// footage of a size, rate, type and compressor its pixel aspect, fields,
// conformed rate and alpha; and the named pixel aspect ratios they bring.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "PIN_internal.h"

namespace tv::pin {
namespace {

constexpr int64_t kMaxRulesBytes = 32768;
constexpr size_t kMaxLine = 255;
constexpr int32_t kAny = -1;

struct Rule {
  int32_t width = kAny, height = kAny;
  Fixed rate = kAny;
  int64_t fileType = kAny, codec = kAny;  // four-character codes, or kAny
  uint32_t hsfNum = 0, hsfDen = 0;        // 0: not given
  uint32_t field = 0;                     // 0 none, 1 upper first, 2 lower first
  Fixed conform = kAny;
  int32_t alpha = kAny;  // kAny untouched, else 0 straight, 1 premultiplied, 2 ignore
  uint8_t matte = 0;     // premultiplied: 0 black, 255 white
};

std::vector<Rule> gRules;
std::vector<PIN_NamedRatio> gRatios;

std::string_view Trim(std::string_view s, bool spaces) {
  const auto drop = [spaces](char c) { return c == '\t' || (spaces && c == ' '); };
  while (!s.empty() && drop(s.front())) s.remove_prefix(1);
  while (!s.empty() && drop(s.back())) s.remove_suffix(1);
  return s;
}

bool Int(std::string_view s, int64_t* v) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *v);
  return ec == std::errc{} && end == s.data() + s.size();
}

// A decimal rate as 16.16, rounded to nearest; 1/65536 to 999 a second.
bool Rate(std::string_view s, Fixed* out) {
  if (s == "*") return *out = kAny, true;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc{} || end != s.data() + s.size() || !(v > 0) || v > 999) return false;
  *out = static_cast<Fixed>(std::floor(v * 65536 + 0.5));
  return *out > 0;
}

bool Code(std::string_view s, int64_t* out) {
  if (s == "*") return *out = kAny, true;
  if (s.size() < 6 || s[0] != '"' || s[5] != '"') return false;
  uint32_t v = 0;
  for (size_t i = 1; i <= 4; ++i) v = (v << 8) | static_cast<uint8_t>(s[i]);
  *out = static_cast<int64_t>(v);
  return true;
}

bool Size(std::string_view s, int32_t* out) {
  if (s == "*") return *out = kAny, true;
  int64_t v = 0;
  if (!Int(s, &v) || v < 1 || v > 30000) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// "n/d" or "n/d/"name"", or "*".
bool Aspect(std::string_view s, Rule& r, std::string* name) {
  if (s == "*") return true;
  const size_t a = s.find('/');
  if (a == std::string_view::npos) return false;
  std::string_view rest = s.substr(a + 1);
  const size_t b = rest.find('/');
  int64_t n = 0, d = 0;
  if (!Int(Trim(s.substr(0, a), true), &n) || !Int(Trim(rest.substr(0, b), true), &d)) return false;
  if (n < 1 || d < 1 || n > 100000 || d > 100000) return false;
  r.hsfNum = static_cast<uint32_t>(n), r.hsfDen = static_cast<uint32_t>(d);
  if (b != std::string_view::npos) {
    const std::string_view q = Trim(rest.substr(b + 1), true);
    if (q.size() < 2 || q.front() != '"' || q.back() != '"') return false;
    *name = std::string(q.substr(1, q.size() - 2));
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(n) / static_cast<double>(d));
    *name = text;
  }
  return true;
}

// One rule line; false for a syntax error.
bool ParseLine(std::string_view line, Rule& r, std::string* name) {
  std::string_view f[9];
  size_t at = 0;
  for (int i = 0; i < 9; ++i) {
    if (i == 8) {
      f[i] = line.substr(std::min(at, line.size()));
      break;
    }
    const size_t end = line.find(i == 4 ? '=' : ',', at);
    if (end == std::string_view::npos) return false;
    f[i] = line.substr(at, end - at);
    at = end + 1;
  }
  for (int i = 0; i < 9; ++i) f[i] = Trim(f[i], i < 3 || i > 5);
  if (!Size(f[0], &r.width) || !Size(f[1], &r.height) || !Rate(f[2], &r.rate) || !Code(f[3], &r.fileType) ||
      !Code(f[4], &r.codec) || !Aspect(f[5], r, name) || !Rate(f[7], &r.conform))
    return false;
  const char fo = f[6].empty() ? 0 : f[6][0];
  r.field = (fo == 'U' || fo == 'u') ? 1 : (fo == 'L' || fo == 'l') ? 2 : 0;
  if (f[8] != "*") {
    const char a = f[8].empty() ? 0 : f[8][0];
    if (a == 'I' || a == 'i') r.alpha = PIN_Alpha_Ignore;
    else if (a == 'P' || a == 'p') r.alpha = PIN_Alpha_Premul, r.matte = 0;
    else if (a == 'W' || a == 'w') r.alpha = PIN_Alpha_Premul, r.matte = 255;
    else r.alpha = PIN_Alpha_Straight;
  }
  return true;
}

void AddRatio(const Rule& r, const std::string& name) {
  PIN_NamedRatio n{};
  n.numerator = r.hsfNum, n.denominator = r.hsfDen;
  std::snprintf(n.name, sizeof n.name, "%s", name.c_str());
  const auto pos = std::upper_bound(gRatios.begin(), gRatios.end(), n, [](const auto& a, const auto& b) {
    return std::string_view(a.name) < std::string_view(b.name);
  });
  gRatios.insert(pos, n);
}

}  // namespace

ErrorCode LoadRules(std::string_view text) {
  int32_t lineNumber = 0;
  size_t at = 0;
  while (at < text.size()) {
    // A line ends at CR, LF or CRLF.
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? end + 2 : end + 1;
    ++lineNumber;
    if (line.size() > kMaxLine) line = line.substr(0, kMaxLine);
    if (Trim(line, true).empty() || line[0] == '#') continue;
    Rule r;
    std::string name;
    if (!ParseLine(line, r, &name))
      return kReport.Fail(kSiteInterp, PIN_ErrRulesSyntax, kTextRulesSyntax, {lineNumber});
    gRules.push_back(r);
    if (r.hsfNum) AddRatio(r, name);
  }
  return 0;
}

void ClearRules() {
  gRules.clear();
  gRules.shrink_to_fit();
  gRatios.clear();
  gRatios.shrink_to_fit();
}

void ApplyRules(PIN_SeqSpecH seq) {
  if (gRules.empty()) return;
  const SeqSpec& s0 = Rec(seq);
  int64_t codec = kAny;
  const Module* m = ModuleOf(seq);
  if (m && Filled(m->procs, PIN_Slot_GetInSpecificData)) {
    FourCC c = 0;
    if (m->procs.getInSpecificData(seq, 3, &c, sizeof c) == 0) codec = static_cast<int64_t>(c);
  }
  const int32_t w = static_cast<int32_t>(s0.width), h = static_cast<int32_t>(s0.height);
  const Fixed rate = s0.nativeRate;
  const int64_t type = static_cast<int64_t>(s0.fileType);
  Fixed conform = kAny;
  for (const Rule& r : gRules) {
    if ((r.width != kAny && r.width != w) || (r.height != kAny && r.height != h) ||
        (r.rate != kAny && std::abs(static_cast<int64_t>(r.rate) - rate) >= 2) ||
        (r.fileType != kAny && r.fileType != type) || (r.codec != kAny && r.codec != codec))
      continue;
    if (r.hsfNum) PIN_SetHSF(seq, r.hsfNum, r.hsfDen);
    PIN_FieldInfo f{MakeFourCC("FIEL"), 1, r.field ? 1u : 0u, r.field == 2 ? 1u : 0u, 0};
    PIN_SetInterlace(seq, &f);
    if (r.conform != kAny) conform = r.conform;
    if (r.alpha != kAny) {
      PIN_AlphaInfo a{};
      a.type = static_cast<uint8_t>(r.alpha);
      a.red = a.green = a.blue = r.matte;
      PIN_SetAlphaType(seq, &a);
    }
  }
  // A single still has no rate to conform.
  const SeqSpec& s = Rec(seq);
  const bool rated = !(s.moduleFlags & PIN_ModFlag_NoTime) || NumFiles(s) > 0 || s.duration.value != 0;
  if (conform != kAny && rated) PIN_SetSequenceFPS(seq, conform);
}

}  // namespace tv::pin

using namespace tv;
using namespace tv::pin;

namespace {

// The rules file the host named (empty: the default).
std::string gRulesPath;

// $XDG_CONFIG_HOME/tavelo (or ~/.config/tavelo), unless the host named one.
std::string RulesPath() {
  if (!gRulesPath.empty()) return gRulesPath;
  std::string path;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    path = x;
  else if (const char* home = std::getenv("HOME"))
    path = std::string(home) + "/.config";
  return path + "/tavelo/Interpretation Rules.txt";
}

}  // namespace

namespace tv::pin {
ErrorCode LoadRulesAtBirth() {
  // A rules file that cannot be used is reported and the engine starts
  // without (or with the rules before the error): footage still imports.
  // Running out of memory ends the birth (reported once, by who ran out).
  const ErrorCode err = PIN_LoadAutoInterpFile(nullptr);
  return err == kErrOutOfMemory ? err : 0;
}
}  // namespace tv::pin

ErrorCode PIN_SetAutoInterpPath(const char* path) try {
  gRulesPath = path ? path : "";
  if (!pkg::Alive(PIN_PackageNumber)) return 0;
  ClearRules();
  return PIN_LoadAutoInterpFile(nullptr);
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_LoadAutoInterpFile(FILE_SpecH file) try {
  if (!pkg::Alive(PIN_PackageNumber)) return kReport.Damaged(kSiteInterp);
  FILE_SpecH own = nullptr;
  if (!file) {
    const std::string path = RulesPath();
    Boolean32 exists = 0;
    if (ErrorCode err = FILE_InqLocExist(path.c_str(), FILE_LocFullPath, &exists)) return err;
    if (!exists) return 0;
    if (ErrorCode err = FILE_New(path.c_str(), FILE_LocFullPath, &own)) return err;
    file = own;
  }
  struct Close {
    FILE_SpecH f;
    ~Close() {
      if (f) FILE_Dispose(f);
    }
  } close{own};
  int64_t size = 0;
  if (ErrorCode err = FILE_InqSize(file, 0, &size)) return err;
  if (size >= kMaxRulesBytes) return kReport.Fail(kSiteInterp, PIN_ErrBadRequest, kTextRulesTooLarge);
  std::string text(static_cast<size_t>(size), '\0');
  if (ErrorCode err = FILE_Open(FILE_PermRead, file)) return err;
  ErrorCode err = size ? FILE_NRead(file, static_cast<int32_t>(size), text.data()) : 0;
  FILE_Close(file);
  if (err) return err;
  return LoadRules(text);
}
TV_CATCH(PIN_PackageNumber)

ErrorCode PIN_GetNamedPixelAspectRatios(PIN_NamedRatio* ratios, int32_t capacity, int32_t* count) {
  if (!count || capacity < 0 || (capacity > 0 && !ratios))
    return kReport.BadParam(kSiteInterp, {"PIN_GetNamedPixelAspectRatios"});
  *count = static_cast<int32_t>(gRatios.size());
  for (int32_t i = 0; i < capacity && i < *count; ++i) ratios[i] = gRatios[static_cast<size_t>(i)];
  return 0;
}
