// What effects get when they check out a layer parameter's frame or sound.
// The engine installs these procedures into the effect package at birth and
// takes them out at death.
//
// A layer parameter holds the ID of a layer of the effect's composition
// (BEE_effect_layer_choice.cpp). Its frame is that layer's source with its
// masks and effects at the time asked, rendered with the frame being
// rendered (BEE_render.cpp); no layer chosen, a layer deleted, or one whose
// effects are running (an effect reading its own result) gives a frame
// without pixels (data null), as plug-ins are told to expect. Sound: no
// layer chosen is silence of the span and format asked for; a chosen
// layer's sound is not read yet and says so.
#include "BEE_internal.h"
#include "BEE_render_internal.h"
#include "FLT.h"
#include "SND.h"

namespace tv::bee {
namespace {

ErrorCode RefuseLayerRef(uint32_t layerRef) {
  return kReport.Fail(BEE_SiteUnimplemented, kErrUnimplemented, kTextEffectLayerRef,
                      {static_cast<uint64_t>(layerRef)});
}

ErrorCode CheckoutLayerFrame(uint32_t layerRef, uint32_t /*companion*/, int32_t time, int32_t timeStep,
                             uint32_t timeScale, PFWorld* world) {
  if (!world) return kReport.BadParam(kSiteArgument, {"layer checkout"});
  return CheckoutEffectLayerFrame(layerRef, time, timeStep, timeScale, world);
}

ErrorCode CheckinLayerFrame(uint32_t layerRef, uint32_t /*companion*/) {
  return CheckinEffectLayerFrame(layerRef);
}

ErrorCode CheckoutLayerSound(uint32_t layerRef, uint32_t /*companion*/, int32_t start, int32_t duration,
                             uint32_t timeScale, int32_t rate, int32_t bytesPerSample, int32_t channels,
                             Handle* sound) {
  if (!sound) return kReport.BadParam(kSiteArgument, {"layer sound checkout"});
  *sound = nullptr;
  if (layerRef != 0) return RefuseLayerRef(layerRef);
  // Eight-bit sound is unsigned, as sound files hold it; 32-bit is float.
  const uint16_t encoding = bytesPerSample == 4   ? SND_Encoding_Float
                            : bytesPerSample == 1 ? SND_Encoding_Unsigned
                                                  : SND_Encoding_Signed;
  const SND_Format f{static_cast<double>(rate), encoding, static_cast<uint16_t>(bytesPerSample),
                     static_cast<uint16_t>(channels), 0};
  SND_World w = nullptr;
  if (ErrorCode err = SND_NewWorld(&f, nullptr, &w)) return err;
  if (ErrorCode err = SND_Extend(Time{start, timeScale}, Time{duration, timeScale}, w)) {
    SND_DisposeWorld(w);
    return err;
  }
  *sound = w;
  return 0;
}

}  // namespace

void InstallEffectLayerProcs(bool install) {
  FLT_InstallProcs(2, install ? reinterpret_cast<FLT_HostProc>(&CheckoutLayerFrame) : nullptr);
  FLT_InstallProcs(3, install ? reinterpret_cast<FLT_HostProc>(&CheckinLayerFrame) : nullptr);
  FLT_InstallProcs(5, install ? reinterpret_cast<FLT_HostProc>(&CheckoutLayerSound) : nullptr);
}

}  // namespace tv::bee
