// The callbacks of the input record beyond parameter checkout: custom-UI
// registration (params setup), and the audio callbacks of the audio call.
// Everything an effect hands back is checked before it is used: the effect
// reference against the calls running now, indices against the parameter
// list, sound handles against the ones this package gave out.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "FLT_internal.h"
#include "SND.h"

namespace tv::flt {
namespace {

EffectRef* Ref(PF_ProgPtr p, uint32_t site) {
  auto* ref = static_cast<EffectRef*>(p);
  if (!ActiveRef(ref) || ref->magic != kRefMagic || ref->tailMagic != kRefMagic) {
    kReport.Damaged(site, {"effect reference"});
    return nullptr;
  }
  return ref;
}

// Sounds handed to effects by the audio checkout and not checked in yet.
std::vector<Handle>& OutSounds() {
  static std::vector<Handle> sounds;
  return sounds;
}

// The layer reference and companion of a layer parameter of the effect's
// Sequence; 516 for anything else.
ErrorCode LayerWords(EffectRef& ref, int32_t index, uint32_t& layer, uint32_t& companion) {
  if (!ref.seq) return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                                    "sequence context not available");
  ParamsLock lock(ref.seq);
  if (lock.error()) return lock.error();
  int32_t count = 0;
  FLT_SeqInqNumParams(ref.seq, &count);
  if (index < 0 || index >= count)
    return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg, "param_index out of range.");
  const PF_ParamDef* p = lock.list()[index];
  if (p->type != PF_Param_Layer)
    return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                        "can't get audio from non-layer parameter.");
  layer = p->u.words[0];
  companion = p->u.words[1];
  return 0;
}

PF_Result CheckoutAudio(PF_ProgPtr p, int32_t index, int32_t start, int32_t duration, uint32_t scale, int32_t rate,
                        int32_t bytesPerSample, int32_t channels, Handle* sound) {
  if (sound) *sound = nullptr;
  EffectRef* ref = Ref(p, kSiteCallback);
  if (!ref) return PF_Result_Damaged;
  if (!sound || scale == 0 || duration < 0 || rate <= 0 || (bytesPerSample != 1 && bytesPerSample != 2 &&
                                                             bytesPerSample != 4) || channels < 1 || channels > 2)
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"checkout audio"});
  auto proc = reinterpret_cast<FLT_AudioCheckoutProc>(G().procs[5]);
  if (!proc) return report::Code(kReport.Loc(kSiteCallback), kSevError, PF_Result_BadCallbackArg,
                                 "callback not initialized.");
  uint32_t layer = 0, companion = 0;
  if (ErrorCode err = LayerWords(*ref, index, layer, companion)) return err;
  Handle got = nullptr;
  if (ErrorCode err = proc(layer, companion, start, duration, scale, rate, bytesPerSample, channels, &got)) {
    if (got) SND_DisposeWorld(got);
    return err;
  }
  SND_WorldInfo info{};
  if (!got || SNDp_GetWorldInfo(got, &info) != 0) {
    // The host's answer is not a sound world: it is not handed on.
    return kReport.Damaged(kSiteCallback, {"audio checkout"});
  }
  OutSounds().push_back(got);
  *sound = got;
  return 0;
}

PF_Result CheckinAudio(PF_ProgPtr p, Handle sound) {
  if (!Ref(p, kSiteCallback)) return PF_Result_Damaged;
  auto& out = OutSounds();
  auto it = std::find(out.begin(), out.end(), sound);
  // Only a sound this package handed out is disposed of, once.
  if (!sound || it == out.end())
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"checkin audio"});
  out.erase(it);
  return SND_DisposeWorld(sound);
}

PF_Result AudioData(PF_ProgPtr p, Handle sound, int32_t* rate, int32_t* bytesPerSample, int32_t* channels,
                    int32_t* length) {
  for (int32_t* o : {rate, bytesPerSample, channels, length})
    if (o) *o = 0;
  if (!Ref(p, kSiteCallback)) return PF_Result_Damaged;
  auto& out = OutSounds();
  if (!sound || std::find(out.begin(), out.end(), sound) == out.end())
    return kReport.Fail(kSiteCallback, PF_Result_BadCallbackArg, kTextBadParam, {"get audio data"});
  SND_WorldInfo info{};
  if (ErrorCode err = SNDp_GetWorldInfo(sound, &info)) return err;
  if (rate) *rate = static_cast<int32_t>(std::lround(info.format.rate));
  if (bytesPerSample) *bytesPerSample = info.format.bytesPerSample;
  if (channels) *channels = info.format.channels;
  // The length in frames, rounded to whole frames and kept in range.
  if (length) *length = static_cast<int32_t>(std::clamp<int64_t>(info.frames, 0, INT32_MAX));
  return 0;
}

}  // namespace

void InstallCallbacks(PF_InputRecord& in, int32_t cmd) {
  if (cmd == PF_Cmd_AudioRender) {
    in.checkoutAudio = CheckoutAudio;
    in.checkinAudio = CheckinAudio;
    in.audioData = AudioData;
  }
}

void ReleaseOutstandingSounds() {
  // Sounds an effect never checked in are freed at death.
  for (Handle h : OutSounds()) SND_DisposeWorld(h);
  OutSounds().clear();
}

}  // namespace tv::flt
