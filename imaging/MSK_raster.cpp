// The rasterizers. Exact coverage collects, for every edge, the signed area
// it adds to each pixel it crosses and the cover it passes on to the pixels
// right of it, as cells (row, column, amount); sorted by row and column, a
// running sum along each row gives the winding-weighted area of every pixel,
// folded for the even-odd rule, and the runs between cells, whose coverage
// does not change, are filled at once. Centre sampling finds the edges'
// crossings at each row's centre line and fills between pairs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "MSK_internal.h"
#include "PF.h"
#include "RowBands.h"

namespace tv::msk {
namespace {

struct Cell {
  uint64_t key;  // row << 32 | column
  float amount;
};

class Accumulator {
 public:
  Accumulator(ScratchArray<Cell>& cells, int64_t width, int64_t height) : cells_(cells), w_(width), h_(height) {}
  bool ok() const { return ok_; }

  // An edge in region coordinates; the parts left of the region pass their
  // cover on as a vertical edge at x = 0, the parts right of it add nothing.
  void Edge(double x0, double y0, double x1, double y1) {
    if (y0 == y1) return;
    const double W = static_cast<double>(w_);
    // Cut where the edge crosses x = 0 and x = width, keeping its direction.
    double cuts[4] = {0, 1, 1, 1};
    int n = 1;
    if (x0 != x1)
      for (double edge : {0.0, W}) {
        const double t = (edge - x0) / (x1 - x0);
        if (t > 0 && t < 1) cuts[n++] = t;
      }
    cuts[n++] = 1;
    std::sort(cuts, cuts + n);
    for (int i = 0; i + 1 < n; ++i) {
      const double ta = cuts[i], tb = cuts[i + 1];
      if (tb <= ta) continue;
      const double xa = x0 + (x1 - x0) * ta, ya = y0 + (y1 - y0) * ta;
      const double xb = x0 + (x1 - x0) * tb, yb = y0 + (y1 - y0) * tb;
      const double mid = (xa + xb) / 2;
      if (mid <= 0)
        Line(0, ya, 0, yb);
      else if (mid < W)
        Line(std::clamp(xa, 0.0, W), ya, std::clamp(xb, 0.0, W), yb);
    }
  }

 private:
  // A line with 0 <= x <= width.
  void Line(double x0, double y0, double x1, double y1) {
    if (y0 == y1) return;
    double dir = 1;
    if (y0 > y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
      dir = -1;
    }
    const double H = static_cast<double>(h_);
    if (y1 <= 0 || y0 >= H) return;
    const double dxdy = (x1 - x0) / (y1 - y0);
    double x = x0;
    if (y0 < 0) {
      x -= y0 * dxdy;
      y0 = 0;
    }
    const int64_t rowEnd = static_cast<int64_t>(std::min(H, std::ceil(y1)));
    const double xmax = static_cast<double>(w_);
    for (int64_t y = static_cast<int64_t>(y0); y < rowEnd; ++y) {
      Row row{*this, y};
      const double dy = std::min<double>(static_cast<double>(y + 1), y1) - std::max<double>(static_cast<double>(y), y0);
      const double xnext = std::clamp(x + dxdy * dy, 0.0, xmax);
      const double d = dy * dir;
      const double xa = std::min(x, xnext), xb = std::max(x, xnext);
      const double xaf = std::floor(xa);
      const int64_t xai = static_cast<int64_t>(xaf);
      const int64_t xbi = static_cast<int64_t>(std::ceil(xb));
      if (xbi <= xai + 1) {
        // Within one pixel: the area right of the line's middle.
        const double xm = 0.5 * (x + xnext) - xaf;
        row[xai] += static_cast<float>(d - d * xm);
        row[xai + 1] += static_cast<float>(d * xm);
      } else {
        const double s = 1.0 / (xb - xa);
        const double xaFrac = xa - xaf;
        const double a0 = 0.5 * s * (1 - xaFrac) * (1 - xaFrac);
        const double xbFrac = xb - static_cast<double>(xbi) + 1;
        const double am = 0.5 * s * xbFrac * xbFrac;
        row[xai] += static_cast<float>(d * a0);
        if (xbi == xai + 2) {
          row[xai + 1] += static_cast<float>(d * (1 - a0 - am));
        } else {
          const double a1 = s * (1.5 - xaFrac);
          row[xai + 1] += static_cast<float>(d * (a1 - a0));
          for (int64_t xi = xai + 2; xi < xbi - 1; ++xi) row[xi] += static_cast<float>(d * s);
          const double a2 = a1 + static_cast<double>(xbi - xai - 3) * s;
          row[xbi - 1] += static_cast<float>(d * (1 - a2 - am));
        }
        row[xbi] += static_cast<float>(d * am);
      }
      x = xnext;
    }
  }

  // Adds to cell (y, x) as row[x] += amount.
  struct Row {
    Accumulator& a;
    int64_t y;
    struct Ref {
      Accumulator& a;
      uint64_t key;
      void operator+=(float amount) {
        if (amount != 0.0f) a.ok_ = a.cells_.Push(Cell{key, amount}) && a.ok_;
      }
    };
    Ref operator[](int64_t x) { return Ref{a, (static_cast<uint64_t>(y) << 32) | static_cast<uint64_t>(x)}; }
  };

  ScratchArray<Cell>& cells_;
  int64_t w_, h_;
  bool ok_ = true;
};

// Region coordinates of polygon point i.
inline double PX(const Polygon& p, size_t i, const Box& r) { return p.xy[2 * (i % p.size())] - static_cast<double>(r.x0); }
inline double PY(const Polygon& p, size_t i, const Box& r) {
  return p.xy[2 * (i % p.size()) + 1] - static_cast<double>(r.y0);
}

void Clear(uint8_t* dst, int64_t w, int64_t h, int64_t stride) {
  for (int64_t y = 0; y < h; ++y) std::memset(dst + y * stride, 0, static_cast<size_t>(w));
}

}  // namespace

ErrorCode RasterizeExact(const Polygon& poly, const Box& region, uint8_t fill, uint8_t* dst, int64_t stride) {
  const int64_t w = region.x1 - region.x0, h = region.y1 - region.y0;
  if (region.empty()) return 0;
  if (poly.size() < 3 || fill == 0) {
    Clear(dst, w, h, stride);
    return 0;
  }
  ScratchArray<Cell> cells;
  if (!cells.Reserve(8 * poly.size() + 4 * static_cast<size_t>(h)))
    return kReport.OutOfMemory(kSiteRaster, kTextCoverage, cells.failedBytes());
  Accumulator acc(cells, w, h);
  for (size_t i = 0; i < poly.size(); ++i)
    acc.Edge(PX(poly, i, region), PY(poly, i, region), PX(poly, i + 1, region), PY(poly, i + 1, region));
  if (!acc.ok()) return kReport.OutOfMemory(kSiteRaster, kTextCoverage, cells.failedBytes());
  // Cells by row (counting), then by column within each row.
  ScratchArray<uint32_t> starts(static_cast<size_t>(h) + 1, true);
  ScratchArray<Cell> sorted(cells.size());
  if (!starts.ok() || !sorted.ok()) return kReport.OutOfMemory(kSiteRaster, kTextCoverage, sorted.failedBytes());
  for (const Cell& k : cells) ++starts[(k.key >> 32) + 1];
  for (int64_t y = 0; y < h; ++y) starts[y + 1] += starts[y];
  for (const Cell& k : cells) sorted[starts[k.key >> 32]++] = k;
  for (int64_t y = h; y > 0; --y) starts[y] = starts[y - 1];
  starts[0] = 0;
  const float scale = static_cast<float>(fill);
  auto byteOf = [scale](double sum) {
    float v = static_cast<float>(std::fabs(sum));
    // Even-odd: a pixel covered twice is empty again.
    if (v > 1.0f) {
      v = std::fmod(v, 2.0f);
      if (v > 1.0f) v = 2.0f - v;
    }
    return static_cast<uint8_t>(v * scale + 0.5f);
  };
  // Each row's cells are put in order and summed along the row on their own:
  // rows are shared among the row threads (PFp_SetRowThreads), a band of at
  // least 32768 pixels each, and the bytes are those of one thread.
  Cell* const row0 = sorted.data();
  const uint32_t* const rowStart = starts.data();
  auto rows = [&](int32_t, int32_t first, int32_t end) {
    for (int64_t y = first; y < end; ++y) {
      Cell* const a = row0 + rowStart[y];
      Cell* const b = row0 + rowStart[y + 1];
      // A row's cells come in runs from each edge: few cells are put in
      // order by insertion, many by sorting (the same input gives the same order).
      // A row without cells (the whole shape may have none: a row's pointers
      // are then null) needs no order.
      if (b - a > 24) {
        std::sort(a, b, [](const Cell& p, const Cell& q) { return p.key < q.key; });
      } else if (b - a > 1) {
        for (Cell* i = a + 1; i < b; ++i) {
          const Cell k = *i;
          Cell* j = i;
          for (; j > a && (j - 1)->key > k.key; --j) *j = *(j - 1);
          *j = k;
        }
      }
      uint8_t* out = dst + y * stride;
      int64_t x = 0;
      double sum = 0;
      for (const Cell* c = a; c < b;) {
        const int64_t cx = static_cast<int64_t>(c->key & 0xFFFFFFFFu);
        // The run up to this cell keeps the coverage reached so far.
        if (cx > x) {
          std::memset(out + x, byteOf(sum), static_cast<size_t>(std::min(cx, w) - x));
          x = std::min(cx, w);
        }
        for (const uint64_t key = c->key; c < b && c->key == key; ++c) sum += c->amount;
        if (cx < w) {
          out[cx] = byteOf(sum);
          x = cx + 1;
        }
      }
      if (x < w) std::memset(out + x, byteOf(sum), static_cast<size_t>(w - x));
    }
  };
  const int32_t rowsH = static_cast<int32_t>(std::min<int64_t>(h, INT32_MAX));
  const int32_t bands =
      platform::RowBandCount(rowsH, PFp_GetRowThreads(), static_cast<int32_t>(std::max<int64_t>(16, 32768 / w)));
  platform::ForRowBands(0, rowsH, bands, rows);
  return 0;
}

ErrorCode RasterizeCentres(const Polygon& poly, const Box& region, uint8_t fill, uint8_t* dst, int64_t stride) {
  const int64_t w = region.x1 - region.x0, h = region.y1 - region.y0;
  if (region.empty()) return 0;
  Clear(dst, w, h, stride);
  const size_t n = poly.size();
  if (n < 3 || fill == 0) return 0;
  struct Edge {
    double ytop, ybottom, x, dxdy;
  };
  ScratchArray<Edge> edges;
  ScratchArray<double> xs;
  if (!edges.Reserve(n) || !xs.Reserve(n))
    return kReport.OutOfMemory(kSiteRaster, kTextCoverage, static_cast<uint64_t>(n) * sizeof(Edge));
  for (size_t i = 0; i < n; ++i) {
    double x0 = PX(poly, i, region), y0 = PY(poly, i, region), x1 = PX(poly, i + 1, region),
           y1 = PY(poly, i + 1, region);
    if (y0 == y1) continue;  // horizontal sides cross no centre line
    if (y0 > y1) std::swap(x0, x1), std::swap(y0, y1);
    edges.Push(Edge{y0, y1, x0, (x1 - x0) / (y1 - y0)});
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.ytop < b.ytop; });
  size_t next = 0;
  ScratchArray<size_t> active;
  if (!active.Reserve(edges.size())) return kReport.OutOfMemory(kSiteRaster, kTextCoverage, active.failedBytes());
  for (int64_t y = 0; y < h; ++y) {
    const double yc = static_cast<double>(y) + 0.5;
    while (next < edges.size() && edges[next].ytop <= yc) active.Push(next++);
    xs.Resize(0);
    size_t keep = 0;
    for (size_t k = 0; k < active.size(); ++k) {
      const Edge& e = edges[active[k]];
      if (e.ybottom <= yc) continue;  // ended above this centre line
      active[keep++] = active[k];
      xs.Push(e.x + (yc - e.ytop) * e.dxdy);
    }
    active.Resize(keep);
    std::sort(xs.begin(), xs.end());
    uint8_t* out = dst + y * stride;
    for (size_t k = 0; k + 1 < xs.size(); k += 2) {
      // Pixels whose centres lie in [xa, xb).
      const double a = std::clamp(std::ceil(xs[k] - 0.5), 0.0, static_cast<double>(w));
      const double b = std::clamp(std::ceil(xs[k + 1] - 0.5), 0.0, static_cast<double>(w));
      if (b > a) std::memset(out + static_cast<int64_t>(a), fill, static_cast<size_t>(b - a));
    }
  }
  return 0;
}

}  // namespace tv::msk
