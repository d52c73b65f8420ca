// Shared fixture of the bitmap-world tests: births U and BM, checks that
// every World made by a test is disposed, and small helpers.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BM.h"
#include "Platform.h"
#include "TestSupport.h"

namespace tv::test {

class BMTest : public UFixture {
 protected:
  void SetUp() override {
    UFixture::SetUp();
    ASSERT_EQ(BM_Birth(0), 0);
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
  ErrorCode LastCode() {
    ErrorCode code = 0;
    U_GetLastError(nullptr, nullptr, nullptr, &code);
    return code;
  }

  int32_t RowBytes(BM_World w) {
    int32_t rb = 0;
    BM_GetWorldInfo(w, nullptr, nullptr, nullptr, &rb);
    return rb;
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

  int32_t baseWorlds = 0;
};

}  // namespace tv::test
