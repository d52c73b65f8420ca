// Single-channel coverage ("uno") buffers: one byte per pixel, rows packed
// with no gap, used for masks. Their operations fill, invert and fade them,
// combine a new mask into an accumulated one, and multiply a world's alpha
// by a buffer.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

constexpr int32_t kMaxSide = 30000;

struct UnoRec {
  uint32_t magic;
  uint32_t width;
  uint32_t height;
  uint32_t lockCount;
  Handle pixels;
};
static_assert(std::is_trivially_copyable_v<UnoRec>);

UnoRec* Rec(PF_UnoBuffer b) { return reinterpret_cast<UnoRec*>(*b); }

// The structural check of every operation: a failed verification when the
// buffer is not one.
ErrorCode Check(PF_UnoBuffer b, const char* routine) {
  const bool ok = b && *b && GetHandleSize(b) >= static_cast<Size>(sizeof(UnoRec)) && Rec(b)->magic == PF_UnoMagic &&
                  Rec(b)->pixels && *Rec(b)->pixels &&
                  GetHandleSize(Rec(b)->pixels) == static_cast<Size>(Rec(b)->width) * Rec(b)->height;
  if (ok) return 0;
  kReport.Note(kSiteUno, kSevError, kStrVerification, {routine, static_cast<int32_t>(PF_UnoMagic)});
  return kErrDamaged;
}

// Keeps a buffer's pixels locked for one operation (whatever the caller's
// locks: their state comes back after).
class PixelsLock : public HandleLock<uint8_t> {
 public:
  explicit PixelsLock(PF_UnoBuffer b) : HandleLock<uint8_t>(Rec(b)->pixels) {}
  uint8_t* data() const { return get(); }
};

ErrorCode CallAbort(const PF_AbortRecord* abort) {
  return abort && abort->abort ? abort->abort(abort->refcon) : 0;
}

bool ResolveUnoRect(const UnoRec& r, const Rect* in, Rect* out) {
  if (!in) {
    *out = Rect{0, 0, static_cast<int16_t>(r.height), static_cast<int16_t>(r.width)};
    return true;
  }
  if (in->top < 0 || in->left < 0 || in->top > in->bottom || in->left > in->right ||
      in->bottom > static_cast<int32_t>(r.height) || in->right > static_cast<int32_t>(r.width))
    return false;
  *out = *in;
  return true;
}

uint32_t Combine(int32_t mode, uint32_t s, uint32_t d) {
  switch (mode) {
    case PF_UnoMode_Subtract: return Mul8(255 - s, d);
    case PF_UnoMode_Intersect: return Mul8(s, d);
    case PF_UnoMode_Lighten: return std::max(s, d);
    case PF_UnoMode_Darken: return std::min(s, d);
    case PF_UnoMode_Difference: return s > d ? s - d : d - s;
    default: return 255 - Mul8(255 - s, 255 - d);
  }
}

}  // namespace

ErrorCode PF_NewUnoBuffer(int32_t width, int32_t height, PF_UnoBuffer* buffer) {
  if (buffer) *buffer = nullptr;
  if (!buffer) return BadParam(PF_Routine_Uno, "null buffer");
  // Sides beyond the largest world are refused (their byte count could overflow).
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return BadParam(PF_Routine_Uno, "bad size");
  const Size bytes = static_cast<Size>(width) * height;
  Handle pixels = NewHandleClear(bytes);
  if (!pixels)
    return tv::pf::kReport.OutOfMemory(kSiteUno, tv::pf::kStrUnoBuffer, static_cast<uint64_t>(bytes));
  Handle rec = NewHandleClear(sizeof(UnoRec));
  if (!rec) {
    DisposeHandle(pixels);
    return tv::pf::kReport.OutOfMemory(kSiteUno, tv::pf::kStrUnoBuffer, sizeof(UnoRec));
  }
  *Rec(rec) = UnoRec{PF_UnoMagic, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0, pixels};
  *buffer = rec;
  return 0;
}

ErrorCode PF_DisposeUnoBuffer(PF_UnoBuffer buffer) {
  if (ErrorCode err = Check(buffer, "PF_DisposeUnoBuffer")) return err;
  Handle pixels = Rec(buffer)->pixels;
  Rec(buffer)->magic = 0;
  DisposeHandle(pixels);
  DisposeHandle(buffer);
  return 0;
}

ErrorCode PF_GetUnoBufferSize(PF_UnoBuffer buffer, int32_t* width, int32_t* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (ErrorCode err = Check(buffer, "PF_GetUnoBufferSize")) return err;
  if (width) *width = static_cast<int32_t>(Rec(buffer)->width);
  if (height) *height = static_cast<int32_t>(Rec(buffer)->height);
  return 0;
}

ErrorCode PF_FillUnoBuffer(uint8_t value, PF_UnoBuffer buffer) {
  if (ErrorCode err = Check(buffer, "PF_FillUnoBuffer")) return err;
  const size_t n = size_t(Rec(buffer)->width) * Rec(buffer)->height;
  PixelsLock lock(buffer);
  std::memset(lock.data(), value, n);
  return 0;
}

ErrorCode PF_LockUnoBuffer(PF_UnoBuffer buffer, uint8_t** data, int32_t* rowBytes) {
  if (data) *data = nullptr;
  if (rowBytes) *rowBytes = 0;
  if (ErrorCode err = Check(buffer, "PF_LockUnoBuffer")) return err;
  UnoRec* r = Rec(buffer);
  if (r->lockCount++ == 0) HLock(r->pixels);
  if (data) *data = reinterpret_cast<uint8_t*>(*r->pixels);
  if (rowBytes) *rowBytes = static_cast<int32_t>(r->width);
  return 0;
}

ErrorCode PF_UnlockUnoBuffer(PF_UnoBuffer buffer) {
  if (ErrorCode err = Check(buffer, "PF_UnlockUnoBuffer")) return err;
  UnoRec* r = Rec(buffer);
  if (r->lockCount == 0) {
    kReport.Note(kSiteUno, kSevError, kStrVerification, {kReport.Text(kStrNotLocked), int32_t{0}});
    return kErrDamaged;
  }
  if (--r->lockCount == 0) HUnlock(r->pixels);
  return 0;
}

ErrorCode PF_InvertAndFadeUnoBuffer(const PF_AbortRecord* abort, int32_t opacity, PF_UnoBuffer buffer) {
  if (ErrorCode err = Check(buffer, "PF_InvertAndFadeUnoBuffer")) return err;
  if (opacity < 0 || opacity > 255) return BadParam(PF_Routine_Uno, "bad opacity");
  if (ErrorCode err = CallAbort(abort)) return err;
  const size_t n = size_t(Rec(buffer)->width) * Rec(buffer)->height;
  PixelsLock lock(buffer);
  uint8_t* p = lock.data();
  const uint32_t o = static_cast<uint32_t>(opacity);
  if (o == 255)
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
  else
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(Mul8(255u - p[i], o));
  return 0;
}

ErrorCode PF_InvertUnoBuffer(PF_UnoBuffer buffer) {
  if (ErrorCode err = Check(buffer, "PF_InvertUnoBuffer")) return err;
  return PF_InvertAndFadeUnoBuffer(nullptr, 255, buffer);
}

ErrorCode PF_AccumulateUnoBuffers(int32_t mode, PF_UnoBuffer source, const Rect* rect, PF_UnoBuffer destination) {
  if (ErrorCode err = Check(source, "PF_AccumulateUnoBuffers")) return err;
  if (ErrorCode err = Check(destination, "PF_AccumulateUnoBuffers")) return err;
  const UnoRec s = *Rec(source), d = *Rec(destination);
  // Buffers of different sizes are refused rather than read out of step.
  if (s.width != d.width || s.height != d.height) return BadParam(PF_Routine_Uno, "uno buffers of different sizes");
  Rect r;
  if (!ResolveUnoRect(d, rect, &r)) return BadParam(PF_Routine_Uno, "rectangle outside the buffer");
  PixelsLock ls(source), ld(destination);
  const uint8_t* in = ls.data();
  uint8_t* out = ld.data();
  for (uint32_t y = 0; y < d.height; ++y) {
    const bool rowInside = static_cast<int32_t>(y) >= r.top && static_cast<int32_t>(y) < r.bottom;
    for (uint32_t x = 0; x < d.width; ++x) {
      const size_t i = size_t(y) * d.width + x;
      // Outside the new mask's span its coverage is 0.
      const bool inside = rowInside && static_cast<int32_t>(x) >= r.left && static_cast<int32_t>(x) < r.right;
      out[i] = static_cast<uint8_t>(Combine(mode, inside ? in[i] : 0u, out[i]));
    }
  }
  return 0;
}

ErrorCode PF_MergeMaskAlpha(const PF_AbortRecord* abort, PF_UnoBuffer buffer, const Rect* rect, PFWorld* world) {
  if (ErrorCode err = Check(buffer, "PF_MergeMaskAlpha")) return err;
  if (!ValidWorld(world)) return BadParam(PF_Routine_Uno, "bad world");
  const UnoRec u = *Rec(buffer);
  if (static_cast<int32_t>(u.width) != world->width || static_cast<int32_t>(u.height) != world->height)
    return BadParam(PF_Routine_Uno, "uno buffer and world of different sizes");
  Rect r;
  if (!ResolveUnoRect(u, rect, &r)) return BadParam(PF_Routine_Uno, "rectangle outside the buffer");
  if (ErrorCode err = CallAbort(abort)) return err;
  const int32_t a = ChannelOrder(*world) == BM_Order_BGRA ? 3 : 0;
  PixelsLock lock(buffer);
  const uint8_t* cover = lock.data();
  for (int32_t y = 0; y < world->height; ++y) {
    uint8_t* p = Row(*world, y) + a;
    if (y < r.top || y >= r.bottom) {
      for (int32_t x = 0; x < world->width; ++x) p[4 * x] = 0;
      continue;
    }
    const uint8_t* c = cover + size_t(y) * u.width;
    for (int32_t x = 0; x < world->width; ++x) {
      if (x < r.left || x >= r.right || c[x] == 0)
        p[4 * x] = 0;
      else if (c[x] != 255)
        p[4 * x] = static_cast<uint8_t>(Mul8(p[4 * x], c[x]));
    }
  }
  return 0;
}
