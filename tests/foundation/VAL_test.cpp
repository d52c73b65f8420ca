// The value type registry and the built-in types.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "Memory.h"
#include "TestSupport.h"
#include "VAL.h"

namespace {

// A type record named by the text its data field points at.
ErrorCode NameFromData(intptr_t data, char* name) {
  std::strcpy(name, reinterpret_cast<const char*>(data));
  return 0;
}
VAL_TypeRecord Named(const char* name) {
  VAL_TypeRecord record{};
  record.data = reinterpret_cast<intptr_t>(name);
  record.getName = &NameFromData;
  return record;
}

class ValTest : public tv::test::UFixture {
 protected:
  ValTest() : UFixture({VAL_PackageNumber}) {}

  VAL_Value Make(int32_t type) {
    VAL_Value v{};
    EXPECT_EQ(VAL_NewValue(type, nullptr, &v), 0);
    return v;
  }
  // A value coerced to a type (the call must succeed).
  static VAL_Value Coerce(const VAL_Value& v, int32_t type) {
    VAL_Value out{};
    EXPECT_EQ(VAL_CoerceValues(&v, type, 1, &out), 0) << type;
    return out;
  }
  // The order of two values.
  static int32_t Order(const VAL_Value& a, const VAL_Value& b) {
    int32_t order = 99;
    VAL_CompareValues(&a, &b, &order);
    return order;
  }
};

TEST_F(ValTest, RegistrationRefusesATakenName) {
  int32_t type = -1;
  static VAL_TypeRecord custom = Named("test custom");
  ASSERT_EQ(VAL_RegisterType(&custom, &type), 0);
  EXPECT_EQ(type, 32);
  int32_t again = -1;
  EXPECT_EQ(VAL_RegisterType(&custom, &again), VAL_ErrAlreadyRegistered);
  EXPECT_EQ(again, 0);
  rec.ExpectLast(tv::Location(57, 3), tv::kSevError,
                 "Test error: VAL type \"test custom\" already registered.");

  static VAL_TypeRecord none = Named("none!");
  EXPECT_EQ(VAL_RegisterType(&none, &again), VAL_ErrAlreadyRegistered);
  static VAL_TypeRecord other = Named("test other");
  ASSERT_EQ(VAL_RegisterType(&other, &type), 0);
  EXPECT_EQ(type, 33);  // the failed registration took no number
}

TEST_F(ValTest, FlattenShortsGoldenBytes) {
  VAL_Value v[3];
  ASSERT_EQ(VAL_NewValues(VAL_TypeShort, nullptr, 3, v), 0);
  v[0].data.s = 1;
  v[1].data.s = 2;
  v[2].data.s = -1;
  uint32_t size = 0;
  ASSERT_EQ(VAL_GetFlatSize(3, v, &size), 0);
  EXPECT_EQ(size, 6u);
  VAL_FlatHeader header;
  uint8_t flat[6];
  ASSERT_EQ(VAL_FlattenValues(3, v, 0, &header, flat), 0);
  const uint8_t want[6] = {0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(flat, want, 6), 0);
  uint8_t head[VAL_FlatHeaderSize] = {0, 0, 0, 3, 0, 0, 0, 6};
  std::memcpy(head + 8, "KVRN short", 10);
  EXPECT_EQ(std::memcmp(header.bytes, head, VAL_FlatHeaderSize), 0);

  VAL_Value back[4];
  ASSERT_EQ(VAL_UnflattenValues(&header, flat, 6, back, 4), 0);
  EXPECT_EQ(back[2].type, VAL_TypeShort);
  EXPECT_EQ(back[0].data.s, 1);
  EXPECT_EQ(back[2].data.s, -1);
}

TEST_F(ValTest, EveryNumericTypeRoundTripsThroughTheFlatForm) {
  for (int32_t type = VAL_TypeBit; type <= VAL_TypeFpLong; ++type) {
    VAL_Value v[2];
    ASSERT_EQ(VAL_NewValues(type, nullptr, 2, v), 0);
    std::memcpy(v[0].data.bytes, "\x81\x82\x83\x84\x85\x86\x87\x88", 8);
    std::memcpy(v[1].data.bytes, "\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    uint32_t size = 0;
    VAL_GetFlatSize(2, v, &size);
    std::vector<uint8_t> flat(size);
    VAL_FlatHeader header;
    ASSERT_EQ(VAL_FlattenValues(2, v, 0, &header, flat.data()), 0) << type;
    VAL_Value back[2];
    ASSERT_EQ(VAL_UnflattenValues(&header, flat.data(), size, back, 2), 0) << type;
    size_t width = size / 2;
    EXPECT_EQ(std::memcmp(back[0].data.bytes, v[0].data.bytes, width), 0) << type;
    EXPECT_EQ(std::memcmp(back[1].data.bytes, v[1].data.bytes, width), 0) << type;
  }
  VAL_Value d = Make(VAL_TypeFpLong);
  d.data.d = 1.0;
  VAL_FlatHeader header;
  uint8_t flat[8];
  VAL_FlattenValues(1, &d, 0, &header, flat);
  const uint8_t one[8] = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(flat, one, 8), 0);
}

TEST_F(ValTest, MalformedFlatDataIsRefused) {
  VAL_Value v[2] = {Make(VAL_TypeLong), Make(VAL_TypeLong)};
  VAL_FlatHeader header;
  uint8_t flat[8];
  ASSERT_EQ(VAL_FlattenValues(2, v, 0, &header, flat), 0);
  VAL_Value back[2];
  EXPECT_EQ(VAL_UnflattenValues(&header, flat, 8, back, 1), tv::kErrBadParam);  // more values than room
  EXPECT_EQ(VAL_UnflattenValues(&header, flat, 7, back, 2), tv::kErrBadParam);  // more bytes than given
  VAL_FlatHeader bad = header;
  bad.bytes[7] = 7;  // size no longer count x 4
  EXPECT_EQ(VAL_UnflattenValues(&bad, flat, 8, back, 2), tv::kErrBadParam);
  bad = header;
  bad.bytes[3] = 0;
  EXPECT_EQ(VAL_UnflattenValues(&bad, flat, 8, back, 2), tv::kErrBadParam);
  bad = header;
  std::memset(bad.bytes + 8, 'x', VAL_NameSize);  // no terminator
  EXPECT_EQ(VAL_UnflattenValues(&bad, flat, 8, back, 2), VAL_ErrUnknownType);
  EXPECT_EQ(rec.last().text, "Test error: unable to recognize type \"" + std::string(35, 'x') + "\".");
}

TEST_F(ValTest, PointersCannotBeSaved) {
  VAL_Value p = Make(VAL_TypePtr);
  VAL_FlatHeader header;
  EXPECT_EQ(VAL_FlattenValues(1, &p, 0, &header, nullptr), VAL_ErrCannotSave);
  EXPECT_EQ(rec.last().text, "Test error: can not save type \"KVRN ptr\" to a file.");
  EXPECT_EQ(VAL_FlattenValues(0, &p, 0, &header, nullptr), tv::kErrBadParam);
}

TEST_F(ValTest, HandleValuesNewCopyFlattenDispose) {
  uint32_t size = 5;
  VAL_Value h{};
  ASSERT_EQ(VAL_NewValue(VAL_TypeHandle, &size, &h), 0);
  ASSERT_NE(h.data.h, nullptr);
  EXPECT_EQ(GetHandleSize(h.data.h), 5);
  std::memcpy(*h.data.h, "hello", 5);
  VAL_Value c{};
  ASSERT_EQ(VAL_CopyValue(&h, &c), 0);
  EXPECT_NE(c.data.h, h.data.h);
  EXPECT_EQ(std::memcmp(*c.data.h, "hello", 5), 0);
  int64_t deep = 0;
  VAL_GetDeepDataSize(&c, &deep);
  EXPECT_EQ(deep, 5);
  Handle before = c.data.h;
  ASSERT_EQ(VAL_CopyValue(&c, &c), 0);  // onto itself: nothing changes, nothing leaks
  EXPECT_EQ(c.data.h, before);
  EXPECT_EQ(std::memcmp(*c.data.h, "hello", 5), 0);
  VAL_DisposeValue(&c);

  VAL_FlatHeader header;
  uint8_t flat[5];
  ASSERT_EQ(VAL_FlattenValues(1, &h, 0, &header, flat), 0);
  VAL_Value back{};
  ASSERT_EQ(VAL_UnflattenValues(&header, flat, 5, &back, 1), 0);
  ASSERT_NE(back.data.h, nullptr);
  EXPECT_EQ(std::memcmp(*back.data.h, "hello", 5), 0);
  VAL_DisposeValue(&back);
  EXPECT_EQ(VAL_DisposeValue(&h), 0);
  EXPECT_EQ(h.type, 0);
  EXPECT_EQ(h.data.h, nullptr);
  VAL_Value none{};
  ASSERT_EQ(VAL_NewValue(VAL_TypeHandle, nullptr, &none), 0);
  EXPECT_EQ(none.data.h, nullptr);
  EXPECT_EQ(VAL_NewValue(99, nullptr, &none), tv::kErrRange);
}

TEST_F(ValTest, FailedNewDisposesWhatWasMade) {
  static int made = 0, disposed = 0;
  static VAL_TypeRecord counted = Named("test counted");
  counted.newValue = [](intptr_t, const void*, VAL_Value* v) -> ErrorCode {
    if (made == 2) return tv::kErrOutOfMemory;
    v->data.l = ++made;
    return 0;
  };
  counted.dispose = [](intptr_t, VAL_Value*) -> ErrorCode {
    ++disposed;
    return 0;
  };
  int32_t type = 0;
  ASSERT_EQ(VAL_RegisterType(&counted, &type), 0);
  VAL_Value v[4];
  EXPECT_EQ(VAL_NewValues(type, nullptr, 4, v), tv::kErrOutOfMemory);
  EXPECT_EQ(disposed, 2);
  for (const VAL_Value& x : v) EXPECT_EQ(x.type, 0);
}

TEST_F(ValTest, FailedDeepCopyLeavesTheDestinationEmpty) {
  static VAL_TypeRecord failing = Named("test failing copy");
  failing.copy = [](intptr_t, const VAL_Value* s, VAL_Value* d) -> ErrorCode {
    if (s->data.l == 2) return tv::kErrOutOfMemory;
    d->data.l = s->data.l * 10;
    return 0;
  };
  int32_t type = 0;
  ASSERT_EQ(VAL_RegisterType(&failing, &type), 0);
  VAL_Value src[3];
  VAL_NewValues(type, nullptr, 3, src);
  src[0].data.l = 1;
  src[1].data.l = 2;
  src[2].data.l = 3;
  VAL_Value dst[3] = {};
  EXPECT_EQ(VAL_CopyValues(src, 3, dst), tv::kErrOutOfMemory);
  EXPECT_EQ(dst[0].data.l, 10);
  EXPECT_EQ(dst[1].type, 0);
  EXPECT_EQ(dst[1].data.l, 0);
  EXPECT_EQ(dst[2].type, 0);  // not reached
}

TEST_F(ValTest, Coercions) {
  VAL_Value d = Make(VAL_TypeFpLong), out{};
  // Halves away from zero; NaN and values beyond every integer are defined,
  // not undefined behaviour.
  for (auto [value, type, want] : {std::tuple{2.5, VAL_TypeFixed, 0x28000}, {-0.7, VAL_TypeLong, 0},
                                   {-2.5, VAL_TypeFixed, -0x28000}, {NAN, VAL_TypeLong, 0}}) {
    d.data.d = value;
    EXPECT_EQ(Coerce(d, type).data.l, want) << value;
  }
  d.data.d = 1e300;
  Coerce(d, VAL_TypeShort);

  VAL_Value f = Make(VAL_TypeFixed);
  f.data.l = 0x18000;
  EXPECT_EQ(std::tuple(Coerce(f, VAL_TypeLong).data.l, Coerce(f, VAL_TypeFpLong).data.d), std::tuple(1, 1.5));
  f.data.l = -0x18000;
  EXPECT_EQ(Coerce(f, VAL_TypeLong).data.l, -2);  // arithmetic shift

  VAL_Value c = Make(VAL_TypeChar);
  c.data.c = -3;
  EXPECT_EQ(std::tuple(Coerce(c, VAL_TypeBit).data.uc, Coerce(c, VAL_TypeFixed).data.l), std::tuple(1, -3 * 65536));

  VAL_Value l = Make(VAL_TypeLong);
  l.data.l = 70000;
  EXPECT_EQ(Coerce(l, VAL_TypeShort).data.s, static_cast<int16_t>(70000 & 0xFFFF));
  EXPECT_EQ(Coerce(l, VAL_TypeFpLong).data.d, 70000.0);

  VAL_Value p = Make(VAL_TypePtr);
  p.data.ptr = reinterpret_cast<void*>(uintptr_t{0xFFFFFFFF});
  ASSERT_EQ(VAL_CoerceValues(&p, VAL_TypeFpLong, 1, &out), 0);
  EXPECT_EQ(out.data.d, 4294967295.0);
  EXPECT_EQ(VAL_CoerceValues(&p, VAL_TypeShort, 1, &out), VAL_ErrCannotConvert);
  EXPECT_EQ(rec.last().text, "Test error: unable to convert from type 13 to type KVRN short.");
  EXPECT_EQ(VAL_CoerceValues(&l, VAL_TypeHandle, 1, &out), VAL_ErrCannotConvert);
  EXPECT_EQ(rec.last().text, "Test error: unable to convert from type 7 to type KVRN Handle.");
  EXPECT_EQ(out.type, 0);  // the new values were disposed
}

TEST_F(ValTest, CompareAndPrint) {
  VAL_Value a = Make(VAL_TypeLong), b = Make(VAL_TypeLong);
  a.data.l = 5;
  b.data.l = 6;
  EXPECT_EQ(std::tuple(Order(a, b), Order(a, a)), std::tuple(VAL_Incomparable, 0));
  VAL_Value x = Make(VAL_TypeFpLong), y = Make(VAL_TypeFpLong);
  x.data.d = 5.0;
  y.data.d = 6.0;
  EXPECT_EQ(std::tuple(Order(x, y), Order(y, x)), std::tuple(-1, 1));
  x.data.d = NAN;
  EXPECT_EQ(std::tuple(Order(x, y), Order(a, x)), std::tuple(-1, VAL_Incomparable));

  char text[40];
  int32_t len = 0;
  VAL_PrintValue(&a, 0, nullptr, &len);
  EXPECT_EQ(len, 32);
  VAL_PrintValue(&a, 1, text, &len);
  EXPECT_STREQ(text, "5");
  VAL_Value u = Make(VAL_TypeULong);
  u.data.ul = 0xFFFFFFFFu;
  VAL_PrintValue(&u, 1, text, &len);
  EXPECT_STREQ(text, "4294967295");
  y.data.d = 2.50;
  VAL_PrintValue(&y, 1, text, &len);
  EXPECT_STREQ(text, "2.5");
  VAL_Value c = Make(VAL_TypeChar);
  c.data.uc = 0x41;
  VAL_PrintValue(&c, 1, text, &len);
  EXPECT_EQ(len, 22);
  EXPECT_STREQ(text, "0x00000041,0x00000000");
}

}  // namespace
