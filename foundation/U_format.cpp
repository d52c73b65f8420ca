#include "Format.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>

namespace tv::fmt {

int64_t Arg::asInt() const {
  switch (kind_) {
    case Kind::Int: return i_;
    case Kind::UInt: return static_cast<int64_t>(u_);
    case Kind::Double: return static_cast<int64_t>(d_);
    case Kind::Str: return 0;
  }
  return 0;
}
uint64_t Arg::asUInt() const {
  switch (kind_) {
    case Kind::Int: return static_cast<uint64_t>(i_);
    case Kind::UInt: return u_;
    case Kind::Double: return static_cast<uint64_t>(static_cast<int64_t>(d_));
    case Kind::Str: return 0;
  }
  return 0;
}
double Arg::asDouble() const {
  switch (kind_) {
    case Kind::Int: return static_cast<double>(i_);
    case Kind::UInt: return static_cast<double>(u_);
    case Kind::Double: return d_;
    case Kind::Str: return 0;
  }
  return 0;
}

size_t Utf8Prefix(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t n = maxBytes;
  // Step back over continuation bytes, then drop a lead byte whose sequence
  // does not fit.
  size_t k = n;
  while (k > 0 && (static_cast<unsigned char>(text[k - 1]) & 0xC0) == 0x80) --k;
  if (k == 0) return n;  // not UTF-8 at all: cut bytes
  unsigned char lead = static_cast<unsigned char>(text[k - 1]);
  size_t len = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
  if (len > 1 && (k - 1) + len > n) return k - 1;
  return n;
}

size_t CopyTo(std::span<char> out, std::string_view text) {
  if (out.empty()) return 0;
  size_t n = Utf8Prefix(text, out.size() - 1);
  std::memcpy(out.data(), text.data(), n);
  out[n] = 0;
  return n;
}

namespace {

class Writer {
 public:
  explicit Writer(std::span<char> out) : out_(out) {}
  void put(std::string_view s) {
    if (full_ || out_.empty() || s.empty()) return;  // an empty view may have no data address
    size_t room = out_.size() - 1 - n_;
    if (s.size() > room) {
      size_t k = Utf8Prefix(s, room);
      std::memcpy(out_.data() + n_, s.data(), k);
      n_ += k;
      full_ = true;
      return;
    }
    std::memcpy(out_.data() + n_, s.data(), s.size());
    n_ += s.size();
  }
  size_t finish() {
    if (!out_.empty()) out_[n_] = 0;
    return n_;
  }

 private:
  std::span<char> out_;
  size_t n_ = 0;
  bool full_ = false;
};

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// A printf conversion being built ("%", flags, width,
// precision): short and bounded, kept on the stack.
class Spec {
 public:
  void add(char c) {
    if (n_ + 1 < sizeof buf_) buf_[n_++] = c;
    buf_[n_] = 0;
  }
  void addNumber(int32_t v) {
    char digits[16];
    int k = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(v));
    for (int i = 0; i < k; ++i) add(digits[i]);
  }
  const char* c_str() const { return buf_; }
  size_t size() const { return n_; }

 private:
  char buf_[48] = "%";
  size_t n_ = 1;
};

// A string conversion with flags, width or precision, as the C library does
// it: "-" pads on the right, other flags are ignored, width and precision
// count bytes, a negative "*" width pads on the right, a negative "*"
// precision is none.
void PutPadded(Writer& w, std::string_view s, const char* spec) {
  bool left = false;
  const char* p = spec + 1;
  while (*p && std::strchr("-+ #0", *p)) left |= *p++ == '-';
  if (*p == '-') {  // a negative "*" width
    left = true;
    ++p;
  }
  size_t width = 0;
  while (*p >= '0' && *p <= '9') width = std::min<size_t>(width * 10 + static_cast<size_t>(*p++ - '0'), 1u << 20);
  if (*p == '.') {
    ++p;
    if (*p != '-') {
      size_t precision = 0;
      while (*p >= '0' && *p <= '9')
        precision = std::min<size_t>(precision * 10 + static_cast<size_t>(*p++ - '0'), 1u << 20);
      s = s.substr(0, std::min(precision, s.size()));
    }
  }
  constexpr std::string_view kBlanks = "                                ";
  auto pad = [&](size_t n) {
    while (n > 0) {
      size_t k = std::min(n, kBlanks.size());
      w.put(kBlanks.substr(0, k));
      n -= k;
    }
  };
  size_t fill = width > s.size() ? width - s.size() : 0;
  if (!left) pad(fill);
  w.put(s);
  if (left) pad(fill);
}

}  // namespace

// Nothing here allocates: each conversion and every converted number are
// built in fixed buffers, so reports can be composed while memory is short.
size_t FormatTo(std::span<char> out, std::string_view f, std::initializer_list<Arg> args) {
  Writer w(out);
  const Arg* next = args.begin();
  auto take = [&]() -> const Arg* { return next != args.end() ? next++ : nullptr; };
  locale_t old = uselocale(CLocale());
  size_t i = 0;
  while (i < f.size()) {
    size_t pct = f.find('%', i);
    if (pct == std::string_view::npos) {
      w.put(f.substr(i));
      break;
    }
    w.put(f.substr(i, pct - i));
    i = pct + 1;
    if (i >= f.size()) {
      w.put("%");
      break;
    }
    if (f[i] == '%') {
      w.put("%");
      ++i;
      continue;
    }
    // Parse flags, width, precision and length.
    Spec spec;
    while (i < f.size() && std::strchr("-+ #0", f[i])) spec.add(f[i++]);
    if (i < f.size() && f[i] == '*') {
      const Arg* a = take();
      spec.addNumber(a ? static_cast<int32_t>(a->asInt()) : 0);
      ++i;
    }
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') spec.add(f[i++]);
    if (i < f.size() && f[i] == '.') {
      spec.add(f[i++]);
      if (i < f.size() && f[i] == '*') {
        const Arg* a = take();
        spec.addNumber(a ? static_cast<int32_t>(a->asInt()) : 0);
        ++i;
      }
      while (i < f.size() && f[i] >= '0' && f[i] <= '9') spec.add(f[i++]);
    }
    while (i < f.size() && (f[i] == 'l' || f[i] == 'h' || f[i] == 'L')) ++i;
    if (i >= f.size()) break;
    char conv = f[i++];
    const Arg* a = take();
    char buf[512];
    switch (conv) {
      case 'd':
      case 'i': {
        spec.add('d');
        int32_t v = a ? static_cast<int32_t>(static_cast<uint32_t>(a->asUInt())) : 0;
        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<int>(v));
        w.put(buf);
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        spec.add(conv);
        uint32_t v = a ? static_cast<uint32_t>(a->asUInt()) : 0;
        std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<unsigned>(v));
        w.put(buf);
        break;
      }
      case 'c': {
        char c = a ? static_cast<char>(a->asInt()) : '?';
        w.put(std::string_view(&c, 1));
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G': {
        spec.add(conv);
        std::snprintf(buf, sizeof buf, spec.c_str(), a ? a->asDouble() : 0.0);
        w.put(buf);
        break;
      }
      case 's': {
        std::string_view s = a ? a->asStr() : std::string_view();
        if (a && a->kind() != Arg::Kind::Str) {
          std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(a->asInt()));
          s = buf;
        }
        if (spec.size() == 1)
          w.put(s);
        else
          PutPadded(w, s, spec.c_str());
        break;
      }
      default:
        w.put(std::string_view(&f[pct], i - pct));
        break;
    }
  }
  uselocale(old);
  return w.finish();
}

std::string Format(std::string_view format, std::initializer_list<Arg> args) {
  std::string out(256 + format.size(), '\0');
  for (;;) {
    size_t n = FormatTo(out, format, args);
    if (n + 1 < out.size()) {
      out.resize(n);
      return out;
    }
    out.resize(out.size() * 2);
  }
}

}  // namespace tv::fmt
