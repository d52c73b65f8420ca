// Shared helpers of the BEZ tests: curves held by value and a fixture that
// births U, records reports and disposes the lists a test makes.
#pragma once

#include <array>
#include <cmath>
#include <deque>
#include <vector>

#include "BEZ.h"
#include "LIST.h"
#include "Memory.h"
#include "TestSupport.h"

namespace tv::bez::test {

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

inline double Bernstein(double c0, double c1, double c2, double c3, double t) {
  double s = 1 - t;
  return c0 * s * s * s + 3 * c1 * t * s * s + 3 * c2 * t * t * s + c3 * t * t * t;
}

class BezFixture : public tv::test::UFixture {
 protected:
  void SetUp() override {
    tv::test::UFixture::SetUp();
    // The string tables stay installed once made: make them before counting.
    BEZ_EvaluatePoint(nullptr, 0.0, nullptr);  // a report installs BEZ's table
    LIST_Handle warm = nullptr;
    if (LIST_New(0, 4, 4, 1, &warm) == 0) LIST_Dispose(warm, 0);
    LISTp_GetLiveCount(&liveLists_);
    livePtrs_ = EMUL_LivePtrCount();
    rec.clear();
  }
  void TearDown() override {
    for (LIST_Handle& l : lists_)
      if (l) {
        EXPECT_EQ(LIST_Dispose(l, 0), 0);
        l = nullptr;
      }
    // Nothing the test made outlives it: lists and work storage are gone.
    int32_t lists = -1;
    LISTp_GetLiveCount(&lists);
    EXPECT_EQ(lists, liveLists_);
    EXPECT_EQ(EMUL_LivePtrCount(), livePtrs_);
    tv::test::UFixture::TearDown();
  }
  // A list slot, initially null, whose list is disposed after the test.
  LIST_Handle& Slot() { return lists_.emplace_back(nullptr); }
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

 private:
  std::deque<LIST_Handle> lists_;  // stable addresses
  int32_t liveLists_ = 0;
  int64_t livePtrs_ = 0;
};

}  // namespace tv::bez::test
