// FLO: drawing an image through the computed grid. Every grid cell is split
// into two triangles; each destination pixel whose centre lies in a
// triangle (shared edges belong to exactly one of their triangles) takes the
// source at the affine pre-image of its centre.
#include <cmath>
#include <algorithm>
#include <cstring>

#include "FLO_internal.h"

namespace tv::flo {
namespace {

struct View {
  const uint8_t* data;
  int32_t rowBytes, width, height;
};

inline const uint8_t* PixelAt(const View& v, int32_t x, int32_t y) {
  return v.data + ptrdiff_t(y) * v.rowBytes + ptrdiff_t(x) * 4;
}

// Source sample at a 16.16 position whose integers are pixel centres.
void Sample(const View& src, int64_t u, int64_t v, bool bilinear, uint8_t out[4]) {
  if (!bilinear) {
    int64_t x = (u + 32768) >> 16, y = (v + 32768) >> 16;
    if (x < 0 || y < 0 || x >= src.width || y >= src.height) {
      std::memset(out, 0, 4);
      return;
    }
    std::memcpy(out, PixelAt(src, int32_t(x), int32_t(y)), 4);
    return;
  }
  int64_t x0 = u >> 16, y0 = v >> 16;
  uint32_t fx = uint32_t(u & 0xFFFF) >> 8, fy = uint32_t(v & 0xFFFF) >> 8;
  if (fx == 0 && fy == 0) {
    if (x0 < 0 || y0 < 0 || x0 >= src.width || y0 >= src.height)
      std::memset(out, 0, 4);
    else
      std::memcpy(out, PixelAt(src, int32_t(x0), int32_t(y0)), 4);
    return;
  }
  const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
  uint64_t sa = 0, sc[3] = {0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    int64_t x = x0 + (k & 1), y = y0 + (k >> 1);
    if (w[k] == 0 || x < 0 || y < 0 || x >= src.width || y >= src.height) continue;
    const uint8_t* p = PixelAt(src, int32_t(x), int32_t(y));
    uint64_t wa = uint64_t{w[k]} * p[0];
    sa += wa;
    for (int c = 0; c < 3; ++c) sc[c] += wa * p[c + 1];
  }
  out[0] = static_cast<uint8_t>((sa + 32768) >> 16);
  for (int c = 0; c < 3; ++c) out[c + 1] = sa ? static_cast<uint8_t>((sc[c] + sa / 2) / sa) : 0;
  if (out[0] == 0) std::memset(out, 0, 4);
}

struct Vertex {
  double sx, sy;  // source, pixels relative to the source's origin
  double dx, dy;  // destination, pixels relative to the output's origin
  int64_t ix, iy; // destination in 24.8 for the coverage test
};

inline int64_t Cross(const Vertex& a, const Vertex& b, int64_t px, int64_t py) {
  return (b.ix - a.ix) * (py - a.iy) - (b.iy - a.iy) * (px - a.ix);
}
// An edge owns the centres exactly on it when it runs downwards, or
// leftwards when horizontal; the opposite edge of the neighbouring triangle
// then does not.
inline bool Owns(const Vertex& a, const Vertex& b) {
  return b.iy > a.iy || (b.iy == a.iy && b.ix < a.ix);
}

void Triangle(Vertex v0, Vertex v1, Vertex v2, const View& src, bool bilinear, uint8_t* dst, int32_t dw,
              int32_t dh) {
  int64_t area = Cross(v0, v1, v2.ix, v2.iy);
  if (area == 0) return;
  if (area < 0) {
    std::swap(v1, v2);
    area = -area;
  }
  // Barycentric weights from the exact positions.
  double det = (v1.dx - v0.dx) * (v2.dy - v0.dy) - (v1.dy - v0.dy) * (v2.dx - v0.dx);
  if (det == 0) return;
  int64_t minX = std::min({v0.ix, v1.ix, v2.ix}), maxX = std::max({v0.ix, v1.ix, v2.ix});
  int64_t minY = std::min({v0.iy, v1.iy, v2.iy}), maxY = std::max({v0.iy, v1.iy, v2.iy});
  // Pixel x has its centre at 256 x + 128.
  int64_t x0 = std::max<int64_t>(0, (minX - 128 + 255) >> 8), x1 = std::min<int64_t>(dw - 1, (maxX - 128) >> 8);
  int64_t y0 = std::max<int64_t>(0, (minY - 128 + 255) >> 8), y1 = std::min<int64_t>(dh - 1, (maxY - 128) >> 8);
  const bool own0 = Owns(v1, v2), own1 = Owns(v2, v0), own2 = Owns(v0, v1);
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t py = y * 256 + 128;
    for (int64_t x = x0; x <= x1; ++x) {
      int64_t px = x * 256 + 128;
      int64_t e0 = Cross(v1, v2, px, py), e1 = Cross(v2, v0, px, py), e2 = Cross(v0, v1, px, py);
      if (e0 < 0 || e1 < 0 || e2 < 0) continue;
      if ((e0 == 0 && !own0) || (e1 == 0 && !own1) || (e2 == 0 && !own2)) continue;
      double cx = x + 0.5, cy = y + 0.5;
      double l1 = ((cx - v0.dx) * (v2.dy - v0.dy) - (cy - v0.dy) * (v2.dx - v0.dx)) / det;
      double l2 = ((v1.dx - v0.dx) * (cy - v0.dy) - (v1.dy - v0.dy) * (cx - v0.dx)) / det;
      double l0 = 1.0 - l1 - l2;
      double sx = l0 * v0.sx + l1 * v1.sx + l2 * v2.sx, sy = l0 * v0.sy + l1 * v1.sy + l2 * v2.sy;
      // Integers of the sample position are pixel centres.
      double u = std::nearbyint((sx - 0.5) * 65536.0), v = std::nearbyint((sy - 0.5) * 65536.0);
      uint8_t* out = dst + (size_t(y) * size_t(dw) + size_t(x)) * 4;
      if (!(std::fabs(u) < 4e15) || !(std::fabs(v) < 4e15)) {
        std::memset(out, 0, 4);
        continue;
      }
      Sample(src, static_cast<int64_t>(u), static_cast<int64_t>(v), bilinear, out);
    }
  }
}

ErrorCode Draw(FLO_Distortion d, const View& src, char* dstData, int32_t dstRowBytes, int32_t dstW,
               int32_t dstH) {
  if (ErrorCode err = Check(d, kSiteDraw)) return err;
  const Record r = Rec(d);
  const Work w = WorkOf(d);
  if (!w.prepared || !w.forward) return kReport.Fail(kSiteDraw, FLO_ErrNotPrepared, kTextNotPrepared, {kReport.Text(kTextNoGrid)});
  if (w.busy) return kReport.Fail(kSiteDraw, FLO_ErrBusy, kTextBusy);
  const int32_t bw = r.bounds.right - r.bounds.left, bh = r.bounds.bottom - r.bounds.top;
  if (src.width != bw || src.height != bh)
    return kReport.Fail(kSiteDraw, FLO_ErrBadSize, kTextSizeMismatch, {src.width, src.height, bw, bh});
  const int32_t ow = w.output.right - w.output.left, oh = w.output.bottom - w.output.top;
  if (dstW != ow || dstH != oh)
    return kReport.Fail(kSiteDraw, FLO_ErrBadSize, kTextSizeMismatch, {dstW, dstH, ow, oh});

  // The grid is copied so that the drawing does not depend on the handle.
  const int32_t across = w.columns + 3;
  const size_t elements = size_t(across) * size_t(w.rows + 3);
  ScratchArray<FLO_ForwardElement> grid;
  ScratchArray<uint8_t> temp;
  if (!grid.Allocate(elements)) return FailMemory(kSiteDraw, elements * 8);
  std::memcpy(grid.data(), *w.forward, elements * sizeof(FLO_ForwardElement));
  if (!temp.Allocate(size_t(ow) * size_t(oh) * 4, true)) return FailMemory(kSiteDraw, uint64_t(ow) * oh * 4);

  WorkOf(d).busy = 1;
  ErrorCode err = 0;
  const bool bilinear = r.drawQuality == 1;
  auto vertex = [&](int32_t i, int32_t j) {
    const FLO_ForwardElement& e = grid[size_t(j + 1) * across + (i + 1)];
    Vertex v;
    v.sx = (RestFixed(r.bounds.left, bw, i, w.columns) - int64_t{r.bounds.left} * 65536) / 65536.0;
    v.sy = (RestFixed(r.bounds.top, bh, j, w.rows) - int64_t{r.bounds.top} * 65536) / 65536.0;
    int64_t fx = int64_t{e.x} - int64_t{w.output.left} * 65536, fy = int64_t{e.y} - int64_t{w.output.top} * 65536;
    v.dx = fx / 65536.0;
    v.dy = fy / 65536.0;
    v.ix = (fx + 128) >> 8;
    v.iy = (fy + 128) >> 8;
    return v;
  };
  for (int32_t j = 0; j < w.rows && !err; ++j) {
    for (int32_t i = 0; i < w.columns; ++i) {
      Vertex a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1), e = vertex(i, j + 1);
      Triangle(a, b, c, src, bilinear, temp.data(), ow, oh);
      Triangle(a, c, e, src, bilinear, temp.data(), ow, oh);
    }
    if (r.progress && r.drawValue > 0) err = r.progress(r.progressRefcon, j + 1, w.rows);
  }
  // Each world keeps its own row bytes: the result is copied row by row.
  if (!err)
    for (int32_t y = 0; y < oh; ++y)
      std::memcpy(dstData + ptrdiff_t(y) * dstRowBytes, temp.data() + size_t(y) * ow * 4, size_t(ow) * 4);
  // The drawing state is cleared on every path, errors included.
  WorkOf(d).busy = 0;
  return err;
}

}  // namespace
}  // namespace tv::flo

using namespace tv;
using namespace tv::flo;

TV_EXPORT ErrorCode FLO_DrawPFWorldDistortion(FLO_Distortion d, const PFWorld* source, PFWorld* destination) {
  if (!source || !destination || !source->data || !destination->data || source->width < 0 ||
      source->rowBytes / 4 < source->width || destination->width < 0 ||
      destination->rowBytes / 4 < destination->width)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextBadParam, {"FLO_DrawPFWorldDistortion"});
  View src{reinterpret_cast<const uint8_t*>(source->data), source->rowBytes, source->width, source->height};
  return Draw(d, src, destination->data, destination->rowBytes, destination->width, destination->height);
}

TV_EXPORT ErrorCode FLO_DrawImageInfoDistortion(FLO_Distortion d, const FLO_ImageInfo* source,
                                                FLO_ImageInfo* destination) {
  if (!source || !destination || !source->data || !destination->data || source->depth != 32 ||
      destination->depth != 32 || source->width < 0 || source->rowBytes / 4 < source->width ||
      destination->width < 0 || destination->rowBytes / 4 < destination->width)
    return kReport.Fail(kSiteDraw, kErrBadParam, kTextBadParam, {"FLO_DrawImageInfoDistortion"});
  View src{reinterpret_cast<const uint8_t*>(source->data), source->rowBytes, source->width, source->height};
  return Draw(d, src, destination->data, destination->rowBytes, destination->width, destination->height);
}
