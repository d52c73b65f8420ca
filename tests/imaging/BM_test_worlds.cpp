// Worlds: package frame, creation at every depth with the row-bytes rule,
// argument errors, sharing a parent's pixels, disposal, updating, damaged
// records, screens and monochrome worlds.
#include "BM_internal.h"
#include "BM_test_fixture.h"
#include "Memory.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;
using Info = tv::test::BMInfo;

constexpr LocationCode kCreate = 0x07000003;

TEST_F(BMTest, PackageFrame) {
  int32_t w = 0, h = 0, d = 0;
  ASSERT_EQ(BM_InqMaxWorld(&w, &h, &d), 0);
  EXPECT_EQ(Info({w, h, d, 0}), Info({32767, 32767, 32, 0}));
  // Headless: no device Worlds.
  EXPECT_EQ(baseWorlds, 0);
  for (int i = 0; i < 8; ++i) {
    BM_World dev = reinterpret_cast<BM_World>(1);
    ASSERT_EQ(BMp_GetDeviceWorld(i, &dev), 0);
    EXPECT_EQ(dev, nullptr);
  }

  // Unborn: Worlds refused.
  ASSERT_EQ(BM_Death(), 0);
  Rect b = R(0, 0, 4, 4);
  BM_World world = reinterpret_cast<BM_World>(1);
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 32, 0, nullptr, &world), tv::kErrDamaged);
  EXPECT_EQ(world, nullptr);
  ASSERT_EQ(BM_Birth(0), 0);

  // The maximum depth follows the colour services.
  for (auto [colour, depth] : {std::pair{true, 8}, std::pair{false, 1}}) {
    Rebirth(colour, false);
    ASSERT_EQ(BM_InqMaxWorld(nullptr, nullptr, &d), 0);
    EXPECT_EQ(d, depth);
  }
}

TEST_F(BMTest, RowBytesAtEveryDepth) {
  const struct {
    int depth, width, rowBytes;
  } cases[] = {
      {1, 1, 4},    {1, 100, 16},  {1, 4999, 628},    {2, 1, 4},    {2, 100, 28},   {2, 4999, 1252},
      {4, 1, 4},    {4, 100, 52},  {4, 4999, 2500},   {8, 1, 4},    {8, 100, 100},  {8, 4999, 5000},
      {16, 1, 4},   {16, 100, 204}, {16, 4999, 10000}, {32, 1, 8},  {32, 100, 404}, {32, 4999, 20000},
      {8, 3, 4},    {8, 4, 4},     {8, 5, 8},         {32, 0, 4},
  };
  for (const auto& c : cases) {
    BM_World w = New(c.width, 3, c.depth);
    ASSERT_NE(w, nullptr) << c.depth << " " << c.width;
    EXPECT_EQ(InfoOf(w), Info({c.width, 3, c.depth, c.rowBytes})) << "depth " << c.depth << " width " << c.width;
    // The block holds height x row bytes, plus 4 bytes up to depth 8.
    EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 3 * c.rowBytes + (c.depth <= 8 ? 4 : 0));
    Dispose(w);
  }
  // 32-bit: width 32766 gives 131068 row bytes, 32767 would give 131072.
  BM_World w = New(32766, 1, 32);
  EXPECT_EQ(RowBytes(w), 131068);
  Dispose(w);
}

TEST_F(BMTest, NewWorldArgumentErrors) {
  Rect b = R(0, 0, 8, 8), wide = R(0, 0, 1, 32767), tall = R(-20000, 0, 20000, 10), negative = R(0, 10, 10, 5);
  Handle record = NewHandle(4);
  int port = 0;
  const struct {
    void* first;
    uint32_t flags;
    const Rect* bounds;
    int depth;
    Handle existing;
    const char* text;  // quoted texts are exact, others a part of the report
    bool exact;
  } cases[] = {
      {nullptr, 8, &wide, 32, nullptr, "row bytes 131072", false},
      {nullptr, 8, &b, 0, nullptr, "can't specify BM_Depth_SHARE without parent", true},
      {nullptr, 8, nullptr, 32, nullptr, "can't specify NULL rect without parent", true},
      {&port, BM_Flag_ParentWindow | BM_Flag_ShareDevice, &b, 32, nullptr, "don't specify bounds w/parent window", true},
      {&port, BM_Flag_ParentWindow, nullptr, 32, nullptr, "PARENT_WINDOW requires SHARE flags too", true},
      {&port, BM_Flag_ScreenDevice, &b, 32, nullptr, "don't specify bounds w/real screen devices", true},
      {&port, BM_Flag_ScreenDevice, nullptr, 32, nullptr, "", false},  // not a device of this platform
      {nullptr, 8, &tall, 8, nullptr, "", false},
      {nullptr, 8, &negative, 8, nullptr, "", false},
      {nullptr, 8, &b, 24, nullptr, "", false},
      {nullptr, 8, &b, 3, nullptr, "", false},
      {nullptr, BM_Flag_SharePixels, &b, 32, nullptr, "", false},  // sharing pixels needs the device
      {nullptr, BM_Flag_ShareDevice, &b, 8, nullptr, "", false},   // ... and a parent
      {nullptr, 8, &b, 32, record, "", false},                     // both or neither of record and out World
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    BM_World w = reinterpret_cast<BM_World>(1);
    rec.clear();
    EXPECT_EQ(BM_NewWorld(c.first, c.flags, c.bounds, c.depth, 0, c.existing, &w), tv::kErrBadParam);
    EXPECT_EQ(w, nullptr);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(Last().location, kCreate);
    EXPECT_EQ(LastCode(), tv::kErrBadParam);
    if (c.exact)
      EXPECT_EQ(Last().text, "Test error: " + std::string(c.text) + " -- a bad parameter was passed.");
    else
      EXPECT_THAT(Last().text, HasSubstr(c.text));
  }
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 32, 0, nullptr, nullptr), tv::kErrBadParam);
  EXPECT_EQ(Last().location, kCreate);
  DisposeHandle(record);

  // A negative depth is taken as its absolute value.
  BM_World w = nullptr;
  ASSERT_EQ(BM_NewWorld(nullptr, 8, &b, -8, 0, nullptr, &w), 0);
  EXPECT_EQ(InfoOf(w)[2], 8);
  Dispose(w);
}

TEST_F(BMTest, DepthsNeedTheirServices) {
  Rect b = R(0, 0, 8, 8);
  BM_World w = nullptr;
  Rebirth(true, false);
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 32, 0, nullptr, &w), tv::kErrUnsupported);
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 16, 0, nullptr, &w), tv::kErrUnsupported);
  EXPECT_THAT(Last().text, HasSubstr("32-bit offscreen"));
  ASSERT_EQ(BM_NewWorld(nullptr, 8, &b, 8, 0, nullptr, &w), 0);
  EXPECT_EQ(BM_UpdateWorld(32, nullptr, nullptr, nullptr, 0, w), tv::kErrUnsupported);
  Dispose(w);
  Rebirth(false, false);
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 8, 0, nullptr, &w), tv::kErrUnsupported);
  EXPECT_EQ(Last().location, kCreate);
  EXPECT_EQ(w, nullptr);
}

TEST_F(BMTest, MonochromeWorlds) {
  Rebirth(false, false);
  BM_World w = New(20, 5, 1, BM_Flag_KeepLocal | BM_Flag_Clear);
  ASSERT_NE(w, nullptr);
  auto* r = tv::bm::Rec(w);
  EXPECT_EQ(std::make_tuple(r->monochrome, r->platformOffscreen, r->ownsPixelBlock), std::make_tuple(1, 0, 1));
  // Rows of ((20 + 15) / 8) rounded down to even = 4 bytes; block 5 x 4 + 4.
  EXPECT_EQ(RowBytes(w), 4);
  EXPECT_EQ(GetHandleSize(r->pixels), 24);
  for (int i = 0; i < 24; ++i) EXPECT_EQ((*r->pixels)[i], 0);

  const BM_BlitProcs procs = Procs();
  EXPECT_EQ(Read(w, 3, 2), 0xFFFFFF00u);  // white
  ASSERT_EQ(procs.writePixel(w, 3, 2, 1), 0);
  EXPECT_EQ(Read(w, 3, 2), 1u);  // black
  // Row 2, pixel 3: bit 4 of byte 0 (most significant first).
  EXPECT_EQ(static_cast<uint8_t>((*r->pixels)[2 * 4]), 0x10);

  // A colour other than black inverts; black paints.
  Rect all = R(0, 0, 5, 20);
  ASSERT_EQ(procs.fillRect(w, &all, 0xFFFFFF00u), 0);
  EXPECT_EQ(std::make_pair(Read(w, 3, 2), Read(w, 0, 0)), std::make_pair(0xFFFFFF00u, 1u));
  ASSERT_EQ(procs.fillRect(w, &all, 0x00000000u), 0);
  EXPECT_EQ(std::make_pair(Read(w, 3, 2), Read(w, 19, 4)), std::make_pair(1u, 1u));

  // A monochrome World resized keeps its fields matching the new block.
  Rect bigger = R(0, 0, 7, 33);
  ASSERT_EQ(BM_UpdateWorld(0, &bigger, nullptr, nullptr, 0, w), 0);
  EXPECT_EQ(InfoOf(w), Info({33, 7, 1, 6}));
  EXPECT_EQ(GetHandleSize(tv::bm::Rec(w)->pixels), 7 * 6 + 4);
  EXPECT_EQ(tv::bm::Rec(w)->width, 33);
  EXPECT_EQ(BM_UpdateWorld(8, &bigger, nullptr, nullptr, 0, w), tv::kErrBadParam);
  Dispose(w);
}

TEST_F(BMTest, ExistingRecordIsReusedAndKept) {
  Handle record = NewHandle(3);
  Rect b = R(0, 0, 4, 4);
  ASSERT_EQ(BM_NewWorld(nullptr, 8, &b, 32, 0, record, nullptr), 0);
  auto* r = tv::bm::Rec(record);
  EXPECT_EQ(std::make_tuple(r->magic, r->tailMagic, r->ownsRecord), std::make_tuple(tv::bm::kMagic, tv::bm::kMagic, 0));
  EXPECT_EQ(BM_DisposeWorld(record), 0);
  // The caller's handle survives disposal with both magics zeroed.
  r = tv::bm::Rec(record);
  EXPECT_EQ(std::make_tuple(r->magic, r->tailMagic), std::make_tuple(0u, 0u));
  EXPECT_EQ(BM_DisposeWorld(record), tv::kErrDamaged);
  DisposeHandle(record);
}

TEST_F(BMTest, DamagedWorldIsReported) {
  BM_World w = New(4, 4);
  ASSERT_NE(w, nullptr);
  tv::bm::Rec(w)->tailMagic = 0x1234;
  rec.clear();
  EXPECT_EQ(BM_LockPixels(0, w, nullptr), tv::kErrDamaged);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(Last().location, 0x07000033u);
  EXPECT_THAT(Last().text, HasSubstr("damaged World"));
  EXPECT_EQ(LastCode(), tv::kErrDamaged);
  EXPECT_EQ(BM_ClearWorldToZeros(w), tv::kErrDamaged);
  EXPECT_EQ(BM_DisposeWorld(w), tv::kErrDamaged);
  tv::bm::Rec(w)->tailMagic = tv::bm::kMagic;
  Dispose(w);
  EXPECT_EQ(BM_DisposeWorld(nullptr), tv::kErrDamaged);
}

// ---- Sharing a parent's pixels ----------------------------------------------------

TEST_F(BMTest, ParentWithASubWorldIsNeitherDisposedNorResized) {
  BM_World parent = New(40, 30, 32, BM_Flag_KeepLocal | BM_Flag_Clear);
  BM_World child = Sub(parent, R(10, 5, 20, 25));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(tv::bm::Rec(child)->originOffset, 10u * 164 + 5 * 4);
  EXPECT_EQ(BM_DisposeWorld(parent), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("1 sub-Worlds"));
  Rect nb = R(0, 0, 5, 5);
  EXPECT_EQ(BM_UpdateWorld(0, &nb, nullptr, nullptr, 0, parent), tv::kErrBadParam);
  EXPECT_EQ(BM_UpdateWorld(0, &nb, nullptr, nullptr, 0, child), tv::kErrBadParam);
  Dispose(child);
  Dispose(parent);
}

TEST_F(BMTest, SubWorldArguments) {
  BM_World parent = New(10, 10);
  BM_World child = reinterpret_cast<BM_World>(1);
  Rect out = R(5, 5, 15, 8), neg = R(-1, 0, 3, 3), in = R(0, 0, 3, 3);
  EXPECT_EQ(BM_NewWorld(parent, 3, &out, 0, 0, nullptr, &child), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("not inside the parent"));
  EXPECT_EQ(child, nullptr);
  EXPECT_EQ(BM_NewWorld(parent, 3, &neg, 0, 0, nullptr, &child), tv::kErrBadParam);
  // Another depth than the parent's, shared pixels or shared device.
  EXPECT_EQ(BM_NewWorld(parent, 3, &in, 8, 0, nullptr, &child), tv::kErrBadParam);
  EXPECT_EQ(BM_NewWorld(parent, BM_Flag_ShareDevice, &in, 8, 0, nullptr, &child), tv::kErrBadParam);
  ASSERT_EQ(BM_NewWorld(parent, BM_Flag_ShareDevice, &in, 32, 0, nullptr, &child), 0);
  EXPECT_EQ(tv::bm::Rec(child)->device, tv::bm::Rec(parent)->device);
  Dispose(child);
  // Depth 0 and null bounds take the parent's depth and size.
  ASSERT_EQ(BM_NewWorld(parent, BM_Flag_KeepLocal, nullptr, 0, 0, nullptr, &child), 0);
  EXPECT_EQ(InfoOf(child), Info({10, 10, 32, 44}));
  EXPECT_EQ(tv::bm::Rec(child)->ownsPixelBlock + tv::bm::Rec(child)->platformOffscreen, 1);
  Dispose(child, parent);
}

// ---- Updating ----------------------------------------------------------------------

TEST_F(BMTest, UpdateWorldRefusesLockedWorldsAndBadSizes) {
  BM_World w = New(6, 4, 32, BM_Flag_KeepLocal | BM_Flag_Clear);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  Rect nb = R(0, 0, 3, 9);
  EXPECT_EQ(BM_UpdateWorld(0, &nb, nullptr, nullptr, 0, w), tv::kErrBadParam);
  EXPECT_EQ(BM_UnlockPixels(w), 0);
  // Sizes that break the rules are refused and change nothing.
  Rect huge = R(0, 0, 2, 32767);
  EXPECT_EQ(BM_UpdateWorld(32, &huge, nullptr, nullptr, 0, w), tv::kErrBadParam);
  EXPECT_EQ(BM_UpdateWorld(3, nullptr, nullptr, nullptr, 0, w), tv::kErrBadParam);
  EXPECT_EQ(InfoOf(w), Info({6, 4, 32, 28}));
  Dispose(w);
}

// ---- Globals and lock policy ----------------------------------------------------------

TEST_F(BMTest, LockPolicyAndGlobals) {
  EXPECT_EQ(BMp_GetLockPolicy(), 0);
  ASSERT_EQ(BM_SetLockPolicy(1), 0);
  BM_World w = New(4, 4);
  ASSERT_EQ(BM_LockPixels(1, w, nullptr), 0);
  ASSERT_EQ(BM_UnlockPixels(w), 0);
  Dispose(w);
  EXPECT_EQ(BM_SetLockPolicy(-1), tv::kErrBadParam);
  EXPECT_EQ(BM_SetLockPolicy(2), tv::kErrBadParam);
  EXPECT_EQ(BMp_GetLockPolicy(), 1);

  BM_SavedGlobals save;
  ASSERT_EQ(BM_GetGlobals(&save), 0);
  // The package is unborn until the globals come back.
  Rect b = R(0, 0, 2, 2);
  EXPECT_EQ(BM_NewWorld(nullptr, 8, &b, 32, 0, nullptr, &w), tv::kErrDamaged);
  // A second client births its own state.
  ASSERT_EQ(BM_Birth(0), 0);
  EXPECT_EQ(BMp_GetLockPolicy(), 0);
  ASSERT_EQ(BM_Death(), 0);
  ASSERT_EQ(BM_SetGlobals(&save), 0);
  EXPECT_EQ(BMp_GetLockPolicy(), 1);
  BM_SavedGlobals empty{};
  EXPECT_EQ(BM_SetGlobals(&empty), tv::kErrBadParam);
}

}  // namespace
