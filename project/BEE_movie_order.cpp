// The order a movie render visits its frames in.
#include "BEE_movie_order.h"

#include <algorithm>

#include "BEE_internal.h"

namespace tv::bee {

FrameOrder::FrameOrder(int32_t count, bool coarseToFine) : count_(std::max(count, 0)), coarse_(coarseToFine) {
  if (!coarse_) return;
  // S = the largest power of two not above count - 1. With one frame (or
  // two) the step is 1, so the passes always end: a step of 0 would never
  // move and a step below 1 would never be reached.
  int64_t s = 1;
  while (s * 2 <= static_cast<int64_t>(count_) - 1) s *= 2;
  step_ = s;
}

bool FrameOrder::Next(int32_t* index) {
  while (true) {
    if (next_ < count_) {
      *index = static_cast<int32_t>(next_);
      // The first pass takes every multiple of the step; later passes the odd
      // multiples of the halved step, which is two steps of it apart.
      next_ += firstPass_ ? step_ : 2 * step_;
      return true;
    }
    if (!coarse_ || step_ <= 1) return false;
    step_ /= 2;
    next_ = step_;
    firstPass_ = false;
  }
}

}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEEp_MovieFrameOrder(int32_t count, Boolean32 coarseToFine, int32_t* order, int32_t capacity,
                               int32_t* filled) try {
  if (filled) *filled = 0;
  if (!filled || (!order && capacity > 0) || capacity < 0 || count < 0)
    return kReport.BadParam(kSiteArgument, {"BEEp_MovieFrameOrder"});
  FrameOrder it(count, coarseToFine != 0);
  int32_t i = 0, n = 0;
  while (n < capacity && it.Next(&i)) order[n++] = i;
  *filled = n;
  return 0;
} TV_CATCH(BEE_PackageNumber)
