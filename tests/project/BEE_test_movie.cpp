// Movie rendering: frame order, frames and sound that equal single renders
// (numbered PNG stills, a lossless movie with PCM sound), stopping, the
// project left as it was, fields and failures.
#include "WriteFaults.h"
#include "BEE_test_frames.h"
#include "FILE.h"
#include "SND.h"

namespace {

using tv::test::UFixture;
using namespace tv;
using namespace tv::bee::test;
namespace fs = std::filesystem;

constexpr int kW = 64, kH = 48, kRate = 48000;
constexpr FourCC kStills = MakeFourCC("OIMG"), kMovies = MakeFourCC("MooV");

std::vector<int32_t> Order(int32_t count, bool coarse) {
  std::vector<int32_t> v(static_cast<size_t>(count) + 1, -1);
  int32_t n = -1;
  EXPECT_EQ(BEEp_MovieFrameOrder(count, coarse, v.data(), static_cast<int32_t>(v.size()), &n), 0);
  v.resize(static_cast<size_t>(std::max(n, 0)));
  return v;
}

struct StatusLog {
  std::vector<BEE_MovieStatus> seen;
  int32_t stopAfter = -1;   // stop once this many frames are done
  int32_t stopRendering = -1;  // stop when this frame's rendering begins
  BEE_Item seek = nullptr;  // moved on every status (a change the render must undo)
};

ErrorCode OnStatus(intptr_t refcon, int32_t selector, void* data) {
  auto* log = reinterpret_cast<StatusLog*>(refcon);
  if (selector != BEE_SelMovieStatus) return 0;
  const auto& st = *static_cast<const BEE_MovieStatus*>(data);
  log->seen.push_back(st);
  if (log->seek && st.frameIndex >= 0) BEE_CmdSeekItemToTime(log->seek, st.frameTime);
  if (st.status == BEE_MovieRendering && st.frameIndex == log->stopRendering) return 1;
  return log->stopAfter >= 0 && st.framesDone >= log->stopAfter ? 1 : 0;
}

class Movie : public UFixture {
 protected:
  Movie() : UFixture({BM_PackageNumber, PIN_PackageNumber, BEE_PackageNumber}) {}
  void TearDown() override {
    for (PIN_OutputSpecH o : outs_) PIN_DisposeOutputSpec(o);
    for (BM_World w : worlds_) BM_DisposeWorld(w);
    BEE_SetCallbackFunc(nullptr, 0);
    specs_.Clear();
    UFixture::TearDown();
  }
  // 64 x 48 at 10 frames a second, 3 s: a solid moving two pixels a frame.
  BEE_Item Comp() {
    BEE_CompSettings s = Settings("Movie", kW, kH, 10u << 16, Time{3, 1});
    BEE_Item c = GOT(BEE_Item, BEE_CmdNewComp, nullptr, &s);
    BEE_SolidSettings solid = Solid("Box", 0xFF20A040, 12, 10);
    LinearKeys(GOT(BEE_Layer, BEE_CmdNewSolidLayer, c, &solid), BEE_StreamPosition, {{0, 2, 10}, {3, 62, 40}});
    return c;
  }
  PIN_OutputSpecH Output(FourCC sig, const std::string& name, int w = kW, int h = kH) {
    PIN_OutputSpecH out = GOT(PIN_OutputSpecH, PIN_NewOutputSpec, sig, w, h);
    EXPECT_EQ(PIN_SetOutputFile(out, specs_.New(dir.P(name))), 0);
    outs_.push_back(out);
    return out;
  }
  // A movie of the codec at 10 frames a second with 48 kHz stereo sound.
  PIN_OutputSpecH MovieOut(const std::string& name, FourCC codec) {
    PIN_OutputSpecH out = Output(kMovies, name);
    const int32_t c = static_cast<int32_t>(codec), rate = 10 << 16, sr = kRate, ch = 2;
    EXPECT_EQ(PIN_SetOutSpecificData(out, 1, &c, 4), 0);
    EXPECT_EQ(PIN_SetOutSpecificData(out, 3, &rate, 4), 0);
    EXPECT_EQ(PIN_SetOutSpecificData(out, 4, &sr, 4), 0);
    EXPECT_EQ(PIN_SetOutSpecificData(out, 5, &ch, 4), 0);
    PIN_OutputInfo info{};
    EXPECT_EQ(PIN_GetOutputInfo(out, &info, sizeof info), 0);
    info.depth = 32;
    info.frameRate = rate;
    info.soundRate = static_cast<uint32_t>(kRate) << 16;
    info.soundEncoding = SND_Encoding_Signed;
    info.soundBytes = 2;
    info.soundChannels = 2;
    EXPECT_EQ(PIN_SetOutputInfo(out, &info, sizeof info), 0);
    return out;
  }
  BEE_RenderSettings Settings3s(BEE_Item comp, std::vector<BEE_MovieOutput>& entries) {
    BEE_RenderSettings s{};
    s.comp = comp;
    s.outputCount = static_cast<int32_t>(entries.size());
    s.outputs = entries.data();
    s.start = Time{0, 1};
    s.duration = Time{3, 1};
    s.frameRate = 10u << 16;
    return s;
  }
  BM_World NewWorld(int w = kW, int h = kH) {
    const Rect r{0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    BM_World world = GOT(BM_World, BM_NewWorld, nullptr, BM_Flag_Clear, &r, 32, 0, nullptr);
    worlds_.push_back(world);
    return world;
  }
  std::vector<uint8_t> Single(BEE_Item comp, Time t, Time span = Time{1, 10}, int32_t field = 0,
                              BM_World into = nullptr) {
    BM_World w = into ? into : NewWorld();
    const BEE_RenderRequest rq{t, span, field, 0, -1, {0, 0}};
    EXPECT_EQ(BEEp_RenderItemFrame(comp, &rq, w), 0);
    return WorldBytes(w);
  }
  PIN_SeqSpecH Open(const std::string& name) {
    return GOT(PIN_SeqSpecH, PIN_NewSeqSpecFromFile, specs_.New(dir.P(name)));
  }
  std::vector<uint8_t> Read(PIN_SeqSpecH seq, Time t, int w = kW, int h = kH) {
    BM_World world = NewWorld(w, h);
    PIN_DrawParams p{};
    p.time = t;
    EXPECT_EQ(PIN_DrawFrame(seq, world, &p), 0);
    return WorldBytes(world);
  }
  // The frame of a still file, read in a world of w x h.
  std::vector<uint8_t> Still(const std::string& name, int w = kW, int h = kH) {
    PIN_SeqSpecH seq = Open(name);
    const std::vector<uint8_t> bytes = Read(seq, Time{0, 1}, w, h);
    PIN_DisposeSeqSpec(seq);
    return bytes;
  }
  // The sound of a movie over the span, as 16-bit stereo at the test rate.
  std::vector<int16_t> Sound(PIN_SeqSpecH seq, Time start, Time duration) {
    SND_World back = GOT(SND_World, SND_NewWorld, nullptr, nullptr);
    const SND_Format f{double(kRate), SND_Encoding_Signed, 2, 2, 0};
    PIN_SoundRequest r{start, duration, f, SND_Quality_Best};
    EXPECT_EQ(PIN_GetSound(seq, &r, back), 0);
    return Samples(back);
  }
  static std::vector<int16_t> Samples(SND_World w) {
    SND_WorldInfo info = GOT(SND_WorldInfo, SNDp_GetWorldInfo, w);
    SND_LockBuffer(0, w);
    void* p = nullptr;
    SNDp_GetBuffer(w, &p);
    std::vector<int16_t> v(static_cast<int16_t*>(p), static_cast<int16_t*>(p) + info.frames * 2);
    SND_UnlockBuffer(w);
    SND_DisposeWorld(w);
    return v;
  }
  std::vector<std::string> Files() { return Entries(dir.path()); }

  tv::test::TempDir dir;
  tv::test::Specs specs_;
  std::vector<PIN_OutputSpecH> outs_;
  std::vector<BM_World> worlds_;
};

// Three seconds with sound into a lossless movie: the project stays as it
// was, the host hears every frame, and each frame and the whole sound equal
// single renders.
TEST_F(Movie, ThreeSecondsWithSoundEqualSingleRenders) {
  BEE_Item comp = Comp();
  WriteToneWav(dir.P("tone.wav"), 3, kRate);
  BEE_Item tone = GOT(BEE_Item, BEE_CmdImportFootage, nullptr, specs_.New(dir.P("tone.wav")), 0);
  ASSERT_NE(GOT(BEE_Layer, BEE_CmdNewLayer, comp, tone), nullptr);
  std::vector<BEE_MovieOutput> entries{{MovieOut("lossless.mov", MakeFourCC("png ")), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  StatusLog log;
  BEE_SetCallbackFunc(OnStatus, reinterpret_cast<intptr_t>(&log));
  ASSERT_EQ(BEE_SetProjectDirty(0), 0);
  const std::string before = Dump();
  const std::vector<int32_t> stacks = Stacks();
  Boolean32 stopped = 7;
  ASSERT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(Stacks(), stacks);
  EXPECT_EQ(Dirty(), 0);
  EXPECT_EQ(std::pair(entries[0].framesWritten, entries[0].wrote), std::pair(30, Boolean32{1}));
  ASSERT_FALSE(log.seen.empty());
  EXPECT_EQ(log.seen.front().status, BEE_MovieBegin);
  EXPECT_EQ(log.seen.back().status, BEE_MovieEnded);
  EXPECT_EQ(std::pair(log.seen.back().framesDone, log.seen.back().framesTotal), std::pair(30, 30));
  PIN_SeqSpecH mov = Open("lossless.mov");
  for (int k : {0, 1, 14, 29}) EXPECT_EQ(Read(mov, Time{2 * k + 1, 20}), Single(comp, Time{k, 10})) << k;
  SND_World whole = nullptr;
  const SND_Format f{double(kRate), SND_Encoding_Signed, 2, 2, 0};
  ASSERT_EQ(BEE_RenderCompSound(comp, 0, Time{0, 1}, Time{3, 1}, &f, &whole), 0);
  const std::vector<int16_t> all = Samples(whole);
  ASSERT_EQ(all.size(), size_t{kRate * 3 * 2});
  EXPECT_EQ(Sound(mov, Time{0, 1}, Time{3, 1}), all);
  PIN_DisposeSeqSpec(mov);
}

TEST_F(Movie, StopLeavesFinishedFramesAndTheProjectAsItWas) {
  BEE_Item comp = Comp();
  ASSERT_EQ(BEE_CmdRenameItem(comp, "Renamed"), 0);  // the user's last step
  std::vector<BEE_MovieOutput> entries{{Output(kStills, "s_[##].png"), 0, 0, 0, 0},
                                       {MovieOut("stop.mov", MakeFourCC("png ")), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  StatusLog log;
  log.stopAfter = 3;
  log.seek = comp;  // every status moves the composition's time
  BEE_SetCallbackFunc(OnStatus, reinterpret_cast<intptr_t>(&log));
  ASSERT_EQ(BEE_SetProjectDirty(0), 0);
  const std::string before = Dump();
  const std::vector<int32_t> stacks = Stacks();
  Boolean32 stopped = GOT(Boolean32, BEE_CmdMakeMovie, &s);
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(Stacks(), stacks);
  EXPECT_EQ(GroupName(true), "Name Change");
  EXPECT_EQ(GroupName(false), "<none>");
  EXPECT_EQ(Dirty(), 0);
  Boolean32 making = 1;
  EXPECT_EQ(BEE_IsMakingMovie(&making), 0);
  EXPECT_EQ(making, 0);
  EXPECT_EQ(Files(), (std::vector<std::string>{"s_00.png", "s_01.png", "s_02.png", "stop.mov"}));
  EXPECT_EQ(entries[1].framesWritten, 3);
  PIN_SeqSpecH mov = Open("stop.mov");
  Time d = GOT(Time, PIN_GetDuration, mov);
  EXPECT_EQ(d.value * 10, static_cast<int32_t>(d.scale) * 3);
  PIN_DisposeSeqSpec(mov);
  // A dirty project stays dirty.
  ASSERT_EQ(BEE_SetProjectDirty(1), 0);
  log = StatusLog{};
  log.stopAfter = 0;
  EXPECT_EQ(GOT(Boolean32, BEE_CmdMakeMovie, &s), 1);
  EXPECT_EQ(Dirty(), 1);
}

// A stopped render does not end a movie over a file that had its name: the
// earlier file stays exactly as it was and no temporary file is left.
TEST_F(Movie, StopKeepsAnEarlierFileOfTheMoviesName) {
  BEE_Item comp = Comp();
  std::ofstream(dir.P("stop.mov"), std::ios::binary) << "an earlier movie";
  std::vector<BEE_MovieOutput> entries{{MovieOut("stop.mov", MakeFourCC("png ")), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  StatusLog log;
  log.stopAfter = 2;
  BEE_SetCallbackFunc(OnStatus, reinterpret_cast<intptr_t>(&log));
  EXPECT_EQ(GOT(Boolean32, BEE_CmdMakeMovie, &s), 1);
  EXPECT_EQ(entries[0].framesWritten, 2);
  EXPECT_EQ(Files(), std::vector<std::string>{"stop.mov"});
  EXPECT_EQ(tv::test::Slurp(dir.P("stop.mov")), "an earlier movie");
}

TEST_F(Movie, DurationZeroFieldsAndOrder) {
  BEE_Item comp = Comp();
  std::vector<BEE_MovieOutput> entries{{Output(kStills, "z.png"), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  s.duration = Time{0, 1};
  s.start = Time{1, 1};
  s.coarseToFine = 1;
  Boolean32 stopped = GOT(Boolean32, BEE_CmdMakeMovie, &s);
  // 1/600 second holds no whole frame: the frame at the start is rendered.
  EXPECT_EQ(Files(), (std::vector<std::string>{"z00000.png"}));
  EXPECT_EQ(Still("z00000.png"), Single(comp, Time{1, 1}));

  // Fields, lower first: odd rows at the frame's time, even rows half a frame later.
  entries = {{Output(kStills, "fld_[#].png"), 0, 0, 0, 0}};
  s = Settings3s(comp, entries);
  s.start = Time{5, 10};
  s.duration = Time{1, 10};
  s.fieldOrder = 2;
  ASSERT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
  BM_World both = NewWorld();
  Single(comp, Time{5, 10}, Time{1, 20}, 2, both);
  const std::vector<uint8_t> want = Single(comp, Time{11, 20}, Time{1, 20}, 1, both);
  EXPECT_EQ(Still("fld_0.png"), want);

  // Coarse to fine over 9 frames of stills; with a movie among the outputs
  // the frames go in order, with a note.
  for (bool withMovie : {false, true}) {
    entries = {{Output(kStills, withMovie ? "m_[#].png" : "c_[#].png"), 0, 0, 0, 0}};
    if (withMovie) entries.push_back({MovieOut("order.mov", MakeFourCC("png ")), 0, 0, 0, 0});
    s = Settings3s(comp, entries);
    s.duration = Time{9, 10};
    s.coarseToFine = 1;
    StatusLog log;
    BEE_SetCallbackFunc(OnStatus, reinterpret_cast<intptr_t>(&log));
    rec.clear();
    ASSERT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
    std::vector<int32_t> order;
    for (const BEE_MovieStatus& st : log.seen)
      if (st.status == BEE_MovieFrameDone) order.push_back(st.frameIndex);
    EXPECT_EQ(order, withMovie ? Order(9, false) : (std::vector<int32_t>{0, 8, 4, 2, 6, 1, 3, 5, 7}));
    ASSERT_EQ(rec.reports.size(), withMovie ? 1u : 0u);
    if (withMovie) {
      EXPECT_EQ(rec.reports[0].severity, 32);
    }
  }
}

TEST_F(Movie, ReservedFramesAreRenderedOnceAndAStopGivesTheClaimBack) {
  BEE_Item comp = Comp();
  // Another renderer holds frames 3 and 5 (claimed: empty files).
  std::ofstream(dir.P("r_3.png")).flush();
  std::ofstream(dir.P("r_5.png")).flush();
  auto run = [&](const char* name, StatusLog& log) {
    std::vector<BEE_MovieOutput> entries{{Output(kStills, name), 0, 0, 0, 0}};
    BEE_RenderSettings s = Settings3s(comp, entries);
    s.duration = Time{9, 10};
    s.reserveFrames = 1;
    BEE_SetCallbackFunc(OnStatus, reinterpret_cast<intptr_t>(&log));
    Boolean32 stopped = 0;
    EXPECT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
    std::vector<int32_t> written, skipped;
    for (const BEE_MovieStatus& st : log.seen) {
      if (st.status == BEE_MovieFrameDone) written.push_back(st.frameIndex);
      if (st.status == BEE_MovieSkipped) skipped.push_back(st.frameIndex);
    }
    return std::make_pair(written, skipped);
  };
  StatusLog first, second;
  auto [w1, s1] = run("r_[#].png", first);
  EXPECT_EQ(w1, (std::vector<int32_t>{0, 1, 2, 4, 6, 7, 8}));
  EXPECT_EQ(s1, (std::vector<int32_t>{3, 5}));
  EXPECT_EQ(first.seen.back().framesDone, 9);
  // A second renderer on the same sequence finds every frame taken.
  auto [w2, s2] = run("r_[#].png", second);
  EXPECT_TRUE(w2.empty());
  EXPECT_EQ(s2.size(), 9u);
  for (int k = 0; k < 9; ++k) {
    const std::string name = dir.P("r_" + std::to_string(k) + ".png");
    EXPECT_EQ(fs::file_size(name) == 0, k == 3 || k == 5) << name;
  }
  // A stop while frame 4 renders: frames 0..3 stay, frame 4's claim goes.
  StatusLog stop;
  stop.stopRendering = 4;
  auto [w3, s3] = run("q_[#].png", stop);
  EXPECT_EQ(w3, (std::vector<int32_t>{0, 1, 2, 3}));
  for (int k = 0; k < 9; ++k) EXPECT_EQ(fs::exists(dir.P("q_" + std::to_string(k) + ".png")), k < 4) << k;
}

// A render at the undo limit keeps every step the user can undo.
TEST_F(Movie, RenderAtTheUndoLimitKeepsTheOldestUndoStep) {
  BEE_Item comp = Comp();
  BEE_Prefs prefs = GOT(BEE_Prefs, BEE_GetPrefs);
  const BEE_Prefs saved = prefs;
  prefs.undoLevels = 2;
  ASSERT_EQ(BEE_SetPrefs(&prefs), 0);
  char original[32] = {}, name[32] = {};
  ASSERT_EQ(BEE_GetItemName(comp, original), 0);
  ASSERT_EQ(BEE_CmdRenameItem(comp, "First"), 0);
  ASSERT_EQ(BEE_CmdRenameItem(comp, "Second"), 0);
  const std::vector<int32_t> stacks = Stacks();
  std::vector<BEE_MovieOutput> entries{{Output(kStills, "u_[#].png"), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  s.duration = Time{1, 10};
  Boolean32 stopped = 7;
  ASSERT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
  EXPECT_EQ(Stacks(), stacks);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_Undo(), 0);
  ASSERT_EQ(BEE_GetItemName(comp, name), 0);
  EXPECT_STREQ(name, original);
  ASSERT_EQ(BEE_SetPrefs(&saved), 0);
}

TEST_F(Movie, RefusalsAndFailuresLeaveTheProject) {
  BEE_Item comp = Comp();
  ASSERT_EQ(BEE_SetProjectDirty(0), 0);
  const std::string before = Dump();
  const std::vector<int32_t> stacks = Stacks();
  Boolean32 stopped = 7;
  EXPECT_EQ(BEE_CmdMakeMovie(nullptr, &stopped), 3);
  std::vector<BEE_MovieOutput> entries{{Output(kStills, "r_[#].png"), 0, 0, 0, 0}};
  BEE_RenderSettings s = Settings3s(comp, entries);
  s.frameRate = 0;
  EXPECT_EQ(BEE_CmdMakeMovie(&s, &stopped), 3);
  s = Settings3s(comp, entries);
  s.fieldOrder = 3;
  EXPECT_EQ(BEE_CmdMakeMovie(&s, &stopped), 3);
  // An output frame without area.
  entries = {{Output(kStills, "r_[#].png", kW, 0), 0, 0, 0, 0}};
  s = Settings3s(comp, entries);
  rec.clear();
  EXPECT_EQ(BEE_CmdMakeMovie(&s, &stopped), 3);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].location, 0x1A000099u);
  EXPECT_NE(rec.reports[0].text.find("invalid output frame dimensions"), std::string::npos) << rec.reports[0].text;
  // Reserving frames needs a still sequence first.
  entries = {{MovieOut("x.mov", MakeFourCC("png ")), 0, 0, 0, 0}};
  s = Settings3s(comp, entries);
  s.reserveFrames = 1;
  EXPECT_EQ(BEE_CmdMakeMovie(&s, &stopped), 3);
  // A frame written to the first output whose second cannot write it.
  entries = {{Output(kStills, "n_[#].png"), 0, 0, 0, 0}, {MovieOut("missing/n.mov", MakeFourCC("png ")), 0, 0, 0, 0}};
  s = Settings3s(comp, entries);
  rec.clear();
  EXPECT_NE(BEE_CmdMakeMovie(&s, &stopped), 0);
  ASSERT_EQ(rec.reports.size(), 2u);
  EXPECT_NE(rec.reports[1].text.find("last frame was written to one or more output modules, but not all!"),
            std::string::npos);
  EXPECT_EQ(rec.reports[1].severity, 4);
  EXPECT_EQ(entries[0].framesWritten, 1);
  EXPECT_EQ(entries[1].framesWritten, 0);
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(Stacks(), stacks);
  EXPECT_EQ(Dirty(), 0);
  // An output whose frame is larger than the render gets the frame centred.
  entries = {{Output(kStills, "big.png", kW + 4, kH + 2), 0, 0, 0, 0}};
  s = Settings3s(comp, entries);
  s.duration = Time{1, 10};
  ASSERT_EQ(BEE_CmdMakeMovie(&s, &stopped), 0);
  const std::vector<uint8_t> frame = Single(comp, Time{0, 1});
  std::vector<uint8_t> want(static_cast<size_t>((kW + 4) * (kH + 2) * 4), 0);
  for (int y = 0; y < kH; ++y)
    std::copy_n(&frame[static_cast<size_t>(y * kW * 4)], kW * 4,
                &want[static_cast<size_t>(((y + 1) * (kW + 4) + 2) * 4)]);
  EXPECT_EQ(Still("big00000.png", kW + 4, kH + 2), want);
}

}  // namespace
