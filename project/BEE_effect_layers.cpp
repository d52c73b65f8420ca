// What effects get when they check out a layer parameter's frame or sound.
// The engine installs these procedures into the effect package at birth and
// takes them out at death.
//
// A layer parameter holds the ID of a layer of the effect's composition
// (BEE_effect_layer_choice.cpp). Its frame is that layer's source with its
// masks and effects at the time asked, rendered with the frame being
// rendered (BEE_render.cpp); no layer chosen, a layer deleted, or one whose
// effects are running (an effect reading its own result) gives a frame
// without pixels (data null), as plug-ins are told to expect. Sound is the
// layer's as it plays in the composition over the span asked for, in the
// format asked for (BEE_audio.cpp); silence for none.
#include "BEE_internal.h"
#include "BEE_render_internal.h"
#include "FLT.h"
#include "SND.h"

namespace tv::bee {
namespace {

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
  // Eight-bit sound is unsigned, as sound files hold it; 32-bit is float.
  const uint16_t encoding = bytesPerSample == 4   ? SND_Encoding_Float
                            : bytesPerSample == 1 ? SND_Encoding_Unsigned
                                                  : SND_Encoding_Signed;
  const SND_Format f{static_cast<double>(rate), encoding, static_cast<uint16_t>(bytesPerSample),
                     static_cast<uint16_t>(channels), 0};
  return CheckoutEffectLayerSound(layerRef, Time{start, timeScale}, Time{duration, timeScale}, f, sound);
}

}  // namespace

void InstallEffectLayerProcs(bool install) {
  FLT_InstallProcs(2, install ? reinterpret_cast<FLT_HostProc>(&CheckoutLayerFrame) : nullptr);
  FLT_InstallProcs(3, install ? reinterpret_cast<FLT_HostProc>(&CheckinLayerFrame) : nullptr);
  FLT_InstallProcs(5, install ? reinterpret_cast<FLT_HostProc>(&CheckoutLayerSound) : nullptr);
}

}  // namespace tv::bee
