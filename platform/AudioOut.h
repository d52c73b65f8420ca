// The sound output: a PCM stream opened on an output, fed buffers in order;
// each buffer is reported done from the output's own thread once it has been
// played (or dropped by a reset). Three outputs: the machine's sound device
// through ALSA, a null output that plays instantly, and a WAV file.
//
// What callers may rely on:
// - The output is chosen by SetAudioOutput or, when that was never called,
//   the environment variable TAVELO_AUDIO_OUTPUT; the default is
//   "alsa:default". Names: "alsa:<pcm name>", "null" (options after colons:
//   "mono" one channel only, "8bit" no 16-bit samples; e.g. "null:mono:8bit"),
//   "file:<path>" (a WAV file written as the buffers play).
// - A buffer's memory is read until its done call; done calls come in the
//   order the buffers were written, from one thread that is not the caller's
//   and that never calls back into the library other than through done.
// - Reset drops what is queued: every buffer not yet reported is reported
//   done before Reset returns. Close resets first.
// - Failures answer false with a reason meant for the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tv::platform {

struct PcmFormat {
  uint32_t rate;            // frames per second
  uint16_t channels;        // 1 or 2
  uint16_t bytesPerSample;  // 1 or 2
  bool isSigned;            // samples in host byte order
};

struct AudioCaps {
  bool has16Bit;
  uint16_t maxChannels;
};

class AudioOut {
 public:
  using DoneFn = void (*)(void* ref, int32_t buffer);
  virtual ~AudioOut() = default;
  virtual bool Open(const PcmFormat& format, DoneFn done, void* ref, std::string* why) = 0;
  // Queues bytes (whole frames) as buffer number `buffer`.
  virtual bool Write(int32_t buffer, const void* data, size_t bytes, std::string* why) = 0;
  virtual void Reset() = 0;
  virtual void Close() = 0;
  // False with the reason once the output has failed while playing (the
  // buffers are then reported done without being played).
  virtual bool Healthy(std::string* why) = 0;
};

// The output chosen now ("" restores the environment's or the default).
void SetAudioOutput(std::string_view name);
std::string AudioOutputName();
// A new, unopened output of the chosen kind; null with the reason for a name
// that is not understood.
std::unique_ptr<AudioOut> NewAudioOut(std::string* why);
// What the chosen output can play. False with the reason when its device
// cannot be opened (no sound device on this machine).
bool GetAudioCaps(AudioCaps* caps, std::string* why);

}  // namespace tv::platform
