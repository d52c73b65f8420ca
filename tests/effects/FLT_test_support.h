// Shared by the FLT tests: a fixture that births FLT, worlds filled with
// known pixels, test effect classes and small helpers.
#pragma once

#include <gmock/gmock.h>

#include <cstring>
#include <random>
#include <vector>

#include "BM.h"
#include "FLT.h"
#include "SND.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::test {

inline BM_World NewWorld(int32_t w, int32_t h, uint32_t seed = 0);
inline std::vector<uint8_t> Pixels(BM_World world);
inline ErrorCode Render(FLT_Parade p, BM_World input, BM_World output, int32_t w, int32_t h);

// An effect that declares its input layer alone and does nothing.
inline PF_Result NopEntry(int32_t cmd, PF_InputRecord*, PF_OutputRecord* out, PF_ParamDef**, PFWorld*,
                          void*) {
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  return 0;
}

// A layer clock for Parades: the layer at `time` in 600ths, frames of 20.
struct Clock {
  int32_t time = 0;
  static ErrorCode Info(void* refcon, FLT_Parade, FLT_LayerInfo* info) {
    info->time = static_cast<Clock*>(refcon)->time;
    info->timeScale = 600;
    info->timeStep = 20;
    return 0;
  }
};

// The host side of layer parameters (installed as FLT procs 2 and 3): one
// world, and what was asked of it.
struct LayerHost {
  explicit LayerHost(BM_World w) : world(w) {}
  BM_World world = nullptr;
  uint32_t ref = 0, companion = 0;
  std::vector<int32_t> times;
  int checkins = 0;
  static inline LayerHost* current = nullptr;
  static ErrorCode Checkout(uint32_t ref, uint32_t companion, int32_t time, int32_t, uint32_t, PFWorld* world) {
    current->times.push_back(time);
    current->ref = ref;
    current->companion = companion;
    Boolean32 failed = 0;
    BM_LockPixels(0, current->world, &failed);
    return PF_MakeBMIntoPF(current->world, nullptr, world);
  }
  static ErrorCode Checkin(uint32_t ref, uint32_t companion) {
    ++current->checkins;
    BM_UnlockPixels(current->world);
    return ref == current->ref && companion == current->companion ? 0 : 3;
  }
  void Install() {
    current = this;
    EXPECT_EQ(FLT_InstallProcs(2, reinterpret_cast<FLT_HostProc>(Checkout)), 0);
    EXPECT_EQ(FLT_InstallProcs(3, reinterpret_cast<FLT_HostProc>(Checkin)), 0);
  }
  ~LayerHost() {
    if (current != this) return;
    FLT_InstallProcs(2, nullptr);
    FLT_InstallProcs(3, nullptr);
    current = nullptr;
  }
};

class FLTFixture : public UFixture {
 protected:
  static constexpr int32_t kW = 37, kH = 23;
  FLTFixture() : UFixture({FLT_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    rec.clear();
  }
  void TearDown() override {
    DisposeKept();
    UFixture::TearDown();
  }
  void DisposeKept() {
    for (FLT_Parade p : parades_) FLT_DisposeParade(p);
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    for (SND_World s : sounds_) SND_DisposeWorld(s);
    parades_.clear(), worlds_.clear(), sounds_.clear();
  }
  // Worlds, Parades and sounds disposed at the end of the test.
  BM_World World(uint32_t seed = 0, int32_t w = kW, int32_t h = kH) {
    worlds_.push_back(NewWorld(w, h, seed));
    return worlds_.back();
  }
  // The pixels of a Parade rendered over input into a new world of w x h.
  std::vector<uint8_t> Rendered(FLT_Parade p, BM_World input, int32_t w = kW, int32_t h = kH) {
    BM_World out = World(0, w, h);
    EXPECT_EQ(Render(p, input, out, w, h), 0);
    return Pixels(out);
  }
  FLT_Parade Keep(FLT_Parade p) {
    parades_.push_back(p);
    return p;
  }
  // A sound of `frames` 16-bit frames in format f (none: an empty world),
  // sample i being fill(i).
  SND_World Sound(const SND_Format* f = nullptr, int64_t frames = 0, int16_t (*fill)(int) = nullptr) {
    SND_World w = nullptr;
    EXPECT_EQ(SND_NewWorld(f, nullptr, &w), 0);
    sounds_.push_back(w);
    if (frames) {
      void* samples = nullptr;
      EXPECT_EQ(SND_SizeAndLockBuffer(frames, 0, w, &samples), 0);
      for (int i = 0; fill && i < frames * f->channels; ++i) static_cast<int16_t*>(samples)[i] = fill(i);
      SND_UnlockBuffer(w);
    }
    return w;
  }
  // The first n samples of a sound, of type T.
  template <class T>
  static std::vector<T> Samples(SND_World w, int n) {
    void* samples = nullptr;
    EXPECT_EQ(SND_LockBuffer(0, w), 0);
    SNDp_GetBuffer(w, &samples);
    std::vector<T> v(static_cast<T*>(samples), static_cast<T*>(samples) + n);
    SND_UnlockBuffer(w);
    return v;
  }
  static int32_t Encoding(SND_World w) {
    SND_WorldInfo info{};
    EXPECT_EQ(SNDp_GetWorldInfo(w, &info), 0);
    return info.format.encoding;
  }
  // How many reports hold the text.
  int Reports(const std::string& text) const {
    int n = 0;
    for (const Report& r : rec.reports) n += r.text.find(text) != std::string::npos;
    return n;
  }

  int16_t Class(const char* match) {
    int16_t index = 0;
    Boolean32 found = 0;
    EXPECT_EQ(FLTp_FindClass(match, &index, &found), 0);
    EXPECT_TRUE(found) << match;
    return index;
  }
  int16_t Register(const char* match, uint32_t outFlags, PF_EntryFunc entry, uint32_t spec = 0xC0000) {
    FLT_StaticClass c{match, match, "Test", outFlags, 0x10000, spec, entry};
    int16_t index = 0;
    EXPECT_EQ(FLTp_RegisterStaticClass(&c, &index), 0);
    return index;
  }
  // FLT_NewSequence of a class, with the host's reference and layer procedure.
  static ErrorCode TryNewSeq(int16_t cls, FLT_Sequence* s, uintptr_t host = 0,
                             FLT_LayerInitFunc init = nullptr, Boolean32* found = nullptr) {
    uint32_t out = 0;
    Boolean32 f = 0;
    return FLT_NewSequence(cls, nullptr, host, init, &out, s, found ? found : &f);
  }
  FLT_Sequence NewSeq(int16_t cls) {
    FLT_Sequence s = nullptr;
    EXPECT_EQ(TryNewSeq(cls, &s), 0);
    return s;
  }
  // Item i of a Parade, and how many items it holds.
  static FLT_Sequence SeqOf(FLT_Parade p, int32_t i) {
    FLT_Sequence s = nullptr;
    EXPECT_EQ(FLT_GetParadeSeq(p, i, &s), 0);
    return s;
  }
  static int32_t Items(FLT_Parade p) {
    int32_t n = -1;
    EXPECT_EQ(FLT_InqParadeNumSeqs(p, &n), 0);
    return n;
  }
  // A Parade of new Sequences of the given classes, all on.
  FLT_Parade NewParade(std::initializer_list<int16_t> classes) {
    FLT_Parade p = nullptr;
    EXPECT_EQ(FLT_NewParade(nullptr, nullptr, &p), 0);
    for (int16_t c : classes) EXPECT_EQ(FLT_InsertSeqParade(p, NewSeq(c), -1), 0);
    return p;
  }
  // Sets parameter index of a Sequence to a constant value.
  void SetConstant(FLT_Sequence s, int32_t index, std::initializer_list<double> v) {
    Handle stream = nullptr;
    ASSERT_EQ(FLT_SeqInqParamStream(s, index, &stream), 0);
    std::vector<double> values(v);
    ASSERT_EQ(TDB_InsertKeyF(reinterpret_cast<TDB_Stream>(stream), nullptr, 0, 1, values.data(), 1, 1), 0);
  }
  // Keys values at the times of a Sequence's parameter (its constant set aside).
  void Animate(FLT_Sequence s, int32_t index, std::initializer_list<std::pair<int32_t, std::vector<double>>> keys) {
    Handle stream = nullptr;
    ASSERT_EQ(FLT_SeqInqParamStream(s, index, &stream), 0);
    auto st = reinterpret_cast<TDB_Stream>(stream);
    ASSERT_EQ(TDB_SetConstant(st, 0, nullptr, 0), 0);
    for (const auto& [time, v] : keys) ASSERT_EQ(TDB_InsertKeyF(st, nullptr, time, 1, v.data(), 1, 1), 0);
  }

 private:
  std::vector<FLT_Parade> parades_;
  std::vector<BM_World> worlds_;
  std::vector<SND_World> sounds_;
};

// A 32-bit world of w x h with pseudo-random pixels (seeded).
inline BM_World NewWorld(int32_t w, int32_t h, uint32_t seed) {
  BM_World world = nullptr;
  const Rect r{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
  EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_KeepLocal | BM_Flag_Clear, &r, 32, 0, nullptr, &world), 0);
  if (seed) {
    std::mt19937 gen(seed);
    Boolean32 failed = 0;
    BM_LockPixels(0, world, &failed);
    int32_t ww = 0, hh = 0, depth = 0, rowBytes = 0;
    BM_GetWorldInfo(world, &ww, &hh, &depth, &rowBytes);
    char* base = BMp_GetPixBaseAddr(world);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < 4 * w; ++x) base[y * rowBytes + x] = static_cast<char>(gen() & 0xFF);
    BM_UnlockPixels(world);
  }
  return world;
}

// The pixel bytes of a world, row by row without padding.
inline std::vector<uint8_t> Pixels(BM_World world) {
  int32_t w = 0, h = 0, depth = 0, rowBytes = 0;
  BM_GetWorldInfo(world, &w, &h, &depth, &rowBytes);
  Boolean32 failed = 0;
  BM_LockPixels(0, world, &failed);
  const char* base = BMp_GetPixBaseAddr(world);
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < h; ++y)
    out.insert(out.end(), base + static_cast<size_t>(y) * rowBytes, base + static_cast<size_t>(y) * rowBytes + 4 * w);
  BM_UnlockPixels(world);
  return out;
}

// Renders a Parade's audio over input into output through a new audio Parade.
inline ErrorCode RenderAudio(FLT_Parade p, SND_World input, SND_World output) {
  FLT_AudioParade ap = nullptr;
  if (ErrorCode err = FLT_NewAudioParade(p, &ap)) return err;
  ErrorCode err = FLT_RenderAudioParade(ap, 1, input, output);
  if (ErrorCode e2 = FLT_DisposeAudioParade(ap); !err) err = e2;
  return err;
}

// Renders a Parade over input into a new world of the same size.
inline ErrorCode Render(FLT_Parade p, BM_World input, BM_World output, int32_t w, int32_t h) {
  FLT_FrameParade fp = nullptr;
  if (ErrorCode err = FLT_NewFrameParade(p, w, h, 1, &fp)) return err;
  ErrorCode err = FLT_RenderFrParade(fp, 0, input, output);
  if (ErrorCode e2 = FLT_DisposeFrParade(fp); !err) err = e2;
  return err;
}

}  // namespace tv::test
