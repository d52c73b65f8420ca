/* A test plug-in that records what every call hands it, for FLT_test to
 * read back (through tv_recorder_log). Its code answers a version and out
 * flags that differ from its property list, to draw the host's warnings. */
#include <string.h>

#include "tavelo_effect.h"

typedef struct RecorderEntry {
  int32_t cmd, quality, time, timeStep;
  uint32_t timeScale;
  int32_t width, height;
  PF_Rect request;
  int32_t haveGlobal, haveSequence, haveFrame, haveUtil, haveSuite, haveParams;
  PF_Err addParam; /* what add parameter answered (a dummy, outside params setup) */
} RecorderEntry;

PF_EXPORT RecorderEntry tv_recorder_log[64];
PF_EXPORT int32_t tv_recorder_count;

PF_ENTRY_POINT(tv_effect_entry) {
  const PF_UtilCallbacks* cb = in->utilCallbacks;
  RecorderEntry* e = tv_recorder_count < 64 ? &tv_recorder_log[tv_recorder_count++] : NULL;
  (void)output;
  (void)extra;
  if (e) {
    memset(e, 0, sizeof *e);
    e->cmd = cmd;
    e->quality = in->quality;
    e->time = in->time;
    e->timeStep = in->timeStep;
    e->timeScale = in->timeScale;
    e->width = in->width;
    e->height = in->height;
    e->request = in->request;
    e->haveGlobal = in->globalData != NULL;
    e->haveSequence = in->sequenceData != NULL;
    e->haveFrame = in->frameData != NULL;
    e->haveUtil = cb != NULL;
    e->haveSuite = in->basicSuite != NULL;
    e->haveParams = params != NULL;
    if (cmd != PF_Cmd_ParamsSetup) {
      PF_ParamDef dummy;
      memset(&dummy, 0, sizeof dummy);
      e->addParam = in->addParam(in->effectRef, 1, &dummy);
    }
  }
  switch (cmd) {
    case PF_Cmd_GlobalSetup:
      out->version = PF_VERSION(2, 1, 0, PF_Stage_Release, 1);
      out->outFlags = PF_OutFlag_UsesExtentHints | PF_OutFlag_ErrorTextOnFailure;
      out->globalData = cb->newHandle(in->effectRef, 8);
      return PF_Err_None;
    case PF_Cmd_GlobalSetdown:
      cb->disposeHandle(in->effectRef, in->globalData);
      return PF_Err_None;
    case PF_Cmd_ParamsSetup:
      out->paramCount = 1;
      return PF_Err_None;
    case PF_Cmd_SequenceSetup:
      out->sequenceData = cb->newHandle(in->effectRef, 4);
      return PF_Err_None;
    case PF_Cmd_SequenceSetdown:
      if (in->sequenceData) cb->disposeHandle(in->effectRef, in->sequenceData);
      out->sequenceData = NULL;
      return PF_Err_None;
    case PF_Cmd_FrameSetup:
      out->frameData = cb->newHandle(in->effectRef, 4);
      return PF_Err_None;
    case PF_Cmd_FrameSetdown:
      if (in->frameData) cb->disposeHandle(in->effectRef, in->frameData);
      out->frameData = NULL;
      return PF_Err_None;
    case PF_Cmd_Render:
      return cb->copy(in->effectRef, &params[0]->u.world, output, NULL, NULL);
    default:
      return PF_Err_None;
  }
}
