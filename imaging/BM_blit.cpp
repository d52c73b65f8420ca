// Copying between worlds (BM_Blit with its mode table), the drawing
// procedures of blit level 1, and the screen-refresh placeholder.
#include <algorithm>

#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {

// BM_Blit mode index -> platform copy mode.
constexpr int32_t kModeTable[BM_Blit_ModeCount] = {0,  1,  2,  3,  4,  5,  6,  7,  32, 33,
                                                   34, 35, 37, 38, 39, 64, 64, 36, 50};

ErrorCode Copy(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode, Site site) {
  if (ErrorCode err = CheckWorld(src, site, kStrBlitSource)) return err;
  if (ErrorCode err = CheckWorld(dst, site, kStrBlitDestination)) return err;
  if (mode < 0 || mode >= BM_Blit_ModeCount) return kReport.Fail(site, kErrBadParam, kStrBadBlitMode, {mode});
  const int32_t platMode = kModeTable[mode];
  const WorldRec* s = Rec(src);
  const WorldRec* d = Rec(dst);
  if (s->depth != d->depth) return kReport.Fail(site, kErrBadParam, kStrDepthMismatch, {int32_t{s->depth}, int32_t{d->depth}});
  if ((platMode >= plat::kBlend && platMode <= plat::kAdMin) && d->depth != 32)
    return kReport.Fail(site, kErrBadParam, kStrBlitDepth, {mode, int32_t{s->depth}, int32_t{d->depth}});
  if (platMode == plat::kHilite) return kReport.Fail(site, kErrUnimplemented, kStrHighlight);
  const Rect sr = srcRect ? *srcRect : s->bounds;
  const Rect dr = dstRect ? *dstRect : d->bounds;
  const Rect sClip = s->bounds;
  const Rect dClip = d->bounds;
  PixelLock ls(src, site);
  if (ls.error()) return ls.error();
  PixelLock ld(dst, site);
  if (ld.error()) return ld.error();
  // Both rectangles are clipped to their worlds: pixels outside either
  // World are neither read nor written.
  const ErrorCode err = plat::CopyBits(MapOf(src), sClip, MapOf(dst), dClip, sr, dr, platMode);
  if (err == kErrOutOfMemory) return kReport.OutOfMemory(site, kStrScratchMemory, 0);
  if (err) return kReport.Fail(site, err, kStrBadBlitMode, {mode});
  return 0;
}

bool InBounds(const WorldRec& r, int32_t h, int32_t v) {
  return h >= r.bounds.left && h < r.bounds.right && v >= r.bounds.top && v < r.bounds.bottom;
}

uint32_t ToColour(const WorldRec& r, int32_t order, uint32_t value) {
  if (r.monochrome) return value ? 1u : 0xFFFFFF00u;
  switch (r.depth) {
    case 32:
      if (order == BM_Order_BGRA)
        return (((value >> 8) & 0xFF) << 24) | (((value >> 16) & 0xFF) << 16) | ((value >> 24) << 8);
      return value << 8;
    case 16: {
      const auto widen = [](uint32_t c) { return (c << 3) | (c >> 2); };
      return (widen((value >> 10) & 31) << 24) | (widen((value >> 5) & 31) << 16) | (widen(value & 31) << 8);
    }
    default:
      return value;
  }
}

bool MonoBlack(uint32_t colour) { return colour == 1 || (colour >> 8) == 0; }

// Pixel value for a colour; 32-bit colours are written opaque.
uint32_t FromColour(const WorldRec& r, int32_t order, uint32_t colour) {
  if (r.monochrome) return MonoBlack(colour) ? 1u : 0u;
  const uint32_t red = colour >> 24, green = (colour >> 16) & 0xFF, blue = (colour >> 8) & 0xFF;
  switch (r.depth) {
    case 32:
      return order == BM_Order_BGRA ? (blue << 24) | (green << 16) | (red << 8) | 0xFF
                                    : 0xFF000000u | (red << 16) | (green << 8) | blue;
    case 16:
      return ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
    default:
      return colour & ((1u << r.depth) - 1);
  }
}

ErrorCode ReadPixel(BM_World w, int32_t h, int32_t v, uint32_t* colour) {
  if (colour) *colour = 0;
  if (ErrorCode err = CheckWorld(w, kSiteBlit, kStrReadPixel)) return err;
  if (!colour) return kReport.Fail(kSiteBlit, kErrBadParam, kStrBadArg, {kReport.Text(kStrReadPixel)});
  if (!InBounds(*Rec(w), h, v)) return kReport.Fail(kSiteBlit, kErrBadParam, kStrOutside, {h, v});
  PixelLock lock(w, kSiteBlit);
  if (lock.error()) return lock.error();
  const plat::PixMap pm = MapOf(w);
  *colour = ToColour(*Rec(w), pm.order, plat::GetPixelValue(pm, h, v));
  return 0;
}

ErrorCode WritePixel(BM_World w, int32_t h, int32_t v, uint32_t colour) {
  if (ErrorCode err = CheckWorld(w, kSiteBlit, kStrWritePixel)) return err;
  if (!InBounds(*Rec(w), h, v)) return kReport.Fail(kSiteBlit, kErrBadParam, kStrOutside, {h, v});
  PixelLock lock(w, kSiteBlit);
  if (lock.error()) return lock.error();
  const plat::PixMap pm = MapOf(w);
  plat::SetPixelValue(pm, h, v, FromColour(*Rec(w), pm.order, colour));
  return 0;
}

ErrorCode CopyRectToPoint(BM_World src, BM_World dst, const Rect* srcRect, Point p, int32_t mode) {
  if (ErrorCode err = CheckWorld(src, kSiteBlit, kStrBlitSource)) return err;
  const Rect sr = srcRect ? *srcRect : Rec(src)->bounds;
  const Rect dr{p.v, p.h, static_cast<int16_t>(p.v + (sr.bottom - sr.top)),
                static_cast<int16_t>(p.h + (sr.right - sr.left))};
  return Copy(src, dst, &sr, &dr, mode, kSiteBlit);
}

ErrorCode ScrollRect(BM_World w, const Rect* rect, int32_t dh, int32_t dv) {
  if (ErrorCode err = CheckWorld(w, kSiteBlit, kStrScroll)) return err;
  const Rect r = rect ? *rect : Rec(w)->bounds;
  const Rect to{static_cast<int16_t>(r.top + dv), static_cast<int16_t>(r.left + dh),
                static_cast<int16_t>(r.bottom + dv), static_cast<int16_t>(r.right + dh)};
  PixelLock lock(w, kSiteBlit);
  if (lock.error()) return lock.error();
  const plat::PixMap pm = MapOf(w);
  // The contents move inside the rectangle; the uncovered part keeps its pixels.
  const Rect& b = Rec(w)->bounds;
  const Rect clip{std::max(r.top, b.top), std::max(r.left, b.left), std::min(r.bottom, b.bottom),
                  std::min(r.right, b.right)};
  const ErrorCode err = plat::CopyBits(pm, clip, pm, clip, r, to, plat::kSrcCopy);
  if (err == kErrOutOfMemory) return kReport.OutOfMemory(kSiteBlit, kStrScratchMemory, 0);
  return err ? kReport.Fail(kSiteBlit, err, kStrBadArg, {kReport.Text(kStrScroll)}) : 0;
}

ErrorCode FillRect(BM_World w, const Rect* rect, uint32_t colour) {
  if (ErrorCode err = CheckWorld(w, kSiteBlit, kStrFill)) return err;
  const WorldRec& r = *Rec(w);
  const Rect want = rect ? *rect : r.bounds;
  const int32_t top = std::max(want.top, r.bounds.top), bottom = std::min(want.bottom, r.bounds.bottom);
  const int32_t left = std::max(want.left, r.bounds.left), right = std::min(want.right, r.bounds.right);
  if (top >= bottom || left >= right) return 0;
  PixelLock lock(w, kSiteBlit);
  if (lock.error()) return lock.error();
  const plat::PixMap pm = MapOf(w);
  if (r.monochrome) {
    // Black paints in copy mode; any other colour inverts (exclusive-or).
    const bool black = MonoBlack(colour);
    for (int32_t v = top; v < bottom; ++v)
      for (int32_t h = left; h < right; ++h)
        plat::SetPixelValue(pm, h, v, black ? 1u : plat::GetPixelValue(pm, h, v) ^ 1u);
    return 0;
  }
  const uint32_t value = FromColour(r, pm.order, colour);
  for (int32_t v = top; v < bottom; ++v)
    for (int32_t h = left; h < right; ++h) plat::SetPixelValue(pm, h, v, value);
  return 0;
}

ErrorCode CopyProc(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode) {
  return Copy(src, dst, srcRect, dstRect, mode, kSiteBlit);
}

// Copies on the calls where *counter equals start (the first of every
// `start` calls): the counter counts down each call and starts over at 0.
ErrorCode CountedCopy(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode,
                      int32_t* counter, int32_t start) {
  if (!counter || start < 1) return kReport.Fail(kSiteBlit, kErrBadParam, kStrBadArg, {kReport.Text(kStrCountedCopy)});
  ErrorCode err = 0;
  if (*counter == start) err = Copy(src, dst, srcRect, dstRect, mode, kSiteBlit);
  if (--*counter <= 0) *counter = start;
  return err;
}

ErrorCode CopyInstallLut(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode,
                         Handle lut) {
  if (ErrorCode err = Copy(src, dst, srcRect, dstRect, mode, kSiteBlit)) return err;
  return lut ? BM_SetNativeLut(lut, dst) : 0;
}

ErrorCode ScaledCopy(BM_World src, BM_World dst, const Rect* srcRect, Point p, int32_t factor) {
  // A factor of 0 would divide by zero: it is refused.
  if (factor == 0 || factor == INT32_MIN) return kReport.Fail(kSiteBlit, kErrBadParam, kStrBadFactor, {factor});
  if (ErrorCode err = CheckWorld(src, kSiteBlit, kStrBlitSource)) return err;
  const Rect sr = srcRect ? *srcRect : Rec(src)->bounds;
  const int64_t w = int64_t{sr.right} - sr.left, h = int64_t{sr.bottom} - sr.top;
  const int64_t dw = factor > 0 ? w * factor : w / -int64_t{factor};
  const int64_t dh = factor > 0 ? h * factor : h / -int64_t{factor};
  if (dw <= 0 || dh <= 0) return 0;
  const int64_t right = std::min<int64_t>(int64_t{p.h} + dw, 32767);
  const int64_t bottom = std::min<int64_t>(int64_t{p.v} + dh, 32767);
  if (right != int64_t{p.h} + dw || bottom != int64_t{p.v} + dh)
    return kReport.Fail(kSiteBlit, kErrBadParam, kStrBadFactor, {factor});
  const Rect dr{p.v, p.h, static_cast<int16_t>(bottom), static_cast<int16_t>(right)};
  return Copy(src, dst, &sr, &dr, BM_Blit_Copy, kSiteBlit);
}

}  // namespace

ErrorCode BM_Blit(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode) {
  return Copy(src, dst, srcRect, dstRect, mode, kSiteBlit);
}

ErrorCode BM_SetBlitLevel(int32_t level) {
  if (ErrorCode err = CheckBorn(kSiteBlitLevel)) return err;
  if (level == 0) return kReport.Fail(kSiteBlitLevel, kErrUnimplemented, kStrUnimplemented);
  if (level != 1) return kReport.Fail(kSiteBlitLevel, kErrBadParam, kStrBadBlitLevel);
  G().procs = BM_BlitProcs{ReadPixel, WritePixel,  CopyRectToPoint, ScrollRect, FillRect,
                           CopyProc,  CountedCopy, CopyInstallLut,  ScaledCopy};
  G().blitLevel = 1;
  return 0;
}

ErrorCode BMp_GetBlitProcs(BM_BlitProcs* procs) {
  if (!procs) return kReport.Fail(kSiteBlitLevel, kErrBadParam, kStrBadArg, {"BMp_GetBlitProcs"});
  *procs = BM_BlitProcs{};
  if (ErrorCode err = CheckBorn(kSiteBlitLevel)) return err;
  *procs = G().procs;
  return 0;
}

ErrorCode BM_SyncTo(BM_World world, Boolean32 on) {
  if (!on) return 0;
  if (ErrorCode err = CheckWorld(world, kSiteSync, "BM_SyncTo")) return err;
  const WorldRec* r = Rec(world);
  if (!r->directlyAddressable || !r->device) return kReport.Fail(kSiteSync, kErrBadParam, kStrSyncNeedsDevice);
  return kReport.Fail(kSiteSync, kErrUnimplemented, kStrSyncUnimplemented);
}
