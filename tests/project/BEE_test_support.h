// Shared helpers of the project engine tests: a fixture that births U and
// the engine, records reports, and checks that nothing the test made
// outlives the engine's death.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "BEE.h"
#include "FLT.h"
#include "LIST.h"
#include "OM.h"
#include "PIN_internal.h"
#include "PinTestDriver.h"
#include "Memory.h"
#include "T.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::bee::test {

// Calls op(args..., &result), checks that it succeeded (the failure names the
// operation) and gives the result: GOT(BEE_Layer, BEE_CmdNewLayer, comp, item).
template <class T, class R, class... P, class... A>
T Got(const char* name, R (*op)(P...), A&&... args) {
  T result{};
  EXPECT_EQ(op(std::forward<A>(args)..., &result), 0) << name;
  return result;
}
#define GOT(T, op, ...) ::tv::bee::test::Got<T>(#op, op __VA_OPT__(, ) __VA_ARGS__)

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

// The name of the step undo (or redo) would take back, or "<none>".
inline std::string GroupName(bool undo) {
  Boolean32 avail = 0;
  char name[BEE_GroupNameSize];
  EXPECT_EQ(undo ? BEE_UndoAvailable(&avail, name) : BEE_RedoAvailable(&avail, name), 0);
  return avail ? std::string(name) : std::string("<none>");
}
inline std::string UndoName() { return GroupName(true); }
inline std::string RedoName() { return GroupName(false); }
// {undo records, undo groups, redo records, redo groups}
inline std::vector<int32_t> Stacks() {
  std::vector<int32_t> c(4, -1);
  EXPECT_EQ(BEEp_GetStackCounts(&c[0], &c[1], &c[2], &c[3]), 0);
  return c;
}
inline Boolean32 Dirty() {
  Boolean32 dirty = 7;
  EXPECT_EQ(BEE_GetProjectDirty(&dirty), 0);
  return dirty;
}

// Adds a mask of a shape kind (OM_TypeRect, OM_TypeOval) filling the
// rectangle, made a path first when asked; index gets the new mask's.
inline void AddShapeMask(BEE_Layer layer, int32_t type, const FixedRect& r, bool path = false,
                         int32_t* index = nullptr) {
  OM_Shape shape = GOT(OM_Shape, OM_NewShape, type, &r);
  if (path) {
    EXPECT_EQ(OM_SetShapeType(OM_TypePath, shape), 0);
  }
  EXPECT_EQ(BEE_CmdAddMask(layer, shape, index), 0);
  OM_DisposeShape(shape);
}

// A file's bytes (none when it cannot be read), and a file written whole.
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The names in a folder, sorted.
inline std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The layer's effect parade (the engine's: not disposed).
inline Handle Parade(BEE_Layer layer) {
  Handle parade = nullptr;
  int32_t count = 0;
  EXPECT_EQ(BEE_InqLayerEffectSeq(layer, &parade, &count), 0);
  return parade;
}

// A copy of a layer's stream made non-constant, for keys (the caller hands
// it to a command or disposes it).
inline TDB_Stream KeyableCopy(BEE_Layer layer, intptr_t index) {
  BEE_StreamRef ref{layer, index};
  TDB_Stream d = GOT(TDB_Stream, TDB_DuplicateStream, GOT(TDB_Stream, BEE_StreamLookup, &ref));
  EXPECT_EQ(TDB_SetConstant(d, 0, nullptr, 0), 0);
  return d;
}

// Gives a layer's stream linear keys of internal values, each key
// {seconds, values...}.
inline void LinearKeys(BEE_Layer layer, intptr_t index, std::initializer_list<std::vector<double>> keys) {
  TDB_Stream s = KeyableCopy(layer, index);
  const TDB_StreamInfo info = GOT(TDB_StreamInfo, TDB_GetStreamInfo, s);
  for (const auto& k : keys) {
    const auto tv = static_cast<int32_t>(std::lround(k[0] * info.timeScale));
    ASSERT_EQ(TDB_InsertKeyF(s, nullptr, tv, 1, k.data() + 1, TDB_InterpLinear, TDB_InterpLinear), 0);
  }
  ASSERT_EQ(BEE_CmdSetStreamKeys(layer, static_cast<int32_t>(index), s), 0);
}

// A new composition of w x h at the project's top (30 fps, 10 s).
inline BEE_Item MakeComp(const char* name, int w, int h) {
  BEE_CompSettings s = Settings(name, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
  BEE_Item c = nullptr;
  EXPECT_EQ(BEE_CmdNewComp(nullptr, &s, &c), 0);
  return c;
}
// A new solid layer "S" of w x h in the colour (0xAARRGGBB).
inline BEE_Layer MakeSolid(BEE_Item comp, uint32_t colour, int w, int h) {
  BEE_SolidSettings s = Solid("S", colour, static_cast<uint16_t>(w), static_cast<uint16_t>(h));
  BEE_Layer l = nullptr;
  EXPECT_EQ(BEE_CmdNewSolidLayer(comp, &s, &l), 0);
  return l;
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
    specs_.Clear();
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
  // What the packages below keep from first use until they die (effect
  // class templates, shape kinds, the files' tables) is made once by
  // warm(), before the leak counts are taken again.
  void Warm(const std::function<void()>& warm) {
    warm();
    specs_.Clear();
    Recount();
  }
  // A spec of the folder's file `name`, disposed when the test ends.
  FILE_SpecH Spec(const std::string& name) { return specs_.New(dir.P(name)); }
  void Born(ErrorCode err) {
    ASSERT_EQ(err, 0);
    born_ = true;
  }

  // Runs make() outside the live counts: for what a package keeps from first
  // use until it dies (an effect class's parameter template).
  template <class F>
  void Uncounted(F make) {
    int32_t lists0 = 0, lists1 = 0;
    LISTp_GetLiveCount(&lists0);
    const int64_t handles0 = EMUL_LiveHandleCount(), ptrs0 = EMUL_LivePtrCount();
    make();
    LISTp_GetLiveCount(&lists1);
    liveLists_ += lists1 - lists0;
    liveHandles_ += EMUL_LiveHandleCount() - handles0;
    livePtrs_ += EMUL_LivePtrCount() - ptrs0;
  }
  static int16_t Class(const char* match) {
    int16_t index = 0;
    Boolean32 found = 0;
    EXPECT_EQ(FLTp_FindClass(match, &index, &found), 0);
    return index;
  }
  // Makes the classes' parameter templates (a sequence of each, dropped)
  // outside the live counts.
  void WarmClasses(std::initializer_list<int16_t> classes) {
    Uncounted([&] {
      for (int16_t cls : classes) {
        FLT_Sequence s = nullptr;
        uint32_t flags = 0;
        Boolean32 found = 0;
        ASSERT_EQ(FLT_NewSequence(cls, nullptr, 0, nullptr, &flags, &s, &found), 0);
        ASSERT_EQ(FLT_DisposeSequence(s), 0);
      }
    });
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

  tv::test::TempDir dir{"bee"};
  tv::test::Specs specs_;
  bool born_ = false;
  int32_t liveLists_ = 0;
  int64_t liveHandles_ = 0;
  int64_t livePtrs_ = 0;
};

// The engine reading footage through the placeholder and the test frame
// (TSF) modules, with a folder for files.
class PinFixture : public tv::test::UFixture {
 protected:
  static constexpr tv::pin::Driver kDrivers[] = {{"Placeholder", tv::pin::PlaceholderBirth},
                                                 {"Test Frames", tv::test::pin::TsfBirth}};
  PinFixture() : UFixture({PIN_PackageNumber, BEE_PackageNumber}) { tv::pin::SetDriversForTesting(kDrivers); }
  ~PinFixture() override { tv::pin::SetDriversForTesting({}); }
  void TearDown() override {
    specs_.Clear();
    UFixture::TearDown();
  }
  // A spec of the folder's file `name`, disposed when the test ends.
  FILE_SpecH Spec(const std::string& name) { return specs_.New(dir.P(name)); }
  PIN_SeqSpecH Seq(const std::string& name, uint32_t options = 0) {
    return GOT(PIN_SeqSpecH, PIN_NewSeqSpecFromFileOptions, Spec(name), options);
  }
  bool Reported(const std::string& text) const {
    for (const auto& r : rec.reports)
      if (r.text.find(text) != std::string::npos) return true;
    return false;
  }
  tv::test::TempDir dir{"bee-footage"};
  tv::test::Specs specs_;
};

// A composition holding layers of one 640 x 480 footage clip lasting 4 s:
// a, and b above it when the fixture has two.
class ClipFixture : public BeeFixture {
 protected:
  explicit ClipFixture(int layers = 2) : layers_(layers) {}
  void SetUp() override {
    BeeFixture::SetUp();
    comp = NewComp();
    BEE_FootageDesc d = Footage("clip", 640, 480, Time{4, 1});
    ASSERT_EQ(BEEp_MakeFootageItem(nullptr, &d, &clip), 0);
    ASSERT_EQ(BEE_CmdNewLayer(comp, clip, &a), 0);
    if (layers_ > 1) {
      ASSERT_EQ(BEE_CmdNewLayer(comp, clip, &b), 0);
    }
    rec.clear();
  }
  // A 10 x 10 rectangle mask (8 vertices).
  void AddMask(BEE_Layer layer) { AddShapeMask(layer, OM_TypeRect, FixedRect{0, 0, 10 << 16, 10 << 16}); }
  // A stream's value in user units at layer time t.
  std::vector<double> Value(BEE_Layer layer, int32_t index, Time t = Time{0, 1}) {
    BEE_StreamValue v{};
    EXPECT_EQ(BEE_GetStreamFPV(layer, index, nullptr, &t, &v), 0);
    return std::vector<double>(v.values, v.values + v.count);
  }
  // Sets a stream's value in user units at layer time t; with vary, the
  // stream is made to vary (a key at 0) first.
  ErrorCode SetValue(BEE_Layer layer, int32_t index, Time t, std::vector<double> values, bool vary = false) {
    const Time t0{0, 1};
    if (vary) {
      if (ErrorCode err = BEE_CmdSetStreamVary(layer, index, &t0, 1)) return err;
    }
    BEE_StreamValue v{};
    for (size_t i = 0; i < values.size(); ++i) v.values[i] = values[i];
    return BEE_CmdSetStreamFPV(layer, index, nullptr, &t, &v);
  }

  BEE_Item comp = nullptr, clip = nullptr;
  BEE_Layer a = nullptr, b = nullptr;

 private:
  int layers_;
};

}  // namespace tv::bee::test
