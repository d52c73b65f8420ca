// Progress of a render on standard error: a bar redrawn in place when
// standard error is a terminal (frames done, frames a second, time left),
// one plain line a frame otherwise, nothing with --quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tavelo {

class Progress {
 public:
  Progress(int64_t total, bool quiet);
  ~Progress();
  // One more frame is done; what names it (the file written).
  void FrameDone(const std::string& what);
  // One frame was left to another renderer.
  void FrameSkipped(const std::string& what);
  // Ends the bar's line (before a message or at the end).
  void Finish();

 private:
  void Draw();
  int64_t total_, done_ = 0, skipped_ = 0;
  bool quiet_, terminal_, open_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tavelo
