// The sound outputs' shared queue: one thread per open output takes the
// buffers in order, plays them and reports them done.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "AudioOut.h"

namespace tv::platform {

class QueuedOut : public AudioOut {
 public:
  ~QueuedOut() override;
  bool Open(const PcmFormat& format, DoneFn done, void* ref, std::string* why) final;
  bool Write(int32_t buffer, const void* data, size_t bytes, std::string* why) final;
  void Reset() final;
  void Close() final;
  bool Healthy(std::string* why) final;

 protected:
  // Opens the device or file.
  virtual bool Start(const PcmFormat& format, std::string* why) = 0;
  // Plays bytes, returning early when stop turns true; false with the reason
  // when the device fails.
  virtual bool Play(const uint8_t* data, size_t bytes, const std::atomic<bool>& stop, std::string* why) = 0;
  // Drops what the device still holds (after a reset).
  virtual void Drop() {}
  // Closes the device or file (the thread has ended).
  virtual void Finish() {}
  const PcmFormat& format() const { return format_; }

 private:
  struct Item {
    int32_t buffer;
    const uint8_t* data;
    size_t bytes;
  };
  void Run();
  void Stop();
  std::mutex mutex_;
  std::condition_variable cv_, idle_;
  std::deque<Item> queue_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool quit_ = false, busy_ = false, failed_ = false;
  std::string error_;
  PcmFormat format_{};
  DoneFn done_ = nullptr;
  void* ref_ = nullptr;
};

// The ALSA output (audio_alsa.cpp).
std::unique_ptr<AudioOut> NewAlsaOut(const std::string& pcm);
bool AlsaCaps(const std::string& pcm, AudioCaps* caps, std::string* why);

}  // namespace tv::platform
