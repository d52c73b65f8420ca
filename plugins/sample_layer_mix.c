/* Sample Layer Mix: blends the input with another layer of the composition,
 * taken at a time offset. It shows the layer parameter: the host checks the
 * other layer's frame out for the effect at any time it asks for, and takes
 * it back at checkin.
 *
 * Parameters: 1 the layer (layer parameter), 2 the time offset in frames
 * (slider), 3 the blend amount (Fixed slider, 0 to 100 percent). */
#include <string.h>

#include "tavelo_effect.h"

enum { kLayer = 1, kOffset, kAmount, kCount };

static PF_Err AddParams(PF_InData* in, PF_OutData* out) {
  PF_ParamDef p;
  PF_Err err;
  memset(&p, 0, sizeof p);
  p.type = PF_Param_Layer;
  strcpy(p.name, "Mix Layer");
  if ((err = in->addParam(in->effectRef, kLayer, &p)) != 0) return err;
  memset(&p, 0, sizeof p);
  p.type = PF_Param_Slider;
  strcpy(p.name, "Time Offset (frames)");
  p.u.words[PF_Word_Min] = (uint32_t)-1000;
  p.u.words[PF_Word_Max] = 1000;
  if ((err = in->addParam(in->effectRef, kOffset, &p)) != 0) return err;
  memset(&p, 0, sizeof p);
  p.type = PF_Param_FixedSlider;
  strcpy(p.name, "Amount");
  p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = 50u << 16;
  p.u.words[PF_Word_Max] = 100u << 16;
  if ((err = in->addParam(in->effectRef, kAmount, &p)) != 0) return err;
  out->paramCount = kCount;
  return PF_Err_None;
}

static PF_Err Render(PF_InData* in, PF_ParamDef* params[], PF_World* output) {
  const PF_UtilCallbacks* cb = in->utilCallbacks;
  const PF_World* src = &params[0]->u.world;
  const int32_t offset = (int32_t)params[kOffset]->u.words[0];
  /* Percent (16.16) to the blend ratio (16.16, 0x10000 is all of the layer). */
  const PF_Fixed ratio = (PF_Fixed)(((int64_t)(int32_t)params[kAmount]->u.words[0]) / 100);
  PF_ParamDef layer;
  PF_Err err, done;
  err = in->checkoutParam(in->effectRef, kLayer, in->time + offset * in->timeStep, in->timeStep, in->timeScale,
                          &layer);
  if (err) return err;
  /* No layer chosen, or one of another size: the input passes unchanged. */
  if (!layer.u.world.data || layer.u.world.width != src->width || layer.u.world.height != src->height)
    err = cb->copy(in->effectRef, src, output, NULL, NULL);
  else
    err = cb->blend(in->effectRef, src, &layer.u.world, ratio, output);
  done = in->checkinParam(in->effectRef, &layer); /* every checkout is handed back */
  return err ? err : done;
}

PF_ENTRY_POINT(tv_effect_entry) {
  (void)extra;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      out->outFlags = 0;
      return PF_Err_None;
    case PF_Cmd_ParamsSetup:
      return AddParams(in, out);
    case PF_Cmd_Render:
      return Render(in, params, output);
    default:
      return PF_Err_None;
  }
}
