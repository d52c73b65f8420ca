// Conversion between formats (every pair over every 8- and 16-bit value,
// literal and fast kernels), copying and mixing between worlds, rate
// conversion against an independent computation, in-place conversion,
// interruption and sound files.
#include <sndfile.h>

#include <cmath>
#include <limits>
#include <random>

#include "SND_internal.h"
#include "SND_test_support.h"

namespace tv::test {
namespace {

using snd::SampleFormat;

constexpr SampleFormat kFormats[] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {3, 4}};

// ---- An independent model of a sample: its value at full scale 1.0 ----
double Value(SampleFormat f, const uint8_t* p) {
  if (f.encoding == 3) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
  }
  int64_t v = f.bytes == 1 ? p[0] : (p[0] | (p[1] << 8));  // little-endian host
  if (f.encoding == 1) v -= f.bytes == 1 ? 128 : 32768;
  else if (v >= (f.bytes == 1 ? 128 : 32768)) v -= f.bytes == 1 ? 256 : 65536;
  return static_cast<double>(v) / (f.bytes == 1 ? 128.0 : 32768.0);
}

// The bytes a value becomes in format f (rounded half up, limited), added to
// the value already at p when mixing.
void Expect(SampleFormat f, double v, bool mix, const uint8_t* old, uint8_t* out) {
  if (f.encoding == 3) {
    float x = static_cast<float>(v);
    if (mix) x = static_cast<float>(Value(f, old)) + x;
    std::memcpy(out, &x, 4);
    return;
  }
  const double full = f.bytes == 1 ? 128.0 : 32768.0;
  double n = std::isnan(v) ? 0 : std::clamp(std::floor(v * full + 0.5), -full, full - 1);
  if (mix) n = std::clamp(n + Value(f, old) * full, -full, full - 1);
  int64_t raw = static_cast<int64_t>(n) + (f.encoding == 1 ? static_cast<int64_t>(full) : 0);
  out[0] = static_cast<uint8_t>(raw & 0xFF);
  if (f.bytes == 2) out[1] = static_cast<uint8_t>((raw >> 8) & 0xFF);
}

// The source values of a test: every 8- or 16-bit pattern, or float values
// with the edges, NaN and values beyond full scale.
std::vector<uint8_t> AllValues(SampleFormat f) {
  std::vector<uint8_t> v;
  if (f.encoding == 3) {
    const float fs[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -2.0f, 0.999f, 1.0f / 256, 1.0f / 65536,
                        -1.0f / 65536, 3.0f / 65536, 127.5f / 128, -128.5f / 128, 1e-9f,
                        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    v.resize(sizeof(fs));
    std::memcpy(v.data(), fs, sizeof(fs));
    for (int i = -70000; i <= 70000; i += 7) {
      const float x = static_cast<float>(i) / 65536.0f;
      const size_t at = v.size();
      v.resize(at + 4);
      std::memcpy(v.data() + at, &x, 4);
    }
    return v;
  }
  const int n = f.bytes == 1 ? 256 : 65536;
  v.resize(static_cast<size_t>(n) * f.bytes);
  for (int i = 0; i < n; ++i) {
    v[static_cast<size_t>(i) * f.bytes] = static_cast<uint8_t>(i & 0xFF);
    if (f.bytes == 2) v[static_cast<size_t>(i) * 2 + 1] = static_cast<uint8_t>(i >> 8);
  }
  return v;
}

// A destination's bytes before a conversion, which mixing adds to: a byte
// pattern, or float samples within full scale.
std::vector<uint8_t> Start(SampleFormat f, size_t samples) {
  std::vector<uint8_t> start(samples * f.bytes);
  for (size_t i = 0; i < start.size(); ++i) start[i] = static_cast<uint8_t>(i * 37 + 11);
  for (size_t i = 0; f.encoding == 3 && i < samples; ++i) {
    const float x = static_cast<float>(static_cast<int>(i % 401) - 200) / 256.0f;
    std::memcpy(&start[i * 4], &x, 4);
  }
  return start;
}

class SNDConvert : public SNDTest {};

// Every pair, mono to mono, stereo to mono (each value against a second one)
// and mono to stereo, replacing and mixing: the literal and the fast kernels
// both give the model's bytes.
TEST_F(SNDConvert, EveryFormatPairOverEveryValue) {
  for (SampleFormat sf : kFormats) {
    const std::vector<uint8_t> src = AllValues(sf);
    const int64_t n = static_cast<int64_t>(src.size()) / sf.bytes;
    // Stereo frames: (value i, value (i * 7919 + 13) mod n).
    std::vector<uint8_t> stereo(static_cast<size_t>(2 * n * sf.bytes));
    for (int64_t i = 0; i < n; ++i) {
      std::memcpy(&stereo[static_cast<size_t>(2 * i * sf.bytes)], &src[static_cast<size_t>(i * sf.bytes)], sf.bytes);
      std::memcpy(&stereo[static_cast<size_t>((2 * i + 1) * sf.bytes)],
                  &src[static_cast<size_t>(((i * 7919 + 13) % n) * sf.bytes)], sf.bytes);
    }
    for (SampleFormat df : kFormats) {
      for (int shape = 0; shape < 3; ++shape) {
        const int sc = shape == 1 ? 2 : 1;
        const int dc = shape == 2 ? 2 : 1;
        const uint8_t* in = sc == 2 ? stereo.data() : src.data();
        for (bool mix : {false, true}) {
          SCOPED_TRACE(::testing::Message() << "src " << sf.encoding << "/" << sf.bytes << " dst " << df.encoding
                                            << "/" << df.bytes << " shape " << shape << " mix " << mix);
          const std::vector<uint8_t> start = Start(df, static_cast<size_t>(n * dc));
          std::vector<uint8_t> want = start;
          for (int64_t i = 0; i < n; ++i) {
            const uint8_t* frame = in + i * sc * sf.bytes;
            double v = Value(sf, frame);
            if (sc == 2) v = (v + Value(sf, frame + sf.bytes)) * 0.5;
            for (int c = 0; c < dc; ++c) {
              uint8_t* at = &want[static_cast<size_t>((i * dc + c) * df.bytes)];
              Expect(df, v, mix, at, at);
            }
          }
          std::vector<uint8_t> literal = start, fast = start;
          snd::ConvertFramesReference(sf, sc, in, df, dc, literal.data(), n, mix);
          snd::ConvertFramesFast(sf, sc, in, df, dc, fast.data(), n, mix);
          ASSERT_EQ(literal, want);
          ASSERT_EQ(fast, want);
        }
      }
    }
  }
}

// The typed loaders and stores of rate conversion against the literal
// one-sample functions: every 8- and 16-bit value in, and values around every
// rounding edge, NaN and infinities out.
TEST_F(SNDConvert, RateConversionLoadsAndStores) {
  for (SampleFormat f : kFormats) {
    const std::vector<uint8_t> src = AllValues(f);
    const int64_t n = static_cast<int64_t>(src.size()) / f.bytes;
    std::vector<double> loaded(static_cast<size_t>(n + 6));
    snd::LoadNormalized(f, 1, 1, src.data(), n, -3, n + 6, loaded.data());
    for (int64_t i = 0; i < n + 6; ++i) {
      const double want = i < 3 || i >= n + 3 ? 0.0 : snd::ReadNormalized(f, &src[static_cast<size_t>((i - 3) * f.bytes)]);
      ASSERT_TRUE(loaded[static_cast<size_t>(i)] == want || (std::isnan(want) && std::isnan(loaded[static_cast<size_t>(i)])));
    }
    std::vector<double> values = {std::nan(""), INFINITY, -INFINITY, 1e300, -1e300};
    for (int k = -70000; k <= 70000; ++k) values.push_back((k * 0.5) / 32768.0);
    for (int k = -300; k <= 300; ++k) values.push_back((k * 0.5) / 128.0);
    for (bool mix : {false, true}) {
      const std::vector<uint8_t> start = Start(f, values.size());
      std::vector<uint8_t> literal = start, fast = start;
      for (size_t i = 0; i < values.size(); ++i) snd::WriteNormalized(f, &literal[i * f.bytes], values[i], mix);
      snd::StoreNormalized(f, values.data(), fast.data(), static_cast<int64_t>(values.size()), mix);
      ASSERT_EQ(fast, literal) << f.encoding << "/" << f.bytes << " mix " << mix;
    }
  }
}

TEST_F(SNDConvert, BlitAtEqualRates) {
  const SND_Format s16 = Fmt(48000, SND_Encoding_Signed, 2, 1);
  // Direct path: the same format copies bit for bit, to the frame its time says.
  SND_World src = Make<int16_t>(s16, {1, -2, 3, -4, 32767, -32768}, Time{10, 48000});
  SND_World dst = Make<int16_t>(s16, {30000, 30000, -30000, 100, 5, 6, 7, 8, 9}, Time{8, 48000});
  ASSERT_EQ(SND_Blit(1, src, nullptr, nullptr, SND_Blit_Replace, nullptr, dst), 0);
  EXPECT_EQ(Samples<int16_t>(dst), (std::vector<int16_t>{30000, 30000, 1, -2, 3, -4, 32767, -32768, 9}));
  // Mixing limits 16-bit sums: 30000 + 30000 is 32767.
  SND_World loud = Make<int16_t>(s16, {30000, -30000, 2}, Time{8, 48000});
  ASSERT_EQ(SND_Blit(1, loud, nullptr, nullptr, SND_Blit_Mix, nullptr, dst), 0);
  EXPECT_EQ(Samples<int16_t>(dst), (std::vector<int16_t>{32767, 0, 3, -2, 3, -4, 32767, -32768, 9}));
  // Only the requested span, and the destination grows to take what lies outside it.
  const Time start{12, 48000}, duration{10, 48000};
  ASSERT_EQ(SND_Blit(0, src, &start, &duration, SND_Blit_Replace, nullptr, loud), 0);
  EXPECT_EQ(Info(loud).start, (Time{8, 48000}));
  EXPECT_EQ(Samples<int16_t>(loud), (std::vector<int16_t>{30000, -30000, 2, 0, 3, -4, 32767, -32768}));
  rec.clear();
  EXPECT_EQ(SND_Blit(1, src, nullptr, nullptr, 2, nullptr, dst), kErrBadParam);
  EXPECT_EQ(SND_Blit(1, src, nullptr, nullptr, 0, nullptr, src), kErrBadParam);
  EXPECT_EQ(rec.reports.size(), 2u);
}

// ---- Rate conversion against the definitions, computed here in doubles ----
std::vector<double> Model(const std::vector<double>& x, double srcRate, double dstRate, int64_t frames, bool best) {
  const double c = dstRate / srcRate;
  const bool filter = best && srcRate - dstRate >= 1e-8;
  auto at = [&](int64_t i) { return i < 0 || i >= static_cast<int64_t>(x.size()) ? 0.0 : x[static_cast<size_t>(i)]; };
  auto lp = [&](int64_t i) {
    if (!filter) return at(i);
    double acc = 0;
    for (int k = 0; k < 29; ++k) {
      const double arg = (14 - k) * c * M_PI;
      const double w = k < 28 ? 0.54 - 0.46 * std::cos(2 * M_PI * k / 28) : 0.0;
      acc += static_cast<double>(static_cast<float>(c * (arg == 0 ? 1.0 : std::sin(arg) / arg) * w)) * at(i + k - 14);
    }
    return acc;
  };
  std::vector<double> y(static_cast<size_t>(frames));
  for (int64_t j = 0; j < frames; ++j) {
    const double p = j * srcRate / dstRate;
    const int64_t n = static_cast<int64_t>(std::floor(p));
    const double f = p - n;
    const double a = lp(n - 1), b = lp(n), cc = lp(n + 1), d = lp(n + 2);
    y[static_cast<size_t>(j)] = best ? b + 0.5 * f * (cc - a + f * (2 * a - 5 * b + 4 * cc - d + f * (3 * (b - cc) + d - a)))
                                     : b + f * (cc - b);
  }
  return y;
}

TEST_F(SNDConvert, RateConversionFollowsTheDefinitions) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
  std::vector<float> x(5000);
  for (float& v : x) v = noise(gen);
  const std::vector<double> xd(x.begin(), x.end());
  const double rates[][2] = {{48000, 44100}, {44100, 48000}, {22050, 8000}, {8000, 44100}};
  for (const auto& r : rates) {
    for (int32_t quality : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << r[0] << " -> " << r[1] << " quality " << quality);
      SND_World src = Make<float>(Fmt(r[0], SND_Encoding_Float, 4, 1), x);
      SND_World dst = New(Fmt(r[1], SND_Encoding_Float, 4, 1));
      ASSERT_EQ(SND_Blit(quality, src, nullptr, nullptr, SND_Blit_Replace, nullptr, dst), 0);
      const std::vector<float> got = Samples<float>(dst);
      ASSERT_EQ(static_cast<int64_t>(got.size()), static_cast<int64_t>(std::ceil(5000 * r[1] / r[0] - 1e-8)));
      const std::vector<double> want = Model(xd, r[0], r[1], static_cast<int64_t>(got.size()), quality == 1);
      for (size_t j = 0; j < got.size(); ++j) ASSERT_NEAR(got[j], want[j], 2e-7) << j;
    }
  }
}

int gPolls = 0;
Boolean32 StopOnSecond(void*) { return ++gPolls >= 2; }

TEST_F(SNDConvert, InstalledAbortStopsALongConversion) {
  std::vector<int16_t> s(200000, 1000);
  SND_World a = Make<int16_t>(Fmt(48000, SND_Encoding_Signed, 2, 1), s);
  SND_World b = New(Fmt(44100, SND_Encoding_Signed, 2, 1));
  ASSERT_EQ(SND_InstallProcs(nullptr, StopOnSecond), 0);
  rec.clear();
  gPolls = 0;
  EXPECT_EQ(SND_Blit(1, a, nullptr, nullptr, SND_Blit_Replace, nullptr, b), SND_ErrInterrupted);
  EXPECT_TRUE(rec.reports.empty());
  ASSERT_EQ(SND_InstallProcs(nullptr, nullptr), 0);
  // The destination holds the converted frames so far, then silence.
  EXPECT_EQ(Samples<int16_t>(b)[100], 1000);
  EXPECT_EQ(Samples<int16_t>(b).back(), 0);
}

TEST_F(SNDConvert, SoundFiles) {
  TempDir dir("snd");
  const std::string path = dir.P("tone.wav");
  SF_INFO info{};
  info.samplerate = 22050;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<int16_t> frames(2 * 1000);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 31 - 30000);
  ASSERT_EQ(sf_writef_short(f, frames.data(), 1000), 1000);
  sf_close(f);

  SND_Source src = nullptr;
  ASSERT_EQ(SND_NewSource(path.c_str(), &src), 0);
  SND_SourceDesc desc{};
  ASSERT_EQ(SND_GetDesc(src, &desc), 0);
  EXPECT_EQ(desc.format.rate, 22050.0);
  EXPECT_EQ(desc.format.channels, 2);
  EXPECT_EQ(desc.format.bytesPerSample, 2);
  EXPECT_EQ(desc.frames, 1000);
  // Frames 100 .. 199 into a world of the file's format: the same samples.
  SND_World w = New(desc.format);
  ASSERT_EQ(SND_GetSound(src, 1, Time{100, 22050}, Time{100, 22050}, w), 0);
  EXPECT_EQ(Info(w).start, (Time{100, 22050}));
  EXPECT_EQ(Samples<int16_t>(w), std::vector<int16_t>(frames.begin() + 200, frames.begin() + 400));
  ASSERT_EQ(SND_DisposeSource(src), 0);

  rec.clear();
  EXPECT_EQ(SND_NewSource(dir.P("none.wav").c_str(), &src), kSysFileNotFound);
  EXPECT_EQ(src, nullptr);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.last().location, Location(SND_PackageNumber, snd::kSiteSource));
}

}  // namespace
}  // namespace tv::test
