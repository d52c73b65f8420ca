// Rendering a span of a composition into files through the engine's movie
// render (BEE_CmdMakeMovie): numbered still files, one still, or one movie
// with the composition's sound, in the containers and codecs of the table of
// outputs (OutputFormats.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BEE.h"
#include "progress.h"

namespace tavelo {

struct RenderJob {
  BEE_Item comp = nullptr;
  // Composition frames, ascending; a movie's are one span without gaps.
  std::vector<int64_t> frames;
  // A movie file, one still file, or still names with a run of '#' (the
  // composition's frame number).
  std::string output;
  bool sound = true;     // movies: a sound track of the span's sound
  std::string codec;     // movies: a codec of the table of outputs ("": the container's default)
  bool verbose = false;  // says what is written (--log-level verbose)
};

// The codec of a movie file named path for --codec (its container's default
// when codec is ""); a usage Failure for a codec that is unknown or that the
// container cannot hold.
FourCC MovieCodec(const std::string& path, const std::string& codec);
// Fails (usage) when the codec cannot code frames of width x height, before
// anything is rendered.
void CheckMovieFrameSize(FourCC codec, int32_t width, int32_t height, bool fields = false);

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
