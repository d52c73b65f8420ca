// Handles, pointer blocks, zones, locking, state bytes, purging and the
// refusal of null, stale and foreign handles.
#include <unistd.h>

#include "Platform.h"
#include "platform_test_fixture.h"

namespace tv::test {
namespace {

using HandleTest = MemoryTest;

// The memory error left by a call.
template <class F>
OSErr After(F call) {
  call();
  return MemError();
}

// Contents through growth, shrinking and moves between the zones, copies and
// state round trips are checked against a model by platform_test_stress.cpp.
TEST_F(HandleTest, MovingModeMovesEveryUnlockedResizeButNoLockedOne) {
  EMUL_SetMemoryChecks(1);
  Handle h = NewHandle(5000);
  Fill(h, 1);
  char* before = *h;
  SetHandleSize(h, 4000);
  EXPECT_NE(*h, before);
  EXPECT_TRUE(Holds(h, 1, 4000));
  HLock(h);
  before = *h;
  SetHandleSize(h, 3000);
  EXPECT_EQ(*h, before);
  EXPECT_TRUE(Holds(h, 1, 3000));
  DisposeHandle(h);
}

TEST_F(HandleTest, CopiesOfPointersNullAndEmptyHandles) {
  const char bytes[] = "abcdef";
  Handle p = nullptr;
  ASSERT_EQ(PtrToHand(bytes, &p, 6), 0);
  EXPECT_EQ(GetHandleSize(p), 6);
  EXPECT_EQ(std::memcmp(*p, bytes, 6), 0);

  Handle nullHandle = nullptr;
  EXPECT_EQ(HandToHand(&nullHandle), -50);
  EXPECT_EQ(HandToHand(nullptr), -50);
  Handle empty = NewHandle(0);
  Handle emptyCopy = empty;
  ASSERT_EQ(HandToHand(&emptyCopy), 0);
  EXPECT_NE(emptyCopy, empty);
  EXPECT_EQ(GetHandleSize(emptyCopy), 0);
  for (Handle x : {p, empty, emptyCopy}) DisposeHandle(x);
}

TEST_F(HandleTest, PointerBlocks) {
  Ptr p = NewPtr(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(GetPtrSize(p), 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
  Ptr big = NewPtrClear(50000);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(GetPtrSize(big), 50000);
  EXPECT_EQ(big[49999], 0);
  Ptr zero = NewPtr(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(GetPtrSize(zero), 0);
  EXPECT_EQ(EMUL_LivePtrCount(), base.livePtrs + 3);
  EXPECT_EQ(After([&] { DisposePtr(p); }), 0);
  EXPECT_EQ(After([&] { DisposePtr(p); }), -111);  // twice
  EXPECT_EQ(After([] { DisposePtr(nullptr); }), -111);
  char local[32] = {};
  EXPECT_EQ(After([&] { DisposePtr(local + 16); }), -111);  // foreign
  EXPECT_EQ(GetPtrSize(local), 0);
  EXPECT_EQ(MemError(), -111);
  DisposePtr(big);
  DisposePtr(zero);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), -50);
}

TEST_F(HandleTest, NullStaleAndForeignHandlesAreRefused) {
  EXPECT_EQ(After([] { DisposeHandle(nullptr); }), -109);
  for (void (*call)(Handle) : {HLock, HUnlock, HPurge, HNoPurge}) EXPECT_EQ(After([&] { call(nullptr); }), -111);
  EXPECT_EQ(After([] { SetHandleSize(nullptr, 10); }), -111);
  EXPECT_EQ(GetHandleSize(nullptr), 0);

  Handle h = NewHandle(10);
  EXPECT_EQ(After([&] { DisposeHandle(h); }), 0);
  EXPECT_EQ(After([&] { DisposeHandle(h); }), -111);  // twice: refused, nothing corrupted
  EXPECT_EQ(After([&] { SetHandleSize(h, 20); }), -111);
  EXPECT_EQ(After([&] { HLock(h); }), -111);
  EXPECT_EQ(GetHandleSize(h), 0);

  char* data = nullptr;
  Handle foreign = &data;
  EXPECT_EQ(After([&] { DisposeHandle(foreign); }), -111);
  EXPECT_EQ(GetHandleSize(foreign), 0);
  EXPECT_EQ(MemError(), -111);
  Handle inside = reinterpret_cast<Handle>(reinterpret_cast<char*>(NewHandle(1)) + 8);
  EXPECT_EQ(After([&] { DisposeHandle(inside); }), -111);  // points into a record, not at one
  EXPECT_EQ(After([&] { DisposeHandle(reinterpret_cast<Handle>(reinterpret_cast<char*>(inside) - 8)); }), 0);

  // Still working afterwards, and success clears the error.
  Handle ok = NewHandle(10);
  EXPECT_EQ(MemError(), 0);
  ASSERT_EQ(After([] { HLock(nullptr); }), -111);
  EXPECT_EQ(After([&] { HLock(ok); }), 0);
  DisposeHandle(ok);
  EXPECT_EQ(NewHandle(-5), nullptr);
  EXPECT_EQ(MemError(), -50);
}

TEST_F(HandleTest, RecoverHandleFindsBothZones) {
  Handle small = NewHandle(10);
  Handle large = NewHandle(10000);
  EXPECT_EQ(RecoverHandle(*small), small);
  EXPECT_EQ(RecoverHandle(*large), large);
  char local = 0;
  EXPECT_EQ(RecoverHandle(&local), nullptr);
  EXPECT_EQ(RecoverHandle(*small + 1), nullptr);
  DisposeHandle(small);
  DisposeHandle(large);
}

TEST_F(HandleTest, OneTimeDebugLines) {
  uint64_t before = platform::DebugOutputCount();
  MoreMasters();
  MoreMasters();
  SetApplLimit(GetApplLimit());
  GetApplLimit();
  EXPECT_LE(platform::DebugOutputCount() - before, 3u);
  Size total = 5, contiguous = 5;
  PurgeSpace(&total, &contiguous);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(contiguous, 0);
}

}  // namespace
}  // namespace tv::test
