// Shape streams: keys, the morph between shapes of different kinds and
// vertex counts, and shapes and streams in files.
#include "FILE.h"
#include "Anim_test_support.h"
#include "SLU.h"

namespace tv::animtest {
namespace {

class OmStream : public OmFixture {
 protected:
  TDB_Stream NewStream() {
    TDB_Stream& s = StreamSlot();
    EXPECT_EQ(OM_NewStream(600, 0, &s), 0);
    return s;
  }
  OM_Shape At(TDB_Stream s, int32_t t) {
    OM_Shape& out = ShapeSlot();
    EXPECT_EQ(OM_GetShape(s, nullptr, t, &out), 0);
    return out;
  }
  // An n-gon of straight sides around (cx, cy).
  OM_Shape Ngon(int n, double cx, double cy, double r) {
    std::vector<FixedPoint> v;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * 3.14159265358979323846 * i / n;
      v.push_back({F(cx + r * std::cos(a)), F(cy + r * std::sin(a))});
    }
    return Polygon(v);
  }
};

TEST_F(OmStream, RectanglesBlendBoundsAndHoldKeepsA) {
  TDB_Stream s = NewStream();
  OM_Shape a = New(OM_TypeRect, FixedRect{F(0), F(0), F(10), F(10)});
  OM_Shape b = New(OM_TypeRect, FixedRect{F(20), F(40), F(30), F(50)});
  ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 0, 0, a, 1, 1), 0);
  ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 600, 0, b, 1, 1), 0);
  EXPECT_EQ(Edges(At(s, 300)), (std::array<Fixed, 4>{F(10), F(20), F(20), F(30)}));
  ASSERT_EQ(TDB_SetKeyInterps(s, 0, 1, TDB_InterpHold), 0);
  EXPECT_TRUE(Equal(At(s, 599), a));
  // A rectangle against a path: a path of the path's count.
  OM_Shape p = Ngon(12, 5, 5, 5);
  ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 1200, 0, p, 1, 1), 0);
  int32_t type = 0, n = 0;
  ASSERT_EQ(OM_GetShapeInfo(At(s, 900), &type, nullptr, &n), 0);
  EXPECT_EQ(std::tuple(type, n), (std::tuple<int32_t, int32_t>(OM_TypePath, 36)));
}

TEST_F(OmStream, UnknownSpatialMethodIsRefused) {
  TDB_Stream s = NewStream();
  OM_Shape a = Ngon(3, 0, 0, 10), b = Ngon(3, 5, 5, 10);
  ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 0, 0, a, 1, 1), 0);
  ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 600, 0, b, 1, 1), 0);
  ASSERT_EQ(TDB_SetStreamSpIMask(s, 0xE), 0);
  ASSERT_EQ(TDB_SetStreamSpInterp(s, 3), 0);
  OM_Shape out = reinterpret_cast<OM_Shape>(1);
  EXPECT_EQ(OM_GetShape(s, nullptr, 300, &out), OM_ErrSpatialMethod);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(rec.last().text, "Test error: Unsupported spatial interpolation method: 3 (2004).");
  // The smooth method runs through the neighbouring keys.
  ASSERT_EQ(TDB_SetStreamSpInterp(s, OM_MorphSmooth), 0);
  EXPECT_TRUE(Equal(At(s, 0), a));
  EXPECT_NE(At(s, 300), nullptr);
}

TEST_F(OmStream, ShapesAndStreamsInFiles) {
  tv::test::TempDir dir("tvom");
  const std::string path = dir.P("shapes.bin");
  SLU_FileContext c = OpenFile(path, FILE_PermReadWrite, true);
  FILE_SpecH ref = c.file;
  TDB_Stream s = NewStream();
  OM_Shape keys[3] = {Ngon(3, 0, 0, 9), Ngon(5, 1, 2, 7), New(OM_TypeOval, FixedRect{1, 2, 3, 4})};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(OM_InsertKeyShape(s, nullptr, 100 * i, 0, keys[i], 2, 2), 0);
  ASSERT_EQ(OM_WriteShape(keys[1], &c), 0);
  ASSERT_EQ(OM_WriteStream(s, &c), 0);
  ASSERT_EQ(FILE_Close(ref), 0);
  // The atom: "OMsh", size 24 + 8 x 15, then the byte form.
  const std::vector<uint8_t> bytes = FileBytes(path);
  ASSERT_GE(bytes.size(), 40u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "OMsh");
  EXPECT_EQ((std::vector<int>{bytes[7], bytes[8], bytes[9], bytes[10], bytes[31]}),
            (std::vector<int>{24 + 8 * 15, 0xB2, 0xDE, 2, 15}));

  ASSERT_EQ(FILE_Open(FILE_PermRead, ref), 0);
  OM_Shape& back = ShapeSlot();
  ASSERT_EQ(OM_ReadShape(&c, nullptr, &back), 0);
  EXPECT_TRUE(Equal(back, keys[1]));
  TDB_Stream& read = StreamSlot();
  ASSERT_EQ(OM_ReadStream(&c, nullptr, &read), 0);
  ASSERT_EQ(FILE_Close(ref), 0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Equal(At(read, 100 * i), keys[i])) << i;
  EXPECT_TRUE(Equal(At(read, 50), At(s, 50)));
}

TEST_F(OmStream, CorruptBytesAreRefused) {
  OM_Shape a = Ngon(3, 0, 0, 9);
  uint8_t good[24 + 72];
  int32_t size = 0;
  EXPECT_EQ(OM_ShapeToBytes(a, good, 95, &size), 10);
  EXPECT_EQ(size, 0);
  ASSERT_EQ(OM_ShapeToBytes(a, good, sizeof good, &size), 0);
  ASSERT_EQ(size, 96);
  struct Case {
    int at;
    uint8_t value;
  } cases[] = {{0, 0}, {2, 4}, {3, 2}, {23, 4}, {23, 6}, {4, 0x7F}};
  for (const Case& k : cases) {
    uint8_t bad[96];
    std::copy(good, good + 96, bad);
    bad[k.at] = k.value;
    OM_Shape out = reinterpret_cast<OM_Shape>(1);
    EXPECT_EQ(OM_ShapeFromBytes(bad, 96, &out), OM_ErrFileData) << k.at;
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(rec.last().text, "Test error: shape is corrupt in file (2007).");
  }
  OM_Shape out = nullptr;
  EXPECT_EQ(OM_ShapeFromBytes(good, 95, &out), OM_ErrFileData);
  ASSERT_EQ(OM_ShapeFromBytes(good, 96, &ShapeSlot()), 0);
}

}  // namespace
}  // namespace tv::animtest
