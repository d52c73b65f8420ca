// The BM package frame: strings, globals, birth and death, saving and
// restoring the globals, device worlds, the World check and the lock policy.
#include <cstring>

#include "BM_internal.h"

STR_Table BMp_G_STRs = {};

namespace tv::bm {

extern const char* const kCompiledStrings[];
const char* const kCompiledStrings[] = {
    "damaged World (%s).",                                         // kStrDamaged
    "BM package not born (%s).",                                   // kStrNotBorn
    "give exactly one of an existing record and an out World.",    // kStrBadRecordArgs
    "SHARE_PIXELS requires SHARE_DEVICE too.",                     // kStrShareNeedsDevice
    "depth %ld needs colour graphics.",                            // kStrNoColour
    "don't specify bounds w/real screen devices.",                 // kStrScreenBounds
    "don't specify bounds w/parent window.",                       // kStrWindowBounds
    "PARENT_WINDOW requires SHARE flags too.",                     // kStrWindowShare
    "can't specify BM_Depth_SHARE without parent.",                // kStrDepthShare
    "can't specify NULL rect without parent.",                     // kStrNullRect
    "unsupported depth %ld.",                                      // kStrBadDepth
    "bad World bounds (%ld x %ld).",                               // kStrBadBounds
    "row bytes %lu too large (width %ld, depth %ld).",             // kStrRowBytes
    "no port or device given.",                                    // kStrNoPort
    "parent window depth %ld differs from %ld.",                   // kStrWindowDepth
    "not a screen device.",                                        // kStrNoDevice
    "sharing needs a parent of the same depth (%ld, %ld).",        // kStrParentDepth
    "sub-World bounds not inside the parent.",                     // kStrChildOutside
    "World pixels are purged.",                                    // kStrPurged
    "World lock count below zero.",                                // kStrNegativeLock
    "World pixels are locked.",                                    // kStrLocked
    "World still has %ld sub-Worlds sharing its pixels.",          // kStrHasChildren
    "can't update a World that shares its parent's pixels.",       // kStrSharedUpdate
    "can't change the depth of a monochrome World.",               // kStrDepthChange
    "not enough memory to resize World; it keeps %ld x %ld.",      // kStrUpdateFailed
    "bad lock policy %ld.",                                        // kStrBadPolicy
    "unimplemented routine.",                                      // kStrUnimplemented
    "bad BlitLevel selector.",                                     // kStrBadBlitLevel
    "bad blit mode %ld.",                                          // kStrBadBlitMode
    "blit mode %ld needs two Worlds of depth 32 (%ld, %ld).",      // kStrBlitDepth
    "highlight blits are not available.",                          // kStrHighlight
    "no blit level installed.",                                    // kStrNoBlitLevel
    "bad scale factor %ld.",                                       // kStrBadFactor
    "pixel (%ld, %ld) outside the World.",                         // kStrOutside
    "sync needs a directly addressable World with a device.",      // kStrSyncNeedsDevice
    "sync to screen refresh is not available.",                    // kStrSyncUnimplemented
    "bad effect World size %ld x %ld.",                            // kStrPFSize
    "bad effect World kind 0x%lX.",                                // kStrPFKind
    "null effect World.",                                          // kStrPFNull
    "bad channel order %ld.",                                      // kStrBadOrder
    "colour tables are not available.",                            // kStrLutUnavailable
    "BM package already born.",                                    // kStrAlreadyBorn
    "%ld Worlds were not disposed.",                               // kStrLeaked
    "World pixels",                                                // kStrPixelsMemory
    "not enough memory for a World record.",                       // kStrRecordMemory
    "at most %ld virtual screens.",                                // kStrTooManyScreens
    "%s: not while the package is born.",                          // kStrBorn
    "bad saved globals.",                                          // kStrBadSave
    "bad argument (%s).",                                          // kStrBadArg
    "can't blit between depths %ld and %ld.",                      // kStrDepthMismatch
    "blit scratch memory",                                         // kStrScratchMemory
    "not enough memory for a %ld x %ld World of depth %ld (%.0f bytes; largest free block %.0f).",  // kStrOffscreenMemory
    "depth %ld needs 32-bit offscreen graphics.",                  // kStrNoDeep
    STR_END,
};

namespace {
Globals gGlobals{};
}  // namespace

Globals& G() { return gGlobals; }

const char* Text(Str index) { return STRp_Lookup(&BMp_G_STRs, index); }

ErrorCode Fail(Site site, ErrorCode code, Str text, std::initializer_list<fmt::Arg> args) {
  // The table may not be installed yet (package unborn): use the compiled text.
  const char* format = BMp_G_STRs.texts ? Text(text) : kCompiledStrings[text];
  return report::Code(Loc(site), kSevError, code, format, args);
}

ErrorCode CheckBorn(Site site) {
  if (G().born) return 0;
  return Fail(site, kErrDamaged, kStrNotBorn, {"BM"});
}

ErrorCode CheckWorld(BM_World w, Site site, const char* what) {
  if (ErrorCode err = CheckBorn(site)) return err;
  if (!w || !*w || static_cast<size_t>(GetHandleSize(w)) < sizeof(WorldRec) || Rec(w)->magic != kMagic ||
      Rec(w)->tailMagic != kMagic)
    return Fail(site, kErrDamaged, kStrDamaged, {what});
  return 0;
}

Handle AllocatePixels(uint64_t bytes, bool clear) {
  if (bytes > static_cast<uint64_t>(INT64_MAX)) return nullptr;
  int32_t old = 0;
  U_SetFailAttitude(1, &old);
  Handle h = clear ? NewHandleClear(static_cast<Size>(bytes)) : NewHandle(static_cast<Size>(bytes));
  U_SetFailAttitude(old, nullptr);
  return h;
}

namespace {

ErrorCode MakeDeviceWorlds() {
  for (int32_t i = 0; i < plat::ScreenCount() && i < kDeviceSlots; ++i) {
    BM_World w = nullptr;
    if (ErrorCode err = BM_NewWorld(plat::ScreenAt(i), BM_Flag_ScreenDevice, nullptr, 0, 0, nullptr, &w))
      return err;
    G().devices[i] = w;
  }
  return 0;
}

void DisposeDeviceWorlds() {
  for (BM_World& w : G().devices) {
    if (w) BM_DisposeWorld(w);
    w = nullptr;
  }
}

}  // namespace
}  // namespace tv::bm

using namespace tv;
using namespace tv::bm;

TV_PACKAGE_VERSION_OPS(BM, BM_PackageNumber)

ErrorCode BM_Birth(int32_t mode) {
  if (G().born) {
    // A second birth is harmless: it is reported as a warning and succeeds.
    report::Text(Loc(kSiteBirth), kSevWarning, Text(kStrAlreadyBorn));
    return 0;
  }
  if (ErrorCode err = str::EnsureTable(BMp_G_STRs, kCompiledStrings)) return err;
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
  return 0;
}

ErrorCode BM_Death(void) {
  if (!G().born) return Fail(kSiteDeath, kErrDeath, kStrNotBorn, {"BM_Death"});
  DisposeDeviceWorlds();
  if (G().liveWorlds > 0) report::Text(Loc(kSiteDeath), kSevWarning, Text(kStrLeaked), {G().liveWorlds});
  const int32_t live = G().liveWorlds;
  G() = Globals{};
  G().liveWorlds = live;
  return 0;
}

ErrorCode BM_GetGlobals(BM_SavedGlobals* save) {
  if (ErrorCode err = CheckBorn(kSiteGlobals)) return err;
  if (!save) return Fail(kSiteGlobals, kErrBadParam, kStrBadArg, {"BM_GetGlobals"});
  std::memset(save->bytes, 0, sizeof(save->bytes));
  std::memcpy(save->bytes, &G(), sizeof(Globals));
  const int32_t live = G().liveWorlds;
  G() = Globals{};
  G().liveWorlds = live;
  return 0;
}

ErrorCode BM_SetGlobals(const BM_SavedGlobals* save) {
  if (!save) return Fail(kSiteGlobals, kErrBadParam, kStrBadArg, {"BM_SetGlobals"});
  Globals restored;
  std::memcpy(&restored, save->bytes, sizeof(Globals));
  if (!restored.born) return Fail(kSiteGlobals, kErrBadParam, kStrBadSave);
  // The live-World count belongs to the process, not to one client.
  restored.liveWorlds = G().liveWorlds;
  G() = restored;
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
  if (policy != 0 && policy != 1) return Fail(kSitePolicy, kErrBadParam, kStrBadPolicy, {policy});
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
  if (!world) return Fail(kSiteDevices, kErrBadParam, kStrBadArg, {"BMp_GetDeviceWorld"});
  if (slot >= 0 && slot < kDeviceSlots) *world = G().devices[slot];
  return 0;
}
