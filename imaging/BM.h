// BM: bitmap worlds. Every pixel buffer of the engine is a World: a bounds
// rectangle, a depth (1, 2, 4, 8, 16 or 32 bits), row bytes and pixels in a
// relocatable (optionally purgeable) block. The package creates and disposes
// worlds, locks and unlocks their pixels (reloading purged pixels on demand),
// clears them, copies rectangles between them, and wraps locked worlds into
// the PFWorld record that effects and pixel routines read.
//
// Pixels: 32-bit worlds hold 8-bit channels, alpha-red-green-blue in memory
// (byte 0 alpha) unless the World's channel order is set to blue-green-red-
// alpha; 16-bit pixels are big-endian x-5-5-5; depths up to 8 are colour
// indices packed most significant bits first. Rows are `rowBytes` apart.
//
// What callers may rely on:
// - Failures are reported once (package 7, severity 8). Every World
//   operation answers 2 when the package is not born or the handle is not a
//   living World; 3 for a null required pointer or a bad argument (depth,
//   bounds, order, mode, a locked or shared World that cannot change); 8 for
//   a depth the (virtual) screen cannot show; 0x701 when purged pixels are
//   needed and not reloaded; 4 out of memory. The PFWorld operations answer
//   516 instead of 3.
// - Out-parameters are cleared first (null Worlds, 0 sizes, zeroed
//   records), so a failed call leaves them cleared; a change refused for
//   its arguments leaves the World as it was.
// - Locked pixels never move; pixel locks nest. A World's pixels are inside
//   the memory manager's budget and may be purged only when flagged
//   purgeable and unlocked.
#pragma once

#include "STR.h"
#include "Types.h"

// A World: a handle to the World record.
typedef Handle BM_World;

enum { BM_PackageNumber = 7 };

// Errors of the package (besides the general codes 1, 2, 3, 4, 5, 8, 10).
enum {
  BM_ErrPixelsPurged = 0x701,  // 1793: the pixels are purged
  BM_ErrBadEffectParam = 516,  // PFWorld operations: bad argument
};

// Creation flags of BM_NewWorld.
enum {
  BM_Flag_SharePixels = 0x01,    // a window onto the parent World's pixels; needs BM_Flag_ShareDevice
  BM_Flag_ShareDevice = 0x02,    // share the parent's device (same depth as the parent)
  BM_Flag_ParentWindow = 0x04,   // drawn in a parent window's port (first argument: the port)
  BM_Flag_KeepLocal = 0x08,      // pixels in local memory
  BM_Flag_TempMemory = 0x10,     // pixels in temporary memory
  BM_Flag_Purgeable = 0x20,      // pixels purgeable (also tracks the current purge state)
  BM_Flag_ScreenDevice = 0x40,   // stands for a screen device (first argument: the device)
  BM_Flag_Clear = 0x100,         // pixels cleared to zero on creation
};

// Depth 0 asks for the parent's depth.
enum { BM_Depth_SHARE = 0 };

// BM_GetPixelsState / BM_SetPixelsState bits (values, not positions).
enum {
  BM_PixState_Purged = 1,     // as a state to set: purge now (implies purgeable)
  BM_PixState_Purgeable = 2,
  BM_PixState_Locked = 4,
};

// 32-bit channel orders in memory.
enum {
  BM_Order_ARGB = 0,  // byte 0 alpha
  BM_Order_BGRA = 1,  // byte 3 alpha
};

// Blit modes of BM_Blit (indices into the platform copy-mode table).
enum {
  BM_Blit_Copy = 0, BM_Blit_Or = 1, BM_Blit_Xor = 2, BM_Blit_Bic = 3,
  BM_Blit_NotCopy = 4, BM_Blit_NotOr = 5, BM_Blit_NotXor = 6, BM_Blit_NotBic = 7,
  BM_Blit_Blend = 8, BM_Blit_AddPin = 9, BM_Blit_AddOver = 10, BM_Blit_SubPin = 11,
  BM_Blit_AddMax = 12, BM_Blit_SubOver = 13, BM_Blit_AdMin = 14, BM_Blit_DitherCopy = 15,
  BM_Blit_DitherCopy2 = 16, BM_Blit_Transparent = 17, BM_Blit_Highlight = 18,
  BM_Blit_ModeCount = 19,
};

// The PFWorld kinds.
#define PF_WorldKind_New 0xAAAABBBBu      // made by PF_NewWorld
#define PF_WorldKind_Wrapped 0xAAAACCCCu  // made by PF_MakeBMIntoPF
#define PF_WorldKind_Layer 0xAAAAAAAAu    // made by PF_MakeBMIntoPF_Layer
enum { PF_WorldFlag_Writeable = 2 };

// The record through which effects and pixel routines see a locked World.
typedef struct PFWorld {
  uintptr_t reserved0;  // layer worlds: a host reference
  uintptr_t reserved1;  // layer worlds: a second host reference
  uint32_t worldFlags;  // PF_WorldFlag_Writeable for PF_NewWorld worlds
  char* data;           // first pixel
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  Rect extentHint;      // top, left, bottom, right
  void* platformRef;    // the World's port
  BM_World world;
  uint32_t kindMagic;   // PF_WorldKind_*
  uint32_t reserved[7];
} PFWorld;

// The save area of BM_GetGlobals / BM_SetGlobals.
typedef struct BM_SavedGlobals {
#ifdef __cplusplus
  alignas(8) uint8_t bytes[256];
#else
  _Alignas(8) uint8_t bytes[256];
#endif
} BM_SavedGlobals;

// The drawing procedures installed by BM_SetBlitLevel(1). Colours are
// 0xRRGGBB00; for depths up to 8 the colour index is the low byte.
typedef struct BM_BlitProcs {
  ErrorCode (*readPixel)(BM_World world, int32_t h, int32_t v, uint32_t* colour);
  ErrorCode (*writePixel)(BM_World world, int32_t h, int32_t v, uint32_t colour);
  ErrorCode (*copyRectToPoint)(BM_World src, BM_World dst, const Rect* srcRect, Point dstTopLeft,
                               int32_t mode);
  ErrorCode (*scrollRect)(BM_World world, const Rect* rect, int32_t dh, int32_t dv);
  ErrorCode (*fillRect)(BM_World world, const Rect* rect, uint32_t colour);
  ErrorCode (*copy)(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect, int32_t mode);
  // Copies only when *counter equals start; then counts *counter down.
  ErrorCode (*countedCopy)(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect,
                           int32_t mode, int32_t* counter, int32_t start);
  // Copies, then installs the native table lut (if given) as BM_SetNativeLut.
  ErrorCode (*copyInstallLut)(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect,
                              int32_t mode, Handle lut);
  // A positive factor multiplies the source size, a negative one divides it.
  ErrorCode (*scaledCopy)(BM_World src, BM_World dst, const Rect* srcRect, Point dstTopLeft,
                          int32_t factor);
} BM_BlitProcs;

TV_EXPORT STR_Table BMp_G_STRs;

// ---- Package frame ----------------------------------------------------------
TV_EXPORT uint32_t BM_PkgObjectVersion(void);
TV_EXPORT ErrorCode BM_CheckVersions(LocationCode location, int32_t expectedMajor);
// A second birth is reported as a warning and succeeds. The string table's
// installation codes; a screen device's World that cannot be made fails the
// birth (the package stays unborn). Death: 11 when not born.
TV_EXPORT ErrorCode BM_Birth(int32_t mode);
TV_EXPORT ErrorCode BM_Death(void);
// Copies the package globals out and marks the package unborn until
// BM_SetGlobals restores them. 3 for a null save or one that does not hold
// born globals.
TV_EXPORT ErrorCode BM_GetGlobals(BM_SavedGlobals* save);
TV_EXPORT ErrorCode BM_SetGlobals(const BM_SavedGlobals* save);
// Re-births the package when a screen device changed its depth.
TV_EXPORT ErrorCode BM_UpdateGlobals(Boolean32* changed);

// ---- Worlds -------------------------------------------------------------------
// first: the parent World, the parent window's port or the screen device, as
// the flags say. Exactly one of existingRecord and outWorld is given (else 3).
// 3 for bad depth, bounds or row bytes, or sharing without a device; 8; 4.
TV_EXPORT ErrorCode BM_NewWorld(void* first, uint32_t flags, const Rect* bounds, int32_t depth,
                                int32_t reserved, Handle existingRecord, BM_World* outWorld);
// 3 while the World has children (windows onto its pixels).
TV_EXPORT ErrorCode BM_DisposeWorld(BM_World world);
// Depth 0 keeps the depth, null bounds keep the size. 3 for a locked World,
// one with children or a shared one, or bad depth or bounds; 8; 4, when the
// World keeps its size but not its pixels' contents (they are purged when
// even a block of the old size cannot be had). An indexed World whose
// depth changes takes the standard table of its new depth; a colour table
// given (a native table) is then installed as by BM_SetNativeLut.
TV_EXPORT ErrorCode BM_UpdateWorld(int32_t depth, const Rect* bounds, Handle colourTable, void* device,
                                   int32_t reserved, BM_World world);
// LockPixels: 0x701 for purged pixels (*failed 1). LoadLockPixels reloads
// purged pixels (their contents are lost): 4 when they cannot be. Unlock: 3
// when not locked.
TV_EXPORT ErrorCode BM_LockPixels(int32_t mode, BM_World world, Boolean32* failed);
TV_EXPORT ErrorCode BM_LoadLockPixels(int32_t mode, BM_World world, Boolean32* wasPurged,
                                      Boolean32* reloaded);
TV_EXPORT ErrorCode BM_UnlockPixels(BM_World world);
// The locked base address, else the pixels' current address, else null.
TV_EXPORT char* BMp_GetPixBaseAddr(BM_World world);
// Bits BM_PixState_*. Set: 3 to purge locked or screen pixels, 0x701 to lock
// purged ones.
TV_EXPORT ErrorCode BM_GetPixelsState(BM_World world, int32_t* state);
TV_EXPORT ErrorCode BM_SetPixelsState(int32_t state, int32_t mask, BM_World world);
// 3 for a policy other than 0 or 1.
TV_EXPORT ErrorCode BM_SetLockPolicy(int32_t policy);
TV_EXPORT int32_t BMp_GetLockPolicy(void);
// value: the four bytes written to each 32-bit word, first byte in the high byte.
TV_EXPORT ErrorCode BM_ClearWorldToLong(BM_World world, uint32_t value);
TV_EXPORT ErrorCode BM_ClearWorldToZeros(BM_World world);
TV_EXPORT ErrorCode BM_InqMaxWorld(int32_t* maxWidth, int32_t* maxHeight, int32_t* maxDepth);

// Field inquiries.
TV_EXPORT ErrorCode BM_GetWorldBounds(BM_World world, Rect* bounds);
TV_EXPORT ErrorCode BM_GetWorldInfo(BM_World world, int32_t* width, int32_t* height, int32_t* depth,
                                    int32_t* rowBytes);
TV_EXPORT ErrorCode BM_GetChannelOrder(BM_World world, int32_t* order);
// Marks the pixels as being in `order` without touching them (3 for an
// unknown order).
TV_EXPORT ErrorCode BM_AssumeChannelOrder(BM_World world, int32_t order);
// Re-orders the pixels into `order`: 3 for an unknown order or a World that
// is not a 32-bit memory World, 0x701 for purged pixels.
TV_EXPORT ErrorCode BM_SetChannelOrder(BM_World world, int32_t order);

// ---- Copying ----------------------------------------------------------------------
// Rectangles are in each World's bounds coordinates (null: the whole World);
// both are clipped to their worlds. Nearest-neighbour scaling.
// 3 for an unknown mode or worlds of different depths (or a depth the mode
// does not take), 5 for the highlight mode, 0x701 for purged pixels, 4.
TV_EXPORT ErrorCode BM_Blit(BM_World src, BM_World dst, const Rect* srcRect, const Rect* dstRect,
                            int32_t mode);
// Level 1 only: 5 for level 0, 3 for any other.
TV_EXPORT ErrorCode BM_SetBlitLevel(int32_t level);
// The procedures of the current blit level (all null before a level is set).
TV_EXPORT ErrorCode BMp_GetBlitProcs(BM_BlitProcs* procs);
// 3 for a World that is not a screen device's, else 5: there are no screens
// to synchronise with.
TV_EXPORT ErrorCode BM_SyncTo(BM_World world, Boolean32 on);

// ---- Effect worlds ----------------------------------------------------------------
// 516 (reported) for a null record, a size outside 1..30000 or a record that
// is not one of the kinds made here; the World codes for the World wrapped;
// 4. The record is zeroed on failure.
TV_EXPORT ErrorCode PF_NewWorld(void* effectRef, int32_t width, int32_t height, Boolean32 clear,
                                PFWorld* world);
TV_EXPORT ErrorCode PF_DisposeWorld(void* effectRef, PFWorld* world);
TV_EXPORT ErrorCode PF_MakeBMIntoPF(BM_World world, const Rect* extent, PFWorld* pfWorld);
TV_EXPORT ErrorCode PF_MakeBMIntoPF_Layer(BM_World world, uintptr_t reserved0, uintptr_t reserved1,
                                          uint32_t worldFlags, const Rect* extent, PFWorld* pfWorld);
TV_EXPORT ErrorCode PF_GetPlatformRefs(void* effectRef, const PFWorld* world, void** port,
                                       void** device);

// ---- Bookkeeping -------------------------------------------------------------------
// Worlds made by BM_NewWorld and not yet disposed (device worlds included).
TV_EXPORT int32_t BMp_LiveWorldCount(void);

// ---- Virtual screen devices (headless) ------------------------------------------------
// The platform has no screens; a host or a test may add virtual ones before
// BM_Birth, which makes one World (flag BM_Flag_ScreenDevice) for each. 3 for
// a bad depth or bounds, more than 8 screens, or changing them while born. The
// first screen added is the main device. An indexed screen starts with the
// standard colour table of its depth.
TV_EXPORT ErrorCode BMp_AddVirtualScreen(const Rect* bounds, int32_t depth, void** device);
TV_EXPORT ErrorCode BMp_SetVirtualScreenDepth(void* device, int32_t depth);
TV_EXPORT ErrorCode BMp_RemoveVirtualScreens(void);
// The World of device slot 0..7, or null.
TV_EXPORT ErrorCode BMp_GetDeviceWorld(int32_t slot, BM_World* world);

// ---- Colour tables and screen devices ---------------------------------------------------
// Indexed worlds (depths 1 to 8) draw with a colour table. The engine's form
// is the compact LUT below; the platform's form is a native table (a handle,
// see platform/ColourTable.h: seed, flags, size = entries - 1, then one
// {value, red, green, blue} entry of 16-bit components each). A new indexed
// World starts with the standard table of its depth; sub-worlds and worlds
// sharing a device share its table. Monochrome worlds and depths above 8 have
// no table.
//
// What callers may rely on:
// - Change stamps are unique in the process: they count up by one from 1024
//   (the first stamp is 1024) and are not restarted by a new birth.
// - Operations that fill a LUT or return a table set them to their invalid
//   value first (a LUT header of zeros, a null table).
// - Every failure is reported once, at location (7 << 24) | site.

enum { BM_LutMaxEntries = 256 };

// A compact LUT: entries 0xRRGGBB00 (red in the high byte, low byte 0).
typedef struct BM_Lut {
  uint32_t reserved;  // 0
  uint32_t stamp;     // change stamp
  int16_t depth;      // 1, 2, 4 or 8
  int16_t count;      // entries in use: 1 to 1 << depth
  uint32_t entries[BM_LutMaxEntries];
} BM_Lut;

// A native colour table (a handle of the platform layer).
typedef Handle BM_NativeLut;

// A palette fade: the current values, the per-step deltas and the values the
// last step reaches. Its tables are native tables of 1 << depth entries.
typedef struct BM_FadeLut {
  uint32_t reserved;        // 0
  BM_NativeLut current;     // the start values, changed by each step
  BM_NativeLut deltas;      // per-step deltas: 8.8 fixed point in each 16-bit component (signed)
  uint8_t allocatedHere;    // the record was allocated by BM_NewFadeLut
  int32_t steps;            // steps of the fade computed last (0: none)
  int32_t step;             // steps taken
  BM_NativeLut target;      // the values after the last step
} BM_FadeLut;

// A dissolve: every pixel of a rectangle, once each, in a pseudo-random order
// spread over a number of steps. Pixel numbers are register values v of a
// maximal-length shift register (v = (v & 1) ? (v >> 1) ^ feedback : v >> 1,
// starting from 1); pixel number 0 comes first. A number stands for column
// left + (v & columnMask) and row top + (v >> columnBits); numbers outside the
// rectangle are skipped. Rectangles of fewer than 3 bits (at most 4 pixels)
// have feedback 0 and are visited in row order.
typedef struct BM_DissolveState {
  Rect rect;
  int32_t refA;             // the caller's values
  int32_t refB;
  int32_t steps;            // steps of the dissolve
  int32_t stepsLeft;        // steps not yet taken
  uint32_t pixelsPerStep;   // (rows x columns - 1) / steps + 1
  int16_t columnBits;       // bits of a column number
  uint32_t columnMask;      // (1 << columnBits) - 1
  uint32_t feedback;        // the register's feedback mask (taps)
  uint32_t next;            // number of the next pixel to consider (stepping state)
  uint32_t pixelsLeft;      // pixels not yet visited
} BM_DissolveState;

// Called once for every pixel of a dissolve step, in global coordinates.
typedef void (*BM_DissolvePixelProc)(void* refcon, int32_t h, int32_t v);

// Device capabilities of BM_GetDeviceCaps.
enum {
  BM_Caps_Direct = 0,   // depths 24 and 32
  BM_Caps_Mono = 2,     // depth 1
  BM_Caps_Indexed = 3,  // depths 2, 4 and 8
};

// Devices. The device worlds are made at birth, one per screen device of the
// platform (at most 8, in the order of its device list; without colour
// graphics only the main screen's). Headless there may be none, and every
// device inquiry then yields null.
// index: 0 to 7 a slot; -1 the largest (width x height; ties: the later
// slot); -2 the deepest (ties: the later slot); -3 the main device (2 when no
// slot holds it). Any other index, or -1 and -2 with no device, gives null and
// 0. Without colour graphics negative indices mean slot 0.
TV_EXPORT ErrorCode BM_GetIndDevice(int32_t index, BM_World* world);
// The device World that best fits a depth (0: any) and a rectangle (null:
// none), or null when no slot qualifies. With mustMatch only devices of that
// depth qualify, with mustFit only devices at least as wide and as tall as
// the rectangle. The lowest score wins, ties go to the later slot:
// (depth differs ? asked - device depth + 32 : 0) + for the width and the
// height each (differs ? 1 : 0) + (device narrower/shorter ? 1 + missing / 8
// : 0), all doubled, + 1 when the rectangle's top-left (0,0 without one) is
// outside the device.
TV_EXPORT ErrorCode BM_GetBestDevice(int32_t depth, Boolean32 mustMatch, const Rect* rect, Boolean32 mustFit,
                                     BM_World* world);
// BM_Caps_* of the World's depth; 1 for depth 16 (caps -1).
TV_EXPORT ErrorCode BM_GetDeviceCaps(BM_World world, int32_t* caps);

// Native tables. depth 1, 2, 4 or 8 (3 otherwise); table null on failure.
TV_EXPORT ErrorCode BM_NewNativeLut(int32_t depth, int32_t ignored, BM_NativeLut* table);
TV_EXPORT ErrorCode BM_DisposeNativeLut(BM_NativeLut table);
// destination becomes an exact copy of source (2 for a damaged table, 4 for memory).
TV_EXPORT ErrorCode BM_CopyNativeLut(BM_NativeLut source, BM_NativeLut destination);
// A copy of the World's table, which the caller disposes with
// BM_DisposeNativeLut; null (and 0) for monochrome worlds and depths above 8.
TV_EXPORT ErrorCode BM_GetNativeLut(BM_World world, BM_NativeLut* table);

// The World's table as a compact LUT; 3 for a World without one.
TV_EXPORT ErrorCode BM_GetLut(BM_World world, BM_Lut* lut);
// Installing into a World's table (through its device): 3 for a monochrome
// World, without colour graphics, above depth 8, and for more entries than
// the depth allows or a range outside either table; 2 for a damaged table.
// Entries not written keep their values; the World's table takes a new seed.
TV_EXPORT ErrorCode BM_SetLut(const BM_Lut* lut, BM_World world);
TV_EXPORT ErrorCode BM_SetNativeLut(BM_NativeLut table, BM_World world);
TV_EXPORT ErrorCode BM_SetNativeLutRange(BM_NativeLut table, int32_t firstSource, int32_t count,
                                         int32_t firstDestination, BM_World world);
TV_EXPORT ErrorCode BM_SetCompactLutRange(const BM_Lut* lut, int32_t first, int32_t count, int32_t destination,
                                          BM_World world);
// Gives the World's table the grey ramp of its depth, white down to black
// (depth 2: FF, AA, 55, 00; depth 4: FF, EE, ... 00; depth 8: 255 down to 0).
// Does nothing at depth 1; 3 above depth 8.
TV_EXPORT ErrorCode BM_InstallGrayscale(BM_World world);

// Conversions. To native: seed = stamp, flags 0, 1 << depth entries with the
// components of each byte repeated (0xAB -> 0xABAB); entries past the LUT's
// count are black. 5 for a LUT without entries, 3 for a bad depth or more
// entries than the depth allows. The table is resized as needed.
TV_EXPORT ErrorCode BM_ConvToNativeLut(const BM_Lut* lut, BM_NativeLut table);
// To compact: stamp = seed, count = the table's n entries, depth 8 for n > 16,
// 4 for n > 4, 2 for n > 2, 1 for n = 2; 10 for n < 2 or n > 256; entries
// from the components' high bytes.
TV_EXPORT ErrorCode BM_ConvToCompactLut(BM_NativeLut table, BM_Lut* lut);
// Sets reserved 0, a new stamp, the depth and count 1 << depth; the entries
// are not touched. depth 1, 2, 4 or 8 (3 otherwise).
TV_EXPORT ErrorCode BM_InitLut(int32_t depth, BM_Lut* lut);
// Takes a new stamp.
TV_EXPORT ErrorCode BM_ChangedLut(BM_Lut* lut);
// The system LUT of depth 1, 2, 4 or 8 (the platform's standard table), with
// a new stamp; 3 for any other depth.
TV_EXPORT ErrorCode BM_GetSystemLut(int32_t depth, BM_Lut* lut);

// Fades. Exactly one of record (a caller's record, filled here) and outFade
// (a record allocated here) is given; depth 1, 2, 4 or 8.
TV_EXPORT ErrorCode BM_NewFadeLut(int32_t depth, BM_FadeLut* record, BM_FadeLut** outFade);
TV_EXPORT ErrorCode BM_DisposeFadeLut(BM_FadeLut* fade);
// Prepares a fade from start (a native table; null: the fade's current
// values) to target in `steps` steps (more than 254 are 254; fewer than 2
// fail with 3). start and target must have the fade's number of entries (3).
// Each delta component is (target - current) / steps in 8.8 fixed point,
// current being the high byte of the current component: the 16.16 quotient
// shifted right by 8, plus 1 when that is negative.
TV_EXPORT ErrorCode BM_CalcFadeLut(BM_FadeLut* fade, const BM_Lut* target, int32_t steps, BM_NativeLut start);
// Adds the deltas to the current values (the last step sets the target
// exactly) and, when world is given, installs them into its table (as
// BM_SetNativeLut). After the last step it does nothing and returns 0.
TV_EXPORT ErrorCode BM_ForwardStep(BM_FadeLut* fade, BM_World world);
// Always 5, "backwardstep unimplemented.".
TV_EXPORT ErrorCode BM_BackwardStep(BM_FadeLut* fade, BM_World world);

// Dissolves. 3 for an empty rectangle or fewer than 1 step.
TV_EXPORT ErrorCode BM_InitDissolveState(const Rect* rect, int32_t refA, int32_t refB, int32_t steps,
                                         BM_DissolveState* state);
// Takes the next step of a dissolve: calls proc for its pixels (at most
// pixelsPerStep; none once every pixel was visited) and counts the step.
// visited (optional) receives the number of pixels of this step.
TV_EXPORT ErrorCode BMp_DissolveStep(BM_DissolveState* state, BM_DissolvePixelProc proc, void* refcon,
                                     uint32_t* visited);

// The pattern dither matrix: columns x rows values (1 to 64 each), each
// stored multiplied by 100; null values install the 4 x 4 matrix 15, 30, 60,
// 105, 45, 75, 120, 165, 90, 135, 180, 210, 150, 195, 225, 240. The block is
// reallocated only when the number of cells changes.
TV_EXPORT ErrorCode BM_SetPatternDitherMatrix(int32_t columns, int32_t rows, const uint8_t* values);
// The current matrix (cells null and 0 x 0 when none is installed).
TV_EXPORT ErrorCode BMp_GetPatternDitherMatrix(int32_t* columns, int32_t* rows, const uint16_t** cells);

// Converts the pixels of one World into another of the same size, one of
// depth 1 to 8 and the other of depth 32, through the indexed World's table
// (a monochrome World reads 0 as white and 1 as black). Indexed to 32-bit
// writes opaque pixels in the destination's channel order; 32-bit to indexed
// takes the entry of exactly the pixel's colour (the first one when several
// match) or else the nearest entry, found at 5 bits per channel. 3 for other
// depths or sizes, 1793 when either World's pixels are purged.
TV_EXPORT ErrorCode BM_ConvertPixels(BM_World source, BM_World destination);
