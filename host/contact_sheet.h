// A contact sheet: frames laid out left to right, top to bottom, each
// scaled (nearest sample) to a thumbnail, over black with a dark gutter.
// Frames are scaled as they come, so a sheet of many frames holds only
// their thumbnails.
#pragma once

#include <vector>

#include "image_file.h"

namespace tavelo {

// The frame scaled (nearest sample) to thumbWidth and shown against black
// (straight alpha), opaque.
Image Thumbnail(const Image& frame, int thumbWidth);
// Thumbnails of one size laid out `columns` to a row.
Image ContactSheet(const std::vector<Image>& thumbnails, int columns);

}  // namespace tavelo
