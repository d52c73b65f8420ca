// Creating, disposing and updating worlds.
#include <cstdlib>
#include <cstring>

#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {

int32_t Width(const Rect& r) { return int32_t{r.right} - r.left; }
int32_t Height(const Rect& r) { return int32_t{r.bottom} - r.top; }

bool Inside(const Rect& inner, const Rect& outer) {
  return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom &&
         inner.right <= outer.right;
}

// Bytes of the engine pixel block of a monochrome World.
uint64_t MonoRowBytes(int32_t width) { return static_cast<uint64_t>((width + 15) / 8) & ~uint64_t{1}; }

// Undoes whatever a partial creation made; the record itself stays.
void Teardown(WorldRec& r) {
  if (r.parent) {
    HandleLock<WorldRec> p(r.parent);
    --p->children;
  }
  if (r.offscreen) plat::DisposeOffscreen(r.offscreen);
  if (r.ownsPortMemory && r.port) plat::DisposePort(r.port);
  if (r.ownsDevice && r.device) DisposePtr(reinterpret_cast<Ptr>(r.device));
  if (r.ownsPixelBlock && r.pixels) DisposeHandle(r.pixels);
  r.offscreen = nullptr;
  r.port = nullptr;
  r.device = nullptr;
  r.pixels = nullptr;
  r.parent = nullptr;
}

// Finishes the port's view of the pixels for a World that addresses memory
// of another pixel map (screen, window or parent): the port keeps that map's
// geometry and the World's bounds clip it.
ErrorCode MakeViewPort(WorldRec& r, const plat::PixMap& over) {
  r.port = plat::NewPort();
  if (!r.port) return kReport.Platform(kSiteNewWorld, kSevError, kSysMemFull, kStrRecordMemory);
  r.ownsPortMemory = 1;
  r.portOpened = 1;
  r.port->pixMap = over;
  r.port->pixMap.baseAddr = nullptr;
  r.port->portRect = r.bounds;
  r.port->device = r.device;
  r.port->colour = r.monochrome ? 0 : 1;
  return 0;
}

// Origin offset of the World's top-left inside memory laid out as `over`.
void SetOrigin(WorldRec& r, const plat::PixMap& over) {
  const uint64_t bit = static_cast<uint64_t>(r.bounds.left - over.bounds.left) * static_cast<uint64_t>(r.depth);
  r.originOffset = static_cast<uint32_t>(static_cast<uint64_t>(r.bounds.top - over.bounds.top) * over.rowBytes +
                                         bit / 8);
  r.aligned = (bit % 8) == 0 ? 1 : 0;
  r.directlyAddressable = 1;
}

ErrorCode NewScreenWorld(WorldRec& r, void* first, const Rect* bounds) {
  if (bounds) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrScreenBounds);
  if (!first || !plat::IsScreen(first)) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrNoDevice);
  auto* d = static_cast<plat::Device*>(first);
  r.device = d;
  r.port = plat::ScreenPort(d);
  r.bounds = d->rect;
  r.depth = d->pixMap.depth;
  r.monochrome = G().colour ? 0 : 1;
  r.rowBytes = d->pixMap.rowBytes;
  SetOrigin(r, d->pixMap);
  return 0;
}

ErrorCode NewWindowWorld(WorldRec& r, void* first, const Rect* bounds, int32_t depth, uint32_t flags) {
  if (bounds) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrWindowBounds);
  if (!first) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrNoPort);
  if (!(flags & (BM_Flag_SharePixels | BM_Flag_ShareDevice)))
    return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrWindowShare);
  // Headless, the only ports with pixels are those of the (virtual) screens.
  plat::Port* port = nullptr;
  for (int32_t i = 0; i < plat::ScreenCount(); ++i)
    if (plat::ScreenPort(plat::ScreenAt(i)) == first) port = static_cast<plat::Port*>(first);
  if (!port) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrNoPort);
  if (!port->colour) {
    r.monochrome = 1;
    r.depth = 1;
  } else {
    if (depth != 0 && depth != port->pixMap.depth)
      return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrWindowDepth, {int32_t{port->pixMap.depth}, depth});
    r.depth = port->pixMap.depth;
  }
  r.bounds = port->portRect;
  r.device = port->device;
  r.rowBytes = port->pixMap.rowBytes;
  if (ErrorCode err = MakeViewPort(r, port->pixMap)) return err;
  SetOrigin(r, port->pixMap);
  return 0;
}

ErrorCode NewOffscreenWorld(WorldRec& r, BM_World parent, const Rect* bounds, int32_t depth, uint32_t flags) {
  WorldRec* pr = parent ? Rec(parent) : nullptr;
  if (depth == 0 && !pr) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrDepthShare);
  if (!bounds && !pr) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrNullRect);
  if (depth == 0) depth = pr->depth;
  if (!ValidDepth(depth)) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrBadDepth, {depth});
  Rect b = bounds ? *bounds : Rect{0, 0, pr->height, pr->width};
  const int32_t w = Width(b), h = Height(b);
  if (w < 0 || h < 0 || w > 32767 || h > 32767) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrBadBounds, {w, h});
  r.bounds = b;
  const bool monoParent = pr && pr->monochrome;
  const bool colour = G().colour && !monoParent;
  if (!colour) depth = 1;
  r.depth = static_cast<int16_t>(depth);

  if (flags & BM_Flag_SharePixels) {
    // A window onto the parent's pixels, in the parent's coordinates.
    if (!pr || pr->depth != depth)
      return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrParentDepth, {pr ? int32_t{pr->depth} : 0, depth});
    // A sub-World reaching outside its parent would address memory outside
    // the parent's block: such bounds are refused.
    if (!Inside(b, pr->bounds)) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrChildOutside);
    r.monochrome = pr->monochrome;
    r.parent = parent;
    ++pr->children;
    r.device = pr->device;
    r.pixels = pr->pixels;
    r.rowBytes = pr->rowBytes;
    const plat::PixMap& over = pr->port->pixMap;
    if (ErrorCode err = MakeViewPort(r, over)) return err;
    SetOrigin(r, over);
    return 0;
  }

  if (colour) {
    uint32_t off = 0;
    if (flags & BM_Flag_Purgeable) off |= plat::kOffPurgeable;
    if (flags & BM_Flag_TempMemory) off |= plat::kOffTemp;
    if (flags & BM_Flag_KeepLocal) off |= plat::kOffKeepLocal;
    plat::Device* share = nullptr;
    if (flags & BM_Flag_ShareDevice) {
      if (!pr || pr->depth != depth)
        return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrParentDepth, {pr ? int32_t{pr->depth} : 0, depth});
      off |= plat::kOffNoNewDevice;
      share = pr->device;
    }
    const uint64_t rowBytes = plat::RowBytesFor(w, depth);
    if (rowBytes >= 0x1FFFF)
      return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrRowBytes, {rowBytes, w, depth});
    int32_t oldAttitude = 0;
    U_SetFailAttitude(1, &oldAttitude);
    ErrorCode err = plat::NewOffscreen(depth, b, off, share, &r.offscreen);
    U_SetFailAttitude(oldAttitude, nullptr);
    if (err == kSysMemFull) {
      // Sizes beyond 32 bits: formatted as whole doubles.
      const auto bytes = static_cast<double>(plat::PixelBytesFor(h, rowBytes, depth));
      const auto largest = static_cast<double>(MaxBlock());
      return kReport.Platform(kSiteNewWorld, kSevError, kSysMemFull, kStrOffscreenMemory, {w, h, depth, bytes, largest});
    }
    if (err) return kReport.Fail(kSiteNewWorld, err, kStrBadBounds, {w, h});
    r.platformOffscreen = 1;
    r.port = &r.offscreen->port;
    r.device = r.offscreen->device;
    r.pixels = r.offscreen->pixels;
    r.rowBytes = r.offscreen->port.pixMap.rowBytes;
    return 0;
  }

  // Monochrome: a plain port over an engine pixel block.
  const uint64_t rowBytes = MonoRowBytes(w);
  r.port = plat::NewPort();
  if (!r.port) return kReport.Platform(kSiteNewWorld, kSevError, kSysMemFull, kStrRecordMemory);
  r.ownsPortMemory = 1;
  r.portOpened = 1;
  r.monochrome = 1;
  r.rowBytes = static_cast<uint32_t>(rowBytes);
  plat::InitPixMap(r.port->pixMap, b, 1, r.rowBytes);
  r.port->portRect = b;
  r.port->colour = 0;
  if (flags & BM_Flag_ShareDevice) {
    if (!pr) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrParentDepth, {0, depth});
    r.device = pr->device;
  }
  const uint64_t bytes = static_cast<uint64_t>(h) * rowBytes + 4;
  r.pixels = AllocatePixels(bytes, (flags & BM_Flag_Clear) != 0);
  if (!r.pixels) {
    if (!(flags & BM_Flag_Purgeable))
      return kReport.OutOfMemory(kSiteNewWorld, kStrPixelsMemory, bytes);
    r.pixels = NewEmptyHandle();  // purgeable pixels that cannot be had count as purged
    if (!r.pixels) return kReport.OutOfMemory(kSiteNewWorld, kStrPixelsMemory, bytes);
  }
  r.ownsPixelBlock = 1;
  if (flags & BM_Flag_Purgeable) HPurge(r.pixels);
  return 0;
}

}  // namespace

ErrorCode BM_NewWorld(void* first, uint32_t flags, const Rect* bounds, int32_t depth, int32_t /*reserved*/,
                      Handle existingRecord, BM_World* outWorld) {
  if (outWorld) *outWorld = nullptr;
  if (ErrorCode err = CheckBorn(kSiteNewWorld)) return err;
  if ((existingRecord != nullptr) == (outWorld != nullptr))
    return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrBadRecordArgs);
  if ((flags & BM_Flag_SharePixels) && !(flags & BM_Flag_ShareDevice))
    return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrShareNeedsDevice);
  depth = std::abs(depth);
  if (depth > 1 && !G().colour) return kReport.Fail(kSiteNewWorld, kErrUnsupported, kStrNoColour, {depth});
  if (depth > 8 && !G().deep) return kReport.Fail(kSiteNewWorld, kErrUnsupported, kStrNoDeep, {depth});
  if (depth != 0 && !ValidDepth(depth)) return kReport.Fail(kSiteNewWorld, kErrBadParam, kStrBadDepth, {depth});

  // The parent World, when the first argument is one.
  BM_World parent = nullptr;
  if (!(flags & (BM_Flag_ScreenDevice | BM_Flag_ParentWindow)) && first) {
    parent = static_cast<BM_World>(first);
    if (ErrorCode err = CheckWorld(parent, kSiteNewWorld, kStrParent)) return err;
  }

  Handle h = existingRecord;
  if (h) {
    SetHandleSize(h, static_cast<Size>(sizeof(WorldRec)));
    if (MemError() != 0 || !*h)
      return kReport.Platform(kSiteNewWorld, kSevError, kSysMemFull, kStrRecordMemory);
    std::memset(*h, 0, sizeof(WorldRec));
  } else {
    h = NewHandleClear(static_cast<Size>(sizeof(WorldRec)));
    if (!h) return kReport.Platform(kSiteNewWorld, kSevError, kSysMemFull, kStrRecordMemory);
  }
  ErrorCode err = 0;
  {
    HandleLock<WorldRec> r(h);
    r->ownsRecord = existingRecord ? 0 : 1;
    r->flags = flags;
    {
      HandleLock<WorldRec> parentLock(parent);
      if (flags & BM_Flag_ScreenDevice)
        err = NewScreenWorld(*r, first, bounds);
      else if (flags & BM_Flag_ParentWindow)
        err = NewWindowWorld(*r, first, bounds, depth, flags);
      else
        err = NewOffscreenWorld(*r, parent, bounds, depth, flags);
    }

    if (!err) {
      r->width = static_cast<int16_t>(Width(r->bounds));
      r->height = static_cast<int16_t>(Height(r->bounds));
      if (r->monochrome) r->depth = 1;
      if ((flags & BM_Flag_Clear) && r->platformOffscreen && *r->pixels)
        std::memset(*r->pixels, 0, r->offscreen->pixelBytes);
      if (r->depth <= 8) {
        switch (r->depth) {
          case 1: r->pixelShift = 3; r->pixelMask = 7; break;
          case 2: r->pixelShift = 2; r->pixelMask = 3; break;
          case 4: r->pixelShift = 1; r->pixelMask = 1; break;
          default: r->pixelShift = 0; r->pixelMask = 0; break;
        }
      }
      if (!r->directlyAddressable) r->aligned = 1;
      r->magic = kMagic;
      r->tailMagic = kMagic;
    } else {
      Teardown(*r);
    }
  }
  if (err) {
    if (existingRecord)
      std::memset(*h, 0, sizeof(WorldRec));
    else
      DisposeHandle(h);
    return err;
  }
  ++G().liveWorlds;
  if (outWorld) *outWorld = h;
  return 0;
}

ErrorCode BM_DisposeWorld(BM_World world) {
  if (ErrorCode err = CheckWorld(world, kSiteDispose, "BM_DisposeWorld")) return err;
  bool ownsRecord = false;
  {
    HandleLock<WorldRec> r(world);
    // Sub-worlds address this World's pixels: it must outlive them.
    if (r->children > 0) return kReport.Fail(kSiteDispose, kErrBadParam, kStrHasChildren, {r->children});
    // A World disposed while locked gives its parent's lock back.
    if (r->lockCount > 0 && r->parent) {
      BM_World p = r->parent;
      r->lockCount = 0;
      UnlockWorld(p);
    }
    if (r->lockCount > 0 && r->offscreen) plat::UnlockOffscreen(r->offscreen);
    if (r->lockCount > 0 && r->ownsPixelBlock && r->pixels) HUnlock(r->pixels);
    r->lockCount = 0;
    Teardown(*r);
    r->magic = 0;
    r->tailMagic = 0;
    ownsRecord = r->ownsRecord != 0;
  }
  if (ownsRecord) DisposeHandle(world);
  --G().liveWorlds;
  return 0;
}

ErrorCode BM_UpdateWorld(int32_t depth, const Rect* bounds, Handle colourTable, void* /*device*/,
                         int32_t /*reserved*/, BM_World world) {
  if (ErrorCode err = CheckWorld(world, kSiteUpdate, "BM_UpdateWorld")) return err;
  HandleLock<WorldRec> r(world);
  if (r->lockCount > 0) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrLocked);
  if (r->children > 0) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrHasChildren, {r->children});
  if (r->parent || (r->flags & (BM_Flag_ScreenDevice | BM_Flag_ParentWindow)))
    return kReport.Fail(kSiteUpdate, kErrBadParam, kStrSharedUpdate);
  depth = std::abs(depth);
  if (depth == 0) depth = r->depth;
  if (!ValidDepth(depth)) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrBadDepth, {depth});
  Rect b = bounds ? *bounds : r->bounds;
  const int32_t w = Width(b), h = Height(b);
  if (w < 0 || h < 0 || w > 32767 || h > 32767) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrBadBounds, {w, h});

  if (r->platformOffscreen) {
    if (depth > 1 && !G().colour) return kReport.Fail(kSiteUpdate, kErrUnsupported, kStrNoColour, {depth});
    if (depth > 8 && !G().deep) return kReport.Fail(kSiteUpdate, kErrUnsupported, kStrNoDeep, {depth});
    const uint64_t rowBytes = plat::RowBytesFor(w, depth);
    if (rowBytes >= 0x1FFFF) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrRowBytes, {rowBytes, w, depth});
    int32_t oldAttitude = 0;
    U_SetFailAttitude(1, &oldAttitude);
    ErrorCode err = plat::UpdateOffscreen(r->offscreen, depth, b);
    U_SetFailAttitude(oldAttitude, nullptr);
    if (err == kSysMemFull)
      return kReport.Platform(kSiteUpdate, kSevError, kSysMemFull, kStrUpdateFailed,
                              {int32_t{r->width}, int32_t{r->height}});
    if (err) return kReport.Fail(kSiteUpdate, err, kStrBadBounds, {w, h});
    r->bounds = r->offscreen->port.portRect;
    r->width = static_cast<int16_t>(w);
    r->height = static_cast<int16_t>(h);
    r->depth = r->offscreen->port.pixMap.depth;
    r->rowBytes = r->offscreen->port.pixMap.rowBytes;
    r->pixels = r->offscreen->pixels;
    r->device = r->offscreen->device;
    switch (r->depth) {
      case 1: r->pixelShift = 3; r->pixelMask = 7; break;
      case 2: r->pixelShift = 2; r->pixelMask = 3; break;
      case 4: r->pixelShift = 1; r->pixelMask = 1; break;
      default: r->pixelShift = 0; r->pixelMask = 0; break;
    }
    if (colourTable && r->depth <= 8) return BM_SetNativeLut(colourTable, world);
    return 0;
  }

  // Monochrome engine block.
  if (depth != r->depth) return kReport.Fail(kSiteUpdate, kErrBadParam, kStrDepthChange);
  if (w == r->width && h == r->height) {
    r->bounds = b;
    r->port->pixMap.bounds = b;
    r->port->portRect = b;
    return 0;
  }
  const uint64_t rowBytes = MonoRowBytes(w);
  const uint64_t bytes = static_cast<uint64_t>(h) * rowBytes + 4;
  const uint64_t oldBytes = static_cast<uint64_t>(r->height) * r->rowBytes + 4;
  const bool clear = (r->flags & BM_Flag_Clear) != 0;
  DisposeHandle(r->pixels);
  r->pixels = AllocatePixels(bytes, clear);
  if (r->pixels) {
    if (r->flags & BM_Flag_Purgeable) HPurge(r->pixels);
    r->bounds = b;
    r->width = static_cast<int16_t>(w);
    r->height = static_cast<int16_t>(h);
    r->rowBytes = static_cast<uint32_t>(rowBytes);
    plat::InitPixMap(r->port->pixMap, b, 1, r->rowBytes);
    r->port->portRect = b;
    return 0;
  }
  // The new size cannot be had: the World keeps its old size (a block of the
  // old size, or an empty purgeable one that locking reports as purged), its
  // fields keep describing that block, and the failure is returned.
  r->pixels = AllocatePixels(oldBytes, clear);
  if (!r->pixels) {
    r->pixels = NewEmptyHandle();
    r->flags |= BM_Flag_Purgeable;
  }
  if (r->pixels && (r->flags & BM_Flag_Purgeable)) HPurge(r->pixels);
  U_Beep();
  U_Beep();
  return kReport.OutOfMemory(kSiteUpdate, kStrPixelsMemory, bytes);
}

ErrorCode BM_GetWorldBounds(BM_World world, Rect* bounds) {
  if (bounds) *bounds = Rect{};
  if (ErrorCode err = CheckWorld(world, kSiteCheck, "BM_GetWorldBounds")) return err;
  if (bounds) *bounds = Rec(world)->bounds;
  return 0;
}

ErrorCode BM_GetWorldInfo(BM_World world, int32_t* width, int32_t* height, int32_t* depth, int32_t* rowBytes) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (depth) *depth = 0;
  if (rowBytes) *rowBytes = 0;
  if (ErrorCode err = CheckWorld(world, kSiteCheck, "BM_GetWorldInfo")) return err;
  const WorldRec* r = Rec(world);
  if (width) *width = r->width;
  if (height) *height = r->height;
  if (depth) *depth = r->depth;
  if (rowBytes) *rowBytes = static_cast<int32_t>(r->rowBytes);
  return 0;
}
