// Pixel routines of the effect host on PFWorlds: scaled world copies,
// samplers, channel copies and planes, Gaussian kernels, convolution, fast
// blur and the box-blur scans, single-channel ("uno") coverage buffers,
// wireframes and spot painting.
//
// Pixels are 8 bits per channel, byte 0 alpha, then red, green, blue; rows are
// each world's own rowBytes apart and only `width` pixels of a row are ever
// read or written. Every routine checks its arguments and fails with 516 (bad
// argument) through one report naming the routine's number.
//
// Positions given to the samplers are 16.16 Fixed in pixel units; an integral
// position is the centre of a pixel, so (x, y) = (3 << 16, 5 << 16) is pixel
// (3, 5). Pixels outside the source world read as transparent (all zero).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "Memory.h"
#include "PF_internal.h"

// ---- Shared records -----------------------------------------------------------------
// PF_Pixel and PF_SampleParams come from PF.h. PF_SampleParams.edgeMode 0
// reads pixels outside the source as transparent; 1 repeats the edge pixels.
enum : int32_t { PF_Edge_Transparent = 0, PF_Edge_Repeat = 1 };

// Sampler kinds of PFp_SampleRow.
enum : int32_t {
  PF_Sample_NN = 0,
  PF_Sample_Subpixel_Straight = 1,
  PF_Sample_Subpixel_Premul = 2,
  PF_Sample_Area_Straight = 3,
  PF_Sample_Area_Premul = 4,
};

// Channel numbers (logical, whatever the world's channel order).
enum : int32_t { PF_Channel_Alpha = 0, PF_Channel_Red = 1, PF_Channel_Green = 2, PF_Channel_Blue = 3 };

// Four separate one-byte planes (alpha, red, green, blue) of a world's size;
// a null plane is skipped.
typedef struct PF_Planes {
  uint8_t* plane[4];
  int32_t rowBytes[4];
} PF_Planes;

// PF_GaussianKernel flags.
enum : int32_t {
  PF_Kernel_1D = 1,         // one row of 2r + 1 values instead of a square
  PF_Kernel_Normalize = 2,  // scale so that the values average 255
};
// PF_Convolve flags.
enum : int32_t {
  PF_Convolve_1D = 1,  // the kernels are one row, applied across then down
  PF_Convolve_RepeatEdges = 8,
};
// Fast blur flags; with neither direction bit both directions are blurred.
enum : uint32_t {
  PF_Blur_Horizontal = 1,
  PF_Blur_Vertical = 2,
  PF_Blur_RepeatEdges = 4,  // pixels beyond the edge repeat the edge instead of being transparent
};
// The largest radius the kernel, convolution and blur routines accept.
enum : int32_t { PF_MaxKernelRadius = 1023, PF_MaxBlurRadius = 2000 };

// Calls `abort` (when set) before long passes; its non-zero result stops the pass.
typedef struct PF_AbortRecord {
  void* refcon;
  ErrorCode (*abort)(void* refcon);
} PF_AbortRecord;

// A single-channel coverage buffer: a handle to a record with the magic
// 0xFEEDABBA, width, height, a lock count and the pixel handle (width x
// height bytes, rows packed with no gap).
typedef Handle PF_UnoBuffer;
enum : uint32_t { PF_UnoMagic = 0xFEEDABBA };

// PF_AccumulateUnoBuffers modes (any other value adds).
enum : int32_t {
  PF_UnoMode_Add = 1,
  PF_UnoMode_Subtract = 2,
  PF_UnoMode_Intersect = 3,
  PF_UnoMode_Lighten = 4,
  PF_UnoMode_Darken = 5,
  PF_UnoMode_Difference = 6,
};

// A closed polygon of double points (a handle).
typedef Handle PF_Wireframe;

// ---- Routine numbers named by bad-argument reports --------------------------------------
// Words of the callback block where the routine has one, selectors for the
// routines reached by selector only, numbers from 65 for the rest.
enum : int32_t {
  PF_Routine_PaintSpot = -1,
  PF_Routine_FastBlur = -2,
  PF_Routine_ExtractPlanes = -3,
  PF_Routine_InsertPlanes = -4,
  PF_Routine_BoxBlurUnoScan = -6,
  PF_Routine_SubpixelSample = 1,
  PF_Routine_AreaSample = 2,
  PF_Routine_Convolve = 7,
  PF_Routine_Copy = 8,
  PF_Routine_GaussianKernel = 10,
  PF_Routine_ChannelCopy = 65,
  PF_Routine_SampleRow = 66,
  PF_Routine_Uno = 67,
  PF_Routine_GBlurUnoScan = 68,
  PF_Routine_Wireframe = 69,
  PF_Routine_NNSample = 70,
};

// ---- Samplers ---------------------------------------------------------------------------
// Nearest neighbour: the pixel at (floor(x + 0.5), floor(y + 0.5)).
TV_EXPORT ErrorCode PF_NNSample(void* ref, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out);
// Bilinear between the 2x2 neighbours at 1/256 pixel steps; an integral
// position takes that pixel. Straight pixels weight colours by alpha.
TV_EXPORT ErrorCode PF_SubpixelSample_Straight(void* ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                               PF_Pixel* out);
TV_EXPORT ErrorCode PF_SubpixelSample_Premul(void* ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                             PF_Pixel* out);
// The mean over the box [x - xRadius, x + xRadius] x [y - yRadius, y + yRadius]
// (radii at least half a pixel, at most 4096 pixels), edge pixels weighted by
// their coverage at 1/256 pixel steps.
TV_EXPORT ErrorCode PF_AreaSample_Straight(void* ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                           PF_Pixel* out);
TV_EXPORT ErrorCode PF_AreaSample_Premul(void* ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                         PF_Pixel* out);
// Samples `count` positions (x + i dx, y + i dy) with the sampler `kind` into out[0..count).
TV_EXPORT ErrorCode PFp_SampleRow(void* ref, int32_t kind, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                                  const PF_SampleParams* params, PF_Pixel* out);

// ---- Copies -----------------------------------------------------------------------------
// Copy srcRect of src into dstRect of dst (null: the whole world), scaling
// when the sizes differ. Draft: nearest neighbour. High quality: each
// destination pixel is the mean of the source area it covers (at least one
// source pixel wide, so enlargements interpolate linearly), never reading
// outside srcRect. The worlds must be distinct.
TV_EXPORT ErrorCode PF_CopyBits_Draft(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                      const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_Draft_Static(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                             const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Straight(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                            const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Straight_Static(void* ref, const PFWorld* src, PFWorld* dst,
                                                   const Rect* srcRect, const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Premul(void* ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                          const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Premul_Static(void* ref, const PFWorld* src, PFWorld* dst,
                                                 const Rect* srcRect, const Rect* dstRect);
// Whole-world copies (draft; high quality straight or premultiplied).
TV_EXPORT ErrorCode PF_WorldCopy(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_Static(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Static(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Straight(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Straight_Static(void* ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Premul(void* ref, const PFWorld* src, PFWorld* dst);

// ---- Channels and planes ------------------------------------------------------------------
// Copies channel srcChannel of src into channel dstChannel of dst (worlds of
// one size); fails with "Can't copy different channel worlds." when the
// worlds' channel orders differ.
TV_EXPORT ErrorCode PF_ChannelCopy(void* ref, const PFWorld* src, int32_t srcChannel, int32_t dstChannel,
                                   PFWorld* dst);
TV_EXPORT ErrorCode PF_ExtractPlanes(void* ref, const PFWorld* src, const PF_Planes* planes);
TV_EXPORT ErrorCode PF_InsertPlanes(void* ref, const PF_Planes* planes, PFWorld* dst);

// ---- Kernels and convolution -----------------------------------------------------------------
// 1 - (1 - e^(-2.378 x^2)) * 1.102 for x <= 1, else 0.
TV_EXPORT double PFp_GaussianValue(double x);
// kernel must hold (2r + 1)^2 values, or 2r + 1 with PF_Kernel_1D, where
// r = ceil(radius) (at most PF_MaxKernelRadius).
TV_EXPORT ErrorCode PF_GaussianKernel(void* ref, double radius, int32_t flags, double multiplier,
                                      int32_t* diameter, int32_t* kernel);
// Each channel of dst = that channel of src convolved with its kernel
// (int32_t values, diameter odd: diameter^2 values, or diameter with
// PF_Convolve_1D where the row is applied across, then down), divided by the
// kernel's sum (1 when the sum is 0), rounded and limited to 0..255; a null
// kernel copies its channel. Pixels beyond the edges are transparent unless
// PF_Convolve_RepeatEdges. area (null: all) limits the destination pixels
// written. src and dst have one size; they may be the same world.
TV_EXPORT ErrorCode PF_Convolve(void* ref, const PFWorld* src, const Rect* area, int32_t flags, int32_t diameter,
                                const void* alphaKernel, const void* redKernel, const void* greenKernel,
                                const void* blueKernel, PFWorld* dst);

// ---- Blur -------------------------------------------------------------------------------------
// Blurs the world in place with running box sums: quality 0 one box of
// half width round(radius) per direction, otherwise three boxes per
// direction approximating a Gaussian of the same variance. The cost per
// pixel does not depend on the radius.
TV_EXPORT ErrorCode PF_FastBlur_Straight(void* ref, double radius, uint32_t flags, int32_t quality, PFWorld* world);
TV_EXPORT ErrorCode PF_FastBlur_Premul(void* ref, double radius, uint32_t flags, int32_t quality, PFWorld* world);
// One-dimensional filters of `count` coverage bytes, src[i * srcStride] to
// dst[i * dstStride] (strides in bytes, at least 1; src and dst may be the
// same scan); bytes beyond the ends count as 0.
// Box: mean of the 2 radius + 1 bytes around each byte.
TV_EXPORT ErrorCode PF_BoxBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius,
                                      uint8_t* dst, int32_t dstStride);
// Gaussian: weighted by the one-row kernel of PF_GaussianKernel for radius.
TV_EXPORT ErrorCode PF_GBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, double radius,
                                    uint8_t* dst, int32_t dstStride);

// ---- Uno buffers --------------------------------------------------------------------------------
TV_EXPORT ErrorCode PF_NewUnoBuffer(int32_t width, int32_t height, PF_UnoBuffer* buffer);
TV_EXPORT ErrorCode PF_DisposeUnoBuffer(PF_UnoBuffer buffer);
TV_EXPORT ErrorCode PF_FillUnoBuffer(uint8_t value, PF_UnoBuffer buffer);
// Nested: the first lock locks the pixels; data and rowBytes (= width) may be null.
TV_EXPORT ErrorCode PF_LockUnoBuffer(PF_UnoBuffer buffer, uint8_t** data, int32_t* rowBytes);
TV_EXPORT ErrorCode PF_UnlockUnoBuffer(PF_UnoBuffer buffer);
TV_EXPORT ErrorCode PF_GetUnoBufferSize(PF_UnoBuffer buffer, int32_t* width, int32_t* height);
// Each byte becomes 255 - byte, then M[that][opacity] when opacity < 255.
TV_EXPORT ErrorCode PF_InvertAndFadeUnoBuffer(const PF_AbortRecord* abort, int32_t opacity, PF_UnoBuffer buffer);
TV_EXPORT ErrorCode PF_InvertUnoBuffer(PF_UnoBuffer buffer);
// Combines the new mask `source` into `destination` by mode; rect (null:
// all) is the span of the new mask, outside of which it counts as 0.
TV_EXPORT ErrorCode PF_AccumulateUnoBuffers(int32_t mode, PF_UnoBuffer source, const Rect* rect,
                                            PF_UnoBuffer destination);
// Multiplies the world's alpha by the coverage; alpha outside rect (null:
// all) is cleared. The buffer has the world's size.
TV_EXPORT ErrorCode PF_MergeMaskAlpha(const PF_AbortRecord* abort, PF_UnoBuffer buffer, const Rect* rect,
                                      PFWorld* world);

// ---- Drawing --------------------------------------------------------------------------------------
TV_EXPORT ErrorCode PF_AllocWireframe(int32_t capacity, PF_Wireframe* wireframe);
TV_EXPORT ErrorCode PF_DisposeWireframe(PF_Wireframe wireframe);
// The four corners of bounds (clockwise from the top left).
TV_EXPORT ErrorCode PF_GenerateWireframe(const LRect* bounds, PF_Wireframe wireframe);
// Maps every point through the matrix (projective when its last column is not 0, 0, 1).
TV_EXPORT ErrorCode PF_TransformWireframe(const FloatMatrix* matrix, PF_Wireframe wireframe);
TV_EXPORT ErrorCode PF_GetWireframePoints(PF_Wireframe wireframe, int32_t max, FloatPoint* points,
                                          int32_t* count);
// Draws the closed outline one pixel wide in `colour`, clipped to the world.
TV_EXPORT ErrorCode PF_DrawWireframe(PF_Wireframe wireframe, const PF_Pixel* colour, PFWorld* world);
// Paints an antialiased disc of `radius` (16.16 pixels) centred at (x, y)
// over the straight pixels of the world with the opacity (0..255).
TV_EXPORT ErrorCode PF_PaintSpot(void* ref, Fixed x, Fixed y, Fixed radius, const PF_Pixel* colour,
                                 int32_t opacity, PFWorld* world);

#ifdef __cplusplus
// ---- Inside the package ----------------------------------------------------------------------------
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
  return report::Code(Loc(site), kSevError, kErrOutOfMemory, "%s", {tv::pf::Text(text)});
}
inline bool UseReference() { return tv::pf::UseReference(); }

// 8-bit multiply with rounding: equal to (a * b + 127) / 255 for a, b in 0..255.
constexpr uint32_t Mul8(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
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

// Scratch memory from the memory manager, freed at scope end; null on failure.
template <typename T>
class Scratch {
 public:
  explicit Scratch(size_t count) : p_(count ? reinterpret_cast<T*>(NewPtr(static_cast<Size>(count * sizeof(T)))) : nullptr),
                                   ok_(count == 0 || p_ != nullptr) {}
  ~Scratch() {
    if (p_) DisposePtr(reinterpret_cast<Ptr>(p_));
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T* get() const { return p_; }
  T& operator[](size_t i) const { return p_[i]; }
  bool ok() const { return ok_; }

 private:
  T* p_;
  bool ok_;
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

}  // namespace tv::pf2
#endif
