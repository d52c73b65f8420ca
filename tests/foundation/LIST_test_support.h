// Shared helpers of the LIST tests: a fixture that checks every list made in
// a test is disposed, and small helpers over lists of int32_t (or of other items).
#pragma once

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "LIST.h"
#include "Memory.h"
#include "TestSupport.h"

namespace tv::listtest {

constexpr LocationCode At(uint32_t site) { return tv::Location(LIST_PackageNumber, site); }

// The end of every report of a position outside of a list.
inline const std::string kOutside = " a position outside of list length -- internal value out of range.";

// Item functions that record their calls; the data argument points at the record.
struct Calls {
  int copies = 0;
  std::vector<int32_t> disposed;
  int failCopyAt = -1;                // the copy with this number fails
  int32_t failDisposeOf = INT32_MIN;  // disposing this value fails, once recorded
  intptr_t data() { return reinterpret_cast<intptr_t>(this); }
};
inline ErrorCode CountingCopy(intptr_t data, LIST_Handle, const void* source, void* destination) {
  auto* c = reinterpret_cast<Calls*>(data);
  if (c->copies == c->failCopyAt) return 0x4242;
  ++c->copies;
  int32_t v;
  std::memcpy(&v, source, 4);
  v += 1000;  // a "deep" copy is visibly different
  std::memcpy(destination, &v, 4);
  return 0;
}
inline ErrorCode CountingDispose(intptr_t data, LIST_Handle, void* item) {
  auto* c = reinterpret_cast<Calls*>(data);
  int32_t v;
  std::memcpy(&v, item, 4);
  c->disposed.push_back(v);
  return v == c->failDisposeOf ? 0x4343 : 0;
}
// Installs CountingDispose, and CountingCopy unless withCopy is false.
inline ErrorCode InstallCounting(LIST_Handle list, bool withCopy = true) {
  LIST_Func funcs[3] = {withCopy ? tv::list::AsFunc(&CountingCopy) : nullptr, tv::list::AsFunc(&CountingDispose),
                        nullptr};
  return LIST_SetFuncs(list, 2, funcs);
}

class ListTest : public tv::test::UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    // The string table is installed with the first list; it stays.
    LIST_Handle first = nullptr;
    if (LIST_New(0, 1, 1, 0, &first) == 0) LIST_Dispose(first, 0);
    LISTp_GetLiveCount(&liveAtStart_);
    handlesAtStart_ = EMUL_LiveHandleCount();
    ptrsAtStart_ = EMUL_LivePtrCount();
  }
  void TearDown() override {
    for (LIST_Handle l : owned_) EXPECT_EQ(LIST_Dispose(l, 0), 0);
    int32_t live = -1;
    LISTp_GetLiveCount(&live);
    EXPECT_EQ(live, liveAtStart_) << "a list made by the test was not disposed";
    EXPECT_EQ(EMUL_LiveHandleCount(), handlesAtStart_) << "a handle was not disposed";
    EXPECT_EQ(EMUL_LivePtrCount(), ptrsAtStart_) << "a pointer block was not disposed";
    EMUL_StopAllocationFailures();
    UFixture::TearDown();
  }

  // A list of int32_t holding values, disposed (without data) after the test
  // unless the test disposes it through Dispose.
  LIST_Handle Ints(std::vector<int32_t> values, int32_t blockSize = 4, int32_t initialBlocks = 1,
                   uint32_t flags = 0) {
    LIST_Handle list = nullptr;
    EXPECT_EQ(LIST_New(flags, 4, blockSize, initialBlocks, &list), 0);
    for (int32_t v : values) EXPECT_EQ(LIST_Insert(&v, -1, list), 0);
    return Own(list);
  }
  LIST_Handle Own(LIST_Handle list) {
    if (list) owned_.push_back(list);
    return list;
  }
  ErrorCode Dispose(LIST_Handle list, intptr_t data) {
    std::erase(owned_, list);
    return LIST_Dispose(list, data);
  }
  template <class T = int32_t>
  static std::vector<T> Items(LIST_Handle list) {
    int32_t n = 0;
    LIST_GetNumItems(list, &n);
    std::vector<T> out(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) LIST_GetItem(list, i, &out[static_cast<size_t>(i)]);
    return out;
  }
  static int32_t Count(LIST_Handle list) {
    int32_t n = -1;
    LIST_GetNumItems(list, &n);
    return n;
  }
  // The capacity in items, read off the block's size: (capacity + 1) items follow the header.
  static int64_t Capacity(LIST_Handle list) {
    int32_t itemSize = 0;
    LIST_GetItemSize(list, &itemSize);
    return (GetHandleSize(list) - HeaderBytes()) / itemSize - 1;
  }
  // The header's size: the block of an empty list without blocks holds one (scratch) item.
  static int64_t HeaderBytes() {
    LIST_Handle probe = nullptr;
    if (LIST_New(0, 1, 1, 0, &probe) != 0) return -1;
    int64_t bytes = GetHandleSize(probe) - 1;
    LIST_Dispose(probe, 0);
    return bytes;
  }

  // Exactly one report since the last clear, with this location, severity 8 and text.
  void ExpectOneReport(uint32_t site, const std::string& text) {
    rec.ExpectOnly(At(site), tv::kSevError, "Test error: " + text);
  }

 private:
  std::vector<LIST_Handle> owned_;
  int32_t liveAtStart_ = 0;
  int64_t handlesAtStart_ = 0;
  int64_t ptrsAtStart_ = 0;
};

}  // namespace tv::listtest
