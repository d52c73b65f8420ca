// The level envelope: a stream of levels in dB applied to a world's frames.
// The stream is sampled adaptively over the world's span (straight lines in
// dB within the tolerance); each frame's gain is the ratio of the level at
// its time, the level limited to -192 .. +24 dB. Integer samples are scaled
// around their midpoint, rounded to nearest and limited to their range.
#include <algorithm>
#include <cmath>

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
      const TDB_SamplePoint& a = p_[pair_];
      const TDB_SamplePoint& b = p_[pair_ + 1];
      const double w = b.time - a.time;
      const double slope = w > 0 ? (b.value - a.value) / w : 0.0;
      const double dB = w > 0 ? a.value + slope * (t - a.time) : b.value;
      gain_ = GainOf(dB);
      out[i] = gain_;
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
  }

 private:
  LIST_Handle points_ = nullptr;
  TDB_SampleIterator it_{};
  bool iterating_ = false;
  int32_t n_ = 0;
  const TDB_SamplePoint* p_ = nullptr;
  int32_t pair_ = 0;
  int32_t fresh_ = 0;
  double gain_ = 1, factor_ = 1;
  double value_ = 0;
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
  for (int c = 0; c < ch; ++c) {
    // Channel c follows dimension c of the levels (the last one when there are fewer).
    const int32_t dim = std::min<int32_t>(c, info.dimension - 1);
    LevelWalk walk;
    if (ErrorCode err = walk.Start(levels, dim, start, duration, tolerance, period * period)) return err;
    HandleLock<uint8_t> lock(r.buffer);
    const int64_t fb = FrameBytes(r.format);
    uint8_t* p = lock.get() + first * fb + c * r.format.bytesPerSample;
    constexpr int64_t kBlock = 4096;
    double gains[kBlock];
    for (int64_t i = 0; i < count; i += kBlock) {
      const int64_t n = std::min(kBlock, count - i);
      walk.Gains(startSeconds + (first + i) / static_cast<long double>(rate), period, n, gains);
      ApplyGains(r.format, p + i * fb, fb, gains, n);
    }
  }
  return 0;
}
