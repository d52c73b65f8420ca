// Blits in every mode against a plain per-pixel reference (clipped and
// unclipped, scaled, overlapping), the drawing procedures of blit level 1,
// and the PFWorld wrappers.
#include <random>
#include <vector>

#include "BM_internal.h"
#include "BM_test_fixture.h"
#include "Memory.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;

// A copy of a World's pixels as values, in its bounds coordinates.
struct Image {
  Rect bounds;
  int depth;
  int order;
  std::vector<uint32_t> px;  // row-major, width x height
  int W() const { return bounds.right - bounds.left; }
  int H() const { return bounds.bottom - bounds.top; }
  bool In(int h, int v) const { return h >= bounds.left && h < bounds.right && v >= bounds.top && v < bounds.bottom; }
  uint32_t& At(int h, int v) { return px[static_cast<size_t>((v - bounds.top) * W() + (h - bounds.left))]; }
};

uint32_t ReadRaw(const uint8_t* row, int x, int depth) {
  if (depth == 32) return (uint32_t{row[4 * x]} << 24) | (uint32_t{row[4 * x + 1]} << 16) | (uint32_t{row[4 * x + 2]} << 8) | row[4 * x + 3];
  if (depth == 16) return (uint32_t{row[2 * x]} << 8) | row[2 * x + 1];
  if (depth == 8) return row[x];
  const int bit = x * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

class BlitTest : public BMTest {
 protected:
  Image Snap(BM_World w) {
    Image img;
    BM_GetWorldBounds(w, &img.bounds);
    int32_t d = 0, rb = 0;
    BM_GetWorldInfo(w, nullptr, nullptr, &d, &rb);
    img.depth = d;
    BM_GetChannelOrder(w, &img.order);
    img.px.resize(static_cast<size_t>(img.W() * img.H()));
    EXPECT_EQ(BM_LockPixels(0, w, nullptr), 0);
    const auto* base = reinterpret_cast<const uint8_t*>(BMp_GetPixBaseAddr(w));
    // The base address is the World's top-left; sub-byte sub-worlds here are aligned.
    for (int v = 0; v < img.H(); ++v)
      for (int h = 0; h < img.W(); ++h) img.px[static_cast<size_t>(v * img.W() + h)] = ReadRaw(base + v * rb, h, d);
    EXPECT_EQ(BM_UnlockPixels(w), 0);
    return img;
  }
  void Randomize(BM_World w, uint32_t seed) {
    std::mt19937 rng(seed);
    int32_t h = 0, rb = 0;
    BM_GetWorldInfo(w, nullptr, &h, nullptr, &rb);
    ASSERT_EQ(BM_LockPixels(0, w, nullptr), 0);
    char* p = BMp_GetPixBaseAddr(w);
    for (int i = 0; i < h * rb; ++i) p[i] = static_cast<char>(rng() & 0xFF);
    // A few white pixels for the transparent mode.
    for (int i = 0; i + 4 <= h * rb; i += 28) p[i + 1] = p[i + 2] = p[i + 3] = static_cast<char>(0xFF);
    ASSERT_EQ(BM_UnlockPixels(w), 0);
  }
};

uint32_t Channelwise(uint32_t s, uint32_t d, int mode) {
  uint32_t out = 0;
  for (int k = 0; k < 4; ++k) {
    const int a = (s >> (8 * k)) & 0xFF, b = (d >> (8 * k)) & 0xFF;
    int r = 0;
    switch (mode) {
      case 8: r = (a + b + 1) / 2; break;                 // blend: average
      case 9: r = a + b > 255 ? 255 : a + b; break;       // add with pin
      case 10: r = (a + b) % 256; break;                  // add with wrap
      case 11: r = b - a < 0 ? 0 : b - a; break;          // subtract with pin
      case 12: r = a > b ? a : b; break;                  // maximum
      case 13: r = (b - a + 256) % 256; break;            // subtract with wrap
      case 14: r = a < b ? a : b; break;                  // minimum
    }
    out |= static_cast<uint32_t>(r) << (8 * k);
  }
  return out;
}

// The reference: every destination pixel of dstRect inside the destination
// takes the nearest source pixel, when that lies inside the source.
Image Reference(const Image& src, Image dst, Rect sr, Rect dr, int mode) {
  const int sw = sr.right - sr.left, sh = sr.bottom - sr.top, dw = dr.right - dr.left, dh = dr.bottom - dr.top;
  const uint32_t mask = dst.depth == 32 ? 0xFFFFFFFFu : (1u << dst.depth) - 1;
  for (int v = dr.top; v < dr.bottom; ++v)
    for (int h = dr.left; h < dr.right; ++h) {
      if (!dst.In(h, v)) continue;
      const int sx = sr.left + static_cast<int>(static_cast<int64_t>(h - dr.left) * sw / dw);
      const int sy = sr.top + static_cast<int>(static_cast<int64_t>(v - dr.top) * sh / dh);
      if (!src.In(sx, sy)) continue;
      uint32_t s = const_cast<Image&>(src).At(sx, sy);
      if (mode == 17) {
        const uint32_t colour = src.order == BM_Order_BGRA ? s >> 8 : s & 0xFFFFFF;
        if (colour == 0xFFFFFF) continue;
      }
      if (src.depth == 32 && src.order != dst.order)
        s = (s >> 24) | ((s >> 8) & 0xFF00) | ((s << 8) & 0xFF0000) | (s << 24);
      uint32_t& d = dst.At(h, v);
      const uint32_t ns = ~s & mask;
      switch (mode) {
        case 0: case 15: case 16: case 17: d = s; break;
        case 1: d |= s; break;
        case 2: d ^= s; break;
        case 3: d &= ~s & mask; break;
        case 4: d = ns; break;
        case 5: d |= ns; break;
        case 6: d ^= ns; break;
        case 7: d &= ~ns & mask; break;
        default: d = Channelwise(s, d, mode); break;
      }
    }
  return dst;
}

struct RectPair {
  Rect src, dst;
};

TEST_F(BlitTest, EveryModeMatchesTheReference) {
  const RectPair cases[] = {
      {R(0, 0, 9, 13), R(0, 0, 9, 13)},        // whole, unscaled
      {R(2, 3, 7, 9), R(5, 1, 10, 7)},         // inner, unscaled
      {R(-3, -2, 6, 8), R(4, 6, 13, 16)},      // source and destination partly outside
      {R(1, 1, 5, 5), R(0, 0, 8, 8)},          // scaled up 2x
      {R(0, 0, 9, 13), R(1, 2, 5, 8)},         // scaled down
      {R(0, 0, 3, 5), R(2, 2, 11, 14)},        // 3 -> 9 rows, 5 -> 12 columns
      {R(0, 0, 9, 13), R(-4, -7, 30, 40)},     // much larger than the destination
      {R(20, 20, 30, 30), R(0, 0, 9, 13)},     // source entirely outside: nothing written
      {R(-2, -4, 8, 12), R(1, 0, 6, 8)},       // whole-number reduction, partly outside
  };
  BM_World src = New(13, 9);
  BM_World dst = New(11, 10);
  for (int mode = 0; mode <= 17; ++mode)
    for (const RectPair& c : cases) {
      Randomize(src, 1 + mode);
      Randomize(dst, 100 + mode);
      const Image before = Snap(dst);
      const Image want = Reference(Snap(src), before, c.src, c.dst, mode);
      ASSERT_EQ(BM_Blit(src, dst, &c.src, &c.dst, mode), 0) << mode;
      const Image got = Snap(dst);
      ASSERT_EQ(got.px, want.px) << "mode " << mode << " dst " << c.dst.top << "," << c.dst.left;
    }
  EXPECT_EQ(BM_DisposeWorld(src), 0);
  EXPECT_EQ(BM_DisposeWorld(dst), 0);
}

TEST_F(BlitTest, BooleanModesAtSmallDepths) {
  for (int depth : {1, 2, 4, 8, 16}) {
    BM_World src = New(21, 7, depth);
    BM_World dst = New(19, 8, depth);
    for (int mode = 0; mode <= 7; ++mode) {
      Randomize(src, 7 * depth + mode);
      Randomize(dst, 11 * depth + mode);
      const Rect sr = R(1, 2, 6, 20), dr = R(-1, 3, 9, 13);
      const Image want = Reference(Snap(src), Snap(dst), sr, dr, mode);
      ASSERT_EQ(BM_Blit(src, dst, &sr, &dr, mode), 0);
      ASSERT_EQ(Snap(dst).px, want.px) << "depth " << depth << " mode " << mode;
      const Rect whole = R(0, 0, 7, 19);
      const Image want2 = Reference(Snap(src), Snap(dst), whole, whole, mode);
      ASSERT_EQ(BM_Blit(src, dst, &whole, &whole, mode), 0);
      ASSERT_EQ(Snap(dst).px, want2.px) << "depth " << depth << " mode " << mode;
    }
    EXPECT_EQ(BM_DisposeWorld(src), 0);
    EXPECT_EQ(BM_DisposeWorld(dst), 0);
  }
}

TEST_F(BlitTest, OverlappingCopiesReadTheOriginalPixels) {
  BM_World w = New(12, 12);
  const RectPair cases[] = {
      {R(0, 0, 8, 8), R(2, 3, 10, 11)},
      {R(3, 3, 11, 11), R(0, 1, 8, 9)},
      {R(0, 0, 6, 6), R(1, 1, 12, 12)},  // scaled onto itself
  };
  for (const RectPair& c : cases) {
    Randomize(w, 5);
    const Image before = Snap(w);
    const Image want = Reference(before, before, c.src, c.dst, 0);
    ASSERT_EQ(BM_Blit(w, w, &c.src, &c.dst, 0), 0);
    ASSERT_EQ(Snap(w).px, want.px);
  }
  // A sub-World copied into its parent shares the memory.
  Rect cb = R(2, 2, 10, 10);
  BM_World child = nullptr;
  ASSERT_EQ(BM_NewWorld(w, 3, &cb, 0, 0, nullptr, &child), 0);
  Randomize(w, 9);
  const Rect dr = R(0, 0, 8, 8);
  const Image want = Reference(Snap(child), Snap(w), cb, dr, 0);
  ASSERT_EQ(BM_Blit(child, w, nullptr, &dr, 0), 0);
  ASSERT_EQ(Snap(w).px, want.px);
  // Writing through a sub-World stays inside it.
  Randomize(w, 10);
  BM_World other = New(20, 20);
  Randomize(other, 11);
  const Rect big = R(0, 0, 20, 20);
  const Image wantParent = Reference(Snap(other), Snap(w), big, big, 0);
  Image expected = Snap(w);
  for (int v = 2; v < 10; ++v)
    for (int h = 2; h < 10; ++h) expected.At(h, v) = const_cast<Image&>(wantParent).At(h, v);
  ASSERT_EQ(BM_Blit(other, child, &big, &big, 0), 0);
  ASSERT_EQ(Snap(w).px, expected.px);
  EXPECT_EQ(BM_DisposeWorld(other), 0);
  EXPECT_EQ(BM_DisposeWorld(child), 0);
  EXPECT_EQ(BM_DisposeWorld(w), 0);
}

TEST_F(BlitTest, ChannelOrdersAreConverted) {
  BM_World src = New(4, 4);
  BM_World dst = New(4, 4);
  Randomize(src, 3);
  ASSERT_EQ(BM_AssumeChannelOrder(src, BM_Order_BGRA), 0);
  const Image want = Reference(Snap(src), Snap(dst), R(0, 0, 4, 4), R(0, 0, 4, 4), 0);
  ASSERT_EQ(BM_Blit(src, dst, nullptr, nullptr, 0), 0);
  ASSERT_EQ(Snap(dst).px, want.px);
  // Scaled, both ways.
  for (const RectPair& c : {RectPair{R(0, 0, 4, 4), R(0, 0, 2, 2)}, RectPair{R(0, 0, 2, 2), R(0, 1, 3, 4)}}) {
    const Image w2 = Reference(Snap(src), Snap(dst), c.src, c.dst, 0);
    ASSERT_EQ(BM_Blit(src, dst, &c.src, &c.dst, 0), 0);
    ASSERT_EQ(Snap(dst).px, w2.px);
  }
  EXPECT_EQ(BM_DisposeWorld(src), 0);
  EXPECT_EQ(BM_DisposeWorld(dst), 0);
}

TEST_F(BlitTest, BlitErrors) {
  BM_World a = New(4, 4), b = New(4, 4, 8), p = New(4, 4, 32, BM_Flag_Purgeable);
  EXPECT_EQ(BM_Blit(a, a, nullptr, nullptr, 19), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("bad blit mode 19"));
  EXPECT_EQ(Last().location, 0x0700000Bu);
  EXPECT_EQ(BM_Blit(a, a, nullptr, nullptr, -1), tv::kErrBadParam);
  EXPECT_EQ(BM_Blit(a, b, nullptr, nullptr, 0), tv::kErrBadParam);
  EXPECT_EQ(BM_Blit(b, b, nullptr, nullptr, 9), tv::kErrBadParam);
  EXPECT_EQ(BM_Blit(b, b, nullptr, nullptr, 17), tv::kErrBadParam);
  EXPECT_EQ(BM_Blit(a, a, nullptr, nullptr, 18), tv::kErrUnimplemented);
  ASSERT_EQ(BM_SetPixelsState(1, 1, p), 0);
  EXPECT_EQ(BM_Blit(p, a, nullptr, nullptr, 0), BM_ErrPixelsPurged);
  EXPECT_EQ(BM_Blit(a, p, nullptr, nullptr, 0), BM_ErrPixelsPurged);
  EXPECT_EQ(tv::bm::Rec(a)->lockCount, 0);
  // Empty rectangles copy nothing.
  const Rect empty = R(2, 2, 2, 4);
  EXPECT_EQ(BM_Blit(a, a, &empty, nullptr, 0), 0);
  for (BM_World w : {a, b, p}) EXPECT_EQ(BM_DisposeWorld(w), 0);
}

// ---- Blit level and its procedures ---------------------------------------------

TEST_F(BlitTest, BlitLevels) {
  EXPECT_EQ(BM_SetBlitLevel(0), tv::kErrUnimplemented);
  EXPECT_THAT(Last().text, HasSubstr("unimplemented routine"));
  EXPECT_EQ(BM_SetBlitLevel(2), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("bad BlitLevel selector"));
  EXPECT_EQ(Last().location, 0x0700000Cu);
  BM_BlitProcs procs;
  ASSERT_EQ(BMp_GetBlitProcs(&procs), 0);
  EXPECT_NE(procs.readPixel, nullptr);
  EXPECT_NE(procs.scaledCopy, nullptr);
}

TEST_F(BlitTest, PixelProcedures) {
  BM_BlitProcs procs;
  ASSERT_EQ(BMp_GetBlitProcs(&procs), 0);
  BM_World w = New(5, 5);
  ASSERT_EQ(procs.writePixel(w, 1, 2, 0x11223300), 0);
  uint32_t c = 0;
  ASSERT_EQ(procs.readPixel(w, 1, 2, &c), 0);
  EXPECT_EQ(c, 0x11223300u);
  ASSERT_EQ(BM_LockPixels(0, w, nullptr), 0);
  EXPECT_EQ(Px(w, 1, 2)[0], 0xFF);  // written opaque
  EXPECT_EQ(Px(w, 1, 2)[1], 0x11);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  EXPECT_EQ(procs.readPixel(w, 5, 0, &c), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("(5, 0) outside"));
  EXPECT_EQ(procs.writePixel(w, 0, -1, 0), tv::kErrBadParam);

  // 16-bit: 5-5-5 with the top bits widened; 8-bit: the index.
  BM_World w16 = New(3, 3, 16);
  ASSERT_EQ(procs.writePixel(w16, 2, 2, 0xFF804000), 0);
  ASSERT_EQ(procs.readPixel(w16, 2, 2, &c), 0);
  EXPECT_EQ(c, 0xFF844200u);
  BM_World w8 = New(3, 3, 8);
  ASSERT_EQ(procs.writePixel(w8, 0, 1, 0xAB), 0);
  ASSERT_EQ(procs.readPixel(w8, 0, 1, &c), 0);
  EXPECT_EQ(c, 0xABu);

  // Fill, clipped to the World.
  const Rect fr = R(3, 3, 9, 9);
  ASSERT_EQ(procs.fillRect(w, &fr, 0x0000FF00), 0);
  ASSERT_EQ(procs.readPixel(w, 4, 4, &c), 0);
  EXPECT_EQ(c, 0x0000FF00u);
  ASSERT_EQ(procs.readPixel(w, 2, 4, &c), 0);
  EXPECT_NE(c, 0x0000FF00u);
  for (BM_World x : {w, w16, w8}) EXPECT_EQ(BM_DisposeWorld(x), 0);
}

TEST_F(BlitTest, CopyProcedures) {
  BM_BlitProcs procs;
  ASSERT_EQ(BMp_GetBlitProcs(&procs), 0);
  BM_World src = New(6, 6), dst = New(16, 16);
  Randomize(src, 21);
  Randomize(dst, 22);

  // Copy a rectangle to a point.
  const Rect sr = R(1, 1, 4, 5);
  Image want = Reference(Snap(src), Snap(dst), sr, R(10, 12, 13, 16), 0);
  ASSERT_EQ(procs.copyRectToPoint(src, dst, &sr, Point{10, 12}, 0), 0);
  ASSERT_EQ(Snap(dst).px, want.px);

  // Scaled copies: a positive factor multiplies, a negative one divides.
  const Rect s4 = R(0, 0, 4, 4);
  want = Reference(Snap(src), Snap(dst), s4, R(2, 3, 10, 11), 0);
  ASSERT_EQ(procs.scaledCopy(src, dst, &s4, Point{2, 3}, 2), 0);
  ASSERT_EQ(Snap(dst).px, want.px);
  const Image sImg = Snap(src);
  const Image dImg = Snap(dst);
  for (int v = 0; v < 8; ++v)
    for (int h = 0; h < 8; ++h)
      ASSERT_EQ(const_cast<Image&>(dImg).At(3 + h, 2 + v), const_cast<Image&>(sImg).At(h / 2, v / 2));
  want = Reference(Snap(src), Snap(dst), R(0, 0, 6, 6), R(0, 0, 3, 3), 0);
  const Rect s6 = R(0, 0, 6, 6);
  ASSERT_EQ(procs.scaledCopy(src, dst, &s6, Point{0, 0}, -2), 0);
  ASSERT_EQ(Snap(dst).px, want.px);
  EXPECT_EQ(procs.scaledCopy(src, dst, &s6, Point{0, 0}, 0), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("bad scale factor 0"));
  EXPECT_EQ(procs.scaledCopy(src, dst, &s6, Point{0, 0}, 10000), tv::kErrBadParam);

  // Counted copy: copies on the first of every `start` calls.
  int32_t counter = 3;
  int copies = 0;
  for (int i = 0; i < 7; ++i) {
    ASSERT_EQ(BM_ClearWorldToZeros(dst), 0);
    const bool copyNow = counter == 3;
    ASSERT_EQ(procs.countedCopy(src, dst, nullptr, nullptr, 0, &counter, 3), 0);
    uint32_t c = 0;
    ASSERT_EQ(procs.readPixel(dst, 0, 0, &c), 0);
    if (copyNow) ++copies;
    EXPECT_EQ(c != 0, copyNow) << i;
  }
  EXPECT_EQ(copies, 3);
  EXPECT_EQ(procs.countedCopy(src, dst, nullptr, nullptr, 0, nullptr, 3), tv::kErrBadParam);

  // Copy and install a colour table: none can be installed here.
  EXPECT_EQ(procs.copyInstallLut(src, dst, nullptr, nullptr, 0, nullptr), 0);
  Handle lut = NewHandle(8);
  EXPECT_EQ(procs.copyInstallLut(src, dst, nullptr, nullptr, 0, lut), tv::kErrUnimplemented);
  DisposeHandle(lut);
  EXPECT_EQ(procs.copy(src, dst, nullptr, nullptr, 0), 0);

  // Scrolling moves the contents inside the rectangle.
  Randomize(dst, 23);
  const Image before = Snap(dst);
  const Rect area = R(2, 2, 12, 12);
  ASSERT_EQ(procs.scrollRect(dst, &area, 3, -2), 0);
  const Image after = Snap(dst);
  for (int v = 0; v < 16; ++v)
    for (int h = 0; h < 16; ++h) {
      const bool moved = v >= 2 && v < 10 && h >= 5 && h < 12;
      const uint32_t expected = moved ? const_cast<Image&>(before).At(h - 3, v + 2) : const_cast<Image&>(before).At(h, v);
      ASSERT_EQ(const_cast<Image&>(after).At(h, v), expected) << h << "," << v;
    }
  for (BM_World x : {src, dst}) EXPECT_EQ(BM_DisposeWorld(x), 0);
}

// ---- PFWorld -------------------------------------------------------------------------

TEST_F(BMTest, PFNewWorld) {
  PFWorld pf;
  EXPECT_EQ(PF_NewWorld(nullptr, 0, 10, 1, &pf), BM_ErrBadEffectParam);
  EXPECT_EQ(pf.world, nullptr);
  EXPECT_EQ(PF_NewWorld(nullptr, 10, 30001, 1, &pf), BM_ErrBadEffectParam);
  EXPECT_THAT(Last().text, HasSubstr("10 x 30001"));
  EXPECT_EQ(PF_NewWorld(nullptr, 10, 10, 1, nullptr), BM_ErrBadEffectParam);

  ASSERT_EQ(PF_NewWorld(nullptr, 7, 5, 1, &pf), 0);
  EXPECT_EQ(pf.kindMagic, 0xAAAABBBBu);
  EXPECT_EQ(pf.worldFlags, 2u);
  EXPECT_EQ(pf.width, 7);
  EXPECT_EQ(pf.height, 5);
  EXPECT_EQ(pf.rowBytes, 32);
  EXPECT_EQ(pf.extentHint.top, 0);
  EXPECT_EQ(pf.extentHint.left, 0);
  EXPECT_EQ(pf.extentHint.bottom, 5);
  EXPECT_EQ(pf.extentHint.right, 7);
  EXPECT_EQ(pf.reserved0, 0u);
  auto* r = tv::bm::Rec(pf.world);
  EXPECT_EQ(r->flags, uint32_t{BM_Flag_KeepLocal});
  EXPECT_EQ(r->lockCount, 1);
  EXPECT_EQ(pf.data, r->baseAddr);
  EXPECT_EQ(pf.platformRef, static_cast<void*>(r->port));
  for (int i = 0; i < 5 * 32; ++i) ASSERT_EQ(pf.data[i], 0);
  void* port = nullptr;
  void* device = nullptr;
  ASSERT_EQ(PF_GetPlatformRefs(nullptr, &pf, &port, &device), 0);
  EXPECT_EQ(port, static_cast<void*>(r->port));
  EXPECT_EQ(device, static_cast<void*>(r->device));

  ASSERT_EQ(PF_DisposeWorld(nullptr, &pf), 0);
  EXPECT_EQ(pf.world, nullptr);
  EXPECT_EQ(pf.kindMagic, 0u);
  EXPECT_EQ(pf.data, nullptr);
  EXPECT_EQ(PF_DisposeWorld(nullptr, &pf), BM_ErrBadEffectParam);
}

TEST_F(BMTest, PFWrappers) {
  BM_World w = New(9, 6, 32, BM_Flag_KeepLocal);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  PFWorld pf;
  ASSERT_EQ(PF_MakeBMIntoPF(w, nullptr, &pf), 0);
  EXPECT_EQ(pf.kindMagic, 0xAAAACCCCu);
  EXPECT_EQ(pf.worldFlags, 0u);
  EXPECT_EQ(pf.world, w);
  EXPECT_EQ(pf.data, BMp_GetPixBaseAddr(w));
  EXPECT_EQ(pf.rowBytes, 40);
  EXPECT_EQ(pf.extentHint.bottom, 6);
  EXPECT_EQ(pf.extentHint.right, 9);
  void* port = reinterpret_cast<void*>(1);
  EXPECT_EQ(PF_GetPlatformRefs(nullptr, &pf, &port, nullptr), BM_ErrBadEffectParam);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(PF_DisposeWorld(nullptr, &pf), BM_ErrBadEffectParam);
  EXPECT_THAT(Last().text, HasSubstr("0xAAAACCCC"));

  const Rect extent = R(1, 2, 3, 4);
  ASSERT_EQ(PF_MakeBMIntoPF_Layer(w, 11, 22, 6, &extent, &pf), 0);
  EXPECT_EQ(pf.kindMagic, 0xAAAAAAAAu);
  EXPECT_EQ(pf.reserved0, 11u);
  EXPECT_EQ(pf.reserved1, 22u);
  EXPECT_EQ(pf.worldFlags, 6u);
  EXPECT_EQ(pf.extentHint.top, 1);
  EXPECT_EQ(pf.extentHint.right, 4);
  ASSERT_EQ(PF_GetPlatformRefs(nullptr, &pf, &port, nullptr), 0);
  EXPECT_EQ(port, static_cast<void*>(tv::bm::Rec(w)->port));
  for (uint32_t word : pf.reserved) EXPECT_EQ(word, 0u);

  ASSERT_EQ(BM_UnlockPixels(w), 0);
  // A damaged World is refused and the record zeroed.
  tv::bm::Rec(w)->magic = 0;
  EXPECT_EQ(PF_MakeBMIntoPF(w, nullptr, &pf), tv::kErrDamaged);
  EXPECT_EQ(pf.kindMagic, 0u);
  tv::bm::Rec(w)->magic = tv::bm::kMagic;
  ASSERT_EQ(BM_DisposeWorld(w), 0);
}

}  // namespace
