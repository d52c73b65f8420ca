// The iterate family: a pixel function (or lookup tables) over an area of a
// world, row by row, with progress and abort once per row.
#include <algorithm>

#include "PF_internal.h"

namespace tv::pf {
namespace {

// The package's one progress hook: the iterate family's and the transform's.
PF_ProgressProc gProgress = nullptr;

// The area clipped to a world: negative starts become 0, ends beyond the
// world are cut to its size. Null: the whole world.
Area Clip(const Rect* area, const PFWorld* w) {
  if (!area) return Area{0, 0, w->width, w->height};
  Area a{std::max<int32_t>(area->left, 0), std::max<int32_t>(area->top, 0),
         std::min<int32_t>(area->right, w->width), std::min<int32_t>(area->bottom, w->height)};
  return a;
}
Area Intersect(Area a, Area b) {
  return Area{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

ErrorCode Progress(PF_EffectRef ref, int32_t base, int32_t done, int32_t final) {
  return gProgress ? gProgress(ref, base + done, final) : 0;
}

// The common walk. With clipSource the area is also clipped to the source
// (shifted by the origin); otherwise source pixels outside it pass null.
ErrorCode Walk(int32_t routine, PF_EffectRef ref, int32_t base, int32_t final, const PFWorld* src, const Rect* area,
               Point origin, bool clipSource, void* refcon, PF_PixelFunc fn, PFWorld* dst) {
  if (!fn) return BadParam(routine, "no pixel function");
  if (!ValidWorld(dst)) return BadParam(routine, "destination world");
  if (src && !ValidWorld(src)) return BadParam(routine, "source world without pixels");
  Area a = Clip(area, dst);
  if (src && clipSource) {
    Area s = Clip(nullptr, src);
    s.left -= origin.h, s.right -= origin.h, s.top -= origin.v, s.bottom -= origin.v;
    a = Intersect(a, s);
  }
  if (a.empty()) return 0;
  for (int32_t y = a.top; y < a.bottom; ++y) {
    auto* out = reinterpret_cast<PF_Pixel*>(Row(dst, y));
    const int32_t sy = y + origin.v;
    const bool srcRow = src && sy >= 0 && sy < src->height;
    auto* in = srcRow ? reinterpret_cast<PF_Pixel*>(Row(src, sy)) : nullptr;
    for (int32_t x = a.left; x < a.right; ++x) {
      const int32_t sx = x + origin.h;
      PF_Pixel* sp = in && sx >= 0 && sx < src->width ? in + sx : nullptr;
      if (ErrorCode err = fn(refcon, x, y, sp, out + x)) return err;
    }
    if (ErrorCode err = Progress(ref, base, y - a.top + 1, final)) return err;
  }
  return 0;
}

}  // namespace
}  // namespace tv::pf

using namespace tv;
using namespace tv::pf;

ErrorCode PFp_SetProgressProc(PF_ProgressProc proc) {
  gProgress = proc;
  return 0;
}

PF_ProgressProc PFp_GetProgressProc(void) { return gProgress; }

ErrorCode PF_Iterate(PF_EffectRef ref, int32_t base, int32_t final, const PFWorld* src, const Rect* area,
                     void* refcon, PF_PixelFunc fn, PFWorld* dst) {
  return Walk(kRtIterate, ref, base, final, src, area, Point{0, 0}, true, refcon, fn, dst);
}

ErrorCode PF_IterateOrigin(PF_EffectRef ref, int32_t base, int32_t final, const PFWorld* src, const Rect* area,
                           const Point* origin, void* refcon, PF_PixelFunc fn, PFWorld* dst) {
  if (!origin) return BadParam(kRtIterateOrigin, "no origin");
  return Walk(kRtIterateOrigin, ref, base, final, src, area, *origin, true, refcon, fn, dst);
}

ErrorCode PF_IterateOriginNoClip(PF_EffectRef ref, int32_t base, int32_t final, const PFWorld* src,
                                 const Rect* area, const Point* origin, void* refcon, PF_PixelFunc fn,
                                 PFWorld* dst) {
  if (!origin) return BadParam(kRtIterateNoClip, "no origin");
  return Walk(kRtIterateNoClip, ref, base, final, src, area, *origin, false, refcon, fn, dst);
}

ErrorCode PF_IterateLUT(PF_EffectRef ref, int32_t base, int32_t final, const PFWorld* src, const Rect* area,
                        const uint8_t* alphaLUT, const uint8_t* redLUT, const uint8_t* greenLUT,
                        const uint8_t* blueLUT, PFWorld* dst) {
  if (!ValidWorld(dst)) return BadParam(kRtIterateLUT, "destination world");
  if (src && !ValidWorld(src)) return BadParam(kRtIterateLUT, "source world without pixels");
  if (!src) src = dst;
  Area a = Intersect(Clip(area, dst), Clip(nullptr, src));
  if (a.empty()) return 0;
  uint8_t lut[4][256];
  const uint8_t* given[4] = {alphaLUT, redLUT, greenLUT, blueLUT};
  for (int c = 0; c < 4; ++c)
    for (int v = 0; v < 256; ++v) lut[c][v] = given[c] ? given[c][v] : static_cast<uint8_t>(v);
  for (int32_t y = a.top; y < a.bottom; ++y) {
    const uint8_t* in = Row(src, y) + 4 * a.left;
    uint8_t* out = Row(dst, y) + 4 * a.left;
    for (int32_t i = 0; i < 4 * a.width(); ++i) out[i] = lut[i & 3][in[i]];
    if (ErrorCode err = Progress(ref, base, y - a.top + 1, final)) return err;
  }
  return 0;
}

ErrorCode PF_IterateIndexed(PF_EffectRef, int32_t count, void* refcon, PF_IndexFunc fn) {
  if (!fn) return BadParam(kRtIterateIndexed, "no function");
  if (count < 0) return BadParam(kRtIterateIndexed, "negative count");
  for (int32_t i = 0; i < count; ++i)
    if (ErrorCode err = fn(refcon, i, count)) return err;
  return 0;
}
