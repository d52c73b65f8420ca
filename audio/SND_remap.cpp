// Time-remapped sound: the remap stream (source seconds as a function of the
// world's own time) is sampled once over the span to render, which tells the
// source frames it reads; then every output frame takes the source at its
// remapped time, interpolated between source frames.
#include <algorithm>
#include <cmath>

#include "LIST.h"
#include "SND_internal.h"

namespace tv::snd {
namespace {

constexpr uint32_t kRemapMagic = 0x524D4150;  // "RMAP"
constexpr int64_t kTimeMargin = 58;             // frames of remap time sampled on each side
constexpr int64_t kSourceMargin = 29;           // source frames read on each side

struct RemapRec {
  uint32_t magic;
  LIST_Handle points;  // TDB_SamplePoint; empty for a constant stream
  double constant;     // the value of a constant stream
  double rate;
  int32_t quality;
  uint32_t tailMagic;
};
constexpr pkg::Magic<RemapRec> kRemapMagicDesc{&RemapRec::magic, kRemapMagic, &RemapRec::tailMagic, kRemapMagic};

// Reads the source's samples as normalized values around a position.
class SourceReader {
 public:
  SourceReader(const WorldRec& r, const uint8_t* p) : f_{r.format.encoding, r.format.bytesPerSample}, p_(p),
      frames_(r.frames), fb_(FrameBytes(r.format)) {}
  double At(int64_t i, int c) const {
    if (i < 0 || i >= frames_) return 0.0;
    return ReadNormalized(f_, p_ + i * fb_ + c * f_.bytes);
  }
  // Where position x (frames from frame 0) falls: a position within a
  // millionth of a frame takes that frame as it is (exact); otherwise frame
  // i and the fraction t towards the next. Taken once per output frame for
  // all channels; the floors by truncation and a correction (positions stay
  // far inside 64-bit integers; one that is not a number reads silence).
  struct Position {
    bool exact = true;
    int64_t i = -1;
    double t = 0;
  };
  static int64_t Floor(long double x) {
    const auto n = static_cast<int64_t>(x);
    return n - (static_cast<long double>(n) > x ? 1 : 0);
  }
  // The same floor for positions below 2^40 frames, through a double and a
  // correction each way (the double is within 2^-13 of x), without the
  // change of the x87 rounding mode that a long double's truncation takes.
  static int64_t FloorFast(long double x) {
    if (!(std::fabs(x) < 1099511627776.0L)) return Floor(x);
    auto n = static_cast<int64_t>(static_cast<double>(x));
    if (static_cast<long double>(n) > x)
      --n;
    else if (static_cast<long double>(n + 1) <= x)
      ++n;
    return n;
  }
  template <int64_t (*F)(long double) = Floor>
  static Position Locate(long double x) {
    Position p;
    if (!(std::fabs(x) < 9.0e18L)) return p;  // not a number, or beyond any source
    const int64_t n = F(x + 0.5L);
    if (std::fabs(x - static_cast<long double>(n)) < 1e-6L) {
      p.i = n;
      return p;
    }
    p.exact = false;
    p.i = F(x);
    p.t = static_cast<double>(x - p.i);
    return p;
  }
  // The value at a position: linear between frames at draft quality, cubic
  // (Catmull-Rom) at best; y(k) is the sample of frame k.
  template <class Y>
  static double Interpolate(const Position& at, bool best, Y y) {
    if (at.exact) return y(at.i);
    const int64_t i = at.i;
    const double t = at.t;
    const double y1 = y(i), y2 = y(i + 1);
    if (!best) return y1 + (y2 - y1) * t;
    const double y0 = y(i - 1), y3 = y(i + 2);
    return y1 + 0.5 * t * (y2 - y0 + t * (2.0 * y0 - 5.0 * y1 + 4.0 * y2 - y3 + t * (3.0 * (y1 - y2) + y3 - y0)));
  }
  double Sample(const Position& at, int c, bool best) const {
    return Interpolate(at, best, [&](int64_t k) { return At(k, c); });
  }
  SampleFormat format() const { return f_; }

 private:
  SampleFormat f_;
  const uint8_t* p_;
  int64_t frames_;
  int64_t fb_;
};

// One sample type read as a normalized value and written back rounded (the
// rules of ReadNormalized and WriteNormalized, without their dispatch).
template <class T, int Bits, int Mid>
struct IntSample {
  using Type = T;
  static double Read(T v) { return static_cast<double>(int32_t{v} - Mid) / static_cast<double>(1 << (Bits - 1)); }
  static T Write(double v) {
    if (std::isnan(v)) return static_cast<T>(Mid);
    const double x = std::floor(v * static_cast<double>(1 << (Bits - 1)) + 0.5);
    constexpr double hi = (1 << (Bits - 1)) - 1;
    return static_cast<T>(static_cast<int32_t>(std::clamp(x, -hi - 1, hi)) + Mid);
  }
};
struct FloatSample {
  using Type = float;
  static double Read(float v) { return v; }
  static float Write(double v) { return static_cast<float>(v); }
};

// The fast loop of SND_RenderTimeRemapSound: the same times, positions and
// interpolation, over samples of one type.
template <class K>
ErrorCode RemapFrames(TDB_SampleIterator* it, bool iterating, double constant, double rate, int64_t first,
                      int64_t count, const WorldRec& src, const uint8_t* from, bool best, uint8_t* to) {
  using T = typename K::Type;
  const T* s = reinterpret_cast<const T*>(from);
  T* d = reinterpret_cast<T*>(to);
  const int ch = src.format.channels;
  const int64_t frames = src.frames;
  const long double srcStart = Seconds(src.start);
  const double srcRate = src.format.rate;
  ErrorCode err = 0;
  for (int64_t j = 0; j < count && !err; ++j, d += ch) {
    const double t = static_cast<double>((first + j) / static_cast<long double>(rate));
    double v = constant;
    if (iterating) err = TDB_IterateAdaptiveSampleStream(it, t, 1.0 / rate, &v);
    const SourceReader::Position at = SourceReader::Locate<SourceReader::FloorFast>((v - srcStart) * srcRate);
    for (int c = 0; c < ch; ++c)
      d[c] = K::Write(SourceReader::Interpolate(
          at, best, [&](int64_t k) { return k < 0 || k >= frames ? 0.0 : K::Read(s[k * ch + c]); }));
    if ((j & 0xFFFF) == 0xFFFF && !err) err = Poll(nullptr, j, count);
  }
  return err;
}

ErrorCode RemapFramesOf(const SampleFormat& f, TDB_SampleIterator* it, bool iterating, double constant,
                        double rate, int64_t first, int64_t count, const WorldRec& src, const uint8_t* from,
                        bool best, uint8_t* to) {
  const bool u = f.encoding == SND_Encoding_Unsigned;
  if (f.encoding == SND_Encoding_Float)
    return RemapFrames<FloatSample>(it, iterating, constant, rate, first, count, src, from, best, to);
  if (f.bytes == 1)
    return u ? RemapFrames<IntSample<uint8_t, 8, 128>>(it, iterating, constant, rate, first, count, src, from, best,
                                                       to)
             : RemapFrames<IntSample<int8_t, 8, 0>>(it, iterating, constant, rate, first, count, src, from, best,
                                                    to);
  return u ? RemapFrames<IntSample<uint16_t, 16, 32768>>(it, iterating, constant, rate, first, count, src, from,
                                                         best, to)
           : RemapFrames<IntSample<int16_t, 16, 0>>(it, iterating, constant, rate, first, count, src, from, best,
                                                    to);
}

ErrorCode CheckRemap(Handle data, uint32_t site) { return kReport.CheckRecord(data, kRemapMagicDesc, site); }

}  // namespace
}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_SetupTimeRemapSound(int32_t quality, const SND_Format* sourceFormat, int64_t firstSample,
                                  int64_t sampleCount, TDB_Stream remap, Handle* remapData, int64_t* firstSource,
                                  int64_t* sourceCount) {
  if (remapData) *remapData = nullptr;
  if (firstSource) *firstSource = 0;
  if (sourceCount) *sourceCount = 0;
  if (!sourceFormat || !remap || !remapData || !firstSource || !sourceCount || sampleCount < 0)
    return kReport.BadParam(kSiteRemap, {"SND_SetupTimeRemapSound"});
  if (!ValidFormat(*sourceFormat))
    return kReport.Fail(kSiteRemap, kErrBadParam, kTextBadFormat,
                        {sourceFormat->rate, sourceFormat->encoding, sourceFormat->bytesPerSample,
                         sourceFormat->channels});
  if (!EditableFormat(*sourceFormat)) return kReport.Fail(kSiteRemap, kErrUnimplemented, kTextUnimplemented);
  const double rate = sourceFormat->rate;
  // The output range as times, widened so that the sampled curve covers the
  // frames an interpolation near either end looks at; never before time 0.
  const int64_t lo = std::max<int64_t>(firstSample - kTimeMargin, 0);
  const int64_t hi = std::max<int64_t>(firstSample + sampleCount + kTimeMargin, lo + 1);
  Time t0{}, t1{}, duration{};
  if (ErrorCode err = SND_SampToTime(SND_Round_Floor, lo, rate, &t0, nullptr)) return err;
  if (ErrorCode err = SND_SampToTime(SND_Round_Ceiling, hi, rate, &t1, nullptr)) return err;
  if (ErrorCode err = TimeFromSeconds(Seconds(t1) - Seconds(t0), rate, kSiteRemap, &duration)) return err;
  const double tolerance = quality == SND_Quality_Best ? 0.001 : 0.003;
  LIST_Handle points = nullptr;
  double vmin = 0, vmax = 0;
  if (ErrorCode err = TDB_GetAdaptiveSampleStream(remap, 0, &t0, &duration, tolerance, 1.0 / rate, 1, 10000,
                                                  &points, &vmin, &vmax))
    return err;
  int32_t n = 0;
  LIST_GetNumItems(points, &n);
  if (n > 0) {
    // The extremes of the sampled curve (straight lines between the points).
    TDB_SamplePoint p{};
    LIST_GetItem(points, 0, &p);
    vmin = vmax = p.value;
    for (int32_t i = 1; i < n; ++i) {
      LIST_GetItem(points, i, &p);
      vmin = std::min(vmin, p.value), vmax = std::max(vmax, p.value);
    }
  }
  Handle h = NewHandleClear(static_cast<Size>(sizeof(RemapRec)));
  if (!h) {
    LIST_Dispose(points, 0);
    return kReport.OutOfMemory(kSiteRemap, kTextRemapData, sizeof(RemapRec));
  }
  auto* r = reinterpret_cast<RemapRec*>(*h);
  r->magic = r->tailMagic = kRemapMagic;
  r->points = points;
  r->constant = vmin;
  r->rate = rate;
  r->quality = quality;
  *remapData = h;
  if (sampleCount == 0) return 0;
  const int64_t first = std::max<int64_t>(static_cast<int64_t>(std::floor(vmin * rate + 1e-8)) - kSourceMargin, 0);
  const int64_t end = static_cast<int64_t>(std::ceil(vmax * rate - 1e-8)) + kSourceMargin;
  *firstSource = first;
  *sourceCount = std::max<int64_t>(end - first, 0);
  return 0;
}

ErrorCode SND_RenderTimeRemapSound(int32_t quality, int64_t first, int64_t count, Handle remapData,
                                   SND_World* world) {
  if (ErrorCode err = CheckRemap(remapData, kSiteRemap)) return err;
  if (!world || count < 0) return kReport.BadParam(kSiteRemap, {"SND_RenderTimeRemapSound"});
  if (ErrorCode err = Check(*world, kSiteRemap)) return err;
  const RemapRec rm = *reinterpret_cast<const RemapRec*>(*remapData);
  WorldRec& src = Rec(*world);
  if (ErrorCode err = CheckEditable(src, kSiteRemap)) return err;
  SND_Format format = src.format;
  const double rate = format.rate;
  SND_World out = nullptr;
  if (ErrorCode err = SND_NewWorld(&format, nullptr, &out)) return err;
  struct Guard {
    SND_World w;
    ~Guard() {
      if (w) SND_DisposeWorld(w);
    }
  } guard{out};
  void* dst = nullptr;
  if (ErrorCode err = SND_SizeAndLockBuffer(count, 0, out, &dst)) return err;
  ErrorCode err = 0;
  {
    TDB_SampleIterator it{};
    int32_t n = 0;
    LIST_GetNumItems(rm.points, &n);
    const bool iterating = n > 0 && (err = TDB_InitIterateAdaptiveSampleStream(rm.points, &it)) == 0;
    HandleLock<uint8_t> lock(src.buffer);
    const SourceReader reader(src, lock.get());
    const long double srcStart = Seconds(src.start);
    const double srcRate = src.format.rate;
    const int ch = format.channels;
    const SampleFormat sf = reader.format();
    const bool best = quality == SND_Quality_Best;
    auto* p = static_cast<uint8_t*>(dst);
    const int64_t fb = FrameBytes(format);
    if (UseFastKernels() && !err)
      err = RemapFramesOf(sf, &it, iterating, rm.constant, rate, first, count, src, lock.get(), best, p);
    else
      for (int64_t j = 0; j < count && !err; ++j, p += fb) {
        const double t = static_cast<double>((first + j) / static_cast<long double>(rate));
        double s = rm.constant;
        if (iterating) err = TDB_IterateAdaptiveSampleStream(&it, t, 1.0 / rate, &s);
        const SourceReader::Position at = SourceReader::Locate((s - srcStart) * srcRate);
        for (int c = 0; c < ch; ++c) WriteNormalized(sf, p + c * sf.bytes, reader.Sample(at, c, best), false);
        if ((j & 0xFFFF) == 0xFFFF && !err) err = Poll(nullptr, j, count);
      }
    if (iterating) TDB_CompleteIterateAdaptiveSampleStream(&it);
  }
  SND_UnlockBuffer(out);
  if (err) return err;
  Time start{};
  if (ErrorCode e = SND_SampToTime(SND_Round_Nearest, first, rate, &start, nullptr)) return e;
  if (count > 0)
    if (ErrorCode e = SND_SetWorldStartTime(start, out)) return e;
  SND_DisposeWorld(*world);
  *world = out;
  guard.w = nullptr;
  return 0;
}

ErrorCode SND_DisposeTimeRemapData(Handle remapData) {
  if (!remapData) return 0;
  if (ErrorCode err = CheckRemap(remapData, kSiteRemap)) return err;
  auto* r = reinterpret_cast<RemapRec*>(*remapData);
  LIST_Handle points = r->points;
  r->magic = r->tailMagic = 0;
  DisposeHandle(remapData);
  if (points) LIST_Dispose(points, 0);
  return 0;
}
