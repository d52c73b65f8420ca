// Drawing a laid-out text into a world: the coverage of every shown glyph is
// added into a fill mask (and, with a stroke, a stroke mask of the glyphs
// grown by the stroke width) over the part of the world the text covers;
// the masks then give one text pixel each, the fill over the stroke, laid
// over the world's straight-alpha pixels at the text's opacity. Glyphs that
// touch add their coverage, so joined letters show no seam.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FLT_text.h"

namespace tv::flt::text {
namespace {

// a * b / 255, rounded.
inline uint32_t Mul(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

struct Box {
  int32_t left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
};

Box Intersect(const Box& a, const Box& b) {
  return Box{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
}

// Adds a glyph's coverage into a mask over box (saturating).
void Accumulate(const Coverage& c, const Box& box, uint8_t* mask) {
  const Box g = Intersect(box, Box{c.left, c.top, c.left + c.width, c.top + c.height});
  if (g.Empty()) return;
  const int32_t w = box.right - box.left, n = g.right - g.left;
  for (int32_t y = g.top; y < g.bottom; ++y) {
    const uint8_t* src = c.rows + static_cast<ptrdiff_t>(y - c.top) * c.width + (g.left - c.left);
    uint8_t* dst = mask + static_cast<ptrdiff_t>(y - box.top) * w + (g.left - box.left);
    for (int32_t x = 0; x < n; ++x) {
      const uint32_t v = uint32_t{dst[x]} + src[x];
      dst[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
  }
}

// Lays the text pixel (alpha ta, straight colour r, g, b) over p.
inline void Over(uint8_t* p, uint32_t ta, uint32_t r, uint32_t g, uint32_t b) {
  if (ta == 0) return;
  const uint32_t da = p[0];
  if (da == 0 || ta == 255) {
    p[0] = static_cast<uint8_t>(ta);
    p[1] = static_cast<uint8_t>(r);
    p[2] = static_cast<uint8_t>(g);
    p[3] = static_cast<uint8_t>(b);
    return;
  }
  const uint32_t rest = Mul(da, 255 - ta);
  const uint32_t oa = ta + rest;
  p[0] = static_cast<uint8_t>(oa);
  p[1] = static_cast<uint8_t>((r * ta + p[1] * rest + oa / 2) / oa);
  p[2] = static_cast<uint8_t>((g * ta + p[2] * rest + oa / 2) / oa);
  p[3] = static_cast<uint8_t>((b * ta + p[3] * rest + oa / 2) / oa);
}

}  // namespace

ErrorCode Draw(Fonts& fonts, GlyphCache& cache, const Layout& layout, const Paint& paint, PFWorld* world) {
  const uint32_t opacity =
      static_cast<uint32_t>(std::clamp(std::floor(paint.opacity * 255.0 / 100.0 + 0.5), 0.0, 255.0));
  if (opacity == 0 || (paint.fill[0] == 0 && (paint.stroke[0] == 0 || !(paint.strokeWidth > 0)))) return 0;
  const bool stroked = paint.strokeWidth > 0 && paint.stroke[0] > 0;
  const int32_t stroke26 =
      stroked ? static_cast<int32_t>(std::clamp(std::floor(paint.strokeWidth * 64 + 0.5), 1.0, 200.0 * 64)) : 0;
  const Box frame{0, 0, world->width, world->height};
  // What a glyph may reach from its pen (the widest glyphs, ligatures of
  // whole words, span a few ems) and the stroke: glyphs farther outside the
  // world are not drawn.
  const int32_t reach = 8 * (layout.size26 >> 6) + (stroke26 >> 6) + 2;

  ScratchArray<Coverage> fills, strokes;
  Box box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  ErrorCode err = 0;
  for (const Glyph& g : layout.glyphs) {
    if (!g.shown) continue;
    const int32_t px = g.x >> 6, py = g.y >> 6;
    if (px + reach < 0 || py + reach < 0 || px - reach > frame.right || py - reach > frame.bottom) continue;
    Coverage f{}, s{};
    if ((err = cache.Get(fonts, g, layout.size26, 0, &f))) break;
    if (stroked && (err = cache.Get(fonts, g, layout.size26, stroke26, &s))) break;
    const Coverage& outer = stroked ? s : f;
    if (outer.width <= 0 || outer.height <= 0) continue;
    if (!fills.Push(f) || (stroked && !strokes.Push(s))) {
      err = kReport.OutOfMemory(kSiteTextDraw, kTextTextMemory, fills.failedBytes() + strokes.failedBytes());
      break;
    }
    box = Box{std::min(box.left, outer.left), std::min(box.top, outer.top),
              std::max(box.right, outer.left + outer.width), std::max(box.bottom, outer.top + outer.height)};
  }
  box = Intersect(box, frame);
  if (!err && !fills.empty() && !box.Empty()) {
    const int32_t w = box.right - box.left, h = box.bottom - box.top;
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    ScratchArray<uint8_t> fill(area, true), stroke(stroked ? area : 0, true);
    if (!fill.ok() || !stroke.ok()) {
      err = kReport.OutOfMemory(kSiteTextDraw, kTextTextMemory, fill.failedBytes() + stroke.failedBytes());
    } else {
      for (const Coverage& c : fills) Accumulate(c, box, fill.data());
      for (const Coverage& c : strokes) Accumulate(c, box, stroke.data());
      const uint32_t fa = paint.fill[0], fr = paint.fill[1], fg = paint.fill[2], fb = paint.fill[3];
      const uint32_t sa = paint.stroke[0], sr = paint.stroke[1], sg = paint.stroke[2], sb = paint.stroke[3];
      for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = reinterpret_cast<uint8_t*>(world->data) + static_cast<ptrdiff_t>(box.top + y) * world->rowBytes +
                       4 * static_cast<ptrdiff_t>(box.left);
        const uint8_t* fm = fill.data() + static_cast<size_t>(y) * w;
        if (!stroked) {
          for (int32_t x = 0; x < w; ++x)
            if (fm[x]) Over(row + 4 * x, Mul(Mul(fm[x], fa), opacity), fr, fg, fb);
          continue;
        }
        const uint8_t* sm = stroke.data() + static_cast<size_t>(y) * w;
        for (int32_t x = 0; x < w; ++x) {
          if (!fm[x] && !sm[x]) continue;
          // The fill over the stroke makes one text pixel.
          const uint32_t top = Mul(fm[x], fa), under = Mul(Mul(sm[x], sa), 255 - top);
          const uint32_t a = top + under;
          if (a == 0) continue;
          Over(row + 4 * x, Mul(a, opacity), (fr * top + sr * under + a / 2) / a, (fg * top + sg * under + a / 2) / a,
               (fb * top + sb * under + a / 2) / a);
        }
      }
    }
  }
  cache.Release();
  return err;
}

}  // namespace tv::flt::text
