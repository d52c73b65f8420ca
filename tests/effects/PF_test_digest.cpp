// Pinned digests of the pixel routines' output on fixed inputs, taken with
// the reference kernels and with the fast ones. The two kernels are held
// equal to each other by the other tests; these hold both to the bytes they
// gave when the digests were pinned, so that they cannot drift together. A
// change meant to alter a routine's output updates its digest in the same
// change and says why.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Digest.h"
#include "PF_test_fixture.h"

namespace tv::test {
namespace {

class PFDigest : public PFFixture {
 protected:
  // Runs body with the reference kernels, then with the fast ones: both give `pinned`.
  void Pin(const std::string& name, uint64_t pinned, const std::function<void(Digest&)>& body) {
    for (Boolean32 reference : {1, 0}) {
      PFp_UseReferenceKernels(reference);
      Digest d;
      body(d);
      EXPECT_EQ(d.value(), pinned) << name << (reference ? ", reference kernels" : ", fast kernels") << ": 0x"
                                   << std::hex << d.value();
    }
    PFp_UseReferenceKernels(0);
    EXPECT_TRUE(rec.reports.empty()) << name;
  }
};

Buffer Input(int32_t width, int32_t height, uint64_t seed) {
  Buffer b(width, height);
  FixedBytes(seed).Fill(b.world);
  return b;
}

TEST_F(PFDigest, TransferModes) {
  const uint64_t pinned[PF_Xfer_Count] = {
      0x6EDB36908DA56764ull, 0x39D7C873CA5970D9ull, 0x37D78C946FF88542ull, 0x1C458BACEEED63BEull,
      0xC9CA2190B92F80F6ull, 0x0071A7E42D4A0973ull, 0x48E04C156BEDFF57ull, 0x66E8A898C80E4552ull,
      0x9784229C0DEFC048ull, 0x423500DC4A77FF75ull, 0xD1207E25FD929FC2ull, 0xDD25C4D4E8E184A7ull,
      0x4DD0E28CA0EFD3C8ull, 0x0F9CB8F0DA2812DFull, 0xDA1D898AF98C6A99ull, 0x9792EE7F0357725Dull,
      0x6ACA778342DAAF0Cull, 0x64C8FAEE169608DEull, 0xF48A8D44DA9C0353ull, 0x3D630D6D3A4F4A1Eull,
      0xD5939D46A793CE39ull, 0x30845AB05C3A037Full, 0x3E8A123A66A640E5ull, 0x754CE5B07B700D9Bull,
      0x423064C68CA344D8ull, 0xD6BD6DCC540EB039ull,
  };
  const Buffer src = Input(37, 23, 1), start = Input(41, 27, 2), matte = Input(41, 27, 3);
  struct Config {
    uint8_t opacity, colourOnly;
    bool masked;
    int32_t maskFlags;
  };
  const Config configs[] = {{255, 0, false, 0}, {128, 0, false, 0}, {200, 0, true, PF_Mask_Invert},
                            {255, 1, true, PF_Mask_Luminance}};
  for (int32_t mode = 0; mode < PF_Xfer_Count; ++mode)
    Pin("transfer mode " + std::to_string(mode), pinned[mode], [&](Digest& d) {
      for (const Config& c : configs) {
        Buffer dst = start;
        PF_CompositeMode m{mode, 0x1234567u, c.opacity, c.colourOnly, {}};
        const PF_MaskWorld mask{matte.world, LPoint{-1, 2}, c.maskFlags};
        ASSERT_EQ(PF_TransferRect(nullptr, 1, 0, 0, nullptr, &src.world, &m, c.masked ? &mask : nullptr, 3, 2,
                                  &dst.world),
                  0);
        EXPECT_TRUE(dst.PaddingIntact());
        d.World(dst.world);
      }
    });
}

TEST_F(PFDigest, CompositingBlendFillAndPremultiplication) {
  Pin("composite rectangles", 0x9D7204B7268BCE5Dull, [&](Digest& d) {
    const Buffer src = Input(30, 20, 4), start = Input(33, 25, 5);
    const Rect r{2, 3, 19, 27};
    for (PF_CompositeRectFunc fn : {&PF_CompositeRectDraft_Straight, &PF_CompositeRectDraft_Premul,
                                    &PF_CompositeRectBest_Straight, &PF_CompositeRectBest_Premul})
      for (int32_t mode : {PF_Xfer_Normal, PF_Xfer_Screen, PF_Xfer_AlphaAdd})
        for (int32_t field : {0, 1}) {
          Buffer dst = start;
          ASSERT_EQ(fn(nullptr, &r, 170, &src.world, 4, -2, field, mode, &dst.world), 0);
          d.World(dst.world);
        }
  });
  Pin("blend", 0x1A17442284B1460Full, [&](Digest& d) {
    const Buffer a = Input(37, 23, 6), b = Input(37, 23, 7);
    for (auto fn : {&PF_Blend_Straight, &PF_Blend_Premul})
      for (Fixed ratio : {0x10, 0x3000, 0x8000, 0xC123, 0xFFF0}) {
        Buffer out(37, 23);
        ASSERT_EQ(fn(nullptr, &a.world, &b.world, ratio, &out.world), 0);
        d.World(out.world);
      }
  });
  Pin("fill", 0x1F83740689E43A03ull, [&](Digest& d) {
    Buffer w = Input(19, 11, 8);
    const PF_Pixel colour{200, 10, 20, 30};
    const Rect bottomUp{9, 14, 2, 3}, beyond{6, -4, 40, 5};
    ASSERT_EQ(PF_Fill(nullptr, &colour, &bottomUp, &w.world), 0);
    ASSERT_EQ(PF_Fill(nullptr, nullptr, &beyond, &w.world), 0);
    d.World(w.world);
  });
  Pin("premultiplication", 0xF94D7DA90344BF83ull, [&](Digest& d) {
    Buffer w = Input(37, 23, 9);
    ASSERT_EQ(PF_Premul(nullptr, 1, &w.world), 0);
    d.World(w.world);
    ASSERT_EQ(PF_Premul(nullptr, 0, &w.world), 0);
    d.World(w.world);
    const PF_Pixel matte{255, 40, 90, 200};
    Buffer c = Input(37, 23, 10);
    ASSERT_EQ(PF_PremulColor(nullptr, 1, &matte, &c.world), 0);
    d.World(c.world);
    ASSERT_EQ(PF_PremulColor(nullptr, 0, &matte, &c.world), 0);
    d.World(c.world);
    std::vector<uint8_t> row(4 * 101);
    FixedBytes(11).Fill(row.data(), row.size());
    for (auto fn : {&PF_BlackMatteARGB, &PF_DeBlackMatteARGB, &PF_BlackMatteBGRA, &PF_DeBlackMatteBGRA}) {
      std::vector<uint8_t> r = row;
      ASSERT_EQ(fn(nullptr, 101, r.data()), 0);
      d.Bytes(r.data(), r.size());
    }
    std::vector<PF_Pixel> in(101), out(101);
    std::memcpy(in.data(), row.data(), row.size());
    for (auto fn : {&PF_BlackMatte, &PF_DeBlackMatte}) {
      ASSERT_EQ(fn(nullptr, 101, in.data(), out.data()), 0);
      d.Bytes(out.data(), 4 * out.size());
    }
    ASSERT_EQ(PF_MatteBlackToMatteColorBGRA(nullptr, 101, &matte, row.data()), 0);
    d.Bytes(row.data(), row.size());
  });
}

TEST_F(PFDigest, Copies) {
  struct Case {
    int32_t sw, sh, dw, dh;
    bool rects;
  };
  // Reduced, halved (the fast halving path), enlarged, and part to part.
  const Case cases[] = {{37, 23, 18, 11, false}, {40, 24, 20, 12, false}, {13, 7, 29, 17, false}, {37, 23, 37, 23, true}};
  const Rect srcRect{1, 2, 20, 30}, dstRect{3, 4, 10, 13};
  const std::pair<const char*, PF_CopyFunc> kinds[] = {{"draft copy", &PF_CopyBits_Draft_Static},
                                                       {"straight copy", &PF_CopyBits_HQ_Straight_Static},
                                                       {"premultiplied copy", &PF_CopyBits_HQ_Premul_Static}};
  const uint64_t pinned[] = {0x039295C4B9984E89ull, 0x67758CFCF02D7115ull,
                             0x69941925985A9B9Dull};
  for (size_t k = 0; k < 3; ++k)
    Pin(kinds[k].first, pinned[k], [&](Digest& d) {
      for (const Case& c : cases) {
        const Buffer src = Input(c.sw, c.sh, 12);
        Buffer dst = Input(c.dw, c.dh, 13);
        ASSERT_EQ(kinds[k].second(nullptr, &src.world, &dst.world, c.rects ? &srcRect : nullptr,
                                  c.rects ? &dstRect : nullptr),
                  0);
        EXPECT_TRUE(dst.PaddingIntact());
        d.World(dst.world);
      }
    });
}

TEST_F(PFDigest, Samplers) {
  const uint64_t pinned[] = {0xB5B9C3300FD5E601ull, 0xEF8E6D39CD28F4D3ull, 0xF66C210644ACE220ull,
                             0x6868CC8C7A9BE476ull, 0xB5F203BE8A8A837Bull};
  const Buffer s = Input(23, 17, 14);
  for (int32_t kind = PF_Sample_NN; kind <= PF_Sample_Area_Premul; ++kind)
    Pin("sampler " + std::to_string(kind), pinned[kind], [&](Digest& d) {
      for (int32_t edge : {PF_Edge_Transparent, PF_Edge_Repeat})
        for (int32_t row = 0; row < 12; ++row) {
          const PF_SampleParams p{0x8000 + row * 0x5000, 0xC000 + row * 0x3000, 0, &s.world, edge, {}};
          const Fixed x = -3 * 65536 + row * 50000, y = -2 * 65536 + row * 123457;
          const Fixed dx = 39321 - row * 9000, dy = (row & 1 ? -1 : 1) * (7000 + row * 1000);
          PF_Pixel out[40];
          ASSERT_EQ(PFp_SampleRow(nullptr, kind, x, y, dx, dy, 40, &p, out), 0);
          d.Bytes(out, sizeof out);
        }
    });
}

TEST_F(PFDigest, KernelsAndConvolution) {
  Pin("convolution", 0x4E03519A1704321Dull, [&](Digest& d) {
    const Buffer s = Input(29, 19, 15);
    int32_t square[25], row[7], diameter = 0, rowDiameter = 0;
    ASSERT_EQ(PF_GaussianKernel(nullptr, 2.0, 0, 1.0, &diameter, square), 0);
    ASSERT_EQ(PF_GaussianKernel(nullptr, 2.6, PF_Kernel_1D | PF_Kernel_Normalize, 1.0, &rowDiameter, row), 0);
    d.Bytes(square, sizeof square).Bytes(row, sizeof row);
    const int32_t sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    const Rect area{2, 3, 17, 25};
    for (int32_t flags : {0, int32_t{PF_Convolve_RepeatEdges}}) {
      Buffer o = Input(29, 19, 16);
      ASSERT_EQ(PF_Convolve(nullptr, &s.world, nullptr, flags, diameter, square, square, nullptr, square, &o.world), 0);
      d.World(o.world);
      ASSERT_EQ(PF_Convolve(nullptr, &s.world, &area, flags | PF_Convolve_1D, rowDiameter, row, row, row, nullptr,
                            &o.world),
                0);
      d.World(o.world);
      Buffer w = s;  // in place
      ASSERT_EQ(PF_Convolve(nullptr, &w.world, nullptr, flags, 3, sharpen, sharpen, sharpen, sharpen, &w.world), 0);
      d.World(w.world);
    }
  });
  Pin("coverage scans", 0x7B320931B52558E2ull, [&](Digest& d) {
    std::vector<uint8_t> scan(300), out(300);
    FixedBytes(17).Fill(scan.data(), scan.size());
    for (int32_t radius : {0, 1, 7, 40}) {
      ASSERT_EQ(PF_BoxBlurUnoScan(scan.data(), 1, 300, radius, out.data(), 1), 0);
      d.Bytes(out.data(), out.size());
      ASSERT_EQ(PF_BoxBlurUnoScan(scan.data(), 3, 100, radius, out.data(), 2), 0);
      d.Bytes(out.data(), out.size());
    }
    for (double radius : {0.5, 2.3, 9.0}) {
      ASSERT_EQ(PF_GBlurUnoScan(scan.data(), 1, 300, radius, out.data(), 1), 0);
      d.Bytes(out.data(), out.size());
    }
  });
}

TEST_F(PFDigest, LayerTransform) {
  const Buffer src = Input(31, 21, 19), start = Input(40, 34, 20), matte = Input(40, 34, 21);
  const PF_MaskWorld mask{matte.world, LPoint{0, 0}, 0};
  const Rect destRect{3, 2, 30, 37};
  struct Case {
    std::vector<FloatMatrix> matrices;
    int32_t mode;
    uint8_t opacity;
    bool masked;
    int32_t field;
  };
  const Case cases[] = {
      {{Similar(1.3, 17, 5.25, -2.5)}, PF_Xfer_Normal, 255, false, 0},
      {{Similar(0.3, -5, 8, 9)}, PF_Xfer_Screen, 150, true, 0},          // area sampling
      {{Similar(2.7, 40, 20, -10)}, PF_Xfer_Dissolve, 190, false, 2},    // sub-pixel sampling
      {{Similar(1, 0, 3.5, 2.25)}, PF_Xfer_AlphaStencil, 255, false, 0}, // a fractional translation
      {{Similar(1, 0, 4, 3)}, PF_Xfer_Normal, 220, true, 1},             // a whole-pixel translation
      {{Similar(1, 0, 0, 0), Similar(1.2, 10, 6, 3)}, PF_Xfer_Normal, 255, false, 0},  // motion blur
  };
  const uint64_t pinned[] = {0x1F5FFB2BC31CB8F1ull, 0x5B4BD91189965838ull};
  for (int32_t quality : {0, 1})
    Pin("transform, quality " + std::to_string(quality), pinned[quality], [&](Digest& d) {
      for (const Case& c : cases) {
        Buffer dst = start;
        const PF_CompositeMode m{c.mode, 99, c.opacity, 0, {}};
        ASSERT_EQ(PF_TransformWorld(nullptr, quality, 0, c.field, &src.world, &m, c.masked ? &mask : nullptr,
                                    c.matrices.data(), static_cast<int32_t>(c.matrices.size()), 0, &destRect,
                                    &dst.world),
                  0);
        EXPECT_TRUE(dst.PaddingIntact());
        d.World(dst.world);
      }
    });
}

}  // namespace
}  // namespace tv::test
