// Contact sheets: frames on a grid, each labelled.
#include "contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "BitmapFont.h"

namespace tavelo {
namespace {

constexpr int kGap = 4;
constexpr int kLabel = tv::font::kHeight + 4;  // the label's strip under a frame
constexpr uint8_t kSheet = 24;                  // the sheet's grey
constexpr uint8_t kText = 220;                  // the labels' grey

// Draws text (one pixel a font dot) with its top left at (x, y), cut at the
// right edge limit.
void Label(Image& sheet, const std::string& text, int x, int y, int limit) {
  for (char c : text) {
    if (x + tv::font::kAdvance - 1 > limit) break;
    const tv::font::Glyph& g = tv::font::GlyphOf(c);
    for (int row = 0; row < tv::font::kHeight; ++row)
      for (int col = 0; col < 5; ++col)
        if (g.rows[row] & (0x10 >> col)) {
          uint8_t* p = &sheet.rgba[(static_cast<size_t>(y + row) * static_cast<size_t>(sheet.width) +
                                    static_cast<size_t>(x + col)) * 4];
          p[0] = p[1] = p[2] = kText;
        }
    x += tv::font::kAdvance;
  }
}

}  // namespace

SheetSize SheetSizeOf(int64_t cells, int columns, int w, int h) {
  const int64_t across = std::min<int64_t>(columns, cells);
  const int64_t rows = (cells + columns - 1) / columns;
  return {across * (w + kGap) + kGap, rows * (h + kLabel + kGap) + kGap};
}

Image ContactSheet(const std::vector<SheetFrame>& frames, int columns) {
  Image sheet;
  if (frames.empty()) return sheet;
  const int w = frames[0].image.width, h = frames[0].image.height;
  const SheetSize size = SheetSizeOf(static_cast<int64_t>(frames.size()), columns, w, h);
  sheet.width = static_cast<int>(size.width);
  sheet.height = static_cast<int>(size.height);
  sheet.rgba.assign(static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height) * 4, kSheet);
  for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
  for (size_t n = 0; n < frames.size(); ++n) {
    const Image& f = frames[n].image;
    const int ox = kGap + static_cast<int>(n % static_cast<size_t>(columns)) * (w + kGap);
    const int oy = kGap + static_cast<int>(n / static_cast<size_t>(columns)) * (h + kLabel + kGap);
    for (int y = 0; y < h && y < f.height; ++y)
      for (int x = 0; x < w && x < f.width; ++x) {
        const uint8_t* s = &f.rgba[(static_cast<size_t>(y) * static_cast<size_t>(f.width) + static_cast<size_t>(x)) * 4];
        uint8_t* d = &sheet.rgba[(static_cast<size_t>(oy + y) * static_cast<size_t>(sheet.width) +
                                  static_cast<size_t>(ox + x)) * 4];
        d[0] = s[0], d[1] = s[1], d[2] = s[2];
      }
    Label(sheet, frames[n].label, ox, oy + h + 2, ox + w);
  }
  return sheet;
}

std::string SheetTime(double seconds) {
  const auto hundredths = static_cast<long long>(std::llround(seconds * 100));
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
  return text;
}

}  // namespace tavelo
