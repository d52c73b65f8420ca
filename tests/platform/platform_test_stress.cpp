// A seeded random sequence of handle operations checked against a plain model
// of every handle's size, contents and state.
#include <random>
#include <vector>

#include "platform_test_fixture.h"

namespace tv::test {
namespace {

struct Shadow {
  Handle h;
  std::vector<char> bytes;
  bool locked = false;
  bool purgeable = false;
};

class StressTest : public MemoryTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  std::mt19937 rng{GetParam()};
  std::vector<Shadow> handles;
  uint32_t lastKind = 99;

  uint32_t Rand(uint32_t n) { return static_cast<uint32_t>(rng() % n); }

  Size RandomSize() {
    switch (Rand(10)) {
      case 0: return 0;
      case 1: case 2: return 8193 + Rand(60000);
      case 3: return 4000 + Rand(5000);
      default: return Rand(600);
    }
  }

  // Writes fresh bytes over [from, size) of the handle and its shadow.
  void Scribble(Shadow& s, Size from) {
    s.bytes.resize(static_cast<size_t>(GetHandleSize(s.h)));
    for (size_t i = static_cast<size_t>(from); i < s.bytes.size(); ++i) {
      char c = static_cast<char>(rng());
      s.bytes[i] = c;
      (*s.h)[i] = c;
    }
  }

  // Purgeable, unlocked handles may have been purged by the last operation;
  // nothing else may have changed.
  void Sync() {
    for (Shadow& s : handles) {
      if (*s.h == nullptr && !s.bytes.empty()) {
        ASSERT_TRUE(s.purgeable && !s.locked) << "a locked or non-purgeable block was purged " << lastKind << " size " << s.bytes.size();
        ASSERT_EQ(GetHandleSize(s.h), 0);
        s.bytes.clear();
      }
    }
  }

  void Check(const Shadow& s) {
    ASSERT_EQ(GetHandleSize(s.h), static_cast<Size>(s.bytes.size()));
    if (!s.bytes.empty()) {
      ASSERT_EQ(std::memcmp(*s.h, s.bytes.data(), s.bytes.size()), 0);
    }
    uint8_t state = static_cast<uint8_t>(HGetState(s.h));
    ASSERT_EQ((state & 0x80) != 0, s.locked);
    ASSERT_EQ((state & 0x40) != 0, s.purgeable);
  }
};

TEST_P(StressTest, RandomOperationsMatchTheModel) {
  EMUL_SetMemoryChecks(GetParam() == 7);  // one seed moves every unlocked block it resizes
  EMUL_MemoryStats start = Stats();
  constexpr int kOps = 8000;
  for (int op = 0; op < kOps; ++op) {
    if (Rand(40) == 0) EMUL_InjectAllocationFailures(Rand(4), 1 + Rand(3));
    uint32_t kind = handles.size() < 20 ? 0 : Rand(handles.size() > 250 ? 12 : 13);
    if (kind == 12) kind = 0;
    lastKind = kind;
    size_t i = handles.empty() ? 0 : Rand(static_cast<uint32_t>(handles.size()));
    switch (kind) {
      case 0: case 1: {  // new
        Size n = RandomSize();
        Handle h = Rand(2) ? NewHandle(n) : NewHandleClear(n);
        if (!h) {
          ASSERT_EQ(MemError(), -108);
          break;
        }
        handles.push_back(Shadow{h, {}, false, false});
        Scribble(handles.back(), 0);
        break;
      }
      case 2: case 3: {  // resize
        Shadow& s = handles[i];
        Size old = static_cast<Size>(s.bytes.size());
        Size n = Rand(3) == 0 ? RandomSize() : std::max<Size>(0, old + static_cast<int32_t>(Rand(4000)) - 2000);
        SetHandleSize(s.h, n);
        OSErr err = MemError();
        if (err == 0) {
          ASSERT_EQ(GetHandleSize(s.h), n);
          Size kept = std::min(old, n);
          if (kept > 0) {
            ASSERT_EQ(std::memcmp(*s.h, s.bytes.data(), static_cast<size_t>(kept)), 0);
          }
          s.bytes.resize(static_cast<size_t>(kept));
          Scribble(s, kept);
          if (n == 0) {
            ASSERT_EQ(*s.h, nullptr);
          }
        } else {
          ASSERT_EQ(err, -108);
        }
        Check(s);
        break;
      }
      case 4: handles[i].locked ? HUnlock(handles[i].h) : HLock(handles[i].h);
        handles[i].locked = !handles[i].locked;
        Check(handles[i]);
        break;
      case 5: handles[i].purgeable ? HNoPurge(handles[i].h) : HPurge(handles[i].h);
        handles[i].purgeable = !handles[i].purgeable;
        Check(handles[i]);
        break;
      case 6: case 7:  // dispose
        Check(handles[i]);
        DisposeHandle(handles[i].h);
        ASSERT_EQ(MemError(), 0);
        DisposeHandle(handles[i].h);
        ASSERT_EQ(MemError(), -111);
        handles.erase(handles.begin() + static_cast<long>(i));
        break;
      case 8: {  // copy
        Handle copy = handles[i].h;
        OSErr err = HandToHand(&copy);
        if (err == 0) {
          Shadow s{copy, *handles[i].h ? handles[i].bytes : std::vector<char>{}, false, false};
          Check(s);
          handles.push_back(s);
        } else {
          ASSERT_EQ(err, -108);
          ASSERT_EQ(copy, handles[i].h);
        }
        break;
      }
      case 9:  // empty
        EmptyHandle(handles[i].h);
        handles[i].bytes.clear();
        handles[i].locked = false;
        Check(handles[i]);
        break;
      case 10: {  // purge everything purgeable
        Size grow;
        if (Rand(8) == 0) MaxMem(&grow);
        Sync();
        break;
      }
      case 11: {  // state round trip
        Shadow& s = handles[i];
        SignedByte saved = HGetState(s.h);
        HSetState(s.h, static_cast<SignedByte>(Rand(256)));
        HSetState(s.h, saved);
        Check(s);
        break;
      }
    }
    EMUL_StopAllocationFailures();
    Sync();
    if (op % 500 == 0) {
      for (const Shadow& s : handles) Check(s);
    }
    if (HasFatalFailure()) return;
  }
  for (const Shadow& s : handles) Check(s);
  for (const Shadow& s : handles) DisposeHandle(s.h);
  handles.clear();
  EMUL_MemoryStats end = Stats();
  EXPECT_EQ(end.liveHandles, start.liveHandles);
  EXPECT_EQ(end.heapZones, start.heapZones);
  EXPECT_EQ(end.heapZoneBytes, start.heapZoneBytes);
  EXPECT_EQ(end.globalZoneBytes, start.globalZoneBytes);
  EXPECT_GT(end.purgedBlocks, start.purgedBlocks);  // purging did happen along the way
}

INSTANTIATE_TEST_SUITE_P(Seeds, StressTest, ::testing::Values(1u, 7u, 20261206u));

}  // namespace
}  // namespace tv::test
