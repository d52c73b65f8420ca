// Answering sound requests from a decoded source (see drivers.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "drivers.h"

namespace tv::pin {

namespace {
double Seconds(const Time& t) { return t.scale ? static_cast<double>(t.value) / t.scale : 0.0; }

// The source's frames first .. first + count (silence outside the source),
// mixed down to at most two channels, into world at the source's rate.
ErrorCode ReadFrames(SoundSource& src, int64_t first, int64_t count, int32_t quality, Handle world, uint32_t site,
                     std::string_view name) {
  const int32_t outCh = std::min(src.channels, 2);
  // Frames before the source's start or past its end stay silent.
  const int64_t from = std::max<int64_t>(first, 0), skip = from - first;
  const int64_t want = count - skip > 0 && from < src.frames ? std::min(count - skip, src.frames - from) : 0;
  // Samples at the source's rate (its own 16-bit integers, or floats), then
  // converted by the sound package.
  const bool shorts = src.shorts && src.channels <= 2 && !SNDp_UsingReferenceKernels();
  SND_Format native{};
  native.rate = src.rate;
  native.encoding = shorts ? SND_Encoding_Signed : SND_Encoding_Float;
  native.bytesPerSample = shorts ? 2 : 4;
  native.channels = static_cast<uint16_t>(outCh);
  if (shorts) {
    // Read in place: the world's buffer may hold earlier samples, so every
    // frame not read is cleared.
    if (ErrorCode err = SND_UpdateWorld(quality, &native, nullptr, world)) return err;
    void* samples = nullptr;
    if (ErrorCode err = SND_SizeAndLockBuffer(count, 0, world, &samples)) return err;
    auto* out = static_cast<int16_t*>(samples);
    std::string why;
    const int64_t got = want > 0 ? src.ReadShorts(from, want, out + skip * outCh, &why) : 0;
    if (got < 0) {
      std::fill(out, out + count * outCh, int16_t{0});  // nothing half read is left behind
    } else {
      std::fill(out, out + std::min(skip, count) * outCh, int16_t{0});
      std::fill(out + std::min(skip + got, count) * outCh, out + count * outCh, int16_t{0});
    }
    SND_UnlockBuffer(world);
    if (got < 0) return CannotRead(site, name, why);
    return 0;
  }
  std::vector<float> in(static_cast<size_t>(std::max<int64_t>(count, 0)) * static_cast<size_t>(src.channels), 0.0f);
  if (want > 0) {
    std::string why;
    if (src.Read(from, want, in.data() + skip * src.channels, &why) < 0) return CannotRead(site, name, why);
  }
  if (ErrorCode err = SND_UpdateWorld(quality, &native, nullptr, world)) return err;
  void* samples = nullptr;
  if (ErrorCode err = SND_SizeAndLockBuffer(count, 0, world, &samples)) return err;
  float* out = static_cast<float*>(samples);
  for (int64_t i = 0; i < count; ++i) {
    const float* px = &in[static_cast<size_t>(i * src.channels)];
    if (src.channels <= 2) {
      for (int32_t c = 0; c < outCh; ++c) out[i * outCh + c] = px[c];
    } else {
      // More channels than two: the odd ones to the left, the even ones to the right.
      float l = 0, r = 0;
      for (int32_t c = 0; c < src.channels; ++c) (c % 2 ? r : l) += px[c];
      const float n = static_cast<float>((src.channels + 1) / 2);
      out[i * 2] = l / n, out[i * 2 + 1] = r / static_cast<float>(src.channels / 2);
    }
  }
  SND_UnlockBuffer(world);
  return 0;
}

struct WorldHold {
  SND_World w = nullptr;
  ~WorldHold() {
    if (w) SND_DisposeWorld(w);
  }
};

}  // namespace

ErrorCode FillSound(SoundSource& src, const PIN_SoundRequest* request, Handle world, uint32_t site,
                    std::string_view name) {
  if (!request || !world || !SNDp_IsValidFormat(&request->format) || request->start.scale == 0 ||
      request->duration.scale == 0 || request->duration.value < 0)
    return kReport.BadParam(site, {"PIN_GetSound"});
  if (src.rate <= 0 || src.channels < 1) return CannotRead(site, name, "the file has no sound");
  const int32_t q = request->quality;
  const double s = Seconds(request->start) * src.rate, e = s + Seconds(request->duration) * src.rate;
  if (std::fabs(src.rate - request->format.rate) < 1e-8) {
    // At the source's rate: the samples of the rate's grid in the span, from
    // the first at or after its start, where a world holds them.
    const auto grid = [](double x) { return static_cast<int64_t>(std::ceil(x - 1e-8)); };
    const int64_t count = grid(e) - grid(s);
    if (ErrorCode err = ReadFrames(src, grid(s), count, q, world, site, name)) return err;
    if (count > 0)
      if (ErrorCode err = SND_SetWorldStartTime(request->start, world)) return err;
    return SND_UpdateWorld(q, &request->format, nullptr, world);
  }
  // At another rate the frames are read at their own times, widened by the
  // converter's window, and resampled into the span: consecutive spans then
  // join as one long span would, without a step between them.
  int32_t window = 0;
  if (ErrorCode err = SND_GetResampleWindowSizeF(q, src.rate, request->format.rate, &window)) return err;
  const int64_t first = static_cast<int64_t>(std::floor(s)) - window - 1;
  const int64_t end = static_cast<int64_t>(std::ceil(e)) + window + 1;
  WorldHold read;
  if (ErrorCode err = SND_NewWorld(&request->format, nullptr, &read.w)) return err;
  if (ErrorCode err = ReadFrames(src, first, end - first, q, read.w, site, name)) return err;
  Time at{};
  if (ErrorCode err = SND_SampToTime(SND_Round_Nearest, first, src.rate, &at, nullptr)) return err;
  if (ErrorCode err = SND_SetWorldStartTime(at, read.w)) return err;
  // The world is emptied, then holds exactly the span in the requested format.
  void* samples = nullptr;
  if (ErrorCode err = SND_SizeAndLockBuffer(0, 0, world, &samples)) return err;
  SND_UnlockBuffer(world);
  if (ErrorCode err = SND_UpdateWorld(q, &request->format, nullptr, world)) return err;
  return SND_Blit(q, read.w, &request->start, &request->duration, SND_Blit_Replace, nullptr, world);
}

ErrorCode AnswerSoundFormat(const SoundSource* src, int32_t selector, void* data, int32_t size) {
  if (selector != PIN_SeqData_SoundFormat) return 0;
  if (!data || size < static_cast<int32_t>(sizeof(SND_Format))) return kReport.BadParam(kSiteSoundRead, {"PIN_GetSeqSpecificData"});
  SND_Format f{};
  if (src && src->rate > 0 && src->channels > 0) {
    f.rate = src->rate;
    f.encoding = SND_Encoding_Signed;
    f.bytesPerSample = 2;
    f.channels = static_cast<uint16_t>(std::min(src->channels, 2));
  }
  std::memcpy(data, &f, sizeof f);
  return 0;
}

int32_t SampleToInt32(const SND_Format& f, const uint8_t* p) {
  if (f.encoding == SND_Encoding_Float) {
    float v;
    std::memcpy(&v, p, 4);
    if (std::isnan(v)) return 0;  // an effect's NaN is silence, never a conversion out of range
    const double d = std::clamp(static_cast<double>(v), -1.0, 1.0) * 2147483648.0;
    return static_cast<int32_t>(std::clamp(std::round(d), -2147483648.0, 2147483647.0));
  }
  const bool unsig = f.encoding == SND_Encoding_Unsigned;
  switch (f.bytesPerSample) {
    case 1: return static_cast<int32_t>(static_cast<uint32_t>(unsig ? p[0] ^ 0x80u : p[0]) << 24);
    case 2: {
      uint16_t u;
      std::memcpy(&u, p, 2);
      return static_cast<int32_t>(static_cast<uint32_t>(unsig ? u ^ 0x8000u : u) << 16);
    }
    default: {
      uint32_t u;
      std::memcpy(&u, p, 4);
      return static_cast<int32_t>(unsig ? u ^ 0x80000000u : u);
    }
  }
}

}  // namespace tv::pin
