// Blits in every mode against a plain per-pixel reference (clipped and
// unclipped, scaled, overlapping), the drawing procedures of blit level 1,
// and the PFWorld wrappers.
#include <functional>
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
  uint32_t At(int h, int v) const { return const_cast<Image*>(this)->At(h, v); }
};

uint32_t ReadRaw(const uint8_t* row, int x, int depth) {
  if (depth == 32) return (uint32_t{row[4 * x]} << 24) | (uint32_t{row[4 * x + 1]} << 16) | (uint32_t{row[4 * x + 2]} << 8) | row[4 * x + 3];
  if (depth == 16) return (uint32_t{row[2 * x]} << 8) | row[2 * x + 1];
  if (depth == 8) return row[x];
  const int bit = x * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

Image Reference(const Image& src, Image dst, Rect sr, Rect dr, int mode);

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
  // Blits (through BM_Blit unless `op` is given) and compares with the reference.
  ::testing::AssertionResult Blits(BM_World src, BM_World dst, Rect sr, Rect dr, int mode,
                                   const std::function<ErrorCode()>& op = nullptr) {
    const Image want = Reference(Snap(src), Snap(dst), sr, dr, mode);
    const ErrorCode err = op ? op() : BM_Blit(src, dst, &sr, &dr, mode);
    if (err) return ::testing::AssertionFailure() << "error " << err;
    if (Snap(dst).px != want.px) return ::testing::AssertionFailure() << "pixels differ from the reference";
    return ::testing::AssertionSuccess();
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
      uint32_t s = src.At(sx, sy);
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
      ASSERT_TRUE(Blits(src, dst, c.src, c.dst, mode)) << "mode " << mode << " dst " << c.dst.top << "," << c.dst.left;
    }
  // Boolean modes at the smaller depths.
  for (int depth : {1, 2, 4, 8, 16}) {
    BM_World s = New(21, 7, depth);
    BM_World d = New(19, 8, depth);
    for (int mode = 0; mode <= 7; ++mode) {
      Randomize(s, 7 * depth + mode);
      Randomize(d, 11 * depth + mode);
      ASSERT_TRUE(Blits(s, d, R(1, 2, 6, 20), R(-1, 3, 9, 13), mode)) << "depth " << depth << " mode " << mode;
      ASSERT_TRUE(Blits(s, d, R(0, 0, 7, 19), R(0, 0, 7, 19), mode)) << "depth " << depth << " mode " << mode;
    }
    Dispose(s, d);
  }
  // Channel orders are converted, unscaled and scaled both ways.
  ASSERT_EQ(BM_AssumeChannelOrder(src, BM_Order_BGRA), 0);
  ASSERT_TRUE(Blits(src, dst, R(0, 0, 9, 13), R(0, 0, 10, 11), 0, [&] { return BM_Blit(src, dst, nullptr, nullptr, 0); }));
  ASSERT_TRUE(Blits(src, dst, R(0, 0, 4, 4), R(0, 0, 2, 2), 0));
  ASSERT_TRUE(Blits(src, dst, R(0, 0, 2, 2), R(0, 1, 3, 4), 0));
  Dispose(src, dst);
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
    ASSERT_TRUE(Blits(w, w, c.src, c.dst, 0));
  }
  Dispose(w);
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
  Handle fake = NewHandleClear(64);
  EXPECT_EQ(BM_Blit(reinterpret_cast<BM_World>(fake), a, nullptr, nullptr, 0), tv::kErrDamaged);
  EXPECT_EQ(Last().text, "Test error: damaged World (blit source) -- internal structure damaged.");
  EXPECT_EQ(BM_Blit(a, reinterpret_cast<BM_World>(fake), nullptr, nullptr, 0), tv::kErrDamaged);
  EXPECT_EQ(Last().text, "Test error: damaged World (blit destination) -- internal structure damaged.");
  DisposeHandle(fake);
  // Empty rectangles copy nothing.
  const Rect empty = R(2, 2, 2, 4);
  EXPECT_EQ(BM_Blit(a, a, &empty, nullptr, 0), 0);
  Dispose(a, b, p);

  // Blit levels.
  EXPECT_EQ(BM_SetBlitLevel(0), tv::kErrUnimplemented);
  EXPECT_EQ(Last().text, "Test error: unimplemented routine -- sorry, this is unimplemented.");
  EXPECT_EQ(BM_SetBlitLevel(2), tv::kErrBadParam);
  EXPECT_EQ(Last().text, "Test error: bad BlitLevel selector -- a bad parameter was passed.");
  EXPECT_EQ(Last().location, 0x0700000Cu);
}

// ---- The procedures of blit level 1 ------------------------------------------------

TEST_F(BlitTest, PixelProcedures) {
  const BM_BlitProcs procs = Procs();
  BM_World w = New(5, 5);
  ASSERT_EQ(procs.writePixel(w, 1, 2, 0x11223300), 0);
  EXPECT_EQ(Read(w, 1, 2), 0x11223300u);
  EXPECT_EQ(Bytes(w, 1, 2), Px4({0xFF, 0x11, 0x22, 0x33}));  // written opaque
  uint32_t c = 0;
  EXPECT_EQ(procs.readPixel(w, 5, 0, &c), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("(5, 0) outside"));
  EXPECT_EQ(procs.writePixel(w, 0, -1, 0), tv::kErrBadParam);

  // 16-bit: 5-5-5 with the top bits widened; 8-bit: the index.
  BM_World w16 = New(3, 3, 16);
  ASSERT_EQ(procs.writePixel(w16, 2, 2, 0xFF804000), 0);
  EXPECT_EQ(Read(w16, 2, 2), 0xFF844200u);
  BM_World w8 = New(3, 3, 8);
  ASSERT_EQ(procs.writePixel(w8, 0, 1, 0xAB), 0);
  EXPECT_EQ(Read(w8, 0, 1), 0xABu);

  // Fill, clipped to the World.
  const Rect fr = R(3, 3, 9, 9);
  ASSERT_EQ(procs.fillRect(w, &fr, 0x0000FF00), 0);
  EXPECT_EQ(Read(w, 4, 4), 0x0000FF00u);
  EXPECT_NE(Read(w, 2, 4), 0x0000FF00u);
  Dispose(w, w16, w8);
}

TEST_F(BlitTest, CopyProcedures) {
  const BM_BlitProcs procs = Procs();
  BM_World src = New(6, 6), dst = New(16, 16);
  Randomize(src, 21);
  Randomize(dst, 22);

  // Copy a rectangle to a point; scaled copies: a positive factor multiplies, a negative one divides.
  const Rect sr = R(1, 1, 4, 5), s4 = R(0, 0, 4, 4), s6 = R(0, 0, 6, 6);
  ASSERT_TRUE(Blits(src, dst, sr, R(10, 12, 13, 16), 0,
                    [&] { return procs.copyRectToPoint(src, dst, &sr, Point{10, 12}, 0); }));
  ASSERT_TRUE(Blits(src, dst, s4, R(2, 3, 10, 11), 0, [&] { return procs.scaledCopy(src, dst, &s4, Point{2, 3}, 2); }));
  ASSERT_TRUE(Blits(src, dst, s6, R(0, 0, 3, 3), 0, [&] { return procs.scaledCopy(src, dst, &s6, Point{0, 0}, -2); }));
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
    copies += copyNow;
    EXPECT_EQ(Read(dst, 0, 0) != 0, copyNow) << i;
  }
  EXPECT_EQ(copies, 3);
  EXPECT_EQ(procs.countedCopy(src, dst, nullptr, nullptr, 0, nullptr, 3), tv::kErrBadParam);

  // Copy and install a colour table: a 32-bit World has none.
  EXPECT_EQ(procs.copyInstallLut(src, dst, nullptr, nullptr, 0, nullptr), 0);
  Handle lut = NewHandle(8);
  EXPECT_EQ(procs.copyInstallLut(src, dst, nullptr, nullptr, 0, lut), tv::kErrBadParam);
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
      ASSERT_EQ(after.At(h, v), moved ? before.At(h - 3, v + 2) : before.At(h, v)) << h << "," << v;
    }
  Dispose(src, dst);
}

// ---- PFWorld -------------------------------------------------------------------------

std::array<int, 4> Extent(const PFWorld& pf) {
  return {pf.extentHint.top, pf.extentHint.left, pf.extentHint.bottom, pf.extentHint.right};
}

TEST_F(BMTest, PFNewWorld) {
  PFWorld pf;
  EXPECT_EQ(PF_NewWorld(nullptr, 0, 10, 1, &pf), BM_ErrBadEffectParam);
  EXPECT_EQ(pf.world, nullptr);
  EXPECT_EQ(PF_NewWorld(nullptr, 10, 30001, 1, &pf), BM_ErrBadEffectParam);
  EXPECT_THAT(Last().text, HasSubstr("10 x 30001"));
  EXPECT_EQ(PF_NewWorld(nullptr, 10, 10, 1, nullptr), BM_ErrBadEffectParam);

  ASSERT_EQ(PF_NewWorld(nullptr, 7, 5, 1, &pf), 0);
  EXPECT_EQ(std::make_tuple(pf.kindMagic, pf.worldFlags, pf.width, pf.height, pf.rowBytes, pf.reserved0),
            std::make_tuple(0xAAAABBBBu, 2u, 7, 5, 32, uintptr_t{0}));
  EXPECT_EQ(Extent(pf), (std::array<int, 4>{0, 0, 5, 7}));
  auto* r = tv::bm::Rec(pf.world);
  EXPECT_EQ(std::make_tuple(r->flags, r->lockCount, pf.data, pf.platformRef),
            std::make_tuple(uint32_t{BM_Flag_KeepLocal}, 1, r->baseAddr, static_cast<void*>(r->port)));
  for (int i = 0; i < 5 * 32; ++i) ASSERT_EQ(pf.data[i], 0);

  ASSERT_EQ(PF_DisposeWorld(nullptr, &pf), 0);
  EXPECT_EQ(std::make_tuple(pf.world, pf.kindMagic, pf.data), std::make_tuple(nullptr, 0u, nullptr));
  EXPECT_EQ(PF_DisposeWorld(nullptr, &pf), BM_ErrBadEffectParam);
}

TEST_F(BMTest, PFWrappers) {
  BM_World w = New(9, 6, 32, BM_Flag_KeepLocal);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  PFWorld pf;
  ASSERT_EQ(PF_MakeBMIntoPF(w, nullptr, &pf), 0);
  EXPECT_EQ(std::make_tuple(pf.kindMagic, pf.worldFlags, pf.world, pf.data, pf.rowBytes),
            std::make_tuple(0xAAAACCCCu, 0u, w, BMp_GetPixBaseAddr(w), 40));
  EXPECT_EQ(Extent(pf), (std::array<int, 4>{0, 0, 6, 9}));
  void* port = reinterpret_cast<void*>(1);
  EXPECT_EQ(PF_GetPlatformRefs(nullptr, &pf, &port, nullptr), BM_ErrBadEffectParam);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(PF_DisposeWorld(nullptr, &pf), BM_ErrBadEffectParam);
  EXPECT_THAT(Last().text, HasSubstr("0xAAAACCCC"));

  const Rect extent = R(1, 2, 3, 4);
  ASSERT_EQ(PF_MakeBMIntoPF_Layer(w, 11, 22, 6, &extent, &pf), 0);
  EXPECT_EQ(std::make_tuple(pf.kindMagic, pf.reserved0, pf.reserved1, pf.worldFlags),
            std::make_tuple(0xAAAAAAAAu, 11u, 22u, 6u));
  EXPECT_EQ(Extent(pf), (std::array<int, 4>{1, 2, 3, 4}));
  ASSERT_EQ(PF_GetPlatformRefs(nullptr, &pf, &port, nullptr), 0);
  EXPECT_EQ(port, static_cast<void*>(tv::bm::Rec(w)->port));
  for (uint32_t word : pf.reserved) EXPECT_EQ(word, 0u);

  ASSERT_EQ(BM_UnlockPixels(w), 0);
  // A damaged World is refused and the record zeroed.
  tv::bm::Rec(w)->magic = 0;
  EXPECT_EQ(PF_MakeBMIntoPF(w, nullptr, &pf), tv::kErrDamaged);
  EXPECT_EQ(pf.kindMagic, 0u);
  tv::bm::Rec(w)->magic = tv::bm::kMagic;
  Dispose(w);
}

}  // namespace
