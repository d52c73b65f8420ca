// The level envelope: a stream of levels in dB applied to a world's frames.
// The stream is sampled adaptively over the world's span (straight lines in
// dB within the tolerance); each frame's gain is the ratio of the level at
// its time, the level limited to -192 .. +24 dB. Integer samples are scaled
// around their midpoint, rounded to nearest and limited to their range.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "LIST.h"
#include "SND_internal.h"
#include "TDB.h"

namespace tv::snd {
namespace {

constexpr double kMinDB = -192.0;
constexpr double kMaxDB = 24.0;

double GainOf(double dB) { return std::pow(10.0, 0.05 * std::clamp(dB, kMinDB, kMaxDB)); }

// floor((sample - mid) g + 0.5) + mid, limited. The floor is taken by
// truncation and a correction, without a library call: the value stays far
// inside 64-bit integers (a sample times at most 24 dB of gain).
template <class T>
void Scale(T* p, double g, double mid, double lo, double hi) {
  const double x = (static_cast<double>(*p) - mid) * g + 0.5;
  const auto t = static_cast<int64_t>(x);
  const double v = static_cast<double>(t - (static_cast<double>(t) > x ? 1 : 0)) + mid;
  *p = static_cast<T>(std::clamp(v, lo, hi));
}

// Owns the sample list of one dimension and gives the gains of runs of
// frames. Between two sample points the level is a straight line in dB, so
// the gain changes by one factor per frame: it is carried from frame to
// frame by that factor and taken afresh from the level every 256 frames and
// at every point, where the factor changes.
class LevelWalk {
 public:
  ~LevelWalk() {
    if (iterating_) TDB_CompleteIterateAdaptiveSampleStream(&it_);
    if (points_) LIST_Dispose(points_, 0);
  }
  ErrorCode Start(TDB_Stream levels, int32_t dim, Time start, Time duration, double tolerance, double resolution) {
    double lo = 0, hi = 0;
    if (ErrorCode err = TDB_GetAdaptiveSampleStream(levels, dim, &start, &duration, tolerance, resolution, 1, 10000,
                                                    &points_, &lo, &hi))
      return err;
    if (ErrorCode err = LIST_GetNumItems(points_, &n_)) return err;
    value_ = lo;  // a constant stream's value
    if (n_ == 0) return 0;
    // The walk keeps the list locked; its points are read in place.
    if (ErrorCode err = TDB_InitIterateAdaptiveSampleStream(points_, &it_)) return err;
    iterating_ = true;
    void* first = nullptr;
    if (ErrorCode err = LIST_GetAddress(points_, 0, 0, &first)) return err;
    p_ = static_cast<const TDB_SamplePoint*>(first);
    return 0;
  }
  // Gains of frames at times t0 + i * period, i from 0 to n - 1 (times only
  // increase from call to call).
  void Gains(long double t0, double period, int64_t n, double* out) {
    if (n_ == 0) {
      std::fill(out, out + n, GainOf(value_));
      return;
    }
    const double base = static_cast<double>(t0);
    for (int64_t i = 0; i < n; ++i) {
      const double t = base + static_cast<double>(i) * period;
      while (pair_ + 1 < n_ - 1 && t > p_[pair_ + 1].time) ++pair_, fresh_ = 0;
      if (fresh_ > 0) {
        gain_ *= factor_;
        --fresh_;
        out[i] = gain_;
        continue;
      }
      if (n_ == 1 || t <= p_[0].time) {
        out[i] = GainOf(p_[0].value);
        continue;
      }
      if (t >= p_[n_ - 1].time) {
        out[i] = GainOf(p_[n_ - 1].value);
        continue;
      }
      Fresh(t, period);
      out[i] = gain_;
    }
  }

  // The gains Gains gives, written to out[i * stride], faster: a first pass
  // takes the frames that Gains computes afresh and finds the runs of frames
  // it carries by the factor, then the runs' products are taken several
  // runs at a time, each run still one serial product, so that every gain
  // is rounded exactly as in Gains.
  void FastGains(long double t0, double period, int64_t n, double* out, int64_t stride) {
    if (n_ == 0) {
      const double g = Cached(value_);
      for (int64_t i = 0; i < n; ++i) out[i * stride] = g;
      return;
    }
    const double base = static_cast<double>(t0);
    runs_.clear();
    for (int64_t i = 0; i < n;) {
      const double t = base + static_cast<double>(i) * period;
      while (pair_ + 1 < n_ - 1 && t > p_[pair_ + 1].time) ++pair_, fresh_ = 0;
      if (fresh_ > 0) {
        // Times only grow with i: no point is passed inside the run when
        // none is passed at its last frame.
        const int64_t m = std::min<int64_t>(fresh_, n - i);
        const double last = base + static_cast<double>(i + m - 1) * period;
        if (!(pair_ + 1 < n_ - 1 && last > p_[pair_ + 1].time)) {
          runs_.push_back(Run{i, m, gain_, factor_});
          fresh_ -= static_cast<int32_t>(m);
          i += m;
          continue;
        }
        gain_ *= factor_;
        --fresh_;
        out[i * stride] = gain_;
        ++i;
        continue;
      }
      if (n_ == 1 || t <= p_[0].time) {
        out[i * stride] = Cached(p_[0].value);
        ++i;
        continue;
      }
      if (t >= p_[n_ - 1].time) {
        out[i * stride] = Cached(p_[n_ - 1].value);
        ++i;
        continue;
      }
      Fresh(t, period);
      out[i * stride] = gain_;
      ++i;
    }
    CarryRuns(out, stride);
    // A run that goes on into the next call carries on from the last gain.
    if (fresh_ > 0 && n > 0) gain_ = out[(n - 1) * stride];
  }

 private:
  // The gain of a frame at time t between the current pair of points, and
  // how many frames after it the factor carries it.
  void Fresh(double t, double period) {
    const TDB_SamplePoint& a = p_[pair_];
    const TDB_SamplePoint& b = p_[pair_ + 1];
    const double w = b.time - a.time;
    const double slope = w > 0 ? (b.value - a.value) / w : 0.0;
    const double dB = w > 0 ? a.value + slope * (t - a.time) : b.value;
    gain_ = GainOf(dB);
    // The factor carries the gain for up to 255 frames, never past the
    // next point nor over a limit of the level.
    const double step = slope * period;
    double room = 255;
    if (step > 0) room = std::min(room, std::floor((kMaxDB - dB) / step) - 1);
    if (step < 0) room = std::min(room, std::floor((kMinDB - dB) / step) - 1);
    room = std::min(room, std::floor((b.time - t) / period) - 1);
    if (dB > kMinDB && dB < kMaxDB && room > 0) {
      factor_ = std::pow(10.0, 0.05 * step);
      fresh_ = static_cast<int32_t>(room);
    }
  }
  struct Run {
    int64_t at, length;
    double from, factor;  // the gain before the run and the factor per frame
  };
  // Up to eight runs' products at once (independent chains keep the
  // multiplier busy); what is left of the longer ones after.
  void CarryRuns(double* out, int64_t stride) {
    size_t r = 0;
    for (; r + 8 <= runs_.size(); r += 8) {
      const Run* q = &runs_[r];
      int64_t len = q[0].length;
      for (int k = 1; k < 8; ++k) len = std::min(len, q[k].length);
      double g[8], f[8];
      double* o[8];
      for (int k = 0; k < 8; ++k) g[k] = q[k].from, f[k] = q[k].factor, o[k] = out + q[k].at * stride;
      for (int64_t j = 0; j < len; ++j)
        for (int k = 0; k < 8; ++k) {
          g[k] *= f[k];
          o[k][j * stride] = g[k];
        }
      for (int k = 0; k < 8; ++k)
        for (int64_t j = len; j < q[k].length; ++j) {
          g[k] *= f[k];
          o[k][j * stride] = g[k];
        }
    }
    for (; r < runs_.size(); ++r) {
      const Run& q = runs_[r];
      double g = q.from;
      double* o = out + q.at * stride;
      for (int64_t j = 0; j < q.length; ++j) {
        g *= q.factor;
        o[j * stride] = g;
      }
    }
  }
  // GainOf of a level at a limit or past the ends, which repeats frame after
  // frame: the last one is kept.
  double Cached(double dB) {
    if (!(dB == cachedDB_)) cachedDB_ = dB, cachedGain_ = GainOf(dB);
    return cachedGain_;
  }

  LIST_Handle points_ = nullptr;
  TDB_SampleIterator it_{};
  bool iterating_ = false;
  int32_t n_ = 0;
  const TDB_SamplePoint* p_ = nullptr;
  int32_t pair_ = 0;
  int32_t fresh_ = 0;
  double gain_ = 1, factor_ = 1;
  double value_ = 0;
  double cachedDB_ = std::numeric_limits<double>::quiet_NaN(), cachedGain_ = 1;
  std::vector<Run> runs_;
};

// Scales n samples `stride` bytes apart by their gains.
template <class T>
void ScaleRun(uint8_t* p, int64_t stride, const double* g, int64_t n, double mid, double lo, double hi) {
  for (int64_t i = 0; i < n; ++i, p += stride) Scale(reinterpret_cast<T*>(p), g[i], mid, lo, hi);
}

void ApplyGains(const SND_Format& f, uint8_t* p, int64_t stride, const double* g, int64_t n) {
  if (f.encoding == SND_Encoding_Float) {
    for (int64_t i = 0; i < n; ++i, p += stride) {
      float* v = reinterpret_cast<float*>(p);
      *v = static_cast<float>(*v * g[i]);
    }
  } else if (f.bytesPerSample == 1) {
    if (f.encoding == SND_Encoding_Unsigned)
      ScaleRun<uint8_t>(p, stride, g, n, 128.0, 0.0, 255.0);
    else
      ScaleRun<int8_t>(p, stride, g, n, 0.0, -128.0, 127.0);
  } else if (f.encoding == SND_Encoding_Unsigned) {
    ScaleRun<uint16_t>(p, stride, g, n, 32768.0, 0.0, 65535.0);
  } else {
    ScaleRun<int16_t>(p, stride, g, n, 0.0, -32768.0, 32767.0);
  }
}

// The fast kernel: Scale over consecutive samples with their own gains.
// The floor is taken through a 32-bit truncation, which the compiler turns
// into vector lanes: the scaled values stay far inside 32-bit integers.
template <class T>
void ScaleFlat(T* p, const double* g, int64_t n, double mid, double lo, double hi) {
  for (int64_t i = 0; i < n; ++i) {
    const double x = (static_cast<double>(p[i]) - mid) * g[i] + 0.5;
    const auto t = static_cast<int32_t>(x);
    const double v = static_cast<double>(t - (static_cast<double>(t) > x ? 1 : 0)) + mid;
    p[i] = static_cast<T>(std::clamp(v, lo, hi));
  }
}

// Signed 16-bit samples four at a time in SSE2 lanes: the same products,
// the floor as truncation and a correction, the limits as the saturation of
// the pack to 16 bits.
void ScaleS16(int16_t* p, const double* g, int64_t n) {
  const __m128d half = _mm_set1_pd(0.5);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i));
    const __m128i s32 = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
    const __m128d a = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(s32), _mm_loadu_pd(g + i)), half);
    const __m128d b =
        _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(s32, 0xEE)), _mm_loadu_pd(g + i + 2)), half);
    __m128i ta = _mm_cvttpd_epi32(a);
    __m128i tb = _mm_cvttpd_epi32(b);
    // Lanes whose truncation lies above the value (negative fractions) step down by one.
    ta = _mm_add_epi32(ta, _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(ta), a)), 0x08));
    tb = _mm_add_epi32(tb, _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(tb), b)), 0x08));
    const __m128i v = _mm_packs_epi32(_mm_unpacklo_epi64(ta, tb), _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + i), v);
  }
  ScaleFlat(p + i, g + i, n - i, 0.0, -32768.0, 32767.0);
}

void ApplyGainsFlat(const SND_Format& f, uint8_t* p, const double* g, int64_t n) {
  if (f.encoding == SND_Encoding_Float) {
    float* v = reinterpret_cast<float*>(p);
    for (int64_t i = 0; i < n; ++i) v[i] = static_cast<float>(v[i] * g[i]);
  } else if (f.bytesPerSample == 1) {
    if (f.encoding == SND_Encoding_Unsigned)
      ScaleFlat(p, g, n, 128.0, 0.0, 255.0);
    else
      ScaleFlat(reinterpret_cast<int8_t*>(p), g, n, 0.0, -128.0, 127.0);
  } else if (f.encoding == SND_Encoding_Unsigned) {
    ScaleFlat(reinterpret_cast<uint16_t*>(p), g, n, 32768.0, 0.0, 65535.0);
  } else {
    ScaleS16(reinterpret_cast<int16_t*>(p), g, n);
  }
}

}  // namespace
}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_Envelope(int32_t quality, int64_t first, int64_t count, TDB_Stream levels, int32_t /*reserved*/,
                       SND_World world) {
  if (ErrorCode err = Check(world, kSiteEnvelope)) return err;
  WorldRec& r = Rec(world);
  if (ErrorCode err = CheckEditable(r, kSiteEnvelope)) return err;
  if (!levels) return kReport.BadParam(kSiteEnvelope, {"SND_Envelope"});
  if (r.frames == 0) return 0;
  TDB_StreamInfo info{};
  if (ErrorCode err = TDB_GetStreamInfo(levels, &info)) return err;
  if (info.dimension < 1) return kReport.Fail(kSiteEnvelope, kErrBadParam, kTextBadParam);
  // The frames asked for, limited to the frames held.
  first = std::clamp<int64_t>(first, 0, r.frames);
  count = std::clamp<int64_t>(count, 0, r.frames - first);
  if (count == 0) return 0;

  const double rate = r.format.rate;
  const Time start = r.start;
  Time duration{};
  if (ErrorCode err = SND_SampToTime(SND_Round_Ceiling, r.frames, rate, &duration, nullptr)) return err;
  const double tolerance = quality == SND_Quality_Best ? 0.001 : 0.01;
  const double period = 1.0 / rate;
  const int ch = r.format.channels;
  const long double startSeconds = Seconds(start);
  constexpr int64_t kBlock = 4096;
  const int64_t fb = FrameBytes(r.format);
  if (UseFastKernels()) {
    // Every channel's walk at once, block by block: the gains of a block
    // interleaved like the samples, then one pass over them.
    LevelWalk walks[2];
    for (int c = 0; c < ch; ++c)
      if (ErrorCode err = walks[c].Start(levels, std::min<int32_t>(c, info.dimension - 1), start, duration,
                                         tolerance, period * period))
        return err;
    HandleLock<uint8_t> lock(r.buffer);
    uint8_t* p = lock.get() + first * fb;
    std::vector<double> gains(static_cast<size_t>(kBlock * ch));
    for (int64_t i = 0; i < count; i += kBlock) {
      const int64_t n = std::min(kBlock, count - i);
      const long double t0 = startSeconds + (first + i) / static_cast<long double>(rate);
      for (int c = 0; c < ch; ++c) walks[c].FastGains(t0, period, n, gains.data() + c, ch);
      ApplyGainsFlat(r.format, p + i * fb, gains.data(), n * ch);
    }
    return 0;
  }
  for (int c = 0; c < ch; ++c) {
    // Channel c follows dimension c of the levels (the last one when there are fewer).
    const int32_t dim = std::min<int32_t>(c, info.dimension - 1);
    LevelWalk walk;
    if (ErrorCode err = walk.Start(levels, dim, start, duration, tolerance, period * period)) return err;
    HandleLock<uint8_t> lock(r.buffer);
    uint8_t* p = lock.get() + first * fb + c * r.format.bytesPerSample;
    double gains[kBlock];
    for (int64_t i = 0; i < count; i += kBlock) {
      const int64_t n = std::min(kBlock, count - i);
      walk.Gains(startSeconds + (first + i) / static_cast<long double>(rate), period, n, gains);
      ApplyGains(r.format, p + i * fb, fb, gains, n);
    }
  }
  return 0;
}
