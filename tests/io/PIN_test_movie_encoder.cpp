// The H.264 encoder's look-ahead and frame threads: bounded so that a movie
// render takes all of the encoder's buffers within its first frames (its
// memory flat from there), and a shorter look-ahead under a tight budget.
#include <gtest/gtest.h>

#include "Memory.h"
#include "RowBands.h"

namespace tv::pin {
int H264Lookahead(int width, int height);
int H264Threads();
}  // namespace tv::pin

namespace {

TEST(PINMovieEncoder, LookAheadAndThreadsAreBounded) {
  using tv::pin::H264Lookahead;
  ASSERT_EQ(EMUL_SetMemoryBudget(Size{16} << 30), 0);
  EXPECT_EQ(H264Lookahead(1920, 1080), 15);
  EXPECT_EQ(H264Lookahead(3840, 2160), 15);
  ASSERT_EQ(EMUL_SetMemoryBudget(Size{400} << 20), 0);
  const int tight = H264Lookahead(1920, 1080);
  EXPECT_GT(tight, 0);
  EXPECT_LT(tight, 15);
  EXPECT_EQ(H264Lookahead(640, 360), 15);  // small frames fit
  ASSERT_EQ(EMUL_SetMemoryBudget(Size{64} << 20), 0);
  EXPECT_EQ(H264Lookahead(1920, 1080), 0);
  ASSERT_EQ(EMUL_SetMemoryBudget(0), 0);
  // The encoder's own thread count (one and a half a processor) up to 6.
  const int own = tv::platform::HardwareThreads() * 3 / 2;
  EXPECT_EQ(tv::pin::H264Threads(), own <= 6 ? 0 : 6);
}

}  // namespace
