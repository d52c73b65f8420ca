// Rows of a pixel routine shared among threads: the rows [top, bottom) are
// cut into contiguous bands, one per thread; the calling thread works the
// first band and the others run on threads that are joined before the call
// returns.
//
// What callers may rely on:
// - Every row is in exactly one band; bands are visited in no fixed order,
//   so a routine split this way must compute each row from its index alone.
// - With one thread (or too few rows to share) everything runs on the
//   calling thread, in order, and no thread is started.
// - The work function must not allocate from the memory manager or report:
//   both belong to the library thread. Per-band working memory is prepared
//   before the split, one piece per band index.
// - A thread that cannot be started leaves its band to the calling thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

namespace tv::platform {

// The number of bands rows rows make for threads threads: at most one band per
// minRows rows, at least 1.
inline int32_t RowBandCount(int32_t rows, int32_t threads, int32_t minRows = 16) {
  if (rows <= 0 || threads <= 1) return 1;
  return std::clamp<int32_t>(rows / std::max<int32_t>(minRows, 1), 1, threads);
}

// Band b of n over [top, bottom): its first row and its end.
inline void RowBand(int32_t top, int32_t bottom, int32_t n, int32_t b, int32_t* first, int32_t* end) {
  const int64_t rows = int64_t{bottom} - top;
  *first = top + static_cast<int32_t>(rows * b / n);
  *end = top + static_cast<int32_t>(rows * (b + 1) / n);
}

// Calls work(band, first, end) for each of n bands; bands 1 .. n-1 on their
// own threads.
template <class Work>
void ForRowBands(int32_t top, int32_t bottom, int32_t n, Work&& work) {
  if (n <= 1) {
    work(0, top, bottom);
    return;
  }
  std::vector<int32_t> leftover;
  {
    std::vector<std::jthread> threads;
    threads.reserve(static_cast<size_t>(n - 1));
    for (int32_t b = 1; b < n; ++b) {
      int32_t first = 0, end = 0;
      RowBand(top, bottom, n, b, &first, &end);
      try {
        threads.emplace_back([&work, b, first, end] { work(b, first, end); });
      } catch (const std::system_error&) {
        leftover.push_back(b);
      }
    }
    int32_t first = 0, end = 0;
    RowBand(top, bottom, n, 0, &first, &end);
    work(0, first, end);
    for (int32_t b : leftover) {
      RowBand(top, bottom, n, b, &first, &end);
      work(b, first, end);
    }
  }  // the threads are joined here
}

// The number of threads the machine offers (at least 1).
inline int32_t HardwareThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int32_t>(std::min(n, 64u));
}

}  // namespace tv::platform
