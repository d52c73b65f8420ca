/* Sample Grow: a frame effect that changes the output size. At frame setup
 * it answers an output larger than its input by a border on every side; at
 * render it fills the border with a colour and copies the input into the
 * middle. It honours extent hints (PF_OutFlag_UsesExtentHints), so the host
 * tells it the part of the input that is wanted.
 *
 * Parameters: 1 the border in pixels (slider, 0 to 1000), 2 its colour. */
#include <string.h>

#include "tavelo_effect.h"

enum { kBorder = 1, kColour, kCount };

PF_ENTRY_POINT(tv_effect_entry) {
  const PF_UtilCallbacks* cb = in->utilCallbacks;
  (void)extra;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      out->outFlags = PF_OutFlag_UsesExtentHints;
      return PF_Err_None;
    case PF_Cmd_ParamsSetup: {
      PF_ParamDef p;
      PF_Err err;
      memset(&p, 0, sizeof p);
      p.type = PF_Param_Slider;
      strcpy(p.name, "Border");
      p.u.words[PF_Word_Value] = p.u.words[PF_Word_Default] = 10;
      p.u.words[PF_Word_Max] = 1000;
      if ((err = in->addParam(in->effectRef, kBorder, &p)) != 0) return err;
      memset(&p, 0, sizeof p);
      p.type = PF_Param_Colour;
      strcpy(p.name, "Border Colour");
      {
        const PF_Pixel black = {255, 0, 0, 0}; /* a colour value is a pixel: alpha, red, green, blue */
        memcpy(&p.u.words[PF_Word_Value], &black, sizeof black);
        memcpy(&p.u.words[PF_Word_Default], &black, sizeof black);
      }
      if ((err = in->addParam(in->effectRef, kColour, &p)) != 0) return err;
      out->paramCount = kCount;
      return PF_Err_None;
    }
    case PF_Cmd_FrameSetup: {
      const int32_t border = (int32_t)params[kBorder]->u.words[0];
      out->width = in->width + 2 * border;
      out->height = in->height + 2 * border;
      out->origin.h = (int16_t)border;
      out->origin.v = (int16_t)border;
      return PF_Err_None;
    }
    case PF_Cmd_Render: {
      const PF_World* src = &params[0]->u.world;
      const int32_t border = (int32_t)params[kBorder]->u.words[0];
      PF_Pixel colour;
      PF_Rect inside;
      PF_Err err;
      memcpy(&colour, &params[kColour]->u.words[0], sizeof colour);
      if ((err = cb->fill(in->effectRef, &colour, NULL, output)) != 0) return err;
      inside.top = (int16_t)border;
      inside.left = (int16_t)border;
      inside.bottom = (int16_t)(border + src->height);
      inside.right = (int16_t)(border + src->width);
      return cb->copy(in->effectRef, src, output, NULL, &inside);
    }
    default:
      return PF_Err_None;
  }
}
