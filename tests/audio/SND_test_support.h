// Shared by the sound tests: a fixture that births SND and checks that every
// world a test made is disposed, and helpers to fill and read worlds.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SND.h"
#include "T.h"
#include "TDB.h"
#include "TestSupport.h"

namespace tv::test {

inline SND_Format Fmt(double rate, uint16_t encoding, uint16_t bytes, uint16_t channels) {
  return SND_Format{rate, encoding, bytes, channels, 0};
}

class SNDTest : public UFixture {
 protected:
  SNDTest() : UFixture({SND_PackageNumber}) {}
  void SetUp() override {
    UFixture::SetUp();
    SNDp_GetWorldCounts(nullptr, &alive_);
  }
  void TearDown() override {
    for (SND_World w : kept_) EXPECT_EQ(SND_DisposeWorld(w), 0);
    int64_t alive = 0;
    SNDp_GetWorldCounts(nullptr, &alive);
    EXPECT_EQ(alive, alive_) << "sound worlds leaked";
    UFixture::TearDown();
  }

  // An empty world of format f, disposed of at the end of the test.
  SND_World New(const SND_Format& f) {
    SND_World w = nullptr;
    EXPECT_EQ(SND_NewWorld(&f, nullptr, &w), 0);
    kept_.push_back(w);
    return w;
  }
  // A world of format f holding the given samples (values of T, usually the
  // sample type; bytes for any format), starting at `start`; disposed of at
  // the end of the test.
  template <class T>
  SND_World Make(const SND_Format& f, const std::vector<T>& samples, Time start = Time{0, 1}) {
    SND_World w = New(f);
    const int64_t frames = static_cast<int64_t>(samples.size() * sizeof(T)) / (f.channels * f.bytesPerSample);
    void* p = nullptr;
    EXPECT_EQ(SND_SizeAndLockBuffer(frames, 0, w, &p), 0);
    if (frames) std::memcpy(p, samples.data(), samples.size() * sizeof(T));
    EXPECT_EQ(SND_UnlockBuffer(w), 0);
    if (frames) {
      EXPECT_EQ(SND_SetWorldStartTime(start, w), 0);
    }
    return w;
  }
  // The samples a world holds as values of type T (bytes for any format).
  template <class T>
  std::vector<T> Samples(SND_World w) {
    const SND_WorldInfo info = Info(w);
    std::vector<T> out(static_cast<size_t>(info.frames * info.format.channels * info.format.bytesPerSample) /
                       sizeof(T));
    void* p = nullptr;
    EXPECT_EQ(SNDp_GetBuffer(w, &p), 0);
    if (!out.empty()) std::memcpy(out.data(), p, out.size() * sizeof(T));
    return out;
  }
  // A Stream of `dims` levels in dB (per 1000ths of a second), constant or keyed.
  static TDB_Stream Levels(int16_t dims, bool constant) {
    TDB_ValueDesc desc{};
    desc.dataType = 9;
    TDB_Stream s = nullptr;
    EXPECT_EQ(TDB_NewStream(dims, 1000, constant, 0, 7, 0, &desc, &s), 0);
    return s;
  }
  SND_WorldInfo Info(SND_World w) {
    SND_WorldInfo info{};
    EXPECT_EQ(SNDp_GetWorldInfo(w, &info), 0);
    return info;
  }

 private:
  int64_t alive_ = 0;

 protected:
  std::vector<SND_World> kept_;  // the worlds New and Make made
};

}  // namespace tv::test
