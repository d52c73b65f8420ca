// Shared helpers of the project engine tests: a fixture that births U and
// the engine, records reports, and checks that nothing the test made
// outlives the engine's death.
#pragma once

#include <cstring>
#include <string>

#include "BEE.h"
#include "LIST.h"
#include "Memory.h"
#include "T.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::bee::test {

inline BEE_CompSettings Settings(const char* name, uint16_t w = 640, uint16_t h = 480, uint32_t rate = 30u << 16,
                                 Time duration = Time{6000, 600}) {
  BEE_CompSettings s{};
  std::strncpy(s.name, name, sizeof s.name - 1);
  s.duration = duration;
  s.secondTime = Time{0, 600};
  s.width = w;
  s.height = h;
  s.frameRate = rate;
  s.pixelAspect = Ratio{1, 1};
  s.dsfH = s.dsfV = 1;
  return s;
}

inline BEE_SolidSettings Solid(const char* name, uint32_t color = 0xFFFF0000, uint16_t w = 100, uint16_t h = 50) {
  BEE_SolidSettings s{};
  std::strncpy(s.name, name, sizeof s.name - 1);
  s.color = color;
  s.width = w;
  s.height = h;
  return s;
}

inline std::string Dump() {
  Handle h = nullptr;
  if (BEEp_DumpProject(&h) != 0 || !h) return "<dump failed>";
  std::string s(*h);
  DisposeHandle(h);
  return s;
}

class BeeFixture : public tv::test::UFixture {
 protected:
  void SetUp() override {
    tv::test::UFixture::SetUp();
    // Tables of the packages below are installed once and stay: warm them
    // before counting.
    Born(BEE_Birth());
    BEE_Item comp = NewComp("warm");
    NewSolidLayer(comp);
    Dump();
    ASSERT_EQ(BEE_Death(), 0);
    LISTp_GetLiveCount(&liveLists_);
    liveHandles_ = EMUL_LiveHandleCount();
    livePtrs_ = EMUL_LivePtrCount();
    Born(BEE_Birth());
    rec.clear();
  }
  void TearDown() override {
    if (born_) {
      EXPECT_EQ(BEE_Death(), 0);
    }
    int32_t items = -1, layers = -1;
    BEEp_GetLiveCounts(&items, &layers);
    EXPECT_EQ(items, 0);
    EXPECT_EQ(layers, 0);
    int32_t lists = -1;
    LISTp_GetLiveCount(&lists);
    EXPECT_EQ(lists, liveLists_);
    EXPECT_EQ(EMUL_LiveHandleCount(), liveHandles_);
    EXPECT_EQ(EMUL_LivePtrCount(), livePtrs_);
    tv::test::UFixture::TearDown();
  }
  void Born(ErrorCode err) {
    ASSERT_EQ(err, 0);
    born_ = true;
  }

  BEE_Item Root() {
    BEE_Item root = nullptr;
    BEE_QueryProject(&root);
    return root;
  }
  BEE_Item NewComp(const char* name = "Comp", BEE_Item folder = nullptr, uint32_t rate = 30u << 16) {
    BEE_CompSettings s = Settings(name, 640, 480, rate);
    BEE_Item comp = nullptr;
    EXPECT_EQ(BEE_CmdNewComp(folder, &s, &comp), 0);
    return comp;
  }
  BEE_Layer NewSolidLayer(BEE_Item comp, const char* name = "Red") {
    BEE_SolidSettings s = Solid(name);
    BEE_Layer layer = nullptr;
    EXPECT_EQ(BEE_CmdNewSolidLayer(comp, &s, &layer), 0);
    return layer;
  }
  // Whether a report carries the message (the report path puts the code's
  // own words before a message's closing full stop).
  bool Reported(std::string text) const {
    if (!text.empty() && text.back() == '.') text.pop_back();
    for (const auto& r : rec.reports)
      if (r.text.find(text) != std::string::npos) return true;
    return false;
  }

  bool born_ = false;
  int32_t liveLists_ = 0;
  int64_t liveHandles_ = 0;
  int64_t livePtrs_ = 0;
};

}  // namespace tv::bee::test
