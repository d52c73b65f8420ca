// Layer geometry: the layer-to-composition matrix, point transforms, hit
// checks, and the predicates of the direct rendering paths.
#include <cmath>

#include "BEE_internal.h"
#include "BEE_render_internal.h"

namespace tv::bee {
namespace {

ErrorCode Inverse(const FloatMatrix& m, FloatMatrix* inv) {
  Boolean32 singular = 0;
  M_SetIdentityMatrix(inv);
  const ErrorCode err = M_InverseMatrixQuiet(&m, inv, &singular);
  if (err || singular) {
    M_SetIdentityMatrix(inv);
    return Strange(BEE_SiteLayer, "singular layer matrix", 0);
  }
  return 0;
}

ErrorCode Apply(const FloatMatrix& m, FloatPoint* p) {
  const double x = p->x, y = p->y;
  p->x = x * m.m[0] + y * m.m[3] + m.m[6];
  p->y = x * m.m[1] + y * m.m[4] + m.m[7];
  return 0;
}

template <bool kToComp>
ErrorCode TransformFloat(BEE_Layer layer, Time t, FloatPoint* point, const char* operation) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!point) return kReport.BadParam(kSiteArgument, {operation});
  FloatMatrix m{};
  if (ErrorCode err = LayerMatrix(layer, t, &m)) return err;
  if constexpr (!kToComp) {
    FloatMatrix inv{};
    if (ErrorCode err = Inverse(m, &inv)) return err;
    m = inv;
  }
  return Apply(m, point);
}

template <bool kToComp>
ErrorCode TransformWhole(BEE_Layer layer, Time t, LPoint* point, const char* operation) {
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!point) return kReport.BadParam(kSiteArgument, {operation});
  FloatPoint p{static_cast<double>(point->h), static_cast<double>(point->v)};
  if (ErrorCode err = TransformFloat<kToComp>(layer, t, &p, operation)) return err;
  point->h = static_cast<int32_t>(std::lround(p.x));
  point->v = static_cast<int32_t>(std::lround(p.y));
  return 0;
}

}  // namespace
}  // namespace tv::bee

using namespace tv;
using namespace tv::bee;

ErrorCode BEE_GetLayerToCompMatrix(BEE_Layer layer, Time compTime, FloatMatrix* matrix) try {
  if (matrix) M_SetIdentityMatrix(matrix);
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!matrix) return kReport.BadParam(kSiteArgument, {"BEE_GetLayerToCompMatrix"});
  FloatMatrix m{};
  if (ErrorCode err = LayerMatrix(layer, compTime, &m)) return err;
  *matrix = m;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_InvertMatrix(const FloatMatrix* matrix, FloatMatrix* inverse) try {
  if (inverse) M_SetIdentityMatrix(inverse);
  if (!matrix || !inverse) return kReport.BadParam(kSiteArgument, {"BEE_InvertMatrix"});
  return Inverse(*matrix, inverse);
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_TransformFloatPointSourceToComp(BEE_Layer layer, Time compTime, FloatPoint* point) try {
  return TransformFloat<true>(layer, compTime, point, "BEE_TransformFloatPointSourceToComp");
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_TransformFloatPointCompToSource(BEE_Layer layer, Time compTime, FloatPoint* point) try {
  return TransformFloat<false>(layer, compTime, point, "BEE_TransformFloatPointCompToSource");
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_TransformPointSourceToComp(BEE_Layer layer, Time compTime, LPoint* point) try {
  return TransformWhole<true>(layer, compTime, point, "BEE_TransformPointSourceToComp");
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_TransformPointCompToSource(BEE_Layer layer, Time compTime, LPoint* point) try {
  return TransformWhole<false>(layer, compTime, point, "BEE_TransformPointCompToSource");
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_LayerHitCheck(BEE_Layer layer, Time compTime, FloatPoint point, Boolean32* hit) try {
  if (hit) *hit = 0;
  if (ErrorCode err = CheckLayer(layer)) return err;
  if (!hit) return kReport.BadParam(kSiteArgument, {"BEE_LayerHitCheck"});
  Boolean32 active = 0;
  if (ErrorCode err = BEE_LayerActive(layer, compTime, 0, &active, nullptr)) return err;
  BEE_Item src = R(layer).source;
  if (!active || !(R(layer).switches & BEE_SwitchVideo) || !src || !IsLiveItem(src)) return 0;
  FloatMatrix m{}, inv{};
  if (ErrorCode err = LayerMatrix(layer, compTime, &m)) return err;
  Boolean32 singular = 0;
  if (M_InverseMatrixQuiet(&m, &inv, &singular) != 0 || singular) return 0;  // a layer of no extent
  Apply(inv, &point);
  int32_t w = 0, h = 0;
  if (ErrorCode err = BEE_GetItemDimensions(src, &w, &h)) return err;
  *hit = point.x >= 0 && point.y >= 0 && point.x < w && point.y < h;
  return 0;
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CompHitCheck(BEE_Item comp, Time compTime, FloatPoint point, BEE_Layer* layer) try {
  if (layer) *layer = nullptr;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!layer) return kReport.BadParam(kSiteArgument, {"BEE_CompHitCheck"});
  const int32_t n = LayerCount(comp);
  for (int32_t i = 0; i < n; ++i) {
    Boolean32 hit = 0;
    if (ErrorCode err = BEE_LayerHitCheck(LayerAt(comp, i), compTime, point, &hit)) return err;
    if (hit) {
      *layer = LayerAt(comp, i);
      return 0;
    }
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

// Compositing a nested composition's layers straight into the outer one
// would change the pixels (one resampling instead of two, no clipping to the
// nested frame); the nested frame is always rendered on its own.
ErrorCode BEE_CouldLayerCompFlatten(BEE_Layer layer, Boolean32* result) try {
  return Query<&CheckLayer>("BEE_CouldLayerCompFlatten", layer, result, [](BEE_Layer) { return Boolean32{0}; });
} TV_CATCH(BEE_PackageNumber)

// No footage module draws at an arbitrary size: sources are drawn whole.
ErrorCode BEE_CouldLayerRasterize(BEE_Layer layer, Boolean32* result) try {
  return Query<&CheckLayer>("BEE_CouldLayerRasterize", layer, result, [](BEE_Layer) { return Boolean32{0}; });
} TV_CATCH(BEE_PackageNumber)
