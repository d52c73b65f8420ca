// Out-of-memory reports of the allocation wrappers, driven by the memory
// manager's failure injector.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Format.h"
#include "Memory.h"
#include "TestSupport.h"
#include "U.h"

namespace {

using tv::Location;

class AllocFailureTest : public tv::test::UFixture {
 protected:
  void TearDown() override {
    EMUL_StopAllocationFailures();
    UFixture::TearDown();
  }
  // The exact message for size bytes of name, with the figure the manager gives now.
  static std::string Expected(const char* name, int64_t kilobytes) {
    return tv::fmt::Format("Test: not enough memory to create %s.\n(%ldK requested, %ldK available)",
                           {name, kilobytes, MaxBlock() / 1024});
  }
};

TEST_F(AllocFailureTest, ResizeAndDuplicateFailures) {
  // A refused resize keeps the block and its bytes; a refused copy gives none.
  Handle h = U_AllocateHandle(0, "block", 16);
  ASSERT_NE(h, nullptr);
  std::memcpy(*h, "0123456789abcdef", 16);
  Ptr p = U_AllocatePtr(0, "buffer", 8);
  ASSERT_NE(p, nullptr);
  EMUL_FailAllocationsAfter(0);
  EXPECT_EQ(U_ResizeHandle(Location(27, 5), 1 << 20, "block", &h), tv::kErrOutOfMemory);
  EXPECT_EQ(rec.last().text, Expected("block", 1024));
  EXPECT_EQ(0, std::memcmp(*h, "0123456789abcdef", 16));
  Ptr before = p;
  EXPECT_EQ(U_ResizePtr(Location(27, 6), 4096, "buffer", &p), tv::kErrOutOfMemory);
  EXPECT_EQ(p, before);
  Handle copy = reinterpret_cast<Handle>(1);
  EXPECT_EQ(U_DuplicateHandle(h, "copy of block", &copy), tv::kErrOutOfMemory);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(rec.last().location, Location(23, 28));
  U_FreeHandle(h);
  U_FreePtr(p);
}

TEST_F(AllocFailureTest, PlatformFailuresPassThrough) {
  char* fakeMaster = nullptr;
  Handle foreign = &fakeMaster;  // never made by the memory manager
  int64_t size = 5;
  EXPECT_EQ(U_GetHandleSize(foreign, &size), tv::kSysMemWZ);
  EXPECT_EQ(size, 0);
  rec.ExpectLast(Location(23, 23), tv::kSevError,
                 "Test error: getting size of handle -- invalid memory block (-111).");
  EXPECT_EQ(U_ResizeHandle(Location(27, 9), 64, "list", &foreign), tv::kSysMemWZ);
  rec.ExpectLast(Location(27, 9), tv::kSevFailure, "Test: resizing block -- invalid memory block (-111).");
  EXPECT_EQ(U_FreeHandle(foreign), tv::kSysMemWZ);
  EXPECT_EQ(U_FreePtr(nullptr), tv::kSysMemWZ);
  EXPECT_EQ(rec.reports.size(), 2u);  // freeing reports nothing
}

}  // namespace
