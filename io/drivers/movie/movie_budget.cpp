// How far the H.264 encoder looks ahead, and how many frames it encodes at
// once. It holds a frame of its own (3 to 4 bytes a pixel with its
// half-size copies for the look-ahead) for every frame it looks ahead and
// every frame thread, and allocates them as the first frames arrive: the
// encoder's memory grows until that many frames have gone in, then stays.
//
// A render feeds the encoder one frame at a time, so the encoder needs no
// more frames in flight than its threads can keep busy. With the default
// preset's 40 frames of look-ahead a 1080p movie's memory climbed for its
// first 55 frames (to 1.55 times what it held at frame 30); with 15 frames
// (and three frame threads) every buffer is taken by about frame 30 and the
// memory is flat from there. Each frame thread adds a frame in flight, so
// machines with many processors get at most 6. At constant quality (CRF)
// the shorter look-ahead changes the picture by less than one dB at about
// 58 dB PSNR and the file size by about 1 % (measured on a 1080p
// composition at CRF 18). Under a tight memory budget it looks less far
// ahead still, so that a movie render stays within the budget.
#include <algorithm>

#include "Memory.h"
#include "RowBands.h"
#include "movie.h"

namespace tv::pin {

namespace {
constexpr int kLookahead = 15;    // frames
constexpr int kFrameThreads = 6;  // at most
}  // namespace

int H264Lookahead(int width, int height) {
  EMUL_BudgetInfo info{};
  if (EMUL_GetMemoryBudget(&info) != 0 || width <= 0 || height <= 0) return kLookahead;
  // Measured at 1080p with three frame threads: 172 MB with no look-ahead
  // and 6.2 MB more for each frame of it, about 84 and 3 bytes a pixel.
  const double pixels = static_cast<double>(width) * height;
  const double fixed = 84 * pixels, perFrame = 3 * pixels;
  // The encoder may take half of the budget; the frames being rendered
  // and the frame cache have the other half.
  const double frames = (static_cast<double>(info.budget) / 2 - fixed) / perFrame;
  if (frames >= kLookahead) return kLookahead;
  return std::max(0, static_cast<int>(frames));
}

int H264Threads() {
  // The encoder's own choice is one and a half frame threads per processor.
  const int own = platform::HardwareThreads() * 3 / 2;
  return own <= kFrameThreads ? 0 : kFrameThreads;
}

}  // namespace tv::pin
