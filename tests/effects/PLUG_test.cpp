// Property lists, resource maps and plug-in files (the negative set), the
// folder walk with its exclusion patterns and link loops.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "Memory.h"
#include "PLUG_test_support.h"

namespace tv::test {
namespace {

using ::testing::HasSubstr;

constexpr FourCC kAB = PLUG_FOURCC('a', 'a', 'a', 'b');
constexpr FourCC kCD = PLUG_FOURCC('c', 'c', 'c', 'd');

class PLUGRead : public PLUGFixture {};

TEST_F(PLUGRead, PropertiesArePaddedToFourBytesAndCopiedUpToTheMaximum) {
  const Bytes b = BuildPiPL({{kAB, Bytes{1, 2, 3, 4, 5}}, {kCD, Bytes{9, 8, 7}, 3}});
  ASSERT_EQ(b.size(), 8u + 16 + 8 + 16 + 4);  // length 5: the next property 8 bytes after its data
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand(b.data(), &h, static_cast<Size>(b.size())), 0);
  uint8_t out[8] = {};
  int32_t len = 0;
  EXPECT_EQ(PLUG_GetPiPLProp(h, kCD, 3, 2, &len, out), 0);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(Bytes(out, out + 3), (Bytes{9, 8, 0}));  // at most the maximum copied
  EXPECT_EQ(PLUG_GetPiPLProp(h, kCD, 0, 8, &len, out), kErrResource);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(rec.last().text, "Test error: property list index -- resource is missing or damaged.");
  EXPECT_EQ(rec.last().location, (48u << 24) | 0x23);
  PLUG_DisposePiPL(h);
}

TEST_F(PLUGRead, MalformedListsAndMapsAreRefusedInMemory) {
  Bytes pipl = BuildPiPL({{kAB, Bytes{1, 2, 3, 4}}});
  EXPECT_EQ(PLUG_CheckPiPL(pipl.data(), static_cast<int64_t>(pipl.size())), 0);
  Bytes cut(pipl.begin(), pipl.end() - 1);
  EXPECT_EQ(PLUG_CheckPiPL(cut.data(), static_cast<int64_t>(cut.size())), kErrResource);
  Bytes wrap = pipl;
  wrap[8 + 12] = 0xF0, wrap[8 + 13] = wrap[8 + 14] = wrap[8 + 15] = 0xFF;  // length 0xFFFFFFF0
  EXPECT_EQ(PLUG_CheckPiPL(wrap.data(), static_cast<int64_t>(wrap.size())), kErrResource);
  const Bytes map = MapOf(pipl);
  EXPECT_EQ(PLUG_CheckResMap(map.data(), static_cast<int64_t>(map.size())), 0);
  Bytes odd = map;
  odd[12 + 8] = 13;  // an offset inside the entry table
  EXPECT_EQ(PLUG_CheckResMap(odd.data(), static_cast<int64_t>(odd.size())), kErrResource);
}

// Files that must each be skipped with one report naming them.
struct BadFile {
  const char* name;
  Bytes (*make)();
  const char* why;
};

Bytes Good(const std::string& match) { return BuildElf(MapOf(BuildPiPL({{PLUG_FOURCC('k', 'i', 'n', 'd'), U32(1)}, {kAB, Counted(match, 8)}}))); }
Bytes Set(Bytes b, size_t at, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

const BadFile kBadFiles[] = {
    {"truncated.tvx", [] { Bytes b = Good("x"); b.resize(40); return b; }, "truncated ELF header"},
    {"class32.tvx", [] { return Set(Good("x"), EI_CLASS, ELFCLASS32, 1); }, "not a 64-bit library"},
    {"machine.tvx", [] { return Set(Good("x"), offsetof(Elf64_Ehdr, e_machine), EM_S390, 2); },
     "library for another machine"},
    {"shoff.tvx", [] { return Set(Good("x"), offsetof(Elf64_Ehdr, e_shoff), ~0ull - 8, 8); },
     "section headers outside the file"},
    {"secpast.tvx",
     [] { Bytes b = Good("x"); return Set(b, ResSectionHeader(b) + offsetof(Elf64_Shdr, sh_offset), 1u << 30, 8); },
     "resource section outside the file"},
    {"secsize.tvx",
     [] { Bytes b = Good("x"); return Set(b, ResSectionHeader(b) + offsetof(Elf64_Shdr, sh_size), ~0ull, 8); },
     "resource section outside the file"},
    {"mapcount.tvx", [] { return BuildElf(Set(MapOf(BuildPiPL({})), 8, 0x7FFFFFFF, 4)); },
     "resource map count larger than the map"},
    {"overlap.tvx",
     [] {
       Bytes m = BuildMap({{kAB, 1, Bytes(8, 1)}, {kCD, 2, Bytes(8, 2)}});
       return BuildElf(Set(m, 12 + 16 + 8, 12 + 32 + 4, 4));  // the second starts inside the first
     },
     "resources overlap"},
    {"overflow.tvx",
     [] { return BuildElf(Set(BuildMap({{kAB, 1, Bytes(8, 1)}}), 12 + 12, 0xFFFFFFF8, 4)); },
     "resource outside its map"},
    {"hugecount.tvx", [] { return BuildElf(MapOf(Set(BuildPiPL({{kAB, U32(1)}}), 4, 0xFFFFFFF0, 4))); },
     "property count larger than the list"},
    {"proplen.tvx", [] { return BuildElf(MapOf(Set(BuildPiPL({{kAB, U32(1)}}), 8 + 12, 0xFFFFFFF0, 4))); },
     "property data outside the list"},
    {"random.tvx", [] { return Bytes{'#', '!', 'x', 0, 1, 2, 3, 4, 5, 6, 7, 8}; }, "not an ELF library"},
};

struct Seen {
  std::vector<std::string> names;
  std::vector<FourCC> kinds;
};

ErrorCode RecordInfo(PLUG_ScanData scan, int32_t, void* refcon) {
  auto* seen = static_cast<Seen*>(refcon);
  FourCC kind = 0;
  int32_t count = 0;
  if (PLUG_GetRoutineInfo(scan, 0, &kind, nullptr, &count)) return 0;  // reported; the walk goes on
  FILE_SpecH file = nullptr;
  PLUG_GetResFileSpec(scan, &file);
  char name[FILE_MaxPath] = {};
  FILE_InqName(file, FILE_NameOnly, name, sizeof name);
  seen->names.push_back(name);
  seen->kinds.push_back(kind);
  return 0;
}

TEST_F(PLUGRead, EveryBrokenFileIsReportedOnceAndTheScanGoesOn) {
  TempDir dir;
  for (const BadFile& f : kBadFiles) WriteFile(dir.P(f.name), f.make());
  WriteFile(dir.P("good.tvx"), Good("g"));
  WriteFile(dir.P("side.tvx"), Bytes{1, 2, 3});  // no library: its side-car holds the map
  WriteFile(dir.P("side.tvx.rsrc"), MapOf(BuildPiPL({{PLUG_FOURCC('k', 'i', 'n', 'd'), U32(7)}})));
  Seen seen;
  const FourCC tvx = PLUG_FOURCC('.', 'T', 'V', 'X');
  ASSERT_EQ(PLUG_InstallScan(nullptr, 1, &tvx, RecordInfo, nullptr, &seen), 0);
  FILE_SpecH folder = Ref(dir.path());
  Boolean32 cancelled = 1;
  rec.clear();
  ASSERT_EQ(PLUG_Search(nullptr, 1, &folder, 0, 4, nullptr, nullptr, nullptr, &cancelled), 0);
  EXPECT_EQ(cancelled, 0);
  EXPECT_EQ(seen.names, (std::vector<std::string>{"good.tvx", "side.tvx"}));
  EXPECT_EQ(seen.kinds, (std::vector<FourCC>{1, 7}));
  ASSERT_EQ(rec.reports.size(), std::size(kBadFiles));
  for (const BadFile& f : kBadFiles) {
    SCOPED_TRACE(f.name);
    const std::string want =
        "Test warning: plug-in \"" + dir.P(f.name) + "\" skipped: " + f.why + " -- resource is missing or damaged.";
    int found = 0;
    for (const Report& r : rec.reports)
      if (r.text == want) {
        ++found;
        EXPECT_EQ(r.severity, kSevWarning);
        EXPECT_EQ(r.location >> 24, 48u);
      }
    EXPECT_EQ(found, 1);
  }
}

// ---- The walk ----------------------------------------------------------------------
struct Log {
  std::vector<std::string> events;
};

ErrorCode LogScan(PLUG_ScanData scan, int32_t, void* refcon) {
  auto* log = static_cast<Log*>(refcon);
  FILE_SpecH file = nullptr;
  PLUG_GetResFileSpec(scan, &file);
  int32_t depth = -1;
  PLUG_GetScanDepth(scan, &depth);
  char name[FILE_MaxPath] = {};
  FILE_InqName(file, FILE_NameOnly, name, sizeof name);
  log->events.push_back(std::string("scan ") + name + " " + std::to_string(depth));
  return 0;
}
ErrorCode LogAny(PLUG_ScanData, int32_t, void* refcon) {
  static_cast<Log*>(refcon)->events.push_back("any");
  return 0;
}
ErrorCode LogDone(PLUG_ProgressFunc, void*, void* refcon) {
  static_cast<Log*>(refcon)->events.push_back("done");
  return 0;
}
ErrorCode LogProgress(void* refcon, int32_t status, const char* name, Boolean32*) {
  auto* log = static_cast<Log*>(refcon);
  log->events.push_back("p" + std::to_string(status) + " " + name);
  return 0;
}

class PLUGWalk : public PLUGFixture {
 protected:
  void SetUp() override {
    PLUGFixture::SetUp();
    ASSERT_EQ(PLUG_NewSack(&sack), 0);
    const FourCC tvx = PLUG_FOURCC('.', 'T', 'V', 'X');
    ASSERT_EQ(PLUG_InstallScan(sack, 1, &tvx, LogScan, LogDone, &log), 0);
    ASSERT_EQ(PLUG_InstallScan(sack, 0, nullptr, LogAny, nullptr, &log), 0);
  }
  void TearDown() override {
    PLUG_DisposeSack(sack);
    PLUGFixture::TearDown();
  }
  Boolean32 Search(int32_t depth, const char* exclude = nullptr) {
    FILE_SpecH folder = Ref(dir.path());
    Boolean32 cancelled = 0;
    EXPECT_EQ(PLUG_Search(sack, 1, &folder, 0, depth, exclude, LogProgress, &log, &cancelled), 0);
    return cancelled;
  }
  TempDir dir;
  PLUG_Sack sack = nullptr;
  Log log;
};

TEST_F(PLUGWalk, ExclusionPatterns) {
  struct Case {
    const char* name;
    const char* pattern;
    Boolean32 skipped;
  } cases[] = {{"(Old Plug-ins)", "()", 1}, {"Old (Plug-ins)", "()", 0}, {"(Old).tvx", "()", 1},
               {"~tmp", "~", 1},           {"tmp~", "~", 0},           {"_x", "()_", 1},
               {"anything", nullptr, 0},   {"(open", "()", 0}};
  for (const Case& c : cases) EXPECT_EQ(PLUG_NameExcluded(c.name, c.pattern), c.skipped) << c.name;
  mkdir(dir.P("(Old Plug-ins)").c_str(), 0755);
  WriteFile(dir.P("(Old Plug-ins)/old.tvx"), {});
  WriteFile(dir.P("new.tvx"), {});
  Search(4, "()");
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "scan new.tvx 0"), 1);
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "scan old.tvx 1"), 0);
}

TEST_F(PLUGWalk, LinkLoopsEndAndDanglingLinksAreSkipped) {
  mkdir(dir.P("sub").c_str(), 0755);
  WriteFile(dir.P("sub/p.tvx"), {});
  ASSERT_EQ(symlink(dir.path().c_str(), dir.P("sub/up").c_str()), 0);
  ASSERT_EQ(symlink(dir.P("sub").c_str(), dir.P("again").c_str()), 0);
  ASSERT_EQ(symlink(dir.P("missing").c_str(), dir.P("gone.tvx").c_str()), 0);
  Search(1000);
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "scan p.tvx 1"), 1);
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "scan p.tvx 2"), 0);
}

TEST_F(PLUGWalk, DamagedSackIsRefused) {
  Handle fake = NewHandleClear(64);
  Boolean32 cancelled = 0;
  EXPECT_EQ(PLUG_Search(fake, 0, nullptr, 0, 1, nullptr, nullptr, nullptr, &cancelled), kErrDamaged);
  EXPECT_THAT(rec.last().text, HasSubstr("internal structure damaged (sack)"));
  DisposeHandle(fake);
}

}  // namespace
}  // namespace tv::test
