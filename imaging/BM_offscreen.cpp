// The headless offscreen layer under the worlds: pixel maps, devices, ports
// and offscreen buffers whose pixels live in relocatable blocks of the memory
// manager (so purging and locking behave exactly like engine pixel blocks),
// plus virtual screen devices for hosts and tests without a window system.
#include <algorithm>
#include <cstring>
#include <new>

#include "BM_internal.h"

namespace tv::bm::plat {

uint64_t RowBytesFor(int64_t width, int32_t depth) {
  const int64_t e = depth > 8 ? 1 : 0;
  const uint64_t bits = static_cast<uint64_t>(width + e) * static_cast<uint64_t>(depth);
  return ((bits + 31) / 8) & ~uint64_t{3};
}

uint64_t PixelBytesFor(int64_t height, uint64_t rowBytes, int32_t depth) {
  return static_cast<uint64_t>(height) * rowBytes + (depth <= 8 ? 4 : 0);
}

void InitPixMap(PixMap& pm, const Rect& bounds, int32_t depth, uint32_t rowBytes) {
  pm = PixMap{};
  pm.bounds = bounds;
  pm.depth = static_cast<int16_t>(depth);
  pm.rowBytes = rowBytes;
  pm.hRes = pm.vRes = 72 << 16;
  if (depth <= 8) {
    pm.pixelType = 0;
    pm.cmpCount = 1;
    pm.cmpSize = static_cast<int16_t>(depth);
  } else {
    pm.pixelType = 16;
    pm.cmpCount = 3;
    pm.cmpSize = depth == 16 ? 5 : 8;
  }
  pm.order = BM_Order_ARGB;
}

namespace {

template <class T>
T* NewRecord() {
  void* p = NewPtrClear(static_cast<Size>(sizeof(T)));
  if (!p) return nullptr;
  return new (p) T{};
}

Device* NewDevice(const PixMap& pm) {
  auto* d = NewRecord<Device>();
  if (!d) return nullptr;
  d->pixMap = pm;
  d->rect = pm.bounds;
  return d;
}

Handle NewPixelBlock(size_t bytes) {
  // Pixels start undefined, like any fresh offscreen buffer.
  Handle h = NewHandle(static_cast<Size>(bytes));
  return h;
}

}  // namespace

ErrorCode NewOffscreen(int32_t depth, const Rect& bounds, uint32_t flags, Device* shareDevice,
                       Offscreen** out) {
  *out = nullptr;
  const int64_t width = int64_t{bounds.right} - bounds.left;
  const int64_t height = int64_t{bounds.bottom} - bounds.top;
  if (width < 0 || height < 0) return kErrBadParam;
  const uint64_t rowBytes = RowBytesFor(width, depth);
  const uint64_t bytes = PixelBytesFor(height, rowBytes, depth);
  if (rowBytes >= 0x1FFFF || bytes > static_cast<uint64_t>(INT64_MAX)) return kErrBadParam;

  auto* off = NewRecord<Offscreen>();
  if (!off) return kSysMemFull;
  InitPixMap(off->port.pixMap, bounds, depth, static_cast<uint32_t>(rowBytes));
  off->port.portRect = bounds;
  off->port.colour = 1;
  off->port.open = 1;
  if ((flags & kOffNoNewDevice) && shareDevice) {
    off->device = shareDevice;
  } else {
    off->device = NewDevice(off->port.pixMap);
    if (off->device && !ResetDeviceTable(*off->device, depth)) {
      DisposePtr(reinterpret_cast<Ptr>(off->device));
      off->device = nullptr;
    }
    if (!off->device) {
      DisposePtr(reinterpret_cast<Ptr>(off));
      return kSysMemFull;
    }
    off->ownsDevice = 1;
  }
  off->port.device = off->device;
  off->pixelBytes = static_cast<size_t>(bytes);
  off->pixels = NewPixelBlock(off->pixelBytes);
  // Purgeable pixels that cannot be had now start purged.
  if (!off->pixels && (flags & kOffPurgeable)) off->pixels = NewEmptyHandle();
  if (!off->pixels) {
    if (off->ownsDevice) {
      DisposeDeviceTable(*off->device);
      DisposePtr(reinterpret_cast<Ptr>(off->device));
    }
    DisposePtr(reinterpret_cast<Ptr>(off));
    return kSysMemFull;
  }
  if (flags & kOffPurgeable) {
    HPurge(off->pixels);
    off->purgeable = 1;
  }
  *out = off;
  return 0;
}

ErrorCode UpdateOffscreen(Offscreen* off, int32_t depth, const Rect& bounds) {
  const int64_t width = int64_t{bounds.right} - bounds.left;
  const int64_t height = int64_t{bounds.bottom} - bounds.top;
  if (width < 0 || height < 0 || off->lockCount > 0) return kErrBadParam;
  const uint64_t rowBytes = RowBytesFor(width, depth);
  const uint64_t bytes = PixelBytesFor(height, rowBytes, depth);
  if (rowBytes >= 0x1FFFF) return kErrBadParam;
  Handle fresh = NewPixelBlock(static_cast<size_t>(bytes));
  if (!fresh) return kSysMemFull;
  // A new depth brings the standard colour table of that depth.
  if (off->ownsDevice && depth != off->port.pixMap.depth && !ResetDeviceTable(*off->device, depth)) {
    DisposeHandle(fresh);
    return kSysMemFull;
  }
  PixMap next;
  InitPixMap(next, bounds, depth, static_cast<uint32_t>(rowBytes));
  next.order = off->port.pixMap.order;
  // Keep the pixels of the overlapping rectangle when the depth stays.
  const PixMap& old = off->port.pixMap;
  if (*off->pixels && depth == old.depth && bytes > 0) {
    std::memset(*fresh, 0, static_cast<size_t>(bytes));
    const int32_t top = std::max(old.bounds.top, bounds.top);
    const int32_t bottom = std::min(old.bounds.bottom, bounds.bottom);
    const int32_t left = std::max(old.bounds.left, bounds.left);
    const int32_t right = std::min(old.bounds.right, bounds.right);
    if (top < bottom && left < right) {
      PixMap src = old;
      src.baseAddr = *off->pixels;
      PixMap dst = next;
      dst.baseAddr = *fresh;
      Rect r{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
             static_cast<int16_t>(right)};
      CopyBits(src, r, dst, r, r, r, kSrcCopy);
    }
  }
  DisposeHandle(off->pixels);
  off->pixels = fresh;
  off->pixelBytes = static_cast<size_t>(bytes);
  if (off->purgeable) HPurge(fresh);
  off->port.pixMap = next;
  off->port.portRect = bounds;
  if (off->ownsDevice) {
    off->device->pixMap = next;
    off->device->rect = bounds;
  }
  return 0;
}

void DisposeOffscreen(Offscreen* off) {
  if (!off) return;
  if (off->pixels) DisposeHandle(off->pixels);
  if (off->ownsDevice) {
    DisposeDeviceTable(*off->device);
    DisposePtr(reinterpret_cast<Ptr>(off->device));
  }
  DisposePtr(reinterpret_cast<Ptr>(off));
}

bool OffscreenPurged(const Offscreen* off) { return off->pixelBytes > 0 && *off->pixels == nullptr; }

bool LockOffscreen(Offscreen* off) {
  if (off->lockCount > 0) {
    ++off->lockCount;
    return true;
  }
  if (OffscreenPurged(off)) return false;
  HLock(off->pixels);
  off->lockCount = 1;
  off->port.pixMap.baseAddr = *off->pixels;
  return true;
}

void UnlockOffscreen(Offscreen* off) {
  if (off->lockCount <= 0) return;
  if (--off->lockCount == 0) {
    HUnlock(off->pixels);
    off->port.pixMap.baseAddr = nullptr;
  }
}

ErrorCode ReloadOffscreen(Offscreen* off) {
  if (!OffscreenPurged(off)) return 0;
  ReallocateHandle(off->pixels, static_cast<Size>(off->pixelBytes));
  if (MemError() != 0 || !*off->pixels) return kSysMemFull;
  if (off->purgeable) HPurge(off->pixels);
  return 0;
}

void SetOffscreenPurgeable(Offscreen* off, bool purgeable) {
  if (purgeable)
    HPurge(off->pixels);
  else
    HNoPurge(off->pixels);
  off->purgeable = purgeable ? 1 : 0;
}

bool PurgeOffscreen(Offscreen* off) {
  if (off->lockCount > 0) return false;
  EmptyHandle(off->pixels);
  return true;
}

Port* NewPort() {
  Port* p = NewRecord<Port>();
  if (p) p->open = 1;
  return p;
}

void DisposePort(Port* port) {
  if (port) DisposePtr(reinterpret_cast<Ptr>(port));
}

// ---- Virtual screens ---------------------------------------------------------------

namespace {
struct Screen {
  Device* device;
  Port* port;
};
constexpr int kMaxScreens = 8;
Screen gScreens[kMaxScreens];
int32_t gScreenCount = 0;
}  // namespace

int32_t ScreenCount() { return gScreenCount; }
Device* ScreenAt(int32_t index) {
  return index >= 0 && index < gScreenCount ? gScreens[index].device : nullptr;
}
bool IsScreen(const void* device) {
  for (int32_t i = 0; i < gScreenCount; ++i)
    if (gScreens[i].device == device) return true;
  return false;
}
Port* ScreenPort(Device* device) {
  for (int32_t i = 0; i < gScreenCount; ++i)
    if (gScreens[i].device == device) return gScreens[i].port;
  return nullptr;
}

}  // namespace tv::bm::plat

using namespace tv::bm;

static ErrorCode MakeScreenPixels(plat::Device* d, int32_t depth) {
  const int64_t w = int64_t{d->rect.right} - d->rect.left;
  const int64_t h = int64_t{d->rect.bottom} - d->rect.top;
  const uint64_t rowBytes = plat::RowBytesFor(w, depth);
  const uint64_t bytes = plat::PixelBytesFor(h, rowBytes, depth);
  char* pixels = NewPtrClear(static_cast<Size>(bytes ? bytes : 1));
  if (!pixels) return tv::kSysMemFull;
  if (!ResetDeviceTable(*d, depth)) {
    DisposePtr(pixels);
    return tv::kSysMemFull;
  }
  // The previous pixels stay until the next change: a device World made
  // before the change may still address them until it is remade.
  if (d->retiredPixels) DisposePtr(d->retiredPixels);
  d->retiredPixels = d->screenPixels;
  d->screenPixels = pixels;
  plat::InitPixMap(d->pixMap, d->rect, depth, static_cast<uint32_t>(rowBytes));
  d->pixMap.baseAddr = pixels;
  return 0;
}

ErrorCode BMp_AddVirtualScreen(const Rect* bounds, int32_t depth, void** device) {
  if (device) *device = nullptr;
  if (!bounds || !ValidDepth(depth) || bounds->right <= bounds->left || bounds->bottom <= bounds->top ||
      int32_t{bounds->right} - bounds->left > 32767 || int32_t{bounds->bottom} - bounds->top > 32767)
    return kReport.Fail(kSiteDevices, tv::kErrBadParam, kStrBadArg, {"BMp_AddVirtualScreen"});
  if (plat::gScreenCount >= plat::kMaxScreens)
    return kReport.Fail(kSiteDevices, tv::kErrBadParam, kStrTooManyScreens, {plat::kMaxScreens});
  plat::Device* d = plat::NewRecord<plat::Device>();
  plat::Port* p = plat::NewPort();
  if (!d || !p) {
    if (d) DisposePtr(reinterpret_cast<Ptr>(d));
    plat::DisposePort(p);
    return kReport.Platform(kSiteDevices, tv::kSevError, tv::kSysMemFull, kStrRecordMemory);
  }
  d->rect = *bounds;
  d->screen = 1;
  if (ErrorCode err = MakeScreenPixels(d, depth)) {
    DisposePtr(reinterpret_cast<Ptr>(d));
    plat::DisposePort(p);
    return kReport.Platform(kSiteDevices, tv::kSevError, err, kStrRecordMemory);
  }
  p->portRect = *bounds;
  p->pixMap = d->pixMap;
  p->device = d;
  p->colour = 1;
  plat::gScreens[plat::gScreenCount++] = {d, p};
  if (device) *device = d;
  return 0;
}

ErrorCode BMp_SetVirtualScreenDepth(void* device, int32_t depth) {
  if (!plat::IsScreen(device) || !ValidDepth(depth))
    return kReport.Fail(kSiteDevices, tv::kErrBadParam, kStrBadArg, {"BMp_SetVirtualScreenDepth"});
  auto* d = static_cast<plat::Device*>(device);
  if (ErrorCode err = MakeScreenPixels(d, depth))
    return kReport.Platform(kSiteDevices, tv::kSevError, err, kStrRecordMemory);
  plat::Port* p = plat::ScreenPort(d);
  p->pixMap = d->pixMap;
  return 0;
}

ErrorCode BMp_RemoveVirtualScreens(void) {
  if (G().born) return kReport.Fail(kSiteDevices, tv::kErrBadParam, kStrBorn, {"BMp_RemoveVirtualScreens"});
  for (int32_t i = 0; i < plat::gScreenCount; ++i) {
    DisposePtr(plat::gScreens[i].device->screenPixels);
    if (plat::gScreens[i].device->retiredPixels) DisposePtr(plat::gScreens[i].device->retiredPixels);
    DisposeDeviceTable(*plat::gScreens[i].device);
    DisposePtr(reinterpret_cast<Ptr>(plat::gScreens[i].device));
    plat::DisposePort(plat::gScreens[i].port);
    plat::gScreens[i] = {};
  }
  plat::gScreenCount = 0;
  return 0;
}
