// Shared inside the PF package: the arithmetic forms of the 8-bit tables,
// the one world check, the reports, the kernel choice, and the internals of
// the copies, samplers, blurs, coverage buffers and the layer transform. The
// exported operations are declared in PF.h.
//
// Every routine checks its arguments and fails with 516 through the
// package's one bad-argument report naming the routine's number; pixels are
// read and written row by row with each world's own rowBytes, never beyond
// `width` pixels of a row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "M.h"
#include "Memory.h"
#include "PF.h"
#include "Package.h"
#include "Scratch.h"

// Hot kernels are built twice, for AVX2 and for the base instruction set;
// the loader picks the one the processor runs (both give the same bytes).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(TAVELO_SANITIZED)
#define TV_PF_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TV_PF_CLONES
#endif

namespace tv::pf {

inline constexpr LocationCode Loc(uint32_t site) { return tv::Location(PF_PackageNumber, site); }

// Indices into PFp_G_STRs.
enum StrIndex : int32_t {
  kStrBadParam = 0,        // "bad parameter to pixel routine %ld (%s)."
  kStrBadSelector,         // "no pixel routine for selector %ld."
  kStrBadMode,             // "unknown transfer mode %ld."
  kStrHandleData,          // "effect handle data"
  kStrNoTables,            // "the 8-bit colour tables are not available."
  kStrObsolete,            // "obsolete inquiry."
  kStrBadInquiry,          // "unknown platform inquiry %ld."
  kStrNoOverride,          // "the standard pixel routines cannot be overridden."
  kStrNoAppCallback,       // "no application callback is installed."
  kStrGaussKernel,         // "Couldn't allocate Gaussian kernel"
  kStrGaussTable,          // "Couldn't allocate Gaussian lookup table"
  kStrScratch,             // "Couldn't allocate scratch scanline"
  kStrChannels,            // "Can't copy different channel worlds."
  kStrUnknown,             // "unknown error (%ld)."
  kStrProjective,          // "projective layer transforms are not supported."
  kStrWireframe,           // "wireframe"
  kStrUnoBuffer,           // "uno buffer"
  kStrVerification,        // "Verification failure: %s {%ld}"
  kStrNotLocked,           // "PF_UnlockUnoBuffer: buffer not locked"
  kStrCount
};
extern const pkg::Reporter kReport;

// Report sites (low byte of the location). Bad arguments are reported at the
// site of the routine's number (its word of the callback block).
enum Site : uint32_t {
  kSiteBirth = 0x40,
  kSiteDeath = 0x41,
  kSiteSelector = 0x42,
  kSiteMode = 0x43,
  kSiteHandle = 0x44,
  kSiteTables = 0x45,
  kSiteOverride = 0x46,
  kSiteInquiry = 0x47,
  kSiteAppCallback = 0x48,
  kSiteCopy = 0x50,
  kSiteConvolve = 0x51,
  kSiteBlur = 0x52,
  kSiteUno = 0x53,
  kSiteDraw = 0x54,
};
// Routine numbers for the bad-argument report (words of the callback block).
enum Routine : int32_t {
  kRtCompositeRect = 5, kRtBlend = 6, kRtFill = 9, kRtIterate = 11, kRtPremul = 12, kRtPremulColor = 13,
  kRtIterateOrigin = 17, kRtIterateLUT = 18, kRtTransferRect = 19, kRtGetCallbackAddr = 25,
  kRtColour = 47, kRtIterateNoClip = 58, kRtIterateIndexed = 59, kRtMatte = 62, kRtGuessAlpha = 63,
  kRtTransferFunc = 64,
};
// Reports 516 (PF's own bad-argument code) at the routine's site with the
// routine's number and what was wrong; returns 516.
ErrorCode BadParam(int32_t routine, const char* what);

// The reference switch.
bool UseReference();

// ---- The 8-bit tables as arithmetic ----------------------------------------------
// The arithmetic policy used by the fast kernels: the math package's
// arithmetic forms of its multiply and divide tables.
using tv::m::Mul8;
struct ArithOps {
  static constexpr uint32_t M(uint32_t a, uint32_t b) { return tv::m::Mul8(a, b); }
  static constexpr uint32_t D(uint32_t a, uint32_t b) { return tv::m::Div8Fast(a, b); }
};
// The table policy used by the reference kernels: literal lookups in the
// math package's tables (prepared by a TableBracket).
struct TableOps {
  const uint8_t* mul;
  const uint8_t* div;
  uint32_t M(uint32_t a, uint32_t b) const { return mul[a * 256 + b]; }
  uint32_t D(uint32_t a, uint32_t b) const { return div[a * 256 + b]; }
};
// Brings the math package's tables in for one call. When they cannot be had
// (the service was not granted or memory is short) the bracket falls back to
// the package's own copy filled by the math package's table fill, so a
// reference call never fails for want of tables.
class TableBracket {
 public:
  TableBracket();
  ~TableBracket();
  TableBracket(const TableBracket&) = delete;
  TableBracket& operator=(const TableBracket&) = delete;
  TableOps ops() const { return ops_; }

 private:
  TableOps ops_{};
  bool prepared_ = false;
};

const PF_ColourTables& Tables();

// ---- Worlds -------------------------------------------------------------------------
// The one world check of every routine: data, width and height >= 0, row
// bytes >= 4 * width. A world of width or height 0 is valid and empty: the
// routines accept it and leave it as it is, as they do an empty rectangle;
// a sample of it is transparent.
inline bool ValidWorld(const PFWorld* w) {
  if (!w || !w->data || w->width < 0 || w->height < 0) return false;
  return static_cast<int64_t>(w->rowBytes) >= 4 * static_cast<int64_t>(w->width);
}
inline bool EmptyWorld(const PFWorld& w) { return w.width == 0 || w.height == 0; }
inline uint8_t* Row(const PFWorld* w, int32_t y) {
  return reinterpret_cast<uint8_t*>(w->data) + static_cast<ptrdiff_t>(y) * w->rowBytes;
}
inline uint8_t* Row(const PFWorld& w, int32_t y) { return Row(&w, y); }

// A clipped rectangle in pixel coordinates, half open.
struct Area {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

// Rows of a field: 1 skips odd rows, 2 even ones, anything else none.
inline bool RowSkipped(int32_t field, int32_t y) {
  if (field == 1) return (y & 1) != 0;
  if (field == 2) return (y & 1) == 0;
  return false;
}
// A scratch row buffer of at least one byte, inside the memory budget; check ok().
inline ScratchArray<uint8_t> ScratchBytes(size_t bytes) { return ScratchArray<uint8_t>(bytes ? bytes : 1); }
// The matte value of each destination pixel (x0 + i, y) of a row segment,
// into byte 0 of 4-byte entries (PF_MaskWorld; 0 outside the matte world).
void MaskRow(const PF_MaskWorld& mask, int32_t y, int32_t x0, int32_t n, uint8_t* out);

// Transfer rows: the reference and the fast form of a mode.
PF_TransferFunc ReferenceRow(int32_t mode);
PF_TransferFunc FastRow(int32_t mode);

// Straight <-> premultiplied rows (4 bytes per pixel, ARGB), used by the
// premultiplied compositing forms.
void PremulRow(uint8_t* p, int32_t count, bool forward);

// n / d for 0 <= n < 2^31 and d > 0 when the float estimate n * inverse
// (inverse = 1.0f / d) lies within 1 of the quotient: after truncation it is
// q - 1, q or q + 1, and the remainder puts it right. Callers show the bound.
inline int32_t Quotient(int32_t n, int32_t d, float inverse) {
  int32_t q = static_cast<int32_t>(static_cast<float>(n) * inverse);
  const int32_t r = n - q * d;
  q += static_cast<int32_t>(r >= d) - static_cast<int32_t>(r < 0);
  return q;
}

// The channel order of the World behind a PFWorld (ARGB when it has none).
int32_t ChannelOrder(const PFWorld& w);

// True when the pixel bytes of the two worlds overlap (never for an empty world).
bool Overlap(const PFWorld& a, const PFWorld& b);

// Rectangle helpers: null means the whole world; a rectangle must lie inside its world.
bool ResolveRect(const PFWorld& w, const Rect* r, Rect* out);

// ---- Samplers (no argument checks) ----------------------------------------------------
uint32_t SampleNN(const PFWorld& src, Fixed x, Fixed y);
void SampleRowRef(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                  PF_Pixel* out);
void SampleRowFast(int32_t kind, const PF_SampleParams& p, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                   PF_Pixel* out);

// ---- The fast blur ---------------------------------------------------------------------
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

// ---- The layer transform's row samplers ------------------------------------------------
// A literal reference and a fast fixed-point kernel that must give the same
// bytes, and the description of one destination row.
//
// Positions are 64-bit 16.16 values in source pixels whose integers are
// pixel centres: the destination pixel (X, Y), whose centre is (X + 0.5,
// Y + 0.5), maps through the inverse matrix to a source point (x, y) and is
// sampled at (x - 0.5, y - 0.5).
namespace xform {

enum class Sampler : int32_t { Nearest = 0, Subpixel = 1, Area = 2 };

// How one destination row is sampled: pixel i of the row (destination
// column x0 + i) is at (u + i du, v + i dv) under the first matrix and, with
// motion blur, at (uL + i duL, vL + i dvL) under the last one.
struct RowSampling {
  const PFWorld* src = nullptr;
  Sampler sampler = Sampler::Nearest;
  int64_t u = 0, v = 0, du = 0, dv = 0;
  bool blur = false;
  int64_t uL = 0, vL = 0, duL = 0, dvL = 0;
  int64_t rx = 0, ry = 0;  // area sampler half-extents (16.16, at least 0.5 pixel)
};

// One sample (ARGB bytes in memory order packed in a uint32_t the way
// memcpy loads them), by the literal rules: positions outside the source
// read as transparent.
uint32_t SampleReference(const PFWorld& src, Sampler sampler, int64_t u, int64_t v, int64_t rx, int64_t ry);
// count samples of a row into out.
void SampleRowReference(const RowSampling& r, int32_t count, uint32_t* out);
void SampleRowFast(const RowSampling& r, int32_t count, uint32_t* out);

// The motion-blur sample positions of one pixel: 16 samples from the
// position under the first matrix towards the position under the last,
// k = 0 .. 15, each k times one sixteenth (rounded down) of the difference.
constexpr int32_t kBlurSamples = 16;
inline int64_t BlurStep(int64_t first, int64_t last) { return (last - first) >> 4; }
// Sub-pixel motion blur of pixels first .. first + count - 1 of a row with
// AVX2: false (nothing done) without it or for a source beyond its offsets;
// otherwise out[i] is pixel first + i, except where redo[i] is set (a pixel
// with a sample partly outside the source or of partial alpha: the caller
// samples those).
bool BlurTurningWide(const RowSampling& r, int32_t first, int32_t count, uint32_t* out, uint8_t* redo);
// Whether the AVX2 sampler is used where the processor has it (on unless a
// test turns it off to check the plain path on the same machine).
void UseWideBlur(bool on);

}  // namespace xform

}  // namespace tv::pf
