// The interpretation's arithmetic on pixels: alpha conversion between
// interpretations, the 3:2 pulldown cadence and the field merges.
#include <algorithm>
#include <cstring>

#include "PIN_interp.h"

namespace tv::pin {
namespace {

// a * c / 255, rounded to nearest.
inline uint32_t Mul(uint32_t a, uint32_t c) {
  const uint32_t t = a * c + 128;
  return (t + (t >> 8)) >> 8;
}
// c * 255 / a, rounded to nearest and clamped to 255; 0 for alpha 0.
inline uint32_t Div(uint32_t a, uint32_t c) {
  if (a == 0) return 0;
  return std::min<uint32_t>(255, (c * 255 + a / 2) / a);
}

void Premultiply(uint8_t* p, int64_t count, const uint8_t matte[3]) {
  for (int64_t i = 0; i < count; ++i, p += 4) {
    const uint32_t a = p[0];
    for (int c = 0; c < 3; ++c) p[1 + c] = static_cast<uint8_t>(Mul(a, p[1 + c]) + Mul(255 - a, matte[c]));
  }
}

void Unpremultiply(uint8_t* p, int64_t count, const uint8_t matte[3]) {
  const bool black = matte[0] == 0 && matte[1] == 0 && matte[2] == 0;
  for (int64_t i = 0; i < count; ++i, p += 4) {
    const uint32_t a = p[0];
    if (a == 255) continue;
    for (int c = 0; c < 3; ++c) {
      const int32_t v = static_cast<int32_t>(p[1 + c]) - (black ? 0 : static_cast<int32_t>(Mul(255 - a, matte[c])));
      p[1 + c] = static_cast<uint8_t>(v <= 0 ? 0 : Div(a, static_cast<uint32_t>(v)));
    }
  }
}

constexpr uint8_t kCadence[5][4] = {
    {0, 1, 1, 2}, {1, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 1},
};

}  // namespace

void ConvertAlpha(const PIN_AlphaInfo& from, const PIN_AlphaInfo& to, bool invert, uint8_t* pixels,
                  int64_t count) {
  if (invert)
    for (int64_t i = 0; i < count; ++i) pixels[i * 4] = static_cast<uint8_t>(255 - pixels[i * 4]);
  const uint8_t fromMatte[3] = {from.red, from.green, from.blue};
  const uint8_t toMatte[3] = {to.red, to.green, to.blue};
  const auto opaque = [](uint8_t t) { return t == PIN_Alpha_Ignore || t == PIN_Alpha_None; };
  if (from.type == to.type) {
    if (from.type == PIN_Alpha_Premul && std::memcmp(fromMatte, toMatte, 3) != 0) {
      Unpremultiply(pixels, count, fromMatte);
      Premultiply(pixels, count, toMatte);
    } else if (opaque(to.type)) {
      for (int64_t i = 0; i < count; ++i) pixels[i * 4] = 255;
    }
    return;
  }
  if (opaque(from.type) || opaque(to.type)) {
    for (int64_t i = 0; i < count; ++i) pixels[i * 4] = 255;
    return;
  }
  if (to.type == PIN_Alpha_Premul)
    Premultiply(pixels, count, toMatte);
  else
    Unpremultiply(pixels, count, fromMatte);
}

PulldownStep PulldownFor(uint32_t phase, int64_t n) {
  const int64_t q = n >= 0 ? n / 4 : -((-n + 3) / 4);
  const int64_t r = n - q * 4;
  const int64_t m = q * 5 + r;
  if (phase < 1 || phase > 5) return {n, n, false};
  switch (kCadence[phase - 1][r]) {
    case 0:
      return {m, m, false};
    case 2:
      return {m + 1, m + 1, false};
    default:
      if (phase == 2 || phase == 3) return {m - 1, m, true};
      return {m, m + 1, true};
  }
}

Fixed FilmRate(Fixed videoRate) {
  return static_cast<Fixed>((static_cast<int64_t>(videoRate) * 4 + 2) / 5);
}

void CopyRows(uint8_t* dst, int32_t dstRowBytes, const uint8_t* src, int32_t srcRowBytes, int32_t width,
              int32_t height, uint32_t parity) {
  const size_t bytes = static_cast<size_t>(width) * 4;
  for (int32_t y = static_cast<int32_t>(parity & 1); y < height; y += 2)
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstRowBytes, src + static_cast<ptrdiff_t>(y) * srcRowBytes,
                bytes);
}

void FillOtherRows(uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height, uint32_t parity,
                   bool interpolate) {
  const size_t bytes = static_cast<size_t>(width) * 4;
  const int32_t kept = static_cast<int32_t>(parity & 1);
  const auto row = [&](int32_t y) { return pixels + static_cast<ptrdiff_t>(y) * rowBytes; };
  // A single row of the other parity and none kept: nothing to rebuild from.
  if (height < 2) return;
  for (int32_t y = 1 - kept; y < height; y += 2) {
    const bool above = y - 1 >= 0, below = y + 1 < height;
    if (interpolate && above && below) {
      const uint8_t* a = row(y - 1);
      const uint8_t* b = row(y + 1);
      uint8_t* d = row(y);
      for (size_t i = 0; i < bytes; ++i) d[i] = static_cast<uint8_t>((a[i] + b[i] + 1) >> 1);
    } else {
      std::memmove(row(y), row(above ? y - 1 : y + 1), bytes);
    }
  }
}

}  // namespace tv::pin
