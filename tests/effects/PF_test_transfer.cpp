// Transfer modes: every fast row equals its reference row over all pairs of
// source and destination values, the worked examples, per-mode invariants,
// dissolve determinism and the rectangle routines.
#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <random>

#include "../../effects/PF_transfer_kernels.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFTransfer : public PFFixture {};

// The row function of a mode, which must exist.
PF_TransferFunc Func(int32_t mode) {
  PF_TransferFunc fn = nullptr;
  EXPECT_EQ(PF_GetTransferFunc(mode, &fn), 0) << mode;
  return fn;
}

// 65,536 pixels: source value s = i >> 8 and destination value d = i & 255
// in every colour channel (the other channels mixed from them).
struct PairRows {
  std::vector<uint8_t> src, dst, mask;
  PairRows(int sa, int da, bool varyMask) : src(4 * 65536), dst(4 * 65536), mask(4 * 65536) {
    for (uint32_t i = 0; i < 65536; ++i) {
      const uint8_t s = static_cast<uint8_t>(i >> 8), d = static_cast<uint8_t>(i);
      src[4 * i] = static_cast<uint8_t>(sa >= 0 ? sa : (i * 13 + 7) & 255);
      src[4 * i + 1] = s, src[4 * i + 2] = static_cast<uint8_t>(s ^ 0x5A), src[4 * i + 3] = static_cast<uint8_t>(255 - s);
      dst[4 * i] = static_cast<uint8_t>(da >= 0 ? da : (i * 29 + 3) & 255);
      dst[4 * i + 1] = d, dst[4 * i + 2] = static_cast<uint8_t>(255 - d), dst[4 * i + 3] = static_cast<uint8_t>(d ^ 0xA5);
      mask[4 * i] = static_cast<uint8_t>(varyMask ? (i * 7 + 1) & 255 : 255);
    }
  }
};

TEST_F(PFTransfer, FastRowsEqualReferenceRowsOverAllPairs) {
  const std::array<int, 3> opacities = {255, 128, 1};
  const std::array<int, 3> sourceAlphas = {255, 100, -1};  // -1: varying per pixel
  const std::array<int, 4> destAlphas = {255, 0, 90, -1};
  for (int mask = 0; mask < 2; ++mask)
    for (int sa : sourceAlphas)
      for (int da : destAlphas) {
        PairRows rows(sa, da, mask != 0);
        for (int op : opacities)
          for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode)
            for (int colourOnly = 0; colourOnly < 2; ++colourOnly) {
              if (colourOnly && (tv::pf::xfer::FlagsOf(mode) & PF_XferFlag_ColourOnly) == 0) continue;
              PF_CompositeMode pr{mode, 0x1234567u, static_cast<uint8_t>(op), static_cast<uint8_t>(colourOnly), {}};
              PF_CompositeMode pf = pr;
              std::vector<uint8_t> dr = rows.dst, df = rows.dst;
              const uint8_t* m = mask ? rows.mask.data() : nullptr;
              ASSERT_EQ(tv::pf::ReferenceRow(mode)(nullptr, 65536, &pr, rows.src.data(), m, dr.data()), 0);
              ASSERT_EQ(tv::pf::FastRow(mode)(nullptr, 65536, &pf, rows.src.data(), m, df.data()), 0);
              ASSERT_EQ(dr, df) << "mode " << mode << " opacity " << op << " sa " << sa << " da " << da
                                << " mask " << mask << " colourOnly " << colourOnly;
              ASSERT_EQ(pr.seed, pf.seed);
            }
      }
}

// The vectorised normal and premultiplied-over rows against the reference
// over random pixels: every byte random, or destination alpha mostly 255 so
// that fully opaque chunks of 64 pixels and mixed ones alternate.
TEST_F(PFTransfer, OverRowsEqualReferenceRowsOverRandomPixels) {
  constexpr int32_t n = 1 << 16;
  std::mt19937 gen(57);
  for (int opaqueShare : {0, 99})
    for (int withMask = 0; withMask < 2; ++withMask) {
      std::vector<uint8_t> src(4 * n), dst(4 * n), mask(4 * n);
      for (auto* v : {&src, &dst, &mask})
        for (auto& b : *v) b = static_cast<uint8_t>(gen());
      for (int32_t i = 0; i < n; ++i)
        if (static_cast<int>(gen() % 100) < opaqueShare) dst[4 * i] = 255;
      for (int32_t mode : {PF_Xfer_Normal, PF_Xfer_PremulOver})
        for (int op : {255, 200, 1}) {
          PF_CompositeMode pr{mode, 0, static_cast<uint8_t>(op), 0, {}}, pf = pr;
          std::vector<uint8_t> dr = dst, df = dst;
          const uint8_t* m = withMask ? mask.data() : nullptr;
          // Odd lengths leave partial chunks and vector tails.
          for (int32_t at = 0, len = 1; at < n; at += len, len = len * 3 % 1021 + 1) {
            const int32_t k = std::min(len, n - at);
            tv::pf::ReferenceRow(mode)(nullptr, k, &pr, &src[4 * at], m ? m + 4 * at : nullptr, &dr[4 * at]);
            tv::pf::FastRow(mode)(nullptr, k, &pf, &src[4 * at], m ? m + 4 * at : nullptr, &df[4 * at]);
          }
          ASSERT_EQ(dr, df) << "mode " << mode << " opacity " << op << " mask " << withMask << " opaque "
                            << opaqueShare;
        }
    }
}

// One pixel through a mode with both kernels: a byte of the result against
// the arithmetic of the mode.
TEST_F(PFTransfer, WorkedExamples) {
  using Px = std::array<uint8_t, 4>;
  const Px grey200{255, 200, 200, 200}, grey100{255, 100, 100, 100}, grey128{255, 128, 128, 128};
  // Behind a half-covered destination: wd = 128 x 65025, ws = 127 x 255 x 255.
  constexpr uint64_t wd = 128ull * 65025, ws = 127ull * 255 * 255;
  // Normal over a partly covered destination: premultiply, move, divide back.
  const uint8_t k = 128, a = static_cast<uint8_t>(255 - M8(255 - k, 255 - 100)), dp = M8(100, 50);
  const struct {
    int32_t mode;
    uint8_t opacity;
    Px src, dst;
    int byte, want;
  } rows[] = {
      {PF_Xfer_Add, 255, grey200, grey100, 1, 255},
      {PF_Xfer_Multiply, 255, grey128, grey200, 1, 100},
      {PF_Xfer_Difference, 255, {255, 30, 30, 30}, grey200, 1, 170},
      {PF_Xfer_Normal, 128, grey200, grey100, 1, 100 + M8(100, 128)},  // d + M[s - d][k]
      {PF_Xfer_Darken, 255, grey200, grey100, 1, 100},                 // darken only darkens
      {PF_Xfer_Lighten, 255, grey200, grey100, 1, 200},                // lighten only lightens
      {PF_Xfer_Screen, 255, grey128, grey128, 1, 255 - M8(127, 127)},  // 255 - M[255 - s][255 - d]
      {PF_Xfer_Behind, 255, {255, 0, 0, 0}, {128, 255, 255, 255}, 1, (255 * wd) / (wd + ws)},
      {PF_Xfer_Behind, 255, {255, 0, 0, 0}, {128, 255, 255, 255}, 0, (wd + ws) / 65025},
      // Behind an opaque destination nothing changes; over a transparent one
      // the source is copied with its alpha times the opacity.
      {PF_Xfer_Behind, 255, {255, 0, 0, 0}, {255, 9, 9, 9}, 1, 9},
      {PF_Xfer_Behind, 128, {200, 50, 60, 70}, {0, 9, 9, 9}, 0, M8(128, 200)},
      {PF_Xfer_Behind, 128, {200, 50, 60, 70}, {0, 9, 9, 9}, 1, 50},
      {PF_Xfer_Normal, 255, {128, 200, 0, 0}, {100, 50, 0, 0}, 0, a},
      {PF_Xfer_Normal, 255, {128, 200, 0, 0}, {100, 50, 0, 0}, 1, D8(a, dp + M8(200 - dp, k))},
      // Stencils multiply the destination alpha by the source alpha, by its
      // inverse, and by the luminance of white (255); the colour is kept.
      {PF_Xfer_AlphaStencil, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(100, 200)},
      {PF_Xfer_AlphaCutout, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(155, 200)},
      {PF_Xfer_LumaStencil, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, 200},
      {PF_Xfer_AlphaStencil, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 1, 1},
  };
  for (int ref = 0; ref < 2; ++ref) {
    PFp_UseReferenceKernels(ref);
    for (const auto& r : rows) {
      Px src = r.src, dst = r.dst;
      PF_CompositeMode p{r.mode, 0, r.opacity, 0, {}};
      Func(r.mode)(nullptr, 1, &p, src.data(), nullptr, dst.data());
      EXPECT_EQ(dst[r.byte], r.want) << "mode " << r.mode << " byte " << r.byte
                                     << (ref ? " reference" : " fast");
    }
  }
}

TEST_F(PFTransfer, InvariantsOfEveryMode) {
  Buffer src(64, 1), dst(64, 1);
  src.Random(1);
  dst.Random(2);
  for (int ref = 0; ref < 2; ++ref) {
    PFp_UseReferenceKernels(ref);
    for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode) {
      const PF_TransferFunc fn = Func(mode);
      // Opacity 0 leaves the destination.
      std::vector<uint8_t> d(dst.bytes.begin(), dst.bytes.begin() + 256);
      PF_CompositeMode p{mode, 99, 0, 0, {}};
      fn(nullptr, 64, &p, src.px(0, 0), nullptr, d.data());
      EXPECT_TRUE(std::equal(d.begin(), d.end(), dst.bytes.begin())) << "mode " << mode;
      // Full opacity: modes that do not write alpha keep it; alpha-only modes keep colour.
      uint32_t flags = 0;
      ASSERT_EQ(PF_GetTransferFlags(mode, &flags), 0);
      p.opacity = 255;
      fn(nullptr, 64, &p, src.px(0, 0), nullptr, d.data());
      for (int i = 0; i < 64; ++i) {
        if (!(flags & PF_XferFlag_WritesAlpha)) {
          EXPECT_EQ(d[4 * i], dst.bytes[4 * i]) << "mode " << mode;
        }
        if (flags & PF_XferFlag_AlphaOnly) {
          for (int c = 1; c < 4; ++c) EXPECT_EQ(d[4 * i + c], dst.bytes[4 * i + c]) << "mode " << mode;
        }
      }
      // The colour-only byte keeps the destination alpha.
      if (flags & PF_XferFlag_ColourOnly) {
        std::vector<uint8_t> c(dst.bytes.begin(), dst.bytes.begin() + 256);
        PF_CompositeMode q{mode, 99, 200, 1, {}};
        fn(nullptr, 64, &q, src.px(0, 0), nullptr, c.data());
        for (int i = 0; i < 64; ++i) EXPECT_EQ(c[4 * i], dst.bytes[4 * i]) << "mode " << mode;
      }
    }
  }
}

TEST_F(PFTransfer, CopyAndNormalAtFullCoverageCopyTheRow) {
  Buffer src(32, 1), dst(32, 1);
  src.Random(3);
  dst.Random(4);
  src.SetAlpha([](int, int) { return 255; });
  for (int32_t mode : {PF_Xfer_Copy, PF_Xfer_Normal}) {
    std::vector<uint8_t> d(dst.bytes.begin(), dst.bytes.begin() + 128);
    const PF_TransferFunc fn = Func(mode);
    PF_CompositeMode p{mode, 0, 255, 0, {}};
    fn(nullptr, 32, &p, src.px(0, 0), nullptr, d.data());
    EXPECT_TRUE(std::equal(d.begin(), d.end(), src.bytes.begin()));
  }
  // Normal over an opaque destination keeps alpha 255.
  Buffer opaque(32, 1);
  opaque.Fill(255, 1, 2, 3);
  src.Random(5);
  const PF_TransferFunc fn = Func(PF_Xfer_Normal);
  PF_CompositeMode p{PF_Xfer_Normal, 0, 180, 0, {}};
  fn(nullptr, 32, &p, src.px(0, 0), nullptr, opaque.px(0, 0));
  for (int i = 0; i < 32; ++i) EXPECT_EQ(opaque.px(i, 0)[0], 255);
}

TEST_F(PFTransfer, ColourModeKeepsTheDestinationLuminance) {
  const PF_ColourTables* t = PFp_GetColourTables();
  uint8_t src[4] = {255, 250, 10, 10}, dst[4] = {255, 60, 60, 60};
  const PF_TransferFunc fn = Func(PF_Xfer_Colour);
  PF_CompositeMode p{PF_Xfer_Colour, 0, 255, 0, {}};
  fn(nullptr, 1, &p, src, nullptr, dst);
  const int lum = t->lumR[dst[1]] + t->lumG[dst[2]] + t->lumB[dst[3]];
  EXPECT_NEAR(lum, t->lumR[60] + t->lumG[60] + t->lumB[60], 2);
  EXPECT_GT(dst[1], dst[2]);  // still red
}

TEST_F(PFTransfer, SubWorldsAreWalkedWithTheirOwnRowBytes) {
  Buffer src(5, 4, 36), dst(7, 5, 8);
  src.Random(31);
  dst.Random(32);
  Buffer want = dst;
  PF_CompositeMode mode{PF_Xfer_Multiply, 0, 200, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, nullptr, 1, 1, &dst.world), 0);
  const PF_TransferFunc fn = Func(PF_Xfer_Multiply);
  for (int y = 0; y < 4; ++y) {
    PF_CompositeMode p = mode;
    fn(nullptr, 5, &p, src.px(0, y), nullptr, want.px(1, y + 1));
  }
  EXPECT_EQ(dst.bytes, want.bytes);
  EXPECT_TRUE(dst.PaddingIntact());
}

TEST_F(PFTransfer, ModesOutsideTheTableAreRefused) {
  for (int32_t mode : {26, -1, 1000}) {
    PF_TransferFunc fn = reinterpret_cast<PF_TransferFunc>(1);
    rec.clear();
    EXPECT_EQ(PF_GetTransferFunc(mode, &fn), kErrUnimplemented);
    EXPECT_EQ(fn, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, tv::Location(37, 0x43));
    uint32_t flags = 7;
    EXPECT_EQ(PF_GetTransferFlags(mode, &flags), kErrUnimplemented);
    EXPECT_EQ(flags, 0u);
  }
  PF_TransferDesc desc{};
  Boolean32 outside = 0;
  ASSERT_EQ(PF_BlendDescFunc(PF_Xfer_LumaStencil, &desc, &outside), 0);
  EXPECT_TRUE(outside);
  EXPECT_STREQ(desc.name, "luma stencil");
  EXPECT_NE(desc.reference, desc.fast);
}

TEST_F(PFTransfer, RandFollowsItsRecurrence) {
  uint32_t seed = 0;
  EXPECT_EQ(PF_Rand(&seed), 32767);
  EXPECT_EQ(seed, 0x7FFFFFFFu);
  EXPECT_EQ(PF_Rand(&seed), 7738);
  EXPECT_EQ(seed, 0x138F1D52u);
  EXPECT_EQ(PF_Rand(&seed), 28065);
  EXPECT_EQ(seed, 0x0976D0FEu);
}

TEST_F(PFTransfer, DissolveIsDeterministic) {
  Buffer src(200, 20), a(200, 20), b(200, 20);
  src.Random(7);
  src.SetAlpha([](int, int) { return 128; });
  PF_CompositeMode mode{PF_Xfer_Dissolve, 42, 255, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, nullptr, 0, 0, &a.world), 0);
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, nullptr, 0, 0, &b.world), 0);
  EXPECT_EQ(a.bytes, b.bytes);
  int copied = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 200; ++x) copied += a.px(x, y)[0] == 255;
  EXPECT_GT(copied, 4000 * 40 / 100);  // about half of the pixels
  EXPECT_LT(copied, 4000 * 60 / 100);
  mode.seed = 43;
  Buffer c(200, 20);
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, nullptr, 0, 0, &c.world), 0);
  EXPECT_NE(a.bytes, c.bytes);
}

// Rows shared among 3 or 16 threads give the bytes of one thread for every
// mode (the dissolve's per-row seeds, a matte, a field, the stencils' pass
// outside the source), and a source sharing the destination keeps its order.
TEST_F(PFTransfer, RowThreadsGiveTheBytesOfOneThread) {
  const int32_t saved = PFp_GetRowThreads();
  Buffer src(400, 300), base(512, 384), matte(512, 384);
  src.Random(3);
  base.Random(4);
  matte.Random(5);
  PF_MaskWorld mask{};
  mask.world = matte.world;
  mask.flags = PF_Mask_Luminance;
  for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode) {
    PF_CompositeMode m{mode, 77, 200, 0, {}};
    std::vector<uint8_t> one;
    for (int32_t threads : {1, 3, 16}) {
      ASSERT_EQ(PFp_SetRowThreads(threads), 0);
      Buffer dst = base;
      ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, mode % 3, nullptr, &src.world, &m, mode % 2 ? &mask : nullptr, 150,
                                -40, &dst.world),
                0);
      if (threads == 1)
        one = dst.bytes;
      else
        EXPECT_TRUE(dst.bytes == one) << "mode " << mode << ", " << threads << " threads";
    }
  }
  // Moved down onto itself: one thread whatever the setting.
  ASSERT_EQ(PFp_SetRowThreads(16), 0);
  Buffer self = base, copy = base, from = base;
  PF_CompositeMode copyMode{PF_Xfer_Copy, 0, 255, 0, {}};
  const Rect r{0, 0, 300, 450};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &self.world, &copyMode, nullptr, 7, 60, &self.world), 0);
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &from.world, &copyMode, nullptr, 7, 60, &copy.world), 0);
  EXPECT_TRUE(self.bytes == copy.bytes);
  ASSERT_EQ(PFp_SetRowThreads(saved), 0);
}

TEST_F(PFTransfer, TransferRectClipsAndNeverWritesOutside) {
  Buffer src(10, 10), dst(8, 6);
  src.Random(11);
  src.SetAlpha([](int, int) { return 255; });
  const Rect r{2, 3, 7, 9};  // top, left, bottom, right: 6 x 5 pixels
  PF_CompositeMode mode{PF_Xfer_Copy, 0, 255, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &src.world, &mode, nullptr, 4, -1, &dst.world), 0);
  EXPECT_TRUE(dst.PaddingIntact());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 4 && y < 4;  // rows -1..3 of which 0..3 land; columns 4..9 cut at 8
      if (inside)
        EXPECT_EQ(0, std::memcmp(dst.px(x, y), src.px(3 + x - 4, 2 + y + 1), 4)) << x << "," << y;
      else
        EXPECT_EQ(dst.px(x, y)[0], 0) << x << "," << y;
    }
  // Entirely outside: nothing happens.
  Buffer before = dst;
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &src.world, &mode, nullptr, 100, 0, &dst.world), 0);
  EXPECT_EQ(before.bytes, dst.bytes);
}

TEST_F(PFTransfer, ASourceSharingTheDestinationIsReadBeforeItIsWritten) {
  // Moving a block of one world down and right onto itself equals moving it
  // out of a separate copy.
  for (int32_t mode : {PF_Xfer_Copy, PF_Xfer_Add, PF_Xfer_Normal}) {
    Buffer w(40, 30), copy(40, 30);
    w.Random(41);
    w.SetAlpha([](int x, int y) { return 128 + (x + y) % 100; });
    copy.bytes = w.bytes;
    Buffer want = w;
    const Rect r{2, 3, 20, 25};
    PF_CompositeMode m{mode, 0, 255, 0, {}};
    ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &copy.world, &m, nullptr, 7, 9, &want.world), 0);
    ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r, &w.world, &m, nullptr, 7, 9, &w.world), 0);
    EXPECT_EQ(w.bytes, want.bytes) << mode;
    // And up and left.
    Buffer w2 = copy, want2 = copy;
    const Rect r2{10, 12, 28, 38};
    ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r2, &copy.world, &m, nullptr, 1, 2, &want2.world), 0);
    ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, &r2, &w2.world, &m, nullptr, 1, 2, &w2.world), 0);
    EXPECT_EQ(w2.bytes, want2.bytes) << mode;
  }
}

TEST_F(PFTransfer, FieldsSkipRowsByParity) {
  Buffer src(4, 4), dst(4, 4);
  src.Fill(255, 9, 9, 9);
  PF_CompositeMode mode{PF_Xfer_Normal, 0, 255, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 1, nullptr, &src.world, &mode, nullptr, 0, 0, &dst.world), 0);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.px(0, y)[1], y % 2 == 0 ? 9 : 0);
}

TEST_F(PFTransfer, MaskCoverageAndStencilOutsideTheSource) {
  Buffer src(4, 1), dst(6, 1), matte(6, 1);
  src.Fill(255, 200, 200, 200);
  dst.Fill(255, 0, 0, 0);
  matte.SetAlpha([](int x, int) { return x * 50; });
  PF_MaskWorld mask{matte.world, {0, 0}, 0};
  PF_CompositeMode mode{PF_Xfer_Normal, 0, 255, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, &mask, 1, 0, &dst.world), 0);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(dst.px(x, 0)[1], M8(200, x * 50)) << x;
  mask.flags = PF_Mask_Invert;
  dst.Fill(255, 0, 0, 0);
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, &mask, 1, 0, &dst.world), 0);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(dst.px(x, 0)[1], M8(200, 255 - x * 50)) << x;

  // An alpha stencil clears the destination where there is no source.
  dst.Fill(255, 5, 5, 5);
  PF_CompositeMode stencil{PF_Xfer_AlphaStencil, 0, 255, 0, {}};
  ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &stencil, nullptr, 1, 0, &dst.world), 0);
  EXPECT_EQ(dst.px(0, 0)[0], 0);
  EXPECT_EQ(dst.px(5, 0)[0], 0);
  EXPECT_EQ(dst.px(2, 0)[0], 255);
  EXPECT_TRUE(dst.PaddingIntact());
}

TEST_F(PFTransfer, BadArgumentsAreReportedWithTheRoutineNumber) {
  Buffer src(2, 2), dst(2, 2);
  PF_CompositeMode mode{PF_Xfer_Normal, 0, 255, 0, {}};
  EXPECT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, nullptr, nullptr, 0, 0, &dst.world),
            PF_ErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 19));
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("bad parameter to pixel routine 19 (no composite mode)"));
  PFWorld empty{};
  EXPECT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &empty, &mode, nullptr, 0, 0, &dst.world), PF_ErrBadParam);
  mode.mode = 30;
  EXPECT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &mode, nullptr, 0, 0, &dst.world),
            kErrUnimplemented);
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("unknown transfer mode 30"));
}

TEST_F(PFTransfer, CompositeRectFormsAgreeOnStraightPixels) {
  Buffer src(16, 8), a(16, 8), b(16, 8);
  src.Random(21);
  a.Random(22);
  b.bytes = a.bytes;
  ASSERT_EQ(PF_CompositeRectDraft_Straight(nullptr, nullptr, 300, &src.world, 0, 0, 0, PF_Xfer_Screen, &a.world), 0);
  ASSERT_EQ(PF_CompositeRectBest_Straight(nullptr, nullptr, 255, &src.world, 0, 0, 0, PF_Xfer_Screen, &b.world), 0);
  EXPECT_EQ(a.bytes, b.bytes);  // opacity limited to 255
  // Premultiplied: opaque pixels give the same result as straight ones.
  Buffer s2(8, 1), p(8, 1), q(8, 1);
  for (int x = 0; x < 8; ++x) {
    s2.Set(x, 0, 255, static_cast<uint8_t>(x * 30), 40, 50);
    p.Set(x, 0, 255, 90, 80, 70);
  }
  q.bytes = p.bytes;
  ASSERT_EQ(PF_CompositeRectBest_Premul(nullptr, nullptr, 128, &s2.world, 0, 0, 0, PF_Xfer_Normal, &p.world), 0);
  ASSERT_EQ(PF_CompositeRectBest_Straight(nullptr, nullptr, 128, &s2.world, 0, 0, 0, PF_Xfer_Normal, &q.world), 0);
  EXPECT_EQ(p.bytes, q.bytes);
}

}  // namespace
}  // namespace tv::test
