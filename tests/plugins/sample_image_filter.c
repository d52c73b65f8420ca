/* A sample image filter: moves each colour channel towards its inverse by
   the "Amount" parameter (percent) and keeps alpha; setup counts the frames
   it filters in its own data. */
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "FLT_Filters.h"

__attribute__((visibility("default"))) int32_t tv_image_filter(int32_t selector, FF_ImageRecord* r) {
  switch (selector) {
    case FF_Sel_About:
      strcpy(r->message, "Sample Invert, a test filter.");
      return 0;
    case FF_Sel_Setup:
      r->data = calloc(1, sizeof(int32_t));
      return r->data ? 0 : 4;
    case FF_Sel_Teardown:
      free(r->data);
      return 0;
    case FF_Sel_Filter: {
      if (r->paramCount != 1) return 3;
      const int32_t amount = r->params[0];
      for (int32_t y = 0; y < r->height; ++y) {
        const uint8_t* s = r->src + (ptrdiff_t)y * r->srcRowBytes;
        uint8_t* d = r->dst + (ptrdiff_t)y * r->dstRowBytes;
        for (int32_t x = 0; x < r->width; ++x, s += 4, d += 4) {
          d[0] = s[0];
          for (int c = 1; c < 4; ++c) d[c] = (uint8_t)(s[c] + ((255 - 2 * s[c]) * amount) / 100);
        }
      }
      ++*(int32_t*)r->data;
      return r->abort(r->hostRef) ? 517 : 0;
    }
    default:
      return 0;
  }
}
