// Shared helpers of the project engine tests: a fixture that births U and
// the engine, records reports, and checks that nothing the test made
// outlives the engine's death.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

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

inline BEE_FootageDesc Footage(const char* name, uint16_t w, uint16_t h, Time duration, Boolean32 video = 1) {
  BEE_FootageDesc d{};
  std::strncpy(d.name, name, sizeof d.name - 1);
  d.width = w;
  d.height = h;
  d.duration = duration;
  d.pixelAspect = Ratio{1, 1};
  d.hasVideo = video;
  return d;
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
  BeeFixture() : UFixture({BEE_PackageNumber}) {}
  // With further packages born first (the engine's own births give BEE what it needs).
  explicit BeeFixture(std::initializer_list<int32_t> packages) : UFixture(packages) {}
  void SetUp() override {
    tv::test::UFixture::SetUp();
    born_ = true;
    // Tables of the packages below are installed once and stay: warm them
    // before counting.
    BEE_Item comp = NewComp("warm");
    NewSolidLayer(comp);
    Dump();
    Recount();
  }
  // Ends the engine, takes the live counts the test ends with, and starts
  // it again: what was made before (warmed tables) is not counted.
  void Recount() {
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
  // A copy of a layer's stream made non-constant, for keys (the caller hands
  // it to a command or disposes it).
  TDB_Stream KeyableCopy(BEE_Layer layer, intptr_t index) {
    BEE_StreamRef ref{layer, index};
    TDB_Stream s = nullptr, d = nullptr;
    EXPECT_EQ(BEE_StreamLookup(&ref, &s), 0);
    EXPECT_EQ(TDB_DuplicateStream(s, &d), 0);
    EXPECT_EQ(TDB_SetConstant(d, 0, nullptr, 0), 0);
    return d;
  }
  // The keys of the layer's streams `indices`, copied to a new scrap (the
  // caller disposes it).
  BEE_Scrap CopyStreams(BEE_Layer layer, std::initializer_list<intptr_t> indices) {
    BEE_Selection s = nullptr;
    EXPECT_EQ(BEE_NewSelection(&s), 0);
    for (intptr_t i : indices) {
      BEE_SelDesc d{BEE_SelKindStream, layer, i, 0};
      EXPECT_EQ(BEE_Select(s, 1, &d, nullptr), 0);
    }
    BEE_Scrap scrap = nullptr;
    EXPECT_EQ(BEE_CopyKeysToNewScrap(s, &scrap), 0);
    BEE_DisposeSelection(s);
    return scrap;
  }
  std::string UndoName() {
    Boolean32 avail = 0;
    char name[BEE_GroupNameSize];
    EXPECT_EQ(BEE_UndoAvailable(&avail, name), 0);
    return avail ? std::string(name) : std::string("<none>");
  }
  std::string RedoName() {
    Boolean32 avail = 0;
    char name[BEE_GroupNameSize];
    EXPECT_EQ(BEE_RedoAvailable(&avail, name), 0);
    return avail ? std::string(name) : std::string("<none>");
  }
  // {undo records, undo groups, redo records, redo groups}
  std::vector<int32_t> Stacks() {
    std::vector<int32_t> c(4, -1);
    EXPECT_EQ(BEEp_GetStackCounts(&c[0], &c[1], &c[2], &c[3]), 0);
    return c;
  }
  Boolean32 Dirty() {
    Boolean32 dirty = 7;
    EXPECT_EQ(BEE_GetProjectDirty(&dirty), 0);
    return dirty;
  }
  std::string Name(BEE_Item item) {
    char name[32] = "<unset>";
    EXPECT_EQ(BEE_GetItemName(item, name), 0);
    return name;
  }
  Time Now(BEE_Item item) {
    Time t = kInvalidTime;
    EXPECT_EQ(BEE_GetItemCurrentTime(item, &t), 0);
    return t;
  }
  Boolean32 Active(BEE_Layer layer, Time t, Boolean32 asMatte = 0) {
    Boolean32 active = 2;
    EXPECT_EQ(BEE_LayerActive(layer, t, asMatte, &active, nullptr), 0);
    return active;
  }
  std::pair<int32_t, int32_t> LiveCounts() {
    int32_t items = -1, layers = -1;
    BEEp_GetLiveCounts(&items, &layers);
    return {items, layers};
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
