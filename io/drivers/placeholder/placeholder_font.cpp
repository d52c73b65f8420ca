// The missing-footage frame: drawn without any font engine, from the small
// bitmap font of 5 x 7 cells (BitmapFont.h), so it looks the same on every
// machine and in every run (a grey field, a red frame and cross, "MISSING"
// and the file's name).
#include <cstring>
#include <string_view>

#include "BitmapFont.h"
#include "PIN_internal.h"

namespace tv::pin {
namespace {

constexpr uint32_t kBackground = 0xFF505050;   // ARGB: opaque grey
constexpr uint32_t kFrameColour = 0xFFC02020;  // opaque red
constexpr uint32_t kTextColour = 0xFFFFFFFF;

void Put(const PixelLock& px, int32_t x, int32_t y, uint32_t argb) {
  if (x < 0 || y < 0 || x >= px.width() || y >= px.height()) return;
  uint8_t* p = px.Row(y) + 4 * static_cast<ptrdiff_t>(x);
  p[0] = static_cast<uint8_t>(argb >> 24);
  p[1] = static_cast<uint8_t>(argb >> 16);
  p[2] = static_cast<uint8_t>(argb >> 8);
  p[3] = static_cast<uint8_t>(argb);
}

// Draws text centred on row cy, each font pixel a square of `scale` pixels;
// a character outside ASCII (a UTF-8 sequence) shows as one '?'.
void DrawText(const PixelLock& px, std::string_view text, int32_t cy, int32_t scale) {
  size_t cells = 0;
  for (unsigned char c : text)
    if (c < 0x80 || (c & 0xC0) == 0xC0) ++cells;
  const int32_t advance = 6 * scale;
  int32_t x = (px.width() - static_cast<int32_t>(cells) * advance + scale) / 2;
  const int32_t top = cy - 7 * scale / 2;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 && (c & 0xC0) != 0xC0) continue;  // a continuation byte
    const font::Glyph& g = font::GlyphOf(c < 0x80 ? static_cast<char>(c) : '?');
    for (int32_t row = 0; row < 7; ++row)
      for (int32_t col = 0; col < 5; ++col)
        if (g.rows[row] & (0x10 >> col))
          for (int32_t dy = 0; dy < scale; ++dy)
            for (int32_t dx = 0; dx < scale; ++dx)
              Put(px, x + col * scale + dx, top + row * scale + dy, kTextColour);
    x += advance;
  }
}

}  // namespace

ErrorCode DrawPlaceholder(BM_World world, const char* name) {
  PixelLock px(world);
  if (!px.ok()) {
    if (px.error() == kErrOutOfMemory)
      return kReport.Message(kSitePlaceholder, kSevError, kErrOutOfMemory,
                             kReport.Text(kTextPlaceholderMemory));
    return px.error() ? px.error() : kReport.BadParam(kSitePlaceholder, {"DrawPlaceholder"});
  }
  const int32_t w = px.width(), h = px.height();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) Put(px, x, y, kBackground);
  // A frame and the two diagonals.
  const int32_t edge = w < 64 || h < 64 ? 1 : 2;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      if (x < edge || y < edge || x >= w - edge || y >= h - edge) Put(px, x, y, kFrameColour);
  const int64_t longest = w > h ? w : h;
  for (int64_t i = 0; i < longest; ++i) {
    const int32_t x = static_cast<int32_t>(i * w / longest), y = static_cast<int32_t>(i * h / longest);
    Put(px, x, y, kFrameColour);
    Put(px, w - 1 - x, y, kFrameColour);
  }
  const int32_t shortest = w < h ? w : h;
  const int32_t scale = shortest >= 240 ? shortest / 120 : 1;
  if (h >= 9) {
    DrawText(px, kReport.Text(kTextPlaceholderTitle), h / 2 - 5 * scale, scale);
    if (name && *name) DrawText(px, name, h / 2 + 5 * scale, scale > 1 ? scale / 2 + (scale & 1) : 1);
  }
  return 0;
}

}  // namespace tv::pin
