// The BM package frame: strings, globals, birth and death, saving and
// restoring the globals, device worlds, the World check and the lock policy.
#include <cstring>

#include "BM_internal.h"

STR_Table BMp_G_STRs = {};

namespace tv::bm {

namespace {
constexpr pkg::Text kTexts[] = {
    {kStrDamaged, "damaged World (%s)."},
    {kStrNotBorn, "BM package not born (%s)."},
    {kStrBadRecordArgs, "give exactly one of an existing record and an out World."},
    {kStrShareNeedsDevice, "SHARE_PIXELS requires SHARE_DEVICE too."},
    {kStrNoColour, "depth %ld needs colour graphics."},
    {kStrScreenBounds, "don't specify bounds w/real screen devices."},
    {kStrWindowBounds, "don't specify bounds w/parent window."},
    {kStrWindowShare, "PARENT_WINDOW requires SHARE flags too."},
    {kStrDepthShare, "can't specify BM_Depth_SHARE without parent."},
    {kStrNullRect, "can't specify NULL rect without parent."},
    {kStrBadDepth, "unsupported depth %ld."},
    {kStrBadBounds, "bad World bounds (%ld x %ld)."},
    {kStrRowBytes, "row bytes %lu too large (width %ld, depth %ld)."},
    {kStrNoPort, "no port or device given."},
    {kStrWindowDepth, "parent window depth %ld differs from %ld."},
    {kStrNoDevice, "not a screen device."},
    {kStrParentDepth, "sharing needs a parent of the same depth (%ld, %ld)."},
    {kStrChildOutside, "sub-World bounds not inside the parent."},
    {kStrPurged, "World pixels are purged."},
    {kStrNegativeLock, "World lock count below zero."},
    {kStrLocked, "World pixels are locked."},
    {kStrHasChildren, "World still has %ld sub-Worlds sharing its pixels."},
    {kStrSharedUpdate, "can't update a World that shares its parent's pixels."},
    {kStrDepthChange, "can't change the depth of a monochrome World."},
    {kStrUpdateFailed, "not enough memory to resize World; it keeps %ld x %ld."},
    {kStrBadPolicy, "bad lock policy %ld."},
    {kStrUnimplemented, "unimplemented routine."},
    {kStrBadBlitLevel, "bad BlitLevel selector."},
    {kStrBadBlitMode, "bad blit mode %ld."},
    {kStrBlitDepth, "blit mode %ld needs two Worlds of depth 32 (%ld, %ld)."},
    {kStrHighlight, "highlight blits are not available."},
    {kStrNoBlitLevel, "no blit level installed."},
    {kStrBadFactor, "bad scale factor %ld."},
    {kStrOutside, "pixel (%ld, %ld) outside the World."},
    {kStrSyncNeedsDevice, "sync needs a directly addressable World with a device."},
    {kStrSyncUnimplemented, "sync to screen refresh is not available."},
    {kStrPFSize, "bad effect World size %ld x %ld."},
    {kStrPFKind, "bad effect World kind 0x%lX."},
    {kStrPFNull, "null effect World."},
    {kStrBadOrder, "bad channel order %ld."},
    {kStrLutUnavailable, "colour tables are not available."},
    {kStrAlreadyBorn, "BM package already born."},
    {kStrLeaked, "%ld Worlds were not disposed."},
    {kStrPixelsMemory, "World pixels"},
    {kStrRecordMemory, "not enough memory for a World record."},
    {kStrTooManyScreens, "at most %ld virtual screens."},
    {kStrBorn, "%s: not while the package is born."},
    {kStrBadSave, "bad saved globals."},
    {kStrBadArg, "bad argument (%s)."},
    {kStrDepthMismatch, "can't blit between depths %ld and %ld."},
    {kStrScratchMemory, "blit scratch memory"},
    {kStrOffscreenMemory, "not enough memory for a %ld x %ld World of depth %ld (%.0f bytes; largest free block %.0f)."},
    {kStrNoDeep, "depth %ld needs 32-bit offscreen graphics."},
    {kStrLutDepth, "unsupported colour table depth %ld."},
    {kStrLutEntries, "%ld colour table entries don't fit depth %ld."},
    {kStrLutRange, "colour table range %ld + %ld outside %ld entries."},
    {kStrNoLut, "%s: the World has no colour table (depth %ld)."},
    {kStrEmptyLut, "colour table without entries."},
    {kStrNativeCountFormat, "%s %d"},
    {kStrNativeCount, "bad number of native colour table entries:"},
    {kStrBadNativeLut, "damaged native colour table (%s)."},
    {kStrInstallFailed, "can't install colour table entries in the device."},
    {kStrDeviceCaps, "no device capabilities for depth %ld."},
    {kStrNoMainDevice, "no main screen device."},
    {kStrFadeSteps, "a fade needs at least 2 steps (%ld)."},
    {kStrFadeSize, "fade colour tables of %ld entries, the fade has %ld."},
    {kStrBadFade, "damaged fade record (%s)."},
    {kStrBackwardStep, "backwardstep unimplemented."},
    {kStrDissolveSteps, "a dissolve needs at least 1 step (%ld)."},
    {kStrDissolveRect, "bad dissolve rectangle (%ld x %ld)."},
    {kStrDitherSize, "bad dither matrix size %ld x %ld."},
    {kStrConvertDepths, "can't convert between depths %ld and %ld."},
    {kStrConvertSize, "can't convert between sizes %ld x %ld and %ld x %ld."},
    {kStrLutMemory, "colour table"},
    {kStrDitherMemory, "dither matrix"},
    {kStrConvertMemory, "colour conversion tables"},
    {kStrBlitSource, "blit source"},
    {kStrBlitDestination, "blit destination"},
    {kStrReadPixel, "read pixel"},
    {kStrWritePixel, "write pixel"},
    {kStrScroll, "scroll"},
    {kStrFill, "fill"},
    {kStrCountedCopy, "counted copy"},
    {kStrParent, "parent"},
    {kStrConvertSource, "BM_ConvertPixels source"},
    {kStrConvertDestination, "BM_ConvertPixels destination"},
    {kStrScreenNotPurgeable, "screen pixels can't be purged"},
};
TV_TEXT_TABLE(kTexts, kStrCount);
}  // namespace

// BM installs its table at birth; before that the compiled texts are used.
constinit const pkg::Reporter kReport{.number = BM_PackageNumber,
                                      .table = &BMp_G_STRs,
                                      .compiled = pkg::CompiledTexts<kTexts>,
                                      .count = kStrCount,
                                      .damaged = kStrDamaged,
                                      .badParam = kStrBadArg};

namespace {
Globals gGlobals{};
}  // namespace

Globals& G() { return gGlobals; }

ErrorCode CheckBorn(Site site) {
  if (G().born) return 0;
  return kReport.Fail(site, kErrDamaged, kStrNotBorn, {"BM"});
}

ErrorCode CheckWorld(BM_World w, Site site, const char* what) {
  if (ErrorCode err = CheckBorn(site)) return err;
  return kReport.CheckRecord(w, kWorldMagic, site, {what});
}

ErrorCode CheckWorld(BM_World w, Site site, Str what) { return CheckWorld(w, site, kReport.Text(what)); }

Handle AllocatePixels(uint64_t bytes, bool clear) {
  if (bytes > static_cast<uint64_t>(INT64_MAX)) return nullptr;
  int32_t old = 0;
  U_SetFailAttitude(1, &old);
  Handle h = clear ? NewHandleClear(static_cast<Size>(bytes)) : NewHandle(static_cast<Size>(bytes));
  U_SetFailAttitude(old, nullptr);
  return h;
}

}  // namespace tv::bm

using namespace tv;
using namespace tv::bm;

TV_PACKAGE_VERSION_OPS(BM, BM_PackageNumber)

ErrorCode BM_Birth(int32_t mode) {
  if (G().born) {
    // A second birth is harmless: it is reported as a warning and succeeds.
    kReport.Note(kSiteBirth, kSevWarning, kStrAlreadyBorn);
    return 0;
  }
  if (ErrorCode err = kReport.InstallTable()) return err;
  const int32_t live = G().liveWorlds;
  G() = Globals{};
  G().liveWorlds = live;
  G().born = 1;
  G().birthMode = mode;
  G().colour = U_ColorQDAvailable() ? 1 : 0;
  G().deep = U_32QDAvailable() ? 1 : 0;
  if (ErrorCode err = BM_SetBlitLevel(1)) {
    G().born = 0;
    return err;
  }
  if (ErrorCode err = MakeDeviceWorlds()) {
    DisposeDeviceWorlds();
    G().born = 0;
    return err;
  }
  pkg::SetAlive(BM_PackageNumber, true);
  return 0;
}

ErrorCode BM_Death(void) {
  if (!G().born) return kReport.Fail(kSiteDeath, kErrDeath, kStrNotBorn, {"BM_Death"});
  DisposeDeviceWorlds();
  DisposeDitherMatrix();
  if (G().liveWorlds > 0) kReport.Note(kSiteDeath, kSevWarning, kStrLeaked, {G().liveWorlds});
  const int32_t live = G().liveWorlds;
  G() = Globals{};
  G().liveWorlds = live;
  pkg::SetAlive(BM_PackageNumber, false);
  return 0;
}

ErrorCode BM_GetGlobals(BM_SavedGlobals* save) {
  if (ErrorCode err = CheckBorn(kSiteGlobals)) return err;
  if (!save) return kReport.Fail(kSiteGlobals, kErrBadParam, kStrBadArg, {"BM_GetGlobals"});
  std::memset(save->bytes, 0, sizeof(save->bytes));
  std::memcpy(save->bytes, &G(), sizeof(Globals));
  const int32_t live = G().liveWorlds;
  G() = Globals{};
  G().liveWorlds = live;
  pkg::SetAlive(BM_PackageNumber, false);
  return 0;
}

ErrorCode BM_SetGlobals(const BM_SavedGlobals* save) {
  if (!save) return kReport.Fail(kSiteGlobals, kErrBadParam, kStrBadArg, {"BM_SetGlobals"});
  Globals restored;
  std::memcpy(&restored, save->bytes, sizeof(Globals));
  if (!restored.born) return kReport.Fail(kSiteGlobals, kErrBadParam, kStrBadSave);
  // The live-World count belongs to the process, not to one client.
  restored.liveWorlds = G().liveWorlds;
  G() = restored;
  pkg::SetAlive(BM_PackageNumber, true);
  return 0;
}

ErrorCode BM_UpdateGlobals(Boolean32* changed) {
  if (changed) *changed = 0;
  if (ErrorCode err = CheckBorn(kSiteGlobals)) return err;
  bool differs = false;
  for (BM_World w : G().devices) {
    if (!w) continue;
    const plat::Device* d = Rec(w)->device;
    if (d && d->pixMap.depth != Rec(w)->depth) differs = true;
  }
  if (!differs) return 0;
  const int32_t mode = G().birthMode;
  const int32_t level = G().blitLevel;
  const int32_t policy = G().lockPolicy;
  if (ErrorCode err = BM_Death()) return err;
  if (ErrorCode err = BM_Birth(mode)) return err;
  if (level != 1)
    if (ErrorCode err = BM_SetBlitLevel(level)) return err;
  G().lockPolicy = policy;
  if (changed) *changed = 1;
  return 0;
}

ErrorCode BM_SetLockPolicy(int32_t policy) {
  if (ErrorCode err = CheckBorn(kSitePolicy)) return err;
  if (policy != 0 && policy != 1) return kReport.Fail(kSitePolicy, kErrBadParam, kStrBadPolicy, {policy});
  G().lockPolicy = policy;
  return 0;
}

int32_t BMp_GetLockPolicy(void) { return G().lockPolicy; }

int32_t BMp_LiveWorldCount(void) { return G().liveWorlds; }

ErrorCode BM_InqMaxWorld(int32_t* maxWidth, int32_t* maxHeight, int32_t* maxDepth) {
  if (maxWidth) *maxWidth = 0;
  if (maxHeight) *maxHeight = 0;
  if (maxDepth) *maxDepth = 0;
  if (ErrorCode err = CheckBorn(kSiteCheck)) return err;
  if (maxWidth) *maxWidth = 32767;
  if (maxHeight) *maxHeight = 32767;
  if (maxDepth) *maxDepth = !G().colour ? 1 : (G().deep ? 32 : 8);
  return 0;
}

ErrorCode BMp_GetDeviceWorld(int32_t slot, BM_World* world) {
  if (world) *world = nullptr;
  if (ErrorCode err = CheckBorn(kSiteDevices)) return err;
  if (!world) return kReport.Fail(kSiteDevices, kErrBadParam, kStrBadArg, {"BMp_GetDeviceWorld"});
  if (slot >= 0 && slot < kDeviceSlots) *world = G().devices[slot];
  return 0;
}
