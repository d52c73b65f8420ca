// BEZ: out of memory in the per-call work storage.
#include "BEZ_test_support.h"

namespace tv::bez::test {
namespace {

class BezMemory : public BezFixture {
 protected:
  void SetUp() override {
    BezFixture::SetUp();  // installs the texts before memory runs out
  }
  void TearDown() override {
    EMUL_StopAllocationFailures();
    BezFixture::TearDown();
  }
};

TEST_F(BezMemory, FittingArraysOutOfMemory) {
  std::vector<BEZ_Point2> pts;
  for (int i = 0; i < 10; ++i) pts.push_back({i * 1.0, (i % 3) * 1.0});
  LIST_Handle& pieces = Slot();
  int64_t ptrs = EMUL_LivePtrCount();
  EMUL_InjectAllocationFailures(0, -1);
  EXPECT_EQ(BEZ_FitMultipleCurves(pts.data(), 10, 0.1, &pieces), kErrOutOfMemory);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(pieces, nullptr);
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 13));
  EXPECT_EQ(rec.last().severity, kSevFailure);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create List of parameter values.\n(1K requested, ", 0), 0u)
      << rec.last().text;
}

TEST_F(BezMemory, ArcSplineTemporaryOutOfMemory) {
  auto c = Curve2(0, 0, 1, 2, 3, 2, 4, 0);
  LIST_Handle& spline = Slot();
  int64_t ptrs = EMUL_LivePtrCount();
  EMUL_InjectAllocationFailures(0, -1);
  double length = 5;
  EXPECT_EQ(BEZ_BuildArcSpline(&c.c, 1.0, &spline, &length), kErrOutOfMemory);
  EMUL_StopAllocationFailures();
  EXPECT_EQ(length, 0.0);
  EXPECT_EQ(spline, nullptr);
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(BEZ_PackageNumber, 9));
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create temporary vectors in arclength calculation.\n(", 0), 0u)
      << rec.last().text;
}

}  // namespace
}  // namespace tv::bez::test
