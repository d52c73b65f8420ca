/* An effect with the parameter kinds no other sample has, an angle and a
 * point, for the tests of project descriptions and the Python module. It
 * passes its input through. */
#include <string.h>

#include "PF.h"
#include "PF_Effect.h"

enum { kAngle = 1, kCentre, kCount };

static PF_Result Add(PF_InputRecord* in, int32_t index, uint32_t type, const char* name) {
  PF_ParamDef p;
  memset(&p, 0, sizeof p);
  p.type = type;
  strcpy(p.name, name);
  return in->addParam(in->effectRef, index, &p);
}

__attribute__((visibility("default"))) PF_Result tv_effect_entry(int32_t cmd, PF_InputRecord* in,
                                                                 PF_OutputRecord* out, PF_ParamDef* params[],
                                                                 PFWorld* output, void* extra) {
  PF_Result err = 0;
  (void)extra;
  if (cmd == PF_Cmd_ParamsSetup) {
    if ((err = Add(in, kAngle, PF_Param_Angle, "Angle")) != 0) return err;
    if ((err = Add(in, kCentre, PF_Param_Point, "Centre")) != 0) return err;
    out->paramCount = kCount;
  } else if (cmd == PF_Cmd_Render) {
    const PF_UtilCallbacks* cb = (const PF_UtilCallbacks*)in->utilCallbacks;
    err = cb->copy(in->effectRef, &params[0]->u.world, output, NULL, NULL);
  }
  return err;
}
