// Number formatting and scanning, and the locale's decimal and thousands
// characters. Digits are produced without the process locale; locale
// characters are applied only where a caller asks for them.
#include <charconv>
#include <cmath>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <string>

#include "Package.h"
#include "U.h"
#include "U_internal.h"

namespace tv::u {
namespace {

struct LocaleChars {
  bool known = false;
  char decimal = '.';
  char thousands = ',';
};
LocaleChars gLocale;

// One character of the locale item, or fallback when it has not exactly one.
char Single(const char* text, char fallback) {
  return text && text[0] && !text[1] ? text[0] : fallback;
}

const LocaleChars& Chars() {
  if (gLocale.known) return gLocale;
  gLocale = LocaleChars{};
  gLocale.known = true;
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (loc) {
    gLocale.decimal = Single(nl_langinfo_l(RADIXCHAR, loc), '.');
    gLocale.thousands = Single(nl_langinfo_l(THOUSEP, loc), ',');
    freelocale(loc);
  }
  // A locale whose decimal character is "," and whose thousands separator is
  // not a single byte would otherwise fall back to "," for both, making
  // grouped numbers unreadable; the thousands character becomes "." then.
  if (gLocale.thousands == gLocale.decimal) gLocale.thousands = gLocale.decimal == '.' ? ',' : '.';
  return gLocale;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Replaces from[0] by to[0] and from[1] by to[1] wherever the character is
// followed by a digit, in one pass, never inside a multi-byte character.
void ConvertSeparators(char* text, const char from[2], const char to[2]) {
  std::string_view s(text);
  for (size_t pos = 0; pos < s.size();) {
    size_t len = CharLength(s, pos, U_GetSystemScript());
    if (len == 1 && pos + 1 < s.size() && IsDigit(s[pos + 1])) {
      if (s[pos] == from[0])
        text[pos] = to[0];
      else if (s[pos] == from[1])
        text[pos] = to[1];
    }
    pos += len;
  }
}

constexpr size_t kMaxJoined = 32;   // sign and digits together
constexpr int32_t kMaxPrecision = 40;  // longer fixed texts switch to %e anyway
constexpr size_t kFixedLimit = 24;  // fixed texts this long switch to %e

std::string Format(double value, int32_t flags, int32_t minimumDigits, int32_t precision) {
  bool negative = value < 0;
  double v = std::fabs(value);
  // A precision below 0 counts as 0, and a huge one is capped: the fixed text
  // would exceed 24 characters and switch to the exponent form in any case.
  if (precision < 0) precision = 0;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  if (minimumDigits < 0) minimumDigits = 0;
  if (minimumDigits > static_cast<int32_t>(kMaxJoined)) minimumDigits = kMaxJoined;

  char buf[512];  // holds the fixed form of the largest double at the largest precision
  std::string digits;
  bool exponent = false;
  if (std::isnan(v)) {
    digits = "nan";
    exponent = true;
  } else if (std::isinf(v)) {
    digits = "inf";
    exponent = true;
  } else {
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    digits.assign(buf, r.ptr);
    if (digits.size() >= kFixedLimit) {
      r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 6);
      digits.assign(buf, r.ptr);
      exponent = true;
    }
  }
  if (!exponent) {
    size_t point = digits.find('.');
    size_t intLen = point == std::string::npos ? digits.size() : point;
    size_t pad = intLen < static_cast<size_t>(minimumDigits) ? minimumDigits - intLen : 0;
    bool blanks = (flags & U_NumBlankPad) != 0;
    std::string intPart = digits.substr(0, intLen);
    std::string rest = digits.substr(intLen);
    if (!blanks) intPart.insert(0, pad, '0');
    if (flags & U_NumThousands) {
      std::string grouped;
      for (size_t i = 0; i < intPart.size(); ++i) {
        if (i > 0 && (intPart.size() - i) % 3 == 0) grouped += ',';
        grouped += intPart[i];
      }
      intPart = grouped;
    }
    if (blanks) intPart.insert(0, pad, ' ');
    digits = intPart + rest;
  }
  std::string out = negative ? "-" : (flags & U_NumPlus) ? "+" : (flags & U_NumSpace) ? " " : "";
  out += digits;
  if (out.size() > kMaxJoined) out.resize(kMaxJoined);
  if (!exponent && (flags & U_NumNoTrailingZeros) && out.find('.') != std::string::npos) {
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
  }
  if (!(flags & U_NumNoLocale)) {
    const char from[2] = {'.', ','};
    const char to[2] = {Chars().decimal, Chars().thousands};
    ConvertSeparators(out.data(), from, to);
  }
  return out;
}

}  // namespace

std::string FormatNum(double value, int32_t flags, int32_t minimumDigits, int32_t precision) {
  return Format(value, flags, minimumDigits, precision);
}

}  // namespace tv::u

ErrorCode U_FormatNum(double value, int32_t flags, int32_t minimumDigits, int32_t precision, char* out) try {
  if (!out) return tv::u::BadArgument(tv::u::kSiteArgument);
  std::string text = tv::u::Format(value, flags, minimumDigits, precision);
  std::memcpy(out, text.c_str(), text.size() + 1);  // at most 32 characters
  return 0;
} TV_CATCH(U_PackageNumber)

ErrorCode U_ScanNum(const char* text, int32_t flags, double* value) try {
  if (value) *value = 0;
  if (!text || !value) return tv::kErrBadParam;
  // The whole text is read: a longer number is not cut short to a wrong value.
  std::string s(text);
  if (!(flags & U_NumNoLocale)) U_DeInternationalizeNum(s.data());
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::string clean;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') clean += '-';
    ++i;
  }
  // Thousands separators between digits are skipped.
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == ',' && i > 0 && tv::u::IsDigit(s[i - 1]) && i + 1 < s.size() && tv::u::IsDigit(s[i + 1]))
      continue;
    if (tv::u::IsDigit(c) || c == '.' || c == 'e' || c == 'E' ||
        ((c == '+' || c == '-') && i > 0 && (s[i - 1] == 'e' || s[i - 1] == 'E')))
      clean += c;
    else
      break;
  }
  double result = 0;
  auto r = std::from_chars(clean.data(), clean.data() + clean.size(), result, std::chars_format::general);
  if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return tv::kErrBadParam;
  if (r.ptr == clean.data()) return tv::kErrBadParam;
  *value = result;
  return 0;
} TV_CATCH(U_PackageNumber)

ErrorCode U_InternationalizeNum(char* text) {
  if (!text) return tv::kErrBadParam;
  const char from[2] = {'.', ','};
  const char to[2] = {U_DecimalChar(), U_ThousandsChar()};
  tv::u::ConvertSeparators(text, from, to);
  return 0;
}

ErrorCode U_DeInternationalizeNum(char* text) {
  if (!text) return tv::kErrBadParam;
  const char from[2] = {U_DecimalChar(), U_ThousandsChar()};
  const char to[2] = {'.', ','};
  tv::u::ConvertSeparators(text, from, to);
  return 0;
}

char U_DecimalChar(void) { return tv::u::Chars().decimal; }
char U_ThousandsChar(void) { return tv::u::Chars().thousands; }

ErrorCode U_SetLocaleChars(char decimalChar, char thousandsChar) {
  if (decimalChar == 0 && thousandsChar == 0) {
    tv::u::gLocale.known = false;
    return 0;
  }
  if (decimalChar == 0 || thousandsChar == 0 || decimalChar == thousandsChar) return tv::kErrBadParam;
  tv::u::gLocale.known = true;
  tv::u::gLocale.decimal = decimalChar;
  tv::u::gLocale.thousands = thousandsChar;
  return 0;
}
