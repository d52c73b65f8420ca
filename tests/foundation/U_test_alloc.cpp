// Allocation wrappers: reporting and quiet forms, sizes, resizing, swapping
// and duplication (their failures under injection: U_test_alloc_inject.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <tuple>

#include "Memory.h"
#include "TestSupport.h"
#include "U.h"

namespace {

using tv::Location;

constexpr int64_t kEnormous = int64_t{1} << 60;  // no manager grants this

class AllocTest : public tv::test::UFixture {};

int64_t SizeOf(Handle h) {
  int64_t size = -1;
  EXPECT_EQ(U_GetHandleSize(h, &size), 0);
  return size;
}

// A size beyond what the message's 32-bit figure shows states the largest one.
TEST_F(AllocTest, RefusedAllocationStatesAtMostTheLargestFigure) {
  EXPECT_EQ(U_AllocatePtrClear(Location(57, 9), "allocated VAL", kEnormous), nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(std::tuple(rec.last().severity, rec.last().location),
            std::tuple(tv::kSevFailure, Location(57, 9)));
  EXPECT_EQ(rec.last().text.rfind("Test: not enough memory to create allocated VAL.\n(2147483647K requested, ", 0), 0u)
      << rec.last().text;
  EXPECT_EQ(tv::test::LastCode(), 0);
}

TEST_F(AllocTest, QuietFormsReportNothing) {
  EXPECT_EQ(U_AllocatePtrQuiet(kEnormous), nullptr);
  EXPECT_EQ(U_AllocateHandleQuiet(kEnormous), nullptr);
  EXPECT_EQ(U_AllocatePtrClearQuiet(-1), nullptr);
  EXPECT_EQ(U_AllocateHandleClearQuiet(-1), nullptr);
  Handle h = U_AllocateHandleClearQuiet(4);
  ASSERT_NE(h, nullptr);
  U_FreeHandle(h);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(AllocTest, ResizeSwapAndDuplicateKeepContents) {
  Handle h = U_AllocateHandle(0, "block", 4);
  ASSERT_NE(h, nullptr);
  std::memcpy(*h, "abcd", 4);
  EXPECT_EQ(U_ResizeHandle(Location(27, 5), 1000, "block", &h), 0);
  EXPECT_EQ(SizeOf(h), 1000);
  EXPECT_EQ(0, std::memcmp(*h, "abcd", 4));
  Ptr p = U_AllocatePtr(0, "buffer", 8);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "01234567", 8);
  EXPECT_EQ(U_ResizePtr(Location(27, 6), 4, "buffer", &p), 0);
  EXPECT_EQ(U_ResizePtr(Location(27, 6), 16, "buffer", &p), 0);
  EXPECT_EQ(0, std::memcmp(p, "0123", 4));
  Handle b = U_AllocateHandle(0, "b", 1000);
  std::memcpy(*b, "xyz", 3);
  EXPECT_EQ(U_SwapHandleData(h, b), 0);
  EXPECT_EQ(0, std::memcmp(*h, "xyz", 3));
  EXPECT_EQ(0, std::memcmp(*b, "abcd", 4));
  Handle copy = nullptr;
  EXPECT_EQ(U_DuplicateHandle(b, "copy", &copy), 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, b);
  EXPECT_EQ(SizeOf(copy), 1000);
  EXPECT_EQ(0, std::memcmp(*copy, "abcd", 4));
  EXPECT_TRUE(rec.reports.empty());
  for (Handle x : {h, b, copy}) U_FreeHandle(x);
  U_FreePtr(p);
}

TEST_F(AllocTest, BadParametersAreReported) {
  Handle small = U_AllocateHandle(0, "a", 3), big = U_AllocateHandle(0, "c", 4), none = nullptr, copy = small;
  Ptr nothing = nullptr;
  int64_t size = 7;
  const struct {
    ErrorCode result;
    LocationCode location;
    const char* text;
  } cases[] = {
      {U_AllocatePtr(Location(27, 3), "list", -5) ? 0 : 3, Location(27, 3), "list"},  // null: code 3
      {U_GetHandleSize(nullptr, &size), Location(23, 23), "getting size of handle"},
      {U_ResizeHandle(Location(27, 5), 10, "block", &none), Location(27, 5), "resizing handle"},
      {U_ResizePtr(Location(27, 6), 4, "buffer", &nothing), Location(27, 6), "resizing pointer"},
      {U_SwapHandleData(small, big), Location(23, 24), "swapping handle data"},
      {U_SwapHandleData(nullptr, big), Location(23, 24), "swapping handle data"},
      {U_DuplicateHandle(nullptr, "copy", &copy), Location(23, 28), "getting size of handle"},
  };
  ASSERT_EQ(rec.reports.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].result, 3) << i;
    EXPECT_EQ(rec.reports[i].location, cases[i].location) << i;
    EXPECT_EQ(rec.reports[i].severity, tv::kSevError) << i;
    EXPECT_EQ(rec.reports[i].text, std::string("Test error: ") + cases[i].text + " -- a bad parameter was passed.");
  }
  EXPECT_EQ(size, 0);
  EXPECT_EQ(copy, nullptr);
  U_FreeHandle(small);
  U_FreeHandle(big);
}

}  // namespace
