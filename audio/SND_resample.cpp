// Rate conversion. Destination frame j reads the source at position
// pos0 + j * step (computed from j each time, so positions never drift):
// linear interpolation at draft quality, cubic (Catmull-Rom, three extra
// source frames) at best quality; when the source rate is higher, best
// quality first low-passes the source with a 29-tap windowed sinc for the
// ratio c = destination rate / source rate. Samples are handled as doubles at
// full scale 1.0; outside the source is silence. Work goes in blocks of
// destination frames, between which the installed procedures are asked.
#include <cmath>

#include "SND_internal.h"
#include "Scratch.h"

namespace tv::snd {
namespace {

constexpr int kTaps = 29;
constexpr int kHalf = 14;
constexpr int64_t kBlock = 4096;

// Catmull-Rom through a, b, c, d at fraction f between b and c.
inline double Cubic(double a, double b, double c, double d, double f) {
  return b + 0.5 * f * (c - a + f * (2.0 * a - 5.0 * b + 4.0 * c - d + f * (3.0 * (b - c) + d - a)));
}

}  // namespace

// Tap k is c * h(k) * w(k): h the sinc centred on tap 14, w a Hamming window
// over 28 intervals whose last tap is 0 (so the filter leans one tap early;
// the effect is far below what 16-bit samples show).
void DesignFilter(double c, float taps[kTaps]) {
  constexpr double pi = 3.14159265358979323846;
  for (int k = 0; k < kTaps; ++k) {
    const double x = (kHalf - k) * c * pi;
    const double h = x == 0.0 ? 1.0 : std::sin(x) / x;
    const double w = k < kTaps - 1 ? 0.54 - 0.46 * std::cos(2.0 * pi * k / (kTaps - 1)) : 0.0;
    taps[k] = static_cast<float>(c * h * w);
  }
}

ErrorCode Resample(const ResampleJob& job, uint32_t site) {
  const int dc = job.dstChannels;
  const int sc = job.srcChannels;
  const int64_t dfb = int64_t{job.df.bytes} * dc;
  float taps[kTaps];
  if (job.filter) DesignFilter(static_cast<double>(1.0L / job.step), taps);
  const int margin = job.filter ? kHalf : 0;
  ScratchArray<double> raw;
  ScratchArray<double> filtered;
  ScratchArray<double> out;
  for (int64_t j0 = 0; j0 < job.dstFrames; j0 += kBlock) {
    if (ErrorCode err = Poll(job.progress, j0, job.dstFrames)) return err;
    const int64_t j1 = std::min(job.dstFrames, j0 + kBlock);
    const int64_t first = static_cast<int64_t>(std::floor(job.pos0 + j0 * job.step)) - 1;
    const int64_t last = static_cast<int64_t>(std::floor(job.pos0 + (j1 - 1) * job.step)) + 2;
    // Raw samples lo .. hi (mapped to the destination's channels), then the
    // filtered ones first .. last.
    const int64_t lo = first - margin;
    const int64_t hi = last + margin;
    const int64_t n = hi - lo + 1;
    if (!raw.Resize(static_cast<size_t>(n * dc)))
      return kReport.OutOfMemory(site, kTextScratch, raw.failedBytes());
    LoadNormalized(job.sf, sc, dc, job.src, job.srcFrames, lo, n, raw.data());
    const double* x = raw.data() + margin * dc;  // sample `first`
    if (job.filter) {
      const int64_t m = last - first + 1;
      if (!filtered.Resize(static_cast<size_t>(m * dc)))
        return kReport.OutOfMemory(site, kTextScratch, filtered.failedBytes());
      for (int64_t i = 0; i < m; ++i)
        for (int c = 0; c < dc; ++c) {
          const double* w = raw.data() + i * dc + c;  // raw sample first + i - 14
          double acc = 0.0;
          for (int k = 0; k < kTaps; ++k) acc += static_cast<double>(taps[k]) * w[k * dc];
          filtered[static_cast<size_t>(i * dc + c)] = acc;
        }
      x = filtered.data();
    }
    // Positions from the block's exact start: whole part and fraction.
    const long double base = job.pos0 + j0 * job.step;
    const long double baseFloor = std::floor(base);
    const int64_t baseIndex = static_cast<int64_t>(baseFloor) - first;
    const double baseFrac = static_cast<double>(base - baseFloor);
    const double step = static_cast<double>(job.step);
    if (!out.Resize(static_cast<size_t>((j1 - j0) * dc)))
      return kReport.OutOfMemory(site, kTextScratch, out.failedBytes());
    double* y = out.data();
    for (int64_t j = 0; j < j1 - j0; ++j) {
      // q is never negative: truncation is the floor.
      const double q = baseFrac + static_cast<double>(j) * step;
      const int64_t whole = static_cast<int64_t>(q);
      const double f = q - static_cast<double>(whole);
      const double* at = x + (baseIndex + whole) * dc;
      for (int c = 0; c < dc; ++c, ++at) {
        if (f == 0.0)
          *y++ = at[0];
        else if (job.best)
          *y++ = Cubic(at[-dc], at[0], at[dc], at[2 * dc], f);
        else
          *y++ = at[0] + f * (at[dc] - at[0]);
      }
    }
    StoreNormalized(job.df, out.data(), job.dst + j0 * dfb, (j1 - j0) * dc, job.mix);
  }
  return 0;
}

}  // namespace tv::snd
