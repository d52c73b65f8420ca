// Streams in chunked files: round trips, golden bytes, lenient and refused headers.
#include "ByteOrder.h"
#include "FILE.h"
#include "SLU.h"
#include "TDB_internal.h"
#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

using namespace tv::tdb;

using Bytes = std::vector<uint8_t>;

class TdbFile : public TdbFixture {
 protected:
  std::string P(const std::string& name) { return temp_.P(name); }
  Bytes Write(TDB_Stream s, const std::string& name = "out.tdb") {
    SLU_FileContext c = OpenFile(P(name), FILE_PermReadWrite, true);
    EXPECT_EQ(TDB_WriteStream(s, &c), 0);
    FILE_Close(c.file);
    return FileBytes(P(name));
  }
  // Reads a stream from bytes (the slot disposes it).
  ErrorCode Read(const Bytes& bytes, TDB_Stream& out) {
    std::string name = "in" + std::to_string(counter_++) + ".tdb";
    std::ofstream(P(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    SLU_FileContext c = OpenFile(P(name), FILE_PermRead, false);
    return TDB_ReadStream(&c, nullptr, &out);
  }
  // The file with its "tdb4" atom cut or grown (by bytes 0xEE) to n bytes.
  static Bytes WithHeaderSize(const Bytes& b, size_t n) {
    Bytes out(b.begin(), b.begin() + 20 + static_cast<long>(std::min<size_t>(n, 116)));
    out.resize(20 + n, 0xEE);
    out.insert(out.end(), b.begin() + 20 + 116, b.end());
    be::Store<uint32_t>(out.data() + 16, static_cast<uint32_t>(n));
    be::Store<uint32_t>(out.data() + 4, static_cast<uint32_t>(out.size() - 8));
    return out;
  }
  static size_t Find(const Bytes& b, const char (&tag)[5]) {
    for (size_t i = 0; i + 4 <= b.size(); ++i)
      if (std::memcmp(b.data() + i, tag, 4) == 0) return i;
    return std::string::npos;
  }

 private:
  tv::test::TempDir temp_{"tvtdb"};
  int counter_ = 0;
};

TEST_F(TdbFile, ConstantRoundTrip) {
  TDB_Stream& s = StreamSlot();
  TDB_ValueDesc d = Desc(6);
  d.second = 3;
  ASSERT_EQ(TDB_NewStream(2, 2997, 1, 0, 0xB, 2, &d, &s), 0);
  double v[2] = {-1.25, 1e300};
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, 17, 0, v, 1, 2), 0);
  ASSERT_EQ(TDB_SetStreamMultiplier(s, 1, 0.5), 0);
  ASSERT_EQ(TDB_SetStreamAccuracy(s, 0.25), 0);
  Bytes bytes = Write(s);
  TDB_Stream& r = StreamSlot();
  ASSERT_EQ(Read(bytes, r), 0);
  EXPECT_EQ(**reinterpret_cast<uint16_t**>(r), TDB_Magic);
  TDB_StreamInfo a = Info(s), b = Info(r);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  double w[2];
  ASSERT_EQ(TDB_GetValueF(r, nullptr, 0, 0, w, nullptr), 0);
  EXPECT_EQ(Vec(w, 2), (std::vector<double>{-1.25, 1e300}));
  EXPECT_EQ(Interps(r, 0).second, 2);
  EXPECT_EQ(Write(r, "again.tdb"), bytes);
}

TEST_F(TdbFile, SpatialRoundTripEvaluatesIdentically) {
  TDB_Stream s = Keyed(2, 600, 7, true);
  ASSERT_EQ(TDB_SetStreamSpInterp(s, 3), 0);
  Key(s, 0, {0, 0});
  Key(s, 300, {50, 80}, 2, 2);
  Key(s, 600, {100, 0});
  double t1[2] = {-20, 0}, t2[2] = {20, 0};
  ASSERT_EQ(TDB_SetKeySpaceTangents(s, 1, t1, t2), 0);
  ASSERT_EQ(TDB_SetStreamSParametrize(s, 1), 0);
  auto path = [&](TDB_Stream x) {
    std::vector<double> out;
    for (int32_t t = 0; t <= 600; t += 12) {
      double v[2];
      EXPECT_EQ(TDB_GetValueF(x, nullptr, t, 0, v, nullptr), 0);
      out.insert(out.end(), v, v + 2);
    }
    return out;
  };
  std::vector<double> before = path(s);
  Bytes bytes = Write(s);
  // The arc-spline slot of every key is written as zero.
  size_t ldat = Find(bytes, "ldat");
  ASSERT_NE(ldat, std::string::npos);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(be::Load<uint32_t>(bytes.data() + ldat + 8 + k * (56 + 48) + 12), 0u);
  TDB_Stream& r = StreamSlot();
  ASSERT_EQ(Read(bytes, r), 0);
  EXPECT_EQ(path(r), before);
}

TEST_F(TdbFile, GoldenBytes) {
  TDB_Stream s = Keyed(1, 30, 7);
  Key(s, 2, {1.5}, 1, 3);
  Bytes b = Write(s);
  ASSERT_GE(b.size(), 12u + 8 + 116);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "LIST");
  EXPECT_EQ(be::Load<uint32_t>(b.data() + 4), b.size() - 8);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), std::string("tdbstdb4"));
  EXPECT_EQ(be::Load<uint32_t>(b.data() + 16), 116u);
  const uint8_t* h = b.data() + 20;
  Bytes expect = {
      0xDB, 0x99, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  // magic, dimension, flags, spatial interp
      0x00, 0x0F, 0x00, 0x07, 0x00, 0x00, 0x00, 0x1E,  // spatial mask, mask, time scale 30
      0, 0, 0, 0, 0, 0, 0, 0,                          // accuracy 0
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,                    // multipliers 1.0
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
      0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
      0x00, 0x00, 0x00, 0x00, 0x09, 0x08, 0, 0, 0, 0, 0, 0,  // value description: double
      0x01, 0, 0, 0,                                   // has a key list
      0x80, 0x00, 0x00, 0x00,                          // no constant key
  };
  expect.resize(116, 0);
  EXPECT_EQ(Bytes(h, h + 116), expect);
  EXPECT_EQ(std::string(b.begin() + 136, b.begin() + 140), "LIST");
  EXPECT_EQ(std::string(b.begin() + 144, b.begin() + 152), "listlhd3");
  size_t ldat = Find(b, "ldat");
  ASSERT_NE(ldat, std::string::npos);
  EXPECT_EQ(be::Load<uint32_t>(b.data() + ldat + 4), 48u);
  Bytes item = {0, 0, 0, 2, 0x01, 0x03, 0x00, 0x00,     // time 2, linear in, hold out, flags 0
                0x3F, 0xF8, 0, 0, 0, 0, 0, 0,            // value 1.5
                0, 0, 0, 0, 0, 0, 0, 0,                  // in velocity
                0x3F, 0xD5, 0x55, 0x55, 0x55, 0x54, 0x6A, 0xC5,  // in influence 0.33333333333
                0, 0, 0, 0, 0, 0, 0, 0,                  // out velocity
                0x3F, 0xD5, 0x55, 0x55, 0x55, 0x54, 0x6A, 0xC5};
  EXPECT_EQ(Bytes(b.begin() + ldat + 8, b.begin() + ldat + 56), item);
}

TEST_F(TdbFile, LongerHeaderAtomIsReadAsFarAsKnown) {
  TDB_Stream s = Constant(1);
  Key(s, 0, {42});
  // "tdb4" grown by 8 bytes of unknown data.
  TDB_Stream& r = StreamSlot();
  ASSERT_EQ(Read(WithHeaderSize(Write(s), 124), r), 0);
  EXPECT_EQ(Value1(r, 5), 42.0);
}

TEST_F(TdbFile, RefusedFiles) {
  TDB_Stream s = Keyed(1, 600, 7);
  Key(s, 0, {1});
  Key(s, 600, {2});
  Bytes good = Write(s);
  TDB_Stream c = Constant(1);
  Key(c, 0, {1});
  Bytes cdatSize = Write(c);
  be::Store<uint32_t>(cdatSize.data() + Find(cdatSize, "cdat") + 4, 32);
  auto patched = [&](size_t at, std::initializer_list<uint8_t> v) {
    Bytes b = good;
    for (uint8_t x : v) b.at(at++) = x;
    return b;
  };
  const size_t ldat = Find(good, "ldat");
  // A mask narrowed after the keys were set keeps them readable.
  ASSERT_EQ(TDB_SetStreamIMask(s, 8), 0);
  TDB_Stream& narrowed = StreamSlot();
  ASSERT_EQ(Read(Write(s, "narrowed.tdb"), narrowed), 0);
  EXPECT_EQ(Interps(narrowed, 1), Interps(s, 1));
  // A refused file leaves no stream behind (the fixture counts them).
  const struct {
    const char* what;
    Bytes bytes;
    ErrorCode code;
    const char* text;
  } cases[] = {
      {"dimension 0", patched(22, {0, 0}), TDB_ErrFileData, "(dimension)"},
      {"dimension 9", patched(22, {0, 9}), TDB_ErrFileData, "(dimension)"},
      {"scale 0", patched(32, {0, 0, 0, 0}), TDB_ErrTimeScale, "invalid time scale"},
      {"data type", patched(20 + 60, {10}), TDB_ErrFileData, "(value description)"},
      {"flags", patched(24, {0, 4}), TDB_ErrFileData, "(stream flags)"},
      {"magic", patched(20, {0xDB, 0x66}), TDB_ErrFileData, "(time stream header)"},
      {"unknown atom", patched(12, {'x', 'd', 'b', '4'}), TDB_ErrFileData, "(unrecognized chunk ID)"},
      {"old form", patched(12, {'t', 'd', 'b', '3'}), kErrUnsupported, "old-style stream header forms are not supported"},
      {"key order", patched(ldat + 8 + 48, {0, 0, 0, 0}), TDB_ErrFileData, "(key order)"},
      // Methods the stream's mask (linear, Bezier, hold) does not allow.
      {"custom in method", patched(ldat + 8 + 48 + 4, {0x80}), TDB_ErrFileData, "(time stream key list)"},
      {"out method 4", patched(ldat + 8 + 48 + 5, {4}), TDB_ErrFileData, "(time stream key list)"},
      {"short header", WithHeaderSize(good, 100), TDB_ErrFileData, "(header length)"},
      {"cdat size", cdatSize, TDB_ErrFileData, "(constant value size)"},
  };
  for (const auto& k : cases) {
    rec.clear();
    TDB_Stream r = nullptr;
    EXPECT_EQ(Read(k.bytes, r), k.code) << k.what;
    EXPECT_EQ(r, nullptr) << k.what;
    ASSERT_FALSE(rec.reports.empty()) << k.what;
    EXPECT_THAT(rec.last().text, ::testing::HasSubstr(k.text)) << k.what;
  }
}

}  // namespace
}  // namespace tv::animtest
