// Points and rectangles in the short, long and Fixed forms: emptiness,
// intersection, union, centring, comparison and the conversions.
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "M.h"
#include "M_test_geometry.h"
#include "TestSupport.h"

namespace {

Rect R(int l, int t, int r, int b) {
  Rect x;
  M_SetRect(&x, int16_t(l), int16_t(t), int16_t(r), int16_t(b));
  return x;
}
LRect LR(int32_t l, int32_t t, int32_t r, int32_t b) { return LRect{l, t, r, b}; }
FixedRect FR(Fixed l, Fixed t, Fixed r, Fixed b) { return FixedRect{l, t, r, b}; }

using tv::mtest::Edges;
using tv::mtest::Edges4;

// The four edges of any form of rectangle at once (a macro, so that a
// failure names the line that checked).
#define ExpectRect(r, l, t, rr, b) EXPECT_EQ(Edges(r), (Edges4{double(l), double(t), double(rr), double(b)}))

TEST(MRect, SetTakesLeftTopRightBottomIntoTheFieldOrder) {
  Rect r = R(1, 2, 3, 4);
  // Field order top, left, bottom, right.
  const int16_t* f = &r.top;
  EXPECT_EQ(std::vector<int16_t>(f, f + 4), (std::vector<int16_t>{2, 1, 4, 3}));
  Point p;
  M_SetPt(&p, 7, 9);
  EXPECT_EQ(std::vector<int16_t>(&p.v, &p.v + 2), (std::vector<int16_t>{9, 7}));
  WHRect w;
  M_SetWHRect(&w, 1, 2, 30, 40);
  EXPECT_EQ((&w.left)[2], 30);
}

TEST(MRect, EmptinessAndPointInside) {
  Rect a = R(0, 0, 10, 10), line = R(0, 0, 10, 0), inverted = R(10, 0, 0, 10);
  for (auto [r, empty] : {std::pair{a, false}, {line, true}, {inverted, true}}) EXPECT_EQ(bool(M_EmptyRect(&r)), empty);
  LRect la = LR(-5, -5, -4, -4);
  EXPECT_FALSE(M_EmptyLRect(&la));
  FixedRect fa = FR(0, 0, 1, 0);
  EXPECT_TRUE(M_EmptyFixedRect(&fa));

  // (v, h); half-open.
  for (auto [p, inside] : {std::pair{Point{0, 0}, true}, {Point{9, 9}, true}, {Point{10, 5}, false}, {Point{5, 10}, false}})
    EXPECT_EQ(bool(M_PtInRect(&p, &a)), inside) << p.v << " " << p.h;
  LPoint lp{-5, -5};
  EXPECT_TRUE(M_PtInLRect(&lp, &la));
  FixedPoint fp{0xFFFF, 0};
  FixedRect f1 = FR(0, 0, 0x10000, 0x10000);
  EXPECT_TRUE(M_PtInFixedRect(&fp, &f1));
}

TEST(MRect, SectRect) {
  Rect a = R(0, 0, 10, 10), b = R(5, 5, 20, 20), out;
  EXPECT_TRUE(M_SectRect(&a, &b, &out));
  ExpectRect(out, 5, 5, 10, 10);
  // Sharing only an edge: false and the output cleared.
  Rect c = R(10, 0, 20, 10);
  out = R(1, 2, 3, 4);
  EXPECT_FALSE(M_SectRect(&a, &c, &out));
  ExpectRect(out, 0, 0, 0, 0);
  EXPECT_FALSE(M_SectRect(&a, &c, nullptr));
  EXPECT_TRUE(M_SectRect(&a, &b, nullptr));
  // The output may be one of the inputs.
  EXPECT_TRUE(M_SectRect(&a, &b, &a));
  ExpectRect(a, 5, 5, 10, 10);

  LRect la = LR(-100, -100, 100, 100), lb = LR(50, -200, 300, 0), lo;
  EXPECT_TRUE(M_SectLRect(&la, &lb, &lo));
  ExpectRect(lo, 50, -100, 100, 0);
  FixedRect fa = FR(0, 0, 0x10000, 0x10000), fb = FR(0x10000, 0, 0x20000, 0x10000), fo = FR(1, 1, 1, 1);
  EXPECT_FALSE(M_SectFixedRect(&fa, &fb, &fo));
  EXPECT_EQ(fo.left | fo.top | fo.right | fo.bottom, 0);
}

TEST(MRect, UnionRectLeavesEmptyRectanglesOut) {
  Rect a = R(0, 0, 10, 10), b = R(5, -5, 20, 8), out;
  M_UnionRect(&a, &b, &out);
  ExpectRect(out, 0, -5, 20, 10);
  Rect e = R(100, 100, 100, 200);  // right == left
  M_UnionRect(&a, &e, &out);
  ExpectRect(out, 0, 0, 10, 10);
  M_UnionRect(&e, &b, &out);
  ExpectRect(out, 5, -5, 20, 8);
  // An inverted rectangle is empty too and does not stretch the union.
  Rect inv = R(300, 300, 200, 400);
  M_UnionRect(&inv, &a, &out);
  ExpectRect(out, 0, 0, 10, 10);
  M_UnionRect(&e, &inv, &out);
  ExpectRect(out, 0, 0, 0, 0);
  LRect la = LR(0, 0, 1, 1), lb = LR(-3, 4, -2, 9), lo;
  M_UnionLRect(&la, &lb, &lo);
  ExpectRect(lo, -3, 0, 1, 9);
  FixedRect fa = FR(0, 0, 5, 5), fb = FR(0, 0, 0, 0), fo;
  M_UnionFixedRect(&fb, &fa, &fo);
  EXPECT_TRUE(M_EqualFixedRect(&fo, &fa));
}

TEST(MRect, InsetOffsetPt2RectCopyEqual) {
  Rect a = R(0, 0, 10, 20);
  M_InsetRect(&a, 2, 3);
  ExpectRect(a, 2, 3, 8, 17);
  M_OffsetRect(&a, -2, 10);
  ExpectRect(a, 0, 13, 6, 27);
  Rect b;
  M_CopyRect(&a, &b);
  EXPECT_TRUE(M_EqualRect(&a, &b));
  b.bottom = 0;
  EXPECT_FALSE(M_EqualRect(&a, &b));
  // Results beyond the short range saturate instead of wrapping.
  Rect big = R(0, 0, 32000, 10);
  M_OffsetRect(&big, 1000, 0);
  ExpectRect(big, 1000, 0, 32767, 10);
  LRect l = LR(INT32_MAX - 1, 0, INT32_MAX, 1);
  M_OffsetLRect(&l, 10, 0);
  ExpectRect(l, INT32_MAX, 0, INT32_MAX, 1);
  M_InsetLRect(&l, -1, -1);
  EXPECT_EQ(l.top, -1);
  FixedRect f = FR(0, 0, 0x40000, 0x40000);
  M_InsetFixedRect(&f, 0x10000, 0x8000);
  ExpectRect(f, 0x10000, 0x8000, 0x30000, 0x38000);
  M_OffsetFixedRect(&f, -0x10000, 0);
  ExpectRect(f, 0, 0x8000, 0x20000, 0x38000);

  Point p1{10, -3}, p2{2, 7};  // (v, h)
  M_Pt2Rect(&p1, &p2, &b);
  ExpectRect(b, -3, 2, 7, 10);
  LPoint q1{5, 5}, q2{-5, 6};
  LRect lr;
  M_Pt2LRect(&q1, &q2, &lr);
  ExpectRect(lr, -5, 5, 5, 6);
  FixedPoint f1{3, 4}, f2{1, 2};
  FixedRect fr;
  M_Pt2FixedRect(&f1, &f2, &fr);
  ExpectRect(fr, 1, 2, 3, 4);
}

TEST(MRect, CenterRectHalvesTowardsMinusInfinity) {
  Rect bounds = R(0, 0, 11, 11), r = R(100, 100, 104, 104);
  M_CenterRect(&bounds, &r);
  ExpectRect(r, 3, 3, 7, 7);  // (11 - 4) / 2 = 3.5 -> 3
  Rect nb = R(-11, -11, 0, 0), big = R(0, 0, 16, 16);
  M_CenterRect(&nb, &big);
  // (0 - 16 - (-11)) = -5, halved towards minus infinity is -3.
  ExpectRect(big, -14, -14, 2, 2);
  LRect lb = LR(0, 0, 10, 10), lr = LR(0, 0, 13, 3);
  M_CenterLRect(&lb, &lr);
  ExpectRect(lr, -2, 3, 11, 6);  // -3 / 2 -> -2; 7 / 2 -> 3
  FixedRect fb = FR(0, 0, 3, 3), fr = FR(0, 0, 2, 2);
  M_CenterFixedRect(&fb, &fr);
  ExpectRect(fr, 0, 0, 2, 2);
}

TEST(MRect, RectCompareModes) {
  const Rect big = R(0, 0, 10, 10), small = R(2, 2, 5, 5), edge = R(0, 0, 5, 10), touch = R(10, 10, 20, 20),
             far = R(11, 0, 20, 5);
  // Edge: as tall, not taller (1); shares edges (5). Touch: a corner only (7).
  const struct {
    int mode;
    const Rect *a, *b;
    bool result;
  } cases[] = {{0, &big, &big, true},    {0, &big, &small, false}, {1, &big, &small, true},  {1, &big, &edge, false},
               {2, &big, &edge, true},   {2, &small, &big, false}, {3, &small, &big, true},  {3, &edge, &big, false},
               {4, &edge, &big, true},   {5, &big, &small, true},  {5, &big, &edge, false},  {6, &big, &edge, true},
               {6, &small, &big, false}, {7, &big, &small, true},  {7, &big, &touch, false}, {8, &big, &touch, true},
               {8, &big, &far, false},   {9, &big, &big, false},   {-1, &big, &big, false}};
  for (const auto& c : cases) EXPECT_EQ(bool(M_RectCompare(c.mode, c.a, c.b)), c.result) << c.mode;
  // Widths are computed without overflow in the long form.
  LRect huge = LR(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), one = LR(0, 0, 1, 1);
  EXPECT_TRUE(M_LRectCompare(1, &huge, &one));
  EXPECT_TRUE(M_LRectCompare(5, &huge, &one));
  FixedRect fa = FR(0, 0, 0x10000, 0x10000), fb = FR(0x8000, 0x8000, 0x20000, 0x20000);
  EXPECT_TRUE(M_FixedRectCompare(7, &fa, &fb));
  EXPECT_FALSE(M_FixedRectCompare(6, &fa, &fb));
}

// A Fixed rectangle converted by `f`, as its edges.
template <class Out>
Edges4 Converted(ErrorCode (*f)(const FixedRect*, Out*), const FixedRect& in) {
  Out out;
  EXPECT_EQ(f(&in, &out), 0);
  return Edges(out);
}

TEST(MRect, FixedToWholeConversions) {
  const FixedRect pos = FR(0x18000, 0x18000, 0x38000, 0x38000);    // 1.5 .. 3.5
  const FixedRect neg = FR(-0x18000, -0x18000, -0x4000, -0x4000);  // -1.5 .. -0.25
  const FixedRect ends = FR(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  const std::pair<Edges4, Edges4> cases[] = {
      {Converted(M_FixedRect2RectIn, pos), {2, 2, 3, 3}},
      {Converted(M_FixedRect2RectOut, pos), {1, 1, 4, 4}},
      {Converted(M_FixedRect2Rect, pos), {2, 2, 4, 4}},  // halves go up
      {Converted(M_FixedRect2LRectIn, pos), {2, 2, 3, 3}},
      {Converted(M_FixedRect2LRectOut, pos), {1, 1, 4, 4}},
      {Converted(M_FixedRect2RectIn, neg), {-1, -1, -1, -1}},
      {Converted(M_FixedRect2RectOut, neg), {-2, -2, 0, 0}},
      {Converted(M_FixedRect2LRect, neg), {-1, -1, 0, 0}},  // -1.5 -> -1, -0.25 -> 0
      // The ends of the Fixed range do not overflow; 32768 does not fit a short: it saturates.
      {Converted(M_FixedRect2LRect, ends), {-32768, -32768, 32768, 32768}},
      {Converted(M_FixedRect2LRectOut, ends), {-32768, -32768, 32768, 32768}},
      {Converted(M_FixedRect2LRectIn, ends), {-32768, -32768, 32767, 32767}},
      {Converted(M_FixedRect2Rect, ends), {-32768, -32768, 32767, 32767}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;

  Rect s = R(-32768, 1, 32767, -2);
  FixedRect back;
  M_Rect2FixedRect(&s, &back);
  ExpectRect(back, INT32_MIN, 0x10000, 0x7FFF0000, -0x20000);
  LRect wide = LR(-40000, 7, 40000, 32767);
  M_LRect2FixedRect(&wide, &back);
  ExpectRect(back, INT32_MIN, 7 * 65536, INT32_MAX, 0x7FFF0000);  // saturated at both ends
}

}  // namespace
