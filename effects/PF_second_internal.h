// Internals of the package's copies, samplers, channel copies and planes,
// Gaussian kernels, convolution, fast blur and box-blur scans, coverage
// ("uno") buffers, wireframes and spot painting. The exported operations are
// declared in PF.h.
//
// Every routine checks its arguments and fails with 516 through the
// package's one bad-argument report naming the routine's number; pixels are
// read and written row by row with each world's own rowBytes, never beyond
// `width` pixels of a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Memory.h"
#include "PF_internal.h"

namespace tv::pf2 {

enum Site : uint32_t {
  kSiteCopy = 0x50,
  kSiteConvolve = 0x51,
  kSiteBlur = 0x52,
  kSiteUno = 0x53,
  kSiteDraw = 0x54,
};
inline LocationCode Loc(Site site) { return Location(PF_PackageNumber, site); }

// The package's bad-argument report (516, located at the routine's number).
inline ErrorCode BadArg(int32_t routine, const char* what) { return tv::pf::BadParam(routine, what); }
// Out of memory (4) with one of the package's texts.
inline ErrorCode OutOfMemory(Site site, int32_t text) {
  return tv::pf::kReport.Message(site, kSevError, kErrOutOfMemory, tv::pf::Text(text));
}
inline bool UseReference() { return tv::pf::UseReference(); }

// 8-bit multiply with rounding: equal to (a * b + 127) / 255 for a, b in 0..255.
constexpr uint32_t Mul8(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

// n / d for 0 <= n < 2^31 and d > 0 when the float estimate n * inverse
// (inverse = 1.0f / d) lies within 1 of the quotient: after truncation it is
// q - 1, q or q + 1, and the remainder puts it right. Callers show the bound.
inline int32_t Quotient(int32_t n, int32_t d, float inverse) {
  int32_t q = static_cast<int32_t>(static_cast<float>(n) * inverse);
  const int32_t r = n - q * d;
  q += static_cast<int32_t>(r >= d) - static_cast<int32_t>(r < 0);
  return q;
}

// A world's pixel rows.
inline uint8_t* Row(const PFWorld& w, int32_t y) {
  return reinterpret_cast<uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowBytes;
}
// A usable 32-bit world: data, positive size, rows wide enough.
inline bool ValidWorld(const PFWorld* w) {
  return w && w->data && w->width > 0 && w->height > 0 && w->rowBytes >= 4 * w->width;
}
inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
// The channel order of the World behind a PFWorld (ARGB when it has none).
int32_t ChannelOrder(const PFWorld& w);

// Scratch memory from the memory manager, freed at scope end; check ok().
template <typename T>
class Scratch : public ScratchArray<T> {
 public:
  explicit Scratch(size_t count) : ScratchArray<T>(count) {}
  T* get() const { return this->data(); }
};

// True when the pixel bytes of the two worlds overlap.
bool Overlap(const PFWorld& a, const PFWorld& b);

// Rectangle helpers: null means the whole world; a rectangle must lie inside its world.
bool ResolveRect(const PFWorld& w, const Rect* r, Rect* out);

// Samplers (no argument checks).
uint32_t SampleNN(const PFWorld& src, Fixed x, Fixed y);
void SampleRowRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                  PF_Pixel* out);
void SampleRowFast(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                   PF_Pixel* out);

// Box-blur kernels of the fast blur on a world; both allocate scratch memory
// and return 4 on failure (reported).
struct BlurPlan {
  int32_t passes = 0;
  int32_t halfWidth[3] = {0, 0, 0};
};
BlurPlan PlanBlur(double radius, int32_t quality);
ErrorCode BlurReference(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world);
ErrorCode BlurFast(const BlurPlan& plan, uint32_t flags, bool straight, PFWorld& world);
// The fast kernel's divisions: n / (2 half + 1) for half 1 to PF_MaxBlurRadius
// and n <= 65025 (2 half + 1) + half, and num / alpha for num < 2^24 and alpha 1 to 65025.
uint32_t BoxDivide(uint32_t n, uint32_t half);
uint32_t DivideByAlpha(uint32_t num, uint32_t alpha);

}  // namespace tv::pf2
