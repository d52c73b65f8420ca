// Shared inside the PF package: the arithmetic forms of the 8-bit tables,
// world checks, the one bad-argument report and the kernel choice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "M.h"
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
  kStrCount
};
extern const pkg::Reporter kReport;
inline const char* Text(int32_t index) { return kReport.Text(index); }

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
};
// Routine numbers for the bad-argument report (words of the callback block).
enum Routine : int32_t {
  kRtCompositeRect = 5, kRtBlend = 6, kRtFill = 9, kRtIterate = 11, kRtPremul = 12, kRtPremulColor = 13,
  kRtIterateOrigin = 17, kRtIterateLUT = 18, kRtTransferRect = 19, kRtGetCallbackAddr = 25,
  kRtColour = 47, kRtIterateNoClip = 58, kRtIterateIndexed = 59, kRtMatte = 62, kRtGuessAlpha = 63,
  kRtTransferFunc = 64,
};
// Reports 516 with the routine's number and what was wrong; returns 516.
ErrorCode BadParam(int32_t routine, const char* what);

// The reference switch.
bool UseReference();

// ---- The 8-bit tables as arithmetic ----------------------------------------------
// The arithmetic policy used by the fast kernels.
struct ArithOps {
  static constexpr uint32_t M(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
  }
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
// the package's own copy built from the same formulas, so a reference call
// never fails for want of tables.
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
// A world that can be read: data, width and height >= 0, row bytes >= 4 * width.
bool ValidWorld(const PFWorld* w);
inline uint8_t* Row(const PFWorld* w, int32_t y) {
  return reinterpret_cast<uint8_t*>(w->data) + static_cast<ptrdiff_t>(y) * w->rowBytes;
}

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

}  // namespace tv::pf
