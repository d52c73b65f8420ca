// Masks: a shape's coverage in an uno buffer (opacity, expansion, feather,
// inversion) and its merge into a world's alpha.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "MSK_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tv::msk {
namespace {

Box Intersect(const Box& a, const Box& b) {
  Box r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
  if (r.empty()) return Box{0, 0, 0, 0};
  return r;
}
Box Grow(const Box& a, int64_t dx, int64_t dy) { return Box{a.x0 - dx, a.y0 - dy, a.x1 + dx, a.y1 + dy}; }

double Pixels(Fixed v, double limit) { return std::clamp(v / 65536.0, -limit, limit); }

// The buffer stays locked while the guard lives.
class UnoLock {
 public:
  explicit UnoLock(PF_UnoBuffer b) : b_(b), err_(PF_LockUnoBuffer(b, &data_, nullptr)) {}
  ~UnoLock() {
    if (!err_) PF_UnlockUnoBuffer(b_);
  }
  UnoLock(const UnoLock&) = delete;
  UnoLock& operator=(const UnoLock&) = delete;
  ErrorCode err() const { return err_; }
  uint8_t* data() const { return data_; }

 private:
  PF_UnoBuffer b_;
  uint8_t* data_ = nullptr;
  ErrorCode err_;
};

// Clears every byte of the w x h buffer outside box.
void ClearOutside(uint8_t* data, int64_t w, int64_t h, const Box& box) {
  if (box.empty()) {
    std::memset(data, 0, static_cast<size_t>(w * h));
    return;
  }
  std::memset(data, 0, static_cast<size_t>(box.y0 * w));
  std::memset(data + box.y1 * w, 0, static_cast<size_t>((h - box.y1) * w));
  for (int64_t y = box.y0; y < box.y1; ++y) {
    std::memset(data + y * w, 0, static_cast<size_t>(box.x0));
    std::memset(data + y * w + box.x1, 0, static_cast<size_t>(w - box.x1));
  }
}

// Coverage into the locked buffer; *nonZero receives where it may be non-zero.
ErrorCode Cover(const Polygon& poly, const MSK_MaskDesc& desc, uint8_t fill, uint8_t* data, int64_t w, int64_t h,
                Box* nonZero) {
  const double featherH = std::max(0.0, Pixels(desc.featherH, PF_MaxBlurRadius));
  const double featherV = std::max(0.0, Pixels(desc.featherV, PF_MaxBlurRadius));
  int32_t hHalf[3], vHalf[3];
  FeatherPlan(featherH, hHalf);
  FeatherPlan(featherV, vHalf);
  // How far the three boxes reach (a pixel more for safety).
  auto reach = [](const int32_t half[3]) {
    const int64_t r = int64_t{half[0]} + half[1] + half[2];
    return r ? r + 1 : 0;
  };
  const int64_t reachH = reach(hHalf), reachV = reach(vHalf);
  const Box buffer{0, 0, w, h};
  const Box shape = PolygonBox(poly);
  auto raster = desc.antialias ? RasterizeExact : RasterizeCentres;
  if (reachH == 0 && reachV == 0) {
    const Box region = poly.size() >= 3 ? Intersect(shape, buffer) : Box{0, 0, 0, 0};
    ClearOutside(data, w, h, region);
    *nonZero = region;
    if (region.empty()) return 0;
    return raster(poly, region, fill, data + region.y0 * w + region.x0, w);
  }
  // The shape within the feather's reach of the buffer takes part: the blur
  // of the region sees what lies beyond the buffer's edges, and nothing
  // outside the region comes within reach of the buffer.
  const Box region = poly.size() >= 3 ? Intersect(Grow(shape, reachH, reachV), Grow(buffer, reachH, reachV))
                                      : Box{0, 0, 0, 0};
  const Box inside = Intersect(region, buffer);
  ClearOutside(data, w, h, inside);
  *nonZero = inside;
  if (inside.empty()) return 0;
  // The work block's rows are padded to a multiple of 4 bytes with zeros
  // (outside the region the shape is out of the buffer's reach or absent).
  const int64_t rw = region.x1 - region.x0, rh = region.y1 - region.y0, rw4 = (rw + 3) & ~int64_t{3};
  ScratchArray<uint8_t> work(static_cast<size_t>(rw4 * rh), true);
  if (!work.ok()) return kReport.OutOfMemory(kSiteFeather, kTextCoverage, work.failedBytes());
  if (ErrorCode err = raster(poly, region, fill, work.data(), rw4)) return err;
  if (ErrorCode err = Feather(work.data(), rw4, rh, rw4, featherH, featherV)) return err;
  for (int64_t y = inside.y0; y < inside.y1; ++y)
    std::memcpy(data + y * w + inside.x0, work.data() + (y - region.y0) * rw4 + (inside.x0 - region.x0),
                static_cast<size_t>(inside.x1 - inside.x0));
  return 0;
}

Rect ToRect(const Box& b) {
  return Rect{static_cast<int16_t>(b.y0), static_cast<int16_t>(b.x0), static_cast<int16_t>(b.y1),
              static_cast<int16_t>(b.x1)};
}

}  // namespace

void FeatherPlan(double f, int32_t half[3]) {
  half[0] = half[1] = half[2] = 0;
  if (!(f > 0)) return;
  // Three boxes whose variances add up to that of one box of half width f.
  const double variance = f * (f + 1) / 3;
  int32_t wl = static_cast<int32_t>(std::floor(std::sqrt(4 * variance + 1)));
  if (wl % 2 == 0) --wl;
  const double ideal = (12 * variance - 3.0 * wl * wl - 12.0 * wl - 9) / (-4.0 * wl - 4);
  const int32_t smaller = std::clamp(static_cast<int32_t>(std::lround(ideal)), 0, 3);
  for (int i = 0; i < 3; ++i) half[i] = ((i < smaller ? wl : wl + 2) - 1) / 2;
}

namespace {

#if defined(__SSE2__)
// One 16 x 16 block: four rounds of interleaving leave column c of the block
// in register kColumn[c].
void Transpose16(const uint8_t* src, int64_t srcStride, uint8_t* dst, int64_t dstStride) {
  static constexpr int kColumnOf[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  __m128i r[16], t[16];
  for (int i = 0; i < 16; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * srcStride));
  for (int i = 0; i < 8; ++i) {
    t[2 * i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
    t[2 * i + 1] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 2; ++j) {
      r[4 * i + j] = _mm_unpacklo_epi16(t[4 * i + j], t[4 * i + 2 + j]);
      r[4 * i + 2 + j] = _mm_unpackhi_epi16(t[4 * i + j], t[4 * i + 2 + j]);
    }
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 4; ++j) {
      t[8 * i + j] = _mm_unpacklo_epi32(r[8 * i + j], r[8 * i + 4 + j]);
      t[8 * i + 4 + j] = _mm_unpackhi_epi32(r[8 * i + j], r[8 * i + 4 + j]);
    }
  for (int j = 0; j < 8; ++j) {
    r[j] = _mm_unpacklo_epi64(t[j], t[8 + j]);
    r[8 + j] = _mm_unpackhi_epi64(t[j], t[8 + j]);
  }
  for (int k = 0; k < 16; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + kColumnOf[k] * dstStride), r[k]);
}
#endif

// dst (w rows of h bytes) = src (h rows of w bytes) transposed, in tiles.
void Transpose(const uint8_t* src, int64_t w, int64_t h, int64_t srcStride, uint8_t* dst, int64_t dstStride) {
  int64_t fullW = 0, fullH = 0;
#if defined(__SSE2__)
  fullW = w & ~int64_t{15};
  fullH = h & ~int64_t{15};
  // Block columns outside: each destination row is written from start to end.
  for (int64_t x = 0; x < fullW; x += 16)
    for (int64_t y = 0; y < fullH; y += 16) Transpose16(src + y * srcStride + x, srcStride, dst + x * dstStride + y, dstStride);
#endif
  // The edges that do not fill a block.
  for (int64_t y = 0; y < h; ++y)
    for (int64_t x = y < fullH ? fullW : 0; x < w; ++x) dst[x * dstStride + y] = src[y * srcStride + x];
}

// Blurs each column of width x height bytes (rows stride apart, width and
// stride multiples of 4) with the fast blur: four neighbouring bytes are the
// four channels of one premultiplied pixel, which it blurs independently.
ErrorCode BlurColumns(uint8_t* data, int64_t width, int64_t height, int64_t stride, double radius) {
  if (radius <= 0 || width == 0 || height == 0) return 0;
  PFWorld view{};
  view.data = reinterpret_cast<char*>(data);
  view.rowBytes = static_cast<int32_t>(stride);
  view.width = static_cast<int32_t>(width / 4);
  view.height = static_cast<int32_t>(height);
  view.extentHint = Rect{0, 0, static_cast<int16_t>(std::min<int64_t>(height, INT16_MAX)),
                         static_cast<int16_t>(std::min<int64_t>(width / 4, INT16_MAX))};
  view.kindMagic = PF_WorldKind_Wrapped;
  return PF_FastBlur_Premul(nullptr, radius, PF_Blur_Vertical, 1, &view);
}

}  // namespace

ErrorCode Feather(uint8_t* data, int64_t width, int64_t height, int64_t stride, double featherH, double featherV) {
  if (ErrorCode err = BlurColumns(data, width, height, stride, featherV)) return err;
  if (featherH <= 0) return 0;
  // Rows are blurred as the columns of the transposed block.
  const int64_t th = (height + 3) & ~int64_t{3};
  ScratchArray<uint8_t> t(static_cast<size_t>(width * th), true);
  if (!t.ok()) return kReport.OutOfMemory(kSiteFeather, kTextCoverage, t.failedBytes());
  Transpose(data, width, height, stride, t.data(), th);
  if (ErrorCode err = BlurColumns(t.data(), th, width, th, featherH)) return err;
  Transpose(t.data(), height, width, th, data, stride);
  return 0;
}

}  // namespace tv::msk

using namespace tv;
using namespace tv::msk;

ErrorCode MSK_MaskWithShape(OM_Shape shape, const MSK_MaskDesc* desc, PF_UnoBuffer buffer, Rect* bounds) {
  if (bounds) *bounds = Rect{};
  if (!desc) return kReport.BadParam(kSiteArgument, {"MSK_MaskWithShape"});
  int32_t w = 0, h = 0;
  if (ErrorCode err = PF_GetUnoBufferSize(buffer, &w, &h)) return err;
  const Rect whole{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
  UnoLock lock(buffer);
  if (lock.err()) return lock.err();
  // Opacities outside 0 .. 100 % are clamped, so the byte cannot wrap.
  const Fixed opacity = std::clamp<Fixed>(desc->opacity, 0, 65536);
  const int32_t opacityByte = static_cast<int32_t>(opacity / 65536.0 * 255 + 0.5);
  if (opacityByte == 0) {
    std::memset(lock.data(), 0, static_cast<size_t>(w) * static_cast<size_t>(h));
    if (bounds) *bounds = whole;
    return 0;
  }
  const uint8_t fill = desc->invert ? 255 : static_cast<uint8_t>(opacityByte);
  Polygon poly;
  if (ErrorCode err = FlattenShape(shape, poly)) return err;
  if (desc->expansion != 0)
    if (ErrorCode err = ExpandPolygon(poly, Pixels(desc->expansion, 4000))) return err;
  Box nonZero{};
  if (ErrorCode err = Cover(poly, *desc, fill, lock.data(), w, h, &nonZero)) return err;
  if (desc->invert) {
    const PF_AbortRecord* abort = desc->abort.abort ? &desc->abort : nullptr;
    if (ErrorCode err = PF_InvertAndFadeUnoBuffer(abort, opacityByte, buffer)) return err;
    nonZero = Box{0, 0, w, h};
  }
  if (bounds) *bounds = ToRect(nonZero);
  return 0;
}

ErrorCode MSK_MaskWithWorld(OM_Shape shape, const MSK_MaskDesc* desc, PFWorld* world, Rect* bounds) {
  if (bounds) *bounds = Rect{};
  if (!desc || !world || world->width < 1 || world->height < 1)
    return kReport.BadParam(kSiteWorld, {"MSK_MaskWithWorld"});
  PF_UnoBuffer buffer = nullptr;
  if (ErrorCode err = PF_NewUnoBuffer(world->width, world->height, &buffer)) return err;
  Rect r{};
  ErrorCode err = MSK_MaskWithShape(shape, desc, buffer, &r);
  if (!err) err = PF_MergeMaskAlpha(desc->abort.abort ? &desc->abort : nullptr, buffer, &r, world);
  PF_DisposeUnoBuffer(buffer);
  if (!err && bounds) *bounds = r;
  return err;
}
