// The sound filter adapter: runs a 'KFlt' plug-in as an audio-only effect
// class. Global setup and setdown become the filter's setup and teardown;
// the audio call converts the host's samples to interleaved floats in -1..1,
// lets the filter process them and converts the result back (rounded to
// nearest and clamped to the format's range).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FLT_adapters.h"
#include "Scratch.h"

namespace tv::flt {
namespace {

// Full scale of an integer sample of n bytes.
double Scale(uint16_t bytes) { return bytes == 1 ? 128.0 : bytes == 2 ? 32768.0 : 2147483648.0; }

bool Supported(const PF_AudioCall& call) {
  if (call.encoding == 3) return call.bytesPerSample == 4;
  if (call.encoding == 1) return call.bytesPerSample == 1;
  return call.encoding == 2 && (call.bytesPerSample == 1 || call.bytesPerSample == 2 || call.bytesPerSample == 4);
}

float ToFloat(const uint8_t* p, const PF_AudioCall& call) {
  switch (call.bytesPerSample) {
    case 1:
      return call.encoding == 1 ? static_cast<float>((p[0] - 128) / 128.0)
                                : static_cast<float>(static_cast<int8_t>(p[0]) / 128.0);
    case 2: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return static_cast<float>(v / 32768.0);
    }
    default: {
      if (call.encoding == 3) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
      }
      int32_t v;
      std::memcpy(&v, p, 4);
      return static_cast<float>(v / 2147483648.0);
    }
  }
}

void FromFloat(float f, uint8_t* p, const PF_AudioCall& call) {
  if (call.encoding == 3) {
    std::memcpy(p, &f, 4);
    return;
  }
  const double scale = Scale(call.bytesPerSample);
  // NaN and out-of-range values from the filter land inside the format.
  double v = std::isnan(f) ? 0.0 : std::nearbyint(static_cast<double>(f) * scale);
  v = std::clamp(v, -scale, scale - 1);
  switch (call.bytesPerSample) {
    case 1:
      p[0] = call.encoding == 1 ? static_cast<uint8_t>(static_cast<int32_t>(v) + 128)
                                : static_cast<uint8_t>(static_cast<int8_t>(v));
      break;
    case 2: {
      const auto s = static_cast<int16_t>(v);
      std::memcpy(p, &s, 2);
      break;
    }
    default: {
      const auto s = static_cast<int32_t>(v);
      std::memcpy(p, &s, 4);
    }
  }
}

PF_Result Process(const VideoAdapter& a, PF_InputRecord* in, const PF_AudioCall* call) {
  if (!call || !call->input || !call->output || call->frames < 0 || call->channels == 0 || !Supported(*call))
    return kReport.Fail(kSiteAudio, PF_Result_BadCallbackArg, kTextBadParam, {"sound filter samples"});
  const size_t count = static_cast<size_t>(call->frames) * call->channels;
  ScratchArray<float> src(count), dst(count);
  if (!src.ok() || !dst.ok()) return kReport.OutOfMemory(kSiteAudio, kTextMemory, 8 * count);
  const auto* from = static_cast<const uint8_t*>(call->input);
  for (size_t i = 0; i < count; ++i) src.data()[i] = ToFloat(from + i * call->bytesPerSample, *call);
  std::fill(dst.data(), dst.data() + count, 0.0f);
  FF_SoundRecord r{};
  r.in = src.data();
  r.out = dst.data();
  r.frames = call->frames;
  r.channels = call->channels;
  r.rate = call->rate;
  r.data = FilterData(in);
  if (PF_Result err = a.entry(FF_Sel_Process, &r)) return err;
  auto* to = static_cast<uint8_t*>(call->output);
  for (size_t i = 0; i < count; ++i) FromFloat(dst.data()[i], to + i * call->bytesPerSample, *call);
  return 0;
}

}  // namespace

PF_Result VideoAdapterEntry(int32_t cmd, PF_InputRecord* in, PF_OutputRecord* out, PF_ParamDef**, PFWorld*,
                            void* extra) {
  ClassRec c{};
  VideoAdapter a{};
  if (!out || !AdapterOf(in, kVideoAdapterMagic, c, a)) return PF_Result_Damaged;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      return FilterGlobalSetup(a.entry, out, a.outFlags, c.version);
    case PF_Cmd_GlobalSetdown:
      return FilterGlobalSetdown(a.entry, in, out);
    case PF_Cmd_ParamsSetup:
      out->paramCount = 1;  // the input layer only
      return 0;
    case PF_Cmd_AudioRender:
      return Process(a, in, static_cast<const PF_AudioCall*>(extra));
    default:
      return 0;  // no pictures, no sequence or frame data
  }
}

}  // namespace tv::flt
