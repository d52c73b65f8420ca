// Message substitution: ^1..^9 (text), ^L1..^L9 (32-bit number) and
// ^F1..^F9 (double with an optional @min.precFLAGS@ number format).
#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "Package.h"
#include "U.h"

namespace tv::u {
namespace {

constexpr size_t kWorkSize = 1024;  // the work buffer: results hold at most 1023 bytes
constexpr uint32_t kSiteSubString = 40;

struct Value {
  int32_t kind;
  int32_t number;
  double real;
  std::string_view text;
};

struct Marker {
  size_t pos;
  size_t len;
  char kind;  // 't', 'L' or 'F'
  int digit;
  size_t formatStart;  // after the opening '@' (0: no format)
  size_t formatEnd;    // the closing '@', or the end of the numeric part when it is missing
  bool closed;
};

struct NumberFormat {
  int32_t flags = U_NumNoTrailingZeros;
  int32_t minimumDigits = 1;
  int32_t precision = 2;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A double for a ^L marker: truncated, NaN as 0, clamped to 32 bits.
int32_t ToLong(double d) {
  if (!(d == d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// Finds '@' at a character start at or after pos.
size_t FindAt(std::string_view s, size_t pos) {
  int32_t script = U_GetSystemScript();
  for (; pos < s.size(); pos += CharLength(s, pos, script))
    if (s[pos] == '@' && CharLength(s, pos, script) == 1) return pos;
  return std::string_view::npos;
}

// Length of the "min.prec" part starting at pos.
size_t NumericPart(std::string_view s, size_t pos) {
  size_t i = pos;
  while (i < s.size() && IsDigit(s[i])) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
  }
  return i - pos;
}

// The next marker at or after pos (pos moves past it); false when there is none.
bool NextMarker(std::string_view f, size_t& pos, Marker& out) {
  int32_t script = U_GetSystemScript();
  while (pos < f.size()) {
    size_t len = CharLength(f, pos, script);
    if (len == 1 && f[pos] == '^' && pos + 1 < f.size()) {
      char c = f[pos + 1];
      if (c >= '1' && c <= '9') {
        out = Marker{pos, 2, 't', c - '0', 0, 0, false};
        pos += 2;
        return true;
      }
      if ((c == 'L' || c == 'F') && pos + 2 < f.size() && f[pos + 2] >= '1' && f[pos + 2] <= '9') {
        Marker m{pos, 3, c, f[pos + 2] - '0', 0, 0, false};
        if (c == 'F' && pos + 3 < f.size() && f[pos + 3] == '@') {
          m.formatStart = pos + 4;
          size_t close = FindAt(f, m.formatStart);
          if (close != std::string_view::npos) {
            m.formatEnd = close;
            m.closed = true;
            m.len = close + 1 - pos;
          } else {
            // Without a closing '@' only the digits and the point belong to
            // the format: the text after them stays in the message.
            m.formatEnd = m.formatStart + NumericPart(f, m.formatStart);
            m.len = m.formatEnd - pos;
          }
        }
        out = m;
        pos += m.len;
        return true;
      }
    }
    pos += len;
  }
  return false;
}

int32_t ReadNumber(std::string_view s, size_t& i) {
  int64_t v = 0;
  while (i < s.size() && IsDigit(s[i])) {
    if (v < 1000) v = v * 10 + (s[i] - '0');
    ++i;
  }
  return static_cast<int32_t>(v);
}

NumberFormat ParseFormat(std::string_view f, const Marker& m) {
  NumberFormat nf;
  if (!m.formatStart) return nf;
  nf.flags = 0;
  std::string_view spec = f.substr(m.formatStart, m.formatEnd - m.formatStart);
  size_t i = 0;
  if (i < spec.size() && IsDigit(spec[i])) nf.minimumDigits = ReadNumber(spec, i);
  if (i < spec.size() && spec[i] == '.') {
    ++i;
    nf.precision = ReadNumber(spec, i);
  }
  for (; i < spec.size(); ++i) {
    switch (spec[i]) {
      case 'n': nf.flags |= U_NumNoLocale; break;
      case ' ': nf.flags |= U_NumBlankPad; break;
      case 'z': nf.flags |= U_NumNoTrailingZeros; break;
      case 's': nf.flags |= U_NumThousands; break;
      case '+': nf.flags |= U_NumPlus; break;
      case 'p': nf.flags |= U_NumSpace; break;
      default: {
        size_t len = CharLength(spec, i, U_GetSystemScript());
        char msg[64];
        fmt::FormatTo(msg, "unknown format char '%s'", {spec.substr(i, len)});
        Up_ReportErrString(Location(U_PackageNumber, kSiteSubString), kSevWarning, msg);
        i += len - 1;
      }
    }
  }
  if (!m.closed)
    Up_ReportErrString(Location(U_PackageNumber, kSiteSubString), kSevWarning,
                       "missing 2nd '@' in format string");
  return nf;
}

// Appends up to a bound: the work text keeps a few bytes beyond its limit so
// that the final cut can keep characters whole.
class Work {
 public:
  void Append(std::string_view text) {
    size_t n = std::min(text.size(), sizeof buf_ - size_);
    std::memcpy(buf_ + size_, text.data(), n);
    size_ += n;
  }
  size_t size() const { return size_; }
  std::string_view view() const { return std::string_view(buf_, size_); }

 private:
  char buf_[kWorkSize + 8];
  size_t size_ = 0;
};

void AppendReplacement(Work& out, std::string_view f, const Marker& m, const Value& v) {
  char number[16];
  switch (m.kind) {
    case 't':
      if (v.kind == U_SubArgLong) {
        out.Append(std::string_view(number, fmt::FormatTo(number, "%ld", {v.number})));
      } else if (v.kind == U_SubArgDouble) {
        out.Append(FormatNum(v.real, U_NumNoTrailingZeros, 1, 2));
      } else {
        out.Append(v.text);
      }
      return;
    case 'L': {
      int32_t n = v.kind == U_SubArgDouble ? ToLong(v.real) : v.number;
      out.Append(std::string_view(number, fmt::FormatTo(number, "%ld", {n})));
      return;
    }
    default: {
      NumberFormat nf = ParseFormat(f, m);
      double d = v.kind == U_SubArgLong ? static_cast<double>(v.number) : v.real;
      out.Append(FormatNum(d, nf.flags, nf.minimumDigits, nf.precision));
      return;
    }
  }
}

// Builds the substituted text in one left-to-right pass over the format, so
// that markers contained in inserted arguments are never substituted again.
// Nothing is allocated unless a number is formatted by U_FormatNum's rules
// (^F markers and floating-point arguments).
void Substitute(std::string_view f, std::span<const Value> args, std::span<char> result) {
  // For positions 1 to 9: the first text marker of that digit, else the first
  // ^L, else the first ^F. A marker whose argument was not given stays as it
  // is, like every marker after the first position without one.
  size_t chosen[9];
  int chosenCount = 0;
  for (int k = 1; k <= 9; ++k) {
    bool found = false;
    for (char kind : {'t', 'L', 'F'}) {
      size_t pos = 0;
      Marker m{};
      while (NextMarker(f, pos, m))
        if (m.digit == k && m.kind == kind) {
          found = true;
          break;
        }
      if (found) {
        chosen[chosenCount] = m.pos;
        break;
      }
    }
    if (!found || k > static_cast<int>(args.size())) break;
    ++chosenCount;
  }
  Work out;
  size_t at = 0;
  size_t pos = 0;
  Marker m{};
  while (NextMarker(f, pos, m)) {
    int k = 0;
    for (int i = 0; i < chosenCount; ++i)
      if (chosen[i] == m.pos) k = i + 1;
    if (!k) continue;
    out.Append(f.substr(at, m.pos - at));
    AppendReplacement(out, f, m, args[static_cast<size_t>(k - 1)]);
    at = m.pos + m.len;
    if (out.size() >= kWorkSize) break;
  }
  if (at < f.size() && out.size() < kWorkSize) out.Append(f.substr(at));
  std::string_view text = out.view();
  size_t n = SafePrefix(text, std::min(kWorkSize - 1, result.size() - 1));
  std::memcpy(result.data(), text.data(), n);
  result[n] = 0;
}

Value FromArg(const fmt::Arg& a) {
  switch (a.kind()) {
    case fmt::Arg::Kind::Str: return Value{U_SubArgText, 0, 0, a.asStr()};
    case fmt::Arg::Kind::Double: return Value{U_SubArgDouble, 0, a.asDouble(), {}};
    default: return Value{U_SubArgLong, static_cast<int32_t>(static_cast<uint32_t>(a.asUInt())), 0, {}};
  }
}

}  // namespace

ErrorCode SubString(std::span<char> out, std::string_view format, std::initializer_list<fmt::Arg> args) {
  if (out.empty()) return kErrBadParam;
  Value values[9];
  size_t n = 0;
  for (const fmt::Arg& a : args)
    if (n < std::size(values)) values[n++] = FromArg(a);
  Substitute(format, std::span<const Value>(values, n), out);
  return 0;
}

std::string SubString(std::string_view format, std::initializer_list<fmt::Arg> args) {
  char text[kWorkSize];
  SubString(text, format, args);
  return std::string(text);
}

}  // namespace tv::u

ErrorCode U_SubString(char* out, int32_t outSize, const char* format, const U_SubArg* args,
                      int32_t argCount) try {
  if (!out || outSize <= 0) return tv::kErrBadParam;
  out[0] = 0;  // a failure leaves out empty
  if (!format || argCount < 0 || (argCount > 0 && !args)) return tv::kErrBadParam;
  tv::u::Value values[9];
  int32_t n = std::min<int32_t>(argCount, 9);  // markers name positions 1 to 9 only
  for (int32_t i = 0; i < n; ++i)
    values[i] = tv::u::Value{args[i].kind, args[i].number, args[i].real,
                             args[i].text ? std::string_view(args[i].text) : std::string_view()};
  tv::u::Substitute(format, std::span<const tv::u::Value>(values, static_cast<size_t>(n)),
                    std::span<char>(out, static_cast<size_t>(outSize)));
  return 0;
} TV_CATCH(U_PackageNumber)
