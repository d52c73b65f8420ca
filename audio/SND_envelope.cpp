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

template <class T>
void Scale(T* p, double g, double mid, double lo, double hi) {
  const double v = std::floor((static_cast<double>(*p) - mid) * g + 0.5) + mid;
  *p = static_cast<T>(std::clamp(v, lo, hi));
}

void ApplyGain(const SND_Format& f, uint8_t* sample, double g) {
  const bool u = f.encoding == SND_Encoding_Unsigned;
  if (f.encoding == SND_Encoding_Float) {
    float* p = reinterpret_cast<float*>(sample);
    *p = static_cast<float>(*p * g);
  } else if (f.bytesPerSample == 1) {
    if (u)
      Scale(sample, g, 128.0, 0.0, 255.0);
    else
      Scale(reinterpret_cast<int8_t*>(sample), g, 0.0, -128.0, 127.0);
  } else if (u) {
    Scale(reinterpret_cast<uint16_t*>(sample), g, 32768.0, 0.0, 65535.0);
  } else {
    Scale(reinterpret_cast<int16_t*>(sample), g, 0.0, -32768.0, 32767.0);
  }
}

// Owns the sample list of one dimension and walks it.
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
    int32_t n = 0;
    if (ErrorCode err = LIST_GetNumItems(points_, &n)) return err;
    constant_ = n == 0;
    value_ = lo;  // a constant stream's value
    if (constant_) return 0;
    if (ErrorCode err = TDB_InitIterateAdaptiveSampleStream(points_, &it_)) return err;
    iterating_ = true;
    return 0;
  }
  ErrorCode At(double t, double step, double* dB) {
    if (constant_) {
      *dB = value_;
      return 0;
    }
    return TDB_IterateAdaptiveSampleStream(&it_, t, step, dB);
  }

 private:
  LIST_Handle points_ = nullptr;
  TDB_SampleIterator it_{};
  bool iterating_ = false;
  bool constant_ = false;
  double value_ = 0;
};

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
    for (int64_t i = 0; i < count; ++i, p += fb) {
      double dB = 0;
      const double t = static_cast<double>(startSeconds + (first + i) / static_cast<long double>(rate));
      if (ErrorCode err = walk.At(t, period, &dB)) return err;
      ApplyGain(r.format, p, GainOf(dB));
    }
  }
  return 0;
}
