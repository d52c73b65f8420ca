// Rate conversion. Destination frame j reads the source at position
// pos0 + j * step (computed from j each time, so positions never drift;
// exactly, from the rates' grids, when both rates are whole numbers):
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
  // The source position of destination frame j: its whole part and its
  // fraction (exact from the grids at whole rates).
  const auto at = [&job](int64_t j, int64_t* whole, double* fraction) {
    if (job.exact) {
      const int64_t num = (job.dstFirst + j) * job.srcRate;
      int64_t q = num / job.dstRate, r = num % job.dstRate;
      if (r < 0) --q, r += job.dstRate;
      *whole = q - job.srcOrigin;
      *fraction = static_cast<double>(r) / static_cast<double>(job.dstRate);
      return;
    }
    const long double pos = job.pos0 + j * job.step;
    const long double floor = std::floor(pos);
    *whole = static_cast<int64_t>(floor);
    *fraction = static_cast<double>(pos - floor);
  };
  for (int64_t j0 = 0; j0 < job.dstFrames; j0 += kBlock) {
    if (ErrorCode err = Poll(job.progress, j0, job.dstFrames)) return err;
    const int64_t j1 = std::min(job.dstFrames, j0 + kBlock);
    int64_t firstWhole = 0, lastWhole = 0;
    double unused = 0;
    at(j0, &firstWhole, &unused);
    at(j1 - 1, &lastWhole, &unused);
    const int64_t first = firstWhole - 1;
    const int64_t last = lastWhole + 2;
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
    if (!out.Resize(static_cast<size_t>((j1 - j0) * dc)))
      return kReport.OutOfMemory(site, kTextScratch, out.failedBytes());
    double* y = out.data();
    for (int64_t j = j0; j < j1; ++j) {
      int64_t whole = 0;
      double f = 0;
      at(j, &whole, &f);
      const double* p = x + (whole - first) * dc;
      for (int c = 0; c < dc; ++c, ++p) {
        if (f == 0.0)
          *y++ = p[0];
        else if (job.best)
          *y++ = Cubic(p[-dc], p[0], p[dc], p[2 * dc], f);
        else
          *y++ = p[0] + f * (p[dc] - p[0]);
      }
    }
    StoreNormalized(job.df, out.data(), job.dst + j0 * dfb, (j1 - j0) * dc, job.mix);
  }
  return 0;
}

}  // namespace tv::snd
