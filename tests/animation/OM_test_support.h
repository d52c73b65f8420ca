// Shared helpers of the OM tests: a fixture that births OM, disposes the
// shapes and streams a test makes and checks that none leaked.
#pragma once

#include <gmock/gmock.h>

#include <cmath>

#include <deque>
#include <vector>

#include "OM.h"
#include "TDB.h"
#include "TestSupport.h"

inline bool operator==(FixedPoint a, FixedPoint b) { return a.h == b.h && a.v == b.v; }

namespace tv::om::test {

constexpr Fixed F(double v) { return static_cast<Fixed>(v * 65536.0); }

class OmFixture : public tv::test::UFixture {
 protected:
  OmFixture() : UFixture({OM_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    OMp_GetLiveCount(&liveShapes_);
    TDBp_GetLiveCount(&liveStreams_);
  }
  void TearDown() override {
    for (OM_Shape s : shapes_)
      if (s) {
        EXPECT_EQ(OM_DisposeShape(s), 0);
      }
    for (TDB_Stream s : streams_)
      if (s) {
        EXPECT_EQ(TDB_DisposeStream(s), 0);
      }
    int32_t n = -1;
    OMp_GetLiveCount(&n);
    EXPECT_EQ(n, liveShapes_);
    TDBp_GetLiveCount(&n);
    EXPECT_EQ(n, liveStreams_);
    UFixture::TearDown();
  }
  OM_Shape& Slot() { return shapes_.emplace_back(nullptr); }
  TDB_Stream& StreamSlot() { return streams_.emplace_back(nullptr); }

  OM_Shape New(int32_t type, FixedRect b) {
    OM_Shape& s = Slot();
    EXPECT_EQ(OM_NewShape(type, &b, &s), 0);
    return s;
  }
  // A path of straight sides through the vertices (Fixed).
  OM_Shape Polygon(const std::vector<FixedPoint>& vertices) {
    OM_Shape s = New(OM_TypePath, FixedRect{});
    for (const FixedPoint& v : vertices) EXPECT_EQ(OM_ShapeAddBezVertex(s, -1, &v, nullptr, nullptr), 0);
    EXPECT_EQ(OM_RecalcBounds(s), 0);
    return s;
  }
  std::vector<FixedPoint> Points(OM_Shape s) {
    int32_t n = 0;
    EXPECT_EQ(OM_GetShapeInfo(s, nullptr, nullptr, &n), 0);
    std::vector<FixedPoint> p(static_cast<size_t>(n));
    if (n) {
      EXPECT_EQ(OM_ShapeGetValues(s, 0, n, p.data()), 0);
    }
    return p;
  }
  FixedRect Bounds(OM_Shape s) {
    FixedRect r{};
    EXPECT_EQ(OM_GetShapeBounds(s, &r), 0);
    return r;
  }
  bool Equal(OM_Shape a, OM_Shape b) {
    Boolean32 eq = 0;
    EXPECT_EQ(OM_ShapeCompare(a, b, &eq), 0);
    return eq != 0;
  }

 private:
  std::deque<OM_Shape> shapes_;
  std::deque<TDB_Stream> streams_;
  int32_t liveShapes_ = 0, liveStreams_ = 0;
};

}  // namespace tv::om::test
