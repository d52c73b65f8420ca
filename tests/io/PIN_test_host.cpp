// What the host hands to the framework: its dialogs (destination, footage
// options) and their absence, drawing requests checked, the clipboard's way
// to the modules, and device-independent bitmaps turned into Worlds.
#include <cstring>

#include "PIN_test_fixture.h"

namespace tv::test::pin {
namespace {

using PINHostTest = PINTest;

struct Dialog {
  int32_t kind = 0;
  std::string path;
  bool cancel = false;
  int calls = 0;
};

ErrorCode AnswerDialog(intptr_t refcon, int32_t kind, Handle, char* path, int32_t size, Boolean32* cancelled) {
  auto* d = reinterpret_cast<Dialog*>(refcon);
  ++d->calls;
  d->kind = kind;
  *cancelled = d->cancel;
  if (path && size > 0) std::snprintf(path, static_cast<size_t>(size), "%s", d->path.c_str());
  return 0;
}

TEST_F(PINHostTest, DialogsGoThroughTheHost) {
  WriteTsf(dir.P("d.tsf"), 4, 4, 1);
  PIN_SeqSpecH seq = Opened(dir.P("d.tsf"));
  PIN_OutputSpecH out = OUT(PIN_NewOutputSpec, kTsfSig, 4, 4);
  // The name of the output's file.
  const auto outName = [&] { return TakeName(OUT(PIN_GetOutputFile, out)); };
  Boolean32 cancelled = 1;
  // Without a host dialog: refused, once each.
  EXPECT_EQ(PIN_DestinationDialog(out, &cancelled), kErrUnsupported);
  EXPECT_EQ(PIN_SeqOptionsDialog(seq, &cancelled), kErrUnsupported);
  EXPECT_EQ(cancelled, 0);
  EXPECT_EQ(Texts(), std::vector<std::string>(2, "Test error: this module requires user interaction to choose a "
                                                 "file -- unsupported in this environment."));
  Dialog d;
  d.path = dir.P("chosen_[##].tsf");
  ASSERT_EQ(PIN_SetUserDialogProc(AnswerDialog, reinterpret_cast<intptr_t>(&d)), 0);
  ASSERT_EQ(PIN_DestinationDialog(out, &cancelled), 0);
  EXPECT_EQ(d.kind, PIN_Dialog_Destination);
  EXPECT_EQ(outName(), "chosen_[##].tsf");
  // Cancelled: nothing changes.
  d.cancel = true;
  d.path = dir.P("other.tsf");
  EXPECT_EQ(OUT(PIN_DestinationDialog, out), 1);
  EXPECT_EQ(outName(), "chosen_[##].tsf");
  ASSERT_EQ(PIN_SeqOptionsDialog(seq, &cancelled), 0);
  EXPECT_EQ(d.kind, PIN_Dialog_SeqOptions);
  EXPECT_EQ(d.calls, 3);
  ASSERT_EQ(PIN_SetUserDialogProc(nullptr, 0), 0);
  PIN_DisposeOutputSpec(out);
}

TEST_F(PINHostTest, RequestsAndProceduresAreKept) {
  WriteTsf(dir.P("r.tsf"), 4, 4, 1);
  PIN_SeqSpecH seq = nullptr;
  ASSERT_EQ(Import(dir.P("r.tsf"), 0, &seq), 0);
  struct Case {
    Time time;
    Ratio sx;
    Boolean32 want;
  } cases[] = {{{0, 1}, {0, 0}, 1}, {{5, 30}, {1, 2}, 1}, {{0, 0}, {0, 0}, 0}, {{0, 1}, {1, 0}, 0},
               {{INT32_MIN, 1}, {0, 0}, 0}, {{0, 1}, {-1, 2}, 0}};
  for (const Case& c : cases) {
    PIN_DrawParams p{};
    p.time = c.time;
    p.scaleX = c.sx;
    EXPECT_EQ(OUT(PIN_IsThisPBSufficient, seq, &p), c.want) << c.time.value << "/" << c.time.scale;
  }
  PIN_DisposeSeqSpec(seq);
  PIN_HostProcs procs{42, nullptr, nullptr};
  ASSERT_EQ(PIN_SetHostProcs(&procs), 0);
  EXPECT_EQ(OUT(PIN_GetHostProcs).refcon, 42);
  int sheet = 0;
  ASSERT_EQ(PIN_SetCueSheet(&sheet), 0);
  EXPECT_EQ(OUT(PIN_GetCueSheet), &sheet);
  // Death forgets them.
  ASSERT_EQ(PIN_Death(), 0);
  ASSERT_EQ(PIN_Birth(), 0);
  EXPECT_EQ(OUT(PIN_GetHostProcs).refcon, 0);
  // No module converts clipboard items here.
  EXPECT_EQ(OUT(PIN_GetScrapModuleSignature, kTsfType), PIN_NoSignature);
  Handle scrap = NewHandle(4), converted = nullptr;
  rec.reports.clear();
  EXPECT_EQ(PIN_ConvertScrap(kTsfSig, scrap, &converted), PIN_ErrUnsupported);
  EXPECT_EQ(converted, nullptr);
  EXPECT_EQ(PIN_CleanupScrap(kTsfSig, scrap), PIN_ErrUnsupported);
  EXPECT_EQ(Texts(), (std::vector<std::string>{
                         Logged("the chosen format does not support converting clipboard items.", PIN_ErrUnsupported),
                         Logged("the chosen format does not support disposing of clipboard items.",
                                PIN_ErrUnsupported)}));
  DisposeHandle(scrap);
  EXPECT_EQ(OUT(PINp_GetSigFromType, 0, 0, "x.tsf", 1), kTsfSig);
}

// A bitmap of the given bits: 40-byte header, colour table, rows.
std::vector<uint8_t> Dib(int32_t w, int32_t h, uint16_t bits, std::vector<uint8_t> table,
                         std::vector<uint8_t> rows) {
  std::vector<uint8_t> b(40);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(w));
  put32(8, static_cast<uint32_t>(h));
  b[12] = 1;
  b[14] = static_cast<uint8_t>(bits);
  put32(32, static_cast<uint32_t>(table.size() / 4));
  b.insert(b.end(), table.begin(), table.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

TEST_F(PINHostTest, BitmapsBecomeWorlds) {
  // (bitmap, expected ARGB rows top first)
  const std::vector<uint8_t> table = {0, 0, 255, 0, 255, 0, 0, 0};  // BGRx: red, blue
  struct Case {
    std::vector<uint8_t> dib;
    Boolean32 alpha;
    std::vector<uint8_t> want;
  } cases[] = {
      // 2x2, 24 bits, bottom-up, rows padded to 8 bytes.
      {Dib(2, 2, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}), 0,
       {255, 9, 8, 7, 255, 12, 11, 10, 255, 3, 2, 1, 255, 6, 5, 4}},
      // Top-down (negative height), 32 bits with alpha.
      {Dib(1, -2, 32, {}, {1, 2, 3, 128, 4, 5, 6, 0}), 1, {128, 3, 2, 1, 0, 6, 5, 4}},
      {Dib(1, -2, 32, {}, {1, 2, 3, 128, 4, 5, 6, 0}), 0, {255, 3, 2, 1, 255, 6, 5, 4}},
      // 1 bit, three pixels of one row: 1 0 1.
      {Dib(3, 1, 1, table, {0xA0, 0, 0, 0}), 0, {255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 0, 255}},
      // 4 bits: indices 1, 0.
      {Dib(2, 1, 4, table, {0x10, 0, 0, 0}), 0, {255, 0, 0, 255, 255, 255, 0, 0}},
  };
  for (const Case& c : cases) {
    BM_World w = OUT(PIN_DIB2BM, c.dib.data(), static_cast<int32_t>(c.dib.size()), c.alpha);
    EXPECT_EQ(Argb(w), c.want);
    BM_DisposeWorld(w);
  }
  // Malformed: each refused once, nothing made.
  std::vector<uint8_t> good = Dib(2, 2, 24, {}, std::vector<uint8_t>(16));
  std::vector<std::vector<uint8_t>> bad = {
      std::vector<uint8_t>(good.begin(), good.end() - 1),  // truncated rows
      Dib(0, 2, 24, {}, std::vector<uint8_t>(16)),         // no width
      Dib(2, 2, 16, {}, std::vector<uint8_t>(16)),         // 16 bits
      Dib(2, 2, 8, std::vector<uint8_t>(4 * 257), {}),     // colour table too large
      Dib(40000, 1, 24, {}, {}),                           // too wide
  };
  bad.push_back(good);
  bad.back()[16] = 1;  // compressed
  for (const auto& b : bad) {
    rec.reports.clear();
    BM_World w = reinterpret_cast<BM_World>(1);
    EXPECT_EQ(PIN_DIB2BM(b.data(), static_cast<int32_t>(b.size()), 0, &w), kErrBadParam);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(rec.reports.size(), 1u);
  }
}

}  // namespace
}  // namespace tv::test::pin
