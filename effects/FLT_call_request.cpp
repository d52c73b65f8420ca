// The request rectangle frame setup hands an effect: the part of its input
// the caller needs.
#include <algorithm>

#include "FLT_internal.h"

namespace tv::flt {

Rect RequestRect(uint32_t outFlags, const Rect* caller, int32_t width, int32_t height) {
  const auto w = static_cast<int16_t>(std::clamp<int32_t>(width, 0, 32000));
  const auto h = static_cast<int16_t>(std::clamp<int32_t>(height, 0, 32000));
  const Rect whole{0, 0, h, w};
  const bool hints = (outFlags & PF_OutFlag_UsesExtentHints) != 0;
  const bool unclipped = (outFlags & PF_OutFlag_UnclippedRequest) != 0;
  // Only an effect that honours extent hints is given anything but the
  // whole input.
  if (!hints) return whole;
  if (!caller) return unclipped ? Rect{-32000, -32000, 32000, 32000} : whole;
  Rect r = *caller;
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  if (r.left > r.right) std::swap(r.left, r.right);
  if (unclipped) return r;
  r.top = std::clamp(r.top, whole.top, whole.bottom);
  r.bottom = std::clamp(r.bottom, whole.top, whole.bottom);
  r.left = std::clamp(r.left, whole.left, whole.right);
  r.right = std::clamp(r.right, whole.left, whole.right);
  return r;
}

}  // namespace tv::flt
