// Colour tables: the system LUTs, stamps, conversions between the compact and
// the native form, the tables of worlds, grey ramps and indexed <-> 32-bit
// conversion of pixels.
#include <vector>

#include "BM_test_fixture.h"
#include "ColourTable.h"
#include "Memory.h"

namespace {

using ::testing::HasSubstr;
using tv::test::BMTest;
namespace plat = tv::platform;

constexpr LocationCode kNativeSite = 0x07000012;
constexpr LocationCode kWorldSite = 0x07000013;

std::vector<uint32_t> Entries(const BM_Lut& lut) { return {lut.entries, lut.entries + lut.count}; }

// The depth-8 system table as its parts describe it.
std::vector<uint32_t> Depth8Table() {
  std::vector<uint32_t> t;
  const uint32_t cube[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
  for (uint32_t r : cube)
    for (uint32_t g : cube)
      for (uint32_t b : cube) t.push_back(r << 24 | g << 16 | b << 8);
  t.pop_back();  // black comes last
  const uint32_t ramp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
  for (uint32_t shift : {24u, 16u, 8u})
    for (uint32_t l : ramp) t.push_back(l << shift);
  for (uint32_t l : ramp) t.push_back(l * 0x01010100u);
  t.push_back(0);
  return t;
}

TEST_F(BMTest, SystemLutsAndStamps) {
  const struct {
    int depth;
    std::vector<uint32_t> entries;
  } cases[] = {
      {1, {0xFFFFFF00, 0}},
      {2, {0xFFFFFF00, 0xACACAC00, 0x55555500, 0}},
      {4,
       {0xFFFFFF00, 0xFCF30500, 0xFF640200, 0xDD090700, 0xF3088500, 0x4700A500, 0x0000D400, 0x02ABEB00,
        0x1FB81400, 0x00651200, 0x562D0500, 0x91713A00, 0xC0C0C000, 0x80808000, 0x40404000, 0}},
      {8, Depth8Table()},
  };
  uint32_t stamp = 0;
  for (const auto& c : cases) {
    BM_Lut lut{};
    ASSERT_EQ(BM_GetSystemLut(c.depth, &lut), 0);
    EXPECT_EQ(lut.depth, c.depth);
    EXPECT_EQ(Entries(lut), c.entries) << c.depth;
    EXPECT_GE(lut.stamp, 1024u);
    if (stamp) {
      EXPECT_EQ(lut.stamp, stamp + 1);  // one stamp per LUT
    }
    stamp = lut.stamp;
  }

  BM_Lut lut{};
  ASSERT_EQ(BM_InitLut(4, &lut), 0);
  EXPECT_EQ(std::make_tuple(lut.reserved, lut.stamp, lut.depth, lut.count),
            std::make_tuple(0u, stamp + 1, 4, 16));
  ASSERT_EQ(BM_ChangedLut(&lut), 0);
  EXPECT_EQ(lut.stamp, stamp + 2);
  // Only the indexed depths have tables; the header is left invalid.
  for (int depth : {0, 3, 16, 32}) {
    EXPECT_EQ(BM_GetSystemLut(depth, &lut), tv::kErrBadParam) << depth;
    EXPECT_EQ(std::make_tuple(lut.stamp, lut.depth, lut.count), std::make_tuple(0u, 0, 0));
  }
  EXPECT_THAT(Last().text, HasSubstr("unsupported colour table depth 32"));
  EXPECT_EQ(BM_InitLut(8, nullptr), tv::kErrBadParam);
}

TEST_F(BMTest, NativeToCompactPicksTheDepth) {
  const struct {
    int entries, code, depth;
  } cases[] = {{256, 0, 8}, {17, 0, 8}, {16, 0, 4}, {5, 0, 4},  {4, 0, 2},
               {3, 0, 2},   {2, 0, 1},  {1, 10, 0}, {0, 10, 0}, {257, 10, 0}};
  for (const auto& c : cases) {
    Handle t = plat::NewColourTable(c.entries);
    ASSERT_NE(t, nullptr);
    if (c.entries > 0) plat::ColourTableSpecs(t)[0] = plat::ColourSpec{0, 0xABCD, 0x1234, 0xFF00};
    BM_Lut lut{};
    rec.clear();
    EXPECT_EQ(BM_ConvToCompactLut(t, &lut), c.code) << c.entries;
    EXPECT_EQ(lut.depth, c.depth) << c.entries;
    if (c.code == 0) {
      EXPECT_EQ(lut.count, c.entries);
      EXPECT_EQ(lut.stamp, static_cast<uint32_t>(plat::ColourTableHead(t).seed));
      EXPECT_EQ(lut.entries[0], 0xAB12FF00u);  // the high bytes
    } else {
      EXPECT_THAT(Last().text,
                  HasSubstr("bad number of native colour table entries: " + std::to_string(c.entries)));
      EXPECT_EQ(Last().location, kNativeSite);
    }
    plat::DisposeColourTable(t);
  }
  Handle junk = NewHandleClear(12);  // not a table
  EXPECT_EQ(BM_DisposeNativeLut(junk), tv::kErrDamaged);
  DisposeHandle(junk);
}

TEST_F(BMTest, CompactNativeRoundTrip) {
  BM_Lut lut{};
  ASSERT_EQ(BM_InitLut(8, &lut), 0);
  for (int i = 0; i < 256; ++i) lut.entries[i] = (static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF) << 8;
  lut.entries[7] = 0xAB12CD00;
  BM_NativeLut table = nullptr;
  ASSERT_EQ(BM_NewNativeLut(2, 0, &table), 0);  // resized to 256 entries
  ASSERT_EQ(BM_ConvToNativeLut(&lut, table), 0);
  ASSERT_EQ(plat::ColourTableEntries(table), 256);
  EXPECT_EQ(plat::ColourTableHead(table).seed, static_cast<int32_t>(lut.stamp));
  const plat::ColourSpec s = plat::ColourTableSpecs(table)[7];
  EXPECT_EQ(std::make_tuple(s.value, s.red, s.green, s.blue), std::make_tuple(7, 0xABAB, 0x1212, 0xCDCD));
  BM_Lut back{};
  ASSERT_EQ(BM_ConvToCompactLut(table, &back), 0);
  EXPECT_EQ(Entries(back), Entries(lut));
  EXPECT_EQ(std::make_tuple(back.stamp, back.depth, back.count), std::make_tuple(lut.stamp, 8, 256));

  // Fewer entries than the depth allows: the rest are black, nothing past
  // the count is read.
  BM_Lut five{};
  ASSERT_EQ(BM_InitLut(4, &five), 0);
  five.count = 5;
  for (int i = 0; i < 5; ++i) five.entries[i] = 0x10203000u * static_cast<uint32_t>(i + 1);
  for (int i = 5; i < 256; ++i) five.entries[i] = 0xFFFFFF00;
  ASSERT_EQ(BM_ConvToNativeLut(&five, table), 0);
  ASSERT_EQ(BM_ConvToCompactLut(table, &back), 0);
  std::vector<uint32_t> want(five.entries, five.entries + 5);
  want.resize(16, 0);
  EXPECT_EQ(Entries(back), want);

  // Refused LUTs (no entries: 5; too many: 3) leave the table as it was.
  for (auto [count, code] : {std::pair{0, tv::kErrUnimplemented}, std::pair{17, tv::kErrBadParam}}) {
    five.count = static_cast<int16_t>(count);
    EXPECT_EQ(BM_ConvToNativeLut(&five, table), code);
  }
  EXPECT_THAT(Last().text, HasSubstr("17 colour table entries don't fit depth 4"));
  EXPECT_EQ(plat::ColourTableEntries(table), 16);

  // The 8-bit standard table is the system LUT.
  BM_NativeLut eight = nullptr;
  ASSERT_EQ(BM_NewNativeLut(8, 0, &eight), 0);
  ASSERT_EQ(BM_CopyNativeLut(eight, table), 0);
  ASSERT_EQ(BM_ConvToCompactLut(table, &back), 0);
  EXPECT_EQ(Entries(back), Depth8Table());
  EXPECT_EQ(BM_DisposeNativeLut(eight), 0);
  EXPECT_EQ(BM_DisposeNativeLut(table), 0);
}

TEST_F(BMTest, WorldTables) {
  BM_World w8 = New(4, 4, 8), w32 = New(4, 4, 32);
  BM_Lut lut{};
  EXPECT_EQ(TableOf(w8), Depth8Table());  // a new World starts with the standard table
  BM_NativeLut copy = nullptr;
  ASSERT_EQ(BM_GetNativeLut(w8, &copy), 0);
  ASSERT_NE(copy, nullptr);

  // Ranges: the entries written change, the others stay.
  ASSERT_EQ(BM_GetSystemLut(2, &lut), 0);
  ASSERT_EQ(BM_SetCompactLutRange(&lut, 1, 3, 250, w8), 0);
  std::vector<uint32_t> want = Depth8Table();
  std::copy(lut.entries + 1, lut.entries + 4, want.begin() + 250);
  EXPECT_EQ(TableOf(w8), want);
  ASSERT_EQ(BM_SetNativeLutRange(copy, 250, 6, 0, w8), 0);
  const std::vector<uint32_t> system = Depth8Table();
  std::copy(system.begin() + 250, system.end(), want.begin());
  EXPECT_EQ(TableOf(w8), want);
  for (auto [first, count, destination] : {std::tuple{-1, 1, 0},
                                           {0, 1, -1},
                                           {250, 7, 0},
                                           {0, 7, 250},
                                           {0, 257, 0},
                                           {0, -1, 0},
                                           {INT32_MAX, 2, 0}}) {
    EXPECT_EQ(BM_SetNativeLutRange(copy, first, count, destination, w8), tv::kErrBadParam)
        << first << " " << count;
    EXPECT_EQ(Last().location, kWorldSite);
  }
  EXPECT_THAT(Last().text, HasSubstr("colour table range 2147483647 + 2 outside 256 entries"));
  EXPECT_EQ(TableOf(w8), want);
  ASSERT_EQ(BM_SetNativeLut(copy, w8), 0);
  EXPECT_EQ(TableOf(w8), Depth8Table());

  // A 4-bit World takes at most 16 entries; fewer leave the others.
  BM_World w4 = New(4, 4, 4);
  EXPECT_EQ(BM_SetNativeLut(copy, w4), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("256 colour table entries don't fit depth 4"));
  ASSERT_EQ(BM_GetSystemLut(2, &lut), 0);
  ASSERT_EQ(BM_SetLut(&lut, w4), 0);
  std::vector<uint32_t> w4want = SystemTable(2), system4 = SystemTable(4);
  w4want.insert(w4want.end(), system4.begin() + 4, system4.end());
  EXPECT_EQ(TableOf(w4), w4want);

  // 32-bit worlds have no table.
  BM_NativeLut none = reinterpret_cast<BM_NativeLut>(1);
  ASSERT_EQ(BM_GetNativeLut(w32, &none), 0);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(BM_GetLut(w32, &lut), tv::kErrBadParam);
  EXPECT_EQ(lut.count, 0);
  EXPECT_EQ(BM_SetNativeLut(copy, w32), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("BM_SetNativeLut: the World has no colour table (depth 32)"));

  // A new depth brings its standard table; a table given is installed.
  ASSERT_EQ(BM_UpdateWorld(2, nullptr, nullptr, nullptr, 0, w4), 0);
  EXPECT_EQ(TableOf(w4), (std::vector<uint32_t>{0xFFFFFF00, 0xACACAC00, 0x55555500, 0}));
  ASSERT_EQ(BM_NewNativeLut(1, 0, &none), 0);
  ASSERT_EQ(BM_UpdateWorld(2, nullptr, none, nullptr, 0, w4), 0);
  EXPECT_EQ(TableOf(w4), (std::vector<uint32_t>{0xFFFFFF00, 0, 0x55555500, 0}));

  // Copy-and-install of the blit procedures installs after copying.
  const BM_BlitProcs procs = Procs();
  BM_World src8 = New(4, 4, 8);
  ASSERT_EQ(procs.copyInstallLut(src8, w8, nullptr, nullptr, 0, none), 0);
  EXPECT_EQ(TableOf(w8)[1], 0u);
  EXPECT_EQ(procs.copyInstallLut(w32, w32, nullptr, nullptr, 0, none), tv::kErrBadParam);

  BM_DisposeNativeLut(none);
  BM_DisposeNativeLut(copy);
  Dispose(w8, w32, w4, src8);
}

TEST_F(BMTest, GreyRamps) {
  // White to black in equal steps of each grey.
  for (auto [depth, step] : {std::pair{2, 0x55u}, {4, 0x11u}}) {
    std::vector<uint32_t> ramp;
    for (uint32_t i = 0; i < (1u << depth); ++i) ramp.push_back((0xFF - i * step) * 0x01010100u);
    BM_World w = New(2, 2, depth);
    ASSERT_EQ(BM_InstallGrayscale(w), 0);
    EXPECT_EQ(TableOf(w), ramp) << depth;
    Dispose(w);
  }
  BM_World w32 = New(2, 2, 32);
  EXPECT_EQ(BM_InstallGrayscale(w32), tv::kErrBadParam);
  Dispose(w32);

  // Monochrome worlds have no table and take none.
  Rebirth(false, false);
  BM_World mono = New(8, 2, 1);
  BM_Lut lut{};
  ASSERT_EQ(BM_GetSystemLut(1, &lut), 0);
  EXPECT_EQ(BM_InstallGrayscale(mono), 0);
  EXPECT_EQ(BM_SetLut(&lut, mono), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("colour tables are not available"));
  Dispose(mono);
}

// ---- Indexed <-> 32-bit ------------------------------------------------------------

TEST_F(BMTest, IndexedAndDirectRoundTrips) {
  const BM_BlitProcs procs = Procs();
  for (int depth : {1, 2, 4, 8}) {
    for (int32_t order : {BM_Order_ARGB, BM_Order_BGRA}) {
      // An odd width and tables of distinct colours (grey at depth 8).
      BM_World indexed = New(13, 5, depth), direct = New(13, 5, 32), back = New(13, 5, depth);
      if (depth == 8) {
        ASSERT_EQ(BM_InstallGrayscale(indexed), 0);
        ASSERT_EQ(BM_InstallGrayscale(back), 0);
      }
      ASSERT_EQ(BM_AssumeChannelOrder(direct, order), 0);
      const std::vector<uint32_t> table = TableOf(indexed);
      const uint32_t values = 1u << depth;
      for (int v = 0; v < 5; ++v)
        for (int h = 0; h < 13; ++h) ASSERT_EQ(procs.writePixel(indexed, h, v, (h * 7 + v * 3) % values), 0);
      ASSERT_EQ(BM_ConvertPixels(indexed, direct), 0);
      ASSERT_EQ(BM_ConvertPixels(direct, back), 0);
      for (int v = 0; v < 5; ++v)
        for (int h = 0; h < 13; ++h) {
          const uint32_t index = (h * 7 + v * 3) % values;
          ASSERT_EQ(Read(direct, h, v), table[index]) << depth << " " << h << "," << v;
          ASSERT_EQ(Read(back, h, v), index) << depth << " " << h << "," << v;
        }
      // Converted pixels are opaque.
      const auto bytes = Bytes(direct, 0, 0);
      EXPECT_EQ(order == BM_Order_ARGB ? bytes[0] : bytes[3], 0xFF);
      Dispose(indexed, direct, back);
    }
  }

  // Colours not in the table take the nearest entry; sub-worlds convert
  // their own rectangle.
  BM_World direct = New(4, 4, 32), indexed = New(4, 4, 8);
  ASSERT_EQ(BM_ClearWorldToLong(direct, 0xFFFE0203), 0);  // nearly red
  ASSERT_EQ(procs.writePixel(direct, 1, 1, 0x3231CD00), 0);
  ASSERT_EQ(procs.writePixel(direct, 2, 1, 0xC0C0C000), 0);
  ASSERT_EQ(BM_ConvertPixels(direct, indexed), 0);
  const std::vector<uint32_t> table = Depth8Table();
  EXPECT_EQ(table[Read(indexed, 0, 0)], 0xFF000000u);
  EXPECT_EQ(table[Read(indexed, 1, 1)], 0x3333CC00u);
  BM_World part = Sub(direct, R(1, 1, 3, 3)), small = New(2, 2, 1);
  ASSERT_EQ(BM_ConvertPixels(part, small), 0);
  EXPECT_EQ(Read(small, 0, 0), 1u);  // dark blue is nearer black than white
  EXPECT_EQ(Read(small, 1, 0), 0u);  // light grey is nearer white

  EXPECT_EQ(BM_ConvertPixels(direct, small), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("can't convert between sizes 4 x 4 and 2 x 2"));
  EXPECT_EQ(BM_ConvertPixels(indexed, indexed), tv::kErrBadParam);
  EXPECT_THAT(Last().text, HasSubstr("can't convert between depths 8 and 8"));
  Dispose(part, small, direct, indexed);
}

}  // namespace
