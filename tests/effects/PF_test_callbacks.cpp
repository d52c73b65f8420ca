// The callback block, the selector table, the handle callbacks and the
// package frame.
#include <gmock/gmock.h>

#include "Memory.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFCallbacks : public PFFixture {};

template <class T>
void* A(T fn) {
  return reinterpret_cast<void*>(fn);
}

TEST_F(PFCallbacks, BlockVariantsFollowQualityAndAlphaForm) {
  PF_UtilCallbacks b{};
  ASSERT_EQ(PF_GetCallbackBlock(PF_Quality_Draft, PF_CallbackFlag_Straight, &b), 0);
  EXPECT_EQ(b.reserved0, nullptr);
  EXPECT_EQ(b.reserved4, nullptr);
  EXPECT_EQ(A(b.compositeRect), A(&PF_CompositeRectDraft_Straight));
  EXPECT_EQ(A(b.blend), A(&PF_Blend_Straight));
  EXPECT_EQ(A(b.RGBtoHLS), A(&PF_RGBtoHLS_Straight));
  EXPECT_EQ(A(b.luminance), A(&PF_Luminance_Straight));
  EXPECT_EQ(A(b.fill), A(&PF_Fill));
  EXPECT_EQ(A(b.newWorld), A(&PF_NewWorld));
  EXPECT_EQ(A(b.transferRect), A(&PF_TransferRect));
  EXPECT_EQ(A(b.transformWorld), A(&PF_TransformWorld_S));
  EXPECT_EQ(A(b.getCallbackAddr), A(&PF_GetCallbackAddr));
  EXPECT_EQ(A(b.hypot), A(&PF_HypotFPU));
  EXPECT_EQ(A(b.subpixelSample), A(&PF_NNSample));  // draft samples the nearest pixel
  EXPECT_EQ(A(b.areaSample), A(&PF_NNSample));
  EXPECT_EQ(A(b.copy), A(&PF_CopyBits_Draft_Static));
  EXPECT_EQ(A(b.gaussianKernel), A(&PF_GaussianKernel));
  EXPECT_EQ(b.sqrt(16.0), 4.0);
  EXPECT_EQ(b.atan2(0.0, 1.0), 0.0);
  for (void* w : b.reserved) EXPECT_EQ(w, nullptr);

  ASSERT_EQ(PF_GetCallbackBlock(PF_Quality_Best, 0, &b), 0);
  EXPECT_EQ(A(b.compositeRect), A(&PF_CompositeRectBest_Premul));
  EXPECT_EQ(A(b.blend), A(&PF_Blend_Premul));
  EXPECT_EQ(A(b.saturation), A(&PF_Saturation_Premul));
  EXPECT_EQ(A(b.YIQtoRGB), A(&PF_YIQtoRGB_Premul));
  EXPECT_EQ(A(b.subpixelSample), A(&PF_SubpixelSample_Premul));
  EXPECT_EQ(A(b.copy), A(&PF_CopyBits_HQ_Premul_Static));

  ASSERT_EQ(PF_GetCallbackBlock(PF_Quality_Best | PF_Quality_ExtraMath, PF_CallbackFlag_Straight, &b), 0);
  EXPECT_EQ(A(b.hypot), A(&PF_Hypot));
  EXPECT_EQ(A(b.compositeRect), A(&PF_CompositeRectBest_Straight));  // the bit is removed before use
  EXPECT_DOUBLE_EQ(b.hypot(3, 4), 5);

  // Changing quality in place swaps only the varying words.
  ASSERT_EQ(PF_SetCallbackBlockQuality(PF_Quality_Draft, 0, &b), 0);
  EXPECT_EQ(A(b.compositeRect), A(&PF_CompositeRectDraft_Premul));
  EXPECT_EQ(A(b.fill), A(&PF_Fill));
}

TEST_F(PFCallbacks, SelectorsMapToTheirRoutines) {
  struct Case {
    int32_t quality, flags, selector;
    void* expected;
  };
  const Case cases[] = {
      {0, 1, PF_Sel_AppCallback, A(&PF_AppCallback)},
      {0, 1, PF_Sel_CompositeRect, A(&PF_CompositeRectDraft_Straight)},
      {1, 0, PF_Sel_CompositeRect, A(&PF_CompositeRectBest_Premul)},
      {1, 1, PF_Sel_Blend, A(&PF_Blend_Straight)},
      {1, 0, PF_Sel_Blend, A(&PF_Blend_Premul)},
      {1, 0, PF_Sel_Fill, A(&PF_Fill)},
      {1, 0, PF_Sel_Iterate, A(&PF_Iterate)},
      {1, 0, PF_Sel_Premul, A(&PF_Premul)},
      {1, 0, PF_Sel_PremulColor, A(&PF_PremulColor)},
      {1, 1, PF_Sel_RGBtoHLS, A(&PF_RGBtoHLS_Straight)},
      {1, 0, PF_Sel_HLStoRGB, A(&PF_HLStoRGB_Premul)},
      {1, 1, PF_Sel_RGBtoYIQ, A(&PF_RGBtoYIQ_Straight)},
      {1, 1, PF_Sel_YIQtoRGB, A(&PF_YIQtoRGB_Straight)},
      {1, 0, PF_Sel_Luminance, A(&PF_Luminance_Premul)},
      {1, 1, PF_Sel_Hue, A(&PF_Hue_Straight)},
      {1, 1, PF_Sel_Lightness, A(&PF_Lightness_Straight)},
      {1, 0, PF_Sel_Saturation, A(&PF_Saturation_Premul)},
      {1, 0, PF_Sel_NewWorld, A(&PF_NewWorld)},
      {1, 0, PF_Sel_GetPlatformRefs, A(&PF_GetPlatformRefs)},
      {1, 0, PF_Sel_DisposeWorld, A(&PF_DisposeWorld)},
      {1, 0, PF_Sel_IterateOrigin, A(&PF_IterateOrigin)},
      {1, 0, PF_Sel_IterateLUT, A(&PF_IterateLUT)},
      {1, 0, PF_Sel_TransferRect, A(&PF_TransferRect_S)},
      {1, 0, PF_Sel_TransformWorld, A(&PF_TransformWorld_S)},
      {1, 0, PF_Sel_Word58, A(&PF_IterateOriginNoClip)},
      {1, 0, PF_Sel_Word59, A(&PF_IterateIndexed)},
      {0, 0, PF_Sel_SubpixelSample, A(&PF_NNSample)},
      {1, 1, PF_Sel_SubpixelSample, A(&PF_SubpixelSample_Straight)},
      {1, 0, PF_Sel_AreaSample, A(&PF_AreaSample_Premul)},
      {1, 0, PF_Sel_NNSample, A(&PF_NNSample)},
      {0, 1, PF_Sel_Copy, A(&PF_CopyBits_Draft_Static)},
      {1, 1, PF_Sel_Copy, A(&PF_CopyBits_HQ_Straight_Static)},
      {1, 0, PF_Sel_Copy, A(&PF_CopyBits_HQ_Premul_Static)},
      {1, 0, PF_Sel_Convolve, A(&PF_Convolve)},
      {1, 0, PF_Sel_GaussianKernel, A(&PF_GaussianKernel)},
      {1, 1, PF_Sel_FastBlur, A(&PF_FastBlur_Straight)},
      {1, 0, PF_Sel_FastBlur, A(&PF_FastBlur_Premul)},
      {1, 0, PF_Sel_GaussianValue, A(&PFp_GaussianValue)},
      {1, 0, PF_Sel_PaintSpot, A(&PF_PaintSpot)},
      {1, 0, PF_Sel_ExtractPlanes, A(&PF_ExtractPlanes)},
      {1, 0, PF_Sel_InsertPlanes, A(&PF_InsertPlanes)},
      {1, 0, PF_Sel_BoxBlurUnoScan, A(&PF_BoxBlurUnoScan)},
      {1, 0, PF_Sel_Word0, nullptr},
      {1, 0, PF_Sel_Word4, nullptr},
  };
  for (const Case& c : cases) {
    void* a = reinterpret_cast<void*>(1);
    EXPECT_EQ(PF_GetCallbackAddr(nullptr, c.quality, c.flags, c.selector, &a), 0) << c.selector;
    EXPECT_EQ(a, c.expected) << c.selector;
  }
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(PFp_InstallSecondRoutines(nullptr), 516);
  EXPECT_EQ(PFp_InstallTransformRoutines(nullptr), 516);
}

TEST_F(PFCallbacks, UnknownSelectorsAndMissingOutputsAreRefused) {
  for (int32_t selector : {0, 99, -7, 32}) {
    rec.clear();
    void* a = reinterpret_cast<void*>(1);
    EXPECT_EQ(PF_GetCallbackAddr(nullptr, 1, 0, selector, &a), PF_ErrInvalidSelector);
    EXPECT_EQ(a, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_THAT(rec.last().text, ::testing::HasSubstr("no pixel routine for selector"));
  }
  rec.clear();
  EXPECT_EQ(PF_GetCallbackAddr(nullptr, 1, 0, PF_Sel_Fill, nullptr), PF_ErrBadParam);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, tv::Location(37, 25));
  EXPECT_EQ(PF_OverrideStdFuncs(nullptr, nullptr), PF_ErrInvalidSelector);
  PF_UtilCallbacks b{};
  ASSERT_EQ(PF_GetCallbackBlock(1, 0, &b), 0);
  EXPECT_EQ(b.obsoleteInquiry(nullptr, 0, nullptr, nullptr), PF_ErrBadParam);
  Point mouse{5, 5};
  EXPECT_EQ(b.platformInquiry(nullptr, PF_Inquiry_MousePosition, nullptr, &mouse), 0);
  EXPECT_EQ(mouse.h, 0);
  EXPECT_EQ(b.platformInquiry(nullptr, 2, nullptr, &mouse), PF_ErrBadParam);
  EXPECT_EQ(PF_AppCallback(nullptr, 1, nullptr), kErrUnimplemented);
}

TEST_F(PFCallbacks, HandleCallbacks) {
  PF_UtilCallbacks b{};
  ASSERT_EQ(PF_GetCallbackBlock(1, 0, &b), 0);
  Handle h = b.newHandle(nullptr, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(b.getHandleSize(nullptr, h), 16);
  auto* p = static_cast<char*>(b.lockHandle(nullptr, h));
  ASSERT_NE(p, nullptr);
  std::memset(p, 7, 16);
  EXPECT_EQ(b.unlockHandle(nullptr, h), 0);
  EXPECT_EQ(b.resizeHandle(nullptr, 64, &h), 0);
  EXPECT_EQ(b.getHandleSize(nullptr, h), 64);
  EXPECT_EQ((*h)[15], 7);
  EXPECT_EQ(b.lockHandle(nullptr, nullptr), nullptr);
  EXPECT_EQ(b.getHandleSize(nullptr, nullptr), 0);
  EXPECT_EQ(b.disposeHandle(nullptr, h), 0);
  Handle none = nullptr;
  EXPECT_EQ(b.resizeHandle(nullptr, 8, &none), PF_ErrBadParam);
  EXPECT_THAT(rec.last().text, ::testing::HasSubstr("effect handle data"));
}

TEST_F(PFCallbacks, PackageTexts) {
  EXPECT_STREQ(STRp_Lookup(&PFp_G_STRs, 12), "Can't copy different channel worlds.");
  EXPECT_STREQ(STRp_Lookup(&PFp_G_STRs, 14), "projective layer transforms are not supported.");
  EXPECT_STREQ(STRp_Lookup(&PFp_G_STRs, 15), "wireframe");
  EXPECT_STREQ(STRp_Lookup(&PFp_G_STRs, 16), "uno buffer");
}

}  // namespace
}  // namespace tv::test
