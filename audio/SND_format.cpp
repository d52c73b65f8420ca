// Sound formats: validity, silence, the stored form, the description text,
// level conversions and the resampling window.
#include <cmath>
#include <cstring>

#include "ByteOrder.h"
#include "SND_internal.h"

namespace tv::snd {

bool ValidRate(double rate) { return std::isfinite(rate) && rate > 0.0 && rate < 4294967296.0; }

bool ValidFormat(const SND_Format& f) {
  if (!ValidRate(f.rate)) return false;
  if (f.channels != 1 && f.channels != 2) return false;
  switch (f.encoding) {
    case SND_Encoding_Unsigned:
    case SND_Encoding_Signed:
      return f.bytesPerSample == 1 || f.bytesPerSample == 2;
    case SND_Encoding_Float:
      return f.bytesPerSample == 4;
    default:
      return false;
  }
}

// Integer samples of 1 or 2 bytes and 4-byte floats: with valid formats
// only, every world passes.
bool EditableFormat(const SND_Format& f) {
  if (f.encoding == SND_Encoding_Unsigned || f.encoding == SND_Encoding_Signed)
    return f.bytesPerSample == 1 || f.bytesPerSample == 2;
  return f.encoding == SND_Encoding_Float && f.bytesPerSample == 4;
}

void FillSilence(const SND_Format& f, void* dst, int64_t samples) {
  if (samples <= 0) return;
  if (f.encoding != SND_Encoding_Unsigned) {
    std::memset(dst, 0, static_cast<size_t>(samples * f.bytesPerSample));
  } else if (f.bytesPerSample == 1) {
    std::memset(dst, 0x80, static_cast<size_t>(samples));
  } else {
    auto* p = static_cast<uint16_t*>(dst);
    for (int64_t i = 0; i < samples; ++i) p[i] = 0x8000;
  }
}

uint32_t ScaleOf(double rate) {
  if (!(rate >= 1.0)) return 1;
  if (rate >= 4294967295.0) return 4294967295u;
  return static_cast<uint32_t>(rate);
}

}  // namespace tv::snd

using namespace tv;
using namespace tv::snd;

ErrorCode SND_Convert2FormatInfo(const SND_StoredFormat* stored, SND_Format* format) {
  if (format) *format = SND_Format{};
  if (!stored || !format) return kReport.BadParam(kSiteFormat, {"SND_Convert2FormatInfo"});
  const uint8_t* b = stored->bytes;
  // The rate is unsigned: 44100 Hz is 0xAC440000.
  format->rate = be::Load<uint32_t>(b) / 65536.0;
  format->encoding = be::Load<uint16_t>(b + 4);
  format->bytesPerSample = be::Load<uint16_t>(b + 6);
  format->channels = be::Load<uint16_t>(b + 8);
  format->reserved = 0;
  return 0;
}

ErrorCode SNDp_Convert2StoredFormat(const SND_Format* format, SND_StoredFormat* stored) {
  if (stored) *stored = SND_StoredFormat{};
  if (!format || !stored) return kReport.BadParam(kSiteFormat, {"SNDp_Convert2StoredFormat"});
  const double fixed = std::floor(format->rate * 65536.0 + 0.5);
  if (!(fixed >= 0.0 && fixed <= 4294967295.0))
    return kReport.Fail(kSiteFormat, kErrBadParam, kTextBadRate, {format->rate});
  be::Store<uint32_t>(stored->bytes, static_cast<uint32_t>(fixed));
  be::Store<uint16_t>(stored->bytes + 4, format->encoding);
  be::Store<uint16_t>(stored->bytes + 6, format->bytesPerSample);
  be::Store<uint16_t>(stored->bytes + 8, format->channels);
  return 0;
}

Boolean32 SNDp_IsValidFormat(const SND_Format* format) { return format && ValidFormat(*format) ? 1 : 0; }

ErrorCode SND_GetInfoString(const SND_Format* format, SND_InfoText* text) {
  if (text) text->text[0] = 0;
  if (!format || !text) return kReport.BadParam(kSiteInfo, {"SND_GetInfoString"});
  if (format->channels == 0) {
    fmt::CopyTo(text->text, "None");
    return 0;
  }
  const char* suffix = "";
  if (format->encoding == SND_Encoding_Unsigned && format->bytesPerSample > 1)
    suffix = " U";
  else if (format->encoding == SND_Encoding_Signed && format->bytesPerSample == 1)
    suffix = " S";
  else if (format->encoding == SND_Encoding_Float)
    suffix = " F";
  fmt::FormatTo(text->text, "%.3f KHz / %d bit%s / %s",
                {format->rate / 1000.0, int32_t{format->bytesPerSample} * 8, suffix,
                 format->channels == 1 ? "Mono" : "Stereo"});
  return 0;
}

ErrorCode SND_RatioToDB(double* value) {
  if (!value) return kReport.BadParam(kSiteLevels, {"SND_RatioToDB"});
  *value = 20.0 * std::log10(*value);
  return 0;
}

ErrorCode SND_DBtoRatio(double* value) {
  if (!value) return kReport.BadParam(kSiteLevels, {"SND_DBtoRatio"});
  *value = std::pow(10.0, 0.05 * *value);
  return 0;
}

ErrorCode SND_GetResampleWindowSizeF(int32_t quality, double sourceRate, double destinationRate, int32_t* window) {
  if (window) *window = 0;
  if (!window) return kReport.Fail(kSiteWindow, kErrBadParam, kTextBadSampleSize);
  if (!ValidRate(sourceRate) || !ValidRate(destinationRate))
    return kReport.Fail(kSiteWindow, kErrBadParam, kTextBadRate, {ValidRate(sourceRate) ? destinationRate : sourceRate});
  if (quality != SND_Quality_Best) return 0;
  const double d = sourceRate - destinationRate;
  if (d >= 1e-8)
    *window = 29;
  else if (d <= -1e-8)
    *window = 3;
  return 0;
}

ErrorCode SND_GetResampleWindowSize(int32_t quality, uint32_t sourceRate, uint32_t destinationRate,
                                    int32_t* window) {
  // 16.16 rates are unsigned: 44100 Hz and 48000 Hz have the top bit set.
  return SND_GetResampleWindowSizeF(quality, sourceRate / 65536.0, destinationRate / 65536.0, window);
}
