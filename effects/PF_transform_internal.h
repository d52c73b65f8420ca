// The layer transform's private parts: the row samplers (a literal
// reference and a fast fixed-point kernel that must give the same bytes)
// and the description of one destination row.
//
// Positions are 64-bit 16.16 values in source pixels whose integers are
// pixel centres: the destination pixel (X, Y), whose centre is (X + 0.5,
// Y + 0.5), maps through the inverse matrix to a source point (x, y) and is
// sampled at (x - 0.5, y - 0.5).
#pragma once

#include <cstddef>
#include <cstdint>

#include "BM.h"
#include "Types.h"

namespace tv::pf::xform {

enum class Sampler : int32_t { Nearest = 0, Subpixel = 1, Area = 2 };

// How one destination row is sampled: pixel i of the row (destination
// column x0 + i) is at (u + i du, v + i dv) under the first matrix and, with
// motion blur, at (uL + i duL, vL + i dvL) under the last one.
struct RowSampling {
  const PFWorld* src = nullptr;
  Sampler sampler = Sampler::Nearest;
  int64_t u = 0, v = 0, du = 0, dv = 0;
  bool blur = false;
  int64_t uL = 0, vL = 0, duL = 0, dvL = 0;
  int64_t rx = 0, ry = 0;  // area sampler half-extents (16.16, at least 0.5 pixel)
};

// One sample (ARGB bytes in memory order packed in a uint32_t the way
// memcpy loads them), by the literal rules: positions outside the source
// read as transparent.
uint32_t SampleReference(const PFWorld& src, Sampler sampler, int64_t u, int64_t v, int64_t rx, int64_t ry);
// count samples of a row into out.
void SampleRowReference(const RowSampling& r, int32_t count, uint32_t* out);
void SampleRowFast(const RowSampling& r, int32_t count, uint32_t* out);

// The motion-blur sample positions of one pixel: 16 samples from the
// position under the first matrix towards the position under the last,
// k = 0 .. 15, each k times one sixteenth (rounded down) of the difference.
constexpr int32_t kBlurSamples = 16;
inline int64_t BlurStep(int64_t first, int64_t last) { return (last - first) >> 4; }

}  // namespace tv::pf::xform

