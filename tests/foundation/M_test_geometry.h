// Helpers of the geometry tests: the fields of points and rectangles as
// arrays, so that a whole record is compared in one line and printed on failure.
#pragma once

#include <array>

#include "M.h"

namespace tv::mtest {

using Edges4 = std::array<double, 4>;  // left, top, right, bottom
using HV2 = std::array<double, 2>;     // h, v

template <class R>
Edges4 Edges(const R& r) {
  return {double(r.left), double(r.top), double(r.right), double(r.bottom)};
}
inline HV2 HV(const Point& p) { return {double(p.h), double(p.v)}; }
inline HV2 HV(const FixedPoint& p) { return {double(p.h), double(p.v)}; }

}  // namespace tv::mtest
