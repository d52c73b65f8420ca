// The machine's sound device through ALSA. The library's own messages go to
// the debug output instead of standard error.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "Platform.h"
#include "audio_out_internal.h"

namespace tv::platform {
namespace {

void Quiet(const char* file, int line, const char* function, int err, const char* fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  char line_[700];
  std::snprintf(line_, sizeof line_, "ALSA %s:%d %s: %s (%d)", file, line, function, text, err);
  DebugOutput(line_);
}

void QuietOnce() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(Quiet); });
}

std::string NoDevice(const std::string& pcm, int err) {
  return "no sound device could be opened (ALSA \"" + pcm + "\": " + snd_strerror(err) +
         "); the sound can be written to a file instead";
}

snd_pcm_format_t FormatOf(const PcmFormat& f) {
  if (f.bytesPerSample == 1) return f.isSigned ? SND_PCM_FORMAT_S8 : SND_PCM_FORMAT_U8;
  return f.isSigned ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_U16;
}

class AlsaOut final : public QueuedOut {
 public:
  explicit AlsaOut(std::string pcm) : name_(std::move(pcm)) {}
  ~AlsaOut() override { Close(); }

 protected:
  bool Start(const PcmFormat& f, std::string* why) override {
    QuietOnce();
    int err = snd_pcm_open(&pcm_, name_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) {
      pcm_ = nullptr;
      *why = NoDevice(name_, err);
      return false;
    }
    err = snd_pcm_set_params(pcm_, FormatOf(f), SND_PCM_ACCESS_RW_INTERLEAVED, f.channels, f.rate, 1, 100000);
    if (err < 0) {
      *why = std::string("the sound device can't play this format (") + snd_strerror(err) + ")";
      snd_pcm_close(pcm_);
      pcm_ = nullptr;
      return false;
    }
    frameBytes_ = size_t{f.channels} * f.bytesPerSample;
    chunk_ = std::max<size_t>(f.rate / 20, 1);
    return true;
  }
  bool Play(const uint8_t* data, size_t bytes, const std::atomic<bool>& stop, std::string* why) override {
    size_t frames = bytes / frameBytes_;
    while (frames > 0 && !stop) {
      const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data, std::min(frames, chunk_));
      if (n < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) {
          *why = snd_strerror(static_cast<int>(n));
          return false;
        }
        continue;
      }
      data += static_cast<size_t>(n) * frameBytes_;
      frames -= static_cast<size_t>(n);
    }
    return true;
  }
  void Drop() override {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
  }
  void Finish() override {
    if (pcm_) {
      snd_pcm_drain(pcm_);
      snd_pcm_close(pcm_);
    }
    pcm_ = nullptr;
  }

 private:
  std::string name_;
  snd_pcm_t* pcm_ = nullptr;
  size_t frameBytes_ = 1, chunk_ = 1;
};

}  // namespace

std::unique_ptr<AudioOut> NewAlsaOut(const std::string& pcm) { return std::make_unique<AlsaOut>(pcm); }

bool AlsaCaps(const std::string& name, AudioCaps* caps, std::string* why) {
  QuietOnce();
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (err < 0) {
    *why = NoDevice(name, err);
    return false;
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_malloc(&hw);
  *caps = AudioCaps{true, 2};
  if (hw && snd_pcm_hw_params_any(pcm, hw) >= 0) {
    caps->has16Bit = snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_S16) == 0 ||
                     snd_pcm_hw_params_test_format(pcm, hw, SND_PCM_FORMAT_U16) == 0;
    unsigned int most = 2;
    if (snd_pcm_hw_params_get_channels_max(hw, &most) == 0) caps->maxChannels = static_cast<uint16_t>(std::min(most, 2u));
  }
  if (hw) snd_pcm_hw_params_free(hw);
  snd_pcm_close(pcm);
  return true;
}

}  // namespace tv::platform
