// The sound outputs: the queue and its thread shared by every output, the
// null output, the WAV-file output (written through libsndfile) and the
// choice between them.
#include <sndfile.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "AudioOut.h"
#include "audio_out_internal.h"

namespace tv::platform {

// ---- The queue --------------------------------------------------------------------------

QueuedOut::~QueuedOut() { Stop(); }

bool QueuedOut::Open(const PcmFormat& format, DoneFn done, void* ref, std::string* why) {
  if (worker_.joinable()) {
    *why = "the output is already open";
    return false;
  }
  if (!Start(format, why)) return false;
  format_ = format;
  done_ = done;
  ref_ = ref;
  quit_ = stop_ = false;
  failed_ = false;
  worker_ = std::thread([this] { Run(); });
  return true;
}

bool QueuedOut::Write(int32_t buffer, const void* data, size_t bytes, std::string* why) {
  std::lock_guard lock(mutex_);
  if (!worker_.joinable()) {
    *why = "the output is not open";
    return false;
  }
  if (failed_) {
    *why = error_;
    return false;
  }
  queue_.push_back(Item{buffer, static_cast<const uint8_t*>(data), bytes});
  cv_.notify_all();
  return true;
}

void QueuedOut::Reset() {
  std::unique_lock lock(mutex_);
  if (!worker_.joinable()) return;
  stop_ = true;
  cv_.notify_all();
  idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
  stop_ = false;
}

void QueuedOut::Close() { Stop(); }

void QueuedOut::Stop() {
  if (!worker_.joinable()) return;
  Reset();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    cv_.notify_all();
  }
  worker_.join();
  Finish();
}

bool QueuedOut::Healthy(std::string* why) {
  std::lock_guard lock(mutex_);
  if (failed_) *why = error_;
  return !failed_;
}

void QueuedOut::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    cv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return;  // quit with nothing left
    const Item item = queue_.front();
    queue_.pop_front();
    busy_ = true;
    const bool play = !stop_ && !failed_;
    lock.unlock();
    std::string why;
    bool ok = true;
    if (play) ok = Play(item.data, item.bytes, stop_, &why);
    if (!play || stop_) Drop();
    lock.lock();
    if (!ok && !failed_) {
      failed_ = true;
      error_ = why;
    }
    lock.unlock();
    done_(ref_, item.buffer);
    lock.lock();
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

namespace {

// ---- The null output ----------------------------------------------------------------------
class NullOut final : public QueuedOut {
 protected:
  bool Start(const PcmFormat&, std::string*) override { return true; }
  bool Play(const uint8_t*, size_t, const std::atomic<bool>&, std::string*) override { return true; }
};

// ---- The WAV-file output ---------------------------------------------------------------------
// A WAV file holds 8-bit samples unsigned and 16-bit samples signed; other
// samples are converted on the way.
class FileOut final : public QueuedOut {
 public:
  explicit FileOut(std::string path) : path_(std::move(path)) {}
  ~FileOut() override { Close(); }

 protected:
  bool Start(const PcmFormat& f, std::string* why) override {
    SF_INFO info{};
    info.samplerate = static_cast<int>(f.rate);
    info.channels = f.channels;
    info.format = SF_FORMAT_WAV | (f.bytesPerSample == 1 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    file_ = sf_open(path_.c_str(), SFM_WRITE, &info);
    if (!file_) {
      *why = "can't write the sound file \"" + path_ + "\" (" + sf_strerror(nullptr) + ")";
      return false;
    }
    flip_ = f.bytesPerSample == 1 ? f.isSigned : !f.isSigned;
    wide_ = f.bytesPerSample == 2;
    return true;
  }
  bool Play(const uint8_t* data, size_t bytes, const std::atomic<bool>&, std::string* why) override {
    const void* out = data;
    if (flip_) {
      scratch_.assign(data, data + bytes);
      for (size_t i = wide_ ? 1 : 0; i < bytes; i += wide_ ? 2 : 1) scratch_[i] ^= 0x80;  // the top bit
      out = scratch_.data();
    }
    if (sf_write_raw(file_, out, static_cast<sf_count_t>(bytes)) != static_cast<sf_count_t>(bytes)) {
      *why = std::string("can't write the sound file \"") + path_ + "\" (" + sf_strerror(file_) + ")";
      return false;
    }
    return true;
  }
  void Finish() override {
    if (file_) sf_close(file_);
    file_ = nullptr;
  }

 private:
  std::string path_;
  SNDFILE* file_ = nullptr;
  bool flip_ = false, wide_ = false;
  std::vector<uint8_t> scratch_;
};

// ---- The choice ----------------------------------------------------------------------------
std::mutex gChoiceMutex;
std::string gChoice;
bool gChosen = false;

std::string Chosen() {
  std::lock_guard lock(gChoiceMutex);
  if (gChosen) return gChoice;
  const char* env = std::getenv("TAVELO_AUDIO_OUTPUT");
  return env && *env ? env : "alsa:default";
}

bool HasOption(std::string_view name, std::string_view option) {
  for (size_t at = name.find(':'); at != std::string_view::npos; at = name.find(':', at + 1)) {
    const size_t end = name.find(':', at + 1);
    if (name.substr(at + 1, end == std::string_view::npos ? end : end - at - 1) == option) return true;
  }
  return false;
}

}  // namespace

void SetAudioOutput(std::string_view name) {
  std::lock_guard lock(gChoiceMutex);
  gChoice = name;
  gChosen = !name.empty();
}

std::string AudioOutputName() { return Chosen(); }

std::unique_ptr<AudioOut> NewAudioOut(std::string* why) {
  const std::string name = Chosen();
  if (name == "null" || name.starts_with("null:")) return std::make_unique<NullOut>();
  if (name.starts_with("file:") && name.size() > 5) return std::make_unique<FileOut>(name.substr(5));
  if (name.starts_with("alsa:") && name.size() > 5) return NewAlsaOut(name.substr(5));
  *why = "unknown sound output \"" + name + "\"";
  return nullptr;
}

bool GetAudioCaps(AudioCaps* caps, std::string* why) {
  const std::string name = Chosen();
  if (name == "null" || name.starts_with("null:")) {
    *caps = AudioCaps{!HasOption(name, "8bit"), static_cast<uint16_t>(HasOption(name, "mono") ? 1 : 2)};
    return true;
  }
  if (name.starts_with("file:")) {
    *caps = AudioCaps{true, 2};
    return true;
  }
  if (name.starts_with("alsa:") && name.size() > 5) return AlsaCaps(name.substr(5), caps, why);
  *why = "unknown sound output \"" + name + "\"";
  return false;
}

}  // namespace tv::platform
