// Batch sampling: PF_GetBatchFunc hands out a row sampler for a quality and
// alpha form, which samples many positions in one call.
#include "PF_internal.h"

using namespace tv;
using namespace tv::pf;

namespace {

constexpr int32_t kRtGetBatchFunc = 3;

template <int32_t Kind>
ErrorCode Batch(PF_EffectRef ref, Fixed x, Fixed y, Fixed dx, Fixed dy, int32_t count, const PF_SampleParams* params,
                PF_Pixel* out) {
  return PFp_SampleRow(ref, Kind, x, y, dx, dy, count, params, out);
}

}  // namespace

ErrorCode PF_GetBatchFunc(PF_EffectRef, int32_t quality, int32_t flags, const PF_SampleParams*, void** batch) {
  if (batch) *batch = nullptr;
  if (!batch || (flags & ~(PF_Batch_Straight | PF_Batch_Area)))
    return BadParam(kRtGetBatchFunc, "batch flags or out-pointer");
  PF_BatchSampleFunc fn = nullptr;
  const bool straight = flags & PF_Batch_Straight;
  if ((quality & ~PF_Quality_ExtraMath) == PF_Quality_Draft)
    fn = &Batch<PF_Sample_NN>;
  else if (flags & PF_Batch_Area)
    fn = straight ? &Batch<PF_Sample_Area_Straight> : &Batch<PF_Sample_Area_Premul>;
  else
    fn = straight ? &Batch<PF_Sample_Subpixel_Straight> : &Batch<PF_Sample_Subpixel_Premul>;
  *batch = reinterpret_cast<void*>(fn);
  return 0;
}
