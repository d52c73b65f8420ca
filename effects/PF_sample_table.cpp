// Enters the copies, samplers, convolution, Gaussian kernel, blurs, planes
// and spot painting into the package's routine table, from which the
// callback blocks and the selectors of PF_GetCallbackAddr draw.
#include "PF_internal.h"

namespace {

template <typename F>
PF_AnyRoutine Any(F* f) {
  return reinterpret_cast<PF_AnyRoutine>(f);
}

}  // namespace

ErrorCode PFp_InstallSecondRoutines(PF_RoutineTable* table) {
  if (!table) return tv::pf::BadParam(PF_Routine_Copy, "no routine table");
  PF_RoutineTable& t = *table;
  t.nnSample = &PF_NNSample;
  t.subpixelSampleStraight = &PF_SubpixelSample_Straight;
  t.subpixelSamplePremul = &PF_SubpixelSample_Premul;
  t.areaSampleStraight = &PF_AreaSample_Straight;
  t.areaSamplePremul = &PF_AreaSample_Premul;
  t.convolve = &PF_Convolve;
  t.copyDraft = &PF_CopyBits_Draft_Static;
  t.copyHQStraight = &PF_CopyBits_HQ_Straight_Static;
  t.copyHQPremul = &PF_CopyBits_HQ_Premul_Static;
  t.gaussianKernel = &PF_GaussianKernel;
  t.fastBlurStraight = &PF_FastBlur_Straight;
  t.fastBlurPremul = &PF_FastBlur_Premul;
  t.paintSpot = Any(&PF_PaintSpot);
  t.extractPlanes = Any(&PF_ExtractPlanes);
  t.insertPlanes = Any(&PF_InsertPlanes);
  t.boxBlurUnoScan = Any(&PF_BoxBlurUnoScan);
  t.gaussianValue = Any(&PFp_GaussianValue);
  return 0;
}
