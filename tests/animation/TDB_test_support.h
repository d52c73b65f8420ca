// Shared helpers of the TDB tests: a fixture that births U, records
// reports, disposes the streams a test makes and checks nothing leaked.
#pragma once

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "LIST.h"
#include "Memory.h"
#include "T.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::tdb::test {

inline TDB_ValueDesc Desc(uint8_t dataType = 9, int16_t kind = 0) {
  TDB_ValueDesc d{};
  d.kind = kind;
  d.dataType = dataType;
  return d;
}

// A custom value kind: a heap-allocated double held by pointer. The traits'
// data, when set, points to an int counting the boxes alive.
inline double* BoxOf(const void* value) {
  double* p = nullptr;
  std::memcpy(&p, value, sizeof p);
  return p;
}
inline ErrorCode CopyBox(intptr_t data, const void* src, void* dst) {
  double* from = BoxOf(src);
  double* to = new double(from ? *from : 0.0);
  std::memcpy(dst, &to, sizeof to);
  if (data) ++*reinterpret_cast<int*>(data);
  return 0;
}
inline ErrorCode DisposeBox(intptr_t data, void* value) {
  if (double* p = BoxOf(value)) {
    delete p;
    if (data) --*reinterpret_cast<int*>(data);
  }
  std::memset(value, 0, sizeof(double*));
  return 0;
}

class TdbFixture : public tv::test::UFixture {
 protected:
  void SetUp() override {
    tv::test::UFixture::SetUp();
    TDBp_GetLiveCount(&liveStreams_);
    LISTp_GetLiveCount(&liveLists_);
    liveHandles_ = EMUL_LiveHandleCount();
  }
  void TearDown() override {
    for (TDB_Stream& s : streams_)
      if (s) {
        EXPECT_EQ(TDB_DisposeStream(s), 0);
        s = nullptr;
      }
    for (LIST_Handle& l : lists_)
      if (l) {
        EXPECT_EQ(LIST_Dispose(l, 0), 0);
        l = nullptr;
      }
    int32_t streams = -1, lists = -1;
    TDBp_GetLiveCount(&streams);
    LISTp_GetLiveCount(&lists);
    EXPECT_EQ(streams, liveStreams_);
    EXPECT_EQ(lists, liveLists_);
    EXPECT_EQ(EMUL_LiveHandleCount(), liveHandles_);
    tv::test::UFixture::TearDown();
  }
  // A stream slot disposed after the test.
  TDB_Stream& Slot() { return streams_.emplace_back(nullptr); }
  LIST_Handle& ListSlot() { return lists_.emplace_back(nullptr); }
  // Forget a slot's stream (the test disposed it).
  void Forget(TDB_Stream s) {
    for (TDB_Stream& x : streams_)
      if (x == s) x = nullptr;
  }

  // A new stream disposed after the test.
  TDB_Stream Make(int16_t dim, uint32_t scale, TDB_ValueDesc d, Boolean32 constant = 0, Boolean32 spatial = 0,
                  uint16_t mask = 7, uint16_t spatialMask = 7) {
    TDB_Stream& s = Slot();
    EXPECT_EQ(TDB_NewStream(dim, scale, constant, spatial, mask, spatialMask, &d, &s), 0);
    return s;
  }
  TDB_Stream Keyed(int16_t dim = 1, uint32_t scale = 600, uint16_t mask = 7, bool spatial = false) {
    return Make(dim, scale, Desc(), 0, spatial, mask, 0xF);
  }
  TDB_Stream Constant(int16_t dim = 1, uint32_t scale = 600) { return Make(dim, scale, Desc(), 1); }
  void Key(TDB_Stream s, int32_t t, std::vector<double> v, int8_t in = 1, int8_t out = 1) {
    ASSERT_EQ(TDB_InsertKeyF(s, nullptr, t, 0, v.data(), in, out), 0);
  }
  void Ease(TDB_Stream s, int32_t index, double inV, double inI, double outV, double outI) {
    ASSERT_EQ(TDB_SetKeyTangentsF(s, index, &inV, &inI, &outV, &outI), 0);
  }
  std::vector<int32_t> Times(TDB_Stream s) {
    int32_t n = 0;
    EXPECT_EQ(TDB_GetNumKeys(s, &n), 0);
    std::vector<int32_t> out;
    for (int32_t i = 0; i < n; ++i) {
      Time t{};
      EXPECT_EQ(TDB_IndexToTime(s, i, &t), 0);
      out.push_back(t.value);
    }
    return out;
  }
  // A key's value, flags and methods, and the stream's information.
  std::vector<double> KeyF(TDB_Stream s, int32_t index, int n = 1) {
    std::vector<double> v(4, -12345.0);
    EXPECT_EQ(TDB_GetKeyF(s, index, v.data()), 0);
    v.resize(static_cast<size_t>(n));
    return v;
  }
  uint16_t Flags(TDB_Stream s, int32_t index) {
    uint16_t f = 0xFFFF;
    EXPECT_EQ(TDB_GetKeyFlags(s, index, &f), 0);
    return f;
  }
  std::pair<int, int> Interps(TDB_Stream s, int32_t index) {
    int8_t in = 99, out = 99;
    EXPECT_EQ(TDB_GetKeyInterps(s, index, &in, &out), 0);
    return {in, out};
  }
  TDB_StreamInfo Info(TDB_Stream s) {
    TDB_StreamInfo info{};
    EXPECT_EQ(TDB_GetStreamInfo(s, &info), 0);
    return info;
  }
  template <class T>
  std::vector<T> Items(LIST_Handle list) {
    int32_t n = 0;
    EXPECT_EQ(LIST_GetNumItems(list, &n), 0);
    std::vector<T> out(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(LIST_GetItem(list, i, &out[static_cast<size_t>(i)]), 0);
    return out;
  }
  double Value1(TDB_Stream s, int32_t t) {
    double v[4] = {};
    EXPECT_EQ(TDB_GetValueF(s, nullptr, t, 0, v, nullptr), 0);
    return v[0];
  }
  // The last report: location site, severity 8, and the message part.
  void ExpectReport(uint32_t site, const std::string& message) {
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_EQ(rec.last().location, Location(TDB_PackageNumber, site));
    EXPECT_EQ(rec.last().severity, kSevError);
    // The report path drops a text's final stop before adding the code.
    std::string m = message;
    if (!m.empty() && m.back() == '.') m.pop_back();
    EXPECT_THAT(rec.last().text, ::testing::HasSubstr(m));
  }

 private:
  std::deque<TDB_Stream> streams_;
  std::deque<LIST_Handle> lists_;
  int32_t liveStreams_ = 0;
  int32_t liveLists_ = 0;
  int64_t liveHandles_ = 0;
};

}  // namespace tv::tdb::test
