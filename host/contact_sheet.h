// A contact sheet: frames laid out left to right, top to bottom, each
// scaled (nearest sample) to thumbWidth, over black with a dark gutter.
#pragma once

#include <vector>

#include "image_file.h"

namespace tavelo {

Image ContactSheet(const std::vector<Image>& frames, int columns, int thumbWidth);

}  // namespace tavelo
