// Output continuation: a file that reaches its size limit, a folder that
// reaches its file count and a volume that fills (free space from a fake
// provider), with the overflow folders, the notes and the failures.
#include <filesystem>
#include <fstream>
#include <map>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

inline constexpr tv::pin::Driver kContinueDrivers[] = {
    {"Placeholder", tv::pin::PlaceholderBirth},
    {"Test Frames", TsfBirth},
    {"Test Output", OutBirth},
};

class PINContinueTest : public PINTest {
 protected:
  PINContinueTest() { tv::pin::SetDriversForTesting(kContinueDrivers); }
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
    if (out_) PIN_DisposeOutputSpec(out_);
    if (world_) BM_DisposeWorld(world_);
    PINTest::TearDown();
  }
  void Open(FourCC sig, const std::string& path) {
    ASSERT_EQ(PIN_NewOutputSpec(sig, 6, 4, &out_), 0);
    FILE_SpecH ref = Ref(path);
    ASSERT_EQ(PIN_SetOutputFile(out_, ref), 0);
    FILE_Dispose(ref);
    ASSERT_EQ(PIN_StartAdding(out_), 0);
  }
  ErrorCode Continue(uint32_t estimateKB, Boolean32* continued, double soundLeft = 0) {
    rec.reports.clear();
    OutLog().clear();
    return PIN_ContinueOutput(out_, &set_, estimateKB, soundLeft, continued);
  }
  std::string OutputPath() {
    FILE_SpecH ref = nullptr;
    EXPECT_EQ(PIN_GetOutputFile(out_, &ref), 0);
    char path[FILE_MaxPath] = "";
    if (ref) FILE_InqName(ref, FILE_NameFullPath, path, sizeof path);
    FILE_Dispose(ref);
    return path;
  }
  static void Sized(const std::string& path, uint64_t bytes) {
    std::ofstream(path).close();
    std::filesystem::resize_file(path, bytes);  // sparse: nothing is written
  }
  static std::string Note(const std::string& reason, const std::string& path) {
    return "  Note: output " + reason + ", continuing as \"" + path + "\".";
  }
  BM_World Frame() {
    const Rect bounds{0, 0, 4, 6};
    if (!world_) {
      EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world_), 0);
    }
    return world_;
  }
  PIN_OutputSpecH out_ = nullptr;
  BM_World world_ = nullptr;
  PIN_ContinuationSettings set_{};
  std::map<std::string, uint64_t> freeKB_;
};

TEST_F(PINContinueTest, FileSizeLimitStartsNumberedFiles) {
  Open(kOutSig, dir.P("clip.tou"));
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

TEST_F(PINContinueTest, FolderFileCountStartsANewFolder) {
  std::filesystem::create_directory(dir.P("frames"));
  Open(kTsfSig, dir.P("frames/s[##].tsf"));
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
  PIN_OutputState st{};
  ASSERT_EQ(PIN_GetOutputState(out_, &st), 0);
  EXPECT_EQ(st.frames, 4);
}

TEST_F(PINContinueTest, FullVolumeOverflowsInTurn) {
  Open(kOutSig, dir.P("main/clip.tou"));
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
