// The render progress display.
#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace tavelo {

Progress::Progress(int64_t total, bool quiet)
    : total_(total), quiet_(quiet), terminal_(::isatty(2) == 1), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() { Finish(); }

void Progress::FrameDone(const std::string& what) {
  ++done_;
  if (quiet_) return;
  if (terminal_) {
    Draw();
  } else {
    std::fprintf(stderr, "frame %lld/%lld %s\n", static_cast<long long>(done_ + skipped_),
                 static_cast<long long>(total_), what.c_str());
  }
}

void Progress::FrameSkipped(const std::string& what) {
  ++skipped_;
  if (quiet_) return;
  if (terminal_) {
    Draw();
  } else {
    std::fprintf(stderr, "frame %lld/%lld %s (reserved by another renderer, skipped)\n",
                 static_cast<long long>(done_ + skipped_), static_cast<long long>(total_), what.c_str());
  }
}

void Progress::Draw() {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double fps = seconds > 0 ? static_cast<double>(done_) / seconds : 0;
  const int64_t left = total_ - done_ - skipped_;
  const double eta = fps > 0 ? static_cast<double>(left) / fps : 0;
  constexpr int kWidth = 30;
  const int filled = total_ > 0 ? static_cast<int>(kWidth * (done_ + skipped_) / total_) : kWidth;
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  const int eta_s = static_cast<int>(eta + 0.5);
  std::fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f fps  %d:%02d left ", bar,
               static_cast<long long>(done_ + skipped_), static_cast<long long>(total_), fps, eta_s / 60, eta_s % 60);
  std::fflush(stderr);
  open_ = true;
}

void Progress::Finish() {
  if (open_) std::fputc('\n', stderr);
  open_ = false;
}

}  // namespace tavelo
