// MSK's private helpers: the polygon of a shape, the rasterizers and the
// feather.
#pragma once

#include <cstdint>

#include "MSK.h"
#include "Package.h"
#include "Scratch.h"

namespace tv::msk {

enum : uint32_t { kSiteShape = 1, kSiteFlatten, kSiteRaster, kSiteFeather, kSiteWorld, kSiteArgument };

enum TextIndex : int32_t {
  kTextUnknown = 0, kTextBadArgument, kTextNotPath, kTextPolygon, kTextCoverage, kTextCount
};

extern const pkg::Reporter kReport;

// A closed polygon: x, y pairs in pixels (the last point joins the first).
struct Polygon {
  ScratchArray<double> xy;
  size_t size() const { return xy.size() / 2; }
};

// Largest distance of the flattened polygon from the curves, in pixels.
constexpr double kFlatness = 0.05;

// The shape's outline as a polygon (3 for a shape that is not an absolute
// path); an empty polygon for a path without vertices.
ErrorCode FlattenShape(OM_Shape shape, Polygon& out);
// Moves every edge outwards (in the polygon's own turning sense) by d pixels.
ErrorCode ExpandPolygon(Polygon& poly, double d);

// An integer rectangle [x0, x1) x [y0, y1).
struct Box {
  int64_t x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};
// The polygon's bounding box, rounded outwards (empty for no points).
Box PolygonBox(const Polygon& poly);

// Coverage of the polygon over the pixels of region (even-odd), times fill,
// into dst (rows of region width, stride bytes apart).
ErrorCode RasterizeExact(const Polygon& poly, const Box& region, uint8_t fill, uint8_t* dst, int64_t stride);
// Pixels whose centres lie inside get fill, others 0.
ErrorCode RasterizeCentres(const Polygon& poly, const Box& region, uint8_t fill, uint8_t* dst, int64_t stride);

// Half widths of the three box passes of the fast blur for a feather of f
// pixels (0 0 0 for none).
void FeatherPlan(double f, int32_t half[3]);
// Blurs width x height bytes (rows stride apart; width and stride multiples
// of 4) in place with the fast blur's three boxes per direction.
ErrorCode Feather(uint8_t* data, int64_t width, int64_t height, int64_t stride, double featherH, double featherV);

}  // namespace tv::msk
