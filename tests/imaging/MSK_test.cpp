// Mask rasterization: coverage against analytic areas, exact pixels of an
// integer rectangle, the even-odd rule, feather, inversion and
// opacity, degenerate shapes, and the merge into a world's alpha.
#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "ByteOrder.h"
#include "MSK.h"
#include "TestSupport.h"

namespace tv::msk::test {
namespace {

constexpr Fixed F(double v) { return static_cast<Fixed>(std::lround(v * 65536.0)); }
constexpr double kKappa = 0.5522847498308;

struct V {
  double x, y;
};

class MskTest : public tv::test::UFixture {
 protected:
  MskTest() : UFixture({MSK_PackageNumber, OM_PackageNumber, PF_PackageNumber}) {}
  void TearDown() override {
    for (OM_Shape s : shapes_) EXPECT_EQ(OM_DisposeShape(s), 0);
    for (PF_UnoBuffer b : buffers_) EXPECT_EQ(PF_DisposeUnoBuffer(b), 0);
    UFixture::TearDown();
  }
  // A path from its points (vertex, out handle, next vertex's in handle per vertex).
  OM_Shape Path(const std::vector<V>& points) {
    be::Writer w;  // magic, type, 17 bytes of zeros, the count, then x and y of each point
    w.Write<uint16_t>(0xB2DE);
    w.Write<uint8_t>(OM_TypePath);
    w.WriteZeros(17);
    w.Write<uint32_t>(static_cast<uint32_t>(points.size()));
    for (const V& p : points) {
      w.Write<int32_t>(F(p.x));
      w.Write<int32_t>(F(p.y));
    }
    OM_Shape s = nullptr;
    EXPECT_EQ(OM_ShapeFromBytes(w.bytes().data(), static_cast<int32_t>(w.size()), &s), 0);
    shapes_.push_back(s);
    return s;
  }
  OM_Shape Polygon(const std::vector<V>& vertices) {
    std::vector<V> p;
    for (size_t i = 0; i < vertices.size(); ++i) {
      const V& v = vertices[i];
      const V& n = vertices[(i + 1) % vertices.size()];
      p.insert(p.end(), {v, v, n});
    }
    return Path(p);
  }
  // A circle of four Bezier arcs.
  static std::vector<V> CirclePoints(double cx, double cy, double r) {
    const double k = kKappa * r;
    return {{cx, cy - r}, {cx - k, cy - r}, {cx - r, cy - k}, {cx - r, cy}, {cx - r, cy + k}, {cx - k, cy + r},
            {cx, cy + r}, {cx + k, cy + r}, {cx + r, cy + k}, {cx + r, cy}, {cx + r, cy - k}, {cx + k, cy - r}};
  }
  OM_Shape Circle(double cx, double cy, double r) { return Path(CirclePoints(cx, cy, r)); }
  PF_UnoBuffer Buffer(int32_t w, int32_t h) {
    PF_UnoBuffer b = nullptr;
    EXPECT_EQ(PF_NewUnoBuffer(w, h, &b), 0);
    buffers_.push_back(b);
    return b;
  }
  static MSK_MaskDesc Desc(double opacity = 1.0, bool aa = true) {
    MSK_MaskDesc d{};
    d.opacity = F(opacity);
    d.antialias = aa;
    return d;
  }
  static MSK_MaskDesc Feathered(double h, double v, double opacity = 1.0) {
    MSK_MaskDesc d = Desc(opacity);
    d.featherH = F(h);
    d.featherV = F(v);
    return d;
  }
  std::vector<uint8_t> Bytes(PF_UnoBuffer b) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(PF_GetUnoBufferSize(b, &w, &h), 0);
    uint8_t* data = nullptr;
    EXPECT_EQ(PF_LockUnoBuffer(b, &data, nullptr), 0);
    std::vector<uint8_t> out(data, data + size_t(w) * h);
    EXPECT_EQ(PF_UnlockUnoBuffer(b), 0);
    return out;
  }
  double Sum(PF_UnoBuffer b) {
    double s = 0;
    for (uint8_t v : Bytes(b)) s += v / 255.0;
    return s;
  }

 private:
  std::vector<OM_Shape> shapes_;
  std::vector<PF_UnoBuffer> buffers_;
};

// The exact area of a closed cubic path by Green's theorem, sampled finely.
double PathArea(const std::vector<V>& p) {
  double a = 0;
  const size_t m = p.size() / 3;
  for (size_t k = 0; k < m; ++k) {
    const V c[4] = {p[3 * k], p[3 * k + 1], p[3 * k + 2], p[(3 * k + 3) % p.size()]};
    V prev = c[0];
    for (int i = 1; i <= 4000; ++i) {
      const double t = i / 4000.0, u = 1 - t;
      const V q{u * u * u * c[0].x + 3 * u * u * t * c[1].x + 3 * u * t * t * c[2].x + t * t * t * c[3].x,
                u * u * u * c[0].y + 3 * u * u * t * c[1].y + 3 * u * t * t * c[2].y + t * t * t * c[3].y};
      a += prev.x * q.y - q.x * prev.y;
      prev = q;
    }
  }
  return std::fabs(a) / 2;
}

TEST_F(MskTest, CoverageMatchesAnalyticArea) {
  PF_UnoBuffer b = Buffer(200, 160);
  const MSK_MaskDesc d = Desc();
  const std::vector<V> poly = {{10.3, 12.7}, {150.2, 30.9}, {120.55, 140.1}, {40.8, 99.25}};
  double area = 0;
  for (size_t i = 0; i < poly.size(); ++i) {
    const V &p = poly[i], &q = poly[(i + 1) % poly.size()];
    area += p.x * q.y - q.x * p.y;
  }
  area = std::fabs(area) / 2;
  ASSERT_EQ(MSK_MaskWithShape(Polygon(poly), &d, b, nullptr), 0);
  EXPECT_NEAR(Sum(b), area, area * 0.001);
  const std::vector<V> circle = CirclePoints(97.4, 80.6, 61.3);
  ASSERT_EQ(MSK_MaskWithShape(Path(circle), &d, b, nullptr), 0);
  EXPECT_NEAR(Sum(b), PathArea(circle), PathArea(circle) * 0.001);
}

TEST_F(MskTest, IntegerRectangleIsExact) {
  PF_UnoBuffer b = Buffer(40, 30);
  const MSK_MaskDesc d = Desc();
  Rect r{};
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{5, 4}, {25, 4}, {25, 20}, {5, 20}}), &d, b, &r), 0);
  const auto px = Bytes(b);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool in = x >= 5 && x < 25 && y >= 4 && y < 20;
      ASSERT_EQ(px[size_t(y) * 40 + x], in ? 255 : 0) << x << "," << y;
    }
  EXPECT_TRUE(r.left <= 5 && r.top <= 4 && r.right >= 25 && r.bottom >= 20);
  // Aliased: pixels whose centres are inside.
  const MSK_MaskDesc a = Desc(1.0, false);
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{5.4, 4.6}, {25.5, 4.6}, {25.5, 20}, {5.4, 20}}), &a, b, nullptr), 0);
  // Centre 4.5 is above 4.6; 5.5 right of 5.4; 24.5 < 25.5; 25.5 on the right edge: outside.
  const auto q = Bytes(b);
  EXPECT_EQ(std::make_tuple(q[4 * 40 + 10], q[5 * 40 + 5], q[5 * 40 + 24], q[5 * 40 + 25]), std::make_tuple(0, 255, 255, 0));
}

TEST_F(MskTest, EvenOddRule) {
  PF_UnoBuffer b = Buffer(100, 100);
  const MSK_MaskDesc d = Desc();
  std::vector<V> star;
  for (int i = 0; i < 5; ++i) {
    const double a = -3.14159265358979 / 2 + i * 4 * 3.14159265358979 / 5;
    star.push_back({50 + 45 * std::cos(a), 50 + 45 * std::sin(a)});
  }
  ASSERT_EQ(MSK_MaskWithShape(Polygon(star), &d, b, nullptr), 0);
  auto px = Bytes(b);
  EXPECT_EQ(std::make_tuple(px[52 * 100 + 50], px[20 * 100 + 50]), std::make_tuple(0, 255));  // centre twice, a point once
  // A figure eight: both lobes are covered once.
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{10, 10}, {90, 90}, {90, 10}, {10, 90}}), &d, b, nullptr), 0);
  px = Bytes(b);
  EXPECT_EQ(std::make_tuple(px[50 * 100 + 20], px[50 * 100 + 80], px[20 * 100 + 50]), std::make_tuple(255, 255, 0));
}

TEST_F(MskTest, FeatherKeepsCoverage) {
  PF_UnoBuffer plain = Buffer(300, 240), soft = Buffer(300, 240);
  const MSK_MaskDesc sharp = Desc(), d = Feathered(20, 12);
  OM_Shape c = Circle(150, 120, 70);
  ASSERT_EQ(MSK_MaskWithShape(c, &sharp, plain, nullptr), 0);
  Rect r{};
  ASSERT_EQ(MSK_MaskWithShape(c, &d, soft, &r), 0);
  EXPECT_NEAR(Sum(soft), Sum(plain), Sum(plain) * 0.01);
  const auto px = Bytes(soft);
  EXPECT_EQ(px[120 * 300 + 150], 255);
  EXPECT_GT(px[120 * 300 + 80], 64);  // the edge is soft
  EXPECT_LT(px[120 * 300 + 80], 192);
  // A shape cut by the buffer's edge keeps full coverage along that edge.
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{-50, -50}, {100, -50}, {100, 100}, {-50, 100}}), &d, soft, nullptr), 0);
  EXPECT_EQ(Bytes(soft)[0], 255);
}

TEST_F(MskTest, InvertOpacityAndDegenerateShapes) {
  PF_UnoBuffer b = Buffer(50, 40);
  MSK_MaskDesc d = Desc(0.5);
  d.invert = 1;
  Rect r{};
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{10, 10}, {30, 10}, {30, 30}, {10, 30}}), &d, b, &r), 0);
  auto px = Bytes(b);
  EXPECT_TRUE(px[0] == 127 || px[0] == 128) << int(px[0]);
  EXPECT_EQ(std::make_tuple(px[20 * 50 + 20], r.bottom, r.right), std::make_tuple(0, 40, 50));
  const MSK_MaskDesc plain = Desc();
  // Shapes wholly beside the buffer leave rows (or every row) without a
  // cell of coverage.
  const std::vector<std::vector<V>> empty = {{},
                                             {{5, 5}},
                                             {{5, 5}, {30, 30}},
                                             {{1, 1}, {10, 10}, {20, 20}},
                                             {{100, 100}, {200, 100}, {200, 200}},
                                             {{-1000, -1000}, {-900, -1000}, {-900, -900}, {-1000, -900}},
                                             {{10, -32000}, {40, -32000}, {40, -1}, {10, -1}}};
  for (const auto& poly : empty) {
    ASSERT_EQ(MSK_MaskWithShape(Polygon(poly), &plain, b, nullptr), 0) << poly.size();
    for (uint8_t v : Bytes(b)) ASSERT_EQ(v, 0) << poly.size();
  }
  // A rectangle and an oval are drawn as the paths they stand for; a
  // relative shape is refused, unless opacity 0 empties the buffer anyway.
  for (int32_t type : {OM_TypeRect, OM_TypeOval}) {
    const FixedRect box{F(5), F(6), F(25), F(30)};
    OM_Shape shape = nullptr, path = nullptr;
    ASSERT_EQ(OM_NewShape(type, &box, &shape), 0);
    ASSERT_EQ(OM_DupShape(shape, &path), 0);
    ASSERT_EQ(OM_SetShapeType(OM_TypePath, path), 0);
    ASSERT_EQ(MSK_MaskWithShape(path, &plain, b, nullptr), 0);
    const auto want = Bytes(b);
    ASSERT_EQ(MSK_MaskWithShape(shape, &plain, b, nullptr), 0);
    EXPECT_EQ(Bytes(b), want) << type;
    EXPECT_GT(Sum(b), 100.0) << type;
    const FixedRect reference{0, 0, F(50), F(40)};
    ASSERT_EQ(OM_AbsToRel(&reference, shape), 0);
    MSK_MaskDesc none = Desc(0);
    ASSERT_EQ(MSK_MaskWithShape(shape, &none, b, nullptr), 0);
    EXPECT_EQ(MSK_MaskWithShape(shape, &plain, b, &r), 3);
    EXPECT_EQ(rec.last().location, static_cast<LocationCode>((38u << 24) | 2u));
    EXPECT_EQ(r.right, 0);
    EXPECT_EQ(OM_DisposeShape(shape), 0);
    EXPECT_EQ(OM_DisposeShape(path), 0);
  }
  // A shape shrunk to one point, feathered: its area is nowhere, and the
  // feather's reach leaves rows with no coverage at all.
  const MSK_MaskDesc soft = Feathered(3, 3);
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{0, 0}, {0, 0}, {0, 0}, {0, 0}}), &soft, b, nullptr), 0);
  for (uint8_t v : Bytes(b)) ASSERT_EQ(v, 0);
  // The largest shape covers every pixel.
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{-32767, -32767}, {32767, -32767}, {32767, 32767}, {-32767, 32767}}), &plain, b,
                              nullptr),
            0);
  for (uint8_t v : Bytes(b)) ASSERT_EQ(v, 255);
  // Opacity above 100 % is taken as 100 %.
  MSK_MaskDesc over = Desc(3.0);
  ASSERT_EQ(MSK_MaskWithShape(Polygon({{0, 0}, {50, 0}, {50, 40}, {0, 40}}), &over, b, nullptr), 0);
  EXPECT_EQ(Bytes(b)[0], 255);
}

TEST_F(MskTest, ExpansionGrowsTheOutline) {
  PF_UnoBuffer b = Buffer(60, 60);
  MSK_MaskDesc d = Desc();
  d.expansion = F(5);
  OM_Shape s = Polygon({{20, 20}, {40, 20}, {40, 40}, {20, 40}});
  ASSERT_EQ(MSK_MaskWithShape(s, &d, b, nullptr), 0);
  EXPECT_NEAR(Sum(b), 30.0 * 30.0, 1.0);
  d.expansion = F(-5);
  ASSERT_EQ(MSK_MaskWithShape(s, &d, b, nullptr), 0);
  EXPECT_NEAR(Sum(b), 10.0 * 10.0, 1.0);
}

TEST_F(MskTest, MergeIntoWorldAlpha) {
  std::vector<uint8_t> pixels(4 * 20 * 10, 200);
  PFWorld w{};
  w.data = reinterpret_cast<char*>(pixels.data());
  w.rowBytes = 80;
  w.width = 20;
  w.height = 10;
  w.extentHint = Rect{0, 0, 10, 20};
  w.kindMagic = PF_WorldKind_Wrapped;
  const MSK_MaskDesc d = Desc();
  ASSERT_EQ(MSK_MaskWithWorld(Polygon({{5, 0}, {15, 0}, {15, 10}, {5, 10}}), &d, &w, nullptr), 0);
  // Inside the alpha is kept; outside cleared, the colour untouched.
  EXPECT_EQ(std::make_tuple(pixels[4 * 10], pixels[4 * 2], pixels[4 * 2 + 1]), std::make_tuple(200, 0, 200));
  EXPECT_EQ(MSK_MaskWithWorld(nullptr, &d, nullptr, nullptr), 3);
}

}  // namespace
}  // namespace tv::msk::test
