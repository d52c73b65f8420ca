// Shared by the PF tests: a fixture that births PF (and the math package with
// its 8-bit tables before it), and plain pixel buffers seen as PFWorlds.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "M.h"
#include "PF.h"
#include "TestSupport.h"

namespace tv::test {

class PFFixture : public UFixture {
 protected:
  PFFixture() : UFixture({PF_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    PFp_UseReferenceKernels(0);
    rec.clear();
  }
  void TearDown() override {
    PFp_UseReferenceKernels(0);
    UFixture::TearDown();
  }
};

// A world over a vector: row bytes 4 x width + 4 plus `extra`, the padding
// filled with a sentinel so that stray writes show.
struct Buffer {
  static constexpr uint8_t kSentinel = 0xC3;
  std::vector<uint8_t> bytes;
  PFWorld world{};

  Buffer(int32_t width, int32_t height, int32_t extra = 0) {
    const int32_t rowBytes = 4 * width + 4 + extra;
    bytes.assign(static_cast<size_t>(rowBytes) * height + 1, kSentinel);
    world.data = reinterpret_cast<char*>(bytes.data());
    world.rowBytes = rowBytes;
    world.width = width;
    world.height = height;
    world.extentHint = Rect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    world.kindMagic = PF_WorldKind_Wrapped;
    for (int32_t y = 0; y < height; ++y) std::memset(px(0, y), 0, 4 * static_cast<size_t>(width));
  }
  // Copies see their own bytes.
  Buffer(const Buffer& other) : bytes(other.bytes), world(other.world) {
    world.data = reinterpret_cast<char*>(bytes.data());
  }
  Buffer& operator=(const Buffer& other) {
    bytes = other.bytes;
    world = other.world;
    world.data = reinterpret_cast<char*>(bytes.data());
    return *this;
  }
  uint8_t* px(int32_t x, int32_t y) { return bytes.data() + static_cast<size_t>(y) * world.rowBytes + 4 * x; }
  void Set(int32_t x, int32_t y, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = px(x, y);
    p[0] = a, p[1] = r, p[2] = g, p[3] = b;
  }
  // Every pixel the same.
  void Fill(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    for (int32_t y = 0; y < world.height; ++y)
      for (int32_t x = 0; x < world.width; ++x) Set(x, y, a, r, g, b);
  }
  // Alpha of pixel (x, y) set to alpha(x, y), the colour left.
  template <class F>
  void SetAlpha(F alpha) {
    for (int32_t y = 0; y < world.height; ++y)
      for (int32_t x = 0; x < world.width; ++x) px(x, y)[0] = static_cast<uint8_t>(alpha(x, y));
  }
  void Random(uint32_t seed) {
    std::mt19937 gen(seed);
    for (int32_t y = 0; y < world.height; ++y)
      for (int32_t x = 0; x < 4 * world.width; ++x) px(0, y)[x] = static_cast<uint8_t>(gen());
  }
  // True when no byte outside the pixels changed.
  bool PaddingIntact() const {
    for (int32_t y = 0; y < world.height; ++y)
      for (int32_t x = 4 * world.width; x < world.rowBytes; ++x)
        if (bytes[static_cast<size_t>(y) * world.rowBytes + x] != kSentinel) return false;
    return bytes.back() == kSentinel;
  }
};

// A buffer of seeded random bytes.
inline Buffer Noise(int32_t width, int32_t height, uint32_t seed) {
  Buffer b(width, height);
  b.Random(seed);
  return b;
}

// Layer matrices (row vectors): scale by s, rotate by deg degrees about the
// origin, then translate; a pure translation.
inline FloatMatrix Translate(double tx, double ty) {
  FloatMatrix m;
  M_SetIdentityMatrix(&m);
  m.m[6] = tx, m.m[7] = ty;
  return m;
}
inline FloatMatrix Identity() { return Translate(0, 0); }
inline FloatMatrix Similar(double s, double deg, double tx, double ty) {
  const double r = deg * 3.14159265358979323846 / 180.0, c = std::cos(r) * s, n = std::sin(r) * s;
  FloatMatrix m = Translate(tx, ty);
  m.m[0] = c, m.m[1] = n, m.m[3] = -n, m.m[4] = c;
  return m;
}

inline uint8_t M8(uint32_t a, uint32_t b) { return static_cast<uint8_t>((a * b + 127) / 255); }
inline uint8_t D8(uint32_t a, uint32_t b) {
  if (a == 0 && b == 0) return 0;
  if (a == 0 || b > a) return 255;
  return static_cast<uint8_t>((255 * b + a / 2) / a);
}

}  // namespace tv::test
