// The suite system: the standard suites, lookup by name and version,
// iteration, messages, the host procedures and the suite search.
#include "Memory.h"
#include "PLUG_test_support.h"

namespace tv::test {
namespace {

class PLUGSuites : public PLUGFixture {};

TEST_F(PLUGSuites, StandardSuitesAreListedInOrderAndFoundByVersion) {
  PLUG_SuiteListIterator it = nullptr;
  ASSERT_EQ(PLUG_NewBRSuiteListIterator(&it), 0);
  std::vector<std::string> listed;
  char name[PLUG_MaxSuiteName + 1];
  int32_t major = 0, minor = 0;
  Boolean32 more = 0;
  while (PLUG_NextBRSuite(it, name, &major, &minor, &more) == 0 && more) {
    listed.push_back(std::string(name) + " " + std::to_string(major) + "." + std::to_string(minor));
  }
  PLUG_DeleteBRSuiteListIterator(it);
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "BR Access Suite 3.1", "BR Adapters Suite 3.1", "BR Basic Suite 4.1", "BR Blocks Suite 2.1",
                        "BR Block Debug Suite 2.1", "BR Caches Suite 2.1", "BR Files Suite 3.1",
                        "BR Interface Suite 2.1", "BR Plug-ins Suite 4.1", "BR Properties Suite 2.1",
                        "BR Runtime Suite 5.1", "BR Strings Suite 2.1", "BR Suites Suite 2.1"}));

  static const int32_t table[2] = {7, 8};
  ASSERT_EQ(PLUG_AddBRSuite(0, 0, "SMPL Demo Suite", 1, 1, table), 0);
  EXPECT_EQ(PLUG_AddBRSuite(0, 0, "SMPL Demo Suite", 1, 2, table), PLUG_ErrBramblet);
  const PLUG_BasicSuite* basic = nullptr;
  ASSERT_EQ(PLUG_GetBRBasicSuite(&basic), 0);
  const void* found = nullptr;
  EXPECT_EQ(basic->acquireSuite("SMPL Demo Suite", 1, &found), 0);
  EXPECT_EQ(found, table);
  EXPECT_EQ(basic->releaseSuite("SMPL Demo Suite", 1), 0);
  rec.clear();
  EXPECT_EQ(PLUG_GetBRSuiteProcs("SMPL Demo Suite", 2, 0, &found), PLUG_ErrBramblet);  // wrong major
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(PLUG_GetBRSuiteProcs("SMPL Demo Suite", 1, 2, &found), PLUG_ErrBramblet);  // minor too low
  EXPECT_EQ(rec.reports.size(), 2u);
  EXPECT_EQ(rec.last().text, "Test error: bramblet failure (1).");
}

TEST_F(PLUGSuites, BlocksAndHostProceduresUseTheMemoryManager) {
  const PLUG_BasicSuite* basic = nullptr;
  ASSERT_EQ(PLUG_GetBRBasicSuite(&basic), 0);
  void* block = nullptr;
  ASSERT_EQ(basic->allocateBlock(8, &block), 0);
  std::memcpy(block, "abcdefg", 8);
  void* moved = nullptr;
  ASSERT_EQ(basic->reallocateBlock(block, 64, &moved), 0);
  EXPECT_STREQ(static_cast<char*>(moved), "abcdefg");
  EXPECT_EQ(basic->freeBlock(moved), 0);
  PLUG_SuiteProc procs[PLUG_HostProcCount] = {};
  ASSERT_EQ(PLUG_GetBRHostProcs(procs), 0);
  auto alloc = reinterpret_cast<void* (*)(size_t)>(reinterpret_cast<void (*)(void)>(procs[0]));
  auto release = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void (*)(void)>(procs[2]));
  void* p = alloc(16);
  ASSERT_NE(p, nullptr);
  release(p);
  EXPECT_EQ(basic->undefined(), kErrUnimplemented);  // a slot with nothing behind it says so
}

ErrorCode DemoPlugin(const char* caller, const char* selector, PLUG_BRMessage* m) {
  static const int32_t table[1] = {42};
  if (std::string(caller) != "BR Interface") return 9;
  if (std::string(selector) == "Startup") return PLUG_AddBRSuite(0, 0, "SMPL Sent Suite", 1, 1, table);
  m->data = const_cast<int32_t*>(table);
  return 0;
}

TEST_F(PLUGSuites, MessagesAndTheSuiteSearch) {
  PLUG_Routine r = nullptr;
  ASSERT_EQ(PLUG_RegisterStaticRoutine(nullptr, 0, reinterpret_cast<void*>(DemoPlugin), nullptr, &r), 0);
  PLUG_BRMessage m{};
  ErrorCode result = -1;
  ASSERT_EQ(PLUG_SendBRMessage(r, "BR Interface", "Other", &m, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_NE(m.data, nullptr);
  ASSERT_EQ(PLUG_SendBRMessage(r, "Elsewhere", "Other", &m, &result), 0);
  EXPECT_EQ(result, 9);
  uint32_t flags = 0;
  PLUG_GetRoutineFlags(r, &flags);
  EXPECT_EQ(flags, unsigned(PLUG_Flag_Static));  // released after each message

  TempDir dir;
  FILE_SpecH folder = Ref(dir.path());
  ASSERT_EQ(PLUG_SearchBR(folder, nullptr, nullptr, nullptr), 0);
  const void* procs = nullptr;
  EXPECT_EQ(PLUG_GetBRSuiteProcs("KDM Host Init Suite", 1, 1, &procs), 0);
  EXPECT_EQ(PLUG_SearchBR(folder, nullptr, nullptr, nullptr), kErrBirth);
  ASSERT_EQ(PLUG_UnsearchBR(), 0);
  rec.clear();
  EXPECT_EQ(PLUG_GetBRSuiteProcs("KDM Host Init Suite", 1, 1, &procs), PLUG_ErrBramblet);
}

}  // namespace
}  // namespace tv::test
