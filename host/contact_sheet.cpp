// Contact sheets: frames scaled down onto a grid.
#include "contact_sheet.h"

#include <algorithm>

namespace tavelo {

Image Thumbnail(const Image& f, int thumbWidth) {
  Image t;
  t.width = thumbWidth;
  t.height = f.height * thumbWidth / f.width;
  t.rgba.assign(static_cast<size_t>(t.width) * t.height * 4, 255);
  for (int y = 0; y < t.height; ++y)
    for (int x = 0; x < t.width; ++x) {
      const int sx = x * f.width / thumbWidth, sy = y * f.height / t.height;
      const uint8_t* s = &f.rgba[static_cast<size_t>((sy * f.width + sx) * 4)];
      uint8_t* d = &t.rgba[static_cast<size_t>((y * t.width + x) * 4)];
      // Over black: straight alpha shown against black.
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(s[c] * s[3] / 255);
    }
  return t;
}

// A grid of thumbnails with a dark gutter.
Image ContactSheet(const std::vector<Image>& thumbs, int columns) {
  Image sheet;
  if (thumbs.empty()) return sheet;
  const int thumbWidth = thumbs[0].width, thumbHeight = thumbs[0].height;
  const int gap = 4;
  const int rows = (static_cast<int>(thumbs.size()) + columns - 1) / columns;
  sheet.width = columns * (thumbWidth + gap) + gap;
  sheet.height = rows * (thumbHeight + gap) + gap;
  sheet.rgba.assign(static_cast<size_t>(sheet.width * sheet.height * 4), 0);
  for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
  for (size_t n = 0; n < thumbs.size(); ++n) {
    const Image& t = thumbs[n];
    const int ox = gap + static_cast<int>(n % columns) * (thumbWidth + gap);
    const int oy = gap + static_cast<int>(n / columns) * (thumbHeight + gap);
    for (int y = 0; y < thumbHeight; ++y)
      std::copy_n(&t.rgba[static_cast<size_t>(y * thumbWidth * 4)], thumbWidth * 4,
                  &sheet.rgba[static_cast<size_t>(((oy + y) * sheet.width + ox) * 4)]);
  }
  return sheet;
}

}  // namespace tavelo
