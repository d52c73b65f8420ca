/* Sample Levels: a levels-like colour effect showing the parameter types.
 * Every parameter can be animated: the host hands each render the values
 * at the frame's time. The lookup table is kept in a chunk (effect-owned
 * memory from the callback block) made at sequence setup and reused by
 * every render; it is flattened to nothing, since it is rebuilt anyway.
 *
 * Parameters: 1 input black and 2 input white (sliders), 3 gamma (float
 * slider), 4 mix (Fixed slider, 0 to 100 percent), 5 invert (checkbox),
 * 6 channel (popup: all, red, green, blue), 7 tint (colour). */
#include <math.h>
#include <string.h>

#include "tavelo_effect.h"

enum { kBlack = 1, kWhite, kGamma, kMix, kInvert, kChannel, kTint, kCount };

static PF_ParamDef Slider(const char* name, int32_t lo, int32_t hi, int32_t def) {
  PF_ParamDef p;
  memset(&p, 0, sizeof p);
  p.type = PF_Param_Slider;
  strncpy(p.name, name, sizeof p.name - 1);
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = (uint32_t)def;
  p.u.words[PF_Word_Min] = (uint32_t)lo;
  p.u.words[PF_Word_Max] = (uint32_t)hi;
  return p;
}

static double FloatValue(const PF_ParamDef* p) {
  double v;
  memcpy(&v, &p->u.words[PF_Word_Value], sizeof v);
  return v;
}

static PF_Err AddParams(PF_InData* in, PF_OutData* out) {
  PF_ParamDef defs[kCount - 1];
  double gamma = 1.0;
  float lo = 0.1f, hi = 10.0f;
  int i;
  defs[0] = Slider("Input Black", 0, 255, 0);
  defs[1] = Slider("Input White", 0, 255, 255);
  memset(&defs[2], 0, sizeof defs[2]);
  defs[2].type = PF_Param_FloatSlider;
  strcpy(defs[2].name, "Gamma");
  memcpy(&defs[2].u.words[PF_Word_Value], &gamma, sizeof gamma);
  memcpy(&defs[2].u.words[PF_Word_FloatDefault], &gamma, sizeof gamma);
  memcpy(&defs[2].u.words[PF_Word_FloatMin], &lo, sizeof lo);
  memcpy(&defs[2].u.words[PF_Word_FloatMax], &hi, sizeof hi);
  defs[3] = Slider("Mix", 0, 100 << 16, 100 << 16);
  defs[3].type = PF_Param_FixedSlider;
  memset(&defs[4], 0, sizeof defs[4]);
  defs[4].type = PF_Param_Checkbox;
  strcpy(defs[4].name, "Invert");
  PF_SetParamText(&defs[4], "Invert the result"); /* the host keeps its own copy */
  memset(&defs[5], 0, sizeof defs[5]);
  defs[5].type = PF_Param_Popup;
  strcpy(defs[5].name, "Channel");
  defs[5].u.words[PF_Word_Value] = 1;
  {
    const int16_t count = 4, def = 1;
    memcpy(&defs[5].u.bytes[PF_Byte_ChoiceCount], &count, sizeof count);
    memcpy(&defs[5].u.bytes[PF_Byte_ChoiceDefault], &def, sizeof def);
  }
  PF_SetParamText(&defs[5], "All|Red|Green|Blue");
  memset(&defs[6], 0, sizeof defs[6]);
  defs[6].type = PF_Param_Colour;
  strcpy(defs[6].name, "Tint");
  {
    const PF_Pixel white = {255, 255, 255, 255}; /* a colour value is a pixel */
    memcpy(&defs[6].u.words[PF_Word_Value], &white, sizeof white);
    memcpy(&defs[6].u.words[PF_Word_Default], &white, sizeof white);
  }
  for (i = 0; i < kCount - 1; ++i) {
    PF_Err err = in->addParam(in->effectRef, i + 1, &defs[i]);
    if (err) return err;
  }
  out->paramCount = kCount;
  return PF_Err_None;
}

/* Fills the four tables (alpha, red, green, blue) from the parameters. */
static void BuildTables(PF_ParamDef* params[], uint8_t* luts) {
  const int32_t black = (int32_t)params[kBlack]->u.words[0];
  const int32_t white = (int32_t)params[kWhite]->u.words[0];
  double gamma = FloatValue(params[kGamma]);
  const double mix = (double)(int32_t)params[kMix]->u.words[0] / (100.0 * 65536.0);
  const int invert = params[kInvert]->u.words[0] != 0;
  const int32_t channel = (int32_t)params[kChannel]->u.words[0];
  PF_Pixel tint;
  uint8_t tintChannel[4];
  int c, v;
  memcpy(&tint, &params[kTint]->u.words[0], sizeof tint);
  tintChannel[1] = tint.red;
  tintChannel[2] = tint.green;
  tintChannel[3] = tint.blue;
  if (!(gamma > 0)) gamma = 1;
  for (v = 0; v < 256; ++v) luts[v] = (uint8_t)v; /* alpha unchanged */
  for (c = 1; c <= 3; ++c) {
    const double t = (double)tintChannel[c] / 255.0;
    for (v = 0; v < 256; ++v) {
      double x = white == black ? (v >= black) : (double)(v - black) / (white - black), y, r;
      x = x < 0 ? 0 : x > 1 ? 1 : x;
      y = pow(x, 1.0 / gamma) * 255.0 * t;
      if (invert) y = 255.0 - y;
      if (channel > 1 && channel - 1 != c) y = v; /* another channel: unchanged */
      y = v + (y - v) * mix;
      r = floor(y + 0.5);
      luts[256 * c + v] = (uint8_t)(r < 0 ? 0 : r > 255 ? 255 : r);
    }
  }
}

PF_ENTRY_POINT(tv_effect_entry) {
  const PF_UtilCallbacks* cb = in->utilCallbacks;
  (void)extra;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      out->outFlags = 0;
      return PF_Err_None;
    case PF_Cmd_ParamsSetup:
      return AddParams(in, out);
    case PF_Cmd_SequenceSetup:
    case PF_Cmd_SequenceResetup: {
      /* The sequence data holds one chunk of four 256-byte tables. */
      PF_Handle h = cb->newHandle(in->effectRef, (int32_t)sizeof(PF_Chunk));
      PF_Chunk chunk = NULL;
      PF_Err err;
      if (!h) return PF_Err_OutOfMemory;
      err = cb->newChunk(in->effectRef, 4 * 256, &chunk);
      if (err) {
        cb->disposeHandle(in->effectRef, h);
        return err;
      }
      memcpy(*h, &chunk, sizeof chunk);
      if (in->sequenceData) cb->disposeHandle(in->effectRef, in->sequenceData);
      out->sequenceData = h;
      return PF_Err_None;
    }
    case PF_Cmd_SequenceFlatten:
    case PF_Cmd_SequenceSetdown: {
      /* Nothing worth keeping: the tables are rebuilt at every render. */
      if (in->sequenceData) {
        PF_Chunk chunk;
        memcpy(&chunk, *in->sequenceData, sizeof chunk);
        cb->disposeChunk(in->effectRef, chunk);
        cb->disposeHandle(in->effectRef, in->sequenceData);
      }
      out->sequenceData = NULL;
      if (cmd == PF_Cmd_SequenceFlatten) out->sequenceData = cb->newHandle(in->effectRef, 0);
      return PF_Err_None;
    }
    case PF_Cmd_Render: {
      PF_Chunk chunk;
      void* data = NULL;
      int32_t size = 0;
      const PF_World* src = &params[0]->u.world;
      PF_Err err;
      if (!in->sequenceData || cb->getHandleSize(in->effectRef, in->sequenceData) != (int32_t)sizeof chunk)
        return PF_Err_BadCallbackArg;
      memcpy(&chunk, *in->sequenceData, sizeof chunk);
      if ((err = cb->chunkDataSize(in->effectRef, chunk, &size)) != 0) return err;
      if (size != 4 * 256) return PF_Err_BadCallbackArg;
      if ((err = cb->lockChunk(in->effectRef, chunk, &data)) != 0) return err;
      BuildTables(params, (uint8_t*)data);
      err = cb->iterateLUT(in->effectRef, 0, src->height, src, NULL, (const uint8_t*)data,
                           (const uint8_t*)data + 256, (const uint8_t*)data + 512, (const uint8_t*)data + 768,
                           output);
      cb->unlockChunk(in->effectRef, chunk);
      return err;
    }
    default:
      return PF_Err_None;
  }
}
