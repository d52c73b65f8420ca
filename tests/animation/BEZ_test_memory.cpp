// BEZ: out of memory in the per-call work storage.
#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

class BezMemory : public BezFixture {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    BezFixture::TearDown();
  }
  // Runs `call` with every allocation failing: it fails with the memory
  // code, makes no list, keeps no work storage and reports once.
  template <class F>
  void ExpectOutOfMemory(F call, LIST_Handle& list, uint32_t site, const std::string& prefix) {
    int64_t ptrs = EMUL_LivePtrCount();
    EMUL_InjectAllocationFailures(0, -1);
    EXPECT_EQ(call(), kErrOutOfMemory);
    EMUL_StopAllocationFailures();
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, kSevFailure);
    EXPECT_EQ(rec.last().text.rfind(prefix, 0), 0u) << rec.last().text;
  }
};

TEST_F(BezMemory, FittingArraysOutOfMemory) {
  std::vector<BEZ_Point2> pts;
  for (int i = 0; i < 10; ++i) pts.push_back({i * 1.0, (i % 3) * 1.0});
  LIST_Handle& pieces = ListSlot();
  ExpectOutOfMemory([&] { return BEZ_FitMultipleCurves(pts.data(), 10, 0.1, &pieces); }, pieces, 13,
                    "Test: not enough memory to create List of parameter values.\n(1K requested, ");
}

TEST_F(BezMemory, ArcSplineTemporaryOutOfMemory) {
  auto c = Curve2(0, 0, 1, 2, 3, 2, 4, 0);
  LIST_Handle& spline = ListSlot();
  double length = 5;
  ExpectOutOfMemory([&] { return BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length); }, spline, 9,
                    "Test: not enough memory to create temporary vectors in arclength calculation.\n(");
  EXPECT_EQ(length, 0.0);
}

}  // namespace
}  // namespace tv::animtest
