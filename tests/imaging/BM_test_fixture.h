// Shared fixture of the bitmap-world tests: births U and BM, checks that
// every World made by a test is disposed, and small helpers.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "BM.h"
#include "Platform.h"
#include "TestSupport.h"

namespace tv::test {

// {width, height, depth, row bytes} of a World.
using BMInfo = std::array<int32_t, 4>;

class BMTest : public UFixture {
 protected:
  BMTest() : UFixture({BM_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    baseWorlds = BMp_LiveWorldCount();
    rec.clear();
  }
  void TearDown() override {
    EXPECT_EQ(BMp_LiveWorldCount(), baseWorlds) << "Worlds leaked";
    BM_Death();
    EXPECT_EQ(BMp_LiveWorldCount(), 0) << "device Worlds leaked";
    BMp_RemoveVirtualScreens();
    platform::ResetMainScreen();
    UFixture::TearDown();
  }

  // Re-births BM with the main screen's colour and 32-bit services as given.
  void Rebirth(bool colour, bool deep) {
    ASSERT_EQ(BM_Death(), 0);
    platform::Screen s = platform::MainScreen();
    s.color = colour;
    s.deep = deep;
    platform::SetMainScreen(s);
    ASSERT_EQ(BM_Birth(0), 0);
    baseWorlds = BMp_LiveWorldCount();
  }

  static Rect R(int top, int left, int bottom, int right) {
    return Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                static_cast<int16_t>(right)};
  }

  BM_World New(int width, int height, int depth = 32, uint32_t flags = BM_Flag_KeepLocal) {
    Rect b = R(0, 0, height, width);
    BM_World w = nullptr;
    EXPECT_EQ(BM_NewWorld(nullptr, flags, &b, depth, 0, nullptr, &w), 0);
    return w;
  }

  // The last report, which must exist.
  const Report& Last() {
    static Report none{};
    return rec.reports.empty() ? none : rec.reports.back();
  }
  static ErrorCode LastCode() { return tv::test::LastCode(); }

  // A sub-World sharing the parent's pixels and device.
  BM_World Sub(BM_World parent, Rect b, int depth = 0) {
    BM_World w = nullptr;
    EXPECT_EQ(BM_NewWorld(parent, 3, &b, depth, 0, nullptr, &w), 0);
    return w;
  }

  template <class... W>
  static void Dispose(W... worlds) {
    for (BM_World w : {static_cast<BM_World>(worlds)...}) EXPECT_EQ(BM_DisposeWorld(w), 0);
  }

  static BMInfo InfoOf(BM_World w) {
    BMInfo i{-1, -1, -1, -1};
    EXPECT_EQ(BM_GetWorldInfo(w, &i[0], &i[1], &i[2], &i[3]), 0);
    return i;
  }
  static int32_t RowBytes(BM_World w) { return InfoOf(w)[3]; }

  static int32_t State(BM_World w) {
    int32_t s = -1;
    EXPECT_EQ(BM_GetPixelsState(w, &s), 0);
    return s;
  }

  // Load-locks (mode 1) and returns {was purged, reloaded}.
  static std::pair<Boolean32, Boolean32> LoadLock(BM_World w, int32_t mode = 1) {
    Boolean32 wasPurged = -1, reloaded = -1;
    EXPECT_EQ(BM_LoadLockPixels(mode, w, &wasPurged, &reloaded), 0);
    return {wasPurged, reloaded};
  }

  // A World's colour table, and the system's of a depth, as 0xRRGGBB00 entries.
  static std::vector<uint32_t> TableOf(BM_World w) {
    BM_Lut lut{};
    EXPECT_EQ(BM_GetLut(w, &lut), 0);
    return {lut.entries, lut.entries + lut.count};
  }
  static std::vector<uint32_t> SystemTable(int depth) {
    BM_Lut lut{};
    EXPECT_EQ(BM_GetSystemLut(depth, &lut), 0);
    return {lut.entries, lut.entries + lut.count};
  }

  // The procedures of blit level 1.
  static BM_BlitProcs Procs() {
    BM_BlitProcs procs{};
    EXPECT_EQ(BMp_GetBlitProcs(&procs), 0);
    return procs;
  }

  // A pixel value through the blit-level procedure.
  static uint32_t Read(BM_World w, int h, int v) {
    uint32_t c = 0xDEADBEEF;
    EXPECT_EQ(Procs().readPixel(w, h, v, &c), 0);
    return c;
  }

  // Pointer to pixel (h, v) of a locked 32-bit World, in its bounds coordinates.
  static uint8_t* Px(BM_World w, int h, int v) {
    Rect b;
    BM_GetWorldBounds(w, &b);
    int32_t rb = 0;
    BM_GetWorldInfo(w, nullptr, nullptr, nullptr, &rb);
    return reinterpret_cast<uint8_t*>(BMp_GetPixBaseAddr(w)) + static_cast<ptrdiff_t>(v - b.top) * rb +
           static_cast<ptrdiff_t>(h - b.left) * 4;
  }

  // The four bytes of pixel (h, v) of a 32-bit World, read under a lock.
  static std::array<uint8_t, 4> Bytes(BM_World w, int h, int v) {
    std::array<uint8_t, 4> b{};
    EXPECT_EQ(BM_LockPixels(0, w, nullptr), 0);
    std::memcpy(b.data(), Px(w, h, v), 4);
    EXPECT_EQ(BM_UnlockPixels(w), 0);
    return b;
  }
  using Px4 = std::array<uint8_t, 4>;

  int32_t baseWorlds = 0;
};

}  // namespace tv::test
