/* Sample Suite User: reaches a host service through the suite system. At
 * render it acquires the basic suite by name and version from in->basicSuite,
 * takes a block of memory from it for one row, and mirrors the input left to
 * right row by row through that block. */
#include <string.h>

#include "tavelo_effect.h"

PF_ENTRY_POINT(tv_effect_entry) {
  (void)extra;
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(1, 0, 0, PF_Stage_Release, 1);
      return PF_Err_None;
    case PF_Cmd_ParamsSetup:
      out->paramCount = 1;
      return PF_Err_None;
    case PF_Cmd_Render: {
      const PF_World* src = &params[0]->u.world;
      const PF_BasicSuite* basic = NULL;
      PF_Pixel* row = NULL;
      PF_Err err;
      int32_t x, y;
      if (!in->basicSuite) return PF_Err_BadCallbackArg;
      err = in->basicSuite->acquireSuite("BR Basic Suite", 4, (const void**)&basic);
      if (err) return err;
      err = basic->allocateBlock((uint32_t)src->width * 4u, (void**)&row);
      if (!err) {
        for (y = 0; y < src->height && y < output->height; ++y) {
          memcpy(row, PF_PixelAt(src, 0, y), (size_t)src->width * 4);
          for (x = 0; x < src->width && x < output->width; ++x) *PF_PixelAt(output, x, y) = row[src->width - 1 - x];
        }
        basic->freeBlock(row);
      }
      in->basicSuite->releaseSuite("BR Basic Suite", 4);
      return err;
    }
    default:
      return PF_Err_None;
  }
}
