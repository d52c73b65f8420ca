// Fast blur: box passes of running sums, so that the cost per pixel does
// not depend on the radius. Quality 0 runs one box per direction; better
// qualities run three boxes per direction whose widths give the variance of
// a Gaussian (the classic three-box approximation).
//
// The passes work on 16-bit values: premultiplied pixels as v * 255, straight
// pixels as alpha * 255 and alpha * colour (so colours are weighted by alpha
// without rounding). One pass of half width b replaces every value by the
// sum of the 2b + 1 values around it, plus b, divided by 2b + 1 (integer
// division). The vertical passes come first, then the horizontal ones. The
// end value is (v + 127) / 255 for premultiplied pixels; straight pixels take
// alpha (A + 127) / 255 and colours (C * 255 + A / 2) / A, limited to 255,
// and a pixel whose alpha ends at 0 becomes all zero.
//
// The passes blur the picture together with its surround: transparent, or
// with PF_Blur_RepeatEdges the edge pixels repeated without end. So each
// pass works on the line extended by what the passes before it spread past
// its ends, and the result equals the boxes applied to the extended picture
// at every pixel. (Cutting each pass's values at the edges instead would
// throw away, at every pass, what the pass before spread outwards: three
// boxes would darken the edges of an opaque picture far more than one box
// of the same radius does, and shift a lone bright edge pixel.) Far enough
// from the picture every pass's value is the surround's own (0, or the edge
// pixel: a box of equal values gives that value back), so only the lines
// within the passes' reach are computed: at most the sum of the half widths
// beyond each end, which costs about as much as starting the running sums.
//
// BlurReference sums every window literally, on every line extended by the
// sum of the half widths. BlurFast works on strips of 16 pixels that stay in
// the cache: a strip of columns runs every vertical pass with one running
// sum per value, is stored transposed, and strips of rows of the transposed
// picture then run the horizontal passes the same way and go back to the
// world. It divides with a multiply and shift that is exact for every sum
// the passes can produce. The tests hold the two equal.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <vector>

#include "PF_internal.h"
#include "RowBands.h"

using namespace tv;
using namespace tv::pf;

// The running sums and divisions are bound by arithmetic, not memory: they
// are built for processors with 512-bit vectors (x86-64-v4), with 256-bit
// ones (AVX2) and without, and the loader picks the widest.
#define TV_BLUR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))

namespace tv::pf {
namespace {

constexpr uint32_t kOne = 255;  // the 16-bit value of a full 8-bit channel is v * 255
constexpr int32_t kStripPixels = 16;
constexpr size_t kLanes = 4 * kStripPixels;
constexpr int32_t kChunk = 32;  // pixels moved between a strip and the rows at a time
static_assert(kStripPixels <= kChunk);

// Division by d = 2b + 1 (odd, 3 to 4001) of n = sum + b < 2^31 without
// 64-bit products: a single-precision estimate of n / d is off by less than
// 0.02 (n / d <= 65026, and n converts exactly below 2^24 and to within
// n 2^-24 above), so after truncation it is q - 1, q or q + 1; the remainder
// n - q d puts it right.
struct Divider {
  uint32_t b;
  int32_t d;
  float inverse;
  explicit Divider(uint32_t half)
      : b(half), d(static_cast<int32_t>(2 * half + 1)), inverse(1.0f / static_cast<float>(2 * half + 1)) {}
};

// n / d for the box sums: the quotient (at most 65025) and its estimate
// (within one of it) fit 16 bits, and the estimate's remainder lies in
// (-d, 2d), well inside 16 signed bits, so the correction runs in 16-bit
// arithmetic modulo 2^16 (narrower vectors than Quotient's).
inline uint16_t BoxQuotient(uint32_t n, float inverse, uint16_t d) {
  const uint16_t q = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(n)) * inverse));
  const int16_t r = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(n) - static_cast<uint16_t>(q * d)));
  return static_cast<uint16_t>(q + static_cast<uint16_t>(r >= static_cast<int16_t>(d)) - static_cast<uint16_t>(r < 0));
}

// The 16-bit working values of n pixels.
template <bool kStraight>
inline void ToWork(const uint8_t* p, int32_t n, uint16_t* o) {
  for (int32_t i = 0; i < n; ++i, p += 4, o += 4) {
    if constexpr (kStraight) {
      o[0] = static_cast<uint16_t>(p[0] * kOne);
      o[1] = static_cast<uint16_t>(p[0] * p[1]);
      o[2] = static_cast<uint16_t>(p[0] * p[2]);
      o[3] = static_cast<uint16_t>(p[0] * p[3]);
    } else {
      for (int c = 0; c < 4; ++c) o[c] = static_cast<uint16_t>(p[c] * kOne);
    }
  }
}
inline void ToWork(const uint8_t* p, int32_t n, bool straight, uint16_t* o) {
  straight ? ToWork<true>(p, n, o) : ToWork<false>(p, n, o);
}

// The end values of n pixels. A straight colour is num / A with
// num = C * 255 + A / 2 < 2^24 (so num converts to float exactly); the
// estimate through the float reciprocal of A is within 2 / A of the
// quotient (exact for A = 1 and 2), so Quotient's one correction makes it exact.
template <bool kStraight>
inline void FromWork(const uint16_t* v, int32_t n, uint8_t* p) {
  for (int32_t i = 0; i < n; ++i, p += 4, v += 4) {
    if constexpr (kStraight) {
      const int32_t A = v[0];
      const int32_t alpha = (A + 127) / static_cast<int32_t>(kOne);
      if (alpha == 0) {
        std::memset(p, 0, 4);
        continue;
      }
      const float inverse = 1.0f / static_cast<float>(A);
      p[0] = static_cast<uint8_t>(alpha);
      for (int c = 1; c < 4; ++c)
        p[c] = static_cast<uint8_t>(std::min<int32_t>(255, Quotient(v[c] * static_cast<int32_t>(kOne) + A / 2, A, inverse)));
    } else {
      for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>((v[c] + 127u) / kOne);
    }
  }
}

// The end values of up to kChunk pixels whose working values lie `stride`
// values apart (4 in a row, kLanes down a strip), through arrays of one
// channel each so that the straight division runs in vectors.
template <bool kStraight>
[[gnu::always_inline]] inline void FromWorkChunk(const uint16_t* v, size_t stride, int32_t count, uint8_t* p) {
  if constexpr (!kStraight) {
    if (stride == 4) {  // a run of a row: straight through
      for (int32_t k = 0; k < 4 * count; ++k) p[k] = static_cast<uint8_t>(((v[k] + 127u) * 0x8081u) >> 23);
      return;
    }
    uint32_t value[4 * kChunk];
    uint8_t out[4 * kChunk];
    for (int32_t i = 0; i < count; ++i)
      for (int c = 0; c < 4; ++c) value[4 * i + c] = v[i * stride + c];
    for (int32_t k = 0; k < 4 * count; ++k) out[k] = static_cast<uint8_t>(((value[k] + 127) * 0x8081) >> 23);
    std::memcpy(p, out, 4 * size_t(count));
  } else {
    int32_t value[4][kChunk];
    uint8_t out[4][kChunk];
    for (int32_t i = 0; i < count; ++i)
      for (int c = 0; c < 4; ++c) value[c][i] = v[i * stride + c];
    for (int32_t i = 0; i < count; ++i) {
      const int32_t A = value[0][i];
      const int32_t alpha = ((A + 127) * 0x8081) >> 23;  // (A + 127) / 255 for A <= 65025
      const int32_t d = A | static_cast<int32_t>(A == 0);  // A = 0 gives alpha 0: the pixel is cleared below
      const float inverse = 1.0f / static_cast<float>(d);
      const int32_t half = A >> 1;
      const int32_t keep = -static_cast<int32_t>(alpha != 0);  // masks rather than branches
      auto colour = [&](int32_t C) {
        int32_t q = Quotient(C * static_cast<int32_t>(kOne) + half, d, inverse);
        q = q < 255 ? q : 255;
        return static_cast<uint8_t>(q & keep);
      };
      out[0][i] = static_cast<uint8_t>(alpha);
      out[1][i] = colour(value[1][i]);
      out[2][i] = colour(value[2][i]);
      out[3][i] = colour(value[3][i]);
    }
    for (int32_t i = 0; i < count; ++i)
      for (int c = 0; c < 4; ++c) p[4 * i + c] = out[c][i];
  }
}

// The straight end values, built like RunPasses: their divisions run in the
// widest vectors the processor has.
TV_BLUR_CLONES void StoreStraight(const uint16_t* v, size_t stride, int32_t count, uint8_t* p) {
  FromWorkChunk<true>(v, stride, count, p);
}
template <bool kStraight>
inline void Store(const uint16_t* v, size_t stride, int32_t count, uint8_t* p) {
  if constexpr (kStraight)
    StoreStraight(v, stride, count, p);
  else
    FromWorkChunk<false>(v, stride, count, p);
}

void Load(const PFWorld& world, bool straight, uint16_t* out) {
  for (int32_t y = 0; y < world.height; ++y) {
    const uint8_t* p = Row(world, y);
    uint16_t* o = out + size_t(y) * world.width * 4;
    ToWork(p, world.width, straight, o);
  }
}

// The reference's end values, by plain integer division.
void StoreLiteral(const uint16_t* in, bool straight, PFWorld& world) {
  for (int32_t y = 0; y < world.height; ++y) {
    uint8_t* p = Row(world, y);
    const uint16_t* v = in + size_t(y) * world.width * 4;
    for (int32_t x = 0; x < world.width; ++x, p += 4, v += 4) {
      if (!straight) {
        for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>((v[c] + 127) / kOne);
        continue;
      }
      const uint32_t A = v[0];
      const uint32_t alpha = (A + 127) / kOne;
      if (alpha == 0) {
        std::memset(p, 0, 4);
        continue;
      }
      p[0] = static_cast<uint8_t>(alpha);
      for (int c = 1; c < 4; ++c) p[c] = static_cast<uint8_t>(std::min<uint32_t>(255, (v[c] * kOne + A / 2) / A));
    }
  }
}

bool Horizontal(uint32_t flags) { return (flags & (PF_Blur_Horizontal | PF_Blur_Vertical)) != PF_Blur_Vertical; }
bool Vertical(uint32_t flags) { return (flags & (PF_Blur_Horizontal | PF_Blur_Vertical)) != PF_Blur_Horizontal; }

// How far beyond the picture's ends the passes reach together.
int32_t Reach(const BlurPlan& plan) {
  int32_t reach = 0;
  for (int32_t p = 0; p < plan.passes; ++p) reach += plan.halfWidth[p];
  return reach;
}

// ---- Reference ---------------------------------------------------------------------------

// One box pass over a whole line of n pixels (4 values each); values beyond
// the line's ends are 0, or with repeat the end pixels.
void PassRef(const uint16_t* in, uint16_t* out, int32_t n, int32_t b, bool repeat) {
  const uint32_t d = 2 * uint32_t(b) + 1;
  for (int32_t i = 0; i < n; ++i)
    for (int c = 0; c < 4; ++c) {
      uint32_t sum = 0;
      for (int32_t k = i - b; k <= i + b; ++k) {
        int32_t j = k;
        if (repeat) {
          j = std::clamp(j, 0, n - 1);
        } else if (j < 0 || j >= n) {
          continue;
        }
        sum += in[size_t(j) * 4 + c];
      }
      out[size_t(i) * 4 + c] = static_cast<uint16_t>((sum + uint32_t(b)) / d);
    }
}

// ---- Fast ---------------------------------------------------------------------------------

// The buffers of one strip: lines of kLanes values. The work buffers hold
// line t of a pass (t from -reach to length - 1 + reach, reach the half
// widths together) at index t + reach, so that a strip uses two of them:
// each pass reads the one the pass before wrote.
struct StripBuffers {
  const uint16_t* source;  // line 0 of the strip: in work[0] (at index reach), or elsewhere
  uint16_t* work[2];
  uint16_t* edges;       // 2 kLanes: the strip's first and last lines, kept for repeated edges
  uint32_t* sums;
  const uint16_t* zero;  // kLanes zeros: the lines beyond transparent edges
};

// Runs the passes along the lines of the strip at s.source (lanes values
// each); returns line 0 of the result's `length` lines. Built three times
// (TV_BLUR_CLONES); all give the same bytes.
//
// The values of each pass are kept for lines lo .. hi (lo <= 0 and
// hi >= length - 1), and every line beyond them is the surround's: s.zero,
// or with repeated edges the strip's first or last line. A pass computes the
// lines that the passes after it still read (up to their half widths
// together beyond the strip's ends), but none whose window lies wholly in
// the surround: those are the surround's own values again.
TV_BLUR_CLONES const uint16_t* RunPasses(const StripBuffers& s, int32_t length, size_t lanes, const BlurPlan& plan,
                                         bool repeat) {
  const int32_t reachAll = Reach(plan);
  const uint16_t* before = s.zero;
  const uint16_t* after = s.zero;
  if (repeat) {  // the source's lines may be overwritten by a later pass
    std::copy_n(s.source, lanes, s.edges);
    std::copy_n(s.source + ptrdiff_t(length - 1) * ptrdiff_t(kLanes), lanes, s.edges + kLanes);
    before = s.edges;
    after = s.edges + kLanes;
  }
  const uint16_t* in = s.source;  // line 0 of the values the pass reads
  int current = s.source == s.work[0] + ptrdiff_t(reachAll) * ptrdiff_t(kLanes) ? 0 : -1;
  int32_t lo = 0, hi = length - 1;
  int32_t reach = reachAll;
  uint32_t* sums = s.sums;
  for (int32_t p = 0; p < plan.passes; ++p) {
    const int32_t b = plan.halfWidth[p];
    if (b == 0) continue;
    reach -= b;  // what the later passes read beyond the ends
    const int32_t first = std::max(-reach, lo - b), last = std::min(length - 1 + reach, hi + b);
    current = current == 0 ? 1 : 0;
    uint16_t* out = s.work[current] + ptrdiff_t(reachAll) * ptrdiff_t(kLanes);  // line 0
    const Divider div(static_cast<uint32_t>(b));
    const uint32_t bias = div.b;
    const float inverse = div.inverse;
    const uint16_t d16 = static_cast<uint16_t>(div.d);
    auto line = [&](int32_t t) -> const uint16_t* {
      return t < lo ? before : t > hi ? after : in + ptrdiff_t(t) * ptrdiff_t(kLanes);
    };
    std::fill(sums, sums + lanes, bias);  // the rounding half rides along in every sum
    for (int32_t k = first - b; k < first + b; ++k) {
      const uint16_t* r = line(k);
      for (size_t i = 0; i < lanes; ++i) sums[i] += r[i];
    }
    for (int32_t t = first; t <= last; ++t) {
      const uint16_t* add = line(t + b);
      const uint16_t* sub = line(t - b);
      uint16_t* o = out + ptrdiff_t(t) * ptrdiff_t(kLanes);
      for (size_t i = 0; i < lanes; ++i) {
        const uint32_t sum = sums[i] + add[i];
        o[i] = BoxQuotient(sum, inverse, d16);
        sums[i] = sum - sub[i];
      }
    }
    in = out;
    lo = first;
    hi = last;
  }
  return in;  // the last pass kept lines 0 .. length - 1
}

}  // namespace

uint32_t BoxDivide(uint32_t n, uint32_t half) {
  const Divider div(half);
  return BoxQuotient(n, div.inverse, static_cast<uint16_t>(div.d));
}
uint32_t DivideByAlpha(uint32_t num, uint32_t alpha) {
  return static_cast<uint32_t>(
      Quotient(static_cast<int32_t>(num), static_cast<int32_t>(alpha), 1.0f / static_cast<float>(alpha)));
}

BlurPlan PlanBlur(double radius, int32_t quality) {
  BlurPlan plan;
  if (quality == 0) {
    plan.passes = 1;
    plan.halfWidth[0] = static_cast<int32_t>(std::floor(radius + 0.5));
    return plan;
  }
  // Three boxes whose variances add up to that of the single box of the same
  // radius, R (R + 1) / 3: n1 boxes of width wl and 3 - n1 of width wl + 2.
  const double variance = radius * (radius + 1.0) / 3.0;
  int32_t wl = static_cast<int32_t>(std::floor(std::sqrt(4.0 * variance + 1.0)));
  if (wl % 2 == 0) --wl;
  const double ideal = (12.0 * variance - 3.0 * wl * wl - 12.0 * wl - 9.0) / (-4.0 * wl - 4.0);
  const int32_t smaller = std::clamp(static_cast<int32_t>(std::lround(ideal)), 0, 3);
  plan.passes = 3;
  for (int i = 0; i < 3; ++i) plan.halfWidth[i] = ((i < smaller ? wl : wl + 2) - 1) / 2;
  return plan;
}

ErrorCode BlurReference(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world) {
  const int32_t w = world.width, h = world.height;
  const int32_t reach = Reach(plan);
  const size_t longest = size_t(std::max(w, h)) + 2 * size_t(reach);
  ScratchArray<uint16_t> picture(size_t(w) * h * 4), ping(longest * 4), pong(longest * 4);
  if (!picture.ok() || !ping.ok() || !pong.ok()) return kReport.Fail(kSiteBlur, kErrOutOfMemory, kStrScratch);
  const bool repeat = (flags & PF_Blur_RepeatEdges) != 0;
  Load(world, straight, picture.data());
  for (int dir = 0; dir < 2; ++dir) {
    const bool vertical = dir == 0;
    if (vertical ? !Vertical(flags) : !Horizontal(flags)) continue;
    const int32_t n = vertical ? h : w, lines = vertical ? w : h;
    const size_t along = vertical ? size_t(w) * 4 : 4;  // values from one pixel of a line to the next
    const size_t across = vertical ? 4 : size_t(w) * 4;  // from one line to the next
    const int32_t extended = n + 2 * reach;
    for (int32_t l = 0; l < lines; ++l) {
      uint16_t* line = picture.data() + size_t(l) * across;
      // The line with `reach` pixels of its surround at each end. Beyond
      // those every pass's values are the surround's own, which is what
      // PassRef takes beyond the ends of what it is given.
      uint16_t* cur = ping.data();
      uint16_t* next = pong.data();
      for (int32_t i = 0; i < extended; ++i) {
        const int32_t j = i - reach;
        const int32_t from = repeat ? std::clamp(j, 0, n - 1) : j;
        for (int c = 0; c < 4; ++c)
          cur[size_t(i) * 4 + c] = from >= 0 && from < n ? line[size_t(from) * along + c] : uint16_t{0};
      }
      for (int32_t p = 0; p < plan.passes; ++p) {
        if (plan.halfWidth[p] == 0) continue;
        PassRef(cur, next, extended, plan.halfWidth[p], repeat);
        std::swap(cur, next);
      }
      for (int32_t j = 0; j < n; ++j)
        for (int c = 0; c < 4; ++c) line[size_t(j) * along + c] = cur[size_t(j + reach) * 4 + c];
    }
  }
  StoreLiteral(picture.data(), straight, world);
  return 0;
}

namespace {

// One band's working memory: a strip's passes and its edges.
struct BandScratch {
  ScratchArray<uint16_t> work0, work1, edges, zero;
  ScratchArray<uint32_t> sums;
  bool Make(size_t room) {
    return work0.Allocate(room) && work1.Allocate(room) && edges.Allocate(2 * kLanes) && zero.Allocate(kLanes, true) &&
           sums.Allocate(kLanes);
  }
};

// Strips are independent of each other: those of each direction are shared
// among the row threads (PFp_SetRowThreads), each band of strips with its
// own working memory made beforehand, and the bytes are those of one thread.
// The vertical strips all end before the horizontal ones start.
template <bool kStraight>
ErrorCode BlurFastOf(const BlurPlan& plan, uint32_t flags, PFWorld& world) {
  const int32_t w = world.width, h = world.height;
  const bool down = Vertical(flags), across = Horizontal(flags);
  const size_t longest = size_t(std::max(w, h));
  const size_t blocks = (size_t(h) + kStripPixels - 1) / kStripPixels;
  const size_t blockSize = size_t(w) * kLanes;
  ScratchArray<uint16_t> between(down && across ? blocks * blockSize : 0);
  const int32_t reach = Reach(plan);
  const size_t room = (longest + 2 * size_t(reach)) * kLanes;
  const int32_t columnStrips = (w + kStripPixels - 1) / kStripPixels, rowStrips = (h + kStripPixels - 1) / kStripPixels;
  const int32_t threads = PFp_GetRowThreads();
  const int32_t bands = std::max(platform::RowBandCount(down ? columnStrips : 0, threads, 2),
                                 platform::RowBandCount(across ? rowStrips : 0, threads, 2));
  std::vector<BandScratch> scratch(static_cast<size_t>(bands));
  bool ok = between.ok();
  for (BandScratch& b : scratch) ok = ok && b.Make(room);
  if (!ok) return kReport.Fail(kSiteBlur, kErrOutOfMemory, kStrScratch);
  const bool repeat = (flags & PF_Blur_RepeatEdges) != 0;
  auto stripOf = [&](int32_t band, const uint16_t* source) {
    BandScratch& b = scratch[static_cast<size_t>(band)];
    return StripBuffers{source, {b.work0.data(), b.work1.data()}, b.edges.data(), b.sums.data(), b.zero.data()};
  };
  // A strip's line 0 in the band's first work array.
  auto sourceOf = [&](int32_t band) { return scratch[static_cast<size_t>(band)].work0.data() + size_t(reach) * kLanes; };

  auto columns = [&](int32_t band, int32_t first, int32_t end) {
    uint16_t* const source = sourceOf(band);
    const StripBuffers strip = stripOf(band, source);
    for (int32_t x0 = first * kStripPixels; x0 < std::min(w, end * kStripPixels); x0 += kStripPixels) {
      const int32_t n = std::min(kStripPixels, w - x0);
      for (int32_t y = 0; y < h; ++y) ToWork<kStraight>(Row(world, y) + 4 * size_t(x0), n, source + size_t(y) * kLanes);
      const uint16_t* r = RunPasses(strip, h, 4 * size_t(n), plan, repeat);
      for (int32_t y = 0; y < h; ++y) {
        const uint16_t* v = r + size_t(y) * kLanes;
        if (across) {
          uint16_t* block = between.data() + size_t(y / kStripPixels) * blockSize + 4 * size_t(y % kStripPixels);
          for (int32_t i = 0; i < n; ++i) std::memcpy(block + size_t(x0 + i) * kLanes, v + 4 * i, 8);
        } else {
          Store<kStraight>(v, 4, n, Row(world, y) + 4 * size_t(x0));
        }
      }
    }
  };
  auto rows = [&](int32_t band, int32_t first, int32_t end) {
    uint16_t* const source = sourceOf(band);
    for (int32_t y0 = first * kStripPixels; y0 < std::min(h, end * kStripPixels); y0 += kStripPixels) {
      const int32_t n = std::min(kStripPixels, h - y0);
      StripBuffers strip = stripOf(band, source);
      if (down) {
        strip.source = between.data() + size_t(y0 / kStripPixels) * blockSize;
      } else {
        for (int32_t xc = 0; xc < w; xc += kChunk) {
          const int32_t xe = std::min(w, xc + kChunk);
          for (int32_t j = 0; j < n; ++j) {
            const uint8_t* p = Row(world, y0 + j);
            for (int32_t x = xc; x < xe; ++x) ToWork<kStraight>(p + 4 * size_t(x), 1, source + size_t(x) * kLanes + 4 * j);
          }
        }
      }
      const uint16_t* r = RunPasses(strip, w, 4 * size_t(n), plan, repeat);
      for (int32_t xc = 0; xc < w; xc += kChunk) {
        const int32_t xe = std::min(w, xc + kChunk);
        for (int32_t j = 0; j < n; ++j) {
          uint8_t* p = Row(world, y0 + j);
          Store<kStraight>(r + size_t(xc) * kLanes + 4 * j, kLanes, xe - xc, p + 4 * size_t(xc));
        }
      }
    }
  };
  if (down)
    platform::ForRowBands(0, columnStrips, std::min(bands, platform::RowBandCount(columnStrips, threads, 2)), columns);
  if (across)
    platform::ForRowBands(0, rowStrips, std::min(bands, platform::RowBandCount(rowStrips, threads, 2)), rows);
  return 0;
}

}  // namespace

ErrorCode BlurFast(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world) {
  return straight ? BlurFastOf<true>(plan, flags, world) : BlurFastOf<false>(plan, flags, world);
}

}  // namespace tv::pf

namespace {

ErrorCode FastBlur(double radius, uint32_t flags, int32_t quality, PFWorld* world, bool straight) {
  constexpr int32_t kRt = PF_Routine_FastBlur;
  if (!ValidWorld(world)) return BadParam(kRt, "bad world");
  // A negative radius, or one that is not a number, is refused; so is one
  // beyond the largest supported (whose sums could overflow).
  if (!(radius >= 0.0) || radius > static_cast<double>(PF_MaxBlurRadius)) return BadParam(kRt, "bad radius");
  if ((flags & ~uint32_t{PF_Blur_Horizontal | PF_Blur_Vertical | PF_Blur_RepeatEdges}) != 0)
    return BadParam(kRt, "unknown flags");
  const BlurPlan plan = PlanBlur(radius, quality);
  bool identity = true;
  for (int32_t p = 0; p < plan.passes; ++p) identity = identity && plan.halfWidth[p] == 0;
  if (identity || EmptyWorld(*world)) return 0;
  return UseReference() ? BlurReference(plan, flags, straight, *world) : BlurFast(plan, flags, straight, *world);
}

// Running box sum over one scan of bytes.
void BoxScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius, uint8_t* dst, int32_t dstStride) {
  const uint32_t d = 2 * uint32_t(radius) + 1;
  uint32_t sum = 0;
  for (int32_t k = 0; k < radius && k < count; ++k) sum += src[size_t(k) * srcStride];
  for (int32_t i = 0; i < count; ++i) {
    if (i + radius < count) sum += src[size_t(i + radius) * srcStride];
    dst[size_t(i) * dstStride] = static_cast<uint8_t>((sum + uint32_t(radius)) / d);
    if (i - radius >= 0) sum -= src[size_t(i - radius) * srcStride];
  }
}

bool ScanArgs(const uint8_t* src, int32_t srcStride, int32_t count, const uint8_t* dst, int32_t dstStride) {
  return src && dst && count >= 0 && srcStride >= 1 && dstStride >= 1;
}

// In-place scans read from a copy of the scan.
bool Aliased(const uint8_t* src, int32_t srcStride, int32_t count, const uint8_t* dst, int32_t dstStride) {
  if (count == 0) return false;
  const uint8_t* srcEnd = src + size_t(count - 1) * srcStride + 1;
  const uint8_t* dstEnd = dst + size_t(count - 1) * dstStride + 1;
  return src < dstEnd && dst < srcEnd;
}

}  // namespace

ErrorCode PF_FastBlur_Straight(void* /*ref*/, double radius, uint32_t flags, int32_t quality, PFWorld* world) {
  return FastBlur(radius, flags, quality, world, true);
}
ErrorCode PF_FastBlur_Premul(void* /*ref*/, double radius, uint32_t flags, int32_t quality, PFWorld* world) {
  return FastBlur(radius, flags, quality, world, false);
}

ErrorCode PF_FastBlurReach(double radius, int32_t quality, int32_t* reach) {
  if (reach) *reach = 0;
  if (!reach || !(radius >= 0.0) || radius > static_cast<double>(PF_MaxBlurRadius))
    return BadParam(PF_Routine_FastBlur, "bad radius");
  *reach = Reach(PlanBlur(radius, quality));
  return 0;
}

ErrorCode PF_BoxBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius, uint8_t* dst,
                            int32_t dstStride) {
  constexpr int32_t kRt = PF_Routine_BoxBlurUnoScan;
  if (!ScanArgs(src, srcStride, count, dst, dstStride)) return BadParam(kRt, "bad scan");
  if (radius < 0 || radius > PF_MaxBlurRadius) return BadParam(kRt, "bad radius");
  if (radius == 0 && src == dst && srcStride == dstStride) return 0;
  if (!Aliased(src, srcStride, count, dst, dstStride)) {
    BoxScan(src, srcStride, count, radius, dst, dstStride);
    return 0;
  }
  ScratchArray<uint8_t> copy(static_cast<size_t>(count));
  if (!copy.ok()) return kReport.Fail(kSiteBlur, kErrOutOfMemory, kStrScratch);
  for (int32_t i = 0; i < count; ++i) copy[i] = src[size_t(i) * srcStride];
  BoxScan(copy.data(), 1, count, radius, dst, dstStride);
  return 0;
}

ErrorCode PF_GBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, double radius, uint8_t* dst,
                          int32_t dstStride) {
  constexpr int32_t kRt = PF_Routine_GBlurUnoScan;
  if (!ScanArgs(src, srcStride, count, dst, dstStride)) return BadParam(kRt, "bad scan");
  if (!(radius >= 0.0) || radius > static_cast<double>(PF_MaxKernelRadius)) return BadParam(kRt, "bad radius");
  const int32_t r = static_cast<int32_t>(std::ceil(radius));
  ScratchArray<int32_t> kernel(2 * size_t(r) + 1);
  if (!kernel.ok()) return kReport.Fail(kSiteBlur, kErrOutOfMemory, kStrGaussKernel);
  ScratchArray<uint8_t> copy(static_cast<size_t>(count));
  if (!copy.ok()) return kReport.Fail(kSiteBlur, kErrOutOfMemory, kStrScratch);
  int32_t diameter = 0;
  if (ErrorCode err = PF_GaussianKernel(nullptr, radius, PF_Kernel_1D, 1.0, &diameter, kernel.data())) return err;
  int64_t total = 0;
  for (int32_t k = 0; k < diameter; ++k) total += kernel[k];
  for (int32_t i = 0; i < count; ++i) copy[i] = src[size_t(i) * srcStride];
  for (int32_t i = 0; i < count; ++i) {
    int64_t sum = 0;
    for (int32_t k = std::max(0, r - i); k < diameter && i + k - r < count; ++k) sum += int64_t{kernel[k]} * copy[i + k - r];
    dst[size_t(i) * dstStride] = static_cast<uint8_t>(std::min<int64_t>(255, (sum + total / 2) / total));
  }
  return 0;
}
