/* A sample sound filter: halves every sample. */
#include "FLT_Filters.h"

__attribute__((visibility("default"))) int32_t tv_sound_filter(int32_t selector, FF_SoundRecord* r) {
  if (selector != FF_Sel_Process) return 0;
  for (int64_t i = 0; i < r->frames * r->channels; ++i) r->out[i] = r->in[i] * 0.5f;
  return 0;
}
