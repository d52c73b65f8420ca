// The preferences file: reading, required reads that create defaults,
// writing that keeps other lines, atomic replacement, and the errno table.
#include <sys/stat.h>

#include "Errno.h"
#include "PermissionChecks.h"
#include "WriteFaults.h"
#include "platform_test_fixture.h"

namespace tv::test {
namespace {

class PrefsTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    path = UsePrefsFile();
  }
  void TearDown() override {
    std::remove(path.c_str());
    MemoryTest::TearDown();
  }
  std::string path;
};

TEST_F(PrefsTest, RequiredReadCreatesTheDefault) {
  EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "MemoryUsage", 50), 50);
  EXPECT_EQ(Slurp(path), "");  // a plain read writes nothing
  EXPECT_EQ(EMUL_GetRequiredProfileInt("Tavelo", "MemoryUsage", 50), 50);
  EXPECT_EQ(Slurp(path), "[Tavelo]\nMemoryUsage=50\n");
  EXPECT_EQ(EMUL_GetRequiredProfileInt("Tavelo", "MemoryUsage", 70), 50);  // the file's value wins
}

TEST_F(PrefsTest, WritesKeepOtherLinesAndSections) {
  Put(path,
      "; machine settings\r\n[Codec]\r\nKeepOpen=MJPG\r\n\r\n[tavelo]\r\n  memoryusage = 80 \r\n"
      "Other=x\r\n\r\n[Last]\r\nA=1\r\n");
  EXPECT_EQ(EMUL_GetProfileInt(nullptr, "MemoryUsage", 0), 80);  // names match without case
  ASSERT_EQ(EMUL_SetProfileInt("Tavelo", "MemoryUsage", 60), 0);
  ASSERT_EQ(EMUL_SetProfileInt("Tavelo", "Slop", 4), 0);
  ASSERT_EQ(EMUL_SetProfileString("Codec", "Cant32Codec", "YVU9,YV92"), 0);
  ASSERT_EQ(EMUL_SetProfileString("New", "K", "v"), 0);
  EXPECT_EQ(Slurp(path),
            "; machine settings\r\n[Codec]\r\nKeepOpen=MJPG\r\nCant32Codec=YVU9,YV92\r\n\r\n[tavelo]\r\n"
            "memoryusage=60\r\nOther=x\r\nSlop=4\r\n\r\n[Last]\r\nA=1\r\n\r\n[New]\r\nK=v\r\n");
  char buf[8];
  EXPECT_EQ(EMUL_GetProfileString("Codec", "KeepOpen", "", buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "MJPG");
  EXPECT_EQ(EMUL_GetProfileString("Codec", "Cant32Codec", "", buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "YVU9,YV");  // truncated to the buffer
  EXPECT_EQ(EMUL_GetProfileString("Codec", "Missing", "dflt", buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "dflt");
}

TEST_F(PrefsTest, IntegersAreReadLikeTheirLeadingDigits) {
  Put(path, "[Tavelo]\nA=12abc\nB=abc\nC=-7\nD= +5\nE=99999999999\nF=\"42\"\nG=\n");
  const std::pair<const char*, int32_t> table[] = {{"A", 12}, {"B", 0},  {"C", -7}, {"D", 5},
                                                   {"E", INT32_MAX}, {"F", 42}, {"G", 0}, {"H", 1}};
  for (auto [key, value] : table) EXPECT_EQ(EMUL_GetProfileInt("Tavelo", key, 1), value) << key;
}

TEST_F(PrefsTest, TextThatWouldAddLinesIsRefusedAndNothingIsWritten) {
  const std::string before = "[Probe]\nPath=/old\n[Tavelo]\nMemoryUsage=60\n";
  Put(path, before);
  // A file path may hold a line feed; written as it stands it would set other keys.
  EXPECT_EQ(EMUL_SetProfileString("Probe", "Path", "/media/a\nInjected=1\n[Tavelo]\nMemoryUsage=1"), -50);
  EXPECT_EQ(Slurp(path), before);
  EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "MemoryUsage", 0), 60);
  EXPECT_EQ(EMUL_GetProfileInt("Probe", "Injected", -1), -1);
  using namespace std::string_view_literals;
  struct Row {
    std::string_view section, key, value;
  };
  const Row rows[] = {
      // line ends and NULs anywhere
      {"Probe", "Path", "a\rb"}, {"Probe", "Path", "a\0b"sv}, {"Probe", "Path", "\n"},
      {"Probe", "Pa\nth", "x"}, {"Probe", "Pa\rth", "x"}, {"Probe", "Pa\0th"sv, "x"},
      {"Pro\nbe", "Path", "x"}, {"Pro\rbe", "Path", "x"}, {"Pro\0be"sv, "Path", "x"},
      // names the reader would not find again
      {"Probe", "Path=x", "y"}, {"Probe", " Path", "y"}, {"Probe", "Path\t", "y"}, {"Probe", ";Path", "y"},
      {"Probe", "#Path", "y"}, {"Probe", "[Path", "y"}, {"Probe", "", "y"},
      {"Pro]be", "Path", "y"}, {" Probe", "Path", "y"}, {"Probe ", "Path", "y"}, {"", "Path", "y"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(platform::prefs::SetString(r.section, r.key, r.value), -50) << r.section << "/" << r.key;
    EXPECT_EQ(Slurp(path), before) << r.section << "/" << r.key;
  }
  // Required reads of such keys answer the default and write nothing.
  EXPECT_EQ(EMUL_GetRequiredProfileInt("Tavelo", "Bad\nKey", 7), 7);
  char buf[8];
  EXPECT_EQ(EMUL_GetRequiredProfileString("Tavelo", "K\r", "d", buf, sizeof buf), 1);
  EXPECT_EQ(Slurp(path), before);
  // Without a file the settings live in memory, under the same rules.
  EMUL_SetTVPrefsFile(nullptr);
  EXPECT_STREQ(EMUL_GetTVPrefsFile(), "");
  EXPECT_EQ(EMUL_SetProfileString("Probe", "Path", "a\nb=1"), -50);
  EXPECT_EQ(EMUL_GetProfileInt("Probe", "b", -1), -1);
  EXPECT_EQ(EMUL_SetProfileInt("Tavelo", nullptr, 1), -50);
  ASSERT_EQ(EMUL_SetProfileInt("Tavelo", "InMemoryOnly", 31), 0);
  EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "InMemoryOnly", 0), 31);
  EMUL_SetTVPrefsFile(path.c_str());
  EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "InMemoryOnly", 0), 0);
}

TEST_F(PrefsTest, EveryAcceptedValueReadsBackAsWritten) {
  Put(path, "[Tavelo]\nMemoryUsage=60\n");
  const std::string values[] = {"",        " lead",   "trail ",     "\tboth\t",   "\"quoted\"", "'single'",
                                "\"",      "'",       "\"\"",       "a=b",        "; semicolon", "[Tavelo]",
                                "#hash",   "x\ty",    "\"open",     "close'",     " ",          "in \"the\" middle",
                                "ünïcode ✓", "'mixed\"", "=",        "  \" twice \"  "};
  for (const std::string& v : values) {
    ASSERT_EQ(platform::prefs::SetString("Probe", "Value", v), 0) << v;
    EXPECT_EQ(platform::prefs::GetString("Probe", "Value"), v);
    char buf[64];
    EMUL_GetProfileString("Probe", "Value", "default", buf, sizeof buf);
    EXPECT_EQ(std::string(buf), v);
    EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "MemoryUsage", 0), 60) << v;
  }
  // A value that the reader would trim or unquote is written in quotes.
  ASSERT_EQ(EMUL_SetProfileString("Probe", "Value", " lead"), 0);
  EXPECT_EQ(Slurp(path), "[Tavelo]\nMemoryUsage=60\n\n[Probe]\nValue=\" lead\"\n");
  ASSERT_EQ(EMUL_SetProfileString("Probe", "Value", "plain"), 0);
  EXPECT_EQ(Slurp(path), "[Tavelo]\nMemoryUsage=60\n\n[Probe]\nValue=plain\n");
}

TEST_F(PrefsTest, AFileThatCannotBeReadIsNeverReplaced) {
  const std::string before = "[Tavelo]\nMemoryUsage=60\nSlop=4\n";
  Put(path, before);
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
  {
    PermissionChecks checks;
    EXPECT_EQ(EMUL_SetProfileInt("Tavelo", "FreeSpace", 1), -54);
    EXPECT_EQ(EMUL_SetProfileString("Other", "K", "v"), -54);
    EXPECT_EQ(EMUL_GetRequiredProfileInt("Tavelo", "New", 5), 5);  // the default answers; nothing is written
    EXPECT_EQ(EMUL_GetProfileInt("Tavelo", "MemoryUsage", 9), 9);
  }
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(Slurp(path), before);
  // Readable again, writes go through.
  EXPECT_EQ(EMUL_SetProfileInt("Tavelo", "FreeSpace", 1), 0);
  EXPECT_EQ(Slurp(path), before + "FreeSpace=1\n");
}

TEST(ErrnoTable, MapsEveryListedValue) {
  // EXDEV: anything else is an I/O error.
  const std::pair<int, int> table[] = {{0, 0},       {ENOENT, -43},  {EACCES, -54}, {ENOSPC, -34},
                                       {EROFS, -44}, {EMFILE, -42},  {EEXIST, -48}, {EIO, -36},
                                       {ENOMEM, -108}, {ENAMETOOLONG, -37}, {EBUSY, -47}, {EBADF, -51},
                                       {ENOTDIR, -120}, {EXDEV, -36}};
  for (auto [error, code] : table) EXPECT_EQ(platform::FromErrno(error), code) << error;
}

}  // namespace
}  // namespace tv::test
