// Message substitution: ^1..^9 (text), ^L1..^L9 (32-bit number) and
// ^F1..^F9 (double with an optional @min.precFLAGS@ number format).
#include <cstring>
#include <string>
#include <vector>

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

std::vector<Marker> FindMarkers(std::string_view f) {
  std::vector<Marker> markers;
  int32_t script = U_GetSystemScript();
  for (size_t pos = 0; pos < f.size();) {
    size_t len = CharLength(f, pos, script);
    if (len == 1 && f[pos] == '^' && pos + 1 < f.size()) {
      char c = f[pos + 1];
      if (c >= '1' && c <= '9') {
        markers.push_back(Marker{pos, 2, 't', c - '0', 0, 0, false});
        pos += 2;
        continue;
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
        markers.push_back(m);
        pos += m.len;
        continue;
      }
    }
    pos += len;
  }
  return markers;
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
        std::string msg = fmt::Format("unknown format char '%s'", {spec.substr(i, len)});
        Up_ReportErrString(Location(U_PackageNumber, kSiteSubString), kSevWarning, msg.c_str());
        i += len - 1;
      }
    }
  }
  if (!m.closed)
    Up_ReportErrString(Location(U_PackageNumber, kSiteSubString), kSevWarning,
                       "missing 2nd '@' in format string");
  return nf;
}

std::string Replacement(std::string_view f, const Marker& m, const Value& v) {
  switch (m.kind) {
    case 't':
      if (v.kind == U_SubArgLong) return fmt::Format("%ld", {v.number});
      if (v.kind == U_SubArgDouble) return FormatNum(v.real, U_NumNoTrailingZeros, 1, 2);
      return std::string(v.text);
    case 'L': {
      int32_t n = v.kind == U_SubArgDouble ? ToLong(v.real) : v.number;
      return fmt::Format("%ld", {n});
    }
    default: {
      NumberFormat nf = ParseFormat(f, m);
      double d = v.kind == U_SubArgLong ? static_cast<double>(v.number) : v.real;
      return FormatNum(d, nf.flags, nf.minimumDigits, nf.precision);
    }
  }
}

// Builds the substituted text in one left-to-right pass over the format, so
// that markers contained in inserted arguments are never substituted again.
std::string Substitute(std::string_view f, const std::vector<Value>& args) {
  std::vector<Marker> markers = FindMarkers(f);
  std::vector<int> chosen(markers.size(), 0);  // argument position (1-9) of each marker, or 0
  for (int k = 1; k <= 9; ++k) {
    int found = -1;
    for (char kind : {'t', 'L', 'F'}) {
      for (size_t i = 0; i < markers.size() && found < 0; ++i)
        if (markers[i].digit == k && markers[i].kind == kind) found = static_cast<int>(i);
      if (found >= 0) break;
    }
    // A marker whose argument was not given stays as it is, like every marker
    // after the first position without one.
    if (found < 0 || k > static_cast<int>(args.size())) break;
    chosen[static_cast<size_t>(found)] = k;
  }
  std::string out;
  size_t at = 0;
  for (size_t i = 0; i < markers.size(); ++i) {
    if (!chosen[i]) continue;
    out.append(f.substr(at, markers[i].pos - at));
    out += Replacement(f, markers[i], args[static_cast<size_t>(chosen[i] - 1)]);
    at = markers[i].pos + markers[i].len;
    if (out.size() >= kWorkSize) break;
  }
  if (at < f.size() && out.size() < kWorkSize) out.append(f.substr(at));
  out.resize(SafePrefix(out, kWorkSize - 1));
  return out;
}

ErrorCode Finish(std::span<char> out, const std::string& text) {
  size_t n = SafePrefix(text, out.size() - 1);
  std::memcpy(out.data(), text.data(), n);
  out[n] = 0;
  return 0;
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
  std::vector<Value> values;
  for (const fmt::Arg& a : args) values.push_back(FromArg(a));
  return Finish(out, Substitute(format, values));
}

std::string SubString(std::string_view format, std::initializer_list<fmt::Arg> args) {
  std::vector<Value> values;
  for (const fmt::Arg& a : args) values.push_back(FromArg(a));
  return Substitute(format, values);
}

}  // namespace tv::u

ErrorCode U_SubString(char* out, int32_t outSize, const char* format, const U_SubArg* args,
                      int32_t argCount) {
  if (!out || outSize <= 0) return tv::kErrBadParam;
  out[0] = 0;  // a failure leaves out empty
  if (!format || argCount < 0 || (argCount > 0 && !args)) return tv::kErrBadParam;
  std::vector<tv::u::Value> values;
  for (int32_t i = 0; i < argCount; ++i)
    values.push_back(tv::u::Value{args[i].kind, args[i].number, args[i].real,
                                  args[i].text ? std::string_view(args[i].text) : std::string_view()});
  return tv::u::Finish(std::span<char>(out, static_cast<size_t>(outSize)), tv::u::Substitute(format, values));
}
