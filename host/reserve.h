// Frame reservations: several renderers, on one machine or on many sharing
// storage, render one numbered sequence into one folder and every frame ends
// up there exactly once.
//
// What callers may rely on:
// - A frame is claimed by creating its final file empty (O_EXCL). A
//   non-empty file is a finished frame and is never claimed again.
// - While a claim is held, a heartbeat thread touches the reservation every
//   quarter of the stale limit (at least every second), so a slow frame is
//   never mistaken for an abandoned one.
// - An empty reservation whose time stamp is older than the stale limit was
//   left by a renderer that died; it is retaken: moved aside under a name of
//   this renderer's own, checked to be the very file judged stale, removed,
//   and the name claimed again with O_EXCL. Of several renderers retaking at
//   once one wins; a file moved aside by mistake (a newer claim, a finished
//   frame) is put back without replacing anything.
// - A stale limit of 0 retakes every empty reservation at once: for a rerun
//   of a range that no other live renderer covers (a retried farm task).
// - A finished frame is written under a temporary name in the folder and
//   renamed over the reservation, so a reader never sees half a frame under
//   the final name; just before, the claim checks the name still holds its
//   own reservation, and a frame whose claim was retaken by another renderer
//   is dropped instead of written a second time.
// - A non-empty file that is not a whole frame (StillIsWhole: cut short by
//   something other than a renderer) is retaken at once the same way.
// - A claim given up (a failed or interrupted frame) removes its reservation
//   when the name still holds it; so does a renderer that dies of a fatal
//   signal (crash.h).
// Clocks of the machines sharing the folder must agree to well within the
// stale limit (time stamps are compared with this machine's clock).
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "image_file.h"

namespace tavelo {

// The default stale limit of `tavelo render --reserve`, in seconds.
inline constexpr int64_t kDefaultStaleSeconds = 600;

class FrameClaim {
 public:
  // Tries to claim the frame file `path`. Throws Failure when the folder
  // cannot be written.
  FrameClaim(std::string path, int64_t staleSeconds);
  ~FrameClaim();
  FrameClaim(const FrameClaim&) = delete;
  FrameClaim& operator=(const FrameClaim&) = delete;

  bool Mine() const { return fd_ >= 0; }
  // Whether an abandoned reservation was retaken to get this claim.
  bool Retaken() const { return retaken_; }
  // Writes the finished frame over the reservation. False (nothing written)
  // when the reservation is no longer this claim's. Throws Failure when the
  // image cannot be written (the reservation is then given up).
  bool Commit(const Image& image);

 private:
  bool TryCreate();
  bool TakeStale();
  bool StillMine() const;
  void Release();
  void Beat();

  std::string path_;
  int64_t stale_;
  int fd_ = -1;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  bool retaken_ = false, committed_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread heart_;
};

// A name in the frame's folder that no other renderer uses: the hidden
// ".<file name>.<tag>.<host>.<pid><extension>" (tag "done" or "stale"); the
// engine's next write into the folder removes those of a renderer that died.
std::string PrivateName(const std::string& path, const std::string& tag);

}  // namespace tavelo
