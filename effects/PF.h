// PF: the pixel utility routines offered to effects and used by the engine's
// own compositing: transfer (layer blending) modes, rectangle compositing,
// blending, filling, iterating a function over pixels, premultiplication,
// colour conversions, the callback block effects receive and the selector
// table through which they ask for a routine by number.
//
// Pixels: 8 bits per channel, 4 bytes per pixel, alpha-red-green-blue in
// memory (byte 0 alpha) unless a routine says BGRA. Worlds are PFWorlds (BM.h);
// every routine walks rows with the world's own row bytes and never writes
// the spare pixel at the end of a row or anything outside its rectangle. A
// world of width or height 0 is valid and empty: every routine accepts it
// and changes nothing in it, and a sample of it is transparent.
//
// Every hot routine has two kernels: a reference kernel that follows the
// 8-bit multiply and divide tables literally, and a fast kernel of exact
// arithmetic equivalents. The fast kernel is used unless the environment
// variable TAVELO_REFERENCE_KERNELS is 1 or PFp_UseReferenceKernels(1) was
// called; both give identical bytes.
//
// The header is organised by the words of the callback block: the routine
// types come first; the copies, samplers, convolution, blurs, mask buffers
// and the layer transform are declared after the routine table, and their
// install functions enter them into it (PF_routines.cpp). A word whose
// routine is missing stays null and its selector answers 515.
//
// What callers may rely on:
// - The pixel routines work without PF_Birth. Failures are reported once
//   (package 37, severity 8) and answer: 516 for a bad argument (a null or
//   unreadable world, mismatched sizes, a value out of range), reported with
//   the routine's number (the callback word, a selector, or PF_Routine_*) as
//   its site; 5 for a transfer mode outside 0..25; 515 for a selector or
//   routine that does not exist; 4 out of memory (scratch memory is allocated
//   from the memory manager). A pixel, index or progress function's non-zero
//   answer stops the routine and is passed up unchanged (517 when the user
//   aborted).
// - A routine that fails on its arguments writes no pixel; one stopped by a
//   callback leaves the rows done so far. Out-parameters are cleared first
//   (null functions, zeroed records, 0).
// - Reference and fast kernels give identical bytes; results never depend
//   on the platform, the locale or the number of threads.
#pragma once

#include "BM.h"
#include "M.h"
#include "STR.h"
#include "Types.h"

enum { PF_PackageNumber = 37 };

// Codes of the package (besides the general codes 2 to 12).
enum {
  PF_ErrInternalStruct = 512,    // an effect reference that is not one
  PF_ErrInvalidSelector = 515,   // a selector or routine that does not exist
  PF_ErrBadParam = 516,          // a bad argument to a routine
  PF_ErrInterrupted = 517,       // the user aborted (not a failure; passed up)
};

// One pixel in memory order.
typedef struct PF_Pixel {
  uint8_t alpha, red, green, blue;
} PF_Pixel;

typedef void* PF_EffectRef;

// ---- Package frame ----------------------------------------------------------
TV_EXPORT STR_Table PFp_G_STRs;
TV_EXPORT uint32_t PF_PkgObjectVersion(void);
TV_EXPORT ErrorCode PF_CheckVersions(LocationCode location, int32_t expectedMajor);
// Installs the strings and maps the extension ".TVX" to its file type.
// Replacement routine sets are not scanned for yet: none is registered. The
// pixel routines themselves work before birth (the 8-bit tables come from
// the math package when it grants them, else from the package's own copy).
TV_EXPORT ErrorCode PF_Birth(void);
TV_EXPORT ErrorCode PF_Death(void);
// 1: every routine uses its reference kernel; 0: the fast kernels. The start
// value is 1 when the environment variable TAVELO_REFERENCE_KERNELS is "1".
TV_EXPORT ErrorCode PFp_UseReferenceKernels(Boolean32 on);
TV_EXPORT Boolean32 PFp_UsingReferenceKernels(void);

// ---- Colour tables -------------------------------------------------------------
// The luminance weights (LR[v] + LG[v] + LB[v] <= 255, 255 at v = 255) and
// the soft-light tables S1[d] ~ d(255 - d)/255 and S2[d] ~ 255 sqrt(d/255) - d.
// The multiply and divide tables belong to the math package (M_PrepareFCMD).
typedef struct PF_ColourTables {
  uint8_t lumR[256], lumG[256], lumB[256];
  uint8_t softLight1[256], softLight2[256];
} PF_ColourTables;
TV_EXPORT const PF_ColourTables* PFp_GetColourTables(void);

// ---- Transfer (layer blending) modes ----------------------------------------------
enum {
  PF_Xfer_Copy = 0, PF_Xfer_Behind = 1, PF_Xfer_Normal = 2, PF_Xfer_Dissolve = 3,
  PF_Xfer_Add = 4, PF_Xfer_Multiply = 5, PF_Xfer_Screen = 6, PF_Xfer_Overlay = 7,
  PF_Xfer_SoftLight = 8, PF_Xfer_HardLight = 9, PF_Xfer_Darken = 10, PF_Xfer_Lighten = 11,
  PF_Xfer_Difference = 12, PF_Xfer_Hue = 13, PF_Xfer_Saturation = 14, PF_Xfer_Colour = 15,
  PF_Xfer_Luminosity = 16, PF_Xfer_AlphaStencil = 17, PF_Xfer_LumaStencil = 18,
  PF_Xfer_AlphaCutout = 19, PF_Xfer_LumaCutout = 20, PF_Xfer_PremulOver = 21,
  PF_Xfer_AlphaAdd = 22, PF_Xfer_ColourDodge = 23, PF_Xfer_ColourBurn = 24,
  PF_Xfer_Exclusion = 25,
  PF_Xfer_Count = 26,
};

// The parameters of a row function, which are also the composite mode of the
// rectangle routines. The dissolve mode advances `seed` per pixel it decides.
typedef struct PF_CompositeMode {
  int32_t mode;         // bytes 0-3: the transfer mode
  uint32_t seed;        // bytes 4-7: the dissolve generator's state
  uint8_t opacity;      // byte 8: 0 to 255
  uint8_t colourOnly;   // byte 9: modes 0, 1 and 3 leave the destination alpha alone
  uint8_t reserved[2];
} PF_CompositeMode;

// A row function: count pixels of src composited into dst; mask (4 bytes per
// pixel, byte 0 used) may be null.
typedef ErrorCode (*PF_TransferFunc)(void* reserved, int32_t count, PF_CompositeMode* params,
                                     const uint8_t* src, const uint8_t* mask, uint8_t* dst);

// Flags of a mode (PF_GetTransferFlags).
enum {
  PF_XferFlag_WritesAlpha = 0x01,     // may change the destination alpha
  PF_XferFlag_ColourOnly = 0x02,      // honours the colour-only byte
  PF_XferFlag_Separable = 0x04,       // each colour channel on its own
  PF_XferFlag_UsesRandom = 0x08,      // consumes the generator (dissolve)
  PF_XferFlag_OutsideSource = 0x10,   // acts where the source is absent (stencils)
  PF_XferFlag_AlphaOnly = 0x20,       // changes only the destination alpha
  PF_XferFlag_PremulSource = 0x40,    // treats source colour as premultiplied
  PF_XferFlag_KeepsZeroCoverage = 0x80,  // pixels of coverage 0 stay unchanged
};

// A mode's description for the compositing code.
typedef struct PF_TransferDesc {
  int32_t mode;
  uint32_t flags;
  PF_TransferFunc reference;  // the literal table form
  PF_TransferFunc fast;       // the exact arithmetic form
  const char* name;
} PF_TransferDesc;

// A mode outside 0..25 fails with code 5 (reported) and *func null (desc
// zeroed, flags 0); a null out-pointer with 516.
TV_EXPORT ErrorCode PF_GetTransferFunc(int32_t mode, PF_TransferFunc* func);
TV_EXPORT ErrorCode PF_GetTransferDesc(int32_t mode, PF_TransferDesc* desc);
TV_EXPORT ErrorCode PF_GetTransferFlags(int32_t mode, uint32_t* flags);
// Fills desc for mode and answers whether it needs the destination pass of
// the stencils (flag PF_XferFlag_OutsideSource).
TV_EXPORT ErrorCode PF_BlendDescFunc(int32_t mode, PF_TransferDesc* desc, Boolean32* outsideSource);
// The per-pixel generator of the dissolve mode: seed' = 48271 (seed mod 44488)
// + 3399 (seed div 44488) in unsigned 32-bit arithmetic, 0 -> 0x7FFFFFFF;
// stores seed' and returns (seed' >> 7) & 0x7FFF.
TV_EXPORT int32_t PF_Rand(uint32_t* seed);

// A matte for the rectangle routines: the mask pixel of destination (x, y) is
// at (x - offset.h, y - offset.v) of `world`; outside it the coverage is 0.
enum {
  PF_Mask_Invert = 0x1,     // use 255 - value
  PF_Mask_Luminance = 0x2,  // value = luminance of the matte times its alpha
};
typedef struct PF_MaskWorld {
  PFWorld world;
  LPoint offset;
  int32_t flags;  // PF_Mask_*
} PF_MaskWorld;

// Composites srcRect of src (null: all of it) onto dst with its top-left at
// (destH, destV), clipped to both worlds. field 1 skips odd destination rows,
// 2 even ones. Modes that act outside the source (stencils) also treat the
// rest of dst as covered by a transparent source. Random seeds per row: the
// mode's seed plus the left edge, advanced by 12281 x the row number.
TV_EXPORT ErrorCode PF_TransferRect(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                    const Rect* srcRect, const PFWorld* src, const PF_CompositeMode* mode,
                                    const PF_MaskWorld* mask, int32_t destH, int32_t destV, PFWorld* dst);
TV_EXPORT ErrorCode PF_TransferRect_S(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                      const Rect* srcRect, const PFWorld* src, const PF_CompositeMode* mode,
                                      const PF_MaskWorld* mask, int32_t destH, int32_t destV, PFWorld* dst);

// Rectangle compositing with an opacity (0..255, limited) and a mode. The
// premultiplied forms bring both rows to straight alpha, composite and
// premultiply the destination again.
typedef ErrorCode (*PF_CompositeRectFunc)(PF_EffectRef ref, const Rect* srcRect, int32_t opacity,
                                          const PFWorld* src, int32_t destH, int32_t destV, int32_t field,
                                          int32_t mode, PFWorld* dst);
TV_EXPORT ErrorCode PF_CompositeRectDraft_Straight(PF_EffectRef ref, const Rect* srcRect, int32_t opacity,
                                                   const PFWorld* src, int32_t destH, int32_t destV,
                                                   int32_t field, int32_t mode, PFWorld* dst);
TV_EXPORT ErrorCode PF_CompositeRectDraft_Premul(PF_EffectRef ref, const Rect* srcRect, int32_t opacity,
                                                 const PFWorld* src, int32_t destH, int32_t destV,
                                                 int32_t field, int32_t mode, PFWorld* dst);
TV_EXPORT ErrorCode PF_CompositeRectBest_Straight(PF_EffectRef ref, const Rect* srcRect, int32_t opacity,
                                                  const PFWorld* src, int32_t destH, int32_t destV,
                                                  int32_t field, int32_t mode, PFWorld* dst);
TV_EXPORT ErrorCode PF_CompositeRectBest_Premul(PF_EffectRef ref, const Rect* srcRect, int32_t opacity,
                                                const PFWorld* src, int32_t destH, int32_t destV,
                                                int32_t field, int32_t mode, PFWorld* dst);

// ---- Blend and fill ----------------------------------------------------------------
// ratio (Fixed) is limited to 0..0x10000: 0 copies src1, 0x10000 copies src2.
// All three worlds must have the same width and height (else 516).
typedef ErrorCode (*PF_BlendFunc)(PF_EffectRef ref, const PFWorld* src1, const PFWorld* src2, Fixed ratio,
                                  PFWorld* dst);
TV_EXPORT ErrorCode PF_Blend(PF_EffectRef ref, const PFWorld* src1, const PFWorld* src2, Fixed ratio,
                             PFWorld* dst);
TV_EXPORT ErrorCode PF_Blend_Straight(PF_EffectRef ref, const PFWorld* src1, const PFWorld* src2,
                                      Fixed ratio, PFWorld* dst);
TV_EXPORT ErrorCode PF_Blend_Premul(PF_EffectRef ref, const PFWorld* src1, const PFWorld* src2,
                                    Fixed ratio, PFWorld* dst);
// colour null writes 0; rect null is the whole world; the rectangle is put in
// order and clipped to the world.
typedef ErrorCode (*PF_FillFunc)(PF_EffectRef ref, const PF_Pixel* colour, const Rect* rect, PFWorld* world);
TV_EXPORT ErrorCode PF_Fill(PF_EffectRef ref, const PF_Pixel* colour, const Rect* rect, PFWorld* world);

// ---- Iterate family ------------------------------------------------------------------
// The pixel function gets (refcon, x, y, source pixel or null, destination
// pixel); its first non-zero result stops the iteration and is returned.
typedef ErrorCode (*PF_PixelFunc)(void* refcon, int32_t x, int32_t y, PF_Pixel* in, PF_Pixel* out);
typedef ErrorCode (*PF_IterateFunc)(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                    const PFWorld* src, const Rect* area, void* refcon, PF_PixelFunc fn,
                                    PFWorld* dst);
TV_EXPORT ErrorCode PF_Iterate(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                               const PFWorld* src, const Rect* area, void* refcon, PF_PixelFunc fn,
                               PFWorld* dst);
// The source pixel of destination (x, y) is at (x + origin.h, y + origin.v);
// a position outside the source passes a null source pixel.
typedef ErrorCode (*PF_IterateOriginFunc)(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                          const PFWorld* src, const Rect* area, const Point* origin,
                                          void* refcon, PF_PixelFunc fn, PFWorld* dst);
TV_EXPORT ErrorCode PF_IterateOrigin(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                     const PFWorld* src, const Rect* area, const Point* origin, void* refcon,
                                     PF_PixelFunc fn, PFWorld* dst);
// Each channel of the source passes through its 256-entry table (null: as it
// is) into the destination; src null maps the destination in place.
typedef ErrorCode (*PF_IterateLUTFunc)(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                       const PFWorld* src, const Rect* area, const uint8_t* alphaLUT,
                                       const uint8_t* redLUT, const uint8_t* greenLUT, const uint8_t* blueLUT,
                                       PFWorld* dst);
TV_EXPORT ErrorCode PF_IterateLUT(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                  const PFWorld* src, const Rect* area, const uint8_t* alphaLUT,
                                  const uint8_t* redLUT, const uint8_t* greenLUT, const uint8_t* blueLUT,
                                  PFWorld* dst);
// Word 58: like PF_IterateOrigin but the area is clipped to the destination
// only; source pixels outside the source pass null.
TV_EXPORT ErrorCode PF_IterateOriginNoClip(PF_EffectRef ref, int32_t progressBase, int32_t progressFinal,
                                           const PFWorld* src, const Rect* area, const Point* origin,
                                           void* refcon, PF_PixelFunc fn, PFWorld* dst);
// Word 59: calls fn(refcon, i, count) for i = 0 .. count - 1; the first
// non-zero result stops and is returned.
typedef ErrorCode (*PF_IndexFunc)(void* refcon, int32_t index, int32_t count);
typedef ErrorCode (*PF_IterateIndexedFunc)(PF_EffectRef ref, int32_t count, void* refcon, PF_IndexFunc fn);
TV_EXPORT ErrorCode PF_IterateIndexed(PF_EffectRef ref, int32_t count, void* refcon, PF_IndexFunc fn);
// The package's one progress and abort hook, installed by the effect host
// (null: no progress); a non-zero answer stops the routine with that code.
// The iterate family calls it once per row with (ref, rows done + base,
// final); the layer transform with (ref, rows done, rows) after every 8th
// row in draft, every 4th at best quality and every 2nd with motion blur.
typedef ErrorCode (*PF_ProgressProc)(PF_EffectRef ref, int32_t current, int32_t total);
TV_EXPORT ErrorCode PFp_SetProgressProc(PF_ProgressProc proc);
// The installed hook (null when none).
TV_EXPORT PF_ProgressProc PFp_GetProgressProc(void);

// ---- Premultiplication and mattes -----------------------------------------------------
// forward: colour becomes M[alpha][colour]; else colour becomes D[alpha][colour].
typedef ErrorCode (*PF_PremulFunc)(PF_EffectRef ref, Boolean32 forward, PFWorld* world);
TV_EXPORT ErrorCode PF_Premul(PF_EffectRef ref, Boolean32 forward, PFWorld* world);
// Against a matte colour m: forward c' = M[alpha][c] + M[255 - alpha][m];
// backward c = D[alpha][c' - M[255 - alpha][m]] (0 below the matte). A null or
// black colour is the plain premultiplication.
typedef ErrorCode (*PF_PremulColorFunc)(PF_EffectRef ref, Boolean32 forward, const PF_Pixel* colour,
                                        PFWorld* world);
TV_EXPORT ErrorCode PF_PremulColor(PF_EffectRef ref, Boolean32 forward, const PF_Pixel* colour,
                                   PFWorld* world);
// Over count pixels: alpha 0 -> all zeros, alpha 255 unchanged, otherwise
// each colour v -> M[alpha][v] (matte) or D[alpha][v] (de-matte).
TV_EXPORT ErrorCode PF_BlackMatte(PF_EffectRef ref, int32_t count, const PF_Pixel* src, PF_Pixel* dst);
TV_EXPORT ErrorCode PF_DeBlackMatte(PF_EffectRef ref, int32_t count, const PF_Pixel* src, PF_Pixel* dst);
TV_EXPORT ErrorCode PF_BlackMatteARGB(PF_EffectRef ref, int32_t count, uint8_t* pixels);
TV_EXPORT ErrorCode PF_DeBlackMatteARGB(PF_EffectRef ref, int32_t count, uint8_t* pixels);
TV_EXPORT ErrorCode PF_BlackMatteBGRA(PF_EffectRef ref, int32_t count, uint8_t* pixels);
TV_EXPORT ErrorCode PF_DeBlackMatteBGRA(PF_EffectRef ref, int32_t count, uint8_t* pixels);
// BGRA pixels matted with black become matted with colour:
// c' = c + M[255 - alpha][m], limited to 255.
TV_EXPORT ErrorCode PF_MatteBlackToMatteColorBGRA(PF_EffectRef ref, int32_t count, const PF_Pixel* colour,
                                                  uint8_t* pixels);

// ---- Colour conversions (single pixels) ------------------------------------------------
// HLS: hue in degrees [0, 360), lightness and saturation 0..1, all Fixed.
// YIQ: Y 0..1, I and Q signed, Fixed (NTSC weights). Luminance: 30 R + 59 G
// + 11 B (0..25500). Hue, lightness, saturation: Fixed as in HLS. The
// premultiplied forms divide the colour by alpha first (and multiply it back
// for HLS and YIQ to RGB, which keep the alpha of *rgb on entry).
typedef ErrorCode (*PF_ToColourFunc)(PF_EffectRef ref, const PF_Pixel* pixel, Fixed* out3);
typedef ErrorCode (*PF_FromColourFunc)(PF_EffectRef ref, const Fixed* in3, PF_Pixel* pixel);
typedef ErrorCode (*PF_PixelValueFunc)(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_RGBtoHLS_Straight(PF_EffectRef ref, const PF_Pixel* pixel, Fixed* hls);
TV_EXPORT ErrorCode PF_HLStoRGB_Straight(PF_EffectRef ref, const Fixed* hls, PF_Pixel* pixel);
TV_EXPORT ErrorCode PF_RGBtoYIQ_Straight(PF_EffectRef ref, const PF_Pixel* pixel, Fixed* yiq);
TV_EXPORT ErrorCode PF_YIQtoRGB_Straight(PF_EffectRef ref, const Fixed* yiq, PF_Pixel* pixel);
TV_EXPORT ErrorCode PF_Luminance_Straight(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Hue_Straight(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Lightness_Straight(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Saturation_Straight(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_RGBtoHLS_Premul(PF_EffectRef ref, const PF_Pixel* pixel, Fixed* hls);
TV_EXPORT ErrorCode PF_HLStoRGB_Premul(PF_EffectRef ref, const Fixed* hls, PF_Pixel* pixel);
TV_EXPORT ErrorCode PF_RGBtoYIQ_Premul(PF_EffectRef ref, const PF_Pixel* pixel, Fixed* yiq);
TV_EXPORT ErrorCode PF_YIQtoRGB_Premul(PF_EffectRef ref, const Fixed* yiq, PF_Pixel* pixel);
TV_EXPORT ErrorCode PF_Luminance_Premul(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Hue_Premul(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Lightness_Premul(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
TV_EXPORT ErrorCode PF_Saturation_Premul(PF_EffectRef ref, const PF_Pixel* pixel, int32_t* value);
// LR[r] + LG[g] + LB[b] (0..255) of a straight pixel.
TV_EXPORT uint8_t PF_LuminanceFast(const PF_Pixel* pixel);

// ---- Guessing alpha ---------------------------------------------------------------------
// For a picture matted against colour (null: black): every pixel's alpha
// becomes the least alpha that explains it as premultiplied against the
// matte, max over the channels of (c - m) / (255 - m) or (m - c) / m.
TV_EXPORT ErrorCode PF_GuessAlpha(PF_EffectRef ref, const PF_Pixel* colour, PFWorld* world);
// Looks at the alpha and colour of a world and guesses how it was made.
enum {
  PF_Guess_NoAlpha = 0,        // every alpha is 255
  PF_Guess_Straight = 1,       // some colour exceeds its alpha
  PF_Guess_PremulBlack = 2,    // every colour is at most its alpha
  PF_Guess_PremulColour = 3,   // transparent pixels share one non-black colour (matte)
};
TV_EXPORT ErrorCode PF_GuessAlphaMessage(PF_EffectRef ref, const PFWorld* world, int32_t* guess,
                                         PF_Pixel* matte);

// ---- Effect handle callbacks (words 21 to 24, 57, 60) -------------------------------------
// The memory manager's calls for effects: null or 0 on failure, nothing
// reported except by PF_ResizeHandle.
TV_EXPORT Handle PF_NewHandleQuiet(PF_EffectRef ref, int32_t size);
TV_EXPORT void* PF_LockHandle(PF_EffectRef ref, Handle h);      // null for null
TV_EXPORT ErrorCode PF_UnlockHandle(PF_EffectRef ref, Handle h);
TV_EXPORT ErrorCode PF_DisposeHandle(PF_EffectRef ref, Handle h);
TV_EXPORT int32_t PF_GetHandleSize(PF_EffectRef ref, Handle h);  // 0 for null
// Failures are reported as "effect handle data" (4; 516 for a null handle or
// negative size); the block is unchanged on failure.
TV_EXPORT ErrorCode PF_ResizeHandle(PF_EffectRef ref, int32_t size, Handle* h);

// ---- Routines of the later part of the package (types only) ---------------------------------
typedef struct PF_SampleParams {
  Fixed xRadius, yRadius, area;  // the footprint of area sampling
  const PFWorld* source;
  int32_t edgeMode;              // 0: outside the source is transparent
  int32_t reserved[3];
} PF_SampleParams;
typedef ErrorCode (*PF_SampleFunc)(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                   PF_Pixel* out);
typedef ErrorCode (*PF_GetBatchFuncFunc)(PF_EffectRef ref, int32_t quality, int32_t flags,
                                         const PF_SampleParams* params, void** batch);
typedef ErrorCode (*PF_ConvolveFunc)(PF_EffectRef ref, const PFWorld* src, const Rect* area, int32_t flags,
                                     int32_t kernelSize, const void* alphaKernel, const void* redKernel,
                                     const void* greenKernel, const void* blueKernel, PFWorld* dst);
typedef ErrorCode (*PF_CopyFunc)(PF_EffectRef ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                 const Rect* dstRect);
// kernel receives (2r + 1) values (flags bit 0) or (2r + 1)^2.
typedef ErrorCode (*PF_GaussianKernelFunc)(PF_EffectRef ref, FpLong radius, int32_t flags, FpLong multiplier,
                                           int32_t* diameter, int32_t* kernel);
typedef ErrorCode (*PF_TransformWorldFunc)(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                           const PFWorld* src, const PF_CompositeMode* mode,
                                           const PF_MaskWorld* mask, const FloatMatrix* matrices,
                                           int32_t matrixCount, Boolean32 reserved, const Rect* destRect,
                                           PFWorld* dst);
typedef ErrorCode (*PF_TransferRectFunc)(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                         const Rect* srcRect, const PFWorld* src,
                                         const PF_CompositeMode* mode, const PF_MaskWorld* mask,
                                         int32_t destH, int32_t destV, PFWorld* dst);
typedef ErrorCode (*PF_FastBlurFunc)(PF_EffectRef ref, FpLong radius, uint32_t flags, int32_t quality,
                                     PFWorld* world);
typedef void (*PF_AnyRoutine)(void);  // a routine reached by selector only

// ---- The callback block ---------------------------------------------------------------------
typedef ErrorCode (*PF_NewWorldFunc)(void* ref, int32_t width, int32_t height, Boolean32 clear, PFWorld* world);
typedef ErrorCode (*PF_DisposeWorldFunc)(void* ref, PFWorld* world);
typedef ErrorCode (*PF_PlatformRefsFunc)(void* ref, const PFWorld* world, void** port, void** device);
typedef Handle (*PF_NewHandleFunc)(PF_EffectRef ref, int32_t size);
typedef void* (*PF_LockHandleFunc)(PF_EffectRef ref, Handle h);
typedef ErrorCode (*PF_HandleFunc)(PF_EffectRef ref, Handle h);
typedef int32_t (*PF_HandleSizeFunc)(PF_EffectRef ref, Handle h);
typedef ErrorCode (*PF_ResizeHandleFunc)(PF_EffectRef ref, int32_t size, Handle* h);
typedef ErrorCode (*PF_GetCallbackAddrFunc)(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t selector,
                                            void** address);
typedef ErrorCode (*PF_AppCallbackFunc)(PF_EffectRef ref, int32_t selector, void* data);
typedef FpLong (*PF_Math1Func)(FpLong);
typedef FpLong (*PF_Math2Func)(FpLong, FpLong);
typedef int (*PF_SprintfFunc)(char*, const char*, ...);
typedef char* (*PF_StrcpyFunc)(char*, const char*);
typedef ErrorCode (*PF_InquiryFunc)(PF_EffectRef ref, int32_t kind, void* port, void* answer);

// ---- Effect-owned memory, drawing destinations and batch sampling ----------------------------
// A chunk is a block of memory an effect owns, kept by the host's memory
// manager: it moves while unlocked (lock it to reach its data). Chunks are
// known to the package: anything else handed back is refused with 516
// before it is read. Sizes run from 0 to PF_MaxChunkBytes.
typedef Handle PF_Chunk;
enum { PF_MaxChunkBytes = 0x40000000 };
typedef ErrorCode (*PF_NewChunkFunc)(PF_EffectRef ref, int32_t size, PF_Chunk* chunk);
typedef ErrorCode (*PF_ChunkFunc)(PF_EffectRef ref, PF_Chunk chunk);
typedef ErrorCode (*PF_LockChunkFunc)(PF_EffectRef ref, PF_Chunk chunk, void** data);
typedef ErrorCode (*PF_ChunkSizeFunc)(PF_EffectRef ref, PF_Chunk chunk, int32_t* size);
// A drawing destination: a world opened for the platform's drawing routines
// (its port and device), closed again in the reverse order of opening.
typedef struct PF_Destination {
  uint32_t magic;   // PF_DestinationMagic while open
  int32_t depth;    // nesting level, 1 for the outermost
  PFWorld* world;
  void* port;
  void* device;
  Rect bounds;      // 0, 0, height, width
} PF_Destination;
#define PF_DestinationMagic 0x44657374u  /* 'Dest' */
enum { PF_MaxOpenDestinations = 16 };
typedef ErrorCode (*PF_OpenDestinationFunc)(PF_EffectRef ref, PFWorld* world, PF_Destination* dest);
typedef ErrorCode (*PF_CloseDestinationFunc)(PF_EffectRef ref, PF_Destination* dest);
// A batch sampler: count samples at (x + i dx, y + i dy) into out.
typedef ErrorCode (*PF_BatchSampleFunc)(PF_EffectRef ref, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                                        const PF_SampleParams* params, PF_Pixel* out);
// PF_GetBatchFunc flags: bit 0 straight pixels, bit 1 area sampling.
enum { PF_Batch_Straight = 1, PF_Batch_Area = 2 };

// 71 pointer-sized words; words 61 to 67 hold the chunk and destination
// routines, 68 to 70 are reserved (null).
typedef struct PF_UtilCallbacks {
  void* reserved0;                                 // 0
  PF_SampleFunc subpixelSample;                    // 1
  PF_SampleFunc areaSample;                        // 2
  PF_GetBatchFuncFunc getBatchFunc;                // 3
  void* reserved4;                                 // 4
  PF_CompositeRectFunc compositeRect;              // 5
  PF_BlendFunc blend;                              // 6
  PF_ConvolveFunc convolve;                        // 7
  PF_CopyFunc copy;                                // 8
  PF_FillFunc fill;                                // 9
  PF_GaussianKernelFunc gaussianKernel;            // 10
  PF_IterateFunc iterate;                          // 11
  PF_PremulFunc premul;                            // 12
  PF_PremulColorFunc premulColor;                  // 13
  PF_NewWorldFunc newWorld;                        // 14
  PF_PlatformRefsFunc getPlatformRefs;             // 15
  PF_DisposeWorldFunc disposeWorld;                // 16
  PF_IterateOriginFunc iterateOrigin;              // 17
  PF_IterateLUTFunc iterateLUT;                    // 18
  PF_TransferRectFunc transferRect;                // 19
  PF_TransformWorldFunc transformWorld;            // 20
  PF_NewHandleFunc newHandle;                      // 21
  PF_LockHandleFunc lockHandle;                    // 22
  PF_HandleFunc unlockHandle;                      // 23
  PF_HandleFunc disposeHandle;                     // 24
  PF_GetCallbackAddrFunc getCallbackAddr;          // 25
  PF_AppCallbackFunc appCallback;                  // 26
  PF_Math1Func atan;                               // 27
  PF_Math2Func atan2;                              // 28
  PF_Math1Func ceil;                               // 29
  PF_Math1Func cos;                                // 30
  PF_Math1Func exp;                                // 31
  PF_Math1Func fabs;                               // 32
  PF_Math1Func floor;                              // 33
  PF_Math2Func fmod;                               // 34
  PF_Math2Func hypot;                              // 35
  PF_Math1Func log;                                // 36
  PF_Math1Func log10;                              // 37
  PF_Math2Func pow;                                // 38
  PF_Math1Func sin;                                // 39
  PF_Math1Func sqrt;                               // 40
  PF_Math1Func tan;                                // 41
  PF_SprintfFunc sprintf;                          // 42
  PF_StrcpyFunc strcpy;                            // 43
  PF_Math1Func asin;                               // 44
  PF_Math1Func acos;                               // 45
  void* reserved46;                                // 46
  PF_ToColourFunc RGBtoHLS;                        // 47
  PF_FromColourFunc HLStoRGB;                      // 48
  PF_ToColourFunc RGBtoYIQ;                        // 49
  PF_FromColourFunc YIQtoRGB;                      // 50
  PF_PixelValueFunc luminance;                     // 51
  PF_PixelValueFunc hue;                           // 52
  PF_PixelValueFunc lightness;                     // 53
  PF_PixelValueFunc saturation;                    // 54
  PF_InquiryFunc obsoleteInquiry;                  // 55: always 516
  PF_InquiryFunc platformInquiry;                  // 56: kind 1, the mouse in a port
  PF_HandleSizeFunc getHandleSize;                 // 57
  PF_IterateOriginFunc iterateOriginNoClip;        // 58
  PF_IterateIndexedFunc iterateIndexed;            // 59
  PF_ResizeHandleFunc resizeHandle;                // 60
  PF_NewChunkFunc newChunk;                        // 61
  PF_ChunkFunc disposeChunk;                       // 62
  PF_LockChunkFunc lockChunk;                      // 63
  PF_ChunkFunc unlockChunk;                        // 64
  PF_ChunkSizeFunc chunkDataSize;                  // 65
  PF_OpenDestinationFunc openDestination;          // 66
  PF_CloseDestinationFunc closeDestination;        // 67
  void* reserved[3];                               // 68 to 70
} PF_UtilCallbacks;

enum { PF_CallbackWords = 71 };
// Quality 0 is draft; bit 0x8000 also installs the Gaussian kernel at word 10
// and PF_Hypot at word 35. Flags bit 0: straight pixels.
enum { PF_Quality_Draft = 0, PF_Quality_Best = 1, PF_Quality_ExtraMath = 0x8000 };
enum { PF_CallbackFlag_Straight = 0x1 };
// Platform inquiry kinds of word 56.
enum { PF_Inquiry_MousePosition = 1 };

// 516 for a null block.
TV_EXPORT ErrorCode PF_SetCallbackBlockQuality(int32_t quality, int32_t flags, PF_UtilCallbacks* block);
// Clears the block, applies the quality and fills the fixed entries.
TV_EXPORT ErrorCode PF_GetCallbackBlock(int32_t quality, int32_t flags, PF_UtilCallbacks* block);
// The routine of a selector (table in PF_routines.cpp); any other selector, or
// one whose routine is not built, gives null and 515 (reported); a null
// address is a bad argument (516).
TV_EXPORT ErrorCode PF_GetCallbackAddr(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t selector,
                                       void** address);
// Selectors of PF_GetCallbackAddr.
enum {
  PF_Sel_AppCallback = -999, PF_Sel_BoxBlurUnoScan = -6, PF_Sel_GaussianValue = -5,
  PF_Sel_InsertPlanes = -4, PF_Sel_ExtractPlanes = -3, PF_Sel_FastBlur = -2, PF_Sel_PaintSpot = -1,
  PF_Sel_Word0 = 1, PF_Sel_SubpixelSample = 2, PF_Sel_AreaSample = 3, PF_Sel_NNSample = 4, PF_Sel_Word4 = 5,
  PF_Sel_CompositeRect = 6, PF_Sel_Blend = 7, PF_Sel_Convolve = 8, PF_Sel_Copy = 9, PF_Sel_Fill = 10,
  PF_Sel_GaussianKernel = 11, PF_Sel_Iterate = 12, PF_Sel_Premul = 13, PF_Sel_PremulColor = 14,
  PF_Sel_RGBtoHLS = 15, PF_Sel_HLStoRGB = 16, PF_Sel_RGBtoYIQ = 17, PF_Sel_YIQtoRGB = 18,
  PF_Sel_Luminance = 19, PF_Sel_Hue = 20, PF_Sel_Lightness = 21, PF_Sel_Saturation = 22,
  PF_Sel_NewWorld = 23, PF_Sel_GetPlatformRefs = 24, PF_Sel_DisposeWorld = 25, PF_Sel_IterateOrigin = 26,
  PF_Sel_IterateLUT = 27, PF_Sel_TransferRect = 28, PF_Sel_TransformWorld = 29, PF_Sel_Word58 = 30,
  PF_Sel_Word59 = 31,
};
// The engine's callback to effects (selector, data); answers 5 until the
// effect host installs one with PFp_SetAppCallback.
TV_EXPORT ErrorCode PF_AppCallback(PF_EffectRef ref, int32_t selector, void* data);
TV_EXPORT ErrorCode PFp_SetAppCallback(PF_AppCallbackFunc proc);
// Always 515: the standard routines cannot be overridden.
TV_EXPORT ErrorCode PF_OverrideStdFuncs(PF_EffectRef ref, void* routines);
TV_EXPORT FpLong PF_Hypot(FpLong x, FpLong y);
TV_EXPORT FpLong PF_HypotFPU(FpLong x, FpLong y);
// Always 516 (reported).
TV_EXPORT ErrorCode PF_ObsoleteInquiry(PF_EffectRef ref, int32_t kind, void* port, void* answer);
// Kind 1 writes the mouse position (a Point, (0, 0) headless) into answer;
// 516 for any other kind or a null answer.
TV_EXPORT ErrorCode PF_PlatformInquiry(PF_EffectRef ref, int32_t kind, void* port, void* answer);

// ---- Chunks, destinations, batch sampling ------------------------------------------------------
// PF_NewChunk: *chunk null on failure (516 for a size outside
// 0..PF_MaxChunkBytes or a null out-pointer, 4 out of memory, reported as
// "effect handle data"). Locking nests; unlocking an unlocked chunk, and any
// routine given something that is not a live chunk, fail with 516.
// PF_LockChunk's *data is null on failure (and for an empty chunk).
TV_EXPORT ErrorCode PF_NewChunk(PF_EffectRef ref, int32_t size, PF_Chunk* chunk);
TV_EXPORT ErrorCode PF_DisposeChunk(PF_EffectRef ref, PF_Chunk chunk);
TV_EXPORT ErrorCode PF_LockChunk(PF_EffectRef ref, PF_Chunk chunk, void** data);
TV_EXPORT ErrorCode PF_UnlockChunk(PF_EffectRef ref, PF_Chunk chunk);
TV_EXPORT ErrorCode PF_ChunkDataSize(PF_EffectRef ref, PF_Chunk chunk, int32_t* size);
// The number of live chunks (for leak checks).
TV_EXPORT int32_t PFp_LiveChunkCount(void);
// Opens world (a PF_NewWorld or layer world) as a drawing destination; dest
// is cleared first. 516 for a bad world or record, or more than
// PF_MaxOpenDestinations open at once. Closing checks that dest is the one
// opened last (516 otherwise, nothing closed) and clears it.
TV_EXPORT ErrorCode PF_OpenDestination(PF_EffectRef ref, PFWorld* world, PF_Destination* dest);
TV_EXPORT ErrorCode PF_CloseDestination(PF_EffectRef ref, PF_Destination* dest);
// The batch sampler for quality (0 draft: nearest neighbour) and flags
// (PF_Batch_*); params are checked by the sampler at each call. *batch null
// and 516 for a null out-pointer or unknown flag bits.
TV_EXPORT ErrorCode PF_GetBatchFunc(PF_EffectRef ref, int32_t quality, int32_t flags, const PF_SampleParams* params,
                                    void** batch);

// The routine table: the entries the selectors and the callback blocks draw
// from, filled on first use with the package's routines.
typedef struct PF_RoutineTable {
  PF_SampleFunc nnSample, subpixelSampleStraight, subpixelSamplePremul, areaSampleStraight, areaSamplePremul;
  PF_GetBatchFuncFunc getBatchFunc;
  PF_CompositeRectFunc compositeDraftStraight, compositeDraftPremul, compositeBestStraight, compositeBestPremul;
  PF_BlendFunc blendStraight, blendPremul;
  PF_ConvolveFunc convolve;
  PF_CopyFunc copyDraft, copyHQStraight, copyHQPremul;
  PF_FillFunc fill;
  PF_GaussianKernelFunc gaussianKernel;
  PF_IterateFunc iterate;
  PF_PremulFunc premul;
  PF_PremulColorFunc premulColor;
  PF_IterateOriginFunc iterateOrigin, iterateOriginNoClip;
  PF_IterateLUTFunc iterateLUT;
  PF_IterateIndexedFunc iterateIndexed;
  PF_TransferRectFunc transferRect;
  PF_TransformWorldFunc transformWorld;
  PF_ToColourFunc rgbToHlsStraight, rgbToHlsPremul, rgbToYiqStraight, rgbToYiqPremul;
  PF_FromColourFunc hlsToRgbStraight, hlsToRgbPremul, yiqToRgbStraight, yiqToRgbPremul;
  PF_PixelValueFunc luminanceStraight, luminancePremul, hueStraight, huePremul, lightnessStraight,
      lightnessPremul, saturationStraight, saturationPremul;
  PF_FastBlurFunc fastBlurStraight, fastBlurPremul;
  PF_AnyRoutine paintSpot, extractPlanes, insertPlanes, boxBlurUnoScan, gaussianValue;
} PF_RoutineTable;
// The live routine table (for the later parts and the layer transform).
TV_EXPORT PF_RoutineTable* PFp_GetRoutineTable(void);

// ---- The layer transform --------------------------------------------------------------------
// Draws src into dst through matrices (3 x 3 doubles, source to destination,
// row vectors as in M.h): one matrix, or several for motion blur, where each
// destination pixel takes 16 samples along the line from its source position
// under the first matrix towards its position under the last. Each pixel is
// composited with mode (transfer mode, opacity, colour-only flag, dissolve
// seed) and the optional matte. destRect (null: all of dst) is clipped to
// dst; only the pixels whose samples can reach the source are visited.
// quality 0 (draft) samples the nearest pixel; otherwise a footprint of at
// most half a pixel is sampled bilinearly and a larger one by area. Pixels are
// straight (unmatted). field 1 skips odd destination rows, 2 even ones. A
// single whole-pixel translation (or any translation in draft) goes to
// PF_TransferRect. A singular matrix draws nothing and succeeds; projective
// matrices are not supported (5).
TV_EXPORT ErrorCode PF_TransformWorld(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                      const PFWorld* src, const PF_CompositeMode* mode, const PF_MaskWorld* mask,
                                      const FloatMatrix* matrices, int32_t matrixCount, Boolean32 reserved,
                                      const Rect* destRect, PFWorld* dst);
// The built-in routine of the routine table's transformWorld entry;
// PF_TransformWorld calls it directly when that entry is null or this one, and
// otherwise hands the replacement the rectangle the layer covers under the
// first and last matrices.
TV_EXPORT ErrorCode PF_TransformWorld_S(PF_EffectRef ref, int32_t quality, int32_t flags, int32_t field,
                                        const PFWorld* src, const PF_CompositeMode* mode, const PF_MaskWorld* mask,
                                        const FloatMatrix* matrices, int32_t matrixCount, Boolean32 reserved,
                                        const Rect* destRect, PFWorld* dst);
// The transform reports progress through the package's hook (PFp_SetProgressProc).
// Row threads of the built-in pixel routines: the destination rows of the
// transform and of the rectangle transfers (PF_TransferRect_S and the
// composite routines), the strips of the fast blur, and the rows of mask
// coverage (MSK) are shared among up to count threads (1 to 64; 1, the start
// value, keeps every row on the calling thread). The bytes are the same for
// every count; a transform run while a progress hook is installed, a
// transfer whose source shares the destination's memory, and every routine
// while the reference kernels are in use stay on the calling thread. The threads neither allocate from the memory manager nor
// report: their working memory is made before they start.
TV_EXPORT ErrorCode PFp_SetRowThreads(int32_t count);
TV_EXPORT int32_t PFp_GetRowThreads(void);
// Enters PF_TransformWorld_S into the routine table's transformWorld entry.
TV_EXPORT ErrorCode PFp_InstallTransformRoutines(PF_RoutineTable* table);

// ---- Copies, samplers, channels, kernels, blur, coverage buffers, drawing ----------------------
// Positions given to the samplers are 16.16 in pixel units; an integral
// position is the centre of a pixel, so (3 << 16, 5 << 16) is pixel (3, 5).
// Bad arguments fail with 516, reported with the routine's number (below).
// PF_SampleParams.edgeMode: 0 reads pixels outside the source as
// transparent, 1 repeats the edge pixels.
enum { PF_Edge_Transparent = 0, PF_Edge_Repeat = 1 };

// Sampler kinds of PFp_SampleRow.
enum {
  PF_Sample_NN = 0,
  PF_Sample_Subpixel_Straight = 1,
  PF_Sample_Subpixel_Premul = 2,
  PF_Sample_Area_Straight = 3,
  PF_Sample_Area_Premul = 4,
};

// Channel numbers (logical, whatever the world's channel order).
enum { PF_Channel_Alpha = 0, PF_Channel_Red = 1, PF_Channel_Green = 2, PF_Channel_Blue = 3 };

// Four separate one-byte planes (alpha, red, green, blue) of a world's size;
// a null plane is skipped.
typedef struct PF_Planes {
  uint8_t* plane[4];
  int32_t rowBytes[4];
} PF_Planes;

// PF_GaussianKernel flags.
enum {
  PF_Kernel_1D = 1,         // one row of 2r + 1 values instead of a square
  PF_Kernel_Normalize = 2,  // scale so that the values average 255
};
// PF_Convolve flags.
enum {
  PF_Convolve_1D = 1,  // the kernels are one row, applied across then down
  PF_Convolve_RepeatEdges = 8,
};
// Fast blur flags; with neither direction bit both directions are blurred.
enum {
  PF_Blur_Horizontal = 1,
  PF_Blur_Vertical = 2,
  PF_Blur_RepeatEdges = 4,  // pixels beyond the edge repeat the edge instead of being transparent
};
// The largest radius the kernel, convolution and blur routines accept.
enum { PF_MaxKernelRadius = 1023, PF_MaxBlurRadius = 2000 };

// Calls `abort` (when set) before long passes; its non-zero result stops the pass.
typedef struct PF_AbortRecord {
  void* refcon;
  ErrorCode (*abort)(void* refcon);
} PF_AbortRecord;

// A single-channel coverage buffer: a handle to a record with the magic
// 0xFEEDABBA, width, height, a lock count and the pixel handle (width x
// height bytes, rows packed with no gap).
typedef Handle PF_UnoBuffer;
#define PF_UnoMagic 0xFEEDABBAu

// PF_AccumulateUnoBuffers modes (any other value adds).
enum {
  PF_UnoMode_Add = 1,
  PF_UnoMode_Subtract = 2,
  PF_UnoMode_Intersect = 3,
  PF_UnoMode_Lighten = 4,
  PF_UnoMode_Darken = 5,
  PF_UnoMode_Difference = 6,
};

// A closed polygon of double points (a handle).
typedef Handle PF_Wireframe;

// Routine numbers named by bad-argument reports --------------------------------------
// Words of the callback block where the routine has one, selectors for the
// routines reached by selector only, numbers from 65 for the rest.
enum {
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

// Samplers ---------------------------------------------------------------------------
// Nearest neighbour: the pixel at (floor(x + 0.5), floor(y + 0.5)).
TV_EXPORT ErrorCode PF_NNSample(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params, PF_Pixel* out);
// Bilinear between the 2x2 neighbours at 1/256 pixel steps; a position that
// is a pixel centre at that resolution takes the pixel as it is, and four
// equal neighbours give their value. Straight pixels weight colours by alpha.
TV_EXPORT ErrorCode PF_SubpixelSample_Straight(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                               PF_Pixel* out);
TV_EXPORT ErrorCode PF_SubpixelSample_Premul(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                             PF_Pixel* out);
// The mean over the box [x - xRadius, x + xRadius] x [y - yRadius, y + yRadius]
// (radii at least half a pixel, at most 4096 pixels), edge pixels weighted by
// their coverage at 1/256 pixel steps.
TV_EXPORT ErrorCode PF_AreaSample_Straight(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                           PF_Pixel* out);
TV_EXPORT ErrorCode PF_AreaSample_Premul(PF_EffectRef ref, Fixed x, Fixed y, const PF_SampleParams* params,
                                         PF_Pixel* out);
// Samples `count` positions (x + i dx, y + i dy) with the sampler `kind` into out[0..count).
TV_EXPORT ErrorCode PFp_SampleRow(PF_EffectRef ref, int32_t kind, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count,
                                  const PF_SampleParams* params, PF_Pixel* out);

// Copies -----------------------------------------------------------------------------
// Copy srcRect of src into dstRect of dst (null: the whole world), scaling
// when the sizes differ. Draft: nearest neighbour. High quality: each
// destination pixel is the mean of the source area it covers (at least one
// source pixel wide, so enlargements interpolate linearly), never reading
// outside srcRect. The worlds must be distinct.
TV_EXPORT ErrorCode PF_CopyBits_Draft(PF_EffectRef ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                      const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_Draft_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                             const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Straight(PF_EffectRef ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                            const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Straight_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst,
                                                   const Rect* srcRect, const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Premul(PF_EffectRef ref, const PFWorld* src, PFWorld* dst, const Rect* srcRect,
                                          const Rect* dstRect);
TV_EXPORT ErrorCode PF_CopyBits_HQ_Premul_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst,
                                                 const Rect* srcRect, const Rect* dstRect);
// Whole-world copies (draft; high quality straight or premultiplied).
TV_EXPORT ErrorCode PF_WorldCopy(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Straight(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Straight_Static(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);
TV_EXPORT ErrorCode PF_WorldCopy_HQ_Premul(PF_EffectRef ref, const PFWorld* src, PFWorld* dst);

// Channels and planes ------------------------------------------------------------------
// Copies channel srcChannel of src into channel dstChannel of dst (worlds of
// one size); fails with "Can't copy different channel worlds." when the
// worlds' channel orders differ.
TV_EXPORT ErrorCode PF_ChannelCopy(PF_EffectRef ref, const PFWorld* src, int32_t srcChannel, int32_t dstChannel,
                                   PFWorld* dst);
TV_EXPORT ErrorCode PF_ExtractPlanes(PF_EffectRef ref, const PFWorld* src, const PF_Planes* planes);
TV_EXPORT ErrorCode PF_InsertPlanes(PF_EffectRef ref, const PF_Planes* planes, PFWorld* dst);

// Kernels and convolution -----------------------------------------------------------------
// 1 - (1 - e^(-2.378 x^2)) * 1.102 for x <= 1, else 0.
TV_EXPORT double PFp_GaussianValue(double x);
// kernel must hold (2r + 1)^2 values, or 2r + 1 with PF_Kernel_1D, where
// r = ceil(radius) (at most PF_MaxKernelRadius).
TV_EXPORT ErrorCode PF_GaussianKernel(PF_EffectRef ref, double radius, int32_t flags, double multiplier,
                                      int32_t* diameter, int32_t* kernel);
// Each channel of dst = that channel of src convolved with its kernel
// (int32_t values, diameter odd: diameter^2 values, or diameter with
// PF_Convolve_1D where the row is applied across, then down), divided by the
// kernel's sum (1 when the sum is 0), rounded and limited to 0..255; a null
// kernel copies its channel. Pixels beyond the edges are transparent unless
// PF_Convolve_RepeatEdges. area (null: all) limits the destination pixels
// written. src and dst have one size; they may be the same world.
TV_EXPORT ErrorCode PF_Convolve(PF_EffectRef ref, const PFWorld* src, const Rect* area, int32_t flags, int32_t diameter,
                                const void* alphaKernel, const void* redKernel, const void* greenKernel,
                                const void* blueKernel, PFWorld* dst);

// Blur -------------------------------------------------------------------------------------
// Blurs the world in place with running box sums: quality 0 one box of
// half width round(radius) per direction, otherwise three boxes per
// direction approximating a Gaussian of the same variance (vertical passes
// first, then horizontal; radius 0 to PF_MaxBlurRadius). Pixels beyond the
// edges are transparent unless PF_Blur_RepeatEdges. The cost per pixel does
// not depend on the radius.
TV_EXPORT ErrorCode PF_FastBlur_Straight(PF_EffectRef ref, double radius, uint32_t flags, int32_t quality, PFWorld* world);
TV_EXPORT ErrorCode PF_FastBlur_Premul(PF_EffectRef ref, double radius, uint32_t flags, int32_t quality, PFWorld* world);
// How far the blur of a radius at a quality spreads a pixel, in pixels
// (what a world must grow by on each side to keep every pixel it spreads).
TV_EXPORT ErrorCode PF_FastBlurReach(double radius, int32_t quality, int32_t* reach);
// One-dimensional filters of `count` coverage bytes, src[i * srcStride] to
// dst[i * dstStride] (strides in bytes, at least 1; src and dst may be the
// same scan); bytes beyond the ends count as 0.
// Box: mean of the 2 radius + 1 bytes around each byte.
TV_EXPORT ErrorCode PF_BoxBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, int32_t radius,
                                      uint8_t* dst, int32_t dstStride);
// Gaussian: weighted by the one-row kernel of PF_GaussianKernel for radius.
TV_EXPORT ErrorCode PF_GBlurUnoScan(const uint8_t* src, int32_t srcStride, int32_t count, double radius,
                                    uint8_t* dst, int32_t dstStride);

// Uno buffers --------------------------------------------------------------------------------
// A buffer that is not one (or whose pixels are gone) answers 2, reported as
// a failed verification; so does unlocking a buffer that is not locked. New:
// 516 for a null buffer or a side outside 1 .. 30000, 4 (*buffer null on
// failure).
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

// Drawing --------------------------------------------------------------------------------------
// 516 (routine PF_Routine_Wireframe or PF_Routine_PaintSpot) for null or bad
// arguments, 4 (*wireframe null on failure).
TV_EXPORT ErrorCode PF_AllocWireframe(int32_t capacity, PF_Wireframe* wireframe);
TV_EXPORT ErrorCode PF_DisposeWireframe(PF_Wireframe wireframe);
// The centres of the four corner pixels of bounds (clockwise from the top
// left), so that the untransformed outline is the outer ring of its pixels.
TV_EXPORT ErrorCode PF_GenerateWireframe(const LRect* bounds, PF_Wireframe wireframe);
// Maps every point through the matrix (projective when its last column is not 0, 0, 1).
TV_EXPORT ErrorCode PF_TransformWireframe(const FloatMatrix* matrix, PF_Wireframe wireframe);
TV_EXPORT ErrorCode PF_GetWireframePoints(PF_Wireframe wireframe, int32_t max, FloatPoint* points,
                                          int32_t* count);
// Draws the closed outline one pixel wide in `colour`, clipped to the world.
TV_EXPORT ErrorCode PF_DrawWireframe(PF_Wireframe wireframe, const PF_Pixel* colour, PFWorld* world);
// Paints an antialiased disc of `radius` (16.16 pixels) centred at (x, y)
// over the straight pixels of the world with the opacity (0..255).
TV_EXPORT ErrorCode PF_PaintSpot(PF_EffectRef ref, Fixed x, Fixed y, Fixed radius, const PF_Pixel* colour,
                                 int32_t opacity, PFWorld* world);
// Enters the routines above into the routine table (PFp_GetRoutineTable()):
// the samplers, copies, convolution, Gaussian kernel, fast blurs, planes,
// box-blur scan, Gaussian value and spot painting.
TV_EXPORT ErrorCode PFp_InstallSecondRoutines(PF_RoutineTable* table);
