// The standard suites listed in order and their functions, the host
// procedures, the suite plug-ins started from a folder (one of the current
// interface, one through the "Bramblet 2 Adapter") and the plug-ins'
// resource access.
#include <filesystem>

#include "Memory.h"
#include "PLUG_test_support.h"
#include "Platform.h"

namespace tv::test {
namespace {

class PLUGStd : public PLUGFixture {
 protected:
  template <class T>
  const T* Suite(const char* name, int32_t major) {
    const void* procs = nullptr;
    EXPECT_EQ(PLUG_GetBRSuiteProcs(name, major, 1, &procs), 0) << name;
    return static_cast<const T*>(procs);
  }
};

TEST_F(PLUGStd, StandardSuitesAreListedInOrder) {
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
}

TEST_F(PLUGStd, BlocksAreCountedCheckedAndRefusedWhenNotOurs) {
  auto* blocks = Suite<PLUG_BlocksSuite>("BR Blocks Suite", 2);
  auto* debug = Suite<PLUG_BlockDebugSuite>("BR Block Debug Suite", 2);
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(blocks->allocateBlock(8, &a), 0);
  ASSERT_EQ(blocks->allocateBlock(16, &b), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
  std::memcpy(a, "1234567", 8);
  int32_t count = 0;
  uint64_t bytes = 0;
  debug->countBlocks(&count);
  debug->bytesInUse(&bytes);
  EXPECT_EQ(std::make_pair(count, bytes), std::make_pair(2, uint64_t{24}));
  void* moved = nullptr;
  ASSERT_EQ(blocks->reallocateBlock(a, 100, &moved), 0);
  EXPECT_STREQ(static_cast<char*>(moved), "1234567");
  void* nth = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(debug->getNthBlock(1, &nth, &size), 0);  // the moved block is the newest
  EXPECT_EQ(std::make_pair(nth, size), std::make_pair(moved, 100u));
  EXPECT_EQ(blocks->getBlockSize(b, &size), 0);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(debug->checkBlock(b), 0);
  ASSERT_EQ(blocks->freeBlock(b), 0);
  rec.clear();
  uint64_t notOurs[4] = {1, 2, 3, 4};
  EXPECT_EQ(blocks->freeBlock(b), kErrDamaged);  // twice
  EXPECT_EQ(debug->checkBlock(&notOurs[2]), kErrDamaged);
  void* none = &count;
  EXPECT_EQ(blocks->reallocateBlock(&notOurs[2], 4, &none), kErrDamaged);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(notOurs[0] + notOurs[1], 3u);  // never written through
  ASSERT_EQ(rec.reports.size(), 3u);
  EXPECT_EQ(rec.last().location, Location(PLUG_PackageNumber, 0x40));
  EXPECT_EQ(debug->getNthBlock(1, &nth, &size), PLUG_ErrBramblet);
  EXPECT_EQ(blocks->freeBlock(moved), 0);
  debug->countBlocks(&count);
  EXPECT_EQ(count, 0);
}

int64_t Flush(void* refcon) {
  auto* calls = static_cast<std::vector<int>*>(refcon);
  calls->push_back(static_cast<int>(calls->size()));
  return 1000;
}
int64_t FlushNothing(void*) { return -5; }

TEST_F(PLUGStd, StringsCachesRuntimeAndSuitesSuite) {
  auto* strings = Suite<PLUG_StringsSuite>("BR Strings Suite", 2);
  const char *p = nullptr, *q = nullptr;
  std::string text = "shared";
  ASSERT_EQ(strings->addString(text.c_str(), &p), 0);
  ASSERT_EQ(strings->addString("shared", &q), 0);
  EXPECT_EQ(p, q);
  EXPECT_NE(p, text.c_str());
  int32_t count = 0;
  strings->countStrings(&count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(strings->findString("other", &q), PLUG_ErrBramblet);
  EXPECT_EQ(q, nullptr);

  auto* caches = Suite<PLUG_CachesSuite>("BR Caches Suite", 2);
  std::vector<int> calls;
  ASSERT_EQ(caches->addFlusher(Flush, &calls), 0);
  ASSERT_EQ(caches->addFlusher(FlushNothing, nullptr), 0);
  int64_t freed = 0;
  ASSERT_EQ(caches->flushCaches(&freed), 0);
  EXPECT_EQ(freed, 1000);  // a negative answer counts as nothing
  EXPECT_EQ(caches->removeFlusher(Flush, &calls), 0);
  EXPECT_EQ(caches->removeFlusher(Flush, &calls), PLUG_ErrBramblet);
  caches->flushCaches(&freed);
  EXPECT_EQ(calls.size(), 1u);

  auto* runtime = Suite<PLUG_RuntimeSuite>("BR Runtime Suite", 5);
  platform::SetTickSource([] { return 4242u; });
  uint32_t ticks = 0, version = 0;
  runtime->getTicks(&ticks);
  platform::SetTickSource(nullptr);
  runtime->getRuntimeVersion(&version);
  EXPECT_EQ(std::make_pair(ticks, version), std::make_pair(4242u, PLUG_PkgObjectVersion()));
  char host[8] = "x";
  EXPECT_EQ(runtime->getHostString(host, sizeof host), 0);
  EXPECT_STREQ(host, "");  // born without one
  uintptr_t value = 1;
  EXPECT_EQ(runtime->getHostValue(4, &value), kErrBadParam);
  rec.clear();
  EXPECT_EQ(runtime->reportError(-43, "the plug-in's own words."), -43);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().text, "Test error: the plug-in's own words -- file not found (-43).");
  EXPECT_EQ(runtime->reportError(12, "%s%s%n"), 12);  // shown as it is, never formatted
  EXPECT_NE(rec.last().text.find("%s%s%n"), std::string::npos) << rec.last().text;

  auto* suites = Suite<PLUG_SuitesSuite>("BR Suites Suite", 2);
  static const int32_t table[1] = {5};
  ASSERT_EQ(suites->addSuite("SMPL Counted Suite", 1, 3, table), 0);
  const void* procs = nullptr;
  EXPECT_EQ(suites->acquireSuite("SMPL Counted Suite", 1, 4, &procs), PLUG_ErrBramblet);  // minor 3 < 4
  ASSERT_EQ(suites->acquireSuite("SMPL Counted Suite", 1, 2, &procs), 0);
  EXPECT_EQ(procs, table);
  suites->countSuites(&count);
  EXPECT_EQ(count, 14);
  char name[PLUG_MaxSuiteName + 1];
  int32_t major = 0, minor = 0;
  ASSERT_EQ(suites->getNthSuite(13, name, &major, &minor), 0);
  EXPECT_EQ(std::make_pair(std::string(name), minor), std::make_pair(std::string("SMPL Counted Suite"), 3));
  EXPECT_EQ(suites->removeSuite("BR Basic Suite", 4), PLUG_ErrBramblet);  // the host's own stays
  ASSERT_EQ(suites->releaseSuite("SMPL Counted Suite", 1), 0);
  EXPECT_EQ(suites->releaseSuite("SMPL Counted Suite", 1), PLUG_ErrBramblet);  // unbalanced
}

ErrorCode OddEntry(const char*, const char*, PLUG_BRMessage*) { return 0; }

TEST_F(PLUGStd, APlugInOfAnInterfaceNoAdapterTranslatesIsRefused) {
  const Bytes pipl = BuildPiPL({{PLUG_FOURCC('b', 'r', 'I', 'V'), U32(7)}});
  PLUG_Routine r = nullptr;
  ASSERT_EQ(PLUG_RegisterStaticRoutine(pipl.data(), static_cast<int32_t>(pipl.size()),
                                       reinterpret_cast<void*>(OddEntry), nullptr, &r),
            0);
  ErrorCode result = -1;
  PLUG_BRMessage m{};
  rec.clear();
  EXPECT_EQ(PLUG_SendBRMessage(r, "BR Interface", "Startup", &m, &result), PLUG_ErrBramblet);
  EXPECT_EQ(rec.last().text, "Test error: bramblet failure (1).");
  uint32_t flags = 0;
  PLUG_GetRoutineFlags(r, &flags);
  EXPECT_EQ(flags, unsigned(PLUG_Flag_Static));  // released again
  PLUG_Routine empty = nullptr;
  ASSERT_EQ(PLUG_RegisterStaticRoutine(nullptr, 0, nullptr, nullptr, &empty), 0);
  EXPECT_EQ(PLUG_SendBRMessage(empty, "BR Interface", "Startup", &m, &result), PLUG_ErrBramblet);  // no code
  PLUG_BRPlugin ref = nullptr;
  EXPECT_EQ(PLUG_GetBRPluginRef(r, &ref), PLUG_ErrBramblet);  // not a running suite plug-in
  PLUG_ResFile access = nullptr;
  EXPECT_EQ(PLUG_GetBRPluginResourceAccess(r, &access), kErrResource);  // no file, none set
  const Bytes bad = {'T', 'V', 'R', 'S', 9, 0};
  Handle h = nullptr;
  PtrToHand(bad.data(), &h, static_cast<Size>(bad.size()));
  EXPECT_EQ(PLUG_SetBRPluginResourceAccess(r, h), kErrResource);
  const Bytes map = MapOf(pipl);
  SetHandleSize(h, static_cast<Size>(map.size()));
  std::memcpy(*h, map.data(), map.size());
  ASSERT_EQ(PLUG_SetBRPluginResourceAccess(r, h), 0);  // the routine owns it now
  ASSERT_EQ(PLUG_GetBRPluginResourceAccess(r, &access), 0);
  EXPECT_EQ(access, h);
}

#ifdef TAVELO_TEST_SUITES
TEST_F(PLUGStd, SuitePluginsRunThroughEverySuite) {
  FILE_SpecH folder = Ref(TAVELO_TEST_SUITES);
  ASSERT_EQ(PLUG_SearchBR(folder, nullptr, nullptr, nullptr), 0);
  auto* plugins = Suite<PLUG_PluginsSuite>("BR Plug-ins Suite", 4);
  int32_t count = 0;
  plugins->countPlugins(&count);
  ASSERT_EQ(count, 2);
  PLUG_BRPlugin current = nullptr, old = nullptr;
  ASSERT_EQ(plugins->findPlugin("Sample Suite", &current), 0);
  ASSERT_EQ(plugins->findPlugin("Sample Old Suite", &old), 0);
  PLUG_BRPlugin nth = nullptr;
  plugins->getNthPlugin(1, &nth);
  EXPECT_EQ(nth, old);  // sample_suite.kpl, then sample_suite2.kpl
  PLUG_Routine routine = nullptr;
  plugins->getPluginRoutine(current, &routine);
  PLUG_BRPlugin ref = nullptr;
  ASSERT_EQ(PLUG_GetBRPluginRef(routine, &ref), 0);
  EXPECT_EQ(ref, current);
  char path[FILE_MaxPath];
  ASSERT_EQ(plugins->getPluginPath(old, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), std::string(TAVELO_TEST_SUITES) + "/sample_suite2.kpl");

  // The suites each one added at start, the current one through its message
  // record, the older one through the host procedures the adapter gave it.
  struct Demo {
    int32_t (*f)(int32_t);
  };
  EXPECT_EQ(Suite<Demo>("SMPL Demo Suite", 1)->f(21), 42);
  EXPECT_EQ(Suite<Demo>("SMPL Old Suite", 1)->f(5), 15);
  PLUG_Routine host = nullptr;
  PLUG_GetBRSuiteHost("SMPL Demo Suite", 1, &host);
  EXPECT_EQ(host, routine);
  auto* adapters = Suite<PLUG_AdaptersSuite>("BR Adapters Suite", 3);
  char name[PLUG_MaxSuiteName + 1];
  int32_t version = 0;
  ASSERT_EQ(adapters->getNthAdapter(0, name, &version), 0);
  EXPECT_EQ(std::make_pair(std::string(name), version), std::make_pair(std::string("Bramblet 2 Adapter"), 2));

  // Messages keep each plug-in's data between them.
  auto* iface = Suite<PLUG_InterfaceSuite>("BR Interface Suite", 2);
  int32_t answer = 0;
  ErrorCode result = -1;
  ASSERT_EQ(iface->sendMessage(current, "SMPL", "Count", &answer, &result), 0);
  ASSERT_EQ(iface->sendMessage(current, "SMPL", "Count", &answer, &result), 0);
  EXPECT_EQ(answer, 2);
  ASSERT_EQ(iface->sendMessage(old, "SMPL", "Count", nullptr, &result), 0);
  EXPECT_EQ(result, 101);
  ASSERT_EQ(iface->broadcastMessage("SMPL", "Count", &answer, &result), 0);
  EXPECT_EQ(std::make_pair(answer, result), std::make_pair(3, 102));  // the first non-zero answer

  // Properties and resources of the plug-in's file.
  auto* props = Suite<PLUG_PropertiesSuite>("BR Properties Suite", 2);
  props->countProperties(current, &count);
  EXPECT_EQ(count, 3);  // kind, name, pwpc
  FourCC key = 0;
  int32_t id = -1, length = 0;
  ASSERT_EQ(props->getNthProperty(current, 1, &key, &id, &length), 0);
  EXPECT_EQ(std::make_pair(key, length), std::make_pair(FourCC{PLUG_FOURCC('n', 'a', 'm', 'e')}, 32));
  EXPECT_EQ(props->getNthProperty(current, 3, &key, &id, &length), kErrResource);
  auto* access = Suite<PLUG_AccessSuite>("BR Access Suite", 3);
  PLUG_ResFile res = nullptr;
  ASSERT_EQ(access->getAccess(old, &res), 0);
  access->countResources(res, PLUG_AnyType, &count);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(access->getNthResourceInfo(res, PLUG_FOURCC('P', 'i', 'P', 'L'), 0, &id, &length), 0);
  Handle pipl = nullptr;
  ASSERT_EQ(access->getResource(res, PLUG_FOURCC('P', 'i', 'P', 'L'), id, &pipl), 0);
  EXPECT_EQ(GetHandleSize(pipl), length);
  DisposeHandle(pipl);

  // The files found and the host procedures that read them.
  auto* files = Suite<PLUG_FilesSuite>("BR Files Suite", 3);
  files->countFiles(&count);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(files->getNthFile(0, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), std::string(TAVELO_TEST_SUITES) + "/sample_suite.kpl");
  PLUG_SuiteProc procs[PLUG_HostProcCount] = {};
  ASSERT_EQ(PLUG_GetBRHostProcs(procs), 0);
  auto as = [](PLUG_SuiteProc p) { return reinterpret_cast<void (*)(void)>(p); };
  using Open = ErrorCode (*)(const char*, void**);
  using Read = ErrorCode (*)(void*, int64_t, int32_t, void*);
  using Size64 = ErrorCode (*)(void*, int64_t*);
  using Close = ErrorCode (*)(void*);
  void* file = nullptr;
  ASSERT_EQ(reinterpret_cast<Open>(as(procs[3]))(path, &file), 0);
  char magic[4] = {};
  int64_t size = 0;
  EXPECT_EQ(reinterpret_cast<Read>(as(procs[4]))(file, 1, 3, magic), 0);
  EXPECT_EQ(std::string(magic, 3), "ELF");
  EXPECT_EQ(reinterpret_cast<Size64>(as(procs[6]))(file, &size), 0);
  EXPECT_GT(size, 1000);
  EXPECT_EQ(reinterpret_cast<Close>(as(procs[5]))(file), 0);
  using Nth = ErrorCode (*)(int32_t, PLUG_BRPlugin*);
  ASSERT_EQ(reinterpret_cast<Nth>(as(procs[15]))(0, &nth), 0);
  EXPECT_EQ(nth, current);

  // Shut-down reaches both: each frees the block it took at start.
  ASSERT_EQ(PLUG_UnsearchBR(), 0);
  auto* debug = Suite<PLUG_BlockDebugSuite>("BR Block Debug Suite", 2);
  debug->countBlocks(&count);
  EXPECT_EQ(count, 0);
  adapters->countAdapters(&count);
  EXPECT_EQ(count, 0);
  rec.clear();
  const void* gone = nullptr;
  EXPECT_EQ(PLUG_GetBRSuiteProcs("SMPL Old Suite", 1, 1, &gone), PLUG_ErrBramblet);
  EXPECT_EQ(plugins->getPluginName(current, name), PLUG_ErrBramblet);  // a stale reference
}

TEST_F(PLUGStd, APlugInThatFailsToStartIsDroppedAndTheOthersRun) {
  static const int32_t taken[1] = {0};
  ASSERT_EQ(PLUG_AddBRSuite(0, 0, "SMPL Demo Suite", 1, 1, taken), 0);  // its start cannot add it
  TempDir dir;
  std::filesystem::copy_file(std::string(TAVELO_TEST_SUITES) + "/sample_suite.kpl", dir.P("a.kpl"));
  std::filesystem::copy_file(std::string(TAVELO_TEST_SUITES) + "/sample_suite2.kpl", dir.P("b.kpl"));
  WriteFile(dir.P("c.kpl"), Bytes{0});  // described, not loadable
  WriteFile(dir.P("c.kpl.rsrc"), MapOf(BuildPiPL({{PLUG_FOURCC('n', 'a', 'm', 'e'), Counted("Broken", 32)}})));
  rec.clear();
  ASSERT_EQ(PLUG_SearchBR(Ref(dir.path()), nullptr, nullptr, nullptr), 0);
  int32_t count = 0;
  Suite<PLUG_PluginsSuite>("BR Plug-ins Suite", 4)->countPlugins(&count);
  EXPECT_EQ(count, 1);
  Suite<PLUG_FilesSuite>("BR Files Suite", 3)->countFiles(&count);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(rec.reports.size(), 3u);  // the suite taken, the failed start, the loader
  EXPECT_EQ(rec.reports[1].text, "Test error: bramblet initialization (1).");
  EXPECT_THAT(rec.reports[2].text, ::testing::HasSubstr("c.kpl: file too short\" -- code fragment library not found (-2804)."));
  const void* procs = nullptr;
  EXPECT_EQ(PLUG_GetBRSuiteProcs("SMPL Old Suite", 1, 1, &procs), 0);
  ASSERT_EQ(PLUG_UnsearchBR(), 0);
  Suite<PLUG_BlockDebugSuite>("BR Block Debug Suite", 2)->countBlocks(&count);
  EXPECT_EQ(count, 0);
}
#endif

}  // namespace
}  // namespace tv::test
