// Matrices: building, classification, conversion between the forms and
// inversion; the transformation of points, vectors and rectangles.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "M.h"
#include "M_test_geometry.h"
#include "TestSupport.h"

namespace {

using tv::mtest::Edges;
using tv::mtest::Edges4;
using tv::mtest::HV;
using tv::mtest::HV2;
using tv::test::UFixture;

class MMatrix : public UFixture {
 protected:
  static FloatMatrix Identity() {
    FloatMatrix m;
    M_SetIdentityMatrix(&m);
    return m;
  }
  static FixMatrix FixIdentity() {
    FixMatrix m;
    M_SetIdentityFixMatrix(&m);
    return m;
  }
  // The identity with some entries replaced: {index, value} pairs.
  static FloatMatrix With(std::initializer_list<std::pair<int, double>> entries) {
    FloatMatrix m = Identity();
    for (auto [k, v] : entries) m.m[k] = v;
    return m;
  }
  static FixMatrix FixWith(std::initializer_list<std::pair<int, int32_t>> entries) {
    FixMatrix m = FixIdentity();
    for (auto [k, v] : entries) m.m[k] = v;
    return m;
  }
  static FloatPoint Apply(const FloatMatrix& m, double x, double y) {
    FloatPoint p{x, y};
    M_TransformFloatPoints(&m, 1, &p);
    return p;
  }
  static void ExpectNear(FloatPoint p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
  }
  static std::vector<int32_t> Entries(const FixMatrix& m) { return {std::begin(m.m), std::end(m.m)}; }
  void ExpectReport(uint32_t site, const char* text) {
    rec.ExpectLast(tv::Location(17, site), tv::kSevError, text);
  }
};

TEST_F(MMatrix, IdentityAndEquality) {
  FloatMatrix m = Identity();
  const double want[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(m.m, want, sizeof want), 0);
  FixMatrix f = FixIdentity();
  const int32_t fwant[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
  EXPECT_EQ(std::memcmp(f.m, fwant, sizeof fwant), 0);
  Boolean32 equal = 0;
  for (auto [n, want] : {std::pair{m, 1}, std::pair{With({{5, 1e-300}}), 0}}) {
    M_EqualMatrix(&m, &n, &equal);
    EXPECT_EQ(equal, want);
  }
  for (auto [g, want] : {std::pair{f, 1}, std::pair{FixWith({{8, 0}}), 0}}) {
    M_EqualFixMatrix(&f, &g, &equal);
    EXPECT_EQ(equal, want);
  }
}

TEST_F(MMatrix, TypeClassification) {
  auto type = [](const FloatMatrix& m) {
    int32_t t = -1;
    M_GetMatrixType(&m, &t);
    return t;
  };
  auto ftype = [](const FixMatrix& m) {
    int32_t t = -1;
    M_GetFixMatrixType(&m, &t);
    return t;
  };
  // Identity, translation, scale, scale and translation, affine, projective.
  const std::pair<FloatMatrix, int32_t> floats[] = {
      {Identity(), 0},
      {With({{6, 5}}), 1},
      {With({{6, 5}, {0, 2}}), 3},
      {With({{0, 2}}), 2},
      {With({{0, 2}, {3, 0.1}}), 4},
      {With({{0, 2}, {3, 0.1}, {8, 0.5}}), 5},
      {With({{5, 1e-9}}), 5}};
  for (const auto& [m, want] : floats) EXPECT_EQ(type(m), want) << want;
  const std::pair<FixMatrix, int32_t> fixes[] = {{FixIdentity(), 0},
                                                 {FixWith({{6, 5 << 16}}), 1},
                                                 {FixWith({{6, 5 << 16}, {1, 0x8000}}), 4},
                                                 {FixWith({{4, 0x20000}}), 2},
                                                 {FixWith({{4, 0x20000}, {2, 1}}), 5}};
  for (const auto& [f, want] : fixes) EXPECT_EQ(ftype(f), want) << want;
}

TEST_F(MMatrix, RotateScaleTranslate) {
  FloatMatrix m = Identity();
  M_RotateMatrix(&m, 90, 0, 0);
  ExpectNear(Apply(m, 1, 0), 0, 1);  // clockwise on screen with y down
  // About a centre, and with angles beyond a turn.
  m = Identity();
  M_RotateMatrix(&m, 450, 10, 10);
  ExpectNear(Apply(m, 20, 10), 10, 20);
  m = Identity();
  M_RotateMatrix(&m, -90, 0, 0);
  ExpectNear(Apply(m, 1, 0), 0, -1);
  // Whole turns leave the matrix exactly as it was.
  FloatMatrix t = With({{0, 1.25}, {7, -3}}), before = t;
  M_RotateMatrix(&t, 360, 5, 5);
  M_RotateMatrix(&t, -720, 5, 5);
  EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
  // Scaling by exactly 1 changes nothing, whatever the centre.
  M_ScaleMatrix(&t, 1, 1, 100, 100);
  EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
  m = Identity();
  M_ScaleMatrix(&m, 2, 3, 1, 1);
  EXPECT_EQ(std::tuple(m.m[6], m.m[7]), std::tuple(-1.0, -2.0));
  ExpectNear(Apply(m, 1, 1), 1, 1);
  m = Identity();
  M_TranslateMatrix(&m, 3, -4);
  EXPECT_EQ(std::tuple(m.m[6], m.m[7]), std::tuple(3.0, -4.0));
}

TEST_F(MMatrix, FixedFormOperations) {
  FixMatrix f = FixIdentity();
  M_TranslateFixMatrix(&f, 0x18000, -0x20000);
  EXPECT_EQ(Entries(f), (std::vector<int32_t>{0x10000, 0, 0, 0, 0x10000, 0, 0x18000, -0x20000, 0x40000000}));
  M_ScaleFixMatrix(&f, 0x20000, 0x20000, 0, 0);
  EXPECT_EQ(std::tuple(f.m[0], f.m[6]), std::tuple(0x20000, 0x30000));
  FixMatrix r = FixIdentity();
  M_RotateFixMatrix(&r, 90 << 16, 0, 0);
  // cos 90 rounds to 0 in 16.16.
  EXPECT_EQ(std::tuple(r.m[0], r.m[1], r.m[3]), std::tuple(0, 0x10000, -0x10000));
  FixMatrix before = r;
  M_RotateFixMatrix(&r, 360 << 16, 0x10000, 0);
  M_ScaleFixMatrix(&r, 0x10000, 0x10000, 0x50000, 0);
  EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
  FixMatrix a = FixWith({{6, 0x10000}}), b = FixWith({{0, 0x20000}});
  M_ConcatFixMatrix(&a, &b);
  EXPECT_EQ(std::tuple(b.m[0], b.m[6]), std::tuple(0x20000, 0x10000));
  EXPECT_TRUE(rec.reports.empty());
  // A result beyond the fixed range fails and leaves the matrix untouched.
  FixMatrix big = FixWith({{0, 0x40000000}});  // 16384
  before = big;
  EXPECT_EQ(M_ScaleFixMatrix(&big, 0x40000, 0x10000, 0, 0), M_ErrOverflow);
  EXPECT_EQ(std::memcmp(&big, &before, sizeof big), 0);
  ExpectReport(0x50, "Test error: overflow in matrix conversion (1102).");
}

TEST_F(MMatrix, ConversionRangesAndRounding) {
  // Half a unit (7, 3) rounds away from zero.
  FloatMatrix m = With(
      {{0, 1.5}, {1, -2.25}, {6, -32768.0}, {7, 0.5 / 65536}, {3, -0.5 / 65536}, {2, -2.0}, {5, 0.5 / 1073741824.0}});
  FixMatrix f;
  ASSERT_EQ(M_Float2FixMatrix(&m, &f), 0);
  EXPECT_EQ(Entries(f), (std::vector<int32_t>{0x18000, -0x24000, INT32_MIN, -1, 0x10000, 1, INT32_MIN, 1, 0x40000000}));
  FloatMatrix back;
  M_Fix2FloatMatrix(&f, &back);
  EXPECT_EQ(std::tuple(back.m[0], back.m[2], back.m[8]), std::tuple(1.5, -2.0, 1.0));
  EXPECT_TRUE(rec.reports.empty());

  // Each failure leaves the destination untouched.
  const FixMatrix sentinel = FixIdentity();
  auto fails = [&](int index, double value) {
    FloatMatrix bad = With({{index, value}});
    FixMatrix out = sentinel;
    ErrorCode err = M_Float2FixMatrix(&bad, &out);
    return err == M_ErrOverflow && std::memcmp(&out, &sentinel, sizeof out) == 0;
  };
  // 32767.99999999 and 1.9999999999 round to 2^31.
  for (auto [index, value] : {std::pair{0, 32768.0}, {0, -32768.00001}, {6, 32767.99999999}, {8, 2.0},
                              {2, 1.9999999999}, {4, std::numeric_limits<double>::quiet_NaN()},
                              {7, std::numeric_limits<double>::infinity()}}) {
    EXPECT_TRUE(fails(index, value)) << index << " " << value;
  }
  EXPECT_EQ(rec.reports.size(), 7u);
  ExpectReport(0x50, "Test error: overflow in matrix conversion (1102).");
  EXPECT_FALSE(fails(6, 32767.9999));
}

TEST_F(MMatrix, InverseTiesZeroPivotsAndTheThreshold) {
  // Equal magnitudes in a pivot column (the tie rule) and a zero first pivot.
  FloatMatrix t = {{1, 2, 0, -1, 3, 0, 0, 0, 1}};
  FloatMatrix inv;
  ASSERT_EQ(M_InverseMatrix(&t, &inv), 0);
  FloatMatrix check = t;
  M_ConcatMatrix(&inv, &check);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(check.m[k], (k % 4 == 0) ? 1.0 : 0.0, 1e-15);
  FloatMatrix z = {{0, 1, 0, 1, 0, 0, 5, 6, 1}};
  ASSERT_EQ(M_InverseMatrix(&z, &z), 0);  // in place
  EXPECT_DOUBLE_EQ(z.m[6], -6);
  EXPECT_DOUBLE_EQ(z.m[7], -5);
  // Near-singular but above the threshold.
  FloatMatrix tiny = With({{0, 1e-19}});
  ASSERT_EQ(M_InverseMatrix(&tiny, &inv), 0);
  EXPECT_DOUBLE_EQ(inv.m[0], 1e19);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(MMatrix, SingularMatrices) {
  FloatMatrix m = {{1, 2, 3, 1, 2, 3, 0, 0, 1}};  // first two rows equal
  FloatMatrix tiny = With({{4, 1e-21}}), nan = With({{0, std::numeric_limits<double>::quiet_NaN()}});
  FloatMatrix inv = Identity();
  const FloatMatrix untouched = inv;
  for (FloatMatrix* s : {&m, &tiny, &nan}) {
    Boolean32 singular = 0;
    EXPECT_EQ(M_InverseMatrixQuiet(s, &inv, &singular), M_ErrSingularMatrix);
    EXPECT_TRUE(singular);
  }
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(M_InverseMatrix(&m, &inv), M_ErrSingularMatrix);
  ExpectReport(0x51, "Test error: unable to invert matrix (1107).");
  EXPECT_EQ(std::memcmp(&inv, &untouched, sizeof inv), 0);
}

TEST_F(MMatrix, FixedInverse) {
  FixMatrix f = FixWith({{0, 0x20000}, {6, 0x10000}}), inv;
  ASSERT_EQ(M_InverseFixMatrix(&f, &inv), 0);
  EXPECT_EQ(Entries(inv), (std::vector<int32_t>{0x8000, 0, 0, 0, 0x10000, 0, -0x8000, 0, 0x40000000}));
  FixMatrix s = FixWith({{4, 0}}), keep = FixIdentity();
  EXPECT_EQ(M_InverseFixMatrix(&s, &keep), M_ErrSingularMatrix);
  ExpectReport(0x51, "Test error: unable to invert matrix (1107).");
  // A tiny scale inverts to a value beyond the fixed range.
  FixMatrix small = FixWith({{0, 1}});
  EXPECT_EQ(M_InverseFixMatrix(&small, &keep), M_ErrOverflow);
  ExpectReport(0x50, "Test error: overflow in matrix conversion (1102).");
  FixMatrix id = FixIdentity();
  EXPECT_EQ(std::memcmp(&keep, &id, sizeof id), 0);
}

TEST_F(MMatrix, ShortPointsRangeAndRounding) {
  FloatMatrix m = Identity();
  // (v, h); 32766.6 passes, -2.4 rounds to -2; halves go up: 2.5 -> 3, -2.5 -> -2.
  for (auto [dx, h, want] : {std::tuple{0.6, 32766, 32767}, {0.6, 2, 3}, {0.6, -3, -2}, {0.5, 2, 3}, {0.5, -3, -2}}) {
    m.m[6] = dx;
    Point p{0, int16_t(h)};
    ASSERT_EQ(M_TransformPoints(&m, 1, &p), 0);
    EXPECT_EQ(HV(p), (HV2{double(want), 0})) << dx << " " << h;
  }

  // The first failing point stops the operation; it is left whole.
  m = With({{6, 1.0}, {7, 1.0}});
  Point run[3] = {{5, 5}, {32766, 7}, {1, 1}};  // second: y becomes 32767.0
  EXPECT_EQ(M_TransformPoints(&m, 3, run), M_ErrOverflow);
  EXPECT_EQ((std::vector{HV(run[0]), HV(run[1]), HV(run[2])}), (std::vector<HV2>{{6, 6}, {7, 32766}, {1, 1}}));
  ExpectReport(0x60, "Test error: overflow in point transformation (1102).");
  m.m[6] = -1.0;
  m.m[7] = 0;
  Point low[1] = {{0, -32767}};
  EXPECT_EQ(M_TransformPoints(&m, 1, low), M_ErrOverflow);  // -32768.0 excluded
  EXPECT_EQ(low[0].h, -32767);

  FixMatrix f = FixWith({{0, 0x8000}, {7, -0x18000}});  // x 0.5, y - 1.5
  Point fp[1] = {{4, 5}};
  ASSERT_EQ(M_FixTransformPoints(&f, 1, fp), 0);
  EXPECT_EQ(HV(fp[0]), (HV2{3, 3}));  // 2.5 -> 3 both
}

TEST_F(MMatrix, FixedPoints) {
  FloatMatrix m = With({{6, 1.5}, {7, -2}});
  FixedPoint p[1] = {{0x10000, 0}};
  ASSERT_EQ(M_TransformFixPoints(&m, 1, p), 0);
  EXPECT_EQ(HV(p[0]), (HV2{0x28000, -0x20000}));
  m = With({{0, 0.5}, {4, 0.5}});
  FixedPoint r[1] = {{1, -1}};
  M_TransformFixPoints(&m, 1, r);
  EXPECT_EQ(HV(r[0]), (HV2{1, 0}));  // 0.5 -> 1, -0.5 -> 0

  FixMatrix f = FixWith({{0, 0x8000}, {4, 0x8000}, {6, 7}});  // the translation used as it is: 7 units
  FixedPoint t[2] = {{3, -3}, {1, -1}};
  ASSERT_EQ(M_FixTransformFixPoints(&f, 2, t), 0);
  // 1.5 + 7 = 8.5 -> 8; -1.5 -> -1, towards zero.
  EXPECT_EQ((std::vector{HV(t[0]), HV(t[1])}), (std::vector<HV2>{{8, -1}, {7, 0}}));

  f = FixWith({{0, 0x20000}});
  FixedPoint o[2] = {{0x100, 0}, {0x40000000, 9}};
  EXPECT_EQ(M_FixTransformFixPoints(&f, 2, o), M_ErrOverflow);
  EXPECT_EQ((std::vector{HV(o[0]), HV(o[1])}), (std::vector<HV2>{{0x200, 0}, {0x40000000, 9}}));
  ExpectReport(0x61, "Test error: overflow in fixed point transformation (1102).");
  EXPECT_EQ(M_TransformFixPoints(&m, 0, nullptr), 0);
}

TEST_F(MMatrix, Vectors) {
  FloatMatrix m = {{1, 2, 0.5, 3, 4, 0, 5, 6, 2}};
  double v[3] = {1, 2, 1};
  M_TransformVector3(&m, v);
  EXPECT_EQ(std::vector<double>(v, v + 3), (std::vector<double>{1 + 6 + 5, 2 + 8 + 6, 0.5 + 0 + 2}));

  FixMatrix f = FixWith({{6, 0x30000}, {7, 0x40000}});
  int32_t fv[3] = {0x10000, 0x20000, 0x40000000};
  ASSERT_EQ(M_FixTransformFixVector3(&f, fv), 0);
  EXPECT_EQ(std::vector<int32_t>(fv, fv + 3), (std::vector<int32_t>{0x40000, 0x60000, 0x40000000}));
  f.m[6] = 0x7FFF0000;
  int32_t over[3] = {0x10000, 0x20000, 0x40000000};
  EXPECT_EQ(M_FixTransformFixVector3(&f, over), M_ErrOverflow);
  EXPECT_EQ(std::vector<int32_t>(over, over + 3), (std::vector<int32_t>{0x10000, 0x20000, 0x40000000}));
  ExpectReport(0x62, "Test error: overflow in fixed vector transformation (1102).");
}

TEST_F(MMatrix, RectanglesCornersClampingAndNotRect) {
  FloatMatrix m = Identity();
  M_RotateMatrix(&m, 90, 0, 0);
  Rect r;
  M_SetRect(&r, 0, 0, 10, 20);
  double corners[8];
  Boolean32 notRect = 0;
  ASSERT_EQ(M_TransformRect(&m, &r, corners, &notRect), 0);
  // (x, y) -> (-y, x): TL (0,0), TR (10,0), BR (10,20), BL (0,20).
  const double want[8] = {0, 0, 0, 10, -20, 10, -20, 0};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(corners[i], want[i], 1e-12) << i;
  EXPECT_EQ(Edges(r), (Edges4{-20, 0, 0, 10}));
  EXPECT_TRUE(notRect);

  m = Identity();
  M_ScaleMatrix(&m, 10, 10, 0, 0);
  M_SetRect(&r, -5000, 3, 5000, 4000);
  ASSERT_EQ(M_TransformRect(&m, &r, nullptr, &notRect), 0);
  EXPECT_FALSE(notRect);
  EXPECT_EQ(Edges(r), (Edges4{-32767, 30, 32766, 32766}));
  // Rounding of the edges: halves go up.
  m = With({{6, 0.5}, {7, -0.5}});
  M_SetRect(&r, 0, 0, 1, 1);
  M_TransformRect(&m, &r, nullptr, nullptr);
  EXPECT_EQ(Edges(r), (Edges4{1, 0, 2, 1}));

  FixMatrix f = FixWith({{0, 0x8000}});
  M_SetRect(&r, 0, 0, 3, 3);
  M_FixTransformRect(&f, &r, nullptr, &notRect);
  EXPECT_EQ(std::tuple(r.right, notRect), (std::tuple<int16_t, Boolean32>(2, 0)));  // 1.5 -> 2

  // Fixed rectangles, corners in pixels.
  m = With({{6, 1.0}});
  FixedRect fr{0, 0, 0x18000, 0x10000};
  ASSERT_EQ(M_TransformFixRect(&m, &fr, corners, nullptr), 0);
  EXPECT_EQ(Edges(fr), (Edges4{0x10000, 0, 0x28000, 0x10000}));
  EXPECT_EQ(corners[2], 2.5);
  m = Identity();
  M_ScaleMatrix(&m, 1000, 1, 0, 0);
  fr = FixedRect{-0x1000000, 0, 0x1000000, 1};
  M_TransformFixRect(&m, &fr, nullptr, nullptr);
  EXPECT_EQ(Edges(fr), (Edges4{-2147483647, 0, 2147483646, 1}));
  f = FixWith({{6, 0x10000}, {1, 0x100}});
  fr = FixedRect{0, 0, 0x10000, 0x10000};
  M_FixTransformFixRect(&f, &fr, nullptr, &notRect);
  EXPECT_EQ(std::tuple(fr.left, fr.bottom, notRect), std::tuple(0x10000, 0x10100, 1));

  // Floating rectangles are neither clamped nor rounded.
  m = Identity();
  M_ScaleMatrix(&m, 1e6, -1, 0, 0);
  FloatRect flt{0.25, 1, 1, 2};
  M_TransformFloatRect(&m, &flt, nullptr, &notRect);
  EXPECT_EQ(Edges(flt), (Edges4{250000.0, -2.0, 1e6, -1.0}));
  EXPECT_TRUE(rec.reports.empty());

  // A matrix holding NaN leaves the rectangle as it was.
  m = With({{0, std::numeric_limits<double>::quiet_NaN()}});
  M_SetRect(&r, 1, 2, 3, 4);
  EXPECT_EQ(M_TransformRect(&m, &r, nullptr, nullptr), M_ErrOverflow);
  EXPECT_EQ(Edges(r), (Edges4{1, 2, 3, 4}));
  ExpectReport(0x63, "Test error: overflow in rectangle transformation (1102).");
}

}  // namespace
