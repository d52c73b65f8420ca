/* Sample Audio Gain: an audio-only effect. It asks for float samples
 * (PF_OutFlag_FloatAudio), so the host converts whatever the layer's sound
 * is to 4-byte floats before the audio call and back afterwards.
 *
 * Parameter: 1 the gain (float slider, 0 to 16). */
#include <string.h>

#include "tavelo_effect.h"

PF_ENTRY_POINT(tv_effect_entry) {
  (void)output;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      out->outFlags = PF_OutFlag_AudioOnly | PF_OutFlag_FloatAudio;
      return PF_Err_None;
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef p;
      const double gain = 1.0;
      const float lo = 0.0f, hi = 16.0f;
      memset(&p, 0, sizeof p);
      p.type = PF_Param_FloatSlider;
      strcpy(p.name, "Gain");
      memcpy(&p.u.words[PF_Word_Value], &gain, sizeof gain);
      memcpy(&p.u.words[PF_Word_FloatDefault], &gain, sizeof gain);
      memcpy(&p.u.words[PF_Word_FloatMin], &lo, sizeof lo);
      memcpy(&p.u.words[PF_Word_FloatMax], &hi, sizeof hi);
      out->paramCount = 2;
      return in->addParam(in->effectRef, 1, &p);
    }
    case PF_Cmd_AudioRender: {
      const PF_AudioCall* call = (const PF_AudioCall*)extra;
      double gain;
      int64_t i, n;
      if (!call || call->encoding != 3 || call->bytesPerSample != 4) return PF_Err_BadCallbackArg;
      memcpy(&gain, &params[1]->u.words[PF_Word_Value], sizeof gain);
      n = call->frames * call->channels;
      for (i = 0; i < n; ++i) ((float*)call->output)[i] = ((const float*)call->input)[i] * (float)gain;
      return PF_Err_None;
    }
    default:
      return PF_Err_None;
  }
}
