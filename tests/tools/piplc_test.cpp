// piplc run as a program: the property lists it refuses with their exact
// messages, the side-car's layout as --dump prints it, and the files --dump
// refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;

class Piplc : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string P(const std::string& name) const { return (dir / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(P(name), std::ios::binary) << text;
  }
  // Runs piplc with args: its exit status and what it printed (standard
  // output and error together).
  static std::pair<int, std::string> Run(const std::string& args) {
    FILE* p = ::popen((std::string(TAVELO_PIPLC) + " " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = p ? ::pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
  }
  static std::pair<int, std::string> Failed(const std::string& why) { return {1, "piplc: " + why + "\n"}; }
  fs::path dir = fs::temp_directory_path() / ("piplc_test_" + std::to_string(::getpid()));
};

TEST_F(Piplc, RefusedListsSayWhichLineAndWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {"name", "line 3: \"name\" takes 1 value(s)"},
      {"kind eFK", "line 3: a four-character code is expected, not \"eFK\""},
      {"pipl_version 2", "line 3: a version major.minor is expected"},
      {"effect_version x12", "line 3: bad number \"x12\""},
      {"u16 'abcd' 65536", "line 3: bad number \"65536\""},
      {"name \"open", "line 3: unterminated string"},
      {"string 'strg' 4 \"abcd\"", "line 3: text \"abcd\" longer than its room"},
      {"string 'strg' 257 \"a\"", "line 3: bad number \"257\""},
      {"bytes 'byts' 0a1", "line 3: an even count of hex digits is expected"},
      {"bytes 'byts' 0g", "line 3: bad number \"0x0g\""},
      {"resource 'DATA' 1 none.bin", "line 3: cannot read none.bin"},
      {"frob 1", "line 3: unknown statement \"frob\""},
  };
  for (const auto& [list, why] : cases) {
    Write("bad.pipl", "# a comment\n\n" + std::string(list) + "\n");
    EXPECT_EQ(Run(P("bad.pipl") + " -o " + P("bad.c")), Failed(why));
  }
  EXPECT_EQ(Run(P("none.pipl") + " -o " + P("x.c")), Failed("cannot read " + P("none.pipl")));
  EXPECT_EQ(Run(P("bad.pipl")), Failed("an input and an output are needed"));
  Write("ok.pipl", "kind eFKT\n");
  for (const char* opt : {" -o ", " --sidecar "})
    EXPECT_EQ(Run(P("ok.pipl") + opt + P("no/x")), Failed("cannot write " + P("no/x")));
  EXPECT_FALSE(fs::exists(dir / "bad.c"));
}

TEST_F(Piplc, SidecarLayoutAsDumpPrintsIt) {
  const std::string hex(98, 'a');  // 49 bytes, of which 48 are shown
  std::string shown;
  for (int i = 0; i < 48; ++i) shown += " aa";
  Write("data.bin", "xyz");
  Write("p.pipl", "kind eFKT\nstring 'strg' 8 \"abc\"\nbytes 'byts' 00ff10\nu16 'shrt' 513\nbytes 'long' " +
                      hex + "\nresource 'DATA' 7 data.bin\n");
  Write("p.tvx", "not a library");
  ASSERT_EQ(Run(P("p.pipl") + " --sidecar " + P("p.tvx.rsrc")), std::make_pair(0, std::string()));
  // Map: 12-byte header, two 16-byte entries, the list at 44 (8 + five
  // properties of 16 bytes each plus their data padded to 4), the file at 204.
  EXPECT_EQ(Run("--dump " + P("p.tvx")).second, P("p.tvx.rsrc") +
                                                    ": 2 resource(s)\n"
                                                    "resource 'PiPL' 16000: 160 bytes\n"
                                                    "  'kind' 0 [4] 54 4b 46 65\n"
                                                    "  'strg' 0 [8] 03 61 62 63 00 00 00 00\n"
                                                    "  'byts' 0 [3] 00 ff 10\n"
                                                    "  'shrt' 0 [2] 01 02\n"
                                                    "  'long' 0 [49]" +
                                                    shown +
                                                    " ...\n"
                                                    "resource 'DATA' 7: 3 bytes\n");
  EXPECT_EQ(fs::file_size(dir / "p.tvx.rsrc"), 208u);

  // A built plug-in: the map from its own section.
  const std::string lib = std::string(TAVELO_TEST_PLUGINS) + "/sample_effect.tvx";
  const auto [code, out] = Run("--dump " + lib);
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(out.find(lib + ": 1 resource(s)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  'name' 0 [32] 0d 53 61 6d 70 6c 65"), std::string::npos) << out;
}

TEST_F(Piplc, DumpRefusesWhatHoldsNoMap) {
  Write("q.tvx", "plain");
  EXPECT_EQ(Run("--dump " + P("none.tvx")), Failed("cannot read " + P("none.tvx")));
  EXPECT_EQ(Run("--dump " + P("q.tvx")), Failed(P("q.tvx") + ": no resource section and no side-car"));
  Write("elf.tvx",
        "\x7f"
        "ELF short");
  EXPECT_EQ(Run("--dump " + P("elf.tvx")), Failed(P("elf.tvx") + ": truncated ELF header"));
  Write("q.tvx.rsrc", std::string("TVRX\1\0\0\0\0\0\0\0", 12));
  EXPECT_EQ(Run("--dump " + P("q.tvx")), Failed(P("q.tvx.rsrc") + ": no resource map signature"));
  // A map whose list claims more properties than it holds: shown as malformed.
  Write("q.tvx.rsrc",
        std::string("TVRS\1\0\0\0\1\0\0\0LPiP\x80\x3e\0\0\x1c\0\0\0\x08\0\0\0\0\0\0\0\5\0\0\0", 36));
  EXPECT_EQ(Run("--dump " + P("q.tvx")),
            std::make_pair(0, P("q.tvx.rsrc") + ": 1 resource(s)\nresource 'PiPL' 16000: 8 bytes\n"
                                                "  malformed: property count larger than the list\n"));
}

}  // namespace
