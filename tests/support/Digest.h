// A 64-bit FNV-1a digest of test output, and a fixed byte generator for the
// inputs the pinned digests are taken of. Both are written here, not taken
// from a library, so a pinned value stays valid whatever the toolchain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "BM.h"

namespace tv::test {

class Digest {
 public:
  Digest& Bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) h_ = (h_ ^ p[i]) * 1099511628211ull;
    return *this;
  }
  // A value's bytes in memory order (trivially copyable values without padding).
  template <class T>
  Digest& Value(const T& v) {
    static_assert(std::is_trivially_copyable_v<T> && std::has_unique_object_representations_v<T>);
    return Bytes(&v, sizeof v);
  }
  // The pixels of a world, row by row; the row padding is not part of it.
  Digest& World(const PFWorld& w) {
    for (int32_t y = 0; y < w.height; ++y)
      Bytes(w.data + static_cast<ptrdiff_t>(y) * w.rowBytes, 4 * static_cast<size_t>(w.width));
    return *this;
  }
  uint64_t value() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

// Bytes of a fixed sequence (splitmix64): a quarter 0, a quarter 255 and the
// rest anything, so that transparent, opaque and full-coverage cases are common.
class FixedBytes {
 public:
  explicit FixedBytes(uint64_t seed) : s_(seed) {}
  uint64_t Next64() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint8_t Next() {
    const uint64_t v = Next64();
    switch (v & 3) {
      case 0: return 0;
      case 1: return 255;
      default: return static_cast<uint8_t>(v >> 8);
    }
  }
  void Fill(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = Next();
  }
  // Every pixel of a world (not its row padding).
  void Fill(const PFWorld& w) {
    for (int32_t y = 0; y < w.height; ++y)
      Fill(reinterpret_cast<uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowBytes, 4 * static_cast<size_t>(w.width));
  }

 private:
  uint64_t s_;
};

}  // namespace tv::test
