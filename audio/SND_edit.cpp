// The edits of a world's frames and time: extend, resize, clip, reverse,
// stretch and edge softening.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "SND_internal.h"

namespace tv::snd {
namespace {

constexpr int64_t kShiftLimit = int64_t{1} << 62;

ErrorCode CheckTime(Time t, uint32_t site) {
  if (t.scale != 0) return 0;
  return kReport.Fail(site, kErrBadParam, kTextBadTime, {t.value, t.scale});
}

// Scales sample value v of format f by gain g, around the unsigned midpoint,
// rounded to nearest and limited to the sample range.
template <class T>
void ScaleSamples(T* p, int64_t n, double g, double mid, double lo, double hi) {
  for (int64_t i = 0; i < n; ++i) {
    double v = (static_cast<double>(p[i]) - mid) * g;
    v = std::floor(v + 0.5) + mid;
    p[i] = static_cast<T>(std::clamp(v, lo, hi));
  }
}

}  // namespace

// Frame i of the result is old frame i + shift when it exists, else silence.
// Shifts beyond the held frames and counts shorter than the move are both
// fine: nothing outside the buffer is read or written.
ErrorCode ResizeRec(SND_World w, int64_t shift, int64_t frames, uint32_t site) {
  WorldRec& r = Rec(w);
  const int64_t held = r.frames;
  int64_t bytes = 0;
  if (frames < 0 || shift <= -kShiftLimit || shift >= kShiftLimit ||
      !BytesFor(r.format, std::max(frames, held), &bytes))
    return kReport.Fail(site, kErrBadParam, kTextBadSampleSize);
  // The start moves with the frames so that every kept frame keeps its time.
  Time start = r.start;
  if (shift != 0)
    if (ErrorCode err = AddFrames(r.start, shift, r.format.rate, site, &start)) return err;
  if (ErrorCode err = GrowBuffer(r, bytes, site)) return err;
  const int64_t fb = FrameBytes(r.format);
  {
    HandleLock<uint8_t> lock(r.buffer);
    uint8_t* p = lock.get();
    const int64_t lo = std::min(shift < 0 ? -shift : 0, frames);
    const int64_t hi = std::max(lo, std::min(frames, held - shift));
    if (hi > lo) std::memmove(p + lo * fb, p + (lo + shift) * fb, static_cast<size_t>((hi - lo) * fb));
    FillSilence(r.format, p, lo * r.format.channels);
    FillSilence(r.format, p + hi * fb, (frames - hi) * r.format.channels);
  }
  r.frames = frames;
  r.start = start;
  MarkStale(r);
  return 0;
}

// Grows the world to the union of what it holds and the positions
// startPos .. endPos (samples at the world's rate); an empty world moves to
// `start` first.
ErrorCode ExtendRec(SND_World w, Time start, long double startPos, long double endPos, uint32_t site) {
  WorldRec& r = Rec(w);
  const int64_t first = FirstSample(startPos);
  const int64_t end = FirstSample(endPos);
  if (r.frames == 0) {
    r.start = start;
    MarkStale(r);
    if (end <= first) return 0;
    return ResizeRec(w, 0, end - first, site);
  }
  const int64_t cur = FirstSample(Position(r.start, r.format.rate));
  const int64_t curEnd = cur + r.frames;
  const int64_t newFirst = std::min(first, cur);
  const int64_t newEnd = std::max(end, curEnd);
  if (newFirst == cur && newEnd == curEnd) return 0;
  return ResizeRec(w, newFirst - cur, newEnd - newFirst, site);
}

}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_Extend(Time start, Time duration, SND_World world) {
  if (ErrorCode err = Check(world, kSiteExtend)) return err;
  if (ErrorCode err = CheckTime(start, kSiteExtend)) return err;
  if (ErrorCode err = CheckTime(duration, kSiteExtend)) return err;
  const double rate = Rec(world).format.rate;
  const long double s = Position(start, rate);
  return ExtendRec(world, start, s, s + Position(duration, rate), kSiteExtend);
}

ErrorCode SND_Resize(int64_t shift, int64_t frames, SND_World world) {
  if (ErrorCode err = Check(world, kSiteResize)) return err;
  return ResizeRec(world, shift, frames, kSiteResize);
}

ErrorCode SND_Clip(Time start, Time duration, SND_World world) {
  if (ErrorCode err = Check(world, kSiteClip)) return err;
  if (ErrorCode err = CheckTime(start, kSiteClip)) return err;
  if (ErrorCode err = CheckTime(duration, kSiteClip)) return err;
  WorldRec& r = Rec(world);
  const double rate = r.format.rate;
  const long double ws = Position(r.start, rate);
  const long double we = ws + r.frames;
  const long double s = Position(start, rate);
  const long double e = s + Position(duration, rate);
  const long double os = std::max(ws, s);
  const long double oe = std::min(we, e);
  if (!(oe > os)) {
    // Nothing of the world lies in the span: what is left is no sound.
    SetHandleSize(r.buffer, 0);
    r.frames = 0;
    r.start = start;
    MarkStale(r);
    return 0;
  }
  if (os <= ws && oe >= we) return 0;
  const int64_t begin = std::clamp<int64_t>(static_cast<int64_t>(std::floor(os - ws + 0.5L)), 0, r.frames);
  // The rounding can reach past the held frames; keep only frames that exist.
  const int64_t count = std::min<int64_t>(static_cast<int64_t>(std::ceil(oe - os - 1e-8L)), r.frames - begin);
  const int64_t fb = FrameBytes(r.format);
  if (begin > 0 && count > 0) {
    HandleLock<uint8_t> lock(r.buffer);
    std::memmove(lock.get(), lock.get() + begin * fb, static_cast<size_t>(count * fb));
  }
  SetHandleSize(r.buffer, count * fb);  // shrinking never fails
  r.frames = count;
  if (s > ws) r.start = start;
  r.startSeconds = static_cast<double>(os / rate);
  r.durationSeconds = static_cast<double>((oe - os) / rate);
  r.secondsValid = 1;
  return 0;
}

ErrorCode SND_Reverse(SND_World world) {
  if (ErrorCode err = Check(world, kSiteReverse)) return err;
  WorldRec& r = Rec(world);
  if (ErrorCode err = CheckEditable(r, kSiteReverse)) return err;
  if (r.frames == 0) return 0;
  HandleLock<uint8_t> lock(r.buffer);
  ReverseFrames(lock.get(), r.frames, FrameBytes(r.format));
  return 0;
}

ErrorCode SND_Stretch(int32_t /*quality*/, Fixed ratio, Time offset, int32_t /*reserved*/, SND_World world) {
  if (ErrorCode err = Check(world, kSiteStretch)) return err;
  WorldRec& r = Rec(world);
  if (ErrorCode err = CheckEditable(r, kSiteStretch)) return err;
  // A ratio of 0 would make the rate infinite.
  if (ratio == 0) return kReport.Fail(kSiteStretch, kErrBadParam, kTextStretchZero);
  if (ErrorCode err = CheckTime(offset, kSiteStretch)) return err;
  if (r.frames == 0) return 0;
  const long double k = ratio / 65536.0L;
  const double rate = static_cast<double>(r.format.rate / std::fabs(k));
  if (!ValidRate(rate)) return kReport.Fail(kSiteStretch, kErrBadParam, kTextBadRate, {rate});
  const long double duration = r.frames / static_cast<long double>(rate);
  long double start = k * Seconds(r.start) + Seconds(offset);
  if (k < 0) start -= duration;
  Time t{};
  if (ErrorCode err = TimeFromSeconds(start, rate, kSiteStretch, &t)) return err;
  r.format.rate = rate;
  r.start = t;
  MarkStale(r);
  if (k < 0) {
    HandleLock<uint8_t> lock(r.buffer);
    ReverseFrames(lock.get(), r.frames, FrameBytes(r.format));
  }
  return 0;
}

ErrorCode SND_SoftenEdges(Boolean32 fadeIn, Boolean32 fadeOut, SND_World world) {
  if (ErrorCode err = Check(world, kSiteSoften)) return err;
  WorldRec& r = Rec(world);
  if (ErrorCode err = CheckEditable(r, kSiteSoften)) return err;
  const int64_t n = std::min<int64_t>(static_cast<int64_t>(r.format.rate * 0.001), r.frames);
  if (n < 1) return 0;
  const int ch = r.format.channels;
  const int64_t fb = FrameBytes(r.format);
  const float step = 1.0f / static_cast<float>(n + 1);
  HandleLock<uint8_t> lock(r.buffer);
  for (int side = 0; side < 2; ++side) {
    if (!(side == 0 ? fadeIn : fadeOut)) continue;
    float g = 0.0f;
    for (int64_t k = 0; k < n; ++k) {
      g += step;
      uint8_t* frame = lock.get() + (side == 0 ? k : r.frames - 1 - k) * fb;
      // Unsigned samples are scaled around their midpoint, so that silence
      // stays silence and the ramp does not click.
      const bool u = r.format.encoding == SND_Encoding_Unsigned;
      if (r.format.encoding == SND_Encoding_Float)
        for (int c = 0; c < ch; ++c) reinterpret_cast<float*>(frame)[c] *= g;
      else if (r.format.bytesPerSample == 1 && u)
        ScaleSamples(frame, ch, g, 128.0, 0.0, 255.0);
      else if (r.format.bytesPerSample == 1)
        ScaleSamples(reinterpret_cast<int8_t*>(frame), ch, g, 0.0, -128.0, 127.0);
      else if (u)
        ScaleSamples(reinterpret_cast<uint16_t*>(frame), ch, g, 32768.0, 0.0, 65535.0);
      else
        ScaleSamples(reinterpret_cast<int16_t*>(frame), ch, g, 0.0, -32768.0, 32767.0);
    }
  }
  return 0;
}
