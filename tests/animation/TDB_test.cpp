// Keyframe streams: creation, keys, finding, flags, tangents, duplication,
// custom value kinds and failure reports.
#include <map>
#include <tuple>

#include "TDB_internal.h"
#include "Anim_test_support.h"

namespace tv::animtest {
namespace {

using namespace tv::tdb;

using ::testing::HasSubstr;

class TdbModel : public TdbFixture {};

TEST_F(TdbModel, NewStreamSettings) {
  TDB_Stream s = Make(2, 30, Desc(6), 0, 1, 7, 4);
  TDB_StreamInfo info = Info(s);
  // Dimension, flags, scale, scalar size, key data (position and two tangents), key size, key count.
  EXPECT_EQ(std::tuple(info.dimension, info.flags, info.timeScale, info.valueDescription.scalarSize, info.keyDataSize,
                       info.keySize, info.keyCount),
            std::tuple(2, TDB_StreamSpatial | TDB_StreamNonDecreasing, 30u, 4, 48, 56 + 48, 0));
  EXPECT_DOUBLE_EQ(info.accuracy, 0.0001);
  for (double m : info.multipliers) EXPECT_EQ(m, 1.0);
  EXPECT_EQ(**reinterpret_cast<uint16_t**>(s), TDB_Magic);

  int32_t size = 0;
  TDB_ValueDesc dd = Desc(9);
  EXPECT_EQ(TDB_GetKeyScalarDataSize(&dd, 0, 3, &size), 0);
  EXPECT_EQ(size, 120);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(TdbModel, NewStreamRefusals) {
  TDB_Stream s = nullptr;
  TDB_ValueDesc d = Desc();
  EXPECT_EQ(TDB_NewStream(1, 0, 0, 0, 7, 7, &d, &s), TDB_ErrTimeScale);
  ExpectReport(kSiteNew, "invalid time scale in time stream.");
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(TDB_NewStream(0, 600, 0, 0, 7, 7, &d, &s), kErrBadParam);
  EXPECT_EQ(TDB_NewStream(5, 600, 0, 0, 7, 7, &d, &s), kErrBadParam);
  rec.clear();
  TDB_ValueDesc bad = Desc(10);
  EXPECT_EQ(TDB_NewStream(1, 600, 0, 0, 7, 7, &bad, &s), TDB_ErrValueDesc);
  TDB_ValueDesc unknown = Desc(0, 77);
  EXPECT_EQ(TDB_NewStream(1, 600, 0, 0, 7, 7, &unknown, &s), TDB_ErrNoSuchKind);
  EXPECT_TRUE(rec.reports.empty());  // these two are returned without a report
  EXPECT_EQ(s, nullptr);
}

TEST_F(TdbModel, MethodMask) {
  TDB_Stream s = Keyed(1, 600, 1);
  double v = 1;
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, 0, 0, &v, 2, 1), TDB_ErrMethod);
  ExpectReport(kSiteInsert, "interpolation method not allowed for this stream (2).");
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, 0, 0, &v, -1, 1), TDB_ErrMethod);
  ExpectReport(kSiteInsert, "(-1).");
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, 0, 0, &v, 0, 1), 0);  // 0 is always allowed
  ASSERT_EQ(TDB_SetStreamIMask(s, 1 | 8), 0);
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, 10, 0, &v, -2, 1), 0);
}

TEST_F(TdbModel, ConstantStream) {
  TDB_Stream s = Constant(2);
  double v[2] = {};
  EXPECT_EQ(TDB_GetValueF(s, nullptr, 0, 0, v, nullptr), TDB_ErrNoKeys);
  ExpectReport(kSiteGetValue, "attempt to get a value from a time stream with no key values.");
  double a[2] = {4, 5};
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, 7, 0, a, 1, 1), 0);
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, 9, 0, a, 1, 1), TDB_ErrKeyExists);
  EXPECT_EQ(rec.last().text,
            "Test error: attempt to overwrite an already existing time stream key value (1D01).");
  ASSERT_EQ(TDB_GetValueF(s, nullptr, 12345, 0, v, nullptr), 0);
  EXPECT_EQ(v[1], 5);
  Boolean32 found = 1;
  int32_t index = 0;
  Time kt{};
  EXPECT_EQ(TDB_FindKeyTime(s, nullptr, 3, 0, &found, &index, &kt), TDB_ErrConstant);
  ExpectReport(kSiteFind, "attempt to find a key value in a constant time stream.");
  EXPECT_EQ(std::tuple(index, kt), std::tuple(kNotFound, kInvalidTime));
  EXPECT_EQ(Nearest(s, 99), std::pair(0, 99));
  ASSERT_EQ(TDB_RemoveKey(s, 0), 0);
  EXPECT_EQ(TDB_FindNearestKeyTime(s, nullptr, 99, &index, &kt), TDB_ErrNoKeys);
}

TEST_F(TdbModel, FindNearestAndIndexLookups) {
  TDB_Stream s = Keyed();
  for (int32_t t : {10, 20, 30}) Key(s, t, {double(t)});
  struct Case {
    int32_t t, dir;
    bool found;
    int32_t index;
  } cases[] = {
      {20, 0, true, 2},  {20, TDB_FindIncludeExact, true, 1}, {20, 1, true, 0}, {20, 1 | 0x1000, true, 1},
      {15, 0, true, 1},  {15, 1, true, 0},  {5, 1, false, kNotFound},          {5, 0, true, 0},
      {35, 0, false, kNotFound}, {35, 1, true, 2}, {30, 0, false, kNotFound},   {10, 1, false, kNotFound},
  };
  for (const Case& c : cases) {
    Boolean32 found = 7;
    int32_t index = 7;
    Time kt{};
    ASSERT_EQ(TDB_FindKeyTime(s, nullptr, c.t, c.dir, &found, &index, &kt), 0);
    EXPECT_EQ(std::tuple(found != 0, index, kt),
              std::tuple(c.found, c.index, c.found ? Time{10 * (c.index + 1), 600} : kInvalidTime))
        << c.t << " " << c.dir;
  }
  int32_t index = 0;
  Time kt{};
  // Ties go to the earlier key.
  const std::pair<int32_t, int32_t> nearest[] = {{15, 0}, {16, 1}, {-100, 0}, {100, 2}, {20, 1}};
  for (auto [t, want] : nearest) EXPECT_EQ(Nearest(s, t).first, want) << t;
  using Lookup = ErrorCode (*)(TDB_Stream, const Time*, int32_t, int32_t*);
  const struct {
    Lookup f;
    int32_t t, index;
  } lookups[] = {{TDB_TimeToIndex, 15, kNotFound}, {TDB_TimeToIndex, 30, 2}, {TDB_GetKeyIndex, 25, 1},
               {TDB_GetKeyIndex, 5, kNotFound}};
  for (const auto& c : lookups) {
    EXPECT_EQ(c.f(s, nullptr, c.t, &index), 0);
    EXPECT_EQ(index, c.index) << c.t;
  }
  ASSERT_EQ(TDB_IndexToTime(s, -1, &kt), 0);
  EXPECT_EQ(kt, (Time{30, 600}));
  EXPECT_EQ(TDB_IndexToTime(s, 3, &kt), kErrRange);
  EXPECT_EQ(kt, kInvalidTime);
}

TEST_F(TdbModel, TimesAtTheLimits) {
  TDB_Stream s = Keyed();
  double v = 1;
  Time far{INT32_MAX, 1};
  EXPECT_NE(TDB_InsertKeyF(s, &far, 0, 0, &v, 1, 1), 0);
  Time noScale{5, 0};
  EXPECT_EQ(TDB_InsertKeyF(s, &noScale, 0, 0, &v, 1, 1), TDB_ErrTimePosition);
  ExpectReport(kSiteInsert,
               "attempt to insert a key value into a time stream at a time position not representable in the "
               "stream time scale.");
  // The lowest time is the "no time" mark: refused; the highest is a time.
  EXPECT_EQ(TDB_InsertKeyF(s, nullptr, INT32_MIN, 0, &v, 1, 1), TDB_ErrTimePosition);
  ASSERT_EQ(TDB_InsertKeyF(s, nullptr, INT32_MAX, 0, &v, 1, 1), 0);
  EXPECT_EQ(Times(s), std::vector<int32_t>{INT32_MAX});
}

TEST_F(TdbModel, MovingAndRemovingKeys) {
  TDB_Stream s = Keyed();
  for (int32_t t : {10, 20, 30}) Key(s, t, {double(t)});
  // The value moves with its key.
  ASSERT_EQ(TDB_SetKeyTime(s, 0, nullptr, 25), 0);
  EXPECT_EQ(std::tuple(Times(s), KeyF(s, 1)[0]), std::tuple(std::vector<int32_t>{20, 25, 30}, 10.0));
  ASSERT_EQ(TDB_SetKeyTime(s, 2, nullptr, 0), 0);
  EXPECT_EQ(std::tuple(Times(s), KeyF(s, 0)[0]), std::tuple(std::vector<int32_t>{0, 20, 25}, 30.0));
  EXPECT_EQ(TDB_SetKeyTime(s, 0, nullptr, 25), TDB_ErrKeyExists);
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 20, 25}));
  ASSERT_EQ(TDB_RemoveKey(s, -1), 0);
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 20}));
  ASSERT_EQ(TDB_RemoveKey(s, 0), 0);
  ASSERT_EQ(TDB_RemoveKey(s, 0), 0);
  EXPECT_EQ(TDB_RemoveKey(s, 0), TDB_ErrNoKeys);
  ExpectReport(kSiteRemove, "attempt to remove a key value from a time stream with no key values.");
}

TEST_F(TdbModel, InfluenceVelocityAndFlags) {
  TDB_Stream s = Keyed(2);
  Key(s, 0, {0, 0});
  Key(s, 600, {1, 1});
  auto influence = [&](int32_t i) {
    double in[2], out[2];
    EXPECT_EQ(TDB_GetKeyInfluence(s, i, in, out), 0);
    return std::vector<double>{in[0], in[1], out[0], out[1]};
  };
  auto velocity = [&](int32_t i) {
    double in[2], out[2];
    EXPECT_EQ(TDB_GetKeyVelocity(s, i, in, out), 0);
    return std::vector<double>{in[0], in[1], out[0], out[1]};
  };
  // Influences are clamped to 0..1 and undefined ones become 0.
  ASSERT_EQ(TDB_SetKeyModifiable(s, 0, 1), 0);
  double in[2] = {1.5, -0.2}, out[2] = {0.5, std::nan("")};
  ASSERT_EQ(TDB_SetKeyInfluence(s, 0, in, out), 0);
  EXPECT_EQ(influence(0), (std::vector<double>{1, 0, 0.5, 0}));
  EXPECT_FALSE(Flags(s, 0) & TDB_KeyModifiable);
  // Continuous: both sides; otherwise one side only.
  ASSERT_EQ(TDB_SetKeyContinuous(s, 1, 1), 0);
  double ov[2] = {3, 4}, ov2[2] = {7, 8};
  ASSERT_EQ(TDB_SetKeyVelocity(s, 1, nullptr, ov), 0);
  EXPECT_EQ(velocity(1), (std::vector<double>{3, 4, 3, 4}));
  ASSERT_EQ(TDB_SetKeyVelocity(s, 0, nullptr, ov2), 0);
  EXPECT_EQ(velocity(0), (std::vector<double>{0, 0, 7, 8}));
  // Setting a value keeps the key's velocities and influences.
  double nv[2] = {5, 6};
  ASSERT_EQ(TDB_SetKeyF(s, 0, nv), 0);
  EXPECT_EQ(velocity(0)[3], 8);
  EXPECT_EQ(influence(0)[2], 0.5);
  ASSERT_EQ(TDB_SetKeyFlags(s, 1, TDB_KeyModifiable | TDB_KeySpatial, TDB_KeyModifiable | TDB_KeySpatial), 0);
  EXPECT_EQ(Flags(s, 1), TDB_KeyEase | TDB_KeyContinuous | TDB_KeyModifiable);  // the layout bit never changes
}

TEST_F(TdbModel, SpatialKeys) {
  TDB_Stream s = Keyed(2, 600, 7, true);
  Key(s, 0, {0, 0});
  Key(s, 300, {10, 0});
  Key(s, 600, {20, 0});
  double neg = -5, pos = 2;
  ASSERT_EQ(TDB_SetKeyVelocity(s, 1, &neg, &pos), 0);
  double iv = 1, ov = 0;
  ASSERT_EQ(TDB_GetKeyVelocity(s, 1, &iv, &ov), 0);
  EXPECT_EQ(std::tuple(iv, ov), std::tuple(0.0, 2.0));  // in: non-decreasing along the path
  EXPECT_TRUE(Flags(s, 1) & TDB_KeySpatial);
  double tin[2] = {-1, -2}, tout[2] = {1, 2}, gin[2], gout[2];
  ASSERT_EQ(TDB_SetKeySpaceTangents(s, 1, tin, tout), 0);
  ASSERT_EQ(TDB_GetKeySpaceTangents(s, 1, gin, gout), 0);
  EXPECT_EQ(std::tuple(gin[1], gout[0]), std::tuple(-2.0, 1.0));
  ASSERT_EQ(TDB_SetKeySpContinuous(s, 1, 1), 0);
  uint32_t sp = 0;
  ASSERT_EQ(TDB_GetKeySpFlags(s, 1, &sp), 0);
  EXPECT_EQ(sp, TDB_SpKeyContinuous);

  TDB_Stream plain = Keyed();
  Key(plain, 0, {0});
  EXPECT_EQ(TDB_SetKeySpaceTangents(plain, 0, tin, tout), TDB_ErrNotSpatial);
  ExpectReport(kSiteTangents, "attempt to set tangents for a key in a non-spatial stream.");
  EXPECT_EQ(TDB_SetStreamSParametrize(plain, 1), TDB_ErrNotSpatial);
  ExpectReport(kSiteSParametrize, "stream isn't spatial");
  ASSERT_EQ(TDB_SetStreamSpIMask(s, 6), 0);
  EXPECT_EQ(TDB_SetStreamSpInterp(s, 2), 0);
  EXPECT_EQ(TDB_SetStreamSpInterp(s, 3), TDB_ErrMethod);
  ExpectReport(kSiteSetters, "interpolation method not allowed for this stream (3).");
}

TEST_F(TdbModel, ChooseInterps) {
  TDB_Stream s = Keyed(1, 600, 7);
  Key(s, 10, {0}, 2, 1);
  Key(s, 20, {0}, 3, 3);
  Key(s, 30, {0}, 1, 2);
  ASSERT_EQ(TDB_SetKeyContinuous(s, 0, 1), 0);
  const struct {
    int32_t t, in, out, flags;
  } cases[] = {
      {10, 2, 1, TDB_KeyEase | TDB_KeyContinuous},
      {0, 2, 2, -1},
      {99, 2, 2, -1},
      {15, 1, 3, 0},   // the earlier key's out method, the later key's in method; TDB_KeyEase & 0
      {25, 3, 3, -1},  // a hold in method forces hold out
  };
  for (const auto& c : cases) {
    int8_t in = 0, out = 0;
    uint16_t flags = 0;
    uint32_t word = 0;
    ASSERT_EQ(TDB_ChooseInterps(s, nullptr, c.t, &in, &out, &flags, &word), 0);
    EXPECT_EQ(std::tuple(in, out, c.flags >= 0 ? flags : -1), std::tuple(c.in, c.out, c.flags)) << c.t;
  }
}

TEST_F(TdbModel, DuplicateIsIndependent) {
  TDB_Stream s = Keyed(2, 600, 7, true);
  Key(s, 0, {0, 0});
  Key(s, 600, {10, 10});
  ASSERT_EQ(TDB_SetStreamSpInterp(s, 0), 0);
  double v[2];
  ASSERT_EQ(TDB_GetValueF(s, nullptr, 300, 0, v, nullptr), 0);  // builds derived data
  TDB_Stream& c = StreamSlot();
  ASSERT_EQ(TDB_DuplicateStream(s, &c), 0);
  double nv[2] = {99, 99};
  ASSERT_EQ(TDB_SetKeyF(c, 1, nv), 0);
  Key(c, 300, {1, 1});
  EXPECT_EQ(Value1(s, 600), 10);
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 600}));
  EXPECT_EQ(Times(c), (std::vector<int32_t>{0, 300, 600}));
  TDB_Stream& k = StreamSlot();
  ASSERT_EQ(TDB_CloneStream(s, &k), 0);
  EXPECT_EQ(Times(k), std::vector<int32_t>{});
  EXPECT_EQ(std::tuple(Info(k).dimension, int(Info(k).flags)), std::tuple(2, TDB_StreamSpatial | TDB_StreamNonDecreasing));
}

TEST_F(TdbModel, DamagedAndDisposedStreams) {
  Handle fake = NewHandleClear(512);
  double v = 0;
  EXPECT_EQ(TDB_GetValueF(reinterpret_cast<TDB_Stream>(fake), nullptr, 0, 0, &v, nullptr), kErrDamaged);
  ExpectReport(kSiteGetValue, "attempt to get a value from an internally damaged time stream.");
  DisposeHandle(fake);
  TDB_Stream gone = Keyed();
  ASSERT_EQ(TDB_DisposeStream(gone), 0);
  Forget(gone);
  EXPECT_EQ(TDB_InsertKeyF(gone, nullptr, 0, 0, &v, 1, 1), kErrDamaged);
  ExpectReport(kSiteInsert, "attempt to insert a key value into an internally damaged time stream.");
}

TEST_F(TdbModel, TimeArithmetic) {
  TDB_Stream s = Keyed();
  int32_t r = 0;
  ASSERT_EQ(TDB_AddTime(s, 5, 7, &r), 0);
  EXPECT_EQ(r, 12);
  EXPECT_EQ(TDB_AddTime(s, INT32_MAX, 1, &r), TDB_ErrOverflow);
  ExpectReport(kSiteTimeArith, "time arithmetic caused time value overflow.");
  EXPECT_EQ(r, kNotFound);
  EXPECT_EQ(TDB_SubTime(s, INT32_MIN + 1, 2, &r), TDB_ErrOverflow);
  ASSERT_EQ(TDB_MulTime(s, 5, Ratio{1, 2}, &r), 0);
  EXPECT_EQ(r, 3);  // 2.5 rounds half up
  ASSERT_EQ(TDB_MulTime(s, -5, Ratio{1, 2}, &r), 0);
  EXPECT_EQ(r, -2);
  EXPECT_EQ(TDB_MulTime(s, INT32_MAX, Ratio{2, 1}, &r), TDB_ErrOverflow);
}

TEST_F(TdbModel, Rescale) {
  TDB_Stream s = Keyed();
  for (int32_t t : {0, 20, 40}) Key(s, t, {double(t)});
  ASSERT_EQ(TDB_RescaleStream(s, 30, TDB_RescaleConvert), 0);
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(TDB_RescaleStream(s, 1, TDB_RescaleConvert), TDB_ErrKeyExists);  // keys would meet
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(Info(s).timeScale, 30u);
  EXPECT_EQ(TDB_RescaleStream(s, 0, TDB_RescaleConvert), TDB_ErrTimeScale);
  EXPECT_EQ(TDB_RescaleStream(s, 60, 9), kErrBadParam);
  ExpectReport(kSiteRescale, "invalid time stream rescaling technique");
  ASSERT_EQ(TDB_RescaleStream(s, 60, TDB_RescaleStretch), 0);
  EXPECT_EQ(Times(s), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(TdbModel, CopyAndMergeKeys) {
  TDB_Stream a = Keyed(1, 600);
  TDB_Stream b = Keyed(1, 30);
  Key(a, 20, {1});
  Key(a, 40, {2});
  ASSERT_EQ(TDB_CopyKeys(a, 0, -1, b), 0);
  EXPECT_EQ(Times(b), (std::vector<int32_t>{1, 2}));
  Key(a, 60, {3});
  double nine = 9;
  ASSERT_EQ(TDB_SetKeyF(b, 0, &nine), 0);
  ASSERT_EQ(TDB_MergeStream(b, a, 0), 0);
  EXPECT_EQ(Times(b), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(KeyF(b, 0)[0], 9);  // kept without overwrite
  TDB_Stream two = Keyed(2);
  EXPECT_EQ(TDB_CopyKey(a, 0, two), kErrBadParam);
  ExpectReport(kSiteCopyKey, "key data size mismatch");
}

TEST_F(TdbModel, ValueRepresentations) {
  TDB_Stream s = Make(2, 600, Desc(6));  // Fixed
  int32_t fixed[2] = {0x18000, -0x10000};
  ASSERT_EQ(TDB_InsertKey(s, nullptr, 0, 0, fixed, 1, 1), 0);
  EXPECT_EQ(KeyF(s, 0, 2), (std::vector<double>{1.5, -1.0}));
  int32_t back[2] = {};
  ASSERT_EQ(TDB_GetKey(s, 0, back), 0);
  EXPECT_EQ(back[0], 0x18000);

  TDB_Stream b = Make(1, 600, Desc(0));  // signed bytes saturate
  double big = 1000;
  ASSERT_EQ(TDB_InsertKeyF(b, nullptr, 0, 0, &big, 1, 1), 0);
  int8_t out = 0;
  Boolean32 atKey = 0;
  ASSERT_EQ(TDB_GetValue(b, nullptr, 0, 0, &out, &atKey), 0);
  EXPECT_EQ(std::tuple(int(out), atKey != 0), std::tuple(127, true));
}

// ---- Custom kinds ----------------------------------------------------------------------
ErrorCode InterpBox(intptr_t data, TDB_Stream, const TDB_InterpContext* ctx, void* out) {
  // A key holds its time, its methods and flags, then its value.
  double* a = BoxOf(static_cast<const uint8_t*>(ctx->keyA) + 8);
  double* b = BoxOf(static_cast<const uint8_t*>(ctx->keyB) + 8);
  const int32_t tA = *static_cast<const int32_t*>(ctx->keyA), tB = *static_cast<const int32_t*>(ctx->keyB);
  double f = double(ctx->time - tA) / (tB - tA);
  double v = *a + (*b - *a) * f;
  double* pv = &v;
  return CopyBox(data, &pv, out);
}

class TdbCustom : public TdbFixture {
 protected:
  void SetUp() override {
    TdbFixture::SetUp();
    TDB_ValueTraits t{};
    t.valueSize = sizeof(double*);
    t.data = reinterpret_cast<intptr_t>(&live);
    t.copy = CopyBox;
    t.dispose = DisposeBox;
    t.interpolate = InterpBox;
    ASSERT_EQ(TDB_RegisterValueKind(42, &t), 0);
  }
  void TearDown() override {
    TdbFixture::TearDown();
    EXPECT_EQ(live, 0);
    TDB_RegisterValueKind(42, nullptr);
  }
  double Get(TDB_Stream s, int32_t t) {
    double* p = nullptr;
    EXPECT_EQ(TDB_GetValue(s, nullptr, t, 0, &p, nullptr), 0);
    double v = p ? *p : -1;
    EXPECT_EQ(TDB_DisposeValue(s, &p), 0);
    return v;
  }
  int live = 0;  // boxes alive
};

TEST_F(TdbCustom, KeysOwnTheirValues) {
  TDB_Stream s = Make(1, 600, Desc(0, 42));
  for (double x : {0.0, 10.0, 20.0}) {
    double v = x;
    double* p = &v;
    ASSERT_EQ(TDB_InsertKey(s, nullptr, static_cast<int32_t>(x * 60), 0, &p, 1, 1), 0);
  }
  EXPECT_EQ(live, 3);
  EXPECT_DOUBLE_EQ(Get(s, 300), 5.0);
  EXPECT_DOUBLE_EQ(Get(s, 600), 10.0);
  EXPECT_EQ(live, 3);
  TDB_Stream& c = StreamSlot();
  ASSERT_EQ(TDB_DuplicateStream(s, &c), 0);
  EXPECT_EQ(live, 6);
  ASSERT_EQ(TDB_RemoveKey(c, 0), 0);
  EXPECT_EQ(live, 5);
  double seven = 7;
  double* p7 = &seven;
  ASSERT_EQ(TDB_SetKey(c, 0, &p7), 0);
  EXPECT_EQ(live, 5);
  EXPECT_DOUBLE_EQ(Get(c, 600), 7.0);
  EXPECT_DOUBLE_EQ(Get(s, 600), 10.0);
  TDB_Stream gone = c;
  ASSERT_EQ(TDB_DisposeStream(c), 0);
  Forget(gone);
  EXPECT_EQ(live, 3);
}

}  // namespace
}  // namespace tv::animtest
