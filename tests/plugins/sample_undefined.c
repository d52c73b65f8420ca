/* An effect that needs a function nothing provides: loading it must fail. */
#include "PF_Effect.h"

extern int tv_function_nobody_defines(void);

__attribute__((visibility("default"))) PF_Result tv_effect_entry(int32_t cmd, PF_InputRecord* in,
                                                                 PF_OutputRecord* out, PF_ParamDef* params[],
                                                                 PFWorld* output, void* extra) {
  (void)in;
  (void)out;
  (void)params;
  (void)output;
  (void)extra;
  return cmd == 99 ? tv_function_nobody_defines() : 0;
}
