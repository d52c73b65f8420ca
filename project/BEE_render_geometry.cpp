// Layer geometry: the layer-to-composition matrix, point transforms, hit
// checks, and the predicates of the direct rendering paths.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "BEE_internal.h"
#include "BEE_render_internal.h"
#include "FLT.h"
#include "PF.h"

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

ErrorCode BEE_CompHitCheckSelection(BEE_Item comp, Time compTime, FloatPoint point, const BEE_Layer* layers,
                                    int32_t count, double radius, BEE_Layer* layer, int32_t* handle) try {
  if (layer) *layer = nullptr;
  if (handle) *handle = BEE_HandleNone;
  if (ErrorCode err = CheckComp(comp)) return err;
  if (!layer || !handle || count < 0 || (count > 0 && !layers) || !(radius >= 0))
    return kReport.BadParam(kSiteArgument, {"BEE_CompHitCheckSelection"});
  std::vector<std::pair<int32_t, BEE_Layer>> order;
  for (int32_t i = 0; i < count; ++i) {
    if (ErrorCode err = CheckLayer(layers[i])) return err;
    if (R(layers[i]).comp != comp) return kReport.BadParam(kSiteArgument, {"BEE_CompHitCheckSelection"});
    order.emplace_back(IndexOfLayer(layers[i]), layers[i]);
  }
  std::sort(order.begin(), order.end());  // top first
  // Handles first: the corners and edge middles of the source rectangle and
  // the anchor point, all in composition pixels.
  for (const auto& [index, l] : order) {
    Boolean32 active = 0;
    if (ErrorCode err = BEE_LayerActive(l, compTime, 0, &active, nullptr)) return err;
    BEE_Item src = R(l).source;
    if (!active || !src || !IsLiveItem(src)) continue;
    int32_t w = 0, h = 0;
    if (ErrorCode err = BEE_GetItemDimensions(src, &w, &h)) return err;
    double anchor[2] = {0, 0};
    if (ErrorCode err = BEE_GetLayerStreamValueF(l, BEE_StreamAnchorPoint, compTime, anchor)) return err;
    FloatMatrix m{};
    if (ErrorCode err = LayerMatrix(l, compTime, &m)) return err;
    const double hw = w / 2.0, hh = h / 2.0;
    const FloatPoint at[9] = {{0, 0}, {hw, 0}, {double(w), 0}, {double(w), hh}, {double(w), double(h)},
                              {hw, double(h)}, {0, double(h)}, {0, hh}, {anchor[0], anchor[1]}};
    for (int32_t k = 0; k < 9; ++k) {
      FloatPoint p = at[k];
      Apply(m, &p);
      if (std::hypot(p.x - point.x, p.y - point.y) <= radius) {
        *layer = l;
        *handle = k;
        return 0;
      }
    }
  }
  for (const auto& [index, l] : order) {
    Boolean32 hit = 0;
    if (ErrorCode err = BEE_LayerHitCheck(l, compTime, point, &hit)) return err;
    if (hit) {
      *layer = l;
      return 0;
    }
  }
  return 0;
} TV_CATCH(BEE_PackageNumber)

namespace {

bool HasEnabledEffect(BEE_Layer layer) {
  Handle parade = R(layer).parade;
  int32_t n = 0;
  if (!(R(layer).switches & BEE_SwitchEffects) || !parade || FLT_InqParadeNumSeqs(parade, &n) != 0) return false;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t flags = 0;
    if (FLT_InqParadeSeqFlags(parade, i, &flags) != 0 || (flags & FLT_Item_On)) return true;
  }
  return false;
}

bool HasMasks(BEE_Layer layer) {
  int32_t n = 0;
  return R(layer).masks && LIST_GetNumItems(R(layer).masks, &n) == 0 && n > 0;
}

// A stream that holds one value (no keys) equal to v.
bool ConstantAt(BEE_Layer layer, int32_t index, double v) {
  TDB_Stream s = R(layer).streams[index];
  TDB_StreamInfo info{};
  if (!s || TDB_GetStreamInfo(s, &info) != 0 || !(info.flags & TDB_StreamConstant)) return false;
  double value = 0;
  return BEE_GetLayerStreamValueF(layer, index, Time{0, 1}, &value) == 0 && value == v;
}

bool CouldFlatten(BEE_Layer layer) {
  const BEE_LayerRec& l = R(layer);
  BEE_Item src = l.source;
  if (!(l.switches & BEE_SwitchCollapse) || !src || !IsLiveItem(src) || R(src).kind != BEE_KindComp) return false;
  if ((R(src).flags & BEE_ItemProxyOn) && R(src).proxy) return false;
  if (HasEnabledEffect(layer) || HasMasks(layer) || l.trackMatte != BEE_MatteNone) return false;
  if (l.transferMode != PF_Xfer_Normal || l.transferFlags != 0) return false;
  if ((l.switches & BEE_SwitchMotionBlur) && (R(l.comp).compSwitches & BEE_CompSwitchMotionBlur)) return false;
  if (!ConstantAt(layer, BEE_StreamOpacity, 100)) return false;
  // The matte of the layer below it is drawn from its own pixels.
  const int32_t index = IndexOfLayer(layer);
  if (index + 1 < LayerCount(l.comp) && R(LayerAt(l.comp, index + 1)).trackMatte != BEE_MatteNone) return false;
  const Ratio a = R(src).hsf, b = R(l.comp).hsf;
  if (int64_t{a.num} * b.den != int64_t{b.num} * a.den) return false;
  const int32_t n = LayerCount(src);
  for (int32_t i = 0; i < n; ++i) {
    const BEE_LayerRec& inner = R(LayerAt(src, i));
    if (inner.transferMode != PF_Xfer_Normal || inner.transferFlags != 0 || inner.trackMatte != BEE_MatteNone)
      return false;
  }
  return true;
}

// A solid draws at any size and matrix as a fill of its colour; footage is
// drawn whole by its module (whether a module can draw part of a scaled
// frame is not known beforehand), and compositions collapse or render whole.
// Masks and effects work on the source's own pixels, so a layer with either
// draws its source whole.
bool CouldRasterize(BEE_Layer layer) {
  const BEE_LayerRec& l = R(layer);
  BEE_Item src = l.source;
  if (!(l.switches & BEE_SwitchCollapse) || !src || !IsLiveItem(src) || R(src).kind != BEE_KindSolid) return false;
  if ((R(src).flags & BEE_ItemProxyOn) && R(src).proxy) return false;
  return !HasEnabledEffect(layer) && !HasMasks(layer);
}

}  // namespace

ErrorCode BEE_CouldLayerCompFlatten(BEE_Layer layer, Boolean32* result) try {
  return Query<&CheckLayer>("BEE_CouldLayerCompFlatten", layer, result,
                            [](BEE_Layer l) { return Boolean32{CouldFlatten(l) ? 1 : 0}; });
} TV_CATCH(BEE_PackageNumber)

ErrorCode BEE_CouldLayerRasterize(BEE_Layer layer, Boolean32* result) try {
  return Query<&CheckLayer>("BEE_CouldLayerRasterize", layer, result,
                            [](BEE_Layer l) { return Boolean32{CouldRasterize(l) ? 1 : 0}; });
} TV_CATCH(BEE_PackageNumber)
