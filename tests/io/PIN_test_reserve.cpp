// Numbered still files of an output: names, reservation by several renderers
// (processes sharing one folder), unreservation, the byte total and the
// folders exempt from it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "PIN_test_fixture.h"
#include "Prefs.h"

namespace tv::test::pin {
namespace {

class PINReserveTest : public PINTest {
 protected:
  void TearDown() override {
    if (world_) BM_DisposeWorld(world_);
    for (PIN_OutputSpecH o : outs_) PIN_DisposeOutputSpec(o);
    platform::prefs::SetString(TV_PREFS_SECTION, "DontCheckSpaceDrives", "");
    PINTest::TearDown();
  }
  // A started still-sequence output writing dir/<templ>.
  PIN_OutputSpecH Still(const std::string& templ, int32_t first = 0) {
    PIN_OutputSpecH out = nullptr;
    EXPECT_EQ(PIN_NewOutputSpec(kTsfSig, 6, 4, &out), 0);
    FILE_SpecH ref = Ref(templ[0] == '/' ? templ : dir.P(templ));
    EXPECT_EQ(PIN_SetOutputFile(out, ref), 0);
    FILE_Dispose(ref);
    EXPECT_EQ(PIN_SetOutputNumbering(out, first, 0), 0);
    EXPECT_EQ(PIN_StartAdding(out), 0);
    outs_.push_back(out);
    return out;
  }
  BM_World Frame() {
    const Rect bounds{0, 0, 4, 6};
    if (!world_) {
      EXPECT_EQ(BM_NewWorld(nullptr, BM_Flag_Clear, &bounds, 32, 0, nullptr, &world_), 0);
    }
    return world_;
  }
  static int32_t LastIndex(PIN_OutputSpecH out) {
    PIN_OutputState st{};
    EXPECT_EQ(PIN_GetOutputState(out, &st), 0);
    return st.lastIndex;
  }
  std::vector<PIN_OutputSpecH> outs_;
  BM_World world_ = nullptr;
};

TEST_F(PINReserveTest, ReservationClaimsEachFrameOnce) {
  PIN_OutputSpecH a = Still("r_[###].tsf"), b = Still("r_[###].tsf");
  Boolean32 got = 0;
  ASSERT_EQ(PIN_ReserveFrame(a, 0, 0, &got), 0);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(std::filesystem::file_size(dir.P("r_000.tsf")), 0u);
  // Another renderer finds the file there: refused silently, and its next
  // request (index -1) goes on to the following frame.
  rec.reports.clear();
  ASSERT_EQ(PIN_ReserveFrame(b, 0, 0, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(LastIndex(b), 0);
  ASSERT_EQ(PIN_ReserveFrame(b, -1, 0, &got), 0);
  EXPECT_EQ(got, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.P("r_001.tsf")));
  // The frame is written over its empty file.
  ASSERT_EQ(PIN_AddFrame(a, 0, Frame()), 0);
  EXPECT_EQ(std::filesystem::file_size(dir.P("r_000.tsf")), 16u);
  Boolean32 exists = 0;
  ASSERT_EQ(PIN_DoesFileExist(b, 1, 0, &exists), 0);
  EXPECT_EQ(exists, 1);
  ASSERT_EQ(PIN_DoesFileExist(b, 7, 0, &exists), 0);
  EXPECT_EQ(exists, 0);
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
  Boolean32 got = 0;
  ASSERT_EQ(PIN_ReserveFrame(out, 3, 0, &got), 0);
  ASSERT_EQ(got, 1);
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
  FILE_SpecH ref = nullptr;
  ASSERT_EQ(PIN_LocSpecStillFrameFromOutSpec(out, 7, &ref), 0);
  char name[FILE_MaxPath];
  ASSERT_EQ(FILE_InqName(ref, FILE_NameOnly, name, sizeof name), 0);
  EXPECT_STREQ(name, "n0107.tsf");
  FILE_Dispose(ref);
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
  int32_t len = -1;
  const std::pair<const char*, int32_t> exts[] = {{"a.png", 4}, {"dir.v2/a", 0}, {".hidden", 0}, {"a.b.tiff", 5}};
  for (const auto& [n, want] : exts) {
    ASSERT_EQ(PIN_ExtLen(n, &len), 0);
    EXPECT_EQ(len, want) << n;
  }
}

TEST_F(PINReserveTest, ByteTotalSaturatesAndExemptFoldersKeepZero) {
  PIN_OutputSpecH out = Still("t[#].tsf");
  ASSERT_EQ(PIN_AddFrame(out, 0, Frame()), 0);
  tv::pin::OutRec(out).totalBytes = 0x7FFFFFF8;
  ASSERT_EQ(PIN_AddFrame(out, 1, Frame()), 0);
  PIN_OutputState st{};
  ASSERT_EQ(PIN_GetOutputState(out, &st), 0);
  EXPECT_EQ(st.bytes, 0x7FFFFFFF);
  int64_t space = 0, bytes = 0;
  ASSERT_EQ(PIN_GetSizes(out, &space, &bytes), 0);
  EXPECT_EQ(bytes, 0x80000008);
  // A second start keeps the frame count.
  ASSERT_EQ(PIN_EndAdding(out), 0);
  ASSERT_EQ(PIN_StartAdding(out), 0);
  ASSERT_EQ(PIN_GetOutputState(out, &st), 0);
  EXPECT_EQ(st.frames, 2);

  ASSERT_EQ(platform::prefs::SetString(TV_PREFS_SECTION, "DontCheckSpaceDrives", "C; /nowhere , " + dir.path() + "/"), 0);
  PIN_OutputSpecH exempt = Still("e[#].tsf");
  ASSERT_EQ(PIN_AddFrame(exempt, 0, Frame()), 0);
  ASSERT_EQ(PIN_GetOutputState(exempt, &st), 0);
  EXPECT_EQ(st.bytes, 0);
}

// Three processes render one numbered sequence into one folder, each taking
// the next frame it can claim: every frame is claimed by exactly one.
TEST_F(PINReserveTest, ProcessesShareOneSequence) {
  constexpr int kFrames = 60, kChildren = 3;
  PIN_OutputSpecH out = Still("m_[###].tsf");
  Frame();
  int gate[2], results[2];
  ASSERT_EQ(pipe(gate), 0);
  ASSERT_EQ(pipe(results), 0);
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(gate[1]);
      char go;
      (void)!read(gate[0], &go, 1);  // all start together
      int status = 0;
      for (int i = 0; i < kFrames && status == 0; ++i) {
        Boolean32 got = 0;
        if (PIN_ReserveFrame(out, i, 0, &got) != 0) status = 1;
        if (got && PIN_AddFrame(out, i, world_) == 0) {
          const int32_t v = i;
          (void)!write(results[1], &v, sizeof v);
        }
      }
      _exit(status);
    }
    pids.push_back(pid);
  }
  close(gate[0]);
  close(results[1]);
  close(gate[1]);  // opens the gate
  std::vector<int32_t> claimed;
  int32_t v = 0;
  while (read(results[0], &v, sizeof v) == sizeof v) claimed.push_back(v);
  close(results[0]);
  for (pid_t pid : pids) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::sort(claimed.begin(), claimed.end());
  ASSERT_EQ(claimed.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(claimed[static_cast<size_t>(i)], i);
  for (int i = 0; i < kFrames; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m_%03d.tsf", i);
    EXPECT_EQ(std::filesystem::file_size(dir.P(name)), 16u) << name;
  }
}

}  // namespace
}  // namespace tv::test::pin
