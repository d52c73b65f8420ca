// The PFWorld record through which effects and pixel routines see worlds.
#include <cstring>

#include "BM_internal.h"

using namespace tv;
using namespace tv::bm;

namespace {

void Fill(PFWorld& pf, BM_World world, const Rect* extent, uint32_t kind) {
  const WorldRec* r = Rec(world);
  pf.data = BMp_GetPixBaseAddr(world);
  pf.rowBytes = static_cast<int32_t>(r->rowBytes);
  pf.width = r->width;
  pf.height = r->height;
  pf.extentHint = extent ? *extent : Rect{0, 0, r->height, r->width};
  pf.platformRef = r->port;
  pf.world = world;
  pf.kindMagic = kind;
}

}  // namespace

ErrorCode PF_NewWorld(void* /*effectRef*/, int32_t width, int32_t height, Boolean32 clear, PFWorld* world) {
  if (!world) return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFNull);
  *world = PFWorld{};
  if (width < 1 || width > 30000 || height < 1 || height > 30000)
    return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFSize, {width, height});
  const Rect bounds{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  BM_World w = nullptr;
  if (ErrorCode err = BM_NewWorld(nullptr, BM_Flag_KeepLocal, &bounds, 32, 0, nullptr, &w)) return err;
  if (ErrorCode err = BM_LockPixels(1, w, nullptr)) {
    BM_DisposeWorld(w);
    return err;
  }
  const WorldRec* r = Rec(w);
  if (clear) std::memset(r->baseAddr, 0, static_cast<size_t>(r->height) * r->rowBytes);
  Fill(*world, w, nullptr, PF_WorldKind_New);
  world->worldFlags = PF_WorldFlag_Writeable;
  return 0;
}

ErrorCode PF_DisposeWorld(void* /*effectRef*/, PFWorld* world) {
  if (!world) return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFNull);
  if (world->kindMagic != PF_WorldKind_New)
    return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFKind, {world->kindMagic});
  BM_World w = world->world;
  if (ErrorCode err = CheckWorld(w, kSitePF, "PF_DisposeWorld")) return err;
  BM_UnlockPixels(w);
  const ErrorCode err = BM_DisposeWorld(w);
  *world = PFWorld{};
  return err;
}

ErrorCode PF_MakeBMIntoPF(BM_World world, const Rect* extent, PFWorld* pfWorld) {
  if (!pfWorld) return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFNull);
  *pfWorld = PFWorld{};
  if (ErrorCode err = CheckWorld(world, kSitePF, "PF_MakeBMIntoPF")) return err;
  Fill(*pfWorld, world, extent, PF_WorldKind_Wrapped);
  return 0;
}

ErrorCode PF_MakeBMIntoPF_Layer(BM_World world, uintptr_t reserved0, uintptr_t reserved1, uint32_t worldFlags,
                                const Rect* extent, PFWorld* pfWorld) {
  if (!pfWorld) return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFNull);
  *pfWorld = PFWorld{};
  if (ErrorCode err = CheckWorld(world, kSitePF, "PF_MakeBMIntoPF_Layer")) return err;
  Fill(*pfWorld, world, extent, PF_WorldKind_Layer);
  pfWorld->reserved0 = reserved0;
  pfWorld->reserved1 = reserved1;
  pfWorld->worldFlags = worldFlags;
  return 0;
}

ErrorCode PF_GetPlatformRefs(void* /*effectRef*/, const PFWorld* world, void** port, void** device) {
  if (port) *port = nullptr;
  if (device) *device = nullptr;
  if (!world) return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFNull);
  if (world->kindMagic != PF_WorldKind_New && world->kindMagic != PF_WorldKind_Layer)
    return kReport.Fail(kSitePF, BM_ErrBadEffectParam, kStrPFKind, {world->kindMagic});
  if (ErrorCode err = CheckWorld(world->world, kSitePF, "PF_GetPlatformRefs")) return err;
  if (port) *port = Rec(world->world)->port;
  if (device) *device = Rec(world->world)->device;
  return 0;
}
