// Coverage ("uno") buffers, channel copies, planes, wireframes and spots.
#include <gmock/gmock.h>

#include "../../effects/PF_internal.h"
#include "Memory.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFUno : public PFFixture {};

// A buffer made, filled by fn(x, y), and disposed at scope end.
struct Uno {
  PF_UnoBuffer b = nullptr;
  int32_t w, h;
  Uno(int32_t width, int32_t height) : w(width), h(height) { EXPECT_EQ(PF_NewUnoBuffer(w, h, &b), 0); }
  ~Uno() {
    if (b) {
      EXPECT_EQ(PF_DisposeUnoBuffer(b), 0);
    }
  }
  template <typename F>
  void Fill(F fn) {
    uint8_t* p = nullptr;
    int32_t rb = 0;
    ASSERT_EQ(PF_LockUnoBuffer(b, &p, &rb), 0);
    ASSERT_EQ(rb, w);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) p[y * w + x] = static_cast<uint8_t>(fn(x, y));
    ASSERT_EQ(PF_UnlockUnoBuffer(b), 0);
  }
  std::vector<uint8_t> Bytes() {
    uint8_t* p = nullptr;
    EXPECT_EQ(PF_LockUnoBuffer(b, &p, nullptr), 0);
    std::vector<uint8_t> v(p, p + size_t(w) * h);
    EXPECT_EQ(PF_UnlockUnoBuffer(b), 0);
    return v;
  }
};

TEST_F(PFUno, BuffersStartClearAndLockInNests) {
  Uno u(7, 3);
  int32_t w = 0, h = 0;
  ASSERT_EQ(PF_GetUnoBufferSize(u.b, &w, &h), 0);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(7, 3));
  EXPECT_THAT(u.Bytes(), ::testing::Each(0));
  ASSERT_EQ(PF_FillUnoBuffer(200, u.b), 0);
  EXPECT_THAT(u.Bytes(), ::testing::Each(200));
  uint8_t *a = nullptr, *b = nullptr;
  ASSERT_EQ(PF_LockUnoBuffer(u.b, &a, nullptr), 0);
  ASSERT_EQ(PF_LockUnoBuffer(u.b, &b, nullptr), 0);
  EXPECT_EQ(a, b);
  ASSERT_EQ(PF_UnlockUnoBuffer(u.b), 0);
  ASSERT_EQ(PF_UnlockUnoBuffer(u.b), 0);
  // Unlocking an unlocked buffer is a failed verification.
  EXPECT_EQ(PF_UnlockUnoBuffer(u.b), kErrDamaged);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 0x53));
  EXPECT_EQ(rec.last().text, "Test error: Verification failure: PF_UnlockUnoBuffer: buffer not locked {0}");
}

TEST_F(PFUno, BadBuffersAndSizesAreRefused) {
  PF_UnoBuffer out = reinterpret_cast<PF_UnoBuffer>(1);
  EXPECT_EQ(PF_NewUnoBuffer(0, 5, &out), 516);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(PF_NewUnoBuffer(30001, 5, &out), 516);
  EXPECT_EQ(PF_NewUnoBuffer(5, 5, nullptr), 516);
  Handle fake = NewHandleClear(64);
  EXPECT_EQ(PF_FillUnoBuffer(1, fake), kErrDamaged);
  EXPECT_EQ(PF_DisposeUnoBuffer(fake), kErrDamaged);
  EXPECT_EQ(PF_InvertUnoBuffer(nullptr), kErrDamaged);
  DisposeHandle(fake);
  EXPECT_EQ(rec.reports.size(), 6u);
  EXPECT_EQ(rec.last().text, "Test error: Verification failure: PF_InvertUnoBuffer {-17978438}");
  EXPECT_EQ(rec.last().location, tv::Location(37, 0x53));
}

TEST_F(PFUno, InvertAndFadeRefusesBadOpacitiesAndStopsOnAbort) {
  Uno u(256, 1);
  u.Fill([](int32_t x, int32_t) { return x; });
  const std::vector<uint8_t> v = u.Bytes();
  EXPECT_EQ(PF_InvertAndFadeUnoBuffer(nullptr, 256, u.b), 516);
  // The abort hook runs first; its error stops the pass before any change.
  PF_AbortRecord abort{nullptr, [](void*) -> ErrorCode { return 517; }};
  EXPECT_EQ(PF_InvertAndFadeUnoBuffer(&abort, 255, u.b), 517);
  EXPECT_EQ(u.Bytes(), v);
}

TEST_F(PFUno, AccumulateEveryModeOverEveryPair) {
  for (int32_t mode : {1, 2, 3, 4, 5, 6, 0, 99}) {
    Uno s(256, 256), d(256, 256);
    s.Fill([](int32_t x, int32_t) { return x; });
    d.Fill([](int32_t, int32_t y) { return y; });
    ASSERT_EQ(PF_AccumulateUnoBuffers(mode, s.b, nullptr, d.b), 0);
    const std::vector<uint8_t> v = d.Bytes();
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        int e;
        switch (mode) {
          case 2: e = M8(255 - x, y); break;
          case 3: e = M8(x, y); break;
          case 4: e = std::max(x, y); break;
          case 5: e = std::min(x, y); break;
          case 6: e = std::abs(x - y); break;
          default: e = 255 - M8(255 - x, 255 - y); break;
        }
        ASSERT_EQ(v[y * 256 + x], e) << "mode " << mode << " s " << x << " d " << y;
      }
  }
}

TEST_F(PFUno, OutsideTheNewMaskOnlyIntersectAndDarkenClear) {
  const Rect span{1, 2, 3, 5};
  for (int32_t mode : {PF_UnoMode_Intersect, PF_UnoMode_Lighten}) {
    Uno s(6, 4), d(6, 4);
    s.Fill([](int32_t, int32_t) { return 255; });  // bytes outside the span are ignored
    d.Fill([](int32_t, int32_t) { return 40; });
    ASSERT_EQ(PF_AccumulateUnoBuffers(mode, s.b, &span, d.b), 0);
    EXPECT_EQ(d.Bytes()[0], mode == PF_UnoMode_Intersect ? 0 : 40) << mode;
  }
  // Buffers of different sizes, or a rectangle outside, are refused.
  Uno a(4, 4), b(5, 4);
  EXPECT_EQ(PF_AccumulateUnoBuffers(1, a.b, nullptr, b.b), 516);
  const Rect outside{0, 0, 5, 4};
  EXPECT_EQ(PF_AccumulateUnoBuffers(1, a.b, &outside, a.b), 516);
}

TEST_F(PFUno, MergeMaskAlphaMultipliesInsideAndClearsOutside) {
  Buffer world(256, 3);
  world.Fill(200, 1, 2, 3);
  Uno u(256, 3);
  u.Fill([](int32_t x, int32_t) { return x; });
  const Rect r{1, 10, 2, 250};
  ASSERT_EQ(PF_MergeMaskAlpha(nullptr, u.b, &r, &world.world), 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 256; ++x) {
      const bool inside = y == 1 && x >= 10 && x < 250;
      ASSERT_EQ(world.px(x, y)[0], inside ? M8(200, x) : 0) << x << "," << y;
      ASSERT_EQ(world.px(x, y)[1], 1);
    }
  EXPECT_TRUE(world.PaddingIntact());
  Buffer other(255, 3);
  EXPECT_EQ(PF_MergeMaskAlpha(nullptr, u.b, nullptr, &other.world), 516);
  PF_AbortRecord abort{nullptr, [](void*) -> ErrorCode { return 517; }};
  EXPECT_EQ(PF_MergeMaskAlpha(&abort, u.b, nullptr, &world.world), 517);
  EXPECT_EQ(world.px(100, 1)[0], M8(200, 100));
}

// ---- Channels and planes ----------------------------------------------------------------

TEST_F(PFUno, PlanesRoundTrip) {
  Buffer s(9, 6, 4), d(9, 6);
  s.Random(31);
  std::vector<uint8_t> planes[4];
  PF_Planes p{};
  for (int c = 0; c < 4; ++c) {
    planes[c].assign(12 * 6, 0);
    p.plane[c] = planes[c].data();
    p.rowBytes[c] = 12;
  }
  ASSERT_EQ(PF_ExtractPlanes(nullptr, &s.world, &p), 0);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(planes[c][5 * 12 + 8], s.px(8, 5)[c]);
  ASSERT_EQ(PF_InsertPlanes(nullptr, &p, &d.world), 0);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(std::memcmp(d.px(0, y), s.px(0, y), 36), 0);
  EXPECT_TRUE(d.PaddingIntact());
  // A null plane leaves its channel alone.
  Buffer e(9, 6);
  p.plane[2] = nullptr;
  ASSERT_EQ(PF_InsertPlanes(nullptr, &p, &e.world), 0);
  EXPECT_EQ(std::make_tuple(e.px(3, 3)[2], e.px(3, 3)[1]), std::make_tuple(0, s.px(3, 3)[1]));
  p.rowBytes[0] = 8;
  EXPECT_EQ(PF_ExtractPlanes(nullptr, &s.world, &p), 516);
  EXPECT_EQ(PF_InsertPlanes(nullptr, nullptr, &e.world), 516);
}

TEST_F(PFUno, ChannelCopyMovesOneChannel) {
  Buffer s = Noise(5, 4, 41), d = Noise(5, 4, 42);
  const std::vector<uint8_t> before = d.bytes;
  ASSERT_EQ(PF_ChannelCopy(nullptr, &s.world, PF_Channel_Red, PF_Channel_Alpha, &d.world), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(d.px(x, y)[0], s.px(x, y)[1]);
      EXPECT_EQ(std::memcmp(d.px(x, y) + 1, before.data() + (d.px(x, y) + 1 - d.bytes.data()), 3), 0);
    }
  Buffer small(4, 4);
  EXPECT_EQ(PF_ChannelCopy(nullptr, &s.world, 0, 0, &small.world), 516);
  EXPECT_EQ(PF_ChannelCopy(nullptr, &s.world, 4, 0, &d.world), 516);
}

// ---- Drawing --------------------------------------------------------------------------------

TEST_F(PFUno, WireframeOfBoundsIsTheirOuterRing) {
  PF_Wireframe wf = nullptr;
  ASSERT_EQ(PF_AllocWireframe(8, &wf), 0);
  const LRect bounds{1, 2, 9, 7};  // left, top, right, bottom
  ASSERT_EQ(PF_GenerateWireframe(&bounds, wf), 0);
  Buffer w(12, 10);
  const PF_Pixel white{255, 255, 255, 255};
  ASSERT_EQ(PF_DrawWireframe(wf, &white, &w.world), 0);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool inBox = x >= 1 && x <= 8 && y >= 2 && y <= 6;
      const bool ring = inBox && (x == 1 || x == 8 || y == 2 || y == 6);
      EXPECT_EQ(w.px(x, y)[0], ring ? 255 : 0) << x << "," << y;
    }
  // Moved by a matrix (row vectors: translation in m6, m7).
  FloatMatrix m{{1, 0, 0, 0, 1, 0, 2.0, 1.0, 1}};
  ASSERT_EQ(PF_TransformWireframe(&m, wf), 0);
  FloatPoint pts[8];
  int32_t n = 0;
  ASSERT_EQ(PF_GetWireframePoints(wf, 8, pts, &n), 0);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(std::make_tuple(pts[0].x, pts[0].y, pts[2].x, pts[2].y), std::make_tuple(3.0, 3.0, 10.0, 7.0));
  // A point sent to infinity and lines far outside draw nothing harmful.
  FloatMatrix flat{{1e9, 0, 0, 0, 1e9, 0, 0, 0, 0}};
  ASSERT_EQ(PF_TransformWireframe(&flat, wf), 0);
  ASSERT_EQ(PF_DrawWireframe(wf, &white, &w.world), 0);
  EXPECT_TRUE(w.PaddingIntact());
  // Long lines are clipped to the world: the bottom edge at y = 2.
  const LRect wide{-100000, -5, 100000, 3};
  ASSERT_EQ(PF_GenerateWireframe(&wide, wf), 0);
  Buffer small(6, 6);
  ASSERT_EQ(PF_DrawWireframe(wf, &white, &small.world), 0);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(small.px(x, 2)[0], 255) << x;
  EXPECT_EQ(small.px(3, 0)[0], 0);
  EXPECT_TRUE(small.PaddingIntact());
  ASSERT_EQ(PF_DisposeWireframe(wf), 0);
  PF_Wireframe tiny = nullptr;
  ASSERT_EQ(PF_AllocWireframe(3, &tiny), 0);
  EXPECT_EQ(PF_GenerateWireframe(&bounds, tiny), 516);
  ASSERT_EQ(PF_DisposeWireframe(tiny), 0);
  EXPECT_EQ(PF_AllocWireframe(0, &tiny), 516);
}

TEST_F(PFUno, PaintSpotCoversTheDisc) {
  Buffer w(15, 15);
  const PF_Pixel red{255, 255, 0, 0};
  ASSERT_EQ(PF_PaintSpot(nullptr, 7 << 16, 7 << 16, 3 << 16, &red, 255, &w.world), 0);
  EXPECT_EQ(std::memcmp(w.px(7, 7), &red, 4), 0);
  EXPECT_EQ(std::memcmp(w.px(9, 7), &red, 4), 0);
  // On the rim half covered, beyond it nothing.
  EXPECT_EQ(std::make_tuple(w.px(10, 7)[0], w.px(10, 7)[1], w.px(11, 7)[0], w.px(0, 0)[0]), std::make_tuple(128, 255, 0, 0));
  // Half opacity over an opaque blue pixel mixes the colours.
  Buffer b(3, 3);
  b.Fill(255, 0, 0, 255);
  ASSERT_EQ(PF_PaintSpot(nullptr, 1 << 16, 1 << 16, 1 << 16, &red, 128, &b.world), 0);
  EXPECT_EQ(std::vector<int>(b.px(1, 1), b.px(1, 1) + 4), (std::vector<int>{255, 128, 0, 127}));
  EXPECT_EQ(PF_PaintSpot(nullptr, 0, 0, -1, &red, 255, &w.world), 516);
  EXPECT_EQ(PF_PaintSpot(nullptr, 0, 0, 1, &red, 300, &w.world), 516);
  EXPECT_EQ(rec.last().location, tv::Location(37, 0xFF));
  EXPECT_TRUE(w.PaddingIntact());
}

// Runs op with the k-th allocation failing, for k = 0, 1, ... until op
// succeeds: every failure must return 4 with one report and leave `bytes` as
// they were.
template <typename Op>
void EveryAllocationFails(Recorder& rec, std::vector<uint8_t>* bytes, Op op, const char* text) {
  for (int64_t k = 0;; ++k) {
    if (k == 1) {
      EXPECT_FALSE(rec.reports.empty()) << text << ": the first allocation did not fail";
    }
    ASSERT_LT(k, 50) << text;
    const std::vector<uint8_t> before = bytes ? *bytes : std::vector<uint8_t>{};
    rec.clear();
    EMUL_InjectAllocationFailures(k, 1);
    const ErrorCode err = op();
    EMUL_StopAllocationFailures();
    if (err == 0) return;
    ASSERT_EQ(err, kErrOutOfMemory) << text << " " << k;
    ASSERT_EQ(rec.reports.size(), 1u) << text << " " << k;
    EXPECT_THAT(rec.last().text, ::testing::HasSubstr(text)) << k;
    if (bytes) {
      EXPECT_EQ(*bytes, before) << text << " " << k;
    }
  }
}

TEST_F(PFUno, OutOfMemoryIsReportedOnceAndChangesNothing) {
  Buffer w = Noise(40, 30, 6), d(17, 13);
  for (int32_t q : {0, 1})
    EveryAllocationFails(rec, &w.bytes, [&] { return PF_FastBlur_Premul(nullptr, 4.0, 0, q, &w.world); },
                         "Couldn't allocate scratch scanline");
  EveryAllocationFails(rec, &d.bytes, [&] { return PF_CopyBits_HQ_Straight(nullptr, &w.world, &d.world, nullptr, nullptr); },
                       "Couldn't allocate scratch scanline");
  std::vector<uint8_t> scan(50, 9);
  EveryAllocationFails(rec, &scan, [&] { return PF_GBlurUnoScan(scan.data(), 1, 50, 3.0, scan.data(), 1); },
                       "Couldn't allocate");
  PF_UnoBuffer u = nullptr;
  EveryAllocationFails(rec, nullptr, [&] { return PF_NewUnoBuffer(30, 20, &u); }, "uno buffer");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(PF_DisposeUnoBuffer(u), 0);
  PF_Wireframe wf = nullptr;
  EveryAllocationFails(rec, nullptr, [&] { return PF_AllocWireframe(8, &wf); }, "wireframe");
  ASSERT_NE(wf, nullptr);
  EXPECT_EQ(PF_DisposeWireframe(wf), 0);
}

}  // namespace
}  // namespace tv::test
