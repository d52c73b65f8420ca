// Copying and mixing between worlds, and converting a world in place.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "SND_internal.h"

namespace tv::snd {
namespace {

constexpr int64_t kAlignedBlock = 65536;

// The buffer holds the frames it claims (a world made by this package always
// does; a damaged one is refused before anything is read or written).
ErrorCode CheckBuffer(const WorldRec& r, uint32_t site) {
  int64_t need = 0;
  if (!BytesFor(r.format, r.frames, &need)) need = INT64_MAX;
  const int64_t have = r.buffer ? GetHandleSize(r.buffer) : 0;
  if (have >= need) return 0;
  return kReport.Fail(site, kErrDamaged, kTextSizeMismatch, {have, need});
}

SampleFormat SampleOf(const SND_Format& f) { return SampleFormat{f.encoding, f.bytesPerSample}; }

// Equal rates: destination frames j0 .. j1 take source frames j + offset.
ErrorCode CopyAligned(const WorldRec& s, const uint8_t* src, const WorldRec& d, uint8_t* dst, int64_t j0,
                      int64_t j1, int64_t offset, bool mix, void* progress) {
  const int64_t sfb = FrameBytes(s.format);
  const int64_t dfb = FrameBytes(d.format);
  // Frames whose source lies outside the source are silence.
  const int64_t a = std::clamp(-offset, j0, j1);
  const int64_t b = std::clamp(s.frames - offset, a, j1);
  if (!mix) {
    FillSilence(d.format, dst + j0 * dfb, (a - j0) * d.format.channels);
    FillSilence(d.format, dst + b * dfb, (j1 - b) * d.format.channels);
  }
  const bool fast = UseFastKernels();
  for (int64_t j = a; j < b; j += kAlignedBlock) {
    if (ErrorCode err = Poll(progress, j - a, b - a)) return err;
    const int64_t n = std::min(kAlignedBlock, b - j);
    const uint8_t* from = src + (j + offset) * sfb;
    uint8_t* to = dst + j * dfb;
    if (fast)
      ConvertFramesFast(SampleOf(s.format), s.format.channels, from, SampleOf(d.format), d.format.channels, to, n,
                        mix);
    else
      ConvertFramesReference(SampleOf(s.format), s.format.channels, from, SampleOf(d.format), d.format.channels,
                             to, n, mix);
  }
  return 0;
}

}  // namespace
}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_Blit(int32_t quality, SND_World source, const Time* start, const Time* duration, int32_t mode,
                   void* progress, SND_World destination) {
  if (ErrorCode err = Check(source, kSiteBlit)) return err;
  if (ErrorCode err = Check(destination, kSiteBlit)) return err;
  if (source == destination) return kReport.Fail(kSiteBlit, kErrBadParam, kTextSameWorld);
  if (mode != SND_Blit_Replace && mode != SND_Blit_Mix) return kReport.Fail(kSiteBlit, kErrBadParam, kTextBadMode, {mode});
  const bool whole = !start || !duration;
  if (!whole && (start->scale == 0 || duration->scale == 0)) {
    const Time bad = start->scale == 0 ? *start : *duration;
    return kReport.Fail(kSiteBlit, kErrBadParam, kTextBadTime, {bad.value, bad.scale});
  }
  const WorldRec s = Rec(source);
  if (!EditableFormat(s.format) || !EditableFormat(Rec(destination).format))
    return kReport.Fail(kSiteBlit, kErrUnimplemented, kTextUnimplemented);
  if (ErrorCode err = CheckBuffer(s, kSiteBlit)) return err;
  if (ErrorCode err = CheckBuffer(Rec(destination), kSiteBlit)) return err;
  if (s.frames == 0) return 0;

  // Where a world's frames lie: at a whole rate, frame j is sample first + j
  // of the rate's grid, first being the first sample at or after the world's
  // start (as SND_Extend places them), so that spans cut from one stream at
  // any times join again; at another rate (a stretched world) frame j lies
  // at start + j / rate. Origins are positions of frame 0 at the world's rate.
  const auto origin = [](const WorldRec& w) {
    const long double p = Position(w.start, w.format.rate);
    return w.format.rate == std::floor(w.format.rate) ? static_cast<long double>(FirstSample(p)) : p;
  };
  // The part of the source inside the requested span, in seconds, and its
  // ends as positions at the destination's rate (exact for whole rates).
  const double sRate = s.format.rate;
  const double dRate = Rec(destination).format.rate;
  const bool sameRate = std::fabs(sRate - dRate) < 1e-8;
  const long double ratio = static_cast<long double>(dRate) / sRate;
  const long double sOrigin = origin(s);
  const long double srcS = sOrigin / sRate;
  const long double srcE = srcS + s.frames / static_cast<long double>(sRate);
  long double os = srcS, oe = srcE;
  Time osTime = s.start;
  long double startPos = sameRate ? sOrigin : sOrigin * ratio;
  long double endPos = startPos + s.frames * ratio;
  if (!whole) {
    const long double reqS = Seconds(*start);
    const long double reqE = reqS + Seconds(*duration);
    if (reqS > os) {
      os = reqS;
      osTime = *start;
      startPos = Position(*start, dRate);
    }
    if (reqE < oe) {
      oe = reqE;
      endPos = Position(*start, dRate) + Position(*duration, dRate);
    }
  }
  if (!(oe > os)) return 0;
  if (ErrorCode err = ExtendRec(destination, osTime, startPos, endPos, kSiteBlit)) return err;

  const WorldRec d = Rec(destination);
  const long double dOrigin = origin(d);
  const int64_t j0 = std::clamp<int64_t>(FirstSample(startPos - dOrigin), 0, d.frames);
  const int64_t j1 = std::clamp<int64_t>(FirstSample(endPos - dOrigin), j0, d.frames);
  if (j1 <= j0) return 0;
  // Source position of destination frame j: pos0 + (j - j0) * step.
  const long double step = static_cast<long double>(sRate) / dRate;
  const long double pos0 = sameRate ? dOrigin + j0 - sOrigin : (dOrigin + j0) * step - sOrigin;
  const bool mix = mode == SND_Blit_Mix;

  HandleLock<uint8_t> src(s.buffer);
  HandleLock<uint8_t> dst(d.buffer);
  if (sameRate) {
    const int64_t offset = static_cast<int64_t>(std::floor(pos0 + 1e-8L)) - j0;
    return CopyAligned(s, src.get(), d, dst.get(), j0, j1, offset, mix, progress);
  }
  ResampleJob job{};
  job.src = src.get();
  job.srcFrames = s.frames;
  job.sf = SampleFormat{s.format.encoding, s.format.bytesPerSample};
  job.srcChannels = s.format.channels;
  job.dst = dst.get() + j0 * FrameBytes(d.format);
  job.dstFrames = j1 - j0;
  job.df = SampleFormat{d.format.encoding, d.format.bytesPerSample};
  job.dstChannels = d.format.channels;
  job.pos0 = pos0;
  job.step = step;
  const auto integral = [](long double v) { return v == std::floor(v) && std::fabs(v) < 1e15L; };
  const long double dstFirst = dOrigin + j0;
  job.exact = integral(sRate) && integral(dRate) && integral(dstFirst) && integral(sOrigin) && sRate > 0 && dRate > 0 &&
              std::fabs(dstFirst + (j1 - j0)) * sRate < 9e18L;
  if (job.exact) {
    job.dstFirst = static_cast<int64_t>(dstFirst);
    job.srcRate = static_cast<int64_t>(sRate);
    job.dstRate = static_cast<int64_t>(dRate);
    job.srcOrigin = static_cast<int64_t>(sOrigin);
  }
  job.best = quality == SND_Quality_Best;
  job.filter = job.best && sRate - dRate >= 1e-8;
  job.mix = mix;
  job.progress = progress;
  return Resample(job, kSiteBlit);
}

ErrorCode SND_UpdateWorld(int32_t quality, const SND_Format* format, void* progress, SND_World world) {
  if (ErrorCode err = Check(world, kSiteUpdate)) return err;
  if (!format) return kReport.BadParam(kSiteUpdate, {"SND_UpdateWorld"});
  SND_Format f = *format;
  f.reserved = 0;
  if (!ValidFormat(f))
    return kReport.Fail(kSiteUpdate, kErrBadParam, kTextBadFormat,
                        {f.rate, int32_t{f.encoding}, int32_t{f.bytesPerSample}, int32_t{f.channels}});
  WorldRec& r = Rec(world);
  if (!EditableFormat(r.format)) return kReport.Fail(kSiteUpdate, kErrUnimplemented, kTextUnimplemented);
  const bool sameRate = std::fabs(r.format.rate - f.rate) < 1e-8;
  const bool sameShape = sameRate && r.format.bytesPerSample == f.bytesPerSample && r.format.channels == f.channels;
  if (sameShape && r.format.encoding == f.encoding) return 0;
  if (sameShape && f.encoding != SND_Encoding_Float && r.format.encoding != SND_Encoding_Float) {
    // Signedness alone: flip the top bit of every sample.
    if (ErrorCode err = CheckBuffer(r, kSiteUpdate)) return err;
    HandleLock<uint8_t> lock(r.buffer);
    const int64_t samples = r.frames * r.format.channels;
    if (f.bytesPerSample == 1) {
      for (int64_t i = 0; i < samples; ++i) lock.get()[i] ^= 0x80;
    } else {
      auto* p = reinterpret_cast<uint16_t*>(lock.get());
      for (int64_t i = 0; i < samples; ++i) p[i] ^= 0x8000;
    }
    r.format.encoding = f.encoding;
    return 0;
  }
  // A new world of the wanted format takes the samples, then its buffer
  // takes the old one's place in this world.
  SND_World fresh = nullptr;
  if (ErrorCode err = SND_NewWorld(&f, nullptr, &fresh)) return err;
  ErrorCode err = 0;
  if (Rec(world).frames > 0) {
    err = SND_Blit(quality, world, nullptr, nullptr, SND_Blit_Replace, progress, fresh);
  } else {
    Time start{};
    err = TimeFromSeconds(Seconds(Rec(world).start), f.rate, kSiteUpdate, &start);
    if (!err) Rec(fresh).start = start;
  }
  if (err) {
    SND_DisposeWorld(fresh);
    return err;
  }
  WorldRec& old = Rec(world);
  WorldRec& made = Rec(fresh);
  if (old.lockCount > 0) {
    // The caller's lock carries over to the new buffer.
    HLock(made.buffer);
  }
  std::swap(old.buffer, made.buffer);
  old.format = made.format;
  old.frames = made.frames;
  old.start = made.start;
  MarkStale(old);
  SND_DisposeWorld(fresh);
  return 0;
}
