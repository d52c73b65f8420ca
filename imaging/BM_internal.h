// Package-private parts of BM: the World record, the headless offscreen
// layer (pixel maps, devices, ports, offscreen buffers, rectangle copy) and
// the package globals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "BM.h"
#include "Memory.h"
#include "Package.h"

namespace tv::bm {

constexpr uint32_t kMagic = 0xBECCA;

// Report sites (location (7 << 24) | site).
enum Site : uint32_t {
  kSiteBirth = 1,
  kSiteDeath = 2,
  kSiteNewWorld = 3,
  kSiteDispose = 4,
  kSiteUpdate = 5,
  kSiteGlobals = 6,
  kSiteCheck = 7,
  kSiteState = 8,
  kSitePolicy = 9,
  kSiteClear = 10,
  kSiteBlit = 11,
  kSiteBlitLevel = 12,
  kSiteSync = 13,
  kSitePF = 14,
  kSiteOrder = 15,
  kSiteDevices = 16,
  // Colour tables and screen devices.
  kSiteLut = 17,
  kSiteNativeLut = 18,
  kSiteWorldLut = 19,
  kSiteFade = 20,
  kSiteDissolve = 21,
  kSiteDither = 22,
  kSiteConvert = 23,
  kSiteDeviceQuery = 24,
  kSiteLoadLock = 0x32,
  kSiteLock = 0x33,
  kSiteUnlock = 0x34,
};

inline LocationCode Loc(Site site) { return Location(BM_PackageNumber, site); }

// Indices into BMp_G_STRs.
enum Str : int32_t {
  kStrDamaged = 0,
  kStrNotBorn,
  kStrBadRecordArgs,
  kStrShareNeedsDevice,
  kStrNoColour,
  kStrScreenBounds,
  kStrWindowBounds,
  kStrWindowShare,
  kStrDepthShare,
  kStrNullRect,
  kStrBadDepth,
  kStrBadBounds,
  kStrRowBytes,
  kStrNoPort,
  kStrWindowDepth,
  kStrNoDevice,
  kStrParentDepth,
  kStrChildOutside,
  kStrPurged,
  kStrNegativeLock,
  kStrLocked,
  kStrHasChildren,
  kStrSharedUpdate,
  kStrDepthChange,
  kStrUpdateFailed,
  kStrBadPolicy,
  kStrUnimplemented,
  kStrBadBlitLevel,
  kStrBadBlitMode,
  kStrBlitDepth,
  kStrHighlight,
  kStrNoBlitLevel,
  kStrBadFactor,
  kStrOutside,
  kStrSyncNeedsDevice,
  kStrSyncUnimplemented,
  kStrPFSize,
  kStrPFKind,
  kStrPFNull,
  kStrBadOrder,
  kStrLutUnavailable,
  kStrAlreadyBorn,
  kStrLeaked,
  kStrPixelsMemory,
  kStrRecordMemory,
  kStrTooManyScreens,
  kStrBorn,
  kStrBadSave,
  kStrBadArg,
  kStrDepthMismatch,
  kStrScratchMemory,
  kStrOffscreenMemory,
  kStrNoDeep,
  // Colour tables and screen devices.
  kStrLutDepth,
  kStrLutEntries,
  kStrLutRange,
  kStrNoLut,
  kStrEmptyLut,
  kStrNativeCountFormat,
  kStrNativeCount,
  kStrBadNativeLut,
  kStrInstallFailed,
  kStrDeviceCaps,
  kStrNoMainDevice,
  kStrFadeSteps,
  kStrFadeSize,
  kStrBadFade,
  kStrBackwardStep,
  kStrDissolveSteps,
  kStrDissolveRect,
  kStrDitherSize,
  kStrConvertDepths,
  kStrConvertSize,
  kStrLutMemory,
  kStrDitherMemory,
  kStrConvertMemory,
  // Operations and parts named in the texts above.
  kStrBlitSource,
  kStrBlitDestination,
  kStrReadPixel,
  kStrWritePixel,
  kStrScroll,
  kStrFill,
  kStrCountedCopy,
  kStrParent,
  kStrConvertSource,
  kStrConvertDestination,
  kStrScreenNotPurgeable,
  kStrCount
};

extern const pkg::Reporter kReport;

// The pixel depths a World may have.
constexpr bool ValidDepth(int32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 32;
}

// ---- The headless offscreen layer ------------------------------------------------

namespace plat {

struct PixMap {
  char* baseAddr;      // first pixel of the bounds' top-left while locked
  uint32_t rowBytes;   // full 32-bit value (no 14-bit header field to overflow)
  Rect bounds;
  int16_t depth;
  int16_t pixelType;   // 0 indexed, 16 direct
  int16_t cmpCount;
  int16_t cmpSize;
  Fixed hRes, vRes;    // 72 dpi
  int32_t order;       // BM_Order_* (32-bit pixels)
};

struct Device {
  PixMap pixMap;
  Rect rect;
  uint8_t screen;   // a (virtual) screen device
  char* screenPixels;  // a virtual screen's pixel memory
  char* retiredPixels; // its pixels before the last depth change
  Handle clut;         // native colour table of an indexed device (null above depth 8)
};

struct Port {
  Rect portRect;
  PixMap pixMap;
  Device* device;
  uint8_t colour;   // 0: a plain black-and-white port
  uint8_t open;
};

// An offscreen buffer: a port with its own pixels in a relocatable block.
struct Offscreen {
  Port port;        // first: an Offscreen is usable as its port
  Device* device;
  uint8_t ownsDevice;
  uint8_t purgeable;
  Handle pixels;
  size_t pixelBytes;
  int32_t lockCount;
};

// Offscreen flags.
enum : uint32_t {
  kOffPurgeable = 1,
  kOffTemp = 2,
  kOffKeepLocal = 4,
  kOffNoNewDevice = 8,
};

// Row bytes of the rule: ((width + e) x depth + 31) / 8 rounded down to a
// multiple of 4, e = 1 above depth 8. Computed in 64 bits.
uint64_t RowBytesFor(int64_t width, int32_t depth);
// Bytes of a pixel block of that size: height x row bytes, + 4 up to depth 8.
uint64_t PixelBytesFor(int64_t height, uint64_t rowBytes, int32_t depth);

void InitPixMap(PixMap& pm, const Rect& bounds, int32_t depth, uint32_t rowBytes);

// New buffer; 0, -108 (no memory) or 3 (bad size).
ErrorCode NewOffscreen(int32_t depth, const Rect& bounds, uint32_t flags, Device* shareDevice,
                       Offscreen** out);
// New depth and bounds keeping the overlapping pixels; the port stays. On
// failure the buffer is unchanged.
ErrorCode UpdateOffscreen(Offscreen* off, int32_t depth, const Rect& bounds);
void DisposeOffscreen(Offscreen* off);
// False when the pixels are purged. Nests.
bool LockOffscreen(Offscreen* off);
void UnlockOffscreen(Offscreen* off);
bool OffscreenPurged(const Offscreen* off);
// Reallocates purged pixels (contents undefined); 0 or -108.
ErrorCode ReloadOffscreen(Offscreen* off);
void SetOffscreenPurgeable(Offscreen* off, bool purgeable);
// Empties the pixels now; false when locked.
bool PurgeOffscreen(Offscreen* off);

// Ports: a plain port block opened over a pixel map.
Port* NewPort();
void DisposePort(Port* port);

// Virtual screens.
int32_t ScreenCount();
Device* ScreenAt(int32_t index);
bool IsScreen(const void* device);
Port* ScreenPort(Device* device);

// Pixel access on a locked pixel map; (h, v) in bounds coordinates.
uint32_t GetPixelValue(const PixMap& pm, int32_t h, int32_t v);
void SetPixelValue(const PixMap& pm, int32_t h, int32_t v, uint32_t value);

// The platform copy modes.
enum : int32_t {
  kSrcCopy = 0, kSrcOr, kSrcXor, kSrcBic, kNotSrcCopy, kNotSrcOr, kNotSrcXor, kNotSrcBic,
  kBlend = 32, kAddPin = 33, kAddOver = 34, kSubPin = 35, kTransparent = 36, kAddMax = 37,
  kSubOver = 38, kAdMin = 39, kHilite = 50, kDitherCopy = 64,
};
// Copies srcRect of src onto dstRect of dst (pixel-map bounds coordinates),
// scaling by nearest neighbour; only destination pixels inside dstClip whose
// source pixel lies inside srcClip are written (both clips are further cut to
// the pixel maps' bounds). Both pixel maps locked; the two may share memory.
// 0, 3 (depths or mode), 4 (scratch memory) or 5 (mode unavailable).
ErrorCode CopyBits(const PixMap& src, const Rect& srcClip, const PixMap& dst, const Rect& dstClip,
                   const Rect& srcRect, const Rect& dstRect, int32_t mode);

}  // namespace plat

// ---- The World record -----------------------------------------------------------

struct WorldRec {
  uint32_t magic;
  uint32_t flags;
  int16_t width;
  int16_t height;
  Rect bounds;
  BM_World parent;        // the World whose pixels this one shares (8 reserved bytes)
  int16_t depth;
  uint8_t ownsRecord;
  uint8_t reserved;
  plat::Port* port;
  plat::Device* device;
  uint8_t ownsPortMemory;
  uint8_t portOpened;
  uint8_t ownsDevice;
  uint8_t ownsPixelBlock;
  uint8_t monochrome;
  uint8_t platformOffscreen;
  int32_t lockCount;
  Handle pixels;
  uint32_t originOffset;
  char* baseAddr;
  uint32_t rowBytes;
  uint8_t directlyAddressable;
  uint8_t aligned;
  uint16_t pixelShift;
  uint16_t pixelMask;
  int32_t children;       // live worlds sharing these pixels
  plat::Offscreen* offscreen;
  uint32_t tailMagic;
};
static_assert(std::is_trivially_copyable_v<WorldRec>);

inline WorldRec* Rec(BM_World w) { return reinterpret_cast<WorldRec*>(*w); }

constexpr pkg::Magic<WorldRec> kWorldMagic{&WorldRec::magic, kMagic, &WorldRec::tailMagic, kMagic};

// Each operation locks the record of a World with one HandleLock<WorldRec>
// for its life (the saved state comes back after), taken at its entry, and
// passes the record down.

// 0 when the package is born and the World's magics are intact; otherwise
// reports (2) and returns 2. `what` names the operation.
ErrorCode CheckWorld(BM_World w, Site site, const char* what);
// The same with the table text `what` naming the World.
ErrorCode CheckWorld(BM_World w, Site site, Str what);
ErrorCode CheckBorn(Site site);


// ---- Globals -----------------------------------------------------------------------

constexpr int kDeviceSlots = 8;

struct Globals {
  uint8_t born;
  uint8_t colour;      // colour services
  uint8_t deep;        // 32-bit offscreen services
  int32_t birthMode;
  int32_t blitLevel;
  int32_t lockPolicy;
  int32_t liveWorlds;
  int32_t sideRecords; // row-bytes side records (never needed: row bytes are 32-bit)
  BM_World devices[kDeviceSlots];
  BM_BlitProcs procs;
  // Colour tables and screen devices.
  Handle table8;        // the standard 8-bit native table, made at birth with colour services
  uint16_t* dither;     // the pattern dither matrix (values x 100), or null
  int16_t ditherColumns;
  int16_t ditherRows;
};
static_assert(std::is_trivially_copyable_v<Globals>);
static_assert(sizeof(Globals) <= sizeof(BM_SavedGlobals));

Globals& G();

// Internal lock used by the lock operations and the blits.
struct LockResult {
  bool failed = false;
  bool wasPurged = false;
  bool reloaded = false;
  ErrorCode reloadError = 0;
};
LockResult LockWorld(BM_World w, int32_t mode, bool reload);
// Unlock; false when the count was already 0.
bool UnlockWorld(BM_World w);

// The 32-bit channel order of the World's pixels (its root buffer's).
int32_t OrderOf(BM_World w);

// A World's pixel map while locked: the port's map with the buffer's order.
inline plat::PixMap MapOf(BM_World w) {
  plat::PixMap pm = Rec(w)->port->pixMap;
  pm.order = OrderOf(w);
  return pm;
}

// Locks a World for one operation; reports 1793 when its pixels are purged.
class PixelLock {
 public:
  PixelLock(BM_World w, Site site) : w_(w) {
    if (LockWorld(w, 0, false).failed) {
      error_ = kReport.Fail(site, BM_ErrPixelsPurged, kStrPurged);
      w_ = nullptr;
    }
  }
  ~PixelLock() {
    if (w_) UnlockWorld(w_);
  }
  PixelLock(const PixelLock&) = delete;
  PixelLock& operator=(const PixelLock&) = delete;
  ErrorCode error() const { return error_; }

 private:
  BM_World w_;
  ErrorCode error_ = 0;
};

// ---- Colour tables ---------------------------------------------------------------------

// Makes the standard table of the device's depth its table (none above 8);
// false when memory is short (the device keeps its old table).
bool ResetDeviceTable(plat::Device& d, int32_t depth);
void DisposeDeviceTable(plat::Device& d);
// Makes the device worlds (and the 8-bit table) at birth; disposes them at death.
ErrorCode MakeDeviceWorlds();
void DisposeDeviceWorlds();
void DisposeDitherMatrix();

// Allocates a pixel block of `bytes` (cleared or not) with the fail attitude
// raised; null when memory is short.
Handle AllocatePixels(uint64_t bytes, bool clear);

}  // namespace tv::bm
