/* An effect that brings the process down while it renders, the way a broken
   plug-in does: by writing through a null pointer, or by aborting when the
   environment's TV_SAMPLE_CRASH is "abort". */
#define _POSIX_C_SOURCE 200112L
#include <stdlib.h>
#include <string.h>

#include "PF_Effect.h"

__attribute__((visibility("default"))) PF_Result tv_effect_entry(int32_t cmd, PF_InputRecord* in,
                                                                 PF_OutputRecord* out, PF_ParamDef* params[],
                                                                 PFWorld* output, void* extra) {
  (void)in;
  (void)params;
  (void)output;
  (void)extra;
  if (cmd == PF_Cmd_ParamsSetup) out->paramCount = 1;
  if (cmd == PF_Cmd_Render) {
    const char* how = getenv("TV_SAMPLE_CRASH");
    if (how && strcmp(how, "abort") == 0) abort();
    volatile int* nowhere = NULL;
    *nowhere = 1;
  }
  return 0;
}
