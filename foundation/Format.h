// The engine's message formatter: printf-style specifiers (%s %d %ld %u %x %lX
// %c %g %f %e %%, with flags, width and precision) over typed arguments, with
// 32-bit semantics for the integer conversions whatever the platform's long is,
// and numbers that never depend on the process locale. Output is bounded and
// never ends in a cut UTF-8 sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tv::fmt {

class Arg {
 public:
  enum class Kind { Int, UInt, Double, Str };

  template <class I, std::enable_if_t<std::is_integral_v<I> && std::is_signed_v<I>, int> = 0>
  Arg(I v) : kind_(Kind::Int), i_(static_cast<int64_t>(v)) {}
  template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_signed_v<I>, int> = 0>
  Arg(I v) : kind_(Kind::UInt), u_(static_cast<uint64_t>(v)) {}
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  Arg(E v) : Arg(static_cast<std::underlying_type_t<E>>(v)) {}
  Arg(double v) : kind_(Kind::Double), d_(v) {}
  Arg(float v) : kind_(Kind::Double), d_(v) {}
  Arg(const char* s) : kind_(Kind::Str), s_(s ? std::string_view(s) : std::string_view("(null)")) {}
  Arg(char* s) : Arg(static_cast<const char*>(s)) {}
  Arg(std::string_view s) : kind_(Kind::Str), s_(s) {}
  Arg(const std::string& s) : kind_(Kind::Str), s_(s) {}

  Kind kind() const { return kind_; }
  int64_t asInt() const;
  uint64_t asUInt() const;
  double asDouble() const;
  std::string_view asStr() const { return kind_ == Kind::Str ? s_ : std::string_view(); }

 private:
  Kind kind_;
  int64_t i_ = 0;
  uint64_t u_ = 0;
  double d_ = 0;
  std::string_view s_;
};

// Formats into out (always zero-terminated when out is not empty); returns the
// number of bytes written, without the terminator.
size_t FormatTo(std::span<char> out, std::string_view format, std::initializer_list<Arg> args);
std::string Format(std::string_view format, std::initializer_list<Arg> args);

// Length in bytes of the longest prefix of text that is at most maxBytes long
// and does not end inside a UTF-8 sequence.
size_t Utf8Prefix(std::string_view text, size_t maxBytes);

// Copies text into out, bounded and UTF-8 safe, always terminated; returns the
// bytes copied.
size_t CopyTo(std::span<char> out, std::string_view text);

}  // namespace tv::fmt
