// Test doubles of the frame cache tests: a value type whose values own a
// payload handle (a "frame" of bytes made from a seed) and are ordered by an
// integer key, and a fixture that births MC and registers the type.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "../io/io_test_out.h"
#include "MC.h"
#include "Memory.h"
#include "TestSupport.h"
#include "VAL.h"

namespace tv::test {

struct FrameBlock {
  int32_t key;
  uint8_t seed;
  Handle data;  // may be null (released)
};

struct FrameParam {
  int32_t key;
  Size bytes;
  uint8_t seed;
};

inline ErrorCode FrameName(intptr_t, char* name) {
  std::strcpy(name, "MC test frame");
  return 0;
}
inline void FillFrame(Handle h, uint8_t seed) {
  char* p = *h;
  const Size n = GetHandleSize(h);
  for (Size i = 0; i < n; ++i) p[i] = static_cast<char>(seed + i * 13);
}
inline bool FrameHolds(Handle h, uint8_t seed) {
  if (!h || !*h) return false;
  const char* p = *h;
  const Size n = GetHandleSize(h);
  for (Size i = 0; i < n; ++i)
    if (p[i] != static_cast<char>(seed + i * 13)) return false;
  return true;
}
inline ErrorCode FrameNew(intptr_t, const void* parameter, VAL_Value* value) {
  const auto* p = static_cast<const FrameParam*>(parameter);
  auto* b = reinterpret_cast<FrameBlock*>(NewPtrClear(sizeof(FrameBlock)));
  if (!b) return 4;
  b->key = p->key;
  b->seed = p->seed;
  if (p->bytes > 0) {
    b->data = NewHandle(p->bytes);
    if (!b->data) {
      DisposePtr(reinterpret_cast<Ptr>(b));
      return 4;
    }
    FillFrame(b->data, p->seed);
  }
  value->data.ptr = b;
  return 0;
}
inline ErrorCode FrameDispose(intptr_t, VAL_Value* value) {
  auto* b = static_cast<FrameBlock*>(value->data.ptr);
  if (!b) return 0;
  if (b->data) DisposeHandle(b->data);
  DisposePtr(reinterpret_cast<Ptr>(b));
  value->data.ptr = nullptr;
  return 0;
}
inline ErrorCode FrameSize(intptr_t, const VAL_Value* value, int64_t* bytes) {
  const auto* b = static_cast<const FrameBlock*>(value->data.ptr);
  *bytes = b && b->data ? GetHandleSize(b->data) : 0;
  return 0;
}
inline const VAL_TypeRecord kFrameType = [] {
  VAL_TypeRecord r{};
  r.getName = &FrameName;
  r.newValue = &FrameNew;
  r.dispose = &FrameDispose;
  r.deepSize = &FrameSize;
  return r;
}();

inline FrameBlock* Block(const VAL_Value& v) { return static_cast<FrameBlock*>(v.data.ptr); }
inline int32_t KeyOf(const MC_Stuff* s) { return Block(s->id) ? Block(s->id)->key : INT32_MIN; }

// Orders stuffs by their frames' keys.
inline int32_t ByKey(intptr_t, const MC_Stuff* a, const MC_Stuff* b) {
  int32_t ka = KeyOf(a), kb = KeyOf(b);
  return ka < kb ? -1 : ka > kb ? 1 : 0;
}

class MCFixture : public UFixture {
 protected:
  MCFixture() : UFixture({MC_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    ASSERT_EQ(VAL_RegisterType(&kFrameType, &type), 0);
  }
  VAL_Value Frame(int32_t key, Size bytes = 0, uint8_t seed = 0) {
    FrameParam p{key, bytes, seed};
    VAL_Value v{};
    EXPECT_EQ(VAL_NewValue(type, &p, &v), 0);
    return v;
  }
  // Adds a frame to the bag; its index.
  uint32_t Add(MC_Bag bag, int32_t key, int32_t cost = 0, uint32_t flags = 0, Size bytes = 0, uint8_t seed = 0,
               MC_PurgeProc purge = nullptr, intptr_t ref = 0) {
    VAL_Value v = Frame(key, bytes, seed);
    uint32_t index = MC_NoIndex;
    EXPECT_EQ(MC_AddStuff(bag, flags, &v, cost, purge, ref, nullptr, nullptr, 0, &index), 0);
    return index;
  }
  MC_Stuff Info(MC_Bag bag, uint32_t index) { return OUT(MC_GetStuffInfo, bag, index); }
  MC_Statistics Stats(MC_Bag bag = MC_GlobalBag) { return OUT(MC_GetStatistics, bag); }
  // The statistics as one record: entries, bytes, hits, misses, purges.
  std::vector<int64_t> Tally(MC_Bag bag = MC_GlobalBag) {
    const MC_Statistics s = Stats(bag);
    return {s.entries, s.bytes, s.hits, s.misses, s.purges};
  }
  // A checkout by index that must succeed; its receipt.
  MC_Receipt CheckOut(uint32_t index, int32_t mode = MC_Checkout_ReadOnly, MC_Bag bag = MC_GlobalBag) {
    return OUT(MC_CheckoutByID, bag, mode, index, nullptr);
  }
  // Exactly one report since the last clear: its site, severity and text.
  void ExpectOneReport(uint32_t site, Severity severity, const std::string& text) {
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.last().location, (uint32_t{MC_PackageNumber} << 24) | site);
    EXPECT_EQ(rec.last().severity, severity);
    EXPECT_EQ(rec.last().text, text);
  }
  int32_t type = 0;
};

}  // namespace tv::test
