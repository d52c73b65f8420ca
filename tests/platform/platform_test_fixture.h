// Shared fixture of the memory manager tests: remembers the live handle and
// pointer counts, and puts every injected figure, hook and setting back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "../io/io_test_out.h"
#include "Memory.h"
#include "Prefs.h"

namespace tv::test {

// Replaces the file at path with text.
inline void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EMUL_GetMemoryStats(&base);
    checks = EMUL_SetMemoryChecks(0);
    EMUL_SetMemoryChecks(checks);
  }
  void TearDown() override {
    EMUL_StopAllocationFailures();
    SetGrowZone(nullptr);
    EMUL_SetProcessMemoryProbeForTesting(nullptr);
    EMUL_SetPhysicalMemoryForTesting(0);
    EMUL_SetCgroupRootForTesting(nullptr);
    EMUL_SetMemoryBudget(0);
    EMUL_SetMemoryChecks(checks);
    EMUL_SetTVPrefsFile(nullptr);
    EMUL_ReloadMemorySettings();
    EXPECT_EQ(EMUL_LiveHandleCount(), base.liveHandles) << "handles leaked";
    EXPECT_EQ(EMUL_LivePtrCount(), base.livePtrs) << "pointer blocks leaked";
  }
  EMUL_MemoryStats Stats() {
    EMUL_MemoryStats s;
    EMUL_GetMemoryStats(&s);
    return s;
  }
  // A fresh, empty preferences file for this test.
  std::string UsePrefsFile() {
    // The process number keeps test runs that share the temporary folder apart.
    std::string path = ::testing::TempDir() + "tavelo_prefs_" + std::to_string(::getpid()) + "_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
    std::remove(path.c_str());
    EMUL_SetTVPrefsFile(path.c_str());
    EMUL_ReloadMemorySettings();
    return path;
  }
  static void Fill(Handle h, uint8_t seed) {
    for (Size i = 0; i < GetHandleSize(h); ++i) (*h)[i] = static_cast<char>(seed + i * 7);
  }
  static bool Holds(Handle h, uint8_t seed, Size n) {
    if (GetHandleSize(h) < n) return false;
    for (Size i = 0; i < n; ++i)
      if ((*h)[i] != static_cast<char>(seed + i * 7)) return false;
    return true;
  }

  EMUL_MemoryStats base{};
  Boolean32 checks = 0;
};

}  // namespace tv::test
