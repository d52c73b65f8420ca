// String table installation when memory runs out.
#include <gtest/gtest.h>

#include "Memory.h"
#include "STR.h"
#include "TestSupport.h"

namespace {

using tv::Location;

const char* const kTexts[] = {"plain", "a{{*MSWindows*}}b", "c{{*MSWindows*}}d", STR_END};

class StrMemoryTest : public tv::test::UFixture {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    STRp_Death();
    UFixture::TearDown();
  }
  STR_Table table{};
};

TEST_F(StrMemoryTest, ArraysThatCannotBeMadeLeaveTheTableAlone) {
  EMUL_FailAllocationsAfter(0);
  EXPECT_EQ(tv::str::EnsureTable(table, kTexts), tv::kErrOutOfMemory);
  EXPECT_EQ(table.texts, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(28, 4));
  EXPECT_EQ(rec.last().severity, tv::kSevFailure);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string table.\n", 0), 0u);
  EXPECT_STREQ(STRp_Lookup(&table, 0), "[?]");
}

TEST_F(StrMemoryTest, ReplacementEntryFailureFreesEverything) {
  int64_t ptrs = EMUL_LivePtrCount();
  EMUL_FailAllocationsAfter(3);  // the arrays and the first entry are made; the second entry fails
  EXPECT_EQ(tv::str::EnsureTable(table, kTexts), tv::kErrOutOfMemory);
  EXPECT_EQ(table.texts, nullptr);
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(28, 5));
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string table replacement entry.\n(1K", 0), 0u);

  EMUL_StopAllocationFailures();
  EXPECT_EQ(tv::str::EnsureTable(table, kTexts), 0);
  EXPECT_STREQ(STRp_Lookup(&table, 2), "d");
}

TEST_F(StrMemoryTest, BallThatCannotBeMade) {
  EMUL_FailAllocationsAfter(0);
  STR_Ball ball = reinterpret_cast<STR_Ball>(1);
  EXPECT_EQ(STR_NewBall(0, kTexts, &ball), tv::kErrOutOfMemory);
  EXPECT_EQ(ball, nullptr);
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create string ball.\n", 0), 0u);
  EMUL_StopAllocationFailures();
  int64_t ptrs = EMUL_LivePtrCount();
  EMUL_FailAllocationsAfter(1);  // the record is made, its table is not
  EXPECT_EQ(STR_NewBall(0, kTexts, &ball), tv::kErrOutOfMemory);
  EXPECT_EQ(ball, nullptr);
  EXPECT_EQ(EMUL_LivePtrCount(), ptrs);
}

}  // namespace
