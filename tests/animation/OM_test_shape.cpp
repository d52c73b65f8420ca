// Shapes: making them, their forms, type conversion, comparison and path
// editing, with the failures' codes and texts.
#include <cmath>

#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

using ::testing::HasSubstr;

class OmShape : public OmFixture {};

TEST_F(OmShape, NewShapeDefaultBoundsAndBadType) {
  OM_Shape& s = ShapeSlot();
  ASSERT_EQ(OM_NewShape(OM_TypeRect, nullptr, &s), 0);
  EXPECT_EQ(Edges(s), (std::array<Fixed, 4>{0, 0, 0x10000, 0x10000}));
  OM_Shape bad = reinterpret_cast<OM_Shape>(1);
  EXPECT_EQ(OM_NewShape(4, nullptr, &bad), 3);
  EXPECT_EQ(bad, nullptr);
  EXPECT_THAT(rec.last().text, HasSubstr("creating new shape"));
}

TEST_F(OmShape, DisposedShapeIsDamaged) {
  OM_Shape s = nullptr;
  ASSERT_EQ(OM_NewShape(OM_TypePath, nullptr, &s), 0);
  ASSERT_EQ(OM_DisposeShape(s), 0);
  EXPECT_EQ(OM_SetShapeType(OM_TypeRect, s), 2);
  EXPECT_EQ(rec.last().text, "Test error: attempt to convert shape type of an internally damaged shape -- internal structure damaged.");
}

TEST_F(OmShape, RelativeAndAbsoluteForms) {
  OM_Shape s = Polygon({{F(10), F(20)}, {F(50), F(20)}, {F(30), F(60)}});
  OM_Shape copy = nullptr;
  ASSERT_EQ(OM_DupShape(s, &copy), 0);
  ShapeSlot() = copy;
  const FixedRect ref{F(0), F(0), F(100), F(200)};
  ASSERT_EQ(OM_AbsToRel(&ref, s), 0);
  EXPECT_EQ(Bounds(s).left, 0x199999 + 1);  // 0.1 in Fix24, rounded
  EXPECT_EQ(OM_AbsToRel(&ref, s), OM_ErrRelative);
  EXPECT_EQ(rec.last().text, "Test error: cannot make relative a relative shape (2002).");
  EXPECT_EQ(OM_OffsetShape(1, 1, s), OM_ErrRelative);
  ASSERT_EQ(OM_RelToAbs(&ref, s), 0);
  EXPECT_EQ(OM_RelToAbs(&ref, s), OM_ErrAbsolute);
  EXPECT_EQ(rec.last().text, "Test error: cannot make absolute an absolute shape (2003).");
  const auto a = Points(s), b = Points(copy);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_NEAR(a[i].h, b[i].h, 2) << i;
    EXPECT_NEAR(a[i].v, b[i].v, 2) << i;
  }
  // A shape far outside a small reference overflows Fix24: refused, unchanged.
  const FixedRect tiny{0, 0, 0x100, 0x100};
  EXPECT_EQ(OM_AbsToRel(&tiny, copy), 0x1102);
  uint32_t flags = 9;
  ASSERT_EQ(OM_GetShapeInfo(copy, nullptr, &flags, nullptr), 0);
  EXPECT_EQ(flags, 0u);
  EXPECT_TRUE(Points(copy) == b);
}

TEST_F(OmShape, TypeConversions) {
  OM_Shape r = New(OM_TypeRect, FixedRect{F(0), F(0), F(40), F(20)});
  ASSERT_EQ(OM_SetShapeType(OM_TypePath, r), 0);
  const auto p = Points(r);
  ASSERT_EQ(p.size(), 24u);
  const FixedPoint order[8] = {{F(20), 0}, {0, 0},       {0, F(10)},      {0, F(20)},
                               {F(20), F(20)}, {F(40), F(20)}, {F(40), F(10)}, {F(40), 0}};
  for (int k = 0; k < 8; ++k)  // straight sides
    EXPECT_TRUE(std::tie(p[3 * k], p[3 * k + 1], p[3 * k + 2]) == std::tie(order[k], order[k], order[(k + 1) % 8])) << k;
  OM_Shape o = New(OM_TypeOval, FixedRect{F(0), F(0), F(200), F(100)});
  ASSERT_EQ(OM_SetShapeType(OM_TypePath, o), 0);
  FixedPoint v{}, in{}, out{};
  ASSERT_EQ(OM_ShapeGetBezPoints(o, 0, &v, &in, &out), 0);
  EXPECT_TRUE(v == (FixedPoint{F(100), 0}));
  EXPECT_NEAR((v.h - out.h) / 65536.0, 100 * 0.5522847498308, 1e-4);
  EXPECT_NEAR((in.h - v.h) / 65536.0, 100 * 0.5522847498308, 1e-4);
  ASSERT_EQ(OM_SetShapeType(OM_TypeRect, o), 0);
  EXPECT_TRUE(Points(o).empty());
  EXPECT_EQ(Bounds(o).right, F(200));
  EXPECT_EQ(OM_SetShapeType(0, o), 3);
  EXPECT_THAT(rec.last().text, HasSubstr("invalid shape type"));
}

TEST_F(OmShape, PointPositionsAndVertices) {
  OM_Shape s = Polygon({{F(0), F(0)}, {F(10), F(0)}, {F(10), F(10)}, {F(0), F(10)}});
  FixedPoint v{};
  EXPECT_EQ(OM_ShapeGetBezPoints(s, 4, &v, nullptr, nullptr), OM_ErrVertex);
  EXPECT_EQ(rec.last().text, "Test error: Bezier vertex is not control point (2005).");
  EXPECT_EQ(OM_ShapeGetBezPoints(s, 12, &v, nullptr, nullptr), OM_ErrVertex);
  EXPECT_EQ(rec.last().text, "Test error: Bezier vertex is beyond the last vertex of shape (2005).");
  int32_t h = 0;
  for (auto [index, want] : {std::pair{9, 10}, {11, 11}}) {
    ASSERT_EQ(OM_ShapeIndexToCtpt(s, index, &h), 0);
    EXPECT_EQ(h, want);
  }
  OM_Shape empty = New(OM_TypePath, FixedRect{});
  EXPECT_EQ(OM_ShapeIndexToCtpt(empty, 0, &h), OM_ErrVertex);
  EXPECT_EQ(h, INT32_MIN);
  OM_Shape rect = New(OM_TypeRect, FixedRect{});
  EXPECT_EQ(OM_ShapeGetBezPoints(rect, 0, &v, nullptr, nullptr), OM_ErrBadType);
}

TEST_F(OmShape, EditingKeepsTheLayout) {
  OM_Shape s = Polygon({{F(0), F(0)}, {F(10), F(0)}, {F(10), F(10)}});
  const FixedPoint mid{F(5), F(-5)}, in{F(3), F(-5)};
  ASSERT_EQ(OM_ShapeAddBezVertex(s, 3, &mid, &in, nullptr), 0);
  FixedPoint v{}, gotIn{}, gotOut{};
  ASSERT_EQ(OM_ShapeGetBezPoints(s, 3, &v, &gotIn, &gotOut), 0);
  EXPECT_TRUE(std::tie(v, gotIn, gotOut) == std::tie(mid, in, mid));
  ASSERT_EQ(OM_ShapeGetBezPoints(s, 6, &v, &gotIn, nullptr), 0);
  EXPECT_TRUE(gotIn == (FixedPoint{F(10), F(0)}));  // the old incoming handle moved along
  ASSERT_EQ(OM_ShapeRemoveBezVertex(s, 3), 0);
  OM_Shape ref = Polygon({{F(0), F(0)}, {F(10), F(0)}, {F(10), F(10)}});
  ASSERT_EQ(OM_RecalcBounds(s), 0);
  EXPECT_TRUE(Points(s) == Points(ref));
  // Reversing twice gives the path back; the first vertex stays first.
  ASSERT_EQ(OM_SetPolyDir(s, 0), 0);
  EXPECT_FALSE(Points(s) == Points(ref));
  EXPECT_TRUE(Points(s)[0] == Points(ref)[0]);
  ASSERT_EQ(OM_SetPolyDir(s, 1), 0);
  EXPECT_TRUE(Points(s) == Points(ref));
  ASSERT_EQ(OM_OrientPolyVertex(s, 6), 0);
  EXPECT_TRUE(Points(s)[0] == (FixedPoint{F(10), F(10)}));
  ASSERT_EQ(OM_OrientPolyTop(s), 0);
  EXPECT_TRUE(Points(s)[0] == (FixedPoint{F(0), F(0)}));
  Boolean32 hit = 1;
  EXPECT_EQ(OM_ShapeIntersect(s, ref, &hit), 5);
  EXPECT_EQ(hit, 0);
}

}  // namespace
}  // namespace tv::animtest
