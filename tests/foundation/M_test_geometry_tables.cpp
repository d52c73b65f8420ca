// M's birth and death, and the table services: contents against their
// formulas, the arithmetic equivalents, nesting, purge and rebuild.
#include <cmath>
#include <tuple>
#include <utility>

#include "M.h"
#include "Memory.h"
#include "TestSupport.h"

namespace {

using tv::test::UFixture;

static_assert(tv::m::Mul8(255, 255) == 255 && tv::m::Mul8(128, 255) == 128 && tv::m::Mul8(0, 200) == 0);
static_assert(tv::m::Div8(0, 0) == 0 && tv::m::Div8(0, 1) == 255 && tv::m::Div8(10, 11) == 255 &&
              tv::m::Div8(2, 1) == 128 && tv::m::Div8(255, 255) == 255);
static_assert(tv::m::Div8Fast(0, 0) == 0 && tv::m::Div8Fast(0, 1) == 255 && tv::m::Div8Fast(2, 1) == 128 &&
              tv::m::Div8Fast(255, 255) == 255 && tv::m::Div8Fast(1, 1) == 255);

class MTables : public UFixture {
 protected:
  void TearDown() override {
    M_Death();  // whatever the test left; an unborn package only reports
    UFixture::TearDown();
  }
  void ExpectReport(uint32_t site, const char* text) {
    rec.ExpectLast(tv::Location(17, site), tv::kSevError, text);
  }
};

TEST_F(MTables, BirthGrantsTheRequestedServices) {
  int32_t granted = -1;
  ASSERT_EQ(M_Birth(0, &granted), 0);
  EXPECT_EQ(granted, 0);
  Handle trig = reinterpret_cast<Handle>(1), cm = reinterpret_cast<Handle>(1);
  Mp_GetTableHandles(&trig, &cm);
  EXPECT_EQ(std::tuple(trig, cm), std::tuple(Handle{}, Handle{}));
  ASSERT_EQ(M_Death(), 0);

  ASSERT_EQ(M_Birth(M_ServiceNone | M_ServiceFastTrig | M_ServiceFastCharMath, &granted), 0);
  EXPECT_EQ(granted, 7);
  Mp_GetTableHandles(&trig, &cm);
  ASSERT_NE(trig, nullptr);
  ASSERT_NE(cm, nullptr);
  EXPECT_EQ(std::tuple(GetHandleSize(trig), GetHandleSize(cm)), (std::tuple<Size, Size>(1024, 131072)));
  EXPECT_TRUE(rec.reports.empty());

  // A second birth leaves the granted services at 0 (the refusal itself is
  // the frame's rule); death frees the tables.
  EXPECT_EQ(M_Birth(M_ServiceFastTrig, &granted), tv::kErrBirth);
  EXPECT_EQ(granted, 0);
  ASSERT_EQ(M_Death(), 0);
  Mp_GetTableHandles(&trig, &cm);
  EXPECT_EQ(trig, nullptr);
}

TEST_F(MTables, GaussianTableIsNotAvailable) {
  int32_t granted = 0;
  EXPECT_EQ(M_Birth(M_ServiceGaussian | M_ServiceFastTrig, &granted), tv::kErrUnimplemented);
  EXPECT_EQ(granted, M_ServiceFastTrig);
  rec.ExpectOnly(tv::Location(17, 0x7A), tv::kSevError,
                 "Test error: Gaussian table initialization -- sorry, this is unimplemented.");
  // The package is born with what it could build.
  EXPECT_EQ(M_Death(), 0);
}

TEST_F(MTables, TablesMatchTheirFormulasAndTheArithmetic) {
  int32_t granted = 0;
  ASSERT_EQ(M_Birth(M_ServiceFastTrig | M_ServiceFastCharMath, &granted), 0);
  Boolean32 available = 0;
  const uint8_t *mul = nullptr, *div = nullptr;
  ASSERT_EQ(M_PrepareFCMD(1, 0, &available, &mul, &div), 0);
  ASSERT_TRUE(available);
  ASSERT_EQ(div, mul + 65536);
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      uint8_t m = static_cast<uint8_t>((a * b + 127) / 255);
      uint8_t d = (a == 0 && b == 0) ? 0 : (a > 0 && b <= a) ? static_cast<uint8_t>((b * 255 + a / 2) / a) : 255;
      ASSERT_EQ(mul[a * 256 + b], m) << a << " " << b;
      ASSERT_EQ(div[a * 256 + b], d) << a << " " << b;
      ASSERT_EQ(tv::m::Mul8(a, b), m) << a << " " << b;
      ASSERT_EQ(tv::m::Div8(a, b), d) << a << " " << b;
      ASSERT_EQ(tv::m::Div8Fast(a, b), d) << a << " " << b;
    }
  EXPECT_EQ(std::tuple(mul[200 * 256 + 255], div[255 * 256 + 128]), (std::tuple<uint8_t, uint8_t>(200, 128)));
  ASSERT_EQ(M_UnprepareFCMD(), 0);

  const FpShort* trig = nullptr;
  ASSERT_EQ(M_PrepareFTrig(1, 0, &available, &trig), 0);
  ASSERT_TRUE(available);
  EXPECT_EQ(std::tuple(trig[0], trig[255]), std::tuple(0.0f, 1.0f));
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(trig[i], static_cast<float>(std::sin(i / 255.0 * (M_PI / 2)))) << i;
  ASSERT_EQ(M_UnprepareFTrig(), 0);
  EXPECT_TRUE(rec.reports.empty());
}

// (Failed prepares clear their outputs: PurgedTablesAreRebuiltOrUnavailable.)
TEST_F(MTables, UnrequestedServices) {
  Boolean32 available = 1;
  const FpShort* trig = nullptr;
  const uint8_t *mul = nullptr, *div = nullptr;
  // Before birth nothing is granted.
  EXPECT_EQ(M_PrepareFTrig(1, 0, &available, &trig), M_ErrUnrequestedService);
  ExpectReport(0x70, "Test error: attempt to use unrequested math service (fast trig) (1105).");
  int32_t granted = 0;
  ASSERT_EQ(M_Birth(M_ServiceFastTrig, &granted), 0);
  EXPECT_EQ(M_PrepareFCMD(0, 0, &available, &mul, &div), M_ErrUnrequestedService);
  ExpectReport(0x71, "Test error: attempt to use unrequested math service (fast char math) (1105).");
}

TEST_F(MTables, NestingAndUnbalancedUnprepare) {
  int32_t granted = 0;
  ASSERT_EQ(M_Birth(M_ServiceFastTrig | M_ServiceFastCharMath, &granted), 0);
  Boolean32 available = 0;
  const FpShort *t1 = nullptr, *t2 = nullptr;
  ASSERT_EQ(M_PrepareFTrig(1, 0, &available, &t1), 0);
  ASSERT_EQ(M_PrepareFTrig(1, 0, &available, &t2), 0);
  EXPECT_EQ(t1, t2);
  EXPECT_EQ(M_UnprepareFTrig(), 0);
  EXPECT_EQ(M_UnprepareFTrig(), 0);
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_NE(M_UnprepareFTrig(), 0);
  ExpectReport(0x74, "Test error: Fast Trig unprepare without prepare -- a bad parameter was passed.");
  EXPECT_NE(M_UnprepareFCMD(), 0);
  ExpectReport(0x75, "Test error: FCMD unprepare without prepare -- a bad parameter was passed.");
}

TEST_F(MTables, PurgedTablesAreRebuiltOrUnavailable) {
  int32_t granted = 0;
  ASSERT_EQ(M_Birth(M_ServiceFastTrig | M_ServiceFastCharMath, &granted), 0);
  Handle trigH = nullptr, cmH = nullptr;
  Mp_GetTableHandles(&trigH, &cmH);
  Boolean32 available = 0;
  const FpShort* trig = nullptr;
  // Memory pressure purges only the unprepared (unlocked) table.
  ASSERT_EQ(M_PrepareFTrig(1, 0, &available, &trig), 0);
  PurgeMem(Size{1} << 40);
  EXPECT_TRUE(*trigH != nullptr && *cmH == nullptr);
  EXPECT_EQ(trig[128], static_cast<float>(std::sin(128 / 255.0 * (M_PI / 2))));
  EXPECT_EQ(M_UnprepareFTrig(), 0);
  PurgeMem(Size{1} << 40);
  EXPECT_EQ(*trigH, nullptr);

  const uint8_t *mul = nullptr, *div = nullptr;
  // noRebuild: unavailable; reported when asked to.
  EXPECT_EQ(M_PrepareFCMD(1, 1, &available, &mul, &div), tv::kErrOutOfMemory);
  EXPECT_TRUE(!available && mul == nullptr);
  ExpectReport(0x73, "Test error: fast character math will be unavailable -- out of memory.");
  EXPECT_EQ(M_UnprepareFCMD(), 0);
  size_t reports = rec.reports.size();
  EXPECT_EQ(M_PrepareFCMD(0, 1, &available, &mul, &div), 0);  // silent
  EXPECT_FALSE(available);
  EXPECT_EQ(rec.reports.size(), reports);
  EXPECT_EQ(M_UnprepareFCMD(), 0);
  // Rebuilt on the next prepare that allows it.
  ASSERT_EQ(M_PrepareFCMD(1, 0, &available, &mul, &div), 0);
  ASSERT_TRUE(available);
  EXPECT_EQ(std::tuple(mul[100 * 256 + 51], div[100 * 256 + 50]), (std::tuple<uint8_t, uint8_t>(20, 128)));
  EXPECT_EQ(M_UnprepareFCMD(), 0);

  EXPECT_EQ(M_PrepareFTrig(1, 1, &available, &trig), tv::kErrOutOfMemory);
  ExpectReport(0x72, "Test error: fast trig will be unavailable -- out of memory.");
  EXPECT_EQ(M_UnprepareFTrig(), 0);
  ASSERT_EQ(M_PrepareFTrig(0, 0, &available, &trig), 0);
  ASSERT_TRUE(available);
  EXPECT_EQ(trig[255], 1.0f);
  EXPECT_EQ(M_UnprepareFTrig(), 0);
}

}  // namespace
