// The frame cache under memory pressure: thousands of random additions,
// keyed checkouts, checkins and unrelated allocations under a small budget,
// with the cache freeing through the grow-zone path.
#include <map>
#include <random>
#include <vector>

#include "MC_test_support.h"

namespace tv::test {
namespace {

int64_t NoCounters() { return -1; }  // the accounting measure, exact and repeatable

class MCPressure : public MCFixture {
 protected:
  void SetUp() override {
    MCFixture::SetUp();
    EMUL_SetProcessMemoryProbeForTesting(&NoCounters);
    EMUL_SetPhysicalMemoryForTesting(Size{100} << 20);
    ASSERT_EQ(EMUL_SetMemUsagePercentages(34, 30), 0);  // ceiling 34 MB, purging from 30 MB
    SetGrowZone(&MC_GrowZone);
  }
  void TearDown() override {
    SetGrowZone(nullptr);
    EMUL_SetProcessMemoryProbeForTesting(nullptr);
    EMUL_SetPhysicalMemoryForTesting(0);
    EMUL_ReloadMemorySettings();
    MCFixture::TearDown();
  }
};

struct Out {
  MC_Receipt receipt;
  int32_t key;
  Handle data;
  char* where;  // the block's address at checkout
};

TEST_F(MCPressure, BudgetHoldsAndCheckedOutFramesStayPut) {
  EMUL_MemoryStats levels{};
  EMUL_GetMemoryStats(&levels);
  const int64_t growZoneCalls = levels.growZoneCalls;
  ASSERT_EQ(levels.ceiling, Size{34} << 20);
  MC_SortDir dir = nullptr;
  ASSERT_EQ(MC_NewSortDir(MC_GlobalBag, &ByKey, 0, &dir), 0);

  std::mt19937 rng(24);
  std::map<int32_t, uint8_t> seeds;  // every key ever added and its frame's seed
  std::vector<Out> out;
  std::vector<Handle> other;  // allocations of the rest of the engine
  int32_t nextKey = 0;
  int64_t adds = 0, hits = 0, misses = 0;

  auto checkOut = [&](const Out& o) {
    MC_Stuff s{};
    ASSERT_EQ(MC_InqReceipt(o.receipt, nullptr, nullptr, &s), 0);
    ASSERT_EQ(Block(s.id)->data, o.data);
    ASSERT_EQ(*o.data, o.where) << "a checked-out frame moved";
    ASSERT_GT(s.checkouts, 0u);
  };

  for (int step = 0; step < 4000; ++step) {
    const int what = static_cast<int>(rng() % 10);
    if (what < 4) {
      // A new frame of 64 KB to 512 KB, kept in the key directory.
      const Size bytes = Size{64 << 10} + static_cast<Size>(rng() % (448 << 10));
      const int32_t key = nextKey++;
      const auto seed = static_cast<uint8_t>(rng());
      const uint32_t cost = rng() % 120;
      uint32_t index = Add(MC_GlobalBag, key, static_cast<int32_t>(cost), 0, bytes, seed);
      ASSERT_NE(index, MC_NoIndex) << "a frame could not be made while frames could be freed";
      ASSERT_EQ(MC_AddStuffToSortDir(dir, index), 0);
      seeds[key] = seed;
      ++adds;
    } else if (what < 7 && out.size() < 8 && nextKey > 0) {
      // A keyed look-up; a hit is checked out read-only and read back.
      const int32_t key = static_cast<int32_t>(rng() % static_cast<uint32_t>(nextKey));
      VAL_Value probe = Frame(key);
      Boolean32 got = 0;
      uint32_t index = 0;
      MC_Receipt r = nullptr;
      ASSERT_EQ(MC_CheckoutBySortDir(dir, MC_Checkout_ReadOnly, &probe, &got, &index, &r), 0);
      VAL_DisposeValue(&probe);
      if (!got) {
        ++misses;
        continue;
      }
      ++hits;
      MC_Stuff s{};
      ASSERT_EQ(MC_InqReceipt(r, nullptr, nullptr, &s), 0);
      ASSERT_EQ(Block(s.id)->key, key);
      ASSERT_TRUE(FrameHolds(Block(s.id)->data, seeds[key])) << "a cached frame changed";
      out.push_back({r, key, Block(s.id)->data, *Block(s.id)->data});
    } else if (what < 9 && !out.empty()) {
      const size_t at = rng() % out.size();
      const Out o = out[at];
      checkOut(o);
      ASSERT_TRUE(FrameHolds(o.data, seeds[o.key]));
      ASSERT_EQ(MC_CheckinStuff(rng() % 4 == 0 ? MC_Checkin_NotAUse : 0, o.receipt), 0);
      out.erase(out.begin() + static_cast<ptrdiff_t>(at));
    } else {
      // The rest of the engine allocates and frees too.
      if (other.size() < 6) {
        Handle h = NewHandle(Size{32 << 10} + static_cast<Size>(rng() % (768 << 10)));
        ASSERT_NE(h, nullptr) << "an allocation failed while frames could be freed";
        other.push_back(h);
      } else {
        DisposeHandle(other.front());
        other.erase(other.begin());
      }
    }
    // After every step: the budget holds and every checkout is intact.
    Size used = 0;
    ASSERT_EQ(EMUL_TotalMemoryUsed(&used), 0);
    ASSERT_LE(used, levels.ceiling) << "step " << step;
    for (const Out& o : out) checkOut(o);
    const MC_Statistics st = Stats();
    ASSERT_EQ(st.hits, hits);
    ASSERT_EQ(st.misses, misses);
    ASSERT_EQ(st.entries + st.purges, adds);
  }
  // Pressure really purged, and only through the cache.
  EXPECT_GT(Stats().purges, 100);
  EMUL_MemoryStats after{};
  EMUL_GetMemoryStats(&after);
  EXPECT_GT(after.growZoneCalls, growZoneCalls);
  EXPECT_GT(hits, 100);
  EXPECT_GT(misses, 100);
  for (const Out& o : out) ASSERT_EQ(MC_CheckinStuff(0, o.receipt), 0);
  for (Handle h : other) DisposeHandle(h);
}

}  // namespace
}  // namespace tv::test
