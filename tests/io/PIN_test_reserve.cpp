// Output to files: numbered still names, reservation of frames (several
// processes sharing one folder: tests/farm), unreservation, the byte total
// and the folders exempt from it; continuation when a file reaches its size
// limit, a folder its file count or a volume fills (free space from a fake
// provider), with the overflow folders, the notes and the failures.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "PIN_test_fixture.h"
#include "Prefs.h"

namespace tv::test::pin {
namespace {

class PINReserveTest : public PINTest {
 protected:
  PINReserveTest() : PINTest(kOutputDrivers) {}
  void SetUp() override {
    PINTest::SetUp();
    OutLog().clear();
    // Free KB by folder: the longest listed prefix of a path answers.
    file::SetVolumeSpaceProvider([this](const std::string& path, uint64_t* free, uint64_t* total) {
      size_t best = 0;
      *free = uint64_t{1} << 40, *total = uint64_t{1} << 41;
      for (const auto& [prefix, kb] : freeKB_) {
        if (path.rfind(prefix, 0) == 0 && prefix.size() > best) best = prefix.size(), *free = kb * 1024;
      }
      return 0;
    });
  }
  void TearDown() override {
    file::SetVolumeSpaceProvider({});
    for (PIN_OutputSpecH o : outs_) PIN_DisposeOutputSpec(o);
    platform::prefs::SetString(TV_PREFS_SECTION, "DontCheckSpaceDrives", "");
    PINTest::TearDown();
  }
  // A started output of the module writing dir/<path> (or an absolute path).
  PIN_OutputSpecH Open(FourCC sig, const std::string& path, int32_t first = 0) {
    PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, sig, 6, 4);
    EXPECT_EQ(SetFile(out, path[0] == '/' ? path : dir.P(path)), 0);
    EXPECT_EQ(PIN_SetOutputNumbering(out, first, 0), 0);
    EXPECT_EQ(PIN_StartAdding(out), 0);
    outs_.push_back(out);
    return out_ = out;
  }
  PIN_OutputSpecH Still(const std::string& templ, int32_t first = 0) { return Open(kTsfSig, templ, first); }
  BM_World Frame() {
    if (!world_) world_ = World(6, 4);
    return world_;
  }
  static int32_t LastIndex(PIN_OutputSpecH out) { return OUT(PIN_GetOutputState, out).lastIndex; }
  ErrorCode Continue(uint32_t estimateKB, Boolean32* continued, double soundLeft = 0) {
    rec.reports.clear();
    OutLog().clear();
    return PIN_ContinueOutput(out_, &set_, estimateKB, soundLeft, continued);
  }
  std::string OutputPath() { return TakeName(OUT(PIN_GetOutputFile, out_), FILE_NameFullPath); }
  static void Sized(const std::string& path, uint64_t bytes) {
    std::ofstream(path).close();
    std::filesystem::resize_file(path, bytes);  // sparse: nothing is written
  }
  static std::string Note(const std::string& reason, const std::string& path) {
    return "  Note: output " + reason + ", continuing as \"" + path + "\".";
  }
  std::vector<PIN_OutputSpecH> outs_;
  PIN_OutputSpecH out_ = nullptr;
  BM_World world_ = nullptr;
  PIN_ContinuationSettings set_{};
  std::map<std::string, uint64_t> freeKB_;
};

TEST_F(PINReserveTest, ReservationClaimsEachFrameOnce) {
  PIN_OutputSpecH a = Still("r_[###].tsf"), b = Still("r_[###].tsf");
  Boolean32 got = OUT(PIN_ReserveFrame, a, 0, 0);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(std::filesystem::file_size(dir.P("r_000.tsf")), 0u);
  // Another renderer finds the file there: refused silently, and its next
  // request (index -1) goes on to the following frame.
  rec.reports.clear();
  EXPECT_EQ(OUT(PIN_ReserveFrame, b, 0, 0), 0);
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(LastIndex(b), 0);
  EXPECT_EQ(OUT(PIN_ReserveFrame, b, -1, 0), 1);
  EXPECT_TRUE(std::filesystem::exists(dir.P("r_001.tsf")));
  // The frame is written over its empty file.
  ASSERT_EQ(PIN_AddFrame(a, 0, Frame()), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.P("r_000.tsf")), 16u);
  EXPECT_EQ(OUT(PIN_DoesFileExist, b, 1, 0), 1);
  EXPECT_EQ(OUT(PIN_DoesFileExist, b, 7, 0), 0);
  EXPECT_EQ(LastIndex(b), 1);

  // A creation failure other than "exists" is no claim by someone else: it
  // is reported and returned, so a render cannot skip every frame.
  PIN_OutputSpecH lost = Still("missing/r_[###].tsf");
  rec.reports.clear();
  EXPECT_NE(PIN_ReserveFrame(lost, 0, 0, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(LastIndex(lost), -1);
}

TEST_F(PINReserveTest, UnreservationRules) {
  PIN_OutputSpecH out = Still("u[##].tsf");
  rec.reports.clear();
  EXPECT_EQ(PIN_UnReserveFrame(out, 0, 0, 1), 1);
  EXPECT_EQ(Texts(), std::vector<std::string>{Logged("trying to unreserve a file without reserving it first.", 1)});
  ASSERT_EQ(OUT(PIN_ReserveFrame, out, 3, 0), 1);
  struct Case {
    int32_t index;
    Boolean32 quiet;
    ErrorCode code;
    const char* text;
  } cases[] = {
      {5, 0, 1, "trying to unreserve a non-existent file."},
      {5, 1, 0, nullptr},
      {4, 0, 1, "trying to unreserve a file with non-zero size."},
      {4, 1, 0, nullptr},
  };
  std::ofstream(dir.P("u04.tsf")) << "data";
  for (const Case& c : cases) {
    rec.reports.clear();
    EXPECT_EQ(PIN_UnReserveFrame(out, c.index, 0, c.quiet), c.code) << c.index;
    EXPECT_EQ(Texts(), c.text ? std::vector<std::string>{Logged(c.text, 1)} : std::vector<std::string>{});
  }
  EXPECT_TRUE(std::filesystem::exists(dir.P("u04.tsf")));
  ASSERT_EQ(PIN_UnReserveFrame(out, 3, 0, 0), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.P("u03.tsf")));
}

TEST_F(PINReserveTest, FrameNamesAndTheirLimits) {
  PIN_OutputSpecH out = Still("n[####].tsf", 100);
  EXPECT_EQ(TakeName(OUT(PIN_LocSpecStillFrameFromOutSpec, out, 7)), "n0107.tsf");
  // A number too wide for the name: refused before anything is made on
  // disk.
  PIN_OutputSpecH bad = Still(std::string(248, 'x') + "[#].tsf", 1234567);
  rec.reports.clear();
  Boolean32 got = 1;
  EXPECT_EQ(PIN_ReserveFrame(bad, 0, 0, &got), 1);
  EXPECT_EQ(PIN_AddFrame(bad, 0, Frame()), 1);
  EXPECT_EQ(got, 0);
  // (The logged line is cut; the name is at its start.)
  ASSERT_EQ(rec.reports.size(), 2u);
  EXPECT_EQ(rec.reports[0].text, "Test error: " + std::string(rec.reports[0].text.size() - 12, 'x'));
  EXPECT_EQ(LastCode(), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
  // Shortening keeps characters whole: "é" is two bytes.
  std::string got2;
  std::string longStem;
  for (int i = 0; i < 130; ++i) longStem += "\xC3\xA9";
  ASSERT_TRUE(tv::pin::NumberedName(longStem + "[###].x", 1, &got2));
  EXPECT_EQ(got2, longStem.substr(0, 246) + "001.x");
  const std::pair<const char*, int32_t> exts[] = {{"a.png", 4}, {"dir.v2/a", 0}, {".hidden", 0}, {"a.b.tiff", 5}};
  for (const auto& [n, want] : exts) EXPECT_EQ(OUT(PIN_ExtLen, n), want) << n;
}

TEST_F(PINReserveTest, ByteTotalSaturatesAndExemptFoldersKeepZero) {
  PIN_OutputSpecH out = Still("t[#].tsf");
  ASSERT_EQ(PIN_AddFrame(out, 0, Frame()), 0);
  tv::pin::OutRec(out).totalBytes = 0x7FFFFFF8;
  ASSERT_EQ(PIN_AddFrame(out, 1, Frame()), 0);
  EXPECT_EQ(OUT(PIN_GetOutputState, out).bytes, 0x7FFFFFFF);
  int64_t space = 0;
  EXPECT_EQ(OUT(PIN_GetSizes, out, &space), 0x80000008);
  // A second start keeps the frame count.
  ASSERT_EQ(PIN_EndAdding(out), 0);
  ASSERT_EQ(PIN_StartAdding(out), 0);
  EXPECT_EQ(OUT(PIN_GetOutputState, out).frames, 2);

  ASSERT_EQ(platform::prefs::SetString(TV_PREFS_SECTION, "DontCheckSpaceDrives", "C; /nowhere , " + dir.path() + "/"), 0);
  PIN_OutputSpecH exempt = Still("e[#].tsf");
  ASSERT_EQ(PIN_AddFrame(exempt, 0, Frame()), 0);
  EXPECT_EQ(OUT(PIN_GetOutputState, exempt).bytes, 0);
}

TEST_F(PINReserveTest, FileSizeLimitStartsNumberedFiles) {
  Open(kOutSig, "clip.tou");
  set_.fileSizeLimitKB = 100;
  Boolean32 moved = 1;
  // 89 KB + 10 KB estimate stays under 100; one byte more rounds up to 90.
  Sized(dir.P("clip.tou"), 89 * 1024);
  ASSERT_EQ(Continue(10, &moved), 0);
  EXPECT_EQ(moved, 0);
  EXPECT_TRUE(OutLog().empty());
  Sized(dir.P("clip.tou"), 89 * 1024 + 1);
  ASSERT_EQ(Continue(10, &moved), 0);
  EXPECT_EQ(moved, 1);
  EXPECT_EQ(OutLog(), (std::vector<std::string>{"end", "flush", "file clip (2).tou", "start"}));
  EXPECT_EQ(Texts(), std::vector<std::string>{Note("hit filesize limit", dir.P("clip (2).tou"))});
  EXPECT_EQ(set_.continuations, 1);
  // The earlier number is replaced, not added to. A file over 4 GB counts
  // in full (sparse file, nothing written).
  set_.fileSizeLimitKB = 4u << 20;
  Sized(dir.P("clip (2).tou"), uint64_t{5} << 30);
  ASSERT_EQ(Continue(0, &moved), 0);
  EXPECT_EQ(OutputPath(), dir.P("clip (3).tou"));
  // Sound still owed to the old file is announced.
  PIN_OutputInfo info{};
  info.version = PIN_OutputInfoVersion, info.width = 6, info.height = 4, info.depth = 24;
  info.soundChannels = 2, info.soundBytes = 2, info.soundRate = 22050 << 16;
  ASSERT_EQ(PIN_SetOutputInfo(out_, &info, sizeof info), 0);
  set_.fileSizeLimitKB = 100;
  Sized(dir.P("clip (3).tou"), 200 * 1024);
  ASSERT_EQ(Continue(0, &moved, 0.5), 0);
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         Note("hit filesize limit", dir.P("clip (4).tou")),
                         "Test warning: Warning: 0.500000 seconds of audio were left in the previous file and will "
                         "be missing from this next file."}));
  // A continuation that would overwrite a file is refused.
  Sized(dir.P("clip (4).tou"), 200 * 1024);
  Sized(dir.P("clip (5).tou"), 0);
  EXPECT_EQ(Continue(0, &moved), FILE_ErrExists);
  EXPECT_EQ(Texts(), std::vector<std::string>{Logged(
                         "can't overflow to \"" + dir.P("clip (5).tou") + "\" because it already exists!", 792)});
  EXPECT_EQ(OutputPath(), dir.P("clip (4).tou"));
}

TEST_F(PINReserveTest, FolderFileCountStartsANewFolder) {
  std::filesystem::create_directory(dir.P("frames"));
  Still("frames/s[##].tsf");
  set_.folderFileLimit = 3;
  Boolean32 moved = 0;
  for (int32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(Continue(1, &moved), 0);
    EXPECT_EQ(moved, 0);
    ASSERT_EQ(PIN_AddFrame(out_, -1, Frame()), 0);
  }
  ASSERT_EQ(Continue(1, &moved), 0);
  EXPECT_EQ(moved, 1);
  EXPECT_EQ(Texts(), std::vector<std::string>{Note("hit folder file-count limit", dir.P("frames (2)"))});
  ASSERT_EQ(PIN_AddFrame(out_, -1, Frame()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.P("frames (2)/s03.tsf")));
  EXPECT_EQ(OUT(PIN_GetOutputState, out_).frames, 4);
  // A full volume moves the sequence to a new folder in an overflow folder
  // (made when missing).
  const std::string ov = dir.P("ov/deep");
  std::filesystem::create_directory(dir.P("ov"));
  set_.overflow = 1, set_.overflowFolders[0] = ov.c_str();
  freeKB_ = {{dir.P("frames (2)"), 0}};
  ASSERT_EQ(Continue(1, &moved), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>{Note("hit volume freespace limit", ov + "/frames (3)")});
  ASSERT_EQ(PIN_AddFrame(out_, -1, Frame()), 0);
  EXPECT_TRUE(std::filesystem::exists(ov + "/frames (3)/s04.tsf"));
}

TEST_F(PINReserveTest, FullVolumeOverflowsInTurn) {
  Open(kOutSig, "main/clip.tou");
  set_.marginKB = 10;
  set_.overflow = 1;
  const std::string a = dir.P("ovA"), b = dir.P("ovB"), c = dir.P("ovC");
  set_.overflowFolders[1] = a.c_str();
  set_.overflowFolders[2] = b.c_str();
  set_.overflowFolders[5] = c.c_str();
  freeKB_ = {{dir.P("main"), 31}, {a, 50}, {b, 1000}, {c, 1000}};
  Boolean32 moved = 0;
  ASSERT_EQ(Continue(20, &moved), 0);  // 31 > 10 + 20: room left
  EXPECT_EQ(moved, 0);
  freeKB_[dir.P("main")] = 30;
  ASSERT_EQ(Continue(20, &moved), 0);
  EXPECT_EQ(moved, 1);
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         "  Note: not enough free space on volume \"" + a +
                             "\" to overflow onto.  (Available = 50K, wanted = at least 51K.)",
                         Note("hit volume freespace limit", b + "/clip (2).tou")}));
  EXPECT_TRUE(std::filesystem::is_directory(b));
  EXPECT_EQ(set_.overflowSlot, 3);
  // The next overflow starts after the slot used.
  freeKB_[b] = 0;
  ASSERT_EQ(Continue(20, &moved), 0);
  EXPECT_EQ(OutputPath(), c + "/clip (3).tou");
  // With overflow off a full volume is left to fail by itself.
  freeKB_[c] = 0;
  set_.overflow = 0;
  ASSERT_EQ(Continue(20, &moved), 0);
  EXPECT_EQ(moved, 0);
  // Every slot empty or full.
  set_.overflow = 1;
  freeKB_[a] = 0;
  ASSERT_EQ(Continue(20, &moved), PIN_ErrNoOverflowSpace);
  EXPECT_EQ(Texts().back(), Logged("render can't continue -- out of disk space on all overflow volumes.", 6662));
  EXPECT_EQ(Texts().size(), 4u);
  PIN_ContinuationSettings none{};
  none.overflow = 1;
  rec.reports.clear();
  EXPECT_EQ(PIN_ContinueOutput(out_, &none, 20, 0, &moved), PIN_ErrNoOverflowSpace);
  EXPECT_EQ(Texts().size(), 1u);
}

TEST(PINContinuationNames, NumberGoesBeforeTheExtension) {
  struct Case {
    std::string name;
    bool ext;
    int32_t count;
    std::string want;
  } cases[] = {
      {"clip.avi", true, 0, "clip (2).avi"},
      {"clip (2).avi", true, 1, "clip (3).avi"},
      {"my clip.avi", true, 0, "my clip (2).avi"},
      {"my clip (2).avi", true, 1, "my clip (3).avi"},
      {"frames.v2", false, 0, "frames.v2 (2)"},
      {std::string(300, 'x') + ".avi", true, 8, std::string(246, 'x') + " (10).avi"},
  };
  for (const Case& c : cases) {
    std::string got;
    ASSERT_TRUE(tv::pin::ContinuationName(c.name, c.ext, c.count, &got));
    EXPECT_EQ(got, c.want);
  }
}

}  // namespace
}  // namespace tv::test::pin
