// Drawing: wireframes (the outlines drawn for layers at wireframe quality)
// and antialiased spots.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

constexpr uint32_t kWireMagic = 0x57697245;  // 'WirE'
constexpr int32_t kMaxWirePoints = 1 << 16;

struct WireHeader {
  uint32_t magic;
  int32_t capacity;
  int32_t count;
  int32_t reserved;
};
static_assert(std::is_trivially_copyable_v<WireHeader>);

WireHeader* Header(PF_Wireframe w) { return reinterpret_cast<WireHeader*>(*w); }
FloatPoint* Points(PF_Wireframe w) { return reinterpret_cast<FloatPoint*>(*w + sizeof(WireHeader)); }

ErrorCode Check(PF_Wireframe w) {
  if (w && *w && GetHandleSize(w) >= static_cast<Size>(sizeof(WireHeader)) && Header(w)->magic == kWireMagic &&
      GetHandleSize(w) >= static_cast<Size>(sizeof(WireHeader) + sizeof(FloatPoint) * size_t(Header(w)->capacity)))
    return 0;
  return BadParam(PF_Routine_Wireframe, "not a wireframe");
}

// Clips the segment to the box [lo, hi] (Liang-Barsky); false when nothing is left.
bool Clip(double& x0, double& y0, double& x1, double& y1, double loX, double loY, double hiX, double hiY) {
  double t0 = 0.0, t1 = 1.0;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - loX, hiX - x0, y0 - loY, hiY - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy, nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
  x0 = nx0;
  y0 = ny0;
  x1 = nx1;
  y1 = ny1;
  return true;
}

void Plot(PFWorld& w, int32_t x, int32_t y, const PF_Pixel& c) {
  if (x < 0 || y < 0 || x >= w.width || y >= w.height) return;
  std::memcpy(Row(w, y) + 4 * static_cast<ptrdiff_t>(x), &c, 4);
}

// A one-pixel line between the pixels nearest to the two points.
void Line(PFWorld& w, FloatPoint a, FloatPoint b, const PF_Pixel& c) {
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
  double x0 = a.x, y0 = a.y, x1 = b.x, y1 = b.y;
  if (!Clip(x0, y0, x1, y1, -1.0, -1.0, w.width, w.height)) return;
  int32_t ix0 = static_cast<int32_t>(std::floor(x0 + 0.5)), iy0 = static_cast<int32_t>(std::floor(y0 + 0.5));
  const int32_t ix1 = static_cast<int32_t>(std::floor(x1 + 0.5)), iy1 = static_cast<int32_t>(std::floor(y1 + 0.5));
  const int32_t dx = std::abs(ix1 - ix0), dy = -std::abs(iy1 - iy0);
  const int32_t sx = ix0 < ix1 ? 1 : -1, sy = iy0 < iy1 ? 1 : -1;
  int32_t err = dx + dy;
  for (;;) {
    Plot(w, ix0, iy0, c);
    if (ix0 == ix1 && iy0 == iy1) break;
    const int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      ix0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      iy0 += sy;
    }
  }
}

}  // namespace

ErrorCode PF_AllocWireframe(int32_t capacity, PF_Wireframe* wireframe) {
  if (wireframe) *wireframe = nullptr;
  if (!wireframe) return BadParam(PF_Routine_Wireframe, "null wireframe");
  if (capacity < 1 || capacity > kMaxWirePoints) return BadParam(PF_Routine_Wireframe, "bad capacity");
  const Size bytes = static_cast<Size>(sizeof(WireHeader) + sizeof(FloatPoint) * size_t(capacity));
  Handle h = NewHandleClear(bytes);
  if (!h)
    return tv::pf::kReport.OutOfMemory(kSiteDraw, tv::pf::kStrWireframe, static_cast<uint64_t>(bytes));
  *Header(h) = WireHeader{kWireMagic, capacity, 0, 0};
  *wireframe = h;
  return 0;
}

ErrorCode PF_DisposeWireframe(PF_Wireframe wireframe) {
  if (ErrorCode err = Check(wireframe)) return err;
  Header(wireframe)->magic = 0;
  DisposeHandle(wireframe);
  return 0;
}

ErrorCode PF_GenerateWireframe(const LRect* bounds, PF_Wireframe wireframe) {
  if (ErrorCode err = Check(wireframe)) return err;
  if (!bounds || bounds->right <= bounds->left || bounds->bottom <= bounds->top)
    return BadParam(PF_Routine_Wireframe, "bad bounds");
  if (Header(wireframe)->capacity < 4) return BadParam(PF_Routine_Wireframe, "wireframe too small");
  // The centres of the four corner pixels, so that the untransformed outline
  // is the outer ring of pixels of the bounds.
  const double l = bounds->left, t = bounds->top, r = double(bounds->right) - 1.0, b = double(bounds->bottom) - 1.0;
  FloatPoint* p = Points(wireframe);
  p[0] = FloatPoint{l, t};
  p[1] = FloatPoint{r, t};
  p[2] = FloatPoint{r, b};
  p[3] = FloatPoint{l, b};
  Header(wireframe)->count = 4;
  return 0;
}

ErrorCode PF_TransformWireframe(const FloatMatrix* matrix, PF_Wireframe wireframe) {
  if (ErrorCode err = Check(wireframe)) return err;
  if (!matrix) return BadParam(PF_Routine_Wireframe, "null matrix");
  const double* m = matrix->m;
  const int32_t n = Header(wireframe)->count;
  FloatPoint* p = Points(wireframe);
  for (int32_t i = 0; i < n; ++i) {
    const double x = p[i].x, y = p[i].y;
    const double w = x * m[2] + y * m[5] + m[8];
    double nx = x * m[0] + y * m[3] + m[6], ny = x * m[1] + y * m[4] + m[7];
    if (w != 1.0) {
      // A point mapped to infinity is kept as not-a-number; its segments are not drawn.
      nx = w != 0.0 ? nx / w : NAN;
      ny = w != 0.0 ? ny / w : NAN;
    }
    p[i] = FloatPoint{nx, ny};
  }
  return 0;
}

ErrorCode PF_GetWireframePoints(PF_Wireframe wireframe, int32_t max, FloatPoint* points, int32_t* count) {
  if (count) *count = 0;
  if (ErrorCode err = Check(wireframe)) return err;
  if (!count || max < 0 || (max > 0 && !points)) return BadParam(PF_Routine_Wireframe, "bad output");
  const int32_t n = std::min(max, Header(wireframe)->count);
  std::memcpy(points, Points(wireframe), sizeof(FloatPoint) * size_t(n));
  *count = Header(wireframe)->count;
  return 0;
}

ErrorCode PF_DrawWireframe(PF_Wireframe wireframe, const PF_Pixel* colour, PFWorld* world) {
  if (ErrorCode err = Check(wireframe)) return err;
  if (!colour || !ValidWorld(world)) return BadParam(PF_Routine_Wireframe, "bad colour or world");
  const int32_t n = Header(wireframe)->count;
  const FloatPoint* p = Points(wireframe);  // no allocation below: the block stays put
  if (n == 1) Line(*world, p[0], p[0], *colour);
  for (int32_t i = 0; n > 1 && i < n; ++i) Line(*world, p[i], p[(i + 1) % n], *colour);
  return 0;
}

ErrorCode PF_PaintSpot(void* /*ref*/, Fixed x, Fixed y, Fixed radius, const PF_Pixel* colour, int32_t opacity,
                       PFWorld* world) {
  constexpr int32_t kRt = PF_Routine_PaintSpot;
  if (!colour || !ValidWorld(world)) return BadParam(kRt, "bad colour or world");
  if (radius < 0) return BadParam(kRt, "negative radius");
  if (opacity < 0 || opacity > 255) return BadParam(kRt, "bad opacity");
  const double cx = x / 65536.0, cy = y / 65536.0, r = radius / 65536.0;
  const int32_t x0 = static_cast<int32_t>(std::max(0.0, std::floor(cx - r - 1.0)));
  const int32_t y0 = static_cast<int32_t>(std::max(0.0, std::floor(cy - r - 1.0)));
  const int32_t x1 = static_cast<int32_t>(std::min<double>(world->width - 1, std::ceil(cx + r + 1.0)));
  const int32_t y1 = static_cast<int32_t>(std::min<double>(world->height - 1, std::ceil(cy + r + 1.0)));
  const uint32_t strength = Mul8(static_cast<uint32_t>(opacity), colour->alpha);
  const uint32_t s[3] = {colour->red, colour->green, colour->blue};
  for (int32_t py = y0; py <= y1; ++py) {
    uint8_t* row = Row(*world, py);
    for (int32_t px = x0; px <= x1; ++px) {
      // Coverage falls from 1 to 0 across the pixel straddling the rim.
      const double dist = std::hypot(px - cx, py - cy);
      const double cover = std::clamp(r + 0.5 - dist, 0.0, 1.0);
      const uint32_t k = Mul8(static_cast<uint32_t>(std::floor(cover * 255.0 + 0.5)), strength);
      if (k == 0) continue;
      uint8_t* d = row + 4 * px;
      // Straight "over": weights k * 255 for the spot and da * (255 - k) for what is there.
      const uint32_t ws = k * 255, wd = d[0] * (255 - k), den = ws + wd;
      for (int c = 0; c < 3; ++c) d[c + 1] = static_cast<uint8_t>((s[c] * ws + d[c + 1] * wd + den / 2) / den);
      d[0] = static_cast<uint8_t>((den + 127) / 255);
    }
  }
  return 0;
}
