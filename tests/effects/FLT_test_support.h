// Shared by the FLT tests: a fixture that births FLT, worlds filled with
// known pixels, test effect classes and small helpers.
#pragma once

#include <gmock/gmock.h>

#include <cstring>
#include <random>
#include <vector>

#include "BM.h"
#include "FLT.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::test {

class FLTFixture : public UFixture {
 protected:
  FLTFixture() : UFixture({FLT_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    rec.clear();
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
  FLT_Sequence NewSeq(int16_t cls) {
    FLT_Sequence s = nullptr;
    uint32_t out = 0;
    Boolean32 found = 0;
    EXPECT_EQ(FLT_NewSequence(cls, nullptr, 0, nullptr, &out, &s, &found), 0);
    return s;
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
};

// A 32-bit world of w x h with pseudo-random pixels (seeded).
inline BM_World NewWorld(int32_t w, int32_t h, uint32_t seed = 0) {
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

// Renders a Parade over input into a new world of the same size.
inline ErrorCode Render(FLT_Parade p, BM_World input, BM_World output, int32_t w, int32_t h) {
  FLT_FrameParade fp = nullptr;
  if (ErrorCode err = FLT_NewFrameParade(p, w, h, 1, &fp)) return err;
  ErrorCode err = FLT_RenderFrParade(fp, 0, input, output);
  if (ErrorCode e2 = FLT_DisposeFrParade(fp); !err) err = e2;
  return err;
}

}  // namespace tv::test
