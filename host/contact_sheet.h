// A contact sheet: frames laid out left to right, top to bottom over a dark
// sheet, each with a label under it (its frame number and time) drawn in
// the engine's bitmap font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_file.h"

namespace tavelo {

struct SheetFrame {
  Image image;        // every frame of a sheet has the same size
  std::string label;  // such as "12  0:00.50"
};

// The size of a sheet of cells frames of w x h, columns a row.
struct SheetSize {
  int64_t width, height;
};
SheetSize SheetSizeOf(int64_t cells, int columns, int w, int h);

Image ContactSheet(const std::vector<SheetFrame>& frames, int columns);

// "0:00.50": minutes, seconds and hundredths of a time in seconds.
std::string SheetTime(double seconds);

}  // namespace tavelo
