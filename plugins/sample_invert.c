/* Sample Invert: the smallest useful effect. It answers the about call with
 * a message, declares nothing but its input layer, and renders by running a
 * pixel function over the input with the host's iterate routine (from the
 * pixel-utility callback block). */
#include <string.h>

#include "tavelo_effect.h"

/* Called once per pixel by the host's iterate routine. */
static PF_Err InvertPixel(void* refcon, int32_t x, int32_t y, PF_Pixel* in, PF_Pixel* out) {
  (void)refcon;
  (void)x;
  (void)y;
  out->alpha = in->alpha;
  out->red = (uint8_t)(255 - in->red);
  out->green = (uint8_t)(255 - in->green);
  out->blue = (uint8_t)(255 - in->blue);
  return PF_Err_None;
}

PF_ENTRY_POINT(tv_effect_entry) {
  (void)extra;
  switch (cmd) {
    case PF_Cmd_About:
      strcpy(out->message, "Sample Invert: turns every colour into its opposite.");
      return PF_Err_None;
    case PF_Cmd_GlobalSetup:
      /* The version and out flags must match the property list. */
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      out->outFlags = 0;
      return PF_Err_None;
    case PF_Cmd_ParamsSetup:
      out->paramCount = 1; /* the input layer only */
      return PF_Err_None;
    case PF_Cmd_Render: {
      const PF_World* src = &params[0]->u.world;
      return in->utilCallbacks->iterate(in->effectRef, 0, src->height, src, NULL, NULL, InvertPixel, output);
    }
    default:
      return PF_Err_None;
  }
}
