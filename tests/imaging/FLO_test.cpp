// Tests of the mesh distortion package.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "Digest.h"
#include "FLO.h"
#include "LIST.h"
#include "Memory.h"
#include "TestSupport.h"

namespace {

using ::testing::HasSubstr;
using tv::test::UFixture;

constexpr LocationCode FloLoc(uint32_t site) { return tv::Location(FLO_PackageNumber, site); }

struct Image {
  int32_t width, height, rowBytes;
  std::vector<uint8_t> bytes;
  Image(int32_t w, int32_t h, int32_t pad = 8) : width(w), height(h), rowBytes(w * 4 + pad), bytes(size_t(rowBytes) * h, 0xEE) {}
  uint8_t* at(int32_t x, int32_t y) { return bytes.data() + size_t(y) * rowBytes + size_t(x) * 4; }
  PFWorld world() {
    PFWorld w{};
    w.data = reinterpret_cast<char*>(bytes.data());
    w.rowBytes = rowBytes;
    w.width = width;
    w.height = height;
    return w;
  }
  Image& pattern() {
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = at(x, y);
        p[0] = static_cast<uint8_t>(255 - (x * 7 + y) % 64);
        p[1] = static_cast<uint8_t>(x * 13 + y * 5);
        p[2] = static_cast<uint8_t>(y * 11);
        p[3] = static_cast<uint8_t>(x ^ y);
      }
    return *this;
  }
  // Row y from column x equals row y of `other`, over n pixels.
  bool sameRow(int32_t x, int32_t y, Image& other, int32_t ox, int32_t n) {
    return std::memcmp(at(x, y), other.at(ox, y), size_t(n) * 4) == 0;
  }
};

FLO_CurvePoint Pt(double x, double y) {
  return FLO_CurvePoint{static_cast<Fixed>(x * 65536), static_cast<Fixed>(y * 65536), 0};
}

using XY = std::pair<int32_t, int32_t>;

class FLOTest : public UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    LISTp_GetLiveCount(&baseLists);
  }
  void TearDown() override {
    for (FLO_Distortion d : made) EXPECT_EQ(FLO_DisposeDistortion(d), 0);
    int32_t lists = -1;
    LISTp_GetLiveCount(&lists);
    EXPECT_EQ(lists, baseLists) << "lists leaked";
    UFixture::TearDown();
  }
  FLO_Distortion New(int32_t l, int32_t t, int32_t r, int32_t b) {
    LRect bounds{l, t, r, b};
    FLO_Distortion d = nullptr;
    EXPECT_EQ(FLO_NewDistortion(&bounds, &d), 0);
    made.push_back(d);
    return d;
  }
  static std::vector<int32_t> Quality(FLO_Distortion d) {
    int32_t q[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(FLO_GetDistortionQuality(d, q), 0);
    return {q, q + 6};
  }
  static XY Drawing(FLO_Distortion d) {
    XY v{-1, -1};
    EXPECT_EQ(FLO_GetDrawingQuality(d, &v.first, &v.second), 0);
    return v;
  }
  static XY Fwd(FLO_Distortion d, int32_t column, int32_t row) {
    XY v{-1, -1};
    EXPECT_EQ(FLO_GetForwardElement(d, column, row, &v.first, &v.second), 0);
    return v;
  }
  // {left, top, right, bottom} of the output rectangle.
  static std::vector<int32_t> Out(FLO_Distortion d) {
    LRect r{-1, -1, -1, -1};
    EXPECT_EQ(FLO_GetOutputRect(d, &r), 0);
    return {r.left, r.top, r.right, r.bottom};
  }
  static ErrorCode Draw(FLO_Distortion d, Image& src, Image& dst) {
    PFWorld s = src.world(), w = dst.world();
    return FLO_DrawPFWorldDistortion(d, &s, &w);
  }
  // Draws fixed bytes (of seed) of w x h through d, into the digest with the output rectangle.
  static void DrawInto(tv::test::Digest& digest, FLO_Distortion d, int32_t w, int32_t h, uint64_t seed) {
    LRect out{};
    ASSERT_EQ(FLO_GetOutputRect(d, &out), 0);
    Image image(w, h), warped(out.right - out.left, out.bottom - out.top);
    tv::test::FixedBytes(seed).Fill(image.bytes.data(), image.bytes.size());
    ASSERT_EQ(Draw(d, image, warped), 0);
    digest.Value(out).World(warped.world());
  }
  static bool Equal(FLO_Distortion a, FLO_Distortion b) {
    Boolean32 eq = -1;
    EXPECT_EQ(FLO_CompareDistortions(a, b, &eq), 0);
    return eq;
  }
  int32_t baseLists = 0;
  std::vector<FLO_Distortion> made;
};

TEST_F(FLOTest, PackageAndDefaults) {
  FLO_Distortion d = New(0, 0, 40, 30);
  EXPECT_EQ(Quality(d), (std::vector<int32_t>{6, 5, 14, 1, 0, 0}));
  EXPECT_EQ(Drawing(d), XY(0, 200));
  int32_t kind = -1;
  ASSERT_EQ(FLO_GetKind(d, &kind), 0);
  EXPECT_EQ(kind, FLO_Kind_Curves);
  // Values out of range are limited silently.
  const struct {
    int32_t set[6], want[6];
  } quality[] = {{{1, 9, 30, -1, 40, 5000}, {5, 7, 20, 0, 32, 1000}}, {{11, 3, 13, 2, -1, -1}, {10, 4, 14, 1, 0, 0}}};
  for (const auto& c : quality) {
    ASSERT_EQ(FLO_SetDistortionQuality(d, c.set[0], c.set[1], c.set[2], c.set[3], c.set[4], c.set[5]), 0);
    EXPECT_EQ(Quality(d), std::vector<int32_t>(c.want, c.want + 6));
  }
  for (auto [set, want] : {std::pair{XY(5, -5), XY(1, 0)}, {XY(-3, 300), XY(0, 255)}}) {
    ASSERT_EQ(FLO_SetDrawingQuality(d, set.first, set.second), 0);
    EXPECT_EQ(Drawing(d), want);
  }
  EXPECT_TRUE(rec.reports.empty());
  // Empty bounds are refused.
  LRect empty{10, 10, 10, 20};
  d = reinterpret_cast<FLO_Distortion>(1);
  EXPECT_EQ(FLO_NewDistortion(&empty, &d), tv::kErrBadParam);
  EXPECT_EQ(d, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(tv::LocationPackage(rec.last().location), 65u);
  EXPECT_THAT(rec.last().text, HasSubstr("bad argument to FLO_NewDistortion"));
  EXPECT_EQ(FLO_DisposeDistortion(nullptr), 0);
}

TEST_F(FLOTest, Compare) {
  EXPECT_TRUE(Equal(nullptr, nullptr));
  FLO_Distortion a = New(0, 0, 20, 20), b = New(0, 0, 20, 20);
  EXPECT_FALSE(Equal(a, nullptr));
  EXPECT_FALSE(Equal(nullptr, b));
  EXPECT_TRUE(Equal(a, b));
  FLO_CurvePoint tri[3] = {Pt(1, 1), Pt(10, 1), Pt(5, 9)}, moved[3] = {Pt(1, 1), Pt(10, 1), Pt(5, 10)};
  ASSERT_EQ(FLO_SetDistortionCurves(a, FLO_Kind_Curves, 3, tri, 3, tri), 0);
  EXPECT_FALSE(Equal(a, b));
  ASSERT_EQ(FLO_SetDistortionCurves(b, FLO_Kind_Curves, 3, tri, 3, moved), 0);
  EXPECT_FALSE(Equal(a, b));  // the destination curve counts too
  ASSERT_EQ(FLO_SetDistortionCurves(b, FLO_Kind_Curves, 3, tri, 3, tri), 0);
  EXPECT_TRUE(Equal(a, b));
  ASSERT_EQ(FLO_SetDistortionQuality(b, 6, 5, 15, 1, 0, 0), 0);
  EXPECT_FALSE(Equal(a, b));
  ASSERT_EQ(FLO_SetDistortionQuality(b, 6, 5, 14, 1, 0, 0), 0);
  ASSERT_EQ(FLO_SetDrawingQuality(b, 0, 199), 0);
  EXPECT_FALSE(Equal(a, b));
  EXPECT_FALSE(Equal(New(0, 0, 20, 20), New(0, 0, 20, 21)));
}

TEST_F(FLOTest, KindPointAndRecordErrors) {
  FLO_Distortion d = New(0, 0, 32, 32);
  FLO_CurvePoint two[2] = {Pt(1, 1), Pt(5, 5)};
  EXPECT_EQ(FLO_SetDistortionCurves(d, 3, 2, two, 2, two), FLO_ErrBadKind);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, FloLoc(5));
  EXPECT_EQ(rec.last().severity, tv::kSevError);
  EXPECT_THAT(rec.last().text, HasSubstr("unknown distortion kind (3)"));

  // Not prepared: no grid yet.
  int32_t x, y;
  EXPECT_EQ(FLO_GetForwardElement(d, 0, 0, &x, &y), FLO_ErrNotPrepared);
  EXPECT_THAT(rec.last().text, HasSubstr("the distortion is not prepared (no grid)"));

  FLO_CurvePoint flat[3] = {Pt(4, 4), Pt(4, 4), Pt(4, 4)}, pairs[4] = {Pt(1, 1), Pt(2, 2), Pt(3, 3), Pt(4, 4)};
  const struct {
    int32_t kind, count;
    FLO_CurvePoint* points;
    ErrorCode err;
    const char* text;
  } bad[] = {
      {FLO_Kind_Curves, 2, two, FLO_ErrBadSize, "a distortion curve needs at least 3 points (it has 2)"},
      {FLO_Kind_Curves, 3, flat, FLO_ErrFitFailed, "couldn't fit the distortion curves (the source curve has no length)"},
      {FLO_Kind_CurveList, 4, pairs, FLO_ErrBadSize, ""},
  };
  for (const auto& c : bad) {
    const bool list = c.kind == FLO_Kind_CurveList;
    ASSERT_EQ(FLO_SetDistortionCurves(d, c.kind, c.count, c.points, list ? 0 : c.count, list ? nullptr : c.points), 0);
    rec.clear();
    EXPECT_EQ(FLO_DoDistortion(d, 1.0), c.err) << c.text;
    ASSERT_EQ(rec.reports.size(), 1u) << c.text;
    EXPECT_THAT(rec.last().text, HasSubstr(c.text));
  }

  // A kind that is none of 0, 1, 2 in a record; a damaged record.
  reinterpret_cast<int32_t*>(*d)[1] = 7;
  rec.clear();
  EXPECT_EQ(FLO_DoDistortion(d, 1.0), FLO_ErrBadKind);
  EXPECT_THAT(rec.last().text, HasSubstr("unknown distortion kind (7)"));
  reinterpret_cast<int32_t*>(*d)[1] = 0;
  const uint32_t saved = reinterpret_cast<uint32_t*>(*d)[0];
  reinterpret_cast<uint32_t*>(*d)[0] = 0x1234;
  EXPECT_EQ(FLO_DoDistortion(d, 0), tv::kErrDamaged);
  EXPECT_THAT(rec.last().text, HasSubstr("the distortion record is damaged"));
  reinterpret_cast<uint32_t*>(*d)[0] = saved;
}

TEST_F(FLOTest, GridLayoutAndForwardAccess) {
  FLO_Distortion d = New(5, 7, 42, 30);  // 37 x 23
  ASSERT_EQ(FLO_SetDistortionQuality(d, 5, 5, 14, 1, 0, 0), 0);
  ASSERT_EQ(FLO_SetGridGenerator(d, nullptr, 0), 0);  // the built-in identity
  ASSERT_EQ(FLO_DoDistortion(d, 0.5), 0);
  int32_t info[5];
  ASSERT_EQ(FLO_GetForwardInfo(d, info), 0);
  EXPECT_EQ(std::vector<int32_t>(info, info + 5), (std::vector<int32_t>{10, 10, 13, 13, 0}));
  EXPECT_EQ(Fwd(d, 1, 1), XY(5 * 65536, 7 * 65536));
  EXPECT_EQ(Fwd(d, 11, 11), XY(42 * 65536, 30 * 65536));
  // Grid point (3, 1).
  EXPECT_EQ(Fwd(d, 4, 2), XY(5 * 65536 + (3 * 37 * 65536 + 5) / 10, 7 * 65536 + (23 * 65536 + 5) / 10));
  // The border is extrapolated.
  EXPECT_EQ(Fwd(d, 0, 3).first, 2 * Fwd(d, 1, 3).first - Fwd(d, 2, 3).first);
  EXPECT_EQ(Out(d), (std::vector<int32_t>{5, 7, 42, 30}));

  // Out of range, both ways.
  rec.clear();
  int32_t x, y;
  EXPECT_EQ(FLO_GetForwardElement(d, 13, 0, &x, &y), FLO_ErrGridIndex);
  EXPECT_EQ(x, 0);
  EXPECT_THAT(rec.last().text, HasSubstr("grid element (13, 0) is outside the distortion grid (13 x 13)"));
  EXPECT_EQ(FLO_SetForwardElement(d, 0, -1, 1, 1), FLO_ErrGridIndex);
  EXPECT_EQ(FLO_SetForwardElement(d, 12, 13, 1, 1), FLO_ErrGridIndex);
  EXPECT_EQ(rec.reports.size(), 3u);

  ASSERT_EQ(FLO_SetForwardElement(d, 12, 12, 77, -88), 0);
  EXPECT_EQ(Fwd(d, 12, 12), XY(77, -88));

  Handle array = nullptr;
  ASSERT_EQ(FLO_GetForwardArray(d, &array), 0);
  ASSERT_EQ(GetHandleSize(array), 13 * 13 * 8);
  auto* e = reinterpret_cast<FLO_ForwardElement*>(*array);
  EXPECT_EQ(e[12 * 13 + 12].x, 77);
  e[2 * 13 + 3].x = 12345;  // row 2, column 3
  ASSERT_EQ(FLO_SetForwardArray(d, array), 0);
  EXPECT_EQ(Fwd(d, 3, 2).first, 12345);
  SetHandleSize(array, 13 * 13 * 8 - 8);
  rec.clear();
  EXPECT_EQ(FLO_SetForwardArray(d, array), FLO_ErrBadSize);
  EXPECT_THAT(rec.last().text, HasSubstr("the forward array has 1344 bytes, not 1352"));
  DisposeHandle(array);
}

TEST_F(FLOTest, IdenticalCurvesReproduceTheImage) {
  for (int32_t quality : {0, 1}) {
    FLO_Distortion d = New(3, 4, 40, 27);  // 37 x 23
    FLO_CurvePoint shape[5] = {Pt(9, 8), Pt(30, 6.5), Pt(33, 20), Pt(20, 25.25), Pt(10, 18)};
    ASSERT_EQ(FLO_SetDistortionCurves(d, FLO_Kind_Curves, 5, shape, 5, shape), 0);
    ASSERT_EQ(FLO_SetDistortionQuality(d, 7, 4, 20, 1, 3, 0), 0);
    ASSERT_EQ(FLO_SetDrawingQuality(d, quality, 200), 0);
    ASSERT_EQ(FLO_DoDistortion(d, 1.0), 0);
    Image src = Image(37, 23).pattern(), dst(37, 23, 12);
    ASSERT_EQ(Draw(d, src, dst), 0);
    for (int32_t y = 0; y < 23; ++y) {
      ASSERT_TRUE(dst.sameRow(0, y, src, 0, 37)) << "row " << y << " quality " << quality;
      EXPECT_EQ(dst.at(37, y)[0], 0xEE);  // the row padding is not written
    }
  }
  EXPECT_TRUE(rec.reports.empty());
}

ErrorCode Shift3(uintptr_t, FpLong, int32_t, int32_t, FpLong rx, FpLong ry, FpLong* x, FpLong* y) {
  *x = rx + 3;
  *y = ry;
  return 0;
}

TEST_F(FLOTest, GeneratorTranslatesAndWidensTheOutput) {
  FLO_Distortion d = New(0, 0, 20, 10);
  ASSERT_EQ(FLO_SetGridGenerator(d, Shift3, 0), 0);
  ASSERT_EQ(FLO_DoDistortion(d, 0.0), 0);
  EXPECT_EQ(Out(d), (std::vector<int32_t>{0, 0, 23, 10}));
  Image src = Image(20, 10).pattern(), dst(23, 10), wrong(20, 10);
  rec.clear();
  EXPECT_EQ(Draw(d, src, wrong), FLO_ErrBadSize);
  EXPECT_THAT(rec.last().text, HasSubstr("the image size (20 x 10) does not match the distortion (23 x 10)"));
  ASSERT_EQ(Draw(d, src, dst), 0);
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(dst.at(x, y)[0], 0) << x << "," << y;
    EXPECT_TRUE(dst.sameRow(3, y, src, 0, 20)) << y;
  }
  // The raw image form draws the same.
  Image dst2(23, 10);
  FLO_ImageInfo si{reinterpret_cast<char*>(src.bytes.data()), src.rowBytes, 20, 10, 32};
  FLO_ImageInfo di{reinterpret_cast<char*>(dst2.bytes.data()), dst2.rowBytes, 23, 10, 32};
  ASSERT_EQ(FLO_DrawImageInfoDistortion(d, &si, &di), 0);
  for (int32_t y = 0; y < 10; ++y) EXPECT_TRUE(dst.sameRow(0, y, dst2, 0, 23)) << y;
  di.depth = 16;
  EXPECT_EQ(FLO_DrawImageInfoDistortion(d, &si, &di), tv::kErrBadParam);
}

// ---- Callbacks that re-enter the package --------------------------------------------

struct Reenter {
  FLO_Distortion d;
  PFWorld src, dst;
  ErrorCode inner = -1;
  int calls = 0;
  ErrorCode stopWith = 0;
};

ErrorCode ReenterProgress(uintptr_t refcon, int32_t, int32_t) {
  auto* r = reinterpret_cast<Reenter*>(refcon);
  if (r->calls++ == 0) {
    r->inner = FLO_DrawPFWorldDistortion(r->d, &r->src, &r->dst);
    EXPECT_EQ(FLO_DisposeDistortion(r->d), FLO_ErrBusy);
  }
  return r->stopWith;
}

TEST_F(FLOTest, DrawingIsNotReentrantAndProgressStops) {
  FLO_Distortion d = New(0, 0, 12, 12);
  ASSERT_EQ(FLO_SetGridGenerator(d, nullptr, 0), 0);
  ASSERT_EQ(FLO_DoDistortion(d, 0), 0);
  Image src = Image(12, 12).pattern(), dst(12, 12);
  Reenter r{d, src.world(), dst.world()};
  ASSERT_EQ(FLO_SetProgressInfo(d, ReenterProgress, reinterpret_cast<uintptr_t>(&r), 0), 0);
  ASSERT_EQ(FLO_DrawPFWorldDistortion(d, &r.src, &r.dst), 0);
  EXPECT_EQ(r.inner, FLO_ErrBusy);
  EXPECT_EQ(r.calls, 12);
  // The busy state was cleared: drawing again works, and a progress answer stops it.
  r.calls = 0;
  r.stopWith = 517;
  EXPECT_EQ(FLO_DrawPFWorldDistortion(d, &r.src, &r.dst), 517);
  EXPECT_EQ(r.calls, 1);
  r.calls = 5;
  r.stopWith = 0;
  ASSERT_EQ(FLO_DrawPFWorldDistortion(d, &r.src, &r.dst), 0);
  // Drawing value 0: no progress calls.
  ASSERT_EQ(FLO_SetDrawingQuality(d, 0, 0), 0);
  r.calls = 0;
  ASSERT_EQ(FLO_DrawPFWorldDistortion(d, &r.src, &r.dst), 0);
  EXPECT_EQ(r.calls, 0);
}

struct Disposer {
  FLO_Distortion d;
  ErrorCode inner = -1;
};
ErrorCode DisposingGenerator(uintptr_t refcon, FpLong, int32_t, int32_t, FpLong rx, FpLong ry, FpLong* x, FpLong* y) {
  auto* p = reinterpret_cast<Disposer*>(refcon);
  if (p->inner == -1) p->inner = FLO_DisposeDistortion(p->d);
  *x = rx;
  *y = ry;
  return 0;
}
ErrorCode FailingGenerator(uintptr_t, FpLong, int32_t column, int32_t, FpLong rx, FpLong ry, FpLong* x, FpLong* y) {
  *x = rx + 1;
  *y = ry;
  return column == 4 ? 1234 : 0;
}

TEST_F(FLOTest, GeneratorsCannotPullTheRecordAway) {
  FLO_Distortion d = New(0, 0, 10, 10);
  Disposer p{d};
  ASSERT_EQ(FLO_SetGridGenerator(d, DisposingGenerator, reinterpret_cast<uintptr_t>(&p)), 0);
  ASSERT_EQ(FLO_DoDistortion(d, 0.5), 0);
  EXPECT_EQ(p.inner, FLO_ErrBusy);
  // A generator's failure is passed up and leaves the previous grid.
  ASSERT_EQ(FLO_SetGridGenerator(d, FailingGenerator, 0), 0);
  EXPECT_EQ(FLO_DoDistortion(d, 0.5), 1234);
  EXPECT_EQ(Fwd(d, 1, 1).first, 0);
}

// The mesh drawn through a warped grid, pinned by digest: curves that skew
// and bulge the picture (the grid, its smoothing and falloff, and both
// samplers), and a curve list of pairs.
TEST_F(FLOTest, WarpedDrawingsKeepTheirDigest) {
  tv::test::Digest digest;
  for (int32_t quality : {0, 1}) {
    FLO_Distortion d = New(0, 0, 40, 30);
    FLO_CurvePoint src[5] = {Pt(8, 6), Pt(30, 5), Pt(33, 22), Pt(20, 25), Pt(7, 21)};
    FLO_CurvePoint dst[5] = {Pt(11, 3), Pt(34.5, 8.25), Pt(31, 27), Pt(17, 22.5), Pt(4, 24)};
    ASSERT_EQ(FLO_SetDistortionCurves(d, FLO_Kind_Curves, 5, src, 5, dst), 0);
    ASSERT_EQ(FLO_SetDistortionQuality(d, 6, 5, 16, quality, 2, 25), 0);
    ASSERT_EQ(FLO_SetDrawingQuality(d, quality, 0), 0);
    ASSERT_EQ(FLO_DoDistortion(d, 0.8), 0);
    DrawInto(digest, d, 40, 30, 31 + quality);

    FLO_Distortion e = New(0, 0, 24, 24);
    FLO_CurvePoint pairs[6] = {Pt(3, 3), Pt(5.5, 2), Pt(20, 4), Pt(18, 7), Pt(12, 20), Pt(13, 16.75)};
    ASSERT_EQ(FLO_SetDistortionCurves(e, FLO_Kind_CurveList, 6, pairs, 0, nullptr), 0);
    ASSERT_EQ(FLO_SetDrawingQuality(e, quality, 0), 0);
    ASSERT_EQ(FLO_DoDistortion(e, 1.0), 0);
    DrawInto(digest, e, 24, 24, 41 + quality);
  }
  EXPECT_EQ(digest.value(), 0xEDE0C583A83EEB03ull) << std::hex << digest.value();
  EXPECT_TRUE(rec.reports.empty());
}

}  // namespace
