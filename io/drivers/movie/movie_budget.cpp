// How far the H.264 encoder looks ahead. It holds a frame of its own for
// every frame of look-ahead, besides a fixed set for its threads and
// references; under a tight memory budget it looks less far ahead, so that
// a movie render stays within the budget (the compression is then a little
// less efficient; the frames are the same).
#include <algorithm>

#include "Memory.h"
#include "movie.h"

namespace tv::pin {

int H264Lookahead(int width, int height) {
  constexpr int kEncoderDefault = 40;  // the look-ahead of the encoder's default preset
  EMUL_BudgetInfo info{};
  if (EMUL_GetMemoryBudget(&info) != 0 || width <= 0 || height <= 0) return -1;
  // Measured at 1080p with three frame threads: 172 MB with no look-ahead
  // and 6.2 MB more for each frame of it, about 84 and 3 bytes a pixel.
  const double pixels = static_cast<double>(width) * height;
  const double fixed = 84 * pixels, perFrame = 3 * pixels;
  // The encoder may take half of the budget; the frames being rendered
  // and the frame cache have the other half.
  const double frames = (static_cast<double>(info.budget) / 2 - fixed) / perFrame;
  if (frames >= kEncoderDefault) return -1;
  return std::max(0, static_cast<int>(frames));
}

}  // namespace tv::pin
