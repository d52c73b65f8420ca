/* A minimal effect: one parameter (the input layer). Its constructor leaves
   a mark in the environment, so a test can tell whether its code ran. */
#define _POSIX_C_SOURCE 200112L
#include <stdlib.h>

#include "PF_Effect.h"

__attribute__((constructor)) static void Loaded(void) { setenv("TV_SAMPLE_EFFECT_LOADED", "1", 1); }

__attribute__((visibility("default"))) PF_Result tv_effect_entry(int32_t cmd, PF_InputRecord* in,
                                                                 PF_OutputRecord* out, PF_ParamDef* params[],
                                                                 PFWorld* output, void* extra) {
  (void)in;
  (void)params;
  (void)output;
  (void)extra;
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  return 0;
}
