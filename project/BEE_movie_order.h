// The order a movie render visits its frames in.
#pragma once

#include <cstdint>

namespace tv::bee {

// Frames 0..count-1, in order or coarse to fine: every S-th frame from 0
// (S the largest power of two not above count - 1), then the odd multiples
// of S/2, of S/4 ... of 1. Each frame is visited once; a count of 1 visits
// frame 0 and the passes end after the one of step 1.
class FrameOrder {
 public:
  FrameOrder(int32_t count, bool coarseToFine);
  // The next frame, or false when every frame was visited.
  bool Next(int32_t* index);
  int32_t count() const { return count_; }

 private:
  int32_t count_;
  bool coarse_;
  int64_t step_ = 1;    // the step of the current pass
  int64_t next_ = 0;    // the next index of the pass
  bool firstPass_ = true;
};

}  // namespace tv::bee
