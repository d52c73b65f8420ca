// Transfer modes: every fast row equals its reference row over all pairs of
// source and destination values, the worked examples, the random recurrence,
// row threads and the rectangle routine's failures.
#include <gmock/gmock.h>

#include <algorithm>
#include <array>

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
      // inverse, and by the luminance as seen (white's 255 times the alpha);
      // the colour is kept. A transparent pixel's colour does not count.
      {PF_Xfer_AlphaStencil, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(100, 200)},
      {PF_Xfer_AlphaCutout, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(155, 200)},
      {PF_Xfer_LumaStencil, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(100, 200)},
      {PF_Xfer_LumaStencil, 255, {255, 255, 255, 255}, {200, 1, 2, 3}, 0, 200},
      {PF_Xfer_LumaStencil, 255, {0, 255, 255, 255}, {200, 1, 2, 3}, 0, 0},
      {PF_Xfer_LumaCutout, 255, {0, 255, 255, 255}, {200, 1, 2, 3}, 0, 200},
      {PF_Xfer_LumaCutout, 255, {100, 255, 255, 255}, {200, 1, 2, 3}, 0, M8(155, 200)},
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

// Rows shared among 3 or 16 threads give the bytes of one thread for every
// mode (the dissolve's per-row seeds, a matte, a field, the stencils' pass
// outside the source), and a source sharing the destination keeps its order.
TEST_F(PFTransfer, RowThreadsGiveTheBytesOfOneThread) {
  const int32_t saved = PFp_GetRowThreads();
  const Buffer src = Noise(400, 300, 3), base = Noise(512, 384, 4), matte = Noise(512, 384, 5);
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

}  // namespace
}  // namespace tv::test
