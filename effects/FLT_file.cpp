// Parades in files.
#include "FLT_internal.h"

using namespace tv;
using namespace tv::flt;

ErrorCode FLT_WriteParade(FLT_Parade, FLT_ParamWriterFunc, void*, SLU_FileContext*) {
  return kReport.Fail(kSiteWrite, 5, kTextUnimplemented, {"FLT_WriteParade"});
}

ErrorCode FLT_ReadParade(SLU_FileContext*, FLT_LayerInfoProc, int32_t, void*, const SLU_Chunk*, const SLU_Chunk*,
                         char*, int32_t*, FLT_Parade* parade) {
  if (parade) *parade = nullptr;
  return kReport.Fail(kSiteRead, 5, kTextUnimplemented, {"FLT_ReadParade"});
}
