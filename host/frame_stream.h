// Frames to standard output (`render -o -`), for piping into other tools:
// each frame as a PNG file, one after another (a PNG stream, such as FFmpeg's
// image2pipe reads), or as raw RGBA bytes (`--format raw`: 4 bytes a pixel,
// straight alpha, rows from the top, frames one after another).
#pragma once

#include <cstdint>
#include <vector>

#include "BEE.h"
#include "progress.h"

namespace tavelo {

enum class StreamFormat { Png, Raw };

// Writes the frames; a Failure when standard output cannot take them.
// Returns the frames written (fewer when interrupted).
int64_t StreamFrames(BEE_Item comp, const std::vector<int64_t>& frames, StreamFormat format, Progress& progress);

}  // namespace tavelo
