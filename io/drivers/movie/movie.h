// The movie module's parts.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

#include "../common/drivers.h"

namespace tv::pin {

// The library's text for an error code.
std::string AvError(int code);

// The H.264 encoder's look-ahead in frames for a frame size under the
// memory budget in force.
int H264Lookahead(int width, int height);
// The H.264 encoder's thread count (0: its own choice).
int H264Threads();

// Sets the matrix (an AVColorSpace) of a conversion between RGB and YUV,
// both ways, and the ranges (1 full, 0 video, -1 as the library chose from
// the pixel formats); nothing when they are set already.
void UseMatrix(SwsContext* sws, int space, int srcRange, int dstRange);

// Runs the scaler (made for rows / fields rows) over a picture of `rows`
// rows: whole (fields 1), or each field on its own (fields 2: every other
// row of the source and of the destination), so that chroma shared by two
// rows is never shared across the fields of an interlaced picture.
void ScaleFields(SwsContext* sws, const uint8_t* const src[4], const int srcStride[4], int rows, uint8_t* const dst[4],
                 const int dstStride[4], int fields);

// The quarter turns clockwise a stream's display matrix shows it with, as
// players turn it; 0 without one, or for a turn that is not a quarter turn.
int QuarterTurns(const AVStream& st);
// The stream of a file's pictures: the library's best, unless that is a
// cover picture (a song's album art); -1 when there are none.
int PicturesStream(AVFormatContext& f);

// Fills the module's table (its own shared object's entry installs it).
void InstallMovie(PIN_ModuleProcs* procs);
// Fills the output slots of the module's table.
void InstallMovieOutput(PIN_ModuleProcs& procs);

}  // namespace tv::pin
