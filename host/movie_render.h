// A composition's frames and sound to one movie file through the movie
// output module: MP4 (H.264, AAC sound) or QuickTime (ProRes 422 HQ, PNG or
// Animation; PCM sound).
#pragma once

#include <cstdint>
#include <string>

#include "BEE.h"
#include "progress.h"

namespace tavelo {

// Renders frames first..last with the sound of the same span into path.
// The movie takes its name only once complete: a failure or Ctrl-C (exit
// 130) leaves no file under it. withSound false writes no sound track.
// codec: h264, prores, png or animation ("": h264 for .mp4, prores for .mov).
void RenderMovie(BEE_Item comp, int64_t first, int64_t last, const std::string& path, bool withSound,
                 Progress& progress, const std::string& codec = {});

}  // namespace tavelo
