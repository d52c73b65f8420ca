// Rendering a span of a composition into files through the engine's movie
// render (BEE_CmdMakeMovie): numbered still files, one still, or one movie
// with the composition's sound (MP4: H.264 and AAC; QuickTime: ProRes 422
// HQ, PNG or Animation with PCM sound).
#pragma once

#include <cstdint>
#include <string>

#include "BEE.h"
#include "progress.h"

namespace tavelo {

struct RenderJob {
  BEE_Item comp = nullptr;
  int64_t first = 0, last = 0;  // composition frames, both included
  // A movie file, one still file, or still names with a run of '#' (the
  // composition's frame number).
  std::string output;
  bool sound = true;     // movies: a sound track of the span's sound
  std::string codec;     // movies: h264, prores, png, animation ("": by extension)
};

struct RenderOutcome {
  int64_t written = 0;
  std::string firstName, lastName;
};

// Renders the job; Failure with the engine's text when it fails. Ctrl-C
// stops it (exit 130): finished still frames stay and the frame under way
// is not left behind; an unfinished movie is removed, as is a movie whose
// render failed, and a file that had the movie's name before the render is
// left exactly as it was.
RenderOutcome RenderToFiles(const RenderJob& job, Progress& progress);

}  // namespace tavelo
