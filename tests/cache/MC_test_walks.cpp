// The cache's walks and bookkeeping: visiting a bag or a directory (in its
// order, stopping early, a failing visitor, none), re-sorting a directory,
// a directory joined while its stuff is checked out read/write, cost and
// flag updates, counted lookups, emptying a bag that still lends a frame,
// and refused arguments.
#include <vector>

#include "MC_test_support.h"

namespace tv::test {
namespace {

class MCWalks : public MCFixture {};

struct Walk {
  std::vector<int32_t> keys;
  size_t stopAfter = 0;  // 0: never
  ErrorCode fail = 0;
};
ErrorCode Visit(intptr_t ref, MC_Bag, uint32_t, const MC_Stuff* s, Boolean32* stop) {
  auto* w = reinterpret_cast<Walk*>(ref);
  w->keys.push_back(KeyOf(s));
  *stop = w->keys.size() == w->stopAfter;
  return w->fail;
}
int32_t ByKeyDown(intptr_t ref, const MC_Stuff* a, const MC_Stuff* b) { return ByKey(ref, b, a); }

TEST_F(MCWalks, BagsAndDirectoriesAreWalkedInTheirOrder) {
  MC_Bag bag = OUT(MC_NewBag, 4, 2);
  for (int32_t k : {3, 1, 2}) Add(bag, k);
  MC_SortDir dir = OUT(MC_NewSortDir, bag, &ByKey, 0);
  for (uint32_t i : {0u, 1u, 2u}) ASSERT_EQ(MC_AddStuffToSortDir(dir, i), 0);
  const struct {
    const char* what;
    bool inDir;
    MC_SortFunc order;
    Walk walk;
    ErrorCode code;
    std::vector<int32_t> keys;
  } rows[] = {
      {"bag in slot order", false, nullptr, {}, 0, {3, 1, 2}},
      {"directory by key", true, &ByKey, {}, 0, {1, 2, 3}},
      {"directory re-sorted, stopped after two", true, &ByKeyDown, {{}, 2, 0}, 0, {3, 2}},
      {"a failing visitor ends the walk", false, nullptr, {{}, 0, 77}, 77, {3}},
  };
  for (auto row : rows) {
    if (row.order) {
      ASSERT_EQ(MC_SetSortFunc(dir, row.order, 0), 0);
    }
    const intptr_t ref = reinterpret_cast<intptr_t>(&row.walk);
    EXPECT_EQ(row.inDir ? MC_IterateStuffSortDir(dir, &Visit, ref) : MC_IterateStuffBag(bag, &Visit, ref), row.code)
        << row.what;
    EXPECT_EQ(row.walk.keys, row.keys) << row.what;
  }
  EXPECT_EQ(MC_IterateStuffBag(bag, nullptr, 0), kErrBadParam);
  EXPECT_EQ(MC_IterateStuffSortDir(dir, nullptr, 0), kErrBadParam);
  // A stuff checked out read/write joins a directory at its checkin.
  const uint32_t late = Add(bag, 0);
  MC_Receipt rw = CheckOut(late, MC_Checkout_ReadWrite, bag);
  ASSERT_EQ(MC_AddStuffToSortDir(dir, late), 0);
  ASSERT_EQ(MC_AddStuffToSortDir(dir, late), 0);  // once only
  Walk before;
  ASSERT_EQ(MC_IterateStuffSortDir(dir, &Visit, reinterpret_cast<intptr_t>(&before)), 0);
  EXPECT_EQ(before.keys, (std::vector<int32_t>{3, 2, 1}));
  ASSERT_EQ(MC_CheckinStuff(0, rw), 0);
  Walk after;
  ASSERT_EQ(MC_IterateStuffSortDir(dir, &Visit, reinterpret_cast<intptr_t>(&after)), 0);
  EXPECT_EQ(after.keys, (std::vector<int32_t>{3, 2, 1, 0}));
  ASSERT_EQ(MC_DisposeSortDir(dir), 0);
  ASSERT_EQ(MC_DisposeBag(bag), 0);
}

TEST_F(MCWalks, UpdatesLookupsEmptyingAndRefusals) {
  const uint32_t a = Add(MC_GlobalBag, 1, 5), b = Add(MC_GlobalBag, 2);
  // The caller's flags change; the cache's own stay.
  ASSERT_EQ(MC_UpdateStuffInfo(MC_GlobalBag, a, 99, 0x10000 | MC_Stuff_Free), 0);
  EXPECT_EQ(std::tuple(Info(MC_GlobalBag, a).cost, Info(MC_GlobalBag, a).flags & MC_Stuff_Free), std::tuple(99, 0u));
  EXPECT_EQ(MC_UpdateStuffInfo(MC_GlobalBag, 77, 1, 0), kErrRange);
  const MC_Statistics s0 = Stats();
  ASSERT_EQ(MC_NoteLookup(MC_GlobalBag, 1), 0);
  ASSERT_EQ(MC_NoteLookup(MC_GlobalBag, 0), 0);
  ASSERT_EQ(MC_NoteLookup(MC_GlobalBag, 0), 0);
  EXPECT_EQ(std::tuple(Stats().hits, Stats().misses), std::tuple(s0.hits + 1, s0.misses + 2));
  // Emptying keeps what is checked out, and says so.
  MC_Receipt r = CheckOut(b);
  rec.clear();
  EXPECT_EQ(MC_RemoveAllStuffsFromBag(MC_GlobalBag), MC_ErrDeleteCheckedOut);
  EXPECT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(Stats().entries, 1);
  ASSERT_EQ(MC_CheckinStuff(0, r), 0);
  ASSERT_EQ(MC_RemoveAllStuffsFromBag(MC_GlobalBag), 0);
  EXPECT_EQ(Stats().entries, 0);
  MC_Bag bag = reinterpret_cast<MC_Bag>(1);
  for (auto [size, blocks] : {std::pair{0u, 1u}, std::pair{1u, 0u}, std::pair{1u << 13, 1u << 12}}) {
    EXPECT_EQ(MC_NewBag(size, blocks, &bag), kErrBadParam) << size;
    EXPECT_EQ(bag, nullptr);
  }
  EXPECT_EQ(MC_NewBag(1, 1, nullptr), kErrBadParam);
}

}  // namespace
}  // namespace tv::test
