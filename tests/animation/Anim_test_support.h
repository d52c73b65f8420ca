// Shared helpers of the animation tests (BEZ, TDB, OM): curves held by value,
// a boxed custom value kind, and fixtures that birth U (and the packages a
// test needs), record reports, dispose the lists, streams and shapes a test
// makes and check that none of them outlived it.
#pragma once

#include <gmock/gmock.h>

#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "BEZ.h"
#include "LIST.h"
#include "Memory.h"
#include "OM.h"
#include "SLU.h"
#include "T.h"
#include "TDB.h"
#include "TestSupport.h"

inline bool operator==(FixedPoint a, FixedPoint b) { return a.h == b.h && a.v == b.v; }

namespace tv::animtest {

// A curve of up to 4 dimensions with its own control point storage.
struct OwnedCurve {
  std::array<std::array<double, 4>, 4> p{};
  BEZ_Curve c{};
  OwnedCurve(int16_t dims, std::array<std::array<double, 4>, 4> pts) : p(pts) {
    c.dimensions = dims;
    for (int k = 0; k < 4; ++k) c.ctpt[k] = p[k].data();
  }
  OwnedCurve(const OwnedCurve& o) : OwnedCurve(o.c.dimensions, o.p) {}
  OwnedCurve& operator=(const OwnedCurve&) = delete;
};

inline OwnedCurve Curve2(double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3) {
  return OwnedCurve(2, {{{x0, y0, 0, 0}, {x1, y1, 0, 0}, {x2, y2, 0, 0}, {x3, y3, 0, 0}}});
}

// The cubic Bernstein form, independent of BEZ.
inline double Bernstein(double c0, double c1, double c2, double c3, double t) {
  double s = 1 - t;
  return c0 * s * s * s + 3 * c1 * t * s * s + 3 * c2 * t * t * s + c3 * t * t * t;
}

// Values compared as a whole within a tolerance, each pair printed on failure.
inline void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, double tolerance) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "at " << i;
}
inline std::vector<double> Vec(const double* p, size_t n) { return std::vector<double>(p, p + n); }

// Points as whole records.
using XY2 = std::pair<double, double>;
template <class P>
XY2 XY(const P& p) {
  return {p.x, p.y};
}
// The x and y of a curve's four control points.
inline std::vector<double> Ctrl2(const OwnedCurve& c) {
  std::vector<double> v;
  for (const auto& p : c.p) v.insert(v.end(), {p[0], p[1]});
  return v;
}

constexpr Fixed F(double v) { return static_cast<Fixed>(v * 65536.0); }

inline TDB_ValueDesc Desc(uint8_t dataType = 9, int16_t kind = 0) {
  TDB_ValueDesc d{};
  d.kind = kind;
  d.dataType = dataType;
  return d;
}

// A custom value kind: a heap-allocated double held by pointer. The traits'
// data, when set, points to an int counting the boxes alive.
inline double* BoxOf(const void* value) {
  double* p = nullptr;
  std::memcpy(&p, value, sizeof p);
  return p;
}
inline ErrorCode CopyBox(intptr_t data, const void* src, void* dst) {
  double* from = BoxOf(src);
  double* to = new double(from ? *from : 0.0);
  std::memcpy(dst, &to, sizeof to);
  if (data) ++*reinterpret_cast<int*>(data);
  return 0;
}
inline ErrorCode DisposeBox(intptr_t data, void* value) {
  if (double* p = BoxOf(value)) {
    delete p;
    if (data) --*reinterpret_cast<int*>(data);
  }
  std::memset(value, 0, sizeof(double*));
  return 0;
}

class AnimFixture : public tv::test::UFixture {
 protected:
  using UFixture::UFixture;
  void SetUp() override {
    tv::test::UFixture::SetUp();
    // The string tables stay installed once made: make them before counting.
    BEZ_EvaluatePoint(nullptr, 0.0, nullptr);  // a report installs BEZ's table
    LIST_Handle warm = nullptr;
    if (LIST_New(0, 4, 4, 1, &warm) == 0) LIST_Dispose(warm, 0);
    LISTp_GetLiveCount(&liveLists_);
    TDBp_GetLiveCount(&liveStreams_);
    OMp_GetLiveCount(&liveShapes_);
    livePtrs_ = EMUL_LivePtrCount();
    rec.clear();
  }
  void TearDown() override {
    specs_.Clear();
    for (OM_Shape s : shapes_) EXPECT_EQ(s ? OM_DisposeShape(s) : 0, 0);
    for (TDB_Stream s : streams_) EXPECT_EQ(s ? TDB_DisposeStream(s) : 0, 0);
    for (LIST_Handle l : lists_) EXPECT_EQ(l ? LIST_Dispose(l, 0) : 0, 0);
    // Nothing the test made outlives it (UFixture checks the handles).
    int32_t lists = -1, streams = -1, shapes = -1;
    LISTp_GetLiveCount(&lists);
    TDBp_GetLiveCount(&streams);
    OMp_GetLiveCount(&shapes);
    EXPECT_EQ(lists, liveLists_);
    EXPECT_EQ(streams, liveStreams_);
    EXPECT_EQ(shapes, liveShapes_);
    EXPECT_EQ(checkPtrs_ ? EMUL_LivePtrCount() : livePtrs_, livePtrs_);
    tv::test::UFixture::TearDown();
  }
  // Slots, initially null, whose contents are disposed after the test.
  LIST_Handle& ListSlot() { return lists_.emplace_back(nullptr); }
  TDB_Stream& StreamSlot() { return streams_.emplace_back(nullptr); }
  OM_Shape& ShapeSlot() { return shapes_.emplace_back(nullptr); }
  // Forget a slot's stream (the test disposed it).
  void Forget(TDB_Stream s) {
    for (TDB_Stream& x : streams_)
      if (x == s) x = nullptr;
  }
  int32_t Count(LIST_Handle list) {
    int32_t n = -1;
    EXPECT_EQ(LIST_GetNumItems(list, &n), 0);
    return n;
  }
  template <class T>
  std::vector<T> Items(LIST_Handle list) {
    std::vector<T> out(static_cast<size_t>(Count(list)));
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(LIST_GetItem(list, static_cast<int32_t>(i), &out[i]), 0);
    return out;
  }

  // A chunk-file context on the file at `path`, created (or emptied) first
  // when asked; the file's spec is disposed after the test.
  SLU_FileContext OpenFile(const std::string& path, int32_t permission, bool create) {
    FILE_SpecH ref = specs_.New(path);
    if (create) {
      EXPECT_EQ(FILE_Create(FILE_CreateFile, 0, FILE_CreateReplace, ref), 0);
    }
    EXPECT_EQ(FILE_Open(permission, ref), 0);
    SLU_FileContext c{};
    EXPECT_EQ(SLU_InitFile(ref, 0, &c), 0);
    return c;
  }
  static std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  bool checkPtrs_ = false;  // whether pointer blocks are counted too (BEZ's work storage)

 private:
  std::deque<LIST_Handle> lists_;  // stable addresses
  std::deque<TDB_Stream> streams_;
  std::deque<OM_Shape> shapes_;
  tv::test::Specs specs_;
  int32_t liveLists_ = 0, liveStreams_ = 0, liveShapes_ = 0;
  int64_t livePtrs_ = 0;
};

class BezFixture : public AnimFixture {
 protected:
  BezFixture() { checkPtrs_ = true; }
};

class TdbFixture : public AnimFixture {
 protected:
  // A new stream disposed after the test.
  TDB_Stream Make(int16_t dim, uint32_t scale, TDB_ValueDesc d, Boolean32 constant = 0, Boolean32 spatial = 0,
                  uint16_t mask = 7, uint16_t spatialMask = 7) {
    TDB_Stream& s = StreamSlot();
    EXPECT_EQ(TDB_NewStream(dim, scale, constant, spatial, mask, spatialMask, &d, &s), 0);
    return s;
  }
  TDB_Stream Keyed(int16_t dim = 1, uint32_t scale = 600, uint16_t mask = 7, bool spatial = false) {
    return Make(dim, scale, Desc(), 0, spatial, mask, 0xF);
  }
  TDB_Stream Constant(int16_t dim = 1, uint32_t scale = 600) { return Make(dim, scale, Desc(), 1); }
  void Key(TDB_Stream s, int32_t t, std::vector<double> v, int8_t in = 1, int8_t out = 1) {
    ASSERT_EQ(TDB_InsertKeyF(s, nullptr, t, 0, v.data(), in, out), 0);
  }
  void Ease(TDB_Stream s, int32_t index, double inV, double inI, double outV, double outI) {
    ASSERT_EQ(TDB_SetKeyTangentsF(s, index, &inV, &inI, &outV, &outI), 0);
  }
  std::vector<int32_t> Times(TDB_Stream s) {
    int32_t n = 0;
    EXPECT_EQ(TDB_GetNumKeys(s, &n), 0);
    std::vector<int32_t> out;
    for (int32_t i = 0; i < n; ++i) {
      Time t{};
      EXPECT_EQ(TDB_IndexToTime(s, i, &t), 0);
      out.push_back(t.value);
    }
    return out;
  }
  // A key's value, flags and methods, and the stream's information.
  std::vector<double> KeyF(TDB_Stream s, int32_t index, int n = 1) {
    std::vector<double> v(4, -12345.0);
    EXPECT_EQ(TDB_GetKeyF(s, index, v.data()), 0);
    v.resize(static_cast<size_t>(n));
    return v;
  }
  uint16_t Flags(TDB_Stream s, int32_t index) {
    uint16_t f = 0xFFFF;
    EXPECT_EQ(TDB_GetKeyFlags(s, index, &f), 0);
    return f;
  }
  std::pair<int, int> Interps(TDB_Stream s, int32_t index) {
    int8_t in = 99, out = 99;
    EXPECT_EQ(TDB_GetKeyInterps(s, index, &in, &out), 0);
    return {in, out};
  }
  // The nearest key's index and time.
  std::pair<int32_t, int32_t> Nearest(TDB_Stream s, int32_t t) {
    int32_t index = -1;
    Time kt{};
    EXPECT_EQ(TDB_FindNearestKeyTime(s, nullptr, t, &index, &kt), 0);
    return {index, kt.value};
  }
  TDB_StreamInfo Info(TDB_Stream s) {
    TDB_StreamInfo info{};
    EXPECT_EQ(TDB_GetStreamInfo(s, &info), 0);
    return info;
  }
  double Value1(TDB_Stream s, int32_t t) {
    double v[4] = {};
    EXPECT_EQ(TDB_GetValueF(s, nullptr, t, 0, v, nullptr), 0);
    return v[0];
  }
  // The last report: location site, severity 8, and the message part.
  void ExpectReport(uint32_t site, const std::string& message) {
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_EQ(rec.last().location, Location(TDB_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, kSevError);
    // The report path drops a text's final stop before adding the code.
    std::string m = message;
    if (!m.empty() && m.back() == '.') m.pop_back();
    EXPECT_THAT(rec.last().text, ::testing::HasSubstr(m));
  }
};

class OmFixture : public AnimFixture {
 protected:
  OmFixture() : AnimFixture({OM_PackageNumber}) {}
  OM_Shape New(int32_t type, FixedRect b) {
    OM_Shape& s = ShapeSlot();
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
  // A shape's bounds as one record: left, top, right, bottom.
  std::array<Fixed, 4> Edges(OM_Shape s) {
    FixedRect r = Bounds(s);
    return {r.left, r.top, r.right, r.bottom};
  }
  bool Equal(OM_Shape a, OM_Shape b) {
    Boolean32 eq = 0;
    EXPECT_EQ(OM_ShapeCompare(a, b, &eq), 0);
    return eq != 0;
  }
};

}  // namespace tv::animtest
