// Big-endian reading and writing over byte spans, bounds-checked. Every
// file, clipboard and flat form of the engine goes through these: fields are
// written one by one, never by copying a record's memory.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Types.h"

namespace tv::be {

template <class T>
concept Field = std::is_integral_v<T> || std::is_enum_v<T> || std::is_same_v<T, float> ||
                std::is_same_v<T, double>;

template <Field T>
constexpr auto ToBits(T v) {
  if constexpr (std::is_same_v<T, float>)
    return std::bit_cast<uint32_t>(v);
  else if constexpr (std::is_same_v<T, double>)
    return std::bit_cast<uint64_t>(v);
  else if constexpr (std::is_enum_v<T>)
    return static_cast<std::make_unsigned_t<std::underlying_type_t<T>>>(v);
  else
    return static_cast<std::make_unsigned_t<T>>(v);
}

// Stores v big-endian at p (sizeof(T) bytes).
template <Field T>
inline void Store(uint8_t* p, T v) {
  auto bits = ToBits(v);
  for (int i = static_cast<int>(sizeof(T)) - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(bits & 0xFF);
    if constexpr (sizeof(T) > 1) bits >>= 8;
  }
}

// Loads a big-endian T from p.
template <Field T>
inline T Load(const uint8_t* p) {
  using Bits = decltype(ToBits(T{}));
  Bits bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    if constexpr (sizeof(T) > 1) bits = static_cast<Bits>(bits << 8);
    bits = static_cast<Bits>(bits | p[i]);
  }
  if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
    return std::bit_cast<T>(bits);
  else
    return static_cast<T>(bits);
}

// Reads fields from a span; any read past the end fails, and once failed the
// reader stays failed and yields zeros, so a parser checks ok() once at the end
// of a record.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  template <Field T>
  T Read() {
    if (!Need(sizeof(T))) return T{};
    T v = Load<T>(bytes_.data() + pos_);
    pos_ += sizeof(T);
    return v;
  }
  template <Field T>
  bool Read(T& out) {
    out = Read<T>();
    return ok_;
  }
  FourCC ReadFourCC() { return Read<uint32_t>(); }
  // Copies n raw bytes.
  bool ReadBytes(std::span<uint8_t> out) {
    if (!Need(out.size())) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + pos_, out.size());
    pos_ += out.size();
    return true;
  }
  // A view of the next n bytes, consumed.
  std::span<const uint8_t> Take(size_t n) {
    if (!Need(n)) return {};
    auto s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  bool Skip(size_t n) { return Take(n).size() == n && ok_; }
  bool Seek(size_t pos) {
    if (pos > bytes_.size()) return Fail();
    pos_ = pos;
    return ok_;
  }

  bool ok() const { return ok_; }
  size_t position() const { return pos_; }
  size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }
  size_t size() const { return bytes_.size(); }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > bytes_.size() - pos_) return Fail();
    return true;
  }
  bool Fail() {
    ok_ = false;
    return false;
  }
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Appends fields to a growing byte vector; Patch rewrites a field in place
// (for sizes known only afterwards).
class Writer {
 public:
  template <Field T>
  void Write(T v) {
    size_t at = bytes_.size();
    bytes_.resize(at + sizeof(T));
    Store(bytes_.data() + at, v);
  }
  void WriteFourCC(FourCC v) { Write<uint32_t>(v); }
  void WriteBytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void WriteZeros(size_t n) { bytes_.resize(bytes_.size() + n, 0); }
  // Writes text into a zero-padded field of n bytes (cut to n - 1, always terminated).
  void WriteFixedString(std::string_view text, size_t n) {
    size_t at = bytes_.size();
    bytes_.resize(at + n, 0);
    if (n) std::memcpy(bytes_.data() + at, text.data(), std::min(text.size(), n - 1));
  }
  template <Field T>
  bool Patch(size_t at, T v) {
    if (at > bytes_.size() || sizeof(T) > bytes_.size() - at) return false;
    Store(bytes_.data() + at, v);
    return true;
  }

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace tv::be
