// Samplers: nearest neighbour, sub-pixel (bilinear) and area, for straight
// and premultiplied pixels, one position at a time or along a row.
//
// The kernels (PF_sample_kernels.h, shared with the layer transform) come
// in a literal reference form (every neighbour fetched through a bounds
// check, every weight computed where it is used) and a fast form that
// hoists the checks and the weights; the tests hold the two equal bit for
// bit.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "PF_sample_kernels.h"
#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;
using namespace tv::pf::sample;

namespace tv::pf {
namespace {

inline PF_Pixel ToPixel(uint32_t v) {
  PF_Pixel p;
  std::memcpy(&p, &v, 4);
  return p;
}

uint32_t SampleRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y) {
  const PFWorld& w = *p.source;
  const bool repeat = p.edgeMode == PF_Edge_Repeat;
  switch (kind) {
    case PF_Sample_NN: return NearestRef(w, x, y, repeat);
    case PF_Sample_Subpixel_Straight: return SubpixelRef(w, x, y, true, repeat);
    case PF_Sample_Subpixel_Premul: return SubpixelRef(w, x, y, false, repeat);
    case PF_Sample_Area_Straight: return AreaRef(w, x, y, p.xRadius, p.yRadius, true, repeat);
    default: return AreaRef(w, x, y, p.xRadius, p.yRadius, false, repeat);
  }
}

// ---- Fast row kernels ---------------------------------------------------------------------

void NNRow(const PFWorld& w, int64_t x, int64_t y, int64_t dx, int64_t dy, int32_t count, uint32_t* out) {
  for (int32_t i = 0; i < count; ++i, x += dx, y += dy) out[i] = NearestFast(w, x, y);
}

template <bool kStraight>
void SubpixelRow(const PFWorld& w, int64_t x, int64_t y, int64_t dx, int64_t dy, int32_t count, uint32_t* out) {
  for (int32_t i = 0; i < count; ++i, x += dx, y += dy) out[i] = SubpixelFast<kStraight>(w, x, y);
}

ErrorCode CheckParams(int32_t routine, const PF_SampleParams* params, const void* out) {
  if (!params || !out) return BadParam(routine, "null parameters or result");
  if (!ValidWorld(params->source)) return BadParam(routine, "bad source world");
  if (params->edgeMode != PF_Edge_Transparent && params->edgeMode != PF_Edge_Repeat)
    return BadParam(routine, "unknown edge mode");
  return 0;
}

ErrorCode SampleOne(int32_t routine, int32_t kind, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  if (out) *out = PF_Pixel{};
  if (ErrorCode err = CheckParams(routine, params, out)) return err;
  // A world without pixels has no edge to repeat: all of it is outside.
  if (EmptyWorld(*params->source)) return 0;
  uint32_t v;
  if (UseReference())
    v = SampleRef(kind, *params, x, y);
  else
    SampleRowFast(kind, *params, x, y, 0, 0, 1, reinterpret_cast<PF_Pixel*>(&v));
  *out = ToPixel(v);
  return 0;
}

}  // namespace

uint32_t SampleNN(const PFWorld& src, Fixed x, Fixed y) { return NearestFast(src, x, y); }

void SampleRowRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                  PF_Pixel* out) {
  int64_t px = x, py = y;
  for (int32_t i = 0; i < count; ++i, px += dx, py += dy) {
    // Positions that leave the 16.16 range are outside any world.
    const bool representable = px >= INT32_MIN && px <= INT32_MAX && py >= INT32_MIN && py <= INT32_MAX;
    out[i] = representable ? ToPixel(SampleRef(kind, p, static_cast<Fixed>(px), static_cast<Fixed>(py))) : PF_Pixel{};
  }
}

void SampleRowFast(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                   PF_Pixel* out) {
  const PFWorld& w = *p.source;
  uint32_t* o = reinterpret_cast<uint32_t*>(out);
  const int64_t endX = x + static_cast<int64_t>(dx) * (count > 0 ? count - 1 : 0);
  const int64_t endY = y + static_cast<int64_t>(dy) * (count > 0 ? count - 1 : 0);
  const bool representable = endX >= INT32_MIN && endX <= INT32_MAX && endY >= INT32_MIN && endY <= INT32_MAX;
  // Repeated edges are rare (effects asking for them): the reference serves them.
  if (!representable || p.edgeMode == PF_Edge_Repeat) {
    SampleRowRef(kind, p, x, y, dx, dy, count, out);
    return;
  }
  switch (kind) {
    case PF_Sample_NN: NNRow(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Subpixel_Straight: SubpixelRow<true>(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Subpixel_Premul: SubpixelRow<false>(w, x, y, dx, dy, count, o); break;
    case PF_Sample_Area_Straight:
      for (int32_t i = 0; i < count; ++i)
        o[i] = AreaFast<true>(w, static_cast<Fixed>(x + int64_t{dx} * i), static_cast<Fixed>(y + int64_t{dy} * i),
                              p.xRadius, p.yRadius);
      break;
    default:
      for (int32_t i = 0; i < count; ++i)
        o[i] = AreaFast<false>(w, static_cast<Fixed>(x + int64_t{dx} * i), static_cast<Fixed>(y + int64_t{dy} * i),
                               p.xRadius, p.yRadius);
      break;
  }
}

int32_t ChannelOrder(const PFWorld& w) {
  int32_t order = BM_Order_ARGB;
  if (w.world && BM_GetChannelOrder(w.world, &order) != 0) return BM_Order_ARGB;
  return order;
}

bool ResolveRect(const PFWorld& w, const Rect* r, Rect* out) {
  if (!r) {
    *out = Rect{0, 0, static_cast<int16_t>(std::min(w.height, 32767)), static_cast<int16_t>(std::min(w.width, 32767))};
    return true;
  }
  if (r->top < 0 || r->left < 0 || r->top > r->bottom || r->left > r->right || r->bottom > w.height ||
      r->right > w.width)
    return false;
  *out = *r;
  return true;
}

}  // namespace tv::pf

ErrorCode PF_NNSample(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_NNSample, PF_Sample_NN, x, y, params, out);
}
ErrorCode PF_SubpixelSample_Straight(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_SubpixelSample, PF_Sample_Subpixel_Straight, x, y, params, out);
}
ErrorCode PF_SubpixelSample_Premul(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_SubpixelSample, PF_Sample_Subpixel_Premul, x, y, params, out);
}
ErrorCode PF_AreaSample_Straight(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_AreaSample, PF_Sample_Area_Straight, x, y, params, out);
}
ErrorCode PF_AreaSample_Premul(void* /*ref*/, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out) {
  return SampleOne(PF_Routine_AreaSample, PF_Sample_Area_Premul, x, y, params, out);
}

ErrorCode PFp_SampleRow(void* /*ref*/, int32_t kind, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                        const PF_SampleParams* params, PF_Pixel* out) {
  if (ErrorCode err = CheckParams(PF_Routine_SampleRow, params, out)) return err;
  if (kind < PF_Sample_NN || kind > PF_Sample_Area_Premul)
    return BadParam(PF_Routine_SampleRow, "unknown sampler");
  if (count < 0) return BadParam(PF_Routine_SampleRow, "negative count");
  if (EmptyWorld(*params->source)) {
    std::fill(out, out + count, PF_Pixel{});
    return 0;
  }
  if (UseReference())
    SampleRowRef(kind, *params, x, y, dx, dy, count, out);
  else
    SampleRowFast(kind, *params, x, y, dx, dy, count, out);
  return 0;
}

// The routine table's entry types (PF.h) take these routines as they are.
static_assert(std::is_same_v<decltype(&PF_NNSample), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_SubpixelSample_Premul), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_AreaSample_Straight), PF_SampleFunc>);
static_assert(std::is_same_v<decltype(&PF_CopyBits_HQ_Straight_Static), PF_CopyFunc>);
static_assert(std::is_same_v<decltype(&PF_Convolve), PF_ConvolveFunc>);
static_assert(std::is_same_v<decltype(&PF_GaussianKernel), PF_GaussianKernelFunc>);
static_assert(std::is_same_v<decltype(&PF_FastBlur_Straight), PF_FastBlurFunc>);
