// Contact sheets: frames scaled down onto a grid.
#include "contact_sheet.h"

namespace tavelo {

// A grid of frames scaled down (nearest sample) with a dark gutter.
Image ContactSheet(const std::vector<Image>& frames, int columns, int thumbWidth) {
  Image sheet;
  if (frames.empty()) return sheet;
  const int thumbHeight = frames[0].height * thumbWidth / frames[0].width;
  const int gap = 4;
  const int rows = (static_cast<int>(frames.size()) + columns - 1) / columns;
  sheet.width = columns * (thumbWidth + gap) + gap;
  sheet.height = rows * (thumbHeight + gap) + gap;
  sheet.rgba.assign(static_cast<size_t>(sheet.width * sheet.height * 4), 0);
  for (size_t i = 3; i < sheet.rgba.size(); i += 4) sheet.rgba[i] = 255;
  for (size_t n = 0; n < frames.size(); ++n) {
    const Image& f = frames[n];
    const int ox = gap + static_cast<int>(n % columns) * (thumbWidth + gap);
    const int oy = gap + static_cast<int>(n / columns) * (thumbHeight + gap);
    for (int y = 0; y < thumbHeight; ++y)
      for (int x = 0; x < thumbWidth; ++x) {
        const int sx = x * f.width / thumbWidth, sy = y * f.height / thumbHeight;
        const uint8_t* s = &f.rgba[static_cast<size_t>((sy * f.width + sx) * 4)];
        uint8_t* d = &sheet.rgba[static_cast<size_t>(((oy + y) * sheet.width + ox + x) * 4)];
        // Over the black sheet: straight alpha shown against black.
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(s[c] * s[3] / 255);
      }
  }
  return sheet;
}

}  // namespace tavelo
